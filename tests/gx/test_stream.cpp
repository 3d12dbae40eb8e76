// Streamlines: horizontal lines of a uniform field with arrowheads, lines
// ending at calm and undefined areas, colouring through shade levels.
#include <climits>
#include <map>

#include "base/cmnstate.h"
#include "test_contour_util.h"

using namespace ctest;

namespace {

const float kUndef = -9.99e8f;

// Drawn segments longer than an arrowhead stroke (0.05 inch).
std::vector<std::pair<pt, pt>> segments(const drawing& d, const page& pg, bool heads) {
  std::vector<std::pair<pt, pt>> out;
  for (const stroke& s : d.lines) {
    for (size_t k = 1; k < s.p.size(); k++) {
      // Lengths in page inches.
      float dx = (s.p[k].x - s.p[k - 1].x) * 10.0f / (pg.wx2 - pg.wx1);
      float dy = (s.p[k].y - s.p[k - 1].y) * 7.5f / (pg.wy2 - pg.wy1);
      bool ishead = std::fabs(std::sqrt(dx * dx + dy * dy) - 0.05f) < 0.005f;
      if (ishead == heads) out.push_back({s.p[k - 1], s.p[k]});
    }
  }
  return out;
}

}  // namespace

TEST(Streamlines, ShadeColourLookup) {
  float lv[3] = {-1e9f, 10, 20};
  int cl[3] = {5, 6, 7};
  EXPECT_EQ(gxshdc(lv, cl, 3, 5), 5);
  EXPECT_EQ(gxshdc(lv, cl, 3, 10), 6);
  EXPECT_EQ(gxshdc(lv, cl, 3, 19.9f), 6);
  EXPECT_EQ(gxshdc(lv, cl, 3, 20), 7);
  EXPECT_EQ(gxshdc(lv, cl, 0, 20), 1);
  EXPECT_EQ(gxshdc(lv, cl, 1, 20), 5);
}

TEST(Streamlines, UniformEastwardFlowGivesHorizontalLinesWithArrows) {
  const int is = 20, js = 10;
  std::vector<float> u((size_t)is * js, 1.0f), v((size_t)is * js, 0.0f);
  page pg = setpage(0, 21, 0, 11);
  gxstrm(u.data(), v.data(), nullptr, is, js, kUndef, kUndef, 0, 0, nullptr, nullptr, 0, 5);
  drawing d = readback(pg);
  auto segs = segments(d, pg, false);
  ASSERT_GT(segs.size(), 100u);
  std::map<int, int> rows;  // y in hundredths of a grid unit -> segments
  for (auto& s : segs) {
    EXPECT_NEAR(s.first.y, s.second.y, 2e-3);
    EXPECT_GE(s.first.x, 1 - 1e-3);
    EXPECT_LE(s.second.x, is + 0.051f);  // one step past the last point at most
    rows[(int)std::lround(s.first.y * 100)]++;
  }
  // d = 10 mask cells per grid cell and a seed window of radius 2: a line
  // every 3 mask rows, 0.3 grid units apart.
  ASSERT_GE(rows.size(), 20u);
  int prev = -1;
  for (auto& r : rows) {
    if (prev >= 0) {
      EXPECT_EQ(r.first - prev, 30) << r.first;
    }
    prev = r.first;
  }
  // Arrowheads point downstream (east): both strokes go back to the west.
  auto heads = segments(d, pg, true);
  ASSERT_GT(heads.size(), 10u);
  for (auto& h : heads) EXPECT_LT(h.second.x, h.first.x);
}

TEST(Streamlines, CalmAndUndefinedAreasEndLines) {
  const int is = 20, js = 10;
  std::vector<float> u((size_t)is * js, 1.0f), v((size_t)is * js, 0.0f);
  for (int j = 0; j < js; j++) {
    for (int i = 10; i < 13; i++) u[(size_t)j * is + i] = 0.05f;  // calm band
    u[(size_t)j * is + 16] = kUndef;                               // undefined column
  }
  page pg = setpage(0, 21, 0, 11);
  gxstrm(u.data(), v.data(), nullptr, is, js, kUndef, kUndef, 0, 0, nullptr, nullptr, 0, 5);
  drawing d = readback(pg);
  for (auto& s : segments(d, pg, false)) {
    float mx = (s.first.x + s.second.x) / 2;
    // No line crosses the calm columns (grid x 11..13) or the cells beside
    // the undefined column (grid x 16..18).
    EXPECT_FALSE(mx > 11.6f && mx < 12.4f) << mx;
    EXPECT_FALSE(mx > 16.05f && mx < 17.95f) << mx;
  }
}

TEST(Streamlines, UncolouredBandsAreNotDrawnAndCarryNoArrows) {
  const int is = 20, js = 10;
  std::vector<float> u((size_t)is * js, 1.0f), v((size_t)is * js, 0.0f), c((size_t)is * js);
  for (int j = 0; j < js; j++)
    for (int i = 0; i < is; i++) c[(size_t)j * is + i] = (float)i;
  float lv[2] = {-100, 9.5f};
  int cl[2] = {3, -1};  // east half uncoloured
  page pg = setpage(0, 21, 0, 11);
  gxstrm(u.data(), v.data(), c.data(), is, js, kUndef, kUndef, kUndef, 1, lv, cl, 2, 5);
  drawing d = readback(pg);
  int drawn = 0;
  for (const stroke& s : d.lines) {
    for (size_t k = 1; k < s.p.size(); k++) {
      // Colour grid value at x is x - 1: the uncoloured band starts at 10.5.
      EXPECT_LT(s.p[k].x, 10.5f + 0.2f);
      drawn++;
    }
  }
  EXPECT_GT(drawn, 50);
  // Only the band's colour is ever set (after the page set-up's colour 1).
  std::vector<int> r = gx_records();
  for (size_t k = 0; k + 1 < r.size(); k++) {
    if (r[k] == -3) {
      EXPECT_TRUE(r[k + 1] == 1 || r[k + 1] == 3) << r[k + 1];
    }
  }
}

TEST(Streamlines, MaskResolutionAndBadInput) {
  // A 400 by 200 grid gets one mask cell per grid cell and still draws.
  const int is = 400, js = 200;
  std::vector<float> u((size_t)is * js, 0.0f), v((size_t)is * js, 1.0f);
  page pg = setpage(0, 401, 0, 201);
  gxstrm(u.data(), v.data(), nullptr, is, js, kUndef, kUndef, 0, 0, nullptr, nullptr, 0, 5);
  auto segs = segments(readback(pg), pg, false);
  ASSERT_GT(segs.size(), 100u);
  for (auto& s : segs) EXPECT_NEAR(s.first.x, s.second.x, 0.05);
  // Degenerate shapes and missing grids draw nothing.
  page p2 = setpage(0, 3, 0, 3);
  gxstrm(u.data(), v.data(), nullptr, 1, 5, kUndef, kUndef, 0, 0, nullptr, nullptr, 0, 5);
  gxstrm(nullptr, v.data(), nullptr, 5, 5, kUndef, kUndef, 0, 0, nullptr, nullptr, 0, 5);
  EXPECT_TRUE(segments(readback(p2), p2, false).empty());
  // An absurd density is limited; a colour flag without a colour grid
  // draws in the current colour.
  gxstrm(u.data(), v.data(), nullptr, 5, 5, kUndef, kUndef, 0, 1, nullptr, nullptr, 0, -50);
  EXPECT_FALSE(segments(readback(p2), p2, false).empty());
}

TEST(Streamlines, DensitiesAtTheEndsOfTheIntRangeAreTheDensestAndSparsest) {
  const int is = 20, js = 10;
  std::vector<float> u((size_t)is * js, 1.0f), v((size_t)is * js, 0.0f);
  auto lines = [&](int den) {
    page pg = setpage(0, 21, 0, 11);
    gxstrm(u.data(), v.data(), nullptr, is, js, kUndef, kUndef, 0, 0, nullptr, nullptr, 0, den);
    return readback(pg).lines.size();
  };
  EXPECT_EQ(lines(INT_MAX), lines(15));
  EXPECT_EQ(lines(INT_MIN), lines(-10));
  EXPECT_NE(lines(15), lines(-10));
}

TEST(Streamlines, AnInterruptStopsTheSeedsPartWay) {
  // Eastward flow on 300 by 300 points, one mask cell per point: the poll
  // reads the flag when mask row 219 would bring the cells to 65536, so
  // with the flag up only the lines of rows 1..218 are drawn.
  const int is = 300, js = 300;
  std::vector<float> u((size_t)is * js, 1.0f), v((size_t)is * js, 0.0f);
  auto top = [&](bool flag) {
    page pg = setpage(0, 301, 0, 301);
    gcmn.sigflg = flag;
    gxstrm(u.data(), v.data(), nullptr, is, js, kUndef, kUndef, 0, 0, nullptr, nullptr, 0, 5);
    gcmn.sigflg = 0;
    float y = 0;
    for (const stroke& s : readback(pg).lines)
      for (const pt& p : s.p) y = std::max(y, p.y);
    return y;
  };
  EXPECT_NEAR(top(true), 218, 0.01);
  EXPECT_NEAR(top(false), 300, 1.01);
}
