// The draw and redraw commands: single graphic elements on the current
// frame (map outlines, widgets, strings, weather symbols, rectangles,
// polygons, lines, marks, title and axis labels).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "cmd/omcmds.h"
#include "gx/gx.h"
#include "plot/omplot.h"

namespace {

const float justx[9] = {0, 0.5f, 1, 0, 0.5f, 1, 0, 0.5f, 1};
const float justy[9] = {0, 0, 0, 0.5f, 0.5f, 0.5f, 1, 1, 1};

int fail(const char* msg) {
  omprnt(0, msg);
  return 1;
}

// Reads n reals from the words after p; returns the position of the last
// word read, or null when one is missing or unreadable.
const char* reals(const char* p, float* v, int n) {
  for (int i = 0; i < n; i++) {
    p = p ? nxtwrd(p) : nullptr;
    if (!p || !valprs(p, &v[i])) return nullptr;
  }
  return p;
}

// A malloc'ed copy of the rest of the line (the caller hands it over).
// The typed line may still end in its newline (lines read without the line
// editor, exec files); a widget text ends before it.
char* restcopy(const char* p, int* len) {
  size_t n = strcspn(p, "\n");
  char* s = static_cast<char*>(malloc(n + 1));
  if (!s) return nullptr;
  memcpy(s, p, n);
  s[n] = '\0';
  *len = (int)n;
  return s;
}

std::string uptonl(const char* p) {
  const char* e = strchr(p, '\n');
  return e ? std::string(p, e - p) : std::string(p);
}

int drawmap(cmnstate* pcm) {
  if (pcm->whi[0] > pcm->wlo[0] && pcm->whi[1] > pcm->wlo[1]) {
    if (ommscl(pcm) == 0) omwmap(pcm, 0);
  }
  return 0;
}

void btncolours(const cmnstate* pcm, btnrec* b) {
  const int* c = pcm->btncolors;
  b->fc = c[0]; b->bc = c[1]; b->oc1 = c[2]; b->oc2 = c[3];
  b->ffc = c[4]; b->fbc = c[5]; b->foc1 = c[6]; b->foc2 = c[7];
  b->thk = pcm->btnthick;
}

int drawbutton(const char* p, cmnstate* pcm) {
  const char* syn = "DRAW error: Syntax is DRAW BUTTON number x y w h string\n";
  int n;
  float v[4];
  p = nxtwrd(p);
  if (!p || !intprs(p, &n)) return fail(syn);
  p = reals(p, v, 4);
  if (!p || !(p = nxtwrd(p))) return fail(syn);
  btnrec b;
  b.x = v[0]; b.y = v[1]; b.w = v[2]; b.h = v[3];
  btncolours(pcm, &b);
  b.state = 0;
  b.ch = restcopy(p, &b.len);
  if (!b.ch) return fail("Memory allocation error; DRAW BUTTON cmd\n");
  gxdpbn(n, &b, 0, 0, -1);
  return 0;
}

int drawdropmenu(const char* p, cmnstate* pcm) {
  const char* syn = "DRAW error: Syntax is DRAW DROPMENU number x y w h string | string | ...\n";
  int n;
  p = nxtwrd(p);
  if (!p || !intprs(p, &n)) return fail(syn);
  dmenurec m;
  const char* q = nxtwrd(p);
  if (q && cmpwrd("cascade", q)) {
    m.casc = 1;
    p = q;
  } else {
    float v[4];
    p = reals(p, v, 4);
    if (!p) return fail(syn);
    m.x = v[0]; m.y = v[1]; m.w = v[2]; m.h = v[3];
  }
  if (!(p = nxtwrd(p))) return fail(syn);
  int* f[15] = {&m.fc, &m.bc, &m.oc1, &m.oc2, &m.tfc, &m.tbc, &m.toc1, &m.toc2,
                &m.bfc, &m.bbc, &m.boc1, &m.boc2, &m.soc1, &m.soc2, &m.thick};
  for (int i = 0; i < 15; i++) *f[i] = pcm->menuopts[i];
  // A cascade's first item keeps the blank that parts it from the word
  // cascade, as the items after a '|' keep theirs: all are set in alike.
  if (m.casc && p[-1] == ' ') p--;
  m.str = restcopy(p, &m.len);
  if (!m.str) return fail("Memory allocation error; DRAW DROPMENU cmd\n");
  for (int i = 0; i < m.len; i++) {
    if (m.str[i] == '|') m.str[i] = 0;
  }
  gxdrmu(n, &m, 0, -1);
  return 0;
}

int drawtext(const char* p, cmnstate* pcm) {
  float v[2];
  p = reals(p, v, 2);
  if (!p || !nxtwrd(p)) return fail("DRAW error: Syntax is DRAW TEXT x y string\n");
  gxcolr(pcm->strcolor);
  gxdtxt(0, v[0], v[1]);
  return 0;
}

int drawwxsym(const char* p, cmnstate* pcm) {
  const char* syn = "DRAW error: Syntax is DRAW WXSYM sym x y siz <color <thick> >\n";
  int sym, col = -1, thk = 3;
  float v[3];
  p = nxtwrd(p);
  if (!p || !intprs(p, &sym) || sym < 1 || sym > 43) return fail(syn);
  p = reals(p, v, 3);
  if (!p) return fail(syn);
  if ((p = nxtwrd(p))) {
    if (!intprs(p, &col)) return fail(syn);
    if ((p = nxtwrd(p)) && !intprs(p, &thk)) return fail(syn);
  }
  gxwide(thk);
  gxstyl(1);
  wxsym(sym, v[0], v[1], v[2], col, pcm->wxcols);
  return 0;
}

int drawstring(const char* p, cmnstate* pcm) {
  float v[2];
  p = reals(p, v, 2);
  const char* t = p ? nxtwrd(p) : nullptr;
  if (!t) return fail("DRAW error: Syntax is DRAW STRING x y string\n");
  std::string s = uptonl(t);
  int n = (int)s.size();
  gxwide(pcm->strthick);
  gxcolr(pcm->strcolor);
  float w = 0;
  gxchln(s.c_str(), n, pcm->strhsiz, &w);
  float h = pcm->strvsiz;
  float a = pcm->strrot * 3.1416f / 180.0f;
  int j = pcm->strjust < 0 || pcm->strjust > 8 ? 0 : pcm->strjust;
  float x = v[0], y = v[1];
  x -= justx[j] * w * std::cos(a);
  y -= justx[j] * w * std::sin(a);
  x -= justy[j] * h * std::cos(a + 1.5708f);
  y -= justy[j] * h * std::sin(a + 1.5708f);
  gxchpl(s.c_str(), n, x, y, pcm->strvsiz, pcm->strhsiz, pcm->strrot);
  return 0;
}

int drawrec(const char* p, cmnstate* pcm, bool filled) {
  const char* syn = filled ? "DRAW error: Syntax is DRAW RECF xlo ylo xhi yhi\n"
                           : "DRAW error: Syntax is DRAW REC xlo ylo xhi yhi\n";
  float v[4];
  if (!reals(p, v, 4) || !(v[0] < v[2]) || !(v[1] < v[3])) return fail(syn);
  if (filled) {
    gxcolr(pcm->linecolor);
    if (pcm->fillon) gxptrn(pcm->filltype, pcm->filldens, pcm->fillang);
    gxrecf(v[0], v[2], v[1], v[3]);
    if (pcm->fillon) gxptrn(1, 1, 0);
    return 0;
  }
  gxwide(pcm->linethick);
  gxcolr(pcm->linecolor);
  gxstyl(pcm->linestyle);
  gxplot(v[0], v[1], 3);
  gxplot(v[2], v[1], 2);
  gxplot(v[2], v[3], 2);
  gxplot(v[0], v[3], 2);
  gxplot(v[0], v[1], 2);
  return 0;
}

int drawpoly(const char* p, cmnstate* pcm, bool map) {
  std::vector<float> v;
  int k = 0;
  for (const char* q = nxtwrd(p); q; q = nxtwrd(q)) k++;
  if (k < 6) return fail("DRAW error: Syntax is DRAW POLYF x1 y1 x2 y2 ...\n");
  v.reserve(k + 2);
  for (const char* q = nxtwrd(p); q; q = nxtwrd(q)) {
    float f;
    if (!valprs(q, &f)) return fail("DRAW error: Invalid polyf coordinate\n");
    v.push_back(f);
  }
  int n = k / 2;
  v.resize(2 * n);
  if (v[0] != v[2 * n - 2] || v[1] != v[2 * n - 1]) {
    v.push_back(v[0]);
    v.push_back(v[1]);
    n++;
  }
  if (map) {
    if (pcm->axisdims[0] != 0 || pcm->axisdims[1] != 1) {
      omprnt(0, "DRAW MAPPOLY error: Invalid Dimension Environment\n");
      omprnt(0, "                    X and Y must be varying\n");
      return 1;
    }
    float s = std::hypot(pcm->whi[0] - pcm->wlo[0], pcm->whi[1] - pcm->wlo[1]) / 200.0f;
    if (!(s >= 0.0001f)) s = 0.0001f;
    int m = 0;
    std::vector<float> pg = gxmpoly(v.data(), n, s, &m);
    if (m < 1) return fail("DRAW MAPPOLY error: Memory allocation\n");
    v.swap(pg);
    n = m;
    gxcolr(pcm->linecolor);
    gxwide(1);
    gxstyl(1);
    gxplot(v[0], v[1], 3);
    for (int i = 1; i < n; i++) gxplot(v[2 * i], v[2 * i + 1], 2);
  }
  gxcolr(pcm->linecolor);
  if (pcm->fillon) gxptrn(pcm->filltype, pcm->filldens, pcm->fillang);
  gxfill(v.data(), n);
  if (pcm->fillon) gxptrn(1, 1, 0);
  return 0;
}

int drawline(const char* p, cmnstate* pcm) {
  gxwide(pcm->linethick);
  gxcolr(pcm->linecolor);
  gxstyl(pcm->linestyle);
  const char* syn = "DRAW error: Syntax is DRAW LINE x1 y1 x2 y2\n";
  const char* bad = "DRAW error: Invalid LINE coordinate\n";
  float x, y;
  p = nxtwrd(p);
  if (!p) return fail(syn);
  if (!valprs(p, &x)) return fail(bad);
  p = nxtwrd(p);
  if (!p) return fail(syn);
  if (!valprs(p, &y)) return fail(bad);
  gxplot(x, y, 3);
  while ((p = nxtwrd(p))) {
    if (!valprs(p, &x)) return fail(bad);
    p = nxtwrd(p);
    if (!p) return fail("DRAW LINE error: Missing Y coordinate\n");
    if (!valprs(p, &y)) return fail(bad);
    gxplot(x, y, 2);
  }
  return 0;
}

int drawmark(const char* p, cmnstate* pcm) {
  const char* syn = "DRAW error: Syntax is DRAW MARK marktype x y size\n";
  int type;
  float v[3];
  p = nxtwrd(p);
  if (!p || !intprs(p, &type) || !reals(p, v, 3)) return fail(syn);
  gxwide(pcm->linethick);
  gxcolr(pcm->linecolor);
  gxstyl(1);
  gxmark(type, v[0], v[1], v[2]);
  return 0;
}

// kind 0 title, 1 xlab, 2 ylab
int drawtitle(const char* p, cmnstate* pcm, int kind) {
  const char* t = nxtwrd(p);
  if (!t) return fail("DRAW error: Missing character string \n");
  std::string text = uptonl(t);
  if (text.size() > 255) text.resize(255);
  std::vector<std::string> lines(1);
  bool atstart = true;
  for (char ch : text) {
    if (ch == '\\') {
      lines.emplace_back();
      atstart = true;
      continue;
    }
    if (atstart && ch == ' ') continue;
    atstart = false;
    lines.back() += ch;
  }
  int m = (int)lines.size();
  gxcolr(pcm->annotcolor);
  gxwide(pcm->annotthick);
  static const float tsz[4] = {0.2f, 0.175f, 0.15f, 0.125f};
  static const float lsz[4] = {0.16f, 0.14f, 0.12f, 0.12f};
  float c = (kind == 0 ? tsz : lsz)[m > 4 ? 3 : m - 1];
  float cx = pcm->plotxlo + (pcm->plotxhi - pcm->plotxlo) / 2;
  float cy = pcm->plotylo + (pcm->plotyhi - pcm->plotylo) / 2;
  float y = kind == 0 ? pcm->plotyhi + (m - 1) * c * 1.7f + 0.4f * c + 0.1f
                      : pcm->plotylo - 1.7f * c - 0.3f;
  float x = pcm->plotxlo - pcm->ylabshift - 1.7f * c * (m - 1) - c;
  for (const std::string& l : lines) {
    int len = (int)l.size();
    float w = 0;
    gxchln(l.c_str(), len, c, &w);
    if (kind == 2) {
      gxchpl(l.c_str(), len, x, cy - w / 2, 1.2f * c, c, 90);
      x += 1.7f * c;
    } else {
      gxchpl(l.c_str(), len, cx - w / 2, y, 1.2f * c, c, 0);
      y -= 1.7f * c;
    }
  }
  return 0;
}

}  // namespace

int omdraw(const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(typed);
  if (!p) return fail("DRAW error: Missing operand\n");
  char kw[12];
  getwrd(kw, p, 10);
  lowcas(kw);
  if (cmpwrd("map", kw)) return drawmap(pcm);
  if (cmpwrd("button", kw)) return drawbutton(p, pcm);
  if (cmpwrd("dropmenu", kw)) return drawdropmenu(p, pcm);
  if (cmpwrd("text", kw)) return drawtext(p, pcm);
  if (cmpwrd("wxsym", kw)) return drawwxsym(p, pcm);
  if (cmpwrd("string", kw)) return drawstring(p, pcm);
  if (cmpwrd("rec", kw)) return drawrec(p, pcm, false);
  if (cmpwrd("polyf", kw)) return drawpoly(p, pcm, false);
  if (cmpwrd("mappoly", kw)) return drawpoly(p, pcm, true);
  if (cmpwrd("recf", kw)) return drawrec(p, pcm, true);
  if (cmpwrd("line", kw)) return drawline(p, pcm);
  if (cmpwrd("mark", kw)) return drawmark(p, pcm);
  if (cmpwrd("title", kw)) return drawtitle(p, pcm, 0);
  if (cmpwrd("xlab", kw)) return drawtitle(p, pcm, 1);
  if (cmpwrd("ylab", kw)) return drawtitle(p, pcm, 2);
  return fail("DRAW error:  Invalid operand\n");
}

int omrdrw(const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(typed);
  if (!p) return fail("REDRAW error: Missing operand\n");
  char kw[12];
  getwrd(kw, p, 10);
  lowcas(kw);
  if (!cmpwrd("button", kw)) return fail("REDRAW error:  Invalid operand\n");
  const char* syn = "REDRAW error: Syntax is REDRAW BUTTON number state flag text\n";
  int n, state, flag = 0;
  p = nxtwrd(p);
  if (!p || !intprs(p, &n) || n < 0 || n > 255) return fail(syn);
  p = nxtwrd(p);
  if (!p || !intprs(p, &state)) return fail(syn);
  btnrec b;
  btncolours(pcm, &b);
  b.state = state;
  int mode = 2;
  if ((p = nxtwrd(p))) {
    if (!intprs(p, &flag)) return fail(syn);
    if (flag) mode = 3;
    if ((p = nxtwrd(p))) {
      b.ch = restcopy(p, &b.len);
      if (!b.ch) return fail("Memory allocation error; DRAW BUTTON cmd\n");
    }
  }
  gxdpbn(n, &b, mode, 0, state);
  return 0;
}
