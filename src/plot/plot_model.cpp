// The station model: sky cover, wind barb, present weather, visibility and
// up to four numbers laid out round each station.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "base/cmnstate.h"
#include "base/intpoll.h"
#include "base/omprnt.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "gx/gx.h"
#include "gx/mapproj.h"
#include "plot/omplot.h"
#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

const int nslots = 10;
const float nobox = -999.9f;

// Extents of the present-weather symbols 1..39 (bottom, top, width) in
// units of the symbol size.
const float symin[40] = {0,     -0.35f, -0.3f,  -0.4f,  -0.4f,  -0.4f,  -0.4f,  -0.45f,
                         -0.45f, -0.45f, -0.45f, -0.45f, -0.2f,  -0.2f,  -0.3f,  -0.3f,
                         -0.1f,  -0.25f, -0.35f, -0.45f, -0.45f, -0.15f, -0.3f,  -0.45f,
                         -0.3f,  -0.3f,  -0.25f, -0.25f, -0.15f, -0.25f, -0.4f,  -0.35f,
                         -0.35f, -0.15f, -0.15f, -0.25f, -0.35f, -0.35f, -0.25f, -0.2f};
const float symax[40] = {0,     0.35f, 0.3f,  0.45f, 0.5f,  0.45f, 0.45f, 0.3f,  0.55f, 0.6f,
                         0.55f, 0.55f, 0.2f,  0.2f,  0.35f, 0.35f, 0.1f,  0.25f, 0.35f, 0.4f,
                         0.4f,  0.15f, 0.35f, 0.45f, 0.3f,  0.3f,  0.25f, 0.2f,  0.15f, 0.3f,
                         0.4f,  0.4f,  0.4f,  0.15f, 0.15f, 0.25f, 0.35f, 0.4f,  0.25f, 0.25f};
const float sxwid[40] = {0,    0.4f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f,
                         0.5f, 0.5f, 0.7f, 0.7f, 0.4f, 0.4f, 0.5f, 0.5f, 0.5f, 0.5f,
                         0.5f, 0.7f, 0.7f, 0.7f, 0.7f, 0.7f, 0.7f, 0.7f, 0.5f, 0.5f,
                         0.5f, 0.4f, 0.4f, 0.6f, 0.5f, 0.5f, 0.3f, 0.3f, 0.3f, 0.4f};

void text(const std::string& t, float x, float y, float h) {
  gxchpl(t.c_str(), (int)t.size(), x, y, h, h, 0);
}

std::string itos(int v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%i", v);
  return buf;
}

// The text boxes of one model: 0 weather, 1 upper left, 2 lower left,
// 3 upper right, 4 right, 5 visibility.
struct boxes {
  float xlo[6], xhi[6], ylo[6], yhi[6];
  boxes() {
    for (int k = 0; k < 6; k++) xlo[k] = xhi[k] = ylo[k] = yhi[k] = nobox;
  }
  void set(int k, float a, float b, float c, float d) {
    xlo[k] = a;
    xhi[k] = b;
    ylo[k] = c;
    yhi[k] = d;
  }
  bool has(int k) const { return xlo[k] > -990; }
};

void skymark(int k, int c, float x, float y, float sz) {
  if (c == 0 && k >= 20) {
    if (k != 23) gxmark(3, x, y, sz);
    return;
  }
  switch (k) {
    case 20: gxmark(2, x, y, sz); break;
    case 21: gxmark(10, x, y, sz); break;
    case 22: gxmark(11, x, y, sz); break;
    case 23: gxmark(3, x, y, sz); break;
    case 24: {
      gxmark(2, x, y, sz);
      float h = sz / 2.8284f;
      gxplot(x - h, y + h, 3);
      gxplot(x + h, y - h, 2);
      gxplot(x + h, y + h, 3);
      gxplot(x - h, y - h, 2);
      break;
    }
    case 25: {
      gxmark(2, x, y, sz);
      float g = 0.3f * sz;
      gxchpl("`0M", 3, x - 1.2f * g, y - 0.9f * g, 2 * g, 2 * g, 0);
      break;
    }
    default:
      if (k >= 1 && k <= 8) gxmark(k, x, y, sz);
      else gxmark(2, x, y, sz);
      break;
  }
}

// Visibility left of the cursor; returns the cursor's final position.
float visibility(float v, float cur, float yb, float ds) {
  int n;
  if (!omtoint((double)v * 32 + 0.5, &n)) return cur;
  int whole = n / 32, f = n - 32 * whole, d = 32;
  while (f != 0 && f % 2 == 0) {
    f /= 2;
    d /= 2;
  }
  float s = 0.65f * ds;
  if (f > 0) {
    std::string den = itos(d), num = itos(f);
    cur -= (float)den.size() * s;
    text(den, cur, yb, s);
    gxplot(cur - 0.4f * ds, yb, 3);
    gxplot(cur + 0.1f * ds, yb + ds, 2);
    cur -= ((float)num.size() + 0.4f) * s;
    text(num, cur, yb + 0.35f * ds, s);
  }
  if (whole > 0 || (whole == 0 && f == 0)) {
    std::string w = itos(whole);
    cur -= (float)w.size() * ds;
    text(w, cur, yb, ds);
  }
  return cur;
}

// Right end of a left-hand number whose nearest edge is dy from the
// station's centre line.
float leftend(float x, float r, float dy, float ds) {
  float q = r * r - dy * dy;
  if (q <= 0) return x - 0.3f * ds;
  return x - std::fmax(std::sqrt(q), 0.3f * ds);
}

}  // namespace

float wndexit(float u, float v, float x, float y, float r, float* xlo, float* xhi, float* ylo,
              float* yhi) {
  float du = -u, dv = -v;
  float m = 0.25f * r, h = 0.5f * m;
  if (du == 0 && dv == 0) return -999.9f;
  auto has = [&](int k) { return xlo[k] > -990; };
  auto dist = [&](float xi, float yi) { return (float)std::hypot(xi - x, yi - y); };
  // Crossings of box k's top (top set) or bottom; wide selects the margins
  // of the right-hand box.
  auto horiz = [&](int k, bool top, bool right, float* out) {
    float yy;
    if (top) yy = (yhi[k] += m);
    else yy = (ylo[k] -= m);
    float xi = x + (yy - y) * du / dv;
    float lo = right ? xlo[k] - h : xlo[k] - m;
    float hi = right ? xhi[k] + m : xhi[k] + h;
    if (xi > lo && xi < hi) {
      *out = dist(xi, yy);
      return true;
    }
    return false;
  };
  auto vert = [&](int k, bool left, bool inclusive, float* out) {
    float xx;
    if (left) xx = (xlo[k] -= h);
    else xx = (xhi[k] += h);
    float yi = y + (xx - x) * dv / du;
    bool ok = yi > ylo[k] - m && (inclusive ? yi <= yhi[k] + m : yi < yhi[k] + m);
    if (ok) *out = dist(xx, yi);
    return ok;
  };
  float e;
  if (du < 0) {
    if (dv > 0 && has(1) && (horiz(1, true, false, &e) || vert(1, true, false, &e))) return e;
    if (dv < 0 && has(2) && (horiz(2, false, false, &e) || vert(2, true, false, &e))) return e;
    for (int k : {5, 0}) {
      if (!has(k)) continue;
      if (vert(k, true, false, &e)) return e;
      if (dv > 0 && horiz(k, true, false, &e)) return e;
      if (dv < 0 && horiz(k, false, false, &e)) return e;
    }
  } else if (du > 0) {
    if (has(4) && vert(4, false, true, &e)) return e;
    if (dv > 0 && has(3) && (horiz(3, true, true, &e) || vert(3, false, false, &e))) return e;
  }
  return -999.9f;
}

void omsmdl(cmnstate* pcm, stnrpt* rpt, float* vals, float* miss) {
  auto drawn = [&](int k) { return vals[k] != miss[k]; };
  int c = pcm->ccolor < 0 ? 1 : pcm->ccolor;
  if (!drawn(0) || !drawn(1)) return;
  // The longitude moves by 360 into the environment's range, as for every
  // other station plot, so a station at 350 shows on a map of -20 to 20.
  float lon = rpt->lon;
  if (lon < pcm->wlo[0]) lon += 360;
  if (lon > pcm->whi[0]) lon -= 360;
  float x, y;
  gxconv(lon, rpt->lat, &x, &y, 2);
  float ds = pcm->digsize;
  int shem = pcm->hempref == 1 ? 1 : pcm->hempref == 0 ? 0 : (rpt->lat < 0);
  float u = vals[0], v = vals[1];

  int k;
  if (!omtoint(std::floor((double)vals[6] + 0.1), &k)) k = 0;
  float sz = (k >= 20 && k <= 25) ? 1.4f * ds : ds;
  float r = (u == 0 && v == 0) ? 0.8f * sz : 0.65f * sz;
  gxcolr(c);
  gxwide(pcm->cthick);
  skymark(k, c, x, y, sz);
  gxwide(pcm->cthick);

  boxes b;
  int w;
  if (drawn(7) && omtoint((double)vals[7] + 0.1, &w) && w >= 1 && w <= 39) {
    float s3 = 3 * ds;
    float right = x - 1.1f * r;
    float left = right - sxwid[w] * s3;
    b.set(0, left, right, y + symin[w] * s3, y + symax[w] * s3);
    wxsym(w, left + 0.5f * sxwid[w] * s3, y, s3, pcm->ccolor, pcm->wxcols);
    gxcolr(c);
    gxwide(pcm->cthick);
  }
  if (drawn(8)) {
    float yb = y - 0.5f * ds;
    float start = b.has(0) ? b.xlo[0] - 0.2f * ds : x - 1.6f * r;
    float cur = visibility(vals[8], start, yb, ds);
    if (cur != start) b.set(5, cur, start, yb, yb + ds);
  }
  if (drawn(2)) {
    std::string t = omfmtv(vals[2], pcm->dignum);
    float yl = b.has(0) ? b.yhi[0] + 0.4f * ds : b.has(5) ? b.yhi[5] + 0.4f * ds : y + 0.3f * ds;
    float end = leftend(x, r, yl - y, ds);
    float start = end - (float)t.size() * ds;
    text(t, start, yl, ds);
    b.set(1, start, end, yl, yl + ds);
  }
  if (drawn(3)) {
    std::string t = omfmtv(vals[3], pcm->dignum);
    float yh = b.has(0) ? b.ylo[0] - 0.4f * ds : b.has(5) ? b.ylo[5] - 0.4f * ds : y - 0.3f * ds;
    float end = leftend(x, r, y - yh, ds);
    float start = end - (float)t.size() * ds;
    text(t, start, yh - ds, ds);
    b.set(2, start, end, yh - ds, yh);
  }
  if (drawn(4)) {
    std::string t;
    int n;
    if (pcm->mdldig3 && omtoint((double)vals[4] + 0.5, &n)) {
      t = itos(n + 10000);
      if (t.size() > 3) t = t.substr(t.size() - 3);
    } else {
      t = omfmtv(vals[4], pcm->dignum);
    }
    float xs = x + 0.87f * r, ys = y + 0.5f * r;
    text(t, xs, ys, ds);
    b.set(3, xs, xs + (float)t.size() * ds, ys, ys + ds);
  }
  if (drawn(5)) {
    std::string t = omfmtv(vals[5], pcm->dignum);
    float top = b.has(3) ? b.ylo[3] - 0.4f * ds : y + 0.5f * ds;
    text(t, x + r, top - ds, ds);
    b.set(4, x + r, x + r + (float)t.size() * ds, top - ds, top);
  }

  float dir = (u == 0 && v == 0) ? 0.0f : std::atan2(v, u) + gxaarw(lon, rpt->lat);
  float spd = (float)std::hypot((double)u, (double)v);
  float e = wndexit(spd * std::cos(dir), spd * std::sin(dir), x, y, r, b.xlo, b.xhi, b.ylo,
                    b.yhi);
  float staff, start;
  if (e < -990) {
    staff = 3.5f * ds;
    start = 0.5f * sz;
  } else {
    staff = std::fmax(e + 0.5f * ds, 3.5f * ds);
    if (staff > 6 * ds) staff = e;
    start = e;
  }
  ombarb(x, y, staff, 2.5f * ds, start, dir, spd, shem);
}

namespace {

// A key of a report: position and id.
std::string rptkey(const stnrpt* r) {
  std::string k(16, '\0');
  std::memcpy(&k[0], &r->lat, 4);
  std::memcpy(&k[4], &r->lon, 4);
  std::memcpy(&k[8], r->stid, 8);
  return k;
}

}  // namespace

void ompmdl(cmnstate* pcm) {
  stnlist* first = omress(pcm, 0);
  if (!first) return;
  omstnsetup(pcm);

  int nres = pcm->rescount < nslots ? pcm->rescount : nslots;
  float vals[nslots], miss[nslots];
  for (int k = 0; k < nslots; k++) vals[k] = miss[k] = -999.9f;
  // For each further station list: its first report at each position and id.
  std::unordered_map<std::string, const stnrpt*> index[nslots];
  for (int n = 0; n < nres; n++) {
    if (pcm->restype[n] == 1) {
      gridres* g = static_cast<gridres*>(pcm->resptr[n]);
      if (g->idim != -1) {
        omprnt(0, "Invalid data:  Station data required\n");
        return;
      }
      miss[n] = g->grid[0];
    } else {
      stnlist* s = static_cast<stnlist*>(pcm->resptr[n]);
      miss[n] = s->undef;
      if (n > 0)
        for (const stnrpt* r = s->rpt; r; r = r->rpt) index[n].emplace(rptkey(r), r);
    }
    vals[n] = miss[n];
  }
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxwide(pcm->cthick);
  omintpoll poll;
  for (stnrpt* r = first->rpt; r && !poll.stop(); r = r->rpt) {
    vals[0] = r->val;
    std::string key = rptkey(r);
    for (int n = 1; n < nres; n++) {
      if (pcm->restype[n] == 1) {
        vals[n] = static_cast<gridres*>(pcm->resptr[n])->grid[0];
      } else {
        auto it = index[n].find(key);
        vals[n] = it == index[n].end() ? miss[n] : it->second->val;
      }
    }
    omsmdl(pcm, r, vals, miss);
  }
  gxstyl(1);
  omepil(pcm, 0, 1, 11);
}
