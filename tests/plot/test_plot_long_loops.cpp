// Drawing loops whose length comes from the data: grid values too dense to
// read are refused, and an interrupt stops grid values, vectors, contours
// and station marks part way.
#include "test_plot_graph_util.h"

#include "base/intpoll.h"
#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

class LongLoops : public PlotFrame {
 protected:
  void SetUp() override {
    PlotFrame::SetUp();
    pcm->mpdraw = 0;
    pcm->mproj = 0;
    pcm->dignum = 0;
  }
  void TearDown() override {
    pcm->sigflg = 0;
    PlotFrame::TearDown();
  }
  gridres* ones(int is, int js) {
    env(1, (float)is, 1, (float)js);
    return add(mkgrid(0, 1, is, js, std::vector<float>((size_t)is * js, 1.0f)));
  }
  // Strokes and moves the display list holds for the frame.
  size_t pens() { return plot_read().pens.size(); }
};

}  // namespace

TEST(IntPoll, ReadsTheFlagOncePerBudgetAndStaysStopped) {
  gcmn.sigflg = 1;
  omintpoll p(10);
  EXPECT_FALSE(p.stop(4));
  EXPECT_FALSE(p.stop(5));
  EXPECT_TRUE(p.stop(1));  // the tenth unit reads the flag
  gcmn.sigflg = 0;
  EXPECT_TRUE(p.stop());  // an interrupted loop does not resume
  omintpoll q(10);
  EXPECT_FALSE(q.stop(10));  // the flag is down: read, and go on
  EXPECT_FALSE(q.stop(9));
}

TEST_F(LongLoops, GridValuesCloserThanAPixelAreRefused) {
  ones(1000, 2);
  std::string o = out([&] { omplvl(pcm); });
  EXPECT_EQ(o,
            "Error plotting grid values:  Too many values for the plot area\n"
            "  1000 by 2 values would stand closer than one per pixel\n");
  TearDown();
  SetUp();
  // 600 columns over the plot area's 9.5 inches: 63 a inch, under a pixel each
  ones(600, 2);
  o = out([&] { omplvl(pcm); });
  EXPECT_EQ(o, "");
  EXPECT_EQ(pcm->lastgraphic, 4);
}

TEST_F(LongLoops, AnInterruptStopsGridValuesVectorsAndContourLevels) {
  // 256 columns: the poll reads the flag when row 256 would bring the
  // values drawn to 65536, so with the flag up rows 1..255 are drawn, as
  // without it when the rows above are undefined.
  auto run = [&](int kind, bool flag) {
    TearDown();
    SetUp();
    pcm->gridln = -1;
    pcm->arrflag = 1;
    pcm->arrlab = 0;
    int is = kind == 2 ? 200 : 256, js = kind == 2 ? 200 : 300;
    gridres* g = ones(is, js);
    if (kind == 1) ones(is, js);
    if (kind < 2 && !flag)
      for (size_t k = (size_t)255 * is; k < (size_t)is * js; k++) g->grid[k] = g->undef;
    if (kind == 2) {  // two levels of 40000 points each: the second polls
      for (size_t k = 0; k < (size_t)is * js; k++) g->grid[k] = (float)(k % 2);
      pcm->clevcount = flag ? 2 : 1;
      pcm->clevs[0] = 0.25f;
      pcm->clevs[1] = 0.75f;
      pcm->clab = 0;
    }
    pcm->sigflg = flag;
    out([&] {
      if (kind == 0) omplvl(pcm);
      else if (kind == 1) omvect(pcm, 0);
      else omcntr(pcm, 0);
    });
    pcm->sigflg = 0;
    return pens();
  };
  for (int kind = 0; kind < 3; kind++) EXPECT_EQ(run(kind, true), run(kind, false)) << kind;
}

TEST_F(LongLoops, AnInterruptStopsStationMarks) {
  // 65600 reports: with the flag up the marks end before the 65536th, as
  // without it when the reports from there on are undefined.
  auto run = [&](bool flag) {
    TearDown();
    SetUp();
    env(0, 40, 0, 40);
    pcm->mproj = 2;
    pcm->cmark = 1;
    std::vector<rptspec> r(65600);
    for (size_t k = 0; k < r.size(); k++) {
      float v = !flag && k >= 65535 ? UNDEF : 1.0f;
      r[k] = {1.0f + (k % 300) * 0.1f, 1.0f + (float)(k / 300) * 0.1f, 1, 1, v};
    }
    add(mkstn(0, 1, r));
    pcm->sigflg = flag;
    out([&] { omsmrk(pcm); });
    pcm->sigflg = 0;
    return pens();
  };
  EXPECT_EQ(run(true), run(false));
}

TEST_F(LongLoops, AnInterruptStopsLineBarVectorAndLinefillGraphs) {
  // 70000 points: with the flag up a graph ends before the 65536th point,
  // as without it when the points from there on are undefined.
  auto run = [&](int kind, bool flag) {
    TearDown();
    SetUp();
    const int n = 70000;
    env(1, n, 0, 2);
    pcm->cmark = kind == 0 ? 3 : 0;
    std::vector<float> a(n, 1.0f), b(n, 2.0f);
    if (kind == 3)  // curves that cross at every point: a polygon each
      for (int i = 0; i < n; i++) a[i] = (float)(i % 2) * 3;
    // (the linefill walk polls from its second point on)
    if (!flag)
      for (int i = kind == 3 ? 65536 : 65535; i < n; i++) a[i] = UNDEF;
    add(mkgrid(0, -1, n, 1, a));
    if (kind >= 2) add(mkgrid(0, -1, n, 1, b));
    if (kind == 2) add(mkgrid(0, -1, n, 1, b));
    pcm->sigflg = flag;
    out([&] {
      if (kind == 3) omlfil(pcm);
      else omgrph(pcm, kind == 1 ? 1 : 0);
    });
    pcm->sigflg = 0;
    return plot_words();
  };
  for (int kind = 0; kind < 4; kind++) {
    std::vector<int> stopped = run(kind, true), cut = run(kind, false);
    EXPECT_TRUE(stopped == cut) << kind << ": " << stopped.size() << " words, " << cut.size();
  }
}
