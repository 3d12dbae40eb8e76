// Pop-up drop menus: one level of a menu opened from a header or from a
// cascade item, as a temporary child window of the display window.
#include <cstdio>
#include <cstring>
#include <vector>

#include "gx/gxx11.h"

namespace {

x11state& S() { return x11st(); }

const int maxitems = 200;
const int maxlevels = 4;

struct menuitem {
  const char* text;
  int shown;   // characters before the cascade marker
  int drawn;   // of those, the ones up to the last that is not a blank
  int casc;    // cascade menu number, -1 none
};

// Items are written "Open |Save |Colour >05>": the blanks that part them
// from the bar or the marker are not part of the label.
int labelchars(const char* s, int shown) {
  while (shown > 0 && s[shown - 1] == ' ') shown--;
  return shown;
}

struct level {
  Window w = 0;
  GC gc = nullptr;
  int W = 0, H = 0, R = 0, d = 1;
  int left = 0, top = 0, right = 0, bottom = 0;
  const dmenurec* m = nullptr;
  std::vector<menuitem> items;
  int lit = -1;   // the highlighted item
};

// The levels open now, each repainted when it is exposed.
level* openlv[maxlevels] = {};

bool digit(char c) { return c >= '0' && c <= '9'; }

void arrow(const level& L, int i, bool swapped) {
  x11state& s = S();
  int a = L.R / 5, c = (i + 1) * L.R - L.R / 2;
  int c1 = swapped ? L.m->soc2 : L.m->soc1;   // lower edge
  int c2 = swapped ? L.m->soc1 : L.m->soc2;   // back and upper edges
  if (c2 >= 0) {
    XSetForeground(s.display, L.gc, gxdpix(c2));
    XDrawLine(s.display, L.w, L.gc, L.W - 3 * a, c + a, L.W - 3 * a, c - a);
    XDrawLine(s.display, L.w, L.gc, L.W - 3 * a, c - a, L.W - a, c);
  }
  if (c1 >= 0) {
    XSetForeground(s.display, L.gc, gxdpix(c1));
    XDrawLine(s.display, L.w, L.gc, L.W - a, c, L.W - 3 * a, c + a);
  }
}

void drawmenu(const level& L) {
  x11state& s = S();
  const dmenurec& m = *L.m;
  if (m.bbc >= 0) {
    XSetForeground(s.display, L.gc, gxdpix(m.bbc));
    XFillRectangle(s.display, L.w, L.gc, 0, 0, (unsigned)L.W, (unsigned)L.H);
  }
  if (m.boc1 >= 0) {
    XSetForeground(s.display, L.gc, gxdpix(m.boc1));
    XDrawLine(s.display, L.w, L.gc, 0, L.H - 1, L.W - 1, L.H - 1);
    XDrawLine(s.display, L.w, L.gc, L.W - 1, L.H - 1, L.W - 1, 0);
  }
  if (m.boc2 >= 0) {
    XSetForeground(s.display, L.gc, gxdpix(m.boc2));
    XDrawLine(s.display, L.w, L.gc, L.W - 1, 0, 0, 0);
    XDrawLine(s.display, L.w, L.gc, 0, 0, 0, L.H - 1);
  }
  XFontStruct* fi = gxdfnt(1);
  if (fi) XSetFont(s.display, L.gc, fi->fid);
  for (size_t i = 0; i < L.items.size(); i++) {
    const menuitem& it = L.items[i];
    if (m.bfc >= 0 && it.drawn > 0) {
      XSetForeground(s.display, L.gc, gxdpix(m.bfc));
      XDrawString(s.display, L.w, L.gc, L.R / 4, ((int)i + 1) * L.R - L.R / 3, it.text, it.drawn);
    }
    if (it.casc >= 0) arrow(L, (int)i, false);
  }
}

void boxlines(const level& L, int item, int ctl, int cbr) {
  x11state& s = S();
  int x = L.d, x2 = L.W - L.d - 1, y = item * L.R + L.d, y2 = (item + 1) * L.R - L.d - 1;
  if (ctl >= 0) {
    XSetForeground(s.display, L.gc, gxdpix(ctl));
    XDrawLine(s.display, L.w, L.gc, x, y, x, y2);
    XDrawLine(s.display, L.w, L.gc, x, y, x2, y);
  }
  if (cbr >= 0) {
    XSetForeground(s.display, L.gc, gxdpix(cbr));
    XDrawLine(s.display, L.w, L.gc, x2, y, x2, y2);
    XDrawLine(s.display, L.w, L.gc, x, y2, x2, y2);
  }
}

void highlight(level& L, int item, bool on) {
  if (item < 0 || item >= (int)L.items.size()) return;
  if (on) L.lit = item;
  else if (L.lit == item) L.lit = -1;
  if (on) boxlines(L, item, L.m->soc2, L.m->soc1);
  else boxlines(L, item, L.m->bbc, L.m->bbc);
  if (L.items[(size_t)item].casc >= 0) arrow(L, item, on);
}

int itemat(const level& L, int x, int y) {
  if (L.R <= 0) return -1;
  if (x >= L.left && x <= L.right && y >= L.top && y <= L.bottom) {
    int i = (y - L.top) / L.R;
    return i < (int)L.items.size() ? i : (int)L.items.size() - 1;
  }
  return -1;
}

bool defined(int c) {
  x11state& s = S();
  return c >= 0 && c < GX_NDMU && s.dmu[c].num == c;
}

// Opens the cascade of an item (nesting is limited to the level tables).
int opencasc(const level& L, int lvl, int item, int header, int x, int y) {
  x11state& s = S();
  if (lvl + 1 >= maxlevels) return -999;
  s.dmcur[lvl] = item;
  int c = L.items[(size_t)item].casc;
  int r = gxpopdm(&s.dmu[c], header, L.left, L.right, L.top + item * L.R + 1, x, y);
  if (r == -99) {
    // The cascade was left for this level: it chose nothing.
    s.dmsel[lvl + 1] = -1;
    s.dmnum[lvl + 1] = -1;
  }
  return r;
}

int nextsel(int lvl) { return lvl + 1 < maxlevels ? S().dmsel[lvl + 1] : -1; }

// The window under the menus drawn again from the display list; the
// header keeps the look of an open menu while one is open.
void repaintwindow() {
  gxdsfn();
  gxdrdw();
  if (openlv[0]) gxdmhead(*openlv[0]->m, true);
  XFlush(S().display);
}

// Answers an exposure or a size change of the window or of an open menu
// while the menus are open: nothing stays black or shows what passed over
// it.  (The menus keep their places on a window of a new size.)
void answer(const XEvent& e) {
  x11state& s = S();
  if (gxdgone(e)) gxdclosed();
  if (e.type == ConfigureNotify) {
    if (e.xconfigure.window == s.win && gxdresized(e)) repaintwindow();
    return;
  }
  if (e.type != Expose || e.xexpose.count != 0) return;
  if (e.xexpose.window == s.win) {
    if (s.excnt > 0) s.excnt--;
    else repaintwindow();
    return;
  }
  for (level* L : openlv) {
    if (L && L->w == e.xexpose.window) {
      drawmenu(*L);
      if (L->lit >= 0) highlight(*L, L->lit, true);
      XFlush(s.display);
    }
  }
}

}  // namespace

int gxdmcasc(const char* s, int avail, int* shown) {
  int n = 0;
  while (n < avail && s[n]) n++;
  for (int p = 0; p < n; p++) {
    if (s[p] != '>') continue;
    // The marker may end the item text: the last item of a menu has no
    // byte after it.
    if (p + 3 < n && digit(s[p + 1]) && digit(s[p + 2]) && s[p + 3] == '>') {
      *shown = p;
      return (s[p + 1] - '0') * 10 + (s[p + 2] - '0');
    }
    if (p + 4 < n && (s[p + 1] == '0' || s[p + 1] == '1') && digit(s[p + 2]) && digit(s[p + 3]) &&
        s[p + 4] == '>') {
      *shown = p;
      return (s[p + 1] - '0') * 100 + (s[p + 2] - '0') * 10 + (s[p + 3] - '0');
    }
  }
  *shown = n;
  return -1;
}

int gxpopdm(dmenurec* menu, int header, int xleft, int xright, int ytop, int px, int py) {
  x11state& s = S();
  if (s.dmrecu + 1 >= maxlevels) return -999;
  int lvl = ++s.dmrecu;
  level L;
  L.m = menu;
  // Items: level 0 skips the header label.
  const char* str = menu->str;
  int len = menu->len;
  int off = 0;
  bool skip = menu->casc == 0;
  while (str && off < len && (int)L.items.size() < maxitems) {
    const char* it = str + off;
    int n = (int)strnlen(it, (size_t)(len - off));
    if (skip) {
      skip = false;
    } else {
      menuitem mi;
      mi.text = it;
      mi.casc = gxdmcasc(it, len - off, &mi.shown);
      mi.drawn = labelchars(it, mi.shown);
      L.items.push_back(mi);
    }
    off += n + 1;
  }
  XFontStruct* fi = gxdfnt(1);
  int A = fi ? fi->ascent : 10;
  int wmax = 0;
  bool anycasc = false;
  for (const menuitem& it : L.items) {
    // A plain item is measured with its blanks, a cascade item by its label.
    int n = it.casc >= 0 ? it.drawn : it.shown;
    int w = fi ? XTextWidth(fi, it.text, n) : 6 * n;
    if (w > wmax) wmax = w;
    anycasc = anycasc || it.casc >= 0;
  }
  L.W = wmax + A;
  if (anycasc) L.W += fi ? XTextWidth(fi, "xxx", 3) : 18;
  L.R = 2 * A;
  L.H = L.R * (int)L.items.size();
  if (L.H < 1) L.H = 1;
  L.d = menu->thick > 11 ? 3 : (menu->thick > 5 ? 2 : 1);
  // Inside the part of the window that is on the screen, so that the
  // menu can be seen and reached.
  int vl, vt, vr, vb;
  gxdshown(&vl, &vt, &vr, &vb);
  L.left = xright;
  L.top = ytop;
  if (L.left + L.W > vr) {
    L.right = anycasc ? xright - L.W : xleft;
    L.left = L.right - L.W;
  }
  if (L.left + L.W > vr) L.left = vr - L.W;
  if (L.left < vl) L.left = vl;
  if (L.top + L.H > vb) L.top = vb - L.H;
  if (L.top < vt) L.top = vt;
  L.right = L.left + L.W;
  L.bottom = L.top + L.H;
  s.dmi1[lvl] = L.left;
  s.dmi2[lvl] = L.right;
  s.dmj1[lvl] = L.top;
  s.dmj2[lvl] = L.bottom;
  s.dmnum[lvl] = menu->num;

  undersave under = gxdsave(L.left, L.top, L.W, L.H);
  s.xsetw.save_under = True;
  L.w = XCreateWindow(s.display, s.win, L.left, L.top, (unsigned)L.W, (unsigned)L.H, 0,
                      CopyFromParent, CopyFromParent, CopyFromParent, CWSaveUnder, &s.xsetw);
  XSelectInput(s.display, L.w,
               ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask |
                   StructureNotifyMask);
  L.gc = XCreateGC(s.display, L.w, 0, nullptr);
  XSetForeground(s.display, L.gc, s.cvals[1]);
  XSetLineAttributes(s.display, L.gc, (unsigned)L.d, LineSolid, CapButt, JoinBevel);
  XMapWindow(s.display, L.w);
  openlv[lvl] = &L;
  // Drawn at once: a menu that cannot be seen yet (the window iconified
  // or covered) gets no exposure until it can, and is painted then.
  drawmenu(L);
  XFlush(s.display);

  int ox = 0, oy = 0;
  Window child;
  XTranslateCoordinates(s.display, s.win, RootWindow(s.display, s.snum), 0, 0, &ox, &oy, &child);
  int cur = -1, prev = -1, result = -999, dwell = 0;
  bool first = true;
  // Placed inside the screen, the menu may lie under the pointer: the
  // release of the press that opened it is no choice.  A release chooses
  // the item its press was on, or any item once the pointer has left the
  // one it was on as the menu opened.
  const int start = itemat(L, px, py);
  int pressed = -1;
  bool moved = false;
  XEvent e;
  const long mask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask |
                    StructureNotifyMask;
  for (;;) {
    if (!gxwaitev(s.display, mask, &e)) {
      // An interrupt closes the menu (and every level) with nothing chosen.
      result = -999;
      prev = -1;
      break;
    }
    if (e.type != ButtonPress && e.type != ButtonRelease && e.type != MotionNotify) {
      answer(e);
      continue;
    }
    int x, y;
    if (e.type == MotionNotify) {
      x = e.xmotion.x_root - ox;
      y = e.xmotion.y_root - oy;
    } else {
      x = e.xbutton.x_root - ox;
      y = e.xbutton.y_root - oy;
    }
    int here = itemat(L, x, y);
    moved = moved || here != start;
    if (e.type == ButtonPress) pressed = here;
    bool chosen = here >= 0 && (moved || here == pressed);
    if (e.type == ButtonPress || (first && chosen)) {
      cur = here;
      if (cur >= 0 && defined(L.items[(size_t)cur].casc)) {
        int r = opencasc(L, lvl, cur, header, x, y);
        if (r != -99 && nextsel(lvl) <= 0) cur = -2;
      }
      result = -999;
      prev = cur;
      if (!first) break;
      first = false;
      if (e.type == ButtonPress) continue;
    }
    first = false;
    if (e.type == ButtonRelease) {
      if (cur >= 0 && chosen) break;
      continue;
    }
    if (e.type != MotionNotify) continue;
    cur = itemat(L, x, y);
    if (cur < 0) {
      for (int k = 0; k < lvl; k++) {
        if (x >= s.dmi1[k] && x <= s.dmi2[k] && y >= s.dmj1[k] && y <= s.dmj2[k] && L.R > 0 &&
            (y - s.dmj1[k]) / L.R != s.dmcur[k]) {
          result = -99;
        }
      }
    }
    if (result == -99) {
      prev = -1;
      break;
    }
    if (cur != prev) {
      highlight(L, cur, true);
      highlight(L, prev, false);
      dwell = 0;
    }
    if (dwell > 3 && cur == prev && cur >= 0 && defined(L.items[(size_t)cur].casc)) {
      int r = opencasc(L, lvl, cur, header, x, y);
      if (r == -99) {
        result = -999;
      } else {
        result = r;
        if (nextsel(lvl) <= 0) cur = prev = -2;
        break;
      }
    }
    if (cur == prev) dwell++;
    prev = cur;
    if (cur == -1) {
      for (int i = 0; i < GX_NOBJ && s.obj[i].type != -1; i++) {
        const objrec& o = s.obj[i];
        if (i != header && o.type == 3 && o.iob && ((const dmenurec*)o.iob)->num >= 0 &&
            o.i1 < x && x < o.i2 && o.j1 < y && y < o.j2) {
          result = i;
          s.dmx = x;   // where the next header's menu opens from
          s.dmy = y;
          break;
        }
      }
      if (result >= 0) break;
    }
  }

  s.dmsel[lvl] = prev + 1;
  if (prev >= 0 && prev < (int)L.items.size() && L.items[(size_t)prev].casc >= 0 &&
      nextsel(lvl) < 0) {
    s.dmsel[lvl] = -1;
  }
  openlv[lvl] = nullptr;
  XUnmapWindow(s.display, L.w);
  XFreeGC(s.display, L.gc);
  XDestroyWindow(s.display, L.w);
  // A redraw in place of the copy has drawn the header closed under a
  // menu that is still open.
  if (!gxdrestore(under) && openlv[0]) gxdmhead(*openlv[0]->m, true);
  s.dmrecu--;
  return result;
}
