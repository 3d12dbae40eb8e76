// The open and close commands.
#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"
#include "data/words.h"

int omopen(const char* name, cmnstate* pcm) {
  omprnt(0, "OPEN error:  not built yet\n");
  return 1;
}

int omclos(const char* com, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "Close Error: Missing file number\n");
    return 1;
  }
  int n;
  if (!intprs(p, &n)) {
    omprnt(0, "Close Error: Invalid file number\n");
    return 1;
  }
  if (n != pcm->filecount) {
    omprnt(0, "Close Error: Only last file may be closed\n");
    return 1;
  }
  omprnt(0, "Close Error: not built yet\n");
  return 1;
}

void omdfdim(cmnstate* pcm, datafile* pfi, int opening) {}

void omclal(cmnstate* pcm) {
  pcm->filehead = nullptr;
  pcm->dfile = nullptr;
  pcm->filecount = 0;
  pcm->dfilenum = 0;
}
