// The kernel: start, pages, scaling, conversions and clipping.
#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

#include "base/ending.h"
#include "base/outflush.h"
#include "gxtest.h"

namespace {
void shift_hook(float x, float y, float* ox, float* oy) {
  *ox = x + 100;
  *oy = y + 200;
}
void double_hook(float x, float y, float* ox, float* oy) {
  *ox = x * 2;
  *oy = y * 2;
}
}  // namespace

TEST(Kernel, StartAndEndLines) {
  testing::internal::CaptureStdout();
  gxstrt(11, 8.5, 1);
  gxend();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "GX Package Initialization: Size = 11 8.5 \nRunning in Batch mode\n"
            "No hardcopy metafile open\nGX package terminated \n");
  EXPECT_EQ(gxqclr(), 1);
  EXPECT_EQ(gxqbck(), 0);
  testing::internal::CaptureStdout();
  gxstrt(8.5, 11, 0);  // no window driver installed
  gxcolr(2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "GX Package Initialization: Size = 8.5 11 \n"
            "No display window driver is built in: running in batch mode\n");
  EXPECT_EQ(gx_records(), (std::vector<int>{-3, 2}));
}

// An ending by a signal writes what standard output still held before
// its closing lines; a metafile left under its part name (its name taken
// meanwhile by a folder) has the line that says where in place of the
// closed line, as at disable print.
TEST(Kernel, SignalEndingWritesWhatWasPrintedFirst) {
  for (bool kept : {false, true}) {
    gx_tmpdir d;
    std::string out = d.file("out"), err = d.file("err"), meta = d.file("m.gm");
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      if (kept) {
        gx_batch();
        if (gxhbgn(meta.c_str()) != 0 || mkdir(meta.c_str(), 0700) != 0) _exit(9);
      }
      dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      omoutbuffer();
      printf("pending\n");
      gxendreg();
      omend(END_SIGNAL);
      _exit(0);
    }
    waitpid(pid, nullptr, 0);
    std::vector<unsigned char> said = gx_slurp(out), errs = gx_slurp(err);
    EXPECT_EQ(std::string(said.begin(), said.end()),
              kept ? "pending\n\nThe new file stays as " + meta + ".part: m.gm is not a plain file\nGX package terminated \n"
                   : "pending\n\nNo hardcopy metafile open\nGX package terminated \n");
    EXPECT_EQ(std::string(errs.begin(), errs.end()), "");
  }
}

TEST(Kernel, SmallVirtualPageFlagsThinHardcopyLines) {
  gx_batch(10, 5);
  gxvpag(10, 5, 0, 5.9f, 0, 5);
  gxwide(6);
  gxwide(5);
  gxvpag(10, 5, 0, 6, 0, 3);  // exactly 0.6 of the page both ways
  gxwide(6);
  EXPECT_EQ(gx_records(), (std::vector<int>{-4, 3, 6, -4, 3, 5, -4, 6, 6}));
}

TEST(Kernel, VirtualPageMapsOntoItsBox) {
  gx_batch();
  gxvpag(8.5, 11, 1, 5.25f, 0.5f, 6);  // 8.5 x 11 page into a 4.25 x 5.5 box
  float rx, ry, x, y;
  gxvcon(8.5, 11, &rx, &ry);
  EXPECT_FLOAT_EQ(rx, 5.25f);
  EXPECT_FLOAT_EQ(ry, 6.0f);
  gxppvp(rx, ry, &x, &y);
  EXPECT_FLOAT_EQ(x, 8.5f);
  EXPECT_FLOAT_EQ(y, 11.0f);
  // The box is limited to the real page.
  gxvpag(11, 8.5, -2, 20, -1, 30);
  gxvcon(11, 8.5, &rx, &ry);
  EXPECT_FLOAT_EQ(rx, 11);
  EXPECT_FLOAT_EQ(ry, 8.5);
}

TEST(Kernel, ClipIsLimitedToTheVirtualPage) {
  gx_batch();
  gxclip(-1, 20, -3, 4);
  float a, b, c, d;
  gxqclip(&a, &b, &c, &d);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 11);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(d, 4);
  gxvpag(11, 8.5, 0, 11, 0, 8.5);  // resets the clip
  gxqclip(&a, &b, &c, &d);
  EXPECT_EQ(d, 8.5);
}

TEST(Kernel, ConversionLevelsApplyHooksInOrder) {
  gx_batch();
  gxscal(1, 3, 1, 2, 0, 10, 0, 10);  // x: 0.2 per unit + 1; y: 0.1 per unit + 1
  gxgrid(shift_hook);
  gxproj(double_hook);
  float px, py;
  gxconv(5, 5, &px, &py, 0);
  EXPECT_FLOAT_EQ(px, 5);
  gxconv(5, 5, &px, &py, 1);
  EXPECT_FLOAT_EQ(px, 2);
  EXPECT_FLOAT_EQ(py, 1.5);
  gxconv(5, 5, &px, &py, 2);  // projection, no grid hook
  EXPECT_FLOAT_EQ(px, 3);
  gxconv(5, 5, &px, &py, 3);  // grid, then projection, then scaling
  EXPECT_FLOAT_EQ(px, 1 + 0.2f * 210);
  EXPECT_FLOAT_EQ(py, 1 + 0.1f * 410);
  float xy[4] = {5, 5, 0, 0};
  gxcord(xy, 2, 3);
  EXPECT_FLOAT_EQ(xy[0], px);
  EXPECT_FLOAT_EQ(xy[3], 1 + 0.1f * 400);
  gxrset(2);
  gxconv(5, 5, &px, &py, 3);
  EXPECT_FLOAT_EQ(px, 1 + 0.2f * 105);
  gxrset(3);
  gxconv(5, 5, &px, &py, 3);
  EXPECT_FLOAT_EQ(px, 2);
}

TEST(Kernel, PageToWorldAndEmptyScaling) {
  gx_batch();
  gxscal(1, 3, 1, 2, 0, 10, 0, 10);
  float wx, wy;
  gxxy2w(2, 1.5, &wx, &wy);
  EXPECT_FLOAT_EQ(wx, 5);
  EXPECT_FLOAT_EQ(wy, 5);
  gxback(double_hook);
  gxxy2w(2, 1.5, &wx, &wy);
  EXPECT_FLOAT_EQ(wx, 10);
  gxback(nullptr);
  // An empty world range gives no factor, never an infinite one.
  gxscal(1, 3, 1, 2, 4, 4, 0, 10);
  gxxy2w(2, 1.5, &wx, &wy);
  EXPECT_FLOAT_EQ(wx, -999.9f);
  EXPECT_FLOAT_EQ(wy, -999.9f);
  float px, py;
  gxconv(4, 5, &px, &py, 1);
  EXPECT_TRUE(std::isfinite(px));
  gxscal(1, 3, 1, 2, 0, 0, 0, 0);
  gxconv(4, 5, &px, &py, 1);
  EXPECT_TRUE(std::isfinite(px) && std::isfinite(py));
}

TEST(Kernel, EdgeCrossings) {
  gx_batch();
  gxclip(1, 5, 1, 4);
  float x, y;
  bdterp(3, 2, 7, 4, &x, &y);  // leaves through the right edge
  EXPECT_FLOAT_EQ(x, 5);
  EXPECT_FLOAT_EQ(y, 3);
  bdterp(2, 2, 3, 6, &x, &y);  // leaves through the top
  EXPECT_FLOAT_EQ(y, 4);
  EXPECT_FLOAT_EQ(x, 2.5);
  bdterp(3, 2, 0, 2, &x, &y);  // left
  EXPECT_FLOAT_EQ(x, 1);
  EXPECT_FLOAT_EQ(y, 2);
  bdterp(4, 3, 8, 7, &x, &y);  // corner region: the top edge is crossed first
  EXPECT_FLOAT_EQ(y, 4);
  EXPECT_FLOAT_EQ(x, 5);
}
