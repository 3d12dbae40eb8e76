#include "base/memcap.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

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

size_t omdatasize() {
  if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
    unsigned long long kb = 0;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr)
      found = std::sscanf(line, "VmData: %llu kB", &kb) == 1;
    std::fclose(f);
    if (found) return static_cast<size_t>(kb * 1024ULL);
  }
  const struct mallinfo2 held = mallinfo2();
  return held.arena + held.hblkhd + (size_t(64) << 20);
}
