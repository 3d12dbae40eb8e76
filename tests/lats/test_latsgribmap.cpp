// The LATS entry of the GRIB index maker: it reports a failed or empty
// index in its own words.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
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
  latsgribmap(tmp.path("g.ctl").c_str(), c, 0);
  std::fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n"), std::string::npos)
      << out;
}

TEST_F(Grib, LatsEntryReportsAnEmptyIndex) {
  tmp.write("g.grb", record(rec(40, 1, 1.0f)));
  const std::string text = ctl("dtype grib\n", kTwoVars), c = tmp.write("g.ctl", text);
  testing::internal::CaptureStdout();
  latsgribmap(c.c_str(), text, 1);
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

// The index goes where the descriptor the session wrote names it, beside
// the descriptor's name: never where the file at that name says by now,
// which another user may have rewritten to name a file of the user's.
TEST_F(Grib, LatsEntryWritesTheIndexItsOwnDescriptorNames) {
  tmp.write("g.grb", record(rec(11, 1, 1.0f)));
  const std::string text = ctl("dtype grib\n", kTwoVars);
  std::string theirs = text;
  theirs.replace(theirs.find("^g.idx"), 6, "^victim");
  const std::string c = tmp.write("g.ctl", theirs), victim = tmp.write("victim", "mine");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(latsgribmap(c.c_str(), text, 0));
  testing::internal::GetCapturedStdout();
  std::ifstream in(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine");
  tmp.write("g.ctl", text);
  dataset ds;
  open(ds);  // by the index made, g.idx
  EXPECT_NE(ds.pfi->pindx->intpnt.at(0), -999);
}

}  // namespace
