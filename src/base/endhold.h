// The signals that end the session, held back over the few steps that
// must not be cut apart: a part file made and not yet renamed into place
// or made known to the ending handler, a LATS field written with its
// counts, a part registered with the endings, and the normal end itself.
// A signal that comes meanwhile is taken when the hold is released.  No
// wait made while they are held may outlast the coming of one of them:
// it would hold the ending with it (heldwrite.h, omqsig).
#pragma once

#include <csignal>

// The set held; the program registers the signals it ends on.  Until then
// a hold holds nothing.
void omsetendsignals(const sigset_t& set);

// Whether an endhold holds them now: read without a system call.
bool omendsheld();

// Whether one of them has come and waits for the release of a hold.
bool omendpending();

class endhold {
 public:
  endhold() = default;
  endhold(const endhold&) = delete;
  endhold& operator=(const endhold&) = delete;
  ~endhold() { release(); }
  // Holds from now on (again a no-op while held).
  void hold();
  // Lets go of what this object holds; a hold taken by another object
  // stays.
  void release();
  bool held() const { return held_; }

 private:
  sigset_t old_;
  bool held_ = false;
};
