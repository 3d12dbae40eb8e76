// GRIB edition 2 messages built by hand: the order of the points for every
// scanning mode, the scaling, reduced rows filled out, damaged messages
// refused with their reasons (and never read past their end), the
// projections both ways, Gaussian latitudes, the interpolation record of a
// projected grid and the codec seam.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/grib2.h"
#include "data/gribfield.h"
#include "data/pdef.h"
#include "grib2_util.h"

using namespace g2test;

namespace {

const float kU = -9.99e8f;

// The fields of msg, exactly len bytes of it on the heap (so that a read
// past them is caught by the address sanitizer).
int scan(const std::string& msg, std::vector<g2field>* fs, std::string* why, size_t len = std::string::npos) {
  len = std::min(len, msg.size());
  std::unique_ptr<unsigned char[]> b(new unsigned char[len ? len : 1]);
  std::memcpy(b.get(), msg.data(), len);
  return g2scanmsg(b.get(), len, fs, why);
}

// The first field of msg decoded, or the reason it was not.
std::vector<float> decode(const std::string& msg, std::string* why) {
  std::vector<g2field> fs;
  if (g2scanmsg(u(msg), msg.size(), &fs, why) || fs.empty()) return {};
  std::vector<float> out(static_cast<size_t>(g2points(fs[0])));
  if (g2decode(u(msg), msg.size(), fs[0], out.data(), out.size(), kU, why)) return {};
  return out;
}

std::vector<uint32_t> oneto(int n) {
  std::vector<uint32_t> v;
  for (int k = 1; k <= n; k++) v.push_back(static_cast<uint32_t>(k));
  return v;
}

TEST(Grib2, PointsComeInTheProgramsOrderForEveryScanningMode) {
  // A 3 x 2 grid whose message holds 1..6 in its own order; the program's
  // order is west to east, south to north.
  struct {
    int scan;
    std::vector<float> want;
  } rows[] = {
      {0x40, {1, 2, 3, 4, 5, 6}},  {0x00, {4, 5, 6, 1, 2, 3}}, {0xc0, {3, 2, 1, 6, 5, 4}},
      {0x80, {6, 5, 4, 3, 2, 1}},  {0x60, {1, 3, 5, 2, 4, 6}}, {0x20, {2, 4, 6, 1, 3, 5}},
      {0xe0, {5, 3, 1, 6, 4, 2}},  {0x50, {1, 2, 3, 6, 5, 4}}, {0x10, {6, 5, 4, 1, 2, 3}},
      {0xd0, {3, 2, 1, 4, 5, 6}},  {0x70, {1, 4, 5, 2, 3, 6}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.scan);
    grid g;
    g.ni = 3;
    g.nj = 2;
    g.scan = r.scan;
    std::string why;
    EXPECT_EQ(decode(simple(g, oneto(6), 8), &why), r.want) << why;
  }
  // With a bit map: the third point of the message has no value.
  grid g;
  g.ni = 3;
  g.nj = 2;
  g.scan = 0;
  std::string why;
  EXPECT_EQ(decode(simple(g, {1, 2, 4, 5, 6}, 8, {true, true, false, true, true, true}), &why),
            (std::vector<float>{4, 5, 6, 1, 2, kU}))
      << why;
}

TEST(Grib2, ValuesAreScaledAndConstantFieldsTakeTheReference) {
  grid g;
  g.ni = 3;
  g.nj = 1;
  std::string why;
  // (R + X 2^E) / 10^D.
  EXPECT_EQ(decode(simple(g, {0, 1, 255}, 8, {}, 100.0f, -1, 1), &why),
            (std::vector<float>{10.0f, 10.05f, static_cast<float>((100 + 127.5) / 10)}))
      << why;
  EXPECT_EQ(decode(simple(g, {0, 1, 3}, 2, {}, -5.0f, 3, -2), &why), (std::vector<float>{-500.0f, 300.0f, 1900.0f}))
      << why;
  // No bits: every point is the reference as it stands.
  EXPECT_EQ(decode(simple(g, {0, 0, 0}, 0, {}, 5.25f, 4, 2), &why), (std::vector<float>{5.25f, 5.25f, 5.25f})) << why;
}

TEST(Grib2, ReducedRowsAreFilledOutAlongEachRow) {
  grid g;
  g.nj = 2;
  g.pl = {2, 4};
  g.lat1 = 0;
  g.lat2 = 10;
  g.lon1 = 0;
  g.lon2 = 270;  // round the globe: the widest row's last point
  std::string why;
  std::vector<g2field> fs;
  ASSERT_EQ(scan(simple(g, {10, 30, 1, 2, 3, 4}, 8), &fs, &why), 0) << why;
  EXPECT_EQ(fs[0].grid.ni, 4);
  EXPECT_EQ(g2points(fs[0]), 8);
  // Round the globe the row closes on its first point.
  EXPECT_EQ(decode(simple(g, {10, 30, 1, 2, 3, 4}, 8), &why), (std::vector<float>{10, 20, 30, 20, 1, 2, 3, 4})) << why;
  // A point without a value spoils the targets it is a neighbour of.
  EXPECT_EQ(decode(simple(g, {10, 1, 2, 3, 4}, 8, {true, false, true, true, true, true}), &why),
            (std::vector<float>{10, kU, kU, kU, 1, 2, 3, 4}))
      << why;
  // A regional row spans the first to the last longitude.
  g.lon2 = 30;
  EXPECT_EQ(decode(simple(g, {10, 40, 1, 2, 3, 4}, 8), &why), (std::vector<float>{10, 20, 30, 40, 1, 2, 3, 4})) << why;
  g2axes ax;
  ASSERT_EQ(g2gridaxes(fs[0], &ax, &why), 0) << why;
  EXPECT_EQ(ax.nx, 4);
  EXPECT_DOUBLE_EQ(ax.dlon, 90.0);
  EXPECT_TRUE(ax.wrap);
}

// The messages of a data set read one after another in the room kept from
// one to the next: each gives its own values whatever the one before left
// there (a shorter message after a longer, points without a value after a
// field that had them all, another grid), and one refused leaves the next
// to read.
TEST(Grib2, FieldsReadInRoomKeptFromOneToTheNext) {
  grid g, small;
  small.ni = small.nj = 2;
  std::vector<uint32_t> big;
  for (uint32_t k = 0; k < 12; k++) big.push_back(1000 * k + 7);
  const std::string msgs[] = {simple(g, big, 16), simple(g, oneto(10), 8, {1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0}),
                              simple(small, oneto(4), 4)};
  FILE* f = std::tmpfile();
  for (const std::string& m : msgs) std::fwrite(m.data(), 1, m.size(), f);
  std::fflush(f);
  const int64_t at[] = {0, static_cast<int64_t>(msgs[0].size()), static_cast<int64_t>(msgs[0].size() + msgs[1].size())};
  const std::vector<float> first(big.begin(), big.end()), gaps = {1, 2, kU, 3, 4, 5, 6, 7, 8, 9, 10, kU};
  const struct {
    int msg, npts;
    std::vector<float> want;  // empty: not the data set's grid
  } rows[] = {{0, 12, first}, {1, 12, gaps}, {0, 12, first}, {2, 4, {1, 2, 3, 4}}, {0, 4, {}}, {0, 12, first}};
  g2held h;
  for (const auto& r : rows) {
    std::string why;
    EXPECT_EQ(g2record(f, at[r.msg], 1, r.npts, kU, &h, &why), r.want.empty() ? 1 : 0) << why;
    if (!r.want.empty()) {
      EXPECT_EQ(std::vector<float>(h.field.get(), h.field.get() + r.npts), r.want) << r.msg;
    }
  }
  EXPECT_EQ(h.msgroom, msgs[0].size());  // made once, for the longest
  std::fclose(f);
}

// A valid message of a 4 x 3 grid with a bit map; each row damages it.
struct damage {
  const char* name;
  std::function<void(std::string&)> hurt;
  const char* reason;  // part of the reason given
};

std::string base() {
  grid g;
  return simple(g, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 8,
                {true, true, true, true, true, false, true, true, true, true, true, true});
}

// Offset of section n of a message built by simple().
size_t secat(const std::string& m, int n) {
  size_t pos = 16;
  while (pos + 5 <= m.size() && static_cast<unsigned char>(m[pos + 4]) != n) {
    pos += static_cast<size_t>(static_cast<unsigned char>(m[pos]) << 24 | static_cast<unsigned char>(m[pos + 1]) << 16 |
                               static_cast<unsigned char>(m[pos + 2]) << 8 | static_cast<unsigned char>(m[pos + 3]));
  }
  return pos;
}
void put(std::string& m, size_t at, const std::string& bytes) { m.replace(at, bytes.size(), bytes); }

TEST(Grib2, DamagedMessagesAreRefusedWithTheirReason) {
  const damage rows[] = {
      {"length beyond the data", [](std::string& m) { put(m, 8, be(m.size() + 1, 8)); }, "passes the end of the data"},
      {"no end mark", [](std::string& m) { m[m.size() - 1] = 'X'; }, "does not end in 7777"},
      {"edition 1", [](std::string& m) { m[7] = 1; }, "edition 1"},
      {"section length 0", [](std::string& m) { put(m, secat(m, 4), be(0, 4)); }, "section 4 length"},
      {"section past the end", [](std::string& m) { put(m, secat(m, 3), be(5000, 4)); }, "section 3 length"},
      {"sections out of order", [](std::string& m) { m[secat(m, 4) + 4] = 5; }, "out of order"},
      {"points not the grid's", [](std::string& m) { put(m, secat(m, 3) + 6, be(13, 4)); }, "does not have its 13"},
      {"values not the bit map's", [](std::string& m) { put(m, secat(m, 5) + 5, be(12, 4)); },
       "12 values where its grid and bit map have 11"},
      {"values wider than the data", [](std::string& m) { m[secat(m, 5) + 19] = 9; }, "shorter than its values"},
      {"values of 40 bits", [](std::string& m) { m[secat(m, 5) + 19] = 40; }, "40 bits"},
      {"bit map of no earlier field", [](std::string& m) { m[secat(m, 6) + 5] = static_cast<char>(254); },
       "bit map of an earlier field"},
      {"predefined bit map", [](std::string& m) { m[secat(m, 6) + 5] = 7; }, "predefined bit map 7"},
      {"sides whose product passes 63 bits",
       [](std::string& m) {
         put(m, secat(m, 3) + 30, be(0xffffff03u, 4));
         put(m, secat(m, 3) + 34, be(2475098112u, 4));
       },
       "does not have its 12 points"},
      {"grid template not read", [](std::string& m) { put(m, secat(m, 3) + 12, be(90, 2)); }, "3.90 is not read"},
      {"packing not read", [](std::string& m) { put(m, secat(m, 5) + 9, be(50, 2)); }, "5.50 is not read"},
      {"grid by number", [](std::string& m) { m[secat(m, 3) + 5] = 1; }, "predefined number"},
      {"a grid larger than memory",
       [](std::string& m) {
         grid g;
         g.ni = 65535;
         g.nj = 65535;
         m = message({sec1(), sec3(g), sec4(), sec5(int64_t{65535} * 65535, 1.0f, 0, 0, 0), sec6({}), sec7({}, 0)});
       },
       "larger than a grid may be"},
      {"reduced rows not adding up",
       [](std::string& m) {
         grid g;
         g.nj = 2;
         g.pl = {2, 4};
         m = simple(g, {1, 2, 3, 4, 5, 6}, 8);
         put(m, secat(m, 3) + 6, be(7, 4));
       },
       "rows do not add up"},
  };
  for (const damage& d : rows) {
    SCOPED_TRACE(d.name);
    std::string m = base();
    d.hurt(m);
    std::vector<g2field> fs;
    std::string why;
    EXPECT_EQ(scan(m, &fs, &why), 1);
    EXPECT_NE(why.find(d.reason), std::string::npos) << why;
  }
}

// Complex packing with its descriptors damaged: refused at the decode.
TEST(Grib2, DamagedGroupsAreRefused) {
  grid g;
  g.ni = 4;
  g.nj = 1;
  // Two groups: references 5 and 9 (4 bits), widths 1 and 2 (2 bits), the
  // first of length 2 (2 bits), the last of 2; values 0 1 | 3 2.
  auto make = [&](uint32_t ngroups, int widthref, uint32_t lastlen, size_t keep = 4) {
    const std::string s5 = sec(5, be(4, 4) + be(2, 2) + ieee(0) + sm(0, 2) + sm(0, 2) + std::string("\x04\x00", 2) +
                                      std::string("\x01\x00", 2) + be(0, 4) + be(0, 4) + be(ngroups, 4) +
                                      static_cast<char>(widthref) + "\x02" + be(0, 4) + "\x01" + be(lastlen, 4) + "\x02");
    // The values run on from group to group: 0 1 in 1 bit, 3 2 in 2.
    const std::string data = bits({5, 9}, 4) + bits({1, 2}, 2) + bits({2, 0}, 2) + "\x78";
    return message({sec1(), sec3(g), sec4(), s5, sec6({}), sec(7, data.substr(0, keep))});
  };
  std::string why;
  EXPECT_EQ(decode(make(2, 0, 2), &why), (std::vector<float>{5, 6, 12, 11})) << why;
  struct {
    const char* name;
    std::string msg;
    const char* reason;
  } rows[] = {
      {"more groups than values", make(5, 0, 2), "in 5 groups"},
      {"groups past the data", make(2, 0, 2, 2), "shorter than its groups"},
      {"values past the data", make(2, 0, 2, 3), "group values pass the end"},
      {"groups 33 bits wide", make(2, 32, 2), "33 bits wide"},
      {"groups holding too many values", make(2, 0, 3), "more values than the field"},
      {"groups holding too few values", make(2, 0, 1), "fewer values than the field"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    why.clear();
    EXPECT_TRUE(decode(r.msg, &why).empty());
    EXPECT_NE(why.find(r.reason), std::string::npos) << why;
  }
}

// A message cut anywhere is refused, and so is every byte of it damaged
// in three ways: never a read past its end, and whatever scans decodes or
// says why not.
TEST(Grib2, CutOrDamagedAnywhereNeverReadsPastTheEnd) {
  const std::string m = base();
  for (size_t len = 0; len < m.size(); len++) {
    std::vector<g2field> fs;
    std::string why;
    EXPECT_EQ(scan(m, &fs, &why, len), 1) << len;
  }
  for (size_t at = 0; at < m.size(); at++) {
    for (int how = 0; how < 3; how++) {
      std::string d = m;
      d[at] = static_cast<char>(how == 0 ? 0 : how == 1 ? 0xff : d[at] ^ 0x81);
      std::vector<g2field> fs;
      std::string why;
      std::unique_ptr<unsigned char[]> b(new unsigned char[d.size()]);
      std::memcpy(b.get(), d.data(), d.size());
      if (g2scanmsg(b.get(), d.size(), &fs, &why)) continue;
      for (const g2field& f : fs) {
        if (g2points(f) > 100000) continue;
        std::vector<float> out(static_cast<size_t>(g2points(f)));
        if (g2decode(b.get(), d.size(), f, out.data(), out.size(), kU, &why)) {
          EXPECT_FALSE(why.empty());
        }
      }
    }
  }
}

TEST(Grib2, CodecsRefuseDamagedStreams) {
  grid g;
  for (int tmpl : {40, 41, 42}) {
    SCOPED_TRACE(tmpl);
    std::string s5 = sec(5, be(12, 4) + be(tmpl, 2) + ieee(0) + sm(0, 2) + sm(0, 2) + std::string("\x08\x00", 2) +
                                (tmpl == 42 ? std::string("\x0e\x20\x00\x80", 4) : std::string("\x00\xff", 2)));
    const std::string m = message({sec1(), sec3(g), sec4(), s5, sec6({}), sec(7, "Z")});
    std::string why;
    EXPECT_TRUE(decode(m, &why).empty());
    EXPECT_NE(why.find(tmpl == 40 ? "JPEG 2000" : tmpl == 41 ? "PNG" : "CCSDS"), std::string::npos) << why;
  }
}

// The codec libraries are called through one function pointer, which a
// higher layer may point elsewhere.
TEST(Grib2, CodecsAreCalledThroughTheSeam) {
  grid g;
  const std::string s5 = sec(5, be(12, 4) + be(41, 2) + ieee(1.5f) + sm(0, 2) + sm(1, 2) + std::string("\x08\x00", 2));
  const std::string m = message({sec1(), sec3(g), sec4(), s5, sec6({}), sec(7, "stream")});
  static int calls;
  calls = 0;
  const g2codecfn keep = g2codec;
  g2codec = [](int kind, const unsigned char* in, size_t inlen, const g2repr& r, size_t nout,
               std::string*) -> const uint32_t* {
    static std::vector<uint32_t> out;
    calls++;
    out.resize(nout);
    for (size_t k = 0; k < nout; k++) out[k] = static_cast<uint32_t>(k + inlen + r.nbits + kind - 41);
    return std::string(reinterpret_cast<const char*>(in), inlen) == "stream" ? out.data() : nullptr;
  };
  std::string why;
  const std::vector<float> v = decode(m, &why);
  g2codec = keep;
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(v.size(), 12u) << why;
  // The integers the codec gave, scaled.
  EXPECT_FLOAT_EQ(v[0], (1.5f + 14) / 10);
  EXPECT_FLOAT_EQ(v[11], (1.5f + 25) / 10);
}

TEST(Grib2, GaussianLatitudesToDoublePrecision) {
  const std::vector<double> one = g2gausslats(1);
  ASSERT_EQ(one.size(), 2u);
  EXPECT_NEAR(one[1], std::asin(1 / std::sqrt(3.0)) * 180 / M_PI, 1e-13);
  EXPECT_NEAR(one[0], -one[1], 1e-13);
  const std::vector<double> two = g2gausslats(2);
  const double x1 = std::sqrt((3 - 2 * std::sqrt(1.2)) / 7), x2 = std::sqrt((3 + 2 * std::sqrt(1.2)) / 7);
  EXPECT_NEAR(two[2], std::asin(x1) * 180 / M_PI, 1e-13);
  EXPECT_NEAR(two[3], std::asin(x2) * 180 / M_PI, 1e-13);
  // The first parallel of the 640-parallel grids as the samples give it.
  const std::vector<double> big = g2gausslats(640);
  EXPECT_NEAR(big.back(), 89.892396, 5e-7);
  for (size_t k = 1; k < big.size(); k++) ASSERT_LT(big[k - 1], big[k]);
}

// A projected field's native points and their latitudes and longitudes
// are one another's, and a southern grid is the mirror of its northern one.
TEST(Grib2, ProjectionsGoBothWaysAndMirrorBetweenHemispheres) {
  grid gs[4];
  gs[0].tmpl = 1;
  gs[0].splat = -40, gs[0].splon = 10, gs[0].lat1 = -20, gs[0].lon1 = 340, gs[0].lat2 = 0, gs[0].lon2 = 10;
  gs[1].tmpl = 10;
  gs[1].lat1 = -10, gs[1].lon1 = 350, gs[1].lad = 20, gs[1].lat2 = 0, gs[1].lon2 = 0;
  gs[2].tmpl = 20;
  gs[2].lat1 = 20, gs[2].lon1 = 200, gs[2].lov = 255, gs[2].lad = 60;
  gs[3].tmpl = 30;
  gs[3].lat1 = 20, gs[3].lon1 = 230, gs[3].lov = 265, gs[3].latin1 = 25, gs[3].latin2 = 45, gs[3].lad = 25;
  for (grid& g : gs) {
    SCOPED_TRACE(g.tmpl);
    g.ni = 4;
    g.nj = 3;
    std::vector<g2field> fs;
    std::string why;
    ASSERT_EQ(scan(simple(g, oneto(12), 8), &fs, &why), 0) << why;
    double la, lo, gi, gj;
    ASSERT_EQ(g2natgeo(fs[0], 1, 1, &la, &lo), 0);
    if (g.tmpl != 1) {  // a rotated grid's first point is in its own frame
      EXPECT_NEAR(la, g.lat1, 1e-9);
      EXPECT_NEAR(std::remainder(lo - g.lon1, 360.0), 0, 1e-9);
    }
    for (double i : {1.0, 2.5, 4.0})
      for (double j : {1.0, 1.7, 3.0}) {
        ASSERT_EQ(g2natgeo(fs[0], i, j, &la, &lo), 0);
        ASSERT_EQ(g2geonat(fs[0], la, lo, &gi, &gj), 0);
        EXPECT_NEAR(gi, i, 1e-7);
        EXPECT_NEAR(gj, j, 1e-7);
      }
    if (g.tmpl < 20) continue;
    // The same grid south of the equator: the mirror, j turned about the
    // first row.
    grid s = g;
    s.lat1 = -g.lat1;
    s.lad = -g.lad;
    s.latin1 = -g.latin1;
    s.latin2 = -g.latin2;
    s.centre = 0x80;
    std::vector<g2field> ss;
    ASSERT_EQ(scan(simple(s, oneto(12), 8), &ss, &why), 0) << why;
    for (double i : {1.0, 3.5})
      for (double j : {1.0, 2.5}) {
        double la2, lo2;
        g2natgeo(fs[0], i, 2 - j, &la, &lo);
        g2natgeo(ss[0], i, j, &la2, &lo2);
        EXPECT_NEAR(la2, -la, 1e-9);
        EXPECT_NEAR(std::remainder(lo2 - lo, 360.0), 0, 1e-9);
      }
  }
}

// A linear axis as a data set's conversion: world = v[0] grid + v[1].
double gr2lin(float* v, double g) { return v[0] * g + v[1]; }

TEST(Grib2, ProjectedGridsGetTheRecordAPdefBuilds) {
  grid g;
  g.tmpl = 20;
  g.ni = 5;
  g.nj = 4;
  g.lat1 = 40, g.lon1 = 250, g.lov = 260, g.lad = 60, g.resflags = 0x08;
  std::vector<g2field> fs;
  std::string why;
  const std::string m = simple(g, oneto(20), 8);
  ASSERT_EQ(scan(m, &fs, &why), 0) << why;
  g2axes ax;
  ASSERT_EQ(g2gridaxes(fs[0], &ax, &why), 0) << why;
  EXPECT_TRUE(ax.projected);
  EXPECT_EQ(ax.ni, 5);
  // The covering grid holds every native point.
  for (int j = 1; j <= 4; j++)
    for (int i = 1; i <= 5; i++) {
      double la, lo;
      g2natgeo(fs[0], i, j, &la, &lo);
      EXPECT_GE(la, ax.lat0);
      EXPECT_LE(la, ax.lat0 + (ax.ny - 1) * ax.dlat);
      EXPECT_GE(lo, ax.lon0);
      EXPECT_LE(lo, ax.lon0 + (ax.nx - 1) * ax.dlon);
    }
  // Grid lengths a thousand times apart would cover the box at the finer:
  // millions of points for twenty.
  grid thin = g;
  thin.dy = 100;
  std::vector<g2field> ts;
  ASSERT_EQ(scan(simple(thin, oneto(20), 8), &ts, &why), 0) << why;
  g2axes tax;
  EXPECT_EQ(g2gridaxes(ts[0], &tax, &why), 1);
  EXPECT_EQ(why, "projected grid's covering grid is too large");
  // A data set whose x and y are two native points' longitudes and
  // latitudes: native point (2.5, 3.5) lies on target (1, 1).
  double la, lo, la2, lo2;
  g2natgeo(fs[0], 2.5, 3.5, &la, &lo);
  g2natgeo(fs[0], 3.5, 3.5, &la2, &lo2);
  datafile* pfi = getpfi();
  ASSERT_NE(pfi, nullptr);
  pfi->dnum[0] = 2;
  pfi->dnum[1] = 1;
  float xs[3] = {static_cast<float>(lo2 - lo), static_cast<float>(2 * lo - lo2), 0};
  float ys[3] = {0.0f, static_cast<float>(la), 0};
  pfi->gr2ab[0] = gr2lin;
  pfi->gr2ab[1] = gr2lin;
  pfi->grvals[0] = xs;
  pfi->grvals[1] = ys;
  ASSERT_EQ(g2pdef(fs[0], pfi, &why), 0) << why;
  EXPECT_EQ(pfi->ppflag, PD_BILIN);
  EXPECT_EQ(pfi->ppisiz, 5);
  EXPECT_EQ(pfi->ppjsiz, 4);
  EXPECT_EQ(pfi->ppi[0][0], 2 * 5 + 1);
  EXPECT_NEAR(pfi->ppf[0][0], 0.5, 1e-3);
  EXPECT_NEAR(pfi->ppf[1][0], 0.5, 1e-3);
  // Winds relative to the grid are turned by the angle of its x axis from
  // east: the longitude's from the orientation.
  EXPECT_EQ(pfi->ppwrot, 1);
  EXPECT_NEAR(pfi->ppw[0], -(lo - 260) * M_PI / 180, 2e-5);
  pfi->gr2ab[0] = pfi->gr2ab[1] = nullptr;
  pfi->grvals[0] = pfi->grvals[1] = nullptr;
  frepfi(pfi, 1);
}

}  // namespace
