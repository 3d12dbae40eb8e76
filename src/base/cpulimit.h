// The CPU time limit the user gave the session, under which the programs
// the session starts run.
//
// Where the user's soft and hard limits are equal the program lowers its
// own soft limit by a second, so that XCPU comes before the kernel's KILL
// and its ending runs (main/signals.cpp).  That second is the program's
// alone: a shell escape, a user function's program or the helper process
// that opens self-describing files has no such ending, and gets the limit
// the user set.  Limits the user set apart (a soft limit below the hard
// one) are never raised.
#pragma once

#include <sys/resource.h>

// Called by the lowering once it is done: the limit as the user set it.
void omcpulowered(const struct rlimit& user);

// While one lives the program runs under the user's limit, so that a
// process it starts meanwhile inherits that limit; the second is taken
// again at its end.  Made around the start of a process only: the program
// waits while the process runs, or goes on once it is started.
class omcpuuserlimit {
 public:
  omcpuuserlimit();
  ~omcpuuserlimit();
  omcpuuserlimit(const omcpuuserlimit&) = delete;
  omcpuuserlimit& operator=(const omcpuuserlimit&) = delete;

 private:
  bool raised_ = false;
  struct rlimit lowered_ = {};
};
