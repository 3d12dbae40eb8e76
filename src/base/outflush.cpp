#include "base/outflush.h"

#include <poll.h>
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

namespace {

// How long printed output may wait in the buffer; the coarse clock, read
// at every poll in a few nanoseconds, ticks every few milliseconds.  A
// poll that comes seldom (a wait for a FIFO's reader looks every tenth of
// a second) hands on at once what waited meanwhile.
const long kDueNs = 5000000;
const size_t kBufBytes = 1 << 16;
char first[kBufBytes];

// The bytes [0, fill) of buf are printed and [0, sent) of them written
// out; a handler writes [sent, fill).  The normal path changes fill only
// after the bytes are in place, and empties the buffer by setting fill to
// 0 before sent, so a handler never finds bytes to write that went out.
struct outstate {
  // Handed on once kBufBytes are held; only text printed while the caller
  // holds the ending signals and the output takes nothing is kept past
  // that, in a larger block, until the hold's release.
  char* volatile buf = first;
  size_t size = kBufBytes;
  volatile sig_atomic_t fill = 0;
  volatile sig_atomic_t sent = 0;
  volatile sig_atomic_t dead = 0;  // no reader: output is dropped
  // An ending's write dropped text: nothing of the ending after it goes.
  volatile sig_atomic_t cut = 0;
  int fd = 1;  // standard output, or a descriptor of its pipe's own
  outkind kind = outkind::file;
  outkind errkind = outkind::file;
  bool own = false;     // the writer is under stdout
  bool lined = false;   // a terminal: handed on at every line end
  bool joined = false;  // standard error is the same pipe or terminal
  int failed = 0;
  struct timespec last = {0, 0};
};
outstate out;

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
// an ending signal that came while the caller held the ending signals.
bool writeout() {
  int from = out.sent, to = out.fill;
  if (from < to && !out.dead &&
      !heldwrite(out.fd, out.kind, out.buf + from, static_cast<size_t>(to - from), &out.sent)) {
    if (errno == EINTR) return false;
    if (errno == EPIPE) out.dead = 1;
    else failed(errno);
  }
  // What could not be written is dropped with the rest.
  out.fill = 0;
  out.sent = 0;
  return true;
}

// Room for n more bytes past the usual size, in a block a handler finds
// whole at every moment: the old one stays until the new one is in place.
bool grow(size_t n) {
  size_t need = static_cast<size_t>(out.fill) + n;
  if (need <= out.size) return true;
  if (need < 2 * out.size) need = 2 * out.size;
  char* larger = static_cast<char*>(std::malloc(need));
  if (!larger) return false;
  std::memcpy(larger, out.buf, static_cast<size_t>(out.fill));
  char* old = out.buf;
  std::atomic_signal_fence(std::memory_order_release);
  out.buf = larger;
  out.size = need;
  if (old != first) std::free(old);
  return true;
}

ssize_t put(void*, const char* text, size_t n) {
  // A text that fits the buffer goes in whole, once what the buffer holds
  // is handed on: an ending that comes while that waits finds whole
  // texts (lines) only.  Where the caller's hold cuts that wait short,
  // the text is kept past the usual size.
  bool kept = static_cast<size_t>(out.fill) + n > kBufBytes && n <= kBufBytes && !writeout();
  const char* p = text;
  size_t left = n;
  while (left > 0 && !out.dead) {
    size_t at = static_cast<size_t>(out.fill);
    if (at >= kBufBytes && !kept) {
      if (writeout()) continue;
      kept = true;
    }
    if (kept && !grow(left)) break;
    size_t room = (kept ? out.size : kBufBytes) - at;
    size_t k = left < room ? left : room;
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
    // A pipe is written through a descriptor of its own that does not
    // block: each write is one that waits for nothing, for the handlers.
    if (out.kind == outkind::stream && (out.fd = nowaitfd(1)) >= 0) out.kind = outkind::pipe;
    else out.fd = 1;
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
  if ((now.tv_sec - out.last.tv_sec) * 1000000000L + (now.tv_nsec - out.last.tv_nsec) < kDueNs) return;
  out.last = now;
  // A write tells whether the reader is still there; without one, a look.
  if (out.fill > out.sent) writeout();
  else stdoutlost();
}

bool omoutsigflush() {
  if (out.dead || out.cut) return false;
  if (!out.own) return true;
  size_t s = static_cast<size_t>(out.sent), f = static_cast<size_t>(out.fill);
  bool all = s >= f || nowaitwrite(out.fd, out.kind, out.buf + s, f - s) == f - s;
  out.sent = out.fill;
  if (!all) out.cut = 1;
  return all;
}

bool omsigsay(int fd, const char* text, size_t n) {
  if (!omoutsigflush()) return false;
  outkind k = !out.own ? outkindof(fd) : fd == 1 ? out.kind : out.errkind;
  if (nowaitwrite(out.own && fd == 1 ? out.fd : fd, k, text, n) == n) return true;
  out.cut = 1;
  return false;
}

void omouterr(const char* text, size_t n) {
  const bool joined = out.own && out.joined;
  if (joined) put(nullptr, text, n);
  omoutflush();
  if (!joined) toerr(text, n);
}

int omoutfailed() { return out.failed; }

bool stdoutgone() {
  // Looked at by every poll of long work; the program prints from one thread.
  if (out.dead || !ferror_unlocked(stdout)) return out.dead;
  // The write's own errno is long gone by now.
  if (!stdoutlost()) std::clearerr(stdout);
  return out.dead;
}

bool stdoutlost() {
  // The descriptor tells: the write end of a pipe without a reader reports
  // an error, a hung-up socket or terminal a hang-up.
  struct pollfd p = {1, 0, 0};
  if (!out.dead) out.dead = poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
  return out.dead;
}
