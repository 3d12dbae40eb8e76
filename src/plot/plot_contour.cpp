// Contour, shaded-contour and grid-box fill plots of one 2-D grid, with the
// all-undefined and constant-field cases, the transpose of swapped axes and
// the optional interpolation of small grids onto a finer mesh.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/intpoll.h"
#include "base/omprnt.h"
#include "data/gridres.h"
#include "gx/contour.h"
#include "gx/gx.h"
#include "plot/dataout.h"
#include "plot/omplot.h"
#include "plot/plotcntr.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

const int kMaxResults = 16;

void undefwarn(cmnstate* pcm) {
  omprnt(1, "Cannot contour grid - all undefined values \n");
  if (pcm->datawarn) {
    gxcolr(1);
    gxchpl("Entire Grid Undefined", 21, 3.0f, 4.5f, 0.3f, 0.25f, 0.0f);
  }
}

// The nearest integer of a value, kept inside the int range.
int nearestint(float v) {
  double r = std::floor((double)v + 0.5);
  if (r > 2147483647.0) return 2147483647;
  if (r < -2147483647.0) return -2147483647;
  return (int)r;
}

// A constant field: drawn as fgrid of its one value, with the warning text.
void constfield(cmnstate* pcm, float value) {
  char pout[64];
  snprintf(pout, sizeof pout, "Constant field.  Value = %g\n", value);
  if (pcm->datawarn) {
    // The fgrid drawing is called directly rather than through the
    // display dispatcher: a nested dispatch would count the results again
    // (losing the transposed copies registered so far) and print the
    // statistics of the display a second time.
    int count = pcm->fgcount, val0 = pcm->fgvals[0], col0 = pcm->fgcols[0];
    pcm->fgcount = 1;
    pcm->fgvals[0] = nearestint(value);
    pcm->fgcols[0] = 2;
    omfgrd(pcm);
    pcm->fgcount = count;
    pcm->fgvals[0] = val0;
    pcm->fgcols[0] = col0;
    gxchpl(pout, (int)strlen(pout) - 1, 2.0f, 4.5f, 0.27f, 0.23f, 0.0f);
  }
  omprnt(1, pout);
}

// Line colour of explicit level j of n for a rainbow ccolor.
int clevcolour(const cmnstate* pcm, int j, int n) {
  if (pcm->ccolcount > 0) return j < pcm->ccolcount ? pcm->ccols[j] : pcm->ccols[pcm->ccolcount - 1];
  const int* table = pcm->rbcolcount > 0 ? pcm->rbcols : rcols;
  int nmax = (pcm->rbcolcount > 0 ? pcm->rbcolcount : 13) - 1;
  int idx = n <= 1 ? nmax / 2 : (int)((float)j * nmax / (float)(n - 1));
  if (idx < 0) idx = 0;
  if (idx > nmax) idx = nmax;
  return pcm->ccolor == -1 ? table[idx] : table[nmax - idx];
}

// Line colour of an automatic level for a rainbow ccolor.  An empty
// rainbow range (a field whose levels all coincide) takes the middle.
int autocolour(const cmnstate* pcm, float lev) {
  const int* table = pcm->rbcolcount > 0 ? pcm->rbcols : rcols;
  int ncol = pcm->rbcolcount > 0 ? pcm->rbcolcount : 13;
  int nmax = ncol - 1;
  float span = pcm->rbrange[1] - pcm->rbrange[0];
  int idx;
  if (span == 0 || !std::isfinite(span)) {
    idx = nmax / 2;
  } else {
    float f = (lev - pcm->rbrange[0]) * ncol / span;
    idx = f < 0 ? 0 : (f > nmax ? nmax : (int)f);
  }
  return pcm->ccolor == -1 ? table[idx] : table[nmax - idx];
}

// The label text of a level: the clab format when one is set, else %g.
std::string labeltext(const cmnstate* pcm, float lev) {
  char buf[64];
  if (pcm->clabfmt.empty() || !omlfmt(pcm->clabfmt.c_str(), lev, buf, sizeof buf)) {
    snprintf(buf, sizeof buf, "%g", lev);
  }
  buf[15] = 0;
  return buf;
}

void drawlevel(cmnstate* pcm, const float* vals, int is, int js, float undef, float lev,
               const std::string& lab) {
  if (lev < 0 && pcm->cstyle == -9) gxstyl(3);
  else gxstyl(pcm->cstyle == -9 ? 1 : pcm->cstyle);
  gxclev(vals, is, js, 1, is, 1, js, lev, undef, lab.c_str(), pcm->cterp, pcm->clab);
}

// Minimum and maximum of the defined values; false when none is defined.
bool rangeof(const float* v, size_t n, float undef, float* mn, float* mx) {
  float lo = 9.99e35f, hi = -9.99e35f;
  bool any = false;
  for (size_t k = 0; k < n; k++) {
    if (v[k] == undef) continue;
    any = true;
    if (v[k] < lo) lo = v[k];
    if (v[k] > hi) hi = v[k];
  }
  *mn = lo;
  *mx = hi;
  return any;
}

int expfactor(int size) {
  int f = 100 / (size > 0 ? size : 1);
  if (f > 5) f = 4;
  if (f < 1) f = 1;
  return f;
}

}  // namespace

gridres* omflip(gridres* pgr, cmnstate* pcm) {
  if (pcm->relcount >= kMaxResults) {
    omprnt(0, "Memory Allocation Error:  omflip \n");
    return nullptr;
  }
  gridres* n = omgnew();
  if (!n) {
    omprnt(0, "Memory Allocation Error:  omflip \n");
    return nullptr;
  }
  gridres keep = *n;
  *n = *pgr;
  n->alocf = 0;  // the conversion arrays stay the source grid's
  size_t is = pgr->isiz, js = pgr->jsiz;
  float* nv = (float*)malloc(is * js * sizeof(float));
  if (!nv) {
    *n = keep;
    omgfre(n);
    omprnt(0, "Memory Allocation Error:  omflip \n");
    return nullptr;
  }
  for (size_t j = 0; j < js; j++) {
    for (size_t i = 0; i < is; i++) nv[j + i * js] = pgr->grid[i + j * is];
  }
  n->grid = nv;
  std::swap(n->isiz, n->jsiz);
  std::swap(n->idim, n->jdim);
  std::swap(n->iwrld, n->jwrld);
  std::swap(n->igrab, n->jgrab);
  std::swap(n->iabgr, n->jabgr);
  std::swap(n->ivals, n->jvals);
  std::swap(n->iavals, n->javals);
  std::swap(n->ilinr, n->jlinr);
  pcm->restype[pcm->relcount] = 1;
  pcm->resptr[pcm->relcount] = n;
  pcm->relcount++;
  return n;
}

gridres* omorient(gridres* pgr, cmnstate* pcm) {
  bool levtime = pgr->idim == 2 && pgr->jdim == 3;
  if ((pcm->xyrev && !levtime) || (!pcm->xyrev && levtime)) return omflip(pgr, pcm);
  return pgr;
}

void omglin(const float* in, int isize, int jsize, float* out, int fi, int fj, float undef) {
  int ni = (isize - 1) * fi + 1, nj = (jsize - 1) * fj + 1;
  printf("isiz, jsiz = %i %i \n", ni, nj);
  float ri = ni > 1 ? (float)(isize - 1) / (ni - 1) : 0;
  float rj = nj > 1 ? (float)(jsize - 1) / (nj - 1) : 0;
  float xmax = isize > 1 ? isize - 1.001f : 0, ymax = jsize > 1 ? jsize - 1.001f : 0;
  for (int j = 0; j < nj; j++) {
    float y = j * rj;
    if (y > ymax) y = ymax;
    if (y < 0) y = 0;
    int iy = (int)y;
    float fy = y - iy;
    int iy1 = jsize > 1 ? iy + 1 : iy;
    for (int i = 0; i < ni; i++) {
      float x = i * ri;
      if (x > xmax) x = xmax;
      if (x < 0) x = 0;
      int ix = (int)x;
      float fx = x - ix;
      int ix1 = isize > 1 ? ix + 1 : ix;
      float v00 = in[(size_t)iy * isize + ix], v10 = in[(size_t)iy * isize + ix1];
      float v01 = in[(size_t)iy1 * isize + ix], v11 = in[(size_t)iy1 * isize + ix1];
      float& o = out[(size_t)j * ni + i];
      if (v00 == undef || v10 == undef || v01 == undef || v11 == undef) {
        o = undef;
        continue;
      }
      float a = v00 + (v10 - v00) * fx, b = v01 + (v11 - v01) * fx;
      o = a + (b - a) * fy;
    }
  }
}

namespace {

// Cubic (Hermite, central-difference slopes) interpolation of n values at
// stride st of src into f-fold finer values at stride dst of out.
void cubicline(const float* src, int n, size_t st, float* out, size_t dst, int f, float undef) {
  for (int i = 0; i + 1 < n; i++) {
    float a = src[i * st], b = src[(i + 1) * st];
    float* o = out + (size_t)i * f * dst;
    o[0] = a;
    if (a == undef || b == undef) {
      for (int k = 1; k < f; k++) o[k * dst] = undef;
      continue;
    }
    float m0 = (i > 0 && src[(i - 1) * st] != undef) ? (b - src[(i - 1) * st]) / 2 : b - a;
    float m1 = (i != n - 2 && src[(i + 2) * st] != undef) ? (src[(i + 2) * st] - a) / 2 : b - a;
    float c3 = m0 + 2 * a - 2 * b + m1, c2 = 3 * b - m1 - 2 * m0 - 3 * a;
    for (int k = 1; k < f; k++) {
      float t = (float)k / f;
      o[k * dst] = c3 * t * t * t + c2 * t * t + m0 * t + a;
    }
  }
  out[(size_t)(n - 1) * f * dst] = src[(n - 1) * st];
}

}  // namespace

void omgexp(const float* in, int isize, int jsize, float* out, int fi, int fj, float undef) {
  int ni = (isize - 1) * fi + 1;
  for (int j = 0; j < jsize; j++) {
    cubicline(in + (size_t)j * isize, isize, 1, out + (size_t)j * fj * ni, 1, fi, undef);
  }
  if (fj == 1) return;
  for (int i = 0; i < ni; i++) {
    cubicline(out + i, jsize, (size_t)fj * ni, out + i, ni, fj, undef);
  }
}

void omgfil(const float* grid, int isize, int jsize, const float* levels, const int* colours,
            int count, float undef) {
  if (count < 1) return;
  float xy[10];
  omintpoll poll;
  for (int j = 1; j <= jsize && !poll.stop(isize); j++) {
    for (int i = 1; i <= isize; i++) {
      float v = grid[(size_t)(j - 1) * isize + (i - 1)];
      if (v == undef) continue;
      int k = count - 1;
      for (int b = 0; b <= count - 2; b++) {
        if (levels[b] < v && v <= levels[b + 1]) {
          k = b;
          break;
        }
      }
      // An uncoloured band is left empty.
      if (colours[k] < 0) continue;
      gxcolr(colours[k]);
      float pts[10] = {i - 0.5f, j - 0.5f, i + 0.5f, j - 0.5f, i + 0.5f,
                       j + 0.5f, i - 0.5f, j + 0.5f, i - 0.5f, j - 0.5f};
      for (int p = 0; p < 5; p++) gxconv(pts[2 * p], pts[2 * p + 1], &xy[2 * p], &xy[2 * p + 1], 3);
      gxfill(xy, 5);
    }
  }
}

void omcntr(cmnstate* pcm, int kind) {
  omsdiv(1, 1);
  if (pcm->rescount < 1 || pcm->restype[0] != 1 || !pcm->resptr[0]) return;
  gridres* pgr = omorient(static_cast<gridres*>(pcm->resptr[0]), pcm);
  if (!pgr) return;
  gxstyl(1);
  gxwide(1);
  oms2d(pcm, pgr, kind == 0 ? 1 : 0);
  omfram(pcm);
  ommnmx(pgr);
  if (pgr->rmin == pgr->undef) {
    undefwarn(pcm);
    return;
  }
  float c = pcm->cint, lo = 0, hi = 0;
  bool clevs = pcm->clevcount > 0;
  if (!clevs) {
    float asked = pcm->cint;
    omcsel(pgr->rmin, pgr->rmax, &c, &lo, &hi);
    if (c == 0 && asked != 0 && pgr->rmax > pgr->rmin) {
      // The user's interval is too fine to step through this field at all
      // in single precision: that is too many levels, not a constant field.
      omprnt(0, "Too many contour levels -- adjusting cint\n");
      double cd = std::fabs((double)asked), range = (double)pgr->rmax - pgr->rmin;
      // Grow by tens until at most about a hundred levels remain; a fixed
      // count of steps could stop short on fields of huge values and leave
      // an interval too fine to step, which would then pass for constant.
      while (range / cd > 100 && std::isfinite(cd)) cd *= 10;
      c = (float)cd;
      omcsel(pgr->rmin, pgr->rmax, &c, &lo, &hi);
    }
    pcm->cint = c;
    if (c == 0) {
      constfield(pcm, pgr->rmin);
      return;
    }
    float lo2 = lo > pcm->cmin ? lo : pcm->cmin, hi2 = hi < pcm->cmax ? hi : pcm->cmax;
    if ((hi2 - lo2) / c > 100) {
      omprnt(0, "Too many contour levels -- adjusting cint\n");
      for (int n = 0; n < 60 && (hi2 - lo2) / c > 100; n++) c *= 10;
      pcm->cint = c;
      omcsel(pgr->rmin, pgr->rmax, &c, &lo, &hi);
      if (c == 0) {
        constfield(pcm, pgr->rmin);
        return;
      }
    }
  }
  if (pcm->ccolor >= 0) gxcolr(pcm->ccolor);
  else if (!clevs && pcm->rbrange[0] == 0 && pcm->rbrange[1] == 0) {
    pcm->rbrange[0] = lo;
    pcm->rbrange[1] = hi;
  }
  omsdiv(1, 1);
  const float* vals = pgr->grid;
  int is = pgr->isiz, js = pgr->jsiz;
  std::vector<float> fine;
  if ((pcm->csmooth == 1 || pcm->csmooth == 2) && (is <= 50 || js <= 50)) {
    int fi = expfactor(is), fj = expfactor(js);
    int ni = (is - 1) * fi + 1, nj = (js - 1) * fj + 1;
    try {
      fine.resize((size_t)ni * nj);
    } catch (const std::bad_alloc&) {
      omprnt(0, "Memory Allocation Error:  CSMOOTH operation\n");
      return;
    }
    omsdiv((float)fi, (float)fj);
    if (pcm->csmooth == 1) omgexp(vals, is, js, fine.data(), fi, fj, pgr->undef);
    else omglin(vals, is, js, fine.data(), fi, fj, pgr->undef);
    vals = fine.data();
    is = ni;
    js = nj;
    if (!clevs) {
      float mn, mx;
      if (!rangeof(vals, fine.size(), pgr->undef, &mn, &mx)) {
        undefwarn(pcm);
        return;
      }
      for (int n = 0; n < 1000 && mn < lo; n++) lo -= c;
      for (int n = 0; n < 1000 && mx > hi; n++) hi += c;
    }
  }
  if (clevs) {
    std::string m = "Contouring at clevs = ";
    char b[32];
    for (int k = 0; k < pcm->clevcount; k++) {
      snprintf(b, sizeof b, " %g", pcm->clevs[k]);
      m += b;
    }
    omprnt(2, m + "\n");
  } else {
    omprntf(2, "Contouring: %g to %g interval %g \n", lo, hi, c);
  }
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  if (kind != 0) {
    omselc(pcm, pgr->rmin, pgr->rmax);
    if (kind == 1) {
      gxshad(vals, is, js, pcm->shadelevs, pcm->shadecols, pcm->shadecount, pgr->undef);
    } else {
      omgfil(vals, is, js, pcm->shadelevs, pcm->shadecols, pcm->shadecount, pgr->undef);
    }
    if (pgr->idim == 0 && pgr->jdim == 1) omwmap(pcm, 0);
  } else {
    gxwide(pcm->cthick);
    omintpoll poll;
    if (clevs) {
      int n = pcm->clevcount;
      for (int k = 0; k < n && !poll.stop((long)is * js); k++) {
        if (pcm->ccolor < 0 || pcm->ccolcount > 0) gxcolr(clevcolour(pcm, k, n));
        drawlevel(pcm, vals, is, js, pgr->undef, pcm->clevs[k], labeltext(pcm, pcm->clevs[k]));
      }
    } else {
      int skip = pcm->clskip > 0 ? pcm->clskip : 1;
      // The level count is bounded above (at most about 100 intervals),
      // the step count guards against an interval lost in the precision.
      float v = lo;
      for (int n = 0; v <= hi + c / 2 && n < 1000 && !poll.stop((long)is * js); n++, v += c) {
        if (v < pcm->cmin || v > pcm->cmax) continue;
        if (pcm->black && v >= pcm->blackrange[0] && v <= pcm->blackrange[1]) continue;
        int k = v < 0 ? (int)(v / c - 0.1f) : (int)(v / c + 0.1f);
        float lev = k * c;
        if (pcm->ccolor < 0) gxcolr(autocolour(pcm, lev));
        float t = v / (skip * c);
        bool labelled = std::fabs(t - (float)(int)(t + 0.009f)) < 0.01f ||
                        std::fabs(t - (float)(int)(t - 0.009f)) < 0.01f;
        drawlevel(pcm, vals, is, js, pgr->undef, lev, labelled ? labeltext(pcm, lev) : "");
      }
    }
    if (pcm->clcolor > -1) gxcolr(pcm->clcolor);
    if (pcm->clthick > -1) gxwide(pcm->clthick);
    gxclab(pcm->clsize, pcm->clab, pcm->clcolor);
    gxcrel();
  }
  fine.clear();
  omepil(pcm, pgr->idim, pgr->jdim, kind == 0 ? 1 : (kind == 1 ? 2 : 16));
}
