// Variable references: a name with an optional file number and dimension
// overrides, turned into a grid request in grid indexes and read.
#include "expr/varprs.h"

#include <cmath>
#include <cstring>
#include <string>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "expr/defvar.h"
#include "expr/evalstat.h"
#include "expr/omfunc.h"
#include "expr/varread.h"

namespace {

constexpr int VNAMMAX = 17;

// The predefined coordinate variables; the grid reader fills them with the
// coordinate values of the dimension named by the offset.
filevar makepre(int dim) {
  filevar v;
  v.abbrv = dim == 0 ? "lon" : (dim == 1 ? "lat" : "lev");
  v.levels = -999;
  v.offset = dim;
  return v;
}
filevar prelon = makepre(0);
filevar prelat = makepre(1);
filevar prelev = makepre(2);

bool isstation(const datafile* pfi) { return pfi->type == 2 || pfi->type == 3; }

bool varying(const evalstat* pst, int d) { return pst->idim == d || pst->jdim == d; }

// Converts a bound to the nearest integer grid index the way requests do:
// 0.1 towards the sign, then truncation.  False when the value is no
// usable grid coordinate at all (not finite, or beyond any axis).
bool gridint(double v, int* out) {
  if (!std::isfinite(v) || std::fabs(v) > 1e9) return false;
  *out = static_cast<int>(v < 0 ? v - 0.1 : v + 0.1);
  return true;
}

// The wind component a variable holds: 'u', 'v' or 0 (GRIB1 parameters 33
// and 34, GRIB2 discipline 0, category 2, numbers 2 and 3).
int windcomp(const filevar& v) {
  const g2codes& g = v.g2;
  if (g.disc >= 0) return g.disc == 0 && g.cat == 2 && (g.num == 2 || g.num == 3) ? (g.num == 2 ? 'u' : 'v') : 0;
  return v.units[0] == 33 ? 'u' : v.units[0] == 34 ? 'v' : 0;
}

// Partner component of a rotated wind: the first variable with the other
// parameter and the same remaining codes.
filevar* windpartner(datafile* pfi, filevar* pvar) {
  const int want = windcomp(*pvar) == 'u' ? 'v' : 'u';
  const g2codes& a = pvar->g2;
  for (auto& v : pfi->pvar1) {
    if (windcomp(v) != want) continue;
    const g2codes& b = v.g2;
    if (a.disc >= 0 ? a.ltype == b.ltype && a.haslev == b.haslev && a.lev == b.lev && a.stat == b.stat &&
                          a.period == b.period && a.member == b.member
                    : v.units[1] == pvar->units[1] && v.units[2] == pvar->units[2] && v.units[3] == pvar->units[3])
      return &v;
  }
  return nullptr;
}

// Turns grid-relative winds to earth-relative ones in place.
void windrotate(gridres* pgr, gridres* partner, datafile* pfi, bool isu) {
  gridres* ug = isu ? pgr : partner;
  gridres* vg = isu ? partner : pgr;
  const int nx = pfi->dnum[0], ny = pfi->dnum[1];
  int x = pgr->dimmin[0], y = pgr->dimmin[1];
  for (int j = 0; j < pgr->jsiz; j++) {
    if (pgr->idim == 0) x = pgr->dimmin[0];
    if (pgr->idim == 1) y = pgr->dimmin[1];
    for (int i = 0; i < pgr->isiz; i++) {
      size_t k = static_cast<size_t>(j) * pgr->isiz + i;
      float u = ug->grid[k], v = vg->grid[k];
      float& out = pgr->grid[k];
      if (u == ug->undef || v == vg->undef || x < 1 || x > nx || y < 1 || y > ny) {
        out = pgr->undef;
      } else {
        size_t a = static_cast<size_t>(y - 1) * nx + (x - 1);
        float ang = a < pfi->ppw.size() ? pfi->ppw[a] : -999.0f;
        if (ang < -900.0f) {
          out = pgr->undef;
        } else if (ang != 0.0f) {
          double s = std::sin(ang), c = std::cos(ang);
          out = static_cast<float>(isu ? u * c - v * s : u * s + v * c);
        }
      }
      if (pgr->idim == 0) x++;
      if (pgr->idim == 1) y++;
    }
    if (pgr->jdim == 1) y++;
  }
}

// Grid bounds of the environment on a file as floating grid coordinates,
// the varying dimensions rounded out to whole indexes.  Returns the first
// varying dimension whose range does not increase, or -1.
int gridbounds(const datafile* pfi, const evalstat* pst, double gmin[4], double gmax[4]) {
  for (int d = 0; d < 3; d++) {
    if (pfi->ab2gr[d] && pfi->abvals[d]) {
      gmin[d] = pfi->ab2gr[d](pfi->abvals[d], pst->dmin[d]);
      gmax[d] = pfi->ab2gr[d](pfi->abvals[d], pst->dmax[d]);
    } else {
      gmin[d] = gmax[d] = 1.0;
    }
  }
  if (pfi->abvals[3]) {
    gmin[3] = t2gr(pfi->abvals[3], &pst->tmin);
    gmax[3] = t2gr(pfi->abvals[3], &pst->tmax);
  } else {
    gmin[3] = gmax[3] = 1.0;
  }
  for (int d = 0; d < 4; d++) {
    if (!varying(pst, d)) continue;
    gmin[d] = std::floor(gmin[d] + 0.0001);
    gmax[d] = std::ceil(gmax[d] - 0.0001);
    if (!(gmax[d] > gmin[d])) return d;
  }
  return -1;
}

// Grid indexes of the bounds.  Returns the first dimension whose bounds
// are no whole index (levels of a surface variable are index 1), or -1.
int gridindexes(const double gmin[4], const double gmax[4], const filevar* pvar, int imin[4],
                int imax[4]) {
  for (int d = 0; d < 4; d++) {
    bool usable = gridint(gmin[d], &imin[d]) && gridint(gmax[d], &imax[d]);
    bool surface = d == 2 && pvar && pvar->levels == 0;
    if (!usable && surface) imin[d] = imax[d] = 1;
    if (!surface && (!usable || std::fabs(gmin[d] - imin[d]) > 0.001 ||
                     std::fabs(gmax[d] - imax[d]) > 0.001))
      return d;
  }
  return -1;
}

// Fills a request record for the grid of indexes imin..imax of a variable
// with the status's varying dimensions.
void fillrequest(gridres* pgr, datafile* pfi, filevar* pvar, const evalstat* pst, const int imin[4],
                 const int imax[4]) {
  pgr->pfi = pfi;
  pgr->undef = pfi->undef;
  pgr->pvar = pvar;
  pgr->idim = pst->idim;
  pgr->jdim = pst->jdim;
  pgr->iwrld = pgr->jwrld = 0;
  for (int d = 0; d < 4; d++) {
    pgr->dimmin[d] = imin[d];
    pgr->dimmax[d] = imax[d];
  }
  pgr->umask = 0;
  pgr->alocf = 0;
  pgr->ilinr = pgr->jlinr = 1;
  if (pgr->idim >= 0) {
    int d = pgr->idim;
    pgr->ilinr = pfi->linear[d];
    if (d < 3) {
      pgr->igrab = pfi->gr2ab[d];
      pgr->iabgr = pfi->ab2gr[d];
    }
    pgr->ivals = pfi->grvals[d];
    pgr->iavals = pfi->abvals[d];
  }
  if (pgr->jdim >= 0) {
    int d = pgr->jdim;
    pgr->jlinr = pfi->linear[d];
    if (d < 3) {
      pgr->jgrab = pfi->gr2ab[d];
      pgr->jabgr = pfi->ab2gr[d];
    }
    pgr->jvals = pfi->grvals[d];
    pgr->javals = pfi->abvals[d];
  }
}

// The variable of that name among a file's variables, or null.
filevar* filevarnamed(datafile* pfi, const char* name) {
  for (auto& v : pfi->pvar1)
    if (cmpwrd(name, v.abbrv.c_str())) return &v;
  return nullptr;
}

// The name of a reference (at most VNAMMAX characters) into name; returns
// the position after it.
const char* refname(const char* p, char name[VNAMMAX + 1]) {
  int n = 0;
  while (n < VNAMMAX && ((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9') || *p == '_'))
    name[n++] = *p++;
  name[n] = '\0';
  return p;
}

// Reads the grid of a request, with wind rotation where the file asks.
bool readgrid(gridres* pgr, datafile* pfi, filevar* pvar, const std::string& vnam) {
  bool rotate = pvar && pfi->ppflag && pfi->ppwrot && windcomp(*pvar) != 0;
  gridres copy;
  if (rotate) copy = *pgr;
  int rc = omvread(pgr);
  if (rc > 0) {
    varreadfailed(vnam.c_str());
    omgfre(pgr);
    return false;
  }
  if (rc < 0) omprntf(2, "  Warning issued for variable = %s\n", vnam.c_str());
  if (!rotate) return true;
  filevar* partner = windpartner(pfi, pvar);
  size_t n = static_cast<size_t>(pgr->isiz) * pgr->jsiz;
  if (!partner) {
    for (size_t k = 0; k < n; k++) pgr->grid[k] = pgr->undef;
    return true;
  }
  gridres* pg2 = omgnew();
  if (!pg2) {
    omprnt(0, "Memory allocation error: Data I/O \n");
    omgfre(pgr);
    return false;
  }
  *pg2 = copy;
  pg2->grid = nullptr;
  pg2->pvar = partner;
  rc = omvread(pg2);
  if (rc > 0) {
    varreadfailed(vnam.c_str());
    omgfre(pgr);
    omgfre(pg2);
    return false;
  }
  windrotate(pgr, pg2, pfi, windcomp(*pvar) == 'u');
  omgfre(pg2);
  return true;
}

}  // namespace

void varreadfailed(const char* vnam) {
  omprntf(0, "Data Request Error:  Error for variable '%s'\n", vnam);
}

datafile* getdfn(const char* name, evalstat* pst) {
  defvar* d = pst->defs ? deffind(*pst->defs, name) : nullptr;
  return d ? d->pfi : nullptr;
}

const char* varprs(const char* p, evalstat* pst) {
  char name[VNAMMAX + 1];
  p = refname(p, name);
  std::string vnam = name;

  int fnum = 0;
  if (*p == '.') {
    const char* q = intprs(p + 1, &fnum);
    if (!q || fnum < 1) {
      omprntf(0, "Syntax error: Bad file number for variable %s \n", name);
      return nullptr;
    }
    vnam.append(p, q - p);
    p = q;
  }

  datafile* pfi = nullptr;
  filevar* pvar = nullptr;
  if (!fnum) pfi = getdfn(name, pst);
  if (!pfi) {
    if (fnum) {
      pfi = pst->filehead;
      for (int i = 1; i < fnum && pfi; i++) pfi = pfi->pforw;
      if (!pfi) {
        omprnt(0, "Data Request Error:  File number out of range \n");
        omprntf(0, "  Variable = %s \n", vnam.c_str());
        return nullptr;
      }
    } else {
      pfi = pst->dfile;
    }
    if (!pfi) {
      // Only reachable when no file is open at all: the name can still be
      // a function of constants.
      return rtnprs(p, name, pst);
    }
    if (cmpwrd(name, "lat") || cmpwrd(name, "lon") || cmpwrd(name, "lev")) {
      if (isstation(pfi)) {
        omprntf(0, "Data Request Error:  Predefined variable %s\n", vnam.c_str());
        omprnt(0, "   is only defined for grid type files\n");
        omprntf(0, "   File %i is a station file\n", fnum ? fnum : pst->dfilenum);
        return nullptr;
      }
      pvar = cmpwrd(name, "lon") ? &prelon : (cmpwrd(name, "lat") ? &prelat : &prelev);
    } else {
      pvar = filevarnamed(pfi, name);
      if (!pvar) {
        if (fnum) {
          omprnt(0, "Data Request Error:  Invalid variable name \n");
          omprntf(0, "  Variable '%s' not found in file %i\n", vnam.c_str(), fnum);
          return nullptr;
        }
        return rtnprs(p, name, pst);
      }
    }
  }

  if (isstation(pfi)) return stnvar(p, vnam.c_str(), pfi, pvar, pst);

  double gmin[4], gmax[4];
  const int down = gridbounds(pfi, pst, gmin, gmax);
  if (down >= 0) {
    omprnt(0, "Data Request Error: Invalid grid coordinates\n");
    omprntf(0, "  Varying dimension %i decreases: %g to %g \n", down, gmin[down], gmax[down]);
    omprntf(0, "  Error ocurred getting variable '%s'\n", vnam.c_str());
    return nullptr;
  }

  if (*p == '(') {
    p++;
    bool seen[4] = {false, false, false, false};
    while (*p != ')') {
      if (*p == '\0' || *p == '\n') {
        omprnt(0, "Syntax Error:  Invalid dimension expression\n");
        omprnt(0, "  Missing ')' after the dimension expressions\n");
        omprntf(0, "  Variable name = %s\n", vnam.c_str());
        return nullptr;
      }
      int dim, wflag;
      float gval;
      const char* q = dimprs(p, pst, pfi, &dim, &gval, 1, &wflag);
      if (!q) {
        omprntf(0, "  Variable name = %s\n", vnam.c_str());
        return nullptr;
      }
      if (seen[dim]) {
        omprnt(0, "Syntax Error: Invalid dimension expression\n");
        omprnt(0, "  Same dimension specified multiple times ");
        omprntf(0, "for variable = %s\n", vnam.c_str());
        return nullptr;
      }
      seen[dim] = true;
      if (varying(pst, dim)) {
        omprnt(0, "Data Request Error: Invalid dimension expression\n");
        omprnt(0, "  Attempt to set or modify varying dimension\n");
        omprntf(0, "  Variable = %s, Dimension = %i \n", vnam.c_str(), dim);
        return nullptr;
      }
      gmin[dim] = gmax[dim] = gval;
      p = q;
      if (*p == ',') p++;
    }
    p++;
  }

  if (pfi->type == 4)
    for (int d = 0; d < 4; d++)
      if (pfi->dnum[d] == 1) gmin[d] = gmax[d] = 0.0;

  int imin[4], imax[4];
  const int bad = gridindexes(gmin, gmax, pvar, imin, imax);
  if (bad >= 0) {
    omprnt(0, "Data Request Error: Invalid grid coordinates\n");
    omprnt(0, "  World coordinates convert to non-integer");
    omprnt(0, " grid coordinates\n");
    omprntf(0, "    Variable = %s  Dimension = %i \n", vnam.c_str(), bad);
    return nullptr;
  }

  gridres* pgr = omgnew();
  if (!pgr) {
    omprnt(0, "Memory Allocation Error:  Grid Request Block\n");
    return nullptr;
  }
  fillrequest(pgr, pfi, pvar, pst, imin, imax);
  if (!readgrid(pgr, pfi, pvar, vnam)) return nullptr;
  pst->result.pgr = pgr;
  pst->type = 1;
  return p;
}

bool varrequest(const char* text, evalstat* pst, gridres* req) {
  char name[VNAMMAX + 1];
  const char* p = refname(text, name);
  if (p == text || name[0] < 'a' || name[0] > 'z') return false;
  int fnum = 0;
  if (*p == '.') {
    p = intprs(p + 1, &fnum);
    if (!p || fnum < 1) return false;
  }
  if (*p != '\0' || (!fnum && getdfn(name, pst))) return false;
  datafile* pfi = pst->dfile;
  if (fnum) {
    pfi = pst->filehead;
    for (int i = 1; i < fnum && pfi; i++) pfi = pfi->pforw;
  }
  if (!pfi || pfi->type != 1 || cmpwrd(name, "lat") || cmpwrd(name, "lon") || cmpwrd(name, "lev"))
    return false;
  filevar* pvar = filevarnamed(pfi, name);
  if (!pvar) return false;
  double gmin[4], gmax[4];
  int imin[4], imax[4];
  if (gridbounds(pfi, pst, gmin, gmax) >= 0 || gridindexes(gmin, gmax, pvar, imin, imax) >= 0)
    return false;
  *req = gridres{};
  fillrequest(req, pfi, pvar, pst, imin, imax);
  return true;
}
