#include "base/endhold.h"

namespace {

sigset_t endsigs;
bool endset = false;
int holds = 0;  // endhold objects that hold now

}  // namespace

void omsetendsignals(const sigset_t& set) {
  endsigs = set;
  endset = true;
}

bool omendsheld() { return holds > 0; }

bool omendpending() {
  sigset_t now, both;
  if (!endset || sigpending(&now) != 0) return false;
  sigandset(&both, &now, &endsigs);
  return !sigisemptyset(&both);
}

void endhold::hold() {
  if (held_ || !endset) return;
  held_ = sigprocmask(SIG_BLOCK, &endsigs, &old_) == 0;
  if (held_) holds++;
}

void endhold::release() {
  if (!held_) return;
  held_ = false;
  holds--;
  sigprocmask(SIG_SETMASK, &old_, nullptr);
}
