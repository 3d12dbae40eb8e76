// The chunk cache of compressed netCDF-4 variables: sized to hold the chunks
// of one grid, within the memory budget.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cstdint>

#include "base/memcap.h"
#include "sdf/sdfcache.h"
#include "sdftest.h"

using namespace sdftest;

TEST(sdfcache, HoldsTheChunksOfOneGridWithinTheCap) {
  // Time-series chunks of a 0.25 degree grid: 9 x 8 chunks of 100 steps.
  const std::vector<size_t> lens = {1000, 721, 1440}, chunks = {100, 90, 180};
  EXPECT_EQ(grid_chunk_cache_bytes(lens, chunks, 4, SIZE_MAX), size_t(72) * 100 * 90 * 180 * 4);
  EXPECT_EQ(grid_chunk_cache_bytes(lens, chunks, 4, 100000000), size_t(100000000));
  // A 4-D variable: only the last two dimensions are taken whole.
  EXPECT_EQ(grid_chunk_cache_bytes({10, 17, 100, 200}, {5, 1, 50, 200}, 8, SIZE_MAX),
            size_t(2) * 5 * 50 * 200 * 8);
  EXPECT_EQ(grid_chunk_cache_bytes({10}, {4}, 2, SIZE_MAX), size_t(3) * 4 * 2);
  // Sizes from a damaged file whose product overflows stop at the cap.
  EXPECT_EQ(grid_chunk_cache_bytes({SIZE_MAX, SIZE_MAX}, {SIZE_MAX / 2, SIZE_MAX / 2}, 4, 1 << 30),
            size_t(1) << 30);
  // Nothing to hold: an empty grid, or no chunk shape.
  EXPECT_EQ(grid_chunk_cache_bytes({5, 0, 10}, {1, 10, 10}, 4, SIZE_MAX), 0u);
  EXPECT_EQ(grid_chunk_cache_bytes({5, 10, 10}, {0, 10, 10}, 4, SIZE_MAX), 0u);
  EXPECT_EQ(grid_chunk_cache_bytes({}, {}, 4, SIZE_MAX), 0u);
}

TEST(sdfcache, OpeningSizesTheCacheOfCompressedVariablesOnly) {
  if (!have_ncgen()) GTEST_SKIP();
  // No data written: the chunks are never allocated, the file stays small.
  std::string f = make_nc("tchunks", R"(netcdf tchunks {
dimensions: time = 8 ; lat = 2000 ; lon = 4000 ; y = 100 ; x = 100 ;
variables:
  float z(time, lat, lon) ; z:_ChunkSizes = 8, 500, 1000 ; z:_DeflateLevel = 1 ;
  float w(time, lat, lon) ; w:_ChunkSizes = 8, 500, 1000 ;
  float s(time, y, x) ; s:_ChunkSizes = 1, 50, 50 ; s:_DeflateLevel = 1 ;
}
)", "nc4");
  ASSERT_FALSE(f.empty());
  int id = -1;
  ASSERT_EQ(open_netcdf(f.c_str(), &id), 1);
  size_t z = 0, w = 1, s = 0, nelems = 0;
  float pre = 0;
  ASSERT_EQ(nc_get_var_chunk_cache(id, 0, &z, &nelems, &pre), NC_NOERR);
  EXPECT_EQ(z, std::min<size_t>(size_t(16) * 8 * 500 * 1000 * 4, ommemcap()));
  EXPECT_GE(nelems, 16u);
  ASSERT_EQ(nc_get_var_chunk_cache(id, 1, &w, &nelems, &pre), NC_NOERR);
  EXPECT_EQ(w, 0u);  // stored as it is: read past the cache
  // Small chunks: the library's own cache is already larger.
  size_t dflt = 0;
  ASSERT_EQ(nc_get_chunk_cache(&dflt, &nelems, &pre), NC_NOERR);
  ASSERT_EQ(nc_get_var_chunk_cache(id, 2, &s, &nelems, &pre), NC_NOERR);
  EXPECT_EQ(s, dflt);
  EXPECT_EQ(close_netcdf(id), 1);
}
