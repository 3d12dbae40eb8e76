// Analysis functions whose handlers are not written yet: each refuses the
// call with a clear message instead of computing anything.  A handler
// that gets written replaces its line here.
#include "cmd/omprnt.h"
#include "expr/omfunc.h"

static int notbuilt(const char* uname) {
  omprntf(0, "Error from %s: not built yet\n", uname);
  return 1;
}

