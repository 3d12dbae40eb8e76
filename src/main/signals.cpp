// Signal handlers: an interrupt sets the flag that long operations poll; a
// second one before the flag is cleared ends the program.  Only
// async-signal-safe calls are made here.
#include <unistd.h>

#include <csignal>

#include "base/cmnstate.h"
#include "main/ommain.h"

volatile sig_atomic_t omsigcnt = 0;

void omsig(int) {
  if (gcmn.sigflg) _exit(0);
  gcmn.sigflg = 1;
  omsigcnt = omsigcnt + 1;
}

void omsigcpu(int) { _exit(1); }
