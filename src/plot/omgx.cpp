// Graphics start-up for the plot rendering, and the entry points that are
// still to come.
#include <algorithm>

#include "cmd/cmnstate.h"
#include "cmd/omprnt.h"
#include "gx/gx.h"
#include "plot/omplot.h"

void omgx(cmnstate* pcm) {
  gxstrt(pcm->vpagew, pcm->vpageh, pcm->batch);
  pcm->plotpass = 0;
  pcm->ccolor = -9;
  pcm->cint = 0;
  pcm->cstyle = -9;
  pcm->cthick = 3;
  pcm->shadecount = 0;
  pcm->lastgraphic = 0;
  pcm->axisdims[0] = pcm->axisdims[1] = -1;
  std::fill(pcm->plotlims.conv, pcm->plotlims.conv + 4, nullptr);
}

int ommscl(cmnstate* pcm) {
  omprnt(0, "Map set-up error:  not built yet\n");
  return 1;
}

void omwmap(cmnstate* pcm, int flag) { omprnt(0, "Map outlines error:  not built yet\n"); }

void wxsym(int type, float x, float y, float size, int colour, const int* wxcols) {
  omprnt(0, "WXSYM error:  not built yet\n");
}
