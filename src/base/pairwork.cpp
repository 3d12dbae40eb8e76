#include "base/pairwork.h"

#include <sched.h>

#include <csignal>
#include <initializer_list>

bool pairwork::twocpus() {
  cpu_set_t set;
  return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) >= 2;
}

bool pairwork::start() {
  if (started_) return true;
  if (!twocpus()) return false;
  // The thread starts with every signal blocked but those its own faults
  // raise: a fault of a blocked signal would end the process at once.
  sigset_t none, old;
  sigfillset(&none);
  for (int sig : {SIGBUS, SIGSEGV, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&none, sig);
  pthread_sigmask(SIG_BLOCK, &none, &old);
  started_ = pthread_create(&thread_, nullptr, serve, this) == 0;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return started_;
}

void* pairwork::serve(void* self) {
  pairwork* w = static_cast<pairwork*>(self);
  unsigned long seen = 0;
  pthread_mutex_lock(&w->lock_);
  for (;;) {
    while (!w->stop_ && w->given_ == seen) pthread_cond_wait(&w->wake_, &w->lock_);
    if (w->stop_) break;
    seen = w->given_;
    void (*job)(void*, int) = w->job_;
    void* arg = w->arg_;
    pthread_mutex_unlock(&w->lock_);
    job(arg, 1);
    pthread_mutex_lock(&w->lock_);
    w->done_ = seen;
    pthread_cond_broadcast(&w->wake_);
  }
  pthread_mutex_unlock(&w->lock_);
  return nullptr;
}

void pairwork::both(void (*job)(void*, int), void* arg) {
  if (!started_) {
    job(arg, 0);
    job(arg, 1);
    return;
  }
  pthread_mutex_lock(&lock_);
  job_ = job;
  arg_ = arg;
  const unsigned long mine = ++given_;
  pthread_cond_broadcast(&wake_);
  pthread_mutex_unlock(&lock_);
  job(arg, 0);
  pthread_mutex_lock(&lock_);
  while (done_ != mine) pthread_cond_wait(&wake_, &lock_);
  pthread_mutex_unlock(&lock_);
}

pairwork::~pairwork() {
  if (!started_) return;
  pthread_mutex_lock(&lock_);
  stop_ = true;
  pthread_cond_broadcast(&wake_);
  pthread_mutex_unlock(&lock_);
  pthread_join(thread_, nullptr);
}
