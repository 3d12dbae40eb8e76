// Standard output to a pipe: held in the program's own buffer rather than
// written line by line, handed on by the interrupt poll a few
// milliseconds later, and by the signal endings' flush, never twice.
#include <fcntl.h>
#include <stdlib.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/cmnstate.h"
#include "base/endhold.h"
#include "base/errout.h"
#include "base/heldwrite.h"
#include "base/outflush.h"
#include "base/replfile.h"

namespace {

// Bytes waiting in the pipe that descriptor fd writes to or reads from.
int inpipe(int fd) {
  int n = -1;
  ioctl(fd, FIONREAD, &n);
  return n;
}

// Polls as long work does until the pipe holds more than had bytes, for
// at most the given milliseconds; whether it came to hold them.
bool pollsuntil(int had, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (inpipe(1) <= had && std::chrono::steady_clock::now() < end) omqsig();
  return inpipe(1) > had;
}

// Runs body in a child whose standard output (and standard error, when
// joined) is a pipe under the program's writer, roomy enough to be read
// only once the child has ended (so the child sees in it all it wrote);
// the child's exit status (body's result) and all it wrote.
std::pair<int, std::string> piped(const std::function<int()>& body, bool joined = false) {
  int p[2];
  if (pipe(p) != 0 || fcntl(p[1], F_SETPIPE_SZ, 1 << 20) < 0) return {-1, ""};
  std::fflush(stdout);  // the test's own output stays out of the pipe
  pid_t pid = fork();
  if (pid == 0) {
    dup2(p[1], 1);
    if (joined) dup2(p[1], 2);
    close(p[0]);
    close(p[1]);
    omoutbuffer();
    _exit(body());
  }
  close(p[1]);
  int st = 0;
  waitpid(pid, &st, 0);
  std::string out;
  char b[4096];
  ssize_t n;
  while ((n = read(p[0], b, sizeof b)) > 0) out.append(b, static_cast<size_t>(n));
  close(p[0]);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

// The child reports in its exit status: 1 the line was written at once, 2
// the first poll did not hand it on, 4 a later line waited in the buffer
// for more than a fraction of a second, 8 a poll that came long after the
// last (as a wait that sleeps polls) did not hand on at once.
TEST(OutFlush, PipeOutputWaitsForThePollOrTheEnding) {
  auto got = piped([] {
    std::printf("held\n");
    int bad = inpipe(1) != 0 ? 1 : 0;
    if (!pollsuntil(0, 1000)) bad |= 2;
    std::printf("soon\n");
    if (!pollsuntil(5, 300)) bad |= 4;
    for (int k = 0; k < 3; k++) {
      std::printf("slow\n");
      int had = inpipe(1);
      usleep(20000);
      omqsig();
      if (inpipe(1) == had) bad |= 8;
    }
    std::printf("cut");
    // The ending's flush writes the rest once, however often it is asked.
    omoutsigflush();
    omoutsigflush();
    return bad;
  });
  EXPECT_EQ(got.first, 0);
  EXPECT_EQ(got.second, "held\nsoon\nslow\nslow\nslow\ncut");
}

// A line printed and polled after, twenty thousand times, costs a few
// dozen writes, not one each.
TEST(OutFlush, PollsHandOnInBlocks) {
  auto writes = [] {
    std::ifstream io("/proc/self/io");
    std::string key;
    long n = -1;
    while (io >> key && key != "syscw:") {
    }
    io >> n;
    return n;
  };
  auto got = piped([&] {
    long before = writes();
    for (int i = 0; i < 20000; i++) {
      std::printf("line %d\n", i);
      omqsig();
    }
    omoutflush();
    return writes() - before > 1000 ? 1 : 0;
  });
  EXPECT_EQ(got.first, 0);
  EXPECT_EQ(std::count(got.second.begin(), got.second.end(), '\n'), 20000);
}

// The ending signals held over a write, or by a hold taken twice, are let
// go again as they were.
TEST(OutFlush, HeldSignalsAreLetGoAsTheyWere) {
  auto got = piped([] {
    sigset_t usr, now;
    sigemptyset(&usr);
    sigaddset(&usr, SIGUSR1);
    omsetendsignals(usr);
    endhold h;
    h.hold();
    h.hold();
    h.release();
    sigprocmask(SIG_BLOCK, nullptr, &now);
    int bad = sigismember(&now, SIGUSR1) ? 1 : 0;
    volatile sig_atomic_t done = 0;
    if (!heldwrite(1, outkindof(1), "x", 1, &done) || done != 1) bad |= 2;
    sigprocmask(SIG_BLOCK, nullptr, &now);
    if (sigismember(&now, SIGUSR1)) bad |= 4;
    // An open that fails lets go of no hold its caller took before (for
    // the part of a data file made just then): here every part name of
    // "x" is in the way.
    char dir[] = "/tmp/omheldXXXXXX";
    if (!mkdtemp(dir)) return 8;
    std::string x = std::string(dir) + "/x";
    for (int k = 0; k < 100; k++)
      close(open((x + "." + std::to_string(getpid()) + "." + std::to_string(k) + ".part").c_str(),
                 O_CREAT | O_WRONLY, 0600));
    h.hold();
    replfile r;
    if (replopen(x.c_str(), nullptr, &r, &h) || !h.held()) bad |= 16;
    sigprocmask(SIG_BLOCK, nullptr, &now);
    if (!sigismember(&now, SIGUSR1)) bad |= 32;
    std::filesystem::remove_all(dir);
    return bad;
  });
  EXPECT_EQ(got.first, 0);
  EXPECT_EQ(got.second, "x");
}

// With the ending signals held, a flush into a pipe that takes nothing
// waits only until one of them comes (standard error here the same pipe);
// it is taken when the hold is let go.  The child ends with 3 from that
// signal's handler, or is killed by the alarm where the flush waits on.
TEST(OutFlush, AHeldFlushWaitsNoLongerThanAnEndingSignal) {
  auto got = piped([] {
    int fill = open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK);
    static const char f[kOutPiece] = {};
    while (write(fill, f, sizeof f) > 0 || write(fill, f, 1) > 0) {
    }
    sigset_t usr;
    sigemptyset(&usr);
    sigaddset(&usr, SIGUSR1);
    omsetendsignals(usr);
    signal(SIGUSR1, [](int) { _exit(omoutsigflush() ? 4 : 3); });
    alarm(10);
    endhold h;
    h.hold();
    raise(SIGUSR1);
    std::printf("kept\n");
    omerrf("error\n");
    h.release();
    return 0;
  }, true);
  EXPECT_EQ(got.first, 3);
  EXPECT_EQ(got.second.find_first_not_of('\0'), std::string::npos);
}

// An ending that finds the pipe full hands the rest on to a reader that
// is still reading, only slower than the program printed: nothing is
// dropped (the handler ends the child with 4), and the reader gets each
// line once, in order, and whole: a line is not cut where it would not
// fit the buffer.
TEST(OutFlush, AnEndingWaitsForAReaderStillReading) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(p[1], 1);
    close(p[0]);
    close(p[1]);
    omoutbuffer();
    sigset_t usr;
    sigemptyset(&usr);
    sigaddset(&usr, SIGUSR1);
    omsetendsignals(usr);
    signal(SIGUSR1, [](int) { _exit(omoutsigflush() ? 4 : 3); });
    for (int i = 0;; i++) std::printf("line %d\n", i);
  }
  close(p[1]);
  usleep(200000);  // the pipe and the buffer are full
  // The reader is reading when the signal comes, and goes on as it did:
  // it sends the signal itself between two of its reads.
  std::string out;
  char b[4096];
  ssize_t n;
  for (bool sent = false; (n = read(p[0], b, sizeof b)) > 0; usleep(1000)) {
    out.append(b, static_cast<size_t>(n));
    if (!sent && out.size() >= 4 * sizeof b) sent = kill(pid, SIGUSR1) == 0;
  }
  close(p[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 4) << st;
  std::string want;
  for (int i = 0; want.size() < out.size(); i++) want += "line " + std::to_string(i) + "\n";
  EXPECT_EQ(out, want.substr(0, out.size()));
  EXPECT_GT(out.size(), 100000u);
  EXPECT_TRUE(!out.empty() && out.back() == '\n') << out.substr(out.size() > 40 ? out.size() - 40 : 0);
}

// A line to a terminal costs one system call, its write: the ending
// signals are not held around it (an ending that comes while the terminal
// takes nothing more is taken at once), and the terminal is not asked at
// every line whether a write would stop the program.  Counted by tracing
// the child's calls from its first write to its last.
TEST(OutFlush, ALineToATerminalIsOneWrite) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  std::string slave = ptsname(master);
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(open(slave.c_str(), O_RDWR | O_NOCTTY), 1);
    omoutbuffer();
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(77);
    raise(SIGSTOP);
    for (int i = 0; i < 100; i++) std::printf("line %d\n", i);
    _exit(0);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  if (WIFEXITED(st) && WEXITSTATUS(st) == 77) GTEST_SKIP() << "no tracing here";
  ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  int writes = 0, others = 0;
  while (ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr) == 0 && waitpid(pid, &st, 0) == pid && WIFSTOPPED(st)) {
    struct __ptrace_syscall_info info;
    if (WSTOPSIG(st) != (SIGTRAP | 0x80) ||
        ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0 || info.op != PTRACE_SYSCALL_INFO_ENTRY)
      continue;
    if (info.entry.nr == SYS_write) writes++;
    else if (writes > 0 && writes < 100) others++;  // the sanitizers make calls of their own at the exit
  }
  close(master);
  EXPECT_EQ(writes, 100);
  EXPECT_EQ(others, 0);
}

}  // namespace
