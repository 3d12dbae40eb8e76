// A small gridded data set written at test time and opened by the
// descriptor parser, with an evaluation status over it.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "data/datafile.h"
#include "data/datetime.h"
#include "exprtest.h"

// A scratch directory removed at the end of the test.
struct scratchdir {
  std::string dir;
  scratchdir() {
    char tmpl[] = "/tmp/omexprtestXXXXXX";
    char* d = mkdtemp(tmpl);
    dir = d ? d : "/tmp";
  }
  ~scratchdir() {
    if (dir != "/tmp") {
      std::string cmd = "rm -rf '" + dir + "'";
      (void)!std::system(cmd.c_str());
    }
  }
  std::string path(const std::string& n) const { return dir + "/" + n; }
  std::string write(const std::string& n, const std::string& text) const {
    std::string p = path(n);
    FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return p;
  }
};

// Grid 4 x 3, 2 levels, 3 times.  ts (surface) and t (2 levels); each value
// encodes its indexes: 1000*t + 100*z + 10*y + x (1-based); ts has z = 0.
struct testset {
  scratchdir sd;
  datafile* pfi = nullptr;
  std::string out;

  static float code(int x, int y, int z, int t) { return 1000.0f * t + 100.0f * z + 10.0f * y + x; }

  explicit testset(const std::string& name = "d") {
    std::vector<float> v;
    for (int t = 1; t <= 3; t++) {
      for (int y = 1; y <= 3; y++)
        for (int x = 1; x <= 4; x++) v.push_back(code(x, y, 0, t));
      for (int z = 1; z <= 2; z++)
        for (int y = 1; y <= 3; y++)
          for (int x = 1; x <= 4; x++) v.push_back(code(x, y, z, t));
    }
    sd.write(name + ".bin", std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
    std::string ctl = sd.write(name + ".ctl",
                               "dset ^" + name + ".bin\n"
                               "undef -9.99e8\n"
                               "xdef 4 linear 0 1\n"
                               "ydef 3 linear 10 2.5\n"
                               "zdef 2 levels 1000 500\n"
                               "tdef 3 linear 0z1jan1990 12hr\n"
                               "vars 2\n"
                               "ts 0 99 surface\n"
                               "t 2 99 temperature\n"
                               "endvars\n");
    pfi = getpfi();
    out = captured([&] { EXPECT_EQ(omddes(ctl.c_str(), pfi, 1), 0); });
    pfi->infile = std::fopen(pfi->name.c_str(), "rb");
    EXPECT_NE(pfi->infile, nullptr) << out;
  }
  ~testset() {
    if (pfi->infile) std::fclose(pfi->infile);
    frepfi(pfi, 0);
  }
};

// An evaluation status over a file: X and Y vary over the whole grid at
// level 1000 and the first time.
inline evalstat filest(datafile* pfi) {
  evalstat st = blankst();
  st.filehead = pfi;
  st.dfile = pfi;
  st.dfilenum = 1;
  st.idim = 0;
  st.jdim = 1;
  st.dmin[0] = 0;
  st.dmax[0] = 3;
  st.dmin[1] = 10;
  st.dmax[1] = 15;
  st.dmin[2] = st.dmax[2] = 1000;
  st.tmin = st.tmax = datetime{1990, 1, 1, 0, 0};
  return st;
}

inline evalout evalon(const char* text, const evalstat& base) {
  evalout o;
  o.st = base;
  o.msg = captured([&] { o.rc = omexpr(text, &o.st); });
  return o;
}
