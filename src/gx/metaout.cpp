#include "gx/metaout.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>
#include <utility>

#include "base/endhold.h"
#include "base/heldwrite.h"
#include "base/replsig.h"
#include "base/wholewrite.h"

const char* const kMetaPart = ".part";
const int16_t kMetaEnd[2] = {-2, -9};

namespace {

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
    if (!replopen(name, kMetaPart, &r, hold, REPL_COPY)) {
      m->file.note = r.note;
      return METAOPEN_FAILED;
    }
    if (r.regular) {
      if (flock(r.fd, LOCK_EX | LOCK_NB) != 0)
        return failwith(&r, errno == EWOULDBLOCK ? METAOPEN_LOCKED : METAOPEN_FAILED);
      if (!r.part.empty() && !replstill(r.fd, r.dir.get(), r.partleaf.c_str())) {
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

namespace {

// The bytes [from, to) of a run of words, big-endian, into out.
size_t bigendian(const int16_t* words, size_t from, size_t to, unsigned char* out) {
  size_t b = from;
  if (b % 2 == 1 && b < to) *out++ = static_cast<unsigned char>(words[b++ / 2] & 0xff);
  for (; b + 1 < to; b += 2) {
    uint16_t v = static_cast<uint16_t>(words[b / 2]);
    *out++ = static_cast<unsigned char>(v >> 8);
    *out++ = static_cast<unsigned char>(v & 0xff);
  }
  if (b < to) *out = static_cast<unsigned char>(static_cast<uint16_t>(words[b / 2]) >> 8);
  return to - from;
}

// The run going out to a stream that cannot be cut back, for an ending:
// its words (null once it is out), its length and what of it went out in
// bytes, and what ends the stream after it.  There is one metafile at a
// time.
struct streamrun {
  std::atomic<const int16_t*> words{nullptr};
  volatile sig_atomic_t bytes = 0;
  volatile sig_atomic_t sent = 0;
  volatile sig_atomic_t after = META_END_FILE;
};
streamrun run;

// The last n bytes of the end records, big-endian, into out.
const unsigned char* endbytes(size_t n, unsigned char out[4]) {
  bigendian(kMetaEnd, 0, 4, out);
  return out + 4 - n;
}

// An ending's end of a stream: the rest of the run, then its end records.
bool endstream(int fd) {
  outkind k = outkindof(fd);
  const int16_t* words = run.words;
  size_t from = static_cast<size_t>(run.sent), to = static_cast<size_t>(run.bytes);
  unsigned char tmp[512];
  while (words && from < to) {
    size_t len = bigendian(words, from, std::min(to, from + sizeof tmp), tmp);
    size_t put = nowaitwrite(fd, k, tmp, len);
    from += put;
    if (put < len) return false;
  }
  size_t n = run.after == META_END_FRAME ? 4 : run.after == META_END_FILE ? 2 : 0;
  unsigned char ends[4];
  return nowaitwrite(fd, k, endbytes(n, ends), n) == n;
}

}  // namespace

bool metawrite(const metaout& m, const int16_t* words, size_t n, metaend after) {
  const bool stream = !m.regular();
  if (stream) {
    // An ending finds the run before or after this, never half set.
    endhold hold;
    hold.hold();
    run.words = nullptr;
    run.bytes = static_cast<sig_atomic_t>(2 * n);
    run.sent = 0;
    run.after = after;
    run.words = words;
  }
  const outkind k = stream ? outkindof(m.fd()) : outkind::file;
  unsigned char tmp[8192];
  for (size_t at = 0; at < 2 * n;) {
    size_t len = bigendian(words, at, std::min(2 * n, at + sizeof tmp), tmp);
    const char* p = reinterpret_cast<const char*>(tmp);
    if (stream ? !heldwrite(m.fd(), k, p, len, &run.sent) : !writeall(m.fd(), p, len)) return false;
    at += len;
  }
  run.words = nullptr;
  return true;
}

bool metaendat(int fd, off_t at, bool closeframe) {
  size_t n = closeframe ? 4 : 2;
  unsigned char ends[4];
  const unsigned char* from = endbytes(n, ends);
  struct stat sb;
  if (fstat(fd, &sb) != 0) return false;
  if (!S_ISREG(sb.st_mode)) return endstream(fd);
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
