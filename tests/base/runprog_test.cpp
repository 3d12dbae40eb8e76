// Running a command line for the user.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "base/runprog.h"

namespace {
volatile sig_atomic_t interrupts = 0;
void count(int) { interrupts = interrupts + 1; }
}  // namespace

// A file opened since the program started (as a library opens one, without
// close-on-exec, whatever its number) does not reach the command; the
// standard descriptors do.
TEST(RunProg, OnlyTheStartDescriptorsReachTheCommand) {
  const int lib = open("/dev/null", O_RDONLY);
  const int high = fcntl(lib, F_DUPFD, 200);
  for (int fd : {lib, high})
    EXPECT_EQ(omrun(("test ! -e /proc/$$/fd/" + std::to_string(fd)).c_str()), 0) << fd;
  EXPECT_EQ(omrun("test -e /proc/$$/fd/2"), 0);
  close(lib);
  close(high);
}

// The status is system()'s, the session ignores interrupts while it waits
// and has its handler back after, and the command gets the default action
// for an interrupt the session handles, or keeps it ignored.  Rows: the
// command, whether the session handles SIGINT (else ignores it), the status.
TEST(RunProg, WaitsAsSystemDoes) {
  struct row {
    const char* command;
    bool handled;
    int status;
  } rows[] = {{"exit 3", true, W_EXITCODE(3, 0)},
              {"/nonexistent/program", true, W_EXITCODE(127, 0)},
              {"kill -INT $PPID; exit 4", true, W_EXITCODE(4, 0)},
              {"kill -INT $$; exit 5", true, SIGINT},
              {"kill -INT $$; exit 5", false, W_EXITCODE(5, 0)}};
  for (const row& r : rows) {
    void (*const mine)(int) = r.handled ? count : SIG_IGN;
    void (*const was)(int) = signal(SIGINT, mine);
    interrupts = 0;
    EXPECT_EQ(omrun(r.command), r.status) << r.command;
    EXPECT_EQ(signal(SIGINT, was), mine) << r.command;
    EXPECT_EQ(interrupts, 0) << r.command;
  }
}
