// The draw and redraw commands.
#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"

int omdraw(const char* typed, cmnstate* pcm) {
  omprnt(0, "DRAW error:  not built yet\n");
  return 1;
}

int omrdrw(const char* typed, cmnstate* pcm) {
  omprnt(0, "REDRAW error:  not built yet\n");
  return 1;
}
