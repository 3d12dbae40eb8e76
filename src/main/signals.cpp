// Signal handlers: an interrupt sets the flag that long operations poll; a
// second one during the same command ends the program, for a command that
// does not react to the first.  At the prompt an interrupt only drops the
// line being typed (the readers see the count go up), so that pressing it
// twice there never ends the session.  The signals by which a session is
// ended from outside (a scheduler's TERM, a lost terminal's HUP) end it as
// the second interrupt does.  Only async-signal-safe calls are made here.
#include <unistd.h>

#include <csignal>

#include "base/cmnstate.h"
#include "base/cpulimit.h"
#include "base/endhold.h"
#include "base/heldwrite.h"
#include "base/outflush.h"
#include "gx/gx.h"
#include "lats/lats.h"
#include "main/ommain.h"
#include "main/termkeep.h"
#include "sdf/sdf.h"

volatile sig_atomic_t omsigcnt = 0;
volatile sig_atomic_t omatprompt = 0;

namespace {

// A background job under `stty tostop` would be stopped by its first line
// to the terminal, TERM and all: an ending writes as if in the foreground.
void nottystop() {
  struct sigaction ign = {};
  ign.sa_handler = SIG_IGN;
  sigaction(SIGTTOU, &ign, nullptr);
}

// Every ending: the LATS files and the metafile finished before anything
// is written, then what stdout still held, the lead, the lines of LATS
// files left under their part names (on standard error) and the closing
// lines, each only once all before it went; the terminal given back, the
// file helper ended and waited for.  None of it waits for a reader that
// has stopped (nowaitwrite), and none of it stops.
void closing(const char* lead) {
  nottystop();
  latssigend();
  gxsigend(lead, latssigsay);
  termrestore();
  sdf_helper_end();
}

// Ended as quit would end it (the metafile finished, the closing lines
// printed), but with the status given, so that a calling script sees it
// did not finish.  The output may have been cut short in mid-line (where
// the terminal echoed ^C): the closing lines start on a line of their own.
// The terminal gets back the settings it had at start.
[[noreturn]] void endnow(int status) {
  closing("\n");
  _exit(status);
}

void omsigend(int sig) {
  if (omoutbusy()) { omoutdefer(sig); return; }
  endnow(128 + sig);
}

// QUIT keeps its core dump, which is what it is asked for; the metafile is
// finished first.  The signal is sent again with its default action and
// taken when the handler returns, so the core shows where the program was.
void omsigquit(int sig) {
  if (omoutbusy()) { omoutdefer(sig); return; }
  closing("\n");
  signal(sig, SIG_DFL);
  raise(sig);
}

// A crash (a library on a damaged file, an abort): what standard output
// still held is written, once (without stopping for the terminal), the
// helper is ended, and the signal then ends the program as it would have
// without this (with the default action, or the handler that was there
// before, a sanitizer's).  A fault of the program's own comes again as the
// handler returns; one sent from outside is sent again.
const int kCrashes[] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL};
struct sigaction crashwas[NSIG];

void omsigcrash(int sig, siginfo_t* info, void*) {
  if (info->si_code <= 0 && omoutbusy()) { omoutdefer(sig); return; }
  nottystop();
  omoutsigflush();
  sdf_helper_end();
  sigaction(sig, &crashwas[sig], nullptr);
  if (info->si_code <= 0) raise(sig);
}

// A write to a pipe or socket that nobody reads any more, or beyond the
// file size limit, fails (EPIPE, EFBIG) as other failed writes do, and the
// output's own error handling answers it.  A handler that does nothing
// rather than ignoring the signal: caught signals go back to their default
// in the programs the shell escape starts, which expect that.
void omsigwrite(int) {}

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

void install(int sig, void (*fn)(int), const sigset_t& mask) {
  // A signal ignored from the start stays ignored: that is the caller's
  // choice (nohup, or a script's background job, which must not see the
  // Ctrl-C meant for the script).
  struct sigaction was;
  if (sigaction(sig, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) return;
  struct sigaction sa = {};
  sa.sa_handler = fn;
  // An interrupt at the prompt must not look like the end of input.
  sa.sa_flags = SA_RESTART;
  sa.sa_mask = mask;
  sigaction(sig, &sa, nullptr);
}

void installcrash(int sig, const sigset_t& mask) {
  if (sigaction(sig, nullptr, &crashwas[sig]) != 0 || crashwas[sig].sa_handler == SIG_IGN) return;
  struct sigaction sa = {};
  sa.sa_sigaction = omsigcrash;
  sa.sa_flags = SA_SIGINFO | SA_RESTART;
  sa.sa_mask = mask;
  sigaction(sig, &sa, nullptr);
}

}  // namespace

void omsig(int sig) {
  omsigcnt = omsigcnt + 1;
  if (omatprompt) return;
  if (gcmn.sigflg) {
    if (omoutbusy()) { omoutdefer(sig); return; }
    endnow(130);
  }
  gcmn.sigflg = 1;
}

void omsigcpu(int sig) {
  if (omoutbusy()) { omoutdefer(sig); return; }
  closing("\n");
  _exit(1);
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
  for (int sig : kCrashes) installcrash(sig, mask);
  // Held over the steps that make a part file and rename or publish it.
  omsetendsignals(ends);
  install(SIGPIPE, omsigwrite, mask);
  install(SIGXFSZ, omsigwrite, mask);
  omcpuwarn();
}
