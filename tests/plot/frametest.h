// Helpers of the plot-frame tests: a fresh common state and graphics
// package, hand-made grids and captured output.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/axisconv.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "gx/gx.h"

inline cmnstate* frame_state() {
  setenv("OMDDIR", OMBRA_SOURCE_DIR "/share", 0);
  testing::internal::CaptureStdout();
  ominit();
  gcmn.batch = 1;
  gcmn.pagew = gcmn.vpagew = 11;
  gcmn.pageh = gcmn.vpageh = 8.5f;
  gcmn.plotxlo = 0;
  gcmn.plotxhi = 11;
  gcmn.plotylo = 0;
  gcmn.plotyhi = 8.5f;
  gxstrt(gcmn.vpagew, gcmn.vpageh, 1);
  testing::internal::GetCapturedStdout();
  return &gcmn;
}

// A linear conversion pair for an axis starting at start with step incr:
// the grid-to-world half and the world-to-grid half (malloc'ed, 6 floats).
inline float* frame_linear(float start, float incr) {
  float* v = static_cast<float*>(malloc(6 * sizeof(float)));
  v[0] = incr;
  v[1] = start - incr;
  v[2] = AXEND;
  v[3] = 1 / incr;
  v[4] = -(start - incr) / incr;
  v[5] = AXEND;
  return v;
}

// A time axis starting at the given time, stepping in minutes or months.
inline float* frame_taxis(datetime t, float mos, float mins) {
  float* v = static_cast<float*>(malloc(8 * sizeof(float)));
  v[0] = (float)t.yr;
  v[1] = (float)t.mo;
  v[2] = (float)t.dy;
  v[3] = (float)t.hr;
  v[4] = (float)t.mn;
  v[5] = mos;
  v[6] = mins;
  v[7] = AXEND;
  return v;
}

// A grid record (not from omgnew) over the given dimensions with linear
// axes; values are left to the caller.
struct frame_grid {
  gridres g{};
  std::vector<float> data;
  float* iv = nullptr;
  float* jv = nullptr;
  frame_grid(int idim, int isiz, float* ivals, int jdim, int jsiz, float* jvals) {
    data.assign((size_t)isiz * jsiz, 0.0f);
    g.grid = data.data();
    g.undef = -9.99e33f;
    g.isiz = isiz;
    g.jsiz = jsiz;
    g.idim = idim;
    g.jdim = jdim;
    for (int d = 0; d < 4; d++) g.dimmin[d] = g.dimmax[d] = 1;
    if (idim >= 0) g.dimmax[idim] = isiz;
    if (jdim >= 0) g.dimmax[jdim] = jsiz;
    iv = ivals;
    jv = jvals;
    g.ivals = ivals;
    g.jvals = jvals;
    if (idim != 3 && ivals) {
      g.igrab = liconv;
      g.iabgr = liconv;
      g.iavals = ivals + 3;
    }
    if (jdim != 3 && jvals) {
      g.jgrab = liconv;
      g.jabgr = liconv;
      g.javals = jvals + 3;
    }
    g.ilinr = g.jlinr = 1;
  }
  ~frame_grid() {
    free(iv);
    free(jv);
  }
};

template <class F>
std::string frame_capture(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}
