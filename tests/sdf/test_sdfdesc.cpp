// The file description: attributes, dimensions, variables, copies, and the
// limits the reader keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "sdftest.h"

using namespace sdftest;

namespace {

const char* kSmall = R"(netcdf small {
dimensions:
  lon = 3 ; time = UNLIMITED ; nchar = 4 ;
variables:
  float lon(lon) ; lon:units = "degrees_east" ;
  double time(time) ; time:units = "hours since 1990-1-1" ;
  char label(nchar) ;
  float v(time, lon) ; v:units = "K" ; v:Units = "other" ; v:triple = 1s, 2s, 3s ;
  :title = "hello" ;
data:
  lon = 0, 120, 240 ; time = 0 ; label = "abcd" ; v = 1, 2, 3 ;
}
)";

struct described : ::testing::Test {
  io_std* io = nullptr;
  void SetUp() override {
    if (!have_ncgen()) GTEST_SKIP() << "ncgen not installed";
    ASSERT_TRUE(sdf_units_init());
    std::string f = make_nc("small", kSmall);
    ASSERT_FALSE(f.empty());
    ASSERT_TRUE(init_io_std(&io));
    ASSERT_EQ(read_io_std(f.c_str(), io), 1);
  }
  void TearDown() override { free_io_std(&io); }
};

TEST_F(described, AttributesKeepTypeCountAndTextEnd) {
  ASSERT_EQ(io->ndims, 3);
  EXPECT_EQ(io->dimnames[1], "time");
  EXPECT_EQ(io->recdim, 1);
  EXPECT_EQ(att_text(io->gatts, "title"), "hello");
  const netcdf_att* t = find_att(io->gatts, "title");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->count, 5);
  ASSERT_EQ(t->values.size(), 6u);  // the text ends in a NUL
  EXPECT_EQ(t->values[5], 0);
  var_info* v = find_var(io, "v");
  ASSERT_NE(v, nullptr);
  const netcdf_att* tr = find_att(v->atts, "triple");
  ASSERT_NE(tr, nullptr);
  EXPECT_EQ(tr->nctype, SDF_SHORT);
  EXPECT_EQ(tr->values.size(), 6u);
  // Names are matched exactly.
  EXPECT_EQ(att_text(v->atts, "units"), "K");
  EXPECT_EQ(att_text(v->atts, "Units"), "other");
  EXPECT_EQ(find_att(v->atts, "UNITS"), nullptr);
  EXPECT_EQ(find_var(io, "V"), nullptr);
  EXPECT_EQ(find_dim(io, "lon"), 0);
  EXPECT_EQ(find_dim(io, "nope"), -1);
  EXPECT_EQ(io->time_style, 1);
}

TEST_F(described, CharDataAreNotReadAsNumbers) {
  var_info* c = find_var(io, "label");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(read_one_dimension(io, c, c->dimids[0]), 0);
  var_info* lon = find_var(io, "lon");
  std::vector<double> vals;
  ASSERT_EQ(coord_values(io, lon, &vals), 1);
  EXPECT_EQ(vals, (std::vector<double>{0, 120, 240}));
}

TEST_F(described, CopySharesTheFileButNeverClosesIt) {
  io_std* copy = nullptr;
  ASSERT_EQ(copy_io_std(&copy, io), 1);
  EXPECT_EQ(copy->ncid, io->ncid);
  EXPECT_FALSE(copy->owns_file);
  free_io_std(&copy);
  EXPECT_EQ(copy, nullptr);
  // The source is intact and its file still reads.
  var_info* lon = find_var(io, "lon");
  ASSERT_NE(lon, nullptr);
  std::vector<double> vals;
  EXPECT_EQ(coord_values(io, lon, &vals), 1);
  EXPECT_EQ(att_text(io->gatts, "title"), "hello");
}

TEST_F(described, ClosingTwiceIsRefusedHarmlessly) {
  int id = io->ncid;
  EXPECT_EQ(close_netcdf(id), 1);
  EXPECT_EQ(close_netcdf(id), 0);
  EXPECT_EQ(close_netcdf(-1), 0);
  // Freeing afterwards does not close some other file that took the id.
  free_io_std(&io);
}

TEST(sdfdesc, MissingFileFailsWithItsMessage) {
  ASSERT_TRUE(sdf_units_init());
  io_std* io = nullptr;
  ASSERT_TRUE(init_io_std(&io));
  testing::internal::CaptureStdout();
  EXPECT_EQ(read_io_std("/nonexistent/x.nc", io), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "/nonexistent/x.nc does not exist or is not a netCDF/HDF-SDS file.\n");
  EXPECT_EQ(read_io_std("", io), 0);
  EXPECT_EQ(io->ncid, -1);
  free_io_std(&io);
}

TEST(sdfdesc, DimensionsBeyondTheLimitAreDroppedWithTheirVariables) {
  if (!have_ncgen()) GTEST_SKIP();
  std::ostringstream cdl;
  cdl << "netcdf many {\ndimensions:\n";
  for (int i = 0; i < 101; i++) cdl << "  d" << i << " = 1 ;\n";
  cdl << "variables:\n  float first(d0, d1) ;\n  float last(d0, d100) ;\n}\n";
  std::string f = make_nc("many", cdl.str());
  ASSERT_FALSE(f.empty());
  io_std* io = nullptr;
  ASSERT_TRUE(init_io_std(&io));
  testing::internal::CaptureStderr();
  ASSERT_EQ(read_io_std(f.c_str(), io), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Only first 100 dimensions processed; library limit.\n");
  EXPECT_EQ(io->ndims, 100);
  EXPECT_NE(find_var(io, "first"), nullptr);
  EXPECT_EQ(find_var(io, "last"), nullptr);  // would index past the table
  free_io_std(&io);
}

TEST(sdfdesc, NetCDF4TypesAreSkippedOrReadAsText) {
  if (!have_ncgen()) GTEST_SKIP();
  std::string f = make_nc("four", R"(netcdf four {
dimensions: x = 2 ;
variables:
  uint64 big(x) ; big:units = "1" ;
  float v(x) ; string v:units = "degrees_east" ; v:counts = 5ULL, 7ULL ; v:tiny = 3UB ;
data: big = 1, 2 ; v = 1, 2 ;
}
)", "nc4");
  ASSERT_FALSE(f.empty());
  io_std* io = nullptr;
  ASSERT_TRUE(init_io_std(&io));
  ASSERT_EQ(read_io_std(f.c_str(), io), 1);
  var_info* v = find_var(io, "v");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(att_text(v->atts, "units"), "degrees_east");
  EXPECT_EQ(find_att(v->atts, "counts"), nullptr);
  EXPECT_EQ(find_att(v->atts, "tiny"), nullptr);
  var_info* big = find_var(io, "big");
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->nctype, SDF_UINT64);
  std::vector<double> vals;
  std::vector<size_t> st{0}, ct{2};
  ASSERT_EQ(read_variable_data(io->ncid, big, st, ct), 1);
  double d = 0;
  ASSERT_EQ(value_as_double(big->data.data(), big->nctype, 1, &d), 1);
  EXPECT_EQ(d, 2.0);
  free_io_std(&io);
}

}  // namespace
