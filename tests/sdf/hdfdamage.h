// Damage done to HDF4 files for the tests: one byte of the header of a
// special scientific data set (how its data are compressed or chunked),
// found through the file's data descriptors.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sdftest {

inline uint32_t be(const std::vector<unsigned char>& d, size_t at, int n) {
  uint32_t v = 0;
  for (int k = 0; k < n; k++) v = v << 8 | d[at + static_cast<size_t>(k)];
  return v;
}

inline bool damage_special_header(const std::string& path, size_t offset, unsigned char value) {
  std::vector<unsigned char> d;
  {
    std::ifstream in(path, std::ios::binary);
    d.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Blocks of descriptors: count (2 bytes), next block (4), then entries of
  // tag, ref (2 each), offset, length (4 each).
  size_t block = 4;
  for (int guard = 0; block != 0 && block + 6 <= d.size() && guard < 1000; guard++) {
    uint32_t n = be(d, block, 2);
    for (uint32_t k = 0; k < n && block + 6 + 12 * (k + 1) <= d.size(); k++) {
      size_t at = block + 6 + 12 * k;
      uint32_t tag = be(d, at, 2), off = be(d, at + 4, 4), len = be(d, at + 8, 4);
      if (tag != 0x42be || offset >= len || off + offset >= d.size()) continue;
      d[off + offset] = value;
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
      return static_cast<bool>(out);
    }
    block = be(d, block + 2, 4);
  }
  return false;
}

}  // namespace sdftest
