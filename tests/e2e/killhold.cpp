// Loaded into a program under test (LD_PRELOAD): holds it at its Nth call
// of kill() as a debugger's pause would, so that a test can act between
// what the program looked at and what it then signals.  The call says so
// with a byte on descriptor KILLHOLD_TELL and goes on once a byte comes on
// KILLHOLD_GO.  Without KILLHOLD_AT it holds nothing.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace {

int (*real)(pid_t, int) = nullptr;
int at = 0, tell = -1, go = -1;
volatile sig_atomic_t calls = 0;

int number(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : -1;
}

__attribute__((constructor)) void setup() {
  real = reinterpret_cast<int (*)(pid_t, int)>(dlsym(RTLD_NEXT, "kill"));
  at = number("KILLHOLD_AT");
  tell = number("KILLHOLD_TELL");
  go = number("KILLHOLD_GO");
}

}  // namespace

extern "C" int kill(pid_t pid, int sig) {
  calls = calls + 1;
  if (calls == at) {
    char b = 'k';
    if (write(tell, &b, 1) == 1) (void)!read(go, &b, 1);
  }
  return real(pid, sig);
}
