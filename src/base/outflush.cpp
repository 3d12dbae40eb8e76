#include "base/outflush.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/ending.h"
#include "base/heldwrite.h"
#include "base/stdoutgone.h"

namespace {

// How long printed output may wait in the buffer; the coarse clock, read
// at every poll in a few nanoseconds, ticks every few milliseconds.  A
// poll that comes seldom (a wait for a FIFO's reader looks every tenth of
// a second) hands on at once what waited meanwhile.
const long kDueNs = 5000000;
const size_t kBufBytes = 1 << 16;

// The bytes [0, fill) of buf are printed and [0, sent) of them written
// out; a handler writes [sent, fill).  The normal path changes fill only
// after the bytes are in place, and empties the buffer by setting fill to
// 0 before sent, so a handler never finds bytes to write that went out.
struct outstate {
  char buf[kBufBytes];
  volatile sig_atomic_t fill = 0;
  volatile sig_atomic_t sent = 0;
  // Text dropped because an ending signal came while the buffer was full
  // and the caller held the ending signals: nothing after it goes out.
  volatile sig_atomic_t gap = 0;
  outkind kind = outkind::file;
  outkind errkind = outkind::file;
  bool own = false;     // the writer is under stdout
  bool lined = false;   // a terminal: handed on at every line end
  bool dead = false;    // no reader: output is dropped
  bool joined = false;  // standard error is the same pipe or terminal
  int failed = 0;
  struct timespec last = {0, 0};
};
outstate out;

long sincens(const struct timespec& a, const struct timespec& b) {
  return (b.tv_sec - a.tv_sec) * 1000000000L + (b.tv_nsec - a.tv_nsec);
}

// Text to standard error, straight to it (never through the buffer).
void toerr(const char* text, size_t n) {
  volatile sig_atomic_t done = 0;
  heldwrite(2, out.own ? out.errkind : outkindof(2), text, n, &done);
}

// The first failure is told, as command-line tools tell it, once.
void failed(int err) {
  if (out.failed) return;
  out.failed = err;
  char line[160];
  int n = std::snprintf(line, sizeof line, "Error writing standard output: %s\n", std::strerror(err));
  toerr(line, static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1);
}

// Hands on what the buffer holds; false when some of it stays there, for
// an ending signal that came while the caller held the ending signals (its
// handler writes what fits).
bool writeout() {
  int from = out.sent, to = out.fill;
  if (from < to && !out.dead &&
      !heldwrite(1, out.kind, out.buf + from, static_cast<size_t>(to - from), &out.sent)) {
    if (errno == EINTR) return false;
    if (errno == EPIPE) {
      out.dead = true;
      stdoutnoreader();
    } else {
      failed(errno);
    }
  }
  // What could not be written is dropped with the rest.
  out.fill = 0;
  out.sent = 0;
  return true;
}

ssize_t put(void*, const char* text, size_t n) {
  const char* p = text;
  size_t left = n;
  // A text that fits the buffer goes in whole, once what the buffer holds
  // is handed on: an ending that comes while that waits finds whole
  // texts (lines) only.
  if (n <= kBufBytes && static_cast<size_t>(out.fill) + n > kBufBytes && !out.dead && !out.gap &&
      !writeout())
    out.gap = 1;
  while (left > 0 && !out.dead && !out.gap) {
    size_t at = static_cast<size_t>(out.fill);
    if (at == kBufBytes) {
      // Full, with an ending on its way: what follows is dropped.
      if (!writeout()) out.gap = 1;
      continue;
    }
    size_t k = left < kBufBytes - at ? left : kBufBytes - at;
    std::memcpy(out.buf + at, p, k);
    std::atomic_signal_fence(std::memory_order_release);
    out.fill = static_cast<sig_atomic_t>(at + k);
    p += k;
    left -= k;
  }
  if (out.lined && std::memchr(text, '\n', n)) writeout();
  return static_cast<ssize_t>(n);
}

}  // namespace

void omoutbuffer() {
#ifdef __GLIBC__
  // Appending: stdio never asks the writer to seek.  Unbuffered: stdio
  // keeps nothing back, each printf hands its whole text on.
  cookie_io_functions_t io = {nullptr, put, nullptr, nullptr};
  std::FILE* f = fopencookie(nullptr, "a", io);
  if (f && std::setvbuf(f, nullptr, _IONBF, 0) == 0) {
    std::fflush(stdout);
    out.kind = outkindof(1);
    out.errkind = outkindof(2);
    out.lined = isatty(1);
    out.own = true;
    struct stat a, b;
    out.joined = out.kind != outkind::file && fstat(1, &a) == 0 && fstat(2, &b) == 0 &&
                 a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    stdout = f;
    // The exits that are not signal endings (quit, exit from a library).
    omendpart(END_OUT, kEndOut);
    return;
  }
  if (f) std::fclose(f);
#endif
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
}

void omoutflush() {
  if (out.own) writeout();
  else std::fflush(stdout);
}

void omoutdue() {
  if (!out.own) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  if (sincens(out.last, now) < kDueNs) return;
  out.last = now;
  // A write tells whether the reader is still there; without one, a look.
  if (out.fill > out.sent) writeout();
  else stdoutlost();
}

bool omoutsigflush() {
  if (out.dead) return false;
  if (!out.own) return true;
  int s = out.sent, f = out.fill;
  while (s < f) {
    size_t w = nowaitwrite(1, out.kind, out.buf + s, static_cast<size_t>(f - s));
    if (w == 0) break;
    s += static_cast<int>(w);
    out.sent = s;
  }
  out.sent = f;
  return s >= f && !out.gap;
}

void omouterr(const char* text, size_t n) {
  if (out.own && out.joined) {
    put(nullptr, text, n);
    omoutflush();
    return;
  }
  omoutflush();
  toerr(text, n);
}

int omoutfailed() { return out.failed; }

bool omsigsay(int fd, const char* text, size_t n) {
  return nowaitwrite(fd, outkindof(fd), text, n) == n;
}
