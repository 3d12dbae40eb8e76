// The common-state record and the program-wide settings beside it.  Their
// defaults are set by the command layer (ominit).
#include "base/cmnstate.h"

cmnstate gcmn;
mfstate mfcmn;
gdsopts wgds;

int omqsig() { return gcmn.sigflg; }
