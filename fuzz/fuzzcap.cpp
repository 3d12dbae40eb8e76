// The interrupt budget: every target is linked with --wrap=omqsig, so each
// poll of the interrupt flag (the evaluator per evaluation, the script
// runner per statement, display and define per step of their loops) comes
// here first.  Past the budget the flag is raised as the signal handler
// would raise it.
#include "base/cmnstate.h"
#include "fuzzutil.h"

// int omqsig() is _Z6omqsigv; the linker sends calls of it from other
// objects to __wrap__Z6omqsigv and names the original __real__Z6omqsigv.
extern "C" int __real__Z6omqsigv();

namespace {
long budget = -1;
long polls = 0;
}  // namespace

extern "C" int __wrap__Z6omqsigv() {
  if (budget >= 0 && ++polls > budget) gcmn.sigflg = 1;
  return __real__Z6omqsigv();
}

namespace fuzz {
void setbudget(long n) {
  budget = n;
  polls = 0;
  gcmn.sigflg = 0;
}
}  // namespace fuzz
