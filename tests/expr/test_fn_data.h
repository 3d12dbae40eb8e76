// Data sets written at test time for the analysis-function tests: a
// descriptor with chosen axes, four variables (ts at the surface, t, u and
// v on every level) whose values come from a function of the variable and
// the 1-based grid indexes, and an evaluation status over it.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "expr/fn_common.h"
#include "expr/omfunc.h"
#include "vartest.h"

constexpr float FUNDEF = -9.99e8f;

using valfn = std::function<float(int var, int x, int y, int z, int t)>;

struct fnaxes {
  int nx = 8, ny = 5, nz = 4, nt = 6;
  std::string xdef = "linear 0 45";
  std::string ydef = "linear -80 40";
  std::string zdef = "levels 1000 850 500 200";
  std::string tdef = "linear 0z1jan1990 1mo";
};

// Axes with six pressure levels, 1000 to 300.
inline fnaxes levaxes() {
  fnaxes a;
  a.nz = 6;
  a.zdef = "levels 1000 925 850 700 500 300";
  return a;
}

// A smooth field of both signs that changes with every step of X, Y and T.
inline float fts(int x, int y, int t) {
  return std::sin(0.9f * x + 0.4f * y + 0.3f * t) + 0.1f * y;
}

struct fnset {
  scratchdir sd;
  datafile* pfi = nullptr;
  fnaxes ax;
  std::string out;

  fnset(const fnaxes& a, const valfn& f) : ax(a) {
    std::vector<float> v;
    v.reserve(static_cast<size_t>(a.nx) * a.ny * (1 + 3 * a.nz) * a.nt);
    for (int t = 1; t <= a.nt; t++)
      for (int var = 0; var < 4; var++)
        for (int z = 1; z <= (var == 0 ? 1 : a.nz); z++)
          for (int y = 1; y <= a.ny; y++)
            for (int x = 1; x <= a.nx; x++) v.push_back(f(var, x, y, var == 0 ? 0 : z, t));
    sd.write("f.bin", std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
    std::string n = std::to_string(a.nz);
    std::string ctl = sd.write(
        "f.ctl", "dset ^f.bin\nundef -9.99e8\noptions little_endian\n"
                 "xdef " + std::to_string(a.nx) + " " + a.xdef + "\n"
                 "ydef " + std::to_string(a.ny) + " " + a.ydef + "\n"
                 "zdef " + std::to_string(a.nz) + " " + a.zdef + "\n"
                 "tdef " + std::to_string(a.nt) + " " + a.tdef + "\n"
                 "vars 4\nts 0 99 surface\nt " + n + " 99 t\nu " + n + " 99 u\nv " + n +
                 " 99 v\nendvars\n");
    pfi = getpfi();
    out = captured([&] { EXPECT_EQ(omddes(ctl.c_str(), pfi, 1), 0); });
    pfi->infile = std::fopen(pfi->name.c_str(), "rb");
    EXPECT_NE(pfi->infile, nullptr) << out;
  }
  ~fnset() {
    if (pfi->infile) std::fclose(pfi->infile);
    frepfi(pfi, 0);
  }
  double world(int d, double g) const { return fnworld(pfi, d, g); }

  // X and Y varying over the whole grid, at the first level and time.
  evalstat xy() const {
    evalstat st = blankst();
    st.filehead = st.dfile = pfi;
    st.dfilenum = 1;
    st.idim = 0;
    st.jdim = 1;
    st.dmin[0] = static_cast<float>(world(0, 1));
    st.dmax[0] = static_cast<float>(world(0, ax.nx));
    st.dmin[1] = static_cast<float>(world(1, 1));
    st.dmax[1] = static_cast<float>(world(1, ax.ny));
    st.dmin[2] = st.dmax[2] = static_cast<float>(world(2, 1));
    gr2t(pfi->grvals[3], 1, &st.tmin);
    st.tmax = st.tmin;
    return st;
  }
  // Nothing varying: the point (x, y) at level 1 and time 1.
  evalstat point(int x, int y) const {
    evalstat st = xy();
    st.idim = st.jdim = -1;
    st.dmin[0] = st.dmax[0] = static_cast<float>(world(0, x));
    st.dmin[1] = st.dmax[1] = static_cast<float>(world(1, y));
    return st;
  }
};

// Evaluates text on a copy of base with the warning switch at w.
inline evalout fnrun(const char* text, const evalstat& base, int w = 0) {
  int keep = mfcmn.mfwarn;
  mfcmn.mfwarn = w;
  evalout o = evalon(text, base);
  mfcmn.mfwarn = keep;
  return o;
}

// The value at (i, j) of a grid result (0-based, i fastest).
inline float at(const evalout& o, int i, int j = 0) {
  const gridres* g = o.st.result.pgr;
  return g->grid[static_cast<size_t>(j) * g->isiz + i];
}

// The text of a failed call: its own lines, then the evaluator's.
inline std::string failtext(const std::string& own, const char* fname) {
  return own + "Operation Error:  Error from " + fname + " function\n  Error ocurred at column 1\n";
}
