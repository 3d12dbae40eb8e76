// Pre-projected grids: data stored on a native projected grid (polar
// stereographic, Lambert conformal, rotated E-grid, ...) presented as the
// regular longitude-latitude grid of the descriptor.  Where every target
// point's value comes from is computed once when the descriptor is read;
// a request then interpolates from two pairs of native values per point.
#pragma once

#include <cstdint>

struct datafile;

// Projection codes of the pdef record.
enum {
  PD_NONE = 0, PD_NPS = 1, PD_SPS = 2, PD_LCC = 3, PD_ETAU = 4, PD_PSE = 5,
  PD_OPS = 6, PD_BILIN = 7, PD_FILE = 8
};

// Parses the words of a pdef record after the keyword: rec is the record
// lower-cased, mrec as written (the weight-file name keeps its case);
// dname the descriptor name for "^" names.  Fills the projection fields of
// pfi and opens the weight file of bilin and file into pfi->ppfile.  0, or
// 1 after the message (the caller shows the record).
int ompdprs(const char* rec, const char* mrec, const char* dname, datafile* pfi);

// Builds the index, weight and angle arrays of pfi (axes known) with the
// weight file's access (1 stream, 2 sequential) and format (1 binary,
// 2 binary-big, 3 binary-little, 4 packed).  0, or 1 after the message.
int omppcn(datafile* pfi, int acc, int fmt);

// Builds the interpolation record of pfi (axes known, ppisiz and ppjsiz
// set) from a projection given as a function: pos(ctx, lon, lat, &gi, &gj,
// &ang) gives each target point's fractional native position (1-based;
// outside the native grid: no value there) and the angle its grid-relative
// winds are turned by.  The record is the one the bilin method reads from
// its file.  0, or 1 after the message.
using ompdposfn = void (*)(const void* ctx, double lon, double lat, double* gi, double* gj, float* ang);
int ompdfill(datafile* pfi, ompdposfn pos, const void* ctx);

// Fills count target points from (x, y) of level z, time t (t2 the time
// within the template member) by interpolation from the native grid of the
// current request.  0 or the reader's error.
int omprow(int x, int y, int z, int t, int t2, int count, float* gr);

// Projections: latitude/longitude in degrees to fractional native grid
// coordinates.
void w3fb04(float alat, float along, float xmeshl, float orient, float* xi, float* xj);
void ll2lc(const float* p, float lat, float lon, float* gi, float* gj);
void ll2eg(int im, int jm, const float* p, float lon, float lat, float* gi, float* gj,
           float* angle);
void ll2pse(int im, int jm, const float* p, float lon, float lat, float* gi, float* gj);
void ll2ops(const float* p, float lon, float lat, float* gi, float* gj);
