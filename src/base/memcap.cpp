#include "base/memcap.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

size_t ommemcap() {
  static const size_t cap = [] {
    uint64_t lim = UINT64_MAX;
    long pages = sysconf(_SC_PHYS_PAGES);
    long psize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && psize > 0) lim = std::min(lim, uint64_t(pages) * uint64_t(psize) / 4);
    struct rlimit rl;
    if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
      lim = std::min(lim, uint64_t(rl.rlim_cur) / 2);
    return static_cast<size_t>(std::min<uint64_t>(lim, SIZE_MAX));
  }();
  return cap;
}
