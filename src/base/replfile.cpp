#include "base/replfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/endhold.h"
#include "base/useropen.h"
#include "base/wholewrite.h"

namespace {

enum class way { rename, inplace, refuse };

// How name is to be written, the name the file ends up at (a link to a
// plain file is followed, so the link itself stays), and the older file
// there, if any.  Whether the user may write it is asked of the kernel with
// the effective ids, as an open for writing would.
way choose(const char* name, std::string* final, struct stat* old, bool* exists) {
  struct stat lsb;
  *exists = false;
  *final = name;
  if (lstat(name, &lsb) != 0) return errno == ENOENT ? way::rename : way::refuse;
  if (S_ISLNK(lsb.st_mode)) {
    if (stat(name, old) != 0 || !S_ISREG(old->st_mode)) return way::inplace;
    char* real = realpath(name, nullptr);
    if (!real) return way::inplace;
    *final = real;
    free(real);
  } else if (S_ISREG(lsb.st_mode)) {
    *old = lsb;
  } else {
    return way::inplace;
  }
  *exists = true;
  if (faccessat(AT_FDCWD, final->c_str(), W_OK, AT_EACCESS) != 0) return way::refuse;
  if (old->st_uid != geteuid() || old->st_nlink != 1) return way::inplace;
  return way::rename;
}

// The part name: tail after the final name, or, when that is too long for
// the folder, after a short stand-in for the final name's last part that
// is the same for the same name (sessions must agree on a fixed one).
std::string partname(const std::string& final, const std::string& tail, bool shortname) {
  if (!shortname) return final + tail;
  size_t slash = final.rfind('/');
  size_t at = slash == std::string::npos ? 0 : slash + 1;
  uint64_t h = 1469598103934665603ULL;
  for (size_t i = at; i < final.size(); i++) {
    h ^= static_cast<unsigned char>(final[i]);
    h *= 1099511628211ULL;
  }
  char buf[24];
  snprintf(buf, sizeof buf, ".om%016llx", static_cast<unsigned long long>(h));
  return final.substr(0, at) + buf + tail;
}

const int kPartFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// A part file of a fixed name: made new, or an older one (left by a
// session that was killed, or another session's, which its lock then
// guards) taken over when it is a plain file of the user's.  A link there
// is never followed and a FIFO never waited for.
int openfixed(const std::string& part, bool* made) {
  for (int tries = 0; tries < 8; tries++) {
    int fd = open(part.c_str(), kPartFlags | O_CREAT | O_EXCL, 0666);
    *made = fd >= 0;
    if (fd >= 0 || errno != EEXIST) return fd;
    struct stat lsb, sb;
    if (lstat(part.c_str(), &lsb) != 0) {
      if (errno == ENOENT) continue;
      return -1;
    }
    if (!S_ISREG(lsb.st_mode) || lsb.st_uid != geteuid()) {
      errno = EEXIST;
      return -1;
    }
    fd = open(part.c_str(), kPartFlags);
    if (fd < 0) {
      if (errno == ENOENT) continue;
      return -1;
    }
    if (fstat(fd, &sb) == 0 && sb.st_dev == lsb.st_dev && sb.st_ino == lsb.st_ino) return fd;
    close(fd);
  }
  errno = EEXIST;
  return -1;
}

// A part file of a name no other file has.
int openunique(const std::string& final, bool shortname, std::string* part) {
  for (unsigned n = 0; n < 100; n++) {
    *part = partname(final, "." + std::to_string(getpid()) + "." + std::to_string(n) + ".part",
                     shortname);
    int fd = open(part->c_str(), kPartFlags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

int openpart(const std::string& final, const char* suffix, std::string* part, bool* made) {
  int fd = -1;
  *made = true;
  for (bool shortname : {false, true}) {
    if (suffix) {
      *part = partname(final, suffix, shortname);
      fd = openfixed(*part, made);
    } else {
      fd = openunique(final, shortname, part);
    }
    if (fd >= 0 || errno != ENAMETOOLONG) break;
  }
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// The new file takes the older one's mode and group, as writing it in
// place would have left them; a group the user cannot give it is a reason
// to write in place after all.
bool likeolder(int fd, const struct stat& old) {
  struct stat sb;
  if (fstat(fd, &sb) != 0) return false;
  if (sb.st_gid != old.st_gid && fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) return false;
  return fchmod(fd, old.st_mode & 07777) == 0;
}

bool openinplace(const char* name, replfile* r) {
  int fd = omopen(name, O_WRONLY | O_CREAT | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat sb;
  r->name = name;
  r->fd = fd;
  r->regular = fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode);
  return true;
}

// Writes a file in place over its older bytes: the room is taken first, so
// that a full disk or a size limit leaves the older file as it was, and
// the file is cut to its new length at the end.
bool overwrite(int fd, const void* data, size_t n) {
  struct stat sb;
  if (fstat(fd, &sb) != 0) return false;
  if (n > 0 && fallocate(fd, 0, 0, static_cast<off_t>(n)) != 0 && errno != EOPNOTSUPP &&
      errno != ENOSYS) {
    cutback(fd, sb.st_size);
    return false;
  }
  if (lseek(fd, 0, SEEK_SET) == 0 && writeall(fd, data, n) &&
      ftruncate(fd, static_cast<off_t>(n)) == 0)
    return true;
  // The older bytes are partly gone: no torn file is left.
  cutback(fd, 0);
  return false;
}

// Why no part file could be made, naming it.
std::string partnote(const std::string& part, int err) {
  if (err == EEXIST) return "  The part file " + part + " is in the way: it is no plain file of yours\n";
  return "  Cannot make the part file " + part + ": " + strerror(err) + "\n";
}

}  // namespace

bool replopen(const char* name, const char* suffix, replfile* r, endhold* hold) {
  *r = replfile();
  std::string final;
  struct stat old;
  bool exists;
  way w = choose(name, &final, &old, &exists);
  if (w == way::refuse) return false;
  if (w == way::rename) {
    std::string part;
    bool made;
    if (hold) hold->hold();
    int fd = openpart(final, suffix, &part, &made);
    if (fd >= 0 && (!exists || likeolder(fd, old))) {
      r->name = final;
      r->part = part;
      r->fd = fd;
      r->regular = true;
      return true;
    }
    int err = errno;
    if (fd >= 0) {
      // A part taken over may be another session's: only a new one goes.
      close(fd);
      if (made) unlink(part.c_str());
    }
    if (hold) hold->release();
    if (fd >= 0) return openinplace(name, r);
    // Nothing is written in place instead: the older file stays whole.
    if (exists) r->note = partnote(part, err);
    errno = err;
    return false;
  }
  return openinplace(name, r);
}

bool replcommit(replfile* r) {
  if (!r->part.empty() && rename(r->part.c_str(), r->name.c_str()) != 0) {
    int err = errno;
    repldiscard(r);
    errno = err;
    return false;
  }
  // A descriptor of -1 was closed already, with the stream that owned it.
  bool ok = r->fd < 0 || close(r->fd) == 0;
  r->fd = -1;
  return ok;
}

void repldiscard(replfile* r) {
  if (r->fd >= 0) close(r->fd);
  r->fd = -1;
  if (!r->part.empty()) unlink(r->part.c_str());
}

int replsave(const char* name, const void* data, size_t n, std::string* note) {
  endhold hold;
  replfile r;
  if (!replopen(name, nullptr, &r, &hold)) {
    if (note) *note = r.note;
    return 1;
  }
  bool ok = r.part.empty() && r.regular ? overwrite(r.fd, data, n) : writeall(r.fd, data, n);
  if (ok && replcommit(&r)) return 0;
  repldiscard(&r);
  return 2;
}
