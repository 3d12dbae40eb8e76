// regrid: bilinear and conservative weights on small grids against values
// worked out by hand, the weights made once per pair of grids, and the
// function through the evaluator.
#include <cmath>
#include <vector>

#include "expr/regridw.h"
#include "test_fn_data.h"

namespace {

constexpr float U = -9.99e8f;

// Carries src (rows of s.lon.size()) from grid s to grid t.
std::vector<float> carry(const rggrid& s, const rggrid& t, const std::vector<float>& src, int method) {
  auto w = rgweightsfor(s, t, method);
  EXPECT_NE(w, nullptr);
  std::vector<float> out(t.lon.size() * t.lat.size(), 0.0f);
  std::vector<double> work;
  if (w) {
    EXPECT_TRUE(rgapply(*w, src.data(), s.lon.size(), U, out.data(), &work));
  }
  return out;
}

// Four longitudes round the globe, three latitudes; each value is
// 10 * row + column.
const rggrid kS{{0, 90, 180, 270}, {-60, 0, 60}};
std::vector<float> rowcol() {
  std::vector<float> v;
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 4; i++) v.push_back(10.0f * j + i);
  return v;
}

TEST(RegridWeights, BilinearPointsWrapPolesAndGaps) {
  // Each row: a target point, a source point made undefined (-1 none).
  struct row { double lon, lat; int hole; float want; } rows[] = {
      {45, -30, -1, 5.5f},          // the middle of a cell: the mean of its corners
      {22.5, 0, -1, 10.25f},        // a quarter of the way along a row
      {90, 0, -1, 11.0f},           // on a source point
      {315, 30, -1, 16.5f},         // across the seam: 270 and 360 (= 0)
      {-45, 30, -1, 16.5f},         // the same place written west of 0
      {0, 90, -1, 21.5f},           // the pole: the four points of the last row, alike
      {45, -30, 0, 22.0f / 3.0f},   // an undefined corner is left out
      {90, 0, 5, U},                // on an undefined point: no weight left
  };
  for (const row& r : rows) {
    std::vector<float> v = rowcol();
    if (r.hole >= 0) v[static_cast<size_t>(r.hole)] = U;
    std::vector<float> got = carry(kS, rggrid{{r.lon}, {r.lat}}, v, RG_BILINEAR);
    EXPECT_NEAR(got[0], r.want, 1e-5) << r.lon << " " << r.lat << " hole " << r.hole;
  }
  // A source that does not go round the globe has nothing east of its last
  // longitude, nor poleward of its last row when it stops short of a pole.
  rggrid part{{0, 90, 180}, {-60, 0, 60}};
  std::vector<float> v{0, 1, 2, 10, 11, 12, 20, 21, 22};
  std::vector<float> got = carry(part, rggrid{{315, 135}, {30}}, v, RG_BILINEAR);
  EXPECT_EQ(got[0], U);
  EXPECT_NEAR(got[1], 16.5f, 1e-5);
  rggrid band{{0, 90, 180, 270}, {-20, 0, 20}};
  got = carry(band, rggrid{{0}, {60}}, rowcol(), RG_BILINEAR);
  EXPECT_EQ(got[0], U);
}

TEST(RegridWeights, ConservativeAreasOfOverlap) {
  // Two cells in longitude (edges -90, 90, 270) and two in latitude (edges
  // -90, 0, 90): values 1 2 / 3 4.
  const rggrid s{{0, 180}, {-45, 45}};
  const std::vector<float> v{1, 2, 3, 4};
  // Target cells 90 degrees wide from -45; in latitude edges -35, 15, 65.
  const rggrid t{{0, 90, 180, 270}, {-10, 40}};
  const double lo = std::sin(35 * M_PI / 180), hi = std::sin(15 * M_PI / 180);
  const double south = (lo * 1 + hi * 3) / (lo + hi);  // first column, first row
  struct row { int i, j; std::vector<int> holes; double want; } rows[] = {
      {0, 0, {}, south},
      {1, 0, {}, (lo * 1.5 + hi * 3.5) / (lo + hi)},  // half in each column
      {3, 1, {}, 3.5},                               // across the seam
      {0, 0, {2}, 1.0},                              // the northern cell undefined
      {0, 1, {2}, U},                                // all it overlaps undefined
  };
  for (const row& r : rows) {
    std::vector<float> src = v;
    for (int h : r.holes) src[static_cast<size_t>(h)] = U;
    std::vector<float> got = carry(s, t, src, RG_CONSERVE);
    EXPECT_NEAR(got[static_cast<size_t>(r.j) * 4 + r.i], r.want, 1e-5) << r.i << " " << r.j;
  }
  // An outer edge beyond 88 degrees lies at the pole: the cap south of
  // -89.5 is the row at -89's (whose edges are -89.5 and -88.5 otherwise).
  const rggrid cap{{0, 180}, {-89, -88, 88}};
  std::vector<float> got = carry(cap, rggrid{{0, 180}, {-89.75, -89.25}}, {1, 1, 2, 2, 3, 3}, RG_CONSERVE);
  EXPECT_EQ(got[0], 1.0f);
}

TEST(RegridWeights, ColumnsReadRoundTheGlobeCountOnce) {
  // The globe of kS read from -90 to 360: its last column before 0 and its
  // first again at 360.  Each column counts once, and the source still
  // goes round the globe (at the seam, and at the pole).
  const rggrid round{{-90, 0, 90, 180, 270, 360}, kS.lat};
  std::vector<float> v;
  for (int j = 0; j < 3; j++)
    for (int i : {3, 0, 1, 2, 3, 0}) v.push_back(10.0f * j + i);
  const rggrid t{{0, 45, 315, 350}, {-75, -30, 30, 90}};
  for (int m : {RG_BILINEAR, RG_CONSERVE}) {
    const std::vector<float> want = carry(kS, t, rowcol(), m), got = carry(round, t, v, m);
    for (size_t k = 0; k < want.size(); k++) EXPECT_FLOAT_EQ(got[k], want[k]) << m << " " << k;
  }
}

TEST(RegridWeights, MadeOncePerPairOfGrids) {
  const rggrid t{{10, 100}, {-30, 30}};
  carry(kS, t, rowcol(), RG_BILINEAR);
  const long made = rgmade();
  for (int k = 0; k < 3; k++) carry(kS, t, rowcol(), RG_BILINEAR);
  EXPECT_EQ(rgmade(), made);
  carry(kS, t, rowcol(), RG_CONSERVE);
  carry(kS, rggrid{{10, 100}, {-30, 31}}, rowcol(), RG_BILINEAR);
  EXPECT_EQ(rgmade(), made + 2);
  EXPECT_EQ(rgweightsfor(rggrid{{0}, {0, 1}}, t, RG_BILINEAR), nullptr);
}

// The sample axes: longitudes 0 to 315 by 45, latitudes -80 to 80 by 40.
float tsval(int var, int x, int y, int, int t) { return var == 0 ? fts(x, y, t) : 0.0f; }

TEST(RegridFunction, OntoItsOwnGridASpacingAndRefusals) {
  fnset ds{fnaxes{}, tsval};
  evalstat st = ds.xy();
  for (const char* e : {"regrid(ts,ts)", "regrid(ts,ts,-c)"}) {
    evalout o = fnrun(e, st);
    ASSERT_EQ(o.rc, 0) << e << o.msg;
    for (int y = 1; y <= 5; y++)
      for (int x = 1; x <= 8; x++) EXPECT_NEAR(at(o, x - 1, y - 1), fts(x, y, 1), 1e-5) << e;
    omfree(&o.st);
  }
  // Latitudes -70, -30, 10, 50 lie within -80 to 80; longitudes 0 to 315.
  evalout o = fnrun("regrid(ts,45,40)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  const gridres* g = o.st.result.pgr;
  EXPECT_EQ(g->isiz, 8);
  EXPECT_EQ(g->jsiz, 4);
  EXPECT_FLOAT_EQ(static_cast<float>(g->jgrab(g->jvals, g->dimmin[1])), -70.0f);
  EXPECT_NEAR(at(o, 2, 0), 0.75f * fts(3, 1, 1) + 0.25f * fts(3, 2, 1), 1e-5);
  EXPECT_NEAR(at(o, 2, 3), 0.75f * fts(3, 4, 1) + 0.25f * fts(3, 5, 1), 1e-5);
  omfree(&o.st);
  struct bad { const char *e, *msg; } rows[] = {
      {"regrid(ts)", "Error from REGRID:  Too many or too few args \n"
                     "                    2 to 4 arguments expected \n"},
      {"regrid(ts,0,1)", "Error from REGRID:  Invalid grid spacing\n"
                         "  Spacings in longitude and latitude above 0 expected\n"},
      {"regrid(ts,1,1e99)", "Error from REGRID:  Invalid grid spacing\n"
                            "  Spacings in longitude and latitude above 0 expected\n"},
      {"regrid(ts,20,1e-43)",
       "Error from REGRID:  No point of the new grid lies within the dimension environment\n"},
      {"regrid(ts,1e-43,20)",
       "Error from REGRID:  No point of the new grid lies within the dimension environment\n"},
      {"regrid(ave(ts,x=1,x=8),ts)", "Error from REGRID:  The field must vary in longitude and latitude\n"},
      {"regrid(ts,ave(ts,x=1,x=8))",
       "Error from REGRID:  The grid to regrid to must vary in longitude and latitude\n"},
  };
  for (const bad& b : rows) {
    evalout r = fnrun(b.e, st);
    EXPECT_EQ(r.rc, 1) << b.e;
    EXPECT_EQ(r.msg, failtext(b.msg, "regrid")) << b.e;
  }
}

// The value of a result at a world longitude and latitude (longitudes
// taken round the globe), or nan when it has no such point.
float atworld(const evalout& o, double lon, double lat) {
  const gridres* g = o.st.result.pgr;
  for (int j = 0; j < g->jsiz; j++)
    for (int i = 0; i < g->isiz; i++) {
      const double x = g->igrab(g->ivals, g->dimmin[0] + i), y = g->jgrab(g->jvals, g->dimmin[1] + j);
      if (std::fabs(std::remainder(x - lon, 360.0)) < 1e-3 && std::fabs(y - lat) < 1e-3)
        return at(o, i, j);
    }
  return NAN;
}

TEST(RegridFunction, TheEnvironmentPicksTargetPointsNotTheSource) {
  // Each window holds target points of the whole globe's result and gives
  // their values: the source is read whole, its seam and poles included.
  fnset ds{fnaxes{}, tsval};
  evalstat globe = ds.xy();
  globe.dmin[1] = -90.0f;
  globe.dmax[1] = 90.0f;
  struct row { const char* e; float lon1, lon2, lat1, lat2; int points; } rows[] = {
      // The globe without its last column, and the same written west of 0.
      {"regrid(ts,90,40)", 0, 270, -90, 90, 16},
      {"regrid(ts,90,40,-c)", 0, 270, -90, 90, 16},
      {"regrid(ts,90,40,-c)", -90, 180, -90, 90, 16},
      {"regrid(ts,regrid(ts,90,40),-c)", 0, 270, -90, 90, 16},
      // Windows: inside, and at a pole (its nearest points lie round it).
      {"regrid(ts,90,40,-c)", 90, 180, -30, 10, 4},
      {"regrid(ts,45,10)", 0, 90, -90, -85, 3},
  };
  for (const row& r : rows) {
    evalout whole = fnrun(r.e, globe);
    ASSERT_EQ(whole.rc, 0) << r.e << whole.msg;
    evalstat st = globe;
    st.dmin[0] = r.lon1, st.dmax[0] = r.lon2, st.dmin[1] = r.lat1, st.dmax[1] = r.lat2;
    evalout o = fnrun(r.e, st);
    ASSERT_EQ(o.rc, 0) << r.e << o.msg;
    const gridres* g = o.st.result.pgr;
    EXPECT_EQ(g->isiz * g->jsiz, r.points) << r.e << " " << r.lon1;
    for (int j = 0; j < g->jsiz; j++)
      for (int i = 0; i < g->isiz; i++) {
        const double x = g->igrab(g->ivals, g->dimmin[0] + i), y = g->jgrab(g->jvals, g->dimmin[1] + j);
        EXPECT_NEAR(at(o, i, j), atworld(whole, x, y), 1e-6) << r.e << " from " << r.lon1 << " at " << x << " " << y;
      }
    omfree(&o.st);
    omfree(&whole.st);
  }
}

}  // namespace
