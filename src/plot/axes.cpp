// Axes and labels of plots: ticks, grid lines and label texts for
// longitude, latitude, level, time and value axes, and the meridian and
// parallel grid of curved map projections.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "gx/gx.h"
#include "gx/mapproj.h"
#include "plot/dataout.h"
#include "plot/plotint.h"

namespace {

const int labroom = 32;  // longest label text

// Per-axis settings of one omaxis call.
struct axset {
  int side;
  float off, size;
  int colour, thick;
  bool flip;
  float plo, phi;  // page extent of the plot area along the axis
  float apos;      // page position of the axis line across
};

axset axsettings(const cmnstate* pcm, int axis) {
  axset a;
  if (axis == 1) {
    a.side = pcm->xlside;
    a.off = pcm->xlpos;
    a.size = pcm->xlsize;
    a.colour = pcm->xlcolor;
    a.thick = pcm->xlthick;
    a.flip = pcm->xflip != 0;
    a.plo = pcm->plotxlo;
    a.phi = pcm->plotxhi;
    a.apos = (a.side ? pcm->plotyhi : pcm->plotylo) + a.off;
  } else {
    a.side = pcm->ylside;
    a.off = pcm->ylpos;
    a.size = pcm->ylsize;
    a.colour = pcm->ylcolor;
    a.thick = pcm->ylthick;
    a.flip = pcm->yflip != 0;
    a.plo = pcm->plotylo;
    a.phi = pcm->plotyhi;
    a.apos = (a.side ? pcm->plotxhi : pcm->plotxlo) + a.off;
  }
  return a;
}

// The time axis conversion of the plotted axis, else the default file's.
const float* timeaxis(const cmnstate* pcm, int axis) {
  int k = axis == 1 ? 0 : 1;
  if (pcm->axisdims[k] == 3 && pcm->plotlims.vals[k]) return pcm->plotlims.vals[k];
  if (pcm->dfile) return pcm->dfile->grvals[3];
  return nullptr;
}

void line(float x1, float y1, float x2, float y2) {
  gxplot(x1, y1, 3);
  gxplot(x2, y2, 2);
}

void text(const char* s, float x, float y, float size) {
  gxchpl(s, (int)strlen(s), x, y, size, 0.8f * size, 0.0f);
}

// Width of the text measured at its full character size: the placement
// rules below scale it by 0.8, the width the texts are drawn at, so a y
// label ends 0.8 size short of its axis and an x label is centred (0.4 of
// this width is half the drawn width).
float textwidth(const char* s, float size) {
  float w = 0;
  gxchln(s, (int)strlen(s), size, &w);
  return w;
}

// Tick and optional grid line at page position p along the axis.
void tick(const cmnstate* pcm, int axis, const axset& a, float p) {
  float t = 0.4f * a.size;
  gxcolr(a.colour);
  gxwide(a.thick);
  gxstyl(1);
  if (axis == 1) line(p, a.apos, p, a.side ? a.apos + t : a.apos - t);
  else line(a.apos, p, a.side ? a.apos + t : a.apos - t, p);
  bool g = axis == 1 ? (pcm->grid == 1 || pcm->grid == 3) : (pcm->grid == 1 || pcm->grid == 2);
  if (g) {
    gxcolr(pcm->gridcolor);
    gxstyl(pcm->gridstyle);
    gxwide(1);
    if (axis == 1) line(p, pcm->plotylo, p, pcm->plotyhi);
    else line(pcm->plotxlo, p, pcm->plotxhi, p);
    gxcolr(a.colour);
    gxwide(a.thick);
    gxstyl(1);
  }
}

void label(cmnstate* pcm, int axis, const axset& a, float p, const char* s) {
  tick(pcm, axis, a, p);
  float w = textwidth(s, a.size);
  if (axis == 1) {
    float y = a.side ? a.apos + 0.7f * a.size : a.apos - 1.7f * a.size;
    text(s, p - 0.4f * w, y, a.size);
  } else {
    float y = p - 0.5f * a.size;
    if (a.side) {
      text(s, a.apos + 0.8f * a.size, y, a.size);
    } else {
      float d = (w + a.size) * 0.8f;
      text(s, a.apos - d, y, a.size);
      if (d > pcm->ylabshift) pcm->ylabshift = d;
    }
  }
}

// The most meridians or parallels a map grid draws; a finer interval over
// the view is refused rather than drawn in part.
const int kMaxMapLines = 400;
// The most points a map grid walks: as many as the grids of the maps whose
// intervals can be set draw at most, 400 lines each way of 101 points.
const int kMaxMapPoints = 2 * kMaxMapLines * 101;

// Lines at lo + k * c up to hi (and 1% of an interval beyond), counted
// before any is drawn with the drawing's own float test, so the count is
// the lines drawn; at most kMaxMapLines + 1, 0 when the ends or the
// interval are not usable numbers.
int gridlines(float lo, float hi, float c) {
  int n = 0;
  while (n <= kMaxMapLines && lo + n * c <= hi + c * 0.01f) n++;
  return n;
}

// Values of the float walk from, from + step, ... below `below` (each sum
// rounded to float as the walk goes), at most kMaxMapLines; 0 for
// unusable ends.
int linecount(float from, float below, float step) {
  int n = 0;
  for (float v = from; n < kMaxMapLines && v < below; v += step) n++;
  return n;
}

// Whole steps of step from lo to hi (truncated), at most 10000 per line.
// The quotient is taken in float: a span such as 78.7 + 33.3 is 112 there
// but 111.9999962 in double, one step short of the view's edge.
int stepcount(float lo, float hi, float step) {
  float n = (hi - lo) / step;
  if (!(n >= 0)) return 0;
  return n > 10000 ? 10000 : (int)n;
}

void addincr(datetime* t, const datetime& inc) {
  datetime r = inc;
  timadd(t, &r);
  *t = r;
}

// Moves t up to the next start of a unit (1 year, 2 month, 3 day, 4 hour):
// each finer field that is set is cleared, carrying one into the field
// above it.
void ceilto(datetime* t, int unit) {
  const datetime hour1{0, 0, 0, 1, 0}, day1{0, 0, 1, 0, 0}, mon1{0, 1, 0, 0, 0}, yr1{1, 0, 0, 0, 0};
  if (unit <= 4 && t->mn) {
    t->mn = 0;
    addincr(t, hour1);
  }
  if (unit <= 3 && t->hr) {
    t->hr = 0;
    addincr(t, day1);
  }
  if (unit <= 2 && t->dy > 1) {
    t->dy = 1;
    addincr(t, mon1);
  }
  if (unit <= 1 && t->mo > 1) {
    t->mo = 1;
    addincr(t, yr1);
  }
}

void timeaxislabels(cmnstate* pcm, int axis, const axset& a, const float* tv, float m, float b) {
  datetime t, inc;
  int kind = omtinc(pcm, &t, &inc);
  char prev[3][16] = {"mmmmmmmmmmmmmmm", "mmmmmmmmmmmmmmm", "mmmmmmmmmmmmmmm"};
  for (int guard = 0; guard < 2000 && timdif(&t, &pcm->tend) >= 0; guard++) {
    char txt[OMT2CH_SIZE];
    int len = omt2ch(&t, kind, txt);
    float p = (float)t2gr(tv, &t) * m + b;
    if (p >= a.plo - 0.05f && p <= a.phi + 0.05f) {
      if (axis == 0) {
        int cut = pcm->tlsupp == 1 ? 4 : (pcm->tlsupp == 2 ? 9 : 0);
        len -= cut;
        if (len < 0) len = 0;
        txt[len] = 0;
        const char* s = txt;
        if (kind == 3 && s[0] == '0') s++;
        if (strlen(s) > 1) label(pcm, axis, a, p, s);
        else tick(pcm, axis, a, p);
      } else {
        std::string all(txt), part[3];
        if (kind >= 4) part[0] = all.substr(0, kind == 5 ? 6 : 3);
        size_t dmat = kind == 5 ? 6 : (kind == 4 ? 3 : 0);
        if (kind >= 3 && pcm->tlsupp != 2) part[1] = all.substr(dmat, 5);
        if (kind == 2 && pcm->tlsupp != 2) part[1] = all.substr(0, 3);
        if (pcm->tlsupp == 0 && !(kind == 2 && t.yr == 9999) && all.size() >= 4)
          part[2] = all.substr(all.size() - 4);
        if (kind >= 3 && !part[1].empty() && part[1][0] == '0') part[1].erase(0, 1);
        tick(pcm, axis, a, p);
        int row = 0;
        for (int r = 0; r < 3; r++) {
          if (part[r].empty()) continue;
          if (part[r] != prev[r]) {
            float w = textwidth(part[r].c_str(), a.size);
            float off = 1.7f * a.size + 1.4f * a.size * row;
            float y = a.side ? a.apos + 0.7f * a.size + 1.4f * a.size * row : a.apos - off;
            text(part[r].c_str(), p - 0.4f * w, y, a.size);
            snprintf(prev[r], sizeof prev[r], "%s", part[r].c_str());
          }
          row++;
        }
      }
    }
    addincr(&t, inc);
    if (inc.dy > 1 && t.dy == 31) {
      t.dy = 1;
      addincr(&t, datetime{0, 1, 0, 0, 0});
    }
    if (inc.dy > 3 && t.dy == 3) t.dy = 1;
  }
}

}  // namespace

bool omlfmt(const char* fmt, float value, char* buf, int n) {
  buf[0] = 0;
  int convs = 0;
  for (const char* p = fmt; *p; p++) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      p++;
      continue;
    }
    const char* q = p + 1;
    while (*q && strchr("-+ #0", *q)) q++;
    while (*q >= '0' && *q <= '9') q++;
    if (*q == '.') {
      q++;
      while (*q >= '0' && *q <= '9') q++;
    }
    if (!*q || !strchr("eEfFgGaA", *q)) return false;
    if (++convs > 1) return false;
    p = q;
  }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  snprintf(buf, n, fmt, (double)value);
#pragma GCC diagnostic pop
  return true;
}

int omlnch(float lon, char* buf) {
  // One remainder instead of steps of 360: a longitude of 1e38 (a damaged
  // coordinate) would take longer than anyone waits to step down.
  double l = std::fmod((double)lon, 360.0);
  if (l > 180.0) l -= 360.0;
  else if (l <= -180.0) l += 360.0;
  int n = snprintf(buf, labroom, "%g", std::fabs(l));
  if (l < 0) n += snprintf(buf + n, labroom - n, "W");
  else if (l > 0 && l < 180) n += snprintf(buf + n, labroom - n, "E");
  return n;
}

int omltch(float lat, char* buf) {
  if (lat == 0) return snprintf(buf, labroom, "EQ");
  return snprintf(buf, labroom, "%g%s", std::fabs(lat), lat < 0 ? "S" : "N");
}

int omtinc(const cmnstate* pcm, datetime* first, datetime* incr) {
  *incr = datetime{0, 0, 0, 0, 0};
  datetime t = pcm->tbeg;
  // Years of the whole int range apart: the difference needs more bits.
  if ((long long)pcm->tend.yr - pcm->tbeg.yr >= 5) {
    float c = 0, lo, hi;
    omcsel((float)pcm->tbeg.yr, (float)pcm->tend.yr, &c, &lo, &hi);
    int y = (int)(c + 0.5f);
    if (y == 3) y = 5;
    if (y < 1) y = 1;
    incr->yr = y;
  } else {
    long span = timdif(&pcm->tbeg, &pcm->tend);
    static const struct { long lim; datetime step; } rows[] = {
        {9, {0, 0, 0, 0, 1}},       {24, {0, 0, 0, 0, 2}},       {74, {0, 0, 0, 0, 5}},
        {149, {0, 0, 0, 0, 15}},    {299, {0, 0, 0, 0, 30}},     {899, {0, 0, 0, 1, 0}},
        {1799, {0, 0, 0, 3, 0}},    {3599, {0, 0, 0, 6, 0}},     {7199, {0, 0, 0, 12, 0}},
        {14399, {0, 0, 1, 0, 0}},   {42000, {0, 0, 2, 0, 0}},    {129600, {0, 0, 5, 0, 0}},
        {262800, {0, 0, 15, 0, 0}}, {788400, {0, 1, 0, 0, 0}},   {1576800, {0, 3, 0, 0, 0}},
    };
    *incr = datetime{0, 6, 0, 0, 0};
    for (const auto& r : rows) {
      if (span <= r.lim) {
        *incr = r.step;
        break;
      }
    }
  }
  const datetime hour1{0, 0, 0, 1, 0}, day1{0, 0, 1, 0, 0}, mon1{0, 1, 0, 0, 0};
  int kind;
  if (incr->mn) {
    t.mn = (t.mn + incr->mn - 1) / incr->mn * incr->mn;
    if (t.mn > 59) {
      t.mn = 0;
      addincr(&t, hour1);
    }
    kind = 5;
  } else if (incr->hr) {
    ceilto(&t, 4);
    t.hr = (t.hr + incr->hr - 1) / incr->hr * incr->hr;
    if (t.hr > 23) {
      t.hr = 0;
      addincr(&t, day1);
    }
    kind = 4;
  } else if (incr->dy) {
    ceilto(&t, 3);
    int d = incr->dy;
    t.dy = 1 + (t.dy - 1 + d - 1) / d * d;
    if (t.dy == 29 || t.dy == 31 || t.dy > modays(t.yr, t.mo)) {
      t.dy = 1;
      addincr(&t, mon1);
    }
    kind = 3;
  } else if (incr->mo) {
    ceilto(&t, 2);
    int m = incr->mo;
    t.mo = 1 + (t.mo - 1 + m - 1) / m * m;
    if (t.mo > 12) {
      t.mo = 1;
      t.yr++;
    }
    kind = 2;
  } else {
    ceilto(&t, 1);
    int y = incr->yr;
    long long up = ((long long)t.yr + y - 1) / y * y;
    t.yr = up > INT_MAX ? INT_MAX : (int)up;
    kind = 1;
  }
  *first = t;
  return kind;
}

void omaxis(int axis, cmnstate* pcm, int dim) {
  if ((axis == 1 ? pcm->xlab : pcm->ylab) == 0 || dim < 0) return;
  axset a = axsettings(pcm, axis);
  if (a.off != 0) {
    gxcolr(pcm->annotcolor);
    gxwide(pcm->annotthick);
    gxstyl(1);
    if (axis == 1) line(pcm->plotxlo, a.apos, pcm->plotxhi, a.apos);
    else line(a.apos, pcm->plotylo, a.apos, pcm->plotyhi);
  }
  const float* tv = nullptr;
  float lo, hi, c = 0;
  if (dim == 4) {
    lo = pcm->vrange[0];
    hi = pcm->vrange[1];
  } else if (dim == 3) {
    tv = timeaxis(pcm, axis);
    if (!tv) return;
    lo = (float)t2gr(tv, &pcm->tbeg);
    hi = (float)t2gr(tv, &pcm->tend);
  } else {
    lo = pcm->wlo[dim];
    hi = pcm->whi[dim];
  }
  bool plain = false;
  const std::vector<std::string>& labs = axis == 1 ? pcm->xlabs : pcm->ylabs;
  int labcount = axis == 1 ? pcm->xlabcount : pcm->ylabcount;
  if (labcount > (int)labs.size()) labcount = (int)labs.size();
  if (labcount > 0) {
    lo = 1;
    hi = (float)labcount;
    c = 1;
    plain = true;
  }
  int set = axis == 1 ? pcm->xaxisset : pcm->yaxisset;
  if (set && !(dim == 2 && pcm->zlog)) {
    lo = axis == 1 ? pcm->xaxis[0] : pcm->yaxis[0];
    hi = axis == 1 ? pcm->xaxis[1] : pcm->yaxis[1];
    c = axis == 1 ? pcm->xaxisinc : pcm->yaxisinc;
    plain = true;
    omprnt(1, axis == 1 ? "Warning:  X axis labels overridden by SET XAXIS.\n"
                        : "Warning:  Y axis labels overridden by SET YAXIS.\n");
    omprnt(1, "   Labels may not reflect correct scaling for dimensions or data.\n");
  }
  if (lo == hi) {
    omprnt(0, "omaxis internal logic check 24 \n");
    return;
  }
  float m, b;
  if (!a.flip) {
    m = (a.phi - a.plo) / (hi - lo);
    b = a.plo - m * lo;
  } else {
    m = (a.plo - a.phi) / (hi - lo);
    b = a.phi - m * lo;
  }
  if (lo > hi) std::swap(lo, hi);

  if (dim == 3 && !plain) {
    timeaxislabels(pcm, axis, a, tv, m, b);
    return;
  }
  float lint = axis == 1 ? pcm->xlint : pcm->ylint;
  float first, last;
  if (lint != 0) c = lint;
  if (c < 0) {
    c = -c;
    first = lo;
    last = hi + c / 2;
  } else {
    float cmn, cmx, cc = c;
    omcsel(lo, hi, &cc, &cmn, &cmx);
    if (c == 0) c = cc;
    if (c == 0) {
      omprnt(0, "omaxis internal logic check 25\n");
      return;
    }
    if (lint == 0 && !plain) {
      if (dim == 1) {
        if (c > 19.9f) c = 30;
        else if (c > 10) c = 10;
      } else if (dim == 0) {
        if (c > 74.5f) c = 90;
        else if (c > 44.5f) c = 60;
        else if (c > 24.9f) c = 30;
        else if (c > 14.5f) c = 20;
        else if (c > 10) c = 10;
      }
    }
    first = c * std::ceil(lo / c);
    last = c * std::floor(hi / c) + c / 2;
  }
  float* levs = axis == 1 ? pcm->xlevs : pcm->ylevs;
  int levcount = axis == 1 ? pcm->xlevcount : pcm->ylevcount;
  int n;
  if (levcount > 0) {
    n = levcount;
  } else {
    double cnt = ((double)last - first) / c + 1;
    n = cnt > 50 ? 50 : (cnt >= 1 ? (int)cnt : 0);
    for (int k = 0; k < n; k++) {
      levs[k] = first + k * c;
      if (std::fabs(levs[k] / c) < 1e-05f) levs[k] = 0;
      // An interval lost in the precision of huge ends gives the same
      // position again: one label there is all there is to draw.
      if (k > 0 && levs[k] == levs[k - 1]) {
        n = k;
        break;
      }
    }
  }
  const std::string& fmt = axis == 1 ? pcm->xlabfmt : pcm->ylabfmt;
  int labno = 0;
  for (int k = 0; k < n; k++) {
    float v = levs[k];
    float p;
    if (dim == 2 && pcm->zlog && !plain) {
      float px, py;
      gxconv(v, v, &px, &py, 2);
      p = axis == 1 ? px : py;
    } else {
      p = v * m + b;
    }
    if (p < a.plo - 0.05f || p > a.phi + 0.05f) continue;
    char buf[labroom];
    if (!fmt.empty()) {
      if (!omlfmt(fmt.c_str(), v, buf, labroom)) snprintf(buf, labroom, "%s", fmt.c_str());
    } else if (labcount > 0) {
      const std::string& l = labs[labno < labcount ? labno : labcount - 1];
      labno++;
      if (!omlfmt(l.c_str(), v, buf, labroom)) snprintf(buf, labroom, "%s", l.c_str());
    } else if (dim == 0 && !plain && pcm->mproj > 0) {
      omlnch(v, buf);
    } else if (dim == 1 && !plain && pcm->mproj > 0) {
      omltch(v, buf);
    } else {
      snprintf(buf, labroom, "%g", v);
    }
    label(pcm, axis, a, p, buf);
  }
}

void ommpax(cmnstate* pcm) {
  if (pcm->grid == 0) return;
  const mapproj* mp = ommpj();
  float lnmn = mp->lnmn, lnmx = mp->lnmx, ltmn = mp->ltmn, ltmx = mp->ltmx;
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  auto polyline = [](float x0, float y0, float dx, float dy, int n) {
    for (int i = 0; i <= n; i++) {
      float px, py;
      gxconv(x0 + dx * i, y0 + dy * i, &px, &py, 2);
      gxplot(px, py, i == 0 ? 3 : 2);
    }
  };
  if (pcm->mproj == 5) {
    auto attrs = [&](bool edge) {
      if (edge) {
        gxcolr(1);
        gxstyl(1);
        gxwide(5);
      } else {
        gxcolr(pcm->gridcolor);
        gxstyl(pcm->gridstyle);
        gxwide(1);
      }
    };
    // A view off the globe falls back to a latitude-longitude map of any
    // ranges, whose lines walked in steps of 2 degrees could take millions
    // of points: the walks are counted whole first, and a grid of more
    // points than any other map's is refused rather than drawn.
    int nmer = linecount(lnmn, lnmx + 10, 45), npar = linecount(ltmn, ltmx + 10, 30);
    int merpts = stepcount(ltmn, ltmx + 1, 2), parpts = stepcount(lnmn, lnmx + 1, 2);
    long long points = (long long)nmer * (merpts + 1) + (long long)npar * (parpts + 1);
    if (points > kMaxMapPoints) {
      omprntf(0, "Map grid not drawn: its lines would take more than %d points\n", kMaxMapPoints);
      gxclip(0, pcm->vpagew, 0, pcm->vpageh);
      return;
    }
    float lon = lnmn;
    for (int k = 0; k < nmer; k++, lon += 45) {
      attrs(lon - lnmn < 10 || lnmx - lon < 10);
      polyline(lon, ltmn, 0, 2, merpts);
    }
    float lat = ltmn;
    for (int k = 0; k < npar; k++, lat += 30) {
      attrs(lat - ltmn < 10 || ltmx - lat < 10);
      polyline(lnmn, lat, 2, 0, parpts);
    }
    gxclip(0, pcm->vpagew, 0, pcm->vpageh);
    if (std::fabs(lnmn + 180) < 1 && std::fabs(lnmx - 180) < 1 && std::fabs(ltmn + 90) < 1 &&
        std::fabs(ltmx - 90) < 1) {
      gxcolr(pcm->annotcolor);
      gxwide(omthin(pcm->annotthick, 3));
      static const struct { const char* t; float lon, lat, dx; } top[] = {
          {"180", -180, 90, -0.15f}, {"90W", -90, 90, -0.15f}, {"0", 0, 90, -0.05f},
          {"90E", 90, 90, -0.15f},   {"180", 180, 90, -0.15f}};
      static const struct { const char* t; float lat, dxw, dxe; } side[] = {
          {"60S", -60, -0.45f, 0.15f}, {"30S", -30, -0.4f, 0.1f}, {"EQ", 0, -0.27f, 0.07f},
          {"60N", 60, -0.45f, 0.15f},  {"30N", 30, -0.4f, 0.1f}};
      for (const auto& l : top) {
        for (int s = 0; s < 2; s++) {
          float px, py;
          gxconv(l.lon, s ? -90.0f : 90.0f, &px, &py, 2);
          gxchpl(l.t, (int)strlen(l.t), px + l.dx, py + (s ? -0.16f : 0.06f), 0.11f, 0.1f, 0);
        }
      }
      for (const auto& l : side) {
        for (int s = 0; s < 2; s++) {
          float px, py;
          gxconv(s ? 180.0f : -180.0f, l.lat, &px, &py, 2);
          gxchpl(l.t, (int)strlen(l.t), px + (s ? l.dxe : l.dxw), py - 0.055f, 0.11f, 0.1f, 0);
        }
      }
    }
    gxstyl(1);
    return;
  }
  float c = 0, lo, hi;
  omcsel(lnmn, lnmx, &c, &lo, &hi);
  if (c > 24.9f) c = 30;
  else if (c > 14.5f) c = 20;
  else if (c > 10) c = 10;
  if (c != 0) {
    lo = c * std::ceil(lnmn / c);
    hi = c * std::floor(lnmx / c);
  }
  if (pcm->xlint != 0) c = std::fabs(pcm->xlint);
  float lc = 0, llo, lhi;
  omcsel(ltmn, ltmx, &lc, &llo, &lhi);
  const float wide[6][2] = {{9.9f, 20}, {4.9f, 10}, {1.9f, 5}, {0.8f, 2}, {0.4f, 1}, {0.2f, 0.5f}};
  const float narrow[6][2] = {{14.9f, 20}, {7.9f, 10}, {2.9f, 5}, {1.4f, 2}, {0.6f, 1}, {0.2f, 0.5f}};
  const float(*tab)[2] = lnmx - lnmn > 300 ? wide : narrow;
  for (int i = 0; i < 6; i++) {
    if (lc > tab[i][0]) {
      lc = tab[i][1];
      break;
    }
  }
  if (pcm->ylint != 0) lc = std::fabs(pcm->ylint);
  if (c == 0 || lc == 0) {
    omprnt(0, "omaxis internal logic check 25\n");
    gxclip(0, pcm->vpagew, 0, pcm->vpageh);
    return;
  }
  if (llo < -89.9f) llo += lc;
  if (lhi > 89.9f) lhi -= lc;
  gxcolr(pcm->gridcolor);
  gxstyl(pcm->gridstyle);
  gxwide(1);
  // Meridians are straight on the polar and conic maps; on Mollweide and
  // orthographic maps they bend and are walked in steps like the parallels.
  auto steps = [](float span) { return span > 180 ? 100 : (span > 60 ? 50 : 25); };
  bool curved = pcm->mproj == 6 || pcm->mproj == 7;
  int mstep = steps(lhi - llo);
  int nmer = gridlines(lo, hi, c), npar = gridlines(llo, lhi, lc);
  if (nmer > kMaxMapLines || npar > kMaxMapLines) {
    omprntf(0, "Map grid not drawn: intervals of %g and %g degrees give more than %d lines\n",
            c, lc, kMaxMapLines);
    gxclip(0, pcm->vpagew, 0, pcm->vpageh);
    return;
  }
  for (int k = 0; k < nmer; k++) {
    float lon = lo + k * c;
    if (curved) {
      polyline(lon, llo, 0, (lhi - llo) / mstep, mstep);
      continue;
    }
    float x1, y1, x2, y2;
    gxconv(lon, llo, &x1, &y1, 2);
    gxconv(lon, lhi, &x2, &y2, 2);
    line(x1, y1, x2, y2);
  }
  float span = lnmx - lnmn;
  int nstep = steps(span);
  for (int k = 0; k < npar; k++) {
    polyline(lnmn, llo + k * lc, span / nstep, 0, nstep);
  }
  if (pcm->frame == 2) {
    gxcolr(pcm->annotcolor);
    gxwide(omthin(pcm->annotthick, 3));
    gxstyl(1);
    polyline(lnmn, pcm->mproj == 3 ? ltmn : ltmx, span / nstep, 0, nstep);
  }
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
  gxstyl(1);
}
