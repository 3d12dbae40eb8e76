// A small GRIB edition 1 writer for the tests: hand-built records with
// simple packing, an optional latitude-longitude grid description and an
// optional bit map.  Values are given already packed, so that the tests
// know exactly what the reader must decode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/byteorder.h"

namespace gribtest {

struct grec {
  int parm = 11, ltyp = 1, level = 0;
  int l1 = -1, l2 = -1;          // octets 11, 12 when both given
  int yr = 1990, mo = 1, dy = 1, hr = 0, mn = 0;
  int tunit = 1, p1 = 0, p2 = 0, trange = 0;
  int gridid = 255;
  int pdslen = 28;               // 24..28 used by the tests
  bool gds = true;
  int ni = 4, nj = 3;
  int D = 0, E = 0;
  float ref = 0.0f;
  int bits = 8;
  int pack = 0;                  // packing flags of the data section
  std::vector<uint32_t> packed;  // one per present point
  std::vector<bool> bitmap;      // empty: no bit map
  int edition = 1;
};

inline void put(std::string& s, size_t at, unsigned v, int n) {
  for (int i = n - 1; i >= 0; i--, v >>= 8) s[at + i] = static_cast<char>(v & 255);
}

inline std::string pds(const grec& r) {
  std::string s(r.pdslen, '\0');
  put(s, 0, r.pdslen, 3);
  s[3] = static_cast<char>(r.edition == 0 ? 0 : 3);  // edition 0 keeps its edition here
  s[4] = 7;
  s[6] = static_cast<char>(r.gridid);
  s[7] = static_cast<char>((r.gds ? 0x80 : 0) | (r.bitmap.empty() ? 0 : 0x40));
  s[8] = static_cast<char>(r.parm);
  s[9] = static_cast<char>(r.ltyp);
  if (r.l1 >= 0) {
    s[10] = static_cast<char>(r.l1);
    s[11] = static_cast<char>(r.l2);
  } else {
    put(s, 10, r.level, 2);
  }
  int yy = r.yr % 100;
  if (yy == 0 && r.pdslen >= 25) yy = 100;
  s[12] = static_cast<char>(yy);
  s[13] = static_cast<char>(r.mo);
  s[14] = static_cast<char>(r.dy);
  s[15] = static_cast<char>(r.hr);
  s[16] = static_cast<char>(r.mn);
  s[17] = static_cast<char>(r.tunit);
  s[18] = static_cast<char>(r.p1);
  s[19] = static_cast<char>(r.p2);
  s[20] = static_cast<char>(r.trange);
  if (r.pdslen >= 25) s[24] = static_cast<char>((r.yr - 1) / 100 + 1);
  if (r.pdslen >= 28) put(s, 26, (r.D < 0 ? 0x8000u : 0u) | static_cast<unsigned>(r.D < 0 ? -r.D : r.D), 2);
  return s;
}

// Latitude-longitude grid from (-90, 0) northward and eastward.
inline std::string gds(const grec& r) {
  std::string s(32, '\0');
  put(s, 0, 32, 3);
  s[4] = static_cast<char>(255);
  put(s, 6, r.ni, 2);
  put(s, 8, r.nj, 2);
  put(s, 10, 0x800000u | 90000u, 3);  // latitude -90
  put(s, 13, 0, 3);
  s[16] = static_cast<char>(0x80);
  put(s, 17, 90000, 3);
  put(s, 20, 270000, 3);
  put(s, 23, 90000, 2);
  put(s, 25, 90000, 2);
  s[27] = 0x40;  // rows south to north
  return s;
}

inline std::string bms(const grec& r) {
  size_t nb = (r.bitmap.size() + 7) / 8;
  size_t len = 6 + nb;
  if (len % 2) len++;
  std::string s(len, '\0');
  put(s, 0, static_cast<unsigned>(len), 3);
  s[3] = static_cast<char>((len - 6) * 8 - r.bitmap.size());
  for (size_t k = 0; k < r.bitmap.size(); k++)
    if (r.bitmap[k]) s[6 + k / 8] |= static_cast<char>(0x80 >> (k % 8));
  return s;
}

inline std::string bds(const grec& r) {
  size_t nbits = r.packed.size() * static_cast<size_t>(r.bits);
  size_t len = 11 + (nbits + 7) / 8;
  if (len % 2) len++;
  std::string s(len, '\0');
  put(s, 0, static_cast<unsigned>(len), 3);
  s[3] = static_cast<char>(r.pack | ((len - 11) * 8 - nbits));
  put(s, 4, (r.E < 0 ? 0x8000u : 0u) | static_cast<unsigned>(r.E < 0 ? -r.E : r.E), 2);
  unsigned char ibm[4];
  flt2ibm(r.ref, ibm);
  for (int i = 0; i < 4; i++) s[6 + i] = static_cast<char>(ibm[i]);
  s[10] = static_cast<char>(r.bits);
  std::vector<unsigned char> body(len - 11 + 8, 0);
  long off = 0;
  for (uint32_t v : r.packed) {
    if (r.bits > 0) ompbb(v, body.data(), off, r.bits);
    off += r.bits;
  }
  for (size_t i = 0; i + 11 < len; i++) s[11 + i] = static_cast<char>(body[i]);
  return s;
}

// One whole record.
inline std::string record(const grec& r) {
  std::string body = pds(r);
  if (r.gds) body += gds(r);
  if (!r.bitmap.empty()) body += bms(r);
  body += bds(r);
  std::string s = "GRIB";
  if (r.edition == 1) {
    std::string is(4, '\0');
    put(is, 0, static_cast<unsigned>(8 + body.size() + 4), 3);
    is[3] = 1;
    s += is;
  }
  s += body;
  s += "7777";
  return s;
}

// Packed values 0, 1, 2, ... n-1 scaled by step.
inline std::vector<uint32_t> ramp(int n, uint32_t step = 1, uint32_t start = 0) {
  std::vector<uint32_t> v(n);
  for (int i = 0; i < n; i++) v[i] = start + step * static_cast<uint32_t>(i);
  return v;
}

// Descriptor of a 4 x 3 grid, three daily times, with the given extra
// records and variables.
inline std::string ctl(const std::string& extra, const std::string& vars,
                       const std::string& tdef = "tdef 3 linear 00z01jan1990 1dy\n",
                       const std::string& zdef = "zdef 1 levels 1000\n") {
  return "dset ^g.grb\nindex ^g.idx\nundef -9.99e8\n" + extra +
         "xdef 4 linear 0 90\nydef 3 linear -90 90\n" + zdef + tdef + vars + "endvars\n";
}

inline const char* kTwoVars = "vars 2\na 0 11,1,0 first\nb 0 12,1,0 second\n";

inline grec rec(int parm, int dy, float ref) {
  grec r;
  r.parm = parm;
  r.dy = dy;
  r.ref = ref;
  r.packed = ramp(12);
  return r;
}

}  // namespace gribtest
