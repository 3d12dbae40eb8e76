// Time loop, masks, smoothing, thinning, constants, differences and the
// level search on data written at test time.
#include <cmath>

#include "expr/udf.h"
#include "test_fn_data.h"

namespace {

// ts: a field of both signs; t: the level number; u: a field of both
// signs; v: 1.
float trval(int var, int x, int y, int z, int t) {
  if (var == 0) return fts(x, y, t);
  if (var == 1) return static_cast<float>(z);
  if (var == 2) return std::cos(1.3f * x - 0.6f * y);
  return 1.0f;
}

struct ShapeFns : testing::Test {
  fnset ds{levaxes(), trval};
  evalstat st = ds.xy();
  evalout ok(const char* e, const evalstat& s) {
    evalout o = fnrun(e, s);
    EXPECT_EQ(o.rc, 0) << e << o.msg;
    return o;
  }
  evalout ok(const char* e) { return ok(e, st); }
};

TEST_F(ShapeFns, TimeLoopJoinsTheSteps) {
  evalstat xt = st;  // X and T varying at the second latitude
  xt.jdim = 3;
  xt.dmin[1] = xt.dmax[1] = static_cast<float>(ds.world(1, 2));
  gr2t(ds.pfi->grvals[3], 6, &xt.tmax);
  evalout o = ok("tloop(ts*2)", xt);
  const gridres* g = o.st.result.pgr;
  ASSERT_EQ(g->idim, 0);
  ASSERT_EQ(g->jdim, 3);
  ASSERT_EQ(g->isiz, 8);
  ASSERT_EQ(g->jsiz, 6);
  EXPECT_EQ(g->dimmin[3], 1);
  EXPECT_EQ(g->dimmax[3], 6);
  EXPECT_EQ(g->jvals[5], 1.0f);  // the monthly time axis
  for (int t = 1; t <= 6; t++)
    for (int x = 1; x <= 8; x++) EXPECT_FLOAT_EQ(at(o, x - 1, t - 1), 2 * fts(x, 2, t));
  omfree(&o.st);
  // Time alone varying: a series of area averages.
  evalstat to = ds.point(1, 1);
  to.idim = 3;
  to.tmax = xt.tmax;
  o = ok("tloop(aave(ts,global))", to);
  ASSERT_EQ(o.st.result.pgr->idim, 3);
  ASSERT_EQ(o.st.result.pgr->isiz, 6);
  for (int t = 1; t <= 6; t++) {
    evalstat one = st;
    gr2t(ds.pfi->grvals[3], t, &one.tmin);
    one.tmax = one.tmin;
    evalout a = ok("aave(ts,global)", one);
    EXPECT_FLOAT_EQ(at(o, t - 1), scalar(a.st));
    omfree(&a.st);
  }
  omfree(&o.st);
  // Without a varying time the argument is evaluated as it is.
  evalstat at3 = st;
  gr2t(ds.pfi->grvals[3], 3, &at3.tmin);
  at3.tmax = at3.tmin;
  o = ok("tloop(ts)", at3);
  EXPECT_EQ(o.st.result.pgr->jdim, 1);
  EXPECT_FLOAT_EQ(at(o, 4, 2), fts(5, 3, 3));
  omfree(&o.st);
  o = fnrun("tloop(ts,ts)", xt);
  EXPECT_EQ(o.msg, failtext("Error from TLOOP:  Too many or too few args \n"
                            "                   1 argument expected \n",
                            "tloop"));
}

TEST_F(ShapeFns, MaskSmoothAndThin) {
  evalout o = ok("maskout(ts,u)");
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 8; x++) {
      float m = std::cos(1.3f * x - 0.6f * y);
      EXPECT_EQ(at(o, x - 1, y - 1), m < 0 ? FUNDEF : fts(x, y, 1));
    }
  omfree(&o.st);
  o = fnrun("maskout(ts)", st);
  EXPECT_EQ(o.msg, failtext("Error from MASKOUT:  Too many or too few args \n"
                            "                     Two arguments expected \n",
                            "maskout"));

  // Nine-point smoothing with the neighbours that exist and are defined.
  auto def = [](int x, int y) { return std::cos(1.3f * x - 0.6f * y) >= 0; };
  auto smooth = [&](int x, int y, float p, float q, float r, bool masked) {
    double s = fts(x, y, 1) * p, w = p;
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++) {
        int xx = x + dx, yy = y + dy;
        if ((dx == 0 && dy == 0) || xx < 1 || xx > 8 || yy < 1 || yy > 5) continue;
        if (masked && !def(xx, yy)) continue;
        double wt = (dx == 0 || dy == 0) ? q : r;
        s += fts(xx, yy, 1) * wt;
        w += wt;
      }
    return s / w;
  };
  o = ok("smth9(ts)");
  evalout m = ok("smth9(maskout(ts,u))");
  evalout wt = ok("smth9(ts,2,1,0.25)");
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 8; x++) {
      EXPECT_NEAR(at(o, x - 1, y - 1), smooth(x, y, 1, 0.5f, 0.3f, false), 1e-5);
      EXPECT_NEAR(at(wt, x - 1, y - 1), smooth(x, y, 2, 1, 0.25f, false), 1e-5);
      if (def(x, y)) EXPECT_NEAR(at(m, x - 1, y - 1), smooth(x, y, 1, 0.5f, 0.3f, true), 1e-5);
      else EXPECT_EQ(at(m, x - 1, y - 1), FUNDEF);
    }
  omfree(&o.st);
  omfree(&m.st);
  omfree(&wt.st);
  // Weights that cancel out give undefined, not a division by zero.
  o = ok("smth9(ts,1,-0.25,0)");
  EXPECT_EQ(at(o, 3, 2), FUNDEF);  // four side neighbours: 1 - 4 x 0.25 = 0
  EXPECT_NEAR(at(o, 3, 0), (fts(4, 1, 1) - 0.25 * (fts(3, 1, 1) + fts(5, 1, 1) + fts(4, 2, 1))) / 0.25,
              1e-4);
  omfree(&o.st);
  o = ok("smth9(ts,p,q,r)");
  EXPECT_EQ(o.msg, "Error from SMTH9:  Invalid Weight Values\n  Using defaults:  1.0  0.5  0.3\n");
  EXPECT_NEAR(at(o, 2, 2), smooth(3, 3, 1, 0.5f, 0.3f, false), 1e-5);
  omfree(&o.st);
  o = ok("smth9(ts)", ds.point(3, 3));
  EXPECT_FLOAT_EQ(scalar(o.st), fts(3, 3, 1));
  omfree(&o.st);
  o = fnrun("smth9(ts,1,1)", st);
  EXPECT_EQ(o.msg, failtext("Error from SMTH9:  Too many or too few args \n"
                            "                   One or 4 arguments expected \n",
                            "smth9"));

  o = ok("skip(ts,2)");
  evalout s3 = ok("skip(ts,3,2)");
  for (int j = 0; j < 5; j++)
    for (int i = 0; i < 8; i++) {
      EXPECT_EQ(at(o, i, j) != FUNDEF, i % 2 == 0 && j % 2 == 0) << i << "," << j;
      EXPECT_EQ(at(s3, i, j) != FUNDEF, i % 3 == 0 && j % 2 == 0) << i << "," << j;
    }
  omfree(&o.st);
  omfree(&s3.st);
  o = ok("skip(ts,0)");
  for (int k = 0; k < 40; k++) EXPECT_NE(o.st.result.pgr->grid[k], FUNDEF);
  omfree(&o.st);
  o = fnrun("skip(ts,n)", st);
  EXPECT_EQ(o.msg, failtext("Error from SKIP:  2nd argument must be an integer \n", "skip"));
  o = fnrun("skip(ts,2,m)", st);
  EXPECT_EQ(o.msg, failtext("Error from SKIP:  3rd argument must be an integer\n", "skip"));
  o = fnrun("skip(ts)", st);
  EXPECT_EQ(o.msg, failtext("Error from SKIP:  Too many or too few args \n"
                            "                  Two or 3 arguments expected \n",
                            "skip"));
}

TEST_F(ShapeFns, ConstantsAndDifferences) {
  evalout u = ok("const(maskout(ts,ts),0,-u)");
  evalout d = ok("const(maskout(ts,ts),-1.5)");
  evalout a = ok("const(maskout(ts,ts),7,-a)");
  evalout x = ok("const(maskout(ts,ts),2,-x)");
  EXPECT_EQ(x.msg, "Warning from CONST: Invalid flag.  Ignored.\n");
  for (int y = 1; y <= 5; y++)
    for (int xx = 1; xx <= 8; xx++) {
      float v = fts(xx, y, 1);
      EXPECT_EQ(at(u, xx - 1, y - 1), v < 0 ? 0.0f : v);
      EXPECT_EQ(at(d, xx - 1, y - 1), v < 0 ? FUNDEF : -1.5f);
      EXPECT_EQ(at(a, xx - 1, y - 1), 7.0f);
      EXPECT_EQ(at(x, xx - 1, y - 1), v < 0 ? FUNDEF : 2.0f);
    }
  for (evalout* o : {&u, &d, &a, &x}) omfree(&o->st);
  evalout o = fnrun("const(ts,c)", st);
  EXPECT_EQ(o.msg, failtext("Error from CONST:  2nd argument must be a constant\n", "const"));
  o = fnrun("const(ts)", st);
  EXPECT_EQ(o.msg, failtext("Error from CONST:  Too many or too few args \n"
                            "                   Two or 3 arguments expected \n",
                            "const"));

  // A row 1 2 4 along longitude.
  evalstat row = ds.point(1, 1);
  row.idim = 0;
  row.dmax[0] = 90;
  o = ok("cdiff(pow(2,lon/45),x)", row);
  EXPECT_EQ(values(o.st.result.pgr), (std::vector<float>{FUNDEF, 3, FUNDEF}));
  omfree(&o.st);
  o = ok("cdiff(pow(2,lon/45),xp)", row);
  EXPECT_EQ(values(o.st.result.pgr), (std::vector<float>{1, 2, FUNDEF}));
  omfree(&o.st);
  o = ok("cdiff(pow(2,lon/45),xm)", row);
  EXPECT_EQ(values(o.st.result.pgr), (std::vector<float>{FUNDEF, 1, 2}));
  omfree(&o.st);
  // Along the j axis of an X-Y grid, with an undefined neighbour.
  o = ok("cdiff(maskout(ts,u),y)");
  for (int y = 1; y <= 5; y++)
    for (int xx = 1; xx <= 8; xx++) {
      bool dn = y > 1 && std::cos(1.3f * xx - 0.6f * (y - 1)) >= 0;
      bool up = y < 5 && std::cos(1.3f * xx - 0.6f * (y + 1)) >= 0;
      float want = dn && up ? fts(xx, y + 1, 1) - fts(xx, y - 1, 1) : FUNDEF;
      EXPECT_EQ(at(o, xx - 1, y - 1), want) << xx << "," << y;
    }
  omfree(&o.st);
  o = fnrun("cdiff(ts,q)", st);
  EXPECT_EQ(o.msg, failtext("Error from CDIFF:  Invalid dimension argument\n"
                            "  2nd argument must be X, Y, Z, or T\n",
                            "cdiff"));
  o = fnrun("cdiff(ts,z)", st);
  EXPECT_EQ(o.msg, failtext("Error from CDIFF:  Specified dimension non varying\n", "cdiff"));
  o = fnrun("cdiff(ts)", st);
  EXPECT_EQ(o.msg, failtext("Error from CDIFF:  Too many or too few args \n"
                            "                   Two arguments expected \n",
                            "cdiff"));
}

TEST_F(ShapeFns, LevelSearch) {
  // t*10 runs 10, 20, 30 ... up the levels 1000, 925, 850 ...: 25 lies
  // half way between 925 and 850, whichever way the walk goes.
  for (const char* e : {"fndlvl(t*10,25,lev=1000,lev=300)", "fndlvl(t*10,25,lev=300,lev=1000)",
                        "fndlvl(t*10,25,z=1,z=6)"}) {
    evalout o = ok(e);
    ASSERT_EQ(o.st.result.pgr->isiz, 8) << e;  // the constant target spreads over the grid
    for (int k = 0; k < 40; k++) EXPECT_FLOAT_EQ(o.st.result.pgr->grid[k], 887.5f) << e;
    omfree(&o.st);
  }
  // A target field: 10 + 5 x (x - 1) lies at level index 1 + (x - 1) / 2.
  evalout o = ok("fndlvl(t*10,v*(5*lon/45+10),lev=1000,lev=300)");
  const float lv[6] = {1000, 925, 850, 700, 500, 300};
  for (int x = 1; x <= 8; x++) {
    float tgt = 10 + 5.0f * (x - 1);
    float want = FUNDEF;
    if (tgt <= 60) {
      int k = static_cast<int>((tgt - 10) / 10);
      if (k >= 5) k = 4;
      want = lv[k] + (lv[k + 1] - lv[k]) * (tgt - 10 * (k + 1)) / 10;
    }
    EXPECT_NEAR(at(o, x - 1, 2), want, 1e-3) << x;
  }
  omfree(&o.st);
  // Values that do not change take the lower level of the pair; a target
  // never reached stays undefined.
  o = ok("fndlvl(t*0+5,5,lev=1000,lev=300)");
  EXPECT_EQ(at(o, 0, 0), 1000.0f);
  omfree(&o.st);
  o = ok("fndlvl(t,99,lev=1000,lev=300)");
  EXPECT_EQ(at(o, 0, 0), FUNDEF);
  omfree(&o.st);
  struct {
    const char* e;
    std::string msg;
  } cases[] = {
      {"fndlvl(t,25,lev=1000)",
       "Error from FNDLVL:  Too many or too few args \n                    Four arguments expected \n"},
      {"fndlvl(t,25,lat=10,lev=300)", "Error from FNDLVL:  Arg 3 an invalid Z dimension expression\n"},
      {"fndlvl(t,25,lev=1000,t=3)", "Error from FNDLVL:  Arg 4 an invalid Z dimension expression\n"},
      // Equal bounds, or bounds with no level between them.
      {"fndlvl(t,25,lev=500,lev=500)", "Error from FNDLVL:  No levels between the bounds \n"},
      {"fndlvl(t,25,lev=800,lev=750)", "Error from FNDLVL:  No levels between the bounds \n"},
      {"fndlvl(t,ave(ts,lat=-80,lat=80),lev=1000,lev=300)",
       "Error from FNDLVL :  Incompatible grids. \n"},
  };
  for (auto& c : cases) {
    o = fnrun(c.e, st);
    EXPECT_EQ(o.rc, 1) << c.e;
    EXPECT_EQ(o.msg, failtext(c.msg, "fndlvl")) << c.e;
  }
}

TEST(ShapeFnsFewLevels, LevelSearchNeedsThreeLevels) {
  fnaxes a;
  a.nz = 2;
  a.zdef = "levels 1000 500";
  fnset ds(a, trval);
  evalout o = fnrun("fndlvl(t,1,lev=1000,lev=500)", ds.xy());
  EXPECT_EQ(o.msg, failtext("Error from FNDLVL:  Too few levels in default file \n", "fndlvl"));
}

// User functions whose X grid changes size from call to call (the only
// way a step of a walk can come back in another shape): the sizes are
// given per call, the last one repeating.
const char* const SIZEPY = R"PY(
import struct, sys
cnt, res, sizes = sys.argv[1], sys.argv[2], [int(x) for x in sys.argv[3].split(",")]
try:
    k = int(open(cnt).read())
except OSError:
    k = 0
open(cnt, "w").write(str(k + 1))
n = sizes[min(k, len(sizes) - 1)]
head = [0.0] * 20
head[0] = -9.99e33
head[1] = 0; head[2] = -1; head[3] = n; head[4] = 1; head[5] = 1; head[6] = 1
head[7] = 1; head[8] = 1
with open(res, "wb") as f:
    f.write(struct.pack("=20f", *([0.0] * 20)))
    f.write(struct.pack("=20f", *head))
    f.write(struct.pack("=%df" % n, *range(n)))
)PY";

TEST_F(ShapeFns, WalksRefuseStepsOfAnotherShape) {
  std::string py = ds.sd.write("size.py", SIZEPY);
  std::string text;
  for (const char* f : {"grow 3,5,7", "shrink 5,5,3"}) {
    std::string name(f, std::strchr(f, ' '));
    text += name + " 0 0\ndirect\n/usr/bin/python3 " + py + " " + ds.sd.path("cnt") + " " +
            ds.sd.path(name + ".res") + " " + (std::strchr(f, ' ') + 1) + "\n" +
            ds.sd.path(name + ".arg") + "\n" + ds.sd.path(name + ".res") + "\n";
  }
  setenv("OMUDFT", ds.sd.write("udft", text).c_str(), 1);
  captured([] { omfdef(); });
  unsetenv("OMUDFT");
  evalstat xt = st;
  xt.jdim = 3;
  xt.dmin[1] = xt.dmax[1] = static_cast<float>(ds.world(1, 2));
  gr2t(ds.pfi->grvals[3], 3, &xt.tmax);
  evalstat x1 = xt;
  x1.jdim = -1;
  x1.tmax = x1.tmin;
  struct {
    const char* e;
    const char* fname;
    std::string msg;
    const evalstat* s;
  } cases[] = {
      {"tloop(grow)", "tloop", "Error from TLOOP:  Time steps give grids of different shapes\n", &xt},
      {"ave(grow,t=1,t=3)", "ave", "Error from AVE:  Error getting grids \n", &x1},
      {"max(shrink,t=1,t=3)", "max", "Error from MAX:  Error getting grids \n", &x1},
      {"gint(grow,t=1,t=3)", "gint", "Error from GINT:  Error getting grids \n", &x1},
      // The first pass sees one size; the second pass another.
      {"tcorr(aave(v,global),shrink,t=1,t=2)", "tcorr",
       "TCORR:  dim = 3, start = 1, end = 2\nError from TCORR:  Error getting grids\n", &x1},
  };
  for (auto& c : cases) {
    std::remove(ds.sd.path("cnt").c_str());
    evalout o = fnrun(c.e, *c.s);
    EXPECT_EQ(o.rc, 1) << c.e;
    EXPECT_EQ(o.msg, failtext(c.msg, c.fname)) << c.e;
    EXPECT_EQ(o.st.result.pgr, nullptr);
  }
  captured([] { omfdef(); });
}

}  // namespace
