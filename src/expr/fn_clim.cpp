// clim: the mean of a field over the steps of a span of time that fall in
// the calendar month (or season) of the environment's time, so that a
// field less its clim is its anomaly at every time.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/vecclone.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/filemap.h"
#include "data/gridres.h"
#include "data/gridview.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

// The group a month belongs to: itself, or with seasons its season
// (December, January and February one, then March to May, and so on).
int groupof(int mo, bool seasons) { return seasons ? (mo % 12) / 3 : mo; }

// A time-varying environment goes through tloop, each step a clim of its
// own: the call is handed on whole as tloop's one argument.
int bysteps(fargs* pfa, evalstat* pst) {
  std::string call = "clim(";
  for (int k = 0; k < pfa->argnum; k++) {
    if (k) call += ',';
    call += pfa->argpnt[k];
  }
  call += ')';
  fargs fa{};
  if (call.size() >= sizeof fa.abuf) {
    omprntf(0, "Syntax Error:  Function arguments longer than %i characters\n", FARGBUF - 1);
    return 1;
  }
  std::memcpy(fa.abuf, call.c_str(), call.size() + 1);
  fa.argnum = 1;
  fa.argpnt[0] = fa.abuf;
  return fftlp(&fa, pst);
}

// One end of the span, as the month it falls in (12 * year + month - 1):
// time=... is read as a date, any other dimension expression as the step
// nearest its grid coordinate.  The span is whole months, so that
// time=dec2010 takes December 2010 whether its step is stamped at the
// start, the middle or the end of the month.
bool spanend(const char* text, evalstat* pst, long* ym) {
  datetime dt;
  if (std::strncmp(text, "time=", 5) == 0) {
    const char* q = adtprs(text + 5, &pst->tmin, &dt);
    if (!q || *q) return false;
  } else {
    int d, wflag;
    float g;
    if (!fndim(text, pst, &d, &g, &wflag) || d != 3) return false;
    gr2t(pst->dfile->grvals[3], std::floor(g + 0.5), &dt);
  }
  *ym = 12L * dt.yr + dt.mo - 1;
  return true;
}

// Adds a step's defined values to the sums, with no branch so that it
// runs as vector code (an undefined point adds 0 to both).
OM_VECTOR_CLONES void addstep(const float* v, float u, double* sum, double* cnt, size_t n) {
  for (size_t k = 0; k < n; k++) {
    const bool d = v[k] != u;
    sum[k] += d ? static_cast<double>(v[k]) : 0.0;
    cnt[k] += d ? 1.0 : 0.0;
  }
}

// The same from a view of a data file's map: a value is undefined where
// the grid reader would make it so (gridview.h).
template <bool Swap>
void addview(const gridview& g, double* sum, double* cnt) {
  for (size_t k = 0; k < g.n; k++) {
    const float r = viewraw<Swap>(g.bytes, k);
    const bool d = !inband(r, g.lo, g.hi) && r != g.undef;
    sum[k] += d ? static_cast<double>(r) : 0.0;
    cnt[k] += d ? 1.0 : 0.0;
  }
}

OM_VECTOR_CLONES void addview(const gridview& g, double* sum, double* cnt) {
  if (g.swap) addview<true>(g, sum, cnt);
  else addview<false>(g, sum, cnt);
}

}  // namespace

int ffclim(fargs* pfa, evalstat* pst) {
  const int n = pfa->argnum;
  if (n < 3 || n > 4) {
    omprnt(0, "Error from CLIM:  Too many or too few args \n");
    omprnt(0, "                  3 or 4 arguments expected \n");
    return 1;
  }
  const bool seasons = n == 4;
  if (seasons && std::strcmp(pfa->argpnt[3], "-s") != 0) {
    omprnt(0, "Error from CLIM: Invalid option flags\n");
    return 1;
  }
  if (pst->idim == 3 || pst->jdim == 3) return bysteps(pfa, pst);
  if (!fntaxisok(pst->dfile)) {
    omprnt(0, "Error from CLIM: Invalid time axis\n");
    return 1;
  }
  long m1, m2;
  if (!spanend(pfa->argpnt[1], pst, &m1)) {
    omprnt(0, "Error from CLIM:  1st dimension expression invalid\n");
    return 1;
  }
  if (!spanend(pfa->argpnt[2], pst, &m2)) {
    omprnt(0, "Error from CLIM:  2nd dimension expression invalid\n");
    return 1;
  }
  const float* tvals = pst->dfile->grvals[3];
  // The steps that may fall in the span's months, each then judged by its
  // own date.
  datetime from = {static_cast<int>(m1 / 12), static_cast<int>(m1 % 12) + 1, 1, 0, 0};
  datetime past = {static_cast<int>((m2 + 1) / 12), static_cast<int>((m2 + 1) % 12) + 1, 1, 0, 0};
  int k1, k2;
  if (!fnrange(static_cast<float>(std::floor(t2gr(tvals, &from))), static_cast<float>(std::ceil(t2gr(tvals, &past))),
               &k1, &k2)) {
    omprnt(0, "Error from CLIM: Invalid time axis\n");
    return 1;
  }
  k1 = std::max(k1, 1);
  k2 = std::min(k2, pst->dfile->dnum[3]);
  const int want = groupof(pst->tmin.mo, seasons);
  gridres* out = nullptr;
  std::vector<double> sum;
  std::vector<double> cnt;
  for (int k = k1; k <= k2; k++) {
    datetime dt;
    gr2t(tvals, k, &dt);
    const long ym = 12L * dt.yr + dt.mo - 1;
    if (ym < m1 || ym > m2 || groupof(dt.mo, seasons) != want) continue;
    if (omqsig()) {
      omgfre(out);
      return 1;
    }
    fnsetdim(pst, 3, k);
    gridview view;
    if (out && fnstepview(pfa->argpnt[0], pst, sum.size(), &view)) {
      // A bare variable of a binary file: its values are summed where
      // they lie in the file's map, not copied into a grid first.
      const bool whole = mapread([&] { addview(view, sum.data(), cnt.data()); });
      omgviewdone(&view);
      if (whole) continue;
      fnviewlost(pfa->argpnt[0], view);
      omgfre(out);
      omprnt(0, "Error from CLIM:  Error getting grids \n");
      return 1;
    }
    gridres* g = nullptr;
    const int rc = out ? fnevalstep(pfa->argpnt[0], pst, fnpts(out), &g) : fnevalg(pfa->argpnt[0], pst, &g);
    if (rc) {
      omgfre(out);
      if (rc > 0 && out) omprnt(0, "Error from CLIM:  Error getting grids \n");
      return rc;
    }
    if (!out) {
      sum.assign(fnpts(g), 0.0);
      cnt.assign(fnpts(g), 0.0);
    }
    addstep(g->grid, g->undef, sum.data(), cnt.data(), sum.size());
    if (out) omgfre(g);
    else out = g;
  }
  if (!out) {
    omprnt(0, "Error from CLIM:  No time step of the span falls in the month or season\n");
    return 1;
  }
  for (size_t k = 0; k < sum.size(); k++)
    out->grid[k] = cnt[k] > 0.0 ? static_cast<float>(sum[k] / cnt[k]) : out->undef;
  fnsettle(pst, out);
  return 0;
}
