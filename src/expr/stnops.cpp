// Operations on station lists, and the release of results.
#include <cstdlib>

#include "base/omprnt.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"
#include "expr/opcore.h"

void omfree(evalstat* pst) {
  if (pst->type == 1) omgfre(pst->result.pgr);
  else omsfre(pst->result.stn);
  pst->result.pgr = nullptr;
}

namespace {

enum { MATCHXY, MATCHZ, MATCHT };

bool rptmatch(int mode, const stnrpt* r, const stnrpt* s) {
  if (mode == MATCHXY) return r->lat == s->lat && r->lon == s->lon;
  if (mode == MATCHZ) return r->lev == s->lev;
  return r->tim == s->tim;
}

template <int OP>
void stnpair(stnlist* l1, stnlist* l2, int mode, bool swapped) {
  for (stnrpt* r = l1->rpt; r; r = r->rpt) {
    if (r->val == l1->undef) continue;
    const stnrpt* s = l2->rpt;
    while (s && (s->val == l2->undef || !rptmatch(mode, r, s))) s = s->rpt;
    float v;
    bool ok = s && (swapped ? omopv<OP>(s->val, r->val, &v) : omopv<OP>(r->val, s->val, &v));
    r->val = ok ? v : l1->undef;
  }
}

template <int OP>
void stnconst(stnlist* stn, float c, int swap) {
  for (stnrpt* r = stn->rpt; r; r = r->rpt) {
    if (r->val == stn->undef) continue;
    float v;
    bool ok = swap ? omopv<OP>(c, r->val, &v) : omopv<OP>(r->val, c, &v);
    r->val = ok ? v : stn->undef;
  }
}

}  // namespace

stnlist* omstop(stnlist* stn1, stnlist* stn2, int op, int rel) {
  if (!omopvalid(op)) {
    omprnt(0, "Internal logic check 57: invalid oper value\n");
    return nullptr;
  }
  int mode;
  if (stn1->idim == 0 && stn1->jdim == 1 && stn2->idim == 0 && stn2->jdim == 1) {
    mode = MATCHXY;
  } else if (stn1->idim == 2 && stn1->jdim == -1 && stn2->idim == 2 && stn2->jdim == -1) {
    mode = MATCHZ;
  } else if (stn1->idim == 3 && stn1->jdim == -1 && stn2->idim == 3 && stn2->jdim == -1) {
    mode = MATCHT;
  } else {
    omprnt(0, "Invalid dimension environment for station data");
    omprnt(0, " operation\n");
    return nullptr;
  }
  stnlist* l1 = stn1;
  stnlist* l2 = stn2;
  bool swapped = false;
  if (stn2->rnum < stn1->rnum) {
    l1 = stn2;
    l2 = stn1;
    swapped = true;
  }
  OM_OP_SWITCH(op, stnpair<OPC>(l1, l2, mode, swapped));
  if (rel) omsfre(l2);
  return l1;
}

stnlist* omscop(stnlist* stn, float val, int op, int swap) {
  if (!omopvalid(op)) {
    omprnt(0, "Internal logic check 57: invalid oper value\n");
    return nullptr;
  }
  OM_OP_SWITCH(op, stnconst<OPC>(stn, val, swap));
  return stn;
}
