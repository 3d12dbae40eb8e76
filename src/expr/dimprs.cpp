// Dimension expressions: x=1, t+2, lat=40, lev-100, time=12z1jan1990, r=5.
#include <cmath>
#include <cstring>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "expr/evalstat.h"
#include "expr/varprs.h"

namespace {

void invalid() { omprnt(0, "Syntax Error:  Invalid dimension expression\n"); }

void badname(const char* name) {
  invalid();
  omprntf(0, "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found %s\n", name);
}

bool offsetvarying(const evalstat* pst, int dim) {
  if (pst->idim != dim && pst->jdim != dim) return false;
  invalid();
  omprnt(0, "  Cannot use an offset value with a varying ");
  omprnt(0, "dimension\n");
  omprntf(0, "  Varying dimension = %i \n", dim);
  return true;
}

// World value to grid coordinate on dimension d (0-2) of a file, through
// its own conversion; files without one (station data) keep world values.
double togrid(const datafile* pfi, int d, double w) {
  if ((pfi->type == 1 || pfi->type == 4) && pfi->ab2gr[d] && pfi->abvals[d])
    return pfi->ab2gr[d](pfi->abvals[d], w);
  return w;
}

// A grid value that fits a float; values beyond any axis stay far outside
// it instead of overflowing.
float tofloat(double g) {
  if (std::isnan(g)) return 1e30f;
  if (g > 1e30) return 1e30f;
  if (g < -1e30) return -1e30f;
  return static_cast<float>(g);
}

}  // namespace

const char* dimprs(const char* p, evalstat* pst, datafile* pfi, int* dim, float* gval,
                   int rflag, int* wflag) {
  char name[8];
  int n = 0;
  while (*p >= 'a' && *p <= 'z' && n < 6) name[n++] = *p++;
  name[n] = '\0';
  if (n > 4) {
    badname(name);
    return nullptr;
  }
  char op = *p;
  if (op != '=' && op != '+' && op != '-') {
    invalid();
    if (op == '\0' || op == '\n') omprnt(0, "  Expecting +/-/= operator, found end of expression\n");
    else omprntf(0, "  Expecting +/-/= operator, found %c\n", op);
    return nullptr;
  }
  p++;

  bool istime = std::strcmp(name, "time") == 0;
  float val = 0.0f;
  datetime dt = {0, 0, 0, 0, 0};
  if (istime) {
    const char* q;
    if (op == '=') {
      q = adtprs(p, &pst->tmin, &dt);
      if (!q) {
        omprnt(0, "  Invalid dimension expression\n");
        return nullptr;
      }
    } else {
      q = rdtprs(p, &dt);
      if (!q) return nullptr;
    }
    p = q;
  } else {
    const char* q = valprs(p, &val);
    if (!q) {
      invalid();
      omprnt(0, "  Dimension value missing or invalid\n");
      return nullptr;
    }
    p = q;
  }

  static const char* const names[] = {"x", "y", "z", "t", "lon", "lat", "lev", "time"};
  int d = -1;
  for (int i = 0; i < 8; i++)
    if (std::strcmp(name, names[i]) == 0) d = i;
  if (d < 0 && !rflag && std::strcmp(name, "r") == 0) d = 9;
  if (d < 0) {
    badname(name);
    return nullptr;
  }

  *wflag = 0;
  if (d == 9) {
    *dim = 9;
    *gval = val;
    return p;
  }

  if (d < 4) {
    double g;
    if (op == '=') {
      g = val + pfi->dimoff[d];
    } else {
      if (offsetvarying(pst, d)) return nullptr;
      double base;
      if (d == 3) {
        base = pfi->abvals[3] ? t2gr(pfi->abvals[3], &pst->tmin) : 1.0;
      } else {
        // A defined grid converts through its own axes too, so that an
        // offset counts its own grid points.
        base = togrid(pfi, d, pst->dmin[d]);
      }
      g = op == '+' ? base + val : base - val;
    }
    *dim = d;
    *gval = tofloat(g);
    return p;
  }

  d -= 4;
  *wflag = 1;
  if (op != '=' && offsetvarying(pst, d)) return nullptr;
  double g;
  if (d == 3) {
    datetime when = dt;
    if (op == '+') {
      when = dt;
      timadd(&pst->tmin, &when);
    } else if (op == '-') {
      when = dt;
      timsub(&pst->tmin, &when);
    }
    g = pfi->abvals[3] ? t2gr(pfi->abvals[3], &when) : 1.0;
  } else {
    double w = val;
    if (op == '+') w = pst->dmin[d] + val;
    if (op == '-') w = pst->dmin[d] - val;
    g = togrid(pfi, d, w);
  }
  *dim = d;
  *gval = tofloat(g);
  return p;
}
