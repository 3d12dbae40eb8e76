// The set command: its frame (the ordered keyword table and the common
// messages) and the keywords of the data side: the dimension environment
// (x, y, z, t, lon, lat, lev, time), the default file, loops, warnings and
// station ids.
#include <cmath>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/words.h"
#include "cmd/omcmds.h"
#include "cmd/omset.h"
#include "data/datafile.h"
#include "data/datetime.h"

// Drawing attributes, page and widgets (set_draw.cpp).

namespace {

typedef int (*setgrp)(const setcall&);

struct setkw {
  const char* word;
  const char* name;  // name in messages
  setgrp fn;
};

// Every keyword, in the order in which they are tried.
const setkw kwds[] = {
    {"defval", "DEFVAL", omsetdefv},   {"hempref", "HEMPREF", omsetdrw},
    {"gridln", "GRIDLN", omsetdrw},    {"tlsupp", "TLSUPP", omsetax},
    {"baropts", "BAROPTS", omsetdrw},  {"barbase", "BARBASE", omsetdrw},
    {"mdlopts", "MDLOPTS", omsetdrw},  {"bargap", "BARGAP", omsetdrw},
    {"font", "FONT", omsetdrw},        {"clip", "CLIP", omsetdrw},
    {"vpage", "VPAGE", omsetdrw},      {"mpt", "MPT", omsetax},
    {"rgb", "RGB", omsetdrw},          {"stat", "STAT", omsetgx},
    {"arrlab", "ARRLAB", omsetdrw},    {"parea", "PAREA", omsetdrw},
    {"arrowhead", "ARROWHEAD", omsetdrw}, {"cint", "CINT", omsetgx},
    {"xlint", "XLINT", omsetax},       {"ylint", "YLINT", omsetax},
    {"xsize", "XSIZE", omsetdrw},      {"mpvals", "MPVALS", omsetax},
    {"fgvals", "FGVALS", omsetgx},     {"clevs", "CLEVS", omsetgx},
    {"xlevs", "XLEVS", omsetax},       {"ylevs", "YLEVS", omsetax},
    {"rbcols", "RBCOLS", omsetgx},     {"dropmenu", "DROPMENU", omsetdrw},
    {"ccols", "CCOLS", omsetgx},       {"cmin", "CMIN", omsetgx},
    {"cmax", "CMAX", omsetgx},         {"cmark", "CMARK", omsetgx},
    {"mproj", "MPROJ", omsetax},       {"xyrev", "XYREV", omsetax},
    {"xflip", "XFLIP", omsetax},       {"yflip", "YFLIP", omsetax},
    {"writegds", "WRITEGDS", omsetout}, {"fwrite", "FWRITE", omsetout},
    {"imprun", "IMPRUN", omsetout},    {"zlog", "ZLOG", omsetax},
    {"missconn", "MISSCONN", omsetgx}, {"mpdraw", "MPDRAW", omsetax},
    {"dbuff", "DBUFF", omsetdrw},      {"poli", "POLI", omsetax},
    {"mpdset", "MPDSET", omsetax},     {"rbrange", "RBRANGE", omsetgx},
    {"black", "BLACK", omsetgx},       {"display", "DISPLAY", omsetdrw},
    {"gxout", "GXOUT", omsetgx},       {"arrscl", "ARRSCL", omsetdrw},
    {"xlabs", "XLABS", omsetax},       {"ylabs", "YLABS", omsetax},
    {"clab", "CLAB", omsetgx},         {"xlab", "XLAB", omsetgx},
    {"ylab", "YLAB", omsetgx},         {"prnopts", "PRNOPTS", omsetgx},
    {"frame", "FRAME", omsetdrw},      {"grid", "GRID", omsetdrw},
    {"clskip", "CLSKIP", omsetgx},     {"clopts", "CLOPTS", omsetgx},
    {"wxopt", "WXOPT", omsetdrw},      {"wxcols", "WXCOLS", omsetdrw},
    {"lfcols", "LFCOLS", omsetdrw},    {"rband", "RBAND", omsetdrw},
    {"button", "BUTTON", omsetdrw},    {"dialog", "DIALOG", omsetdrw},
    {"xlpos", "XLPOS", omsetax},       {"ylpos", "YLPOS", omsetax},
    {"xlopts", "XLOPTS", omsetax},     {"ylopts", "YLOPTS", omsetax},
    {"annot", "ANNOT", omsetdrw},      {"line", "LINE", omsetdrw},
    {"map", "MAP", omsetax},           {"string", "STRING", omsetdrw},
    {"strsiz", "STRSIZ", omsetdrw},    {"xaxis", "XAXIS", omsetax},
    {"yaxis", "YAXIS", omsetax},       {"misswarn", "MISSWARN", omsetdat},
    {"dfile", "DFILE", omsetdat},      {"background", "BACKGROUND", omsetdrw},
    {"cthick", "CTHICK", omsetgx},     {"cstyle", "CSTYLE", omsetgx},
    {"digsiz", "DIGSIZ", omsetdrw},    {"digsize", "DIGSIZ", omsetdrw},
    {"dignum", "DIGNUM", omsetdrw},    {"axlim", "VRANGE", omsetax},
    {"vrange", "VRANGE", omsetax},     {"vrange2", "VRANGE2", omsetax},
    {"strmden", "STRMDEN", omsetdrw},  {"ccolor", "CCOLOR", omsetgx},
    {"stid", "STID", omsetdat},        {"csmooth", "CSMOOTH", omsetgx},
    {"cterp", "CTERP", omsetgx},       {"loopdim", "LOOPDIM", omsetdat},
    {"loopincr", "LOOPINCR", omsetdat}, {"ombra", "OMBRA", omsetout},
    {"timelab", "TIMELAB", omsetout},  {"stnprint", "STNPRINT", omsetout},
    {"warn", "WARN", omsetdat},        {"looping", "LOOPING", omsetdat},
    {"x", "X", omsetdat},              {"y", "Y", omsetdat},
    {"z", "Z", omsetdat},              {"t", "T", omsetdat},
    {"lon", "LON", omsetdat},          {"lat", "LAT", omsetdat},
    {"lev", "LEV", omsetdat},          {"time", "TIME", omsetdat},
    {"datawarn", "DATAWARN", omsetdat}, {"fill", "FILL", omsetdrw},
    {"lats", "LATS", omsetout},
};

const char* const wnames[3] = {"LON", "LAT", "LEV"};

// The file of number n (1-based place in the file list), or null.
datafile* fileno_(cmnstate* pcm, int n) {
  if (n < 1) return nullptr;
  datafile* p = pcm->filehead;
  for (int i = 1; p && i < n; i++) p = p->pforw;
  return p;
}

void echotime(const cmnstate* pcm) {
  omprnt(2, "Time values set: ");
  omprntf(2, "%li:%li:%li:%li ", static_cast<long>(pcm->tbeg.yr), static_cast<long>(pcm->tbeg.mo),
          static_cast<long>(pcm->tbeg.dy), static_cast<long>(pcm->tbeg.hr));
  omprntf(2, "%li:%li:%li:%li \n", static_cast<long>(pcm->tend.yr), static_cast<long>(pcm->tend.mo),
          static_cast<long>(pcm->tend.dy), static_cast<long>(pcm->tend.hr));
}

// A coordinate of the environment: a number too large for a float
// (1e999) is refused rather than stored as infinity, and a word that is no
// number leaves *v unchanged.
bool coordval(const char* p, float* v) {
  float f;
  if (!valprs(p, &f) || !std::isfinite(f)) return false;
  *v = f;
  return true;
}

// A grid coordinate; "last" stands for the size along T when allowed.
bool gridval(const char* p, bool last, const datafile* pfi, float* v) {
  if (last && cmpwrd("last", p)) {
    *v = static_cast<float>(pfi->dnum[3]);
    return true;
  }
  return coordval(p, v);
}

// set x|y|z|t g1 [g2]
int setgrid(const setcall& c, int d) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  datafile* pfi = pcm->dfile;
  if (!pfi) return setnofile();
  float g1, g2;
  if (!gridval(p, d == 3, pfi, &g1)) return setmiss(c);
  g2 = g1;
  bool varying = false;
  if (const char* q = nxtwrd(p)) {
    if (!gridval(q, d == 3, pfi, &g2)) return setmiss(c);
    varying = g2 != g1;
  }
  pcm->vary[d] = varying ? 1 : 0;
  if (pfi->type == 1 && !varying) g1 = std::floor(g1 + 0.5f);
  if (d == 3) {
    if (!pfi->grvals[3]) {
      omprnt(0, "SET Error:  The default file has no time axis\n");
      return 1;
    }
    gr2t(pfi->grvals[3], g1, &pcm->tbeg);
    if (varying) gr2t(pfi->grvals[3], g2, &pcm->tend);
    else pcm->tend = pcm->tbeg;
    echotime(pcm);
    return 0;
  }
  if (pfi->type == 1 && pfi->gr2ab[d]) {
    pcm->wlo[d] = static_cast<float>(pfi->gr2ab[d](pfi->grvals[d], g1));
    pcm->whi[d] = varying ? static_cast<float>(pfi->gr2ab[d](pfi->grvals[d], g2)) : pcm->wlo[d];
  } else {
    pcm->wlo[d] = g1;
    pcm->whi[d] = varying ? g2 : g1;
  }
  omprntf(2, "%s set to %g %g \n", wnames[d], pcm->wlo[d], pcm->whi[d]);
  return 0;
}

// set lon|lat|lev w1 [w2]
int setworld(const setcall& c, int d) {
  cmnstate* pcm = c.pcm;
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  datafile* pfi = pcm->dfile;
  if (!pfi) return setnofile();
  if (!coordval(p, &pcm->wlo[d])) return setmiss(c);
  pcm->whi[d] = pcm->wlo[d];
  bool varying = false;
  if (const char* q = nxtwrd(p)) {
    if (!coordval(q, &pcm->whi[d])) return setmiss(c);
    varying = pcm->whi[d] != pcm->wlo[d];
  }
  pcm->vary[d] = varying ? 1 : 0;
  if (pfi->type == 1 && !varying && pfi->ab2gr[d] && pfi->gr2ab[d]) {
    double g = pfi->ab2gr[d](pfi->abvals[d], pcm->wlo[d]);
    g = std::floor(g + 0.5);
    pcm->wlo[d] = static_cast<float>(pfi->gr2ab[d](pfi->grvals[d], g));
    pcm->whi[d] = pcm->wlo[d];
  }
  omprntf(2, "%s set to %g %g \n", wnames[d], pcm->wlo[d], pcm->whi[d]);
  return 0;
}

// set time t1 [t2]
int settime(const setcall& c) {
  cmnstate* pcm = c.pcm;
  datafile* pfi = pcm->dfile;
  if (!pfi) return setnofile();
  const char* p = nxtwrd(c.word);
  if (!p) return setmiss(c);
  datetime def = pcm->tbeg;
  if (!adtprs(p, &def, &pcm->tbeg)) return setmiss(c);
  pcm->tend = pcm->tbeg;
  if (const char* q = nxtwrd(p)) {
    if (!adtprs(q, &def, &pcm->tend)) return setmiss(c);
    pcm->vary[3] = 1;
  } else {
    pcm->vary[3] = 0;
    if (pfi->grvals[3]) {
      double g = t2gr(pfi->grvals[3], &pcm->tbeg);
      g = std::floor(g + 0.5);
      gr2t(pfi->grvals[3], g, &pcm->tbeg);
      pcm->tend = pcm->tbeg;
    }
  }
  echotime(pcm);
  return 0;
}

int setdfile(const setcall& c) {
  cmnstate* pcm = c.pcm;
  if (!pcm->dfile) return setnofile();
  const char* p = nxtwrd(c.word);
  int n;
  if (!p || !intprs(p, &n)) return setmiss(c);
  datafile* pfi = fileno_(pcm, n);
  if (!pfi) {
    omprntf(0, "SET DFILE error:  file %i not open\n", n);
    return 1;
  }
  omprntf(2, "Default file set to: %s \n", replshownname(pfi->name).c_str());
  pcm->dfile = pfi;
  pcm->dfilenum = n;
  return 0;
}

int setmisswarn(const setcall& c) {
  const char* p = nxtwrd(c.word);
  int flag, n;
  if (!p || !setonoff(p, &flag)) return setmiss(c);
  const char* q = nxtwrd(p);
  if (!q || !intprs(q, &n)) return setmiss(c);
  datafile* pfi = fileno_(c.pcm, n);
  if (!pfi) {
    omprntf(0, "SET MISSWARN error:  file %i not open\n", n);
    return 1;
  }
  pfi->misswarn = flag;
  return 0;
}

int setswitch(const setcall& c, int* field) {
  const char* p = nxtwrd(c.word);
  int v;
  if (!p || !setonoff(p, &v)) return setmiss(c);
  *field = v;
  return 0;
}

}  // namespace

const char* setmixed(const setcall& c, const char* p) { return c.typed + (p - c.com); }

int setmiss(const setcall& c) {
  omprnt(0, "SET error:  Missing or invalid arguments ");
  omprntf(0, "for %s option\n", c.name);
  return 1;
}

int setnofile() {
  omprnt(0, "SET Error:  No files open yet\n");
  return 1;
}

bool setonoff(const char* p, int* val) {
  if (cmpwrd("on", p)) {
    *val = 1;
    return true;
  }
  if (cmpwrd("off", p)) {
    *val = 0;
    return true;
  }
  return false;
}

int omsetdat(const setcall& c) {
  cmnstate* pcm = c.pcm;
  const char* w = c.word;
  static const char* const grid[4] = {"x", "y", "z", "t"};
  for (int d = 0; d < 4; d++)
    if (cmpwrd(grid[d], w)) return setgrid(c, d);
  static const char* const world[3] = {"lon", "lat", "lev"};
  for (int d = 0; d < 3; d++)
    if (cmpwrd(world[d], w)) return setworld(c, d);
  if (cmpwrd("time", w)) return settime(c);
  if (cmpwrd("dfile", w)) return setdfile(c);
  if (cmpwrd("misswarn", w)) return setmisswarn(c);
  if (cmpwrd("loopdim", w)) {
    const char* p = nxtwrd(w);
    for (int d = 0; p && d < 4; d++) {
      if (cmpwrd(grid[d], p)) {
        pcm->loopdim = d;
        return 0;
      }
    }
    return setmiss(c);
  }
  if (cmpwrd("loopincr", w)) {
    const char* p = nxtwrd(w);
    float v;
    if (!p || !valprs(p, &v)) return setmiss(c);
    pcm->loopincr = v;
    omprntf(2, "loopincr = %g \n", pcm->loopincr);
    return 0;
  }
  if (cmpwrd("looping", w)) {
    const char* p = nxtwrd(w);
    int v;
    if (!p || !setonoff(p, &v)) return setmiss(c);
    pcm->looping = v;
    omprnt(2, v ? "Looping is on \n" : "Looping is off \n");
    return 0;
  }
  if (cmpwrd("warn", w)) return setswitch(c, &mfcmn.mfwarn);
  if (cmpwrd("datawarn", w)) return setswitch(c, &pcm->datawarn);
  if (cmpwrd("stid", w)) return setswitch(c, &pcm->stid);
  omprnt(0, "SET error:  keyword without a handler\n");
  return 1;
}

int omset(const char* com, const char* typed, cmnstate* pcm) {
  const char* w = nxtwrd(com);
  if (!w) {
    omprnt(0, "SET error:  missing operand\n");
    return 1;
  }
  for (const setkw& k : kwds) {
    if (cmpwrd(k.word, w)) {
      setcall c{com, typed, w, k.name, pcm};
      return k.fn(c);
    }
  }
  omprnt(0, "SET error: Invalid operand\n");
  omprnt(0, "  Operand = ");
  std::string rest(w);
  while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
  omprnt(0, rest);
  omprnt(0, "\n");
  return 1;
}
