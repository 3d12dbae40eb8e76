// The descriptors the program was started with.
#include "base/givenfds.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// The descriptors above 2 open now, in order, below limit.  /proc lists
// them; without it poll marks every number below the descriptor limit
// (and limit) that is not open.
std::vector<int> open_now(rlim_t limit) {
  std::vector<int> fds;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(d)) {
      char* end = nullptr;
      const long fd = std::strtol(e->d_name, &end, 10);
      if (end != e->d_name && *end == '\0' && fd > 2 && static_cast<rlim_t>(fd) < limit && fd != dirfd(d))
        fds.push_back(static_cast<int>(fd));
    }
    closedir(d);
    std::sort(fds.begin(), fds.end());
    return fds;
  }
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return fds;
  limit = std::min(limit, lim.rlim_cur);
  constexpr rlim_t kChunk = 256;
  struct pollfd p[kChunk];
  for (rlim_t first = 3; first < limit; first += kChunk) {
    const rlim_t n = std::min(kChunk, limit - first);
    for (rlim_t k = 0; k < n; k++) p[k] = {static_cast<int>(first + k), 0, 0};
    int r;
    while ((r = poll(p, n, 0)) < 0 && errno == EINTR) {
    }
    if (r < 0) break;
    for (rlim_t k = 0; k < n; k++)
      if ((p[k].revents & POLLNVAL) == 0) fds.push_back(p[k].fd);
  }
  return fds;
}

// Made on first use: the note is taken from a constructor that runs
// before the program's other initialisers.
std::vector<int>& given() {
  static std::vector<int> fds;
  return fds;
}

// What a started command does first: close every descriptor above the
// highest given.
posix_spawn_file_actions_t closing;

// Before any initialiser of the program's own, which may open files.
__attribute__((constructor(101))) void note_start() {
  given() = open_now(RLIM_INFINITY);
  posix_spawn_file_actions_init(&closing);
  posix_spawn_file_actions_addclosefrom_np(&closing, given().empty() ? 3 : given().back() + 1);
}

}  // namespace

const posix_spawn_file_actions_t* givenfds_only() {
  const std::vector<int>& keep = given();
  if (!keep.empty()) {
    for (int fd : open_now(static_cast<rlim_t>(keep.back())))
      if (!std::binary_search(keep.begin(), keep.end(), fd)) fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  return &closing;
}
