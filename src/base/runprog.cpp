// Running a command line for the user.
#include "base/runprog.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/outflush.h"

extern char** environ;

namespace {

// What a started command does first: close every descriptor above 2 that
// was not open at start.  Made once, as the program starts.
posix_spawn_file_actions_t closing;

// The descriptors above 2 open now, in order.  /proc lists them; without
// it poll marks every number the descriptor limit allows that is not open.
std::vector<int> open_now() {
  std::vector<int> fds;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(d)) {
      char* end = nullptr;
      const long fd = std::strtol(e->d_name, &end, 10);
      if (end != e->d_name && *end == '\0' && fd > 2 && fd != dirfd(d)) fds.push_back(static_cast<int>(fd));
    }
    closedir(d);
    std::sort(fds.begin(), fds.end());
    return fds;
  }
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return fds;
  constexpr rlim_t kChunk = 256;
  struct pollfd p[kChunk];
  for (rlim_t first = 3; first < lim.rlim_cur; first += kChunk) {
    const rlim_t n = std::min(kChunk, lim.rlim_cur - first);
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

// Before any initialiser of the program's own, which may open files.
__attribute__((constructor(101))) void note_start() {
  posix_spawn_file_actions_init(&closing);
  int next = 3;
  for (int fd : open_now()) {
    // A number refused here lies above the descriptor limit: nothing can
    // be opened there.
    for (; next < fd; next++) posix_spawn_file_actions_addclose(&closing, next);
    next = fd + 1;
  }
  posix_spawn_file_actions_addclosefrom_np(&closing, next);
}

}  // namespace

int runshellcmd(const char* command) {
  omoutflush();
  struct sigaction ignore = {}, intr, quit;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &intr);
  sigaction(SIGQUIT, &ignore, &quit);
  sigset_t chld, old;
  sigemptyset(&chld);
  sigaddset(&chld, SIGCHLD);
  sigprocmask(SIG_BLOCK, &chld, &old);
  // The command gets the mask and the dispositions the session had
  // (a handler becomes the default, as on any exec).
  sigset_t dfl;
  sigemptyset(&dfl);
  if (intr.sa_handler != SIG_IGN) sigaddset(&dfl, SIGINT);
  if (quit.sa_handler != SIG_IGN) sigaddset(&dfl, SIGQUIT);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setsigdefault(&attr, &dfl);
  posix_spawnattr_setsigmask(&attr, &old);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  char sh[] = "sh", c[] = "-c";
  char* argv[] = {sh, c, const_cast<char*>(command), nullptr};
  pid_t pid;
  int status = W_EXITCODE(127, 0);
  if (posix_spawn(&pid, "/bin/sh", &closing, &attr, argv, environ) == 0) {
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) {
        status = -1;
        break;
      }
    }
  }
  posix_spawnattr_destroy(&attr);
  sigaction(SIGINT, &intr, nullptr);
  sigaction(SIGQUIT, &quit, nullptr);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return status;
}
