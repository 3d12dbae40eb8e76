// Running a command line for the user.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "base/runprog.h"

static volatile sig_atomic_t interrupts = 0;
static void count(int) { interrupts = interrupts + 1; }

// The command holds the standard descriptors but no file opened since the
// program started (as a library opens one, without close-on-exec), at any
// number.  Its status is system()'s; the session ignores interrupts while
// it waits, and has its handler back after; the command gets the default
// action for an interrupt the session handles, or keeps it ignored.
TEST(RunProg, RunsAsSystemDoesWithTheStartDescriptors) {
  const int lib = open("/dev/null", O_RDONLY), high = fcntl(lib, F_DUPFD, 200);
  const std::string fds = "test -e /proc/$$/fd/2 && ! test -e /proc/$$/fd/" + std::to_string(lib) +
                          " && ! test -e /proc/$$/fd/" + std::to_string(high);
  const struct {
    std::string command;
    bool handled;  // else the session ignores SIGINT
    int status;
  } rows[] = {{fds, true, 0},
              {"exit 3", true, W_EXITCODE(3, 0)},
              {"/nonexistent/program", true, W_EXITCODE(127, 0)},
              {"kill -INT $PPID; exit 4", true, W_EXITCODE(4, 0)},
              {"kill -INT $$; exit 5", true, SIGINT},
              {"kill -INT $$; exit 5", false, W_EXITCODE(5, 0)}};
  for (const auto& r : rows) {
    void (*const mine)(int) = r.handled ? count : SIG_IGN;
    void (*const was)(int) = signal(SIGINT, mine);
    interrupts = 0;
    EXPECT_EQ(omrun(r.command.c_str()), r.status) << r.command;
    EXPECT_EQ(signal(SIGINT, was), mine) << r.command;
    EXPECT_EQ(interrupts, 0) << r.command;
  }
  close(lib);
  close(high);
}
