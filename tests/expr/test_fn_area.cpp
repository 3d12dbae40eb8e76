// Area reductions and spatial statistics, checked against sums computed
// here from the box geometry of a global 8 x 5 grid (45-degree columns,
// rows at -80 .. 80 by 40 whose outer boxes are clamped at the poles).
#include <cmath>

#include "test_fn_data.h"

namespace {

float fu(int x, int y, int z, int t) { return std::cos(0.7f * x - 0.5f * y + z + 0.2f * t); }

float areaval(int var, int x, int y, int z, int t) {
  if (var == 0) return fts(x, y, t);
  if (var == 1) return 250.0f + x + y;
  return fu(x, y, z, t);
}

const double EDGES[6] = {-90, -60, -20, 20, 60, 90};

double sind(double d) { return std::sin(d * 3.14159265358979 / 180.0); }

struct AreaFns : testing::Test {
  fnset ds{fnaxes{}, areaval};
};

TEST_F(AreaFns, GlobalReductionsMatchTheBoxGeometry) {
  double s1 = 0, w1 = 0, s2 = 0, w2 = 0, s3 = 0, s4 = 0;
  for (int y = 1; y <= 5; y++) {
    double wy1 = std::fabs(sind(EDGES[y]) - sind(EDGES[y - 1]));
    double wy2 = EDGES[y] - EDGES[y - 1];
    double frac = (y == 1 || y == 5) ? 0.75 : 1.0;
    for (int x = 1; x <= 8; x++) {
      double v = fts(x, y, 1);
      s1 += v * wy1;
      w1 += wy1;
      s2 += v * wy2;
      w2 += wy2;
      s3 += v * frac;
      s4 += v;
    }
    s4 += fts(1, y, 1);  // the column at 360 degrees is read again
  }
  evalstat st = ds.xy();
  evalout o = fnrun("aave(ts,global)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), s1 / w1, 1e-5);
  EXPECT_EQ(o.st.result.pgr->undef, FUNDEF);
  omfree(&o.st);
  o = fnrun("amean(ts,lon=0,lon=360,lat=-90,lat=90)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), s2 / w2, 1e-5);
  omfree(&o.st);
  o = fnrun("asum(ts,gxyz)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), s3, 1e-4);
  omfree(&o.st);
  o = fnrun("asumg(ts,g)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), s4, 1e-4);
  omfree(&o.st);
}

TEST_F(AreaFns, LatitudeAveragesToZeroAndConstantsToThemselves) {
  evalstat st = ds.xy();
  evalout o = fnrun("aave(lat,global)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), 0.0f, 1e-4);
  omfree(&o.st);
  for (const char* e : {"aave(t*0+7,global)", "amean(t*0+7,g)", "aave(t*0+7,x=2,x=5,y=1,y=3)",
                        "amean(t*0+7,lon=10,lon=100,lat=-50,lat=30)"}) {
    o = fnrun(e, st);
    ASSERT_EQ(o.rc, 0) << e << o.msg;
    EXPECT_NEAR(scalar(o.st), 7.0f, 1e-5) << e;
    omfree(&o.st);
  }
  // A field undefined everywhere in the box gives the undefined value.
  o = fnrun("aave(maskout(ts,-1),global)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(scalar(o.st), FUNDEF);
  omfree(&o.st);
}

TEST_F(AreaFns, GridBoundsWidenByHalfABoxExceptForAsumg) {
  evalstat st = ds.xy();
  double s = 0, w = 0, plain = 0;
  for (int y = 2; y <= 4; y++) {
    double wy = std::fabs(sind(EDGES[y]) - sind(EDGES[y - 1]));
    for (int x = 2; x <= 4; x++) {
      s += fts(x, y, 1) * wy;
      w += wy;
      plain += fts(x, y, 1);
    }
  }
  evalout o = fnrun("aave(ts,x=2,x=4,y=2,y=4)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), s / w, 1e-5);
  omfree(&o.st);
  o = fnrun("asumg(ts,x=2,x=4,y=2,y=4)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), plain, 1e-5);
  omfree(&o.st);
  // World bounds that cut boxes in half count them with half weight.
  o = fnrun("asum(t*0+1,lon=0,lon=90,lat=-20,lat=20)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), 2.0f, 1e-5);
  omfree(&o.st);
}

TEST_F(AreaFns, SpatialCorrelationAndRegression) {
  evalstat st = ds.xy();
  struct {
    const char* e;
    float want;
  } cases[] = {{"scorr(ts,ts,global)", 1}, {"scorr(ts,-ts,g)", -1}, {"sregr(ts,2*ts,global)", 2},
               {"sregr(ts,3-ts*0.5,global)", -0.5f}};
  for (auto& c : cases) {
    evalout o = fnrun(c.e, st);
    ASSERT_EQ(o.rc, 0) << c.e << o.msg;
    EXPECT_NEAR(scalar(o.st), c.want, 1e-5) << c.e;
    omfree(&o.st);
  }
  // Against an area-weighted correlation of ts and u over a box.
  double sw = 0, sa = 0, sb = 0;
  auto wrow = [](int y) { return std::fabs(sind(EDGES[y]) - sind(EDGES[y - 1])); };
  for (int y = 2; y <= 4; y++)
    for (int x = 2; x <= 6; x++) {
      sw += wrow(y);
      sa += wrow(y) * fts(x, y, 1);
      sb += wrow(y) * fu(x, y, 1, 1);
    }
  double ma = sa / sw, mb = sb / sw, vab = 0, vaa = 0, vbb = 0;
  for (int y = 2; y <= 4; y++)
    for (int x = 2; x <= 6; x++) {
      double da = fts(x, y, 1) - ma, db = fu(x, y, 1, 1) - mb;
      vab += wrow(y) * da * db;
      vaa += wrow(y) * da * da;
      vbb += wrow(y) * db * db;
    }
  evalout o = fnrun("scorr(ts,u,x=2,x=6,y=2,y=4)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), vab / std::sqrt(vaa * vbb), 1e-4);
  omfree(&o.st);
  o = fnrun("sregr(ts,u,x=2,x=6,y=2,y=4)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), vab / vaa, 1e-4);
  omfree(&o.st);
  // A constant field has no variance.
  o = fnrun("scorr(t*0+1,ts,global)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_EQ(scalar(o.st), FUNDEF);
  omfree(&o.st);
}

TEST_F(AreaFns, ArgumentEnvironmentAndBoundErrors) {
  evalstat st = ds.xy();
  struct {
    const char* e;
    const char* fname;
    std::string msg;
  } cases[] = {
      {"aave(ts,lon=0)", "aave",
       "Error from AAVE:  Too many or too few args\n                  5 arguments expected \n"},
      {"asumg(ts,1,2,3,4,5)", "asumg",
       "Error from ASUMG:  Too many or too few args\n                  5 arguments expected \n"},
      {"amean(ts,lat=0,lon=10,lat=0,lat=10)", "amean",
       "Error from AMEAN:  Invalid dimension expression \n"},
      {"scorr(ts,ts,lon=0)", "scorr",
       "Error from SCORR:  Too many or too few args \n                   6 arguments expected \n"},
      {"sregr(ts,ts,lon=0,lon=9,lat=0,lev=10)", "sregr",
       "Error from SCORR:  Invalid dimension expression \n"},
      // Fields without the two horizontal axes have no boxes to weight.
      {"aave(1,global)", "aave", "Error from AAVE:  Field must vary in X and Y\n"},
      {"scorr(1,ts,global)", "scorr", "Error from SCORR:  Fields must vary in X and Y\n"},
      // A field fixed in one of them is a line, not an area.
      {"aave(ave(ts,x=1,x=4),global)", "aave", "Error from AAVE:  Field must vary in X and Y\n"},
      {"asumg(ave(ts,y=1,y=3),x=1,x=4,y=1,y=4)", "asumg", "Error from ASUMG:  Field must vary in X and Y\n"},
      {"scorr(ts,ave(ts,x=1,x=4),global)", "scorr", "Error from SCORR:  Fields must vary in X and Y\n"},
      {"sregr(ave(ts,y=1,y=3),ts,global)", "sregr", "Error from SCORR:  Fields must vary in X and Y\n"},
  };
  for (auto& c : cases) {
    evalout o = fnrun(c.e, st);
    EXPECT_EQ(o.rc, 1) << c.e;
    EXPECT_EQ(o.msg, failtext(c.msg, c.fname)) << c.e;
  }
  evalstat zt = st;
  zt.jdim = 2;
  evalout o = fnrun("aave(ts,global)", zt);
  EXPECT_EQ(o.msg, failtext("Error from AAVE  Invalid environment.  Z, T can't vary.\n", "aave"));
  zt.idim = 3;
  zt.jdim = -1;
  o = fnrun("scorr(ts,ts,global)", zt);
  EXPECT_EQ(o.msg,
            failtext("Error from SCORR:  Invalid environment.  Z, T can't vary.\n", "scorr"));
  // Only X varying (a longitude section) still reduces the whole box.
  evalstat xo = st;
  xo.jdim = -1;
  o = fnrun("amean(t*0+3,global)", xo);
  ASSERT_EQ(o.rc, 0) << o.msg;
  EXPECT_NEAR(scalar(o.st), 3.0f, 1e-6);
  omfree(&o.st);
}

TEST_F(AreaFns, ReductionOfAGridBuiltHere) {
  // 2 x 2 grid whose axes are grid indexes: boxes 0.5 .. 2.5 wide 1.
  gridres* g = mkgrid(0, 1, 2, 2, {1, 2, 3, UNDEF});
  EXPECT_FLOAT_EQ(doaave(g, 0.5f, 2.5f, 0.5f, 2.5f, 2), 2.0f);
  EXPECT_FLOAT_EQ(doaave(g, 0.5f, 2.5f, 0.5f, 2.5f, 4), 6.0f);
  // Half of the second column inside the box.
  EXPECT_FLOAT_EQ(doaave(g, 0.5f, 2.0f, 0.5f, 2.5f, 3), 1 + 1 + 3);
  EXPECT_FLOAT_EQ(doaave(g, 5.0f, 6.0f, 0.5f, 2.5f, 1), UNDEF);
  omgfre(g);
}

// Each row is summed from the west and the rows' sums are added from the
// south: with values far apart in size, any other order loses a different
// small term.  Six rows: no multiple of a block of rows summed together.
TEST(AreaSums, RowsAreAddedInOrderAndPointsInFixedLanes) {
  const float big = 1e30f;
  gridres* g = mkgrid(0, 1, 3, 6,
                      {1, big, -big,           // 0 from the west, 1 from the east
                       big, 0, 0,              //
                       -big, 0, 0,             // rows 1 to 3 in order: 2; paired: 0
                       2, 0, 0,                //
                       4, UNDEF, 0,            //
                       UNDEF, 8, UNDEF});
  EXPECT_EQ(doaave(g, 0.5f, 3.5f, 0.5f, 6.5f, 4), 14.0f);
  EXPECT_EQ(doaave(g, 0.5f, 3.5f, 0.5f, 6.5f, 2), static_cast<float>(14.0 / 15.0));
  omgfre(g);
  // Across a wider row the points go to eight lanes by column, added in a
  // fixed order: big and -big meet in lane 0 and cancel, the 1 of lane 1
  // stays (from the west it would be lost in big).
  std::vector<float> wide(10, 0.0f);
  wide[0] = big;
  wide[1] = 1;
  wide[8] = -big;
  g = mkgrid(0, 1, 10, 1, wide);
  EXPECT_EQ(doaave(g, 0.5f, 10.5f, 0.5f, 1.5f, 4), 1.0f);
  omgfre(g);
}

TEST(AreaSums, LargeGridsKeepTheirPrecision) {
  // A million values near 295: single-precision running sums would be off
  // in the fourth digit.
  const int nx = 1440, ny = 721;
  std::vector<float> v(static_cast<size_t>(nx) * ny);
  double total = 0, rows = 0;
  for (int j = 0; j < ny; j++)
    for (int i = 0; i < nx; i++) {
      float x = 295.0f + 0.37f * std::sin(0.01f * i + 0.3f * j);
      v[static_cast<size_t>(j) * nx + i] = x;
      total += x;
      if (j < 89) rows += x;
    }
  gridres* g = mkgrid(0, 1, nx, ny, v);
  EXPECT_NEAR(doaave(g, 0.5f, nx + 0.5f, 0.5f, ny + 0.5f, 4), total, 1e-6 * total);
  EXPECT_NEAR(doaave(g, 0.5f, nx + 0.5f, 0.5f, 89.5f, 2), rows / (89.0 * nx), 1e-5);
  omgfre(g);
}

}  // namespace
