// Area reductions of a longitude-latitude field over a box (aave, amean,
// asum, asumg) and the area-weighted spatial correlation and regression of
// two fields (scorr, sregr).  Each narrows the environment to the box so
// that exactly the grid points needed are read, and returns a 0-D grid.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "base/omprnt.h"
#include "base/vecclone.h"
#include "data/datafile.h"
#include "data/gridres.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

const char* const aavenam[5] = {"", "AAVE", "AMEAN", "ASUM", "ASUMG"};

bool envok(const evalstat* pst) {
  return pst->idim >= -1 && pst->idim <= 1 && pst->jdim >= -1 && pst->jdim <= 1;
}

// Narrows the status to the box of an argument list: the whole globe, or
// the four bounds starting at first (see fnsetbox).
bool narrow(fargs* pfa, bool glob, int first, evalstat* pst, bool widen) {
  return glob ? fnglobal(pst) : fnsetbox(pfa->argpnt + first, pst, widen);
}

// A field the reduction can walk: it varies in X and Y and carries the
// conversions of both axes.  A constant or a single row or column has no
// box geometry to weight by.
bool areagrid(const gridres* pgr) {
  return pgr->idim == 0 && pgr->jdim == 1 && pgr->igrab && pgr->jgrab && pgr->ivals &&
         pgr->jvals;
}

inline void clampto(float* v, float lo, float hi) {
  if (*v < lo) *v = lo;
  if (*v > hi) *v = hi;
}

// Evaluates text on pst and keeps the grid; 0, the evaluator's code, or -1
// for station data (released).
int evalgrid(const char* text, evalstat* pst, gridres** out) {
  int rc = omexpr(text, pst);
  if (rc) return rc;
  if (pst->type == 0) {
    omfree(pst);
    return -1;
  }
  *out = pst->result.pgr;
  return 0;
}

int setscalar(evalstat* pst, float val, float undef) {
  gridres* r = omgrvl(val);
  if (!r) return 1;
  r->undef = undef;
  pst->result.pgr = r;
  pst->type = 1;
  return 0;
}

}  // namespace

namespace {

// Lanes of the row sums: lane k adds the points k, k + kLanes, ... of a
// row, so that the additions run side by side as vector code; the lanes
// are then added in one fixed order, the same from run to run and on any
// processor.
constexpr int kLanes = 8;

typedef float v4f __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));

inline v4f load4(const float* p) {
  v4f v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store4(double* p, v4d v) { std::memcpy(p, &v, sizeof v); }

double lanetotal(const double a[kLanes]) {
  return ((a[0] + a[1]) + (a[2] + a[3])) + ((a[4] + a[5]) + (a[6] + a[7]));
}

// The sum of a row's defined values and their count (plain), or of the
// values weighted by wy x wxs[i] and of the weights; into *rs and *rw.
// Undefined points add zeros rather than being skipped, which keeps the
// loop free of branches.
OM_VECTOR_CLONES void rowsums(const float* row, float wy, const float* wxs, int isiz, float u, bool plain,
                              double* rs, double* rw) {
  const v4f zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};
  const v4d dzero = {0, 0, 0, 0};
  v4d s0 = dzero, s1 = dzero, w0 = dzero, w1 = dzero;
  int i = 0;
  // Undefined points are made zeros (and weights of zero) before they are
  // widened to double: adding those changes no sum.
  if (plain) {
    for (; i + kLanes <= isiz; i += kLanes) {
      const v4f xa = load4(row + i), xb = load4(row + i + 4);
      const auto oka = xa != u, okb = xb != u;
      s0 += __builtin_convertvector(oka ? xa : zero, v4d);
      s1 += __builtin_convertvector(okb ? xb : zero, v4d);
      w0 += __builtin_convertvector(oka ? one : zero, v4d);
      w1 += __builtin_convertvector(okb ? one : zero, v4d);
    }
  } else {
    for (; i + kLanes <= isiz; i += kLanes) {
      const v4f xa = load4(row + i), xb = load4(row + i + 4);
      const v4f wxa = load4(wxs + i), wxb = load4(wxs + i + 4);
      const auto oka = xa != u, okb = xb != u;
      s0 += __builtin_convertvector(oka ? (xa * wy) * wxa : zero, v4d);
      s1 += __builtin_convertvector(okb ? (xb * wy) * wxb : zero, v4d);
      w0 += __builtin_convertvector(oka ? wy * wxa : zero, v4d);
      w1 += __builtin_convertvector(okb ? wy * wxb : zero, v4d);
    }
  }
  double s[kLanes], w[kLanes];
  store4(s, s0);
  store4(s + 4, s1);
  store4(w, w0);
  store4(w + 4, w1);
  for (int k = 0; i < isiz; i++, k++) {
    const float x = row[i];
    if (x == u) continue;
    s[k] += plain ? x : (x * wy) * wxs[i];
    w[k] += plain ? 1.0f : wy * wxs[i];
  }
  *rs = lanetotal(s);
  *rw = lanetotal(w);
}

}  // namespace

float doaave(gridres* pgr, float lonmin, float lonmax, float latmin, float latmax, int v) {
  const float d2r = 0.017453333f;
  const int isiz = pgr->isiz, jsiz = pgr->jsiz;
  // The column weights are the same in every row.
  std::vector<float> wxs(static_cast<size_t>(isiz));
  for (int i = 0; i < isiz; i++) {
    double gx = pgr->dimmin[0] + i;
    float lo = static_cast<float>(pgr->igrab(pgr->ivals, gx - 0.5));
    float hi = static_cast<float>(pgr->igrab(pgr->ivals, gx + 0.5));
    float width = std::fabs(hi - lo);
    clampto(&lo, lonmin, lonmax);
    clampto(&hi, lonmin, lonmax);
    float wx;
    if (v <= 2) wx = hi - lo;
    else if (v == 3) wx = width > 1e-5f ? std::fabs(hi - lo) / width : 0.0f;
    else wx = 1.0f;
    wxs[static_cast<size_t>(i)] = wx;
  }
  std::vector<float> wys(static_cast<size_t>(jsiz));
  for (int j = 0; j < jsiz; j++) {
    double gy = pgr->dimmin[1] + j;
    float lo = static_cast<float>(pgr->jgrab(pgr->jvals, gy - 0.5));
    float hi = static_cast<float>(pgr->jgrab(pgr->jvals, gy + 0.5));
    float width = std::fabs(hi - lo);
    clampto(&lo, latmin, latmax);
    clampto(&hi, latmin, latmax);
    clampto(&lo, -90.0f, 90.0f);
    clampto(&hi, -90.0f, 90.0f);
    float wy;
    if (v == 1) {
      float ah = hi * d2r, al = lo * d2r;
      wy = static_cast<float>(std::fabs(std::sin(static_cast<double>(ah)) -
                                        std::sin(static_cast<double>(al))));
    } else if (v == 2) {
      wy = std::fabs(hi - lo);
    } else if (v == 3) {
      wy = width > 1e-5f ? std::fabs(hi - lo) / width : 0.0f;
    } else {
      wy = 1.0f;
    }
    wys[static_cast<size_t>(j)] = wy;
  }
  // The sums are kept in double precision: over a grid of a million
  // points single-precision sums lose the fourth significant digit.  The
  // rows' sums are added to the totals in row order.
  double s = 0.0, w = 0.0;
  const float u = pgr->undef;
  const bool plain = v == 4;
  for (int j = 0; j < jsiz; j++) {
    double rs, rw;
    rowsums(pgr->grid + static_cast<size_t>(j) * isiz, wys[static_cast<size_t>(j)], wxs.data(), isiz,
            u, plain, &rs, &rw);
    s += rs;
    w += rw;
  }
  if (w > 0.0) return static_cast<float>(v <= 2 ? s / w : s);
  return u;
}

static int aave(fargs* pfa, evalstat* pst, int v) {
  const char* name = aavenam[v];
  bool glob = pfa->argnum == 2 && pfa->argpnt[1][0] == 'g';
  if (pfa->argnum != 5 && !glob) {
    omprntf(0, "Error from %s:  Too many or too few args\n", name);
    omprnt(0, "                  5 arguments expected \n");
    return 1;
  }
  if (!envok(pst)) {
    omprntf(0, "Error from %s  Invalid environment.  ", name);
    omprnt(0, "Z, T can't vary.\n");
    return 1;
  }
  if (!narrow(pfa, glob, 1, pst, v != 4)) {
    omprntf(0, "Error from %s:  Invalid dimension expression \n", name);
    return 1;
  }
  gridres* pgr = nullptr;
  int rc = evalgrid(pfa->argpnt[0], pst, &pgr);
  if (rc) return rc;
  if (!areagrid(pgr)) {
    omprntf(0, "Error from %s:  Field must vary in X and Y\n", name);
    omfree(pst);
    return 1;
  }
  float val = doaave(pgr, pst->dmin[0], pst->dmax[0], pst->dmin[1], pst->dmax[1], v);
  float undef = pgr->undef;
  omfree(pst);
  return setscalar(pst, val, undef);
}

int ffaav(fargs* pfa, evalstat* pst) { return aave(pfa, pst, 1); }
int ffamn(fargs* pfa, evalstat* pst) { return aave(pfa, pst, 2); }
int ffasum(fargs* pfa, evalstat* pst) { return aave(pfa, pst, 3); }
int ffasumg(fargs* pfa, evalstat* pst) { return aave(pfa, pst, 4); }

static int scorr(fargs* pfa, evalstat* pst, int v) {
  bool glob = pfa->argnum == 3 && pfa->argpnt[2][0] == 'g';
  if (pfa->argnum != 6 && !glob) {
    omprnt(0, "Error from SCORR:  Too many or too few args \n");
    omprnt(0, "                   6 arguments expected \n");
    return 1;
  }
  if (!envok(pst)) {
    omprnt(0, "Error from SCORR:  Invalid environment.  ");
    omprnt(0, "Z, T can't vary.\n");
    return 1;
  }
  if (!narrow(pfa, glob, 2, pst, true)) {
    omprnt(0, "Error from SCORR:  Invalid dimension expression \n");
    return 1;
  }
  evalstat pst2 = *pst;
  pst2.result.pgr = nullptr;
  gridres *a = nullptr, *b = nullptr;
  int rc = evalgrid(pfa->argpnt[0], pst, &a);
  if (rc) return rc;
  rc = evalgrid(pfa->argpnt[1], &pst2, &b);
  if (rc) {
    omfree(pst);
    return rc;
  }
  auto release = [&] {
    omfree(pst);
    omfree(&pst2);
  };
  if (!areagrid(a) || !areagrid(b)) {
    omprnt(0, "Error from SCORR:  Fields must vary in X and Y\n");
    release();
    return 1;
  }
  if (omgchk(a, b, 0) || omgchk(a, b, 1) || fnpts(a) != fnpts(b)) {
    omprnt(0, "Error from SCORR:  Incompatable grids\n");
    release();
    return 1;
  }
  const size_t n = fnpts(a);
  float* av = a->grid;
  float* bv = b->grid;
  const float ua = a->undef, ub = b->undef;
  for (size_t k = 0; k < n; k++) {
    if (av[k] == ua || bv[k] == ub) {
      av[k] = ua;
      bv[k] = ub;
    }
  }
  const float x1 = pst->dmin[0], x2 = pst->dmax[0], y1 = pst->dmin[1], y2 = pst->dmax[1];
  float result = ua;
  float ma = doaave(a, x1, x2, y1, y2, 1);
  float mb = doaave(b, x1, x2, y1, y2, 1);
  if (ma != ua && mb != ub) {
    std::vector<float> work;
    try {
      work.resize(n);
    } catch (const std::bad_alloc&) {
      release();
      omprnt(0, "Error from SCORR:  Memory Allocation \n");
      return 1;
    }
    for (size_t k = 0; k < n; k++) {
      if (av[k] == ua) {
        work[k] = ua;
        continue;
      }
      float da = av[k] - ma, db = bv[k] - mb;
      work[k] = da * db;
      av[k] = da * da;
      bv[k] = db * db;
    }
    float va = doaave(a, x1, x2, y1, y2, 1);
    float vb = doaave(b, x1, x2, y1, y2, 1);
    for (size_t k = 0; k < n; k++) av[k] = work[k];
    float c = doaave(a, x1, x2, y1, y2, 1);
    float d = v == 1 ? static_cast<float>(std::sqrt(static_cast<double>(va) * vb))
                     : std::fabs(va);
    if (d > 0.0f) result = c / d;
  }
  release();
  return setscalar(pst, result, ua);
}

int ffscor(fargs* pfa, evalstat* pst) { return scorr(pfa, pst, 1); }
int ffsreg(fargs* pfa, evalstat* pst) { return scorr(pfa, pst, 2); }
