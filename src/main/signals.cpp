// Signal handlers: an interrupt sets the flag that long operations poll; a
// second one during the same command ends the program, for a command that
// does not react to the first.  At the prompt an interrupt only drops the
// line being typed (the readers see the count go up), so that pressing it
// twice there never ends the session.  Only async-signal-safe calls are
// made here.
#include <unistd.h>

#include <csignal>

#include "base/cmnstate.h"
#include "gx/gx.h"
#include "main/ommain.h"

volatile sig_atomic_t omsigcnt = 0;
volatile sig_atomic_t omatprompt = 0;

void omsig(int) {
  omsigcnt = omsigcnt + 1;
  if (omatprompt) return;
  if (gcmn.sigflg) {
    // Ended as quit would end it (the metafile finished, the closing lines
    // printed), but with the status a shell gives a program stopped by
    // Ctrl-C, so that a calling script sees it did not finish.
    // The output was cut short in mid-line (where the terminal echoed ^C).
    static const char nl = '\n';
    ssize_t w = write(1, &nl, 1);
    (void)w;
    gxsigend();
    _exit(130);
  }
  gcmn.sigflg = 1;
}

void omsigcpu(int) { _exit(1); }
