#include "base/replfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/useropen.h"

namespace {

// The name the new file takes: a link to a plain file is followed, so the
// link itself stays.  Empty when the name must be written in place.
std::string finalname(const char* name) {
  struct stat lsb, sb;
  if (lstat(name, &lsb) != 0) return errno == ENOENT ? std::string(name) : std::string();
  if (S_ISREG(lsb.st_mode)) return name;
  if (!S_ISLNK(lsb.st_mode) || stat(name, &sb) != 0 || !S_ISREG(sb.st_mode)) return std::string();
  char* real = realpath(name, nullptr);
  if (!real) return std::string();
  std::string out(real);
  free(real);
  return out;
}

// Opens the part file: a fixed name is opened as it is, a unique one is
// made new.  The mode of the file it replaces is kept; a new one gets the
// usual mode less the umask, as a plain open would give it.
int openpart(const std::string& name, const char* suffix, std::string* part) {
  if (suffix) {
    *part = name + suffix;
    return open(part->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  }
  for (unsigned n = 0; n < 100; n++) {
    *part = name + "." + std::to_string(getpid()) + "." + std::to_string(n) + ".part";
    int fd = open(part->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

bool replopen(const char* name, const char* suffix, replfile* r) {
  *r = replfile();
  std::string final = finalname(name);
  if (!final.empty()) {
    std::string part;
    int fd = openpart(final, suffix, &part);
    if (fd >= 0) {
      struct stat old;
      if (stat(final.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
      r->name = final;
      r->part = part;
      r->fd = fd;
      r->regular = true;
      return true;
    }
  }
  // A device, a pipe, or a folder that takes no part file.  With a fixed
  // suffix the caller locks before emptying, as for the part file.
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (suffix ? 0 : O_TRUNC);
  int fd = omopen(name, flags);
  if (fd < 0) return false;
  struct stat sb;
  r->name = name;
  r->fd = fd;
  r->regular = fstat(fd, &sb) == 0 && S_ISREG(sb.st_mode);
  return true;
}

bool replcommit(replfile* r) {
  // A descriptor of -1 was closed already, with the stream that owned it.
  bool ok = r->fd < 0 || close(r->fd) == 0;
  r->fd = -1;
  if (r->part.empty()) return ok;
  if (ok && rename(r->part.c_str(), r->name.c_str()) == 0) return true;
  int err = errno;
  unlink(r->part.c_str());
  errno = err;
  return false;
}

void repldiscard(replfile* r) {
  if (r->fd >= 0) close(r->fd);
  r->fd = -1;
  if (!r->part.empty()) unlink(r->part.c_str());
}
