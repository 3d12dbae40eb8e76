// Descriptors the data libraries open, made close-on-exec.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "base/libfds.h"

// Descriptors a library opens are closed in commands the program runs;
// those the program held before (as from its start) are passed on.  Rows:
// how many more files the program holds open first (the window starts
// past them), and whether one held is in the window above the lowest
// free number.
TEST(LibFds, OnlyALibrarysNewDescriptorsAreClosedOnExec) {
  for (int many : {0, 80, 130}) {
    std::vector<int> files;
    for (int k = 0; k < many; k++) files.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    // A free number below one held without close-on-exec, as given at start.
    const int hole = open("/dev/null", O_RDONLY);
    const int held = open("/dev/null", O_RDONLY);
    close(hole);
    int opened[3];
    {
      const libfds_closed_on_exec guard;
      for (int& fd : opened) fd = open("/dev/null", O_RDONLY);
    }
    EXPECT_EQ(opened[0], hole) << many;
    EXPECT_EQ(opened[1], held + 1) << many;
    EXPECT_EQ(fcntl(held, F_GETFD) & FD_CLOEXEC, 0) << many;
    for (int fd : opened) EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC) << many << " " << fd;
    for (int fd : opened) close(fd);
    close(held);
    for (int fd : files) close(fd);
  }
}
