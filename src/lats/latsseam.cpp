// LATS output entry points, until the LATS interface is built.
#include "cmd/omprnt.h"
#include "lats/lats.h"

void latsgribmap(const char* descr, int ignfcst) {
  omprnt(0, "LATS_GRIB: latsgribmap ERROR: not built yet\n");
}

int omlats(cmnstate* pcm, int op, int arg) {
  omprnt(0, "LATS error:  not built yet\n");
  return 0;
}
