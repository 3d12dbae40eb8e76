// Cost of reading HDF4 data through the helper process against reading in
// the program itself: one 2-D slab (lat x lon) and one point, each read
// many times from a file in the page cache.  Not part of CI; see
// sdf_hdfread.sh.
#include <hdf/mfhdf.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sdf/sdfint.h"

namespace {

bool make_file(const char* path, int nx, int ny) {
  int32 sd = SDstart(path, DFACC_CREATE);
  if (sd == FAIL) return false;
  int32 dims[3] = {4, ny, nx};
  int32 sds = SDcreate(sd, "v", DFNT_FLOAT32, 3, dims);
  std::vector<float32> data(static_cast<size_t>(4) * ny * nx);
  for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<float32>(i % 1000);
  int32 start[3] = {0, 0, 0};
  bool ok = SDwritedata(sds, start, nullptr, dims, data.data()) != FAIL;
  SDendaccess(sds);
  return SDend(sd) != FAIL && ok;
}

// Microseconds per read of the hyperslab.
double per_read(int id, const std::vector<size_t>& start, const std::vector<size_t>& count, int n) {
  size_t values = 1;
  for (size_t c : count) values *= c;
  std::vector<float> buf(values);
  read_netcdf_data(id, 0, start, count, buf.data(), values * sizeof(float));  // warm
  auto t0 = std::chrono::steady_clock::now();
  for (int k = 0; k < n; k++)
    if (!read_netcdf_data(id, 0, start, count, buf.data(), values * sizeof(float))) {
      std::fprintf(stderr, "read failed\n");
      std::exit(1);
    }
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::micro>(t1 - t0).count() / n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string path = std::string(argv[1]) + "/bench.hdf";
  struct grid {
    int nx, ny;
  };
  for (grid g : {grid{144, 73}, grid{1440, 721}}) {
    if (!make_file(path.c_str(), g.nx, g.ny)) return 1;
    const std::vector<size_t> s0{1, 0, 0}, slab{1, static_cast<size_t>(g.ny), static_cast<size_t>(g.nx)};
    const std::vector<size_t> s1{1, 10, 20}, point{1, 1, 1};
    const int n = g.nx > 1000 ? 200 : 2000;
    int local = -1;
    if (!open_netcdf(path.c_str(), &local)) return 1;
    double in_slab = per_read(local, s0, slab, n), in_point = per_read(local, s1, point, 20000);
    close_netcdf(local);
    io_std io;
    if (!read_io_std(path.c_str(), &io)) return 1;  // held by the helper
    double h_slab = per_read(io.ncid, s0, slab, n), h_point = per_read(io.ncid, s1, point, 20000);
    close_netcdf(io.ncid);
    std::printf("%4d x %3d slab: in-process %8.1f us, helper %8.1f us (+%.1f us)\n", g.nx, g.ny,
                in_slab, h_slab, h_slab - in_slab);
    std::printf("%4d x %3d point: in-process %7.1f us, helper %8.1f us (+%.1f us)\n", g.nx, g.ny,
                in_point, h_point, h_point - in_point);
  }
  return 0;
}
