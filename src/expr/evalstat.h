// The evaluation status: the dimension environment an expression is
// evaluated over, and the place where the evaluation leaves its result.
// Display, collect and define build one per command with getpst; every
// function call inside an expression works on its own copy.
#pragma once

#include "base/cmnstate.h"   // datetime, collnode

struct datafile;
struct defvar;
struct gridres;
struct stnlist;

struct evalstat {
  datafile* filehead;        // list of open files
  datafile* dfile;           // default file
  int dfilenum;              // its number (1-based place in the list)
  const deflist* defs;       // defined variables (null: none)
  collnode** collections;    // the common state's 32 collection heads
  union {
    gridres* pgr;            // type 1
    stnlist* stn;            // type 0
  } result;                  // null when nothing is held
  int type;                  // 1 grid, 0 station data
  int idim, jdim;            // varying dimensions, -1 none
  float dmin[3];             // world minimum of lon, lat, lev
  float dmax[3];             // world maximum
  datetime tmin;             // start time
  datetime tmax;             // end time
};

// Builds a new evaluation status from the dimension environment of pcm;
// null after printing why.  The caller deletes it (after releasing the
// result it holds, if any).
evalstat* getpst(cmnstate* pcm);
