// The query command.
#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"

int omqury(const char* com, const char* typed, cmnstate* pcm) {
  omprnt(0, "QUERY error:  not built yet\n");
  return 1;
}
