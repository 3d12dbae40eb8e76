// The contour, shaded, grid-fill, grid-value, fgrid and streamline plots
// driven through display commands on the bundled sample data set, and the
// interpolation, transpose and box fill pieces on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"
#include "data/gridres.h"
#include "gx/gx.h"
#include "gx/gxint.h"
#include "plot/plotcntr.h"

namespace {

struct Out {
  int rc;
  std::string out;
};

Out run(const std::string& line) {
  testing::internal::CaptureStdout();
  int rc = omcmd(line.c_str(), &gcmn, 0);
  std::fflush(stdout);
  return {rc, testing::internal::GetCapturedStdout()};
}

bool has(const Out& o, const std::string& t) { return o.out.find(t) != std::string::npos; }

std::vector<int> records() {
  std::vector<int> out;
  for (const gxhchunk& c : gxhsel(false))
    for (size_t i = 0; i < c.len; i++) out.push_back(c.words[i]);
  return out;
}

// Colours set (-3 records) and polygon count of the frame.
struct frameinfo {
  std::set<int> colours;
  int fills = 0, draws = 0, rects = 0;
};

frameinfo scan() {
  std::vector<int> r = records();
  frameinfo f;
  for (size_t i = 0; i < r.size();) {
    int c = r[i];
    if (c == -3) { f.colours.insert(r[i + 1]); i += 2; }
    else if (c == -7) {
      f.fills++;
      i += 2;
      while (i < r.size() && r[i] != -8) i += 3;
      i++;
    } else if (c == -10) i += 3;
    else if (c == -11) { f.draws++; i += 3; }
    else if (c == -20) i += 2;
    else if (c == -4) i += 3;
    else if (c == -12) i += 4;
    else { if (c == -6) f.rects++; i += 5; }
  }
  return f;
}

class PlotContour : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    testing::internal::CaptureStdout();
    ominit();
    gxstrt(11, 8.5, 1);
    testing::internal::GetCapturedStdout();
  }
  void SetUp() override {
    ominit();
    gcmn.vpagew = gcmn.pagew = 11;
    gcmn.vpageh = gcmn.pageh = 8.5;
    gcmn.batch = 1;
    gcmn.filehead = gcmn.dfile = nullptr;
    gcmn.filecount = 0;
    gcmn.dfilenum = 0;
    gcmn.defs = deflist();
    for (int d = 0; d < 4; d++) gcmn.vary[d] = 0;
    run("clear");
    std::string ctl = std::string(OMBRA_SOURCE_DIR) + "/share/sample/sample.ctl";
    Out o = run("open " + ctl);
    ASSERT_EQ(o.rc, 0) << o.out;
  }
  void TearDown() override { run("close 1"); }
};

}  // namespace

TEST_F(PlotContour, AutomaticLevelsAreReported) {
  run("set lon 0 360");
  Out o = run("d lon/3.6");
  EXPECT_EQ(o.rc, 0);
  EXPECT_TRUE(has(o, "Contouring: 0 to 100 interval 10 \n")) << o.out;
  frameinfo f = scan();
  EXPECT_GT(f.draws, 100);
  EXPECT_EQ(gcmn.lastgraphic, 1);
}

TEST_F(PlotContour, ExplicitLevelsAndColours) {
  run("set clevs 1000 1010 1020");
  run("set ccols 2 3 4");
  Out o = run("d slp");
  EXPECT_TRUE(has(o, "Contouring at clevs =  1000 1010 1020\n")) << o.out;
  frameinfo f = scan();
  EXPECT_TRUE(f.colours.count(2) && f.colours.count(3) && f.colours.count(4));
  EXPECT_GT(f.rects, 0);  // label boxes
  // clevs and ccols last for one display.
  o = run("d slp");
  EXPECT_TRUE(has(o, "Contouring: 996 to 1023 interval 3 \n")) << o.out;
}

TEST_F(PlotContour, RainbowColoursComeFromRbcols) {
  for (const char* kind : {"contour", "shaded"}) {
    run(std::string("set gxout ") + kind);
    run("set ccolor rainbow");
    run("set rbcols 2 3 4");
    run("clear");
    Out o = run("d slp");
    frameinfo f = scan();
    EXPECT_TRUE(f.colours.count(2) && f.colours.count(3) && f.colours.count(4)) << kind << o.out;
    for (int c : {9, 14, 11, 5, 13, 10, 7, 12, 6}) EXPECT_FALSE(f.colours.count(c)) << kind << " " << c;
  }
}

TEST_F(PlotContour, ConstantFieldIsDrawnAsFgridOnceAndRestoresSettings) {
  run("set stat on");
  run("set fgvals 7 9");
  int fgcount = gcmn.fgcount, kind = gcmn.gxout_2d;
  Out o = run("d lat*0+5");
  EXPECT_TRUE(has(o, "Constant field.  Value = 5\n")) << o.out;
  // The statistics of the display are printed once, not again by the
  // fgrid drawing of the constant field.
  size_t first = o.out.find("Cmin, cmax, cint");
  ASSERT_NE(first, std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("Cmin, cmax, cint", first + 1), std::string::npos) << o.out;
  EXPECT_EQ(gcmn.fgcount, fgcount);
  EXPECT_EQ(gcmn.fgvals[0], 7);
  EXPECT_EQ(gcmn.fgcols[0], 9);
  EXPECT_EQ(gcmn.gxout_2d, kind);
  frameinfo f = scan();
  EXPECT_TRUE(f.colours.count(2));  // the fgrid boxes
  EXPECT_GT(f.fills, 0);
  EXPECT_EQ(gcmn.lastgraphic, 5);
}

TEST_F(PlotContour, NegativeConstantIsFilledWithTheSameRounding) {
  // -0.7 rounds to -1 both when the fgrid value is made and when fgrid
  // compares the grid with it, so the field is filled.
  run("set stat off");
  Out o = run("d lat*0-0.7");
  EXPECT_TRUE(has(o, "Constant field.  Value = -0.7\n")) << o.out;
  frameinfo f = scan();
  EXPECT_TRUE(f.colours.count(2));
  EXPECT_GT(f.fills, 10);
}

TEST_F(PlotContour, ConstantFieldWithTransposeKeepsItsExtraResult) {
  run("set lon 0");
  run("set lev 1000 250");
  run("set t 1 4");
  // A level-time grid is transposed; its copy is an extra result that the
  // display must release with the others.
  gcmn.resptr[1] = nullptr;
  Out o = run("d lev*0+3");
  EXPECT_TRUE(has(o, "Constant field.  Value = 3\n")) << o.out;
  EXPECT_EQ(gcmn.resptr[1], nullptr);
  EXPECT_EQ(gcmn.resptr[2], nullptr);
  EXPECT_EQ(gcmn.relcount, 0);
  run("set lon 0 360");
  run("set lat -90 90");
  run("set lev 1000");
  run("set t 1");
  run("set xyrev on");
  o = run("d lat*0+4");
  EXPECT_TRUE(has(o, "Constant field.  Value = 4\n")) << o.out;
  EXPECT_EQ(gcmn.resptr[1], nullptr);
  EXPECT_EQ(gcmn.resptr[2], nullptr);
}

TEST_F(PlotContour, AllUndefinedFieldIsRefused) {
  Out o = run("d slp/0");
  EXPECT_TRUE(has(o, "Cannot contour grid - all undefined values \n")) << o.out;
  run("set gxout shaded");
  o = run("d slp/0");
  EXPECT_TRUE(has(o, "Cannot contour grid - all undefined values \n")) << o.out;
}

TEST_F(PlotContour, TooManyLevelsWidenTheInterval) {
  run("set cint 0.01");
  Out o = run("d slp");
  EXPECT_TRUE(has(o, "Too many contour levels -- adjusting cint\n")) << o.out;
  EXPECT_TRUE(has(o, "interval 1 \n")) << o.out;
  // Absurd settings give levels or messages, never a hang.
  run("set cint 1e-30");
  o = run("d slp");
  EXPECT_EQ(o.rc, 0);
  run("set cmin 1e30");
  run("set cmax -1e30");
  o = run("d slp");
  EXPECT_EQ(o.rc, 0);
}

TEST_F(PlotContour, FineIntervalOnHugeValuesIsWidenedNotTakenForConstant) {
  // A field of about 1e33 contoured at 1e-35 needs the interval widened by
  // far more than sixty tens before it can be stepped at all.
  run("set cint 1e-35");
  Out o = run("d slp*1e30");
  EXPECT_TRUE(has(o, "Too many contour levels -- adjusting cint\n")) << o.out;
  EXPECT_FALSE(has(o, "Constant field")) << o.out;
  EXPECT_TRUE(has(o, "Contouring: 9.94e+32 to 1.024e+33 interval 1e+30 \n")) << o.out;
  EXPECT_GT(scan().draws, 100);
  // a field of such size is a field, not a grid of undefined values
  run("clear");
  o = run("d slp*1e35");
  EXPECT_FALSE(has(o, "Cannot contour grid")) << o.out;
  EXPECT_TRUE(has(o, "Contouring: 9.96e+37 to 1.023e+38 interval 3e+35 \n")) << o.out;
  run("clear");
  o = run("d slp*0+1e38");
  EXPECT_TRUE(has(o, "Constant field.  Value = 1e+38\n")) << o.out;
}

TEST_F(PlotContour, RainbowOfASingleLevelTakesTheMiddleColour) {
  // A 1..12.9 field with cint 10 has one level (10) and an empty rainbow
  // range: the line takes the middle colour of the sequence.
  run("set ccolor rainbow");
  run("set cint 10");
  Out o = run("d lon/30+1");
  EXPECT_TRUE(has(o, "Contouring: 10 to 10 interval 10 \n")) << o.out;
  frameinfo f = scan();
  EXPECT_TRUE(f.colours.count(3));
}

TEST_F(PlotContour, SmoothingInterpolatesSmallGrids) {
  run("set lon 0 37.5");  // 16 points: factor 4
  run("set lat 0 20");
  run("set csmooth linear");
  Out o = run("d slp");
  EXPECT_TRUE(has(o, "isiz, jsiz = 61 ")) << o.out;
  EXPECT_TRUE(has(o, "Contouring: ")) << o.out;
  run("set csmooth on");
  o = run("d slp");
  EXPECT_TRUE(has(o, "Contouring: ")) << o.out;
  run("set cterp off");
  run("set clab off");
  o = run("d slp");
  EXPECT_EQ(scan().rects, 0);
}

TEST_F(PlotContour, ShadedAndGridFill) {
  run("set gxout shaded");
  Out o = run("d slp");
  EXPECT_TRUE(has(o, "Contouring: 996 to 1023 interval 3 \n")) << o.out;
  frameinfo f = scan();
  EXPECT_GT(f.fills, 100);
  EXPECT_EQ(gcmn.lastgraphic, 2);
  EXPECT_GT(gcmn.shadecount, 3);
  run("set gxout grfill");
  run("set lon 0 50");
  run("set lat 0 20");
  run("clear");
  o = run("d slp");
  f = scan();
  EXPECT_EQ(f.fills, 21 * 9);  // one box per grid point
  EXPECT_EQ(gcmn.lastgraphic, 16);
}

TEST_F(PlotContour, GridValuesFgridAndStreamlines) {
  run("set lon 0 10");
  run("set lat 0 10");
  run("set gxout grid");
  run("clear");
  Out o = run("d lat*0+3.14159");
  EXPECT_EQ(gcmn.lastgraphic, 4) << o.out;
  EXPECT_GT(scan().draws, 25 * 3);  // box lines and the digits
  run("set lon 0 360");
  run("set lat -90 90");
  run("set gxout fgrid");
  run("set fgvals 1 5");
  run("clear");
  o = run("d lat*0+1.2");
  EXPECT_EQ(gcmn.lastgraphic, 5) << o.out;
  frameinfo f = scan();
  EXPECT_TRUE(f.colours.count(5)) << o.out << f.fills;
  EXPECT_EQ(f.fills, 73);  // one run per row
  run("set gxout stream");
  run("clear");
  o = run("d lat*0+1;lat*0");
  EXPECT_EQ(gcmn.lastgraphic, 9) << o.out;
  EXPECT_GT(scan().draws, 100);
  // Coloured by latitude through the shading table: several colours.
  run("clear");
  o = run("d lat*0+1;lat*0;lat");
  EXPECT_GT(scan().colours.size(), 5u) << o.out;
  EXPECT_GT(gcmn.shadecount, 5);
}

TEST(PlotPieces, CubicInterpolationPassesThroughTheGridValues) {
  const int is = 30, js = 40, fi = 3, fj = 2;
  std::vector<float> g((size_t)is * js);
  for (int j = 0; j < js; j++)
    for (int i = 0; i < is; i++) g[(size_t)j * is + i] = std::sin(i * 0.3f) + std::cos(j * 0.2f);
  int ni = (is - 1) * fi + 1, nj = (js - 1) * fj + 1;
  EXPECT_EQ(ni, 88);
  EXPECT_EQ(nj, 79);
  std::vector<float> out((size_t)ni * nj, -1);
  omgexp(g.data(), is, js, out.data(), fi, fj, -9.99e8f);
  for (int j = 0; j < js; j++)
    for (int i = 0; i < is; i++)
      EXPECT_FLOAT_EQ(out[(size_t)j * fj * ni + i * fi], g[(size_t)j * is + i]);
  // Between the points it stays close to the smooth field.
  for (int j = 0; j < nj; j++)
    for (int i = 0; i < ni; i++) {
      float x = (float)i / fi, y = (float)j / fj;
      EXPECT_NEAR(out[(size_t)j * ni + i], std::sin(x * 0.3f) + std::cos(y * 0.2f), 0.01);
    }
}

TEST(PlotPieces, LinearInterpolationAndUndefinedCorners) {
  const float u = -9.99e8f;
  std::vector<float> g = {0, 10, 20, 30, 40, u};  // 3 by 2
  std::vector<float> out((size_t)5 * 3);
  testing::internal::CaptureStdout();
  omglin(g.data(), 3, 2, out.data(), 2, 2, u);
  std::string said = testing::internal::GetCapturedStdout();
  EXPECT_EQ(said, "isiz, jsiz = 5 3 \n");
  EXPECT_FLOAT_EQ(out[0], 0);
  EXPECT_FLOAT_EQ(out[1], 5);
  EXPECT_FLOAT_EQ(out[5 + 1], 20);  // middle of the first cell
  EXPECT_EQ(out[2], u);             // the cell touching the undefined point
  EXPECT_EQ(out[5 + 3], u);
  std::vector<float> c(15);
  omgexp(g.data(), 3, 2, c.data(), 2, 2, u);
  EXPECT_FLOAT_EQ(c[0], 0);
  EXPECT_FLOAT_EQ(c[2], 10);
  EXPECT_FLOAT_EQ(c[10 + 2], 40);
  EXPECT_EQ(c[10 + 3], u);
  EXPECT_EQ(c[5 + 3], u);
  EXPECT_FLOAT_EQ(c[5], 15);  // straight between 0 and 30 with one-sided slopes
}

TEST(PlotPieces, GridFillLeavesUncolouredBandsEmptyAndPutsLevelsBelow) {
  testing::internal::CaptureStdout();
  gxstrt(11, 8.5, 1);
  testing::internal::GetCapturedStdout();
  gxrset(3);
  gxscal(0.5f, 10.5f, 0.5f, 8, 0, 5, 0, 5);
  gxclip(0, 11, 0, 8.5f);
  gxcolr(1);
  std::vector<float> g = {5, 10, 10.5f, -9.99e8f};
  float lv[3] = {-100, 0, 10};
  int cl[3] = {2, -1, 4};
  omgfil(g.data(), 4, 1, lv, cl, 3, -9.99e8f);
  frameinfo f = scan();
  // 5 and 10 lie in the uncoloured band (10 belongs below its level);
  // only 10.5 is filled, in colour 4.
  EXPECT_EQ(f.fills, 1);
  EXPECT_TRUE(f.colours.count(4));
  EXPECT_FALSE(f.colours.count(0));
}

TEST(PlotPieces, TransposeSwapsValuesAndAxesAndIsRegistered) {
  gridres* g = omgnew();
  ASSERT_NE(g, nullptr);
  g->isiz = 3;
  g->jsiz = 2;
  g->idim = 0;
  g->jdim = 1;
  g->undef = -9.99e8f;
  float* v = omgalo(g, 6);
  ASSERT_NE(v, nullptr);
  for (int k = 0; k < 6; k++) v[k] = (float)k;  // (i,j) = i + 3j
  cmnstate& c = gcmn;
  c.rescount = c.relcount = 1;
  c.restype[0] = 1;
  c.resptr[0] = g;
  gridres* t = omflip(g, &c);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->isiz, 2);
  EXPECT_EQ(t->jsiz, 3);
  EXPECT_EQ(t->idim, 1);
  EXPECT_EQ(t->jdim, 0);
  for (int j = 0; j < 2; j++)
    for (int i = 0; i < 3; i++) EXPECT_EQ(t->grid[j + i * 2], v[i + j * 3]);
  EXPECT_EQ(c.rescount, 1);
  EXPECT_EQ(c.relcount, 2);
  EXPECT_EQ(c.resptr[1], t);
  // Full result table: refused with the message, nothing registered.
  c.relcount = 16;
  testing::internal::CaptureStdout();
  EXPECT_EQ(omflip(g, &c), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Memory Allocation Error:  omflip \n"),
            std::string::npos);
  c.relcount = 2;
  omgfre(t);
  omgfre(g);
  c.rescount = c.relcount = 0;
}

// The plot frame is drawn around the plot area after the scaling set-up:
// a move to the lower left corner and draws along the four sides.
TEST_F(PlotContour, ContourAndShadedPlotsDrawTheFrame) {
  for (const char* kind : {"contour", "shaded"}) {
    run("clear");
    run(std::string("set gxout ") + kind);
    Out o = run("d slp");
    ASSERT_EQ(o.rc, 0) << o.out;
    int xlo = (int)std::lround(gcmn.plotxlo * 1000), xhi = (int)std::lround(gcmn.plotxhi * 1000);
    int ylo = (int)std::lround(gcmn.plotylo * 1000), yhi = (int)std::lround(gcmn.plotyhi * 1000);
    std::vector<int> r = records();
    bool found = false;
    for (size_t i = 0; i + 14 < r.size() && !found; i++) {
      found = r[i] == -10 && std::abs(r[i + 1] - xlo) <= 1 && std::abs(r[i + 2] - ylo) <= 1 &&
              r[i + 3] == -11 && std::abs(r[i + 4] - xhi) <= 1 && std::abs(r[i + 5] - ylo) <= 1 &&
              r[i + 6] == -11 && std::abs(r[i + 7] - xhi) <= 1 && std::abs(r[i + 8] - yhi) <= 1 &&
              r[i + 9] == -11 && std::abs(r[i + 10] - xlo) <= 1 && std::abs(r[i + 11] - yhi) <= 1 &&
              r[i + 12] == -11 && std::abs(r[i + 13] - xlo) <= 1 && std::abs(r[i + 14] - ylo) <= 1;
    }
    EXPECT_TRUE(found) << kind;
  }
}
