// Grid and station operations: broadcasting, range checks, undefined
// values, operand order and station matching.
#include <cmath>

#include "expr/omfunc.h"
#include "exprtest.h"

TEST(GridOps, ConstantPairsWithEveryPointAndUndefinedPropagates) {
  gridres* c = omgrvl(2.0f);
  gridres* g = mkgrid(0, 1, 2, 2, {1, UNDEF, 3, 4});
  gridres* r = omgrop(c, g, OPMUL, 1);
  ASSERT_EQ(r, g);
  EXPECT_EQ(values(r), (std::vector<float>{2, UNDEF, 6, 8}));
  omgfre(r);
}

TEST(GridOps, OperandOrderKeptWhenSmallerGridIsSecond) {
  // G1 (the 0-D grid) is the second operand: 10/2 must stay 10/2.
  gridres* g = mkgrid(0, -1, 2, 1, {10, 0});
  gridres* c = omgrvl(2.0f);
  gridres* r = omgrop(g, c, OPDIV, 1);
  ASSERT_EQ(r, g);
  EXPECT_EQ(values(r), (std::vector<float>{5, 0}));
  omgfre(r);
}

TEST(GridOps, DivisionByZeroGivesReceivingGridsUndef) {
  gridres* a = mkgrid(0, -1, 3, 1, {6, 6, 6}, 1, 1, -1.0f);
  gridres* b = mkgrid(0, -1, 3, 1, {2, 0, 3}, 1, 1, -2.0f);
  gridres* r = omgrop(a, b, OPDIV, 1);
  ASSERT_EQ(r, b);  // equal counts: the second receives
  EXPECT_EQ(values(r), (std::vector<float>{3, -2.0f, 2}));
  omgfre(r);
}

TEST(GridOps, OneDimensionalBroadcastAlongRowsAndColumns) {
  gridres* x = mkgrid(0, -1, 3, 1, {1, 2, 3});
  gridres* g = mkgrid(0, 1, 3, 2, {1, 1, 1, 10, 10, 10});
  gridres* r = omgrop(x, g, OPMUL, 1);
  ASSERT_EQ(r, g);
  EXPECT_EQ(values(r), (std::vector<float>{1, 2, 3, 10, 20, 30}));

  gridres* y = mkgrid(1, -1, 2, 1, {100, 200});
  r = omgrop(r, y, OPADD, 1);
  ASSERT_EQ(r, g);
  EXPECT_EQ(values(r), (std::vector<float>{101, 102, 103, 210, 220, 230}));
  omgfre(r);
}

TEST(GridOps, RangeMismatchReportsDimensionAndKeepsOperands) {
  gridres* x = mkgrid(0, -1, 3, 1, {1, 2, 3}, 2);
  gridres* g = mkgrid(0, 1, 3, 2, {1, 1, 1, 1, 1, 1});
  gridres* r = nullptr;
  std::string msg = captured([&] { r = omgrop(x, g, OPMUL, 1); });
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(msg,
            "Operation error:  Incompatable grids \n"
            "  Dimension ranges aren't equivalent\n"
            "  Dimension = 0\n"
            "  1st grid range = 2 4   2nd = 1 3 \n");
  EXPECT_EQ(values(g)[0], 1.0f);  // untouched, still owned by the caller
  omgfre(x);
  omgfre(g);
}

TEST(GridOps, DifferentVaryingDimensionsRefused) {
  gridres* a = mkgrid(0, 1, 2, 2, {1, 2, 3, 4});
  gridres* b = mkgrid(0, 2, 2, 2, {1, 2, 3, 4});
  gridres* r = nullptr;
  std::string msg = captured([&] { r = omgrop(a, b, OPADD, 1); });
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(msg,
            "Operation error:  Incompatable grids \n"
            "   Varying dimensions are different\n"
            "  1st grid dims = 0 1   2nd = 0 2 \n");
  omgfre(a);
  omgfre(b);
}

TEST(GridOps, NonFiniteResultsBecomeUndefined) {
  gridres* a = mkgrid(0, -1, 3, 1, {10, -8, 2});
  gridres* b = mkgrid(0, -1, 3, 1, {100, 0.5f, 3});
  gridres* r = omgrop(a, b, OPPOW, 1);
  EXPECT_EQ(values(r), (std::vector<float>{UNDEF, UNDEF, 8}));
  omgfre(r);
  a = mkgrid(0, -1, 2, 1, {3e38f, 1});
  b = mkgrid(0, -1, 2, 1, {3e38f, 1});
  r = omgrop(a, b, OPADD, 1);
  EXPECT_EQ(values(r), (std::vector<float>{UNDEF, 2}));
  omgfre(r);
}

TEST(GridOps, Atan2MagnitudeAndMaskout) {
  gridres* a = mkgrid(0, -1, 3, 1, {0, 3, 1});
  gridres* b = mkgrid(0, -1, 3, 1, {0, 4, 0});
  gridres* r = omgrop(a, b, OPATAN, 1);
  EXPECT_FLOAT_EQ(values(r)[0], 0.0f);
  EXPECT_FLOAT_EQ(values(r)[1], static_cast<float>(std::atan2(3.0, 4.0)));
  omgfre(r);
  a = mkgrid(0, -1, 3, 1, {0, 3, 1});
  b = mkgrid(0, -1, 3, 1, {0, 4, 0});
  r = omgrop(a, b, OPMAG, 1);
  EXPECT_FLOAT_EQ(values(r)[1], 5.0f);
  omgfre(r);
  a = mkgrid(0, -1, 3, 1, {7, 8, 9});
  b = mkgrid(0, -1, 3, 1, {0, -1, 2});
  r = omgrop(a, b, OPMASK, 1);
  EXPECT_EQ(values(r), (std::vector<float>{7, UNDEF, 9}));
  omgfre(r);
}

TEST(GridOps, InvalidCodeRefused) {
  gridres* a = omgrvl(1);
  gridres* b = omgrvl(2);
  std::string msg = captured([&] { EXPECT_EQ(omgrop(a, b, 5, 1), nullptr); });
  EXPECT_EQ(msg, "Internal logic check 17: invalid oper value\n");
  omgfre(a);
  omgfre(b);
}

TEST(GridOps, RangeCheckOnTimeAndLevelLists) {
  gridres* a = mkgrid(3, -1, 2, 1, {1, 2}, 1);
  gridres* b = mkgrid(3, -1, 2, 1, {1, 2}, 1);
  EXPECT_EQ(omgchk(a, b, 3), 0);
  EXPECT_EQ(omgchk(a, b, -1), 0);
  EXPECT_EQ(omgchk(a, b, 0), 1);  // neither varies on X
  b->dimmin[3] = 2;
  b->dimmax[3] = 3;
  EXPECT_EQ(omgchk(a, b, 3), 1);
  omgfre(a);
  omgfre(b);

  // Level lists: equal ends but a different middle level.
  a = mkgrid(2, -1, 3, 1, {1, 2, 3});
  b = mkgrid(2, -1, 3, 1, {1, 2, 3});
  float la[] = {3, 1000, 850, 500, AXEND};
  float lb[] = {3, 1000, 700, 500, AXEND};
  for (gridres* g : {a, b}) {
    std::free(g->ivals);
    g->ivals = static_cast<float*>(std::malloc(sizeof la));
    g->igrab = gr2lev;
    g->ilinr = 0;
  }
  std::memcpy(a->ivals, la, sizeof la);
  std::memcpy(b->ivals, la, sizeof la);
  EXPECT_EQ(omgchk(a, b, 2), 0);
  std::memcpy(b->ivals, lb, sizeof lb);
  EXPECT_EQ(omgchk(a, b, 2), 1);
  omgfre(a);
  omgfre(b);
}

TEST(StationOps, MatchByPositionShorterListReceives) {
  stnlist* a = mkstn(0, 1, {{10, 20, 0, 1, 8}, {11, 21, 0, 1, 6}, {12, 22, 0, 1, 1}});
  stnlist* b = mkstn(0, 1, {{11, 21, 0, 1, 2}, {99, 99, 0, 1, 5}});
  stnlist* r = omstop(a, b, OPDIV, 1);
  ASSERT_EQ(r, b);
  // b is the second operand: 6/2 at (11,21); its other report has no partner.
  EXPECT_EQ(values(r), (std::vector<float>{3, UNDEF}));
  omsfre(r);
}

TEST(StationOps, SkipsUndefinedPartnersAndMatchesLevelAndTime) {
  stnlist* a = mkstn(2, -1, {{0, 0, 500, 1, UNDEF}, {0, 0, 500, 1, 4}, {0, 0, 850, 1, 1}});
  stnlist* b = mkstn(2, -1, {{0, 0, 500, 9, 1}});
  stnlist* r = omstop(b, a, OPADD, 1);
  EXPECT_EQ(values(r), (std::vector<float>{1 + 4.0f}));
  omsfre(r);
  a = mkstn(3, -1, {{0, 0, 0, 2, 1}});
  b = mkstn(3, -1, {{5, 5, 0, 1, 1}, {6, 6, 0, 2, 10}});
  r = omstop(a, b, OPADD, 1);
  EXPECT_EQ(values(r), (std::vector<float>{11}));
  omsfre(r);
}

TEST(StationOps, MixedEnvironmentsRefused) {
  stnlist* a = mkstn(0, 1, {});
  stnlist* b = mkstn(3, -1, {});
  std::string msg = captured([&] { EXPECT_EQ(omstop(a, b, OPADD, 1), nullptr); });
  EXPECT_EQ(msg, "Invalid dimension environment for station data operation\n");
  omsfre(a);
  omsfre(b);
}

TEST(StationOps, ConstantOrderAndUndefinedReports) {
  stnlist* s = mkstn(0, 1, {{0, 0, 0, 0, 2}, {0, 0, 0, 0, UNDEF}, {0, 0, 0, 0, 0}});
  omscop(s, 3.0f, OPPOW, 0);
  EXPECT_EQ(values(s), (std::vector<float>{8, UNDEF, 0}));
  omscop(s, 2.0f, OPDIV, 1);  // 2 / value
  EXPECT_EQ(values(s), (std::vector<float>{0.25f, UNDEF, UNDEF}));
  omsfre(s);
}

TEST(StationOps, TwoOperandFunctionsKeepOrderWithConstants) {
  evalstat s1 = blankst(), s2 = blankst();
  s1.type = 0;
  s1.result.stn = mkstn(0, 1, {{0, 0, 0, 0, 3}});
  s2.result.pgr = omgrvl(2.0f);
  ASSERT_EQ(omfopr(&s1, &s2, OPPOW), 0);
  EXPECT_EQ(s1.type, 0);
  EXPECT_EQ(values(s1.result.stn), (std::vector<float>{9}));
  EXPECT_EQ(s2.result.pgr, nullptr);
  omfree(&s1);

  s1 = blankst();
  s2 = blankst();
  s1.result.pgr = omgrvl(2.0f);
  s2.type = 0;
  s2.result.stn = mkstn(0, 1, {{0, 0, 0, 0, 3}});
  ASSERT_EQ(omfopr(&s1, &s2, OPPOW), 0);
  EXPECT_EQ(s1.type, 0);
  EXPECT_EQ(values(s1.result.stn), (std::vector<float>{8}));
  omfree(&s1);

  s1 = blankst();
  s2 = blankst();
  s1.type = 0;
  s1.result.stn = mkstn(0, 1, {{0, 0, 0, 0, 3}});
  s2.result.pgr = mkgrid(0, -1, 2, 1, {1, 2});
  std::string msg = captured([&] { EXPECT_EQ(omfopr(&s1, &s2, OPMAG), 1); });
  EXPECT_EQ(msg,
            "Operation Error: Incompatable Data Types\n"
            "  One operand was stn data, other was grid\n");
  omfree(&s1);
  omfree(&s2);
}

TEST(GridOps, BroadcastKeepsOrderWhenTheLargerGridIsFirst) {
  gridres* g = mkgrid(0, 1, 3, 2, {10, 20, 30, 40, 50, 60});
  gridres* x = mkgrid(0, -1, 3, 1, {1, 2, 0});
  gridres* r = omgrop(g, x, OPDIV, 1);
  ASSERT_EQ(r, g);
  EXPECT_EQ(values(r), (std::vector<float>{10, 10, UNDEF, 40, 25, UNDEF}));
  gridres* y = mkgrid(1, -1, 2, 1, {-1, 1});
  r = omgrop(r, y, OPMASK, 1);  // rows where the mask is negative go
  EXPECT_EQ(values(r), (std::vector<float>{UNDEF, UNDEF, UNDEF, 40, 25, UNDEF}));
  omgfre(r);
}

TEST(GridOps, RangeScanTakesValuesOfAnySize) {
  // Values beyond any fixed starting guess are still the range.
  gridres* g = mkgrid(0, 1, 2, 2, {1e38f, UNDEF, 2e38f, 1e38f});
  ommnmx(g);
  EXPECT_EQ(g->rmin, 1e38f);
  EXPECT_EQ(g->rmax, 2e38f);
  omgfre(g);
  g = mkgrid(0, -1, 3, 1, {-3e37f, -1e38f, UNDEF});
  ommnmx(g);
  EXPECT_EQ(g->rmin, -1e38f);
  EXPECT_EQ(g->rmax, -3e37f);
  omgfre(g);
  // nothing defined (not-a-number included) gives undef at both ends
  g = mkgrid(0, -1, 3, 1, {UNDEF, std::nanf(""), UNDEF});
  ommnmx(g);
  EXPECT_EQ(g->rmin, UNDEF);
  EXPECT_EQ(g->rmax, UNDEF);
  omgfre(g);
  g = mkgrid(0, -1, 3, 1, {std::nanf(""), 4, -2});
  ommnmx(g);
  EXPECT_EQ(g->rmin, -2);
  EXPECT_EQ(g->rmax, 4);
  omgfre(g);
}
