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
#include "main/maintest.h"
#include "main/ommain.h"
#include "main/promptwait.h"
#include "script/gs.h"

namespace {

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
  if (IsSkipped() || HasFatalFailure()) return;
  promptwindow();
  gxcolr(2);
  gxrecf(1, 3, 1, 3);  // 50 pixels an inch: from 50 to 150 across
  scratch tmp;
  HeldStdin in;
  std::thread reader([&] { wait_for_line(GetParam(), tmp.dir); });
  Display* other = XOpenDisplay(nullptr);
  // A window passed over it: the server paints the background and says so.
  XClearArea(other, x11st().win, 0, 0, 0, 0, True);
  XSync(other, False);
  EXPECT_EQ(x11test::pixel_within(other, x11st().win, 100, 325, kRed), kRed);
  // Resized to 330 x 255: 30 pixels an inch, the square now ends at 90.
  XResizeWindow(other, x11st().win, 330, 255);
  XSync(other, False);
  EXPECT_EQ(x11test::pixel_within(other, x11st().win, 60, 195, kRed), kRed);
  in.send("\n");
  reader.join();
  XCloseDisplay(other);
}

// Runs body in a child process with the window open under twm and its
// standard output to a file; the child must end with status 1.  What it
// printed, or "skipped" without Xvfb or twm.
template <class F>
std::string ends_with_status_1(F body) {
  if (!x11test::start_server() || !x11test::start_wm("twm")) return "skipped";
  scratch tmp;
  const std::string out = std::string(tmp.dir) + "/stdout";
  EXPECT_EXIT(
      {
        alarm(x11test::kTestLimit - 10);
        x11test::open_window("550x425+0+0");
        int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        HeldStdin in;
        body(tmp.dir);
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  return contents(out);
}

TEST_P(LineWaits, WindowManagerCloseEndsTheProgramAtOnce) {
  std::string said = ends_with_status_1([](const char* dir) {
    promptwindow();
    x11test::close_by_wm();
    wait_for_line(GetParam(), dir);
  });
  if (said == "skipped") GTEST_SKIP() << "Xvfb or twm is not available";
  EXPECT_EQ(said, "\nThe window was closed; Ombra ends.\n");
}

INSTANTIATE_TEST_SUITE_P(Waits, LineWaits, testing::Values("PressEnter", "Pull"),
                         [](const testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param);
                         });

class LostServer : public testing::TestWithParam<bool> {};

TEST_P(LostServer, MessageStartsOnALineOfItsOwn) {
  bool edit = GetParam();
  std::string said = ends_with_status_1([edit](const char*) {
    // As xdotool windowkill does: the server drops the connection.
    Display* killer = XOpenDisplay(nullptr);
    XKillClient(killer, x11st().win);
    XSync(killer, False);
    XCloseDisplay(killer);
    std::string line;
    if (edit) nxrdln(line, "om-> ");
    else nxtcmd(line, "om>");
  });
  if (said == "skipped") GTEST_SKIP() << "Xvfb or twm is not available";
  EXPECT_EQ(said, std::string(edit ? "om-> " : "om> ") +
                      "\nThe connection to the X server was lost; Ombra ends.\n");
}

INSTANTIATE_TEST_SUITE_P(Readers, LostServer, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) {
                           return std::string(i.param ? "LineEditor" : "Plain");
                         });

}  // namespace
