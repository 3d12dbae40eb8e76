#include "base/heldwrite.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

#include "base/endhold.h"

namespace {

// How often a wait for room made while the caller holds the ending signals
// looks whether one of them has come.
const int kSliceMs = 20;

// The ending signals and those of a crash sent from outside (a crash of
// the program's own comes whether held or not).
sigset_t heldset() {
  sigset_t set;
  if (!omendsignals(&set)) sigemptyset(&set);
  for (int sig : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV}) sigaddset(&set, sig);
  return set;
}

// Whether the mask holds an ending signal: the caller's own hold.
bool holdsending(const sigset_t& mask) {
  sigset_t ends, both;
  if (!omendsignals(&ends)) return false;
  sigandset(&both, &ends, &mask);
  return !sigisemptyset(&both);
}

// One write of at most a piece (all of it for a file), or a send that does
// not wait; -1 with errno as the call left it.
ssize_t once(int fd, outkind k, const char* p, size_t n) {
  if (k == outkind::socket) return send(fd, p, n, MSG_DONTWAIT);
  if (k != outkind::file && n > kOutPiece) n = kOutPiece;
  return write(fd, p, n);
}

// Whether a write to the terminal would stop the program: a background
// job on its own terminal under tostop, with the signal that stops it
// neither ignored nor held.  An orphaned job (its parent gone from the
// session) is refused the write instead, as the kernel does.
bool wouldstop(int fd, const sigset_t& mask) {
  pid_t fg = tcgetpgrp(fd);
  struct termios t;
  if (fg <= 0 || fg == getpgrp() || tcgetattr(fd, &t) != 0 || !(t.c_lflag & TOSTOP)) return false;
  pid_t parent = getppid();
  if (getsid(parent) != getsid(0) || getpgid(parent) == getpgrp()) return false;
  struct sigaction sa;
  return sigismember(&mask, SIGTTOU) != 1 && sigaction(SIGTTOU, nullptr, &sa) == 0 &&
         sa.sa_handler != SIG_IGN;
}

// A handler's writes: a reader that is still reading (`| tee log` while
// the program printed faster than it read) takes the rest, a reader that
// has stopped costs a moment.  Room is waited for a short while at a
// time, as long as it keeps coming, and no longer than a second in all.
const int kGraceMs = 50;
const long kGraceNs = 1000000000L;
long graceused = 0;

bool roomsoon(int fd) {
  struct pollfd w = {fd, POLLOUT, 0};
  if (poll(&w, 1, 0) == 1) return (w.revents & POLLOUT) != 0;
  if (graceused >= kGraceNs) return false;
  struct timespec a, b;
  clock_gettime(CLOCK_MONOTONIC, &a);
  int r = poll(&w, 1, kGraceMs);
  clock_gettime(CLOCK_MONOTONIC, &b);
  graceused += (b.tv_sec - a.tv_sec) * 1000000000L + (b.tv_nsec - a.tv_nsec);
  return r == 1 && (w.revents & POLLOUT) != 0;
}

// Waits for room with the caller's mask in place (the ending signals let
// in), or, where the caller holds them, with the mask as it is, in slices
// until one of them has come: false then, with errno EINTR.  An error or
// a hang-up counts as room: the write tells what it is.
bool roomwait(int fd, const sigset_t& old, bool held) {
  for (;;) {
    struct pollfd w = {fd, POLLOUT, 0};
    struct timespec slice = {0, kSliceMs * 1000000L};
    int r = held ? ppoll(&w, 1, &slice, nullptr) : ppoll(&w, 1, nullptr, &old);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return true;
    if (held && omendpending()) {
      errno = EINTR;
      return false;
    }
  }
}

// A terminal, with the signals as the caller has them (heldwrite.h): one
// write a piece, nothing else, and a job under tostop is stopped by the
// write itself.
bool termwrite(int fd, const char* p, size_t n, volatile sig_atomic_t* done) {
  while (n > 0) {
    ssize_t got = write(fd, p, n < kOutPiece ? n : kOutPiece);
    if (got > 0) {
      *done = *done + static_cast<sig_atomic_t>(got);
      p += got;
      n -= static_cast<size_t>(got);
    } else if (got < 0 && errno == EAGAIN) {
      // Another program made the terminal non-blocking.
      struct pollfd w = {fd, POLLOUT, 0};
      poll(&w, 1, -1);
    } else if (got == 0 || errno != EINTR) {
      if (got == 0) errno = EIO;
      return false;
    }
  }
  return true;
}

}  // namespace

outkind outkindof(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISREG(st.st_mode)) return outkind::file;
  if (S_ISSOCK(st.st_mode)) return outkind::socket;
  return isatty(fd) ? outkind::terminal : outkind::stream;
}

bool heldwrite(int fd, outkind k, const char* p, size_t n, volatile sig_atomic_t* done) {
  if (k == outkind::terminal && !omendsheld()) return termwrite(fd, p, n, done);
  sigset_t hold = heldset(), old;
  sigprocmask(SIG_BLOCK, &hold, &old);
  // Whether the caller holds the ending signals: then no wait outlasts
  // their coming, and they are never let in here.
  bool held = omendsheld() || holdsending(old);
  // A terminal is looked at once a call, and again after a stop.
  bool stops = k == outkind::terminal && wouldstop(fd, old);
  bool ok = true;
  while (n > 0) {
    if (stops) {
      if (held && omendpending()) {
        errno = EINTR;
        ok = false;
        break;
      }
      sigprocmask(SIG_SETMASK, &old, nullptr);
      kill(0, SIGTTOU);
      sigprocmask(SIG_BLOCK, &hold, nullptr);
      stops = wouldstop(fd, old);
      continue;
    }
    // The only places the held signals come in: nothing is on its way out.
    if (k != outkind::file && !roomwait(fd, old, held)) {
      ok = false;
      break;
    }
    ssize_t got = once(fd, k, p, n);
    if (got > 0) {
      *done = *done + static_cast<sig_atomic_t>(got);
      p += got;
      n -= static_cast<size_t>(got);
    } else if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
      continue;
    } else {
      if (got == 0) errno = EIO;
      ok = false;
      break;
    }
  }
  int err = errno;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  errno = err;
  return ok;
}

size_t nowaitwrite(int fd, outkind k, const void* p, size_t n) {
  const char* at = static_cast<const char*>(p);
  size_t put = 0;
  while (put < n) {
    if ((k == outkind::stream || k == outkind::terminal) && !roomsoon(fd)) break;
    ssize_t got = once(fd, k, at + put, n - put);
    if (got > 0) {
      put += static_cast<size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  return put;
}
