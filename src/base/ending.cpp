#include "base/ending.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "base/endhold.h"
#include "base/outflush.h"
#include "base/replsig.h"

namespace {

// The lines of a signal ending, kept until the files are finished and
// standard output's rest is out.
struct lines {
  char text[8 * kEndLine];
  size_t n = 0;
};
lines errlines, closelines;

// Standard output's part: a signal ending's lines start on a line of
// their own (the output may have stopped in mid-line, where a terminal
// echoed ^C).
void outsigfinish(endhow how) {
  if (!omoutsigflush() || how == END_CRASH) return;
  if (omsigsay(1, "\n", 1) && omsigsay(2, errlines.text, errlines.n)) omsigsay(1, closelines.text, closelines.n);
}

}  // namespace

const endpart kEndOut = {[](endhow) { omoutflush(); }, outsigfinish};

namespace {

// Standard output's part is there from the start.  A slot added before
// it moves it: the assertion makes that change this line too.
endpart parts[END_SLOTS] = {{}, {}, {}, {}, kEndOut, {}, {}};
static_assert(END_OUT == 4 && END_SLOTS == 7, "kEndOut stands at END_OUT");
std::atomic<int> entered{0};
int next = 0;  // the slot the walk finishes next
static_assert(std::atomic<int>::is_always_lock_free, "a handler takes the entry");

// Exits that are no ending of the program's own (an exit() in a library)
// finish the parts as -x does.  The hook is registered once a slot, when
// the slot gets its first part (the helper's and the LATS files' come
// with their first use): exit() runs its hooks and the destructors of
// static objects in the reverse order of their registration, and the
// state of a part made after the first registration (the helper's record,
// made with its part) would be destroyed before a hook registered earlier
// runs.  The runs after the first find the session ended.
void atexitend() { omend(END_LEAVE); }
bool armed[END_SLOTS] = {};

}  // namespace

void omendpart(endslot slot, endpart part) {
  if (!armed[slot]) armed[slot] = std::atexit(atexitend) == 0;
  endhold hold;
  hold.hold();
  parts[slot] = part;
}

bool omend(endhow how) {
  const bool handler = how == END_SIGNAL || how == END_CRASH;
  endhold hold;
  if (!handler) hold.hold();
  const bool first = entered.exchange(1) == 0;
  if (handler && !first) {
    // What was printed after the end is still handed on.
    omoutsigflush();
    return false;
  }
  if (handler) {
    // A background job under `stty tostop` would be stopped by its first
    // line to the terminal, the ending and all: an ending writes as if in
    // front.
    struct sigaction ign = {};
    ign.sa_handler = SIG_IGN;
    sigaction(SIGTTOU, &ign, nullptr);
  }
  // A way out taken inside the normal end (the X server lost while the
  // window is closed) goes on with the parts not yet finished.
  while (next < END_SLOTS) {
    const endpart& p = parts[next++];
    void (*fn)(endhow) = handler ? p.sigfinish : p.finish;
    if (fn) fn(how);
  }
  return first;
}

void omendsay(int fd, const char* text) {
  lines& l = fd == 2 ? errlines : closelines;
  for (; *text && l.n < sizeof l.text; text++) l.text[l.n++] = *text;
}

void omleave(int status) {
  omend(END_LEAVE);
  std::exit(status);
}
