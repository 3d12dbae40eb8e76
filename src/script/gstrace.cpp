// The frames an error prints on its way up the function calls, bounded for
// a runaway recursion only, which prints a few frames at each end and a
// count.
#include <cstdio>

#include "base/replsig.h"
#include "script/gsint.h"

namespace {

void put(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

void gsframenote(gsstate& s, const std::string& text) { s.trace.note += text; }

void gsframe(gsstate& s, int line, const std::string& path, bool plain) {
  gstrace& t = s.trace;
  std::string text = std::move(t.note);
  t.note.clear();
  text += plain ? "Error occurred on line " : "  Error occurred on line ";
  text += std::to_string(line) + "\n  In file " + replshownname(path) + "\n";
  if (!t.runaway || t.shown < gstrace::KEEP) {
    put(text);
    t.shown++;
    return;
  }
  if (t.last.size() < gstrace::KEEP) {
    t.last.push_back(std::move(text));
    return;
  }
  // The ring is full: its oldest frame is one of those in between.
  t.last[t.next] = std::move(text);
  t.next = (t.next + 1) % gstrace::KEEP;
  t.omitted++;
}

void gstraceend(gsstate& s) {
  gstrace& t = s.trace;
  if (t.omitted > 0) std::printf("  ... %i frames left out ...\n", t.omitted);
  for (size_t i = 0; i < t.last.size(); i++) put(t.last[(t.next + i) % t.last.size()]);
  put(t.note);
  t = gstrace();
}
