// Station requests: the environment's box, level and time range, narrowed
// by overrides, a radius or a station id, then read.
#include <cstdlib>
#include <cstring>

#include "base/omprnt.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"
#include "expr/varprs.h"
#include "expr/varread.h"

namespace {

// Kinds counted for "at most twice": X, Y, Z, T, radius, station id.
enum { KRAD = 4, KSTID = 5 };

bool modvarying(const evalstat* pst, int kind, const char* vnam) {
  bool bad;
  if (kind < 4) bad = pst->idim == kind || pst->jdim == kind;
  else bad = pst->idim == 0 || pst->idim == 1 || pst->jdim == 1;
  if (!bad) return false;
  omprnt(0, "Data Request Error: Invalid dimension expression\n");
  omprnt(0, "  Attempt to set or modify varying dimension\n");
  omprntf(0, "  Variable = %s, Dimension = %i \n", vnam, kind);
  return true;
}

// A time bound as an integer grid index (truncated toward zero), kept in a
// range that no time axis reaches instead of overflowing.
int timeindex(float g) {
  if (!(g > -1e9f)) return -1000000000;
  if (g > 1e9f) return 1000000000;
  return static_cast<int>(g);
}

}  // namespace

const char* stnvar(const char* p, const char* vnam, datafile* pfi, filevar* pvar,
                   evalstat* pst) {
  float dmin[4], dmax[4];
  for (int d = 0; d < 3; d++) {
    dmin[d] = pst->dmin[d];
    dmax[d] = pst->dmax[d];
  }
  const float* tvals = pfi->abvals[3];
  dmin[3] = tvals ? static_cast<float>(t2gr(tvals, &pst->tmin)) : 1.0f;
  dmax[3] = tvals ? static_cast<float>(t2gr(tvals, &pst->tmax)) : 1.0f;
  int rflag = 0, sflag = 0;
  float radius = 0.0f;
  char stid[8];
  std::memset(stid, ' ', 8);
  int count[6] = {0, 0, 0, 0, 0, 0};

  if (*p == '(') {
    p++;
    while (*p != ')') {
      if (*p == '\0' || *p == '\n') {
        omprnt(0, "Syntax Error:  Invalid dimension expression\n");
        omprnt(0, "  Missing ')' after the dimension expressions\n");
        omprntf(0, "  Variable name = %s\n", vnam);
        return nullptr;
      }
      int kind;
      float gval = 0.0f;
      const char* q;
      if (std::strncmp(p, "stid=", 5) == 0) {
        q = p + 5;
        size_t len = std::strcspn(q, ",)\n");
        if (len == 0) {
          omprnt(0, "Dimension Expression Error: No stid provided\n");
          q = nullptr;
        } else if (len > 8) {
          omprnt(0, "Dimension Expression Error: stid too long\n");
          q = nullptr;
        } else {
          std::memset(stid, ' ', 8);
          std::memcpy(stid, q, len);
          q += len;
        }
        kind = KSTID;
      } else {
        int dim, wflag;
        q = dimprs(p, pst, pfi, &dim, &gval, 0, &wflag);
        kind = dim == 9 ? KRAD : dim;
      }
      if (!q) {
        omprntf(0, "  Variable name = %s\n", vnam);
        return nullptr;
      }
      if (++count[kind] > 2) {
        omprnt(0, "Syntax Error: Invalid dimension expression\n");
        omprnt(0, "  Same dimension specified more than twice ");
        omprntf(0, "for variable = %s\n", vnam);
        return nullptr;
      }
      if (modvarying(pst, kind, vnam)) return nullptr;
      if (kind < 4) {
        if (count[kind] == 1) dmin[kind] = gval;
        dmax[kind] = gval;
      } else if (kind == KRAD) {
        rflag = 1;
        radius = gval;
      } else {
        sflag = 1;
      }
      p = q;
      if (*p == ',') p++;
    }
    p++;
  }

  for (int d = 0; d < 4; d++) {
    bool bad = d == 2 ? dmin[d] < dmax[d] : dmax[d] < dmin[d];
    if (bad) {
      omprnt(0, "Data Request Error: Invalid grid coordinates\n");
      omprntf(0, "  Varying dimension %i decreases: %g to %g \n", d, dmin[d], dmax[d]);
      omprntf(0, "  Error ocurred getting variable '%s'\n", vnam);
      return nullptr;
    }
  }

  stnlist* stn = static_cast<stnlist*>(std::calloc(1, sizeof(stnlist)));
  float* tcopy = static_cast<float*>(std::malloc(TAXIS_FLOATS * sizeof(float)));
  if (!stn || !tcopy) {
    omprnt(0, "Memory Allocation Error:  Station Request Block \n");
    std::free(stn);
    std::free(tcopy);
    return nullptr;
  }
  if (tvals) std::memcpy(tcopy, tvals, TAXIS_FLOATS * sizeof(float));
  else std::memset(tcopy, 0, TAXIS_FLOATS * sizeof(float));
  stn->pfi = pfi;
  stn->undef = pfi->undef;
  stn->idim = pst->idim;
  stn->jdim = pst->jdim;
  for (int d = 0; d < 3; d++) {
    stn->dmin[d] = dmin[d];
    stn->dmax[d] = dmax[d];
  }
  stn->rflag = rflag;
  stn->radius = radius;
  stn->sflag = sflag;
  std::memcpy(stn->stid, stid, 8);
  stn->tmin = timeindex(dmin[3]);
  stn->tmax = timeindex(dmax[3]);
  stn->tvals = tcopy;
  stn->pvar = pvar;
  stn->tail = &stn->rpt;
  stn->rptcnt = STNBLKSZ;
  stn->blkcnt = -1;
  if (omvstn(stn)) {
    omprntf(0, "Data Request Error:  Variable is '%s'\n", vnam);
    omsfre(stn);
    return nullptr;
  }
  pst->result.stn = stn;
  pst->type = 0;
  return p;
}
