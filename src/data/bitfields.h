// Runs of packed unsigned bit fields, as GRIB stores its values: n fields
// of b bits one after another from a bit offset, bits numbered from the
// most significant bit of byte 0.  Each field is handed to a callback as
// it is taken out, so that what is made of it (scaled, tested, stored)
// happens in the same pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "data/byteorder.h"

namespace bitfields {

inline uint64_t load_be64(const unsigned char* p) {
  uint64_t w = 0;
  for (int i = 0; i < 8; i++) w = (w << 8) | p[i];  // one load and a byte swap once compiled
  return w;
}

// Calls put(k, field k) for k = 0 .. n-1, the fields of b bits starting at
// bit offset bit of buf, of which avail bytes may be read.  The same fields
// as omgbb (b of 0 gives zeros, wider than 32 bits their low 32 bits);
// widths of whole bytes are taken bytewise, others through a 64-bit word.
template <class Put>
inline __attribute__((always_inline)) void each_field(const unsigned char* buf, size_t avail,
                                                      long bit, int b, int n, Put put) {
  if (b >= 8 && b <= 32 && b % 8 == 0 && bit % 8 == 0) {
    const unsigned char* p = buf + bit / 8;
    switch (b) {
      case 8:
        for (int k = 0; k < n; k++) put(k, static_cast<uint32_t>(p[k]));
        return;
      case 16:
        for (int k = 0; k < n; k++) put(k, static_cast<uint32_t>(p[2 * k] << 8 | p[2 * k + 1]));
        return;
      case 24:
        for (int k = 0; k < n; k++)
          put(k, static_cast<uint32_t>(p[3 * k] << 16 | p[3 * k + 1] << 8 | p[3 * k + 2]));
        return;
      default:
        for (int k = 0; k < n; k++)
          put(k, static_cast<uint32_t>(p[4 * k]) << 24 | static_cast<uint32_t>(p[4 * k + 1]) << 16 |
                     static_cast<uint32_t>(p[4 * k + 2]) << 8 | p[4 * k + 3]);
        return;
    }
  }
  int k = 0;
  if (b >= 1 && b <= 32) {
    // A field starts at most 7 bits into its first byte, so the 8 bytes
    // from there hold all of it; the last fields, whose 8 bytes would pass
    // the end of what may be read, are taken one by one below.
    const int drop = 64 - b;
    for (; k < n && static_cast<size_t>(bit / 8) + 8 <= avail; k++, bit += b) {
      const uint64_t w = load_be64(buf + bit / 8) << (bit % 8);
      put(k, static_cast<uint32_t>(w >> drop));
    }
  }
  for (; k < n; k++, bit += b) put(k, omgbb(buf, bit, b));
}

}  // namespace bitfields
