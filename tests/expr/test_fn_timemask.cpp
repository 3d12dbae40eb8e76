// Time-masked averages, temporal correlation and regression against a
// series read at one point, checked against population statistics
// computed here.
#include <cmath>

#include "test_fn_data.h"

namespace {

const float SER[6] = {1, 2, 0.5f, 3, 1.5f, 2.5f};

float fg(int x, int y, int t) { return std::sin(0.8f * x * t + 0.3f * y) + 0.05f * t; }

// ts: a field, undefined at (2, 2); u: the series SER everywhere (so its
// area average is the series); v: 1 at times 2, 4, 5, else undefined;
// t: 2 x SER + a field constant in time.
float tmval(int var, int x, int y, int, int t) {
  if (var == 0) return (x == 2 && y == 2) ? FUNDEF : fg(x, y, t);
  if (var == 1) return 2 * SER[t - 1] + 0.1f * x * y;
  if (var == 2) return SER[t - 1];
  return (t == 2 || t == 4 || t == 5) ? 1.0f : FUNDEF;
}

struct TimeFns : testing::Test {
  fnset ds{fnaxes{}, tmval};
  evalstat st = ds.xy();
  evalout ok(const char* e, const evalstat& s) {
    evalout o = fnrun(e, s);
    EXPECT_EQ(o.rc, 0) << e << o.msg;
    return o;
  }
};

TEST_F(TimeFns, MaskedAndWeightedAverages) {
  evalout o = ok("tmave(aave(v,global),ts,t=1,t=6)", st);
  ASSERT_EQ(o.rc, 0);
  EXPECT_EQ(o.msg, "TMAVE:  dim = 3, start = 1, end = 6\n");
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 8; x++) {
      if (x == 2 && y == 2) {
        EXPECT_EQ(at(o, x - 1, y - 1), FUNDEF);
        continue;
      }
      EXPECT_NEAR(at(o, x - 1, y - 1), (fg(x, y, 2) + fg(x, y, 4) + fg(x, y, 5)) / 3, 1e-5);
    }
  omfree(&o.st);
  o = ok("tmave(aave(u,global),ts,t=1,t=6)", st);
  double sw = 0;
  for (float m : SER) sw += m;
  for (int x = 1; x <= 8; x++) {
    double s = 0;
    for (int t = 1; t <= 6; t++) s += SER[t - 1] * fg(x, 3, t);
    EXPECT_NEAR(at(o, x - 1, 2), s / sw, 1e-5);
  }
  omfree(&o.st);
}

TEST_F(TimeFns, CorrelationAndRegressionInTime) {
  evalout o = ok("tcorr(aave(u,global),t,t=1,t=6)", st);
  for (int k = 0; k < 40; k++) EXPECT_NEAR(o.st.result.pgr->grid[k], 1.0f, 1e-5);
  omfree(&o.st);
  o = ok("tregr(aave(u,global),t,t=1,t=6)", st);
  for (int k = 0; k < 40; k++) EXPECT_NEAR(o.st.result.pgr->grid[k], 2.0f, 1e-5);
  omfree(&o.st);
  // A field constant in time has no variance: undefined correlation, no
  // regression.
  o = ok("tcorr(aave(u,global),ts(t=1),t=1,t=6)", st);
  EXPECT_EQ(at(o, 0, 0), FUNDEF);
  omfree(&o.st);
  o = ok("tregr(aave(u,global),ts(t=1),t=1,t=6)", st);
  EXPECT_NEAR(at(o, 0, 0), 0.0f, 1e-6);
  omfree(&o.st);
  // Population statistics of the series against ts over times 2 .. 5.
  evalout c = ok("tcorr(aave(u,global),ts,t=2,t=5)", st);
  evalout r = ok("tregr(aave(u,global),ts,t=2,t=5)", st);
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 8; x++) {
      if (x == 2 && y == 2) {
        EXPECT_EQ(at(c, 1, 1), FUNDEF);
        EXPECT_EQ(at(r, 1, 1), FUNDEF);
        continue;
      }
      double sm = 0, sg = 0;
      for (int t = 2; t <= 5; t++) {
        sm += SER[t - 1];
        sg += fg(x, y, t);
      }
      sm /= 4;
      sg /= 4;
      double mm = 0, gg = 0, mg = 0;
      for (int t = 2; t <= 5; t++) {
        double dm = SER[t - 1] - sm, dg = fg(x, y, t) - sg;
        mm += dm * dm;
        gg += dg * dg;
        mg += dm * dg;
      }
      EXPECT_NEAR(at(c, x - 1, y - 1), mg / std::sqrt(mm * gg), 1e-4) << x << "," << y;
      EXPECT_NEAR(at(r, x - 1, y - 1), mg / mm, 1e-4) << x << "," << y;
    }
  omfree(&c.st);
  omfree(&r.st);
}

TEST_F(TimeFns, EnvironmentsEmptyRangesAndRefusals) {
  // X and T varying: time is removed and the result varies in X.
  evalstat xt = st;
  xt.jdim = 3;
  xt.dmin[1] = xt.dmax[1] = static_cast<float>(ds.world(1, 3));
  evalout o = ok("tcorr(aave(u,global),t,t=1,t=6)", xt);
  EXPECT_EQ(o.st.result.pgr->idim, 0);
  EXPECT_EQ(o.st.result.pgr->jdim, -1);
  omfree(&o.st);
  // Time alone varying gives a grid without varying dimensions.
  evalstat to = ds.point(3, 3);
  to.idim = 3;
  o = ok("tregr(aave(u,global),t,t=1,t=6)", to);
  EXPECT_NEAR(scalar(o.st), 2.0f, 1e-5);
  omfree(&o.st);
  // A reversed range or a series never defined: the field at the first
  // time with every value undefined.
  for (const char* e : {"tmave(aave(u,global),ts,t=4,t=2)", "tcorr(aave(u,global),ts,t=4,t=2)",
                        "tregr(aave(u,global),ts,t=5,t=1)", "tcorr(maskout(aave(u,global),-1),ts,t=1,t=6)"}) {
    o = ok(e, st);
    ASSERT_EQ(o.rc, 0);
    EXPECT_EQ(o.st.result.pgr->isiz, 8);
    for (int k = 0; k < 40; k++) EXPECT_EQ(o.st.result.pgr->grid[k], FUNDEF) << e;
    omfree(&o.st);
  }
  struct {
    const char* e;
    const char* fname;
    std::string msg;
  } cases[] = {
      {"tmave(u,ts,t=1)", "tmave",
       "Error from TMAVE:  Too many or too few args\n                   4 arguments expected \n"},
      {"tcorr(u,ts,lon=0,t=3)", "tcorr", "Error from TCORR:  1st dimension expr invalid\n"},
      {"tregr(u,ts,t=1,z=3)", "tregr", "Error from TREGR:  2nd dimension expr invalid\n"},
      {"tmave(ts,ts,t=1,t=3)", "tmave",
       "TMAVE:  dim = 3, start = 1, end = 3\n"
       "Error from TMAVE:  1st arg must be 0-D\nError from TMAVE:  Error getting grids\n"},
      {"tcorr(aave(u,global),nosuch,t=1,t=3)", "tcorr",
       "TCORR:  dim = 3, start = 1, end = 3\n"
       "Syntax Error:  Invalid Operand \n  'nosuch' not a variable or function name\n"
       "Error from TCORR:  Error getting grids\n"},
  };
  for (auto& c : cases) {
    o = fnrun(c.e, st);
    EXPECT_EQ(o.rc, 1) << c.e;
    EXPECT_EQ(o.msg, failtext(c.msg, c.fname)) << c.e;
    EXPECT_EQ(o.st.result.pgr, nullptr);
  }
}

}  // namespace
