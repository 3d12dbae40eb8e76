// Descriptors the data libraries open, made close-on-exec.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

#include "base/libfds.h"

// Descriptors a library opens are closed in commands the program runs;
// those the program held before (as from its start) are passed on.  Rows:
// how many more files the program holds open first (the window starts
// past them), whether one is held without close-on-exec above a free
// number (else all above it are free, and made close-on-exec at once),
// and whether the descriptor limit ends within the window (which is then
// looked at one number at a time).
TEST(LibFds, OnlyALibrarysNewDescriptorsAreClosedOnExec) {
  struct row {
    int many;
    bool held, limited;
  } rows[] = {{0, true, false}, {80, true, false}, {130, true, false}, {0, false, false}, {0, true, true}};
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  for (const row& r : rows) {
    std::vector<int> files;
    for (int k = 0; k < r.many; k++) files.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    // A free number below one held without close-on-exec, as given at start.
    const int hole = open("/dev/null", O_RDONLY);
    const int held = r.held ? open("/dev/null", O_RDONLY) : -1;
    close(hole);
    if (r.limited) {
      struct rlimit few = saved;
      few.rlim_cur = static_cast<rlim_t>(held + 3);
      ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    }
    int opened[3];
    {
      const libfds_closed_on_exec guard;
      for (int& fd : opened) fd = open("/dev/null", O_RDONLY);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(opened[0], hole) << r.many;
    if (r.held) {
      EXPECT_EQ(fcntl(held, F_GETFD) & FD_CLOEXEC, 0) << r.many;
    }
    for (int fd : opened) EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC) << r.many << " " << fd;
    for (int fd : opened) close(fd);
    if (r.held) close(held);
    for (int fd : files) close(fd);
  }
}
