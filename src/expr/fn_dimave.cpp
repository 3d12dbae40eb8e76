// Reductions along one dimension: ave, mean, sum, sumg, min, max, minloc
// and maxloc.  The expression is evaluated once per grid point of the
// dimension walked, with that dimension fixed, and merged point by point
// into the first step's grid.  At most three grids exist at once: the
// result A, the companion B (whose data becomes the weight sums or the
// indexes of the extremes) and the grid of the current step.
#include <algorithm>
#include <cmath>

#include "base/cmnstate.h"
#include "base/pairwork.h"
#include "base/omprnt.h"
#include "base/vecclone.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/filemap.h"
#include "data/gridres.h"
#include "data/gridview.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

const char* const avenam[9] = {"",    "AVE", "MEAN",   "SUM",   "SUMG",
                               "MIN", "MAX", "MINLOC", "MAXLOC"};

// Reads an increment of time steps: a whole number, or a relative time
// that is a whole number of steps of the default file's time axis.
bool incrprs(const char* txt, const datafile* pfi, int* step) {
  int n;
  const char* p = intprs(txt, &n);
  if (!p) return false;
  if (*p == '\0') {
    *step = n;
    return n > 0;
  }
  datetime dt = {0, 0, 0, 0, 0};
  if (!rdtprs(txt, &dt)) return false;
  if (!pfi || !pfi->grvals[3]) return false;
  long m = 12L * dt.yr + dt.mo;
  long mn = 1440L * dt.dy + 60L * dt.hr + dt.mn;
  float axmo = pfi->grvals[3][5], axmn = pfi->grvals[3][6];
  long s;
  if (m > 0 && axmo > 0.0f) {
    s = static_cast<long>(static_cast<float>(m) / axmo);
    if (static_cast<float>(m) != static_cast<float>(s) * axmo) return false;
  } else if (mn > 0 && axmn > 0.0f) {
    s = static_cast<long>(static_cast<float>(mn) / axmn);
    if (static_cast<float>(mn) != static_cast<float>(s) * axmn) return false;
  } else {
    return false;
  }
  if (s <= 0 || s > 100000000L) return false;
  *step = static_cast<int>(s);
  return true;
}

struct avework {
  int v;          // variant 1..8
  int d;          // dimension walked
  float g1, g2;   // range ends in grid coordinates
  bool bflag;     // exact boundaries
  float w1, w2;   // world values of g1 and g2 (X, Y, Z with -b)
  const datafile* pfi;
};

inline void clampto(float* x, float a, float b) {
  float lo = a < b ? a : b, hi = a < b ? b : a;
  if (*x < lo) *x = lo;
  if (*x > hi) *x = hi;
}

float stepweight(const avework& w, int t) {
  if (w.v >= 5) return 1.0f;
  if (w.d == 3) {
    if (!w.bflag) return 1.0f;
    float wt = 1.0f;
    if (w.g1 > t - 0.5f) wt = t + 0.5f - w.g1;
    if (w.g2 < t + 0.5f) wt = w.g2 + 0.5f - t;
    return wt < 0.0f ? 0.0f : wt;
  }
  if (w.v == 4) return 1.0f;
  float lo = static_cast<float>(fnworld(w.pfi, w.d, t - 0.5));
  float hi = static_cast<float>(fnworld(w.pfi, w.d, t + 0.5));
  float width = std::fabs(hi - lo);
  if (w.bflag) {
    clampto(&lo, w.w1, w.w2);
    clampto(&hi, w.w1, w.w2);
  }
  if (w.d == 1) {
    clampto(&lo, -90.0f, 90.0f);
    clampto(&hi, -90.0f, 90.0f);
    if (w.v == 1)
      return static_cast<float>(std::fabs(std::sin(hi * FNDEG2RAD) - std::sin(lo * FNDEG2RAD)));
    if (w.v == 2) return std::fabs(hi - lo);
    return width > 1e-5f ? std::fabs(hi - lo) / width : 0.0f;
  }
  if (w.v <= 2) return hi - lo;
  return width > 1e-5f ? std::fabs(hi - lo) / width : 0.0f;
}

// Merges the first two steps: A (weight wa, index ta) and B (wb, tb).
// Returns the number of points defined in both.
size_t mergefirst(int v, gridres* A, gridres* B, float wa, float wb, float ta, float tb) {
  float* a = A->grid;
  float* b = B->grid;
  const float ua = A->undef, ub = B->undef;
  const size_t n = fnpts(A);
  size_t both = 0;
  for (size_t k = 0; k < n; k++) {
    bool da = a[k] != ua, db = b[k] != ub;
    both += da & db;
    if (v <= 3) {
      if (!da && !db) b[k] = 0.0f;
      else if (!da) { a[k] = b[k] * wb; b[k] = wb; }
      else if (!db) { a[k] = a[k] * wa; b[k] = wa; }
      else { a[k] = a[k] * wa + b[k] * wb; b[k] = wa + wb; }
    } else if (v == 4) {
      if (!da && !db) b[k] = 0.0f;
      else if (!da) a[k] = b[k];
      else if (db) a[k] = a[k] + b[k];
    } else {
      bool ismin = v == 5 || v == 7;
      if (!da && !db) {
        b[k] = ub;
      } else if (!da) {
        a[k] = b[k];
        b[k] = tb;
      } else if (!db) {
        b[k] = ta;
      } else if (ismin ? b[k] < a[k] : b[k] > a[k]) {
        a[k] = b[k];
        b[k] = tb;
      } else {
        b[k] = ta;
      }
    }
  }
  return both;
}

// Where the values of a further step come from, each giving whether point
// k is defined and its value (read only where defined), and asking for
// the values of the block ahead of k (viewahead: a step's values come from
// a file's map or a grid no cache holds):
//  - gridvals: a grid, undefined where it holds its undefined value;
//  - viewvals: a view of a data file's map, each value made as the grid
//    reader makes it (the undefined value inside the file's band, then
//    compared with it), so the merge sees what the grid would hold;
//  - bandvals: the same view when the undefined value lies inside the
//    band, as every undefined value but 0 does: a value is then defined
//    exactly when it is outside the band, one test instead of two.
// Each may start at a point of the grid (from), so that a part of the
// grid's points is merged as a grid of its own.
struct gridvals {
  const float* g;
  float ug;
  gridvals from(size_t k) const { return {g + k, ug}; }
  void ahead(size_t k) const { viewahead(g, k); }
  bool def(size_t k, float* v) const {
    *v = g[k];
    return *v != ug;
  }
};

template <bool Swap>
struct viewvals {
  const unsigned char* p;
  float lo, hi, u;
  viewvals from(size_t k) const { return {p + 4 * k, lo, hi, u}; }
  void ahead(size_t k) const { viewahead(p, k); }
  bool def(size_t k, float* v) const {
    const float r = viewraw<Swap>(p, k);
    *v = inband(r, lo, hi) ? u : r;
    return *v != u;
  }
};

template <bool Swap>
struct bandvals {
  const unsigned char* p;
  float lo, hi;
  bandvals from(size_t k) const { return {p + 4 * k, lo, hi}; }
  void ahead(size_t k) const { viewahead(p, k); }
  bool def(size_t k, float* v) const {
    *v = viewraw<Swap>(p, k);
    return !inband(*v, lo, hi);
  }
};

// Merges a further step g (weight w, index t) into a and b, n points.  The
// loop has no branch, so the compiler turns it into vector code: every
// point is stored, and an undefined point of g (or of a) adds minus zero,
// which leaves any float as it is.  Each point's sum is still formed in step
// order, so results are the same to the bit as a step-by-step merge.  nz is
// minus zero known only at run time: were it a constant, the compiler
// would fold the additions away and go back to storing under a branch.
template <int V, class Vals>
inline __attribute__((always_inline)) void mergesteprun(float* __restrict a, float* __restrict b, Vals g, size_t n,
                                                        float ua, float w, float t, float nz) {
  for (size_t k = 0; k < n; k++) {
    float gv;
    const bool dg = g.def(k, &gv);
    const float av = a[k], bv = b[k];
    const bool da = av != ua;
    if constexpr (V <= 3) {
      const float p = gv * w;
      a[k] = (dg & !da ? nz : av) + (dg ? p : nz);
      b[k] = bv + (dg ? w : nz);
    } else if constexpr (V == 4) {
      a[k] = (dg & !da ? nz : av) + (dg ? gv : nz);
    } else {
      const bool better = V == 5 ? gv < av : gv > av;
      const bool take = dg & (!da | better);
      a[k] = take ? gv : av;
      b[k] = take ? t : bv;
    }
  }
}

// Each loop over a step's points runs a block at a time, asking for the
// step's values of the block ahead first (viewahead): a plain loop from 0
// within a block is what the compiler makes vector code of.
template <int V, class Vals>
inline __attribute__((always_inline)) void mergestep(float* a, float* b, Vals g, size_t n, float ua, float w,
                                                     float t, float nz) {
  for (size_t k0 = 0; k0 < n; k0 += kViewBlock) {
    g.ahead(k0);
    mergesteprun<V>(a + k0, b + k0, g.from(k0), viewblockend(k0, n) - k0, ua, w, t, nz);
  }
}

// The weighted sums of a further step g while every point of every step
// so far was defined, so that the weight sums are one number for all
// points and need not be read and written point by point (a third of the
// memory traffic of a long time mean).  a is merged as mergestep does;
// returns whether g has an undefined point, after which the weight sums
// differ from point to point and have to be laid out (weightsout).
template <class Vals>
inline __attribute__((always_inline)) int mergeflatrun(float* __restrict a, Vals g, size_t n, float ua, float w,
                                                       float nz) {
  int gaps = 0;  // not a bool: an int reduction of the masks is what vectorises
  for (size_t k = 0; k < n; k++) {
    float gv;
    const bool dg = g.def(k, &gv);
    const float av = a[k];
    // mergestep's sum with one choice fewer: where g is undefined it adds
    // minus zero to av, which is av itself.
    const float sum = (av != ua ? av : nz) + gv * w;
    a[k] = dg ? sum : av;
    gaps |= dg ? 0 : -1;
  }
  return gaps;
}

template <class Vals>
inline __attribute__((always_inline)) bool mergeflat(float* a, Vals g, size_t n, float ua, float w) {
  volatile float negzero = -0.0f;
  const float nz = negzero;
  int gaps = 0;
  for (size_t k0 = 0; k0 < n; k0 += kViewBlock) {
    g.ahead(k0);
    gaps |= mergeflatrun(a + k0, g.from(k0), viewblockend(k0, n) - k0, ua, w, nz);
  }
  return gaps != 0;
}

// Lays out the weight sums once they stop being one number: sum, the sum
// of every step before g, plus the weight w where g is defined (the same
// addition mergestep makes at each point).
template <class Vals>
inline __attribute__((always_inline)) void weightsout(float* __restrict b, Vals g, size_t n, float sum,
                                                      float w) {
  volatile float negzero = -0.0f;
  const float nz = negzero;
  for (size_t k = 0; k < n; k++) {
    float gv;
    b[k] = sum + (g.def(k, &gv) ? w : nz);
  }
}

template <class Vals>
inline __attribute__((always_inline)) void mergeanyof(int v, float* a, float* b, Vals g, size_t n,
                                                      float ua, float w, float t) {
  volatile float negzero = -0.0f;
  const float nz = negzero;
  switch (v) {
    case 1: case 2: case 3: mergestep<1>(a, b, g, n, ua, w, t, nz); break;
    case 4: mergestep<4>(a, b, g, n, ua, w, t, nz); break;
    case 5: case 7: mergestep<5>(a, b, g, n, ua, w, t, nz); break;
    default: mergestep<6>(a, b, g, n, ua, w, t, nz); break;
  }
}

// A part of the grid's points merged on one processor: points k0 to k1
// (not included), with its own account of whether every point so far was
// defined (flat, the weight sums then the one number flatsum).  Each
// point's sums are made alike whatever part it is in, and whichever part
// stops being flat first: the grid is the same to the bit however it is
// cut into parts.
struct mergepart {
  size_t k0 = 0, k1 = 0;
  bool flat = false;
  float flatsum = 0.0f;
  bool whole = true;  // false: a file lost bytes of a step as they were merged,
  int at = 0;         // the first of the steps of a batch being merged then
  int steps = 0;      // and how many
};

// Merges one further step g into the part's points of a and b (ua the
// undefined value of a): point by point, or while flat into a alone.
template <class Vals>
inline __attribute__((always_inline)) void mergewith(int v, float* a, float* b, float ua, Vals g, float w,
                                                     float t, mergepart* p) {
  const size_t n = p->k1 - p->k0;
  a += p->k0;
  b += p->k0;
  g = g.from(p->k0);
  if (!p->flat) {
    mergeanyof(v, a, b, g, n, ua, w, t);
  } else if (!mergeflat(a, g, n, ua, w)) {
    p->flatsum = p->flatsum + w;
  } else {
    weightsout(b, g, n, p->flatsum, w);
    p->flat = false;
  }
}

// Two further steps g then h while every point so far was defined: each
// point's sum made as mergeflat makes it for g and then for h, with a
// read and written once instead of twice (a time mean over a file's map
// goes as fast as memory brings a and the steps in).  Returns which of
// the two has an undefined point: 1 for g, 2 for h, 3 for both.
template <class Vals>
inline __attribute__((always_inline)) int mergeflat2run(float* __restrict a, Vals g, Vals h, size_t n, float ua,
                                                        float wg, float wh, float nz) {
  int gapg = 0, gaph = 0;
  for (size_t k = 0; k < n; k++) {
    float gv, hv;
    const bool dg = g.def(k, &gv), dh = h.def(k, &hv);
    // Written as mergestep writes it: two selects and an addition that
    // the compiler makes vector code of.
    const float av = a[k];
    const float ag = (dg & (av == ua) ? nz : av) + (dg ? gv * wg : nz);
    a[k] = (dh & (ag == ua) ? nz : ag) + (dh ? hv * wh : nz);
    gapg |= dg ? 0 : -1;
    gaph |= dh ? 0 : -1;
  }
  return (gapg != 0 ? 1 : 0) | (gaph != 0 ? 2 : 0);
}

template <class Vals>
inline __attribute__((always_inline)) int mergeflat2(float* a, Vals g, Vals h, size_t n, float ua, float wg,
                                                     float wh) {
  volatile float negzero = -0.0f;
  const float nz = negzero;
  int gaps = 0;
  for (size_t k0 = 0; k0 < n; k0 += kViewBlock) {
    g.ahead(k0);
    h.ahead(k0);
    gaps |= mergeflat2run(a + k0, g.from(k0), h.from(k0), viewblockend(k0, n) - k0, ua, wg, wh, nz);
  }
  return gaps;
}

// Adds to the weight sums b the weight w where g is defined, as mergestep
// does for a step after the sums were laid out.
template <class Vals>
inline __attribute__((always_inline)) void weightsadd(float* __restrict b, Vals g, size_t n, float w) {
  volatile float negzero = -0.0f;
  const float nz = negzero;
  for (size_t k = 0; k < n; k++) {
    float gv;
    b[k] = b[k] + (g.def(k, &gv) ? w : nz);
  }
}

// Merges steps g and h into a flat part, leaving it as mergewith for g and
// then for h would.
template <class Vals>
inline __attribute__((always_inline)) void mergeflat2with(float* a, float* b, float ua, Vals g, Vals h, float wg,
                                                          float wh, mergepart* p) {
  const size_t n = p->k1 - p->k0;
  a += p->k0;
  b += p->k0;
  g = g.from(p->k0);
  h = h.from(p->k0);
  const int gaps = mergeflat2(a, g, h, n, ua, wg, wh);
  if (gaps & 1) {
    weightsout(b, g, n, p->flatsum, wg);
    weightsadd(b, h, n, wh);
  } else if (gaps & 2) {
    p->flatsum = p->flatsum + wg;
    weightsout(b, h, n, p->flatsum, wh);
  } else {
    p->flatsum = (p->flatsum + wg) + wh;
  }
  p->flat = gaps == 0;
}

OM_VECTOR_CLONES void mergegrid(int v, gridres* A, gridres* B, const gridres* G, float w, float t, mergepart* p) {
  mergewith(v, A->grid, B->grid, A->undef, gridvals{G->grid, G->undef}, w, t, p);
}

// The same from a view of the step's values, in the fastest form that
// gives the points and values a grid read of it would hold.
OM_VECTOR_CLONES void mergeview(int v, float* a, float* b, float ua, const gridview& gv, float w, float t,
                                mergepart* p) {
  const bool band = gv.lo < gv.undef && gv.undef < gv.hi;
  if (band && gv.swap)
    mergewith(v, a, b, ua, bandvals<true>{gv.bytes, gv.lo, gv.hi}, w, t, p);
  else if (band)
    mergewith(v, a, b, ua, bandvals<false>{gv.bytes, gv.lo, gv.hi}, w, t, p);
  else if (gv.swap)
    mergewith(v, a, b, ua, viewvals<true>{gv.bytes, gv.lo, gv.hi, gv.undef}, w, t, p);
  else
    mergewith(v, a, b, ua, viewvals<false>{gv.bytes, gv.lo, gv.hi, gv.undef}, w, t, p);
}

// The same for two views of one map, both read as mergeview reads them,
// into a flat part.
OM_VECTOR_CLONES void mergeview2(float* a, float* b, float ua, const gridview& gv, const gridview& gh, float wg,
                                 float wh, mergepart* p) {
  const bool band = gv.lo < gv.undef && gv.undef < gv.hi;
  if (band && gv.swap)
    mergeflat2with(a, b, ua, bandvals<true>{gv.bytes, gv.lo, gv.hi}, bandvals<true>{gh.bytes, gh.lo, gh.hi}, wg,
                   wh, p);
  else if (band)
    mergeflat2with(a, b, ua, bandvals<false>{gv.bytes, gv.lo, gv.hi}, bandvals<false>{gh.bytes, gh.lo, gh.hi}, wg,
                   wh, p);
  else if (gv.swap)
    mergeflat2with(a, b, ua, viewvals<true>{gv.bytes, gv.lo, gv.hi, gv.undef},
                   viewvals<true>{gh.bytes, gh.lo, gh.hi, gh.undef}, wg, wh, p);
  else
    mergeflat2with(a, b, ua, viewvals<false>{gv.bytes, gv.lo, gv.hi, gv.undef},
                   viewvals<false>{gh.bytes, gh.lo, gh.hi, gh.undef}, wg, wh, p);
}

// Steps taken as views a batch at a time: all of one map of one file, read
// alike, so that they are merged while that map stays.
constexpr int kBatch = 32;

struct viewbatch {
  gridview v[kBatch];
  float w[kBatch], t[kBatch];
  int n = 0;
};

// Whether view h of a batch is read as its first view g is.
bool alike(const gridview& g, const gridview& h) {
  return h.pfi == g.pfi && h.swap == g.swap && h.lo == g.lo && h.hi == g.hi && h.undef == g.undef;
}

// The views of the steps from tt on (by step, up to end) while each step is
// a view of the same map as the first, at most kBatch (one for a template,
// whose steps may lie in other member files).  None where the step tt is
// no view, or where a later one replaced the map of the earlier (the file
// grew): the step is then read through the evaluator.
void viewsfrom(const char* expr, evalstat* pst, size_t n, const avework& w, long tt, long end, int step,
               viewbatch* b) {
  b->n = 0;
  for (long ts = tt; ts <= end && b->n < kBatch; ts += step) {
    const int ti = static_cast<int>(ts);
    fnsetdim(pst, w.d, ti);
    gridview& v = b->v[b->n];
    if (!fnstepview(expr, pst, n, &v)) break;
    if (b->n > 0 && !alike(b->v[0], v)) {
      omgviewdone(&v);
      break;
    }
    b->w[b->n] = stepweight(w, ti);
    b->t[b->n] = static_cast<float>(ti);
    b->n++;
    if (v.pfi->tmplat) break;
  }
  // The earlier views' bytes went with the map they were in: nothing of
  // them is used.
  if (b->n > 1 && !omgviewlive(&b->v[0])) b->n = 0;
}

// What merges a batch into the parts of the grid, one part a processor.
struct batchmerge {
  int v;
  float *a, *b, ua;
  const viewbatch* batch;
  mergepart* parts;
};

// Merges the batch into one part: two steps at a time while the part is
// flat, each under mapread, so that a file cut under it ends the part's
// merge and not the program.
void mergebatch(void* arg, int part) {
  const batchmerge& m = *static_cast<const batchmerge*>(arg);
  mergepart* p = &m.parts[part];
  if (p->k1 <= p->k0) return;
  const viewbatch& bt = *m.batch;
  p->whole = mapread([&] {
    for (p->at = 0; p->at < bt.n; p->at += p->steps) {
      const int i = p->at;
      p->steps = p->flat && i + 1 < bt.n ? 2 : 1;
      if (p->steps == 2)
        mergeview2(m.a, m.b, m.ua, bt.v[i], bt.v[i + 1], bt.w[i], bt.w[i + 1], p);
      else
        mergeview(m.v, m.a, m.b, m.ua, bt.v[i], bt.w[i], bt.t[i], p);
    }
  });
}

// Points below which a grid is merged on one processor: a second one's
// start and each handover cost more than it saves.
constexpr size_t kSplitPoints = 16384;

}  // namespace

static int ave(fargs* pfa, evalstat* pst, int v) {
  const char* name = avenam[v];
  if (pfa->argnum < 3 || pfa->argnum > 5) {
    omprntf(0, "Error from %s:  Too many or too few args \n", name);
    omprnt(0, "                 3 to 5 arguments expected \n");
    return 1;
  }
  avework w{};
  w.v = v;
  w.pfi = pst->dfile;
  int wflag, d2;
  if (!fndim(pfa->argpnt[1], pst, &w.d, &w.g1, &wflag)) {
    omprntf(0, "Error from %s:  1st dimension expression invalid\n", name);
    return 1;
  }
  if (!fndim(pfa->argpnt[2], pst, &d2, &w.g2, &wflag) || d2 != w.d) {
    omprntf(0, "Error from %s:  2nd dimension expression invalid\n", name);
    return 1;
  }
  int step = 1;
  if (pfa->argnum >= 4) {
    const char* a4 = pfa->argpnt[3];
    if (a4[0] == '-') {
      if (a4[1] != 'b') {
        omprntf(0, "Error from %s: Invalid option flags\n", name);
        return 1;
      }
      w.bflag = true;
    } else {
      if (w.d != 3) {
        omprntf(0, "Error from %s: Invalid usage of increment value\n", name);
        omprnt(0, "                Can only be used with time averaging\n");
        return 1;
      }
      if (!incrprs(a4, pst->dfile, &step)) {
        omprntf(0, "Error from %s: Invalid time increment argument\n", name);
        return 1;
      }
    }
  }
  if (pfa->argnum == 5) {
    const char* a5 = pfa->argpnt[4];
    if (a5[0] != '-' || a5[1] != 'b') {
      omprntf(0, "Error from %s: Invalid option flags\n", name);
      return 1;
    }
    w.bflag = true;
  }
  // A time axis that does not advance maps every time to the same point:
  // no increment walks it.
  if (w.d == 3 && !fntaxisok(pst->dfile)) {
    omprntf(0, "Error from %s: Invalid time increment argument\n", name);
    return 1;
  }
  fndrop(pst, w.d);
  int start, end;
  if (w.bflag) {
    start = static_cast<int>(std::floor(w.g1 + 0.5));
    end = static_cast<int>(std::ceil(w.g2 - 0.5));
    if (w.d < 3) {
      w.w1 = static_cast<float>(fnworld(pst->dfile, w.d, w.g1));
      w.w2 = static_cast<float>(fnworld(pst->dfile, w.d, w.g2));
    }
  } else {
    fnrange(w.g1, w.g2, &start, &end);
  }
  if (mfcmn.mfwarn > 0) {
    if (v == 1)
      omprntf(2, "Averaging.  dim = %i, start = %i, end = %i\n", w.d, start, end);
    else
      omprntf(2, "%sing.  dim = %i, start = %i, end = %i\n", name, w.d, start, end);
  }

  const char* expr = pfa->argpnt[0];
  float wa = stepweight(w, start);
  fnsetdim(pst, w.d, start);
  gridres* A = nullptr;
  int rc = fnevalg(expr, pst, &A);
  if (rc) return rc;
  if (static_cast<long>(start) + step > end) {
    if (v >= 7) {
      const size_t n = fnpts(A);
      for (size_t k = 0; k < n; k++)
        if (A->grid[k] != A->undef) A->grid[k] = static_cast<float>(start);
    }
    pst->result.pgr = A;
    pst->type = 1;
    return 0;
  }

  int t = start + step;
  float wb = stepweight(w, t);
  fnsetdim(pst, w.d, t);
  gridres* B = nullptr;
  rc = fnevalg(expr, pst, &B);
  if (rc) {
    omgfre(A);
    return rc;
  }
  // Every step is meant to give the first step's shape; a grid of another
  // size cannot be merged point by point.
  if (fnpts(B) != fnpts(A)) {
    omgfre(A);
    omgfre(B);
    omprntf(0, "Error from %s:  Error getting grids \n", name);
    return 1;
  }
  const size_t n = fnpts(A);
  const size_t both = mergefirst(v, A, B, wa, wb, static_cast<float>(start), static_cast<float>(t));
  // While no point has been undefined, the weight sums are the one number
  // flatsum and B is left as it is.
  mergepart parts[2];
  parts[0] = mergepart{0, n, v <= 3 && both == n, wa + wb, true};
  int nparts = 1;
  // Where the process may use two processors, a large grid's steps taken
  // from a file's map are merged half on each, each part its own grid.
  pairwork pair;
  bool split = n >= kSplitPoints && pairwork::twocpus();

  for (long tt = static_cast<long>(t) + step; tt <= end;) {
    viewbatch batch;
    viewsfrom(expr, pst, n, w, tt, end, step, &batch);
    if (batch.n > 0) {
      if (split && batch.n > 1) {
        split = false;  // tried once: no thread to be had is not asked for again
        if (pair.start()) {
          parts[1] = parts[0];
          parts[0].k1 = parts[1].k0 = n / 2;
          nparts = 2;
        }
      }
      batchmerge m{v, A->grid, B->grid, A->undef, &batch, parts};
      if (nparts == 2)
        pair.both(mergebatch, &m);
      else
        mergebatch(&m, 0);
      omgviewsdone(batch.v, batch.n, &pair);
      if (parts[0].whole && parts[1].whole) {
        tt += static_cast<long>(batch.n) * step;
        continue;
      }
      // The file was cut under the steps: part of them is merged, so the
      // walk ends with the error a read of a step would give (of the steps
      // being merged then, the first that the file no longer holds whole).
      // Each part stops at the step it lost; one part may meet the cut at a
      // later step than the other, as their pace decides.
      int lost = batch.n - 1;
      for (int k = 0; k < nparts; k++) {
        const mergepart& cut = parts[k];
        if (!cut.whole)
          lost = std::min(lost, cut.steps == 2 && omgviewheld(&batch.v[cut.at]) ? cut.at + 1 : cut.at);
      }
      fnviewlost(expr, batch.v[lost]);
      omgfre(A);
      omgfre(B);
      omprntf(0, "Error from %s:  Error getting grids \n", name);
      return 1;
    }
    const int ti = static_cast<int>(tt);
    fnsetdim(pst, w.d, ti);
    gridres* G = nullptr;
    rc = fnevalstep(expr, pst, n, &G);
    if (rc) {
      omgfre(A);
      omgfre(B);
      omprntf(0, "Error from %s:  Error getting grids \n", name);
      return rc;
    }
    for (int k = 0; k < nparts; k++) mergegrid(v, A, B, G, stepweight(w, ti), static_cast<float>(ti), &parts[k]);
    omgfre(G);
    tt += step;
  }

  float* a = A->grid;
  float* b = B->grid;
  for (int k = 0; k < nparts; k++)
    if (parts[k].flat) std::fill(b + parts[k].k0, b + parts[k].k1, parts[k].flatsum);
  const float ua = A->undef;
  if (v <= 2) {
    for (size_t k = 0; k < n; k++) {
      if (a[k] == ua) continue;
      if (b[k] == 0.0f) {
        omgfre(A);
        omgfre(B);
        omprntf(0, "Error from %s:  Internal logic check 100\n", name);
        return 1;
      }
      a[k] = a[k] / b[k];
    }
  } else if (v >= 7) {
    for (size_t k = 0; k < n; k++) {
      if (a[k] == ua) continue;
      if (b[k] == B->undef) {
        omgfre(A);
        omgfre(B);
        omprntf(0, "Error from %s:  Internal logic check 101\n", name);
        return 1;
      }
      a[k] = b[k];
    }
  }
  omgfre(B);
  if (A->grid == &A->rmin) A->rmax = A->rmin;
  pst->result.pgr = A;
  pst->type = 1;
  return 0;
}

int ffave(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 1); }
int ffmn(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 2); }
int ffsum(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 3); }
int ffsumg(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 4); }
int ffmin(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 5); }
int ffmax(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 6); }
int ffminl(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 7); }
int ffmaxl(fargs* pfa, evalstat* pst) { return ave(pfa, pst, 8); }
