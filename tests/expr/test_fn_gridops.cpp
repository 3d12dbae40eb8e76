// Integrals along a dimension, divergence and curl on the sphere, the
// humidity conversions and the vertical integral, checked against
// formulas evaluated here.
#include <cmath>

#include "test_fn_data.h"

namespace {

const double M_PER_DEG = 6.37e6 * 3.14159265358979 / 180.0;
const float LEVS[6] = {1000, 925, 850, 700, 500, 300};

float fu(int x, int y) { return 3.0f * std::sin(0.6f * x) + y; }
float fv(int x, int y) { return 2.0f * std::cos(0.5f * x + 0.7f * y); }

// ts: a field; t: the level number z; u and v: wind components.
float geoval(int var, int x, int y, int z, int t) {
  if (var == 0) return fts(x, y, t);
  if (var == 1) return static_cast<float>(z);
  if (var == 2) return fu(x, y) + 0.01f * z;
  return fv(x, y) + 0.01f * z;
}

struct GeoFns : testing::Test {
  fnset ds{levaxes(), geoval};
  evalstat st = ds.xy();
  double lat(int y) const { return ds.world(1, y); }
};

TEST_F(GeoFns, IntegralsAlongEachDimension) {
  // One longitude step: the value times one step in metres times cos(lat).
  evalout o = fnrun("gint(ts,lon=0,lon=0)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  ASSERT_EQ(o.st.result.pgr->idim, 1);
  for (int y = 1; y <= 5; y++)
    EXPECT_NEAR(at(o, y - 1), fts(1, y, 1) * 45 * M_PER_DEG * std::cos(lat(y) * M_PI / 180),
                std::fabs(fts(1, y, 1)) * 2e6);
  omfree(&o.st);
  o = fnrun("gint(ts,lon=0,lon=90)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  for (int y = 1; y <= 5; y++) {
    double s = (fts(1, y, 1) + fts(2, y, 1) + fts(3, y, 1)) * 45 * M_PER_DEG *
               std::cos(lat(y) * M_PI / 180);
    EXPECT_NEAR(at(o, y - 1), s, 1e-4 * 45 * M_PER_DEG);
  }
  omfree(&o.st);
  // Latitude steps are 40 degrees wide in metres.
  o = fnrun("gint(ts,lat=-40,lat=40)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  for (int x = 1; x <= 8; x++)
    EXPECT_NEAR(at(o, x - 1), (fts(x, 2, 1) + fts(x, 3, 1) + fts(x, 4, 1)) * 40 * M_PER_DEG,
                1e-4 * 40 * M_PER_DEG);
  omfree(&o.st);
  // Times of one month with the end points halved.
  o = fnrun("gint(ts,t=1,t=3,-b)", st, 1);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(o.msg, "Integrating.  dim = 3, start = 1, end = 3\n");
  EXPECT_NEAR(at(o, 4, 2), 0.5 * fts(5, 3, 1) + fts(5, 3, 2) + 0.5 * fts(5, 3, 3), 1e-5);
  omfree(&o.st);
  // Levels: the extent of each level's box, in level units.
  double s = 0;
  for (int z = 1; z <= 3; z++) s += z * std::fabs(ds.world(2, z + 0.5) - ds.world(2, z - 0.5));
  o = fnrun("gint(t,z=1,z=3)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(at(o, 2, 2), s, 1e-3);
  omfree(&o.st);
  // A reversed range uses its first point alone.
  o = fnrun("gint(t,z=3,z=1)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(at(o, 0, 0), 3 * std::fabs(ds.world(2, 3.5) - ds.world(2, 2.5)), 1e-3);
  omfree(&o.st);
}

TEST_F(GeoFns, DivergenceAndCurlInteriorAndBorders) {
  evalout d = fnrun("hdivg(u,v)", st);
  evalout c = fnrun("hcurl(u,v)", st);
  ASSERT_EQ(d.rc, 0) << d.msg;
  ASSERT_EQ(c.rc, 0) << c.msg;
  const double r = M_PI / 180;
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 8; x++) {
      if (x == 1 || x == 8 || y == 1 || y == 5) {
        EXPECT_EQ(at(d, x - 1, y - 1), FUNDEF);
        EXPECT_EQ(at(c, x - 1, y - 1), FUNDEF);
        continue;
      }
      double dl = (ds.world(0, x + 1) - ds.world(0, x - 1)) * r;
      double pn = lat(y + 1) * r, ps = lat(y - 1) * r, p = lat(y) * r;
      double u = 0.01;
      double div = ((fu(x + 1, y) - fu(x - 1, y)) / dl +
                    ((fv(x, y + 1) + u) * std::cos(pn) - (fv(x, y - 1) + u) * std::cos(ps)) /
                        (pn - ps)) /
                   (std::cos(p) * 6.37e6);
      double crl = ((fv(x + 1, y) - fv(x - 1, y)) / dl -
                    ((fu(x, y + 1) + u) * std::cos(pn) - (fu(x, y - 1) + u) * std::cos(ps)) /
                        (pn - ps)) /
                   (std::cos(p) * 6.37e6);
      EXPECT_NEAR(at(d, x - 1, y - 1), div, 1e-4 * std::fabs(div) + 1e-12) << x << "," << y;
      EXPECT_NEAR(at(c, x - 1, y - 1), crl, 1e-4 * std::fabs(crl) + 1e-12) << x << "," << y;
    }
  omfree(&d.st);
  omfree(&c.st);
  // A 3 x 3 window has one defined value, its centre.
  evalstat w = st;
  w.dmin[0] = 45;
  w.dmax[0] = 135;
  w.dmin[1] = -40;
  w.dmax[1] = 40;
  d = fnrun("hdivg(u,v)", w);
  ASSERT_EQ(d.rc, 0) << d.msg;
  int defined = 0;
  for (int k = 0; k < 9; k++) defined += d.st.result.pgr->grid[k] != FUNDEF;
  EXPECT_EQ(defined, 1);
  EXPECT_NE(at(d, 1, 1), FUNDEF);
  omfree(&d.st);
  // An undefined neighbour leaves the point undefined.
  d = fnrun("hdivg(maskout(u,lon-50),v)", st);
  ASSERT_EQ(d.rc, 0) << d.msg;
  // Masked at longitudes 0 and 45: x = 2 and 3 lose a western neighbour.
  EXPECT_EQ(at(d, 1, 2), FUNDEF);
  EXPECT_EQ(at(d, 2, 2), FUNDEF);
  EXPECT_NE(at(d, 3, 2), FUNDEF);
  omfree(&d.st);
}

TEST_F(GeoFns, DivergenceAndCurlRefusals) {
  evalstat xz = st;
  xz.jdim = 2;
  xz.dmin[2] = 1000;
  xz.dmax[2] = 300;
  struct {
    const char* e;
    const char* fname;
    std::string msg;
    const evalstat* s;
  } cases[] = {
      {"hdivg(u)", "hdivg",
       "Error from HDIVG:  Too many or too few args \n                   Two arguments expected \n",
       &st},
      {"hcurl(u,v,u)", "hcurl",
       "Error from HCURL:  Too many or too few args \n                   Two arguments expected \n",
       &st},
      {"hdivg(u,v)", "hdivg",
       "Error from HDIVG:  Invalid dimension environment\n"
       "  Horizontal environment (X, Y Varying) is required\n",
       &xz},
      {"hcurl(u,v)", "hcurl",
       "Error from HCURL:  Invalid dimension environment\n"
       "  Horizontal environment (X, Y Varying) is required\n",
       &xz},
      {"hcurl(u,aave(v,global))", "hcurl",
       "Error from HCURL:  Incompatable grids \n                   Dimension ranges unequal \n", &st},
      {"hdivg(1,2)", "hdivg",
       "Error from HDIVG:  Incompatable grids \n                   Dimension ranges unequal \n", &st},
  };
  for (auto& c : cases) {
    evalout o = fnrun(c.e, *c.s);
    EXPECT_EQ(o.rc, 1) << c.e;
    EXPECT_EQ(o.msg, failtext(c.msg, c.fname)) << c.e;
  }
}

TEST_F(GeoFns, IntegralRefusals) {
  struct {
    const char* e;
    std::string msg;
  } cases[] = {
      {"gint(ts,t=1)",
       "Error from GINT:  Too many or too few args \n                  3 or 4 arguments expected \n"},
      {"gint(ts,t=1,t=3,-b,-b)",
       "Error from GINT:  Too many or too few args \n                  3 or 4 arguments expected \n"},
      {"gint(ts,lom=1,lon=3)",
       "Syntax Error:  Invalid dimension expression\n"
       "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found lom\n"
       "Error from GINT:  1st dimension expression invalid\n"},
      {"gint(ts,lon=0,lat=10)", "Error from GINT:  2nd dimension expression invalid\n"},
      {"gint(ts,t=1,t=3,-x)", "Error from GINT: Invalid option flags\n"},
  };
  for (auto& c : cases) {
    evalout o = fnrun(c.e, st);
    EXPECT_EQ(o.rc, 1) << c.e;
    EXPECT_EQ(o.msg, failtext(c.msg, "gint")) << c.e;
  }
}

// es of the solver's saturation formula, Pa.
double satvp(double t) {
  double tc = t - 273.16;
  return 100.0 * std::pow(10.0, (0.03477 * tc + 0.7854) / (0.00412 * tc + 1.0));
}

TEST(HumiditySolver, ConvergedValuesSatisfyBothRelations) {
  const float cases[][3] = {{1000, 300, 80}, {850, 285, 50}, {500, 260, 30}, {1000, 273, 100},
                            {700, 290, 5}};
  for (auto& c : cases) {
    float q = -1, t = -1;
    ASSERT_EQ(tvrh2q(c[0], c[1], c[2], &q, &t), 0);
    const double eps = 0.622;
    // Virtual temperature from the temperature and the humidity.
    double tv = t * (eps * (1 - q) + q * (1 - eps)) / (eps * (1 - q));
    EXPECT_NEAR(tv, c[1], 1e-3 * c[1]) << c[0] << " " << c[1];
    // Specific humidity at the given relative humidity.
    double es = satvp(t), rh = c[2] / 100.0;
    double want = eps * rh * es / (c[0] * 100.0 - (1 - eps) * es);
    EXPECT_NEAR(q, want, 1e-3 * want + 1e-7) << c[0] << " " << c[1];
    EXPECT_LT(t, c[1] + 1e-3f);
  }
  // No relative humidity: no vapour, the temperature is the virtual one.
  float q, t;
  ASSERT_EQ(tvrh2q(1000, 280, 0, &q, &t), 0);
  EXPECT_NEAR(q, 0.0f, 1e-9);
  EXPECT_NEAR(t, 280.0f, 1e-3);
}

TEST_F(GeoFns, HumidityConversionsOfFields) {
  // t is the level number; make temperatures and humidities from it.
  evalout o = fnrun("tvrh2q(t*0+290+ts,maskout(t*0+60,lon-50))", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(o.msg, "Notice from TVRH2Q: Using fixed pressure level 1000 mb\n");
  EXPECT_EQ(at(o, 0, 0), FUNDEF);  // humidity undefined there
  float q, t;
  ASSERT_EQ(tvrh2q(1000, 290 + fts(3, 2, 1), 60, &q, &t), 0);
  EXPECT_FLOAT_EQ(at(o, 2, 1), q);
  omfree(&o.st);
  // Levels varying: each row at its own pressure.
  evalstat xz = st;
  xz.jdim = 2;
  xz.dmin[2] = 1000;
  xz.dmax[2] = 300;
  o = fnrun("tvrh2t(280+t,50+t)", xz);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(o.msg, "");
  for (int z = 1; z <= 6; z++) {
    ASSERT_EQ(tvrh2q(LEVS[z - 1], 280.0f + z, 50.0f + z, &q, &t), 0);
    EXPECT_FLOAT_EQ(at(o, 3, z - 1), t) << z;
  }
  omfree(&o.st);
  o = fnrun("tvrh2q(t)", st);
  EXPECT_EQ(o.msg, failtext("Error from TVRH2Q:  Too many or too few args \n"
                            "                    Two arguments expected \n",
                            "tvrh2q"));
  o = fnrun("tvrh2t(t,aave(t,global))", st);
  EXPECT_EQ(o.msg, failtext("Error in TVRH2Q: Grids don't have same scaling", "tvrh2t"));
}

// The column integral of a level field q(z) = z, each level standing for
// the layer between the midpoints to its neighbours, a level below the
// ground giving its part to the next one up, up to the top.
// Nothing contributes: -1.
double column(double ps, double top) {
  double s = 0;
  bool any = false;
  for (int k = 1; k <= 6; k++) {
    double lk = LEVS[k - 1];
    if (lk < top) break;
    if (ps < lk && k < 6) continue;
    bool lowest = k == 1 || ps < LEVS[k - 2];
    double bottom = lowest ? ps : (lk + LEVS[k - 2]) / 2;
    double upper = (k == 6 || LEVS[k] < top) ? top : (lk + LEVS[k]) / 2;
    if (k == 1) upper = (lk + LEVS[1]) / 2;
    if (bottom > upper) {
      s += k * (bottom - upper);
      any = true;
    }
  }
  return any ? s * 10.204082 : -1;
}

TEST_F(GeoFns, VerticalIntegral) {
  // Surface pressures below, at, between and above the levels; 250 lies
  // above the top of every integral here.
  const float ps[5] = {1000, 990, 250, 1010, 700};
  evalstat s1 = st;
  for (int c = 0; c < 5; c++) {
    s1.dmin[0] = s1.dmax[0] = static_cast<float>(ds.world(0, 1));
    s1.idim = 1;
    s1.jdim = -1;
    for (float top : {300.0f, 800.0f, 950.0f}) {
      std::string ex = "vint(t*0+" + std::to_string(static_cast<int>(ps[c])) + ",t," +
                       std::to_string(static_cast<int>(top)) + ")";
      evalout o = fnrun(ex.c_str(), s1);
      ASSERT_EQ(o.rc, 0) << ex << o.msg;
      double want = column(ps[c], top);
      if (want < 0) {
        EXPECT_EQ(at(o, 2), FUNDEF) << ex;
      } else {
        EXPECT_NEAR(at(o, 2), want, 1e-4 * want) << ex;
      }
      omfree(&o.st);
    }
  }
  // The documented column: 1000 to 300 in six layers of the level value.
  evalout o = fnrun("vint(t*0+1000,t*0+1,300)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(at(o, 0, 0), 700 * 10.204082, 1e-2);
  omfree(&o.st);
  // Second level already above the top: the first layer alone.
  o = fnrun("vint(t*0+1000,t,950)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(at(o, 0, 0), 37.5 * 10.204082, 1e-3);
  omfree(&o.st);
  o = fnrun("vint(ts,t)", st);
  EXPECT_EQ(o.msg, failtext("Error from VINT:  Too many or too few args \n"
                            "                  Three arguments expected \n",
                            "vint"));
  o = fnrun("vint(ts,t,top)", st);
  EXPECT_EQ(o.msg, failtext("Error from VINT:  3rd argument invalid. \n", "vint"));
  o = fnrun("vint(ts,aave(t,global),300)", st);
  EXPECT_EQ(o.msg, failtext("Error from VINT:  Incompatible grids. \n", "vint"));
}

TEST(GeoFnsFewLevels, VerticalIntegralNeedsThreeLevels) {
  fnaxes a;
  a.nz = 2;
  a.zdef = "levels 1000 500";
  fnset ds(a, geoval);
  evalout o = fnrun("vint(ts,t,300)", ds.xy());
  EXPECT_EQ(o.msg, failtext("Error from VINT:  Too few levels in default file \n", "vint"));
}

}  // namespace
