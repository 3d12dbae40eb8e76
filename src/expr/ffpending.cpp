// Analysis functions whose handlers are not written yet: each refuses the
// call with a clear message instead of computing anything.  A handler
// that gets written replaces its line here.
#include "cmd/omprnt.h"
#include "expr/omfunc.h"

static int notbuilt(const char* uname) {
  omprntf(0, "Error from %s: not built yet\n", uname);
  return 1;
}

int ffg2s(fargs*, evalstat*) { return notbuilt("GR2STN"); }
int ffoacr(fargs*, evalstat*) { return notbuilt("OACRES"); }
int ffoabn(fargs*, evalstat*) { return notbuilt("OABIN"); }
int ffsave(fargs*, evalstat*) { return notbuilt("STNAVE"); }
int ffsmin(fargs*, evalstat*) { return notbuilt("STNMIN"); }
int ffsmax(fargs*, evalstat*) { return notbuilt("STNMAX"); }
int ffclgr(fargs*, evalstat*) { return notbuilt("COLL2GR"); }
