// Time-masked average (tmave), temporal correlation (tcorr) and temporal
// regression (tregr) of a field against a series without varying
// dimensions.  Only per-point sums are held: the field is evaluated afresh
// at every time, and a second pass over the times gives the deviations.
#include <cmath>
#include <new>
#include <vector>

#include "base/omprnt.h"
#include "data/gridres.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

const char* const tmnam[4] = {"", "TMAVE", "TCORR", "TREGR"};

enum { TMOK = 0, TMGRIDS, TMNOTGRID, TMNOT0D };

// Evaluates text into a grid; TMGRIDS when it fails, TMNOTGRID for
// station data (released).
int tmeval(const char* text, evalstat* pst, gridres** out) {
  int rc = fnevalg(text, pst, out);
  if (rc == -1) return TMNOTGRID;
  return rc ? TMGRIDS : TMOK;
}

// The series at one time: its value and whether it is defined.
int tmseries(const char* text, evalstat* pst, float* m, bool* defined) {
  gridres* s = nullptr;
  int rc = tmeval(text, pst, &s);
  if (rc) return rc;
  if (s->idim != -1 || s->isiz != 1 || s->jsiz != 1) {
    omgfre(s);
    return TMNOT0D;
  }
  *m = s->grid[0];
  *defined = *m != s->undef;
  omgfre(s);
  return TMOK;
}

struct tmacc {
  std::vector<float> s, w;                   // tmave
  std::vector<float> sm, sg, n, smm, sgg, smg;  // tcorr, tregr
  size_t nf = 0;
  float u = 0.0f;
  bool have = false;
};

bool tmalloc(tmacc& ac, int v, size_t n) {
  try {
    if (v == 1) {
      ac.s.assign(n, 0.0f);
      ac.w.assign(n, 0.0f);
    } else {
      for (auto* p : {&ac.sm, &ac.sg, &ac.n, &ac.smm, &ac.sgg, &ac.smg}) p->assign(n, 0.0f);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  ac.nf = n;
  ac.have = true;
  return true;
}

int tmfirstpass(fargs* pfa, evalstat* pst, int v, int start, int end, tmacc& ac) {
  for (int t = start; t <= end; t++) {
    fnsetdim(pst, 3, t);
    float m;
    bool mdef;
    int rc = tmseries(pfa->argpnt[0], pst, &m, &mdef);
    if (rc) return rc;
    if (!mdef) continue;
    gridres* g = nullptr;
    rc = tmeval(pfa->argpnt[1], pst, &g);
    if (rc) return rc;
    const size_t n = fnpts(g);
    if (!ac.have) {
      if (!tmalloc(ac, v, n)) {
        omgfre(g);
        omprntf(0, "Error from %s:  Memory allocation error\n", tmnam[v]);
        return -2;
      }
      ac.u = g->undef;
    } else if (n != ac.nf) {
      omgfre(g);
      return TMGRIDS;
    }
    const float* gv = g->grid;
    const float ug = g->undef;
    if (v == 1) {
      for (size_t k = 0; k < n; k++) {
        if (gv[k] == ug) continue;
        ac.s[k] += gv[k] * m;
        ac.w[k] += m;
      }
    } else {
      for (size_t k = 0; k < n; k++) {
        if (gv[k] == ug) continue;
        ac.sm[k] += m;
        ac.sg[k] += gv[k];
        ac.n[k] += 1.0f;
      }
    }
    omgfre(g);
  }
  return TMOK;
}

int tmsecondpass(fargs* pfa, evalstat* pst, int v, int start, int end, tmacc& ac) {
  for (int t = start; t <= end; t++) {
    fnsetdim(pst, 3, t);
    float m;
    bool mdef;
    int rc = tmseries(pfa->argpnt[0], pst, &m, &mdef);
    if (rc) return rc;
    gridres* g = nullptr;
    rc = tmeval(pfa->argpnt[1], pst, &g);
    if (rc) return rc;
    // The deviations are taken point by point against the first pass's
    // means: a field of another size cannot line up with them.
    if (fnpts(g) != ac.nf) {
      omgfre(g);
      return TMGRIDS;
    }
    if (mdef) {
      const float* gv = g->grid;
      const float ug = g->undef;
      for (size_t k = 0; k < ac.nf; k++) {
        if (gv[k] == ug || ac.n[k] <= 0.0f) continue;
        float dm = m - ac.sm[k], dg = gv[k] - ac.sg[k];
        ac.smm[k] += dm * dm;
        ac.sgg[k] += dg * dg;
        ac.smg[k] += dm * dg;
      }
    }
    omgfre(g);
  }
  for (size_t k = 0; k < ac.nf; k++) {
    if (ac.n[k] <= 0.0f) {
      ac.smm[k] = ac.u;
      continue;
    }
    float smm = ac.smm[k] / ac.n[k];
    float sgg = ac.sgg[k] / ac.n[k];
    float smg = ac.smg[k] / ac.n[k];
    float den = v == 2 ? static_cast<float>(std::sqrt(static_cast<double>(smm) * sgg))
                       : std::fabs(smm);
    ac.smm[k] = den == 0.0f ? ac.u : smg / den;
  }
  return TMOK;
}

}  // namespace

static int tmaskf(fargs* pfa, evalstat* pst, int v) {
  const char* name = tmnam[v];
  if (pfa->argnum != 4) {
    omprntf(0, "Error from %s:  Too many or too few args\n", name);
    omprnt(0, "                   4 arguments expected \n");
    return 1;
  }
  int d, wflag;
  float g1, g2;
  if (!fndim(pfa->argpnt[2], pst, &d, &g1, &wflag) || d != 3) {
    omprntf(0, "Error from %s:  1st dimension expr invalid\n", name);
    return 1;
  }
  if (!fndim(pfa->argpnt[3], pst, &d, &g2, &wflag) || d != 3) {
    omprntf(0, "Error from %s:  2nd dimension expr invalid\n", name);
    return 1;
  }
  fndrop(pst, 3);
  int start, end;
  fnrange(g1, g2, &start, &end);
  omprntf(2, "%s:  dim = %i, start = %i, end = %i\n", name, 3, start, end);

  tmacc ac;
  int rc = tmfirstpass(pfa, pst, v, start, end, ac);
  if (rc == TMOK && ac.have) {
    if (v == 1) {
      for (size_t k = 0; k < ac.nf; k++) ac.s[k] = ac.w[k] > 0.0f ? ac.s[k] / ac.w[k] : ac.u;
    } else {
      for (size_t k = 0; k < ac.nf; k++) {
        if (ac.n[k] > 0.0f) {
          ac.sm[k] /= ac.n[k];
          ac.sg[k] /= ac.n[k];
        } else {
          ac.sm[k] = ac.sg[k] = ac.u;
        }
      }
      rc = tmsecondpass(pfa, pst, v, start, end, ac);
    }
  }
  gridres* r = nullptr;
  if (rc == TMOK) {
    fnsetdim(pst, 3, start);
    rc = tmeval(pfa->argpnt[1], pst, &r);
    if (rc == TMOK && ac.have && fnpts(r) != ac.nf) {
      omgfre(r);
      rc = TMGRIDS;
    }
  }
  switch (rc) {
    case TMOK: break;
    case TMNOT0D:
      omprntf(0, "Error from %s:  1st arg must be 0-D\n", name);
      omprntf(0, "Error from %s:  Error getting grids\n", name);
      return 1;
    case TMNOTGRID:
      omprntf(0, "Error from %s:  Args must be grid data\n", name);
      return 1;
    case TMGRIDS:
      omprntf(0, "Error from %s:  Error getting grids\n", name);
      return 1;
    default:
      return 1;
  }
  const size_t n = fnpts(r);
  if (!ac.have) {
    for (size_t k = 0; k < n; k++) r->grid[k] = r->undef;
  } else {
    const std::vector<float>& src = v == 1 ? ac.s : ac.smm;
    for (size_t k = 0; k < n; k++) r->grid[k] = src[k];
  }
  if (r->grid == &r->rmin) r->rmax = r->rmin;
  pst->result.pgr = r;
  pst->type = 1;
  return 0;
}

int fftmav(fargs* pfa, evalstat* pst) { return tmaskf(pfa, pst, 1); }
int fftcor(fargs* pfa, evalstat* pst) { return tmaskf(pfa, pst, 2); }
int fftreg(fargs* pfa, evalstat* pst) { return tmaskf(pfa, pst, 3); }
