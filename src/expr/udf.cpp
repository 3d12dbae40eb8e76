// User-defined functions: the function tables read at start-up and the
// running of an external program through its transfer files.
#include "expr/udf.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/datadir.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/words.h"

udfdef* udfhead = nullptr;

namespace {

udfdef** udftail = &udfhead;

// Reads one line of at most 255 characters (a longer line is read as two);
// the newline is dropped.  False at end of file.
bool tabline(FILE* f, std::string& line) {
  char buf[256];
  if (!std::fgets(buf, sizeof buf, f)) return false;
  line = buf;
  size_t nl = line.find('\n');
  if (nl != std::string::npos) line.erase(nl);
  return true;
}

const char* skipblanks(const char* p) {
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

// The first line of an entry: name, minimum and maximum counts, then one
// kind word per argument.  False on any format error; the name is set as
// far as it was read.
bool parsehead(std::string line, udfdef* pfc) {
  lowcas(&line[0]);
  const char* p = skipblanks(line.c_str());
  int n = 0;
  while (*p && *p != ' ' && *p != '\t') {
    if (n < 8) pfc->name[n++] = *p;
    p++;
  }
  pfc->name[n] = '\0';
  if (*p != ' ' && *p != '\t') return false;
  p = skipblanks(p);
  p = intprs(p, &pfc->minarg);
  if (!p) return false;
  p = skipblanks(p);
  p = intprs(p, &pfc->maxarg);
  if (!p) return false;
  // Counts that no call can meet (a minimum above the maximum, negative
  // counts) are kept: such a function fails each call with the argument
  // count message.  More kinds than the entry holds are refused.
  if (pfc->maxarg > UDFMAXARG) return false;
  for (int i = 0; i < pfc->maxarg; i++) {
    p = skipblanks(p);
    if (cmpwrd(p, "expr")) pfc->atype[i] = UDFEXPR;
    else if (cmpwrd(p, "value")) pfc->atype[i] = UDFVALUE;
    else if (cmpwrd(p, "char")) pfc->atype[i] = UDFCHAR;
    else return false;
    while (*p && *p != ' ' && *p != '\t') p++;
  }
  return true;
}

bool parsemode(std::string line, udfdef* pfc) {
  lowcas(&line[0]);
  const char* p = skipblanks(line.c_str());
  if (!*p) return false;
  while (*p) {
    if (cmpwrd(p, "direct")) pfc->sflag = 0;
    else if (cmpwrd(p, "sequential")) pfc->sflag = 1;
    else return false;
    while (*p && *p != ' ' && *p != '\t') p++;
    p = skipblanks(p);
  }
  return true;
}

void tabmsg(const char* first, const char* fname) {
  omprnt(0, first);
  omprntf(0, "  File name is: %s\n", replshownname(fname).c_str());
}

}  // namespace

int omfdtab(const char* fname) {
  // Lines are read at most 255 characters at a time, so a device or pipe
  // needs no budget here; a FIFO must not hold the open past an interrupt.
  FILE* f = omfopen(fname, "r");
  if (!f) return 2;
  int rc = 0;
  for (;;) {
    std::string l1, l2, l3, l4, l5;
    if (!tabline(f, l1)) break;
    if (!tabline(f, l2) || !tabline(f, l3) || !tabline(f, l4) || !tabline(f, l5)) {
      tabmsg("Read error on user defined function table:\n", fname);
      rc = 1;
      break;
    }
    udfdef* pfc = new udfdef();
    if (!parsehead(l1, pfc) || !parsemode(l2, pfc)) {
      omprnt(0, "Format error in user defined function table:\n");
      omprntf(0, "  Processing function name: %s\n", pfc->name);
      omprntf(0, "  File name is: %s\n", replshownname(fname).c_str());
      delete pfc;
      rc = 1;
      break;
    }
    pfc->cmd = l3;
    pfc->fname1 = l4;
    pfc->fname2 = l5;
    pfc->next = nullptr;
    *udftail = pfc;
    udftail = &pfc->next;
  }
  std::fclose(f);
  return rc;
}

void omfdef() {
  while (udfhead) {
    udfdef* next = udfhead->next;
    delete udfhead;
    udfhead = next;
  }
  udftail = &udfhead;
  const char* env = std::getenv("OMUDFT");
  if (env) {
    int rc = omfdtab(env);
    if (rc == 1) return;
    if (rc == 2) {
      omprnt(0, "Error opening user function definition table\n");
      omprntf(0, "  File name is: %s\n", replshownname(env).c_str());
    }
  }
  std::string dflt = gxgnam("udft");
  omfdtab(dflt.c_str());
}

void omqufb() {
  for (udfdef* p = udfhead; p; p = p->next)
    omprntf(2, "%s  Args: %i %i  Exec: %s\n", p->name, p->minarg, p->maxarg, p->cmd.c_str());
}

udfdef* omudfind(const char* name) {
  for (udfdef* p = udfhead; p; p = p->next)
    if (cmpwrd(name, p->name)) return p;
  return nullptr;
}
