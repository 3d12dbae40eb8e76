// An interrupt typed at the prompt: the partly typed line is thrown away
// (not joined to the next line) and the interrupt is answered there, so
// that pressing it again never ends the session.  The readers run in a
// child process on a pseudo-terminal, as at a real prompt, with and
// without the line editor.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/cmnstate.h"
#include "main/ommain.h"
#include "script/gs.h"

namespace {

// A child reading command lines on a pseudo-terminal, through the editor
// or (edit false) without it; what it read comes back through a pipe, one
// line each, marked when the interrupt flag was still set after the read.
// flagged starts the child as after an interrupted command; a script
// (its path) is run first, as a command at the prompt would run it.
struct PromptChild {
  pid_t pid = -1;
  int master = -1;
  int result = -1;

  bool start(int lines, bool edit = true, bool flagged = false, const std::string& script = "") {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
    const char* slave = ptsname(master);
    if (!slave) return false;
    std::string sname = slave;
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid = fork();
    if (pid < 0) std::abort();  // a kill of -1 would reach every process
    if (pid == 0) {
      close(fds[0]);
      setsid();
      int s = open(sname.c_str(), O_RDWR);  // becomes the controlling terminal
      if (s < 0) _exit(3);
      dup2(s, 0);
      dup2(s, 1);
      dup2(s, 2);
      struct sigaction sa = {};
      sa.sa_handler = omsig;
      sa.sa_flags = SA_RESTART;
      sigemptyset(&sa.sa_mask);
      sigaction(SIGINT, &sa, nullptr);
      gcmn.sigflg = flagged ? 1 : 0;
      if (!script.empty()) {
        int rc = 0;
        gsfile(script.c_str(), &rc, 0);
        gcmn.sigflg = 0;  // as the main loop clears it
      }
      for (int i = 0; i < lines; i++) {
        std::string buf;
        int n = edit ? nxrdln(buf, "om-> ") : nxtcmd(buf, "om>");
        if (n < 0) buf = "<EOF>";
        if (!buf.empty() && buf.back() == '\n') buf.pop_back();
        buf += gcmn.sigflg ? " [sig]\n" : "\n";
        if (write(fds[1], buf.data(), buf.size()) < 0) _exit(4);
      }
      _exit(0);
    }
    close(fds[1]);
    result = fds[0];
    return pid > 0;
  }

  void type(const char* text) {
    ssize_t n = write(master, text, std::string(text).size());
    (void)n;
    drain(200);
  }

  // Waits (a few seconds at most) until the child shows its prompt (or the
  // text given), so that what is typed next reaches a reader that is
  // waiting.
  void prompted(const char* text = "om") {
    std::string seen;
    char b[256];
    struct pollfd p = {master, POLLIN, 0};
    for (int i = 0; i < 50 && seen.find(text) == std::string::npos; i++) {
      if (poll(&p, 1, 100) <= 0) continue;
      ssize_t n = read(master, b, sizeof b);
      if (n <= 0) break;
      seen.append(b, static_cast<size_t>(n));
    }
  }

  // Reads what the child shows, so that the terminal never fills up.
  void drain(int ms) {
    struct pollfd p = {master, POLLIN, 0};
    char b[512];
    while (poll(&p, 1, ms) > 0) {
      if (read(master, b, sizeof b) <= 0) break;
      ms = 50;
    }
  }

  // Everything the child sent back, waiting at most a few seconds (more
  // under a sanitizer on a loaded machine).
  std::string lines() {
    std::string out;
    char b[256];
    for (int waited = 0; waited < 150; waited++) {
      drain(0);
      struct pollfd p = {result, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      ssize_t n = read(result, b, sizeof b);
      if (n <= 0) break;
      out.append(b, static_cast<size_t>(n));
    }
    return out;
  }

  // The child's exit status, or -1 when it had to be killed.
  int finish() {
    int st = 0;
    for (int i = 0; i < 200; i++) {
      if (waitpid(pid, &st, WNOHANG) == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -2;
      // Once the child has closed the terminal, draining returns at once:
      // give it time to finish exiting.
      drain(100);
      usleep(50000);
    }
    if (pid > 0) kill(pid, SIGKILL);
    waitpid(pid, &st, 0);
    return -1;
  }

  ~PromptChild() {
    if (master >= 0) close(master);
    if (result >= 0) close(result);
  }
};

class PromptInterrupt : public testing::TestWithParam<bool> {};

TEST_P(PromptInterrupt, PartlyTypedLineIsDroppedNotJoinedToTheNext) {
  PromptChild c;
  ASSERT_TRUE(c.start(2, GetParam()));
  c.type("q time");
  c.type("\x03");
  c.type("q files\r");
  // Keys that come in the same read as the interrupt (a paste, keys
  // batched by ssh or tmux) belong to the fresh line.
  c.type("set x 1");
  c.type("\x03q dims\r");
  EXPECT_EQ(c.lines(), "q files\nq dims\n");
  EXPECT_EQ(c.finish(), 0);
}

// Two presses at the prompt, and one after a command that was itself
// interrupted, only give fresh prompts: the session goes on.
TEST_P(PromptInterrupt, RepeatedInterruptsKeepTheSession) {
  PromptChild c;
  ASSERT_TRUE(c.start(2, GetParam()));
  c.type("d x");
  c.type("\x03");
  c.type("\x03");
  c.type("q time\r");
  c.type("\x03");
  c.type("q files\r");
  EXPECT_EQ(c.lines(), "q time\nq files\n");
  EXPECT_EQ(c.finish(), 0);
}

TEST_P(PromptInterrupt, InterruptOfTheLastCommandDoesNotCountAtThePrompt) {
  PromptChild c;
  ASSERT_TRUE(c.start(1, GetParam(), true));
  c.prompted();
  c.type("\x03");
  c.type("q files\r");
  EXPECT_EQ(c.lines(), "q files\n");
  EXPECT_EQ(c.finish(), 0);
}

// A script waiting in pull is stopped by the interrupt; keys that came in
// the same read belong to the prompt's next line, not to the pull.
TEST_P(PromptInterrupt, KeysTypedWithTheInterruptOfAPullReachThePrompt) {
  char dir[] = "/tmp/ompullXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string gs = std::string(dir) + "/pull.gs";
  FILE* f = fopen(gs.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("say 'pulling'\npull x\nsay 'got 'x\n", f);
  fclose(f);
  PromptChild c;
  ASSERT_TRUE(c.start(1, GetParam(), false, gs));
  c.prompted("pulling");
  c.type("\x03q time\r");
  std::string got = c.lines();
  int st = c.finish();
  unlink(gs.c_str());
  rmdir(dir);
  EXPECT_EQ(got, "q time\n");
  EXPECT_EQ(st, 0);
}

TEST_P(PromptInterrupt, LinesWithoutInterruptAreReadWhole) {
  PromptChild c;
  ASSERT_TRUE(c.start(2, GetParam()));
  c.type("  q time\r");
  c.type("q files\r");
  EXPECT_EQ(c.lines(), "q time\nq files\n");
  EXPECT_EQ(c.finish(), 0);
}

INSTANTIATE_TEST_SUITE_P(Readers, PromptInterrupt, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) {
                           return std::string(i.param ? "LineEditor" : "Plain");
                         });

}  // namespace
