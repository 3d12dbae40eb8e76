// The common end of plots: frame, logo and time stamp on the first pass
// only, the last-graphic code, and the grid of projected maps.
#include <climits>
#include <string>

#include "frametest.h"
#include "gx/gxint.h"
#include "plot/omplot.h"
#include "plot/plotint.h"

namespace {

size_t draws() {
  size_t n = 0;
  for (const gxhchunk& c : gxhsel(false))
    for (size_t i = 0; i < c.len; i++) n += c.words[i] == -11;
  return n;
}

cmnstate* plain_frame() {
  cmnstate* pcm = frame_state();
  pcm->plotxlo = 1;
  pcm->plotxhi = 10;
  pcm->plotylo = 1;
  pcm->plotyhi = 7;
  pcm->xlab = pcm->ylab = 0;  // no axis labels: only the epilogue's own parts
  return pcm;
}

}  // namespace

TEST(Epilogue, LogoAndStampOnlyOnTheFirstPass) {
  cmnstate* pcm = plain_frame();
  size_t before = draws();
  omepil(pcm, -1, -1, 3);
  size_t first = draws() - before;
  EXPECT_GT(first, 50u);  // "Ombra: VALO/TOSK" and the date
  EXPECT_EQ(pcm->lastgraphic, 3);
  EXPECT_STREQ(omgxnm(pcm->lastgraphic), "Vector");
  pcm->plotpass = 1;
  before = draws();
  omepil(pcm, -1, -1, 6);
  EXPECT_EQ(draws(), before);  // an overlay adds neither
  pcm->plotpass = 0;
  pcm->logo = 0;
  before = draws();
  omepil(pcm, -1, -1, 6);
  size_t stamp = draws() - before;
  EXPECT_GT(stamp, 0u);
  EXPECT_LT(stamp, first);
  // a looping display (three varying dimensions) gets no stamp
  pcm->vary[0] = pcm->vary[1] = pcm->vary[3] = 1;
  before = draws();
  omepil(pcm, -1, -1, 6);
  EXPECT_EQ(draws(), before);
  EXPECT_STREQ(omgxnm(13), "Line");
  EXPECT_STREQ(omgxnm(18), "");
  EXPECT_STREQ(omgxnm(99), "");
}

TEST(Epilogue, FrameFollowsSettingAndProjection) {
  cmnstate* pcm = plain_frame();
  size_t before = draws();
  omfram(pcm);
  EXPECT_EQ(draws() - before, 4u);
  pcm->frame = 0;
  before = draws();
  omfram(pcm);
  EXPECT_EQ(draws(), before);
  pcm->frame = 2;
  pcm->mproj = 3;
  omfram(pcm);
  EXPECT_EQ(draws(), before);  // circle on a polar map: drawn by the map grid
  pcm->frame = 1;
  pcm->mproj = 5;
  omfram(pcm);
  EXPECT_EQ(draws(), before);  // curved outlines have no box
  pcm->mproj = 4;
  omfram(pcm);
  EXPECT_EQ(draws() - before, 4u);
}

TEST(MapGrid, PolarMapGetsMeridiansAndParallels) {
  cmnstate* pcm = frame_state();
  pcm->mproj = 3;
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = 20;
  pcm->whi[1] = 90;
  ASSERT_EQ(ommscl(pcm), 0);
  size_t before = draws();
  omaxpl(pcm, 0, 1);
  EXPECT_GT(draws() - before, 100u);
  pcm->grid = 0;
  before = draws();
  omaxpl(pcm, 0, 1);
  EXPECT_EQ(draws(), before);
}

TEST(MapGrid, LabelAndPolarFrameThicknessSaturatesAtTheSmallestInt) {
  // set annot c -2147483648: the thinner pen of the labels and of the polar
  // frame stays the smallest int instead of wrapping round to a huge one.
  cmnstate* pcm = frame_state();
  int thick = pcm->annotthick, frame = pcm->frame;
  pcm->annotthick = INT_MIN;
  pcm->mproj = 5;
  pcm->wlo[0] = -180;
  pcm->whi[0] = 180;
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  ASSERT_EQ(ommscl(pcm), 0);
  ommpax(pcm);
  EXPECT_EQ(gxqwid(), INT_MIN);
  pcm->mproj = 3;
  pcm->frame = 2;
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = 20;
  ASSERT_EQ(ommscl(pcm), 0);
  gxwide(1);
  ommpax(pcm);
  EXPECT_EQ(gxqwid(), INT_MIN);
  pcm->annotthick = thick;
  pcm->frame = frame;
}

TEST(MapGrid, RobinsonWholeGlobeIsOutlinedAndLabelled) {
  cmnstate* pcm = frame_state();
  pcm->mproj = 5;
  pcm->wlo[0] = -180;
  pcm->whi[0] = 180;
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  ASSERT_EQ(ommscl(pcm), 0);
  size_t before = draws();
  omaxpl(pcm, 0, 1);
  size_t whole = draws() - before;
  pcm->wlo[0] = -170;  // not the whole globe: no labels
  ASSERT_EQ(ommscl(pcm), 0);
  before = draws();
  omaxpl(pcm, 0, 1);
  EXPECT_LT(draws() - before, whole);
}

namespace {

// The polylines recorded since the frame began, each a list of page points
// in thousandths of an inch.
std::vector<std::vector<std::pair<int, int>>> polylines() {
  std::vector<int> r;
  for (const gxhchunk& c : gxhsel(false)) r.insert(r.end(), c.words, c.words + c.len);
  std::vector<std::vector<std::pair<int, int>>> out;
  for (size_t i = 0; i < r.size();) {
    int c = r[i];
    if (c == -10 || c == -11) {
      if (c == -10 || out.empty()) out.emplace_back();
      out.back().emplace_back(r[i + 1], r[i + 2]);
      i += 3;
    } else if (c == -3 || c == -20 || c == -8 || c == -9) {
      i += c == -8 || c == -9 ? 1 : 2;
    } else if (c == -4) {
      i += 3;
    } else if (c == -12) {
      i += 4;
    } else {
      i += 5;
    }
  }
  return out;
}

}  // namespace

TEST(MapGrid, MeridiansOfMollweideAndOrthographicMapsAreCurves) {
  // Each meridian is walked from the first parallel (-80) to the last (80)
  // in 50 steps, as the parallels are walked along longitude: every point
  // lies on its meridian, 3.2 degrees of latitude after the one before.
  // (The outermost meridians lie on the map's edge, where the way back
  // from the page is not well defined: they are only counted.)
  struct {
    int proj;
    float lnmn, lnmx, every;
    int meridians;
  } maps[] = {{6, -180, 180, 30, 13}, {7, -120, 60, 20, 10}};
  for (const auto& m : maps) {
    cmnstate* pcm = frame_state();
    pcm->mproj = m.proj;
    pcm->gridstyle = 1;
    pcm->frame = 0;
    pcm->wlo[0] = m.lnmn;
    pcm->whi[0] = m.lnmx;
    pcm->wlo[1] = -90;
    pcm->whi[1] = 90;
    ASSERT_EQ(ommscl(pcm), 0);
    size_t skip = polylines().size();
    ommpax(pcm);
    auto lines = polylines();
    ASSERT_GE(lines.size(), skip + m.meridians) << m.proj;
    for (int k = 0; k < m.meridians; k++) {
      const auto& l = lines[skip + k];
      ASSERT_EQ(l.size(), 51u) << m.proj << " meridian " << k;
      if (k == 0 || k == m.meridians - 1) continue;
      float lon0 = m.lnmn + m.every * k;
      for (size_t i = 0; i < l.size(); i++) {
        float lon, lat;
        gxxy2w(l[i].first / 1000.0f, l[i].second / 1000.0f, &lon, &lat);
        EXPECT_NEAR(lon, lon0, 0.5) << m.proj << " meridian " << k << " point " << i;
        EXPECT_NEAR(lat, -80 + 3.2 * i, 0.3) << m.proj << " meridian " << k << " point " << i;
      }
    }
  }
}

TEST(MapGrid, IntervalsGivingMoreThanFourHundredLinesAreRefusedWhole) {
  cmnstate* pcm = frame_state();
  pcm->mproj = 3;
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->wlo[1] = 20;
  pcm->whi[1] = 90;
  ASSERT_EQ(ommscl(pcm), 0);
  pcm->xlint = 0.5f;  // 721 meridians
  size_t before = draws();
  std::string o = frame_capture([&] { ommpax(pcm); });
  EXPECT_EQ(o, "Map grid not drawn: intervals of 0.5 and 10 degrees give more than 400 lines\n");
  EXPECT_EQ(draws(), before);
  pcm->xlint = 1;  // 361 meridians and 7 parallels of 101 points
  pcm->gridstyle = 1;
  before = draws();
  o = frame_capture([&] { ommpax(pcm); });
  EXPECT_EQ(o, "");
  EXPECT_EQ(draws() - before, 361u + 7 * 100);
  pcm->xlint = 0;
  pcm->ylint = 0.125f;  // 561 parallels, 20 to 90
  before = draws();
  o = frame_capture([&] { ommpax(pcm); });
  EXPECT_EQ(o, "Map grid not drawn: intervals of 30 and 0.125 degrees give more than 400 lines\n");
  EXPECT_EQ(draws(), before);
  pcm->ylint = 0.25f;  // 280 parallels of 101 points and 13 meridians
  before = draws();
  o = frame_capture([&] { ommpax(pcm); });
  EXPECT_EQ(o, "");
  EXPECT_EQ(draws() - before, 13u + 280 * 100);
  pcm->ylint = 0;
  // A Robinson view off the globe is drawn as a latitude-longitude map of
  // its ranges, with the Robinson grid's lines every 45 and 30 degrees
  // walked in steps of 2: ranges of 1e35 degrees would walk 400 lines of
  // 10,001 points each way, and are refused whole, as are walks just past
  // the limit (68 meridians of 471 points and 32 parallels of 1526, 80,860
  // points); 76 meridians of 401 points and 27 parallels of 1701 are drawn.
  struct {
    float lon[2], lat[2];
    const char* says;
    size_t drawn;
  } robinson[] = {
      {{-3.17e35f, 0}, {-3.32e38f, 0}, "Map grid not drawn: its lines would take more than 80800 points\n", 0},
      {{-1800, 1800}, {-400, 400}, "Map grid not drawn: its lines would take more than 80800 points\n", 0},
      {{-1525, 1525}, {-470, 470}, "Map grid not drawn: its lines would take more than 80800 points\n", 0},
      {{-1700, 1700}, {-400, 400}, "", 76 * 400 + 27 * 1700},
  };
  pcm->mproj = 5;
  for (const auto& r : robinson) {
    pcm->wlo[0] = r.lon[0];
    pcm->whi[0] = r.lon[1];
    pcm->wlo[1] = r.lat[0];
    pcm->whi[1] = r.lat[1];
    frame_capture([&] { ASSERT_EQ(ommscl(pcm), 0); });
    before = draws();
    o = frame_capture([&] { ommpax(pcm); });
    EXPECT_EQ(o, r.says) << r.lon[1];
    EXPECT_EQ(draws() - before, r.drawn) << r.lon[1];
  }
}

TEST(MapGrid, RobinsonMeridiansReachTheTopOfDecimalLatitudeRanges) {
  // The steps of 2 degrees are counted from the float span: -33.3 to 77.7
  // spans 112 there (56 steps, the last past the top edge, which closes the
  // frame's corners), though 111.9999962 in double.
  struct {
    float ltmn, ltmx;
    size_t points, parallels;
  } views[] = {{-33.3f, 77.7f, 57, 4}, {-88.6f, -27.6f, 32, 3}, {-88.6f, 20.4f, 56, 4}};
  for (const auto& v : views) {
    cmnstate* pcm = frame_state();
    pcm->mproj = 5;
    pcm->gridstyle = 1;
    pcm->wlo[0] = -180;
    pcm->whi[0] = 180;
    pcm->wlo[1] = v.ltmn;
    pcm->whi[1] = v.ltmx;
    ASSERT_EQ(ommscl(pcm), 0);
    size_t skip = polylines().size();
    ommpax(pcm);
    auto lines = polylines();
    // 9 meridians -180 to 180 by 45, then the parallels every 30 degrees
    // from the bottom up to 10 past the top (one wholly past it is clipped
    // away)
    ASSERT_GE(lines.size(), skip + 9) << v.ltmn;
    for (size_t k = 0; k < 9; k++)
      EXPECT_EQ(lines[skip + k].size(), v.points) << v.ltmn << " " << v.ltmx << " meridian " << k;
    EXPECT_EQ(lines.size(), skip + 9 + v.parallels) << v.ltmn;
  }
}
