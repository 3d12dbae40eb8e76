#include "base/endhold.h"

namespace {

sigset_t endsigs;
bool endset = false;

}  // namespace

void omsetendsignals(const sigset_t& set) {
  endsigs = set;
  endset = true;
}

bool omendsignals(sigset_t* set) {
  if (endset) *set = endsigs;
  return endset;
}

void endhold::hold() {
  if (held_ || !endset) return;
  held_ = sigprocmask(SIG_BLOCK, &endsigs, &old_) == 0;
}

void endhold::release() {
  if (!held_) return;
  held_ = false;
  sigprocmask(SIG_SETMASK, &old_, nullptr);
}
