// The helper's process: started as a fresh run of the program's own
// executable, in a mode of its own, rather than forked from the program.
//
// A fork would copy the program as it is at that moment: a session that had
// read a large script or grid before its first self-describing file left
// the helper holding a copy of all of it for the rest of the session, after
// the program itself had let it go.  A fresh image holds only what the
// helper uses.  It also starts with no handler of the program's: a signal
// arriving while it starts cannot run the program's code in the helper.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sdf/sdfint.h"

extern char** environ;

namespace {

// The arguments that make the executable the helper (the memory it may grow
// by follows), with the socket as descriptor 3.
constexpr const char* kHelperMode = "--sdf-helper";
constexpr int kHelperFd = 3;

// The helper's mode is taken before main, from the executable's
// initialisers, so that every program holding this library (its tests too)
// can serve as its own helper.  The helper therefore uses no object that an
// initialiser of the program makes, which may not have run yet.  glibc
// hands the initialisers the program's arguments.
__attribute__((constructor)) void helper_mode(int argc, char** argv, char**) {
  if (argc != 3 || argv[1] == nullptr || std::strcmp(argv[1], kHelperMode) != 0) return;
  struct stat st;
  if (fstat(kHelperFd, &st) != 0 || !S_ISSOCK(st.st_mode)) return;  // run by hand: the program
  char* end = nullptr;
  errno = 0;
  const unsigned long long mem = std::strtoull(argv[2], &end, 10);
  if (errno != 0 || end == argv[2] || *end != '\0') _exit(0);
  helper_serve(kHelperFd, static_cast<size_t>(mem));
}

std::string failed(const char* what, int err) { return std::string(what) + ": " + std::strerror(err); }

// A spawn's attributes and descriptor actions, released however it ends.
struct spawnsetup {
  posix_spawnattr_t attr;
  posix_spawn_file_actions_t acts;
  spawnsetup() {
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&acts);
  }
  ~spawnsetup() {
    posix_spawn_file_actions_destroy(&acts);
    posix_spawnattr_destroy(&attr);
  }
  spawnsetup(const spawnsetup&) = delete;
  spawnsetup& operator=(const spawnsetup&) = delete;
};

}  // namespace

int spawn_helper(size_t mem_bytes, int* pid, int* fd, std::string* why) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    *why = failed("cannot make its socket", errno);
    return 0;
  }
  spawnsetup s;
  // The helper's end as descriptor 3, open across the exec (a descriptor
  // duplicated onto itself would keep its close-on-exec flag).
  int rc = 0;
  if (sv[1] == kHelperFd) {
    int moved = fcntl(sv[1], F_DUPFD_CLOEXEC, kHelperFd + 1);
    if (moved < 0) rc = errno;
    close(sv[1]);
    sv[1] = moved;
  }
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&s.acts, sv[1], kHelperFd);
  // An interrupt typed at the terminal is the program's to handle: it stays
  // blocked in the helper until the helper has set it aside, and a handler
  // of the program's never runs there (the spawn resets them).  Nothing
  // else the program happens to hold blocked stays blocked there.
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGINT);
  if (rc == 0) rc = posix_spawnattr_setsigmask(&s.attr, &mask);
  if (rc == 0) rc = posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK);
  const std::string memtext = std::to_string(mem_bytes);
  std::string arg0 = "ombra-sdf-helper", mode = kHelperMode;
  char* argv[] = {&arg0[0], &mode[0], const_cast<char*>(memtext.c_str()), nullptr};
  pid_t child = -1;
  if (rc == 0) rc = posix_spawn(&child, "/proc/self/exe", &s.acts, &s.attr, argv, environ);
  if (sv[1] >= 0) close(sv[1]);
  if (rc != 0) {
    close(sv[0]);
    *why = failed("cannot run it", rc);
    return 0;
  }
  *pid = child;
  *fd = sv[0];
  return 1;
}

std::string ended_how(int status) {
  if (WIFSIGNALED(status))
    return "it ended on signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
  if (WIFEXITED(status)) return "it ended with exit status " + std::to_string(WEXITSTATUS(status));
  return "it ended";
}
