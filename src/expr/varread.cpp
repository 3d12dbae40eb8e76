#include "expr/varread.h"

#include "cmd/omprnt.h"

// The readers live in the data library and may not be linked into every
// program yet; until they are, a request answers that reading is not built.
int omggrd(gridres* pgr) __attribute__((weak));
int omgstn(stnlist* stn) __attribute__((weak));

int omvread(gridres* pgr) {
  if (omggrd) return omggrd(pgr);
  omprnt(0, "Grid reading: not built yet\n");
  return 1;
}

int omvstn(stnlist* stn) {
  if (omgstn) return omgstn(stn);
  omprnt(0, "Station data reading: not built yet\n");
  return 1;
}
