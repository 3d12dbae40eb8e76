#include "base/errout.h"

#include <cstdio>
#include <string>

#include "base/outflush.h"

void omerrv(const char* fmt, va_list ap) {
  char line[1024];
  va_list again;
  va_copy(again, ap);
  int n = std::vsnprintf(line, sizeof line, fmt, ap);
  if (n >= 0 && static_cast<size_t>(n) < sizeof line) {
    omouterr(line, static_cast<size_t>(n));
  } else if (n > 0) {
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), fmt, again);
    omouterr(text.data(), static_cast<size_t>(n));
  }
  va_end(again);
}

void omerrf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  omerrv(fmt, ap);
  va_end(ap);
}
