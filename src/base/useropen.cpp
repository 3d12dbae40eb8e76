#include "base/useropen.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "base/cmnstate.h"
#include "base/outflush.h"
#include "base/userlook.h"

namespace {

// One slice of a wait: short enough that an interrupt arriving just before
// the wait began is seen soon.
const int kSliceMs = 100;

int openflags(const char* mode) {
  bool plus = std::strchr(mode, '+') != nullptr;
  int fl = O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
  switch (mode[0]) {
    case 'r':
      fl |= plus ? O_RDWR : O_RDONLY;
      break;
    case 'w':
      fl |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
    case 'a':
      fl |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
    default:
      return -1;
  }
  if (std::strchr(mode, 'x')) fl |= O_EXCL;
  return fl;
}

// A FIFO opened for writing alone has no reader yet (ENXIO): try again
// until one comes or the user interrupts.  A socket gives ENXIO too, for
// good: it is no file to open, and is refused as not a regular file.
int openwaiting(int dir, const char* leaf, int fl) {
  for (;;) {
    int fd = ::openat(dir, leaf, fl, 0666);
    if (fd >= 0 || errno != ENXIO) return fd;
    struct stat st;
    if (fstatat(dir, leaf, &st, (fl & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) == 0 && S_ISSOCK(st.st_mode)) {
      errno = ESPIPE;
      return -1;
    }
    if ((fl & O_ACCMODE) != O_WRONLY) {
      errno = ENXIO;
      return -1;
    }
    if (omqsig()) {
      errno = EINTR;
      return -1;
    }
    poll(nullptr, 0, kSliceMs);
  }
}

bool refused(const struct stat& st, int flags, int fl) {
  if (S_ISDIR(st.st_mode) && (fl & O_ACCMODE) == O_RDONLY) {
    errno = EISDIR;
    return true;
  }
  if ((flags & OMO_REGULAR) && !S_ISREG(st.st_mode)) {
    errno = ESPIPE;
    return true;
  }
  return false;
}

// Links followed in one walk at most, as the kernel allows.
const int kMaxLinks = 40;

// Whether the folder dir is /proc's, whose links (a descriptor's, the
// process's own folder) lead to no name of their own: the kernel follows
// them.  Nobody but the process may change them.
bool inproc(int dir) {
  struct statfs fs;
  return fstatfs(dir, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// A walk down a name the user gave, part by part, from the folder it
// stands in now: the current one (AT_FDCWD) or one held.
struct walk {
  int dir = AT_FDCWD;
  ownedfd held;
  std::string folder;  // the folder's path as spelled, "" or ending in '/'
  int links = 0;
  bool linked = false;

  void moveto(int fd, const std::string& spelled) {
    held.reset(fd);
    dir = fd;
    folder = spelled;
  }
};

std::vector<std::string> partsof(const std::string& path) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return parts;
}

// The target of the link held as fd (opened O_PATH | O_NOFOLLOW): the
// link itself is read, not the name, which another may have changed.
bool readheld(int fd, std::string* target) {
  char buf[PATH_MAX];
  ssize_t n = readlinkat(fd, "", buf, sizeof buf);
  if (n < 0) return false;
  if (static_cast<size_t>(n) >= sizeof buf) {
    errno = ENAMETOOLONG;
    return false;
  }
  target->assign(buf, static_cast<size_t>(n));
  return true;
}

// Follows the link held as fd, met in the walk's folder, by the rule:
// false with errno ENOLINK when the rule bars it, ELOOP past the bound.
// A link of /proc's is left to the kernel (*kernel set).
bool follow(walk* w, int fd, const struct stat& link, std::string* target, bool* kernel) {
  *kernel = false;
  if (++w->links > kMaxLinks) {
    errno = ELOOP;
    return false;
  }
  w->linked = true;
  if (!omlinkok(w->dir, link)) {
    errno = ENOLINK;
    return false;
  }
  if (inproc(w->dir)) {
    *kernel = true;
    return true;
  }
  return readheld(fd, target);
}

bool descend(walk* w, const std::string& path, std::string* leaf);

// Goes down the folders of parts, the last part left in *leaf: a link on
// the way is followed by the rule, its target walked in its turn.
bool walkparts(walk* w, std::vector<std::string> todo, std::string* leaf) {
  std::reverse(todo.begin(), todo.end());
  while (todo.size() > 1) {
    std::string part = todo.back();
    todo.pop_back();
    if (part.empty() || part == ".") continue;
    ownedfd fd(openat(w->dir, part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) {
      w->moveto(fd.release(), w->folder + part + "/");
      continue;
    }
    if (!S_ISLNK(st.st_mode)) {
      errno = ENOTDIR;
      return false;
    }
    std::string target;
    bool kernel;
    if (!follow(w, fd.get(), st, &target, &kernel)) return false;
    if (kernel) {
      int in = openat(w->dir, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (in < 0) return false;
      w->moveto(in, w->folder + part + "/");
      continue;
    }
    std::string rest;
    if (!descend(w, target, &rest)) return false;
    // The folder the link leads to: its last part is gone down next.
    if (!rest.empty()) todo.push_back(rest);
  }
  *leaf = todo.empty() ? "" : todo.back();
  return true;
}

// Goes down to the folder of path from the walk's folder (from the root
// for a path that begins with "/"), leaving its last part in *leaf.  One
// call where no link is on the way.
bool descend(walk* w, const std::string& path, std::string* leaf) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  size_t slash = path.rfind('/');
  *leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string over = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  if (path[0] == '/') {
    int root = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return false;
    w->moveto(root, "/");
    over.erase(0, over.find_first_not_of('/'));
  }
  if (over.empty()) return true;
  struct open_how how = {};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  int fd = static_cast<int>(syscall(SYS_openat2, w->dir, over.c_str(), &how, sizeof how));
  if (fd >= 0) {
    w->moveto(fd, w->folder + over);
    return true;
  }
  if (errno != ELOOP && errno != ENOSYS && errno != EPERM && errno != EINVAL) return false;
  std::string none;
  return walkparts(w, partsof(over), &none);
}

// The look at the last part, not following a link there.  A file renamed
// over the name while it was looked at shows no name at all (a count of
// names of 0) for that moment: it is looked at again, its writer let run.
int lookat(int dir, const char* leaf, struct stat* st) {
  for (int tries = 0;; tries++) {
    if (fstatat(dir, leaf, st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
    if (st->st_nlink != 0 || S_ISDIR(st->st_mode) || tries >= 200) return 0;
    if (tries < 100) {
      sched_yield();
    } else {
      struct timespec ms = {0, 1000000L};
      nanosleep(&ms, nullptr);
    }
  }
}

// Empties a regular file just opened for writing, as O_TRUNC would have;
// the descriptor, or -1 with errno when that failed.
int emptied(int fd, bool trunc) {
  struct stat st;
  if (fd < 0 || !trunc || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ftruncate(fd, 0) == 0) return fd;
  int e = errno;
  ::close(fd);
  errno = e;
  return -1;
}

bool same(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The checks after an open: what it opened may be refused, a FIFO opened
// for reading waits for its writer, and reads and writes after it wait as
// with a plain open.
int settle(int fd, int oflags, int flags, int fl) {
  if (fd < 0) return -1;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && !refused(st, flags, fl);
  if (ok && S_ISFIFO(st.st_mode) && (fl & O_ACCMODE) == O_RDONLY && !omwaitreadable(fd)) {
    errno = EINTR;
    ok = false;
  }
  if (ok && !(oflags & O_NONBLOCK)) ok = fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  if (!ok) {
    int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

// An open for writing of what one look at the name saw.  Another user may
// change the name between the look and the open: in a sticky folder he
// may put his link to the user's own files where his plain file was.  So
// the open is made in the folder the look held, a name that was no link
// is opened without following one, a name where nothing was is made new,
// and the file opened must be the one looked at; a name changed meanwhile
// is looked at again.  A name that is one of the session's standard
// descriptors is that descriptor.  The file is emptied only once it is
// known to be the one looked at.
int openlooked(const char* name, int fl) {
  const bool trunc = (fl & O_TRUNC) != 0;
  int err = EAGAIN;
  for (int tries = 0; tries < 8; tries++) {
    omlooked l;
    if (!omlook(name, &l)) {
      if (errno == ENOLINK) errno = EACCES;
      return -1;
    }
    if (l.there && l.linked) {
      int fd = omstdfd(l.st);
      if (fd >= 0) {
        omoutflush();
        return fcntl(fd, F_DUPFD_CLOEXEC, 0);
      }
    }
    int how = fl & ~O_TRUNC;
    if (!l.magic) how |= O_NOFOLLOW;
    if (!l.there && (fl & O_CREAT)) how |= O_EXCL;
    int fd = openwaiting(l.dir.get(), l.leaf.empty() ? "." : l.leaf.c_str(), how);
    if (fd < 0) {
      err = errno;
      // A link put at the name, or a file made there, since the look.
      if (err == ELOOP || (err == EEXIST && !(fl & O_EXCL))) continue;
      return -1;
    }
    struct stat st;
    if (!l.there || (fstat(fd, &st) == 0 && same(st, l.st))) return emptied(fd, trunc);
    ::close(fd);
    err = EAGAIN;
  }
  errno = err;
  return -1;
}

// An open for reading by the rule: at once where no link is on the way;
// else walked, each link followed only where the rule allows.
int openread(const char* name, int fl) {
  struct open_how how = {};
  how.flags = static_cast<uint64_t>(fl);
  how.resolve = RESOLVE_NO_SYMLINKS;
  int fd = static_cast<int>(syscall(SYS_openat2, AT_FDCWD, name, &how, sizeof how));
  if (fd >= 0) return fd;
  if (errno != ELOOP && errno != ENOSYS && errno != EPERM && errno != EINVAL) {
    // A socket there (ENXIO) is no file to open.
    struct stat st;
    if (errno == ENXIO) errno = fstatat(AT_FDCWD, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(st.st_mode) ? ESPIPE : ENXIO;
    return -1;
  }
  walk w;
  std::string leaf;
  if (!descend(&w, name, &leaf)) return -1;
  for (;;) {
    const char* at = leaf.empty() ? "." : leaf.c_str();
    fd = openwaiting(w.dir, at, fl | O_NOFOLLOW);
    if (fd >= 0 || errno != ELOOP) return fd;
    struct stat st;
    ownedfd link(openat(w.dir, at, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (link.get() < 0 || fstat(link.get(), &st) != 0) return -1;
    if (!S_ISLNK(st.st_mode)) {
      // Made no link since: looked at again, within the bound.
      if (++w.links > kMaxLinks) return errno = ELOOP, -1;
      continue;
    }
    std::string target;
    bool kernel;
    if (!follow(&w, link.get(), st, &target, &kernel)) return -1;
    if (kernel) return openwaiting(w.dir, at, fl);
    if (!descend(&w, target, &leaf)) return -1;
  }
}

}  // namespace

bool omlinkok(int dir, const struct stat& link) {
  if (link.st_uid == geteuid()) return true;
  struct stat ds;
  if (fstat(dir, &ds) != 0) return false;
  return !(ds.st_mode & S_ISVTX) || !(ds.st_mode & S_IWOTH) || ds.st_uid == link.st_uid;
}

bool omlook(const char* name, omlooked* l) {
  *l = omlooked();
  if (!name) {
    errno = EINVAL;
    return false;
  }
  walk w;
  std::string leaf;
  if (!descend(&w, name, &leaf)) return false;
  for (;;) {
    if (leaf.empty()) {
      // The folder itself: what an open of it would find.
      if (fstatat(w.dir, ".", &l->st, 0) != 0) return false;
      l->there = true;
      break;
    }
    struct stat st;
    if (lookat(w.dir, leaf.c_str(), &st) != 0) {
      if (errno != ENOENT) return false;
      break;
    }
    if (!S_ISLNK(st.st_mode)) {
      l->st = st;
      l->there = true;
      break;
    }
    // The link held to be read, only while it is the one the look saw.
    ownedfd fd(openat(w.dir, leaf.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat held;
    if (fd.get() < 0 || fstat(fd.get(), &held) != 0 || !same(held, st)) {
      if (++w.links > kMaxLinks) {
        errno = ELOOP;
        return false;
      }
      continue;
    }
    std::string target;
    bool kernel;
    if (!follow(&w, fd.get(), st, &target, &kernel)) return false;
    if (kernel) {
      if (fstatat(w.dir, leaf.c_str(), &l->st, 0) != 0) {
        if (errno != ENOENT) return false;
        break;
      }
      l->there = l->magic = true;
      break;
    }
    if (!descend(&w, target, &leaf)) return false;
  }
  if (w.dir == AT_FDCWD) w.held.reset(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (w.held.get() < 0) return false;
  l->dir = std::move(w.held);
  l->folder = w.folder;
  l->leaf = leaf;
  l->linked = w.linked;
  return true;
}

int omstdfd(const struct stat& st) {
  for (int fd : {1, 2, 0}) {
    struct stat s;
    if (fstat(fd, &s) != 0 || !same(s, st)) continue;
    int fl = fcntl(fd, F_GETFL);
    if (fl >= 0 && (fl & O_ACCMODE) != O_RDONLY) return fd;
  }
  return -1;
}

int omopenat(int dir, const char* leaf, int oflags, int flags) {
  int fl = oflags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  return settle(openwaiting(dir, leaf, fl), oflags, flags, fl);
}

int omopen(const char* name, int oflags, int flags) {
  if (!name) {
    errno = EINVAL;
    return -1;
  }
  int fl = oflags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  bool writing = (oflags & O_ACCMODE) != O_RDONLY || (oflags & O_CREAT);
  return settle(writing ? openlooked(name, fl) : openread(name, fl), oflags, flags, fl);
}

std::FILE* omfopen(const char* name, const char* mode, int flags) {
  int fl = name && mode ? openflags(mode) : -1;
  if (fl < 0) {
    errno = EINVAL;
    return nullptr;
  }
  int fd = omopen(name, fl & ~O_NONBLOCK, flags);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, mode);
  if (!f) {
    int e = errno;
    ::close(fd);
    errno = e;
  }
  return f;
}

std::FILE* omfdata(const char* name) { return omfopen(name, "rb", OMO_REGULAR); }

// A FIFO opened for reading alone reports nothing until a writer first
// opens it; after that, until it has written or come and gone.
bool omwaitreadable(int fd) {
  for (;;) {
    if (omqsig()) return false;
    struct pollfd p = {fd, POLLIN, 0};
    int r = poll(&p, 1, kSliceMs);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return true;  // the read will tell
  }
}

const char* omopenwhy(int err) {
  switch (err) {
    case EINTR:
      return "interrupted while waiting for the other end of the pipe";
    case ESPIPE:
      return "not a regular file";
    case EFBIG:
      return "larger than such a file can be";
    case ENOLINK:
      return "another user's link in a folder that anyone may write (sticky): not followed";
    default:
      return std::strerror(err);
  }
}

std::string omopennote(int err) {
  if (err != EINTR && err != ESPIPE && err != EFBIG && err != EISDIR && err != ENOLINK) return "";
  return std::string("  ") + omopenwhy(err) + "\n";
}
