// The scan of a GRIB file.  Each message is found by its "GRIB" and read
// section by section with positioned reads: the headers and bit maps in
// full, of the data section only its first bytes, so that a file of large
// messages is scanned in a few reads per message.  GRIB2 headers are
// described by the message reader (grib2.h) in a buffer of the message's
// size whose data bytes are never filled nor read; GRIB1 headers by the
// GRIB1 record reader of the index maker (gribmap.h).
#include "data/gribscan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/byteorder.h"
#include "data/datetime.h"

namespace {

bool pread_all(int fd, int64_t pos, unsigned char* buf, int64_t n) {
  while (n > 0) {
    ssize_t got = pread(fd, buf, static_cast<size_t>(n), static_cast<off_t>(pos));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buf += got;
    pos += got;
    n -= got;
  }
  return true;
}

uint64_t be(const unsigned char* b, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; i++) v = (v << 8) | b[i];
  return v;
}

// A GRIB1 sign-and-magnitude value of n bytes.
int64_t sm(const unsigned char* b, int n) {
  uint64_t v = be(b, n);
  uint64_t top = uint64_t(1) << (8 * n - 1);
  return (v & top) ? -static_cast<int64_t>(v & (top - 1)) : static_cast<int64_t>(v);
}

// The first "GRIB" at or after pos; -1 when there is none, -2 when the
// user interrupted the search.
int64_t findgrib(int fd, int64_t pos, int64_t flen) {
  // Where a message ends the next one begins, as a rule: a look of four
  // bytes finds it.
  unsigned char head[4];
  if (pos + 4 <= flen && pread_all(fd, pos, head, 4) && std::memcmp(head, "GRIB", 4) == 0) return pos;
  constexpr int64_t kChunk = 1 << 16;
  std::vector<unsigned char> buf(kChunk + 3);
  while (pos + 4 <= flen) {
    if (omqsig()) return -2;  // gigabytes that are no GRIB take a while
    int64_t n = std::min(kChunk + 3, flen - pos);
    if (!pread_all(fd, pos, buf.data(), n)) return -1;
    const void* hit = memmem(buf.data(), static_cast<size_t>(n), "GRIB", 4);
    if (hit) return pos + (static_cast<const unsigned char*>(hit) - buf.data());
    pos += n - 3;
  }
  return -1;
}

// The time-range unit of an edition in code table 4.4's numbering.
int unit44(int unit, int edition) {
  if (edition != 2 && unit == 254) return 13;
  if (edition != 2 && unit == 13) return 100;  // 15 minutes
  if (edition != 2 && unit == 14) return 101;  // 30 minutes
  return unit;
}

bool spanof(int unit, int64_t n, gribspan* s) {
  *s = gribspan();
  switch (unit) {
    case 0: s->minutes = n; return true;
    case 1: s->minutes = 60 * n; return true;
    case 2: s->minutes = 1440 * n; return true;
    case 3: s->months = n; return true;
    case 4: s->months = 12 * n; return true;
    case 5: s->months = 120 * n; return true;
    case 6: s->months = 360 * n; return true;
    case 7: s->months = 1200 * n; return true;
    case 10: s->minutes = 180 * n; return true;
    case 11: s->minutes = 360 * n; return true;
    case 12: s->minutes = 720 * n; return true;
    case 13: s->minutes = n / 60; return n % 60 == 0;
    case 100: s->minutes = 15 * n; return true;
    case 101: s->minutes = 30 * n; return true;
    default: return false;
  }
}

bool addspan(datetime* t, const gribspan& s) {
  // Spans beyond what a time holds are refused rather than clamped.
  if (std::llabs(s.minutes) > 1000000000LL * 60 || std::llabs(s.months) > 100000000LL) return false;
  datetime inc = {0, 0, 0, 0, 0};
  inc.mo = static_cast<int>(s.months);
  inc.dy = static_cast<int>(s.minutes / 1440);
  inc.mn = static_cast<int>(s.minutes % 1440);
  timadd(t, &inc);
  *t = inc;
  return true;
}

bool calendartime(const datetime& t) {
  return t.mo >= 1 && t.mo <= 12 && t.dy >= 1 && t.dy <= 31 && t.hr >= 0 && t.hr <= 23 && t.mn >= 0 && t.mn <= 59;
}

// ---------------------------------------------------------------- GRIB1

// Millidegrees of a GRIB1 latitude or longitude in degrees.
double g1deg(const unsigned char* b) { return sm(b, 3) / 1000.0; }

// A longitude from 0 to 360, as GRIB2 gives them.
double east(double lon) {
  double e = std::fmod(lon, 360.0);
  return e < 0 ? e + 360.0 : e;
}

// The grid description of a GRIB1 record in the grid record of GRIB2.
void g1grid(const unsigned char* g, int64_t len, gribfld* r) {
  g2grid& gr = r->g2.grid;
  const int rep = g[5];
  const unsigned char* o = g - 1;  // o[n] is octet n
  gr.shape = 0;
  gr.radius = 6367470.0;
  gr.ni = static_cast<int>(be(o + 7, 2));
  gr.nj = static_cast<int>(be(o + 9, 2));
  gr.npts = static_cast<int64_t>(gr.ni) * gr.nj;
  gr.lat1 = g1deg(o + 11);
  gr.lon1 = east(g1deg(o + 14));
  // Increments given (GRIB2's i and j flags), winds relative to the grid.
  gr.resflags = ((o[17] & 0x80) ? 0x30 : 0) | (o[17] & 0x08);
  if (rep == 0 || rep == 4 || rep == 10 || rep == 14) {
    gr.tmpl = rep == 0 ? 0 : rep == 4 ? 40 : rep == 10 ? 1 : 41;
    gr.lat2 = g1deg(o + 18);
    gr.lon2 = east(g1deg(o + 21));
    gr.di = be(o + 24, 2) / 1000.0;
    if (rep == 0 || rep == 10) gr.dj = be(o + 26, 2) / 1000.0;
    else gr.ngauss = static_cast<int>(be(o + 26, 2));
    gr.scan = o[28];
    // Increments not given are those of the corners.
    if (!(o[17] & 0x80) && gr.ni > 1 && gr.nj > 1) {
      gr.di = std::fmod(gr.lon2 - gr.lon1 + 360.0, 360.0) / (gr.ni - 1);
      if (rep == 0 || rep == 10) gr.dj = std::fabs(gr.lat2 - gr.lat1) / (gr.nj - 1);
    }
    if ((rep == 10 || rep == 14) && len >= 42) {
      gr.splat = g1deg(o + 33);
      gr.splon = g1deg(o + 36);
      gr.rotang = ibm2flt(o + 39);
    }
  } else if (rep == 1) {
    gr.tmpl = 10;
    gr.lat2 = g1deg(o + 18);
    gr.lon2 = east(g1deg(o + 21));
    gr.lad = g1deg(o + 24);
    gr.scan = o[28];
    if (len >= 34) {
      gr.di = static_cast<double>(be(o + 29, 3));
      gr.dj = static_cast<double>(be(o + 32, 3));
    }
  } else if (rep == 3 || rep == 5) {
    gr.tmpl = rep == 5 ? 20 : 30;
    gr.lov = east(g1deg(o + 18));
    gr.di = static_cast<double>(be(o + 21, 3));
    gr.dj = static_cast<double>(be(o + 24, 3));
    gr.projcentre = o[27];
    gr.scan = o[28];
    gr.lad = 60.0;
    if (rep == 3 && len >= 34) {
      gr.latin1 = g1deg(o + 29);
      gr.latin2 = g1deg(o + 32);
      gr.lad = gr.latin1;
    }
  } else {
    gr.tmpl = 1000 + rep;  // a representation the program does not show
  }
  r->g1scan = gr.scan;
  // A quasi-regular grid lists its rows' lengths after the vertical
  // coordinates, and has no number of points along a row.
  r->g1reduced = o[5] != 255 && o[5] != 0 && gr.ni == 0xffff;
  if (r->g1reduced) gr.ni = 0;
}

// GRIB1 level types whose octets 11 and 12 are the two ends of a layer.
bool g1layer(int t) {
  switch (t) {
    case 101: case 104: case 106: case 108: case 110: case 112: case 114:
    case 116: case 120: case 121: case 128: case 141:
      return true;
    default:
      return false;
  }
}

void g1level(gribfld* r) {
  const gribhead& h = r->g1;
  r->ltype = h.ltyp;
  r->g1level = h.level;
  r->g1l1 = h.l1;
  r->g1l2 = h.l2;
  // Surfaces without a value (the ground, mean sea level, the top of the
  // atmosphere...) have none; layers have two.
  if (h.ltyp < 20 || h.ltyp == 102 || h.ltyp == 200 || h.ltyp == 201) return;
  if (g1layer(h.ltyp)) {
    r->haslevel = r->haslevel2 = true;
    r->level = h.l1;
    r->level2 = h.l2;
    r->ltype2 = h.ltyp;
    return;
  }
  r->haslevel = true;
  r->level = h.level;
}

// The times of a GRIB1 record: valid at the reference time plus P1, or for
// the time-range indicators of a period (2-5) plus P2, the period P2 - P1.
void g1times(gribfld* r) {
  const gribhead& h = r->g1;
  r->reftime = h.btim;
  r->tri = h.trange;
  const int unit = unit44(h.tunit, 1);
  const bool range = h.trange >= 2 && h.trange <= 5;
  gribspan step, p1;
  if (!spanof(unit, range ? h.p2 : h.p1, &step) || !spanof(unit, h.p1, &p1)) {
    r->unread = "a time unit (" + std::to_string(h.tunit) + ") the program does not know";
    return;
  }
  r->valid = r->reftime;
  if (!calendartime(r->reftime) || !addspan(&r->valid, step)) {
    r->unread = "a reference time that is no calendar time";
    return;
  }
  if (range) {
    static const int stat[6] = {-1, -1, 255, 0, 1, 4};
    r->stat = stat[h.trange];
    spanof(unit, h.p2 - h.p1, &r->period);
    r->fromref = h.p1 == 0;
  }
}

// An ensemble member of ECMWF's local definition 1 (octets 41-51).
void g1member(const unsigned char* p, int pdslen, gribfld* r) {
  if (r->centre != 98 || pdslen < 51 || p[41] != 1) return;
  const int type = p[43];
  if (type == 10 || type == 11) r->member = p[50];
  else if (type == 17) r->derived = 0;
  else if (type == 18) r->derived = 2;
}

void scang1(int fd, FILE* f, int64_t flen, int64_t at, int msgno, gribscanres* out, int64_t* next) {
  gribfld r;
  std::string why;
  int rc = gribhead1(f, flen, at, &r.g1, &why);
  if (rc) {
    if (why.empty()) why = "a damaged GRIB1 record (code " + std::to_string(rc) + ")";
    out->skips.push_back({msgno, at, why});
    *next = at + 4;
    return;
  }
  const gribhead& h = r.g1;
  *next = h.next;
  r.msgno = msgno;
  r.msgoff = at;
  r.msglen = h.next - at;
  r.edition = 1;
  r.centre = h.centre;
  r.cat = h.table;
  r.num = h.parm;
  std::vector<unsigned char> pds(static_cast<size_t>(h.pdslen));
  if (!pread_all(fd, h.pdsoff, pds.data(), h.pdslen)) {
    out->skips.push_back({msgno, at, "the file ends inside the record"});
    return;
  }
  g1level(&r);
  g1times(&r);
  g1member(pds.data() - 1, h.pdslen, &r);
  if (h.gdsflg && h.gdslen >= 28) {
    std::vector<unsigned char> g(static_cast<size_t>(h.gdslen));
    if (!pread_all(fd, h.gdsoff, g.data(), h.gdslen)) {
      out->skips.push_back({msgno, at, "the file ends inside the record"});
      return;
    }
    g1grid(g.data(), h.gdslen, &r);
  }
  if (!r.unread.empty()) {
  } else if (!h.gdsflg) {
    r.unread = "no grid description (a catalogued grid, read through a descriptor)";
  } else if (h.gdslen < 28) {
    r.unread = "a grid description too short for its grid";
  } else if (h.bdsflg & 0x80) {
    r.unread = "spherical harmonics";
  } else if (h.bdsflg & 0x40) {
    r.unread = "a GRIB1 packing other than simple packing";
  } else if (h.bpv > 32) {
    r.unread = "more than 32 bits a value";
  } else if (r.g1reduced) {
    r.unread = "a GRIB1 quasi-regular grid";
  } else if (r.g2.grid.tmpl >= 1000) {
    r.unread = "a GRIB1 grid of type " + std::to_string(r.g2.grid.tmpl - 1000);
  }
  out->fields.push_back(std::move(r));
}

// ---------------------------------------------------------------- GRIB2

// A buffer of a message's size, kept between messages; the bytes the
// scan does not fill are never read, so its pages are never made.
struct msgbuf {
  std::unique_ptr<unsigned char[]> p;
  int64_t cap = 0;
  bool room(int64_t n) {
    if (n <= cap) return true;
    p.reset(new (std::nothrow) unsigned char[static_cast<size_t>(n)]);
    cap = p ? n : 0;
    return p != nullptr;
  }
};

// Reads the headers of the message of len bytes (20 at least, all in the
// file) at at into b: every section but the packed values, up to a section that does not fit the message, whose first bytes
// say so to the message reader as they are; and the last four bytes.
void readheads(int fd, int64_t at, int64_t len, unsigned char* b) {
  int64_t pos = 16;
  bool ok = pread_all(fd, at, b, 16);
  while (ok && pos + 5 <= len - 4) {
    ok = pread_all(fd, at + pos, b + pos, 5);
    const int64_t slen = static_cast<int64_t>(be(b + pos, 4));
    const int num = b[pos + 4];
    if (!ok || slen < 5 || pos + slen > len - 4) break;
    // Section 7 up to its first data byte: the message reader counts the
    // bits of a bit map, but never reads the packed values.
    const int64_t want = num == 7 ? 5 : slen;
    ok = pread_all(fd, at + pos, b + pos, want);
    pos += slen;
  }
  if (pos < len - 4 && pos + 5 > len - 4) std::memset(b + pos, 0, static_cast<size_t>(len - 4 - pos));
  if (!pread_all(fd, at + len - 4, b + len - 4, 4)) std::memset(b + len - 4, 0, 4);
}

void fromg2(const g2field& g, int msgno, int64_t at, gribfld* r) {
  r->msgno = msgno;
  r->msgoff = at;
  r->msglen = g.msglen;
  r->edition = 2;
  r->fieldno = g.fieldno;
  r->g2 = g;
  r->g2.msgoff = at;
  r->centre = g.centre;
  r->disc = g.discipline;
  r->cat = g.prod.cat;
  r->num = g.prod.num;
  r->prodtmpl = g.prod.tmpl;
  r->ltype = g.prod.sfc1type;
  r->haslevel = g.prod.sfc1ok;
  r->level = g.prod.sfc1;
  r->ltype2 = g.prod.sfc2type;
  r->haslevel2 = g.prod.sfc2ok;
  r->level2 = g.prod.sfc2;
  r->member = g.prod.member;
  r->derived = g.prod.derived;
  r->probtype = g.prod.probtype;
  r->problo = g.prod.problo;
  r->probhi = g.prod.probhi;
  r->percentile = g.prod.percentile;
  r->reftime = datetime{g.reftime[0], g.reftime[1], g.reftime[2], g.reftime[3], g.reftime[4]};
  gribspan step;
  if (!spanof(unit44(g.prod.ftunit, 2), g.prod.ftime, &step)) {
    r->unread = "a time unit (" + std::to_string(g.prod.ftunit) + ") the program does not know";
    return;
  }
  r->valid = r->reftime;
  if (!calendartime(r->reftime) || !addspan(&r->valid, step)) {
    r->unread = "a reference time that is no calendar time";
    return;
  }
  if (g.prod.nstat > 0) {
    r->stat = g.prod.stattype;
    r->fromref = g.prod.ftime == 0;
    const int* e = g.prod.statend;
    datetime end{e[0], e[1], e[2], e[3], e[4]};
    if (!spanof(unit44(g.prod.statunit, 2), g.prod.statlen, &r->period)) {
      r->unread = "a time unit (" + std::to_string(g.prod.statunit) + ") the program does not know";
      return;
    }
    // The end of the period is its valid time; where the message leaves it
    // out, the start plus the period.
    if (calendartime(end) && end.yr > 0) {
      r->valid = end;
    } else if (!addspan(&r->valid, r->period)) {
      r->unread = "a period that is no time";
    }
  }
}

void scang2(int fd, int64_t flen, int64_t at, int msgno, msgbuf* buf, gribscanres* out, int64_t* next) {
  unsigned char s0[16];
  *next = at + 4;
  if (at + 16 > flen || !pread_all(fd, at, s0, 16)) {
    out->skips.push_back({msgno, at, "the file ends inside the message"});
    return;
  }
  const uint64_t len = be(s0 + 8, 8);
  if (len < 16 + 4) {
    out->skips.push_back({msgno, at, "a message length too small for a message"});
    return;
  }
  if (len > static_cast<uint64_t>(flen - at)) {
    out->skips.push_back({msgno, at,
                          "the file ends after " + std::to_string(flen - at) + " of the message's " +
                              std::to_string(len) + " bytes"});
    *next = flen;  // what follows is the rest of the message
    return;
  }
  const int64_t n = static_cast<int64_t>(len);
  if (!buf->room(n)) {
    out->skips.push_back({msgno, at, "no memory for a message of " + std::to_string(n) + " bytes"});
    return;
  }
  readheads(fd, at, n, buf->p.get());
  std::vector<g2field> got;
  std::string why;
  int rc = g2scanmsg(buf->p.get(), static_cast<size_t>(n), &got, &why);
  for (const g2field& g : got) {
    gribfld r;
    fromg2(g, msgno, at, &r);
    out->fields.push_back(std::move(r));
  }
  if (rc) out->skips.push_back({msgno, at, why.empty() ? "a damaged message" : why});
  // A message whose length leads to its "7777" ends there, damaged or not.
  if (std::memcmp(buf->p.get() + n - 4, "7777", 4) == 0) *next = at + n;
}

// Where the first message of a file of flen bytes begins, -1 none.  A
// file that begins with "GRIB" is a GRIB file, whatever follows.  Files
// sent over the wire often carry a bulletin header before their first
// message: a "GRIB" within the first kLeadMax bytes counts when it begins
// a message, of an edition the scan reads and a length the file holds, so
// that a text that merely mentions GRIB is never taken for one.  One read;
// the file's length (flen, -1 not yet known) is asked for only then.
int64_t firstmsg(int fd, int64_t flen) {
  constexpr int64_t kLeadMax = 1000;
  unsigned char b[kLeadMax + 16];
  const int64_t want = flen < 0 ? static_cast<int64_t>(sizeof b) : std::min<int64_t>(flen, sizeof b);
  ssize_t n;
  do n = pread(fd, b, static_cast<size_t>(want), 0);
  while (n < 0 && errno == EINTR);
  if (n < 4) return -1;
  if (std::memcmp(b, "GRIB", 4) == 0) return 0;
  for (int64_t p = 1; p < kLeadMax && p + 16 <= n; p++) {
    if (b[p] != 'G' || std::memcmp(b + p, "GRIB", 4) != 0) continue;
    // The file's length only where a message may begin: a descriptor
    // that says nothing of GRIB costs no call more.
    struct stat st;
    if (flen < 0 && fstat(fd, &st) != 0) return -1;
    if (flen < 0) flen = st.st_size;
    const int ed = b[p + 7];
    const uint64_t len = ed == 2 ? be(b + p + 8, 8) : be(b + p + 4, 3);
    if ((ed == 1 || ed == 2) && len >= 16 + 4 && len <= static_cast<uint64_t>(flen - p)) return p;
  }
  return -1;
}

}  // namespace

bool gribaddunits(datetime* t, int unit, int64_t n, int edition) {
  gribspan s;
  datetime v = *t;
  if (!spanof(unit44(unit, edition), n, &s) || !addspan(&v, s)) return false;
  *t = v;
  return true;
}

int64_t gribstart(FILE* f) { return f ? firstmsg(fileno(f), -1) : -1; }

bool isgribfile(FILE* f) { return gribstart(f) >= 0; }

int gribscan(FILE* f, gribscanres* out, std::string* why) {
  *out = gribscanres();
  struct stat st;
  if (!f || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    if (why) *why = "not a regular file";
    return 1;
  }
  const int fd = fileno(f);
  const int64_t flen = st.st_size;
  msgbuf buf;
  // Bytes before the first message (a bulletin header) are no part of the
  // data: the scan begins at the message.
  const int64_t first = firstmsg(fd, flen);
  int64_t pos = first > 0 ? first : 0;
  for (;;) {
    int64_t at = pos == first ? first : findgrib(fd, pos, flen);
    if (at == -2 || omqsig()) {
      if (why) *why = "interrupted";
      return 1;
    }
    if (at < 0) {
      if (flen > pos) out->skips.push_back({0, pos, std::to_string(flen - pos) + " bytes after the last message that are no GRIB"});
      break;
    }
    if (at > pos) out->skips.push_back({0, pos, std::to_string(at - pos) + " bytes between messages that are no GRIB"});
    const int msgno = ++out->messages;
    unsigned char s0[8];
    int64_t next = at + 4;
    if (at + 8 > flen || !pread_all(fd, at, s0, 8)) {
      out->skips.push_back({msgno, at, "the file ends inside the message"});
    } else if (s0[7] == 2) {
      scang2(fd, flen, at, msgno, &buf, out, &next);
    } else if (s0[7] <= 1) {
      scang1(fd, f, flen, at, msgno, out, &next);
    } else {
      out->skips.push_back({msgno, at, "GRIB edition " + std::to_string(s0[7]) + ", which the program does not read"});
    }
    pos = next > at ? next : at + 4;
  }
  return 0;
}
