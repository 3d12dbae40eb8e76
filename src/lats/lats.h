// The LATS output entry points that the command interpreter and the GRIB
// index maker call.
#pragma once

struct cmnstate;

// Builds the GRIB index of a descriptor just written; false when none was
// made.  With a folder (a descriptor, -1 for none), descr is a name in it,
// and shown the name its lines give the descriptor.
bool latsgribmap(const char* descr, int ignfcst, int folder = -1, const char* shown = nullptr);
// One LATS action with the LATS settings of the common state (0 parameter
// table, 1 create, 2 vertical dimension, 4 variable, 6 close, 7 reset,
// 10 base time, 3/5 grid and data writes); the library's result or an id,
// except that the grid (3) and data (5) writes and the close (6) give 1
// when they failed and 0 when they did not.
int omlats(cmnstate* pcm, int op, int arg);
// Drops the parameter table of set lats parmtab, as the settings go back to
// a centre that it need not hold: the next create loads the table of
// LATS_PARMS or the built-in one.
void omlatsdroptable(cmnstate* pcm);
// Puts the part files of the open LATS files in their places, with calls a
// signal handler may make: the ending handlers' step, as set lats close
// would do it (the files are kept whole after every write).  Nothing is
// written to a stream: the lines for parts that stay are kept for
// latssigsay, so that the files are in place before anything is written
// to a pipe whose reader the same signal may have ended.
void latssigend();
// Writes those lines to standard error as a handler does (nowaitwrite);
// false when some did not go.
bool latssigsay();
