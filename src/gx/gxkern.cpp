// The graphics kernel: start and end, frames, page transforms, clipping.
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "base/cmnstate.h"
#include "base/ending.h"
#include "base/inputwait.h"
#include "base/outflush.h"
#include "base/stdinheld.h"
#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxint.h"

static plotxform pxf;

// The animation's pause for Return ends early when the user interrupts:
// true when there is input to read, false after an interrupt.  It waits as
// the prompt does, so the window is redrawn and its close honoured meanwhile.
static bool pausewait() {
  if (stdinheld()) return true;
  // Only the user's interrupt ends the pause; another signal waits on.
  auto interrupted = [] { return omqsig() != 0; };
  while (omwaitinput(0, interrupted) == inputwake::signal) {
    if (interrupted()) return false;
  }
  return true;
}

plotxform& gxstate() { return pxf; }

bool gxinclip(float x, float y) {
  // Written so that NaN compares as outside.
  return x >= pxf.clminx && x <= pxf.clmaxx && y >= pxf.clminy && y <= pxf.clmaxy;
}

void gxstrt(float xsize, float ysize, int batch) {
  gxendreg();
  printf("GX Package Initialization: Size = %g %g \n", xsize, ysize);
  if (batch) printf("Running in Batch mode\n");
  if (!batch && !gxdcur().interactive()) {
    // Without a window driver the package can still draw into the display
    // list, the metafile and images.
    printf("No display window driver is built in: running in batch mode\n");
    batch = 1;
  }
  omoutflush();
  pxf.intflg = (batch == 0);
  if (pxf.intflg) {
    gxdrv().begin(xsize, ysize);
    gxdrv().colour(1);
    gxdrv().width(1);
  }
  pxf.rxsize = xsize;
  pxf.rysize = ysize;
  pxf.clminx = 0;
  pxf.clmaxx = xsize;
  pxf.clminy = 0;
  pxf.clmaxy = ysize;
  pxf.cflag = 0;
  pxf.xsave = pxf.ysave = 0;
  pxf.lstyle = 0;
  pxf.lwide = 1;
  pxf.oldx = pxf.oldy = 0;
  pxf.gconv = pxf.fconv = pxf.bconv = nullptr;
  gxscal(0, xsize, 0, ysize, 0, xsize, 0, ysize);
  gxvpag(xsize, ysize, 0, xsize, 0, ysize);
  gxchii();
  pxf.bufmod = 0;
  pxf.bcol = 0;
  for (int i = 0; i < 100; i++) {
    pxf.reds[i] = -999;
    pxf.grns[i] = -999;
    pxf.blus[i] = -999;
  }
  gxhnew(xsize, ysize);
  pxf.color = 1;
}

void gxend() {
  gxhend();
  if (pxf.intflg) gxdrv().end();
  printf("GX package terminated \n");
  omoutflush();
}

namespace {

// The package's part of every ending: quit's closing lines, the metafile
// alone where the session leaves otherwise, and from a signal's handler
// the metafile's end with both closing lines.
void gxfinish(endhow how) {
  if (how == END_QUIT) gxend();
  else if (gxhopen()) gxhend();
}

void gxsigfinish(endhow how) {
  if (how != END_SIGNAL) return;
  gxhsigend();
  omendsay(1, "GX package terminated \n");
}

}  // namespace

void gxendreg() { omendpart(END_GX, {gxfinish, gxsigfinish}); }

void gxfrme(int action) {
  if (action > 7) {
    if (pxf.intflg) gxdrv().frame(action);
    return;
  }
  if (pxf.intflg) {
    if (action == 0) {
      // The pause waits for Return.  Anything else is the start of the
      // next command (typed ahead, or the next line of a pipe): it is
      // given back for the prompt to read rather than lost.
      if (pausewait()) {
        int c = getchar();
        if (c != '\n' && c != EOF) ungetc(c, stdin);
      }
    }
    if (action != 2 && pxf.bufmod) {
      gxdrv().sglbuf();
      pxf.bufmod = 0;
    }
    if (action == 2 && !pxf.bufmod) {
      gxdrv().dblbuf();
      pxf.bufmod = 1;
    }
    if (pxf.bufmod) gxdrv().swap();
    gxdrv().frame(action);
  }
  gxhfrm(action);
  for (int i = 16; i < 100; i++) {
    if (pxf.reds[i] > -1) hout4i(-5, i, pxf.reds[i], pxf.grns[i], pxf.blus[i]);
  }
  if (pxf.bcol > 0) {
    int keep = pxf.color;
    gxcolr(pxf.bcol);
    gxrecf(0, pxf.rxsize, 0, pxf.rysize);
    pxf.color = keep;
    if (pxf.intflg) gxdrv().frame(9);
  }
}

void gxsfrm() {
  if (pxf.bcol > 0 && pxf.intflg) {
    gxdrv().colour(pxf.bcol);
    gxdrv().rect(0, pxf.rxsize, 0, pxf.rysize);
    gxdrv().colour(pxf.color);
  }
}

void gxscal(float pxlo, float pxhi, float pylo, float pyhi,
            float wxlo, float wxhi, float wylo, float wyhi) {
  // An empty or non-finite world range leaves the factor 0 ("no scaling"),
  // never an infinite one.
  double dx = (double)wxhi - wxlo, dy = (double)wyhi - wylo;
  double xm = (double)(pxhi - pxlo) / dx, ym = (double)(pyhi - pylo) / dy;
  if (dx == 0 || !std::isfinite(xm) || std::fabs(xm) > 3e38) xm = 0;
  if (dy == 0 || !std::isfinite(ym) || std::fabs(ym) > 3e38) ym = 0;
  pxf.xm = (float)xm;
  pxf.xb = (float)(pxlo - xm * wxlo);
  pxf.ym = (float)ym;
  pxf.yb = (float)(pylo - ym * wylo);
}

void gxvpag(float vxsize, float vysize, float sxlo, float sxhi, float sylo, float syhi) {
  pxf.xsize = vxsize;
  pxf.ysize = vysize;
  if (sxhi > pxf.rxsize) sxhi = pxf.rxsize;
  if (syhi > pxf.rysize) syhi = pxf.rysize;
  if (sxlo < 0) sxlo = 0;
  if (sylo < 0) sylo = 0;
  pxf.clminx = 0;
  pxf.clmaxx = vxsize;
  pxf.clminy = 0;
  pxf.clmaxy = vysize;
  pxf.lwflg = ((sxhi - sxlo) / pxf.rxsize < 0.6 || (syhi - sylo) / pxf.rysize < 0.6) ? 1 : 0;
  pxf.vxm = vxsize != 0 ? (sxhi - sxlo) / vxsize : 0;
  pxf.vxb = sxlo;
  pxf.vym = vysize != 0 ? (syhi - sylo) / vysize : 0;
  pxf.vyb = sylo;
}

void gxvcon(float x, float y, float* rx, float* ry) {
  *rx = x * pxf.vxm + pxf.vxb;
  *ry = y * pxf.vym + pxf.vyb;
}

void gxppvp(float rx, float ry, float* x, float* y) {
  *x = pxf.vxm != 0 ? (rx - pxf.vxb) / pxf.vxm : 0;
  *y = pxf.vym != 0 ? (ry - pxf.vyb) / pxf.vym : 0;
}

void gxclip(float xlo, float xhi, float ylo, float yhi) {
  pxf.clminx = xlo;
  pxf.clmaxx = xhi;
  pxf.clminy = ylo;
  pxf.clmaxy = yhi;
  if (pxf.clminx < 0) pxf.clminx = 0;
  if (pxf.clmaxx > pxf.xsize) pxf.clmaxx = pxf.xsize;
  if (pxf.clminy < 0) pxf.clminy = 0;
  if (pxf.clmaxy > pxf.ysize) pxf.clmaxy = pxf.ysize;
}

void gxqclip(float* xlo, float* xhi, float* ylo, float* yhi) {
  *xlo = pxf.clminx;
  *xhi = pxf.clmaxx;
  *ylo = pxf.clminy;
  *yhi = pxf.clmaxy;
}

void gxqpag(float* rxsize, float* rysize, float* xsize, float* ysize) {
  if (rxsize) *rxsize = pxf.rxsize;
  if (rysize) *rysize = pxf.rysize;
  if (xsize) *xsize = pxf.xsize;
  if (ysize) *ysize = pxf.ysize;
}

void gxproj(gxhook fn) { pxf.fconv = fn; }
void gxgrid(gxhook fn) { pxf.gconv = fn; }
void gxback(gxhook fn) { pxf.bconv = fn; }

void gxrset(int level) {
  if (level > 2) pxf.gconv = nullptr;
  if (level > 1) {
    pxf.fconv = nullptr;
    pxf.bconv = nullptr;
  }
}

void gxconv(float x, float y, float* px, float* py, int level) {
  if (level > 2 && pxf.gconv) pxf.gconv(x, y, &x, &y);
  if (level > 1 && pxf.fconv) pxf.fconv(x, y, &x, &y);
  if (level > 0) {
    x = x * pxf.xm + pxf.xb;
    y = y * pxf.ym + pxf.yb;
  }
  *px = x;
  *py = y;
}

void gxcord(float* xy, int n, int level) {
  if (level > 2 && pxf.gconv) {
    for (int i = 0; i < n; i++) pxf.gconv(xy[2 * i], xy[2 * i + 1], &xy[2 * i], &xy[2 * i + 1]);
  }
  if (level > 1 && pxf.fconv) {
    for (int i = 0; i < n; i++) pxf.fconv(xy[2 * i], xy[2 * i + 1], &xy[2 * i], &xy[2 * i + 1]);
  }
  if (level > 0) {
    for (int i = 0; i < n; i++) {
      xy[2 * i] = xy[2 * i] * pxf.xm + pxf.xb;
      xy[2 * i + 1] = xy[2 * i + 1] * pxf.ym + pxf.yb;
    }
  }
}

void gxgrmp(float x, float y, float* px, float* py) {
  if (pxf.gconv) {
    pxf.gconv(x, y, px, py);
  } else {
    *px = x;
    *py = y;
  }
}

void gxxy2w(float x, float y, float* wx, float* wy) {
  if (pxf.xm == 0 || pxf.ym == 0) {
    *wx = -999.9f;
    *wy = -999.9f;
    return;
  }
  *wx = (x - pxf.xb) / pxf.xm;
  *wy = (y - pxf.yb) / pxf.ym;
  if (pxf.bconv) pxf.bconv(*wx, *wy, wx, wy);
}

void bdterp(float x1, float y1, float x2, float y2, float* xo, float* yo) {
  // Computed in double: a long segment must not lose the crossing.
  if (x1 < pxf.clminx || x2 < pxf.clminx || x1 > pxf.clmaxx || x2 > pxf.clmaxx) {
    double x = pxf.clminx;
    if (x1 > pxf.clmaxx || x2 > pxf.clmaxx) x = pxf.clmaxx;
    double y = y1;
    if (x1 != x2) y = y1 - ((double)y1 - y2) * ((double)x1 - x) / ((double)x1 - x2);
    *xo = (float)x;
    *yo = (float)y;
    if (y >= pxf.clminy && y <= pxf.clmaxy) return;
  }
  if (y1 >= pxf.clminy && y2 >= pxf.clminy && y1 <= pxf.clmaxy && y2 <= pxf.clmaxy) return;
  double y = pxf.clminy;
  if (y1 > pxf.clmaxy || y2 > pxf.clmaxy) y = pxf.clmaxy;
  double x = x1;
  if (y1 != y2) x = x1 - ((double)x1 - x2) * ((double)y1 - y) / ((double)y1 - y2);
  *xo = (float)x;
  *yo = (float)y;
}
