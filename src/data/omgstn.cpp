// The station reader: the reports of a station request are read through the
// station map, filtered by area, radius or station id, and turned into one
// station report per matching level.  A one-request cache keeps the reports
// that passed the horizontal filter, so a redisplay of the same request
// (for example at another level) does not touch the file.
#include "data/omgstn.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/fnmexp.h"
#include "data/rawread.h"
#include "data/stnlist.h"

namespace {

constexpr size_t CACHESIZE = 50000;
constexpr int HDRSIZE = 28;

// The request that filled the cache, as far as the cache compares it.
struct heldreq {
  const datafile* pfi = nullptr;
  int idim = 0, jdim = 0, tmin = 0, tmax = 0;
  int rflag = 0, sflag = 0;
  float radius = 0;
  float dmin[2] = {0, 0}, dmax[2] = {0, 0};
  char stid[8] = {};
};

struct stncache {
  std::vector<unsigned char> buf;  // scbuf
  size_t pnt = 0;                  // scpnt
  bool valid = false;              // scflg
  bool filling = false;            // scok
  bool serving = false;            // scuca
  bool refused = false;            // scerr
  int seq = -999;                  // scseq
  heldreq held;                    // scstn
};

stncache& cache() {
  static stncache c;
  return c;
}


// The request being read and where its file stands.
struct reader {
  stnlist* stn;
  datafile* pfi;
  FILE* f;
  int64_t pos;
};

// The name of the file being read, as messages show it.
std::string fname(const datafile* pfi) { return replshownname(pfi->tmplat ? pfi->tempname : pfi->name); }

int omsstn(reader& r, int64_t off) {
  r.pos = off;
  if (!r.f || fseeko(r.f, static_cast<off_t>(off), SEEK_SET) != 0) {
    omprnt(0, "Low Level I/O Error:  Seek error on data file \n");
    omprntf(0, "  Data file name = %s \n", fname(r.pfi).c_str());
    omprntf(0, "%d  rc=%ld pos=%ld pfi->fhdr =%ld \n", 1312, -1L, static_cast<long>(off),
            static_cast<long>(r.pfi->fhdr));
    omprntf(0, "  Error occurred when seeking to byte %li \n", static_cast<long>(off));
    return 1;
  }
  return 0;
}

int readerr(const reader& r, int64_t n) {
  omprnt(0, "Low Level I/O Error:  Read error on data file \n");
  omprntf(0, "  Data file name = %s \n", fname(r.pfi).c_str());
  omprntf(0, "  Error reading %i bytes at location %li \n", static_cast<int>(n),
          static_cast<long>(r.pos));
  return 1;
}

int omrstn(reader& r, size_t n, void* dest) {
  if (n == 0) return 0;
  if (!r.f || std::fread(dest, 1, n, r.f) != n) return readerr(r, static_cast<int64_t>(n));
  r.pos += static_cast<int64_t>(n);
  return 0;
}


int seqerror(const datafile* pfi, const char* why) {
  omprnt(0, "Low Level I/O Error:  Sequential read error\n");
  omprnt(0, why);
  omprntf(0, "  Data file name = %s \n", fname(pfi).c_str());
  return 1;
}

int32_t rdint(const unsigned char* b, bool swap) {
  int32_t v;
  std::memcpy(&v, b, 4);
  if (swap) ombswp(&v, 1);
  return v;
}

void decode(const unsigned char* raw, stnhdr* h) {
  std::memcpy(h->id, raw, 8);
  std::memcpy(&h->lat, raw + 8, 4);
  std::memcpy(&h->lon, raw + 12, 4);
  std::memcpy(&h->toff, raw + 16, 4);
  std::memcpy(&h->nlev, raw + 20, 4);
  std::memcpy(&h->flag, raw + 24, 4);
}

// Values of a report; -1 when the header is impossible.
long valuecount(const datafile* pfi, const stnhdr& h) {
  if (h.nlev < 0) return -1;
  long per = pfi->lvnum + 1L;
  long n = h.flag ? (h.nlev - 1L) * per + pfi->ivnum : h.nlev * per;
  return n < 0 ? -1 : n;
}

bool passes(const stnlist* stn, const stnhdr& h, const float box[4]) {
  // A report with no number for its place or time cannot be placed: it
  // is passed over like one outside the area (a NaN would pass every
  // test below, and would never equal itself where reports are matched).
  if (!std::isfinite(h.lat) || !std::isfinite(h.lon) || !std::isfinite(h.toff)) return false;
  if (stn->sflag) {
    char a[9], b[9];
    getwrd8(a, h.id, true);
    getwrd8(b, stn->stid, false);
    return std::strcmp(a, b) == 0;
  }
  float lon = h.lon;
  if (lon < box[0]) lon += 360.0f;
  if (lon > box[1]) lon -= 360.0f;
  if (lon < box[0] || lon > box[1] || h.lat < box[2] || h.lat > box[3]) return false;
  if (stn->rflag && std::hypot(lon - stn->dmin[0], h.lat - stn->dmin[1]) > stn->radius) return false;
  return true;
}

bool servable(const stncache& c, const stnlist* stn) {
  const heldreq& h = c.held;
  if (!c.valid || stn->pfi->fnum == -999 || stn->pfi->fnum != c.seq) return false;
  if (h.pfi != stn->pfi || h.idim != stn->idim || h.jdim != stn->jdim || h.tmin != stn->tmin ||
      h.tmax != stn->tmax || h.rflag != stn->rflag || h.sflag != stn->sflag)
    return false;
  if (stn->rflag && h.radius != stn->radius) return false;
  if (!stn->sflag)
    return h.dmin[0] == stn->dmin[0] && h.dmin[1] == stn->dmin[1] && h.dmax[0] == stn->dmax[0] &&
           h.dmax[1] == stn->dmax[1];
  return std::memcmp(h.stid, stn->stid, 8) == 0;
}

void hold(stncache& c, const stnlist* stn) {
  heldreq& h = c.held;
  h.pfi = stn->pfi;
  h.idim = stn->idim;
  h.jdim = stn->jdim;
  h.tmin = stn->tmin;
  h.tmax = stn->tmax;
  h.rflag = stn->rflag;
  h.sflag = stn->sflag;
  h.radius = stn->radius;
  for (int i = 0; i < 2; i++) {
    h.dmin[i] = stn->dmin[i];
    h.dmax[i] = stn->dmax[i];
  }
  std::memcpy(h.stid, stn->stid, 8);
  c.seq = stn->pfi->fnum;
}

void omcstn(stncache& c, const void* hdr, const void* vals, size_t vbytes, size_t hbytes) {
  if (!c.filling) return;
  if (2 * hbytes + c.pnt + vbytes + 10 > CACHESIZE) {
    c.filling = false;
    return;
  }
  std::memcpy(&c.buf[c.pnt], hdr, hbytes);
  c.pnt += hbytes;
  if (vbytes) std::memcpy(&c.buf[c.pnt], vals, vbytes);
  c.pnt += vbytes;
}

int omgcst(stncache& c, size_t n, void* dest) {
  if (c.pnt + n > c.buf.size()) {
    omprnt(0, "Logic Error 8 in omio\n");
    return 1;
  }
  std::memcpy(dest, &c.buf[c.pnt], n);
  c.pnt += n;
  return 0;
}

void endheader(stncache& c) {
  unsigned char end[HDRSIZE] = {};
  omcstn(c, end, nullptr, 0, HDRSIZE);
}

// Opens the template member that holds time t; the time within the member,
// -88888 when the member is missing, -99999 when t is not a valid time.
int openmember(datafile* pfi, int t) {
  if (t < 1 || t > pfi->dnum[3] || pfi->fnums.size() < static_cast<size_t>(pfi->dnum[3]) ||
      !pfi->grvals[3])
    return -99999;
  int f = pfi->fnums[t - 1];
  if (f == pfi->fnumc && pfi->infile) return t - f + 1;
  // A member that could not be opened is not tried again for its other
  // times until the request moves to another.
  if (f == pfi->fnumbad) return -88888;
  if (pfi->infile) std::fclose(pfi->infile);
  pfi->infile = nullptr;
  pfi->fnumc = 0;
  datetime dt, d1;
  gr2t(pfi->grvals[3], t, &dt);
  gr2t(pfi->grvals[3], 1.0, &d1);
  pfi->tempname = omfndt(pfi->name.c_str(), &dt, &d1, pfi->grvals[3]);
  if (pfi->tempname.empty()) return -99999;
  pfi->infile = omfdata(pfi->tempname.c_str());
  if (!pfi->infile) {
    pfi->fnumbad = f;
    return -88888;
  }
  pfi->fnumc = f;
  pfi->fnumbad = 0;
  return t - f + 1;
}

// Walks the records of a sequential report after the first (whose length
// L1 was read): reads their contents into dest when given, else skips
// them.  total = 28 + 4n.
int seqwalk(reader& r, int32_t l1, int64_t recstart, int64_t total, unsigned char* dest, bool swap) {
  int64_t acc = l1;
  int64_t pos = recstart + l1 + 8;
  while (acc < total) {
    if (omsstn(r, pos)) return 1;
    unsigned char lb[4];
    if (omrstn(r, 4, lb)) return 1;
    int32_t l = rdint(lb, swap);
    if (l <= 0) return seqerror(r.pfi, "  Record length not positive\n");
    if (acc + l > total) return seqerror(r.pfi, "  Record size exceeds report size\n");
    if (dest) {
      if (omrstn(r, static_cast<size_t>(l), dest + (acc - HDRSIZE))) return 1;
    }
    acc += l;
    pos += l + 8;
  }
  return omsstn(r, pos);
}

int readrequest(stnlist* stn, stncache& c) {
  datafile* pfi = stn->pfi;
  reader r{stn, pfi, pfi->infile, 0};
  bool swap = pfi->bswap != 0;
  float box[4] = {stn->dmin[0], stn->dmax[0], stn->dmin[1], stn->dmax[1]};
  if (stn->rflag) {
    box[0] -= stn->radius;
    box[1] += stn->radius;
    box[2] -= stn->radius;
    box[3] += stn->radius;
  }
  const size_t bufw = static_cast<size_t>(pfi->stnmap.bufw);
  std::vector<unsigned char> vals;
  // Only the stored times can hold reports: a range reaching billions of
  // steps beyond them is cut to them rather than stepped through.
  pfi->fnumbad = 0;  // a member missing in an earlier request may be there now
  const int tfirst = std::max(stn->tmin, 1);
  const int tlast = std::min(stn->tmax, pfi->dnum[3]);
  for (int t = tfirst; t <= tlast; t++) {
    if (!c.serving) {
      int tt = t;
      if (pfi->tmplat) {
        tt = openmember(pfi, t);
        if (tt == -99999) {
          omprnt(0, "Data Request Error:  Invalid time index for template data set\n");
          return 1;
        }
        if (tt == -88888) {
          endheader(c);
          continue;
        }
      }
      r.f = pfi->infile;
      if (static_cast<size_t>(tt) > pfi->stnmap.offs.size()) {
        omprnt(0, "Data Request Error:  Station map has no entry for this time\n");
        return 1;
      }
      if (omsstn(r, pfi->stnmap.offs[tt - 1])) return 1;
    }
    for (;;) {
      unsigned char raw[HDRSIZE];
      int32_t l1 = 0;
      int64_t recstart = r.pos;
      if (c.serving) {
        if (omgcst(c, HDRSIZE, raw)) return 1;
      } else {
        if (pfi->seqflg) {
          unsigned char lb[4];
          if (omrstn(r, 4, lb)) return 1;
          l1 = rdint(lb, swap);
          if (l1 <= 0) return seqerror(pfi, "  Record length not positive\n");
          if (l1 < HDRSIZE) return seqerror(pfi, "  Record shorter than a report header\n");
        }
        if (omrstn(r, HDRSIZE, raw)) return 1;
        if (swap) omhswp(raw);
      }
      stnhdr h;
      decode(raw, &h);
      if (h.nlev == 0) break;
      long n = valuecount(pfi, h);
      if (n < 0 || static_cast<size_t>(n) > bufw) {
        omprnt(0, "Low Level I/O Error:  Invalid station report header\n");
        omprntf(0, "  Level count = %i  Value count = %li  Buffer size = %li\n", h.nlev, n,
                static_cast<long>(bufw));
        omprntf(0, "  Data file name = %s \n", fname(pfi).c_str());
        return 1;
      }
      int64_t total = HDRSIZE + 4 * static_cast<int64_t>(n);
      if (!passes(stn, h, box)) {
        if (c.serving) {
          omprnt(0, "Logic Error 8 in omio\n");
          return 1;
        }
        if (!pfi->seqflg) {
          if (omsstn(r, recstart + total)) return 1;
        } else {
          if (l1 > total) return seqerror(pfi, "  Record size exceeds report size\n");
          if (seqwalk(r, l1, recstart, total, nullptr, swap)) return 1;
        }
        continue;
      }
      // The report's values must be in the file before room is made for
      // them: the count comes from the report's header.
      if (!c.serving && !fholds(r.f, r.pos, 4 * static_cast<int64_t>(n))) return readerr(r, 4 * n);
      vals.resize(static_cast<size_t>(4 * n));
      if (pfi->rbuf.size() < static_cast<size_t>(n)) pfi->rbuf.resize(static_cast<size_t>(n));
      if (c.serving) {
        if (omgcst(c, vals.size(), vals.data())) return 1;
      } else if (!pfi->seqflg) {
        if (omrstn(r, vals.size(), vals.data())) return 1;
      } else {
        if (l1 > total) return seqerror(pfi, "  Record size exceeds report size\n");
        if (omrstn(r, static_cast<size_t>(l1 - HDRSIZE), vals.data())) return 1;
        if (seqwalk(r, l1, recstart, total, vals.data(), swap)) return 1;
      }
      float* fv = pfi->rbuf.data();
      if (n > 0) std::memcpy(fv, vals.data(), vals.size());
      if (!c.serving) {
        if (swap) ombswp(fv, static_cast<size_t>(n));
        // Values that are no number (NaN or infinite, as some writers leave
        // for missing reports) are undefined like those in the band.
        for (long i = 0; i < n; i++)
          if ((fv[i] > pfi->ulow && fv[i] < pfi->uhi) || !std::isfinite(fv[i])) fv[i] = pfi->undef;
      }
      if (omglvs(t, &h, stn)) return 1;
      if (!c.serving) {
        unsigned char ch[HDRSIZE];
        std::memcpy(ch, h.id, 8);
        std::memcpy(ch + 8, &h.lat, 4);
        std::memcpy(ch + 12, &h.lon, 4);
        std::memcpy(ch + 16, &h.toff, 4);
        std::memcpy(ch + 20, &h.nlev, 4);
        std::memcpy(ch + 24, &h.flag, 4);
        omcstn(c, ch, fv, static_cast<size_t>(4 * n), HDRSIZE);
      }
    }
    if (!c.serving) endheader(c);
  }
  return 0;
}

void freeblocks(stnlist* stn) {
  for (int i = 0; i < STNBLKS; i++) {
    std::free(stn->blks[i]);
    stn->blks[i] = nullptr;
  }
  stn->rpt = nullptr;
  stn->rnum = 0;
  stn->tail = &stn->rpt;
  stn->rptcnt = STNBLKSZ;
  stn->blkcnt = -1;
}

}  // namespace

void getwrd8(char* dest, const char* id, bool lower) {
  int i = 0;
  while (i < 8 && id[i] != ' ' && id[i] != '\0' && id[i] != '\n' && id[i] != '\t') {
    char ch = id[i];
    if (lower && ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    dest[i++] = ch;
  }
  dest[i] = '\0';
}

int omgstn(stnlist* stn) {
  stncache& c = cache();
  freeblocks(stn);
  if (c.buf.empty() && !c.refused) {
    try {
      c.buf.assign(CACHESIZE, 0);
    } catch (...) {
      omprnt(0, "Memory allocation error:  Stn data cache buffer\n");
      omprnt(0, "  Station data cache disabled\n");
      c.refused = true;
    }
    c.valid = false;
  }
  c.pnt = 0;
  c.serving = false;
  c.filling = !c.refused;
  if (servable(c, stn)) {
    c.serving = true;
    c.filling = false;
  }
  if (!stn->pfi || (!c.serving && !stn->pfi->tmplat && !stn->pfi->infile)) {
    omprnt(0, "Low Level I/O Error:  station data file is not open\n");
    freeblocks(stn);
    return 1;
  }
  int rc = readrequest(stn, c);
  if (rc) {
    // The buffer may have been overwritten: never serve it again.
    if (!c.serving) c.valid = false;
    freeblocks(stn);
    return 1;
  }
  if (c.filling) {
    c.valid = true;
    hold(c, stn);
  } else if (!c.serving) {
    c.valid = false;
  }
  return 0;
}

void omstncache_reset() {
  stncache& c = cache();
  c.valid = false;
  c.seq = -999;
}

stnrpt* omarpt(stnlist* stn) {
  if (!stn->rpt) {
    // An empty list starts over: no block open, the chain empty.
    for (int i = 0; i < STNBLKS; i++) {
      std::free(stn->blks[i]);
      stn->blks[i] = nullptr;
    }
    stn->tail = &stn->rpt;
    stn->rptcnt = STNBLKSZ;
    stn->blkcnt = -1;
  }
  stnrpt* r;
  if (stn->rptcnt + 1 < STNBLKSZ && stn->blkcnt >= 0) {
    stn->rptcnt++;
    r = stn->blks[stn->blkcnt] + stn->rptcnt;
  } else {
    int b = stn->blkcnt + 1;
    if (b >= STNBLKS) {
      std::printf("Out of memory blocks to allocate \n");
      return nullptr;
    }
    stnrpt* blk = static_cast<stnrpt*>(std::calloc(STNBLKSZ, sizeof(stnrpt)));
    if (!blk) {
      std::printf("Couldn't allocate memory for stn block \n");
      return nullptr;
    }
    stn->blks[b] = blk;
    stn->blkcnt = b;
    stn->rptcnt = 0;
    r = blk;
  }
  *stn->tail = r;
  r->rpt = nullptr;
  stn->tail = &r->rpt;
  stn->prpt = r;
  return r;
}

int omglvs(int t, const stnhdr* hv, stnlist* stn) {
  const stnhdr& h = *hv;
  const datafile* pfi = stn->pfi;
  const float* v = pfi->rbuf.data();
  const filevar* var = stn->pvar;
  long o = var ? static_cast<long>(var->offset) : 0;
  long n = valuecount(pfi, h);
  auto add = [&](float lev, float val) {
    stnrpt* r = omarpt(stn);
    if (!r) return false;
    std::memcpy(r->stid, h.id, 8);
    r->lat = h.lat;
    r->lon = h.lon;
    r->lev = lev;
    r->tim = static_cast<float>(t) + h.toff;
    r->val = val;
    stn->rnum++;
    return true;
  };
  if (!var || var->levels == 0) {
    if (!h.flag) return 0;
    if (o < 0 || o >= pfi->ivnum || o >= n) return 0;
    return add(-9.99e33f, v[o]) ? 0 : 1;
  }
  long start = h.flag ? pfi->ivnum : 0;
  int groups = h.flag ? h.nlev - 1 : h.nlev;
  long per = pfi->lvnum + 1L;
  if (o < 0 || o >= pfi->lvnum) return 0;
  float l1 = stn->dmin[2], l2 = stn->dmax[2];
  float lo = l1 < l2 ? l1 : l2, hi = l1 < l2 ? l2 : l1;
  for (int g = 0; g < groups; g++) {
    long base = start + g * per;
    if (base + o + 1 >= n) break;
    float lev = v[base];
    bool keep = l1 == l2 ? std::fabs(lev - l1) <= 0.01f : (lev >= lo && lev <= hi);
    if (!keep) continue;
    if (!add(lev, v[base + o + 1])) return 1;
  }
  return 0;
}

void omsmnmx(stnlist* stn) {
  stn->smin = stn->smax = stn->undef;
  for (const stnrpt* r = stn->rpt; r; r = r->rpt) {
    if (r->val == stn->undef) continue;
    if (stn->smin == stn->undef || stn->smin > r->val) stn->smin = r->val;
    if (stn->smax == stn->undef || stn->smax < r->val) stn->smax = r->val;
  }
}
