// Member tables of template data sets: one entry per time, the first time
// of the member file that holds it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/fnmexp.h"

namespace {

struct table : ::testing::Test {
  datafile* pfi = nullptr;
  mfstate saved;
  void SetUp() override {
    saved = mfcmn;
    mfcmn.mfcal = 0;
    pfi = getpfi();
    ASSERT_NE(pfi, nullptr);
  }
  void TearDown() override {
    frepfi(pfi, 0);
    mfcmn = saved;
  }
  // Time axis from yr mo dy hr mn, stepping months or minutes.
  void axis(int nt, int yr, int mo, int dy, int hr, int mn, float months, float minutes) {
    float* v = static_cast<float*>(std::malloc(8 * sizeof(float)));
    const float a[8] = {float(yr), float(mo), float(dy), float(hr), float(mn), months, minutes, -999.9f};
    for (int i = 0; i < 8; i++) v[i] = a[i];
    std::free(pfi->grvals[3]);
    pfi->grvals[3] = v;
    pfi->abvals[3] = v;
    pfi->dnum[3] = nt;
  }
  // The table as expanding each time from the start of the axis gives it.
  std::vector<int> slow(const char* tmpl) {
    const int nt = pfi->dnum[3];
    std::vector<int> f(nt, 1);
    datetime d1;
    gr2t(pfi->grvals[3], 1.0, &d1);
    std::string prev = omfndt(tmpl, &d1, &d1, pfi->grvals[3]);
    for (int t = 2, first = 1; t <= nt; t++) {
      datetime d;
      gr2t(pfi->grvals[3], t, &d);
      std::string n = omfndt(tmpl, &d, &d1, pfi->grvals[3]);
      if (n != prev) first = t;
      prev = n;
      f[t - 1] = first;
    }
    return f;
  }
};

}  // namespace

// Six-hourly yearly members across a leap year: 1991 begins at step
// 1 + 365*4, 1992 after another 365 days, 1993 after the 366 of 1992.
TEST_F(table, YearlyMembersOfASixHourlyAxis) {
  axis(4 * 365 * 4, 1990, 1, 1, 0, 0, 0, 360);
  ASSERT_EQ(omtmtb(pfi, "a%y4.nc"), 0);
  ASSERT_EQ(pfi->fnums.size(), size_t(4 * 365 * 4));
  EXPECT_EQ(pfi->fnums[0], 1);
  EXPECT_EQ(pfi->fnums[1459], 1);
  EXPECT_EQ(pfi->fnums[1460], 1461);
  EXPECT_EQ(pfi->fnums[2920], 2921);
  EXPECT_EQ(pfi->fnums[2921 + 366 * 4 - 2], 2921);
  EXPECT_EQ(pfi->fnums[2921 + 366 * 4 - 1], 2921 + 366 * 4);
  EXPECT_EQ(pfi->fnums.back(), 2921 + 366 * 4);
}

// Walking the axis one step at a time gives the table that expanding every
// time from the start gives, for an odd minute step across leap days, a
// start late in a month, and month steps from a 31st.
TEST_F(table, StepByStepMatchesTimesFromTheStart) {
  axis(5000, 1999, 12, 31, 23, 59, 0, 1440 + 7 * 60 + 13);
  ASSERT_EQ(omtmtb(pfi, "x%y4%m2%d2.%h2"), 0);
  EXPECT_EQ(pfi->fnums, slow("x%y4%m2%d2.%h2"));
  axis(5000, 2000, 2, 28, 18, 0, 0, 97);
  ASSERT_EQ(omtmtb(pfi, "x%y4%m2%d2"), 0);
  EXPECT_EQ(pfi->fnums, slow("x%y4%m2%d2"));
  axis(600, 1999, 1, 31, 0, 0, 1, 0);
  ASSERT_EQ(omtmtb(pfi, "x%y4%m2%d2"), 0);
  EXPECT_EQ(pfi->fnums, slow("x%y4%m2%d2"));
}

// A table of more times than the cap is refused before anything is built;
// a large one is built whole (its cost per time is measured by
// bench/data_tmpltable.sh).
TEST_F(table, HugeSeriesAreRefusedAndLargeOnesBuilt) {
  axis(2147483647, 1990, 1, 1, 0, 0, 0, 60);
  EXPECT_EQ(omtmtb(pfi, "a%y4.nc"), 1);
  EXPECT_TRUE(pfi->fnums.empty());
  axis(kMaxTmplTimes + 1, 1990, 1, 1, 0, 0, 0, 60);
  EXPECT_EQ(omtmtb(pfi, "a%y4.nc"), 1);
  axis(8000000, 1990, 1, 1, 0, 0, 0, 360);
  ASSERT_EQ(omtmtb(pfi, "a%y4.nc"), 0);
  // 1 January 3000 is 368895 days after 1 January 1990.
  EXPECT_EQ(pfi->fnums[368895 * 4], 368895 * 4 + 1);
  EXPECT_EQ(pfi->fnums[368895 * 4 - 1], pfi->fnums[368895 * 4 - 2]);
}
