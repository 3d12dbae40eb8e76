// The GRIB record reader: reads runs of grid points of GRIB records
// through the data set's index, and the state the grid reader shares with
// it and with the interpolating reader of pre-projected data sets.
#pragma once

#include <cstddef>
#include <cstdint>

struct datafile;
struct filevar;

// The current grid request as the GRIB and pre-projection readers see it.
struct omrdreq {
  datafile* pfi = nullptr;
  filevar* pvr = nullptr;
  float gundef = 0.0f;   // undefined value of the grid being filled
  int lonlat = 0;        // the request varies X as i and Y as j
  long serial = 0;       // counts the requests, so caches know their own
};
extern omrdreq omreq;

// Starts a grid request: takes the file and variable and empties the
// record cache and the bit-map caches of the previous request.
void omgrbini(datafile* pfi, filevar* pvr, float gundef, int lonlat);

// Gives back the room GRIB2 fields are read in, which requests keep from
// one to the next: with all everything, as the prompt waits; else what is
// more than the commands of a script keep from one to the next.
void omgrbrelease(bool all);

// A new template member was opened: the held bit map belongs to another
// file.
void omgrbmem();

// Fills count values from grid point (x, y) of level z, time t (time of
// the whole data set).  For a pre-projected data set x and y are ignored
// and offset is the 0-based position in the native grid.  0 or 1 after
// the message.
int omirow(int x, int y, int z, int t, int64_t offset, int count, float* gr);

// Reads nbytes packed bytes starting fbyte bytes after the data offset
// doff into the file's packed-byte buffer (nx, ny and bits give the size
// of the whole record for the record cache).  0 or 1 after the message.
int omird(int64_t doff, int64_t fbyte, int64_t nbytes, int nx, int ny, int bits);

// Number of bit-map reads since the program started, and the bytes the
// room of GRIB2 fields holds (for tests).
long omgrbbmr();
size_t omgrbheld();
