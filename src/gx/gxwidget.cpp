// Widgets on the window: push buttons, rubber-band regions and drop-menu
// headers, the object table that maps window pixels to them, the widget
// font class and the full redraw after a resize or an exposure.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gx/gxx11.h"

namespace {

x11state& S() { return x11st(); }

// The object table that definitions go to in the current buffer mode.
objrec* deftable(int** count) {
  x11state& s = S();
  if (s.dblmode) {
    *count = &s.obnum2;
    return s.obj2;
  }
  *count = &s.obnum;
  return s.obj;
}

// Disables object rows that still point at a widget row being redefined,
// so the old region no longer answers presses.
void unhook(objrec* tab, int count, const void* row) {
  for (int i = 0; i < count && i < GX_NOBJ; i++) {
    if (tab[i].type > 0 && tab[i].iob == row) tab[i].type = 0;
  }
}

objrec* takerow() {
  int* count;
  objrec* tab = deftable(&count);
  if (*count >= GX_NOBJ) return nullptr;
  return &tab[(*count)++];
}

// Length of a label, never past its terminating NUL.
int labellen(const char* s, int len) {
  if (!s || len <= 0) return 0;
  return (int)strnlen(s, (size_t)len);
}

void freebtn(btnrec& b, bool release) {
  if (release) free(b.ch);
  b = btnrec();
}

void freedmu(dmenurec& d, bool release) {
  if (release) free(d.str);
  d = dmenurec();
}

void boxpixels(float x, float y, float w, float h, int* px, int* py, int* W, int* H) {
  x11state& s = S();
  *px = gxdpx(x);
  *py = gxdpy(y);
  *W = (int)(w * s.xscl + 0.5f) - 2;
  *H = (int)(h * s.yscl + 0.5f) - 2;
}

}  // namespace

XFontStruct* gxdfnt(int italic) {
  x11state& s = S();
  switch (s.gfont) {
    case 1: return italic ? s.font1i : s.font1;
    case 2: return italic ? s.font2i : s.font2;
    case 3: return italic ? s.font3i : s.font3;
    default: return italic ? s.font1i : s.font1;
  }
}

void gxclrobj(objrec* tab, int* count) {
  for (int i = 0; i < GX_NOBJ; i++) tab[i] = objrec();
  *count = 0;
}

void gxdedge(Drawable d, GC gc, int x1, int y1, int x2, int y2, int depth, int cbr, int ctl) {
  x11state& s = S();
  for (int k = 0; k < depth; k++) {
    if (cbr >= 0) {
      XSetForeground(s.display, gc, gxdpix(cbr));
      XDrawLine(s.display, d, gc, x1 + k, y2 - k, x2 - k, y2 - k);
      XDrawLine(s.display, d, gc, x2 - k, y2 - k, x2 - k, y1 + k);
    }
    if (ctl >= 0) {
      XSetForeground(s.display, gc, gxdpix(ctl));
      XDrawLine(s.display, d, gc, x2 - k, y1 + k, x1 + k, y1 + k);
      XDrawLine(s.display, d, gc, x1 + k, y1 + k, x1 + k, y2 - k);
    }
  }
}

void gxxpbn(int n, btnrec* rec, int mode, int front, int state) {
  x11state& s = S();
  if (n < 0 || n >= GX_NBTN || !s.display) {
    if (rec && mode != 1 && rec->ch) {  // the label was handed over: nobody else frees it
      free(rec->ch);
      rec->ch = nullptr;
    }
    return;
  }
  bool onfront = s.dblmode && front == 1;
  btnrec& b = (s.dblmode && !onfront) ? s.btn2[n] : s.btn[n];
  Drawable d = onfront ? s.win : s.drwbl;
  if (mode == 0 && rec) {
    int* count;
    objrec* tab = deftable(&count);
    unhook(tab, *count, &b);
    if (b.ch && b.ch != rec->ch) free(b.ch);
    b = *rec;
    b.num = n;
    rec->ch = nullptr;
  }
  objrec* o = nullptr;
  if (mode == 0 || s.rstate == 0) {
    o = takerow();
    if (!o) {
      printf("Error: Too many widgets on screen\n");
      return;
    }
  }
  if (b.num < 0) {
    if (o) o->type = 0;
    return;
  }
  if (state == 0 || state == 1) b.state = state;
  if ((mode == 2 || mode == 3) && rec && rec->ch) {
    if (b.ch != rec->ch) free(b.ch);
    b.ch = rec->ch;
    b.len = rec->len;
    rec->ch = nullptr;
  }
  if (mode == 3 && rec) {
    b.fc = rec->fc; b.bc = rec->bc; b.oc1 = rec->oc1; b.oc2 = rec->oc2;
    b.ffc = rec->ffc; b.fbc = rec->fbc; b.foc1 = rec->foc1; b.foc2 = rec->foc2;
  }
  int px, py, W, H;
  boxpixels(b.x, b.y, b.w, b.h, &px, &py, &W, &H);
  b.x1 = px - W / 2 + 1;
  b.y1 = py - H / 2 + 1;
  b.x2 = b.x1 + W;
  b.y2 = b.y1 + H;
  int tc = b.state ? b.ffc : b.fc, fc = b.state ? b.fbc : b.bc;
  int cbr = b.state ? b.foc1 : b.oc1, ctl = b.state ? b.foc2 : b.oc2;
  if (fc >= 0 && W > 0 && H > 0) {
    XSetForeground(s.display, s.gc, gxdpix(fc));
    XFillRectangle(s.display, d, s.gc, b.x1, b.y1, (unsigned)W, (unsigned)H);
  }
  int keepw = s.lwidth;
  gxdwid(b.thk);
  if (cbr >= 0) {
    XSetForeground(s.display, s.gc, gxdpix(cbr));
    XDrawLine(s.display, d, s.gc, b.x1, b.y2, b.x2, b.y2);
    XDrawLine(s.display, d, s.gc, b.x2, b.y2, b.x2, b.y1);
  }
  if (ctl >= 0) {
    XSetForeground(s.display, s.gc, gxdpix(ctl));
    XDrawLine(s.display, d, s.gc, b.x2, b.y1, b.x1, b.y1);
    XDrawLine(s.display, d, s.gc, b.x1, b.y1, b.x1, b.y2);
  }
  gxdwid(keepw);
  XFontStruct* f = gxdfnt(0);
  int len = labellen(b.ch, b.len);
  if (tc >= 0 && f && len > 0) {
    XSetFont(s.display, s.gc, f->fid);
    int T = XTextWidth(f, b.ch, len + 1);  // the label and its NUL, as the layout expects
    XSetForeground(s.display, s.gc, gxdpix(tc));
    XDrawString(s.display, d, s.gc, px - T / 2, py + f->ascent * 5 / 9, b.ch, len);
  }
  XSetForeground(s.display, s.gc, s.cvals[s.lcolor]);
  if (o) {
    *o = objrec{1, b.x1, b.x2, b.y1, b.y2, -1, &b};
  }
  XFlush(s.display);
}

void gxxrmu(int n, dmenurec* rec, int mode) {
  x11state& s = S();
  if (n < 0 || n >= GX_NDMU || !s.display) {
    if (rec && mode == 0 && rec->str) {
      free(rec->str);
      rec->str = nullptr;
    }
    return;
  }
  dmenurec& m = s.dblmode ? s.dmu2[n] : s.dmu[n];
  if (mode == 0 && rec) {
    int* count;
    objrec* tab = deftable(&count);
    unhook(tab, *count, &m);
    if (m.str && m.str != rec->str) free(m.str);
    m = *rec;
    m.num = n;
    rec->str = nullptr;
  }
  if (m.num < 0 || m.casc != 0) return;
  objrec* o = nullptr;
  if (mode == 0 || s.rstate == 0) {
    o = takerow();
    if (!o) {
      printf("Error: Too many widgets on screen\n");
      return;
    }
  }
  int px, py, W, H;
  boxpixels(m.x, m.y, m.w, m.h, &px, &py, &W, &H);
  m.x1 = px - W / 2 + 1;
  m.y1 = py - H / 2 + 1;
  m.x2 = m.x1 + W;
  m.y2 = m.y1 + H;
  Drawable d = s.drwbl;
  if (m.bc >= 0 && W + 1 > 0 && H + 1 > 0) {
    XSetForeground(s.display, s.gc, gxdpix(m.bc));
    XFillRectangle(s.display, d, s.gc, m.x1, m.y1, (unsigned)(W + 1), (unsigned)(H + 1));
  }
  XSetLineAttributes(s.display, s.gc, 0, LineSolid, CapButt, JoinBevel);
  int depth = m.thick > 12 ? 3 : (m.thick > 5 ? 2 : 1);
  gxdedge(d, s.gc, m.x1, m.y1, m.x2, m.y2, depth, m.oc1, m.oc2);
  XSetLineAttributes(s.display, s.gc, (unsigned)s.owidth, LineSolid, CapButt, JoinBevel);
  XFontStruct* fi = gxdfnt(1);
  int len = labellen(m.str, m.len);
  if (m.fc >= 0 && fi && len > 0) {
    XSetFont(s.display, s.gc, fi->fid);
    XSetForeground(s.display, s.gc, gxdpix(m.fc));
    XDrawString(s.display, d, s.gc, m.x1 + fi->ascent / 2, py + fi->ascent * 5 / 9, m.str, len);
  }
  XFontStruct* f = gxdfnt(0);
  if (f) XSetFont(s.display, s.gc, f->fid);
  XSetForeground(s.display, s.gc, s.cvals[s.lcolor]);
  if (o) {
    *o = objrec{3, m.x1, m.x2, m.y1, m.y2, -1, &m};
  }
  XFlush(s.display);
}

void gxxrbb(int n, int type, float xlo, float ylo, float xhi, float yhi, int button) {
  x11state& s = S();
  if (n < 0 || n >= GX_NRBB || !(xlo < xhi) || !(ylo < yhi)) return;
  rbandrec& r = s.dblmode ? s.rbb2[n] : s.rbb[n];
  int* count;
  objrec* tab = deftable(&count);
  unhook(tab, *count, &r);
  objrec* o = takerow();
  if (!o) return;
  *o = objrec{2, (int)(xlo * s.xscl + 0.5f), (int)(xhi * s.xscl + 0.5f),
               s.height - (int)(yhi * s.yscl + 0.5f), s.height - (int)(ylo * s.yscl + 0.5f), button, &r};
  r.num = n;
  r.mbc = button;
  r.xlo = xlo;
  r.xhi = xhi;
  r.ylo = ylo;
  r.yhi = yhi;
  r.type = type;
}

void gxxrs1wd(int kind, int n) {
  x11state& s = S();
  void* row = nullptr;
  if (kind == 1 && n >= 0 && n < GX_NBTN) row = &s.btn[n];
  else if (kind == 2 && n >= 0 && n < GX_NRBB) row = &s.rbb[n];
  else if (kind == 3 && n >= 0 && n < GX_NDMU) row = &s.dmu[n];
  else return;
  for (int i = 0; i < GX_NOBJ && s.obj[i].type != -1; i++) {
    if (s.obj[i].type == kind && s.obj[i].iob == row) {
      s.obj[i].type = 0;
      break;
    }
  }
  if (kind == 1) freebtn(s.btn[n], true);
  else if (kind == 2) s.rbb[n] = rbandrec();
  else freedmu(s.dmu[n], true);
}

void gxxrswd(int which) {
  x11state& s = S();
  if (which == 0 || which == 1) {
    for (auto& b : s.btn) freebtn(b, true);
    for (auto& d : s.dmu) freedmu(d, true);
    for (auto& r : s.rbb) r = rbandrec();
  }
  if (which == 1 || which == 2) {
    for (auto& b : s.btn2) freebtn(b, which == 1);
    for (auto& d : s.dmu2) freedmu(d, which == 1);
    for (auto& r : s.rbb2) r = rbandrec();
  }
}

void gxcpwd() {
  x11state& s = S();
  for (int i = 0; i < GX_NBTN; i++) {
    if (s.btn2[i].num >= 0) s.btn[i] = s.btn2[i];
  }
  for (int i = 0; i < GX_NDMU; i++) {
    if (s.dmu2[i].num >= 0) s.dmu[i] = s.dmu2[i];
  }
  for (int i = 0; i < GX_NRBB; i++) {
    if (s.rbb2[i].num >= 0) s.rbb[i] = s.rbb2[i];
  }
  for (int i = 0; i < GX_NOBJ; i++) {
    objrec o = s.obj2[i];
    char* p = (char*)o.iob;
    if (p >= (char*)s.btn2 && p < (char*)(s.btn2 + GX_NBTN)) {
      o.iob = &s.btn[(btnrec*)p - s.btn2];
    } else if (p >= (char*)s.dmu2 && p < (char*)(s.dmu2 + GX_NDMU)) {
      o.iob = &s.dmu[(dmenurec*)p - s.dmu2];
    } else if (p >= (char*)s.rbb2 && p < (char*)(s.rbb2 + GX_NRBB)) {
      o.iob = &s.rbb[(rbandrec*)p - s.rbb2];
    }
    s.obj[i] = o;
  }
  s.obnum = s.obnum2;
  gxclrobj(s.obj2, &s.obnum2);
}

void gxdsfn() {
  x11state& s = S();
  int cls = (s.width <= 600 || s.height <= 420) ? 1 : ((s.width <= 1000 || s.height <= 650) ? 2 : 3);
  if (cls != s.gfont) {
    s.gfont = cls;
    XFontStruct* f = gxdfnt(0);
    if (f && s.display) XSetFont(s.display, s.gc, f->fid);
  }
}

void gxrdrw(int which) {
  x11state& s = S();
  btnrec* bt = which ? s.btn2 : s.btn;
  rbandrec* rb = which ? s.rbb2 : s.rbb;
  dmenurec* dm = which ? s.dmu2 : s.dmu;
  for (int i = 0; i < GX_NBTN; i++) {
    if (bt[i].num >= 0) gxxpbn(i, nullptr, 1, 0, -1);
  }
  for (int i = 0; i < GX_NRBB; i++) {
    if (rb[i].num >= 0) {
      rbandrec r = rb[i];
      gxxrbb(i, r.type, r.xlo, r.ylo, r.xhi, r.yhi, r.mbc);
    }
  }
  for (int i = 0; i < GX_NDMU; i++) {
    if (dm[i].num >= 0) gxxrmu(i, nullptr, 1);
  }
}

void gxdrdw() {
  x11state& s = S();
  s.rstate = 0;
  gxdclr(s.drwbl);
  gxclrobj(s.obj, &s.obnum);
  if (s.dblmode) {
    s.dblmode = 0;
    XFreePixmap(s.display, s.pmap);
    s.pmap = gxdpixmap(s.width, s.height);
    s.drwbl = s.win;
    if (!s.pmap) {
      printf("Error allocating pixmap for resize operation\n");
      printf("Animation mode will be disabled\n");
      s.rstate = 1;
      return;
    }
    gxdclr(s.win);
    gxdclr(s.pmap);
    gxclrobj(s.obj2, &s.obnum2);
    // The window shows the last completed frame with its widgets...
    gxhdrw(1);
    gxrdrw(0);
    s.dblmode = 1;
    s.drwbl = s.pmap;
  }
  // ...and the drawable gets the frame being drawn with its own widgets.
  gxhdrw(0);
  gxrdrw(s.dblmode ? 1 : 0);
  s.rstate = 1;
}
