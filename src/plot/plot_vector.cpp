// Arrows and wind barbs at the points of a u and a v grid (optionally
// coloured by a third grid), and the scatter plot of one grid against
// another.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/cmnstate.h"
#include "base/intpoll.h"
#include "base/omprnt.h"
#include "data/gridres.h"
#include "expr/omexpr.h"
#include "gx/gx.h"
#include "gx/mapproj.h"
#include "plot/dataout.h"
#include "plot/plotcntr.h"
#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

// Same two dimensions and the same scaling on both.
bool samescale(gridres* a, gridres* b) {
  if (!a || !b) return false;
  if (a->idim != b->idim || a->jdim != b->jdim) return false;
  if (a->isiz != b->isiz || a->jsiz != b->jsiz) return false;
  if (omgchk(a, b, a->idim)) return false;
  if (a->jdim >= 0 && omgchk(a, b, a->jdim)) return false;
  return true;
}

bool levtime(const gridres* g) { return g->idim == 2 && g->jdim == 3; }

// Southern-hemisphere rule of one point at world (wx, wy).
int southof(const cmnstate* pcm, const gridres* g, float wx, float wy) {
  if (pcm->hempref == 0) return 0;
  if (pcm->hempref == 1) return 1;
  if (g->idim == 1) return wx < 0;
  if (g->jdim == 1) return wy < 0;
  return pcm->wlo[1] < 0;
}

void arrowkey(cmnstate* pcm) {
  gxcolr(pcm->annotcolor);
  gxwide(omthin(pcm->annotthick, 2));
  float len = pcm->arrsize;
  omarrw(pcm->plotxhi - 2.0f, pcm->plotylo - 0.5f, 0, len, pcm->arrowhead);
  char buf[64];
  int n = snprintf(buf, sizeof buf, "%g", (double)pcm->arrmag);
  if (n < 0) return;
  if (n >= (int)sizeof buf) n = (int)sizeof buf - 1;
  float x = pcm->plotxhi - 2.0f + len / 2 - 0.065f * (float)n;
  gxchpl(buf, n, x, pcm->plotylo - 0.7f, 0.13f, 0.13f, 0);
}

}  // namespace

void omvect(cmnstate* pcm, int barb) {
  if (pcm->rescount < 2) {
    omprnt(0, "Error plotting vector field:  Only one grid provided\n");
    return;
  }
  gridres* u = omresg(pcm, 0);
  gridres* v = omresg(pcm, 1);
  if (!u || !v || u->jdim < 0 || !samescale(u, v)) {
    omprnt(0, "Error plotting vector/barb field:  Invalid grids\n");
    omprnt(0, "   Vector component grids have difference scaling\n");
    return;
  }
  gridres* c = nullptr;
  if (pcm->rescount > 2) {
    c = omresg(pcm, 2);
    if (!samescale(u, c)) {
      omprnt(0, "Error plotting vector/barb field:  Invalid color grid\n");
      omprnt(0, "   Color grid ignored -- has different scaling\n");
      c = nullptr;
    }
  }
  if ((pcm->xyrev && !levtime(u)) || (!pcm->xyrev && levtime(u))) {
    u = omflip(u, pcm);
    v = u ? omflip(v, pcm) : nullptr;
    if (c && v) c = omflip(c, pcm);
    if (!u || !v) return;
  }
  gxstyl(1);
  gxwide(1);
  oms2d(pcm, u, 1);
  omfram(pcm);
  omsdiv(1, 1);

  if (c) {
    float cmn, cmx;
    if (!omgrng(c, &cmn, &cmx)) {
      omprnt(0, "Connot color vectors/barbs -- Color grid all undefined\n");
      c = nullptr;
    } else {
      omselc(pcm, cmn, cmx);
    }
  }
  float umn, umx, vmn, vmx;
  if (!omgrng(u, &umn, &umx)) {
    omprnt(0, "Cannot draw vectors/barbs -- U field all undefined\n");
    return;
  }
  if (!omgrng(v, &vmn, &vmx)) {
    omprnt(0, "Cannot draw vectors/barbs -- V field all undefined\n");
    return;
  }
  int col = pcm->ccolor < 0 ? 1 : pcm->ccolor;
  gxcolr(col);
  gxstyl(1);
  gxwide(pcm->cthick);
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);

  if (!pcm->arrflag) {
    double m = std::fmax(umx, std::fabs(umn)), n = std::fmax(vmx, std::fabs(vmn));
    pcm->arrmag = omrefmag(m, n);
    if (std::hypot(m, n) > 0) pcm->arrsize = 0.5f;
    pcm->arrflag = 1;
  }
  float mag = pcm->arrmag, len = pcm->arrsize;
  float ds = pcm->digsize;
  bool lonlat = u->idim == 0 && u->jdim == 1;
  int lastcol = col;
  omintpoll poll;
  for (int j = 1; j <= u->jsiz && !poll.stop(u->isiz); j++) {
    for (int i = 1; i <= u->isiz; i++) {
      size_t k = (size_t)(j - 1) * u->isiz + (i - 1);
      float uu = u->grid[k], vv = v->grid[k];
      if (uu == u->undef || vv == v->undef) continue;
      if (c) {
        float cv = c->grid[k];
        int pc = cv == c->undef ? 15 : omshdc(pcm, cv);
        if (pc < 0) continue;
        if (pc != lastcol) {
          gxcolr(pc);
          lastcol = pc;
        }
      }
      float x, y, wx, wy;
      gxconv((float)i, (float)j, &x, &y, 3);
      gxgrmp((float)i, (float)j, &wx, &wy);
      float turn = lonlat ? gxaarw(wx, wy) : 0.0f;
      float dir = (uu == 0 && vv == 0) ? 0.0f : std::atan2(vv, uu);
      dir += turn;
      float spd = (float)std::hypot((double)uu, (double)vv);
      if (barb) {
        ombarb(x, y, 3.5f * ds, 2 * ds, 0.25f * ds, dir, spd, southof(pcm, u, wx, wy));
      } else if (mag > 0) {
        omarrw(x, y, dir, len * spd / mag, pcm->arrowhead);
      } else {
        omarrw(x, y, dir, len, pcm->arrowhead);
      }
    }
  }
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
  if (!barb && pcm->arrlab && mag > 0) arrowkey(pcm);
  omepil(pcm, u->idim, u->jdim, barb ? 15 : 3);
}

namespace {

// The limits of one scatter axis: stored ones when the state says so,
// else nice limits round the field's range.
void scatrange(float mn, float mx, int state, const float* stored, float* lo, float* hi,
               float* inc) {
  if (state != 0 && stored[0] != stored[1]) {
    *lo = stored[0];
    *hi = stored[1];
    float c = 0, a, b;
    omcsel(std::fmin(*lo, *hi), std::fmax(*lo, *hi), &c, &a, &b);
    *inc = c != 0 ? c : std::fabs(*hi - *lo);
    return;
  }
  float c = 0, a, b;
  omcsel(mn, mx, &c, &a, &b);
  if (c == 0) {
    *lo = mn - 5;
    *hi = *lo + 10;
    *inc = 2;
  } else {
    *lo = a - 2 * c;
    *hi = b + 2 * c;
    *inc = c;
  }
}

}  // namespace

void omscat(cmnstate* pcm) {
  if (pcm->rescount < 2) {
    omprnt(0, "Error plotting scatter field:  Only one grid provided\n");
    return;
  }
  gridres* a = omresg(pcm, 0);
  gridres* b = omresg(pcm, 1);
  if (!a || !b) {
    omprnt(0, "Error plotting scatter field:  stn argument(s) used\n");
    return;
  }
  if (!samescale(a, b)) {
    omprnt(0, "Error plotting scatter plot:  Invalid grids\n");
    omprnt(0, "   The two grids have difference scaling\n");
    return;
  }
  omplim(pcm, 0, 4, nullptr, nullptr, nullptr, nullptr);
  omplim(pcm, 1, 4, nullptr, nullptr, nullptr, nullptr);
  float amn, amx, bmn, bmx;
  if (!omgrng(a, &amn, &amx)) {
    omprnt(0, "Cannot draw scatter plot -- 1st field all undefined\n");
    return;
  }
  if (!omgrng(b, &bmn, &bmx)) {
    omprnt(0, "Cannot draw scatter plot -- 2nd field all undefined\n");
    return;
  }
  omsdiv(1, 1);
  if (pcm->parea) {
    pcm->plotxlo = pcm->pareabox[0];
    pcm->plotxhi = pcm->pareabox[1];
    pcm->plotylo = pcm->pareabox[2];
    pcm->plotyhi = pcm->pareabox[3];
  } else {
    pcm->plotxlo = 2.0f;
    pcm->plotxhi = pcm->vpagew - 1.5f;
    pcm->plotylo = 1.0f;
    pcm->plotyhi = pcm->vpageh - 1.0f;
  }
  omfram(pcm);
  gxwide(pcm->cthick);

  float xlo, xhi, xinc, ylo, yhi, yinc;
  scatrange(amn, amx, pcm->vrangeset, pcm->vrange, &xlo, &xhi, &xinc);
  scatrange(bmn, bmx, pcm->vrange2set, pcm->vrange2, &ylo, &yhi, &yinc);
  printf("%g %g %g %g \n", (double)xlo, (double)xhi, (double)ylo, (double)yhi);
  gxrset(3);
  gxscal(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi, xlo, xhi, ylo, yhi);

  int col = pcm->ccolor < 0 ? 1 : pcm->ccolor;
  gxcolr(col);
  gxwide(pcm->cthick);
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  size_t n = (size_t)a->isiz * (size_t)(a->jsiz > 0 ? a->jsiz : 1);
  float msz = 0.5f * pcm->digsize;
  omintpoll poll;
  for (size_t k = 0; k < n && !poll.stop(); k++) {
    float p = a->grid[k], q = b->grid[k];
    if (p == a->undef || q == b->undef) continue;
    float x, y;
    gxconv(p, q, &x, &y, 1);
    gxmark(pcm->cmark, x, y, msz);
  }
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);

  pcm->vrange[0] = xlo;
  pcm->vrange[1] = xhi;
  pcm->vrange[2] = xinc;
  omaxis(1, pcm, 4);
  pcm->vrange[0] = ylo;
  pcm->vrange[1] = yhi;
  pcm->vrange[2] = yinc;
  omaxis(0, pcm, 4);
  pcm->vrange[0] = xlo;
  pcm->vrange[1] = xhi;
  pcm->vrange[2] = xinc;
  if (pcm->vrangeset == 0) pcm->vrangeset = 1;
  pcm->vrange2[0] = ylo;
  pcm->vrange2[1] = yhi;
  pcm->vrange2[2] = yinc;
  if (pcm->vrange2set == 0) pcm->vrange2set = 1;

  gxcolr(col);
  gxstyl(1);
  gxwide(3);
  float x1, y1, x2, y2;
  if (xlo < 0 && 0 < xhi) {
    gxconv(0, ylo, &x1, &y1, 1);
    gxconv(0, yhi, &x2, &y2, 1);
    gxplot(x1, y1, 3);
    gxplot(x2, y2, 2);
  }
  if (ylo < 0 && 0 < yhi) {
    gxconv(xlo, 0, &x1, &y1, 1);
    gxconv(xhi, 0, &x2, &y2, 1);
    gxplot(x1, y1, 3);
    gxplot(x2, y2, 2);
  }
  omstamp(pcm);
  omgsav(3, pcm);
}
