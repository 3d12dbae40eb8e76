#include "data/filemap.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>

namespace mapfault {

thread_local sigjmp_buf* volatile jump = nullptr;

namespace {

struct sigaction previous;
// 0 unarmed, 1 being armed, 2 armed.  Two threads may start their first map
// reads at once: the second must neither take the handler for the
// disposition it replaced (a fault not of a map read would then be retried
// for ever) nor read a map before the handler is in place.
std::atomic<int> armed{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler sets it");

void onfault(int sig, siginfo_t* info, void*) {
  // A fault inside a map read: the file lost the page being read.
  if (jump != nullptr && info != nullptr && info->si_code > 0) siglongjmp(*jump, 1);
  // Anything else is not this handler's: with the disposition it replaced
  // back in place, a fault happens again as the instruction is retried,
  // and a signal sent by another program is sent again.
  sigaction(sig, &previous, nullptr);
  armed.store(0);
  if (info == nullptr || info->si_code <= 0) raise(sig);
}

}  // namespace

void arm() {
  int was = 0;
  while (!armed.compare_exchange_weak(was, 1)) {
    if (was == 2) return;
    was = 0;  // another thread is arming it: wait for its end
  }
  struct sigaction sa {};
  sa.sa_sigaction = onfault;
  // No signal is held while the handler runs, so that nothing stays blocked
  // when it jumps out of the read.
  sa.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&sa.sa_mask);
  armed.store(sigaction(SIGBUS, &sa, &previous) == 0 ? 2 : 0);
}

}  // namespace mapfault

const unsigned char* filemap::bytes(int fd, int64_t pos, int64_t n) {
  struct stat st;
  if (fd < 0 || pos < 0 || n < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const int64_t size = st.st_size;
  if (size <= 0 || pos > size || n > size - pos) return nullptr;
  const bool same = base_ != nullptr && st.st_dev == dev_ && st.st_ino == ino_;
  if (!same || static_cast<uint64_t>(pos + n) > len_) {
    release();
    if (static_cast<uint64_t>(size) > SIZE_MAX) return nullptr;
    void* m = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (m == MAP_FAILED) return nullptr;
    static uint64_t maps = 0;
    base_ = m;
    gen_ = ++maps;
    len_ = static_cast<size_t>(size);
    dev_ = st.st_dev;
    ino_ = st.st_ino;
  }
  return static_cast<const unsigned char*>(base_) + pos;
}

// Used bytes beyond which their pages are given back.
constexpr size_t kGiveBack = size_t(64) << 20;

void filemap::done(const unsigned char* p, int64_t n, bool hold) {
  const unsigned char* base = static_cast<const unsigned char*>(base_);
  if (base == nullptr || p < base || n <= 0 || static_cast<size_t>(p - base) >= len_) return;
  const size_t lo = static_cast<size_t>(p - base);
  const size_t hi = std::min(len_, lo + static_cast<size_t>(n));
  if (usedhi_ == 0) {
    usedlo_ = lo;
    usedhi_ = hi;
  } else {
    usedlo_ = std::min(usedlo_, lo);
    usedhi_ = std::max(usedhi_, hi);
  }
  if (!hold && usedhi_ - usedlo_ >= kGiveBack) giveback();
}

bool filemap::takeback(const unsigned char** p, size_t* n) {
  if (base_ == nullptr || usedhi_ - usedlo_ < kGiveBack) return false;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t lo = usedlo_ & ~(page - 1);
  *p = static_cast<const unsigned char*>(base_) + lo;
  *n = (usedhi_ - lo + page - 1) & ~(page - 1);
  usedlo_ = usedhi_ = 0;
  return true;
}

void filemap::giveback(const unsigned char* p, size_t n) {
  if (n > 0) madvise(const_cast<unsigned char*>(p), n, MADV_DONTNEED);
}

void filemap::giveback() {
  if (base_ != nullptr && usedhi_ > usedlo_) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t lo = usedlo_ & ~(page - 1);
    giveback(static_cast<unsigned char*>(base_) + lo, usedhi_ - lo);
  }
  usedlo_ = usedhi_ = 0;
}

void filemap::release() {
  usedlo_ = usedhi_ = 0;
  if (base_ != nullptr) munmap(base_, len_);
  base_ = nullptr;
  len_ = 0;
  gen_ = 0;
}
