// How much of a compressed netCDF-4 variable the library keeps
// decompressed between reads.
#pragma once

#include <cstddef>
#include <vector>

// Bytes of chunk cache that hold every chunk one grid of the variable
// touches (its last two dimensions whole, the others at one index), so
// that the next time step or level read from the same chunks does not
// decompress them again; never more than cap.  dimlens and chunks are in
// the variable's own dimension order; 0 when there is nothing to hold.
size_t grid_chunk_cache_bytes(const std::vector<size_t>& dimlens, const std::vector<size_t>& chunks,
                              size_t elsize, size_t cap);
