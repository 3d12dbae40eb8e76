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
// alone (METAOPEN_LOCKED).
int metaopen(const char* name, metaout* m);

// Appends words, big-endian; false when a write failed.
bool metawrite(const metaout& m, const int16_t* words, size_t n);

// Writes the end records at byte at (-2 first when closeframe, then -9)
// and cuts off whatever lies beyond; false when that failed.  Only pwrite
// and ftruncate: safe in a signal handler.
bool metaendat(int fd, off_t at, bool closeframe);

// Closes the file (and with it the lock) and puts it in place under the
// user's name; false when the close or the rename failed.
bool metaclose(metaout* m);

// Closes the file and drops what was written (a header that could not be
// written).
void metadiscard(metaout* m);

// Closes the file and leaves it under its part name: a restart of the
// package with a metafile open, where nothing is finished.
void metaabandon(metaout* m);
