// The stand-alone GRIB index maker: makes the index named by the index
// record of each GRIB descriptor given, so that GRIB files written by other
// programs (a model, cdo, a data centre) can be opened.  It runs the maker
// with the settings the LATS writer uses.
#include "main/gmapcli.h"

#include <cstdio>
#include <cstring>

#include "cmd/cmnstate.h"
#include "data/gribmap.h"

namespace {

void usage() {
  std::printf("Usage: omgribmap [-0] descriptor-file ...\n");
  std::printf("  Makes the index file of each GRIB data descriptor (dtype grib).\n");
  std::printf("  -0  ignore forecast times: every record is placed at its base time\n");
}

// What the result of one run means to the user.
bool report(const char* descr, int rc) {
  if (rc == 1) {
    std::printf("omgribmap: index of %s made\n", descr);
    return true;
  }
  if (rc == 0)
    std::printf("omgribmap: no GRIB record of %s matched its descriptor; every value will be "
                "undefined\n", descr);
  else if (rc > 99)
    std::printf("omgribmap: records of %s have a grid that does not fit the descriptor "
                "(rc = %d)\n", descr, rc);
  else if (rc >= 2)
    std::printf("omgribmap: the GRIB data of %s are badly coded (rc = %d)\n", descr, rc);
  else
    std::printf("omgribmap: no index was made for %s\n", descr);
  return false;
}

}  // namespace

int gmapcli(int argc, char** argv) {
  int ignfcst = 0;
  int ndescr = 0;
  bool ok = true;
  ominit();
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (std::strcmp(a, "-0") == 0) {
      ignfcst = 1;
      continue;
    }
    if (a[0] == '-') {
      usage();
      return 2;
    }
    ndescr++;
    gmpcmn = gmapset();
    gmpcmn.descr = a;
    gmpcmn.ignfcst = ignfcst;
    gmpcmn.scanlim = 1000;
    gmpcmn.version = 2;
    gmpcmn.write = 1;
    mfcmn.mffullyr = 1;
    if (!report(a, gribmap())) ok = false;
    std::fflush(stdout);
  }
  if (ndescr == 0) {
    usage();
    return 2;
  }
  return ok ? 0 : 1;
}
