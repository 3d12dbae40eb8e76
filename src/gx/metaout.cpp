#include "gx/metaout.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/wholewrite.h"

int metaopen(const char* name, metaout* m) {
  // Not O_TRUNC: the file may be another session's, still being written.
  int fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return METAOPEN_FAILED;
  struct stat sb;
  bool regular = fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode);
  if (regular) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int err = errno;
      close(fd);
      errno = err;
      return err == EWOULDBLOCK ? METAOPEN_LOCKED : METAOPEN_FAILED;
    }
    if (ftruncate(fd, 0) != 0) {
      int err = errno;
      close(fd);
      errno = err;
      return METAOPEN_FAILED;
    }
  }
  m->fd = fd;
  m->regular = regular;
  return METAOPEN_OK;
}

bool metawrite(const metaout& m, const int16_t* words, size_t n) {
  unsigned char tmp[8192];
  while (n > 0) {
    size_t k = n < sizeof(tmp) / 2 ? n : sizeof(tmp) / 2;
    for (size_t i = 0; i < k; i++) {
      uint16_t v = static_cast<uint16_t>(words[i]);
      tmp[2 * i] = static_cast<unsigned char>(v >> 8);
      tmp[2 * i + 1] = static_cast<unsigned char>(v & 0xff);
    }
    if (!writeall(m.fd, tmp, 2 * k)) return false;
    words += k;
    n -= k;
  }
  return true;
}

bool metaendat(int fd, off_t at, bool closeframe) {
  // The end records, big-endian: -2 closes a printed frame, -9 the file.
  static const unsigned char words[4] = {0xff, 0xfe, 0xff, 0xf7};
  const unsigned char* from = closeframe ? words : words + 2;
  size_t n = closeframe ? 4 : 2;
  return pwrite(fd, from, n, at) == static_cast<ssize_t>(n) &&
         ftruncate(fd, at + static_cast<off_t>(n)) == 0;
}

bool metaclose(metaout* m) {
  int rc = m->fd >= 0 ? close(m->fd) : 0;
  m->fd = -1;
  m->regular = false;
  return rc == 0;
}
