// Makes a small HDF4 SD file for the tests, with dimension scales carrying
// units.  Kept out of the test files: the HDF4 headers define macros that
// clash with the test framework's.
#include <hdf/mfhdf.h>

#include <cstring>
#include <vector>

namespace {

// Names each dimension of a data set and gives it float coordinates and
// their units.
bool name_dims(int32 sds, int rank, const int32* dims, const char* const* names,
               const char* const* units, void* const* scales) {
  bool ok = true;
  for (int i = 0; ok && i < rank; i++) {
    int32 dim = SDgetdimid(sds, i);
    ok = SDsetdimname(dim, names[i]) != FAIL &&
         SDsetdimscale(dim, dims[i], DFNT_FLOAT32, scales[i]) != FAIL &&
         SDsetdimstrs(dim, names[i], units[i], nullptr) != FAIL;
  }
  return ok;
}

}  // namespace

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
  bool ok = sds != FAIL && name_dims(sds, 3, dims, names, units, scales);
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

// A lat-lon file with unsigned data: "ndvi" 8-bit calibrated the way the
// library's SDsetcal writes it (scale 0.008, offset 128) with fill 255,
// "count" 16-bit unsigned with fill 65535, "lcount" the same stored
// little-endian, and "sbyte" 8-bit signed.
bool make_hdf4_unsigned(const char* path) {
  int32 sd = SDstart(path, DFACC_CREATE);
  if (sd == FAIL) return false;
  int32 dims[2] = {2, 3};
  const char* names[2] = {"lat", "lon"};
  const char* units[2] = {"degrees_north", "degrees_east"};
  float32 lat[2] = {-10, 10};
  float32 lon[3] = {0, 10, 20};
  void* scales[2] = {lat, lon};
  int32 start[2] = {0, 0};
  bool ok = true;
  auto make = [&](const char* name, int32 nt, const void* data, const void* fill) {
    int32 sds = SDcreate(sd, name, nt, 2, dims);
    if (sds == FAIL) return false;
    bool good = name_dims(sds, 2, dims, names, units, scales);
    if (good) good = SDsetfillvalue(sds, const_cast<void*>(fill)) != FAIL;
    if (good) good = SDwritedata(sds, start, nullptr, dims, const_cast<void*>(data)) != FAIL;
    if (good && nt == DFNT_UINT8) good = SDsetcal(sds, 0.008, 0.0, 128.0, 0.0, DFNT_UINT8) != FAIL;
    SDendaccess(sds);
    return good;
  };
  uint8 ndvi[6] = {193, 0, 214, 255, 128, 1};
  uint8 ufill = 255;
  uint16 count[6] = {65000, 1, 32768, 65535, 0, 40000};
  uint16 cfill = 65535;
  int8 sbyte[6] = {-63, 127, -128, 0, 1, -1};
  int8 sfill = -127;
  ok = make("ndvi", DFNT_UINT8, ndvi, &ufill) && make("count", DFNT_UINT16, count, &cfill) &&
       make("lcount", DFNT_LITEND | DFNT_UINT16, count, &cfill) &&
       make("sbyte", DFNT_INT8, sbyte, &sfill);
  return SDend(sd) != FAIL && ok;
}

// A time-lat-lon file "hgt" (2 x 20 x 30, values i % 37) stored Huffman
// compressed (chunked: in chunks of 1 x 10 x 10).
bool make_hdf4_stored(const char* path, bool chunked) {
  int32 sd = SDstart(path, DFACC_CREATE);
  if (sd == FAIL) return false;
  int32 dims[3] = {2, 20, 30};
  int32 sds = SDcreate(sd, "hgt", DFNT_FLOAT32, 3, dims);
  const char* names[3] = {"time", "lat", "lon"};
  const char* units[3] = {"days since 2001-01-01", "degrees_north", "degrees_east"};
  float32 time[2] = {0, 1}, lat[20], lon[30];
  for (int i = 0; i < 20; i++) lat[i] = static_cast<float32>(-47.5 + 5 * i);
  for (int i = 0; i < 30; i++) lon[i] = static_cast<float32>(12 * i);
  void* scales[3] = {time, lat, lon};
  bool ok = sds != FAIL && name_dims(sds, 3, dims, names, units, scales);
  if (ok && chunked) {
    HDF_CHUNK_DEF cd;
    std::memset(&cd, 0, sizeof cd);
    cd.chunk_lengths[0] = 1;
    cd.chunk_lengths[1] = 10;
    cd.chunk_lengths[2] = 10;
    ok = SDsetchunk(sds, cd, HDF_CHUNK) != FAIL;
  } else if (ok) {
    comp_info ci;
    std::memset(&ci, 0, sizeof ci);
    ci.skphuff.skp_size = 4;
    ok = SDsetcompress(sds, COMP_CODE_SKPHUFF, &ci) != FAIL;
  }
  static float32 data[1200];
  for (int i = 0; i < 1200; i++) data[i] = static_cast<float32>(i % 37);
  int32 start[3] = {0, 0, 0};
  if (ok) ok = SDwritedata(sds, start, nullptr, dims, data) != FAIL;
  if (sds != FAIL) SDendaccess(sds);
  return SDend(sd) != FAIL && ok;
}

// A lat-lon file "big" of nlat x nlon floats, value j * nlon + i at row j,
// column i (exact in a float below 2^24), on a 0.1-degree grid.
bool make_hdf4_grid(const char* path, int nlat, int nlon) {
  int32 sd = SDstart(path, DFACC_CREATE);
  if (sd == FAIL) return false;
  int32 dims[2] = {nlat, nlon};
  int32 sds = SDcreate(sd, "big", DFNT_FLOAT32, 2, dims);
  const char* names[2] = {"lat", "lon"};
  const char* units[2] = {"degrees_north", "degrees_east"};
  std::vector<float32> lat(static_cast<size_t>(nlat)), lon(static_cast<size_t>(nlon));
  for (int j = 0; j < nlat; j++) lat[static_cast<size_t>(j)] = static_cast<float32>(-80 + 0.1 * j);
  for (int i = 0; i < nlon; i++) lon[static_cast<size_t>(i)] = static_cast<float32>(0.1 * i);
  void* scales[2] = {lat.data(), lon.data()};
  bool ok = sds != FAIL && name_dims(sds, 2, dims, names, units, scales);
  std::vector<float32> data(static_cast<size_t>(nlat) * static_cast<size_t>(nlon));
  for (size_t k = 0; k < data.size(); k++) data[k] = static_cast<float32>(k);
  int32 start[2] = {0, 0};
  if (ok) ok = SDwritedata(sds, start, nullptr, dims, data.data()) != FAIL;
  if (sds != FAIL) SDendaccess(sds);
  return SDend(sd) != FAIL && ok;
}
