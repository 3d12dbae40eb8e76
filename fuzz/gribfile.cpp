// Target: a GRIB file opened as it is, and indexed through a descriptor of
// GRIB2 variables.
//
// Input: GRIB bytes (d.grb; messages of either edition, damaged or not).
// The file is scanned and made a data set, whose every variable (at most
// 8) is read at its first level and first times (at most 4) over a window
// of at most 34 x 34 points; then the index maker indexes the file through
// a dtype grib2 descriptor of a 4 x 3 grid and the same reads are made
// through its index.
#include <cstdint>
#include <cstdio>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/gribmap.h"
#include "data/gribset.h"
#include "fuzzutil.h"
#include "gridreads.h"

namespace {

const char kDescr[] =
    "dset ^d.grb\nindex ^d.idx\ndtype grib2\nundef -9.99e8\n"
    "xdef 4 linear 0 90\nydef 3 linear -90 90\nzdef 2 levels 1000 500\n"
    "tdef 3 linear 00z01jan1990 6hr\nvars 3\na 2 0,0,0,100 levels\nb 0 0,1,8,1,-999,1,6 period\n"
    "c 0 0,3,1,101,0 level\nendvars\n";

void release(datafile* pfi) {
  if (pfi->infile) std::fclose(pfi->infile);
  pfi->infile = nullptr;
  frepfi(pfi, 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  ominit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  fuzz::stage({{"d.grb", std::string(reinterpret_cast<const char*>(data), size)}, {"d.ctl", kDescr}}, 10000);
  mfcmn.mfcal = -999;
  datafile* pfi = getpfi();
  if (!pfi) return 0;
  if (omgribopen("d.grb", pfi) == 0) fuzz::readgrids(pfi);
  release(pfi);
  if (gribindex("d.ctl", 0) == 1) {
    pfi = getpfi();
    if (pfi && omddes("d.ctl", pfi, 1) == 0) {
      pfi->infile = std::fopen(pfi->name.c_str(), "rb");
      if (pfi->infile) fuzz::readgrids(pfi);
    }
    if (pfi) release(pfi);
  }
  return 0;
}
