// Station plots on a map (values, winds, weather symbols, marks, the
// nearest-station search), station models, and station time series and
// profiles, read back from the display list.
#include "test_plot_graph_util.h"

#include "plot/omplot.h"
#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

class Station : public PlotFrame {
 protected:
  void SetUp() override {
    PlotFrame::SetUp();
    env(0, 40, 0, 40);
    pcm->mpdraw = 0;
    pcm->mproj = 2;
    pcm->ccolor = 5;
    pcm->digsize = 0.2f;  // big enough text to tell apart
    pcm->mdldig3 = 0;     // not among the settings the state reset restores
  }
  // The page point of a station, once the map is set up.
  void at(float lon, float lat, float* x, float* y) {
    ommscl(pcm);
    gxconv(lon, lat, x, y, 2);
  }
  static stnlist* ids(stnlist* s, const std::vector<const char*>& names) {
    stnrpt* r = s->rpt;
    for (const char* n : names) {
      std::memcpy(r->stid, n, 8);
      r = r->rpt;
    }
    return s;
  }
};

TEST_F(Station, PlacementMovesLongitudesIntoTheRange) {
  env(0, 360, -80, 80);
  float x, y, x2, y2;
  at(260, 10, &x2, &y2);
  ASSERT_TRUE(omstxy(pcm, -100, 10, &x, &y));
  EXPECT_FLOAT_EQ(x, x2);
  EXPECT_FLOAT_EQ(y, y2);
  EXPECT_TRUE(omstxy(pcm, 460, 10, &x, &y));
  EXPECT_FALSE(omstxy(pcm, 0, 10, &x, &y));   // on the edge: outside
  EXPECT_FALSE(omstxy(pcm, 10, 85, &x, &y));
}

TEST_F(Station, ValuesWithIdsAndBoxes) {
  std::vector<ppen> val = plot_text("7", 0.2f), name = plot_text("ab", 0.2f);
  pcm->stid = 1;
  add(ids(mkstn(0, 1, {{20, 10, 0, 1, 7.4f}, {30, 30, 0, 1, UNDEF}}), {"ab      ", "cd      "}));
  float x, y;
  at(10, 20, &x, &y);
  out([&] { ompstn(pcm); });
  drawing d = plot_read();
  float tx, ty;
  ASSERT_TRUE(plot_find(d, val, &tx, &ty));
  EXPECT_NEAR(ty, y + 0.7f * 0.2f, 0.003);  // the value over the plus
  ASSERT_TRUE(plot_find(d, name, &tx, &ty));
  EXPECT_NEAR(ty, y - 1.7f * 0.2f, 0.003);  // the id under it
  // the undefined station gets only its id
  ASSERT_EQ(d.rects.size(), 3u);
  for (const prect& r : d.rects) EXPECT_EQ(r.col, 0);
  EXPECT_EQ(pcm->lastgraphic, 10);
  EXPECT_EQ(pcm->axisdims[0], 0);
  EXPECT_EQ(pcm->axisdims[1], 1);

  gxfrme(1);
  pcm->ccolor = 0;  // no boxes
  pcm->stid = 0;
  out([&] { ompstn(pcm); });
  d = plot_read();
  EXPECT_TRUE(d.rects.empty());
  ASSERT_TRUE(plot_find(d, val, &tx, &ty));
  EXPECT_NEAR(ty, y - 0.5f * 0.2f, 0.003);  // centred on the station
}

TEST_F(Station, SecondListUnderneathSkipsUndefinedValues) {
  std::vector<ppen> big = plot_text("-9990000000000000", 0.2f);
  add(mkstn(0, 1, {{20, 10, 0, 1, 1}}));
  add(mkstn(0, 1, {{20, 10, 0, 1, UNDEF}, {20, 20, 0, 1, 3}}));
  out([&] { ompstn(pcm); });
  drawing d = plot_read();
  EXPECT_EQ(d.rects.size(), 2u);  // the first value and the second list's 3
  EXPECT_FALSE(plot_find(d, big));
}

TEST_F(Station, WindsPairTheFirstDefinedPartner) {
  pcm->gxout_stn = 2;
  add(mkstn(0, 1, {{20, 10, 0, 1, 10}, {25, 10, 0, 1, 10}}));
  add(mkstn(0, 1, {{20, 10, 0, 1, UNDEF}, {20, 10, 0, 1, 0}, {20, 10, 0, 1, 30}}));
  out([&] { ompstn(pcm); });
  std::vector<pseg> s = plot_read().of(5);
  std::vector<pseg> lng;
  for (const pseg& g : s)
    if (g.len() > 0.1f) lng.push_back(g);
  ASSERT_EQ(lng.size(), 2u);  // one staff and one full barb: speed 10
  EXPECT_EQ(pcm->lastgraphic, 10);

  gxfrme(1);
  pcm->gxout_stn = 6;
  pcm->arrflag = 0;
  out([&] { ompstn(pcm); });
  EXPECT_FLOAT_EQ(pcm->arrmag, 30);  // the largest magnitude of either list
  EXPECT_EQ(pcm->arrflag, 1);
  s = plot_read().of(5);
  ASSERT_FALSE(s.empty());
  EXPECT_NEAR(s[0].len(), 0.5f * 10 / 30, 0.003);
}

TEST_F(Station, WeatherSymbolsAndCodesOutOfRange) {
  std::vector<ppen> sym = plot_shape([&] { wxsym(1, 1, 1, 0.3f, 5, pcm->wxcols); }, 1, 1);
  add(mkstn(0, 1, {{20, 10, 0, 1, 0.95f}, {20, 20, 0, 1, 42}, {20, 30, 0, 1, 1e30f},
                   {20, 15, 0, 1, -1e30f}}));
  float x, y;
  at(10, 20, &x, &y);
  out([&] { omwsym(pcm); });
  drawing d = plot_read();
  float sx, sy;
  ASSERT_TRUE(plot_find(d, sym, &sx, &sy));
  EXPECT_NEAR(sx, x, 0.003);
  EXPECT_NEAR(sy, y, 0.003);
  size_t draws = 0;
  for (const ppen& q : sym) draws += q.code == -11;
  EXPECT_EQ(d.of(5).size(), draws);  // that symbol only
  EXPECT_EQ(pcm->lastgraphic, 12);
}

TEST_F(Station, MarksColouredByValueOrOneColour) {
  pcm->cmark = 3;
  pcm->ccolor = -1;
  add(mkstn(0, 1, {{20, 10, 0, 1, 4}, {20, 20, 0, 1, 4}}));
  out([&] { omsmrk(pcm); });
  EXPECT_EQ(pcm->ccolor, 1);
  EXPECT_EQ(plot_read().fillsof(1), 2);

  TearDown();
  gxfrme(1);
  pcm->lastgraphic = 0;
  add(mkstn(0, 1, {{20, 10, 0, 1, UNDEF}}));
  out([&] { omsmrk(pcm); });
  EXPECT_EQ(pcm->lastgraphic, 0);  // map and frame only
  EXPECT_TRUE(plot_read().fills.empty());

  TearDown();
  gxfrme(1);
  pcm->ccolor = 5;
  add(mkstn(0, 1, {{20, 10, 0, 1, 0}, {20, 20, 0, 1, 100}}));
  out([&] { omsmrk(pcm); });
  drawing d = plot_read();
  ASSERT_EQ(d.fills.size(), 2u);
  EXPECT_NE(d.fills[0].col, d.fills[1].col);
  EXPECT_EQ(d.fills[0].col, omshdc(pcm, 0));
  EXPECT_EQ(pcm->lastgraphic, 12);
}

TEST_F(Station, FindStationNearestPoint) {
  add(ids(mkstn(0, 1, {{20, 10, 0, 1, 1}, {30, 30, 0, 1, UNDEF}}), {"ABCDEFGH", "near    "}));
  float x, y;
  at(30, 30, &x, &y);
  add(omgrvl(x + 0.3f));
  add(omgrvl(y + 0.4f));
  std::string o = out([&] { omfstn(pcm); });
  EXPECT_EQ(o, "near    30 30 0.5\n");
  EXPECT_EQ(pcm->lastgraphic, 21);

  at(10, 20, &x, &y);
  static_cast<gridres*>(pcm->resptr[1])->grid[0] = x;
  static_cast<gridres*>(pcm->resptr[2])->grid[0] = y;
  o = out([&] { omfstn(pcm); });
  EXPECT_EQ(o, "ABCDEFG 10 20 0\n");  // an 8-character id shows 7

  TearDown();
  add(mkstn(0, 1, {{20, 10, 0, 1, 1}}));
  add(omgrvl(1));
  EXPECT_EQ(out([&] { omfstn(pcm); }), "Error: Invalid data types for findstn\n");
  add(mkgrid(0, -1, 2, 1, {1, 2}));  // a point must be one value
  EXPECT_EQ(out([&] { omfstn(pcm); }), "Error: Invalid data types for findstn\n");
}

TEST(ModelLayout, WindExitThroughTheBoxes) {
  float xlo[6], xhi[6], ylo[6], yhi[6];
  for (int k = 0; k < 6; k++) xlo[k] = xhi[k] = ylo[k] = yhi[k] = -999.9f;
  EXPECT_FLOAT_EQ(wndexit(1, 1, 0, 0, 1, xlo, xhi, ylo, yhi), -999.9f);
  EXPECT_FLOAT_EQ(wndexit(0, 0, 0, 0, 1, xlo, xhi, ylo, yhi), -999.9f);
  // the right-hand number from 1 to 2, -0.5 to 0.5: a wind from the east
  // leaves it at its right edge widened by an eighth of r
  xlo[4] = 1;
  xhi[4] = 2;
  ylo[4] = -0.5f;
  yhi[4] = 0.5f;
  EXPECT_NEAR(wndexit(-1, 0, 0, 0, 1, xlo, xhi, ylo, yhi), 2.125f, 1e-5);
  // the upper-left number: a wind from the north-west leaves through its top
  xlo[1] = -2;
  xhi[1] = -0.5f;
  ylo[1] = 0.2f;
  yhi[1] = 1;
  EXPECT_NEAR(wndexit(1, -1, 0, 0, 1, xlo, xhi, ylo, yhi), std::hypot(1.25f, 1.25f), 1e-5);
  // a line that misses every box
  EXPECT_FLOAT_EQ(wndexit(0, 1, 0, 0, 1, xlo, xhi, ylo, yhi), -999.9f);
}

class Model : public Station {
 protected:
  // One station at (10, 20) with u = v = 5 and the given slots 2..9.
  void model(const std::vector<float>& slots, float u = 5) {
    add(mkstn(0, 1, {{20, 10, 0, 1, u}}));
    add(mkstn(0, 1, {{20, 10, 0, 1, u}}));
    for (float v : slots) add(mkstn(0, 1, {{20, 10, 0, 1, v}}));
    out([&] { ompmdl(pcm); });
  }
};

TEST_F(Model, ThreeDigitPressure) {
  pcm->mdldig3 = 1;
  std::vector<ppen> t013 = plot_text("013", 0.2f), t999 = plot_text("999", 0.2f);
  float x, y;
  at(10, 20, &x, &y);
  model({UNDEF, UNDEF, 1013.2f});
  float tx, ty, r = 0.65f * 0.2f;
  ASSERT_TRUE(plot_find(plot_read(), t013, &tx, &ty));
  EXPECT_NEAR(tx, x + 0.87f * r, 0.003);
  EXPECT_NEAR(ty, y + 0.5f * r, 0.003);
  EXPECT_EQ(pcm->lastgraphic, 11);
  TearDown();
  gxfrme(1);
  model({UNDEF, UNDEF, 998.6f});
  EXPECT_TRUE(plot_find(plot_read(), t999));
}

TEST_F(Model, VisibilityWholeAndFraction) {
  struct vcase {
    float v;
    std::vector<const char*> big, small, none;
  };
  const vcase cases[] = {{2.25f, {"2"}, {"1", "4"}, {}},
                         {0.5f, {}, {"1", "2"}, {"0"}},
                         {0, {"0"}, {}, {}},
                         {10, {"10"}, {}, {}}};
  for (const vcase& c : cases) {
    std::vector<std::vector<ppen>> big, small, none;
    for (const char* t : c.big) big.push_back(plot_text(t, 0.2f));
    for (const char* t : c.small) small.push_back(plot_text(t, 0.65f * 0.2f));
    for (const char* t : c.none) none.push_back(plot_text(t, 0.2f));
    TearDown();
    gxfrme(1);
    model({UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, c.v});
    drawing d = plot_read();
    for (auto& s : big) EXPECT_TRUE(plot_find(d, s)) << c.v;
    for (auto& s : small) EXPECT_TRUE(plot_find(d, s)) << c.v;
    for (auto& s : none) EXPECT_FALSE(plot_find(d, s)) << c.v;
  }
  // huge visibilities draw nothing rather than overflow
  TearDown();
  gxfrme(1);
  model({UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, 3e38f});
  EXPECT_EQ(pcm->lastgraphic, 11);
}

TEST_F(Model, SkyCoverAndCalm) {
  std::vector<ppen> m = plot_shape([] { gxchpl("`0M", 3, 1, 1, 0.168f, 0.168f, 0); }, 1, 1);
  model({UNDEF, UNDEF, UNDEF, UNDEF, 25});
  drawing d = plot_read();
  EXPECT_TRUE(plot_find(d, m));
  EXPECT_TRUE(d.fills.empty());
  TearDown();
  gxfrme(1);
  pcm->ccolor = 0;
  model({UNDEF, UNDEF, UNDEF, UNDEF, 25});
  d = plot_read();
  EXPECT_FALSE(plot_find(d, m));
  EXPECT_EQ(d.fills.size(), 1u);  // a filled circle instead

  // calm: the ring widens to 0.8 of the circle, so the upper-right number
  // moves out
  std::vector<ppen> t = plot_text("9", 0.2f);
  TearDown();
  gxfrme(1);
  pcm->ccolor = 5;
  float x, y;
  at(10, 20, &x, &y);
  model({UNDEF, UNDEF, 9}, 0);
  float tx, ty;
  ASSERT_TRUE(plot_find(plot_read(), t, &tx, &ty));
  EXPECT_NEAR(tx, x + 0.87f * 0.8f * 0.2f, 0.003);
}

TEST_F(Model, LongitudeMovesIntoTheRange) {
  // a station at 370 on a map of 0 to 40 is drawn at 10, like the others
  pcm->mdldig3 = 1;
  std::vector<ppen> t = plot_text("013", 0.2f);
  float x, y;
  at(10, 20, &x, &y);
  add(mkstn(0, 1, {{20, 370, 0, 1, 5}}));
  add(mkstn(0, 1, {{20, 370, 0, 1, 5}}));
  add(mkstn(0, 1, {{20, 370, 0, 1, UNDEF}}));
  add(mkstn(0, 1, {{20, 370, 0, 1, UNDEF}}));
  add(mkstn(0, 1, {{20, 370, 0, 1, 1013}}));
  out([&] { ompmdl(pcm); });
  float tx, ty;
  ASSERT_TRUE(plot_find(plot_read(), t, &tx, &ty));
  EXPECT_NEAR(tx, x + 0.87f * 0.65f * 0.2f, 0.003);
}

TEST_F(Model, SlotsFromConstantsAndTheTenResultLimit) {
  // a constant holds a slot without drawing it; an eleventh result (here
  // a grid that would be refused) is ignored
  add(mkstn(0, 1, {{20, 10, 0, 1, 5}}));
  add(mkstn(0, 1, {{20, 10, 0, 1, 5}}));
  add(omgrvl(1013));
  for (int k = 3; k < 10; k++) add(omgrvl(0));
  add(mkgrid(0, 1, 2, 2, {1, 2, 3, 4}));
  std::string o = out([&] { ompmdl(pcm); });
  EXPECT_EQ(o, "");
  EXPECT_EQ(pcm->lastgraphic, 11);

  TearDown();
  pcm->lastgraphic = 0;
  add(mkstn(0, 1, {{20, 10, 0, 1, 5}}));
  add(mkgrid(0, 1, 2, 2, {1, 2, 3, 4}));
  o = out([&] { ompmdl(pcm); });
  EXPECT_EQ(o, "Invalid data:  Station data required\n");
  EXPECT_EQ(pcm->lastgraphic, 0);
}

class Series : public Station {
 protected:
  void SetUp() override {
    Station::SetUp();
    pcm->tbeg = {1990, 1, 1, 0, 0};
    pcm->tend = {1990, 1, 2, 0, 0};
    pcm->ccolor = 5;
    pcm->cstyle = 1;
  }
  stnlist* series(const std::vector<rptspec>& r) {
    stnlist* s = mkstn(3, -1, r);
    s->tvals = timeaxis();
    return add(s);
  }
};

TEST_F(Series, LineBreaksOverMissingTimes) {
  series({{0, 0, 0, 1, 1}, {0, 0, 0, 2, 2}, {0, 0, 0, 4, 3}});
  out([&] { omtser(pcm); });
  EXPECT_EQ(plot_read().of(5).size(), 1u);
  EXPECT_EQ(pcm->lastgraphic, 14);
  gxfrme(1);
  pcm->missconn = 1;
  out([&] { omtser(pcm); });
  EXPECT_EQ(plot_read().of(5).size(), 2u);
}

TEST_F(Series, EndingPenThicknessSaturatesAtTheSmallestInt) {
  series({{0, 0, 0, 1, 1}, {0, 0, 0, 2, 2}});
  int thick = pcm->annotthick;
  pcm->annotthick = -2147483647 - 1;
  out([&] { omtser(pcm); });
  pcm->annotthick = thick;
  EXPECT_EQ(gxqwid(), -2147483647 - 1);  // not wrapped round to 2147483645
}

TEST_F(Series, OnlyTheFirstStationIsDrawn) {
  stnlist* s = series({{0, 0, 0, 1, 1}, {0, 0, 0, 1, 50}, {0, 0, 0, 2, 2}, {0, 0, 0, 2, 60}});
  ids(s, {"a       ", "b       ", "a       ", "b       "});
  pcm->cmark = 3;
  out([&] { omtser(pcm); });
  drawing d = plot_read();
  EXPECT_EQ(d.of(5).size(), 1u);
  EXPECT_EQ(d.fillsof(5), 2);
  EXPECT_LT(pcm->vrange[1], 50);  // the axis is the first station's
}

TEST_F(Series, WeatherSymbolsAndMissingMarks) {
  std::vector<ppen> m = plot_text("M", 0.2f);
  series({{0, 0, 0, 1, 2}, {0, 0, 0, 2, UNDEF}, {0, 0, 0, 3, 5}});
  pcm->gxout_tser = 1;
  out([&] { omtser(pcm); });
  float mx, my;
  ASSERT_TRUE(plot_find(plot_read(), m, &mx, &my));
  EXPECT_NEAR(my, pcm->plotylo, 0.003);
  EXPECT_EQ(pcm->frame, 1);  // put back after the frameless set-up
}

TEST_F(Series, Refusals) {
  stnlist* s = series({});
  EXPECT_EQ(out([&] { omtser(pcm); }), "No stations to plot\n");
  (void)s;
  TearDown();
  series({{0, 0, 0, 1, UNDEF}});
  EXPECT_EQ(out([&] { omtser(pcm); }), "All stations undefined for this variable\n");
  TearDown();
  series({{0, 0, 0, 1, 3}});
  pcm->gxout_tser = 2;  // barbs need the v list too
  EXPECT_TRUE(has(out([&] { omtser(pcm); }), "u and v station data required"));
}

TEST_F(Series, ProfilesRegroupByStationAndLevel) {
  env(0, 40, 0, 40, 400, 1100);
  stnlist* s = add(mkstn(2, -1, {{0, 0, 500, 1, 1}, {0, 0, 500, 1, 10},
                                 {0, 0, 1000, 1, 3}, {0, 0, 850, 1, 2},
                                 {0, 0, 1000, 1, 30}, {0, 0, 850, 1, 20}}));
  ids(s, {"a       ", "b       ", "a       ", "a       ", "b       ", "b       "});
  pcm->ccolor = 0;  // drawn in colour 1
  out([&] { ompprf(pcm); });
  std::string order;
  for (const stnrpt* r = s->rpt; r; r = r->rpt) order += std::string(1, r->stid[0]) + std::to_string((int)r->lev) + " ";
  EXPECT_EQ(order, "a1000 a850 a500 b1000 b850 b500 ");
  ASSERT_EQ(s->tail, &s->rpt->rpt->rpt->rpt->rpt->rpt->rpt);
  std::vector<pseg> segs = plot_read().of(1);
  std::vector<pseg> data;
  for (const pseg& g : segs)
    if (g.x1 > pcm->plotxlo + 0.01f && g.x1 < pcm->plotxhi - 0.01f && g.y1 > pcm->plotylo + 0.01f &&
        g.y1 < pcm->plotyhi - 0.01f)
      data.push_back(g);
  EXPECT_EQ(data.size(), 4u);  // two per station, none between them
  EXPECT_EQ(pcm->lastgraphic, 13);
  EXPECT_EQ(pcm->axisdims[0], 4);
  EXPECT_EQ(pcm->axisdims[1], 2);

  TearDown();
  EXPECT_EQ(out([&] { add(mkstn(2, -1, {})); ompprf(pcm); }), "No station values to plot\n");
  TearDown();
  add(mkstn(2, -1, {{0, 0, 500, 1, UNDEF}}));
  EXPECT_EQ(out([&] { ompprf(pcm); }), "All stations values are undefined\n");
}

}  // namespace
