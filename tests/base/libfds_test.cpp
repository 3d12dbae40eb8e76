// Descriptors the data libraries open, made close-on-exec.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include "base/libfds.h"

// Descriptors a library opens are closed in commands the program runs;
// those the program held before (as from its start) are passed on.
TEST(LibFds, OnlyALibrarysNewDescriptorsAreClosedOnExec) {
  // A free number below one held without close-on-exec, as given at start.
  const int hole = open("/dev/null", O_RDONLY);
  const int held = open("/dev/null", O_RDONLY);
  close(hole);
  int opened = -1;
  {
    const libfds_closed_on_exec guard;
    opened = open("/dev/null", O_RDONLY);
  }
  EXPECT_EQ(fcntl(held, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(fcntl(opened, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  close(opened);
  close(held);
}
