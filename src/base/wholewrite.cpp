#include "base/wholewrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/endhold.h"
#include "base/heldwrite.h"

bool writeall(int fd, const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  // With the ending signals held, a pipe's or FIFO's slow reader must not
  // hold the ending too: its wait ends when one of them comes.
  if (omendsheld()) {
    outkind k = outkindof(fd);
    volatile sig_atomic_t done = 0;
    if (k != outkind::file) return heldwrite(fd, k, p, n, &done);
  }
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

off_t wholemark(int fd) {
  // A file opened for appending writes at its end, whatever the offset says.
  int fl = fcntl(fd, F_GETFL);
  if (fl != -1 && (fl & O_APPEND)) return lseek(fd, 0, SEEK_END);
  return lseek(fd, 0, SEEK_CUR);
}

void cutback(int fd, off_t mark) {
  if (mark < 0) return;
  int saved = errno;
  while (ftruncate(fd, mark) != 0 && errno == EINTR) {
  }
  lseek(fd, mark, SEEK_SET);
  errno = saved;
}

bool writewhole(int fd, const void* buf, size_t n) {
  off_t mark = wholemark(fd);
  if (writeall(fd, buf, n)) return true;
  cutback(fd, mark);
  return false;
}
