// The ways a whole session ends besides quit: signals sent from outside,
// interrupts during the -c command, standard output whose reader went
// away.  Each keeps what the session wrote: the metafile gets its end
// records, and what was printed before the end reaches the file.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "base/endhold.h"
#include "base/outflush.h"
#include "sessionchild.h"

namespace {

// A frame printed to the metafile; the fourth prompt shows once it is
// done.  (A shell escape would be no mark: the program ignores QUIT and
// INT while it waits for one.)
const char kPrint[] = "enable print m.gm\ndraw line 1 1 2 2\nprint\n";
// What kPrint leaves in the metafile once it is ended: the header, the
// printed frame, its end and the end of the file.
const std::vector<int> kPrinted = {-1, 11000, 8500, -4, 3, 3, -3, 1, -10,
                                   1000, 1000, -11, 2000, 2000, -2, -9};
const char kClosing[] = "\nHardcopy output file is closed \nGX package terminated \n";
// A netCDF file (o.nc) and a GRIB file with its descriptor (g.grb, g.ctl)
// made ready for a field of ts each, written at time t by latswrites(t).
const std::string kLatsStart = std::string("open ") + OMBRA_SOURCE_DIR +
                               "/share/sample/sample.ctl\nset x 1 144\nset lats frequency hourly\n"
                               "set lats deltat 6\nset lats convention coards\nset lats create o\n"
                               "set lats convention ombra_grib\nset lats create g\nset gxout latsgrid\nd ts\n"
                               "set lats var 1 ts instant 1 0\nset lats var 2 ts instant 1 0\n"
                               "set gxout latsdata\n";
std::string latswrites(int t) {
  return "set t " + std::to_string(t) + "\nset lats write 1 1\nd ts\nset lats write 2 2\nd ts\n";
}
// Three fields in each; the last prompt shows they are written.
const std::string kLats = kLatsStart + latswrites(1) + latswrites(2) + latswrites(3);

// The records of a classic netCDF file (its header's count), the whole
// records of a GRIB file (-1 when one is cut).
long ncrecords(const std::string& b) {
  if (b.size() < 8 || b.compare(0, 3, "CDF") != 0) return -1;
  return static_cast<long>(static_cast<unsigned char>(b[4]) << 24 | static_cast<unsigned char>(b[5]) << 16 |
                           static_cast<unsigned char>(b[6]) << 8 | static_cast<unsigned char>(b[7]));
}
long gribrecords(const std::string& b) {
  long n = 0;
  for (size_t at = 0; at < b.size(); n++) {
    if (b.size() - at < 8 || b.compare(at, 4, "GRIB") != 0) return -1;
    at += static_cast<size_t>(static_cast<unsigned char>(b[at + 4]) << 16 |
                              static_cast<unsigned char>(b[at + 5]) << 8 | static_cast<unsigned char>(b[at + 6]));
    if (at > b.size() || b.compare(at - 4, 4, "7777") != 0) return -1;
  }
  return n;
}

bool endswith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A signal and the exit status it ends the session with.
struct ending {
  int sig;
  int status;
};

class EndingSignal : public testing::TestWithParam<ending> {};

// A scheduler's TERM, a lost terminal's HUP and the signals nothing uses
// end the session as a second interrupt does, with 128 plus the signal;
// the CPU time limit does too, with status 1.
TEST_P(EndingSignal, FinishesTheMetafileAndPrintsTheClosingLines) {
  SessionChild s;
  ASSERT_TRUE(s.start({"-blE"}));
  s.send(kPrint + kLats);
  ASSERT_TRUE(s.waitprompts(4 + static_cast<int>(std::count(kLats.begin(), kLats.end(), '\n'))));
  s.signal(GetParam().sig);
  int st = s.finish();
  ASSERT_TRUE(WIFEXITED(st)) << "wait status " << st;
  EXPECT_EQ(WEXITSTATUS(st), GetParam().status);
  EXPECT_EQ(metawords(s.get("m.gm")), kPrinted);
  EXPECT_TRUE(endswith(s.said(), kClosing)) << s.said();
  // The LATS files are finished as set lats close finishes them, but for
  // the index made at close.
  EXPECT_EQ(ncrecords(s.get("o.nc")), 3);
  EXPECT_EQ(gribrecords(s.get("g.grb")), 3);
  EXPECT_NE(s.get("g.ctl").find("\ntdef 3 linear 0Z1jan2000  6hr\n"), std::string::npos) << s.get("g.ctl");
  for (const auto& e : std::filesystem::directory_iterator(s.path("")))
    EXPECT_NE(e.path().extension(), ".part") << e.path();
}

INSTANTIATE_TEST_SUITE_P(Signals, EndingSignal,
                         testing::Values(ending{SIGTERM, 143}, ending{SIGHUP, 129},
                                         ending{SIGUSR1, 138}, ending{SIGUSR2, 140},
                                         ending{SIGALRM, 142}, ending{SIGXCPU, 1}),
                         [](const testing::TestParamInfo<ending>& i) {
                           return std::string(sigabbrev_np(i.param.sig));
                         });

// A session killed outright, or by a crash sent from outside, leaves the
// LATS files under their part names, each field written so far in them.
TEST(SessionEnd, FieldsWrittenBeforeAKillAreInThePartFiles) {
  for (int sig : {SIGKILL, SIGSEGV}) {
    SessionChild s;
    ASSERT_TRUE(s.start({"-blE"}, false, [] {
      struct rlimit none = {0, 0};
      setrlimit(RLIMIT_CORE, &none);
    }));
    s.send(kLats);
    ASSERT_TRUE(s.waitprompts(1 + static_cast<int>(std::count(kLats.begin(), kLats.end(), '\n'))));
    s.signal(sig);
    s.finish();
    std::string nc, grb;
    for (const auto& e : std::filesystem::directory_iterator(s.path(""))) {
      const std::string leaf = e.path().filename();
      if (leaf.rfind("o.nc.", 0) == 0) nc = s.get(leaf);
      if (leaf.rfind("g.grb.", 0) == 0) grb = s.get(leaf);
    }
    EXPECT_EQ(ncrecords(nc), 3) << sigabbrev_np(sig);
    EXPECT_EQ(gribrecords(grb), 3) << sigabbrev_np(sig);
  }
}

// Started under nohup, the session outlives its terminal as before.
TEST(SessionEnd, IgnoredHangUpStaysIgnored) {
  SessionChild s;
  ASSERT_TRUE(s.start({"-blE"}, false, [] { signal(SIGHUP, SIG_IGN); }));
  s.send(kPrint);
  ASSERT_TRUE(s.waitprompts(4));
  s.signal(SIGHUP);
  s.send("q dims\n");
  s.closein();
  int st = s.finish();
  ASSERT_TRUE(WIFEXITED(st)) << "wait status " << st;
  EXPECT_EQ(WEXITSTATUS(st), 0);
  EXPECT_TRUE(endswith(s.said(), "No files open\nom> [EOF]\nHardcopy output file is closed \n"
                                 "GX package terminated \n"))
      << s.said();
}

// QUIT keeps its core dump (none is written here), after the metafile end.
TEST(SessionEnd, QuitDumpsCoreWithTheMetafileFinished) {
  SessionChild s;
  ASSERT_TRUE(s.start({"-blE"}, false, [] {
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
  }));
  s.send(kPrint);
  ASSERT_TRUE(s.waitprompts(4));
  s.signal(SIGQUIT);
  int st = s.finish();
  ASSERT_TRUE(WIFSIGNALED(st)) << "wait status " << st;
  EXPECT_EQ(WTERMSIG(st), SIGQUIT);
  EXPECT_EQ(metawords(s.get("m.gm")), kPrinted);
  EXPECT_TRUE(endswith(s.said(), kClosing)) << s.said();
}

// The documented batch use, -c "run script": an interrupt during it stops
// the script, and the session goes on to its normal end.  What the script
// said before reaches the file.
const char kLoop[] =
    "i = 0\n"
    "while (i < 20)\n"
    "  say 'line 'i\n"
    "  i = i + 1\n"
    "endwhile\n"
    "'enable print m.gm'\n"
    "'draw line 1 1 2 2'\n"
    "'print'\n"
    "while (1)\n"
    "endwhile\n";
// The script's frame is on disk (a shell escape to mark it would flush
// standard output, which is under test here).
const off_t kFrameBytes = 28;

std::string twentylines() {
  std::string out;
  for (int i = 0; i < 20; i++) out += "line " + std::to_string(i) + "\n";
  return out;
}

TEST(SessionEnd, InterruptDuringTheCommandLineCommandStopsOnlyIt) {
  SessionChild s;
  s.put("loop.gs", kLoop);
  ASSERT_TRUE(s.start({"-blEc", "run loop.gs"}));
  s.closein();
  ASSERT_TRUE(s.waitsize("m.gm.part", kFrameBytes));
  s.signal(SIGINT);
  int st = s.finish();
  ASSERT_TRUE(WIFEXITED(st)) << "wait status " << st;
  EXPECT_EQ(WEXITSTATUS(st), 0);
  EXPECT_EQ(metawords(s.get("m.gm")), kPrinted);
  EXPECT_NE(s.said().find(twentylines() + "\nom> [EOF]\nHardcopy output file is closed \n"),
            std::string::npos)
      << s.said();
}

// Ended by a signal in the middle of the script, the session has still
// handed on all it printed before: nothing is left in a buffer.
TEST(SessionEnd, LinesPrintedBeforeTheEndReachTheFile) {
  SessionChild s;
  s.put("loop.gs", kLoop);
  ASSERT_TRUE(s.start({"-blEc", "run loop.gs"}));
  ASSERT_TRUE(s.waitsize("m.gm.part", kFrameBytes));
  s.signal(SIGTERM);
  int st = s.finish();
  ASSERT_TRUE(WIFEXITED(st)) << "wait status " << st;
  EXPECT_EQ(WEXITSTATUS(st), 128 + SIGTERM);
  EXPECT_NE(s.said().find(twentylines() + kClosing), std::string::npos) << s.said();
}

// A crash (here raised, as a library on a damaged file would fault or
// abort, or a fault of the program's own while the ending signals are
// held) still writes what the session had printed, once, and then ends
// the program with the same signal as before.
TEST(SessionEnd, ACrashWritesWhatWasPrintedFirst) {
  for (int row = 0; row < 3; row++) {
    const int sig = row == 1 ? SIGABRT : SIGSEGV;
    SessionChild s;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
      dup2(open(s.path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      signal(sig, SIG_DFL);  // the action before, also under a sanitizer
      omoutbuffer();
      omsignals();
      std::printf("printed before\n");
      if (sig == SIGABRT) abort();
      if (row == 2) {  // a page the program may not touch
        void* none = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        endhold held;
        held.hold();
        *static_cast<volatile int*>(none) = 0;
      }
      raise(sig);
      _exit(0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == sig) << row << ": wait status " << st;
    EXPECT_EQ(s.said(), "printed before\n") << row;
  }
}

// Standard output is a pipe or a socket whose reader goes away (| head)
// while the session waits at its prompt: the session ends at once as quit
// ends it, with the status of a broken pipe, and runs none of the
// commands after.
TEST(SessionEnd, ReaderOfStandardOutputGoneEndsTheSession) {
  for (bool socket : {false, true}) {
    SessionChild s;
    int ch[2];
    ASSERT_EQ(socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, ch) : pipe(ch), 0);
    ASSERT_TRUE(s.start({"-blE"}, false, [&] {
      dup2(ch[1], 1);
      close(ch[0]);
      close(ch[1]);
    }));
    close(ch[1]);
    s.send(std::string(kPrint) + "!touch printed\n");
    // The prompt after the last of them shows: the session waits.
    std::string said;
    char b[4096];
    for (ssize_t n; said.find("om> om> om> om> om> ") == std::string::npos &&
                    (n = read(ch[0], b, sizeof b)) > 0;)
      said.append(b, static_cast<size_t>(n));
    close(ch[0]);
    s.send("!touch ran\nq dims\ndraw line 3 3 4 4\nprint\n");
    int st = s.finish();
    ASSERT_TRUE(WIFEXITED(st)) << "wait status " << st;
    EXPECT_EQ(WEXITSTATUS(st), 128 + SIGPIPE) << socket;
    EXPECT_EQ(metawords(s.get("m.gm")), kPrinted) << socket;
    EXPECT_NE(access(s.path("ran").c_str(), F_OK), 0) << socket;
  }
}

// An exec of an endless stream of commands (none of which looks at the
// interrupt itself) stops at the first interrupt, as a script does; the
// session goes on.  So does one whose writer stalls, with the exec waiting
// in a read when the interrupt comes: the read it cuts short is no read
// error.
TEST(SessionEnd, InterruptStopsAnEndlessExec) {
  for (bool stalls : {false, true}) {
    SessionChild s;
    ASSERT_EQ(mkfifo(s.path("endless").c_str(), 0600), 0);
    pid_t writer = fork();
    ASSERT_GE(writer, 0);  // a kill of -1 below would be every process
    if (writer == 0) {
      int fd = open(s.path("endless").c_str(), O_WRONLY);
      static const char line[] = "clear\n";
      for (int n = 0; fd >= 0 && (!stalls || n < 4000) && write(fd, line, sizeof line - 1) > 0; n++) {
      }
      pause();
      _exit(0);
    }
    ASSERT_TRUE(s.start({"-blE"}));
    s.send("exec endless\n");
    ASSERT_TRUE(s.waitsize("stdout", 20000));
    if (stalls) usleep(200000);
    s.signal(SIGINT);
    s.closein();
    int st = s.finish();
    if (writer > 0) kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    ASSERT_TRUE(WIFEXITED(st)) << "wait status " << st;
    EXPECT_EQ(WEXITSTATUS(st), 0);
    std::string said = s.said();
    EXPECT_TRUE(endswith(said, "EXEC error:  error in endless.  EXEC stopped.\n\nom> [EOF]\nNo hardcopy metafile open\nGX package terminated \n"))
        << stalls << said.substr(said.size() > 300 ? said.size() - 300 : 0);
  }
}

// An output file beyond the size limit fails as a full disk would; the
// session goes on.
TEST(SessionEnd, FileSizeLimitFailsTheOutputNotTheSession) {
  SessionChild s;
  ASSERT_TRUE(s.start({"-blE"}, true, [] {
    struct rlimit small = {100, 100};
    setrlimit(RLIMIT_FSIZE, &small);
  }));
  s.send(std::string("open ") + OMBRA_SOURCE_DIR +
         "/share/sample/sample.ctl\nset gxout fwrite\nset fwrite out.bin\nd topo\n"
         "disable fwrite\nq time\n");
  s.closein();
  std::string said = s.readout();
  int st = s.finish();
  ASSERT_TRUE(WIFEXITED(st)) << "wait status " << st;
  EXPECT_EQ(WEXITSTATUS(st), 0);
  EXPECT_NE(said.find("Error writing fwrite output file\n"), std::string::npos) << said;
  EXPECT_NE(said.find("Time values set:"), std::string::npos) << said;
}

// Three sessions in one folder each enable, print and disable the same
// metafile over and over: one at a time writes it (the others are told
// another session does), no write fails, and whenever the file is looked at
// it is whole: the header, the line's records (piling up in the frame),
// the frame's end and the file's end.
TEST(SessionEnd, SessionsSharingAMetafileNeverBreakIt) {
  SessionChild s[3];
  std::string cycles, shared = s[0].path("");
  for (int i = 0; i < 300; i++) cycles += std::string(kPrint) + "disable print\n";
  for (SessionChild& one : s) {
    ASSERT_TRUE(one.start({"-blE"}, false, [&] { (void)!chdir(shared.c_str()); }));
    one.send(cycles);
    one.closein();
  }
  auto whole = [](const std::vector<int>& w) {
    std::vector<int> want(kPrinted.begin(), kPrinted.begin() + 3);
    for (size_t i = 3; i + 2 < w.size(); i += 11)
      want.insert(want.end(), kPrinted.begin() + 3, kPrinted.begin() + 14);
    want.insert(want.end(), {-2, -9});
    return w == want;
  };
  int broken = 0;
  // Looked at until all three have ended, or for two minutes at most.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  for (int done = 0; done < 3 && std::chrono::steady_clock::now() < limit;) {
    std::string now = s[0].get("m.gm");
    if (!now.empty() && !whole(metawords(now))) broken++;
    done = 0;
    for (SessionChild& one : s) done += endswith(one.said(), "terminated \n");
  }
  EXPECT_EQ(broken, 0);
  for (SessionChild& one : s) {
    one.finish();
    EXPECT_EQ(one.said().find("I/O Error"), std::string::npos) << one.said();
  }
  EXPECT_TRUE(whole(metawords(s[0].get("m.gm"))));
  EXPECT_NE(access(s[0].path("m.gm.part").c_str(), F_OK), 0);
}

// An ending signal at any moment of enable print, disable print or printim
// leaves no part file behind: each is finished, or never made.
TEST(SessionEnd, NoEndingSignalLeavesAPartFile) {
  std::string cycles = kLatsStart;
  for (int i = 0; i < 100; i++) cycles += std::string(kPrint) + "disable print\nprintim x.png\n" + latswrites(i + 1);
  for (int run = 0; run < 40; run++) {
    SessionChild s;
    ASSERT_TRUE(s.start({"-blE"}));
    s.send(cycles);
    usleep(static_cast<useconds_t>(20000 + 1500 * run));
    s.signal(SIGTERM);
    s.finish();
    for (const auto& e : std::filesystem::directory_iterator(s.path("")))
      EXPECT_NE(e.path().extension(), ".part") << run;
    std::vector<int> w = metawords(s.get("m.gm"));
    EXPECT_EQ(w.empty() ? -9 : w.back(), -9) << run;
    // Nor half a field: the LATS files end after a whole one.
    std::string nc = s.get("o.nc"), grb = s.get("g.grb");
    EXPECT_TRUE(nc.empty() || (ncrecords(nc) >= 0 && nc.size() >= 42056u * static_cast<size_t>(ncrecords(nc)))) << run;
    EXPECT_GE(gribrecords(grb), 0) << run;
  }
}

// The children of a process, the first started first (a session's
// helper, once it has one).
std::vector<pid_t> childrenof(pid_t pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> all;
  for (pid_t child; children >> child;) all.push_back(child);
  return all;
}
pid_t childof(pid_t pid) {
  const std::vector<pid_t> all = childrenof(pid);
  return all.empty() ? 0 : all[0];
}

// Every ending ends and waits for the helper process that opens
// self-describing files, and for the command a shell escape runs, as quit
// does: where process 1 does not reap (a container), a child left to the
// parent-death signal, or ended and left, would stay behind as a zombie.
// Here this test reaps what the session leaves.
TEST(SessionEnd, EveryEndingWaitsForTheHelper) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  for (int sig : {SIGTERM, SIGQUIT, SIGXCPU}) {
    SessionChild s;
    ASSERT_TRUE(s.start({"-blE"}, false, [] {
      struct rlimit none = {0, 0};
      setrlimit(RLIMIT_CORE, &none);
    }));
    // (A quit sent to the session alone waits for the command to end.)
    const bool command = sig != SIGQUIT;
    s.send(std::string("sdfopen ") + OMBRA_SOURCE_DIR + "/share/sample/sample.nc\n" + (command ? "!sleep 1000\n" : ""));
    ASSERT_TRUE(s.waitprompts(2)) << s.said();
    ASSERT_NE(s.said().find("is open as file 1"), std::string::npos) << s.said();
    // The helper is the program's file run anew (its own command line),
    // not a fork of the session.
    const pid_t helper = childof(s.pid());
    std::string cmdline;
    std::getline(std::ifstream("/proc/" + std::to_string(helper) + "/cmdline"), cmdline, '\0');
    EXPECT_EQ(cmdline, "ombra-sdf-helper");
    std::vector<pid_t> ran = childrenof(s.pid());
    for (int k = 0; command && k < 6000 && ran.size() < 2; k++) {
      usleep(10000);
      ran = childrenof(s.pid());
    }
    s.signal(sig);
    EXPECT_NE(s.finish(), -1) << sig;
    // What the command started, ended with it, comes here to be reaped.
    pid_t left = 0;
    for (int k = 0; k < 50 && left != -1; k++) {
      usleep(10000);
      left = waitpid(-1, nullptr, WNOHANG);
      EXPECT_TRUE(left <= 0 || std::find(ran.begin(), ran.end(), left) == ran.end())
          << "a process left by the session ended by " << sigabbrev_np(sig);
    }
    EXPECT_EQ(left, -1) << "a process left by the session ended by " << sigabbrev_np(sig);
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

// A helper that died is reaped at the next prompt; a process that gets its
// pid afterwards (made here by setting the last pid given, which needs
// root) lives on when the session ends.
TEST(SessionEnd, AReapedHelpersPidIsNotKilledAtTheEnding) {
  if (access("/proc/sys/kernel/ns_last_pid", W_OK) != 0) GTEST_SKIP() << "the next pid cannot be chosen here";
  SessionChild s;
  ASSERT_TRUE(s.start({"-blE"}));
  s.send(std::string("sdfopen ") + OMBRA_SOURCE_DIR + "/share/sample/sample.nc\n");
  ASSERT_TRUE(s.waitprompts(2)) << s.said();
  const pid_t helper = childof(s.pid());
  ASSERT_GT(helper, 0);
  ASSERT_EQ(kill(helper, SIGKILL), 0);
  for (int k = 0; k < 500 && access(("/proc/" + std::to_string(helper) + "/exe").c_str(), F_OK) == 0; k++)
    usleep(10000);
  s.send("q dims\n");
  ASSERT_TRUE(s.waitprompts(3)) << s.said();
  pid_t other = -1;
  for (int tries = 0; tries < 20 && other != helper; tries++) {
    if (other > 0) {
      kill(other, SIGKILL);
      waitpid(other, nullptr, 0);
    }
    std::ofstream("/proc/sys/kernel/ns_last_pid") << helper - 1;
    other = fork();
    if (other == 0) {
      pause();
      _exit(0);
    }
  }
  s.signal(SIGTERM);
  s.finish();
  const bool alive = other > 0 && waitpid(other, nullptr, WNOHANG) == 0;
  if (other > 0) kill(other, SIGKILL);  // never -1: that would be every process
  waitpid(other, nullptr, 0);
  if (other != helper) GTEST_SKIP() << "pid " << helper << " was taken by another process";
  EXPECT_TRUE(alive);
}

// The second of CPU time the program keeps for its own ending is its
// own: a shell escape runs under the limit the user set.  A soft limit the
// user set below the hard one stays as it is.
TEST(SessionEnd, ShellEscapesRunUnderTheUsersCpuLimit) {
  for (rlim_t soft : {50, 49}) {
    SessionChild s;
    ASSERT_TRUE(s.start({"-blE"}, false, [soft] {
      struct rlimit cpu = {soft, 50};
      setrlimit(RLIMIT_CPU, &cpu);
    }));
    s.send("!sh -c 'ulimit -St; ulimit -Ht' > limits\nquit\n");
    s.finish();
    EXPECT_EQ(s.get("limits"), std::to_string(soft) + "\n50\n");
  }
}

}  // namespace
