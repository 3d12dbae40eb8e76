// Constructor, release and range scan of the grid record.
#include "expr/gridres.h"

#include <cstdlib>

#include "cmd/omprnt.h"

gridres* omgnew() {
  gridres* pgr = static_cast<gridres*>(std::calloc(1, sizeof(gridres)));
  if (!pgr) omprnt(0, "Unable to allocate memory for grid structure \n");
  return pgr;
}

float* omgalo(gridres* pgr, size_t n) {
  if (n < 2) {
    pgr->grid = &pgr->rmin;
    return pgr->grid;
  }
  pgr->grid = static_cast<float*>(std::malloc(n * sizeof(float)));
  return pgr->grid;
}

gridres* omgrvl(float val) {
  gridres* pgr = omgnew();
  if (!pgr) return nullptr;
  pgr->undef = -9.99e33f;
  pgr->rmin = val;
  pgr->rmax = val;
  pgr->grid = &pgr->rmin;
  pgr->isiz = 1;
  pgr->jsiz = 1;
  pgr->idim = -1;
  pgr->jdim = -1;
  pgr->alocf = 0;
  return pgr;
}

void omgfre(gridres* pgr) {
  if (!pgr) return;
  if (pgr->alocf) {
    std::free(pgr->ivals);
    std::free(pgr->jvals);
  }
  // A 0-D grid keeps its value in the record; a grid whose data points into
  // the record must not hand that address to free either.
  if (pgr->idim != -1 && pgr->grid != &pgr->rmin) std::free(pgr->grid);
  std::free(pgr);
}

void ommnmx(gridres* pgr) {
  long n = static_cast<long>(pgr->isiz) * pgr->jsiz;
  if (n <= 1) return;
  float lo = 9.99e35f, hi = -9.99e35f;
  const float* p = pgr->grid;
  const float u = pgr->undef;
  for (long i = 0; i < n; i++) {
    float v = p[i];
    if (v == u) continue;
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  if (lo == 9.99e35f || hi == -9.99e35f) lo = hi = u;
  pgr->rmin = lo;
  pgr->rmax = hi;
}
