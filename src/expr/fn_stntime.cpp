// Station time reductions: stnave, stnmin and stnmax evaluate a station
// expression at each time of a range and gather the reports of each
// station (same id, latitude and longitude) into one result list.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/omgstn.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/fn_common.h"
#include "expr/fn_stn.h"
#include "expr/omexpr.h"
#include "expr/omfunc.h"

namespace {

// Evaluates the station expression at grid time k; null after the
// messages (a grid is refused).
stnlist* stnstep(const char* text, evalstat* pst, int k, const char* uname) {
  fnsetdim(pst, 3, k);
  if (omexpr(text, pst) == 0) {
    if (pst->type == 0) {
      stnlist* s = pst->result.stn;
      pst->result.stn = nullptr;
      return s;
    }
    omfree(pst);
  }
  omprntf(0, "Error from %s:  Unable to evaluate expression\n", uname);
  return nullptr;
}

// Merges one step into the result, creating the result at the first
// step.  False after the messages (the step list released).
bool stnaccum(stnacc& acc, stnlist* step, int variant, const std::vector<bool>& keep,
              const char* uname) {
  bool ok = true;
  if (!acc.res) acc.res = stnrescopy(step);
  if (!acc.res) {
    ok = false;
  } else if (stnmerge(acc, step, variant, keep)) {
    omprnt(0, "Memory Allocation Error:  Station Block \n");
    ok = false;
  }
  if (!ok) omprntf(0, "Error from %s:  Unable to evaluate expression\n", uname);
  omsfre(step);
  return ok;
}

void setresult(evalstat* pst, stnacc& acc) {
  pst->result.stn = acc.res;
  pst->type = 0;
  acc.res = nullptr;
}

// Minimum (variant 0) or maximum (variant 1).  The messages name STNMIN
// for both, as they always have.
int ffsmnx(fargs* pfa, evalstat* pst, int variant) {
  if (pst->idim != 0 || pst->jdim != 1) {
    omprnt(0, "Error from STNMIN:  X, Y varying environment required\n");
    return 1;
  }
  if (pfa->argnum < 3 || pfa->argnum > 4) {
    omprnt(0, "Error from STNMIN:  Too many or too few args \n");
    omprnt(0, "                    3 or 4 arguments expected \n");
    return 1;
  }
  int d1, d2, wf;
  float g1, g2;
  if (!fndim(pfa->argpnt[1], pst, &d1, &g1, &wf) || d1 != 3) {
    omprnt(0, "Error from STNMIN:  1st dimension expression invalid\n");
    return 1;
  }
  if (!fndim(pfa->argpnt[2], pst, &d2, &g2, &wf) || d2 != 3) {
    omprnt(0, "Error from STNMIN:  2nd dimension expression invalid\n");
    return 1;
  }
  int n = 1;
  if (pfa->argnum == 4 && fndarg(pfa->argpnt[3], &n)) return 1;
  int k1, k2;
  if (!fnrange(g1, g2, &k1, &k2) || k1 > k2) {
    omprnt(0, "Error from STNMIN:  No times between the two dimension expressions\n");
    return 1;
  }
  stnacc acc;
  for (int k = k1; k <= k2; k++) {
    stnlist* step = stnstep(pfa->argpnt[0], pst, k, "STNMIN");
    if (!step || !stnaccum(acc, step, variant, {}, "STNMIN")) {
      omsfre(acc.res);
      return 1;
    }
  }
  stnfinish(acc.res, n, false);
  setresult(pst, acc);
  return 0;
}

// The increment of stnave from its fourth argument; false after the
// message.  amo and amn are the time axis's month and minute steps.
bool saveincr(const char* arg, int amo, int amn, int* mos, int* mns) {
  const char* bad = "Error from STNAVE: Invalid time increment argument\n";
  int n;
  const char* q = intprs(arg, &n);
  if (!q) {
    omprnt(0, bad);
    return false;
  }
  long long lmo, lmn;
  if (*q == '\0') {
    lmo = static_cast<long long>(n) * amo;
    lmn = static_cast<long long>(n) * amn;
  } else {
    datetime dt = {0, 0, 0, 0, 0};
    const char* e = rdtprs(arg, &dt);
    if (!e || *e != '\0') {
      omprnt(0, bad);
      return false;
    }
    lmo = static_cast<long long>(dt.yr) * 12 + dt.mo;
    lmn = static_cast<long long>(dt.dy) * 1440 + static_cast<long long>(dt.hr) * 60 + dt.mn;
    bool ok;
    if (lmo > 0 && amo > 0)
      ok = lmo % amo == 0;
    else if (lmo > 0 && amn > 0)
      ok = true;
    else if (lmn > 0 && amn > 0)
      ok = lmn % amn == 0;
    else
      ok = false;
    if (!ok) {
      omprnt(0, bad);
      return false;
    }
  }
  // A zero step would never leave the first time; a huge one is no step.
  const long long lim = 1000000000LL;
  if (lmo < 0 || lmn < 0 || (lmo == 0 && lmn == 0) || lmo > lim || lmn > lim) {
    omprnt(0, bad);
    return false;
  }
  *mos = static_cast<int>(lmo);
  *mns = static_cast<int>(lmn);
  return true;
}

// The grid time after d by the increment; false when it is not a whole
// step ahead on the axis.
bool savenext(const float* tv, int d, int mos, int mns, int* next) {
  datetime now, inc = {0, mos, 0, 0, mns};
  gr2t(tv, d, &now);
  timadd(&now, &inc);
  double g = t2gr(tv, &inc);
  if (!std::isfinite(g) || std::fabs(g) > 1e9) return false;
  double r = std::floor(g + 0.5);
  if (std::fabs(g - r) > 0.001 || r <= d) return false;
  *next = static_cast<int>(r);
  return true;
}

}  // namespace

stnkey mkstnkey(const stnrpt* r) {
  stnkey k;
  std::memcpy(k.id, r->stid, 8);
  // A negative zero is the same place as zero.
  float lat = r->lat + 0.0f, lon = r->lon + 0.0f;
  std::memcpy(&k.lat, &lat, 4);
  std::memcpy(&k.lon, &lon, 4);
  return k;
}

int fndarg(const char* ch, int* cnt) {
  const char* p = ch;
  while (*p == ' ') p++;
  int n = 0;
  bool ok = p[0] == '-' && p[1] == 'm';
  if (ok) {
    p += 2;
    while (*p == ' ') p++;
    const char* q = intprs(p, &n);
    ok = q != nullptr && n >= 1;
    if (ok) {
      while (*q == ' ') q++;
      ok = *q == '\0';
    }
  }
  if (!ok) {
    omprnt(0, "Invalid option argument in STN function\n");
    return 1;
  }
  *cnt = n;
  return 0;
}

stnlist* stnrescopy(const stnlist* src) {
  stnlist* res = static_cast<stnlist*>(std::malloc(sizeof(stnlist)));
  float* tv = nullptr;
  if (res && src->tvals) tv = static_cast<float*>(std::malloc(TAXIS_FLOATS * sizeof(float)));
  if (!res || (src->tvals && !tv)) {
    omprnt(0, "Memory Allocation Error:  Station Request Block \n");
    std::free(res);
    return nullptr;
  }
  std::memcpy(res, src, sizeof(stnlist));
  res->rpt = nullptr;
  res->rnum = 0;
  for (int i = 0; i < STNBLKS; i++) res->blks[i] = nullptr;
  res->tail = &res->rpt;
  res->prpt = nullptr;
  res->rptcnt = STNBLKSZ;
  res->blkcnt = -1;
  if (tv) std::memcpy(tv, src->tvals, TAXIS_FLOATS * sizeof(float));
  res->tvals = tv;
  return res;
}

std::vector<bool> stnsamesite(stnlist* step) {
  std::vector<bool> keep;
  std::vector<stnrpt*> first;
  std::vector<double> sum;
  std::vector<int> cnt;
  std::unordered_map<stnkey, size_t, stnkeyhash> seen;
  for (stnrpt* r = step->rpt; r; r = r->rpt) {
    bool mark = true;
    if (r->val != step->undef) {
      const stnkey key = mkstnkey(r);
      auto it = seen.find(key);
      if (it == seen.end()) {
        seen.emplace(key, first.size());
        first.push_back(r);
        sum.push_back(r->val);
        cnt.push_back(1);
      } else {
        sum[it->second] += r->val;
        cnt[it->second]++;
        mark = false;
      }
    }
    keep.push_back(mark);
  }
  for (size_t k = 0; k < first.size(); k++)
    if (cnt[k] > 1) first[k]->val = static_cast<float>(sum[k] / cnt[k]);
  return keep;
}

int stnmerge(stnacc& acc, const stnlist* step, int variant, const std::vector<bool>& keep) {
  stnlist* res = acc.res;
  size_t at = 0;
  for (const stnrpt* r = step->rpt; r; r = r->rpt, at++) {
    if (at < keep.size() && !keep[at]) continue;
    const bool rdef = r->val != step->undef;
    const stnkey key = mkstnkey(r);
    auto it = acc.idx.find(key);
    if (it == acc.idx.end()) {
      stnrpt* n = omarpt(res);
      if (!n) return 1;
      std::memcpy(n->stid, r->stid, 8);
      n->lat = r->lat;
      n->lon = r->lon;
      n->lev = r->lev;
      n->tim = r->tim;
      n->val = rdef ? r->val : res->undef;
      n->work = 1;
      res->rnum++;
      acc.idx.emplace(key, n);
      continue;
    }
    stnrpt* s = it->second;
    if (s->val == res->undef) {
      s->val = rdef ? r->val : res->undef;
      if (variant == STNVSUM) s->work = 1;
    } else if (rdef) {
      if (variant == STNVMIN)
        s->val = std::min(s->val, r->val);
      else if (variant == STNVMAX)
        s->val = std::max(s->val, r->val);
      else
        s->val += r->val;
      s->work++;
    }
  }
  return 0;
}

void stnfinish(stnlist* res, int n, bool average) {
  if (!res) return;
  for (stnrpt* r = res->rpt; r; r = r->rpt) {
    if (r->val == res->undef) continue;
    if (r->work < n)
      r->val = res->undef;
    else if (average && r->work > 0)
      r->val = r->val / r->work;
  }
}

int ffsmin(fargs* pfa, evalstat* pst) { return ffsmnx(pfa, pst, STNVMIN); }
int ffsmax(fargs* pfa, evalstat* pst) { return ffsmnx(pfa, pst, STNVMAX); }

int ffsave(fargs* pfa, evalstat* pst) {
  if (pst->idim != 0 || pst->jdim != 1) {
    omprnt(0, "Error from STNAVE:  X, Y varying environment required\n");
    return 1;
  }
  if (pfa->argnum < 3 || pfa->argnum > 5) {
    omprnt(0, "Error from STNAVE:  Too many or too few args \n");
    omprnt(0, "                    3 to 5 arguments expected \n");
    return 1;
  }
  int d1, d2, wf;
  float g1, g2;
  if (!fndim(pfa->argpnt[1], pst, &d1, &g1, &wf) || d1 != 3) {
    omprnt(0, "Error from STNAVE:  1st dimension expression invalid\n");
    return 1;
  }
  if (!fndim(pfa->argpnt[2], pst, &d2, &g2, &wf) || d2 != d1) {
    omprnt(0, "Error from STNAVE:  2nd dimension expression invalid\n");
    return 1;
  }
  const float* tv = pst->dfile->grvals[3];
  int amo = 0, amn = 0;
  if (tv && tv[5] > 0.0f)
    amo = static_cast<int>(tv[5]);
  else if (tv && tv[6] > 0.0f)
    amn = static_cast<int>(tv[6]);
  int mos = amo, mns = amn, n = 1;
  if (pfa->argnum > 3) {
    const char* a = pfa->argpnt[3];
    if (a[0] == '-') {
      if (fndarg(a, &n)) return 1;
    } else if (!saveincr(a, amo, amn, &mos, &mns)) {
      return 1;
    }
  }
  if (pfa->argnum > 4 && fndarg(pfa->argpnt[4], &n)) return 1;
  if (!tv || (mos <= 0 && mns <= 0)) {
    omprnt(0, "Error from STNAVE: Invalid time increment argument\n");
    return 1;
  }
  int k1, k2;
  if (!fnrange(g1, g2, &k1, &k2) || k1 > k2) {
    omprnt(0, "Error from STNAVE:  No times between the two dimension expressions\n");
    return 1;
  }
  datetime t1, t2;
  gr2t(tv, k1, &t1);
  gr2t(tv, k2, &t2);
  omprntf(2, "Stn Averaging.  Dim = %i, Start = %s, End = %s Incr(mos,mns) = %i %i\n", d1,
          omt2str(&t1, 5).c_str(), omt2str(&t2, 5).c_str(), mos, mns);
  stnacc acc;
  int d = k1;
  while (d <= k2) {
    stnlist* step = stnstep(pfa->argpnt[0], pst, d, "STNAVE");
    if (!step) {
      omsfre(acc.res);
      return 1;
    }
    std::vector<bool> keep = stnsamesite(step);
    if (!stnaccum(acc, step, STNVSUM, keep, "STNAVE")) {
      omsfre(acc.res);
      return 1;
    }
    if (!savenext(tv, d, mos, mns, &d)) {
      omprnt(0, "Logic Error 16 in stnave.  Contact Developer(s).\n");
      omprnt(0, "Error from STNAVE:  Unable to evaluate expression\n");
      omsfre(acc.res);
      return 1;
    }
  }
  stnfinish(acc.res, n, true);
  setresult(pst, acc);
  return 0;
}
