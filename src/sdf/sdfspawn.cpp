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
// open as the process starts: neither /proc mounted at the time of the
// spawn nor a tool that runs the program under its own executable
// (valgrind) changes which file the helper runs, and a rebuild of the
// program during the session does not start a helper of another version.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sdf/sdfint.h"

extern char** environ;

namespace {

// The name and argument that make the executable the helper (the memory it
// may grow by follows), with the socket as descriptor 3.
constexpr const char* kHelperName = "ombra-sdf-helper";
constexpr const char* kHelperMode = "--sdf-helper";
constexpr int kHelperFd = 3;

// The program's own file as found at start: held open (O_PATH), and its
// path for a system that cannot run a file by its descriptor.
struct ownfile {
  int fd = -1;
  std::string path;
};

ownfile& own() {
  static ownfile f;
  return f;
}

bool same(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// Either mark of a helper's start: a process carrying one was started as
// the helper, and never runs on as the program.
bool started_as_helper(int argc, char** argv) {
  return (argc >= 1 && same(argv[0], kHelperName)) || (argc >= 2 && same(argv[1], kHelperMode));
}

// Serves as the helper when everything the spawn gives is there; anything
// else ends the process at once.
[[noreturn]] void helper_start(int argc, char** argv) {
  struct stat st;
  if (argc != 3 || !same(argv[0], kHelperName) || !same(argv[1], kHelperMode) ||
      fstat(kHelperFd, &st) != 0 || !S_ISSOCK(st.st_mode))
    _exit(127);
  char* end = nullptr;
  errno = 0;
  const unsigned long long mem = std::strtoull(argv[2], &end, 10);
  if (errno != 0 || end == argv[2] || *end != '\0') _exit(127);
  // The spawn blocks every signal; an interrupt stays blocked until the
  // helper has set it aside.
  sigset_t intr;
  sigemptyset(&intr);
  sigaddset(&intr, SIGINT);
  sigprocmask(SIG_SETMASK, &intr, nullptr);
  helper_serve(kHelperFd, static_cast<size_t>(mem));
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

void find_own_file(const char* argv0) {
  ownfile& f = own();
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) {
    buf[n] = '\0';
    f.path = buf;
    f.fd = held_above_stderr(open("/proc/self/exe", O_PATH | O_CLOEXEC));
  }
  if (f.path.empty()) f.path = path_of(argv0);
  if (f.fd < 0 && !f.path.empty()) f.fd = held_above_stderr(open(f.path.c_str(), O_PATH | O_CLOEXEC));
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
  const char* path;
  int sock;
  pid_t parent;
  char** argv;
  char** envp;
  volatile int err;  // set by the child when it could not run the helper
};

// The child: ends with the program (the parent-death signal, checked
// against a parent that ended before it was set), its socket as
// descriptor 3, then the program's own file.  Every signal is blocked
// here, so no handler of the program runs in the child.
[[noreturn]] __attribute__((no_sanitize_address)) void run_child(childplan* p) {
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != p->parent) {
    p->err = ESRCH;
    _exit(127);
  }
  const int moved = p->sock == kHelperFd ? fcntl(p->sock, F_SETFD, 0) : dup2(p->sock, kHelperFd);
  if (moved < 0) {
    p->err = errno;
    _exit(127);
  }
  if (p->exefd >= 0) fexecve(p->exefd, p->argv, p->envp);
  if (p->path[0] != '\0') execve(p->path, p->argv, p->envp);
  p->err = errno != 0 ? errno : ENOEXEC;
  _exit(127);
}

__attribute__((noinline, no_sanitize_address)) pid_t launch(childplan* p) {
  const pid_t child = vfork();
  if (child == 0) run_child(p);
  return child;
}

}  // namespace

int spawn_helper(size_t mem_bytes, int* pid, int* fd, std::string* why) {
  const ownfile& me = own();
  if (me.fd < 0 && me.path.empty()) {
    *why = "the program's own file was not found at its start";
    return 0;
  }
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    *why = failed("cannot make its socket", errno);
    return 0;
  }
  const std::string memtext = std::to_string(mem_bytes);
  std::string arg0 = kHelperName, mode = kHelperMode;
  char* argv[] = {&arg0[0], &mode[0], const_cast<char*>(memtext.c_str()), nullptr};
  childplan plan{me.fd, me.path.c_str(), sv[1], getpid(), argv, environ, 0};
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  const pid_t child = launch(&plan);
  const int err = child < 0 ? errno : plan.err;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  close(sv[1]);
  if (child > 0 && err != 0) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (child < 0 || err != 0) {
    close(sv[0]);
    *why = failed("cannot run it", err);
    return 0;
  }
  *pid = child;
  *fd = sv[0];
  return 1;
}

std::string ended_how(int status) {
  if (WIFSIGNALED(status))
    return "it ended on signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
  if (WIFEXITED(status)) return "it ended with exit status " + std::to_string(WEXITSTATUS(status));
  return "it ended";
}
