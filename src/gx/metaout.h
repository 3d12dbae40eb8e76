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

// Opens name for a new metafile: a plain file is emptied only once this
// session holds its lock, so a file another session is writing is left
// alone (METAOPEN_LOCKED).  The ending signals are held from the making of
// a part file on, with hold (see replopen).  On failure m->file.note may
// name a part file that could not be made.
int metaopen(const char* name, metaout* m, endhold* hold = nullptr);

// Appends words, big-endian; false when a write failed.
bool metawrite(const metaout& m, const int16_t* words, size_t n);

// Cuts off whatever lies beyond byte at and writes the end records there
// (-2 first when closeframe, then -9); on a pipe or FIFO writes them where
// it is.  False when that failed (the file then ends at at).  Only calls a
// signal handler may make.
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
