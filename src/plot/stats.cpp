// The statistics listing of a display result.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "plot/dataout.h"

namespace {

// Sums are kept in double so that large grids do not lose their small
// values to rounding.
struct sums {
  long undef = 0;
  long valid = 0;
  double sum = 0.0;
  double sqr = 0.0;
  void add(float v) {
    valid++;
    sum += v;
    sqr += static_cast<double>(v) * v;
  }
};

// The description of a grid's i or j dimension.
void griddim(const char* label, const gridres* pgr, int dim, int first, int last, int linr,
             omaxisfn conv, float* vals) {
  if (dim < 0) {
    omprntf(2, "%s Dimension = -999 to -999\n", label);
    return;
  }
  std::string line;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s Dimension = %i to %i", label, first, last);
  line = buf;
  if (dim == 3 && vals) {
    datetime dt;
    gr2t(vals, first, &dt);
    std::string t = omt2str(&dt, dt.mn != 0 ? 5 : 4);
    if (vals[5] != 0.0f) std::snprintf(buf, sizeof buf, " Linear %s %gmo\n", t.c_str(), vals[5]);
    else std::snprintf(buf, sizeof buf, " Linear %s %gmn\n", t.c_str(), vals[6]);
    line += buf;
  } else if (linr && conv && vals) {
    std::snprintf(buf, sizeof buf, " Linear %g %g\n", conv(vals, first), vals[0]);
    line += buf;
  } else {
    line += " Levels";
    for (int i = first; i <= last && conv && vals; i++) {
      std::snprintf(buf, sizeof buf, " %g", conv(vals, i));
      line += buf;
    }
    line += "\n";
  }
  omprnt(2, line);
  (void)pgr;
}

// Contour range lines shared by grids and station lists.
void crange(float rmin, float rmax, float undef, bool oned) {
  float cint = 0.0f, cmin = 0.0f, cmax = 0.0f;
  omcsel(rmin, rmax, &cint, &cmin, &cmax);
  if (oned) {
    cmin -= 2.0f * cint;
    cmax += 2.0f * cint;
  }
  if (cint == 0.0f || cint == undef) {
    cmin = rmin - 5.0f;
    cmax = rmax + 5.0f;
  }
  omprntf(2, "Cmin, cmax, cint = %g %g %g\n", cmin, cmax, cint);
}

void statlines(const sums& s, bool station) {
  double n = s.valid > 0 ? static_cast<double>(s.valid) : 1.0;
  double m = s.valid - 1 > 0 ? static_cast<double>(s.valid - 1) : 1.0;
  omprntf(2, "Stats[sum,sumsqr,root(sumsqr),n]:     %g %g %g %ld\n", s.sum, s.sqr, std::sqrt(s.sqr),
          s.valid);
  omprntf(2,
          station ? "Stats[(sum,sumsqr,root(sumsqr))/n)]:     %g %g %g\n"
                  : "Stats[(sum,sumsqr,root(sumsqr))/n]:     %g %g %g\n",
          s.sum / n, s.sqr / n, std::sqrt(s.sqr / n));
  omprntf(2,
          station ? "Stats[(sum,sumsqr,root(sumsqr))/(n-1))]: %g %g %g\n"
                  : "Stats[(sum,sumsqr,root(sumsqr))/(n-1)]: %g %g %g\n",
          s.sum / m, s.sqr / m, std::sqrt(s.sqr / m));
  double mean = s.sum / n;
  double v = s.sqr / n - mean * mean;
  if (v > 0) omprntf(2, "Stats[(sigma,var)(n)]:     %g %g\n", std::sqrt(v), v);
  else omprnt(2, "Stats[(sigma,var)(n)]:     0 0\n");
  double v1 = v * n / m;
  if (v1 > 0) omprntf(2, "Stats[(sigma,var)(n-1)]:   %g %g\n", std::sqrt(v1), v1);
  else omprnt(2, "Stats[(sigma,var)(n-1)]:   0 0\n");
}

void gridstats(const gridres* pgr) {
  omprnt(2, "Data Type = grid\n");
  omprntf(2, "Dimensions = %i %i\n", pgr->idim, pgr->jdim);
  int id = pgr->idim, jd = pgr->jdim;
  griddim("I", pgr, id, id >= 0 ? pgr->dimmin[id] : 0, id >= 0 ? pgr->dimmax[id] : 0, pgr->ilinr,
          pgr->igrab, pgr->ivals);
  griddim("J", pgr, jd, jd >= 0 ? pgr->dimmin[jd] : 0, jd >= 0 ? pgr->dimmax[jd] : 0, pgr->jlinr,
          pgr->jgrab, pgr->jvals);
  long n = static_cast<long>(pgr->isiz) * pgr->jsiz;
  omprntf(2, "Sizes = %i %i %li\n", pgr->isiz, pgr->jsiz, n);
  omprntf(2, "Undef value = %g\n", pgr->undef);
  sums s;
  float rmin = pgr->undef, rmax = pgr->undef;
  bool any = false;
  for (long i = 0; i < n; i++) {
    float v = pgr->grid[i];
    if (v == pgr->undef) {
      s.undef++;
      continue;
    }
    s.add(v);
    if (!any || v < rmin) rmin = v;
    if (!any || v > rmax) rmax = v;
    any = true;
  }
  omprntf(2, "Undef count = %li  Valid count = %li\n", s.undef, s.valid);
  if (pgr->idim != -1) {
    omprntf(2, "Min, Max = %g %g\n", rmin, rmax);
    crange(rmin, rmax, pgr->undef, pgr->jdim == -1);
  }
  statlines(s, false);
}

void stndim(const char* label, const stnlist* stn, int dim) {
  if (dim < 0) omprntf(2, "%s Dimension = -999 to -999\n", label);
  else if (dim == 3) omprntf(2, "%s Dimension = %i to %i\n", label, stn->tmin, stn->tmax);
  else omprntf(2, "%s Dimension = %g to %g\n", label, stn->dmin[dim], stn->dmax[dim]);
}

void stnstats(const stnlist* stn, int stnprint) {
  omprnt(2, "Data Type = station\n");
  omprntf(2, "Dimensions = %i %i\n", stn->idim, stn->jdim);
  stndim("I", stn, stn->idim);
  stndim("J", stn, stn->jdim);
  omprntf(2, "Stn count = %i\n", stn->rnum);
  omprntf(2, "Undef value = %g\n", stn->undef);
  sums s;
  float rmin = stn->undef, rmax = stn->undef;
  bool any = false;
  for (const stnrpt* r = stn->rpt; r; r = r->rpt) {
    if (r->val == stn->undef) {
      s.undef++;
      continue;
    }
    s.add(r->val);
    if (!any || r->val < rmin) rmin = r->val;
    if (!any || r->val > rmax) rmax = r->val;
    any = true;
  }
  omprntf(2, "Undef count = %li  Valid count = %li \n", s.undef, s.valid);
  omprntf(2, "Min, Max = %g %g\n", rmin, rmax);
  crange(rmin, rmax, stn->undef, stn->jdim == -1);
  statlines(s, true);
  if (!stnprint) return;
  omprntf(2, "Printing station values:  #obs = %ld\n", s.valid);
  omprnt(2, "OB    ID       LON      LAT      LEV      VAL\n");
  int k = 0;
  for (const stnrpt* r = stn->rpt; r; r = r->rpt) {
    if (r->val == stn->undef) continue;
    char id[9];
    std::memcpy(id, r->stid, 8);
    id[8] = '\0';
    omprntf(2, "%-5i %-8s %-8.6g %-8.6g %-8.6g %-8.6g\n", ++k, id, r->lon, r->lat, r->lev, r->val);
  }
}

}  // namespace

void omstts(cmnstate* pcm) {
  if (pcm->rescount < 1) return;
  if (pcm->restype[0] == 1) gridstats(static_cast<const gridres*>(pcm->resptr[0]));
  else stnstats(static_cast<const stnlist*>(pcm->resptr[0]), pcm->stnprint);
}
