// Map projections of pre-projected grids: from a latitude and longitude to
// fractional coordinates of the native grid.
#include <cmath>

#include "data/pdef.h"

namespace {

double clamp1(double v) { return v > 1.0 ? 1.0 : (v < -1.0 ? -1.0 : v); }

// An angle brought into 0..360 as steps of 360 would bring it (a positive
// multiple of 360 stays 360), in one step: parameters and axis values come
// from the descriptor, and a step of 360 is lost on a huge value, so a loop
// of steps would never end there.  An infinite angle gives NaN, which no
// grid position accepts.
double wrap0360(double l) {
  if (l < 0.0) {
    l = std::fmod(l, 360.0);
    if (l < 0.0) l += 360.0;
  } else if (l > 360.0) {
    l = std::fmod(l, 360.0);
    if (l == 0.0) l = 360.0;
  }
  return l;
}

// The same into -180..180.
double wrap180(double l) {
  if (l > 180.0) {
    l = std::fmod(l, 360.0);
    if (l > 180.0) l -= 360.0;
  } else if (l < -180.0) {
    l = std::fmod(l, 360.0);
    if (l < -180.0) l += 360.0;
  }
  return l;
}

}  // namespace

// Polar stereographic position relative to the pole, in mesh lengths.  A
// negative mesh length selects the southern hemisphere.
void w3fb04(float alat, float along, float xmeshl, float orient, float* xi, float* xj) {
  const float radpd = 0.01745329f;
  float re = 6371.2f * 1.86603f / xmeshl;
  float xlat = alat * radpd;
  if (xmeshl > 0.0f) {
    float wlong = (along + 180.0f - orient) * radpd;
    float r = re * std::cos(xlat) / (1.0f + std::sin(xlat));
    *xi = r * std::sin(wlong);
    *xj = r * std::cos(wlong);
  } else {
    re = -re;
    xlat = -xlat;
    float wlong = (along - orient) * radpd;
    float r = re * std::cos(xlat) / (1.0f + std::sin(xlat));
    *xi = r * std::sin(wlong);
    *xj = -r * std::cos(wlong);
  }
}

// Lambert conformal: p = reference lat, lon, i, j, true latitudes 1 and 2,
// standard longitude, dx, dy (m).
void ll2lc(const float* p, float lat, float lon, float* gi, float* gj) {
  const double d = static_cast<float>(4.0 * std::atan(1.0) / 180.0);
  const double rad = 6371229.0;
  double a4 = std::fabs(p[4]), a5 = std::fabs(p[5]);
  double c;
  if (p[4] == p[5]) {
    c = std::sin(a4 * d);
  } else {
    c = (std::log(std::sin((90.0 - a4) * d)) - std::log(std::sin((90.0 - a5) * d))) /
        (std::log(std::tan((90.0 - a4) * d / 2.0)) - std::log(std::tan((90.0 - a5) * d / 2.0)));
  }
  double h = a4 / p[4];
  double a = (90.0 - a4) * d;
  double r1 = rad * std::sin(a) / c;
  double ta = std::tan(a / 2.0);
  double rr = r1 * std::pow(std::tan((90.0 - std::fabs(p[0])) * d / 2.0) / ta, c);
  double b = (p[1] - p[6]) * d * c;
  double xr = rr * std::sin(b);
  double yr = -rr * std::cos(b) * h;
  double r = r1 * std::pow(std::tan((90.0 - lat * h) * d / 2.0) / ta, c);
  double l = wrap0360(lon + 180.0 - p[6]);
  double e = (l - 180.0) * c * d;
  double x = r * std::sin(e);
  double y = -r * std::cos(e) * h;
  *gi = static_cast<float>(p[2] + (x - xr) / p[7]);
  *gj = static_cast<float>(p[3] + (y - yr) / p[8]);
}

// Rotated latitude-longitude E-grid: p = centre lon, centre lat, dlon,
// dlat (degrees).  Also the wind-rotation angle of the point.
void ll2eg(int im, int jm, const float* p, float lon, float lat, float* gi, float* gj,
           float* angle) {
  const double d = 0.017453292;
  const double rd = 57.29578;
  double g = lat * d, t0 = p[1] * d;
  double cg = std::cos(g), sg = std::sin(g), st = std::sin(t0), ct = std::cos(t0);
  double dl = (lon - p[0]) * d;
  double x = ct * cg * std::cos(dl) + st * sg;
  double y = cg * std::sin(dl);
  double z = ct * sg - st * cg * std::cos(dl);
  double tlat = std::atan(z / std::sqrt(x * x + y * y)) * rd;
  double tlon = std::atan(y / x) * rd;
  double fi = tlon / (p[2] / 2.0) + im;
  double fj = tlat / (p[3] / 2.0) + jm;
  *gi = static_cast<float>((fi + 1.0) / 2.0 - 1.0);
  *gj = static_cast<float>((fj + 1.0) / 2.0 - 1.0);
  double w = lon * d - (p[0] + 360.0) * d;
  double q = std::atan2(cg * std::sin(w), ct * cg * std::cos(w) + st * sg);
  // At the poles the angle has no meaning: no turn rather than NaN.
  *angle = cg == 0.0 ? 0.0f : static_cast<float>(std::asin(clamp1(st * std::sin(q) / cg)));
}

// Polar stereographic on the ellipsoid: p = true latitude, central lon,
// pole i, pole j, dx, dy (km), hemisphere sign.
void ll2pse(int, int, const float* p, float lon, float lat, float* gi, float* gj) {
  const double re = 6378273.0, e2 = 0.006693883;
  const double e = std::sqrt(e2);
  const double pi4 = 0.7853982, cdr = 57.295776;
  if (std::fabs(lat) > 90.0) {
    *gi = *gj = -1.0f;
    return;
  }
  auto tfn = [&](double rl) {
    double s = std::sin(rl);
    return std::tan(pi4 - rl / 2.0) / std::pow((1.0 - e * s) / (1.0 + e * s), e / 2.0);
  };
  double t = tfn(lat / cdr);
  double rho;
  if (std::fabs(90.0 - p[0]) < 0.001) {
    rho = 2.0 * re * t / std::pow(std::pow(1.0 + e, 1.0 + e) * std::pow(1.0 - e, 1.0 - e), e / 2.0);
  } else {
    double sl = p[0] / cdr;
    double tc = tfn(sl);
    double mc = std::cos(sl) / std::sqrt(1.0 - e2 * std::sin(sl) * std::sin(sl));
    rho = re * mc * t / tc;
  }
  double s = p[6];
  double b = (p[1] + lon) / cdr * s;
  *gi = static_cast<float>((rho * s * std::cos(b)) / (p[4] * 1000.0) + p[2] + 1.0);
  *gj = static_cast<float>((rho * s * std::sin(b)) / (p[5] * 1000.0) + p[3] + 1.0);
}

// Oblique stereographic: p = tangent lat, tangent lon, x and y offsets of
// the tangent point (m), i0, j0, dx, dy (m).
void ll2ops(const float* p, float lon, float lat, float* gi, float* gj) {
  const double d = std::asin(1.0) / 90.0;
  const double pi = 2.0 * std::asin(1.0);
  const double P = p[0];
  const double s = P >= 0.0 ? 1.0 : -1.0;
  double lo = lon <= 0.0 ? lon + 360.0 : lon;
  double tl = p[1] < 0.0 ? p[1] + 360.0 : p[1];
  double a, z;
  if (P == 90.0) {
    a = lat;
    z = std::fmod(lo + 270.0, 360.0);
  } else if (P == -90.0) {
    a = -lat;
    z = std::fmod(lo + 270.0, 360.0);
  } else if (lo == tl) {
    if (P < lat) {
      a = 90.0 - lat + P;
      z = 90.0;
    } else {
      a = 90.0 - P + lat;
      z = 270.0;
    }
  } else if (std::fmod(lo + 180.0, 360.0) == tl) {
    a = P - 90.0 + lat;
    if (a < -90.0) {
      a = -180.0 - a;
      z = 270.0;
    } else {
      z = 90.0;
    }
  } else {
    double dl = wrap180(lo - tl);
    double g = std::acos(clamp1(std::cos(lat * d) * std::cos(dl * d)));
    double L = lat * s * d;
    double B = std::asin(clamp1(std::sin(L) / std::sin(g)));
    double Q = P * s * d;
    double A = std::asin(clamp1(std::cos(P * d) * std::cos(g) + std::sin(Q) * std::sin(L)));
    double Z = std::asin(clamp1(std::sin(g) * std::cos(B) / std::cos(A)));
    double K = std::asin(clamp1(std::sin(L) / std::sin(Q)));
    double D = std::acos(clamp1(std::cos(P * d) * std::sin(K)));
    double E = std::asin(clamp1(std::sin(L) / std::sin(D)));
    double q = std::cos(lat * d) * std::cos(D) / (1.0 - std::sin(L) * std::sin(D) * std::sin(E));
    double m = std::fabs(q) > 1.0 ? 999.0 : std::acos(q) / d;
    if ((m < std::fabs(dl) && lat <= P) || P < lat) Z = pi - Z;
    if (dl < 0.0) Z = -Z;
    a = A / d;
    z = std::fmod(Z / d + 270.0, 360.0);
  }
  double r = 2.0 * 6371229.0 / (1.0 + std::sin(a * d)) * std::cos(a * d);
  *gi = static_cast<float>((r * std::cos(z * d) - p[2]) / p[6] + p[4]);
  *gj = static_cast<float>((r * std::sin(z * d) - p[3]) / p[7] + p[5]);
}
