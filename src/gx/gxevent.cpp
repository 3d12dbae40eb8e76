// Mouse events: the queue of button presses, the hit test against the
// widget object table, and the handlers of buttons, rubber bands and
// drop-menu headers, which run as soon as the press is read.
#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/cmnstate.h"
#include "gx/gxx11.h"

namespace {

x11state& S() { return x11st(); }

const long evmask = KeyPressMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                    ExposureMask | StructureNotifyMask;

void append(eventrec* ev) {
  x11state& s = S();
  eventrec** p = &s.evbase;
  while (*p) p = &(*p)->forw;
  *p = ev;
}

// Whether the widget behind an object row is still defined (frame
// actions reset the widgets without emptying the object table).
bool inuse(const objrec& o) {
  if (!o.iob) return false;
  if (o.type == 1) return ((const btnrec*)o.iob)->num >= 0;
  if (o.type == 2) return ((const rbandrec*)o.iob)->num >= 0;
  if (o.type == 3) return ((const dmenurec*)o.iob)->num >= 0;
  return false;
}

void hittest(eventrec* ev, int px, int py, int mb) {
  x11state& s = S();
  for (int i = 0; i < GX_NOBJ; i++) {
    objrec& o = s.obj[i];
    if (o.type == -1) break;
    if (o.type == 0 || !inuse(o)) continue;
    if (!(o.i1 < px && px < o.i2 && o.j1 < py && py < o.j2)) continue;
    if (o.mb >= 0 && o.mb != mb) continue;
    if (o.type == 1) {
      gxevbn(ev, i);
    } else if (o.type == 2) {
      gxevrb(ev, i, px, py);
    } else if (o.type == 3) {
      int j = i, x = px, y = py;
      int guard = 0;
      while (j != -999 && j >= 0 && j < GX_NOBJ && guard++ < 1000) {
        j = gxevdm(ev, j, x, y);
        x = s.dmx;
        y = s.dmy;
      }
    }
    return;
  }
}

void runredraw() {
  x11state& s = S();
  gxdsfn();
  gxdrdw();
  s.redraw = 0;
}

}  // namespace

bool gxdresized(const XEvent& e) {
  x11state& s = S();
  if (e.xconfigure.window != s.win) return false;
  if (e.xconfigure.width == s.width && e.xconfigure.height == s.height) return false;
  s.width = e.xconfigure.width;
  s.height = e.xconfigure.height;
  s.xscl = (float)s.width / s.xsize;
  s.yscl = (float)s.height / s.ysize;
  return true;
}

// A "q pos" typed by mistake, a script waiting for a click or an open
// dialog must not hold the session until the mouse is pressed: the user's
// interrupt ends the wait.
int gxwaitfor(Display* d, long mask, XEvent* e, int ms) {
  for (int waited = 0;; waited += 100) {
    if (XCheckMaskEvent(d, mask, e)) return 1;
    gxdwmcheck();
    if (omqsig()) return -1;
    if (ms >= 0 && waited >= ms) return 0;
    // What was asked of the server goes out before the wait for its answer.
    XFlush(d);
    struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, 100);
  }
}

bool gxwaitev(Display* d, long mask, XEvent* e) { return gxwaitfor(d, mask, e, -1) > 0; }

void gxevfree() {
  x11state& s = S();
  while (s.evbase) {
    eventrec* n = s.evbase->forw;
    delete s.evbase;
    s.evbase = n;
  }
}

void gxdeve(int wait) {
  x11state& s = S();
  if (!s.display) return;
  if (wait && s.evbase) wait = 0;
  gxdwmcheck();
  for (;;) {
    if (wait && !s.redraw) {
      if (!gxwaitev(s.display, evmask, &s.report)) break;
    } else if (!XCheckMaskEvent(s.display, evmask, &s.report)) {
      if (s.redraw) {
        runredraw();
        continue;
      }
      return;
    }
    XEvent& e = s.report;
    if (gxdgone(e)) gxdclosed();
    // What is left of a menu or a dialog box that has gone (a click on a
    // menu queued as it closed) is not the window's.
    if (e.xany.window != s.win) continue;
    if (e.type == Expose) {
      // Even a server offering backing store exposes a window whose
      // pixels it did not keep: the exposure always asks for a redraw.
      if (s.excnt > 0) s.excnt--;
      else s.redraw = 1;
    } else if (e.type == ConfigureNotify) {
      if (gxdresized(e)) s.redraw = 1;
    } else if (e.type == ButtonPress) {
      // A redraw asked for earlier in this pass comes first: the widget
      // rectangles are rebuilt at a new size before the press is tested
      // against them, and the part of the window uncovered by the click
      // is drawn before a menu or a held button waits over it.
      if (s.redraw) runredraw();
      eventrec* ev = new (std::nothrow) eventrec();
      if (!ev) {
        printf("Memory allocation error in event queue!!!!!!\n");
        break;
      }
      append(ev);
      int px = e.xbutton.x, py = e.xbutton.y;
      ev->mbtn = (int)e.xbutton.button;
      ev->type = 0;
      ev->x = (float)px * s.xsize / (float)s.width;
      ev->y = s.ysize - (float)py * s.ysize / (float)s.height;
      hittest(ev, px, py, ev->mbtn);
      wait = 0;
    }
  }
  if (s.redraw) runredraw();
}

void gxdrain(int action) {
  x11state& s = S();
  XEvent e;
  bool redo = false;
  gxdwmcheck();
  while (XCheckMaskEvent(s.display, evmask, &e)) {
    if (gxdgone(e)) gxdclosed();
    if (e.type == ConfigureNotify && gxdresized(e)) {
      gxdsfn();
      redo = true;
    }
  }
  if (redo && action == 8) gxdrdw();
}

void gxxbtn(int wait, float* x, float* y, int* button, int* kind, int* info, float* rinfo) {
  x11state& s = S();
  if (s.batch || !s.display) {
    *x = -999.9f;
    *y = -999.9f;
    *button = -1;
    *kind = -1;
    return;
  }
  gxdeve(wait);
  eventrec* ev = s.evbase;
  if (!ev) {
    *x = -999.9f;
    *y = -999.9f;
    *button = -1;
    *kind = -1;
    return;
  }
  *x = ev->x;
  *y = ev->y;
  *button = ev->mbtn;
  *kind = ev->type;
  if (info) memcpy(info, ev->info, sizeof ev->info);
  if (rinfo) memcpy(rinfo, ev->rinfo, sizeof ev->rinfo);
  s.evbase = ev->forw;
  delete ev;
}

void gxevbn(eventrec* ev, int row) {
  x11state& s = S();
  btnrec* b = (btnrec*)s.obj[row].iob;
  ev->type = 1;
  ev->info[0] = b->num;
  ev->info[1] = b->state ? 0 : 1;
  int cbr = b->state ? b->foc1 : b->oc1, ctl = b->state ? b->foc2 : b->oc2;
  bool show = cbr >= 0 && ctl >= 0;
  if (show && b->state == 1 && b->foc1 == b->oc2 && b->foc2 == b->oc1) show = false;
  if (show) {
    int keepw = s.lwidth;
    gxdwid(b->thk);
    XSetForeground(s.display, s.gc, gxdpix(ctl));
    XDrawLine(s.display, s.win, s.gc, b->x1, b->y2, b->x2, b->y2);
    XDrawLine(s.display, s.win, s.gc, b->x2, b->y2, b->x2, b->y1);
    XSetForeground(s.display, s.gc, gxdpix(cbr));
    XDrawLine(s.display, s.win, s.gc, b->x2, b->y1, b->x1, b->y1);
    XDrawLine(s.display, s.win, s.gc, b->x1, b->y1, b->x1, b->y2);
    gxdwid(keepw);
    XSetForeground(s.display, s.gc, s.cvals[s.lcolor]);
    XFlush(s.display);
  }
  // The release ends the press; an interrupt ends the wait for one that
  // may never come (the window taken away under the pointer).
  XEvent e;
  while (gxwaitev(s.display, ButtonReleaseMask | ButtonMotionMask, &e) &&
         e.type != ButtonRelease) {
  }
  b->state = b->state ? 0 : 1;
  gxxpbn(b->num, nullptr, 1, 1, -1);
  XFlush(s.display);
}

namespace {

int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void rbshape(int type, int ax, int ay, int bx, int by) {
  x11state& s = S();
  int xl = ax < bx ? ax : bx, xh = ax < bx ? bx : ax;
  int yl = ay < by ? ay : by, yh = ay < by ? by : ay;
  if (type == 1) {
    XDrawRectangle(s.display, s.win, s.gc, xl, yl, (unsigned)(xh - xl), (unsigned)(yh - yl));
  } else {
    XDrawLine(s.display, s.win, s.gc, xl, yl, xh, yh);
  }
}

}  // namespace

void gxevrb(eventrec* ev, int row, int px, int py) {
  x11state& s = S();
  objrec& o = s.obj[row];
  rbandrec* r = (rbandrec*)o.iob;
  ev->type = 2;
  ev->info[0] = r->num;
  XSetFunction(s.display, s.gc, GXxor);
  XSetForeground(s.display, s.gc, gxdpix(0) ^ gxdpix(1));
  bool drawn = false;
  int lx = px, ly = py;
  XEvent e = {};
  bool released = false;
  for (;;) {
    // An interrupt ends the band where the pointer was last seen.
    if (!gxwaitev(s.display, ButtonReleaseMask | ButtonMotionMask, &e)) break;
    if (e.type != MotionNotify) {
      released = true;
      break;
    }
    if (drawn) rbshape(r->type, px, py, lx, ly);
    lx = clampi(e.xmotion.x, o.i1, o.i2);
    ly = clampi(e.xmotion.y, o.j1, o.j2);
    rbshape(r->type, px, py, lx, ly);
    drawn = true;
    XFlush(s.display);
  }
  if (drawn) rbshape(r->type, px, py, lx, ly);
  XSetForeground(s.display, s.gc, s.cvals[s.lcolor]);
  XSetFunction(s.display, s.gc, GXcopy);
  XFlush(s.display);
  int rx = clampi(released ? e.xbutton.x : lx, o.i1, o.i2);
  int ry = clampi(released ? e.xbutton.y : ly, o.j1, o.j2);
  ev->rinfo[0] = (float)rx * s.xsize / (float)s.width;
  ev->rinfo[1] = s.ysize - (float)ry * s.ysize / (float)s.height;
}

namespace {

}  // namespace

void gxdmhead(const dmenurec& m, bool open) {
  x11state& s = S();
  int tc = open ? m.tfc : m.fc, fc = open ? m.tbc : m.bc;
  int cbr = open ? m.toc1 : m.oc1, ctl = open ? m.toc2 : m.oc2;
  XFontStruct* fi = gxdfnt(1);
  if (tc >= 0 && fc >= 0) {
    XSetForeground(s.display, s.gc, gxdpix(fc));
    XFillRectangle(s.display, s.win, s.gc, m.x1, m.y1, (unsigned)(m.x2 - m.x1 + 1),
                   (unsigned)(m.y2 - m.y1 + 1));
    size_t len = m.str ? strnlen(m.str, (size_t)(m.len > 0 ? m.len : 0)) : 0;
    if (fi && len > 0) {
      XSetFont(s.display, s.gc, fi->fid);
      XSetForeground(s.display, s.gc, gxdpix(tc));
      XDrawString(s.display, s.win, s.gc, m.x1 + fi->ascent / 2,
                  (m.y2 - m.y1) / 2 + m.y1 - 1 + fi->ascent * 5 / 9, m.str, (int)len);
    }
  }
  XSetLineAttributes(s.display, s.gc, 0, LineSolid, CapButt, JoinBevel);
  int depth = m.thick > 11 ? 3 : (m.thick > 5 ? 2 : 1);
  gxdedge(s.win, s.gc, m.x1, m.y1, m.x2, m.y2, depth, cbr, ctl);
  XSetLineAttributes(s.display, s.gc, (unsigned)s.owidth, LineSolid, CapButt, JoinBevel);
  XFontStruct* f = gxdfnt(0);
  if (f) XSetFont(s.display, s.gc, f->fid);
  XSetForeground(s.display, s.gc, s.cvals[s.lcolor]);
}

int gxevdm(eventrec* ev, int row, int px, int py) {
  x11state& s = S();
  dmenurec* m = (dmenurec*)s.obj[row].iob;
  ev->type = 3;
  gxdraise();
  gxdmhead(*m, true);
  s.dmrecu = -1;
  for (int k = 0; k < 4; k++) {
    s.dmi1[k] = s.dmi2[k] = s.dmj1[k] = s.dmj2[k] = s.dmnum[k] = s.dmsel[k] = s.dmcur[k] = -1;
  }
  int rc = gxpopdm(m, row, m->x1, m->x1, m->y2, px, py);
  gxdsfn();
  gxdmhead(*m, false);
  XFlush(s.display);
  for (int k = 0; k < 4; k++) {
    if (s.dmsel[k] < 0) s.dmnum[k] = -1;
    ev->info[2 * k] = s.dmnum[k];
    ev->info[2 * k + 1] = s.dmsel[k];
  }
  return rc;
}
