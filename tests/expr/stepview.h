// What the tests of reductions whose steps are merged from a data file's
// map share, whatever kind of data set holds the steps: a run of an
// expression with the bits of its grid and the views it took, and every
// reduction over the bare variable compared with the same over "(v)", the
// variable taken through the whole evaluator.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/gridview.h"
#include "test_fn_data.h"

inline uint32_t bitsof(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// A run: its points' bits, its messages and the views it took.
struct viewrun {
  int rc = 0;
  std::string msg;
  std::vector<uint32_t> bits;
  long views = 0;
};

inline viewrun runof(const std::string& e, const evalstat& st) {
  viewrun r;
  const long before = omgviews();
  evalout o = fnrun(e.c_str(), st);
  r.views = omgviews() - before;
  r.rc = o.rc;
  r.msg = o.msg;
  if (o.rc == 0) {
    const gridres* g = o.st.result.pgr;
    for (size_t k = 0; k < static_cast<size_t>(g->isiz) * g->jsiz; k++) r.bits.push_back(bitsof(g->grid[k]));
    omfree(&o.st);
  }
  return r;
}

inline const char* const kReductions[] = {"ave", "mean", "sum", "sumg", "min", "max", "minloc", "maxloc"};

// Every reduction over the bare variable and over "(v)": the same bits and
// messages; returns the views the bare runs took.
inline long sameasgrids(const evalstat& st, const std::string& range) {
  long views = 0;
  for (const char* f : kReductions) {
    const std::string bare = std::string(f) + "(v," + range + ")";
    const std::string wrapped = std::string(f) + "((v)," + range + ")";
    viewrun a = runof(bare, st), b = runof(wrapped, st);
    EXPECT_EQ(a.rc, 0) << bare << a.msg;
    EXPECT_EQ(a.rc, b.rc) << bare;
    EXPECT_EQ(a.msg, b.msg) << bare;
    EXPECT_EQ(b.views, 0) << wrapped;
    EXPECT_TRUE(a.bits == b.bits) << bare;
    views += a.views;
  }
  return views;
}

// An evaluation status over the file: X from 1 to x2 and Y over its ny
// points, at its first level and time.
inline evalstat xyof(datafile* pfi, int x2, int ny) {
  evalstat st = blankst();
  st.filehead = st.dfile = pfi;
  st.dfilenum = 1;
  st.idim = 0;
  st.jdim = 1;
  st.dmin[0] = static_cast<float>(fnworld(pfi, 0, 1));
  st.dmax[0] = static_cast<float>(fnworld(pfi, 0, x2));
  st.dmin[1] = static_cast<float>(fnworld(pfi, 1, 1));
  st.dmax[1] = static_cast<float>(fnworld(pfi, 1, ny));
  st.dmin[2] = st.dmax[2] = static_cast<float>(fnworld(pfi, 2, 1));
  gr2t(pfi->grvals[3], 1, &st.tmin);
  st.tmax = st.tmin;
  return st;
}
