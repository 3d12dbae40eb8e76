// The file description: attributes, dimensions, variables, copies, and the
// limits the reader keeps.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
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

// The id of a property list made and closed at once: HDF5 hands out the
// ids in rising order.
hid_t mark() {
  hid_t p = H5Pcreate(H5P_FILE_CREATE);
  H5Pclose(p);
  return p;
}

// The property lists made since the mark and still open, times 16, and the
// HDF5 files open.
int left_since(hid_t from) {
  int lists = 0;
  for (hid_t h = from + 1, to = mark(); h < to; h++) lists += H5Iis_valid(h) > 0;
  return lists * 16 + static_cast<int>(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE));
}

// netCDF leaves an HDF5 property list open at each open of a netCDF-4 file
// (1.7 KB each, until the program ends), and the file itself when it
// refuses a damaged root group: nothing is left once the file is closed,
// nor after the open that failed.  That open also loses netCDF's own
// records of the file, out of the program's reach: it is made in a child,
// which ends without the leak check.
TEST(sdfdesc, NetCDF4OpensLeaveNothingOpenInHdf5) {
  if (!have_ncgen()) GTEST_SKIP();
  std::string f = make_nc("small4", kSmall, "nc4");
  ASSERT_FALSE(f.empty());
  const hid_t from = mark();
  for (int k = 0; k < 3; k++) {
    int id = -1;
    ASSERT_EQ(open_netcdf(f.c_str(), &id), 1);
    EXPECT_EQ(close_netcdf(id), 1);
  }
  EXPECT_EQ(left_since(from), 0);
  std::ifstream in(f, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t root = bytes.find("OHDR");  // the root group's header
  ASSERT_NE(root, std::string::npos);
  bytes[root + 4] ^= 0x7f;
  const std::string bad = tmpdir() + "/damaged4.nc";
  write_text(bad, bytes);
  pid_t pid = fork();
  if (pid == 0) {
    const hid_t before = mark();
    int id = -1;
    _exit(open_netcdf(bad.c_str(), &id) == 0 ? left_since(before) : 99);
  }
  int st = 0;
  ASSERT_EQ(waitpid(pid, &st, 0), pid);
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0);
}

TEST(sdfdesc, MissingFileFailsWithItsMessage) {
  ASSERT_TRUE(sdf_units_init());
  io_std* io = nullptr;
  ASSERT_TRUE(init_io_std(&io));
  // A folder that is missing, or a file where a folder would be.
  for (const char* name : {"/nonexistent/x.nc", "/etc/passwd/x.nc"}) {
    testing::internal::CaptureStdout();
    bool passing = true;
    EXPECT_EQ(read_io_std(name, io, &passing), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(name) + " does not exist or is not a netCDF/HDF-SDS file.\n");
    EXPECT_FALSE(passing) << name;
  }
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
