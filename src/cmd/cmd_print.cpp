// The print, printim, enable and disable commands.
#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"

int omprint(const char* com, cmnstate* pcm) {
  omprnt(0, "PRINT error:  not built yet\n");
  return 1;
}

int omprim(const char* com, const char* typed, cmnstate* pcm) {
  omprnt(0, "PRINTIM error:  not built yet\n");
  return 1;
}

int omenab(const char* typed, cmnstate* pcm) {
  omprnt(0, "ENABLE error:  not built yet\n");
  return 1;
}

int omdisab(const char* typed, cmnstate* pcm) {
  omprnt(0, "DISABLE error:  not built yet\n");
  return 1;
}
