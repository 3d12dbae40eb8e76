// Running a command line for the user.
#include "base/runprog.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "base/children.h"
#include "base/ending.h"
#include "base/givenfds.h"
#include "base/outflush.h"
#include "base/proctree.h"

extern char** environ;

namespace {

// Set from the command's start until it is seen to end.
volatile sig_atomic_t running = 0;

// Whatever ends the session ends the command too, and all it started:
// nobody waits for them any more, and they would hold standard output
// open for whoever reads it after the session.
void endcommand(endhow) { signaltree(childheld(CHILD_COMMAND).pid, SIGTERM); }

// What came while the command ran: the interrupts sent to the session
// alone, and whether a quit came.  An interrupt from the terminal (sent
// by the kernel, not by a program's kill) reached the command as well,
// in the same process group: the command answers it, and its ending by it
// says so; one that came once the command had ended is the session's.
volatile sig_atomic_t interrupts = 0, quits = 0;

void keep(int sig, siginfo_t* info, void*) {
  if (sig == SIGQUIT) quits = 1;
  else if (info->si_code != SI_KERNEL || !running) interrupts = interrupts + 1;
}

// The session's actions for interrupt and quit, kept aside while a command
// runs.
struct sessionacts {
  struct sigaction intr, quit;
  bool takes(const struct sigaction& act) const { return act.sa_handler != SIG_IGN; }
};

// Notes the interrupts and quits that come from now on, where the session
// does not ignore them.
sessionacts keepsignals() {
  interrupts = 0;
  quits = 0;
  sessionacts was;
  struct sigaction keeping = {};
  keeping.sa_sigaction = keep;
  keeping.sa_flags = SA_SIGINFO | SA_RESTART;
  sigaction(SIGINT, &keeping, &was.intr);
  sigaction(SIGQUIT, &keeping, &was.quit);
  if (!was.takes(was.intr)) sigaction(SIGINT, &was.intr, nullptr);
  if (!was.takes(was.quit)) sigaction(SIGQUIT, &was.quit, nullptr);
  return was;
}

// Puts the session's actions back and takes what was kept, as the command
// ended: a quit, then each interrupt (the command's ending by one too).
void takesignals(const sessionacts& was, int status) {
  sigaction(SIGINT, &was.intr, nullptr);
  sigaction(SIGQUIT, &was.quit, nullptr);
  int ints = interrupts + (status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT ? 1 : 0);
  if (quits && was.takes(was.quit)) raise(SIGQUIT);
  for (; ints > 0 && was.takes(was.intr); ints--) raise(SIGINT);
}

// Starts the command with mask, and the dispositions the session had (a
// handler becomes the default, as on any exec).
bool startcommand(const char* command, const sigset_t& mask, const sessionacts& was, pid_t* pid) {
  sigset_t dfl;
  sigemptyset(&dfl);
  if (was.takes(was.intr)) sigaddset(&dfl, SIGINT);
  if (was.takes(was.quit)) sigaddset(&dfl, SIGQUIT);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setsigdefault(&attr, &dfl);
  posix_spawnattr_setsigmask(&attr, &mask);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  char sh[] = "sh", c[] = "-c";
  char* argv[] = {sh, c, const_cast<char*>(command), nullptr};
  const bool started = posix_spawn(pid, "/bin/sh", givenfds_only(), &attr, argv, environ) == 0;
  posix_spawnattr_destroy(&attr);
  return started;
}

}  // namespace

int runshellcmd(const char* command) {
  omoutflush();
  static const bool registered = (omendpart(END_COMMAND, {endcommand, endcommand}), true);
  (void)registered;
  // Until the command is known to the ending, every signal waits: an
  // ending that comes meanwhile finds it.
  sigset_t all, old;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &old);
  const sessionacts was = keepsignals();
  pid_t pid;
  const bool started = startcommand(command, old, was, &pid);
  if (started) {
    childhold(CHILD_COMMAND, {pid, false});
    running = 1;
  }
  // SIGCHLD stays held while the session waits.
  sigset_t waiting = old;
  sigaddset(&waiting, SIGCHLD);
  sigprocmask(SIG_SETMASK, &waiting, nullptr);
  int status = W_EXITCODE(127, 0);
  if (started) {
    childended(CHILD_COMMAND, true);
    running = 0;
    if (!childreap(CHILD_COMMAND, &status)) status = -1;
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
  takesignals(was, status);
  return status;
}
