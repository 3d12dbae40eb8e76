// Shaded contours.  Each row of grid cells is filled in two passes: first
// the runs of neighbouring cells that start in the same band are filled as
// one strip in that band's colour, then every cell that a higher level
// crosses gets the polygon of its part above that level, level by level in
// ascending order, so higher levels paint over lower ones.  The cut of a
// cell follows the same crossings and the same saddle rule as the contour
// lines, so shading and lines meet exactly.
//
// Storage is one strip of points per row: it grows with the grid's width,
// never with the number of levels, and there is no limit on the number or
// nesting of enclosed areas.
#include <cstdio>
#include <new>
#include <vector>

#include "base/intpoll.h"
#include "gx/contour.h"
#include "gx/gx.h"

namespace {

struct shdctx {
  const float* levels;
  const int* colours;
  int count;
  bool ascending;         // levels never go down
  std::vector<float> xy;  // polygon being built (grid, then page coordinates)
};

bool ascending(const float* levels, int count) {
  for (int k = 1; k < count; k++)
    if (!(levels[k - 1] <= levels[k])) return false;
  return true;
}

// The band of a value: the last k whose level lies below the value; -1
// when the value is not above the first level.  Neighbouring cells mostly
// lie in the same band: with ascending levels, the band of the cell before
// (hint) is tried first, and it is the answer when the value lies above its
// level and not above the next.
int band(const shdctx& c, float v, int hint) {
  if (c.ascending && hint >= 0 && c.levels[hint] < v &&
      (hint == c.count - 1 || !(c.levels[hint + 1] < v)))
    return hint;
  int lo = 0, hi = c.count - 1;
  if (!(v > c.levels[0])) return -1;
  while (lo < hi) {  // last k with levels[k] < v
    int mid = (lo + hi + 1) / 2;
    if (c.levels[mid] < v) lo = mid;
    else hi = mid - 1;
  }
  return lo;
}

void fillxy(shdctx& c, int colour) {
  int n = (int)c.xy.size() / 2;
  if (n < 3) return;
  gxcord(c.xy.data(), n, 3);
  gxcolr(colour);
  gxfill(c.xy.data(), n);
}

inline void put(shdctx& c, float x, float y) {
  c.xy.push_back(x);
  c.xy.push_back(y);
}

// Strip of cells i0..i1 (cell i spans grid points i and i+1) of cell row j,
// with every grid column on its long sides so that curved projections keep
// its shape.
void strip(shdctx& c, int i0, int i1, int j, int colour) {
  c.xy.clear();
  for (int i = i0; i <= i1 + 1; i++) put(c, (float)i, (float)j);
  for (int i = i1 + 1; i >= i0; i--) put(c, (float)i, (float)(j + 1));
  put(c, (float)i0, (float)j);
  fillxy(c, colour);
}

// The part of cell (i, j) above level lv, corners z (lower left, lower
// right, upper right, upper left).
void cellpart(shdctx& c, int i, int j, const float* z, float lv, int colour) {
  static const float cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
  bool up[4];
  int nup = 0;
  for (int k = 0; k < 4; k++) {
    up[k] = z[k] > lv;
    nup += up[k];
  }
  if (nup == 0) return;
  float ex[4], ey[4];  // crossing on edge k (corner k to k+1)
  bool cr[4];
  int ncr = 0;
  for (int k = 0; k < 4; k++) {
    int m = (k + 1) & 3;
    cr[k] = up[k] != up[m];
    if (!cr[k]) continue;
    ncr++;
    float f = (lv - z[k]) / (z[m] - z[k]);
    ex[k] = cx[k] + (cx[m] - cx[k]) * f;
    ey[k] = cy[k] + (cy[m] - cy[k]) * f;
  }
  if (ncr == 4) {
    // A saddle: the pairing of the crossings decides whether the two high
    // corners are joined or cut off apart.
    int br = pathln(z[0], z[1], z[2], z[3], lv);
    bool cutsup = br ? up[1] : up[0];  // corners cut off by the pairing are high
    if (cutsup) {
      for (int k = 0; k < 4; k++) {
        if (!up[k]) continue;
        int prev = (k + 3) & 3;
        c.xy.clear();
        put(c, i + ex[prev], j + ey[prev]);
        put(c, i + cx[k], j + cy[k]);
        put(c, i + ex[k], j + ey[k]);
        put(c, i + ex[prev], j + ey[prev]);
        fillxy(c, colour);
      }
      return;
    }
  }
  c.xy.clear();
  for (int k = 0; k < 4; k++) {
    if (up[k]) put(c, i + cx[k], j + cy[k]);
    if (cr[k]) put(c, i + ex[k], j + ey[k]);
  }
  put(c, c.xy[0], c.xy[1]);
  fillxy(c, colour);
}

void shadrow(shdctx& c, const float* r, int is, int j, float undef, std::vector<int>& base,
             std::vector<int>& top) {
  const float* lo = r + (size_t)(j - 1) * is;
  const float* hi = lo + is;
  int hb = -1, ht = -1;  // bands of the cell before
  for (int i = 1; i < is; i++) {
    float z1 = lo[i - 1], z2 = lo[i], z3 = hi[i], z4 = hi[i - 1];
    if (z1 == undef || z2 == undef || z3 == undef || z4 == undef) {
      base[i] = -2;
      continue;
    }
    float mn = z1, mx = z1;
    if (z2 < mn) mn = z2;
    if (z3 < mn) mn = z3;
    if (z4 < mn) mn = z4;
    if (z2 > mx) mx = z2;
    if (z3 > mx) mx = z3;
    if (z4 > mx) mx = z4;
    base[i] = hb = band(c, mn, hb);
    top[i] = ht = band(c, mx, ht);
  }
  // Strips of cells starting in the same band.
  int i = 1;
  while (i < is) {
    int b = base[i];
    int k = i;
    while (k + 1 < is && base[k + 1] == b) k++;
    if (b >= 0) strip(c, i, k, j, c.colours[b]);
    i = k + 1;
  }
  // Cells crossed by higher levels.
  for (i = 1; i < is; i++) {
    if (base[i] == -2 || top[i] <= base[i]) continue;
    float z[4] = {lo[i - 1], lo[i], hi[i], hi[i - 1]};
    for (int k = base[i] + 1; k <= top[i]; k++) cellpart(c, i, j, z, c.levels[k], c.colours[k]);
  }
}

}  // namespace

void gxshad(const float* r, int is, int js, const float* levels, const int* colours, int count,
            float undef) {
  if (!r || !levels || !colours || count < 1 || is < 2 || js < 2) return;
  try {
    shdctx c{levels, colours, count, ascending(levels, count), {}};
    c.xy.reserve((size_t)is * 4 + 16);
    std::vector<int> base((size_t)is + 1), top((size_t)is + 1);
    int keep = gxqclr();
    omintpoll poll;
    for (int j = 1; j < js && !poll.stop(is); j++) shadrow(c, r, is, j, undef, base, top);
    gxcolr(keep);
  } catch (const std::bad_alloc&) {
    printf("Error in gxshad: Unable to allocate xy coord buffer\n");
  }
}
