// Functions that reshape or filter one evaluated field: the time loop
// (tloop), masks (maskout), the nine-point smoother (smth9), thinning
// (skip), constants (const), differences along a dimension (cdiff) and the
// level at which a field reaches a target (fndlvl).
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

// The record of the joined time-loop grid, shaped after the first step G.
gridres* tloopgrid(gridres* G, const float* tvals, int k1, int k2) {
  gridres* R = omgnew();
  if (!R) return nullptr;
  const int nt = k2 - k1 + 1;
  const size_t n = static_cast<size_t>(nt) * static_cast<size_t>(G->isiz);
  if (!omgalo(R, n)) {
    omgfre(R);
    return nullptr;
  }
  R->undef = G->undef;
  R->dimmin[3] = k1;
  R->dimmax[3] = k2;
  R->jdim = -1;
  R->jsiz = 1;
  R->jlinr = 1;
  R->ilinr = 1;
  if (G->isiz < 2) {
    if (k1 == k2) {
      R->idim = -1;
      R->isiz = 1;
    } else {
      R->idim = 3;
      R->isiz = nt;
      R->ivals = R->iavals = const_cast<float*>(tvals);
    }
    return R;
  }
  R->idim = G->idim;
  R->iwrld = G->iwrld;
  R->isiz = G->isiz;
  R->dimmin[G->idim] = G->dimmin[G->idim];
  R->dimmax[G->idim] = G->dimmax[G->idim];
  R->igrab = G->igrab;
  R->iabgr = G->iabgr;
  R->ivals = G->ivals;
  R->iavals = G->iavals;
  R->ilinr = G->ilinr;
  if (G->alocf) {
    // The first step's own conversion arrays move to the joined grid,
    // which then owns a copy of the time axis as well.
    R->alocf = 1;
    G->ivals = nullptr;
    G->iavals = nullptr;
  }
  if (k1 != k2) {
    R->jdim = 3;
    R->jsiz = nt;
    if (R->alocf) {
      float* tv = static_cast<float*>(std::malloc(TAXIS_FLOATS * sizeof(float)));
      if (!tv) {
        omgfre(R);
        return nullptr;
      }
      std::memcpy(tv, tvals, TAXIS_FLOATS * sizeof(float));
      R->jvals = R->javals = tv;
    } else {
      R->jvals = R->javals = const_cast<float*>(tvals);
    }
  }
  return R;
}

}  // namespace

int fftlp(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 1) {
    omprnt(0, "Error from TLOOP:  Too many or too few args \n");
    omprnt(0, "                   1 argument expected \n");
    return 1;
  }
  if (pst->idim != 3 && pst->jdim != 3) return omexpr(pfa->argpnt[0], pst);
  const float* tvals = pst->dfile ? pst->dfile->grvals[3] : nullptr;
  if (!tvals || !fntaxisok(pst->dfile)) {
    omprnt(0, "Error from TLOOP:  Invalid time axis \n");
    return 1;
  }
  int k1, k2;
  if (!fnrange(static_cast<float>(t2gr(tvals, &pst->tmin)),
               static_cast<float>(t2gr(tvals, &pst->tmax)), &k1, &k2)) {
    omprnt(0, "Error from TLOOP:  Invalid time axis \n");
    return 1;
  }
  if (k2 < k1) k2 = k1;
  fndrop(pst, 3);
  fnsetdim(pst, 3, k1);
  gridres* G = nullptr;
  int rc = fnevalg(pfa->argpnt[0], pst, &G);
  if (rc) return rc;
  if (G->jdim != -1 || G->idim == 3) {
    omprnt(0, "Error from TLOOP: Internal logic check 36\n");
    omgfre(G);
    return 1;
  }
  gridres* R = tloopgrid(G, tvals, k1, k2);
  if (!R) {
    omprnt(0, "Memory Allocation Error:  TLOOP function\n");
    omgfre(G);
    return 1;
  }
  const size_t row = static_cast<size_t>(G->isiz);
  const int idim0 = G->idim;
  float* out = R->grid;
  for (int k = k1;; k++) {
    std::memcpy(out, G->grid, row * sizeof(float));
    out += row;
    omgfre(G);
    if (k >= k2) break;
    fnsetdim(pst, 3, k + 1);
    rc = fnevalg(pfa->argpnt[0], pst, &G);
    // Each row takes exactly the first step's number of values: a step
    // of another shape would overrun the joined grid.
    if (rc == 0 && (static_cast<size_t>(G->isiz) != row || G->jsiz != 1 || G->idim != idim0)) {
      omprnt(0, "Error from TLOOP:  Time steps give grids of different shapes\n");
      omgfre(G);
      rc = 1;
    }
    if (rc) {
      omgfre(R);
      return rc < 0 ? -1 : 1;
    }
  }
  fnsettle(pst, R);
  return 0;
}

int ffmask(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 2) {
    omprnt(0, "Error from MASKOUT:  Too many or too few args \n");
    omprnt(0, "                     Two arguments expected \n");
    return 1;
  }
  int rc = omexpr(pfa->argpnt[0], pst);
  if (rc) return rc;
  const char* a2 = pfa->argpnt[1];
  if (pst->type == 0 && a2[0] == '\'') {
    char pat[8];
    int plen = 0;
    for (const char* p = a2 + 1; *p && *p != '\'' && plen < 8; p++) pat[plen++] = *p;
    stnlist* stn = pst->result.stn;
    for (stnrpt* r = stn->rpt; r; r = r->rpt) {
      for (int k = 0; k < plen; k++) {
        if (pat[k] == '?') continue;
        int a = asclower(pat[k]);
        int b = asclower(r->stid[k]);
        if (a != b) {
          r->val = stn->undef;
          break;
        }
      }
    }
    return 0;
  }
  evalstat pst2 = *pst;
  pst2.result.pgr = nullptr;
  rc = omexpr(a2, &pst2);
  if (rc) {
    omfree(pst);
    return rc;
  }
  rc = omfopr(pst, &pst2, OPMASK);
  if (rc) {
    omfree(pst);
    omfree(&pst2);
  }
  return rc;
}

int ffsmth(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 1 && pfa->argnum != 4) {
    omprnt(0, "Error from SMTH9:  Too many or too few args \n");
    omprnt(0, "                   One or 4 arguments expected \n");
    return 1;
  }
  int rc = omexpr(pfa->argpnt[0], pst);
  if (rc) return rc;
  if (pst->type == 0) {
    omprnt(0, "Error from SMTH9:  Grid Required\n");
    omfree(pst);
    return 1;
  }
  gridres* pgr = pst->result.pgr;
  const int isiz = pgr->isiz, jsiz = pgr->jsiz;
  std::vector<float> out;
  try {
    out.resize(fnpts(pgr));
  } catch (const std::bad_alloc&) {
    omprnt(0, "Error from SMTH9:  Unable to allocate memory\n");
    omfree(pst);
    return 1;
  }
  float p = 1.0f, q = 0.5f, r = 0.3f;
  if (pfa->argnum == 4) {
    if (!fnvalue(pfa->argpnt[1], &p) || !fnvalue(pfa->argpnt[2], &q) ||
        !fnvalue(pfa->argpnt[3], &r)) {
      omprnt(0, "Error from SMTH9:  Invalid Weight Values\n");
      omprnt(0, "  Using defaults:  1.0  0.5  0.3\n");
      p = 1.0f;
      q = 0.5f;
      r = 0.3f;
    }
  }
  const float* v = pgr->grid;
  const float u = pgr->undef;
  for (int j = 0; j < jsiz; j++) {
    for (int i = 0; i < isiz; i++) {
      const size_t c = static_cast<size_t>(j) * isiz + i;
      if (v[c] == u) {
        out[c] = u;
        continue;
      }
      float s = v[c] * p, w = p;
      for (int dj = -1; dj <= 1; dj++) {
        const int jj = j + dj;
        if (jj < 0 || jj >= jsiz) continue;
        for (int di = -1; di <= 1; di++) {
          const int ii = i + di;
          if ((di == 0 && dj == 0) || ii < 0 || ii >= isiz) continue;
          const float nv = v[static_cast<size_t>(jj) * isiz + ii];
          if (nv == u) continue;
          const float wt = (di == 0 || dj == 0) ? q : r;
          s += nv * wt;
          w += wt;
        }
      }
      // Weights that cancel out leave no average to take.
      out[c] = w == 0.0f ? u : s / w;
    }
  }
  std::copy(out.begin(), out.end(), pgr->grid);
  fnsettle(pst, pgr);
  return 0;
}

int ffskip(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 2 && pfa->argnum != 3) {
    omprnt(0, "Error from SKIP:  Too many or too few args \n");
    omprnt(0, "                  Two or 3 arguments expected \n");
    return 1;
  }
  int n, m;
  if (!intprs(pfa->argpnt[1], &n)) {
    omprnt(0, "Error from SKIP:  2nd argument must be an integer \n");
    return 1;
  }
  m = n;
  if (pfa->argnum == 3 && !intprs(pfa->argpnt[2], &m)) {
    omprnt(0, "Error from SKIP:  3rd argument must be an integer\n");
    return 1;
  }
  int rc = omexpr(pfa->argpnt[0], pst);
  if (rc) return rc;
  if (pst->type == 0) {
    omprnt(0, "Error from SKIP:  Grid Required\n");
    omfree(pst);
    return 1;
  }
  gridres* pgr = pst->result.pgr;
  if (pgr->idim == -1) return 0;
  const int ni = n < 1 ? 1 : n, nj = m < 1 ? 1 : m;
  for (int j = 0; j < pgr->jsiz; j++) {
    float* row = pgr->grid + static_cast<size_t>(j) * pgr->isiz;
    const bool keeprow = j % nj == 0;
    for (int i = 0; i < pgr->isiz; i++)
      if (!keeprow || i % ni != 0) row[i] = pgr->undef;
  }
  return 0;
}

int ffcnst(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 2 && pfa->argnum != 3) {
    omprnt(0, "Error from CONST:  Too many or too few args \n");
    omprnt(0, "                   Two or 3 arguments expected \n");
    return 1;
  }
  float c;
  if (!fnvalue(pfa->argpnt[1], &c)) {
    omprnt(0, "Error from CONST:  2nd argument must be a constant\n");
    return 1;
  }
  int mode = 0;
  if (pfa->argnum == 3) {
    const char* f = pfa->argpnt[2];
    if (f[0] == '-' && f[1] == 'u') mode = 1;
    else if (f[0] == '-' && f[1] == 'a') mode = 2;
    else omprnt(1, "Warning from CONST: Invalid flag.  Ignored.\n");
  }
  int rc = omexpr(pfa->argpnt[0], pst);
  if (rc) return rc;
  auto apply = [mode, c](float* v, float u) {
    bool undef = *v == u;
    if (mode == 2 || (mode == 1 && undef) || (mode == 0 && !undef)) *v = c;
  };
  if (pst->type == 0) {
    stnlist* stn = pst->result.stn;
    for (stnrpt* r = stn->rpt; r; r = r->rpt) apply(&r->val, stn->undef);
    return 0;
  }
  gridres* pgr = pst->result.pgr;
  const size_t n = fnpts(pgr);
  for (size_t k = 0; k < n; k++) apply(&pgr->grid[k], pgr->undef);
  fnsettle(pst, pgr);
  return 0;
}

int ffcdif(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 2) {
    omprnt(0, "Error from CDIFF:  Too many or too few args \n");
    omprnt(0, "                   Two arguments expected \n");
    return 1;
  }
  const char* a2 = pfa->argpnt[1];
  const char* dims = "xyzt";
  const char* hit = a2[0] ? std::strchr(dims, a2[0]) : nullptr;
  if (!hit) {
    omprnt(0, "Error from CDIFF:  Invalid dimension argument\n");
    omprnt(0, "  2nd argument must be X, Y, Z, or T\n");
    return 1;
  }
  const int d = static_cast<int>(hit - dims);
  const int form = a2[1] == 'p' ? 1 : a2[1] == 'm' ? -1 : 0;
  gridres* pgr = nullptr;
  int rc = fnevalg(pfa->argpnt[0], pst, &pgr);
  if (rc) return rc;
  if (pgr->idim != d && pgr->jdim != d) {
    omprnt(0, "Error from CDIFF:  Specified dimension non varying\n");
    omgfre(pgr);
    return 1;
  }
  std::vector<float> out;
  try {
    out.resize(fnpts(pgr));
  } catch (const std::bad_alloc&) {
    omprnt(0, "Error from CDIFF:  Memory allocation error\n");
    omgfre(pgr);
    return 1;
  }
  const bool alongj = pgr->jdim == d;
  const int isiz = pgr->isiz, jsiz = pgr->jsiz;
  const int size = alongj ? jsiz : isiz;
  const size_t stride = alongj ? static_cast<size_t>(isiz) : 1;
  const float u = pgr->undef;
  const float* v = pgr->grid;
  for (int j = 0; j < jsiz; j++) {
    for (int i = 0; i < isiz; i++) {
      const size_t c = static_cast<size_t>(j) * isiz + i;
      const int k = alongj ? j : i;
      float r = u;
      if (form == 0) {
        if (k > 0 && k < size - 1 && v[c + stride] != u && v[c - stride] != u)
          r = v[c + stride] - v[c - stride];
      } else if (form == 1) {
        if (k < size - 1 && v[c + stride] != u && v[c] != u) r = v[c + stride] - v[c];
      } else {
        if (k > 0 && v[c] != u && v[c - stride] != u) r = v[c] - v[c - stride];
      }
      out[c] = r;
    }
  }
  std::copy(out.begin(), out.end(), pgr->grid);
  fnsettle(pst, pgr);
  return 0;
}

int ffflvl(fargs* pfa, evalstat* pst) {
  if (pfa->argnum != 4) {
    omprnt(0, "Error from FNDLVL:  Too many or too few args \n");
    omprnt(0, "                    Four arguments expected \n");
    return 1;
  }
  int d, wflag;
  float g3, g4;
  if (!fndim(pfa->argpnt[2], pst, &d, &g3, &wflag) || d != 2) {
    omprnt(0, "Error from FNDLVL:  Arg 3 an invalid Z dimension expression\n");
    return 1;
  }
  if (!fndim(pfa->argpnt[3], pst, &d, &g4, &wflag) || d != 2) {
    omprnt(0, "Error from FNDLVL:  Arg 4 an invalid Z dimension expression\n");
    return 1;
  }
  const datafile* pfi = pst->dfile;
  const float f = static_cast<float>(fnworld(pfi, 2, g3));
  const float l = static_cast<float>(fnworld(pfi, 2, g4));
  const int nz = pfi->dnum[2];
  if (nz < 3) {
    omprnt(0, "Error from FNDLVL:  Too few levels in default file \n");
    return 1;
  }
  auto lev = [pfi](int k) { return static_cast<float>(fnworld(pfi, 2, k)); };
  std::vector<float> levs;
  try {
    levs.reserve(static_cast<size_t>(nz));
  } catch (const std::bad_alloc&) {
    omprnt(0, "Error from FNDLVL:  Memory allocation error \n");
    return 1;
  }
  const bool upward = (lev(1) < lev(nz) && f < l) || (lev(nz) < lev(1) && l < f);
  for (int i = 0; i < nz; i++) {
    const float lk = lev(upward ? 1 + i : nz - i);
    if ((f < l && f <= lk && lk <= l) || (l < f && l <= lk && lk <= f)) levs.push_back(lk);
  }
  // Equal bounds, or bounds with no level between them, leave no level
  // to start the search from.
  if (levs.empty()) {
    omprnt(0, "Error from FNDLVL:  No levels between the bounds \n");
    return 1;
  }
  fndrop(pst, 2);
  pst->dmin[2] = pst->dmax[2] = levs[0];
  gridres *tg = nullptr, *P = nullptr;
  int rc = fnevalg(pfa->argpnt[1], pst, &tg);
  if (rc) return rc < 0 ? -1 : 1;
  rc = fnevalg(pfa->argpnt[0], pst, &P);
  if (rc) {
    omgfre(tg);
    return rc < 0 ? -1 : 1;
  }
  // A target without varying dimensions applies at every point of the
  // field; the first level's field then carries the answer.
  const bool bcast = tg->idim == -1 && tg->jdim == -1 && (P->idim != -1 || P->jdim != -1);
  if (!bcast && (tg->idim != P->idim || tg->jdim != P->jdim || fnpts(tg) != fnpts(P) ||
                 (P->idim >= 0 && omgchk(tg, P, P->idim)) ||
                 (P->jdim >= 0 && omgchk(tg, P, P->jdim)))) {
    omprnt(0, "Error from FNDLVL :  Incompatible grids. \n");
    omgfre(tg);
    omgfre(P);
    return 1;
  }
  const size_t n = fnpts(P);
  gridres* res = bcast ? P : tg;
  const float ur = res->undef;
  std::vector<float> r, prev;
  try {
    r.assign(n, ur);
    prev.assign(P->grid, P->grid + n);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Error from FNDLVL :  Memory allocation error \n");
    omgfre(tg);
    omgfre(P);
    return 1;
  }
  float up = P->undef;
  const float tconst = tg->grid[0];
  const float* tv = tg->grid;
  const float ut = tg->undef;
  for (size_t i = 1; i < levs.size(); i++) {
    pst->dmin[2] = pst->dmax[2] = levs[i];
    gridres* N = nullptr;
    rc = fnevalg(pfa->argpnt[0], pst, &N);
    if (rc == 0 && fnpts(N) != n) {
      omprnt(0, "Error from FNDLVL :  Incompatible grids. \n");
      omgfre(N);
      rc = 1;
    }
    if (rc) {
      omgfre(tg);
      omgfre(P);
      return rc < 0 ? -1 : 1;
    }
    const float* nv = N->grid;
    const float un = N->undef;
    const float l0 = levs[i - 1], l1 = levs[i];
    for (size_t k = 0; k < n; k++) {
      const float t = bcast ? tconst : tv[k];
      const float pv = prev[k], xv = nv[k];
      if (r[k] != ur || pv == up || xv == un || (!bcast && t == ut)) continue;
      if ((pv < xv && pv <= t && t <= xv) || (xv <= pv && xv <= t && t <= pv)) {
        if (std::fabs(xv - pv) < 1e-5f) r[k] = l0;
        else r[k] = l0 + (l1 - l0) * (t - pv) / (xv - pv);
      }
    }
    std::copy(nv, nv + n, prev.begin());
    up = un;
    omgfre(N);
  }
  std::copy(r.begin(), r.end(), res->grid);
  omgfre(bcast ? tg : P);
  fnsettle(pst, res);
  return 0;
}
