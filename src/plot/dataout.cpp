// Value listing, statistics and the binary grid file of a display.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/intpoll.h"
#include "base/omprnt.h"
#include "base/replfile.h"
#include "base/replsig.h"
#include "base/wholewrite.h"
#include "data/byteorder.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "plot/dataout.h"
#include "plot/fwfile.h"

namespace {

// Writes n floats in the asked byte order through a swap buffer, so the
// grid itself is never touched and nothing is allocated per value.  The
// buffer (1 MB, kept for the next grid) makes few large writes of a big
// grid rather than one per 64 KB.  The descriptor is written directly, so
// no byte of a failed record waits in a stdio buffer to follow the cut.
bool fwvalues(int fd, const float* vals, size_t n, bool swap) {
  if (!swap) return writeall(fd, vals, n * sizeof(float));
  constexpr size_t kChunk = 262144;
  static std::vector<float> buf;
  if (buf.size() < kChunk) buf.resize(kChunk);
  while (n > 0) {
    size_t k = n < kChunk ? n : kChunk;
    std::memcpy(buf.data(), vals, k * sizeof(float));
    ombswp(buf.data(), k);
    if (!writeall(fd, buf.data(), k * sizeof(float))) return false;
    vals += k;
    n -= k;
  }
  return true;
}

bool fwlength(int fd, unsigned int len, bool swap) {
  if (swap) ombswp(&len, 1);
  return writeall(fd, &len, 4);
}

}  // namespace

int omfwrt(cmnstate* pcm) {
  const gridres* pgr = static_cast<const gridres*>(pcm->resptr[0]);
  const char* name = omfwname(pcm);
  if (!pcm->fwfile && !omfwopen(pcm, name)) return 1;
  size_t n = static_cast<size_t>(pgr->isiz) * static_cast<size_t>(pgr->jsiz);
  // The file gets the order asked for, whatever the host's own order is.
  bool hostbig = omhostle() == 0;
  bool swap = (pcm->fwbigend != 0) != hostbig;
  int fd = pcm->fwfile->fd;
  off_t mark = wholemark(fd);
  bool ok = true;
  unsigned long long bytes = 4ULL * n;
  if (pcm->fwseq) {
    if (bytes > 0xffffffffULL) {
      omprnt(0, "Error writing fwrite output file\n");
      omprnt(0, "  Grid too large for a sequential record\n");
      return 1;
    }
    ok = fwlength(fd, static_cast<unsigned int>(bytes), swap);
  }
  ok = ok && fwvalues(fd, pgr->grid, n, swap);
  if (pcm->fwseq) ok = ok && fwlength(fd, static_cast<unsigned int>(bytes), swap);
  if (!ok) {
    // The grids of earlier displays stay; this one goes whole or not at all.
    cutback(fd, mark);
    omprnt(0, "Error writing fwrite output file\n");
    omprntf(0, "  File name is: %s\n", replshownname(name).c_str());
    return 1;
  }
  omfwwhole(wholemark(fd));
  std::string msg = "Wrote " + std::to_string(n) + " elements to " + replshownname(name);
  msg += pcm->fwseq ? " as Sequential" : " as Stream";
  msg += pcm->fwbigend ? " Big_Endian\n" : " Little_Endian\n";
  omprnt(2, msg);
  pcm->lastgraphic = 20;
  return 0;
}

void omdprnt(cmnstate* pcm) {
  const char* fmt = pcm->prnfmt.empty() ? nullptr : pcm->prnfmt.c_str();
  int perline = pcm->prnnum > 0 ? pcm->prnnum : 8;
  std::string blanks(pcm->prnblank > 0 ? pcm->prnblank : 0, ' ');
  // The format taken apart once, and room for any one value in it.
  omnumfmt f;
  if (!fmt || !f.set(fmt)) f.set("%g ");
  std::vector<char> buf(f.room());
  if (pcm->restype[0] == 1) {
    const gridres* pgr = static_cast<const gridres*>(pcm->resptr[0]);
    long n = static_cast<long>(pgr->isiz) * pgr->jsiz;
    omprntf(2, "Printing Grid -- %li Values -- Undef = %g\n", n, pgr->undef);
    std::string line;
    int inline_ = 0;
    // Formatting is the slow part of a big grid: poll for an interrupt,
    // and hand the text on in pieces rather than holding a whole grid's.
    omintpoll poll(4096);
    const size_t kPiece = 65536;
    line.reserve(kPiece + buf.size() + blanks.size() + 8);
    for (long i = 0; i < n && !poll.stop(); i++) {
      float v = pgr->grid[i];
      if (fmt && v == pgr->undef && pcm->prnflag) line += "Undef";
      else line.append(buf.data(), f.put(v, buf.data(), buf.size()));
      if (fmt) line += blanks;
      if (++inline_ >= perline) {
        line += "\n";
        inline_ = 0;
      }
      // Many lines go in one piece: on a terminal standard output is line
      // buffered, and a write per short line would cost more than the
      // formatting.
      if (line.size() >= kPiece) {
        omprnt(2, line);
        line.clear();
      }
    }
    if (inline_ > 0) line += "\n";
    if (!line.empty()) omprnt(2, line);
    return;
  }
  const stnlist* stn = static_cast<const stnlist*>(pcm->resptr[0]);
  omprntf(2, "Printing Stations -- %i Reports -- Undef = %g\n", stn->rnum, stn->undef);
  for (const stnrpt* r = stn->rpt; r; r = r->rpt) {
    // Ids padded with NULs in the file would cut the line short.
    char s[8];
    for (int k = 0; k < 8; k++) s[k] = r->stid[k] ? r->stid[k] : ' ';
    omprntf(2, "%c%c%c%c%c%c%c%c %-8.6g %-8.6g %-8.6g \n", s[0], s[1], s[2], s[3], s[4], s[5],
            s[6], s[7], r->lon, r->lat, r->lev);
    std::string v(buf.data(), f.put(r->val, buf.data(), buf.size()));
    omprnt(2, v + "\n");
  }
}
