// GRIB edition 2 grids as a data set shows them: the axes of latitude-
// longitude and Gaussian grids (regular, or reduced and expanded), and for
// projected grids (rotated latitude-longitude, Mercator, polar
// stereographic, Lambert conformal) a latitude-longitude grid that covers
// them with the interpolation record a pdef descriptor builds.  Every
// projection works on the sphere (an oblate earth: its mean radius), in
// double precision, both ways: a native point's latitude and longitude
// (for the covering grid) and a latitude and longitude's native position.
#include <algorithm>
#include <cmath>
#include <vector>

#include "data/datafile.h"
#include "data/grib2.h"
#include "data/grib2int.h"
#include "data/gridres.h"
#include "data/pdef.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;

bool fail(std::string* why, const std::string& what) {
  if (why) *why = what;
  return false;
}

// An angle brought into [0, 360).
double wrap360(double a) {
  a = std::fmod(a, 360.0);
  return a < 0 ? a + 360.0 : a;
}
// Into [-180, 180).
double wrap180(double a) { return wrap360(a + 180.0) - 180.0; }

// The longitudes of a regular row: first (west) and step.
void lonaxis(const g2grid& g, int64_t n, double* lon0, double* dlon) {
  const bool neg = g.scan & 0x80;
  double span = wrap360(neg ? g.lon1 - g.lon2 : g.lon2 - g.lon1);
  double d = n > 1 ? span / (n - 1) : g.di;
  if (n > 1 && span == 0.0 && g.di > 0) d = g.di;  // first and last the same meridian
  if (!(d > 0)) d = 1.0;
  *dlon = d;
  *lon0 = neg ? g.lon1 - (n - 1) * d : g.lon1;
}

// Latitudes of a regular lat-lon grid: south first and step.
void lataxis(const g2grid& g, double* lat0, double* dlat) {
  const bool pos = g.scan & 0x40;
  double d = g.nj > 1 ? std::fabs(g.lat2 - g.lat1) / (g.nj - 1) : g.dj;
  if (!(d > 0)) d = 1.0;
  *dlat = d;
  *lat0 = pos ? g.lat1 : g.lat1 - (g.nj - 1) * d;
}

// A step of a covering grid: the largest of 1, 2, 2.5, 5 times a power of
// ten not above d degrees.
double nicestep(double d) {
  if (!(d > 1e-6)) return 1e-6;
  const double p = std::pow(10.0, std::floor(std::log10(d)));
  const double m[] = {5.0, 2.5, 2.0, 1.0};
  for (double f : m)
    if (f * p <= d * (1 + 1e-9)) return f * p;
  return p;
}

// A projection between latitude-longitude and native positions (1-based,
// in the program's order of the native grid: i eastward along x, j
// northward along y).
struct proj {
  int kind = 0;  // 1 rotated, 10 Mercator, 20 polar stereographic, 30 Lambert
  double R = 6371229.0;
  int ni = 0, nj = 0;
  // The native grid: position x, y of the point at (1, 1) and the steps
  // (metres, or degrees of the rotated grid).
  double x0 = 0, y0 = 0, dx = 1, dy = 1;
  bool windgrid = false;  // winds are relative to the grid
  // Rotated: the pole and the turn; Mercator: the first longitude and the
  // scale; stereographic and Lambert: the hemisphere, the orientation, the
  // cone and its constant.
  double splat = 0, splon = 0, rot = 0;
  double lon1 = 0, k = 1;
  double h = 1, lov = 0, n = 1, F = 1, stdlat = 60;

  // The plane position of a latitude and longitude (degrees); false where
  // it has none.
  bool plane(double lat, double lon, double* x, double* y) const {
    const double phi = lat * kRad;
    switch (kind) {
      case 1: {
        // Turn the sphere so that the grid's southern pole is the south
        // pole.  The angle of rotation turns the longitudes as ecCodes does,
        // about the earth's axis.
        const double l = (lon + rot - splon) * kRad, b = (splat + 90.0) * kRad;
        const double cx = std::cos(phi) * std::cos(l), cy = std::cos(phi) * std::sin(l), cz = std::sin(phi);
        const double xr = cx * std::cos(b) + cz * std::sin(b);
        const double zr = -cx * std::sin(b) + cz * std::cos(b);
        *y = std::asin(std::max(-1.0, std::min(1.0, zr))) / kRad;
        *x = std::atan2(cy, xr) / kRad;
        return true;
      }
      case 10:
        if (std::fabs(lat) >= 89.999) return false;
        *x = R * k * wrap360(lon - lon1) * kRad;
        *y = R * k * std::log(std::tan(kPi / 4 + phi / 2));
        return true;
      case 20: {
        if (h * lat <= -89.999) return false;
        const double rho = R * (1 + std::sin(stdlat * kRad)) * std::tan(kPi / 4 - h * phi / 2);
        const double t = wrap180(lon - lov) * kRad;
        *x = rho * std::sin(t);
        *y = -h * rho * std::cos(t);
        return true;
      }
      case 30: {
        if (h * lat <= -89.999) return false;
        const double rho = R * F / std::pow(std::tan(kPi / 4 + h * phi / 2), n);
        const double t = n * wrap180(lon - lov) * kRad;
        *x = rho * std::sin(t);
        *y = -h * rho * std::cos(t);
        return true;
      }
    }
    return false;
  }

  // The latitude and longitude of a plane position.
  void geo(double x, double y, double* lat, double* lon) const {
    switch (kind) {
      case 1: {
        const double l = x * kRad, p = y * kRad, b = (splat + 90.0) * kRad;
        const double xr = std::cos(p) * std::cos(l), yr = std::cos(p) * std::sin(l), zr = std::sin(p);
        const double cx = xr * std::cos(b) - zr * std::sin(b);
        const double cz = xr * std::sin(b) + zr * std::cos(b);
        *lat = std::asin(std::max(-1.0, std::min(1.0, cz))) / kRad;
        *lon = std::atan2(yr, cx) / kRad + splon - rot;
        return;
      }
      case 10:
        *lon = lon1 + x / (R * k) / kRad;
        *lat = (2 * std::atan(std::exp(y / (R * k))) - kPi / 2) / kRad;
        return;
      case 20: {
        const double rho = std::hypot(x, y);
        *lat = h * (kPi / 2 - 2 * std::atan(rho / (R * (1 + std::sin(stdlat * kRad))))) / kRad;
        *lon = lov + std::atan2(x, -h * y) / kRad;
        return;
      }
      case 30: {
        const double rho = std::hypot(x, y);
        *lat = h * (2 * std::atan(std::pow(R * F / rho, 1 / n)) - kPi / 2) / kRad;
        *lon = lov + std::atan2(x, -h * y) / kRad / n;
        return;
      }
    }
  }

  // Native position of a latitude and longitude.
  bool native(double lat, double lon, double* gi, double* gj) const {
    double x, y;
    if (!plane(lat, lon, &x, &y)) return false;
    if (kind == 1) x = x0 + wrap360(x - x0);  // rotated longitudes from the first column on
    *gi = 1 + (x - x0) / dx;
    *gj = 1 + (y - y0) / dy;
    return std::isfinite(*gi) && std::isfinite(*gj);
  }

  // Latitude and longitude of native position (gi, gj).
  void at(double gi, double gj, double* lat, double* lon) const {
    geo(x0 + (gi - 1) * dx, y0 + (gj - 1) * dy, lat, lon);
  }

  // The angle (radians, counterclockwise from east) of the grid's x axis
  // at a latitude and longitude: grid-relative winds are turned by it.
  float angle(double lat, double lon) const {
    if (!windgrid) return 0.0f;
    switch (kind) {
      case 20: return static_cast<float>(-h * wrap180(lon - lov) * kRad);
      case 30: return static_cast<float>(-h * n * wrap180(lon - lov) * kRad);
      case 1: {
        // Where a small step along the rotated grid's x axis goes.
        double x, y, la2, lo2;
        if (!plane(lat, lon, &x, &y)) return 0.0f;
        geo(x + 1e-4, y, &la2, &lo2);
        const double de = wrap180(lo2 - lon) * std::cos(lat * kRad), dn = la2 - lat;
        return de == 0 && dn == 0 ? 0.0f : static_cast<float>(std::atan2(dn, de));
      }
    }
    return 0.0f;
  }
};

bool makeproj(const g2grid& g, proj* p, std::string* why) {
  p->kind = g.tmpl;
  p->R = g.radius;
  p->ni = g.ni;
  p->nj = g.nj;
  p->windgrid = g.resflags & 0x08;
  // Program position of the message's first point.
  const double ip = g.scan & 0x80 ? g.ni : 1, jp = g.scan & 0x40 ? 1 : g.nj;
  switch (g.tmpl) {
    case 1: {
      p->splat = g.splat;
      p->splon = g.splon;
      p->rot = g.rotang;
      double lon0, dlon, lat0, dlat;
      lonaxis(g, g.ni, &lon0, &dlon);
      lataxis(g, &lat0, &dlat);
      p->x0 = lon0;
      p->y0 = lat0;
      p->dx = dlon;
      p->dy = dlat;
      return true;
    }
    case 10:
      p->lon1 = g.lon1;
      p->k = std::cos(g.lad * kRad);
      if (std::fabs(g.lov) > 1e-9) return fail(why, "Mercator grid turned from the equator is not read");
      break;
    case 20:
      p->h = g.projcentre & 0x80 ? -1 : 1;
      p->lov = g.lov;
      p->stdlat = std::fabs(g.lad);
      break;
    case 30: {
      p->h = g.projcentre & 0x80 ? -1 : 1;
      p->lov = g.lov;
      const double l1 = std::fabs(g.latin1) * kRad, l2 = std::fabs(g.latin2) * kRad;
      if (!(l1 > 0 && l1 < kPi / 2 && l2 > 0 && l2 < kPi / 2))
        return fail(why, "Lambert grid without its secant latitudes");
      if (std::fabs(l1 - l2) < 1e-9)
        p->n = std::sin(l1);
      else
        p->n = std::log(std::cos(l1) / std::cos(l2)) /
               std::log(std::tan(kPi / 4 + l2 / 2) / std::tan(kPi / 4 + l1 / 2));
      p->F = std::cos(l1) * std::pow(std::tan(kPi / 4 + l1 / 2), p->n) / p->n;
      break;
    }
    default:
      return fail(why, "grid definition template 3." + std::to_string(g.tmpl) + " has no projection");
  }
  if (!(g.di > 0 && g.dj > 0)) return fail(why, "projected grid without its grid lengths");
  p->dx = g.di;
  p->dy = g.dj;
  double x1, y1;
  if (!p->plane(g.lat1, g.lon1, &x1, &y1)) return fail(why, "projected grid's first point is off the projection");
  p->x0 = x1 - (ip - 1) * p->dx;
  p->y0 = y1 - (jp - 1) * p->dy;
  return true;
}

// The covering latitude-longitude grid of a projected grid: from the
// latitudes and longitudes of its edge, and the whole circle where a pole
// lies inside.
bool cover(const g2grid& g, const proj& p, g2axes* ax, std::string* why) {
  std::vector<std::pair<double, double>> edge;
  const int ni = g.ni, nj = g.nj;
  for (int i = 1; i <= ni; i++) edge.push_back({i, 1.0});
  for (int j = 2; j <= nj; j++) edge.push_back({static_cast<double>(ni), j});
  for (int i = ni - 1; i >= 1; i--) edge.push_back({i, static_cast<double>(nj)});
  for (int j = nj - 1; j >= 2; j--) edge.push_back({1.0, j});
  double latlo = 90, lathi = -90, lonlo = 0, lonhi = 0, prev = 0, run = 0;
  bool first = true;
  for (const auto& e : edge) {
    double la, lo;
    p.at(e.first, e.second, &la, &lo);
    if (!std::isfinite(la) || !std::isfinite(lo)) return fail(why, "projected grid's edge is off the projection");
    latlo = std::min(latlo, la);
    lathi = std::max(lathi, la);
    // Longitudes unwrapped along the edge.
    run = first ? lo : run + wrap180(lo - prev);
    lonlo = first ? run : std::min(lonlo, run);
    lonhi = first ? run : std::max(lonhi, run);
    prev = lo;
    first = false;
  }
  // A pole inside the grid: the edge goes once round it.
  double gi, gj;
  const bool north = p.native(90.0, 0.0, &gi, &gj) && gi >= 1 && gi <= ni && gj >= 1 && gj <= nj;
  const bool south = p.native(-90.0, 0.0, &gi, &gj) && gi >= 1 && gi <= ni && gj >= 1 && gj <= nj;
  // The native spacing in degrees.
  double step;
  if (g.tmpl == 1) step = std::min(p.dx, p.dy);
  else step = std::min(p.dx, p.dy) / (p.R * kRad) / (g.tmpl == 10 ? p.k : 1.0);
  step = nicestep(step);
  if (north) lathi = 90;
  if (south) latlo = -90;
  const bool round = north || south || lonhi - lonlo >= 360 - step;
  if (round) {
    lonlo = 0;
    lonhi = 360 - step;
  }
  ax->lon0 = std::floor(lonlo / step) * step;
  ax->lat0 = std::max(-90.0, std::floor(latlo / step) * step);
  const double lattop = std::min(90.0, std::ceil(lathi / step) * step);
  const double lonend = round ? lonhi : std::ceil(lonhi / step) * step;
  const double nx = std::floor((lonend - ax->lon0) / step + 0.5) + 1, ny = std::floor((lattop - ax->lat0) / step + 0.5) + 1;
  // Grid lengths that differ by orders of magnitude (damage) make a fine
  // covering grid over a wide box: far more points than a grid of ni x nj
  // points can fill, made before anything is read.
  const double native = static_cast<double>(ni) * nj;
  if (!(nx * ny < 4e8) || nx * ny > 64 * native + 1e6 || nx * ny * sizeof(float) > static_cast<double>(omgcap()))
    return fail(why, "projected grid's covering grid is too large");
  ax->nx = static_cast<int>(nx);
  ax->ny = static_cast<int>(ny);
  ax->dlon = ax->dlat = step;
  ax->wrap = round;
  return true;
}

// Index of the Gaussian latitude nearest lat among gl (south to north).
int64_t nearestlat(const std::vector<double>& gl, double lat) {
  int64_t best = -1;
  double d = 1e9;
  for (size_t k = 0; k < gl.size(); k++) {
    if (std::fabs(gl[k] - lat) < d) {
      d = std::fabs(gl[k] - lat);
      best = static_cast<int64_t>(k);
    }
  }
  return best;
}

void posfn(const void* ctx, double lon, double lat, double* gi, double* gj, float* ang) {
  const proj* p = static_cast<const proj*>(ctx);
  if (!p->native(lat, lon, gi, gj)) {
    *gi = *gj = -1;
    return;
  }
  *ang = p->angle(lat, lon);
}

}  // namespace

std::vector<double> g2gausslats(int n) {
  // The roots of the Legendre polynomial of degree 2n, by Newton's method
  // from the usual first guesses; symmetric, so half are computed.  The
  // last list made is kept: the fields of a file mostly share one grid.
  static std::vector<double> last;
  static int lastn = 0;
  if (n == lastn) return last;
  std::vector<double> lat(static_cast<size_t>(2 * n));
  const int m = 2 * n;
  for (int k = 0; k < n; k++) {
    double z = std::cos(kPi * (k + 0.75) / (m + 0.5));
    for (int it = 0; it < 100; it++) {
      double p0 = 1.0, p1 = z;
      for (int l = 2; l <= m; l++) {
        const double p2 = ((2.0 * l - 1) * z * p1 - (l - 1.0) * p0) / l;
        p0 = p1;
        p1 = p2;
      }
      const double dp = m * (z * p1 - p0) / (z * z - 1.0);
      const double dz = p1 / dp;
      z -= dz;
      if (std::fabs(dz) < 1e-16) break;
    }
    const double a = std::asin(z) / kRad;
    lat[static_cast<size_t>(m - 1 - k)] = a;
    lat[static_cast<size_t>(k)] = -a;
  }
  last = lat;
  lastn = n;
  return lat;
}

int g2gridaxes(const g2field& f, g2axes* ax, std::string* why) {
  *ax = g2axes();
  const g2grid& g = f.grid;
  ax->ni = g.ni;
  ax->nj = g.nj;
  switch (g.tmpl) {
    case 0: case 40: {
      ax->nx = g.ni;
      ax->ny = g.nj;
      if (g.nrow && g2int::reducedglobal(g, g.ni)) {
        ax->dlon = 360.0 / g.ni;
        ax->lon0 = g.scan & 0x80 ? g.lon1 - (g.ni - 1) * ax->dlon : g.lon1;
      } else {
        lonaxis(g, g.ni, &ax->lon0, &ax->dlon);
      }
      ax->wrap = std::fabs(ax->dlon * g.ni - 360.0) < ax->dlon * 1e-3;
      if (g.tmpl == 0) {
        lataxis(g, &ax->lat0, &ax->dlat);
        return 0;
      }
      const std::vector<double> gl = g2gausslats(g.ngauss);
      const int64_t k1 = nearestlat(gl, g.lat1);
      const int64_t s = g.scan & 0x40 ? k1 : k1 - (g.nj - 1);
      if (k1 < 0 || std::fabs(gl[static_cast<size_t>(k1)] - g.lat1) > 0.01 || s < 0 ||
          s + g.nj > static_cast<int64_t>(gl.size()))
        return fail(why, "Gaussian grid's rows are not those of its " + std::to_string(g.ngauss) + " parallels"), 1;
      ax->ylinear = false;
      ax->lats.assign(gl.begin() + s, gl.begin() + s + g.nj);
      ax->lat0 = ax->lats.front();
      ax->dlat = g.nj > 1 ? (ax->lats.back() - ax->lats.front()) / (g.nj - 1) : 0;
      return 0;
    }
    case 1: case 10: case 20: case 30: {
      if (g.nrow) return fail(why, "reduced projected grid is not read"), 1;
      proj p;
      if (!makeproj(g, &p, why) || !cover(g, p, ax, why)) return 1;
      ax->projected = true;
      return 0;
    }
    default:
      return fail(why, "grid definition template 3." + std::to_string(g.tmpl) + " is not shown"), 1;
  }
}

int g2pdef(const g2field& f, datafile* pfi, std::string* why) {
  proj p;
  if (!makeproj(f.grid, &p, why)) return 1;
  pfi->ppisiz = f.grid.ni;
  pfi->ppjsiz = f.grid.nj;
  if (ompdfill(pfi, posfn, &p)) return fail(why, "no room for the projection's record"), 1;
  return 0;
}

// For the tests: the latitude and longitude of native point (gi, gj) of a
// projected field, and back.
int g2natgeo(const g2field& f, double gi, double gj, double* lat, double* lon) {
  proj p;
  if (!makeproj(f.grid, &p, nullptr)) return 1;
  p.at(gi, gj, lat, lon);
  return 0;
}
int g2geonat(const g2field& f, double lat, double lon, double* gi, double* gj) {
  proj p;
  if (!makeproj(f.grid, &p, nullptr)) return 1;
  return p.native(lat, lon, gi, gj) ? 0 : 1;
}
