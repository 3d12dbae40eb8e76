// The program's own child processes, from their start until they are
// reaped.
#include "base/children.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "base/endhold.h"

namespace {

struct slotstate {
  std::atomic<pid_t> pid{0};
  volatile sig_atomic_t owner = 0;  // the process that started it
  volatile sig_atomic_t group = 0;
};
static_assert(std::atomic<pid_t>::is_always_lock_free, "a handler takes the pid");
slotstate slots[CHILD_SLOTS];

// The pid the slot holds for this process, 0 for none.
pid_t mine(const slotstate& s) {
  const pid_t pid = s.pid.load();
  return pid > 0 && s.owner == getpid() ? pid : 0;
}

// Takes the child from the slot: its pid, 0 when there was none.  Whoever
// takes it reaps it.
pid_t take(slotstate& s) { return s.owner == getpid() ? s.pid.exchange(0) : 0; }

// Whether child pid (not yet reaped) has ended, waiting for that up to ms.
bool endedwithin(pid_t pid, int ms) {
  constexpr int kStepMs = 2;
  for (int waited = 0;; waited += kStepMs) {
    siginfo_t info;
    info.si_pid = 0;
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) < 0) {
      if (errno == EINTR) continue;
      return true;
    }
    if (info.si_pid != 0) return true;
    if (waited >= ms) return false;
    const struct timespec step = {0, kStepMs * 1000000L};
    nanosleep(&step, nullptr);
  }
}

}  // namespace

void childhold(childslot slot, childrec child) {
  slotstate& s = slots[slot];
  s.pid = 0;
  s.owner = getpid();
  s.group = child.group;
  s.pid = child.pid > 0 ? child.pid : 0;
}

childrec childheld(childslot slot) {
  childrec c;
  c.pid = mine(slots[slot]);
  c.group = c.pid > 0 && slots[slot].group;
  return c;
}

bool childsignal(childslot slot, int sig) {
  const childrec c = childheld(slot);
  return c.pid > 0 && kill(c.group ? -c.pid : c.pid, sig) == 0;
}

bool childended(childslot slot, bool wait, void (*stopped)(int sig)) {
  for (;;) {
    const pid_t pid = mine(slots[slot]);
    if (pid <= 0) return true;
    siginfo_t info;
    info.si_pid = 0;
    const int options = WEXITED | WNOWAIT | (wait ? 0 : WNOHANG) | (stopped ? WSTOPPED : 0);
    if (waitid(P_PID, static_cast<id_t>(pid), &info, options) < 0) {
      if (errno == EINTR) continue;
      return true;
    }
    if (info.si_pid == 0) return false;
    if (info.si_code != CLD_STOPPED) return true;
    // A stop is reported until it is taken: once, then.
    waitid(P_PID, static_cast<id_t>(pid), &info, WSTOPPED | WNOHANG);
    stopped(info.si_status);
    if (!wait) return false;
  }
}

bool childreap(childslot slot, int* status) {
  childended(slot, true);
  // It has ended: taken and reaped at once, the ending signals held, so
  // that one that comes meanwhile finds it gone rather than reaped.
  endhold hold;
  hold.hold();
  const pid_t pid = take(slots[slot]);
  if (pid <= 0) return false;
  int st = 0;
  pid_t got;
  while ((got = waitpid(pid, &st, 0)) < 0 && errno == EINTR) {
  }
  *status = got == pid ? st : -1;
  return true;
}

void childend(childslot slot) {
  slotstate& s = slots[slot];
  const bool group = s.group;
  const pid_t pid = take(s);
  if (pid <= 0) return;
  const int saved = errno;
  if (group) {
    kill(-pid, SIGTERM);
    kill(-pid, SIGCONT);  // a stopped one takes it
    endedwithin(pid, kChildGraceMs);
    kill(-pid, SIGKILL);
  } else {
    kill(pid, SIGKILL);
  }
  if (endedwithin(pid, kChildGraceMs)) waitpid(pid, nullptr, WNOHANG);
  errno = saved;
}

void childreaporphans() {
  static const bool first = getpid() == 1;
  siginfo_t info;
  while (first && (info.si_pid = 0, waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT)) == 0 &&
         info.si_pid != 0) {
    for (const slotstate& s : slots)
      if (mine(s) == info.si_pid) return;  // its owner reaps it
    waitid(P_PID, static_cast<id_t>(info.si_pid), &info, WEXITED | WNOHANG);
  }
}
