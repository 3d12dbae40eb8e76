// The sdfopen and xdfopen commands: the opened record joins the file list
// with the next serial number, the command says so, and the first file gets
// the self-describing default dimensions (the level alone, even where open
// would vary it).
#include <gtest/gtest.h>

#include <string>

#include "base/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmdtest.h"
#include "data/datafile.h"
#include "sdf/sdftest.h"

namespace {

using namespace sdftest;

// One longitude, three latitudes, two levels, one time.
const char* kColumn = R"(netcdf column {
dimensions: lon = 1 ; lat = 3 ; lev = 2 ; time = 1 ;
variables:
  float lon(lon) ; lon:units = "degrees_east" ;
  float lat(lat) ; lat:units = "degrees_north" ;
  float lev(lev) ; lev:units = "hPa" ;
  double time(time) ; time:units = "hours since 2000-1-1" ;
  float t(time, lev, lat, lon) ;
data: lon = 10 ; lat = -10, 0, 10 ; lev = 1000, 500 ; time = 0 ;
  t = 1, 2, 3, 4, 5, 6 ;
}
)";

class SdfOpenCmd : public testing::Test {
 protected:
  void SetUp() override {
    if (!have_ncgen()) GTEST_SKIP() << "ncgen not installed";
    ominit();
    omstart(&gcmn);
    mfcmn.mfcal = -999;
  }
  void TearDown() override {
    omclal(&gcmn);
    mfcmn.mfcal = -999;
  }
};

TEST_F(SdfOpenCmd, FilesJoinTheListAndTheFirstSetsTheDimensions) {
  std::string f = make_nc("column", kColumn);
  ASSERT_FALSE(f.empty());
  int serial = gcmn.fileserial;
  cmdout r = runcmd("sdfopen " + f);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("SDF file " + f + " is open as file 1\n"), std::string::npos);
  ASSERT_EQ(gcmn.filecount, 1);
  EXPECT_EQ(gcmn.dfile, gcmn.filehead);
  EXPECT_EQ(gcmn.dfilenum, 1);
  EXPECT_EQ(gcmn.filehead->fnum, serial + 1);
  // set x 1 1, set y 1 3, set z 1, set t 1: only latitude varies.
  EXPECT_EQ(gcmn.vary[0], 0);
  EXPECT_EQ(gcmn.vary[1], 1);
  EXPECT_EQ(gcmn.vary[2], 0);
  EXPECT_EQ(gcmn.vary[3], 0);
  EXPECT_FLOAT_EQ(gcmn.wlo[1], -10);
  EXPECT_FLOAT_EQ(gcmn.whi[1], 10);
  EXPECT_FLOAT_EQ(gcmn.wlo[2], 1000);

  // A second file runs no default commands and keeps file 1 the default.
  runcmd("set lat 0");
  std::string ctl = tmpdir() + "/column.ctl";
  write_text(ctl, "dset " + f + "\n");
  r = runcmd("xdfopen " + ctl);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("Data file " + f + " is open as file 2\n"), std::string::npos);
  EXPECT_EQ(gcmn.filecount, 2);
  EXPECT_EQ(gcmn.dfilenum, 1);
  EXPECT_EQ(gcmn.filehead->pforw->fnum, serial + 2);
  EXPECT_EQ(gcmn.vary[1], 0);

  // A failed open takes no serial number and leaves the list alone.
  r = runcmd("sdfopen " + tmpdir() + "/missing.nc");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(gcmn.filecount, 2);
  r = runcmd("sdfopen " + f);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("SDF file " + f + " is open as file 3\n"), std::string::npos);
  EXPECT_EQ(gcmn.filehead->pforw->pforw->fnum, serial + 3);
}

}  // namespace
