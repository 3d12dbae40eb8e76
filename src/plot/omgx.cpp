// Graphics start-up for the plot rendering.
#include <algorithm>

#include "base/cmnstate.h"
#include "base/omprnt.h"
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
