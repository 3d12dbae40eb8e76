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
#include "data/gridres.h"
#include "data/omggrd.h"
#include "fuzzutil.h"

namespace {

const char kDescr[] =
    "dset ^d.grb\nindex ^d.idx\ndtype grib2\nundef -9.99e8\n"
    "xdef 4 linear 0 90\nydef 3 linear -90 90\nzdef 2 levels 1000 500\n"
    "tdef 3 linear 00z01jan1990 6hr\nvars 3\na 2 0,0,0,100 levels\nb 0 0,1,8,1,-999,1,6 period\n"
    "c 0 0,3,1,101,0 level\nendvars\n";

int cap(int n, int most) { return n < most ? n : most; }

void readall(datafile* pfi) {
  const int nv = cap(static_cast<int>(pfi->pvar1.size()), 8);
  for (int v = 0; v < nv; v++) {
    for (int t = 1; t <= cap(pfi->dnum[3], 4); t++) {
      gridres* g = omgnew();
      if (!g) return;
      g->pfi = pfi;
      g->pvar = &pfi->pvar1[v];
      g->undef = pfi->undef;
      g->idim = 0;
      g->jdim = 1;
      int lo[4] = {0, 0, 1, t};
      int hi[4] = {cap(pfi->dnum[0], 32) + 1, cap(pfi->dnum[1], 32) + 1, 1, t};
      for (int k = 0; k < 4; k++) {
        g->dimmin[k] = lo[k];
        g->dimmax[k] = hi[k];
      }
      omggrd(g);
      omgfre(g);
    }
  }
}

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
  if (omgribopen("d.grb", pfi) == 0) readall(pfi);
  release(pfi);
  if (gribindex("d.ctl", 0) == 1) {
    pfi = getpfi();
    if (pfi && omddes("d.ctl", pfi, 1) == 0) {
      pfi->infile = std::fopen(pfi->name.c_str(), "rb");
      if (pfi->infile) readall(pfi);
    }
    if (pfi) release(pfi);
  }
  return 0;
}
