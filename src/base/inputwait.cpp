#include "base/inputwait.h"

#include <poll.h>

#include <cerrno>
#include <csignal>

#include "base/outflush.h"

namespace {

int (*winconn)() = nullptr;
void (*winidle)() = nullptr;
bool waiting = false;
// The signals held back around the look at pending(): the interrupt, and
// whatever else the program registers (those that end the session).
sigset_t heldsigs;
bool heldset = false;

// Whether one of the signals of set is waiting, held back by the mask.
bool heldsignal(const sigset_t& set) {
  sigset_t waiting;
  if (sigpending(&waiting) != 0) return false;
  for (int sig = 1; sig < NSIG; sig++)
    if (sigismember(&set, sig) == 1 && sigismember(&waiting, sig) == 1) return true;
  return false;
}

// Set for the time of a wait, whichever way it is left.
struct waitmark {
  waitmark() { waiting = true; }
  ~waitmark() { waiting = false; }
};

}  // namespace

void omsetwaitwindow(int (*conn)(), void (*idle)()) {
  winconn = conn;
  winidle = idle;
}

bool omwaitingline() { return waiting; }

void omsetwaitsignals(const sigset_t& set) {
  heldsigs = set;
  heldset = true;
}

inputwake omwaitinput(int fd, const std::function<bool()>& pending) {
  waitmark mark;
  for (;;) {
    int xfd = winconn ? winconn() : -1;
    if (xfd >= 0 && winidle) winidle();
    // Whoever answers sees all that was printed before (the prompt too);
    // when that finds no reader, there is no one to answer.
    omoutflush();
    if (stdoutgone()) return inputwake::signal;
    sigset_t block, old;
    if (heldset) {
      block = heldsigs;
    } else {
      sigemptyset(&block);
      sigaddset(&block, SIGINT);
    }
    sigprocmask(SIG_BLOCK, &block, &old);
    if (pending()) {
      sigprocmask(SIG_SETMASK, &old, nullptr);
      return inputwake::signal;
    }
    // Standard output is watched too (asked for nothing, it reports only
    // an error or a hang-up): a session whose output lost its reader while
    // it waits has no one to answer, and ends.
    struct pollfd fds[3] = {{fd, POLLIN, 0}, {xfd, POLLIN, 0}, {-1, 0, 0}};
    if (!stdoutgone()) fds[2].fd = 1;
    // The signal wakes the wait; the tick also catches an interrupt noted
    // without one reaching this thread.
    struct timespec tick = {0, 100000000};
    int r = ppoll(fds, 3, &tick, &old);
    int err = errno;
    // A signal that came with the input (a Ctrl-C and the keys after it in
    // one read) is still held: it is answered before any key is read, or
    // the key would be taken into the line the interrupt then throws away.
    bool held = r > 0 && heldsignal(block);
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (held) return inputwake::signal;
    if (r < 0) return err == EINTR ? inputwake::signal : inputwake::input;
    if (fds[2].revents != 0 && stdoutlost()) return inputwake::signal;
    // Input first: the reader takes it, and the window is looked at again
    // before the next wait.
    if (fds[0].revents != 0) return inputwake::input;
  }
}
