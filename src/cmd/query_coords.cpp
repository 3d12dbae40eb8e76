// Query sub-commands of coordinates, the graphics state and widgets.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/outflush.h"
#include "base/words.h"
#include "cmd/qgfx.h"
#include "data/datetime.h"
#include "gx/gx.h"
#include "plot/plotint.h"

namespace {

const char* const cdims[6] = {"None", "Lon", "Lat", "Lev", "Time", "Val"};
const char* const ccdims[5] = {"Xdim", "Ydim", "Zdim", "Tdim", "Val"};

const char* wname(int d) { return d >= -1 && d <= 4 ? cdims[d + 1] : "None"; }
const char* gname(int d) { return d >= 0 && d <= 4 ? ccdims[d] : "None"; }

bool noscale(const cmnstate* pcm) { return pcm->axisdims[0] < 0 || pcm->axisdims[1] < 0; }

int noscaling() {
  omprnt(2, "No scaling environment\n");
  return 0;
}

// Grid to world on an axis (0 x, 1 y) of the last plot.
double g2w(const cmnstate* pcm, int axis, double v) {
  omaxisfn f = pcm->plotlims.conv[axis];
  if (f && pcm->axisdims[axis] != 3 && pcm->plotlims.vals[axis]) return f(pcm->plotlims.vals[axis], v);
  return v;
}
double w2g(const cmnstate* pcm, int axis, double v) {
  omaxisfn f = pcm->plotlims.conv[axis + 2];
  if (f && pcm->axisdims[axis] != 3 && pcm->plotlims.vals[axis + 2])
    return f(pcm->plotlims.vals[axis + 2], v);
  return v;
}

std::string timeof(const cmnstate* pcm, int axis, double gr) {
  if (!pcm->plotlims.vals[axis]) return "???";
  datetime dt;
  gr2t(pcm->plotlims.vals[axis], gr, &dt);
  return omt2str(&dt, 5);
}

bool twonums(const char* p, float* a, float* b) {
  p = nxtwrd(p);
  if (!p || !valprs(p, a)) return false;
  p = nxtwrd(p);
  return p && valprs(p, b);
}

// A world value on an axis: a date on a time axis (as a grid value), a
// number otherwise.  Returns the position of the word or null.
const char* worldval(const cmnstate* pcm, int axis, const char* p, float* v) {
  p = nxtwrd(p);
  if (!p) return nullptr;
  if (pcm->axisdims[axis] == 3) {
    if (!pcm->plotlims.vals[axis]) return nullptr;
    datetime dt;
    if (!adtprs(p, &pcm->tbeg, &dt)) return nullptr;
    *v = (float)t2gr(pcm->plotlims.vals[axis], &dt);
    return p;
  }
  return valprs(p, v) ? p : nullptr;
}

// "%s = <x>  %s = <y>\n" with a time text on a time axis.
void worldline(const cmnstate* pcm, float x, float y) {
  int dx = pcm->axisdims[0], dy = pcm->axisdims[1];
  if (dx == 3) {
    omprntf(2, "%s = %s  %s = %g\n", wname(dx), timeof(pcm, 0, x).c_str(), wname(dy), y);
  } else if (dy == 3) {
    omprntf(2, "%s = %g  %s = %s\n", wname(dx), x, wname(dy), timeof(pcm, 1, y).c_str());
  } else {
    omprntf(2, "%s = %g  %s = %g\n", wname(dx), x, wname(dy), y);
  }
}

int qw2(const char* p, cmnstate* pcm, bool page) {
  if (noscale(pcm)) return noscaling();
  float x, y;
  const char* q = worldval(pcm, 0, p, &x);
  if (q) q = worldval(pcm, 1, q, &y);
  if (!q) {
    omprntf(0, page ? "Query Error: Syntax is QUERY W2XY %s %s\n" : "Query Error: Syntax is QUERY W2GR %s %s\n",
            wname(pcm->axisdims[0]), wname(pcm->axisdims[1]));
    return 1;
  }
  if (page) {
    float px, py;
    gxconv(x, y, &px, &py, 2);
    omprntf(2, "X = %g  Y = %g\n", px, py);
  } else {
    omprntf(2, "%s = %g  %s = %g\n", gname(pcm->axisdims[0]), w2g(pcm, 0, x),
            gname(pcm->axisdims[1]), w2g(pcm, 1, y));
  }
  return 0;
}

int qgr2(const char* p, cmnstate* pcm, bool page) {
  if (noscale(pcm)) return noscaling();
  float i, j;
  if (!twonums(p, &i, &j)) {
    omprntf(0, page ? "Query Error: Syntax is QUERY GR2XY %s %s\n" : "Query Error: Syntax is QUERY GR2W %s %s\n",
            gname(pcm->axisdims[0]), gname(pcm->axisdims[1]));
    return 1;
  }
  float x = (float)g2w(pcm, 0, i), y = (float)g2w(pcm, 1, j);
  if (page) {
    float px, py;
    gxconv(x, y, &px, &py, 2);
    omprntf(2, "X = %g  Y = %g\n", px, py);
  } else {
    worldline(pcm, x, y);
  }
  return 0;
}

int qxy2(const char* p, cmnstate* pcm, bool grid) {
  float x, y;
  if (!twonums(p, &x, &y)) {
    omprnt(0, grid ? "Query Error: Syntax is QUERY XY2GR x y\n" : "QUERY error: Syntax is QUERY XY2W x y\n");
    return 1;
  }
  if (noscale(pcm)) return noscaling();
  float wx, wy;
  gxxy2w(x, y, &wx, &wy);
  if (grid) {
    omprntf(2, "%s = %g  %s = %g\n", gname(pcm->axisdims[0]), w2g(pcm, 0, wx),
            gname(pcm->axisdims[1]), w2g(pcm, 1, wy));
  } else {
    worldline(pcm, wx, wy);
  }
  return 0;
}

int qgxinfo(const cmnstate* pcm) {
  omprntf(2, "Last Graphic = %s\n", omgxnm(pcm->lastgraphic));
  omprntf(2, "Page Size = %g by %g\n", pcm->vpagew, pcm->vpageh);
  omprntf(2, "X Limits = %g to %g\n", pcm->plotxlo, pcm->plotxhi);
  omprntf(2, "Y Limits = %g to %g\n", pcm->plotylo, pcm->plotyhi);
  omprntf(2, "Xaxis = %s  Yaxis = %s\n", wname(pcm->axisdims[0]), wname(pcm->axisdims[1]));
  omprntf(2, "Mproj = %d\n", pcm->mproj);
  return 0;
}

int qxinfo(const cmnstate* pcm) {
  if (pcm->batch) {
    omprnt(2, "Batch Mode\n");
    return 0;
  }
  int r[16] = {0};
  if (win_data(r)) {
    omprntf(2, "Window ID = %d\n", r[0]);
    omprntf(2, "Window X = %d\n", r[1]);
    omprntf(2, "Window Y = %d\n", r[2]);
    omprntf(2, "Window Width = %d\n", r[3]);
    omprntf(2, "Window Height = %d\n", r[4]);
    omprntf(2, "Window Border = %d\n", r[5]);
  } else {
    omprnt(2, "Error\n");
  }
  return 0;
}

int qshades(const cmnstate* pcm) {
  int n = pcm->shadecount;
  if (n < 1) {
    omprnt(2, "None\n");
    return 0;
  }
  if (n > 120) n = 120;
  omprntf(2, "Number of levels = %i\n", n);
  for (int i = 0; i < n; i++) {
    if (i == 0) omprntf(2, "%i < %g\n", pcm->shadecols[0], pcm->shadelevs[1]);
    else if (i == n - 1) omprntf(2, "%i %g >\n", pcm->shadecols[i], pcm->shadelevs[i]);
    else omprntf(2, "%i %g %g\n", pcm->shadecols[i], pcm->shadelevs[i], pcm->shadelevs[i + 1]);
  }
  return 0;
}

int qstring(const char* p, const char* com, const char* typed, const cmnstate* pcm) {
  const char* q = nxtwrd(p);
  if (!q) {
    omprnt(0, "Query String Error: Missing String\n");
    return 0;
  }
  std::string s = typed + (q - com);
  size_t nl = s.find('\n');
  if (nl != std::string::npos) s.resize(nl);
  float w = 0;
  gxchln(s.c_str(), (int)s.size(), pcm->strhsiz, &w);
  omprntf(2, "String Width = %g\n", w);
  return 0;
}

int qdialog(const char* p, const char* com, const char* typed, const cmnstate* pcm) {
  const char* syn1 = "QUERY error: Syntax is QUERY DIALOG x y w h ";
  const char* q = nxtwrd(p);
  if (!q) {
    omprnt(0, syn1);
    omprnt(0, "string\n");
    return 1;
  }
  dlgrec d;
  float v[4];
  if (valprs(q, &v[0])) {
    for (int i = 1; i < 4; i++) {
      q = nxtwrd(q);
      if (!q || !valprs(q, &v[i])) {
        omprnt(0, syn1);
        omprnt(0, "string\n");
        return 1;
      }
    }
    q = nxtwrd(q);
    if (!q) {
      omprnt(0, syn1);
      omprnt(0, "string\n");
      return 1;
    }
    d.x = v[0];
    d.y = v[1];
    d.w = v[2];
    d.h = v[3];
  }
  if (pcm->batch) {
    omprnt(0, "QUERY DIALOG error:  no display window in batch mode\n");
    return 1;
  }
  // The text ends before the newline that a line read without the line
  // editor keeps; the dialog would show it and hand it back.
  std::string text = typed + (q - com);
  text.resize(std::strcspn(text.c_str(), "\n"));
  d.ch = static_cast<char*>(malloc(text.size() + 1));
  if (!d.ch) {
    omprnt(0, "Memory allocation error; QUERY DIALOG cmd\n");
    return 1;
  }
  memcpy(d.ch, text.c_str(), text.size() + 1);
  d.len = (int)text.size();
  // The settings keep foreground, background, outline, prompt; the dialog
  // takes prompt, text, face, border.
  d.pc = pcm->dlgcolors[3];
  d.fc = pcm->dlgcolors[0];
  d.bc = pcm->dlgcolors[1];
  d.oc = pcm->dlgcolors[2];
  d.th = pcm->dlgthick;
  d.nu = pcm->dlgnumeric;
  std::string line = gxdlg(&d);
  if (!line.empty()) omprnt(2, line);
  return 0;
}

int qpos(const char* p) {
  const char* q = nxtwrd(p);
  int wait = q && cmpwrd("nowait", q) ? 0 : 1;
  float x, y, rinfo[4] = {0, 0, 0, 0};
  int button, kind, info[10] = {0};
  gxdbtn(wait, &x, &y, &button, &kind, info, rinfo);
  // Ended by an interrupt: the terminal has echoed ^C where the output
  // stands, and the answer starts on a line of its own.
  if (wait && gcmn.sigflg) {
    std::printf("\n");
    omoutflush();
  }
  if (kind <= 0) omprntf(2, "Position = %g %g %i %i\n", x, y, button, kind);
  else if (kind == 1) omprntf(2, "Position = %g %g %i %i %i %i\n", x, y, button, kind, info[0], info[1]);
  else if (kind == 2)
    omprntf(2, "Position = %g %g %i %i %i %g %g\n", x, y, button, kind, info[0], rinfo[0], rinfo[1]);
  else
    omprntf(2, "Position = %g %g %i %i %i %i %i %i %i %i %i %i\n", x, y, button, kind, info[0], info[1],
            info[2], info[3], info[4], info[5], info[6], info[7]);
  return 0;
}

int qpp2xy(const char* p) {
  float x, y;
  if (!twonums(p, &x, &y)) {
    omprnt(0, "Query Error: Syntax is QUERY PP2XY ppx ppy\n");
    return 1;
  }
  float vx, vy;
  gxppvp(x, y, &vx, &vy);
  omprntf(2, "X = %g  Y = %g\n", vx, vy);
  return 0;
}

int qll2xy(const char* p) {
  float x, y;
  if (!twonums(p, &x, &y)) {
    omprnt(0, "QUERY error: Syntax is QUERY LL2XY lon lat\n");
    return 1;
  }
  float px, py;
  gxconv(x, y, &px, &py, 2);
  omprntf(2, "%g %g\n", px, py);
  return 0;
}

// The handlers as the keyword table calls them: p at the keyword, the
// lower-cased line (com) and the line as typed.
typedef int (*gfxfn)(const char* p, const char* com, const char* typed, cmnstate* pcm);

int gkw2xy(const char* p, const char*, const char*, cmnstate* pcm) { return qw2(p, pcm, true); }
int gkw2gr(const char* p, const char*, const char*, cmnstate* pcm) { return qw2(p, pcm, false); }
int gkgr2w(const char* p, const char*, const char*, cmnstate* pcm) { return qgr2(p, pcm, false); }
int gkgr2xy(const char* p, const char*, const char*, cmnstate* pcm) { return qgr2(p, pcm, true); }
int gkxy2w(const char* p, const char*, const char*, cmnstate* pcm) { return qxy2(p, pcm, false); }
int gkxy2gr(const char* p, const char*, const char*, cmnstate* pcm) { return qxy2(p, pcm, true); }
int gkpp2xy(const char* p, const char*, const char*, cmnstate*) { return qpp2xy(p); }
int gkll2xy(const char* p, const char*, const char*, cmnstate*) { return qll2xy(p); }
int gkgxinfo(const char*, const char*, const char*, cmnstate* pcm) { return qgxinfo(pcm); }
int gkxinfo(const char*, const char*, const char*, cmnstate* pcm) { return qxinfo(pcm); }
int gkshades(const char*, const char*, const char*, cmnstate* pcm) { return qshades(pcm); }
int gkstring(const char* p, const char* com, const char* typed, cmnstate* pcm) {
  return qstring(p, com, typed, pcm);
}
int gkdialog(const char* p, const char* com, const char* typed, cmnstate* pcm) {
  return qdialog(p, com, typed, pcm);
}
int gkpos(const char* p, const char*, const char*, cmnstate*) { return qpos(p); }

// One graphics query keyword, its other spelling (or null) and its handler.
struct gfxkey {
  const char* word;
  const char* alias;
  gfxfn run;
};

// The keywords of coordinates, the graphics state and widgets, in the
// order they are tried.
const gfxkey gfxkeys[] = {
    {"w2xy", nullptr, gkw2xy},     {"w2gr", nullptr, gkw2gr},     {"gr2w", nullptr, gkgr2w},
    {"gr2xy", nullptr, gkgr2xy},   {"xy2w", nullptr, gkxy2w},     {"xy2gr", nullptr, gkxy2gr},
    {"pp2xy", nullptr, gkpp2xy},   {"ll2xy", nullptr, gkll2xy},   {"gxinfo", nullptr, gkgxinfo},
    {"xinfo", nullptr, gkxinfo},   {"shades", nullptr, gkshades}, {"string", nullptr, gkstring},
    {"dialog", nullptr, gkdialog}, {"pos", "bpos", gkpos},
};

}  // namespace

int omqgfx(const char* p, const char* com, const char* typed, cmnstate* pcm, int* rc) {
  for (const gfxkey& k : gfxkeys) {
    if (cmpwrd(p, k.word) || (k.alias && cmpwrd(p, k.alias))) {
      *rc = k.run(p, com, typed, pcm);
      return 1;
    }
  }
  return 0;
}
