// regrid: a field carried onto another longitude-latitude grid, a global
// regular one of a given spacing or the grid of another expression, by
// bilinear or conservative weights (regridw.h).
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

// The world coordinates of a grid's two axes.
rggrid coordsof(const gridres* g) {
  rggrid c;
  c.lon.resize(static_cast<size_t>(g->isiz));
  c.lat.resize(static_cast<size_t>(g->jsiz));
  for (int i = 0; i < g->isiz; i++) c.lon[static_cast<size_t>(i)] = g->igrab(g->ivals, g->dimmin[0] + i);
  for (int j = 0; j < g->jsiz; j++) c.lat[static_cast<size_t>(j)] = g->jgrab(g->jvals, g->dimmin[1] + j);
  return c;
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
  const int ny = static_cast<int>(std::floor(180.0 / dlat + 1e-6));
  const double lat0 = -90.0 + dlat / 2.0;
  int i1, i2, j1, j2;
  fnrange(static_cast<float>(pst->dmin[0] / dlon + 1.0), static_cast<float>(pst->dmax[0] / dlon + 1.0), &i1, &i2);
  fnrange(static_cast<float>((pst->dmin[1] - lat0) / dlat + 1.0),
          static_cast<float>((pst->dmax[1] - lat0) / dlat + 1.0), &j1, &j2);
  if (j1 < 1) j1 = 1;
  if (j2 > ny) j2 = ny;
  if (i2 < i1 || j2 < j1 || static_cast<double>(i2 - i1 + 1) * (j2 - j1 + 1) > 1e9) {
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
  float dlon = 0.0f, dlat = 0.0f;
  if (plain == 3) {
    const char* e1 = fnvalue(pfa->argpnt[1], &dlon);
    const char* e2 = fnvalue(pfa->argpnt[2], &dlat);
    if (!e1 || *e1 || !e2 || *e2 || !(dlon > 0.0f) || dlon > 360.0f || !(dlat > 0.0f) || dlat > 180.0f) {
      omprnt(0, "Error from REGRID:  Invalid grid spacing\n");
      omprnt(0, "  Spacings in longitude and latitude above 0 expected\n");
      return 1;
    }
  }
  gridres* src = nullptr;
  int rc = fnevalg(pfa->argpnt[0], pst, &src);
  if (rc) return rc;
  if (!lonlat(src)) {
    omgfre(src);
    omprnt(0, "Error from REGRID:  The field must vary in longitude and latitude\n");
    return 1;
  }
  const rggrid s = coordsof(src);
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
      t = coordsof(out);
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
  rgapply(*w, src->grid, static_cast<size_t>(src->isiz), src->undef, out->grid, &work);
  out->undef = src->undef;
  omgfre(src);
  fnsettle(pst, out);
  return 0;
}
