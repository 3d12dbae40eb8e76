// Running a command line for the user.
#include "base/runprog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "base/children.h"
#include "base/ending.h"
#include "base/givenfds.h"
#include "base/outflush.h"
#include "base/ownedfd.h"

extern char** environ;

namespace {

// The standard descriptor open on the session's controlling terminal, -1
// where none is; noted at the first command.
volatile sig_atomic_t ttyfd = -1;
// Set from the command's start until it is seen to end.
volatile sig_atomic_t running = 0;
// The command, stopped for a terminal it could not be given, was sent HUP.
bool hungup = false;

int terminalfd() {
  for (int fd = 0; fd <= 2; fd++)
    if (tcgetpgrp(fd) >= 0) return fd;
  return -1;
}

// Gives the terminal fd to the command's process group cmd (tocommand),
// or back to the session's own, from whichever of the two has it.  The
// session may be in the background then: SIGTTOU is held meanwhile.
// Async-signal-safe.
void handover(int fd, pid_t cmd, bool tocommand) {
  if (fd < 0 || cmd <= 0) return;
  const pid_t own = getpgrp();
  if (tcgetpgrp(fd) != (tocommand ? own : cmd)) return;
  sigset_t ttou, old;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &old);
  tcsetpgrp(fd, tocommand ? cmd : own);
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

// Whatever ends the session ends the command too, with its group: nobody
// waits for them any more, and they would hold standard output open for
// whoever reads it after the session.  The terminal comes back first, for
// the session's last lines.
void endcommand(endhow) {
  const int saved = errno;
  handover(ttyfd, childheld(CHILD_COMMAND).pid, false);
  errno = saved;
  childend(CHILD_COMMAND);
}

// What came while the command ran: the interrupts sent to the session
// alone, and whether a quit came.  A key typed at the terminal (sent by
// the kernel, not by a program's kill) reaches the group that has the
// terminal, the command's; it reaches the session only where the session
// has it (brought to the front while its command ran behind it), and is
// handed on to the command then: the command answers it, and its ending
// by it says so.  One that comes once the command has ended is the
// session's.
volatile sig_atomic_t interrupts = 0, quits = 0;

void keep(int sig, siginfo_t* info, void*) {
  if (info->si_code == SI_KERNEL && running) {
    const int saved = errno;
    childsignal(CHILD_COMMAND, sig);
    errno = saved;
  } else if (sig == SIGQUIT) {
    quits = 1;
  } else {
    interrupts = interrupts + 1;
  }
}

// Stops the session with the signal that stopped its command, so that the
// shell above sees its job stopped: whether it was stopped, and has been
// continued since.  The kernel does not stop a process group that is
// orphaned (nobody would continue it) by the terminal's stops; a stop by
// SIGSTOP is made by SIGTSTP here for that.  A session that ignores the
// signal is not stopped either.
bool stopself(int sig) {
  const int own = sig == SIGSTOP ? SIGTSTP : sig;
  struct sigaction was, dfl = {};
  dfl.sa_handler = SIG_DFL;
  if (sigaction(own, nullptr, &was) != 0 || was.sa_handler == SIG_IGN) return false;
  sigset_t cont, one, old;
  sigemptyset(&cont);
  sigaddset(&cont, SIGCONT);
  sigemptyset(&one);
  sigaddset(&one, own);
  // The continue stays pending, held: it tells that the stop was made.
  sigprocmask(SIG_BLOCK, &cont, &old);
  const struct timespec none = {0, 0};
  while (sigtimedwait(&cont, nullptr, &none) == SIGCONT) {
  }
  sigaction(own, &dfl, nullptr);
  sigprocmask(SIG_UNBLOCK, &one, nullptr);
  raise(own);
  const bool stopped = sigtimedwait(&cont, nullptr, &none) == SIGCONT;
  sigaction(own, &was, nullptr);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return stopped;
}

// The command stopped, as a job-control shell's job does: its stop gives
// the terminal back to the session, and the session stops with it; once
// continued, the command is given the terminal again where the session
// has it, and continued.  A command stopped for a terminal the session
// has is given it at once.  Without a terminal no stop is answered: the
// command stays stopped until something continues it.  A command that
// cannot be given the terminal where the session cannot stop is sent
// HUP, as the kernel sends the stopped processes of an orphaned group,
// and left stopped should it stop for the terminal again.
void commandstopped(int sig) {
  const pid_t cmd = childheld(CHILD_COMMAND).pid, own = getpgrp();
  ownedfd opened(ttyfd < 0 ? open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC) : -1);
  const int fd = ttyfd >= 0 ? ttyfd : opened.get();
  if (fd < 0) return;
  handover(fd, cmd, false);
  const bool forterminal = sig == SIGTTIN || sig == SIGTTOU;
  if (forterminal && tcgetpgrp(fd) == own) {
    // It wanted the terminal, and the session has it: it is given it.
  } else if (!stopself(sig) && forterminal) {
    if (hungup) return;
    hungup = true;
    childsignal(CHILD_COMMAND, SIGHUP);
  }
  handover(fd, cmd, true);
  childsignal(CHILD_COMMAND, SIGCONT);
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
// ended: a quit, then each interrupt.  A command ended by an interrupt or
// a quit (the terminal's keys reach it alone) is one of the session's.
void takesignals(const sessionacts& was, int status) {
  sigaction(SIGINT, &was.intr, nullptr);
  sigaction(SIGQUIT, &was.quit, nullptr);
  const int by = status != -1 && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  int ints = interrupts + (by == SIGINT ? 1 : 0);
  if ((quits || by == SIGQUIT) && was.takes(was.quit)) raise(SIGQUIT);
  for (; ints > 0 && was.takes(was.intr); ints--) raise(SIGINT);
}

// Starts the command in a process group of its own, with mask and the
// dispositions the session had (a handler becomes the default, as on any
// exec).
bool startcommand(const char* command, const sigset_t& mask, const sessionacts& was, pid_t* pid) {
  sigset_t dfl;
  sigemptyset(&dfl);
  if (was.takes(was.intr)) sigaddset(&dfl, SIGINT);
  if (was.takes(was.quit)) sigaddset(&dfl, SIGQUIT);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setsigdefault(&attr, &dfl);
  posix_spawnattr_setsigmask(&attr, &mask);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
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
  static const int tty = terminalfd();
  ttyfd = tty;
  hungup = false;
  pid_t pid;
  const bool started = startcommand(command, old, was, &pid);
  if (started) {
    childhold(CHILD_COMMAND, {pid, true});
    running = 1;
    // The command is the terminal's foreground job where the session was.
    handover(ttyfd, pid, true);
  }
  // SIGCHLD stays held while the session waits.
  sigset_t waiting = old;
  sigaddset(&waiting, SIGCHLD);
  sigprocmask(SIG_SETMASK, &waiting, nullptr);
  int status = W_EXITCODE(127, 0);
  if (started) {
    childended(CHILD_COMMAND, true, commandstopped);
    running = 0;
    handover(ttyfd, pid, false);
    if (!childreap(CHILD_COMMAND, &status)) status = -1;
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
  takesignals(was, status);
  return status;
}
