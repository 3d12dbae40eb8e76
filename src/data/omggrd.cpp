// The grid reader.  A request is filled row by row: one positioned read
// per X row (or per element when X does not vary), straight into the
// grid's storage; the whole of a full grid stored contiguously is read
// with a single read.  Floats of a regular file are taken from a map of
// it where it holds them, without the copy a read makes.
#include "data/omggrd.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/errout.h"
#include "base/pairwork.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/vecclone.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/fnmexp.h"
#include "data/gribread.h"
#include "data/gridres.h"
#include "data/gridview.h"
#include "data/pdef.h"
#include "data/rawread.h"

namespace {

// The current request.
datafile* cpfi = nullptr;
gridres* cpgr = nullptr;
filevar* cpvr = nullptr;
int timerr = -1;   // time of the last missing-member warning
int msgflg = 1;    // one-time interpolation notice armed

// Scratch buffer for the element types that are not floats; grows to the
// longest row read and is reused.
std::vector<unsigned char>& scratch() {
  static std::vector<unsigned char> buf;
  return buf;
}

// Makes the scratch buffer hold nb bytes; false (after the message of the
// element kind) when memory cannot be had.
bool growscratch(std::vector<unsigned char>& b, int64_t nb, int sz, bool cray) {
  if (b.size() >= static_cast<size_t>(nb)) return true;
  try {
    b.resize(static_cast<size_t>(nb));
    return true;
  } catch (const std::bad_alloc&) {
  }
  if (cray) {
    omprnt(0, "Memory Allocation Error:  32-bit grid storage on cray \n");
    omprntf(0, "len*4 = %d\n", static_cast<int>(nb));
  } else if (sz == 1) {
    omprnt(0, "Memory Allocation Error:  char grid storage \n");
  } else if (sz == 2) {
    omprnt(0, "Memory Allocation Error:  integer*2 storage \n");
  } else {
    omprnt(0, "Memory Allocation Error:  integer*4 storage \n");
  }
  return false;
}

void fillund(float* gr, int64_t n, float und) {
  for (int64_t i = 0; i < n; i++) gr[i] = und;
}

// The name of the file being read, as messages show it.
std::string curname() { return replshownname(cpfi->tmplat ? cpfi->tempname : cpfi->name); }

int readerr(int n, int64_t pos) {
  omprnt(0, "Low Level I/O Error:  Read error on data file \n");
  omprntf(0, "  Data file name = %s \n", curname().c_str());
  omprntf(0, "  Error reading %i bytes at location %li \n", n, static_cast<long>(pos));
  return 1;
}

int seekerr(int64_t pos) {
  omprnt(0, "Low Level I/O Error:  Seek error on data file \n");
  omprntf(0, "  Data file name = %s \n", curname().c_str());
  omprntf(0, "%d rc=%d pos=%ld pfi->fhdr =%d\n", 619, -1, static_cast<long>(pos),
          static_cast<int>(cpfi->fhdr));
  omprntf(0, "  Error occurred when seeking to byte %li \n", static_cast<long>(pos));
  return 1;
}

// Values inside the file's undefined band become the grid's undefined
// value.  Written without branches so that it runs as vector code; built
// for AVX2 as well where the processor has it (same comparisons, same
// results).
OM_VECTOR_CLONES __attribute__((optimize("O3"))) void bandmap(float* gr, int n, float lo, float hi, float u) {
  for (int i = 0; i < n; i++) {
    float v = gr[i];
    // A value in the undefined band, or no number at all (NaN, infinity:
    // what many writers put for missing data), is undefined.
    gr[i] = inband(v, lo, hi) ? u : v;
  }
}

void undband(float* gr, int n) { bandmap(gr, n, cpfi->ulow, cpfi->uhi, cpgr->undef); }

// The same as bandmap, taking the floats from the bytes of a data file
// (byte-swapped first when swap): the values are made in one pass from
// where the file's bytes lie.
template <bool Swap>
inline __attribute__((always_inline)) void bandcopyrun(const unsigned char* src, float* __restrict gr, size_t n,
                                                       float lo, float hi, float u) {
  for (size_t i = 0; i < n; i++) {
    const float v = viewraw<Swap>(src, i);
    gr[i] = inband(v, lo, hi) ? u : v;
  }
}

// A block at a time, the block ahead asked for first.
template <bool Swap>
inline __attribute__((always_inline)) void bandcopyto(const unsigned char* src, float* gr, int n, float lo,
                                                      float hi, float u) {
  const size_t all = static_cast<size_t>(n);
  for (size_t k0 = 0; k0 < all; k0 += kViewBlock) {
    viewahead(src, k0);
    bandcopyrun<Swap>(src + 4 * k0, gr + k0, viewblockend(k0, all) - k0, lo, hi, u);
  }
}

OM_VECTOR_CLONES __attribute__((optimize("O3"))) void bandcopy(const unsigned char* src, float* gr, int n,
                                                               bool swap, float lo, float hi, float u) {
  if (swap)
    bandcopyto<true>(src, gr, n, lo, hi, u);
  else
    bandcopyto<false>(src, gr, n, lo, hi, u);
}

// Floats read in pieces that stay in cache while they are swapped and
// mapped.
constexpr int kChunk = 32768;

// Bytes from which a read of floats is taken from the file's map.
constexpr int64_t kMapMin = 4096;

int elsize(int dfrm) {
  switch (dfrm) {
    case 1: return 1;
    case 2:
    case -2: return 2;
    default: return 4;
  }
}

// Lays out n columns of a row taken round the globe from one whole row of
// nx points, starting at column start (0-based): copies of runs, not a
// modulo per point.
void wraprow(const float* src, int nx, int start, float* dst, int n) {
  for (int x = start, left = n; left > 0; x = 0) {
    const int run = nx - x < left ? nx - x : left;
    std::memcpy(dst, src + x, static_cast<size_t>(run) * sizeof(float));
    dst += run;
    left -= run;
  }
}

// The 0-based column of grid index x1 on a globe of nx points.
int wrapstart(int x1, int nx) {
  int x = (x1 - 1) % nx;
  return x < 0 ? x + nx : x;
}

}  // namespace

void omiomg() { msgflg = 1; }

void clicyc(int* t) {
  if (!cpfi || cpfi->climo <= 0 || cpfi->cysiz <= 0) return;
  // In one step: the time index comes from the request, any int.
  *t %= cpfi->cysiz;
  if (*t < 0) *t += cpfi->cysiz;
}

int64_t omfcor(int x, int y, int z, int t) {
  const datafile* p = cpfi;
  int64_t tt = t;
  if (p->tlpflg) {
    tt = t + p->tlpst;
    if (tt > p->dnum[3]) tt -= p->dnum[3];
  }
  int64_t nx = p->dnum[0];
  int64_t r = p->yrflg ? p->dnum[1] - y : y - 1;
  int64_t lv = cpvr->levels;
  int64_t k = z - 1;
  if (p->zrflg) k = lv ? lv - z : 0;
  int64_t pos;
  if (!cpvr->var_t)
    pos = (tt - 1) * p->tsiz + cpvr->offset + k * p->gsiz * cpvr->var_z;
  else
    pos = (tt - 1) * p->gsiz * (lv > 1 ? lv : 1) + k * p->gsiz + cpvr->offset;
  return pos + r * nx + (x - 1) + p->xyhdr + p->thdr;
}

int64_t omfcyx(int x, int y, int z, int t) {
  // Same as omfcor with the position inside the grid transposed.
  int64_t base = omfcor(1, 1, z, t);
  const datafile* p = cpfi;
  int64_t ny = p->dnum[1];
  int64_t r = p->yrflg ? ny - y : y - 1;
  if (p->yrflg) base -= (ny - 1) * p->dnum[0];
  return base + static_cast<int64_t>(x - 1) * ny + r;
}

int omread(int64_t pos, int n, float* gr) {
  const int sz = elsize(cpvr->dfrm);
  const int64_t bpos = cpfi->fhdr + pos * sz;
  if (pos < 0 || bpos < 0) return seekerr(pos);
  const int64_t nb = static_cast<int64_t>(n) * sz;
  if (sz == 4 && cpvr->dfrm != 4) {
    if (cpfi->cray_ieee) {
      std::vector<unsigned char>& b = scratch();
      if (!growscratch(b, nb, sz, true)) return 1;
      if (preadn(cpfi->infile, b.data(), nb, bpos) != nb) {
        omprnt(0, "Low Level I/O Error:  Read error on 32-bit grid data file on cray \n");
        omprntf(0, "  Data file name = %s \n", curname().c_str());
        omprntf(0, "  Error reading %i bytes at location %li \n", n, static_cast<long>(pos));
        return 1;
      }
      for (int i = 0; i < n; i++) {
        unsigned char* w = b.data() + 4 * static_cast<size_t>(i);
        if (cpfi->bswap) ombswp(w, 1);
        gr[i] = ieee2flt(w);
      }
    } else {
      // Below a page a read costs less than the fault of a page first
      // touched through the map (a point of each time step, say).
      const unsigned char* m = nb >= kMapMin ? cpfi->fmap.bytes(cpfi->infile, bpos, nb) : nullptr;
      if (m != nullptr) {
        const float lo = cpfi->ulow, hi = cpfi->uhi, u = cpgr->undef;
        const bool swap = cpfi->bswap != 0;
        const bool whole = mapread([&] { bandcopy(m, gr, n, swap, lo, hi, u); });
        cpfi->fmap.done(m, nb);
        if (whole) return 0;
        // The file was cut while its bytes were copied: read as below,
        // which meets its new end as a read error.
      }
      for (int i = 0; i < n; i += kChunk) {
        int m = n - i < kChunk ? n - i : kChunk;
        int64_t want = static_cast<int64_t>(m) * 4;
        if (preadn(cpfi->infile, gr + i, want, bpos + static_cast<int64_t>(i) * 4) != want)
          return readerr(n, pos);
        if (cpfi->bswap) ombswp(gr + i, m);
        undband(gr + i, m);
      }
      return 0;
    }
    undband(gr, n);
    return 0;
  }
  std::vector<unsigned char>& b = scratch();
  if (!growscratch(b, nb, sz, false)) return 1;
  unsigned char* c = b.data();
  if (preadn(cpfi->infile, c, nb, bpos) != nb) return readerr(n, pos);
  if (sz == 1) {
    for (int i = 0; i < n; i++) gr[i] = static_cast<float>(c[i]);
  } else if (sz == 2) {
    const bool le = omhostle() != 0;
    // After the optional swap the element is in host order.
    const bool msbfirst = cpfi->bswap ? le : !le;
    for (int i = 0; i < n; i++) {
      unsigned b0 = c[2 * i], b1 = c[2 * i + 1];
      unsigned hi = msbfirst ? b0 : b1, lo = msbfirst ? b1 : b0;
      int v = static_cast<int>(hi * 256 + lo);
      if (cpvr->dfrm == -2 && hi >= 128) v -= 65536;
      gr[i] = static_cast<float>(v);
    }
  } else {
    if (cpfi->bswap) ombswp(c, n);
    for (int i = 0; i < n; i++) {
      int32_t v;
      std::memcpy(&v, c + 4 * static_cast<size_t>(i), 4);
      gr[i] = static_cast<float>(v);
    }
  }
  undband(gr, n);
  return 0;
}

int omrdyx(int64_t pos, int n, float* gr) {
  const int64_t ny = cpfi->dnum[1];
  int64_t p = pos;
  if (elsize(cpvr->dfrm) != 4 || cpvr->dfrm == 4) {
    // Other element types are read one element at a time with their own
    // size and decoding, rather than taken as floats.
    for (int i = 0; i < n; i++, p += ny)
      if (omread(p, 1, gr + i)) return 1;
    return 0;
  }
  for (int i = 0; i < n; i++, p += ny) {
    int64_t bpos = cpfi->fhdr + 4 * p;
    if (p < 0 || bpos < 0) {
      omprnt(0, "Low Level I/O Error:  Seek error on data file \n");
      omprntf(0, "%d  rc=%ld pos=%ld pfi->fhdr =%ld \n", 486, -1L, static_cast<long>(p),
              static_cast<long>(cpfi->fhdr));
      omprntf(0, "  Data file name = %s \n", curname().c_str());
      omprntf(0, "  Error occurred when seeking to byte %li \n", static_cast<long>(pos));
      return 1;
    }
    if (preadn(cpfi->infile, gr + i, 4, bpos) != 4) return readerr(n, pos);
    if (cpfi->bswap) ombswp(gr + i, 1);
    if (inband(gr[i], cpfi->ulow, cpfi->uhi)) gr[i] = cpgr->undef;
  }
  return 0;
}

namespace {

// A missing member: warned about once per time when asked to.  One that
// is there but was refused (a device, a link not followed) is said always,
// with why, as it is tried.
int missing(const datafile* p, int t, int err = ENOENT) {
  const bool refused = err != ENOENT && err != ENOTDIR;
  if ((p->misswarn || refused) && t != timerr) {
    omprnt(1, "Warning: Open error, fn = ");
    omprnt(1, replshownname(p->tempname));
    omprnt(1, "\n");
    if (refused) omprnt(1, std::string("  ") + omopenwhy(err) + "\n");
    timerr = t;
  }
  return -88888;
}

}  // namespace

int omopfn(int t, int* flag) {
  datafile* p = cpfi;
  *flag = 0;
  if (t < 1 || t > p->dnum[3] || p->fnums.size() < static_cast<size_t>(p->dnum[3]))
    return -99999;
  int f = p->fnums[t - 1];
  if (f == p->fnumc) return t - f + 1;
  // A member that could not be opened is not tried again until the
  // request moves to another: a request along Y or Z asks for it once
  // per point.
  if (f == p->fnumbad) return missing(p, t);
  if (p->infile) std::fclose(p->infile);
  p->infile = nullptr;
  p->fmap.release();  // the member's map would keep its file alive
  p->fnumc = 0;
  p->tempname.clear();
  if (!p->grvals[3]) return -99999;
  datetime dt, d1;
  gr2t(p->grvals[3], static_cast<double>(t), &dt);
  gr2t(p->grvals[3], 1.0, &d1);
  p->tempname = omfndt(p->name.c_str(), &dt, &d1, p->grvals[3]);
  if (p->tempname.empty()) return -99999;
  p->infile = omfdata(p->tempname.c_str());
  if (!p->infile) {
    p->fnumbad = f;
    return missing(p, t, errno);
  }
  p->fnumc = f;
  p->fnumbad = 0;
  *flag = 1;
  return t - f + 1;
}

int omrrow(int x, int y, int z, int t, int count, float* gr) {
  int tt = t;
  if (cpfi->tmplat) {
    int flag;
    tt = omopfn(t, &flag);
    if (tt == -99999) {
      omprnt(0, "Data Request Error:  Invalid time index for template data set\n");
      return 1;
    }
    if (tt == -88888) {
      fillund(gr, count, cpfi->undef);
      return 0;
    }
    // Equal bit-map offsets in another member are another bit map.
    if (flag) omgrbmem();
  }
  if (cpfi->ppflag) return omprow(x, y, z, t, tt, count, gr);
  if (cpfi->bgrib) return omirow(x, y, z, t, 0, count, gr);
  if (cpvr->y_x) return omrdyx(omfcyx(x, y, z, tt), count, gr);
  return omread(omfcor(x, y, z, tt), count, gr);
}

int omgrow(float* gr, const int d[4]) {
  const int nx = cpfi->dnum[0];
  const int x1 = cpgr->dimmin[0], x2 = cpgr->dimmax[0];
  const int n = x2 - x1 + 1;
  if (x1 >= 1 && x2 <= nx) return omrrow(x1, d[1], d[2], d[3], n, gr);
  if (!cpfi->wrap) {
    if ((x1 < 1 && x2 < 1) || (x1 > nx && x2 > nx)) {
      fillund(gr, n, cpgr->undef);
      return -1;
    }
    // Only the columns outside the file are undefined; the rest is read.
    int s = x1 < 1 ? 1 : x1;
    int e = x2 > nx ? nx : x2;
    fillund(gr, s - x1, cpgr->undef);
    fillund(gr + (e - x1 + 1), x2 - e, cpgr->undef);
    return omrrow(s, d[1], d[2], d[3], e - s + 1, gr + (s - x1));
  }
  if (cpfi->rbuf.size() < static_cast<size_t>(nx)) {
    try {
      cpfi->rbuf.assign(static_cast<size_t>(nx), 0.0f);
    } catch (const std::bad_alloc&) {
      omprnt(0, "Memory Allocation Error:  grid storage \n");
      return 1;
    }
  }
  float* buf = cpfi->rbuf.data();
  int rc = omrrow(1, d[1], d[2], d[3], nx, buf);
  if (rc) return rc;
  wraprow(buf, nx, wrapstart(x1, nx), gr, n);
  return 0;
}

int omgpre() {
  gridres* g = cpgr;
  int k = static_cast<int>(cpvr->offset);
  if (k < 0 || k > 2 || !cpfi->gr2ab[k]) {
    omprnt(0, "Internal logic check 16:  coordinate variable without an axis\n");
    return 16;
  }
  float* gr = g->grid;
  for (int j = 0; j < g->jsiz; j++) {
    for (int i = 0; i < g->isiz; i++) {
      int idx = g->dimmin[k];
      if (g->idim == k) idx += i;
      else if (g->jdim == k) idx += j;
      gr[static_cast<size_t>(j) * g->isiz + i] =
          static_cast<float>(cpfi->gr2ab[k](cpfi->grvals[k], static_cast<double>(idx)));
    }
  }
  return 0;
}

int omgdef() {
  gridres* g = cpgr;
  datafile* p = cpfi;
  if (g->jdim >= 0 && g->jdim <= 3 && p->dnum[g->jdim] == 1) g->jdim = -1;
  if (g->idim >= 0 && g->idim <= 3 && p->dnum[g->idim] == 1) {
    g->idim = g->jdim;
    g->igrab = g->jgrab;
    g->iabgr = g->jabgr;
    g->ivals = g->jvals;
    g->iavals = g->javals;
    g->ilinr = g->jlinr;
    g->iwrld = g->jwrld;
    g->jdim = -1;
  }
  int d[4];
  for (int i = 0; i < 4; i++) d[i] = p->dnum[i] == 1 ? 0 : g->dimmin[i] - 1 - p->dimoff[i];
  g->isiz = g->idim >= 0 ? g->dimmax[g->idim] - g->dimmin[g->idim] + 1 : 1;
  g->jsiz = g->jdim >= 0 ? g->dimmax[g->jdim] - g->dimmin[g->jdim] + 1 : 1;
  if (g->isiz < 1 || g->jsiz < 1) {
    omprntf(0, "Internal logic check 16:  %i %i  \n", g->idim, g->jdim);
    return 16;
  }
  size_t n = static_cast<size_t>(g->isiz) * g->jsiz;
  if (!omgalo(g, n)) {
    omprnt(0, "Memory Allocation Error: Grid Request\n");
    return 2;
  }
  const bool clim = p->climo > 0;
  if (clim && g->idim != 3 && g->jdim != 3) clicyc(&d[3]);
  for (int i = 0; i < 4; i++) {
    if (i == g->idim || i == g->jdim) continue;
    if (d[i] < 0 || d[i] >= p->dnum[i]) {
      fillund(g->grid, static_cast<int64_t>(n), p->undef);
      return 0;
    }
  }
  const size_t nx = p->dnum[0], ny = p->dnum[1], nz = p->dnum[2];
  const size_t need = nx * ny * nz * static_cast<size_t>(p->dnum[3]);
  const float* src = p->rbuf.data();
  if (p->rbuf.size() < need) {
    fillund(g->grid, static_cast<int64_t>(n), p->undef);
    return 0;
  }
  float* gr = g->grid;
  for (int j = 0; j < g->jsiz; j++) {
    for (int i = 0; i < g->isiz; i++) {
      int c[4] = {d[0], d[1], d[2], d[3]};
      if (g->idim >= 0) c[g->idim] += i;
      if (g->jdim >= 0) c[g->jdim] += j;
      if (clim && (g->idim == 3 || g->jdim == 3)) clicyc(&c[3]);
      bool in = true;
      for (int k = 0; k < 4; k++)
        if (c[k] < 0 || c[k] >= p->dnum[k]) in = false;
      float v = p->undef;
      if (in) v = src[c[0] + c[1] * nx + c[2] * nx * ny + c[3] * nx * ny * nz];
      *gr++ = v;
    }
  }
  return 0;
}

namespace {

void reqwarn(const int d[4], const int n[4]) {
  if (mfcmn.mfwarn > 0) {
    omprnt(1, "Data Request Warning:  Request beyond file limits\n");
    omprnt(2, "  Entire grid contents are set to missing data \n");
    omprntf(2, "  Dimension ranges are:  X = %i %i  Y = %i %i ", d[0], n[0], d[1], n[1]);
    omprntf(2, " Z = %i %i  T = %i %i \n", d[2], n[2], d[3], n[3]);
  }
}

// Runs that cross rows are not read through the hemispheric GRIB pair,
// whose rows come from two records.
bool rowscross() { return !(cpfi->bgrib && cpfi->grbgrd == 29 && !cpfi->ppflag); }

// One read for a whole request of full rows stored one after another.
bool contiguous(const gridres* g) {
  const datafile* p = cpfi;
  if (!rowscross()) return false;
  return g->idim == 0 && g->jdim == 1 && !cpvr->y_x && !p->yrflg && g->dimmin[0] == 1 && g->dimmax[0] == p->dnum[0] && g->dimmin[1] >= 1 &&
         g->dimmax[1] <= p->dnum[1] && static_cast<int64_t>(g->isiz) * g->jsiz <= INT32_MAX;
}

// Whole rows stored one after another, asked for with X running past the
// ends of a globally wrapping file: read the rows once, then lay out each
// requested row from them with its wrap-around columns.
bool wrappedrows(const gridres* g) {
  const datafile* p = cpfi;
  if (!p->wrap || p->ppflag || !rowscross() || p->dnum[0] < 1) return false;
  return g->idim == 0 && g->jdim == 1 && !cpvr->y_x && !p->yrflg && g->dimmin[1] >= 1 &&
         g->dimmax[1] <= p->dnum[1] && (g->dimmin[0] < 1 || g->dimmax[0] > p->dnum[0]) &&
         static_cast<int64_t>(p->dnum[0]) * g->jsiz <= INT32_MAX;
}

int readwrapped(gridres* g, const int d[4]) {
  const int nx = cpfi->dnum[0];
  const size_t need = static_cast<size_t>(nx) * g->jsiz;
  // The rows are held in grid storage, which is reused from grid to grid.
  gridres* hold = omgnew();
  if (!hold) return 1;
  hold->idim = 0;
  if (!omgalo(hold, need)) {
    omgfre(hold);
    omprnt(0, "Memory Allocation Error:  grid storage \n");
    return 1;
  }
  const float* rows = hold->grid;
  if (omrrow(1, g->dimmin[1], d[2], d[3], static_cast<int>(need), hold->grid)) {
    omgfre(hold);
    return 1;
  }
  const int start = wrapstart(g->dimmin[0], nx);
  for (int j = 0; j < g->jsiz; j++)
    wraprow(rows + static_cast<size_t>(j) * nx, nx, start, g->grid + static_cast<size_t>(j) * g->isiz,
            g->isiz);
  omgfre(hold);
  return 0;
}

}  // namespace

int omggrd(gridres* pgr) {
  cpgr = pgr;
  cpfi = pgr->pfi;
  cpvr = pgr->pvar;
  timerr = -1;
  if (!cpfi) {
    omprnt(0, "Internal logic check 16:  grid request without a file\n");
    return 16;
  }
  // A member missing in an earlier request may be there now.
  cpfi->fnumbad = 0;
  if (cpfi->ppflag && msgflg) {
    omprnt(3, "Notice:  Automatic Grid Interpolation Taking Place\n");
    msgflg = 0;
  }
  if (cpfi->type == 4) return omgdef();
  int idim = pgr->idim, jdim = pgr->jdim;
  if (idim < -1 || idim > 3 || jdim < -1 || jdim > 3 || (idim == -1 && jdim != -1) ||
      (jdim != -1 && jdim <= idim)) {
    omprntf(0, "Internal logic check 16:  %i %i  \n", idim, jdim);
    return 16;
  }
  pgr->isiz = idim >= 0 ? pgr->dimmax[idim] - pgr->dimmin[idim] + 1 : 1;
  pgr->jsiz = jdim >= 0 ? pgr->dimmax[jdim] - pgr->dimmin[jdim] + 1 : 1;
  if (pgr->isiz < 1 || pgr->jsiz < 1) {
    omprntf(0, "Internal logic check 16:  %i %i  \n", idim, jdim);
    return 16;
  }
  const size_t npts = static_cast<size_t>(pgr->isiz) * pgr->jsiz;
  if (!omgalo(pgr, npts)) {
    omprnt(0, "Memory Allocation Error:  grid storage \n");
    return 1;
  }
  if (!cpvr) {
    omprnt(0, "Internal logic check 16:  grid request without a variable\n");
    return 16;
  }
  if (cpvr->levels < -900) return omgpre();
  omgrbini(cpfi, cpvr, pgr->undef, idim == 0 && jdim == 1);
  int d[4] = {pgr->dimmin[0], pgr->dimmin[1], pgr->dimmin[2], pgr->dimmin[3]};
  int n[4] = {cpfi->dnum[0], cpfi->dnum[1], cpvr->levels, cpfi->dnum[3]};
  float* gr = pgr->grid;
  if (cpvr->levels == 0) {
    if (idim == 2 || jdim == 2) {
      if (mfcmn.mfwarn > 0) {
        omprnt(1, "Data Request Warning:  Varying Z dimension environment...\n");
        omprnt(1, "  but the requested variable has no Z dimension\n");
        omprnt(2, "  Entire grid contents are set to missing data \n");
      }
      fillund(gr, static_cast<int64_t>(npts), pgr->undef);
      return -1;
    }
    d[2] = 1;
    n[2] = 1;
  }
  if (idim != 0 && jdim != 0 && cpfi->wrap && n[0] > 0) {
    int x = (d[0] - 1) % n[0];
    if (x < 0) x += n[0];
    d[0] = x + 1;
    pgr->dimmin[0] = pgr->dimmax[0] = d[0];
  }
  for (int k = 0; k < 4; k++) {
    if (k == idim || k == jdim) continue;
    if (d[k] < 1 || d[k] > n[k]) {
      fillund(gr, static_cast<int64_t>(npts), pgr->undef);
      reqwarn(d, n);
      return -1;
    }
  }
  if (cpfi->ncflg && cpfi->sdfread) return cpfi->sdfread(pgr, gr);
  if (cpfi->type != 1) {
    omprnt(0, "Data Request Error:  this data set holds no gridded data\n");  // station data
    return 1;
  }
  if (!cpfi->tmplat && !cpfi->infile) {
    omprnt(0, "Data Request Error:  the data file is not open\n");
    return 1;
  }
  bool found = false;
  if (idim == 0) {
    int od = jdim >= 0 ? jdim : 1;
    if (jdim >= 0 && contiguous(pgr)) {
      int rc = omrrow(1, pgr->dimmin[1], d[2], d[3], static_cast<int>(npts), gr);
      return rc ? 1 : 0;
    }
    if (jdim >= 0 && wrappedrows(pgr)) return readwrapped(pgr, d) ? 1 : 0;
    int o1 = jdim >= 0 ? pgr->dimmin[od] : d[od];
    int o2 = jdim >= 0 ? pgr->dimmax[od] : d[od];
    for (int o = o1; o <= o2; o++, gr += pgr->isiz) {
      if (o < 1 || o > n[od]) {
        fillund(gr, pgr->isiz, pgr->undef);
        continue;
      }
      d[od] = o;
      int rc = omgrow(gr, d);
      if (rc == 1) return 1;
      if (rc == 0) found = true;
    }
  } else {
    int id = idim, jd = jdim;
    if (jd == -1) {
      if (id >= 0) jd = 0;
      else {
        id = 0;
        jd = 1;
      }
    }
    // Outer dimension jd, inner id; a dimension that does not vary runs
    // over its single index.
    int j1 = (jd == jdim) ? pgr->dimmin[jd] : d[jd], j2 = (jd == jdim) ? pgr->dimmax[jd] : d[jd];
    int i1 = (id == idim) ? pgr->dimmin[id] : d[id], i2 = (id == idim) ? pgr->dimmax[id] : d[id];
    const int ilen = i2 - i1 + 1;
    for (int j = j1; j <= j2; j++) {
      if (j < 1 || j > n[jd]) {
        fillund(gr, ilen, pgr->undef);
        gr += ilen;
        continue;
      }
      d[jd] = j;
      for (int i = i1; i <= i2; i++, gr++) {
        if (i < 1 || i > n[id]) {
          *gr = pgr->undef;
          continue;
        }
        d[id] = i;
        if (omrrow(d[0], d[1], d[2], d[3], 1, gr)) return 1;
        found = true;
      }
    }
  }
  if (found) return 0;
  int dd[4] = {pgr->dimmin[0], pgr->dimmin[1], pgr->dimmin[2], pgr->dimmin[3]};
  reqwarn(dd, n);
  return -1;
}

namespace {

long viewcount = 0;  // views handed out, for tests

// The member holding time t of a template data set opened as a read
// would open it, without the missing-member warning (the read that
// follows a refused view gives it); the time within the member, or 0.
int viewmember(int t) {
  datafile* p = cpfi;
  const int warn = p->misswarn;
  p->misswarn = 0;
  int flag = 0;
  const int tt = omopfn(t, &flag);
  p->misswarn = warn;
  if (tt < 1) return 0;
  if (flag) omgrbmem();
  return tt;
}

}  // namespace

namespace {

// The place of a request (sized) of a plain binary data file that omread
// would read as one run of floats of its map.
bool binaryplace(const gridres* g, gridplace* at) {
  datafile* p = g->pfi;
  filevar* pv = g->pvar;
  if (p->bgrib || p->cray_ieee || pv->y_x || elsize(pv->dfrm) != 4 || pv->dfrm == 4) return false;
  // The reader's globals name the request's file and variable, as a read
  // of it would leave them.
  cpfi = p;
  cpvr = pv;
  timerr = -1;
  p->fnumbad = 0;
  if (!contiguous(g)) return false;
  int t = g->dimmin[3];
  if (p->tmplat) {
    t = viewmember(t);
    if (t == 0) return false;
  } else if (!p->infile) {
    return false;
  }
  at->pos = omfcor(1, g->dimmin[1], g->dimmin[2], t);
  at->offset = p->fhdr + at->pos * 4;
  if (at->pos < 0 || at->offset < 0) return false;
  at->fd = fileno(p->infile);
  at->swap = p->bswap != 0;
  at->lo = p->ulow;
  at->hi = p->uhi;
  at->undef = g->undef;
  return true;
}

}  // namespace

bool omgview(const gridres* req, gridview* v) {
  datafile* p = req->pfi;
  filevar* pv = req->pvar;
  if (!p || !pv || p->type != 1 || p->ppflag || pv->levels < -900) return false;
  if (req->idim != 0 || req->jdim != 1) return false;
  gridres g = *req;
  g.isiz = g.dimmax[0] - g.dimmin[0] + 1;
  g.jsiz = g.dimmax[1] - g.dimmin[1] + 1;
  if (g.isiz < 1 || g.jsiz < 1) return false;
  // The level and time a read would take: a variable without levels has
  // its one, whatever the request says.
  const int nz = pv->levels == 0 ? 1 : pv->levels;
  if (pv->levels == 0) g.dimmin[2] = g.dimmax[2] = 1;
  const int z = g.dimmin[2], t = g.dimmin[3];
  if (z < 1 || z > nz || t < 1 || t > p->dnum[3]) return false;
  gridplace at;
  if (p->ncflg ? !(p->sdfplace && p->sdfplace(&g, &at)) : !binaryplace(&g, &at)) return false;
  const size_t n = static_cast<size_t>(g.isiz) * g.jsiz;
  const int64_t nb = static_cast<int64_t>(n) * 4;
  if (nb < kMapMin) return false;
  // The file is looked at here, and the values must lie within it.
  const unsigned char* m = p->fmap.bytes(at.fd, at.offset, nb);
  if (m == nullptr) return false;
  if (at.said[0] != '\0') omerrf("%s", at.said);
  v->bytes = m;
  v->n = n;
  v->fd = at.fd;
  v->offset = at.offset;
  v->pos = at.pos;
  v->lost = at.lost;
  v->swap = at.swap;
  v->lo = at.lo;
  v->hi = at.hi;
  v->undef = at.undef;
  v->pfi = p;
  v->map = p->fmap.generation();
  viewcount++;
  return true;
}

long omgviews() { return viewcount; }

void omgviewlost(const gridview* v) {
  if (v->lost != nullptr) {
    omprnt(0, v->lost);
    return;
  }
  cpfi = v->pfi;
  readerr(static_cast<int>(v->n), v->pos);
}

bool omgviewheld(const gridview* v) {
  struct stat st;
  return v->fd >= 0 && fstat(v->fd, &st) == 0 && st.st_size >= v->offset + static_cast<int64_t>(v->n) * 4;
}

bool omgviewlive(const gridview* v) { return v->pfi && v->map != 0 && v->pfi->fmap.generation() == v->map; }

void omgviewdone(const gridview* v) {
  if (v->pfi && v->bytes) v->pfi->fmap.done(v->bytes, static_cast<int64_t>(v->n) * 4);
}

namespace {

// Pages to give back, in two pieces at a page bound.
struct backpages {
  const unsigned char* p;
  size_t n, half;
};

void givebackpiece(void* arg, int piece) {
  const backpages* b = static_cast<const backpages*>(arg);
  if (piece == 0)
    filemap::giveback(b->p, b->half);
  else
    filemap::giveback(b->p + b->half, b->n - b->half);
}

}  // namespace

void omgviewsdone(const gridview* v, int n, pairwork* pair) {
  if (n < 1 || !v[0].pfi) return;
  filemap& m = v[0].pfi->fmap;
  for (int i = 0; i < n; i++)
    if (v[i].bytes) m.done(v[i].bytes, static_cast<int64_t>(v[i].n) * 4, true);
  backpages b{};
  if (!m.takeback(&b.p, &b.n)) return;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  b.half = b.n / 2 / page * page;
  pair->both(givebackpiece, &b);
}
