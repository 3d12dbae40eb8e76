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

class pairwork;
struct datafile;
struct gridres;

// Where a request's values lie in a file as one run of 4-byte floats, and
// how its reader makes grid values of them: what a data set's reader says
// of a request it would read that way (the binary reader's own, or a
// self-describing data set's, datafile::sdfplace).
struct gridplace {
  int fd = -1;                 // the file
  int64_t offset = 0;          // the first value's byte
  int64_t pos = 0;             // the binary reader's place of it, in values, for its read error
  bool swap = false;           // bytes in the other order
  float lo = 0.0f, hi = 0.0f;  // the undefined band (exclusive)
  float undef = 0.0f;          // what a value in it becomes
  // What the reader prints when the file loses the values as they are read:
  // null for the binary reader's read error.
  const char* lost = nullptr;
  // What the reader writes on standard error as it reads them.
  char said[176] = "";
};

struct gridview {
  const unsigned char* bytes = nullptr;  // the first value's bytes
  size_t n = 0;                          // values, in the request's order
  int fd = -1;                           // the file they are from
  int64_t offset = 0;                    // the first value's byte in it
  int64_t pos = 0;                       // the same in values, for the binary reader's read error
  const char* lost = nullptr;            // see gridplace
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

// Values taken from a file's map (or any memory no cache holds) a block of
// kViewBlock at a time, the bytes kViewAhead values ahead of each block
// asked of memory first: the processor's own look-ahead stops at every
// page the values cross, and asked for ahead they come about twice as fast.
constexpr size_t kViewBlock = 64;
constexpr size_t kViewAhead = 256;

// Asks for the bytes of the block of 4-byte values kViewAhead past value k
// of p.  A hint: nothing is read, and no page is faulted in.
inline void viewahead(const void* p, size_t k) {
  const char* c = static_cast<const char*>(p) + 4 * (k + kViewAhead);
  for (size_t b = 0; b < 4 * kViewBlock; b += 64) __builtin_prefetch(c + b);
}

// The end of the block of n values that starts at k0.
inline size_t viewblockend(size_t k0, size_t n) { return n - k0 < kViewBlock ? n : k0 + kViewBlock; }

// Fills v with the values of a grid request (as the evaluator makes it for
// the grid reader) when the reader would read them as one run of 4-byte
// floats of a file, from the map of the file: a plain binary data file,
// without a message, or a self-describing one whose reader says where
// they lie (what that reader writes on standard error as it reads them is
// written).  False (nothing printed, v untouched) for every other
// request: the caller reads it through the grid reader instead, which
// gives the same values and prints what it prints.
bool omgview(const gridres* req, gridview* v);

// Prints the grid reader's read error for a view whose bytes the file lost
// while they were read (see mapread in filemap.h).
void omgviewlost(const gridview* v);

// Tells the file's map that a view's bytes have been used.
void omgviewdone(const gridview* v);

// The same for n views of one map merged by the threads of pair: the
// pages due to be given back are given back half by each (both here where
// pair has no second thread).
void omgviewsdone(const gridview* v, int n, pairwork* pair);

// Whether the file still holds every byte of a view.
bool omgviewheld(const gridview* v);

// Whether a view's bytes are still mapped: no view got since has replaced
// its file's map (another member of a template, a file grown).
bool omgviewlive(const gridview* v);

// Views handed out since the program started (for tests).
long omgviews();
