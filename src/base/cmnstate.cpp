// The common-state record and the program-wide settings beside it, and
// the interrupt poll.  Their defaults are set beside them (ominit.cpp).
#include "base/cmnstate.h"

#include "base/endhold.h"
#include "base/outflush.h"

cmnstate gcmn;
mfstate mfcmn;
gdsopts wgds;

// Work whose output nobody can read any more stops as if interrupted, and
// so does a wait made while the ending signals are held (a FIFO opened in
// place of a file whose part is already made) once one of them has come:
// it is taken when the hold is let go.  Long work polls here, so printed
// output is handed on from here too.
int omqsig() {
  omoutdue();
  if (gcmn.sigflg) return gcmn.sigflg;
  if (omendsheld() && omendpending()) return 1;
  return stdoutgone() ? 1 : 0;
}
