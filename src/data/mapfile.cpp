// Station maps and GRIB indexes.  The counts in their headers come from
// files and are checked against the length of the file before anything is
// allocated, so a truncated or hostile map cannot make the reader run off
// its buffers or allocate without bound.
#include "data/mapfile.h"

#include <sys/types.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "base/omprnt.h"
#include "data/byteorder.h"
#include "data/datafile.h"

namespace {

const char kstnv2[] = "Ombra_stnmapV002";

int64_t flength(FILE* f) {
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  off_t n = ftello(f);
  return n < 0 ? -1 : static_cast<int64_t>(n);
}

bool readat(FILE* f, int64_t pos, void* buf, size_t n) {
  if (fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
  return n == 0 || std::fread(buf, 1, n, f) == n;
}

// The 4-byte value (int or float) at b in host order, swapped first when
// the file's order differs.
template <typename T>
T hostword(const unsigned char* b, bool swap) {
  static_assert(sizeof(T) == 4, "map file words are 4 bytes");
  unsigned char w[4];
  std::memcpy(w, b, 4);
  if (swap) ombswp(w, 1);
  T v;
  std::memcpy(&v, w, 4);
  return v;
}

int hostint(const unsigned char* b, bool swap) { return hostword<int>(b, swap); }
float hostflt(const unsigned char* b, bool swap) { return hostword<float>(b, swap); }

void badmap(const char* why) {
  omprnt(0, "Open Error:  Station/Index map file is invalid\n");
  omprnt(0, "  ");
  omprnt(0, why);
  omprnt(0, "\n");
}

// Reads n 4-byte words at pos into a byte vector; false when short.
bool readwords(FILE* f, int64_t pos, int64_t n, std::vector<unsigned char>& buf) {
  buf.resize(static_cast<size_t>(n) * 4);
  return readat(f, pos, buf.data(), buf.size());
}

// An index of version 3: the place of each record's message.  The entries
// of version 2 are made for it too, every record missing there, so that
// a record without a message reads as undefined.  0, or 1 after the message.
int rdgix3(FILE* mf, int64_t flen, gribidx* gi) {
  unsigned char head[23];
  if (flen < 25 || !readat(mf, 2, head, 23)) {
    badmap("the file is shorter than its header");
    return 1;
  }
  const int slots = omsmint(head + 12);
  if (slots < 0 || slots > INT32_MAX / 3) {
    badmap("negative count in the header");
    return 1;
  }
  if (25 + 12 * static_cast<int64_t>(slots) > flen) {
    badmap("the file is shorter than its counts say");
    return 1;
  }
  std::vector<unsigned char> buf(static_cast<size_t>(slots) * 12);
  if (!readat(mf, 25, buf.data(), buf.size())) {
    badmap("the file is shorter than its counts say");
    return 1;
  }
  gi->type = 3;
  gi->hinum = 4;
  gi->hipnt = {3, omsmint(head), omsmint(head + 4), omsmint(head + 8)};
  gi->intnum = gi->fltnum = 3 * slots;
  gi->intpnt.assign(static_cast<size_t>(gi->intnum), -999);
  gi->fltpnt.assign(static_cast<size_t>(gi->fltnum), -999.0f);
  gi->msgoff.assign(static_cast<size_t>(slots), -1);
  gi->msgfld.assign(static_cast<size_t>(slots), 0);
  for (int i = 0; i < slots; i++) {
    const unsigned char* e = buf.data() + 12 * static_cast<size_t>(i);
    uint64_t off = 0;
    for (int k = 0; k < 8; k++) off = (off << 8) | e[k];
    const uint32_t fld = (static_cast<uint32_t>(e[8]) << 24) | (e[9] << 16) | (e[10] << 8) | e[11];
    // A place beyond any file, or no field of a message, is no record.
    if (off > static_cast<uint64_t>(INT64_MAX) || fld < 1 || fld > 65535) continue;
    gi->msgoff[i] = static_cast<int64_t>(off);
    gi->msgfld[i] = static_cast<int>(fld);
  }
  return 0;
}

}  // namespace

int omsmint(const unsigned char* b) {
  uint32_t v = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
               (static_cast<uint32_t>(b[2]) << 8) | b[3];
  int mag = static_cast<int>(v & 0x7fffffffu);
  return (v & 0x80000000u) ? -mag : mag;
}

int omrstm(FILE* mf, datafile* pfi) try {
  int64_t flen = flength(mf);
  if (flen < 0) {
    badmap("its length cannot be determined");
    return 1;
  }
  unsigned char head[24];
  int64_t hsz;
  int tcnt, bufw;
  bool swap = false, v2 = false;
  if (flen >= 24 && readat(mf, 0, head, 24) && std::memcmp(head, kstnv2, 16) == 0) {
    v2 = true;
    tcnt = omsmint(head + 16);
    bufw = omsmint(head + 20);
    hsz = 24;
  } else {
    if (flen < 8 || !readat(mf, 0, head, 8)) {
      badmap("the file is shorter than its header");
      return 1;
    }
    tcnt = hostint(head, false);
    bufw = hostint(head + 4, false);
    if (bufw > 0 && bufw >= (1 << 24)) {
      swap = true;
      tcnt = hostint(head, true);
      bufw = hostint(head + 4, true);
    }
    hsz = 8;
  }
  if (tcnt < 0 || bufw < 0) {
    badmap("negative count in the header");
    return 1;
  }
  if (hsz + 8 * static_cast<int64_t>(tcnt) > flen) {
    badmap("the file is shorter than its counts say");
    return 1;
  }
  std::vector<unsigned char> buf;
  if (!readwords(mf, hsz, 2 * static_cast<int64_t>(tcnt), buf)) {
    badmap("the file is shorter than its counts say");
    return 1;
  }
  stnmapidx& sm = pfi->stnmap;
  sm.tcnt = tcnt;
  sm.bufw = bufw;
  sm.offs.assign(tcnt, 0);
  sm.cnts.assign(tcnt, 0);
  for (int i = 0; i < tcnt; i++) {
    const unsigned char* po = buf.data() + 4 * i;
    const unsigned char* pc = buf.data() + 4 * (static_cast<size_t>(tcnt) + i);
    int o = v2 ? omsmint(po) : hostint(po, swap);
    int c = v2 ? omsmint(pc) : hostint(pc, swap);
    if (o < 0 || c < 0) {
      badmap("negative offset or report count");
      return 1;
    }
    sm.offs[i] = o;
    sm.cnts[i] = c;
  }
  pfi->hasmap = 1;
  return 0;
} catch (const std::bad_alloc&) {
  return -1;
}

int omrgix(FILE* mf, datafile* pfi) try {
  int64_t flen = flength(mf);
  if (flen < 0) {
    badmap("its length cannot be determined");
    return 1;
  }
  unsigned char head[36];
  if (flen < 2 || !readat(mf, 0, head, 2)) {
    badmap("the file is shorter than its header");
    return 1;
  }
  gribidx* gi = new gribidx();
  delete pfi->pindx;
  pfi->pindx = gi;
  if (head[0] == 0 && head[1] == 3) return rdgix3(mf, flen, gi) ? 1 : (pfi->hasmap = 1, 0);
  bool v2 = head[1] == 2;
  bool swap = false;
  int64_t pos;
  if (v2) {
    if (flen < 25 || !readat(mf, 2, head, 16)) {
      badmap("the file is shorter than its header");
      return 1;
    }
    gi->type = 2;
    gi->hinum = omsmint(head);
    gi->hfnum = omsmint(head + 4);
    gi->intnum = omsmint(head + 8);
    gi->fltnum = omsmint(head + 12);
    pos = 25;
  } else {
    if (flen < 36 || !readat(mf, 0, head, 36)) {
      badmap("the file is shorter than its header");
      return 1;
    }
    int w0 = hostint(head, false);
    if (w0 > 0 && w0 >= (1 << 24)) swap = true;
    gi->type = hostint(head, swap);
    gi->hinum = hostint(head + 4, swap);
    gi->hfnum = hostint(head + 8, swap);
    gi->intnum = hostint(head + 12, swap);
    gi->fltnum = hostint(head + 16, swap);
    pos = 36;
  }
  if (gi->hinum < 0 || gi->hfnum < 0 || gi->intnum < 0 || gi->fltnum < 0) {
    badmap("negative count in the header");
    return 1;
  }
  int64_t words = static_cast<int64_t>(gi->hinum) + gi->hfnum + gi->intnum + gi->fltnum;
  if (pos + 4 * words > flen) {
    badmap("the file is shorter than its counts say");
    return 1;
  }
  std::vector<unsigned char> buf;
  if (!readwords(mf, pos, words, buf)) {
    badmap("the file is shorter than its counts say");
    return 1;
  }
  const unsigned char* p = buf.data();
  gi->hipnt.resize(gi->hinum);
  for (int i = 0; i < gi->hinum; i++, p += 4) gi->hipnt[i] = v2 ? omsmint(p) : hostint(p, swap);
  gi->hfpnt.resize(gi->hfnum);
  for (int i = 0; i < gi->hfnum; i++, p += 4) gi->hfpnt[i] = hostflt(p, swap);
  gi->intpnt.resize(gi->intnum);
  for (int i = 0; i < gi->intnum; i++, p += 4) gi->intpnt[i] = v2 ? omsmint(p) : hostint(p, swap);
  gi->fltpnt.resize(gi->fltnum);
  for (int i = 0; i < gi->fltnum; i++, p += 4) gi->fltpnt[i] = v2 ? ibm2flt(p) : hostflt(p, swap);
  pfi->hasmap = 1;
  return 0;
} catch (const std::bad_alloc&) {
  return -1;
}
