// XDF descriptors: a small text file naming a self-describing file's
// dimensions and variables, read by the xdfopen command.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/words.h"
#include "data/axisconv.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/fnmexp.h"
#include "data/textfile.h"
#include "sdf/sdfint.h"

namespace {

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

const char* skipblank(const char* p) {
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

std::string firstword(const char* p) {
  p = skipblank(p);
  const char* e = p;
  while (*e != '\0' && *e != ' ' && *e != '\t' && *e != '\n' && *e != '\r') e++;
  return std::string(p, static_cast<size_t>(e - p));
}

// A record longer than a descriptor line may be: the open fails.
struct toolong {};

// Reads one record; false at the end of the file.  Throws toolong, having
// read no further, when the record is longer than a descriptor line.
bool read_record(FILE* f, std::string* rec) {
  int rc = rdtxtline(f, *rec);
  if (rc == TL_LONG) throw toolong();
  return rc == TL_OK;
}

bool ignored(const std::string& rec) {
  return rec.empty() || !ascalnum(rec[0]);
}

struct xdfreader {
  FILE* f = nullptr;
  std::string rec;   // record as written
  std::string lrec;  // lower-cased copy
  datafile* pfi = nullptr;
  sdfparms* p = nullptr;
  bool have_dset = false;
  bool tcount = false;  // tdef gave a count and mapping
  std::string dset;

  int bad(const char* msg) {
    if (msg != nullptr) omprnt(0, msg);
    omprnt(0, "  --> The invalid description file record is: \n");
    omprntf(0, "  --> %s\n", lrec.c_str());
    return 1;
  }
};

// The dimension records xdef, ydef and zdef.
int dimension(xdfreader* x, int d) {
  const char* lp = nxtwrd(x->lrec.c_str());
  const char* rp = nxtwrd(x->rec.c_str());
  if (lp == nullptr) return x->bad("XDFopen Error:  Missing or invalid dimension name.\n");
  x->p->findvar[d] = 0;
  x->p->dimnames[d] = firstword(rp);
  lp = nxtwrd(lp);
  if (lp == nullptr) return 0;  // a name alone: the axis comes from the file
  int size = 0;
  const char* q = intprs(lp, &size);
  if (q == nullptr || (*q != ' ' && *q != '\t') || size < 1)
    return x->bad("XDFopen Error:  Missing or invalid dimension size.\n");
  x->pfi->dnum[d] = size;
  lp = nxtwrd(lp);
  if (lp == nullptr) {
    omprnt(0, "XDFopen Error:  Missing or invalid dimension");
    return x->bad(" scaling type\n");
  }
  if (cmpwrd("linear", lp)) {
    if (deflin(lp, x->pfi, d, 0) != 0) return x->bad(nullptr);
    if (d == 0) {
      float start = x->pfi->grvals[0][0] + x->pfi->grvals[0][1];
      float inc = x->pfi->grvals[0][0];
      x->pfi->wrap = std::fabs(start + size * inc - 360.0f - start) < 0.01f ? 1 : 0;
    }
  } else if (cmpwrd("levels", lp)) {
    if (size < 1) return x->bad("XDFopen Error:  Invalid number of levels\n");
    std::string lrec = x->lrec;
    if (deflev(lp, lrec, x->f, x->pfi, d) != 0) return x->bad(nullptr);
  } else if (d == 1 && latfill(firstword(lp).c_str()) != nullptr) {
    latfillfn fn = latfill(firstword(lp).c_str());
    const char* sp = nxtwrd(lp);
    int first = 0;
    if (sp == nullptr || intprs(sp, &first) == nullptr) {
      omprnt(0, "XDFopen Error:  Missing or invalid dimension");
      return x->bad(" starting value\n");
    }
    float* lev = fn(first, size);
    if (lev == nullptr) return x->bad(nullptr);
    std::free(x->pfi->grvals[1]);
    x->pfi->grvals[1] = lev;
    x->pfi->abvals[1] = lev;
    x->pfi->gr2ab[1] = gr2lev;
    x->pfi->ab2gr[1] = lev2gr;
    x->pfi->linear[1] = 0;
  } else {
    omprnt(0, "XDFopen Error:  Missing or invalid dimension");
    return x->bad(" scaling type\n");
  }
  x->p->defaxis[d] = 0;
  return 0;
}

int tdef(xdfreader* x) {
  const char* lp = nxtwrd(x->lrec.c_str());
  const char* rp = nxtwrd(x->rec.c_str());
  if (lp == nullptr) return x->bad("XDFopen Error:  Missing or invalid dimension name.\n");
  x->p->findvar[3] = 0;
  bool nodim = std::strncmp(lp, "%nodim%", 7) == 0;
  x->p->dimnames[3] = nodim ? std::string() : firstword(rp);
  x->p->tnodim = nodim;
  lp = nxtwrd(lp);
  float conv[8] = {1, 1, 1, 0, 0, 0, 1, -999.9f};
  if (lp == nullptr) {
    if (nodim) {
      x->pfi->dnum[3] = 1;
      install_time(x->pfi, conv);
      x->p->defaxis[3] = 0;
    }
    return 0;
  }
  int count = 0;
  const char* q = intprs(lp, &count);
  if (q == nullptr || (*q != ' ' && *q != '\t') || count < 1)
    return x->bad("XDFopen Error:  Missing or invalid dimension size.\n");
  lp = nxtwrd(lp);
  if (lp == nullptr || !cmpwrd("linear", lp)) {
    omprnt(0, "XDFopen Error:  Missing or invalid dimension");
    return x->bad(" scaling type\n");
  }
  lp = nxtwrd(lp);
  // The start must name its day: [hh[:mm]z]dd mmm yyyy.
  bool hasday = false;
  if (lp != nullptr) {
    const char* q2 = lp;
    while (ascdigit(*q2) || *q2 == ':') q2++;
    if (*q2 == 'z') q2++; else q2 = lp;
    hasday = ascdigit(*q2);
  }
  datetime def = {-99999, -99999, -99999, 0, 0};
  datetime st = def;
  const char* after = lp != nullptr ? adtprs(lp, &def, &st) : nullptr;
  if (after == nullptr || !hasday || st.yr == -99999 || st.mo == -99999 || st.dy == -99999 ||
      (*after != ' ' && *after != '\t')) {
    omprnt(0, "XDFopen Error:  Missing or invalid dimension");
    return x->bad(" starting value\n");
  }
  datetime inc = {0, 0, 0, 0, 0};
  lp = nxtwrd(lp);
  if (lp == nullptr || rdtprs(lp, &inc) == nullptr) {
    omprnt(0, "XDFopen Error:  Missing or invalid dimension");
    return x->bad(" increment value\n");
  }
  double months = inc.yr * 12.0 + inc.mo;
  double minutes = inc.dy * 1440.0 + inc.hr * 60.0 + inc.mn;
  if (months == 0 && minutes == 0) {
    omprnt(0, "XDFopen Error:  0 time increment in tdef\n");
    return x->bad(" use 1 for single time data\n");
  }
  // Later times beyond the years a time can hold would wrap into
  // nonsense dates, as they would in a plain descriptor.
  if (!taxfits(&st, static_cast<long>(months), static_cast<long>(minutes), count)) {
    omprnt(0, "XDFopen Error:  Missing or invalid dimension");
    return x->bad(" increment value\n");
  }
  conv[0] = static_cast<float>(st.yr);
  conv[1] = static_cast<float>(st.mo);
  conv[2] = static_cast<float>(st.dy);
  conv[3] = static_cast<float>(st.hr);
  conv[4] = static_cast<float>(st.mn);
  conv[5] = static_cast<float>(months);
  conv[6] = static_cast<float>(minutes);
  if (!install_time(x->pfi, conv)) return x->bad("Malloc err!\n");
  x->pfi->dnum[3] = count;
  x->tcount = true;
  x->p->defaxis[3] = 0;
  return 0;
}

// One variable record: ncname[=>name] [levels units description].
int cmpndname(const std::string& rec, std::string* ncname, std::string* name, int* levels,
              int units[4], std::string* desc, bool* fromfile) {
  std::string r = rec;
  size_t arrow = r.find("=>");
  const char* rest = nullptr;
  if (arrow != std::string::npos) {
    *ncname = trim(r.substr(0, arrow));
    std::string after = r.substr(arrow + 2);
    *name = firstword(after.c_str());
    if (ncname->empty() || name->empty()) return 0;
    size_t at = r.find(*name, arrow + 2) + name->size();
    r = r.substr(at);
    rest = r.c_str();
  } else {
    *ncname = firstword(r.c_str());
    *name = *ncname;
    if (ncname->empty()) return 0;
    size_t at = r.find(*ncname) + ncname->size();
    r = r.substr(at);
    rest = r.c_str();
  }
  if (name->size() > 15) name->resize(15);
  rest = skipblank(rest);
  if (*rest == '\0') {
    *fromfile = true;
    return 1;
  }
  *fromfile = false;
  const char* q = intprs(rest, levels);
  if (q == nullptr || *levels < 0) return 0;
  q = skipblank(q);
  int n = 0;
  while (true) {
    int u = 0;
    const char* e = intprs(q, &u);
    if (e == nullptr) break;
    if (n == 4) return 0;
    units[n++] = u;
    q = skipblank(e);
    if (*q != ',') break;
    q = skipblank(q + 1);
  }
  if (n == 0) return 0;
  std::string d = trim(q);
  if (d.empty()) return 0;
  if (d.size() > 127) d.resize(127);
  *desc = d;
  return 1;
}

int vars(xdfreader* x) {
  const char* lp = nxtwrd(x->lrec.c_str());
  int count = 0;
  const char* q = lp != nullptr ? intprs(lp, &count) : nullptr;
  if (q == nullptr || count < 1) {
    omprnt(0, "XDFopen Error:  Missing or invalid variable");
    return x->bad(" count\n");
  }
  sdfparms* p = x->p;
  p->dvars = 0;
  p->nvars = count;
  x->pfi->vnum = count;
  // The table grows with the records actually read: a count is only a
  // promise of the descriptor, and one far beyond its records must end in
  // the missing-records message, not in a table of that size.
  x->pfi->pvar1.clear();
  p->ncnames.clear();
  p->omnames.clear();
  p->fromfile.clear();
  int found = 0;
  while (found < count) {
    if (!read_record(x->f, &x->rec)) {
      omprnt(0, "XDFOpen Error:  Unexpected EOF reading variables\n");
      omprntf(2, "Was expecting %i records.  Found %i.\n", count, found);
      return 1;
    }
    if (ignored(x->rec)) continue;
    x->lrec = lowstr(x->rec);
    if (cmpwrd("endvars", x->lrec.c_str())) {
      omprnt(0, "XDFOpen Error:  Unexpected ENDVARS record\n");
      omprntf(2, "Was expecting %i records.  Found %i.\n", count, found);
      return x->bad(nullptr);
    }
    std::string nc, nm, desc;
    int levels = 0, units[4] = {-999, -999, -999, -999};
    bool ff = true;
    if (!cmpndname(x->rec, &nc, &nm, &levels, units, &desc, &ff))
      return x->bad("XDFOpen Error:  Invalid variable record\n");
    // Expressions are read in lower case, so a name with capitals stays in
    // the table (as given) but no expression can name it.
    if (lowstr(nm) != nm)
      omprntf(1, "XDFopen Warning:  variable name %s has capitals and cannot be used in an "
                 "expression; name it %s=>%s\n", nm.c_str(), nc.c_str(), lowstr(nm).c_str());
    p->ncnames.push_back(nc);
    p->omnames.push_back(nm);
    p->fromfile.push_back(ff ? 1 : 0);
    x->pfi->pvar1.emplace_back();
    filevar& fv = x->pfi->pvar1.back();
    fv.abbrv = nm;
    fv.var_z = 0;
    if (!ff) {
      fv.levels = levels;
      fv.varnm = desc;
      for (int k = 0; k < 4; k++) fv.units[k] = units[k];
    }
    found++;
  }
  while (true) {
    if (!read_record(x->f, &x->rec)) {
      omprnt(0, "XDFOpen Error:  Missing ENDVARS statement.\n");
      return 1;
    }
    if (!ignored(x->rec)) break;
  }
  x->lrec = lowstr(x->rec);
  if (!cmpwrd("endvars", x->lrec.c_str())) {
    omprnt(0, "XDFOpen Error:  Looking for ENDVARS statement\n");
    omprnt(0, "             Instead, found:  \n");
    return x->bad(nullptr);
  }
  return 0;
}

int record(xdfreader* x) {
  const char* l = x->lrec.c_str();
  if (cmpwrd("options", l)) {
    const char* w = nxtwrd(l);
    if (w == nullptr) {
      omprnt(1, "XDFopen:  Description file warning: Missing options keyword\n");
      return 0;
    }
    for (; w != nullptr; w = nxtwrd(w)) {
      if (cmpwrd("yrev", w)) x->pfi->yrflg = 1;
      else if (cmpwrd("zrev", w)) x->pfi->zrflg = 1;
      else if (cmpwrd("template", w)) x->pfi->tmplat = 1;
      else if (cmpwrd("365_day_calendar", w)) x->pfi->calendar = 1;
      else return x->bad("XDFopen Error:  Data file option invalid\n");
    }
    return 0;
  }
  if (cmpwrd("title", l)) {
    const char* r = nxtwrd(x->rec.c_str());
    if (r == nullptr) {
      omprnt(1, "XDFopen:  Description file warning: Missing title string\n");
      x->pfi->title.clear();
    } else {
      x->pfi->title = trim(r);
      if (x->pfi->title.size() > 511) x->pfi->title.resize(511);
    }
    x->p->dotitle = 0;
    return 0;
  }
  if (cmpwrd("dset", l)) {
    const char* r = nxtwrd(x->rec.c_str());
    if (r == nullptr) return x->bad("XDFOpen Error:  Data file name is missing\n");
    std::string w = firstword(r);
    if (w[0] == '^' || w[0] == '$') {
      std::string out;
      fnmexp(out, w.c_str(), x->pfi->dnam.c_str());
      w = out;
    }
    if (w.size() > 4095) w.resize(4095);
    x->dset = w;
    x->have_dset = true;
    return 0;
  }
  if (cmpwrd("undef", l)) {
    const char* r = nxtwrd(l);
    if (r == nullptr) return x->bad("XDFOpen Error:  Missing undef value\n");
    float u = 0;
    if (valprs(r, &u) == nullptr) return x->bad("XDFOpen Error:  Invalid undef value\n");
    x->pfi->undef = u;
    x->pfi->ulow = u - std::fabs(u / 100000.0f);
    x->pfi->uhi = u + std::fabs(u / 100000.0f);
    x->p->doundef = 0;
    x->p->ddfundef = 1;
    return 0;
  }
  if (cmpwrd("xdef", l)) return dimension(x, 0);
  if (cmpwrd("ydef", l)) return dimension(x, 1);
  if (cmpwrd("zdef", l)) return dimension(x, 2);
  if (cmpwrd("tdef", l)) return tdef(x);
  if (cmpwrd("vars", l)) return vars(x);
  return x->bad("XDFOpen Error:  Unknown keyword in description file\n");
}

}  // namespace

int omdxdf(const char* dname, datafile* pfi, std::string* templ, int* ntimes, std::string* dfname,
           sdfparms* p) {
  doparms4sdf(p);
  p->isxdf = 1;
  std::string opened;
  int why = 0;
  FILE* f = opendescrctl(dname, opened, why);
  if (f == nullptr) {
    omprnt(0, "XDFOpen Error:  Can't open description file\n");
    omprnt(0, omopennote(why));
    return 1;
  }
  if (opened.size() > 255) opened.resize(255);
  pfi->dnam = opened;
  xdfreader x;
  x.f = f;
  x.pfi = pfi;
  x.p = p;
  int rc = 0;
  try {
    while (rc == 0 && read_record(f, &x.rec)) {
      if (ignored(x.rec)) continue;
      x.lrec = lowstr(x.rec);
      rc = record(&x);
    }
  } catch (const std::bad_alloc&) {
    omprnt(0, "Malloc err!\n");
    rc = 1;
  } catch (const toolong&) {
    omprnt(0, "XDFOpen Error:  Description file line too long\n");
    rc = 1;
  }
  std::fclose(f);
  if (rc == 0 && !x.have_dset) {
    omprntf(0, "XDFOpen Error:  missing %s record \n", "DSET");
    rc = 1;
  }
  if (rc == 0 && pfi->tmplat && !x.tcount) {
    omprnt(0, "XDFopen Error:  Missing or invalid dimension size.\n");
    rc = 1;
  }
  if (rc == 0 && x.p->tnodim && pfi->dnum[3] != 1 && !pfi->tmplat) {
    omprnt(1, "TDEF with %nodim% has timestep count != 1; resetting to 1.\n");
    pfi->dnum[3] = 1;
  }
  if (rc == 0) {
    *dfname = x.dset;
    if (pfi->tmplat) {
      *ntimes = pfi->dnum[3];
      *templ = x.dset;
      if (!build_template_table(pfi, x.dset)) {
        omprnt(0, "XDFopen Error:  Memory allocation Error\n");
        rc = 1;
      } else {
        datetime t0;
        gr2t(pfi->grvals[3], 1.0, &t0);
        *dfname = sdf_fndt(x.dset, t0, t0, pfi->grvals[3]);
      }
    }
  }
  if (rc != 0) omprnt(0, "  The data file was not opened. \n");
  return rc;
}

int omxdfopen(const char* args, const cmnstate* pcm, datafile** opened) {
  *opened = nullptr;
  std::string dname = args != nullptr ? firstword(args) : std::string();
  if (dname.empty()) {
    omprnt(0, "XDFOPEN error:  missing data descriptor file name\n");
    return 1;
  }
  if (dname.size() > 255) dname.resize(255);
  omprntf(2, "Scanning Descriptor File:  %s\n", replshownname(dname).c_str());
  datafile* pfi = getpfi();
  if (pfi == nullptr) {
    omprnt(0, "Memory Allocation Error:  On File Open\n");
    return 1;
  }
  pfi->ncflg = 1;
  sdf_bind(pfi);
  if (!init_io_std(&pfi->sdf)) {
    omprnt(0, "Memory Allocation Error:  On XDF File Open\n");
    frepfi(pfi, 0);
    return 1;
  }
  sdfparms parms;
  std::string templ, dfname;
  int ntimes = 0;
  if (omdxdf(dname.c_str(), pfi, &templ, &ntimes, &dfname, &parms) != 0) {
    frepfi(pfi, 0);
    return 1;
  }
  // The record joins the list only once it is whole, so a failure leaves
  // the list as it was.
  int rc = omdsdf(dfname.c_str(), pfi, templ, ntimes, &parms);
  if (rc == 0 && !fix_calendar(pfi, true, pcm)) rc = 1;
  if (rc != 0) {
    omprntf(0, "Data file %s was not successfully opened & parsed.\n", replshownname(dfname).c_str());
    frepfi(pfi, 0);
    return 1;
  }
  *opened = pfi;
  return 0;
}
