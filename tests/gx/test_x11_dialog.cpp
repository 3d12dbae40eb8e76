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
  send_key(XK_Delete);     // at the end: the last character
  send_key(XK_Return);
  EXPECT_EQ(gxdlg(&d), "aX\n");
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
