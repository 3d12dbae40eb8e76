// GRIB records and descriptors written by the LATS output, checked octet by
// octet and, where installed, against an independent GRIB decoder.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <cmath>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/byteorder.h"
#include "latstest.h"

namespace {

struct record {
  std::vector<unsigned char> pds, gds, bms, bds;
};

unsigned b3(const unsigned char* p) { return (p[0] << 16) | (p[1] << 8) | p[2]; }

// Splits a file into its records' sections.
std::vector<record> records(const std::string& path) {
  std::string s = slurp(path);
  std::vector<record> out;
  size_t at = 0;
  while (at + 8 <= s.size() && s.compare(at, 4, "GRIB") == 0) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    unsigned total = b3(p + 4);
    record r;
    size_t q = 8;
    unsigned n = b3(p + q);
    r.pds.assign(p + q, p + q + n);
    q += n;
    n = b3(p + q);
    r.gds.assign(p + q, p + q + n);
    q += n;
    if (r.pds[7] & 0x40) {
      n = b3(p + q);
      r.bms.assign(p + q, p + q + n);
      q += n;
    }
    n = b3(p + q);
    r.bds.assign(p + q, p + q + n);
    q += n;
    EXPECT_EQ(std::string("7777"), s.substr(at + q, 4));
    EXPECT_EQ(total, q + 4);
    out.push_back(r);
    at += total;
  }
  return out;
}

// One GRIB file with one variable on a grid; returns the file id.
struct gribfile {
  int fid = 0, gid = 0, vid = 0;
};

gribfile makefile(const char* name, int conv, int freq, int delta, const std::vector<double>& lons,
                  const std::vector<double>& lats, const char* var = "ta", int levid = 0,
                  int gridtype = LATS_LINEAR) {
  gribfile g;
  g.fid = lats_create(name, conv, LATS_STANDARD, freq, delta, "ncep", "model", "comment");
  g.gid = lats_grid((std::string("g_") + name).c_str(), gridtype, (int)lons.size(), lons.data(),
                    (int)lats.size(), lats.data());
  g.vid = lats_var(g.fid, var, LATS_FLOAT, LATS_INSTANT, g.gid, levid, "");
  return g;
}

std::vector<double> range(double a, double step, int n) {
  std::vector<double> v;
  for (int i = 0; i < n; i++) v.push_back(a + step * i);
  return v;
}

}  // namespace

TEST(LatsGribBits, PacksMostSignificantBitFirst) {
  unsigned int vals[3] = {5, 2, 7};
  unsigned char out[2];
  EXPECT_EQ(2u, list2bitstream(vals, out, 3, 3));
  EXPECT_EQ(0xAB, out[0]);   // 101 010 11
  EXPECT_EQ(0x80, out[1]);   // 1 then zero fill
  EXPECT_EQ(0u, list2bitstream(vals, out, 3, 0));
  int c, y;
  latsCentury(2000, &c, &y);
  EXPECT_EQ(20, c);
  EXPECT_EQ(100, y);
  latsCentury(1979, &c, &y);
  EXPECT_EQ(20, c);
  EXPECT_EQ(79, y);
  latsCentury(2001, &c, &y);
  EXPECT_EQ(21, c);
  EXPECT_EQ(1, y);
}

TEST_F(LatsTest, GribRecordSectionsAndDecoderAgree) {
  std::vector<double> lons = range(0, 10, 4), lats = range(-10, 10, 3);
  gribfile g = makefile("a", LATS_GRIB, LATS_HOURLY, 6, lons, lats);
  ASSERT_GT(g.vid, 0);
  ASSERT_EQ(1, lats_miss_float(g.fid, g.vid, -999.0f, 0.01f));
  std::vector<float> f(12);
  for (int i = 0; i < 12; i++) f[i] = 250.0f + i * 1.25f;
  f[5] = -999.0f;
  ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 2000, 2, 29, 6, f.data()));
  ASSERT_EQ(1, lats_close(g.fid));
  std::vector<record> r = records("a.grb");
  ASSERT_EQ(1u, r.size());
  const record& x = r[0];
  EXPECT_EQ(0xC0, x.pds[7]);          // GDS and BMS
  EXPECT_EQ(11, x.pds[8]);            // parameter of ta
  EXPECT_EQ(99, x.pds[9]);            // no level
  EXPECT_EQ(100, x.pds[12]);          // year 2000 is year 100 ...
  EXPECT_EQ(20, x.pds[24]);           // ... of century 20
  EXPECT_EQ(2, x.pds[13]);
  EXPECT_EQ(29, x.pds[14]);
  EXPECT_EQ(6, x.pds[15]);
  EXPECT_EQ(100, x.pds[4]);           // ncep in the built-in table
  EXPECT_EQ(21, x.pds[5]);
  EXPECT_EQ(2, x.pds[25]);
  ASSERT_EQ(32u, x.gds.size());
  EXPECT_EQ(0, x.gds[5]);
  EXPECT_EQ(4, x.gds[7]);
  EXPECT_EQ(3, x.gds[9]);
  EXPECT_EQ(0x80, x.gds[10]);         // first latitude -10: sign bit
  EXPECT_EQ(10000u, b3(&x.gds[10]) & 0x7fffff);
  EXPECT_EQ(0x40, x.gds[27]);         // rows run south to north
  ASSERT_FALSE(x.bms.empty());
  EXPECT_EQ(0xFB, x.bms[6]);          // point 6 missing
  EXPECT_EQ(0x00, x.bms[7] & 0x0F);
  // D = 1 for ta: range 13.75 * 10 needs 8 bits over 11 defined points.
  EXPECT_EQ(1, x.pds[27]);
  EXPECT_EQ(8, x.bds[10]);
  EXPECT_EQ(22u, x.bds.size());     // 11 octets of values + 11, even
  EXPECT_EQ(0, x.bds[3]);             // no unused bits
  if (!have("grib_get_data")) GTEST_SKIP() << "grib_get_data not installed";
  std::string out = run("grib_get_data -m MISSING a.grb 2>&1");
  std::istringstream in(out);
  std::string line;
  std::getline(in, line);
  int k = 0;
  double lat, lon;
  std::string val;
  while (in >> lat >> lon >> val) {
    int i = k % 4, j = k / 4;
    EXPECT_DOUBLE_EQ(lats[j], lat) << k;
    EXPECT_DOUBLE_EQ(lons[i], lon) << k;
    if (k == 5) EXPECT_EQ("MISSING", val);
    else EXPECT_NEAR(f[k], std::stod(val), 0.051) << k;
    k++;
  }
  EXPECT_EQ(12, k);
}

TEST_F(LatsTest, ConstantAndWideFieldsPack) {
  std::vector<double> lons = range(0, 1, 3), lats = range(0, 1, 2);
  // ps has decimal scale 0: a range of 1e8 needs 27 bits, so it is packed
  // with binary scaling in 24 bits and the PDS says D = 0.
  gribfile g = makefile("w", LATS_GRIB, LATS_HOURLY, 1, lons, lats, "ps");
  ASSERT_GT(g.vid, 0);
  std::vector<float> wide = {0, 1e8f, 5e7f, 1, 2, 3};
  ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 1990, 1, 1, 0, wide.data()));
  std::vector<float> flat(6, 101325.0f);
  ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 1990, 1, 1, 1, flat.data()));
  ASSERT_EQ(1, lats_close(g.fid));
  std::vector<record> r = records("w.grb");
  ASSERT_EQ(2u, r.size());
  EXPECT_EQ(0, r[0].pds[26]);
  EXPECT_EQ(0, r[0].pds[27]);
  EXPECT_EQ(24, r[0].bds[10]);
  EXPECT_EQ(0x80, r[0].pds[7]);   // no bit map
  // The constant field: one bit per value, all zero, the reference the constant.
  const record& c = r[1];
  EXPECT_EQ(1, c.bds[10]);
  EXPECT_FLOAT_EQ(101325.0f, ibm2flt(&c.bds[6]));
  EXPECT_EQ(0, c.bds[11]);
  EXPECT_EQ(12u, c.bds.size());
  EXPECT_EQ(2, c.bds[3] & 0x0f);   // 12*8 - 6 - 88 unused bits
}

TEST_F(LatsTest, FieldWithoutDefinedPointsWritesAnEmptyRecord) {
  std::vector<double> lons = range(0, 1, 2), lats = range(0, 1, 2);
  gribfile g = makefile("e", LATS_GRIB, LATS_HOURLY, 1, lons, lats);
  ASSERT_EQ(1, lats_miss_float(g.fid, g.vid, 1e20f, 1e18f));
  std::vector<float> f(4, 1e20f);
  ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 1990, 1, 1, 0, f.data()));
  ASSERT_EQ(1, lats_close(g.fid));
  std::vector<record> r = records("e.grb");
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(0, r[0].bms[6] & 0xF0);
  EXPECT_EQ(12u, r[0].bds.size());
}

TEST_F(LatsTest, OmbraGribDescriptorFromNorthToSouthWithLevels) {
  double plev[3] = {1000, 850, 500};
  int vd = lats_vert_dim("levels", "plev", 3, plev);
  ASSERT_GT(vd, 0);
  std::vector<double> lons = range(0, 90, 4), lats = {90, 30, -20, -90};
  gribfile g = makefile("o.grb", LATS_OMBRA_GRIB, LATS_DAILY, 1, lons, lats, "ua", vd, LATS_GAUSSIAN);
  ASSERT_GT(g.vid, 0);
  int sid = lats_var(g.fid, "tas", LATS_FLOAT, LATS_AVERAGE, g.gid, 0, "");
  ASSERT_GT(sid, 0);
  std::vector<float> f(16, 3.0f);
  testing::internal::CaptureStdout();
  // The descriptor on disk is the one of the fields so far, written again
  // only when it changes (at a new time).
  const std::string part = partof("o.ctl");
  const struct timespec epoch[2] = {{0, 0}, {0, 0}};
  struct stat sb;
  for (int day = 1; day <= 2; day++) {
    for (double p : plev) {
      ASSERT_EQ(1, lats_write(g.fid, g.vid, p, 1979, 1, day, 12, f.data()));
      if (p != plev[0]) continue;
      EXPECT_NE(std::string::npos, slurp(part).find("tdef " + std::to_string(day) + " linear"));
      ASSERT_EQ(0, utimensat(AT_FDCWD, part.c_str(), epoch, 0));
    }
    ASSERT_EQ(1, lats_write(g.fid, sid, 0, 1979, 1, day, 0, f.data()));
    EXPECT_TRUE(stat(part.c_str(), &sb) == 0 && sb.st_mtime == 0) << day;
  }
  ASSERT_EQ(1, lats_close(g.fid));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(0, mfcmn.mfcal);
  std::string ctl = slurp("o.ctl");
  EXPECT_NE(std::string::npos, ctl.find("dset ^o.grb\ntitle comment\nundef 1e+20\ndtype grib\nindex ^o.gmp\n"));
  EXPECT_NE(std::string::npos, ctl.find("options yrev      \nxdef"));
  EXPECT_NE(std::string::npos, ctl.find("xdef 4 linear 0.000000 90.000000\n"));
  EXPECT_NE(std::string::npos, ctl.find("ydef 4 levels\n-90.000 -20.000  30.000  90.000 \nzdef")) << ctl;
  EXPECT_NE(std::string::npos, ctl.find("zdef 3 levels\n1000 850 500 \n"));
  EXPECT_NE(std::string::npos, ctl.find("tdef 2 linear 0Z1jan1979  1dy\n"));
  EXPECT_NE(std::string::npos, ctl.find("vars 2\n"));
  EXPECT_NE(std::string::npos, ctl.find("ua        3   33,100 Eastward wind [m/s]\n"));
  EXPECT_NE(std::string::npos, ctl.find("tas       0   11,105,  2 Surface (2m) air temperature [K]\nendvars\n"));
  std::vector<record> r = records("o.grb");
  ASSERT_EQ(8u, r.size());
  EXPECT_EQ(100, r[1].pds[9]);
  EXPECT_EQ(850u, (unsigned)(r[1].pds[10] << 8 | r[1].pds[11]));
  EXPECT_EQ(0, r[1].pds[15]);   // daily: hour 0
  EXPECT_EQ(105, r[3].pds[9]);
  EXPECT_EQ(2, r[3].pds[11]);   // P3 in octets 11-12
  EXPECT_EQ(3, r[3].pds[20]);   // average
  EXPECT_EQ(1, r[3].pds[19]);   // over delta
  EXPECT_EQ(0, r[0].gds[27]);   // rows north to south
  EXPECT_EQ(0x800000u | 90000u, b3(&r[0].gds[17]));   // last latitude -90 exactly
  EXPECT_EQ(4, r[0].gds[5]);    // Gaussian
  EXPECT_EQ(2, r[0].gds[26]);   // two latitudes between pole and equator
}

// The index is made of the files just written, in the folder they went
// to, held since the create: a link to the folder moved elsewhere, or the
// folder renamed, meanwhile leaves what is at the path now alone.  Data
// that stays under its part name gets a descriptor and an index that open
// it there.
TEST_F(LatsTest, TheIndexIsMadeInTheFolderTheFilesWentTo) {
  for (const std::string row : {"switched", "renamed", "kept", "keptdeep"}) {
    SCOPED_TRACE(row);
    ASSERT_EQ(0, mkdir((row + "1").c_str(), 0755) | mkdir((row + "2").c_str(), 0755));
    spit(row + "2/o.ctl", "older");
    // A folder whose path nearly fills the longest path is named whole.
    std::string at = row + "1";
    for (int i = 0; row == "keptdeep" && i < 15; i++) {
      at += "/" + std::string(250, 'a' + i);
      ASSERT_EQ(0, mkdir(at.c_str(), 0755));
    }
    ASSERT_EQ(0, symlink(at.c_str(), row.c_str()));
    gribfile g = makefile((row + "/o.grb").c_str(), LATS_OMBRA_GRIB, LATS_HOURLY, 6, range(0, 90, 4),
                          range(-45, 30, 4));
    std::vector<float> f(16, 3.0f);
    ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 1979, 1, 1, 0, f.data()));
    const std::string data = partof(at + "/o.grb"), desc = dir + "/" + partof(at + "/o.ctl");
    if (row.compare(0, 4, "kept") == 0) {
      spit(at + "/o.grb", "late");
      ASSERT_EQ(0, link((at + "/o.grb").c_str(), (at + "/other").c_str()));
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      EXPECT_EQ(0, lats_close(g.fid));
      std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
      EXPECT_NE(std::string::npos, out.find("SUCCESS -- gribmap for " + desc + " seems")) << out << err;
      EXPECT_NE(std::string::npos, err.find("LATS (lats) -->  " + desc + " opens it as it is, with its index\n"))
          << err;
      const std::string dataleaf = data.substr(data.rfind('/') + 1), pid = dataleaf.substr(5);
      const std::string head =
          "dset ^" + dataleaf + "\ntitle comment\nundef 1e+20\ndtype grib\nindex ^o.gmp" + pid + "\n";
      EXPECT_EQ(slurp(desc).substr(0, head.size()), head);
      EXPECT_FALSE(slurp(at + "/o.gmp" + pid).empty());
      EXPECT_EQ("late", slurp(at + "/o.grb"));
      continue;
    }
    ASSERT_EQ(0, unlink(row.c_str()) | symlink((row + "2").c_str(), row.c_str()));
    if (row == "renamed") {
      ASSERT_EQ(0, rename((row + "1").c_str(), (row + "3").c_str()));
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(1, lats_close(g.fid));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("SUCCESS -- gribmap for " + row + "/o.ctl seems")) << out;
    const std::string went = row + (row == "renamed" ? "3" : "1");
    EXPECT_EQ(slurp(went + "/o.ctl").substr(0, 12), "dset ^o.grb\n");
    EXPECT_FALSE(slurp(went + "/o.gmp").empty());
    EXPECT_EQ("older", slurp(row + "2/o.ctl"));
    EXPECT_NE(0, access((row + "2/o.gmp").c_str(), F_OK));
  }
  // A data file that followed a link into another folder is found by its
  // path, its descriptor and index beside the link: the other folder's
  // descriptor of the same name is not read.
  ASSERT_EQ(0, mkdir("elsewhere", 0755));
  spit("elsewhere/x.grb", "older");
  spit("elsewhere/l.ctl", "older");
  ASSERT_EQ(0, symlink("elsewhere/x.grb", "l.grb"));
  gribfile l = makefile("l.grb", LATS_OMBRA_GRIB, LATS_HOURLY, 6, range(0, 90, 4), range(-45, 30, 4));
  std::vector<float> f(16, 3.0f);
  ASSERT_EQ(1, lats_write(l.fid, l.vid, 0, 1979, 1, 1, 0, f.data()));
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, lats_close(l.fid));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("SUCCESS -- gribmap for l.ctl seems")) << out;
  EXPECT_FALSE(slurp("l.gmp").empty());
  EXPECT_EQ("GRIB", slurp("elsewhere/x.grb").substr(0, 4));
  EXPECT_EQ("older", slurp("elsewhere/l.ctl"));
  EXPECT_NE(0, access("elsewhere/l.gmp", F_OK));
  // Nor need the session's own working folder be searchable (an ordinary
  // user's, mode 0600): it is not even looked at, and stays the session's.
  // Where no thread may be started for the maker, the index is made all the
  // same, by the session's own thread, whose working folder stays.
  const std::string got = inchild([] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return std::string("no other user");
    char tmpl[] = "/tmp/latsunsearchedXXXXXX";
    const std::string top = mkdtemp(tmpl) ? tmpl : "/nonexistent", here = top + "/here", out = top + "/out";
    if (mkdir(here.c_str(), 0700) != 0 || mkdir(out.c_str(), 0755) != 0 || chdir(here.c_str()) != 0 ||
        chmod(here.c_str(), 0600) != 0)
      return std::string("no folders");
    std::string said;
    for (const char* name : {"/o.grb", "/nothread.grb"}) {
      gribfile g = makefile((out + name).c_str(), LATS_OMBRA_GRIB, LATS_HOURLY, 6, range(0, 90, 4), range(-45, 30, 4));
      std::vector<float> f(16, 3.0f);
      lats_write(g.fid, g.vid, 0, 1979, 1, 1, 0, f.data());
      struct rlimit was, none = {0, 0};
      getrlimit(RLIMIT_NPROC, &was);
      none.rlim_max = was.rlim_max;
      if (name[1] == 'n') setrlimit(RLIMIT_NPROC, &none);
      testing::internal::CaptureStdout();
      said += std::to_string(lats_close(g.fid));
      const std::string out = testing::internal::GetCapturedStdout();
      setrlimit(RLIMIT_NPROC, &was);
      said += out.find("seems to have worked") != std::string::npos ? " made," :
              out.find("the GRIB index was not made\n") != std::string::npos ? " not made," : " " + out;
    }
    char cwd[PATH_MAX];
    said += getcwd(cwd, sizeof cwd) && cwd == here ? " here" : " elsewhere";
    for (const char* index : {"/o.gmp", "/nothread.gmp"}) said += slurp(out + index).empty() ? " no index" : " index";
    chmod(here.c_str(), 0700);
    run("rm -rf '" + top + "'");
    return said;
  });
  if (got == "no other user") GTEST_SKIP() << got;
  EXPECT_EQ(got, "1 made,1 made, here index index");
}

TEST_F(LatsTest, GenericGridAndBadGrids) {
  std::vector<double> lons = {0, 1, 3}, lats = {-5, 5};
  gribfile g = makefile("gen", LATS_GRIB, LATS_HOURLY, 1, lons, lats, "ta", 0, LATS_GENERIC);
  std::vector<float> f(6, 1.0f);
  ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 1990, 1, 1, 0, f.data()));
  // A linear grid whose steps differ cannot be described as linear.
  int bad = lats_grid("irregular", LATS_LINEAR, 3, lons.data(), 2, lats.data());
  int vid = lats_var(g.fid, "ua", LATS_FLOAT, LATS_INSTANT, bad, 0, "");
  ASSERT_EQ(0, vid);   // the file is already written to
  ASSERT_EQ(1, lats_close(g.fid));
  std::vector<record> r = records("gen.grb");
  ASSERT_EQ(1u, r.size());
  ASSERT_EQ((3u + 2u) * 3 + 24, r[0].gds.size());
  EXPECT_EQ(220, r[0].gds[5]);
  EXPECT_EQ(3000u, b3(&r[0].gds[23 + 6]));
  EXPECT_EQ(0x800000u | 5000u, b3(&r[0].gds[23 + 9]));
  int f2 = lats_create("irr", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
  int v2 = lats_var(f2, "ta", LATS_FLOAT, LATS_INSTANT, bad, 0, "");
  ASSERT_GT(v2, 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_write(f2, v2, 0, 1990, 1, 1, 0, f.data()));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("dx and dy are NOT constant"));
  lats_close(f2);
}

TEST_F(LatsTest, GribDecoderReadsIntegersWithMissingPoints) {
  if (!have("grib_get_data")) GTEST_SKIP() << "grib_get_data not installed";
  spit("i.tab", "#!variable\ncnt | 200 | count | 1 | int | | 0 | | | x\n#!center\nhome | 1 | 98 | 0\n");
  ASSERT_EQ(1, lats_parmtab("i.tab"));
  int fid = lats_create("i", LATS_GRIB, LATS_NOLEAP, LATS_MONTHLY, 1, "HOME", "", "");
  ASSERT_GT(fid, 0);
  std::vector<double> lons = range(0, 120, 3), lats = {60, 20, -20, -60};
  int gid = lats_grid("gi", LATS_LINEAR, 3, lons.data(), 4, lats.data());
  int vid = lats_var(fid, "cnt", LATS_INT, LATS_ACCUM, gid, 0, "");
  ASSERT_GT(vid, 0);
  ASSERT_EQ(1, lats_miss_int(fid, vid, -1));
  std::vector<int> v = {1, 2, 3, 4, -1, 6, 7, 8, 9, 10, 11, 12000};
  ASSERT_EQ(1, lats_write(fid, vid, 0, 1995, 7, 15, 12, v.data()));
  EXPECT_EQ(-1, v[4]);   // the caller's data is left as it was
  ASSERT_EQ(1, lats_close(fid));
  std::vector<record> r = records("i.grb");
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(0, r[0].gds[5]);
  EXPECT_EQ(1, r[0].pds[14]);   // monthly: day 1
  EXPECT_EQ(16, r[0].bds[10]);  // monthly files pack in 16 bits
  std::string out = run("grib_get_data -m MISSING i.grb 2>&1");
  std::istringstream in(out);
  std::string line;
  std::getline(in, line);
  double lat, lon;
  std::string val;
  int k = 0;
  while (in >> lat >> lon >> val) {
    if (k == 4) EXPECT_EQ("MISSING", val);
    else EXPECT_NEAR(v[k], std::stod(val), 0.2) << k;
    k++;
  }
  EXPECT_EQ(12, k) << out;
}

TEST_F(LatsTest, ForecastHourlyRecordsCarryTheForecastHour) {
  std::vector<double> lons = range(0, 1, 2), lats = range(0, 1, 2);
  int fid = lats_create("fc", LATS_OMBRA_GRIB, LATS_STANDARD, LATS_FORECAST_HOURLY, 12, "ncep", "", "");
  int gid = lats_grid("gfc", LATS_LINEAR, 2, lons.data(), 2, lats.data());
  int vid = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  std::vector<float> f(4, 2.0f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_write(fid, vid, 0, 0, 0, 0, 120, f.data()));   // no base time yet
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find(
                                   "lats_basetime must be called before writing data for LATS_FORECAST_HOURLY"));
  // The failed write left the file in writing mode: base time can no longer be set.
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_basetime(fid, 1997, 5, 31, 0));
  testing::internal::GetCapturedStderr();
  int f2 = lats_create("fc2", LATS_GRIB, LATS_STANDARD, LATS_FORECAST_HOURLY, 12, "ncep", "", "");
  int v2 = lats_var(f2, "ta", LATS_FLOAT, LATS_AVERAGE, gid, 0, "");
  ASSERT_EQ(1, lats_basetime(f2, 1997, 5, 31, 6));
  ASSERT_EQ(1, lats_write(f2, v2, 0, 0, 0, 0, 300, f.data()));
  ASSERT_EQ(1, lats_close(f2));
  testing::internal::CaptureStdout();
  lats_close(fid);
  testing::internal::GetCapturedStdout();
  std::vector<record> r = records("fc2.grb");
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(97, r[0].pds[12]);
  EXPECT_EQ(5, r[0].pds[13]);
  EXPECT_EQ(31, r[0].pds[14]);
  EXPECT_EQ(6, r[0].pds[15]);
  EXPECT_EQ(300u, (unsigned)(r[0].pds[18] << 8 | r[0].pds[19]));
  EXPECT_EQ(10, r[0].pds[20]);
}

TEST_F(LatsTest, OversizedAndUnpackableFieldsDoNotCorruptRecords) {
  // A row of 65536 longitudes does not fit the 16-bit count of the grid
  // description: the write is refused instead of describing another grid.
  std::vector<double> lons = range(0, 0.005, 65536), lats = {0};
  int fid = lats_create("big", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
  int gid = lats_grid("gbig", LATS_LINEAR, 65536, lons.data(), 1, lats.data());
  int vid = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  std::vector<double> l2 = range(0, 1, 2), b2 = range(0, 1, 2);
  int g2 = lats_grid("g2", LATS_LINEAR, 2, l2.data(), 2, b2.data());
  int v2 = lats_var(fid, "tnt", LATS_FLOAT, LATS_INSTANT, g2, 0, "");
  std::vector<float> f(65536, 1.0f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_write(fid, vid, 0, 1990, 1, 1, 0, f.data()));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("gds_set failed rc = 998"));
  // tnt has 7 decimals: a range of 1000 would need 10^10 steps, far past 24
  // bits, and is packed with binary scaling; non-finite values do not spoil
  // the scaling of the others.
  std::vector<float> w = {0, 1000, NAN, 500};
  ASSERT_EQ(1, lats_write(fid, v2, 0, 1990, 1, 1, 0, w.data()));
  ASSERT_EQ(1, lats_close(fid));
  std::vector<record> r = records("big.grb");
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(24, r[0].bds[10]);
  EXPECT_EQ(0, r[0].pds[27]);
  EXPECT_FLOAT_EQ(0.0f, ibm2flt(&r[0].bds[6]));
}

TEST_F(LatsTest, LevelsBeyondSixteenBitsAreRefused) {
  double pa[2] = {100000, 50000};
  int vd = lats_vert_dim("pa", "plev", 2, pa);
  std::vector<double> lons = range(0, 1, 2), lats = range(0, 1, 2);
  gribfile g = makefile("pa", LATS_GRIB, LATS_HOURLY, 1, lons, lats, "ta", vd);
  std::vector<float> f(4, 1.0f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_write(g.fid, g.vid, 100000, 1990, 1, 1, 0, f.data()));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("does not fit the 16-bit GRIB level"));
  EXPECT_EQ(1, lats_write(g.fid, g.vid, 50000, 1990, 1, 1, 0, f.data()));
  EXPECT_EQ(1, lats_close(g.fid));
  std::vector<record> r = records("pa.grb");
  ASSERT_EQ(1u, r.size());
  EXPECT_EQ(50000u, (unsigned)(r[0].pds[10] << 8 | r[0].pds[11]));
}

// Packed values are rounded to the nearest step, not truncated: values
// whose scaled fraction lies above half a step (0.37*i + 0.06 at a decimal
// scale of 1: 0.7, 0.4, 0.1, 0.8, ... tenths) read back within half a step.
TEST_F(LatsTest, PackedValuesRoundToTheNearestStep) {
  std::vector<double> lons = range(0, 10, 4), lats = range(-10, 10, 3);
  gribfile g = makefile("r", LATS_GRIB, LATS_HOURLY, 6, lons, lats);
  ASSERT_GT(g.vid, 0);
  std::vector<float> f(12);
  for (int i = 0; i < 12; i++) f[i] = 0.37f * i + 0.06f;
  ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 2000, 1, 1, 0, f.data()));
  ASSERT_EQ(1, lats_close(g.fid));
  std::vector<record> r = records("r.grb");
  ASSERT_EQ(1u, r.size());
  const record& x = r[0];
  ASSERT_TRUE(x.bms.empty());
  const int D = ((x.pds[26] & 0x7f) << 8 | x.pds[27]) * ((x.pds[26] & 0x80) ? -1 : 1);
  const int E = ((x.bds[4] & 0x7f) << 8 | x.bds[5]) * ((x.bds[4] & 0x80) ? -1 : 1);
  ASSERT_EQ(1, D);
  ASSERT_EQ(0, E);
  const int nbits = x.bds[10];
  ASSERT_EQ(6, nbits);   // 0.06 .. 4.13 in tenths: 41 steps
  const double R = ibm2flt(&x.bds[6]);
  const double step = std::pow(2.0, E) / std::pow(10.0, D);
  for (int i = 0; i < 12; i++) {
    unsigned q = 0;
    for (int b = 0; b < nbits; b++) {
      size_t bit = (size_t)i * nbits + b;
      q = q << 1 | ((x.bds[11 + bit / 8] >> (7 - bit % 8)) & 1);
    }
    double v = (R + q * std::pow(2.0, E)) / std::pow(10.0, D);
    EXPECT_LE(std::fabs(v - f[i]), step / 2 + 1e-6) << i << ": " << f[i] << " read back as " << v;
  }
}
