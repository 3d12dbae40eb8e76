#include "base/outflush.h"

#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

// How long printed output may wait in the buffer: the coarse clock is read
// in a few nanoseconds and ticks every few milliseconds.
const long kDueNs = 5000000;
struct timespec lastflush = {0, 0};

long sincens(const struct timespec& a, const struct timespec& b) {
  return (b.tv_sec - a.tv_sec) * 1000000000L + (b.tv_nsec - a.tv_nsec);
}

}  // namespace

void omoutbuffer() {
#ifdef __GLIBC__
  // Only where the signal endings can hand on the buffer (omoutsigflush).
  if (!isatty(1)) {
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    return;
  }
#endif
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
}

void omoutdue() {
  if (__fpending(stdout) == 0) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  if (sincens(lastflush, now) < kDueNs) return;
  lastflush = now;
  std::fflush(stdout);
}

void omoutsigflush() {
#ifdef __GLIBC__
  const char* p = stdout->_IO_write_base;
  const char* end = stdout->_IO_write_ptr;
  while (p && p < end) {
    ssize_t w = write(1, p, static_cast<size_t>(end - p));
    if (w <= 0) return;
    p += w;
  }
#endif
}
