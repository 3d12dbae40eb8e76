// Target: the station map reader and the station report reader.
//
// Input: the bytes of the station data file (d.bin), then after a
// "\n=====\n" line those of the station map (d.aux), then optionally a
// descriptor text (empty: the default below, two times, surface variables
// ps and ts and a level variable t).  The descriptor is parsed (which reads
// the map) and every variable (at most 6) is requested at the first times
// (at most 3) three ways: the whole globe, a radius round a point and one
// station id.  The whole-globe lists of all variables are then written
// together as a station-report file (gxout writegds), whose records match
// reports by place and time, and each list alone.  Descriptors naming anything outside the
// scratch directory are skipped.  The dictionary has the bytes of NaN and
// the infinities, so report positions and times reach them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/omgstn.h"
#include "data/stnlist.h"
#include "expr/omexpr.h"
#include "fuzzutil.h"
#include "plot/dataout.h"

namespace {

const char kDefault[] =
    "dset ^d.bin\ndtype station\nstnmap ^d.aux\nundef -999\n"
    "options little_endian\ntdef 2 linear 00z01jan2000 12hr\nvars 3\n"
    "ps 0 99 pressure\nts 0 99 temperature\nt 1 99 temperature aloft\nendvars\n";

// The list read, or null when the read failed.
stnlist* request(datafile* pfi, filevar* v, int t1, int t2, int how) {
  stnlist* s = static_cast<stnlist*>(std::calloc(1, sizeof(stnlist)));
  if (!s) return nullptr;
  s->pfi = pfi;
  s->undef = pfi->undef;
  s->idim = how == 2 ? 3 : 0;
  s->jdim = how == 2 ? -1 : 1;
  s->dmin[0] = how == 1 ? 10 : -180;
  s->dmax[0] = how == 1 ? 10 : 540;
  s->dmin[1] = how == 1 ? 40 : -90;
  s->dmax[1] = how == 1 ? 40 : 90;
  s->dmin[2] = 1100;
  s->dmax[2] = 0;
  s->tmin = t1;
  s->tmax = t2;
  if (how == 1) {
    s->rflag = 1;
    s->radius = 30;
  }
  if (how == 2) {
    s->sflag = 1;
    std::memcpy(s->stid, "kabc    ", 8);
  }
  s->pvar = v;
  s->tail = &s->rpt;
  s->rptcnt = STNBLKSZ;
  s->blkcnt = -1;
  if (omgstn(s) != 0) {
    omsfre(s);
    return nullptr;
  }
  omsmnmx(s);
  return s;
}

// The lists written as one station-report file in the scratch directory.
void writegds(const std::vector<stnlist*>& lists) {
  if (lists.empty()) return;
  gcmn.gds = &wgds;
  wgds.fname = "o.gds";
  wgds.opts = "sxyztdi";
  gcmn.rescount = static_cast<int>(lists.size());
  for (size_t k = 0; k < lists.size(); k++) {
    gcmn.restype[k] = 0;
    gcmn.resptr[k] = lists[k];
  }
  omoutgds(&gcmn);
  gcmn.rescount = 0;
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
  fuzz::stage({{"d.bin", p[0]}, {"d.aux", p[1]}, {"d.ctl", ctl}}, 10000);
  mfcmn.mfcal = -999;
  omstncache_reset();

  datafile* pfi = getpfi();
  if (!pfi) return 0;
  if (omddes("d.ctl", pfi, 1) == 0 && pfi->type == 2) {
    pfi->fnum = 11;
    if (!pfi->tmplat) pfi->infile = std::fopen(pfi->name.c_str(), "rb");
    if ((pfi->tmplat || pfi->infile) && pfi->dnum[3] >= 1) {
      int nt = pfi->dnum[3] < 3 ? pfi->dnum[3] : 3;
      int nv = static_cast<int>(pfi->pvar1.size()) < 6 ? static_cast<int>(pfi->pvar1.size()) : 6;
      std::vector<stnlist*> globe;
      for (int v = 0; v < nv; v++) {
        for (int how = 0; how < 3; how++) {
          stnlist* s = request(pfi, &pfi->pvar1[v], 1, nt, how);
          if (s && how == 0) globe.push_back(s);
          else if (s) omsfre(s);
        }
      }
      writegds(globe);
      // Alone, a level variable leads its records, which are then taken
      // up only by matching places.
      for (stnlist* s : globe) writegds({s});
      for (stnlist* s : globe) omsfre(s);
    }
  }
  if (pfi->infile) std::fclose(pfi->infile);
  pfi->infile = nullptr;
  frepfi(pfi, 0);
  omstncache_reset();
  return 0;
}
