// Signal handlers: an interrupt sets the flag that long operations poll; a
// second one during the same command ends the program, for a command that
// does not react to the first.  At the prompt an interrupt only drops the
// line being typed (the readers see the count go up), so that pressing it
// twice there never ends the session.  The signals by which a session is
// ended from outside (a scheduler's TERM, a lost terminal's HUP) end it as
// the second interrupt does.  Only async-signal-safe calls are made here.
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>

#include "base/cmnstate.h"
#include "base/cpulimit.h"
#include "base/endhold.h"
#include "base/ending.h"
#include "base/heldwrite.h"
#include "main/ommain.h"

volatile sig_atomic_t omsigcnt = 0;
volatile sig_atomic_t omatprompt = 0;

namespace {

// Ends the process as the signal would with its default action (a core
// dump for QUIT, or the action before ours, a sanitizer's, for a crash),
// from inside the handler: the handler never returns into the program,
// whose write may have been cut short by the ending that was just made.
// Where that action does not end the process (the first process of a PID
// namespace ignores it), the status says the signal.
[[noreturn]] void dieby(int sig, const struct sigaction* was = nullptr) {
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  sigaction(sig, was ? was : &dfl, nullptr);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  raise(sig);
  sigprocmask(SIG_UNBLOCK, &one, nullptr);
  _exit(128 + sig);
}

// Ended as quit would end it (the metafile finished, the closing lines
// printed), but with the status given, so that a calling script sees it
// did not finish.
[[noreturn]] void endnow(int status) {
  omend(END_SIGNAL);
  _exit(status);
}

// A write in flight (standard output's or error's, a metafile pipe's) has
// not yet counted what it put out: the ending waits for that count, and
// the writer sends the signal again as soon as it has it.
bool later(int sig) {
  if (!omoutbusy()) return false;
  omoutdefer(sig);
  return true;
}

void omsigend(int sig) {
  if (!later(sig)) endnow(128 + sig);
}

// QUIT keeps its core dump, which is what it is asked for; the metafile is
// finished first.
void omsigquit(int sig) {
  if (later(sig)) return;
  omend(END_SIGNAL);
  dieby(sig);
}

// A crash (a library on a damaged file, an abort): what standard output
// still held is written, once (without stopping for the terminal), the
// terminal given back and the helper ended, and the signal then ends the
// program as it would have without this (with the default action, or the
// handler that was there before, a sanitizer's).  One sent from outside
// is sent again; one the kernel made is handed on (again, below).
const int kCrashes[] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL};
struct sigaction before[NSIG];  // each signal's action before ours

// A crash the kernel made goes to the action before ours with the
// kernel's own record of it (the address, the cause), queued again to
// this thread: it is taken as the handler returns, before the program
// runs on, whether or not the fault would come again by itself (a signal
// a tracer made at a system call, a memory error reported ahead of any
// use, does not).  Where it is not taken (the first process of a PID
// namespace drops it), the status says the signal.
void again(int sig, siginfo_t* info) {
  syscall(SYS_rt_tgsigqueueinfo, getpid(), gettid(), sig, info);
  sigset_t waiting;
  if (sigpending(&waiting) != 0 || sigismember(&waiting, sig) != 1) _exit(128 + sig);
}

// One the kernel made while a write of standard output is in flight (a
// tracer's, at that write) waits for its count as one sent from outside
// does, but once only: a fault of the program's own comes again at once,
// and is taken then.
volatile sig_atomic_t putoff = 0;

void omsigcrash(int sig, siginfo_t* info, void*) {
  if ((info->si_code <= 0 || !putoff) && later(sig)) {
    if (info->si_code > 0) putoff = 1;
    return;
  }
  omend(END_CRASH);
  sigaction(sig, &before[sig], nullptr);
  if (info->si_code <= 0) dieby(sig, &before[sig]);
  again(sig, info);
}

// A write to a pipe or socket that nobody reads any more, or beyond the
// file size limit, fails (EPIPE, EFBIG) as other failed writes do, and the
// output's own error handling answers it.  A handler that does nothing
// rather than ignoring the signal: caught signals go back to their default
// in the programs the shell escape starts, which expect that.
void omsigwrite(int) {}

// As the first process of a PID namespace the session is the parent of
// every process orphaned there (a shell escape's `cmd &`): the end of one
// wakes the prompt's wait, which reaps it (promptwait.h).  A handler that
// does nothing: ignored, the signal would have the kernel reap the
// commands the session waits for.
void omsigorphan(int) {}

// The signals that end the session from outside, and the handler of each.
struct ending {
  int sig;
  void (*fn)(int);
};
const ending kEndings[] = {
    {SIGINT, omsig},        {SIGTERM, omsigend},   {SIGHUP, omsigend},
    {SIGUSR1, omsigend},    {SIGUSR2, omsigend},   {SIGALRM, omsigend},
    {SIGVTALRM, omsigend},  {SIGQUIT, omsigquit},  {SIGXCPU, omsigcpu},
};

// The handler is fn, or crash (which is told how the signal came).
void install(int sig, void (*fn)(int), const sigset_t& mask, void (*crash)(int, siginfo_t*, void*) = nullptr) {
  // A signal ignored from the start stays ignored: that is the caller's
  // choice (nohup, or a script's background job, which must not see the
  // Ctrl-C meant for the script).
  if (sigaction(sig, nullptr, &before[sig]) != 0 || before[sig].sa_handler == SIG_IGN) return;
  struct sigaction sa = {};
  if (crash) sa.sa_sigaction = crash;
  else sa.sa_handler = fn;
  // An interrupt at the prompt must not look like the end of input.
  sa.sa_flags = SA_RESTART | (crash ? SA_SIGINFO : 0);
  sa.sa_mask = mask;
  sigaction(sig, &sa, nullptr);
}

}  // namespace

void omsig(int sig) {
  omsigcnt = omsigcnt + 1;
  if (omatprompt) return;
  if (gcmn.sigflg && !later(sig)) endnow(130);
  gcmn.sigflg = 1;
}

void omsigcpu(int sig) {
  if (!later(sig)) endnow(1);
}

void omendsigs(sigset_t* set) {
  sigemptyset(set);
  for (const ending& e : kEndings) sigaddset(set, e.sig);
}

void omsignals() {
  sigset_t ends;
  omendsigs(&ends);
  // While one ending runs, no other may start (the metafile gets one end),
  // nor a crash sent from outside, and the other way round: standard
  // output's rest is written once.
  sigset_t mask = ends;
  for (int sig : kCrashes) sigaddset(&mask, sig);
  for (const ending& e : kEndings) install(e.sig, e.fn, mask);
  for (int sig : kCrashes) install(sig, nullptr, mask, omsigcrash);
  // Held over the steps that make a part file and rename or publish it.
  omsetendsignals(ends);
  install(SIGPIPE, omsigwrite, mask);
  install(SIGXFSZ, omsigwrite, mask);
  omcpuwarn();
  // The session waits for its children (a shell escape, a user-defined
  // function's command, the helper): with SIGCHLD ignored from the start,
  // as some launchers leave it, the kernel would reap them first and every
  // such wait fail, a command that ran taken for one that could not.
  struct sigaction chld;
  if (sigaction(SIGCHLD, nullptr, &chld) == 0 && chld.sa_handler == SIG_IGN) std::signal(SIGCHLD, SIG_DFL);
  if (getpid() == 1) install(SIGCHLD, omsigorphan, mask);
}
