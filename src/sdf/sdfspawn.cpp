// The helper's process: started as a fresh run of the program's executable,
// in a mode of its own, rather than forked from the program.
//
// A fork would copy the program as it is at that moment: a session that had
// read a large script or grid before its first self-describing file left
// the helper holding a copy of all of it for the rest of the session, after
// the program itself had let it go.  A fresh image holds only what the
// helper uses.  It also starts with no handler of the program's: a signal
// arriving while it starts cannot run the program's code in the helper.
//
// The executable is the file the program was started from, found and held
// open as the process starts, and run by that descriptor: neither /proc
// mounted at the time of the spawn nor a tool that runs the program under
// its own executable (valgrind) changes which file the helper runs, and a
// file put at the program's path during the session (a rebuild, another
// program) is never run as the helper.
//
// Where that file cannot be run (a file system mounted noexec, a program
// run by naming its loader, whose file is the loader's, a file not found
// at start), the helper is a fork of the program instead: all its code is
// in the program, and a fork set up as a fresh run would be (no handler of
// the program's, only the socket and the shared block open, and an exit
// that runs none of the program's exit hooks) contains a library's crash
// just as well.  Only when no process can be started at all does the
// program open files itself.
#include <fcntl.h>
#include <link.h>
#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sdf/sdfblock.h"
#include "sdf/sdfint.h"

extern char** environ;

namespace {

// The name and argument that make the executable the helper (the memory it
// may grow by follows), with the socket as descriptor 3 and the shared
// block as descriptor 4 (kBlockFd).
constexpr const char* kHelperName = "ombra-sdf-helper";
constexpr const char* kHelperMode = "--sdf-helper";
constexpr int kHelperFd = 3;
static_assert(kBlockFd == kHelperFd + 1, "the helper keeps the descriptors up to the block");

// The program's own file as found at start, held open (O_PATH); -1 when
// it was not found or is not the program's.
int& ownfd() {
  static int fd = -1;
  return fd;
}

bool same(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// Either mark of a helper's start: a process carrying one was started as
// the helper, and never runs on as the program.
bool started_as_helper(int argc, char** argv) {
  return (argc >= 1 && same(argv[0], kHelperName)) || (argc >= 2 && same(argv[1], kHelperMode));
}

// Serves on the spawn's socket.  The spawn blocks every signal; an
// interrupt and a quit stay blocked until the helper has set them aside.
[[noreturn]] void serve(size_t mem_bytes) {
  sigset_t keys;
  sigemptyset(&keys);
  sigaddset(&keys, SIGINT);
  sigaddset(&keys, SIGQUIT);
  sigprocmask(SIG_SETMASK, &keys, nullptr);
  helper_serve(kHelperFd, mem_bytes);
}

// Serves as the helper when everything the spawn gives is there; anything
// else ends the process at once.
[[noreturn]] void helper_start(int argc, char** argv) {
  struct stat st, block;
  // The block may be missing (memory files refused), but what stands at
  // its place must be a file.
  if (argc != 3 || !same(argv[0], kHelperName) || !same(argv[1], kHelperMode) ||
      fstat(kHelperFd, &st) != 0 || !S_ISSOCK(st.st_mode) ||
      (fstat(kBlockFd, &block) == 0 ? !S_ISREG(block.st_mode) : errno != EBADF))
    _exit(127);
  char* end = nullptr;
  errno = 0;
  const unsigned long long mem = std::strtoull(argv[2], &end, 10);
  if (errno != 0 || end == argv[2] || *end != '\0') _exit(127);
  serve(static_cast<size_t>(mem));
}

// A descriptor held for the rest of the process, above the standard three
// (which may be closed at start and reopened later).
int held_above_stderr(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

// argv[0] as a path: as given when it names a folder, else found on PATH.
std::string path_of(const char* argv0) {
  if (argv0 == nullptr || *argv0 == '\0') return "";
  std::string name = argv0;
  if (name.find('/') != std::string::npos) {
    if (name[0] == '/') return name;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) + "/" + name : "";
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  size_t at = 0;
  while (at <= dirs.size()) {
    size_t colon = dirs.find(':', at);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(at, colon - at);
    std::string cand = (dir.empty() ? "." : dir) + "/" + name;
    struct stat st;
    if (stat(cand.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(cand.c_str(), X_OK) == 0)
      return cand;
    at = colon + 1;
  }
  return "";
}

int first_object_interp(struct dl_phdr_info* info, size_t, void* data) {
  for (int k = 0; k < info->dlpi_phnum; k++)
    if (info->dlpi_phdr[k].p_type == PT_INTERP) *static_cast<bool*>(data) = true;
  return 1;
}

// Whether the program was started by naming its loader (ld.so PROGRAM):
// the system then ran the loader's file, not the program's, and loaded no
// loader for it (no AT_BASE), although the program names one.
bool run_by_its_loader() {
  bool names_one = false;
  dl_iterate_phdr(first_object_interp, &names_one);
  return names_one && getauxval(AT_BASE) == 0;
}

void find_own_file(const char* argv0) {
  if (run_by_its_loader()) return;
  int& fd = ownfd();
  fd = held_above_stderr(open("/proc/self/exe", O_PATH | O_CLOEXEC));
  if (fd >= 0) return;
  const std::string path = path_of(argv0);
  if (!path.empty()) fd = held_above_stderr(open(path.c_str(), O_PATH | O_CLOEXEC));
}

// The helper's mode is taken before main, from the executable's
// initialisers, so that every program holding this library (its tests too)
// can serve as its own helper.  The helper therefore uses no object that an
// initialiser of the program makes, which may not have run yet.  glibc
// hands the initialisers the program's arguments.  Any other process finds
// its own file here, as it starts.
__attribute__((constructor)) void at_start(int argc, char** argv, char**) {
  if (started_as_helper(argc, argv)) helper_start(argc, argv);
  find_own_file(argc >= 1 ? argv[0] : nullptr);
}

std::string failed(const char* what, int err) { return std::string(what) + ": " + std::strerror(err); }

// What the child of the spawn needs, all made before it runs: between
// vfork and exec it shares the program's memory and may only make system
// calls.
struct childplan {
  int exefd;
  int sock;
  int block;
  pid_t parent;
  char** argv;
  char** envp;
  volatile int err;  // set by the child when it could not run the helper
};

// The first steps of either child: it ends with the program (the
// parent-death signal, checked against a parent that ended before it was
// set) and has its socket as descriptor 3 and the block as 4.  Every
// signal is blocked here, so no handler of the program runs in the child.
// 0, or what failed.
__attribute__((no_sanitize_address)) int child_setup(int sock, int block, pid_t parent) {
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) return ESRCH;
  // Both moved above their places first, so that neither is put where
  // the other still is.
  if (sock <= kBlockFd) sock = fcntl(sock, F_DUPFD_CLOEXEC, kBlockFd + 1);
  if (block >= 0 && block <= kBlockFd) block = fcntl(block, F_DUPFD_CLOEXEC, kBlockFd + 1);
  if (sock < 0 || dup2(sock, kHelperFd) < 0) return errno;
  // No block (memory files refused): none at its place either.
  if (block < 0) return close(kBlockFd) == 0 || errno == EBADF ? 0 : errno;
  return dup2(block, kBlockFd) < 0 ? errno : 0;
}

// The child that runs the program's own file.  The file may be held as
// descriptor 3 or 4 itself, which the socket and the block are about to
// take: it is moved first.
[[noreturn]] __attribute__((no_sanitize_address)) void run_child(childplan* p) {
  int exefd = p->exefd;
  if (exefd <= kBlockFd) exefd = fcntl(exefd, F_DUPFD_CLOEXEC, kBlockFd + 1);
  const int err = exefd < 0 ? errno : child_setup(p->sock, p->block, p->parent);
  if (err != 0) {
    p->err = err;
    _exit(127);
  }
  fexecve(exefd, p->argv, p->envp);
  p->err = errno != 0 ? errno : ENOEXEC;
  _exit(127);
}

__attribute__((noinline, no_sanitize_address)) pid_t launch(childplan* p) {
  const pid_t child = vfork();
  if (child == 0) run_child(p);
  return child;
}

// Ends a forked helper that calls exit(): registered after every exit hook
// of the program, it runs before them and ends the process there, so that
// none of the program's hooks (which finish its metafile and give its
// terminal back) runs in the helper.
void end_forked_helper() { _exit(127); }

// The child forked as the helper: set up as a fresh run of the program
// would start, then serving.
[[noreturn]] void serve_forked(int sock, int block, pid_t parent, size_t mem_bytes) {
  if (child_setup(sock, block, parent) != 0 || std::atexit(end_forked_helper) != 0) _exit(127);
  for (int sig = 1; sig < NSIG; sig++) {
    struct sigaction sa;
    if (sigaction(sig, nullptr, &sa) == 0 && sa.sa_handler != SIG_IGN && sa.sa_handler != SIG_DFL)
      signal(sig, SIG_DFL);
  }
  prctl(PR_SET_NAME, "ombra-sdf-help");
  serve(mem_bytes);
}

// Starts the child with every signal blocked: the program's own file run
// when allowed and possible, else a fork.  Its pid (*execd telling which),
// or -1 with *err set.
pid_t start_child(bool may_exec, int sock, int block, size_t mem_bytes, bool* execd, int* err) {
  const std::string memtext = std::to_string(mem_bytes);
  std::string arg0 = kHelperName, mode = kHelperMode;
  char* argv[] = {&arg0[0], &mode[0], const_cast<char*>(memtext.c_str()), nullptr};
  childplan plan{ownfd(), sock, block, getpid(), argv, environ, 0};
  if (may_exec && plan.exefd >= 0) {
    const pid_t child = launch(&plan);
    if (child < 0) {
      *err = errno;  // no process to be had: a fork would fail the same way
      return -1;
    }
    *execd = plan.err == 0;
    if (*execd) return child;
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  const pid_t child = fork();
  if (child == 0) serve_forked(sock, block, plan.parent, mem_bytes);
  *err = child < 0 ? errno : 0;
  return child;
}

}  // namespace

int spawn_helper(size_t mem_bytes, int block, bool may_exec, void (*record)(pid_t pid, int fd, bool execd),
                 std::string* why) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    *why = failed("cannot make its socket", errno);
    return 0;
  }
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  int err = 0;
  bool execd = false;
  const pid_t child = start_child(may_exec, sv[1], block, mem_bytes, &execd, &err);
  close(sv[1]);
  if (child < 0) {
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    close(sv[0]);
    *why = failed("cannot run it", err);
    return 0;
  }
  record(child, sv[0], execd);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return 1;
}

std::string ended_how(int status) {
  if (WIFSIGNALED(status))
    return "it ended on signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
  if (WIFEXITED(status)) return "it ended with exit status " + std::to_string(WEXITSTATUS(status));
  return "it ended";
}
