#include "expr/varread.h"

#include "cmd/omprnt.h"
#include "data/omggrd.h"

// The station reader is not written yet; until it is linked in, a station
// request answers that reading is not built.
int omgstn(stnlist* stn) __attribute__((weak));

int omvread(gridres* pgr) { return omggrd(pgr); }

int omvstn(stnlist* stn) {
  if (omgstn) return omgstn(stn);
  omprnt(0, "Station data reading: not built yet\n");
  return 1;
}
