// Shaded contours: the colour painted at each point is the colour of the
// band its value lies in, lows enclosed by higher values get the colour of
// the level below, undefined areas stay empty.
#include "test_contour_util.h"

using namespace ctest;

namespace {

const float kUndef = -9.99e8f;

// The expected colour of a value: the last level below it; -99 (nothing)
// when it is not above the first.
int bandcolour(const std::vector<float>& lv, const std::vector<int>& cl, float v) {
  int c = -99;
  for (size_t k = 0; k < lv.size(); k++)
    if (v > lv[k]) c = cl[k];
  return c;
}

// Samples the painted picture over the grid's area and compares each
// sample with the band of f there, skipping samples too near a level.
void checkbands(const drawing& d, float (*f)(float, float), int is, int js,
                const std::vector<float>& lv, const std::vector<int>& cl, float margin) {
  int bad = 0, checked = 0;
  for (float y = 1.05f; y < js; y += 0.1f) {
    for (float x = 1.05f; x < is; x += 0.1f) {
      float v = f(x, y);
      bool near = false;
      for (float l : lv) near = near || std::fabs(v - l) < margin;
      if (near) continue;
      checked++;
      int want = bandcolour(lv, cl, v), got = paintedat(d, x, y);
      if (want != got && bad++ < 5) ADD_FAILURE() << "at " << x << "," << y << " v=" << v << " want " << want << " got " << got;
    }
  }
  EXPECT_GT(checked, 100);
  EXPECT_EQ(bad, 0);
}

}  // namespace

TEST(Shading, AreaOfEachColourMatchesItsBandOnALinearField) {
  // A field linear in each cell: the band edges are exactly straight.
  auto f = [](float x, float y) { return 2 * x + y; };
  auto g = field(10, 8, f);
  std::vector<float> lv = {-100, 6, 10, 14, 20, 25};
  std::vector<int> cl = {2, 3, 4, 5, 6, 7};
  page pg = setpage(0, 11, 0, 9);
  gxshad(g.data(), 10, 8, lv.data(), cl.data(), (int)cl.size(), kUndef);
  checkbands(readback(pg), f, 10, 8, lv, cl, 0.05f);
}

TEST(Shading, EnclosedLowsAndHighsGetTheirBandColours) {
  // A low ringed by higher values, and a high ringed by lower values.
  auto f = [](float x, float y) {
    float a = (x - 6) * (x - 6) + (y - 6) * (y - 6);
    float b = (x - 18) * (x - 18) + (y - 6) * (y - 6);
    return a * 0.5f - 40.0f / (1 + b * 0.1f) + 40;
  };
  auto g = field(24, 12, f);
  std::vector<float> lv = {-1000, 5, 15, 25, 35, 45};
  std::vector<int> cl = {9, 4, 5, 3, 7, 2};
  page pg = setpage(0, 25, 0, 13);
  gxshad(g.data(), 24, 12, lv.data(), cl.data(), (int)cl.size(), kUndef);
  drawing d = readback(pg);
  // The centre of the low is in the lowest band, refilled over the higher
  // surroundings; the centre of the high is not in the lowest band.
  EXPECT_EQ(paintedat(d, 6, 6), bandcolour(lv, cl, f(6, 6)));
  EXPECT_EQ(paintedat(d, 18, 6), bandcolour(lv, cl, f(18, 6)));
  checkbands(d, f, 24, 12, lv, cl, 1.5f);
}

TEST(Shading, UndefinedCellsStayEmpty) {
  auto f = [](float x, float y) { return x + y; };
  auto g = field(10, 8, f);
  g[(size_t)(4 - 1) * 10 + (5 - 1)] = kUndef;  // point (5, 4)
  for (int i = 1; i <= 10; i++) g[(size_t)(8 - 1) * 10 + i - 1] = kUndef;  // top row
  std::vector<float> lv = {-100, 7, 12};
  std::vector<int> cl = {2, 3, 4};
  page pg = setpage(0, 11, 0, 9);
  gxshad(g.data(), 10, 8, lv.data(), cl.data(), 3, kUndef);
  drawing d = readback(pg);
  // The four cells around (5, 4) and the top row of cells are empty.
  for (float x : {4.3f, 4.7f, 5.3f, 5.7f})
    for (float y : {3.3f, 3.7f, 4.3f, 4.7f}) EXPECT_EQ(paintedat(d, x, y), -99) << x << "," << y;
  for (float x = 1.2f; x < 10; x += 1) EXPECT_EQ(paintedat(d, x, 7.5f), -99);
  // Elsewhere the bands hold.
  EXPECT_EQ(paintedat(d, 2.2f, 2.2f), 2);
  EXPECT_EQ(paintedat(d, 8.5f, 2.5f), 3);
  EXPECT_EQ(paintedat(d, 9.5f, 6.5f), 4);
}

TEST(Shading, SaddleCutsMatchTheContourLines) {
  // 2x2 saddle, level 0.5: the contour pairs B with R and L with T, so the
  // high corners (1,1) and (2,2) are joined and the low ones cut off.
  std::vector<float> g = {1, 0, 0, 1};
  std::vector<float> lv = {-10, 0.5f};
  std::vector<int> cl = {2, 3};
  page pg = setpage(0, 3, 0, 3);
  gxshad(g.data(), 2, 2, lv.data(), cl.data(), 2, kUndef);
  drawing d = readback(pg);
  EXPECT_EQ(paintedat(d, 1.1f, 1.1f), 3);
  EXPECT_EQ(paintedat(d, 1.9f, 1.9f), 3);
  EXPECT_EQ(paintedat(d, 1.5f, 1.5f), 3);  // joined through the middle
  EXPECT_EQ(paintedat(d, 1.9f, 1.1f), 2);
  EXPECT_EQ(paintedat(d, 1.1f, 1.9f), 2);
  // The opposite saddle: low corners joined, high corners cut off apart.
  std::vector<float> h = {0, 1, 1, 0};
  page p2 = setpage(0, 3, 0, 3);
  gxshad(h.data(), 2, 2, lv.data(), cl.data(), 2, kUndef);
  drawing e = readback(p2);
  EXPECT_EQ(paintedat(e, 1.9f, 1.1f), 3);
  EXPECT_EQ(paintedat(e, 1.1f, 1.9f), 3);
  EXPECT_EQ(paintedat(e, 1.5f, 1.5f), 2);
}

TEST(Shading, ValuesOnALevelAndUncolouredBands) {
  // A field equal to a level everywhere is not above it.
  std::vector<float> g(16, 5.0f);
  std::vector<float> lv = {-100, 5, 10};
  std::vector<int> cl = {-1, 3, 4};
  page pg = setpage(0, 5, 0, 5);
  gxshad(g.data(), 4, 4, lv.data(), cl.data(), 3, kUndef);
  drawing d = readback(pg);
  // The uncoloured band is filled in the background colour (0), so the
  // bands painted before it are covered.
  EXPECT_EQ(paintedat(d, 2.5f, 2.5f), 0);
}

TEST(Shading, SmallGridsManyLevelsAndBadArgumentsAreSafe) {
  std::vector<float> g = {1, 2, 3, 4};
  std::vector<float> lv(120);
  std::vector<int> cl(120);
  for (int k = 0; k < 120; k++) {
    lv[k] = -1 + k * 0.05f;
    cl[k] = 16 + k % 80;
  }
  page pg = setpage(0, 3, 0, 3);
  gxshad(g.data(), 2, 2, lv.data(), cl.data(), 120, kUndef);
  drawing d = readback(pg);
  EXPECT_GT(d.fills.size(), 40u);
  EXPECT_EQ(paintedat(d, 1.02f, 1.02f), bandcolour(lv, cl, 1 + 0.02f * 1 + 0.02f * 2));
  // One row, one column, no levels, null grids: nothing, no crash.
  page p2 = setpage(0, 3, 0, 3);
  gxshad(g.data(), 4, 1, lv.data(), cl.data(), 120, kUndef);
  gxshad(g.data(), 1, 4, lv.data(), cl.data(), 120, kUndef);
  gxshad(g.data(), 2, 2, lv.data(), cl.data(), 0, kUndef);
  gxshad(nullptr, 2, 2, lv.data(), cl.data(), 3, kUndef);
  EXPECT_TRUE(readback(p2).fills.empty());
}

TEST(Shading, ManyEnclosedLowsInOneRowAreAllRefilled) {
  // 600 separate lows side by side: every one is refilled in the low band.
  const int is = 1801, js = 5;
  std::vector<float> g((size_t)is * js, 10.0f);
  for (int k = 0; k < 600; k++) g[(size_t)2 * is + 2 + 3 * k] = 0.0f;
  std::vector<float> lv = {-100, 5};
  std::vector<int> cl = {2, 3};
  page pg = setpage(0, 1802, 0, 6);
  gxshad(g.data(), is, js, lv.data(), cl.data(), 2, kUndef);
  drawing d = readback(pg);
  int lows = 0;
  for (int k = 0; k < 600; k++)
    if (paintedat(d, 3.0f + 3 * k, 3.0f) == 2) lows++;
  EXPECT_EQ(lows, 600);
  EXPECT_EQ(paintedat(d, 4.5f, 3.0f), 3);
}

TEST(Shading, CellsExactlyOnTheFirstLevelAreOutsideItAfterHigherCells) {
  // 5 5 5 0 0 0 in both rows: the cells of zeros on the right lie on the
  // first level, not above it, even right after cells that are.
  std::vector<float> g = {5, 5, 5, 0, 0, 0, 5, 5, 5, 0, 0, 0};
  std::vector<float> lv = {0, 10};
  std::vector<int> cl = {3, 4};
  page pg = setpage(0, 7, 0, 3);
  gxshad(g.data(), 6, 2, lv.data(), cl.data(), 2, kUndef);
  drawing d = readback(pg);
  for (float x : {1.5f, 2.5f}) EXPECT_EQ(paintedat(d, x, 1.5f), 3) << x;
  for (float x : {4.2f, 4.5f, 4.8f, 5.2f, 5.5f, 5.8f}) EXPECT_EQ(paintedat(d, x, 1.5f), -99) << x;
}

TEST(Shading, DescendingLevelsPaintACellAsItWouldAlone) {
  // Levels given high to low: the cells of 260 after cells reaching 300
  // are painted as a grid of 260s alone is (the band of the cell before
  // is no guide when the levels do not rise).
  std::vector<float> g = {300, 300, 260, 260, 300, 300, 260, 260};
  std::vector<float> lv = {290, 270, 250};
  std::vector<int> cl = {2, 3, 4};
  page pg = setpage(0, 5, 0, 3);
  gxshad(g.data(), 4, 2, lv.data(), cl.data(), 3, kUndef);
  drawing whole = readback(pg);
  std::vector<float> flat(4, 260.0f);
  page p1 = setpage(0, 3, 0, 3);
  gxshad(flat.data(), 2, 2, lv.data(), cl.data(), 3, kUndef);
  drawing alone = readback(p1);
  for (float d : {0.2f, 0.5f, 0.8f}) {
    EXPECT_EQ(paintedat(whole, 3 + d, 1.5f), paintedat(alone, 1 + d, 1.5f)) << d;
    EXPECT_EQ(paintedat(whole, 3 + d, 1.5f), -99) << d;
  }
}
