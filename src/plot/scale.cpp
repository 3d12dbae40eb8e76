// Scaling of plot results onto the page and the map set-up.
#include <cmath>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "data/axisconv.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "gx/gx.h"
#include "gx/mapproj.h"
#include "plot/dataout.h"
#include "plot/omplot.h"
#include "plot/plotint.h"

namespace {

omaxisfn iconv = nullptr, jconv = nullptr;
float* ivars = nullptr;
float* jvars = nullptr;
float ioffset = 0, joffset = 0;
float idiv = 1, jdiv = 1;
mapproj mpj;

// The arrays of the last-plot record: x g->w, y g->w, x w->g, y w->g.
std::vector<float> limcopy[4];

// The floats of a conversion array: a level list carries its count first,
// a time axis is eight floats, the rest run to the end mark.
std::vector<float> convcopy(const float* v, int dim, omaxisfn fn) {
  std::vector<float> out;
  if (!v) return out;
  size_t n;
  if (dim == 3) {
    n = TAXIS_FLOATS;
  } else if (fn == gr2lev || fn == lev2gr) {
    double c = v[0];
    n = (c >= 0 && c < 1e7) ? (size_t)c + 2 : 1;
  } else {
    n = 0;
    while (n < 64 && v[n] != AXEND) n++;
    n++;
  }
  out.assign(v, v + n);
  return out;
}

// A level range for log scaling: true and the logs when both ends are
// positive, else the two warnings.
bool logrange(float* lo, float* hi) {
  if (*lo > 0 && *hi > 0) {
    *lo = std::log(*lo);
    *hi = std::log(*hi);
    return true;
  }
  omprnt(1, "Cannot use log scaling when coordinates <= 0\n");
  omprnt(1, "Linear scaling used\n");
  return false;
}

void defarea(const cmnstate* pcm, float* a, float x1, float x2, float y1, float y2) {
  if (pcm->parea) {
    for (int i = 0; i < 4; i++) a[i] = pcm->pareabox[i];
  } else {
    a[0] = x1;
    a[1] = x2;
    a[2] = y1;
    a[3] = y2;
  }
}

void setarea(cmnstate* pcm, const float* a) {
  pcm->plotxlo = a[0];
  pcm->plotxhi = a[1];
  pcm->plotylo = a[2];
  pcm->plotyhi = a[3];
}

}  // namespace

mapproj* ommpj() { return &mpj; }

void omsdiv(float i, float j) {
  idiv = i;
  jdiv = j;
}

void omconv(float i, float j, float* x, float* y) {
  double ii = (i - 1.0) / idiv + 1.0 + ioffset;
  double jj = (j - 1.0) / jdiv + 1.0 + joffset;
  *x = (float)(iconv ? iconv(ivars, ii) : ii);
  *y = (float)(jconv ? jconv(jvars, jj) : jj);
}

void omlnx(float x, float y, float* ox, float* oy) {
  *ox = std::log(x);
  *oy = y;
}
void omlny(float x, float y, float* ox, float* oy) {
  *ox = x;
  *oy = std::log(y);
}
void omalnx(float x, float y, float* ox, float* oy) {
  *ox = std::exp(x);
  *oy = y;
}
void omalny(float x, float y, float* ox, float* oy) {
  *ox = x;
  *oy = std::exp(y);
}

void omplim(cmnstate* pcm, int axis, int dim, omaxisfn g2w, omaxisfn w2g, const float* g2wv,
            const float* w2gv) {
  pcm->axisdims[axis] = dim;
  limcopy[axis] = convcopy(g2wv, dim, g2w);
  limcopy[axis + 2] = convcopy(w2gv, dim, w2g);
  pcm->plotlims.conv[axis] = g2w;
  pcm->plotlims.conv[axis + 2] = w2g;
  pcm->plotlims.vals[axis] = limcopy[axis].empty() ? nullptr : limcopy[axis].data();
  pcm->plotlims.vals[axis + 2] = limcopy[axis + 2].empty() ? nullptr : limcopy[axis + 2].data();
}

void oms1d(cmnstate* pcm, float vmin, float vmax, int dim, int orient, const gridres* pgr,
           const stnlist* stn) {
  idiv = jdiv = 1;
  gxrset(3);
  float a[4];
  if (orient == 1) {
    float x1 = pcm->vpagew / 2 - pcm->vpageh / 3, x2 = pcm->vpagew / 2 + pcm->vpageh / 3;
    if (x1 < 1.0f) x1 = 1.0f;
    if (x2 > pcm->vpagew - 0.5f) x2 = pcm->vpagew - 0.5f;
    defarea(pcm, a, x1, x2, 0.75f, pcm->vpageh - 0.75f);
  } else {
    defarea(pcm, a, 2.0f, pcm->vpagew - 0.5f, 0.75f, pcm->vpageh - 0.75f);
  }
  setarea(pcm, a);

  float c = 0, lo, hi;
  omcsel(vmin, vmax, &c, &lo, &hi);
  if (c == 0) {
    lo = vmin - 5;
    hi = vmin + 5;
    c = 2;
  } else {
    lo -= 2 * c;
    hi += 2 * c;
  }
  int autof = 1;
  if (pcm->vrangeset == -1 || (orient == 1 && pcm->plotpass != 0)) {
    if (!(pcm->vrange[0] == 0 && pcm->vrange[1] == 0)) {
      lo = pcm->vrange[0];
      hi = pcm->vrange[1];
      c = pcm->vrange[2];
    }
    autof = 0;
  } else if (pcm->vrangeset == 1 && vmin > pcm->vrange[0] - 2 * pcm->vrange[2] &&
             vmax < pcm->vrange[1] + 2 * pcm->vrange[2]) {
    lo = pcm->vrange[0];
    hi = pcm->vrange[1];
    c = pcm->vrange[2];
    autof = 0;
  }
  if (!pcm->ylposset && autof && pcm->ylabshift > 0) pcm->ylpos -= pcm->ylabshift + 0.1f;
  pcm->ylabshift = 0;

  const float* tvals = pgr ? pgr->ivals : (stn ? stn->tvals : nullptr);
  float d1, d2;
  bool logged = false;
  if (dim == 3) {
    d1 = tvals ? (float)t2gr(tvals, &pcm->tbeg) : 1;
    d2 = tvals ? (float)t2gr(tvals, &pcm->tend) : 1;
  } else {
    d1 = pcm->wlo[dim];
    d2 = pcm->whi[dim];
    if (dim == 2 && pcm->zlog) logged = logrange(&d1, &d2);
  }
  if (logged) {
    gxproj(orient == 0 ? omlnx : omlny);
    gxback(orient == 0 ? omalnx : omalny);
  }

  int daxis = orient == 0 ? 0 : 1;
  int vaxis = 1 - daxis;
  omplim(pcm, vaxis, 4, nullptr, nullptr, nullptr, nullptr);
  if (pgr) omplim(pcm, daxis, dim, pgr->igrab, pgr->iabgr, pgr->ivals, pgr->iavals);
  else omplim(pcm, daxis, dim, nullptr, nullptr, dim == 3 && stn ? stn->tvals : nullptr, nullptr);

  float wx1, wx2, wy1, wy2;
  if (orient == 0) {
    wx1 = d1; wx2 = d2; wy1 = lo; wy2 = hi;
  } else {
    wx1 = lo; wx2 = hi; wy1 = d1; wy2 = d2;
  }
  if (pcm->xflip) std::swap(wx1, wx2);
  if (pcm->yflip) std::swap(wy1, wy2);
  gxscal(a[0], a[1], a[2], a[3], wx1, wx2, wy1, wy2);

  if (pgr) {
    omaxisfn fn = dim == 3 ? nullptr : pgr->igrab;
    float off = (float)(pgr->dimmin[dim] - 1);
    if (orient == 0) {
      iconv = fn; ivars = pgr->ivals; ioffset = off;
      jconv = nullptr; jvars = nullptr; joffset = 0;
    } else {
      jconv = fn; jvars = pgr->ivals; joffset = off;
      iconv = nullptr; ivars = nullptr; ioffset = 0;
    }
    gxgrid(omconv);
  }
  pcm->vrange[0] = lo;
  pcm->vrange[1] = hi;
  pcm->vrange[2] = c;
  if (pcm->vrangeset == 0) pcm->vrangeset = 1;
  omfram(pcm);
}

void oms2d(cmnstate* pcm, const gridres* pgr, int drawmap) {
  gxrset(3);
  omplim(pcm, 0, pgr->idim, pgr->igrab, pgr->iabgr, pgr->ivals, pgr->iavals);
  omplim(pcm, 1, pgr->jdim, pgr->jgrab, pgr->jabgr, pgr->jvals, pgr->javals);
  if (pgr->idim == 0 && pgr->jdim == 1) {
    ommscl(pcm);
    if (drawmap) omwmap(pcm, 1);
  } else {
    float a[4];
    defarea(pcm, a, 1.5f, pcm->vpagew - 0.5f, 1.0f, pcm->vpageh - 0.5f);
    setarea(pcm, a);
    float x1, x2, y1, y2;
    bool xlog = false, ylog = false;
    if (pgr->idim == 3) {
      x1 = (float)t2gr(pgr->ivals, &pcm->tbeg);
      x2 = (float)t2gr(pgr->ivals, &pcm->tend);
    } else if (pgr->idim == 4) {
      x1 = 1;
      x2 = (float)pgr->isiz;
    } else {
      x1 = pcm->wlo[pgr->idim];
      x2 = pcm->whi[pgr->idim];
      if (pgr->idim == 2 && pcm->zlog) xlog = logrange(&x1, &x2);
    }
    if (pgr->jdim == 3) {
      y1 = (float)t2gr(pgr->jvals, &pcm->tbeg);
      y2 = (float)t2gr(pgr->jvals, &pcm->tend);
    } else {
      y1 = pcm->wlo[pgr->jdim];
      y2 = pcm->whi[pgr->jdim];
      if (pgr->jdim == 2 && pcm->zlog) ylog = logrange(&y1, &y2);
    }
    if (xlog) {
      gxproj(omlnx);
      gxback(omalnx);
    } else if (ylog) {
      gxproj(omlny);
      gxback(omalny);
    }
    if (pcm->xflip) std::swap(x1, x2);
    if (pcm->yflip) std::swap(y1, y2);
    gxscal(a[0], a[1], a[2], a[3], x1, x2, y1, y2);
  }
  ioffset = pgr->idim == 4 ? 0.0f : (float)(pgr->dimmin[pgr->idim] - 1);
  iconv = pgr->idim == 3 ? nullptr : pgr->igrab;
  ivars = pgr->ivals;
  joffset = pgr->jdim >= 0 && pgr->jdim < 4 ? (float)(pgr->dimmin[pgr->jdim] - 1) : 0.0f;
  jconv = pgr->jdim == 3 ? nullptr : pgr->jgrab;
  jvars = pgr->jvals;
  gxgrid(omconv);
  if (pgr->idim == 4) {
    pcm->vrange[0] = 1;
    pcm->vrange[1] = (float)pgr->isiz;
    pcm->xaxis[0] = 1;
    pcm->xaxis[1] = (float)pgr->isiz;
    pcm->xaxisinc = 1;
    pcm->xaxisset = 1;
  }
}

int ommscl(cmnstate* pcm) {
  float a[4];
  defarea(pcm, a, 0.5f, pcm->vpagew - 0.5f, 0.75f, pcm->vpageh - 0.75f);
  mpj.xmn = a[0];
  mpj.xmx = a[1];
  mpj.ymn = a[2];
  mpj.ymx = a[3];
  if (pcm->mpvalsset >= 4 && pcm->mproj > 2) {
    mpj.lnmn = pcm->mpvals[0];
    mpj.lnmx = pcm->mpvals[1];
    mpj.ltmn = pcm->mpvals[2];
    mpj.ltmx = pcm->mpvals[3];
  } else {
    mpj.lnmn = pcm->wlo[0];
    mpj.lnmx = pcm->whi[0];
    mpj.ltmn = pcm->wlo[1];
    mpj.ltmx = pcm->whi[1];
  }
  int rc;
  const char* msg = nullptr;
  switch (pcm->mproj) {
    case 3: rc = gxnste(&mpj); msg = "Map Projection Error:  Invalid coords for NPS\n"; break;
    case 4: rc = gxsste(&mpj); msg = "Map Projection Error:  Invalid coords for SPS\n"; break;
    case 5: rc = gxrobi(&mpj); msg = "Map Projection Error:  Invalid coords for Robinson\n"; break;
    case 6: rc = gxmoll(&mpj); msg = "Map Projection Error:  Invalid coords for Mollweide\n"; break;
    case 7:
      rc = gxortg(&mpj);
      msg = "Map Projection Error:  Invalid coords for Orthographic Projection\n";
      break;
    case 13:
      rc = gxlamc(&mpj);
      msg = "Map Projection Error:  Invalid coords for Lambert conformal Projection\n";
      break;
    case 0:
    case 1: rc = gxscld(&mpj, pcm->xflip, pcm->yflip); break;
    default: rc = gxltln(&mpj); break;
  }
  if (rc && msg) {
    omprnt(0, msg);
    omprnt(0, "  Will use linear lat-lon projection\n");
    mpj.lnmn = pcm->wlo[0];
    mpj.lnmx = pcm->whi[0];
    mpj.ltmn = pcm->wlo[1];
    mpj.ltmx = pcm->whi[1];
    rc = gxltln(&mpj);
  }
  if (rc) {
    omprnt(0, "Map Projection Error:  Internal Logic check\n");
    return 1;
  }
  pcm->plotxlo = mpj.axmn;
  pcm->plotxhi = mpj.axmx;
  pcm->plotylo = mpj.aymn;
  pcm->plotyhi = mpj.aymx;
  return 0;
}

void omwmap(cmnstate* pcm, int flag) {
  if (pcm->mproj == 0 || (flag && pcm->plotpass != 0) || !pcm->mpdraw) return;
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  mapopts o;
  if (pcm->mapcolor >= 0) {
    o.dcol = pcm->mapcolor;
    o.dstl = pcm->mapstyle;
    o.dthk = pcm->mapthick;
  } else if (flag) {
    o.dcol = pcm->mapautocol;
    o.dstl = 1;
    o.dthk = 1;
  } else {
    o.dcol = 1;
    o.dstl = 1;
    o.dthk = 4;
  }
  o.mcol = pcm->mptcolor;
  o.mstl = pcm->mptstyle;
  o.mthk = pcm->mptthick;
  o.lnmn = pcm->wlo[0];
  o.lnmx = pcm->whi[0];
  o.ltmn = pcm->wlo[1];
  o.ltmx = pcm->whi[1];
  for (int i = 0; i < 8 && !pcm->mpdset[i].empty(); i++) {
    o.mpfile = pcm->mpdset[i].c_str();
    if (gxdmap(&o)) break;  // the view is refused alike for every file
  }
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
}
