// Standard output's writer, and so standard error's.  Output to a file or
// a pipe is held in a buffer of the program's own (a write per line costs
// several times the printing itself) and handed on soon: by the interrupt
// poll of long work, before every wait for input, and by every ending.
// On a terminal each line is handed on as it is ended.
//
// The buffer is the program's own, not stdio's, so that a signal handler
// knows exactly what has gone out (heldwrite.h): every byte printed before
// an ending reaches the output once and in order, or (a pipe nobody
// empties) not at all; only a terminal's write that an ending finds
// waiting may show its piece again.  Nothing printed is dropped while the
// session goes on, but where nothing reads it any more or its write fails
// (a full disk, which is told once on standard error).
#pragma once

#include <cstddef>

// Puts the writer under standard output (stdio then hands every piece of
// text straight on to it).  Called at start, before anything is printed.
void omoutbuffer();

// Hands on what the buffer holds now (what fflush(stdout) did before the
// buffer was the program's own; it does that too where the writer is not
// in place).
void omoutflush();

// For the interrupt poll of long work and of every wait that sleeps, cheap
// enough to call at every step: hands on what the buffer holds when the
// last look was a few milliseconds ago or more, and looks whether standard
// output has lost its reader (stdoutlost).
void omoutdue();

// For a signal handler that ends the program: writes what is not yet
// written, waiting for no reader that has stopped (nowaitwrite: a pipe,
// socket or terminal that takes nothing more gets what fit, the rest is
// dropped), and never again.  False when something was dropped, now or by
// an ending's write before, or standard output has lost its reader.
bool omoutsigflush();

// For a signal handler that ends the program: the n bytes of text to
// descriptor 1 or 2, once standard output's rest and every text of the
// ending before went, as omoutsigflush writes.  False when not all went.
bool omsigsay(int fd, const char* text, size_t n);

// A message to standard error (omerrf's), after all that standard output
// holds.  Where both are one pipe, socket or terminal (`2>&1`) it goes
// through standard output's buffer, in its place, so that an ending that
// comes while it waits for room writes it in order; elsewhere it is
// written once standard output's text is out.  While the ending signals
// are held neither waits past their coming (heldwrite.h).
void omouterr(const char* text, size_t n);

// The errno of the first failed write to standard output other than its
// reader going away (a full disk, a size limit, a device error), which was
// reported then on standard error; 0 while none failed.
int omoutfailed();

// True once standard output has no reader any more (the reader of a pipe
// or socket went away, a terminal hung up): the session has no one to
// answer and ends, and what is printed from then on is dropped.  Stays
// true; any other failed write (a full disk) does not count.
bool stdoutgone();

// The same, asked without a failed write (by the wait for input, which
// sees the reader go away while nothing is written).
bool stdoutlost();
