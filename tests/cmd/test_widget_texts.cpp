// Widget and dialog texts typed at the prompt without the line editor (or
// read from an exec file) arrive with the line's newline; the texts that
// reach the window end before it.  Run on a window of a private Xvfb.
#include <unistd.h>

#include <cstring>
#include <string>

#include "cmdtest.h"
#include "gx/test_x11_util.h"

namespace {

// The window driver, with keys put in the queue as a dialog opens: every
// command first handles the events already queued, so keys typed before
// the command would never reach its dialog.
struct typing_driver : gxdriver {
  gxdriver* real = gxx11drv();
  std::string keys;
  bool interactive() const override { return real->interactive(); }
  void begin(float x, float y) override { real->begin(x, y); }
  void end() override { real->end(); }
  void frame(int a) override { real->frame(a); }
  void colour(int c) override { real->colour(c); }
  int defcolour(int n, int r, int g, int b) override { return real->defcolour(n, r, g, b); }
  void width(int t) override { real->width(t); }
  void move(float x, float y) override { real->move(x, y); }
  void draw(float x, float y) override { real->draw(x, y); }
  void rect(float a, float b, float c, float d) override { real->rect(a, b, c, d); }
  void fill(const float* xy, int n) override { real->fill(xy, n); }
  void pattern(int t, int d, int a) override { real->pattern(t, d, a); }
  void dblbuf() override { real->dblbuf(); }
  void sglbuf() override { real->sglbuf(); }
  void swap() override { real->swap(); }
  void resize(int w, int h) override { real->resize(w, h); }
  void save(int s) override { real->save(s); }
  void show(int s) override { real->show(s); }
  void free_slot(int s) override { real->free_slot(s); }
  void button(int n, btnrec* r, int m, int f, int s) override { real->button(n, r, m, f, s); }
  void rband(int n, int t, float a, float b, float c, float d, int mb) override {
    real->rband(n, t, a, b, c, d, mb);
  }
  void menu(int n, dmenurec* r, int m) override { real->menu(n, r, m); }
  void reset_widget(int k, int n) override { real->reset_widget(k, n); }
  void reset_widgets(int w) override { real->reset_widgets(w); }
  void mouse(int w, float* x, float* y, int* b, int* k, int* i, float* r) override {
    real->mouse(w, x, y, b, k, i, r);
  }
  std::string dialog(dlgrec* d) override {
    x11test::type_text(keys);
    x11test::send_key(XK_Return);
    return real->dialog(d);
  }
  int window_data(int* r) override { return real->window_data(r); }
  int dump(const char* f, bool b) override { return real->dump(f, b); }
};

class WidgetTexts : public X11Test {
 protected:
  void SetUp() override {
    X11Test::SetUp();
    if (IsSkipped()) return;
    gxdsetdrv(&drv);
    saved_batch = gcmn.batch;
    gcmn.batch = 0;
  }
  void TearDown() override {
    gcmn.batch = saved_batch;
    X11Test::TearDown();
  }
  typing_driver drv;
  int saved_batch = 1;
};

}  // namespace

TEST_F(WidgetTexts, ButtonMenuAndDialogTextsEndBeforeTheNewline) {
  x11state& s = x11st();
  EXPECT_EQ(runcmd("draw button 3 5 4 2 1 Go on\n").rc, 0);
  ASSERT_NE(s.btn[3].ch, nullptr);
  EXPECT_STREQ(s.btn[3].ch, "Go on");
  EXPECT_EQ(s.btn[3].len, 5);
  EXPECT_EQ(runcmd("redraw button 3 1 0 Stop\n").rc, 0);
  EXPECT_STREQ(s.btn[3].ch, "Stop");
  EXPECT_EQ(s.btn[3].len, 4);

  EXPECT_EQ(runcmd("draw dropmenu 1 2 7 1.5 0.5 File|Quit\n").rc, 0);
  ASSERT_NE(s.dmu[1].str, nullptr);
  EXPECT_EQ(s.dmu[1].len, 9);
  EXPECT_EQ(std::string(s.dmu[1].str, s.dmu[1].len), std::string("File\0Quit", 9));
  // A cascade's items are all set in by the one blank that follows the
  // word or the bar.
  EXPECT_EQ(runcmd("draw dropmenu 21 cascade Sub one | Sub two\n").rc, 0);
  EXPECT_EQ(std::string(s.dmu[21].str, s.dmu[21].len), std::string(" Sub one \0 Sub two", 18));

  // The entry starts as abc; what is typed goes after it.
  drv.keys = "xyz";
  cmdout r = runcmd("q dialog 5 4 4 0.5 Name|abc\n");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "abcxyz\n");
}

// A window dump that cannot be written fails the command, so an exec file
// or a script does not go on as if it were there.
TEST_F(WidgetTexts, AnOutxwdThatFailsIsAnError) {
  EXPECT_EQ(runcmd("outxwd /nonexistent-dir/x.xwd\n").rc, 1);
  char tmpl[] = "/tmp/outxwdXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string f = std::string(tmpl) + "/w.xwd";
  EXPECT_EQ(runcmd("outxwd " + f + "\n").rc, 0);
  EXPECT_EQ(access(f.c_str(), F_OK), 0);
  unlink(f.c_str());
  rmdir(tmpl);
}
