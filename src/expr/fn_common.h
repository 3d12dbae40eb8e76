// Helpers shared by the analysis functions that walk a dimension or reduce
// a field: narrowing the evaluation status, setting one step of a
// dimension, world values of the default file's axes and grid ranges.
#pragma once

#include <cstddef>

#include "data/gridres.h"

struct evalstat;
struct datafile;
struct gridview;

// Degrees to radians the way every analysis function converts them.
constexpr double FNDEG2RAD = 3.1416 / 180.0;
// Earth radius in metres.
constexpr double FNEARTH = 6.37e6;

// Removes dimension d from the varying dimensions of a status (the j
// dimension moves to i when i was d).
void fndrop(evalstat* pst, int d);

// World value of grid coordinate g on dimension d (0-2) of a file; files
// without a conversion (station data) keep the value as it is.
double fnworld(const datafile* pfi, int d, double g);

// Sets the environment of dimension d of a status to the single grid index
// (or coordinate) g of the default file: the world minimum and maximum for
// X, Y, Z, the start and end time for T.
void fnsetdim(evalstat* pst, int d, double g);

// Rounds the grid coordinates of a range to step indexes: ceil(g1 - 0.001)
// and floor(g2 + 0.001).  False when a coordinate is not a number or so far
// beyond any axis that the walk could never end.
bool fnrange(float g1, float g2, int* k1, int* k2);
// True when a grid coordinate is usable as a step index.
bool fnusable(double g);

// Parses one dimension expression against the default file of a status
// (radius forbidden).  False when it does not parse, when no default file
// is open, or when its coordinate is unusable.
bool fndim(const char* text, evalstat* pst, int* dim, float* gval, int* wflag);

// Sets the longitude-latitude box of a status from four dimension
// expressions (the X bounds, then the Y bounds) parsed against its default
// file, with X and Y varying; level and time stay.  widen: bounds given as
// grid coordinates move outwards by half a grid box.  False when one does
// not parse or lies on another axis.
bool fnsetbox(const char* const txt[4], evalstat* pst, bool widen);
// The box of the whole globe, longitude 0 to 360 and latitude -90 to 90:
// every field read then holds all of its grid.  A file that goes round the
// globe gives a column twice: its first again at the end, or, when its
// points straddle 0, one before 0 and one after 360.
bool fnglobal(evalstat* pst);

// Reads a number at text as a number typed in an expression is read: the
// end of the number, or null when none reads or when it lies beyond single
// precision (1e400 would otherwise enter as infinity and spread through
// every later result).  Every function reading a numeric argument uses it.
const char* fnvalue(const char* text, float* v);

// A time axis that advances (a months or a minutes increment above 0).
bool fntaxisok(const datafile* pfi);

// Evaluates text into a grid taken out of the status; 0, the evaluator's
// code, or -1 for station data (released).
int fnevalg(const char* text, evalstat* pst, gridres** out);
// Evaluates one step of a walk that must give n values: as fnevalg, and 1
// (the grid released) when the step's grid has another number of values.
int fnevalstep(const char* text, evalstat* pst, size_t n, gridres** out);
// The values of one step of a walk as a view of the data file's map, when
// text is a bare variable whose grid the reader would take as one run of
// the map and the grid has n values (see gridview.h).  False, with nothing
// printed, otherwise (and at an interrupt): the step is then evaluated with
// fnevalstep, which gives the same values.
bool fnstepview(const char* text, evalstat* pst, size_t n, gridview* v);
// Prints what the evaluation of text prints when its grid cannot be read,
// for a view whose bytes the file lost while they were merged.
void fnviewlost(const char* text, const gridview& v);
// Makes pgr the grid result of a status; a single value gets rmax = rmin.
void fnsettle(evalstat* pst, gridres* pgr);

// Number of values of a grid.
inline size_t fnpts(const gridres* pgr) {
  return static_cast<size_t>(pgr->isiz) * static_cast<size_t>(pgr->jsiz);
}

// Declarations of the routines behind the analysis functions that other
// code (and the tests) may call directly.
float doaave(gridres* pgr, float lonmin, float lonmax, float latmin, float latmax, int v);
void cosadj(gridres* pgr);
int tvrh2q(float p, float tv, float rh, float* q, float* t);
