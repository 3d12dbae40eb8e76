// The warning before the end of the CPU time the user gave the session.
#include "base/cpulimit.h"

#include <signal.h>
#include <sys/resource.h>
#include <time.h>

void omcpuwarn() {
  struct rlimit cpu;
  if (getrlimit(RLIMIT_CPU, &cpu) != 0 || cpu.rlim_cur == RLIM_INFINITY) return;
  // With a one-second limit there is no second to spare.
  if (cpu.rlim_cur != cpu.rlim_max || cpu.rlim_cur < 2) return;
  struct sigevent ev = {};
  ev.sigev_notify = SIGEV_SIGNAL;
  ev.sigev_signo = SIGXCPU;
  timer_t timer;
  if (timer_create(CLOCK_PROCESS_CPUTIME_ID, &ev, &timer) != 0) return;
  // The limit counts the process's CPU time since it began, as this clock
  // does.
  struct itimerspec at = {};
  at.it_value.tv_sec = static_cast<time_t>(cpu.rlim_cur - 1);
  timer_settime(timer, TIMER_ABSTIME, &at, nullptr);
}
