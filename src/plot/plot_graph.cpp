// Line, bar and error-bar graphs of 1-D grids (with arrows or barbs along
// the line from two more grids), and the fill between two curves.
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "base/cmnstate.h"
#include "base/intpoll.h"
#include "base/omprnt.h"
#include "data/gridres.h"
#include "expr/omexpr.h"
#include "gx/gx.h"
#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

// A page point of a graph: grid position i and value v, exchanged when the
// graph is vertical.
void gpos(float i, float v, bool vert, float* x, float* y) {
  if (vert) gxconv(v, i, x, y, 3);
  else gxconv(i, v, x, y, 3);
}

// A further grid usable with the first: same single dimension and the same
// scaling along it.
bool samegrid(cmnstate* pcm, int n, gridres* first) {
  gridres* g = omresg(pcm, n);
  if (!g) return false;
  if (g->idim != first->idim || g->jdim != first->jdim) return false;
  return omgchk(first, g, first->idim) == 0;
}

// The graph form of the plot epilogue.
void grepil(cmnstate* pcm, int dim, bool vert, int code) {
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
  if (vert) omaxpl(pcm, 4, dim);
  else omaxpl(pcm, dim, 4);
  gxwide(omthin(pcm->annotthick, 3));
  gxcolr(pcm->annotcolor);
  omstamp(pcm);
  omgsav(code, pcm);
}

void cliparea(cmnstate* pcm) {
  gxclip(pcm->plotxlo - 0.01f, pcm->plotxhi + 0.01f, pcm->plotylo, pcm->plotyhi);
}

bool isvert(const cmnstate* pcm, const gridres* g) { return (g->idim == 2) != (pcm->xyrev != 0); }

void drawline(cmnstate* pcm, const gridres* g, bool vert) {
  int pen = 3;
  omintpoll poll;
  for (int i = 1; i <= g->isiz && !poll.stop(); i++) {
    float v = g->grid[i - 1];
    if (v == g->undef) {
      if (!pcm->missconn) pen = 3;
      continue;
    }
    float x, y;
    gpos((float)i, v, vert, &x, &y);
    gxplot(x, y, pen);
    pen = 2;
  }
}

void drawmarks(cmnstate* pcm, const gridres* g, bool vert, int col) {
  int m = pcm->cmark;
  float sz = pcm->digsize + 0.01f;
  bool knock = m == 1 || m == 2 || m == 4 || m == 8;
  // The knock-out mark drawn under an open mark; any other number is
  // taken as set (and may be the largest int).
  int km = m == 1 ? 4 : knock ? m + 1 : 0;
  omintpoll poll;
  for (int i = 1; i <= g->isiz && !poll.stop(); i++) {
    float v = g->grid[i - 1];
    if (v == g->undef) continue;
    float x, y;
    gpos((float)i, v, vert, &x, &y);
    if (knock) {
      gxcolr(gxqbck());
      gxmark(km, x, y, sz);
      gxcolr(col);
    }
    gxmark(m, x, y, sz);
  }
}

// Arrows or barbs along the line of g from the u and v grids.
void drawvecs(cmnstate* pcm, const gridres* g, const gridres* u, const gridres* v, bool vert) {
  float mag = 1;
  if (pcm->gxout_1dvec != 2) {
    if (!pcm->arrflag) {
      float umn, umx, vmn, vmx;
      double m = 0, n = 0;
      if (omgrng(u, &umn, &umx)) m = std::fmax(umx, std::fabs(umn));
      if (omgrng(v, &vmn, &vmx)) n = std::fmax(vmx, std::fabs(vmn));
      mag = omrefmag(m, n);
      if (std::hypot(m, n) > 0) pcm->arrsize = 0.5f;
      pcm->arrmag = mag;
      pcm->arrflag = 1;
    }
    mag = pcm->arrmag;
  }
  bool along = g->idim == 1;
  omintpoll poll;
  for (int i = 1; i <= g->isiz && !poll.stop(); i++) {
    float a = g->grid[i - 1], uu = u->grid[i - 1], vv = v->grid[i - 1];
    if (a == g->undef || uu == u->undef || vv == v->undef) continue;
    float x, y;
    gpos((float)i, a, vert, &x, &y);
    float dir = (uu == 0 && vv == 0) ? 0.0f : std::atan2(vv, uu);
    float spd = (float)std::hypot((double)uu, (double)vv);
    if (pcm->gxout_1dvec == 2) {
      int shem;
      if (pcm->hempref == 0) shem = 0;
      else if (pcm->hempref == 1) shem = 1;
      else if (along) {
        double lat = g->igrab ? g->igrab(g->ivals, i + g->dimmin[1] - 1) : i;
        shem = lat < 0;
      } else {
        shem = pcm->wlo[1] < 0;
      }
      float ds = pcm->digsize;
      ombarb(x, y, 3.5f * ds, 2 * ds, 0.25f * ds, dir, spd, shem);
    } else if (mag > 0) {
      omarrw(x, y, dir, pcm->arrsize * spd / mag, pcm->arrowhead);
    } else {
      omarrw(x, y, dir, pcm->arrsize, pcm->arrowhead);
    }
  }
}

// The page coordinate of the bar base on the value axis.
float barbase(cmnstate* pcm, bool vert) {
  float lo = vert ? pcm->plotxlo : pcm->plotylo;
  float hi = vert ? pcm->plotxhi : pcm->plotyhi;
  if (pcm->barbaseset == -1) return hi;
  if (pcm->barbaseset != 1) return lo;
  float x, y;
  gpos(1, pcm->barbase, vert, &x, &y);
  float b = vert ? x : y;
  if (!(b >= lo && b <= hi)) {
    omprnt(0, "Error drawing bargraph: base value out of range\n");
    omprnt(0, "    Drawing graph from bottom\n");
    printf("%g \n", b);
    return lo;
  }
  return b;
}

// One bar or error bar from value e1 to e2 (page coordinates on the value
// axis) at grid position i.
void drawbar(cmnstate* pcm, int mode, float i, float hw, float e1, float e2, bool vert) {
  float l1, l2, c;
  float dummy;
  // Page coordinates of the bar's left, right edges and centre on the
  // dimension axis.
  if (vert) {
    gxconv(0, i - hw, &dummy, &l1, 3);
    gxconv(0, i + hw, &dummy, &l2, 3);
    gxconv(0, i, &dummy, &c, 3);
  } else {
    gxconv(i - hw, 0, &l1, &dummy, 3);
    gxconv(i + hw, 0, &l2, &dummy, 3);
    gxconv(i, 0, &c, &dummy, 3);
  }
  auto pt = [&](float d, float v, int pen) {
    if (vert) gxplot(v, d, pen);
    else gxplot(d, v, pen);
  };
  if (mode == 2) {
    pt(c, e1, 3);
    pt(c, e2, 2);
    pt(l1, e1, 3);
    pt(l2, e1, 2);
    pt(l1, e2, 3);
    pt(l2, e2, 2);
  } else if (pcm->baropts == 0) {
    float a1 = std::fmin(l1, l2), a2 = std::fmax(l1, l2);
    float b1 = std::fmin(e1, e2), b2 = std::fmax(e1, e2);
    if (vert) gxrecf(b1, b2, a1, a2);
    else gxrecf(a1, a2, b1, b2);
  } else {
    pt(l1, e1, 3);
    pt(l1, e2, 2);
    pt(l2, e2, 2);
    pt(l2, e1, 2);
    pt(l1, e1, 2);
  }
}

void drawbars(cmnstate* pcm, int mode, const gridres* g, const gridres* g2, bool vert) {
  float hw = 0.5f - (pcm->bargap * 0.5f / 100.0f);
  float base = g2 ? 0.0f : barbase(pcm, vert);
  omintpoll poll;
  for (int i = 1; i <= g->isiz && !poll.stop(); i++) {
    float a = g->grid[i - 1];
    if (a == g->undef) continue;
    float x, y;
    gpos((float)i, a, vert, &x, &y);
    float e1 = vert ? x : y, e2 = base;
    if (g2) {
      float b = g2->grid[i - 1];
      if (b == g2->undef) continue;
      gpos((float)i, b, vert, &x, &y);
      e2 = vert ? x : y;
    }
    drawbar(pcm, mode, (float)i, hw, e1, e2, vert);
  }
}

}  // namespace

void omgrph(cmnstate* pcm, int mode) {
  gridres* g = omresg(pcm, 0);
  if (!g || g->idim < 0 || g->jdim != -1) return;
  float mn, mx;
  if (!omgrng(g, &mn, &mx)) {
    omprnt(1, "Cannot plot data - all undefined values \n");
    gxcolr(1);
    if (pcm->datawarn) gxchpl("Entire Grid Undefined", 21, 3.0f, 4.5f, 0.3f, 0.25f, 0.0f);
    return;
  }
  gridres* g2 = nullptr;
  gridres* g3 = nullptr;
  if (pcm->rescount > 1) {
    if (samegrid(pcm, 1, g)) {
      g2 = omresg(pcm, 1);
    } else {
      omprnt(0, "Error in line/bar graph:  Invalid 2nd field\n");
      omprnt(0, "   2nd grid ignored -- has different scaling\n");
    }
  }
  if (g2 && mode == 1) {
    float mn2, mx2;
    if (!omgrng(g2, &mn2, &mx2)) {
      omprnt(1, "Cannot plot data - 2nd arg all undefined values \n");
      return;
    }
    mn = std::fmin(mn, mn2);
    mx = std::fmax(mx, mx2);
  }
  if (g2 && pcm->rescount > 2) {
    if (samegrid(pcm, 2, g)) {
      g3 = omresg(pcm, 2);
    } else {
      omprnt(0, "Error in line/bar graph:  Invalid 3rd field\n");
      omprnt(0, "   3rd grid ignored -- has different scaling\n");
    }
  }
  bool vert = isvert(pcm, g);
  int dim = g->idim;
  oms1d(pcm, mn, mx, dim, vert ? 1 : 0, g, nullptr);

  if (pcm->ccolor < 0) pcm->ccolor = 1;
  int col = pcm->ccolor;
  gxcolr(col);
  gxstyl(pcm->cstyle > 0 ? pcm->cstyle : 1);
  gxwide(pcm->cthick);
  cliparea(pcm);

  if (mode == 0) {
    if (pcm->cstyle != 0 && !g3) drawline(pcm, g, vert);
    if (pcm->cmark > 0 || g3) {
      gxstyl(1);
      if (g3) drawvecs(pcm, g, g2, g3, vert);
      else drawmarks(pcm, g, vert, col);
    }
  } else {
    drawbars(pcm, mode, g, g2, vert);
  }
  grepil(pcm, dim, vert, mode == 0 ? 6 : 8);
}

void lfint(float a1, float a2, float b1, float b2, float* t, float* y) {
  float den = (a2 - a1) - b2 + b1;
  *t = den != 0 ? (b1 - a1) / den : 0.0f;
  *y = a1 + (a2 - a1) * *t;
}

void lfout(float* x, float* a, float* b, float* /*work*/, int n, int vertical) {
  if (n < 2) {
    printf("Internal Logic check 4 in linefill\n");
    return;
  }
  std::vector<float> xy;
  xy.reserve((size_t)n * 4 + 8);
  auto add = [&](float i, float v) {
    float px, py;
    gpos(i, v, vertical != 0, &px, &py);
    xy.push_back(px);
    xy.push_back(py);
  };
  for (int k = 0; k < n; k++) add(x[k], a[k]);
  if (a[n - 1] != b[n - 1]) add(x[n - 1], b[n - 1]);
  for (int k = n - 2; k >= 1; k--) add(x[k], b[k]);
  if (a[0] != b[0]) add(x[0], b[0]);
  gxfill(xy.data(), (int)(xy.size() / 2));
}

namespace {

// The polygon being built by the linefill walk.
struct lfpoly {
  std::vector<float> x, a, b;
  int state = 0;  // 1 first curve above, 2 below
  void clear() {
    x.clear();
    a.clear();
    b.clear();
  }
  void add(float xi, float ai, float bi) {
    x.push_back(xi);
    a.push_back(ai);
    b.push_back(bi);
  }
};

struct lfwalk {
  const float* a;
  const float* b;
  float ua, ub;
  int n;
  bool vert;
  int cols[2];
  lfpoly p;

  bool undef(int i) const { return a[i - 1] == ua || b[i - 1] == ub; }
  bool fillable(int i) const {
    if (undef(i) || undef(i + 1)) return false;
    return !(a[i - 1] == b[i - 1] && a[i] == b[i]);
  }
  // The first fillable segment from i on: its start, or 0 when none.
  int findstart(int i) const {
    while (i < n && !fillable(i)) i++;
    return i < n ? i : 0;
  }
  void start(int i) {
    p.clear();
    p.add((float)i, a[i - 1], b[i - 1]);
    float d = a[i - 1] - b[i - 1];
    if (d == 0) d = a[i] - b[i];
    p.state = d > 0 ? 1 : 2;
  }
  void flush() {
    int c = cols[p.state == 1 ? 0 : 1];
    if (c >= 0) {
      gxcolr(c);
      lfout(p.x.data(), p.a.data(), p.b.data(), nullptr, (int)p.x.size(), vert);
    }
    p.clear();
  }
  void run(int i) {
    start(i);
    omintpoll poll;
    for (i = i + 1; i <= n && !poll.stop(); i++) {
      if (undef(i)) {
        flush();
        int s = findstart(i);
        if (!s) return;
        start(s);
        i = s;
        continue;
      }
      // hi is the curve that was on top, lo the other.
      float ai = a[i - 1], bi = b[i - 1];
      float hi = p.state == 1 ? ai : bi, lo = p.state == 1 ? bi : ai;
      if (hi < lo) {
        float t, y;
        lfint(a[i - 2], ai, b[i - 2], bi, &t, &y);
        float xc = (float)(i - 1) + t;
        p.add(xc, y, y);
        int next = p.state == 1 ? 2 : 1;
        flush();
        p.add(xc, y, y);
        p.add((float)i, ai, bi);
        p.state = next;
      } else if (hi == lo) {
        p.add((float)i, ai, bi);
        flush();
        int s = findstart(i);
        if (!s) return;
        start(s);
        i = s;
      } else {
        p.add((float)i, ai, bi);
      }
    }
    if (p.x.size() > 1) flush();
  }
};

}  // namespace

void omlfil(cmnstate* pcm) {
  gridres* g = omresg(pcm, 0);
  if (!g || g->idim < 0 || g->jdim != -1) return;
  if (pcm->rescount < 2) {
    omprnt(0, "Error plotting linefill:  Only one grid provided\n");
    return;
  }
  if (!samegrid(pcm, 1, g)) {
    omprnt(0, "Error plotting linefill:  Invalid grids -- different scaling\n");
    return;
  }
  gridres* g2 = omresg(pcm, 1);
  float mn, mx, mn2, mx2;
  if (!omgrng(g, &mn, &mx) || !omgrng(g2, &mn2, &mx2)) {
    omprnt(1, "Cannot plot data - all undefined values \n");
    return;
  }
  bool vert = isvert(pcm, g);
  int dim = g->idim;
  oms1d(pcm, std::fmin(mn, mn2), std::fmax(mx, mx2), dim, vert ? 1 : 0, g, nullptr);
  cliparea(pcm);

  lfwalk w{g->grid, g2->grid, g->undef, g2->undef, g->isiz, vert, {pcm->lfcols[0], pcm->lfcols[1]}, {}};
  int s = w.findstart(1);
  if (!s) {
    omprnt(1, "Cannot plot data - too many undefined values \n");
    return;
  }
  try {
    w.p.x.reserve((size_t)g->isiz + 2);
    w.p.a.reserve((size_t)g->isiz + 2);
    w.p.b.reserve((size_t)g->isiz + 2);
    w.run(s);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Memory allocation error in linefill\n");
    return;
  }
  grepil(pcm, dim, vert, 17);
}
