// set keywords that shape the frame of a plot: axis label intervals,
// positions, texts and options, fixed axis ranges, axis reversal and log
// scaling, time-label suppression, and the map projection, bounds, data
// sets and line attributes.
#include <algorithm>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "cmd/omset.h"

namespace {

int setswitch(const setcall& c, int* field) {
  const char* p = nxtwrd(c.word);
  int v;
  if (!p || !setonoff(p, &v)) return setmiss(c);
  *field = v;
  return 0;
}

int setint(const setcall& c, float* field, const char* echo) {
  const char* p = nxtwrd(c.word);
  float v;
  if (!p || !valprs(p, &v)) return setmiss(c);
  *field = v;
  omprntf(2, echo, v);
  return 0;
}

// A list of up to max-1 reals into vals and its count into *count, both
// only when the whole list was read: a refused list leaves the old one
// whole, rather than its count over values of the new one.
int setlist(const setcall& c, float* vals, int max, int* count) {
  std::vector<float> got;
  for (const char* p = nxtwrd(c.word); p; p = nxtwrd(p)) {
    float v;
    if (static_cast<int>(got.size()) >= max - 1 || !valprs(p, &v)) return setmiss(c);
    got.push_back(v);
  }
  std::copy(got.begin(), got.end(), vals);
  *count = static_cast<int>(got.size());
  return 0;
}

int setmproj(const setcall& c) {
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  static const struct { const char* w; int v; } words[] = {
      {"off", 0},      {"scaled", 1},  {"latlon", 2},       {"nps", 3},
      {"sps", 4},      {"robinson", 5}, {"mollweide", 6},  {"orthogr", 7},
      {"orthographic", 7}, {"ortho", 7}, {"lambert", 13}};
  for (const auto& w : words) {
    if (cmpwrd(w.w, p)) {
      c.pcm->mproj = w.v;
      return 0;
    }
  }
  return setmiss(c);
}

int settlsupp(const setcall& c) {
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  if (cmpwrd("yr", p) || cmpwrd("year", p)) c.pcm->tlsupp = 1;
  else if (cmpwrd("mo", p) || cmpwrd("month", p)) c.pcm->tlsupp = 2;
  return 0;
}

int setlabs(const setcall& c, std::vector<std::string>* labs, int* count) {
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  if (cmpwrd("off", p)) {
    labs->clear();
    *count = 0;
    return 0;
  }
  std::string text = setmixed(c, p);
  size_t nl = text.find('\n');
  if (nl != std::string::npos) text.resize(nl);
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t bar = text.find('|', start);
    out.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  *count = (int)out.size();
  labs->swap(out);
  return 0;
}

int setlopts(const setcall& c, int* col, int* thk, float* siz, const char* name) {
  const char* p = nxtwrd(c.word);
  int ncol, nthk = *thk;
  float nsiz = *siz;
  if (!p || !intprs(p, &ncol)) return setmiss(c);
  p = nxtwrd(p);
  bool bad = false;
  if (p) {
    if (!intprs(p, &nthk)) bad = true;
    p = bad ? nullptr : nxtwrd(p);
    if (p && !valprs(p, &nsiz)) bad = true;
  }
  if (bad) {
    omprnt(0, "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error");
    omprnt(0, "  Syntax is: SET XLOPTS color thickness size");
    return 1;
  }
  *col = ncol;
  *thk = nthk;
  *siz = nsiz;
  omprntf(2, "SET %s values:  Color = %i Thickness = %i", name, ncol, nthk);
  omprntf(2, " Size = %g\n", nsiz);
  return 0;
}

int setlpos(const setcall& c, bool x) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  float off;
  if (!valprs(p, &off)) {
    omprnt(0, "SET XLPOS(YLPOS) Syntax Error");
    omprnt(0, "  Syntax is: SET XLPOS offset side\n");
    return 1;
  }
  int* side = x ? &pcm->xlside : &pcm->ylside;
  if (x) {
    pcm->xlpos = off;
  } else {
    pcm->ylpos = off;
    pcm->ylposset = 1;
  }
  p = nxtwrd(p);
  if (p) {
    if (x && (cmpwrd("b", p) || cmpwrd("bottom", p))) *side = 0;
    else if (x && (cmpwrd("t", p) || cmpwrd("top", p))) *side = 1;
    else if (!x && (cmpwrd("r", p) || cmpwrd("right", p))) *side = 1;
    else if (!x && (cmpwrd("l", p) || cmpwrd("left", p))) *side = 0;
  }
  if (x) {
    omprntf(2, "SET XLPOS values:  Offset = %g  Side = ", off);
    omprnt(2, *side ? "Top\n" : "Bottom\n");
  } else {
    omprntf(2, "SET YLPOS values:  Offset = %g  Side = ", off);
    omprnt(2, *side ? "Right\n" : "Left\n");
  }
  return 0;
}

int setaxis(const setcall& c, bool x) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  float lo, hi, inc;
  if (!p || !valprs(p, &lo)) return setmiss(c);
  p = nxtwrd(p);
  if (!p || !valprs(p, &hi)) return setmiss(c);
  float* ax = x ? pcm->xaxis : pcm->yaxis;
  float* axinc = x ? &pcm->xaxisinc : &pcm->yaxisinc;
  ax[0] = lo;
  ax[1] = hi;
  *axinc = 0;
  (x ? pcm->xaxisset : pcm->yaxisset) = 1;
  p = nxtwrd(p);
  if (p) {
    if (valprs(p, &inc)) *axinc = inc;
    else if (!x) return setmiss(c);
  }
  omprntf(2, x ? "xaxis labels range %g %g incr %g \n" : "yaxis labels range %g %g incr %g \n",
          lo, hi, *axinc);
  return 0;
}

int setvrange(const setcall& c, bool scatter) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  float* vr = scatter ? pcm->vrange2 : pcm->vrange;
  int* flag = scatter ? &pcm->vrange2set : &pcm->vrangeset;
  if (!scatter && cmpwrd("auto", p)) {
    *flag = 0;
    return 0;
  }
  float lo, hi;
  if (!valprs(p, &lo)) return setmiss(c);
  vr[0] = lo;
  *flag = 0;
  p = nxtwrd(p);
  if (!p || !valprs(p, &hi)) return setmiss(c);
  vr[1] = hi;
  *flag = -1;
  omprntf(2, scatter ? "Scatter Y axis limits set: %g to %g \n" : "1-D axis limits set: %g to %g \n",
          lo, hi);
  return 0;
}

int setmpvals(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (p && cmpwrd("off", p)) {
    pcm->mpvalsset = 0;
    omprnt(2, "mpvals have been turned off\n");
    return 0;
  }
  if (setlist(c, pcm->mpvals, 10, &pcm->mpvalsset)) return 1;
  omprnt(2, "mpvals have been set\n");
  return 0;
}

int setlevs(const setcall& c, float* levs, int* count, const char* echo) {
  if (setlist(c, levs, 50, count)) return 1;
  omprntf(2, echo, *count);
  return 0;
}

int setmpdset(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  for (auto& s : pcm->mpdset) s.clear();
  for (int i = 0; i < 8 && p; i++) {
    pcm->mpdset[i] = wrdstr(p);
    omprnt(2, "MPDSET file name = " + pcm->mpdset[i] + "\n");
    p = nxtwrd(p);
  }
  return 0;
}

int setmap(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (p && cmpwrd("auto", p)) {
    pcm->mapcolor = -9;
    omprnt(2, "SET MAP values:  auto\n");
    return 0;
  }
  int col;
  if (!p || !intprs(p, &col)) return setmiss(c);
  pcm->mapcolor = col;
  p = nxtwrd(p);
  if (p) {
    int v;
    if (!intprs(p, &v)) {
      omprnt(0, "SET MAP Error: Invalid linestyle value\n");
      p = nullptr;
    } else {
      pcm->mapstyle = v;
      p = nxtwrd(p);
      if (p) {
        if (!intprs(p, &v)) omprnt(0, "SET MAP Error: Invalid thickness value\n");
        else pcm->mapthick = v;
      }
    }
  }
  if (pcm->mapcolor < 0) {
    omprnt(2, "SET MAP values:  auto\n");
  } else {
    omprntf(2, "SET MAP values:  color = %i  style = %i", pcm->mapcolor, pcm->mapstyle);
    omprntf(2, "  thickness = %i\n", pcm->mapthick);
  }
  return 0;
}

int setmpt(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  int t0, t1;
  if (*p == '*') {
    t0 = 0;
    t1 = 255;
  } else {
    int t;
    if (!intprs(p, &t)) return setmiss(c);
    t = t < 0 ? 0 : (t > 255 ? 255 : t);
    t0 = t1 = t;
  }
  p = nxtwrd(p);
  if (!p) return setmiss(c);
  int col, stl = -1, thk = -1;
  if (cmpwrd("off", p)) {
    col = -9;
  } else {
    if (!intprs(p, &col)) return setmiss(c);
    if (col < -1) col = -1;
    p = nxtwrd(p);
    if (p) {
      if (!intprs(p, &stl)) return setmiss(c);
      if (stl < 1) stl = 1;
      p = nxtwrd(p);
      if (p) {
        if (!intprs(p, &thk)) return setmiss(c);
        if (thk < 1) thk = 1;
      }
    }
  }
  for (int t = t0; t <= t1; t++) {
    pcm->mptcolor[t] = col;
    if (stl >= 0) pcm->mptstyle[t] = stl;
    if (thk >= 0) pcm->mptthick[t] = thk;
  }
  return 0;
}

int setpoli(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  int v;
  if (!p || !setonoff(p, &v)) return setmiss(c);
  for (int t = 1; t <= 2; t++) {
    if (v && pcm->mptcolor[t] == -9) pcm->mptcolor[t] = -1;
    if (!v) pcm->mptcolor[t] = -9;
  }
  return 0;
}

}  // namespace

int omsetax(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* w = c.word;
  if (cmpwrd("xlint", w)) return setint(c, &pcm->xlint, "xlint = %g \n");
  if (cmpwrd("ylint", w)) return setint(c, &pcm->ylint, "ylint = %g \n");
  if (cmpwrd("xyrev", w)) return setswitch(c, &pcm->xyrev);
  if (cmpwrd("xflip", w)) return setswitch(c, &pcm->xflip);
  if (cmpwrd("yflip", w)) return setswitch(c, &pcm->yflip);
  if (cmpwrd("zlog", w)) return setswitch(c, &pcm->zlog);
  if (cmpwrd("mpdraw", w)) return setswitch(c, &pcm->mpdraw);
  if (cmpwrd("mproj", w)) return setmproj(c);
  if (cmpwrd("tlsupp", w)) return settlsupp(c);
  if (cmpwrd("xlevs", w)) return setlevs(c, pcm->xlevs, &pcm->xlevcount, "Number of xlevs = %i \n");
  if (cmpwrd("ylevs", w)) return setlevs(c, pcm->ylevs, &pcm->ylevcount, "Number of ylevs = %i \n");
  if (cmpwrd("xlabs", w)) return setlabs(c, &pcm->xlabs, &pcm->xlabcount);
  if (cmpwrd("ylabs", w)) return setlabs(c, &pcm->ylabs, &pcm->ylabcount);
  if (cmpwrd("xlopts", w)) return setlopts(c, &pcm->xlcolor, &pcm->xlthick, &pcm->xlsize, "XLOPTS");
  if (cmpwrd("ylopts", w)) return setlopts(c, &pcm->ylcolor, &pcm->ylthick, &pcm->ylsize, "YLOPTS");
  if (cmpwrd("xlpos", w)) return setlpos(c, true);
  if (cmpwrd("ylpos", w)) return setlpos(c, false);
  if (cmpwrd("xaxis", w)) return setaxis(c, true);
  if (cmpwrd("yaxis", w)) return setaxis(c, false);
  if (cmpwrd("axlim", w) || cmpwrd("vrange", w)) return setvrange(c, false);
  if (cmpwrd("vrange2", w)) return setvrange(c, true);
  if (cmpwrd("mpvals", w)) return setmpvals(c);
  if (cmpwrd("mpdset", w)) return setmpdset(c);
  if (cmpwrd("map", w)) return setmap(c);
  if (cmpwrd("mpt", w)) return setmpt(c);
  if (cmpwrd("poli", w)) return setpoli(c);
  return setmiss(c);
}
