// Helpers of the expression tests: grids and station lists built in the
// test, an evaluation status without files, and message capture.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/axisconv.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

constexpr float UNDEF = -9.99e33f;

// A linear axis world = start + (g-1)*incr, as one six-float allocation.
inline float* linpair(float start, float incr) {
  float* a = static_cast<float*>(std::malloc(6 * sizeof(float)));
  a[0] = incr;
  a[1] = start - incr;
  a[2] = AXEND;
  a[3] = 1.0f / incr;
  a[4] = -(start - incr) / incr;
  a[5] = AXEND;
  return a;
}

// A time axis starting at 0z1jan1990 stepping 6 hours (or by months).
inline float* timeaxis(int yr = 1990, int mo = 1, float moinc = 0.0f, float mninc = 360.0f) {
  float* a = static_cast<float*>(std::malloc(8 * sizeof(float)));
  float v[8] = {static_cast<float>(yr), static_cast<float>(mo), 1, 0, 0, moinc, mninc, AXEND};
  std::memcpy(a, v, sizeof v);
  return a;
}

inline void setaxis(gridres* pgr, int ax, int dim, float start) {
  float* arr = dim == 3 ? timeaxis() : linpair(start, 1.0f);
  omaxisfn fn = dim == 3 ? nullptr : liconv;
  if (ax == 0) {
    pgr->ivals = arr;
    pgr->iavals = dim == 3 ? arr : arr + 3;
    pgr->igrab = pgr->iabgr = fn;
    pgr->ilinr = 1;
  } else {
    pgr->jvals = arr;
    pgr->javals = dim == 3 ? arr : arr + 3;
    pgr->jgrab = pgr->jabgr = fn;
    pgr->jlinr = 1;
  }
}

// A grid varying on idim (and jdim) with the given values, i fastest.  The
// first grid index of i is i1, of j is j1; world coordinates equal grid
// indexes.
inline gridres* mkgrid(int idim, int jdim, int isiz, int jsiz, const std::vector<float>& v,
                       int i1 = 1, int j1 = 1, float undef = UNDEF) {
  gridres* pgr = omgnew();
  pgr->undef = undef;
  pgr->idim = idim;
  pgr->jdim = jdim;
  pgr->isiz = isiz;
  pgr->jsiz = jsiz;
  pgr->alocf = 1;
  pgr->ilinr = pgr->jlinr = 1;
  for (int d = 0; d < 4; d++) pgr->dimmin[d] = pgr->dimmax[d] = 1;
  if (idim >= 0) {
    pgr->dimmin[idim] = i1;
    pgr->dimmax[idim] = i1 + isiz - 1;
    setaxis(pgr, 0, idim, 1.0f);
  }
  if (jdim >= 0) {
    pgr->dimmin[jdim] = j1;
    pgr->dimmax[jdim] = j1 + jsiz - 1;
    setaxis(pgr, 1, jdim, 1.0f);
  }
  size_t n = static_cast<size_t>(isiz) * jsiz;
  omgalo(pgr, n);
  for (size_t k = 0; k < n; k++) pgr->grid[k] = v[k];
  return pgr;
}

inline std::vector<float> values(const gridres* pgr) {
  size_t n = static_cast<size_t>(pgr->isiz) * pgr->jsiz;
  return std::vector<float>(pgr->grid, pgr->grid + n);
}

struct rptspec {
  float lat, lon, lev, tim, val;
};

// A station list with the given reports, using the shared block layout.
inline stnlist* mkstn(int idim, int jdim, const std::vector<rptspec>& rs, float undef = UNDEF) {
  stnlist* stn = static_cast<stnlist*>(std::calloc(1, sizeof(stnlist)));
  stn->undef = undef;
  stn->idim = idim;
  stn->jdim = jdim;
  stn->tail = &stn->rpt;
  for (size_t k = 0; k < rs.size(); k++) {
    size_t b = k / STNBLKSZ;
    if (!stn->blks[b]) stn->blks[b] = static_cast<stnrpt*>(std::calloc(STNBLKSZ, sizeof(stnrpt)));
    stnrpt* r = &stn->blks[b][k % STNBLKSZ];
    std::memcpy(r->stid, "stn     ", 8);
    r->lat = rs[k].lat;
    r->lon = rs[k].lon;
    r->lev = rs[k].lev;
    r->tim = rs[k].tim;
    r->val = rs[k].val;
    *stn->tail = r;
    stn->tail = &r->rpt;
    stn->rnum++;
  }
  return stn;
}

inline std::vector<float> values(const stnlist* stn) {
  std::vector<float> v;
  for (stnrpt* r = stn->rpt; r; r = r->rpt) v.push_back(r->val);
  return v;
}

// An evaluation status with no files and nothing varying.
inline evalstat blankst() {
  evalstat st;
  std::memset(&st, 0, sizeof st);
  st.type = 1;
  st.idim = st.jdim = -1;
  return st;
}

// Runs f with standard output captured; returns what it printed.
template <typename F>
std::string captured(F&& f) {
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// Evaluates a text on a blank status; rc and the messages are returned.
struct evalout {
  int rc;
  std::string msg;
  evalstat st;
};

inline evalout evaltext(const char* text) {
  evalout o;
  o.st = blankst();
  o.msg = captured([&] { o.rc = omexpr(text, &o.st); });
  return o;
}

// The value of a 0-D result.
inline float scalar(const evalstat& st) {
  EXPECT_EQ(st.type, 1);
  EXPECT_EQ(st.result.pgr->idim, -1);
  return st.result.pgr->grid[0];
}

// Fills an argument block in place (its pointers point into itself).
inline void setargs(fargs* f, const std::vector<std::string>& a) {
  std::memset(f, 0, sizeof *f);
  size_t at = 0;
  for (const std::string& s : a) {
    f->argpnt[f->argnum++] = f->abuf + at;
    std::memcpy(f->abuf + at, s.c_str(), s.size() + 1);
    at += s.size() + 1;
  }
}
