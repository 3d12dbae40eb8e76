// Defaults of the common state, the clear routine, and what reset keeps.
#include <gtest/gtest.h>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"
#include "cmdtest.h"
#include "gx/gx.h"
#include "plot/fwfile.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

int quiet(const char* line) { return runcmd(line).rc; }

class State : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    CaptureStdout();
    gxstrt(8.5, 11, 1);
    GetCapturedStdout();
  }
  void SetUp() override {
    gcmn.filehead = nullptr;
    gcmn.dfile = nullptr;
    gcmn.filecount = 0;
    gcmn.vpagew = 8.5;
    gcmn.vpageh = 11;
    ominit();
  }
};

}  // namespace

TEST_F(State, InitialDefaults) {
  EXPECT_EQ(gcmn.gds, &wgds);
  EXPECT_FLOAT_EQ(gcmn.pagew, 8.5f);
  EXPECT_FLOAT_EQ(gcmn.plotyhi, 11.0f);
  EXPECT_FLOAT_EQ(gcmn.cmin, -9.99e33f);
  EXPECT_FLOAT_EQ(gcmn.cmax, 9.99e33f);
  EXPECT_EQ(gcmn.mpdset[0], "lowres");
  EXPECT_EQ(gcmn.mpdset[1], "");
  EXPECT_EQ(gcmn.mptcolor[0], -1);
  EXPECT_EQ(gcmn.mptcolor[2], -1);
  EXPECT_EQ(gcmn.mptcolor[3], -9);
  EXPECT_EQ(gcmn.mptcolor[255], -9);
  EXPECT_EQ(gcmn.menuopts[0], 1);
  EXPECT_EQ(gcmn.menuopts[1], 0);
  EXPECT_EQ(gcmn.menuopts[5], 0);
  EXPECT_EQ(gcmn.menuopts[9], 0);
  EXPECT_EQ(gcmn.menuopts[14], 1);
  EXPECT_EQ(gcmn.btncolors[1], 0);
  EXPECT_EQ(gcmn.btncolors[5], 0);
  EXPECT_EQ(gcmn.wxcols[3], 7);
  EXPECT_EQ(gcmn.impcmd, 1);
  EXPECT_EQ(gcmn.gxout_2dvec, 4);
  EXPECT_EQ(gcmn.lats.calendar, 0x1111);
  EXPECT_EQ(gcmn.lats.center, "KIRVA");
  EXPECT_EQ(gcmn.lats.latsids[0], -1);
  EXPECT_EQ(gcmn.lats.latsids[1], 0);
  EXPECT_EQ(gcmn.lats.latsids[3], -1);
  EXPECT_DOUBLE_EQ(gcmn.lats.latswrlev, -1e20);
  EXPECT_EQ(mfcmn.mfwarn, 2);
}

TEST_F(State, StartDefaults) {
  gcmn.fileserial = 3;
  gcmn.fwbigend = 0;
  gcmn.fwseq = 1;
  gcmn.fwname = "x";
  omstart(&gcmn);
  EXPECT_EQ(gcmn.fileserial, 10);
  EXPECT_EQ(gcmn.fwbigend, 1);
  EXPECT_EQ(gcmn.fwseq, 0);
  EXPECT_EQ(gcmn.fwname, "");
  EXPECT_EQ(gcmn.filecount, 0);
}

TEST_F(State, ClearWithoutFlagKeepsSettings) {
  gcmn.cint = 3;
  gcmn.plotpass = 2;
  gcmn.framewords[9] = 5;
  gcmn.axisdims[0] = 1;
  gcmn.ylposset = 1;
  gcmn.ylabshift = 0.4f;
  omcln(&gcmn, 0);
  EXPECT_EQ(gcmn.plotpass, 0);
  EXPECT_EQ(gcmn.framewords[9], 0);
  EXPECT_EQ(gcmn.axisdims[0], -1);
  EXPECT_FLOAT_EQ(gcmn.ylabshift, 0.4f);  // a fixed ylpos keeps it
  EXPECT_FLOAT_EQ(gcmn.cint, 3.0f);
  gcmn.ylposset = 0;
  omcln(&gcmn, 0);
  EXPECT_FLOAT_EQ(gcmn.ylabshift, 0.0f);
}

TEST_F(State, ClearWithFlagRestoresPlotSettings) {
  gcmn.cint = 3;
  gcmn.ccolor = 4;
  gcmn.clabfmt = "%g";
  gcmn.xlabs = {"a", "b"};
  gcmn.xlabcount = 2;
  gcmn.logo = 0;
  gcmn.clab = 0;  // not a clear setting
  omcln(&gcmn, 1);
  EXPECT_FLOAT_EQ(gcmn.cint, 0.0f);
  EXPECT_EQ(gcmn.ccolor, -9);
  EXPECT_EQ(gcmn.clabfmt, "");
  EXPECT_TRUE(gcmn.xlabs.empty());
  EXPECT_EQ(gcmn.xlabcount, 0);  // no count of entries that are gone
  EXPECT_EQ(gcmn.logo, 1);
  EXPECT_EQ(gcmn.clab, 0);
}

TEST_F(State, ResetRestoresThePageAndKeepsLoopSettings) {
  gcmn.vpagew = 4;
  gcmn.vpageh = 3;
  gcmn.looping = 1;
  gcmn.loopincr = 2.5f;
  gcmn.fileserial = 14;
  gcmn.mdlblank = 1;
  gcmn.clab = 0;
  EXPECT_EQ(quiet("reset"), 0);
  EXPECT_FLOAT_EQ(gcmn.vpagew, 8.5f);
  EXPECT_FLOAT_EQ(gcmn.vpageh, 11.0f);
  EXPECT_FLOAT_EQ(gcmn.plotxhi, 8.5f);
  EXPECT_EQ(gcmn.looping, 1);
  EXPECT_FLOAT_EQ(gcmn.loopincr, 2.5f);
  EXPECT_EQ(gcmn.fileserial, 14);
  EXPECT_EQ(gcmn.mdlblank, 1);
  EXPECT_EQ(gcmn.clab, 1);
}

TEST_F(State, ResetKeepsTheCalendarOfOpenFiles) {
  // A stand-in for an open file: only its address is looked at here.
  alignas(8) static char fakefile[64];
  mfcmn.mfcal = 1;
  gcmn.filehead = reinterpret_cast<datafile*>(fakefile);
  gcmn.filecount = 1;
  ominit();
  EXPECT_EQ(mfcmn.mfcal, 1);
  gcmn.filehead = nullptr;
  gcmn.filecount = 0;
  ominit();
  EXPECT_EQ(mfcmn.mfcal, -999);
}

TEST_F(State, ReinitForgetsFilesCalendarAndFwrite) {
  gcmn.grey = 1;
  gcmn.whitebg = 1;
  gcmn.fwname = "out.bin";
  gcmn.fwbigend = 0;
  gcmn.fwseq = 1;
  ASSERT_TRUE(omfwopen(&gcmn, "/dev/null"));
  mfcmn.mfcal = 1;
  EXPECT_EQ(quiet("reinit"), 0);
  EXPECT_EQ(gcmn.grey, 0);
  EXPECT_EQ(gcmn.whitebg, 0);
  EXPECT_EQ(gcmn.fwfile, nullptr);
  EXPECT_EQ(gcmn.fwname, "");
  EXPECT_EQ(gcmn.fwbigend, 1);
  EXPECT_EQ(gcmn.fwseq, 1);
  EXPECT_EQ(gcmn.filehead, nullptr);
  EXPECT_EQ(gcmn.dfile, nullptr);
  EXPECT_EQ(mfcmn.mfcal, -999);
}
