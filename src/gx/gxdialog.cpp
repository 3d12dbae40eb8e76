// The dialog box: a modal box over the display window that reads one line
// of text (optionally checked as a number) with a prompt, a cursor and a
// mouse or keyboard selection.
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "gx/gxx11.h"

namespace {

x11state& S() { return x11st(); }

const size_t maxline = 511;   // the line and its NUL fit the 512-byte buffers

bool isletter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

struct dialog {
  dlgrec d;
  std::string prompt, line;
  int e = 0;             // first editable position
  int c = 0, s = 0;      // cursor and end of selection
  bool centred = false, twoline = false, bar = false;
  int A = 0, Wd = 0, Hd = 0, X = 0, Y = 0;
  int rowtop = 1, rowbot = 0, base = 0;
  int V = 0;             // width of the line as last drawn
  bool numerr = false;
  bool resized = false;
  XEvent resize = {};    // the window's last size change while open
  Window w = 0;
  GC gc = nullptr;
  Pixmap saved = 0, boxsave = 0;
  XFontStruct* fr = nullptr;
  XFontStruct* fi = nullptr;
};

int textw(XFontStruct* f, const std::string& t) {
  return f ? XTextWidth(f, t.c_str(), (int)t.size()) : 6 * (int)t.size();
}

void parse(dialog& g, const char* text) {
  std::string t = text ? text : "";
  size_t sep = t.find_first_of("|/");
  g.bar = t.find('|') != std::string::npos;
  bool slash = t.find('/', 1) != std::string::npos;
  g.centred = g.d.x < 0 && g.d.y < 0 && g.d.w < 0 && g.d.h < 0;
  g.twoline = !g.centred && slash;
  std::string entry;
  if (sep == std::string::npos) {
    entry = t;
  } else {
    g.prompt = sep == 0 ? std::string() : t.substr(0, sep) + " ";
    size_t k = sep;
    while (k < t.size() && (t[k] == ' ' || t[k] == '|' || t[k] == '/')) k++;
    entry = t.substr(k);
  }
  if (g.centred && sep == std::string::npos) {
    g.prompt = t;
    entry.clear();
  }
  if (!g.centred && !g.twoline && g.bar) {
    g.line = g.prompt + entry;
    g.e = (int)g.prompt.size();
  } else {
    g.line = entry;
    g.e = 0;
  }
  if (g.line.size() > maxline) g.line.resize(maxline);
  if (g.e > (int)g.line.size()) g.e = (int)g.line.size();
}

void geometry(dialog& g) {
  x11state& s = S();
  int P = textw(g.fi, g.prompt);
  std::string ent = g.line.substr((size_t)g.e);
  int T = textw(g.fr, (g.centred || g.twoline) ? g.line : ent);
  g.A = g.fr ? g.fr->ascent : 10;
  int Sx = (g.centred || g.twoline) ? (P > T ? P : T) : P + T;
  if (g.twoline) g.A = (int)(g.A * 1.8);
  if (g.d.h == -1.0f) {
    g.Hd = 5 * g.A;
    if (g.Hd > s.height) g.Hd = 3 * s.height / 4;
  } else {
    g.Hd = (int)(g.d.h * s.yscl + 0.5f);
  }
  if (g.d.h == 0.0f) g.Hd = (int)(g.A * 1.8);
  if (g.d.w == -1.0f) g.Wd = 2 * s.width / 3;
  else g.Wd = (int)(g.d.w * s.xscl + 0.5f);
  if (g.d.w == 0.0f) g.Wd = (int)(Sx + g.A * 1.5);
  if (g.Wd < 8) g.Wd = 8;
  if (g.Hd < 4) g.Hd = 4;
  g.X = g.d.x == -1.0f ? (s.width - g.Wd) / 2 : (int)(g.d.x * s.xscl + 0.5f - g.Wd / 2);
  g.Y = g.d.y == -1.0f ? (s.height - g.Hd) / 2
                       : (int)(s.height - (g.d.y * s.yscl + 0.5f + g.Hd / 2));
  g.V = Sx;
  if (g.centred) {
    g.rowtop = 2 * g.A + 1;
    g.base = 4 * g.A;
  } else if (g.twoline) {
    g.rowtop = g.Hd / 2;
    g.base = 6 * g.Hd / 7;
  } else {
    g.rowtop = 1;
    g.base = (g.Hd - 2 + g.A) / 2;
  }
  g.rowbot = g.Hd - 2;
}

void border(dialog& g) {
  x11state& s = S();
  XSetForeground(s.display, g.gc, gxdpix(g.d.oc));
  XDrawRectangle(s.display, g.w, g.gc, 0, 0, (unsigned)(g.Wd - 1), (unsigned)(g.Hd - 1));
  if (g.d.th > 5) XDrawRectangle(s.display, g.w, g.gc, 1, 1, (unsigned)(g.Wd - 3), (unsigned)(g.Hd - 3));
}

void drawtext(dialog& g, int x, int y, const std::string& t, int colour, XFontStruct* f) {
  x11state& s = S();
  if (t.empty() || colour < 0) return;
  if (f) XSetFont(s.display, g.gc, f->fid);
  XSetForeground(s.display, g.gc, gxdpix(colour));
  XDrawString(s.display, g.w, g.gc, x, y, t.c_str(), (int)t.size());
}

void saveBox(dialog& g) {
  x11state& s = S();
  if (!g.boxsave) g.boxsave = gxdpixmap(g.Wd, g.Hd);
  if (g.boxsave) XCopyArea(s.display, g.w, g.boxsave, g.gc, 0, 0, (unsigned)g.Wd, (unsigned)g.Hd, 0, 0);
}

void drawrow(dialog& g) {
  x11state& s = S();
  XSetForeground(s.display, g.gc, gxdpix(g.d.bc));
  int rh = g.rowbot - g.rowtop;
  if (rh > 2) XFillRectangle(s.display, g.w, g.gc, 2, g.rowtop + 1, (unsigned)(g.Wd - 4), (unsigned)(rh - 2));
  int Wl = textw(g.fr, g.line);
  int x0;
  if (Wl + g.A < g.Wd) x0 = (!g.centred && !g.twoline && g.bar) ? g.A / 2 : (g.Wd - Wl) / 2;
  else x0 = g.Wd - Wl - g.A / 2;
  int Wc = textw(g.fr, g.line.substr(0, (size_t)g.c));
  g.V = Wl;
  if (g.c == g.s) {
    if (x0 + Wc <= 0) x0 = -Wc;
    drawtext(g, x0, g.base, g.line, g.d.fc, g.fr);
    drawtext(g, x0 + Wc - textw(g.fr, "|") / 2, g.base, "|", g.d.fc, g.fr);
  } else {
    std::string pre = g.line.substr(0, (size_t)g.c);
    std::string sel = g.line.substr((size_t)g.c, (size_t)(g.s - g.c));
    std::string post = g.line.substr((size_t)g.s);
    drawtext(g, x0, g.base, pre, g.d.fc, g.fr);
    int ws = textw(g.fr, sel);
    XSetForeground(s.display, g.gc, gxdpix(g.numerr ? 2 : g.d.fc));
    int asc = g.fr ? g.fr->ascent : 10, dsc = g.fr ? g.fr->descent : 3;
    XFillRectangle(s.display, g.w, g.gc, x0 + Wc, g.base - asc, (unsigned)(ws > 0 ? ws : 1), (unsigned)(asc + dsc));
    drawtext(g, x0 + Wc, g.base, sel, g.d.bc, g.fr);
    drawtext(g, x0 + Wc + ws, g.base, post, g.d.fc, g.fr);
    border(g);
  }
}

void drawbox(dialog& g) {
  x11state& s = S();
  XSetForeground(s.display, g.gc, gxdpix(g.d.bc));
  XFillRectangle(s.display, g.w, g.gc, 0, 0, (unsigned)g.Wd, (unsigned)g.Hd);
  border(g);
  if (g.centred || g.twoline) {
    int x = (g.Wd - g.V) / 2;
    int b = g.centred ? 2 * g.A : 3 * g.Hd / 7;
    drawtext(g, x, b, g.prompt, 0, g.fi);
    drawtext(g, x - 1, b - 1, g.prompt, g.d.pc, g.fi);
  }
  // The entry as every key redraws it, so the cursor shows before the
  // first key.
  drawrow(g);
}

// Removes the selection, or one character at pos when there is none.
void cut(dialog& g, int pos) {
  if (g.c != g.s) {
    g.line.erase((size_t)g.c, (size_t)(g.s - g.c));
  } else if (pos >= g.e && pos < (int)g.line.size()) {
    g.line.erase((size_t)pos, 1);
  }
}

// True when the line is complete.
bool key(dialog& g, XKeyEvent* ke) {
  char buf[80];
  KeySym ks = 0;
  XLookupString(ke, buf, (int)sizeof buf, &ks, nullptr);
  int n = (int)g.line.size();
  bool sel = g.c != g.s;
  if (ks == XK_Return || ks == XK_Linefeed || ks == XK_KP_Enter) {
    if (!g.d.nu) return true;
    int pos = 0, end = 0;
    int r = gxdnum(g.line, g.e, &pos, &end);
    if (r == 0) return true;
    if (r == 1) {
      g.line.insert((size_t)pos, "0");
      if (g.line.size() > maxline) g.line.resize(maxline);
      return true;
    }
    g.numerr = true;
    g.c = pos;
    g.s = end;
    return false;
  }
  g.numerr = false;
  if (ks == XK_BackSpace) {
    if (sel) {
      cut(g, g.c);
    } else if (g.c > g.e) {
      cut(g, g.c - 1);
      g.c--;
    }
    g.s = g.c;
  } else if (ks == XK_Delete || ks == XK_KP_Delete) {
    if (sel) {
      cut(g, g.c);
    } else if (g.c < n) {
      cut(g, g.c);
    } else if (g.c > g.e) {
      cut(g, g.c - 1);
      g.c--;
    }
    g.s = g.c;
  } else if (ks >= 32 && ks <= 126) {
    char ch = (char)ks;
    if (g.d.nu && !((ch >= '0' && ch <= '9') || strchr("+-.eE", ch))) return false;
    if (sel) g.line.erase((size_t)g.c, (size_t)(g.s - g.c));
    if (g.line.size() < maxline) {
      g.line.insert((size_t)g.c, 1, ch);
      g.c++;
    }
    g.s = g.c;
  } else if ((ks == XK_Left || ks == XK_KP_Left) && g.c > g.e) {
    g.c--;
    if (!sel) g.s = g.c;
  } else if ((ks == XK_Right || ks == XK_KP_Right) && g.c < n) {
    g.c++;
    if (!sel) g.s = g.c;
    if (g.s < g.c) g.s = g.c;
  } else if ((ks == XK_Down || ks == XK_KP_Down) && g.c < g.s) {
    g.s--;
  } else if ((ks == XK_Up || ks == XK_KP_Up) && g.s < n) {
    g.s++;
  }
  return false;
}

int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void run(dialog& g) {
  x11state& s = S();
  const long mask = KeyPressMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                    ExposureMask | StructureNotifyMask;
  int bx = 0, by = 0;
  Window child;
  XTranslateCoordinates(s.display, g.w, RootWindow(s.display, s.snum), 0, 0, &bx, &by, &child);
  Time last = 0;
  bool havelast = false, protect = false;
  XEvent ev;
  for (;;) {
    // An interrupt abandons the entry: the answer is an empty line.
    if (!gxwaitev(s.display, mask, &ev)) {
      g.line.clear();
      return;
    }
    if (ev.type == NoExpose) continue;
    bool expose = ev.type == Expose || ev.type == GraphicsExpose;
    if (expose) {
      if (s.excnt > 0) s.excnt--;
      if (ev.type == Expose && g.saved)
        XCopyArea(s.display, g.saved, s.win, s.gc, 0, 0, (unsigned)s.width, (unsigned)s.height, 0, 0);
      if (g.boxsave)
        XCopyArea(s.display, g.boxsave, g.w, g.gc, 0, 0, (unsigned)g.Wd, (unsigned)g.Hd, 0, 0);
      XFlush(s.display);
      continue;
    }
    int n = (int)g.line.size();
    if (ev.type == ButtonPress) {
      int dx = ev.xbutton.x_root - bx;
      if (havelast && ev.xbutton.time - last < 300) {
        g.c = g.e;
        g.s = n;
        protect = true;
        havelast = false;
      } else if (n > 0) {
        int V = g.V > 0 ? g.V : 1;
        int L = (g.Wd - V) / 2;
        if (dx > L && dx < g.Wd - L) g.c = (dx - L + 4) * n / V;
        else if (dx <= L) g.c = 0;
        else g.c = n;
        g.c = clampi(g.c, g.e, n);
        g.s = g.c;
        last = ev.xbutton.time;
        havelast = true;
      }
    } else if (ev.type == ButtonRelease || ev.type == MotionNotify) {
      if (protect) {
        if (ev.type == ButtonRelease) protect = false;
      } else if (n > 0) {
        int x = ev.type == MotionNotify ? ev.xmotion.x_root : ev.xbutton.x_root;
        int dx = x - bx;
        int V = g.V > 0 ? g.V : 1;
        int L = (g.Wd - V) / 2;
        int sp = (dx - L + 8) * n / V;
        if (dx <= L) sp = g.e;
        if (dx >= g.Wd - L) sp = n;
        sp = clampi(sp, g.e, n);
        if (sp >= g.c) g.s = sp;
      }
    } else if (ev.type == KeyPress) {
      if (key(g, &ev.xkey)) return;
    } else {
      if (ev.type == ConfigureNotify && ev.xconfigure.window == s.win) {
        g.resize = ev;
        g.resized = true;
      }
      continue;
    }
    if (g.c > (int)g.line.size()) g.c = (int)g.line.size();
    if (g.s > (int)g.line.size()) g.s = (int)g.line.size();
    if (g.s < g.c) g.s = g.c;
    drawrow(g);
    saveBox(g);
    XFlush(s.display);
  }
}

char* dialog_line(dlgrec* d) {
  x11state& s = S();
  dialog g;
  g.d = *d;
  if (g.d.pc < 0) g.d.pc = 1;
  if (g.d.fc < 0) g.d.fc = 0;
  if (g.d.bc < 0) g.d.bc = 15;
  if (g.d.oc < 0) g.d.oc = 1;
  parse(g, d->ch);
  g.c = g.s = (int)g.line.size();
  g.fr = gxdfnt(0);
  g.fi = gxdfnt(1);
  geometry(g);

  const long wmask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask |
                     StructureNotifyMask;
  XSelectInput(s.display, s.win, wmask);
  // The whole window: it also answers exposures while the box is open.
  g.saved = gxdsave(0, 0, s.width, s.height);
  s.xsetw.save_under = True;
  g.w = XCreateWindow(s.display, s.win, g.X, g.Y, (unsigned)g.Wd, (unsigned)g.Hd, 0, CopyFromParent,
                      CopyFromParent, CopyFromParent, CWSaveUnder, &s.xsetw);
  XSelectInput(s.display, g.w, KeyPressMask | ExposureMask | StructureNotifyMask);
  g.gc = XCreateGC(s.display, g.w, 0, nullptr);
  XSetForeground(s.display, g.gc, gxdpix(g.d.oc));
  XSetLineAttributes(s.display, g.gc, 0, LineSolid, CapButt, JoinBevel);
  XMapWindow(s.display, g.w);
  XEvent e;
  do {
    XWindowEvent(s.display, g.w, ExposureMask | StructureNotifyMask, &e);
  } while (!(e.type == Expose && e.xexpose.count == 0));
  drawbox(g);
  saveBox(g);
  // The keys go to the box wherever the pointer is while it is open, and
  // back where they went before when it closes.
  Window focus = 0;
  int revert = RevertToParent;
  XGetInputFocus(s.display, &focus, &revert);
  XSetInputFocus(s.display, g.w, RevertToParent, CurrentTime);
  XFlush(s.display);

  run(g);

  XSetInputFocus(s.display, focus, revert, CurrentTime);
  XUnmapWindow(s.display, g.w);
  XFreeGC(s.display, g.gc);
  XDestroyWindow(s.display, g.w);
  gxdsfn();
  XSelectInput(s.display, s.win, wmask);
  if (g.boxsave) XFreePixmap(s.display, g.boxsave);
  gxdrestore(g.saved, 0, 0, s.width, s.height);
  // Handed on, so the window takes its new size after the box.
  if (g.resized) XPutBackEvent(s.display, &g.resize);
  std::string out = g.line;
  if (g.d.nu) {
    std::string keep;
    for (char ch : out) if (ch != '+') keep += ch;
    out = keep;
  }
  if (!g.centred && !g.twoline && g.bar) {
    // the prompt (and nothing else) precedes the first editable position
    size_t plen = g.prompt.size() <= out.size() ? g.prompt.size() : out.size();
    if (out.compare(0, plen, g.prompt.substr(0, plen)) == 0) out.erase(0, plen);
  }
  out += "\n";
  char* r = (char*)malloc(out.size() + 1);
  if (!r) return nullptr;
  memcpy(r, out.c_str(), out.size() + 1);
  return r;
}

}  // namespace

int gxdnum(std::string& line, int e, int* pos, int* end) {
  std::string ed = line.substr((size_t)e);
  int L = (int)ed.size();
  int ndot = 0, npl = 0, nmi = 0, ne = 0, nE = 0, nh = 0;
  int pdot = 0, ppl = 0, pmi = 0, pe = 0, pE = 0, ph = 0, l1 = 0, l2 = 0;
  bool digit = false;
  for (int i = 0; i < L; i++) {
    char ch = ed[(size_t)i];
    int p = i + 1;
    if (ch == '.') { ndot++; pdot = p; }
    else if (ch == '+') { npl++; ppl = p; }
    else if (ch == '-') { nmi++; pmi = p; }
    else if (ch == 'e') { ne++; pe = p; }
    else if (ch == 'E') { nE++; pE = p; }
    else if (ch == '#') { nh++; ph = p; }
    else if (ch >= '0' && ch <= '9') digit = true;
    else if (isletter(ch)) {
      if (!l1) l1 = p;
      l2 = p;
    }
  }
  enum { none, fix, err, errend, errstart } kind = none;
  int a = 0, b = 0;  // marked range, 1-based inclusive
  auto error = [&](int p) { kind = err; a = b = p; };
  if (ndot == 1 &&
      (pdot == 1 || (pdot == 2 && ((npl == 1 && ppl == 1) || (nmi == 1 && pmi == 1))) ||
       (pdot == 2 && npl == 2 && ((ne && ppl == pe + 1) || (nE && ppl == pE + 1))) ||
       (pdot == 2 && nmi == 2 && ((ne && pmi == pe + 1) || (nE && pmi == pE + 1))))) {
    kind = fix;
    a = pdot;
  }
  if (ndot > 1) error(pdot);
  if (npl && ((ne == 1 && ppl > pe + 1) || (nE == 1 && ppl > pE + 1))) error(ppl);
  if (nmi && ((ne == 1 && pmi > pe + 1) || (nE == 1 && pmi > pE + 1))) error(pmi);
  if (npl && ppl != 1 && ((!ne && !nE) || (ne == 1 && ppl < pe) || (nE == 1 && ppl < pE))) error(ppl);
  if (nmi && pmi != 1 && ((!ne && !nE) || (ne == 1 && pmi < pe) || (nE == 1 && pmi < pE))) error(pmi);
  if (ndot == 1 && ((ne == 1 && pdot > pe) || (nE == 1 && pdot > pE))) error(pdot);
  bool finalsign = L > 0 && (ed[(size_t)L - 1] == '+' || ed[(size_t)L - 1] == '-');
  if ((ne && pe == L) || (nE && pE == L) || (finalsign && ((ne && pe == L - 1) || (nE && pE == L - 1))))
    kind = errend;
  auto isexp = [&](int i) { return i < L && (ed[(size_t)i] == 'e' || ed[(size_t)i] == 'E'); };
  if (!digit || isexp(0) || (isexp(1) && strchr(".+-", ed[0]))) kind = errstart;
  if (npl > 2) error(ppl);
  if (nmi > 2) error(pmi);
  if (ne + nE > 1) error(pe > pE ? pe : pE);
  if (nh) error(ph);
  if (l1) {
    kind = err;
    a = l1;
    b = l2;
  }
  switch (kind) {
    case none: return 0;
    case fix: *pos = e + a - 1; *end = *pos; return 1;
    case errend:
      line += "#";
      *pos = (int)line.size() - 1;
      *end = (int)line.size();
      return 2;
    case errstart:
      line.insert((size_t)e, "#");
      *pos = e;
      *end = e + 1;
      return 2;
    default:
      *pos = e + a - 1;
      *end = e + b;
      return 2;
  }
}

char* gxxdlg(dlgrec* d) {
  x11state& s = S();
  char* r = nullptr;
  if (d && s.display) {
    try {
      r = dialog_line(d);
      if (!r) printf("Memory Allocation Error: Dialog Box\n");
    } catch (const std::bad_alloc&) {
      printf("Memory Allocation Error: Dialog Box\n");
    }
  }
  if (d && d->ch) {
    free(d->ch);
    d->ch = nullptr;
  }
  return r;
}
