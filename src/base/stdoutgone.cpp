#include "base/stdoutgone.h"

#include <poll.h>

#include <cstdio>

bool stdoutgone() {
  static bool gone = false;
  if (gone) return true;
  if (!std::ferror(stdout)) return false;
  // The write's own errno is long gone by now; the descriptor tells: the
  // write end of a pipe without a reader reports an error, a hung-up
  // socket or terminal a hang-up.
  struct pollfd p = {1, 0, 0};
  gone = poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
  if (!gone) std::clearerr(stdout);
  return gone;
}
