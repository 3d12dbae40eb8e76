// The draw and redraw commands and the axis and map settings, run through
// the dispatcher; drawings are checked in the display list.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gx/gxint.h"
#include "test_print_util.h"

namespace {

// One display-list record: its code and arguments.
struct prim {
  int code;
  std::vector<int> a;
};

std::vector<prim> frame() {
  std::vector<int> w;
  for (const gxhchunk& c : gxhsel(false)) w.insert(w.end(), c.words, c.words + c.len);
  std::vector<prim> out;
  for (size_t i = 0; i < w.size();) {
    int n;
    switch (w[i]) {
      case -3: case -7: case -20: n = 1; break;
      case -4: case -10: case -11: n = 2; break;
      case -12: n = 3; break;
      case -5: case -6: n = 4; break;
      case -8: n = 0; break;
      default: return out;
    }
    if (i + n >= w.size() + (n == 0)) return out;
    out.push_back({w[i], std::vector<int>(w.begin() + i + 1, w.begin() + i + 1 + n)});
    i += n + 1;
  }
  return out;
}

int count(const std::vector<prim>& f, int code) {
  int n = 0;
  for (const prim& p : f) n += p.code == code;
  return n;
}

// Page inches of a record coordinate.
float in(int v) { return v / 1000.0f; }

class Draw : public testing::Test {
 protected:
  void SetUp() override {
    setenv("OMDDIR", OMBRA_SOURCE_DIR "/share", 0);
    gxc_start();
    gcmn.wlo[0] = 0;
    gcmn.whi[0] = 360;
    gcmn.wlo[1] = -90;
    gcmn.whi[1] = 90;
  }
  size_t mark() { return frame().size(); }
  std::vector<prim> since(size_t n) {
    std::vector<prim> f = frame();
    return std::vector<prim>(f.begin() + std::min(n, f.size()), f.end());
  }
};

}  // namespace

TEST_F(Draw, OperandErrors) {
  EXPECT_EQ(gxc_run("draw").out, "DRAW error: Missing operand\n");
  cmdout r = gxc_run("draw circle 1 2");
  EXPECT_EQ(r.out, "DRAW error:  Invalid operand\n");
  EXPECT_EQ(r.rc, 1);
}

TEST_F(Draw, RectangleOutlineAndFill) {
  gxc_run("set line 4 1 6");
  size_t m = mark();
  EXPECT_EQ(gxc_run("DRAW REC 1 1 3 2").rc, 0);
  std::vector<prim> f = since(m);
  ASSERT_EQ(count(f, -11), 4);
  ASSERT_EQ(count(f, -10), 1);
  for (const prim& p : f) {
    if (p.code == -3) {

      EXPECT_EQ(p.a[0], 4);
    }
  }
  EXPECT_EQ(gxc_run("draw rec 1 1 1 2").out, "DRAW error: Syntax is DRAW REC xlo ylo xhi yhi\n");
  EXPECT_EQ(gxc_run("draw recf 2 1 1 2").out, "DRAW error: Syntax is DRAW RECF xlo ylo xhi yhi\n");
  m = mark();
  EXPECT_EQ(gxc_run("draw recf 1 1 3 2").rc, 0);
  f = since(m);
  ASSERT_EQ(count(f, -6), 1);
  for (const prim& p : f) {
    if (p.code == -6) {

      EXPECT_EQ(p.a, (std::vector<int>{1000, 3000, 1000, 2000}));
    }
  }
}

TEST_F(Draw, PolygonsCloseThemselves) {
  EXPECT_EQ(gxc_run("draw polyf 1 1 2 1 2").out, "DRAW error: Syntax is DRAW POLYF x1 y1 x2 y2 ...\n");
  EXPECT_EQ(gxc_run("draw polyf 1 1 2 1 2 x").out, "DRAW error: Invalid polyf coordinate\n");
  size_t m = mark();
  gxc_run("draw polyf 1 1 2 1 2 2 9");
  std::vector<prim> f = since(m);
  ASSERT_EQ(count(f, -7), 1);
  for (const prim& p : f) {
    if (p.code == -7) {

      EXPECT_EQ(p.a[0], 4);
    }  // the seventh value dropped, (1, 1) appended
  }
  m = mark();
  gxc_run("draw polyf 0 0 1 0 1 1 0 0");
  for (const prim& p : since(m)) {
    if (p.code == -7) {

      EXPECT_EQ(p.a[0], 4);
    }  // already closed: nothing added
  }
}

TEST_F(Draw, MapPolygonNeedsALonLatPlot) {
  cmdout r = gxc_run("draw mappoly 0 0 10 0 10 10");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out,
            "DRAW MAPPOLY error: Invalid Dimension Environment\n"
            "                    X and Y must be varying\n");
  gcmn.axisdims[0] = 0;
  gcmn.axisdims[1] = 1;
  gxc_run("draw map");
  size_t m = mark();
  r = gxc_run("draw mappoly 0 0 10 0 10 10");
  EXPECT_EQ(r.rc, 0);
  std::vector<prim> f = since(m);
  // edges walked in steps of about 2 degrees: more points than corners
  EXPECT_GT(count(f, -11), 10);
  EXPECT_EQ(count(f, -7), 1);
}

TEST_F(Draw, LinesStopAtTheFirstBadWord) {
  size_t m = mark();
  cmdout r = gxc_run("draw line 1 1");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(count(since(m), -11), 0);
  r = gxc_run("draw line 1 1 2");
  EXPECT_EQ(r.out, "DRAW LINE error: Missing Y coordinate\n");
  EXPECT_EQ(r.rc, 1);
  m = mark();
  r = gxc_run("draw line 1 1 2 2 3 x");
  EXPECT_EQ(r.out, "DRAW error: Invalid LINE coordinate\n");
  EXPECT_EQ(count(since(m), -11), 1);  // the segment before stays
  EXPECT_EQ(gxc_run("draw line").out, "DRAW error: Syntax is DRAW LINE x1 y1 x2 y2\n");
}

TEST_F(Draw, MarksSymbolsAndStrings) {
  EXPECT_EQ(gxc_run("draw mark 3 1 1").out, "DRAW error: Syntax is DRAW MARK marktype x y size\n");
  gxc_run("set line 5 1 7");
  size_t m0 = mark();
  EXPECT_EQ(gxc_run("draw mark 3 2 2 0.3").rc, 0);
  std::vector<prim> fm = since(m0);
  EXPECT_EQ(count(fm, -7), 1);  // a filled circle
  for (const prim& p : fm) {
    if (p.code == -3) {
      EXPECT_EQ(p.a[0], 5);
    }
  }
  EXPECT_EQ(gxc_run("draw wxsym 0 1 1 0.2").out,
            "DRAW error: Syntax is DRAW WXSYM sym x y siz <color <thick> >\n");
  EXPECT_EQ(gxc_run("draw wxsym 44 1 1 0.2").rc, 1);
  size_t m = mark();
  EXPECT_EQ(gxc_run("draw wxsym 3 1 1 0.2 2").rc, 0);
  std::vector<prim> f = since(m);
  for (const prim& p : f) {
    if (p.code == -3) {

      EXPECT_EQ(p.a[0], 2);
    }
    if (p.code == -4) {

      EXPECT_EQ(p.a[1], 3);
    }
  }
  EXPECT_GT(count(f, -11), 10);
  // colour groups: symbol 12 is the line in colour 2 and the dots in 10
  m = mark();
  gxc_run("draw wxsym 12 1 1 0.2");
  std::vector<int> cols;
  for (const prim& p : since(m)) {
    if (p.code == -3) cols.push_back(p.a[0]);
  }
  EXPECT_EQ(cols, (std::vector<int>{2, 10, 10}));
  m = mark();
  gxc_run("draw wxsym 41 1 1 0.5");
  EXPECT_GT(count(since(m), -7), 0);  // the filled circle
  EXPECT_EQ(gxc_run("draw string 1 1").out, "DRAW error: Syntax is DRAW STRING x y string\n");
  m = mark();
  EXPECT_EQ(gxc_run("draw string 1 1 Hi").rc, 0);
  EXPECT_GT(count(since(m), -11), 3);
}

TEST_F(Draw, CentredStringTurnsWithItsAngle) {
  gxc_run("set string 1 c 3 90");
  gxc_run("set strsiz 0.2");
  size_t m = mark();
  gxc_run("draw string 5 4 HHHH");
  float xmin = 99, xmax = -99, ymin = 99, ymax = -99;
  for (const prim& p : since(m)) {
    if (p.code != -10 && p.code != -11) continue;
    xmin = std::min(xmin, in(p.a[0]));
    xmax = std::max(xmax, in(p.a[0]));
    ymin = std::min(ymin, in(p.a[1]));
    ymax = std::max(ymax, in(p.a[1]));
  }
  // rotated: the text runs up the page, centred on the point
  EXPECT_NEAR((ymin + ymax) / 2, 4, 0.06);
  EXPECT_NEAR((xmin + xmax) / 2, 5, 0.06);
  EXPECT_GT(ymax - ymin, xmax - xmin);
}

TEST_F(Draw, TitleLinesAndSizes) {
  EXPECT_EQ(gxc_run("draw title").out, "DRAW error: Missing character string \n");
  gcmn.plotxlo = 1;
  gcmn.plotxhi = 10;
  gcmn.plotylo = 1;
  gcmn.plotyhi = 7;
  size_t m = mark();
  EXPECT_EQ(gxc_run("draw title Upper\\Lower").rc, 0);
  float ymin = 99, ymax = -99;
  for (const prim& p : since(m)) {
    if (p.code != -10 && p.code != -11) continue;
    ymin = std::min(ymin, in(p.a[1]));
    ymax = std::max(ymax, in(p.a[1]));
  }
  // two lines of size 0.175: the lower one sits 0.4 c + 0.1 above the plot
  EXPECT_NEAR(ymin, 7 + 0.4 * 0.175 + 0.1, 0.03);
  EXPECT_GT(ymax, 7 + 1.7 * 0.175);
  m = mark();
  gxc_run("draw xlab Below");
  float ytop = -99;
  for (const prim& p : since(m)) {
    if (p.code == -10 || p.code == -11) ytop = std::max(ytop, in(p.a[1]));
  }
  EXPECT_LT(ytop, 1.0f);  // under the plot
  EXPECT_GT(ytop, 1.0f - 1.7f * 0.16f - 0.3f);
  m = mark();
  gxc_run("draw ylab Side");
  float xmax = -99;
  for (const prim& p : since(m)) {
    if (p.code == -10 || p.code == -11) xmax = std::max(xmax, in(p.a[0]));
  }
  EXPECT_LT(xmax, 1.0f);  // left of the plot
}

TEST_F(Draw, MapDrawsOnlyOverARange) {
  size_t m = mark();
  EXPECT_EQ(gxc_run("draw MAP").rc, 0);
  EXPECT_GT(count(since(m), -11), 1000);
  EXPECT_NEAR(gcmn.plotylo, 1.25, 1e-5);  // the map's plot box is kept
  gcmn.whi[1] = gcmn.wlo[1];
  m = mark();
  EXPECT_EQ(gxc_run("draw map").rc, 0);
  EXPECT_EQ(count(since(m), -11), 0);
}

TEST_F(Draw, WidgetsAnswerWithoutAWindow) {
  EXPECT_EQ(gxc_run("draw button 1 1 1 1 1").out, "DRAW error: Syntax is DRAW BUTTON number x y w h string\n");
  EXPECT_EQ(gxc_run("draw button 1 1 1 1 1 Press").rc, 0);
  EXPECT_EQ(gxc_run("draw button 300 1 1 1 1 Press").rc, 0);
  EXPECT_EQ(gxc_run("draw dropmenu 1 cascade a|b|c").rc, 0);
  EXPECT_EQ(gxc_run("draw dropmenu 1 CASCADE a|b|c").out,
            "DRAW error: Syntax is DRAW DROPMENU number x y w h string | string | ...\n");
  EXPECT_EQ(gxc_run("redraw").out, "REDRAW error: Missing operand\n");
  EXPECT_EQ(gxc_run("redraw knob").out, "REDRAW error:  Invalid operand\n");
  EXPECT_EQ(gxc_run("redraw button 256 0").out,
            "REDRAW error: Syntax is REDRAW BUTTON number state flag text\n");
  EXPECT_EQ(gxc_run("redraw button 2 0 1 New label").rc, 0);
  EXPECT_EQ(gxc_run("draw text 1 1").out, "DRAW error: Syntax is DRAW TEXT x y string\n");
}

// ---------------------------------------------------------------- settings

TEST(MapSettings, ProjectionAndMapLines) {
  gxc_start();
  EXPECT_EQ(gxc_run("set mproj ortho").rc, 0);
  EXPECT_EQ(gcmn.mproj, 7);
  gxc_run("set mproj lambert");
  EXPECT_EQ(gcmn.mproj, 13);
  EXPECT_EQ(gxc_run("set mproj mercator").out, "SET error:  Missing or invalid arguments for MPROJ option\n");
  gxc_run("set mpt * off");
  for (int t = 0; t < 256; t++) EXPECT_EQ(gcmn.mptcolor[t], -9);
  gxc_run("set mpt 300 2");
  EXPECT_EQ(gcmn.mptcolor[255], 2);
  gxc_run("set mpt 1 -5 0 0");
  EXPECT_EQ(gcmn.mptcolor[1], -1);
  EXPECT_EQ(gcmn.mptstyle[1], 1);
  EXPECT_EQ(gcmn.mptthick[1], 1);
  gxc_run("set mpt 1 4");
  gxc_run("set poli on");
  EXPECT_EQ(gcmn.mptcolor[1], 4);
  EXPECT_EQ(gcmn.mptcolor[2], -1);
  gxc_run("set poli off");
  EXPECT_EQ(gcmn.mptcolor[1], -9);
  cmdout r = gxc_run("set map 2 x");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "SET MAP Error: Invalid linestyle value\nSET MAP values:  color = 2  style = 1  thickness = 1\n");
  EXPECT_EQ(gxc_run("set map auto").out, "SET MAP values:  auto\n");
  r = gxc_run("set mpdset a B c d e f g h i");
  EXPECT_EQ(gcmn.mpdset[1], "b");
  EXPECT_EQ(gcmn.mpdset[7], "h");
  EXPECT_EQ(gxc_run("set mpvals 1 2 3 4").out, "mpvals have been set\n");
  EXPECT_EQ(gcmn.mpvalsset, 4);
  EXPECT_EQ(gxc_run("set mpvals 1 2 x").rc, 1);
  EXPECT_EQ(gcmn.mpvalsset, 4);
  EXPECT_EQ(gxc_run("set mpvals off").out, "mpvals have been turned off\n");
}

TEST(AxisSettings, LabelsPositionsAndRanges) {
  gxc_start();
  gxc_run("set xlabs Jan|Feb|Mar");
  EXPECT_EQ(gcmn.xlabcount, 3);
  EXPECT_EQ(gcmn.xlabs[1], "Feb");
  gxc_run("set xlabs a||b");
  EXPECT_EQ(gcmn.xlabcount, 3);
  EXPECT_EQ(gcmn.xlabs[1], "");
  gxc_run("set xlabs off");
  EXPECT_EQ(gcmn.xlabcount, 0);
  std::string l49 = "set xlevs";
  for (int i = 0; i < 49; i++) l49 += " " + std::to_string(i);
  EXPECT_EQ(gxc_run(l49).out, "Number of xlevs = 49 \n");
  EXPECT_EQ(gxc_run(l49 + " 49").out, "SET error:  Missing or invalid arguments for XLEVS option\n");
  EXPECT_EQ(gcmn.xlevcount, 49);
  EXPECT_EQ(gxc_run("set xaxis 0 10 x").out, "xaxis labels range 0 10 incr 0 \n");
  EXPECT_EQ(gxc_run("set yaxis 0 10 x").rc, 1);
  EXPECT_EQ(gxc_run("set vrange 0").rc, 1);
  EXPECT_EQ(gcmn.vrangeset, 0);
  EXPECT_EQ(gxc_run("set vrange 0 5").out, "1-D axis limits set: 0 to 5 \n");
  EXPECT_EQ(gcmn.vrangeset, -1);
  EXPECT_EQ(gxc_run("set xlpos 0.5 t").out, "SET XLPOS values:  Offset = 0.5  Side = Top\n");
  EXPECT_EQ(gxc_run("set xlpos 0.5 middle").out, "SET XLPOS values:  Offset = 0.5  Side = Top\n");
  EXPECT_EQ(gxc_run("set ylpos 0.5").out, "SET YLPOS values:  Offset = 0.5  Side = Left\n");
  EXPECT_EQ(gcmn.ylposset, 1);
  EXPECT_EQ(gxc_run("set xlopts 3 4 0.2").out, "SET XLOPTS values:  Color = 3 Thickness = 4 Size = 0.2\n");
  EXPECT_EQ(gxc_run("set ylopts 3 x").out,
            "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error  Syntax is: SET XLOPTS color thickness size");
  EXPECT_EQ(gxc_run("set xlint 30").out, "xlint = 30 \n");
  gxc_run("set tlsupp month");
  EXPECT_EQ(gcmn.tlsupp, 2);
  EXPECT_EQ(gxc_run("set tlsupp week").rc, 0);
  EXPECT_EQ(gcmn.tlsupp, 2);
  gxc_run("set zlog on");
  EXPECT_EQ(gcmn.zlog, 1);
}

TEST(GraphicsQueries, GxinfoAfterAMapAndTheShadingTable) {
  gxc_start();
  gcmn.wlo[0] = 0;
  gcmn.whi[0] = 360;
  gcmn.wlo[1] = -90;
  gcmn.whi[1] = 90;
  gcmn.mpdraw = 0;
  gxc_run("draw map");
  EXPECT_EQ(gxc_run("q gxinfo").out,
            "Last Graphic = Clear\nPage Size = 11 by 8.5\nX Limits = 0.5 to 10.5\nY Limits = 1.25 to 7.25\n"
            "Xaxis = None  Yaxis = None\nMproj = 2\n");
  EXPECT_EQ(gxc_run("q shades").out, "None\n");
  gcmn.shadecount = 3;
  gcmn.shadelevs[0] = -10;
  gcmn.shadelevs[1] = 0;
  gcmn.shadelevs[2] = 10;
  gcmn.shadecols[0] = 4;
  gcmn.shadecols[1] = 5;
  gcmn.shadecols[2] = 6;
  EXPECT_EQ(gxc_run("q shades").out, "Number of levels = 3\n4 < 0\n5 0 10\n6 10 >\n");
  EXPECT_EQ(gxc_run("q string").out, "Query String Error: Missing String\n");
  EXPECT_EQ(gxc_run("q xinfo").out, "Batch Mode\n");
  EXPECT_EQ(gxc_run("q ll2xy").out, "QUERY error: Syntax is QUERY LL2XY lon lat\n");
}
