// The window area under a temporary child window (a drop menu, a dialog
// box): copied aside before the child opens and put back after it closes.
// Neither backing store nor save-under keeps the parent's pixels under a
// child window on today's servers (the parent is merely exposed and
// cleared there), so the copy is taken on every server.
//
// Only pixels the server really holds are worth keeping: a window that is
// not shown (iconified) or parts of it hidden under other windows on a
// server without backing store copy as black.  Such a copy is not kept,
// and the area is drawn again from the display list when the child goes.
#include "gx/gxx11.h"

namespace {

x11state& S() { return x11st(); }

// A graphics context for the copies alone: plain copying whatever the
// drawing context holds (a rubber band's exclusive-or, a stipple).  The
// copy aside asks for graphics exposures, which tell of parts that could
// not be copied; the copy back asks for none.
GC copygc(bool exposures) {
  x11state& s = S();
  XGCValues v;
  v.function = GXcopy;
  v.graphics_exposures = exposures ? True : False;
  return XCreateGC(s.display, s.win, GCFunction | GCGraphicsExposures, &v);
}

struct area {
  int x, y, w, h;
};

// Exposures of the display window inside the restored area, which the
// copy has already answered.
Bool answered(Display*, XEvent* e, XPointer arg) {
  const area& a = *(const area*)arg;
  if (e->type != Expose || e->xexpose.window != S().win) return False;
  const XExposeEvent& x = e->xexpose;
  return x.x >= a.x && x.y >= a.y && x.x + x.width <= a.x + a.w && x.y + x.height <= a.y + a.h;
}

// The server's word on a copy into pixmap p: a GraphicsExpose for each
// part it could not copy, or one NoExpose when it copied everything.
Bool copyreport(Display*, XEvent* e, XPointer arg) {
  Drawable p = *(const Drawable*)arg;
  if (e->type == GraphicsExpose) return e->xgraphicsexpose.drawable == p;
  if (e->type == NoExpose) return e->xnoexpose.drawable == p;
  return False;
}

// Any exposure of the window still to be answered: the part it names has
// only the background until the window is drawn again.
Bool unanswered(Display*, XEvent* e, XPointer arg) {
  if (e->type == Expose && e->xexpose.window == S().win) *(bool*)arg = true;
  return False;
}

bool viewable() {
  x11state& s = S();
  XWindowAttributes a;
  return XGetWindowAttributes(s.display, s.win, &a) && a.map_state == IsViewable;
}

}  // namespace

void gxdshown(int* left, int* top, int* right, int* bottom) {
  x11state& s = S();
  int ox = 0, oy = 0;
  Window child;
  XTranslateCoordinates(s.display, s.win, RootWindow(s.display, s.snum), 0, 0, &ox, &oy, &child);
  int sw = DisplayWidth(s.display, s.snum), sh = DisplayHeight(s.display, s.snum);
  *left = ox < 0 ? -ox : 0;
  *top = oy < 0 ? -oy : 0;
  *right = sw - ox < s.width ? sw - ox : s.width;
  *bottom = sh - oy < s.height ? sh - oy : s.height;
  // A window wholly off the screen: its own area, nothing better known.
  if (*right <= *left || *bottom <= *top) {
    *left = *top = 0;
    *right = s.width;
    *bottom = s.height;
  }
}

void gxdraise() {
  x11state& s = S();
  XRaiseWindow(s.display, s.win);
  XFlush(s.display);
}

undersave gxdsave(int x, int y, int w, int h) {
  x11state& s = S();
  undersave u;
  u.x = x;
  u.y = y;
  u.w = w;
  u.h = h;
  u.width = s.width;
  u.height = s.height;
  if (!viewable()) return u;
  Pixmap p = gxdpixmap(w, h);
  if (!p) return u;
  GC gc = copygc(true);
  XCopyArea(s.display, s.win, p, gc, x, y, (unsigned)w, (unsigned)h, 0, 0);
  XFreeGC(s.display, gc);
  XSync(s.display, False);
  bool whole = true;
  XEvent e;
  while (XCheckIfEvent(s.display, &e, copyreport, (XPointer)&p)) {
    if (e.type == GraphicsExpose) whole = false;
  }
  // Uncovered just now (raised, a window gone from above it) and not yet
  // drawn: the copy would hold the bare background there.
  bool exposed = false;
  XCheckIfEvent(s.display, &e, unanswered, (XPointer)&exposed);
  if (whole && !exposed) u.p = p;
  else XFreePixmap(s.display, p);
  return u;
}

bool gxdrestore(undersave& u) {
  x11state& s = S();
  // A copy taken before the window changed size shows the plot at the old
  // scale: the display list draws it anew instead.
  bool back = u.p && u.width == s.width && u.height == s.height;
  if (back) {
    GC gc = copygc(false);
    XCopyArea(s.display, u.p, s.win, gc, 0, 0, (unsigned)u.w, (unsigned)u.h, u.x, u.y);
    XFreeGC(s.display, gc);
  }
  if (u.p) XFreePixmap(s.display, u.p);
  u.p = 0;
  // The server has exposed the area by now; drop those exposures so they
  // do not set off a full redraw: the copy, or the redraw below, has
  // answered them.
  XSync(s.display, False);
  if (!back) gxdrdw();
  area a = {u.x, u.y, u.w, u.h};
  XEvent e;
  while (XCheckIfEvent(s.display, &e, answered, (XPointer)&a)) {
  }
  return back;
}
