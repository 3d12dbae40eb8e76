// Calendars and relative times of the LATS output.
#include <gtest/gtest.h>

#include <cmath>

#include "lats/latsint.h"

namespace {

latsCompTime ct(long y, int m, int d, double h) {
  latsCompTime t;
  t.year = y;
  t.month = (short)m;
  t.day = (short)d;
  t.hour = h;
  return t;
}

double rel(int cal, latsCompTime t, const char* units) {
  double r = -12345;
  EXPECT_EQ(1, latsComp2Rel(cal, t, units, &r)) << units;
  return r;
}

}  // namespace

TEST(LatsTime, LeapYearsByCalendar) {
  EXPECT_FALSE(latsIsLeap(LATS_STANDARD, 1900));
  EXPECT_TRUE(latsIsLeap(LATS_STANDARD, 2000));
  EXPECT_TRUE(latsIsLeap(LATS_STANDARD, 1996));
  EXPECT_TRUE(latsIsLeap(LATS_JULIAN, 1900));
  EXPECT_FALSE(latsIsLeap(LATS_NOLEAP, 2000));
  // The climatological leap calendar always has 29 February (its year is 0).
  latsCompTime t = ct(1999, 3, 1, 0);
  t.calendar = LATS_CLIMLEAP;
  EXPECT_EQ(61, latsDayOfYear(t));
  t.calendar = LATS_CLIM;
  EXPECT_EQ(60, latsDayOfYear(t));
  t.calendar = LATS_360;
  EXPECT_EQ(61, latsDayOfYear(t));
}

TEST(LatsTime, RelativeHoursDaysMonths) {
  EXPECT_DOUBLE_EQ(24, rel(LATS_STANDARD, ct(1970, 1, 2, 0), "hours since 1970-1-1 0"));
  EXPECT_DOUBLE_EQ(59, rel(LATS_STANDARD, ct(1970, 3, 1, 0), "days since 1970-1-1 0"));
  EXPECT_DOUBLE_EQ(-1, rel(LATS_STANDARD, ct(1978, 12, 1, 0), "months since 1979-1-1 0"));
  EXPECT_DOUBLE_EQ(14, rel(LATS_STANDARD, ct(1980, 3, 1, 0), "months since 1979-1-1 0"));
  EXPECT_DOUBLE_EQ(1, rel(LATS_STANDARD, ct(1980, 3, 1, 0), "years since 1979-1-1 0"));
  // Across a century year that is not leap, and the 400-year rule.
  EXPECT_DOUBLE_EQ(365, rel(LATS_STANDARD, ct(1901, 1, 1, 0), "days since 1900-1-1 0"));
  EXPECT_DOUBLE_EQ(366, rel(LATS_STANDARD, ct(2001, 1, 1, 0), "days since 2000-1-1 0"));
  EXPECT_DOUBLE_EQ(366, rel(LATS_JULIAN, ct(1901, 1, 1, 0), "days since 1900-1-1 0"));
  EXPECT_DOUBLE_EQ(365 * 30, rel(LATS_NOLEAP, ct(2000, 1, 1, 0), "days since 1970-1-1 0"));
  EXPECT_DOUBLE_EQ(360 * 2 + 30, rel(LATS_360, ct(1972, 2, 1, 0), "days since 1970-1-1 0"));
  // Far times cost no more than near ones and stay exact.
  EXPECT_DOUBLE_EQ(146097.0 * 24, rel(LATS_STANDARD, ct(2400, 1, 1, 0), "hours since 2000-1-1 0"));
  EXPECT_DOUBLE_EQ(6.5, rel(LATS_STANDARD, ct(1970, 1, 1, 6.5), "hours since 1970-1-1 0"));
  EXPECT_DOUBLE_EQ(1.5 * 60, rel(LATS_STANDARD, ct(1970, 1, 1, 1.5), "minutes since 1970-1-1 0"));
}

TEST(LatsTime, ClimatologicalDifferencesWrapIntoOneYear) {
  // One month before the base time is almost a year after it.
  double h = rel(LATS_CLIM, ct(2, 12, 1, 0), "hours since 1-1 0");
  EXPECT_DOUBLE_EQ(334 * 24, h);
  double before = rel(LATS_CLIM, ct(2, 1, 1, 0), "hours since 2-1 0");
  EXPECT_GT(before, 0);
  EXPECT_LT(before, 8760);
  EXPECT_DOUBLE_EQ(11, rel(LATS_CLIM, ct(2, 1, 1, 0), "months since 2-1 0"));
}

TEST(LatsTime, BadUnitsAndTimesFail) {
  lats_fatal = 0;
  double r = 7;
  EXPECT_EQ(0, latsComp2Rel(LATS_STANDARD, ct(1970, 1, 1, 0), "fortnights since 1970-1-1 0", &r));
  EXPECT_EQ(0, latsComp2Rel(LATS_CLIM, ct(1, 1, 1, 0), "years since 1-1 0", &r));
  EXPECT_EQ(0, latsComp2Rel(LATS_STANDARD, ct(1970, 1, 1, 0), "hours since 1970-13-1 0", &r));
  EXPECT_EQ(0, latsComp2Rel(LATS_STANDARD, ct(1970, 1, 1, 0), "hours since 1970-1-1 25", &r));
  EXPECT_EQ(0, latsComp2Rel(0x1234, ct(1970, 1, 1, 0), "hours since 1970-1-1 0", &r));
  EXPECT_EQ(7, r);
  EXPECT_EQ(1, latsComp2Rel(LATS_STANDARD, ct(1970, 1, 2, 0), "hours", &r));
  EXPECT_DOUBLE_EQ(24, r);
}

TEST(LatsTime, EpochalHoursRoundTrip) {
  for (int cal : {LATS_STANDARD, LATS_JULIAN, LATS_NOLEAP, LATS_360}) {
    for (long y : {1L, 1899L, 1900L, 1970L, 2000L, 2024L, 99999L}) {
      latsCompTime t = ct(y, 3, 1, 6);
      t.calendar = cal;
      latsCompTime back = latse2h(latsh2e(t), cal, 1970);
      EXPECT_EQ(y, back.year) << cal;
      EXPECT_EQ(3, back.month) << cal << " " << y;
      EXPECT_EQ(1, back.day) << cal << " " << y;
      EXPECT_DOUBLE_EQ(6, back.hour);
    }
  }
}

// Far and absent times: whole 400-year spans are skipped exactly, a time
// beyond any year count ends (at the last span it holds) instead of
// stepping year by year, and no number is the epoch.
TEST(LatsTime, FarHoursEndAndLandInTheirSpan) {
  latsCompTime far = latse2h(1e6 * 146097 * 24.0, LATS_STANDARD, 1970);
  EXPECT_EQ(400001970L, far.year);
  EXPECT_EQ(1, far.month);
  EXPECT_EQ(1, far.day);
  EXPECT_DOUBLE_EQ(0, far.hour);
  for (double h : {1e300, -1e300}) {
    latsCompTime t = latse2h(h, LATS_STANDARD, 1970);
    EXPECT_GE(t.month, 1) << h;
    EXPECT_LE(t.month, 12) << h;
  }
  latsCompTime none = latse2h(NAN, LATS_STANDARD, 1970);
  EXPECT_EQ(1970L, none.year);
  EXPECT_EQ(1, none.month);
  EXPECT_EQ(1, none.day);
}

TEST(LatsTime, CompareAndUnits) {
  EXPECT_EQ(-1, latsTimeCmp(1979, 1, 1, 0, 1979, 1, 1, 6));
  EXPECT_EQ(1, latsTimeCmp(1980, 1, 1, 0, 1979, 12, 31, 23));
  EXPECT_EQ(0, latsTimeCmp(1979, 2, 3, 4, 1979, 2, 3, 4));
  EXPECT_EQ(2, latsUnitsOf("hr"));
  EXPECT_EQ(2, latsUnitsOf("hours"));
  EXPECT_EQ(0, latsUnitsOf("h"));
  EXPECT_EQ(8, latsUnitsOf("s"));
  EXPECT_EQ(6, latsUnitsOf("seasons"));
}
