// enable print, print, disable print and printim as typed at the prompt:
// their messages and results, the metafile they leave, and the images read
// back pixel by pixel.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/fsizecap.h"
#include "base/omprntint.h"
#include "test_print_util.h"

namespace {

const int kWhite = 0xFFFFFF, kBlack = 0, kRed = 0xF00000;

class Print : public testing::Test {
 protected:
  void SetUp() override { gxc_start(); }
  void TearDown() override { gxc_run("disable print"); }
  gxc_tmpdir dir;
};

// A metafile's 16-bit words, read big-endian.
std::vector<int> metawords(const std::string& f) {
  std::vector<int> w;
  FILE* fp = fopen(f.c_str(), "rb");
  if (!fp) return w;
  int hi, lo;
  while ((hi = fgetc(fp)) != EOF && (lo = fgetc(fp)) != EOF)
    w.push_back(static_cast<int16_t>((hi << 8) | lo));
  fclose(fp);
  return w;
}

// A one-pixel column from the page point (5.5, 1) up to (5.5, 4.25).
void drawcolumn(int colour) {
  gxcolr(colour);
  gxstyl(1);
  gxwide(1);
  gxplot(5.5f, 1.0f, 3);
  gxplot(5.5f, 4.25f, 2);
}

}  // namespace

TEST_F(Print, MetafileLifecycleMessagesAndResults) {
  cmdout r = gxc_run("print");
  EXPECT_EQ(r.rc, 1);  // nothing was written: an error, not a success
  EXPECT_EQ(r.out, "Metafile not currently open\n");

  std::string meta = dir.file("Frame.OM");
  r = gxc_run("enable print " + meta);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  // A repeated enable is harmless, so exec files can carry one.
  r = gxc_run("ENABLE PRINT " + dir.file("other"));
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "Metafile already open\n");
  EXPECT_NE(access(dir.file("other").c_str(), F_OK), 0);

  gxc_run("set rgb 20 1 2 3");
  gxcolr(20);
  gxrecf(1, 2, 1, 2);
  EXPECT_EQ(gxc_run("print").rc, 0);
  r = gxc_run("disable print");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "Hardcopy output file is closed \n");
  r = gxc_run("disable");
  EXPECT_EQ(r.out, "No hardcopy metafile open\n");
  EXPECT_EQ(r.rc, 0);

  std::vector<int> w = metawords(meta);
  ASSERT_GE(w.size(), 5u);
  EXPECT_EQ(w[0], -1);
  EXPECT_EQ(w[1], 11000);
  EXPECT_EQ(w[2], 8500);
  EXPECT_EQ(w[w.size() - 2], -2);  // frame end, then file end
  EXPECT_EQ(w.back(), -9);
  const int rgb[5] = {-5, 20, 1, 2, 3};
  EXPECT_NE(std::search(w.begin(), w.end(), rgb, rgb + 5), w.end());
  const int rect[5] = {-6, 1000, 2000, 1000, 2000};
  EXPECT_NE(std::search(w.begin(), w.end(), rect, rect + 5), w.end());

  // A finished file left under its part name (a folder took its name):
  // the line that says where is in the result a script reads.
  std::string kept = dir.file("Kept.OM");
  EXPECT_EQ(gxc_run("enable print " + kept).rc, 0);
  ASSERT_EQ(mkdir(kept.c_str(), 0700), 0);
  int rc = 0;
  std::string result = omcaprun([] { return gxc_run("disable print").rc; }, &rc);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(result, "The new file stays as " + kept + ".part: Kept.OM is not a plain file\n");
}

TEST_F(Print, EnableOperandsAndOpenFailure) {
  EXPECT_EQ(gxc_run("enable").out, "ENABLE error: Missing operand\n");
  EXPECT_EQ(gxc_run("enable printer x").out, "ENABLE error: Invalid operand \n");
  cmdout r = gxc_run("enable print");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "ENABLE error: Missing file name \n");
  std::string bad = dir.file("no/such/dir/m.om");
  r = gxc_run("enable print " + bad);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "Error opening meta file " + bad + " \n");
  EXPECT_EQ(gxc_run("print").rc, 1);
  // The file name keeps its case.  The file takes its name when it is
  // closed: until then it is written beside it, under a part name.
  EXPECT_EQ(gxc_run("enable print " + dir.file("MixedCase.Om")).rc, 0);
  EXPECT_EQ(access(dir.file("MixedCase.Om.part").c_str(), F_OK), 0);
  EXPECT_EQ(gxc_run("disable fwrite").rc, 0);
  EXPECT_EQ(gxc_run("disable bogus").out, "DISABLE error: Invalid keyword\n");
  gxc_run("disable print");
  EXPECT_EQ(access(dir.file("MixedCase.Om").c_str(), F_OK), 0);
  EXPECT_NE(access(dir.file("MixedCase.Om.part").c_str(), F_OK), 0);
}

TEST_F(Print, ImageSizesAndPixelMapping) {
  drawcolumn(2);
  std::string f = dir.file("a.png");
  cmdout r = gxc_run("printim " + f);
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  gxc_image a(f);
  ASSERT_TRUE(a.im);
  EXPECT_EQ(a.w(), 800);
  EXPECT_EQ(a.h(), 600);
  // Page point (5.5, 4.25) is pixel (400, 300).
  EXPECT_EQ(a.rgb(400, 300), kRed);
  EXPECT_EQ(a.rgb(400, 299), kBlack);
  EXPECT_EQ(a.rgb(401, 300), kBlack);

  f = dir.file("b.png");
  EXPECT_EQ(gxc_run("printim " + f + " y550 x1100").rc, 0);
  gxc_image b(f);
  ASSERT_TRUE(b.im);
  EXPECT_EQ(b.w(), 1100);
  EXPECT_EQ(b.h(), 550);

  // x 800 with a blank is no size: the bare x is ignored, but 800 is no
  // option at all, so nothing is written.
  f = dir.file("c.png");
  r = gxc_run("printim " + f + " x 800");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out,
            "PRINTIM error:  Invalid x option; ignored\n"
            "PRINTIM error:  Invalid option 800; nothing written\n");
  EXPECT_NE(access(f.c_str(), F_OK), 0);
  EXPECT_EQ(gxc_run("printim " + f + " x").rc, 0);
  EXPECT_EQ(gxc_image(f).w(), 800);
  EXPECT_EQ(gxc_run("printim " + f + " y6x0").out, "PRINTIM error:  Invalid y option; ignored\n");
}

TEST_F(Print, PortraitDefaultSize) {
  gxc_start(8.5, 11);
  std::string f = dir.file("p.png");
  EXPECT_EQ(gxc_run("printim " + f).rc, 0);
  gxc_image p(f);
  ASSERT_TRUE(p.im);
  EXPECT_EQ(p.w(), 600);
  EXPECT_EQ(p.h(), 800);
}

// A negative side stands for the default size of the page's orientation;
// one negative side is enough to take the default for both.
TEST_F(Print, NegativeSizesGiveTheDefaultSize) {
  const char* const opts[] = {" x-5 y-5", " y-5", " x1100 y-1"};
  for (const char* o : opts) {
    std::string f = dir.file("n.png");
    cmdout r = gxc_run("printim " + f + o);
    EXPECT_EQ(r.rc, 0) << o;
    EXPECT_EQ(r.out, "") << o;
    gxc_image im(f);
    ASSERT_TRUE(im.im) << o;
    EXPECT_EQ(im.w(), 800) << o;
    EXPECT_EQ(im.h(), 600) << o;
    unlink(f.c_str());
  }
}

TEST_F(Print, ImpossibleSizesAreRefusedAndNothingIsWritten) {
  const char msg[] = "PRINTIM error:  image size must be 1 to 20000 pixels\n";
  const char* const opts[] = {" x0 y600", " x0", " x-5 y0", " x20001 y600", " x800 y0"};
  for (const char* o : opts) {
    std::string f = dir.file("z.png");
    cmdout r = gxc_run("printim " + f + o);
    EXPECT_EQ(r.rc, 1) << o;
    EXPECT_EQ(r.out, msg) << o;
    EXPECT_NE(access(f.c_str(), F_OK), 0) << o;
  }
  // Too many digits for an integer: an unreadable option, ignored.
  cmdout r = gxc_run("printim " + dir.file("z.png") + " x99999999999");
  EXPECT_EQ(r.out, "PRINTIM error:  Invalid x option; ignored\n");
  EXPECT_EQ(gxc_image(dir.file("z.png")).w(), 800);
  EXPECT_EQ(gxc_run("printim " + dir.file("z.png") + " x20000 y1").rc, 0);
}

TEST_F(Print, FormatsFollowTheNameUnlessAWordSaysOtherwise) {
  EXPECT_EQ(gxc_run("printim " + dir.file("a.GIF")).rc, 0);
  EXPECT_EQ(gxc_magic(dir.file("a.GIF")), "GIF8");
  EXPECT_EQ(gxc_run("printim " + dir.file("b.gif") + " png").rc, 0);
  EXPECT_EQ(gxc_magic(dir.file("b.gif")), "\x89PNG");
  EXPECT_EQ(gxc_run("printim " + dir.file("c.png") + " GIF").rc, 0);
  EXPECT_EQ(gxc_magic(dir.file("c.png")), "GIF8");
  // Four characters are no name with a suffix.
  char here[4096];
  ASSERT_TRUE(getcwd(here, sizeof here));
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  EXPECT_EQ(gxc_run("printim .gif").rc, 0);
  EXPECT_EQ(gxc_run("printim x.gif").rc, 0);
  ASSERT_EQ(chdir(here), 0);
  EXPECT_EQ(gxc_magic(dir.file(".gif")), "\x89PNG");
  EXPECT_EQ(gxc_magic(dir.file("x.gif")), "GIF8");
  cmdout r = gxc_run("printim");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "PRINTIM error:  missing output file name\n");
}

// A name typed with a blank in it must not write an image under its first
// word: the rest is no option, and the whole command fails naming it.
TEST_F(Print, AWordThatIsNoOptionFailsAndWritesNothing) {
  std::string first = dir.file("my");
  cmdout r = gxc_run("printim " + first + " File.png");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "PRINTIM error:  Invalid option File.png; nothing written\n");
  EXPECT_NE(access(first.c_str(), F_OK), 0);
  r = gxc_run("printim " + dir.file("d.png") + " white sepia x400 y300");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "PRINTIM error:  Invalid option sepia; nothing written\n");
  EXPECT_NE(access(dir.file("d.png").c_str(), F_OK), 0);
}

TEST_F(Print, BackgroundsAndUserColours) {
  gxc_run("set rgb 21 10 20 30");
  drawcolumn(21);
  std::string f = dir.file("w.png");
  EXPECT_EQ(gxc_run("printim " + f + " white").rc, 0);
  {
    gxc_image w(f);
    ASSERT_TRUE(w.im);
    EXPECT_EQ(w.rgb(0, 0), kWhite);
    EXPECT_EQ(w.rgb(400, 300), 0x0A141E);
  }
  // The default background is the one chosen with set display.
  gxc_run("set display color white");
  f = dir.file("d1.png");
  EXPECT_EQ(gxc_run("printim " + f).rc, 0);
  EXPECT_EQ(gxc_image(f).rgb(10, 10), kWhite);
  f = dir.file("d2.png");
  EXPECT_EQ(gxc_run("printim " + f + " black").rc, 0);
  EXPECT_EQ(gxc_image(f).rgb(10, 10), kBlack);
  gxc_run("set display color black");
  f = dir.file("d3.png");
  EXPECT_EQ(gxc_run("printim " + f).rc, 0);
  EXPECT_EQ(gxc_image(f).rgb(10, 10), kBlack);
  // A later definition of the colour takes effect in the next image.
  gxc_run("set rgb 21 200 100 50");
  drawcolumn(21);
  f = dir.file("d4.png");
  EXPECT_EQ(gxc_run("printim " + f).rc, 0);
  EXPECT_EQ(gxc_image(f).rgb(400, 300), 0xC86432);
}

TEST_F(Print, OpenAndWriteFailuresAreReported) {
  std::string bad = dir.file("missing/x.png");
  cmdout r = gxc_run("printim " + bad);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "Open error on " + bad + "\nPRINTIM error:  open error\n");
  if (access("/dev/full", W_OK) == 0) {
    r = gxc_run("printim /dev/full png");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "PRINTIM error:  output error on /dev/full: No space left on device\n");
  }
}

namespace {

std::string slurpfile(const std::string& f) {
  std::ifstream in(f, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// An image that cannot be written whole (here a file size limit, as on a
// full disk) leaves the older image of that name as it was, and no part
// file beside it.  A link to an image stays a link to the new image.
TEST_F(Print, AFailedImageLeavesTheOlderFileAlone) {
  std::string f = dir.file("keep.png");
  ASSERT_EQ(gxc_run("printim " + f + " x40 y30").rc, 0);
  std::string old = slurpfile(f);
  ASSERT_GT(old.size(), 8u);
  cmdout r;
  {
    fsizecap cap(old.size() + 10);
    r = gxc_run("printim " + f + " x800 y600");
  }
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "PRINTIM error:  output error on " + f + ": File too large\n");
  EXPECT_EQ(slurpfile(f), old);
  EXPECT_EQ(gxc_run("!ls " + dir.path).out, "keep.png\n");

  std::string link = dir.file("link.png");
  ASSERT_EQ(symlink(f.c_str(), link.c_str()), 0);
  EXPECT_EQ(gxc_run("printim " + link + " x800 y600").rc, 0);
  char target[4096];
  ssize_t n = readlink(link.c_str(), target, sizeof target);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(target, n), f);
  EXPECT_EQ(gxc_image(f).w(), 800);
}

TEST_F(Print, SwapAndClearFollowDoubleBuffering) {
  gxc_run("set dbuff on");
  // The hidden frame is not in an image until it is swapped in.
  drawcolumn(2);
  std::string f = dir.file("s1.png");
  EXPECT_EQ(gxc_run("printim " + f).rc, 0);
  EXPECT_EQ(gxc_image(f).rgb(400, 300), kBlack);
  EXPECT_EQ(gxc_run("swap").rc, 0);
  f = dir.file("s2.png");
  EXPECT_EQ(gxc_run("printim " + f).rc, 0);
  EXPECT_EQ(gxc_image(f).rgb(400, 300), kRed);
  EXPECT_EQ(gxc_run("clear").rc, 0);
  EXPECT_EQ(gcmn.dbuff, 0);
  f = dir.file("s3.png");
  EXPECT_EQ(gxc_run("printim " + f).rc, 0);
  EXPECT_EQ(gxc_image(f).rgb(400, 300), kBlack);
}
