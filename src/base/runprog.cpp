// Running a command line for the user.
#include "base/runprog.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "base/givenfds.h"
#include "base/outflush.h"

extern char** environ;

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
  if (posix_spawn(&pid, "/bin/sh", givenfds_only(), &attr, argv, environ) == 0) {
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
