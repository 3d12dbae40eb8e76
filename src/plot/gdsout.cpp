// The station-report file of gxout writegds: a marker-delimited stream of
// big-endian numbers, one record per station report of the first result,
// with the matching reports of the other results beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replfile.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "base/wholewrite.h"
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

// Whether every report of every result has a number for its latitude,
// longitude and time.  Records are matched by place and time, and a NaN
// never equals itself: its record would never be taken up.
bool placed(const cmnstate* pcm) {
  for (int k = 0; k < pcm->rescount; k++) {
    const stnlist* stn = static_cast<const stnlist*>(pcm->resptr[k]);
    for (const stnrpt* r = stn->rpt; r; r = r->rpt)
      if (!std::isfinite(r->lat) || !std::isfinite(r->lon) || !std::isfinite(r->tim)) return false;
  }
  return true;
}

// Writer state of one call: the file, the echo of the current record and
// whether every write so far succeeded.  Records collect in a buffer that
// goes to the file in large writes; the ends of the records it holds are
// kept, so a failed write can cut the file back to its last whole record
// and a record cut short by a structure error never reaches the file.
struct gdswriter {
  int fd = -1;
  off_t base = -1;  // where the buffer goes in the file (-1: a pipe or device)
  std::vector<unsigned char> pend;
  std::vector<size_t> ends;
  std::string echo;
  bool ok = true;
  void raw(const void* b, size_t n) {
    const unsigned char* c = static_cast<const unsigned char*>(b);
    pend.insert(pend.end(), c, c + n);
  }
  void val(float v) {
    unsigned int u;
    std::memcpy(&u, &v, 4);
    unsigned char b[4];
    putbe(b, u, 4);
    raw(b, 4);
  }
  void time(double t) {
    unsigned long long u;
    std::memcpy(&u, &t, 8);
    unsigned char b[8];
    putbe(b, u, 8);
    raw(b, 8);
  }
  void endrecord() {
    ends.push_back(pend.size());
    if (pend.size() >= 65536) drain();
  }
  // Writes the whole records held; what follows the last of them is dropped.
  void drain() {
    pend.resize(ends.empty() ? 0 : ends.back());
    if (ok && !pend.empty()) {
      if (writeall(fd, pend.data(), pend.size())) {
        if (base >= 0) base += static_cast<off_t>(pend.size());
      } else {
        ok = false;
        cutwhole();
      }
    }
    pend.clear();
    ends.clear();
  }
  // After a failed write: back to the end of the last record the file got
  // whole.
  void cutwhole() {
    struct stat sb;
    if (base < 0 || fstat(fd, &sb) != 0) return;
    off_t keep = base;
    for (size_t e : ends)
      if (base + static_cast<off_t>(e) <= sb.st_size) keep = base + static_cast<off_t>(e);
    cutback(fd, keep);
  }
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
  w.drain();
  close(w.fd);
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
    w.time(r->tim);
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
  if (leader < 0) {
    w.endrecord();
    return true;
  }
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
  w.endrecord();
  return true;
}

// Writes what is held and closes the file; 1 (with the message) when any
// write failed.
int closegds(gdswriter& w, const std::string& name) {
  w.drain();
  if (!replclose(w.fd)) w.ok = false;
  if (w.ok) return 0;
  omprnt(0, "error: WRITEGDS write failed on " + replshownname(name) + "\n");
  return 1;
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
  int fd = omopen(g->fname.c_str(), O_WRONLY | O_CREAT | O_APPEND);
  if (fd < 0) {
    omprnt(0, "error: WRITEGDS unable to open " + replshownname(g->fname) + " for write\n");
    return 1;
  }
  omprnt(0, "got options and opened file\n");
  std::string opts = g->opts;
  if (opts.empty()) {
    omprnt(0, "No options specified. Defaulting to full output (\"sxyztdi\").\n");
    opts = "sxyztdi";
  }
  gdswriter w;
  w.fd = fd;
  w.base = wholemark(fd);
  if (finish) {
    omprnt(0, "Finishing sequence:\n");
    omprnt(0, "EOS\n");
    w.raw(EOS, 4);
    w.endrecord();
    return closegds(w, g->fname);
  }
  if (!placed(pcm)) {
    omprnt(0, "error: WRITEGDS report without a valid latitude, longitude or time\n");
    close(fd);
    return 1;
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
    const stnrpt* was = cur[0];
    if (!gdsrecord(w, opts, pcm, cur, leader)) return 1;
    // Every record takes up at least the report it was made for.
    if (cur[0] == was) {
      badstructure(w);
      return 1;
    }
    w.echo += "\n";
    w.flush();
    records++;
    if (!w.ok) break;
  }
  if (closegds(w, g->fname)) return 1;
  const stnlist* first = static_cast<const stnlist*>(pcm->resptr[0]);
  omprntf(0, "WRITEGDS: %d reports x %d vars written as %d records\n", first->rnum, n, records);
  return 0;
}
