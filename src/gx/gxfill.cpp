// Clipped polygon fills and plot markers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxint.h"

namespace {

// The largest point count a polygon record can carry.
const size_t kMaxRecordPoints = 32767;

struct pt {
  double x, y;
};

// Clips a polygon against one edge of a rectangle (Sutherland-Hodgman).
// edge: 0 x >= v, 1 x <= v, 2 y >= v, 3 y <= v.
void clip_edge(const std::vector<pt>& in, std::vector<pt>& out, int edge, double v) {
  out.clear();
  size_t n = in.size();
  if (n == 0) return;
  auto inside = [edge, v](const pt& p) {
    switch (edge) {
      case 0: return p.x >= v;
      case 1: return p.x <= v;
      case 2: return p.y >= v;
      default: return p.y <= v;
    }
  };
  auto cross = [edge, v](const pt& a, const pt& b) {
    pt r;
    if (edge < 2) {
      double t = (v - a.x) / (b.x - a.x);
      r.x = v;
      r.y = a.y + (b.y - a.y) * t;
    } else {
      double t = (v - a.y) / (b.y - a.y);
      r.y = v;
      r.x = a.x + (b.x - a.x) * t;
    }
    return r;
  };
  pt prev = in[n - 1];
  bool pin = inside(prev);
  for (size_t i = 0; i < n; i++) {
    const pt& cur = in[i];
    bool cin = inside(cur);
    if (cin) {
      if (!pin) out.push_back(cross(prev, cur));
      out.push_back(cur);
    } else if (pin) {
      out.push_back(cross(prev, cur));
    }
    prev = cur;
    pin = cin;
  }
}

void clip_rect(std::vector<pt>& poly, double xlo, double xhi, double ylo, double yhi) {
  std::vector<pt> tmp;
  tmp.reserve(poly.size() + 8);
  clip_edge(poly, tmp, 0, xlo);
  clip_edge(tmp, poly, 1, xhi);
  clip_edge(poly, tmp, 2, ylo);
  clip_edge(tmp, poly, 3, yhi);
}

// Drops points that repeat their predecessor (the clipper makes such runs
// along the edges); the polygon stays closed implicitly.
void drop_repeats(std::vector<pt>& poly) {
  size_t k = 0;
  for (size_t i = 0; i < poly.size(); i++) {
    if (k > 0 && poly[i].x == poly[k - 1].x && poly[i].y == poly[k - 1].y) continue;
    poly[k++] = poly[i];
  }
  poly.resize(k);
}

void emit(const std::vector<pt>& poly) {
  plotxform& p = gxstate();
  size_t n = poly.size();
  std::vector<float> real(2 * n);
  for (size_t i = 0; i < n; i++) {
    gxvcon((float)poly[i].x, (float)poly[i].y, &real[2 * i], &real[2 * i + 1]);
  }
  hout1(-7, (int)n);
  hout2(-10, real[0], real[1]);
  for (size_t i = 1; i < n; i++) hout2(-11, real[2 * i], real[2 * i + 1]);
  hout0(-8);
  if (p.intflg) gxdrv().fill(real.data(), (int)n);
}

struct box {
  double xlo, xhi, ylo, yhi;
};

// The median of the points' x (axis 0) or y (axis 1), or the middle of
// their range when the median is one of its ends (a run of equal values);
// false when the points do not spread along the axis at all.
bool cutline(const std::vector<pt>& poly, int axis, double* v) {
  std::vector<double> c(poly.size());
  for (size_t i = 0; i < poly.size(); i++) c[i] = axis ? poly[i].y : poly[i].x;
  auto mm = std::minmax_element(c.begin(), c.end());
  double lo = *mm.first, hi = *mm.second;
  if (!(lo < hi)) return false;
  std::nth_element(c.begin(), c.begin() + c.size() / 2, c.end());
  *v = c[c.size() / 2];
  if (*v <= lo || *v >= hi) *v = 0.5 * (lo + hi);
  return *v > lo && *v < hi;
}

bool degenerate(const std::vector<pt>& poly) {
  double xlo = poly[0].x, xhi = xlo, ylo = poly[0].y, yhi = ylo;
  for (const pt& q : poly) {
    xlo = std::fmin(xlo, q.x);
    xhi = std::fmax(xhi, q.x);
    ylo = std::fmin(ylo, q.y);
    yhi = std::fmax(yhi, q.y);
  }
  return !(xlo < xhi && ylo < yhi);
}

// Cuts a clipped polygon with more points than a record can
// count into pieces that fit, at the median of its points across y, or
// across x when that does not help.  A cut is taken only when it shrinks the
// pieces: each side keeps at most three quarters of the points and both
// together at most a quarter more than the whole, so the work stays about
// proportional to the points.  A tangle whose edges cross every cut line
// cannot be cut so: false, and the caller draws none of it.
bool cut(std::vector<pt>& poly, int depth, std::vector<std::vector<pt>>* out) {
  if (poly.size() < 3) return true;
  if (poly.size() <= kMaxRecordPoints) {
    if (depth == 0 || !degenerate(poly)) out->push_back(std::move(poly));
    return true;
  }
  if (depth >= 64) return false;
  const size_t n = poly.size();
  for (int axis = 1; axis >= 0; axis--) {
    double v;
    if (!cutline(poly, axis, &v)) continue;
    std::vector<pt> lo, hi;
    clip_edge(poly, lo, axis ? 3 : 1, v);
    drop_repeats(lo);
    if (lo.size() > n / 4 * 3) continue;
    clip_edge(poly, hi, axis ? 2 : 0, v);
    drop_repeats(hi);
    if (hi.size() > n / 4 * 3 || lo.size() + hi.size() > n + n / 4) continue;
    std::vector<pt>().swap(poly);
    return cut(lo, depth + 1, out) && cut(hi, depth + 1, out);
  }
  return false;
}

// Fills a polygon clipped to the box; one with more points than a record
// can count is cut into pieces, each filled as its own polygon.
void fill_clipped(std::vector<pt>& poly, const box& b) {
  clip_rect(poly, b.xlo, b.xhi, b.ylo, b.yhi);
  drop_repeats(poly);
  const size_t n = poly.size();
  std::vector<std::vector<pt>> pieces;
  if (!cut(poly, 0, &pieces)) {
    printf("Polygon too complex to fill: %zu points\n", n);
    return;
  }
  for (const std::vector<pt>& q : pieces) emit(q);
}

}  // namespace

static void gxfill_points(const float* xy, int n);

void gxfill(const float* xy, int n) {
  if (!xy || n < 3) return;
  try {
    gxfill_points(xy, n);
  } catch (const std::bad_alloc&) {
    printf("Memory allocation error in gxfill.  Can't fill contour\n");
  }
}

static void gxfill_points(const float* xy, int n) {
  plotxform& p = gxstate();
  std::vector<pt> poly;
  poly.reserve((size_t)n + 8);
  for (int i = 0; i < n; i++) {
    float x = xy[2 * i], y = xy[2 * i + 1];
    if (std::isfinite(x) && std::isfinite(y)) poly.push_back({x, y});
  }
  if (poly.size() < 3) return;
  // A polygon wholly inside the clip rectangle is recorded point for point.
  bool inside = true;
  for (const pt& q : poly) {
    if (q.x < p.clminx || q.x > p.clmaxx || q.y < p.clminy || q.y > p.clmaxy) {
      inside = false;
      break;
    }
  }
  if (inside && poly.size() <= kMaxRecordPoints) {
    emit(poly);
    return;
  }
  fill_clipped(poly, box{p.clminx, p.clmaxx, p.clminy, p.clmaxy});
}

// ---------------------------------------------------------------- markers

namespace {

const double kPi = 3.14159;

// Circle points from 60 degrees up to 414 by the step, the first repeated.
std::vector<float> circle(float x, float y, float r, int step) {
  std::vector<float> v;
  for (int a = 60; a <= 414; a += step) {
    double t = a * kPi / 180.0;
    v.push_back((float)(x + r * std::cos(t)));
    v.push_back((float)(y + r * std::sin(t)));
  }
  v.push_back(v[0]);
  v.push_back(v[1]);
  return v;
}

void polyline(const std::vector<float>& v, int from, int to) {
  gxmove(v[2 * from], v[2 * from + 1]);
  for (int k = from + 1; k <= to; k++) gxdraw(v[2 * k], v[2 * k + 1]);
}

void segment_fill(const std::vector<float>& v, const int* ks, int n) {
  std::vector<float> f;
  for (int i = 0; i < n; i++) {
    f.push_back(v[2 * ks[i]]);
    f.push_back(v[2 * ks[i] + 1]);
  }
  gxfill(f.data(), n);
}

void set_point(std::vector<float>& v, int k, float x, float y, float r, int deg) {
  double t = deg * kPi / 180.0;
  v[2 * k] = (float)(x + r * std::cos(t));
  v[2 * k + 1] = (float)(y + r * std::sin(t));
}

}  // namespace

void gxmark(int type, float x, float y, float size) {
  float r = size / 2;
  switch (type) {
    case 1:
      gxmove(x, y - r);
      gxdraw(x, y + r);
      gxmove(x - r, y);
      gxdraw(x + r, y);
      break;
    case 2:
    case 3: {
      int step = size < 0.1f ? 30 : (size < 0.3f ? 15 : 10);
      std::vector<float> v = circle(x, y, r, step);
      int n = (int)(v.size() / 2);
      if (type == 2) polyline(v, 0, n - 1);
      else gxfill(v.data(), n);
      break;
    }
    case 4:
    case 5: {
      float v[10] = {x - r, y + r, x + r, y + r, x + r, y - r, x - r, y - r, x - r, y + r};
      if (type == 4) {
        gxmove(v[0], v[1]);
        for (int k = 1; k < 5; k++) gxdraw(v[2 * k], v[2 * k + 1]);
      } else {
        gxfill(v, 5);
      }
      break;
    }
    case 6: {
      float d = 0.71f * r;
      gxmove(x - d, y - d);
      gxdraw(x + d, y + d);
      gxmove(x - d, y + d);
      gxdraw(x + d, y - d);
      break;
    }
    case 7:
      gxmove(x - 0.75f * r, y);
      gxdraw(x, y + 1.1f * r);
      gxdraw(x + 0.75f * r, y);
      gxdraw(x, y - 1.1f * r);
      gxdraw(x - 0.75f * r, y);
      break;
    case 8:
    case 9: {
      float v[8] = {x, y + r, x + 0.88f * r, y - 0.6f * r, x - 0.88f * r, y - 0.6f * r, x, y + r};
      if (type == 8) {
        gxmove(v[0], v[1]);
        for (int k = 1; k < 4; k++) gxdraw(v[2 * k], v[2 * k + 1]);
      } else {
        gxfill(v, 4);
      }
      break;
    }
    case 10: {
      std::vector<float> v = circle(x, y, r, 15);  // point k at 60 + 15k degrees
      polyline(v, 3, 13);    // 105 .. 255
      polyline(v, 15, 24);   // 285 .. 420 (60)
      static const int bar[6] = {1, 2, 3, 13, 14, 15};
      segment_fill(v, bar, 6);
      break;
    }
    case 11: {
      std::vector<float> v = circle(x, y, r, 15);
      set_point(v, 0, x, y, r, 68);  // point 24 stays at 60 (420) degrees
      set_point(v, 4, x, y, r, 112);
      set_point(v, 12, x, y, r, 248);
      set_point(v, 16, x, y, r, 292);
      polyline(v, 0, 4);     // 68 .. 112
      polyline(v, 12, 16);   // 248 .. 292
      static const int left[9] = {4, 5, 6, 7, 8, 9, 10, 11, 12};
      static const int right[10] = {16, 17, 18, 19, 20, 21, 22, 23, 24, 0};
      segment_fill(v, left, 9);
      segment_fill(v, right, 10);
      break;
    }
    default:
      break;
  }
}
