// Contour lines of one level at a time: edge flags, line following through
// the cells, plain or smoothed drawing, and the label queue drawn after all
// levels of a plot.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/intpoll.h"
#include "base/vecclone.h"
#include "gx/contour.h"
#include "gx/gx.h"

namespace {

// Grid and level of the current call.
const float* rr = nullptr;
int iss = 0, iww = 0, jww = 0;
float vv = 0, uval = 0;
std::string clabel;
int splflg = 0, labtp = 0;

// Edge flags: plane 1 horizontal edges (i,j)-(i+1,j), plane 2 vertical
// edges (i,j)-(i,j+1), both at j*iww + i over the grid with a frame.  All
// flags are clear between calls: a call sets only the edges its level
// crosses (listed in `crossed`, in the order they are traced from) and
// clears them before it returns, so no level pays to clear the grid.
std::vector<uint8_t> lwk;
std::vector<size_t> crossed;
// Crossings of one grid row (horizontal edges, vertical edges) and the
// classes against the level of that row and the row above.
std::vector<uint8_t> hrow, vrow, crow, cup;
// Points of the two walks of a line (grid, then page coordinates).  They
// grow as needed, so a line is never cut.
std::vector<float> fwd, bwd, line;

// The most points a smoothed line takes between two of its nodes.
const int kMaxSplineSteps = 1000;

// Label queue.
const int kMaxLabels = 200;
struct cllab {
  float x, y, slope;
  std::string text;
  int colour;
};
std::vector<cllab> labels;

inline float zv(int i, int j) { return rr[(size_t)(j - 1) * iss + (i - 1)]; }
inline size_t hidx(int i, int j) { return (size_t)j * iww + i; }
inline size_t vidx(int i, int j) { return (size_t)iww * jww + (size_t)j * iww + i; }

inline bool straddle(float a, float b) {
  if (a == uval || b == uval) return false;
  return (a <= vv && b > vv) || (a > vv && b <= vv);
}

// Sides of a cell: 1 bottom, 2 right, 3 top, 4 left.
size_t edgeidx(int i, int j, int side) {
  switch (side) {
    case 1: return hidx(i, j);
    case 2: return vidx(i + 1, j);
    case 3: return hidx(i, j + 1);
    default: return vidx(i, j);
  }
}

void crossing(int i, int j, int side, float* x, float* y) {
  switch (side) {
    case 1:
      *x = i + (vv - zv(i, j)) / (zv(i + 1, j) - zv(i, j));
      *y = (float)j;
      break;
    case 2:
      *x = (float)(i + 1);
      *y = j + (vv - zv(i + 1, j)) / (zv(i + 1, j + 1) - zv(i + 1, j));
      break;
    case 3:
      *x = i + (vv - zv(i, j + 1)) / (zv(i + 1, j + 1) - zv(i, j + 1));
      *y = (float)(j + 1);
      break;
    default:
      *x = (float)i;
      *y = j + (vv - zv(i, j)) / (zv(i, j + 1) - zv(i, j));
      break;
  }
}

// A cell inside the grid whose four edges all straddle the level.
bool saddle(int i, int j) {
  if (i < 1 || j < 1 || i >= iss || j >= jww - 2) return false;
  float z1 = zv(i, j), z2 = zv(i + 1, j), z3 = zv(i + 1, j + 1), z4 = zv(i, j + 1);
  return straddle(z1, z2) && straddle(z2, z3) && straddle(z4, z3) && straddle(z1, z4);
}

// Follows one line from cell (i, j) leaving through side, appending the
// crossings to out.  Returns true when it ended in the cell it started
// from (a closed line; the first point is then repeated).
bool gxcflw(int i, int j, int side, std::vector<float>& out) {
  const int si = i, sj = j;
  float x0 = 0, y0 = 0;
  bool first = true;
  // A walk can cross each flagged edge once, plus its start edge; the
  // bound only guards against inconsistent flags.
  size_t guard = lwk.size() + 4;
  for (;;) {
    float x, y;
    crossing(i, j, side, &x, &y);
    if (first) {
      x0 = x;
      y0 = y;
      first = false;
    }
    out.push_back(x);
    out.push_back(y);
    lwk[edgeidx(i, j, side)] = 0;
    if (guard-- == 0) return false;
    int enter;
    switch (side) {
      case 1: j--; enter = 3; break;
      case 2: i++; enter = 4; break;
      case 3: j++; enter = 1; break;
      default: i--; enter = 2; break;
    }
    int next = 0;
    if (saddle(i, j)) {
      int p = pathln(zv(i, j), zv(i + 1, j), zv(i + 1, j + 1), zv(i, j + 1), vv);
      static const int pairbr[5] = {0, 2, 1, 4, 3};
      static const int pairbl[5] = {0, 4, 3, 2, 1};
      int cand = p ? pairbr[enter] : pairbl[enter];
      if (lwk[edgeidx(i, j, cand)]) next = cand;
    } else {
      // Right-hand turn, straight on, left-hand turn.
      static const int order[5][3] = {{0, 0, 0}, {2, 3, 4}, {3, 4, 1}, {4, 1, 2}, {1, 2, 3}};
      for (int k = 0; k < 3; k++) {
        int s = order[enter][k];
        if (lwk[edgeidx(i, j, s)]) {
          next = s;
          break;
        }
      }
    }
    if (!next) {
      if (i == si && j == sj) {
        out.push_back(x0);
        out.push_back(y0);
        return true;
      }
      return false;
    }
    side = next;
  }
}

float dist(const float* a, const float* b) {
  float dx = a[0] - b[0], dy = a[1] - b[1];
  return std::sqrt(dx * dx + dy * dy);
}

void queue(float x, float y, float slope) {
  if ((int)labels.size() >= kMaxLabels) return;
  labels.push_back({x, y, slope, clabel, gxqclr()});
}

// Plain polyline with labels at local extremes of y.
void drawplain(const float* p, int n, bool closed) {
  float ldmin = (float)gxcldm();
  float run = labtp == 2 ? 2.0f : 1.0f;
  gxplot(p[0], p[1], 3);
  for (int k = 1; k < n - 1; k++) {
    const float* q = p + 2 * k;
    gxplot(q[0], q[1], 2);
    run += dist(q, q - 2);
    if ((q[1] - q[-1]) * (q[3] - q[1]) < 0 && (int)labels.size() < kMaxLabels && run > ldmin) {
      if (!clabel.empty()) queue(q[0], q[1], 0);
      run = 0;
    }
  }
  if (n > 1) {
    const float* q = p + 2 * (n - 1);
    gxplot(q[0], q[1], 2);
    run += dist(q, q - 2);
    if (closed && n > 2 && (p[1] - q[-1]) * (p[3] - p[1]) < 0 &&
        (int)labels.size() < kMaxLabels && run > ldmin && !clabel.empty()) {
      queue(q[0], q[1], 0);
    }
  }
}

// Smoothed curve through the points (page inches) with labels by labtp.
void drawsmooth(std::vector<float>& pts, bool closed) {
  int n = (int)pts.size() / 2;
  const float* p = pts.data();
  int s = -1, e = -1;
  for (int k = 1; k < n; k++) {
    if (dist(p + 2 * k, p) >= 0.01f) {
      s = k;
      break;
    }
  }
  for (int k = n - 2; k >= 0; k--) {
    if (dist(p + 2 * k, p + 2 * (n - 1)) >= 0.01f) {
      e = k;
      break;
    }
  }
  if (s < 0 || e < 0) return;
  // ext: phantom, points 0..n-1, phantom.
  std::vector<float> ext((size_t)(n + 2) * 2);
  for (int k = 0; k < 2 * n; k++) ext[2 + k] = p[k];
  if (closed) {
    ext[0] = p[2 * e];
    ext[1] = p[2 * e + 1];
    ext[2 * (n + 1)] = p[2 * s];
    ext[2 * (n + 1) + 1] = p[2 * s + 1];
  } else {
    ext[0] = 2 * p[0] - p[2 * s];
    ext[1] = 2 * p[1] - p[2 * s + 1];
    ext[2 * (n + 1)] = 2 * p[2 * (n - 1)] - p[2 * e];
    ext[2 * (n + 1) + 1] = 2 * p[2 * (n - 1) + 1] - p[2 * e + 1];
  }
  const float* x = ext.data();
  auto P = [&](int k) { return x + 2 * k; };
  float ldmin = (float)gxcldm();
  float run = labtp == 2 ? 2.0f : 1.0f;
  bool placed = false;
  float best = 1000.0f, bx = 0, by = 0;
  int i1 = 1, i2 = s + 1;
  float d01 = dist(P(1), P(0));
  float d12 = dist(P(i2), P(1));
  float t1x = 0.5f * ((P(1)[0] - P(0)[0]) / d01 + (P(i2)[0] - P(1)[0]) / d12);
  float t1y = 0.5f * ((P(1)[1] - P(0)[1]) / d01 + (P(i2)[1] - P(1)[1]) / d12);
  if (!(d01 > 0)) {
    t1x = (P(i2)[0] - P(1)[0]) / d12;
    t1y = (P(i2)[1] - P(1)[1]) / d12;
  }
  gxplot(P(1)[0], P(1)[1], 3);
  while (i2 <= n) {
    int i3 = i2 + 1;
    while (i3 < n + 1 && dist(P(i3), P(i2)) < 0.01f) i3++;
    const float *p1 = P(i1), *p2 = P(i2), *p3 = P(i3);
    d12 = dist(p2, p1);
    float d23 = dist(p3, p2);
    if (!(d12 > 0)) d12 = 1e-6f;
    if (!(d23 > 0)) d23 = 1e-6f;
    run += d12;
    if (labtp != 0) {
      if ((p2[1] - p1[1]) * (p3[1] - p2[1]) < 0 && (int)labels.size() < kMaxLabels &&
          run > ldmin) {
        if (!clabel.empty()) {
          queue(p2[0], p2[1], 0);
          placed = true;
        }
        run = 0;
      }
      if (labtp == 2 && !placed && (int)labels.size() < kMaxLabels && i2 != n) {
        float ang = 0;
        bool cand = true;
        if (p1[0] < p2[0] && p2[0] < p3[0]) ang = std::atan2(p3[1] - p1[1], p3[0] - p1[0]);
        else if (p1[0] > p2[0] && p2[0] > p3[0]) ang = std::atan2(p1[1] - p3[1], p1[0] - p3[0]);
        else cand = false;
        if (cand && std::fabs(ang) < std::fabs(best)) {
          best = ang;
          bx = p2[0];
          by = p2[1];
        }
      }
    }
    float t2x = 0.5f * ((p2[0] - p1[0]) / d12 + (p3[0] - p2[0]) / d23);
    float t2y = 0.5f * ((p2[1] - p1[1]) / d12 + (p3[1] - p2[1]) / d23);
    float sc = d12 < 0.7f ? d12 : 0.7f;
    float ax = sc * t1x, ay = sc * t1y, bxx = sc * t2x, byy = sc * t2y;
    float cax = ax + bxx + 2 * p1[0] - 2 * p2[0], cay = ay + byy + 2 * p1[1] - 2 * p2[1];
    float cbx = 3 * p2[0] - 3 * p1[0] - 2 * ax - bxx, cby = 3 * p2[1] - 3 * p1[1] - 2 * ay - byy;
    // About one point per 0.1 inch, but never more than kMaxSplineSteps
    // on one segment: a segment far longer than any page (a wild grid
    // coordinate) would otherwise take a step too small to move t at all.
    float dt = d12 > 0.1f * kMaxSplineSteps ? 1.0f / kMaxSplineSteps
                                             : 0.1f / (d12 > 0.001f ? d12 : 0.001f);
    float t = 0;
    for (int k = 0; k <= kMaxSplineSteps && t < 1.0f; k++, t += dt) {
      float t2 = t * t, t3 = t2 * t;
      gxplot(cax * t3 + cbx * t2 + ax * t + p1[0], cay * t3 + cby * t2 + ay * t + p1[1], 2);
    }
    t1x = t2x;
    t1y = t2y;
    i1 = i2;
    i2 = i3;
  }
  gxplot(P(n)[0], P(n)[1], 2);
  if (labtp == 2 && !placed && (int)labels.size() < kMaxLabels && std::fabs(best) < 2.0f &&
      !clabel.empty()) {
    queue(bx, by, best);
  }
}

// Draws the line held in `line` (grid coordinates) and queues its labels.
void gxcspl() {
  int n = (int)line.size() / 2;
  if (n < 1) return;
  gxcord(line.data(), n, 3);
  float* p = line.data();
  bool closed = n > 1 && p[0] == p[2 * (n - 1)] && p[1] == p[2 * (n - 1) + 1];
  if (splflg) drawsmooth(line, closed);
  else drawplain(p, n, closed);
}

// Builds the line from the two walks: the backward walk reversed, then
// the forward walk after their shared first point.
void traceline(int i1, int j1, int s1, int i2, int j2, int s2) {
  fwd.clear();
  bwd.clear();
  gxcflw(i1, j1, s1, fwd);
  gxcflw(i2, j2, s2, bwd);
  line.clear();
  for (size_t k = bwd.size(); k >= 2; k -= 2) {
    line.push_back(bwd[k - 2]);
    line.push_back(bwd[k - 1]);
  }
  line.insert(line.end(), fwd.begin() + 2, fwd.end());
  gxcspl();
}

// Where a value lies against the level: 1 at or below it, 2 above, 0
// undefined (or a NaN, which compares false both ways).  An edge crosses
// the level when its ends' classes are 1 and 2, their or 3.  No branch, so
// a row of them is vector code.
inline uint8_t levelclass(float a, float v, float u) {
  return (uint8_t)(((a <= v) | ((a > v) << 1)) * (a != u));
}

// Flags and lists the crossed edges of cell (i, j): bottom, then left.
inline void takecrossing(uint8_t h, uint8_t v, int i, int j) {
  if (h) {
    lwk[hidx(i, j)] = 1;
    crossed.push_back(hidx(i, j));
  }
  if (v) {
    lwk[vidx(i, j)] = 1;
    crossed.push_back(vidx(i, j));
  }
}

// Flags the edges the level crosses within columns ib..ie and rows jb..je,
// listing them row by row from the south, each cell's bottom edge before
// its left edge: the order in which lines are traced.  Each row is tested
// whole without a branch; the rare crossings are then picked out.
OM_VECTOR_CLONES void markcrossings(const float* r, int is, int ib, int ie, int jb, int je) {
  const float v = vv, u = uval;
  crossed.clear();
  for (auto* b : {&hrow, &vrow, &crow, &cup}) b->resize((size_t)is + 1);
  uint8_t* h = hrow.data();
  uint8_t* vt = vrow.data();
  // Classes of row j and of the row above it, by 0-based column.
  uint8_t* cj = crow.data();
  uint8_t* cu = cup.data();
  auto classify = [&](int j, uint8_t* c) {
    const float* row = r + (size_t)(j - 1) * is;
    for (int x = ib - 1; x < ie; x++) c[x] = levelclass(row[x], v, u);
  };
  classify(jb, cj);
  for (int j = jb; j <= je; j++) {
    // h[i]: edge (i,j)-(i+1,j) for i < ie; vt[i]: edge (i,j)-(i,j+1) for
    // i <= ie, below the top row only.
    for (int i = ib; i < ie; i++) h[i] = (uint8_t)((cj[i - 1] | cj[i]) == 3);
    h[ie] = 0;
    if (j < je) {
      classify(j + 1, cu);
      for (int i = ib; i <= ie; i++) vt[i] = (uint8_t)((cj[i - 1] | cu[i - 1]) == 3);
    } else {
      std::fill(vt + ib, vt + ie + 1, (uint8_t)0);
    }
    // Eight columns at a time: most of a row crosses nothing.
    int i = ib;
    for (; i + 8 <= ie + 1; i += 8) {
      uint64_t a, b;
      std::memcpy(&a, h + i, 8);
      std::memcpy(&b, vt + i, 8);
      if (!(a | b)) continue;
      for (int k = i; k < i + 8; k++) takecrossing(h[k], vt[k], k, j);
    }
    for (; i <= ie; i++) takecrossing(h[i], vt[i], i, j);
    std::swap(cj, cu);
  }
}

}  // namespace

int pathln(float z1, float z2, float z3, float z4, float v) {
  float a = (v - z1) / (z2 - z1);
  float b = (v - z2) / (z3 - z2);
  float c = (v - z4) / (z3 - z4);
  float d = (v - z1) / (z4 - z1);
  // Crossings B=(a,0), R=(1,b), T=(c,1), L=(0,d) in the unit cell.
  auto len = [](float x1, float y1, float x2, float y2) {
    float dx = x1 - x2, dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
  };
  float s1 = len(a, 0, 1, b) + len(0, d, c, 1);
  float s2 = len(a, 0, 0, d) + len(1, b, c, 1);
  return s1 <= s2 ? 1 : 0;
}

int gxclbn() { return (int)labels.size(); }

int gxcldm() {
  int d = gxqclmn();
  return d > 0 ? d : 2;
}

void gxclev(const float* r, int is, int js, int ib, int ie, int jb, int je, float v,
            float undef, const char* lab, int spl, int ltp) {
  if (!r || is < 1 || js < 1) return;
  if (ib < 1) ib = 1;
  if (jb < 1) jb = 1;
  if (ie > is) ie = is;
  if (je > js) je = js;
  // A single row or column holds no cell to cross.
  if (ib >= ie || jb >= je) return;
  rr = r;
  iss = is;
  iww = is + 2;
  jww = js + 2;
  vv = v;
  uval = undef;
  if (lab) clabel.assign(lab, strnlen(lab, 15));
  else clabel.clear();
  splflg = spl;
  labtp = ltp;
  size_t need = 2 * (size_t)iww * (size_t)jww;
  try {
    if (lwk.size() < need) {
      lwk.clear();
      lwk.shrink_to_fit();
      lwk.resize(need);
    }
    markcrossings(r, is, ib, ie, jb, je);
    // The crossings come row by row; the interrupt is polled per row of
    // cells, as a walk over the whole window would count them.
    omintpoll poll;
    int polled = jb;
    for (size_t k : crossed) {
      bool vert = k >= (size_t)iww * jww;
      size_t at = vert ? k - (size_t)iww * jww : k;
      int i = (int)(at % iww), j = (int)(at / iww);
      while (polled <= j && !poll.stop(ie - ib + 1)) polled++;
      if (polled <= j) break;
      if (!lwk[k]) continue;  // walked already as part of an earlier line
      if (vert) traceline(i, j, 4, i - 1, j, 2);
      else traceline(i, j, 1, i, j - 1, 3);
    }
    for (size_t k : crossed) lwk[k] = 0;
    crossed.clear();
  } catch (const std::bad_alloc&) {
    printf("Error in GXCLEV: Unable to allocate storage \n");
    gxcrel();
  }
}

void gxclab(float csiz, int flag, int colour) {
  if (!flag) {
    labels.clear();
    return;
  }
  int keep = gxqclr();
  int bg = gxqbck();
  for (const cllab& l : labels) {
    int n = (int)l.text.size();
    if (n == 0) continue;
    float hw = n * csiz / 2;
    if (l.slope == 0) {
      float x0 = l.x - hw, y0 = l.y - csiz / 2;
      float w = 0;
      gxchln(l.text.c_str(), n, csiz, &w);
      gxcolr(bg);
      gxrecf(x0, x0 + w + 0.1f * csiz, y0 - 0.02f, y0 + 1.44f * csiz);
      int tc = colour > -1 ? colour : l.colour;
      if (tc == bg) tc = bg == 0 ? 1 : 0;
      gxcolr(tc);
      gxchpl(l.text.c_str(), n, x0, y0, 1.2f * csiz, csiz, 0);
    } else {
      float t = l.slope, ct = std::cos(t), st = std::sin(t);
      float p = 1.6f * csiz / 2, q = 1.1f * hw;
      float xy[10] = {l.x - q * ct + p * st, l.y - q * st - p * ct,
                      l.x - q * ct - p * st, l.y - q * st + p * ct,
                      l.x + q * ct - p * st, l.y + q * st + p * ct,
                      l.x + q * ct + p * st, l.y + q * st - p * ct,
                      0,                     0};
      xy[8] = xy[0];
      xy[9] = xy[1];
      gxcolr(bg);
      gxfill(xy, 5);
      int tc = colour > -1 ? colour : l.colour;
      if (tc == bg) tc = bg == 0 ? 1 : 0;
      gxcolr(tc);
      float x0 = l.x - hw * ct + (csiz / 2) * st, y0 = l.y - hw * st - (csiz / 2) * ct;
      gxchpl(l.text.c_str(), n, x0, y0, 1.2f * csiz, csiz, t * 180.0f / 3.1416f);
    }
  }
  gxcolr(keep);
  labels.clear();
}

void gxcrel() {
  lwk.clear();
  lwk.shrink_to_fit();
  crossed.clear();
  crossed.shrink_to_fit();
  for (auto* b : {&hrow, &vrow, &crow, &cup}) {
    b->clear();
    b->shrink_to_fit();
  }
  fwd.clear();
  fwd.shrink_to_fit();
  bwd.clear();
  bwd.shrink_to_fit();
  line.clear();
  line.shrink_to_fit();
}
