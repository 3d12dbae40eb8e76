// The metafile's file: written under a part name beside the user's name
// and renamed into place when finished, so an older file of that name
// stays whole until then; locked while open, so that two sessions never
// mix their frames in one file; written big-endian in whole runs, and
// ended with calls that a signal handler may make.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "base/replfile.h"

struct metaout {
  replfile file;
  int fd() const { return file.fd; }
  bool regular() const { return file.regular; }
};

enum { METAOPEN_OK = 0, METAOPEN_FAILED = 1, METAOPEN_LOCKED = 2 };

// The suffix of the part name a metafile is written under.
extern const char* const kMetaPart;

// The end records: -2 closes a printed frame, -9 the file.
extern const int16_t kMetaEnd[2];

// Opens name for a new metafile: a plain file is emptied only once this
// session holds its lock, so a file another session is writing is left
// alone (METAOPEN_LOCKED).  The ending signals are held from the making of
// a part file on, with hold (see replopen).  On failure m->file.note may
// name a part file that could not be made.
int metaopen(const char* name, metaout* m, endhold* hold = nullptr);

// What ends a stream that cannot be cut back (a pipe, a FIFO) once a run
// of words is out, should the session end then: -9 alone, a frame's -2
// and -9, or nothing (the run holds the end).
enum metaend { META_END_FILE = 0, META_END_FRAME = 1, META_ENDED = 2 };

// Appends a run of whole records, big-endian; false when a write failed.
// To a pipe or a FIFO the run is written so that an ending finds how much
// of it went out (heldwrite.h), and after tells what then ends the stream.
bool metawrite(const metaout& m, const int16_t* words, size_t n, metaend after);

// Cuts off whatever lies beyond byte at and writes the end records there
// (-2 first when closeframe, then -9).  False when that failed (the file
// then ends at at).  A pipe or a FIFO cannot be cut: it gets the rest of
// the run that was going out and what ends it (metawrite), so that end
// records follow only a whole record, and only what it takes while its
// reader reads (nowaitwrite); at and closeframe are not used then, and
// false means it did not take all.  Only calls a signal handler may make,
// none of which waits for a reader that has stopped.
bool metaendat(int fd, off_t at, bool closeframe);

// Puts the file in place under the user's name and closes it (letting go
// of the lock only then): replcommit's REPL_DONE, REPL_KEPT (the finished
// file stays under its part name, m->file.note says where and why) or
// REPL_FAILED.
int metaclose(metaout* m);

// Closes the file and drops what was written (a header that could not be
// written): a part file is removed, a file written in place emptied.
void metadiscard(metaout* m);

// Closes the file and leaves it under its part name: a restart of the
// package with a metafile open, where nothing is finished.
void metaabandon(metaout* m);
