#include "data/textfile.h"

#include <cerrno>

#include "base/userread.h"

FILE* opendescr(const std::string& name) { return omftext(name.c_str(), kMaxDescrBytes); }

FILE* opendescrctl(const std::string& name, std::string& opened, int& why) {
  opened = name;
  FILE* f = opendescr(opened);
  if (f) return f;
  why = errno;
  opened += ".ctl";
  f = opendescr(opened);
  if (!f && errno != ENOENT) why = errno;
  return f;
}

int rdtxtline(FILE* f, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') return TL_OK;
    if (line.size() >= kMaxDescrLine) return TL_LONG;
    line += static_cast<char>(c);
  }
  return any ? TL_OK : TL_EOF;
}
