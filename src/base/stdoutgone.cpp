#include "base/stdoutgone.h"

#include <poll.h>

#include <cstdio>

namespace {

bool gone = false;

// The descriptor tells: the write end of a pipe without a reader reports
// an error, a hung-up socket or terminal a hang-up.
bool noreader() {
  struct pollfd p = {1, 0, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace

bool stdoutgone() {
  if (gone) return true;
  // Looked at by every poll of long work; the program prints from one thread.
  if (!ferror_unlocked(stdout)) return false;
  // The write's own errno is long gone by now.
  gone = noreader();
  if (!gone) std::clearerr(stdout);
  return gone;
}

void stdoutnoreader() { gone = true; }

bool stdoutlost() {
  if (!gone) gone = noreader();
  return gone;
}
