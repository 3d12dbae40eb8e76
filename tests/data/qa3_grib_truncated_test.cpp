// A GRIB file cut short after its index was made (a copy that stopped, a
// file still being written): the values whose bytes are missing are a read
// error, not a grid of reference values made from zero bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/gribmap.h"
#include "data/gridres.h"
#include "data/omggrd.h"
#include "ddtest.h"
#include "test_grib_util.h"

using gribtest::grec;
using gribtest::ramp;
using gribtest::record;

namespace {

class GribCut : public ddtest::DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    gmpcmn = gmapset();
  }
  void TearDown() override {
    if (pfi && pfi->infile) std::fclose(pfi->infile);
    frepfi(pfi, 0);
    DataTest::TearDown();
  }

  // Two records (times 1 and 2) of a 4 x 3 grid, indexed, then the file
  // rewritten without its last cut bytes.
  void make(bool bitmap, size_t cut, const std::string& pdef = "") {
    grec a;
    a.bits = 16;
    a.ref = 100.0f;
    a.packed = ramp(12, 3);
    grec b = a;
    b.dy = 2;
    if (bitmap) {
      b.bitmap.assign(12, true);
      b.bitmap[4] = false;
      b.packed = ramp(11, 5);
    }
    std::string data = record(a) + record(b);
    tmp.write("g.grb", data);
    tmp.write("g.ctl", "dset ^g.grb\nindex ^g.idx\nundef -9.99e8\ndtype grib\n" + pdef +
                           "xdef 4 linear 0 90\nydef 3 linear -90 90\nzdef 1 levels 1000\n"
                           "tdef 2 linear 00z01jan1990 1dy\nvars 1\na 0 11,1,0 a\nendvars\n");
    gmpcmn.descr = tmp.path("g.ctl");
    testing::internal::CaptureStdout();
    int rc = gribmap();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(rc, 1);
    tmp.write("g.grb", data.substr(0, data.size() - cut));
    ddtest::parsed p;
    ddtest::parse(tmp.path("g.ctl"), p);
    ASSERT_EQ(p.rc, 0) << p.out;
    pfi = p.pfi;
    p.pfi = nullptr;
    pfi->infile = std::fopen(pfi->name.c_str(), "rb");
    ASSERT_NE(pfi->infile, nullptr);
  }

  // Reads the whole grid of time t; the result code, the grid in out.
  int read(int t, std::vector<float>& vals, std::string& msg) {
    gridres* g = omgnew();
    g->pfi = pfi;
    g->pvar = &pfi->pvar1[0];
    g->undef = pfi->undef;
    g->idim = 0;
    g->jdim = 1;
    int lo[4] = {1, 1, 1, t}, hi[4] = {4, 3, 1, t};
    for (int k = 0; k < 4; k++) {
      g->dimmin[k] = lo[k];
      g->dimmax[k] = hi[k];
    }
    testing::internal::CaptureStdout();
    int rc = omggrd(g);
    std::fflush(stdout);
    msg = testing::internal::GetCapturedStdout();
    vals.clear();
    if (rc == 0) vals.assign(g->grid, g->grid + g->isiz * g->jsiz);
    omgfre(g);
    return rc;
  }

  datafile* pfi = nullptr;
};

TEST_F(GribCut, WholeFileReadsBothRecords) {
  make(true, 0);
  std::vector<float> v;
  std::string msg;
  ASSERT_EQ(read(2, v, msg), 0) << msg;
  EXPECT_FLOAT_EQ(v[0], 100.0f);
  EXPECT_EQ(v[4], -9.99e8f);
  EXPECT_FLOAT_EQ(v[11], 150.0f);
}

TEST_F(GribCut, RecordCutInItsValuesIsAReadError) {
  for (bool bitmap : {false, true}) {
    SCOPED_TRACE(bitmap ? "with bit map" : "without bit map");
    // The trailer and the last values of the second record are gone.
    make(bitmap, 8);
    std::vector<float> v;
    std::string msg;
    EXPECT_NE(read(2, v, msg), 0);
    EXPECT_NE(msg.find("GRIB I/O Error reading"), std::string::npos) << msg;
    // The first record is whole and still reads.
    ASSERT_EQ(read(1, v, msg), 0) << msg;
    EXPECT_FLOAT_EQ(v[11], 133.0f);
    std::fclose(pfi->infile);
    frepfi(pfi, 0);
    pfi = nullptr;
  }
}

TEST_F(GribCut, LostTrailerAloneStillReadsTheValues) {
  // Only the end mark is missing: every value byte is there.
  make(false, 4);
  std::vector<float> v;
  std::string msg;
  ASSERT_EQ(read(2, v, msg), 0) << msg;
  EXPECT_FLOAT_EQ(v[11], 133.0f);
}

// Pre-projected: the whole packed record is read once per request and the
// points are taken from that copy; a point whose native neighbours lie in
// the missing bytes is a read error too, the others still read.
TEST_F(GribCut, PreProjectedPointsBeyondTheCutAreAReadError) {
  // Every target point at native (1.5, 1.5) but the last, at (3.5, 2.5),
  // whose upper neighbours are the last two values of the record.
  std::vector<float> ipos(12, 1.5f), jpos(12, 1.5f), ang(12, 0.0f);
  ipos[11] = 3.5f;
  jpos[11] = 2.5f;
  std::string w = ddtest::floats(ipos, false) + ddtest::floats(jpos, false) +
                  ddtest::floats(ang, false);
  tmp.writebin("w.bin", w.data(), w.size());
  const std::string pdef = "pdef 4 3 bilin stream binary-little ^w.bin\n";
  make(false, 0, pdef);
  std::vector<float> v;
  std::string msg;
  ASSERT_EQ(read(2, v, msg), 0) << msg;
  // Values 100 + 3k at native point k: (1.5, 1.5) averages k = 0, 1, 4, 5.
  EXPECT_FLOAT_EQ(v[0], 107.5f);
  EXPECT_FLOAT_EQ(v[11], 125.5f);
  std::fclose(pfi->infile);
  frepfi(pfi, 0);
  pfi = nullptr;
  make(false, 8, pdef);
  EXPECT_NE(read(2, v, msg), 0);
  EXPECT_NE(msg.find("GRIB I/O Error reading"), std::string::npos) << msg;
  ASSERT_EQ(read(1, v, msg), 0) << msg;
  EXPECT_FLOAT_EQ(v[11], 125.5f);
}

}  // namespace
