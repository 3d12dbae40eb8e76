// XDF descriptors and the xdfopen command.
#include <gtest/gtest.h>

#include "base/cmnstate.h"
#include "sdftest.h"

int omdxdf(const char* dname, datafile* pfi, std::string* templ, int* ntimes, std::string* dfname,
           sdfparms* p);

using namespace sdftest;

namespace {

// A file whose coordinates carry no units: only a descriptor can say what
// its dimensions are.
const char* kBare = R"(netcdf bare {
dimensions: x = 4 ; y = 3 ; z = 2 ; t = 2 ;
variables:
  float x(x) ; float y(y) ; float z(z) ; float t(t) ;
  float u_comp(t, z, y, x) ; u_comp:missing_value = -1.f ;
  float v_comp(t, y, x) ;
data:
  x = 0, 90, 180, 270 ; y = -10, 0, 10 ; z = 1000, 500 ; t = 0, 1 ;
  u_comp = 1,2,3,4, 5,6,7,8, 9,10,11,12, 13,14,15,16, 17,18,19,20, 21,22,23,24,
           25,26,27,28, 29,30,31,32, 33,34,35,36, 37,38,39,40, 41,42,43,44, 45,46,47,48 ;
  v_comp = -9, 2,3,4, 5,6,7,8, 9,10,11,12, 13,14,15,16, 17,18,19,20, 21,22,23,24 ;
}
)";

struct xdf : ::testing::Test {
  state st;
  std::string nc;
  void SetUp() override {
    if (!have_ncgen()) GTEST_SKIP();
    nc = make_nc("bare", kBare);
    ASSERT_FALSE(nc.empty());
    mfcmn.mfcal = -999;
  }
  void TearDown() override { mfcmn.mfcal = -999; }
  std::string ctl(const std::string& name, const std::string& text) {
    std::string path = tmpdir() + "/" + name + ".ctl";
    write_text(path, text);
    return path;
  }
  int open(const std::string& path, std::string* out) {
    testing::internal::CaptureStdout();
    datafile* pfi = nullptr;
    int rc = omxdfopen(path.c_str(), st.pcm, &pfi);
    rc = addopened(st, rc, pfi);
    *out = testing::internal::GetCapturedStdout();
    return rc;
  }
};

TEST_F(xdf, DescriptorNamesDimensionsAndVariables) {
  std::string d = ctl("full",
                      "* a comment\n"
                      "dset ^bare.nc\n"
                      "title Bare   file   \n"
                      "undef -1\n"
                      "xdef x 4 linear 0 90\n"
                      "ydef y 3 linear -10 10\n"
                      "zdef z 2 levels 1000 500\n"
                      "tdef t 2 linear 00z01jan2000 1dy\n"
                      "vars 2\n"
                      "u_comp => u 2 33,100 U wind\n"
                      "v_comp=>vv\n"
                      "endvars\n");
  std::string out;
  ASSERT_EQ(open(d, &out), 0) << out;
  EXPECT_NE(out.find("Scanning Descriptor File:  " + d + "\n"), std::string::npos);
  datafile* pfi = st.last();
  EXPECT_EQ(pfi->dnam, d);
  EXPECT_EQ(pfi->title, "Bare   file");
  EXPECT_EQ(pfi->wrap, 1);
  EXPECT_EQ(pfi->dnum[3], 2);
  EXPECT_EQ(pfi->grvals[3][0], 2000);
  EXPECT_EQ(pfi->grvals[3][6], 1440);
  ASSERT_EQ(pfi->vnum, 2);
  EXPECT_EQ(pfi->pvar1[0].abbrv, "u");
  EXPECT_EQ(pfi->pvar1[0].levels, 2);
  EXPECT_EQ(pfi->pvar1[0].units[0], 33);
  EXPECT_EQ(pfi->pvar1[0].units[1], 100);
  EXPECT_EQ(pfi->pvar1[0].varnm, "U wind");
  EXPECT_EQ(pfi->pvar1[1].abbrv, "vv");
  EXPECT_EQ(pfi->pvar1[1].levels, 0);
  // The descriptor's undef marks values of the file.
  int lo[4] = {1, 1, 2, 2}, hi[4] = {4, 3, 2, 2};
  request r(pfi, "u", 0, 1, lo, hi);
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.g.undef, -1.0f);
  EXPECT_EQ(r.at(0, 0), 37);
  int lo2[4] = {1, 1, 1, 1}, hi2[4] = {4, 3, 1, 1};
  request v(pfi, "vv", 0, 1, lo2, hi2);
  ASSERT_EQ(v.read(), 0);
  EXPECT_EQ(v.at(0, 0), -9);
  EXPECT_EQ(v.at(1, 0), 2);
}

TEST_F(xdf, NamesAloneLeaveTheAxesToTheFileVariables) {
  std::string d = ctl("names", "dset " + nc + "\nxdef x\nydef y\nzdef z\ntdef t\nundef -1\n"
                      "vars 1\nu_comp\nendvars\n");
  std::string out;
  // The time coordinate has no units, so the axis cannot be decoded.
  EXPECT_EQ(open(d, &out), 1);
  EXPECT_NE(out.find("Couldn't find units attribute for Time coordinate of SDF file.\n"), std::string::npos);
  EXPECT_NE(out.find("Data file " + nc + " was not successfully opened & parsed.\n"), std::string::npos);
  EXPECT_EQ(st.pcm->filecount, 0);
  d = ctl("names2", "dset " + nc + "\nxdef x\nydef y\nzdef z\ntdef t 2 linear 1jan2000 1mo\n"
          "vars 1\nu_comp\nendvars\n");
  ASSERT_EQ(open(d, &out), 0) << out;
  datafile* pfi = st.last();
  EXPECT_EQ(st.pcm->filecount, 1);  // the failed open left no trace
  EXPECT_EQ(pfi->dnum[0], 4);
  EXPECT_EQ(pfi->dnum[2], 2);
  EXPECT_EQ(pfi->grvals[3][5], 1);
  EXPECT_EQ(pfi->pvar1[0].abbrv, "u_comp");
  EXPECT_EQ(pfi->pvar1[0].levels, 2);
  EXPECT_FLOAT_EQ(pfi->undef, -1.0f);  // the variable's missing value
}

TEST_F(xdf, NodimAndWrapRules) {
  std::string d = ctl("nodim", "dset " + nc + "\nxdef x 5 linear 0 90\nydef y 3 linear -10 10\n"
                      "zdef z 2 levels 1000 500\ntdef %nodim% 5 linear 1jan2000 1dy\nvars 1\nv_comp\nendvars\n");
  std::string out;
  ASSERT_EQ(open(d, &out), 0) << out;
  EXPECT_NE(out.find("TDEF with %nodim% has timestep count != 1; resetting to 1.\n"), std::string::npos);
  datafile* pfi = st.last();
  EXPECT_EQ(pfi->dnum[3], 1);
  EXPECT_EQ(pfi->wrap, 0);  // 5 x 90 is not a globe
}

struct badcase {
  const char* text;
  const char* message;
};

TEST_F(xdf, ErrorsNameTheRecord) {
  const badcase cases[] = {
      {"title x\n", "XDFOpen Error:  missing DSET record \n"},
      {"dset %s\nfoo bar\n", "XDFOpen Error:  Unknown keyword in description file\n"},
      {"dset %s\noptions yrev bogus\n", "XDFopen Error:  Data file option invalid\n"},
      {"dset %s\nundef\n", "XDFOpen Error:  Missing undef value\n"},
      {"dset %s\nundef abc\n", "XDFOpen Error:  Invalid undef value\n"},
      {"dset %s\nxdef\n", "XDFopen Error:  Missing or invalid dimension name.\n"},
      {"dset %s\nxdef x four linear 0 1\n", "XDFopen Error:  Missing or invalid dimension size.\n"},
      {"dset %s\nxdef x 4 squiggly 0 1\n", " scaling type\n"},
      {"dset %s\ntdef t 2 linear 1jan2000 0dy\n", "XDFopen Error:  0 time increment in tdef\n"},
      {"dset %s\ntdef t 2 linear jan2000 1dy\n", " starting value\n"},
      {"dset %s\ntdef t 2 linear 1jan2000\n", " starting value\n"},
      {"dset %s\nvars 0\nendvars\n", " count\n"},
      {"dset %s\nvars 2\nu_comp\nendvars\n", "XDFOpen Error:  Unexpected ENDVARS record\n"},
      {"dset %s\nvars 1\nu_comp\n", "XDFOpen Error:  Missing ENDVARS statement.\n"},
      {"dset %s\nvars 1\nu_comp\nzdef z\n", "XDFOpen Error:  Looking for ENDVARS statement\n"},
      {"dset %s\nvars 2\nu_comp\n", "XDFOpen Error:  Unexpected EOF reading variables\n"},
      {"dset %s\nvars 1\nu_comp=>\nendvars\n", "XDFOpen Error:  Invalid variable record\n"},
      {"dset %s\nvars 1\nu_comp 2 1,2,3,4,5 five units\nendvars\n", "XDFOpen Error:  Invalid variable record\n"},
      {"dset %s\nvars 1\nu_comp 2 1\nendvars\n", "XDFOpen Error:  Invalid variable record\n"},
      {"dset %s\nxdef x 4 linear 0 90\nydef y 3 linear -10 10\nvars 1\nnothere=>n\nendvars\n", "nothere"},
      {"dset %s\noptions template\ntdef t\n", "XDFopen Error:  Missing or invalid dimension size.\n"},
      {"dset %s\nxdef nodim 4 linear 0 90\nydef y 3 linear -10 10\n", "Alleged X dimension (from XDEF) is not an SDF dimension.  Cannot continue.\n"},
  };
  int n = 0;
  for (const badcase& c : cases) {
    char text[512];
    std::snprintf(text, sizeof text, c.text, nc.c_str());
    std::string d = ctl("bad" + std::to_string(n++), text);
    std::string out;
    EXPECT_EQ(open(d, &out), 1) << c.text;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.text << "\n" << out;
    EXPECT_EQ(st.pcm->filecount, 0);
  }
  std::string out;
  EXPECT_EQ(open(tmpdir() + "/nosuch", &out), 1);
  EXPECT_EQ(out, "Scanning Descriptor File:  " + tmpdir() + "/nosuch\nXDFOpen Error:  Can't open description file\n");
}

TEST_F(xdf, ArrowNamesAreTrimmedAndRecordsMayBeLong) {
  std::string longtitle(2000, 'T');
  std::string d = ctl("arrow", "dset " + nc + "\ntitle " + longtitle + "\nxdef x 4 linear 0 90\n"
                      "ydef y 3 linear -10 10\ntdef t 2 linear 1jan2000 1dy\n"
                      "vars 1\n  u_comp   =>  uu\nendvars\n");
  // A record beginning with a blank is ignored; write it without one.
  d = ctl("arrow", "dset " + nc + "\ntitle " + longtitle + "\nxdef x 4 linear 0 90\n"
          "ydef y 3 linear -10 10\ntdef t 2 linear 1jan2000 1dy\n"
          "vars 1\nu_comp   =>  uu\nendvars\n");
  std::string out;
  ASSERT_EQ(open(d, &out), 0) << out;
  datafile* pfi = st.last();
  EXPECT_EQ(pfi->title.size(), 511u);
  EXPECT_EQ(pfi->pvar1[0].abbrv, "uu");
  int lo[4] = {1, 1, 1, 1}, hi[4] = {4, 3, 1, 1};
  request r(pfi, "uu", 0, 1, lo, hi);
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.at(2, 0), 3);
}

TEST_F(xdf, CalendarClashRefusesTheDescriptorButWarnsForSdfopen) {
  std::string d = ctl("cal", "dset " + nc + "\noptions 365_day_calendar\nxdef x 4 linear 0 90\n"
                      "ydef y 3 linear -10 10\ntdef t 2 linear 1jan2000 1dy\nvars 1\nv_comp\nendvars\n");
  std::string f = make_nc("calstd", R"(netcdf s {
dimensions: lon = 2 ; lat = 2 ; time = 2 ;
variables: float lon(lon) ; lon:units = "degrees_east" ; float lat(lat) ; lat:units = "degrees_north" ;
  double time(time) ; time:units = "days since 2000-1-1" ; float v(time, lat, lon) ;
data: lon = 0, 1 ; lat = 0, 1 ; time = 0, 1 ;
}
)");
  std::string out;
  // A standard file open first fixes the calendar; the 365-day descriptor
  // is then refused and leaves the calendar alone.
  ASSERT_EQ(open_quiet(st, f, &out), 0);
  EXPECT_EQ(mfcmn.mfcal, 0);
  EXPECT_EQ(open(d, &out), 1);
  EXPECT_NE(out.find("Attempt to change the global calendar...\n"
                     "The calendar is NOW STANDARD and you attempted to open a 365-day calendar file\n"),
            std::string::npos);
  EXPECT_EQ(mfcmn.mfcal, 0);
  EXPECT_EQ(st.pcm->filecount, 1);
}

TEST_F(xdf, CalendarIsFixedOnlyBySuccessfulOpens) {
  std::string bad = ctl("calbad", "dset " + nc + "\noptions 365_day_calendar\nxdef nodim 4 linear 0 90\n"
                        "ydef y 3 linear -10 10\ntdef t 2 linear 1jan2000 1dy\n");
  std::string good = ctl("calgood", "dset " + nc + "\noptions 365_day_calendar\nxdef x 4 linear 0 90\n"
                         "ydef y 3 linear -10 10\ntdef t 2 linear 1jan2000 1dy\nvars 1\nv_comp\nendvars\n");
  std::string out;
  EXPECT_EQ(open(bad, &out), 1);
  EXPECT_EQ(mfcmn.mfcal, -999);  // a failed open fixes nothing
  ASSERT_EQ(open(good, &out), 0) << out;
  EXPECT_EQ(mfcmn.mfcal, 1);
  // A standard-calendar netCDF file opened beside it only warns.
  std::string f = make_nc("calstd2", R"(netcdf s {
dimensions: lon = 2 ; lat = 2 ; time = 2 ;
variables: float lon(lon) ; lon:units = "degrees_east" ; float lat(lat) ; lat:units = "degrees_north" ;
  double time(time) ; time:units = "days since 2000-1-1" ; float v(time, lat, lon) ;
data: lon = 0, 1 ; lat = 0, 1 ; time = 0, 1 ;
}
)");
  ASSERT_EQ(open_quiet(st, f, &out), 0);
  EXPECT_NE(out.find("The calendar is NOW 365 DAYS and you attempted to open a standard calendar file\n"),
            std::string::npos);
  EXPECT_EQ(mfcmn.mfcal, 1);
  EXPECT_EQ(st.pcm->filecount, 2);
}

}  // namespace
