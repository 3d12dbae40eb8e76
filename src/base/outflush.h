// Standard output's writer.  Output to a file or a pipe is held in a
// buffer of the program's own (a write per line costs several times the
// printing itself) and handed on soon: by the interrupt poll of long work,
// before every wait for input, and by every ending.  On a terminal each
// line is handed on as it is ended.
//
// The buffer is the program's own, not stdio's, so that a signal handler
// knows exactly what has gone out: every byte printed before an ending
// reaches the output once and in order, or (a pipe nobody empties) not at
// all, never twice.
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
// written, waiting for no reader that has stopped (nowaitwrite: a pipe or
// terminal that takes nothing more gets what fit, the rest is dropped),
// and never again.  False when something was dropped.
bool omoutsigflush();

// A message to standard error (omerrf's), after all that standard output
// holds.  Where both are one pipe or terminal (`2>&1`) it goes through
// standard output's buffer, in its place, so that an ending that comes
// while it waits for room writes it in order; elsewhere it is written
// once standard output's text is out.  While the ending signals are held
// neither waits past their coming (heldwrite.h).
void omouterr(const char* text, size_t n);

// The errno of the first failed write to standard output other than its
// reader going away (a full disk, a size limit, a device error), which was
// reported then on standard error; 0 while none failed.
int omoutfailed();

// For an ending: text to descriptor 1 or 2, only once standard output's
// rest went, never waiting on a stopped reader; false when not all went.
bool omsigsay(int fd, const char* text, size_t n);
