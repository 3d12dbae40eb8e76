// The set command.
#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"

int omset(const char* com, const char* typed, cmnstate* pcm) {
  omprnt(0, "SET error:  not built yet\n");
  return 1;
}
