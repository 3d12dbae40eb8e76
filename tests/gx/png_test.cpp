// Image output: sizes, backgrounds, colours, pixel mapping, rasterising and
// write errors, checked by reading the images back.
#include <gd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

#include "gxtest.h"
#include "base/fifo_end.h"
#include "base/fsizecap.h"

namespace {

struct image {
  gdImagePtr im = nullptr;
  explicit image(const std::string& f, bool gif = false) {
    FILE* fp = fopen(f.c_str(), "rb");
    if (fp) {
      im = gif ? gdImageCreateFromGif(fp) : gdImageCreateFromPng(fp);
      fclose(fp);
    }
  }
  ~image() {
    if (im) gdImageDestroy(im);
  }
  int w() const { return gdImageSX(im); }
  int h() const { return gdImageSY(im); }
  int rgb(int x, int y) const {
    int c = gdImageGetPixel(im, x, y);
    return (gdImageRed(im, c) << 16) | (gdImageGreen(im, c) << 8) | gdImageBlue(im, c);
  }
};

const int kWhite = 0xFFFFFF, kBlack = 0;

int write_png(const std::string& f, int w = -999, int h = -999, int bg = 1, int gif = 0) {
  testing::internal::CaptureStdout();
  int rc = gxhpng(f.c_str(), w, h, bg, gif);
  testing::internal::GetCapturedStdout();
  return rc;
}

}  // namespace

TEST(Image, DefaultAndRequestedSizes) {
  gx_tmpdir d;
  gx_batch();
  ASSERT_EQ(write_png(d.file("a.png")), 0);
  image a(d.file("a.png"));
  ASSERT_TRUE(a.im);
  EXPECT_EQ(a.w(), 800);
  EXPECT_EQ(a.h(), 600);
  ASSERT_EQ(write_png(d.file("b.png"), 1100, 850), 0);
  image b(d.file("b.png"));
  EXPECT_EQ(b.w(), 1100);
  EXPECT_EQ(b.h(), 850);
  ASSERT_EQ(write_png(d.file("c.png"), -1, 500), 0);  // one side unset: the default
  image c(d.file("c.png"));
  EXPECT_EQ(c.w(), 800);
  gx_batch(8.5, 11);
  ASSERT_EQ(write_png(d.file("p.png")), 0);
  image p(d.file("p.png"));
  EXPECT_EQ(p.w(), 600);
  EXPECT_EQ(p.h(), 800);
}

TEST(Image, BackgroundsAndTheDisplaySetting) {
  gx_tmpdir d;
  gx_batch();
  gxcolr(1);
  gxrecf(0, 1, 0, 1);
  struct {
    int bg, display, back, fore;
  } cases[] = {{1, 0, kWhite, kBlack}, {0, 1, kBlack, kWhite},
               {-999, 1, kWhite, kBlack}, {-999, 0, kBlack, kWhite}, {-999, 7, kWhite, kBlack}};
  for (auto& c : cases) {
    gxdbck(c.display);
    ASSERT_EQ(write_png(d.file("bg.png"), -999, -999, c.bg), 0);
    image im(d.file("bg.png"));
    ASSERT_TRUE(im.im);
    EXPECT_EQ(im.rgb(700, 100), c.back) << c.bg << " " << c.display;
    EXPECT_EQ(im.rgb(10, 590), c.fore) << c.bg << " " << c.display;
  }
  gxdbck(0);
}

TEST(Image, PageCentreIsPixel400By300) {
  gx_tmpdir d;
  gx_batch();
  gxcolr(2);
  gxmove(5.5f, 4.25f);
  gxdraw(5.5f, 4.25f);
  ASSERT_EQ(write_png(d.file("c.png")), 0);
  image im(d.file("c.png"));
  EXPECT_EQ(im.rgb(400, 300), 0xF00000);
  EXPECT_EQ(im.rgb(399, 300), kWhite);
  EXPECT_EQ(im.rgb(401, 300), kWhite);
  EXPECT_EQ(im.rgb(400, 299), kWhite);
  EXPECT_EQ(im.rgb(400, 301), kWhite);
}

TEST(Image, ColourTableAndUserColours) {
  gx_tmpdir d;
  gx_batch();
  gxcolr(4);
  gxrecf(0.1f, 0.5f, 0.1f, 0.5f);
  gxcolr(16);  // user range, undefined: grey
  gxrecf(1.1f, 1.5f, 0.1f, 0.5f);
  gxacol(20, 10, 20, 30);
  gxcolr(20);
  gxrecf(2.1f, 2.5f, 0.1f, 0.5f);
  gxacol(20, 200, 100, 50);  // redefined mid-frame: later drawing only
  gxcolr(20);
  gxrecf(3.1f, 3.5f, 0.1f, 0.5f);
  gxcolr(15);
  gxrecf(4.1f, 4.5f, 0.1f, 0.5f);
  ASSERT_EQ(write_png(d.file("c.png")), 0);
  image im(d.file("c.png"));
  int y = 600 - 22;
  EXPECT_EQ(im.rgb(22, y), 0x1F3DFA);
  EXPECT_EQ(im.rgb(95, y), 0x7D7D7D);
  EXPECT_EQ(im.rgb(168, y), 0x0A141E);
  EXPECT_EQ(im.rgb(240, y), 0xC86432);
  EXPECT_EQ(im.rgb(313, y), 0x7D7D7D);
}

TEST(Image, ThickLinesAreDoubledAndTripled) {
  gx_tmpdir d;
  gx_batch();
  gxwide(6);
  gxmove(1, 4.25f);
  gxdraw(2, 4.25f);   // rows 300 and 299
  gxwide(12);
  gxmove(5.5f, 1);
  gxdraw(5.5f, 2);    // columns 399, 400, 401
  ASSERT_EQ(write_png(d.file("t.png")), 0);
  image im(d.file("t.png"));
  EXPECT_EQ(im.rgb(100, 300), kBlack);
  EXPECT_EQ(im.rgb(100, 299), kBlack);
  EXPECT_EQ(im.rgb(100, 298), kWhite);
  EXPECT_EQ(im.rgb(100, 301), kWhite);
  int y = 600 - 106;
  EXPECT_EQ(im.rgb(399, y), kBlack);
  EXPECT_EQ(im.rgb(400, y), kBlack);
  EXPECT_EQ(im.rgb(401, y), kBlack);
  EXPECT_EQ(im.rgb(398, y), kWhite);
  EXPECT_EQ(im.rgb(402, y), kWhite);
}

TEST(Image, SlantedLineStaysConnected) {
  gx_tmpdir d;
  gx_batch();
  gxmove(1, 1);
  gxdraw(9, 2);  // shallow: many pixels per row
  ASSERT_EQ(write_png(d.file("s.png")), 0);
  image im(d.file("s.png"));
  // Every column between the ends has a black pixel.
  for (int x = 73; x <= 654; x++) {
    bool any = false;
    for (int y = 0; y < 600 && !any; y++) any = im.rgb(x, y) == kBlack;
    EXPECT_TRUE(any) << x;
  }
}

TEST(Image, PolygonFillsItsLastRowAndApex) {
  gx_tmpdir d;
  gx_batch();
  // Record points map exactly: 11 inches -> 1100 px with x1100 by y850.
  float rect[8] = {1, 1, 2, 1, 2, 2, 1, 2};
  gxfill(rect, 4);
  float tri[6] = {5, 1, 6, 3, 4, 3};  // apex on the lowest row (largest pixel y)
  gxfill(tri, 3);
  ASSERT_EQ(write_png(d.file("f.png"), 1100, 850), 0);
  image im(d.file("f.png"));
  EXPECT_EQ(im.rgb(150, 750), kBlack);  // bottom edge row of the square
  EXPECT_EQ(im.rgb(150, 650), kBlack);  // top edge row
  EXPECT_EQ(im.rgb(150, 751), kWhite);
  EXPECT_EQ(im.rgb(500, 750), kBlack);  // the apex pixel
  EXPECT_EQ(im.rgb(501, 751), kWhite);
  EXPECT_EQ(im.rgb(500, 600), kBlack);
}

TEST(Image, GifOutput) {
  gx_tmpdir d;
  gx_batch();
  gxcolr(3);
  gxrecf(0, 11, 0, 8.5f);
  ASSERT_EQ(write_png(d.file("g.gif"), 200, 100, 1, 1), 0);
  std::vector<unsigned char> b = gx_slurp(d.file("g.gif"));
  ASSERT_GE(b.size(), 4u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "GIF8");
  image im(d.file("g.gif"), true);
  ASSERT_TRUE(im.im);
  EXPECT_EQ(im.rgb(100, 50), 0x00DC00);
}

TEST(Image, DoubleBufferShowsTheCompletedFrame) {
  gx_tmpdir d;
  gx_batch();
  gxfrme(2);
  gxcolr(2);
  gxrecf(0, 11, 0, 8.5f);
  gxfrme(2);
  gxcolr(4);
  gxrecf(0, 11, 0, 8.5f);
  ASSERT_EQ(write_png(d.file("d.png")), 0);
  image im(d.file("d.png"));
  EXPECT_EQ(im.rgb(10, 10), 0xF00000);
  gx_batch();
}

TEST(Image, BadRequestsGiveTheirMessages) {
  gx_tmpdir d;
  gx_batch();
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhpng("/nonexistent-dir/x.png", -999, -999, 1, 0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Open error on /nonexistent-dir/x.png\n");
  std::string f = d.file("z.png");
  for (auto wh : {std::pair<int, int>{0, 600}, {800, 0}, {30000, 600}, {800, 2000000000}}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(gxhpng(f.c_str(), wh.first, wh.second, 1, 0), 99);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Invalid image size"), std::string::npos);
    EXPECT_NE(access(f.c_str(), F_OK), 0);
  }
  testing::internal::CaptureStdout();
  hout0(-9);
  EXPECT_EQ(gxhpng(f.c_str(), -999, -999, 1, 0), 99);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Logic Error 4 in gxhpng.  Notify Developer\n");
  EXPECT_NE(access(f.c_str(), F_OK), 0);
}

TEST(Image, WriteFailureIsReported) {
  gx_tmpdir d;
  gx_batch();
  for (int i = 0; i < 200; i++) {
    gxcolr(i % 16);
    gxmove(0.05f * i, 0);
    gxdraw(11 - 0.05f * i, 8.5f);
  }
  std::string f = d.file("big.png");
  {
    signal(SIGXFSZ, SIG_IGN);
    rlimit old, r;
    getrlimit(RLIMIT_FSIZE, &old);
    r = old;
    r.rlim_cur = 100;
    setrlimit(RLIMIT_FSIZE, &r);
    EXPECT_EQ(write_png(f), 2);
    setrlimit(RLIMIT_FSIZE, &old);
  }
  EXPECT_NE(access(f.c_str(), F_OK), 0) << "no partial image is left";
  EXPECT_EQ(write_png("/dev/full"), 2);
  struct stat st;
  EXPECT_EQ(stat("/dev/full", &st), 0) << "a device is never removed";
}

// An older image is replaced by a rename only where writing it in place
// was allowed and comes to the same: a plain file of the user's that he may
// write, with no other name.  A file he may not write is refused and left
// as it was; one of another owner or with other names is written in place,
// room taken first and cut to the picture's length.  The rows of another
// user's file run only where the test may take other ids.
TEST(Image, AnOlderFileIsReplacedOnlyAsTheUserMayWriteIt) {
  const uid_t me = gx_user();
  const gid_t primary = geteuid() == 0 ? 65534 : getegid(), second = gx_user_group();
  struct {
    const char* name;
    mode_t mode;
    bool others, linked, closedfolder;
    int group;      // 0 the owner's own, 1 the user's first, 2 his second
    rlim_t limit;   // a file size limit, or 0
    char way;       // 'R' renamed, 'I' in place, 'X' refused, 'F' failed
  } rows[] = {{"private", 0600, false, false, false, 0, 0, 'R'},
              {"readonly", 0444, false, false, false, 0, 0, 'X'},
              {"linked", 0644, false, true, false, 0, 0, 'I'},
              {"linkedfull", 0644, false, true, false, 0, 100, 'F'},
              {"roots", 0666, true, false, false, 0, 0, 'I'},
              {"rootsgroup", 0664, true, false, false, 1, 0, 'I'},
              {"rootsro", 0644, true, false, false, 0, 0, 'X'},
              {"closed", 0644, false, false, true, 0, 0, 'X'},
              {"second", 0640, false, false, false, 2, 0, 'R'},
              {"long", 0644, false, false, false, 0, 0, 'R'}};  // no room for a part suffix
  gx_tmpdir d;
  gx_batch();
  std::string ref = d.file("ref.png");
  ASSERT_EQ(write_png(ref), 0);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    uid_t owner = r.others ? gx_other() : me;
    if (owner == static_cast<uid_t>(-1) || (r.group == 2 && second == static_cast<gid_t>(-1))) continue;
    gid_t group = r.group == 2 ? second : r.others && r.group == 0 ? 0 : primary;
    std::string folder = d.file(r.name);
    std::string f = folder + "/" + (r.name == std::string("long") ? std::string(250, 'n') : "x") + ".png";
    std::string older = r.linked && !r.limit ? std::string(100000, 'o') : "older";
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    gx_write(f, older);
    ASSERT_EQ(chmod(folder.c_str(), 0777) | chown(f.c_str(), owner, group) | chmod(f.c_str(), r.mode) |
                  chown(folder.c_str(), me, static_cast<gid_t>(-1)) |
                  chmod(folder.c_str(), r.closedfolder ? 0555 : 0777), 0);
    if (r.linked) {
      ASSERT_EQ(link(f.c_str(), (folder + "/y.png").c_str()), 0);
    }
    struct stat was, now;
    stat(f.c_str(), &was);
    chmod(d.path.c_str(), 0555);  // the folder above is the user's no more
    auto [rc, said] = gx_as_user([&] {
      std::unique_ptr<fsizecap> cap(r.limit ? new fsizecap(r.limit) : nullptr);
      return gxhpng(f.c_str(), -999, -999, 1, 0);
    });
    chmod(d.path.c_str(), 0755);
    ASSERT_EQ(stat(f.c_str(), &now), 0);
    EXPECT_EQ(rc, r.way == 'X' ? 1 : r.way == 'F' ? 2 : 0);
    EXPECT_EQ(now.st_mode & 07777, r.mode);
    EXPECT_EQ(now.st_uid, r.way == 'R' ? me : owner);
    EXPECT_EQ(now.st_gid, group);
    EXPECT_EQ(now.st_ino == was.st_ino, r.way != 'R');
    EXPECT_EQ(now.st_nlink, r.linked ? 2u : 1u);
    std::vector<unsigned char> b = gx_slurp(f);
    EXPECT_EQ(b, strchr("XF", r.way) ? std::vector<unsigned char>(older.begin(), older.end()) : gx_slurp(ref));
    std::string refused = "Open error on " + f + "\n";
    if (r.closedfolder) refused += "  Cannot make the part file " + f + ".";
    EXPECT_EQ(said.rfind(refused, 0), r.way == 'X' ? 0u : std::string::npos) << said;
    chmod(folder.c_str(), 0777);
  }
  // A part file of the name a picture would take is never emptied nor
  // renamed: the picture goes to the next free name.
  std::string f = d.file("x.png"), stale = f + "." + std::to_string(getpid()) + ".0.part";
  gx_write(stale, "theirs");
  ASSERT_EQ(write_png(f), 0);
  std::vector<unsigned char> b = gx_slurp(stale);
  EXPECT_EQ(std::string(b.begin(), b.end()), "theirs");
  EXPECT_EQ(gx_slurp(f), gx_slurp(ref));
}

TEST(Image, FullPaletteFallsBackToClosestColour) {
  gx_tmpdir d;
  gx_batch();
  for (int i = 0; i < 400; i++) {
    gxacol(20 + i % 80, i % 256, (i * 7) % 256, (i * 13) % 256);
    gxcolr(20 + i % 80);
    gxrecf(0.02f * (i % 500), 0.02f * (i % 500) + 0.02f, 1, 2);
  }
  gxacol(30, 255, 0, 0);
  gxcolr(30);
  gxrecf(5, 6, 5, 6);
  ASSERT_EQ(write_png(d.file("p.png")), 0);
  image im(d.file("p.png"));
  ASSERT_TRUE(im.im);
  EXPECT_LE(gdImageColorsTotal(im.im), 256);
  // The last colour got the closest palette entry: mostly red.
  int c = im.rgb(550, 600 - 390);
  EXPECT_GT((c >> 16) & 0xFF, 150);
}

// An image or metafile to a FIFO that nobody reads waits only until the
// user interrupts, and fails naming the file.
TEST(Image, OutputsToAReaderlessFifoEndAtInterrupt) {
  gx_tmpdir d;
  gx_batch();
  fifo_end fifo(d.file("out.fifo"));
  interrupt_raised intr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhpng(fifo.path(), -999, -999, 1, 0), 1);
  EXPECT_EQ(gxhbgn(fifo.path()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("Open error on ") + fifo.path() +
                                                        "\nError opening meta file " + fifo.path() +
                                                        " \n");
}
