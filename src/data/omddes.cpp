// The descriptor parser: reads a data set's descriptor file, record by
// record, into a data-file record, then checks that the description is
// complete and computes the layout of the data file.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/words.h"
#include "data/axisconv.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/fnmexp.h"
#include "data/layout.h"
#include "data/mapfile.h"
#include "data/pdef.h"
#include "data/textfile.h"

namespace {

// Longest row (x size, or station buffer word) a data set may have.
constexpr int64_t kMaxRow = int64_t(1) << 27;

// Outcome of one record: go on, fail after showing the record, or fail
// without it.
enum { R_OK = 0, R_BADREC = 1, R_FAIL = 2 };

struct ddesctx {
  datafile* pfi;
  FILE* descr = nullptr;
  FILE* mfile = nullptr;
  int mflag = 0;
  std::string rec;   // working line, lower case outside quotes
  std::string mrec;  // the same line as written
  bool found[7] = {false, false, false, false, false, false, false};
};

enum { F_XDEF, F_YDEF, F_ZDEF, F_TDEF, F_UNDEF, F_DSET, F_VARS };

void striplf(std::string& s) {
  if (!s.empty() && s.back() == '\r') s.pop_back();
}

// The typed-case text at the position of p in the lower-cased line.
const char* mixed(const ddesctx& c, const char* p) { return c.mrec.c_str() + (p - c.rec.c_str()); }

// Parses a non-negative or negative 64-bit integer; null when no digits.
const char* i64prs(const char* p, int64_t* val) {
  const char* s = p;
  bool neg = false;
  if (*p == '-' || *p == '+') {
    neg = *p == '-';
    p++;
  }
  if (!ascdigit(*p)) return nullptr;
  int64_t v = 0;
  while (ascdigit(*p)) {
    int d = *p - '0';
    if (v > (INT64_MAX - d) / 10) return nullptr;
    v = v * 10 + d;
    p++;
  }
  (void)s;
  *val = neg ? -v : v;
  return p;
}

void freeaxis(datafile* pfi, int d) {
  std::free(pfi->grvals[d]);
  pfi->grvals[d] = nullptr;
  pfi->abvals[d] = nullptr;
}

void putaxis(datafile* pfi, int d, const axisdef& ax) {
  freeaxis(pfi, d);
  pfi->grvals[d] = ax.gr2ab;
  pfi->abvals[d] = ax.ab2gr;
  pfi->gr2ab[d] = ax.gr2abfn;
  pfi->ab2gr[d] = ax.ab2grfn;
  pfi->linear[d] = ax.linear;
}

// A byte count word (p may be null): an unreadable one only warns and
// counts 0; a negative one is refused.  The count is divided by div.
int countwrd(const char* p, const char* invalid, int64_t* out, int64_t div) {
  int64_t v;
  if (!p || !i64prs(p, &v)) {
    omprnt(1, invalid);
    *out = 0;
    return R_OK;
  }
  if (v < 0) {
    omprnt(0, "Open Error:  Negative header or trailer length\n");
    return R_BADREC;
  }
  *out = v / div;
  return R_OK;
}

// A header byte count: fileheader, xyheader, theader.  The missing and
// unreadable cases only warn; a negative count is refused.
int hdrcount(ddesctx& c, const char* missing, const char* invalid, int64_t* out, int64_t div) {
  const char* p = nxtwrd(c.rec.c_str());
  if (!p) {
    omprnt(1, missing);
    return R_OK;
  }
  return countwrd(p, invalid, out, div);
}

// A trailer or header word count of a station file, in 4-byte words; a
// missing count is as unreadable.
int bytecount(ddesctx& c, const char* invalid, int64_t* out) {
  return countwrd(nxtwrd(c.rec.c_str()), invalid, out, 4);
}

int doopts(ddesctx& c) {
  datafile* pfi = c.pfi;
  const char* p = nxtwrd(c.rec.c_str());
  if (!p) {
    omprnt(1, "Description file warning: Missing options keyword\n");
    return R_OK;
  }
  for (; p; p = nxtwrd(p)) {
    if (cmpwrd("sequential", p)) pfi->seqflg = 1;
    else if (cmpwrd("yrev", p)) pfi->yrflg = 1;
    else if (cmpwrd("zrev", p)) pfi->zrflg = 1;
    else if (cmpwrd("template", p)) pfi->tmplat = 1;
    else if (cmpwrd("byteswapped", p)) pfi->bswap = 1;
    else if (cmpwrd("cray_32bit_ieee", p)) {
    } else if (cmpwrd("365_day_calendar", p)) pfi->calendar = 1;
    else if (cmpwrd("big_endian", p)) {
      if (omhostle()) pfi->bswap = 1;
    } else if (cmpwrd("little_endian", p)) {
      if (!omhostle()) pfi->bswap = 1;
    } else {
      omprnt(0, "Open Error:  Data file type invalid\n");
      return R_BADREC;
    }
  }
  return R_OK;
}

int dodtype(ddesctx& c) {
  datafile* pfi = c.pfi;
  const char* p = nxtwrd(c.rec.c_str());
  if (!p) {
    omprnt(1, "Description file warning: Missing data type\n");
    omprnt(1, "   Assuming data file type is grid\n");
    return R_OK;
  }
  if (cmpwrd("station", p)) {
    pfi->type = 2;
    return R_OK;
  }
  if (cmpwrd("grib2", p)) {
    // GRIB edition 2: the variable records that follow give its codes.
    pfi->bgrib = 2;
    if (nxtwrd(p)) omprnt(1, "Description file warning: Invalid GRIB option\n");
    return R_OK;
  }
  if (cmpwrd("grib", p)) {
    pfi->bgrib = 1;
    const char* q = nxtwrd(p);
    if (q) {
      int opt;
      const char* e = intprs(q, &opt);
      if (!e || (*e != '\0' && *e != ' ' && *e != '\t')) {
        omprnt(1, "Description file warning: Invalid GRIB option\n");
        pfi->grbgrd = -999;
      } else {
        pfi->grbgrd = opt;
      }
    }
    return R_OK;
  }
  omprnt(0, "Open Error:  Data file type invalid\n");
  return R_BADREC;
}

// A file name word of the record: expanded when it begins with "^" or "$",
// else taken whole (never cut).
std::string namewrd(ddesctx& c, const char* p) {
  const char* m = mixed(c, p);
  std::string out;
  if (*m == '^' || *m == '$') fnmexp(out, m, c.pfi->dnam.c_str());
  else out = wrdstr(m);
  return out.substr(0, out.find('\t'));  // a trailing tab is no part of the name
}

int dodset(ddesctx& c) {
  const char* p = nxtwrd(c.rec.c_str());
  if (!p) {
    omprnt(0, "Open Error:  Data file name is missing\n");
    return R_BADREC;
  }
  c.pfi->name = namewrd(c, p);
  c.found[F_DSET] = true;
  return R_OK;
}

int domap(ddesctx& c, bool isindex) {
  datafile* pfi = c.pfi;
  if (isindex && !pfi->bgrib) pfi->bgrib = 1;
  const char* p = nxtwrd(c.rec.c_str());
  if (!p) {
    omprnt(0, "Open Error:  Station or Index Map file name is missing\n");
    return R_BADREC;
  }
  pfi->mnam = namewrd(c, p);
  if (!c.mflag) return R_OK;
  c.mfile = omfdata(pfi->mnam.c_str());
  if (!c.mfile) {
    int e = errno;
    omprnt(0, "Open Error:  Can't open Station/Index map file ");
    omprnt(0, replshownname(pfi->mnam));
    omprnt(0, "\n");
    omprnt(0, omopennote(e));
    return R_BADREC;
  }
  int rc = (pfi->bgrib == 0 || pfi->type == 2) ? omrstm(c.mfile, pfi) : omrgix(c.mfile, pfi);
  std::fclose(c.mfile);
  c.mfile = nullptr;
  if (rc < 0) {
    omprnt(0, "Open Error:  Memory allocation Error in omddes\n");
    return R_FAIL;
  }
  return rc ? R_BADREC : R_OK;
}

int dotoff(ddesctx& c) {
  datafile* pfi = c.pfi;
  const char* p = nxtwrd(c.rec.c_str());
  if (!p) {
    omprnt(0, "Open Error:  Missing toff value\n");
    return R_BADREC;
  }
  int v;
  if (!intprs(p, &v) || v < 0 || v >= pfi->dnum[3]) {
    omprnt(0, "Open Error:  Invalid toff value\n");
    return R_BADREC;
  }
  pfi->tlpst = v;
  pfi->tlpflg = 1;
  return R_OK;
}

int doundef(ddesctx& c) {
  datafile* pfi = c.pfi;
  const char* p = nxtwrd(c.rec.c_str());
  if (!p) {
    omprnt(0, "Open Error:  Missing undef value\n");
    return R_BADREC;
  }
  float v;
  if (!valprs(p, &v)) {
    omprnt(0, "Open Error:  Invalid undef value\n");
    return R_BADREC;
  }
  pfi->undef = v;
  float d = std::fabs(v / 100000.0f);
  pfi->ulow = v - d;
  pfi->uhi = v + d;
  c.found[F_UNDEF] = true;
  return R_OK;
}

// The size of an axis: an integer followed by a blank.
const char* axsize(const char* p, int* n) {
  if (!p) return nullptr;
  const char* q = intprs(p, n);
  if (!q || *q != ' ') return nullptr;
  return q;
}

int badsize() {
  omprnt(0, "Open Error:  Missing or invalid dimension size.\n");
  return R_BADREC;
}

int doaxis(ddesctx& c, int d) {
  datafile* pfi = c.pfi;
  int n;
  const char* p = nxtwrd(c.rec.c_str());
  if (!axsize(p, &n)) return badsize();
  const char* w = nxtwrd(p);
  axisdef ax;
  int rc;
  if (w && cmpwrd("levels", w) && n < 1) {
    omprnt(0, "Open Error:  Invalid number of levels\n");
    return R_BADREC;
  }
  // An axis has at least one point.
  if (n < 1) return badsize();
  pfi->dnum[d] = n;
  if (w && cmpwrd("linear", w)) {
    rc = linaxis(w, d, 0, &ax);
  } else if (w && cmpwrd("levels", w)) {
    if (n == 1) {
      rc = linaxis(w, d, 1, &ax);
    } else {
      // Continuation lines replace the working line; the record as
      // written follows it so that errors show the last line read.
      rc = levaxis(w, n, c.rec, c.descr, &ax);
      c.mrec = c.rec;
    }
  } else if (w && d == 1 && latfill(w)) {
    latfillfn fn = latfill(w);
    const char* s = nxtwrd(w);
    int first;
    if (!s || !intprs(s, &first)) {
      omprnt(0, "Open Error:  Missing or invalid dimension");
      omprnt(0, " starting value\n");
      return R_BADREC;
    }
    if (first < 1) {
      omprnt(0, "Open Error:  Invalid first latitude index\n");
      return R_BADREC;
    }
    float* v = fn(first, n);
    if (!v) return R_BADREC;
    ax.gr2ab = v;
    ax.ab2gr = v;
    ax.gr2abfn = gr2lev;
    ax.ab2grfn = lev2gr;
    ax.linear = 0;
    rc = 0;
  } else {
    omprnt(0, "Open Error:  Missing or invalid dimension");
    omprnt(0, " scaling type\n");
    return R_BADREC;
  }
  if (rc < 0) {
    omprnt(0, "Open Error:  Memory allocation Error in omddes\n");
    return R_FAIL;
  }
  if (rc > 0) return R_BADREC;
  putaxis(pfi, d, ax);
  if (d == 0) {
    pfi->wrap = 0;
    if (ax.linear) {
      double inc = ax.gr2ab[0];
      double start = static_cast<double>(ax.gr2ab[0]) + ax.gr2ab[1];
      double end = start + inc * n - 360.0;
      if (std::fabs(end - start) < 0.01) pfi->wrap = 1;
    }
  }
  c.found[d] = true;
  return R_OK;
}

int dotdef(ddesctx& c) {
  datafile* pfi = c.pfi;
  int n;
  const char* p = nxtwrd(c.rec.c_str());
  if (!axsize(p, &n) || n < 1) return badsize();
  const char* w = nxtwrd(p);
  if (!w || !cmpwrd("linear", w)) {
    omprnt(0, "Open Error:  Missing or invalid dimension");
    omprnt(0, " scaling type\n");
    return R_BADREC;
  }
  const char* s = nxtwrd(w);
  if (!s) {
    omprnt(0, "Open Error:  Start Time missing in tdef card");
    omprnt(0, " starting value\n");
    return R_BADREC;
  }
  datetime def = {-1000, -1000, -1000, 0, 0};
  datetime st;
  const char* e = adtprs(s, &def, &st);
  if (!e) {
    omprnt(0, "Open Error:  Invalid start time in tdef card");
    omprnt(0, " starting value\n");
    return R_BADREC;
  }
  if (*e != ' ' || st.yr == -1000 || st.mo == -1000 || st.dy == -1000) {
    omprnt(0, "Open Error:  Missing or invalid dimension");
    omprnt(0, " starting value\n");
    return R_BADREC;
  }
  const char* ip = nxtwrd(e);
  if (!ip) {
    omprnt(0, "Open Error:  Time increment missing in tdef\n");
    omprnt(0, " use 1 for single time data\n");
    return R_BADREC;
  }
  datetime inc;
  if (!rdtprs(ip, &inc)) {
    omprnt(0, "Open Error:  Invalid time increment in tdef\n");
    omprnt(0, " use 1 for single time data\n");
    return R_BADREC;
  }
  long months = static_cast<long>(inc.yr) * 12 + inc.mo;
  long minutes = static_cast<long>(inc.dy) * 1440 + static_cast<long>(inc.hr) * 60 + inc.mn;
  if (months != 0 && minutes != 0) {
    // An axis steps in months or in minutes, never both: the months would
    // be dropped silently.
    omprnt(0, "Open Error:  Invalid time increment in tdef\n");
    omprnt(0, " use 1 for single time data\n");
    return R_BADREC;
  }
  if (months == 0 && minutes == 0) {
    omprnt(0, "Open Error:  0 time increment in tdef\n");
    omprnt(0, " use 1 for single time data\n");
    return R_BADREC;
  }
  if (!taxfits(&st, months, minutes, n)) {
    omprnt(0, "Open Error:  Invalid time increment in tdef\n");
    omprnt(0, " use 1 for single time data\n");
    return R_BADREC;
  }
  float* v = static_cast<float*>(std::malloc(TAXIS_FLOATS * sizeof(float)));
  if (!v) {
    omprnt(0, "Open Error:  Memory allocation Error in omddes\n");
    return R_FAIL;
  }
  v[0] = static_cast<float>(st.yr);
  v[1] = static_cast<float>(st.mo);
  v[2] = static_cast<float>(st.dy);
  v[3] = static_cast<float>(st.hr);
  v[4] = static_cast<float>(st.mn);
  v[5] = static_cast<float>(months);
  v[6] = static_cast<float>(minutes);
  v[7] = AXEND;
  freeaxis(pfi, 3);
  pfi->grvals[3] = v;
  pfi->abvals[3] = v;
  pfi->gr2ab[3] = nullptr;
  pfi->ab2gr[3] = nullptr;
  pfi->linear[3] = 1;
  pfi->dnum[3] = n;
  c.found[F_TDEF] = true;
  return R_OK;
}

// The codes of a GRIB2 variable at p: discipline, category, number, level
// type, then optionally its level (-999: any), the type of statistical
// processing (-1 or -999: any) and the hours of its period.  The position
// right after the last code, or null.
const char* g2varcodes(const char* p, filevar& v) {
  double c[7];
  int n = 0;
  for (;;) {
    if (n == 7) return nullptr;
    char* e = nullptr;
    c[n] = std::strtod(p, &e);
    if (e == p || !std::isfinite(c[n]) || std::fabs(c[n]) > 1e9) return nullptr;
    n++;
    p = e;
    const char* after = p;
    while (*p == ' ' || *p == '\t') p++;
    if (*p != ',') {
      p = after;
      break;
    }
    p++;
    while (*p == ' ' || *p == '\t') p++;
  }
  if (n < 4) return nullptr;
  // All but the level and the hours are whole numbers.
  for (int i = 0; i < n; i++)
    if (i != 4 && i != 6 && c[i] != std::floor(c[i])) return nullptr;
  if (c[0] < 0 || c[0] > 255 || c[1] < 0 || c[1] > 255 || c[2] < 0 || c[2] > 255 || c[3] < 0 || c[3] > 255)
    return nullptr;
  g2codes& g = v.g2;
  g.disc = static_cast<int>(c[0]);
  g.cat = static_cast<int>(c[1]);
  g.num = static_cast<int>(c[2]);
  g.ltype = static_cast<int>(c[3]);
  g.haslev = n > 4 && c[4] != -999;
  g.lev = g.haslev ? c[4] : 0.0;
  g.stat = n > 5 && c[5] >= 0 ? static_cast<int>(c[5]) : -1;
  g.period = n > 6 && c[6] >= 0 ? c[6] : -1.0;
  for (int i = 0; i < 4; i++) v.units[i] = static_cast<int>(c[i]);
  return p;
}

// Parses one variable record (lower-cased rec, typed mrec) into v; g2 for
// the records of a dtype grib2 descriptor.
bool varrec(const std::string& rec, const std::string& mrec, filevar& v, bool g2) {
  const char* base = rec.c_str();
  const char* p = base;
  std::string nm = wrdstr(p);
  // A tab ends the name too: tab-separated records are common, and a name
  // holding tabs could never be asked for.
  nm = nm.substr(0, nm.find('\t'));
  if (nm.size() > 15) nm.resize(15);
  v.abbrv = nm;
  p = nxtwrd(p);
  if (!p) return false;
  const char* q = intprs(p, &v.levels);
  if (!q || (*q != ' ' && *q != '\t') || v.levels < 0) return false;
  p = nxtwrd(p);
  if (!p) return false;
  int cnt = 0;
  if (g2) {
    q = g2varcodes(p, v);
    if (!q) return false;
    p = q;
    while (*p == ' ' || *p == '\t') p++;
  }
  for (; !g2;) {
    if (cnt == 4) return false;
    q = intprs(p, &v.units[cnt]);
    if (!q) return false;
    cnt++;
    p = q;
    while (*p == ' ' || *p == '\t') p++;
    if (*p != ',') break;
    p++;
    while (*p == ' ' || *p == '\t') p++;
  }
  if (p == q) return false;  // the record ends right after the codes
  if (*p == '\0') return false;
  std::string d = linestr(mrec.c_str() + (p - base));
  if (d.size() > 127) d.resize(127);
  while (!d.empty() && d.back() == ' ') d.pop_back();
  v.varnm = d;
  v.var_z = 1;
  if (v.units[0] == -1) {
    if (v.units[1] == 20) v.var_t = 1;
    else if (v.units[1] == 30) v.y_x = 1;
    else if (v.units[1] == 40) {
      int k = v.units[2];
      if (k >= 1 && k <= 4) {
        v.dfrm = k;
        if (k == 2 && v.units[3] == -1) v.dfrm = -2;
      }
    }
  }
  return true;
}

bool isrecord(const std::string& s) {
  return !s.empty() && ascalnum(s[0]);
}

int dovars(ddesctx& c) {
  datafile* pfi = c.pfi;
  const char* p = nxtwrd(c.rec.c_str());
  int n;
  if (!p || !intprs(p, &n) || n < 1) {
    omprnt(0, "Open Error:  Missing or invalid variable");
    omprnt(0, " count\n");
    return R_BADREC;
  }
  pfi->pvar1.clear();
  pfi->vnum = 0;
  int got = 0;
  while (got < n) {
    int rc = rdtxtline(c.descr, c.mrec);
    if (rc == TL_LONG) {
      omprnt(0, "Open Error:  Description file line too long\n");
      return R_FAIL;
    }
    if (rc == TL_EOF) {
      omprnt(0, "Open Error:  Unexpected EOF reading variables\n");
      omprntf(2, "Was expecting %i records.  Found %i.\n", n, got);
      return R_FAIL;
    }
    striplf(c.mrec);
    c.rec = c.mrec;
    lowcas(&c.rec[0]);
    if (!isrecord(c.rec)) continue;
    if (cmpwrd("endvars", c.rec.c_str())) {
      omprnt(0, "Open Error:  Unexpected ENDVARS record\n");
      omprntf(2, "Was expecting %i records.  Found %i.\n", n, got);
      return R_BADREC;
    }
    filevar v;
    if (!varrec(c.rec, c.mrec, v, pfi->bgrib == 2)) {
      omprnt(0, "Open Error:  Invalid variable record\n");
      return R_BADREC;
    }
    pfi->pvar1.push_back(v);
    got++;
  }
  pfi->vnum = n;
  int rc = rdtxtline(c.descr, c.mrec);
  if (rc == TL_EOF) {
    omprnt(0, "Open Error:  Missing ENDVARS statement.\n");
    return R_FAIL;
  }
  if (rc == TL_LONG) {
    omprnt(0, "Open Error:  Description file line too long\n");
    return R_FAIL;
  }
  striplf(c.mrec);
  c.rec = c.mrec;
  lowcas(&c.rec[0]);
  if (!cmpwrd("endvars", c.rec.c_str())) {
    omprnt(0, "Open Error:  Looking for ENDVARS statement\n");
    omprnt(0, "             Instead, found:  \n");
    return R_BADREC;
  }
  c.found[F_VARS] = true;
  return R_OK;
}

int dorecord(ddesctx& c) {
  datafile* pfi = c.pfi;
  const char* r = c.rec.c_str();
  if (cmpwrd("byteswapped", r)) {
    pfi->bswap = 1;
    return R_OK;
  }
  if (cmpwrd("fileheader", r))
    return hdrcount(c, "Description file warning: Missing fileheader length\n",
                    "Fileheader record invalid\n", &pfi->fhdr, 1);
  if (cmpwrd("xyheader", r))
    return hdrcount(c, "Description file warning: Missing xy grid header length\n",
                    "xy grid header length invalid\n", &pfi->xyhdr, 4);
  if (cmpwrd("theader", r))
    return hdrcount(c, "Description file warning: Missing time chunk header length\n",
                    "time chunk grid header length invalid\n", &pfi->thdr, 4);
  if (cmpwrd("format", r) || cmpwrd("options", r)) return doopts(c);
  if (cmpwrd("trailerbytes", r)) return bytecount(c, "Trailerbytes record invalid\n", &pfi->trlwds);
  if (cmpwrd("headerbytes", r)) return bytecount(c, "Headerbytes record invalid\n", &pfi->hdrwds);
  if (cmpwrd("dtype", r)) return dodtype(c);
  if (cmpwrd("title", r)) {
    const char* p = nxtwrd(r);
    if (!p) {
      omprnt(1, "Description file warning: Missing title string\n");
      return R_OK;
    }
    pfi->title = linestr(mixed(c, p));
    return R_OK;
  }
  if (cmpwrd("dset", r)) return dodset(c);
  if (cmpwrd("stnmap", r)) return domap(c, false);
  if (cmpwrd("index", r)) return domap(c, true);
  if (cmpwrd("toff", r)) return dotoff(c);
  if (cmpwrd("undef", r)) return doundef(c);
  if (cmpwrd("pdef", r))
    return ompdprs(r, c.mrec.c_str(), pfi->dnam.c_str(), pfi) ? R_BADREC : R_OK;
  if (cmpwrd("xdef", r)) return pfi->type == 2 ? R_OK : doaxis(c, 0);
  if (cmpwrd("ydef", r)) return pfi->type == 2 ? R_OK : doaxis(c, 1);
  if (cmpwrd("zdef", r)) return pfi->type == 2 ? R_OK : doaxis(c, 2);
  if (cmpwrd("tdef", r)) return dotdef(c);
  if (cmpwrd("vars", r)) return dovars(c);
  omprnt(0, "Open Error:  Unknown keyword in description file\n");
  return R_BADREC;
}

// Station files: the surface variables come first and are numbered among
// themselves, then the variables with levels.
int stnvars(datafile* pfi) {
  int iv = 0, lv = 0;
  bool levs = false;
  for (filevar& v : pfi->pvar1) {
    if (v.levels == 0) {
      if (levs) {
        omprnt(0, "Open Error: Variables out of order\n");
        omprnt(0, "  Non-vertical variables must go first\n");
        return 1;
      }
      v.offset = iv++;
    } else {
      levs = true;
      v.offset = lv++;
    }
  }
  pfi->ivnum = iv;
  pfi->lvnum = lv;
  return 0;
}

// The GRIB index must cover every record of every time of the descriptor.
// Only the entry arrays are checked: the header ints are not read by the
// reader, and index makers elsewhere order them differently (times before
// records per time).
int chkgix(datafile* pfi) {
  const gribidx* gi = pfi->pindx;
  if (!gi) return 0;
  int64_t need = static_cast<int64_t>(pfi->dnum[3]) * pfi->trecs * 3;
  if (pfi->grbgrd == 29) need *= 2;
  if (gi->intnum < need || gi->fltnum < need) {
    omprnt(0, "Open Error:  GRIB index does not match the descriptor\n");
    omprnt(0, "  The index covers fewer times or records than the descriptor describes\n");
    return 1;
  }
  return 0;
}

int finish(ddesctx& c) {
  datafile* pfi = c.pfi;
  static const char* names[7] = {"XDEF", "YDEF", "ZDEF", "TDEF", "UNDEF", "DSET", "VARS"};
  bool missing = false;
  for (int i = 0; i < 7; i++) {
    if (i <= F_ZDEF && pfi->type == 2) continue;
    if (!c.found[i]) {
      omprntf(0, "Open Error:  missing %s record \n", names[i]);
      missing = true;
    }
  }
  if (missing) return 1;
  if (pfi->type == 2) {
    if (c.mflag) {
      if (!pfi->hasmap) {
        omprnt(0, "Open Error: missing STNMAP record\n");
        return 1;
      }
      if (pfi->stnmap.tcnt != pfi->dnum[3]) {
        omprnt(0, "Open Error: Inconsistent time count\n");
        omprntf(0, "  Count in station map file = %li\n", static_cast<long>(pfi->stnmap.tcnt));
        omprntf(0, "  Count in descriptor file = %i\n", pfi->dnum[3]);
        return 1;
      }
    }
    if (stnvars(pfi)) return 1;
  } else {
    // The grid records of a pre-projected file hold the native grid.
    int ln = 0;
    if (pfi->ppflag) {
      std::swap(pfi->dnum[0], pfi->ppisiz);
      std::swap(pfi->dnum[1], pfi->ppjsiz);
      ln = omlayout(pfi);
      std::swap(pfi->dnum[0], pfi->ppisiz);
      std::swap(pfi->dnum[1], pfi->ppjsiz);
    } else {
      ln = omlayout(pfi);
    }
    if (ln) return 1;
    if (pfi->ppflag && pfi->bgrib && pfi->grbgrd == 29) {
      omprnt(0, "Open Error:  A pre-projected GRIB data set cannot use grid option 29\n");
      return 1;
    }
    if (pfi->bgrib && c.mflag && chkgix(pfi)) return 1;
    if (pfi->bgrib == 2) {
      for (const filevar& v : pfi->pvar1) {
        if (v.g2.disc < 0) {
          omprnt(0, "Open Error:  The variable records of GRIB2 data must follow dtype grib2\n");
          return 1;
        }
      }
    }
  }
  if (omcalcheck(pfi)) return 1;
  // The row buffer holds one row of the grid (or one station report); a
  // size beyond any real grid is refused rather than allocated.
  const int64_t rowlen = pfi->type == 2 ? pfi->stnmap.bufw : pfi->dnum[0];
  if (rowlen > kMaxRow) {
    omprnt(0, "Open Error:  Row length too large for the row buffer\n");
    return 1;
  }
  // The row buffer (and GRIB's packed buffer) are made by the readers when
  // a row or report needs them: the sizes are claims of the descriptor
  // and the station map, not yet backed by any data.
  pfi->rbuf.clear();
  pfi->pbuf.clear();
  if (pfi->ppflag && omppcn(pfi, pfi->ppacc, pfi->ppfmt)) return 1;
  if (pfi->tmplat) {
    // The member table has one entry per time and is built by expanding
    // the template for each of them.
    if (pfi->dnum[3] > kMaxTmplTimes) {
      omprnt(0, "Open Error:  Too many times for a template data set\n");
      return 1;
    }
    try {
      if (omtmtb(pfi)) return 1;
    } catch (const std::bad_alloc&) {
      omprnt(0, "Open Error:  Memory allocation Error in omddes\n");
      return 1;
    }
  }
  return 0;
}

int parse(ddesctx& c) {
  for (bool first = true;; first = false) {
    int rc = rdtxtline(c.descr, c.mrec);
    if (rc == TL_EOF) break;
    if (rc == TL_LONG) {
      omprnt(0, "Open Error:  Description file line too long\n");
      return 1;
    }
    // Editors that save UTF-8 may put a byte-order mark before the first
    // record; it would hide that record.
    if (first && c.mrec.compare(0, 3, "\xEF\xBB\xBF") == 0) c.mrec.erase(0, 3);
    striplf(c.mrec);
    c.rec = c.mrec;
    if (!isrecord(c.rec)) continue;
    lowcas(&c.rec[0]);
    int r;
    try {
      r = dorecord(c);
    } catch (const std::bad_alloc&) {
      omprnt(0, "Open Error:  Memory allocation Error in omddes\n");
      return 1;
    }
    if (r == R_BADREC) {
      omprnt(0, "  --> The invalid description file record is: \n");
      omprnt(0, "  --> ");
      omprnt(0, replshownname(c.rec));
      omprnt(0, "\n");
      return 1;
    }
    if (r == R_FAIL) return 1;
  }
  return finish(c);
}

}  // namespace

int omcalcheck(const datafile* pfi) {
  // The calendar of the program is fixed by the open command once the
  // whole open has succeeded; here a file that disagrees is refused.
  if (mfcmn.mfcal >= 0 && mfcmn.mfcal != pfi->calendar) {
    omprnt(0, "Attempt to change the global calendar...\n");
    if (mfcmn.mfcal == 1)
      omprnt(0, "The calendar is NOW 365 DAYS and you attempted to open a standard calendar file\n");
    else
      omprnt(0, "The calendar is NOW STANDARD and you attempted to open a 365-day calendar file\n");
    return 1;
  }
  return 0;
}

namespace {

// Parses the descriptor read from descr, known by the name nm.
int parsefrom(std::FILE* descr, const std::string& nm, datafile* pfi, int mflag) {
  ddesctx c;
  c.pfi = pfi;
  c.mflag = mflag;
  c.descr = descr;
  pfi->dnam = nm;
  int rc = parse(c);
  std::fclose(c.descr);
  if (c.mfile) std::fclose(c.mfile);
  if (pfi->ppfile) std::fclose(pfi->ppfile);
  pfi->ppfile = nullptr;
  if (rc) {
    omprnt(0, "  The data file was not opened. \n");
    return 1;
  }
  return 0;
}

}  // namespace

int omddes(const char* dname, datafile* pfi, int mflag) {
  std::string nm;
  int e = 0;
  std::FILE* descr = opendescrctl(dname, nm, e);
  return omddesfile(descr, nm, e, pfi, mflag);
}

int omddesfile(std::FILE* descr, const std::string& opened, int openerr, datafile* pfi, int mflag) {
  mfcmn.mffullyr = -999;
  if (!descr) {
    omprnt(0, "Open Error:  Can't open description file\n");
    omprnt(0, omopennote(openerr));
    return 1;
  }
  return parsefrom(descr, opened, pfi, mflag);
}

int omddestext(const char* dname, const std::string& text, datafile* pfi, int mflag) {
  mfcmn.mffullyr = -999;
  std::FILE* descr = text.empty() ? nullptr : fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (!descr) {
    omprnt(0, "Open Error:  Can't open description file\n");
    return 1;
  }
  return parsefrom(descr, dname, pfi, mflag);
}
