// Widgets on the window and the mouse events that reach them: buttons,
// rubber bands, drop menus and their pop-ups, the event queue, resets and
// the redraw after a resize.
#include <cstring>

#include "gxtest.h"
#include "test_x11_util.h"

using x11test::click;
using x11test::pixel;
using x11test::rgb;
using x11test::send_mouse;

using x11test::menu;

namespace {

btnrec button(float x, float y, float w, float h, const char* label) {
  btnrec b;
  b.x = x;
  b.y = y;
  b.w = w;
  b.h = h;
  b.fc = 1; b.bc = 4; b.oc1 = 2; b.oc2 = 3;
  b.ffc = 1; b.fbc = 5; b.foc1 = 3; b.foc2 = 2;
  b.thk = 1;
  b.ch = strdup(label);
  b.len = (int)strlen(label);
  return b;
}

struct event {
  float x = 0, y = 0;
  int button = 0, kind = 0;
  int info[10];
  float rinfo[4];
};

event read_event(int wait = 1) {
  event e;
  for (int& i : e.info) i = -77;
  for (float& r : e.rinfo) r = -77;
  gxdbtn(wait, &e.x, &e.y, &e.button, &e.kind, e.info, e.rinfo);
  return e;
}

}  // namespace

TEST_F(X11Test, ButtonGeometryFaceAndObjectRow) {
  x11state& s = x11st();
  btnrec b = button(5, 4, 2, 1, "Go");
  gxdpbn(3, &b, 0, 0, -1);
  EXPECT_EQ(b.ch, nullptr);  // the table owns the label now
  ASSERT_EQ(s.obnum, 1);
  const objrec& o = s.obj[0];
  EXPECT_EQ(o.type, 1);
  EXPECT_EQ(o.i2 - o.i1, 98);
  EXPECT_EQ(o.j2 - o.j1, 48);
  EXPECT_EQ(o.i1, 250 - 49 + 1);
  EXPECT_EQ(pixel(o.i1 + 5, o.j1 + 5), rgb(30, 60, 255));         // face
  EXPECT_EQ(pixel(o.i1 + 20, o.j2), rgb(250, 60, 60));            // bottom edge
  EXPECT_EQ(pixel(o.i1, o.j1 + 20), rgb(0, 220, 0));              // left edge
  EXPECT_EQ(s.btn[3].num, 3);
  EXPECT_STREQ(s.btn[3].ch, "Go");
}

TEST_F(X11Test, ClickingAButtonFlipsItsState) {
  x11state& s = x11st();
  btnrec b = button(5, 4, 2, 1, "Go");
  gxdpbn(7, &b, 0, 0, -1);
  click(1, 250, 225);
  event e = read_event();
  EXPECT_EQ(e.kind, 1);
  EXPECT_EQ(e.button, 1);
  EXPECT_EQ(e.info[0], 7);
  EXPECT_EQ(e.info[1], 1);
  EXPECT_NEAR(e.x, 5, 0.03);
  EXPECT_NEAR(e.y, 8.5 - 225 / 50.0, 0.03);
  EXPECT_EQ(s.btn[7].state, 1);
  EXPECT_EQ(pixel(s.btn[7].x1 + 5, s.btn[7].y1 + 5), rgb(0, 200, 200));  // state 1 face
  click(2, 250, 225);
  e = read_event();
  EXPECT_EQ(e.info[1], 0);
  EXPECT_EQ(e.button, 2);
  EXPECT_EQ(pixel(s.btn[7].x1 + 5, s.btn[7].y1 + 5), rgb(30, 60, 255));
}

TEST_F(X11Test, PressesOutsideOnBordersAndOverlaps) {
  x11state& s = x11st();
  btnrec a = button(5, 4, 2, 1, "A");
  btnrec b = button(5.5f, 4, 2, 1, "B");
  gxdpbn(1, &a, 0, 0, -1);
  gxdpbn(2, &b, 0, 0, -1);
  send_mouse(ButtonPress, 1, 20, 20);  // outside every widget
  event e = read_event();
  EXPECT_EQ(e.kind, 0);
  EXPECT_EQ(e.info[0], 0);  // no handler ran: cleared, not left over
  send_mouse(ButtonPress, 1, s.obj[0].i1, 225);  // on the border of A
  send_mouse(ButtonPress, 1, 280, 225);          // A and B overlap: A first
  send_mouse(ButtonRelease, 1, 280, 225);
  e = read_event();
  EXPECT_EQ(e.kind, 0);
  e = read_event();
  EXPECT_EQ(e.kind, 1);
  EXPECT_EQ(e.info[0], 1);
}

TEST_F(X11Test, EventsAreReturnedInOrderAndEmptyQueueSaysSo) {
  send_mouse(ButtonPress, 1, 10, 10);
  send_mouse(ButtonPress, 2, 540, 10);
  send_mouse(ButtonPress, 3, 1, 424);
  event a = read_event(), b = read_event(), c = read_event();
  EXPECT_EQ(a.button, 1);
  EXPECT_EQ(b.button, 2);
  EXPECT_EQ(c.button, 3);
  EXPECT_NEAR(b.x, 10.8, 0.01);
  EXPECT_NEAR(b.y, 8.3, 0.01);
  EXPECT_NEAR(c.x, 0.02, 0.01);
  EXPECT_NEAR(c.y, 0.02, 0.01);
  event n = read_event(0);
  EXPECT_FLOAT_EQ(n.x, -999.9f);
  EXPECT_EQ(n.button, -1);
  EXPECT_EQ(n.kind, -1);
}

TEST_F(X11Test, RubberBandFollowsItsButtonAndReportsTheRelease) {
  gxdrbb(4, 1, 1, 1, 5, 5, 3);  // pixels 50..250 across, 175..375 down
  send_mouse(ButtonPress, 1, 100, 300);  // wrong button: a plain press
  event e = read_event();
  EXPECT_EQ(e.kind, 0);
  send_mouse(ButtonPress, 3, 100, 300);
  send_mouse(MotionNotify, 3, 150, 250);
  send_mouse(MotionNotify, 3, 400, 100);  // beyond the region: clamped
  send_mouse(ButtonRelease, 3, 400, 100);
  e = read_event();
  EXPECT_EQ(e.kind, 2);
  EXPECT_EQ(e.info[0], 4);
  EXPECT_NEAR(e.x, 2, 0.01);
  EXPECT_NEAR(e.y, 2.5, 0.01);
  EXPECT_NEAR(e.rinfo[0], 5, 0.01);
  EXPECT_NEAR(e.rinfo[1], 5, 0.01);
  EXPECT_EQ(pixel(150, 250), 0u);  // the dragged shape is erased
}

TEST_F(X11Test, RedefiningAWidgetRetiresItsOldRegion) {
  btnrec a = button(2, 2, 1, 1, "A");
  gxdpbn(1, &a, 0, 0, -1);
  btnrec b = button(8, 6, 1, 1, "B");
  gxdpbn(1, &b, 0, 0, -1);
  gxdrbb(0, 1, 1, 4, 3, 6, -1);
  gxdrbb(0, 1, 7, 0.5f, 9, 2, -1);
  click(1, 100, 325);  // where button 1 was
  EXPECT_EQ(read_event().kind, 0);
  send_mouse(ButtonPress, 1, 100, 175);  // where rubber band 0 was
  send_mouse(ButtonRelease, 1, 100, 175);
  EXPECT_EQ(read_event().kind, 0);
  click(1, 400, 125);
  EXPECT_EQ(read_event().kind, 1);
}

TEST_F(X11Test, ResetOfOneWidgetAndOfAll) {
  x11state& s = x11st();
  btnrec a = button(5, 4, 2, 1, "A");
  gxdpbn(5, &a, 0, 0, -1);
  gxrs1wd(1, 5);
  EXPECT_EQ(s.obj[0].type, 0);
  EXPECT_EQ(s.btn[5].num, -1);
  EXPECT_EQ(s.btn[5].ch, nullptr);
  gxrs1wd(1, 5);  // nothing left to reset
  gxrs1wd(1, 256);
  gxrs1wd(9, 0);
  click(1, 250, 225);
  EXPECT_EQ(read_event().kind, 0);
  btnrec b = button(5, 4, 2, 1, "B");
  gxdpbn(6, &b, 0, 0, -1);
  gxfrme(1);  // a new frame resets the widgets and the object table
  EXPECT_EQ(s.btn[6].num, -1);
  EXPECT_EQ(s.obnum, 0);
}

TEST_F(X11Test, RedrawButtonReplacesLabelAndColours) {
  x11state& s = x11st();
  btnrec a = button(5, 4, 2, 1, "Old");
  gxdpbn(2, &a, 0, 0, -1);
  btnrec r = button(0, 0, 0, 0, "New");
  r.bc = 6;
  gxdpbn(2, &r, 3, 0, 0);
  EXPECT_STREQ(s.btn[2].ch, "New");
  EXPECT_EQ(s.btn[2].bc, 6);
  EXPECT_FLOAT_EQ(s.btn[2].x, 5);  // the geometry stays
  EXPECT_EQ(pixel(s.btn[2].x1 + 5, s.btn[2].y1 + 5), rgb(240, 0, 130));
  EXPECT_EQ(s.obnum, 1);  // a redraw takes no new object row
}

TEST_F(X11Test, TooManyWidgets) {
  x11state& s = x11st();
  for (int i = 0; i < GX_NOBJ; i++) gxdrbb(i % 32, 1, 0.1f, 0.1f, 0.2f, 0.2f, -1);
  // Each definition of the same band retires the old row but takes a new one.
  EXPECT_EQ(s.obnum, GX_NOBJ);
  btnrec a = button(5, 4, 2, 1, "A");
  testing::internal::CaptureStdout();
  gxdpbn(1, &a, 0, 0, -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Too many widgets on screen\n");
}

TEST_F(X11Test, DropMenuHeaderAndCascadeDefinitions) {
  x11state& s = x11st();
  dmenurec c = menu(0, 0, 0, 0, "One|Two|", 1);
  gxdrmu(12, &c, 0, -1);
  EXPECT_EQ(s.obnum, 0);  // a cascade has no header
  EXPECT_EQ(s.dmu[12].num, 12);
  dmenurec m = menu(2, 7, 2, 0.5f, "File|Open |Close |", 0);
  m.thick = 12;
  gxdrmu(1, &m, 0, -1);
  ASSERT_EQ(s.obnum, 1);
  EXPECT_EQ(s.obj[0].type, 3);
  const dmenurec& d = s.dmu[1];
  EXPECT_EQ(pixel(d.x1 + 10, d.y1 + 10), rgb(30, 60, 255));
  EXPECT_EQ(pixel(d.x1 + 10, d.y2 - 1), rgb(250, 60, 60));  // edges 2 deep at 12
  EXPECT_EQ(pixel(d.x1 + 10, d.y2 - 2), rgb(30, 60, 255));
}

TEST(X11Menu, CascadeMarkers) {
  int shown = 0;
  const char t1[] = "More >12>";
  EXPECT_EQ(gxdmcasc(t1, 9, &shown), 12);  // closing '>' is the last byte (the last item)
  EXPECT_EQ(shown, 5);
  EXPECT_EQ(gxdmcasc(t1, 10, &shown), 12);  // followed by a further byte
  EXPECT_EQ(shown, 5);
  EXPECT_EQ(gxdmcasc(t1, 8, &shown), -1);  // the marker cut short
  EXPECT_EQ(shown, 8);
  const char t2[] = "Deep >150>";
  EXPECT_EQ(gxdmcasc(t2, 11, &shown), 150);
  const char t3[] = "Bad >250>";
  EXPECT_EQ(gxdmcasc(t3, 11, &shown), -1);
  const char t4[] = "a>1>b";
  EXPECT_EQ(gxdmcasc(t4, 6, &shown), -1);
}

TEST_F(X11Test, DropMenuChoosesTheReleasedItem) {
  x11state& s = x11st();
  dmenurec m = menu(2, 7, 2, 0.5f, "File|Open |Save |Quit |", 0);
  gxdrmu(1, &m, 0, -1);
  const dmenurec& d = s.dmu[1];
  int hx = (d.x1 + d.x2) / 2, hy = (d.y1 + d.y2) / 2;
  send_mouse(ButtonPress, 1, hx, hy);
  // Rows are 2 ascents high from the header's bottom; the third item:
  XFontStruct* f = gxdfnt(1);
  ASSERT_NE(f, nullptr);
  int R = 2 * f->ascent;
  int iy = d.y2 + 2 * R + R / 2;
  send_mouse(MotionNotify, 1, d.x1 + 10, d.y2 + R / 2);
  send_mouse(MotionNotify, 1, d.x1 + 10, iy);
  send_mouse(ButtonRelease, 1, d.x1 + 10, iy);
  event e = read_event();
  EXPECT_EQ(e.kind, 3);
  EXPECT_EQ(e.info[0], 1);
  EXPECT_EQ(e.info[1], 3);
  for (int k = 2; k < 8; k++) EXPECT_EQ(e.info[k], -1) << k;
  EXPECT_EQ(s.dmrecu, -1);
  EXPECT_EQ(pixel(d.x1 + 5, iy), 0u);  // the area under the menu is back
}

TEST_F(X11Test, ClickOnHeaderKeepsMenuOpenUntilNextPress) {
  x11state& s = x11st();
  dmenurec m = menu(2, 7, 2, 0.5f, "File|Open |Save |", 0);
  gxdrmu(1, &m, 0, -1);
  const dmenurec& d = s.dmu[1];
  int hx = (d.x1 + d.x2) / 2, hy = (d.y1 + d.y2) / 2;
  int R = 2 * gxdfnt(1)->ascent;
  click(1, hx, hy);
  send_mouse(ButtonRelease, 1, 500, 400);  // released outside: still open
  send_mouse(ButtonPress, 1, d.x1 + 10, d.y2 + R + R / 2);
  send_mouse(ButtonRelease, 1, d.x1 + 10, d.y2 + R + R / 2);
  event e = read_event();
  EXPECT_EQ(e.kind, 3);
  EXPECT_EQ(e.info[0], 1);
  EXPECT_EQ(e.info[1], 2);
  EXPECT_EQ(read_event(0).kind, -1);  // the closing press is not queued
}

TEST_F(X11Test, CascadeOpensAfterDwellingOnItsItem) {
  x11state& s = x11st();
  dmenurec c = menu(0, 0, 0, 0, "Red|Green|Blue|Grey|", 1);
  gxdrmu(5, &c, 0, -1);
  dmenurec m = menu(2, 7, 2, 0.5f, "Edit|Copy |Colour >05>|Paste |", 0);
  gxdrmu(1, &m, 0, -1);
  const dmenurec& d = s.dmu[1];
  XFontStruct* f = gxdfnt(1);
  int A = f->ascent, R = 2 * A;
  int W0 = XTextWidth(f, "Paste", 5);
  if (XTextWidth(f, "Copy ", 5) > W0) W0 = XTextWidth(f, "Copy ", 5);
  if (XTextWidth(f, "Colour", 6) > W0) W0 = XTextWidth(f, "Colour", 6);
  W0 += A + XTextWidth(f, "xxx", 3);
  int right0 = d.x1 + W0;
  send_mouse(ButtonPress, 1, (d.x1 + d.x2) / 2, (d.y1 + d.y2) / 2);
  send_mouse(MotionNotify, 1, d.x1 + 5, d.y2 + R / 2);  // on Copy
  int iy = d.y2 + R + R / 2;                             // on Colour
  for (int i = 0; i < 6; i++) send_mouse(MotionNotify, 1, d.x1 + 5 + i, iy);
  // The cascade opens beside the menu at the item's row: its fourth item.
  int cy = d.y2 + R + 1 + 3 * R + R / 2;
  send_mouse(MotionNotify, 1, right0 + 5, cy);
  send_mouse(ButtonRelease, 1, right0 + 5, cy);
  event e = read_event();
  EXPECT_EQ(e.kind, 3);
  int want[8] = {1, 2, 5, 4, -1, -1, -1, -1};
  for (int k = 0; k < 8; k++) EXPECT_EQ(e.info[k], want[k]) << k;
  EXPECT_EQ(s.dmrecu, -1);
}

TEST_F(X11Test, ResizeRebuildsTheObjectTableInOrder) {
  x11state& s = x11st();
  dmenurec m = menu(2, 7, 2, 0.5f, "File|Open |", 0);
  gxdrmu(0, &m, 0, -1);
  gxdrbb(3, 1, 1, 1, 5, 5, -1);
  btnrec b = button(8, 4, 2, 1, "B");
  gxdpbn(9, &b, 0, 0, -1);
  gxdxsz(1100, 850);
  for (int i = 0; i < 50 && s.width != 1100; i++) {
    usleep(20000);
    gxfrme(8);
  }
  ASSERT_EQ(s.width, 1100);
  ASSERT_EQ(s.obnum, 3);
  EXPECT_EQ(s.obj[0].type, 1);
  EXPECT_EQ(s.obj[1].type, 2);
  EXPECT_EQ(s.obj[2].type, 3);
  EXPECT_EQ(s.obj[0].i2 - s.obj[0].i1, 198);  // 2 inches at 100 pixels per inch
  EXPECT_EQ(s.obj[1].i1, 100);
}

TEST_F(X11Test, SwapHandsTheWidgetsToTheShownFrame) {
  x11state& s = x11st();
  gxfrme(2);
  btnrec b = button(5, 4, 2, 1, "B");
  gxdpbn(4, &b, 0, 0, -1);
  EXPECT_EQ(s.btn2[4].num, 4);
  EXPECT_EQ(s.btn[4].num, -1);
  EXPECT_EQ(s.obnum2, 1);
  click(1, 250, 225);  // the window shows no widgets yet
  EXPECT_EQ(read_event().kind, 0);
  gxfrme(2);
  EXPECT_EQ(s.btn[4].num, 4);
  EXPECT_STREQ(s.btn[4].ch, "B");
  EXPECT_EQ(s.btn2[4].num, -1);
  EXPECT_EQ(s.obnum, 1);
  EXPECT_EQ(s.obnum2, 0);
  EXPECT_EQ(s.obj[0].iob, &s.btn[4]);
  click(1, 250, 225);
  event e = read_event();
  EXPECT_EQ(e.kind, 1);
  EXPECT_EQ(e.info[0], 4);
  gxfrme(1);
}

TEST_F(X11Test, MenusStayInsideTheWindow) {
  x11state& s = x11st();
  dmenurec m = menu(10.5f, 0.3f, 0.8f, 0.4f, "Far|Alpha |Beta |Gamma |", 0);
  gxdrmu(2, &m, 0, -1);
  const dmenurec& d = s.dmu[2];
  click(1, (d.x1 + d.x2) / 2, (d.y1 + d.y2) / 2);
  send_mouse(ButtonPress, 1, 5, 5);  // the next press closes it with no choice
  event e = read_event();
  EXPECT_EQ(e.kind, 3);
  EXPECT_EQ(e.info[0], 2);
  EXPECT_EQ(e.info[1], 0);
  EXPECT_EQ(s.dmi2[0], d.x1);  // opened to the left of the header
  EXPECT_LT(s.dmi1[0], d.x1);
  EXPECT_EQ(s.dmj2[0], s.height);  // moved up to end at the bottom
}

TEST_F(X11Test, DraggingOntoAnotherHeaderOpensItsMenu) {
  x11state& s = x11st();
  dmenurec a = menu(2, 8, 2, 0.4f, "First|One |Two |", 0);
  dmenurec b = menu(6, 8, 2, 0.4f, "Second|Three |Four |", 0);
  gxdrmu(3, &a, 0, -1);
  gxdrmu(4, &b, 0, -1);
  const dmenurec& da = s.dmu[3];
  const dmenurec& db = s.dmu[4];
  int R = 2 * gxdfnt(1)->ascent;
  send_mouse(ButtonPress, 1, (da.x1 + da.x2) / 2, (da.y1 + da.y2) / 2);
  send_mouse(MotionNotify, 1, (db.x1 + db.x2) / 2, (db.y1 + db.y2) / 2);
  send_mouse(MotionNotify, 1, db.x1 + 5, db.y2 + R / 2);
  send_mouse(ButtonRelease, 1, db.x1 + 5, db.y2 + R / 2);
  event e = read_event();
  EXPECT_EQ(e.kind, 3);
  EXPECT_EQ(e.info[0], 4);
  EXPECT_EQ(e.info[1], 1);
  EXPECT_EQ(read_event(0).kind, -1);  // one press, one event
}

// The second header at the window's foot: its menu is moved up over it,
// under the pointer, and the release there chooses nothing.
TEST_F(X11Test, MenuDraggedOpenUnderThePointerWaitsForAChoice) {
  x11state& s = x11st();
  dmenurec a = menu(2, 8, 2, 0.4f, "First|One |Two |", 0);
  dmenurec b = menu(6, 0.3f, 2, 0.4f, "Second|Three |Four |", 0);
  gxdrmu(3, &a, 0, -1);
  gxdrmu(4, &b, 0, -1);
  const dmenurec& da = s.dmu[3];
  const dmenurec& db = s.dmu[4];
  send_mouse(ButtonPress, 1, (da.x1 + da.x2) / 2, (da.y1 + da.y2) / 2);
  send_mouse(MotionNotify, 1, db.x1 + 5, (db.y1 + db.y2) / 2);
  send_mouse(ButtonRelease, 1, db.x1 + 5, (db.y1 + db.y2) / 2);
  click(1, 20, 200);  // away from the menus: it closes
  event e = read_event();
  EXPECT_EQ(e.info[0], 4);
  EXPECT_EQ(e.info[1], 0);
}

TEST_F(X11Test, ExposureRedrawsFromTheDisplayList) {
  x11state& s = x11st();
  s.bsflg = 0;  // as on a server that keeps no window contents
  gxcolr(2);
  gxrecf(1, 2, 1, 2);
  btnrec b = button(8, 4, 2, 1, "B");
  gxdpbn(1, &b, 0, 0, -1);
  XSetForeground(s.display, s.gc, 0);
  XFillRectangle(s.display, s.win, s.gc, 0, 0, 550, 425);  // contents lost
  XEvent ex = {};
  ex.type = Expose;
  ex.xexpose.window = s.win;
  ex.xexpose.width = 550;
  ex.xexpose.height = 425;
  s.excnt = 1;  // one exposure to ignore (a pop-up closed)
  XSendEvent(s.display, s.win, False, 0, &ex);
  XSync(s.display, False);
  gxfrme(9);
  EXPECT_EQ(pixel(75, 425 - 75), 0u);
  EXPECT_EQ(s.excnt, 0);
  XSendEvent(s.display, s.win, False, 0, &ex);
  XSync(s.display, False);
  gxfrme(9);
  EXPECT_EQ(pixel(75, 425 - 75), rgb(250, 60, 60));
  EXPECT_EQ(pixel(s.btn[1].x1 + 5, s.btn[1].y1 + 5), rgb(30, 60, 255));
  EXPECT_EQ(s.obnum, 1);
}

TEST_F(X11Test, WidgetsKeptByFrameActionSevenStillAnswer) {
  x11state& s = x11st();
  btnrec b = button(5, 4, 2, 1, "Go");
  gxdpbn(2, &b, 0, 0, -1);
  gxdrbb(1, 1, 7, 1, 9, 3, -1);
  gxfrme(7);  // clears the window and redraws the widgets
  EXPECT_EQ(s.obnum, 2);
  EXPECT_EQ(pixel(s.btn[2].x1 + 5, s.btn[2].y1 + 5), rgb(30, 60, 255));
  click(1, 250, 225);
  event e = read_event();
  EXPECT_EQ(e.kind, 1);
  EXPECT_EQ(e.info[0], 2);
}

TEST_F(X11Test, WidgetsResetByAFrameActionNoLongerAnswer) {
  btnrec b = button(5, 4, 2, 1, "Go");
  gxdpbn(2, &b, 0, 0, -1);
  gxfrme(3);  // resets the shown widgets, keeps the window
  click(1, 250, 225);
  event e = read_event();
  EXPECT_EQ(e.kind, 0);
}

// Each item shows its whole text, blanks at its end left out, and a
// cascade item its name without the marker: the rows of the open menu,
// read by a second client, against the same texts drawn apart.
TEST_F(X11Test, DropMenuItemsShowTheirWholeText) {
  x11state& s = x11st();
  dmenurec m = menu(2, 7, 2, 0.5f, "Field | slp | t | z|Open|More >05>|", 0);
  gxdrmu(1, &m, 0, -1);
  const dmenurec& d = s.dmu[1];
  click(1, (d.x1 + d.x2) / 2, (d.y1 + d.y2) / 2);  // opens it until the next press
  Window win = s.win;
  int fd = -1;
  pid_t pid = x11test::second_client(&fd, [win](Display* c, int out) {
    Window w = x11test::mapped_child(c, win);
    if (!w) return;
    std::vector<uint32_t> a, b;
    int W = 0, H = 0;
    for (int i = 0; i < 200; i++) {  // until the drawing has settled
      a = b;
      usleep(20000);
      b = x11test::window_pixels(c, w, &W, &H);
      if (i > 2 && a == b) break;
    }
    x11test::put_pixels(out, b, W, H);
    XEvent e = {};
    Window child;
    int rx = 0, ry = 0;
    XTranslateCoordinates(c, win, DefaultRootWindow(c), 5, 5, &rx, &ry, &child);
    e.type = ButtonPress;
    e.xbutton.window = win;
    e.xbutton.root = DefaultRootWindow(c);
    e.xbutton.x = 5;
    e.xbutton.y = 5;
    e.xbutton.x_root = rx;
    e.xbutton.y_root = ry;
    e.xbutton.button = 1;
    e.xbutton.same_screen = True;
    XSendEvent(c, win, False, 0, &e);  // a press away from it closes it
    XSync(c, False);
  });
  ASSERT_GT(pid, 0);
  event e = read_event();
  int W = 0, H = 0;
  std::vector<uint32_t> shown = x11test::get_pixels(fd, &W, &H);
  close(fd);
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_EQ(e.kind, 3);
  EXPECT_EQ(e.info[1], 0);
  ASSERT_FALSE(shown.empty());

  const char* want[] = {" slp", " t", " z", "Open", "More"};
  XFontStruct* f = gxdfnt(1);
  int A = f->ascent, R = 2 * A;
  ASSERT_EQ(H, 5 * R);
  ASSERT_EQ(W, XTextWidth(f, " slp ", 5) + A + XTextWidth(f, "xxx", 3));
  Pixmap ref = XCreatePixmap(s.display, s.win, (unsigned)W, (unsigned)H, (unsigned)s.depth);
  GC gc = XCreateGC(s.display, ref, 0, nullptr);
  XSetForeground(s.display, gc, gxdpix(15));
  XFillRectangle(s.display, ref, gc, 0, 0, (unsigned)W, (unsigned)H);
  XSetForeground(s.display, gc, gxdpix(1));
  XSetFont(s.display, gc, f->fid);
  for (int i = 0; i < 5; i++)
    XDrawString(s.display, ref, gc, R / 4, (i + 1) * R - R / 3, want[i], (int)strlen(want[i]));
  XImage* im = XGetImage(s.display, ref, 0, 0, (unsigned)W, (unsigned)H, AllPlanes, ZPixmap);
  ASSERT_NE(im, nullptr);
  int textright = W - 3 * (R / 5) - 2;  // left of a cascade arrow
  for (int i = 0; i < 5; i++) {
    int differ = 0;
    for (int y = i * R + 2; y <= (i + 1) * R - 3; y++)
      for (int x = 2; x < textright; x++)
        differ += shown[(size_t)(y * W + x)] != (uint32_t)(XGetPixel(im, x, y) & 0xffffff);
    EXPECT_EQ(differ, 0) << want[i];
  }
  XDestroyImage(im);
  XFreeGC(s.display, gc);
  XFreePixmap(s.display, ref);
}
