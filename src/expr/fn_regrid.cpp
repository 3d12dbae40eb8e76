// regrid: a field carried onto another longitude-latitude grid, a global
// regular one of a given spacing or the grid of another expression, by
// bilinear or conservative weights (regridw.h).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/omprnt.h"
#include "data/axisconv.h"
#include "data/gridres.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/omfunc.h"
#include "expr/regridw.h"

namespace {

bool isflag(const char* a) { return a[0] == '-' && a[1] == 'c' && a[2] == '\0'; }

bool lonlat(const gridres* g) { return g->idim == 0 && g->jdim == 1; }

// The latitudes of the n rows of a Gaussian grid, south to north: the
// zeros of the Legendre polynomial of degree n, by Newton's method.
std::vector<double> gaussian(size_t n) {
  std::vector<double> y(n);
  for (size_t k = 0; k < (n + 1) / 2; k++) {
    double x = std::cos(M_PI * (static_cast<double>(k) + 0.75) / (static_cast<double>(n) + 0.5));
    for (int it = 0; it < 100; it++) {
      double p0 = 1.0, p1 = x;
      for (size_t m = 2; m <= n; m++) {
        const double p2 = ((2.0 * m - 1.0) * x * p1 - (m - 1.0) * p0) / static_cast<double>(m);
        p0 = p1;
        p1 = p2;
      }
      const double dp = static_cast<double>(n) * (x * p1 - p0) / (x * x - 1.0);
      const double dx = p1 / dp;
      x -= dx;
      if (std::fabs(dx) < 1e-16) break;
    }
    const double lat = std::asin(x) * 180.0 / M_PI;
    y[n - 1 - k] = lat;
    y[k] = -lat;
  }
  return y;
}

// A file keeps its latitudes as floats: those of a whole Gaussian grid are
// taken at their full precision, as the peers take them.
void exactlats(std::vector<double>* lat) {
  const size_t n = lat->size();
  if (n < 4) return;
  const double d0 = (*lat)[1] - (*lat)[0], dm = (*lat)[n / 2] - (*lat)[n / 2 - 1];
  if (std::fabs(d0 - dm) < 1e-4 * dm) return;  // evenly spaced
  const std::vector<double> g = gaussian(n);
  for (size_t k = 0; k < n; k++)
    if (std::fabs(g[k] - (*lat)[k]) > 1e-4) return;
  *lat = g;
}

// The world coordinates of a grid's two axes.  Rows beyond a pole (an
// environment wider than the file gives them, undefined) are no part of
// the sphere: only the rows from *j0 on, as many as lat holds, count.
rggrid coordsof(const gridres* g, int* j0) {
  rggrid c;
  c.lon.resize(static_cast<size_t>(g->isiz));
  for (int i = 0; i < g->isiz; i++) c.lon[static_cast<size_t>(i)] = g->igrab(g->ivals, g->dimmin[0] + i);
  *j0 = -1;
  for (int j = 0; j < g->jsiz; j++) {
    const double y = g->jgrab(g->jvals, g->dimmin[1] + j);
    if (std::fabs(y) > 90.0 + 1e-6) continue;
    if (*j0 < 0) *j0 = j;
    c.lat.push_back(y);
  }
  if (*j0 < 0) *j0 = 0;
  exactlats(&c.lat);
  return c;
}

// Evaluates the source of a regridding.  The environment picks the target
// points only: the source is read over the whole globe in longitude and
// latitude, as an area mean over the globe reads it, so that a window
// without the repeated column (lon 0 to 357.5), a region or a band short of
// the poles still gives its edge cells and polar points every source point
// they take.  Level and time stay the environment's.  An environment fixed
// in longitude or latitude is left as it is (the source then does not vary
// in both, which is refused).
int evalsource(const char* text, const evalstat* pst, gridres** out) {
  evalstat whole = *pst;
  whole.result.pgr = nullptr;
  if (pst->idim == 0 && pst->jdim == 1) fnglobal(&whole);
  return fnevalg(text, &whole, out);
}

// Coordinates that fall as they go are no grid this can carry.
bool rising(const std::vector<double>& c) {
  for (size_t k = 1; k < c.size(); k++)
    if (!(c[k] > c[k - 1])) return false;
  return true;
}

// A linear axis pair of world = a * grid + b, owned by the grid.
float* linpair(double a, double b) {
  float* v = static_cast<float*>(std::malloc(6 * sizeof(float)));
  if (!v) return nullptr;
  v[0] = static_cast<float>(a);
  v[1] = static_cast<float>(b);
  v[2] = AXEND;
  v[3] = static_cast<float>(1.0 / a);
  v[4] = static_cast<float>(-b / a);
  v[5] = AXEND;
  return v;
}

// The points of the global grid of spacing dlon x dlat (first point at
// longitude 0, latitude -90 + dlat/2) within the environment of pst, as a
// new grid with its coordinates in t; null after the message.
gridres* spacedgrid(const evalstat* pst, const gridres* src, double dlon, double dlat, rggrid* t) {
  // A spacing so fine that the indices of the environment's points pass
  // what a grid may count is refused as a grid of no points.
  const double rows = std::floor(180.0 / dlat + 1e-6);
  const double lat0 = -90.0 + dlat / 2.0;
  int i1 = 1, i2 = 0, j1 = 1, j2 = 0;
  const bool counted =
      fnusable(rows) &&
      fnrange(static_cast<float>(pst->dmin[0] / dlon + 1.0), static_cast<float>(pst->dmax[0] / dlon + 1.0), &i1,
              &i2) &&
      fnrange(static_cast<float>((pst->dmin[1] - lat0) / dlat + 1.0),
              static_cast<float>((pst->dmax[1] - lat0) / dlat + 1.0), &j1, &j2);
  if (j1 < 1) j1 = 1;
  if (counted && j2 > rows) j2 = static_cast<int>(rows);
  if (!counted || i2 < i1 || j2 < j1 || static_cast<double>(i2 - i1 + 1) * (j2 - j1 + 1) > 1e9) {
    omprnt(0, "Error from REGRID:  No point of the new grid lies within the dimension environment\n");
    return nullptr;
  }
  gridres* g = omgnew();
  if (!g) return nullptr;
  g->isiz = i2 - i1 + 1;
  g->jsiz = j2 - j1 + 1;
  g->alocf = 1;
  g->ivals = linpair(dlon, -dlon);
  g->jvals = linpair(dlat, lat0 - dlat);
  if (!g->ivals || !g->jvals || !omgalo(g, fnpts(g))) {
    omgfre(g);
    omprnt(0, "Memory Allocation Error:  REGRID function\n");
    return nullptr;
  }
  g->iavals = g->ivals + 3;
  g->javals = g->jvals + 3;
  g->igrab = g->jgrab = g->iabgr = g->jabgr = liconv;
  g->ilinr = g->jlinr = 1;
  g->idim = 0;
  g->jdim = 1;
  for (int d = 2; d < 4; d++) {
    g->dimmin[d] = src->dimmin[d];
    g->dimmax[d] = src->dimmax[d];
  }
  g->dimmin[0] = i1;
  g->dimmax[0] = i2;
  g->dimmin[1] = j1;
  g->dimmax[1] = j2;
  for (int i = i1; i <= i2; i++) t->lon.push_back((i - 1) * dlon);
  for (int j = j1; j <= j2; j++) t->lat.push_back(lat0 + (j - 1) * dlat);
  return g;
}

}  // namespace

int ffregrid(fargs* pfa, evalstat* pst) {
  const int n = pfa->argnum;
  const bool con = n >= 3 && isflag(pfa->argpnt[n - 1]);
  const int plain = con ? n - 1 : n;
  if (plain < 2 || plain > 3) {
    omprnt(0, "Error from REGRID:  Too many or too few args \n");
    omprnt(0, "                    2 to 4 arguments expected \n");
    return 1;
  }
  double dlon = 0.0, dlat = 0.0;
  if (plain == 3) {
    float flon, flat;
    const char* e1 = fnvalue(pfa->argpnt[1], &flon);
    const char* e2 = fnvalue(pfa->argpnt[2], &flat);
    // The spacings as typed, not as the nearest floats: 0.7 degrees are
    // 0.7 at the five-hundredth point too.
    if (e1 && !*e1) dlon = std::strtod(pfa->argpnt[1], nullptr);
    if (e2 && !*e2) dlat = std::strtod(pfa->argpnt[2], nullptr);
    if (!(dlon > 0.0) || dlon > 360.0 || !(dlat > 0.0) || dlat > 180.0) {
      omprnt(0, "Error from REGRID:  Invalid grid spacing\n");
      omprnt(0, "  Spacings in longitude and latitude above 0 expected\n");
      return 1;
    }
  }
  gridres* src = nullptr;
  int rc = evalsource(pfa->argpnt[0], pst, &src);
  if (rc) return rc;
  if (!lonlat(src)) {
    omgfre(src);
    omprnt(0, "Error from REGRID:  The field must vary in longitude and latitude\n");
    return 1;
  }
  int j0, tj0;
  const rggrid s = coordsof(src, &j0);
  rggrid t;
  gridres* out = nullptr;
  if (plain == 3) {
    out = spacedgrid(pst, src, dlon, dlat, &t);
  } else {
    rc = fnevalg(pfa->argpnt[1], pst, &out);
    if (rc) {
      omgfre(src);
      return rc;
    }
    if (!lonlat(out)) {
      omgfre(out);
      out = nullptr;
      omprnt(0, "Error from REGRID:  The grid to regrid to must vary in longitude and latitude\n");
    } else {
      t = coordsof(out, &tj0);
      out->pvar = nullptr;
    }
  }
  if (!out) {
    omgfre(src);
    return 1;
  }
  if (!rising(s.lon) || !rising(s.lat) || !rising(t.lon) || !rising(t.lat)) {
    omgfre(src);
    omgfre(out);
    omprnt(0, "Error from REGRID:  Grid coordinates must rise along both axes\n");
    return 1;
  }
  std::shared_ptr<const rgweights> w = rgweightsfor(s, t, con ? RG_CONSERVE : RG_BILINEAR);
  if (!w) {
    omgfre(src);
    omgfre(out);
    omprnt(0, "Error from REGRID:  The field needs two points or more along each axis\n");
    return 1;
  }
  // The scratch rows are kept from call to call: a time loop regrids
  // every step into the same room.
  static std::vector<double> work;
  const size_t sw = static_cast<size_t>(src->isiz);
  float* dst = out->grid;
  if (plain == 2) {
    // Target rows beyond a pole stay undefined.
    std::fill(dst, dst + fnpts(out), src->undef);
    dst += static_cast<size_t>(tj0) * static_cast<size_t>(out->isiz);
  }
  const bool whole = rgapply(*w, src->grid + static_cast<size_t>(j0) * sw, sw, src->undef, dst, &work);
  out->undef = src->undef;
  omgfre(src);
  if (!whole) {
    omgfre(out);
    return 1;
  }
  fnsettle(pst, out);
  return 0;
}
