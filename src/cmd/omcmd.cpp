// The command dispatcher.
#include "cmd/omcmd.h"

#include "cmd/cmnstate.h"
#include "cmd/omprnt.h"
#include "data/words.h"

cmnstate* savpcm = nullptr;

int omqsig() { return gcmn.sigflg; }

int omcmd(const char* line, cmnstate* pcm, int exflg) {
  const char* p = line;
  while (*p == ' ') p++;
  if (*p == '\0' || *p == '\n') return 0;
  if (cmpwrd(p, "quit")) return -1;
  omprnt(0, "Unknown command: ");
  omprnt(0, p);
  omprnt(0, "\n");
  return 1;
}
