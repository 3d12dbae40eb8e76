// Grid plots without contouring: the values printed in their grid boxes,
// fgrid (boxes of chosen integer values filled in chosen colours) and
// streamlines of two component grids.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/cmnstate.h"
#include "base/intpoll.h"
#include "base/omprnt.h"
#include "data/gridres.h"
#include "expr/omexpr.h"
#include "gx/contour.h"
#include "gx/gx.h"
#include "plot/omplot.h"
#include "plot/plotcntr.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

// Same two varying dimensions and the same world range on both.
bool samegrid(gridres* a, gridres* b) {
  if (a->idim != b->idim || a->jdim != b->jdim) return false;
  if (a->isiz != b->isiz || a->jsiz != b->jsiz) return false;
  if (a->idim >= 0 && omgchk(a, b, a->idim)) return false;
  if (a->jdim >= 0 && omgchk(a, b, a->jdim)) return false;
  return true;
}

gridres* gridof(cmnstate* pcm, int k) {
  if (k >= pcm->rescount || pcm->restype[k] != 1) return nullptr;
  return static_cast<gridres*>(pcm->resptr[k]);
}

void cellline(float x1, float y1, float x2, float y2) {
  float a, b;
  gxconv(x1, y1, &a, &b, 3);
  gxplot(a, b, 3);
  gxconv(x2, y2, &a, &b, 3);
  gxplot(a, b, 2);
}

// The fgrid colour of a value: the colour of the last fgvals entry equal
// to its nearest integer, -1 when none or undefined.
int fgcolour(const cmnstate* pcm, float v, float undef) {
  if (v == undef) return -1;
  double r = std::floor((double)v + 0.5);
  int col = -1;
  for (int k = 0; k < pcm->fgcount && k < 50; k++) {
    if ((double)pcm->fgvals[k] == r) col = pcm->fgcols[k];
  }
  return col;
}

// One filled run of boxes from..to (inclusive) of row j.
void fgrun(std::vector<float>& xy, int from, int to, int j, int colour) {
  xy.clear();
  for (int i = from; i <= to + 1; i++) {
    xy.push_back(i - 0.5f);
    xy.push_back(j + 0.5f);
  }
  for (int i = to + 1; i >= from; i--) {
    xy.push_back(i - 0.5f);
    xy.push_back(j - 0.5f);
  }
  xy.push_back(from - 0.5f);
  xy.push_back(j + 0.5f);
  int n = (int)xy.size() / 2;
  gxcord(xy.data(), n, 3);
  gxcolr(colour);
  gxfill(xy.data(), n);
}

// One pixel of the window and of an image at their default size (800
// pixels along the page's 11 inches).  Values closer together than that
// print on top of each other, and a grid that dense (a million columns)
// would take minutes and gigabytes to draw nothing legible.
const double kPixel = 11.0 / 800.0;

// False (message printed) when the values of an is by js grid would stand
// closer than one per pixel across the plot area.
bool legible(const cmnstate* pcm, int is, int js) {
  double w = (double)pcm->plotxhi - pcm->plotxlo, h = (double)pcm->plotyhi - pcm->plotylo;
  if (std::fabs(w) / is >= kPixel && std::fabs(h) / js >= kPixel) return true;
  omprnt(0, "Error plotting grid values:  Too many values for the plot area\n");
  omprntf(0, "  %i by %i values would stand closer than one per pixel\n", is, js);
  return false;
}

}  // namespace

void omplvl(cmnstate* pcm) {
  gridres* pgr = gridof(pcm, 0);
  if (!pgr) return;
  gridres* mask = nullptr;
  if (pcm->rescount > 1) {
    gridres* m = gridof(pcm, 1);
    if (m && samegrid(pgr, m)) {
      mask = m;
    } else {
      omprnt(0, "Error plotting grid values:  Invalid Mask grid");
      omprnt(0, "   Mask grid ignored -- has different scaling");
    }
  }
  pgr = omorient(pgr, pcm);
  if (!pgr) return;
  if (mask && !(mask = omorient(mask, pcm))) return;
  gxstyl(1);
  gxwide(1);
  oms2d(pcm, pgr, 1);
  omfram(pcm);
  omsdiv(1, 1);
  int vcol = pcm->ccolor < 0 ? 1 : pcm->ccolor;
  gxwide(pcm->cthick);
  gxcolr(vcol);
  gxstyl(1);
  int is = pgr->isiz, js = pgr->jsiz;
  if (!legible(pcm, is, js)) return;
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  omintpoll poll;
  if (pcm->gridln != -1) {
    gxcolr(pcm->gridln >= 0 ? pcm->gridln : vcol);
    for (int j = 1; j <= js && !poll.stop(is); j++)
      for (int i = 1; i <= is; i++) cellline(i + 0.5f, j - 0.5f, i + 0.5f, j + 0.5f);
    for (int j = 1; j <= js && !poll.stop(is); j++)
      for (int i = 1; i <= is; i++) cellline(i - 0.5f, j + 0.5f, i + 0.5f, j + 0.5f);
  }
  int dig = pcm->dignum < 0 ? 0 : (pcm->dignum > 8 ? 8 : pcm->dignum);
  float siz = pcm->digsize;
  char buf[64];
  for (int j = 1; j <= js && !poll.stop(is); j++) {
    for (int i = 1; i <= is; i++) {
      size_t k = (size_t)(j - 1) * is + (i - 1);
      float v = pgr->grid[k];
      if (v == pgr->undef) continue;
      if (mask && mask->grid[k] <= 0) {
        gxwide(1);
        gxcolr(15);
      } else {
        gxwide(pcm->cthick);
        gxcolr(vcol);
      }
      int len = snprintf(buf, sizeof buf, "%.*f", dig, v);
      if (len < 0) continue;
      if (len >= (int)sizeof buf) len = (int)sizeof buf - 1;
      float w = 0, x, y;
      gxchln(buf, len, siz, &w);
      gxconv((float)i, (float)j, &x, &y, 3);
      gxchpl(buf, len, x - w / 2, y - siz / 2, siz, siz, 0);
    }
  }
  omepil(pcm, pgr->idim, pgr->jdim, 4);
}

void omfgrd(cmnstate* pcm) {
  gridres* pgr = gridof(pcm, 0);
  if (!pgr) return;
  pgr = omorient(pgr, pcm);
  if (!pgr) return;
  oms2d(pcm, pgr, 0);
  omsdiv(1, 1);
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  std::vector<float> xy;
  int is = pgr->isiz, js = pgr->jsiz;
  try {
    xy.reserve(4 * (size_t)is + 8);
  } catch (const std::bad_alloc&) {
    omprnt(0, "Memory allocation error in FGRID\n");
    return;
  }
  omintpoll poll;
  for (int j = 1; j <= js && !poll.stop(is); j++) {
    const float* row = pgr->grid + (size_t)(j - 1) * is;
    int start = 1, col = -1;
    for (int i = 1; i <= is; i++) {
      int c = fgcolour(pcm, row[i - 1], pgr->undef);
      if (c == col) continue;
      if (col >= 0) fgrun(xy, start, i - 1, j, col);
      start = i;
      col = c;
    }
    if (col >= 0) fgrun(xy, start, is, j, col);
  }
  if (pgr->idim == 0 && pgr->jdim == 1) omwmap(pcm, 0);
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
  gxcolr(pcm->annotcolor);
  gxwide(omthin(pcm->annotthick, 3));
  omstamp(pcm);
  omaxpl(pcm, pgr->idim, pgr->jdim);
  omfram(pcm);
  omgsav(5, pcm);
}

void omstrm(cmnstate* pcm) {
  if (pcm->rescount < 2) {
    omprnt(0, "Error plotting streamlines:  Only one grid provided\n");
    return;
  }
  gridres* u = gridof(pcm, 0);
  gridres* v = gridof(pcm, 1);
  if (!u || !v || !samegrid(u, v)) {
    omprnt(0, "Error plotting streamlines:  Invalid grids\n");
    omprnt(0, "   Vector component grids have difference scaling\n");
    return;
  }
  gridres* c = nullptr;
  if (pcm->rescount > 2) {
    gridres* g = gridof(pcm, 2);
    if (g && samegrid(u, g)) {
      c = g;
    } else {
      omprnt(0, "Error plotting streamlines:  Invalid color grid");
      omprnt(0, "   Color grid ignored -- has different scaling");
    }
  }
  if (!(u = omorient(u, pcm)) || !(v = omorient(v, pcm))) return;
  if (c && !(c = omorient(c, pcm))) return;
  gxstyl(1);
  gxwide(1);
  oms2d(pcm, u, 1);
  omfram(pcm);
  omsdiv(1, 1);
  if (c) {
    ommnmx(c);
    if (c->rmin == c->undef) {
      omprnt(0, "Connot color vectors -- Color grid all undefined\n");
      c = nullptr;
    } else {
      omselc(pcm, c->rmin, c->rmax);
    }
  }
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxstyl(pcm->cstyle == -9 ? 1 : pcm->cstyle);
  gxwide(pcm->cthick);
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  gxstrm(u->grid, v->grid, c ? c->grid : nullptr, u->isiz, u->jsiz, u->undef, v->undef,
         c ? c->undef : 0.0f, c ? 1 : 0, pcm->shadelevs, pcm->shadecols, pcm->shadecount,
         pcm->strmden);
  omepil(pcm, u->idim, u->jdim, 9);
}
