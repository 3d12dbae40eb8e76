// The display dispatcher: picks, from the output kinds that set gxout chose
// and from the kind and shape of the first result, the routine that draws
// or writes the display results.
#include "plot/omplot.h"

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "data/gridres.h"
#include "data/omgstn.h"
#include "data/stnlist.h"
#include "lats/lats.h"
#include "plot/dataout.h"
#include "plot/plotkinds.h"

namespace {

// fwrite and the LATS writes take any grid, whatever its shape; true when
// the one-grid kind is one of them (and it was handled).  *rc is 1 when the
// write failed.
bool gridwrite(cmnstate* pcm, int* rc) {
  switch (pcm->gxout_2d) {
    case 7: *rc = omfwrt(pcm); return true;
    case 20: *rc = omlats(pcm, 3, 0); return true;
    case 21: *rc = omlats(pcm, 5, 0); return true;
    default: return false;
  }
}

int plotgrid(cmnstate* pcm) {
  const gridres* pgr = static_cast<const gridres*>(pcm->resptr[0]);
  int rc = 0;
  if (pgr->idim == -1) {
    if (!gridwrite(pcm, &rc)) omprntf(2, "Result value = %g \n", pgr->grid[0]);
    return rc;
  }
  if (pgr->jdim == -1) {
    if (gridwrite(pcm, &rc)) return rc;
    if (pcm->gxout_2dvec == 5 && pcm->rescount > 1) omscat(pcm);
    else if (pcm->gxout_1d >= 1 && pcm->gxout_1d <= 3) omgrph(pcm, pcm->gxout_1d - 1);
    else omlfil(pcm);
    return 0;
  }
  if (pcm->rescount == 1) {
    switch (pcm->gxout_2d) {
      case 1: omcntr(pcm, 0); break;
      case 2: omcntr(pcm, 1); break;
      case 3: omplvl(pcm); break;
      case 6: omfgrd(pcm); break;
      case 7:
      case 20:
      case 21: gridwrite(pcm, &rc); break;
      default: omcntr(pcm, 2); break;
    }
    return rc;
  }
  switch (pcm->gxout_2dvec) {
    case 3: omplvl(pcm); break;
    case 4: omvect(pcm, 0); break;
    case 5: omscat(pcm); break;
    case 8: omstrm(pcm); break;
    default: omvect(pcm, 1); break;
  }
  return 0;
}

void plotstn(cmnstate* pcm) {
  stnlist* stn = static_cast<stnlist*>(pcm->resptr[0]);
  omsmnmx(stn);
  if (stn->idim == 0 && stn->jdim == 1) {
    switch (pcm->gxout_stn) {
      case 1:
      case 2:
      case 6: ompstn(pcm); break;
      case 3: omfstn(pcm); break;
      case 4: ompmdl(pcm); break;
      case 7: omsmrk(pcm); break;
      default: omwsym(pcm); break;
    }
  } else if (stn->idim == 2 && stn->jdim == -1) {
    ompprf(pcm);
  } else if (stn->idim == 3 && stn->jdim == -1) {
    omtser(pcm);
  } else {
    omprnt(0, "Invalid stn data dimension environment\n");
  }
}

}  // namespace

int omplot(cmnstate* pcm) {
  pcm->relcount = pcm->rescount;
  if (pcm->rescount < 1) return 0;
  int rc = 0;
  int mproj = pcm->mproj;
  if (pcm->mproj > 1 && (pcm->xflip || pcm->yflip)) pcm->mproj = 1;
  switch (pcm->gxout_kind) {
    case 1: omstts(pcm); break;
    case 2: omdprnt(pcm); break;
    case 3: rc = omoutgds(pcm); break;
    default:
      if (pcm->stat) omstts(pcm);
      if (pcm->restype[0] == 1) rc = plotgrid(pcm);
      else plotstn(pcm);
      break;
  }
  pcm->mproj = mproj;
  return rc;
}
