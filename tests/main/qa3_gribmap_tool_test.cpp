// The stand-alone GRIB index maker: indexes GRIB files written elsewhere so
// that their descriptors open, with forecast times kept or ignored, and says
// plainly when it made nothing usable.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../data/test_grib_util.h"
#include "data/datafile.h"
#include "data/gribread.h"
#include "main/gmapcli.h"

using gribtest::grec;
using gribtest::ramp;
using gribtest::record;

namespace {

class GribTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/omgmtool.XXXXXX";
    const char* d = mkdtemp(tmpl);
    ASSERT_NE(d, nullptr);
    dir = d;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    (void)!std::system(cmd.c_str());
  }
  std::string write(const std::string& name, const std::string& text) {
    std::string p = dir + "/" + name;
    FILE* f = std::fopen(p.c_str(), "wb");
    if (f) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    return p;
  }
  // Runs the tool on the arguments; its exit status, its output in out.
  int run(std::vector<std::string> args) {
    std::vector<char*> av;
    std::string prog = "omgribmap";
    av.push_back(&prog[0]);
    for (auto& a : args) av.push_back(&a[0]);
    testing::internal::CaptureStdout();
    int rc = gmapcli(static_cast<int>(av.size()), av.data());
    std::fflush(stdout);
    out = testing::internal::GetCapturedStdout();
    return rc;
  }
  // Records of hours 0, 6 and 12 from one base time, as forecast steps.
  std::string forecasts() {
    std::string s;
    for (int h = 0; h < 3; h++) {
      grec r;
      r.p1 = 6 * h;
      r.ref = 10.0f * h;
      r.packed = ramp(12);
      s += record(r);
    }
    return s;
  }
  std::string ctl(int nt) {
    return "dset ^g.grb\nindex ^g.idx\nundef -9.99e8\ndtype grib\n"
           "xdef 4 linear 0 90\nydef 3 linear -90 90\nzdef 1 levels 1000\n"
           "tdef " + std::to_string(nt) + " linear 00z01jan1990 6hr\n"
           "vars 1\na 0 11,1,0 a\nendvars\n";
  }
  // Value of point k at time t read through the index just made.
  float value(const std::string& c, int t, int k) {
    datafile* pfi = getpfi();
    testing::internal::CaptureStdout();
    int rc = omddes(c.c_str(), pfi, 1);
    std::string msg = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 0) << msg;
    float v = -1.0f;
    if (rc == 0) {
      pfi->infile = std::fopen(pfi->name.c_str(), "rb");
      omgrbini(pfi, &pfi->pvar1[0], pfi->undef, 1);
      EXPECT_EQ(omirow(k + 1, 1, 1, t, 0, 1, &v), 0);
      std::fclose(pfi->infile);
      pfi->infile = nullptr;
    }
    frepfi(pfi, 0);
    return v;
  }
  std::string dir, out;
};

TEST_F(GribTool, ForecastStepsGoToTheirValidTimes) {
  write("g.grb", forecasts());
  std::string c = write("g.ctl", ctl(3));
  EXPECT_EQ(run({c}), 0) << out;
  EXPECT_NE(out.find("omgribmap: index of " + c + " made"), std::string::npos) << out;
  EXPECT_FLOAT_EQ(value(c, 1, 5), 5.0f);
  EXPECT_FLOAT_EQ(value(c, 2, 5), 15.0f);
  EXPECT_FLOAT_EQ(value(c, 3, 5), 25.0f);
}

TEST_F(GribTool, IgnoringForecastsPutsEveryRecordAtItsBaseTime) {
  write("g.grb", forecasts());
  std::string c = write("g.ctl", ctl(3));
  EXPECT_EQ(run({"-0", c}), 0) << out;
  // The last record of the base time wins; the later times stay missing.
  EXPECT_FLOAT_EQ(value(c, 1, 5), 25.0f);
  EXPECT_EQ(value(c, 2, 5), -9.99e8f);
}

TEST_F(GribTool, NothingUsableIsAFailure) {
  write("g.grb", forecasts());
  // A descriptor whose one time takes the first record; and one whose
  // variable has a parameter no record carries, so its index is empty.
  std::string c = write("g.ctl", ctl(1));
  std::string wrong = ctl(1);
  wrong.replace(wrong.find("11,1,0"), 6, "99,1,0");
  std::string w = write("w.ctl", wrong);
  EXPECT_EQ(run({w}), 1);
  EXPECT_NE(out.find("no GRIB record of " + w + " matched"), std::string::npos) << out;
  EXPECT_EQ(run({dir + "/none.ctl"}), 1);
  EXPECT_NE(out.find("no index was made"), std::string::npos) << out;
  std::string notgrib = write("b.ctl", "dset ^b.dat\nundef -9\nxdef 1 linear 0 1\n"
                                       "ydef 1 linear 0 1\nzdef 1 levels 1\n"
                                       "tdef 1 linear 00z01jan1990 1dy\nvars 1\nb 0 99 b\nendvars\n");
  EXPECT_EQ(run({notgrib}), 1);
  EXPECT_NE(out.find("Data Descriptor file is not for GRIB data"), std::string::npos) << out;
  // One failure among several descriptors fails the run; the good one is made.
  EXPECT_EQ(run({w, c}), 1);
  EXPECT_NE(out.find("omgribmap: index of " + c + " made"), std::string::npos) << out;
}

TEST_F(GribTool, UsageErrors) {
  EXPECT_EQ(run({}), 2);
  EXPECT_NE(out.find("Usage: omgribmap"), std::string::npos);
  EXPECT_EQ(run({"-x", "a.ctl"}), 2);
}

}  // namespace
