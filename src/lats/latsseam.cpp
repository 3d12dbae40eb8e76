// The GRIB index maker as the LATS GRIB writer runs it at close.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/outflush.h"
#include "base/ownedfd.h"
#include "data/gribmap.h"
#include "lats/lats.h"

namespace {

bool runmap(const char* descr, int ignfcst, const char* shown) {
  gmpcmn.descr = descr ? descr : "";
  // Set both ways: a forecast-hourly file closed after another kind must
  // not inherit that run's ignoring of forecast times, or every forecast
  // would be indexed at its base time, the last one overwriting the rest.
  gmpcmn.ignfcst = ignfcst ? 1 : 0;
  gmpcmn.skip = 0;
  gmpcmn.verbose = 0;
  gmpcmn.version = 2;
  gmpcmn.scanlim = 1000;
  gmpcmn.update = 0;
  gmpcmn.write = 1;
  mfcmn.mffullyr = 1;
  int rc = gribmap();
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
                shown ? shown : gmpcmn.descr.c_str());
  }
  omoutflush();
  return rc == 0 || rc == 1;
}

}  // namespace

// Makes the index of a GRIB data set just written, with the maker's
// settings fixed for this use, and says how it went; false when no usable
// index was made (a data set with no matching record still gets its index).
bool latsgribmap(const char* descr, int ignfcst, int folder, const char* shown) {
  // The names of the descriptor and of the files it names are taken in the
  // folder, whatever its path leads to now: the maker runs from it.
  ownedfd back;
  if (folder >= 0) {
    back.reset(open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (back.get() < 0 || fchdir(folder) != 0) {
      std::printf("LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n");
      return false;
    }
  }
  bool made = runmap(descr, ignfcst, shown);
  if (back.get() >= 0 && fchdir(back.get()) != 0) std::perror("LATS_GRIB: latsgribmap");
  return made;
}
