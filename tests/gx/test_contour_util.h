// Helpers of the contour, shading and streamline tests: a page on which
// grid coordinates map linearly to inches, and the recorded drawing read
// back as polylines and filled polygons in grid coordinates.
#pragma once

#include <cmath>
#include <vector>

#include "gx/contour.h"
#include "gxtest.h"

namespace ctest {

struct pt {
  float x, y;
};
struct stroke {
  int colour;
  std::vector<pt> p;
};
struct polygon {
  int colour;
  std::vector<pt> p;
};
struct drawing {
  std::vector<stroke> lines;
  std::vector<polygon> fills;
  int rects = 0;
};

// The world box shown on the page area 0.5..10.5 by 0.5..8.
struct page {
  float wx1, wx2, wy1, wy2;
  float gx(float px) const { return wx1 + (px - 0.5f) * (wx2 - wx1) / 10.0f; }
  float gy(float py) const { return wy1 + (py - 0.5f) * (wy2 - wy1) / 7.5f; }
  float inches(float grid) const { return grid * 10.0f / (wx2 - wx1); }
};

inline page setpage(float wx1, float wx2, float wy1, float wy2) {
  gx_batch();
  gxrset(3);
  gxscal(0.5f, 10.5f, 0.5f, 8.0f, wx1, wx2, wy1, wy2);
  gxclip(0, 11, 0, 8.5f);
  gxcolr(1);
  gxstyl(1);
  gx_records();
  return page{wx1, wx2, wy1, wy2};
}

// Everything recorded in the current frame, back in world coordinates.
inline drawing readback(const page& pg) {
  std::vector<int> r = gx_records();
  drawing d;
  int colour = 1;
  for (size_t i = 0; i < r.size();) {
    int c = r[i];
    if (c == -3) {
      colour = r[i + 1];
      i += 2;
    } else if (c == -7) {
      polygon poly{colour, {}};
      i += 2;
      while (i < r.size() && r[i] != -8) {
        poly.p.push_back({pg.gx(r[i + 1] / 1000.0f), pg.gy(r[i + 2] / 1000.0f)});
        i += 3;
      }
      i++;
      d.fills.push_back(poly);
    } else if (c == -10) {
      d.lines.push_back({colour, {{pg.gx(r[i + 1] / 1000.0f), pg.gy(r[i + 2] / 1000.0f)}}});
      i += 3;
    } else if (c == -11) {
      if (d.lines.empty()) d.lines.push_back({colour, {}});
      d.lines.back().p.push_back({pg.gx(r[i + 1] / 1000.0f), pg.gy(r[i + 2] / 1000.0f)});
      i += 3;
    } else if (c == -20) {
      i += 2;
    } else if (c == -4) {
      i += 3;
    } else if (c == -12) {
      i += 4;
    } else {
      if (c == -6) d.rects++;
      i += 5;
    }
  }
  return d;
}

inline bool inside(const std::vector<pt>& p, float x, float y) {
  bool in = false;
  for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
    if ((p[i].y > y) != (p[j].y > y) &&
        x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
      in = !in;
  }
  return in;
}

// The colour painted last at a point, -99 when nothing covers it.
inline int paintedat(const drawing& d, float x, float y) {
  int c = -99;
  for (const polygon& p : d.fills) {
    if (p.p.size() >= 3 && inside(p.p, x, y)) c = p.colour;
  }
  return c;
}

// An is x js grid of f(i, j) at 1-based grid coordinates, i fastest.
inline std::vector<float> field(int is, int js, float (*f)(float, float)) {
  std::vector<float> g((size_t)is * js);
  for (int j = 1; j <= js; j++)
    for (int i = 1; i <= is; i++) g[(size_t)(j - 1) * is + i - 1] = f((float)i, (float)j);
  return g;
}

}  // namespace ctest
