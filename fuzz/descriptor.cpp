// Target: the descriptor parser and the grid reader.
//
// Input: descriptor text, then (after a "\n=====\n" line) the bytes of
// d.bin, then those of d.aux; descriptors name them ^d.bin (the data, or a
// pdef weight file) and ^d.aux (a GRIB index or station map).  The parsed
// data set is opened as the open command does and the first variable is
// read over a window of at most 34 x 34 points at the first level and time,
// then along time at the last point; nothing more, so a slow input is a
// finding.  Descriptors naming anything outside the scratch directory
// (any '/') are skipped.
#include <cstdint>
#include <cstdio>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/omggrd.h"
#include "data/omgstn.h"
#include "data/gridres.h"
#include "fuzzutil.h"

namespace {

void readwindow(datafile* pfi, int idim, int jdim, const int lo[4], const int hi[4]) {
  gridres* g = omgnew();
  if (!g) return;
  g->pfi = pfi;
  g->pvar = &pfi->pvar1[0];
  g->undef = pfi->undef;
  g->idim = idim;
  g->jdim = jdim;
  for (int k = 0; k < 4; k++) {
    g->dimmin[k] = lo[k];
    g->dimmax[k] = hi[k];
  }
  omggrd(g);
  omgfre(g);
}

int cap(int n, int most) { return n < most ? n : most; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  ominit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  std::vector<std::string> p = fuzz::split(data, size, 3);
  if (!fuzz::local(p[0])) return -1;
  fuzz::stage({{"d.ctl", p[0]}, {"d.bin", p[1]}, {"d.aux", p[2]}}, 10000);
  mfcmn.mfcal = -999;
  omstncache_reset();

  datafile* pfi = getpfi();
  if (!pfi) return 0;
  if (omddes("d.ctl", pfi, 1) == 0 && pfi->type == 1 && !pfi->pvar1.empty() &&
      pfi->vnum > 0) {
    pfi->fnum = 11;
    if (!pfi->tmplat) pfi->infile = std::fopen(pfi->name.c_str(), "rb");
    if (pfi->tmplat || pfi->infile) {
      int nx = pfi->dnum[0], ny = pfi->dnum[1], nt = pfi->dnum[3];
      // One point beyond the file on either side of x and y: requests
      // outside the file are ordinary (set lon wider than the data).
      int lo[4] = {0, 0, 1, 1};
      int hi[4] = {cap(nx, 32) + 1, cap(ny, 32) + 1, 1, 1};
      readwindow(pfi, 0, 1, lo, hi);
      int lo2[4] = {nx, ny, pfi->dnum[2], 1};
      int hi2[4] = {nx, ny, pfi->dnum[2], cap(nt, 16)};
      readwindow(pfi, 3, -1, lo2, hi2);
    }
  }
  if (pfi->infile) std::fclose(pfi->infile);
  pfi->infile = nullptr;
  frepfi(pfi, 0);
  return 0;
}
