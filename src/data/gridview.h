// A grid's values where they lie in the map of a data file: the floats of
// a request that the reader would take as one run of a mapped file, handed
// over without being copied into a grid first.  A consumer that goes
// through a long series of grids once (a time mean) reads each value once
// instead of three times (copied out, then read back).
//
// Each value is the file's 4 bytes at its place (byte-swapped first when
// swap), and is undefined where the reader would make it so: inside the
// file's undefined band or no finite number at all.  The bytes are read
// through mapread (filemap.h): the file may be cut while they are read.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

struct datafile;
struct gridres;

struct gridview {
  const unsigned char* bytes = nullptr;  // the first value's bytes
  size_t n = 0;                          // values, in the request's order
  int64_t pos = 0;                       // the first value's place in the file, in values
  bool swap = false;                     // bytes in the other order
  float lo = 0.0f, hi = 0.0f;            // the undefined band (exclusive)
  float undef = 0.0f;                    // what a value in it becomes
  datafile* pfi = nullptr;               // whose map holds them
  uint64_t map = 0;                      // which map of it (filemap::generation)
};

// Whether a file's float v is undefined: inside the band (lo, hi) or not
// finite.  The one test every float read from a data file goes through,
// so that a view and a copied grid agree to the bit.
inline bool inband(float v, float lo, float hi) {
  return ((v > lo) & (v < hi)) | !(std::fabs(v) <= FLT_MAX);
}

// The raw float k of a view's bytes, swapped when Swap.
template <bool Swap>
inline float viewraw(const unsigned char* bytes, size_t k) {
  uint32_t w;
  std::memcpy(&w, bytes + 4 * k, 4);
  if (Swap) w = __builtin_bswap32(w);
  float v;
  std::memcpy(&v, &w, 4);
  return v;
}

// Fills v with the values of a grid request (as the evaluator makes it for
// the grid reader) when the reader would read them as one run of 4-byte
// floats from the map of a plain binary data file, without a message.
// False (nothing printed, v untouched) for every other request: the
// caller reads it through the grid reader instead, which gives the same
// values and prints what it prints.
bool omgview(const gridres* req, gridview* v);

// Prints the grid reader's read error for a view whose bytes the file lost
// while they were read (see mapread in filemap.h).
void omgviewlost(const gridview* v);

// Tells the file's map that a view's bytes have been used.
void omgviewdone(const gridview* v);

// Whether the file still holds every byte of a view.
bool omgviewheld(const gridview* v);

// Whether a view's bytes are still mapped: no view got since has replaced
// its file's map (another member of a template, a file grown).
bool omgviewlive(const gridview* v);

// Views handed out since the program started (for tests).
long omgviews();
