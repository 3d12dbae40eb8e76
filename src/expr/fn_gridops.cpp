// Functions that need the geometry of the grid: the integral along a
// dimension (gint), horizontal divergence and curl on the sphere (hdivg,
// hcurl), virtual temperature and relative humidity to specific humidity or
// temperature (tvrh2q, tvrh2t) and the vertical integral over the pressure
// column (vint).
#include <cmath>
#include <new>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/gridres.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

// Step width of grid index k of dimension d for the integral.
double gintwidth(const evalstat* pst, int d, int k) {
  if (d == 3) {
    const float* v = pst->dfile->grvals[3];
    return v ? static_cast<double>(v[5]) + v[6] : 0.0;
  }
  double w = std::fabs(fnworld(pst->dfile, d, k + 0.5) - fnworld(pst->dfile, d, k - 0.5));
  if (d < 2) w = w * FNEARTH * 3.1416 / 180.0;
  return w;
}

// Applies the latitude factor of an X integral: the grid's own latitudes
// when it varies in Y, else the environment's latitude folded into w.
void latfactor(gridres* pgr, const evalstat* pst, double* w) {
  if (pgr->idim == 1 && pgr->igrab && pgr->ivals) cosadj(pgr);
  else *w *= std::cos(pst->dmin[1] * FNDEG2RAD);
}

}  // namespace

void cosadj(gridres* pgr) {
  const float u = pgr->undef;
  std::vector<float> c(static_cast<size_t>(pgr->isiz));
  for (int i = 0; i < pgr->isiz; i++) {
    float lat = static_cast<float>(pgr->igrab(pgr->ivals, i + pgr->dimmin[1]));
    float ang = static_cast<float>(lat * FNDEG2RAD);
    c[static_cast<size_t>(i)] = static_cast<float>(std::cos(ang));
  }
  for (int j = 0; j < pgr->jsiz; j++) {
    float* row = pgr->grid + static_cast<size_t>(j) * pgr->isiz;
    for (int i = 0; i < pgr->isiz; i++)
      if (row[i] != u) row[i] *= c[static_cast<size_t>(i)];
  }
}

int ffgint(fargs* pfa, evalstat* pst) {
  if (pfa->argnum < 3 || pfa->argnum > 4) {
    omprnt(0, "Error from GINT:  Too many or too few args \n");
    omprnt(0, "                  3 or 4 arguments expected \n");
    return 1;
  }
  int d, d2, wflag;
  float g1, g2;
  if (!fndim(pfa->argpnt[1], pst, &d, &g1, &wflag)) {
    omprnt(0, "Error from GINT:  1st dimension expression invalid\n");
    return 1;
  }
  if (!fndim(pfa->argpnt[2], pst, &d2, &g2, &wflag) || d2 != d) {
    omprnt(0, "Error from GINT:  2nd dimension expression invalid\n");
    return 1;
  }
  bool bflag = false;
  if (pfa->argnum == 4) {
    if (pfa->argpnt[3][0] != '-' || pfa->argpnt[3][1] != 'b') {
      omprnt(0, "Error from GINT: Invalid option flags\n");
      return 1;
    }
    bflag = true;
  }
  fndrop(pst, d);
  int k1, k2;
  fnrange(g1, g2, &k1, &k2);
  if (mfcmn.mfwarn > 0)
    omprntf(2, "Integrating.  dim = %i, start = %i, end = %i\n", d, k1, k2);

  auto width = [&](int k) {
    double w = gintwidth(pst, d, k);
    if (bflag && (k == k1 || k == k2)) w *= 0.5;
    return w;
  };
  const char* expr = pfa->argpnt[0];
  fnsetdim(pst, d, k1);
  double w = width(k1);
  gridres* A = nullptr;
  int rc = fnevalg(expr, pst, &A);
  if (rc) return rc;
  if (d == 0) latfactor(A, pst, &w);
  {
    const size_t n = fnpts(A);
    const float wf = static_cast<float>(w);
    for (size_t k = 0; k < n; k++)
      if (A->grid[k] != A->undef) A->grid[k] *= wf;
  }
  for (int k = k1 + 1; k <= k2; k++) {
    fnsetdim(pst, d, k);
    w = width(k);
    gridres* G = nullptr;
    rc = fnevalstep(expr, pst, fnpts(A), &G);
    if (rc) {
      omgfre(A);
      omprnt(0, "Error from GINT:  Error getting grids \n");
      return rc;
    }
    if (d == 0) latfactor(G, pst, &w);
    const size_t n = fnpts(A);
    const float wf = static_cast<float>(w);
    float* a = A->grid;
    const float* g = G->grid;
    const float ua = A->undef, ug = G->undef;
    for (size_t p = 0; p < n; p++) {
      if (g[p] == ug) continue;
      float gv = g[p] * wf;
      a[p] = a[p] == ua ? gv : a[p] + gv;
    }
    omgfre(G);
  }
  fnsettle(pst, A);
  return 0;
}

static int hdivcurl(fargs* pfa, evalstat* pst, bool curl) {
  const char* name = curl ? "HCURL" : "HDIVG";
  if (pfa->argnum != 2) {
    omprntf(0, "Error from %s:  Too many or too few args \n", name);
    omprnt(0, "                   Two arguments expected \n");
    return 1;
  }
  if (pst->idim != 0 || pst->jdim != 1) {
    omprntf(0, "Error from %s:  Invalid dimension environment\n", name);
    omprnt(0, "  Horizontal environment (X, Y Varying) is required\n");
    return 1;
  }
  gridres *U = nullptr, *V = nullptr;
  int rc = fnevalg(pfa->argpnt[0], pst, &U);
  if (rc) return rc;
  rc = fnevalg(pfa->argpnt[1], pst, &V);
  if (rc) {
    omgfre(U);
    return rc;
  }
  if (omgchk(U, V, 0) || omgchk(U, V, 1) || U->idim != 0 || U->jdim != 1 || V->idim != 0 ||
      V->jdim != 1 || !U->igrab || !U->jgrab) {
    omprntf(0, "Error from %s:  Incompatable grids \n", name);
    omprnt(0, "                   Dimension ranges unequal \n");
    omgfre(U);
    omgfre(V);
    return 1;
  }
  const int isiz = U->isiz, jsiz = U->jsiz;
  const float uu = U->undef, uv = V->undef;
  std::vector<float> out;
  std::vector<double> lam, phi;
  try {
    out.assign(fnpts(U), uu);
    lam.resize(static_cast<size_t>(isiz));
    phi.resize(static_cast<size_t>(jsiz));
  } catch (const std::bad_alloc&) {
    omprnt(0, curl ? "Memory Allocation Error:  HCURL function\n"
                   : "Memory Allocation Error:  HDIVG function \n");
    omgfre(U);
    omgfre(V);
    return 1;
  }
  for (int i = 0; i < isiz; i++)
    lam[static_cast<size_t>(i)] = U->igrab(U->ivals, U->dimmin[0] + i) * FNDEG2RAD;
  for (int j = 0; j < jsiz; j++)
    phi[static_cast<size_t>(j)] = U->jgrab(U->jvals, U->dimmin[1] + j) * FNDEG2RAD;
  const float* u = U->grid;
  const float* v = V->grid;
  auto at = [isiz](int i, int j) { return static_cast<size_t>(j) * isiz + i; };
  for (int j = 1; j < jsiz - 1; j++) {
    const double ph = phi[static_cast<size_t>(j)];
    const double phs = phi[static_cast<size_t>(j - 1)], phn = phi[static_cast<size_t>(j + 1)];
    const float m = static_cast<float>(std::cos(ph) * FNEARTH);
    for (int i = 1; i < isiz - 1; i++) {
      const double dl = lam[static_cast<size_t>(i + 1)] - lam[static_cast<size_t>(i - 1)];
      // The along-longitude component P and the along-latitude one Q.
      const float* p = curl ? v : u;
      const float* q = curl ? u : v;
      const float up = curl ? uv : uu, uq = curl ? uu : uv;
      float pw = p[at(i - 1, j)], pe = p[at(i + 1, j)];
      float qs = q[at(i, j - 1)], qn = q[at(i, j + 1)];
      if (pw == up || pe == up || qs == uq || qn == uq) continue;
      float r = static_cast<float>((pe - pw) / dl);
      double dq = (qn * std::cos(phn) - qs * std::cos(phs)) / (phn - phs);
      r = static_cast<float>(curl ? r - dq : r + dq);
      out[at(i, j)] = m > 1e-10f ? r / m : uu;
    }
  }
  std::copy(out.begin(), out.end(), U->grid);
  omgfre(V);
  fnsettle(pst, U);
  return 0;
}

int ffhdiv(fargs* pfa, evalstat* pst) { return hdivcurl(pfa, pst, false); }
int ffhcrl(fargs* pfa, evalstat* pst) { return hdivcurl(pfa, pst, true); }

int tvrh2q(float p, float tv, float rh, float* qout, float* tout) {
  const float a = 0.7854f, b = 0.03477f, c = 0.00412f, eps = 0.622f;
  rh = rh * 0.01f;
  const float pa = p * 100.0f;
  float q = rh * 0.01f * eps;
  const float l = static_cast<float>(std::log(10.0));
  float t = tv;
  for (int it = 0; it < 25; it++) {
    const float tc = t - 273.16f;
    const double den = static_cast<double>(c * tc) + 1.0;
    const float es = static_cast<float>(std::exp(((b * tc + a) * l) / den) * 100.0);
    const float des = static_cast<float>((l * es * (b - a * c)) / (den * den));
    const double rest = static_cast<double>(pa) - (1.0 - eps) * es;
    const float f = static_cast<float>(eps * rh * es / rest);
    const float g = q - f;
    const float d0 = static_cast<float>(rest);
    const float dd = d0 * d0;
    const float nn = static_cast<float>(static_cast<double>(eps) * rh *
                                        (rest * des + static_cast<double>(es) * (1.0 - eps) * des));
    const float qn = (g - g / (1.0f - nn / dd)) + f;
    const float tn = static_cast<float>(
        static_cast<double>(eps) * tv *
        ((1.0 - qn) / (static_cast<double>(eps) * (1.0 - qn) + qn * (1.0 - eps))));
    if (std::fabs((tn - t) / t) <= 1e-6f) {
      *qout = qn;
      *tout = tn;
      return 0;
    }
    q = qn;
    t = tn;
  }
  return 1;
}

static int fftv2(fargs* pfa, evalstat* pst, int var) {
  const char* name = var ? "TVRH2T" : "TVRH2Q";
  if (pfa->argnum != 2) {
    omprntf(0, "Error from %s:  Too many or too few args \n", name);
    omprnt(0, "                    Two arguments expected \n");
    return 1;
  }
  gridres *T = nullptr, *R = nullptr;
  int rc = fnevalg(pfa->argpnt[0], pst, &T);
  if (rc) return rc;
  rc = fnevalg(pfa->argpnt[1], pst, &R);
  if (rc) {
    omgfre(T);
    return rc;
  }
  bool same = R->idim == T->idim && R->jdim == T->jdim && fnpts(R) == fnpts(T) &&
              (R->idim < 0 || !omgchk(R, T, R->idim)) && (R->jdim < 0 || !omgchk(R, T, R->jdim));
  if (!same) {
    omprnt(0, "Error in TVRH2Q: Grids don't have same scaling");
    omgfre(T);
    omgfre(R);
    return 1;
  }
  const bool zi = R->idim == 2 && R->igrab, zj = R->jdim == 2 && R->jgrab;
  float pfix = pst->dmin[2];
  if (!zi && !zj) {
    omprntf(2, "Notice from %s:", name);
    omprntf(1, " Using fixed pressure level %g mb\n", static_cast<double>(pfix));
  }
  int fails = 0;
  const float ur = R->undef, ut = T->undef;
  for (int j = 0; j < R->jsiz; j++) {
    float prow = zj ? static_cast<float>(R->jgrab(R->jvals, j + R->dimmin[2])) : pfix;
    float* r = R->grid + static_cast<size_t>(j) * R->isiz;
    const float* tt = T->grid + static_cast<size_t>(j) * R->isiz;
    for (int i = 0; i < R->isiz; i++) {
      if (r[i] == ur || tt[i] == ut) {
        r[i] = ur;
        continue;
      }
      float p = zi ? static_cast<float>(R->igrab(R->ivals, i + R->dimmin[2])) : prow;
      float q, t;
      if (tvrh2q(p, tt[i], r[i], &q, &t) == 0) {
        r[i] = var ? t : q;
      } else {
        r[i] = ur;
        fails++;
      }
    }
  }
  if (fails) {
    omprntf(1, "Warning from %s:", name);
    omprntf(1, " Convergence failed for %i grid points\n", fails);
  }
  omgfre(T);
  fnsettle(pst, R);
  return 0;
}

int fftv2q(fargs* pfa, evalstat* pst) { return fftv2(pfa, pst, 0); }
int fftv2t(fargs* pfa, evalstat* pst) { return fftv2(pfa, pst, 1); }

int ffvint(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 3) {
    omprnt(0, "Error from VINT:  Too many or too few args \n");
    omprnt(0, "                  Three arguments expected \n");
    return 1;
  }
  float top;
  if (!fnvalue(pfa->argpnt[2], &top)) {
    omprnt(0, "Error from VINT:  3rd argument invalid. \n");
    return 1;
  }
  const datafile* pfi = pst->dfile;
  if (!pfi || pfi->dnum[2] < 3) {
    omprnt(0, "Error from VINT:  Too few levels in default file \n");
    return 1;
  }
  const int nz = pfi->dnum[2];
  auto lev = [pfi](int k) { return static_cast<float>(fnworld(pfi, 2, k)); };
  auto setlev = [pst](float l) { pst->dmin[2] = pst->dmax[2] = l; };
  setlev(lev(1));
  fndrop(pst, 2);
  gridres *ps = nullptr, *A = nullptr;
  int rc = fnevalg(pfa->argpnt[0], pst, &ps);
  if (rc) return rc < 0 ? -1 : 1;
  rc = fnevalg(pfa->argpnt[1], pst, &A);
  if (rc) {
    omgfre(ps);
    return rc < 0 ? -1 : 1;
  }
  if (ps->isiz != A->isiz || ps->jsiz != A->jsiz) {
    omprnt(0, "Error from VINT:  Incompatible grids. \n");
    omgfre(ps);
    omgfre(A);
    return 1;
  }
  const size_t n = fnpts(A);
  const float g = 10.204082f;
  const float ups = ps->undef, ua = A->undef;
  const float* s = ps->grid;
  float* a = A->grid;
  {
    const float l1 = lev(1);
    const float mid = l1 + (lev(2) - l1) / 2.0f;
    for (size_t p = 0; p < n; p++) {
      if (s[p] == ups || a[p] == ua || s[p] < l1) a[p] = ua;
      else a[p] = a[p] * g * (s[p] - mid);
    }
  }
  // Adds one layer at level k; last: the layer ends at the top argument.
  auto layer = [&](int k, bool last) -> int {
    const float lk = lev(k), down = lev(k - 1);
    const float lo = lk + (down - lk) / 2.0f;
    float up = 0.0f, hi = top;
    if (!last) {
      up = lev(k + 1);
      hi = up < top ? top : lk + (up - lk) / 2.0f;
    }
    setlev(lk);
    gridres* G = nullptr;
    int r = fnevalg(pfa->argpnt[1], pst, &G);
    if (r == 0 && fnpts(G) != n) {
      omgfre(G);
      omprnt(0, "Error from VINT:  Incompatible grids. \n");
      r = 1;
    }
    if (r) return r;
    const float* gv = G->grid;
    const float ug = G->undef;
    for (size_t p = 0; p < n; p++) {
      if (s[p] == ups || gv[p] == ug) continue;
      if (!last && s[p] < lk) continue;
      const float bottom = s[p] < down ? s[p] : lo;
      // A surface above the top of the integral leaves nothing to add.
      if (bottom <= hi) continue;
      const float c = gv[p] * g * (bottom - hi);
      a[p] = a[p] == ua ? c : a[p] + c;
    }
    omgfre(G);
    return 0;
  };
  int k = 2;
  for (; k < nz; k++) {
    if (lev(k) < top) break;
    rc = layer(k, false);
    if (rc) break;
  }
  if (rc == 0 && lev(k) >= top) rc = layer(k, true);
  omgfre(ps);
  if (rc) {
    omgfre(A);
    return rc;
  }
  fnsettle(pst, A);
  return 0;
}
