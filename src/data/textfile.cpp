#include "data/textfile.h"

#include "base/userread.h"

FILE* opendescr(const std::string& name) { return omftext(name.c_str(), kMaxDescrBytes); }

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
