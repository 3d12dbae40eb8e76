// Loading and looking up the LATS parameter tables.
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "latstest.h"

namespace {

const char* kTable =
    "# a comment\n"
    "   # indented: not a comment, and not a row either (too few fields)\n";

std::string good() {
  return "#!variable\n"
         "ta | 11 | Air Temperature | K | float | | 1 | | x | x\n"
         "||tas | 11 | Surface air | K | FLOAT | sfc2m | 1 | 12 | x | x\n"
         "tb | 11 | T | K | float || sfc2m | 1 | 12 | x | y\n"
         "hfx | 122 | Heat flux | W/m^2 | float | plev | 0 | | x | x\n"
         "#! VERT \n"
         "plev | Pressure level | hPa | multi | down | 100 | | | \n"
         "sfc2m | 2 m | m | Single | UP | 105 | 0 | 0 | 2\n"
         "#!center\n"
         "ncep | 21 | 7 | \n"
         "#!qc\n"
         "ta | plev | 500 | 250 | 10 | 3 | 80 | 1.5\n"
         "ta | plev | 850 | 280 | 10 | 3 | 80 | 1.5\n";
}

}  // namespace

TEST_F(LatsTest, TableFileSectionsFieldsAndJoins) {
  spit("t.tab", good());
  testing::internal::CaptureStderr();
  ASSERT_EQ(1, lats_parmtab("t.tab"));
  std::string err = testing::internal::GetCapturedStderr();
  // A multi type cannot be a parameter's fixed level type.
  EXPECT_NE(std::string::npos,
            err.find("Parameter hfx: if specified, level type must be a surface (currently plev), file t.tab"));
  EXPECT_EQ(4, latsParmCount());
  EXPECT_EQ(2, latsVertTypeCount());
  EXPECT_EQ(1, latsCenterCount());
  EXPECT_EQ(2, latsQCCount());
  const latsParmEntry* tas = latsParmLookup("tas");   // leading separators ignored
  ASSERT_TRUE(tas);
  EXPECT_EQ(12, tas->precision);
  EXPECT_EQ(1, tas->levelTypeSet);
  ASSERT_TRUE(tas->hasVertType);
  EXPECT_EQ(105, tas->vertType.gribLevelType);
  EXPECT_EQ(2, tas->vertType.gribP3);
  const latsParmEntry* ta = latsParmLookup("ta");
  ASSERT_TRUE(ta);
  EXPECT_EQ("", ta->levelType);
  EXPECT_EQ(0, ta->levelTypeSet);
  // Two separators in a row are one: the fields after them move forward.
  const latsParmEntry* tb = latsParmLookup("tb");
  ASSERT_TRUE(tb);
  EXPECT_EQ("sfc2m", tb->levelType);
  EXPECT_EQ(1, tb->gribScale);
  EXPECT_EQ(12, tb->precision);
  EXPECT_EQ(0, latsParmLookup("hfx")->levelTypeSet);
  EXPECT_FALSE(latsParmLookup("TA"));
  const latsVertType* plev = latsVertTypeLookup("  PLEV ");
  ASSERT_TRUE(plev);
  EXPECT_EQ(2, plev->positive);
  EXPECT_EQ(-1, plev->gribP1);   // blank numbers of a vert row read as -1
  const latsCenter* c = latsCenterLookup("NCEP");
  ASSERT_TRUE(c);
  EXPECT_EQ(-1, c->gribSubcenter);
  const latsQC* q = latsQCLookup("ta", "plev", 850.05, 0.1);
  ASSERT_TRUE(q);
  EXPECT_FLOAT_EQ(280, q->mean);
  EXPECT_FLOAT_EQ(80, q->range);
  EXPECT_FLOAT_EQ(1.5, q->rangeTolerance);
  EXPECT_FALSE(latsQCLookup("ta", "plev", 700, 0.1));
}

TEST_F(LatsTest, RefusedRowKeepsTheLastGoodTables) {
  spit("t.tab", good());
  ASSERT_EQ(1, lats_parmtab("t.tab"));
  spit("bad.tab", std::string(kTable) + "xx | 1 | t | u | double | | | | | \n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_parmtab("bad.tab"));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, err.find("Invalid parameter file entry:"));
  EXPECT_NE(std::string::npos, err.find("line 2, parameter file bad.tab"));
  EXPECT_EQ(4, latsParmCount());
  EXPECT_TRUE(latsParmLookup("tas"));
  spit("bad2.tab", "#!center\nx | 1 | 2x | 3\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_parmtab("bad2.tab"));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("Invalid grib center: 2x"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_parmtab("missing.tab"));
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("Cannot open parameter file missing.tab"));
  EXPECT_EQ(1, latsCenterCount());
}

TEST_F(LatsTest, UnknownSectionIsReportedAndIgnored) {
  spit("t.tab", "#!bogus\nta | 11 | T | K | float | | 1 | | x | x\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, lats_parmtab("t.tab"));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find(
                                   "Warning: section delimiter: bogus, ignored in parameter file t.tab, line 1"));
  EXPECT_TRUE(latsParmLookup("ta"));
}

// A row past the line buffer (510 characters) is cut there; its tail is not
// taken for a row of its own (which here would be the refused row "xx").
TEST_F(LatsTest, OverlongRowIsCutNotSplit) {
  std::string row = "ta | 11 | T | K | float | | 1 | | x | x" + std::string(600, ' ') +
                    "| xx | 1 | t | u | double | | | | |";
  spit("t.tab", "#!variable\n" + row + "\ntb | 11 | T | K | float | | 1 | | x | x\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(1, lats_parmtab("t.tab"));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ(2, latsParmCount());
  EXPECT_TRUE(latsParmLookup("ta"));
  EXPECT_TRUE(latsParmLookup("tb"));
}

TEST_F(LatsTest, SectionCapacityIsEnforcedAtTheRowThatExceedsIt) {
  std::string t = "#!vert\n";
  for (int i = 0; i < LATS_VERT_CAP; i++) t += "v" + std::to_string(i) + " | d | u | single | up | 1 | 0 | 0 | 0\n";
  spit("full.tab", t);
  ASSERT_EQ(1, lats_parmtab("full.tab"));
  EXPECT_EQ(LATS_VERT_CAP, latsVertTypeCount());
  spit("over.tab", t + "extra | d | u | single | up | 1 | 0 | 0 | 0\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_parmtab("over.tab"));
  EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("line 66, parameter file over.tab"));
}

TEST_F(LatsTest, QCTableGrowsPastItsFirstBlock) {
  std::string t = "#!qc\n";
  for (int i = 0; i < 1300; i++) t += "ta | plev | " + std::to_string(i * 10) + " | 1 | 1 | 1 | 1 | 1\n";
  spit("qc.tab", t);
  ASSERT_EQ(1, lats_parmtab("qc.tab"));
  EXPECT_EQ(1300, latsQCCount());
  EXPECT_TRUE(latsQCLookup("ta", "plev", 12990, 1));
  EXPECT_TRUE(latsQCLookup("ta", "plev", 0, 1));
}

// A table read from a pipe that never ends (endless comment lines) ends
// where a descriptor would, as an empty table; a directory is no table.
TEST_F(LatsTest, EndlessPipeEndsAndDirectoryIsRefused) {
  int fd[2];
  ASSERT_EQ(pipe(fd), 0);
  std::signal(SIGPIPE, SIG_IGN);
  std::thread writer([w = fd[1]] {
    std::string block;
    for (int i = 0; i < 4096; i++) block += "# comment\n";
    while (write(w, block.data(), block.size()) > 0) {
    }
    close(w);
  });
  EXPECT_EQ(1, lats_parmtab(("/dev/fd/" + std::to_string(fd[0])).c_str()));
  close(fd[0]);
  writer.join();
  EXPECT_EQ(0, latsParmCount());
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, lats_parmtab("."));
  EXPECT_NE(std::string::npos,
            testing::internal::GetCapturedStderr().find("Cannot open parameter file ."));
}

TEST_F(LatsTest, BuiltInTable) {
  ASSERT_EQ(1, latsParmCreateDefaultTable());
  EXPECT_EQ(95, latsParmCount());
  EXPECT_EQ(37, latsVertTypeCount());
  EXPECT_EQ(34, latsCenterCount());
  EXPECT_EQ(202, latsVertTypeLookup("ocnbot")->gribLevelType);   // the first of two rows
  EXPECT_EQ(100, latsCenterLookup("KIRVA")->gribProcess);
  EXPECT_EQ(21, latsCenterLookup("ncep")->gribProcess);
  const latsParmEntry* ts = latsParmLookup("ts");
  ASSERT_TRUE(ts);
  EXPECT_EQ("Ground Surface Temperature", ts->title);
  EXPECT_EQ(12, ts->precision);
  EXPECT_TRUE(ts->hasVertType);
  EXPECT_EQ(1, ts->vertType.gribLevelType);
  EXPECT_EQ(1, latsParmLookup("ta")->gribScale);
  EXPECT_FALSE(latsParmLookup("ta")->levelTypeSet);
  EXPECT_TRUE(latsQCLookup("_default_", "", 0, 0));
}

TEST(LatsParse, TrimCopyAndNumbers) {
  char buf[8];
  latsCpyTrim(buf, "   abcdefghij  ", sizeof buf);
  EXPECT_STREQ("abcdefg", buf);
  latsCpyLower(buf, "  AbC ", sizeof buf);
  EXPECT_STREQ("abc", buf);
  latsCpyTrim(buf, "    ", sizeof buf);
  EXPECT_STREQ("", buf);
  int i;
  EXPECT_EQ(1, latsStrtoi("  ", &i, -1));
  EXPECT_EQ(-1, i);
  EXPECT_EQ(1, latsStrtoi(" -42 ", &i, 0));
  EXPECT_EQ(-42, i);
  EXPECT_EQ(0, latsStrtoi("4 2", &i, 7));
  EXPECT_EQ(7, i);
  EXPECT_EQ(0, latsStrtoi("99999999999", &i, 0));
  double d;
  EXPECT_EQ(1, latsStrtod("1.5e3", &d, 0));
  EXPECT_DOUBLE_EQ(1500, d);
  EXPECT_EQ(0, latsStrtod("1.5x", &d, 0));
}
