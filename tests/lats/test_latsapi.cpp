// The LATS interface: creation checks, time order and steps, level
// bookkeeping and the missing-value declarations.
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "base/fifo_end.h"
#include "base/fsizecap.h"
#include "latstest.h"

namespace {

const double kLons[2] = {0, 10};
const double kLats[2] = {0, 10};

int grid(const char* name) { return lats_grid(name, LATS_LINEAR, 2, kLons, 2, kLats); }

std::string err;
#define CAPTURE(expr)                                  \
  do {                                                 \
    testing::internal::CaptureStderr();                \
    expr;                                              \
    err = testing::internal::GetCapturedStderr();      \
  } while (0)

bool said(const std::string& s) { return err.find(s) != std::string::npos; }

// What the first write to standard error carried, of those the call made
// (each a datagram here).
std::string firstwrite(const std::function<void()>& call) {
  int s[2];
  if (socketpair(AF_UNIX, SOCK_DGRAM, 0, s) != 0) return "";
  int was = dup(2);
  dup2(s[1], 2);
  call();
  dup2(was, 2);
  close(was);
  close(s[1]);
  char b[4096];
  ssize_t n = recv(s[0], b, sizeof b, MSG_DONTWAIT);
  close(s[0]);
  return n > 0 ? std::string(b, static_cast<size_t>(n)) : "";
}

}  // namespace

TEST_F(LatsTest, CreateChecksAndFileNames) {
  int id;
  // A message is one write: an ending never finds its head alone.
  err = firstwrite([&] { id = lats_create("x", 5, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", ""); });
  EXPECT_EQ(0, id);
  EXPECT_TRUE(said("LATS error (lats_create): LATS (lats) -->  Invalid file convention: 5\n"));
  CAPTURE(id = lats_create("x", LATS_COARDS, LATS_NOLEAP, LATS_HOURLY, 1, "ncep", "", ""));
  EXPECT_TRUE(said("COARDS data must be written with the standard Gregorian calendar, file x"));
  CAPTURE(id = lats_create("x", LATS_GRIB, LATS_360, LATS_HOURLY, 1, "ncep", "", ""));
  EXPECT_EQ(0, id);
  CAPTURE(id = lats_create("x", LATS_OMBRA_GRIB, LATS_STANDARD, LATS_HOURLY, 0, "ncep", "", ""));
  EXPECT_TRUE(said("OMBRA_GRIB data must be written with nonzero delta, file x"));
  // Its descriptor is created beside the data, said only when it cannot be;
  // its index is made at the close without a word on standard error.
  CAPTURE(id = lats_create("ok", LATS_OMBRA_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
          testing::internal::CaptureStdout(); lats_close(id); testing::internal::GetCapturedStdout());
  EXPECT_EQ(err, "");
  ASSERT_EQ(0, mkdir("c.ctl", 0755));
  CAPTURE(id = lats_create("c", LATS_OMBRA_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", ""));
  EXPECT_EQ(0, id);
  EXPECT_TRUE(said("lats_create create .ctl failed for c.ctl\n")) << err;
  CAPTURE(id = lats_create("x", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "nowhere", "", ""));
  EXPECT_TRUE(said("Center not found in center table: nowhere, file x.grb"));
  // A file that could not be created is not kept for later calls.
  CAPTURE(id = lats_create("/nonexistent/dir/f", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", ""));
  EXPECT_EQ(0, id);
  EXPECT_TRUE(said("lats_create create .grb failed for /nonexistent/dir/f.grb"));
  // A name is shown with its control characters escaped: a line end in it
  // cannot make a line of its own.
  CAPTURE(lats_create("/nonexistent/a\nb/f", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", ""));
  EXPECT_TRUE(said("Cannot write /nonexistent/a\\nb/f.grb: No such file or directory"));
  EXPECT_TRUE(said("lats_create create .grb failed for /nonexistent/a\\nb/f.grb\n"));
  CAPTURE(lats_create("a\x1b[2J\xff", LATS_COARDS, LATS_NOLEAP, LATS_HOURLY, 1, "ncep", "", ""));
  EXPECT_TRUE(said("standard Gregorian calendar, file a\\x1b[2J\\xff\n"));
  int next = lats_create("keep.grb", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
  ASSERT_GT(next, 0);
  CAPTURE(EXPECT_EQ(0, lats_write(next - 1, 1, 0, 1990, 1, 1, 0, nullptr)));
  EXPECT_TRUE(said("File ID: " + std::to_string(next - 1) + ", not found"));
  // Whatever stands at a name stays as it was until the file is closed, and
  // a create that fails leaves it untouched: an older file, a FIFO, a link
  // to a folder that does not exist, a link to a device (netCDF is read
  // back as it is written: what is no regular file is refused, with why).
  spit("plain.nc", "older");
  ASSERT_EQ(0, mkfifo("f.nc", 0600));
  ASSERT_EQ(0, symlink("nodir/x.nc", "d.nc"));
  ASSERT_EQ(0, symlink("/dev/null", "dn.nc"));
  {
    fsizecap cap(10);
    CAPTURE(EXPECT_EQ(0, lats_create("plain", LATS_PCMDI, LATS_STANDARD, LATS_HOURLY, 1, "", "", "")));
  }
  for (const char* name : {"f", "d", "dn"})
    CAPTURE(EXPECT_EQ(0, lats_create(name, LATS_COARDS, LATS_STANDARD, LATS_HOURLY, 1, "", "", "")));
  EXPECT_TRUE(said("LATS error (lats_create): LATS (lats) -->  Cannot write dn.nc: not a regular file\n"
                   "LATS error (lats_create): netCDF (latsnc) --> Creating netCDF file dn.nc\n"))
      << err;
  // One with another name (a hard link) is written over at close, in place,
  // only while it is still at the name: one removed meanwhile leaves the
  // name free, one replaced by a file that may not be replaced leaves the
  // new file under its part name.
  for (const char* name : {"h", "gone", "swap"}) {
    spit(name + std::string(".nc"), "older");
    ASSERT_EQ(0, link((name + std::string(".nc")).c_str(), (name + std::string("link")).c_str()));
  }
  int plain = lats_create("plain", LATS_PCMDI, LATS_STANDARD, LATS_HOURLY, 1, "", "", "");
  int h = lats_create("h", LATS_COARDS, LATS_STANDARD, LATS_HOURLY, 1, "", "", "");
  int g = lats_create("g", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, " NCEP ", "", "");
  int gone = lats_create("gone", LATS_COARDS, LATS_STANDARD, LATS_HOURLY, 1, "", "", "");
  int swap = lats_create("swap", LATS_COARDS, LATS_STANDARD, LATS_HOURLY, 1, "", "", "");
  EXPECT_EQ("olderolder", slurp("plain.nc") + slurp("h.nc"));
  EXPECT_NE(0, access("g.grb", F_OK));
  const std::string swappart = partof("swap.nc");
  ASSERT_EQ(0, unlink("gone.nc") | unlink("swap.nc"));
  spit("swap.nc", "late");
  ASSERT_EQ(0, link("swap.nc", "swapother"));
  for (int id : {next, plain, h, g, gone}) CAPTURE(EXPECT_EQ(1, lats_close(id)));
  CAPTURE(EXPECT_EQ(0, lats_close(swap)));
  EXPECT_TRUE(said("LATS error (lats_close): LATS (lats) -->  The new file stays as " + dir + "/" + swappart +
                   ": swap.nc has other hard links\n"))
      << err;
  EXPECT_EQ("CDF", slurp("plain.nc").substr(0, 3));
  EXPECT_EQ(slurp("hlink").substr(0, 3) + slurp("h.nc").substr(0, 3), "CDFCDF");
  EXPECT_EQ(slurp("gonelink") + slurp("gone.nc").substr(0, 3), "olderCDF");
  EXPECT_EQ(slurp("swaplink") + slurp("swap.nc") + slurp(swappart).substr(0, 3), "olderlateCDF");
  ASSERT_EQ(0, unlink(swappart.c_str()));
  EXPECT_EQ(0, access("keep.grb", F_OK) | access("g.grb", F_OK));
  struct stat st;
  EXPECT_TRUE(stat("f.nc", &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(lstat("d.nc", &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_TRUE(lstat("dn.nc", &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_EQ("", run("ls | grep part"));
}

// A parameter table that is a FIFO nobody writes, and an output that is one
// nobody reads, wait only until the user interrupts.
TEST_F(LatsTest, FifosWithoutOtherEndEndAtInterrupt) {
  {
    fifo_end fifo(dir + "/parm.fifo", true);
    CAPTURE(EXPECT_EQ(0, lats_parmtab(fifo.path())));
    EXPECT_TRUE(said("Cannot open parameter file " + dir + "/parm.fifo\nInterrupted system call\n"))
        << err;
  }
  fifo_end fifo(dir + "/out.grb");
  interrupt_raised intr;
  int id = -1;
  CAPTURE(id = lats_create("out", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", ""));
  EXPECT_EQ(0, id);
  EXPECT_TRUE(said("lats_create create .grb failed for out.grb"));
}

TEST_F(LatsTest, GridAndVerticalDimensionChecks) {
  double lons[3] = {0, 10, 360};
  double lats[2] = {-91, 0};
  CAPTURE(EXPECT_EQ(0, lats_grid("w", LATS_LINEAR, 3, lons, 2, kLats)));
  EXPECT_TRUE(said("Longitude vector must not wrap around, grid w"));
  CAPTURE(EXPECT_EQ(0, lats_grid("l", LATS_LINEAR, 2, kLons, 2, lats)));
  EXPECT_TRUE(said("Latitude values must be in the range -90 to 90"));
  double flat[2] = {5, 5};
  CAPTURE(EXPECT_EQ(0, lats_grid("m", LATS_LINEAR, 2, flat, 2, kLats)));
  EXPECT_TRUE(said("must be monotonic, grid m"));
  EXPECT_EQ(1, grid("a"));
  CAPTURE(EXPECT_EQ(0, grid("a")));
  EXPECT_TRUE(said("Duplicate grid name: a"));
  for (int i = 2; i <= LATS_MAX_GRIDS; i++) EXPECT_EQ(i, grid(("g" + std::to_string(i)).c_str()));
  CAPTURE(EXPECT_EQ(0, grid("one-too-many")));
  EXPECT_FALSE(err.empty());
  double levs[3] = {1000, 500, 700};
  CAPTURE(EXPECT_EQ(0, lats_vert_dim("v", "plev", 3, levs)));
  EXPECT_TRUE(said("must be strictly monotonic"));
  CAPTURE(EXPECT_EQ(0, lats_vert_dim("v", "nope", 2, levs)));
  EXPECT_TRUE(said("The following vertical dimension types are defined:\n0degiso\t0 deg isotherm\n"));
  EXPECT_TRUE(said("Vertical dimension type not found: nope, vertical dimension v"));
  CAPTURE(EXPECT_EQ(0, lats_vert_dim("v", "nope", 2, levs)));
  EXPECT_FALSE(said("The following"));   // the list is printed once a run
  EXPECT_EQ(1, lats_vert_dim("v", "plev", 2, levs));
}

TEST_F(LatsTest, VariableChecksLeaveNoHalfDeclaredVariable) {
  int fid = lats_create("v", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "ncep", "", "");
  int gid = grid("g");
  double levs[2] = {1000, 500};
  int vd = lats_vert_dim("p", "plev", 2, levs);
  CAPTURE(EXPECT_EQ(0, lats_var(fid, "nosuch", LATS_FLOAT, LATS_INSTANT, gid, 0, "")));
  EXPECT_TRUE(said("Variable nosuch: not in the variable table, file ID " + std::to_string(fid)));
  CAPTURE(EXPECT_EQ(0, lats_var(fid, "ta", LATS_INT, LATS_INSTANT, gid, 0, "")));
  EXPECT_TRUE(said("datatype LATS_INT does not match predefined datatype"));
  CAPTURE(EXPECT_EQ(0, lats_var(fid, "ta", LATS_FLOAT, 7, gid, 0, "")));
  EXPECT_TRUE(said("Time statistic: 7 must be LATS_AVERAGE"));
  CAPTURE(EXPECT_EQ(0, lats_var(fid, "tas", LATS_FLOAT, LATS_INSTANT, gid, vd, "")));
  EXPECT_TRUE(said("Overriding default level type sfc2m, for variable tas"));
  EXPECT_TRUE(said("number of levels: 2, must be 0 or 1 for single-level (surface) variable"));
  CAPTURE(EXPECT_EQ(0, lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, 99, "")));
  EXPECT_TRUE(said("Vertical dimension not found, ID: 99"));
  CAPTURE(EXPECT_EQ(0, lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, 0, 0, "")));
  EXPECT_TRUE(said("Invalid grid ID: 0"));
  // None of the refused declarations left a variable behind.
  int vid = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, vd, "");
  ASSERT_GT(vid, 0);
  CAPTURE(EXPECT_EQ(0, lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, vd, "")));
  EXPECT_TRUE(said("Variable already defined: ta, file v.grb"));
  CAPTURE(EXPECT_EQ(0, lats_miss_int(fid, vid, 1)));
  EXPECT_TRUE(said("declared as integer, but variable is not an integer"));
  CAPTURE(EXPECT_EQ(0, lats_miss_float(fid, vid, 1, -1)));
  EXPECT_TRUE(said("Missing delta value = -1.000000, must be nonnegative"));
  EXPECT_EQ(1, lats_close(fid));
}

TEST_F(LatsTest, TimeOrderStepsAndLevelCounts) {
  std::vector<float> f(4, 1.0f);
  // Daily: the hour is dropped, so two writes at 00Z and 12Z are one time.
  int d = lats_create("d", LATS_GRIB, LATS_STANDARD, LATS_DAILY, 1, "ncep", "", "");
  int gid = grid("g");
  int v = lats_var(d, "ps", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  ASSERT_EQ(1, lats_write(d, v, 0, 1979, 1, 1, 0, f.data()));
  CAPTURE(EXPECT_EQ(1, lats_write(d, v, 0, 1979, 1, 1, 12, f.data())));
  EXPECT_TRUE(said("Warning, too many levels written (2) than declared, file d.grb, variable ps, time = 0Z 1 Jan 1979"));
  CAPTURE(EXPECT_EQ(0, lats_write(d, v, 0, 1978, 12, 31, 0, f.data())));
  EXPECT_TRUE(said("must be written in non-decreasing time order:\n   Last time written = 0Z 1 Jan 1979\n"
                   "   Current time = 0Z 31 Dec 1978"));
  CAPTURE(EXPECT_EQ(0, lats_write(d, v, 0, 0, 1, 2, 0, f.data())));
  EXPECT_TRUE(said("Invalid year: 0, file d.grb year <= 0 NOT Supported"));
  CAPTURE(EXPECT_EQ(0, lats_write(d, v, 0, 1979, 13, 2, 0, f.data())));
  EXPECT_TRUE(said("Invalid month: 13, file d.grb, variable ps"));
  EXPECT_EQ(1, lats_close(d));

  // Monthly Ombra files cannot skip a month; GRIB-only files may.
  int m = lats_create("m", LATS_OMBRA_GRIB, LATS_STANDARD, LATS_MONTHLY, 1, "ncep", "", "");
  int mv = lats_var(m, "ps", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  ASSERT_EQ(1, lats_write(m, mv, 0, 1979, 1, 15, 0, f.data()));
  CAPTURE(EXPECT_EQ(0, lats_write(m, mv, 0, 1979, 3, 1, 0, f.data())));
  EXPECT_TRUE(said("For Ombra convention, cannot skip timepoints; current time = 2.000000 months since 1979-1-1 0"));
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, lats_close(m));
  testing::internal::GetCapturedStdout();
  int g = lats_create("gap", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 6, "ncep", "", "");
  int gv = lats_var(g, "ps", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  ASSERT_EQ(1, lats_write(g, gv, 0, 1979, 1, 1, 0, f.data()));
  ASSERT_EQ(1, lats_write(g, gv, 0, 1979, 1, 1, 18, f.data()));
  CAPTURE(EXPECT_EQ(0, lats_write(g, gv, 0, 1979, 1, 1, 22, f.data())));
  EXPECT_TRUE(said("not a multiple of delta (6)"));
  EXPECT_EQ(1, lats_close(g));

  // Weekly is daily with seven times the step.
  int w = lats_create("w", LATS_OMBRA_GRIB, LATS_STANDARD, LATS_WEEKLY, 1, "ncep", "", "");
  int wv = lats_var(w, "ps", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  ASSERT_EQ(1, lats_write(w, wv, 0, 1979, 1, 1, 0, f.data()));
  CAPTURE(EXPECT_EQ(0, lats_write(w, wv, 0, 1979, 1, 2, 0, f.data())));
  EXPECT_TRUE(said("delta = 7"));
  ASSERT_EQ(1, lats_write(w, wv, 0, 1979, 1, 8, 0, f.data()));
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, lats_close(w));
  testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, slurp("w.ctl").find("tdef 2 linear 0Z1jan1979  7dy\n"));
}

TEST_F(LatsTest, LevelsAndClosingStatistics) {
  std::vector<float> f(4, 1.0f);
  double levs[3] = {1000, 850, 500};
  int fid = lats_create("l", LATS_GRIB, LATS_STANDARD, LATS_HOURLY, 6, "ncep", "", "");
  int gid = grid("g");
  int vd = lats_vert_dim("p", "plev", 3, levs);
  int v = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, vd, "");
  int never = lats_var(fid, "ua", LATS_FLOAT, LATS_INSTANT, gid, vd, "");
  ASSERT_GT(never, 0);
  CAPTURE(EXPECT_EQ(0, lats_write(fid, v, 700, 1990, 1, 1, 0, f.data())));
  EXPECT_TRUE(said("Level not found: 700.000000, file l.grb, variable ta"));
  ASSERT_EQ(1, lats_write(fid, v, 850.01, 1990, 1, 1, 0, f.data()));
  CAPTURE(EXPECT_EQ(1, lats_write(fid, v, 1000, 1990, 1, 1, 6, f.data())));
  EXPECT_TRUE(said("Warning, fewer levels written (1) then declared, file l.grb, variable ta"));
  CAPTURE(EXPECT_EQ(1, lats_close(fid)));
  EXPECT_TRUE(said("Variable declared but never written, file l.grb, variable ua"));
  EXPECT_TRUE(said("Fewer levels written (1) then declared (3), file l.grb, variable ta, time = 6Z 1 Jan 1990"));
}

TEST_F(LatsTest, ClimatologicalGribYearsAndFixedFiles) {
  std::vector<float> f(4, 1.0f);
  int fid = lats_create("c", LATS_OMBRA_GRIB, LATS_CLIM, LATS_MONTHLY, 1, "ncep", "", "");
  int gid = grid("g");
  int v = lats_var(fid, "ps", LATS_FLOAT, LATS_AVERAGE, gid, 0, "");
  ASSERT_EQ(1, lats_write(fid, v, 0, 1234, 1, 1, 0, f.data()));
  ASSERT_EQ(1, lats_write(fid, v, 0, 1, 2, 1, 0, f.data()));   // any year: written as year 2
  testing::internal::CaptureStdout();
  EXPECT_EQ(1, lats_close(fid));
  testing::internal::GetCapturedStdout();
  std::string ctl = slurp("c.ctl");
  EXPECT_NE(std::string::npos, ctl.find("options   365_day_calendar    \n")) << ctl;
  EXPECT_NE(std::string::npos, ctl.find("tdef 2 linear 0Z1jan0002  1mo\n")) << ctl;
  std::string grb = slurp("c.grb");
  ASSERT_GT(grb.size(), 40u);
  EXPECT_EQ(2, grb[8 + 12]);   // year of century
  EXPECT_EQ(1, grb[8 + 24]);   // century
  int x = lats_create("fx", LATS_OMBRA_GRIB, LATS_STANDARD, LATS_FIXED, 1, "ncep", "", "");
  int xv = lats_var(x, "orog", LATS_FLOAT, 99, gid, 0, "");
  CAPTURE(EXPECT_EQ(0, xv));
  x = lats_create("fy", LATS_GRIB, LATS_STANDARD, LATS_FIXED, 1, "ncep", "", "");
  xv = lats_var(x, "orog", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  ASSERT_EQ(1, lats_write(x, xv, 0, 1999, 5, 5, 5, f.data()));
  EXPECT_EQ(1, lats_close(x));
  grb = slurp("fy.grb");
  EXPECT_EQ(1, grb[8 + 12]);   // year 1 ...
  EXPECT_EQ(1, grb[8 + 24]);   // ... of century 1
  EXPECT_EQ(1, grb[8 + 13]);
}
