// Reading runs of grid points from GRIB records.  The index gives where a
// record's packed values and bit map lie; a run costs one positioned read,
// and a record's bit map is read once per request and turned into a table
// of value ordinals so that any run is located without scanning the bits
// ahead of it.
#include "data/gribread.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/vecclone.h"
#include "data/bitfields.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/gribfield.h"
#include "data/gridres.h"
#include "data/rawread.h"

omrdreq omreq;

namespace {

struct gribcache {
  std::vector<unsigned char> bcache;  // bit map of the record held
  std::vector<int> bpcach;            // ordinal of each point's value
  int64_t bssav = -999;               // bytes of the bit map held
  int64_t bpsav = -999;               // bit-map offset held
  std::vector<unsigned char> cache;   // whole packed record (pre-projected)
  int cflag = 0;
  int64_t coff = -999;                // data offset of the cached record
  int64_t cgot = 0;                   // bytes of it the file really held
  int64_t lastgot = 0;                // bytes the last omird found in the file
  long bmreads = 0;
  // The record last read through its message: the field decoded whole
  // (GRIB2; its room kept from one request to the next, see omgrbrelease),
  // or the entries of a GRIB1 record's headers.
  const FILE* mfile = nullptr;
  int64_t moff = -1;
  int mfld = -1;
  g2held g2;
  g1entry g1;
};
gribcache gc;

// The room of GRIB2 fields up to this size is kept from one command to the
// next (a script's displays); a larger one only through a command.
constexpr size_t kKeptBetween = size_t(64) << 20;

// The name of the file being read, as messages show it.
std::string curname() {
  const datafile* p = omreq.pfi;
  return replshownname(p->tmplat && !p->tempname.empty() ? p->tempname : p->name);
}

void ioerr(int64_t n, int64_t pos) {
  omprntf(0, "GRIB I/O Error reading %lld bytes at %lld\n", static_cast<long long>(n),
          static_cast<long long>(pos));
  omprnt(0, "  File name is: ");
  omprnt(0, curname());
  omprnt(0, "\n");
}

// Reads the bit map at boff for an nx*ny grid and builds the ordinals.
int rdbmap(int64_t boff, int64_t npts) {
  const int64_t need = npts / 8 + 2;
  // The bit map's size comes from the grid's: it must be in the file
  // before room is made for it and for its ordinals.
  if (!fholds(omreq.pfi->infile, boff, need)) {
    omprnt(0, "GRIB I/O Error: Bit Map I/O\n");
    return 1;
  }
  if (gc.bssav < need || gc.bpcach.size() < static_cast<size_t>(npts + 1)) {
    // The ordinals take 32 times the bit map's bytes, so the map being in
    // the file does not vouch for them: they are held to what one grid may
    // take, like the grid the record fills.
    if (npts + 1 > static_cast<int64_t>(omgcap() / sizeof(int))) {
      omprnt(0, "Memory Allocation Error During GRIB I/O\n");
      return 1;
    }
    try {
      gc.bcache.assign(static_cast<size_t>(need), 0);
      gc.bpcach.assign(static_cast<size_t>(npts + 1), 0);
    } catch (const std::bad_alloc&) {
      gc.bcache.clear();
      gc.bpcach.clear();
      gc.bssav = gc.bpsav = -999;
      omprnt(0, "Memory Allocation Error During GRIB I/O\n");
      return 1;
    }
    gc.bssav = need;
  }
  gc.bpsav = -999;
  gc.bmreads++;
  if (preadn(omreq.pfi->infile, gc.bcache.data(), need, boff) != need) {
    omprnt(0, "GRIB I/O Error: Bit Map I/O\n");
    return 1;
  }
  const unsigned char* b = gc.bcache.data();
  int* pc = gc.bpcach.data();
  int p = 1;
  for (int64_t k = 0; k < npts; k++) {
    if (b[k >> 3] & (0x80 >> (k & 7))) pc[k] = p++;
    else pc[k] = -p;
  }
  pc[npts] = p;
  gc.bpsav = boff;
  return 0;
}

int iabs(int v) { return v < 0 ? -v : v; }

int g1run(const g1entry& en, int64_t e, int count, int64_t nx, int64_t ny, float* gr);

// Packed values made into grid values: (packed x binary scale + reference)
// / decimal scale, in double precision as the format is decoded.  A
// damaged index (a decimal factor of 0, a scale beyond single precision)
// unpacks to no number: undefined, never shown as data.  Built without
// regard for floating-point traps, which the program never enables: the
// compiler then makes the choice of value or undefined a blend of every
// value's conversion to single precision, and the loop runs four or eight
// values at a time instead of one with a branch.  The values are those of
// the loop one at a time, to the bit.
OM_VECTOR_CLONES __attribute__((optimize("O3", "no-trapping-math"))) void scale(const uint32_t* __restrict v, int m, float bsf,
                                                            float ref, float dsf, float undef,
                                                            float* __restrict out) {
  const double b = bsf, r = ref, d = dsf, top = FLT_MAX;
  for (int i = 0; i < m; i++) {
    double x = (static_cast<double>(v[i]) * b + r) / d;
    out[i] = std::fabs(x) <= top ? static_cast<float>(x) : undef;
  }
}

}  // namespace

long omgrbbmr() { return gc.bmreads; }

size_t omgrbheld() { return gc.g2.bytes(); }

void omgrbini(datafile* pfi, filevar* pvr, float gundef, int lonlat) {
  omreq.pfi = pfi;
  omreq.pvr = pvr;
  omreq.gundef = gundef;
  omreq.lonlat = lonlat;
  omreq.serial++;
  // The caches belong to one request: released, not just marked empty,
  // so that a large record does not stay in memory between commands.  The
  // room of GRIB2 fields, which each message fills anew, is kept for the
  // next request (a loop over times), and given back between commands.
  std::vector<unsigned char>().swap(gc.cache);
  std::vector<unsigned char>().swap(gc.bcache);
  std::vector<int>().swap(gc.bpcach);
  gc.cflag = 0;
  gc.coff = -999;
  gc.bssav = -999;
  gc.bpsav = -999;
  gc.mfile = nullptr;
  gc.moff = -1;
  gc.mfld = -1;
}

void omgrbrelease(bool all) {
  if (!all && gc.g2.bytes() <= kKeptBetween) return;
  gc.g2 = g2held();
  gc.mfile = nullptr;
}

void omgrbmem() {
  gc.bpsav = -999;
  gc.mfile = nullptr;
  gc.moff = -1;
}

namespace {

// Makes the read buffer hold at least n bytes.
bool readroom(datafile* p, int64_t n) {
  if (p->pbuf.size() >= static_cast<size_t>(n)) return true;
  try {
    p->pbuf.assign(static_cast<size_t>(n), 0);
  } catch (const std::bad_alloc&) {
    omprnt(0, "GRIB Memory Allocation Error\n");
    return false;
  }
  return true;
}

// The bytes of the n at pos that the file holds (at least 1): a damaged
// index may ask for gigabytes, and room is made only for what can be read;
// the bytes missing make the read an error, as a short read does.
int64_t heldbytes(FILE* f, int64_t pos, int64_t n) {
  if (fholds(f, pos, n)) return n;
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && st.st_size > pos) return st.st_size - pos < n ? st.st_size - pos : n;
  return 1;
}

}  // namespace

int omird(int64_t doff, int64_t fbyte, int64_t nbytes, int nx, int ny, int bits) {
  datafile* p = omreq.pfi;
  if (nbytes < 1) nbytes = 1;
  if (p->ppflag && omreq.lonlat) {
    if (!gc.cflag || gc.coff != doff) {
      // Room for no more of the record than the file holds.
      const int64_t sz = heldbytes(p->infile, doff, static_cast<int64_t>(nx) * ny * bits / 8 + 5);
      try {
        gc.cache.assign(static_cast<size_t>(sz), 0);
      } catch (const std::bad_alloc&) {
        omprnt(0, "GRIB Memory Allocation Error\n");
        return 1;
      }
      gc.cgot = preadn(p->infile, gc.cache.data(), sz, doff);
      if (gc.cgot == 0) {
        ioerr(sz, doff);
        return 1;
      }
      gc.cflag = 1;
      gc.coff = doff;
    }
    // Only what the cache holds is copied; the rest stays zero.
    const int64_t have = static_cast<int64_t>(gc.cache.size());
    const int64_t held = fbyte >= 0 && fbyte < have ? (have - fbyte < nbytes ? have - fbyte : nbytes) : 1;
    if (!readroom(p, held)) return 1;
    unsigned char* dst = p->pbuf.data();
    std::memset(dst, 0, std::min(p->pbuf.size(), static_cast<size_t>(nbytes)));
    gc.lastgot = 0;
    if (fbyte >= 0 && fbyte < have) {
      int64_t n = held;
      std::memcpy(dst, gc.cache.data() + fbyte, static_cast<size_t>(n));
      gc.lastgot = gc.cgot - fbyte < n ? gc.cgot - fbyte : n;
    }
    return 0;
  }
  const int64_t pos = doff + fbyte;
  const int64_t want = nbytes;
  nbytes = heldbytes(p->infile, pos, nbytes);
  if (!readroom(p, nbytes)) return 1;
  unsigned char* dst = p->pbuf.data();
  int64_t got = preadn(p->infile, dst, nbytes, pos);
  gc.lastgot = got;
  if (got == 0) {
    ioerr(want, pos);
    return 1;
  }
  // A short read at the end of the file leaves zeros, never stale bytes.
  if (got < nbytes) std::memset(dst + got, 0, static_cast<size_t>(nbytes - got));
  return 0;
}

namespace {

// Reads the run of count values from point e of a record through its
// message: a GRIB2 field decoded whole once per request, or a GRIB1
// record through its headers.  0 or 1 after the message.
int msgrow(int64_t off, int fld, int64_t e, int count, int64_t npts, float* gr, g1entry* g1) {
  datafile* p = omreq.pfi;
  FILE* f = p->infile;
  if (gc.mfile != f || gc.moff != off || gc.mfld != fld) {
    gc.mfile = nullptr;
    std::string why;
    int rc = fld == 0 ? g1record(f, off, &gc.g1, &why) : g2record(f, off, fld, npts, p->undef, &gc.g2, &why);
    if (rc) {
      omprntf(0, "Data Request Error:  GRIB message at byte %lld: %s\n", static_cast<long long>(off), why.c_str());
      omprnt(0, "  File name is: ");
      omprnt(0, curname());
      omprnt(0, "\n");
      return 1;
    }
    gc.mfile = f;
    gc.moff = off;
    gc.mfld = fld;
  }
  if (fld == 0) {
    *g1 = gc.g1;
    return 0;
  }
  std::memcpy(gr, gc.g2.field.get() + e, static_cast<size_t>(count) * sizeof(float));
  return 0;
}

}  // namespace

int omirow(int x, int y, int z, int t, int64_t offset, int count, float* gr) {
  datafile* p = omreq.pfi;
  const filevar* v = omreq.pvr;
  const gribidx* gi = p->pindx;
  if (count <= 0) return 0;
  if (!gi) {
    omprnt(0, "Data Request Error:  the GRIB data set has no index\n");
    return 1;
  }
  int64_t rec = static_cast<int64_t>(t - 1) * p->trecs + v->recoff + z - 1;
  int64_t nx = p->ppflag ? p->ppisiz : p->dnum[0];
  int64_t ny = p->ppflag ? p->ppjsiz : p->dnum[1];
  int64_t row;
  g1entry en;
  const bool bymsg = p->grbgrd != 29 && rec >= 0 && rec < static_cast<int64_t>(gi->msgoff.size()) &&
                     gi->msgoff[static_cast<size_t>(rec)] >= 0;
  if (bymsg) {
    const int fld = gi->msgfld[static_cast<size_t>(rec)];
    // A decoded GRIB2 field's rows run south to north whatever the file's.
    row = fld > 0 ? y - 1 : (p->yrflg ? ny - y : y - 1);
    const int64_t e = p->ppflag ? offset : row * nx + x - 1;
    if (e < 0 || e + count > nx * ny) {
      omprnt(0, "Data Request Error:  GRIB read outside the record or the index\n");
      return 1;
    }
    if (msgrow(gi->msgoff[static_cast<size_t>(rec)], fld, e, count, nx * ny, gr, &en)) return 1;
    if (fld > 0) return 0;
    return g1run(en, e, count, nx, ny, gr);
  }
  if (p->grbgrd == 29 && !p->ppflag) {
    // Two hemispheric records of 145 x 37 points: the southern one holds
    // rows 1-36, the northern one rows 37-73.
    nx = 145;
    ny = 37;
    rec *= 6;
    if (y < 37) {
      row = y - 1;
    } else {
      rec += 3;
      row = y - 37;
    }
  } else {
    rec *= 3;
    row = p->yrflg ? ny - y : y - 1;
  }
  const int64_t npts = nx * ny;
  const int64_t e = p->ppflag ? offset : row * nx + x - 1;
  if (rec < 0 || rec + 3 > gi->intnum || rec + 3 > gi->fltnum || e < 0 || e + count > npts) {
    omprnt(0, "Data Request Error:  GRIB read outside the record or the index\n");
    return 1;
  }
  en.doff = gi->intpnt[rec];
  en.boff = gi->intpnt[rec + 1];
  en.bits = gi->intpnt[rec + 2];
  en.dsf = gi->fltpnt[rec];
  en.bsf = gi->fltpnt[rec + 1];
  en.ref = gi->fltpnt[rec + 2];
  return g1run(en, e, count, nx, ny, gr);
}

namespace {

int g1run(const g1entry& en, int64_t e, int count, int64_t nx, int64_t ny, float* gr) {
  datafile* p = omreq.pfi;
  const int64_t npts = nx * ny;
  const int64_t doff = en.doff;
  const int64_t boff = en.boff;
  const int b = en.bits;
  const float dsf = en.dsf, bsf = en.bsf, ref = en.ref;
  if (b < 0) {
    for (int i = 0; i < count; i++) gr[i] = p->undef;
    return 0;
  }
  // Bits per value come from one octet of the record: anything wider is
  // a damaged index, not a size to allocate for.
  if (b > 255) {
    omprnt(0, "Data Request Error:  invalid bits per value in the GRIB index\n");
    return 1;
  }
  const bool bmap = boff > -900;
  if (bmap && boff != gc.bpsav && rdbmap(boff, npts)) return 1;
  const int* pc = bmap ? gc.bpcach.data() : nullptr;
  int64_t first, end;
  if (!bmap) {
    first = b * e;
    end = first + static_cast<int64_t>(b) * count;
  } else {
    first = static_cast<int64_t>(b) * (iabs(pc[e]) - 1);
    end = static_cast<int64_t>(b) * (iabs(pc[e + count]) - 1) - 1;
  }
  const int64_t fbyte = first / 8;
  const int64_t nbytes = end / 8 - fbyte + 2;
  if (omird(doff, fbyte, nbytes, static_cast<int>(nx), static_cast<int>(ny), b)) return 1;
  // The bytes holding the values asked for must all be in the file: a
  // record cut short (a truncated or still-growing file) is a read error,
  // not values made of the zeros that stand in for the missing bytes.
  const int64_t lastbit = bmap ? end : end - 1;
  const int64_t need = lastbit >= first ? lastbit / 8 - fbyte + 1 : 0;
  if (gc.lastgot < need) {
    ioerr(nbytes, p->ppflag && omreq.lonlat ? doff : doff + fbyte);
    return 1;
  }
  // The values present are unpacked to the front of the run (scaled a
  // block at a time as they are taken out); with a bit map they are then
  // moved out to their points from the back, the points without a value
  // made undefined.  A value never moves forward, so this is done in place.
  const int present = bmap ? iabs(pc[e + count]) - iabs(pc[e]) : count;
  const float undef = p->undef;
  bitfields::each_block(p->pbuf.data(), p->pbuf.size(), static_cast<long>(first - 8 * fbyte), b, present,
                        [=](int k0, const uint32_t* v, int m) { scale(v, m, bsf, ref, dsf, undef, gr + k0); });
  if (bmap) {
    for (int n = count - 1, k = present - 1; n >= 0; n--)
      gr[n] = pc[e + n] >= 0 ? gr[k--] : p->undef;
  }
  return 0;
}

}  // namespace
