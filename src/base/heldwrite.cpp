#include "base/heldwrite.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "base/endhold.h"

namespace {

// How often a wait for room made while the caller holds the ending signals
// looks whether one of them has come.
const int kSliceMs = 20;

// The call in flight: 0 for none, 1 for one that does not wait, 2 for a
// terminal's write (on flyfd), which may; and the signal a handler put off
// meanwhile.
volatile sig_atomic_t flying = 0;
volatile sig_atomic_t flyfd = -1;
volatile sig_atomic_t deferred = 0;

// One call that does not wait (but a terminal's, and a device's made once
// it reported room); -1 with errno as the call left it, EOPNOTSUPP where
// the descriptor cannot be tried without waiting.  A socket is sent a
// piece at a time: it gives a send's room back only once its reader has
// taken all of that send, so a reader that takes a little at a time frees
// room as it goes only where the sends are small.
ssize_t once(int fd, outkind k, const char* p, size_t n, bool tried) {
  if (k == outkind::socket) return send(fd, p, n < kOutPiece ? n : kOutPiece, MSG_DONTWAIT);
  if (k == outkind::stream && !tried) {
    struct iovec v = {const_cast<char*>(p), n};
    return pwritev2(fd, &v, 1, -1, RWF_NOWAIT);
  }
  if (k != outkind::file && k != outkind::pipe && n > kOutPiece) n = kOutPiece;
  return write(fd, p, n);
}

// One call, in flight for the handlers until what it put out is counted;
// then the signal a handler put off meanwhile is sent again.
ssize_t counted(int fd, outkind k, const char* p, size_t n, volatile sig_atomic_t* done, bool tried) {
  flyfd = fd;
  flying = k == outkind::terminal ? 2 : 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  ssize_t got = once(fd, k, p, n, tried);
  if (got > 0) *done = *done + static_cast<sig_atomic_t>(got);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  flying = 0;
  if (deferred) {
    int err = errno, sig = deferred;
    deferred = 0;
    raise(sig);
    errno = err;
  }
  return got;
}

// Whether a write to the terminal would stop the program: a background
// job on its own terminal under tostop, with the signal that stops it
// neither ignored nor held.  An orphaned job (its parent gone from the
// session) is refused the write instead, as the kernel does.
bool wouldstop(int fd) {
  pid_t fg = tcgetpgrp(fd);
  struct termios t;
  if (fg <= 0 || fg == getpgrp() || tcgetattr(fd, &t) != 0 || !(t.c_lflag & TOSTOP)) return false;
  pid_t parent = getppid();
  if (getsid(parent) != getsid(0) || getpgid(parent) == getpgrp()) return false;
  sigset_t mask;
  struct sigaction sa;
  return sigprocmask(SIG_BLOCK, nullptr, &mask) == 0 && sigismember(&mask, SIGTTOU) != 1 &&
         sigaction(SIGTTOU, nullptr, &sa) == 0 && sa.sa_handler != SIG_IGN;
}

// A handler's writes: a reader that is still reading (`| tee log` while
// the program printed faster than it read) takes the rest, a reader that
// has stopped costs a moment.  Room is waited for a short while at a
// time, as long as it keeps coming, and no longer than a second in all.
// A pipe or terminal reports room as soon as its reader takes a page; a
// socket only once it is three quarters empty, so it is tried again every
// few milliseconds instead, for as long.
const int kGraceMs = 50;
const long kGraceNs = 1000000000L;
const int kRetryMs = 2;
long graceused = 0;

// Waits for room at most ms, while the second lasts: whether it came.
bool roomwithin(int fd, int ms) {
  struct pollfd w = {fd, POLLOUT, 0};
  if (poll(&w, 1, 0) == 1) return (w.revents & POLLOUT) != 0;
  if (graceused >= kGraceNs) return false;
  struct timespec a, b;
  clock_gettime(CLOCK_MONOTONIC, &a);
  int r = poll(&w, 1, ms);
  clock_gettime(CLOCK_MONOTONIC, &b);
  graceused += (b.tv_sec - a.tv_sec) * 1000000000L + (b.tv_nsec - a.tv_nsec);
  return r == 1 && (w.revents & POLLOUT) != 0;
}

// Waits for room with the signals as the caller has them: a signal that
// does not end the session (a first interrupt) leaves it waiting.  Where
// the caller holds the ending signals, in slices until one of them has
// come: false then, with errno EINTR.  An error or a hang-up counts as
// room: the write tells what it is.
bool roomwait(int fd, bool held) {
  for (;;) {
    if (held && omendpending()) {
      errno = EINTR;
      return false;
    }
    struct pollfd w = {fd, POLLOUT, 0};
    int r = poll(&w, 1, held ? kSliceMs : -1);
    if (r > 0 || (r < 0 && errno != EINTR)) return true;
  }
}

}  // namespace

outkind outkindof(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISREG(st.st_mode)) return outkind::file;
  if (S_ISSOCK(st.st_mode)) return outkind::socket;
  return isatty(fd) ? outkind::terminal : outkind::stream;
}

int nowaitfd(int fd) {
  struct stat st, own;
  char path[32];
  if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) return -1;
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  int copy = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (copy >= 0 && (fstat(copy, &own) != 0 || own.st_dev != st.st_dev || own.st_ino != st.st_ino)) {
    close(copy);
    copy = -1;
  }
  return copy;
}

bool heldwrite(int fd, outkind k, const char* p, size_t n, volatile sig_atomic_t* done) {
  // The ending signals are held only by an endhold: a handler, which has
  // them in its mask, writes with nowaitwrite.
  const bool held = omendsheld();
  // The terminal is asked once a call, and again after a stop, so that the
  // stop lets in an ending the caller holds.
  bool stops = held && k == outkind::terminal && wouldstop(fd), tried = false;
  // A device that cannot be tried, and a terminal under the caller's hold,
  // are written only once they report room.
  auto first = [&] { return tried || (held && k == outkind::terminal); };
  bool room = !first();
  while (n > 0) {
    if (stops && !omendpending()) {
      kill(0, SIGTTOU);
      stops = wouldstop(fd);
      continue;
    }
    // A stop that an ending came to is not made: the wait gives way to it.
    if ((stops || !room) && !roomwait(fd, held)) return false;
    ssize_t got = counted(fd, k, p, n, done, tried);
    int err = got < 0 ? errno : 0;
    bool untried = err == EOPNOTSUPP && k == outkind::stream && !tried;
    tried = tried || untried;
    room = !first() && err != EAGAIN;
    if (got > 0) {
      p += got;
      n -= static_cast<size_t>(got);
    } else if (got == 0 || (err != EINTR && err != EAGAIN && !untried)) {
      if (got == 0) errno = EIO;
      return false;
    }
  }
  return true;
}

bool omoutbusy() {
  if (flying != 2) return flying != 0;
  // A terminal's write waits where it has no room or would stop a
  // background job: the ending comes in rather than wait for it.
  // The handler returns into the write when it is: errno stays as it was.
  int fd = flyfd, err = errno;
  pid_t fg = tcgetpgrp(fd);
  struct pollfd w = {fd, POLLOUT, 0};
  bool busy = (fg <= 0 || fg == getpgrp()) && poll(&w, 1, 0) == 1 && (w.revents & POLLOUT) != 0;
  errno = err;
  return busy;
}

void omoutdefer(int sig) {
  if (!deferred) deferred = sig;
}

size_t nowaitwrite(int fd, outkind k, const void* p, size_t n) {
  const char* at = static_cast<const char*>(p);
  size_t put = 0;
  int tries = 0;  // a socket's, since it last took something
  while (put < n) {
    if (k != outkind::file && k != outkind::socket && !roomwithin(fd, kGraceMs)) break;
    ssize_t got = once(fd, k, at + put, n - put, true);
    if (got > 0) {
      put += static_cast<size_t>(got);
      tries = 0;
    } else if (got < 0 && errno == EAGAIN && k == outkind::socket && tries++ < kGraceMs / kRetryMs &&
               graceused < kGraceNs) {
      roomwithin(fd, kRetryMs);
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  return put;
}
