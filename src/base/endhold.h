// The signals that end the session, held back over the few steps that
// must not be cut apart: a part file made and not yet renamed into place
// or made known to the ending handler.  A signal that comes meanwhile is
// taken when the hold is released.
#pragma once

#include <csignal>

// The set held; the program registers the signals it ends on.  Until then
// a hold holds nothing.
void omsetendsignals(const sigset_t& set);

// The set registered; false (and set untouched) before there is one.
bool omendsignals(sigset_t* set);

class endhold {
 public:
  endhold() = default;
  endhold(const endhold&) = delete;
  endhold& operator=(const endhold&) = delete;
  ~endhold() { release(); }
  // Holds from now on (again a no-op while held).
  void hold();
  void release();

 private:
  sigset_t old_;
  bool held_ = false;
};
