// The common-state record and the program-wide settings beside it.  Their
// defaults are set by the command layer (ominit).
#include "base/cmnstate.h"

#include "base/outflush.h"
#include "base/stdoutgone.h"

cmnstate gcmn;
mfstate mfcmn;
gdsopts wgds;

// Work whose output nobody can read any more stops as if interrupted.
// Long work polls here, so printed output is handed on from here too.
int omqsig() {
  omoutdue();
  return gcmn.sigflg ? gcmn.sigflg : (stdoutgone() ? 1 : 0);
}
