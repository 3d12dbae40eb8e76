// Positioned reads of data files.
#include "data/rawread.h"

#include <sys/stat.h>
#include <unistd.h>

int64_t preadn(FILE* f, void* buf, int64_t n, int64_t pos) {
  if (!f || pos < 0 || n <= 0) return 0;
  int fd = fileno(f);
  int64_t got = 0;
  char* p = static_cast<char*>(buf);
  while (got < n) {
    ssize_t r = pread(fd, p + got, static_cast<size_t>(n - got), static_cast<off_t>(pos + got));
    if (r <= 0) break;
    got += r;
  }
  return got;
}

bool fholds(FILE* f, int64_t pos, int64_t n) {
  if (!f) return false;
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return true;
  return pos >= 0 && n >= 0 && n <= static_cast<int64_t>(st.st_size) - pos;
}
