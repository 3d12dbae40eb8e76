// The window while the program waits at the prompt: an uncovered or
// resized window is redrawn at once, with no command typed, and a window
// closed by the window manager ends the program there too.  Both readers
// (line editor and plain) wait on standard input and the window alike.
#include <gtest/gtest.h>
#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "gx/test_x11_util.h"
#include "main/maintest.h"
#include "main/ommain.h"

namespace {

int readline_of(bool edit, std::string& buf) {
  return edit ? nxrdln(buf, "om-> ") : nxtcmd(buf, "om>");
}

class PromptWindow : public X11Test, public testing::WithParamInterface<bool> {};

const unsigned long kRed = x11test::rgb(250, 60, 60);

TEST_P(PromptWindow, ExposeAndResizeAreRedrawnWhileWaiting) {
  // A red square from 1 to 3 inches: 50 pixels an inch in 550 x 425.
  gxcolr(2);
  gxrecf(1, 3, 1, 3);
  ASSERT_EQ(x11test::pixel(100, 325), kRed);
  HeldStdin in;
  std::string line;
  int n = 0;
  std::thread reader([&] { n = readline_of(GetParam(), line); });
  Display* other = XOpenDisplay(nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  // Uncovered: the server paints the background and says so.
  XClearArea(other, x11st().win, 0, 0, 0, 0, True);
  XSync(other, False);
  EXPECT_EQ(x11test::pixel_within(other, x11st().win, 100, 325, kRed), kRed);
  EXPECT_EQ(x11test::pixel_within(other, x11st().win, 300, 100, 0), 0u);

  // Resized to 330 x 255: 30 pixels an inch, the square now ends at 90.
  XResizeWindow(other, x11st().win, 330, 255);
  XSync(other, False);
  EXPECT_EQ(x11test::pixel_within(other, x11st().win, 60, 195, kRed), kRed);
  EXPECT_EQ(x11test::pixel_within(other, x11st().win, 95, 195, 0), 0u);
  EXPECT_EQ(x11test::pixel_within(other, x11st().win, 60, 160, 0), 0u);

  // Typing still reaches the reader.
  in.send("q time\n");
  reader.join();
  XCloseDisplay(other);
  EXPECT_EQ(line, GetParam() ? "q time" : "q time\n");
  EXPECT_EQ(n, GetParam() ? 7 : 6);
  EXPECT_EQ(x11st().width, 330);
}

INSTANTIATE_TEST_SUITE_P(Readers, PromptWindow, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) {
                           return std::string(i.param ? "LineEditor" : "Plain");
                         });

class PromptWindowClosed : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!x11test::start_server()) GTEST_SKIP() << "Xvfb is not available";
  }
};

TEST_P(PromptWindowClosed, WindowManagerCloseEndsTheProgram) {
  char dir[] = "/tmp/ompromptXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string out = std::string(dir) + "/stdout";
  EXPECT_EXIT(
      {
        alarm(x11test::kTestLimit - 10);
        x11test::open_window();
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        HeldStdin in;
        x11test::close_by_wm();
        std::string line;
        readline_of(GetParam(), line);
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  std::ifstream o(out);
  std::string said((std::istreambuf_iterator<char>(o)), {});
  unlink(out.c_str());
  rmdir(dir);
  // The prompt's line is ended before the closing line.
  EXPECT_EQ(said, std::string(GetParam() ? "om-> " : "om> ") +
                      "\nThe window was closed; Ombra ends.\n");
}

INSTANTIATE_TEST_SUITE_P(Readers, PromptWindowClosed, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) {
                           return std::string(i.param ? "LineEditor" : "Plain");
                         });

}  // namespace
