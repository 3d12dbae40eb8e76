// Helpers shared by the analysis functions (see fn_common.h).
#include "expr/fn_common.h"

#include <cmath>

#include "base/cmnstate.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridview.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"
#include "expr/varprs.h"

void fndrop(evalstat* pst, int d) {
  if (pst->idim == d) {
    pst->idim = pst->jdim;
    pst->jdim = -1;
  }
  if (pst->jdim == d) pst->jdim = -1;
}

double fnworld(const datafile* pfi, int d, double g) {
  if (pfi && pfi->gr2ab[d] && pfi->grvals[d]) return pfi->gr2ab[d](pfi->grvals[d], g);
  return g;
}

void fnsetdim(evalstat* pst, int d, double g) {
  if (d == 3) {
    if (pst->dfile && pst->dfile->abvals[3]) gr2t(pst->dfile->grvals[3], g, &pst->tmin);
    pst->tmax = pst->tmin;
    return;
  }
  float w = static_cast<float>(fnworld(pst->dfile, d, g));
  pst->dmin[d] = w;
  pst->dmax[d] = w;
}

// A walk of more steps than this is a coordinate gone wrong, not a request.
static constexpr double FNMAXG = 1e8;

const char* fnvalue(const char* text, float* v) {
  const char* q = valprs(text, v);
  return q && std::isfinite(*v) ? q : nullptr;
}

bool fnusable(double g) { return std::isfinite(g) && std::fabs(g) < FNMAXG; }

bool fnrange(float g1, float g2, int* k1, int* k2) {
  if (!fnusable(g1) || !fnusable(g2)) return false;
  *k1 = static_cast<int>(std::ceil(g1 - 0.001));
  *k2 = static_cast<int>(std::floor(g2 + 0.001));
  return true;
}

bool fndim(const char* text, evalstat* pst, int* dim, float* gval, int* wflag) {
  if (!pst->dfile) return false;
  if (!dimprs(text, pst, pst->dfile, dim, gval, 1, wflag)) return false;
  return fnusable(*gval);
}

bool fnsetbox(const char* const txt[4], evalstat* pst, bool widen) {
  float g[4];
  for (int k = 0; k < 4; k++) {
    int dim, wflag;
    if (!fndim(txt[k], pst, &dim, &g[k], &wflag)) return false;
    if (dim != (k < 2 ? 0 : 1)) return false;
    if (widen && !wflag) g[k] += (k % 2 == 0) ? -0.5f : 0.5f;
  }
  pst->dmin[0] = static_cast<float>(fnworld(pst->dfile, 0, g[0]));
  pst->dmax[0] = static_cast<float>(fnworld(pst->dfile, 0, g[1]));
  pst->dmin[1] = static_cast<float>(fnworld(pst->dfile, 1, g[2]));
  pst->dmax[1] = static_cast<float>(fnworld(pst->dfile, 1, g[3]));
  pst->idim = 0;
  pst->jdim = 1;
  return true;
}

bool fnglobal(evalstat* pst) {
  static const char* const globe[4] = {"lon=0", "lon=360", "lat=-90", "lat=90"};
  return fnsetbox(globe, pst, false);
}

bool fntaxisok(const datafile* pfi) {
  const float* v = pfi ? pfi->grvals[3] : nullptr;
  return v && (v[5] > 0.0f || v[6] > 0.0f);
}

int fnevalg(const char* text, evalstat* pst, gridres** out) {
  int rc = omexpr(text, pst);
  if (rc) return rc;
  if (pst->type == 0) {
    omfree(pst);
    return -1;
  }
  *out = pst->result.pgr;
  pst->result.pgr = nullptr;
  return 0;
}

int fnevalstep(const char* text, evalstat* pst, size_t n, gridres** out) {
  int rc = fnevalg(text, pst, out);
  if (rc == 0 && fnpts(*out) != n) {
    omgfre(*out);
    *out = nullptr;
    return 1;
  }
  return rc;
}

bool fnstepview(const char* text, evalstat* pst, size_t n, gridview* v) {
  if (omqsig()) return false;
  gridres req{};
  if (!varrequest(text, pst, &req)) return false;
  gridview got;
  if (!omgview(&req, &got) || got.n != n) return false;
  *v = got;
  return true;
}

void fnviewlost(const char* text, const gridview& v) {
  omgviewlost(&v);
  varreadfailed(text);
}

void fnsettle(evalstat* pst, gridres* pgr) {
  if (pgr->grid == &pgr->rmin) pgr->rmax = pgr->rmin;
  pst->result.pgr = pgr;
  pst->type = 1;
}
