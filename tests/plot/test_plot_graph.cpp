// Line, bar and error-bar graphs and linefill, read back from the display
// list.
#include "test_plot_graph_util.h"

#include "plot/plotgraph.h"
#include "plot/plotkinds.h"

namespace {

class Graph : public PlotFrame {
 protected:
  void SetUp() override {
    PlotFrame::SetUp();
    env(1, 5, 0, 10, 1, 5);
    pcm->ccolor = 5;
  }
  // Page x of grid position i and y of value v on a horizontal graph.
  float px(float i) {
    float x, y;
    gxconv(i, 0, &x, &y, 3);
    return x;
  }
  float py(float v) {
    float x, y;
    gxconv(1, v, &x, &y, 3);
    return y;
  }
};

TEST_F(Graph, LineBreaksAtUndefinedUnlessMissconn) {
  line(0, {1, 2, UNDEF, 4, 5});
  out([&] { omgrph(pcm, 0); });
  EXPECT_EQ(plot_read().of(5).size(), 2u);
  EXPECT_EQ(pcm->lastgraphic, 6);
  EXPECT_EQ(pcm->axisdims[0], 0);
  EXPECT_EQ(pcm->axisdims[1], 4);

  gxfrme(1);
  pcm->missconn = 1;
  out([&] { omgrph(pcm, 0); });
  std::vector<pseg> s = plot_read().of(5);
  ASSERT_EQ(s.size(), 3u);
  EXPECT_NEAR(s[1].x1, px(2), 0.002);  // joined from 2 straight to 4
  EXPECT_NEAR(s[1].x2, px(4), 0.002);

  gxfrme(1);
  pcm->cstyle = 0;  // no line, marks only
  pcm->cmark = 3;
  out([&] { omgrph(pcm, 0); });
  drawing d = plot_read();
  EXPECT_TRUE(d.of(5).empty());
  EXPECT_EQ(d.fillsof(5), 4);  // a filled circle at each defined point
}

TEST_F(Graph, MarkNumbersWithoutAMarkDrawOnlyTheLine) {
  line(0, {1, 2, 3, 4, 5});
  pcm->cmark = 2147483647;  // no such mark, and no knock-out mark to add 1 to
  out([&] { omgrph(pcm, 0); });
  drawing d = plot_read();
  EXPECT_EQ(d.of(5).size(), 4u);
  EXPECT_EQ(d.fillsof(5), 0);
}

TEST_F(Graph, AllUndefinedWarnsAndDrawsNoGraph) {
  line(0, {UNDEF, UNDEF, UNDEF});
  pcm->lastgraphic = 0;
  std::string o = out([&] { omgrph(pcm, 0); });
  EXPECT_TRUE(has(o, "Cannot plot data - all undefined values \n"));
  EXPECT_EQ(pcm->lastgraphic, 0);
  EXPECT_TRUE(plot_read().of(5).empty());
}

TEST_F(Graph, OneAndConstantPointGraphs) {
  line(0, {3});
  std::string o = out([&] { omgrph(pcm, 0); });
  EXPECT_EQ(pcm->lastgraphic, 6);
  EXPECT_FLOAT_EQ(pcm->vrange[0], -2);  // constant 3: axis -2 .. 8
  EXPECT_FLOAT_EQ(pcm->vrange[1], 8);
}

TEST_F(Graph, BarsGapAndBase) {
  env(0, 6, 0, 10);  // room for the end bars inside the plot
  line(0, {5, 6, 8, 10, 7});
  pcm->bargap = 50;
  pcm->barbase = 0;
  pcm->barbaseset = 1;  // 0 lies below the axis of 5..10
  std::string o = out([&] { omgrph(pcm, 1); });
  EXPECT_TRUE(has(o, "Error drawing bargraph: base value out of range\n"));
  EXPECT_TRUE(has(o, "    Drawing graph from bottom\n"));
  std::vector<prect> r = plot_read().rects;
  ASSERT_EQ(r.size(), 5u);
  float step = px(2) - px(1);
  for (const prect& b : r) {
    EXPECT_NEAR(b.xhi - b.xlo, 0.5f * step, 0.003);
    EXPECT_NEAR(b.ylo, pcm->plotylo, 0.002);
    EXPECT_EQ(b.col, 5);
  }
  EXPECT_NEAR(r[3].yhi, py(10), 0.002);
  EXPECT_EQ(pcm->lastgraphic, 8);

  // a base inside the axis: bars hang from it
  gxfrme(1);
  pcm->barbase = 7;
  o = out([&] { omgrph(pcm, 1); });
  EXPECT_FALSE(has(o, "base value out of range"));
  r = plot_read().rects;
  ASSERT_EQ(r.size(), 5u);
  EXPECT_NEAR(r[0].yhi, py(7), 0.002);  // 5 hangs below 7
  EXPECT_NEAR(r[0].ylo, py(5), 0.002);
  EXPECT_NEAR(r[4].yhi - r[4].ylo, 0, 0.002);  // 7 on the base

  // outline bars are drawn, not filled
  gxfrme(1);
  pcm->baropts = 1;
  out([&] { omgrph(pcm, 1); });
  drawing d = plot_read();
  EXPECT_TRUE(d.rects.empty());
  EXPECT_EQ(d.of(5).size(), 5u * 4);
}

TEST_F(Graph, TwoGridsFloatBarsAndErrorBarsKeepTheFirstRange) {
  line(0, {5, 6, 7});
  line(0, {100, 150, 200});
  out([&] { omgrph(pcm, 1); });
  EXPECT_GE(pcm->vrange[1], 200);
  std::vector<prect> r = plot_read().rects;
  ASSERT_EQ(r.size(), 3u);
  EXPECT_NEAR(r[2].ylo, py(7), 0.002);
  EXPECT_NEAR(r[2].yhi, py(200), 0.002);

  gxfrme(1);
  pcm->vrangeset = 0;
  out([&] { omgrph(pcm, 2); });
  EXPECT_LT(pcm->vrange[1], 100);  // error bars: the first grid's range
  drawing d = plot_read();
  EXPECT_TRUE(d.rects.empty());
  // centre line and two cross lines each, but the upper ends lie above
  // the axis and are clipped away
  EXPECT_EQ(d.of(5).size(), 6u);
}

TEST_F(Graph, BarOfUndefinedSecondGridEnds) {
  line(0, {5, 6, 7});
  line(0, {UNDEF, UNDEF, UNDEF});
  std::string o = out([&] { omgrph(pcm, 1); });
  EXPECT_TRUE(has(o, "Cannot plot data - 2nd arg all undefined values \n"));
  EXPECT_TRUE(plot_read().rects.empty());
}

TEST_F(Graph, MismatchedOrStationSecondResultIsIgnored) {
  line(0, {1, 2, 3});
  line(1, {1, 2, 3});
  std::string o = out([&] { omgrph(pcm, 1); });
  EXPECT_TRUE(has(o, "Error in line/bar graph:  Invalid 2nd field\n"));
  EXPECT_TRUE(has(o, "   2nd grid ignored -- has different scaling\n"));
  EXPECT_EQ(plot_read().rects.size(), 3u);  // one-grid bars

  // a station list where the second grid belongs is refused the same way
  TearDown();
  gxfrme(1);
  line(0, {1, 2, 3});
  add(mkstn(0, 1, {{1, 1, 0, 1, 5}}));
  o = out([&] { omgrph(pcm, 0); });
  EXPECT_TRUE(has(o, "Invalid 2nd field"));
  EXPECT_EQ(pcm->lastgraphic, 6);
}

TEST_F(Graph, LevelGraphsStandUpright) {
  line(2, {10, 20, 30, 40, 50});
  out([&] { omgrph(pcm, 0); });
  EXPECT_EQ(pcm->axisdims[0], 4);
  EXPECT_EQ(pcm->axisdims[1], 2);
  std::vector<pseg> s = plot_read().of(5);
  ASSERT_EQ(s.size(), 4u);
  EXPECT_GT(s[0].y2, s[0].y1);  // levels climb the y axis
  EXPECT_GT(s[0].x2, s[0].x1);  // values grow along x

  // bars of a level graph run across from the left edge
  gxfrme(1);
  pcm->bargap = 50;
  out([&] { omgrph(pcm, 1); });
  std::vector<prect> r = plot_read().rects;
  ASSERT_EQ(r.size(), 5u);
  for (const prect& b : r) EXPECT_NEAR(b.xlo, pcm->plotxlo, 0.002);
  EXPECT_LT(r[0].xhi, r[4].xhi);
  EXPECT_NEAR(r[2].yhi - r[2].ylo, 0.5f * (r[2].ylo - r[1].ylo), 0.003);  // half a step

  gxfrme(1);
  pcm->xyrev = 1;
  out([&] { omgrph(pcm, 0); });
  EXPECT_EQ(pcm->axisdims[0], 2);
  EXPECT_EQ(pcm->axisdims[1], 4);
}

TEST_F(Graph, ArrowsAlongTheLine) {
  line(0, {1, 1, 1});
  line(0, {30, 0, 15});
  line(0, {0, 0, 0});
  pcm->gxout_1dvec = 1;
  pcm->arrflag = 0;
  out([&] { omgrph(pcm, 0); });
  EXPECT_EQ(pcm->arrflag, 1);
  EXPECT_FLOAT_EQ(pcm->arrmag, 30);
  EXPECT_FLOAT_EQ(pcm->arrsize, 0.5f);
  std::vector<pseg> s = plot_read().of(5);
  ASSERT_FALSE(s.empty());
  EXPECT_NEAR(s[0].len(), 0.5, 0.003);  // a 30-unit shaft
  EXPECT_NEAR(s[0].x2 - s[0].x1, 0.5, 0.003);
  int shafts = 0;
  for (const pseg& g : s) shafts += std::fabs(g.len() - 0.25f) < 0.003f;
  EXPECT_EQ(shafts, 1);  // the 15-unit one
}

TEST_F(Graph, BarbsAlongALatitudeLineFollowTheHemisphere) {
  env(0, 1, -2, 2);
  gridres* g = line(1, {1, 1});
  (void)g;
  // latitude -1 and 1
  gridres* base = static_cast<gridres*>(pcm->resptr[0]);
  base->ivals[1] = -2;  // world = index - 2: -1, 0 .. so points at -1 and 0
  line(1, {20, 20});
  line(1, {0, 0});
  static_cast<gridres*>(pcm->resptr[1])->ivals[1] = -2;
  static_cast<gridres*>(pcm->resptr[2])->ivals[1] = -2;
  pcm->gxout_1dvec = 2;
  out([&] { omgrph(pcm, 0); });
  std::vector<pseg> s = plot_read().of(5);
  // two barbs of staff and two full barbs each; the southern one's barbs
  // turn the other way
  ASSERT_EQ(s.size(), 6u);
  float turn1 = (s[1].x2 - s[1].x1) * (s[0].y2 - s[0].y1) - (s[1].y2 - s[1].y1) * (s[0].x2 - s[0].x1);
  float turn2 = (s[4].x2 - s[4].x1) * (s[3].y2 - s[3].y1) - (s[4].y2 - s[4].y1) * (s[3].x2 - s[3].x1);
  EXPECT_LT(turn1 * turn2, 0);
}

TEST(Linefill, CrossingFormula) {
  float t, y;
  lfint(3, 1, 1, 3, &t, &y);
  EXPECT_FLOAT_EQ(t, 0.5f);
  EXPECT_FLOAT_EQ(y, 2);
  lfint(2, 2, 2, 2, &t, &y);  // no crossing: no division by zero
  EXPECT_FLOAT_EQ(t, 0);
  float x[1] = {1}, a[1] = {1}, b[1] = {2};
  std::string o = frame_capture([&] { lfout(x, a, b, nullptr, 1, 0); });
  EXPECT_EQ(o, "Internal Logic check 4 in linefill\n");
}

TEST_F(Graph, LinefillSplitsAtTheCrossing) {
  line(0, {3, 1});
  line(0, {1, 3});
  out([&] { omlfil(pcm); });
  drawing d = plot_read();
  ASSERT_EQ(d.fills.size(), 2u);
  EXPECT_EQ(d.fills[0].col, 2);
  EXPECT_EQ(d.fills[1].col, 3);
  ASSERT_EQ(d.fills[0].xy.size(), 6u);
  EXPECT_NEAR(d.fills[0].xy[2], px(1.5f), 0.002);
  EXPECT_NEAR(d.fills[0].xy[3], py(2), 0.002);
  EXPECT_EQ(pcm->lastgraphic, 17);

  gxfrme(1);
  pcm->lfcols[0] = -1;
  out([&] { omlfil(pcm); });
  d = plot_read();
  ASSERT_EQ(d.fills.size(), 1u);
  EXPECT_EQ(d.fills[0].col, 3);
}

TEST_F(Graph, LinefillTouchAndGapsRestart) {
  line(0, {3, 2, 3, 5, UNDEF, 4, 6});
  line(0, {1, 2, 1, 1, 1, 1, 1});
  env(1, 7, 0, 10);
  out([&] { omlfil(pcm); });
  drawing d = plot_read();
  // closed at the touch (2), restarted there, broken at the gap (5)
  ASSERT_EQ(d.fills.size(), 3u);
  EXPECT_EQ(d.fillsof(2), 3);
  EXPECT_NEAR(d.fills[1].xy[0], px(2), 0.002);
}

TEST_F(Graph, LinefillRefusals) {
  line(0, {1, 2});
  std::string o = out([&] { omlfil(pcm); });
  EXPECT_EQ(o, "Error plotting linefill:  Only one grid provided\n");
  line(1, {1, 2});
  o = out([&] { omlfil(pcm); });
  EXPECT_EQ(o, "Error plotting linefill:  Invalid grids -- different scaling\n");
  TearDown();
  line(0, {1, 2, 3});
  line(0, {1, 2, 3});  // equal everywhere: nothing to fill
  o = out([&] { omlfil(pcm); });
  EXPECT_TRUE(has(o, "Cannot plot data - too many undefined values \n"));
  TearDown();
  line(0, {1, 2});
  add(mkstn(0, 1, {{1, 1, 0, 1, 5}}));
  o = out([&] { omlfil(pcm); });
  EXPECT_TRUE(has(o, "Invalid grids"));
  EXPECT_TRUE(plot_read().fills.empty());
}

}  // namespace

#include <gd.h>
#include <unistd.h>

namespace {

// The rendered image of the frame: the RGB of page point (x, y) at 100
// pixels per inch.
struct pageimage {
  gdImagePtr im = nullptr;
  pageimage() {
    char name[] = "/tmp/omgraphpngXXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) return;
    close(fd);
    std::string f = std::string(name);
    frame_capture([&] { gxhpng(f.c_str(), 1100, 850, 0, 0); });
    FILE* fp = fopen(f.c_str(), "rb");
    if (fp) {
      im = gdImageCreateFromPng(fp);
      fclose(fp);
    }
    unlink(f.c_str());
  }
  ~pageimage() {
    if (im) gdImageDestroy(im);
  }
  int rgb(float x, float y) const {
    int c = gdImageGetPixel(im, (int)(x * 100), 850 - (int)(y * 100));
    return (gdImageRed(im, c) << 16) | (gdImageGreen(im, c) << 8) | gdImageBlue(im, c);
  }
};

TEST_F(Graph, BarsAndLinefillReachTheImage) {
  env(0, 6, 0, 10);
  line(0, {5, 6, 8, 10, 7});
  pcm->bargap = 50;
  pcm->ccolor = 2;
  out([&] { omgrph(pcm, 1); });
  {
    pageimage img;
    ASSERT_NE(img.im, nullptr);
    int bg = img.rgb(0.2f, 8.3f);
    float mid = (py(5) + pcm->plotylo) / 2;
    EXPECT_NE(img.rgb(px(1), mid), bg);           // inside the first bar
    EXPECT_EQ(img.rgb(px(1.5f), mid), bg);        // in the gap after it
    EXPECT_EQ(img.rgb(px(1), py(5) + 0.1f), bg);  // above its top
  }
  TearDown();
  gxfrme(1);
  line(0, {3, 1});
  line(0, {1, 3});
  env(1, 2, 0, 10);
  out([&] { omlfil(pcm); });
  pageimage img;
  ASSERT_NE(img.im, nullptr);
  // the first curve above on the left (colour 2), below on the right (3)
  int left = img.rgb(px(1.1f), py(2)), right = img.rgb(px(1.9f), py(2));
  EXPECT_NE(left, img.rgb(0.2f, 8.3f));
  EXPECT_NE(right, img.rgb(0.2f, 8.3f));
  EXPECT_NE(left, right);
}

}  // namespace
