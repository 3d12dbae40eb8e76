// GRIB data sets: index files made from records written at test time, and
// grids read back through them (scaling, bit maps, reversed rows, the
// hemispheric grid pair, template members), with the maker's rejections.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/gribmap.h"
#include "data/gribread.h"
#include "data/gridres.h"
#include "data/omggrd.h"
#include "base/fsizecap.h"
#include "ddtest.h"
#include "test_grib_util.h"

using ddtest::DataTest;
using ddtest::dataset;
using ddtest::request;
using gribtest::ctl;
using gribtest::grec;
using gribtest::kTwoVars;
using gribtest::ramp;
using gribtest::rec;
using gribtest::record;

namespace {

const float kU = -9.99e8f;

class Grib : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    gmpcmn = gmapset();
  }
  // Writes the descriptor and runs the maker on it.
  int mkindex(const std::string& text, std::string* out = nullptr) {
    std::string c = tmp.write("g.ctl", text);
    gmpcmn.descr = c;
    testing::internal::CaptureStdout();
    int rc = gribmap();
    std::fflush(stdout);
    std::string o = testing::internal::GetCapturedStdout();
    if (out) *out = o;
    return rc;
  }
  void open(dataset& ds) { ddtest::opendataset(tmp.path("g.ctl"), ds); }
  void read(dataset& ds, int v, int idim, int jdim, std::vector<int> lo, std::vector<int> hi,
            request& r) {
    ddtest::readgrid(ds, v, idim, jdim, lo, hi, r);
  }
  // The whole 4 x 3 grid of variable v at time t.
  void grid(dataset& ds, int v, int t, request& r) {
    read(ds, v, 0, 1, {1, 1, 1, t}, {4, 3, 1, t}, r);
    ASSERT_EQ(r.rc, 0) << r.out;
  }
  long fsize(const std::string& name) {
    FILE* f = std::fopen(tmp.path(name).c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fclose(f);
    return n;
  }
  std::string fbytes(const std::string& name) {
    std::string s;
    FILE* f = std::fopen(tmp.path(name).c_str(), "rb");
    if (!f) return s;
    int c;
    while ((c = std::fgetc(f)) != EOF) s += static_cast<char>(c);
    std::fclose(f);
    return s;
  }
};

TEST_F(Grib, IndexOfThreeTimesAndTwoRecordsReadsBackScaledValues) {
  std::string data;
  for (int t = 1; t <= 3; t++) {
    data += record(rec(11, t, 100.0f * t));
    grec b = rec(12, t, -static_cast<float>(t));
    b.D = 1;
    b.E = 1;
    data += record(b);
  }
  tmp.write("g.grb", data);
  std::string out;
  ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars), &out), 1) << out;
  EXPECT_NE(out.find("\ngribmap:  Scanning binary GRIB file(s):\n"), std::string::npos);
  EXPECT_NE(out.find("gribmap:  Reached EOF\n"), std::string::npos);
  EXPECT_NE(out.find("gribmap:  Writing the map...\n\n"), std::string::npos);
  // 57 + 4*(4 header ints + 18 ints + 18 floats).
  EXPECT_EQ(fsize("g.idx"), 217);
  std::string ix = fbytes("g.idx");
  ASSERT_EQ(ix.size(), 217u);
  EXPECT_EQ(ix[0], 0);
  EXPECT_EQ(ix[1], 2);
  EXPECT_EQ((static_cast<unsigned char>(ix[18]) << 8) | static_cast<unsigned char>(ix[19]), 1990);
  EXPECT_EQ(ix[20], 1);
  EXPECT_EQ(ix[21], 1);

  dataset ds;
  open(ds);
  ASSERT_NE(ds.pfi->pindx, nullptr);
  EXPECT_EQ(ds.pfi->pindx->intnum, 18);
  EXPECT_EQ(ds.pfi->pindx->hipnt[3], 255);
  request a;
  grid(ds, 0, 2, a);
  for (int k = 0; k < 12; k++) EXPECT_FLOAT_EQ(a.at(k), 200.0f + k) << k;
  request b;
  grid(ds, 1, 3, b);
  for (int k = 0; k < 12; k++) EXPECT_FLOAT_EQ(b.at(k), (2.0f * k - 3.0f) / 10.0f) << k;
  // One point, and a run inside a row.
  request p;
  read(ds, 0, -1, -1, {3, 2, 1, 1}, {3, 2, 1, 1}, p);
  ASSERT_EQ(p.rc, 0);
  EXPECT_FLOAT_EQ(p.g->grid[0], 106.0f);
  request r;
  read(ds, 0, 0, -1, {2, 3, 1, 3}, {4, 3, 1, 3}, r);
  ASSERT_EQ(r.rc, 0);
  EXPECT_FLOAT_EQ(r.at(0), 309.0f);
  EXPECT_FLOAT_EQ(r.at(2), 311.0f);
}

TEST_F(Grib, BitMapMarksAbsentPointsAndIsReadOncePerRecord) {
  grec r = rec(11, 1, 0.0f);
  r.bitmap.assign(12, false);
  r.bitmap[10] = r.bitmap[11] = true;
  r.packed = {7, 9};
  grec r2 = rec(11, 2, 0.0f);
  r2.bitmap.assign(12, true);
  r2.bitmap[0] = r2.bitmap[5] = false;
  r2.packed = ramp(10, 1, 20);
  tmp.write("g.grb", record(r) + record(r2));
  ASSERT_EQ(mkindex(ctl("dtype grib\n", "vars 1\na 0 11,1,0 a\n")), 1);
  dataset ds;
  open(ds);
  request g;
  grid(ds, 0, 1, g);
  for (int k = 0; k < 10; k++) EXPECT_EQ(g.at(k), kU) << k;
  EXPECT_FLOAT_EQ(g.at(10), 7.0f);
  EXPECT_FLOAT_EQ(g.at(11), 9.0f);
  // Rows read one by one share the bit map of their record.
  long before = omgrbbmr();
  request rows;
  read(ds, 0, 0, 1, {2, 1, 1, 2}, {4, 3, 1, 2}, rows);
  ASSERT_EQ(rows.rc, 0) << rows.out;
  EXPECT_EQ(omgrbbmr() - before, 1);
  // Row 1 x 2..4: points 1, 2, 3 are the ordinals 1, 2, 3.
  EXPECT_FLOAT_EQ(rows.at(0, 0), 20.0f);
  EXPECT_FLOAT_EQ(rows.at(2, 0), 22.0f);
  // Row 2 x 2..4: point 5 is absent, then 6, 7 hold ordinals 5, 6.
  EXPECT_EQ(rows.at(0, 1), kU);
  EXPECT_FLOAT_EQ(rows.at(1, 1), 24.0f);
  EXPECT_FLOAT_EQ(rows.at(2, 2), 29.0f);
}

TEST_F(Grib, ZeroBitsGiveTheReferenceAndMissingRecordsAreUndefined) {
  grec r = rec(11, 1, 50.0f);
  r.D = 1;
  r.bits = 0;
  tmp.write("g.grb", record(r));
  ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  dataset ds;
  open(ds);
  request a, b;
  grid(ds, 0, 1, a);
  for (int k = 0; k < 12; k++) EXPECT_FLOAT_EQ(a.at(k), 5.0f);
  grid(ds, 1, 1, b);  // never written: every entry missing
  for (int k = 0; k < 12; k++) EXPECT_EQ(b.at(k), kU);
}

TEST_F(Grib, ScalesGivingNoNumberAreUndefined) {
  std::string data;
  for (int t = 1; t <= 2; t++) data += record(rec(11, t, 100.0f));
  // The largest number there is stays a number.
  grec top = rec(12, 1, FLT_MAX);
  top.packed.assign(12, 0);
  data += record(top);
  tmp.write("g.grb", data);
  ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  dataset ds;
  open(ds);
  ASSERT_EQ(ds.pfi->trecs, 2);
  std::vector<float>& f = ds.pfi->pindx->fltpnt;
  ASSERT_EQ(f.size(), 18u);
  // Decimal, binary scale and reference of each record: a damaged index
  // with a decimal factor and reference of 0 at time 1 (0/0 at the first
  // point, 11/0 at the last) and a binary scale that takes most values
  // beyond single precision at time 2.
  f[0] = 0.0f;
  f[2] = 0.0f;
  f[6 + 1] = 1e38f;
  request a, b;
  grid(ds, 0, 1, a);
  for (int k = 0; k < 12; k++) EXPECT_EQ(a.at(k), kU) << k;
  grid(ds, 0, 2, b);
  EXPECT_FLOAT_EQ(b.at(0), 100.0f);
  EXPECT_FLOAT_EQ(b.at(1), 1e38f);
  EXPECT_FLOAT_EQ(b.at(3), 3e38f);
  for (int k = 4; k < 12; k++) EXPECT_EQ(b.at(k), kU) << k;
  request c;
  grid(ds, 1, 1, c);
  for (int k = 0; k < 12; k++) EXPECT_EQ(c.at(k), FLT_MAX) << k;
}

TEST_F(Grib, ReversedRowsReadTheLastRowFirst) {
  tmp.write("g.grb", record(rec(11, 1, 0.0f)));
  ASSERT_EQ(mkindex(ctl("dtype grib\noptions yrev\n", "vars 1\na 0 11,1,0 a\n")), 1);
  dataset ds;
  open(ds);
  request g;
  grid(ds, 0, 1, g);
  EXPECT_FLOAT_EQ(g.at(0, 0), 8.0f);
  EXPECT_FLOAT_EQ(g.at(3, 0), 11.0f);
  EXPECT_FLOAT_EQ(g.at(0, 2), 0.0f);
}

TEST_F(Grib, JunkBetweenRecordsIsSkippedUpToTheScanLimit) {
  for (int junk : {20, 999}) {
    tmp.write("g.grb", record(rec(11, 1, 1.0f)) + std::string(junk, 'x') + record(rec(12, 1, 2.0f)));
    std::string out;
    ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars), &out), 1) << junk << out;
    dataset ds;
    open(ds);
    request b;
    grid(ds, 1, 1, b);
    EXPECT_FLOAT_EQ(b.at(3), 5.0f) << junk;
  }
  std::remove(tmp.path("g.idx").c_str());
  tmp.write("g.grb", record(rec(11, 1, 1.0f)) + std::string(1000, 'x') + record(rec(12, 1, 2.0f)));
  std::string out;
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars), &out), 52);
  EXPECT_NE(out.find("GRIB header not found in scanning between records\n->xGRI<-\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("GRIB file format error \nrc = 52\n"), std::string::npos);
  EXPECT_EQ(fsize("g.idx"), -1);  // no index from a file that cannot be read
}

TEST_F(Grib, ValidTimesMustFallOnTheTimeAxis) {
  grec half = rec(11, 1, 1.0f);
  half.p1 = 36;  // 12z 2 Jan: grid index 2.5
  grec near = rec(11, 1, 2.0f);
  near.tunit = 0;
  near.p1 = 7;  // seven minutes after the first time
  grec late = rec(12, 9, 3.0f);
  grec nodate = rec(12, 1, 3.0f);
  nodate.mo = 255;  // no month: never placed on the axis
  nodate.dy = 0;
  tmp.write("g.grb", record(half));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 0);
  tmp.write("g.grb", record(half) + record(near) + record(late) + record(nodate));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  {
    dataset ds;
    open(ds);
    request a, b;
    grid(ds, 0, 1, a);
    EXPECT_FLOAT_EQ(a.at(0), 2.0f);
    grid(ds, 1, 3, b);
    EXPECT_EQ(b.at(0), kU);
  }
  // Forecast times ignored: the 36-hour record is valid at its base time;
  // the later record for the same slot wins.
  gmpcmn.ignfcst = 1;
  tmp.write("g.grb", record(near) + record(half));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  dataset ds;
  open(ds);
  request a;
  grid(ds, 0, 1, a);
  EXPECT_FLOAT_EQ(a.at(0), 1.0f);
}

TEST_F(Grib, ForecastsInEveryUnitOfTheTableReachTheirTimes) {
  // Hourly axis: each record's forecast in another unit names its own
  // time; a unit the table lacks gives no forecast (the base time).
  struct {
    int unit, p1;
    int t;  // the time it fills
  } rows[] = {{1, 2, 3}, {10, 1, 4}, {11, 1, 7}, {12, 1, 13}, {13, 4, 2}, {14, 4, 3}, {254, 18000, 6},
              {0, 300, 6}, {2, 0, 1}, {99, 5, 1}};
  const std::string tdef = "tdef 13 linear 00z01jan1990 1hr\n";
  for (const auto& r : rows) {
    grec g = rec(11, 1, 7.0f);
    g.tunit = r.unit;
    g.p1 = r.p1;
    if (r.p1 > 255) {  // two octets of P1
      g.trange = 10;
      g.p1 = r.p1 >> 8;
      g.p2 = r.p1 & 255;
    }
    tmp.write("g.grb", record(g));
    ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars, tdef)), 1) << r.unit;
    dataset ds;
    open(ds);
    for (int t = 1; t <= 13; t++) {
      request a;
      grid(ds, 0, t, a);
      EXPECT_EQ(a.at(0) == 7.0f, t == r.t) << "unit " << r.unit << " time " << t;
    }
  }
}

TEST_F(Grib, LevelsAreMatchedOnTheZAxis) {
  std::string z = "zdef 3 levels 1000 850 500\n";
  grec r850 = rec(7, 1, 850.0f);
  r850.ltyp = 100;
  r850.level = 850;
  grec r700 = r850;
  r700.level = 700;
  r700.ref = 700.0f;
  std::string vars = "vars 2\nsfc 0 7,1,0 surface\nhgt 3 7,100,0 height\n";
  tmp.write("g.grb", record(r700));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", vars, "tdef 3 linear 00z01jan1990 1dy\n", z)), 0);
  tmp.write("g.grb", record(r700) + record(r850));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", vars, "tdef 3 linear 00z01jan1990 1dy\n", z)), 1);
  dataset ds;
  open(ds);
  request g;
  read(ds, 1, 0, 1, {1, 1, 2, 1}, {4, 3, 2, 1}, g);
  ASSERT_EQ(g.rc, 0);
  EXPECT_FLOAT_EQ(g.at(5), 855.0f);
  request g1;
  read(ds, 1, 0, 1, {1, 1, 1, 1}, {4, 3, 1, 1}, g1);
  EXPECT_EQ(g1.at(5), kU);
}

TEST_F(Grib, VariablesMatchByLevelBytesOrTimeRange) {
  grec two = rec(61, 1, 1.0f);  // level octets 0 and 12: accumulation 0-12 h
  two.ltyp = 1;
  two.l1 = 0;
  two.l2 = 12;
  grec tr = rec(62, 1, 2.0f);
  tr.trange = 4;
  tr.level = 0;
  std::string vars = "vars 2\nacc 0 61,1,0,12 by octets\navg 0 62,1,0,4 by time range\n";
  tmp.write("g.grb", record(two) + record(tr));
  ASSERT_EQ(mkindex(ctl("dtype grib\n", vars)), 1);
  dataset ds;
  open(ds);
  request a, b;
  grid(ds, 0, 1, a);
  EXPECT_FLOAT_EQ(a.at(1), 2.0f);
  grid(ds, 1, 1, b);
  EXPECT_FLOAT_EQ(b.at(1), 3.0f);
}

TEST_F(Grib, TwoDigitYearsOfShortSectionsAreWindowed) {
  grec r = rec(11, 1, 4.0f);
  r.pdslen = 24;
  r.yr = 1995;
  tmp.write("g.grb", record(r));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars, "tdef 3 linear 00z01jan1995 1dy\n")), 1);
  r.yr = 2005;
  tmp.write("g.grb", record(r));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars, "tdef 3 linear 00z01jan2005 1dy\n")), 1);
  // Without octets 27-28 the decimal scale is 1.
  dataset ds;
  open(ds);
  EXPECT_FLOAT_EQ(ds.pfi->pindx->fltpnt[0], 1.0f);
}

TEST_F(Grib, HemisphericPairFillsTwoEntriesPerRecord) {
  const std::string c =
      "dset ^g.grb\nindex ^g.idx\nundef -9.99e8\ndtype grib 29\nxdef 144 linear 0 2.5\n"
      "ydef 73 linear -90 2.5\nzdef 1 levels 1000\ntdef 1 linear 00z01jan1990 1dy\n"
      "vars 1\na 0 11,1,0 a\nendvars\n";
  grec s = rec(11, 1, 0.0f);
  s.gridid = 30;
  s.gds = false;
  s.bits = 16;
  s.packed = ramp(145 * 37);
  grec n = s;
  n.gridid = 29;
  n.packed = ramp(145 * 37, 1, 10000);
  tmp.write("g.grb", record(s) + record(n));
  ASSERT_EQ(mkindex(c), 1);
  dataset ds;
  open(ds);
  EXPECT_EQ(ds.pfi->pindx->intnum, 6);
  request g;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {144, 73, 1, 1}, g);
  ASSERT_EQ(g.rc, 0) << g.out;
  EXPECT_FLOAT_EQ(g.at(0, 0), 0.0f);
  EXPECT_FLOAT_EQ(g.at(5, 35), 35 * 145 + 5.0f);
  EXPECT_FLOAT_EQ(g.at(0, 36), 10000.0f);  // row 37 is row 1 of the northern record
  EXPECT_FLOAT_EQ(g.at(143, 72), 10000.0f + 36 * 145 + 143);
  // A grid of another shape cannot use the pair.
  std::string bad = c;
  bad.replace(bad.find("xdef 144"), 8, "xdef 140");
  std::string out;
  EXPECT_EQ(mkindex(bad, &out), GMFATAL);
  EXPECT_NE(out.find("Error in grid specification for GRIB grid type 29/30.\n"
                     "  Grid scaling must indicate a 2.5 x 2.5 grid\n"),
            std::string::npos);
}

TEST_F(Grib, UnsuitableRecordsAreSkippedWithTheirCode) {
  grec other = rec(11, 1, 1.0f);
  other.ni = 5;
  tmp.write("g.grb", record(other));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 301);
  grec nogds = rec(11, 1, 1.0f);
  nogds.gds = false;
  grec cplx = rec(12, 1, 1.0f);
  cplx.pack = 0x80;
  tmp.write("g.grb", record(nogds) + record(cplx));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 0);
  grec g3 = rec(11, 1, 1.0f);
  g3.gridid = 3;
  tmp.write("g.grb", record(g3) + record(rec(12, 1, 1.0f)));
  EXPECT_EQ(mkindex(ctl("dtype grib 3\n", kTwoVars)), 401);
}

TEST_F(Grib, BadlyCodedFilesStopWithoutHanging) {
  grec e2 = rec(11, 1, 1.0f);
  std::string s = record(e2);
  s[7] = 2;
  tmp.write("g.grb", s);
  std::string out;
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars), &out), 99);
  EXPECT_NE(out.find("File is not GRIB version 0 or 1, 0 or 1 is required. \nVersion number is 2\n"),
            std::string::npos);
  // A record claiming a length shorter than its sections.
  s = record(e2);
  s[4] = s[5] = 0;
  s[6] = 8;
  tmp.write("g.grb", s + record(e2));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars), &out), 55);
  // A record cut short: the index of what was read is still written.
  std::string whole = record(rec(11, 1, 1.0f)) + record(rec(12, 1, 1.0f));
  tmp.write("g.grb", whole.substr(0, whole.size() - 26));  // inside the data section header
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars), &out), 1);
  EXPECT_NE(out.find("I/O Error reading GRIB file\nPossible cause: premature EOF\n"), std::string::npos);
  EXPECT_EQ(fsize("g.idx"), 217);
  // Edition 0: no length in the indicator section.
  grec e0 = rec(11, 1, 6.0f);
  e0.edition = 0;
  tmp.write("g.grb", record(e0) + record(e0));
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
}

// An index of the first version, written by other tools in their own
// machine's byte order, serves the reader the same way.
TEST_F(Grib, FirstVersionIndexInEitherByteOrderReadsTheSame) {
  grec b = rec(12, 2, 3.0f);
  b.bitmap.assign(12, true);
  b.bitmap[2] = false;
  b.packed = ramp(11);
  tmp.write("g.grb", record(rec(11, 1, 1.0f)) + record(b));
  ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  gribidx gi;
  {
    dataset ds;
    open(ds);
    gi = *ds.pfi->pindx;
  }
  for (bool big : {true, false}) {
    std::vector<int> head = {1, gi.hinum, 0, gi.intnum, gi.fltnum, 0, 0, 0, 0};
    auto ints = [&](const std::vector<int>& v) {
      std::string s(v.size() * 4, '\0');
      std::memcpy(&s[0], v.data(), s.size());
      if (big == (omhostle() != 0)) ombswp(&s[0], v.size());
      return s;
    };
    std::string v1 = ints(head) + ints(gi.hipnt) + ints(gi.intpnt) + ddtest::floats(gi.fltpnt, big);
    tmp.write("g.idx", v1);
    dataset ds;
    open(ds);
    EXPECT_EQ(ds.pfi->pindx->type, 1);
    request a, c;
    grid(ds, 0, 1, a);
    EXPECT_FLOAT_EQ(a.at(4), 5.0f) << big;
    grid(ds, 1, 2, c);
    EXPECT_EQ(c.at(2), kU) << big;
    EXPECT_FLOAT_EQ(c.at(3), 5.0f) << big;
  }
}

TEST_F(Grib, DamagedIndexEntriesAreReadErrorsNotAllocations) {
  tmp.write("g.grb", record(rec(11, 1, 1.0f)));
  ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  std::string ix = fbytes("g.idx");
  ix[49] = 0x10;  // bits per value of the first entry: 2^28
  tmp.write("g.idx", ix);
  dataset ds;
  open(ds);
  request r;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {4, 3, 1, 1}, r);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "Data Request Error:  invalid bits per value in the GRIB index\n");
  ix[49] = 0;
  ix[44] = 0x7f;  // data offset beyond the end of the file
  tmp.write("g.idx", ix);
  dataset d2;
  open(d2);
  request r2;
  read(d2, 0, 0, 1, {1, 1, 1, 1}, {4, 3, 1, 1}, r2);
  EXPECT_EQ(r2.rc, 1);
  EXPECT_EQ(r2.out.rfind("GRIB I/O Error reading 14 bytes at ", 0), 0u) << r2.out;
  // 255 bits a value: the grid asks for more bytes than the file holds.
  // Room is made only for what the file holds (a damaged index may ask for
  // gigabytes), and the read is the same error.
  ix[44] = 0;
  ix[52] = static_cast<char>(255);
  tmp.write("g.idx", ix);
  dataset d3;
  open(d3);
  request r3;
  read(d3, 0, 0, 1, {1, 1, 1, 1}, {4, 3, 1, 1}, r3);
  EXPECT_EQ(r3.rc, 1);
  EXPECT_EQ(r3.out.rfind("GRIB I/O Error reading 384 bytes at ", 0), 0u) << r3.out;
  EXPECT_LE(d3.pfi->pbuf.size(), fbytes("g.grb").size());
}

TEST_F(Grib, FatalErrorsAreNotReportedAsSuccess) {
  std::string out;
  std::string plain = ctl("", kTwoVars);
  plain.erase(plain.find("index ^g.idx\n"), 13);
  EXPECT_EQ(mkindex(plain, &out), GMFATAL);
  EXPECT_NE(out.find("Data Descriptor file is not for GRIB data\n"), std::string::npos);
  EXPECT_EQ(mkindex(ctl("dtype grib\n", kTwoVars), &out), GMFATAL);  // no g.grb
  EXPECT_NE(out.find("Could not open GRIB file.  File name is:\n"), std::string::npos);
  tmp.write("g.grb", record(rec(11, 1, 1.0f)));
  std::string c = ctl("dtype grib\n", kTwoVars);
  c.replace(c.find("^g.idx"), 6, "^nodir/g.idx");
  EXPECT_EQ(mkindex(c, &out), GMFATAL);
  EXPECT_NE(out.find("Could not open index file: "), std::string::npos);
  // An index that cannot be written whole leaves the older one as it was.
  tmp.write("g.idx", "older");
  gmpcmn.descr = tmp.write("g.ctl", ctl("dtype grib\n", kTwoVars));
  {
    fsizecap cap(20);  // (what the maker prints is not captured: a file too)
    EXPECT_EQ(gribmap(), GMFATAL);
  }
  EXPECT_EQ(fbytes("g.idx"), "older");
}

// The index's size comes from the descriptor's counts before any record
// is found: 150 million entries (10 levels x 5 million times x 3) would
// take 1.2 GB, more than a process limited to 2 GB of address space lets
// one grid have, so the maker refuses before allocating or opening the
// GRIB file.  The death test re-runs the binary so that the memory bound
// is taken under the limit.  (Not under AddressSanitizer, whose shadow
// memory needs the address space.)
TEST_F(Grib, IndexLargerThanAGridMayBeIsRefusedBeforeAllocating) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit";
#else
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string c = ctl("dtype grib\n", "vars 1\na 10 11,100,0 tall\n",
                      "tdef 5000000 linear 00z01jan1990 1hr\n",
                      "zdef 10 levels 1000 900 800 700 600 500 400 300 200 100\n");
  auto refused = [&] {
    struct rlimit r = {rlim_t(2) << 30, rlim_t(2) << 30};
    setrlimit(RLIMIT_AS, &r);
    std::string out;
    int rc = mkindex(c, &out);
    std::fprintf(stderr, "%s", out.c_str());
    return rc == GMFATAL && out == "memory allocation error\n";
  };
  EXPECT_EXIT(std::exit(refused() ? 0 : 1), testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
#endif
}

// A record's bit map is one bit per point of the descriptor's grid, and
// its ordinals one int per point: 300 million points (20000 x 15000) need
// a 37.5 MB map, which the file holds, but 1.2 GB of ordinals, more than
// a process limited to 2 GB of address space lets one grid have.  The read
// is refused before room is made for them.  Everything runs under the
// limit in a re-run of the binary, so that the memory bound is taken there.
TEST_F(Grib, BitMapOrdinalsBeyondWhatAGridMayBeAreRefused) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit";
#else
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto refused = [&] {
    struct rlimit lim = {rlim_t(2) << 30, rlim_t(2) << 30};
    setrlimit(RLIMIT_AS, &lim);
    grec r = rec(11, 1, 0.0f);
    r.bitmap.assign(12, true);
    tmp.write("g.grb", record(r));
    std::string c = ctl("dtype grib\n", "vars 1\na 0 11,1,0 a\n");
    if (mkindex(c) != 1) return false;
    c.replace(c.find("xdef 4"), 6, "xdef 20000");
    c.replace(c.find("ydef 3"), 6, "ydef 15000");
    tmp.write("g.ctl", c);
    if (truncate(tmp.path("g.grb").c_str(), 40 << 20) != 0) return false;
    dataset ds;
    open(ds);
    request g;
    read(ds, 0, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1}, g);
    std::fprintf(stderr, "%s%s", ds.out.c_str(), g.out.c_str());
    return g.rc == 1 && g.out == "Memory Allocation Error During GRIB I/O\n";
  };
  EXPECT_EXIT(std::exit(refused() ? 0 : 1), testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
#endif
}

TEST_F(Grib, PutintWritesSignAndMagnitude) {
  unsigned char b[12] = {};
  int64_t pos = 0;
  putint(5, b, &pos);
  putint(-999, b, &pos);
  putint(-2147483647, b, &pos);
  EXPECT_EQ(pos, 12);
  EXPECT_EQ(b[3], 5);
  EXPECT_EQ(b[4], 0x80);
  EXPECT_EQ((b[6] << 8) | b[7], 999);
  EXPECT_EQ(b[8], 0xff);
  EXPECT_EQ(b[11], 0xff);
}

TEST_F(Grib, WideValuesOnANarrowGridFitTheBuffer) {
  grec r = rec(11, 1, 0.0f);
  r.ni = 2;
  r.nj = 3;
  r.bits = 32;
  r.packed = ramp(6, 100000000u);
  tmp.write("g.grb", record(r));
  std::string c =
      "dset ^g.grb\nindex ^g.idx\nundef -9.99e8\ndtype grib\nxdef 2 linear 0 180\n"
      "ydef 3 linear -90 90\nzdef 1 levels 1000\ntdef 1 linear 00z01jan1990 1dy\n"
      "vars 1\na 0 11,1,0 a\nendvars\n";
  ASSERT_EQ(mkindex(c), 1);
  dataset ds;
  open(ds);
  request g;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {2, 3, 1, 1}, g);
  ASSERT_EQ(g.rc, 0);
  for (int k = 0; k < 6; k++) EXPECT_FLOAT_EQ(g.at(k), 1e8f * k);
}

TEST_F(Grib, TemplateMembersWithEqualBitMapOffsetsReadTheirOwnBitMaps) {
  grec m1 = rec(11, 1, 0.0f);
  m1.bitmap.assign(12, true);
  m1.bitmap[0] = false;
  m1.packed = ramp(11, 1, 1);
  grec m2 = rec(11, 2, 0.0f);
  m2.bitmap.assign(12, true);
  m2.bitmap[11] = false;
  m2.packed = ramp(11, 1, 100);
  tmp.write("g01.grb", record(m1));
  tmp.write("g02.grb", record(m2));
  std::string c = ctl("dtype grib\noptions template\n", "vars 1\na 0 11,1,0 a\n",
                      "tdef 3 linear 00z01jan1990 1dy\n");
  c.replace(c.find("^g.grb"), 6, "^g%d2.grb");
  std::string out;
  ASSERT_EQ(mkindex(c, &out), 1) << out;
  EXPECT_NE(out.find("Warning: Could not open GRIB file: "), std::string::npos);
  dataset ds;
  open(ds);
  request g;
  read(ds, 0, 3, -1, {1, 1, 1, 1}, {1, 1, 1, 3}, g);  // point 0 over time
  ASSERT_EQ(g.rc, 0) << g.out;
  EXPECT_EQ(g.at(0), kU);
  EXPECT_FLOAT_EQ(g.at(1), 100.0f);
  EXPECT_EQ(g.at(2), kU);
}

// Every packing width the format allows a value in 32 bits, with a bit map
// and without, whole grids and runs starting inside the record.
TEST_F(Grib, EveryWidthUpTo32BitsReadsThePackedValues) {
  for (int b = 1; b <= 32; b++) {
    for (bool withmap : {false, true}) {
      grec r = rec(11, 1, 0.0f);
      r.bits = b;
      r.packed.clear();
      std::vector<float> want;
      for (uint32_t k = 0; k < 12; k++) {
        if (withmap && (k == 3 || k == 8)) {
          r.bitmap.push_back(false);
          want.push_back(kU);
          continue;
        }
        if (withmap) r.bitmap.push_back(true);
        const uint32_t v = static_cast<uint32_t>((0x9e3779b97f4a7c15ull * (k + 1)) >> (64 - b));
        r.packed.push_back(v);
        want.push_back(static_cast<float>(static_cast<double>(v)));
      }
      tmp.write("g.grb", record(r));
      ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1) << b;
      dataset ds;
      open(ds);
      request g, part;
      grid(ds, 0, 1, g);
      for (int k = 0; k < 12; k++) EXPECT_EQ(g.at(k), want[static_cast<size_t>(k)]) << b << " " << k;
      read(ds, 0, 0, -1, {2, 2, 1, 1}, {4, 2, 1, 1}, part);  // points 5 to 7
      ASSERT_EQ(part.rc, 0) << part.out;
      for (int k = 0; k < 3; k++) EXPECT_EQ(part.at(k), want[static_cast<size_t>(5 + k)]) << b << " " << k;
    }
  }
}

// X running past both ends of the globe: the record's rows laid out with
// their columns taken round, the bit map's absent points undefined.
TEST_F(Grib, RowsTakenRoundTheGlobeKeepTheirBitMap) {
  grec r = rec(11, 1, 0.0f);
  r.bitmap.assign(12, true);
  r.bitmap[4] = false;
  r.packed = ramp(11, 1, 1);
  tmp.write("g.grb", record(r));
  ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  dataset ds;
  open(ds);
  request g;
  read(ds, 0, 0, 1, {0, 1, 1, 1}, {9, 3, 1, 1}, g);
  ASSERT_EQ(g.rc, 0) << g.out;
  // Points 0..11 hold 1..4, undefined, 5..7, 8..11; column x is x mod 4.
  const float rows[3][4] = {{1, 2, 3, 4}, {kU, 5, 6, 7}, {8, 9, 10, 11}};
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 10; i++) EXPECT_EQ(g.at(i, j), rows[j][(i + 3) % 4]) << i << " " << j;
}

// ecCodes as an independent decoder of the same file, when installed.
TEST_F(Grib, ValuesAgreeWithAnIndependentDecoder) {
  if (std::system("command -v grib_get_data >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "grib_get_data not installed";
  grec r = rec(11, 1, -12.5f);
  r.D = 2;
  r.E = -3;
  r.bits = 11;
  r.bitmap.assign(12, true);
  r.bitmap[4] = false;
  r.packed = {3, 2047, 17, 0, 1024, 5, 77, 300, 1, 2, 9};
  tmp.write("g.grb", record(r));
  ASSERT_EQ(mkindex(ctl("dtype grib\n", kTwoVars)), 1);
  std::string cmd = "grib_get_data -m -99999 '" + tmp.path("g.grb") + "' > '" + tmp.path("v.txt") + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  FILE* f = std::fopen(tmp.path("v.txt").c_str(), "r");
  ASSERT_NE(f, nullptr);
  char line[256];
  std::vector<float> want;
  while (std::fgets(line, sizeof line, f)) {
    float la, lo, v;
    if (std::sscanf(line, "%f %f %f", &la, &lo, &v) == 3) want.push_back(v);
  }
  std::fclose(f);
  ASSERT_EQ(want.size(), 12u);
  dataset ds;
  open(ds);
  request g;
  grid(ds, 0, 1, g);
  for (int k = 0; k < 12; k++) {
    if (want[k] == -99999.0f) EXPECT_EQ(g.at(k), kU) << k;
    else EXPECT_NEAR(g.at(k), want[k], 1e-4) << k;
  }
}

// Records written by another program (cdo, from a netCDF file made with
// ncgen): forecast hours, a bit map and its own packing, when installed.
TEST_F(Grib, RecordsWrittenByCdoAreIndexedAndRead) {
  if (std::system("command -v cdo >/dev/null 2>&1 && command -v ncgen >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "cdo or ncgen not installed";
  tmp.write("t.cdl",
            "netcdf t {\ndimensions:\n lon = 4 ; lat = 3 ; time = UNLIMITED ;\nvariables:\n"
            " double lon(lon) ; lon:units = \"degrees_east\" ;\n"
            " double lat(lat) ; lat:units = \"degrees_north\" ;\n"
            " double time(time) ; time:units = \"hours since 1990-01-01 00:00:00\" ;\n"
            " float t(time, lat, lon) ; t:code = 11 ; t:_FillValue = -9.99e8f ;\n"
            "data:\n lon = 0, 10, 20, 30 ;\n lat = -10, 0, 10 ;\n time = 0, 24 ;\n"
            " t = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, _, 21.5, 22, 23, 24, 25, 26, 27, 28, 29, 30, "
            "31, 32 ;\n}\n");
  std::string cmd = "cd '" + tmp.dir() + "' && ncgen -o t.nc t.cdl && cdo -s -f grb copy t.nc g.grb";
  ASSERT_EQ(std::system((cmd + " >/dev/null 2>&1").c_str()), 0);
  const std::string c =
      "dset ^g.grb\nindex ^g.idx\nundef -9.99e8\ndtype grib\nxdef 4 linear 0 10\n"
      "ydef 3 linear -10 10\nzdef 1 levels 1000\ntdef 2 linear 00z01jan1990 1dy\n"
      "vars 1\nt 0 11,1,0 t\nendvars\n";
  std::string out;
  ASSERT_EQ(mkindex(c, &out), 1) << out;
  dataset ds;
  open(ds);
  request a, b;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {4, 3, 1, 1}, a);
  read(ds, 0, 0, 1, {1, 1, 1, 2}, {4, 3, 1, 2}, b);
  ASSERT_EQ(a.rc, 0);
  ASSERT_EQ(b.rc, 0);
  for (int k = 0; k < 11; k++) EXPECT_NEAR(a.at(k), k + 1.0f, 1e-3) << k;
  EXPECT_EQ(a.at(11), kU);
  EXPECT_NEAR(b.at(0), 21.5f, 1e-3);
  for (int k = 1; k < 12; k++) EXPECT_NEAR(b.at(k), k + 21.0f, 1e-3) << k;
}

}  // namespace
