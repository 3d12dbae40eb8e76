// Standard output to a pipe: held in the program's own buffer rather than
// written line by line, handed on by the interrupt poll a few
// milliseconds later, and by the signal endings' flush, never twice.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/cmnstate.h"
#include "base/endhold.h"
#include "base/errout.h"
#include "base/heldwrite.h"
#include "base/noproc.h"
#include "base/outflush.h"
#include "base/replfile.h"

namespace {

// While set, an allocation of more than this many bytes fails, as when
// memory has run out (not under the address sanitizer, whose allocator is
// its own).
size_t failabove = 0;

}  // namespace

#ifdef __SANITIZE_ADDRESS__
const bool kMallocFails = false;
#else
const bool kMallocFails = true;
extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t n) {
  if (failabove != 0 && n > failabove) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(n);
}
#endif

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
  if (pid < 0) std::abort();  // a kill of -1 would reach every process
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
    // Then the ending's own text.
    if (!omsigsay(1, "\nsaid\n", 6)) bad |= 16;
    return bad;
  });
  EXPECT_EQ(got.first, 0);
  EXPECT_EQ(got.second, "held\nsoon\nslow\nslow\nslow\ncut\nsaid\n");
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

// A pipe is written through a descriptor of its own: the same pipe, whose
// write takes what there is room for instead of waiting for the rest.  A
// file has none.
TEST(OutFlush, APipeGetsADescriptorThatDoesNotWait) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  const int fd = nowaitfd(p[1]);
  ASSERT_GE(fd, 0);
  const std::string big(1 << 20, 'x');
  const ssize_t put = write(fd, big.data(), big.size());
  EXPECT_EQ(put, fcntl(p[1], F_GETPIPE_SZ));
  EXPECT_EQ(inpipe(p[0]), put);
  const int file = open("/proc/self/exe", O_RDONLY);
  EXPECT_EQ(nowaitfd(file), -1);
  for (int d : {fd, file, p[0], p[1]}) close(d);
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
    // the part of a data file made just then): here no part file can be
    // made in the folder (/proc's own, where nobody makes files).
    h.hold();
    replfile r;
    if (replopen("/proc/self/omheld", nullptr, &r, &h) || !h.held() || r.note.find("Cannot make the part file") == std::string::npos)
      bad |= 16;
    sigprocmask(SIG_BLOCK, nullptr, &now);
    if (!sigismember(&now, SIGUSR1)) bad |= 32;
    // A fault of the program's own while a write is made reaches its
    // handler: here in counting that write.
    static int code;
    code = bad;
    signal(SIGSEGV, [](int) { _exit(code); });
    heldwrite(1, outkindof(1), "y", 1, reinterpret_cast<volatile sig_atomic_t*>(alignof(sig_atomic_t)));
    return 64;
  });
  EXPECT_EQ(got.first, 0);
  EXPECT_EQ(got.second, "xy");
}

// A print cut short by an interrupt while the ending signals are held and
// the pipe takes nothing more is kept, a text larger than the buffer too:
// the interrupt that only sets the flag ends nothing, and all printed,
// before and after, comes once there is room, a large text after it
// whole.  Where there is no memory to keep the text larger than the
// buffer, it alone is dropped.  (A child that spins is ended by its
// processor time limit.)
TEST(OutFlush, APrintAHoldCutShortIsKeptWhileTheSessionGoesOn) {
  std::string a(99, 'a'), b(99, 'b'), c(150000, 'c'), d(150000, 'd'), want;
  for (int i = 0; i < 1024; i++) want += a + "\n";
  for (int i = 0; i < 400; i++) want += b + "\n";
  for (bool nomemory : {false, true}) {
    if (nomemory && !kMallocFails) continue;
    auto got = piped([&] {
      struct rlimit cpu = {5, 5};
      if (fcntl(1, F_SETPIPE_SZ, 1 << 16) != 1 << 16 || setrlimit(RLIMIT_CPU, &cpu) != 0) return 1;
      sigset_t ints;
      sigemptyset(&ints);
      sigaddset(&ints, SIGINT);
      omsetendsignals(ints);
      signal(SIGINT, [](int) {});
      for (int i = 0; i < 1024; i++) std::printf("%s\n", a.c_str());
      endhold h;
      h.hold();
      raise(SIGINT);
      for (int i = 0; i < 400; i++) std::printf("%s\n", b.c_str());
      failabove = nomemory ? 100000 : 0;
      std::fputs(c.c_str(), stdout);
      failabove = 0;
      h.release();
      fcntl(1, F_SETPIPE_SZ, 1 << 20);  // as a reader would make room
      std::fputs(d.c_str(), stdout);
      std::printf("AFTER\n");
      omoutflush();
      return 0;
    });
    EXPECT_EQ(got.first, 0);
    EXPECT_TRUE(got.second == want + (nomemory ? "" : c) + d + "AFTER\n") << nomemory << " " << got.second.size();
  }
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
    // Nor does the ending's own text go after what was dropped.
    signal(SIGUSR1, [](int) { _exit(omoutsigflush() ? 4 : omsigsay(2, "x", 1) ? 5 : 3); });
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

// Nor does an error printed then pass what standard output holds, where
// the pipe takes a short message but not that text (its last page, here
// ten bytes short of full, takes a write that fits in what is left): at
// the ending, once a reader makes room, the error stands after it.
TEST(OutFlush, AHeldErrorStaysAfterTheOutputBeforeIt) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const std::string fill(2 * page - 11, 'a');
  auto got = piped([&] {
    if (fcntl(1, F_SETPIPE_SZ, 2 * page) != static_cast<int>(2 * page)) return 1;
    std::printf("%s\n", fill.c_str());
    omoutflush();
    sigset_t usr;
    sigemptyset(&usr);
    sigaddset(&usr, SIGUSR1);
    omsetendsignals(usr);
    signal(SIGUSR1, [](int) {
      fcntl(1, F_SETPIPE_SZ, 1 << 20);
      _exit(omoutsigflush() ? 4 : 3);
    });
    endhold h;
    h.hold();
    raise(SIGUSR1);
    std::printf("kept kept kept\n");
    omerrf("error\n");
    h.release();
    return 0;
  }, true);
  EXPECT_EQ(got.first, 4);
  EXPECT_EQ(got.second.find_first_not_of('a'), fill.size());
  EXPECT_EQ(got.second.substr(fill.size()), "\nkept kept kept\nerror\n");
}

// Waits until the process sleeps in poll, as the writer does for room
// (at most about ten seconds); false when it does not, or has ended.
bool waitsforroom(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  for (int look = 0; look < 10000; look++) {
    std::ifstream wchan(proc + "/wchan"), stat(proc + "/stat");
    std::string at, line;
    if (wchan >> at && at.find("poll") != std::string::npos) return true;
    if (!std::getline(stat, line) || line.find(") Z") != std::string::npos) return false;
    usleep(1000);
  }
  return false;
}

// Waits until the process has taken sig sent to it (its handler runs, or
// it has ended), looking without a pause: a handler that waits for room
// gets it from the reader at once.
void taken(pid_t pid, int sig) {
  for (long look = 0; look < 10000000; look++) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    unsigned long long pending = 0, shared = 0;
    while (status >> key) {
      if (key == "SigPnd:") status >> std::hex >> pending >> std::dec;
      if (key == "ShdPnd:") status >> std::hex >> shared >> std::dec;
    }
    if (!((pending | shared) >> (sig - 1) & 1)) return;
  }
}

// An ending that finds the output full hands the rest on to a reader that
// is still reading, only slower than the program printed, on a pipe as on
// a socket, and on a pipe written as it is where /proc is hidden: nothing
// is dropped (the handler ends the child with 4), and the reader gets each
// line once, in order, and whole: a line is not cut where it would not
// fit the buffer.  On a pipe the ending comes after the reader took a
// page, the flush under way half done.  A handler that
// ends the child by its signal's default action once it returns (as
// QUIT's does) leaves nothing written after the ending's own text.  The
// reader takes nothing until the child waits for room, and all it can
// once the child has taken the signal.
TEST(OutFlush, AnEndingWaitsForAReaderStillReading) {
  enum { owndescriptor, noproc, socket };
  for (int way : {owndescriptor, noproc, socket}) {
    for (bool returns : {false, true}) {
      int p[2];
      ASSERT_EQ(way == socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, p) : pipe(p), 0);
      std::fflush(stdout);
      pid_t pid = fork();
      if (pid < 0) std::abort();  // a kill of -1 would reach every process
      if (pid == 0) {
        if (way == noproc && !hide_proc()) _exit(77);
        dup2(p[1], 1);
        close(p[0]);
        close(p[1]);
        omoutbuffer();
        sigset_t usr;
        sigemptyset(&usr);
        sigaddset(&usr, SIGUSR1);
        omsetendsignals(usr);
        if (!returns) signal(SIGUSR1, [](int) { _exit(omoutsigflush() ? 4 : 3); });
        if (returns) {
          signal(SIGUSR1, [](int sig) {
            omsigsay(1, "END\n", 4);
            signal(sig, SIG_DFL);
            raise(sig);
          });
        }
        for (int i = 0;; i++) std::printf("line %d\n", i);
      }
      close(p[1]);
      std::string out;
      char b[4096];
      ssize_t n;
      if (!waitsforroom(pid)) {
        int st = 0;
        waitpid(pid, &st, 0);
        close(p[0]);
        ASSERT_TRUE(way == noproc && WIFEXITED(st) && WEXITSTATUS(st) == 77) << way << " " << st;
        continue;  // no namespace here
      }
      if (way != socket) {
        ASSERT_EQ(read(p[0], b, sizeof b), static_cast<ssize_t>(sizeof b));
        out.append(b, sizeof b);
        ASSERT_TRUE(waitsforroom(pid));
      }
      kill(pid, SIGUSR1);
      taken(pid, SIGUSR1);
      while ((n = read(p[0], b, sizeof b)) > 0) out.append(b, static_cast<size_t>(n));
      close(p[0]);
      int st = 0;
      waitpid(pid, &st, 0);
      if (returns) {
        EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGUSR1) << way << " " << st;
        EXPECT_EQ(out.substr(out.size() > 4 ? out.size() - 4 : 0), "END\n") << way;
        out.resize(out.size() > 4 ? out.size() - 4 : 0);
      } else {
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 4) << way << " " << st;
      }
      std::string want;
      for (int i = 0; want.size() < out.size(); i++) want += "line " + std::to_string(i) + "\n";
      EXPECT_TRUE(out == want.substr(0, out.size())) << way << " " << returns;
      EXPECT_GT(out.size(), 100000u);
      EXPECT_TRUE(!out.empty() && out.back() == '\n') << out.substr(out.size() > 40 ? out.size() - 40 : 0);
    }
  }
}

// A terminal or a pipe for a child's standard output: the child opens its
// end, the parent reads r (and holds no other end).
struct outend {
  int r = -1, w = -1;
  std::string slave;
  explicit outend(bool terminal) {
    int p[2];
    if (!terminal && pipe(p) == 0) r = p[0], w = p[1];
    if (terminal && (r = posix_openpt(O_RDWR | O_NOCTTY)) >= 0 && grantpt(r) == 0 && unlockpt(r) == 0)
      slave = ptsname(r);
  }
  ~outend() { close(r); }
  bool ok() const { return r >= 0 && (w >= 0 || !slave.empty()); }
  // Forks a child whose standard output, under the writer, is this end.
  pid_t start() const {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) std::abort();  // a kill of -1 would reach every process
    if (pid == 0) {
      dup2(w >= 0 ? w : open(slave.c_str(), O_RDWR | O_NOCTTY), 1);
      omoutbuffer();
    } else {
      close(w);
    }
    return pid;
  }
  // All the child writes until it has ended, with the line ends it wrote.
  std::string readall() const {
    std::string out;
    char b[4096];
    for (ssize_t n; (n = read(r, b, sizeof b)) > 0;) out.append(b, static_cast<size_t>(n));
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    return out;
  }
};

// A line to a terminal costs one system call, its write: the ending
// signals are not held around it (an ending that comes while the terminal
// takes nothing more is taken at once), and the terminal is not asked at
// every line whether a write would stop the program.  So does a flush
// into a pipe that has room.  Counted by tracing the child's calls from
// its first write to its last.
TEST(OutFlush, ALineToATerminalIsOneWrite) {
  for (bool terminal : {true, false}) {
    outend o(terminal);
    ASSERT_TRUE(o.ok());
    pid_t pid = o.start();
    if (pid == 0) {
      if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(77);
      raise(SIGSTOP);
      for (int i = 0; i < 100; i++) {
        std::printf("line %d\n", i);
        omoutflush();
      }
      _exit(0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    if (WIFEXITED(st) && WEXITSTATUS(st) == 77) GTEST_SKIP() << "no tracing here";
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
    int writes = 0, others = 0;
    while (ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr) == 0 && waitpid(pid, &st, 0) == pid &&
           WIFSTOPPED(st)) {
      struct __ptrace_syscall_info info;
      if (WSTOPSIG(st) != (SIGTRAP | 0x80) ||
          ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0 || info.op != PTRACE_SYSCALL_INFO_ENTRY)
        continue;
      if (info.entry.nr == SYS_write || info.entry.nr == SYS_pwritev2) writes++;
      else if (writes > 0 && writes < 100) others++;  // the sanitizers make calls of their own at the exit
    }
    EXPECT_EQ(writes, 100) << terminal;
    EXPECT_EQ(others, 0) << terminal;
  }
}

// An ending that comes while a line is written, at any moment, writes
// what had not gone out, once: no line is repeated or lost before the
// ending's own text, on a terminal or into a pipe.  The output, read only
// once the child has ended, has room for all the child writes.
TEST(OutFlush, AnEndingRepeatsNoLineThatWentOut) {
  for (bool terminal : {true, false}) {
    for (int run = 0; run < 20; run++) {
      outend o(terminal);
      ASSERT_TRUE(o.ok());
      pid_t pid = o.start();
      if (pid == 0) {
        sigset_t usr;
        sigemptyset(&usr);
        sigaddset(&usr, SIGUSR1);
        omsetendsignals(usr);
        signal(SIGUSR1, [](int sig) {
          if (omoutbusy()) {
            omoutdefer(sig);
            return;
          }
          _exit(omsigsay(1, "END\n", 4) ? 4 : 3);
        });
        for (int i = 0; i < 1000; i++) {
          std::printf("line %d\n", i);
          omoutflush();
        }
        for (;;) pause();
      }
      struct pollfd started = {o.r, POLLIN, 0};
      poll(&started, 1, 5000);
      usleep(static_cast<useconds_t>(50 * run));
      if (pid > 0) kill(pid, SIGUSR1);
      std::string out = o.readall();
      int st = 0;
      waitpid(pid, &st, 0);
      EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 4) << st;
      std::string want;
      for (int i = 0; want.size() + 4 < out.size(); i++) want += "line " + std::to_string(i) + "\n";
      want += "END\n";
      size_t at = std::mismatch(out.begin(), out.end(), want.begin(), want.end()).first - out.begin();
      ASSERT_EQ(at, want.size()) << terminal << " " << run << ": " << testing::PrintToString(out.substr(at > 30 ? at - 30 : 0, 60));
    }
  }
}

}  // namespace
