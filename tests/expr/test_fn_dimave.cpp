// Reductions along one dimension: weights of time, latitude, longitude and
// level steps, increments, exact boundaries, extremes and their indexes,
// undefined points, every refusal, and an interrupt in a long walk.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "test_fn_data.h"

namespace {


// u at the point (1, 1) runs 3, 7, 7, 2, undefined, 1 in time; v is
// undefined at x = 2 always and at x = 3 except at times 2 and 4.
float dimval(int var, int x, int y, int z, int t) {
  if (var == 0) return fts(x, y, t);
  if (var == 1) return 10.0f * z + x;
  if (var == 2) {
    if (x == 1 && y == 1) {
      const float s[6] = {3, 7, 7, 2, FUNDEF, 1};
      return s[t - 1];
    }
    return static_cast<float>(x + t);
  }
  if (x == 2) return FUNDEF;
  if (x == 3 && t != 2 && t != 4) return FUNDEF;
  return static_cast<float>(t * 10 + x);
}

struct DimFns : testing::Test {
  fnset ds{fnaxes{}, dimval};
  evalstat st = ds.xy();
  // The result at (x, y) of an expression that must succeed.
  float val(const char* e, int x, int y, const evalstat& s) {
    evalout o = fnrun(e, s);
    EXPECT_EQ(o.rc, 0) << e << o.msg;
    if (o.rc) return 0;
    float r = at(o, x - 1, y - 1);
    omfree(&o.st);
    return r;
  }
  float val(const char* e, int x, int y) { return val(e, x, y, st); }
};

TEST_F(DimFns, TimeAveragesSumsAndIncrements) {
  for (int y = 1; y <= 5; y += 2)
    for (int x = 1; x <= 8; x += 3) {
      double all = 0, odd = 0;
      for (int t = 1; t <= 6; t++) all += fts(x, y, t);
      for (int t = 1; t <= 6; t += 2) odd += fts(x, y, t);
      EXPECT_NEAR(val("ave(ts,t=1,t=6)", x, y), all / 6, 1e-5);
      EXPECT_NEAR(val("mean(ts,time=jan1990,time=jun1990)", x, y), all / 6, 1e-5);
      EXPECT_NEAR(val("sum(ts,t=1,t=6)", x, y), all, 1e-5);
      EXPECT_NEAR(val("sumg(ts,t=1,t=6)", x, y), all, 1e-5);
      EXPECT_NEAR(val("ave(ts,t=1,t=6,2)", x, y), odd / 3, 1e-5);
      EXPECT_NEAR(val("ave(ts,t=1,t=6,2mo)", x, y), odd / 3, 1e-5);
      // Exact boundaries weigh the end steps by the fraction inside.
      double frac = 0.3 * fts(x, y, 1) + fts(x, y, 2) + 0.9 * fts(x, y, 3);
      EXPECT_NEAR(val("ave(ts,t=1.2,t=3.4,-b)", x, y), frac / 2.2, 1e-5);
      EXPECT_NEAR(val("sum(ts,t=1.2,t=3.4,-bounds)", x, y), frac, 1e-5);
      EXPECT_NEAR(val("ave(ts,t=1.5,t=3.5,-b)", x, y), (fts(x, y, 2) + fts(x, y, 3)) / 2, 1e-5);
      // Bounds on grid points: the end steps count half.
      EXPECT_NEAR(val("ave(ts,t=1,t=5,2,-b)", x, y),
                  (0.5 * fts(x, y, 1) + fts(x, y, 3) + 0.5 * fts(x, y, 5)) / 2, 1e-5);
      // A single step or a reversed range gives the expression at the start.
      EXPECT_FLOAT_EQ(val("ave(ts,t=3,t=3)", x, y), fts(x, y, 3));
      EXPECT_FLOAT_EQ(val("sum(ts,t=4,t=2)", x, y), fts(x, y, 4));
    }
  // The time dimension is removed from the result.
  evalstat xt = st;
  xt.jdim = 3;
  evalout o = fnrun("ave(ts,t=1,t=6)", xt);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(o.st.result.pgr->idim, 0);
  EXPECT_EQ(o.st.result.pgr->jdim, -1);
  omfree(&o.st);
}

uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// Sums are formed point by point in step order: the same float additions
// as a plain loop over the defined steps, to the bit (a sum reordered
// across steps would round differently), and a sum of negative zeros stays
// negative.  ts is undefined at some steps, the first two of them at x = 1;
// at x = 8 the odd ones; t (at level 1) is ts times zero, a zero of the
// sign of ts.
bool sumundef(int x, int y, int t) {
  return (x == 1 && t <= 2) || (x == 8 && t % 2 == 1) || (3 * x + y + t) % 4 == 0;
}
float sumval(int var, int x, int y, int z, int t) {
  if (sumundef(x, y, t)) return FUNDEF;
  return var == 0 ? fts(x, y, t) : fts(x, y, t) * 0.0f;
}

TEST(DimFnsExact, TimeSumsAreAddedInStepOrderToTheBit) {
  fnset ds{fnaxes{}, sumval};
  evalstat st = ds.xy();
  auto run = [&](const char* e, int x, int y) {
    evalout o = fnrun(e, st);
    EXPECT_EQ(o.rc, 0) << e << o.msg;
    float r = o.rc ? 0 : at(o, x - 1, y - 1);
    if (o.rc == 0) omfree(&o.st);
    return r;
  };
  // The reference: defined steps from t1 to t2 by dt, added in order.
  auto ref = [&](int var, int x, int y, int t1, int dt, float* s, float* n) {
    bool have = false;
    for (int t = t1; t <= 6; t += dt) {
      if (sumundef(x, y, t)) continue;
      float v = sumval(var, x, y, 1, t) * 1.0f;
      *s = have ? *s + v : v;
      *n = have ? *n + 1.0f : 1.0f;
      have = true;
    }
    if (!have) *s = FUNDEF;
    return have;
  };
  int reordered = 0, negzero = 0, undef = 0;
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 8; x++) {
      float s = 0, n = 0, z = 0, nz = 0, odd = 0, nodd = 0;
      bool any = ref(0, x, y, 1, 1, &s, &n);
      ref(1, x, y, 1, 1, &z, &nz);
      bool anyodd = ref(0, x, y, 1, 2, &odd, &nodd);
      float back = 0;
      for (int t = 6; t >= 1; t--)
        if (!sumundef(x, y, t)) back += fts(x, y, t);
      reordered += any && bits(back) != bits(s);
      negzero += any && std::signbit(z);
      undef += !anyodd;
      EXPECT_EQ(bits(run("sum(ts,t=1,t=6)", x, y)), bits(s)) << x << "," << y;
      EXPECT_EQ(bits(run("sumg(ts,t=1,t=6)", x, y)), bits(s)) << x << "," << y;
      EXPECT_EQ(bits(run("ave(ts,t=1,t=6)", x, y)), bits(any ? s / n : FUNDEF)) << x << "," << y;
      EXPECT_EQ(bits(run("ave(ts,t=1,t=6,2)", x, y)), bits(anyodd ? odd / nodd : FUNDEF))
          << x << "," << y;
      EXPECT_EQ(bits(run("sum(t,t=1,t=6)", x, y)), bits(z)) << x << "," << y;
      EXPECT_EQ(bits(run("sumg(t,t=1,t=6)", x, y)), bits(z)) << x << "," << y;
    }
  // The data tells the orders apart, holds sums of negative zeros and
  // points undefined at every step taken.
  EXPECT_GT(reordered, 0);
  EXPECT_GT(negzero, 0);
  EXPECT_GT(undef, 0);
}

// A long mean keeps its weight sums as one number while every point has
// been defined: ts is defined everywhere at steps 1 to 3, undefined at
// some points at steps 4 and 5; t is defined at every step.  The results
// are the in-order float sums, whether the first gap comes after the first
// two steps, at the last step merged, or never.
bool gapundef(int var, int x, int y, int t) {
  return var == 0 && (t == 4 || t == 5) && (x + y) % 3 == 0;
}
float gapval(int var, int x, int y, int z, int t) {
  return gapundef(var, x, y, t) ? FUNDEF : fts(x, y, t) * (var == 0 ? 1.0f : 0.5f);
}

TEST(DimFnsExact, WeightSumsStayExactWhenGapsComeLate) {
  fnset ds{fnaxes{}, gapval};
  evalstat st = ds.xy();
  auto run = [&](const std::string& e, int x, int y) {
    evalout o = fnrun(e.c_str(), st);
    EXPECT_EQ(o.rc, 0) << e << o.msg;
    float r = o.rc ? 0 : at(o, x - 1, y - 1);
    if (o.rc == 0) omfree(&o.st);
    return r;
  };
  int gaps = 0;
  for (int var = 0; var <= 1; var++)
    for (int dt = 1; dt <= 2; dt++)
      for (int y = 1; y <= 5; y++)
        for (int x = 1; x <= 8; x++) {
          float s = 0, n = 0;
          bool have = false;
          for (int t = 1; t <= 6; t += dt) {
            if (gapundef(var, x, y, t)) continue;
            const float v = gapval(var, x, y, 1, t) * 1.0f;
            s = have ? s + v : v;
            n = have ? n + 1.0f : 1.0f;
            have = true;
          }
          gaps += n < (dt == 1 ? 6.0f : 3.0f);
          const std::string arg = std::string(var == 0 ? "ts" : "t") + ",t=1,t=6" + (dt == 2 ? ",2)" : ")");
          EXPECT_EQ(bits(run("ave(" + arg, x, y)), bits(s / n)) << arg << x << "," << y;
          EXPECT_EQ(bits(run("mean(" + arg, x, y)), bits(s / n)) << arg << x << "," << y;
          EXPECT_EQ(bits(run("sum(" + arg, x, y)), bits(s)) << arg << x << "," << y;
          EXPECT_EQ(bits(run("sumg(" + arg, x, y)), bits(s)) << arg << x << "," << y;
        }
  EXPECT_EQ(gaps, 2 * 14);  // 14 of the 40 points have gaps, in both walks of ts
}

TEST_F(DimFns, SpaceAveragesWeighBoxes) {
  evalstat xo = st;  // a longitude section: only X varies
  xo.jdim = -1;
  const double e[6] = {-90, -60, -20, 20, 60, 90};
  const double d2r = 3.1416 / 180.0;
  for (int x = 1; x <= 8; x += 2) {
    double s = 0, w = 0, sm = 0, wm = 0;
    for (int y = 1; y <= 5; y++) {
      double wy = std::fabs(std::sin(e[y] * d2r) - std::sin(e[y - 1] * d2r));
      s += wy * fts(x, y, 1);
      w += wy;
      sm += (e[y] - e[y - 1]) * fts(x, y, 1);
      wm += e[y] - e[y - 1];
    }
    EXPECT_NEAR(val("ave(ts,lat=-90,lat=90)", x, 1, xo), s / w, 1e-5);
    EXPECT_NEAR(val("mean(ts,y=1,y=5)", x, 1, xo), sm / wm, 1e-5);
  }
  evalstat yo = st;  // a latitude section
  yo.idim = 1;
  yo.jdim = -1;
  for (int y = 1; y <= 5; y++) {
    double half = 0.5 * fts(1, y, 1) + fts(2, y, 1) + 0.5 * fts(3, y, 1);
    EXPECT_NEAR(val("sum(ts,lon=0,lon=90,-b)", y, 1, yo), half, 1e-5);
    EXPECT_NEAR(val("sumg(ts,lon=0,lon=90)", y, 1, yo), fts(1, y, 1) + fts(2, y, 1) + fts(3, y, 1),
                1e-5);
    EXPECT_NEAR(val("sum(ts,lon=0,lon=90)", y, 1, yo), fts(1, y, 1) + fts(2, y, 1) + fts(3, y, 1),
                1e-5);
  }
  // Levels: signed extents of a decreasing axis still average.
  double s = 0, w = 0;
  for (int z = 1; z <= 4; z++) {
    double wz = ds.world(2, z + 0.5) - ds.world(2, z - 0.5);
    s += wz * (10.0 * z + 4);
    w += wz;
  }
  EXPECT_NEAR(val("ave(t,z=1,z=4)", 4, 2), s / w, 1e-4);
  EXPECT_NEAR(val("ave(t,lev=1000,lev=200)", 4, 2), s / w, 1e-4);
}

TEST_F(DimFns, ExtremesIndexesAndUndefinedPoints) {
  EXPECT_EQ(val("max(u,t=1,t=5)", 1, 1), 7.0f);
  EXPECT_EQ(val("maxloc(u,t=1,t=5)", 1, 1), 2.0f);  // the earlier of the tied maxima
  EXPECT_EQ(val("min(u,t=1,t=5)", 1, 1), 2.0f);
  EXPECT_EQ(val("minloc(u,t=1,t=6)", 1, 1), 6.0f);
  // 10-u runs 7, 3, 3: the earlier of the tied minima, whether the tie
  // comes after a first step or is between the first two.
  EXPECT_EQ(val("minloc(10-u,t=1,t=3)", 1, 1), 2.0f);
  EXPECT_EQ(val("minloc(10-u,t=2,t=3)", 1, 1), 2.0f);
  EXPECT_EQ(val("maxloc(u,t=2,t=3)", 1, 1), 2.0f);
  EXPECT_EQ(val("minloc(u,t=2,t=1)", 1, 1), 2.0f);  // a single step gives its index
  EXPECT_EQ(val("maxloc(u,t=1,t=6)", 4, 3), 10.0f / 10 * 6);
  EXPECT_EQ(val("minloc(u,t=1,t=6)", 4, 3), 1.0f);
  // Undefined at every step stays undefined in every variant.
  for (const char* e : {"ave(v,t=1,t=6)", "mean(v,t=1,t=6)", "sum(v,t=1,t=6)", "sumg(v,t=1,t=6)",
                        "min(v,t=1,t=6)", "max(v,t=1,t=6)", "minloc(v,t=1,t=6)",
                        "maxloc(v,t=1,t=6)"})
    EXPECT_EQ(val(e, 2, 1), FUNDEF) << e;
  // Defined at some steps only: those steps alone count.
  EXPECT_FLOAT_EQ(val("ave(v,t=1,t=6)", 3, 1), (23.0f + 43.0f) / 2);
  EXPECT_FLOAT_EQ(val("sumg(v,t=1,t=6)", 3, 1), 66.0f);
  EXPECT_FLOAT_EQ(val("minloc(v,t=1,t=6)", 3, 1), 2.0f);
  EXPECT_FLOAT_EQ(val("maxloc(v,t=1,t=6)", 3, 1), 4.0f);
  EXPECT_FLOAT_EQ(val("max(v,t=3,t=6)", 3, 1), 43.0f);
}

TEST_F(DimFns, RefusalsAndRangeLines) {
  struct {
    const char* e;
    const char* fname;
    std::string msg;
  } cases[] = {
      {"ave(ts,t=1)", "ave",
       "Error from AVE:  Too many or too few args \n                 3 to 5 arguments expected \n"},
      {"maxloc(ts,t=1,t=2,3,-b,4)", "maxloc",
       "Error from MAXLOC:  Too many or too few args \n                 3 to 5 arguments expected \n"},
      {"mean(ts,q=1,t=2)", "mean",
       "Syntax Error:  Invalid dimension expression\n"
       "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found q\n"
       "Error from MEAN:  1st dimension expression invalid\n"},
      {"sum(ts,t=1,lat=2)", "sum", "Error from SUM:  2nd dimension expression invalid\n"},
      {"min(ts,t=1,t=2,-x)", "min", "Error from MIN: Invalid option flags\n"},
      {"max(ts,t=1,t=2,2,b)", "max", "Error from MAX: Invalid option flags\n"},
      {"ave(ts,lon=0,lon=360,3)", "ave",
       "Error from AVE: Invalid usage of increment value\n"
       "                Can only be used with time averaging\n"},
      // An increment of 0 would never advance.
      {"ave(ts,t=1,t=6,0)", "ave", "Error from AVE: Invalid time increment argument\n"},
      {"ave(ts,t=1,t=6,+0)", "ave", "Error from AVE: Invalid time increment argument\n"},
      {"sumg(ts,t=1,t=6,2mn)", "sumg", "Error from SUMG: Invalid time increment argument\n"},
      {"sumg(ts,t=1,t=6,1dy)", "sumg", "Error from SUMG: Invalid time increment argument\n"},
      {"ave(ts,t=1,t=6,xyz)", "ave", "Error from AVE: Invalid time increment argument\n"},
      // A bound far beyond any axis would make a walk without end.
      {"ave(ts,t=1,t=1e12)", "ave", "Error from AVE:  2nd dimension expression invalid\n"},
  };
  for (auto& c : cases) {
    evalout o = fnrun(c.e, st);
    EXPECT_EQ(o.rc, 1) << c.e;
    EXPECT_EQ(o.msg, failtext(c.msg, c.fname)) << c.e;
  }
  // The range line follows the warning switch.
  evalout o = fnrun("ave(ts,t=1,t=6,2)", st, 1);
  EXPECT_EQ(o.msg, "Averaging.  dim = 3, start = 1, end = 6\n");
  omfree(&o.st);
  o = fnrun("sum(ts,lon=0,lon=90)", st, 2);
  EXPECT_EQ(o.msg, "SUMing.  dim = 0, start = 1, end = 3\n");
  omfree(&o.st);
  o = fnrun("maxloc(ts,t=1.2,t=3.4,-b)", st, 1);
  EXPECT_EQ(o.msg, "MAXLOCing.  dim = 3, start = 1, end = 3\n");
  omfree(&o.st);
  o = fnrun("ave(ts,t=1,t=6)", st, 0);
  EXPECT_EQ(o.msg, "");
  omfree(&o.st);
}

TEST(DimFnsAxes, IncrementsInMinutesAndAStillTimeAxis) {
  fnaxes a;
  a.nx = 2;
  a.ny = 2;
  a.nz = 1;
  a.zdef = "linear 1000 1";
  a.nt = 12;
  a.tdef = "linear 0z1jan1990 6hr";
  fnset ds(a, [](int, int x, int, int, int t) { return static_cast<float>(x * 100 + t); });
  evalstat st = ds.xy();
  evalout o = fnrun("ave(ts,t=1,t=12,1dy)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_FLOAT_EQ(at(o, 0), 100 + (1 + 5 + 9) / 3.0f);
  omfree(&o.st);
  o = fnrun("ave(ts,t=1,t=12,45mn)", st);
  EXPECT_EQ(o.msg, failtext("Error from AVE: Invalid time increment argument\n", "ave"));
  // A time axis whose increments are both 0 cannot be walked.
  ds.pfi->grvals[3][5] = 0;
  ds.pfi->grvals[3][6] = 0;
  o = fnrun("ave(ts,t=1,t=3)", st);
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.msg, failtext("Error from AVE: Invalid time increment argument\n", "ave"));
  evalstat xt = st;
  xt.jdim = 3;
  gr2t(ds.pfi->grvals[3], 3, &xt.tmax);
  o = fnrun("tloop(ts)", xt);
  EXPECT_EQ(o.msg, failtext("Error from TLOOP:  Invalid time axis \n", "tloop"));
}

TEST(DimFnsAxes, NoDefaultFileRefusesTheBounds) {
  evalout o = evaltext("ave(1,t=1,t=2)");
  EXPECT_EQ(o.msg, failtext("Error from AVE:  1st dimension expression invalid\n", "ave"));
  o = evaltext("aave(1,global)");
  EXPECT_EQ(o.msg, failtext("Error from AAVE:  Invalid dimension expression \n", "aave"));
}

// The interrupt arrives while step `stopat` is being read: the reader hook
// of the data set stands in for the user's Ctrl-C at a known point of the
// walk, so the test does not depend on how fast the machine is.
int readcalls = 0;
int lastread = 0;
const int stopat = 1000;
int interruptingread(gridres* pgr, float* gr) {
  readcalls++;
  lastread = pgr->dimmin[3];
  gr[0] = static_cast<float>(lastread % 7);
  if (lastread == stopat) gcmn.sigflg = 1;
  return 0;
}

TEST(DimFnsInterrupt, AnInterruptEndsALongWalkCleanly) {
  fnaxes a;
  a.nx = 1;
  a.ny = 1;
  a.nz = 1;
  a.zdef = "linear 1000 1";
  a.nt = 2000000;
  a.tdef = "linear 0z1jan1900 1mn";
  fnset ds(a, [](int, int, int, int, int t) { return static_cast<float>(t % 7); });
  evalstat st = ds.xy();
  st.idim = st.jdim = -1;
  ds.pfi->ncflg = 1;
  ds.pfi->sdfread = interruptingread;
  readcalls = lastread = 0;
  gcmn.sigflg = 0;
  // Called as the handler, as the evaluator would after its own check.
  fargs fa{};
  std::snprintf(fa.abuf, sizeof fa.abuf, "ts");
  std::snprintf(fa.abuf + 3, sizeof fa.abuf - 3, "t=1");
  std::snprintf(fa.abuf + 7, sizeof fa.abuf - 7, "t=2000000");
  fa.argnum = 3;
  fa.argpnt[0] = fa.abuf;
  fa.argpnt[1] = fa.abuf + 3;
  fa.argpnt[2] = fa.abuf + 7;
  int rc = 0;
  std::string msg = captured([&] { rc = ffave(&fa, &st); });
  ds.pfi->ncflg = 0;
  ds.pfi->sdfread = nullptr;
  bool hit = gcmn.sigflg == 1;
  gcmn.sigflg = 0;
  ASSERT_TRUE(hit);
  // The walk stops at its next evaluation: nothing past the step that was
  // being read when the interrupt came is read.
  EXPECT_EQ(readcalls, stopat);
  EXPECT_EQ(lastread, stopat);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(msg, "Error from AVE:  Error getting grids \n");
  EXPECT_EQ(st.result.pgr, nullptr);
}

}  // namespace
