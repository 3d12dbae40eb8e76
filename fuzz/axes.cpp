// Target: axis labelling and the meridian and parallel grid of map plots,
// called directly (no session), over arbitrary world ranges and intervals.
//
// Input: a header of bytes, then little-endian numbers; a short input
// leaves the rest zero.
//   byte 0   projection: index (mod 9) into off, scaled, latlon, nps, sps,
//            robinson, mollweide, orthographic, lambert
//   byte 1   dimension kinds of the x and y axes: x = b % 5, y = b / 5 % 5
//            (0 lon, 1 lat, 2 lev, 3 time, 4 plotted value)
//   byte 2   bit 0 zlog, 1 xflip, 2 yflip, 3-4 grid (0..3), 5 frame circle,
//            6 map ranges from mpvals, 7 xlabs list of three texts
//   byte 3   bits 0-1 tlsupp (0..2), 2 set xaxis, 3 set yaxis,
//            4-7 count of explicit x positions (xlevs, up to 15)
//   floats   lon lo, hi, lat lo, hi, lev lo, hi, value lo, hi, xlint, ylint,
//            xaxis lo, hi, step, yaxis lo, hi, step, mpvals lon lo, hi,
//            lat lo, hi, time axis months step, minutes step
//   times    start and end: int32 year, then bytes month, day, hour, minute
//   floats   the explicit x positions
// The map is set up as a plot would (ommscl), then the epilogue's axis
// dispatcher draws either the map grid or both axes into the batch display
// list; the longitude and latitude texts of the range's ends and the time
// step are made directly too.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "data/datetime.h"
#include "fuzzutil.h"
#include "gx/gx.h"
#include "plot/omplot.h"
#include "plot/plotint.h"

namespace {

struct reader {
  const uint8_t* p;
  size_t n, at = 0;
  uint8_t byte() { return at < n ? p[at++] : 0; }
  uint32_t word() {
    uint32_t u = 0;
    for (int k = 0; k < 4; k++) u |= (uint32_t)byte() << (8 * k);
    return u;
  }
  float f32() {
    uint32_t u = word();
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }
  int32_t i32() {
    uint32_t u = word();
    int32_t i;
    std::memcpy(&i, &u, 4);
    return i;
  }
};

datetime timeof(reader& r) {
  datetime t;
  t.yr = r.i32();
  t.mo = 1 + r.byte() % 12;
  t.dy = 1 + r.byte() % 28;
  t.hr = r.byte() % 24;
  t.mn = r.byte() % 60;
  return t;
}

const int projs[9] = {0, 1, 2, 3, 4, 5, 6, 7, 13};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  // The label texts are drawn in the stroke font of the data directory.
  std::string font = std::string(OMBRA_SOURCE_DIR) + "/share/font0.dat";
  if (FILE* f = std::fopen(font.c_str(), "rb")) {
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    fuzz::writefile("font0.dat", text);
  }
  ominit();
  gcmn.batch = 1;
  gxstrt(11, 8.5f, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return -1;
  reader r{data, size};
  ominit();
  cmnstate* pcm = &gcmn;
  pcm->batch = 1;
  pcm->pagew = pcm->vpagew = 11;
  pcm->pageh = pcm->vpageh = 8.5f;
  pcm->plotxlo = 1;
  pcm->plotxhi = 10;
  pcm->plotylo = 1;
  pcm->plotyhi = 7.5f;
  gxfrme(1);
  fuzz::setbudget(200);

  pcm->mproj = projs[r.byte() % 9];
  uint8_t kinds = r.byte();
  int xdim = kinds % 5, ydim = kinds / 5 % 5;
  uint8_t flags = r.byte(), more = r.byte();
  pcm->zlog = flags & 1;
  pcm->xflip = (flags >> 1) & 1;
  pcm->yflip = (flags >> 2) & 1;
  pcm->grid = (flags >> 3) & 3;
  pcm->frame = (flags & 32) ? 2 : 1;
  pcm->tlsupp = more & 3;
  if (pcm->tlsupp > 2) pcm->tlsupp = 0;
  for (int d = 0; d < 3; d++) {
    pcm->wlo[d] = r.f32();
    pcm->whi[d] = r.f32();
  }
  pcm->vrange[0] = r.f32();
  pcm->vrange[1] = r.f32();
  pcm->xlint = r.f32();
  pcm->ylint = r.f32();
  pcm->xaxis[0] = r.f32();
  pcm->xaxis[1] = r.f32();
  pcm->xaxisinc = r.f32();
  pcm->yaxis[0] = r.f32();
  pcm->yaxis[1] = r.f32();
  pcm->yaxisinc = r.f32();
  pcm->xaxisset = (more >> 2) & 1;
  pcm->yaxisset = (more >> 3) & 1;
  for (int k = 0; k < 4; k++) pcm->mpvals[k] = r.f32();
  pcm->mpvalsset = (flags & 64) ? 4 : 0;
  float taxis[TAXIS_FLOATS];
  float mos = r.f32(), mins = r.f32();
  pcm->tbeg = timeof(r);
  pcm->tend = timeof(r);
  // The time axis starts at the environment's start, as a file's would.
  taxis[0] = (float)pcm->tbeg.yr;
  taxis[1] = (float)pcm->tbeg.mo;
  taxis[2] = (float)pcm->tbeg.dy;
  taxis[3] = (float)pcm->tbeg.hr;
  taxis[4] = (float)pcm->tbeg.mn;
  taxis[5] = mos;
  taxis[6] = mins;
  taxis[7] = -999.9f;
  pcm->axisdims[0] = xdim;
  pcm->axisdims[1] = ydim;
  pcm->plotlims.vals[0] = xdim == 3 ? taxis : nullptr;
  pcm->plotlims.vals[1] = ydim == 3 ? taxis : nullptr;
  pcm->dfile = nullptr;
  pcm->xlevcount = more >> 4;
  for (int k = 0; k < pcm->xlevcount; k++) pcm->xlevs[k] = r.f32();
  if (flags & 128) {
    pcm->xlabs = {"a%g", "%5.1f", "c"};
    pcm->xlabcount = 3;
  }

  char buf[64];
  for (int d = 0; d < 2; d++) {
    omlnch(pcm->wlo[d], buf);
    omltch(pcm->whi[d], buf);
  }
  datetime first, incr;
  omtinc(pcm, &first, &incr);

  if (xdim == 0 && ydim == 1) {
    if (ommscl(pcm) == 0) omaxpl(pcm, 0, 1);
  } else {
    gxrset(3);
    gxscal(pcm->plotxlo, pcm->plotxhi, pcm->plotylo, pcm->plotyhi, 0, 1, 0, 1);
    omaxpl(pcm, xdim, ydim);
  }
  pcm->plotlims.vals[0] = pcm->plotlims.vals[1] = nullptr;
  gxfrme(1);
  return 0;
}
