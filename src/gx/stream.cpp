// Streamlines: lines traced forward and backward from seed points through
// a bilinearly interpolated vector field, kept apart by a density mask
// finer than the grid, with arrowheads along the flow.
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "base/intpoll.h"
#include "gx/contour.h"
#include "gx/gx.h"

namespace {

struct strmctx {
  const float *u, *v, *c;
  int is, js;
  float uund, vund, cund;
  int cflag;
  const float* lvs;
  const int* cls;
  int cnt;
  int d;        // mask cells per grid cell
  float step;   // walk step, grid units
  std::vector<char> mask;
  int mw, mh;   // mask size
  int colour = 1, prvcol = -9;
};

// Walks one pass from (x, y); dir +1 with the flow, -1 against it.
void pass(strmctx& s, float x, float y, int dir) {
  float px, py;
  gxconv(x + 1, y + 1, &px, &py, 3);
  gxplot(px, py, 3);
  long last = -1;
  int same = 0;
  bool lifted = false;
  int arrow = dir > 0 ? 0 : 19;
  for (;;) {
    if (!(x >= 0 && x < s.is - 1 && y >= 0 && y < s.js - 1)) return;
    int i = (int)x, j = (int)y;
    float fx = x - i, fy = y - j;
    size_t k0 = (size_t)j * s.is + i, k1 = k0 + s.is;
    const float *u = s.u, *v = s.v;
    if (u[k0] == s.uund || u[k0 + 1] == s.uund || u[k1] == s.uund || u[k1 + 1] == s.uund) return;
    if (v[k0] == s.vund || v[k0 + 1] == s.vund || v[k1] == s.vund || v[k1 + 1] == s.vund) return;
    if (s.cflag) {
      const float* c = s.c;
      int col;
      if (c[k0] == s.cund || c[k0 + 1] == s.cund || c[k1] == s.cund || c[k1 + 1] == s.cund) {
        col = 15;
      } else {
        float a = c[k0] + (c[k0 + 1] - c[k0]) * fx;
        float b = c[k1] + (c[k1 + 1] - c[k1]) * fx;
        col = gxshdc(s.lvs, s.cls, s.cnt, a + (b - a) * fy);
      }
      if (col >= 0 && col != s.prvcol) gxcolr(col);
      s.prvcol = col;
      s.colour = col;
    }
    float ua = u[k0] + (u[k0 + 1] - u[k0]) * fx, ub = u[k1] + (u[k1 + 1] - u[k1]) * fx;
    float va = v[k0] + (v[k0 + 1] - v[k0]) * fx, vb = v[k1] + (v[k1 + 1] - v[k1]) * fx;
    float uu = ua + (ub - ua) * fy, vu = va + (vb - va) * fy;
    if (std::fabs(uu) < 0.1f && std::fabs(vu) < 0.1f) return;
    float big = std::fabs(uu) > std::fabs(vu) ? std::fabs(uu) : std::fabs(vu);
    float sc = s.step / big;
    x += dir * uu * sc;
    y += dir * vu * sc;
    if (!(x >= 0 && y >= 0)) return;
    long mi = (long)(x * s.d), mj = (long)(y * s.d);
    if (mi >= s.mw || mj >= s.mh) return;
    long m = mi + mj * (long)s.mw;
    if (s.mask[m]) return;
    if (m != last) {
      if (last >= 0) s.mask[last] = 1;
      same = 0;
    } else if (++same > 10) {
      return;
    }
    last = m;
    float nx, ny;
    gxconv(x + 1, y + 1, &nx, &ny, 3);
    if (s.colour < 0) {
      lifted = true;
    } else {
      if (lifted) gxplot(px, py, 3);
      lifted = false;
      gxplot(nx, ny, 2);
    }
    if (++arrow > 20) {
      arrow = 0;
      if (s.colour >= 0) {
        if (dir > 0) strmar(px, py, nx, ny);
        else strmar(nx, ny, px, py);
        gxplot(nx, ny, 3);
      }
    }
    px = nx;
    py = ny;
  }
}

}  // namespace

int gxshdc(const float* lvs, const int* cls, int cnt, float val) {
  if (cnt <= 0) return 1;
  if (cnt == 1 || val < lvs[1]) return cls[0];
  for (int i = 1; i <= cnt - 2; i++) {
    if (lvs[i] <= val && val < lvs[i + 1]) return cls[i];
  }
  return cls[cnt - 1];
}

void strmar(float x1, float y1, float x2, float y2) {
  float a = std::atan2(y2 - y1, x2 - x1);
  gxplot(x2, y2, 3);
  gxplot(x2 + 0.05f * std::cos(a + 2.618f), y2 + 0.05f * std::sin(a + 2.618f), 2);
  gxplot(x2, y2, 3);
  gxplot(x2 + 0.05f * std::cos(a - 2.618f), y2 + 0.05f * std::sin(a - 2.618f), 2);
  gxplot(x2, y2, 3);
}

void gxstrm(const float* u, const float* v, const float* c, int is, int js, float uund,
            float vund, float cund, int cflag, const float* shdlvs, const int* shdcls,
            int shdcnt, int den) {
  if (!u || !v || is < 2 || js < 2) return;
  strmctx s{u, v, c, is, js, uund, vund, cund, cflag && c, shdlvs, shdcls, shdcnt, 0, 0, {}, 0, 0};
  int mx = is > js ? is : js;
  // Wide enough for any density setting, so the end values clamp rather
  // than wrap round to the other end.
  long long d = 200 / mx + (long long)den - 5;
  if (d < 1) d = 1;
  if (d > 10) d = 10;
  if ((long long)mx * d > INT_MAX) d = 1;  // mask sides must stay ints
  s.d = (int)d;
  s.step = 0.5f / s.d;
  s.mw = is * s.d;
  s.mh = js * s.d;
  try {
    s.mask.assign((size_t)s.mw * s.mh, 0);
  } catch (const std::bad_alloc&) {
    printf("Cannot allocate memory for streamline function\n");
    return;
  }
  int r = den < 5 ? 3 : (den > 5 ? 1 : 2);
  // A mask cell is a seed when no cell of the window around it is used.
  omintpoll poll;
  for (int mj = 0; mj < s.mh && !poll.stop(s.mw); mj++) {
    for (int mi = 0; mi < s.mw; mi++) {
      int j0 = mj - r < 0 ? 0 : mj - r, j1 = mj + r >= s.mh ? s.mh - 1 : mj + r;
      int i0 = mi - r < 0 ? 0 : mi - r, i1 = mi + r >= s.mw ? s.mw - 1 : mi + r;
      bool used = false;
      for (int jj = j0; jj <= j1 && !used; jj++) {
        const char* row = &s.mask[(size_t)jj * s.mw];
        for (int ii = i0; ii <= i1; ii++) {
          if (row[ii]) {
            used = true;
            break;
          }
        }
      }
      if (used) continue;
      float x = (float)mi / s.d, y = (float)mj / s.d;
      pass(s, x, y, 1);
      pass(s, x, y, -1);
    }
  }
}
