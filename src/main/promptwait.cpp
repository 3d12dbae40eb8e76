#include "main/promptwait.h"

#include "base/inputwait.h"
#include "gx/gxx11drv.h"
#include "main/ommain.h"

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

promptwake promptwait(int fd, const std::function<bool()>& pending) {
  promptwindow();
  return omwaitinput(fd, pending) == inputwake::input ? promptwake::input : promptwake::signal;
}
