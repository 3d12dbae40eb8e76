// Arrows, wind barbs, vector and barb fields, and scatter plots, read back
// from the display list.
#include "test_plot_graph_util.h"

#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

std::vector<pseg> longer(const std::vector<pseg>& s, float l) {
  std::vector<pseg> out;
  for (const pseg& g : s)
    if (g.len() > l) out.push_back(g);
  return out;
}

TEST(Glyphs, ArrowDotAndHead) {
  frame_state();
  gxcolr(5);
  omarrw(2, 2, 0, 0.00005f, 0.05f);
  drawing d = plot_read();
  ASSERT_FALSE(d.segs.empty());  // the small open circle
  for (const pseg& s : d.segs) EXPECT_LT(s.len(), 0.011f);

  gxfrme(1);
  omarrw(2, 2, 1.5707963f, 1.0f, -0.3f);
  std::vector<pseg> s = plot_read().segs;
  ASSERT_EQ(s.size(), 3u);
  EXPECT_NEAR(s[0].x2, 2, 0.002);
  EXPECT_NEAR(s[0].y2, 3, 0.002);
  EXPECT_NEAR(s[1].len(), 0.3, 0.003);
  EXPECT_NEAR(s[2].len(), 0.3, 0.003);
  EXPECT_LT(s[1].y2, 3);  // the head strokes point back down the shaft
  EXPECT_LT(s[2].y2, 3);
  EXPECT_LT((s[1].x2 - 2) * (s[2].x2 - 2), 0);  // one either side
}

TEST(Glyphs, BarbPennantBarbsAndHalfBarb) {
  frame_state();
  // wind towards +x: the staff points to -x from (6, 4)
  ombarb(6, 4, 3.5f, 2, 0.25f, 0, 65, 0);
  std::vector<pseg> s = plot_read().segs;
  ASSERT_EQ(s.size(), 5u);  // staff, pennant (two strokes), full, half
  EXPECT_NEAR(s[0].x1, 6 - 0.25f, 0.002);
  EXPECT_NEAR(s[0].x2, 6 - 5.66f, 0.002);
  EXPECT_NEAR(s[1].x1, 6 - 5.66f, 0.002);
  EXPECT_NEAR(s[2].x2, 6 - 4.79f, 0.002);  // pennant closes 1.45 s back
  EXPECT_NEAR(s[3].x1, 6 - 4.28f, 0.002);
  EXPECT_NEAR(s[3].len(), 2, 0.003);
  EXPECT_NEAR(s[4].x1, 6 - 3.68f, 0.002);
  EXPECT_NEAR(s[4].len(), 1, 0.003);
  EXPECT_GT(s[3].y2, 4);  // northern barbs on this side
  gxfrme(1);
  ombarb(6, 4, 3.5f, 2, 0.25f, 0, 65, 1);
  EXPECT_LT(plot_read().segs[3].y2, 4);

  gxfrme(1);
  ombarb(6, 4, 3.5f, 2, 0.25f, 0, 5, 0);
  s = plot_read().segs;
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NEAR(s[0].x2, 6 - 4.1f, 0.002);
  EXPECT_NEAR(s[1].x1, 6 - 3.5f, 0.002);  // the half barb at the bare staff end
  EXPECT_NEAR(s[1].len(), 1, 0.003);
}

TEST(Glyphs, BarbCalmAndHugeSpeeds) {
  frame_state();
  ombarb(6, 4, 3.5f, 2, 0.25f, 0, 0, 0);
  drawing d = plot_read();
  ASSERT_GT(d.segs.size(), 8u);  // a circle of diameter max(0.5+0.6, 0.7)
  float xmin = 99, xmax = -99;
  for (const pseg& s : d.segs) {
    xmin = std::fmin(xmin, s.x1);
    xmax = std::fmax(xmax, s.x1);
  }
  EXPECT_NEAR(xmax - xmin, 1.1f, 0.01);
  // huge and infinite speeds end, with a bounded glyph
  for (float v : {1e30f, INFINITY}) {
    gxfrme(1);
    ombarb(6, 4, 0.035f, 0.02f, 0.0025f, 0, v, 0);
    size_t n = plot_read().segs.size();
    EXPECT_GT(n, 10u);
    EXPECT_LT(n, 100u);
  }
  gxfrme(1);
  ombarb(6, 4, 3.5f, 2, 0.25f, 0, NAN, 0);  // a calm circle, not a loop
  EXPECT_FALSE(plot_read().segs.empty());
}

class Vector : public PlotFrame {
 protected:
  void SetUp() override {
    PlotFrame::SetUp();
    env(0, 4, 0, 4);  // every point well inside the plot
    pcm->mpdraw = 0;
    pcm->ccolor = 5;
    pcm->arrflag = 0;
    pcm->arrlab = 1;
    pcm->mproj = 2;
  }
  gridres* field(const std::vector<float>& v, int idim = 0, int jdim = 1) {
    return add(mkgrid(idim, jdim, 3, 3, v));
  }
};

TEST_F(Vector, ReferenceMagnitudeAndKey) {
  std::vector<ppen> key = plot_text("30", 0.13f);
  field({37.2f, 0, 30, 0, 0, 0, 0, 0, 0});
  field({0, 0, 0, 0, 0, 0, 0, 0, 0});
  out([&] { omvect(pcm, 0); });
  EXPECT_FLOAT_EQ(pcm->arrmag, 30);
  EXPECT_FLOAT_EQ(pcm->arrsize, 0.5f);
  drawing d = plot_read();
  std::vector<pseg> shafts = longer(d.of(5), 0.1f);
  ASSERT_EQ(shafts.size(), 2u);
  EXPECT_NEAR(shafts[0].len(), 0.62, 0.003);  // 37.2 units
  EXPECT_NEAR(shafts[1].len(), 0.5, 0.003);   // 30 units
  float kx, ky;
  ASSERT_TRUE(plot_find(d, key, &kx, &ky));
  EXPECT_NEAR(ky, pcm->plotylo - 0.7f, 0.01);
  EXPECT_EQ(pcm->lastgraphic, 3);
}

TEST_F(Vector, SetArrowScaleHoldsForThisDisplay) {
  pcm->arrflag = 1;
  pcm->arrsize = 0.8f;
  pcm->arrmag = 50;
  field({50, 0, 0, 0, 0, 0, 0, 0, 0});
  field({0, 0, 0, 0, 0, 0, 0, 0, 0});
  out([&] { omvect(pcm, 0); });
  std::vector<pseg> shafts = longer(plot_read().of(5), 0.1f);
  ASSERT_EQ(shafts.size(), 1u);
  EXPECT_NEAR(shafts[0].len(), 0.8, 0.003);
}

// u points east and v north: the shaft of (1, 0) runs along +x from its
// point, that of (0, 1) along +y, each the reference length.
TEST_F(Vector, UnitComponentsPointEastAndNorth) {
  pcm->arrflag = 1;
  pcm->arrsize = 0.5f;
  pcm->arrmag = 1;
  for (int north = 0; north < 2; north++) {
    TearDown();
    gxfrme(1);
    field({0, 0, 0, 0, north ? 0.0f : 1.0f, 0, 0, 0, 0});
    field({0, 0, 0, 0, north ? 1.0f : 0.0f, 0, 0, 0, 0});
    out([&] { omvect(pcm, 0); });
    std::vector<pseg> shafts = longer(plot_read().of(5), 0.1f);
    ASSERT_EQ(shafts.size(), 1u) << north;
    EXPECT_NEAR(shafts[0].x2 - shafts[0].x1, north ? 0.0 : 0.5, 1e-4) << north;
    EXPECT_NEAR(shafts[0].y2 - shafts[0].y1, north ? 0.5 : 0.0, 1e-4) << north;
  }
}

TEST_F(Vector, ColourGridHidesAndMarksUndefined) {
  field({10, 10, 10, 0, 0, 0, 0, 0, 0});
  field({0, 0, 0, 0, 0, 0, 0, 0, 0});
  field({1, 9, UNDEF, 1, 1, 1, 1, 1, 9});
  pcm->clevcount = 1;
  pcm->clevs[0] = 5;
  pcm->ccolcount = 2;
  pcm->ccols[0] = -1;
  pcm->ccols[1] = 7;
  out([&] { omvect(pcm, 0); });
  drawing d = plot_read();
  EXPECT_EQ(longer(d.of(7), 0.1f).size(), 1u);
  EXPECT_EQ(longer(d.of(15), 0.1f).size(), 1u);
  EXPECT_TRUE(longer(d.of(5), 0.1f).empty());  // the -1 band hides the first
}

TEST_F(Vector, BarbsOfALatitudeAxisFollowEachPointsHemisphere) {
  env(0, 1, -3, 1, 0, 3);
  gridres* u = add(mkgrid(1, 2, 3, 2, {20, 20, 20, 20, 20, 20}));
  gridres* v = add(mkgrid(1, 2, 3, 2, {0, 0, 0, 0, 0, 0}));
  u->ivals[1] = v->ivals[1] = -3;  // latitudes -2, -1, 0
  out([&] { omvect(pcm, 1); });
  std::vector<pseg> s = plot_read().of(5);
  ASSERT_EQ(s.size(), 18u);  // staff and two barbs at six points
  auto turn = [&](int k) {
    const pseg& a = s[3 * k];
    const pseg& b = s[3 * k + 1];
    return (b.x2 - b.x1) * (a.y2 - a.y1) - (b.y2 - b.y1) * (a.x2 - a.x1);
  };
  EXPECT_GT(turn(0) * turn(1), 0);  // -2 and -1: south
  EXPECT_LT(turn(0) * turn(2), 0);  // 0: north
  EXPECT_EQ(pcm->lastgraphic, 15);
}

TEST_F(Vector, Refusals) {
  field({1, 1, 1, 1, 1, 1, 1, 1, 1});
  EXPECT_EQ(out([&] { omvect(pcm, 0); }), "Error plotting vector field:  Only one grid provided\n");
  add(mkgrid(0, 1, 2, 3, {1, 1, 1, 1, 1, 1}));
  std::string o = out([&] { omvect(pcm, 0); });
  EXPECT_EQ(o,
            "Error plotting vector/barb field:  Invalid grids\n"
            "   Vector component grids have difference scaling\n");
  TearDown();
  field({1, 1, 1, 1, 1, 1, 1, 1, 1});
  add(mkstn(0, 1, {{1, 1, 0, 1, 5}}));
  o = out([&] { omvect(pcm, 1); });
  EXPECT_TRUE(has(o, "Invalid grids"));
  TearDown();
  field({UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, UNDEF, UNDEF});
  field({1, 1, 1, 1, 1, 1, 1, 1, 1});
  add(mkgrid(0, 1, 2, 3, {1, 1, 1, 1, 1, 1}));
  o = out([&] { omvect(pcm, 0); });
  EXPECT_TRUE(has(o, "Error plotting vector/barb field:  Invalid color grid\n"));
  EXPECT_TRUE(has(o, "Cannot draw vectors/barbs -- U field all undefined\n"));
  EXPECT_TRUE(longer(plot_read().of(5), 0.1f).empty());
}

class Scatter : public PlotFrame {
 protected:
  void SetUp() override {
    PlotFrame::SetUp();
    pcm->vrangeset = pcm->vrange2set = 0;
    pcm->cmark = 3;
  }
};

TEST_F(Scatter, ConstantGridsAndRememberedScales) {
  add(mkgrid(0, -1, 3, 1, {5, 5, 5}));
  add(mkgrid(0, -1, 3, 1, {3, 3, UNDEF}));
  std::string o = out([&] { omscat(pcm); });
  EXPECT_EQ(o, "0 10 -2 8 \n");
  EXPECT_EQ(plot_read().fillsof(1), 2);  // two defined pairs
  EXPECT_EQ(pcm->lastgraphic, 3);
  EXPECT_STREQ(omgxnm(pcm->lastgraphic), "Vector");
  EXPECT_EQ(pcm->axisdims[0], 4);
  EXPECT_EQ(pcm->axisdims[1], 4);
  EXPECT_EQ(pcm->vrangeset, 1);
  EXPECT_EQ(pcm->vrange2set, 1);

  // an overlay keeps both scales
  TearDown();
  add(mkgrid(0, -1, 2, 1, {100, 200}));
  add(mkgrid(0, -1, 2, 1, {-50, 50}));
  o = out([&] { omscat(pcm); });
  EXPECT_EQ(o, "0 10 -2 8 \n");
}

TEST_F(Scatter, Refusals) {
  add(mkgrid(0, -1, 3, 1, {5, 5, 5}));
  EXPECT_EQ(out([&] { omscat(pcm); }), "Error plotting scatter field:  Only one grid provided\n");
  add(mkstn(0, 1, {{1, 1, 0, 1, 5}}));
  EXPECT_EQ(out([&] { omscat(pcm); }), "Error plotting scatter field:  stn argument(s) used\n");
  TearDown();
  add(mkgrid(0, -1, 3, 1, {5, 5, 5}));
  add(mkgrid(1, -1, 3, 1, {5, 5, 5}));
  EXPECT_EQ(out([&] { omscat(pcm); }),
            "Error plotting scatter plot:  Invalid grids\n   The two grids have difference scaling\n");
  TearDown();
  add(mkgrid(0, -1, 2, 1, {1, 2}));
  add(mkgrid(0, -1, 2, 1, {UNDEF, UNDEF}));
  EXPECT_EQ(out([&] { omscat(pcm); }), "Cannot draw scatter plot -- 2nd field all undefined\n");
  // a stored range of equal ends is not used (no zero-width scale)
  TearDown();
  pcm->vrangeset = -1;
  pcm->vrange[0] = pcm->vrange[1] = 0;
  add(mkgrid(0, -1, 2, 1, {1, 2}));
  add(mkgrid(0, -1, 2, 1, {1, 2}));
  std::string o = out([&] { omscat(pcm); });
  EXPECT_NE(o.substr(0, 4), "0 0 ");
  EXPECT_EQ(pcm->vrangeset, -1);  // a fixed range stays fixed
}

}  // namespace
