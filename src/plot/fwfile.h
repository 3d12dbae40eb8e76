// The file of gxout fwrite.  Like every output that replaces an older file
// (replfile.h), it is written under a part name beside its name, grid
// after grid, and takes the name when closed: by disable fwrite, reinit or
// the end of the session, whichever way it ends.  So the file at the name
// is always one session's whole output, two sessions writing one name
// never mix their grids, and a network file system's refusal is seen
// before the file takes its name.
#pragma once

#include <sys/types.h>

struct cmnstate;

// The file's name: the one set, else ombra.fwrite.
const char* omfwname(const cmnstate* pcm);

// Opens the file for the first display of the session, or the first after
// a close; false, with the open-failure message printed, when it could not
// be opened.
bool omfwopen(cmnstate* pcm, const char* name);

// Says that the file holds whole grids up to byte end: what an ending
// signal leaves of a display cut short.
void omfwwhole(off_t end);

// Closes the open file and puts it in place: 0 (also with no file open),
// or 1 after the line that says why the file is not at its name.
int omfwclose(cmnstate* pcm);
