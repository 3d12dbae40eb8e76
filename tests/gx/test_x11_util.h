// Helpers of the window tests: a private Xvfb server per test process,
// the package opened on it, pixel reads and synthesised input events.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxx11.h"

namespace x11test {

// A drop menu whose items are separated by '|', as the draw command hands
// them over.
inline dmenurec menu(float x, float y, float w, float h, const std::string& items, int casc = 0) {
  dmenurec m;
  m.casc = casc;
  m.x = x; m.y = y; m.w = w; m.h = h;
  m.fc = 1; m.bc = 4; m.oc1 = 2; m.oc2 = 3;
  m.tfc = 1; m.tbc = 5; m.toc1 = 3; m.toc2 = 2;
  m.bfc = 1; m.bbc = 15; m.boc1 = 0; m.boc2 = 1;
  m.soc1 = 2; m.soc2 = 3;
  m.thick = 1;
  m.len = (int)items.size();
  m.str = (char*)malloc(items.size() + 1);
  memcpy(m.str, items.c_str(), items.size() + 1);
  for (int i = 0; i < m.len; i++)
    if (m.str[i] == '|') m.str[i] = 0;
  return m;
}

inline pid_t& server_pid() {
  static pid_t pid = 0;
  return pid;
}

// The first connection to the server, kept for the life of the process.
inline Display*& kept_display() {
  static Display* d = nullptr;
  return d;
}

// The process that started the server: children made by death tests
// must not stop it when they exit.
inline pid_t& owner_pid() {
  static pid_t pid = 0;
  return pid;
}

// The overall limit of one window test, the start of its server and
// window manager included.  Far above what a test takes on a loaded
// two-core machine under the sanitizers, and below the test runner's own
// limit, so that a wait that never ends fails the test rather than hang it.
constexpr unsigned kTestLimit = 45;

// Ends a helper process (the server, the window manager): asked first, and
// killed when it has not gone within ten seconds, since a program caught
// in its own exit handler would hold the test at its end for ever.
inline void end_process(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int st;
  for (int i = 0; i < 200; i++) {
    if (waitpid(pid, &st, WNOHANG) != 0) return;
    usleep(50000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &st, 0);
}

inline void stop_server() {
  pid_t pid = server_pid();
  if (pid > 0 && getpid() == owner_pid()) {
    end_process(pid);
    server_pid() = 0;
  }
}

// A test that waits too long ends the process, and takes its server along.
inline void on_alarm(int) {
  static const char msg[] = "window test timed out\n";
  if (write(2, msg, sizeof msg - 1) < 0) {}
  if (server_pid() > 0 && getpid() == owner_pid()) kill(server_pid(), SIGTERM);
  _exit(3);
}

inline bool have_xvfb() {
  const char* path = getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t a = 0;
  while (a <= p.size()) {
    size_t b = p.find(':', a);
    if (b == std::string::npos) b = p.size();
    std::string f = p.substr(a, b - a) + "/Xvfb";
    if (access(f.c_str(), X_OK) == 0) return true;
    a = b + 1;
  }
  return false;
}

// Starts Xvfb once per process; false without it.  The server picks a
// free display number itself and reports it on a pipe, so test processes
// running side by side never share a server.
inline bool start_server(bool backing = true) {
  static int state = 0;  // 0 not tried, 1 running, -1 failed
  if (state) return state > 0;
  state = -1;
  if (!have_xvfb()) return false;
  // The start is under the limit too: a server or window manager that
  // never answers ends the test.
  signal(SIGALRM, on_alarm);
  alarm(kTestLimit);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) std::abort();  // a kill of -1 would reach every process
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    int keep = dup(fds[1]);  // the one descriptor the server inherits
    std::string fd = std::to_string(keep);
    // -bs: a server that keeps no hidden pixels.
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-screen", "0", "1280x1024x24",
           "-nolisten", "tcp", backing ? "+bs" : "-bs", (char*)nullptr);
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return false;
  }
  server_pid() = pid;
  owner_pid() = getpid();
  atexit(stop_server);
  std::string num;
  for (int i = 0; i < 100; i++) {  // up to 10 s for the number
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(fds[0], &rd);
    struct timeval tv = {0, 100000};
    if (select(fds[0] + 1, &rd, nullptr, nullptr, &tv) <= 0) continue;
    char c;
    ssize_t n = read(fds[0], &c, 1);
    if (n <= 0 || c == '\n') break;
    num += c;
  }
  close(fds[0]);
  if (num.empty()) return false;
  std::string disp = ":" + num;
  for (int i = 0; i < 100; i++) {
    Display* d = XOpenDisplay(disp.c_str());
    if (d) {
      // Kept open: a server whose last client leaves resets, and refuses
      // connections while it does.
      kept_display() = d;
      setenv("DISPLAY", disp.c_str(), 1);
      state = 1;
      return true;
    }
    usleep(100000);
  }
  return false;
}

// Opens the package on the window, page 11 by 8.5 inches; geometry as
// given (550x425 gives 50 pixels per inch both ways).
inline void open_window(const char* geom = "550x425+0+0") {
  gxdsetdrv(gxx11drv());
  gxdgeo(geom);
  gxdbck(0);
  testing::internal::CaptureStdout();
  gxstrt(11, 8.5, 0);
  testing::internal::GetCapturedStdout();
}

inline void close_window() {
  testing::internal::CaptureStdout();
  gxend();
  testing::internal::GetCapturedStdout();
  gxdsetdrv(nullptr);
  gxdgeo(nullptr);
  gxdbck(0);
  gxgrey(0);
}

// The colour of a window pixel as 0xRRGGBB (24-bit TrueColor server).
inline unsigned long pixel(int x, int y, Drawable d = 0) {
  x11state& s = x11st();
  XSync(s.display, False);
  XImage* im = XGetImage(s.display, d ? d : s.win, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!im) return 0xdeadbeef;
  unsigned long p = XGetPixel(im, 0, 0) & 0xffffff;
  XDestroyImage(im);
  return p;
}

inline unsigned long rgb(int r, int g, int b) {
  return ((unsigned long)r << 16) | ((unsigned long)g << 8) | (unsigned long)b;
}

// Puts a mouse event for the window into this client's queue.
inline void send_mouse(int type, int button, int x, int y, Time t = CurrentTime) {
  x11state& s = x11st();
  int ox = 0, oy = 0;
  Window child;
  XTranslateCoordinates(s.display, s.win, DefaultRootWindow(s.display), 0, 0, &ox, &oy, &child);
  XEvent e = {};
  e.type = type;
  if (type == MotionNotify) {
    e.xmotion.window = s.win;
    e.xmotion.root = DefaultRootWindow(s.display);
    e.xmotion.x = x;
    e.xmotion.y = y;
    e.xmotion.x_root = x + ox;
    e.xmotion.y_root = y + oy;
    e.xmotion.state = Button1Mask;
    e.xmotion.same_screen = True;
    e.xmotion.time = t;
  } else {
    e.xbutton.window = s.win;
    e.xbutton.root = DefaultRootWindow(s.display);
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.x_root = x + ox;
    e.xbutton.y_root = y + oy;
    e.xbutton.button = (unsigned)button;
    e.xbutton.same_screen = True;
    e.xbutton.time = t;
  }
  XSendEvent(s.display, s.win, False, 0, &e);
  XSync(s.display, False);
}

inline void click(int button, int x, int y) {
  send_mouse(ButtonPress, button, x, y);
  send_mouse(ButtonRelease, button, x, y);
}

// Puts a key press for the window into this client's queue.
inline void send_key(KeySym ks, bool shift = false, unsigned mods = 0) {
  x11state& s = x11st();
  XEvent e = {};
  e.type = KeyPress;
  e.xkey.window = s.win;
  e.xkey.root = DefaultRootWindow(s.display);
  e.xkey.keycode = XKeysymToKeycode(s.display, ks);
  e.xkey.state = (shift ? ShiftMask : 0) | mods;
  e.xkey.same_screen = True;
  XSendEvent(s.display, s.win, False, 0, &e);
  XSync(s.display, False);
}

inline void type_text(const std::string& t) {
  for (char c : t) {
    bool shift = c >= 'A' && c <= 'Z';
    KeySym ks = shift ? XK_a + (c - 'A') : (KeySym)(unsigned char)c;
    if (c == '+') {
      ks = XK_plus;
      shift = true;
    }
    send_key(ks, shift);
  }
}

// A second client, in a child process with its own connection, that
// acts while this process sits in a modal widget (a menu, a dialog): what
// it sees comes back on a pipe.  fn(display, pipe) runs in the child.
template <class F>
inline pid_t second_client(int* readfd, F fn) {
  int fds[2];
  // Not inherited by the programs the client runs (xdotool): a reader of
  // the pipe sees its end when the client ends, whatever it left running.
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) std::abort();  // a kill of -1 would reach every process
  if (pid == 0) {
    close(fds[0]);
    // Ends before the test's own limit, so that the test sees what the
    // client did not do rather than end with it.
    alarm(kTestLimit - 10);
    Display* d = XOpenDisplay(nullptr);
    if (d) {
      fn(d, fds[1]);
      XCloseDisplay(d);
    }
    _exit(0);
  }
  close(fds[1]);
  *readfd = fds[0];
  return pid;
}

// The first mapped child window of parent, waited for up to 5 s; 0 if none.
inline Window mapped_child(Display* d, Window parent) {
  for (int i = 0; i < 500; i++) {
    Window root, up, *kids = nullptr;
    unsigned n = 0;
    Window found = 0;
    if (XQueryTree(d, parent, &root, &up, &kids, &n)) {
      for (unsigned k = 0; k < n && !found; k++) {
        XWindowAttributes a;
        if (XGetWindowAttributes(d, kids[k], &a) && a.map_state == IsViewable) found = kids[k];
      }
      if (kids) XFree(kids);
    }
    if (found) return found;
    usleep(10000);
  }
  return 0;
}

// The pixels of a window, row by row, as 0xRRGGBB.
inline std::vector<uint32_t> window_pixels(Display* d, Window w, int* width, int* height) {
  std::vector<uint32_t> px;
  XWindowAttributes a;
  *width = *height = 0;
  if (!XGetWindowAttributes(d, w, &a)) return px;
  XImage* im = XGetImage(d, w, 0, 0, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
  if (!im) return px;
  *width = a.width;
  *height = a.height;
  for (int y = 0; y < a.height; y++)
    for (int x = 0; x < a.width; x++) px.push_back((uint32_t)(XGetPixel(im, x, y) & 0xffffff));
  XDestroyImage(im);
  return px;
}

inline void put_pixels(int fd, const std::vector<uint32_t>& px, int w, int h) {
  int32_t head[2] = {w, h};
  if (write(fd, head, sizeof head) != (ssize_t)sizeof head) return;
  size_t n = px.size() * sizeof(uint32_t);
  const char* p = (const char*)px.data();
  while (n > 0) {
    ssize_t k = write(fd, p, n);
    if (k <= 0) return;
    p += k;
    n -= (size_t)k;
  }
}

// Reads what put_pixels wrote; an empty vector at the end of the pipe.
inline std::vector<uint32_t> get_pixels(int fd, int* w, int* h) {
  std::vector<uint32_t> px;
  int32_t head[2] = {0, 0};
  *w = *h = 0;
  if (read(fd, head, sizeof head) != (ssize_t)sizeof head || head[0] <= 0 || head[1] <= 0) return px;
  px.resize((size_t)head[0] * (size_t)head[1]);
  size_t n = px.size() * sizeof(uint32_t);
  char* p = (char*)px.data();
  while (n > 0) {
    ssize_t k = read(fd, p, n);
    if (k <= 0) return {};
    p += k;
    n -= (size_t)k;
  }
  *w = head[0];
  *h = head[1];
  return px;
}

// Every pixel of the window, row by row.
inline std::vector<unsigned long> snapshot() {
  x11state& s = x11st();
  XSync(s.display, False);
  std::vector<unsigned long> px;
  XImage* im = XGetImage(s.display, s.win, 0, 0, (unsigned)s.width, (unsigned)s.height, AllPlanes,
                         ZPixmap);
  if (!im) return px;
  px.reserve((size_t)s.width * (size_t)s.height);
  for (int y = 0; y < s.height; y++)
    for (int x = 0; x < s.width; x++) px.push_back(XGetPixel(im, x, y) & 0xffffff);
  XDestroyImage(im);
  return px;
}

// The number of pixels that differ between two snapshots.
inline long changed(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b) {
  if (a.size() != b.size()) return -1;
  long n = 0;
  for (size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
  return n;
}

// A plot in many colours over the whole page: stripes and a frame, so a
// pixel left black or in a widget's colours shows as a change.
inline void paint_plot() {
  for (int i = 0; i < 22; i++) {
    gxcolr(2 + i % 13);
    gxrecf(i * 0.5f, i * 0.5f + 0.5f, 0, 8.5f);
  }
  gxcolr(1);
  gxwide(1);
  for (int k = 0; k < 17; k++) {
    gxplot(0.3f, 0.25f + k * 0.5f, 3);
    gxplot(10.7f, 0.5f + k * 0.5f, 2);
  }
}

// A pixel of window w read through a connection of the test's own (the
// program's connection belongs to the waiting reader), waited for up to
// ten seconds to become want.
inline unsigned long pixel_within(Display* d, Window w, int x, int y, unsigned long want) {
  unsigned long p = 0xdeadbeef;
  for (int i = 0; i < 200; i++) {
    XImage* im = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (im) {
      p = XGetPixel(im, 0, 0) & 0xffffff;
      XDestroyImage(im);
    }
    if (p == want) break;
    usleep(50000);
  }
  return p;
}

// The window manager's close button: WM_DELETE_WINDOW sent to the window
// from a connection of its own.
inline void close_by_wm() {
  Display* wm = XOpenDisplay(nullptr);
  XEvent e = {};
  e.xclient.type = ClientMessage;
  e.xclient.window = x11st().win;
  e.xclient.message_type = XInternAtom(wm, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = (long)XInternAtom(wm, "WM_DELETE_WINDOW", False);
  XSendEvent(wm, x11st().win, False, NoEventMask, &e);
  XSync(wm, False);
  XCloseDisplay(wm);
}

}  // namespace x11test

// Each window test: a server of its own, the package open on it, and an
// alarm so that a test waiting for input that never comes cannot hang.
class X11Test : public testing::Test {
 protected:
  void SetUp() override {
    if (!x11test::start_server()) GTEST_SKIP() << "Xvfb is not available";
    alarm(x11test::kTestLimit);
    opened = true;
    x11test::open_window(geometry());
  }
  void TearDown() override {
    if (opened) x11test::close_window();
    alarm(0);
  }
  virtual const char* geometry() { return "550x425+0+0"; }
  bool opened = false;
};
