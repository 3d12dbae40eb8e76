// The X11 window driver: window size, colours, lines, fills, patterns,
// double buffering, saved images, resizing and window dumps.
#include <sys/resource.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/fsizecap.h"
#include "gxtest.h"
#include "test_x11_util.h"

using x11test::pixel;
using x11test::rgb;

namespace {

uint32_t be32(const std::vector<unsigned char>& b, size_t off) {
  return ((uint32_t)b[off] << 24) | ((uint32_t)b[off + 1] << 16) | ((uint32_t)b[off + 2] << 8) |
         b[off + 3];
}

std::vector<unsigned char> slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace

TEST(X11Start, NoServerEndsTheProcess) {
  EXPECT_EXIT(
      {
        setenv("DISPLAY", ":999", 1);
        gxdsetdrv(gxx11drv());
        gxstrt(11, 8.5, 0);
        exit(0);
      },
      testing::ExitedWithCode(255), "");
}

TEST(X11Start, DefaultSizeIsHalfTheScreenWidth) {
  if (!x11test::start_server()) GTEST_SKIP() << "Xvfb is not available";
  alarm(60);
  x11test::open_window(nullptr);
  x11state& s = x11st();
  EXPECT_EQ(s.width, 640);
  EXPECT_EQ(s.height, 494);
  EXPECT_FLOAT_EQ(s.xscl, 640 / 11.0f);
  x11test::close_window();
  x11test::open_window("800x600+0+0");
  EXPECT_EQ(x11st().width, 800);
  EXPECT_EQ(x11st().height, 600);
  EXPECT_EQ(x11st().gfont, 2);
  int r[6];
  EXPECT_EQ(win_data(r), 1);
  EXPECT_EQ(r[3], 800);
  EXPECT_EQ(r[4], 600);
  x11test::close_window();
  alarm(0);
}

TEST_F(X11Test, ColoursOfLinesAndFills) {
  gxcolr(2);
  gxplot(1, 1, 3);
  gxplot(5, 1, 2);
  EXPECT_EQ(pixel(150, 425 - 50), rgb(250, 60, 60));
  gxcolr(4);
  gxrecf(6, 8, 6, 8);
  EXPECT_EQ(pixel(350, 425 - 350), rgb(30, 60, 255));
  EXPECT_EQ(pixel(290, 425 - 350), 0u);  // outside the rectangle: background
  gxcolr(20);  // never defined: drawn as colour 15
  gxrecf(1, 2, 6, 8);
  EXPECT_EQ(pixel(75, 425 - 350), rgb(170, 170, 130));
  EXPECT_EQ(gxacol(20, 10, 20, 30), 1);
  gxcolr(20);
  gxrecf(1, 2, 3, 4);
  EXPECT_EQ(pixel(75, 425 - 175), rgb(10, 20, 30));
  float tri[] = {3, 3, 5, 3, 4, 5};
  gxcolr(3);
  gxfill(tri, 3);
  EXPECT_EQ(pixel(200, 425 - 175), rgb(0, 220, 0));
}

TEST_F(X11Test, WhiteBackgroundAndGreyLevels) {
  gxdbck(1);
  gxcolr(1);
  gxrecf(1, 2, 1, 2);
  EXPECT_EQ(pixel(75, 425 - 75), 0u);  // colour 1 draws black
  gxdbck(0);
  gxgrey(1);
  gxcolr(2);
  gxrecf(3, 4, 1, 2);
  EXPECT_EQ(pixel(175, 425 - 75), rgb(215, 215, 215));
  gxdbck(1);
  gxcolr(2);
  gxrecf(5, 6, 1, 2);
  EXPECT_EQ(pixel(275, 425 - 75), rgb(65, 65, 65));
}

TEST_F(X11Test, LineWidthsAndCollapsedRectangles) {
  x11state& s = x11st();
  gxdwid(5);
  EXPECT_EQ(s.owidth, 0);
  gxdwid(6);
  EXPECT_EQ(s.owidth, 2);
  gxdwid(12);
  EXPECT_EQ(s.owidth, 3);
  gxdwid(1);
  gxdcol(1);
  gxdrec(2, 2.001f, 1, 3);  // one pixel column: a vertical line
  EXPECT_EQ(pixel(100, 425 - 100), rgb(255, 255, 255));
  EXPECT_EQ(pixel(101, 425 - 100), 0u);
}

TEST_F(X11Test, ThickLinesAsParallelLines) {
  gxwdln();
  gxdwid(12);
  EXPECT_EQ(x11st().owidth, 0);
  gxdcol(1);
  gxdmov(1, 4);
  gxddrw(5, 4);  // shallow: lines above and below
  int y = 425 - 200;
  EXPECT_EQ(pixel(100, y), rgb(255, 255, 255));
  EXPECT_EQ(pixel(100, y - 1), rgb(255, 255, 255));
  EXPECT_EQ(pixel(100, y + 1), rgb(255, 255, 255));
  EXPECT_EQ(pixel(100, y + 2), 0u);
  gxdwid(6);
  gxdmov(8, 1);
  gxddrw(8, 5);  // steep: one line beside, at x-1
  EXPECT_EQ(pixel(399, 425 - 150), rgb(255, 255, 255));
  EXPECT_EQ(pixel(401, 425 - 150), 0u);
}

TEST(X11Pattern, TilesAndTheirErrors) {
  int side = 0;
  std::string bits;
  ASSERT_TRUE(gxdtile(3, 2, 45, &side, &bits));
  EXPECT_EQ(side, 8);
  for (int r = 0; r < 8; r++)
    for (int c = 0; c < 8; c++) EXPECT_EQ(bits[r * 8 + c] == '1', r + c == 7);
  ASSERT_TRUE(gxdtile(2, 4, 0, &side, &bits));
  EXPECT_EQ(side, 4);
  EXPECT_EQ(std::count(bits.begin(), bits.end(), '1'), 2);
  EXPECT_EQ(bits[2 * 4 + 2], '1');
  ASSERT_TRUE(gxdtile(3, 1, -30, &side, &bits));
  EXPECT_EQ(side, 14);
  EXPECT_EQ(bits[0], '1');             // (0 - 0) mod 14 = 0
  EXPECT_EQ(bits[1 * 14 + 0], '1');    // (1 - 0) mod 14 = 1
  EXPECT_EQ(bits[0 * 14 + 1], '0');    // (0 - 2) mod 14 = 12
  EXPECT_EQ(bits[0 * 14 + 7], '1');    // (0 - 14) mod 14 = 0
  EXPECT_FALSE(gxdtile(3, 6, 0, &side, &bits));
  EXPECT_FALSE(gxdtile(3, 1, 20, &side, &bits));
}

TEST_F(X11Test, PatternMessagesKeepThePattern) {
  testing::internal::CaptureStdout();
  gxdptn(3, 6, 0);
  gxdptn(3, 2, 20);
  gxdptn(7, 1, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error in density specification: density = 6\n"
            "Error in angle specification: angle = 20\n"
            "Error in fill specification: type = 7\n");
  gxdptn(3, 1, 0);  // every 12th row from the top of the tile
  gxdcol(1);
  gxdrec(0, 11, 0, 8.5f);
  EXPECT_EQ(pixel(10, 0), rgb(255, 255, 255));
  EXPECT_EQ(pixel(10, 1), 0u);
  EXPECT_EQ(pixel(10, 12), rgb(255, 255, 255));
  gxdptn(1, 0, 0);
}

TEST_F(X11Test, DoubleBufferingShowsTheFrameAtTheSwap) {
  x11state& s = x11st();
  gxfrme(2);
  ASSERT_EQ(s.dblmode, 1);
  gxcolr(2);
  gxrecf(1, 2, 1, 2);
  EXPECT_EQ(pixel(75, 425 - 75), 0u);                 // still hidden
  EXPECT_EQ(pixel(75, 425 - 75, s.pmap), rgb(250, 60, 60));
  gxfrme(2);
  EXPECT_EQ(pixel(75, 425 - 75), rgb(250, 60, 60));   // shown
  EXPECT_EQ(pixel(75, 425 - 75, s.pmap), 0u);         // back buffer cleared
  gxfrme(1);
  EXPECT_EQ(s.dblmode, 0);
  EXPECT_EQ(s.drwbl, s.win);
}

TEST_F(X11Test, SavedImagesAreShownAgain) {
  gxcolr(7);
  gxrecf(1, 2, 1, 2);
  gxdssv(3);
  gxfrme(1);
  EXPECT_EQ(pixel(75, 425 - 75), 0u);
  gxdssh(5);  // never saved: nothing
  EXPECT_EQ(pixel(75, 425 - 75), 0u);
  gxdssh(3);
  EXPECT_EQ(pixel(75, 425 - 75), rgb(230, 220, 50));
  gxdsfr(3);
  EXPECT_EQ(x11st().pfilld[3], 0);
  gxdssv(200);  // outside the slots: ignored
  gxdssh(-1);
}

TEST_F(X11Test, ResizeReplaysTheFrameAtTheNewScale) {
  x11state& s = x11st();
  gxcolr(2);
  gxrecf(1, 2, 1, 2);
  gxdxsz(1100, 850);
  for (int i = 0; i < 50 && s.width != 1100; i++) {
    usleep(20000);
    gxfrme(8);
  }
  ASSERT_EQ(s.width, 1100);
  EXPECT_FLOAT_EQ(s.xscl, 100);
  EXPECT_EQ(s.gfont, 3);
  EXPECT_EQ(pixel(150, 850 - 150), rgb(250, 60, 60));
  gxdxsz(600, 800);
  for (int i = 0; i < 50 && s.width != 600; i++) {
    usleep(20000);
    gxfrme(8);
  }
  EXPECT_EQ(s.gfont, 1);
}

TEST_F(X11Test, WindowDumpHeaderAndSize) {
  gx_tmpdir dir;
  gxcolr(2);
  gxrecf(1, 2, 1, 2);
  std::string front = dir.path + "/front.xwd";
  EXPECT_EQ(dump_front_buffer(front.c_str()), 0);
  std::vector<unsigned char> b = slurp(front);
  ASSERT_GE(b.size(), 100u);
  std::string name = "Ombra 1.0.0";
  EXPECT_EQ(be32(b, 0), 100 + name.size() + 1);
  EXPECT_EQ(be32(b, 4), 7u);
  EXPECT_EQ(be32(b, 8), 2u);   // ZPixmap
  EXPECT_EQ(be32(b, 16), 550u);
  EXPECT_EQ(be32(b, 20), 425u);
  EXPECT_EQ(be32(b, 80), 550u);
  EXPECT_EQ(be32(b, 84), 425u);
  EXPECT_EQ(std::string((const char*)&b[100]), name);
  uint32_t ncol = be32(b, 76), bpl = be32(b, 48);
  EXPECT_EQ(be32(b, 52), 4u);  // TrueColor
  EXPECT_EQ(b.size(), be32(b, 0) + ncol * 12 + bpl * 425);
  // The second colour record steps each field by its mask's lowest bit.
  size_t rec = be32(b, 0) + 12;
  EXPECT_EQ(be32(b, rec), 0x010101u);
  // Pixel data: the red rectangle at row 350, column 75.
  size_t px = be32(b, 0) + ncol * 12 + 350 * bpl + 75 * 4;
  uint32_t v = b[px] | (b[px + 1] << 8) | (b[px + 2] << 16);
  if (be32(b, 28) == MSBFirst) v = (b[px + 1] << 16) | (b[px + 2] << 8) | b[px + 3];
  EXPECT_EQ(v, rgb(250, 60, 60));

  std::string back = dir.path + "/back.xwd";
  EXPECT_EQ(dump_back_buffer(back.c_str()), 0);  // no back buffer: no file
  EXPECT_EQ(access(back.c_str(), F_OK), -1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(dump_front_buffer((dir.path + "/none/x.xwd").c_str()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Couldn't open outxwd argument for writing.\n");

  // A dump that cannot be written whole (a full disk) leaves the older one.
  testing::internal::CaptureStderr();
  {
    fsizecap cap(b.size() / 2);
    EXPECT_EQ(dump_front_buffer(front.c_str()), 1);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "I/O error writing the window dump\n");
  EXPECT_EQ(slurp(front), b);
  EXPECT_EQ(access((front + "." + std::to_string(getpid()) + ".0.part").c_str(), F_OK), -1);

  // Nor does one that runs out of memory half-way.  A child, on a
  // connection of its own, dumps with less and less memory to spare, down
  // to where it cannot even fetch the image: every dump is whole or none.
  // (The sanitizers' allocator does not heed an address-space limit.)
#ifndef __SANITIZE_ADDRESS__
  pid_t pid = fork();
  if (pid == 0) {
    struct rlimit nocore = {0, 0};
    setrlimit(RLIMIT_CORE, &nocore);
    alarm(60);
    x11st().display = XOpenDisplay(nullptr);
    if (!x11st().display || !freopen("/dev/null", "w", stderr)) _exit(2);
    for (rlim_t extra = 6000000; extra > 0; extra -= 20000) {
      char line[256];
      rlim_t vm = 0;
      FILE* st = fopen("/proc/self/status", "r");
      while (st && fgets(line, sizeof line, st) && sscanf(line, "VmSize: %lu kB", &vm) != 1) {
      }
      if (st) fclose(st);
      rlimit was, now;
      getrlimit(RLIMIT_AS, &was);
      now = was;
      now.rlim_cur = vm * 1024 + extra;
      setrlimit(RLIMIT_AS, &now);
      dump_front_buffer(front.c_str());
      setrlimit(RLIMIT_AS, &was);
      if (slurp(front) != b) _exit(3);
    }
    _exit(0);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_FALSE(WIFEXITED(st) && WEXITSTATUS(st) == 3) << "a torn dump took the name";
  EXPECT_EQ(slurp(front), b);
#endif
}

TEST_F(X11Test, BackBufferDumpHoldsTheHiddenFrame) {
  gx_tmpdir dir;
  gxfrme(2);
  gxcolr(4);
  gxrecf(0, 11, 0, 8.5f);
  std::string front = dir.path + "/f.xwd", back = dir.path + "/b.xwd";
  dump_front_buffer(front.c_str());
  dump_back_buffer(back.c_str());
  std::vector<unsigned char> f = slurp(front), b = slurp(back);
  ASSERT_EQ(f.size(), b.size());
  size_t px = be32(b, 0) + be32(b, 76) * 12 + 10 * be32(b, 48);
  EXPECT_EQ(f[px], 0);
  EXPECT_NE(b[px] | b[px + 1] | b[px + 2], 0);
  gxfrme(1);
}

TEST_F(X11Test, ResizeWhileDoubleBufferedKeepsBothFrames) {
  x11state& s = x11st();
  gxfrme(2);
  gxcolr(2);
  gxrecf(1, 2, 1, 2);
  gxfrme(2);  // shown: the red square
  gxcolr(4);
  gxrecf(3, 4, 1, 2);  // being drawn: a blue square
  gxdxsz(1100, 850);
  for (int i = 0; i < 50 && s.width != 1100; i++) {
    usleep(20000);
    gxfrme(8);
  }
  ASSERT_EQ(s.width, 1100);
  ASSERT_EQ(s.dblmode, 1);
  EXPECT_EQ(s.drwbl, s.pmap);
  EXPECT_EQ(pixel(150, 850 - 150), rgb(250, 60, 60));
  EXPECT_EQ(pixel(350, 850 - 150), 0u);
  EXPECT_EQ(pixel(350, 850 - 150, s.pmap), rgb(30, 60, 255));
  EXPECT_EQ(pixel(150, 850 - 150, s.pmap), 0u);
  gxfrme(2);
  EXPECT_EQ(pixel(350, 850 - 150), rgb(30, 60, 255));
  gxfrme(1);
}

TEST_F(X11Test, DumpOfAWindowPartlyOffTheScreenIsConsistent) {
  x11state& s = x11st();
  XMoveWindow(s.display, s.win, -100, -50);
  XSync(s.display, False);
  gxfrme(9);
  gx_tmpdir dir;
  std::string name = dir.path + "/off.xwd";
  dump_front_buffer(name.c_str());
  std::vector<unsigned char> b = slurp(name);
  ASSERT_GE(b.size(), 100u);
  // The header describes the pixel data that follow: the whole window.
  EXPECT_EQ(be32(b, 16), 550u);
  EXPECT_EQ(be32(b, 20), 425u);
  EXPECT_EQ(be32(b, 88), 0u);  // window position clipped to the screen
  EXPECT_EQ(be32(b, 92), 0u);
  EXPECT_EQ(b.size(), be32(b, 0) + be32(b, 76) * 12 + be32(b, 48) * be32(b, 20));
}

TEST_F(X11Test, PixmapsTheServerCannotMakeAreRefused) {
  x11state& s = x11st();
  int depth = s.depth;
  s.depth = 7;  // no such depth: the server answers with an error
  EXPECT_EQ(gxdpixmap(100, 100), 0u);  // and the process goes on
  s.depth = depth;
  EXPECT_EQ(gxdpixmap(0, 10), 0u);
  Pixmap p = gxdpixmap(10, 10);
  EXPECT_NE(p, 0u);
  XFreePixmap(s.display, p);
}

TEST_F(X11Test, FarOffPointsStayWithinThePixelRange) {
  EXPECT_EQ(gxdpx(1e30f), 30000);
  EXPECT_EQ(gxdpx(-1e30f), -30000);
  EXPECT_EQ(gxdpx(std::nanf("")), -30000);
  gxdcol(3);
  gxdrec(-1e9f, 1e9f, -1e9f, 1e9f);  // covers the whole window
  EXPECT_EQ(pixel(0, 0), rgb(0, 220, 0));
  EXPECT_EQ(pixel(549, 424), rgb(0, 220, 0));
}

TEST_F(X11Test, MenuNestingStopsAtTheLevelTables) {
  x11state& s = x11st();
  dmenurec m;
  s.dmrecu = 3;  // four levels open: no fifth
  EXPECT_EQ(gxpopdm(&m, -1, 0, 0, 0, 0, 0), -999);
  EXPECT_EQ(s.dmrecu, 3);
  s.dmrecu = -1;
}

// The animation's pause reads standard input: Return ends it, and any
// other character is the start of the next command, which must reach the
// prompt whole.
TEST_F(X11Test, ThePauseTakesAReturnAndLeavesACommandWhole) {
  std::fflush(stdin);
  int saved = dup(0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const char text[] = "\nq time\n";
  ASSERT_EQ(write(fds[1], text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
  close(fds[1]);
  dup2(fds[0], 0);
  close(fds[0]);
  std::clearerr(stdin);
  gxfrme(0);  // takes the Return
  gxfrme(0);  // meets the command
  std::string rest;
  for (int c; (c = std::getchar()) != EOF;) rest += static_cast<char>(c);
  dup2(saved, 0);
  close(saved);
  std::clearerr(stdin);
  EXPECT_EQ(rest, "q time\n");
}
