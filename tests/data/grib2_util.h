// A small GRIB edition 2 writer for the tests: hand-built messages of
// latitude-longitude (regular or reduced) and projected grids in simple
// packing, with or without a bit map, values given already packed so that
// the tests know what the reader must make of them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace g2test {

inline std::string be(uint64_t v, int n) {
  std::string s(static_cast<size_t>(n), '\0');
  for (int i = n - 1; i >= 0; i--, v >>= 8) s[static_cast<size_t>(i)] = static_cast<char>(v & 255);
  return s;
}
// Sign and magnitude.
inline std::string sm(int64_t v, int n) {
  const uint64_t sign = uint64_t{1} << (8 * n - 1);
  return be(v < 0 ? sign | static_cast<uint64_t>(-v) : static_cast<uint64_t>(v), n);
}
inline std::string ieee(float f) {
  uint32_t w;
  std::memcpy(&w, &f, 4);
  return be(w, 4);
}
inline std::string sec(int num, const std::string& body) {
  return be(5 + body.size(), 4) + static_cast<char>(num) + body;
}

// Fields of b bits, padded to whole octets.
inline std::string bits(const std::vector<uint32_t>& v, int b) {
  std::string s((v.size() * b + 7) / 8, '\0');
  size_t at = 0;
  for (uint32_t x : v)
    for (int k = b - 1; k >= 0; k--, at++)
      if ((x >> k) & 1) s[at / 8] = static_cast<char>(s[at / 8] | (0x80 >> (at % 8)));
  return s;
}

inline std::string sec1() {
  return sec(1, be(7, 2) + be(0, 2) + "\x02\x01\x01" + be(2020, 2) + std::string("\x01\x02\x03\x00\x00\x00\x01", 7));
}

// The grid: template 0 (lat-lon) unless tmpl says otherwise; pl non-empty
// makes it reduced (then ni is missing).  Angles in degrees.
struct grid {
  int tmpl = 0;
  int ni = 4, nj = 3;
  double lat1 = 0, lon1 = 0, lat2 = 20, lon2 = 30;
  double di = 10, dj = 10;
  int scan = 0x40;
  int ngauss = 0;
  std::vector<int> pl;
  // Projections: lad, lov, secant latitudes, centre flag; lengths in metres.
  double lad = 60, lov = 0, latin1 = 0, latin2 = 0;
  int centre = 0, resflags = 0;
  double dx = 100000, dy = 100000;
  double splat = -90, splon = 0, rot = 0;
};

inline std::string mdeg(double d) { return sm(static_cast<int64_t>(d * 1e6 + (d < 0 ? -0.5 : 0.5)), 4); }
inline std::string udeg(double d) { return be(static_cast<uint64_t>(d * 1e6 + 0.5), 4); }

inline std::string sec3(const grid& g) {
  int64_t npts = 0;
  for (int p : g.pl) npts += p;
  if (g.pl.empty()) npts = static_cast<int64_t>(g.ni) * g.nj;
  std::string s = std::string("\x00", 1) + be(npts, 4) + static_cast<char>(g.pl.empty() ? 0 : 2) +
                  static_cast<char>(g.pl.empty() ? 0 : 1) + be(g.tmpl, 2);
  s += std::string("\x06", 1) + std::string(15, '\xff');  // earth: sphere of 6371229 m
  const std::string ni = g.pl.empty() ? be(g.ni, 4) : be(0xffffffffu, 4);
  switch (g.tmpl) {
    case 0: case 1: case 40:
      s += ni + be(g.nj, 4) + be(0, 4) + be(0xffffffffu, 4) + mdeg(g.lat1) + mdeg(g.lon1) +
           static_cast<char>(g.resflags) + mdeg(g.lat2) + mdeg(g.lon2) +
           (g.pl.empty() ? udeg(g.di) : be(0xffffffffu, 4)) + (g.tmpl == 40 ? be(g.ngauss, 4) : udeg(g.dj)) +
           static_cast<char>(g.scan);
      if (g.tmpl == 1) s += mdeg(g.splat) + mdeg(g.splon) + ieee(static_cast<float>(g.rot));
      break;
    case 10:
      s += be(g.ni, 4) + be(g.nj, 4) + mdeg(g.lat1) + mdeg(g.lon1) + static_cast<char>(g.resflags) + mdeg(g.lad) +
           mdeg(g.lat2) + mdeg(g.lon2) + static_cast<char>(g.scan) + be(0, 4) + be(g.dx * 1000, 4) +
           be(g.dy * 1000, 4);
      break;
    case 20: case 30:
      s += be(g.ni, 4) + be(g.nj, 4) + mdeg(g.lat1) + udeg(g.lon1) + static_cast<char>(g.resflags) + mdeg(g.lad) +
           mdeg(g.lov) + be(g.dx * 1000, 4) + be(g.dy * 1000, 4) + static_cast<char>(g.centre) +
           static_cast<char>(g.scan);
      if (g.tmpl == 30) s += mdeg(g.latin1) + mdeg(g.latin2) + mdeg(-90) + mdeg(0);
      break;
  }
  for (int p : g.pl) s += be(p, 2);
  return sec(3, s);
}

// Product template 0: temperature at 850 hPa, 6 hours ahead.
inline std::string sec4() {
  return sec(4, be(0, 2) + be(0, 2) + be(0, 1) + be(0, 1) + be(2, 1) + be(0, 1) + be(0, 1) + be(0, 2) + be(0, 1) +
                    be(1, 1) + be(6, 4) + be(100, 1) + be(0, 1) + be(85000, 4) + be(255, 1) + be(255, 1) +
                    be(0xffffffffu, 4));
}

// Simple packing of n values.
inline std::string sec5(int64_t n, float ref, int e, int d, int nbits, int tmpl = 0) {
  return sec(5, be(n, 4) + be(tmpl, 2) + ieee(ref) + sm(e, 2) + sm(d, 2) + static_cast<char>(nbits) + '\0');
}
inline std::string sec6(const std::vector<bool>& bm) {
  if (bm.empty()) return sec(6, std::string("\xff", 1));
  std::vector<uint32_t> v(bm.begin(), bm.end());
  return sec(6, std::string("\x00", 1) + bits(v, 1));
}
inline std::string sec7(const std::vector<uint32_t>& x, int nbits) { return sec(7, bits(x, nbits)); }

inline std::string message(const std::vector<std::string>& secs, int discipline = 0) {
  std::string body;
  for (const std::string& s : secs) body += s;
  return std::string("GRIB\x00\x00", 6) + static_cast<char>(discipline) + '\x02' + be(16 + body.size() + 4, 8) +
         body + "7777";
}

// A whole message of one field in simple packing: x the packed values of
// the points present (all, without bit map).
inline std::string simple(const grid& g, const std::vector<uint32_t>& x, int nbits, const std::vector<bool>& bm = {},
                          float ref = 0, int e = 0, int d = 0) {
  return message({sec1(), sec3(g), sec4(), sec5(static_cast<int64_t>(x.size()), ref, e, d, nbits), sec6(bm),
                  sec7(x, nbits)});
}

inline const unsigned char* u(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

}  // namespace g2test
