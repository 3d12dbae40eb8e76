// Image output: the current frame of the display list rendered into a GD
// palette image and written as PNG or GIF.  Lines and polygon fills use the
// package's own rasterisers, writing straight into the palette rows with
// every pixel checked against the image.
#include <gd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "base/replfile.h"
#include "base/wholewrite.h"
#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxint.h"

namespace {

const int kMaxImageSide = 20000;

const int kDefaultColours[16][3] = {
    {0, 0, 0},       {255, 255, 255}, {240, 0, 0},    {0, 220, 0},
    {31, 61, 250},   {0, 199, 199},   {220, 0, 99},   {230, 220, 51},
    {240, 130, 41},  {161, 0, 199},   {161, 230, 51}, {0, 161, 230},
    {230, 176, 46},  {0, 209, 140},   {110, 0, 220},  {125, 125, 125},
};

struct canvas {
  gdImagePtr im;
  int w, h;
  unsigned char** rows;

  inline void set(int x, int y, int c) {
    if ((unsigned)x < (unsigned)w && (unsigned)y < (unsigned)h) rows[y][x] = (unsigned char)c;
  }
  // Row span x1..x2 inclusive, clipped.
  inline void span(int y, int x1, int x2, int c) {
    if ((unsigned)y >= (unsigned)h) return;
    if (x1 > x2) std::swap(x1, x2);
    if (x2 < 0 || x1 >= w) return;
    if (x1 < 0) x1 = 0;
    if (x2 >= w) x2 = w - 1;
    std::fill(rows[y] + x1, rows[y] + x2 + 1, (unsigned char)c);
  }
};

// The line rasteriser: rows walked from the lower-y end, gaps filled so the
// line stays connected.
void line(canvas& cv, int x1, int y1, int x2, int y2, int c) {
  if (x1 == x2) {
    if (x1 < 0 || x1 >= cv.w) return;
    if (y1 > y2) std::swap(y1, y2);
    if (y1 < 0) y1 = 0;
    if (y2 >= cv.h) y2 = cv.h - 1;
    for (int y = y1; y <= y2; y++) cv.rows[y][x1] = (unsigned char)c;
    return;
  }
  if (y1 == y2) {
    cv.span(y1, x1, x2, c);
    return;
  }
  int xa = x1, ya = y1, xb = x2, yb = y2;
  if (ya > yb) {
    std::swap(xa, xb);
    std::swap(ya, yb);
  }
  long long dx = (long long)xb - xa, dy = (long long)yb - ya;
  int ystart = ya, yend = yb;
  if (yend < 0 || ystart >= cv.h) return;
  int prev = xa;
  if (ystart < 0) {
    ystart = 0;
    prev = (int)(xa + ((long long)(ystart - ya) * dx) / dy);
  }
  if (yend >= cv.h) yend = cv.h - 1;
  for (int y = ystart; y <= yend; y++) {
    int x = (int)(xa + ((long long)(y - ya) * dx) / dy);
    if (x - prev > 1) cv.span(y, prev + 1, x - 1, c);
    else if (prev - x > 1) cv.span(y, x + 1, prev - 1, c);
    cv.set(x, y, c);
    prev = x;
  }
}

// Scan-line polygon fill over closed integer points.
void fill_polygon(canvas& cv, const std::vector<int>& pts, int c, std::vector<int>& cross) {
  int n = (int)(pts.size() / 2);
  if (n == 0) return;
  int miny = pts[1], maxy = pts[1];
  for (int i = 1; i < n; i++) {
    miny = std::min(miny, pts[2 * i + 1]);
    maxy = std::max(maxy, pts[2 * i + 1]);
  }
  if (cross.size() < (size_t)n) cross.resize((size_t)n);
  int ylo = std::max(miny, 0), yhi = std::min(maxy, cv.h - 1);
  for (int y = ylo; y <= yhi; y++) {
    int k = 0;
    for (int i = 0; i < n; i++) {
      int j = i == 0 ? n - 1 : i - 1;
      int ya = pts[2 * j + 1], yb = pts[2 * i + 1];
      if (ya == yb) continue;
      int xa = pts[2 * j], xb = pts[2 * i];
      if (ya > yb) {
        std::swap(ya, yb);
        std::swap(xa, xb);
      }
      if ((y >= ya && y < yb) || (y == maxy && y > ya && y <= yb)) {
        cross[k++] = (int)(((long long)(y - ya) * (xb - xa)) / (yb - ya) + xa);
      }
    }
    if (k < 16) {
      for (int a = 1; a < k; a++) {
        int v = cross[a], b = a - 1;
        while (b >= 0 && cross[b] > v) {
          cross[b + 1] = cross[b];
          b--;
        }
        cross[b + 1] = v;
      }
    } else {
      std::sort(cross.begin(), cross.begin() + k);
    }
    for (int a = 0; a + 1 < k; a += 2) cv.span(y, cross[a], cross[a + 1], c);
  }
}

struct palette {
  int rgb[100][3];
  bool alloc[100];
  int index[100];
};

int colour_index(canvas& cv, palette& pal, int c) {
  if (c < 0) c = 0;
  if (c > 99) c = 99;
  if (!pal.alloc[c]) {
    int i = gdImageColorAllocate(cv.im, pal.rgb[c][0], pal.rgb[c][1], pal.rgb[c][2]);
    // A full palette gives the closest colour already in it.
    if (i < 0) i = gdImageColorClosest(cv.im, pal.rgb[c][0], pal.rgb[c][1], pal.rgb[c][2]);
    if (i < 0) i = 1;
    pal.index[c] = i;
    pal.alloc[c] = true;
  }
  return pal.index[c];
}

// Renders the selected frame; returns 0, or 99 after a message.
int render(canvas& cv, int black) {
  palette pal;
  for (int i = 0; i < 100; i++) {
    for (int k = 0; k < 3; k++) pal.rgb[i][k] = i < 16 ? kDefaultColours[i][k] : 125;
    pal.alloc[i] = false;
    pal.index[i] = 0;
  }
  int bg = black ? 0 : 255;
  pal.index[0] = gdImageColorAllocate(cv.im, bg, bg, bg);
  pal.index[1] = gdImageColorAllocate(cv.im, 255 - bg, 255 - bg, 255 - bg);
  pal.alloc[0] = pal.alloc[1] = true;
  int colour = pal.index[1];
  int thick = 1;

  float xr, yr;
  gxhqpag(&xr, &yr);
  long long X = (long long)(xr * 1000 + 0.5), Y = (long long)(yr * 1000 + 0.5);
  if (X <= 0 || Y <= 0) {
    printf("Logic Error 8 in gxhpng.  Notify Developer\n");
    return 99;
  }
  const long long W = cv.w, H = cv.h;
  auto mapx = [&](int ix) { return (int)((ix * W) / X); };
  auto mapy = [&](int iy) { return (int)(H - (iy * H) / Y); };

  std::vector<gxhchunk> set = gxhsel(gxhqdb() != 0);
  std::vector<int> poly, cross;
  bool inpoly = false;
  int cx = mapx(0), cy = mapy(0);
  for (const gxhchunk& ch : set) {
    const int16_t* p = ch.words;
    const int16_t* e = ch.words + ch.len;
    while (p < e) {
      int code = *p;
      switch (code) {
        case -3:
          if (e - p < 2) goto truncated;
          colour = colour_index(cv, pal, p[1]);
          p += 2;
          break;
        case -4:
          if (e - p < 3) goto truncated;
          thick = p[2];
          p += 3;
          break;
        case -5: {
          if (e - p < 5) goto truncated;
          int n = p[1];
          if (n >= 0 && n <= 99 &&
              (pal.rgb[n][0] != p[2] || pal.rgb[n][1] != p[3] || pal.rgb[n][2] != p[4])) {
            pal.rgb[n][0] = std::clamp<int>(p[2], 0, 255);
            pal.rgb[n][1] = std::clamp<int>(p[3], 0, 255);
            pal.rgb[n][2] = std::clamp<int>(p[4], 0, 255);
            pal.alloc[n] = false;
          }
          p += 5;
          break;
        }
        case -6: {
          if (e - p < 5) goto truncated;
          int x1 = (int)((float)p[1] * (float)W / (float)X);
          int x2 = (int)((float)p[2] * (float)W / (float)X);
          int y1 = (int)((float)H - (float)p[3] * (float)H / (float)Y);
          int y2 = (int)((float)H - (float)p[4] * (float)H / (float)Y);
          if (x1 > x2) std::swap(x1, x2);
          if (y1 > y2) std::swap(y1, y2);
          y1 = std::max(y1, 0);
          y2 = std::min(y2, cv.h - 1);
          for (int y = y1; y <= y2; y++) cv.span(y, x1, x2, colour);
          p += 5;
          break;
        }
        case -7:
          if (e - p < 2) goto truncated;
          poly.clear();
          inpoly = true;
          p += 2;
          break;
        case -10:
          if (e - p < 3) goto truncated;
          cx = mapx(p[1]);
          cy = mapy(p[2]);
          if (inpoly) {
            poly.push_back(cx);
            poly.push_back(cy);
          }
          p += 3;
          break;
        case -11: {
          if (e - p < 3) goto truncated;
          int x = mapx(p[1]), y = mapy(p[2]);
          if (inpoly) {
            size_t m = poly.size();
            if (m < 2 || poly[m - 2] != x || poly[m - 1] != y) {
              poly.push_back(x);
              poly.push_back(y);
            }
          } else {
            line(cv, cx, cy, x, y, colour);
            if (thick > 5) {
              bool steep = std::abs(x - cx) < std::abs(y - cy);
              if (steep) line(cv, cx - 1, cy, x - 1, y, colour);
              else line(cv, cx, cy - 1, x, y - 1, colour);
              if (thick > 11) {
                if (steep) line(cv, cx + 1, cy, x + 1, y, colour);
                else line(cv, cx, cy + 1, x, y + 1, colour);
              }
            }
          }
          cx = x;
          cy = y;
          p += 3;
          break;
        }
        case -8:
          if (inpoly) {
            size_t m = poly.size();
            if (m >= 2 && (poly[0] != poly[m - 2] || poly[1] != poly[m - 1])) {
              poly.push_back(poly[0]);
              poly.push_back(poly[1]);
            }
            fill_polygon(cv, poly, colour, cross);
            inpoly = false;
          }
          p += 1;
          break;
        case -12:
          if (e - p < 4) goto truncated;
          p += 4;
          break;
        case -20:
          if (e - p < 2) goto truncated;
          p += 2;
          break;
        case -9:
          printf("Logic Error 4 in gxhpng.  Notify Developer\n");
          return 99;
        case -1:
          printf("Logic Error 8 in gxhpng.  Notify Developer\n");
          return 99;
        case -2:
          printf("Logic Error 12 in gxhpng.  Notify Developer\n");
          return 99;
        default:
          printf("Logic Error 20 in gxhpng.  Notify Developer\n");
          return 99;
      }
    }
  }
  return 0;
truncated:
  printf("Logic Error 20 in gxhpng.  Notify Developer\n");
  return 99;
}

}  // namespace

int gxhpng(const char* fname, int width, int height, int background, int gif) {
  float xr, yr;
  gxhqpag(&xr, &yr);
  if (width < 0 || height < 0) {
    if (xr > yr) {
      width = 800;
      height = 600;
    } else {
      width = 600;
      height = 800;
    }
  }
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
    printf("Invalid image size %d by %d: each side must be 1 to %d pixels\n", width, height,
           kMaxImageSide);
    return 99;
  }
  int black;
  if (background < -900) black = gxdbkq() == 0;
  else black = background == 0;

  gdImagePtr im = gdImageCreate(width, height);
  if (!im) {
    printf("Memory allocation error: gxhpng\n");
    return 99;
  }
  canvas cv{im, width, height, im->pixels};
  int rc;
  try {
    rc = render(cv, black);
  } catch (const std::bad_alloc&) {
    printf("Memory allocation error: gxhpng\n");
    rc = 99;
  }
  if (rc) {
    gdImageDestroy(im);
    return rc;
  }
  int size = 0;
  void* data = gif ? gdImageGifPtr(im, &size) : gdImagePngPtr(im, &size);
  gdImageDestroy(im);
  if (!data) {
    printf("Memory allocation error: gxhpng\n");
    return 99;
  }
  // Written beside the old image and put in its place only when whole: a
  // full disk leaves the older file as it was, and a reader never sees a
  // file half written.
  std::string note;
  int saved = replsave(fname, data, static_cast<size_t>(size), &note);
  int err = errno;
  gdFree(data);
  if (saved == 1) printf("Open error on %s\n%s", replshownname(fname).c_str(), note.c_str());
  if (saved == 3) printf("%s", note.c_str());
  errno = err;
  return saved;
}
