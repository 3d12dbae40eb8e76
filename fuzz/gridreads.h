// The reads the GRIB targets make of a data set they opened: every
// variable (at most 8) at its first level and first times (at most 4),
// over a window of at most 34 x 34 points.
#pragma once

#include "data/datafile.h"
#include "data/gridres.h"
#include "data/omggrd.h"

namespace fuzz {

inline int cap(int n, int most) { return n < most ? n : most; }

inline void readgrids(datafile* pfi) {
  const int nv = cap(cap(pfi->vnum, static_cast<int>(pfi->pvar1.size())), 8);
  for (int v = 0; v < nv; v++) {
    for (int t = 1; t <= cap(pfi->dnum[3], 4); t++) {
      gridres* g = omgnew();
      if (!g) return;
      g->pfi = pfi;
      g->pvar = &pfi->pvar1[v];
      g->undef = pfi->undef;
      g->idim = 0;
      g->jdim = 1;
      const int lo[4] = {0, 0, 1, t};
      const int hi[4] = {cap(pfi->dnum[0], 32) + 1, cap(pfi->dnum[1], 32) + 1, 1, t};
      for (int k = 0; k < 4; k++) {
        g->dimmin[k] = lo[k];
        g->dimmax[k] = hi[k];
      }
      omggrd(g);
      omgfre(g);
    }
  }
}

}  // namespace fuzz
