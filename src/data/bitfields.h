// Runs of packed unsigned bit fields, as GRIB stores its values: n fields
// of b bits one after another from a bit offset, bits numbered from the
// most significant bit of byte 0.  The fields are handed to the caller a
// block at a time, so that what is made of them (scaled, tested, stored)
// happens while the block is in cache, in a loop of its own that runs as
// vector code.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "data/byteorder.h"

namespace bitfields {

constexpr bool kHostLittle = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

inline uint64_t load_be64(const unsigned char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return kHostLittle ? __builtin_bswap64(w) : w;
}

inline uint32_t load_be32(const unsigned char* p) {
  uint32_t w;
  std::memcpy(&w, p, 4);
  return kHostLittle ? __builtin_bswap32(w) : w;
}

// Takes out the n fields of b bits starting at bit offset bit of buf, of
// which avail bytes may be read, into v: the same fields as omgbb (b of 0
// gives zeros, wider than 32 bits their low 32 bits).  Widths of whole
// bytes are taken from their bytes, others through a 64-bit word.
inline void take_fields(const unsigned char* buf, size_t avail, long bit, int b, int n, uint32_t* v) {
  if (b >= 8 && b <= 32 && b % 8 == 0 && bit % 8 == 0) {
    const unsigned char* p = buf + bit / 8;
    const size_t room = avail - static_cast<size_t>(bit / 8);
    int k = 0;
    switch (b) {
      case 8:
        for (; k < n; k++) v[k] = p[k];
        return;
      case 16:
        for (; k < n; k++) v[k] = static_cast<uint32_t>(p[2 * k] << 8 | p[2 * k + 1]);
        return;
      case 24: {
        // Two fields from each 64-bit word while its eight bytes may be read.
        const size_t pairs = room < 8 ? 0 : std::min<size_t>(static_cast<size_t>(n) / 2, (room - 8) / 6 + 1);
        for (size_t j = 0; j < pairs; j++) {
          const uint64_t w = load_be64(p + 6 * j);
          v[2 * j] = static_cast<uint32_t>(w >> 40);
          v[2 * j + 1] = static_cast<uint32_t>(w >> 16) & 0xffffffu;
        }
        for (k = static_cast<int>(2 * pairs); k < n; k++)
          v[k] = static_cast<uint32_t>(p[3 * k] << 16 | p[3 * k + 1] << 8 | p[3 * k + 2]);
        return;
      }
      default:
        for (; k < n; k++) v[k] = load_be32(p + 4 * k);
        return;
    }
  }
  int k = 0;
  if (b >= 1 && b <= 32 && bit >= 0 && static_cast<size_t>(bit / 8) + 8 <= avail) {
    // A field starts at most 7 bits into its first byte, so the 8 bytes
    // from there hold all of it; the last fields, whose 8 bytes would pass
    // the end of what may be read, are taken one by one below.
    const long last = static_cast<long>(avail - 8) * 8;  // last bit offset whose 8 bytes may be read
    const long fit = (last - bit) / b + 1;
    const int fast = fit < n ? static_cast<int>(fit) : n;
    const int drop = 64 - b;
    for (; k < fast; k++, bit += b) v[k] = static_cast<uint32_t>((load_be64(buf + bit / 8) << (bit % 8)) >> drop);
  }
  for (; k < n; k++, bit += b) v[k] = omgbb(buf, bit, b);
}

// Fields are taken out this many at a time, into a block that stays in
// the fastest cache while the caller makes its values of them.
constexpr int kBlock = 256;

// Calls put(k0, v, m) for the n fields as above, a block of m at a time
// (fields k0 .. k0 + m - 1 in v[0 .. m-1]).
template <class Put>
inline void each_block(const unsigned char* buf, size_t avail, long bit, int b, int n, Put put) {
  uint32_t v[kBlock];
  for (int k0 = 0; k0 < n; k0 += kBlock) {
    const int m = n - k0 < kBlock ? n - k0 : kBlock;
    take_fields(buf, avail, bit + static_cast<long>(k0) * b, b, m, v);
    put(k0, v, m);
  }
}

}  // namespace bitfields
