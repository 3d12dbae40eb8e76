// The window in the states a window manager puts it in (iconified,
// covered, partly off the screen, the focus moved, resized) while a menu
// or a dialog box waits: nothing freezes, nothing is left black, no key is
// lost.  Each test runs openbox or twm on its own Xvfb and acts on the
// window from a second client, with xdotool for the user's hands.
#include <sys/wait.h>

#include <cstring>
#include <thread>

#include "base/cmnstate.h"
#include "gxtest.h"
#include "test_x11_wm.h"

using namespace x11test;

namespace {

dlgrec box(const char* text, float x, float y, float w, float h) {
  dlgrec d;
  d.x = x; d.y = y; d.w = w; d.h = h;
  d.pc = 1; d.fc = 0; d.bc = 15; d.oc = 1; d.th = 1;
  d.ch = strdup(text);
  d.len = (int)strlen(d.ch);
  return d;
}

void take_event(int* kind, int info[10]) {
  float x, y, r[4];
  int button;
  gxdbtn(1, &x, &y, &button, kind, info, r);
}

// The black pixels of window w outside the rectangles skip (window
// pixels): the painted plot has none.
long blacks(Display* d, Window w, const std::vector<place>& skip) {
  int W = 0, H = 0;
  std::vector<uint32_t> px = window_pixels(d, w, &W, &H);
  if (px.empty()) return -1;
  long n = 0;
  for (int y = 0; y < H; y++) {
    for (int x = 0; x < W; x++) {
      bool out = true;
      for (const place& p : skip) out = out && !(x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h);
      if (out && px[(size_t)y * W + x] == 0) n++;
    }
  }
  return n;
}

// A child window's rectangle inside its parent.
place inside(Display* d, Window w) {
  XWindowAttributes a;
  place p;
  if (XGetWindowAttributes(d, w, &a)) p = {a.x, a.y, a.width, a.height};
  return p;
}

void report(int fd, long v) {
  if (write(fd, &v, sizeof v) != (ssize_t)sizeof v) {}
}

long reported(int fd) {
  long v = -99;
  if (read(fd, &v, sizeof v) != (ssize_t)sizeof v) return -99;
  return v;
}

void finish(pid_t pid, int fd) {
  int st;
  waitpid(pid, &st, 0);
  close(fd);
}

void iconify() {
  x11state& s = x11st();
  XIconifyWindow(s.display, s.win, s.snum);
  XSync(s.display, False);
  ASSERT_TRUE(wait_for([&] { return map_state(s.display, s.win) != IsViewable; }));
}

// Drop menu 1 at the header given, whose fourth item opens cascade menu 5.
void colour_menus(float x, float y, float w, float h) {
  dmenurec c = menu(0, 0, 0, 0, "Red|Green|Blue|Grey", 1);
  gxdrmu(5, &c, 0, -1);
  dmenurec m = menu(x, y, w, h, "Field|slp|t|Colour >05>|z", 0);
  gxdrmu(1, &m, 0, -1);
}

// The two open menu levels, the menu and its cascade, once both show.
std::vector<Window> both_levels(Display* d, Window win) {
  std::vector<Window> kids;
  wait_for([&] {
    kids = children(d, win);
    return kids.size() == 2 && map_state(d, kids[1]) == IsViewable;
  });
  return kids;
}

// Push button 1 "Go" at (2, 2) and rubber band 2 over (5..9, 1..7).
void button_and_band() {
  btnrec b;
  b.x = 2; b.y = 2; b.w = 1.5f; b.h = 0.5f;
  b.fc = 1; b.bc = 4; b.oc1 = 2; b.oc2 = 3; b.ffc = 1; b.fbc = 5; b.foc1 = 3; b.foc2 = 2;
  b.thk = 1;
  b.ch = strdup("Go");
  b.len = 2;
  gxdpbn(1, &b, 0, 0, -1);
  gxdrbb(2, 1, 5, 1, 9, 7, -1);
}

std::string click_at(int x, int y) {
  return "mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1";
}

}  // namespace

TEST_F(X11WmTest, IconifiedWindowDialogEndsOnInterrupt) {
  open("openbox");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  iconify();
  gcmn.sigflg = 0;
  std::thread user([win = s.win] {
    Display* d = XOpenDisplay(nullptr);
    wait_for([&] { return any_child(d, win) != 0; });
    gcmn.sigflg = 1;  // Ctrl-C at the terminal
    XCloseDisplay(d);
  });
  dlgrec d = box("Your name?", -1, -1, -1, -1);
  std::string r = gxdlg(&d);
  user.join();
  gcmn.sigflg = 0;
  EXPECT_EQ(r, "\n");
}

TEST_F(X11WmTest, IconifiedWindowDialogAnsweredAfterRestoreLeavesThePlot) {
  open("openbox");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  std::vector<unsigned long> before = snapshot();
  iconify();
  int fd = -1;
  pid_t pid = second_client(&fd, [win = s.win](Display* d, int) {
    Window b = 0;
    wait_for([&] { return (b = any_child(d, win)) != 0; });
    XMapRaised(d, win);  // the user restores the window
    XSync(d, False);
    wait_for([&] { return map_state(d, b) == IsViewable; });
    xdo("type --delay 20 Bob");
    xdo("key Return");
  });
  dlgrec d = box("Your name?", -1, -1, -1, -1);
  std::string r = gxdlg(&d);
  finish(pid, fd);
  EXPECT_EQ(r, "Bob\n");
  EXPECT_EQ(changed(before, snapshot()), 0);
}

// twm raises no window on a click: the menu would open under the window
// that covers the place below its header.
TEST_F(X11WmTest, MenuUnderACoveringWindowOpensOnTop) {
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  dmenurec m = menu(1.5f, 8.0f, 1.5f, 0.4f, "Field|slp|t|z", 0);
  gxdrmu(1, &m, 0, -1);
  const dmenurec& h = s.dmu[1];
  place w = where(s.display, s.win);
  Display* other = XOpenDisplay(nullptr);
  Window c = cover(other, w.x, w.y + h.y2 + 2, w.w, w.h - h.y2 - 2);
  int R = 2 * gxdfnt(1)->ascent;
  int hx = w.x + (h.x1 + h.x2) / 2, hy = w.y + (h.y1 + h.y2) / 2;
  int ix = w.x + h.x1 + 5, iy = w.y + h.y2 + 2 * R + R / 2;  // the third item
  int fd = -1;
  pid_t pid = second_client(&fd, [&, win = s.win](Display* d, int out) {
    xdo(click_at(hx, hy));
    Window mw = 0;
    wait_for([&] { return (mw = any_child(d, win)) != 0 && map_state(d, mw) == IsViewable; });
    // The menu, not the covering window, is what the screen shows there.
    Window top = 0;
    wait_for([&] {
      Window root, child;
      int rx, ry, wx, wy;
      unsigned mask;
      XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, ix, iy);
      XSync(d, False);
      XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask);
      top = child;
      return child != c;
    });
    report(out, top != c);
    xdo("click 1");  // the pointer is on the item already
  });
  int kind = 0, info[10];
  take_event(&kind, info);
  EXPECT_EQ(reported(fd), 1);
  finish(pid, fd);
  XDestroyWindow(other, c);
  XCloseDisplay(other);
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(info[0], 1);
  EXPECT_EQ(info[1], 3);
}

TEST_F(X11WmTest, CascadePastTheScreenEdgeOpensOnTheScreen) {
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  colour_menus(1.5f, 8.0f, 1.5f, 0.4f);
  const dmenurec& h = s.dmu[1];
  XFontStruct* f = gxdfnt(1);
  int right = h.x1 + XTextWidth(f, "Colour", 6) + f->ascent + XTextWidth(f, "xxx", 3);
  // The window moved so that the screen ends where the cascade would open.
  place w = where(s.display, s.win);
  int sw = DisplayWidth(s.display, s.snum);
  for (int i = 0; i < 3 && w.x + right != sw; i++) {
    XMoveWindow(s.display, s.win, sw - right, w.y);
    XSync(s.display, False);
    int want = w.x + (sw - right - w.x);
    wait_for([&] { return (w = where(s.display, s.win)).x == want; });
  }
  ASSERT_GE(w.x + right, sw);
  int R = 2 * f->ascent;
  int hx = w.x + (h.x1 + h.x2) / 2, hy = w.y + (h.y1 + h.y2) / 2;
  int ix = w.x + h.x1 + 5, iy = w.y + h.y2 + 2 * R + R / 2;  // the cascade item
  int fd = -1;
  pid_t pid = second_client(&fd, [&, win = s.win](Display* d, int out) {
    xdo(click_at(hx, hy));
    xdo(click_at(ix, iy));
    std::vector<Window> kids = both_levels(d, win);
    if (kids.size() != 2) return;
    place p = where(d, kids[1]);
    report(out, p.x >= 0 && p.x + p.w <= DisplayWidth(d, DefaultScreen(d)));
    xdo(click_at(p.x + p.w / 2, p.y + R + R / 2));  // its second item
  });
  int kind = 0, info[10];
  take_event(&kind, info);
  EXPECT_EQ(reported(fd), 1);
  finish(pid, fd);
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(info[2], 5);
  EXPECT_EQ(info[3], 2);
}

// A server without backing store, a window covering part of the plot,
// and the window raised while a dialog is open: the part that was hidden
// is drawn, never put back black, during the dialog and after it.
TEST_F(X11WmTest, HiddenPartIsDrawnNotPutBackBlack) {
  open("openbox", false);
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  std::vector<unsigned long> before = snapshot();
  place w = where(s.display, s.win);
  Display* other = XOpenDisplay(nullptr);
  Window c = cover(other, w.x + 300, w.y + 50, 400, 300);
  int fd = -1;
  pid_t pid = second_client(&fd, [win = s.win](Display* d, int out) {
    Window b = 0;
    wait_for([&] { return (b = any_child(d, win)) != 0 && map_state(d, b) == IsViewable; });
    // A click on the title bar.  A manager busy with another request may
    // drop the activation: it is asked again.
    for (int i = 0; i < 2 && !xdo("windowactivate --sync " + std::to_string(win)); i++) {}
    long n = -1;
    wait_for([&] { return (n = blacks(d, win, {inside(d, b)})) == 0; });
    report(out, n);
    xdo("key Return");
  });
  dlgrec d = box("Title:|500 mb", 2.5f, 4.25f, 4, 1);
  std::string r = gxdlg(&d);
  EXPECT_EQ(reported(fd), 0);
  finish(pid, fd);
  XDestroyWindow(other, c);
  XCloseDisplay(other);
  EXPECT_EQ(r, "500 mb\n");
  EXPECT_EQ(changed(before, snapshot()), 0);
}

TEST_F(X11WmTest, OpenMenusAreRepaintedWhenUncoveredAndResized) {
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  colour_menus(4, 6, 2, 0.5f);
  const dmenurec& h = s.dmu[1];
  int R = 2 * gxdfnt(1)->ascent;
  send_mouse(ButtonPress, 1, (h.x1 + h.x2) / 2, (h.y1 + h.y2) / 2);
  send_mouse(MotionNotify, 1, h.x1 + 5, h.y2 + R / 2);
  int iy = h.y2 + 2 * R + R / 2;  // on the cascade item, long enough to open it
  for (int i = 0; i < 7; i++) send_mouse(MotionNotify, 1, h.x1 + 5 + i, iy);
  int fd = -1;
  pid_t pid = second_client(&fd, [&, win = s.win](Display* d, int out) {
    std::vector<Window> kids = both_levels(d, win);
    if (kids.size() != 2) return;
    int w0, h0, w1, h1;
    std::vector<uint32_t> m0 = window_pixels(d, kids[0], &w0, &h0);
    std::vector<uint32_t> m1 = window_pixels(d, kids[1], &w1, &h1);
    // A window passed over both menus and part of the plot.
    place a = where(d, kids[0]), b = where(d, kids[1]);
    Window cv = cover(d, a.x - 20, a.y - 20, b.x + b.w - a.x + 40, b.y + b.h - a.y + 40);
    XDestroyWindow(d, cv);
    XSync(d, False);
    long diff = -1;
    wait_for([&] {
      int W, H;
      std::vector<uint32_t> n0 = window_pixels(d, kids[0], &W, &H);
      std::vector<uint32_t> n1 = window_pixels(d, kids[1], &W, &H);
      diff = 0;
      for (size_t i = 0; i < m0.size() && i < n0.size(); i++) diff += m0[i] != n0[i];
      for (size_t i = 0; i < m1.size() && i < n1.size(); i++) diff += m1[i] != n1[i];
      return diff == 0;
    });
    report(out, diff);
    long n = -1;
    auto menus = [&] { return std::vector<place>{inside(d, kids[0]), inside(d, kids[1])}; };
    wait_for([&] { return (n = blacks(d, win, menus())) == 0; });
    report(out, n);
    // Larger: the plot is drawn at the new size around the open menus.
    XResizeWindow(d, win, 660, 510);
    XSync(d, False);
    wait_for([&] { return where(d, win).w == 660 && (n = blacks(d, win, menus())) == 0; });
    report(out, n);
    place p = where(d, kids[1]);
    xdo(click_at(p.x + p.w / 2, p.y + R + R / 2));  // the cascade's second item
  });
  int kind = 0, info[10];
  take_event(&kind, info);
  EXPECT_EQ(reported(fd), 0);  // the menus as they were
  EXPECT_EQ(reported(fd), 0);  // the plot around them
  EXPECT_EQ(reported(fd), 0);  // the plot at the new size
  finish(pid, fd);
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(info[2], 5);
  EXPECT_EQ(info[3], 2);
  // Closed: what the menus covered is the plot at the new size, as a
  // redraw gives it, not the copies taken at the old one.
  std::vector<unsigned long> closed = snapshot();
  gxdrdw();
  EXPECT_EQ(changed(closed, snapshot()), 0);
}

class X11WmBoth : public X11WmTest, public testing::WithParamInterface<const char*> {};

// openbox gives the focus to the window clicked outside the box; twm gives
// it to the window under the pointer.  The keys reach the box either way.
TEST_P(X11WmBoth, DialogKeysReachTheBoxWhereverTheFocusGoes) {
  open(GetParam());
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  place w = where(s.display, s.win);
  Display* other = XOpenDisplay(nullptr);
  Window c = cover(other, w.x + w.w + 20, w.y, 200, 200);
  place cp = where(other, c);
  bool twm = std::string(GetParam()) == "twm";
  int fd = -1;
  pid_t pid = second_client(&fd, [&, win = s.win](Display* d, int) {
    Window b = 0;
    wait_for([&] { return (b = any_child(d, win)) != 0 && map_state(d, b) == IsViewable; });
    if (twm) xdo("mousemove --sync " + std::to_string(cp.x + 100) + " " + std::to_string(cp.y + 100));
    else xdo(click_at(w.x + 20, w.y + 20));
    xdo("type --delay 20 xyz");
    xdo("key Return");
  });
  dlgrec d = box("Name|", 5.5f, 4.25f, 4, 0.5f);
  std::string r = gxdlg(&d);
  finish(pid, fd);
  XDestroyWindow(other, c);
  XCloseDisplay(other);
  EXPECT_EQ(r, "xyz\n");
}

INSTANTIATE_TEST_SUITE_P(Managers, X11WmBoth, testing::Values("openbox", "twm"),
                         [](const testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param);
                         });

// Keys the keyboard map lacks by default, given spare key codes before the
// package connects, so that its keyboard map has them.
void add_keys(const std::vector<KeySym>& syms) {
  Display* d = kept_display();
  int lo, hi, per;
  XDisplayKeycodes(d, &lo, &hi);
  KeySym* map = XGetKeyboardMapping(d, (KeyCode)lo, hi - lo + 1, &per);
  size_t k = 0;
  for (int code = hi; code >= lo && k < syms.size(); code--) {
    bool unused = true;
    for (int j = 0; j < per; j++) unused = unused && map[(code - lo) * per + j] == NoSymbol;
    if (!unused) continue;
    KeySym one = syms[k++];
    XChangeKeyboardMapping(d, code, 1, &one, 1);
  }
  XFree(map);
  XSync(d, False);
}

TEST_F(X11WmTest, DialogEditsTheLineAsAtTheConsole) {
  if (start_server()) add_keys({XK_udiaeresis, XK_ntilde, XK_EuroSign});
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  type_text("bc");
  send_key(XK_Home);
  type_text("a");
  send_key(XK_End);
  type_text("d");
  send_key(XK_a, false, ControlMask);
  type_text("X");
  send_key(XK_e, false, ControlMask);
  type_text("Y");  // XabcdY
  send_key(XK_Left);
  send_key(XK_Left);
  send_key(XK_BackSpace);  // Xab|dY
  send_key(XK_Delete);     // Xab|Y
  send_key(XK_u, false, ControlMask);  // |Y
  // No control key, no key held with Alt, and no key the box cannot
  // show, types a character.
  send_key(XK_x, false, ControlMask);
  send_key(XK_x, false, Mod1Mask);
  send_key(XK_Escape);
  send_key(XK_F5);
  send_key(XK_Shift_L);
  send_key(XK_e, false, ControlMask);
  type_text(" Z");
  send_key(XK_udiaeresis);
  type_text("rich ");
  send_key(XK_EuroSign);
  type_text("5 ");
  send_key(XK_ntilde);
  send_key(XK_Return);
  dlgrec d = box("Name|", 5.5f, 4.25f, 6, 0.5f);
  EXPECT_EQ(gxdlg(&d), "Y Z\xfcrich 5 \xf1\n");
}

TEST_F(X11WmTest, CascadeOnTheLastItemOpens) {
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  dmenurec c = menu(0, 0, 0, 0, " Sub one | Sub two", 1);
  gxdrmu(21, &c, 0, -1);
  dmenurec m = menu(2, 6, 1.5f, 0.3f, "Items | x | Last >21>", 0);
  gxdrmu(3, &m, 0, -1);
  const dmenurec& h = s.dmu[3];
  XFontStruct* f = gxdfnt(1);
  int R = 2 * f->ascent;
  send_mouse(ButtonPress, 1, (h.x1 + h.x2) / 2, (h.y1 + h.y2) / 2);
  send_mouse(MotionNotify, 1, h.x1 + 5, h.y2 + R / 2);
  int iy = h.y2 + R + R / 2;  // the last item, long enough to open its cascade
  for (int i = 0; i < 7; i++) send_mouse(MotionNotify, 1, h.x1 + 5 + i, iy);
  int right = h.x1 + XTextWidth(f, " Last", 5) + f->ascent + XTextWidth(f, "xxx", 3);
  int cx = right + 5, cy = h.y2 + R + 1 + R + R / 2;
  send_mouse(MotionNotify, 1, cx, cy);
  send_mouse(ButtonRelease, 1, cx, cy);
  int kind = 0, info[10];
  take_event(&kind, info);
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(info[1], 2);
  EXPECT_EQ(info[2], 21);
  EXPECT_EQ(info[3], 2);
}

// A click queued on a menu as it closed is the menu's, not the window's:
// it is not handed out as a position in the window.
TEST_F(X11WmTest, ClickOnAMenuThatHasGoneIsNoPosition) {
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  Window gone = XCreateSimpleWindow(s.display, s.win, 50, 40, 80, 60, 0, 0, 0);
  XSelectInput(s.display, gone, ButtonPressMask);
  XMapWindow(s.display, gone);
  XEvent e = {};
  e.type = ButtonPress;
  e.xbutton.window = gone;
  e.xbutton.root = DefaultRootWindow(s.display);
  e.xbutton.x = 10;
  e.xbutton.y = 9;
  e.xbutton.button = 1;
  e.xbutton.same_screen = True;
  XSendEvent(s.display, gone, False, 0, &e);
  XDestroyWindow(s.display, gone);
  XSync(s.display, False);
  float x, y, r[4];
  int button, kind, info[10];
  gxdbtn(0, &x, &y, &button, &kind, info, r);
  EXPECT_EQ(button, -1);
  EXPECT_EQ(kind, -1);
}

// A press whose release never comes (the window taken away under the
// pointer) holds neither a button nor a rubber band past the interrupt.
TEST_F(X11WmTest, InterruptEndsTheWaitForARelease) {
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  button_and_band();
  float x, y, r[4];
  int button, kind, info[10];
  gcmn.sigflg = 1;  // Ctrl-C once the press has been taken
  send_mouse(ButtonPress, 1, gxdpx(2), gxdpy(2));
  gxdbtn(1, &x, &y, &button, &kind, info, r);
  EXPECT_EQ(kind, 1);
  send_mouse(ButtonPress, 1, gxdpx(6), gxdpy(3));
  gxdbtn(1, &x, &y, &button, &kind, info, r);
  gcmn.sigflg = 0;
  EXPECT_EQ(kind, 2);
}

// The window manager's close ends the program also while a dialog box
// waits on an iconified window.
TEST_F(X11WmTest, CloseEndsTheProgramWhileAnIconifiedDialogWaits) {
  if (!start_server() || !start_wm("openbox")) GTEST_SKIP() << "Xvfb or openbox is not available";
  EXPECT_EXIT(
      {
        alarm(x11test::kTestLimit - 10);
        dup2(2, 1);  // the closing line, where the death test reads
        open("openbox");
        paint_plot();
        iconify();
        std::thread user([win = x11st().win] {
          Display* d = XOpenDisplay(nullptr);
          wait_for([&] { return any_child(d, win) != 0; });
          XCloseDisplay(d);
          close_by_wm();
        });
        user.detach();
        dlgrec d = box("Your name?", -1, -1, -1, -1);
        gxdlg(&d);
        exit(0);
      },
      testing::ExitedWithCode(1), "The window was closed; Ombra ends.");
}

TEST_F(X11WmTest, WindowResizedUnderADialogIsDrawnAtItsNewSize) {
  open("twm");
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  int fd = -1;
  pid_t pid = second_client(&fd, [win = s.win](Display* d, int out) {
    Window b = 0;
    wait_for([&] { return (b = any_child(d, win)) != 0 && map_state(d, b) == IsViewable; });
    XResizeWindow(d, win, 660, 510);
    XSync(d, False);
    long n = -1;
    wait_for([&] { return where(d, win).w == 660 && (n = blacks(d, win, {inside(d, b)})) == 0; });
    report(out, n);
    xdo("key Return");
  });
  dlgrec d = box("Title:|500 mb", 5.5f, 4.25f, 4, 1);
  std::string r = gxdlg(&d);
  EXPECT_EQ(reported(fd), 0);
  finish(pid, fd);
  EXPECT_EQ(r, "500 mb\n");
  EXPECT_EQ(s.width, 660);
  EXPECT_EQ(blacks(s.display, s.win, {}), 0);
}

// A window manager and a case of the test, named after both.
using wmcase = std::tuple<const char*, int>;
template <const char* const* names>
std::string wmcasename(const testing::TestParamInfo<wmcase>& i) {
  return std::string(std::get<0>(i.param)) + "_" + names[std::get<1>(i.param)];
}
const char* const kEdges[] = {"bottom", "right", "bottom_moved"};
class X11WmEdge : public X11WmTest, public testing::WithParamInterface<wmcase> {};

// A menu kept on the screen may open under the pointer: at the bottom
// edge over its own header, at the right edge a cascade over the item it
// drops from.  The release of the click that opened it chooses nothing,
// nor does it after the pointer moved two pixels within the item there.
TEST_P(X11WmEdge, MenuOpenedUnderThePointerWaitsForAChoice) {
  bool right = std::get<1>(GetParam()) == 1, moved = std::get<1>(GetParam()) == 2;
  open(std::get<0>(GetParam()));
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  colour_menus(0.5f, 8.0f, 0.6f, 0.4f);
  const dmenurec& h = s.dmu[1];
  XFontStruct* f = gxdfnt(1);
  int R = 2 * f->ascent;
  int wide = h.x1 + XTextWidth(f, "Colour", 6) + f->ascent + XTextWidth(f, "xxx", 3);
  // On the screen, room for the four items but not below the header; room
  // for the menu but not for its cascade.  The move asked for may place the
  // frame or the window: it is asked again by the difference.
  place w = where(s.display, s.win);
  int sw = DisplayWidth(s.display, s.snum), sh = DisplayHeight(s.display, s.snum);
  int x = right ? sw - wide - 10 : w.x, y = right ? w.y : sh - 4 * R - 2, ax = 40, ay = 40;
  for (int i = 0; i < 3 && (w.x != x || w.y != y); i++) {
    place was = w;
    XMoveWindow(s.display, s.win, ax += x - w.x, ay += y - w.y);
    XSync(s.display, False);
    wait_for([&] { w = where(s.display, s.win); return w.x != was.x || w.y != was.y; });
  }
  ASSERT_TRUE(w.x == x && w.y == y);
  int fd = -1;
  pid_t pid = second_client(&fd, [&, win = s.win](Display* d, int) {
    std::string header = std::to_string(w.x + (h.x1 + h.x2) / 2) + " " + std::to_string(w.y + (h.y1 + h.y2) / 2);
    if (moved) {
      xdo("mousemove --sync " + header + " mousedown 1");
      wait_for([&] { Window m = any_child(d, win); return m && map_state(d, m) == IsViewable; });
      xdo("mousemove_relative --sync 2 0 mouseup 1");
    } else {
      xdo("mousemove --sync " + header + " click 1");
    }
    if (right) xdo(click_at(w.x + h.x1 + 5, w.y + h.y2 + 2 * R + R / 2));  // Colour
    std::vector<Window> kids;
    size_t n = right ? 2 : 1;
    wait_for([&] { return (kids = children(d, win)).size() == n && map_state(d, kids.back()) == IsViewable; });
    usleep(300000);  // a release taken as a choice would have closed it
    place p = where(d, kids.back());
    xdo(click_at(p.x + p.w / 2, p.y + (right ? 1 : 3) * R + R / 2));  // Green, z
  });
  int kind = 0, info[10];
  take_event(&kind, info);
  finish(pid, fd);
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(info[1], right ? 3 : 4);
  EXPECT_EQ(info[3], right ? 2 : -1);
}

INSTANTIATE_TEST_SUITE_P(Managers, X11WmEdge,
                         testing::Combine(testing::Values("openbox", "twm"), testing::Range(0, 3)),
                         wmcasename<kEdges>);

// Without backing store: the part of the plot a window hid, uncovered
// just before the header is pressed, is drawn before the menu waits.
TEST_P(X11WmBoth, PartUncoveredBeforeTheMenuOpensIsDrawn) {
  open(GetParam(), false);
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  paint_plot();
  colour_menus(1.5f, 8.0f, 1.5f, 0.4f);
  const dmenurec& h = s.dmu[1];
  place w = where(s.display, s.win);
  Display* other = XOpenDisplay(nullptr);
  Window c = cover(other, w.x + 300, w.y + 100, 200, 200);
  XDestroyWindow(other, c);
  XSync(other, False);
  XEvent e;  // the window's exposure read before the press
  ASSERT_TRUE(wait_for([&] {
    Window seen = 0;
    XSync(s.display, False);
    XCheckIfEvent(s.display, &e, [](Display*, XEvent* x, XPointer a) -> Bool {
      if (x->type == Expose) *(Window*)a = x->xexpose.window;
      return False;
    }, (XPointer)&seen);
    return seen == s.win;
  }));
  click(1, (h.x1 + h.x2) / 2, (h.y1 + h.y2) / 2);
  int fd = -1;
  pid_t pid = second_client(&fd, [&, win = s.win](Display* d, int out) {
    Window m = 0;
    wait_for([&] { return (m = any_child(d, win)) != 0 && map_state(d, m) == IsViewable; });
    long n = -1;
    wait_for([&] { return (n = blacks(d, win, {inside(d, m)})) == 0; });
    report(out, n);
    place p = where(d, m);
    xdo(click_at(p.x + p.w / 2, p.y + 2 * gxdfnt(1)->ascent / 2));  // slp
  });
  int kind = 0, info[10];
  take_event(&kind, info);
  EXPECT_EQ(reported(fd), 0);
  finish(pid, fd);
  XCloseDisplay(other);
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(info[1], 1);
}

// A click read in the same pass as a resize meets the widgets at the new
// size: the press lies on the header as it was, outside it as it is.
TEST_P(X11WmBoth, ClickAfterAResizeIsTestedAtTheNewSize) {
  open(GetParam());
  if (IsSkipped() || HasFatalFailure()) return;
  x11state& s = x11st();
  dmenurec m = menu(2, 7, 1.5f, 0.4f, "Field|slp|t|z", 0);
  gxdrmu(1, &m, 0, -1);
  Display* other = XOpenDisplay(nullptr);
  XResizeWindow(other, s.win, 1100, 850);
  XSync(other, False);
  ASSERT_TRUE(wait_for([&] { return where(other, s.win).w == 1100; }));
  XCloseDisplay(other);
  XSync(s.display, False);
  click(1, 100, 75);     // the header's middle at 550 by 425
  click(1, 1000, 800);   // away from any menu: one opened by mistake closes
  float x, y, r[4];
  int button, kind, info[10];
  gxdbtn(1, &x, &y, &button, &kind, info, r);
  EXPECT_EQ(kind, 0);
  EXPECT_FLOAT_EQ(x, 1.0f);
  EXPECT_FLOAT_EQ(y, 7.75f);
}

// The keys typed with the focus on another client's window reach the box
// by its hold on the keyboard, also when that client held the keyboard as
// the box opened (a window manager's menu) and let it go later; Ctrl-C
// among them is the empty answer, as at the terminal.
TEST_P(X11WmBoth, KeysTypedElsewhereReachTheBox) {
  for (bool held : {false, true}) {
    if (!held) open(GetParam());
    if (IsSkipped() || HasFatalFailure()) return;
    x11state& s = x11st();
    place w = where(s.display, s.win);
    Display* other = XOpenDisplay(nullptr);
    Window c = cover(other, w.x + w.w + 20, w.y, 200, 200);
    place cp = where(other, c);
    xdo("mousemove --sync " + std::to_string(cp.x + 100) + " " + std::to_string(cp.y + 100));
    XSetInputFocus(other, c, RevertToParent, CurrentTime);
    if (held) XGrabKeyboard(other, c, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XSync(other, False);
    std::thread user([&, win = s.win] {
      wait_for([&] { Window b = any_child(other, win); return b && map_state(other, b) == IsViewable; });
      usleep(300000);
      XUngrabKeyboard(other, CurrentTime);
      XSync(other, False);
      usleep(300000);
      xdo(held ? "type --delay 20 abc" : "key --delay 20 a b ctrl+c");
      xdo("key Return");
      // Keys that never reached the box: the wait ends as Ctrl-C ends it.
      if (!wait_for([&] { return any_child(other, win) == 0; })) gcmn.sigflg = 1;
    });
    dlgrec d = box("Name|", 5.5f, 4.25f, 4, 0.5f);
    std::string r = gxdlg(&d);
    user.join();
    gcmn.sigflg = 0;
    XDestroyWindow(other, c);
    XCloseDisplay(other);
    EXPECT_EQ(r, held ? "abc\n" : "\n");
  }
}

namespace {

// The waits of the window: a push button, a rubber band and a drop menu
// pressed (their release never comes), and a dialog box.
const char* const kWaits[] = {"button", "band", "menu", "dialog"};

void wait_and_lose_the_window(int wait) {
  button_and_band();
  dmenurec m = menu(2, 7, 1.5f, 0.4f, "Field|slp|t|z", 0);
  gxdrmu(3, &m, 0, -1);
  const float at[3][2] = {{2, 2}, {6, 3}, {2, 7}};
  if (wait < 3) send_mouse(ButtonPress, 1, gxdpx(at[wait][0]), gxdpy(at[wait][1]));
  std::thread user([win = x11st().win] {
    usleep(300000);  // the press taken, its release awaited; the box open
    Display* d = XOpenDisplay(nullptr);
    XDestroyWindow(d, win);
    XCloseDisplay(d);
  });
  user.detach();
  float x, y, r[4];
  int button, kind, info[10];
  dlgrec d = box("Name|", 5.5f, 4.25f, 4, 0.5f);
  if (wait < 3) gxdbtn(1, &x, &y, &button, &kind, info, r);
  else gxdlg(&d);
}

}  // namespace

class X11WmGone : public X11WmTest, public testing::WithParamInterface<wmcase> {};

// The window destroyed by another client (not closed through the window
// manager) while the program waits in it.
TEST_P(X11WmGone, DestroyedWindowEndsEveryWait) {
  const char* wm = std::get<0>(GetParam());
  int wait = std::get<1>(GetParam());
  if (!start_server() || !start_wm(wm)) GTEST_SKIP() << "Xvfb or " << wm << " is not available";
  EXPECT_EXIT(
      {
        alarm(x11test::kTestLimit - 10);
        dup2(2, 1);
        open(wm);
        wait_and_lose_the_window(wait);
        exit(0);
      },
      testing::ExitedWithCode(1), "The window was closed; Ombra ends.");
}

INSTANTIATE_TEST_SUITE_P(Managers, X11WmGone,
                         testing::Combine(testing::Values("openbox", "twm"), testing::Range(0, 4)),
                         wmcasename<kWaits>);
