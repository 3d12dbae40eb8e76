// HDF4 SD files open through the same road as netCDF files.
#include <gtest/gtest.h>

#include "sdftest.h"

bool make_hdf4_file(const char* path);

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
