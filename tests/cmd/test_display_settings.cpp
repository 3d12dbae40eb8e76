// The set options that choose and shape display outputs: gxout, contour and
// shading lists, label and print formats, and the output-file settings.
#include "test_display_env.h"

using namespace disptest;

namespace {

using Settings = DisplayEnv;

TEST_F(Settings, GxoutWritesOnlyItsOwnFields) {
  EXPECT_EQ(run("set gxout shaded").rc, 0);
  EXPECT_EQ(gcmn.gxout_2d, 2);
  EXPECT_EQ(run("set gxout vector").rc, 0);
  EXPECT_EQ(gcmn.gxout_2d, 2);
  EXPECT_EQ(gcmn.gxout_2dvec, 4);
  EXPECT_EQ(gcmn.gxout_stn, 6);
  run("set gxout barb");
  EXPECT_EQ(gcmn.gxout_stn, 2);
  EXPECT_EQ(gcmn.gxout_2dvec, 9);
  EXPECT_EQ(gcmn.gxout_1dvec, 2);
  run("set gxout grid");
  EXPECT_EQ(gcmn.gxout_2d, 3);
  EXPECT_EQ(gcmn.gxout_2dvec, 3);
  run("set gxout print");
  EXPECT_EQ(gcmn.gxout_kind, 2);
  run("set gxout contour");
  EXPECT_EQ(gcmn.gxout_kind, 0);
  EXPECT_EQ(gcmn.gxout_2d, 1);
  run("set gxout stat");
  Out o = run("set gxout nonsense");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "SET error:  Missing or invalid arguments for GXOUT option\n");
  EXPECT_EQ(gcmn.gxout_kind, 0);
  EXPECT_EQ(run("set gxout").rc, 1);
}

TEST_F(Settings, LevelAndColourLists) {
  std::string list = "set clevs";
  for (int i = 0; i < 98; i++) list += " " + std::to_string(i);
  Out o = run(list);
  EXPECT_EQ(o.out, "Number of clevs = 98 \n");
  EXPECT_EQ(gcmn.clevcount, 98);
  o = run(list + " 98");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "SET error:  Missing or invalid arguments for CLEVS option\n");
  EXPECT_EQ(gcmn.clevcount, 98);
  EXPECT_EQ(run("set clevs 1 x").rc, 1);
  EXPECT_EQ(gcmn.clevcount, 98);
  run("set clevs");
  EXPECT_EQ(gcmn.clevcount, 0);
  o = run("set ccols 1 2 3");
  EXPECT_EQ(o.out, "Number of ccols = 3\nccols won't take effect unless clevs are set.\n");
  EXPECT_EQ(run("set rbcols").out, "Rainbow colors set to auto\n");
  EXPECT_EQ(run("set rbcols auto").out, "Rainbow colors set to auto\n");
  EXPECT_EQ(run("set rbcols 4 5").out, "Number of rainbow colors = 2\n");
  EXPECT_EQ(gcmn.rbcolcount, 2);
  EXPECT_EQ(run("set fgvals 1 2 3").rc, 1);
  EXPECT_EQ(run("set fgvals 1 2 3 4").out, "fgvals set\n");
  EXPECT_EQ(gcmn.fgcount, 2);
  EXPECT_EQ(gcmn.fgcols[1], 4);
}

// A refused list leaves the list before it whole: its count must not come
// to stand over the values the refused command had read.
TEST_F(Settings, RefusedListKeepsTheOldList) {
  run("set clevs 250 260 270");
  EXPECT_EQ(run("set clevs 1 2 x").rc, 1);
  ASSERT_EQ(gcmn.clevcount, 3);
  EXPECT_EQ(gcmn.clevs[0], 250.0f);
  EXPECT_EQ(gcmn.clevs[2], 270.0f);
  run("set ccols 2 3");
  std::string many = "set ccols";
  for (int i = 0; i < 99; i++) many += " 9";
  EXPECT_EQ(run(many).rc, 1);
  EXPECT_EQ(gcmn.ccolcount, 2);
  EXPECT_EQ(gcmn.ccols[0], 2);
  EXPECT_EQ(gcmn.ccols[1], 3);
  run("set rbcols 4 5");
  EXPECT_EQ(run("set rbcols 7 x").rc, 1);
  EXPECT_EQ(gcmn.rbcolcount, 2);
  EXPECT_EQ(gcmn.rbcols[0], 4);
  run("set fgvals 1 2 3 4");
  EXPECT_EQ(run("set fgvals 8 9 10").rc, 1);
  EXPECT_EQ(gcmn.fgcount, 2);
  EXPECT_EQ(gcmn.fgvals[0], 1);
  EXPECT_EQ(gcmn.fgcols[0], 2);
  run("set xlevs 10 20");
  EXPECT_EQ(run("set xlevs 30 y").rc, 1);
  EXPECT_EQ(gcmn.xlevcount, 2);
  EXPECT_EQ(gcmn.xlevs[0], 10.0f);
  run("set mpvals 0 10 20 30");
  EXPECT_EQ(run("set mpvals 5 x").rc, 1);
  EXPECT_EQ(gcmn.mpvalsset, 4);
  EXPECT_EQ(gcmn.mpvals[0], 0.0f);
}

TEST_F(Settings, SingleValuesAndSwitches) {
  EXPECT_EQ(run("set cint 2.5").out, "cint = 2.5 \n");
  EXPECT_EQ(run("set cint 0").out, "cint = 0 \n");
  EXPECT_EQ(gcmn.cint, 0);
  Out o = run("set cint -5");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(gcmn.cint, 0);
  EXPECT_TRUE(has(o, "negative interval"));
  EXPECT_EQ(run("set cstyle 0").out,
            "WARNING cstyle = 0 ; no lines will be plotted; I suggest 1 ...\n");
  EXPECT_EQ(run("set cstyle 3").out, "cstyle = 3 \n");
  EXPECT_EQ(run("set ccolor revrain").out, "ccolor = reverse rainbow \n");
  EXPECT_EQ(gcmn.ccolor, -2);
  EXPECT_EQ(run("set ccolor 4").out, "ccolor = 4 \n");
  EXPECT_EQ(run("set csmooth linear").rc, 0);
  EXPECT_EQ(gcmn.csmooth, 2);
  EXPECT_EQ(run("set stat on").rc, 0);
  EXPECT_EQ(gcmn.stat, 1);
  EXPECT_EQ(run("set stat maybe").rc, 1);
  EXPECT_EQ(run("set rbrange 5 5").rc, 1);
  EXPECT_EQ(run("set rbrange 1 5").out, "");
  EXPECT_EQ(gcmn.rbrange[1], 5);
  EXPECT_EQ(run("set black 1 2").rc, 0);
  EXPECT_EQ(gcmn.black, 1);
  EXPECT_EQ(run("set black off").rc, 0);
  EXPECT_EQ(gcmn.black, 0);
  EXPECT_EQ(run("set clskip 0").rc, 1);
  EXPECT_EQ(run("set clskip 2 0.05").rc, 0);
  EXPECT_EQ(gcmn.clskip, 2);
  gcmn.clcolor = 7;
  o = run("set clopts 3 x");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error  Syntax is: SET XLOPTS color thickness size");
  EXPECT_EQ(gcmn.clcolor, 7);
  o = run("set clopts 3 4 0.12");
  EXPECT_EQ(o.out, "SET CLOPTS values:  Color = 3 Thickness = 4 Size = 0.12\n");
}

TEST_F(Settings, LabelAndPrintFormatsAreCheckedLiteralText) {
  Out o = run("set clab %g mb");
  EXPECT_EQ(o.out, "Substitution string is: %g mb\n");
  EXPECT_EQ(gcmn.clabfmt, "%g mb");
  o = run("set clab %s%s%n");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "SET CLAB error:  the format may hold one floating conversion only\n");
  EXPECT_EQ(gcmn.clabfmt, "%g mb");
  // Plain text is a format: it is drawn or printed as it stands.
  o = run("set xlab Lon");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "Substitution string is: Lon\n");
  EXPECT_EQ(gcmn.xlabfmt, "Lon");
  EXPECT_EQ(run("set ylab 100%% deg").rc, 0);
  EXPECT_EQ(gcmn.ylabfmt, "100%% deg");
  EXPECT_EQ(run("set clab abc").rc, 0);
  EXPECT_EQ(gcmn.clabfmt, "abc");
  EXPECT_EQ(run("set prnopts X").rc, 0);
  EXPECT_EQ(gcmn.prnfmt, "X");
  o = run("set xlab %g to %g");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "SET XLAB error:  the format may hold one floating conversion only\n");
  EXPECT_EQ(gcmn.xlabfmt, "Lon");
  run("set clab %g mb");
  EXPECT_EQ(run("set xlab %d").rc, 1);
  EXPECT_EQ(run("set ylab %.1fE").rc, 0);
  EXPECT_EQ(gcmn.ylabfmt, "%.1fE");
  run("set clab forced");
  EXPECT_EQ(gcmn.clab, 2);
  run("set clab auto");
  EXPECT_EQ(gcmn.clabfmt, "");
  EXPECT_EQ(run("set prnopts %6.1F 10 1 u").rc, 0);
  EXPECT_EQ(gcmn.prnfmt, "%6.1F");
  EXPECT_EQ(gcmn.prnnum, 10);
  EXPECT_EQ(gcmn.prnflag, 1);
  EXPECT_EQ(run("set prnopts %s").rc, 1);
  EXPECT_EQ(gcmn.prnfmt, "%6.1F");
  EXPECT_EQ(run("set prnopts %g x").rc, 1);
  EXPECT_EQ(gcmn.prnfmt, "%g");
  // A blank count that would make gigabyte lines is refused; what was set
  // before it stays.
  o = run("set prnopts %5.1f 4 2147483647");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "SET PRNOPTS error:  blanks must be at most 1000\n");
  EXPECT_EQ(gcmn.prnnum, 4);
  EXPECT_EQ(gcmn.prnblank, 1);
  EXPECT_EQ(run("set prnopts %5.1f 4 1000").rc, 0);
  EXPECT_EQ(gcmn.prnblank, 1000);
}

TEST_F(Settings, OutputFiles) {
  Out o = run("set fwrite -le -st Out.DAT");
  EXPECT_EQ(o.out, "FWrite file name = Out.DAT\nFWwrite byte order is little_endian; format is stream\n");
  EXPECT_EQ(gcmn.fwbigend, 0);
  o = run("set fwrite -be");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "SET error:  Missing or invalid arguments for FWRITE option\n");
  EXPECT_EQ(gcmn.fwbigend, 1);
  EXPECT_EQ(run("set writegds -xy stations.txt").out,
            "WRITEGDS file name = stations.txt  Opts = -xy\n");
  EXPECT_EQ(run("set writegds other.txt").out, "WRITEGDS file name = other.txt  Opts = -xy\n");
  EXPECT_EQ(run("set imprun setup").out, "Imprun file name = run setup\n");
  EXPECT_EQ(gcmn.imprun, 1);
  EXPECT_EQ(run("set imprun off").out, "IMPrun is off\n");
  EXPECT_EQ(gcmn.imprun, 0);
  run("set timelab on");
  run("set ombra on");
  EXPECT_EQ(gcmn.timelab, 1);
  run("set ombra off");
  EXPECT_EQ(gcmn.logo, 0);
  EXPECT_EQ(gcmn.timelab, 0);
  EXPECT_EQ(run("set stnprint yes").rc, 1);
  EXPECT_EQ(run("set lats").rc, 1);
  run("set ombra on");
}

TEST_F(Settings, FwriteNameRefusedWhileOpen) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set fwrite " + path("a.dat"));
  run("set gxout fwrite");
  run("d t");
  Out o = run("set fwrite " + path("b.dat"));
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "SET FWrite Error:  fwrite file is open\nUse DISABLE FWRITE command to close file\n");
  EXPECT_EQ(gcmn.fwname, path("a.dat"));
}

}  // namespace
