// The dialog box: its layouts, editing keys, mouse selection and the
// numeric check.
#include <cstring>

#include "gxtest.h"
#include "test_x11_util.h"

using x11test::send_key;
using x11test::send_mouse;
using x11test::type_text;

namespace {

dlgrec request(const char* text, float x, float y, float w, float h, int numeric = 0) {
  dlgrec d;
  d.x = x;
  d.y = y;
  d.w = w;
  d.h = h;
  d.pc = 1;
  d.fc = 0;
  d.bc = 15;
  d.oc = 1;
  d.th = 1;
  d.ch = strdup(text);
  d.len = (int)strlen(text);
  d.nu = numeric;
  return d;
}

struct numcase {
  const char* in;
  int rc;
  const char* line;  // the line after the check
  int pos, end;
};

}  // namespace

TEST(X11Numeric, ChecksOfTypedNumbers) {
  const numcase cases[] = {
      {"12.5", 0, "12.5", 0, 0},
      {".5", 1, ".5", 0, 0},            // "0" goes in before the "."
      {"-.5", 1, "-.5", 1, 1},
      {"+1.5e+3", 0, "+1.5e+3", 0, 0},
      {"1.2.3", 2, "1.2.3", 3, 4},      // the second "."
      {"1e", 2, "1e#", 2, 3},           // a "#" after the "e"
      {"1e+", 2, "1e+#", 3, 4},
      {"abc", 2, "abc", 0, 3},          // the letters
      {"e5", 2, "#e5", 0, 1},           // exponent first: "#" at the start
      {"-", 2, "#-", 0, 1},             // no digit
      {"1-2", 2, "1-2", 1, 2},          // sign inside the mantissa
      {"1e5+", 2, "1e5+", 3, 4},        // sign after the exponent's digits
      {"1.5e3.2", 2, "1.5e3.2", 5, 6},
      {"1e5E3", 2, "1e5E3", 3, 4},      // two exponent letters
      {"1#", 2, "1#", 1, 2},
  };
  for (const numcase& c : cases) {
    std::string line = c.in;
    int pos = -1, end = -1;
    int rc = gxdnum(line, 0, &pos, &end);
    EXPECT_EQ(rc, c.rc) << c.in;
    EXPECT_EQ(line, c.line) << c.in;
    if (rc) {
      EXPECT_EQ(pos, c.pos) << c.in;
    }
    if (rc == 2) {
      EXPECT_EQ(end, c.end) << c.in;
    }
  }
  // Positions count from the start of the whole line.
  std::string line = "Value .5";
  int pos = 0, end = 0;
  EXPECT_EQ(gxdnum(line, 6, &pos, &end), 1);
  EXPECT_EQ(pos, 6);
}

TEST_F(X11Test, PromptAndEntryOnOneLine) {
  dlgrec d = request("Name|abc", 5, 4, 4, 0.5f);
  send_key(XK_BackSpace);
  send_key(XK_BackSpace);
  send_key(XK_BackSpace);
  send_key(XK_BackSpace);  // the prompt cannot be deleted
  send_key(XK_BackSpace);
  type_text("xy");
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "xy\n");
  EXPECT_EQ(d.ch, nullptr);  // the text was freed
  EXPECT_EQ(x11st().dmrecu, -1);
}

TEST_F(X11Test, CentredPromptStartsWithAnEmptyEntry) {
  dlgrec d = request("Your name?", -1, -1, -1, -1);
  type_text("Bob");
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "Bob\n");
  dlgrec d2 = request("Level/500", 5, 4, 3, 1);  // two-line layout
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d2), "500\n");
}

TEST_F(X11Test, CursorKeysAndDelete) {
  dlgrec d = request("abcd", 5, 4, 4, 0.5f);
  send_key(XK_Left);
  send_key(XK_Left);
  send_key(XK_BackSpace);  // removes the "b"
  type_text("X");
  send_key(XK_Delete);     // removes the "c"
  send_key(XK_Right);
  send_key(XK_Right);      // at the end already
  send_key(XK_Delete);     // at the end: nothing, as at the console
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "aXd\n");
}

TEST_F(X11Test, SelectionGrowsAndIsReplaced) {
  dlgrec d = request("hello", 5, 4, 4, 0.5f);
  for (int i = 0; i < 5; i++) send_key(XK_Left);
  send_key(XK_Up);
  send_key(XK_Up);
  send_key(XK_Up);
  send_key(XK_Down);  // "he" selected
  type_text("J");
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "Jllo\n");
}

TEST_F(X11Test, DoubleClickSelectsTheEntry) {
  dlgrec d = request("Name|abc", 5, 4, 4, 0.5f);
  send_mouse(ButtonPress, 1, 250, 225, 1000);
  send_mouse(ButtonRelease, 1, 250, 225, 1050);
  send_mouse(ButtonPress, 1, 250, 225, 1100);
  send_mouse(ButtonRelease, 1, 250, 225, 1150);
  type_text("z");
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "z\n");
}

TEST_F(X11Test, NumericEntryIsCheckedAndFixed) {
  dlgrec d = request("", 5, 4, 4, 0.5f, 1);
  type_text("a.5b");  // letters are not taken
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "0.5\n");
  dlgrec d2 = request("", 5, 4, 4, 0.5f, 1);
  type_text("+1.5e+3");
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d2), "1.5e3\n");
  // An error keeps the box open with the fault selected; typing replaces it.
  dlgrec d3 = request("", 5, 4, 4, 0.5f, 1);
  type_text("1.2.3");
  send_key(XK_Return);  // the second "." is selected
  type_text("4");
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d3), "1.243\n");
  dlgrec d4 = request("", 5, 4, 4, 0.5f, 1);
  type_text("1e");
  send_key(XK_Return);  // "#" added after the "e" and selected
  type_text("5");
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d4), "1e5\n");
}

TEST_F(X11Test, LongEntriesStopAtTheBufferSize) {
  std::string big(600, 'q');
  dlgrec d = request(big.c_str(), 5, 4, 4, 0.5f);
  type_text("rr");
  send_key(XK_Return);
  std::string out = gxdlg(&d);
  EXPECT_EQ(out.size(), 512u);  // 511 characters and the newline
  EXPECT_EQ(out.substr(0, 3), "qqq");
}

namespace {

// A key press from the second client: to the keyboard focus (as the
// keyboard would send it), or straight to the client that made w.
void client_key(Display* c, Window w, KeySym ks, bool tofocus) {
  XEvent e = {};
  e.type = KeyPress;
  e.xkey.window = w;
  e.xkey.root = DefaultRootWindow(c);
  e.xkey.keycode = XKeysymToKeycode(c, ks);
  e.xkey.same_screen = True;
  if (tofocus) XSendEvent(c, InputFocus, False, KeyPressMask, &e);
  else XSendEvent(c, w, False, 0, &e);
  XSync(c, False);
}

bool viewable(Display* c, Window w) {
  XWindowAttributes a;
  return XGetWindowAttributes(c, w, &a) && a.map_state == IsViewable;
}

}  // namespace

// What is typed reaches the open box with the pointer anywhere, and the
// keyboard goes back where it was when the box closes.
TEST_F(X11Test, DialogTakesTheKeysWhereverThePointerIs) {
  x11state& s = x11st();
  XWarpPointer(s.display, None, s.win, 0, 0, 0, 0, 10, 10);  // far from the box
  Window focus0 = 0;
  int revert0 = 0;
  XGetInputFocus(s.display, &focus0, &revert0);
  Window win = s.win;
  int fd = -1;
  pid_t pid = x11test::second_client(&fd, [win](Display* c, int out) {
    Window box = x11test::mapped_child(c, win);
    if (!box) return;
    for (int i = 0; i < 100; i++) {  // up to 1 s for the box to take the keyboard
      Window f = 0;
      int r = 0;
      XGetInputFocus(c, &f, &r);
      if (f == box) break;
      usleep(10000);
    }
    client_key(c, box, XK_o, true);
    client_key(c, box, XK_k, true);
    client_key(c, box, XK_Return, true);
    char lost = 0;
    for (int i = 0; i < 200 && viewable(c, box); i++) usleep(10000);
    if (viewable(c, box)) {  // the keys went astray: end the dialog all the same
      lost = 1;
      client_key(c, box, XK_Return, false);
    }
    if (write(out, &lost, 1) != 1) {}
  });
  ASSERT_GT(pid, 0);
  dlgrec d = request("abc", 5, 4, 4, 0.5f);
  EXPECT_EQ(gxdlg(&d), "abcok\n");
  char lost = 2;
  EXPECT_EQ(read(fd, &lost, 1), 1);
  EXPECT_EQ(lost, 0);
  close(fd);
  int st = 0;
  waitpid(pid, &st, 0);
  Window focus1 = 0;
  int revert1 = 0;
  XGetInputFocus(s.display, &focus1, &revert1);
  EXPECT_EQ(focus1, focus0);
  EXPECT_EQ(revert1, revert0);
}

// The text cursor is there as soon as the box opens: the box looks the
// same before a key as after typing a character and deleting it again.
TEST_F(X11Test, DialogShowsTheCursorAtOnce) {
  x11state& s = x11st();
  Window win = s.win;
  int fd = -1;
  pid_t pid = x11test::second_client(&fd, [win](Display* c, int out) {
    Window box = x11test::mapped_child(c, win);
    if (!box) return;
    int W = 0, H = 0;
    std::vector<uint32_t> a, b;
    for (int i = 0; i < 200; i++) {  // until the drawing has settled
      a = b;
      usleep(20000);
      b = x11test::window_pixels(c, box, &W, &H);
      if (i > 2 && a == b) break;
    }
    std::vector<uint32_t> first = b;
    client_key(c, box, XK_x, false);
    for (int i = 0; i < 200 && x11test::window_pixels(c, box, &W, &H) == first; i++) usleep(10000);
    client_key(c, box, XK_BackSpace, false);
    std::vector<uint32_t> after;
    for (int i = 0; i < 200; i++) {
      after = x11test::window_pixels(c, box, &W, &H);
      if (after == first) break;
      usleep(10000);
    }
    x11test::put_pixels(out, first, W, H);
    x11test::put_pixels(out, after, W, H);
    client_key(c, box, XK_Return, false);
  });
  ASSERT_GT(pid, 0);
  dlgrec d = request("abc", 5, 4, 4, 0.5f);
  EXPECT_EQ(gxdlg(&d), "abc\n");
  int W = 0, H = 0;
  std::vector<uint32_t> first = x11test::get_pixels(fd, &W, &H);
  std::vector<uint32_t> after = x11test::get_pixels(fd, &W, &H);
  close(fd);
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_EQ(W, 200);
  ASSERT_EQ(H, 25);
  long differ = 0;
  for (size_t i = 0; i < first.size() && i < after.size(); i++) differ += first[i] != after[i];
  EXPECT_EQ(differ, 0);
}

// A resize while the box is open is not lost: once it closes the window
// takes its new size.
TEST_F(X11Test, ResizeDuringADialogTakesEffectAfterIt) {
  x11state& s = x11st();
  gxdxsz(660, 510);
  XSync(s.display, False);  // its configure event is queued before the key
  send_key(XK_Return);
  dlgrec d = request("abc", 5, 4, 4, 0.5f);
  EXPECT_EQ(gxdlg(&d), "abc\n");
  gxfrme(9);
  EXPECT_EQ(s.width, 660);
  EXPECT_EQ(s.height, 510);
  EXPECT_FLOAT_EQ(s.xscl, 60.0f);
}
