#include "gx/metaout.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/wholewrite.h"

const char* const kMetaPart = ".part";

namespace {

// Whether the descriptor is still the file at path: the part file's last
// writer may have renamed it into place between our open and our lock.
bool stillat(int fd, const std::string& path) {
  struct stat a, b;
  return fstat(fd, &a) == 0 && stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

int failwith(replfile* r, int rc) {
  int err = errno;
  close(r->fd);
  r->fd = -1;
  errno = err;
  return rc;
}

}  // namespace

int metaopen(const char* name, metaout* m, endhold* hold) {
  for (int tries = 0; tries < 8; tries++) {
    replfile r;
    // The part file is opened without emptying it: it may be another
    // session's, still being written.  Once locked, it is ours only while
    // it is still the part file: a session that finished it renamed it
    // away before letting the lock go.
    if (!replopen(name, kMetaPart, &r, hold)) {
      m->file.note = r.note;
      return METAOPEN_FAILED;
    }
    if (r.regular) {
      if (flock(r.fd, LOCK_EX | LOCK_NB) != 0)
        return failwith(&r, errno == EWOULDBLOCK ? METAOPEN_LOCKED : METAOPEN_FAILED);
      if (!r.part.empty() && !stillat(r.fd, r.part)) {
        close(r.fd);
        continue;
      }
      if (ftruncate(r.fd, 0) != 0) return failwith(&r, METAOPEN_FAILED);
    }
    m->file = r;
    return METAOPEN_OK;
  }
  return METAOPEN_FAILED;
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
    if (!writeall(m.fd(), tmp, 2 * k)) return false;
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
  struct stat sb;
  if (fstat(fd, &sb) != 0) return false;
  // A pipe or a FIFO takes them where it is: nothing can be cut there.
  if (!S_ISREG(sb.st_mode)) return writeall(fd, from, n);
  // Cut first, so that whatever lies beyond goes even when the end
  // records then do not fit (a size limit): the file still ends at a whole
  // frame, its length even.
  if (ftruncate(fd, at) != 0) return false;
  if (pwrite(fd, from, n, at) == static_cast<ssize_t>(n)) return true;
  while (ftruncate(fd, at) != 0 && errno == EINTR) {
  }
  return false;
}

bool metaclose(metaout* m) { return replcommit(&m->file); }

void metadiscard(metaout* m) {
  bool inplace = m->file.part.empty() && m->file.regular;
  repldiscard(&m->file);
  // A torn header written in place is worse than no file.
  if (inplace) unlink(m->file.name.c_str());
}

void metaabandon(metaout* m) {
  if (m->file.fd >= 0) close(m->file.fd);
  m->file = replfile();
}
