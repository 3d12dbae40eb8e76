#include "gx/metaout.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "base/wholewrite.h"

const char* const kMetaPart = ".part";

namespace {

// Whether the descriptor is still the part file: its last writer may have
// renamed it into place between our open and our lock.
bool stillpart(const replfile& r) {
  struct stat a, b;
  return fstat(r.fd, &a) == 0 && fstatat(r.dir.get(), r.partleaf.c_str(), &b, AT_SYMLINK_NOFOLLOW) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
      if (!r.part.empty() && !stillpart(r)) {
        close(r.fd);
        continue;
      }
      if (ftruncate(r.fd, 0) != 0) return failwith(&r, METAOPEN_FAILED);
    }
    m->file = std::move(r);
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

int metaclose(metaout* m) { return replcommit(&m->file); }

void metadiscard(metaout* m) {
  // A torn header written in place is worse than an empty file; the file
  // itself stays, with its owner and its other names.
  if (m->file.part.empty() && m->file.regular) cutback(m->file.fd, 0);
  repldiscard(&m->file);
}

void metaabandon(metaout* m) {
  if (m->file.fd >= 0) close(m->file.fd);
  m->file = replfile();
}
