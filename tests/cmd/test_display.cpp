// The display and collect commands on data written at test time: results
// reach the outputs, expression lists, failures release what was evaluated,
// and the one-plot settings return to automatic.
#include <unistd.h>

#include <cerrno>

#include "base/callhook.h"
#include "base/replfile.h"
#include "data/gribread.h"
#include "gx/gxint.h"
#include "test_display_env.h"

using namespace disptest;

namespace {

using Display = DisplayEnv;

TEST_F(Display, ScalarResultAndNoExpression) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  Out o = run("d 1 + 2*3");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "Result value = 7 \n");
  o = run("display");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "Display command error:  No expression provided\n");
}

// The room a GRIB2 field is read in is kept for the next display (a
// script's commands), and given back as the prompt waits.
TEST_F(Display, RoomOfGribFieldsIsKeptForTheNextDisplay) {
  ASSERT_EQ(run("open " OMBRA_SOURCE_DIR "/share/sample/sample.grb2").rc, 0);
  const Out o = run("d aave(t,global)");
  ASSERT_EQ(o.rc, 0) << o.out;
  const size_t held = omgrbheld();
  EXPECT_GT(held, 0u);
  EXPECT_EQ(run("d aave(t(t=2),global)").rc, 0);
  EXPECT_EQ(omgrbheld(), held);
  omgrbrelease(false);
  EXPECT_EQ(omgrbheld(), held);
  omgrbrelease(true);
  EXPECT_EQ(omgrbheld(), 0u);
}

TEST_F(Display, PrintOfAVariableWithUndefined) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set gxout print");
  Out o = run("d t");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out,
            "Printing Grid -- 12 Values -- Undef = -9.99e+08\n"
            "0 1 2 3 4 -9.99e+08 6 7 \n"
            "8 9 10 11 \n");
  o = run("d t(t=2) - t");
  EXPECT_NE(o.out.find("24 24 24 24 24 -9.99e+08 24 24 \n"), std::string::npos) << o.out;
}

TEST_F(Display, ListOfTwoAndFailureInSecond) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set gxout print");
  Out o = run("d t;t*2");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(gcmn.rescount, 0);
  o = run("d t;nosuchvar");
  EXPECT_EQ(o.rc, 1);
  EXPECT_TRUE(has(o, "DISPLAY error:  Invalid expression \n  Expression = nosuchvar\n")) << o.out;
  EXPECT_EQ(gcmn.rescount, 0);
  EXPECT_EQ(gcmn.relcount, 0);
}

TEST_F(Display, MoreThanSixteenExpressionsRefused) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  std::string list = "d 1";
  for (int i = 0; i < 16; i++) list += ";1";
  Out o = run(list);
  EXPECT_EQ(o.rc, 1);
  EXPECT_TRUE(has(o, "DISPLAY error:  Too many expressions"));
  list = "d 1";
  for (int i = 0; i < 15; i++) list += ";1";
  EXPECT_EQ(run("set gxout print").rc, 0);
  EXPECT_EQ(run(list).rc, 0);
}

TEST_F(Display, OnePlotSettingsReturnToAutomatic) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set gxout stat");
  run("set cint 5");
  run("set ccolor 3");
  run("set clevs 1 2 3");
  run("set black 1 2");
  EXPECT_EQ(run("d t").rc, 0);
  EXPECT_EQ(gcmn.cint, 0);
  EXPECT_EQ(gcmn.ccolor, -9);
  EXPECT_EQ(gcmn.clevcount, 0);
  EXPECT_EQ(gcmn.black, 0);
  EXPECT_EQ(gcmn.plotpass, 1);
}

TEST_F(Display, AutomaticColoursNeverOverrunTheTable) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set gxout stat");
  for (int i = 0; i < 14; i++) EXPECT_EQ(run("d t").rc, 0);
  EXPECT_EQ(gcmn.plotpass, 14);
  run("clear");
}

TEST_F(Display, FwriteBigEndianSequentialThroughDisplay) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set x 1");
  run("set gxout fwrite");
  Out o = run("set fwrite -be -sq " + path("o.dat"));
  EXPECT_EQ(o.out,
            "FWrite file name = " + path("o.dat") +
                "\nFWwrite byte order is big_endian; format is sequential\n");
  o = run("d t*2");
  EXPECT_EQ(o.out, "Wrote 3 elements to " + path("o.dat") + " as Sequential Big_Endian\n");
  run("disable fwrite");
  std::string want("\0\0\0\x0c\0\0\0\0\x41\0\0\0\x41\x80\0\0\0\0\0\x0c", 20);
  EXPECT_EQ(slurp("o.dat"), want);
}

// A data output that cannot make its file fails the display: a script
// testing rc learns that nothing was written.  A later display to a file
// that can be made succeeds.
TEST_F(Display, UnwritableOutputFileFailsTheDisplay) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set x 1");
  run("set gxout fwrite");
  run("set fwrite /no/such/dir/o.dat");
  Out o = run("d t");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "Error opening output file for fwrite\n  File name is: /no/such/dir/o.dat\n");
  run("set fwrite " + path("o.dat"));
  EXPECT_EQ(run("d t").rc, 0);
  run("disable fwrite");
  run("set gxout writegds");
  EXPECT_EQ(run("d t").rc, 1);  // no file named, and a grid besides
  run("set gxout contour");
}

// An fwrite file that cannot take its name at disable fwrite fails the
// command with the line that says why: a close the file system refuses (a
// full quota), or bytes a network file system's server refuses as they go
// out, which leave the older file, and the new one under its part name.
TEST_F(Display, AnFwriteFileThatCannotBeKeptFailsTheDisable) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set x 1");
  run("set gxout fwrite");
  const struct {
    callat when;
    const char* said;  // the line, after the part's path for a kept part
    size_t left;       // the bytes then at the name
  } rows[] = {{callat::closed, "Error writing fwrite output file\n  File name is: ", 12},
              {callat::synced, ": it could not be renamed to o.dat: Disk quota exceeded\n", 5}};
  for (const auto& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.when));
    write("o.dat", "older");
    run("set fwrite " + path("o.dat"));
    ASSERT_EQ(run("d t").rc, 0);
    ASSERT_NE(gcmn.fwfile, nullptr);
    const std::string part = gcmn.fwfile->part;
    // A close comes after the rename, a sync before it.
    callhook(r.when, r.when == callat::closed ? "o.dat" : part.substr(part.rfind('/') + 1).c_str(), nullptr, EDQUOT);
    Out o = run("disable fwrite");
    EXPECT_EQ(o.rc, 1);
    EXPECT_EQ(o.out, r.when == callat::closed ? r.said + path("o.dat") + "\n" : "The new file stays as " + part + r.said);
    EXPECT_EQ(slurp("o.dat").size(), r.left);
    unlink(part.c_str());
  }
}

TEST_F(Display, StationDataThroughPrintAndStat) {
  ASSERT_EQ(open("s.ctl").rc, 0);
  run("set lon -20 20");
  run("set lat 30 50");
  run("set gxout print");
  Out o = run("d ts");
  EXPECT_EQ(o.out,
            "Printing Stations -- 2 Reports -- Undef = -999\n"
            "KABC     350      40       -9.99e+33 \n15 \n"
            "XYZ1     10       45       -9.99e+33 \n12 \n");
  run("set lev 850");
  o = run("d t");
  EXPECT_EQ(o.out, "Printing Stations -- 1 Reports -- Undef = -999\nKABC     350      40       850      \n5 \n");
}

TEST_F(Display, CollectStationData) {
  ASSERT_EQ(open("s.ctl").rc, 0);
  Out o = run("collect 32 ps");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "Collect command error:  Invalid Syntax\n  Format is:  collect n expr\n");
  o = run("collect 1 ps");
  EXPECT_EQ(o.out, "Collect Error: Z or T must be the only varying dimension\n");
  run("set lon 350");
  run("set lat 40");
  run("set t 1 2");
  o = run("collect 1 ps");
  EXPECT_EQ(o.rc, 0) << o.out;
  ASSERT_NE(gcmn.collections[1], nullptr);
  EXPECT_EQ(run("collect 1 ps").rc, 0);
  ASSERT_NE(gcmn.collections[1]->next, nullptr);
  EXPECT_EQ(run("collect 1 free").rc, 0);
  EXPECT_EQ(gcmn.collections[1], nullptr);
  run("open " + path("t.ctl"));
  o = run("collect 2 t.2(x=1,y=1)");
  EXPECT_EQ(o.rc, 1);
  EXPECT_TRUE(has(o, "Collect Error: Station Data Required\n")) << o.out;
  EXPECT_EQ(gcmn.collections[2], nullptr);
}

TEST_F(Display, LoopingOverStationLevelsRefused) {
  ASSERT_EQ(open("s.ctl").rc, 0);
  run("set looping on");
  run("set loopdim z");
  run("set lev 1000 300");
  Out o = run("d t");
  EXPECT_EQ(o.rc, 1);
  EXPECT_TRUE(has(o, "Display command error:  Invalid looping environment\n"
                     "  Cannot loop on stn data through X, Y, or Z\n"))
      << o.out;
  run("set looping off");
}

// A looped display that fails part way leaves double buffering, so the
// next plot is drawn where it is seen.
TEST_F(Display, FailedLoopLeavesDoubleBuffering) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set t 1 3");
  Out o = run("d nosuch");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(gxhqdb(), 0);
  run("set t 1");
  o = run("d t");
  EXPECT_EQ(o.rc, 0) << o.out;
  EXPECT_EQ(gxhqdb(), 0);
}

// A loop over a range of grid steps far past any integer starts at its
// first step (and goes on until interrupted) instead of being cut to
// nothing; here the interrupt is up, so the first step stops it.
TEST_F(Display, LoopOverAFarRangeStartsAtItsFirstStep) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set looping on");
  run("set loopdim x");
  run("set lon 0 1e20");
  gcmn.sigflg = 1;
  Out o = run("d t");
  gcmn.sigflg = 0;
  run("set looping off");
  EXPECT_EQ(o.rc, 1);
  EXPECT_TRUE(has(o, "DISPLAY error:  Invalid expression \n  Expression = t\n")) << o.out;
  EXPECT_FALSE(has(o, "Press enter to continue")) << o.out;
}

}  // namespace
