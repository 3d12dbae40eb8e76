// save [-z[N]] FILE EXPR [EXPR ...]: each expression over the dimension
// environment, every varying dimension included, written to a netCDF file
// one time step (and level) at a time, so that a long series is never
// held whole.  The file itself is plot/ncsave's.
#include <cmath>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/words.h"
#include "cmd/omcmds.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "plot/ncsave.h"

namespace {

struct saveitem {
  std::string expr;  // lower case, as the evaluator takes it
  ncsavevar var;
};

// The words after the command word: blanks part them except inside
// parentheses, and a name joins its expression across blanks around "=".
std::vector<std::string> savewords(const char* text) {
  std::vector<std::string> w;
  std::string cur;
  int depth = 0;
  for (const char* p = text; *p && *p != '\n'; p++) {
    if ((*p == ' ' || *p == '\t') && depth == 0) {
      if (!cur.empty()) w.push_back(cur);
      cur.clear();
      continue;
    }
    if (*p == '(') depth++;
    if (*p == ')') depth--;
    if (*p != ' ' && *p != '\t') cur += *p;
  }
  if (!cur.empty()) w.push_back(cur);
  std::vector<std::string> out;
  for (const std::string& s : w) {
    if (!out.empty() && (s[0] == '=' || out.back().back() == '=')) out.back() += s;
    else out.push_back(s);
  }
  return out;
}

bool isname(const std::string& s) {
  if (s.empty() || !ascalpha(s[0])) return false;
  for (char c : s)
    if (!ascalnum(c) && c != '_') return false;
  return true;
}

// A plain variable: a name, perhaps with a file number; its description
// is its file's.
bool plainvar(const std::string& e, const cmnstate* pcm, std::string* name, std::string* desc) {
  size_t dot = e.find('.');
  *name = e.substr(0, dot);
  if (!isname(*name)) return false;
  const datafile* pfi = pcm->dfile;
  if (dot != std::string::npos) {
    int n;
    const char* q = intprs(e.c_str() + dot + 1, &n);
    if (!q || *q || n < 1) return false;
    pfi = pcm->filehead;
    for (int k = 1; k < n && pfi; k++) pfi = pfi->pforw;
  }
  desc->clear();
  if (pfi)
    for (const filevar& v : pfi->pvar1)
      if (v.abbrv == *name) *desc = v.varnm;
  return true;
}

// The expressions of the command line (lower case in com, as typed in
// typed, aligned); false after the message.
bool saveitems(const std::string& com, const std::string& typed, const cmnstate* pcm,
               std::vector<saveitem>* items) {
  const std::vector<std::string> lw = savewords(com.c_str()), tw = savewords(typed.c_str());
  for (size_t k = 0; k < lw.size(); k++) {
    saveitem it;
    const size_t eq = lw[k].find('=');
    const size_t paren = lw[k].find('(');
    if (eq != std::string::npos && (paren == std::string::npos || eq < paren)) {
      it.var.name = tw[k].substr(0, eq);
      it.expr = lw[k].substr(eq + 1);
      if (!isname(it.var.name) || it.expr.empty()) {
        omprntf(0, "SAVE error:  Invalid name in %s\n", tw[k].c_str());
        return false;
      }
    } else {
      it.expr = lw[k];
      if (!plainvar(it.expr, pcm, &it.var.name, &it.var.longname)) {
        omprntf(0, "SAVE error:  Name the expression %s as NAME=EXPR\n", tw[k].c_str());
        return false;
      }
    }
    items->push_back(it);
  }
  if (items->empty()) {
    omprnt(0, "SAVE error:  Missing expression\n");
    return false;
  }
  return true;
}

// The walk of the environment: the dimensions each evaluation varies (the
// first two of lon, lat, lev that vary) and the steps of the rest.
struct savewalk {
  int idim = -1, jdim = -1;
  bool zloop = false;        // levels vary beyond the evaluated grid
  int z1 = 0, z2 = 0;        // their grid indexes
  bool tloop = false;
  int t1 = 0, t2 = 0;
};

bool gridrange(const datafile* pfi, int d, float w1, float w2, int* k1, int* k2) {
  if (!pfi->ab2gr[d] || !pfi->abvals[d]) return false;
  double g1 = pfi->ab2gr[d](pfi->abvals[d], w1), g2 = pfi->ab2gr[d](pfi->abvals[d], w2);
  if (g1 > g2) std::swap(g1, g2);
  return fnrange(static_cast<float>(g1), static_cast<float>(g2), k1, k2) && *k1 <= *k2;
}

bool walkof(const cmnstate* pcm, savewalk* w) {
  int taken = 0;
  for (int d = 0; d < 3; d++) {
    if (!pcm->vary[d]) continue;
    if (taken == 2) {
      w->zloop = true;
      break;
    }
    (taken == 0 ? w->idim : w->jdim) = d;
    taken++;
  }
  const datafile* pfi = pcm->dfile;
  if (w->zloop && !gridrange(pfi, 2, pcm->wlo[2], pcm->whi[2], &w->z1, &w->z2)) {
    omprnt(0, "SAVE error:  Invalid level range\n");
    return false;
  }
  if (pcm->vary[3]) {
    const float* tv = pfi->grvals[3];
    if (!tv || !fntaxisok(pfi) ||
        !fnrange(static_cast<float>(t2gr(tv, &pcm->tbeg)), static_cast<float>(t2gr(tv, &pcm->tend)), &w->t1,
                 &w->t2) ||
        w->t2 < w->t1) {
      omprnt(0, "SAVE error:  Invalid time range\n");
      return false;
    }
    w->tloop = true;
  }
  return true;
}

// The time axis's units: days, hours or minutes since the data set's
// first time, the largest whole unit of its step; and its calendar.
void timeunits(const datafile* pfi, ncsavelayout* lay, double* perunit) {
  const float* tv = pfi->grvals[3];
  datetime ref = tv ? axstart(tv) : datetime{1, 1, 1, 0, 0};
  long step = tv && tv[5] < 0.5f ? static_cast<long>(tv[6] + 0.5f) : 1440;
  const char* unit = "days";
  *perunit = 1440.0;
  if (step % 1440 != 0) {
    unit = step % 60 == 0 ? "hours" : "minutes";
    *perunit = step % 60 == 0 ? 60.0 : 1.0;
  }
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s since %04d-%02d-%02d %02d:%02d:00", unit, ref.yr, ref.mo, ref.dy, ref.hr,
                ref.mn);
  lay->timeunits = buf;
  lay->calendar = mfcmn.mfcal == 1 || pfi->calendar == 1 ? "noleap" : "standard";
}

double timevalue(const datafile* pfi, const datetime& t, double perunit) {
  const float* tv = pfi->grvals[3];
  datetime ref = tv ? axstart(tv) : datetime{1, 1, 1, 0, 0};
  return static_cast<double>(timdif(&ref, &t)) / perunit;
}

// The world coordinates of axis d of the evaluated grid, or the
// environment's one value where the grid does not vary along it.
std::vector<double> axisof(const gridres* g, const cmnstate* pcm, int d) {
  std::vector<double> c;
  if (g->idim == d)
    for (int i = 0; i < g->isiz; i++) c.push_back(g->igrab(g->ivals, g->dimmin[d] + i));
  else if (g->jdim == d)
    for (int j = 0; j < g->jsiz; j++) c.push_back(g->jgrab(g->jvals, g->dimmin[d] + j));
  else
    c.push_back(pcm->wlo[d]);
  return c;
}

// The shape every step of every expression must give.
struct gridshape {
  int idim, jdim, isiz, jsiz;
};

// One evaluation: a grid of the given shape (null: any grid).
gridres* evalone(const std::string& expr, const evalstat* pst, const gridshape* shape) {
  evalstat cp = *pst;
  cp.result.pgr = nullptr;
  if (omexpr(expr.c_str(), &cp)) return nullptr;
  if (cp.type == 0) {
    omfree(&cp);
    omprnt(0, "SAVE error:  Station data cannot be saved\n");
    return nullptr;
  }
  gridres* g = cp.result.pgr;
  if (shape && (g->idim != shape->idim || g->jdim != shape->jdim || g->isiz != shape->isiz ||
                g->jsiz != shape->jsiz)) {
    omgfre(g);
    omprnt(0, "SAVE error:  The expressions give grids of different shapes\n");
    return nullptr;
  }
  return g;
}

// Writes one grid, its undefined points as the variable's fill value.
bool putgrid(ncsave* f, size_t v, size_t t, size_t z, size_t nz, gridres* g, float fill) {
  if (g->undef != fill) {
    const size_t n = fnpts(g);
    for (size_t k = 0; k < n; k++)
      if (g->grid[k] == g->undef) g->grid[k] = fill;
  }
  return f->put(v, t, z, nz, g->grid);
}

// Parses -z or -zN; false after the message.
bool zflag(const std::string& w, ncsavelayout* lay) {
  lay->nc4 = true;
  lay->deflate = 1;
  if (w.size() == 2) return true;
  int n;
  const char* q = intprs(w.c_str() + 2, &n);
  if (q && !*q && n >= 1 && n <= 9) {
    lay->deflate = n;
    return true;
  }
  omprntf(0, "SAVE error:  Invalid option %s: -z or -z1 to -z9 expected\n", w.c_str());
  return false;
}

}  // namespace

int omsave(const char* com, const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  ncsavelayout lay;
  while (p && p[0] == '-' && p[1] == 'z') {
    if (!zflag(wrdstr(p), &lay)) return 1;
    p = nxtwrd(p);
  }
  if (!p) {
    omprnt(0, "SAVE error:  Missing file name\n");
    return 1;
  }
  const std::string fname = wrdstr(typed + (p - com));
  const char* rest = nxtwrd(p);
  if (!rest) {
    omprnt(0, "SAVE error:  Missing expression\n");
    return 1;
  }
  std::vector<saveitem> items;
  if (!saveitems(rest, typed + (rest - com), pcm, &items)) return 1;
  savewalk w;
  if (!walkof(pcm, &w)) return 1;

  // The environment as an evaluation sees it, of every dimension it
  // varies, the walk stepping through those beyond the evaluated grid.
  evalstat base{};
  base.filehead = pcm->filehead;
  base.dfile = pcm->dfile;
  base.dfilenum = pcm->dfilenum;
  base.defs = &pcm->defs;
  base.collections = pcm->collections;
  base.type = 1;
  for (int d = 0; d < 3; d++) {
    base.dmin[d] = pcm->wlo[d];
    base.dmax[d] = pcm->whi[d];
  }
  base.tmin = pcm->tbeg;
  base.tmax = pcm->tend;
  base.idim = w.idim;
  base.jdim = w.jdim;
  if (w.zloop) fnsetdim(&base, 2, w.z1);
  if (w.tloop) fnsetdim(&base, 3, w.t1);

  // The first step of every expression fixes the file's coordinates.
  std::vector<gridres*> first;
  // Every way out before the end: an interrupt (a reader stopped by it
  // prints nothing of its own) is said, the older file left as it was.
  auto fail = [&first, &fname] {
    for (gridres* g : first) omgfre(g);
    first.clear();
    if (omqsig()) omprntf(0, "SAVE interrupted:  %s is left as it was\n", replshownname(fname).c_str());
    return 1;
  };
  gridshape shape{};
  for (saveitem& it : items) {
    gridres* g = evalone(it.expr, &base, first.empty() ? nullptr : &shape);
    if (!g) {
      return fail();
    }
    if (first.empty()) shape = {g->idim, g->jdim, g->isiz, g->jsiz};
    it.var.fill = g->undef;
    first.push_back(g);
    lay.vars.push_back(it.var);
  }
  lay.lon = axisof(first[0], pcm, 0);
  lay.lat = axisof(first[0], pcm, 1);
  const bool zgrid = w.idim == 2 || w.jdim == 2;
  lay.haslev = zgrid || w.zloop;
  if (zgrid) lay.lev = axisof(first[0], pcm, 2);
  for (int k = w.z1; w.zloop && k <= w.z2; k++) lay.lev.push_back(fnworld(pcm->dfile, 2, k));
  if (lay.haslev) {
    // Levels that fall upward are pressures, in the millibars a descriptor
    // gives them in; any other levels are levels.
    const bool falls = lay.lev.size() > 1 && lay.lev[1] < lay.lev[0];
    lay.levunits = falls ? "millibar" : "level";
    lay.levpositive = falls ? "down" : "up";
  }
  double perunit;
  timeunits(pcm->dfile, &lay, &perunit);
  lay.title = pcm->dfile->title;
  const int nt = w.tloop ? w.t2 - w.t1 + 1 : 1;
  lay.steps = static_cast<size_t>(nt);
  const int nzl = w.zloop ? w.z2 - w.z1 + 1 : 1;
  const size_t nzs = zgrid ? lay.lev.size() : 1;

  ncsave f;
  if (!f.open(fname.c_str(), lay)) {
    return fail();
  }
  for (int t = 0; t < nt; t++) {
    evalstat step = base;
    if (w.tloop) fnsetdim(&step, 3, w.t1 + t);
    if (!f.puttime(static_cast<size_t>(t), timevalue(pcm->dfile, step.tmin, perunit))) {
      return fail();
    }
    for (int z = 0; z < nzl; z++) {
      if (w.zloop) fnsetdim(&step, 2, w.z1 + z);
      for (size_t v = 0; v < items.size(); v++) {
        // The first step's grids are those evaluated above.
        gridres* g = first[v];
        first[v] = nullptr;
        if (!g) g = evalone(items[v].expr, &step, &shape);
        const bool done =
            g && putgrid(&f, v, static_cast<size_t>(t), static_cast<size_t>(z), nzs, g, lay.vars[v].fill);
        omgfre(g);
        if (!done || omqsig()) return fail();
      }
    }
  }
  return f.close() ? 0 : 1;
}
