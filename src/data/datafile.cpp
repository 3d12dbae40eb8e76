// Making and releasing data-file records.
#include "data/datafile.h"

#include "base/cmnstate.h"

#include <cstdlib>
#include <new>


datafile* getpfi() {
  return new (std::nothrow) datafile();
}

void frepfi(datafile* pfi, int keep) {
  if (!pfi) return;
  delete pfi->pindx;
  pfi->pindx = nullptr;
  if (!keep) {
    // A linear pair, a level list and the time array are one allocation
    // each, reached through the grid-to-world pointer.
    for (int i = 0; i < 4; i++) {
      std::free(pfi->grvals[i]);
      pfi->grvals[i] = nullptr;
    }
  }
  if (pfi->sdf1 == pfi->sdf) pfi->sdf1 = nullptr;
  if (pfi->sdffree) {
    pfi->sdffree(&pfi->sdf);
    pfi->sdffree(&pfi->sdf1);
  }
  delete pfi;
}

void omaddfile(cmnstate* pcm, datafile* pfi) {
  pfi->pforw = nullptr;
  if (!pcm->filehead) {
    pcm->filehead = pfi;
  } else {
    datafile* p = pcm->filehead;
    while (p->pforw) p = p->pforw;
    p->pforw = pfi;
  }
  pcm->filecount++;
  if (pcm->filecount == 1) {
    pcm->dfile = pfi;
    pcm->dfilenum = 1;
  }
}
