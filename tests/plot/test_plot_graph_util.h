// Helpers of the graph, vector and station plot tests: a fresh graphics
// frame with the results table of the common state, and the drawing of the
// frame read back from the display list as segments, fills and boxes.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "expr/exprtest.h"
#include "frametest.h"
#include "gx/gx.h"
#include "gx/gxint.h"

struct pseg {
  int col;
  float x1, y1, x2, y2;
  float len() const { return std::hypot(x2 - x1, y2 - y1); }
};
struct pfill {
  int col;
  std::vector<float> xy;  // x, y pairs
};
struct prect {
  int col;
  float xlo, xhi, ylo, yhi;
};
// One pen action with its colour: code -10 move or -11 draw, in 1/1000 in.
struct ppen {
  int code, col, x, y;
};

struct drawing {
  std::vector<pseg> segs;
  std::vector<pfill> fills;
  std::vector<prect> rects;
  std::vector<ppen> pens;  // moves and draws outside polygons
  std::vector<pseg> of(int col) const {
    std::vector<pseg> out;
    for (const pseg& s : segs)
      if (s.col == col) out.push_back(s);
    return out;
  }
  int fillsof(int col) const {
    int n = 0;
    for (const pfill& f : fills) n += f.col == col;
    return n;
  }
};

// The frame's records from word index `from` on.
inline std::vector<int> plot_words() {
  std::vector<int> out;
  for (const gxhchunk& c : gxhsel(false))
    for (size_t i = 0; i < c.len; i++) out.push_back(c.words[i]);
  return out;
}

inline drawing plot_read(size_t from = 0) {
  std::vector<int> r = plot_words();
  drawing d;
  int col = 1;
  float px = 0, py = 0;
  bool inpoly = false;
  for (size_t i = 0; i < r.size();) {
    int c = r[i];
    bool live = i >= from;
    switch (c) {
      case -3: col = r[i + 1]; i += 2; break;
      case -4: i += 3; break;
      case -5: i += 5; break;
      case -6:
        if (live) d.rects.push_back({col, r[i + 1] / 1000.f, r[i + 2] / 1000.f, r[i + 3] / 1000.f, r[i + 4] / 1000.f});
        i += 5;
        break;
      case -7:
        inpoly = true;
        if (live) d.fills.push_back({col, {}});
        i += 2;
        break;
      case -8: inpoly = false; i += 1; break;
      case -10:
      case -11: {
        float x = r[i + 1] / 1000.f, y = r[i + 2] / 1000.f;
        if (inpoly) {
          if (live && !d.fills.empty()) {
            d.fills.back().xy.push_back(x);
            d.fills.back().xy.push_back(y);
          }
        } else {
          if (live) d.pens.push_back({c, col, r[i + 1], r[i + 2]});
          if (c == -11 && live) d.segs.push_back({col, px, py, x, y});
          px = x;
          py = y;
        }
        i += 3;
        break;
      }
      case -12: i += 4; break;
      case -20: i += 2; break;
      default: i += 1; break;
    }
  }
  return d;
}

// The pen actions drawn by f on a fresh frame (which it clears: take
// shapes before drawing the plot), relative to page (ox, oy).
inline std::vector<ppen> plot_shape(const std::function<void()>& f, float ox, float oy) {
  gxfrme(1);
  f();
  drawing d = plot_read();
  gxfrme(1);
  std::vector<ppen> p = d.pens;
  int x0 = (int)std::lround(ox * 1000), y0 = (int)std::lround(oy * 1000);
  for (ppen& q : p) {
    q.x -= x0;
    q.y -= y0;
  }
  return p;
}

// Where the shape appears in the drawing (any translation, 2/1000 inch of
// rounding allowed): the page point of its origin, or false.
inline bool plot_find(const drawing& d, const std::vector<ppen>& shape, float* x = nullptr,
                      float* y = nullptr) {
  if (shape.empty()) return false;
  const std::vector<ppen>& p = d.pens;
  for (size_t s = 0; s + shape.size() <= p.size(); s++) {
    bool ok = true;
    for (size_t k = 0; k < shape.size() && ok; k++) {
      const ppen& a = p[s + k];
      ok = a.code == shape[k].code &&
           std::abs(a.x - p[s].x - (shape[k].x - shape[0].x)) <= 2 &&
           std::abs(a.y - p[s].y - (shape[k].y - shape[0].y)) <= 2;
    }
    if (ok) {
      if (x) *x = (p[s].x - shape[0].x) / 1000.f;
      if (y) *y = (p[s].y - shape[0].y) / 1000.f;
      return true;
    }
  }
  return false;
}

inline std::vector<ppen> plot_text(const char* t, float h) {
  return plot_shape([&] { gxchpl(t, (int)std::strlen(t), 1, 1, h, h, 0); }, 1, 1);
}

// A fresh common state and graphics frame with the display results of the
// test; the results (and transposed copies) are released at the end.
class PlotFrame : public testing::Test {
 protected:
  void SetUp() override {
    pcm = frame_state();
    pcm->rescount = pcm->relcount = 0;
    pcm->ccolor = 1;
    pcm->cmark = 0;
    pcm->cstyle = 1;
    pcm->logo = 0;
    pcm->timelab = 0;
    pcm->xlab = pcm->ylab = 0;
    for (int d = 0; d < 4; d++) pcm->vary[d] = 0;
    // settings the state reset may leave from an earlier test
    pcm->gxout_tser = pcm->gxout_1dvec = 0;
    pcm->gxout_stn = 1;
    pcm->mdldig3 = pcm->missconn = pcm->stid = pcm->xyrev = 0;
    pcm->vrangeset = pcm->vrange2set = pcm->arrflag = 0;
    pcm->barbaseset = pcm->bargap = pcm->baropts = 0;
    pcm->lfcols[0] = 2;
    pcm->lfcols[1] = 3;
    pcm->hempref = -1;
    pcm->frame = 1;
  }
  void TearDown() override {
    for (int i = 0; i < pcm->relcount; i++) {
      if (pcm->restype[i] == 1) omgfre(static_cast<gridres*>(pcm->resptr[i]));
      else omsfre(static_cast<stnlist*>(pcm->resptr[i]));
      pcm->resptr[i] = nullptr;
    }
    pcm->rescount = pcm->relcount = 0;
  }
  gridres* add(gridres* g) {
    pcm->restype[pcm->rescount] = 1;
    pcm->resptr[pcm->rescount++] = g;
    pcm->relcount = pcm->rescount;
    return g;
  }
  stnlist* add(stnlist* s) {
    pcm->restype[pcm->rescount] = 0;
    pcm->resptr[pcm->rescount++] = s;
    pcm->relcount = pcm->rescount;
    return s;
  }
  // A 1-D grid along dim with world = grid index.
  gridres* line(int dim, const std::vector<float>& v) {
    return add(mkgrid(dim, -1, (int)v.size(), 1, v));
  }
  void env(float lon1, float lon2, float lat1, float lat2, float lev1 = 1, float lev2 = 1) {
    pcm->wlo[0] = lon1;
    pcm->whi[0] = lon2;
    pcm->wlo[1] = lat1;
    pcm->whi[1] = lat2;
    pcm->wlo[2] = lev1;
    pcm->whi[2] = lev2;
  }
  template <class F>
  std::string out(F f) {
    return frame_capture(f);
  }
  cmnstate* pcm = nullptr;
};

inline bool has(const std::string& s, const std::string& t) { return s.find(t) != std::string::npos; }
