// Drawing primitives: colours, styles, clipped lines, fills and markers.
#include <climits>
#include <cmath>
#include <limits>

#include "gxtest.h"

namespace {

struct poly_rec {
  int count;
  std::vector<int> pts;
};

// Every polygon of the records, checking the record structure on the way.
std::vector<poly_rec> polygons(const std::vector<int>& r) {
  std::vector<poly_rec> out;
  for (size_t i = 0; i < r.size();) {
    int c = r[i];
    if (c == -7) {
      poly_rec p{r[i + 1], {}};
      i += 2;
      bool first = true;
      while (r[i] != -8) {
        EXPECT_EQ(r[i], first ? -10 : -11);
        first = false;
        p.pts.push_back(r[i + 1]);
        p.pts.push_back(r[i + 2]);
        i += 3;
      }
      i++;
      out.push_back(p);
    } else if (c == -10 || c == -11) {
      i += 3;
    } else if (c == -3 || c == -20) {
      i += 2;
    } else if (c == -4) {
      i += 3;
    } else if (c == -12) {
      i += 4;
    } else {
      i += 5;
    }
  }
  return out;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

}  // namespace

TEST(Primitives, ColourNumbersAreClampedAndStylesMapped) {
  gx_batch();
  gxcolr(150);
  gxcolr(-3);
  EXPECT_EQ(gx_records(), (std::vector<int>{-3, 99, -3, 0}));
  gxstyl(-9);
  EXPECT_EQ(gxqstl(), 0);
  gxstyl(12);
  EXPECT_EQ(gxqstl(), 0);
  gxstyl(1);
  EXPECT_EQ(gxqstl(), 0);
  gxstyl(4);
  EXPECT_EQ(gxqstl(), 4);
}

TEST(Primitives, UserColoursAreDefinedAgainEachFrame) {
  gx_batch();
  EXPECT_EQ(gxacol(20, 1, 2, 3), 1) << "batch mode uses the exact colour";
  gxacol(5, 9, 9, 9);      // built-in numbers are not re-emitted
  gxacol(120, 9, 9, 9);    // nor numbers beyond the table
  gxfrme(1);
  gxfrme(1);
  EXPECT_EQ(gx_records(), (std::vector<int>{-5, 20, 1, 2, 3}));
}

TEST(Primitives, LineLeavingAndReenteringTheClip) {
  gx_batch();
  gxclip(1, 5, 1, 4);
  gxmove(2, 2);
  gxdraw(7, 2);   // ends at the right edge
  gxdraw(8, 3);   // outside to outside: nothing
  gxdraw(3, 3);   // enters: move to the edge, then draw
  EXPECT_EQ(gx_records(),
            (std::vector<int>{-10, 2000, 2000, -11, 5000, 2000, -10, 5000, 3000, -11, 3000, 3000}));
  gx_batch();
  gxclip(1, 5, 1, 4);
  gxmove(0, 2);
  gxdraw(6, 2);  // both ends outside, passing through: nothing
  EXPECT_TRUE(gx_records().empty());
}

TEST(Primitives, NonFinitePointsAreOutside) {
  gx_batch();
  gxmove(kNaN, 1);
  EXPECT_TRUE(gx_records().empty());
  gxdraw(2, 2);  // from a point that is not a number: just start here
  gxdraw(kInf, 2);
  gxdraw(3, kNaN);
  gxdraw(3, 3);
  gxdraw(1e30f, 3);  // huge but finite: ends at the edge
  EXPECT_EQ(gx_records(), (std::vector<int>{-10, 2000, 2000, -11, 2000, 2000, -10, 3000, 3000,
                                            -11, 3000, 3000, -11, 11000, 3000}));
  gx_batch();
  gxrecf(kNaN, 2, 1, 2);
  gxstyl(2);
  gxplot(1, 1, 3);
  gxplot(1e30f, 1, 2);  // no endless dash walk
  std::vector<int> r = gx_records();
  ASSERT_GE(r.size(), 6u);
  EXPECT_EQ(r[r.size() - 2], 11000);
}

TEST(Primitives, DashesContinueAcrossVertices) {
  gx_batch();
  gxstyl(2);
  gxplot(1, 1, 3);
  for (int i = 1; i <= 100; i++) gxplot(1 + 0.02f * i, 1, 2);
  // Drawn intervals: a run of moves ends at a dash start, draws extend it.
  std::vector<int> r = gx_records();
  std::vector<std::pair<int, int>> dashes;
  int start = -1, end = -1;
  for (size_t i = 0; i + 2 < r.size(); i += 3) {
    if (r[i] == -10) {
      if (end >= 0) dashes.push_back({start, end});
      start = r[i + 1];
      end = -1;
    } else {
      ASSERT_EQ(r[i], -11);
      end = r[i + 1];
    }
  }
  if (end >= 0) dashes.push_back({start, end});
  ASSERT_EQ(dashes.size(), 6u);  // 2 inches of 0.35-inch periods
  for (size_t k = 0; k < dashes.size(); k++) {
    EXPECT_NEAR(dashes[k].first, 1000 + 350 * (int)k, 2) << k;
    int want_end = std::min(1000 + 350 * (int)k + 250, 3000);
    EXPECT_NEAR(dashes[k].second, want_end, 2) << k;
  }
}

TEST(Primitives, TinyDashedDrawRecordsNothing) {
  gx_batch();
  gxstyl(3);
  gxplot(1, 1, 3);
  size_t n = gx_records().size();
  gxplot(1.0005f, 1, 2);
  EXPECT_EQ(gx_records().size(), n);
}

TEST(Primitives, RectanglesAreSortedAndClipped) {
  gx_batch();
  gxclip(1, 5, 1, 4);
  gxrecf(6, 0.5f, 3, 2);
  gxrecf(5, 6, 1, 2);   // touches the edge only: nothing
  EXPECT_EQ(gx_records(), (std::vector<int>{-6, 1000, 5000, 2000, 3000}));
}

TEST(Primitives, PolygonClippedToItsTrueShape) {
  gx_batch();
  gxclip(0, 8.5, 0, 8.5);
  float tri[6] = {1, 1, 20, 20, 1, 2};
  gxfill(tri, 3);
  auto polys = polygons(gx_records());
  ASSERT_EQ(polys.size(), 1u);
  const poly_rec& p = polys[0];
  EXPECT_EQ(p.count * 2, (int)p.pts.size());
  for (size_t i = 0; i < p.pts.size(); i += 2) {
    EXPECT_LE(p.pts[i], 8500);
    EXPECT_LE(p.pts[i + 1], 8500);
    // Every point lies inside the original triangle (x >= 1, and under
    // the upper edge), so no area outside it is filled.
    double x = p.pts[i] / 1000.0, y = p.pts[i + 1] / 1000.0;
    EXPECT_LE(y, 2 + (x - 1) * 18.0 / 19.0 + 0.002);
  }
  EXPECT_EQ(p.count, 4);
}

TEST(Primitives, PolygonCrossingEveryEdgeKeepsTheExactIntersection) {
  // A diamond with sides of slope +-0.625 around the clip rectangle 1..5 by
  // 1..4: each side cuts a corner off the rectangle, crossing two edges.
  // What is filled is the octagon where the two overlap.
  gx_batch();
  gxclip(1, 5, 1, 4);
  float d[8] = {3, 0, 7, 2.5f, 3, 5, -1, 2.5f};
  gxfill(d, 4);
  auto polys = polygons(gx_records());
  ASSERT_EQ(polys.size(), 1u);
  const std::vector<int> octagon = {1400, 1000, 4600, 1000, 5000, 1250, 5000, 3750,
                                    4600, 4000, 1400, 4000, 1000, 3750, 1000, 1250};
  const std::vector<int>& p = polys[0].pts;
  ASSERT_EQ(polys[0].count, 8);
  ASSERT_EQ(p.size(), 16u);
  // the same turn round the octagon, from wherever the record starts
  size_t start = 0;
  while (start < 8 && !(p[0] == octagon[2 * start] && p[1] == octagon[2 * start + 1])) start++;
  ASSERT_LT(start, 8u) << p[0] << " " << p[1];
  for (size_t i = 0; i < 8; i++) {
    EXPECT_EQ(p[2 * i], octagon[2 * ((start + i) % 8)]) << i;
    EXPECT_EQ(p[2 * i + 1], octagon[2 * ((start + i) % 8) + 1]) << i;
  }
}

TEST(Primitives, PolygonInsideIsRecordedPointForPoint) {
  gx_batch();
  float p[10] = {1, 1, 2, 1, 2, 1, 2, 2, 1, 1};  // a repeated point and a closing point
  gxfill(p, 5);
  EXPECT_EQ(gx_records(), (std::vector<int>{-7, 5, -10, 1000, 1000, -11, 2000, 1000, -11, 2000,
                                            1000, -11, 2000, 2000, -11, 1000, 1000, -8}));
}

TEST(Primitives, PolygonWhollyOutsideRecordsNothing) {
  gx_batch();
  gxclip(1, 5, 1, 4);
  float sq[8] = {6, 5, 8, 5, 8, 7, 6, 7};
  gxfill(sq, 4);
  float two[4] = {2, 2, 3, 3};
  gxfill(two, 2);
  EXPECT_TRUE(gx_records().empty());
}

TEST(Primitives, PolygonWithNonFinitePointsSkipsThem) {
  gx_batch();
  float p[10] = {1, 1, 3, 1, kNaN, 5, 3, 3, 1, 3};
  gxfill(p, 5);
  auto polys = polygons(gx_records());
  ASSERT_EQ(polys.size(), 1u);
  EXPECT_EQ(polys[0].count, 4);
}

TEST(Primitives, HugePolygonIsNeverRecordedWithAWrappedCount) {
  gx_batch();
  const int n = 100000;
  std::vector<float> c(2 * n);
  for (int i = 0; i < n; i++) {
    double t = 2 * M_PI * i / n;
    c[2 * i] = (float)(5.5 + 4 * std::cos(t));
    c[2 * i + 1] = (float)(4.25 + 4 * std::sin(t));
  }
  gxfill(c.data(), n);
  auto polys = polygons(gx_records());
  ASSERT_GT(polys.size(), 1u);
  size_t total = 0;
  for (const poly_rec& p : polys) {
    EXPECT_GT(p.count, 2);
    EXPECT_LE(p.count, 32767);
    EXPECT_EQ(p.count * 2, (int)p.pts.size());
    total += p.count;
  }
  EXPECT_GE(total, (size_t)n / 2);
}

TEST(Primitives, HugeCombIsCutAcrossItsTeethAndKeepsItsArea) {
  // 8200 teeth 0.001 inch wide on a base: every horizontal cut crosses all
  // the teeth, so only cuts across x make pieces that a record can count.
  gx_batch(30, 10);
  const int teeth = 8200;
  std::vector<float> c = {1, 1, 1 + 0.002f * (teeth - 1) + 0.001f, 1};
  for (int k = teeth - 1; k >= 0; k--) {
    float x = 1 + 0.002f * k;
    for (float v : {x + 0.001f, 1.5f, x + 0.001f, 7.0f, x, 7.0f, x, 1.5f}) c.push_back(v);
  }
  gxfill(c.data(), (int)c.size() / 2);
  auto polys = polygons(gx_records());
  ASSERT_GT(polys.size(), 1u);
  long long twice = 0;
  for (const poly_rec& p : polys) {
    EXPECT_LE(p.count, 32767);
    long long a = 0;
    for (int i = 0; i < p.count; i++) {
      int j = (i + 1) % p.count;
      a += (long long)p.pts[2 * i] * p.pts[2 * j + 1] - (long long)p.pts[2 * j] * p.pts[2 * i + 1];
    }
    twice += a < 0 ? -a : a;
  }
  // base 16.399 x 0.5 inch plus 8200 teeth of 0.001 x 5.5, in square mils
  EXPECT_EQ(twice, 2LL * (16399LL * 500 + 8200LL * 5500));
}

TEST(Primitives, TangleNoCutCanShrinkIsRefusedAtOnce) {
  // Every edge of this polygon crosses every line that could cut it, so
  // no piece would fit a record: one message, nothing drawn, no hang.
  gx_batch();
  const int n = 33000;
  std::vector<float> c(2 * n);
  for (int i = 0; i < n; i++) {
    c[2 * i] = (float)((i * 37) % 11);
    c[2 * i + 1] = (float)((i * 13) % 8);
  }
  testing::internal::CaptureStdout();
  gxfill(c.data(), n);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Polygon too complex to fill: 33000 points\n");
  EXPECT_TRUE(gx_records().empty());
}

TEST(Primitives, MarkerShapes) {
  auto count = [](int type, float size) {
    gx_batch();
    gxmark(type, 5, 4, size);
    std::vector<int> r = gx_records();
    auto polys = polygons(r);
    int moves = 0, draws = 0;
    for (size_t i = 0; i < r.size();) {
      if (r[i] == -7) {
        while (r[i] != -8) i++;
        i++;
        continue;
      }
      if (r[i] == -10) moves++;
      if (r[i] == -11) draws++;
      i += 3;
    }
    std::vector<int> out = {moves, draws, (int)polys.size()};
    for (auto& p : polys) out.push_back(p.count);
    return out;
  };
  EXPECT_EQ(count(1, 0.2f), (std::vector<int>{2, 2, 0}));
  EXPECT_EQ(count(2, 0.2f), (std::vector<int>{1, 24, 0}));
  EXPECT_EQ(count(2, 0.05f), (std::vector<int>{1, 12, 0}));
  EXPECT_EQ(count(2, 0.5f), (std::vector<int>{1, 36, 0}));
  EXPECT_EQ(count(3, 0.05f), (std::vector<int>{0, 0, 1, 13}));
  EXPECT_EQ(count(4, 0.2f), (std::vector<int>{1, 4, 0}));
  EXPECT_EQ(count(5, 0.2f), (std::vector<int>{0, 0, 1, 5}));
  EXPECT_EQ(count(6, 0.2f), (std::vector<int>{2, 2, 0}));
  EXPECT_EQ(count(7, 0.2f), (std::vector<int>{1, 4, 0}));
  EXPECT_EQ(count(8, 0.2f), (std::vector<int>{1, 3, 0}));
  EXPECT_EQ(count(9, 0.2f), (std::vector<int>{0, 0, 1, 4}));
  EXPECT_EQ(count(10, 0.2f), (std::vector<int>{2, 10 + 9, 1, 6}));
  EXPECT_EQ(count(11, 0.2f), (std::vector<int>{2, 8, 2, 9, 10}));
  EXPECT_EQ(count(12, 0.2f), (std::vector<int>{0, 0, 0}));
  // The plus is centred and its arms span the size.
  gx_batch();
  gxmark(1, 5, 4, 0.2f);
  EXPECT_EQ(gx_records(), (std::vector<int>{-10, 5000, 3900, -11, 5000, 4100,
                                            -10, 4900, 4000, -11, 5100, 4000}));
}

TEST(Primitives, BatchWidgetsAnswerNothing) {
  gx_batch();
  float x = 0, y = 0;
  int b = 0, k = 0, info[10] = {0};
  float rinfo[4] = {0};
  gxdbtn(1, &x, &y, &b, &k, info, rinfo);
  EXPECT_FLOAT_EQ(x, -999.9f);
  EXPECT_FLOAT_EQ(y, -999.9f);
  EXPECT_EQ(b, -1);
  EXPECT_EQ(k, -1);
  btnrec rec;
  rec.ch = strdup("label");
  gxbutn(3, &rec);  // the label is taken over (and released in batch mode)
  EXPECT_EQ(rec.ch, nullptr);
  EXPECT_EQ(gx_records(), (std::vector<int>{-20, 3}));
  int wd[6];
  EXPECT_EQ(win_data(wd), 0);
  dlgrec dr;
  dr.ch = strdup("Name|x");
  EXPECT_EQ(gxdlg(&dr), "");
  gxclmn(0.05f);
  gxclmn(2.7f);
  EXPECT_EQ(gxqclmn(), 2);
  // spacings past the int range are the widest spacing, not a wrapped one
  gxclmn(1e38f);
  EXPECT_EQ(gxqclmn(), INT_MAX);
  gxclmn(std::numeric_limits<float>::infinity());
  EXPECT_EQ(gxqclmn(), INT_MAX);
  gxclmn(std::nanf(""));
  EXPECT_EQ(gxqclmn(), INT_MAX);
  gxclmn(2147483520.0f);  // the largest float below 2^31
  EXPECT_EQ(gxqclmn(), 2147483520);
  gxclmn(2.7f);
}

TEST(Primitives, MapPolygonIsDensified) {
  gx_batch();
  float ll[4] = {0, 0, 10, 0};
  int n = 0;
  std::vector<float> v = gxmpoly(ll, 2, 2.5f, &n);
  EXPECT_EQ(n, 5);
  ASSERT_EQ(v.size(), 10u);
  EXPECT_FLOAT_EQ(v[2], 2.5f);
  EXPECT_FLOAT_EQ(v[8], 10);
  // a step of zero, below zero or not a number adds no points (no endless walk)
  for (float bad : {0.0f, -2.5f, std::nanf("")}) {
    v = gxmpoly(ll, 2, bad, &n);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_FLOAT_EQ(v[2], 10);
  }
}
