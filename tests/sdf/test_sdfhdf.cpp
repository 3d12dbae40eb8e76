// HDF4 SD files open through the same road as netCDF files.
#include <gtest/gtest.h>

#include "sdftest.h"

bool make_hdf4_file(const char* path);
bool make_hdf4_unsigned(const char* path);

using namespace sdftest;

namespace {

TEST(sdfhdf, ScientificDataSetsOpenAndRead) {
  std::string f = tmpdir() + "/t.hdf";
  ASSERT_TRUE(make_hdf4_file(f.c_str()));
  EXPECT_TRUE(is_hdf4_file(f.c_str()));
  state st;
  std::string out;
  ASSERT_EQ(open_quiet(st, f, &out), 0) << out;
  EXPECT_NE(out.find("Found displayable variable temp with 0 levels in SDF file.\n"), std::string::npos);
  datafile* pfi = st.last();
  EXPECT_EQ(pfi->title, "HDF test");
  EXPECT_EQ(pfi->dnum[0], 4);
  EXPECT_EQ(pfi->dnum[1], 3);
  EXPECT_EQ(pfi->dnum[3], 2);
  EXPECT_EQ(pfi->wrap, 1);
  EXPECT_EQ(pfi->grvals[3][0], 2000);
  EXPECT_EQ(pfi->grvals[3][6], 720);
  int lo[4] = {1, 1, 1, 2}, hi[4] = {4, 3, 1, 2};
  request r(pfi, "temp", 0, 1, lo, hi);
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.at(0, 0), 13);
  EXPECT_EQ(r.at(3, 2), 24);
  // Closing goes to the HDF library and is not repeated.
  int id = pfi->sdf->ncid;
  EXPECT_EQ(close_netcdf(id), 1);
  EXPECT_EQ(close_netcdf(id), 0);
}

TEST(sdfhdf, UnsignedAndCalibratedData) {
  std::string f = tmpdir() + "/u.hdf";
  ASSERT_TRUE(make_hdf4_unsigned(f.c_str()));
  state st;
  std::string out;
  ASSERT_EQ(open_quiet(st, f, &out), 0) << out;
  datafile* pfi = st.last();
  int lo[4] = {1, 1, 1, 1}, hi[4] = {3, 2, 1, 1};
  // Stored 193 is NDVI 0.008 x (193 - 128) = 0.52; 255 is the fill.
  request n(pfi, "ndvi", 0, 1, lo, hi);
  ASSERT_EQ(n.read(), 0);
  EXPECT_FLOAT_EQ(n.at(0, 0), 0.52f);
  EXPECT_FLOAT_EQ(n.at(1, 0), -1.024f);
  EXPECT_FLOAT_EQ(n.at(2, 0), 0.688f);
  EXPECT_EQ(n.at(0, 1), n.g.undef);
  EXPECT_FLOAT_EQ(n.at(1, 1), 0.0f);
  EXPECT_FLOAT_EQ(n.at(2, 1), -1.016f);
  // Unsigned 16-bit stored either way round (little-endian types carry
  // a flag beside the type).
  for (const char* name : {"count", "lcount"}) {
    request c(pfi, name, 0, 1, lo, hi);
    ASSERT_EQ(c.read(), 0) << name;
    const float cw[6] = {65000, 1, 32768, c.g.undef, 0, 40000};
    for (int k = 0; k < 6; k++) EXPECT_EQ(c.vals[static_cast<size_t>(k)], cw[k]) << name << " " << k;
  }
  request b(pfi, "sbyte", 0, 1, lo, hi);
  ASSERT_EQ(b.read(), 0);
  const float bw[6] = {-63, 127, -128, 0, 1, -1};
  for (int k = 0; k < 6; k++) EXPECT_EQ(b.vals[static_cast<size_t>(k)], bw[k]) << k;
  // The markers keep the variables' own types.
  var_info* v = find_var(pfi->sdf, "count");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->nctype, SDF_USHORT);
  ASSERT_NE(find_att(v->atts, "_FillValue"), nullptr);
  EXPECT_EQ(find_att(v->atts, "_FillValue")->nctype, SDF_USHORT);
}

TEST(sdfhdf, NotAnHdfOrNetcdfFile) {
  std::string f = tmpdir() + "/junk.nc";
  write_text(f, "this is not a data file at all");
  EXPECT_FALSE(is_hdf4_file(f.c_str()));
  state st;
  std::string out;
  EXPECT_EQ(open_quiet(st, f, &out), 1);
  EXPECT_NE(out.find(f + " does not exist or is not a netCDF/HDF-SDS file.\n\nCouldn't ingest SDF metadata.\n"),
            std::string::npos);
}

}  // namespace
