// The waits for a line that are not the prompt's, the animation's "Press
// enter" and a script's pull, look after the window as the prompt does: an
// uncovered or resized window is redrawn while they wait, and the window
// manager's close ends the program at once.  And a window lost while the
// prompt waits says so on a line of its own.  Under twm on a private Xvfb.
#include <gtest/gtest.h>
#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "base/cmnstate.h"
#include "gx/test_x11_wm.h"
#include "main/ommain.h"
#include "main/promptwait.h"
#include "script/gs.h"

namespace {

// Standard input replaced by a pipe that stays open until the test writes
// to it, so that the reader really waits.
struct HeldInput {
  int saved = -1, writer = -1;
  HeldInput() {
    fflush(stdin);
    saved = dup(0);
    int fds[2];
    if (pipe(fds) != 0) return;
    dup2(fds[0], 0);
    close(fds[0]);
    writer = fds[1];
    clearerr(stdin);
  }
  void send(const std::string& text) {
    ssize_t n = write(writer, text.data(), text.size());
    (void)n;
  }
  ~HeldInput() {
    if (writer >= 0) close(writer);
    dup2(saved, 0);
    close(saved);
    clearerr(stdin);
  }
};

// Waits for a line the way the parameter names.
void wait_for_line(const std::string& how, const std::string& dir) {
  if (how == "PressEnter") {
    gxfrme(0);
    return;
  }
  std::string path = dir + "/pull.gs";
  std::ofstream(path) << "pull a\n";
  int rc = 0;
  gsfile(path.c_str(), &rc, 0);
}

// A pixel of the window read through a connection of the test's own,
// waited for up to ten seconds to become want.
unsigned long pixel_within(Display* d, int x, int y, unsigned long want) {
  unsigned long p = 0xdeadbeef;
  for (int i = 0; i < 200; i++) {
    XImage* im = XGetImage(d, x11st().win, x, y, 1, 1, AllPlanes, ZPixmap);
    if (im) {
      p = XGetPixel(im, 0, 0) & 0xffffff;
      XDestroyImage(im);
    }
    if (p == want) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return p;
}

struct scratch {
  char dir[32] = "/tmp/omwaitsXXXXXX";
  scratch() { (void)mkdtemp(dir); }
  ~scratch() {
    std::string cmd = std::string("rm -rf ") + dir;
    (void)system(cmd.c_str());
  }
};

std::string contents(const std::string& path) {
  std::ifstream f(path);
  return std::string((std::istreambuf_iterator<char>(f)), {});
}

const unsigned long kRed = x11test::rgb(250, 60, 60);

class LineWaits : public X11WmTest, public testing::WithParamInterface<const char*> {};

TEST_P(LineWaits, ExposeAndResizeAreRedrawnWhileWaiting) {
  open("twm", true, "550x425+0+0");
  if (IsSkipped()) return;
  promptwindow();
  gxcolr(2);
  gxrecf(1, 3, 1, 3);  // 50 pixels an inch: from 50 to 150 across
  scratch tmp;
  HeldInput in;
  std::thread reader([&] { wait_for_line(GetParam(), tmp.dir); });
  Display* other = XOpenDisplay(nullptr);
  // A window passed over it: the server paints the background and says so.
  XClearArea(other, x11st().win, 0, 0, 0, 0, True);
  XSync(other, False);
  EXPECT_EQ(pixel_within(other, 100, 325, kRed), kRed);
  // Resized to 330 x 255: 30 pixels an inch, the square now ends at 90.
  XResizeWindow(other, x11st().win, 330, 255);
  XSync(other, False);
  EXPECT_EQ(pixel_within(other, 60, 195, kRed), kRed);
  in.send("\n");
  reader.join();
  XCloseDisplay(other);
}

TEST_P(LineWaits, WindowManagerCloseEndsTheProgramAtOnce) {
  if (!x11test::start_server()) GTEST_SKIP() << "Xvfb is not available";
  if (!x11test::start_wm("twm")) GTEST_SKIP() << "twm or xdotool is not available";
  scratch tmp;
  const std::string out = std::string(tmp.dir) + "/stdout";
  EXPECT_EXIT(
      {
        alarm(10);
        x11test::open_window("550x425+0+0");
        promptwindow();
        int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        HeldInput in;
        std::thread closer([] {
          Display* wm = XOpenDisplay(nullptr);
          XEvent e = {};
          e.xclient.type = ClientMessage;
          e.xclient.window = x11st().win;
          e.xclient.message_type = XInternAtom(wm, "WM_PROTOCOLS", False);
          e.xclient.format = 32;
          e.xclient.data.l[0] = (long)XInternAtom(wm, "WM_DELETE_WINDOW", False);
          XSendEvent(wm, x11st().win, False, NoEventMask, &e);
          XSync(wm, False);
          XCloseDisplay(wm);
        });
        closer.detach();
        wait_for_line(GetParam(), tmp.dir);
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(contents(out), "\nThe window was closed; Ombra ends.\n");
}

INSTANTIATE_TEST_SUITE_P(Waits, LineWaits, testing::Values("PressEnter", "Pull"),
                         [](const testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param);
                         });

class LostServer : public testing::TestWithParam<bool> {};

TEST_P(LostServer, MessageStartsOnALineOfItsOwn) {
  if (!x11test::start_server()) GTEST_SKIP() << "Xvfb is not available";
  if (!x11test::start_wm("twm")) GTEST_SKIP() << "twm or xdotool is not available";
  scratch tmp;
  const std::string out = std::string(tmp.dir) + "/stdout";
  EXPECT_EXIT(
      {
        alarm(10);
        x11test::open_window("550x425+0+0");
        int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        HeldInput in;
        // As xdotool windowkill does: the server drops the connection.
        Display* killer = XOpenDisplay(nullptr);
        XKillClient(killer, x11st().win);
        XSync(killer, False);
        XCloseDisplay(killer);
        std::string line;
        if (GetParam()) nxrdln(line, "om-> ");
        else nxtcmd(line, "om>");
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(contents(out), std::string(GetParam() ? "om-> " : "om> ") +
                               "\nThe connection to the X server was lost; Ombra ends.\n");
}

INSTANTIATE_TEST_SUITE_P(Readers, LostServer, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) {
                           return std::string(i.param ? "LineEditor" : "Plain");
                         });

}  // namespace
