#include "main/stdfds.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool omstdfds() {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken, and the lower ones are open by now.
    int got = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (got != fd) {
      if (got >= 0) close(got);
      return false;
    }
  }
  return true;
}
