// Losing the X server connection (the server gone, or the connection
// killed) ends the program with status 1 and a message, after the
// print metafile has been given its end record, as quit would.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gxtest.h"
#include "test_x11_util.h"

TEST_F(X11Test, LostConnectionFinishesTheMetafileAndEnds) {
  char tmpl[] = "/tmp/omlost.XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string path = tmpl;
  EXPECT_EXIT(
      {
        if (gxhbgn(path.c_str()) != 0) exit(7);
        gxmove(1, 1);
        gxdraw(5, 5);
        // The connection dies under the program; the next request finds out.
        close(ConnectionNumber(x11st().display));
        gxfrme(9);
        XSync(x11st().display, False);
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  std::ifstream f(path, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(f)), {});
  unlink(path.c_str());
  ASSERT_GE(b.size(), 2u);
  // The end record: the 16-bit value -9 (most significant byte first)
  // closes the file.
  int16_t last = static_cast<int16_t>(b[b.size() - 2] << 8 | b[b.size() - 1]);
  EXPECT_EQ(last, -9);
}

// The window manager's close (WM_DELETE_WINDOW), or the window destroyed
// by another client, ends the program the same way: the window cannot
// come back, and a program left running without it could only fail.
class WindowClosed : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!x11test::start_server()) GTEST_SKIP() << "Xvfb is not available";
  }
};

// What the window manager does, from a connection of its own.
void close_from_outside(bool destroy) {
  Display* wm = XOpenDisplay(nullptr);
  Window w = x11st().win;
  if (destroy) {
    XDestroyWindow(wm, w);
  } else {
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(wm, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(wm, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(wm, w, False, NoEventMask, &e);
  }
  XSync(wm, False);
  XCloseDisplay(wm);
}

TEST_P(WindowClosed, EndsTheProgramWithTheMetafileFinished) {
  char dir[] = "/tmp/omclosedXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string meta = std::string(dir) + "/out.gm";
  const std::string out = std::string(dir) + "/stdout";
  const bool destroy = GetParam();
  EXPECT_EXIT(
      {
        alarm(20);
        x11test::open_window();
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        if (gxhbgn(meta.c_str()) != 0) exit(7);
        gxmove(1, 1);
        gxdraw(5, 5);
        gxhprt();
        close_from_outside(destroy);
        XSync(x11st().display, False);
        gxfrme(9);  // as after every command
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  std::ifstream o(out);
  std::string said((std::istreambuf_iterator<char>(o)), {});
  std::ifstream f(meta, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(f)), {});
  unlink(meta.c_str());
  unlink(out.c_str());
  rmdir(dir);
  EXPECT_EQ(said, "The window was closed; Ombra ends.\nHardcopy output file is closed \n");
  ASSERT_EQ(b.size(), 22u);  // header, move, draw, -2 and -9
  EXPECT_EQ(static_cast<int16_t>(b[18] << 8 | b[19]), -2);
  EXPECT_EQ(static_cast<int16_t>(b[20] << 8 | b[21]), -9);
}

INSTANTIATE_TEST_SUITE_P(ByWindowManager, WindowClosed, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) {
                           return std::string(i.param ? "Destroyed" : "DeleteRequest");
                         });
