// clim: means over the steps of a span in the environment's month or
// season, each step judged by its own date, against means worked out from
// the steps' dates in the test.
#include <cmath>
#include <functional>
#include <vector>

#include "test_fn_data.h"

namespace {

// ts is undefined at (1, 1) in every third step, and at (2, 1) always.
bool hole(int x, int y, int t) { return y == 1 && ((x == 1 && t % 3 == 0) || x == 2); }
float climval(int var, int x, int y, int, int t) {
  if (var != 0) return 0.0f;
  return hole(x, y, t) ? FUNDEF : fts(x, y, t);
}

// The mean of ts at (x, y) over the steps that keep says to, or FUNDEF.
float mean(int x, int y, int nt, const std::function<bool(int)>& keep) {
  double s = 0;
  int n = 0;
  for (int t = 1; t <= nt; t++)
    if (keep(t) && !hole(x, y, t)) {
      s += fts(x, y, t);
      n++;
    }
  return n ? static_cast<float>(s / n) : FUNDEF;
}

struct Clim : testing::Test {
  fnset ds{[] { fnaxes a; a.nt = 36; return a; }(), climval};
  // The environment at step t.
  evalstat at(int t) {
    evalstat st = ds.xy();
    gr2t(ds.pfi->grvals[3], t, &st.tmin);
    st.tmax = st.tmin;
    return st;
  }
  void expect(const char* e, const evalstat& st, const std::function<bool(int)>& keep) {
    evalout o = fnrun(e, st);
    ASSERT_EQ(o.rc, 0) << e << o.msg;
    for (int y = 1; y <= 2; y++)
      for (int x = 1; x <= 3; x++) EXPECT_NEAR(::at(o, x - 1, y - 1), mean(x, y, ds.ax.nt, keep), 1e-5) << e;
    omfree(&o.st);
  }
};

TEST_F(Clim, MonthsSeasonsWholeMonthSpansAndGaps) {
  // Step t is month (t - 1) % 12 + 1 of 1990 to 1992.
  auto month = [](int t) { return (t - 1) % 12 + 1; };
  expect("clim(ts,time=jan1990,time=dec1992)", at(1), [&](int t) { return month(t) == 1; });
  expect("clim(ts,t=1,t=36)", at(14), [&](int t) { return month(t) == 2; });
  // The span is whole months: time=jan1991 takes January 1991.
  expect("clim(ts,time=jan1990,time=jan1991)", at(25), [&](int t) { return t == 1 || t == 13; });
  expect("clim(ts,time=mar1990,time=dec1992,-s)", at(2),
         [&](int t) { return t >= 3 && (month(t) == 12 || month(t) <= 2); });
  expect("clim(ts,time=jan1990,time=dec1992,-s)", at(7), [&](int t) { return month(t) >= 6 && month(t) <= 8; });
}

TEST_F(Clim, ATimeVaryingEnvironmentGoesStepByStep) {
  evalstat st = at(1);
  st.jdim = 3;
  gr2t(ds.pfi->grvals[3], 3, &st.tmax);
  evalout o = fnrun("clim(ts,t=1,t=36)", st);
  ASSERT_EQ(o.rc, 0) << o.msg;
  for (int t = 1; t <= 3; t++)
    EXPECT_NEAR(::at(o, 2, t - 1), mean(3, 1, 36, [&](int k) { return (k - 1) % 12 + 1 == t; }), 1e-5);
  omfree(&o.st);
}

TEST_F(Clim, Refusals) {
  struct bad { const char *e, *msg; } rows[] = {
      {"clim(ts,t=1)", "Error from CLIM:  Too many or too few args \n"
                       "                  3 or 4 arguments expected \n"},
      {"clim(ts,t=1,t=2,-x)", "Error from CLIM: Invalid option flags\n"},
      {"clim(ts,x=1,t=2)", "Error from CLIM:  1st dimension expression invalid\n"},
      {"clim(ts,t=1,time=1990)", "Syntax Error:  Invalid Date/Time value.\n"
                                 "  Missing month abbreviation or 'z' delimiter\n"
                                 "Error from CLIM:  2nd dimension expression invalid\n"},
      {"clim(ts,time=feb1990,time=mar1990)",
       "Error from CLIM:  No time step of the span falls in the month or season\n"},
  };
  for (const bad& b : rows) {
    evalout r = fnrun(b.e, at(1));
    EXPECT_EQ(r.rc, 1) << b.e;
    EXPECT_EQ(r.msg, failtext(b.msg, "clim")) << b.e;
  }
}

// Each step's own date: ten-day steps from 1 January 1991 across the leap
// year 1992, on the standard and on the 365-day calendar.
TEST(ClimCalendars, TenDaySteps) {
  for (int cal : {0, 1}) {
    const int keep = mfcmn.mfcal;
    mfcmn.mfcal = -999;
    fnaxes a;
    a.nt = 110;
    a.tdef = cal ? "linear 0z1jan1991 10dy\noptions 365_day_calendar" : "linear 0z1jan1991 10dy";
    fnset ds{a, climval};
    ASSERT_FALSE(::testing::Test::HasFailure()) << ds.out;
    mfcmn.mfcal = cal;  // as the open command fixes it
    // The month of day d (0 on 1 January 1991) on the calendar.
    auto month = [cal](int d) {
      int yr = 1991;
      for (;;) {
        const int len = (cal == 0 && yr % 4 == 0) ? 366 : 365;
        if (d < len) break;
        d -= len;
        yr++;
      }
      static const int mdays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      for (int m = 0; m < 12; m++) {
        const int len = mdays[m] + (m == 1 && cal == 0 && yr % 4 == 0);
        if (d < len) return m + 1;
        d -= len;
      }
      return 12;
    };
    evalstat st = ds.xy();
    // Day 820: 1 April 1993 on the 365-day calendar, 31 March on the other.
    const int t0 = 83;
    gr2t(ds.pfi->grvals[3], t0, &st.tmin);
    st.tmax = st.tmin;
    const int want = month(10 * (t0 - 1));
    EXPECT_EQ(want, cal ? 4 : 3);
    evalout o = fnrun("clim(ts,time=jan1991,time=dec1993)", st);
    ASSERT_EQ(o.rc, 0) << o.msg;
    EXPECT_NEAR(::at(o, 3, 2), mean(4, 3, a.nt, [&](int t) { return month(10 * (t - 1)) == want; }), 1e-5)
        << "calendar " << cal;
    omfree(&o.st);
    mfcmn.mfcal = keep;
  }
}

}  // namespace
