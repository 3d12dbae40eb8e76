// Pre-projected grids: pdef records, the geometry of the projections,
// bilinear interpolation from binary and GRIB native grids, weight files
// of the bilin and file methods, and points outside the native grid.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/gribmap.h"
#include "data/gridres.h"
#include "data/omggrd.h"
#include "data/pdef.h"
#include "ddtest.h"
#include "test_grib_util.h"

using ddtest::DataTest;
using ddtest::dataset;
using ddtest::request;

namespace {

const float kU = -9.99e8f;
const double kPi = 3.14159265358979;

// Native 11 x 11 field: value i + 100 j at native point (i, j), 1-based,
// so that bilinear interpolation gives back the fractional position.
std::vector<float> linfield(int n = 11) {
  std::vector<float> v;
  for (int j = 1; j <= n; j++)
    for (int i = 1; i <= n; i++) v.push_back(static_cast<float>(i + 100 * j));
  return v;
}

template <typename T>
std::string words(const std::vector<T>& v, bool big) {
  std::string s(v.size() * 4, '\0');
  std::memcpy(&s[0], v.data(), s.size());
  if (big == (omhostle() != 0)) ombswp(&s[0], v.size());
  return s;
}

// A sequential record: the words between two 4-byte markers.
std::string seqrec(const std::string& body) {
  std::string m(4, '\0');
  return m + body + m;
}

const char* kTail =
    "zdef 1 levels 1000\ntdef 1 linear 00z01jan1990 1dy\nvars 1\na 0 99 a\nendvars\n";

class Pdef : public DataTest {
 protected:
  void open(const std::string& ctl, dataset& ds, bool expectok = true) {
    ddtest::parsed p;
    ddtest::parse(tmp.write("p.ctl", ctl), p);
    ds.out = p.out;
    if (expectok) {
      ASSERT_EQ(p.rc, 0) << p.out;
    }
    if (p.rc) return;
    ds.pfi = p.pfi;
    p.pfi = nullptr;
    ds.pfi->infile = std::fopen(ds.pfi->name.c_str(), "rb");
    ASSERT_NE(ds.pfi->infile, nullptr);
  }
  void read(dataset& ds, int idim, int jdim, std::vector<int> lo, std::vector<int> hi, request& r) {
    ddtest::readgrid(ds, 0, idim, jdim, lo, hi, r);
  }
  std::string failure(const std::string& pdef) {
    tmp.write("d.bin", "");
    ddtest::parsed p;
    ddtest::parse(tmp.write("p.ctl", "dset ^d.bin\nundef -9.99e8\n" + pdef +
                                         "\nxdef 4 linear 0 1\nydef 4 linear 0 1\n" + kTail),
                  p);
    EXPECT_EQ(p.rc, 1) << pdef;
    return p.out;
  }
};

// Polar stereographic: pole at native (6, 6), orientation -80 east, a mesh
// that puts latitude 60 exactly 4.5 meshes from the pole.
const char* kNps = "pdef 11 11 nps 6 6 -80 707.9111\n";
const char* kNpsAxes = "xdef 4 linear -80 90\nydef 2 levels 60 90\n";

TEST_F(Pdef, PolarStereographicPlacesTargetsByDistanceFromThePole) {
  // Two header floats ahead of the native grid, skipped like any header.
  std::vector<float> rec = {-1.0f, -2.0f};
  for (float v : linfield()) rec.push_back(v);
  tmp.write("d.bin", words(rec, true));
  dataset ds;
  open(std::string("dset ^d.bin\nundef -9.99e8\noptions big_endian\nxyheader 8\n") + kNps +
           kNpsAxes + kTail,
       ds);
  EXPECT_EQ(ds.pfi->gsiz, 123);
  request r;
  omiomg();  // the notice is given once per command: re-arm it as a command would
  read(ds, 0, 1, {1, 1, 1, 1}, {4, 2, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("Notice:  Automatic Grid Interpolation Taking Place\n"), std::string::npos);
  // Latitude 60: along the orientation meridian the point lies 4.5 meshes
  // towards lower j; a quarter turn east puts it at higher i.
  EXPECT_NEAR(r.at(0, 0), 6 + 100 * 1.5, 0.02);
  EXPECT_NEAR(r.at(1, 0), 10.5 + 100 * 6, 0.02);
  EXPECT_NEAR(r.at(2, 0), 6 + 100 * 10.5, 0.02);
  EXPECT_NEAR(r.at(3, 0), 1.5 + 100 * 6, 0.02);
  for (int i = 0; i < 4; i++) EXPECT_NEAR(r.at(i, 1), 606.0, 0.01);  // the pole
  // Winds turn by the longitude's distance from the orientation.
  EXPECT_EQ(ds.pfi->ppwrot, 1);
  EXPECT_NEAR(ds.pfi->ppw[0], 0.0, 1e-6);
  EXPECT_NEAR(ds.pfi->ppw[1], -kPi / 2, 1e-5);
  // A single point is read the same way.
  request p;
  read(ds, -1, -1, {2, 1, 1, 1}, {2, 1, 1, 1}, p);
  ASSERT_EQ(p.rc, 0);
  EXPECT_NEAR(p.g->grid[0], 610.5, 0.02);
}

TEST_F(Pdef, BilinWeightsGiveExactPositionsAndEdgesAreUndefined) {
  tmp.write("d.bin", words(linfield(), omhostle() == 0));
  // Points: inside, no data, on the last native column, the first point.
  std::vector<float> ip = {2.25f, -1.0f, 11.0f, 1.0f}, jp = {3.5f, 2.0f, 5.0f, 1.0f};
  std::vector<float> ang(4, 0.0f);
  tmp.write("W.bin", words(ip, false) + words(jp, false) + words(ang, false));
  dataset ds;
  open(std::string("dset ^d.bin\nundef -9.99e8\npdef 11 11 bilin stream binary-little ^W.bin\n") +
           "xdef 4 linear 0 1\nydef 1 linear 0 1\n" + kTail,
       ds);
  EXPECT_EQ(ds.pfi->ppwrot, 0);  // every angle zero: no rotation
  request r;
  read(ds, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NEAR(r.at(0), 352.25, 1e-3);
  EXPECT_EQ(r.at(1), kU);
  EXPECT_EQ(r.at(2), kU);
  EXPECT_NEAR(r.at(3), 101.0, 1e-4);
}

TEST_F(Pdef, SequentialBigEndianWeightsAreUnwrappedAndSwapped) {
  tmp.write("d.bin", words(linfield(), omhostle() == 0));
  std::vector<float> ip = {2.5f}, jp = {2.5f}, ang = {0.3f};
  tmp.write("w.bin", seqrec(words(ip, true)) + seqrec(words(jp, true)) + seqrec(words(ang, true)));
  dataset ds;
  open(std::string("dset ^d.bin\nundef -9.99e8\npdef 11 11 bilin sequential binary-big ^w.bin\n") +
           "xdef 1 linear 0 1\nydef 1 linear 0 1\n" + kTail,
       ds);
  EXPECT_EQ(ds.pfi->ppwrot, 1);
  EXPECT_FLOAT_EQ(ds.pfi->ppw[0], 0.3f);
  request r;
  read(ds, -1, -1, {1, 1, 1, 1}, {1, 1, 1, 1}, r);
  ASSERT_EQ(r.rc, 0);
  EXPECT_NEAR(r.g->grid[0], 252.5, 1e-3);
}

TEST_F(Pdef, FileMethodSumsWeightedNativePoints) {
  std::vector<float> nat = linfield();
  nat[6] = kU;  // native point 7 is undefined
  tmp.write("d.bin", words(nat, omhostle() == 0));
  // Two contributions per target point; native positions are 1-based.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<int> q0 = {5, 0, 1, 500, 7, 1, 1}, q1 = {-5, 3, 2, 1, 1, 2, 2};
  std::vector<float> a0 = {1, 1, 1, 1, 1, nan, inf}, a1 = {9, 1, 3, 1, 1, 1, 1};
  std::vector<float> ang(7, 0.0f);
  tmp.write("w.bin", words(q0, false) + words(a0, false) + words(q1, false) + words(a1, false) +
                         words(ang, false));
  dataset ds;
  open(std::string("dset ^d.bin\nundef -9.99e8\npdef 11 11 file 2 stream binary ^w.bin\n") +
           "xdef 7 linear 0 1\nydef 1 linear 0 1\n" + kTail,
       ds);
  request r;
  read(ds, 0, -1, {1, 1, 1, 1}, {7, 1, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_FLOAT_EQ(r.at(0), 105.0f);  // index -5 adds nothing
  EXPECT_EQ(r.at(1), kU);            // index 0: no data
  EXPECT_FLOAT_EQ(r.at(2), (101.0f + 3 * 102.0f) / 4);
  EXPECT_EQ(r.at(3), kU);            // beyond the native grid
  EXPECT_EQ(r.at(4), kU);            // an undefined contribution
  EXPECT_EQ(r.at(5), kU);            // weights that are no number
  EXPECT_EQ(r.at(6), kU);
  EXPECT_EQ(ds.pfi->ppwrot, 0);
}

TEST_F(Pdef, BadRecordsAndMissingWeightFilesFailTheOpen) {
  const char* bad[] = {
      "pdef 10 10 nps 1 1 1",
      "pdef 10 nps 1 1 1 1",
      "pdef 10 10 mercator 1 1 1 1",
      "pdef 10 10 lcc 1 1 1 1 1 1 1 1 x",
      "pdef 10 10 file 9 stream binary w.bin",
      "pdef 10 10 file 0.5 stream binary w.bin",
      "pdef 10 10 file 1.58e29 stream binary w.bin",
      "pdef 10 10 file -3e9 stream binary w.bin",
      "pdef 10 10 bilin stream ieee w.bin",
      "pdef 10 10 bilin random binary w.bin",
      "pdef 10 10 bilin stream binary",
      "pdef 100000 100000 nps 1 1 1 1",
  };
  for (const char* b : bad) {
    std::string out = failure(b);
    EXPECT_EQ(out.rfind("Open Error: Invalid pdef record.\n", 0), 0u) << b << "\n" << out;
  }
  std::string out = failure("pdef 10 10 bilin stream binary ^Absent.bin");
  EXPECT_EQ(out.rfind("Error opening pdef file\n  File name is:  " + tmp.path("Absent.bin") +
                          "\nOpen Error: Invalid pdef record.\n",
                      0),
            0u)
      << out;
  // A weight file shorter than its arrays.
  tmp.write("w.bin", std::string(20, '\0'));
  out = failure("pdef 10 10 bilin stream binary ^w.bin");
  EXPECT_NE(out.find("Open Error:  I/O Error on pdef file read\n"), std::string::npos) << out;
}

// The messages of parsing ctl in a process limited to 128 MB of address
// space.
std::string within128mb(const std::string& ctl) {
  struct rlimit r = {rlim_t(128) << 20, rlim_t(128) << 20};
  setrlimit(RLIMIT_AS, &r);
  ddtest::parsed p;
  ddtest::parse(ctl, p);
  return p.out;
}

// A weight file too short for the arrays of its target grid is a read
// error before the arrays are made: a 4000 x 4000 target grid with a
// weight file of a few words opens (and fails) in a process that could not
// hold its arrays.  (Not under AddressSanitizer, whose shadow
// memory needs the address space.)
TEST_F(Pdef, ShortWeightFilesAreRefusedBeforeTheArraysAreMade) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit";
#else
  tmp.write("d.bin", "");
  tmp.write("w.bin", std::string(64, '\0'));
  for (const char* pd : {"pdef 10 10 bilin stream binary ^w.bin",
                         "pdef 10 10 file 2 sequential binary ^w.bin"}) {
    std::string ctl = tmp.write("p.ctl", std::string("dset ^d.bin\nundef -9.99e8\n") + pd +
                                             "\nxdef 4000 linear 0 0.01\nydef 4000 linear 0 0.01\n" +
                                             kTail);
    EXPECT_EXIT(std::exit(within128mb(ctl).rfind("Open Error:  I/O Error on pdef file read\n", 0)
                              ? 1
                              : 0),
                testing::ExitedWithCode(0), "")
        << pd;
  }
#endif
}

TEST_F(Pdef, ProjectionsPutTheirReferencePointsInPlace) {
  float gi, gj;
  // Lambert: the reference point lands on its grid position.
  const float lcc[9] = {30.0f, -100.0f, 12.0f, 7.0f, 25.0f, 45.0f, -95.0f, 40000.0f, 40000.0f};
  ll2lc(lcc, 30.0f, -100.0f, &gi, &gj);
  EXPECT_NEAR(gi, 12.0f, 1e-3);
  EXPECT_NEAR(gj, 7.0f, 1e-3);
  // 40 km east along the reference latitude is about one mesh.
  ll2lc(lcc, 30.0f, -100.0f + 40.0f / (111.2f * std::cos(30.0f * kPi / 180)), &gi, &gj);
  EXPECT_NEAR(gi, 13.0f, 0.1);
  // Rotated grid: its centre is the middle of the native grid.
  const float eta[4] = {-100.0f, 40.0f, 0.5f, 0.5f};
  float ang;
  ll2eg(21, 41, eta, -100.0f, 40.0f, &gi, &gj, &ang);
  EXPECT_NEAR(gi, 10.0f, 1e-4);
  EXPECT_NEAR(gj, 20.0f, 1e-4);
  EXPECT_TRUE(std::isfinite(ang));
  ll2eg(21, 41, eta, 0.0f, 90.0f, &gi, &gj, &ang);  // the pole: no NaN angle
  EXPECT_TRUE(std::isfinite(ang));
  // Ellipsoidal polar stereographic: the pole is at the pole's grid point,
  // beyond 90 degrees nothing.
  const float pse[7] = {70.0f, -45.0f, 100.0f, 200.0f, 25.0f, 25.0f, 1.0f};
  ll2pse(0, 0, pse, 0.0f, 90.0f, &gi, &gj);
  EXPECT_NEAR(gi, 101.0f, 1e-3);
  EXPECT_NEAR(gj, 201.0f, 1e-3);
  ll2pse(0, 0, pse, 0.0f, 91.0f, &gi, &gj);
  EXPECT_EQ(gi, -1.0f);
  EXPECT_EQ(gj, -1.0f);
  // Oblique stereographic: the tangent point is at (i0, j0).
  const float ops[8] = {45.0f, 10.0f, 0.0f, 0.0f, 50.0f, 60.0f, 1000.0f, 1000.0f};
  ll2ops(ops, 10.0f, 45.0f, &gi, &gj);
  EXPECT_NEAR(gi, 50.0f, 1e-3);
  EXPECT_NEAR(gj, 60.0f, 1e-3);
  // w3fb04: 60N lies 1 + sin 60 earth radii / mesh lengths from the pole.
  float xi, xj;
  w3fb04(60.0f, 80.0f, 6371.2f, 80.0f, &xi, &xj);
  EXPECT_NEAR(xi, 0.0f, 1e-4);
  EXPECT_NEAR(xj, -0.5f, 1e-4);
}

// A longitude or a centre a turn away, or west of the date line, lands
// where its equivalent does: each wrap is taken once and the right way.
TEST_F(Pdef, LongitudesAndCentresWestOfZeroWrapExactly) {
  float gi, gj, hi, hj;
  const float opswest[8] = {45.0f, -10.0f, 0.0f, 0.0f, 50.0f, 60.0f, 1000.0f, 1000.0f};
  const float opseast[8] = {45.0f, 10.0f, 0.0f, 0.0f, 50.0f, 60.0f, 1000.0f, 1000.0f};
  ll2ops(opswest, 10.0f, 45.0f, &gi, &gj);
  ll2ops(opseast, 30.0f, 45.0f, &hi, &hj);
  EXPECT_NEAR(gi, 1614.44f, 0.005f);
  EXPECT_NEAR(gj, 255.057f, 0.0005f);
  EXPECT_EQ(gi, hi);
  EXPECT_EQ(gj, hj);
  ll2ops(opseast, -30.0f, 45.0f, &gi, &gj);  // 330 is 40 west of the centre
  ll2ops(opswest, -50.0f, 45.0f, &hi, &hj);
  EXPECT_EQ(gi, hi);
  EXPECT_EQ(gj, hj);
  ll2ops(opswest, -10.0f, 30.0f, &gi, &gj);  // on the centre's meridian
  ll2ops(opseast, 10.0f, 30.0f, &hi, &hj);
  EXPECT_EQ(gi, hi);
  EXPECT_EQ(gj, hj);
  const float lcc[9] = {30.0f, -100.0f, 12.0f, 7.0f, 25.0f, 45.0f, -95.0f, 40000.0f, 40000.0f};
  ll2lc(lcc, 30.0f, -300.0f, &gi, &gj);
  ll2lc(lcc, 30.0f, 60.0f, &hi, &hj);
  EXPECT_NEAR(gi, 260.457f, 0.001f);
  EXPECT_NEAR(gj, 240.645f, 0.001f);
  EXPECT_EQ(gi, hi);
  EXPECT_EQ(gj, hj);
}

// Longitudes and parameters of any size are wrapped in one step: 2^100 is
// 16 modulo 360, so it lands where a longitude 16 degrees past the wrap
// does; an infinite one lands nowhere; and a descriptor with such values
// opens instead of hanging.
TEST_F(Pdef, FarLongitudesWrapInOneStep) {
  const float big = std::ldexp(1.0f, 100);
  const float inf = INFINITY;
  float gi, gj, hi, hj;
  const float lcc[9] = {30.0f, -100.0f, 12.0f, 7.0f, 25.0f, 45.0f, -95.0f, 40000.0f, 40000.0f};
  ll2lc(lcc, 30.0f, big, &gi, &gj);
  ll2lc(lcc, 30.0f, 16.0f - 275.0f, &hi, &hj);
  EXPECT_EQ(gi, hi);
  EXPECT_EQ(gj, hj);
  ll2lc(lcc, 30.0f, inf, &gi, &gj);
  EXPECT_TRUE(std::isnan(gi));
  const float ops[8] = {45.0f, 10.0f, 0.0f, 0.0f, 50.0f, 60.0f, 1000.0f, 1000.0f};
  ll2ops(ops, big, 30.0f, &gi, &gj);
  ll2ops(ops, 26.0f, 30.0f, &hi, &hj);
  EXPECT_EQ(gi, hi);
  EXPECT_EQ(gj, hj);
  const float opsfar[8] = {45.0f, big, 0.0f, 0.0f, 50.0f, 60.0f, 1000.0f, 1000.0f};
  const float opsnear[8] = {45.0f, 376.0f, 0.0f, 0.0f, 50.0f, 60.0f, 1000.0f, 1000.0f};
  ll2ops(opsfar, 0.0f, 30.0f, &gi, &gj);
  ll2ops(opsnear, 0.0f, 30.0f, &hi, &hj);
  EXPECT_EQ(gi, hi);
  EXPECT_EQ(gj, hj);
  const float opsinf[8] = {45.0f, inf, 0.0f, 0.0f, 50.0f, 60.0f, 1000.0f, 1000.0f};
  ll2ops(opsinf, 0.0f, 30.0f, &gi, &gj);
  EXPECT_TRUE(std::isnan(gi));

  tmp.write("d.bin", std::string(50 * 50 * 4, '\0'));
  for (const char* pd : {"pdef 50 50 lcc 30 -100 25 25 60 30 1e30 50000 50000\n"
                         "xdef 2 linear -100 1\n",
                         "pdef 50 50 lcc 30 -100 25 25 60 30 -95 50000 50000\n"
                         "xdef 2 levels 0 1e30\n",
                         "pdef 50 50 ops 60 1e30 0 0 25 25 50000 50000\n"
                         "xdef 2 linear -100 1\n"}) {
    dataset ds;
    open(std::string("dset ^d.bin\nundef -9.99e8\n") + pd + "ydef 2 linear 30 1\n" + kTail, ds);
  }
}

TEST_F(Pdef, PseBeyondThePoleIsUndefinedInAGrid) {
  tmp.write("d.bin", words(linfield(), omhostle() == 0));
  dataset ds;
  open(std::string("dset ^d.bin\nundef -9.99e8\npdef 11 11 pse 70 -45 5 5 25 25 1\n") +
           "xdef 1 linear 0 1\nydef 2 levels 90 95\n" + kTail,
       ds);
  request r;
  read(ds, 1, -1, {1, 1, 1, 1}, {1, 2, 1, 1}, r);
  ASSERT_EQ(r.rc, 0);
  EXPECT_NEAR(r.at(0), 6 + 100 * 6, 1e-2);
  EXPECT_EQ(r.at(1), kU);
}

TEST_F(Pdef, GribNativeGridsAreInterpolatedFromTheRecord) {
  gribtest::grec g;
  g.ni = g.nj = 11;
  g.bits = 16;
  g.ref = 101.0f;
  for (int j = 0; j < 11; j++)
    for (int i = 0; i < 11; i++) g.packed.push_back(static_cast<uint32_t>(i + 100 * j));
  tmp.write("g.grb", gribtest::record(g));
  std::string ctl = std::string("dset ^g.grb\nindex ^g.idx\ndtype grib\nundef -9.99e8\n") + kNps +
                    kNpsAxes +
                    "zdef 1 levels 1000\ntdef 1 linear 00z01jan1990 1dy\nvars 1\na 0 11,1,0 a\n"
                    "endvars\n";
  gmpcmn = gmapset();
  gmpcmn.descr = tmp.write("p.ctl", ctl);
  testing::internal::CaptureStdout();
  int rc = gribmap();
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 1) << out;
  dataset ds;
  open(ctl, ds);
  request r;
  read(ds, 0, 1, {1, 1, 1, 1}, {4, 2, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NEAR(r.at(0, 0), 156.0, 0.02);
  EXPECT_NEAR(r.at(3, 0), 601.5, 0.02);
  EXPECT_NEAR(r.at(2, 1), 606.0, 0.01);
  request p;  // not a longitude-latitude request: direct reads
  read(ds, -1, -1, {3, 1, 1, 1}, {3, 1, 1, 1}, p);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_NEAR(p.g->grid[0], 1056.0, 0.02);
  // A record of another native size is not indexed.
  g.ni = 10;
  g.packed.resize(110);
  tmp.write("g.grb", gribtest::record(g));
  testing::internal::CaptureStdout();
  rc = gribmap();
  out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 300) << out;
}

TEST_F(Pdef, ShortNativeFileIsAReadErrorAndHemisphericPairIsRefused) {
  std::vector<float> nat = linfield();
  nat.resize(60);
  tmp.write("d.bin", words(nat, true));
  dataset ds;
  open(std::string("dset ^d.bin\nundef -9.99e8\noptions big_endian\n") + kNps + kNpsAxes + kTail,
       ds);
  request r;
  read(ds, 0, 1, {1, 1, 1, 1}, {4, 2, 1, 1}, r);
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.out.find("Low Level I/O Error:  Read error on data file \n"), std::string::npos) << r.out;
  // The GRIB pair of hemispheric records has no place in a native grid.
  dataset bad;
  open(std::string("dset ^d.bin\ndtype grib 29\nundef -9.99e8\n") + kNps + kNpsAxes +
           kTail,
       bad, false);
  EXPECT_EQ(bad.pfi, nullptr);
  EXPECT_NE(bad.out.find("Open Error:  A pre-projected GRIB data set cannot use grid option 29\n"),
            std::string::npos)
      << bad.out;
}

}  // namespace
