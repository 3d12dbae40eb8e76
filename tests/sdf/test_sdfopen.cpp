// sdfopen and grid reads: the data-file record built from a file, and
// values read back unpacked, with undefined markers, reversed latitudes
// and longitudes taken round the globe.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "sdftest.h"

using namespace sdftest;

namespace {

const char* kGlobe = R"(netcdf globe {
dimensions:
  lon = 4 ; lat = 3 ; lev = 2 ; time = UNLIMITED ;
variables:
  float lon(lon) ; lon:units = "degrees_east" ;
  float lat(lat) ; lat:units = "degrees_north" ;
  float lev(lev) ; lev:units = "millibar" ;
  double time(time) ; time:units = "hours since 1990-01-01 00:00:0.0" ;
  float Temperature_at_2_metres(time, lev, lat, lon) ; Temperature_at_2_metres:long_name = "Air temperature" ;
    Temperature_at_2_metres:missing_value = -999.f ;
  short pk(time, lat, lon) ; pk:scale_factor = 0.01f ; pk:add_offset = 273.15f ; pk:missing_value = -32767s ;
  short plain(time, lat, lon) ;
  byte b(time, lat, lon) ; b:_FillValue = -1b ;
  int i(time, lat, lon) ; i:scale_factor = 0.5 ;
  float dbl(time, lat, lon) ; dbl:scale_factor = 2.0f ;
  float one(time, lat, lon) ; one:scale_factor = 1.0f ; one:add_offset = 0.0f ;
  double d(time, lat, lon) ; d:_FillValue = 1e20 ;
  float Temperature_at_2_metresB(time, lat, lon) ;
  float small(time, lat, lon) ; small:missing_value = 2.f ;
  :title = "Test globe" ;
data:
  lon = 0, 90, 180, 270 ;
  lat = 45, 0, -45 ;
  lev = 1000, 500 ;
  time = 0, 6 ;
  Temperature_at_2_metres = 1,2,3,4, 5,6,7,8, 9,10,11,-999, 13,14,15,16, 17,18,19,20, 21,22,23,9.96921e36,
    101,102,103,104, 105,106,107,108, 109,110,111,112, 113,114,115,116, 117,118,119,120, 121,122,123,124 ;
  pk = 1000, 0, -32767, 1, 2,3,4,5, 6,7,8,9,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  plain = 1,2,3,4, 5,6,7,8, 9,10,11,12,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  b = 1,2,3,-1, 5,6,7,8, 9,10,11,12,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  i = 2,4,6,8, 10,12,14,16, 18,20,22,24,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  dbl = 1,2,3,4, 5,6,7,8, 9,10,11,12,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  one = 1,2,3,4, 5,6,7,8, 9,10,11,12,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  d = 1,2,3,4, 5,6,7,8, 9,10,11,1e20,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  Temperature_at_2_metresB = 1,2,3,4, 5,6,7,8, 9,10,11,12,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
  small = 1,2.000004,2.0001,4, 5,6,7,8, 9,10,11,12,  1,1,1,1, 1,1,1,1, 1,1,1,1 ;
}
)";

// A file holding v(lat, lon) with the given coordinates and values (CDL
// lists), opened into st; null after a failure, with the messages in *out.
datafile* open_lonlat(state& st, const std::string& name, const std::string& lons,
                      const std::string& lats, const std::string& vals, std::string* out) {
  auto count = [](const std::string& l) { return std::to_string(std::count(l.begin(), l.end(), ',') + 1); };
  std::string f = make_nc(name, "netcdf " + name + " {\ndimensions: lon = " + count(lons) +
                                    " ; lat = " + count(lats) +
                                    " ;\nvariables:\n"
                                    "  float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                                    "  float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                                    "  float v(lat, lon) ;\ndata:\n  lon = " + lons +
                                    " ; lat = " + lats + " ; v = " + vals + " ;\n}\n");
  if (f.empty() || open_quiet(st, f, out) != 0) return nullptr;
  return st.last();
}

struct globe : ::testing::Test {
  state st;
  datafile* pfi = nullptr;
  std::string out;
  void SetUp() override {
    if (!have_ncgen()) GTEST_SKIP() << "ncgen not installed";
    std::string f = make_nc("globe", kGlobe);
    ASSERT_FALSE(f.empty());
    ASSERT_EQ(open_quiet(st, f, &out), 0) << out;
    pfi = st.last();
    ASSERT_NE(pfi, nullptr);
  }
  // A lon-lat grid at level z and time t.
  request xy(const char* name, int z = 1, int t = 1, int xlo = 1, int xhi = 4) {
    int lo[4] = {xlo, 1, z, t}, hi[4] = {xhi, 3, z, t};
    return request(pfi, name, 0, 1, lo, hi);
  }
};

TEST_F(globe, OpenBuildsTheRecordAndSaysSo) {
  EXPECT_NE(out.find("Scanning self-describing file:  " + tmpdir() + "/globe.nc\n"), std::string::npos);
  EXPECT_NE(out.find("Found 10 data variables in SDF file.\n"), std::string::npos);
  EXPECT_NE(out.find("Found displayable variable temperature_at_ with 2 levels in SDF file.\n"),
            std::string::npos);
  EXPECT_NE(out.find("SDF:  The double precision values of the variable d\nwill be automatically "
                     "converted to single precision.\n"),
            std::string::npos);
  EXPECT_EQ(st.pcm->filecount, 1);
  EXPECT_EQ(st.pcm->dfile, pfi);
  EXPECT_EQ(pfi->fnum, 11);
  EXPECT_EQ(pfi->ncflg, 1);
  EXPECT_EQ(pfi->title, "Test globe");
  EXPECT_EQ(pfi->dnum[0], 4);
  EXPECT_EQ(pfi->dnum[1], 3);
  EXPECT_EQ(pfi->dnum[2], 2);
  EXPECT_EQ(pfi->dnum[3], 2);
  EXPECT_EQ(pfi->wrap, 1);
  EXPECT_EQ(pfi->yrflg, 1);
  EXPECT_EQ(pfi->linear[0], 1);
  EXPECT_EQ(pfi->linear[2], 0);
  // Latitudes come out ascending.
  EXPECT_FLOAT_EQ(pfi->gr2ab[1](pfi->grvals[1], 1.0), -45.0f);
  EXPECT_FLOAT_EQ(pfi->gr2ab[1](pfi->grvals[1], 3.0), 45.0f);
  EXPECT_FLOAT_EQ(pfi->gr2ab[2](pfi->grvals[2], 2.0), 500.0f);
  EXPECT_EQ(pfi->grvals[3][0], 1990);
  EXPECT_EQ(pfi->grvals[3][6], 360);
  // The data set's undef is the first data variable's missing value.
  EXPECT_FLOAT_EQ(pfi->undef, -999.0f);
  ASSERT_EQ(pfi->vnum, 10);
  EXPECT_EQ(pfi->pvar1[0].abbrv, "temperature_at_");
  EXPECT_EQ(pfi->pvar1[0].varnm, "Air temperature");
  EXPECT_EQ(pfi->pvar1[0].levels, 2);
  EXPECT_EQ(pfi->pvar1[1].levels, 0);
  EXPECT_EQ(pfi->ivnum, 9);
  EXPECT_EQ(pfi->lvnum, 1);
}

TEST_F(globe, NamesCutTo15CharactersStayUnique) {
  EXPECT_EQ(pfi->pvar1[8].abbrv, "temperature_at1");
  EXPECT_NE(out.find("temperature_at1"), std::string::npos);
  request r = xy("temperature_at1");
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.at(0, 0), 9);  // southernmost row first
}

TEST_F(globe, FloatValuesWithMarkersAndReversedRows) {
  request r = xy("Temperature_At_");  // names match without case
  ASSERT_EQ(r.read(), 0);
  EXPECT_FLOAT_EQ(r.g.undef, -999.0f);
  // Row 1 is the southernmost file row (45S: 9 10 11 -999).
  EXPECT_EQ(r.at(0, 0), 9);
  EXPECT_EQ(r.at(3, 0), -999);
  EXPECT_EQ(r.at(0, 2), 1);
  request r2 = xy("temperature_at_", 2);
  ASSERT_EQ(r2.read(), 0);
  // missing_value present: the float default fill is undefined as well.
  EXPECT_EQ(r2.at(3, 0), -999);
  EXPECT_EQ(r2.at(0, 0), 21);
  // Small markers are matched within a tolerance.
  request sm = xy("small");
  ASSERT_EQ(sm.read(), 0);
  EXPECT_EQ(sm.at(1, 2), 2.0f);
  EXPECT_EQ(sm.g.undef, 2.0f);
  EXPECT_NEAR(sm.at(2, 2), 2.0001f, 1e-6);
  EXPECT_EQ(sm.at(3, 2), 4);
  request r3 = xy("temperature_at_", 1, 2);
  ASSERT_EQ(r3.read(), 0);
  EXPECT_EQ(r3.at(0, 2), 101);
}

TEST_F(globe, PackedAndIntegerVariablesUnpack) {
  request p = xy("pk");
  ASSERT_EQ(p.read(), 0);
  EXPECT_NEAR(p.at(0, 2), 283.15f, 1e-3);
  EXPECT_NEAR(p.at(1, 2), 273.15f, 1e-3);
  EXPECT_EQ(p.at(2, 2), p.g.undef);
  EXPECT_EQ(p.g.undef, -32767.0f);
  request s = xy("plain");  // a plain short: scale 1, offset 0
  ASSERT_EQ(s.read(), 0);
  EXPECT_EQ(s.at(0, 2), 1);
  EXPECT_EQ(s.at(3, 0), 12);
  request b = xy("b");
  ASSERT_EQ(b.read(), 0);
  EXPECT_EQ(b.at(0, 2), 1);
  EXPECT_EQ(b.at(3, 2), b.g.undef);
  EXPECT_EQ(b.g.undef, -1.0f);
  request i = xy("i");
  ASSERT_EQ(i.read(), 0);
  EXPECT_EQ(i.at(0, 2), 1.0f);
  EXPECT_EQ(i.at(3, 0), 12.0f);
  request d = xy("d");
  ASSERT_EQ(d.read(), 0);
  EXPECT_EQ(d.at(3, 0), 1e20f);
  EXPECT_EQ(d.g.undef, 1e20f);
  EXPECT_EQ(d.at(2, 0), 11);
}

// Packed floats are unpacked like packed integers (the opener lists them,
// so they must read); the identity packing reads plainly.
TEST_F(globe, ScaledFloatsAreUnpackedIdentityReadsPlainly) {
  request r = xy("dbl");
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.at(0, 0), 18.0f);  // southernmost file value 9, scaled by 2
  EXPECT_EQ(r.at(3, 2), 8.0f);
  request o = xy("one");
  EXPECT_EQ(o.read(), 0);
  EXPECT_EQ(o.at(1, 2), 2);
}

TEST_F(globe, UnknownVariable) {
  request r = xy("nosuch");
  std::string msg;
  EXPECT_EQ(r.read(&msg), 2);
  EXPECT_EQ(msg, "Couldn't find variable nosuch in SDF file.\n");
}

TEST_F(globe, LongitudesWrapRoundTheGlobe) {
  request r = xy("plain", 1, 1, -3, 8);  // 12 columns over a 4-column globe
  ASSERT_EQ(r.read(), 0);
  // Southern row of the file: 9 10 11 12, repeated with period 4 (index -3
  // is column 1, index 0 column 4).
  const float want[12] = {9, 10, 11, 12, 9, 10, 11, 12, 9, 10, 11, 12};
  for (int i = 0; i < 12; i++) EXPECT_EQ(r.at(i, 0), want[i]) << i;
  // A single longitude past the edge is taken round too.
  int lo[4] = {6, 1, 1, 1}, hi[4] = {6, 3, 1, 1};
  request c(pfi, "plain", 1, -1, lo, hi);
  ASSERT_EQ(c.read(), 0);
  EXPECT_EQ(c.at(0), 10);
  EXPECT_EQ(c.at(2), 2);
}

TEST_F(globe, RequestsOutsideTheFileAreUndefined) {
  // A level beyond the file, fixed: undefined, not the edge level.
  request z = xy("temperature_at_", 5);
  ASSERT_EQ(z.read(), 0);
  for (float v : z.vals) EXPECT_EQ(v, z.g.undef);
  // A time beyond the file likewise.
  request t = xy("temperature_at_", 1, 9);
  ASSERT_EQ(t.read(), 0);
  for (float v : t.vals) EXPECT_EQ(v, t.g.undef);
  // A latitude range partly beyond the file is clipped.
  int lo[4] = {1, 0, 1, 1}, hi[4] = {1, 4, 1, 1};
  request y(pfi, "plain", 1, -1, lo, hi);
  ASSERT_EQ(y.read(), 0);
  EXPECT_EQ(y.at(0), y.g.undef);
  EXPECT_EQ(y.at(1), 9);
  EXPECT_EQ(y.at(3), 1);
  EXPECT_EQ(y.at(4), y.g.undef);
  // A variable without levels ignores the level asked for.
  request s = xy("plain", 2);
  ASSERT_EQ(s.read(), 0);
  EXPECT_EQ(s.at(0, 2), 1);
}

TEST_F(globe, TimeSeriesAndLevelProfiles) {
  int lo[4] = {2, 3, 1, 1}, hi[4] = {2, 3, 2, 2};
  request zt(pfi, "temperature_at_", 2, 3, lo, hi);
  ASSERT_EQ(zt.read(), 0);
  EXPECT_EQ(zt.at(0, 0), 2);
  EXPECT_EQ(zt.at(1, 0), 14);
  EXPECT_EQ(zt.at(0, 1), 102);
  EXPECT_EQ(zt.at(1, 1), 114);
}

TEST(sdfopen, EastwardStepsBeyond180KeepTheirOrder) {
  if (!have_ncgen()) GTEST_SKIP();
  // 0 and 270 are one eastward step of 270: LON 0 to 270 as stored, not a
  // westward axis from 270.
  state st;
  std::string out;
  datafile* pfi = open_lonlat(st, "east270", "0, 270", "0", "10, 20", &out);
  ASSERT_NE(pfi, nullptr) << out;
  EXPECT_EQ(pfi->xrflg, 0);
  EXPECT_EQ(pfi->linear[0], 1);
  EXPECT_FLOAT_EQ(pfi->grvals[0][0], 270.0f);
  EXPECT_FLOAT_EQ(pfi->grvals[0][0] + pfi->grvals[0][1], 0.0f);
  int lo[4] = {1, 1, 1, 1}, hi[4] = {2, 1, 1, 1};
  request r(pfi, "v", 0, -1, lo, hi);
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.at(0), 10);
  EXPECT_EQ(r.at(1), 20);
}

TEST(sdfopen, ARowOnePeriodWestReadsOnlyItsOwnPoints) {
  if (!have_ncgen()) GTEST_SKIP();
  // lon 0 to 315 by 45 round the globe, one latitude: -360 to -270 is the
  // grid's points -7 to -5, the file's first three.  The slab read is the
  // whole row of 8, so it cannot go straight into the grid of 3.
  state st;
  std::string out;
  datafile* pfi = open_lonlat(st, "row8", "0, 45, 90, 135, 180, 225, 270, 315", "0",
                              "0, 1, 2, 3, 4, 5, 6, 7", &out);
  ASSERT_NE(pfi, nullptr) << out;
  ASSERT_EQ(pfi->wrap, 1);
  int lo[4] = {-7, 1, 1, 1}, hi[4] = {-5, 1, 1, 1};
  request r(pfi, "v", 0, -1, lo, hi);
  r.vals.assign(11, 12345.0f);  // 8 past the grid's 3, to see nothing lands there
  r.g.grid = r.vals.data();
  ASSERT_EQ(r.read(&out), 0) << out;
  EXPECT_EQ(r.vals, (std::vector<float>{0, 1, 2, 12345, 12345, 12345, 12345, 12345, 12345, 12345,
                                        12345}));
  // The reader itself refuses a slab larger than the room it is given.
  var_info* v = find_var(pfi->sdf, "v");
  ASSERT_NE(v, nullptr);
  std::vector<float> room(11, 12345.0f);
  EXPECT_EQ(read_netcdf_data(pfi->sdf->ncid, v->varid, {0, 0}, {1, 8}, room.data(), 3 * sizeof(float)), 0);
  EXPECT_EQ(room, std::vector<float>(11, 12345.0f));
  EXPECT_EQ(read_netcdf_data(pfi->sdf->ncid, v->varid, {0, 0}, {1, 8}, room.data(), 8 * sizeof(float)), 1);
  EXPECT_EQ(room[7], 7.0f);
  EXPECT_EQ(room[8], 12345.0f);
}

TEST(sdfopen, WestwardLongitudesAreReadInReverse) {
  if (!have_ncgen()) GTEST_SKIP();
  // 270, 180, 90, 0: taken as they stand, each step would be one of 270
  // round the globe.  Read in reverse, the axis is 0 by 90 and wraps.
  state st;
  std::string out;
  datafile* pfi = open_lonlat(st, "west", "270, 180, 90, 0", "-10, 10",
                              "270, 180, 90, 0, 1270, 1180, 1090, 1000", &out);
  ASSERT_NE(pfi, nullptr) << out;
  EXPECT_EQ(pfi->xrflg, 1);
  EXPECT_EQ(pfi->wrap, 1);
  EXPECT_EQ(pfi->linear[0], 1);
  EXPECT_FLOAT_EQ(pfi->grvals[0][0], 90.0f);
  EXPECT_FLOAT_EQ(pfi->grvals[0][0] + pfi->grvals[0][1], 0.0f);
  // Grid index i holds longitude 90 (i - 1): the value stored for it.
  int lo[4] = {1, 1, 1, 1}, hi[4] = {4, 2, 1, 1};
  request r(pfi, "v", 0, 1, lo, hi);
  ASSERT_EQ(r.read(), 0);
  const float want[8] = {0, 90, 180, 270, 1000, 1090, 1180, 1270};
  for (int k = 0; k < 8; k++) EXPECT_EQ(r.vals[static_cast<size_t>(k)], want[k]) << k;
  // Round the globe, and a single column past the edge.
  int wlo[4] = {-1, 1, 1, 1}, whi[4] = {6, 1, 1, 1};
  request w(pfi, "v", 0, -1, wlo, whi);
  ASSERT_EQ(w.read(), 0);
  const float wwant[8] = {180, 270, 0, 90, 180, 270, 0, 90};
  for (int k = 0; k < 8; k++) EXPECT_EQ(w.at(k), wwant[k]) << k;
  int clo[4] = {7, 1, 1, 1}, chi[4] = {7, 2, 1, 1};
  request c(pfi, "v", 1, -1, clo, chi);
  ASSERT_EQ(c.read(), 0);
  EXPECT_EQ(c.at(0), 180);
  EXPECT_EQ(c.at(1), 1180);
  // Irregular westward longitudes make a rising level list.
  pfi = open_lonlat(st, "westlev", "30, 20, 5", "-10, 10", "30, 20, 5, 31, 21, 6", &out);
  ASSERT_NE(pfi, nullptr) << out;
  EXPECT_EQ(pfi->linear[0], 0);
  EXPECT_EQ(pfi->wrap, 0);
  EXPECT_FLOAT_EQ(pfi->grvals[0][1], 5.0f);
  EXPECT_FLOAT_EQ(pfi->grvals[0][3], 30.0f);
  int llo[4] = {1, 2, 1, 1}, lhi[4] = {3, 2, 1, 1};
  request l(pfi, "v", 0, -1, llo, lhi);
  ASSERT_EQ(l.read(), 0);
  EXPECT_EQ(l.at(0), 6);
  EXPECT_EQ(l.at(2), 31);
}

TEST(sdfopen, DimensionsLongerThanAnAxisAreRefused) {
  if (!have_ncgen()) GTEST_SKIP();
  // 2^31 + 2 times: as an int the axis would have a negative length.
  std::string f = make_nc("longtime", R"(netcdf longtime {
dimensions: lon = 2 ; lat = 1 ; time = 2147483650 ;
variables:
  float lon(lon) ; lon:units = "degrees_east" ;
  float lat(lat) ; lat:units = "degrees_north" ;
  double time(time) ; time:units = "days since 2000-01-01" ;
  float v(time, lat, lon) ;
data: lon = 0, 10 ; lat = 0 ;
}
)", "nc4");
  ASSERT_FALSE(f.empty());
  state st;
  std::string out;
  EXPECT_EQ(open_quiet(st, f, &out), 1);
  EXPECT_NE(out.find("SDF file's time dimension is longer than a data set can hold.\n"), std::string::npos) << out;
  EXPECT_EQ(st.pcm->filecount, 0);
  // 2 * 10^9 longitudes in doubles, 16 GB: more than any grid may take;
  // 10^8 in floats, 400 MB that no file of a few kilobytes holds (they
  // were never written): refused before anything is allocated for them.
  for (const char* lon : {"double lon(lon) ; lon = 2000000000", "float lon(lon) ; lon = 100000000"}) {
    const std::string decl(lon, std::strchr(lon, ';') + 1), dim(std::strchr(lon, ';') + 2);
    std::string g = make_nc("longlon", "netcdf longlon {\ndimensions: " + dim + " ; lat = 1 ;\nvariables:\n  " + decl +
                                           " lon:units = \"degrees_east\" ;\n  float lat(lat) ; lat:units = "
                                           "\"degrees_north\" ;\n  float v(lat, lon) ;\ndata: lat = 0 ;\n}\n",
                            "nc4");
    ASSERT_FALSE(g.empty());
    reset_peak();
    const long before = own_kb("VmRSS");
    EXPECT_EQ(open_quiet(st, g, &out), 1) << lon;
    EXPECT_NE(out.find("Failure checking X coordinate of SDF file.\n"), std::string::npos) << out;
    EXPECT_LT(own_kb("VmHWM") - before, 64 * 1024) << lon;
  }
}

TEST(sdfaxes, WestwardLongitudesAreTheShortWayDown) {
  EXPECT_TRUE(falling_longitudes({357.5, 355, 352.5}));
  EXPECT_TRUE(falling_longitudes({10, 5, 0, 355}));   // westward across the date line
  EXPECT_TRUE(falling_longitudes({0, 357.5, 355}));
  EXPECT_FALSE(falling_longitudes({350, 355, 0, 5}));  // eastward across it
  EXPECT_FALSE(falling_longitudes({355, 0}));
  EXPECT_FALSE(falling_longitudes({0, 270}));          // eastward by more than 180
  EXPECT_FALSE(falling_longitudes({0, 355}));
  EXPECT_FALSE(falling_longitudes({-170, 20}));
  EXPECT_FALSE(falling_longitudes({10, 5, 5}));        // a repeated value: neither
  EXPECT_FALSE(falling_longitudes({10, 5, 20}));
  EXPECT_FALSE(falling_longitudes({10, std::nan(""), 0}));
  EXPECT_FALSE(falling_longitudes({7}));
}

// Whole float grids are read straight into the grid's storage and made
// into grid values there; rows turned round for latitudes stored north to
// south (an even count, so no row stays put), every point checked, and a
// window of the same data, which goes through a separate copy, agrees.
TEST(sdfopen, WholeFloatGridsReadInPlace) {
  if (!have_ncgen()) GTEST_SKIP();
  // netCDF-4, and classic: its rows come straight from the file.
  for (const char* kind : {"nc4", ""})
  for (bool north_first : {true, false}) {
    std::string lats = north_first ? "60, 20, -20, -60" : "-60, -20, 20, 60";
    std::string cdl =
        "netcdf w {\ndimensions: lon = 3 ; lat = 4 ; time = UNLIMITED ;\nvariables:\n"
        "  float lon(lon) ; lon:units = \"degrees_east\" ;\n"
        "  float lat(lat) ; lat:units = \"degrees_north\" ;\n"
        "  double time(time) ; time:units = \"hours since 1990-01-01 00:00:0.0\" ;\n"
        "  float v(time, lat, lon) ; v:_FillValue = -5.f ; v:_ChunkSizes = 1, 4, 3 ;\n"
        "data:\n  lon = 0, 120, 240 ;\n  lat = " + lats + " ;\n  time = 0, 6 ;\n"
        "  v = 1,2,3, 4,NaNf,6, 7,8,-5, 10,11,12,  21,22,23, 24,25,26, 27,28,29, 30,31,32 ;\n}\n";
    state st;
    std::string f = make_nc(std::string(north_first ? "inplace_n" : "inplace_s") + kind, cdl, kind);
    ASSERT_FALSE(f.empty());
    ASSERT_EQ(open_quiet(st, f), 0);
    datafile* pfi = st.last();
    ASSERT_EQ(pfi->yrflg, north_first ? 1 : 0);
    const float u = -5;
    // File rows in file order; the grid has the southernmost row first.
    const float rows[2][4][3] = {{{1, 2, 3}, {4, u, 6}, {7, 8, u}, {10, 11, 12}},
                                 {{21, 22, 23}, {24, 25, 26}, {27, 28, 29}, {30, 31, 32}}};
    for (int t = 1; t <= 2; t++) {
      int lo[4] = {1, 1, 1, t}, hi[4] = {3, 4, 1, t};
      request r(pfi, "v", 0, 1, lo, hi);
      ASSERT_EQ(r.read(), 0);
      EXPECT_EQ(r.g.undef, u);
      int wlo[4] = {2, 1, 1, t}, whi[4] = {3, 4, 1, t};
      request w(pfi, "v", 0, 1, wlo, whi);
      ASSERT_EQ(w.read(), 0);
      for (int j = 0; j < 4; j++)
        for (int i = 0; i < 3; i++) {
          float want = rows[t - 1][north_first ? 3 - j : j][i];
          EXPECT_EQ(r.at(i, j), want) << t << " " << i << "," << j << (north_first ? " N" : " S");
          if (i > 0) {
            EXPECT_EQ(w.at(i - 1, j), want) << t << " window " << i << "," << j;
          }
        }
    }
  }
}

// Rows taken round the globe are unpacked piece by piece straight from the
// library's buffer, for packed integers as for floats with a marker.
TEST(sdfopen, RowsRoundTheGlobeUnpackPieceByPiece) {
  if (!have_ncgen()) GTEST_SKIP();
  std::string lon, f, p;
  for (int i = 0; i < 20; i++) lon += (i ? ", " : "") + std::to_string(18 * i);
  for (int j = 0; j < 2; j++)
    for (int i = 0; i < 20; i++) {
      int v = 100 * j + i;
      f += (f.empty() ? "" : ", ") + std::string(v == 105 ? "-1" : std::to_string(v));
      p += (p.empty() ? "" : ", ") + std::string(v == 107 ? "-32767" : std::to_string(2 * v));
    }
  std::string cdl = "netcdf r {\ndimensions: lon = 20 ; lat = 2 ;\nvariables:\n"
                    "  float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                    "  float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                    "  float f(lat, lon) ; f:missing_value = -1.f ;\n"
                    "  short p(lat, lon) ; p:scale_factor = 0.5f ; p:missing_value = -32767s ;\n"
                    "data:\n  lon = " + lon + " ;\n  lat = -10, 10 ;\n  f = " + f + " ;\n  p = " + p +
                    " ;\n}\n";
  state st;
  std::string file = make_nc("roundglobe", cdl);
  ASSERT_FALSE(file.empty());
  ASSERT_EQ(open_quiet(st, file), 0);
  datafile* pfi = st.last();
  ASSERT_EQ(pfi->wrap, 1);
  for (const char* var : {"f", "p"})
    for (int xlo : {1, -19}) {
      int xhi = xlo == 1 ? 21 : 20;
      int lo[4] = {xlo, 1, 1, 1}, hi[4] = {xhi, 2, 1, 1};
      request r(pfi, var, 0, 1, lo, hi);
      ASSERT_EQ(r.read(), 0);
      for (int j = 0; j < 2; j++)
        for (int x = xlo; x <= xhi; x++) {
          int v = 100 * j + ((x - 1) % 20 + 20) % 20;
          bool undef = var[0] == 'f' ? v == 105 : v == 107;
          EXPECT_EQ(r.at(x - xlo, j), undef ? r.g.undef : static_cast<float>(v))
              << var << " x=" << x << " j=" << j;
        }
    }
}

TEST(sdfopen, ScaledIntegersAreUndefinedBeyondSinglePrecisionOrAtTheirMarker) {
  if (!have_ncgen()) GTEST_SKIP();
  // Unpacked, these would be infinities and display as data; a stored 0,
  // nearest to the packed undef under a large scale, stays data.
  std::string cdl = "netcdf s {\ndimensions: lon = 4 ; lat = 2 ;\nvariables:\n"
                    "  float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                    "  float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                    "  int big(lat, lon) ; big:scale_factor = 1e300 ; big:missing_value = -999 ;\n"
                    "  short near(lat, lon) ; near:scale_factor = 1e38 ; near:missing_value = -999s ;\n"
                    "  byte off(lat, lon) ; off:add_offset = -1e39 ;\n"
                    "  short wide(lat, lon) ; wide:scale_factor = 1e5 ;\n"
                    "data:\n  lon = 0, 90, 180, 270 ;\n  lat = -10, 10 ;\n"
                    "  big = 0, 1, -1, 0, 2, 0, 0, 0 ;\n"
                    "  near = 1, 3, -3, 4, 0, -999, 0, 2 ;\n"
                    "  off = 1, 2, 3, 4, 5, 6, 7, 8 ;\n"
                    "  wide = 0, 5, -3, 100, -32767, 1, 0, 2 ;\n}\n";
  state st;
  std::string file = make_nc("scaledbig", cdl), out;
  ASSERT_FALSE(file.empty());
  ASSERT_EQ(open_quiet(st, file, &out), 0) << out;
  datafile* pfi = st.last();
  int lo[4] = {1, 1, 1, 1}, hi[4] = {4, 2, 1, 1};
  request big(pfi, "big", 0, 1, lo, hi);
  ASSERT_EQ(big.read(), 0);
  const float u = big.g.undef;
  EXPECT_EQ(big.vals, (std::vector<float>{0, u, u, 0, u, 0, 0, 0}));
  request near(pfi, "near", 0, 1, lo, hi);
  ASSERT_EQ(near.read(), 0);
  const float nu = near.g.undef;
  EXPECT_EQ(near.vals, (std::vector<float>{1e38f, 3e38f, -3e38f, nu, 0, nu, 0, 2e38f}));
  request off(pfi, "off", 0, 1, lo, hi);
  ASSERT_EQ(off.read(), 0);
  EXPECT_EQ(off.vals, std::vector<float>(8, off.g.undef));
  request wide(pfi, "wide", 0, 1, lo, hi);
  ASSERT_EQ(wide.read(), 0);
  EXPECT_EQ(wide.vals, (std::vector<float>{0, 5e5f, -3e5f, 1e7f, wide.g.undef, 1e5f, 0, 2e5f}));
}

TEST(sdfopen, SecondFileRunsNoDefaultsAndFailuresCloseTheFile) {
  if (!have_ncgen()) GTEST_SKIP();
  state st;
  std::string f = make_nc("globe2", kGlobe);
  std::string coordsonly = make_nc("coords", R"(netcdf c {
dimensions: lon = 2 ; lat = 2 ;
variables: float lon(lon) ; lon:units = "degrees_east" ; float lat(lat) ; lat:units = "degrees_north" ;
data: lon = 0, 1 ; lat = 0, 1 ;
}
)");
  std::string noy = make_nc("noy", R"(netcdf n {
dimensions: lon = 2 ;
variables: float lon(lon) ; lon:units = "degrees_east" ; float v(lon, lon) ;
data: lon = 0, 1 ;
}
)");
  std::string out;
  // The first open starts the helper that tries each file first; its
  // socket stays open for the run.
  EXPECT_EQ(open_quiet(st, coordsonly, &out), 1);
  int before = open_fds();
  EXPECT_EQ(open_quiet(st, coordsonly, &out), 1);
  EXPECT_NE(out.find("SDF file doesn't appear to have any non-coordinate variables.  Yikes!\n"),
            std::string::npos);
  EXPECT_EQ(open_quiet(st, noy, &out), 1);
  EXPECT_NE(out.find("SDF file has no discernable Y coordinate.\n"), std::string::npos);
  EXPECT_EQ(open_fds(), before);  // nothing left open
  EXPECT_EQ(st.pcm->filecount, 0);
  EXPECT_EQ(st.pcm->filehead, nullptr);
  ASSERT_EQ(open_quiet(st, f), 0);
  ASSERT_EQ(open_quiet(st, f, &out), 0);
  EXPECT_EQ(st.pcm->dfilenum, 1);
  EXPECT_EQ(st.last()->fnum, 12);
}

TEST(sdfopen, DataSetUndefFromTheFirstVariable) {
  if (!have_ncgen()) GTEST_SKIP();
  const char* head = "netcdf u {\ndimensions: lon = 2 ; lat = 2 ;\nvariables:\n"
                     "  float lon(lon) ; lon:units = \"degrees_east\" ;\n"
                     "  float lat(lat) ; lat:units = \"degrees_north\" ;\n";
  struct {
    const char* var;
    float undef;
  } cases[] = {
      {"short s(lat, lon) ; s:missing_value = -32767s ;", -9.96921e36f},
      {"short s(lat, lon) ;", 9.96921e36f},
      {"float s(lat, lon) ; s:_FillValue = -1.f ;", -1.0f},
      {"float s(lat, lon) ; s:missing_value = -99. ;", -99.0f},
  };
  int n = 0;
  for (auto& c : cases) {
    state st;
    std::string f = make_nc("undef" + std::to_string(n++), std::string(head) + "  " + c.var + "\n}\n");
    ASSERT_EQ(open_quiet(st, f), 0) << c.var;
    datafile* pfi = st.last();
    EXPECT_EQ(pfi->undef, c.undef) << c.var;
    EXPECT_LT(pfi->ulow, pfi->undef);
    EXPECT_GT(pfi->uhi, pfi->undef);
  }
}

TEST(sdfopen, TemplateArgumentsAreChecked) {
  if (!have_ncgen()) GTEST_SKIP();
  state st;
  std::string f = make_nc("globe3", kGlobe);
  std::string out;
  ASSERT_EQ(open_quiet(st, f + " a%y4.nc", &out), 0);
  EXPECT_NE(out.find("Warning:  malformed optional args to SDFOPEN command, ignoring.\n"), std::string::npos);
  EXPECT_EQ(st.last()->tmplat, 0);
  ASSERT_EQ(open_quiet(st, f + " a%y4.nc 0", &out), 0);
  EXPECT_NE(out.find("Warning:  bad ntsteps arg to SDFOPEN command, ignoring templating info.\n"),
            std::string::npos);
  ASSERT_EQ(open_quiet(st, f + " a%y4.nc 24x", &out), 0);
  EXPECT_NE(out.find("Warning:  bad ntsteps arg"), std::string::npos);
  testing::internal::CaptureStdout();
  datafile* pfi = nullptr;
  EXPECT_EQ(omsdfopen("", st.pcm, &pfi), 1);
  EXPECT_EQ(pfi, nullptr);
  testing::internal::GetCapturedStdout();
}

}  // namespace

// Grids of classic files larger than one block of rows, read in blocks that
// are unpacked one by one: every row lands in its place, markers in every
// block become undefined, and a box starting inside the variable keeps its
// offset across blocks.  Rows wider than a block are read one at a time.
TEST(sdfopen, GridsReadInBlocksOfRowsKeepEveryRow) {
  struct shape {
    size_t nx, ny;
    size_t marked[3][2];  // in the first block, in the last row of it, and in the second
  } shapes[] = {{300, 250, {{3, 0}, {299, 217}, {5, 240}}}, {70000, 3, {{3, 0}, {69999, 0}, {5, 2}}}};
  // Latitudes northward, and southward: those rows are turned round.
  for (bool south : {false, true})
  for (const shape& sh : shapes) {
    const size_t nx = sh.nx, ny = sh.ny, nt = 2;
    const std::string f = tmpdir() + "/blocks.nc";
    int nc = -1, ids[3];
    ASSERT_EQ(nc_create(f.c_str(), NC_CLOBBER, &nc), NC_NOERR);
    const int vv = def_lonlattime_v(nc, nx, ny, nt, ids);
    const int vx = ids[0], vy = ids[1], vt = ids[2];
    const float fill = -7.5f;
    nc_put_att_float(nc, vv, "_FillValue", NC_FLOAT, 1, &fill);
    ASSERT_EQ(nc_enddef(nc), NC_NOERR);
    std::vector<float> lon(nx), lat(ny), v(nx * ny * nt);
    for (size_t i = 0; i < nx; i++) lon[i] = 360.0f / 301 * static_cast<float>(i);
    for (size_t j = 0; j < ny; j++) lat[j] = (south ? -1.0f : 1.0f) * (-89.5f + 0.7f * static_cast<float>(j));
    const double times[2] = {0, 6};
    auto value = [&](size_t i, size_t j, size_t t) { return static_cast<float>(100000 * t + nx * j + i); };
    for (size_t t = 0; t < nt; t++)
      for (size_t j = 0; j < ny; j++)
        for (size_t i = 0; i < nx; i++) v[(t * ny + j) * nx + i] = value(i, j, t);
    for (const auto& m : sh.marked) v[(1 * ny + m[1]) * nx + m[0]] = fill;
    ASSERT_EQ(nc_put_var_float(nc, vx, lon.data()), NC_NOERR);
    ASSERT_EQ(nc_put_var_float(nc, vy, lat.data()), NC_NOERR);
    ASSERT_EQ(nc_put_var_double(nc, vt, times), NC_NOERR);
    ASSERT_EQ(nc_put_var_float(nc, vv, v.data()), NC_NOERR);
    ASSERT_EQ(nc_close(nc), NC_NOERR);
    state st;
    ASSERT_EQ(open_quiet(st, f), 0);
    datafile* pfi = st.last();
    for (int y0 : {1, 2}) {
      int lo[4] = {1, y0, 1, 2}, hi[4] = {static_cast<int>(nx), static_cast<int>(ny), 1, 2};
      request r(pfi, "v", 0, 1, lo, hi);
      ASSERT_EQ(r.read(), 0);
      size_t wrong = 0;
      for (size_t j = static_cast<size_t>(y0 - 1); j < ny; j++)
        for (size_t i = 0; i < nx; i++) {
          const size_t fj = south ? ny - 1 - j : j;  // the file's row
          bool m = false;
          for (const auto& k : sh.marked) m = m || (k[0] == i && k[1] == fj);
          const float want = m ? fill : value(i, fj, 1);
          if (r.at(static_cast<int>(i), static_cast<int>(j) - (y0 - 1)) != want) wrong++;
        }
      EXPECT_EQ(wrong, 0u) << nx << " " << y0 << (south ? " south" : "");
    }
  }
}

// A classic file lacking bytes its header promises (cut short, or counting
// more records than were written) fails the reads of what it lacks, by the
// float reads made here and the library's alike, instead of giving zeros;
// so does a netCDF-4 file cut short once opened.
TEST(sdfopen, SlabsAClassicFileDoesNotHoldWholeAreReadErrors) {
  if (!have_ncgen()) GTEST_SKIP();
  // A record: time (8 bytes), v (16), s (8).
  const std::string cdl = "netcdf w {\ndimensions: lon = 2 ; lat = 1 ; time = UNLIMITED ;\n"
      "variables: float lon(lon) ; lon:units = \"degrees_east\" ; float lat(lat) ; lat:units = \"degrees_north\" ;\n"
      "double time(time) ; time:units = \"hours since 2000-01-01\" ; float v(time, lat, lon) ; short s(time, lat, lon) ;\n"
      "data: lon = 0, 10 ; lat = 0 ; time = 0, 6, 12 ; v = 1,2, 21,22, 281,282 ; s = 1,2, 21,22, 281,282 ;\n}\n";
  const std::string made = make_nc("whole", cdl);
  std::ifstream in(made, std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(whole.size(), 8u);
  struct { size_t cut; char numrecs; int t; const char* var; float first; } rows[] = {  // first 0: refused
      {6, 3, 2, "v", 21}, {6, 3, 2, "s", 21}, {6, 3, 3, "v", 0}, {6, 3, 3, "s", 0},
      {0, 4, 3, "s", 281}, {0, 4, 4, "v", 0}, {0, 4, 4, "s", 0}};
  for (const auto& r : rows) {
    std::string bytes = whole.substr(0, whole.size() - r.cut);
    bytes[7] = r.numrecs;
    write_text(tmpdir() + "/short.nc", bytes);
    state st;
    ASSERT_EQ(open_quiet(st, tmpdir() + "/short.nc"), 0);
    int lo[4] = {1, 1, 1, r.t}, hi[4] = {2, 1, 1, r.t};
    request q(st.last(), r.var, 0, -1, lo, hi);
    std::string msg;
    EXPECT_EQ(q.read(&msg), r.first != 0 ? 0 : 3) << r.var << r.t;
    EXPECT_EQ(msg, r.first != 0 ? "" : "Failure reading SDF data.  #1\n") << r.var << r.t;
    EXPECT_EQ(q.at(0), r.first != 0 ? r.first : q.g.undef) << r.var << r.t;
  }
  // Cut after it was opened, by 6 bytes, to half or to nothing: the float
  // read meets the end, and the library's reads of other types, and of a
  // netCDF-4 file, are checked against the file as it is at the read.
  // netCDF-4 of fixed dimensions stores its data whole, where a read past
  // the end of the file is zeros to HDF5.
  std::string cdl4 = cdl;
  cdl4.replace(cdl4.find("UNLIMITED"), 9, "3");
  cdl4.insert(cdl4.find("data:"), "v:_Storage = \"contiguous\" ; s:_Storage = \"contiguous\" ;\n");
  std::ifstream in4(make_nc("whole4", cdl4, "nc4"), std::ios::binary);
  const std::string whole4((std::istreambuf_iterator<char>(in4)), std::istreambuf_iterator<char>());
  ASSERT_GT(whole4.size(), 8u);
  for (const std::string* file : {&whole, &whole4})
  for (const char* var : {"v", "s"}) {
    for (size_t left : {file->size() - (file == &whole ? 6 : file->size() / 2), size_t(0)}) {
      write_text(tmpdir() + "/short.nc", *file);
      state st;
      ASSERT_EQ(open_quiet(st, tmpdir() + "/short.nc"), 0);
      ASSERT_EQ(truncate((tmpdir() + "/short.nc").c_str(), static_cast<off_t>(left)), 0);
      int lo[4] = {1, 1, 1, 3}, hi[4] = {2, 1, 1, 3};
      request q(st.last(), var, 0, -1, lo, hi);
      std::string msg;
      EXPECT_EQ(q.read(&msg), 3) << var << left;
      EXPECT_EQ(msg, "Failure reading SDF data.  #1\n") << var << left;
    }
  }
}
