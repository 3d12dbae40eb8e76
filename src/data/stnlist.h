// Station lists and station reports: the result of a station request and
// the operand type of station data in expressions.
//
// Allocation convention (shared by every producer and by omsfre):
//  - the list itself is allocated with calloc (all fields start at zero);
//  - reports live in blocks of STNBLKSZ records, each block allocated with
//    calloc(STNBLKSZ, sizeof(stnrpt)) and kept in the block table;
//  - the time conversion copy (tvals) is allocated with malloc.
// omsfre releases the blocks, the time copy and the list.
#pragma once

struct datafile;
struct filevar;

constexpr int STNBLKS = 5000;   // slots of the block table
constexpr int STNBLKSZ = 200;   // reports per block

struct stnrpt {
  stnrpt* rpt;      // next report of the chain, null at the end
  char stid[8];     // station id, blank padded, not terminated
  float lat;
  float lon;
  float lev;        // -9.99e33 for a surface value
  float tim;        // grid time index plus the report's time offset
  int work;         // spare word for the functions that walk lists
  float val;
};

struct stnlist {
  stnrpt* rpt;              // first report, null when empty
  int rnum;                 // number of reports in the chain
  stnrpt* blks[STNBLKS];    // report blocks, null when not allocated
  datafile* pfi;            // data file of the request
  float undef;              // undefined value
  float smin, smax;         // range of the report values (omsmnmx)
  int idim, jdim;           // varying dimensions of the request
  float dmin[3];            // lon1, lat1, lev1
  float dmax[3];            // lon2, lat2, lev2
  int rflag;                // request by radius round (lon1, lat1)
  float radius;             // degrees
  int sflag;                // request by station id
  char stid[8];             // requested id, blank padded
  int tmin, tmax;           // grid time indexes of the request
  float* tvals;             // own copy of the file's 8-float time conversion
  filevar* pvar;            // the variable requested
  stnrpt** tail;            // where the next report is linked
  stnrpt* prpt;             // report most recently handed out
  int rptcnt;               // reports used in the current block (STNBLKSZ: none open)
  int blkcnt;               // index of the current block, -1 none
};

// Releases a station list with its report blocks (null: nothing).
void omsfre(stnlist* stn);
