// Helpers of the plot-output tests: a common state with its defaults and a
// results table filled with grids and station lists made in the test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/cmnstate.h"
#include "plot/fwfile.h"
#include "expr/exprtest.h"

class PlotTest : public ::testing::Test {
 public:
  void SetUp() override {
    ominit();
    st = gcmn;
    st.gds = &gds;
    char tmpl[] = "/tmp/omplottestXXXXXX";
    char* d = mkdtemp(tmpl);
    dir = d ? d : "/tmp";
  }
  void TearDown() override {
    omfwclose(&st);
    for (int i = 0; i < st.rescount; i++) {
      if (st.restype[i] == 1) omgfre(static_cast<gridres*>(st.resptr[i]));
      else omsfre(static_cast<stnlist*>(st.resptr[i]));
    }
    if (dir != "/tmp") (void)!std::system(("rm -rf '" + dir + "'").c_str());
  }
  void add(gridres* g) {
    st.restype[st.rescount] = 1;
    st.resptr[st.rescount++] = g;
  }
  void add(stnlist* s) {
    st.restype[st.rescount] = 0;
    st.resptr[st.rescount++] = s;
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  std::string slurp(const std::string& name) const {
    std::string out;
    FILE* f = std::fopen(path(name).c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
  }
  bool exists(const std::string& name) const { return access(path(name).c_str(), F_OK) == 0; }

  cmnstate st;
  gdsopts gds;
  std::string dir;
};
