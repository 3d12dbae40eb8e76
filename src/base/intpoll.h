// A poll of the interrupt flag for drawing loops whose length comes from
// the data (grid points, station reports, contour cells): it reads the
// flag once per `every` units of work, so a loop over millions of points
// stops soon after a Ctrl-C without paying a call per point.
#pragma once

#include "base/cmnstate.h"

class omintpoll {
 public:
  explicit omintpoll(long every = 65536) : every_(every < 1 ? 1 : every), left_(every_) {}
  // True once the user has interrupted; work is the units done since the
  // last call.  Stays true after the first true.
  bool stop(long work = 1) {
    if (stopped_) return true;
    left_ -= work;
    if (left_ > 0) return false;
    left_ = every_;
    stopped_ = omqsig() != 0;
    return stopped_;
  }

 private:
  long every_, left_;
  bool stopped_ = false;
};
