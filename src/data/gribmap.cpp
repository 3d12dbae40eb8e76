// The GRIB index maker.  Every record is visited once and only its section
// headers are read; the packed values are never touched.  All messages go
// to standard output (the buffer allocation message of the writer to
// standard error), as the maker runs outside any command.
#include "data/gribmap.h"

#include <cerrno>
#include <sys/types.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/cmnstate.h"
#include "base/errout.h"
#include "base/outflush.h"
#include "base/replfile.h"
#include "base/useropen.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/fnmexp.h"
#include "data/gribscan.h"
#include "data/gribset.h"
#include "data/gridres.h"

gmapset gmpcmn;

namespace {

// Shared state of one run.
struct gmapstate {
  FILE* gfile = nullptr;   // GRIB file being scanned
  int64_t flen = 0;        // its length
  int64_t fpos = 0;        // scan position
  datafile* pfi = nullptr;
  gribidx* pindx = nullptr;
  int egrid = 1;           // entries per record (2 for the hemispheric pair)
  int ggrid = 255;         // accepted grid
  datetime dtimi = {0, 0, 0, 0, 0};  // initial time
  long indexed = 0;        // records indexed
  long unmatched = 0;      // records that matched no slot
  long again = 0;          // records of a slot an earlier one filled (GRIB2)
};
gmapstate gst;

// Index ints hold 4-byte offsets; anything farther cannot be indexed.
constexpr int64_t kMaxOff = 0x7fffffff;

// Where a record's headers are read from, and where a damaged one is
// reported: printed, or put in why when the caller reports it.
struct g1src {
  FILE* f;
  int64_t flen;
  std::string* why;
};

bool readat(const g1src& src, int64_t pos, unsigned char* buf, int64_t n) {
  if (pos < 0 || n < 0 || pos + n > src.flen) return false;
  if (fseeko(src.f, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
  return std::fread(buf, 1, static_cast<size_t>(n), src.f) == static_cast<size_t>(n);
}

bool readat(int64_t pos, unsigned char* buf, int64_t n) { return readat(g1src{gst.gfile, gst.flen, nullptr}, pos, buf, n); }

unsigned int b3(const unsigned char* b) { return omgby(b, 0, 3); }

// Base time plus the forecast of the record, in any unit of GRIB1's code
// table 4 (3 and 6 hours, quarter and half hours, seconds, decades...: a
// forecast in them taken as none would put every step of a run at its
// base time, each over the one before).  A unit the table does not have
// leaves no forecast.
void validtime(gribhead* h) {
  h->vtim = h->btim;
  int fc = (h->trange >= 2 && h->trange <= 5) ? h->p2 : h->p1;
  if (gmpcmn.ignfcst) return;
  datetime v = h->btim;
  if (gribaddunits(&v, h->tunit, fc, 1)) h->vtim = v;
}

int badlen(const g1src& src, const gribhead* h) {
  if (src.why) *src.why = "a section length does not fit the record";
  else
    std::printf("GRIB record at byte %lld: a section length does not fit the record\n",
                static_cast<long long>(h->start));
  return 55;
}

// The product definition section at pos.
int rdpds(const g1src& src, gribhead* h, int64_t pos) {
  unsigned char b[3];
  if (!readat(src, pos, b, 3)) return 50;
  h->pdslen = static_cast<int>(b3(b));
  // The fields used reach octet 21; a shorter section cannot be decoded.
  if (h->pdslen < 21) return badlen(src, h);
  std::vector<unsigned char> s(static_cast<size_t>(h->pdslen));
  if (!readat(src, pos, s.data(), h->pdslen)) return 50;
  const unsigned char* p = s.data() - 1;  // p[n] is octet n
  h->pdsoff = pos;
  h->table = p[4];
  h->centre = p[5];
  h->gridid = p[7];
  h->gdsflg = (p[8] & 0x80) ? 1 : 0;
  h->bmsflg = (p[8] & 0x40) ? 1 : 0;
  h->parm = p[9];
  h->ltyp = p[10];
  h->level = p[11] * 256 + p[12];
  h->l1 = p[11];
  h->l2 = p[12];
  int yr = p[13];
  h->btim.mo = p[14];
  h->btim.dy = p[15];
  h->btim.hr = p[16] > 23 ? 0 : p[16];
  h->btim.mn = p[17];
  h->tunit = p[18];
  h->trange = p[21];
  if (h->trange == 10) {
    h->p1 = p[19] * 256 + p[20];
    h->p2 = 0;
  } else {
    h->p1 = p[19];
    h->p2 = p[20];
  }
  if (h->pdslen >= 25) yr = p[25] * 100 + yr - 100;
  else yr = yr > 49 ? 1900 + yr : 2000 + yr;
  h->btim.yr = yr;
  validtime(h);
  // The decimal scale factor is octets 27-28: only a section that holds
  // both has one.
  h->dsf = 1.0f;
  if (h->pdslen >= 28) {
    int d = (p[27] & 0x7f) * 256 + p[28];
    if (p[27] & 0x80) d = -d;
    h->dsf = static_cast<float>(std::pow(10.0, d));
  }
  return 0;
}

int rdgds(const g1src& src, gribhead* h, int64_t pos, int64_t* len) {
  unsigned char b[10];
  if (!readat(src, pos, b, 10)) return 50;
  *len = b3(b);
  if (*len < 10) return badlen(src, h);
  h->gdsoff = pos;
  h->gdslen = *len;
  h->ni = static_cast<int>(omgby(b, 6, 2));
  h->nj = static_cast<int>(omgby(b, 8, 2));
  return 0;
}

int rdbms(const g1src& src, gribhead* h, int64_t pos, int64_t* len) {
  unsigned char b[3];
  if (!readat(src, pos, b, 3)) return 50;
  *len = b3(b);
  if (*len < 6) return badlen(src, h);
  h->bmsoff = pos + 6;
  return 0;
}

int rdbds(const g1src& src, gribhead* h, int64_t pos, int64_t* len) {
  unsigned char b[11];
  if (!readat(src, pos, b, 11)) return 50;
  *len = b3(b);
  if (*len < 11) return badlen(src, h);
  h->bdsflg = b[3] & 0xc0;
  int e = static_cast<int>(omgby(b, 4, 2));
  if (e > 32767) e = 32768 - e;
  h->bsf = static_cast<float>(std::ldexp(1.0, e));
  h->ref = ibm2flt(b + 6);
  h->bpv = b[10];
  h->dataoff = pos + 11;
  return 0;
}

// Finds "GRIB" at or after the scan position.
int findgrib() {
  int64_t skipped = 0;
  unsigned char b[4] = {0, 0, 0, 0};
  for (;;) {
    if (skipped >= gmpcmn.scanlim) {
      std::printf("GRIB header not found in scanning between records\n");
      std::printf("->%c%c%c%c<-\n", b[0], b[1], b[2], b[3]);
      return 52;
    }
    if (!readat(gst.fpos, b, 4)) return 50;
    if (std::memcmp(b, "GRIB", 4) == 0) return 0;
    gst.fpos++;
    skipped++;
    if (gst.fpos >= gst.flen - 4) return 53;
  }
}

// The slot's entries hold 4-byte offsets: a record beyond them is refused.
bool fitsindex(const gribhead* h) {
  return h->dataoff <= kMaxOff && h->bmsoff <= kMaxOff;
}

int keylevel(const filevar& v, const gribhead* h) {
  if (v.units[3] == -999) return v.units[2] == h->level;
  if (v.units[2] == h->l1 && v.units[3] == h->l2) return 1;
  return v.units[3] == h->trange && v.units[2] == h->level;
}

}  // namespace

void putint(int value, unsigned char* buf, int64_t* pos) {
  unsigned int v;
  if (value < 0) {
    // The magnitude of the most negative int does not fit 31 bits: it is
    // written as the largest magnitude rather than as -0.
    unsigned int mag = value == INT32_MIN ? 0x7fffffffu : static_cast<unsigned int>(-value);
    v = mag | 0x80000000u;
  } else {
    v = static_cast<unsigned int>(value);
  }
  ompby(v, buf, static_cast<long>(*pos), 4);
  *pos += 4;
}

namespace {

// The sections of the record whose "GRIB" is at p, its edition already in h.
int parsehead(const g1src& src, int64_t p, int64_t total, gribhead* h) {
  int64_t pos = h->edition == 1 ? p + 8 : p + 4;
  int rc = rdpds(src, h, pos);
  if (rc) return rc;
  pos += h->pdslen;
  int64_t gdslen = 0, bmslen = 0, bdslen = 0;
  if (h->gdsflg) {
    if ((rc = rdgds(src, h, pos, &gdslen))) return rc;
    pos += gdslen;
  }
  if (h->bmsflg) {
    if ((rc = rdbms(src, h, pos, &bmslen))) return rc;
    pos += bmslen;
  }
  if ((rc = rdbds(src, h, pos, &bdslen))) return rc;
  if (h->edition == 1) {
    // The sections must lie inside the record, so that the scan always
    // moves forward and never reads another record's bytes as this one's.
    if (pos + bdslen > p + total) return badlen(src, h);
    h->next = p + total;
  } else {
    h->next = p + h->pdslen + gdslen + bmslen + bdslen + 8;
  }
  return 0;
}

}  // namespace

int gribhdr(gribhead* h) {
  *h = gribhead();
  if (gst.fpos + 50 >= gst.flen) return 1;
  int rc = findgrib();
  if (rc) return rc;
  int64_t p = gst.fpos;
  h->start = p;
  unsigned char is[8];
  if (!readat(p, is, 8)) return p + 8 >= gst.flen ? 61 : 62;
  h->edition = is[7];
  if (h->edition > 1) {
    std::printf("File is not GRIB version 0 or 1, 0 or 1 is required. \n");
    std::printf("Version number is %i\n", h->edition);
    return 99;
  }
  if ((rc = parsehead(g1src{gst.gfile, gst.flen, nullptr}, p, b3(is + 4), h))) return rc;
  gst.fpos = h->next;
  return 0;
}

int gribhead1(FILE* f, int64_t flen, int64_t pos, gribhead* h, std::string* why) {
  *h = gribhead();
  h->start = pos;
  const g1src src{f, flen, why};
  unsigned char is[8];
  if (!readat(src, pos, is, 8)) return 50;
  h->edition = is[7];
  if (h->edition > 1) return 99;
  int rc = parsehead(src, pos, b3(is + 4), h);
  if (rc == 50 && why) *why = "the file ends inside the record";
  return rc;
}

void gribfill(int s, int eoff, int estride, const gribhead* h, gribidx* pindx) {
  int64_t k = static_cast<int64_t>(s) * estride + eoff;
  if (k < 0 || k + 3 > pindx->intnum || k + 3 > pindx->fltnum) return;
  pindx->intpnt[k] = static_cast<int>(h->dataoff);
  if (h->bmsflg) pindx->intpnt[k + 1] = static_cast<int>(h->bmsoff);
  pindx->intpnt[k + 2] = h->bpv;
  pindx->fltpnt[k] = h->dsf;
  pindx->fltpnt[k + 1] = h->bsf;
  pindx->fltpnt[k + 2] = h->ref;
}

int gribrec(const gribhead* h, datafile* pfi, gribidx* pindx) {
  if (h->bdsflg) return 10;
  int eoff = 0;
  if (gst.ggrid == 255) {
    if (!h->gdsflg) return 20;
    if (pfi->ppflag) {
      if (h->ni != pfi->ppisiz || h->nj != pfi->ppjsiz) return 300;
    } else if (h->ni != pfi->dnum[0] || h->nj != pfi->dnum[1]) {
      return 301;
    }
  } else if (gst.egrid == 2) {
    if (h->gridid != 29 && h->gridid != 30) return 400;
    if (h->gridid == 29) eoff = 3;
  } else if (h->gridid != gst.ggrid) {
    return 401;
  }
  // A base time that is no calendar time lies on no time axis.
  const datetime& b = h->btim;
  if (b.mo < 1 || b.mo > 12 || b.dy < 1 || b.dy > 31 || b.mn > 59) return 36;
  double g = t2gr(pfi->grvals[3], &h->vtim);
  if (g < 0.99 || g > pfi->dnum[3] + 0.01) return 36;
  if (std::fabs(g - std::floor(g + 0.5)) > 0.01) return 38;
  int t = static_cast<int>(g + 0.01);
  int64_t base = static_cast<int64_t>(t - 1) * pfi->trecs;
  const int est = 3 * gst.egrid;
  for (const filevar& v : pfi->pvar1) {
    if (v.units[0] != h->parm || v.units[1] != h->ltyp) continue;
    if (v.levels == 0) {
      if (!keylevel(v, h)) continue;
      if (!fitsindex(h)) return 2;
      gribfill(static_cast<int>(base + v.recoff), eoff, est, h, pindx);
      return 0;
    }
    if (v.units[3] != -999 && v.units[3] != h->trange) continue;
    if (!pfi->ab2gr[2]) continue;
    double z = pfi->ab2gr[2](pfi->abvals[2], static_cast<double>(h->level));
    if (!(z > 0.99 && z < v.levels + 0.01)) continue;
    double k = std::floor(z + 0.5);
    if (std::fabs(z - k) > 0.01) continue;
    if (!fitsindex(h)) return 2;
    gribfill(static_cast<int>(base + v.recoff + static_cast<int64_t>(k) - 1), eoff, est, h, pindx);
    return 0;
  }
  return 1;
}

namespace {

// The initial time of the index, in its bytes 18 to 23.
void puttime(const datetime& d, unsigned char* b) {
  ompby(static_cast<unsigned int>(d.yr), b, 18, 2);
  b[20] = static_cast<unsigned char>(d.mo);
  b[21] = static_cast<unsigned char>(d.dy);
  b[22] = static_cast<unsigned char>(d.hr);
  b[23] = static_cast<unsigned char>(d.mn);
}

}  // namespace

int wtgmap(std::vector<unsigned char>* out) {
  const gribidx* gi = gst.pindx;
  const int64_t words = static_cast<int64_t>(gi->hinum) + gi->hfnum + gi->intnum + gi->fltnum;
  std::vector<unsigned char>& buf = *out;
  try {
    buf.assign(static_cast<size_t>(57 + 4 * words), 0);
  } catch (const std::bad_alloc&) {
    omerrf("malloc error creating the map in omgmap\n");
    return 60;
  }
  unsigned char* b = buf.data();
  int64_t pos = 2;
  b[0] = 0;
  b[1] = 2;
  putint(gi->hinum, b, &pos);
  putint(gi->hfnum, b, &pos);
  putint(gi->intnum, b, &pos);
  putint(gi->fltnum, b, &pos);
  puttime(gst.dtimi, b);
  b[24] = 0;
  pos = 25;
  for (int i = 0; i < gi->hinum; i++) putint(gi->hipnt[i], b, &pos);
  for (int i = 0; i < gi->intnum; i++) putint(gi->intpnt[i], b, &pos);
  for (int i = 0; i < gi->fltnum; i++, pos += 4)
    if (flt2ibm(gi->fltpnt[i], b + pos) < 0) return 601;
  const float* tv = gst.pfi->grvals[3];
  for (int i = 0; i < 8; i++, pos += 4)
    if (flt2ibm(tv ? tv[i] : 0.0f, b + pos) < 0) return 601;
  buf.resize(static_cast<size_t>(pos));
  return 0;
}

int wtgmap3(std::vector<unsigned char>* out) {
  const gribidx* gi = gst.pindx;
  const size_t slots = gi->msgoff.size();
  try {
    out->assign(25 + 12 * slots, 0);
  } catch (const std::bad_alloc&) {
    omerrf("malloc error creating the map in omgmap\n");
    return 60;
  }
  unsigned char* b = out->data();
  int64_t pos = 2;
  b[1] = 3;
  putint(gst.pfi->dnum[3], b, &pos);
  putint(gst.pfi->trecs, b, &pos);
  putint(255, b, &pos);
  putint(static_cast<int>(slots), b, &pos);
  puttime(gst.dtimi, b);
  pos = 25;
  for (size_t i = 0; i < slots; i++, pos += 12) {
    const uint64_t off = static_cast<uint64_t>(gi->msgoff[i]);  // -1: all ones
    ompby(static_cast<unsigned int>(off >> 32), b, static_cast<long>(pos), 4);
    ompby(static_cast<unsigned int>(off & 0xffffffffu), b, static_cast<long>(pos + 4), 4);
    ompby(static_cast<unsigned int>(gi->msgfld[i]), b, static_cast<long>(pos + 8), 4);
  }
  return 0;
}

void gribmapcounts(long* indexed, long* unmatched, long* again) {
  *indexed = gst.indexed;
  *unmatched = gst.unmatched;
  *again = gst.again;
}

namespace {

// Grid option checks; 0 or 1 after the message.
int gridopt(datafile* pfi) {
  int opt = pfi->grbgrd;
  gst.egrid = 1;
  gst.ggrid = 255;
  if (opt == -999 || opt == 255) return 0;
  if (opt == 29 && pfi->ppflag) {
    // Two entries per record would be filled while the reader of a
    // pre-projected set reads one: the pair is refused for such sets.
    std::printf("Error in grid specification for GRIB grid type 29/30.\n");
    std::printf("  A pre-projected data set cannot use the hemispheric grid pair\n");
    return 1;
  }
  if (pfi->ppflag && opt >= 0) {
    gst.ggrid = opt;
    return 0;
  }
  if (opt == 29) {
    gst.egrid = 2;
    gst.ggrid = 29;
    bool ok = pfi->dnum[0] == 144 && pfi->dnum[1] == 73 && pfi->linear[0] && pfi->linear[1] &&
              pfi->grvals[0] && pfi->grvals[1];
    if (ok) {
      const float* x = pfi->grvals[0];
      const float* y = pfi->grvals[1];
      ok = std::fabs(x[0] - 2.5) < 1e-4 && std::fabs(x[0] + x[1]) < 1e-4 &&
           std::fabs(y[0] - 2.5) < 1e-4 && std::fabs(y[0] + y[1] + 90.0) < 1e-4;
    }
    if (!ok) {
      std::printf("Error in grid specification for GRIB grid type 29/30.\n");
      std::printf("  Grid scaling must indicate a 2.5 x 2.5 grid\n");
      std::printf("  Grid size must be 144 x 73\n");
      std::printf("  Grid must go from 0 to 357.5 and -90 to 90\n");
      return 1;
    }
    return 0;
  }
  gst.ggrid = opt;
  return 0;
}

int buildidx(datafile* pfi, gribidx* gi) {
  const int64_t n = static_cast<int64_t>(gst.egrid) * 3 * pfi->trecs * pfi->dnum[3];
  // The counts are the descriptor's claims, made before any record is
  // found: an index beyond what one grid may take is refused rather than
  // promised and then filled.
  const int64_t most = static_cast<int64_t>(omgcap() / (sizeof(int) + sizeof(float)));
  if (n > INT32_MAX || n > most) {
    std::printf("memory allocation error\n");
    return GMFATAL;
  }
  try {
    gi->type = 2;
    gi->hinum = 4;
    gi->hfnum = 0;
    gi->intnum = gi->fltnum = static_cast<int>(n);
    gi->hipnt = {2, pfi->dnum[3], pfi->trecs, pfi->grbgrd == -999 ? 255 : pfi->grbgrd};
    gi->intpnt.assign(static_cast<size_t>(n), -999);
    gi->fltpnt.assign(static_cast<size_t>(n), -999.0f);
    if (pfi->bgrib == 2) {
      gi->msgoff.assign(static_cast<size_t>(n / 3), -1);
      gi->msgfld.assign(static_cast<size_t>(n / 3), 0);
    }
  } catch (const std::bad_alloc&) {
    std::printf("memory allocation error\n");
    return GMFATAL;
  }
  return 0;
}

// Scans one open file.  0 go on, 2 stop the scan (index still written),
// else the fatal code.
int scanfile(datafile* pfi, int* result) {
  int64_t end = -1;
  if (fseeko(gst.gfile, 0, SEEK_END) == 0) end = ftello(gst.gfile);
  gst.flen = end < 0 ? 0 : end;
  gst.fpos = gmpcmn.skip;
  for (;;) {
    gribhead h;
    int rc = gribhdr(&h);
    if (rc == 1) return 0;
    if (rc == 50) {
      std::printf("I/O Error reading GRIB file\n");
      std::printf("Possible cause: premature EOF\n");
      return 2;
    }
    if (rc > 1) {
      std::printf("GRIB file format error \n");
      std::printf("rc = %i\n", rc);
      return rc;
    }
    rc = gribrec(&h, pfi, gst.pindx);
    if (rc == 2) {
      std::printf("GRIB record at byte %lld lies beyond the reach of the index\n",
                  static_cast<long long>(h.start));
      return GMFATAL;
    }
    if (rc == 0) *result = 1;
    else if (rc > 99) *result = rc;
    (rc == 0 ? gst.indexed : gst.unmatched)++;
  }
}

// Matches one GRIB2 field to the descriptor and stores where its message
// is.  0 indexed, else the rejection code (as gribrec's).
int gribrec2(const gribfld& f, datafile* pfi, gribidx* gi) {
  if (f.edition != 2 || !f.unread.empty()) return 1;
  const int64_t nx = pfi->ppflag ? pfi->ppisiz : pfi->dnum[0];
  const int64_t ny = pfi->ppflag ? pfi->ppjsiz : pfi->dnum[1];
  if (g2points(f.g2) != nx * ny) return pfi->ppflag ? 300 : 301;
  double g = t2gr(pfi->grvals[3], &f.valid);
  if (g < 0.99 || g > pfi->dnum[3] + 0.01) return 36;
  if (std::fabs(g - std::floor(g + 0.5)) > 0.01) return 38;
  const int t = static_cast<int>(g + 0.01);
  const griblev lev = gribshownlev(f);
  for (const filevar& v : pfi->pvar1) {
    const g2codes& c = v.g2;
    if (c.disc != f.disc || c.cat != f.cat || c.num != f.num || c.ltype != f.ltype) continue;
    if (c.stat >= 0 && c.stat != f.stat) continue;
    if (c.period >= 0 && (f.stat < 0 || f.period.months != 0 || f.period.minutes != std::lround(c.period * 60)))
      continue;
    int z = 1;
    if (v.levels > 0) {
      if (!lev.has || lev.has2 || !pfi->ab2gr[2]) continue;
      double zg = pfi->ab2gr[2](pfi->abvals[2], lev.value);
      if (!(zg > 0.99 && zg < v.levels + 0.01) || std::fabs(zg - std::floor(zg + 0.5)) > 0.01) continue;
      z = static_cast<int>(std::floor(zg + 0.5));
    } else if (c.haslev && lev.has && std::fabs(lev.value - c.lev) > 1e-6 * std::fmax(1.0, std::fabs(c.lev))) {
      continue;
    }
    const size_t slot = static_cast<size_t>((static_cast<int64_t>(t) - 1) * pfi->trecs + v.recoff + z - 1);
    if (slot >= gi->msgoff.size()) return 1;
    if (gi->msgoff[slot] >= 0) gst.again++;
    gi->msgoff[slot] = f.msgoff;
    gi->msgfld[slot] = f.fieldno;
    return 0;
  }
  return 1;
}

// Scans one open file of GRIB2 variables.  0 go on, else the fatal code.
int scanfile2(datafile* pfi, int* result) {
  gribscanres scan;
  std::string why;
  if (gribscan(gst.gfile, &scan, &why)) {
    std::printf("gribmap:  the file cannot be read: %s\n", why.c_str());
    // An interrupted run writes no index: the one there stays.
    return omqsig() ? GMFATAL : 0;
  }
  for (const gribskip& k : scan.skips) {
    if (k.msgno)
      std::printf("gribmap:  skipped message %d at byte %lld: %s\n", k.msgno, static_cast<long long>(k.at), k.why.c_str());
    else
      std::printf("gribmap:  skipped at byte %lld: %s\n", static_cast<long long>(k.at), k.why.c_str());
  }
  for (const gribfld& f : scan.fields) {
    int rc = gribrec2(f, pfi, gst.pindx);
    if (rc == 0) *result = 1;
    else if (rc > 99) *result = rc;
    (rc == 0 ? gst.indexed : gst.unmatched)++;
  }
  return 0;
}

int openscan(const std::string& name, bool member, datafile* pfi, int* result) {
  const std::string shown = replshownname(name);
  std::printf("gribmap:  Opening GRIB file %s\n", shown.c_str());
  gst.gfile = omfdata(name.c_str());
  if (!gst.gfile) {
    int e = errno;
    if (member) {
      std::printf("Warning: Could not open GRIB file: %s\n", shown.c_str());
      return 0;
    }
    std::printf("Could not open GRIB file.  File name is:\n");
    std::printf("  %s\n%s", shown.c_str(), omopennote(e).c_str());
    return GMFATAL;
  }
  int rc = pfi->bgrib == 2 ? scanfile2(pfi, result) : scanfile(pfi, result);
  std::fclose(gst.gfile);
  gst.gfile = nullptr;
  return rc;
}

// Every file of the data set; 0 all scanned, 2 stopped early, else fatal.
int scanall(datafile* pfi, int* result) {
  if (!pfi->tmplat) return openscan(pfi->name, false, pfi, result);
  const int nt = pfi->dnum[3];
  int t = 1;
  while (t <= nt) {
    if (static_cast<int>(pfi->fnums.size()) < nt || pfi->fnums[t - 1] != t) {
      std::printf("Logic error in file template structure\n");
      return GMFATAL;
    }
    datetime dt;
    gr2t(pfi->grvals[3], static_cast<double>(t), &dt);
    std::string nm = omfndt(pfi->name.c_str(), &dt, &gst.dtimi, pfi->grvals[3]);
    if (nm.empty()) {
      std::printf("Memory allocation error\n");
      return GMFATAL;
    }
    int rc = openscan(nm, true, pfi, result);
    if (rc) return rc;
    int f = pfi->fnums[t - 1];
    while (t <= nt && pfi->fnums[t - 1] == f) t++;
  }
  return 0;
}

int run(datafile* pfi, gribidx* gi) {
  const char* descr = gmpcmn.descr.c_str();
  if (gmpcmn.text.empty() ? omddes(descr, pfi, 0) : omddestext(descr, gmpcmn.text, pfi, 0)) {
    std::printf("File name is:  %s\n", replshownname(gmpcmn.descr).c_str());
    return GMFATAL;
  }
  if (!pfi->bgrib) {
    std::printf("Data Descriptor file is not for GRIB data\n");
    return GMFATAL;
  }
  if (pfi->mnam.empty()) {
    std::printf("gribmap:  the descriptor has no index record to name the index\n");
    return GMFATAL;
  }
  gst.pfi = pfi;
  gst.pindx = gi;
  gr2t(pfi->grvals[3], 1.0, &gst.dtimi);
  if (gridopt(pfi)) return GMFATAL;
  if (buildidx(pfi, gi)) return GMFATAL;
  std::printf("\ngribmap:  Scanning binary GRIB file(s):\n");
  int result = 0;
  int rc = scanall(pfi, &result);
  if (rc != 0 && rc != 2) return rc;
  std::printf("gribmap:  Reached EOF\n");
  if (!gmpcmn.write) return result;
  std::printf("gribmap:  Writing the map...\n\n");
  std::vector<unsigned char> map;
  rc = pfi->bgrib == 2 ? wtgmap3(&map) : wtgmap(&map);
  if (rc == 601) {
    std::printf("\nGRIBMAP failed because of overflow in float -> IBM float conversion!!!\n");
    std::printf("  Please report the data set to the maintainers of this program\n");
    return 601;
  }
  if (rc) return rc == 60 ? 60 : GMFATAL;
  // Made whole first and put in place of an older index only then, by the
  // rules of every output: a failure never leaves a half-written index,
  // which would be read as a valid one, nor removes what stood there.
  std::string note;
  int saved = replsave(pfi->mnam.c_str(), map.data(), map.size(), &note);
  if (saved == 1) {
    int e = errno;
    std::printf("Could not open index file: %s\n%s%s", replshownname(pfi->mnam).c_str(), omopennote(e).c_str(),
                note.c_str());
  } else if (saved == 2) {
    std::printf("Could not write the index file\n");
  } else if (saved == 3) {
    std::printf("%s", note.c_str());
  }
  return saved == 0 ? result : GMFATAL;
}

}  // namespace

int gribmap() {
  datafile* pfi = getpfi();
  if (!pfi) {
    std::printf("Memory allocation error \n");
    return GMFATAL;
  }
  gribidx* gi = new (std::nothrow) gribidx();
  if (!gi) {
    std::printf("Memory allocation error for pindx\n");
    frepfi(pfi, 0);
    return GMFATAL;
  }
  gst = gmapstate();
  int rc = run(pfi, gi);
  omoutflush();
  if (gst.gfile) std::fclose(gst.gfile);
  const long indexed = gst.indexed, unmatched = gst.unmatched, again = gst.again;
  gst = gmapstate();
  gst.indexed = indexed;
  gst.unmatched = unmatched;
  gst.again = again;
  delete gi;
  frepfi(pfi, 0);
  return rc;
}

int gribindex(const std::string& descr, int ignfcst, const std::string& text) {
  gmpcmn = gmapset();
  gmpcmn.descr = descr;
  gmpcmn.text = text;
  gmpcmn.ignfcst = ignfcst ? 1 : 0;
  const int rc = gribmap();
  gmpcmn.text.clear();
  return rc;
}

int gribmapcmd(const std::string& descr) {
  const std::string shown = replshownname(descr);
  if (gribnamed(descr.c_str())) {
    std::printf("gribmap:  %s is a GRIB file: open opens it as it is, with no index\n", shown.c_str());
    omoutflush();
    return 1;
  }
  int rc = gribindex(descr, 0);
  long indexed, unmatched, again;
  gribmapcounts(&indexed, &unmatched, &again);
  if (rc == GMFATAL) {
    std::printf("gribmap:  no index was made for %s\n", shown.c_str());
  } else if (rc >= 2 && rc <= 99) {
    std::printf("gribmap:  the GRIB data are badly coded (code %d); the index was not made\n", rc);
    if (rc == 99) std::printf("gribmap:  GRIB2 records are described by a descriptor of dtype grib2\n");
  } else if (indexed == 0) {
    std::printf("gribmap:  no GRIB record matched the descriptor %s; its index holds none\n", shown.c_str());
  } else {
    std::printf("gribmap:  %ld records indexed, %ld matched no variable, time or level of %s\n", indexed, unmatched,
                shown.c_str());
    if (again) std::printf("gribmap:  %ld records took the place of an earlier record of the same time, variable and level\n", again);
    if (rc > 99) std::printf("gribmap:  records of another grid were left out\n");
  }
  omoutflush();
  return rc == GMFATAL || (rc >= 2 && rc <= 99) || indexed == 0 ? 1 : 0;
}
