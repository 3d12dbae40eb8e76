// The GRIB index maker as the LATS GRIB writer runs it at close.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "base/cmnstate.h"
#include "base/errout.h"
#include "base/omprnt.h"
#include "base/outflush.h"
#include "base/ownedfd.h"
#include "base/replsig.h"
#include "data/gribmap.h"
#include "lats/lats.h"

namespace {

bool runmap(const char* descr, int ignfcst, const char* shown) {
  mfcmn.mffullyr = 1;
  // The maker the gribmap command runs.  Its forecast setting is set both
  // ways: a forecast-hourly file closed after another kind must not
  // inherit that run's ignoring of forecast times, or every forecast would
  // be indexed at its base time, the last one overwriting the rest.
  int rc = gribindex(descr ? descr : "", ignfcst);
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
  int ignfcst;
  int folder;
  const char* shown;
  sigset_t mask;       // the session's signal mask, which the run keeps
  bool moved = false;  // the run was made in the folder
  bool made = false;
};

// The run, in a thread whose working folder alone is the folder: the
// session's own working folder is neither changed nor needed (the user
// may not be able to search it).  Where the kernel gives no thread a
// working folder of its own (a filter on its system calls), the session
// moves there and back, which needs its working folder searchable.
void* runinfolder(void* arg) {
  mapjob* j = static_cast<mapjob*>(arg);
  pthread_sigmask(SIG_SETMASK, &j->mask, nullptr);
  const bool own = unshare(CLONE_FS) == 0;
  ownedfd back;
  if (!own) back.reset(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  j->moved = (own || back.get() >= 0) && fchdir(j->folder) == 0;
  if (j->moved) j->made = runmap(j->descr, j->ignfcst, j->shown);
  if (back.get() >= 0 && fchdir(back.get()) != 0)
    omerrf("LATS_GRIB: latsgribmap: %s\n", std::strerror(errno));
  return nullptr;
}

}  // namespace

// Makes the index of a GRIB data set just written, with the maker's
// settings fixed for this use, and says how it went; false when no usable
// index was made (a data set with no matching record still gets its index).
bool latsgribmap(const char* descr, int ignfcst, int folder, const char* shown) {
  if (folder < 0) return runmap(descr, ignfcst, shown);
  // The names of the descriptor and of the files it names are taken in the
  // folder, whatever its path leads to now.  Every signal reaches the run's
  // thread alone meanwhile: an ending or an interrupt is taken there, as
  // it would be in the session's own thread.
  mapjob j{descr, ignfcst, folder, shown, {}};
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &j.mask);
  pthread_t run;
  if (pthread_create(&run, nullptr, runinfolder, &j) == 0) pthread_join(run, nullptr);
  pthread_sigmask(SIG_SETMASK, &j.mask, nullptr);
  if (!j.moved) std::printf("LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n");
  return j.made;
}
