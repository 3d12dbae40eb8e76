#include "main/promptwait.h"

#include <sys/select.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "gx/gxx11drv.h"
#include "main/ommain.h"

namespace {

// The window is gone while a line is being typed: the prompt's line is
// ended first, so that the closing lines do not run on after it.
[[noreturn]] void windowgone() {
  std::fputc('\n', stdout);
  gxdclosed();
}

// Whether one of the signals of set is waiting, held back by the mask.
bool heldsignal(const sigset_t& set) {
  sigset_t waiting;
  if (sigpending(&waiting) != 0) return false;
  for (int sig = 1; sig < NSIG; sig++)
    if (sigismember(&set, sig) == 1 && sigismember(&waiting, sig) == 1) return true;
  return false;
}

}  // namespace

promptwake promptwait(int fd, const std::function<bool()>& pending) {
  // The interrupt, and the signals that end the session, which the line
  // editor's own handlers only note for later: one that comes between the
  // look at pending() and the wait is held until the wait, which it ends.
  sigset_t block, old;
  omendsigs(&block);
  for (;;) {
    int xfd = gxdconn();
    if (xfd >= 0 && gxdidle()) windowgone();
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
    // A signal that came with the input (a Ctrl-C and the keys after it in
    // one read) is still held: it is answered before any key is read, or
    // the key would be taken into the line the interrupt then throws away.
    bool held = r > 0 && heldsignal(block);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (held) return promptwake::signal;
    if (r < 0) return err == EINTR ? promptwake::signal : promptwake::input;
    // Input first: the reader takes it, and the window is looked at again
    // before the next wait.
    if (FD_ISSET(fd, &rd)) return promptwake::input;
  }
}
