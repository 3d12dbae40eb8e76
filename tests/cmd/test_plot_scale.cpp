// Scaling of 1-D and 2-D results and the map set-up, checked through the
// page positions they produce and the coordinate queries that read the
// last plot's record.
#include <cmath>
#include <cstring>

#include "cmd/qgfx.h"
#include "data/stnlist.h"
#include "gx/gxint.h"
#include "gx/mapproj.h"
#include "plot/frametest.h"
#include "plot/omplot.h"
#include "plot/plotint.h"

namespace {

std::string query(cmnstate* pcm, const char* line, int* rc = nullptr) {
  int r = -5;
  std::string out = frame_capture([&] {
    std::string com = line;
    const char* p = com.c_str() + 2;  // after "q "
    ASSERT_EQ(omqgfx(p, com.c_str(), com.c_str(), pcm, &r), 1);
  });
  if (rc) *rc = r;
  return out;
}

}  // namespace

TEST(Scale1D, ConstantSeriesGetsTenUnitAxis) {
  cmnstate* pcm = frame_state();
  oms1d(pcm, 3, 3, 0, 0, nullptr, nullptr);
  EXPECT_FLOAT_EQ(pcm->vrange[0], -2);
  EXPECT_FLOAT_EQ(pcm->vrange[1], 8);
  EXPECT_FLOAT_EQ(pcm->vrange[2], 2);
  EXPECT_EQ(pcm->vrangeset, 1);  // remembered for the next graph
  EXPECT_EQ(pcm->axisdims[0], 0);
  EXPECT_EQ(pcm->axisdims[1], 4);
  // dimension along x from 2.0 to xsize - 0.5, values up the page
  EXPECT_FLOAT_EQ(pcm->plotxlo, 2.0f);
  EXPECT_FLOAT_EQ(pcm->plotxhi, pcm->vpagew - 0.5f);
  float x, y;
  gxconv(pcm->wlo[0], -2, &x, &y, 2);
  EXPECT_NEAR(x, 2.0f, 1e-4);
  EXPECT_NEAR(y, 0.75f, 1e-4);
}

TEST(Scale1D, OverlaysReuseTheAxisOrMoveTheirLabels) {
  cmnstate* pcm = frame_state();
  oms1d(pcm, 0, 100, 0, 0, nullptr, nullptr);
  float lo = pcm->vrange[0], hi = pcm->vrange[1];
  EXPECT_FLOAT_EQ(lo, -20);
  EXPECT_FLOAT_EQ(hi, 120);
  pcm->plotpass = 1;
  pcm->ylabshift = 0.5f;
  oms1d(pcm, 10, 90, 0, 0, nullptr, nullptr);  // within two intervals
  EXPECT_FLOAT_EQ(pcm->vrange[0], lo);
  EXPECT_FLOAT_EQ(pcm->vrange[1], hi);
  EXPECT_FLOAT_EQ(pcm->ylpos, 0);  // same scale: labels stay
  pcm->ylabshift = 0.5f;
  oms1d(pcm, 1000, 5000, 0, 0, nullptr, nullptr);  // far outside
  EXPECT_GT(pcm->vrange[1], 5000);
  EXPECT_FLOAT_EQ(pcm->ylpos, -0.6f);  // left of the previous labels
  EXPECT_EQ(pcm->ylabshift, 0);
}

TEST(Scale1D, FixedLimitsWinUnlessBothZero) {
  cmnstate* pcm = frame_state();
  pcm->vrangeset = -1;
  pcm->vrange[0] = 0;
  pcm->vrange[1] = 0;
  oms1d(pcm, 0, 100, 0, 0, nullptr, nullptr);
  EXPECT_FLOAT_EQ(pcm->vrange[0], -20);
  pcm->vrange[0] = 5;
  pcm->vrange[1] = 6;
  pcm->vrange[2] = 0.5f;
  oms1d(pcm, 0, 100, 0, 0, nullptr, nullptr);
  EXPECT_FLOAT_EQ(pcm->vrange[0], 5);
  EXPECT_FLOAT_EQ(pcm->vrange[1], 6);
}

TEST(Scale1D, LogLevelsNeedPositiveEnds) {
  cmnstate* pcm = frame_state();
  pcm->zlog = 1;
  pcm->wlo[2] = 0;
  pcm->whi[2] = 1000;
  std::string out = frame_capture([&] { oms1d(pcm, 0, 10, 2, 1, nullptr, nullptr); });
  EXPECT_EQ(out, "Cannot use log scaling when coordinates <= 0\nLinear scaling used\n");
  pcm->wlo[2] = 1000;
  pcm->whi[2] = 10;
  out = frame_capture([&] { oms1d(pcm, 0, 10, 2, 1, nullptr, nullptr); });
  EXPECT_EQ(out, "");
  // the back hook undoes the log exactly
  float x, y, wx, wy;
  gxconv(5, 300, &x, &y, 2);
  gxxy2w(x, y, &wx, &wy);
  EXPECT_NEAR(wy, 300, 1e-3);
  float lx, ly;
  gxconv(5, 100, &lx, &ly, 2);
  float hx, hy;
  gxconv(5, 1000, &hx, &hy, 2);
  float mx, my;
  gxconv(5, std::sqrt(1000.0f * 100.0f), &mx, &my, 2);
  EXPECT_NEAR(my, (ly + hy) / 2, 1e-3);  // geometric middle is the page middle
}

TEST(Scale2D, LatLevelGridOnThePlotArea) {
  cmnstate* pcm = frame_state();
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  pcm->wlo[2] = 1000;
  pcm->whi[2] = 100;
  frame_grid pg(1, 73, frame_linear(-90, 2.5f), 2, 10, frame_linear(1000, -100));
  oms2d(pcm, &pg.g, 0);
  EXPECT_FLOAT_EQ(pcm->plotxlo, 1.5f);
  EXPECT_FLOAT_EQ(pcm->plotxhi, pcm->vpagew - 0.5f);
  EXPECT_FLOAT_EQ(pcm->plotylo, 1.0f);
  float x, y;
  gxconv(1, 1, &x, &y, 3);  // grid (1, 1) is lat -90, level 1000
  EXPECT_NEAR(x, 1.5f, 1e-4);
  EXPECT_NEAR(y, 1.0f, 1e-4);
  gxconv(73, 10, &x, &y, 3);
  EXPECT_NEAR(x, pcm->vpagew - 0.5f, 1e-4);
  EXPECT_NEAR(y, pcm->vpageh - 0.5f, 1e-4);
  EXPECT_EQ(query(pcm, "q gr2w 37 4"), "Lat = 0  Lev = 700\n");
  EXPECT_EQ(query(pcm, "q w2gr 45 500"), "Ydim = 55  Zdim = 6\n");
  int rc;
  EXPECT_EQ(query(pcm, "q w2gr 45", &rc), "Query Error: Syntax is QUERY W2GR Lat Lev\n");
  EXPECT_EQ(rc, 1);
}

TEST(Scale2D, FlippedAxesRunBackwards) {
  cmnstate* pcm = frame_state();
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  pcm->wlo[2] = 1000;
  pcm->whi[2] = 100;
  pcm->xflip = 1;
  frame_grid pg(1, 73, frame_linear(-90, 2.5f), 2, 10, frame_linear(1000, -100));
  oms2d(pcm, &pg.g, 0);
  float x, y;
  gxconv(1, 1, &x, &y, 3);
  EXPECT_NEAR(x, pcm->vpagew - 0.5f, 1e-4);  // latitude -90 on the right
  pcm->xflip = 0;
  pcm->yflip = 1;
  oms2d(pcm, &pg.g, 0);
  gxconv(1, 1, &x, &y, 3);
  EXPECT_NEAR(x, 1.5f, 1e-4);
  EXPECT_NEAR(y, pcm->vpageh - 0.5f, 1e-4);  // level 1000 at the top
}

TEST(Scale1D, StationTimeSeriesFlipped) {
  cmnstate* pcm = frame_state();
  pcm->tbeg = datetime{1990, 1, 1, 0, 0};
  pcm->tend = datetime{1990, 1, 2, 0, 0};
  pcm->xflip = 1;
  stnlist stn{};
  float* tv = frame_taxis(datetime{1990, 1, 1, 0, 0}, 0, 60);
  stn.tvals = tv;
  oms1d(pcm, 0, 10, 3, 0, nullptr, &stn);
  float x1, y1, x2, y2;
  gxconv(1, 0, &x1, &y1, 2);
  gxconv(25, 0, &x2, &y2, 2);
  EXPECT_NEAR(x1, pcm->vpagew - 0.5f, 1e-4);
  EXPECT_NEAR(x2, 2.0f, 1e-4);
  free(tv);
  EXPECT_EQ(pcm->axisdims[0], 3);
  EXPECT_EQ(query(pcm, "q gr2w 13 5"), "Time = 12:00Z01JAN1990  Val = 5\n");
}

TEST(Scale2D, RecordOutlivesTheGrid) {
  cmnstate* pcm = frame_state();
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  pcm->mpdraw = 0;
  {
    frame_grid pg(0, 144, frame_linear(0, 2.5f), 1, 73, frame_linear(-90, 2.5f));
    oms2d(pcm, &pg.g, 0);
    // the grid's arrays are scribbled over and released
    for (int i = 0; i < 6; i++) pg.iv[i] = pg.jv[i] = 12345;
  }
  EXPECT_EQ(query(pcm, "q w2gr 90 0"), "Xdim = 37  Ydim = 37\n");
  EXPECT_EQ(query(pcm, "q gr2w 1 1"), "Lon = 0  Lat = -90\n");
}

TEST(Scale2D, TimeAxisQueriesTakeAndGiveDates) {
  cmnstate* pcm = frame_state();
  pcm->tbeg = datetime{1990, 1, 1, 0, 0};
  pcm->tend = datetime{1990, 1, 3, 0, 0};
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  frame_grid pg(3, 9, frame_taxis(datetime{1990, 1, 1, 0, 0}, 0, 360), 1, 73, frame_linear(-90, 2.5f));
  oms2d(pcm, &pg.g, 0);
  EXPECT_EQ(pcm->axisdims[0], 3);
  std::string out = query(pcm, "q w2xy 12z1jan1990 0");
  float px, py;
  ASSERT_EQ(sscanf(out.c_str(), "X = %g  Y = %g", &px, &py), 2);
  float gx, gy;
  gxconv(3, 0, &gx, &gy, 2);  // grid 3 of 6-hourly steps is 12z
  EXPECT_NEAR(px, gx, 1e-4);
  EXPECT_EQ(query(pcm, "q gr2w 5 37"), "Time = 00:00Z02JAN1990  Lat = 0\n");
  out = query(pcm, "q xy2w 1.5 1");
  EXPECT_EQ(out, "Time = 00:00Z01JAN1990  Lat = -90\n");
}

TEST(Scale, NoScalingBeforeAPlot) {
  cmnstate* pcm = frame_state();
  int rc = -1;
  EXPECT_EQ(query(pcm, "q w2xy 1 2", &rc), "No scaling environment\n");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(query(pcm, "q xy2gr 1", &rc), "Query Error: Syntax is QUERY XY2GR x y\n");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(query(pcm, "q xy2gr 1 1", &rc), "No scaling environment\n");
  EXPECT_EQ(query(pcm, "q gxinfo"),
            "Last Graphic = Clear\nPage Size = 11 by 8.5\nX Limits = 0 to 11\nY Limits = 0 to 8.5\n"
            "Xaxis = None  Yaxis = None\nMproj = 2\n");
  EXPECT_EQ(query(pcm, "q pp2xy 5.5 4.25"), "X = 5.5  Y = 4.25\n");
  EXPECT_EQ(query(pcm, "q pos nowait"), "Position = -999.9 -999.9 -1 -1\n");
  EXPECT_EQ(query(pcm, "q dialog hello", &rc), "QUERY DIALOG error:  no display window in batch mode\n");
  EXPECT_EQ(rc, 1);
}

TEST(MapScale, ProjectionFailureFallsBackToLatLon) {
  cmnstate* pcm = frame_state();
  pcm->mproj = 3;
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  std::string out = frame_capture([&] { EXPECT_EQ(ommscl(pcm), 0); });
  EXPECT_EQ(out, "Map Projection Error:  Invalid coords for NPS\n  Will use linear lat-lon projection\n");
  EXPECT_FLOAT_EQ(pcm->plotxlo, 0.5f);
  EXPECT_NEAR(pcm->plotylo, 1.25f, 1e-5);
  EXPECT_EQ(query(pcm, "q ll2xy 180 0"), "5.5 4.25\n");
}

TEST(MapScale, MpvalsOnlyForTrueProjections) {
  cmnstate* pcm = frame_state();
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  pcm->mpvalsset = 4;
  float mv[4] = {-180, 180, 20, 90};
  std::memcpy(pcm->mpvals, mv, sizeof mv);
  ASSERT_EQ(ommscl(pcm), 0);
  EXPECT_FLOAT_EQ(ommpj()->lnmn, 0);  // latlon ignores mpvals
  pcm->mproj = 3;
  ASSERT_EQ(ommscl(pcm), 0);
  EXPECT_FLOAT_EQ(ommpj()->lnmn, -180);
  EXPECT_FLOAT_EQ(ommpj()->ltmn, 20);
  // the polar back hook answers longitudes and latitudes
  std::string out = query(pcm, "q ll2xy 0 60");
  float x, y;
  ASSERT_EQ(sscanf(out.c_str(), "%g %g", &x, &y), 2);
  float lon, lat;
  gxxy2w(x, y, &lon, &lat);
  EXPECT_NEAR(lon, 0, 0.01);
  EXPECT_NEAR(lat, 60, 0.01);
}

TEST(MapScale, MapOutlinesFollowSwitchesAndPass) {
  cmnstate* pcm = frame_state();
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  ASSERT_EQ(ommscl(pcm), 0);
  auto draws = [] {
    size_t n = 0;
    for (const gxhchunk& c : gxhsel(false))
      for (size_t i = 0; i < c.len; i++) n += c.words[i] == -11;
    return n;
  };
  size_t before = draws();
  pcm->plotpass = 1;
  omwmap(pcm, 1);  // first-pass only: nothing on an overlay
  EXPECT_EQ(draws(), before);
  pcm->mpdraw = 0;
  omwmap(pcm, 0);
  EXPECT_EQ(draws(), before);
  pcm->mpdraw = 1;
  std::string out = frame_capture([&] { omwmap(pcm, 0); });
  EXPECT_EQ(out, "");
  EXPECT_GT(draws(), before + 1000);
}
