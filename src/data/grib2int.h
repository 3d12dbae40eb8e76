// What the GRIB edition 2 reader's files share: the integer and float
// forms of the format, read from bytes already known to lie in the
// message.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "data/grib2.h"

namespace g2int {

inline unsigned u16(const unsigned char* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }
inline uint32_t u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint64_t u64(const unsigned char* p) { return static_cast<uint64_t>(u32(p)) << 32 | u32(p + 4); }

// Signed integers are a sign bit and a magnitude.
inline int sm8(unsigned char c) { return c & 0x80 ? -(c & 0x7f) : c; }
inline int sm16(const unsigned char* p) {
  const int m = static_cast<int>(u16(p) & 0x7fff);
  return p[0] & 0x80 ? -m : m;
}
inline int64_t sm32(const unsigned char* p) {
  const int64_t m = u32(p) & 0x7fffffffu;
  return p[0] & 0x80 ? -m : m;
}
// A sign-and-magnitude integer of n octets (1 to 4).
inline int64_t smn(const unsigned char* p, int n) {
  uint64_t v = 0;
  for (int k = 0; k < n; k++) v = v << 8 | p[k];
  const uint64_t sign = uint64_t{1} << (8 * n - 1);
  return v & sign ? -static_cast<int64_t>(v & (sign - 1)) : static_cast<int64_t>(v);
}

inline float ieee32(const unsigned char* p) {
  const uint32_t w = u32(p);
  float f;
  std::memcpy(&f, &w, 4);
  return f;
}
inline double ieee64(const unsigned char* p) {
  const uint64_t w = u64(p);
  double d;
  std::memcpy(&d, &w, 8);
  return d;
}

// 10 to the power s, by repeated steps (exact for the factors GRIB uses).
double tenpow(int s);

// Whether the data section of f (scanned from its message) can hold what
// its packing says it holds; the reason in why when not.
bool fits(const g2field& f, std::string* why);

// Whether the rows of a reduced grid whose widest row has widest points go
// round the globe.
bool reducedglobal(const g2grid& g, int64_t widest);

}  // namespace g2int
