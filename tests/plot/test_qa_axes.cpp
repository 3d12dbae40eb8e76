// Where axis label texts land on the page: y labels stay clear of the
// axis line on their side, x labels are centred under their tick.
#include <algorithm>
#include <cmath>

#include "plot/plotint.h"
#include "test_plot_graph_util.h"

namespace {

// Page extent in x of the segments drawn after `from` that lie in the
// horizontal band ylo..yhi (one label row).
struct span {
  float lo = 1e9f, hi = -1e9f;
};

span xspan(const drawing& d, float ylo, float yhi, float xlo, float xhi) {
  span s;
  for (const pseg& g : d.segs) {
    float y = std::min(g.y1, g.y2), Y = std::max(g.y1, g.y2);
    float x = std::min(g.x1, g.x2), X = std::max(g.x1, g.x2);
    if (y < ylo || Y > yhi || x < xlo || X > xhi) continue;
    s.lo = std::min(s.lo, x);
    s.hi = std::max(s.hi, X);
  }
  return s;
}

}  // namespace

TEST(AxisPlacement, LeftLabelsEndBeforeTheAxisAndShiftTheNextScale) {
  cmnstate* pcm = frame_state();
  oms1d(pcm, 0, 100, 0, 0, nullptr, nullptr);
  float axis = pcm->plotxlo;
  float size = pcm->ylsize;
  size_t from = plot_words().size();
  omaxis(0, pcm, 4);
  drawing d = plot_read(from);
  ASSERT_FALSE(d.segs.empty());
  float rightmost = -1e9f;
  float leftmost = 1e9f;
  for (const pseg& g : d.segs) {
    bool tick = std::fabs(g.y1 - g.y2) < 1e-3f && std::max(g.x1, g.x2) >= axis - 1e-3f;
    bool grid = std::min(g.x1, g.x2) >= axis - 1e-3f;
    if (tick || grid) continue;
    rightmost = std::max(rightmost, std::max(g.x1, g.x2));
    leftmost = std::min(leftmost, std::min(g.x1, g.x2));
  }
  // the texts keep a gap of most of a character height from the axis line
  EXPECT_LT(rightmost, axis - 0.5f * size);
  // and the stored shift covers the widest of them
  EXPECT_GE(pcm->ylabshift, axis - leftmost - 0.01f);
}

TEST(AxisPlacement, BottomLabelsAreCentredOnTheirTick) {
  cmnstate* pcm = frame_state();
  pcm->plotxlo = 1;
  pcm->plotxhi = 10;
  pcm->plotylo = 1;
  pcm->plotyhi = 7.5f;
  pcm->wlo[0] = 0;
  pcm->whi[0] = 360;
  size_t from = plot_words().size();
  omaxis(1, pcm, 0);
  drawing d = plot_read(from);
  // the label 180 sits at the middle of the axis; its row is below the ticks
  float mid = 5.5f;
  span s = xspan(d, 0.3f, 0.95f, mid - 0.5f, mid + 0.5f);
  ASSERT_LT(s.lo, s.hi);
  EXPECT_NEAR((s.lo + s.hi) / 2, mid, 0.02f);
}
