// Station data varying in time only (a time series: a line with marks,
// weather symbols or wind barbs) or in level only (vertical profiles).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "data/stnlist.h"
#include "gx/gx.h"
#include "plot/omplot.h"
#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

namespace {

bool sameid(const char* a, const char* b) { return std::memcmp(a, b, 8) == 0; }

// Annotation colour, logo and time stamp, last-graphic code.
void serend(cmnstate* pcm, int code) {
  gxwide(omthin(pcm->annotthick, 3));
  gxcolr(pcm->annotcolor);
  omstamp(pcm);
  omgsav(code, pcm);
}

void tserwx(cmnstate* pcm, const stnlist* s) {
  float ds = pcm->digsize;
  for (const stnrpt* r = s->rpt; r; r = r->rpt) {
    float x, y;
    gxconv(r->tim, 0, &x, &y, 3);
    if (r->val == s->undef) {
      gxchpl("M", 1, x, pcm->plotylo, ds, ds, 0);
      continue;
    }
    int code;
    if (!omtoint((double)r->val + 0.5, &code)) continue;
    wxsym(code, x, pcm->plotylo, 1.5f * ds, -1, pcm->wxcols);
  }
}

void tserbarb(cmnstate* pcm, const stnlist* us, const stnlist* vs) {
  float ds = pcm->digsize;
  const stnrpt* v = vs->rpt;
  for (const stnrpt* u = us->rpt; u && v; u = u->rpt, v = v->rpt) {
    if (u->val == us->undef || v->val == vs->undef) continue;
    float x, y;
    gxconv(u->tim, u->val, &x, &y, 3);
    float uu = u->val, vv = v->val;
    float dir = (uu == 0 && vv == 0) ? 0.0f : std::atan2(vv, uu);
    int shem = pcm->hempref == 1 ? 1 : pcm->hempref == 0 ? 0 : (u->lat < 0);
    ombarb(x, pcm->plotylo, 3.5f * ds, 2 * ds, 0.25f * ds, dir,
           (float)std::hypot((double)uu, (double)vv), shem);
  }
}

void tserline(cmnstate* pcm, const stnlist* s, const char* id) {
  gxclip(pcm->plotxlo - 0.01f, pcm->plotxhi + 0.01f, pcm->plotylo, pcm->plotyhi);
  bool rev = pcm->xyrev != 0;
  auto pos = [&](const stnrpt* r, float* x, float* y) {
    if (rev) gxconv(r->val, r->tim, x, y, 3);
    else gxconv(r->tim, r->val, x, y, 3);
  };
  if (pcm->cstyle != 0) {
    int pen = 3;
    bool have = false;
    float last = 0;
    for (const stnrpt* r = s->rpt; r; r = r->rpt) {
      if (!sameid(r->stid, id)) continue;
      if (have && r->tim - last > 1.0f && !pcm->missconn) pen = 3;
      have = true;
      last = r->tim;
      if (r->val == s->undef) {
        if (!pcm->missconn) pen = 3;
        continue;
      }
      float x, y;
      pos(r, &x, &y);
      gxplot(x, y, pen);
      pen = 2;
    }
  }
  int m = pcm->cmark;
  if (m > 0) {
    float sz = pcm->digsize + 0.01f;
    for (const stnrpt* r = s->rpt; r; r = r->rpt) {
      if (!sameid(r->stid, id) || r->val == s->undef) continue;
      float x, y;
      pos(r, &x, &y);
      if (m == 1 || m == 2 || m == 4) {
        gxcolr(gxqbck());
        gxmark(m == 1 ? 4 : m + 1, x, y, sz);
      }
      gxcolr(pcm->ccolor);
      gxmark(m, x, y, sz);
    }
  }
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
  if (rev) omaxpl(pcm, 4, 3);
  else omaxpl(pcm, 3, 4);
}

}  // namespace

void omtser(cmnstate* pcm) {
  stnlist* s = omress(pcm, 0);
  if (!s) return;
  if (!s->rpt) {
    omprnt(0, "No stations to plot\n");
    return;
  }
  const char* id = s->rpt->stid;
  float mn = 9.99e33f, mx = -9.99e33f;
  bool any = false;
  for (const stnrpt* r = s->rpt; r; r = r->rpt) {
    if (!sameid(r->stid, id) || r->val == s->undef) continue;
    mn = std::fmin(mn, r->val);
    mx = std::fmax(mx, r->val);
    any = true;
  }
  if (!any) {
    printf("All stations undefined for this variable\n");
    return;
  }
  int kind = pcm->gxout_tser;
  stnlist* v = omress(pcm, 1);
  if (kind == 2 && !v) {
    omprnt(0, "Error plotting tserbarb:  u and v station data required\n");
    return;
  }
  int frame = pcm->frame;
  if (kind != 0) pcm->frame = 0;
  oms1d(pcm, mn, mx, 3, pcm->xyrev ? 1 : 0, nullptr, s);
  pcm->frame = frame;

  if (pcm->ccolor < 0) pcm->ccolor = 1;
  gxcolr(pcm->ccolor);
  gxstyl(pcm->cstyle >= 1 ? pcm->cstyle : 1);
  gxwide(pcm->cthick);
  if (kind == 1) tserwx(pcm, s);
  else if (kind == 2) tserbarb(pcm, s, v);
  else tserline(pcm, s, id);
  serend(pcm, 14);
}

// Groups the reports by station in order of first appearance, each
// station's reports by descending level (equal levels keep their order).
void omprgrp(stnlist* s) {
  std::unordered_map<std::string, size_t> groups;
  std::vector<std::vector<stnrpt*>> runs;
  for (stnrpt* r = s->rpt; r; r = r->rpt) {
    auto it = groups.emplace(std::string(r->stid, 8), runs.size()).first;
    if (it->second == runs.size()) runs.emplace_back();
    runs[it->second].push_back(r);
  }
  stnrpt** tail = &s->rpt;
  for (auto& run : runs) {
    std::stable_sort(run.begin(), run.end(),
                     [](const stnrpt* a, const stnrpt* b) { return a->lev > b->lev; });
    for (stnrpt* r : run) {
      *tail = r;
      tail = &r->rpt;
    }
  }
  *tail = nullptr;
  s->tail = tail;
}

void ompprf(cmnstate* pcm) {
  stnlist* s = omress(pcm, 0);
  if (!s) return;
  omprgrp(s);
  if (!s->rpt) {
    omprnt(0, "No station values to plot\n");
    return;
  }
  float mn = 9.99e33f, mx = -9.99e33f;
  bool any = false;
  for (const stnrpt* r = s->rpt; r; r = r->rpt) {
    if (r->val == s->undef) continue;
    mn = std::fmin(mn, r->val);
    mx = std::fmax(mx, r->val);
    any = true;
  }
  if (!any) {
    omprnt(0, "All stations values are undefined\n");
    return;
  }
  bool rev = pcm->xyrev != 0;
  oms1d(pcm, mn, mx, 2, rev ? 0 : 1, nullptr, s);
  gxstyl(pcm->cstyle >= 1 ? pcm->cstyle : 1);
  gxcolr(pcm->ccolor < 1 ? 1 : pcm->ccolor);
  gxwide(pcm->cthick);
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
  char prev[8];
  std::memset(prev, ' ', 8);
  int pen = 3;
  for (const stnrpt* r = s->rpt; r; r = r->rpt) {
    if (r->val == s->undef) {
      if (!pcm->missconn) pen = 3;
    } else {
      float x, y;
      if (rev) gxconv(r->lev, r->val, &x, &y, 2);
      else gxconv(r->val, r->lev, &x, &y, 2);
      if (!sameid(r->stid, prev)) pen = 3;
      gxplot(x, y, pen);
      pen = 2;
    }
    std::memcpy(prev, r->stid, 8);
  }
  gxclip(0, pcm->vpagew, 0, pcm->vpageh);
  if (rev) omaxpl(pcm, 2, 4);
  else omaxpl(pcm, 4, 2);
  serend(pcm, 13);
}
