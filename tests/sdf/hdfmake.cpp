// Makes a small HDF4 SD file for the tests, with dimension scales carrying
// units.  Kept out of the test files: the HDF4 headers define macros that
// clash with the test framework's.
#include <hdf/mfhdf.h>

#include <cstring>

bool make_hdf4_file(const char* path) {
  int32 sd = SDstart(path, DFACC_CREATE);
  if (sd == FAIL) return false;
  int32 dims[3] = {2, 3, 4};
  int32 sds = SDcreate(sd, "temp", DFNT_FLOAT32, 3, dims);
  const char* names[3] = {"time", "lat", "lon"};
  const char* units[3] = {"hours since 2000-01-01 00:00", "degrees_north", "degrees_east"};
  float32 time[2] = {0, 12};
  float32 lat[3] = {-30, 0, 30};
  float32 lon[4] = {0, 90, 180, 270};
  void* scales[3] = {time, lat, lon};
  bool ok = sds != FAIL;
  for (int i = 0; ok && i < 3; i++) {
    int32 dim = SDgetdimid(sds, i);
    ok = SDsetdimname(dim, names[i]) != FAIL &&
         SDsetdimscale(dim, dims[i], DFNT_FLOAT32, scales[i]) != FAIL &&
         SDsetdimstrs(dim, names[i], units[i], nullptr) != FAIL;
  }
  float32 data[24];
  for (int i = 0; i < 24; i++) data[i] = static_cast<float32>(i + 1);
  int32 start[3] = {0, 0, 0};
  if (ok) ok = SDwritedata(sds, start, nullptr, dims, data) != FAIL;
  const char* title = "HDF test";
  if (ok) ok = SDsetattr(sd, "title", DFNT_CHAR8, static_cast<int32>(std::strlen(title)), title) != FAIL;
  if (sds != FAIL) SDendaccess(sds);
  SDend(sd);
  return ok;
}
