// Making and releasing data-file records.
#include "data/datafile.h"

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
