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

}  // namespace

bool omlinkbarred(const char* name) {
  struct stat ls, ds;
  if (lstat(name, &ls) != 0 || !S_ISLNK(ls.st_mode) || ls.st_uid == geteuid()) return false;
  const char* slash = std::strrchr(name, '/');
  std::string folder = slash ? std::string(name, static_cast<size_t>(slash - name) + 1) : ".";
  if (stat(folder.c_str(), &ds) != 0 || !(ds.st_mode & S_ISVTX) || !(ds.st_mode & S_IWOTH) ||
      ls.st_uid == ds.st_uid)
    return false;
  errno = EACCES;
  return true;
}

int omopen(const char* name, int oflags, int flags) {
  if (!name) {
    errno = EINVAL;
    return -1;
  }
  if (((oflags & O_ACCMODE) != O_RDONLY || (oflags & O_CREAT)) && omlinkbarred(name)) return -1;
  int fl = oflags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = openwaiting(name, fl);
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
