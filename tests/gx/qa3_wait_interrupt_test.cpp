// Waiting for a mouse press ("q pos") ends when the user interrupts, with
// the answer of an empty queue; presses already made are still returned.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/cmnstate.h"
#include "base/interrupted_stdin.h"
#include "gxtest.h"
#include "test_x11_util.h"

using x11test::click;

namespace {

struct answer {
  float x = 0, y = 0;
  int button = 0, kind = 0;
  int info[10] = {0};
  float rinfo[4] = {0, 0, 0, 0};
};

answer wait_press() {
  answer a;
  gxdbtn(1, &a.x, &a.y, &a.button, &a.kind, a.info, a.rinfo);
  return a;
}

}  // namespace

TEST_F(X11Test, InterruptEndsTheWaitForAPress) {
  gcmn.sigflg = 0;
  // The interrupt comes while the wait is under way, as Ctrl-C would.
  std::thread later([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gcmn.sigflg = 1;
  });
  auto t0 = std::chrono::steady_clock::now();
  answer a = wait_press();
  later.join();
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(secs, 5.0);
  EXPECT_FLOAT_EQ(a.x, -999.9f);
  EXPECT_FLOAT_EQ(a.y, -999.9f);
  EXPECT_EQ(a.button, -1);
  EXPECT_EQ(a.kind, -1);
  gcmn.sigflg = 0;
}

TEST_F(X11Test, PressMadeBeforeTheInterruptIsStillReturned) {
  gcmn.sigflg = 0;
  click(2, 275, 100);
  gcmn.sigflg = 1;
  answer a = wait_press();
  gcmn.sigflg = 0;
  EXPECT_EQ(a.button, 2);
  EXPECT_EQ(a.kind, 0);
  EXPECT_NEAR(a.x, 5.5f, 0.02f);
  // And without an interrupt the wait still takes the next press.
  click(1, 110, 85);
  answer b = wait_press();
  EXPECT_EQ(b.button, 1);
  EXPECT_NEAR(b.x, 2.2f, 0.02f);
  EXPECT_NEAR(b.y, 8.5f - 85 * 8.5f / 425, 0.02f);
}

TEST_F(X11Test, InterruptAbandonsTheDialogWithAnEmptyAnswer) {
  gcmn.sigflg = 0;
  dlgrec d;
  d.x = 5.5f;
  d.y = 4.0f;
  d.w = 6.0f;
  d.h = 1.0f;
  d.pc = 1;
  d.fc = 0;
  d.bc = 15;
  d.oc = 1;
  d.th = 1;
  const char text[] = "Name| typed";
  d.ch = strdup(text);
  d.len = (int)strlen(text);
  std::thread later([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gcmn.sigflg = 1;
  });
  std::string line = gxdlg(&d);
  later.join();
  gcmn.sigflg = 0;
  EXPECT_EQ(line, "\n");
  // The window is usable afterwards: a press still reaches the queue.
  click(1, 275, 100);
  answer a = wait_press();
  EXPECT_EQ(a.button, 1);
}

TEST_F(X11Test, InterruptClosesAnOpenMenuWithNothingChosen) {
  gcmn.sigflg = 0;
  x11state& s = x11st();
  dmenurec m;
  m.x = 2; m.y = 7; m.w = 2; m.h = 0.5f;
  m.fc = 1; m.bc = 4; m.oc1 = 2; m.oc2 = 3;
  m.tfc = 1; m.tbc = 5; m.toc1 = 3; m.toc2 = 2;
  m.bfc = 1; m.bbc = 15; m.boc1 = 0; m.boc2 = 1;
  m.soc1 = 2; m.soc2 = 3;
  m.thick = 1;
  const std::string items = "File|Open |Save |";
  m.len = (int)items.size();
  m.str = (char*)malloc(items.size() + 1);
  memcpy(m.str, items.c_str(), items.size() + 1);
  for (int i = 0; i < m.len; i++)
    if (m.str[i] == '|') m.str[i] = 0;
  gxdrmu(1, &m, 0, -1);
  const dmenurec& d = s.dmu[1];
  // A click on the header leaves the menu open, waiting for the next press.
  click(1, (d.x1 + d.x2) / 2, (d.y1 + d.y2) / 2);
  std::thread later([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gcmn.sigflg = 1;
  });
  answer a = wait_press();
  later.join();
  gcmn.sigflg = 0;
  EXPECT_EQ(a.kind, 3);
  EXPECT_EQ(a.info[0], 1);
  EXPECT_EQ(a.info[1], 0);  // no item
  EXPECT_EQ(s.dmrecu, -1);  // every level closed
}

// The looped display's "Press enter to continue" ends at an interrupt too,
// without taking anything from standard input.
TEST_F(X11Test, InterruptEndsThePauseForReturn) {
  gcmn.sigflg = 0;
  // Without the interrupt the pause would wait for this line.
  interrupted_stdin in("\n");
  ASSERT_TRUE(in.ok());
  double secs = in.time([] { gxfrme(0); });
  gcmn.sigflg = 0;
  EXPECT_LT(secs, 2.0);
  // The line that came later is still there for the prompt.
  EXPECT_EQ(getchar(), '\n');
}
