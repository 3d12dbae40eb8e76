// The display and collect commands.
#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"

int omdspl(const char* com, cmnstate* pcm) {
  omprnt(0, "DISPLAY error:  not built yet\n");
  return 1;
}

int omcoll(const char* com, cmnstate* pcm) {
  omprnt(0, "COLLECT error:  not built yet\n");
  return 1;
}
