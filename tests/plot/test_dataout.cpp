// The non-graphic display outputs: fwrite files in both byte orders and
// forms, value listings, the statistics block, writegds files, and the
// dispatch that chooses between them.
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "base/fifo_end.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/stnlist.h"
#include "plot/dataout.h"
#include "plot/omplot.h"
#include "plottest.h"
#include "base/fsizecap.h"
#include "base/replfile.h"

namespace {

std::string be32(float v) {
  unsigned char b[4];
  unsigned int u;
  std::memcpy(&u, &v, 4);
  for (int i = 0; i < 4; i++) b[i] = static_cast<unsigned char>(u >> (24 - 8 * i));
  return std::string(reinterpret_cast<char*>(b), 4);
}
std::string le32(float v) {
  std::string s = be32(v);
  return std::string(s.rbegin(), s.rend());
}
std::string beint(unsigned int u) {
  float f;
  std::memcpy(&f, &u, 4);
  return be32(f);
}
std::string leint(unsigned int u) {
  std::string s = beint(u);
  return std::string(s.rbegin(), s.rend());
}

using DataOut = PlotTest;

TEST_F(DataOut, FwriteSequentialLittleEndianTwoRecordsGridUnchanged) {
  std::vector<float> v(50);
  for (int i = 0; i < 50; i++) v[i] = i * 0.5f - 3;
  add(mkgrid(0, 1, 10, 5, v));
  st.fwname = path("out.dat");
  st.fwbigend = 0;
  st.fwseq = 1;
  std::string out = captured([&] {
    omfwrt(&st);
    omfwrt(&st);
  });
  EXPECT_EQ(omfwclose(&st), 0);
  std::string rec = leint(200);
  for (float x : v) rec += le32(x);
  rec += leint(200);
  EXPECT_EQ(slurp("out.dat"), rec + rec);
  EXPECT_EQ(values(static_cast<gridres*>(st.resptr[0])), v);
  EXPECT_NE(out.find("Wrote 50 elements to " + path("out.dat") + " as Sequential Little_Endian\n"),
            std::string::npos);
  EXPECT_EQ(st.lastgraphic, 20);
}

TEST_F(DataOut, FwriteStreamBigEndianIsBigEndianOnAnyHost) {
  add(mkgrid(0, -1, 3, 1, {1.5f, -2.0f, 1e20f}));
  st.fwname = path("be.dat");
  st.fwbigend = 1;
  st.fwseq = 0;
  std::string out = captured([&] { omfwrt(&st); });
  EXPECT_EQ(omfwclose(&st), 0);
  EXPECT_EQ(slurp("be.dat"), be32(1.5f) + be32(-2.0f) + be32(1e20f));
  EXPECT_NE(out.find(" as Stream Big_Endian\n"), std::string::npos);
}

TEST_F(DataOut, FwriteDefaultNameAndOpenFailure) {
  add(mkgrid(0, -1, 2, 1, {1, 2}));
  st.fwname = path("no/such/dir/x.dat");
  std::string out = captured([&] { omfwrt(&st); });
  EXPECT_EQ(out, "Error opening output file for fwrite\n  File name is: " + st.fwname + "\n");
  EXPECT_EQ(st.fwfile, nullptr);
  EXPECT_EQ(st.lastgraphic, 0);
}

TEST_F(DataOut, FwriteFullDiskIsAnErrorNotWrote) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  add(mkgrid(0, -1, 2, 1, {1, 2}));
  st.fwname = "/dev/full";
  std::string out = captured([&] { omfwrt(&st); });
  EXPECT_EQ(out.find("Wrote"), std::string::npos);
  EXPECT_NE(out.find("Error writing fwrite output file\n"), std::string::npos);
}

// A display that does not fit leaves the grids written before it whole and
// nothing of itself, so the file still reads as whole records; once there
// is room again the next display follows them directly.
TEST_F(DataOut, FwriteThatFailsCutsTheFileBackToItsLastWholeGrid) {
  std::vector<float> v(50);
  for (int i = 0; i < 50; i++) v[i] = i * 0.25f;
  add(mkgrid(0, 1, 10, 5, v));
  st.fwname = path("cut.dat");
  st.fwbigend = 1;
  st.fwseq = 1;
  std::string rec = beint(200);
  for (float x : v) rec += be32(x);
  rec += beint(200);  // 208 bytes a record
  std::string out = captured([&] {
    fsizecap cap(3 * 208 - 100);
    for (int i = 0; i < 3; i++) omfwrt(&st);
  });
  // Until it is closed the file is written under its part name.
  ASSERT_NE(st.fwfile, nullptr);
  EXPECT_EQ(slurp(st.fwfile->part.substr(dir.size() + 1)), rec + rec);
  EXPECT_NE(out.find("Error writing fwrite output file\n  File name is: " + st.fwname + "\n"),
            std::string::npos);
  captured([&] { omfwrt(&st); });
  EXPECT_EQ(omfwclose(&st), 0);
  EXPECT_EQ(slurp("cut.dat"), rec + rec + rec);
}

// Two sessions writing one fwrite file never mix their grids: the file is
// always one session's whole output, the one closed last.  Here session B
// (a child process) writes 5 and 6 and closes while session A has written
// 1; A then writes 2 and closes.
TEST_F(DataOut, TwoSessionsWritingOneFileLeaveOneSessionsWholeOutput) {
  std::vector<float> v = {1};
  add(mkgrid(0, -1, 1, 1, v));
  st.fwname = path("o.bin");
  st.fwbigend = 1;
  auto grid = [&](float x) {
    static_cast<gridres*>(st.resptr[0])->grid[0] = x;
    return omfwrt(&st);
  };
  captured([&] { grid(1); });
  fflush(stdout);
  const pid_t b = fork();
  if (b == 0) {
    cmnstate other = st;
    other.fwfile = nullptr;
    static_cast<gridres*>(other.resptr[0])->grid[0] = 5;
    int rc = omfwrt(&other);
    static_cast<gridres*>(other.resptr[0])->grid[0] = 6;
    rc |= omfwrt(&other) | omfwclose(&other);
    _exit(rc);
  }
  ASSERT_GT(b, 0);
  int status = -1;
  ASSERT_EQ(waitpid(b, &status, 0), b);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(slurp("o.bin"), be32(5) + be32(6));
  captured([&] { grid(2); });
  EXPECT_EQ(omfwclose(&st), 0);
  EXPECT_EQ(slurp("o.bin"), be32(1) + be32(2));
}

TEST_F(DataOut, PrintDefaultsEightPerLine) {
  add(mkgrid(0, 1, 3, 3, {1, 2, 3, 4, 5, UNDEF, 7, 8, 9.5f}));
  std::string out = captured([&] { omdprnt(&st); });
  EXPECT_EQ(out,
            "Printing Grid -- 9 Values -- Undef = -9.99e+33\n"
            "1 2 3 4 5 -9.99e+33 7 8 \n"
            "9.5 \n");
}

TEST_F(DataOut, PrintWithFormatBlanksAndUndef) {
  add(mkgrid(0, -1, 3, 1, {1.25f, UNDEF, 3}));
  st.prnfmt = "%6.2f";
  st.prnnum = 2;
  st.prnblank = 2;
  st.prnflag = 1;
  std::string out = captured([&] { omdprnt(&st); });
  EXPECT_EQ(out,
            "Printing Grid -- 3 Values -- Undef = -9.99e+33\n"
            "  1.25  Undef  \n"
            "  3.00  \n");
}

TEST_F(DataOut, PrintOfABigGridStopsOnInterrupt) {
  // The flag is read after 4096 values: with it up, 4095 are printed
  // (511 full lines and one of seven) and the listing ends there.
  add(mkgrid(0, 1, 100, 100, std::vector<float>(10000, 1.0f)));
  gcmn.sigflg = 1;
  std::string out = captured([&] { omdprnt(&st); });
  gcmn.sigflg = 0;
  std::string want = "Printing Grid -- 10000 Values -- Undef = -9.99e+33\n";
  for (int k = 0; k < 511; k++) want += "1 1 1 1 1 1 1 1 \n";
  want += "1 1 1 1 1 1 1 \n";
  EXPECT_EQ(out, want);
}

TEST_F(DataOut, PrintStations) {
  stnlist* s = mkstn(0, 1, {{10, 20, 500, 1, 3.5f}, {1, 2, 3, 1, 4}});
  std::memcpy(s->rpt->rpt->stid, "ab\0\0\0\0\0\0", 8);  // NUL-padded id
  add(s);
  std::string out = captured([&] { omdprnt(&st); });
  EXPECT_EQ(out,
            "Printing Stations -- 2 Reports -- Undef = -9.99e+33\n"
            "stn      20       10       500      \n"
            "3.5 \n"
            "ab       2        1        3        \n"
            "4 \n");
}

TEST_F(DataOut, StatBlockOfAGrid) {
  add(mkgrid(0, 1, 2, 2, {1, 2, 3, UNDEF}));
  std::string out = captured([&] { omstts(&st); });
  EXPECT_EQ(out,
            "Data Type = grid\n"
            "Dimensions = 0 1\n"
            "I Dimension = 1 to 2 Linear 1 1\n"
            "J Dimension = 1 to 2 Linear 1 1\n"
            "Sizes = 2 2 4\n"
            "Undef value = -9.99e+33\n"
            "Undef count = 1  Valid count = 3\n"
            "Min, Max = 1 3\n"
            "Cmin, cmax, cint = 1 3 0.2\n"
            "Stats[sum,sumsqr,root(sumsqr),n]:     6 14 3.74166 3\n"
            "Stats[(sum,sumsqr,root(sumsqr))/n]:     2 4.66667 2.16025\n"
            "Stats[(sum,sumsqr,root(sumsqr))/(n-1)]: 3 7 2.64575\n"
            "Stats[(sigma,var)(n)]:     0.816497 0.666667\n"
            "Stats[(sigma,var)(n-1)]:   1 1\n");
}

TEST_F(DataOut, StatOneValidValueHasZeroVariances) {
  add(mkgrid(0, -1, 2, 1, {4, UNDEF}));
  std::string out = captured([&] { omstts(&st); });
  EXPECT_NE(out.find("Stats[sum,sumsqr,root(sumsqr),n]:     4 16 4 1\n"), std::string::npos);
  EXPECT_NE(out.find("Stats[(sigma,var)(n)]:     0 0\n"), std::string::npos);
  EXPECT_NE(out.find("Stats[(sigma,var)(n-1)]:   0 0\n"), std::string::npos);
  // A constant range has no interval: the range is widened by 5.
  EXPECT_NE(out.find("Cmin, cmax, cint = -1 9 0\n"), std::string::npos);
}

TEST_F(DataOut, StatSumsInDoubleKeepSmallValues) {
  // 2^24 + many ones: a float sum would stop growing at 2^24.
  std::vector<float> v(1001, 1.0f);
  v[0] = 16777216.0f;
  add(mkgrid(0, -1, 1001, 1, v));
  std::string out = captured([&] { omstts(&st); });
  EXPECT_NE(out.find("Stats[sum,sumsqr,root(sumsqr),n]:     1.67782e+07 "), std::string::npos)
      << out;
}

TEST_F(DataOut, StatTimeAxisAndNoValidValues) {
  add(mkgrid(3, -1, 2, 1, {UNDEF, UNDEF}));
  std::string out = captured([&] { omstts(&st); });
  EXPECT_NE(out.find("I Dimension = 1 to 2 Linear 00Z01JAN1990 360mn\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Stats[sum,sumsqr,root(sumsqr),n]:     0 0 0 0\n"), std::string::npos);
  EXPECT_NE(out.find("Stats[(sum,sumsqr,root(sumsqr))/n]:     0 0 0\n"), std::string::npos);
}

TEST_F(DataOut, StatStationListing) {
  stnlist* s = mkstn(0, 1, {{10, 20, 500, 1, 2}, {11, 21, 500, 1, UNDEF}, {12, 22, 500, 1, 4}});
  s->dmin[0] = 0;
  s->dmax[0] = 30;
  s->dmin[1] = -5;
  s->dmax[1] = 25;
  add(s);
  st.stnprint = 1;
  std::string out = captured([&] { omstts(&st); });
  EXPECT_EQ(out,
            "Data Type = station\n"
            "Dimensions = 0 1\n"
            "I Dimension = 0 to 30\n"
            "J Dimension = -5 to 25\n"
            "Stn count = 3\n"
            "Undef value = -9.99e+33\n"
            "Undef count = 1  Valid count = 2 \n"
            "Min, Max = 2 4\n"
            "Cmin, cmax, cint = 2 4 0.2\n"
            "Stats[sum,sumsqr,root(sumsqr),n]:     6 20 4.47214 2\n"
            "Stats[(sum,sumsqr,root(sumsqr))/n)]:     3 10 3.16228\n"
            "Stats[(sum,sumsqr,root(sumsqr))/(n-1))]: 6 20 4.47214\n"
            "Stats[(sigma,var)(n)]:     1 1\n"
            "Stats[(sigma,var)(n-1)]:   1.41421 2\n"
            "Printing station values:  #obs = 2\n"
            "OB    ID       LON      LAT      LEV      VAL\n"
            "1     stn      20       10       500      2       \n"
            "2     stn      22       12       500      4       \n");
}

// A surface list and a level list over the same two stations.
void gdslists(PlotTest& t, std::vector<filevar>& vars) {
  vars.resize(2);
  vars[0].abbrv = "ps";
  vars[0].levels = 0;
  vars[1].abbrv = "t";
  vars[1].levels = 3;
  stnlist* sfc = mkstn(0, 1, {{40, 10, -9.99e33f, 1, 1000}, {50, 20, -9.99e33f, 1, 990}});
  stnlist* lev = mkstn(0, 1, {{40, 10, 850, 1, 5}, {40, 10, 500, 1, -20}, {50, 20, 850, 1, 3}});
  sfc->pvar = &vars[0];
  lev->pvar = &vars[1];
  t.add(sfc);
  t.add(lev);
}

TEST_F(DataOut, WritegdsLonAndLevelValuesOnly) {
  std::vector<filevar> vars;
  gdslists(*this, vars);
  gds.fname = path("o.gds");
  gds.opts = "-xd";
  std::string out = captured([&] { omoutgds(&st); });
  std::string soi("\x5a\0\0\0", 4), eos("\xa5\0\0\0", 4);
  std::string want = soi + be32(10) + soi + be32(5) + soi + be32(-20) + eos;
  want += soi + be32(20) + soi + be32(3) + eos;
  EXPECT_EQ(slurp("o.gds"), want);
  EXPECT_NE(out.find("WRITEGDS: 2 reports x 2 vars written as 2 records\n"), std::string::npos);
}

TEST_F(DataOut, WritegdsFullRecordAndFinish) {
  std::vector<filevar> vars;
  gdslists(*this, vars);
  st.rescount = 1;  // the surface list only
  gds.fname = path("o.gds");
  std::string out = captured([&] { omoutgds(&st); });
  EXPECT_NE(out.find("No options specified. Defaulting to full output (\"sxyztdi\").\n"),
            std::string::npos);
  std::string soi("\x5a\0\0\0", 4);
  std::string id = beint(8) + std::string("stn     ");
  std::string t1("\x3f\xf0\0\0\0\0\0\0", 8);  // 1.0 as a big-endian double
  std::string want = soi + id + be32(10) + be32(40) + t1 + be32(1000);
  want += soi + id + be32(20) + be32(50) + t1 + be32(990);
  EXPECT_EQ(slurp("o.gds"), want);
  gds.opts = "-f";
  out = captured([&] { omoutgds(&st); });
  EXPECT_EQ(slurp("o.gds"), want + std::string("\xa5\0\0\0", 4));
  EXPECT_NE(out.find("Finishing sequence:\nEOS\n"), std::string::npos);
  st.rescount = 2;
}

TEST_F(DataOut, WritegdsMismatchedResultsStopWithoutSummary) {
  std::vector<filevar> vars;
  gdslists(*this, vars);
  // A second level variable whose first report stands at another level.
  stnlist* other = mkstn(0, 1, {{40, 10, 700, 1, 1}});
  other->pvar = &vars[1];
  add(other);
  gds.fname = path("o.gds");
  gds.opts = "-xd";
  std::string out = captured([&] { omoutgds(&st); });
  EXPECT_NE(out.find("error: bad structure in result\n"), std::string::npos);
  EXPECT_EQ(out.find("WRITEGDS:"), std::string::npos);
}

TEST_F(DataOut, WritegdsRefusesReportsWithoutAPlaceOrTimeBeforeWriting) {
  // A level list alone leads its own records; a report whose latitude or
  // time is NaN never matched itself, so its record was written for ever.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<filevar> vars(1);
  vars[0].abbrv = "t";
  vars[0].levels = 3;
  const std::vector<rptspec> bad[] = {
      {{nan, 10, 850, 1, 5}, {nan, 10, 500, 1, -20}},
      {{40, 10, 850, 1, 5}, {50, 20, 850, nan, 3}},
      {{40, inf, 850, 1, 5}},
  };
  gds.fname = path("o.gds");
  gds.opts = "-xd";
  for (const auto& rs : bad) {
    st.rescount = 0;
    stnlist* lev = mkstn(0, 1, rs);
    lev->pvar = &vars[0];
    add(lev);
    std::string out = captured([&] { omoutgds(&st); });
    EXPECT_NE(out.find("error: WRITEGDS report without a valid latitude, longitude or time\n"),
              std::string::npos) << out;
    EXPECT_EQ(out.find("WRITEGDS:"), std::string::npos) << out;
    EXPECT_EQ(slurp("o.gds"), "");
    omsfre(lev);
  }
  st.rescount = 0;
}

TEST_F(DataOut, WritegdsFullDiskIsAnErrorNotASummary) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  std::vector<filevar> vars;
  gdslists(*this, vars);
  gds.fname = "/dev/full";
  gds.opts = "-xd";
  std::string out = captured([&] { omoutgds(&st); });
  EXPECT_EQ(out.find("WRITEGDS:"), std::string::npos) << out;
  EXPECT_NE(out.find("error: WRITEGDS write failed on /dev/full\n"), std::string::npos) << out;
  gds.opts = "-f";  // the end mark alone fails the same way
  out = captured([&] { omoutgds(&st); });
  EXPECT_NE(out.find("error: WRITEGDS write failed on /dev/full\n"), std::string::npos) << out;
}

// The second report's record does not fit: the file keeps the first
// whole, and the report that failed leaves no part of itself.  A record cut
// short by a structure error is not written either.
TEST_F(DataOut, WritegdsEndsAtItsLastWholeRecord) {
  std::vector<filevar> vars;
  gdslists(*this, vars);
  gds.fname = path("o.gds");
  gds.opts = "-xd";
  std::string soi("\x5a\0\0\0", 4), eos("\xa5\0\0\0", 4);
  std::string first = soi + be32(10) + soi + be32(5) + soi + be32(-20) + eos;  // 28 bytes
  std::string second = soi + be32(20) + soi + be32(3) + eos;                   // 20 bytes
  captured([&] { omoutgds(&st); });
  ASSERT_EQ(slurp("o.gds"), first + second);
  // Appended to what the file holds: the cut is measured from its end.
  std::string out = captured([&] {
    fsizecap cap(48 + 40);
    omoutgds(&st);
  });
  std::string whole = first + second + first;
  EXPECT_EQ(slurp("o.gds"), whole);
  EXPECT_NE(out.find("error: WRITEGDS write failed on " + gds.fname + "\n"), std::string::npos);
  EXPECT_EQ(out.find("WRITEGDS:"), std::string::npos);
  // A limit exactly at a record's end keeps that record.
  captured([&] {
    fsizecap cap(whole.size() + first.size());
    omoutgds(&st);
  });
  whole += first;
  EXPECT_EQ(slurp("o.gds"), whole);

  stnlist* other = mkstn(0, 1, {{40, 10, 700, 1, 1}});
  other->pvar = &vars[1];
  add(other);
  out = captured([&] { omoutgds(&st); });
  EXPECT_NE(out.find("error: bad structure in result\n"), std::string::npos);
  EXPECT_EQ(slurp("o.gds"), whole);
}

// Outputs to a FIFO that nobody reads wait only until the user interrupts,
// and fail naming the file.
TEST_F(DataOut, FwriteToAReaderlessFifoEndsAtInterrupt) {
  add(mkgrid(0, -1, 2, 1, {1, 2}));
  fifo_end fifo(path("fw.fifo"));
  interrupt_raised intr;
  st.fwname = fifo.path();
  std::string out = captured([&] { omfwrt(&st); });
  EXPECT_EQ(out, "Error opening output file for fwrite\n  File name is: " + st.fwname + "\n");
  EXPECT_EQ(st.fwfile, nullptr);
}

TEST_F(DataOut, WritegdsToAReaderlessFifoEndsAtInterrupt) {
  std::vector<filevar> vars;
  gdslists(*this, vars);
  fifo_end fifo(path("gds.fifo"));
  interrupt_raised intr;
  gds.fname = fifo.path();
  gds.opts = "-xd";
  std::string out = captured([&] { omoutgds(&st); });
  EXPECT_EQ(out, "error: WRITEGDS unable to open " + gds.fname + " for write\n");
}

TEST_F(DataOut, WritegdsRefusesGridsBeforeTouchingTheFile) {
  add(mkgrid(0, -1, 2, 1, {1, 2}));
  gds.fname = path("g.gds");
  std::string out = captured([&] { omoutgds(&st); });
  EXPECT_FALSE(exists("g.gds"));
  EXPECT_NE(out.find("error: WRITEGDS needs station data"), std::string::npos);
  gds.fname.clear();
  out = captured([&] { omoutgds(&st); });
  EXPECT_EQ(out, "error: no file specified (use \"set writegds\").\n");
}

TEST_F(DataOut, DispatchScalarAndNonGraphicKinds) {
  gridres* g = omgrvl(3.5f);
  add(g);
  EXPECT_EQ(captured([&] { omplot(&st); }), "Result value = 3.5 \n");
  EXPECT_EQ(st.relcount, 1);
  st.gxout_kind = 2;
  EXPECT_EQ(captured([&] { omplot(&st); }),
            "Printing Grid -- 1 Values -- Undef = -9.99e+33\n3.5 \n");
}

TEST_F(DataOut, DispatchStatBeforeGraphicAndProjectionRestored) {
  add(mkgrid(0, 1, 2, 2, {1, 2, 3, 4}));
  st.stat = 1;
  st.mproj = 3;
  st.xflip = 1;
  st.gxout_2d = 7;
  st.fwname = path("s.dat");
  std::string out = captured([&] { omplot(&st); });
  EXPECT_EQ(out.rfind("Data Type = grid\n", 0), 0u);
  EXPECT_NE(out.find("Wrote 4 elements to "), std::string::npos);
  EXPECT_EQ(st.mproj, 3);
}

TEST_F(DataOut, DispatchBadStationShape) {
  add(mkstn(0, 3, {{1, 2, 3, 1, 5}}));
  EXPECT_EQ(captured([&] { omplot(&st); }), "Invalid stn data dimension environment\n");
}

TEST(Csel, NiceIntervals) {
  float c = 0, lo, hi;
  omcsel(0, 100, &c, &lo, &hi);
  EXPECT_FLOAT_EQ(c, 10);
  EXPECT_FLOAT_EQ(lo, 0);
  EXPECT_FLOAT_EQ(hi, 100);
  c = 0;
  omcsel(0, 7, &c, &lo, &hi);
  EXPECT_FLOAT_EQ(c, 0.5f);
  EXPECT_FLOAT_EQ(hi, 7);
  c = 0;
  omcsel(-3, 27, &c, &lo, &hi);  // x = 3 gives 3
  EXPECT_FLOAT_EQ(c, 3);
  EXPECT_FLOAT_EQ(lo, -3);
  EXPECT_FLOAT_EQ(hi, 27);
  c = 0;
  omcsel(5, 5, &c, &lo, &hi);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  c = 2;
  omcsel(1, 9, &c, &lo, &hi);  // a given interval is kept
  EXPECT_FLOAT_EQ(c, 2);
  EXPECT_FLOAT_EQ(lo, 2);
  EXPECT_FLOAT_EQ(hi, 8);
  c = 0;
  omcsel(1e8f, 1e8f + 8, &c, &lo, &hi);  // interval too small for single precision
  EXPECT_EQ(c, 0);
}

TEST(FormatCheck, OnlyOneFloatingConversion) {
  EXPECT_TRUE(omfmtok("%g"));
  EXPECT_TRUE(omfmtok("%6.1f"));
  EXPECT_TRUE(omfmtok("%g mb"));
  EXPECT_TRUE(omfmtok("100%% %-+08.3e"));
  EXPECT_FALSE(omfmtok("%s"));
  EXPECT_FALSE(omfmtok("%n"));
  EXPECT_FALSE(omfmtok("%d"));
  EXPECT_FALSE(omfmtok("%g %g"));
  EXPECT_FALSE(omfmtok("%*g"));
  EXPECT_FALSE(omfmtok("%99999g"));
  EXPECT_TRUE(omfmtok("text"));  // no conversion: printed as it stands
  EXPECT_TRUE(omfmtok("100%%"));
  EXPECT_FALSE(omfmtok("%"));
  EXPECT_EQ(omfmtval("%5.1f|", 2.25), "  2.2|");
  EXPECT_EQ(omfmtval("%s", 2.5), "2.5 ");
  EXPECT_EQ(omfmtval("X", 2.5), "X");
  EXPECT_EQ(omfmtval("100%%", 2.5), "100%");
}

// The formats print uses, applied to values of every kind (rounding ties,
// powers of ten, the ends of float and double, zeros, infinities, NaNs,
// random bit patterns), give printf's bytes.
TEST(FormatCheck, ValuesComeOutAsPrintfMakesThem) {
  std::vector<double> vals = {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 1.25, 1e-5, 9.9999995e-5, 999999.5,
                              9999995.0, 1e15, 1.5e16, 123456789.0, 3.4028234663852886e38, 1.17549435e-38,
                              1.4e-45, 1.7976931348623157e308, 4.9e-324, -9.99e8, -9.99e33,
                              std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
  for (int e = -40; e <= 40; e++) {
    vals.push_back(std::pow(10.0, e));
    vals.push_back(-5 * std::pow(10.0, e));
  }
  uint32_t x = 12345;  // a fixed sequence: floats and doubles of any bits
  for (int k = 0; k < 3000; k++) {
    x = x * 1664525u + 1013904223u;
    float f;
    std::memcpy(&f, &x, 4);
    vals.push_back(f);
    const uint64_t w = static_cast<uint64_t>(x) << 32 | (x * 2654435761u);
    double d;
    std::memcpy(&d, &w, 8);
    vals.push_back(d);
  }
  const char* fmts[] = {"%g ", "%g", "%f", "%e", "%E", "%G", "%F", "%.0f", "%.0e", "%.0g", "%.3f",
                        "%10.4e", "%-12.5g|", "%+08.2f", "% e", "%012.3e", "%-+10g", "% 010.3f", "%.17g",
                        "%#g", "%a", "%lf", "x=%5.1f%%", "%.40f", "%3g", "%-05g", "%+.0E", "%999.999f",
                        "no number", "100%%"};
  char want[2100];
  for (const char* fmt : fmts) {
    omnumfmt f;
    ASSERT_TRUE(f.set(fmt)) << fmt;
    std::vector<char> got(f.room());
    int wrong = 0;
    for (double v : vals) {
      const int n = std::snprintf(want, sizeof want, fmt, v);
      const std::string mine(got.data(), f.put(v, got.data(), got.size()));
      if (mine != std::string(want, static_cast<size_t>(n)) && ++wrong < 4)
        ADD_FAILURE() << fmt << " of " << v << ": " << mine << " for " << want;
    }
  }
}

}  // namespace
