// The GRIB index maker as the LATS GRIB writer runs it at close.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/outflush.h"
#include "base/replsig.h"
#include "data/gribmap.h"
#include "lats/lats.h"

namespace {

bool runmap(const char* descr, const std::string& text, int ignfcst, const char* shown) {
  mfcmn.mffullyr = 1;
  // The maker the gribmap command runs, on the descriptor text the session
  // wrote.  Its forecast setting is set both ways: a forecast-hourly file
  // closed after another kind must not inherit that run's ignoring of
  // forecast times, or every forecast would be indexed at its base time,
  // the last one overwriting the rest.
  int rc = gribindex(descr ? descr : "", ignfcst, text);
  if (rc == 0) {
    std::printf("\nLATS_GRIB: latsgribmap WARNING: no GRIB records matched!!!!!\n");
    std::printf("LATS_GRIB: the .ctl will return undefined data only\n");
    std::printf("LATS_GRIB: likely cause -- improper LATS setup\n\n");
  } else if (rc > 99) {
    std::printf("\nLATS_GRIB: latsgribmap ERROR: problem with the GRIB data...\n");
    std::printf("LATS_GRIB: rc = %d\n\n", rc);
  } else if (rc >= 2) {
    std::printf("\nLATS_GRIB: latsgribmap ERROR: GRIB data improperly coded by fgbds\n");
    std::printf("LATS_GRIB: rc = %d\n\n", rc);
  } else if (rc < 0) {
    // A run that made no index is not reported as a success.
    std::printf("LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n");
  } else {
    std::printf("LATS_GRIB: SUCCESS -- gribmap for %s seems to have worked...\n",
                shown ? shown : replshownname(gmpcmn.descr).c_str());
  }
  omoutflush();
  return rc == 0 || rc == 1;
}

// One run of the maker in a folder: what it is given, and what came of it.
struct mapjob {
  const char* descr;
  const std::string& text;
  int ignfcst;
  int folder;
  const char* shown;
  bool thread;          // run in a thread of its own
  sigset_t mask = {};   // the session's signal mask, which the run keeps
  bool made = false;
};

// The run in the folder.  A thread of its own is given the folder as its
// working folder alone: the session's own working folder is neither
// changed nor needed (the user may not be able to search it).  Where no
// such thread can be had (the kernel refuses a thread a working folder of
// its own, as a filter on its system calls may, or no thread can be
// started at all), the names are taken through the held folder's own name
// in /proc, and no working folder changes at all.
void* runinfolder(void* arg) {
  mapjob* j = static_cast<mapjob*>(arg);
  if (j->thread) pthread_sigmask(SIG_SETMASK, &j->mask, nullptr);
  if (j->thread && unshare(CLONE_FS) == 0) {
    if (fchdir(j->folder) == 0) j->made = runmap(j->descr, j->text, j->ignfcst, j->shown);
    else std::printf("LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n");
    return nullptr;
  }
  const std::string through = "/proc/self/fd/" + std::to_string(j->folder) + "/" + j->descr;
  j->made = runmap(through.c_str(), j->text, j->ignfcst, j->shown);
  return nullptr;
}

}  // namespace

// Makes the index of a GRIB data set just written, with the maker's
// settings fixed for this use, and says how it went; false when no usable
// index was made (a data set with no matching record still gets its index).
bool latsgribmap(const char* descr, const std::string& text, int ignfcst, int folder, const char* shown) {
  if (folder < 0) return runmap(descr, text, ignfcst, shown);
  // The names of the descriptor and of the files it names are taken in the
  // folder, whatever its path leads to now.  Every signal reaches the run's
  // thread alone meanwhile: an ending or an interrupt is taken there, as
  // it would be in the session's own thread.
  mapjob j{descr, text, ignfcst, folder, shown, true};
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &j.mask);
  pthread_t run;
  const bool started = pthread_create(&run, nullptr, runinfolder, &j) == 0;
  if (started) pthread_join(run, nullptr);
  pthread_sigmask(SIG_SETMASK, &j.mask, nullptr);
  if (!started) {
    j.thread = false;
    runinfolder(&j);
  }
  return j.made;
}
