// The set keywords of drawing attributes, the page and the widgets: line,
// string, strsiz, annot, fill, rgb, font, frame, grid and the plot-detail
// switches (arrows, digits, bars, weather symbols, station models), the
// virtual page, plot area, clip, display, background, double buffering and
// window size, and the looks of buttons, rubber bands, dialogs and drop
// menus.  Most only store into the common state; the page and colour
// keywords call the graphics package at once.
#include <cmath>
#include <cstring>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "cmd/omset.h"
#include "gx/gx.h"

namespace {

// Reads an integer word; false for a missing word or one without digits.
bool rdint(const char* p, int* v) { return p && intprs(p, v) != nullptr; }

// Reads a real word; a value that is not finite (1e99 overflows a float)
// is as unreadable as no number at all.
bool rdval(const char* p, float* v) {
  float t;
  if (!p || !valprs(p, &t) || !std::isfinite(t)) return false;
  *v = t;
  return true;
}

const char* const justwords[9] = {"bl", "bc", "br", "l", "c", "r", "tl", "tc", "tr"};

int justcode(const char* p) {
  for (int i = 0; i < 9; i++)
    if (cmpwrd(justwords[i], p)) return i;
  return -1;
}

// ------------------------------------------------------------ attributes

int setline(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  int v;
  if (!rdint(p, &v)) return setmiss(c);
  pcm->linecolor = v;
  if ((p = nxtwrd(p))) {
    if (!rdint(p, &v)) {
      omprnt(0, "SET LINE Error: Invalid linestyle value\n");
    } else {
      pcm->linestyle = v;
      if ((p = nxtwrd(p))) {
        if (rdint(p, &v)) pcm->linethick = v;
        else omprnt(0, "SET LINE Error: Invalid thickness value\n");
      }
    }
  }
  omprntf(2, "SET LINE values:  color = %i  style = %i", pcm->linecolor, pcm->linestyle);
  omprntf(2, "  thickness = %i\n", pcm->linethick);
  return 0;
}

int setstring(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  int v;
  if (!rdint(p, &v)) return setmiss(c);
  pcm->strcolor = v;
  if ((p = nxtwrd(p))) {
    int j = justcode(p);
    if (j < 0) {
      omprnt(0, "SET STRING Error: Invalid justification value\n");
    } else {
      pcm->strjust = j;
      if ((p = nxtwrd(p))) {
        if (!rdint(p, &v)) {
          omprnt(0, "SET STRING Error: Invalid thickness value\n");
        } else {
          pcm->strthick = v;
          float r;
          if ((p = nxtwrd(p))) {
            if (rdval(p, &r)) pcm->strrot = r;
            else omprnt(0, "SET STRING Error: Invalid rotation value\n");
          }
        }
      }
    }
  }
  int j = pcm->strjust >= 0 && pcm->strjust <= 8 ? pcm->strjust : 0;
  omprntf(2, "SET STRING values:  color = %i  just = %s", pcm->strcolor, justwords[j]);
  omprntf(2, "  thickness = %i  rotation = %g\n", pcm->strthick, pcm->strrot);
  return 0;
}

int setannot(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  int v;
  if (!rdint(p, &v)) return setmiss(c);
  pcm->annotcolor = v;
  if ((p = nxtwrd(p))) {
    if (rdint(p, &v)) pcm->annotthick = v;
    else omprnt(0, "SET ANNOT Error: Invalid thickness value\n");
  }
  omprntf(2, "SET ANNOT values:  color = %i  thickness = %i\n", pcm->annotcolor,
          pcm->annotthick);
  return 0;
}

int setstrsiz(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  float h;
  if (!rdval(p, &h)) return setmiss(c);
  pcm->strhsiz = h;
  pcm->strvsiz = h;
  if ((p = nxtwrd(p))) {
    float v;
    if (rdval(p, &v)) pcm->strvsiz = v;
    else omprnt(0, "SET STRSIZ Error:  Invalid vsize value\n");
  }
  omprntf(2, "SET STRSIZ values:  hsize = %g  vsize = %g\n", pcm->strhsiz, pcm->strvsiz);
  return 0;
}

// set fill on|off|open|solid|dot dens|line dens angle
int setfill(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (!p) {
    omprnt(0, "SET FILL Syntax Error.");
    omprnt(0, "  Syntax is: SET FILL type [density] [angle]\n");
    return 1;
  }
  std::string word = wrdstr(p);
  int kind;  // 0 switch, 1 plain type, 2 dot, 3 line
  if (cmpwrd("on", p) || cmpwrd("off", p)) {
    pcm->fillon = cmpwrd("on", p) ? 1 : 0;
    kind = 0;
  } else if (cmpwrd("open", p) || cmpwrd("solid", p)) {
    pcm->fillon = 1;
    pcm->filltype = cmpwrd("open", p) ? 0 : 1;
    kind = 1;
  } else if (cmpwrd("dot", p) || cmpwrd("line", p)) {
    kind = cmpwrd("dot", p) ? 2 : 3;
    pcm->fillon = 1;
    pcm->filltype = kind;
  } else {
    return setmiss(c);
  }
  if (kind >= 2) {
    int dens;
    p = nxtwrd(p);
    if (!rdint(p, &dens)) return setmiss(c);
    int top = kind == 2 ? 6 : 5;
    if (dens < 1 || dens > top) {
      omprntf(0, "Invalid ptrnden value:  must be integer 1 to %i\n", top);
    } else {
      pcm->filldens = dens;
    }
  }
  if (kind == 3) {
    int ang;
    p = nxtwrd(p);
    if (!rdint(p, &ang)) return setmiss(c);
    static const int angles[9] = {-90, -60, -45, -30, 0, 30, 45, 60, 90};
    bool ok = false;
    for (int a : angles) ok = ok || a == ang;
    if (ok) {
      pcm->fillang = ang;
    } else {
      omprnt(0, "Invalid ptrnang value:  must be -90, -60, -45 -30\n");
      omprnt(0, " \t                        0, 30. 45, 60, or 90\n");
    }
  }
  if (kind == 3) omprntf(2, "SET FILL values: %s %d %d\n", word.c_str(), pcm->filldens, pcm->fillang);
  else if (kind == 2) omprntf(2, "SET FILL values: %s %d\n", word.c_str(), pcm->filldens);
  else omprntf(2, "SET FILL values: %s\n", word.c_str());
  return 0;
}

int setrgb(const setcall& c) {
  int v[4];
  const char* p = c.word;
  for (int i = 0; i < 4; i++) {
    p = nxtwrd(p);
    if (!rdint(p, &v[i])) return setmiss(c);
  }
  bool ok = v[0] >= 16 && v[0] <= 99;
  for (int i = 1; i < 4; i++) ok = ok && v[i] >= 0 && v[i] <= 255;
  if (!ok) {
    omprnt(0, "SET RGB Error:  Invalid color number or rgb value\n");
    omprnt(0, "  Color number must be 16-99, rgb value 0-255\n");
    return 1;
  }
  if (gxacol(v[0], v[1], v[2], v[3]) == 0)
    omprntf(3, "Color R:%i G:%i B:%i Unavailable: closest color assigned\n", v[1], v[2], v[3]);
  return 0;
}

int setfont(const setcall& c) {
  int n;
  if (!rdint(nxtwrd(c.word), &n)) return setmiss(c);
  if (n < 0 || n > 9) {
    omprnt(0, "SET FONT Error: font must be 0 to 9\n");
    return 1;
  }
  gxchdf(n);
  return 0;
}

// ------------------------------------------------------------ plot details

// A keyword followed by one word out of a list; vals[i] goes with words[i].
int setchoice(const setcall& c, int* field, const char* const* words, const int* vals, int n) {
  const char* p = nxtwrd(c.word);
  if (p) {
    for (int i = 0; i < n; i++) {
      if (cmpwrd(words[i], p)) {
        *field = vals[i];
        return 0;
      }
    }
  }
  return setmiss(c);
}

int setgridln(const setcall& c) {
  const char* p = nxtwrd(c.word);
  int v;
  if (p && cmpwrd("auto", p)) v = -9;
  else if (p && cmpwrd("off", p)) v = -1;
  else if (!rdint(p, &v)) return setmiss(c);
  c.pcm->gridln = v;
  return 0;
}

int setreal(const setcall& c, float* field, const char* echo) {
  float v;
  if (!rdval(nxtwrd(c.word), &v)) return setmiss(c);
  *field = v;
  omprntf(2, echo, static_cast<double>(v));
  return 0;
}

int setdignum(const setcall& c) {
  int v;
  if (!rdint(nxtwrd(c.word), &v)) return setmiss(c);
  if (v < 0 || v > 8) {
    omprnt(0, "Invalid dignum value:  must be 0 to 8\n");
    return 0;
  }
  c.pcm->dignum = v;
  omprntf(2, "dignum = %i \n", v);
  return 0;
}

int setstrmden(const setcall& c) {
  int v;
  if (!rdint(nxtwrd(c.word), &v)) return setmiss(c);
  c.pcm->strmden = v;
  return 0;
}

int setwxcols(const setcall& c) {
  int v[5];
  const char* p = c.word;
  for (int i = 0; i < 5; i++) {
    p = nxtwrd(p);
    if (!rdint(p, &v[i])) return setmiss(c);
  }
  if (nxtwrd(p)) return setmiss(c);  // exactly five
  std::memcpy(c.pcm->wxcols, v, sizeof v);
  omprnt(2, "New WXCOLS have been set\n");
  return 0;
}

int setlfcols(const setcall& c) {
  int a, b;
  const char* p = nxtwrd(c.word);
  if (!rdint(p, &a)) return setmiss(c);
  if (!rdint(nxtwrd(p), &b)) return setmiss(c);
  c.pcm->lfcols[0] = a;
  c.pcm->lfcols[1] = b;
  omprntf(2, "LineFill Colors: Above = %i  Below = %i\n", a, b);
  return 0;
}

int setbarbase(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  float v;
  if (p && cmpwrd("bottom", p)) {
    pcm->barbaseset = 0;
  } else if (p && cmpwrd("top", p)) {
    pcm->barbaseset = -1;
  } else if (rdval(p, &v)) {
    pcm->barbase = v;
    pcm->barbaseset = 1;
  } else {
    return setmiss(c);
  }
  return 0;
}

int setbargap(const setcall& c) {
  int v;
  if (!rdint(nxtwrd(c.word), &v)) return setmiss(c);
  if (v < 0 || v > 99) {
    omprnt(0, "SET BARGAP Error: gap must be 0 to 99\n");
    return 1;
  }
  c.pcm->bargap = v;
  return 0;
}

int setbaropts(const setcall& c) {
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  if (cmpwrd("outline", p)) c.pcm->baropts = 1;
  else if (cmpwrd("filled", p)) c.pcm->baropts = 0;
  return 0;
}

int setmdlopts(const setcall& c) {
  cmnstate* pcm = c.pcm;
  for (const char* p = nxtwrd(c.word); p; p = nxtwrd(p)) {
    if (cmpwrd("noblank", p)) pcm->mdlblank = 0;
    else if (cmpwrd("blank", p)) pcm->mdlblank = 1;
    else if (cmpwrd("dig3", p)) pcm->mdldig3 = 1;
    else if (cmpwrd("nodig3", p)) pcm->mdldig3 = 0;
    else return setmiss(c);
  }
  return 0;
}

int setarrscl(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  float v;
  if (!rdval(p, &v)) return setmiss(c);
  pcm->arrsize = v;
  pcm->arrmag = -999;
  if ((p = nxtwrd(p))) {
    if (!rdval(p, &v)) return setmiss(c);
    pcm->arrmag = v;
  }
  pcm->arrflag = 1;
  return 0;
}

int setgrid(const setcall& c) {
  cmnstate* pcm = c.pcm;
  static const char* const words[4] = {"on", "off", "horizontal", "vertical"};
  static const int modes[4] = {1, 0, 2, 3};
  if (setchoice(c, &pcm->grid, words, modes, 4)) return 1;
  const char* p = nxtwrd(nxtwrd(c.word));
  int v;
  if (p) {
    if (!rdint(p, &v)) return setmiss(c);
    pcm->gridstyle = v;
    if ((p = nxtwrd(p))) {
      if (!rdint(p, &v)) return setmiss(c);
      pcm->gridcolor = v;
    }
  }
  if (pcm->grid) omprntf(2, "grid is on, style %i color %i \n", pcm->gridstyle, pcm->gridcolor);
  else omprnt(2, "grid is off\n");
  return 0;
}

int setbackground(const setcall& c) {
  int v;
  if (!rdint(nxtwrd(c.word), &v)) return setmiss(c);
  omprntf(2, "background = %i \n", v);
  gxbckg(v);
  return 0;
}

// ------------------------------------------------------------ page

int setvpage(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (p && cmpwrd("off", p)) {
    pcm->vpagew = pcm->pagew;
    pcm->vpageh = pcm->pageh;
    gxvpag(pcm->pagew, pcm->pageh, 0, pcm->pagew, 0, pcm->pageh);
    omcln(pcm, 1);
    return 0;
  }
  float b[4];  // xlo xhi ylo yhi
  for (int i = 0; i < 4; i++, p = nxtwrd(p))
    if (!rdval(p, &b[i])) return setmiss(c);
  if (b[0] < 0 || b[2] < 0 || b[1] > pcm->pagew || b[3] > pcm->pageh) {
    omprnt(0, "SET Error: vpage values beyond real page limits\n");
    return 1;
  }
  if (!(b[0] < b[1]) || !(b[2] < b[3])) return setmiss(c);
  float w = b[1] - b[0], h = b[3] - b[2];
  float vw, vh;
  if (h / w > pcm->pageh / pcm->pagew) {
    vh = pcm->pageh;
    vw = w * pcm->pageh / h;
  } else {
    vw = pcm->pagew;
    vh = h * pcm->pagew / w;
  }
  pcm->vpagew = vw;
  pcm->vpageh = vh;
  gxvpag(vw, vh, b[0], b[1], b[2], b[3]);
  omprntf(2, "Virtual page size = %g %g \n", vw, vh);
  omcln(pcm, 1);
  return 0;
}

int setparea(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (p && cmpwrd("off", p)) {
    pcm->parea = 0;
    return 0;
  }
  float b[4];
  for (int i = 0; i < 4; i++, p = nxtwrd(p))
    if (!rdval(p, &b[i])) return setmiss(c);
  if (b[0] < 0 || b[2] < 0 || b[1] > pcm->vpagew || b[3] > pcm->vpageh) {
    omprnt(0, "SET Error: parea values beyond page limits\n");
    return 1;
  }
  if (!(b[0] < b[1]) || !(b[2] < b[3])) return setmiss(c);
  std::memcpy(pcm->pareabox, b, sizeof b);
  pcm->parea = 1;
  return 0;
}

int setclip(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  float b[4];
  for (int i = 0; i < 4; i++, p = nxtwrd(p))
    if (!rdval(p, &b[i])) return setmiss(c);
  if (b[0] < 0 || b[2] < 0 || b[1] > pcm->pagew || b[3] > pcm->pageh || !(b[0] < b[1]) ||
      !(b[2] < b[3]))
    return setmiss(c);
  gxclip(b[0], b[1], b[2], b[3]);
  return 0;
}

int setdisplay(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  int grey, bg = pcm->whitebg;
  if (p && cmpwrd("color", p)) grey = 0;
  else if (p && (cmpwrd("grey", p) || cmpwrd("greyscale", p))) grey = 1;
  else return setmiss(c);
  if ((p = nxtwrd(p))) {
    if (cmpwrd("white", p)) bg = 1;
    else if (cmpwrd("black", p)) bg = 0;
    else return setmiss(c);
  }
  pcm->grey = grey;
  pcm->whitebg = bg;
  gxdbck(bg);
  gxgrey(grey);
  return 0;
}

int setdbuff(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  int on;
  if (!p || !setonoff(p, &on)) return setmiss(c);
  if (on) {
    pcm->dbuff = 1;
    gxfrme(2);
    omcln(pcm, 1);
  } else if (pcm->dbuff) {
    pcm->dbuff = 0;
    gxfrme(1);
    omcln(pcm, 1);
  }
  return 0;
}

// Window sizes are refused outside what a display can make of them.
int setxsize(const setcall& c) {
  int w, h;
  const char* p = nxtwrd(c.word);
  if (!rdint(p, &w) || !rdint(nxtwrd(p), &h)) return setmiss(c);
  if (w < 1 || h < 1 || w > 32767 || h > 32767) return setmiss(c);
  gxdxsz(w, h);
  gxfrme(9);
  return 0;
}

// ------------------------------------------------------------ widgets

int rbandsyntax() {
  omprnt(0, "SET RBAND Syntax Error.");
  omprnt(0, "  Syntax is: SET RBAND num type xlo ylo xhi yhi\n");
  return 1;
}

int setrband(const setcall& c) {
  const char* p = nxtwrd(c.word);
  int num, button = -1, type;
  if (!rdint(p, &num)) return rbandsyntax();
  p = nxtwrd(p);
  if (p && p[0] == 'm' && p[1] == 'b') {
    if (!rdint(p + 2, &button)) return rbandsyntax();
    if (button > 3) button = 3;
    p = nxtwrd(p);
  }
  if (p && cmpwrd("box", p)) type = 1;
  else if (p && cmpwrd("line", p)) type = 2;
  else return rbandsyntax();
  float b[4];  // xlo ylo xhi yhi
  for (int i = 0; i < 4; i++) {
    p = nxtwrd(p);
    if (!rdval(p, &b[i])) return rbandsyntax();
  }
  gxdrbb(num, type, b[0], b[1], b[2], b[3], button);
  return 0;
}

int setbutton(const setcall& c) {
  cmnstate* pcm = c.pcm;
  int* col = pcm->btncolors;
  const char* p = nxtwrd(c.word);
  int v;
  if (!rdint(p, &v)) return setmiss(c);
  // Each value also stands for the later ones that default to it.
  for (int i = 0; p && i < 9; i++, p = nxtwrd(p)) {
    if (i > 0 && !rdint(p, &v)) return setmiss(c);
    switch (i) {
      case 0: col[0] = col[4] = v; break;
      case 1: col[1] = col[5] = v; break;
      case 2: col[2] = col[3] = col[6] = col[7] = v; break;
      case 3: col[3] = col[7] = v; break;
      case 6: col[6] = col[7] = v; break;
      case 8: pcm->btnthick = v; break;
      default: col[i] = v; break;
    }
  }
  omprntf(2, "SET BUTTON values:  Fc, Bc, Oc, Oc2 = %i %i %i %i ", col[0], col[1], col[2], col[3]);
  omprntf(2, "Toggle Fc, Bc, Oc, Oc2 = %i %i %i %i ", col[4], col[5], col[6], col[7]);
  omprntf(2, "Thick = %i\n", pcm->btnthick);
  return 0;
}

// The dialog colours are kept as foreground, background, outline, prompt;
// the command takes the prompt colour first.
int setdialog(const setcall& c) {
  cmnstate* pcm = c.pcm;
  static const int slot[4] = {3, 0, 1, 2};
  const char* p = nxtwrd(c.word);
  int v;
  if (!rdint(p, &v)) return setmiss(c);
  int i = 0;
  for (; p && i < 5; i++, p = nxtwrd(p)) {
    if (i > 0 && !rdint(p, &v)) return setmiss(c);
    if (i < 4) pcm->dlgcolors[slot[i]] = v;
    else pcm->dlgthick = v;
  }
  if (i == 5) {
    if (!p) pcm->dlgnumeric = 0;
    else if (cmpwrd("n", p) || cmpwrd("numeric", p)) pcm->dlgnumeric = 1;
  }
  const int* d = pcm->dlgcolors;
  omprntf(2, "SET DIALOG values:  Pc, Fc, Bc, Oc = %i %i %i %i ", d[3], d[0], d[1], d[2]);
  if (pcm->dlgnumeric == 1) {
    omprntf(2, "Thick = %i ", pcm->dlgthick);
    omprnt(2, "Args = numeric\n");
  } else {
    omprntf(2, "Thick = %i\n", pcm->dlgthick);
  }
  return 0;
}

int setdropmenu(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  int n = 0;
  bool bad = !p;
  for (; p && !bad; p = nxtwrd(p)) {
    int v;
    if (n == 15 || !rdint(p, &v)) bad = true;
    else pcm->menuopts[n++] = v;
  }
  if (bad) {
    omprnt(0, "SET DROPMENU Syntax Error.");
    omprnt(0, "  Syntax is: SET DROPMENU fc bc oc1 oc2 tfc tbc toc1 toc2\n");
    omprnt(0, "      bfc bbc boc1 boc2 soc1 soc2 thick\n");
    return 1;
  }
  return 0;
}

// ------------------------------------------------------------ keyword table

int frame_(const setcall& c) {
  static const char* const w[3] = {"on", "off", "circle"};
  static const int v[3] = {1, 0, 2};
  return setchoice(c, &c.pcm->frame, w, v, 3);
}
int arrlab(const setcall& c) {
  static const char* const w[2] = {"off", "on"};
  static const int v[2] = {0, 1};
  return setchoice(c, &c.pcm->arrlab, w, v, 2);
}
int hempref(const setcall& c) {
  static const char* const w[3] = {"auto", "shem", "nhem"};
  static const int v[3] = {-1, 1, 0};
  return setchoice(c, &c.pcm->hempref, w, v, 3);
}
int wxopt(const setcall& c) {
  static const char* const w[3] = {"wxsym", "mark", "char"};
  static const int v[3] = {1, 2, 3};
  return setchoice(c, &c.pcm->wxopt, w, v, 3);
}
int arrowhead(const setcall& c) { return setreal(c, &c.pcm->arrowhead, "Arrowhead = %g \n"); }
int digsiz(const setcall& c) { return setreal(c, &c.pcm->digsize, "digsiz = %g \n"); }

struct drawkw {
  const char* word;
  int (*fn)(const setcall&);
};

const drawkw handlers[] = {
    {"line", setline},         {"string", setstring},     {"annot", setannot},
    {"strsiz", setstrsiz},     {"fill", setfill},         {"rgb", setrgb},
    {"font", setfont},         {"frame", frame_},         {"arrlab", arrlab},
    {"hempref", hempref},      {"gridln", setgridln},     {"arrowhead", arrowhead},
    {"digsiz", digsiz},        {"digsize", digsiz},       {"dignum", setdignum},
    {"strmden", setstrmden},   {"wxopt", wxopt},          {"wxcols", setwxcols},
    {"lfcols", setlfcols},     {"barbase", setbarbase},   {"bargap", setbargap},
    {"baropts", setbaropts},   {"mdlopts", setmdlopts},   {"arrscl", setarrscl},
    {"grid", setgrid},         {"background", setbackground}, {"vpage", setvpage},
    {"parea", setparea},       {"clip", setclip},         {"display", setdisplay},
    {"dbuff", setdbuff},       {"xsize", setxsize},       {"rband", setrband},
    {"button", setbutton},     {"dialog", setdialog},     {"dropmenu", setdropmenu},
};

}  // namespace

int omsetdrw(const setcall& c) {
  for (const drawkw& k : handlers)
    if (cmpwrd(k.word, c.word)) return k.fn(c);
  omprnt(0, "SET error:  keyword without a handler\n");
  return 1;
}
