// The GRIB index maker as the LATS GRIB writer runs it at close.
#include <cstdio>

#include "cmd/cmnstate.h"
#include "cmd/omprnt.h"
#include "data/gribmap.h"
#include "lats/lats.h"

// Makes the index of a GRIB data set just written, with the maker's
// settings fixed for this use, and says how it went.
void latsgribmap(const char* descr, int ignfcst) {
  gmpcmn.descr = descr ? descr : "";
  if (ignfcst) gmpcmn.ignfcst = 1;
  gmpcmn.skip = 0;
  gmpcmn.verbose = 0;
  gmpcmn.version = 2;
  gmpcmn.scanlim = 1000;
  gmpcmn.update = 0;
  gmpcmn.write = 1;
  mfcmn.mffullyr = 1;
  int rc = gribmap();
  if (rc == 0) {
    std::printf("LATS_GRIB: latsgribmap WARNING: no GRIB records matched!!!!!\n");
    std::printf("LATS_GRIB: the .ctl will return undefined data only\n");
    std::printf("LATS_GRIB: likely cause: the variables or times of the .ctl differ from the GRIB data\n");
  } else if (rc > 99) {
    std::printf("LATS_GRIB: latsgribmap ERROR: problem with the GRIB data...\n");
    std::printf("LATS_GRIB: rc = %d\n", rc);
  } else if (rc >= 2) {
    std::printf("LATS_GRIB: latsgribmap ERROR: GRIB data improperly coded by fgbds\n");
    std::printf("LATS_GRIB: rc = %d\n", rc);
  } else if (rc < 0) {
    // A run that made no index is not reported as a success.
    std::printf("LATS_GRIB: latsgribmap ERROR: the GRIB index was not made\n");
  } else {
    std::printf("LATS_GRIB: latsgribmap: the GRIB index was made\n");
  }
  std::fflush(stdout);
}
