// Stroke fonts, with small font files written by the tests.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

#include "base/fifo_end.h"

#include "gxtest.h"

namespace {

// A font of 95 glyphs: the blank is 16 units wide, the backquote 8 (one
// point), 'A' has a pen-up, 'C' claims far more points than it holds, and
// every other glyph is a vertical stroke "wide" units wide.
std::string make_font(int wide, int glyphs = 95) {
  std::string t;
  for (int c = 32; c < 32 + glyphs; c++) {
    char lm = (char)('R' - wide / 2), rm = (char)('R' + wide / 2);
    std::string g;
    if (c == ' ') g = "  1JZ";
    else if (c == '`') g = "  2NVRR";
    else if (c == 'A') g = std::string("  5") + lm + rm + "RMRW RSR";
    else if (c == 'C') g = std::string("999") + lm + rm + "RMRW";
    else g = std::string("  3") + lm + rm + "RMRW";
    t += g + "\n";
  }
  return t;
}

struct font_env {
  gx_tmpdir dir;
  std::string saved;
  bool had;
  font_env() {
    const char* o = getenv("OMDDIR");
    had = o != nullptr;
    if (had) saved = o;
    gx_write(dir.file("font0.dat"), make_font(14));
    gx_write(dir.file("font1.dat"), make_font(20));
    gx_write(dir.file("font2.dat"), make_font(14, 3));
    setenv("OMDDIR", dir.path.c_str(), 1);
    gx_batch();
  }
  ~font_env() {
    if (had) setenv("OMDDIR", saved.c_str(), 1);
    else unsetenv("OMDDIR");
    gxchii();
  }
};

float measure(const char* s, int len, float width) {
  float w = -1;
  EXPECT_EQ(gxchln(s, len, width, &w), 0);
  return w;
}

// Points of the moves (-10) and draws (-11) recorded, in inches.
struct pen {
  int code;
  float x, y;
};
std::vector<pen> pens() {
  std::vector<int> r = gx_records();
  std::vector<pen> out;
  for (size_t i = 0; i + 2 < r.size(); i += 3) out.push_back({r[i], r[i + 1] / 1000.f, r[i + 2] / 1000.f});
  return out;
}

const float kUnit = 0.21f / 21 * 1.05f;  // advance per font unit at width 0.21

}  // namespace

TEST(Fonts, MeasuringWithEscapes) {
  font_env env;
  EXPECT_NEAR(measure("AB", 2, 0.21f), 28 * kUnit, 1e-6);
  EXPECT_NEAR(measure("AB", 5, 0.21f), 28 * kUnit, 1e-6) << "stops at the end of the text";
  EXPECT_NEAR(measure("ABC", 2, 0.21f), 28 * kUnit, 1e-6);
  EXPECT_NEAR(measure("A`1A", 4, 0.21f), 34 * kUnit, 1e-6);
  EXPECT_NEAR(measure("A", 1, 0.21f), 14 * kUnit, 1e-6) << "each call starts in the default font";
  gxchdf(1);
  EXPECT_NEAR(measure("A", 1, 0.21f), 20 * kUnit, 1e-6);
  gxchdf(12);  // ignored
  EXPECT_NEAR(measure("A", 1, 0.21f), 20 * kUnit, 1e-6);
  gxchdf(0);
  EXPECT_NEAR(measure("`a2", 3, 0.21f), 14 * 0.45f * kUnit, 1e-6);
  EXPECT_NEAR(measure("`a2`n2", 6, 0.21f), 14 * 1.45f * kUnit, 1e-6);
  EXPECT_NEAR(measure("A`", 2, 0.21f), 22 * kUnit, 1e-6) << "a final backquote is a character";
  EXPECT_NEAR(measure("A`x", 3, 0.21f), 36 * kUnit, 1e-6) << "not an escape: backquote drawn";
  // Ending with an escape measures one (superscript) blank more than it draws.
  EXPECT_NEAR(measure("AB`a", 4, 0.21f), (28 + 16 * 0.45f) * kUnit, 1e-6);
  // Escapes that use up the length do not read past it.
  char unterminated[3] = {'A', '`', 'b'};
  EXPECT_NEAR(measure(unterminated, 3, 0.21f), (14 + 16 * 0.45f) * kUnit, 1e-6);
  EXPECT_NEAR(measure("\x7f\x01", 2, 0.21f), 32 * kUnit, 1e-6) << "outside 32..126: blanks";
}

TEST(Fonts, DrawingPlacesStrokes) {
  font_env env;
  gxchpl("BB", 2, 1, 1, 0.22f, 0.21f, 0);
  std::vector<pen> p = pens();
  ASSERT_EQ(p.size(), 4u);
  float g = 14 * kUnit;
  // Origin: half an advance right, 0.42 of the height up; stroke +-5 units.
  EXPECT_EQ(p[0].code, -10);
  EXPECT_NEAR(p[0].x, 1 + g / 2, 0.0011);
  EXPECT_NEAR(p[0].y, 1 + 0.42f * 0.22f + 5 * 0.01f, 0.0011);
  EXPECT_EQ(p[1].code, -11);
  EXPECT_NEAR(p[1].y, 1 + 0.42f * 0.22f - 5 * 0.01f, 0.0011);
  EXPECT_NEAR(p[2].x, 1 + g + g / 2, 0.0011);
}

TEST(Fonts, PenUpPairsAndLengthLimit) {
  font_env env;
  gxchpl("AAA", 1, 1, 1, 0.22f, 0.21f, 0);  // one glyph only
  std::vector<pen> p = pens();
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].code, -10);
  EXPECT_EQ(p[1].code, -11);
  EXPECT_EQ(p[2].code, -10);  // after the pen-up pair
  EXPECT_NEAR(p[2].x - p[0].x, 0.01f, 0.0011);
}

TEST(Fonts, SuperscriptIsSmallerAndRaised) {
  font_env env;
  gxchpl("`a2", 3, 1, 1, 0.22f, 0.21f, 0);
  std::vector<pen> p = pens();
  ASSERT_EQ(p.size(), 2u);
  float sy = 0.01f * 0.45f;
  EXPECT_NEAR(p[0].x, 1 + 14 * 0.45f * kUnit / 2, 0.0011);
  EXPECT_NEAR(p[0].y, 1 + 0.42f * 0.22f + 0.35f * 0.22f + 5 * sy, 0.0011);
  gx_batch();
  gxchpl("`b2", 3, 1, 1, 0.22f, 0.21f, 0);
  p = pens();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_NEAR(p[0].y, 1 + 0.42f * 0.22f - 0.42f * 0.22f + 5 * sy, 0.0011);
}

TEST(Fonts, RotatedTextRunsAlongTheAngle) {
  font_env env;
  gxchpl("BB", 2, 5, 1, 0.22f, 0.21f, 90);
  std::vector<pen> p = pens();
  ASSERT_EQ(p.size(), 4u);
  float g = 14 * kUnit;
  // The origin vector (g/2, 0.42h) turned by 90 degrees is (-0.42h, g/2);
  // the stroke runs along x now.
  EXPECT_NEAR(p[0].x, 5 - 0.42f * 0.22f - 5 * 0.01f, 0.0015);
  EXPECT_NEAR(p[0].y, 1 + g / 2, 0.0015);
  EXPECT_NEAR(p[2].y, 1 + g + g / 2, 0.0015);
  EXPECT_NEAR(p[1].x - p[0].x, 0.1f, 0.0015);
}

TEST(Fonts, GlyphDataIsBoundedByTheGlyph) {
  font_env env;
  int count = 0, bytes = 0;
  const char* g = gxchgc('C', 0, &count, &bytes);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(count, 3) << "a count of 999 is cut to the pairs the glyph holds";
  EXPECT_EQ(bytes, 9);
  gxchpl("C", 1, 1, 1, 0.22f, 0.21f, 0);
  EXPECT_EQ(pens().size(), 2u);
}

TEST(Fonts, MissingGlyphsDrawAsBlanks) {
  font_env env;
  gxchpl("`2Z`0B", 6, 1, 1, 0.22f, 0.21f, 0);  // font 2 has 3 glyphs only
  std::vector<pen> p = pens();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_NEAR(p[0].x, 1 + 16 * kUnit + 14 * kUnit / 2, 0.0011);
  EXPECT_NEAR(measure("`2Z", 3, 0.21f), 16 * kUnit, 1e-6);
}

TEST(Fonts, MissingFontFileGivesItsMessage) {
  font_env env;
  testing::internal::CaptureStdout();
  float w = -1;
  EXPECT_EQ(gxchln("A`5B", 4, 0.21f, &w), 1);
  gxchpl("`5B", 3, 1, 1, 0.2f, 0.2f, 0);
  std::string out = testing::internal::GetCapturedStdout();
  std::string msg = "Error opening stroke character data set \n  Data set names = " +
                    env.dir.file("font5.dat") + " ; font5.dat\n";
  EXPECT_EQ(out, msg) << "a font that failed is not tried again for every string";
  EXPECT_NEAR(w, 14 * kUnit, 1e-6) << "the length of the characters before it";
  EXPECT_TRUE(pens().empty());
}

// Font files that are no files: a device of NULs, a FIFO nobody writes and
// a directory are refused at once with their reason, a file larger than a
// font is refused unread, and none is tried again until the next start.
TEST(Fonts, UnsizedOrHugeFontFilesAreRefusedOnce) {
  font_env env;
  ASSERT_EQ(symlink("/dev/zero", env.dir.file("font3.dat").c_str()), 0);
  fifo_end fifo(env.dir.file("font4.dat"));
  ASSERT_TRUE(fifo.ok());
  ASSERT_EQ(mkdir(env.dir.file("font6.dat").c_str(), 0700), 0);
  ASSERT_EQ(truncate(env.dir.file("font0.dat").c_str(), off_t(2) << 20), 0);
  auto names = [&](int n) {
    std::string b = "font" + std::to_string(n) + ".dat";
    return "  Data set names = " + env.dir.file(b.c_str()) + " ; " + b + "\n";
  };
  const std::string head = "Error opening stroke character data set \n";
  testing::internal::CaptureStdout();
  for (int k = 0; k < 3; k++) {
    float w = -1;
    EXPECT_EQ(gxchln("`3A`4A`6A", 9, 0.21f, &w), 1);
    EXPECT_EQ(gxchln("`4A", 3, 0.21f, &w), 1);
    EXPECT_EQ(gxchln("`6A", 3, 0.21f, &w), 1);
    EXPECT_EQ(gxchln("A", 1, 0.21f, &w), 1);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            head + names(3) + "  not a regular file\n" + head + names(4) +
                "  not a regular file\n" + head + names(6) + "  Is a directory\n" + head +
                names(0) + "  larger than such a file can be\n");
  EXPECT_TRUE(pens().empty());
  gxchii();  // a new start tries again
  ASSERT_EQ(truncate(env.dir.file("font0.dat").c_str(), 0), 0);
  gx_write(env.dir.file("font0.dat"), make_font(14));
  EXPECT_NEAR(measure("A", 1, 0.21f), 14 * kUnit, 1e-6);
}

TEST(Fonts, TitleIsCentredWithoutTrailingBlanks) {
  font_env env;
  gxtitl("abc  ", 5, 1, 0.2f, 0.2f, 0);
  std::vector<pen> p = pens();
  ASSERT_EQ(p.size(), 6u);
  float g = 14 * 0.2f / 21 * 1.05f;
  EXPECT_NEAR(p[0].x, 5 - 0.3f + g / 2, 0.0011);
  gx_batch();
  gxtitl("   ", 5, 1, 0.2f, 0.2f, 0);
  EXPECT_TRUE(pens().empty());
  gxtitl("ab", 5, 1, 0.2f, 0.2f, 90);  // centred vertically
  p = pens();
  ASSERT_EQ(p.size(), 4u);
  EXPECT_NEAR(p[0].y, 1 - 0.2f + g / 2, 0.0011);
}

TEST(Fonts, ShippedFontFilesLoad) {
  std::string dir = std::string(OMBRA_SOURCE_DIR) + "/share";
  if (access((dir + "/font0.dat").c_str(), R_OK) != 0) GTEST_SKIP() << "no font files yet";
  const char* o = getenv("OMDDIR");
  std::string saved = o ? o : "";
  setenv("OMDDIR", dir.c_str(), 1);
  gx_batch();
  for (int f = 0; f < 10; f++) {
    if (access((dir + "/font" + std::to_string(f) + ".dat").c_str(), R_OK) != 0) continue;
    std::string s = "`" + std::to_string(f) + "Hello 123";
    float w = 0;
    EXPECT_EQ(gxchln(s.c_str(), (int)s.size(), 0.2f, &w), 0) << f;
    EXPECT_GT(w, 0.5f) << f;
    EXPECT_LT(w, 3.0f) << f;
    gxchpl(s.c_str(), (int)s.size(), 1, 1, 0.2f, 0.2f, 0);
  }
  EXPECT_GT(gx_records().size(), 100u);
  if (o) setenv("OMDDIR", saved.c_str(), 1);
  else unsetenv("OMDDIR");
  gxchii();
}
