// The metafile's file: opened under a lock so that two sessions never mix
// their frames in one file, written big-endian in whole runs, and ended
// with calls that a signal handler may make.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

struct metaout {
  int fd = -1;
  bool regular = false;  // a plain file: it can be locked and cut back
};

enum { METAOPEN_OK = 0, METAOPEN_FAILED = 1, METAOPEN_LOCKED = 2 };

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

// Closes the file (and with it the lock); false when the close failed.
bool metaclose(metaout* m);
