// Descriptors a library opens, made close-on-exec.
#include "base/libfds.h"

#include <fcntl.h>

libfds_closed_on_exec::libfds_closed_on_exec() : lo_(3) {
  while (fcntl(lo_, F_GETFD) != -1) lo_++;
  for (int k = 0; k < kWindow; k++) before_[static_cast<size_t>(k)] = fcntl(lo_ + k, F_GETFD) != -1;
}

libfds_closed_on_exec::~libfds_closed_on_exec() {
  for (int k = 0; k < kWindow; k++) {
    if (before_[static_cast<size_t>(k)]) continue;
    const int flags = fcntl(lo_ + k, F_GETFD);
    if (flags != -1 && (flags & FD_CLOEXEC) == 0) fcntl(lo_ + k, F_SETFD, flags | FD_CLOEXEC);
  }
}
