// Monthly and yearly time axes whose start day is missing from some months
// (31 January, 30 January, 29 February): every step's time must convert
// back to that step, or the data of the next step would be read.
#include <gtest/gtest.h>

#include "base/cmnstate.h"
#include "data/datetime.h"

namespace {

class MonthEndAxis : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = mfcmn;
    mfcmn.mfcal = 0;
    mfcmn.mffullyr = 1;
  }
  void TearDown() override { mfcmn = saved_; }
  mfstate saved_;

  // Steps 1..n come back unchanged.
  static void roundtrips(float yr, float mo, float dy, float hr, float moinc, int n) {
    float ax[8] = {yr, mo, dy, hr, 0, moinc, 0, -999.9f};
    for (int k = 1; k <= n; k++) {
      datetime t;
      gr2t(ax, k, &t);
      EXPECT_DOUBLE_EQ(t2gr(ax, &t), k) << "step " << k << " of " << dy << "/" << mo << "/" << yr;
    }
  }
};

TEST_F(MonthEndAxis, EveryStepConvertsBackToItself) {
  roundtrips(1990, 1, 31, 0, 1, 48);   // 31 Jan + 1 month spills into March
  roundtrips(1991, 1, 30, 12, 1, 48);  // 30 Jan spills only in plain years
  roundtrips(1992, 1, 31, 0, 1, 48);   // leap February: 2 March
  roundtrips(1990, 1, 31, 0, 3, 24);   // seasonal steps from a month end
  roundtrips(2000, 2, 29, 18, 12, 14); // yearly from a leap day
  mfcmn.mfcal = 1;                     // no leap days at all
  roundtrips(1992, 1, 31, 0, 1, 24);
}

TEST_F(MonthEndAxis, StepTimesAndOrdinaryDaysKeepTheirMeaning) {
  float ax[8] = {1990, 1, 31, 0, 0, 1, 0, -999.9f};
  datetime t = {1990, 3, 3, 0, 0};  // the second step's own time
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 2.0);
  t = {1990, 3, 31, 0, 0};  // the third step
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 3.0);
  t = {1990, 3, 2, 0, 0};  // before the spilled step: taken as that step
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 2.0);
  t = {1990, 3, 18, 12, 0};  // half way from the second step to the third
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 2.5);
  t = {1990, 2, 28, 0, 0};  // the month without the start day
  EXPECT_DOUBLE_EQ(t2gr(ax, &t), 2.0);
  // A start day every month has is untouched by the spill rule.
  float mid[8] = {1990, 1, 15, 0, 0, 1, 0, -999.9f};
  t = {1990, 3, 1, 0, 0};
  EXPECT_DOUBLE_EQ(t2gr(mid, &t), 3.0);
}

}  // namespace
