// Axis conversions between grid coordinates (1 at the first point,
// fractional between points) and world coordinates (longitude, latitude,
// level).  An axis conversion array is a run of floats ended by -999.9:
//
//   linear      a, b, -999.9                 world = a*grid + b (liconv)
//   level list  n, v1 .. vn, -999.9          gr2lev / lev2gr
//   time        the eight floats of a time axis (datetime.h: t2gr, gr2t)
//
// A linear axis is one allocation of six floats: the grid-to-world half
// [incr, start-incr, -999.9] then the world-to-grid half
// [1/incr, -(start-incr)/incr, -999.9]; the data-file record points at
// each half.  Every array made here is allocated with malloc and released
// with free (releasing the grid-to-world half of a linear pair releases
// both halves).
#pragma once

#include <cstdio>
#include <string>

#include "base/omtypes.h"  // omaxisfn

struct datafile;

typedef float axisconv;  // element of a conversion array

constexpr float AXEND = -999.9f;  // end mark of every conversion array

// Linear conversion a*v + b, in single precision.
double liconv(float* vals, double v);
// Level list: grid coordinate to world value, and world value to grid.
double gr2lev(float* vals, double g);
double lev2gr(float* vals, double w);

// Everything that describes one axis's conversions.
struct axisdef {
  float* gr2ab = nullptr;     // grid-to-world array (owns the allocation)
  float* ab2gr = nullptr;     // world-to-grid array (same block or half)
  omaxisfn gr2abfn = nullptr;
  omaxisfn ab2grfn = nullptr;
  int linear = 0;
};

// Builds a linear axis from the text at the word "linear": the start value,
// then (unit flag 0) the increment, else an increment of 1.  For x and y
// (dim 0, 1) the increment must be positive; for z it must not be zero.
// Returns 0 done, 1 error reported, -1 out of memory (nothing printed).
// On failure nothing stays allocated.
int linaxis(const char* ch, int dim, int unitflag, axisdef* ax);

// Builds a level list of n values from the text at the word "levels",
// reading continuation lines from descr into rec when the current line has
// no further value (rec then holds the last line read).  n must be at
// least 2; a single level is a linear axis (see deflev).  Same results as
// linaxis.
int levaxis(const char* ch, int n, std::string& rec, FILE* descr, axisdef* ax);

// The same two builders storing into dimension dim (0-2) of a data-file
// record (sizes taken from the record).
int deflin(const char* ch, datafile* pfi, int dim, int unitflag);
int deflev(const char* ch, std::string& rec, FILE* descr, datafile* pfi, int dim);

// A new copy of a conversion array (malloc), or null.  dim 3 copies the
// eight floats of a time axis, lin 1 the three floats of a linear half,
// otherwise the level list (count, values, end mark).  dir is unused.
float* cpscal(const float* vals, int lin, int dir, int dim);

// Latitude tables (south to north): a new level array of c latitudes
// starting at the 1-based index s, or null after a message.
float* omgs15(int s, int c);   // 40 Gaussian latitudes   ("gausr15")
float* omgs20(int s, int c);   // 52 Gaussian latitudes   ("gausr20")
float* omgs30(int s, int c);   // 80 Gaussian latitudes   ("gausr30")
float* omgaus(int s, int c);   // 102 Gaussian latitudes  ("gausr40")
float* omgst62(int s, int c);  // 94 Gaussian latitudes   ("gaust62")
float* ommo32(int s, int c);   // 32 ocean-model latitudes ("mom32")

// The fill routine for a scaling word of a ydef record ("gausr40", ...),
// or null when the word names no latitude table.
typedef float* (*latfillfn)(int s, int c);
latfillfn latfill(const char* word);
