// set gxout and the contour, shading and value-listing settings.
#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "cmd/omset.h"
#include "gx/gx.h"
#include "plot/dataout.h"

namespace {

int missing(const char* name) {
  omprntf(0, "SET error:  Missing or invalid arguments for %s option\n", name);
  return 1;
}

// A format the value printing could not apply safely: plain text and one
// floating conversion are all it takes.
int badformat(const char* name) {
  omprntf(0, "SET %s error:  the format may hold one floating conversion only\n", name);
  return 1;
}

// The typed text at the position of p in the lower-cased line.
const char* typedat(const char* kw, const char* typed, const char* p) { return typed + (p - kw); }


int setgxout(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  if (!p) return missing("GXOUT");
  // Each word writes only its own fields.
  struct entry {
    const char* w;
    int n;
    int cmnstate::*f[3];
    int v[3];
  };
  static const entry table[] = {
      {"contour", 1, {&cmnstate::gxout_2d}, {1}},
      {"shaded", 1, {&cmnstate::gxout_2d}, {2}},
      {"grid", 2, {&cmnstate::gxout_2d, &cmnstate::gxout_2dvec}, {3, 3}},
      {"vector", 3, {&cmnstate::gxout_2dvec, &cmnstate::gxout_stn, &cmnstate::gxout_1dvec}, {4, 6, 1}},
      {"scatter", 1, {&cmnstate::gxout_2dvec}, {5}},
      {"fgrid", 1, {&cmnstate::gxout_2d}, {6}},
      {"fwrite", 1, {&cmnstate::gxout_2d}, {7}},
      {"latsgrid", 1, {&cmnstate::gxout_2d}, {20}},
      {"latsdata", 1, {&cmnstate::gxout_2d}, {21}},
      {"stream", 1, {&cmnstate::gxout_2dvec}, {8}},
      {"grfill", 1, {&cmnstate::gxout_2d}, {10}},
      {"pgrid", 1, {&cmnstate::gxout_2d}, {11}},
      {"value", 1, {&cmnstate::gxout_stn}, {1}},
      {"barb", 3, {&cmnstate::gxout_stn, &cmnstate::gxout_2dvec, &cmnstate::gxout_1dvec}, {2, 9, 2}},
      {"findstn", 1, {&cmnstate::gxout_stn}, {3}},
      {"model", 1, {&cmnstate::gxout_stn}, {4}},
      {"wxsym", 1, {&cmnstate::gxout_stn}, {5}},
      {"stnmark", 1, {&cmnstate::gxout_stn}, {7}},
      {"line", 2, {&cmnstate::gxout_1d, &cmnstate::gxout_tser}, {1, 0}},
      {"bar", 1, {&cmnstate::gxout_1d}, {2}},
      {"errbar", 1, {&cmnstate::gxout_1d}, {3}},
      {"linefill", 1, {&cmnstate::gxout_1d}, {4}},
      {"stat", 1, {&cmnstate::gxout_kind}, {1}},
      {"print", 1, {&cmnstate::gxout_kind}, {2}},
      {"writegds", 1, {&cmnstate::gxout_kind}, {3}},
      {"tserwx", 1, {&cmnstate::gxout_tser}, {1}},
      {"tserbarb", 1, {&cmnstate::gxout_tser}, {2}},
  };
  pcm->gxout_kind = 0;
  for (const entry& e : table) {
    if (!cmpwrd(p, e.w)) continue;
    for (int i = 0; i < e.n; i++) pcm->*(e.f[i]) = e.v[i];
    return 0;
  }
  return missing("GXOUT");
}

// Reads a list of up to limit reals (or ints) into vals and its count into
// *count, both only when the whole list was read: a refused list leaves the
// old one whole, rather than its count over values of the new one.
template <typename T>
int readlist(const char* kw, T* vals, int limit, int* count, const char* name) {
  std::vector<T> got;
  for (const char* p = nxtwrd(kw); p; p = nxtwrd(p)) {
    if (static_cast<int>(got.size()) >= limit) return missing(name);
    T v;
    bool ok;
    if constexpr (std::is_same<T, float>::value) ok = valprs(p, &v) != nullptr;
    else ok = intprs(p, &v) != nullptr;
    if (!ok) return missing(name);
    got.push_back(v);
  }
  std::copy(got.begin(), got.end(), vals);
  *count = static_cast<int>(got.size());
  return -1;
}

int setclevs(const char* kw, cmnstate* pcm) {
  int count;
  if (readlist(kw, pcm->clevs, 98, &count, "CLEVS") == 1) return 1;
  pcm->clevcount = count;
  omprntf(2, "Number of clevs = %i \n", count);
  return 0;
}

int setccols(const char* kw, cmnstate* pcm) {
  int count;
  if (readlist(kw, pcm->ccols, 98, &count, "CCOLS") == 1) return 1;
  pcm->ccolcount = count;
  omprntf(2, "Number of ccols = %i\n", count);
  if (pcm->clevcount == 0) omprnt(2, "ccols won't take effect unless clevs are set.\n");
  return 0;
}

int setrbcols(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  int count = 0;
  if (p && !cmpwrd(p, "auto")) {
    if (readlist(kw, pcm->rbcols, 99, &count, "RBCOLS") == 1) return 1;
  }
  pcm->rbcolcount = count;
  if (count == 0) omprnt(2, "Rainbow colors set to auto\n");
  else omprntf(2, "Number of rainbow colors = %i\n", count);
  return 0;
}

// Value and colour pairs, stored only when every pair was read (as lists
// are, see readlist).
int setfgvals(const char* kw, cmnstate* pcm) {
  std::vector<int> vals, cols;
  const char* p = nxtwrd(kw);
  while (p) {
    int v, col;
    if (vals.size() >= 48) return missing("FGVALS");
    if (!intprs(p, &v)) return missing("FGVALS");
    p = nxtwrd(p);
    if (!p || !intprs(p, &col)) return missing("FGVALS");
    vals.push_back(v);
    cols.push_back(col);
    p = nxtwrd(p);
  }
  std::copy(vals.begin(), vals.end(), pcm->fgvals);
  std::copy(cols.begin(), cols.end(), pcm->fgcols);
  pcm->fgcount = static_cast<int>(vals.size());
  omprnt(2, "fgvals set\n");
  return 0;
}

int setreal(const char* kw, float* field, const char* name, const char* echo) {
  const char* p = nxtwrd(kw);
  float v;
  if (!p || !valprs(p, &v)) return missing(name);
  *field = v;
  omprntf(2, echo, v);
  return 0;
}

int setint(const char* kw, int* field, const char* name, const char* echo) {
  const char* p = nxtwrd(kw);
  int v;
  if (!p || !intprs(p, &v)) return missing(name);
  *field = v;
  if (echo) omprntf(2, echo, v);
  return 0;
}

int setcint(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  float v;
  if (!p || !valprs(p, &v)) return missing("CINT");
  if (v < 0) {
    // A negative interval would never reach the top level; take automatic.
    omprntf(1, "SET CINT Warning:  negative interval %g; using automatic interval\n", v);
    v = 0;
  }
  pcm->cint = v;
  omprntf(2, "cint = %g \n", v);
  return 0;
}

int setcstyle(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  int v;
  if (!p || !intprs(p, &v)) return missing("CSTYLE");
  pcm->cstyle = v;
  if (v == 0) omprnt(2, "WARNING cstyle = 0 ; no lines will be plotted; I suggest 1 ...\n");
  else omprntf(2, "cstyle = %i \n", v);
  return 0;
}

int setccolor(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  if (!p) return missing("CCOLOR");
  if (cmpwrd(p, "rainbow")) {
    pcm->ccolor = -1;
    omprnt(2, "ccolor = rainbow \n");
    return 0;
  }
  if (cmpwrd(p, "revrain")) {
    pcm->ccolor = -2;
    omprnt(2, "ccolor = reverse rainbow \n");
    return 0;
  }
  int v;
  if (!intprs(p, &v)) return missing("CCOLOR");
  pcm->ccolor = v;
  omprntf(2, "ccolor = %i \n", v);
  return 0;
}

// on/off style switches: words[i] gives values[i].
int setswitch(const char* kw, int* field, const char* name, const char* const* words,
              const int* values, int n) {
  const char* p = nxtwrd(kw);
  if (!p) return missing(name);
  for (int i = 0; i < n; i++) {
    if (cmpwrd(p, words[i])) {
      *field = values[i];
      return 0;
    }
  }
  return missing(name);
}

int setrbrange(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  float lo, hi;
  if (!p || !valprs(p, &lo)) return missing("RBRANGE");
  p = nxtwrd(p);
  if (!p || !valprs(p, &hi) || !(lo < hi)) return missing("RBRANGE");
  pcm->rbrange[0] = lo;
  pcm->rbrange[1] = hi;
  return 0;
}

int setblack(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  if (!p) return missing("BLACK");
  if (cmpwrd(p, "off")) {
    pcm->black = 0;
    return 0;
  }
  if (!valprs(p, &pcm->blackrange[0])) return missing("BLACK");
  p = nxtwrd(p);
  if (!p || !valprs(p, &pcm->blackrange[1])) return missing("BLACK");
  pcm->black = 1;
  return 0;
}

int setclskip(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  int n;
  if (!p || !intprs(p, &n) || n < 1) return missing("CLSKIP");
  p = nxtwrd(p);
  if (p) {
    float d;
    if (!valprs(p, &d)) return missing("CLSKIP");
    gxclmn(d);
  }
  pcm->clskip = n;
  return 0;
}

int setclopts(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  int col, thk = pcm->clthick;
  float siz = pcm->clsize;
  if (!p || !intprs(p, &col)) return missing("CLOPTS");
  p = nxtwrd(p);
  bool bad = false;
  if (p) {
    if (!intprs(p, &thk)) bad = true;
    p = bad ? nullptr : nxtwrd(p);
    if (p && !valprs(p, &siz)) bad = true;
  }
  if (bad) {
    omprnt(0, "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error");
    omprnt(0, "  Syntax is: SET XLOPTS color thickness size");
    return 1;
  }
  pcm->clcolor = col;
  pcm->clthick = thk;
  pcm->clsize = siz;
  omprntf(2, "SET CLOPTS values:  Color = %i Thickness = %i", col, thk);
  omprntf(2, " Size = %g\n", siz);
  return 0;
}

// set clab / xlab / ylab: a mode word, or a label format.
int setlab(const char* kw, const char* typed, int* mode, std::string* fmt, const char* name) {
  const char* p = nxtwrd(kw);
  if (!p) return missing(name);
  if (cmpwrd(p, "on")) *mode = 1;
  else if (cmpwrd(p, "off")) *mode = 0;
  else if (cmpwrd(p, "forced")) *mode = 2;
  else if (cmpwrd(p, "auto")) fmt->clear();
  else {
    std::string text = typedat(kw, typed, p);
    size_t nl = text.find('\n');
    if (nl != std::string::npos) text.resize(nl);
    if (!omfmtok(text.c_str())) return badformat(name);
    *fmt = text;
    omprnt(2, "Substitution string is: " + text + "\n");
  }
  return 0;
}

// The most blanks set prnopts appends after a printed value.
const int kMaxPrnBlanks = 1000;

int setprnopts(const char* kw, const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  if (!p) return missing("PRNOPTS");
  std::string fmt = wrdstr(typedat(kw, typed, p));
  if (!omfmtok(fmt.c_str())) return badformat("PRNOPTS");
  pcm->prnfmt = fmt;
  p = nxtwrd(p);
  if (!p) return 0;
  if (!intprs(p, &pcm->prnnum)) return missing("PRNOPTS");
  p = nxtwrd(p);
  if (!p) return 0;
  // Each printed value is followed by this many blanks: an absurd count
  // would build lines of gigabytes from a small grid.
  int blanks;
  if (!intprs(p, &blanks)) return missing("PRNOPTS");
  if (blanks > kMaxPrnBlanks) {
    omprntf(0, "SET PRNOPTS error:  blanks must be at most %i\n", kMaxPrnBlanks);
    return 1;
  }
  pcm->prnblank = blanks;
  p = nxtwrd(p);
  if (!p) return 0;
  pcm->prnflag = *p == 'u' ? 1 : 0;
  return 0;
}

const char* const ONOFF[] = {"on", "off"};
const int ONOFFV[] = {1, 0};

int setgx(const char* kw, const char* typed, cmnstate* pcm) {
  if (cmpwrd(kw, "gxout")) return setgxout(kw, pcm);
  if (cmpwrd(kw, "clevs")) return setclevs(kw, pcm);
  if (cmpwrd(kw, "ccols")) return setccols(kw, pcm);
  if (cmpwrd(kw, "rbcols")) return setrbcols(kw, pcm);
  if (cmpwrd(kw, "fgvals")) return setfgvals(kw, pcm);
  if (cmpwrd(kw, "cint")) return setcint(kw, pcm);
  if (cmpwrd(kw, "cmin")) return setreal(kw, &pcm->cmin, "CMIN", "cmin = %g \n");
  if (cmpwrd(kw, "cmax")) return setreal(kw, &pcm->cmax, "CMAX", "cmax = %g \n");
  if (cmpwrd(kw, "cmark")) return setint(kw, &pcm->cmark, "CMARK", "cmark = %i \n");
  if (cmpwrd(kw, "cthick")) return setint(kw, &pcm->cthick, "CTHICK", "cthick = %i \n");
  if (cmpwrd(kw, "cstyle")) return setcstyle(kw, pcm);
  if (cmpwrd(kw, "ccolor")) return setccolor(kw, pcm);
  if (cmpwrd(kw, "csmooth")) {
    static const char* const w[] = {"on", "off", "linear"};
    static const int v[] = {1, 0, 2};
    return setswitch(kw, &pcm->csmooth, "CSMOOTH", w, v, 3);
  }
  if (cmpwrd(kw, "cterp")) return setswitch(kw, &pcm->cterp, "CTERP", ONOFF, ONOFFV, 2);
  if (cmpwrd(kw, "missconn")) return setswitch(kw, &pcm->missconn, "MISSCONN", ONOFF, ONOFFV, 2);
  if (cmpwrd(kw, "stat")) {
    static const char* const w[] = {"off", "on"};
    static const int v[] = {0, 1};
    return setswitch(kw, &pcm->stat, "STAT", w, v, 2);
  }
  if (cmpwrd(kw, "rbrange")) return setrbrange(kw, pcm);
  if (cmpwrd(kw, "black")) return setblack(kw, pcm);
  if (cmpwrd(kw, "clskip")) return setclskip(kw, pcm);
  if (cmpwrd(kw, "clopts")) return setclopts(kw, pcm);
  if (cmpwrd(kw, "clab")) return setlab(kw, typed, &pcm->clab, &pcm->clabfmt, "CLAB");
  if (cmpwrd(kw, "xlab")) return setlab(kw, typed, &pcm->xlab, &pcm->xlabfmt, "XLAB");
  if (cmpwrd(kw, "ylab")) return setlab(kw, typed, &pcm->ylab, &pcm->ylabfmt, "YLAB");
  if (cmpwrd(kw, "prnopts")) return setprnopts(kw, typed, pcm);
  return -2;
}

}  // namespace

int omsetgx(const setcall& c) {
  int rc = setgx(c.word, setmixed(c, c.word), c.pcm);
  return rc == -2 ? setmiss(c) : rc;
}
