// Map projections: set-ups, forward and back routines, wind rotation.
#include "gx/mapproj.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "gx/gx.h"

namespace {

int adjtyp = 0;       // wind rotation: 0 none, 1 north polar, 2 south polar, 3 none (curved)
float lonref = 0;     // middle longitude of the polar and orthographic maps
float londif = 0;     // -90 - lonref
float lomin = 0, lomax = 0, lamin = 0, lamax = 0;
float hemi = 1;       // Lambert: +1 northern map, -1 southern

const float rob1[37] = {-1.349f, -1.317f, -1.267f, -1.206f, -1.138f, -1.066f, -0.991f, -0.913f,
                        -0.833f, -0.752f, -0.669f, -0.586f, -0.502f, -0.418f, -0.334f, -0.251f,
                        -0.167f, -0.084f, 0.0f,    0.084f,  0.167f,  0.251f,  0.334f,  0.418f,
                        0.502f,  0.586f,  0.669f,  0.752f,  0.833f,  0.913f,  0.991f,  1.066f,
                        1.138f,  1.206f,  1.267f,  1.317f,  1.349f};
const float rob2[37] = {1.399f, 1.504f, 1.633f, 1.769f, 1.889f, 1.997f, 2.099f, 2.195f,
                        2.281f, 2.356f, 2.422f, 2.478f, 2.532f, 2.557f, 2.582f, 2.602f,
                        2.616f, 2.625f, 2.628f, 2.625f, 2.616f, 2.602f, 2.582f, 2.557f,
                        2.532f, 2.478f, 2.422f, 2.356f, 2.281f, 2.195f, 2.099f, 1.997f,
                        1.889f, 1.769f, 1.633f, 1.504f, 1.399f};

const double pi = 3.14159265358979;
const double d2r = pi / 180.0;
const float offmap = -999.9f;

bool badbox(const mapproj* m) {
  return m->lnmn >= m->lnmx || m->ltmn >= m->ltmx || m->xmn >= m->xmx || m->ymn >= m->ymx;
}

// Fits the projected box x1..x2, y1..y2 into the page area keeping its
// aspect, and programs the scaling.
void aspect(mapproj* m, float x1, float x2, float y1, float y2) {
  double pw = (double)m->xmx - m->xmn, ph = (double)m->ymx - m->ymn;
  double mw = (double)x2 - x1, mh = (double)y2 - y1;
  if (pw / ph > mw / mh) {
    double w = ph * 0.5 * mw / mh, xc = ((double)m->xmx + m->xmn) / 2;
    m->axmn = (float)(xc - w);
    m->axmx = (float)(xc + w);
    m->aymn = m->ymn;
    m->aymx = m->ymx;
  } else {
    double h = pw * 0.5 * mh / mw, yc = ((double)m->ymx + m->ymn) / 2;
    m->axmn = m->xmn;
    m->axmx = m->xmx;
    m->aymn = (float)(yc - h);
    m->aymx = (float)(yc + h);
  }
  gxscal(m->axmn, m->axmx, m->aymn, m->aymx, x1, x2, y1, y2);
}

float px(gxhook f, float lon, float lat) {
  float x, y;
  f(lon, lat, &x, &y);
  return x;
}
float py(gxhook f, float lon, float lat) {
  float x, y;
  f(lon, lat, &x, &y);
  return y;
}

// The projected box of Robinson, Mollweide and orthographic maps: the x
// ends widen to the equator when the box straddles it.
void curvedbox(const mapproj* m, gxhook f, float* x1, float* x2, float* y1, float* y2) {
  *x1 = px(f, m->lnmn, m->ltmn);
  float t = px(f, m->lnmn, m->ltmx);
  if (t < *x1) *x1 = t;
  if (m->ltmn < 0 && m->ltmx > 0) {
    t = px(f, m->lnmn, 0);
    if (t < *x1) *x1 = t;
  }
  *x2 = px(f, m->lnmx, m->ltmn);
  t = px(f, m->lnmx, m->ltmx);
  if (t > *x2) *x2 = t;
  if (m->ltmn < 0 && m->ltmx > 0) {
    t = px(f, m->lnmx, 0);
    if (t > *x2) *x2 = t;
  }
  *y1 = py(f, m->lnmn, m->ltmn);
  *y2 = py(f, m->lnmn, m->ltmx);
}

// Programs a Robinson, Mollweide or orthographic map: its curved box
// fitted to the page, its forward and back routines, no wind rotation.
void curvedsetup(mapproj* m, gxhook fwd, gxhook bck) {
  float x1, x2, y1, y2;
  curvedbox(m, fwd, &x1, &x2, &y1, &y2);
  aspect(m, x1, x2, y1, y2);
  gxproj(fwd);
  gxback(bck);
  adjtyp = 3;
}

// Keeps the map box for the forward and back routines that need it.
void keepbox(const mapproj* m) {
  lomin = m->lnmn;
  lomax = m->lnmx;
  lamin = m->ltmn;
  lamax = m->ltmx;
}

// Brings a longitude into lonref +- 180.
float wraplon(double lon) {
  if (lon < lonref - 180.0) lon += 360.0 * std::ceil((lonref - 180.0 - lon) / 360.0);
  if (lon > lonref + 180.0) lon -= 360.0 * std::ceil((lon - lonref - 180.0) / 360.0);
  return (float)lon;
}

// The polar angle a (from atan2) moved by whole turns next to the angle of
// the reference longitude, so that the longitude comes out within half a
// turn of it.
double turn(double a, double factor) {
  double ref = ((double)lonref + londif) * factor;
  return a + 2 * pi * std::round((ref - a) / (2 * pi));
}

bool polarbad(const mapproj* m) {
  return (double)m->lnmx - m->lnmn > 360.0 || m->lnmn < -360.0 || m->lnmx > 360.0;
}

// Robinson interpolation at a latitude: y and the half-length of the parallel.
void robrow(float lat, double* y, double* half) {
  double t = ((double)lat + 90.0) / 5.0;
  int i = t < 0 || !(t == t) ? -1 : (t >= 36 ? 36 : (int)t);
  double f = t - i;
  if (i < 0) {
    *y = -1.349;
    *half = 1.399;
  } else if (i > 35) {
    *y = 1.349;
    *half = 1.399;
  } else {
    *y = rob1[i] + ((double)rob1[i + 1] - rob1[i]) * f;
    *half = rob2[i] + ((double)rob2[i + 1] - rob2[i]) * f;
  }
}

// Lambert constants of the current map.
void lamconst(double* n, double* lon0) {
  double p1 = lamin, p2 = lamax;
  if (p1 == -90.0) p1 = -89.99;
  if (p2 == 90.0) p2 = 89.99;
  const float f = 0.017453292f;
  *lon0 = std::floor(((double)lomax + lomin) / 2.0);
  double t1 = std::tan((45.0 - hemi * p1 / 2.0) * f);
  double t2 = std::tan((45.0 - hemi * p2 / 2.0) * f);
  if (p1 != p2) *n = (std::log10(std::cos(p1 * f)) - std::log10(std::cos(p2 * f))) /
                     (std::log10(t1) - std::log10(t2));
  else *n = std::cos((90.0 - hemi * p1) * f);
}

}  // namespace

// ---------------------------------------------------------------- linear

int gxscld(mapproj* m, int xflip, int yflip) {
  if (badbox(m)) return 1;
  m->axmn = m->xmn;
  m->axmx = m->xmx;
  m->aymn = m->ymn;
  m->aymx = m->ymx;
  float x1 = m->lnmn, x2 = m->lnmx, y1 = m->ltmn, y2 = m->ltmx;
  if (xflip) std::swap(x1, x2);
  if (yflip) std::swap(y1, y2);
  gxscal(m->axmn, m->axmx, m->aymn, m->aymx, x1, x2, y1, y2);
  gxproj(nullptr);
  adjtyp = 0;
  return 0;
}

int gxltln(mapproj* m) {
  if (badbox(m)) return 1;
  double a = ((double)m->ltmx - m->ltmn) * 1.2 / ((double)m->lnmx - m->lnmn);
  double pw = (double)m->xmx - m->xmn, ph = (double)m->ymx - m->ymn;
  double p = ph / pw;
  if (a > p) {
    double w = pw * p / a, xc = m->xmn + pw / 2;
    m->axmn = (float)(xc - w / 2);
    m->axmx = (float)(xc + w / 2);
    m->aymn = m->ymn;
    m->aymx = m->ymx;
  } else {
    double h = ph * a / p, yc = m->ymn + ph / 2;
    m->axmn = m->xmn;
    m->axmx = m->xmx;
    m->aymn = (float)(yc - h / 2);
    m->aymx = (float)(yc + h / 2);
  }
  gxscal(m->axmn, m->axmx, m->aymn, m->aymx, m->lnmn, m->lnmx, m->ltmn, m->ltmx);
  gxproj(nullptr);
  adjtyp = 0;
  return 0;
}

// ---------------------------------------------------------------- polar stereographic

void gxnpst(float lon, float lat, float* x, float* y) {
  double r = std::tan(0.785315 - lat * 0.00872572);
  double a = ((double)lon + londif) * 0.0174514;
  *x = (float)(r * std::cos(a));
  *y = (float)(r * std::sin(a));
}

void gxspst(float lon, float lat, float* x, float* y) {
  double r = std::tan(lat * 0.00872572 + 0.785315);
  double a = ((double)lon + londif) * -0.0174514;
  *x = (float)(r * std::cos(a));
  *y = (float)(r * std::sin(a));
}

// The back routines undo the forward constants exactly (their degree
// factors differ slightly from pi/180), so a point converted to the page
// and back lands where it started.
void gxnrev(float x, float y, float* lon, float* lat) {
  double r = std::hypot((double)x, (double)y);
  double la = (0.785315 - std::atan(r)) / 0.00872572;
  double lo = 0;
  if (x != 0 || y != 0) lo = wraplon(turn(std::atan2((double)y, (double)x), 0.0174514) / 0.0174514 - londif);
  *lon = (float)lo;
  *lat = (float)la;
}

void gxsrev(float x, float y, float* lon, float* lat) {
  double r = std::hypot((double)x, (double)y);
  double la = (std::atan(r) - 0.785315) / 0.00872572;
  double lo = 0;
  if (x != 0 || y != 0) lo = wraplon(turn(std::atan2((double)y, (double)x), -0.0174514) / -0.0174514 - londif);
  *lon = (float)lo;
  *lat = (float)la;
}

namespace {

// Programs a polar stereographic map centred on the middle longitude.  The
// box is bounded by the parallel farthest from the pole (edge): its ends
// give the x extent, its point on the middle longitude the y limit nearest
// the edge; the other y limit is the first longitude at the pole-side
// latitude, or at the edge itself when the map spans half a turn or more.
void polarsetup(mapproj* m, bool north) {
  gxhook f = north ? gxnpst : gxspst;
  float edge = north ? m->ltmn : m->ltmx;
  float poleward = north ? m->ltmx : m->ltmn;
  lonref = (m->lnmn + m->lnmx) / 2;
  londif = -90 - lonref;
  float x1, x2, yfar;
  if ((double)m->lnmx - m->lnmn < 180.0) {
    x1 = px(f, m->lnmn, edge);
    x2 = px(f, m->lnmx, edge);
    yfar = py(f, m->lnmn, poleward);
  } else {
    x1 = px(f, lonref - 90, edge);
    x2 = px(f, lonref + 90, edge);
    yfar = py(f, m->lnmn, edge);
  }
  float ynear = py(f, lonref, edge);
  if (north) aspect(m, x1, x2, ynear, yfar);
  else aspect(m, x1, x2, yfar, ynear);
  gxproj(f);
  gxback(north ? gxnrev : gxsrev);
  adjtyp = north ? 1 : 2;
}

}  // namespace

int gxnste(mapproj* m) {
  if (polarbad(m) || m->ltmn < -80.0 || m->ltmx > 90.0 || badbox(m)) return 1;
  polarsetup(m, true);
  return 0;
}

int gxsste(mapproj* m) {
  if (polarbad(m) || m->ltmn < -90.0 || m->ltmx > 80.0 || badbox(m)) return 1;
  polarsetup(m, false);
  return 0;
}

// ---------------------------------------------------------------- Robinson

void gxrobp(float lon, float lat, float* x, float* y) {
  double yy, half;
  robrow(lat, &yy, &half);
  *y = (float)yy;
  *x = (float)(half * lon / 180.0);
}

void gxrobb(float x, float y, float* lon, float* lat) {
  if (!(y >= -1.349f && y <= 1.349f)) {
    *lon = *lat = offmap;
    return;
  }
  int i = 0;
  while (i < 35 && y > rob1[i + 1]) i++;
  double f = ((double)y - rob1[i]) / ((double)rob1[i + 1] - rob1[i]);
  double la = -90.0 + 5.0 * (i + f);
  double half = rob2[i] + ((double)rob2[i + 1] - rob2[i]) * f;
  double lo = x * 180.0 / half;
  if (lo < -180.0001 || lo > 180.0001) {
    *lon = *lat = offmap;
    return;
  }
  *lon = (float)lo;
  *lat = (float)la;
}

int gxrobi(mapproj* m) {
  if (m->lnmn < -180.0 || m->lnmx > 180.0 || m->ltmn < -90.0 || m->ltmx > 90.0 || badbox(m))
    return 1;
  curvedsetup(m, gxrobp, gxrobb);
  return 0;
}

// ---------------------------------------------------------------- Mollweide (simplified)

void gxmollp(float lon, float lat, float* x, float* y) {
  double l = lon;
  if (lomin != -180.0f) l = lon + (-180.0 - lomin);
  double r = lat * 3.14159265358979 / 180.0;
  *x = (float)(std::cos(r) * l / 180.0);
  *y = (float)(std::sin(r) / 2.0);
}

void gxmollb(float x, float y, float* lon, float* lat) {
  double s = 2.0 * y;
  if (!(s >= -1.0 && s <= 1.0)) {
    *lon = *lat = offmap;
    return;
  }
  double r = std::asin(s), c = std::cos(r);
  double l = c > 1e-9 ? x * 180.0 / c : 0.0;
  if (l < -180.0001 || l > 180.0001) {
    *lon = *lat = offmap;
    return;
  }
  if (lomin != -180.0f) l -= (-180.0 - lomin);
  *lon = (float)l;
  *lat = (float)(r / d2r);
}

int gxmoll(mapproj* m) {
  keepbox(m);
  if (m->ltmn < -90.0 || m->ltmx > 90.0 || badbox(m)) return 1;
  curvedsetup(m, gxmollp, gxmollb);
  return 0;
}

// ---------------------------------------------------------------- orthographic

void gxortgp(float lon, float lat, float* x, float* y) {
  double l = lon;
  if (lomin != -90.0f) l = lon + (-90.0 - lomin);
  *x = (float)(std::cos(lat * d2r) * std::sin(l * d2r));
  *y = (float)std::sin(lat * d2r);
}

void gxortgb(float x, float y, float* lon, float* lat) {
  if (!(y >= -1.0f && y <= 1.0f)) {
    *lon = *lat = offmap;
    return;
  }
  double r = std::asin((double)y), c = std::cos(r);
  double s = c > 1e-9 ? x / c : 0.0;
  if (s < -1.000001 || s > 1.000001) {
    *lon = *lat = offmap;
    return;
  }
  if (s > 1) s = 1;
  if (s < -1) s = -1;
  double l = std::asin(s) / d2r;
  if (lomin != -90.0f) l -= (-90.0 - lomin);
  *lon = (float)l;
  *lat = (float)(r / d2r);
}

int gxortg(mapproj* m) {
  keepbox(m);
  lonref = (m->lnmn + m->lnmx) / 2;
  if (m->ltmn != -90.0f || m->ltmx != 90.0f) {
    printf("Map Projection Error:  Latitude must be in range -90 90\n");
    return 1;
  }
  double span = (double)m->lnmx - m->lnmn;
  if (span > 180.0) {
    printf("Map Projection Error:  %.1f - %.1f  > 180.0\n", m->lnmx, m->lnmn);
    return 1;
  }
  if (span < 180.0) {
    printf("Map Projection Error:  %.1f - %.1f  < 180.0\n", m->lnmx, m->lnmn);
    return 1;
  }
  if (badbox(m)) return 1;
  curvedsetup(m, gxortgp, gxortgb);
  return 0;
}

// ---------------------------------------------------------------- Lambert conformal conic

void gxlamcp(float lon, float lat, float* x, float* y) {
  const float f = 0.017453292f;
  double n, lon0;
  lamconst(&n, &lon0);
  double r = std::pow(std::tan((45.0 - hemi * lat / 2.0) * f), n);
  double a = ((double)lon - lon0) * n * f;
  *x = (float)(r * std::sin(a));
  *y = (float)(-hemi * r * std::cos(a));
}

void gxlamcb(float x, float y, float* lon, float* lat) {
  const float f = 0.017453292f;
  double n, lon0;
  lamconst(&n, &lon0);
  if (!std::isfinite(n) || n == 0.0) {
    *lon = *lat = offmap;
    return;
  }
  double r = std::hypot((double)x, (double)y);
  double a = std::atan2((double)x, -hemi * (double)y);
  double lo = a / n / f + lon0;
  double t = std::pow(r, 1.0 / n);
  double la = hemi * (90.0 - 2.0 * std::atan(t) / f);
  // The unrolled cone leaves a gap opposite the central meridian that no
  // longitude reaches: points there have no longitude and latitude.
  if (!std::isfinite(lo) || !std::isfinite(la) || std::fabs(lo - lon0) > 180.0 + 1e-3) {
    *lon = *lat = offmap;
    return;
  }
  *lon = (float)lo;
  *lat = (float)la;
}

int gxlamc(mapproj* m) {
  keepbox(m);
  if (badbox(m)) return 1;
  if ((m->ltmn < 0 && m->ltmx > 0) || (m->ltmn > 0 && m->ltmx < 0)) {
    printf("Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");
    return 1;
  }
  hemi = m->ltmn >= 0 ? 1.0f : -1.0f;
  float lmn = m->ltmn == -90.0f ? -89.99f : m->ltmn;
  float lmx = m->ltmx == 90.0f ? 89.99f : m->ltmx;
  float x1 = px(gxlamcp, m->lnmn, lmn), y1 = py(gxlamcp, m->lnmn, lmn);
  float t = px(gxlamcp, m->lnmn, lmx);
  if (t < x1) x1 = t;
  float y2 = py(gxlamcp, m->lnmn, lmx);
  if (y2 < y1) std::swap(y1, y2);
  if (m->ltmn >= 0 && m->ltmx > 0) {
    t = px(gxlamcp, m->lnmn, 0);
    if (t < x1) x1 = t;
  }
  float x2 = px(gxlamcp, m->lnmx, lmn);
  y1 = py(gxlamcp, m->lnmx, lmn);
  t = px(gxlamcp, m->lnmx, lmx);
  if (t > x2) x2 = t;
  y2 = py(gxlamcp, m->lnmx, lmx);
  if (y2 < y1) std::swap(y1, y2);
  if (m->ltmn < 0 && m->ltmx <= 0) {
    t = px(gxlamcp, m->lnmx, 0);
    if (t > x2) x2 = t;
  }

  double xc = ((double)m->xmn + m->xmx) / 2, yc = ((double)m->ymn + m->ymx) / 2;
  double s = (double)lomax - lomin;
  bool south = hemi < 0;
  bool wide = ((double)m->xmx - m->xmn) / ((double)m->ymx - m->ymn) >
              ((double)x2 - x1) / ((double)y2 - y1);
  double shift = 0;
  if (s > 180 && s <= 270) shift = south ? (wide ? -1.5 : -1.0) : 1.5;
  else if (s >= 270 && s <= 360) shift = south ? (wide ? -1.2 : -1.0) : (wide ? 1.2 : 1.0);
  else if (s > 90 && s <= 180) shift = south ? -0.5 : 1.0;
  else if (s <= 90) shift = south ? 0 : 1.0;
  yc += shift;
  double bx1, bx2, by1, by2;
  if (wide) {
    double h = ((double)m->ymx - m->ymn) * 0.5 * ((double)x2 - x1) / ((double)y2 - y1);
    if (h < 1 || h == 3) { bx1 = m->xmn; bx2 = m->xmx; by1 = yc - h; by2 = yc + h; }
    else if (h < 3) { bx1 = xc - h / 2; bx2 = xc + h / 2; by1 = yc - h; by2 = yc + h; }
    else { bx1 = xc - 0.75 * h; bx2 = xc + 0.75 * h; by1 = yc - 0.75 * h; by2 = yc + 0.75 * h; }
  } else {
    double h = ((double)m->xmx - m->xmn) * 0.5 * ((double)y2 - y1) / ((double)x2 - x1);
    if (h < 1) { bx1 = m->xmn; bx2 = m->xmx; by1 = yc - h; by2 = yc + h; }
    else if (h < 2) { bx1 = m->xmn + h / 2; bx2 = m->xmx - h / 2; by1 = yc - 1.25 * h; by2 = yc + 1.25 * h; }
    else if (h <= 3) { bx1 = m->xmn; bx2 = m->xmx; by1 = yc - h; by2 = yc + h; }
    else { bx1 = xc - h / 2; bx2 = xc + h / 2; by1 = yc - h / 2; by2 = yc + h / 2; }
  }
  gxscal((float)bx1, (float)bx2, (float)by1, (float)by2, x1, x2, y1, y2);
  m->axmn = m->xmn;
  m->axmx = m->xmx;
  m->aymn = m->ymn;
  m->aymx = m->ymx;
  gxproj(gxlamcp);
  gxback(gxlamcb);
  adjtyp = 0;
  return 0;
}

// ---------------------------------------------------------------- wind rotation

float gxaarw(float lon, float) {
  if (adjtyp == 1) return (float)(((double)lon - lonref) * 3.14159 / 180.0);
  if (adjtyp == 2) return (float)(((double)lonref - lon) * 3.14159 / 180.0);
  return 0.0f;
}
