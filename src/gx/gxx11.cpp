// The X11 window: opening it, colours, lines, fills, fill patterns, double
// buffering, frame actions and saved window images.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/cmnstate.h"
#include "base/ending.h"
#include "base/omversion.h"
#include "base/outflush.h"
#include "gx/gxint.h"
#include "gx/gxx11.h"

namespace {

x11state xs;

const int wrgb[16][3] = {
    {0, 0, 0},       {255, 255, 255}, {250, 60, 60},  {0, 220, 0},
    {30, 60, 255},   {0, 200, 200},   {240, 0, 130},  {230, 220, 50},
    {240, 130, 40},  {160, 0, 200},   {160, 230, 50}, {0, 160, 255},
    {230, 175, 45},  {0, 210, 140},   {130, 0, 220},  {170, 170, 130}};
const int greys[16] = {0, 255, 215, 140, 80, 110, 230, 170, 200, 50, 155, 95, 185, 125, 65, 177};
const int grrev[16] = {0, 1, 14, 3, 8, 7, 9, 5, 4, 6, 13, 12, 11, 10, 2, 15};

// Slot sizes, so a saved image is shown at the size it was taken.
int pwidth[GX_NSLOT], pheight[GX_NSLOT];

// Draw calls since the socket was last looked at for events.
int drawcount = 0;

const char* dgeom = "500x400+10+10";

int xerror = 0;
// Errors of requests such as a pixmap too large for the server are noted
// instead of ending the process (Xlib's default).
int onxerror(Display*, XErrorEvent* e) {
  xerror = e->error_code ? e->error_code : 1;
  return 0;
}

// The connection to the server is gone (the window was closed by the
// window manager, the server ended): Xlib cannot go on, so the program
// ends, but first finishes what it was writing, as quit would: the print
// metafile gets its end record, the LATS files their places.  Without this
// the metafile would be left unreadable.
int onxioerror(Display*) {
  gxdendline();
  printf("The connection to the X server was lost; Ombra ends.\n");
  omleave(1);
}


// A 41 by 41 icon: a frame with a diagonal shadow band.
std::vector<unsigned char> icon_bits() {
  const int side = 41, stride = (side + 7) / 8;
  std::vector<unsigned char> bits(stride * side, 0);
  for (int r = 0; r < side; r++) {
    for (int c = 0; c < side; c++) {
      bool on = r == 0 || c == 0 || r == side - 1 || c == side - 1 || (r + c) % 10 < 3;
      if (on) bits[r * stride + c / 8] |= (unsigned char)(1 << (c % 8));
    }
  }
  return bits;
}

// What window managers and tools such as `xdotool search` know the window
// by: its class (instance "ombra", class "Ombra"), the machine the session
// runs on and the session's process there.  A process id means nothing
// without its machine, so the id is set only beside the machine's name.
void setidentity(Display* d, Window w) {
  char name[] = "ombra", cls[] = "Ombra";
  XClassHint hint = {name, cls};
  XSetClassHint(d, w, &hint);
  char host[256];
  if (gethostname(host, sizeof host) != 0) return;
  host[sizeof host - 1] = '\0';
  char* hosts[] = {host};
  XTextProperty machine;
  if (!XStringListToTextProperty(hosts, 1, &machine)) return;
  XSetWMClientMachine(d, w, &machine);
  XFree(machine.value);
  long pid = getpid();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
}

// The first font found of the user's (env), pats and fallback; otherwise
// when there is none.
XFontStruct* loadfont(const char* env, const char* const* pats, int npat, const char* fallback,
                      XFontStruct* otherwise) {
  std::vector<const char*> tries;
  const char* e = getenv(env);
  if (e && *e) tries.push_back(e);
  for (int i = 0; i < npat; i++) tries.push_back(pats[i]);
  if (fallback) tries.push_back(fallback);
  for (const char* p : tries) {
    int count = 0;
    char** names = XListFonts(xs.display, p, 1, &count);
    if (!names) continue;
    XFontStruct* f = count > 0 ? XLoadQueryFont(xs.display, names[0]) : nullptr;
    XFreeFontNames(names);
    if (f) return f;
  }
  return otherwise;
}

void loadfonts() {
  static const char* const p1[] = {"-adobe-helvetica-bold-r-normal-*-80*",
                                   "-adobe-helvetica-bold-r-normal-*-100*"};
  static const char* const p1i[] = {"-adobe-helvetica-bold-o-normal-*-80*",
                                    "-adobe-helvetica-bold-o-normal-*-100*"};
  static const char* const p2[] = {"-adobe-helvetica-bold-r-normal--?\?-100*",
                                   "-adobe-helvetica-bold-r-normal-*-120*"};
  static const char* const p2i[] = {"-adobe-helvetica-bold-o-normal--?\?-100*",
                                    "-adobe-helvetica-bold-o-normal-*-120*"};
  static const char* const p3[] = {"-adobe-helvetica-bold-r-normal-*-140*"};
  static const char* const p3i[] = {"-adobe-helvetica-bold-o-normal-*-140*"};
  xs.font1 = loadfont("OMXFS", p1, 2, "fixed", nullptr);
  if (!xs.font1) printf("ERROR: Unable to open a basic font!!!\n");
  xs.font1i = loadfont("OMXFSI", p1i, 2, "fixed", xs.font1);
  xs.font2 = loadfont("OMXFM", p2, 2, nullptr, xs.font1);
  xs.font2i = loadfont("OMXFMI", p2i, 2, nullptr, xs.font1i);
  xs.font3 = loadfont("OMXFL", p3, 1, nullptr, xs.font2);
  xs.font3i = loadfont("OMXFLI", p3i, 1, nullptr, xs.font2i);
}

void freefonts() {
  XFontStruct* all[6] = {xs.font1, xs.font1i, xs.font2, xs.font2i, xs.font3, xs.font3i};
  for (int i = 0; i < 6; i++) {
    // A font that stands in for another is freed once.
    if (all[i] && std::find(all, all + i, all[i]) == all + i) XFreeFont(xs.display, all[i]);
  }
  xs.font1 = xs.font1i = xs.font2 = xs.font2i = xs.font3 = xs.font3i = nullptr;
}

void setscale() {
  xs.xscl = (float)xs.width / xs.xsize;
  xs.yscl = (float)xs.height / xs.ysize;
}

// Handles waiting window events when some are already read, and looks at
// the connection now and then, so a long drawing still answers the mouse.
void after_draw() {
  if (!xs.rstate) return;
  int mode = QueuedAlready;
  if (++drawcount >= 256) {
    drawcount = 0;
    mode = QueuedAfterReading;
  }
  if (XEventsQueued(xs.display, mode) > 0) gxdeve(0);
}

class x11driver : public gxdriver {
 public:
  bool interactive() const override { return true; }
  void begin(float xsize, float ysize) override { gxdbgn(xsize, ysize); }
  void end() override { gxdend(); }
  void frame(int action) override { gxdfrm(action); }
  void colour(int c) override { gxdcol(c); }
  int defcolour(int n, int r, int g, int b) override { return gxdacl(n, r, g, b); }
  void width(int t) override { gxdwid(t); }
  void move(float x, float y) override { gxdmov(x, y); }
  void draw(float x, float y) override { gxddrw(x, y); }
  void rect(float xlo, float xhi, float ylo, float yhi) override { gxdrec(xlo, xhi, ylo, yhi); }
  void fill(const float* xy, int n) override { gxdfil(xy, n); }
  void pattern(int type, int density, int angle) override { gxdptn(type, density, angle); }
  void dblbuf() override { gxddbl(); }
  void sglbuf() override { gxdsgl(); }
  void swap() override { gxdswp(); }
  void resize(int w, int h) override {
    if (xs.display && !xs.batch && w > 0 && h > 0) {
      XResizeWindow(xs.display, xs.win, (unsigned)w, (unsigned)h);
      XFlush(xs.display);
    }
  }
  void save(int slot) override;
  void show(int slot) override;
  void free_slot(int slot) override;
  void button(int n, btnrec* rec, int mode, int front, int state) override {
    gxxpbn(n, rec, mode, front, state);
  }
  void rband(int n, int type, float xlo, float ylo, float xhi, float yhi, int mb) override {
    gxxrbb(n, type, xlo, ylo, xhi, yhi, mb);
  }
  void menu(int n, dmenurec* rec, int mode) override { gxxrmu(n, rec, mode); }
  void reset_widget(int kind, int n) override { gxxrs1wd(kind, n); }
  void reset_widgets(int which) override { gxxrswd(which); }
  void mouse(int wait, float* x, float* y, int* button, int* kind, int* info,
             float* rinfo) override {
    gxxbtn(wait, x, y, button, kind, info, rinfo);
  }
  std::string dialog(dlgrec* d) override {
    char* line = gxxdlg(d);
    if (!line) return std::string();
    std::string s(line);
    free(line);
    return s;
  }
  int window_data(int* result) override;
  int dump(const char* fname, bool back) override { return gxxdump(fname, back); }
};

x11driver driver;

}  // namespace

x11state& x11st() { return xs; }
gxdriver* gxx11drv() { return &driver; }

// Pixels are kept within the 16-bit range of the X protocol, so points far
// off the page neither wrap around nor overflow the conversion.
static int pixclamp(float v) {
  if (!(v > -30000.0f)) return -30000;
  if (v > 30000.0f) return 30000;
  return (int)v;
}
int gxdpx(float x) { return pixclamp(x * xs.xscl + 0.5f); }
int gxdpy(float y) { return xs.height - pixclamp(y * xs.yscl + 0.5f); }

void gxdbat() { xs.batch = 1; }

void gxdbgn(float xsize, float ysize) {
  xs.xsize = xsize;
  xs.ysize = ysize;
  for (int i = 0; i < GX_NSLOT; i++) {
    xs.pfilld[i] = 0;
    xs.pmaps[i] = 0;
  }
  for (int i = 0; i < 120; i++) xs.cused[i] = xs.cmach[i] = 0;
  gxxrswd(1);
  gxclrobj(xs.obj, &xs.obnum);
  gxclrobj(xs.obj2, &xs.obnum2);
  gxevfree();

  xs.display = XOpenDisplay(nullptr);
  if (!xs.display) {
    printf("Error in GXSTRT: Unable to connect to X server\n");
    printf("  (use -b to run without a window)\n");
    exit(-1);  // the exit's ending hands the lines on
  }
  XSetErrorHandler(onxerror);
  XSetIOErrorHandler(onxioerror);
  xs.snum = DefaultScreen(xs.display);
  xs.cmap = DefaultColormap(xs.display, xs.snum);
  xs.depth = DefaultDepth(xs.display, xs.snum);
  xs.bsflg = DoesBackingStore(ScreenOfDisplay(xs.display, xs.snum)) != NotUseful;

  XSizeHints hints;
  memset(&hints, 0, sizeof hints);
  int x = 0, y = 0;
  const char* ugeom = gxdqgeo();
  if (ugeom) {
    int w = 0, h = 0;
    XGeometry(xs.display, xs.snum, ugeom, dgeom, 4, 1, 1, 0, 0, &x, &y, &w, &h);
    xs.width = w;
    xs.height = h;
    hints.flags = USPosition | USSize;
  } else {
    xs.width = DisplayWidth(xs.display, xs.snum) / 2;
    xs.height = (int)(xs.width * ysize / xsize);
    hints.flags = PPosition | PSize;
  }
  if (xs.width < 1) xs.width = 1;
  if (xs.height < 1) xs.height = 1;
  hints.x = x;
  hints.y = y;
  hints.width = xs.width;
  hints.height = xs.height;
  setscale();

  Window root = RootWindow(xs.display, xs.snum);
  xs.win = XCreateSimpleWindow(xs.display, root, x, y, (unsigned)xs.width, (unsigned)xs.height, 4,
                               WhitePixel(xs.display, xs.snum), BlackPixel(xs.display, xs.snum));
  gxdbck(0);
  std::vector<unsigned char> ib = icon_bits();
  Pixmap icon = XCreateBitmapFromData(xs.display, xs.win, (const char*)ib.data(), 41, 41);
  std::string title = std::string(OMBRA_NAME) + " " + OMBRA_VERSION;
  char prog[] = "ombra";
  char* argv[] = {prog, nullptr};
  XSetStandardProperties(xs.display, xs.win, title.c_str(), "Ombra", icon, argv, 1, &hints);
  setidentity(xs.display, xs.win);
  gxdwmproto();

  // The colours 0-15 and their greys (100-115), each in slot 1's colour
  // where the server has no cell for it.
  auto cell = [](int r, int g, int b) {
    XColor c = {0, (unsigned short)(r * 256), (unsigned short)(g * 256), (unsigned short)(b * 256),
                DoRed | DoGreen | DoBlue, 0};
    return XAllocColor(xs.display, xs.cmap, &c) ? c.pixel : xs.cvals[1];
  };
  for (int i = 0; i < 16; i++) {
    xs.cvals[i] = cell(wrgb[i][0], wrgb[i][1], wrgb[i][2]);
    xs.cvals[100 + i] = cell(greys[i], greys[i], greys[i]);
    xs.cused[i] = xs.cused[100 + i] = 1;
  }

  XSelectInput(xs.display, xs.win,
               ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask |
                   StructureNotifyMask);
  xs.gc = XCreateGC(xs.display, xs.win, 0, nullptr);
  XSetForeground(xs.display, xs.gc, xs.cvals[1]);
  XSetLineAttributes(xs.display, xs.gc, 0, LineSolid, CapButt, JoinBevel);
  xs.lwidth = 1;
  xs.owidth = 0;
  xs.lcolor = 1;
  gxgrey(0);

  XMapWindow(xs.display, xs.win);
  // The first exposure says the window is on the screen.  A window manager
  // that keeps it off (started iconified, busy starting itself) must not
  // hold the start: after a while, or at an interrupt, the program goes on
  // and the exposure that comes later redraws the window.
  for (int tick = 0; tick < 50 && !omqsig(); tick++) {
    XEvent ev;
    bool exposed = false;
    while (XCheckMaskEvent(xs.display, ExposureMask | StructureNotifyMask, &ev)) {
      if (ev.type == ConfigureNotify) {
        xs.width = ev.xconfigure.width;
        xs.height = ev.xconfigure.height;
        setscale();
      } else if (ev.type == Expose && ev.xexpose.count == 0) {
        exposed = true;
        break;
      }
    }
    if (exposed) break;
    XFlush(xs.display);
    struct pollfd p = {ConnectionNumber(xs.display), POLLIN, 0};
    poll(&p, 1, 100);
  }
  xs.drwbl = xs.win;
  xs.dblmode = 0;
  xs.xsetw.backing_store = Always;
  XChangeWindowAttributes(xs.display, xs.win, CWBackingStore, &xs.xsetw);

  loadfonts();
  xs.cfont = 0;
  xs.gfont = 0;
  gxdsfn();
  xs.rstate = 1;
  xs.excnt = 0;
}

void gxdend() {
  if (!xs.display) return;
  gxevfree();
  gxxrswd(1);
  for (int i = 0; i < GX_NSLOT; i++) {
    if (xs.pfilld[i]) XFreePixmap(xs.display, xs.pmaps[i]);
    xs.pfilld[i] = 0;
  }
  if (xs.dblmode) XFreePixmap(xs.display, xs.pmap);
  xs.dblmode = 0;
  freefonts();
  XFreeGC(xs.display, xs.gc);
  XCloseDisplay(xs.display);
  xs.display = nullptr;
  xs.gc = nullptr;
  xs.win = 0;
}

// The slot of xs.cvals that draws colour c, as the background and the
// grey scale have it.
static int colourslot(int c) {
  if (c < 0) c = 0;
  if (c > 99) c = 99;
  if (gxdbkq() == 1) {
    if (c == 0) c = 1;
    else if (c == 1) c = 0;
  }
  if (gxdqgrey() && c < 16) {
    if (gxdbkq() == 1) c = grrev[c];
    c += 100;
  }
  if (!xs.cused[c] && !xs.cmach[c]) c = 15;
  return c;
}

unsigned long gxdpix(int c) { return xs.cvals[colourslot(c)]; }

void gxdcol(int c) {
  int k = colourslot(c);
  XSetForeground(xs.display, xs.gc, xs.cvals[k]);
  xs.lcolor = k;
}

int gxbcol(XStandardColormap* map, XColor* cell) {
  XColor cells[256];
  for (int i = 0; i < 256; i++) cells[i].pixel = (unsigned long)i;
  XQueryColors(xs.display, xs.cmap, cells, 256);
  long best = 65536;
  int which = -1;
  for (int i = 0; i < 256; i++) {
    long d = labs((long)cells[i].red - cell->red) + labs((long)cells[i].green - cell->green) +
             labs((long)cells[i].blue - cell->blue);
    if (d < best) {
      best = d;
      which = i;
    }
  }
  if (which < 0) return 0;
  *cell = cells[which];
  return 1;
}

int gxdacl(int n, int red, int green, int blue) {
  if (n < 16 || n > 99) return 1;
  if (xs.cused[n]) {
    XFreeColors(xs.display, xs.cmap, &xs.cvals[n], 1, 0);
    xs.cused[n] = 0;
  }
  xs.cmach[n] = 0;
  XColor c;
  c.red = (unsigned short)(red * 256);
  c.green = (unsigned short)(green * 256);
  c.blue = (unsigned short)(blue * 256);
  c.flags = DoRed | DoGreen | DoBlue;
  if (XAllocColor(xs.display, xs.cmap, &c)) {
    xs.cvals[n] = c.pixel;
    xs.cused[n] = 1;
    return 1;
  }
  XStandardColormap* maps = nullptr;
  int count = 0;
  if (XGetRGBColormaps(xs.display, RootWindow(xs.display, xs.snum), &maps, &count,
                       XA_RGB_BEST_MAP) && count > 0) {
    if (gxbcol(maps, &c)) {
      xs.cvals[n] = c.pixel;
      xs.cmach[n] = 1;
      printf("Color Match.  Color number = %i\n", n);
    } else {
      printf("Color Matching Error.  Color number = %i\n", n);
    }
    XFree(maps);
  } else {
    printf("Color Map Allocation Error.  Color number = %i\n", n);
  }
  return 0;
}

void gxdwid(int thickness) {
  xs.lwidth = thickness;
  if (gxdqwdln()) return;
  int w = thickness < 6 ? 0 : (thickness < 12 ? 2 : 3);
  if (w != xs.owidth) {
    XSetLineAttributes(xs.display, xs.gc, (unsigned)w, LineSolid, CapButt, JoinBevel);
    xs.owidth = w;
  }
}

void gxdmov(float x, float y) {
  xs.xxx = gxdpx(x);
  xs.yyy = gxdpy(y);
}

void gxddrw(float x, float y) {
  int nx = gxdpx(x), ny = gxdpy(y);
  XDrawLine(xs.display, xs.drwbl, xs.gc, xs.xxx, xs.yyy, nx, ny);
  if (gxdqwdln() && xs.lwidth > 5) {
    bool steep = abs(nx - xs.xxx) < abs(ny - xs.yyy);
    if (steep) XDrawLine(xs.display, xs.drwbl, xs.gc, xs.xxx - 1, xs.yyy, nx - 1, ny);
    else XDrawLine(xs.display, xs.drwbl, xs.gc, xs.xxx, xs.yyy - 1, nx, ny - 1);
    if (xs.lwidth > 11) {
      if (steep) XDrawLine(xs.display, xs.drwbl, xs.gc, xs.xxx + 1, xs.yyy, nx + 1, ny);
      else XDrawLine(xs.display, xs.drwbl, xs.gc, xs.xxx, xs.yyy + 1, nx, ny + 1);
    }
  }
  xs.xxx = nx;
  xs.yyy = ny;
  after_draw();
}

void gxdrec(float xlo, float xhi, float ylo, float yhi) {
  int x1 = gxdpx(xlo), x2 = gxdpx(xhi);
  int y1 = gxdpy(ylo), y2 = gxdpy(yhi);
  if (x1 == x2 || y1 == y2) {
    XDrawLine(xs.display, xs.drwbl, xs.gc, x1, y1, x2, y2);
  } else {
    int w = x2 - x1, h = y1 - y2;
    int left = w < 0 ? x2 : x1, top = h < 0 ? y1 : y2;
    XFillRectangle(xs.display, xs.drwbl, xs.gc, left, top, (unsigned)abs(w), (unsigned)abs(h));
  }
  after_draw();
}

void gxdfil(const float* xy, int n) {
  if (n < 1) return;
  std::vector<XPoint> pts;
  try {
    pts.resize((size_t)n);
  } catch (const std::bad_alloc&) {
    printf("Error in polygon fill routine gxdfil: \n");
    printf("   Unable to allocate enough memory for the request\n");
    return;
  }
  for (int i = 0; i < n; i++) {
    pts[i].x = (short)gxdpx(xy[2 * i]);
    pts[i].y = (short)gxdpy(xy[2 * i + 1]);
  }
  XFillPolygon(xs.display, xs.drwbl, xs.gc, pts.data(), n, Complex, CoordModeOrigin);
  after_draw();
}

namespace {

int posmod(int a, int s) {
  int m = a % s;
  return m < 0 ? m + s : m;
}

}  // namespace

bool gxdtile(int type, int density, int angle, int* side, std::string* bits) {
  static const int dots[6] = {6, 5, 4, 4, 2, 2};
  static const int per[5] = {12, 6, 4, 3, 2};
  static const int d45[5] = {12, 8, 6, 4, 3};
  static const int d30[5] = {14, 10, 8, 6, 5};
  int s;
  if (type == 2) {
    if (density < 1 || density > 6) return false;
    s = dots[density - 1];
  } else {
    if (density < 1 || density > 5) return false;
    if (angle == 0 || angle == 90 || angle == -90) s = 12;
    else if (angle == 45 || angle == -45) s = d45[density - 1];
    else if (angle == 30 || angle == 60 || angle == -30 || angle == -60) s = d30[density - 1];
    else return false;
  }
  bits->assign((size_t)(s * s), '0');
  for (int r = 0; r < s; r++) {
    for (int c = 0; c < s; c++) {
      bool on;
      if (type == 2) {
        on = (r == 0 && c == 0) || (density == 4 && r == 2 && c == 2) ||
             (density == 6 && r == 1 && c == 1);
      } else {
        int p = per[density - 1];
        switch (angle) {
          case 0: on = r % p == 0; break;
          case 90: case -90: on = c % p == 0; break;
          case 45: on = r + c == s - 1; break;
          case -45: on = r == c; break;
          case 30: on = (c + 2 * r + 2) % s <= 1; break;
          case 60: on = (r + 2 * c + 2) % s <= 1; break;
          case -30: on = posmod(r - 2 * c, s) <= 1; break;
          default: on = posmod(2 * r - c + 1, s) <= 1; break;
        }
      }
      if (on) (*bits)[(size_t)(r * s + c)] = '1';
    }
  }
  *side = s;
  return true;
}

void gxdptn(int type, int density, int angle) {
  if (type == 0) return;
  if (type == 1) {
    XSetFillStyle(xs.display, xs.gc, FillSolid);
    return;
  }
  if (type != 2 && type != 3) {
    printf("Error in fill specification: type = %d\n", type);
    return;
  }
  bool dens_ok = type == 2 ? (density >= 1 && density <= 6) : (density >= 1 && density <= 5);
  if (!dens_ok) {
    printf("Error in density specification: density = %d\n", density);
    return;
  }
  int side = 0;
  std::string bits;
  if (!gxdtile(type, density, angle, &side, &bits)) {
    printf("Error in angle specification: angle = %d\n", angle);
    return;
  }
  int stride = (side + 7) / 8;
  std::vector<char> data((size_t)(stride * side), 0);
  for (int r = 0; r < side; r++) {
    for (int c = 0; c < side; c++) {
      if (bits[(size_t)(r * side + c)] == '1') data[(size_t)(r * stride + c / 8)] |= (char)(1 << (c % 8));
    }
  }
  Pixmap st = XCreateBitmapFromData(xs.display, xs.win, data.data(), (unsigned)side, (unsigned)side);
  XSetStipple(xs.display, xs.gc, st);
  XSetFillStyle(xs.display, xs.gc, FillStippled);
  XFreePixmap(xs.display, st);
}

void gxdclr(Drawable d) {
  XGCValues keep;
  XGetGCValues(xs.display, xs.gc, GCFillStyle, &keep);
  XSetForeground(xs.display, xs.gc, gxdpix(0));
  XSetFillStyle(xs.display, xs.gc, FillSolid);
  XFillRectangle(xs.display, d, xs.gc, 0, 0, (unsigned)xs.width, (unsigned)xs.height);
  XSetForeground(xs.display, xs.gc, xs.cvals[xs.lcolor]);
  XSetFillStyle(xs.display, xs.gc, keep.fill_style);
}

Pixmap gxdpixmap(int w, int h) {
  if (w < 1 || h < 1) return 0;
  XSync(xs.display, False);
  xerror = 0;
  Pixmap p = XCreatePixmap(xs.display, xs.win, (unsigned)w, (unsigned)h, (unsigned)xs.depth);
  XSync(xs.display, False);
  if (xerror) {
    xerror = 0;
    return 0;
  }
  return p;
}

void gxddbl() {
  Pixmap p = gxdpixmap(xs.width, xs.height);
  if (!p) {
    printf("Error allocating pixmap for animation mode\n");
    printf("Animation mode will not be enabled\n");
    return;
  }
  xs.pmap = p;
  xs.dblmode = 1;
  xs.drwbl = p;
  gxdclr(p);
  gxxrswd(1);
  gxclrobj(xs.obj, &xs.obnum);
  gxclrobj(xs.obj2, &xs.obnum2);
}

void gxdsgl() {
  if (!xs.dblmode) return;
  gxxrswd(1);
  gxclrobj(xs.obj, &xs.obnum);
  gxclrobj(xs.obj2, &xs.obnum2);
  XFreePixmap(xs.display, xs.pmap);
  xs.pmap = 0;
  xs.drwbl = xs.win;
  xs.dblmode = 0;
}

void gxdswp() {
  if (!xs.dblmode) return;
  XCopyArea(xs.display, xs.pmap, xs.win, xs.gc, 0, 0, (unsigned)xs.width, (unsigned)xs.height, 0, 0);
  gxdclr(xs.drwbl);
  gxxrswd(0);
  gxcpwd();
  gxxrswd(2);
}

void gxdfrm(int action) {
  if (!xs.display) return;
  if (action == 0 || action == 1) {
    gxdclr(xs.drwbl);
    gxclrobj(xs.obj, &xs.obnum);
    gxdrain(action);
    gxevfree();
    gxxrswd(0);
  } else if (action == 2 || action == 8 || action >= 10) {
    gxdrain(action);
    gxevfree();
  } else if (action >= 3 && action <= 6) {
    gxdrain(action);
    gxevfree();
    gxxrswd(0);
  } else if (action == 7) {
    gxdclr(xs.drwbl);
    gxclrobj(xs.obj, &xs.obnum);
    gxdeve(0);
    // The object table was emptied: the redrawn widgets take fresh rows,
    // or they would show but no longer answer the mouse.
    xs.rstate = 0;
    gxrdrw(0);
    xs.rstate = 1;
    XFlush(xs.display);
  } else if (action == 9) {
    gxdeve(0);
    XFlush(xs.display);
  }
}

void x11driver::save(int slot) {
  if (slot < 0 || slot >= GX_NSLOT) return;
  if (!xs.pfilld[slot]) {
    Pixmap p = gxdpixmap(xs.width, xs.height);
    if (!p) {
      printf("Error allocating pixmap for screen save operation\n");
      printf("Screen will not be saved\n");
      return;
    }
    xs.pmaps[slot] = p;
    xs.pfilld[slot] = 1;
    pwidth[slot] = xs.width;
    pheight[slot] = xs.height;
  }
  XCopyArea(xs.display, xs.win, xs.pmaps[slot], xs.gc, 0, 0, (unsigned)pwidth[slot],
            (unsigned)pheight[slot], 0, 0);
}

void x11driver::show(int slot) {
  if (slot < 0 || slot >= GX_NSLOT || !xs.pfilld[slot]) return;
  XCopyArea(xs.display, xs.pmaps[slot], xs.drwbl, xs.gc, 0, 0, (unsigned)pwidth[slot],
            (unsigned)pheight[slot], 0, 0);
  XFlush(xs.display);
}

void x11driver::free_slot(int slot) {
  if (slot < 0 || slot >= GX_NSLOT || !xs.pfilld[slot]) return;
  XFreePixmap(xs.display, xs.pmaps[slot]);
  xs.pfilld[slot] = 0;
}

int x11driver::window_data(int* result) {
  if (!xs.display || !xs.win) return 0;
  XWindowAttributes a;
  if (!XGetWindowAttributes(xs.display, xs.win, &a)) return 0;
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(xs.display, xs.win, RootWindow(xs.display, xs.snum), 0, 0, &rx, &ry,
                        &child);
  result[0] = (int)xs.win;
  result[1] = rx;
  result[2] = ry;
  result[3] = a.width;
  result[4] = a.height;
  result[5] = a.border_width;
  return 1;
}
