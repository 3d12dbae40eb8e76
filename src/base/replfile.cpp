#include "base/replfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/endhold.h"
#include "base/outflush.h"
#include "base/replsig.h"
#include "base/userlook.h"
#include "base/useropen.h"
#include "base/wholewrite.h"

namespace {

enum class way { rename, inplace, standard, refuse };

// What the look at the name found: the plain file there (or a link's
// target), if any, and the file an open in place must find (seen), which
// is that file or what else stood there (a device, a FIFO).
struct older {
  bool exists = false;
  bool seen = false;
  bool magic = false;  // reached by a link of /proc's, which the open follows
  int stdfd = -1;      // the session's standard descriptor it is, or -1
  struct stat st = {};
};

void saw(older* o, const struct stat& st) {
  o->seen = true;
  o->st = st;
}

// How name is to be written, decided from one look at it (omlook): its
// folder, held, and the name the file ends up at there (a link is followed
// by the link rule, so the link itself stays), and the older file there,
// if any.  Whether the user may write it is asked of the kernel with the
// effective ids, as an open for writing would.
way choose(const char* name, replfile* r, std::string* folder, older* o) {
  omlooked l;
  if (!omlook(name, &l)) {
    if (errno == ENOLINK) errno = EACCES;
    return way::refuse;
  }
  r->dir = std::move(l.dir);
  r->leaf = l.leaf;
  *folder = l.folder;
  r->name = l.folder + l.leaf;
  if (!l.there) return way::rename;
  saw(o, l.st);
  o->magic = l.magic;
  if (l.leaf.empty()) return way::inplace;
  // Written through the descriptor itself, after the session's text.
  if (l.linked && (o->stdfd = omstdfd(l.st)) >= 0) return way::standard;
  if (l.magic || !S_ISREG(l.st.st_mode)) return way::inplace;
  // A name removed since it was looked at is free now: the commit judges
  // whatever stands there then.  The permission asked is the name's, of
  // whatever stands there now; the open and the commit judge the file by
  // the look, whatever was asked.
  if (faccessat(r->dir.get(), r->leaf.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? way::rename : way::refuse;
  o->exists = true;
  if (l.st.st_uid != geteuid() || l.st.st_nlink != 1) return way::inplace;
  return way::rename;
}

// The part name: tail after the last part of the final name, or, when that
// is too long for the folder, after a short stand-in for it that is the
// same for the same name (sessions must agree on a fixed one).
std::string partname(const std::string& leaf, const std::string& tail, bool shortname) {
  if (!shortname) return leaf + tail;
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : leaf) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char buf[24];
  snprintf(buf, sizeof buf, ".om%016llx", static_cast<unsigned long long>(h));
  return buf + tail;
}

const int kPartFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Whether a part file left by another session may be taken over: a plain
// file of the user's with no other name (writing one with other names
// would write those files too).  errno says why not.
bool takeable(const struct stat& st) {
  if (!S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
    errno = EEXIST;
    return false;
  }
  if (st.st_nlink != 1) {
    errno = EMLINK;
    return false;
  }
  return true;
}

// A part file of a fixed name: made new, or an older one (left by a
// session that was killed, or another session's, which its lock then
// guards) taken over when takeable.  A link there is never followed and a
// FIFO never waited for.
int openfixed(int dir, const std::string& part, int access, bool* made) {
  for (int tries = 0; tries < 8; tries++) {
    int fd = openat(dir, part.c_str(), access | kPartFlags | O_CREAT | O_EXCL, 0666);
    *made = fd >= 0;
    if (fd >= 0 || errno != EEXIST) return fd;
    struct stat lsb, sb;
    if (replstatname(dir, part.c_str(), &lsb) != 0) {
      if (errno == ENOENT) continue;
      return -1;
    }
    if (!takeable(lsb)) return -1;
    fd = openat(dir, part.c_str(), access | kPartFlags);
    if (fd < 0) {
      if (errno == ENOENT) continue;
      return -1;
    }
    bool same = fstat(fd, &sb) == 0 && sb.st_dev == lsb.st_dev && sb.st_ino == lsb.st_ino;
    if (same && takeable(sb)) return fd;
    // Removed by its writer since it was looked at: made anew.
    if (same && sb.st_nlink == 0) {
      close(fd);
      continue;
    }
    int err = errno;
    close(fd);
    if (same) {
      errno = err;
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

// A part file of a name no other file has: its number counts up from 0,
// and past a hundred names in the way (parts kept by this session, or made
// by another user to stop it) it is drawn at random.
int openunique(int dir, const std::string& leaf, bool shortname, int access, std::string* part) {
  for (unsigned n = 0; n < 200; n++) {
    unsigned long long k = n;
    if (n >= 100 && getrandom(&k, sizeof k, GRND_NONBLOCK) != sizeof k) k = n * 2654435761ULL ^ static_cast<unsigned long long>(time(nullptr));
    *part = partname(leaf, "." + std::to_string(getpid()) + "." + std::to_string(k) + ".part", shortname);
    int fd = openat(dir, part->c_str(), access | kPartFlags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Marks a part being written, and locks it while its session holds it.
void markwriting(int fd) {
  if (fsetxattr(fd, kPartWriting, "", 0, 0) != 0) return;
  struct flock l = {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  (void)fcntl(fd, F_OFD_SETLK, &l);
}

// The number of the session that made the part name of leaf, or 0 when
// name is no such part name (leaf.PID.N.part, or the short one).
pid_t partpid(const std::string& name, const std::string& leaf) {
  for (bool shortname : {false, true}) {
    const std::string head = partname(leaf, ".", shortname);
    if (name.size() <= head.size() + 5 || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - 5, 5, ".part") != 0)
      continue;
    const char* p = name.c_str() + head.size();
    char* end;
    errno = 0;
    long pid = strtol(p, &end, 10);
    if (errno || end == p || *end != '.' || pid <= 0 || pid > INT_MAX) continue;
    p = end + 1;
    (void)strtoull(p, &end, 10);
    if (end != p && std::strcmp(end, ".part") == 0) return static_cast<pid_t>(pid);
  }
  return 0;
}

// Whether the part file name in dir was left by a session of the user's
// that is gone: a plain file of his with no other name, still marked as
// being written, that no session holds, and whose session no longer runs.
// The part, opened, in *fd.
bool leftbehind(int dir, const std::string& name, pid_t pid, int* fd) {
  if (pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) return false;
  *fd = openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st;
  struct flock l = {};
  l.l_type = F_WRLCK;
  l.l_whence = SEEK_SET;
  return *fd >= 0 && fstat(*fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_nlink == 1 &&
         fgetxattr(*fd, kPartWriting, nullptr, 0) >= 0 && fcntl(*fd, F_OFD_GETLK, &l) == 0 && l.l_type == F_UNLCK;
}

// Removes the parts of leaf that the user's sessions that are gone left in
// dir, and the line that names them (spelled after folder), or "".
std::string sweep(int dir, const std::string& folder, const std::string& leaf) {
  int list = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = list >= 0 ? fdopendir(list) : nullptr;
  if (!d) {
    if (list >= 0) close(list);
    return "";
  }
  std::string said;
  while (struct dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    const pid_t pid = partpid(name, leaf);
    int fd = -1;
    if (pid > 0 && leftbehind(dir, name, pid, &fd)) {
      replunlink(fd, dir, name.c_str());
      said += (said.empty() ? "" : ", ") + replshownname(folder + name);
    }
    if (fd >= 0) close(fd);
  }
  closedir(d);
  return said.empty() ? "" : "Removed the part files of sessions that ended: " + said + "\n";
}

int openpart(replfile* r, const std::string& folder, const char* suffix, int access, bool* made) {
  int fd = -1;
  *made = true;
  for (bool shortname : {false, true}) {
    if (suffix) {
      r->partleaf = partname(r->leaf, suffix, shortname);
      fd = openfixed(r->dir.get(), r->partleaf, access, made);
    } else {
      fd = openunique(r->dir.get(), r->leaf, shortname, access, &r->partleaf);
    }
    if (fd >= 0 || errno != ENAMETOOLONG) break;
  }
  r->part = folder + r->partleaf;
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

// The older file itself, for a copy over it at the end: opened in the held
// folder, and only while it is still the file the rules were applied to.
bool opentarget(replfile* r, const struct stat& old) {
  int fd = openat(r->dir.get(), r->leaf.c_str(), O_WRONLY | kPartFlags);
  struct stat sb;
  if (fd >= 0 && fstat(fd, &sb) == 0 && sb.st_dev == old.st_dev && sb.st_ino == old.st_ino) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    r->target.reset(fd);
    return true;
  }
  if (fd >= 0) close(fd);
  return false;
}

// Opens the name the look held to be written in place, only while it is
// still the file the look saw: false with errno EAGAIN when another file
// stands there now, to be looked at anew.  Where the look saw nothing (the
// folder itself) the open says why.
bool openinplace(replfile* r, const older& o) {
  const std::string leaf = r->leaf.empty() ? "." : r->leaf;
  int fd = omopenat(r->dir.get(), leaf.c_str(), O_WRONLY | (o.magic ? 0 : O_NOFOLLOW) | (o.seen ? 0 : O_CREAT | O_EXCL));
  if (fd < 0) {
    if (errno == ELOOP || errno == EEXIST || (errno == ENOENT && o.seen)) errno = EAGAIN;
    return false;
  }
  struct stat sb;
  bool known = fstat(fd, &sb) == 0;
  if (o.seen && (!known || sb.st_dev != o.st.st_dev || sb.st_ino != o.st.st_ino)) {
    close(fd);
    errno = EAGAIN;
    return false;
  }
  r->fd = fd;
  r->regular = known && S_ISREG(sb.st_mode);
  r->dir.reset();
  return true;
}

// The session's standard descriptor, written through a copy of it once the
// session's text so far has gone out.
bool openstandard(replfile* r, const older& o) {
  omoutflush();
  r->fd = fcntl(o.stdfd, F_DUPFD_CLOEXEC, 0);
  r->dir.reset();
  return r->fd >= 0;
}

// Writes a file in place over its older bytes (reploverwrite).
bool overwrite(int fd, const void* data, size_t n) {
  auto fill = [](int to, off_t k, const void* bytes) { return writeall(to, bytes, static_cast<size_t>(k)); };
  return reploverwrite(fd, static_cast<off_t>(n), fill, data);
}

// Why no part file could be made, naming it; fixed: a part of a fixed
// name, which the file in the way would have been taken over as.
std::string partnote(const std::string& part, int err, bool fixed) {
  std::string shown = replshownname(part);
  if (fixed && err == EEXIST) return "  The part file " + shown + " is in the way: it is no plain file of yours\n";
  if (fixed && err == EMLINK) return "  The part file " + shown + " is in the way: it has other hard links\n";
  return "  Cannot make the part file " + shown + ": " + strerror(err) + "\n";
}

bool copyname(const std::string& from, char* to, size_t n) {
  if (from.size() >= n) return false;
  std::memcpy(to, from.c_str(), from.size() + 1);
  return true;
}

}  // namespace

namespace {

// One look at the name and the open it calls for (replopen); false with
// errno EAGAIN when what the look saw has changed by the open.
bool openonce(const char* name, const char* suffix, replfile* r, endhold* hold, int flags) {
  *r = replfile();
  std::string folder;
  older o;
  way w = choose(name, r, &folder, &o);
  if (w == way::refuse) {
    int err = errno;
    *r = replfile();
    errno = err;
    return false;
  }
  if (w == way::standard) return openstandard(r, o);
  bool copy = (flags & REPL_COPY) && o.exists;
  if (w == way::inplace && !copy) return openinplace(r, o);
  bool made;
  // A hold the caller took for an earlier part (a data file and its
  // descriptor) is its own: only what this call took is let go here.
  const bool marked = (flags & REPL_MARKED) && !suffix;
  std::string swept = marked ? sweep(r->dir.get(), folder, r->leaf) : "";
  bool took = hold && !hold->held();
  if (took) hold->hold();
  int fd = openpart(r, folder, suffix, copy ? O_RDWR : O_WRONLY, &made);
  if (fd >= 0) {
    bool renamed = w == way::rename && (!o.exists || likeolder(fd, o.st));
    if (renamed || (copy && opentarget(r, o.st))) {
      if (marked) markwriting(fd);
      r->fd = fd;
      r->regular = true;
      r->marked = marked;
      r->note = swept;
      return true;
    }
    // A part taken over may be another session's: only a new one goes.
    if (made) replunlink(fd, r->dir.get(), r->partleaf.c_str());
    close(fd);
    if (took) hold->release();
    r->part.clear();
    r->partleaf.clear();
    return openinplace(r, o);
  }
  int err = errno;
  if (took) hold->release();
  // Nothing is written in place instead: the older file stays whole.  The
  // part file is named whether or not there is an older file.
  std::string note = partnote(r->part, err, suffix != nullptr);
  *r = replfile();
  r->note = note;
  errno = err;
  return false;
}

}  // namespace

bool replopen(const char* name, const char* suffix, replfile* r, endhold* hold, int flags) {
  for (int tries = 0; tries < 8; tries++) {
    if (openonce(name, suffix, r, hold, flags)) return true;
    if (errno != EAGAIN) return false;
  }
  return false;
}

bool replsigof(const replfile& r, replsig* s) {
  *s = replsig();
  if (r.part.empty() || !copyname(r.partleaf, s->part, sizeof s->part) ||
      !copyname(r.leaf, s->leaf, sizeof s->leaf))
    return false;
  s->dir = r.dir.get();
  s->fd = r.fd;
  s->target = r.target.get();
  s->marked = r.marked;
  return true;
}

int replcommit(replfile* r) {
  int rc = REPL_DONE;
  replsig s;
  if (replsigof(*r, &s)) {
    char why[kEndLine];
    if (!replput(s, why, sizeof why)) {
      r->note = why;
      rc = REPL_KEPT;
    }
  }
  // A descriptor of -1 was closed already, with the stream that owned it.
  bool closed = r->fd < 0 || (r->part.empty() ? replclose(r->fd) : close(r->fd) == 0);
  int err = errno;
  r->fd = -1;
  if (r->target.get() >= 0) closed = close(r->target.release()) == 0 && closed;
  r->dir.reset();
  if (rc == REPL_DONE && !closed) {
    errno = err;
    rc = REPL_FAILED;
  }
  return rc;
}

bool replclose(int fd) {
  bool settled = replsettled(fd);
  int err = errno;
  if (close(fd) != 0) return false;
  errno = err;
  return settled;
}

bool replfclose(std::FILE* f) {
  bool settled = std::fflush(f) == 0 && replsettled(fileno(f));
  int err = errno;
  if (std::fclose(f) != 0) return false;
  errno = err;
  return settled;
}

void repldiscard(replfile* r) {
  replsig s;
  // Only the part file itself goes: not what another writer of the folder
  // may have put under its name.
  if (replsigof(*r, &s)) replunlink(s.fd, s.dir, s.part);
  replleave(r);
}

void replleave(replfile* r) {
  if (r->fd >= 0) close(r->fd);
  r->fd = -1;
  r->target.reset();
  r->dir.reset();
}

int replsave(const char* name, const void* data, size_t n, std::string* note) {
  endhold hold;
  replfile r;
  if (!replopen(name, nullptr, &r, &hold)) {
    if (note) *note = r.note;
    return 1;
  }
  bool ok = r.part.empty() && r.regular ? overwrite(r.fd, data, n) : writeall(r.fd, data, n);
  if (!ok) {
    int err = errno;
    repldiscard(&r);
    errno = err;
    return 2;
  }
  int rc = replcommit(&r);
  if (rc == REPL_KEPT && note) *note = r.note;
  return rc == REPL_DONE ? 0 : rc == REPL_KEPT ? 3 : 2;
}
