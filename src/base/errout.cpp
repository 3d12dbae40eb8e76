#include "base/errout.h"

#include <cstdio>

#include "base/outflush.h"

void omerrv(const char* fmt, va_list ap) {
  omoutflush();
  std::vfprintf(stderr, fmt, ap);
  std::fflush(stderr);
}

void omerrf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  omerrv(fmt, ap);
  va_end(ap);
}
