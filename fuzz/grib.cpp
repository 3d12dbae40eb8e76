// Target: the GRIB record reader and the GRIB index reader (a file pair).
//
// Input: GRIB bytes (d.grb), then after a "\n=====\n" line the bytes of
// the index (d.idx), then optionally a descriptor text (empty: the default
// one below, a 4 x 3 grid of three times and two variables).  The data set
// is parsed with the given index and every variable is read at every time
// (at most four); then the index maker scans the GRIB file, writes its own
// index over d.idx, and the same grids are read again through it.
// Descriptors naming anything outside the scratch directory are skipped.
#include <cstdint>
#include <cstdio>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/gribmap.h"
#include "data/omggrd.h"
#include "data/gridres.h"
#include "fuzzutil.h"
#include "gridreads.h"

namespace {

const char kDefault[] =
    "dset ^d.grb\nindex ^d.idx\ndtype grib\nundef -9.99e8\n"
    "xdef 4 linear 0 90\nydef 3 linear -90 90\nzdef 1 levels 1000\n"
    "tdef 3 linear 00z01jan1990 1dy\nvars 2\na 0 11,1,0 first\nb 0 12,1,0 second\nendvars\n";

// Reads the data set of d.ctl.
void readall() {
  datafile* pfi = getpfi();
  if (!pfi) return;
  if (omddes("d.ctl", pfi, 1) == 0 && pfi->type == 1) {
    pfi->fnum = 11;
    if (!pfi->tmplat) pfi->infile = std::fopen(pfi->name.c_str(), "rb");
    if (pfi->tmplat || pfi->infile) fuzz::readgrids(pfi);
  }
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
  std::vector<std::string> p = fuzz::split(data, size, 3);
  std::string ctl = p[2].empty() ? std::string(kDefault) : p[2];
  if (!fuzz::local(ctl)) return -1;
  fuzz::stage({{"d.grb", p[0]}, {"d.idx", p[1]}, {"d.ctl", ctl}}, 10000);
  mfcmn.mfcal = -999;

  readall();
  gmpcmn = gmapset();
  gmpcmn.descr = "d.ctl";
  if (gribmap() == 1) readall();
  return 0;
}
