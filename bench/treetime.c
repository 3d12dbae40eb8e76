/* Runs a command and measures its whole process tree: the processor time
   (user and system) of the command and of every process below it, those it
   did not wait for included (a helper process that outlives a request, or
   that the command leaves to end on its own), the largest peak resident
   size of any one of them, and the wall time until the command ended.

   It makes itself a child subreaper, so that a process whose parent ended
   is handed to it rather than to init, and reaps every descendant before it
   reports: the kernel adds a reaped process's times to its reaper's
   children times, so RUSAGE_CHILDREN then holds the whole tree.  Its own
   time (and that of a shell that execs it) is not counted.

   Usage: treetime [-a FILE] [-t SECONDS] [-g SECONDS] CMD [ARG...]
     -a FILE     append the report, one line, to FILE (default: no report)
     -t SECONDS  end the whole tree after this long (status "timeout")
     -g SECONDS  how long what the command left running may go on after it
                 ended before it is ended too (default 60)
   The report: "user U sys S wall W maxrss KB status exit N|signal N|timeout
   left N killed N", where left counts the processes still running when the
   command ended and killed those ended at a limit.  Standard input, output
   and error are the command's; treetime exits as the command did. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t alarmed;
static volatile sig_atomic_t forwarded;
static pid_t child;

static void on_alarm(int sig) {
  (void)sig;
  alarmed = 1;
}

/* An ending signal sent to treetime goes to the command, which then ends
   as it would have alone. */
static void on_end(int sig) {
  forwarded = sig;
  if (child > 0) kill(child, sig);
}

static double now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

/* The processes treetime is now the parent of, from /proc (at most max);
   returns how many. */
static int children(long* pids, int max) {
  char path[64], buf[65536];
  int n = 0;
  snprintf(path, sizeof path, "/proc/self/task/%d/children", (int)getpid());
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  size_t got = 0;
  ssize_t len;
  while (got < sizeof buf - 1 && (len = read(fd, buf + got, sizeof buf - 1 - got)) > 0) got += (size_t)len;
  close(fd);
  buf[got] = 0;
  for (char* p = buf; *p && n < max;) {
    char* end;
    long pid = strtol(p, &end, 10);
    if (end == p) break;
    if (pid > 0) pids[n++] = pid;
    p = end;
  }
  return n;
}

/* Sends SIGKILL to every process treetime is now the parent of; returns how
   many.  Those below them come to treetime as they die and are sent the
   same at the next call. */
static int kill_children(void) {
  long pids[4096];
  int n = children(pids, 4096), k = 0;
  for (int i = 0; i < n; i++)
    if (kill((pid_t)pids[i], SIGKILL) == 0) k++;
  return k;
}

static void set_alarm(double secs) {
  struct itimerval it;
  memset(&it, 0, sizeof it);
  if (secs > 0) {
    it.it_value.tv_sec = (time_t)secs;
    it.it_value.tv_usec = (suseconds_t)((secs - (double)(time_t)secs) * 1e6);
    if (it.it_value.tv_sec == 0 && it.it_value.tv_usec == 0) it.it_value.tv_usec = 1;
  }
  setitimer(ITIMER_REAL, &it, NULL);
}

int main(int argc, char** argv) {
  const char* report = NULL;
  double limit = 0, grace = 60;
  int opt;
  while ((opt = getopt(argc, argv, "+a:t:g:")) != -1) {
    if (opt == 'a') report = optarg;
    else if (opt == 't') limit = atof(optarg);
    else if (opt == 'g') grace = atof(optarg);
    else return 125;
  }
  if (optind >= argc) {
    fprintf(stderr, "usage: treetime [-a FILE] [-t SECONDS] [-g SECONDS] CMD [ARG...]\n");
    return 125;
  }
  if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
    perror("treetime: PR_SET_CHILD_SUBREAPER");
    return 125;
  }
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_alarm; /* no SA_RESTART: a wait returns at the alarm */
  sigaction(SIGALRM, &sa, NULL);

  double start = now();
  child = fork();
  if (child < 0) {
    perror("treetime: fork");
    return 125;
  }
  if (child == 0) {
    execvp(argv[optind], argv + optind);
    fprintf(stderr, "treetime: %s: %s\n", argv[optind], strerror(errno));
    _exit(127);
  }
  sa.sa_handler = on_end;
  sigaction(SIGTERM, &sa, NULL);
  sigaction(SIGHUP, &sa, NULL);
  set_alarm(limit);

  double wall = 0;
  int status = 0, done = 0, timeout = 0, killing = 0, left = 0, killed = 0;
  for (;;) {
    int st;
    pid_t pid = waitpid(-1, &st, 0);
    if (pid < 0) {
      if (errno == ECHILD) break;
      if (errno != EINTR) {
        perror("treetime: waitpid");
        return 125;
      }
      if (alarmed) {
        alarmed = 0;
        if (!done) timeout = 1;
        killing = 1;
      }
    } else if (pid == child) {
      done = 1;
      status = st;
      wall = now() - start;
      /* Whatever still runs was left by the command: it has the grace
         period (or what the time limit leaves of it) to end on its own. */
      long pids[4096];
      left = children(pids, 4096);
      if (!killing) {
        double rest = grace;
        if (limit > 0 && limit - wall < rest) rest = limit - wall;
        set_alarm(rest > 0 ? rest : 1e-6);
      }
    }
    if (killing) killed += kill_children();
  }
  set_alarm(0);

  struct rusage ru;
  getrusage(RUSAGE_CHILDREN, &ru);
  if (report) {
    char line[512], how[64];
    if (timeout) snprintf(how, sizeof how, "timeout");
    else if (WIFSIGNALED(status)) snprintf(how, sizeof how, "signal %d", WTERMSIG(status));
    else snprintf(how, sizeof how, "exit %d", WEXITSTATUS(status));
    int len = snprintf(line, sizeof line,
                       "user %.6f sys %.6f wall %.6f maxrss %ld status %s left %d killed %d\n",
                       (double)ru.ru_utime.tv_sec + (double)ru.ru_utime.tv_usec * 1e-6,
                       (double)ru.ru_stime.tv_sec + (double)ru.ru_stime.tv_usec * 1e-6,
                       timeout ? now() - start : wall, ru.ru_maxrss, how, left, killed);
    int fd = open(report, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, line, (size_t)len) != len) {
      perror("treetime: the report");
      return 125;
    }
    close(fd);
  }
  if (timeout) return 124;
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    struct rlimit nocore = {0, 0};
    setrlimit(RLIMIT_CORE, &nocore);
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, NULL);
    raise(sig);
    return 128 + sig;
  }
  return WEXITSTATUS(status);
}
