// Standard output to a pipe: held in the buffer rather than written line by
// line, handed on by the interrupt poll a few milliseconds later, and by
// the signal endings' raw flush.
#include <gtest/gtest.h>
#include <stdio_ext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/cmnstate.h"
#include "base/outflush.h"

namespace {

// The child reports in its exit status: 1 the line was written at once, 2
// the poll did not hand it on.
TEST(OutFlush, PipeOutputWaitsForThePollOrTheEnding) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  std::fflush(stdout);  // the test's own output stays out of the pipe
  pid_t pid = fork();
  if (pid == 0) {
    dup2(p[1], 1);
    omoutbuffer();
    std::printf("held\n");
    int bad = __fpending(stdout) == 0 ? 1 : 0;
    omqsig();
    if (__fpending(stdout) != 0) bad |= 2;
    std::printf("cut");
    omoutsigflush();
    _exit(bad);
  }
  close(p[1]);
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_EQ(WEXITSTATUS(st), 0);
  char b[64];
  ssize_t n = read(p[0], b, sizeof b);
  EXPECT_EQ(std::string(b, n > 0 ? static_cast<size_t>(n) : 0), "held\ncut");
  close(p[0]);
}

}  // namespace
