#include "sdf/sdfblock.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

// A block up to this size is kept from one command to the next (a
// script's displays), so that the pages of a series of reads are not
// faulted in each time; a larger one only through a command.
constexpr size_t kKeptBetween = size_t(64) << 20;

struct mapping {
  int fd = -1;
  unsigned char* at = nullptr;
  size_t size = 0;
  void unmap() {
    if (at != nullptr) munmap(at, size);
    at = nullptr;
    size = 0;
  }
  bool map(size_t n) {
    unmap();
    void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    at = static_cast<unsigned char*>(p);
    size = n;
    return true;
  }
};

mapping& own() {
  static mapping m;
  return m;
}

// Sizes the memory file.  The file size limit the user set for the files
// the session writes holds for it too: where the soft limit is below the
// size and the hard one is not, the soft one is set aside for the call.
bool size_file(int fd, size_t n) {
  if (ftruncate(fd, static_cast<off_t>(n)) == 0) return true;
  struct rlimit rl;
  if (errno != EFBIG || getrlimit(RLIMIT_FSIZE, &rl) != 0 || rl.rlim_cur == rl.rlim_max) return false;
  const rlim_t soft = rl.rlim_cur;
  rl.rlim_cur = rl.rlim_max;
  if (setrlimit(RLIMIT_FSIZE, &rl) != 0) return false;
  const bool sized = ftruncate(fd, static_cast<off_t>(n)) == 0;
  const int err = errno;
  rl.rlim_cur = soft;
  setrlimit(RLIMIT_FSIZE, &rl);
  errno = err;
  return sized;
}

}  // namespace

int block_fd() {
  mapping& m = own();
  if (m.fd < 0) m.fd = memfd_create("ombra-sdf-block", MFD_CLOEXEC);
  return m.fd;
}

unsigned char* block_reserve(size_t n) {
  mapping& m = own();
  if (n <= m.size && m.at != nullptr) return m.at;
  if (block_fd() < 0) return nullptr;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (n > SIZE_MAX - page) {
    errno = ENOMEM;
    return nullptr;
  }
  const size_t want = (n + page - 1) / page * page;
  // Pages are taken as they are written: a size the helper then refuses
  // to fill costs nothing.
  if (!size_file(m.fd, want) || !m.map(want)) {
    block_trim(true);
    return nullptr;
  }
  return m.at;
}

size_t block_size() { return own().size; }

void block_trim(bool all) {
  mapping& m = own();
  if (m.fd < 0 || (!all && m.size <= kKeptBetween)) return;
  m.unmap();
  // Its pages are the memory file's: only cutting the file frees them.
  // Should the cut fail, the pages stay until the next one.
  const int cut = ftruncate(m.fd, 0);
  (void)cut;
}

unsigned char* block_map(int fd, size_t size) {
  static mapping m;
  if (m.at != nullptr && m.size == size && m.fd == fd) return m.at;
  m.unmap();
  m.fd = fd;
  struct stat st;
  if (size == 0 || fstat(fd, &st) != 0 || st.st_size < 0 || static_cast<uint64_t>(st.st_size) < size) return nullptr;
  return m.map(size) ? m.at : nullptr;
}
