// The list of defined variables and its index by name.
#include "expr/defvar.h"

#include <cstring>

namespace {

// The name as the word comparison sees it: from the first non-blank to the
// first blank, tab or end of line.
std::string defkey(const char* name) {
  while (*name == ' ' || *name == '\t') name++;
  return std::string(name, std::strcspn(name, " \t\n"));
}

}  // namespace

defvar* deffind(const deflist& l, const char* name) {
  auto it = l.byname.find(defkey(name));
  return it == l.byname.end() ? nullptr : it->second;
}

void defappend(deflist& l, defvar* d) {
  d->pforw = nullptr;
  d->pback = l.tail;
  if (l.tail) l.tail->pforw = d;
  else l.head = d;
  l.tail = d;
  l.byname[defkey(d->abbrv)] = d;
}

void defunlink(deflist& l, defvar* d) {
  if (d->pback) d->pback->pforw = d->pforw;
  else l.head = d->pforw;
  if (d->pforw) d->pforw->pback = d->pback;
  else l.tail = d->pback;
  d->pforw = d->pback = nullptr;
  auto it = l.byname.find(defkey(d->abbrv));
  if (it != l.byname.end() && it->second == d) l.byname.erase(it);
}
