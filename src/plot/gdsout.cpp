// The station-report file of gxout writegds: a marker-delimited stream of
// big-endian numbers, one record per station report of the first result,
// with the matching reports of the other results beside it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/useropen.h"
#include "data/datafile.h"
#include "data/stnlist.h"
#include "plot/dataout.h"

namespace {

const unsigned char SOI[4] = {0x5A, 0, 0, 0};
const unsigned char EOS[4] = {0xA5, 0, 0, 0};

void putbe(unsigned char* b, unsigned long long v, int n) {
  for (int i = n - 1; i >= 0; i--) {
    b[i] = static_cast<unsigned char>(v & 0xff);
    v >>= 8;
  }
}

bool putraw(FILE* f, const void* b, size_t n) { return std::fwrite(b, 1, n, f) == n; }

bool sameplace(const stnrpt* a, const stnrpt* b) {
  return a && b && a->lat == b->lat && a->lon == b->lon && a->tim == b->tim;
}

std::string varname(const stnlist* stn) { return stn->pvar ? stn->pvar->abbrv : std::string("?"); }

bool islevel(const stnlist* stn) { return stn->pvar && stn->pvar->levels != 0; }

// Writer state of one call: the file, the echo of the current record and
// whether every write so far succeeded.
struct gdswriter {
  FILE* f;
  std::string echo;
  bool ok = true;
  void raw(const void* b, size_t n) { ok = ok && putraw(f, b, n); }
  void val(float v) { ok = ok && omwgdsval(f, &v) == 0; }
  void flush() {
    if (!echo.empty()) omprnt(0, echo);
    echo.clear();
  }
  void say(const char* fmt, double v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, v);
    echo += buf;
  }
  void sayname(const std::string& name, float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, ": %f]  ", v);
    echo += "[" + name + buf;
  }
};

bool badstructure(gdswriter& w) {
  w.flush();
  omprnt(0, "error: bad structure in result\n");
  std::fclose(w.f);
  return false;
}

// One report record for the report R of the first result; false after a
// structure error (the file is then closed).
bool gdsrecord(gdswriter& w, const std::string& opts, cmnstate* pcm, std::vector<stnrpt*>& cur,
               int leader) {
  auto has = [&](char c) { return opts.find(c) != std::string::npos; };
  stnrpt* r = cur[0];
  w.raw(SOI, 4);
  w.echo += "SOI >>\t";
  if (has('s')) {
    char id[9];
    std::memcpy(id, r->stid, 8);
    id[8] = '\0';
    w.echo += "stnid: " + std::string(id, strnlen(id, 8)) + "  ";
    unsigned char b[12];
    putbe(b, 8, 4);
    std::memcpy(b + 4, r->stid, 8);
    w.raw(b, 12);
  }
  if (has('x')) {
    w.say("lon: %f  ", r->lon);
    w.val(r->lon);
  }
  if (has('y')) {
    w.say("lat: %f  ", r->lat);
    w.val(r->lat);
  }
  if (has('t')) {
    w.say("time: %f  ", r->tim);
    double t = r->tim;
    w.ok = w.ok && omwgdstime(w.f, &t) == 0;
  }
  w.echo += "\n\t";
  stnrpt ref = *r;
  int n = pcm->rescount;
  for (int k = 0; k < n; k++) {
    const stnlist* stn = static_cast<const stnlist*>(pcm->resptr[k]);
    if (islevel(stn)) continue;
    if (!sameplace(cur[k], &ref)) return badstructure(w);
    if (has('i')) {
      w.sayname(varname(stn), cur[k]->val);
      w.val(cur[k]->val);
    }
    cur[k] = cur[k]->rpt;
  }
  if (leader < 0) return true;
  while (sameplace(cur[leader], &ref)) {
    float lev = cur[leader]->lev;
    w.echo += "\n\tSOI ";
    w.raw(SOI, 4);
    if (has('z')) {
      w.say("lev: %f  ", lev);
      w.val(lev);
    }
    for (int k = leader; k < n; k++) {
      const stnlist* stn = static_cast<const stnlist*>(pcm->resptr[k]);
      if (!islevel(stn)) continue;
      if (!sameplace(cur[k], &ref) || cur[k]->lev != lev) return badstructure(w);
      if (has('d')) {
        w.sayname(varname(stn), cur[k]->val);
        w.val(cur[k]->val);
      }
      cur[k] = cur[k]->rpt;
    }
  }
  w.echo += "\n\tEOS ";
  w.raw(EOS, 4);
  return true;
}

}  // namespace

int omwgdsval(FILE* out, float* value) {
  unsigned int u;
  std::memcpy(&u, value, 4);
  unsigned char b[4];
  putbe(b, u, 4);
  return putraw(out, b, 4) ? 0 : 1;
}

int omwgdstime(FILE* out, double* time) {
  unsigned long long u;
  std::memcpy(&u, time, 8);
  unsigned char b[8];
  putbe(b, u, 8);
  return putraw(out, b, 8) ? 0 : 1;
}

int omoutgds(cmnstate* pcm) {
  // The settings come with the state (ominit points gds at wgds).
  static const gdsopts none;
  const gdsopts* g = pcm->gds ? pcm->gds : &none;
  if (g->fname.empty()) {
    omprnt(0, "error: no file specified (use \"set writegds\").\n");
    return 1;
  }
  bool finish = g->opts.find('f') != std::string::npos;
  // Grids have no reports to write: refuse them before the file is touched.
  if (!finish) {
    for (int k = 0; k < pcm->rescount; k++) {
      if (pcm->restype[k] != 0) {
        omprnt(0, "error: WRITEGDS needs station data; result is a grid\n");
        return 1;
      }
    }
  }
  FILE* f = omfopen(g->fname.c_str(), "ab");
  if (!f) {
    omprnt(0, "error: WRITEGDS unable to open " + g->fname + " for write\n");
    return 1;
  }
  omprnt(0, "got options and opened file\n");
  std::string opts = g->opts;
  if (opts.empty()) {
    omprnt(0, "No options specified. Defaulting to full output (\"sxyztdi\").\n");
    opts = "sxyztdi";
  }
  gdswriter w;
  w.f = f;
  if (finish) {
    omprnt(0, "Finishing sequence:\n");
    omprnt(0, "EOS\n");
    w.raw(EOS, 4);
    if (std::fclose(f) != 0) w.ok = false;
    if (!w.ok) {
      omprnt(0, "error: WRITEGDS write failed on " + g->fname + "\n");
      return 1;
    }
    return 0;
  }
  int n = pcm->rescount;
  std::vector<stnrpt*> cur(n);
  int leader = -1;
  for (int k = 0; k < n; k++) {
    const stnlist* stn = static_cast<const stnlist*>(pcm->resptr[k]);
    cur[k] = stn->rpt;
    if (leader < 0 && islevel(stn)) leader = k;
  }
  int records = 0;
  while (cur[0]) {
    if (!gdsrecord(w, opts, pcm, cur, leader)) return 1;
    w.echo += "\n";
    w.flush();
    records++;
    if (!w.ok) break;
  }
  if (std::fclose(f) != 0) w.ok = false;
  if (!w.ok) {
    omprnt(0, "error: WRITEGDS write failed on " + g->fname + "\n");
    return 1;
  }
  const stnlist* first = static_cast<const stnlist*>(pcm->resptr[0]);
  omprntf(0, "WRITEGDS: %d reports x %d vars written as %d records\n", first->rnum, n, records);
  return 0;
}
