// The user's CPU limit for the programs the session starts.
#include "base/cpulimit.h"

namespace {

struct userlimit {
  bool lowered = false;
  struct rlimit user = {};
};

userlimit& noted() {
  static userlimit l;
  return l;
}

}  // namespace

void omcpulowered(const struct rlimit& user) {
  noted().lowered = true;
  noted().user = user;
}

omcpuuserlimit::omcpuuserlimit() {
  if (!noted().lowered || getrlimit(RLIMIT_CPU, &lowered_) != 0) return;
  // Only the program's own lowering is taken back.
  if (lowered_.rlim_max != noted().user.rlim_max || lowered_.rlim_cur + 1 != noted().user.rlim_cur) return;
  raised_ = setrlimit(RLIMIT_CPU, &noted().user) == 0;
}

omcpuuserlimit::~omcpuuserlimit() {
  if (raised_) setrlimit(RLIMIT_CPU, &lowered_);
}
