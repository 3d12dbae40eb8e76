// The common end of every plot: frame, logo, time stamp, axes and the
// last-graphic code.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

#include "base/cmnstate.h"
#include "base/errout.h"
#include "gx/gx.h"
#include "plot/plotint.h"

namespace {

const char* const gxnms[23] = {"Clear", "Contour", "Shaded", "Vector", "Grid", "Fgrid",
                               "Line",  "Scatter", "Bar",    "Stream", "Value", "Model",
                               "Wxsym", "Line",    "Line",   "Barb",   "GrFill", "LineFill",
                               "",      "",        "Fwrite", "Fstn",   "Stat"};

struct timeobj {
  int year, month, day, hour, minute, second, yday;
  time_t clock;
} tobj;

void get_tm_struct(time_t t) {
  struct tm lt;
  if (!localtime_r(&t, &lt)) {
    omerrf("error in gmtime function,errno = %d\n", errno);
    exit(-1);
  }
  tobj.year = lt.tm_year + 1900;
  tobj.month = lt.tm_mon + 1;
  tobj.day = lt.tm_mday;
  tobj.hour = lt.tm_hour;
  tobj.minute = lt.tm_min;
  tobj.second = lt.tm_sec;
  tobj.yday = lt.tm_yday + 1;
  tobj.clock = t;
}

void sys_time() {
  time_t t = time(nullptr);
  if (t == (time_t)-1) {
    omerrf("error in time function,errno = %d\n", errno);
    exit(-1);
  }
  get_tm_struct(t);
}

}  // namespace

const char* omgxnm(int code) { return code >= 0 && code < 23 ? gxnms[code] : ""; }

void omgsav(int code, cmnstate* pcm) { pcm->lastgraphic = code; }

void omfram(cmnstate* pcm) {
  if (pcm->frame == 0) return;
  if (pcm->frame == 2 && pcm->mproj > 2) return;
  if (pcm->mproj > 4) return;
  gxcolr(pcm->annotcolor);
  gxwide(pcm->annotthick);
  gxstyl(1);
  gxplot(pcm->plotxlo, pcm->plotylo, 3);
  gxplot(pcm->plotxhi, pcm->plotylo, 2);
  gxplot(pcm->plotxhi, pcm->plotyhi, 2);
  gxplot(pcm->plotxlo, pcm->plotyhi, 2);
  gxplot(pcm->plotxlo, pcm->plotylo, 2);
}

void omaxpl(cmnstate* pcm, int xdim, int ydim) {
  if (xdim == 0 && ydim == 1 && pcm->mproj > 2) {
    ommpax(pcm);
  } else {
    omaxis(1, pcm, xdim);
    omaxis(0, pcm, ydim);
  }
}

void omtmlb(cmnstate* pcm) {
  int n = 0;
  for (int i = 0; i < 4; i++) n += pcm->vary[i] ? 1 : 0;
  if (n > 2) return;
  sys_time();
  char buf[64];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d:%02d", tobj.year, tobj.month, tobj.day,
           tobj.hour, tobj.minute);
  gxchpl(buf, (int)strlen(buf), pcm->pagew - 1.36f, 0.05f, 0.1f, 0.08f, 0.0f);
}

// The logo and the time stamp, on the first plot of a frame only.
void omstamp(cmnstate* pcm) {
  if (pcm->plotpass != 0) return;
  if (pcm->logo) gxchpl("Ombra: VALO/TOSK", 16, 0.05f, 0.05f, 0.1f, 0.08f, 0.0f);
  if (pcm->timelab) omtmlb(pcm);
}

int omthin(int thick, int by) {
  long long v = static_cast<long long>(thick) - by;
  if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(v);
}

void omepil(cmnstate* pcm, int xdim, int ydim, int code) {
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
  gxcolr(pcm->annotcolor);
  gxwide(omthin(pcm->annotthick, 3));
  omstamp(pcm);
  omaxpl(pcm, xdim, ydim);
  omgsav(code, pcm);
}
