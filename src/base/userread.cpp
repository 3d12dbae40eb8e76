#include "base/userread.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "base/datadir.h"
#include "base/useropen.h"

namespace {

#ifdef __GLIBC__
// The stream of a file that is not a regular file: its reads stop after a
// budget of bytes, and a wait for bytes ends at an interrupt (the program's
// handler restarts a blocked read, which would keep waiting).
struct capped {
  std::FILE* f;
  int64_t left;
};

ssize_t cappedread(void* cookie, char* buf, size_t size) {
  capped* c = static_cast<capped*>(cookie);
  if (c->left <= 0) return 0;
  if (static_cast<int64_t>(size) > c->left) size = static_cast<size_t>(c->left);
  int fd = fileno(c->f);
  for (;;) {
    if (!omwaitreadable(fd)) {
      errno = EINTR;
      return -1;
    }
    ssize_t n = ::read(fd, buf, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n > 0) c->left -= n;
    return n;
  }
}

int cappedclose(void* cookie) {
  capped* c = static_cast<capped*>(cookie);
  int rc = std::fclose(c->f);
  delete c;
  return rc;
}

std::FILE* cap(std::FILE* f, int64_t budget) {
  capped* c = new (std::nothrow) capped{f, budget};
  cookie_io_functions_t io = {cappedread, nullptr, nullptr, cappedclose};
  std::FILE* s = c ? fopencookie(c, "r", io) : nullptr;
  if (!s) {
    std::fclose(f);
    delete c;
    errno = ENOMEM;
  }
  return s;
}
#else
std::FILE* cap(std::FILE* f, int64_t) { return f; }
#endif

}  // namespace

std::FILE* omftext(const char* name, int64_t budget) {
  std::FILE* f = omfopen(name, "r");
  if (!f) return nullptr;
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) return f;
  return cap(f, budget);
}

int omreadall(const char* name, int64_t most, std::string& out) {
  out.clear();
  std::FILE* f = omfdata(name);
  if (!f) return errno;
  struct stat st;
  int rc = 0;
  if (fstat(fileno(f), &st) != 0) rc = EIO;
  else if (st.st_size > most) rc = EFBIG;
  if (rc == 0) {
    // Exactly the size taken: a file that grows meanwhile is not followed.
    try {
      out.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
      rc = ENOMEM;
    }
  }
  if (rc == 0 && std::fread(&out[0], 1, out.size(), f) != out.size()) rc = EIO;
  std::fclose(f);
  if (rc) out.clear();
  return rc;
}

int omreaddatafile(const char* name, int64_t most, std::string& out, std::string& tried) {
  bool absolute = name[0] == '/' || name[0] == '\\';
  tried = absolute ? std::string(name) : gxgnam(name);
  int rc = omreadall(tried.c_str(), most, out);
  if (rc == 0 || absolute) return rc;
  return omreadall(name, most, out) == 0 ? 0 : rc;
}
