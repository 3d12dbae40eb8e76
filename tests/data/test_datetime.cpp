// Calendar arithmetic, time axes and the time parsers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

#include "base/cmnstate.h"
#include "data/datetime.h"

namespace {

// Runs each test in a chosen calendar and restores the program-wide state.
class Calendar : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = mfcmn;
    mfcmn.mfcal = 0;
    mfcmn.mffullyr = 1;
  }
  void TearDown() override { mfcmn = saved_; }
  mfstate saved_;
};

datetime dt(int yr, int mo, int dy, int hr = 0, int mn = 0) { return datetime{yr, mo, dy, hr, mn}; }

std::string str(const datetime& d) { return omt2str(&d, 5); }

datetime plus(datetime t, datetime inc) {
  timadd(&t, &inc);
  return inc;
}
datetime minus(datetime t, datetime inc) {
  timsub(&t, &inc);
  return inc;
}

// Parses with stdout captured; returns the position (or null) and the text.
const char* parse(const char* text, const datetime& def, datetime* out, std::string* msgs) {
  testing::internal::CaptureStdout();
  const char* r = adtprs(text, &def, out);
  *msgs = testing::internal::GetCapturedStdout();
  return r;
}

}  // namespace

TEST_F(Calendar, LeapYearsFollowTheCalendarInForce) {
  EXPECT_EQ(qleap(2000), 1);
  EXPECT_EQ(qleap(1900), 0);
  EXPECT_EQ(qleap(1992), 1);
  EXPECT_EQ(qleap(1991), 0);
  mfcmn.mfcal = 1;
  EXPECT_EQ(qleap(2000), 0);
  EXPECT_EQ(qleap(1992), 0);
  mfcmn.mfcal = -999;  // unset counts as standard
  EXPECT_EQ(qleap(2000), 1);
}

// Stepping back many days at once (whole years first) lands where stepping
// back one day at a time does, across leap Februaries, when adding a
// negative count and when subtracting a positive one.
TEST_F(Calendar, LongStepsBackMatchDayByDaySteps) {
  const datetime starts[] = {dt(1992, 3, 15, 6, 30), dt(1992, 2, 10), dt(2001, 1, 1), dt(1900, 12, 31)};
  for (const datetime& s : starts) {
    datetime ref = s;
    for (int n = 1; n <= 1600; n++) {
      ref = plus(ref, dt(0, 0, -1));
      if (n % 397 != 0 && n != 1600) continue;
      EXPECT_EQ(str(plus(s, dt(0, 0, -n))), str(ref)) << str(s) << " - " << n;
      EXPECT_EQ(str(minus(s, dt(0, 0, n))), str(ref)) << str(s) << " - " << n;
    }
  }
  mfcmn.mfcal = 1;
  EXPECT_EQ(str(plus(dt(1993, 3, 1), dt(0, 0, -730))), "00:00Z01MAR1991");
  EXPECT_EQ(str(minus(dt(1993, 3, 1), dt(0, 0, 730))), "00:00Z01MAR1991");
}

// Steps of millions of days land where whole 400-year cycles put them, in
// both directions and both calendars, and cost no more than short ones
// (they were taken a year at a time: a time average over a far time range
// did not finish).
TEST_F(Calendar, StepsOfManyCenturiesAreQuick) {
  const int cycle = 146097;
  EXPECT_EQ(str(plus(dt(2000, 1, 1), dt(0, 0, cycle * 1000))), "00:00Z01JAN402000");
  EXPECT_EQ(str(plus(dt(2000, 3, 1, 6), dt(0, 0, cycle * 5000 + 1))), "06:00Z02MAR2002000");
  EXPECT_EQ(str(plus(dt(2000, 1, 1), dt(0, 0, -cycle * 1000))), "00:00Z01JAN-398000");
  EXPECT_EQ(str(minus(dt(2000, 1, 1), dt(0, 0, cycle * 1000))), "00:00Z01JAN-398000");
  // Near the ends of the year range the count stops at the last (first)
  // day a time can hold; the year does not wrap round.
  EXPECT_EQ(str(plus(dt(2147480000, 1, 1), dt(0, 0, 2000000000))), "00:00Z31DEC2147483647");
  EXPECT_EQ(str(plus(dt(-2147480000, 1, 1), dt(0, 0, -2000000000))), "00:00Z01JAN-2147483648");
  mfcmn.mfcal = 1;
  EXPECT_EQ(str(plus(dt(1999, 2, 28), dt(0, 0, 146000 * 3 + 1))), "00:00Z01MAR3199");
  mfcmn.mfcal = 0;
  float daily[8] = {2000, 1, 1, 0, 0, 0, 1440, -999.9f};
  datetime out;
  auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < 2000; k++) gr2t(daily, 2e9 - k, &out);
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(secs, 2.0);
}

TEST_F(Calendar, AddingMonthsBeforeDaysOverflowsIntoTheNextMonth) {
  EXPECT_EQ(str(plus(dt(1991, 1, 31), dt(0, 1, 0))), "00:00Z03MAR1991");
  EXPECT_EQ(str(plus(dt(1992, 1, 31), dt(0, 1, 0))), "00:00Z02MAR1992");
  EXPECT_EQ(str(plus(dt(1992, 2, 29), dt(1, 0, 0))), "00:00Z01MAR1993");
  EXPECT_EQ(str(plus(dt(1992, 2, 28), dt(0, 0, 1))), "00:00Z29FEB1992");
  EXPECT_EQ(str(plus(dt(1990, 12, 31, 23, 30), dt(0, 0, 0, 0, 45))), "00:15Z01JAN1991");
  EXPECT_EQ(str(plus(dt(1990, 11, 15), dt(0, 14, 0))), "00:00Z15JAN1992");
  // Many days at once land where day-by-day stepping would.
  EXPECT_EQ(str(plus(dt(1990, 1, 1), dt(0, 0, 36525))), "00:00Z01JAN2090");
  EXPECT_EQ(str(plus(dt(1990, 3, 1), dt(0, 0, 0, 0, 525600 * 4 + 1440))), "00:00Z01MAR1994");
  mfcmn.mfcal = 1;
  EXPECT_EQ(str(plus(dt(1992, 2, 28), dt(0, 0, 1))), "00:00Z01MAR1992");
  EXPECT_EQ(str(plus(dt(1990, 1, 1), dt(0, 0, 3650))), "00:00Z01JAN2000");
}

TEST_F(Calendar, SubtractingBorrowsAndOnlyMendsFebruaryTwentyNinth) {
  EXPECT_EQ(str(minus(dt(1992, 2, 29), dt(1, 0, 0))), "00:00Z01MAR1991");
  EXPECT_EQ(str(minus(dt(1990, 1, 1), dt(0, 0, 0, 0, 1))), "23:59Z31DEC1989");
  EXPECT_EQ(str(minus(dt(1990, 3, 1), dt(0, 0, 1))), "00:00Z28FEB1990");
  EXPECT_EQ(str(minus(dt(1992, 3, 1), dt(0, 0, 1))), "00:00Z29FEB1992");
  EXPECT_EQ(str(minus(dt(1990, 1, 15), dt(0, 14, 0))), "00:00Z15NOV1988");
  // 31 March minus a month stays 31 February; differences count it as 3 March.
  datetime f = minus(dt(1990, 3, 31), dt(0, 1, 0));
  EXPECT_EQ(f.mo, 2);
  EXPECT_EQ(f.dy, 31);
  datetime m3 = dt(1990, 3, 3);
  EXPECT_EQ(timdif(&f, &m3), 0);
  EXPECT_EQ(str(minus(dt(2090, 1, 1), dt(0, 0, 36525))), "00:00Z01JAN1990");
}

TEST_F(Calendar, DifferencesInMinutes) {
  datetime a = dt(1990, 1, 1), b = dt(1991, 1, 1);
  EXPECT_EQ(timdif(&a, &b), 525600);
  EXPECT_EQ(timdif(&b, &a), -525600);
  datetime c = dt(1992, 1, 1), d = dt(1993, 1, 1);
  EXPECT_EQ(timdif(&c, &d), 527040);
  datetime e = dt(1900, 1, 1), f = dt(2000, 1, 1);
  EXPECT_EQ(timdif(&e, &f), (100L * 365 + 24) * 1440);
  datetime g = dt(2000, 1, 1), h = dt(2100, 1, 1);
  EXPECT_EQ(timdif(&g, &h), (100L * 365 + 25) * 1440);
  datetime i = dt(1990, 5, 17, 6, 30), j = dt(1990, 5, 16, 18, 0);
  EXPECT_EQ(timdif(&i, &j), -750);
  // Far apart years neither overflow nor take long.
  datetime k = dt(-100000, 1, 1), l = dt(100000, 1, 1);
  EXPECT_EQ(timdif(&k, &l), (200000L * 365 + 48500) * 1440);
  mfcmn.mfcal = 1;
  EXPECT_EQ(timdif(&c, &d), 525600);
  EXPECT_EQ(timdif(&e, &f), 100L * 525600);
}

TEST_F(Calendar, MonthlyAxisIndexes) {
  float ax[8] = {1990, 1, 15, 0, 0, 1, 0, -999.9f};
  datetime t = dt(1990, 3, 15);
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 3.0);
  t = dt(1990, 3, 1);  // earlier in its month than the start's day: no fraction
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 3.0);
  t = dt(1990, 3, 25);
  EXPECT_NEAR(t2gr(ax, &t), 3.0 + 10.0 * 1440 / 44640, 1e-9);
  t = dt(1989, 12, 15);
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 0.0);

  datetime out;
  gr2t(ax, 2.5, &out);
  EXPECT_EQ(str(out), "00:00Z01MAR1990");
  gr2t(ax, 13, &out);
  EXPECT_EQ(str(out), "00:00Z15JAN1991");
  gr2t(ax, 0, &out);
  EXPECT_EQ(str(out), "00:00Z15DEC1989");
  gr2t(ax, -0.5, &out);  // a month and a half back: fraction of the month reached
  EXPECT_EQ(str(out), "00:00Z30NOV1989");

  // Month-end start days keep the arithmetic stored files rely on.
  float eom[8] = {1990, 1, 31, 0, 0, 1, 0, -999.9f};
  gr2t(eom, 2, &out);
  EXPECT_EQ(str(out), "00:00Z03MAR1990");

  // Steps of several months.
  float season[8] = {1990, 1, 1, 0, 0, 3, 0, -999.9f};
  t = dt(1990, 7, 1);
  EXPECT_DOUBLE_EQ(t2gr(season, &t), 3.0);
  gr2t(season, 5, &out);
  EXPECT_EQ(str(out), "00:00Z01JAN1991");

  // Steps with dates of their own (mid-month files): a time between two is
  // the same fraction of the way between their dates, but one earlier in
  // its month than the month's own step is that step, as on the linear
  // axis (2.5 lands on 1 March, which is March's step); before the first
  // and past the last the months step on from it.  Copies keep the dates.
  float mid[8] = {2001, 1, 16, 12, 0, 1, 0, -999.9f}, copy[8], lin[8];
  ASSERT_EQ(taxdates(mid, {dt(2001, 1, 16, 12), dt(2001, 2, 15), dt(2001, 3, 16, 12)}), 1);
  std::copy(mid, mid + 8, copy);
  const struct { double gr; const char* at; double back; } steps[] = {
      {0, "12:00Z16DEC2000", 0}, {1, "12:00Z16JAN2001", 1}, {2, "00:00Z15FEB2001", 2},
      {2.5, "18:00Z01MAR2001", 3}, {3, "12:00Z16MAR2001", 3}, {4, "12:00Z16APR2001", 4}};
  for (const auto& s : steps) {
    gr2t(copy, s.gr, &out);
    EXPECT_EQ(str(out), s.at) << s.gr;
    EXPECT_DOUBLE_EQ(t2gr(copy, &out), s.back) << s.at;
  }
  // Months named alone (the first of the month, midnight) are the steps
  // stamped in them, mid-month or at the month's end; a time later in a
  // month than its step is a fraction of the way to the next date.
  float eomd[8] = {2000, 1, 31, 0, 0, 1, 0, -999.9f};
  ASSERT_EQ(taxdates(eomd, {dt(2000, 1, 31), dt(2000, 2, 29), dt(2000, 3, 31), dt(2000, 4, 30)}), 1);
  const struct { const float* ax; datetime at; double gr; } named[] = {
      {copy, dt(2000, 12, 1), 0},         {copy, dt(2001, 1, 1), 1},
      {copy, dt(2001, 2, 1), 2},          {copy, dt(2001, 3, 1), 3},
      {copy, dt(2001, 3, 16, 12), 3},     {copy, dt(2001, 4, 1), 4},
      {copy, dt(2001, 2, 15, 12), 2 + 720.0 / 42480},
      {copy, dt(2001, 1, 31), 1 + 20880.0 / 42480},
      {eomd, dt(2000, 1, 1), 1},          {eomd, dt(2000, 2, 1), 2},
      {eomd, dt(2000, 3, 1), 3},          {eomd, dt(2000, 4, 1), 4},
      {eomd, dt(2000, 4, 30), 4},         {eomd, dt(2000, 5, 1), 5},
      {eomd, dt(2000, 3, 31, 12), 3 + 720.0 / 43200},
  };
  for (const auto& n : named) EXPECT_DOUBLE_EQ(t2gr(n.ax, &n.at), n.gr) << str(n.at);
  // Files are named by the linear steps; dates out of order are refused.
  taxlinear(copy, lin);
  gr2t(lin, 2, &out);
  EXPECT_EQ(str(out), "12:00Z16FEB2001");
  EXPECT_EQ(taxdates(lin, {dt(2001, 1, 16, 12), dt(2001, 1, 16, 12)}), 0);
  EXPECT_EQ(lin[7], -999.9f);
}

TEST_F(Calendar, MinuteAxisIndexes) {
  float ax[8] = {1990, 1, 1, 6, 0, 0, 360, -999.9f};
  datetime out;
  gr2t(ax, 0, &out);
  EXPECT_EQ(str(out), "00:00Z01JAN1990");
  gr2t(ax, -3, &out);
  EXPECT_EQ(str(out), "06:00Z31DEC1989");
  gr2t(ax, 5, &out);
  EXPECT_EQ(str(out), "06:00Z02JAN1990");
  gr2t(ax, 1.5, &out);
  EXPECT_EQ(str(out), "09:00Z01JAN1990");
  datetime t = dt(1990, 1, 2, 9);
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 5.5);
  t = dt(1989, 12, 31, 18);
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), -1.0);

  // Round trips across leap days, in both calendars.
  float daily[8] = {1999, 12, 1, 0, 0, 0, 1440, -999.9f};
  gr2t(daily, 91, &out);
  EXPECT_EQ(str(out), "00:00Z29FEB2000");
  mfcmn.mfcal = 1;
  gr2t(daily, 91, &out);
  EXPECT_EQ(str(out), "00:00Z01MAR2000");
  EXPECT_DOUBLE_EQ(t2gr(daily, &out), 91.0);

  // Absurd indexes neither hang nor overflow.
  gr2t(daily, 1e30, &out);
  gr2t(daily, -1e30, &out);
  float monthly[8] = {1990, 1, 1, 0, 0, 1, 0, -999.9f};
  gr2t(monthly, 1e30, &out);
  gr2t(monthly, -1e30, &out);
  SUCCEED();
}

// A descriptor may start its axis in year 2147483647, which the float axis
// array holds as 2147483648: the start is taken as the largest year, not
// converted out of range (which gave the smallest year on this hardware).
TEST_F(Calendar, AxisStartBeyondTheIntRangeIsClamped) {
  float ax[8] = {2147483647.0f, 1, 1, 0, 0, 0, 1440, -999.9f};
  datetime s = axstart(ax);
  EXPECT_EQ(s.yr, 2147483647);
  EXPECT_EQ(s.mo, 1);
  datetime out;
  gr2t(ax, 1, &out);
  EXPECT_EQ(out.yr, 2147483647);
  float low[8] = {-3e9f, 1, 1, 0, 0, 0, 1440, -999.9f};
  EXPECT_EQ(axstart(low).yr, -2147483647 - 1);
  float nan[8] = {std::nanf(""), 1, 1, 0, 0, 0, 1440, -999.9f};
  EXPECT_EQ(axstart(nan).yr, 0);
}

TEST_F(Calendar, AbsoluteTimesParse) {
  datetime def = dt(1995, 6, 5), out;
  std::string msgs;
  const char* r = parse("12z", def, &out, &msgs);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(str(out), "12:00Z05JUN1995");

  r = parse("06:30z5feb1991 rest", def, &out, &msgs);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r, " rest");
  EXPECT_EQ(str(out), "06:30Z05FEB1991");
  EXPECT_EQ(mfcmn.mffullyr, 1);

  r = parse("1jan90", def, &out, &msgs);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(str(out), "00:00Z01JAN1990");
  EXPECT_EQ(mfcmn.mffullyr, 0);
  // With the two-digit rule in force a default year is mapped too.
  r = parse("mar", dt(5, 1, 1), &out, &msgs);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(out.yr, 2005);
  r = parse("jan49", def, &out, &msgs);
  EXPECT_EQ(out.yr, 2049);

  r = parse("1jan0090", def, &out, &msgs);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(out.yr, 90);
  EXPECT_EQ(mfcmn.mffullyr, 1);

  r = parse("jan1990", def, &out, &msgs);
  EXPECT_EQ(str(out), "00:00Z01JAN1990");
  r = parse("18z29feb1992", def, &out, &msgs);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(msgs, "");
  // A default whose year was not given stays recognisable.
  r = parse("12zjan", dt(-1000, -1000, -1000), &out, &msgs);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(out.yr, -1000);
  EXPECT_EQ(out.dy, -1000);
}

TEST_F(Calendar, AbsoluteTimeErrors) {
  datetime def = dt(1995, 6, 5), out;
  std::string msgs;
  const std::string head = "Syntax Error:  Invalid Date/Time value.\n";
  EXPECT_EQ(parse("25", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Missing month abbreviation or 'z' delimiter\n");
  EXPECT_EQ(parse("24z1jan1990", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Hour = 24 -- greater than 23\n");
  EXPECT_EQ(parse("12:z", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Missing minute value \n");
  EXPECT_EQ(parse("12:60z", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Minute = 60 -- greater than 59\n");
  EXPECT_EQ(parse("12:30", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  'z' delimiter is missing \n");
  EXPECT_EQ(parse("xyz", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Expected month abbreviation, none found\n");
  EXPECT_EQ(parse("", def, &out, &msgs), nullptr);
  EXPECT_EQ(parse("30feb1992", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Day = 30 -- greater than 29 \n");
  EXPECT_EQ(parse("29feb1991", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Day = 29 -- greater than 28 \n");
  mfcmn.mfcal = 1;
  EXPECT_EQ(parse("29feb1992", def, &out, &msgs), nullptr);
  // Digit strings too long for an integer are refused, not wrapped.
  mfcmn.mfcal = 0;
  EXPECT_EQ(parse("99999999999z1jan1990", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Hour = 2147483647 -- greater than 23\n");
  EXPECT_EQ(parse("4294967297jan1990", def, &out, &msgs), nullptr);
  EXPECT_EQ(msgs, head + "  Day = 2147483647 -- greater than 31 \n");
  // Month names at the very end of the text are not read past.
  EXPECT_EQ(parse("1ja", def, &out, &msgs), nullptr);
}

TEST_F(Calendar, RelativeTimes) {
  datetime inc;
  testing::internal::CaptureStdout();
  const char* r = rdtprs("1mo6hr x", &inc);
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r, " x");
  EXPECT_EQ(inc.mo, 1);
  EXPECT_EQ(inc.hr, 6);
  EXPECT_EQ(inc.yr + inc.dy + inc.mn, 0);
  r = rdtprs("1yr6mo30mn2dy", &inc);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(inc.yr, 1);
  EXPECT_EQ(inc.mo, 6);
  EXPECT_EQ(inc.dy, 2);
  EXPECT_EQ(inc.mn, 30);
  r = rdtprs("3hr5hr", &inc);  // a repeated unit overwrites
  EXPECT_EQ(inc.hr, 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  const std::string head = "Syntax Error:  Invalid Date/Time offset.\n";
  testing::internal::CaptureStdout();
  EXPECT_EQ(rdtprs("6", &inc), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), head + "  Expecting yr/mo/dy/hr/mn, found \n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(rdtprs("6xx", &inc), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), head + "  Expecting yr/mo/dy/hr/mn, found xx\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(rdtprs("hr", &inc), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), head + "  No offset value given\n");
}

TEST_F(Calendar, TimesAsText) {
  datetime t = dt(1990, 1, 1, 12, 30);
  char buf[OMT2CH_SIZE];
  EXPECT_EQ(omt2ch(&t, 1, buf), 4);
  EXPECT_STREQ(buf, "1990");
  EXPECT_EQ(omt2ch(&t, 2, buf), 7);
  EXPECT_STREQ(buf, "JAN1990");
  omt2ch(&t, 3, buf);
  EXPECT_STREQ(buf, "01JAN1990");
  omt2ch(&t, 4, buf);
  EXPECT_STREQ(buf, "12Z01JAN1990");
  EXPECT_EQ(omt2ch(&t, 5, buf), 15);
  EXPECT_STREQ(buf, "12:30Z01JAN1990");
  EXPECT_EQ(omt2ch(&t, 6, buf), 3);
  EXPECT_STREQ(buf, "???");
  datetime clim = dt(9999, 7, 1);
  omt2ch(&clim, 2, buf);
  EXPECT_STREQ(buf, "JUL");
  datetime odd = dt(12345, 13, 99, 99, 99);  // out of range: still bounded text
  EXPECT_LT(omt2ch(&odd, 5, buf), OMT2CH_SIZE);
}

TEST_F(Calendar, DayOfTheWeekForAnyYear) {
  datetime t = dt(1950, 1, 1);
  EXPECT_EQ(dayweek(&t), 0);  // Sunday
  t = dt(2020, 12, 31);
  EXPECT_EQ(dayweek(&t), 4);  // Thursday
  t = dt(2030, 6, 15, 12);
  EXPECT_EQ(dayweek(&t), 6);  // Saturday
  t = dt(1949, 12, 31, 12);
  EXPECT_EQ(dayweek(&t), 6);  // Saturday, not rounded into Sunday
  t = dt(1900, 1, 1);
  EXPECT_EQ(dayweek(&t), 1);  // Monday
  t = dt(2100, 1, 1);
  EXPECT_EQ(dayweek(&t), 5);  // Friday
}
