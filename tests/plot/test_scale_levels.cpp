// The shading table: automatic and explicit levels, colours, merging of
// equal neighbours, cmin/cmax/black and the colour lookup.
#include <vector>

#include "frametest.h"
#include "plot/plotint.h"

namespace {

std::vector<float> levels(const cmnstate* p) { return {p->shadelevs, p->shadelevs + p->shadecount}; }
std::vector<int> colours(const cmnstate* p) { return {p->shadecols, p->shadecols + p->shadecount}; }

}  // namespace

TEST(ShadeLevels, AutomaticRainbowOverTheRange) {
  cmnstate* pcm = frame_state();
  omselc(pcm, 0, 100);
  std::vector<float> want = {-88};
  for (int v = 0; v <= 88; v += 8) want.push_back((float)v);
  EXPECT_EQ(levels(pcm), want);
  EXPECT_EQ(colours(pcm), (std::vector<int>{9, 14, 4, 11, 5, 13, 3, 10, 7, 12, 8, 2, 6}));
  EXPECT_FLOAT_EQ(pcm->rbrange[0], 0);
  EXPECT_FLOAT_EQ(pcm->rbrange[1], 96);
}

TEST(ShadeLevels, GivenIntervalSkipsARainbowEntry) {
  cmnstate* pcm = frame_state();
  pcm->cint = 10;
  omselc(pcm, 0, 100);
  std::vector<float> want = {-110};
  for (int v = 0; v <= 100; v += 10) want.push_back((float)v);
  EXPECT_EQ(levels(pcm), want);
  EXPECT_EQ(colours(pcm), (std::vector<int>{9, 14, 4, 11, 5, 13, 10, 7, 12, 8, 2, 6}));
}

TEST(ShadeLevels, ExplicitLevelsWithAndWithoutColours) {
  cmnstate* pcm = frame_state();
  pcm->clevcount = 3;
  pcm->clevs[0] = 0;
  pcm->clevs[1] = 10;
  pcm->clevs[2] = 20;
  omselc(pcm, 3, 27);
  EXPECT_EQ(levels(pcm), (std::vector<float>{-100, 0, 10, 20}));
  EXPECT_EQ(colours(pcm), (std::vector<int>{14, 5, 7, 2}));
  pcm->ccolcount = 3;
  pcm->ccols[0] = 2;
  pcm->ccols[1] = 3;
  pcm->ccols[2] = 4;
  omselc(pcm, 3, 27);
  EXPECT_EQ(colours(pcm), (std::vector<int>{2, 3, 4, 15}));
  // equal neighbours join: the band of 10 merges into the one below
  pcm->ccols[2] = 3;
  pcm->ccolcount = 4;
  pcm->ccols[3] = 9;
  omselc(pcm, 3, 27);
  EXPECT_EQ(levels(pcm), (std::vector<float>{-100, 0, 20}));
  EXPECT_EQ(colours(pcm), (std::vector<int>{2, 3, 9}));
}

TEST(ShadeLevels, CminCmaxAndBlackLeaveBandsUncoloured) {
  cmnstate* pcm = frame_state();
  pcm->cint = 10;
  pcm->cmin = 20;
  pcm->cmax = 80;
  omselc(pcm, 0, 100);
  std::vector<float> l = levels(pcm);
  std::vector<int> c = colours(pcm);
  ASSERT_GE(c.size(), 3u);
  EXPECT_FLOAT_EQ(l[0], -110);
  EXPECT_EQ(c[0], -1);
  EXPECT_FLOAT_EQ(l[1], 20);
  EXPECT_FLOAT_EQ(l.back(), 80);
  EXPECT_EQ(c.back(), -1);
  for (size_t i = 1; i + 1 < c.size(); i++) EXPECT_GE(c[i], 0);
  pcm->cmin = -9.99e33f;
  pcm->cmax = 9.99e33f;
  pcm->black = 1;
  pcm->blackrange[0] = 40;
  pcm->blackrange[1] = 60;
  omselc(pcm, 0, 100);
  EXPECT_EQ(omshdc(pcm, 45), -1);
  EXPECT_EQ(omshdc(pcm, 55), -1);
  EXPECT_GE(omshdc(pcm, 65), 0);
}

TEST(ShadeLevels, LookupAndEmptyRange) {
  cmnstate* pcm = frame_state();
  pcm->cint = 10;
  omselc(pcm, 0, 100);
  EXPECT_EQ(omshdc(pcm, -5), 9);
  EXPECT_EQ(omshdc(pcm, 0), 14);  // a value on a level belongs above it
  EXPECT_EQ(omshdc(pcm, 9.99f), 14);
  // a value exactly on an inner level takes the colour of the band it opens
  EXPECT_EQ(omshdc(pcm, 10), 4);
  EXPECT_EQ(omshdc(pcm, 19.99f), 4);
  EXPECT_EQ(omshdc(pcm, 20), 11);
  EXPECT_EQ(omshdc(pcm, 1e9f), 6);
  omselc(pcm, 5, 5);
  EXPECT_EQ(pcm->shadecount, 0);
  EXPECT_EQ(omshdc(pcm, 5), 1);
}

TEST(ShadeLevels, TinyIntervalCannotHang) {
  cmnstate* pcm = frame_state();
  pcm->cint = 1e-3f;
  pcm->cmin = 1e5f;  // every band uncoloured: they all merge
  omselc(pcm, 0, 1000);
  EXPECT_GE(pcm->shadecount, 1);
  EXPECT_LE(pcm->shadecount, 120);
}

TEST(ShadeLevels, UserRainbowSequence) {
  cmnstate* pcm = frame_state();
  pcm->rbcolcount = 3;
  pcm->rbcols[0] = 21;
  pcm->rbcols[1] = 22;
  pcm->rbcols[2] = 23;
  omselc(pcm, 0, 100);
  std::vector<int> c = colours(pcm);
  EXPECT_EQ(c.front(), 21);
  EXPECT_EQ(c.back(), 23);
  for (int v : c) EXPECT_TRUE(v >= 21 && v <= 23);
}
