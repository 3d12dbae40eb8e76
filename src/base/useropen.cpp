#include "base/useropen.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/cmnstate.h"

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
// until one comes or the user interrupts.
int openwaiting(const char* name, int fl) {
  for (;;) {
    int fd = ::open(name, fl, 0666);
    if (fd >= 0 || errno != ENXIO || (fl & O_ACCMODE) != O_WRONLY) return fd;
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

// Whether the link name, looked at as ls, may not be followed for writing
// (omlinkbarred); errno EACCES when barred.
bool barred(const char* name, const struct stat& ls) {
  if (ls.st_uid == geteuid()) return false;
  struct stat ds;
  const char* slash = std::strrchr(name, '/');
  std::string folder = slash ? std::string(name, static_cast<size_t>(slash - name) + 1) : ".";
  if (stat(folder.c_str(), &ds) != 0 || !(ds.st_mode & S_ISVTX) || !(ds.st_mode & S_IWOTH) ||
      ls.st_uid == ds.st_uid)
    return false;
  errno = EACCES;
  return true;
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

// An open for writing of what a look at the name saw.  Another user may
// change the name between the look and the open: in a sticky folder he
// may put his link to the user's own files where his plain file was.  So
// a name that was no link is opened without following one, a name where
// nothing was is made new, and the file opened must be the one looked at;
// a name changed meanwhile is looked at again.  A link the look allowed
// is followed: in a sticky folder only its owner (the user, or the folder's
// owner) may take it away.  The file is emptied only once it is known to
// be the one looked at.
int openlooked(const char* name, int fl) {
  const bool trunc = (fl & O_TRUNC) != 0;
  int err = EAGAIN;
  for (int tries = 0; tries < 8; tries++) {
    struct stat ls, st;
    const bool there = lstat(name, &ls) == 0;
    if (!there && errno != ENOENT) return -1;
    if (there && S_ISLNK(ls.st_mode)) return barred(name, ls) ? -1 : openwaiting(name, fl);
    int how = (fl & ~O_TRUNC) | O_NOFOLLOW;
    if (!there && (fl & O_CREAT)) how |= O_EXCL;
    int fd = openwaiting(name, how);
    if (fd < 0) {
      err = errno;
      // A link put at the name, or a file made there, since the look.
      if (err == ELOOP || (err == EEXIST && !(fl & O_EXCL))) continue;
      return -1;
    }
    if (!there || (fstat(fd, &st) == 0 && st.st_dev == ls.st_dev && st.st_ino == ls.st_ino))
      return emptied(fd, trunc);
    ::close(fd);
    err = EAGAIN;
  }
  errno = err;
  return -1;
}

}  // namespace

bool omlinkbarred(const char* name) {
  struct stat ls;
  return lstat(name, &ls) == 0 && S_ISLNK(ls.st_mode) && barred(name, ls);
}

int omopen(const char* name, int oflags, int flags) {
  if (!name) {
    errno = EINVAL;
    return -1;
  }
  int fl = oflags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  bool writing = (oflags & O_ACCMODE) != O_RDONLY || (oflags & O_CREAT);
  int fd = writing ? openlooked(name, fl) : openwaiting(name, fl);
  if (fd < 0) return -1;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && !refused(st, flags, fl);
  if (ok && S_ISFIFO(st.st_mode) && (fl & O_ACCMODE) == O_RDONLY && !omwaitreadable(fd)) {
    errno = EINTR;
    ok = false;
  }
  // Reads and writes after the open wait as with a plain open.
  if (ok && !(oflags & O_NONBLOCK)) ok = fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  if (!ok) {
    int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
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
    default:
      return std::strerror(err);
  }
}

std::string omopennote(int err) {
  if (err != EINTR && err != ESPIPE && err != EFBIG && err != EISDIR) return "";
  return std::string("  ") + omopenwhy(err) + "\n";
}
