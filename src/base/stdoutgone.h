// Whether standard output still has a reader.
#pragma once

// True once a write to standard output has failed because nothing reads
// it any more (the reader of a pipe or socket went away): the session has
// no one to answer and ends.  Stays true.  Any other failed write (a full
// disk under a redirected output) does not count.  Where stdio's own
// buffer is under standard output, its error mark tells of a failed write,
// and is cleared when the reader is still there.
bool stdoutgone();

// Told by standard output's writer when a write found no reader.
void stdoutnoreader();

// The same, asked without a failed write (by the wait for input, which
// sees the reader go away while nothing is written): true, and stdoutgone
// true from then on, when standard output has no reader any more.
bool stdoutlost();
