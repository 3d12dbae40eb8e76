// A drawing program linked with the graphics library: primitives and text
// drawn in batch mode into a PNG read back pixel by pixel, and the display
// interface that a window driver receives.
#include <gd.h>

#include "gxtest.h"
#include "gx/gxdrv.h"

namespace {

// Records what the kernel asks of a display.
struct recording_driver : gxdriver {
  std::vector<std::string> calls;
  bool interactive() const override { return true; }
  void begin(float x, float y) override { calls.push_back("begin"); }
  void end() override { calls.push_back("end"); }
  void frame(int a) override { calls.push_back("frame " + std::to_string(a)); }
  void colour(int c) override { calls.push_back("colour " + std::to_string(c)); }
  int defcolour(int n, int r, int g, int b) override {
    calls.push_back("define " + std::to_string(n));
    return 0;
  }
  void width(int t) override { calls.push_back("width " + std::to_string(t)); }
  void move(float x, float y) override { calls.push_back("move " + fmt(x, y)); }
  void draw(float x, float y) override { calls.push_back("draw " + fmt(x, y)); }
  void rect(float a, float b, float c, float d) override { calls.push_back("rect"); }
  void fill(const float* xy, int n) override { calls.push_back("fill " + std::to_string(n)); }
  void dblbuf() override { calls.push_back("dbl"); }
  void sglbuf() override { calls.push_back("sgl"); }
  void swap() override { calls.push_back("swap"); }
  static std::string fmt(float x, float y) {
    char b[64];
    snprintf(b, sizeof b, "%.3f %.3f", x, y);
    return b;
  }
};

int rgb(gdImagePtr im, int x, int y) {
  int c = gdImageGetPixel(im, x, y);
  return (gdImageRed(im, c) << 16) | (gdImageGreen(im, c) << 8) | gdImageBlue(im, c);
}

}  // namespace

TEST(DrawingProgram, PrimitivesAndTextIntoAPng) {
  gx_tmpdir d;
  // A font whose every glyph is a box outline, so text leaves known pixels.
  std::string font;
  for (int c = 32; c < 127; c++) font += c == ' ' ? "  1JZ\n" : "  6KYMMMWWWWMMM\n";
  gx_write(d.file("font0.dat"), font);
  const char* o = getenv("OMDDIR");
  std::string saved = o ? o : "";
  setenv("OMDDIR", d.path.c_str(), 1);
  gx_batch();

  gxcolr(4);
  gxwide(3);
  gxstyl(1);
  gxplot(1, 1, 3);
  gxplot(10, 1, 2);              // a blue line along y = 1
  gxcolr(2);
  gxmark(5, 5.5f, 4.25f, 0.5f);  // a red filled square at the centre
  gxcolr(3);
  gxchpl("HI", 2, 2, 6, 1.1f, 1.05f, 0);  // green boxes of text
  gxcolr(1);
  gxclip(0, 11, 0, 8.5f);
  gxmove(0, 8);
  gxdraw(11, 8);

  std::string f = d.file("page.png");
  testing::internal::CaptureStdout();
  ASSERT_EQ(gxhpng(f.c_str(), 1100, 850, 1, 0), 0);
  testing::internal::GetCapturedStdout();
  if (o) setenv("OMDDIR", saved.c_str(), 1);
  else unsetenv("OMDDIR");
  gxchii();

  FILE* fp = fopen(f.c_str(), "rb");
  ASSERT_TRUE(fp);
  gdImagePtr im = gdImageCreateFromPng(fp);
  fclose(fp);
  ASSERT_TRUE(im);
  EXPECT_EQ(rgb(im, 500, 750), 0x1F3DFA);   // the line
  EXPECT_EQ(rgb(im, 500, 740), 0xFFFFFF);
  EXPECT_EQ(rgb(im, 550, 425), 0xF00000);   // the marker's centre
  EXPECT_EQ(rgb(im, 530, 425), 0xF00000);
  EXPECT_EQ(rgb(im, 520, 425), 0xFFFFFF);   // outside its 0.5-inch side
  EXPECT_EQ(rgb(im, 550, 50), 0);           // the black line at y = 8
  // Text: the glyph box is 0.7 of the advance wide; "H" starts at x = 2.
  // Cell width 1.05: sx = 0.05 in/unit, advance 14 units * 1.05 = 0.735 in.
  // Box corners at +-5 units: x 2.3675 +- 0.25, y 6 + 0.462 +- 0.25.
  int left = (int)((2 + 0.3675 - 0.25) * 100), top = 850 - (int)((6 + 0.462 + 0.25) * 100);
  EXPECT_EQ(rgb(im, left, 850 - 646), 0x00DC00);
  EXPECT_EQ(rgb(im, left + 20, top), 0x00DC00);
  EXPECT_EQ(rgb(im, left + 20, top + 20), 0xFFFFFF);  // inside the box: empty
  // The second character's box, one advance to the right.
  EXPECT_EQ(rgb(im, left + 73 + 20, top), 0x00DC00);
  gdImageDestroy(im);
}

TEST(DrawingProgram, WindowDriverReceivesRealPageDrawing) {
  recording_driver rec;
  gxdsetdrv(&rec);
  testing::internal::CaptureStdout();
  gxstrt(11, 8.5, 0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "GX Package Initialization: Size = 11 8.5 \n");
  gxvpag(11, 8.5, 0, 5.5f, 0, 4.25f);  // half-size virtual page
  gxcolr(3);
  EXPECT_EQ(gxacol(30, 1, 2, 3), 0) << "the display's answer is passed on";
  gxmove(1, 1);
  gxdraw(2, 2);
  float tri[6] = {1, 1, 2, 1, 2, 2};
  gxfill(tri, 3);
  gxfrme(2);
  gxfrme(1);
  gxfrme(9);
  std::vector<std::string> want = {"begin", "colour 1", "width 1", "colour 3", "define 30",
                                   "move 0.500 0.500", "draw 1.000 1.000", "fill 3",
                                   "dbl", "swap", "frame 2", "sgl", "frame 1", "frame 9"};
  EXPECT_EQ(rec.calls, want);
  // A redraw replays the list onto the display.
  rec.calls.clear();
  gxcolr(5);
  gxmove(1, 1);
  gxdraw(2, 2);
  gxhdrw(0);
  std::vector<std::string> replay = {"colour 5", "move 0.500 0.500", "draw 1.000 1.000",
                                     "define 30", "colour 5", "move 0.500 0.500",
                                     "draw 1.000 1.000"};
  EXPECT_EQ(rec.calls, replay);
  testing::internal::CaptureStdout();
  gxend();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(rec.calls.back(), "end");
  gxdsetdrv(nullptr);
  gx_batch();
}
