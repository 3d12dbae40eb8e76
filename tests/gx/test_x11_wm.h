// Window tests under a window manager: a private Xvfb with openbox or twm
// started by the test, the package's window managed by it, and the user's
// hands played by xdotool from a second client.
#pragma once

#include <functional>
#include <string>

#include "test_x11_util.h"

namespace x11test {

inline bool have_program(const char* name) {
  std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return system(cmd.c_str()) == 0;
}

inline pid_t& wm_pid() {
  static pid_t pid = 0;
  return pid;
}

inline void stop_wm() {
  if (wm_pid() > 0 && getpid() == owner_pid()) {
    end_process(wm_pid());
    wm_pid() = 0;
  }
}

// Whether a window manager frames new windows: a probe window mapped is
// reparented into a frame.  A manager that is still starting may drop the
// request, so a probe that stays unframed is tried again.
inline bool wm_frames(Display* d) {
  Window root = DefaultRootWindow(d);
  Window w = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
  // Placed by the program: twm would otherwise have the user place it.
  XSizeHints hints = {};
  hints.flags = USPosition | USSize;
  hints.width = hints.height = 10;
  XSetWMNormalHints(d, w, &hints);
  XMapWindow(d, w);
  XSync(d, False);
  bool framed = false;
  for (int i = 0; i < 20 && !framed; i++) {
    Window r, parent, *kids = nullptr;
    unsigned n = 0;
    if (XQueryTree(d, w, &r, &parent, &kids, &n)) framed = parent != root;
    if (kids) XFree(kids);
    if (!framed) usleep(25000);
  }
  XDestroyWindow(d, w);
  XSync(d, False);
  return framed;
}

// Starts the window manager on the test's server (once per process) and
// waits until it manages windows; false without it.
inline bool start_wm(const char* name) {
  if (wm_pid() > 0) return true;
  if (!have_program(name) || !have_program("xdotool") || !have_program("timeout")) return false;
  pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    if (std::string(name) == "openbox") execlp(name, name, "--sm-disable", (char*)nullptr);
    execlp(name, name, (char*)nullptr);
    _exit(127);
  }
  if (pid < 0) return false;
  wm_pid() = pid;
  atexit(stop_wm);
  Display* d = XOpenDisplay(nullptr);
  if (!d) return false;
  // Two probes in a row: the first may be framed by the manager's look at
  // the windows already there as it starts, before it answers the map
  // requests of new windows, which it may then still drop.
  int framed = 0;
  for (int i = 0; i < 20 && framed < 2; i++) framed = wm_frames(d) ? framed + 1 : 0;
  bool up = framed == 2;
  XCloseDisplay(d);
  return up;
}

// Runs an xdotool command line (its words after "xdotool"); true when it
// succeeded.  Its --sync waits poll for a change that a busy window manager
// may never make (an activation it ignored): the command is bounded, and
// fails when it runs out.
inline bool xdo(const std::string& args) {
  std::string cmd = "timeout -k 2 10 xdotool " + args + " >/dev/null 2>&1";
  return system(cmd.c_str()) == 0;
}

// Waits up to 10 s for cond(); true when it came.
inline bool wait_for(const std::function<bool()>& cond) {
  for (int i = 0; i < 500; i++) {
    if (cond()) return true;
    usleep(20000);
  }
  return false;
}

inline int map_state(Display* d, Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return -1;
  return a.map_state;
}

// The first child of parent (a menu, a dialog box), mapped or not; 0 if none.
inline Window any_child(Display* d, Window parent) {
  Window root, up, *kids = nullptr, found = 0;
  unsigned n = 0;
  if (XQueryTree(d, parent, &root, &up, &kids, &n) && n > 0) found = kids[n - 1];
  if (kids) XFree(kids);
  return found;
}

// The children of parent in stacking order, bottom first.
inline std::vector<Window> children(Display* d, Window parent) {
  std::vector<Window> out;
  Window root, up, *kids = nullptr;
  unsigned n = 0;
  if (XQueryTree(d, parent, &root, &up, &kids, &n))
    for (unsigned k = 0; k < n; k++) out.push_back(kids[k]);
  if (kids) XFree(kids);
  return out;
}

// The screen rectangle of a window: its root origin and size.
struct place {
  int x = 0, y = 0, w = 0, h = 0;
};
inline place where(Display* d, Window w) {
  place p;
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return p;
  Window child;
  XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &p.x, &p.y, &child);
  p.w = a.width;
  p.h = a.height;
  return p;
}

// A plain top-level window of another client, as an xterm would be: at
// (x, y) on the screen, w by h, white, mapped and waited for.
inline Window cover(Display* d, int x, int y, int w, int h) {
  Window c = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, (unsigned)w, (unsigned)h, 0, 0,
                                 WhitePixel(d, DefaultScreen(d)));
  XSizeHints hints = {};
  hints.flags = USPosition | USSize;
  hints.x = x;
  hints.y = y;
  hints.width = w;
  hints.height = h;
  XSetWMNormalHints(d, c, &hints);
  XStoreName(d, c, "cover");
  // Takes the keyboard focus as a terminal does.
  XWMHints wmh = {};
  wmh.flags = InputHint;
  wmh.input = True;
  XSetWMHints(d, c, &wmh);
  XMapRaised(d, c);
  XSync(d, False);
  wait_for([&] { return map_state(d, c) == IsViewable; });
  return c;
}

}  // namespace x11test

// A window test under a window manager: the server, then the manager,
// then the package's window, which the manager frames.
class X11WmTest : public testing::Test {
 protected:
  void open(const char* wm, bool backing = true, const char* geom = "550x425+40+40") {
    if (!x11test::start_server(backing)) GTEST_SKIP() << "Xvfb is not available";
    if (!x11test::start_wm(wm)) GTEST_SKIP() << wm << " or xdotool is not available";
    alarm(x11test::kTestLimit);
    opened = true;
    x11test::open_window(geom);
    // Under load the manager may frame the window after the start has
    // given up waiting for it.
    x11state& s = x11st();
    ASSERT_TRUE(x11test::wait_for([&] { return x11test::map_state(s.display, s.win) == IsViewable; }));

  }
  void TearDown() override {
    if (opened) x11test::close_window();
    alarm(0);
  }
  bool opened = false;
};
