// Arrows and wind barbs, and the small helpers the graph, vector and
// station plots share.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/cmnstate.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "gx/gx.h"
#include "plot/plotgraph.h"

namespace {

const float a150 = 2.618f;  // the angle between the shaft and a head stroke
const float barbang = 1.2217294f;  // 70 degrees between staff and barb
// Bounds on the glyphs of one barb, so that a huge or infinite speed ends.
const int maxpennants = 40;
const int maxfulls = 5;

void seg(float x1, float y1, float x2, float y2) {
  gxplot(x1, y1, 3);
  gxplot(x2, y2, 2);
}

}  // namespace

void omarrw(float x, float y, float dir, float len, float head) {
  if (!(len >= 0.0001f)) {
    gxmark(2, x, y, 0.01f);
    return;
  }
  float tx = x + len * std::cos(dir), ty = y + len * std::sin(dir);
  seg(x, y, tx, ty);
  if (head == 0) return;
  if (head < 0) head = -head * len;
  gxplot(tx + head * std::cos(dir + a150), ty + head * std::sin(dir + a150), 2);
  gxplot(tx, ty, 3);
  gxplot(tx + head * std::cos(dir - a150), ty + head * std::sin(dir - a150), 2);
}

void ombarb(float x, float y, float staff, float size, float radius, float dir, float speed,
            int shem) {
  if (!(speed >= 0.01f)) {
    // Calm (and a speed that is not a number) draws the open circle.
    float d = 2 * radius + 0.3f * size;
    float d2 = 1.4f * 2 * radius;
    gxmark(2, x, y, d > d2 ? d : d2);
    return;
  }
  float d = dir + 3.14159f;
  float s = 0.3f * size;
  float cd = std::cos(d), sd = std::sin(d);

  // How many pennants, full barbs and half barbs the speed gives.
  int npen = 0, nfull = 0;
  float w = speed;
  while (w >= 47.5f && npen < maxpennants) {
    npen++;
    w -= 50;
  }
  while (w >= 7.5f && nfull < maxfulls) {
    nfull++;
    w -= 10;
  }
  bool half = w >= 2.5f;

  float extra = speed < 2.5f ? s : 0;
  extra += npen * 1.6f * s + nfull * s + (half ? s : 0);
  float len = staff + extra;
  seg(x + radius * cd, y + radius * sd, x + len * cd, y + len * sd);

  float b = shem ? d + barbang : d - barbang;
  float cb = std::cos(b), sb = std::sin(b);
  auto px = [&](float l) { return x + l * cd; };
  auto py = [&](float l) { return y + l * sd; };
  for (int k = 0; k < npen; k++) {
    gxplot(px(len), py(len), 3);
    gxplot(px(len) + size * cb, py(len) + size * sb, 2);
    gxplot(px(len - 1.45f * s), py(len - 1.45f * s), 2);
    len -= 1.6f * s;
  }
  if (npen > 0 && nfull > 0) len -= 0.7f * s;
  for (int k = 0; k < nfull; k++) {
    seg(px(len), py(len), px(len) + size * cb, py(len) + size * sb);
    len -= s;
  }
  if (half) {
    if (nfull == 0) len -= s;
    seg(px(len), py(len), px(len) + 0.5f * size * cb, py(len) + 0.5f * size * sb);
  }
}

bool omgrng(const gridres* pgr, float* mn, float* mx) {
  size_t n = (size_t)(pgr->isiz > 0 ? pgr->isiz : 1) * (size_t)(pgr->jsiz > 0 ? pgr->jsiz : 1);
  const float* g = pgr->grid;
  float u = pgr->undef;
  bool any = false;
  float lo = 0, hi = 0;
  for (size_t k = 0; k < n; k++) {
    float v = g[k];
    if (v == u) continue;
    if (!any) {
      lo = hi = v;
      any = true;
    } else if (v < lo) {
      lo = v;
    } else if (v > hi) {
      hi = v;
    }
  }
  *mn = lo;
  *mx = hi;
  return any;
}

gridres* omresg(cmnstate* pcm, int n) {
  if (n < 0 || n >= pcm->rescount || n >= 16 || pcm->restype[n] != 1) return nullptr;
  return static_cast<gridres*>(pcm->resptr[n]);
}

stnlist* omress(cmnstate* pcm, int n) {
  if (n < 0 || n >= pcm->rescount || n >= 16 || pcm->restype[n] == 1) return nullptr;
  return static_cast<stnlist*>(pcm->resptr[n]);
}

bool omstxy(const cmnstate* pcm, float lon, float lat, float* x, float* y) {
  if (lon < pcm->wlo[0]) lon += 360;
  if (lon > pcm->whi[0]) lon -= 360;
  if (!(lon > pcm->wlo[0] && lon < pcm->whi[0])) return false;
  if (!(lat > pcm->wlo[1] && lat < pcm->whi[1])) return false;
  gxconv(lon, lat, x, y, 2);
  return true;
}

std::string omfmtv(float v, int n) {
  if (n < 0) n = 0;
  if (n > 8) n = 8;
  char buf[128];
  snprintf(buf, sizeof buf, "%.*f", n, (double)v);
  return buf;
}

std::string omstid(const char* id) {
  char w[9];
  int n = 0;
  int i = 0;
  while (i < 8 && id[i] == ' ') i++;
  while (i < 8 && id[i] != ' ' && id[i] != '\0') w[n++] = id[i++];
  w[n] = '\0';
  return w;
}

bool omtoint(double v, int* out) {
  if (!(v > -1e9 && v < 1e9)) return false;
  *out = (int)v;
  return true;
}

float omrefmag(double m, double n) {
  double h = std::hypot(m, n);
  if (!(h > 0) || !std::isfinite(h)) return 1.0f;
  double e = std::floor(std::log10(h));
  double p = std::pow(10.0, e);
  return (float)(std::floor(h / p) * p);
}

void omcentxt(const std::string& t, float x, float y, float h, bool box, int col) {
  float w = 0;
  int len = (int)t.size();
  gxchln(t.c_str(), len, h, &w);
  float start = x - w / 2;
  if (box) {
    gxcolr(gxqbck());
    gxrecf(start - 0.01f, start + w + 0.01f, y - 0.01f, y + h + 0.01f);
  }
  gxcolr(col);
  gxchpl(t.c_str(), len, start, y, h, h, 0);
}
