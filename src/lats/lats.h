// The LATS output entry points that the command interpreter and the GRIB
// index maker call.
#pragma once

#include <string>

#include "base/ending.h"

struct cmnstate;

// Builds the GRIB index of a descriptor just written; false when none was
// made.  text is the descriptor as the session wrote it, which is read in
// place of the file at descr (another may have changed that since), and
// the names in it are taken beside descr.  With a folder (a descriptor,
// -1 for none), descr is a name in it, and shown the name its lines give
// the descriptor.
bool latsgribmap(const char* descr, const std::string& text, int ignfcst, int folder = -1,
                 const char* shown = nullptr);
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
// The LATS files' part of the session's endings (base/ending.h), from a
// signal's handler: the part files of the open files put in their places
// with calls a handler may make, as set lats close would put them (the
// files are kept whole after every write), and the lines on those that
// stay under their part names given to the ending.
void latssigend(endhow how);
