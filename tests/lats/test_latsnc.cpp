// netCDF files of the LATS output and the quality-control log.
#include <algorithm>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>

#include "base/ownmounts.h"
#include "latstest.h"

namespace {

std::string dump(const char* file) { return run(std::string("ncdump ") + file + " 2>&1"); }

bool in(const std::string& text, const std::string& s) { return text.find(s) != std::string::npos; }

}  // namespace

TEST_F(LatsTest, NetcdfGridsLevelsAndMonthlyCoardsTime) {
  if (!have("ncdump")) GTEST_SKIP() << "ncdump not installed";
  int fid = lats_create("n", LATS_COARDS, LATS_STANDARD, LATS_MONTHLY, 1, "ccc", "mdl", "cmt");
  ASSERT_GT(fid, 0);
  double lons1[3] = {0, 120, 240}, lats1[2] = {-45, 45};
  double lons2[2] = {10, 20}, lats2[2] = {0, 5};
  int g1 = lats_grid("g1", LATS_LINEAR, 3, lons1, 2, lats1);
  int g2 = lats_grid("g2", LATS_GENERIC, 2, lons2, 2, lats2);
  double levs[2] = {850, 500};
  int vd = lats_vert_dim("plev", "plev", 2, levs);
  int ta = lats_var(fid, "ta", LATS_FLOAT, LATS_AVERAGE, g1, vd, "air");
  int ps = lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, g2, 0, "");
  ASSERT_GT(ta, 0);
  ASSERT_GT(ps, 0);
  ASSERT_EQ(1, lats_miss_float(fid, ps, -1, 0));
  std::vector<float> a = {1, 2, 3, 4, 5, 6}, b = {7, -1, 9, 10};
  ASSERT_EQ(1, lats_write(fid, ta, 500, 1979, 1, 1, 0, a.data()));
  ASSERT_EQ(1, lats_write(fid, ps, 0, 1979, 1, 1, 0, b.data()));
  ASSERT_EQ(1, lats_write(fid, ta, 500, 1979, 3, 20, 6, a.data()));
  ASSERT_EQ(1, lats_write(fid, ps, 0, 1979, 3, 1, 0, b.data()));
  double more[1] = {1};
  int late = lats_vert_dim("other", "plev", 1, more);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_var(fid, "ua", LATS_FLOAT, LATS_INSTANT, g1, late, ""));
  EXPECT_TRUE(in(testing::internal::GetCapturedStderr(), "lats_var calls MUST PRECEDE ANY lats_write call"));
  testing::internal::CaptureStderr();
  ASSERT_EQ(1, lats_close(fid));
  testing::internal::GetCapturedStderr();
  std::string d = dump("n.nc");
  EXPECT_TRUE(in(d, "\tlongitude = 3 ;\n\tlatitude = 2 ;\n")) << d;
  EXPECT_TRUE(in(d, "\tlongitude_g2 = 2 ;\n\tlatitude_g2 = 2 ;\n")) << d;
  EXPECT_FALSE(in(d, "longitude_g1")) << d;
  EXPECT_TRUE(in(d, "float ta(time, plev, latitude, longitude)")) << d;
  EXPECT_TRUE(in(d, "float ps(time, latitude_g2, longitude_g2)")) << d;
  EXPECT_TRUE(in(d, "time:units = \"days since 1979-1-1 0\"")) << d;
  EXPECT_TRUE(in(d, "time = 0, 59 ;")) << d;   // monthly COARDS times are days
  EXPECT_TRUE(in(d, "plev:positive = \"down\"")) << d;
  EXPECT_TRUE(in(d, "plev:type = \"plev\"")) << d;
  EXPECT_TRUE(in(d, "ps:level_description = \"Earth surface\"")) << d;
  EXPECT_FALSE(in(d, "ta:level_description")) << d;
  EXPECT_TRUE(in(d, "ps:grid_type = \"generic\"")) << d;
  EXPECT_TRUE(in(d, "ta:time_statistic = \"average\"")) << d;
  EXPECT_TRUE(in(d, "ps:missing_value = -1.f")) << d;
  EXPECT_TRUE(in(d, ":calendar = \"standard\"")) << d;
  EXPECT_TRUE(in(d, ":center = \"ccc\"")) << d;
  EXPECT_TRUE(in(d, "plev = 850, 500 ;")) << d;
  EXPECT_TRUE(in(d, "_, _, _,\n  1, 2, 3,")) << d;   // level 850 never written
  EXPECT_TRUE(in(d, " ps =\n  7, -1,\n  9, 10,\n  7, -1,")) << d;
  // Text attributes keep their terminating NUL in the file.
  std::string len = run("ncdump -h n.nc | grep -c 'comments = \"air\"'");
  EXPECT_EQ("1\n", len);
  std::string raw = slurp("n.nc");
  EXPECT_TRUE(in(raw, std::string("air\0", 4)));
  // A grid whose latitude's name another dimension has taken is refused.
  fid = lats_create("clash", LATS_COARDS, LATS_STANDARD, LATS_MONTHLY, 1, "ccc", "mdl", "cmt");
  ASSERT_GT(lats_var(fid, "ta", LATS_FLOAT, LATS_AVERAGE, g1, lats_vert_dim("latitude_g2", "plev", 2, levs), ""), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, g2, 0, ""));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "netCDF: NetCDF: String match to name in use\n"
            "LATS error (lats_var): netCDF (latsnc) --> Creating netCDF latitude dimension, file clash.nc\n");
}

TEST_F(LatsTest, QualityControlLogsExceptions) {
  spit("q.tab",
       "#!variable\nta | 11 | T | K | float | | 1 | | x | x\n"
       "#!vert\nplev | P | hPa | multi | down | 100 | | | \n"
       "#!center\nncep | 21 | 7 | 0\n"
       "#!qc\n"
       "ta | plev | 500 | 250 | 10 | 2 | 100 | 1\n"
       "ta | plev | 850 | 280 | 10 | 2 | 100 | 1\n");
  ASSERT_EQ(1, lats_parmtab("q.tab"));
  int fid = lats_create("q", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
  double lons[2] = {0, 180}, lats[2] = {-45, 45};
  int gid = lats_grid("g", LATS_LINEAR, 2, lons, 2, lats);
  double levs[2] = {850, 500};
  int vd = lats_vert_dim("p", "plev", 2, levs);
  int v = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, vd, "");
  ASSERT_GT(v, 0);
  // Mean exactly at the limit passes: |270 - 250| = 2 * 10.
  std::vector<float> at = {270, 270, 270, 270};
  testing::internal::CaptureStderr();
  ASSERT_EQ(1, lats_write(fid, v, 500, 1990, 1, 2, 3, at.data()));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  // Beyond the mean limit: one "mean" exception even though the range is bad too.
  std::vector<float> off = {400, 100, 400, 400};
  testing::internal::CaptureStderr();
  ASSERT_EQ(1, lats_write(fid, v, 850, 1990, 1, 2, 3, off.data()));
  EXPECT_TRUE(in(testing::internal::GetCapturedStderr(),
                 "Quality control exception, variable ta, level 850.000000, time  3Z2Jan1990; see log file"));
  ASSERT_EQ(1, lats_close(fid));
  std::string log = slurp("lats.log");
  EXPECT_EQ(0u, log.find("E|ta|1990010203|850.000000|mean|325.000000|280.000000|20.000000|")) << log;
  EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n'));
  // The log was closed with the file; the next file appends to it.
  int f2 = lats_create("q2", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
  int v2 = lats_var(f2, "ta", LATS_FLOAT, LATS_INSTANT, gid, vd, "");
  std::vector<float> wide = {260, 260, 260, 140};   // range 120 > 1 * 100, mean at the limit
  testing::internal::CaptureStderr();
  ASSERT_EQ(1, lats_write(f2, v2, 500, 1990, 1, 2, 3, wide.data()));
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(1, lats_close(f2));
  log = slurp("lats.log");
  EXPECT_EQ(2, std::count(log.begin(), log.end(), '\n'));
  EXPECT_TRUE(in(log, "|500.000000|range|120.000000|100.000000|100.000000|")) << log;
  // With the built-in table no real variable has a QC row.
  latsParmReset();
  latsParmCreateDefaultTable();
  latsParmTableCreated = 1;
  int f3 = lats_create("q3", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
  int v3 = lats_var(f3, "ta", LATS_FLOAT, LATS_INSTANT, gid, vd, "");
  ASSERT_EQ(1, lats_write(f3, v3, 500, 1990, 1, 2, 3, off.data()));
  ASSERT_EQ(1, lats_close(f3));
  EXPECT_EQ(2, std::count(log.begin(), log.end(), '\n'));
}

// A write that fails on a full disk, here in the step that brings the
// field to disk, leaves the file with the records written before it, at
// its close as at an ending signal meanwhile: the record count at its head
// is put back over the one the library writes at a later write or at its
// close, which would make the torn field a record.  The disk is a small
// one of the test's own.
TEST_F(LatsTest, AFullDiskLeavesTheRecordsWrittenBefore) {
  const std::string got = inchild([] {
    if (mkdir("disk", 0700) != 0 || !own_mounts() || mount("omdisk", "disk", "tmpfs", 0, "size=200k") != 0)
      return std::string("no disk of its own");
    spit("disk/filler", std::string(124 * 1024, 'f'));
    int fid = lats_create("disk/l", LATS_COARDS, LATS_STANDARD, LATS_HOURLY, 6, "ccc", "mdl", "cmt");
    std::vector<double> lons(144), lats(73);
    for (size_t i = 0; i < lons.size(); i++) lons[i] = 2.5 * i;
    for (size_t j = 0; j < lats.size(); j++) lats[j] = -90 + 2.5 * j;
    int g = lats_grid("g", LATS_LINEAR, 144, lons.data(), 73, lats.data());
    int v = lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, g, 0, "");
    std::vector<float> field(144 * 73, 1.0f);
    std::string wrote;
    auto count = [](const std::string& file) {
      const std::string head = slurp(file).substr(0, 8);
      return " " + std::to_string(head.size() == 8 ? (unsigned char)head[7] | (unsigned char)head[6] << 8 : -1);
    };
    // Each write, and the count that an ending signal would put in place
    // after it.
    for (int h = 0; h < 24; h += 6) {
      wrote += std::to_string(lats_write(fid, v, 0, 2000, 1, 1, h, field.data()));
      wrote += count(partof("disk/l.nc")) + ",";
    }
    wrote += std::to_string(lats_close(fid));
    return wrote + count("disk/l.nc");
  });
  if (got == "no disk of its own") GTEST_SKIP() << got;
  EXPECT_EQ(got, "1 1,0 1,0 1,0 1,0 1");
}
