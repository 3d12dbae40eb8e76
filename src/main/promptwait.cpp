#include "main/promptwait.h"

#include "base/inputwait.h"
#include "gx/gxx11drv.h"

namespace {

void windowidle() {
  if (gxdidle()) gxdclosed();
}

}  // namespace

void promptwindow() { omsetwaitwindow(gxdconn, windowidle); }

promptwake promptwait(int fd, const std::function<bool()>& pending) {
  promptwindow();
  return omwaitinput(fd, pending) == inputwake::input ? promptwake::input : promptwake::signal;
}
