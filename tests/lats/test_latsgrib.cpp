// GRIB records and descriptors written by the LATS output, checked octet by
// octet and, where installed, against an independent GRIB decoder.
#include <cmath>
#include <string>
#include <vector>

#include "cmd/cmnstate.h"
#include "data/byteorder.h"
#include "latstest.h"

namespace {

struct record {
  std::vector<unsigned char> pds, gds, bms, bds;
};

unsigned b3(const unsigned char* p) { return (p[0] << 16) | (p[1] << 8) | p[2]; }

// Splits a file into its records' sections.
std::vector<record> records(const std::string& path) {
  std::string s = slurp(path);
  std::vector<record> out;
  size_t at = 0;
  while (at + 8 <= s.size() && s.compare(at, 4, "GRIB") == 0) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    unsigned total = b3(p + 4);
    record r;
    size_t q = 8;
    unsigned n = b3(p + q);
    r.pds.assign(p + q, p + q + n);
    q += n;
    n = b3(p + q);
    r.gds.assign(p + q, p + q + n);
    q += n;
    if (r.pds[7] & 0x40) {
      n = b3(p + q);
      r.bms.assign(p + q, p + q + n);
      q += n;
    }
    n = b3(p + q);
    r.bds.assign(p + q, p + q + n);
    q += n;
    EXPECT_EQ(std::string("7777"), s.substr(at + q, 4));
    EXPECT_EQ(total, q + 4);
    out.push_back(r);
    at += total;
  }
  return out;
}

// One GRIB file with one variable on a grid; returns the file id.
struct gribfile {
  int fid = 0, gid = 0, vid = 0;
};

gribfile makefile(const char* name, int conv, int freq, int delta, const std::vector<double>& lons,
                  const std::vector<double>& lats, const char* var = "ta", int levid = 0,
                  int gridtype = LATS_LINEAR) {
  gribfile g;
  g.fid = lats_create(name, conv, LATS_STANDARD, freq, delta, "ncep", "model", "comment");
  g.gid = lats_grid((std::string("g_") + name).c_str(), gridtype, (int)lons.size(), lons.data(),
                    (int)lats.size(), lats.data());
  g.vid = lats_var(g.fid, var, LATS_FLOAT, LATS_INSTANT, g.gid, levid, "");
  return g;
}

std::vector<double> range(double a, double step, int n) {
  std::vector<double> v;
  for (int i = 0; i < n; i++) v.push_back(a + step * i);
  return v;
}

}  // namespace

TEST(LatsGribBits, PacksMostSignificantBitFirst) {
  unsigned int vals[3] = {5, 2, 7};
  unsigned char out[2];
  EXPECT_EQ(2u, list2bitstream(vals, out, 3, 3));
  EXPECT_EQ(0xAB, out[0]);   // 101 010 11
  EXPECT_EQ(0x80, out[1]);   // 1 then zero fill
  EXPECT_EQ(0u, list2bitstream(vals, out, 3, 0));
  int c, y;
  latsCentury(2000, &c, &y);
  EXPECT_EQ(20, c);
  EXPECT_EQ(100, y);
  latsCentury(1979, &c, &y);
  EXPECT_EQ(20, c);
  EXPECT_EQ(79, y);
  latsCentury(2001, &c, &y);
  EXPECT_EQ(21, c);
  EXPECT_EQ(1, y);
}

TEST_F(LatsTest, GribRecordSectionsAndDecoderAgree) {
  std::vector<double> lons = range(0, 10, 4), lats = range(-10, 10, 3);
  gribfile g = makefile("a", LATS_GRIB, LATS_HOURLY, 6, lons, lats);
  ASSERT_GT(g.vid, 0);
  ASSERT_EQ(1, lats_miss_float(g.fid, g.vid, -999.0f, 0.01f));
  std::vector<float> f(12);
  for (int i = 0; i < 12; i++) f[i] = 250.0f + i * 1.25f;
  f[5] = -999.0f;
  ASSERT_EQ(1, lats_write(g.fid, g.vid, 0, 2000, 2, 29, 6, f.data()));
  ASSERT_EQ(1, lats_close(g.fid));
  std::vector<record> r = records("a.grb");
  ASSERT_EQ(1u, r.size());
  const record& x = r[0];
  EXPECT_EQ(0xC0, x.pds[7]);          // GDS and BMS
  EXPECT_EQ(11, x.pds[8]);            // parameter of ta
  EXPECT_EQ(99, x.pds[9]);            // no level
  EXPECT_EQ(100, x.pds[12]);          // year 2000 is year 100 ...
  EXPECT_EQ(20, x.pds[24]);           // ... of century 20
  EXPECT_EQ(2, x.pds[13]);
  EXPECT_EQ(29, x.pds[14]);
  EXPECT_EQ(6, x.pds[15]);
  EXPECT_EQ(100, x.pds[4]);           // ncep in the built-in table
  EXPECT_EQ(21, x.pds[5]);
  EXPECT_EQ(2, x.pds[25]);
  ASSERT_EQ(32u, x.gds.size());
  EXPECT_EQ(0, x.gds[5]);
  EXPECT_EQ(4, x.gds[7]);
  EXPECT_EQ(3, x.gds[9]);
  EXPECT_EQ(0x80, x.gds[10]);         // first latitude -10: sign bit
  EXPECT_EQ(10000u, b3(&x.gds[10]) & 0x7fffff);
  EXPECT_EQ(0x40, x.gds[27]);         // rows run south to north
  ASSERT_FALSE(x.bms.empty());
  EXPECT_EQ(0xFB, x.bms[6]);          // point 6 missing
  EXPECT_EQ(0x00, x.bms[7] & 0x0F);
  // D = 1 for ta: range 13.75 * 10 needs 8 bits over 11 defined points.
  EXPECT_EQ(1, x.pds[27]);
  EXPECT_EQ(8, x.bds[10]);
  EXPECT_EQ(22u, x.bds.size());     // 11 octets of values + 11, even
  EXPECT_EQ(0, x.bds[3]);             // no unused bits
  if (!have("grib_get_data")) GTEST_SKIP() << "grib_get_data not installed";
  std::string out = run("grib_get_data -m MISSING a.grb 2>&1");
  std::istringstream in(out);
  std::string line;
  std::getline(in, line);
  int k = 0;
  double lat, lon;
  std::string val;
  while (in >> lat >> lon >> val) {
    int i = k % 4, j = k / 4;
    EXPECT_DOUBLE_EQ(lats[j], lat) << k;
    EXPECT_DOUBLE_EQ(lons[i], lon) << k;
    if (k == 5) EXPECT_EQ("MISSING", val);
    else EXPECT_NEAR(f[k], std::stod(val), 0.051) << k;
    k++;
  }
  EXPECT_EQ(12, k);
}
