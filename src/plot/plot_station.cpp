// Station data on a map: plotted values, wind barbs and arrows from a u and
// a v list, weather symbols, coloured markers, and the search for the
// station nearest a page point.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "base/cmnstate.h"
#include "base/intpoll.h"
#include "base/omprnt.h"
#include "data/gridres.h"
#include "data/omgstn.h"
#include "data/stnlist.h"
#include "gx/gx.h"
#include "gx/mapproj.h"
#include "plot/omplot.h"
#include "plot/plotgraph.h"
#include "plot/plotint.h"
#include "plot/plotkinds.h"

void omstnsetup(cmnstate* pcm) {
  ommscl(pcm);
  omwmap(pcm, 1);
  omplim(pcm, 0, 0, nullptr, nullptr, nullptr, nullptr);
  omplim(pcm, 1, 1, nullptr, nullptr, nullptr, nullptr);
  omfram(pcm);
  gxclip(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi);
}

namespace {

void stnend(cmnstate* pcm, int code) {
  gxstyl(1);
  omepil(pcm, 0, 1, code);
}

int linecol(const cmnstate* pcm) { return pcm->ccolor < 0 ? 1 : pcm->ccolor; }

// A key of a station position, exact to the bit.
uint64_t poskey(float lat, float lon) {
  uint32_t a, b;
  std::memcpy(&a, &lat, 4);
  std::memcpy(&b, &lon, 4);
  return ((uint64_t)a << 32) | b;
}

// The first report with a defined value at each position of a list.
std::unordered_map<uint64_t, const stnrpt*> firstdefined(const stnlist* s) {
  std::unordered_map<uint64_t, const stnrpt*> m;
  for (const stnrpt* r = s->rpt; r; r = r->rpt) {
    if (r->val == s->undef) continue;
    m.emplace(poskey(r->lat, r->lon), r);
  }
  return m;
}

void windplot(cmnstate* pcm, const stnlist* us, const stnlist* vs, bool vect) {
  if (vect && !pcm->arrflag) {
    double m = 0, n = 0;
    for (const stnrpt* r = us->rpt; r; r = r->rpt)
      if (r->val != us->undef) m = std::fmax(m, std::fabs(r->val));
    for (const stnrpt* r = vs->rpt; r; r = r->rpt)
      if (r->val != vs->undef) n = std::fmax(n, std::fabs(r->val));
    pcm->arrmag = omrefmag(m, n);
    if (std::hypot(m, n) > 0) pcm->arrsize = 0.5f;
  }
  if (vect) pcm->arrflag = 1;
  gxcolr(linecol(pcm));
  gxwide(pcm->cthick);
  float ds = pcm->digsize;
  auto partners = firstdefined(vs);
  omintpoll poll;
  for (const stnrpt* r = us->rpt; r && !poll.stop(); r = r->rpt) {
    if (r->val == us->undef) continue;
    auto it = partners.find(poskey(r->lat, r->lon));
    if (it == partners.end()) continue;
    float x, y;
    if (!omstxy(pcm, r->lon, r->lat, &x, &y)) continue;
    float u = r->val, v = it->second->val;
    float dir = (u == 0 && v == 0) ? 0.0f : std::atan2(v, u) + gxaarw(r->lon, r->lat);
    float spd = (float)std::hypot((double)u, (double)v);
    if (!vect) {
      int shem = pcm->hempref == 1 ? 1 : pcm->hempref == 0 ? 0 : (r->lat < 0);
      ombarb(x, y, 3.5f * ds, 2 * ds, 0.25f * ds, dir, spd, shem);
      gxmark(2, x, y, 0.5f * ds);
    } else if (pcm->arrmag > 0) {
      omarrw(x, y, dir, pcm->arrsize * spd / pcm->arrmag, pcm->arrowhead);
    } else {
      omarrw(x, y, dir, pcm->arrsize, pcm->arrowhead);
    }
  }
}

// One plotted text under or over a station: start at x - w/2, bottom at y.
void valtext(cmnstate* pcm, const std::string& t, float x, float y) {
  omcentxt(t, x, y, pcm->digsize, pcm->ccolor != 0, linecol(pcm));
}

void valueplot(cmnstate* pcm, const stnlist* s) {
  gxwide(pcm->cthick);
  float ds = pcm->digsize;
  bool mark = pcm->rescount > 1 || pcm->stid;
  omintpoll poll;
  for (const stnrpt* r = s->rpt; r && !poll.stop(); r = r->rpt) {
    if (r->val == s->undef) continue;
    float x, y;
    if (!omstxy(pcm, r->lon, r->lat, &x, &y)) continue;
    if (mark) {
      gxcolr(linecol(pcm));
      gxmark(1, x, y, 0.5f * ds);
    }
    valtext(pcm, omfmtv(r->val, pcm->dignum), x, mark ? y + 0.7f * ds : y - 0.5f * ds);
  }
  const stnlist* second = pcm->stid ? s : (mark ? omress(pcm, 1) : nullptr);
  if (!second) return;
  for (const stnrpt* r = second->rpt; r && !poll.stop(); r = r->rpt) {
    float x, y;
    if (!omstxy(pcm, r->lon, r->lat, &x, &y)) continue;
    gxcolr(linecol(pcm));
    gxmark(1, x, y, 0.5f * ds);
    std::string t;
    if (pcm->stid) t = omstid(r->stid);
    else if (r->val != second->undef) t = omfmtv(r->val, pcm->dignum);
    if (!t.empty()) valtext(pcm, t, x, y - 1.7f * ds);
  }
}

}  // namespace

void ompstn(cmnstate* pcm) {
  stnlist* s = omress(pcm, 0);
  if (!s) return;
  omstnsetup(pcm);
  stnlist* v = omress(pcm, 1);
  bool wind = pcm->rescount > 1 && v && (pcm->gxout_stn == 2 || pcm->gxout_stn == 6);
  if (wind) windplot(pcm, s, v, pcm->gxout_stn == 6);
  else valueplot(pcm, s);
  stnend(pcm, 10);
}

void omwsym(cmnstate* pcm) {
  stnlist* s = omress(pcm, 0);
  if (!s) return;
  omstnsetup(pcm);
  gxcolr(linecol(pcm));
  gxwide(pcm->cthick);
  float size = 1.5f * pcm->digsize;
  omintpoll poll;
  for (const stnrpt* r = s->rpt; r && !poll.stop(); r = r->rpt) {
    if (r->val == s->undef) continue;
    int code;
    if (!omtoint((double)r->val + 0.1, &code) || code < 1 || code > 41) continue;
    float x, y;
    if (!omstxy(pcm, r->lon, r->lat, &x, &y)) continue;
    gxwide(pcm->cthick);
    if (pcm->wxopt == 1) wxsym(code, x, y, size, pcm->ccolor, pcm->wxcols);
    else gxmark(code, x, y, size);
  }
  stnend(pcm, 12);
}

void omsmrk(cmnstate* pcm) {
  stnlist* s = omress(pcm, 0);
  if (!s) return;
  omstnsetup(pcm);
  omsmnmx(s);
  if (s->smin == s->undef || s->smax == s->undef) return;
  float mn = s->smin, mx = s->smax;
  omselc(pcm, mn, mx);
  gxwide(pcm->cthick);
  bool flat = mn == mx;
  if (flat && pcm->ccolor < 0) pcm->ccolor = 1;
  int col = linecol(pcm);
  float ds = pcm->digsize;
  float h = 0.65f * ds;
  omintpoll poll;
  for (const stnrpt* r = s->rpt; r && !poll.stop(); r = r->rpt) {
    if (r->val == s->undef) continue;
    float x, y;
    if (!omstxy(pcm, r->lon, r->lat, &x, &y)) continue;
    gxcolr(flat ? pcm->ccolor : omshdc(pcm, r->val));
    gxmark(pcm->cmark, x, y, 0.5f * ds);
    if (pcm->stid) {
      gxcolr(col);
      gxmark(1, x, y, 0.5f * ds);
      omcentxt(omstid(r->stid), x, y - 1.7f * h, h, pcm->ccolor != 0, col);
    }
  }
  stnend(pcm, 12);
}

void omfstn(cmnstate* pcm) {
  stnlist* s = omress(pcm, 0);
  gridres* gx = omresg(pcm, 1);
  gridres* gy = omresg(pcm, 2);
  if (pcm->rescount < 3 || !s || !gx || !gy || gx->idim != -1 || gy->idim != -1) {
    omprnt(0, "Error: Invalid data types for findstn\n");
    return;
  }
  ommscl(pcm);
  float px = gx->grid[0], py = gy->grid[0];
  double best = 1e30;
  const stnrpt* found = nullptr;
  for (const stnrpt* r = s->rpt; r; r = r->rpt) {
    float lon = r->lon;
    if (lon < pcm->wlo[0]) lon += 360;
    if (lon > pcm->whi[0]) lon -= 360;
    float x, y;
    gxconv(lon, r->lat, &x, &y, 2);
    double d = std::hypot((double)x - px, (double)y - py);
    if (d < best) {
      best = d;
      found = r;
    }
  }
  if (found) {
    char id[8];
    std::memcpy(id, found->stid, 7);
    id[7] = '\0';
    omprntf(2, "%s %g %g %g\n", id, (double)found->lon, (double)found->lat, best);
  } else {
    omprnt(2, "No stations found\n");
  }
  omgsav(21, pcm);
}
