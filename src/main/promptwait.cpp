#include "main/promptwait.h"

#include <sys/select.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "gx/gxx11drv.h"

namespace {

// The window is gone while a line is being typed: the prompt's line is
// ended first, so that the closing lines do not run on after it.
[[noreturn]] void windowgone() {
  std::fputc('\n', stdout);
  gxdclosed();
}

}  // namespace

promptwake promptwait(int fd, const std::function<bool()>& pending) {
  for (;;) {
    int xfd = gxdconn();
    if (xfd >= 0 && gxdidle()) windowgone();
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigprocmask(SIG_BLOCK, &block, &old);
    if (pending()) {
      sigprocmask(SIG_SETMASK, &old, nullptr);
      return promptwake::signal;
    }
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(fd, &rd);
    if (xfd >= 0) FD_SET(xfd, &rd);
    int top = xfd > fd ? xfd : fd;
    int r = pselect(top + 1, &rd, nullptr, nullptr, nullptr, &old);
    int err = errno;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (r < 0) return err == EINTR ? promptwake::signal : promptwake::input;
    // Input first: the reader takes it, and the window is looked at again
    // before the next wait.
    if (FD_ISSET(fd, &rd)) return promptwake::input;
  }
}
