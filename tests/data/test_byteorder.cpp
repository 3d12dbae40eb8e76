// Byte order, big-endian integers, bit fields and float formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "data/bitfields.h"
#include "data/byteorder.h"

namespace {

std::vector<unsigned char> bytes(std::initializer_list<int> l) {
  std::vector<unsigned char> v;
  for (int b : l) v.push_back(static_cast<unsigned char>(b));
  return v;
}

std::vector<unsigned char> ibm(float x, int* rc = nullptr) {
  std::vector<unsigned char> b(4);
  testing::internal::CaptureStderr();
  int r = flt2ibm(x, b.data());
  testing::internal::GetCapturedStderr();
  if (rc) *rc = r;
  return b;
}

// Reference reader of a bit field, one bit at a time.
uint64_t slowbits(const unsigned char* buf, long off, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; i++) {
    long bit = off + i;
    v = (v << 1) | ((buf[bit / 8] >> (7 - bit % 8)) & 1);
  }
  return v;
}

}  // namespace

TEST(ByteOrder, WordAndRunReversal) {
  auto b = bytes({1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(ombswp(b.data(), 2), b.data());
  EXPECT_EQ(b, bytes({4, 3, 2, 1, 8, 7, 6, 5}));
  auto r = bytes({1, 2, 3});
  omnbswp(r.data(), 3);
  EXPECT_EQ(r, bytes({3, 2, 1}));
  auto e = bytes({1, 2, 3, 4});
  omnbswp(e.data(), 4);
  EXPECT_EQ(e, bytes({4, 3, 2, 1}));
  // The station id is left alone; the five words after it are reversed.
  std::vector<unsigned char> hdr(28);
  for (int i = 0; i < 28; i++) hdr[i] = static_cast<unsigned char>(i);
  omhswp(hdr.data());
  EXPECT_EQ(hdr[0], 0);
  EXPECT_EQ(hdr[7], 7);
  EXPECT_EQ(hdr[8], 11);
  EXPECT_EQ(hdr[11], 8);
  EXPECT_EQ(hdr[24], 27);
  EXPECT_EQ(hdr[27], 24);
}

TEST(ByteOrder, BigEndianIntegers) {
  auto b = bytes({0x12, 0x34, 0x56, 0x78, 0x9a});
  EXPECT_EQ(omgby(b.data(), 0, 1), 0x12u);
  EXPECT_EQ(omgby(b.data(), 1, 2), 0x3456u);
  EXPECT_EQ(omgby(b.data(), 1, 3), 0x345678u);
  EXPECT_EQ(omgby(b.data(), 1, 4), 0x3456789au);
  EXPECT_EQ(omgby(b.data(), 1, 7), 0x3456789au);  // other counts read 4
  std::vector<unsigned char> w(5, 0);
  ompby(0xaabbccdd, w.data(), 1, 3);
  EXPECT_EQ(w, bytes({0, 0xbb, 0xcc, 0xdd, 0}));
  ompby(0xaabbccdd, w.data(), 0, 0);
  EXPECT_EQ(w, bytes({0xaa, 0xbb, 0xcc, 0xdd, 0}));
  EXPECT_EQ(be_int2int(bytes({0xff, 0xff, 0xff, 0xfe}).data()), -2);
  EXPECT_EQ(be_int2int(bytes({0, 0, 1, 0}).data()), 256);
  EXPECT_EQ(be_int2int(bytes({0x80, 0, 0, 0}).data()), std::numeric_limits<int>::min());
}

TEST(ByteOrder, BitFieldsRead) {
  auto b = bytes({0xab, 0xcd, 0xef, 0x12, 0x34, 0x56});
  EXPECT_EQ(omgbb(b.data(), 0, 8), 0xabu);
  EXPECT_EQ(omgbb(b.data(), 4, 8), 0xbcu);
  EXPECT_EQ(omgbb(b.data(), 12, 12), 0xdefu);
  EXPECT_EQ(omgbb(b.data(), 2, 1), 0x1u);
  EXPECT_EQ(omgbb(b.data(), 3, 1), 0x0u);
  EXPECT_EQ(omgbb(b.data(), 0, 0), 0u);
  auto s = bytes({0x80, 0x00, 0x00, 0x80});
  EXPECT_EQ(omgbb(s.data(), 0, 25), (1u << 24) + 1);  // never sign-extended
  // Fields reaching into a fifth byte (start bit + width above 32).
  EXPECT_EQ(omgbb(b.data(), 4, 32), 0xbcdef123u);
  EXPECT_EQ(omgbb(b.data(), 7, 30), static_cast<unsigned>(slowbits(b.data(), 7, 30)));
  EXPECT_EQ(omgbb(b.data(), 44, 4), 0x6u);
  // Every offset and width up to 32 agrees with a bit-by-bit reader.
  for (long off = 0; off < 16; off++) {
    for (int n = 1; n <= 32; n++) {
      ASSERT_EQ(omgbb(b.data(), off, n), static_cast<unsigned>(slowbits(b.data(), off, n)))
          << off << " " << n;
    }
  }
  // A 64-bit bit offset beyond 2^31 bits addresses the right byte.
  std::vector<unsigned char> big(300000001, 0);
  big[300000000] = 0x5a;
  EXPECT_EQ(omgbb(big.data(), 2400000000L, 8), 0x5au);
  EXPECT_EQ(omgbb(big.data(), 2400000004L, 4), 0xau);
}

// Runs of fields taken out in one pass are the fields omgbb takes one by
// one: every width (none, up to 32, wider), every start inside a byte, and
// runs that end on the last byte that may be read.
TEST(ByteOrder, BitFieldRunsMatchFieldByField) {
  std::vector<unsigned char> buf(64);
  uint32_t x = 12345;
  for (unsigned char& c : buf) c = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 23);
  for (int b = 0; b <= 40; b++) {
    for (long start = 0; start < 16; start++) {
      const int n = b == 0 ? 20 : static_cast<int>((8 * static_cast<long>(buf.size()) - start) / b);
      const size_t avail = b == 0 ? 0 : static_cast<size_t>((start + static_cast<long>(n) * b + 7) / 8);
      std::vector<uint32_t> got(static_cast<size_t>(n), 0xdeadbeef);
      bitfields::each_block(buf.data(), avail, start, b, n, [&](int k0, const uint32_t* v, int m) {
        for (int k = 0; k < m; k++) got[static_cast<size_t>(k0 + k)] = v[k];
      });
      for (int k = 0; k < n; k++)
        ASSERT_EQ(got[static_cast<size_t>(k)], omgbb(buf.data(), start + static_cast<long>(k) * b, b))
            << b << " " << start << " " << k;
    }
  }
}

TEST(ByteOrder, BitFieldsWrite) {
  std::vector<unsigned char> b(2, 0);
  ompbb(3, b.data(), 0, 4);
  EXPECT_EQ(b[0], 0x30);
  ompbb(5, b.data(), 4, 4);
  EXPECT_EQ(b[0], 0x35);
  // The other order: the write at offset 0 stores the whole byte.
  std::vector<unsigned char> c(2, 0);
  ompbb(5, c.data(), 4, 4);
  ompbb(3, c.data(), 0, 4);
  EXPECT_EQ(c[0], 0x30);
  // A value wider than its field does not spill into the bits ahead of it.
  std::vector<unsigned char> d = bytes({0xa0, 0});
  ompbb(0xff, d.data(), 4, 4);
  EXPECT_EQ(d[0], 0xaf);
  ompbb(7, d.data(), 0, 0);  // nothing written
  EXPECT_EQ(d[0], 0xaf);

  // Build a buffer field after field, left to right, then read it back,
  // including fields that straddle five bytes.
  const int widths[] = {3, 32, 7, 29, 1, 31, 12, 32, 5};
  const unsigned vals[] = {5, 0xdeadbeef, 100, 0x1abcdef1, 1, 0x7fffffff, 0xabc, 0x80000001, 17};
  std::vector<unsigned char> buf(32, 0);
  long off = 0;
  for (int i = 0; i < 9; i++) {
    ompbb(vals[i], buf.data(), off, widths[i]);
    off += widths[i];
  }
  off = 0;
  for (int i = 0; i < 9; i++) {
    EXPECT_EQ(omgbb(buf.data(), off, widths[i]), vals[i]) << i;
    off += widths[i];
  }
}

TEST(ByteOrder, IbmFloats) {
  EXPECT_EQ(ibm2flt(bytes({0x41, 0x10, 0, 0}).data()), 1.0f);
  EXPECT_EQ(ibm2flt(bytes({0xc1, 0x10, 0, 0}).data()), -1.0f);
  EXPECT_EQ(ibm2flt(bytes({0x42, 0x64, 0, 0}).data()), 100.0f);
  EXPECT_EQ(ibm2flt(bytes({0, 0, 0, 0}).data()), 0.0f);
  EXPECT_EQ(ibm2flt(bytes({0x3f, 0x80, 0, 0}).data()), 0.03125f);
  EXPECT_TRUE(std::isinf(ibm2flt(bytes({0x7f, 0xff, 0xff, 0xff}).data())));
  EXPECT_EQ(ibm2flt(bytes({0xff, 0xff, 0xff, 0xff}).data()), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(ibm(1.0f), bytes({0x41, 0x10, 0, 0}));
  EXPECT_EQ(ibm(-1.0f), bytes({0xc1, 0x10, 0, 0}));
  EXPECT_EQ(ibm(0.1f), bytes({0x40, 0x19, 0x99, 0x99}));  // truncated, not rounded
  EXPECT_EQ(ibm(0.0f), bytes({0, 0, 0, 0}));
  EXPECT_EQ(ibm(100.0f), bytes({0x42, 0x64, 0, 0}));
  // Round trips of values whose fraction fits.
  for (float x : {3.5f, -1024.25f, 0.0078125f, 123456.0f}) {
    EXPECT_EQ(ibm2flt(ibm(x).data()), x);
  }
}

TEST(ByteOrder, IbmOverflowIncludesNanAndInfinity) {
  int rc = 0;
  testing::internal::CaptureStderr();
  std::vector<unsigned char> b(4);
  rc = flt2ibm(std::numeric_limits<float>::infinity(), b.data());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(err, "overflow in flt2ibm\n");
  EXPECT_EQ(b, bytes({0x7f, 0xff, 0xff, 0xff}));
  EXPECT_EQ(ibm(-std::numeric_limits<float>::infinity(), &rc), bytes({0xff, 0xff, 0xff, 0xff}));
  EXPECT_EQ(rc, -1);
  ibm(std::numeric_limits<float>::quiet_NaN(), &rc);
  EXPECT_EQ(rc, -1);
  // Every finite float fits the IBM range.
  EXPECT_EQ(ibm(std::numeric_limits<float>::max(), &rc)[0], 0x60);
  EXPECT_EQ(rc, 0);
  float tiny = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(ibm(tiny, &rc), bytes({0x1b, 0x80, 0, 0}));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ibm2flt(ibm(tiny).data()), tiny);
}

TEST(ByteOrder, IeeeBigEndianFloats) {
  EXPECT_EQ(ieee2flt(bytes({0x3f, 0x80, 0, 0}).data()), 1.0f);
  EXPECT_EQ(ieee2flt(bytes({0xc0, 0, 0, 0}).data()), -2.0f);
  EXPECT_EQ(ieee2flt(bytes({0, 0, 0, 0}).data()), 0.0f);
  EXPECT_EQ(ieee2flt(bytes({0x42, 0xc8, 0, 0}).data()), 100.0f);
  std::vector<unsigned char> b(4);
  EXPECT_EQ(flt2ieee(1.0f, b.data()), 0);
  EXPECT_EQ(b, bytes({0x3f, 0x80, 0, 0}));
  flt2ieee(-9.99e33f, b.data());
  EXPECT_EQ(ieee2flt(b.data()), -9.99e33f);
  // Zero signs, denormals and infinity survive a round trip.
  flt2ieee(-0.0f, b.data());
  EXPECT_EQ(b, bytes({0x80, 0, 0, 0}));
  EXPECT_TRUE(std::signbit(ieee2flt(b.data())));
  float tiny = std::numeric_limits<float>::denorm_min() * 3;
  flt2ieee(tiny, b.data());
  EXPECT_EQ(b, bytes({0, 0, 0, 3}));
  EXPECT_EQ(ieee2flt(b.data()), tiny);
  flt2ieee(std::numeric_limits<float>::infinity(), b.data());
  EXPECT_EQ(b, bytes({0x7f, 0x80, 0, 0}));
  EXPECT_TRUE(std::isinf(ieee2flt(b.data())));
}
