#include "sdf/sdfcache.h"

#include <cstdint>

size_t grid_chunk_cache_bytes(const std::vector<size_t>& dimlens, const std::vector<size_t>& chunks,
                              size_t elsize, size_t cap) {
  const size_t nd = dimlens.size();
  if (nd == 0 || chunks.size() != nd || elsize == 0) return 0;
  // Sizes come from the file: any product past the cap is the cap.
  auto times = [cap](size_t a, size_t b) -> size_t {
    if (a == 0 || b == 0) return 0;
    return a > cap / b ? cap : a * b;
  };
  size_t bytes = elsize;
  for (size_t d = 0; d < nd; d++) {
    if (chunks[d] == 0) return 0;
    bytes = times(bytes, chunks[d]);
  }
  for (size_t d = nd < 2 ? 0 : nd - 2; d < nd; d++)
    bytes = times(bytes, dimlens[d] / chunks[d] + (dimlens[d] % chunks[d] != 0));
  return bytes < cap ? bytes : cap;
}
