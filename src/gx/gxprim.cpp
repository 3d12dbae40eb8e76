// Drawing primitives: colour, thickness, line style and its dash walk,
// clipped moves and draws, rectangles, patterns and titles.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxint.h"

static int clmn_spacing = 0;

static inline bool finite2(float x, float y) { return std::isfinite(x) && std::isfinite(y); }

void gxcolr(int colour) {
  plotxform& p = gxstate();
  if (colour < 0) colour = 0;
  if (colour > 99) colour = 99;
  hout1(-3, colour);
  if (p.intflg) gxdrv().colour(colour);
  p.color = colour;
}

int gxacol(int n, int red, int green, int blue) {
  plotxform& p = gxstate();
  hout4i(-5, n, red, green, blue);
  int rc = 1;  // images use the exact colour
  if (p.intflg) rc = gxdrv().defcolour(n, red, green, blue);
  if (n >= 16 && n <= 99) {
    p.reds[n] = red;
    p.grns[n] = green;
    p.blus[n] = blue;
  }
  return rc;
}

void gxbckg(int colour) { gxstate().bcol = colour; }
int gxqbck() { return gxstate().bcol; }
int gxqclr() { return gxstate().color; }
int gxqstl() { return gxstate().lstyle; }
int gxqwid() { return gxstate().lwide; }

void gxwide(int thickness) {
  plotxform& p = gxstate();
  int hc = p.lwflg ? static_cast<int>((static_cast<long long>(thickness) + 1) / 2) : thickness;
  hout2i(-4, hc, thickness);
  if (p.intflg) gxdrv().width(thickness);
  p.lwide = thickness;
}

void gxstyl(int style) {
  plotxform& p = gxstate();
  if (style == -9) style = 1;
  static const float pats[8][6] = {
      {0},
      {0},
      {0.25f, 0.1f},
      {0.03f, 0.03f},
      {0.25f, 0.1f, 0.1f, 0.1f},
      {0.01f, 0.08f},
      {0.15f, 0.08f, 0.01f, 0.08f},
      {0.15f, 0.08f, 0.01f, 0.08f, 0.01f, 0.08f},
  };
  static const int counts[8] = {0, 0, 2, 2, 4, 2, 4, 6};
  if (style < 2 || style > 7) {
    p.lstyle = 0;
  } else {
    p.lstyle = style;
    for (int i = 0; i < counts[style]; i++) p.dash[i] = pats[style][i];
    p.dnum = counts[style] - 1;
  }
  p.slen = p.dash[0];
  p.jpen = 2;
  p.dpnt = 0;
}

void gxmove(float x, float y) {
  plotxform& p = gxstate();
  p.oldx = x;
  p.oldy = y;
  if (!gxinclip(x, y)) {
    p.cflag = 1;
    return;
  }
  p.cflag = 0;
  float rx, ry;
  gxvcon(x, y, &rx, &ry);
  hout2(-10, rx, ry);
  if (p.intflg) gxdrv().move(rx, ry);
}

static void record_draw(int code, float x, float y) {
  plotxform& p = gxstate();
  float rx, ry;
  gxvcon(x, y, &rx, &ry);
  hout2(code, rx, ry);
  if (p.intflg) {
    if (code == -10) gxdrv().move(rx, ry);
    else gxdrv().draw(rx, ry);
  }
}

void gxdraw(float x, float y) {
  plotxform& p = gxstate();
  bool oldok = finite2(p.oldx, p.oldy);
  if (!gxinclip(x, y)) {
    // A crossing towards a point that is not a number cannot be found: the
    // line just stops.
    if (p.cflag == 0 && oldok && finite2(x, y)) {
      float xo = x, yo = y;
      bdterp(p.oldx, p.oldy, x, y, &xo, &yo);
      record_draw(-11, xo, yo);
    }
    p.cflag = 1;
    p.oldx = x;
    p.oldy = y;
    return;
  }
  if (p.cflag) {
    p.cflag = 0;
    float xo = x, yo = y;
    if (oldok) bdterp(p.oldx, p.oldy, x, y, &xo, &yo);
    record_draw(-10, xo, yo);
  }
  p.oldx = x;
  p.oldy = y;
  record_draw(-11, x, y);
}

void gxplot(float x, float y, int pen) {
  plotxform& p = gxstate();
  if (p.lstyle <= 1) {
    if (pen == 2) gxdraw(x, y);
    else gxmove(x, y);
    p.xsave = x;
    p.ysave = y;
    return;
  }
  if (pen == 3) {
    p.slen = p.dash[0];
    p.dpnt = 0;
    p.jpen = 2;
    p.xsave = x;
    p.ysave = y;
    gxmove(x, y);
    return;
  }
  double alen = std::hypot((double)x - p.xsave, (double)y - p.ysave);
  if (!(alen >= 0.001)) return;  // too short, or not a number
  if (alen > 1000.0) {
    // A line thousands of inches long (a stray huge coordinate) would take
    // endless dashes, and float steps stop advancing: draw it as one piece.
    gxdraw(x, y);
    p.xsave = x;
    p.ysave = y;
    return;
  }
  p.alen = (float)alen;
  while (p.alen > p.slen) {
    float f = p.slen / p.alen;
    float px = p.xsave + (x - p.xsave) * f;
    float py = p.ysave + (y - p.ysave) * f;
    if (p.jpen == 2) gxdraw(px, py);
    else gxmove(px, py);
    p.dpnt++;
    if (p.dpnt > p.dnum) p.dpnt = 0;
    p.slen += p.dash[p.dpnt];
    p.jpen = (p.jpen == 2) ? 3 : 2;
  }
  p.slen -= p.alen;
  p.xsave = x;
  p.ysave = y;
  if (p.jpen == 2) gxdraw(x, y);
  else gxmove(x, y);
  if (p.slen < 0.001f) {
    p.dpnt++;
    if (p.dpnt > p.dnum) p.dpnt = 0;
    p.slen = p.dash[p.dpnt];
    p.jpen = (p.jpen == 2) ? 3 : 2;
  }
}

void gxrecf(float xlo, float xhi, float ylo, float yhi) {
  plotxform& p = gxstate();
  if (std::isnan(xlo) || std::isnan(xhi) || std::isnan(ylo) || std::isnan(yhi)) return;
  if (xlo > xhi) std::swap(xlo, xhi);
  if (ylo > yhi) std::swap(ylo, yhi);
  if (xhi <= p.clminx || xlo >= p.clmaxx || yhi <= p.clminy || ylo >= p.clmaxy) return;
  if (xlo < p.clminx) xlo = p.clminx;
  if (xhi > p.clmaxx) xhi = p.clmaxx;
  if (ylo < p.clminy) ylo = p.clminy;
  if (yhi > p.clmaxy) yhi = p.clmaxy;
  float rxlo, rylo, rxhi, ryhi;
  gxvcon(xlo, ylo, &rxlo, &rylo);
  gxvcon(xhi, yhi, &rxhi, &ryhi);
  hout4(-6, rxlo, rxhi, rylo, ryhi);
  if (p.intflg) gxdrv().rect(rxlo, rxhi, rylo, ryhi);
}

void gxptrn(int type, int density, int angle) {
  hout3i(-12, type, density, angle);
  if (gxstate().intflg) gxdrv().pattern(type, density, angle);
}

void gxtitl(const char* text, float x, float y, float height, float width, float angle) {
  if (!text) return;
  int len = 0;
  for (int i = 0; text[i]; i++) {
    if (text[i] != ' ') len = i + 1;
  }
  if (len == 0) return;
  if (angle > 45) y -= 0.5f * width * len;
  else x -= 0.5f * width * len;
  gxchpl(text, len, x, y, height, width, angle);
}

void gxbutn(int n, btnrec* rec) {
  hout1(-20, n);
  gxdpbn(n, rec, 0, 0, -1);
}

void gxclmn(float d) {
  // A spacing past the int range is wider than any page: the largest int.
  if (d >= 2147483648.0f) clmn_spacing = INT_MAX;
  else if (d > 0.1f) clmn_spacing = (int)d;
}
int gxqclmn() { return clmn_spacing; }

std::vector<float> gxmpoly(const float* xy, int n, float llinc, int* newn) {
  std::vector<float> out;
  if (newn) *newn = 0;
  if (!xy || n <= 0) return out;
  if (!(llinc > 0)) llinc = 1e30f;
  out.reserve((size_t)n * 2);
  for (int i = 0; i < n; i++) {
    float x = xy[2 * i], y = xy[2 * i + 1];
    if (i > 0) {
      float x0 = xy[2 * i - 2], y0 = xy[2 * i - 1];
      double d = std::max(std::fabs((double)x - x0), std::fabs((double)y - y0));
      double steps = std::ceil(d / llinc);
      if (steps > 1 && steps < 100000) {
        int k = (int)steps;
        for (int j = 1; j < k; j++) {
          float t = (float)j / k;
          float px, py;
          gxconv(x0 + (x - x0) * t, y0 + (y - y0) * t, &px, &py, 2);
          out.push_back(px);
          out.push_back(py);
        }
      }
    }
    float px, py;
    gxconv(x, y, &px, &py, 2);
    out.push_back(px);
    out.push_back(py);
  }
  if (newn) *newn = (int)(out.size() / 2);
  return out;
}
