// A second processor for work that splits in two independent halves: a
// thread of the program's own runs one half while the calling thread runs
// the other.
//
// The thread takes none of the signals sent to the program: an interrupt,
// a closed pipe or an ending is taken by the program's own thread, as when
// there is no second one, and ends the whole process, the second thread
// with it.  Only the signals a fault of its own raises reach it (a file
// cut under a map read that it makes: see mapread in data/filemap.h).  It
// lives as long as the record that started it, waiting between jobs, and is
// ended and waited for when the record goes: nothing of it outlives the
// work it was started for.
#pragma once

#include <pthread.h>

class pairwork {
 public:
  pairwork() = default;
  pairwork(const pairwork&) = delete;
  pairwork& operator=(const pairwork&) = delete;
  ~pairwork();

  // Whether this thread may run on two processors at once (asked anew each
  // time: the user may have pinned the program to one since).
  static bool twocpus();

  // Starts the second thread where the process may use two processors;
  // false, with nothing started, otherwise or where no thread can be had.
  bool start();
  bool started() const { return started_; }

  // Runs job(arg, 1) on the second thread and job(arg, 0) on this one, and
  // returns when both are done; without a second thread, both halves here,
  // in turn.  job must not leave its thread by a jump or an exception.
  void both(void (*job)(void*, int), void* arg);

 private:
  static void* serve(void* self);
  pthread_t thread_{};
  pthread_mutex_t lock_ = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t wake_ = PTHREAD_COND_INITIALIZER;
  void (*job_)(void*, int) = nullptr;
  void* arg_ = nullptr;
  unsigned long given_ = 0, done_ = 0;  // jobs handed to the thread, and finished by it
  bool stop_ = false;
  bool started_ = false;
};
