// Writes the HDF4 files of the differential check with the makers the
// tests use (tests/sdf/hdfmake.cpp): a time-lat-lon file with dimension
// scales, unsigned and calibrated data, Huffman-compressed and chunked
// storage, and a larger grid.
//
//   mkhdf4 FOLDER
#include <cstdio>
#include <string>

bool make_hdf4_file(const char* path);
bool make_hdf4_unsigned(const char* path);
bool make_hdf4_stored(const char* path, bool chunked);
bool make_hdf4_grid(const char* path, int nlat, int nlon);

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string dir = argv[1];
  bool ok = make_hdf4_file((dir + "/h.hdf").c_str()) && make_hdf4_unsigned((dir + "/hu.hdf").c_str()) &&
            make_hdf4_stored((dir + "/hs.hdf").c_str(), false) &&
            make_hdf4_stored((dir + "/hc.hdf").c_str(), true) &&
            make_hdf4_grid((dir + "/hg.hdf").c_str(), 30, 40);
  if (!ok) std::fprintf(stderr, "mkhdf4: could not write the HDF4 files in %s\n", argv[1]);
  return ok ? 0 : 1;
}
