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
  Window w = 0;
  GC gc = nullptr;
  undersave saved;       // the whole window as the box opened over it
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

// The character a key types, as Latin-1, or -1 for none: the box keeps
// its line in Latin-1, the encoding of its fonts.
int latin1(const char* buf, int n, KeySym ks) {
  bool latinks = (ks >= 32 && ks <= 126) || (ks >= 160 && ks <= 255);
  unsigned char b = n == 1 ? (unsigned char)buf[0] : 0;
  bool printable = (b >= 32 && b <= 126) || b >= 160;
  // The string has the case that Lock gives, and the keypad's digits.
  if ((latinks || IsKeypadKey(ks)) && printable) return b;
  // A locale that is not Latin-1 spells the character otherwise; the key
  // still names it.
  if (latinks) return (int)ks;
  if (ks >= 0x10000a0 && ks <= 0x10000ff) return (int)(ks - 0x1000000);
  return -1;
}

// Whether the font has a glyph for Latin-1 character ch.
bool drawable(const XFontStruct* f, int ch) {
  if (!f) return ch <= 126;
  if (f->min_byte1 != 0) return false;
  if (ch < (int)f->min_char_or_byte2 || ch > (int)f->max_char_or_byte2) return false;
  if (!f->per_char) return true;
  const XCharStruct& c = f->per_char[ch - (int)f->min_char_or_byte2];
  return c.width != 0 || c.lbearing != 0 || c.rbearing != 0 || c.ascent != 0 || c.descent != 0;
}

void home(dialog& g) { g.c = g.s = g.e; }
void end(dialog& g) { g.c = g.s = (int)g.line.size(); }

// Ctrl-U: the line before the cursor goes, as at the console.
void killback(dialog& g) {
  g.line.erase((size_t)g.e, (size_t)(g.c - g.e));
  g.c = g.s = g.e;
}

enum class keyact { none, done, refused, abandoned };

keyact enterkey(dialog& g) {
  if (!g.d.nu) return keyact::done;
  int pos = 0, end = 0;
  int r = gxdnum(g.line, g.e, &pos, &end);
  if (r == 0) return keyact::done;
  if (r == 1) {
    g.line.insert((size_t)pos, "0");
    if (g.line.size() > maxline) g.line.resize(maxline);
    return keyact::done;
  }
  g.numerr = true;
  g.c = pos;
  g.s = end;
  return keyact::none;
}

// The keys that move the cursor or remove text, whatever modifier is held.
bool editkey(dialog& g, KeySym ks) {
  int n = (int)g.line.size();
  bool sel = g.c != g.s;
  if (ks == XK_BackSpace) {
    if (sel) {
      cut(g, g.c);
    } else if (g.c > g.e) {
      cut(g, g.c - 1);
      g.c--;
    }
    g.s = g.c;
  } else if (ks == XK_Delete || ks == XK_KP_Delete) {
    // The character after the cursor, or the selection; at the end of
    // the line nothing.
    cut(g, g.c);
    g.s = g.c;
  } else if (ks == XK_Home || ks == XK_KP_Home || ks == XK_Begin) {
    home(g);
  } else if (ks == XK_End || ks == XK_KP_End) {
    end(g);
  } else if (ks == XK_Left || ks == XK_KP_Left) {
    if (g.c > g.e) {
      g.c--;
      if (!sel) g.s = g.c;
    }
  } else if (ks == XK_Right || ks == XK_KP_Right) {
    if (g.c < n) {
      g.c++;
      if (!sel) g.s = g.c;
      if (g.s < g.c) g.s = g.c;
    }
  } else if (ks == XK_Down || ks == XK_KP_Down) {
    if (g.c < g.s) g.s--;
  } else if (ks == XK_Up || ks == XK_KP_Up) {
    if (g.s < n) g.s++;
  } else {
    return false;
  }
  return true;
}

// Ctrl with a letter: the console's line keys; no control key types.
// Ctrl-C, sent to the box by its hold on the keyboard wherever it was
// typed, abandons the entry as the interrupt at the terminal does.
keyact controlkey(dialog& g, KeySym ks) {
  switch (ks) {
    case XK_c: case XK_C: return keyact::abandoned;
    case XK_a: case XK_A: home(g); return keyact::none;
    case XK_e: case XK_E: end(g); return keyact::none;
    case XK_u: case XK_U: killback(g); return keyact::none;
    default: return keyact::refused;
  }
}

keyact typed(dialog& g, int ch) {
  if (ch < 0 || !drawable(g.fr, ch)) return keyact::refused;
  if (g.d.nu && !((ch >= '0' && ch <= '9') || strchr("+-.eE", ch))) return keyact::refused;
  bool sel = g.c != g.s;
  if (!sel && g.line.size() >= maxline) return keyact::refused;
  if (sel) g.line.erase((size_t)g.c, (size_t)(g.s - g.c));
  g.line.insert((size_t)g.c, 1, (char)ch);
  g.c++;
  g.s = g.c;
  return keyact::none;
}

// What a key does to the line.
keyact key(dialog& g, XKeyEvent* ke) {
  char buf[80];
  KeySym ks = 0;
  int n = XLookupString(ke, buf, (int)sizeof buf, &ks, nullptr);
  if (ks == XK_Return || ks == XK_Linefeed || ks == XK_KP_Enter) return enterkey(g);
  if (IsModifierKey(ks) || ks == NoSymbol) return keyact::none;
  g.numerr = false;
  if (editkey(g, ks)) return keyact::none;
  if (ke->state & ControlMask) return controlkey(g, ks);
  // Alt with a key is a command to some other program, not a character.
  if (ke->state & Mod1Mask) return keyact::refused;
  return typed(g, latin1(buf, n, ks));
}

int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The window as the box opened over it, put back where it was exposed;
// without a whole copy of it at its present size the display list draws
// it (the box, a child window, is not drawn over).
void exposed(dialog& g, const XExposeEvent& x) {
  x11state& s = S();
  if (g.saved.p && g.saved.width == s.width && g.saved.height == s.height) {
    XCopyArea(s.display, g.saved.p, s.win, s.gc, x.x, x.y, (unsigned)x.width,
              (unsigned)x.height, x.x, x.y);
  } else if (x.count == 0) {
    gxdrdw();
  }
}

// The keys go to the box wherever the focus is while it is open.  A box
// that cannot be seen yet cannot hold them, nor can it while another
// client holds the keyboard (a window manager's menu): the grab is asked
// again each time the box is exposed, and now and then while it is not
// held.  Released on every way out, by the destructor.
struct keygrab {
  Display* d;
  bool held = false;
  explicit keygrab(Display* dpy) : d(dpy) {}
  void take(Window w) {
    held = XGrabKeyboard(d, w, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
  }
  ~keygrab() {
    XUngrabKeyboard(d, CurrentTime);
    XFlush(d);
  }
};

void run(dialog& g, keygrab& grab) {
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
    if (!grab.held) grab.take(g.w);
    // An interrupt abandons the entry: the answer is an empty line.
    int got = gxwaitfor(s.display, mask, &ev, grab.held ? -1 : 100);
    if (got < 0) {
      g.line.clear();
      return;
    }
    if (got == 0) continue;
    if (gxdgone(ev)) gxdclosed();
    if (ev.type == Expose) {
      if (s.excnt > 0) s.excnt--;
      if (ev.xexpose.window == s.win) {
        exposed(g, ev.xexpose);
      } else if (ev.xexpose.window == g.w && ev.xexpose.count == 0) {
        drawbox(g);
        grab.take(g.w);
      }
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
      keyact a = key(g, &ev.xkey);
      if (a == keyact::done) return;
      if (a == keyact::abandoned) {
        g.line.clear();
        return;
      }
      if (a == keyact::refused) {
        XBell(s.display, 0);
        XFlush(s.display);
        continue;
      }
    } else {
      // A new size: the plot is drawn at it around the box, which keeps
      // its place; the copy of the old window is of no more use.
      if (ev.type == ConfigureNotify && gxdresized(ev)) {
        gxdsfn();
        gxdrdw();
        XFlush(s.display);
      }
      continue;
    }
    if (g.c > (int)g.line.size()) g.c = (int)g.line.size();
    if (g.s > (int)g.line.size()) g.s = (int)g.line.size();
    if (g.s < g.c) g.s = g.c;
    drawrow(g);
    XFlush(s.display);
  }
}

// Inside the part of the window on the screen where it fits, so that the
// whole box can be seen.
void placebox(dialog& g) {
  int l, t, r, b;
  gxdshown(&l, &t, &r, &b);
  if (g.X + g.Wd > r) g.X = r - g.Wd;
  if (g.X < l) g.X = l;
  if (g.Y + g.Hd > b) g.Y = b - g.Hd;
  if (g.Y < t) g.Y = t;
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
  placebox(g);
  gxdraise();

  const long wmask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask |
                     StructureNotifyMask;
  // Keys typed with the focus on the window reach the box too.
  XSelectInput(s.display, s.win, wmask | KeyPressMask);
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
  // Drawn at once: a box that cannot be seen yet (the window iconified)
  // gets no exposure until it can, and is painted and takes the keys then.
  drawbox(g);
  {
    keygrab grab(s.display);
    grab.take(g.w);
    XFlush(s.display);
    run(g, grab);
  }

  XUnmapWindow(s.display, g.w);
  XFreeGC(s.display, g.gc);
  XDestroyWindow(s.display, g.w);
  gxdsfn();
  XSelectInput(s.display, s.win, wmask);
  gxdrestore(g.saved);
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
