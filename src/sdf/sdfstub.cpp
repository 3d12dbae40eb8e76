// Placeholders until the readers are in: each entry point refuses clearly.
#include "sdf/sdf.h"

#include "cmd/omprnt.h"

int close_netcdf(int) { return 0; }

void free_io_std(io_std** pio) {
  if (pio == nullptr) return;
  delete *pio;
  *pio = nullptr;
}

int omgsdf(gridres*, float*) {
  omprnt(0, "SDF error:  self-describing files are not built yet\n");
  return 3;
}

int omsdfopen(const char*, cmnstate*) {
  omprnt(0, "SDFOPEN error:  self-describing files are not built yet\n");
  return 1;
}

int omxdfopen(const char*, cmnstate*) {
  omprnt(0, "XDFOPEN error:  self-describing files are not built yet\n");
  return 1;
}
