// Running a command line for the user.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "base/noproc.h"
#include "base/runprog.h"

static volatile sig_atomic_t interrupts = 0;  // each quit counts 100
static void count(int sig) { interrupts = interrupts + (sig == SIGQUIT ? 100 : 1); }

// The command's status where the user has no process to spare (root is
// not held to the limit: a child that runs as root first becomes nobody);
// -1 where that cannot be arranged.
static int with_no_process_to_spare(const std::string& command) {
  int p[2];
  if (pipe(p) != 0) return -1;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) std::abort();  // a wait for -1 would take any child
  if (pid == 0) {
    const struct rlimit none = {0, 0};
    int status = -1;
    if ((geteuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0)) &&
        setrlimit(RLIMIT_NPROC, &none) == 0)
      status = runshellcmd(command.c_str());
    _exit(write(p[1], &status, sizeof status) == sizeof status ? 0 : 1);
  }
  close(p[1]);
  int status = -1;
  if (read(p[0], &status, sizeof status) != sizeof status) status = -1;
  close(p[0]);
  waitpid(pid, nullptr, 0);
  return status;
}

// The command holds the standard descriptors but no file opened since the
// program started (as a library opens one, without close-on-exec), at any
// number, and leads a process group of its own.  Its status is system()'s,
// a shell that cannot be started (no process to spare) a command not
// found.  An interrupt or quit sent to the session alone while it waits is
// taken once the command has ended, each one, and a command ended by an
// interrupt or a quit is one; the session has its handlers back after; the
// command gets the default action for a signal the session handles, or
// keeps it ignored.
TEST(RunProg, RunsAsSystemDoesWithTheStartDescriptors) {
  const int lib = open("/dev/null", O_RDONLY), high = fcntl(lib, F_DUPFD, 200);
  const std::string fds = "test -e /proc/$$/fd/2 && ! test -e /proc/$$/fd/" + std::to_string(lib) +
                          " && ! test -e /proc/$$/fd/" + std::to_string(high);
  const struct {
    std::string command;
    bool handled;  // else the session ignores SIGINT and SIGQUIT
    int status;
    bool spare;  // a process to spare for the shell
    int interrupts;
  } rows[] = {{fds, true, 0, true, 0},
              {"test \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$", true, 0, true, 0},
              {"exit 3", true, W_EXITCODE(3, 0), true, 0},
              {"/nonexistent/program", true, W_EXITCODE(127, 0), true, 0},
              {"kill -INT $PPID; exit 4", true, W_EXITCODE(4, 0), true, 1},
              {"kill -INT $$; exit 5", true, SIGINT, true, 1},
              {"kill -INT $PPID; kill -INT $$; exit 5", true, SIGINT, true, 2},
              {"kill -INT $$; exit 5", false, W_EXITCODE(5, 0), true, 0},
              {"kill -QUIT $PPID; exit 6", true, W_EXITCODE(6, 0), true, 100},
              {"kill -QUIT $PPID; exit 6", false, W_EXITCODE(6, 0), true, 0},
              {"ulimit -c 0; kill -QUIT $$", true, SIGQUIT, true, 100},
              {"exit 0", true, W_EXITCODE(127, 0), false, 0}};
  for (const auto& r : rows) {
    void (*const mine)(int) = r.handled ? count : SIG_IGN;
    void (*const was)(int) = signal(SIGINT, mine);
    void (*const wasquit)(int) = signal(SIGQUIT, mine);
    interrupts = 0;
    const int status = r.spare ? runshellcmd(r.command.c_str()) : with_no_process_to_spare(r.command);
    if (!r.spare && status == -1) std::printf("no process limit can be set here\n");
    else EXPECT_EQ(status, r.status) << r.command;
    EXPECT_EQ(signal(SIGINT, was), mine) << r.command;
    EXPECT_EQ(signal(SIGQUIT, wasquit), mine) << r.command;
    EXPECT_EQ(interrupts, r.interrupts) << r.command;
  }
  close(lib);
  close(high);
}

// Without /proc the descriptors open at start are found by asking poll()
// after every number the descriptor limit allows, a block at a time: a
// block where every number is open ends nothing, and one given above it
// (here 3 to 258 given, and 700) reaches the command too.  The test
// program runs the test below from its start for this, /proc hidden, and
// then uncovers /proc for the command to look in.
TEST(RunProg, WithoutProcADescriptorGivenHighReachesTheCommand) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the checking allocator needs /proc to start";
#endif
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) std::abort();  // a wait for -1 would take any child
  if (pid == 0) {
    const int given = open("/dev/null", O_RDONLY);
    for (int fd = 3; fd <= 258; fd++)
      if (fd != given && dup2(given, fd) != fd) _exit(77);
    if (!hide_proc() || dup2(given, 700) != 700) _exit(77);
    close_range(259, 699, 0);
    close_range(701, ~0U, 0);
    setenv("OMBRA_TEST_GIVEN", "700", 1);
    execl(self, self, "--gtest_also_run_disabled_tests",
          "--gtest_filter=RunProg.DISABLED_TheGivenDescriptorReachesTheCommand", nullptr);
    _exit(126);
  }
  int st = 0;
  ASSERT_EQ(waitpid(pid, &st, 0), pid);
  if (WIFEXITED(st) && WEXITSTATUS(st) == 77) GTEST_SKIP() << "no mount namespace of its own here";
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 5) << st;
}

// Run by the test above: ends with 5 where the command found descriptors
// 258 and 700 and not one opened since the start.
TEST(RunProg, DISABLED_TheGivenDescriptorReachesTheCommand) {
  if (std::getenv("OMBRA_TEST_GIVEN") == nullptr) GTEST_SKIP();
  ASSERT_EQ(umount2("/proc", MNT_DETACH), 0);
  const int lib = open("/dev/null", O_RDONLY);
  const std::string look = "test -e /proc/$$/fd/258 && test -e /proc/$$/fd/700 && ! test -e /proc/$$/fd/";
  const int st = runshellcmd((look + std::to_string(lib) + " && exit 5").c_str());
  std::fflush(nullptr);
  _exit(WIFEXITED(st) ? WEXITSTATUS(st) : 99);
}
