// The set keywords of drawing attributes, the page and the widgets, run
// through the dispatcher as a user types them.
#include <gtest/gtest.h>

#include <string>

#include "gx/gxdrv.h"
#include "test_print_util.h"

namespace {

class SetDraw : public testing::Test {
 protected:
  void SetUp() override { gxc_start(); }
};

// A display that keeps the dialog record it is handed and answers a line.
struct dialog_driver : gxdriver {
  dlgrec got;
  std::string text;
  bool interactive() const override { return true; }
  std::string dialog(dlgrec* d) override {
    got = *d;
    text = d->ch ? d->ch : "";
    free(d->ch);
    got.ch = nullptr;
    return "typed\n";
  }
};

const char kMissLine[] = "SET error:  Missing or invalid arguments for LINE option\n";

}  // namespace

TEST_F(SetDraw, LineKeepsWhatWasReadBeforeABadValue) {
  cmdout r = gxc_run("set line 2 x");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out,
            "SET LINE Error: Invalid linestyle value\n"
            "SET LINE values:  color = 2  style = 1  thickness = 3\n");
  EXPECT_EQ(gcmn.linecolor, 2);
  r = gxc_run("set line 4 5 x");
  EXPECT_EQ(r.out,
            "SET LINE Error: Invalid thickness value\n"
            "SET LINE values:  color = 4  style = 5  thickness = 3\n");
  r = gxc_run("SET LINE 7 3 12");
  EXPECT_EQ(r.out, "SET LINE values:  color = 7  style = 3  thickness = 12\n");
  EXPECT_EQ(gcmn.linestyle, 3);
  EXPECT_EQ(gcmn.linethick, 12);
  // The first value is required and nothing changes without it.
  r = gxc_run("set line");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, kMissLine);
  EXPECT_EQ(gxc_run("set line red").out, kMissLine);
  EXPECT_EQ(gcmn.linecolor, 7);
}

TEST_F(SetDraw, StringJustificationThicknessAndRotation) {
  cmdout r = gxc_run("set string 3 xx");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out,
            "SET STRING Error: Invalid justification value\n"
            "SET STRING values:  color = 3  just = bl  thickness = 3  rotation = 0\n");
  r = gxc_run("set string 2 tr 5 45.5");
  EXPECT_EQ(r.out, "SET STRING values:  color = 2  just = tr  thickness = 5  rotation = 45.5\n");
  EXPECT_EQ(gcmn.strjust, 8);
  EXPECT_FLOAT_EQ(gcmn.strrot, 45.5f);
  r = gxc_run("set string 1 c x");
  EXPECT_EQ(r.out,
            "SET STRING Error: Invalid thickness value\n"
            "SET STRING values:  color = 1  just = c  thickness = 5  rotation = 45.5\n");
  EXPECT_EQ(gcmn.strjust, 4);
  r = gxc_run("set string 1 l 2 up");
  EXPECT_EQ(r.out,
            "SET STRING Error: Invalid rotation value\n"
            "SET STRING values:  color = 1  just = l  thickness = 2  rotation = 45.5\n");
  // A rotation that overflows a float is no rotation.
  gxc_run("set string 1 l 2 1e99");
  EXPECT_FLOAT_EQ(gcmn.strrot, 45.5f);
}

TEST_F(SetDraw, StrsizAndAnnot) {
  cmdout r = gxc_run("set strsiz 0.2");
  EXPECT_EQ(r.out, "SET STRSIZ values:  hsize = 0.2  vsize = 0.2\n");
  EXPECT_FLOAT_EQ(gcmn.strvsiz, 0.2f);
  r = gxc_run("set strsiz 0.1 0.15");
  EXPECT_EQ(r.out, "SET STRSIZ values:  hsize = 0.1  vsize = 0.15\n");
  r = gxc_run("set strsiz 0.3 big");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out,
            "SET STRSIZ Error:  Invalid vsize value\n"
            "SET STRSIZ values:  hsize = 0.3  vsize = 0.3\n");
  EXPECT_EQ(gxc_run("set strsiz").out,
            "SET error:  Missing or invalid arguments for STRSIZ option\n");
  r = gxc_run("set annot 4 x");
  EXPECT_EQ(r.out,
            "SET ANNOT Error: Invalid thickness value\n"
            "SET ANNOT values:  color = 4  thickness = 6\n");
  EXPECT_EQ(gxc_run("set annot 5 9").out, "SET ANNOT values:  color = 5  thickness = 9\n");
}

TEST_F(SetDraw, FillPatterns) {
  cmdout r = gxc_run("set fill");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "SET FILL Syntax Error.  Syntax is: SET FILL type [density] [angle]\n");
  // A bad density is reported, the angle is still taken, the old density echoed.
  r = gxc_run("set fill line 7 45");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out,
            "Invalid ptrnden value:  must be integer 1 to 5\n"
            "SET FILL values: line 5 45\n");
  EXPECT_EQ(gcmn.filltype, 3);
  EXPECT_EQ(gcmn.fillang, 45);
  r = gxc_run("set fill line 2 50");
  EXPECT_EQ(r.out,
            "Invalid ptrnang value:  must be -90, -60, -45 -30\n"
            " \t                        0, 30. 45, 60, or 90\n"
            "SET FILL values: line 2 45\n");
  EXPECT_EQ(gcmn.filldens, 2);
  r = gxc_run("set fill dot 6");
  EXPECT_EQ(r.out, "SET FILL values: dot 6\n");
  EXPECT_EQ(gxc_run("set fill dot 7").out,
            "Invalid ptrnden value:  must be integer 1 to 6\nSET FILL values: dot 6\n");
  // dot without its density fails after the flag and type were stored.
  gxc_run("set fill off");
  gxc_run("set fill solid");
  gxc_run("set fill off");
  r = gxc_run("set fill dot");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "SET error:  Missing or invalid arguments for FILL option\n");
  EXPECT_EQ(gcmn.fillon, 1);
  EXPECT_EQ(gcmn.filltype, 2);
  EXPECT_EQ(gxc_run("set fill line 3").rc, 1);  // the angle is required
  EXPECT_EQ(gxc_run("set fill open").out, "SET FILL values: open\n");
  EXPECT_EQ(gcmn.filltype, 0);
  EXPECT_EQ(gxc_run("set fill off").out, "SET FILL values: off\n");
  EXPECT_EQ(gcmn.fillon, 0);
  EXPECT_EQ(gxc_run("set fill hatch").rc, 1);
}

TEST_F(SetDraw, RgbAndFont) {
  const char bad[] =
      "SET RGB Error:  Invalid color number or rgb value\n"
      "  Color number must be 16-99, rgb value 0-255\n";
  EXPECT_EQ(gxc_run("set rgb 15 0 0 0").out, bad);
  EXPECT_EQ(gxc_run("set rgb 100 0 0 0").out, bad);
  EXPECT_EQ(gxc_run("set rgb 20 256 0 0").rc, 1);
  EXPECT_EQ(gxc_run("set rgb 20 0 -1 0").rc, 1);
  EXPECT_EQ(gxc_run("set rgb 20 1 2").out,
            "SET error:  Missing or invalid arguments for RGB option\n");
  // Batch images use the exact colour: no closest-colour notice.
  cmdout r = gxc_run("set rgb 20 255 0 0");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");

  EXPECT_EQ(gxc_run("set font 10").out, "SET FONT Error: font must be 0 to 9\n");
  EXPECT_EQ(gxc_run("set font -1").rc, 1);
  r = gxc_run("set font 3");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(SetDraw, SwitchesAndSingleValues) {
  EXPECT_EQ(gxc_run("set frame circle").rc, 0);
  EXPECT_EQ(gcmn.frame, 2);
  gxc_run("set frame off");
  EXPECT_EQ(gcmn.frame, 0);
  EXPECT_EQ(gxc_run("set frame square").out,
            "SET error:  Missing or invalid arguments for FRAME option\n");
  gxc_run("set arrlab off");
  EXPECT_EQ(gcmn.arrlab, 0);
  gxc_run("set hempref shem");
  EXPECT_EQ(gcmn.hempref, 1);
  gxc_run("set hempref nhem");
  EXPECT_EQ(gcmn.hempref, 0);
  gxc_run("set gridln off");
  EXPECT_EQ(gcmn.gridln, -1);
  gxc_run("set gridln 4");
  EXPECT_EQ(gcmn.gridln, 4);
  gxc_run("set gridln auto");
  EXPECT_EQ(gcmn.gridln, -9);
  EXPECT_EQ(gxc_run("set arrowhead 0.1").out, "Arrowhead = 0.1 \n");
  EXPECT_EQ(gxc_run("set digsize 0.09").out, "digsiz = 0.09 \n");
  EXPECT_FLOAT_EQ(gcmn.digsize, 0.09f);
  gxc_run("set strmden 8");
  EXPECT_EQ(gcmn.strmden, 8);
  gxc_run("set wxopt char");
  EXPECT_EQ(gcmn.wxopt, 3);
  EXPECT_EQ(gxc_run("set background 1").out, "background = 1 \n");
  EXPECT_EQ(gxqbck(), 1);

  cmdout r = gxc_run("set dignum 9");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "Invalid dignum value:  must be 0 to 8\n");
  EXPECT_EQ(gcmn.dignum, 0);
  EXPECT_EQ(gxc_run("set dignum 3").out, "dignum = 3 \n");

  EXPECT_EQ(gxc_run("set bargap 99").rc, 0);
  r = gxc_run("set bargap 100");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "SET BARGAP Error: gap must be 0 to 99\n");
  EXPECT_EQ(gcmn.bargap, 99);
  gxc_run("set barbase top");
  EXPECT_EQ(gcmn.barbaseset, -1);
  gxc_run("set barbase -2.5");
  EXPECT_EQ(gcmn.barbaseset, 1);
  EXPECT_FLOAT_EQ(gcmn.barbase, -2.5f);
  gxc_run("set baropts outline");
  EXPECT_EQ(gcmn.baropts, 1);
  EXPECT_EQ(gxc_run("set baropts sideways").rc, 0);  // changes nothing
  EXPECT_EQ(gcmn.baropts, 1);
  EXPECT_EQ(gxc_run("set baropts").rc, 1);
}

TEST_F(SetDraw, ListsOfValues) {
  EXPECT_EQ(gxc_run("set wxcols 1 2 3 4 5").out, "New WXCOLS have been set\n");
  EXPECT_EQ(gcmn.wxcols[4], 5);
  // Exactly five: fewer or more store nothing.
  EXPECT_EQ(gxc_run("set wxcols 6 7 8 9").rc, 1);
  EXPECT_EQ(gxc_run("set wxcols 6 7 8 9 10 11").rc, 1);
  EXPECT_EQ(gcmn.wxcols[0], 1);
  EXPECT_EQ(gxc_run("set lfcols 4 9").out, "LineFill Colors: Above = 4  Below = 9\n");
  EXPECT_EQ(gcmn.lfcols[1], 9);
  EXPECT_EQ(gxc_run("set lfcols 4").rc, 1);

  // mdlopts: words in turn, the end of the line ends it.
  EXPECT_EQ(gxc_run("set mdlopts").rc, 0);
  EXPECT_EQ(gxc_run("set mdlopts blank dig3").rc, 0);
  EXPECT_EQ(gcmn.mdlblank, 1);
  EXPECT_EQ(gcmn.mdldig3, 1);
  EXPECT_EQ(gxc_run("set mdlopts noblank what nodig3").rc, 1);
  EXPECT_EQ(gcmn.mdlblank, 0);
  EXPECT_EQ(gcmn.mdldig3, 1);

  gxc_run("set arrscl 0.5");
  EXPECT_FLOAT_EQ(gcmn.arrmag, -999.0f);
  EXPECT_EQ(gcmn.arrflag, 1);
  gxc_run("set arrscl 0.4 20");
  EXPECT_FLOAT_EQ(gcmn.arrsize, 0.4f);
  EXPECT_FLOAT_EQ(gcmn.arrmag, 20.0f);

  EXPECT_EQ(gxc_run("set grid on 3 4").out, "grid is on, style 3 color 4 \n");
  EXPECT_EQ(gxc_run("set grid vertical").out, "grid is on, style 3 color 4 \n");
  EXPECT_EQ(gcmn.grid, 3);
  EXPECT_EQ(gxc_run("set grid off").out, "grid is off\n");
  EXPECT_EQ(gxc_run("set grid horizontal x").rc, 1);  // the mode stays set
  EXPECT_EQ(gcmn.grid, 2);
}

TEST_F(SetDraw, VirtualPageShapesAndLimits) {
  float rx, ry, vx, vy;
  cmdout r = gxc_run("set vpage 0 11 0 8.5");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "Virtual page size = 11 8.5 \n");
  r = gxc_run("set vpage 0 5.5 0 8.5");
  EXPECT_EQ(r.out, "Virtual page size = 5.5 8.5 \n");
  gxqpag(&rx, &ry, &vx, &vy);
  EXPECT_FLOAT_EQ(vx, 5.5f);
  EXPECT_FLOAT_EQ(vy, 8.5f);
  EXPECT_FLOAT_EQ(gcmn.vpagew, 5.5f);
  // A wide box fills the width.
  EXPECT_EQ(gxc_run("set vpage 0 11 0 4.25").out, "Virtual page size = 11 4.25 \n");
  r = gxc_run("set vpage 0 12 0 8.5");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "SET Error: vpage values beyond real page limits\n");
  EXPECT_EQ(gxc_run("set vpage -1 5 0 5").rc, 1);
  EXPECT_EQ(gxc_run("set vpage 5 5 0 5").out,
            "SET error:  Missing or invalid arguments for VPAGE option\n");
  EXPECT_EQ(gxc_run("set vpage 0 5 0").rc, 1);
  EXPECT_FLOAT_EQ(gcmn.vpagew, 11.0f);

  // A page change clears the plot settings.
  gcmn.cint = 5;
  gxc_run("set vpage off");
  EXPECT_FLOAT_EQ(gcmn.cint, 0.0f);
  gxqpag(&rx, &ry, &vx, &vy);
  EXPECT_FLOAT_EQ(vx, 11.0f);
  EXPECT_FLOAT_EQ(vy, 8.5f);
}

TEST_F(SetDraw, PlotAreaAndClip) {
  EXPECT_EQ(gxc_run("set parea 1 10 1 7.5").rc, 0);
  EXPECT_EQ(gcmn.parea, 1);
  EXPECT_FLOAT_EQ(gcmn.pareabox[3], 7.5f);
  cmdout r = gxc_run("set parea 1 12 1 7");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "SET Error: parea values beyond page limits\n");
  EXPECT_FLOAT_EQ(gcmn.pareabox[1], 10.0f);
  EXPECT_EQ(gxc_run("set parea 2 1 1 7").out,
            "SET error:  Missing or invalid arguments for PAREA option\n");
  // The limits are those of the virtual page.
  gxc_run("set vpage 0 5.5 0 8.5");
  EXPECT_EQ(gxc_run("set parea 1 6 1 7").rc, 1);
  gxc_run("set parea off");
  EXPECT_EQ(gcmn.parea, 0);

  gxc_run("set vpage off");
  EXPECT_EQ(gxc_run("set clip 1 5 2 6").rc, 0);
  float xl, xh, yl, yh;
  gxqclip(&xl, &xh, &yl, &yh);
  EXPECT_FLOAT_EQ(xl, 1.0f);
  EXPECT_FLOAT_EQ(yh, 6.0f);
  const char miss[] = "SET error:  Missing or invalid arguments for CLIP option\n";
  EXPECT_EQ(gxc_run("set clip 1 12 2 6").out, miss);
  EXPECT_EQ(gxc_run("set clip 5 1 2 6").out, miss);
  EXPECT_EQ(gxc_run("set clip 1 5 2").out, miss);
  gxqclip(&xl, &xh, &yl, &yh);
  EXPECT_FLOAT_EQ(xh, 5.0f);
}

TEST_F(SetDraw, DisplayDoubleBufferAndWindowSize) {
  EXPECT_EQ(gxc_run("set display grey white").rc, 0);
  EXPECT_EQ(gcmn.grey, 1);
  EXPECT_EQ(gcmn.whitebg, 1);
  EXPECT_EQ(gxdbkq(), 1);
  // Without a background word the background stays.
  gxc_run("set display color");
  EXPECT_EQ(gcmn.grey, 0);
  EXPECT_EQ(gxdbkq(), 1);
  gxc_run("set display greyscale black");
  EXPECT_EQ(gxdbkq(), 0);
  const char miss[] = "SET error:  Missing or invalid arguments for DISPLAY option\n";
  EXPECT_EQ(gxc_run("set display colour").out, miss);
  EXPECT_EQ(gxc_run("set display color pink").out, miss);
  EXPECT_EQ(gcmn.grey, 1);

  gcmn.cint = 5;
  gxc_run("set dbuff on");
  EXPECT_EQ(gcmn.dbuff, 1);
  EXPECT_FLOAT_EQ(gcmn.cint, 0.0f);
  gcmn.cint = 5;
  gxc_run("set dbuff off");
  EXPECT_EQ(gcmn.dbuff, 0);
  EXPECT_FLOAT_EQ(gcmn.cint, 0.0f);
  gcmn.cint = 5;
  gxc_run("set dbuff off");  // already off: nothing happens
  EXPECT_FLOAT_EQ(gcmn.cint, 5.0f);
  EXPECT_EQ(gxc_run("set dbuff maybe").rc, 1);

  EXPECT_EQ(gxc_run("set xsize 800 600").rc, 0);
  EXPECT_EQ(gxc_run("set xsize 800").rc, 1);
  EXPECT_EQ(gxc_run("set xsize 0 600").rc, 1);
  EXPECT_EQ(gxc_run("set xsize 800 -5").rc, 1);
}

// The colours reach the dialog in the roles the command names them.
TEST_F(SetDraw, DialogColoursReachTheDialogAsTyped) {
  dialog_driver drv;
  gxdsetdrv(&drv);
  testing::internal::CaptureStdout();
  gxstrt(11, 8.5, 0);
  testing::internal::GetCapturedStdout();
  gcmn.batch = 0;
  gxc_run("set dialog 2 3 4 5 6 n");
  cmdout r = gxc_run("q dialog 1 2 3 4 Name|abc");
  gcmn.batch = 1;
  gxdsetdrv(nullptr);
  gxc_start();
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "typed\n");
  EXPECT_EQ(drv.got.pc, 2);
  EXPECT_EQ(drv.got.fc, 3);
  EXPECT_EQ(drv.got.bc, 4);
  EXPECT_EQ(drv.got.oc, 5);
  EXPECT_EQ(drv.got.th, 6);
  EXPECT_EQ(drv.got.nu, 1);
  EXPECT_EQ(drv.got.x, 1);
  EXPECT_EQ(drv.got.h, 4);
  EXPECT_EQ(drv.text, "Name|abc");
}

TEST_F(SetDraw, ButtonsDialogsMenusAndRubberBands) {
  EXPECT_EQ(gxc_run("set button 1 2 3").out,
            "SET BUTTON values:  Fc, Bc, Oc, Oc2 = 1 2 3 3 Toggle Fc, Bc, Oc, Oc2 = 1 2 3 3 "
            "Thick = 3\n");
  EXPECT_EQ(gxc_run("set button 4 5 6 7 8 9 10 11 2").out,
            "SET BUTTON values:  Fc, Bc, Oc, Oc2 = 4 5 6 7 Toggle Fc, Bc, Oc, Oc2 = 8 9 10 11 "
            "Thick = 2\n");
  gxc_run("set button 1 0 2 3 4 5 6");  // toc also sets the toggled second outline
  EXPECT_EQ(gcmn.btncolors[7], 6);
  EXPECT_EQ(gxc_run("set button 1 x").rc, 1);
  EXPECT_EQ(gcmn.btncolors[0], 1);
  EXPECT_EQ(gcmn.btncolors[1], 0);

  EXPECT_EQ(gxc_run("set dialog 2 3 4 5 6 n").out,
            "SET DIALOG values:  Pc, Fc, Bc, Oc = 2 3 4 5 Thick = 6 Args = numeric\n");
  // Stored as foreground, background, outline, prompt.
  EXPECT_EQ(gcmn.dlgcolors[0], 3);
  EXPECT_EQ(gcmn.dlgcolors[3], 2);
  EXPECT_EQ(gcmn.dlgnumeric, 1);
  EXPECT_EQ(gxc_run("set dialog 7").out,
            "SET DIALOG values:  Pc, Fc, Bc, Oc = 7 3 4 5 Thick = 6 Args = numeric\n");
  gxc_run("set dialog 2 3 4 5 6 other");
  EXPECT_EQ(gcmn.dlgnumeric, 1);
  EXPECT_EQ(gxc_run("set dialog 2 3 4 5 6").out,
            "SET DIALOG values:  Pc, Fc, Bc, Oc = 2 3 4 5 Thick = 6\n");
  EXPECT_EQ(gcmn.dlgnumeric, 0);
  EXPECT_EQ(gxc_run("set dialog").rc, 1);

  const char menuerr[] =
      "SET DROPMENU Syntax Error.  Syntax is: SET DROPMENU fc bc oc1 oc2 tfc tbc toc1 toc2\n"
      "      bfc bbc boc1 boc2 soc1 soc2 thick\n";
  EXPECT_EQ(gxc_run("set dropmenu 1 2 3").rc, 0);
  EXPECT_EQ(gcmn.menuopts[2], 3);
  EXPECT_EQ(gcmn.menuopts[3], 1);
  cmdout r = gxc_run("set dropmenu 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, menuerr);
  EXPECT_EQ(gcmn.menuopts[14], 15);
  EXPECT_EQ(gxc_run("set dropmenu").out, menuerr);
  EXPECT_EQ(gxc_run("set dropmenu 3 x").rc, 1);

  const char rberr[] =
      "SET RBAND Syntax Error.  Syntax is: SET RBAND num type xlo ylo xhi yhi\n";
  EXPECT_EQ(gxc_run("set rband 1 mb5 box 1 1 2 2").rc, 0);
  EXPECT_EQ(gxc_run("set rband 1 line 1 1 2 2").rc, 0);
  EXPECT_EQ(gxc_run("set rband 1 mb box 1 1 2 2").out, rberr);
  EXPECT_EQ(gxc_run("set rband 1 circle 1 1 2 2").out, rberr);
  EXPECT_EQ(gxc_run("set rband 1 box 1 1 2").out, rberr);
  EXPECT_EQ(gxc_run("set rband").out, rberr);
}
