// The LATS entry of the GRIB index maker: it reports a failed or empty
// index in its own words.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "data/datafile.h"
#include "data/ddtest.h"
#include "data/gribmap.h"
#include "data/test_grib_util.h"
#include "lats/lats.h"

using ddtest::DataTest;
using ddtest::dataset;
using gribtest::ctl;
using gribtest::kTwoVars;
using gribtest::rec;
using gribtest::record;

namespace {

class Grib : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    gmpcmn = gmapset();
  }
  void open(dataset& ds) { ddtest::opendataset(tmp.path("g.ctl"), ds); }
};

TEST_F(Grib, LatsEntryReportsAFailedIndex) {
  tmp.write("g.grb", record(rec(11, 1, 1.0f)));
  std::string c = ctl("dtype grib\n", kTwoVars);
  c.replace(c.find("^g.idx"), 6, "^nodir/g.idx");
  tmp.write("g.ctl", c);
  gmpcmn.descr.clear();
  testing::internal::CaptureStdout();
  latsgribmap(tmp.path("g.ctl").c_str(), 0);
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n"), std::string::npos)
      << out;
}

TEST_F(Grib, LatsEntryReportsAnEmptyIndex) {
  tmp.write("g.grb", record(rec(40, 1, 1.0f)));
  std::string c = tmp.write("g.ctl", ctl("dtype grib\n", kTwoVars));
  testing::internal::CaptureStdout();
  latsgribmap(c.c_str(), 1);
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("LATS_GRIB: latsgribmap WARNING: no GRIB records matched!!!!!\n"
                     "LATS_GRIB: the .ctl will return undefined data only\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(gmpcmn.ignfcst, 1);
  dataset ds;
  open(ds);
  for (int v : ds.pfi->pindx->intpnt) EXPECT_EQ(v, -999);
}

}  // namespace
