// Contour lines: where they lie on analytic fields, how they break at
// undefined values and the grid's border, saddles, smoothing and labels.
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "test_contour_util.h"

using namespace ctest;

namespace {

const float kUndef = -9.99e8f;

drawing contour(const page& pg, std::vector<float>& g, int is, int js, float v,
                const char* lab = "", int spl = 0, int labtp = 1) {
  gxclev(g.data(), is, js, 1, is, 1, js, v, kUndef, lab, spl, labtp);
  return readback(pg);
}

// The lines of a drawing point for point those of another, every point
// within columns xlo to xhi.
void expect_same_lines(const drawing& got, const drawing& want, float xlo, float xhi) {
  ASSERT_EQ(got.lines.size(), want.lines.size());
  for (size_t k = 0; k < got.lines.size(); k++) {
    ASSERT_EQ(got.lines[k].p.size(), want.lines[k].p.size()) << k;
    for (size_t m = 0; m < got.lines[k].p.size(); m++) {
      EXPECT_EQ(got.lines[k].p[m].x, want.lines[k].p[m].x) << k;
      EXPECT_EQ(got.lines[k].p[m].y, want.lines[k].p[m].y) << k;
      EXPECT_GE(got.lines[k].p[m].x, xlo - 0.01f) << k;
      EXPECT_LE(got.lines[k].p[m].x, xhi + 0.01f) << k;
    }
  }
}

}  // namespace

TEST(ContourLines, LinesOfZEqualsXAreVerticalAtEachLevel) {
  auto g = field(10, 8, [](float x, float) { return x; });
  for (float v : {2.5f, 4.25f, 7.75f}) {
    page pg = setpage(0, 10, 0, 7.5f);
    drawing d = contour(pg, g, 10, 8, v);
    ASSERT_EQ(d.lines.size(), 1u) << v;
    float ylo = 99, yhi = -99;
    for (const pt& p : d.lines[0].p) {
      EXPECT_NEAR(p.x, v, 0.002) << v;
      ylo = std::min(ylo, p.y);
      yhi = std::max(yhi, p.y);
    }
    EXPECT_NEAR(ylo, 1, 0.002);
    EXPECT_NEAR(yhi, 8, 0.002);
  }
  gxcrel();
}

TEST(ContourLines, ValueEqualToLevelCountsAsNotAbove) {
  // Level 5 crosses the edge between 5 and 6 at the grid point of 5; the
  // edge between 4 and 5 is not crossed, so there is exactly one line.
  auto g = field(10, 4, [](float x, float) { return x; });
  page pg = setpage(0, 10, 0, 7.5f);
  drawing d = contour(pg, g, 10, 4, 5.0f);
  ASSERT_EQ(d.lines.size(), 1u);
  for (const pt& p : d.lines[0].p) EXPECT_NEAR(p.x, 5.0, 0.002);
  gxcrel();
}

TEST(ContourLines, RingsOfABowlAreClosed) {
  auto g = field(19, 19, [](float x, float y) { return (x - 10) * (x - 10) + (y - 10) * (y - 10); });
  for (float v : {4.5f, 20.0f, 60.0f}) {
    page pg = setpage(0, 20, 0, 20);
    drawing d = contour(pg, g, 19, 19, v);
    ASSERT_EQ(d.lines.size(), 1u) << v;
    const std::vector<pt>& p = d.lines[0].p;
    ASSERT_GT(p.size(), 8u);
    EXPECT_NEAR(p.front().x, p.back().x, 1e-3);
    EXPECT_NEAR(p.front().y, p.back().y, 1e-3);
    for (const pt& q : p) {
      float r = std::sqrt((q.x - 10) * (q.x - 10) + (q.y - 10) * (q.y - 10));
      // Linear interpolation along the edges of a quadratic field.
      EXPECT_NEAR(r, std::sqrt(v), 0.3) << v;
    }
  }
  gxcrel();
}

TEST(ContourLines, UndefinedPointsBreakLines) {
  auto g = field(10, 8, [](float x, float) { return x; });
  g[(size_t)(4 - 1) * 10 + (5 - 1)] = kUndef;  // (5, 4)
  page pg = setpage(0, 10, 0, 7.5f);
  drawing d = contour(pg, g, 10, 8, 4.5f);
  ASSERT_EQ(d.lines.size(), 2u);
  // The cells touching (5, 4) carry no line: one piece ends at row 3, the
  // other starts at row 5.
  float tops[2], bots[2];
  for (int k = 0; k < 2; k++) {
    tops[k] = -99;
    bots[k] = 99;
    for (const pt& p : d.lines[k].p) {
      EXPECT_NEAR(p.x, 4.5, 0.002);
      tops[k] = std::max(tops[k], p.y);
      bots[k] = std::min(bots[k], p.y);
    }
  }
  if (bots[0] > bots[1]) {
    std::swap(bots[0], bots[1]);
    std::swap(tops[0], tops[1]);
  }
  EXPECT_NEAR(bots[0], 1, 0.002);
  EXPECT_NEAR(tops[0], 3, 0.002);
  EXPECT_NEAR(bots[1], 5, 0.002);
  EXPECT_NEAR(tops[1], 8, 0.002);
  gxcrel();
}

TEST(ContourLines, SaddleRuleChoosesTheShorterPairing) {
  // Symmetric saddle: equal sums pair the bottom crossing with the right.
  EXPECT_EQ(pathln(1, 0, 1, 0, 0.5f), 1);
  // Crossings B=(0.9,0), R=(1,0.1), T=(0.1,1), L=(0,0.9): B-R and L-T are short.
  EXPECT_EQ(pathln(0, 1, 0, 1, 0.9f), 1);
  // Crossings B=(0.1,0), L=(0,0.1), R=(1,0.9), T=(0.9,1): B-L and R-T are short.
  EXPECT_EQ(pathln(0.9f, 0, 0.9f, 0, 0.81f), 0);

  // Traced on a 2x2 grid, the lines follow the chosen pairing.
  std::vector<float> g = {1, 0, 0, 1};  // (1,1)=1 (2,1)=0 (1,2)=0 (2,2)=1
  page pg = setpage(0, 3, 0, 3);
  drawing d = contour(pg, g, 2, 2, 0.5f);
  ASSERT_EQ(d.lines.size(), 2u);
  for (const stroke& s : d.lines) {
    ASSERT_EQ(s.p.size(), 2u);
    pt a = s.p.front(), b = s.p.back();
    if (a.y > b.y || (a.y == b.y && a.x > b.x)) std::swap(a, b);
    bool br = std::fabs(a.x - 1.5f) < 1e-3 && std::fabs(a.y - 1) < 1e-3 &&
              std::fabs(b.x - 2) < 1e-3 && std::fabs(b.y - 1.5f) < 1e-3;
    bool lt = std::fabs(a.x - 1) < 1e-3 && std::fabs(a.y - 1.5f) < 1e-3 &&
              std::fabs(b.x - 1.5f) < 1e-3 && std::fabs(b.y - 2) < 1e-3;
    EXPECT_TRUE(br || lt) << a.x << "," << a.y << " " << b.x << "," << b.y;
  }
  gxcrel();
}

TEST(ContourLines, LongLinesAreNeverCutOrFalselyClosed) {
  // A line across a wide grid is drawn as one open polyline however long.
  const int is = 3000, js = 3;
  auto g = field(is, js, [](float, float y) { return y; });
  page pg = setpage(0, 3001, 0, 3);
  drawing d = contour(pg, g, is, js, 1.5f);
  ASSERT_EQ(d.lines.size(), 1u);
  EXPECT_EQ(d.lines[0].p.size(), (size_t)is);
  EXPECT_GT(std::fabs(d.lines[0].p.front().x - d.lines[0].p.back().x), 2990);
  // A ring whose points fill most of the grid still closes only at its end.
  auto b = field(60, 60, [](float x, float y) { return std::max(std::fabs(x - 30.5f), std::fabs(y - 30.5f)); });
  page pb = setpage(0, 61, 0, 61);
  drawing r = contour(pb, b, 60, 60, 29.2f);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_NEAR(r.lines[0].p.front().x, r.lines[0].p.back().x, 1e-2);
  EXPECT_NEAR(r.lines[0].p.front().y, r.lines[0].p.back().y, 1e-2);
  gxcrel();
}

TEST(ContourLines, IndexRangeOneColumnAndConstantGridsDrawNothingOrSafely) {
  std::vector<float> one = {1, 2, 3, 4, 5};
  page pg = setpage(0, 3, 0, 6);
  gxclev(one.data(), 1, 5, 1, 1, 1, 5, 2.5f, kUndef, "x", 0, 1);
  EXPECT_TRUE(readback(pg).lines.empty());
  std::vector<float> flat(25, 5.0f);
  gxclev(flat.data(), 5, 5, 1, 5, 1, 5, 5.0f, kUndef, "5", 1, 2);
  gxclev(nullptr, 5, 5, 1, 5, 1, 5, 5.0f, kUndef, "5", 1, 2);
  EXPECT_TRUE(readback(pg).lines.empty());
  EXPECT_EQ(gxclbn(), 0);
  gxcrel();
}

TEST(ContourLabels, PlacedAtExtremesBoxedAndLimited) {
  gxclab(0.1f, 0, -1);
  auto g = field(19, 19, [](float x, float y) { return (x - 10) * (x - 10) + (y - 10) * (y - 10); });
  page pg = setpage(0, 20, 0, 20);
  // A ring of radius about 7.7 grid units, 3.8 inches: labels at its top
  // and bottom (local extremes of y, more than 2 inches of line apart).
  contour(pg, g, 19, 19, 60.0f, "60");
  int n = gxclbn();
  EXPECT_GE(n, 1);
  EXPECT_LE(n, 2);
  // An empty text queues nothing.
  contour(pg, g, 19, 19, 30.0f, "");
  EXPECT_EQ(gxclbn(), n);
  // Drawing: a background box per label with the text over it.
  gx_records();
  setpage(0, 20, 0, 20);
  contour(pg, g, 19, 19, 60.0f, "60");
  int queued = gxclbn();
  page p2 = setpage(0, 20, 0, 20);
  gxclab(0.1f, 1, 3);
  drawing d = readback(p2);
  EXPECT_EQ(d.rects, queued);
  EXPECT_EQ(gxclbn(), 0);
  // flag 0 draws nothing and still empties the queue.
  contour(pg, g, 19, 19, 60.0f, "60");
  EXPECT_GT(gxclbn(), 0);
  page p3 = setpage(0, 20, 0, 20);
  gxclab(0.1f, 0, 3);
  EXPECT_EQ(gxclbn(), 0);
  EXPECT_EQ(readback(p3).rects, 0);
  gxcrel();
}

TEST(ContourLabels, QueueStopsAtTwoHundred) {
  // Many small rings, each with labels.
  auto g = field(100, 100, [](float x, float y) { return std::sin(x * 0.3f) * std::sin(y * 0.3f); });
  page pg = setpage(0, 30, 0, 30);
  gxclab(0.1f, 0, -1);
  for (float v = -0.9f; v < 0.95f; v += 0.1f) contour(pg, g, 100, 100, v, "1.5");
  EXPECT_EQ(gxclbn(), 200);
  gxclab(0.1f, 0, -1);
  gxcrel();
}

TEST(ContourLabels, TextIsCutAfterFifteenCharacters) {
  auto g = field(19, 19, [](float x, float y) { return (x - 10) * (x - 10) + (y - 10) * (y - 10); });
  page pg = setpage(0, 20, 0, 20);
  gxclab(0.1f, 0, -1);
  std::string longlab(300, '7');
  contour(pg, g, 19, 19, 60.0f, longlab.c_str());
  ASSERT_GT(gxclbn(), 0);
  page p2 = setpage(0, 20, 0, 20);
  gxclab(0.2f, 1, 2);
  std::vector<int> r = gx_records();
  (void)p2;
  float w15 = 0;
  gxchln(longlab.c_str(), 15, 0.2f, &w15);
  // The first filled rectangle is the background of the first label.
  bool found = false;
  for (size_t i = 0; i + 4 < r.size(); i++) {
    if (r[i] == -6) {
      float w = (r[i + 2] - r[i + 1]) / 1000.0f;
      EXPECT_NEAR(w, w15 + 0.02f, 0.01f);
      found = true;
      break;
    }
  }
  EXPECT_TRUE(found);
  gxcrel();
}

TEST(ContourSmoothing, ShortLinesDrawNothingAndFlatLinesGetOneTurnedLabel) {
  // A line whose points all lie within 0.01 inch draws nothing smoothed.
  std::vector<float> g = {0, 1, 0, 1};
  page tiny = setpage(0, 1000, 0, 1000);
  gxclev(g.data(), 2, 2, 1, 2, 1, 2, 0.5f, kUndef, "", 1, 1);
  EXPECT_TRUE(readback(tiny).lines.empty());

  // A slanted straight line without extremes: label type 2 puts one label
  // on it, turned to the line's angle; type 1 puts none.
  auto s = field(20, 10, [](float x, float y) { return y - 0.3f * x; });
  setpage(0, 21, 0, 21);
  gxclab(0.1f, 0, -1);
  gxclev(s.data(), 20, 10, 1, 20, 1, 10, 2.0f, kUndef, "2", 1, 1);
  EXPECT_EQ(gxclbn(), 0);
  gxclev(s.data(), 20, 10, 1, 20, 1, 10, 2.0f, kUndef, "2", 1, 2);
  ASSERT_EQ(gxclbn(), 1);
  page p2 = setpage(0, 21, 0, 21);
  gxclab(0.1f, 1, 4);
  drawing d = readback(p2);
  EXPECT_EQ(d.rects, 0);          // a turned label gets a filled polygon
  ASSERT_EQ(d.fills.size(), 1u);  // as its background
  const std::vector<pt>& b = d.fills[0].p;
  ASSERT_GE(b.size(), 4u);
  float ang = std::atan2(b[2].y - b[1].y, b[2].x - b[1].x);
  EXPECT_NEAR(ang, std::atan(0.3f), 0.05);
  gxcrel();
}

TEST(ContourSmoothing, SmoothedLinePassesThroughItsCrossings) {
  auto g = field(19, 19, [](float x, float y) { return (x - 10) * (x - 10) + (y - 10) * (y - 10); });
  page pg = setpage(0, 20, 0, 20);
  drawing d = contour(pg, g, 19, 19, 20.0f, "", 1, 0);
  ASSERT_EQ(d.lines.size(), 1u);
  EXPECT_GT(d.lines[0].p.size(), 20u);
  for (const pt& q : d.lines[0].p) {
    float r = std::sqrt((q.x - 10) * (q.x - 10) + (q.y - 10) * (q.y - 10));
    EXPECT_NEAR(r, std::sqrt(20.0f), 0.35);
  }
  EXPECT_NEAR(d.lines[0].p.front().x, d.lines[0].p.back().x, 2e-3);
  EXPECT_NEAR(d.lines[0].p.front().y, d.lines[0].p.back().y, 2e-3);
  gxcrel();
}

TEST(ContourLines, LineCrossingOnlyTheLastRowAndColumnIsDrawn) {
  // Only the top-right grid point is high: the line crosses the top edge
  // and the right edge of the last cell, both on the grid's border.
  std::vector<float> g = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  page pg = setpage(0, 4, 0, 4);
  drawing d = contour(pg, g, 3, 3, 0.5f);
  ASSERT_EQ(d.lines.size(), 1u);
  ASSERT_EQ(d.lines[0].p.size(), 2u);
  pt a = d.lines[0].p[0], b = d.lines[0].p[1];
  if (a.x > b.x) std::swap(a, b);
  EXPECT_NEAR(a.x, 2.5, 1e-3);
  EXPECT_NEAR(a.y, 3, 1e-3);
  EXPECT_NEAR(b.x, 3, 1e-3);
  EXPECT_NEAR(b.y, 2.5, 1e-3);
  gxcrel();
}

TEST(ContourSmoothing, SegmentMillionsOfInchesLongEnds) {
  // The one segment of this line, between grid (3, 2.5) and (2.5, 3), is
  // about 3.7 million inches long on a page of 5.2 million inches per grid
  // unit: one point per 0.1 inch would be a step too small to move the
  // spline's parameter.  The page shows the end of the line at (2.5, 3) in
  // the middle of the page area; the spline comes in straight (its ends are
  // extended in line) with slope -1 through the bottom edge of the page.
  // (The page position is good to an inch or so only: the transform's
  // offset is a float of some 13 million inches.)
  std::vector<float> g = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  const float hx = std::ldexp(1.0f, -20), hy = 3 * std::ldexp(1.0f, -22);
  setpage(2.5f - hx, 2.5f + hx, 3.0f - hy, 3.0f + hy);
  gxclev(g.data(), 3, 3, 1, 3, 1, 3, 0.5f, kUndef, "", 1, 0);
  std::vector<int> r = gx_records();
  ASSERT_EQ(r.size(), 11u);
  EXPECT_EQ(r[0], -3);
  EXPECT_EQ(r[2], -10);
  EXPECT_EQ(r[4], 0);  // enters through the bottom edge
  EXPECT_EQ(r[5], -11);
  EXPECT_NEAR(r[6], 5500, 1500);
  EXPECT_NEAR(r[7], 4250, 1500);
  EXPECT_NEAR(r[3] - r[6], r[7], 10);  // slope -1
  EXPECT_EQ(std::vector<int>(r.begin() + 5, r.begin() + 8),
            std::vector<int>(r.begin() + 8, r.end()));  // the end point again
  gxcrel();
}

TEST(ContourLines, AnInterruptStopsTheWalkOfAHugeLevel) {
  // A line between every two rows, each found in its own row: the poll
  // reads the flag when row 256 would bring the cells walked to 65536.
  auto g = field(256, 300, [](float, float y) { return (float)((int)y % 2); });
  page pg = setpage(0, 257, 0, 301);
  gcmn.sigflg = 1;
  drawing d = contour(pg, g, 256, 300, 0.5f);
  gcmn.sigflg = 0;
  EXPECT_EQ(d.lines.size(), 255u);
  pg = setpage(0, 257, 0, 301);
  EXPECT_EQ(contour(pg, g, 256, 300, 0.5f).lines.size(), 299u);
}

// The edges an interrupted walk marked and never reached do not carry over:
// a window of the same striped field afterwards draws the lines a clean
// start draws, each from the window's first column to its last and no
// further.
TEST(ContourLines, AnInterruptedWalkLeavesNoMarkForTheNextCall) {
  auto g = field(256, 300, [](float, float y) { return (float)((int)y % 2); });
  auto window = [&]() {
    page pg = setpage(0, 257, 0, 301);
    gxclev(g.data(), 256, 300, 10, 20, 260, 290, 0.5f, kUndef, "", 0, 0);
    return readback(pg);
  };
  gxcrel();
  drawing fresh = window();
  page pg = setpage(0, 257, 0, 301);
  gcmn.sigflg = 1;
  drawing cut = contour(pg, g, 256, 300, 0.5f);
  gcmn.sigflg = 0;
  ASSERT_EQ(cut.lines.size(), 255u);  // rows 256 to 299 not walked
  drawing after = window();
  ASSERT_EQ(fresh.lines.size(), 30u);
  expect_same_lines(after, fresh, 10, 20);
  // each line runs the window's width, from one side to the other
  for (const stroke& l : after.lines) EXPECT_NEAR(std::fabs(l.p.back().x - l.p.front().x), 10.0f, 0.02f);
  gxcrel();
}

// The rows a call tests are its window's only: after a wider grid crossed
// in every column, a window of a bowl (columns 4 to 10) draws its ring and
// nothing at column 11 or beyond.
TEST(ContourLines, AWindowAfterAWiderGridDrawsNoLinePastIt) {
  auto stripes = field(40, 30, [](float x, float) { return (float)((int)x % 2); });
  auto bowl = field(17, 13, [](float x, float y) { return (x - 7) * (x - 7) + (y - 7) * (y - 7); });
  auto window = [&]() {
    page pg = setpage(0, 18, 0, 14);
    gxclev(bowl.data(), 17, 13, 4, 10, 3, 11, 5.5f, kUndef, "", 0, 0);
    return readback(pg);
  };
  gxcrel();
  drawing fresh = window();
  page wide = setpage(0, 41, 0, 31);
  gxclev(stripes.data(), 40, 30, 1, 40, 1, 30, 0.5f, kUndef, "", 0, 0);
  ASSERT_EQ(readback(wide).lines.size(), 39u);
  drawing after = window();
  ASSERT_FALSE(fresh.lines.empty());
  expect_same_lines(after, fresh, 4, 10);
  gxcrel();
}

// A level leaves no edge marked for the next call, whatever the grid and
// window: lines of a window stop at its border exactly as they do from a
// fresh start, after a call on a wider grid that crossed everywhere.
TEST(ContourLines, NoMarkOutlivesItsCall) {
  auto wavy = field(31, 23, [](float x, float y) { return std::sin(0.9f * x) + std::cos(0.7f * y); });
  auto bowl = field(17, 13, [](float x, float y) { return (x - 9) * (x - 9) + (y - 7) * (y - 7); });
  auto draw = [&](bool after_wide) {
    if (after_wide) {
      page wide = setpage(0, 32, 0, 24);
      for (float v : {-1.0f, 0.1f, 0.7f}) gxclev(wavy.data(), 31, 23, 1, 31, 1, 23, v, kUndef, "", 0, 0);
      EXPECT_GT(readback(wide).lines.size(), 10u);
    } else {
      gxcrel();
    }
    page pg = setpage(0, 18, 0, 14);
    gxclev(bowl.data(), 17, 13, 4, 12, 3, 10, 10.5f, kUndef, "", 0, 0);
    drawing d = readback(pg);
    std::vector<float> flat;
    for (const stroke& s : d.lines)
      for (const pt& p : s.p) {
        flat.push_back(p.x);
        flat.push_back(p.y);
      }
    flat.push_back(static_cast<float>(d.lines.size()));
    return flat;
  };
  std::vector<float> fresh = draw(false), after = draw(true);
  ASSERT_GT(fresh.size(), 10u);
  EXPECT_EQ(after, fresh);
  gxcrel();
}
