// Positioned reads of data files, shared by the binary and GRIB readers.
#pragma once

#include <cstdint>
#include <cstdio>

// Reads up to n bytes at byte offset pos of f without moving its position,
// going on after short reads; returns the count read (less than n at the end
// of the file or on an error, 0 for no file, pos < 0 or n <= 0).
int64_t preadn(FILE* f, void* buf, int64_t n, int64_t pos);

// Whether f holds n bytes from byte offset pos: sizes read from a file's
// headers are checked with it before room is made for what they announce.
// A file that is not a regular file (its length unknown) is taken at its
// word; no file holds nothing.
bool fholds(FILE* f, int64_t pos, int64_t n);
