// The program's calls pass through here, in the test binary, before the C
// library's: a call of the chosen kind on the chosen name runs the action.
#include "base/callhook.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct hook {
  callat when = callat::none;
  std::string leaf;
  std::function<void()> action;
  int fail = 0;
};
hook armed;

// Whether the last part of path is the leaf armed for.
bool named(const char* path, const std::string& leaf) {
  const char* slash = std::strrchr(path, '/');
  return leaf == (slash ? slash + 1 : path);
}

// Runs the action when the call is the one armed for; true when it ran.
bool fire(callat when, const char* path) {
  if (armed.when != when || !named(path, armed.leaf)) return false;
  hook h = std::move(armed);
  armed = hook();
  const int err = errno;
  if (h.action) h.action();
  errno = err;
  return true;
}

// The name of the file of the descriptor fd.
std::string fdname(int fd) {
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t k = readlink(link, path, sizeof path - 1);
  return std::string(path, k > 0 ? static_cast<size_t>(k) : 0);
}

// Runs the action armed for a call of kind when on the descriptor fd; the
// errno the call is to fail with, or 0.  A descriptor that only holds a
// file looked at (O_PATH) is not the file's.
int firefd(callat when, int fd) {
  if (armed.when != when) return 0;
  const int fl = fcntl(fd, F_GETFL);
  if (fl >= 0 && (fl & O_PATH)) return 0;
  const int fail = armed.fail;
  return fire(when, fdname(fd).c_str()) ? fail : 0;
}

}  // namespace

void callhook(callat when, const char* leaf, std::function<void()> action, int fail) {
  armed = hook{when, leaf, std::move(action), fail};
}

extern "C" int openat(int dir, const char* path, int flags, ...) {
  static const auto real = reinterpret_cast<int (*)(int, const char*, int, ...)>(dlsym(RTLD_NEXT, "openat"));
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list ap;
    va_start(ap, flags);
    mode = static_cast<mode_t>(va_arg(ap, unsigned));
    va_end(ap);
  }
  const int fd = real(dir, path, flags, mode);
  if (fd < 0 && errno == EEXIST && (flags & O_EXCL)) fire(callat::excluded, path);
  if (fd >= 0 && !(flags & O_PATH)) fire(flags & O_CREAT ? callat::made : callat::opened, path);
  return fd;
}

extern "C" int lstat(const char* path, struct stat* st) {
  static const auto real = reinterpret_cast<int (*)(const char*, struct stat*)>(dlsym(RTLD_NEXT, "lstat"));
  const int rc = real(path, st);
  fire(callat::looked, path);
  return rc;
}

extern "C" int fstatat(int dir, const char* path, struct stat* st, int flags) {
  static const auto real = reinterpret_cast<int (*)(int, const char*, struct stat*, int)>(dlsym(RTLD_NEXT, "fstatat"));
  const int rc = real(dir, path, st, flags);
  if (flags & AT_SYMLINK_NOFOLLOW) fire(callat::looked, path);
  return rc;
}

// A look that holds what it looked at (an open of it alone, O_PATH) ends
// with its status.
extern "C" int fstat(int fd, struct stat* st) {
  static const auto real = reinterpret_cast<int (*)(int, struct stat*)>(dlsym(RTLD_NEXT, "fstat"));
  const int rc = real(fd, st);
  if (armed.when == callat::looked) {
    const int fl = fcntl(fd, F_GETFL);
    if (fl >= 0 && (fl & O_PATH)) fire(callat::looked, fdname(fd).c_str());
  }
  return rc;
}

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
  static const auto real = reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(dlsym(RTLD_NEXT, "write"));
  if (const int fail = firefd(callat::written, fd)) {
    errno = fail;
    return -1;
  }
  return real(fd, buf, n);
}

extern "C" int close(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
  const int fail = firefd(callat::closed, fd);
  const int rc = real(fd);
  if (fail == 0) return rc;
  errno = fail;
  return -1;
}

// A stream's close closes its descriptor inside the C library, out of
// reach of close above.
extern "C" int fclose(FILE* f) {
  static const auto real = reinterpret_cast<int (*)(FILE*)>(dlsym(RTLD_NEXT, "fclose"));
  const int fail = firefd(callat::closed, fileno(f));
  const int rc = real(f);
  if (fail == 0) return rc;
  errno = fail;
  return EOF;
}

extern "C" int fstatfs(int fd, struct statfs* fs) {
  static const auto real = reinterpret_cast<int (*)(int, struct statfs*)>(dlsym(RTLD_NEXT, "fstatfs"));
  const int rc = real(fd, fs);
  if (rc == 0 && armed.when == callat::synced && named(fdname(fd).c_str(), armed.leaf)) fs->f_type = NFS_SUPER_MAGIC;
  return rc;
}

extern "C" int renameat2(int from, const char* path, int to, const char* newpath, unsigned flags) {
  static const auto real =
      reinterpret_cast<int (*)(int, const char*, int, const char*, unsigned)>(dlsym(RTLD_NEXT, "renameat2"));
  if (armed.when == callat::renamed && (flags & RENAME_NOREPLACE)) {
    const int fail = armed.fail;
    if (fire(callat::renamed, path) && fail) {
      errno = fail;
      return -1;
    }
  }
  return real(from, path, to, newpath, flags);
}

extern "C" int fdatasync(int fd) {
  static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
  if (const int fail = firefd(callat::synced, fd)) {
    errno = fail;
    return -1;
  }
  return real(fd);
}
