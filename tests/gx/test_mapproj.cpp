// Map projections: fitting boxes onto the page, forward and back
// transforms, failures and wind rotation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gx/mapproj.h"
#include "gxtest.h"

namespace {

mapproj box(float lnmn, float lnmx, float ltmn, float ltmx) {
  mapproj m{};
  m.lnmn = lnmn;
  m.lnmx = lnmx;
  m.ltmn = ltmn;
  m.ltmx = ltmx;
  m.xmn = 0.5f;
  m.xmx = 10.5f;
  m.ymn = 0.75f;
  m.ymx = 7.75f;
  return m;
}

void page(float lon, float lat, float* x, float* y) { gxconv(lon, lat, x, y, 2); }

// Page point back to longitude and latitude through the kernel.
void back(float x, float y, float* lon, float* lat) { gxxy2w(x, y, lon, lat); }

void roundtrip(float lon, float lat, float tol = 0.01f) {
  float x, y, lo, la;
  page(lon, lat, &x, &y);
  back(x, y, &lo, &la);
  EXPECT_NEAR(lo, lon, tol) << "lon " << lon << " lat " << lat;
  EXPECT_NEAR(la, lat, tol) << "lon " << lon << " lat " << lat;
}

std::string captured(int (*fn)(mapproj*), mapproj* m, int* rc) {
  testing::internal::CaptureStdout();
  *rc = fn(m);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(MapProj, LatLonKeepsDegreeAspectAndCentres) {
  gx_batch();
  mapproj m = box(0, 360, -90, 90);
  ASSERT_EQ(gxltln(&m), 0);
  // map aspect 0.6 below the page's 0.7: full width, height 6 centred
  EXPECT_FLOAT_EQ(m.axmn, 0.5f);
  EXPECT_FLOAT_EQ(m.axmx, 10.5f);
  EXPECT_NEAR(m.aymn, 1.25f, 1e-5);
  EXPECT_NEAR(m.aymx, 7.25f, 1e-5);
  float x, y;
  page(180, 0, &x, &y);
  EXPECT_NEAR(x, 5.5f, 1e-5);
  EXPECT_NEAR(y, 4.25f, 1e-5);
  // a tall box keeps the full height instead
  mapproj t = box(0, 10, 0, 60);
  ASSERT_EQ(gxltln(&t), 0);
  EXPECT_FLOAT_EQ(t.aymn, 0.75f);
  EXPECT_FLOAT_EQ(t.aymx, 7.75f);
  EXPECT_NEAR(t.axmx - t.axmn, 10 * (7.0 / 10) / 7.2, 1e-4);
}

TEST(MapProj, ScaledFlipsAndRejectsEmptyBoxes) {
  gx_batch();
  mapproj m = box(0, 10, 0, 5);
  ASSERT_EQ(gxscld(&m, 1, 0), 0);
  float x, y;
  page(0, 0, &x, &y);
  EXPECT_NEAR(x, 10.5f, 1e-5);  // x flipped: low end on the right
  EXPECT_NEAR(y, 0.75f, 1e-5);
  mapproj bad = box(10, 10, 0, 5);
  EXPECT_EQ(gxscld(&bad, 0, 0), 1);
  mapproj bad2 = box(0, 10, 5, 0);
  EXPECT_EQ(gxltln(&bad2), 1);
}

TEST(MapProj, NorthPolarDiscAndInverse) {
  gx_batch();
  mapproj m = box(0, 360, 20, 90);
  ASSERT_EQ(gxnste(&m), 0);
  // square map centred on the page area, the pole in the middle
  EXPECT_NEAR(m.axmx - m.axmn, m.aymx - m.aymn, 1e-4);
  float px, py, x, y;
  page(0, 90, &px, &py);
  EXPECT_NEAR(px, 5.5f, 1e-3);
  EXPECT_NEAR(py, 4.25f, 1e-3);
  // reference longitude 180 points down, longitude 0 up, 90 left
  page(180, 20, &x, &y);
  EXPECT_NEAR(x, px, 1e-3);
  EXPECT_NEAR(y, m.aymn, 1e-3);
  page(0, 20, &x, &y);
  EXPECT_NEAR(y, m.aymx, 1e-3);
  page(90, 20, &x, &y);
  EXPECT_NEAR(x, m.axmn, 1e-3);
  roundtrip(45, 60);
  roundtrip(300, 30);
  roundtrip(180, 85);
  EXPECT_NEAR(gxaarw(180, 50), 0.0f, 1e-6);
  EXPECT_NEAR(gxaarw(270, 50), 90 * 3.14159 / 180, 1e-5);
}

TEST(MapProj, PolarLimits) {
  gx_batch();
  mapproj ok = box(-180, 180, -80, 90);
  EXPECT_EQ(gxnste(&ok), 0);
  mapproj low = box(-180, 180, -80.5f, 90);
  EXPECT_EQ(gxnste(&low), 1);
  mapproj wide = box(-10, 360, 0, 90);
  EXPECT_EQ(gxnste(&wide), 1);
  mapproj s = box(0, 360, -90, 80);
  EXPECT_EQ(gxsste(&s), 0);
  mapproj s2 = box(0, 360, -90, 80.5f);
  EXPECT_EQ(gxsste(&s2), 1);
}

TEST(MapProj, SouthPolarInverseAndRotation) {
  gx_batch();
  mapproj m = box(-180, 180, -90, -20);
  ASSERT_EQ(gxsste(&m), 0);
  roundtrip(-100, -60);
  roundtrip(170, -30);
  // the rotation turns the other way
  EXPECT_NEAR(gxaarw(90, -50), -90 * 3.14159 / 180, 1e-5);
}

// The fitted area and one placed point of polar maps narrower and wider
// than half a turn, on both hemispheres: pins the box each set-up builds.
TEST(MapProj, PolarBoxesOfPartialMaps) {
  struct {
    bool north;
    float lnmn, lnmx, ltmn, ltmx;
    float axmn, axmx, aymn, aymx, x, y;
  } cases[] = {
      {true, -40, 60, 10, 80, 0.5f, 10.5f, 1.205041f, 7.294959f, 4.583639f, 5.215246f},
      {false, 100, 170, -85, -15, 1.289032f, 9.710968f, 0.75f, 7.75f, 4.493211f, 4.444991f},
      {false, 0, 270, -90, -30, 1.398772f, 9.601229f, 0.75f, 7.75f, 3.633066f, 5.005956f},
      {true, -100, 120, 30, 90, 0.5f, 10.5f, 0.895839f, 7.604161f, 4.221588f, 4.571332f},
  };
  for (const auto& c : cases) {
    gx_batch();
    mapproj m = box(c.lnmn, c.lnmx, c.ltmn, c.ltmx);
    ASSERT_EQ(c.north ? gxnste(&m) : gxsste(&m), 0);
    EXPECT_NEAR(m.axmn, c.axmn, 1e-4) << c.lnmn << " " << c.lnmx;
    EXPECT_NEAR(m.axmx, c.axmx, 1e-4) << c.lnmn << " " << c.lnmx;
    EXPECT_NEAR(m.aymn, c.aymn, 1e-4) << c.lnmn << " " << c.lnmx;
    EXPECT_NEAR(m.aymx, c.aymx, 1e-4) << c.lnmn << " " << c.lnmx;
    float x, y;
    page(c.lnmn + (c.lnmx - c.lnmn) * 0.3f, c.ltmn + (c.ltmx - c.ltmn) * 0.6f, &x, &y);
    EXPECT_NEAR(x, c.x, 1e-4) << c.lnmn << " " << c.lnmx;
    EXPECT_NEAR(y, c.y, 1e-4) << c.lnmn << " " << c.lnmx;
  }
}

TEST(MapProj, FailedSetupLeavesScaling) {
  gx_batch();
  mapproj m = box(0, 360, -90, 90);
  ASSERT_EQ(gxltln(&m), 0);
  float x0, y0;
  page(100, 10, &x0, &y0);
  mapproj bad = box(0, 360, -90, 90);  // latitude below -80
  bad.axmn = 123;
  EXPECT_EQ(gxnste(&bad), 1);
  EXPECT_EQ(bad.axmn, 123);
  float x, y;
  page(100, 10, &x, &y);
  EXPECT_EQ(x, x0);
  EXPECT_EQ(y, y0);
}

TEST(MapProj, RobinsonTableAndInverse) {
  gx_batch();
  float x, y;
  gxrobp(100, 90, &x, &y);
  EXPECT_NEAR(y, 1.349f, 1e-6);
  EXPECT_NEAR(x, 100 * 1.399f / 180, 1e-6);
  gxrobp(-100, -90, &x, &y);
  EXPECT_NEAR(y, -1.349f, 1e-6);
  gxrobp(180, 2.5f, &x, &y);  // halfway between 0 and 5 degrees
  EXPECT_NEAR(y, 0.042f, 1e-6);
  EXPECT_NEAR(x, (2.628f + 2.625f) / 2, 1e-5);
  mapproj m = box(-180, 180, -90, 90);
  ASSERT_EQ(gxrobi(&m), 0);
  roundtrip(-120, 47);
  roundtrip(10, -33);
  roundtrip(0, 0);
  // beyond the outline: no longitude or latitude
  float lo, la;
  gxrobb(2.7f, 0, &lo, &la);
  EXPECT_FLOAT_EQ(lo, -999.9f);
  EXPECT_FLOAT_EQ(la, -999.9f);
  gxrobb(0, 1.5f, &lo, &la);
  EXPECT_FLOAT_EQ(la, -999.9f);
  EXPECT_EQ(gxaarw(30, 30), 0.0f);
  mapproj bad = box(-190, 180, -90, 90);
  EXPECT_EQ(gxrobi(&bad), 1);
}

TEST(MapProj, MollweideShiftsWesternEdgeAndInverts) {
  gx_batch();
  mapproj m = box(0, 360, -90, 90);
  ASSERT_EQ(gxmoll(&m), 0);
  float x, y;
  gxmollp(0, 0, &x, &y);
  EXPECT_NEAR(x, -1.0f, 1e-6);
  gxmollp(360, 0, &x, &y);
  EXPECT_NEAR(x, 1.0f, 1e-6);
  gxmollp(0, 90, &x, &y);
  EXPECT_NEAR(y, 0.5f, 1e-6);
  roundtrip(200, 40);
  roundtrip(20, -70);
  float lo, la;
  gxmollb(0, 0.6f, &lo, &la);
  EXPECT_FLOAT_EQ(lo, -999.9f);
}

TEST(MapProj, OrthographicMessagesAndInverse) {
  gx_batch();
  int rc;
  mapproj shortspan = box(0, 179, -90, 90);
  EXPECT_EQ(captured(gxortg, &shortspan, &rc), "Map Projection Error:  179.0 - 0.0  < 180.0\n");
  EXPECT_EQ(rc, 1);
  mapproj longspan = box(0, 200, -90, 90);
  EXPECT_EQ(captured(gxortg, &longspan, &rc), "Map Projection Error:  200.0 - 0.0  > 180.0\n");
  mapproj lat = box(-90, 90, -80, 90);
  EXPECT_EQ(captured(gxortg, &lat, &rc), "Map Projection Error:  Latitude must be in range -90 90\n");
  EXPECT_EQ(rc, 1);
  mapproj m = box(0, 180, -90, 90);
  EXPECT_EQ(captured(gxortg, &m, &rc), "");
  ASSERT_EQ(rc, 0);
  // centred on longitude 90
  float x, y;
  gxortgp(90, 0, &x, &y);
  EXPECT_NEAR(x, 0, 1e-6);
  roundtrip(30, 20);
  roundtrip(150, -60);
  float lo, la;
  gxortgb(0.9f, 0.9f, &lo, &la);  // outside the disc
  EXPECT_FLOAT_EQ(lo, -999.9f);
}

TEST(MapProj, LambertHemispheresAndInverse) {
  gx_batch();
  int rc;
  mapproj across = box(-120, -60, -10, 30);
  EXPECT_EQ(captured(gxlamc, &across, &rc),
            "Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");
  EXPECT_EQ(rc, 1);
  mapproj flat = box(-120, -60, 45, 45);
  EXPECT_EQ(captured(gxlamc, &flat, &rc), "");
  EXPECT_EQ(rc, 1);
  mapproj m = box(-130, -60, 20, 60);
  ASSERT_EQ(gxlamc(&m), 0);
  // the plot area handed back is the whole page area
  EXPECT_EQ(m.axmn, 0.5f);
  EXPECT_EQ(m.aymx, 7.75f);
  roundtrip(-100, 40);
  roundtrip(-70, 25);
  EXPECT_EQ(gxaarw(-100, 40), 0.0f);
  // the central meridian points straight up on a northern map
  float x1, y1, x2, y2;
  page(-95, 30, &x1, &y1);
  page(-95, 50, &x2, &y2);
  EXPECT_NEAR(x1, x2, 1e-4);
  EXPECT_GT(y2, y1);
  // a whole turn: both sides of the date line convert back, the gap of
  // the unrolled cone above the pole has no longitude or latitude
  mapproj turn = box(-180, 180, 20, 80);
  ASSERT_EQ(gxlamc(&turn), 0);
  roundtrip(179, 30);
  roundtrip(-179, 30);
  roundtrip(0, 75);
  float px, py, lo, la;
  page(0, 80, &px, &py);
  back(px, 7.5f, &lo, &la);
  EXPECT_EQ(lo, -999.9f);
  EXPECT_EQ(la, -999.9f);
  mapproj upto = box(-130, -60, 0, 90);
  ASSERT_EQ(gxlamc(&upto), 0);
  float x, y;
  gxlamcp(-95, 89.99f, &x, &y);
  EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
  mapproj south = box(100, 160, -60, -10);
  ASSERT_EQ(gxlamc(&south), 0);
  roundtrip(130, -35);
}
