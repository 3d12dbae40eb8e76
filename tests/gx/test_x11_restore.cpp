// What a drop menu, a dialog box or a rubber band covers on the window is
// there again, pixel for pixel, once it closes: on a server that offers
// backing store (Xvfb's default) as on one that does not.
#include <cstring>
#include <vector>

#include "gxtest.h"
#include "test_x11_util.h"

using x11test::send_key;
using x11test::send_mouse;

using x11test::changed;
using x11test::menu;
using x11test::paint_plot;
using x11test::snapshot;

namespace {

void take_event(int* kind, int info[10]) {
  float x, y, r[4];
  int button;
  gxdbtn(1, &x, &y, &button, kind, info, r);
}

}  // namespace

TEST_F(X11Test, DropMenuAndItsCascadeLeaveThePlotAsItWas) {
  x11state& s = x11st();
  ASSERT_TRUE(s.bsflg);  // the server offers backing store
  paint_plot();
  dmenurec c = menu(0, 0, 0, 0, "Red|Green|Blue|Grey", 1);
  gxdrmu(5, &c, 0, -1);
  dmenurec m = menu(4, 6, 2, 0.5f, "Field|slp|t|Colour >05>|z", 0);
  gxdrmu(1, &m, 0, -1);
  std::vector<unsigned long> before = snapshot();
  const dmenurec& d = s.dmu[1];
  int R = 2 * gxdfnt(1)->ascent;
  send_mouse(ButtonPress, 1, (d.x1 + d.x2) / 2, (d.y1 + d.y2) / 2);
  send_mouse(MotionNotify, 1, d.x1 + 5, d.y2 + R / 2);
  int iy = d.y2 + 2 * R + R / 2;  // on the cascade item, long enough to open it
  for (int i = 0; i < 7; i++) send_mouse(MotionNotify, 1, d.x1 + 5 + i, iy);
  // The cascade opens beside the menu at the item's row: its second item.
  XFontStruct* f = gxdfnt(1);
  int right = d.x1 + XTextWidth(f, "Colour", 6) + f->ascent + XTextWidth(f, "xxx", 3);
  int cx = right + 5, cy = d.y2 + 2 * R + 1 + R + R / 2;
  send_mouse(MotionNotify, 1, cx, cy);
  send_mouse(ButtonRelease, 1, cx, cy);
  int kind = 0, info[10];
  take_event(&kind, info);
  ASSERT_EQ(kind, 3);
  EXPECT_EQ(info[2], 5);  // the cascade was open
  EXPECT_EQ(changed(before, snapshot()), 0);
  // An exposure of the closing is answered by the restore, not kept for
  // later: the next real exposure still redraws.
  EXPECT_EQ(s.excnt, 0);
}

TEST_F(X11Test, DialogLeavesThePlotAsItWas) {
  x11state& s = x11st();
  paint_plot();
  std::vector<unsigned long> before = snapshot();
  dlgrec d;
  d.x = 5.5f; d.y = 4.25f; d.w = 6; d.h = 1;
  d.pc = 1; d.fc = 0; d.bc = 15; d.oc = 1; d.th = 1;
  d.ch = strdup("Title:|500 mb");
  d.len = (int)strlen(d.ch);
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "500 mb\n");
  EXPECT_EQ(changed(before, snapshot()), 0);
  EXPECT_EQ(s.excnt, 0);
}

TEST_F(X11Test, RubberBandLeavesThePlotAsItWas) {
  paint_plot();
  gxdrbb(2, 1, 1, 1, 9, 7, -1);
  gxwide(12);
  gxptrn(2, 3, 45);
  gxcolr(3);
  gxrecf(0.2f, 0.6f, 0.2f, 0.6f);
  std::vector<unsigned long> before = snapshot();
  send_mouse(ButtonPress, 1, 100, 300);
  send_mouse(MotionNotify, 1, 150, 250);
  send_mouse(MotionNotify, 1, 300, 120);
  send_mouse(MotionNotify, 1, 420, 90);
  send_mouse(ButtonRelease, 1, 420, 90);
  int kind = 0, info[10];
  take_event(&kind, info);
  ASSERT_EQ(kind, 2);
  EXPECT_EQ(changed(before, snapshot()), 0);
}

// A server that offers backing store may still expose the window (the
// area under a closed child, a window shown again): what it exposes has
// lost its pixels and is drawn again.
TEST_F(X11Test, ExposureRedrawsOnAServerWithBackingStore) {
  x11state& s = x11st();
  ASSERT_TRUE(s.bsflg);
  gxcolr(2);
  gxrecf(1, 2, 1, 2);
  XSetForeground(s.display, s.gc, 0);
  XFillRectangle(s.display, s.win, s.gc, 0, 0, 550, 425);
  XEvent ex = {};
  ex.type = Expose;
  ex.xexpose.window = s.win;
  ex.xexpose.width = 550;
  ex.xexpose.height = 425;
  XSendEvent(s.display, s.win, False, 0, &ex);
  XSync(s.display, False);
  gxfrme(9);
  EXPECT_EQ(x11test::pixel(75, 425 - 75), x11test::rgb(250, 60, 60));
}
