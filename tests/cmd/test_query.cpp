// The query command: the exact lines scripts parse.
#include "test_display_env.h"

using namespace disptest;

namespace {

using Query = DisplayEnv;

TEST_F(Query, HelpUnknownAndNoFiles) {
  Out o = run("q");
  EXPECT_EQ(o.rc, 0);
  EXPECT_TRUE(has(o, "query or q Options: \n  q config   Returns Ombra configuration information\n"));
  EXPECT_TRUE(has(o, "  q pp2xy    Converts virtual page XY to real page XY coordinates\n"
                     "Details about argument syntax for some of these options are in the \n"
                     "docs/commands.md of the Ombra sources.\n"));
  // The help ends with the pointer to the command reference.
  EXPECT_EQ(o.out.substr(o.out.size() - 39), "docs/commands.md of the Ombra sources.\n");
  o = run("q nonsense_keyword_that_is_long");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "Invalid QUERY argument: nonsense_keyword_th \n");
  o = run("q files");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "No files open\n");
  o = run("q dims");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "No files open\n");
  EXPECT_EQ(run("q time").out, "No Files Open\n");
  EXPECT_EQ(run("q file").out, "No Files Open\n");
  o = run("q define");
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.out, "No Defined Variables\n");
}

TEST_F(Query, FilesAndFileSelection) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  ASSERT_EQ(open("s.ctl").rc, 0);
  Out o = run("q files");
  EXPECT_EQ(o.out, "File 1 : Test set\n  Descriptor: " + path("t.ctl") + "\n  Binary: " + path("t.dat") +
                       "\nFile 2 : Stations\n  Descriptor: " + path("s.ctl") +
                       "\n  Binary: " + path("s.dat") + "\n");
  o = run("q file");
  EXPECT_EQ(o.out, "File 1 : Test set\n  Descriptor: " + path("t.ctl") + "\n  Binary: " + path("t.dat") +
                       "\n  Type = Gridded\n  Xsize = 4  Ysize = 3  Zsize = 2  Tsize = 3\n"
                       "  Number of Variables = 1\n    t 2 99 temperature\n");
  o = run("q file 2");
  EXPECT_TRUE(has(o, "File 2 : Stations\n"));
  EXPECT_TRUE(has(o, "  Type = Station Data\n  Tsize = 2\n  Number of Variables = 3\n"
                     "    ps 0 99 pressure\n    ts 0 99 temperature\n    t 1 99 temperature aloft\n"));
  o = run("q file 3");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "QUERY FILE Error:  file 3 not open\n");
  EXPECT_EQ(run("q file 0").out, "QUERY FILE Error:  file 0 not open\n");
  o = run("q ctlinfo x1");
  EXPECT_EQ(o.rc, 1);
  EXPECT_EQ(o.out, "Invalid QUERY CTLINFO argument: x1 \n");
}

TEST_F(Query, CtlinfoWritesTheDescriptorBack) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  Out o = run("q ctlinfo");
  EXPECT_EQ(o.out, "dset " + path("t.dat") +
                       "\ntitle Test set\nundef -9.99e+08\nxdef 4 linear 0 10\nydef 3 linear -10 10\n"
                       "zdef 2 levels 1000 500\ntdef 3 linear 00Z01JAN2000 360mn\nvars 1\n"
                       "t 2 99 temperature\n");
  ASSERT_EQ(open("s.ctl").rc, 0);
  o = run("q ctlinfo 2");
  EXPECT_EQ(o.out, "dset " + path("s.dat") + "\ntitle Stations\nundef -999\ndtype station\n  Tsize = 2\n");
}

TEST_F(Query, CtlinfoBreaksLongLevelLists) {
  std::string levs;
  for (int i = 0; i < 23; i++) levs += " " + std::to_string(1000 - 40 * i);
  write("l.ctl", "dset ^t.dat\ntitle L\nundef -1\nxdef 1 linear 0 1\nydef 1 linear 0 1\nzdef 23 levels" +
                     levs + "\ntdef 1 linear 1jan2000 1mo\nvars 1\nv 23 1,2,3 v\nendvars\n");
  ASSERT_EQ(open("l.ctl").rc, 0);
  Out o = run("q ctlinfo");
  EXPECT_TRUE(has(o, "zdef 23 levels 1000 960 920 880 840 800 760 720\n"
                     " 680 640 600 560 520 480 440 400 360 320\n"
                     " 280 240 200 160 120\n"
                     "tdef 1 linear 00Z01JAN2000 1mo\n"))
      << o.out;
  EXPECT_TRUE(has(o, "v 23 1,2,3 v\n")) << o.out;
}

TEST_F(Query, DimsAndTime) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  Out o = run("q dims");
  EXPECT_EQ(o.out,
            "Default file number is: 1 \n"
            "X is varying   Lon = 0 to 30   X = 1 to 4\n"
            "Y is varying   Lat = -10 to 10   Y = 1 to 3\n"
            "Z is fixed     Lev = 1000  Z = 1\n"
            "T is fixed     Time = 00Z01JAN2000  T = 1\n");
  run("set t 1 3");
  run("set lon 5");
  o = run("q dims");
  EXPECT_TRUE(has(o, "X is fixed     Lon = 10  X = 2\n")) << o.out;
  EXPECT_TRUE(has(o, "T is varying   Time = 00Z01JAN2000 to 12Z01JAN2000  T = 1 to 3\n"));
  o = run("q time");
  EXPECT_EQ(o.out, "Time = 00Z01JAN2000 to 12Z01JAN2000  Sat to Sat\n");
  run("set time 06z2jan2030");
  gcmn.tbeg.mn = gcmn.tend.mn = 30;  // off the axis: the minutes are shown
  o = run("q time");
  EXPECT_EQ(o.out, "Time = 06:30Z02JAN2030 to 06:30Z02JAN2030  Wed to Wed\n");
}

TEST_F(Query, DimsOfStationDataAreWorldValues) {
  ASSERT_EQ(open("s.ctl").rc, 0);
  run("set lon -20 20");
  Out o = run("q dims");
  EXPECT_TRUE(has(o, "X is varying   Lon = -20 to 20   X = -20 to 20\n")) << o.out;
  EXPECT_TRUE(has(o, "T is fixed     Time = 00Z01JAN2000  T = 1\n")) << o.out;
}

TEST_F(Query, FwriteReportsTheRealMachineOrder) {
  Out o = run("q fwrite");
  std::string machine = omhostle() ? "little_endian" : "big_endian";
  EXPECT_EQ(o.out,
            "FWrite file is closed\nFWrite file name is: ombra.fwrite\n"
            "FWrite byte order is big_endian ; machine byte order is " +
                machine + "\n");
  run("set fwrite -le x.dat");
  o = run("q fwrite");
  EXPECT_TRUE(has(o, "FWrite file name is: x.dat\nFWrite byte order is little_endian ; machine"));
}

TEST_F(Query, ConfigUdftAndLats) {
  Out o = run("q config");
  EXPECT_EQ(o.rc, 0);
  EXPECT_TRUE(has(o, "Config: v"));
  EXPECT_EQ(run("q udft").rc, 0);
  o = run("q lats");
  EXPECT_TRUE(has(o, "Ombra-LATS Interface State:\n"));
  EXPECT_TRUE(has(o, "\t: id_user_write LATS internal ID\n"));
  EXPECT_TRUE(has(o, "vertical levels\n"));
}

}  // namespace
