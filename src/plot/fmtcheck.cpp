// User-supplied number formats (print options, label formats) are checked
// before they reach the C formatting routines: a stray conversion such as
// %s or %n would read or write memory that was never passed.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/words.h"
#include "plot/dataout.h"

namespace {

// Up to three digits at p; returns the position after them, null for more.
const char* digits(const char* p) {
  int n = 0;
  while (ascdigit(*p)) {
    p++;
    if (++n > 3) return nullptr;
  }
  return p;
}

}  // namespace

bool omfmtok(const char* fmt) {
  if (!fmt) return false;
  int convs = 0;
  for (const char* p = fmt; *p; p++) {
    if (*p != '%') continue;
    p++;
    if (*p == '%') continue;
    while (*p && std::strchr("-+ #0", *p)) p++;
    p = digits(p);
    if (!p) return false;
    if (*p == '.') {
      p = digits(p + 1);
      if (!p) return false;
    }
    if (*p == 'l') p++;
    if (!*p || !std::strchr("eEfFgGaA", *p)) return false;
    convs++;
  }
  return convs <= 1;
}

std::string omfmtval(const char* fmt, double v) {
  if (!omfmtok(fmt)) fmt = "%g ";
  char small[64];
  int n = std::snprintf(small, sizeof small, fmt, v);
  if (n < 0) return std::string();
  if (n < static_cast<int>(sizeof small)) return std::string(small, n);
  std::string out(n + 1, '\0');
  std::snprintf(&out[0], out.size(), fmt, v);
  out.resize(n);
  return out;
}
