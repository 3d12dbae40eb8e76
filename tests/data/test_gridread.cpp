// Grids read from binary data files made at test time: byte orders,
// element types, layouts, headers, wrapping, requests outside the file,
// the undefined band and template members.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/gridres.h"
#include "data/omggrd.h"
#include "ddtest.h"

using ddtest::DataTest;
using ddtest::dataset;
using ddtest::request;

namespace {

class GridRead : public DataTest {
 protected:
  // Parses the descriptor and opens its data file as the open command does.
  void open(const std::string& ctl, dataset& ds) { ddtest::opendataset(tmp.write("d.ctl", ctl), ds); }
  // Reads variable v over the given ranges (first/last per dimension) with
  // idim/jdim varying.
  void read(dataset& ds, int v, int idim, int jdim, std::vector<int> lo, std::vector<int> hi,
            request& r) {
    ddtest::readgrid(ds, v, idim, jdim, lo, hi, r);
  }
  // A data file of n floats whose values are their element positions,
  // after hdr bytes of file header.
  void counting(const std::string& name, int n, bool big, int hdr = 0) {
    std::vector<float> v(n);
    for (int i = 0; i < n; i++) v[i] = static_cast<float>(i);
    tmp.write(name, std::string(hdr, 'H') + ddtest::floats(v, big));
  }
};

const char* kAxes =
    "undef -9.99e8\n"
    "xdef 4 linear 0 10\n"
    "ydef 3 linear 0 10\n"
    "zdef 2 levels 1000 500\n"
    "tdef 2 linear 00z01jan2000 1dy\n";

const char* kVars = "vars 2\na 2 0 a\nb 0 0 b\nendvars\n";

TEST_F(GridRead, BothByteOrdersAndByteswapped) {
  for (int order = 0; order < 3; order++) {
    bool big = order != 1;
    counting("d.bin", 72, big);
    std::string opt = order == 0 ? "options big_endian\n" : order == 1 ? "options little_endian\n" : "";
    if (order == 2 && omhostle()) opt = "byteswapped\n";
    if (order == 2 && !omhostle()) counting("d.bin", 72, true);
    dataset ds;
    open("dset ^d.bin\n" + opt + kAxes + kVars, ds);
    request r;
    read(ds, 0, 0, 1, {1, 1, 2, 2}, {4, 3, 2, 2}, r);
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_EQ(r.g->isiz, 4);
    ASSERT_EQ(r.g->jsiz, 3);
    // a at level 2 of time 2: block 36 + level 12.
    for (int j = 0; j < 3; j++)
      for (int i = 0; i < 4; i++) EXPECT_EQ(r.at(i, j), 48 + j * 4 + i) << order;
    request s;
    read(ds, 1, 0, -1, {1, 2, 1, 2}, {4, 2, 1, 2}, s);
    ASSERT_EQ(s.rc, 0) << s.out;
    EXPECT_EQ(s.at(0), 36 + 24 + 4);
  }
}

TEST_F(GridRead, ReversedRowsAndLevels) {
  counting("d.bin", 72, true);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian yrev zrev\n") + kAxes + kVars, ds);
  request r;
  read(ds, 0, 1, -1, {2, 1, 1, 1}, {2, 3, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  // Level 1 is stored second (zrev), row y=1 is the last row (yrev).
  EXPECT_EQ(r.at(0), 12 + 8 + 1);
  EXPECT_EQ(r.at(1), 12 + 4 + 1);
  EXPECT_EQ(r.at(2), 12 + 0 + 1);
}

TEST_F(GridRead, EveryHeaderKind) {
  // G = 12 + XH(1) = 13; a at H = 1, b at 27; B = 40 + TH(2) + T(2) = 44.
  counting("d.bin", 88, true, 20);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\nfileheader 20\ntheader 8\nxyheader 4\n"
                   "headerbytes 4\ntrailerbytes 8\n") +
           kAxes + kVars,
       ds);
  EXPECT_EQ(ds.pfi->tsiz, 44);
  request r;
  read(ds, 0, -1, -1, {2, 3, 2, 2}, {2, 3, 2, 2}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.g->grid, &r.g->rmin);  // one value: kept in the record
  EXPECT_EQ(r.at(0), 44 + 1 + 13 + 8 + 1 + 1 + 2);
  request s;
  read(ds, 1, -1, -1, {1, 1, 1, 1}, {1, 1, 1, 1}, s);
  EXPECT_EQ(s.at(0), 27 + 1 + 2);
}

TEST_F(GridRead, SequentialRecords) {
  // G = 14, a at 1, b at 29, B = 42.
  counting("d.bin", 84, true);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian sequential\n") + kAxes + kVars, ds);
  EXPECT_EQ(ds.pfi->tsiz, 42);
  request r;
  read(ds, 0, 0, 1, {1, 1, 2, 2}, {4, 3, 2, 2}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(1, 2), 42 + 1 + 14 + 8 + 1);
  request s;
  read(ds, 1, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1}, s);
  EXPECT_EQ(s.at(3), 29 + 3);
}

TEST_F(GridRead, SmallElementTypes) {
  // One variable per element type, one time, 2x1 grid each.
  std::string bytes;
  bytes += std::string("\x05\xfa", 2);                      // 1-byte: 5, 250
  bytes += std::string("\xff\xfe\x01\x00", 4);              // 2-byte unsigned (big-endian)
  bytes += std::string("\xff\xfe\x01\x00", 4);              // 2-byte signed
  bytes += std::string("\xff\xff\xff\xfe\x00\x00\x01\x00", 8);  // 4-byte int
  tmp.write("d.bin", bytes);
  // Each variable has its own element size, but the layout counts elements:
  // use one variable per data set to keep byte offsets plain.
  struct {
    const char* var;
    int64_t fhdr;
    float v0, v1;
  } cases[] = {{"c 0 -1,40,1 bytes", 0, 5, 250},
               {"u 0 -1,40,2 ushort", 2, 65534, 256},
               {"s 0 -1,40,2,-1 short", 6, -2, 256},
               {"i 0 -1,40,4 int", 10, -2, 256}};
  for (const auto& c : cases) {
    dataset ds;
    open("dset ^d.bin\noptions big_endian\nfileheader " + std::to_string(c.fhdr) +
             "\nundef -999\nxdef 2 linear 0 1\nydef 1 linear 0 1\nzdef 1 levels 1\n"
             "tdef 1 linear 1jan2000 1dy\nvars 1\n" + c.var + "\nendvars\n",
         ds);
    request r;
    read(ds, 0, 0, -1, {1, 1, 1, 1}, {2, 1, 1, 1}, r);
    ASSERT_EQ(r.rc, 0) << c.var << r.out;
    EXPECT_EQ(r.at(0), c.v0) << c.var;
    EXPECT_EQ(r.at(1), c.v1) << c.var;
  }
}

TEST_F(GridRead, TransposedBytes) {
  // 2x3 grid stored y fastest as bytes: (x=1: 1 2 3) (x=2: 4 5 6).
  tmp.write("d.bin", std::string("\x01\x02\x03\x04\x05\x06", 6));
  dataset ds;
  open("dset ^d.bin\nundef -999\nxdef 2 linear 0 1\nydef 3 linear 0 1\nzdef 1 levels 1\n"
       "tdef 1 linear 1jan2000 1dy\nvars 1\nb 0 -1,30,-1,40 transposed bytes\nendvars\n",
       ds);
  ds.pfi->pvar1[0].dfrm = 1;
  request r;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {2, 3, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0, 0), 1);
  EXPECT_EQ(r.at(1, 0), 4);
  EXPECT_EQ(r.at(1, 2), 6);
}

TEST_F(GridRead, TransposedFloatsThatAreNoNumberAreUndefined) {
  // 2x3 floats stored y fastest: (x=1: NaN 2 inf) (x=2: -999 -inf 6).
  const float v[6] = {std::numeric_limits<float>::quiet_NaN(), 2, std::numeric_limits<float>::infinity(),
                      -999, -std::numeric_limits<float>::infinity(), 6};
  std::string bytes(reinterpret_cast<const char*>(v), sizeof v);
  tmp.write("d.bin", bytes);
  dataset ds;
  open(std::string("dset ^d.bin\noptions ") + (omhostle() ? "little_endian" : "big_endian") +
           "\nundef -999\nxdef 2 linear 0 1\nydef 3 linear 0 1\nzdef 1 levels 1\n"
           "tdef 1 linear 1jan2000 1dy\nvars 1\nf 0 -1,30 transposed floats\nendvars\n",
       ds);
  request r;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {2, 3, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  const float u = r.g->undef;
  EXPECT_EQ(u, -999.0f);
  EXPECT_EQ((std::vector<float>{r.at(0, 0), r.at(1, 0), r.at(0, 1), r.at(1, 1), r.at(0, 2), r.at(1, 2)}),
            (std::vector<float>{u, u, 2, u, u, 6}));
}

TEST_F(GridRead, LittleEndianShorts) {
  tmp.write("d.bin", std::string("\xfe\xff\x00\x01", 4));
  dataset ds;
  open("dset ^d.bin\noptions little_endian\nundef -999\nxdef 2 linear 0 1\nydef 1 linear 0 1\n"
       "zdef 1 levels 1\ntdef 1 linear 1jan2000 1dy\nvars 1\ns 0 -1,40,2,-1 s\nendvars\n",
       ds);
  request r;
  read(ds, 0, 0, -1, {1, 1, 1, 1}, {2, 1, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0), -2);
  EXPECT_EQ(r.at(1), 256);
}

TEST_F(GridRead, VariableMajorAndTransposed) {
  counting("d.bin", 72, true);
  {
    dataset ds;
    open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes +
             "vars 2\na 2 -1,20 all times together\nb 0 -1,20 surface\nendvars\n",
         ds);
    // a: time block of the variable = 2*12; b begins after a's 2 times.
    EXPECT_EQ(ds.pfi->pvar1[1].offset, 48);
    request r;
    read(ds, 0, 0, -1, {1, 2, 2, 2}, {4, 2, 2, 2}, r);
    ASSERT_EQ(r.rc, 0) << r.out;
    EXPECT_EQ(r.at(0), 24 + 12 + 4);
    EXPECT_EQ(r.at(3), 24 + 12 + 7);
    request b;
    read(ds, 1, 0, -1, {1, 1, 1, 2}, {4, 1, 1, 2}, b);
    EXPECT_EQ(b.at(0), 48 + 12);
  }
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes +
           "vars 2\na 2 0 a\nb 0 -1,30 transposed\nendvars\n",
       ds);
  request s;  // transposed: y fastest, so x steps by ny = 3
  read(ds, 1, 0, -1, {1, 2, 1, 1}, {4, 2, 1, 1}, s);
  ASSERT_EQ(s.rc, 0) << s.out;
  EXPECT_EQ(s.at(0), 24 + 1);
  EXPECT_EQ(s.at(1), 24 + 4);
  EXPECT_EQ(s.at(3), 24 + 10);
  request t;
  read(ds, 1, 1, -1, {2, 1, 1, 2}, {2, 3, 1, 2}, t);
  EXPECT_EQ(t.at(2), 36 + 24 + 3 + 2);
}

TEST_F(GridRead, LongitudeWrapAndRequestsOutside) {
  counting("d.bin", 72, true);
  std::string wrapaxes =
      "undef -9.99e8\nxdef 4 linear 0 90\nydef 3 linear 0 10\nzdef 2 levels 1000 500\n"
      "tdef 2 linear 00z01jan2000 1dy\n";
  {
    dataset ds;
    open("dset ^d.bin\noptions big_endian\n" + wrapaxes + kVars, ds);
    ASSERT_EQ(ds.pfi->wrap, 1);
    request r;
    read(ds, 0, 0, -1, {-1, 1, 1, 1}, {6, 1, 1, 1}, r);
    ASSERT_EQ(r.rc, 0) << r.out;
    const float want[8] = {2, 3, 0, 1, 2, 3, 0, 1};
    for (int i = 0; i < 8; i++) EXPECT_EQ(r.at(i), want[i]) << i;
    request s;  // X fixed outside the file is brought back in
    read(ds, 0, 1, -1, {6, 1, 1, 1}, {6, 3, 1, 1}, s);
    ASSERT_EQ(s.rc, 0);
    EXPECT_EQ(s.g->dimmin[0], 2);
    EXPECT_EQ(s.at(2), 9);
  }
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes + kVars, ds);
  ASSERT_EQ(ds.pfi->wrap, 0);
  request r;
  read(ds, 0, 0, -1, {-1, 1, 1, 1}, {6, 1, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0), -9.99e8f);
  EXPECT_EQ(r.at(1), -9.99e8f);
  EXPECT_EQ(r.at(2), 0);
  EXPECT_EQ(r.at(5), 3);
  EXPECT_EQ(r.at(6), -9.99e8f);
  EXPECT_EQ(r.out, "");
  request w;  // wholly west of the file
  read(ds, 0, 0, -1, {-5, 1, 1, 1}, {-2, 1, 1, 1}, w);
  EXPECT_EQ(w.rc, -1);
  EXPECT_EQ(w.out,
            "Data Request Warning:  Request beyond file limits\n"
            "  Entire grid contents are set to missing data \n"
            "  Dimension ranges are:  X = -5 4  Y = 1 3  Z = 1 2  T = 1 2 \n");
  for (int i = 0; i < 4; i++) EXPECT_EQ(w.at(i), -9.99e8f);
  request t;  // a fixed time outside the file
  read(ds, 0, 0, 1, {1, 1, 1, 3}, {4, 3, 1, 3}, t);
  EXPECT_EQ(t.rc, -1);
  EXPECT_NE(t.out.find("T = 3 2"), std::string::npos) << t.out;
  mfcmn.mfwarn = 0;
  request q;
  read(ds, 0, 0, -1, {-5, 1, 1, 1}, {-2, 1, 1, 1}, q);
  EXPECT_EQ(q.rc, -1);
  EXPECT_EQ(q.out, "");
}

TEST_F(GridRead, WrappedRowsOfAWholeGrid) {
  // X past both ends (more than twice round) over several rows is read as
  // whole rows at once and laid out with the wrap-around columns; it must
  // agree with reading the same rows one at a time.
  counting("d.bin", 72, true);
  dataset ds;
  open("dset ^d.bin\noptions big_endian\nundef -9.99e8\nxdef 4 linear 0 90\n"
       "ydef 3 linear 0 10\nzdef 2 levels 1000 500\ntdef 2 linear 00z01jan2000 1dy\n" +
           std::string(kVars),
       ds);
  ASSERT_EQ(ds.pfi->wrap, 1);
  request r;
  read(ds, 0, 0, 1, {-5, 2, 2, 2}, {10, 3, 2, 2}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  ASSERT_EQ(r.g->isiz, 16);
  ASSERT_EQ(r.g->jsiz, 2);
  for (int j = 0; j < 2; j++) {
    request row;
    read(ds, 0, 0, -1, {-5, 2 + j, 2, 2}, {10, 2 + j, 2, 2}, row);
    ASSERT_EQ(row.rc, 0);
    for (int i = 0; i < 16; i++) {
      int x = ((-5 + i - 1) % 4 + 4) % 4;
      EXPECT_EQ(r.at(i, j), 36 + 12 + (1 + j) * 4 + x) << i << " " << j;
      EXPECT_EQ(r.at(i, j), row.at(i)) << i << " " << j;
    }
  }
  // Only the east end past the file, starting inside it.
  request e;
  read(ds, 1, 0, 1, {3, 1, 1, 1}, {6, 3, 1, 1}, e);
  ASSERT_EQ(e.rc, 0);
  const float east[4] = {2, 3, 0, 1};
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 4; i++) EXPECT_EQ(e.at(i, j), 24 + j * 4 + east[i]) << i << " " << j;
  // Rows partly outside the file still come out undefined there.
  request o;
  read(ds, 1, 0, 1, {0, 0, 1, 1}, {5, 2, 1, 1}, o);
  ASSERT_EQ(o.rc, 0);
  for (int i = 0; i < 6; i++) EXPECT_EQ(o.at(i, 0), -9.99e8f);
  EXPECT_EQ(o.at(0, 1), 27);
  EXPECT_EQ(o.at(5, 2), 24 + 4 + 0);
}

TEST_F(GridRead, SurfaceVariables) {
  counting("d.bin", 72, true);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes + kVars, ds);
  request r;  // Z fixed at 5: the only level is read
  read(ds, 1, 0, -1, {1, 1, 5, 1}, {4, 1, 5, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0), 24);
  request s;
  read(ds, 1, 0, 2, {1, 1, 1, 1}, {4, 1, 2, 1}, s);
  EXPECT_EQ(s.rc, -1);
  EXPECT_EQ(s.out,
            "Data Request Warning:  Varying Z dimension environment...\n"
            "  but the requested variable has no Z dimension\n"
            "  Entire grid contents are set to missing data \n");
}

TEST_F(GridRead, SectionsWithXFixed) {
  counting("d.bin", 72, true);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes + kVars, ds);
  request r;  // latitude-level section at x = 3, time 2
  read(ds, 0, 1, 2, {3, 0, 1, 2}, {3, 3, 2, 2}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  ASSERT_EQ(r.g->isiz, 4);
  ASSERT_EQ(r.g->jsiz, 2);
  EXPECT_EQ(r.at(0, 0), -9.99e8f);  // y = 0 lies outside
  EXPECT_EQ(r.at(1, 0), 36 + 2);
  EXPECT_EQ(r.at(3, 1), 36 + 12 + 8 + 2);
  request t;  // time series at one point
  read(ds, 0, 3, -1, {2, 2, 1, 1}, {2, 2, 1, 3}, t);
  ASSERT_EQ(t.rc, 0);
  EXPECT_EQ(t.at(0), 5);
  EXPECT_EQ(t.at(1), 41);
  EXPECT_EQ(t.at(2), -9.99e8f);
}

TEST_F(GridRead, UndefinedBandAndTimeOffset) {
  std::vector<float> v(72, 1.0f);
  v[0] = -9.99e8f;
  v[1] = -9.99e8f + 5000.0f;  // inside the band (|undef|/100000 = 9990)
  v[2] = -9.99e8f + 20000.0f;  // outside
  v[36] = 7.0f;
  tmp.write("d.bin", ddtest::floats(v, true));
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes + "toff 1\n" + kVars, ds);
  ds.pfi->tlpflg = 0;
  request r;
  read(ds, 0, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1}, r);
  r.g->undef = -1.0f;
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.at(0), -9.99e8f);  // undef of the request at read time
  EXPECT_EQ(r.at(1), -9.99e8f);
  EXPECT_EQ(r.at(2), -9.99e8f + 20000.0f);
  ds.pfi->tlpflg = 1;
  request s;  // time 1 with an offset of 1 reads time 2
  read(ds, 0, 0, -1, {1, 1, 1, 1}, {1, 1, 1, 1}, s);
  EXPECT_EQ(s.at(0), 7.0f);
  request t;  // time 2 wraps to time 1
  read(ds, 0, 0, -1, {1, 1, 1, 2}, {1, 1, 1, 2}, t);
  EXPECT_EQ(t.at(0), -9.99e8f);
}

TEST_F(GridRead, ShortDataFileIsAReadError) {
  counting("d.bin", 40, true);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes + kVars, ds);
  request r;
  read(ds, 0, 0, 1, {1, 1, 1, 2}, {4, 3, 1, 2}, r);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out.find("Low Level I/O Error:  Read error on data file \n"
                       "  Data file name = " + tmp.path("d.bin") + " \n"),
            0u)
      << r.out;
}

// Grids of a page or more are taken from a map of the data file: one cut
// short after it was mapped gives the read error for the steps it lost
// (never a fault on the lost pages) and the steps it kept; one that grows
// is mapped anew.
TEST_F(GridRead, FilesThatShrinkOrGrowUnderTheirMap) {
  // 32 x 32 floats a step, one page; a header of a page puts time 2 at the
  // start of the third page, so that a cut after time 1 leaves it unbacked.
  const int n = 32 * 32;
  counting("d.bin", 2 * n, true, 4096);
  dataset ds;
  open("dset ^d.bin\noptions big_endian\nfileheader 4096\nundef -9.99e8\nxdef 32 linear 0 10\n"
       "ydef 32 linear 0 5\nzdef 1 levels 1000\ntdef 3 linear 00z01jan2000 1dy\nvars 1\nv 0 0 v\nendvars\n",
       ds);
  request r;
  read(ds, 0, 0, 1, {1, 1, 1, 2}, {32, 32, 1, 2}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(31, 31), n + n - 1);
  ASSERT_EQ(truncate(tmp.path("d.bin").c_str(), 8192), 0);  // time 1 only
  request lost, kept;
  read(ds, 0, 0, 1, {1, 1, 1, 2}, {32, 32, 1, 2}, lost);
  EXPECT_EQ(lost.rc, 1);
  EXPECT_EQ(lost.out.find("Low Level I/O Error:  Read error on data file \n"), 0u) << lost.out;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {32, 32, 1, 1}, kept);
  ASSERT_EQ(kept.rc, 0) << kept.out;
  EXPECT_EQ(kept.at(31, 31), n - 1);
  // Time 2 written again, byte-swapped beside the host, with values the
  // undefined band and non-numbers make undefined.
  std::vector<float> v(n);
  for (int i = 0; i < n; i++) v[i] = 1000.0f + i;
  v[0] = -9.99e8f + 5000.0f;
  v[1] = std::numeric_limits<float>::quiet_NaN();
  v[2] = -std::numeric_limits<float>::infinity();
  v[3] = -1.5e-39f;  // subnormal: data
  FILE* f = std::fopen(tmp.path("d.bin").c_str(), "ab");
  ASSERT_NE(f, nullptr);
  std::string bytes = ddtest::floats(v, true) + ddtest::floats(v, true);  // times 2 and 3
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
  request grown;
  read(ds, 0, 0, 1, {1, 1, 1, 2}, {32, 32, 1, 2}, grown);
  ASSERT_EQ(grown.rc, 0) << grown.out;
  EXPECT_EQ(grown.at(0), -9.99e8f);
  EXPECT_EQ(grown.at(1), -9.99e8f);
  EXPECT_EQ(grown.at(2), -9.99e8f);
  EXPECT_EQ(grown.at(3), -1.5e-39f);
  EXPECT_EQ(grown.at(31, 31), 1000.0f + n - 1);
  request third;  // past the end of the file's first map
  read(ds, 0, 0, 1, {1, 1, 1, 3}, {32, 32, 1, 3}, third);
  ASSERT_EQ(third.rc, 0) << third.out;
  EXPECT_EQ(third.at(31, 31), 1000.0f + n - 1);
  // In the host's own byte order the map's floats are taken as they are.
  counting("e.bin", n, false);
  dataset le;
  ddtest::opendataset(tmp.write("e.ctl", "dset ^e.bin\noptions little_endian\nundef 5\nxdef 32 linear 0 10\n"
                                         "ydef 32 linear 0 5\nzdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\n"
                                         "vars 1\nv 0 0 v\nendvars\n"),
                      le);
  request h;
  read(le, 0, 0, 1, {1, 1, 1, 1}, {32, 32, 1, 1}, h);
  ASSERT_EQ(h.rc, 0) << h.out;
  for (int k = 0; k < n; k++) EXPECT_EQ(h.at(k % 32, k / 32), k == 5 ? 5.0f : static_cast<float>(k)) << k;
}

// Kilobytes of file pages mapped into the process (RssFile), -1 unknown.
long rssfile_kb() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f) != nullptr)
    if (std::sscanf(line, "RssFile: %ld", &kb) == 1) break;
  std::fclose(f);
  return kb;
}

// A file read through its map once does not stay resident: 80 MB of
// steps leave at most the last stretch of pages mapped.
TEST_F(GridRead, FileReadThroughOnceDoesNotStayResident) {
  const int nx = 1024, ny = 1024, nt = 20;
  {
    FILE* f = std::fopen(tmp.path("big.bin").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::vector<float> g(static_cast<size_t>(nx) * ny, 1.0f);
    for (int t = 0; t < nt; t++) ASSERT_EQ(std::fwrite(g.data(), sizeof(float), g.size(), f), g.size());
    std::fclose(f);
  }
  dataset ds;
  ddtest::opendataset(tmp.write("big.ctl", "dset ^big.bin\noptions little_endian\nundef -9.99e8\n"
                                           "xdef 1024 linear 0 1\nydef 1024 linear 0 1\nzdef 1 levels 1000\n"
                                           "tdef 20 linear 00z01jan2000 1dy\nvars 1\nv 0 0 v\nendvars\n"),
                      ds);
  const long before = rssfile_kb();
  if (before < 0) GTEST_SKIP() << "no RssFile in /proc/self/status";
  for (int t = 1; t <= nt; t++) {
    request r;
    read(ds, 0, 0, 1, {1, 1, 1, t}, {nx, ny, 1, t}, r);
    ASSERT_EQ(r.rc, 0) << r.out;
    ASSERT_EQ(r.at(nx - 1, ny - 1), 1.0f);
  }
  EXPECT_LT(rssfile_kb() - before, 70 * 1024);
}

TEST_F(GridRead, TemplateMembersAndMissingOnes) {
  // Daily files of 2 times each over a 12-hourly axis; the third is missing.
  for (int day = 1; day <= 2; day++) {
    std::vector<float> v(24);
    for (int i = 0; i < 24; i++) v[i] = day * 100.0f + i;
    tmp.write("m2000010" + std::to_string(day) + ".bin", ddtest::floats(v, true));
  }
  dataset ds;
  open("dset ^m%y4%m2%d2.bin\noptions big_endian template\nundef -9.99e8\n"
       "xdef 4 linear 0 10\nydef 3 linear 0 10\nzdef 1 levels 1000\n"
       "tdef 6 linear 00z01jan2000 12hr\nvars 1\nv 0 0 v\nendvars\n",
       ds);
  ASSERT_EQ(ds.pfi->fnums, (std::vector<int>{1, 1, 3, 3, 5, 5}));
  request r;
  read(ds, 0, 3, -1, {2, 1, 1, 1}, {2, 1, 1, 6}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0), 101);
  EXPECT_EQ(r.at(1), 113);
  EXPECT_EQ(r.at(2), 201);
  EXPECT_EQ(r.at(3), 213);
  EXPECT_EQ(r.at(4), -9.99e8f);
  EXPECT_EQ(r.at(5), -9.99e8f);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ds.pfi->infile, nullptr);  // the failed member left no stream
  ds.pfi->misswarn = 1;
  request s;
  read(ds, 0, 0, 1, {1, 1, 1, 5}, {4, 3, 1, 5}, s);
  EXPECT_EQ(s.rc, 0);
  EXPECT_EQ(s.out, "Warning: Open error, fn = " + tmp.path("m20000103.bin") + "\n");
  request t;  // the same time again warns again
  read(ds, 0, 0, 1, {1, 1, 1, 5}, {4, 3, 1, 5}, t);
  EXPECT_EQ(t.out, s.out);
  request u;  // an existing member after the missing one
  read(ds, 0, 0, -1, {1, 3, 1, 4}, {4, 3, 1, 4}, u);
  ASSERT_EQ(u.rc, 0);
  EXPECT_EQ(u.at(3), 212 + 11);
  EXPECT_EQ(ds.pfi->tempname, tmp.path("m20000102.bin"));
  // Within a request a missing member is tried once; the next request
  // tries it again and finds it once it is there.
  request v;
  read(ds, 0, 1, -1, {1, 1, 1, 5}, {1, 3, 1, 5}, v);
  EXPECT_EQ(v.out, s.out);
  EXPECT_EQ(v.at(2), -9.99e8f);
  std::vector<float> w(24);
  for (int i = 0; i < 24; i++) w[i] = 300.0f + i;
  tmp.write("m20000103.bin", ddtest::floats(w, true));
  request x;
  read(ds, 0, 1, -1, {1, 1, 1, 5}, {1, 3, 1, 5}, x);
  ASSERT_EQ(x.rc, 0);
  EXPECT_EQ(x.out, "");
  EXPECT_EQ(x.at(0), 300);
  EXPECT_EQ(x.at(2), 308);
}

TEST_F(GridRead, CoordinateAndDefinedGrids) {
  counting("d.bin", 72, true);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes + kVars, ds);
  filevar lon;
  lon.levels = -999;
  lon.offset = 0;
  ds.pfi->pvar1.push_back(lon);
  request r;
  read(ds, 2, 0, 1, {0, 1, 1, 1}, {5, 2, 1, 1}, r);
  ASSERT_EQ(r.rc, 0);
  EXPECT_FLOAT_EQ(r.at(0, 0), -10.0f);
  EXPECT_FLOAT_EQ(r.at(5, 1), 40.0f);
  // A defined grid of 3x2 (x, y) at one level and time.
  datafile* def = getpfi();
  def->type = 4;
  def->undef = -5;
  def->dnum[0] = 3;
  def->dnum[1] = 2;
  def->dnum[2] = 1;
  def->dnum[3] = 1;
  def->dimoff[0] = 1;  // defined from x = 2
  def->rbuf = {1, 2, 3, 4, 5, 6};
  def->pvar1.resize(1);
  dataset dd;
  dd.pfi = def;
  request d;
  read(dd, 0, 0, 3, {1, 1, 1, 1}, {4, 1, 1, 4}, d);
  ASSERT_EQ(d.rc, 0);
  EXPECT_EQ(d.g->jdim, -1);  // one time: T no longer varies
  ASSERT_EQ(d.g->isiz, 4);
  EXPECT_EQ(d.at(0), -5);  // x = 1 lies before the definition
  EXPECT_EQ(d.at(1), 1);
  EXPECT_EQ(d.at(3), 3);
}

// A climatological defined grid repeats its cycle at any time index,
// however far from the definition, in one step per point.
TEST_F(GridRead, ClimatologicalCycleAtFarTimes) {
  datafile* def = getpfi();
  def->type = 4;
  def->undef = -5;
  for (int d = 0; d < 3; d++) def->dnum[d] = 1;
  def->dnum[3] = 2;
  def->climo = 1;
  def->cysiz = 2;
  def->rbuf = {10, 20};
  def->pvar1.resize(1);
  dataset dd;
  dd.pfi = def;
  request f;
  read(dd, 0, 3, -1, {1, 1, 1, 2000000000}, {1, 1, 1, 2000000003}, f);
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.at(0), 20);
  EXPECT_EQ(f.at(1), 10);
  EXPECT_EQ(f.at(3), 10);
  request b;
  read(dd, 0, 3, -1, {1, 1, 1, -2000000000}, {1, 1, 1, -1999999999}, b);
  ASSERT_EQ(b.rc, 0);
  EXPECT_EQ(b.at(0), 20);
  EXPECT_EQ(b.at(1), 10);
}

TEST_F(GridRead, GribDataSetWithoutIndexIsRefused) {
  tmp.write("d.bin", "");
  dataset ds;
  open(std::string("dset ^d.bin\ndtype grib\n") + kAxes + kVars, ds);
  request r;
  read(ds, 0, 0, 1, {1, 1, 1, 1}, {4, 3, 1, 1}, r);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "Data Request Error:  the GRIB data set has no index\n");
}

TEST_F(GridRead, BadRequestsAreLogicErrors) {
  counting("d.bin", 72, true);
  dataset ds;
  open(std::string("dset ^d.bin\noptions big_endian\n") + kAxes + kVars, ds);
  request r;
  read(ds, 0, 1, 0, {1, 1, 1, 1}, {4, 3, 1, 1}, r);
  EXPECT_EQ(r.rc, 16);
  EXPECT_EQ(r.out, "Internal logic check 16:  1 0  \n");
}

}  // namespace

namespace {

// Positions beyond 2^31 elements and offsets beyond 2 GB, in a sparse file.
TEST_F(GridRead, PositionsBeyond32Bits) {
  const int64_t nx = 65536, ny = 65536;
  const int64_t fhdr = 3000000000LL;
  std::string name = tmp.path("big.bin");
  FILE* f = std::fopen(name.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::vector<float> row = {1.5f, 2.5f, 3.5f, 4.5f};
  std::string bytes = ddtest::floats(row, true);
  // Last row of the only grid: element (ny-1)*nx.
  int64_t pos = fhdr + 4 * ((ny - 1) * nx);
  ASSERT_EQ(ftruncate(fileno(f), pos + 4 * nx), 0);
  ASSERT_EQ(pwrite(fileno(f), bytes.data(), bytes.size(), pos), static_cast<ssize_t>(bytes.size()));
  std::fclose(f);
  dataset ds;
  open("dset ^big.bin\noptions big_endian\nfileheader 3000000000\nundef -9.99e8\n"
       "xdef 65536 linear 0 0.0054931640625\nydef 65536 linear -90 0.00274658203125\n"
       "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\nv 0 0 v\nendvars\n",
       ds);
  EXPECT_EQ(ds.pfi->fhdr, fhdr);
  EXPECT_EQ(ds.pfi->tsiz, nx * ny);
  request r;
  read(ds, 0, 0, -1, {1, 65536, 1, 1}, {4, 65536, 1, 1}, r);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0), 1.5f);
  EXPECT_EQ(r.at(3), 4.5f);
}

}  // namespace
