// The command dispatcher and the interrupt flag it shares with long
// operations.
#pragma once

struct cmnstate;

// Runs one command line; returns 0 for success, a positive number for an
// error, -1 for quit.  exflg is nonzero for lines of an exec file.
int omcmd(const char* line, cmnstate* pcm, int exflg);

// Nonzero once an interrupt has arrived since the main loop last cleared it.
int omqsig();

// The common state of the script being run (set by the run paths before they
// call the script language; omgsdo runs its commands on it).
extern cmnstate* savpcm;
