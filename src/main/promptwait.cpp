#include "main/promptwait.h"

#include <sys/wait.h>
#include <unistd.h>

#include "base/inputwait.h"
#include "gx/gxx11drv.h"
#include "main/ommain.h"
#include "sdf/sdf.h"

namespace {

void windowidle() {
  if (gxdidle()) gxdclosed();
}

}  // namespace

void promptwindow() {
  omsetwaitwindow(gxdconn, windowidle);
  sigset_t ending;
  omendsigs(&ending);
  omsetwaitsignals(ending);
}

// The helper is left to its own code, which knows when its pid is free.
void reaporphans() {
  sdf_helper_reap();
  static const bool first = getpid() == 1;
  siginfo_t info;
  while (first && (info.si_pid = 0, waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT)) == 0 &&
         info.si_pid != 0) {
    sdf_helper_reap();  // the one that ended may be the helper: reaped there
    waitid(P_PID, static_cast<id_t>(info.si_pid), &info, WEXITED | WNOHANG);
  }
}

promptwake promptwait(int fd, const std::function<bool()>& pending) {
  promptwindow();
  if (omwaitinput(fd, pending) == inputwake::input) return promptwake::input;
  reaporphans();  // the signal may have been an orphan's end
  return promptwake::signal;
}
