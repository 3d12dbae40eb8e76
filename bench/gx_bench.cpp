// Image rendering speed: a display list of one million line segments and
// ten thousand filled polygons rendered into an 1100x850 PNG, against GD
// drawing the same primitives directly.  Prints the ratio last.
#include <gd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "gx/gx.h"

namespace {

const int kSegments = 1000000;
const int kPolygons = 10000;
const int kW = 1100, kH = 850;

struct rng {
  unsigned s = 12345;
  float next() {
    s = s * 1664525u + 1013904223u;
    return (s >> 8) / 16777216.0f;
  }
};

struct scene {
  std::vector<float> seg;              // x1 y1 x2 y2, page inches
  std::vector<std::vector<float>> poly;
};

scene make_scene() {
  scene sc;
  rng r;
  sc.seg.reserve(kSegments * 4);
  float x = 5.5f, y = 4.25f;
  for (int i = 0; i < kSegments; i++) {
    // Short connected strokes, like contour lines.
    float nx = x + (r.next() - 0.5f) * 0.2f, ny = y + (r.next() - 0.5f) * 0.2f;
    if (nx < 0.1f || nx > 10.9f || ny < 0.1f || ny > 8.4f) {
      nx = 0.5f + r.next() * 10;
      ny = 0.5f + r.next() * 7.5f;
      x = nx;
      y = ny;
      continue;
    }
    sc.seg.insert(sc.seg.end(), {x, y, nx, ny});
    x = nx;
    y = ny;
  }
  for (int i = 0; i < kPolygons; i++) {
    float cx = 0.3f + r.next() * 10.4f, cy = 0.3f + r.next() * 7.9f;
    int n = 6 + (int)(r.next() * 14);
    std::vector<float> p;
    for (int k = 0; k < n; k++) {
      float a = 6.2831853f * k / n, rad = 0.1f + r.next() * 0.2f;
      p.push_back(cx + rad * std::cos(a));
      p.push_back(cy + rad * std::sin(a));
    }
    sc.poly.push_back(p);
  }
  return sc;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

double run_gd(const scene& sc, const char* out) {
  auto t = std::chrono::steady_clock::now();
  gdImagePtr im = gdImageCreate(kW, kH);
  gdImageColorAllocate(im, 255, 255, 255);
  int cols[16];
  for (int i = 0; i < 16; i++) cols[i] = gdImageColorAllocate(im, i * 15, 255 - i * 15, i * 7);
  auto px = [](float x) { return (int)(x * 100); };
  auto py = [](float y) { return kH - (int)(y * 100); };
  size_t nseg = sc.seg.size() / 4;
  for (size_t i = 0; i < nseg; i++) {
    const float* s = &sc.seg[4 * i];
    gdImageLine(im, px(s[0]), py(s[1]), px(s[2]), py(s[3]), cols[(i / 1000) % 16]);
  }
  std::vector<gdPoint> pts;
  for (size_t i = 0; i < sc.poly.size(); i++) {
    const std::vector<float>& p = sc.poly[i];
    pts.resize(p.size() / 2);
    for (size_t k = 0; k < pts.size(); k++) {
      pts[k].x = px(p[2 * k]);
      pts[k].y = py(p[2 * k + 1]);
    }
    gdImageFilledPolygon(im, pts.data(), (int)pts.size(), cols[i % 16]);
  }
  FILE* fp = fopen(out, "wb");
  if (fp) {
    gdImagePng(im, fp);
    fclose(fp);
  }
  gdImageDestroy(im);
  return seconds_since(t);
}

double record(const scene& sc) {
  auto t = std::chrono::steady_clock::now();
  gxfrme(1);
  for (int i = 0; i < 16; i++) gxacol(16 + i, i * 15, 255 - i * 15, i * 7);
  size_t nseg = sc.seg.size() / 4;
  for (size_t i = 0; i < nseg; i++) {
    if (i % 1000 == 0) gxcolr(16 + (int)((i / 1000) % 16));
    const float* s = &sc.seg[4 * i];
    gxmove(s[0], s[1]);
    gxdraw(s[2], s[3]);
  }
  for (size_t i = 0; i < sc.poly.size(); i++) {
    gxcolr(16 + (int)(i % 16));
    gxfill(sc.poly[i].data(), (int)(sc.poly[i].size() / 2));
  }
  return seconds_since(t);
}

double run_gx(const char* out) {
  auto t = std::chrono::steady_clock::now();
  int rc = gxhpng(out, kW, kH, 1, 0);
  if (rc) printf("gxhpng failed: %d\n", rc);
  return seconds_since(t);
}

}  // namespace

int main() {
  gxstrt(11, 8.5, 1);
  scene sc = make_scene();
  printf("segments %zu, polygons %zu, image %dx%d\n", sc.seg.size() / 4, sc.poly.size(), kW, kH);
  double rec = record(sc);
  double best_gx = 1e9, best_gd = 1e9;
  for (int rep = 0; rep < 3; rep++) {
    best_gd = std::min(best_gd, run_gd(sc, "/tmp/gx_bench_gd.png"));
    best_gx = std::min(best_gx, run_gx("/tmp/gx_bench_gx.png"));
  }
  printf("recording the display list: %.3f s\n", rec);
  printf("display list to PNG: %.3f s\n", best_gx);
  printf("GD drawing directly: %.3f s\n", best_gd);
  printf("ratio %.2f\n", best_gx / best_gd);
  return 0;
}
