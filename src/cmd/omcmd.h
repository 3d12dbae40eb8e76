// The command dispatcher and the interrupt flag it shares with long
// operations.
#pragma once

#include <string>

#include "base/cmnstate.h"  // omqsig

struct cmnstate;

// Runs one command line; returns 0 for success, a positive number for an
// error, -1 for quit.  exflg is nonzero for lines of an exec file.
int omcmd(const char* line, cmnstate* pcm, int exflg);

// Runs one command line through omcmd on the common state of the running
// script (savpcm), capturing its messages.  Stores the command's result code
// in rc and returns all captured text joined in order ("" when the command
// printed nothing).
std::string omgsdo(const char* cmd, int* rc);

// The common state of the script being run (set by the run paths before they
// call the script language; omgsdo runs its commands on it).
extern cmnstate* savpcm;
