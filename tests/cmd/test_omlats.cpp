// set lats and the latsgrid/latsdata outputs, through the command
// dispatcher: messages, ids, and files written and read back.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"
#include "data/byteorder.h"
#include "gx/gx.h"
#include "base/callhook.h"
#include "base/fsizecap.h"
#include "lats/latstest.h"

namespace {

struct Out {
  int rc;
  std::string out;
};

Out cmd(const std::string& line) {
  testing::internal::CaptureStdout();
  int rc = omcmd(line.c_str(), &gcmn, 0);
  fflush(stdout);
  return {rc, testing::internal::GetCapturedStdout()};
}

bool has(const Out& o, const std::string& s) { return o.out.find(s) != std::string::npos; }

void putle(std::string& s, float v) {
  unsigned char b[4];
  memcpy(b, &v, 4);
  if (!omhostle()) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
  s.append(reinterpret_cast<char*>(b), 4);
}

// A data set t.ctl: 4 x 3 points, 2 levels, 3 six-hourly times; value =
// element number, element 5 undefined.
class LatsCmd : public LatsTest {
 protected:
  static void SetUpTestSuite() {
    gcmn.vpagew = 11;
    gcmn.vpageh = 8.5;
    gcmn.batch = 1;
    ominit();
    testing::internal::CaptureStdout();
    gxstrt(11, 8.5, 1);
    testing::internal::GetCapturedStdout();
  }
  void SetUp() override {
    LatsTest::SetUp();
    ominit();
    gcmn.batch = 1;
    gcmn.filehead = gcmn.dfile = nullptr;
    gcmn.filecount = 0;
    gcmn.dfilenum = 0;
    gcmn.defs = deflist();
    for (int d = 0; d < 4; d++) gcmn.vary[d] = 0;
    std::string data;
    for (int i = 0; i < 4 * 3 * 2 * 3; i++) putle(data, i == 5 ? -9.99e8f : (float)i);
    spit("t.dat", data);
    spit("t.ctl",
         "dset ^t.dat\ntitle Test set\nundef -9.99e8\noptions little_endian\n"
         "xdef 4 linear 0 10\nydef 3 linear -10 10\nzdef 2 levels 1000 500\n"
         "tdef 3 linear 00z01jan2000 6hr\nvars 1\nt 2 99 temperature\nendvars\n");
  }
  void TearDown() override {
    cmd("reinit");
    LatsTest::TearDown();
  }
  // out.grb with variable ta on the grid of t, ready for latsdata displays.
  void startout() {
    ASSERT_EQ(0, cmd("open t.ctl").rc);
    cmd("set lats frequency hourly");
    cmd("set lats deltat 6");
    newfile("out", 1, "ta instant");
  }
  // The file name, the id-th made, with the variable var ("name statistic")
  // on its grid of t (the id-th grid too), ready for latsdata displays
  // unless only declared.
  static void newfile(const std::string& name, int id, const std::string& var, bool declared_only = false) {
    const std::string n = std::to_string(id);
    cmd("set lats create " + name);
    cmd("set gxout latsgrid");
    cmd("d t");
    cmd("set lats var " + n + " " + var + " " + n + " 0");
    if (declared_only) return;
    cmd("set gxout latsdata");
    cmd("set lats write " + n + " " + n);
  }
};

}  // namespace

TEST_F(LatsCmd, SettingsAndTheirMessages) {
  Out o = cmd("set lats");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "SET LATS error:  No arguments....\n  valid arguments are: \n"));
  EXPECT_TRUE(has(o, "  close (e.g., set lats close)\n\n"));
  o = cmd("set lats convention grib");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "SET LATS CONVENTION error:  invalid argument using the default...\n"));
  EXPECT_EQ(3, gcmn.lats.convention);
  EXPECT_EQ(0, cmd("set lats convention coards").rc);
  EXPECT_EQ(4, gcmn.lats.convention);
  EXPECT_EQ(0, cmd("set lats frequency forecast_hourly").rc);
  EXPECT_EQ(8, gcmn.lats.frequency);
  EXPECT_EQ(3, gcmn.lats.timeoption);
  o = cmd("set lats deltat -6");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "SET LATS DELTAT error:  < 0 LATS_CREATE WILL FAIL...\n"));
  EXPECT_EQ(0, gcmn.lats.deltat);
  o = cmd("set lats foo bar");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "SET LATS error:  Missing or invalid arguments:\n for foo bar option\n"));
  o = cmd("set lats gridtype spherical");
  EXPECT_TRUE(has(o, "SET error:  Missing or invalid arguments for LATS option\n"));
  EXPECT_EQ(0, cmd("set lats calendar climleap").rc);
  EXPECT_EQ(0x1100, gcmn.lats.calendar);
  EXPECT_EQ(0, cmd("set lats center " + std::string(40, 'x')).rc);
  EXPECT_EQ(31u, gcmn.lats.center.size());
  o = cmd("set lats basetime 3 2000 1 1 0");
  EXPECT_TRUE(has(o, "SET LATS BASETIME error:  FILE ID is 3 but the max FILE ID is -1\n"));
  o = cmd("set lats var");
  EXPECT_TRUE(has(o, "LATS VAR ID = -1\nSET LATS VAR error:  No arguments! args: fileid varname datatype gridid levid\n"));
  o = cmd("set lats write 1 1");
  EXPECT_TRUE(has(o, "SET LATS WRITE error: FILE ID is outside the valid range of 1 - -1\n"));
  o = cmd("set lats close x");
  EXPECT_TRUE(has(o, "SET LATS CLOSE error:  missing or invalid FILE ID given...\n"));
  // File names and texts keep the case they were typed in.
  ASSERT_EQ(0, mkdir("Run1", 0755));
  cmd("set lats calendar standard");
  cmd("set lats frequency hourly");
  cmd("set lats deltat 6");
  const struct {
    const char* line;
    const std::string* field;
    const char* want;
  } typed[] = {{"set lats comment Run \"ABC\" Two", &gcmn.lats.comment, "Run \"ABC\" Two"},
               {"SET LATS MODEL MRF Exp1", &gcmn.lats.model, "MRF Exp1"},
               {"set lats center NCEP", &gcmn.lats.center, "NCEP"},
               {"set lats varcomment Sea Level", &gcmn.lats.varcomment, "Sea Level"},
               {"set lats parmtab My.parms", &gcmn.lats.parmtab, "My.parms"},
               {"set lats create Run1/MyOut", &gcmn.lats.outfile, "Run1/MyOut"}};
  for (const auto& t : typed) {
    testing::internal::CaptureStderr();
    cmd(t.line);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(*t.field, t.want) << t.line;
    if (*t.field == "My.parms") {
      EXPECT_EQ(err, "LATS error (lats_parmtab): LATS (latsint) --> Cannot open parameter file My.parms\n"
                     "No such file or directory\n");
    }
  }
  EXPECT_NE("", partof("Run1/MyOut.nc"));
  cmd("set lats close 1");
}

TEST_F(LatsCmd, VerticalDimensionOnceUntilReset) {
  Out o = cmd("set lats vertdim plev 1000 850 x 200");
  EXPECT_TRUE(has(o, "LATS VERTDIM ID = 1\n"));
  EXPECT_EQ(2, gcmn.lats.levcount);
  o = cmd("set lats vertdim plev 500 400");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "LATS VERTDIM ID = -999\nSET LATS VERTDIM error:  the vertical dimension is already set"));
  EXPECT_EQ(1, gcmn.lats.latsids[1]);
  EXPECT_EQ(0, cmd("set lats reset").rc);
  EXPECT_EQ(0, gcmn.lats.latsids[1]);
  EXPECT_EQ("misc1", gcmn.lats.var);
  EXPECT_EQ("Unknown LATS model", gcmn.lats.model);
  o = cmd("set lats vertdim plev 500 400");
  EXPECT_TRUE(has(o, "LATS VERTDIM ID = 2\n"));
  o = cmd("set lats vertdim nosuchtype 500 400");
  EXPECT_TRUE(has(o, "LATS VERTDIM ID = -999\n"));
  EXPECT_EQ(0, cmd("set lats reset").rc);
  o = cmd("set lats vertdim nosuchtype 500 400");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "LATS VERTDIM ID = 0\n"));
  std::string many = "set lats vertdim plev";
  for (int i = 0; i < 140; i++) many += " " + std::to_string(2000 - i);
  cmd("set lats reset");
  o = cmd(many);
  EXPECT_EQ(128, gcmn.lats.levcount);
  EXPECT_TRUE(has(o, "LATS VERTDIM ID = 3\n"));
}

// A table of one's own without the centre KIRVA: the reset brings the
// centre back to KIRVA, so it must bring back the table that has it too,
// or the next create fails.
TEST_F(LatsCmd, ResetDropsTheParameterTableWithItsCentre) {
  spit("my.parms",
       "#!variable\npsl | 2 | Mean sea-level pressure | Pa | float | msl | 0 | -999 | 0 | 0\n"
       "#!vert\nmsl | Mean Sea Level | none | single | up | 102 | 0 | 0 | 0\n"
       "#!center\nncep | 80 | 7 | 0\n");
  EXPECT_TRUE(has(cmd("set lats parmtab my.parms"), "LATS PARMTAB ID = 1\n"));
  cmd("set lats convention grib_only");
  cmd("set lats frequency hourly");
  cmd("set lats deltat 6");
  cmd("set lats center ncep");
  EXPECT_TRUE(has(cmd("set lats create first"), "LATS FILE ID = 1\n"));
  cmd("set lats close 1");
  EXPECT_EQ(0, cmd("set lats reset").rc);
  EXPECT_EQ("", gcmn.lats.parmtab);
  EXPECT_EQ("KIRVA", gcmn.lats.center);
  EXPECT_EQ(2, gcmn.lats.convention);
  EXPECT_TRUE(has(cmd("set lats create second"), "LATS FILE ID = 2\n"));
  cmd("set lats close 2");
  // The reset and reinit commands bring the centre back as well.
  for (const char* command : {"reset", "reinit"}) {
    cmd("set lats parmtab my.parms");
    cmd("set lats center ncep");
    cmd(command);
    EXPECT_EQ("", gcmn.lats.parmtab);
    cmd("set lats convention grib_only");
    cmd("set lats frequency hourly");
    Out o = cmd("set lats create again");
    EXPECT_FALSE(has(o, "LATS FILE ID = 0\n")) << command;
    cmd("set lats close " + std::to_string(gcmn.lats.latsids[0]));
  }
}

TEST_F(LatsCmd, GribWrittenThroughDisplaysReadsBack) {
  ASSERT_EQ(0, cmd("open t.ctl").rc);
  EXPECT_EQ(0, cmd("set lats frequency hourly").rc);
  EXPECT_EQ(0, cmd("set lats deltat 6").rc);
  EXPECT_TRUE(has(cmd("set lats create out"), "LATS FILE ID = 1\n"));
  EXPECT_TRUE(has(cmd("set lats vertdim plev 1000 500"), "LATS VERTDIM ID = 1\n"));
  cmd("set gxout latsgrid");
  EXPECT_TRUE(has(cmd("d t"), "LATS GRID ID = 1\n"));
  EXPECT_EQ("grid01", gcmn.lats.gridname);
  EXPECT_TRUE(has(cmd("set lats var 1 ta instant 1 1"), "LATS VAR ID = 1\n"));
  cmd("set gxout latsdata");
  EXPECT_TRUE(has(cmd("set lats write 1 1 1000"), "LATS WRITE ID = 1\n"));
  EXPECT_TRUE(has(cmd("d t"), "LATS DATA_WRITE ID = 1\n"));
  cmd("set lev 500");
  cmd("set lats write 1 1 500");
  EXPECT_TRUE(has(cmd("d t*2"), "LATS DATA_WRITE ID = 1\n"));
  cmd("set t 2");
  cmd("set lev 1000");
  cmd("set lats write 1 1 1000");
  EXPECT_TRUE(has(cmd("d t"), "LATS DATA_WRITE ID = 1\n"));
  cmd("set lev 500");
  cmd("set lats write 1 1 500");
  cmd("d t");
  // A grid of another shape than the variable's is refused, not read past its end.
  cmd("set x 1 2");
  Out o = cmd("d t");
  EXPECT_TRUE(has(o, "Ombra-LATS Error: (lats_write) the grid has 6 points but the LATS grid of the variable has 12\n"));
  EXPECT_TRUE(has(o, "LATS DATA_WRITE ID = 0\n"));
  cmd("set x 1");
  cmd("set lev 1000 500");
  o = cmd("d t");
  EXPECT_TRUE(has(o, "Ombra-LATS Error:  (lats_write) the dimension environment must be fixed in z and t\n"));
  cmd("set gxout latsgrid");
  o = cmd("d t");
  EXPECT_TRUE(has(o, "Ombra-LATS Error:  the grid must be lon/lat\n"));
  cmd("set lats close 1");
  std::string ctl = slurp("out.ctl");
  EXPECT_NE(std::string::npos, ctl.find("tdef 2 linear 0Z1jan2000  6hr\n")) << ctl;
  EXPECT_NE(std::string::npos, ctl.find("zdef 2 levels\n1000 500 \n")) << ctl;
  cmd("reinit");
  if (access("out.gmp", F_OK) != 0) GTEST_SKIP() << "no GRIB index made";
  ASSERT_EQ(0, cmd("open out.ctl").rc);
  cmd("set gxout print");
  cmd("set lev 500");
  cmd("set t 2");
  o = cmd("d ta");
  EXPECT_TRUE(has(o, "Printing Grid -- 12 Values -- Undef = 1e+20\n"));
  EXPECT_TRUE(has(o, "36 37 38 39 40 41 42 43 \n44 45 46 47 \n")) << o.out;
  cmd("set t 1");
  cmd("set lev 1000");
  o = cmd("d ta");
  EXPECT_TRUE(has(o, "0 1 2 3 4 1e+20 6 7 \n")) << o.out;
}

TEST_F(LatsCmd, NetcdfWrittenThroughDisplays) {
  ASSERT_EQ(0, cmd("open t.ctl").rc);
  cmd("set lats convention coards");
  cmd("set lats frequency hourly");
  cmd("set lats deltat 6");
  cmd("set lats model My Model");
  EXPECT_TRUE(has(cmd("set lats create out"), "LATS FILE ID = 1\n"));
  cmd("set gxout latsgrid");
  cmd("d t");
  EXPECT_TRUE(has(cmd("set lats var 1 ts average 1 0"), "LATS VAR ID = 1\n"));
  cmd("set gxout latsdata");
  cmd("set lats write 1 1");
  cmd("set t 3");
  EXPECT_TRUE(has(cmd("d t"), "LATS DATA_WRITE ID = 1\n"));
  cmd("set lats close 1");
  if (!have("ncdump")) GTEST_SKIP() << "ncdump not installed";
  std::string d = run("ncdump out.nc");
  EXPECT_NE(std::string::npos, d.find("ts(time, latitude, longitude)")) << d;
  EXPECT_NE(std::string::npos, d.find(":Conventions = \"COARDS\"")) << d;
  EXPECT_NE(std::string::npos, d.find(":model = \"My Model\"")) << d;
  EXPECT_NE(std::string::npos, d.find("time:units = \"hours since 2000-1-1 12\"")) << d;
  EXPECT_NE(std::string::npos, d.find("ts:level_description = \"Earth surface\"")) << d;
  EXPECT_NE(std::string::npos, d.find("ts:time_statistic = \"average\"")) << d;
  EXPECT_NE(std::string::npos, d.find("ts:missing_value = -9.99e+08f")) << d;
  EXPECT_NE(std::string::npos, d.find(" time = 0 ;")) << d;
  EXPECT_NE(std::string::npos, d.find("48, 49, 50, 51,")) << d;
}

TEST_F(LatsCmd, BridgeRefusals) {
  cmd("set lats frequency hourly");
  // A create that the library refuses leaves no file to write to.
  Out o = cmd("set lats create bad");
  EXPECT_TRUE(has(o, "LATS FILE ID = 0\n"));
  EXPECT_EQ(0, lats_filestate(0));
  cmd("set lats deltat 1");
  EXPECT_TRUE(has(cmd("set lats create good"), "LATS FILE ID = 1\n"));
  o = cmd("set lats var 1 ta instant 0 0");
  EXPECT_TRUE(has(o, "LATS VAR ID = -1\nSET LATS VAR error:  GRID ID is 0 but the max GRID ID is -1\n"));
  gcmn.lats.latsids[2] = gcmn.lats.latsmax[2] = 0;
  o = cmd("set lats var 1 ta instant 0 0");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "Ombra-LATS Error:  (lats_var) the LATS GRID ID is out of bounds\nLATS VAR ID = 0\n"));
  o = cmd("set lats basetime 0 2000 1 1 0");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "LATS BASETIME ID = 0\n"));
  EXPECT_TRUE(has(o, "Ombra-LATS Error: (lats_basetime) failed...\n"));
  EXPECT_EQ(0, cmd("set lats basetime 1 2000 1 1 0").rc);
  o = cmd("set lats basetime 1 2000 1 1 0");
  EXPECT_TRUE(has(o, "LATS BASETIME ID = 0\n"));   // only once per file
  o = cmd("set lats basetime 1 2000 -1 1 0");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "SET LATS BASETIME MONTH error:  month < 0\n"));
  // Neither close finishes a usable file: there is no file 0, and a
  // descriptor without variables gets no index.
  EXPECT_EQ(1, cmd("set lats close 0").rc);
  o = cmd("set lats close 1");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n")) << o.out;
  EXPECT_EQ(0, lats_filestate(1));
}

// A create, grid or var that the library refuses stores 0 as the latest
// id; the files, grids and variables made before it stay usable.
TEST_F(LatsCmd, FailedCallsLeaveEarlierIdsUsable) {
  ASSERT_EQ(0, cmd("open t.ctl").rc);
  cmd("set lats frequency hourly");
  cmd("set lats deltat 6");
  EXPECT_TRUE(has(cmd("set lats create out"), "LATS FILE ID = 1\n"));
  cmd("set gxout latsgrid");
  EXPECT_TRUE(has(cmd("d t"), "LATS GRID ID = 1\n"));
  EXPECT_TRUE(has(cmd("set lats var 1 ta instant 1 0"), "LATS VAR ID = 1\n"));
  // Refused by the library: a name outside the variable table.
  EXPECT_TRUE(has(cmd("set lats var 1 nosuchvar instant 1 0"), "LATS VAR ID = 0\n"));
  EXPECT_EQ(0, gcmn.lats.latsids[3]);
  // A grid the library refuses: a second grid of the same name.
  Out o = cmd("d t");
  EXPECT_TRUE(has(o, "LATS GRID ID = 0\n")) << o.out;
  EXPECT_EQ(0, gcmn.lats.latsids[2]);
  cmd("set lats deltat 0");
  EXPECT_TRUE(has(cmd("set lats create bad"), "LATS FILE ID = 0\n"));
  EXPECT_EQ(0, gcmn.lats.latsids[0]);
  // The ids made before the failures are still accepted.
  o = cmd("set lats write 1 1");
  EXPECT_EQ(0, o.rc) << o.out;
  EXPECT_TRUE(has(o, "LATS WRITE ID = 1\n")) << o.out;
  o = cmd("set lats var 1 ps instant 1 0");
  EXPECT_EQ(0, o.rc) << o.out;
  EXPECT_TRUE(has(o, "LATS VAR ID = 2\n")) << o.out;
  EXPECT_EQ(0, cmd("set lats basetime 1 2000 1 1 0").rc);
  // An id above the highest ever returned is still refused.
  o = cmd("set lats write 2 1");
  EXPECT_TRUE(has(o, "SET LATS WRITE error: FILE ID is outside the valid range of 1 - 1\n")) << o.out;
  o = cmd("set lats var 1 ta instant 2 0");
  EXPECT_TRUE(has(o, "SET LATS VAR error:  GRID ID is 2 but the max GRID ID is 1\n")) << o.out;
  o = cmd("set lats write 1 3");
  EXPECT_TRUE(has(o, "SET LATS WRITE error: VAR ID is outside the valid range of 1 - 2\n")) << o.out;
  // latsdata still goes by the latest create.
  cmd("set lats write 1 1");
  cmd("set gxout latsdata");
  o = cmd("d t");
  EXPECT_TRUE(has(o, "Ombra-LATS Error: (lats_write) the LATS FILE ID is 0\n"
                     "Ombra-LATS Error: (lats_write) the set lats create did not  work\n")) << o.out;
  // The file made before the failed create can still be closed.
  EXPECT_EQ(1, lats_filestate(1));
  { Out c = cmd("set lats close 1"); EXPECT_EQ(0, c.rc) << c.out; }
  EXPECT_EQ(0, lats_filestate(1));
}

// A GRIB record that does not fit fails its display and is cut off whole,
// so the file keeps the records before it and the index is made at close.
// A descriptor or a netCDF file that cannot be finished fails its close.
TEST_F(LatsCmd, FailedWritesAndClosesAreErrors) {
  startout();
  ASSERT_EQ(0, cmd("d t").rc);
  std::string one = slurp(partof("out.grb"));
  ASSERT_GT(one.size(), 20u);
  cmd("set t 2");
  Out o;
  {
    fsizecap cap(one.size() + one.size() / 2);
    o = cmd("d t");
  }
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "LATS DATA_WRITE ID = 0\nOmbra-LATS Error: (lats_write) failed...\n")) << o.out;
  EXPECT_EQ(one, slurp(partof("out.grb")));
  o = cmd("set lats close 1");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "Ombra-LATS Error: (lats_close) failed...\n")) << o.out;
  EXPECT_EQ(one, slurp("out.grb"));
  EXPECT_EQ(0, access("out.gmp", F_OK));

  // A descriptor that cannot be written fails the close, and no index is
  // made for it.
  ASSERT_EQ(0, symlink("/dev/full", "full.ctl"));
  newfile("full", 2, "ta instant");
  EXPECT_EQ(0, cmd("d t").rc);
  EXPECT_EQ(1, cmd("set lats close 2").rc);
  EXPECT_NE(0, access("full.gmp", F_OK));

  cmd("set lats convention coards");
  newfile("full", 3, "ts average");
  // A netCDF file whose close fails keeps the fields written before.
  ASSERT_EQ(0, cmd("d t").rc);
  const std::string first = slurp(partof("full.nc"));
  cmd("set t 3");
  Out w;
  {
    fsizecap cap(first.size() + 20);
    w = cmd("d t");
    o = cmd("set lats close 3");
  }
  EXPECT_EQ(1, w.rc) << w.out;
  EXPECT_EQ(1, o.rc) << o.out;
  EXPECT_EQ(first, slurp("full.nc").substr(0, first.size()));

  // A netCDF file the library cannot close (the header of its variables,
  // written at a close with no field written, does not fit) fails its
  // close as a write would.
  newfile("shut", 4, "ts average", true);
  callhook(callat::written, partof("shut.nc").c_str(), nullptr, ENOSPC);
  testing::internal::CaptureStderr();
  o = cmd("set lats close 4");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LATS warning (lats_close): Variable declared but never written, file shut.nc, variable ts\n"
            "netCDF: No space left on device\n"
            "LATS error (lats_close): netCDF (latsnc) --> Closing netCDF file shut.nc\n"
            "LATS error (lats_close): LATS (lats) -->  1 write(s) to file shut.nc failed: it holds only the records "
            "written\n");
  EXPECT_EQ(1, o.rc) << o.out;
  EXPECT_EQ(slurp("shut.nc").substr(4, 4), std::string("\0\0\0\0", 4));

  // A GRIB file whose close fails (a network file system's late write
  // error) fails its close as well.
  cmd("set lats convention grib_only");
  newfile("late", 5, "ta instant");
  ASSERT_EQ(0, cmd("d t").rc);
  callhook(callat::closed, "late.grb", nullptr, EIO);
  testing::internal::CaptureStderr();
  o = cmd("set lats close 5");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LATS error (lats_close): LATS (lats) -->  Closing late.grb failed: Input/output error\n");
  EXPECT_EQ(1, o.rc);
  EXPECT_TRUE(has(o, "Ombra-LATS Error: (lats_close) failed...\n")) << o.out;

  // A GRIB file whose part another file took the place of is not published,
  // nor is that file indexed as the data kept under the part name.
  cmd("set lats convention ombra_grib");
  newfile("swap", 6, "ta instant");
  ASSERT_EQ(0, cmd("d t").rc);
  const std::string data = partof("swap.grb"), desc = partof("swap.ctl");
  spit("other", "not the data");
  ASSERT_EQ(0, rename("other", data.c_str()));
  char here[PATH_MAX];
  ASSERT_TRUE(getcwd(here, sizeof here));
  testing::internal::CaptureStderr();
  o = cmd("set lats close 6");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "LATS error (lats_close): LATS (lats) -->  The new file is no longer at " + std::string(here) + "/" + data +
                ": another file took its name; swap.grb stays as it was\n"
                "LATS error (lats_close): LATS (lats) -->  The new file stays as " + here + "/" + desc +
                ": it goes with swap.grb\n");
  EXPECT_EQ(1, o.rc);
}

// An action that the library or the bridge refuses, after its message,
// fails its command.
TEST_F(LatsCmd, RefusedActionsFail) {
  startout();
  const struct { const char* line; const char* says; } rows[] = {
      {"set lats parmtab nosuch.parms", "LATS PARMTAB ID = 0\n"},
      {"set lats vertdim plev x", "SET LATS VERTDIM error:  no levels given....\n"},
      {"set lats var 1 nosuchvar instant 1 0", "LATS VAR ID = 0\n"},
      {"set gxout latsgrid", ""},
      {"set lat -10 100", ""},
      {"d t", "LATS GRID ID = 0\n"},
      {"set lat 0", ""},
      {"d t", "Ombra-LATS Error:  the grid must be lon/lat\n"},
  };
  for (const auto& r : rows) {
    Out o = cmd(r.line);
    EXPECT_EQ(*r.says ? 1 : 0, o.rc) << r.line << ": " << o.out;
    EXPECT_TRUE(has(o, r.says)) << r.line << ": " << o.out;
  }
}

// latsdata writes only a field that varies in longitude and latitude, even
// when another section has as many points as the variable's grid.
TEST_F(LatsCmd, LatsdataWritesOnlyLonLatFields) {
  startout();
  cmd("set lat 0");
  cmd("set t 1 3");   // longitude-time: 4 x 3 points, like the 4 x 3 grid
  Out o = cmd("d t");
  EXPECT_EQ("Ombra-LATS Error:  the grid must be lon/lat\n", o.out);
  cmd("set lon 10");
  cmd("set lat -10 10");   // latitude-time: 3 x 3 points
  o = cmd("d t");
  EXPECT_EQ("Ombra-LATS Error:  the grid must be lon/lat\n", o.out);
  cmd("set lon 0 30");
  cmd("set t 2");
  EXPECT_TRUE(has(cmd("d t"), "LATS DATA_WRITE ID = 1\n"));
  cmd("set lats close 1");
}
