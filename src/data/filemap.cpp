#include "data/filemap.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdint>

const unsigned char* filemap::bytes(FILE* f, int64_t pos, int64_t n) {
  struct stat st;
  if (f == nullptr || pos < 0 || n < 0 || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))
    return nullptr;
  const int64_t size = st.st_size;
  if (size <= 0 || pos > size || n > size - pos) return nullptr;
  const bool same = base_ != nullptr && st.st_dev == dev_ && st.st_ino == ino_;
  if (!same || static_cast<uint64_t>(pos + n) > len_) {
    release();
    if (static_cast<uint64_t>(size) > SIZE_MAX) return nullptr;
    void* m = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fileno(f), 0);
    if (m == MAP_FAILED) return nullptr;
    base_ = m;
    len_ = static_cast<size_t>(size);
    dev_ = st.st_dev;
    ino_ = st.st_ino;
  }
  return static_cast<const unsigned char*>(base_) + pos;
}

void filemap::release() {
  if (base_ != nullptr) munmap(base_, len_);
  base_ = nullptr;
  len_ = 0;
}
