#include "main/promptwait.h"

#include <unistd.h>

#include "base/children.h"
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

// The helper's record is its own code's to clear: it goes first, and the
// program's owner of its children reaps the rest.
void reaporphans() {
  sdf_helper_reap();
  childreaporphans();
}

promptwake promptwait(int fd, const std::function<bool()>& pending) {
  promptwindow();
  if (omwaitinput(fd, pending) == inputwake::input) return promptwake::input;
  reaporphans();  // the signal may have been an orphan's end
  return promptwake::signal;
}
