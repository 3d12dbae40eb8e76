// Axis labels: longitude and latitude texts, label positions and
// intervals, user overrides, time steps and user formats.
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "frametest.h"
#include "gx/gxint.h"
#include "plot/plotint.h"

namespace {

std::string lon(float v) {
  char b[40];
  omlnch(v, b);
  return b;
}
std::string lat(float v) {
  char b[40];
  omltch(v, b);
  return b;
}

std::vector<float> xpos(const cmnstate* p, int n) { return {p->xlevs, p->xlevs + n}; }

size_t strokes() {
  size_t n = 0;
  for (const gxhchunk& c : gxhsel(false))
    for (size_t i = 0; i < c.len; i++) n += c.words[i] == -11;
  return n;
}

cmnstate* lonlat_frame() {
  cmnstate* pcm = frame_state();
  pcm->plotxlo = 1;
  pcm->plotxhi = 10;
  pcm->plotylo = 1;
  pcm->plotyhi = 7.5f;
  return pcm;
}

}  // namespace

TEST(AxisText, LongitudeAndLatitude) {
  EXPECT_EQ(lon(0), "0");
  EXPECT_EQ(lon(90), "90E");
  EXPECT_EQ(lon(180), "180");
  EXPECT_EQ(lon(270), "90W");
  EXPECT_EQ(lon(-20), "20W");
  EXPECT_EQ(lon(540), "180");
  EXPECT_EQ(lat(0), "EQ");
  EXPECT_EQ(lat(-30), "30S");
  EXPECT_EQ(lat(45.5f), "45.5N");
}

TEST(AxisText, LongitudesOfAnySizeWrapInOneStep) {
  // damaged coordinates: the float nearest -1e38 is 128 short of a turn
  EXPECT_EQ(lon(-1e38f), "128W");
  EXPECT_EQ(lon(1e20f), "88W");
  EXPECT_EQ(lon(-1e35f), "40W");
  EXPECT_EQ(lon(INFINITY), "nan");
  EXPECT_EQ(lon(NAN), "nan");
}

TEST(AxisLabels, AnIntervalLostInHugeEndsGivesOneLabel) {
  cmnstate* pcm = lonlat_frame();
  pcm->mproj = 2;
  pcm->wlo[0] = -1e38f;
  pcm->whi[0] = 357.5f;
  size_t before = strokes();
  omaxis(1, pcm, 0);
  size_t drawn = strokes() - before;
  // every step of 90 from -1e38 lands on -1e38 again: one label, 128W
  EXPECT_EQ(pcm->xlevs[0], -1e38f);
  pcm->xlevcount = 1;
  before = strokes();
  omaxis(1, pcm, 0);
  pcm->xlevcount = 0;
  EXPECT_EQ(drawn, strokes() - before);
}

TEST(AxisText, UserFormatsTakeOneFloatConversion) {
  char b[32];
  EXPECT_TRUE(omlfmt("%5.1f", 3.14159f, b, sizeof b));
  EXPECT_STREQ(b, "  3.1");
  EXPECT_TRUE(omlfmt("%g%%", 50, b, sizeof b));
  EXPECT_STREQ(b, "50%");
  EXPECT_TRUE(omlfmt("Jan", 1, b, sizeof b));
  EXPECT_STREQ(b, "Jan");
  EXPECT_FALSE(omlfmt("%s", 1, b, sizeof b));
  EXPECT_FALSE(omlfmt("%d", 1, b, sizeof b));
  EXPECT_FALSE(omlfmt("%n", 1, b, sizeof b));
  EXPECT_FALSE(omlfmt("%g and %g", 1, b, sizeof b));
  EXPECT_FALSE(omlfmt("%*g", 1, b, sizeof b));
  // a long result is cut to the buffer
  EXPECT_TRUE(omlfmt("%40.1f", 1, b, sizeof b));
  EXPECT_EQ(strlen(b), sizeof b - 1);
}

TEST(AxisLabels, LongitudeIntervalsSnapToRoundDegrees) {
  cmnstate* pcm = lonlat_frame();
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  omaxis(1, pcm, 0);
  EXPECT_EQ(xpos(pcm, 7), (std::vector<float>{0, 60, 120, 180, 240, 300, 360}));
  pcm->wlo[0] = -20;
  pcm->whi[0] = 20;
  omaxis(1, pcm, 0);
  EXPECT_EQ(xpos(pcm, 9), (std::vector<float>{-20, -15, -10, -5, 0, 5, 10, 15, 20}));
  pcm->wlo[1] = -90;
  pcm->whi[1] = 90;
  omaxis(0, pcm, 1);
  EXPECT_EQ(std::vector<float>(pcm->ylevs, pcm->ylevs + 7),
            (std::vector<float>{-90, -60, -30, 0, 30, 60, 90}));
  EXPECT_GT(pcm->ylabshift, 0);  // stored width of the y labels
}

TEST(AxisLabels, ValueAxisFollowsTheOneDimensionalScale) {
  cmnstate* pcm = frame_state();
  oms1d(pcm, 0, 100, 0, 0, nullptr, nullptr);
  omaxis(0, pcm, 4);
  EXPECT_EQ(std::vector<float>(pcm->ylevs, pcm->ylevs + 8),
            (std::vector<float>{-20, -10, 0, 10, 20, 30, 40, 50}));
  EXPECT_FLOAT_EQ(pcm->ylevs[14], 120);  // a nice interval of its own over -20..120
}

TEST(AxisLabels, NegativeIntervalStartsAtTheLowEnd) {
  cmnstate* pcm = lonlat_frame();
  pcm->wlo[2] = 3;
  pcm->whi[2] = 20;
  pcm->xlint = -5;
  omaxis(1, pcm, 2);
  EXPECT_EQ(xpos(pcm, 4), (std::vector<float>{3, 8, 13, 18}));
}

TEST(AxisLabels, LabelListsAndOverrides) {
  cmnstate* pcm = lonlat_frame();
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->xlabs = {"Jan", "Feb", "Mar"};
  pcm->xlabcount = 3;
  omaxis(1, pcm, 0);
  EXPECT_EQ(xpos(pcm, 3), (std::vector<float>{1, 2, 3}));
  pcm->xlabs.clear();
  pcm->xlabcount = 0;
  pcm->xaxisset = 1;
  pcm->xaxis[0] = 0;
  pcm->xaxis[1] = 1;
  pcm->xaxisinc = 0.25f;
  std::string out = frame_capture([&] { omaxis(1, pcm, 0); });
  EXPECT_EQ(out,
            "Warning:  X axis labels overridden by SET XAXIS.\n"
            "   Labels may not reflect correct scaling for dimensions or data.\n");
  EXPECT_EQ(xpos(pcm, 5), (std::vector<float>{0, 0.25f, 0.5f, 0.75f, 1}));
  // a log level axis ignores the override
  pcm->zlog = 1;
  pcm->wlo[2] = 1000;
  pcm->whi[2] = 100;
  out = frame_capture([&] { omaxis(1, pcm, 2); });
  EXPECT_EQ(out, "");
  pcm->xlab = 0;
  size_t before = strokes();
  omaxis(1, pcm, 0);
  EXPECT_EQ(strokes(), before);  // labels off: nothing
}

TEST(AxisLabels, LabelTextsAreNeverFormatsOfOtherKinds) {
  cmnstate* pcm = lonlat_frame();
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  pcm->xlabs = {"%s%s%s", "%n", "%99999999g"};
  pcm->xlabcount = 3;
  size_t before = strokes();
  omaxis(1, pcm, 0);  // drawn as literal text, nothing read or written
  EXPECT_GT(strokes(), before);
  pcm->xlabs.clear();
  pcm->xlabcount = 0;
  pcm->xlabfmt = "%5.1f%%";
  omaxis(1, pcm, 0);
}

TEST(AxisLabels, EqualEndsAreAnInternalCheck) {
  cmnstate* pcm = lonlat_frame();
  pcm->wlo[1] = 10;
  pcm->whi[1] = 10;
  EXPECT_EQ(frame_capture([&] { omaxis(0, pcm, 1); }), "omaxis internal logic check 24 \n");
}

TEST(TimeSteps, SpanPicksTheStep) {
  cmnstate* pcm = frame_state();
  datetime first, inc;
  pcm->tbeg = datetime{1990, 1, 1, 5, 0};
  pcm->tend = datetime{1990, 1, 4, 5, 0};  // 4320 minutes
  EXPECT_EQ(omtinc(pcm, &first, &inc), 4);
  EXPECT_EQ(inc.hr, 12);
  EXPECT_EQ(first.hr, 12);
  EXPECT_EQ(first.dy, 1);
  pcm->tbeg = datetime{1990, 1, 1, 20, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 4);
  EXPECT_EQ(first.dy, 2);  // 24 rolls into the next day
  EXPECT_EQ(first.hr, 0);
  pcm->tbeg = datetime{1990, 1, 27, 0, 0};
  pcm->tend = datetime{1990, 3, 27, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 3);
  EXPECT_EQ(inc.dy, 5);
  EXPECT_EQ(first.mo, 2);  // day 31 becomes the first of February
  EXPECT_EQ(first.dy, 1);
  pcm->tbeg = datetime{1990, 2, 10, 0, 0};
  pcm->tend = datetime{1991, 2, 1, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 2);
  EXPECT_EQ(first.mo, 3);
}

// The first labelled time carries through every finer field: minutes into
// hours into days into months into years.
TEST(TimeSteps, FirstLabelCarriesThroughEveryFinerField) {
  cmnstate* pcm = frame_state();
  datetime first, inc;
  pcm->tbeg = datetime{1990, 2, 28, 23, 30};
  pcm->tend = datetime{1991, 2, 1, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 2);
  EXPECT_EQ(inc.mo, 1);
  EXPECT_EQ(first.yr, 1990);
  EXPECT_EQ(first.mo, 3);
  EXPECT_EQ(first.dy, 1);
  EXPECT_EQ(first.hr, 0);
  EXPECT_EQ(first.mn, 0);
  pcm->tbeg = datetime{1990, 12, 31, 23, 30};
  pcm->tend = datetime{1999, 1, 1, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 1);
  EXPECT_EQ(first.yr % inc.yr, 0);
  EXPECT_GE(first.yr, 1991);
  EXPECT_EQ(first.mo, 1);
  EXPECT_EQ(first.dy, 1);
  EXPECT_EQ(first.hr, 0);
  EXPECT_EQ(first.mn, 0);
  pcm->tbeg = datetime{1990, 1, 31, 23, 45};
  pcm->tend = datetime{1990, 2, 2, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 4);
  EXPECT_EQ(first.mo, 2);
  EXPECT_EQ(first.dy, 1);
  EXPECT_EQ(first.hr % inc.hr, 0);
  EXPECT_EQ(first.mn, 0);
  pcm->tbeg = datetime{1990, 1, 11, 6, 0};
  pcm->tend = datetime{1990, 3, 11, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 3);
  EXPECT_EQ(inc.dy, 5);
  EXPECT_EQ(first.mo, 1);
  EXPECT_EQ(first.dy, 16);  // 6 hours into the 11th start the 12th's count
  EXPECT_EQ(first.hr, 0);
}

TEST(TimeSteps, YearStepIsNeverZero) {
  cmnstate* pcm = frame_state();
  datetime first, inc;
  pcm->tbeg = datetime{1990, 1, 1, 0, 0};
  pcm->tend = datetime{1995, 6, 1, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 1);
  EXPECT_GE(inc.yr, 1);
  EXPECT_EQ(first.yr % inc.yr, 0);
  pcm->tend = datetime{1993, 1, 1, 0, 0};
  pcm->tbeg = datetime{1988, 1, 1, 0, 0};
  omtinc(pcm, &first, &inc);
  EXPECT_GE(inc.yr, 1);
}

TEST(TimeSteps, YearsOfTheWholeIntRangeApartStepInYears) {
  cmnstate* pcm = frame_state();
  datetime first, inc;
  pcm->tbeg = datetime{INT_MIN, 1, 1, 0, 0};
  pcm->tend = datetime{825819136, 1, 1, 0, 0};
  EXPECT_EQ(omtinc(pcm, &first, &inc), 1);
  EXPECT_EQ(inc.yr, 300000000);
  EXPECT_EQ(first.yr, -1800000000);
}

TEST(TimeLabels, PlottedGridsTimeAxisWithoutADefaultFile) {
  cmnstate* pcm = lonlat_frame();
  pcm->dfile = nullptr;
  pcm->tbeg = datetime{1990, 1, 1, 0, 0};
  pcm->tend = datetime{1990, 1, 3, 0, 0};
  float* tv = frame_taxis(datetime{1990, 1, 1, 0, 0}, 0, 360);
  omplim(pcm, 0, 3, nullptr, nullptr, tv, nullptr);
  free(tv);
  size_t before = strokes();
  omaxis(1, pcm, 3);
  EXPECT_GT(strokes(), before + 20);
  // month labels on a y axis with month suppression leave no text
  pcm->tbeg = datetime{1990, 1, 1, 0, 0};
  pcm->tend = datetime{1991, 1, 1, 0, 0};
  float* mv = frame_taxis(datetime{1990, 1, 1, 0, 0}, 1, 0);
  omplim(pcm, 1, 3, nullptr, nullptr, mv, nullptr);
  free(mv);
  pcm->tlsupp = 2;
  before = strokes();
  omaxis(0, pcm, 3);
  EXPECT_GT(strokes(), before);  // ticks only
}

TEST(AxisLabels, LogLevelAxisPlacesLabelsOnTheLogScale) {
  cmnstate* pcm = frame_state();
  pcm->plotxlo = 1;
  pcm->plotxhi = 10;
  pcm->plotylo = 1;
  pcm->plotyhi = 7.5f;
  pcm->zlog = 1;
  pcm->wlo[2] = 100;
  pcm->whi[2] = 1000;
  oms1d(pcm, 0, 10, 2, 1, nullptr, nullptr);  // levels up the y axis
  pcm->yaxisset = 0;
  gxfrme(1);
  omaxis(0, pcm, 2);
  // the ticks are short horizontal strokes at the labels' heights
  std::vector<float> ticks;
  for (const gxhchunk& c : gxhsel(false)) {
    for (size_t i = 0; i + 5 < c.len; i++) {
      if (c.words[i] == -10 && c.words[i + 3] == -11 && c.words[i + 2] == c.words[i + 5] &&
          std::abs(c.words[i + 1] - c.words[i + 4]) < 300)
        ticks.push_back(c.words[i + 2] / 1000.0f);
    }
  }
  ASSERT_GE(ticks.size(), 3u);
  auto logpos = [&](float v) {
    float y100, y1000, x;
    gxconv(5, 100, &x, &y100, 2);
    gxconv(5, 1000, &x, &y1000, 2);
    return y100 + (y1000 - y100) * (std::log(v) - std::log(100.0f)) / std::log(10.0f);
  };
  auto near = [&](float y) {
    for (float t : ticks)
      if (std::fabs(t - y) < 0.002f) return true;
    return false;
  };
  // 500 sits 0.7 of the way from 100 to 1000 on the log scale, not 0.44
  EXPECT_TRUE(near(logpos(500))) << logpos(500);
  EXPECT_TRUE(near(logpos(200))) << logpos(200);
  EXPECT_FALSE(near(logpos(100) + (logpos(1000) - logpos(100)) * 400 / 900.0f));
}

TEST(TimeLabels, ThirtyYearsAreLabelledEveryFiveYears) {
  cmnstate* pcm = lonlat_frame();
  pcm->tbeg = datetime{1950, 1, 1, 0, 0};
  pcm->tend = datetime{1980, 1, 1, 0, 0};
  datetime first, inc;
  EXPECT_EQ(omtinc(pcm, &first, &inc), 1);
  EXPECT_EQ(inc.yr, 5);
  EXPECT_EQ(inc.mo + inc.dy + inc.hr + inc.mn, 0);
  EXPECT_EQ(first.yr, 1950);
  EXPECT_EQ(first.mo, 1);
  EXPECT_EQ(first.dy, 1);
  // one grid step a year: 1950 at the left end of the 9-inch axis, 1980 at
  // the right, so a tick every 1.5 inches from x = 1 to x = 10
  float* tv = frame_taxis(datetime{1950, 1, 1, 0, 0}, 12, 0);
  omplim(pcm, 0, 3, nullptr, nullptr, tv, nullptr);
  free(tv);
  gxfrme(1);
  omaxis(1, pcm, 3);
  std::vector<int> ticks;
  for (const gxhchunk& c : gxhsel(false)) {
    for (size_t i = 0; i + 5 < c.len; i++) {
      if (c.words[i] == -10 && c.words[i + 3] == -11 && c.words[i + 1] == c.words[i + 4] &&
          c.words[i + 2] == 1000 && c.words[i + 5] < 1000)  // ticks, not grid lines
        ticks.push_back(c.words[i + 1]);
    }
  }
  EXPECT_EQ(ticks, (std::vector<int>{1000, 2500, 4000, 5500, 7000, 8500, 10000}));
}
