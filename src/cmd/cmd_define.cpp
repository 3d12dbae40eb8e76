// The define, undefine and modify commands.
#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"

int omdef(const char* com, cmnstate* pcm, int implicit) {
  omprnt(0, "DEFINE error:  not built yet\n");
  return 1;
}

int omudef(const char* com, cmnstate* pcm) {
  omprnt(0, "UNDEFINE error:  not built yet\n");
  return 1;
}

int ommodf(const char* com, cmnstate* pcm) {
  omprnt(0, "MODIFY error:  not built yet\n");
  return 1;
}

void omdfal(cmnstate* pcm) { pcm->defhead = nullptr; }
