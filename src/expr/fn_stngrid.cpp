// Grids to stations (gr2stn), collections of station profiles to a
// longitude-level grid (coll2gr), and station values to grids by
// successive corrections (oacres) or by nearest-box averages (oabin).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/axisconv.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "data/omgstn.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/fn_stn.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

// World value of grid coordinate g along the i (0) or j (1) axis of a grid.
double gworld(const gridres* pgr, int ax, double g) {
  omaxisfn fn = ax == 0 ? pgr->igrab : pgr->jgrab;
  float* v = ax == 0 ? pgr->ivals : pgr->jvals;
  return (fn && v) ? fn(v, g) : g;
}

// Grid coordinate of world value w along the i (0) or j (1) axis.
double ggrid(const gridres* pgr, int ax, double w) {
  omaxisfn fn = ax == 0 ? pgr->iabgr : pgr->jabgr;
  float* v = ax == 0 ? pgr->iavals : pgr->javals;
  return (fn && v) ? fn(v, w) : w;
}

// A whole argument read as a number.
bool wholeval(const char* text, float* v) {
  const char* q = fnvalue(text, v);
  return q && *q == '\0';
}

// Takes the grid result out of a status.
gridres* takegrid(evalstat* pst) {
  gridres* g = pst->result.pgr;
  pst->result.pgr = nullptr;
  return g;
}

stnlist* takestn(evalstat* pst) {
  stnlist* s = pst->result.stn;
  pst->result.stn = nullptr;
  return s;
}

// Evaluates the grid argument of GR2STN; 0 with the grid taken out of the
// status, else the code to return (station data refused, messages printed).
int g2sgrid(const char* text, evalstat* pst, gridres** out) {
  int rc = omexpr(text, pst);
  if (rc) return rc;
  if (pst->type == 0) {
    omprnt(0, "Error from GR2STN: 1st argument must be a grid\n");
    omfree(pst);
    return 1;
  }
  *out = takegrid(pst);
  return 0;
}

// Extent of a grid that varies in X and Y: first and last longitude and
// latitude and the spacing.  False when it has fewer than two points on an
// axis (no spacing).
struct xyext {
  double lon1, lon2, lat1, lat2, dx, dy;
};

bool gridext(const gridres* pgr, xyext* e) {
  if (pgr->isiz < 2 || pgr->jsiz < 2) return false;
  e->lon1 = gworld(pgr, 0, pgr->dimmin[0]);
  e->lon2 = gworld(pgr, 0, pgr->dimmax[0]);
  e->lat1 = gworld(pgr, 1, pgr->dimmin[1]);
  e->lat2 = gworld(pgr, 1, pgr->dimmax[1]);
  e->dx = (e->lon2 - e->lon1) / (pgr->isiz - 1.0);
  e->dy = (e->lat2 - e->lat1) / (pgr->jsiz - 1.0);
  return e->dx != 0.0 && e->dy != 0.0 && std::isfinite(e->dx) && std::isfinite(e->dy);
}

// Longitude brought once into the grid's range by 360 degrees.
double wraplon(double lon, const xyext& e) {
  if (lon < e.lon1) return lon + 360.0;
  if (lon > e.lon2) return lon - 360.0;
  return lon;
}

// ---- gr2stn ----

// The place of a station series: from the first report of a station
// list, or a longitude expression and a latitude number.
struct g2splace {
  float lon, lat;
  char id[8];
};

int g2slocate(fargs* pfa, evalstat* pst, g2splace* at) {
  int rc = omexpr(pfa->argpnt[1], pst);
  if (rc) return rc;
  if (pst->type == 0) {
    stnlist* s = takestn(pst);
    if (!s->rpt) {
      omprnt(0, "Error from GR2STN:  2nd argument has no stations\n");
      omsfre(s);
      return 1;
    }
    at->lon = s->rpt->lon;
    at->lat = s->rpt->lat;
    std::memcpy(at->id, s->rpt->stid, 8);
    omsfre(s);
    return 0;
  }
  gridres* g = takegrid(pst);
  if (g->idim != -1) {
    omprnt(0, "Error in GR2STN:  2nd arg invalid\n");
    omgfre(g);
    return 1;
  }
  at->lon = g->grid[0];
  omgfre(g);
  if (pfa->argnum < 3) {
    omprnt(0, "Error in GR2STN:  3rd Argument Required\n");
    return 1;
  }
  if (!wholeval(pfa->argpnt[2], &at->lat)) {
    omprnt(0, "Error from GR2STN:  3rd argument invalid. \n");
    return 1;
  }
  std::memset(at->id, 'x', 8);
  return 0;
}

// The empty result list of a series shaped like the grid expression
// (T: its times; Z: its level indexes; neither: one report).  Null after
// the message.
stnlist* g2snewlist(const gridres* shape, const evalstat* pst, const g2splace& at, int k1,
                    int k2) {
  stnlist* stn = static_cast<stnlist*>(std::calloc(1, sizeof(stnlist)));
  float* tv = stn ? static_cast<float*>(std::malloc(TAXIS_FLOATS * sizeof(float))) : nullptr;
  if (!tv) {
    omprnt(0, "Memory Allocation Error:  Station Request Block \n");
    std::free(stn);
    return nullptr;
  }
  stn->tvals = tv;
  stn->tail = &stn->rpt;
  stn->rptcnt = STNBLKSZ;
  stn->blkcnt = -1;
  stn->idim = shape->idim;
  stn->jdim = -1;
  stn->undef = shape->undef;
  stn->dmin[0] = stn->dmax[0] = at.lon;
  stn->dmin[1] = stn->dmax[1] = at.lat;
  stn->radius = 1.0f;
  stn->sflag = 1;
  std::memcpy(stn->stid, at.id, 8);
  if (shape->idim == 3 && shape->ivals) {
    std::memcpy(tv, shape->ivals, TAXIS_FLOATS * sizeof(float));
    stn->tmin = k1;
    stn->tmax = k2;
    stn->dmin[2] = stn->dmax[2] = pst->dmin[2];
    return stn;
  }
  const datetime& t = pst->tmin;
  const float fixed[TAXIS_FLOATS] = {static_cast<float>(t.yr), static_cast<float>(t.mo),
                                     static_cast<float>(t.dy), static_cast<float>(t.hr),
                                     static_cast<float>(t.mn), 0.0f, 1.0f, AXEND};
  std::memcpy(tv, fixed, sizeof fixed);
  stn->tmin = stn->tmax = 1;
  if (shape->idim == 2) {
    stn->dmin[2] = static_cast<float>(k1);
    stn->dmax[2] = static_cast<float>(k2);
  } else {
    stn->dmin[2] = stn->dmax[2] = pst->dmin[2];
  }
  return stn;
}

// The grid expression at the place for the step already set in pst; 0
// with the value, else the code to return (messages printed).
int g2sstepval(const char* text, evalstat* pst, const g2splace& at, float out, float* val) {
  gridres* h = nullptr;
  int rc = g2sgrid(text, pst, &h);
  if (rc) return rc;
  *val = out;
  if (h->idim == 0 && h->jdim == 1) {
    double x = ggrid(h, 0, at.lon) - h->dimmin[0];
    double y = ggrid(h, 1, at.lat) - h->dimmin[1];
    *val = g2sbilin(h->grid, h->isiz, h->jsiz, h->undef, x, y, out);
  } else if (h->idim == -1 && h->grid[0] != h->undef) {
    *val = h->grid[0];
  }
  omgfre(h);
  return 0;
}

// Station series at one location, through the levels or times of the
// grid expression.
int ffg2s2(fargs* pfa, evalstat* pst) {
  g2splace at;
  int rc = g2slocate(pfa, pst, &at);
  if (rc) return rc;

  gridres* shape = nullptr;
  rc = g2sgrid(pfa->argpnt[0], pst, &shape);
  if (rc) return rc;
  int k1 = 1, k2 = 1;
  if (shape->idim == 3 || shape->idim == 2) {
    k1 = shape->dimmin[shape->idim];
    k2 = shape->dimmax[shape->idim];
  } else if (shape->idim != -1) {
    omprnt(0, "Error from GR2STN:  Logic Error 4\n");
    omgfre(shape);
    return 1;
  }
  stnlist* stn = g2snewlist(shape, pst, at, k1, k2);
  if (!stn) {
    omgfre(shape);
    return 1;
  }

  // Each step reads the grid in a small box around the place.
  pst->idim = 0;
  pst->jdim = 1;
  pst->dmin[0] = at.lon;
  pst->dmax[0] = at.lon + 0.1f;
  pst->dmin[1] = at.lat;
  pst->dmax[1] = at.lat + 0.1f;
  for (int k = k1; k <= k2 && rc == 0; k++) {
    float lev = stn->dmin[2];
    if (shape->idim == 2) {
      lev = static_cast<float>(gworld(shape, 0, k));
      pst->dmin[2] = pst->dmax[2] = lev;
    } else if (shape->idim == 3 && shape->ivals) {
      gr2t(shape->ivals, k, &pst->tmin);
      pst->tmax = pst->tmin;
    }
    float val;
    rc = g2sstepval(pfa->argpnt[0], pst, at, stn->undef, &val);
    if (rc) break;
    stnrpt* r = omarpt(stn);
    if (!r) {
      omprnt(0, "Memory Allocation Error:  Station Block \n");
      rc = 1;
      break;
    }
    r->lat = at.lat;
    r->lon = at.lon;
    r->lev = lev;
    r->tim = shape->idim == 2 ? 1.0f : static_cast<float>(k);
    r->val = val;
    std::memcpy(r->stid, at.id, 8);
    stn->rnum++;
  }
  omgfre(shape);
  if (rc) {
    omsfre(stn);
    return rc;
  }
  pst->result.stn = stn;
  pst->type = 0;
  pst->idim = stn->idim;
  pst->jdim = -1;
  return 0;
}

// ---- argument checks shared by oacres and oabin ----

struct oanames {
  const char *cnt1, *cnt2, *grid, *vary, *lin, *stns;
};

const oanames OACRN = {"Error from OACRES:  Too many or too few args \n",
                       "                    Two arguments expected \n",
                       "Error from OACRES: 1st argument must be a grid\n",
                       "Error from OACRES: Grid must vary in X, Y\n",
                       "Error from OACRES: Grid must have linear scaling\n",
                       "Error from OACRES: 2nd argument must be stns\n"};
const oanames OABNN = {"Error from OABIN:  Too many or too few args \n",
                       "                   Two arguments expected \n",
                       "Error from OABIN: 1st argument must be a grid\n",
                       "Error from OABIN: Grid must vary in X, Y\n",
                       "Error from OABIN: Grid must have linear scaling\n",
                       "Error from OABIN: 2nd argument must be stns\n"};

// Ends an analysis of stations onto a grid: the stations are released, and
// the grid becomes the result when the analysis (code rc) succeeded.
int oadone(int rc, gridres* pgr, stnlist* stn, evalstat* pst) {
  omsfre(stn);
  if (rc) {
    omgfre(pgr);
    return 1;
  }
  ommnmx(pgr);
  pst->result.pgr = pgr;
  pst->type = 1;
  return 0;
}

// Evaluates the grid and the station arguments; 0 with both held, else
// the code to return (messages printed, nothing held).
int oaargs(fargs* pfa, evalstat* pst, int maxargs, const oanames& nm, gridres** pgr,
           stnlist** stn) {
  if (pfa->argnum < 2 || (maxargs > 0 && pfa->argnum > maxargs)) {
    omprnt(0, nm.cnt1);
    omprnt(0, nm.cnt2);
    return 1;
  }
  int rc = omexpr(pfa->argpnt[0], pst);
  if (rc) return rc;
  if (pst->type == 0) {
    omprnt(0, nm.grid);
    omfree(pst);
    return 1;
  }
  gridres* g = takegrid(pst);
  xyext e;
  if (g->idim != 0 || g->jdim != 1 || !gridext(g, &e)) {
    omprnt(0, nm.vary);
    omgfre(g);
    return 1;
  }
  if (!g->ilinr || !g->jlinr) {
    omprnt(0, nm.lin);
    omgfre(g);
    return 1;
  }
  evalstat st2 = *pst;
  rc = omexpr(pfa->argpnt[1], &st2);
  if (rc) {
    omgfre(g);
    return rc;
  }
  if (st2.type != 0) {
    omprnt(0, nm.stns);
    omfree(&st2);
    omgfre(g);
    return 1;
  }
  *pgr = g;
  *stn = takestn(&st2);
  return 0;
}

// Radii of oacres from the arguments after the station expression.
void oaradii(fargs* pfa, std::vector<float>* radii, float* fguess) {
  *radii = cresdefault();
  if (pfa->argnum <= 2) return;
  int n = pfa->argnum - 2;
  if (n > 30) {
    omprnt(1, "Warning from OACRES:  Using 30 pass radii\n");
    n = 30;
  }
  std::vector<float> got;
  for (int i = 0; i < n; i++) {
    float v;
    if (!wholeval(pfa->argpnt[i + 2], &v)) {
      omprnt(0, "Error from OACRES:  Radii must be constant\n");
      omprnt(0, "                    Using default radii\n");
      return;
    }
    if (v < 0.0f) {
      if (i + 2 != pfa->argnum - 2) {
        omprnt(0, "Error from OACRES:  Improper setting of 1st guess\n");
        omprnt(0, "                    Must provide the value or make the value the last argument\n");
        omprnt(0, "                    Using default radii\n");
        return;
      }
      float fg;
      if (!wholeval(pfa->argpnt[pfa->argnum - 1], &fg)) {
        omprnt(0, "Error from OACRES:  Improper setting of 1st guess\n");
        omprnt(0, "                    Bad value\n");
        omprnt(0, "                    Using default radii\n");
        return;
      }
      *fguess = fg;
      if (!got.empty()) *radii = got;
      return;
    }
    if (v < 0.01f || v > 50.0f) {
      omprnt(0, "Error from OACRES:  Radii must be 0<radii<50\n");
      omprnt(0, "                    Using default radii\n");
      return;
    }
    got.push_back(v);
  }
  if (!got.empty()) *radii = got;
}

// ---- coll2gr ----

// Builds the longitude-level grid; null after the message.
gridres* clggrid(collnode* head, int nlists, const std::vector<float>& levs, bool skipundef,
                 const evalstat* pst, int zdim) {
  const int nl = static_cast<int>(levs.size());
  gridres* g = omgnew();
  if (!g) return nullptr;
  float* data = omgalo(g, static_cast<size_t>(nlists) * nl);
  if (!data) {
    omprnt(0, "Memory allocation error: collection gridding\n");
    omgfre(g);
    return nullptr;
  }
  g->idim = 0;
  g->jdim = zdim;
  g->isiz = nlists;
  g->jsiz = nl;
  g->undef = head->stn->undef;
  int i = 0;
  for (collnode* c = head; c; c = c->next, i++)
    for (int j = 0; j < nl; j++)
      data[static_cast<size_t>(j) * nlists + i] = clgprofile(c->stn, levs[j], skipundef, g->undef);

  float* xa = static_cast<float*>(std::malloc((nlists + 2) * sizeof(float)));
  float* za = static_cast<float*>(std::malloc((nl + 2) * sizeof(float)));
  if (!xa || !za) {
    omprnt(0, "Memory Allocation Error:  display collection\n");
    std::free(xa);
    std::free(za);
    omgfre(g);
    return nullptr;
  }
  xa[0] = static_cast<float>(nlists);
  const double lo = pst->dmin[0], hi = pst->dmax[0];
  for (int k = 1; k <= nlists; k++)
    xa[k] = nlists > 1 ? static_cast<float>(lo + (k - 1) * (hi - lo) / (nlists - 1)) : pst->dmin[0];
  xa[nlists + 1] = AXEND;
  za[0] = static_cast<float>(nl);
  for (int k = 0; k < nl; k++) za[k + 1] = levs[k];
  za[nl + 1] = AXEND;
  g->iwrld = 1;
  g->jwrld = 0;
  g->dimmin[0] = 1;
  g->dimmax[0] = nlists;
  g->dimmin[zdim] = 1;
  g->dimmax[zdim] = nl;
  g->umask = 0;
  g->ilinr = g->jlinr = 0;
  g->alocf = 1;
  g->ivals = g->iavals = xa;
  g->jvals = g->javals = za;
  g->igrab = g->jgrab = gr2lev;
  g->iabgr = g->jabgr = lev2gr;
  ommnmx(g);
  return g;
}

}  // namespace

// ---- routines ----

float g2sbilin(const float* grid, int isiz, int jsiz, float undef, double x, double y,
               float out) {
  if (!std::isfinite(x) || !std::isfinite(y) || x < 0.0 || y < 0.0) return out;
  if (x > isiz - 1.0 || y > jsiz - 1.0) return out;
  int ix = static_cast<int>(x), iy = static_cast<int>(y);
  // A point on the last row or column is read from the cell before it.
  if (ix >= isiz - 1) ix = isiz - 2;
  if (iy >= jsiz - 1) iy = jsiz - 2;
  if (ix < 0 || iy < 0) return out;
  const float* p = grid + static_cast<size_t>(iy) * isiz + ix;
  float v00 = p[0], v10 = p[1], v01 = p[isiz], v11 = p[isiz + 1];
  if (v00 == undef || v10 == undef || v01 == undef || v11 == undef) return out;
  double fx = x - ix, fy = y - iy;
  double a = v00 + (v10 - v00) * fx;
  double b = v01 + (v11 - v01) * fx;
  return static_cast<float>(a + (b - a) * fy);
}

void g2slist(const gridres* pgr, stnlist* stn) {
  xyext e;
  bool ok = gridext(pgr, &e);
  for (stnrpt* r = stn->rpt; r; r = r->rpt) {
    if (!ok) {
      r->val = stn->undef;
      continue;
    }
    double lon = wraplon(r->lon, e), lat = r->lat;
    if (lon < e.lon1 || lon >= e.lon2 || lat < e.lat1 || lat >= e.lat2) {
      r->val = stn->undef;
      continue;
    }
    r->val = g2sbilin(pgr->grid, pgr->isiz, pgr->jsiz, pgr->undef, (lon - e.lon1) / e.dx,
                      (lat - e.lat1) / e.dy, stn->undef);
  }
}

std::vector<float> clglevels(collnode* head, int mode, int n, float lmin, float lmax,
                             bool skipundef) {
  std::vector<float> levs;
  if (mode == 1) {
    if (n < 1) return levs;
    levs.reserve(n);
    if (n == 1) {
      levs.push_back(lmin);
      return levs;
    }
    const double step = (static_cast<double>(lmax) - lmin) / (n - 1.0);
    double l = lmin;
    for (int k = 0; k < n; k++, l += step) levs.push_back(static_cast<float>(l));
    return levs;
  }
  // The bounds are taken in either order; the levels run from the highest
  // (the bottom of the atmosphere) down.
  const double hi = std::max(lmin, lmax), lo = std::min(lmin, lmax);
  const double tol = (hi - lo) / 10000.0;
  for (collnode* c = head; c; c = c->next) {
    const stnlist* s = c->stn;
    for (const stnrpt* r = s->rpt; r; r = r->rpt) {
      if (skipundef && r->val == s->undef) continue;
      const double l = r->lev;
      if (!(l >= lo && l <= hi)) continue;
      bool dup = false;
      size_t at = levs.size();
      for (size_t k = 0; k < levs.size(); k++) {
        if (std::fabs(levs[k] - l) <= tol) {
          dup = true;
          break;
        }
        if (at == levs.size() && levs[k] < l) at = k;
      }
      if (!dup) levs.insert(levs.begin() + static_cast<long>(at), r->lev);
    }
  }
  return levs;
}

float clgprofile(const stnlist* stn, float lev, bool skipundef, float out) {
  const stnrpt *below = nullptr, *above = nullptr;
  double db = 9.99e33, da = 9.99e33;
  for (const stnrpt* r = stn->rpt; r; r = r->rpt) {
    if (r->lev == lev) return r->val == stn->undef ? out : r->val;
    if (skipundef && r->val == stn->undef) continue;
    double d = std::fabs(static_cast<double>(r->lev) - lev);
    if (r->lev < lev && d < db) {
      db = d;
      below = r;
    } else if (r->lev > lev && d < da) {
      da = d;
      above = r;
    }
  }
  if (!below || !above || below->val == stn->undef || above->val == stn->undef) return out;
  double v = below->val + (static_cast<double>(above->val) - below->val) *
                              (lev - static_cast<double>(below->lev)) /
                              (static_cast<double>(above->lev) - below->lev);
  return static_cast<float>(v);
}

std::vector<float> cresdefault() { return {10.0f, 7.0f, 4.0f, 2.0f, 1.0f}; }

namespace {

// A report used by the analysis: its grid coordinates, cell and value.
struct oarpt {
  double x, y, fx, fy;
  size_t cell;
  float val;
};

std::vector<oarpt> oacells(const gridres* pgr, const stnlist* stn, bool nearest) {
  std::vector<oarpt> used;
  xyext e;
  if (!gridext(pgr, &e)) return used;
  for (const stnrpt* r = stn->rpt; r; r = r->rpt) {
    if (r->val == stn->undef) continue;
    double x = (wraplon(r->lon, e) - e.lon1) / e.dx;
    double y = (r->lat - e.lat1) / e.dy;
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e9 || std::fabs(y) > 1e9)
      continue;
    int ix, iy;
    if (nearest) {
      ix = static_cast<int>(x + 0.5);
      iy = static_cast<int>(y + 0.5);
      if (ix < 0 || ix > pgr->isiz - 1 || iy < 0 || iy > pgr->jsiz - 1) continue;
    } else {
      ix = static_cast<int>(x);
      iy = static_cast<int>(y);
      if (ix < 0 || ix >= pgr->isiz - 1 || iy < 0 || iy >= pgr->jsiz - 1) continue;
    }
    used.push_back({x, y, x - ix, y - iy, static_cast<size_t>(iy) * pgr->isiz + ix, r->val});
  }
  return used;
}

}  // namespace

int cressman(gridres* pgr, stnlist* stn, const std::vector<float>& radii, float fguess) {
  std::vector<oarpt> used;
  std::vector<float> work;
  std::vector<char> flag;
  const size_t npts = fnpts(pgr);
  try {
    used = oacells(pgr, stn, false);
    work.assign(npts, 0.0f);
    flag.assign(npts, 0);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Error in OACRES:  Unable to allocate memory\n");
    return 1;
  }
  float first;
  if (used.size() < 2) {
    omprnt(1, "Warning from OACRES:  Less than two stations\n");
    omprnt(1, "    Grid will be all missing values\n");
    first = pgr->undef;
  } else {
    double sum = 0.0;
    for (const oarpt& u : used) sum += u.val;
    first = static_cast<float>(sum / used.size());
  }
  if (std::fabs(fguess) < 1e20f) first = fguess;
  float* g = pgr->grid;
  for (size_t k = 0; k < npts; k++) g[k] = work[k] = first;
  if (first == pgr->undef) return 0;

  const int isiz = pgr->isiz, jsiz = pgr->jsiz;
  for (size_t p = 0; p < radii.size(); p++) {
    const double rad = radii[p], r2 = rad * rad;
    for (int j = 0; j < jsiz; j++)
      for (int i = 0; i < isiz; i++) {
        double s = 0.0, w = 0.0;
        for (const oarpt& u : used) {
          if (std::fabs(u.x - i) > rad || std::fabs(u.y - j) > rad) continue;
          double d = std::hypot(i - u.x, j - u.y);
          if (d > rad) continue;
          const float* c = g + u.cell;
          double a = c[0] + (c[1] - c[0]) * u.fx;
          double b = c[isiz] + (c[isiz + 1] - c[isiz]) * u.fx;
          double est = a + (b - a) * u.fy;
          double q = (r2 - d * d) / (r2 + d * d);
          s += (u.val - est) * q;
          w += q;
        }
        size_t k = static_cast<size_t>(j) * isiz + i;
        if (w > 1e-6)
          work[k] = static_cast<float>(g[k] + s / w);
        else if (p == 2)
          flag[k] = 1;
      }
    std::memcpy(g, work.data(), npts * sizeof(float));
  }
  for (size_t k = 0; k < npts; k++)
    if (flag[k]) g[k] = pgr->undef;
  return 0;
}

int oabinning(gridres* pgr, stnlist* stn, int mode) {
  std::vector<oarpt> used;
  std::vector<int> cnt;
  const size_t npts = fnpts(pgr);
  try {
    used = oacells(pgr, stn, true);
    cnt.assign(npts, 0);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Error in OABIN:  Unable to allocate memory\n");
    return 1;
  }
  float* g = pgr->grid;
  for (size_t k = 0; k < npts; k++) g[k] = 0.0f;
  for (const oarpt& u : used) {
    if (mode == 2 && cnt[u.cell] >= 2) continue;
    g[u.cell] += u.val;
    cnt[u.cell]++;
  }
  for (size_t k = 0; k < npts; k++) {
    if (cnt[k] < 1)
      g[k] = pgr->undef;
    else if (mode == 1)
      g[k] = static_cast<float>(cnt[k]);
    else
      g[k] = g[k] / cnt[k];
  }
  return 0;
}

// ---- handlers ----

int ffg2s(fargs* pfa, evalstat* pst) {
  if (pfa->argnum < 2 || pfa->argnum > 3) {
    omprnt(0, "Error from GR2STN:  Too many or too few args \n");
    omprnt(0, "                    Two arguments expected \n");
    return 1;
  }
  if ((pst->idim == -1 || pst->idim > 1) && pst->jdim == -1) return ffg2s2(pfa, pst);
  gridres* pgr = nullptr;
  int rc = g2sgrid(pfa->argpnt[0], pst, &pgr);
  if (rc) return rc;
  if (pgr->idim != 0 || pgr->jdim != 1) {
    omprnt(0, "Error from GR2STN: Grid must vary in Z or T\n");
    omgfre(pgr);
    return 1;
  }
  if (!pgr->ilinr || !pgr->jlinr) {
    omprnt(0, "Error from GR2STN: Grid must have linear scaling\n");
    omgfre(pgr);
    return 1;
  }
  rc = omexpr(pfa->argpnt[1], pst);
  if (rc) {
    omgfre(pgr);
    return rc;
  }
  if (pst->type != 0) {
    omprnt(0, "Error from GR2STN: 2nd argument must be stns\n");
    omfree(pst);
    omgfre(pgr);
    return 1;
  }
  g2slist(pgr, pst->result.stn);
  omgfre(pgr);
  return 0;
}

int ffoacr(fargs* pfa, evalstat* pst) {
  gridres* pgr = nullptr;
  stnlist* stn = nullptr;
  int rc = oaargs(pfa, pst, 0, OACRN, &pgr, &stn);
  if (rc) return rc;
  std::vector<float> radii;
  float fguess = -1e20f;
  oaradii(pfa, &radii, &fguess);
  return oadone(cressman(pgr, stn, radii, fguess), pgr, stn, pst);
}

int ffoabn(fargs* pfa, evalstat* pst) {
  gridres* pgr = nullptr;
  stnlist* stn = nullptr;
  int rc = oaargs(pfa, pst, 3, OABNN, &pgr, &stn);
  if (rc) return rc;
  int mode = 0;
  if (pfa->argnum > 2) {
    const char* f = pfa->argpnt[2];
    if (std::strncmp(f, "-c", 2) == 0)
      mode = 1;
    else if (std::strncmp(f, "-f", 2) == 0)
      mode = 2;
    else
      omprnt(1, "Warning from OABIN: Invalid flag.  Ignored.\n");
  }
  return oadone(oabinning(pgr, stn, mode), pgr, stn, pst);
}

int ffclgr(fargs* pfa, evalstat* pst) {
  if (pfa->argnum > 3) {
    omprnt(0, "Error from COLL2GR:  Too many args \n");
    omprnt(0, "                     One to three arguments expected \n");
    return 1;
  }
  int num;
  // Integer arguments are read for their leading integer, as everywhere in
  // the command language (2.5 is 2).
  if (pfa->argnum < 1 || !intprs(pfa->argpnt[0], &num)) {
    omprnt(0, "Error from COLL2GR:  1st argument must be an integer\n");
    return 1;
  }
  int mode = 1, nlev = 10;
  if (pfa->argnum > 1) {
    int n;
    if (std::strcmp(pfa->argpnt[1], "-u") == 0)
      mode = 2;
    else if (intprs(pfa->argpnt[1], &n) && n >= 1)
      nlev = n;
    else
      omprnt(1, "COLL2GR Warning:  2nd arg Invalid; Ignored\n");
  }
  bool skipundef = false;
  if (pfa->argnum > 2) {
    if (std::strcmp(pfa->argpnt[2], "-n0") == 0)
      skipundef = false;
    else if (std::strcmp(pfa->argpnt[2], "-n1") == 0)
      skipundef = true;
    else
      omprnt(1, "COLL2GR Warning:  3nd arg Invalid; Ignored\n");
  }
  collnode* head = (num >= 0 && num < 32 && pst->collections) ? pst->collections[num] : nullptr;
  if (!head) {
    omprntf(0, "Error from COLL2GR:  Collection %i empty\n", num);
    return 1;
  }
  int nlists = 0, cdim = -2;
  for (collnode* c = head; c; c = c->next) {
    nlists++;
    if (!c->stn) cdim = -3;
    else if (cdim == -2) cdim = c->stn->idim;
    else if (cdim != c->stn->idim) cdim = -3;
  }
  if (cdim < 2 || cdim > 3 || cdim != pst->jdim || pst->idim != 0) {
    omprnt(0, "Error from COLL2GR:  Invalid dimension environment\n");
    return 1;
  }
  if (cdim == 3) {
    omprnt(0, "COL2GR does not yet support time slices\n");
    return 1;
  }
  // The grid has a column per list and a row per level: a level count
  // beyond what a grid may hold is refused before the levels are made.
  if (mode == 1 && static_cast<uint64_t>(nlev) * nlists > omgcap() / sizeof(float)) {
    omprnt(0, "Memory allocation error: COLL2GR\n");
    return 1;
  }
  std::vector<float> levs;
  try {
    levs = clglevels(head, mode, nlev, pst->dmin[2], pst->dmax[2], skipundef);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Memory allocation error: COLL2GR\n");
    return 1;
  }
  if (levs.empty()) {
    omprnt(0, "Error from COLL2GR:  No reported levels within the level range\n");
    return 1;
  }
  gridres* g = clggrid(head, nlists, levs, skipundef, pst, cdim);
  if (!g) return 1;
  pst->result.pgr = g;
  pst->type = 1;
  return 0;
}
