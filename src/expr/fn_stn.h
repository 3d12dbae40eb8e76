// The routines behind the functions that move data between grids and
// station lists (gr2stn, coll2gr, oacres, oabin) and the station time
// reductions (stnave, stnmin, stnmax), callable apart from their handlers.
#pragma once

#include <cstddef>
#include <cstring>
#include <unordered_map>
#include <vector>

struct collnode;
struct gridres;
struct stnlist;
struct stnrpt;

// ---- grids and stations ----

// Bilinear value at the 0-based grid coordinate (x, y) of an isiz x jsiz
// field (i fastest).  out when the four surrounding points are not all on
// the field or any of them is undef.
float g2sbilin(const float* grid, int isiz, int jsiz, float undef, double x, double y,
               float out);

// Replaces the value of every report of stn by the grid (varying in X and
// Y, linear axes) interpolated to the report's position; reports outside
// the grid (after one wrap by 360 degrees) become the list's undefined
// value.
void g2slist(const gridres* pgr, stnlist* stn);

// Levels of a collection gridding: mode 1 n levels evenly spaced from lmin
// to lmax; mode 2 the distinct report levels within the bounds (lmax <= L
// <= lmin), highest first; skipundef leaves out undefined reports.
std::vector<float> clglevels(collnode* head, int mode, int n, float lmin, float lmax,
                             bool skipundef);

// The value of one station profile at level lev: exact level first, else
// linear in level between the nearest reports below and above; out when
// either is missing or undefined.
float clgprofile(const stnlist* stn, float lev, bool skipundef, float out);

// Successive-correction analysis of stn onto pgr (varying in X and Y,
// linear axes), in place.  radii in grid units, one pass each; fguess
// below 1e20 in magnitude replaces the mean first guess.  0, or 1 after
// the allocation message.
int cressman(gridres* pgr, stnlist* stn, const std::vector<float>& radii, float fguess);

// Nearest-box binning of stn onto pgr, in place: mode 0 the mean of the
// reports of each box, 1 their count, 2 the mean of the first two only.
// 0, or 1 after the allocation message.
int oabinning(gridres* pgr, stnlist* stn, int mode);

// The five default Cressman radii.
std::vector<float> cresdefault();

// ---- station time reductions ----

// Reads the "-m n" option; 0 with n >= 1 in *cnt, else 1 after the
// message.
int fndarg(const char* ch, int* cnt);

// Variants of merging a step into the result.
enum { STNVMIN = 0, STNVMAX = 1, STNVSUM = 2 };

// A new empty result list shaped like the step list src (request fields,
// undefined value, bounds and its own copy of the time array); null after
// the allocation message.
stnlist* stnrescopy(const stnlist* src);

// Averages the reports of one station appearing more than once within a
// step list into its first report; returns a flag per report (in chain
// order): true for the reports that still stand for their station.
std::vector<bool> stnsamesite(stnlist* step);

// A station as the reductions tell stations apart: its 8-character id and
// the exact bits of its latitude and longitude.
struct stnkey {
  char id[8];
  unsigned lat, lon;
  bool operator==(const stnkey& o) const {
    return std::memcmp(id, o.id, 8) == 0 && lat == o.lat && lon == o.lon;
  }
};
struct stnkeyhash {
  size_t operator()(const stnkey& k) const {
    size_t h = 1469598103934665603ULL;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&k);
    for (size_t i = 0; i < sizeof k; i++) h = (h ^ p[i]) * 1099511628211ULL;
    return h;
  }
};
stnkey mkstnkey(const stnrpt* r);

// The result of a reduction with an index of its stations, so that merging
// a step does not search the list.
struct stnacc {
  stnlist* res = nullptr;
  std::unordered_map<stnkey, stnrpt*, stnkeyhash> idx;
};

// Merges the reports of a step list (those whose flag is set; all when
// keep is empty) into the result by station id, latitude and longitude.
// The spare word of each result report counts the contributing steps.
// 0, or 1 when a report could not be had.
int stnmerge(stnacc& acc, const stnlist* step, int variant, const std::vector<bool>& keep);

// Final pass: reports with fewer than n contributing steps become
// undefined; with average set the others become sum / count.
void stnfinish(stnlist* res, int n, bool average);
