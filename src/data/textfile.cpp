#include "data/textfile.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <new>

namespace {

#ifdef __GLIBC__
// The stream of a file that is not a regular file: its reads stop after a
// budget of bytes.
struct capped {
  FILE* f;
  int64_t left;
};

ssize_t cappedread(void* cookie, char* buf, size_t size) {
  capped* c = static_cast<capped*>(cookie);
  if (c->left <= 0) return 0;
  if (static_cast<int64_t>(size) > c->left) size = static_cast<size_t>(c->left);
  size_t n = std::fread(buf, 1, size, c->f);
  if (n == 0 && std::ferror(c->f)) return -1;
  c->left -= static_cast<int64_t>(n);
  return static_cast<ssize_t>(n);
}

int cappedclose(void* cookie) {
  capped* c = static_cast<capped*>(cookie);
  int rc = std::fclose(c->f);
  delete c;
  return rc;
}

FILE* cap(FILE* f) {
  capped* c = new (std::nothrow) capped{f, kMaxDescrBytes};
  if (!c) {
    std::fclose(f);
    return nullptr;
  }
  cookie_io_functions_t io = {cappedread, nullptr, nullptr, cappedclose};
  FILE* s = fopencookie(c, "r", io);
  if (!s) {
    std::fclose(f);
    delete c;
  }
  return s;
}
#else
FILE* cap(FILE* f) { return f; }
#endif

}  // namespace

FILE* opendescr(const std::string& name) {
  FILE* f = std::fopen(name.c_str(), "r");
  if (!f) return nullptr;
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    return nullptr;
  }
  return S_ISREG(st.st_mode) ? f : cap(f);
}

int rdtxtline(FILE* f, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') return TL_OK;
    if (line.size() >= kMaxDescrLine) return TL_LONG;
    line += static_cast<char>(c);
  }
  return any ? TL_OK : TL_EOF;
}
