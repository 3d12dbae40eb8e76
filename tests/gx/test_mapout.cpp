// Map outline files: 360-degree copies, pen lifts at the view's edge,
// index-block skipping and damaged files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/fifo_end.h"
#include "gx/mapproj.h"
#include "gxtest.h"

namespace {

// Every point the outline drawing converts, in world degrees.
std::vector<std::pair<float, float>> seen;

void recorder(float lon, float lat, float* x, float* y) {
  seen.emplace_back(lon, lat);
  *x = lon;
  *y = lat;
}

struct mapfile {
  std::string bytes;
  void put3(unsigned v) {
    bytes += (char)(v >> 16 & 255);
    bytes += (char)(v >> 8 & 255);
    bytes += (char)(v & 255);
  }
  void put4(unsigned v) {
    bytes += (char)(v >> 24 & 255);
    put3(v & 0xffffff);
  }
  void line(int type, std::vector<std::pair<double, double>> pts) {
    bytes += (char)1;
    bytes += (char)type;
    bytes += (char)pts.size();
    for (auto& p : pts) {
      put3((unsigned)(p.first * 10000 + 0.5));
      put3((unsigned)((p.second + 90) * 10000 + 0.5));
    }
  }
  // An index block; returns the position of its offset word for patching.
  size_t index(int lo, int hi, unsigned next, double mnlon, double mxlon, double mnlat, double mxlat) {
    bytes += (char)2;
    bytes += (char)lo;
    bytes += (char)hi;
    size_t at = bytes.size();
    put4(next);
    put3((unsigned)(mnlon * 10000));
    put3((unsigned)(mxlon * 10000));
    put3((unsigned)((mnlat + 90) * 10000));
    put3((unsigned)((mxlat + 90) * 10000));
    return at;
  }
  void patch(size_t at, unsigned v) {
    for (int i = 0; i < 4; i++) bytes[at + i] = (char)(v >> (24 - 8 * i) & 255);
  }
};

struct mapfixture : ::testing::Test {
  gx_tmpdir dir;
  int col[256], stl[256], thk[256];
  mapopts o{};
  std::string file;
  void SetUp() override {
    gx_batch();
    gxscal(0, 11, 0, 8.5f, -1000, 1000, -1000, 1000);
    gxproj(recorder);
    seen.clear();
    for (int i = 0; i < 256; i++) {
      col[i] = -9;
      stl[i] = 1;
      thk[i] = 3;
    }
    col[0] = -1;
    o.dcol = 1;
    o.dstl = 1;
    o.dthk = 4;
    o.mcol = col;
    o.mstl = stl;
    o.mthk = thk;
    file = dir.file("map");
    o.mpfile = file.c_str();
  }
  void TearDown() override { gxproj(nullptr); }
  void view(float a, float b, float c, float d) {
    o.lnmn = a;
    o.lnmx = b;
    o.ltmn = c;
    o.ltmx = d;
  }
  std::string draw(const mapfile& m) {
    gx_write(file, m.bytes);
    testing::internal::CaptureStdout();
    gxdmap(&o);
    return testing::internal::GetCapturedStdout();
  }
};

}  // namespace

TEST_F(mapfixture, LinesAreMovedIntoTheViewByWholeTurns) {
  mapfile m;
  m.line(0, {{300, 10}, {302, 10}});
  view(-180, 180, -90, 90);
  EXPECT_EQ(draw(m), "");
  ASSERT_FALSE(seen.empty());
  for (auto& p : seen) EXPECT_NEAR(p.first, p.first < -59 ? -60 : -58, 2.01);
  EXPECT_NEAR(seen.back().first, -58, 1e-3);
  // two copies in a view of two turns
  seen.clear();
  view(0, 720, -90, 90);
  draw(m);
  bool first = false, second = false;
  for (auto& p : seen) {
    if (p.first >= 300 && p.first <= 302) first = true;
    if (p.first >= 660 && p.first <= 662) second = true;
  }
  EXPECT_TRUE(first && second);
}

TEST_F(mapfixture, WideViewsDrawEachTurnOnceOrAreRefused) {
  mapfile m;
  m.line(0, {{300, 10}, {302, 10}});
  // 100 turns on the 11-inch clip rectangle (at most 110): each copy once,
  // a move to its start and a draw to its end (the step is 180 degrees)
  view(0, 36000, -90, 90);
  EXPECT_EQ(draw(m), "");
  ASSERT_EQ(seen.size(), 200u);
  for (int j = 0; j < 100; j++) {
    EXPECT_EQ(seen[2 * j].first, 300.0f + 360.0f * j);
    EXPECT_EQ(seen[2 * j + 1].first, 302.0f + 360.0f * j);
  }
  // more turns than the clip rectangle can show: refused, nothing drawn
  seen.clear();
  view(0, 39960, -90, 90);
  EXPECT_EQ(draw(m), "Map outlines not drawn: longitudes 0 to 39960 are more than 110 turns of 360 degrees\n");
  view(-1e20f, 0, -90, 90);
  EXPECT_EQ(draw(m), "Map outlines not drawn: longitudes -1e+20 to 0 are more than 110 turns of 360 degrees\n");
  EXPECT_TRUE(seen.empty());
  // so far out that a turn does not change a longitude: one copy at most
  view(-1e20f, -1e20f, -90, 90);
  EXPECT_EQ(draw(m), "");
  EXPECT_LE(seen.size(), 2u);
}

TEST_F(mapfixture, ViewsFarEastStillFindTheirCopy) {
  mapfile m;
  size_t a = m.index(0, 0, 0, 290, 310, 0, 20);
  (void)a;
  m.line(0, {{300, 10}, {302, 10}});
  view(1000, 1100, -90, 90);  // the copy two turns east
  EXPECT_EQ(draw(m), "");
  ASSERT_FALSE(seen.empty());
  EXPECT_NEAR(seen.front().first, 1020, 1e-3);
  EXPECT_NEAR(seen.back().first, 1022, 1e-3);
}

TEST_F(mapfixture, SegmentsAreWalkedInSteps) {
  mapfile m;
  // the view gives a step of hypot(200, 0.4)/200 = 1.000002 degrees
  m.line(0, {{0, 0}, {1.25, 0}});
  m.line(0, {{10, 0}, {11.3, 0}});
  view(-100, 100, -0.2f, 0.2f);
  draw(m);
  // first line: only its end point after the move to its start;
  // second: one step along, then the end point
  std::vector<float> xs;
  for (auto& p : seen) xs.push_back(p.first);
  ASSERT_EQ(xs.size(), 5u);
  EXPECT_NEAR(xs[0], 0, 1e-4);
  EXPECT_NEAR(xs[1], 1.25, 1e-4);
  EXPECT_NEAR(xs[2], 10, 1e-4);
  EXPECT_NEAR(xs[3], 11, 1e-3);
  EXPECT_NEAR(xs[4], 11.3, 1e-4);
}

TEST_F(mapfixture, PenLiftsWhereTheLineLeavesTheView) {
  mapfile m;
  m.line(0, {{0, 0}, {0, 4}, {0, 0}});
  view(-10, 10, -1, 1.5f);
  draw(m);
  // up the line the piece ends at the first point beyond latitude 1.5;
  // coming back, the second piece starts from the last point outside
  std::vector<int> rec = gx_records();
  int moves = 0;
  for (size_t i = 0; i < rec.size(); i++) {
    if (rec[i] == -10) moves++;
  }
  EXPECT_EQ(moves, 2);
  float top = -1;
  for (auto& p : seen) top = std::max(top, p.second);
  // nothing beyond one step (0.1008 degrees) past the edge is converted
  EXPECT_GT(top, 1.5f);
  EXPECT_LT(top, 1.5f + 0.101f);
}

TEST_F(mapfixture, BadRecordTypeIsReportedWithItsNumber) {
  mapfile m;
  m.line(0, {{0, 0}, {1, 1}});
  m.line(0, {{0, 0}, {1, 1}});
  m.line(0, {{0, 0}, {1, 1}});
  m.bytes += std::string("\x05\x00\x00", 3);
  view(-10, 10, -10, 10);
  EXPECT_EQ(draw(m), "Map file format error: Invalid rec type 5 rec num 4\n");
  EXPECT_FALSE(seen.empty());  // what came before is drawn
}

TEST_F(mapfixture, ShortRecordIsAFormatError) {
  mapfile m;
  m.line(0, {{0, 0}, {1, 1}, {2, 2}});
  m.bytes.resize(m.bytes.size() - 4);
  view(-10, 10, -10, 10);
  EXPECT_EQ(draw(m), "Map file format error: Short record rec num 1\n");
  EXPECT_TRUE(seen.empty());
}

TEST_F(mapfixture, DisabledBlocksAreSkippedByTheirOffsets) {
  mapfile m;
  size_t a = m.index(1, 1, 0, 0, 10, 0, 10);
  m.line(1, {{1, 1}, {2, 2}});
  size_t bpos = m.bytes.size();
  m.patch(a, (unsigned)bpos);
  size_t b = m.index(0, 0, 0, 0, 10, 0, 10);
  m.line(0, {{3, 3}, {4, 4}});
  (void)b;
  view(-10, 10, -10, 10);
  EXPECT_EQ(draw(m), "");
  ASSERT_FALSE(seen.empty());
  for (auto& p : seen) EXPECT_GE(p.first, 3 - 1e-4);  // type 1 skipped
  // a block out of view ends drawing when it has no successor
  seen.clear();
  view(100, 200, -10, 10);
  draw(m);
  EXPECT_TRUE(seen.empty());
}

TEST_F(mapfixture, BackwardIndexOffsetStopsInsteadOfLooping) {
  mapfile m;
  m.line(0, {{1, 1}, {2, 2}});
  size_t a = m.index(1, 1, 0, 0, 10, 0, 10);
  m.patch(a, 0);  // points back at the start of the file
  m.bytes[a + 3] = 1;
  view(-10, 10, -10, 10);
  EXPECT_EQ(draw(m), "Map file format error: Invalid index offset rec num 2\n");
}

TEST_F(mapfixture, MissingFileNamesTheDataDirectoryPath) {
  o.mpfile = "/nonexistent/map";
  testing::internal::CaptureStdout();
  gxdmap(&o);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Open Error on Map Data Set: /nonexistent/map\n");
  o.mpfile = "nosuchmap";
  testing::internal::CaptureStdout();
  gxdmap(&o);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Open Error on Map Data Set: ", 0), 0u);
  EXPECT_NE(out.find("/nosuchmap\n"), std::string::npos);
}

// Map files without a size (a device of NULs, a FIFO nobody writes, a
// directory) are refused at once, with the name and the reason, and the
// plot goes on; so is a relative name whose data-directory file is one, and
// a file larger than its offsets can reach is refused unread.
TEST_F(mapfixture, UnsizedMapFilesAreRefused) {
  gx_tmpdir dir;
  fifo_end fifo(dir.file("fifo.map"));
  ASSERT_TRUE(fifo.ok());
  ASSERT_EQ(symlink("/dev/zero", dir.file("zero.map").c_str()), 0);
  std::string huge = dir.file("huge.map");  // beyond 4-byte offsets, sparse
  gx_write(huge, "");
  ASSERT_EQ(truncate(huge.c_str(), off_t(5) << 30), 0);
  const char* keep = getenv("OMDDIR");
  std::string saved = keep ? keep : "";
  setenv("OMDDIR", dir.path.c_str(), 1);
  std::string out;
  for (std::string name : {std::string("/dev/zero"), std::string(fifo.path()), dir.path,
                           std::string("zero.map"), huge}) {
    o.mpfile = name.c_str();
    testing::internal::CaptureStdout();
    gxdmap(&o);
    out += testing::internal::GetCapturedStdout();
  }
  if (keep) setenv("OMDDIR", saved.c_str(), 1);
  else unsetenv("OMDDIR");
  EXPECT_EQ(out, "Open Error on Map Data Set: /dev/zero\n  not a regular file\n"
                 "Open Error on Map Data Set: " + std::string(fifo.path()) + "\n  not a regular file\n"
                 "Open Error on Map Data Set: " + dir.path + "\n  Is a directory\n"
                 "Open Error on Map Data Set: " + dir.file("zero.map") + "\n  not a regular file\n"
                 "Open Error on Map Data Set: " + huge + "\n  larger than such a file can be\n");
}

TEST_F(mapfixture, ShippedOutlinesDrawInEveryProjection) {
  std::string lowres = std::string(OMBRA_SOURCE_DIR) + "/share/lowres";
  o.mpfile = lowres.c_str();
  gxproj(nullptr);
  mapproj mp{0, 360, 20, 90, 0.5f, 10.5f, 0.75f, 7.75f, 0, 0, 0, 0};
  ASSERT_EQ(gxnste(&mp), 0);
  view(0, 360, 20, 90);
  testing::internal::CaptureStdout();
  gxdmap(&o);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  std::vector<int> rec = gx_records();
  size_t draws = 0;
  for (int w : rec) draws += w == -11;
  EXPECT_GT(draws, 1000u);
}
