// The interrupt budget: every target is linked with --wrap=_Z6omqsigv, so
// each poll of the interrupt flag (the evaluator per evaluation, the script
// runner per statement, display and define per frame or step) comes here
// first.  Past the budget of polls, or once the program holds more than
// kMaxHeld bytes, the flag is raised as the signal handler would raise it:
// the program then unwinds as after a user's Ctrl-C.  The memory test keeps
// inputs that grow without end (a script doubling a string on every call)
// from being taken for faults of the reader under test.
#include <malloc.h>

#include <cstddef>

#include "base/cmnstate.h"
#include "fuzzutil.h"

// int omqsig() is _Z6omqsigv; the linker sends calls of it from other
// objects to __wrap__Z6omqsigv and names the original __real__Z6omqsigv.
extern "C" int __real__Z6omqsigv();
// The sanitizers' count of bytes allocated (absent in a plain build).
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

constexpr size_t kMaxHeld = size_t(512) << 20;
long budget = -1;
long polls = 0;

size_t held() {
  if (__sanitizer_get_current_allocated_bytes) return __sanitizer_get_current_allocated_bytes();
  struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

}  // namespace

extern "C" int __wrap__Z6omqsigv() {
  if (budget >= 0 && (++polls > budget || held() > kMaxHeld)) gcmn.sigflg = 1;
  return __real__Z6omqsigv();
}

namespace fuzz {
void setbudget(long n) {
  budget = n;
  polls = 0;
  gcmn.sigflg = 0;
}
}  // namespace fuzz
