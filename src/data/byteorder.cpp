// Byte order, bit fields and float formats.  Everything works on bytes, so
// the results do not depend on the host's byte order.
#include "data/byteorder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/errout.h"

const unsigned char masks[8] = {0x00, 0x7f, 0x3f, 0x1f, 0x0f, 0x07, 0x03, 0x01};

int omhostle() {
  const uint32_t one = 1;
  unsigned char b[4];
  std::memcpy(b, &one, 4);
  return b[0] == 1 ? 1 : 0;
}

void* ombswp(void* buf, size_t n) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  for (size_t i = 0; i < n; i++, p += 4) {
    unsigned char t = p[0];
    p[0] = p[3];
    p[3] = t;
    t = p[1];
    p[1] = p[2];
    p[2] = t;
  }
  return buf;
}

void omnbswp(void* buf, size_t len) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  for (size_t i = 0; i < len / 2; i++) {
    unsigned char t = p[i];
    p[i] = p[len - 1 - i];
    p[len - 1 - i] = t;
  }
}

void omhswp(void* hdr) { ombswp(static_cast<unsigned char*>(hdr) + 8, 5); }

unsigned int omgby(const unsigned char* buf, long off, int cnt) {
  if (cnt < 1 || cnt > 3) cnt = 4;
  const unsigned char* p = buf + off;
  unsigned int v = 0;
  for (int i = 0; i < cnt; i++) v = (v << 8) | p[i];
  return v;
}

void ompby(unsigned int val, unsigned char* buf, long off, int cnt) {
  if (cnt < 1 || cnt > 3) cnt = 4;
  unsigned char* p = buf + off;
  for (int i = cnt - 1; i >= 0; i--) {
    p[i] = static_cast<unsigned char>(val & 0xff);
    val >>= 8;
  }
}

// A field of up to 32 bits starting anywhere in a byte spans at most five
// bytes, so a 64-bit word always holds it.
unsigned int omgbb(const unsigned char* buf, long off, int n) {
  if (n <= 0) return 0;
  if (n > 32) {  // only the low 32 bits can be returned
    off += n - 32;
    n = 32;
  }
  long b = off / 8;
  int r = static_cast<int>(off % 8);
  if (r == 0 && n % 8 == 0) return omgby(buf, b, n / 8);
  long l = off + n - 1;
  long e = l / 8;
  uint64_t w = 0;
  for (long i = b; i <= e; i++) {
    unsigned char c = buf[i];
    if (i == b && r > 0) c &= masks[r];
    w = (w << 8) | c;
  }
  w >>= 7 - (l % 8);
  return static_cast<unsigned int>(w & ((n == 32) ? 0xffffffffULL : ((1ULL << n) - 1)));
}

void ompbb(unsigned int val, unsigned char* buf, long off, int n) {
  if (n <= 0) return;
  if (n > 32) {  // the high bits of a wider field are zero
    for (int i = 0; i < n - 32; i++) {
      long bit = off + i;
      buf[bit / 8] &= static_cast<unsigned char>(~(0x80u >> (bit % 8)));
    }
    off += n - 32;
    n = 32;
  }
  uint64_t v = val;
  if (n < 32) v &= (1ULL << n) - 1;
  long b = off / 8;
  int r = static_cast<int>(off % 8);
  if (r == 0 && n % 8 == 0) {
    ompby(static_cast<unsigned int>(v), buf, b, n / 8);
    return;
  }
  long l = off + n - 1;
  long e = l / 8;
  v <<= 7 - (l % 8);
  for (long i = e; i >= b; i--) {
    unsigned char c = static_cast<unsigned char>(v & 0xff);
    v >>= 8;
    if (i == b && r > 0) {
      buf[i] |= c;
    } else {
      buf[i] = c;
    }
  }
}

float ibm2flt(const unsigned char* b) {
  long f = (static_cast<long>(b[1]) << 16) | (static_cast<long>(b[2]) << 8) | b[3];
  if (f == 0) return 0.0f;
  int x = (b[0] & 127) - 64;
  double p = 1.0, sq = 16.0;
  for (int k = x < 0 ? -x : x; k > 0; k >>= 1) {
    if (k & 1) p *= sq;
    sq *= sq;
  }
  if (x < 0) p = 1.0 / p;
  double v = static_cast<double>(f) / 16777216.0 * p;
  // IBM exponents reach 16^63, far beyond the float range.
  float r = v > std::numeric_limits<float>::max() ? std::numeric_limits<float>::infinity()
                                                   : static_cast<float>(v);
  return b[0] >= 128 ? -r : r;
}

int flt2ibm(float x, unsigned char* b) {
  if (x == 0.0f) {
    b[0] = b[1] = b[2] = b[3] = 0;
    return 0;
  }
  unsigned char sign = 0;
  if (std::signbit(x)) sign = 0x80;
  if (!std::isfinite(x)) {
    omerrf("overflow in flt2ibm\n");
    b[0] = sign | 0x7f;
    b[1] = b[2] = b[3] = 0xff;
    return -1;
  }
  int e = 0;
  double m = std::frexp(std::fabs(static_cast<double>(x)), &e);
  if (m >= 1.0) {
    m = 0.5;
    e++;
  }
  while (e % 4 != 0) {
    m *= 0.5;
    e++;
  }
  int ex = e / 4 + 64;
  if (ex < 0) {
    omerrf("underflow in flt2ibm\n");
    b[0] = b[1] = b[2] = b[3] = 0;
    return 0;
  }
  if (ex < 128) {
    b[0] = static_cast<unsigned char>(sign | ex);
    for (int i = 1; i <= 3; i++) {
      m *= 256.0;
      double d = std::floor(m);
      b[i] = static_cast<unsigned char>(d);
      m -= d;
    }
    return 0;
  }
  omerrf("overflow in flt2ibm\n");
  b[0] = sign | 0x7f;
  b[1] = b[2] = b[3] = 0xff;
  return -1;
}

// The IEEE conversions move the bit pattern itself, which gives exactly
// the rounding-free results of the sign/exponent/mantissa rules for normal
// numbers and treats zeros, denormals, infinities and NaNs as IEEE does.
float ieee2flt(const unsigned char* b) {
  uint32_t u = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
               (static_cast<uint32_t>(b[2]) << 8) | b[3];
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

int flt2ieee(float x, unsigned char* b) {
  uint32_t u;
  std::memcpy(&u, &x, 4);
  b[0] = static_cast<unsigned char>(u >> 24);
  b[1] = static_cast<unsigned char>(u >> 16);
  b[2] = static_cast<unsigned char>(u >> 8);
  b[3] = static_cast<unsigned char>(u);
  return 0;
}

int be_int2int(const unsigned char* b) {
  uint32_t u = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
               (static_cast<uint32_t>(b[2]) << 8) | b[3];
  int32_t v;
  std::memcpy(&v, &u, 4);
  return v;
}
