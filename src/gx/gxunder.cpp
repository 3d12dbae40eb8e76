// The window area under a temporary child window (a drop menu, a dialog
// box): copied aside before the child opens and put back after it closes.
// Neither backing store nor save-under keeps the parent's pixels under a
// child window on today's servers (the parent is merely exposed and
// cleared there), so the copy is taken on every server.
#include "gx/gxx11.h"

namespace {

x11state& S() { return x11st(); }

// A graphics context for the copies alone: plain copying whatever the
// drawing context holds (a rubber band's exclusive-or, a stipple), and no
// NoExpose events, which no event mask reads and which would only pile up.
GC copygc() {
  x11state& s = S();
  XGCValues v;
  v.function = GXcopy;
  v.graphics_exposures = False;
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

}  // namespace

Pixmap gxdsave(int x, int y, int w, int h) {
  x11state& s = S();
  Pixmap p = gxdpixmap(w, h);
  if (!p) return 0;
  GC gc = copygc();
  XCopyArea(s.display, s.win, p, gc, x, y, (unsigned)w, (unsigned)h, 0, 0);
  XFreeGC(s.display, gc);
  return p;
}

void gxdrestore(Pixmap p, int x, int y, int w, int h) {
  x11state& s = S();
  if (p) {
    GC gc = copygc();
    XCopyArea(s.display, p, s.win, gc, 0, 0, (unsigned)w, (unsigned)h, x, y);
    XFreeGC(s.display, gc);
    XFreePixmap(s.display, p);
  }
  // The server has exposed the area by now; drop those exposures so they
  // do not set off a full redraw.  Without a copy they are left for the
  // redraw to mend the area.
  XSync(s.display, False);
  if (!p) return;
  area a = {x, y, w, h};
  XEvent e;
  while (XCheckIfEvent(s.display, &e, answered, (XPointer)&a)) {
  }
}
