// Grids to stations, collections to grids, successive corrections and
// binning, on grids and station lists built here (world coordinates equal
// 1-based grid indexes).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "expr/fn_stn.h"
#include "expr/omfunc.h"
#include "exprtest.h"

namespace {

// A field of isiz x jsiz in X and Y: v = 2 i + 3 j (1-based grid = world).
gridres* plane(int isiz, int jsiz) {
  std::vector<float> v;
  for (int j = 1; j <= jsiz; j++)
    for (int i = 1; i <= isiz; i++) v.push_back(2.0f * i + 3.0f * j);
  return mkgrid(0, 1, isiz, jsiz, v);
}

TEST(StnGrid, BilinearInsideAndOnTheEdges) {
  const std::vector<float> f = {0, 1, 2, 10, 11, 12};  // 3 x 2
  EXPECT_FLOAT_EQ(g2sbilin(f.data(), 3, 2, UNDEF, 0.5, 0.5, -1), 5.5f);
  EXPECT_FLOAT_EQ(g2sbilin(f.data(), 3, 2, UNDEF, 1.25, 0.0, -1), 1.25f);
  // The last column and row are points of the field, not beyond it.
  EXPECT_FLOAT_EQ(g2sbilin(f.data(), 3, 2, UNDEF, 2.0, 1.0, -1), 12.0f);
  EXPECT_FLOAT_EQ(g2sbilin(f.data(), 3, 2, UNDEF, 2.0, 0.5, -1), 7.0f);
  EXPECT_EQ(g2sbilin(f.data(), 3, 2, UNDEF, 2.01, 0.5, -1), -1);
  EXPECT_EQ(g2sbilin(f.data(), 3, 2, UNDEF, -0.01, 0.5, -1), -1);
  EXPECT_EQ(g2sbilin(f.data(), 3, 2, UNDEF, NAN, 0.5, -1), -1);
  const std::vector<float> h = {0, 1, UNDEF, 10, 11, 12};
  EXPECT_EQ(g2sbilin(h.data(), 3, 2, UNDEF, 1.5, 0.5, -1), -1);
  EXPECT_FLOAT_EQ(g2sbilin(h.data(), 3, 2, UNDEF, 0.5, 0.5, -1), 5.5f);
  // A field of one column has no cell to read.
  EXPECT_EQ(g2sbilin(f.data(), 1, 2, UNDEF, 0.0, 0.5, -1), -1);
}

TEST(StnGrid, GridToStationsWrapsOnceAndStopsBeforeTheLastPoint) {
  gridres* g = plane(5, 4);  // lon 1..5, lat 1..4
  stnlist* s = mkstn(0, 1,
                     {{2.5f, 1.5f, 0, 1, 0},      // inside
                      {1.0f, 1.0f, 0, 1, 0},      // first corner
                      {2.0f, 5.0f, 0, 1, 0},      // on the last longitude
                      {4.0f, 2.0f, 0, 1, 0},      // on the last latitude
                      {2.0f, -357.5f, 0, 1, 0},   // west by 360: wrapped
                      {2.0f, 362.0f, 0, 1, 0},    // east by 360: wrapped
                      {2.0f, -800.0f, 0, 1, 0},   // wrapped once only
                      {0.5f, 2.0f, 0, 1, 0},      // south of the grid
                      {3.5f, 4.5f, 0, 1, 0}},     // the last cell
                     -99.0f);
  g2slist(g, s);
  std::vector<float> v = values(s);
  EXPECT_FLOAT_EQ(v[0], 2 * 1.5f + 3 * 2.5f);
  EXPECT_FLOAT_EQ(v[1], 5.0f);
  EXPECT_EQ(v[2], -99.0f);
  EXPECT_EQ(v[3], -99.0f);
  EXPECT_FLOAT_EQ(v[4], 2 * 2.5f + 3 * 2.0f);
  EXPECT_FLOAT_EQ(v[5], 2 * 2.0f + 3 * 2.0f);
  EXPECT_EQ(v[6], -99.0f);
  EXPECT_EQ(v[7], -99.0f);
  EXPECT_FLOAT_EQ(v[8], 2 * 4.5f + 3 * 3.5f);
  // An undefined grid point spoils the four cells around it only.
  g->grid[1 * 5 + 1] = UNDEF;  // (2, 2)
  g2slist(g, s);
  v = values(s);
  EXPECT_EQ(v[0], -99.0f);
  EXPECT_EQ(v[1], -99.0f);
  EXPECT_FLOAT_EQ(v[8], 2 * 4.5f + 3 * 3.5f);
  omsfre(s);
  omgfre(g);
}

TEST(StnGrid, GridToStationsOnAnEmptyListOrPointGrid) {
  gridres* g = plane(5, 4);
  stnlist* s = mkstn(0, 1, {});
  g2slist(g, s);
  EXPECT_EQ(s->rnum, 0);
  omsfre(s);
  omgfre(g);
  // A grid of one column gives no spacing: every report undefined, no
  // division by zero.
  gridres* one = mkgrid(0, 1, 1, 3, {1, 2, 3});
  stnlist* t = mkstn(0, 1, {{2, 1, 0, 1, 0}}, -5.0f);
  g2slist(one, t);
  EXPECT_EQ(values(t)[0], -5.0f);
  omsfre(t);
  omgfre(one);
}

// ---- collections ----

// A profile at one place with (level, value) pairs.
stnlist* profile(const std::vector<std::pair<float, float>>& lv, float undef = UNDEF) {
  std::vector<rptspec> r;
  for (auto& p : lv) r.push_back({40, -90, p.first, 1, p.second});
  return mkstn(2, -1, r, undef);
}

struct Coll {
  std::vector<collnode> nodes;
  collnode* heads[32] = {};
  explicit Coll(const std::vector<stnlist*>& lists) : nodes(lists.size()) {
    for (size_t k = 0; k < lists.size(); k++) {
      nodes[k].stn = lists[k];
      nodes[k].next = k + 1 < lists.size() ? &nodes[k + 1] : nullptr;
    }
    if (!lists.empty()) heads[0] = &nodes[0];
  }
  ~Coll() {
    for (auto& n : nodes) omsfre(n.stn);
  }
};

TEST(StnGrid, CollectionLevelsEvenOrUnion) {
  Coll c({profile({{1000, 1}, {850, 2}, {500, 3}}), profile({{925, 1}, {500.01f, 2}, {50, 3}}),
          profile({{700, UNDEF}, {300, 4}})});
  std::vector<float> l = clglevels(c.heads[0], 1, 10, 1000, 100, false);
  ASSERT_EQ(l.size(), 10u);
  for (int k = 0; k < 10; k++) EXPECT_NEAR(l[k], 1000 - 100 * k, 1e-3);
  l = clglevels(c.heads[0], 1, 1, 1000, 100, false);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0], 1000);
  EXPECT_TRUE(clglevels(c.heads[0], 1, 0, 1000, 100, false).empty());
  // Union within 1000..100, highest first; 500.01 is within the tolerance
  // of 500 (0.09) and 50 is outside the range.
  l = clglevels(c.heads[0], 2, 0, 1000, 100, false);
  EXPECT_EQ(l, (std::vector<float>{1000, 925, 850, 700, 500, 300}));
  l = clglevels(c.heads[0], 2, 0, 1000, 100, true);
  EXPECT_EQ(l, (std::vector<float>{1000, 925, 850, 500, 300}));
  // Bounds given from the top select the same levels.
  EXPECT_EQ(clglevels(c.heads[0], 2, 0, 100, 1000, true), l);
}

TEST(StnGrid, ProfileValueAtALevel) {
  stnlist* p = profile({{1000, 10}, {850, UNDEF}, {700, 40}, {500, 60}, {300, UNDEF}});
  EXPECT_EQ(clgprofile(p, 700, false, -1), 40);
  EXPECT_NEAR(clgprofile(p, 600, false, -1), 50, 1e-4);
  // The nearest neighbour below 800 is 850, which is undefined ...
  EXPECT_EQ(clgprofile(p, 800, false, -1), -1);
  // ... unless undefined reports are skipped: 1000 and 700 then.
  EXPECT_NEAR(clgprofile(p, 800, true, -1), 10 + (40 - 10) * (800 - 1000) / (700.0 - 1000), 1e-4);
  // An exact level gives its value even when undefined.
  EXPECT_EQ(clgprofile(p, 850, true, -1), -1);
  // Beyond the profile there is no neighbour on one side.
  EXPECT_EQ(clgprofile(p, 1100, false, -1), -1);
  EXPECT_EQ(clgprofile(p, 200, true, -1), -1);
  omsfre(p);
  stnlist* e = profile({});
  EXPECT_EQ(clgprofile(e, 500, false, -1), -1);
  omsfre(e);
}

evalstat xzenv(float lon1, float lon2, float lev1, float lev2, collnode** heads) {
  evalstat st = blankst();
  st.idim = 0;
  st.jdim = 2;
  st.dmin[0] = lon1;
  st.dmax[0] = lon2;
  st.dmin[2] = lev1;
  st.dmax[2] = lev2;
  st.collections = heads;
  return st;
}

TEST(StnGrid, CollectionToLongitudeLevelGrid) {
  Coll c({profile({{1000, 10}, {500, 20}}), profile({{1000, 30}, {500, 40}}),
          profile({{1000, 50}, {700, UNDEF}, {500, 60}})});
  evalstat st = xzenv(-100, -80, 1000, 500, c.heads);
  fargs a;
  setargs(&a, {"0", "3"});
  int rc = 1;
  std::string out = captured([&] { rc = ffclgr(&a, &st); });
  ASSERT_EQ(rc, 0) << out;
  ASSERT_EQ(st.type, 1);
  gridres* g = st.result.pgr;
  ASSERT_EQ(g->isiz, 3);
  ASSERT_EQ(g->jsiz, 3);
  EXPECT_EQ(g->idim, 0);
  EXPECT_EQ(g->jdim, 2);
  EXPECT_EQ(g->iwrld, 1);
  // Levels 1000, 750, 500; longitudes -100, -90, -80.
  EXPECT_FLOAT_EQ(g->grid[0], 10);
  EXPECT_FLOAT_EQ(g->grid[3], 15);
  EXPECT_FLOAT_EQ(g->grid[4], 35);
  EXPECT_EQ(g->grid[5], UNDEF);  // between 1000 and an undefined 700
  EXPECT_FLOAT_EQ(g->grid[8], 60);
  EXPECT_NEAR(g->igrab(g->ivals, 2), -90, 1e-4);
  EXPECT_NEAR(g->jgrab(g->jvals, 3), 500, 1e-4);
  EXPECT_NEAR(g->jabgr(g->javals, 750), 2, 1e-4);
  omfree(&st);

  // -n1 passes over the undefined report.
  st = xzenv(-100, -80, 1000, 500, c.heads);
  setargs(&a, {"0", "-u", "-n1"});
  out = captured([&] { rc = ffclgr(&a, &st); });
  ASSERT_EQ(rc, 0) << out;
  g = st.result.pgr;
  ASSERT_EQ(g->jsiz, 2);
  EXPECT_FLOAT_EQ(g->grid[1 * 3 + 2], 60);
  omfree(&st);
}

TEST(StnGrid, CollectionRefusals) {
  Coll c({profile({{1000, 10}, {500, 20}})});
  auto run = [&](const std::vector<std::string>& args, evalstat st) {
    fargs a;
  setargs(&a, args);
    int rc = 0;
    std::string out = captured([&] { rc = ffclgr(&a, &st); });
    if (rc == 0) omfree(&st);
    return std::make_pair(rc, out);
  };
  evalstat xz = xzenv(-90, -90, 1000, 500, c.heads);
  EXPECT_EQ(run({"1"}, xz), std::make_pair(1, std::string("Error from COLL2GR:  Collection 1 empty\n")));
  EXPECT_EQ(run({"40"}, xz), std::make_pair(1, std::string("Error from COLL2GR:  Collection 40 empty\n")));
  EXPECT_EQ(run({"-1"}, xz), std::make_pair(1, std::string("Error from COLL2GR:  Collection -1 empty\n")));
  EXPECT_EQ(run({"a"}, xz).second, "Error from COLL2GR:  1st argument must be an integer\n");
  EXPECT_EQ(run({"0", "1", "2", "3"}, xz).second,
            "Error from COLL2GR:  Too many args \n                     One to three arguments expected \n");
  evalstat xy = xz;
  xy.jdim = 1;
  EXPECT_EQ(run({"0"}, xy).second, "Error from COLL2GR:  Invalid dimension environment\n");
  evalstat none = blankst();
  EXPECT_EQ(run({"0"}, none).second, "Error from COLL2GR:  Collection 0 empty\n");
  // Bad options warn and go on; a single list spaces nothing.
  auto r = run({"0", "x", "-n2"}, xz);
  EXPECT_EQ(r.first, 0);
  EXPECT_EQ(r.second,
            "COLL2GR Warning:  2nd arg Invalid; Ignored\nCOLL2GR Warning:  3nd arg Invalid; Ignored\n");
  // A level count below one would size the grid by it: it is ignored.
  for (const char* n : {"0", "-3"}) {
    evalstat st = xz;
    fargs a;
    setargs(&a, {"0", n});
    int rc = 1;
    std::string o = captured([&] { rc = ffclgr(&a, &st); });
    ASSERT_EQ(rc, 0) << o;
    EXPECT_EQ(o, "COLL2GR Warning:  2nd arg Invalid; Ignored\n");
    EXPECT_EQ(st.result.pgr->jsiz, 10);
    omfree(&st);
  }
  // No reported level within the range.
  evalstat high = xzenv(-90, -90, 300, 100, c.heads);
  r = run({"0", "-u"}, high);
  EXPECT_EQ(r.first, 1);
}

TEST(StnGrid, CollectionOfTimeSeriesIsRefused) {
  Coll c({mkstn(3, -1, {{1, 1, 0, 1, 1}})});
  evalstat st = xzenv(-90, -90, 1000, 500, c.heads);
  st.jdim = 3;
  fargs a;
  setargs(&a, {"0"});
  int rc = 0;
  std::string out = captured([&] { rc = ffclgr(&a, &st); });
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "COL2GR does not yet support time slices\n");
}

// ---- successive corrections and binning ----

TEST(StnGrid, CressmanWithTooFewStations) {
  gridres* g = plane(12, 10);
  stnlist* s = mkstn(0, 1, {{5, 5, 0, 1, 300}});
  std::string out = captured([&] { EXPECT_EQ(cressman(g, s, cresdefault(), -1e20f), 0); });
  EXPECT_EQ(out, "Warning from OACRES:  Less than two stations\n    Grid will be all missing values\n");
  for (float v : values(g)) EXPECT_EQ(v, UNDEF);
  // With a first guess the single station corrects the grid near it and
  // the points not within the third radius (4) become undefined.
  out = captured([&] { EXPECT_EQ(cressman(g, s, cresdefault(), 273.0f), 0); });
  for (int j = 0; j < 10; j++)
    for (int i = 0; i < 12; i++) {
      float v = g->grid[j * 12 + i];
      double d = std::hypot(i - 4.0, j - 4.0);
      if (d >= 4.0) {  // no weight at the radius itself
        EXPECT_EQ(v, UNDEF) << i << " " << j;
      } else {
        EXPECT_GT(v, 273.0f);
        EXPECT_LE(v, 300.0f + 1e-3f);
      }
    }
  // The station sits on a grid point: the analysis there meets it.
  EXPECT_NEAR(g->grid[4 * 12 + 4], 300.0f, 1e-3f);
  omsfre(s);
  omgfre(g);
}

TEST(StnGrid, CressmanOnePassByHand) {
  gridres* g = plane(6, 6);
  // Two stations inside the grid, undefined and outside ones ignored.
  stnlist* s = mkstn(0, 1,
                     {{2, 2, 0, 1, 10}, {3.5f, 2, 0, 1, 20}, {3, 3, 0, 1, UNDEF},
                      {3, 9, 0, 1, 99}, {6, 3, 0, 1, 99}});
  ASSERT_EQ(cressman(g, s, {2.0f}, -1e20f), 0);
  // First guess 15 everywhere; one pass of radius 2.  At point (1, 1)
  // (0-based) the first station is at distance 0 (q = 1, e = -5) and the
  // second at 1.5 (q = (4 - 2.25) / (4 + 2.25), e = 5).
  double q2 = (4 - 2.25) / (4 + 2.25);
  EXPECT_NEAR(g->grid[1 * 6 + 1], 15 + (-5 + 5 * q2) / (1 + q2), 1e-4);
  // At (1, 4) only the second station is within 2 (distance 1.5).
  EXPECT_NEAR(g->grid[4 * 6 + 1], 20, 1e-4);
  // Far away nothing is in reach, and with one pass no point is flagged.
  EXPECT_NEAR(g->grid[5 * 6 + 5], 15, 1e-4);
  omsfre(s);
  omgfre(g);
}

// A second pass corrects the first pass's field, read at each station by
// bilinear interpolation of its cell: the values were worked out by hand
// (and checked with a plain loop in Python) for two stations and radii 1.5
// then 1.
TEST(StnGrid, CressmanSecondPassReadsTheFirstPassAtTheStations) {
  gridres* g = plane(4, 3);
  stnlist* s = mkstn(0, 1, {{1.5f, 1.5f, 0, 1, 10}, {2, 3.25f, 0, 1, 20}});
  ASSERT_EQ(cressman(g, s, {1.5f, 1.0f}, -1e20f), 0);
  const float want[3][4] = {{9.447993f, 9.447993f, 20, 20},
                            {9.447993f, 11.656022f, 20, 20},
                            {15, 15, 20, 20}};
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 4; i++) EXPECT_NEAR(g->grid[j * 4 + i], want[j][i], 1e-4) << i << " " << j;
  omsfre(s);
  omgfre(g);
}

TEST(StnGrid, CressmanEqualStationsGiveTheirValue) {
  gridres* g = plane(20, 15);
  stnlist* s = mkstn(0, 1, {{3, 4, 0, 1, 7}, {12, 15.5f, 0, 1, 7}, {10, 10, 0, 1, 7}});
  ASSERT_EQ(cressman(g, s, cresdefault(), -1e20f), 0);
  for (int j = 0; j < 15; j++)
    for (int i = 0; i < 20; i++) {
      float v = g->grid[j * 20 + i];
      bool near = std::hypot(i - 3.0, j - 2.0) < 4 || std::hypot(i - 14.5, j - 11.0) < 4 ||
                  std::hypot(i - 9.0, j - 9.0) < 4;
      if (near)
        EXPECT_FLOAT_EQ(v, 7.0f);
      else
        EXPECT_EQ(v, UNDEF);
    }
  omsfre(s);
  omgfre(g);
}

TEST(StnGrid, BinningCountsMeansAndFirstTwo) {
  gridres* g = plane(4, 3);
  std::vector<rptspec> r = {{1, 1, 0, 1, 2},   {1.4f, 1.2f, 0, 1, 4}, {0.6f, 1.1f, 0, 1, 9},
                            {2, 2, 0, 1, 5},   {3.4f, 4.4f, 0, 1, 1}, {3.6f, 4, 0, 1, 8},
                            {2, 2, 0, 1, UNDEF}};
  stnlist* s = mkstn(0, 1, r);
  ASSERT_EQ(oabinning(g, s, 1), 0);
  EXPECT_EQ(values(g), (std::vector<float>{3, UNDEF, UNDEF, UNDEF, UNDEF, 1, UNDEF, UNDEF, UNDEF,
                                           UNDEF, UNDEF, UNDEF}));
  ASSERT_EQ(oabinning(g, s, 0), 0);
  EXPECT_FLOAT_EQ(g->grid[0], 5.0f);
  EXPECT_FLOAT_EQ(g->grid[5], 5.0f);
  ASSERT_EQ(oabinning(g, s, 2), 0);
  EXPECT_FLOAT_EQ(g->grid[0], 3.0f);
  omsfre(s);
  // Latitude 3.4 is nearest the last row; 3.6 is nearer a row beyond it.
  s = mkstn(0, 1, {{3.4f, 4.0f, 0, 1, 1}, {3.6f, 4.0f, 0, 1, 8}});
  ASSERT_EQ(oabinning(g, s, 0), 0);
  EXPECT_FLOAT_EQ(g->grid[11], 1.0f);
  omsfre(s);
  omgfre(g);
}

}  // namespace
