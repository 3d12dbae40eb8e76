// Descriptor files parsed into data-file records: every record kind, the
// options, the layout of the data file, and the refusals with their lines.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/fifo_end.h"
#include "data/axisconv.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "ddtest.h"

using ddtest::DataTest;
using ddtest::parsed;

namespace {

const char* kTail = "  The data file was not opened. \n";

std::string basic(const std::string& extra = "", const std::string& tdef = "tdef 4 linear 00z01jan1990 6hr") {
  return "dset ^data.bin\n"
         "undef -9.99e8\n"
         "xdef 144 linear 0 2.5\n"
         "ydef 73 linear -90 2.5\n"
         "zdef 1 levels 1000\n" +
         tdef + "\n" + extra +
         "vars 1\n"
         "t 0 99 temperature\n"
         "endvars\n";
}

bool endswith(const std::string& s, const std::string& e) {
  return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

class Descriptor : public DataTest {};

TEST_F(Descriptor, FullDescriptorFillsTheRecord) {
  std::string ctl = tmp.write("run.ctl",
                              "* a comment line\n"
                              "DSET ^out.dat\n"
                              "TITLE  Model Run  Output   \n"
                              "UNDEF -9.99e8\n"
                              "options big_endian yrev zrev sequential 365_day_calendar\n"
                              "fileheader 16\n"
                              "theader 8\n"
                              "xyheader 12\n"
                              "headerbytes 20\n"
                              "trailerbytes 6\n"
                              "XDEF 144 LINEAR 0 2.5\n"
                              "ydef 5 levels -80 -40\n"
                              "   0\n"
                              "40 80\n"
                              "zdef 3 levels 1000 850 500\n"
                              "tdef 10 linear 12z1jan1990 1mo\n"
                              "  indented lines are skipped\n"
                              "vars 2\n"
                              "U 3 -1,40,2,-1  Zonal Wind m/s  \n"
                              "t 0 99 temperature\n"
                              "endvars\n");
  parsed p;
  ddtest::parse(ctl, p);
  ASSERT_EQ(p.rc, 0) << p.out;
  datafile* f = p.pfi;
  EXPECT_EQ(f->name, tmp.path("out.dat"));
  EXPECT_EQ(f->dnam, ctl);
  EXPECT_EQ(f->title, "Model Run  Output");
  EXPECT_FLOAT_EQ(f->undef, -9.99e8f);
  EXPECT_NEAR(f->ulow, -9.99e8 - 9990, 64.0);
  EXPECT_NEAR(f->uhi, -9.99e8 + 9990, 64.0);
  EXPECT_EQ(f->bswap, omhostle() ? 1 : 0);
  EXPECT_EQ(f->yrflg, 1);
  EXPECT_EQ(f->zrflg, 1);
  EXPECT_EQ(f->seqflg, 1);
  EXPECT_EQ(f->calendar, 1);
  EXPECT_EQ(f->fhdr, 16);
  EXPECT_EQ(f->xyhdr, 3);
  EXPECT_EQ(f->trlwds, 1);
  EXPECT_EQ(f->dnum[0], 144);
  EXPECT_EQ(f->dnum[1], 5);
  EXPECT_EQ(f->dnum[2], 3);
  EXPECT_EQ(f->dnum[3], 10);
  EXPECT_EQ(f->wrap, 1);
  EXPECT_EQ(f->linear[0], 1);
  EXPECT_EQ(f->linear[1], 0);
  EXPECT_NEAR(f->gr2ab[1](f->grvals[1], 3.0), 0.0, 1e-5);
  EXPECT_NEAR(f->gr2ab[1](f->grvals[1], 5.0), 80.0, 1e-5);
  EXPECT_NEAR(f->gr2ab[2](f->grvals[2], 1.5), 925.0, 1e-3);
  EXPECT_NEAR(f->gr2ab[0](f->grvals[0], 145.0), 360.0, 1e-4);
  // Time axis: start and a month increment.
  const float* tv = f->grvals[3];
  EXPECT_EQ(static_cast<int>(tv[0]), 1990);
  EXPECT_EQ(static_cast<int>(tv[3]), 12);
  EXPECT_EQ(static_cast<int>(tv[5]), 1);
  EXPECT_EQ(static_cast<int>(tv[6]), 0);
  ASSERT_EQ(f->vnum, 2);
  const filevar& u = f->pvar1[0];
  EXPECT_EQ(u.abbrv, "u");
  EXPECT_EQ(u.varnm, "Zonal Wind m/s");
  EXPECT_EQ(u.levels, 3);
  EXPECT_EQ(u.dfrm, -2);
  EXPECT_EQ(u.units[3], -1);
  const filevar& t = f->pvar1[1];
  EXPECT_EQ(t.units[0], 99);
  EXPECT_EQ(t.units[1], -999);
  EXPECT_EQ(t.varnm, "temperature");
  EXPECT_EQ(t.levels, 0);
  EXPECT_TRUE(f->rbuf.empty());  // made by the reader when a row needs it
}

TEST_F(Descriptor, NameWithoutSuffixOpensTheCtlFile) {
  tmp.write("model.ctl", basic());
  parsed p;
  ddtest::parse(tmp.path("model"), p);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.pfi->dnam, tmp.path("model.ctl"));
}

TEST_F(Descriptor, MissingDescriptorFile) {
  parsed p;
  ddtest::parse(tmp.path("nothere"), p);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out, "Open Error:  Can't open description file\n");
}

TEST_F(Descriptor, DsetFromEnvironmentAndLongNamesAreKeptWhole) {
  setenv("OMDDTEST_DIR", "/scratch/area", 1);
  std::string ctl = tmp.write("a.ctl", "dset $OMDDTEST_DIR/file.grb\n" + basic().substr(basic().find('\n') + 1));
  parsed p;
  ddtest::parse(ctl, p);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.pfi->name, "/scratch/area/file.grb");
  std::string lng(900, 'n');
  ctl = tmp.write("b.ctl", "dset /" + lng + "\n" + basic().substr(basic().find('\n') + 1));
  parsed q;
  ddtest::parse(ctl, q);
  ASSERT_EQ(q.rc, 0) << q.out;
  EXPECT_EQ(q.pfi->name, "/" + lng);
}

TEST_F(Descriptor, TimeIncrementsInEveryUnit) {
  struct {
    const char* inc;
    int months, minutes;
  } cases[] = {{"30mn", 0, 30}, {"6hr", 0, 360}, {"2dy", 0, 2880}, {"3mo", 3, 0}, {"1yr", 12, 0}, {"1dy12hr", 0, 2160}};
  for (const auto& c : cases) {
    std::string ctl = tmp.write("t.ctl", basic("", std::string("tdef 3 linear 1jan90 ") + c.inc));
    parsed p;
    ddtest::parse(ctl, p);
    ASSERT_EQ(p.rc, 0) << c.inc << p.out;
    EXPECT_EQ(static_cast<int>(p.pfi->grvals[3][5]), c.months) << c.inc;
    EXPECT_EQ(static_cast<int>(p.pfi->grvals[3][6]), c.minutes) << c.inc;
    EXPECT_EQ(static_cast<int>(p.pfi->grvals[3][0]), 1990);
  }
}

// An axis whose last time lies beyond the years a time can hold is
// refused; one that ends just inside converts its last step to its time
// and back.
TEST_F(Descriptor, IncrementsWhoseTimesOverflowAreRefused) {
  const char* bad[] = {"tdef 3 linear 00z01jan2000 1000000000yr",
                       "tdef 3 linear 00z01jan2000 1500000000dy",
                       "tdef 2147483647 linear 00z01jan2000 1yr"};
  for (const char* t : bad) {
    parsed p;
    ddtest::parse(tmp.write("t.ctl", basic("", t)), p);
    EXPECT_EQ(p.rc, 1) << t;
    EXPECT_EQ(p.out, std::string("Open Error:  Invalid time increment in tdef\n"
                                 " use 1 for single time data\n"
                                 "  --> The invalid description file record is: \n  --> ") +
                         t + "\n" + kTail);
  }
  struct {
    const char* tdef;
    int lastyr;
  } good[] = {{"tdef 2 linear 00z01jan2000 800000000yr", 800002000},
              {"tdef 2 linear 00z01jan2000 1500000000dy", 4108860}};
  for (const auto& g : good) {
    parsed p;
    ddtest::parse(tmp.write("t.ctl", basic("", g.tdef)), p);
    ASSERT_EQ(p.rc, 0) << g.tdef << p.out;
    datetime last;
    gr2t(p.pfi->grvals[3], 2.0, &last);
    EXPECT_EQ(last.yr, g.lastyr) << g.tdef;
    EXPECT_EQ(t2gr(p.pfi->grvals[3], &last), 2.0) << g.tdef;
  }
}

TEST_F(Descriptor, MonthsAndMinutesTogetherAreRefused) {
  std::string ctl = tmp.write("t.ctl", basic("", "tdef 3 linear 1jan1990 1mo6hr"));
  parsed p;
  ddtest::parse(ctl, p);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out,
            "Open Error:  Invalid time increment in tdef\n"
            " use 1 for single time data\n"
            "  --> The invalid description file record is: \n"
            "  --> tdef 3 linear 1jan1990 1mo6hr\n" +
                std::string(kTail));
}

TEST_F(Descriptor, TdefStartErrors) {
  struct {
    const char* tdef;
    const char* first;
  } cases[] = {
      {"tdef 3 linear", "Open Error:  Start Time missing in tdef card starting value\n"},
      {"tdef 3 linear 12zjan1990 6hr", "Open Error:  Missing or invalid dimension starting value\n"},
      {"tdef 3 linear 12z 6hr", "Open Error:  Missing or invalid dimension starting value\n"},
      {"tdef 3 linear 1jan1990 0hr", "Open Error:  0 time increment in tdef\n use 1 for single time data\n"},
      {"tdef 3 linear 1jan1990", "Open Error:  Missing or invalid dimension starting value\n"},
      {"tdef 3 levels 1jan1990 6hr", "Open Error:  Missing or invalid dimension scaling type\n"},
  };
  for (const auto& c : cases) {
    std::string ctl = tmp.write("t.ctl", basic("", c.tdef));
    parsed p;
    ddtest::parse(ctl, p);
    EXPECT_EQ(p.rc, 1) << c.tdef;
    EXPECT_EQ(p.out.compare(0, std::strlen(c.first), c.first), 0) << c.tdef << "\n" << p.out;
    EXPECT_TRUE(endswith(p.out, kTail)) << p.out;
  }
}

TEST_F(Descriptor, ToffMustFollowTdefAndStayBelowIt) {
  {
    std::string ctl = tmp.write("a.ctl", "toff 5\n" + basic());
    parsed p;
    ddtest::parse(ctl, p);
    EXPECT_EQ(p.rc, 1);
    EXPECT_EQ(p.out, "Open Error:  Invalid toff value\n"
                     "  --> The invalid description file record is: \n"
                     "  --> toff 5\n" + std::string(kTail));
  }
  {
    std::string ctl = tmp.write("b.ctl", basic("toff 3\n"));
    parsed p;
    ddtest::parse(ctl, p);
    ASSERT_EQ(p.rc, 0) << p.out;
    EXPECT_EQ(p.pfi->tlpflg, 1);
    EXPECT_EQ(p.pfi->tlpst, 3);
  }
  for (const char* bad : {"toff 4\n", "toff -1\n", "toff x\n"}) {
    std::string ctl = tmp.write("c.ctl", basic(bad));
    parsed p;
    ddtest::parse(ctl, p);
    EXPECT_EQ(p.rc, 1) << bad;
    EXPECT_EQ(p.out.find("Open Error:  Invalid toff value\n"), 0u) << p.out;
  }
}

TEST_F(Descriptor, MissingRecordsAreListed) {
  std::string ctl = tmp.write("a.ctl",
                              "dset x.bin\n"
                              " undef 1\n"
                              "xdef 2 linear 0 1\n"
                              "tdef 1 linear 1jan1990 1dy\n"
                              "vars 1\nv 0 0 v\nendvars\n");
  parsed p;
  ddtest::parse(ctl, p);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out,
            "Open Error:  missing YDEF record \n"
            "Open Error:  missing ZDEF record \n"
            "Open Error:  missing UNDEF record \n" +
                std::string(kTail));
}

TEST_F(Descriptor, SizesAndIncrementsAreChecked) {
  struct {
    const char* line;
    const char* first;
  } cases[] = {
      {"xdef 0 linear 0 1", "Open Error:  Missing or invalid dimension size.\n"},
      {"xdef -3 linear 0 1", "Open Error:  Missing or invalid dimension size.\n"},
      {"zdef 0 levels 1000", "Open Error:  Invalid number of levels\n"},
      {"tdef 0 linear 1jan1990 1dy", "Open Error:  Missing or invalid dimension size.\n"},
      {"xdef 4\tlinear 0 1", "Open Error:  Missing or invalid dimension size.\n"},
      {"xdef 4 linear 0 0", "Open Error:  Missing or invalid dimension increment value\n"},
      {"xdef 4 linear 0 -1", "Open Error:  Missing or invalid dimension increment value\n"},
      {"xdef 4 spline 0 1", "Open Error:  Missing or invalid dimension scaling type\n"},
      {"zdef 2 linear 1000 0", "Open Error:  Missing or invalid dimension increment value\n"},
      {"fileheader -4", "Open Error:  Negative header or trailer length\n"},
      {"theader -4", "Open Error:  Negative header or trailer length\n"},
      {"trailerbytes -8", "Open Error:  Negative header or trailer length\n"},
      {"vars 0", "Open Error:  Missing or invalid variable count\n"},
      {"vars -2", "Open Error:  Missing or invalid variable count\n"},
      {"undef abc", "Open Error:  Invalid undef value\n"},
      {"bogus 1", "Open Error:  Unknown keyword in description file\n"},
      {"options sequential nonsense", "Open Error:  Data file type invalid\n"},
      {"dtype fancy", "Open Error:  Data file type invalid\n"},
      {"ydef 20 gausr15 30", "Open Error: Invalid GAUSR15 scaling.\n"},
      {"ydef 4 mom32 0", "Open Error:  Invalid first latitude index\n"},
      {"pdef 10 10 nps 1 1 1", "Open Error: Invalid pdef record.\n"},
  };
  for (const auto& c : cases) {
    std::string ctl = tmp.write("s.ctl", basic(std::string(c.line) + "\n"));
    parsed p;
    ddtest::parse(ctl, p);
    EXPECT_EQ(p.rc, 1) << c.line;
    EXPECT_EQ(p.out.compare(0, std::strlen(c.first), c.first), 0) << c.line << "\n" << p.out;
    std::string rec = std::string("  --> ") + c.line + "\n";
    if (std::string(c.line).find('\t') == std::string::npos) {
      EXPECT_NE(p.out.find(rec), std::string::npos) << p.out;
    }
    EXPECT_TRUE(endswith(p.out, kTail)) << p.out;
  }
}

TEST_F(Descriptor, WarningsDoNotStopTheOpen) {
  std::string ctl = tmp.write("w.ctl", basic("dtype\ntitle\nfileheader\nheaderbytes x\noptions\ndtype grib 2x\n"));
  parsed p;
  ddtest::parse(ctl, p, 0);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.out,
            "Description file warning: Missing data type\n"
            "   Assuming data file type is grid\n"
            "Description file warning: Missing title string\n"
            "Description file warning: Missing fileheader length\n"
            "Headerbytes record invalid\n"
            "Description file warning: Missing options keyword\n"
            "Description file warning: Invalid GRIB option\n");
  EXPECT_EQ(p.pfi->bgrib, 1);
  EXPECT_EQ(p.pfi->grbgrd, -999);
}

// A header count with no word keeps the count already read; a header or
// trailer byte count with no word or an unreadable one is reset to 0.
TEST_F(Descriptor, MissingAndUnreadableByteCounts) {
  std::string ctl = tmp.write("b.ctl", basic("fileheader 16\nfileheader\nxyheader 8\nxyheader y\n"
                                             "headerbytes 12\nheaderbytes\ntrailerbytes 8\n"
                                             "trailerbytes q\n"));
  parsed p;
  ddtest::parse(ctl, p, 0);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.out,
            "Description file warning: Missing fileheader length\n"
            "xy grid header length invalid\n"
            "Headerbytes record invalid\n"
            "Trailerbytes record invalid\n");
  EXPECT_EQ(p.pfi->fhdr, 16);
  EXPECT_EQ(p.pfi->xyhdr, 0);
  EXPECT_EQ(p.pfi->hdrwds, 0);
  EXPECT_EQ(p.pfi->trlwds, 0);
}

TEST_F(Descriptor, LatitudeTables) {
  std::string ctl = tmp.write("g.ctl", basic("ydef 102 gausr40 1\n"));
  parsed p;
  ddtest::parse(ctl, p);
  ASSERT_EQ(p.rc, 0) << p.out;
  datafile* f = p.pfi;
  EXPECT_EQ(f->dnum[1], 102);
  EXPECT_EQ(f->linear[1], 0);
  EXPECT_EQ(f->gr2ab[1], gr2lev);
  EXPECT_EQ(f->ab2gr[1], lev2gr);
  EXPECT_LT(f->gr2ab[1](f->grvals[1], 1.0), -80.0);
  EXPECT_GT(f->gr2ab[1](f->grvals[1], 102.0), 80.0);
  ctl = tmp.write("m.ctl", basic("ydef 10 mom32 5\n"));
  parsed q;
  ddtest::parse(ctl, q);
  ASSERT_EQ(q.rc, 0) << q.out;
  EXPECT_EQ(q.pfi->dnum[1], 10);
  EXPECT_EQ(static_cast<int>(q.pfi->grvals[1][0]), 10);
}

TEST_F(Descriptor, EveryLatitudeTableKeywordSelectsItsOwnTable) {
  // Each table keyword must reach its own table, from the first latitude
  // and from a later start: a wrong entry in the keyword list would put
  // every row of a data set at the wrong latitude.
  struct {
    const char* word;
    float* (*table)(int, int);
    int n;
  } tabs[] = {{"gausr15", omgs15, 40}, {"gausr20", omgs20, 52}, {"gausr30", omgs30, 80},
              {"gausr40", omgaus, 102}, {"gaust62", omgst62, 94}, {"mom32", ommo32, 32}};
  for (const auto& t : tabs) {
    float* whole = t.table(1, t.n);
    ASSERT_NE(whole, nullptr) << t.word;
    for (int start : {1, 3}) {
      int count = t.n - start + 1;
      std::string ctl = tmp.write("lat.ctl", basic("ydef " + std::to_string(count) + " " + t.word +
                                                   " " + std::to_string(start) + "\n"));
      parsed p;
      ddtest::parse(ctl, p);
      ASSERT_EQ(p.rc, 0) << t.word << "\n" << p.out;
      datafile* f = p.pfi;
      EXPECT_EQ(f->dnum[1], count) << t.word;
      EXPECT_EQ(f->linear[1], 0) << t.word;
      EXPECT_FLOAT_EQ(f->gr2ab[1](f->grvals[1], 1.0), whole[start]) << t.word << " " << start;
      EXPECT_FLOAT_EQ(f->gr2ab[1](f->grvals[1], count), whole[t.n]) << t.word << " " << start;
    }
    std::free(whole);
    // One latitude past the end of the table is refused, not read.
    std::string ctl = tmp.write("lat.ctl", basic("ydef " + std::to_string(t.n) + " " + t.word + " 2\n"));
    parsed q;
    ddtest::parse(ctl, q);
    EXPECT_NE(q.rc, 0) << t.word;
    EXPECT_NE(q.out.find("  The data file was not opened. "), std::string::npos) << t.word << q.out;
  }
}

TEST_F(Descriptor, VariableBlockErrors) {
  std::string head =
      "dset x.bin\nundef 1\nxdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 levels 1\n"
      "tdef 1 linear 1jan1990 1dy\n";
  struct {
    const char* block;
    std::string expect;
  } cases[] = {
      {"vars 2\na 0 1 a\nendvars\n",
       "Open Error:  Unexpected ENDVARS record\nWas expecting 2 records.  Found 1.\n"
       "  --> The invalid description file record is: \n  --> endvars\n"},
      {"vars 2\na 0 1 a\n* comment\n",
       "Open Error:  Unexpected EOF reading variables\nWas expecting 2 records.  Found 1.\n"},
      {"vars 1\na 0 1 a\n", "Open Error:  Missing ENDVARS statement.\n"},
      {"vars 1\na 0 1 a\nb 0 1 b\n",
       "Open Error:  Looking for ENDVARS statement\n             Instead, found:  \n"
       "  --> The invalid description file record is: \n  --> b 0 1 b\n"},
      {"vars 1\na 0 1\nendvars\n",
       "Open Error:  Invalid variable record\n  --> The invalid description file record is: \n  --> a 0 1\n"},
      {"vars 1\na -1 1 a\nendvars\n",
       "Open Error:  Invalid variable record\n  --> The invalid description file record is: \n  --> a -1 1 a\n"},
      {"vars 1\na 0 1,2,3,4,5 a\nendvars\n",
       "Open Error:  Invalid variable record\n  --> The invalid description file record is: \n"
       "  --> a 0 1,2,3,4,5 a\n"},
  };
  for (const auto& c : cases) {
    std::string ctl = tmp.write("v.ctl", head + c.block);
    parsed p;
    ddtest::parse(ctl, p);
    EXPECT_EQ(p.rc, 1) << c.block;
    EXPECT_EQ(p.out, c.expect + kTail) << c.block;
  }
}

TEST_F(Descriptor, Grib2CodesOfVariableRecords) {
  const std::string head =
      "dset x.grb2\nundef 1\nxdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 levels 1\n"
      "tdef 1 linear 1jan1990 1dy\n";
  const std::string bad = "Open Error:  Invalid variable record\n  --> The invalid description file record is: \n  --> ";
  struct {
    const char* rec;
    const char* codes;  // disc cat num ltype haslev lev stat period, or the error's record
  } cases[] = {
      {"t 0 0,0,0,100 temperature", "0 0 0 100 0 0 -1 -1"},
      {"t 0 0 , 0 , 0 , 103 , 2 2 m temperature", "0 0 0 103 1 2 -1 -1"},
      {"s 0 2,3,20,106,0.07 soil at 7 cm", "2 3 20 106 1 0.07 -1 -1"},
      {"p 0 0,1,8,1,-999,1,6 rain of 6 hours", "0 1 8 1 0 0 1 6"},
      {"p 0 0,1,8,1,-999,-1,0.5 any statistic of half an hour", "0 1 8 1 0 0 -1 0.5"},
      {"x 0 0,0,0 three codes", "x 0 0,0,0 three codes"},
      {"x 0 0,0,0,1,0,1,6,9 eight codes", "x 0 0,0,0,1,0,1,6,9 eight codes"},
      {"x 0 0,0.5,0,1 a category not whole", "x 0 0,0.5,0,1 a category not whole"},
      {"x 0 0,256,0,1 a category beyond an octet", "x 0 0,256,0,1 a category beyond an octet"},
      {"x 0 0,0,0,100", "x 0 0,0,0,100"},
      {"x 0 0,0,0,100,1e999 a level beyond a number", "x 0 0,0,0,100,1e999 a level beyond a number"},
  };
  for (const auto& c : cases) {
    std::string ctl = tmp.write("g.ctl", head + "dtype grib2\nvars 1\n" + c.rec + "\nendvars\n");
    parsed p;
    ddtest::parse(ctl, p, 0);
    if (std::string(c.codes) == c.rec) {
      EXPECT_EQ(p.rc, 1) << c.rec;
      EXPECT_EQ(p.out, bad + c.rec + "\n" + kTail) << c.rec;
      continue;
    }
    ASSERT_EQ(p.rc, 0) << c.rec << p.out;
    const g2codes& g = p.pfi->pvar1[0].g2;
    char got[200];
    std::snprintf(got, sizeof got, "%d %d %d %d %d %g %d %g", g.disc, g.cat, g.num, g.ltype, g.haslev ? 1 : 0, g.lev,
                  g.stat, g.period);
    EXPECT_EQ(std::string(got), c.codes) << c.rec;
    EXPECT_EQ(p.pfi->bgrib, 2);
  }
  // The records must know they are GRIB2's: a dtype after them is refused.
  std::string ctl = tmp.write("late.ctl", head + "vars 1\nt 0 0,0,0,100 temperature\nendvars\ndtype grib2\n");
  parsed p;
  ddtest::parse(ctl, p, 0);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out, "Open Error:  The variable records of GRIB2 data must follow dtype grib2\n" + std::string(kTail));
}

TEST_F(Descriptor, UnitCodeLayouts) {
  std::string ctl = tmp.write("u.ctl",
                              "dset x.bin\nundef 1\nxdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 levels 1\n"
                              "tdef 3 linear 1jan1990 1dy\n"
                              "vars 5\n"
                              "a 0 -1 , 20 rec major\n"
                              "b 0 -1,30 transposed\n"
                              "c 0 -1,40,1 bytes\n"
                              "d 0 -1,40,2 ushort\n"
                              "e 0 -1,40,4 ints\n"
                              "endvars\n");
  parsed p;
  ddtest::parse(ctl, p);
  ASSERT_EQ(p.rc, 0) << p.out;
  const auto& v = p.pfi->pvar1;
  EXPECT_EQ(v[0].var_t, 1);
  EXPECT_EQ(v[0].varnm, "rec major");
  EXPECT_EQ(v[1].y_x, 1);
  EXPECT_EQ(v[2].dfrm, 1);
  EXPECT_EQ(v[3].dfrm, 2);
  EXPECT_EQ(v[4].dfrm, 4);
}

TEST_F(Descriptor, LayoutOfPlainAndSequentialFiles) {
  std::string body =
      "dset x.bin\nundef 1\nxdef 10 linear 0 1\nydef 10 linear 0 1\nzdef 2 levels 1000 500\n"
      "tdef 3 linear 1jan1990 1dy\nvars 2\nu 2 0 u\nt 0 0 t\nendvars\n";
  parsed p;
  ddtest::parse(tmp.write("p.ctl", body), p);
  ASSERT_EQ(p.rc, 0) << p.out;
  EXPECT_EQ(p.pfi->gsiz, 100);
  EXPECT_EQ(p.pfi->pvar1[0].offset, 0);
  EXPECT_EQ(p.pfi->pvar1[1].offset, 200);
  EXPECT_EQ(p.pfi->tsiz, 300);
  EXPECT_EQ(p.pfi->trecs, 3);
  EXPECT_EQ(p.pfi->pvar1[0].recoff, 0);
  EXPECT_EQ(p.pfi->pvar1[1].recoff, 2);
  parsed q;
  ddtest::parse(tmp.write("q.ctl", "options sequential\n" + body), q);
  ASSERT_EQ(q.rc, 0) << q.out;
  EXPECT_EQ(q.pfi->gsiz, 102);
  EXPECT_EQ(q.pfi->pvar1[0].offset, 1);
  EXPECT_EQ(q.pfi->pvar1[1].offset, 205);
  EXPECT_EQ(q.pfi->tsiz, 306);
}

TEST_F(Descriptor, CalendarIsCheckedButNotFixedByTheParser) {
  std::string ctl365 = tmp.write("c.ctl", basic("options 365_day_calendar\n"));
  parsed a;
  ddtest::parse(ctl365, a);
  ASSERT_EQ(a.rc, 0) << a.out;
  EXPECT_EQ(mfcmn.mfcal, -999);
  mfcmn.mfcal = 0;
  parsed b;
  ddtest::parse(ctl365, b);
  EXPECT_EQ(b.rc, 1);
  EXPECT_EQ(b.out,
            "Attempt to change the global calendar...\n"
            "The calendar is NOW STANDARD and you attempted to open a 365-day calendar file\n" +
                std::string(kTail));
  mfcmn.mfcal = 1;
  parsed c;
  ddtest::parse(tmp.write("s.ctl", basic()), c);
  EXPECT_EQ(c.rc, 1);
  EXPECT_NE(c.out.find("The calendar is NOW 365 DAYS and you attempted to open a standard calendar file\n"),
            std::string::npos);
}

TEST_F(Descriptor, HostileInputIsRefusedCleanly) {
  // Binary junk, a huge size, an overlong line, an empty file.
  const char raw[] = "\x01\x02xdef\xff\xfe\n\x00\x00vars 99999999999\n";
  std::string junk(raw, sizeof raw - 1);
  parsed a;
  ddtest::parse(tmp.write("j.ctl", junk), a);
  EXPECT_EQ(a.rc, 1);
  EXPECT_TRUE(endswith(a.out, kTail)) << a.out;
  parsed b;
  ddtest::parse(tmp.write("h.ctl", basic("xdef 2147483647 levels 1 2\n")), b);
  EXPECT_EQ(b.rc, 1);
  EXPECT_TRUE(endswith(b.out, kTail)) << b.out;
  parsed c;
  ddtest::parse(tmp.write("l.ctl", "title " + std::string(2 << 20, 'x') + "\n" + basic()), c);
  EXPECT_EQ(c.rc, 1);
  EXPECT_TRUE(endswith(c.out, kTail)) << c.out.substr(0, 200);
  parsed d;
  ddtest::parse(tmp.write("e.ctl", ""), d);
  EXPECT_EQ(d.rc, 1);
  EXPECT_TRUE(endswith(d.out, kTail)) << d.out;
}

}  // namespace

namespace {

TEST_F(Descriptor, SizesBeyondAnyRealGridAreRefused) {
  const char* cases[] = {
      "xdef 2000000000 linear 0 0.0000001\n",
      "xdef 2000000000 linear 0 0.0000001\nydef 2000000000 linear -90 0.00000001\n"
      "zdef 2000000000 linear 1 1\n",
  };
  for (const char* c : cases) {
    parsed p;
    std::string body = "dset x.bin\nundef 1\nxdef 4 linear 0 1\nydef 3 linear 0 1\nzdef 1 levels 1\n"
                       "tdef 2000000000 linear 1jan1990 1mn\n" + std::string(c) +
                       "vars 3\na 2000000000 0 a\nb 2000000000 -1,20 b\nc 2000000000 -1,20 c\nendvars\n";
    ddtest::parse(tmp.write("big.ctl", body), p);
    EXPECT_EQ(p.rc, 1) << c;
    EXPECT_TRUE(endswith(p.out, kTail)) << p.out;
  }
}

}  // namespace

namespace {

// Descriptors without end: a device of NULs is refused at its first
// (endless) line, a pipe of endless comment lines is read no further than
// a descriptor can be and then ends like a file, and a continuation line of
// a level list is bounded like any other line.
TEST_F(Descriptor, EndlessStreamsAndLinesAreBounded) {
  parsed z;
  ddtest::parse("/dev/zero", z);
  EXPECT_EQ(z.rc, 1);
  EXPECT_EQ(z.out, "Open Error:  Description file line too long\n" + std::string(kTail));

  int fd[2];
  ASSERT_EQ(pipe(fd), 0);
  std::signal(SIGPIPE, SIG_IGN);
  std::thread writer([w = fd[1]] {
    std::string block;
    for (int i = 0; i < 4096; i++) block += "* comment\n";
    for (;;) {
      ssize_t n = write(w, block.data(), block.size());
      if (n < 0 && errno != EINTR) break;
    }
    close(w);
  });
  parsed p;
  ddtest::parse("/dev/fd/" + std::to_string(fd[0]), p);
  close(fd[0]);
  writer.join();
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out,
            "Open Error:  missing XDEF record \nOpen Error:  missing YDEF record \n"
            "Open Error:  missing ZDEF record \nOpen Error:  missing TDEF record \n"
            "Open Error:  missing UNDEF record \nOpen Error:  missing DSET record \n"
            "Open Error:  missing VARS record \n" + std::string(kTail));

  parsed l;
  ddtest::parse(tmp.write("lv.ctl", basic("zdef 3 levels 1000\n2 " + std::string(2 << 20, 'x') + "\n")), l);
  EXPECT_EQ(l.rc, 1);
  EXPECT_EQ(l.out.rfind("Open Error:  Description file line too long\n", 0), 0u) << l.out.substr(0, 200);
  EXPECT_TRUE(endswith(l.out, kTail));
}

// A descriptor that is a FIFO nobody writes is waited on only until the
// user interrupts.
TEST_F(Descriptor, WriterlessFifoEndsAtInterrupt) {
  fifo_end fifo(tmp.path("d.fifo"), true);
  ASSERT_TRUE(fifo.ok());
  parsed p;
  ddtest::parse(fifo.path(), p);
  EXPECT_EQ(p.rc, 1);
  EXPECT_EQ(p.out, "Open Error:  Can't open description file\n"
                   "  interrupted while waiting for the other end of the pipe\n");
}

// The messages of parsing ctl in a process limited to 1 GB of address
// space.
std::string within1gb(const std::string& ctl) {
  parsed b;
  ddtest::parse_within(ctl, rlim_t(1) << 30, b);
  return b.out;
}

// A level count is the descriptor's claim: the list holds the values
// read, so a count of 2^31 - 1 with two values ends at the record after
// them, in a process that could not hold 8 GB.  (Not under AddressSanitizer,
// whose shadow memory needs the address space.)
TEST_F(Descriptor, LevelListsAreSizedByTheValuesRead) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address-space limit";
#else
  std::string ctl = tmp.write("h.ctl", basic("xdef 2147483647 levels 1 2\n"));
  EXPECT_EXIT(std::exit(within1gb(ctl) == "Open Error:  Invalid value in LEVELS data\n"
                                         "  --> The invalid description file record is: \n"
                                         "  --> vars 1\n" + std::string(kTail)
                            ? 0
                            : 1),
              testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
