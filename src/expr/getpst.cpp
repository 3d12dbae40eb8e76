#include "expr/evalstat.h"

#include "base/omprnt.h"

static void envfail(const char* why) {
  omprnt(0, "Operation error:  Invalid dimension environment\n");
  omprnt(0, why);
}

evalstat* getpst(cmnstate* pcm) {
  evalstat* pst = new evalstat();
  pst->filehead = pcm->filehead;
  pst->dfile = pcm->dfile;
  pst->dfilenum = pcm->dfilenum;
  pst->defs = &pcm->defs;
  pst->collections = pcm->collections;
  pst->result.pgr = nullptr;
  pst->type = 1;
  pst->idim = -1;
  pst->jdim = -1;
  for (int i = 0; i < 3; i++) {
    pst->dmin[i] = pcm->wlo[i];
    pst->dmax[i] = pcm->whi[i];
  }
  pst->tmin = pcm->tbeg;
  pst->tmax = pcm->tend;

  int nvary = 0;
  for (int i = 0; i < 4; i++)
    if (pcm->vary[i]) nvary++;
  // Three varying dimensions mean an animation over the loop dimension.
  bool looping = pcm->looping || nvary > 2;
  int loopdim = pcm->loopdim;

  int taken = 0;
  bool loopvaries = false;
  for (int d = 0; d < 4; d++) {
    if (!pcm->vary[d]) continue;
    if (d < 2 && pst->dmin[d] > pst->dmax[d]) {
      omprnt(0, "Operation error:  Invalid dimension environment\n");
      if (d == 0)
        omprntf(0, "  Min longitude > max longitude: %g %g \n", pst->dmin[0], pst->dmax[0]);
      else
        omprntf(0, "  Min latitude > max latitude: %g %g \n", pst->dmin[1], pst->dmax[1]);
      delete pst;
      return nullptr;
    }
    if (looping && loopdim == d) {
      loopvaries = true;
      continue;
    }
    if (taken == 0) pst->idim = d;
    else if (taken == 1) pst->jdim = d;
    taken++;
  }
  if (!looping || loopvaries) {
    if (taken > 2) {
      envfail("  Too many varying dimensions \n");
      delete pst;
      return nullptr;
    }
  } else {
    envfail("  Looping dimension does not vary\n");
    delete pst;
    return nullptr;
  }
  return pst;
}
