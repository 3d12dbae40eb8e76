// Layout of a binary grid data file.  Everything is counted in elements,
// whatever the element size; headers given in bytes were divided by 4 when
// the descriptor was read.
#include "data/layout.h"

#include <cstdint>

#include "base/omprnt.h"
#include "data/datafile.h"

namespace {

// Layout arithmetic is done in 128 bits and checked once at the end, so
// that hostile sizes in a descriptor cannot overflow it.
typedef __int128 wide;

bool interleaved(const filevar& v) { return v.units[0] == -1 && v.units[1] == 10; }
bool il1(const filevar& v) { return interleaved(v) && v.units[2] == 1; }
bool il2(const filevar& v) { return interleaved(v) && v.units[2] == 2; }

}  // namespace

int omlayout(datafile* pfi) {
  if (pfi->pvar1.empty()) return 0;
  const wide nx = pfi->dnum[0], ny = pfi->dnum[1], nt = pfi->dnum[3];
  const bool seq = pfi->seqflg != 0;
  wide g = nx * ny + pfi->xyhdr;
  if (seq) g += 2;
  const wide lim = static_cast<wide>(1) << 62;
  if (g >= lim) {
    omprnt(0, "Open Error:  Data file layout is too large\n");
    return 1;
  }
  wide h = pfi->hdrwds;
  wide p;
  if (seq) {
    if (h > 0) h += 2;
    p = h + 1;
  } else {
    p = h;
  }
  std::vector<filevar>& vars = pfi->pvar1;
  wide n10 = 0;
  for (const filevar& v : vars)
    if (interleaved(v)) n10++;
  filevar& v0 = vars[0];
  v0.offset = static_cast<int64_t>(p);
  v0.recoff = 0;
  const wide p0 = p;
  wide r = 0;
  wide l = v0.levels ? v0.levels : 1;
  // m is the level count of the latest -1,10,1 variable after the first.
  // A first variable takes no level stride and sets no m, whatever its
  // codes: it starts the file as a plain variable, and the -1,10,2
  // variable after it then follows its levels directly (u at records 0,
  // 1, 2 and v at 3 for a u-v pair that opens the descriptor).
  wide m = 0;
  bool f = true;
  wide base = 0;
  for (size_t i = 1; i < vars.size(); i++) {
    filevar& v = vars[i];
    if (il1(v)) {
      // Its levels alternate with those of the other interleaved
      // variables, so its level stride is their number.
      m = v.levels;
      p += g;
      v.var_z = static_cast<int>(n10);
    } else if (il2(v)) {
      if (f) {
        base += n10 * m * g;
        p = base + static_cast<wide>(v.levels) * g;
        f = false;
      } else {
        p += l * g;
      }
    } else if (!v.var_t) {
      p += l * g;
      base = p;
    } else if (!pfi->tmplat) {
      p += l * g * nt;
    } else if (v.units[2] == -999) {
      omprnt(0, "Using time templat and 4-D variables, # times / file not specified\n");
      omprnt(0, "Defaulting to the number of times in the .ctl file\n");
      p += l * g * nt;
    } else {
      p += l * g * v.units[2];
    }
    if (p >= lim || p < 0 || base >= lim) {
      omprnt(0, "Open Error:  Data file layout is too large\n");
      return 1;
    }
    r += l;
    v.offset = p > INT64_MAX || p < 0 ? -1 : static_cast<int64_t>(p);
    v.recoff = static_cast<int>(r);
    l = v.levels ? v.levels : 1;
  }
  r += l;
  if (il1(vars.back())) p = p0 + r * g;
  else p += l * g;
  wide th = pfi->thdr;
  if (seq && th > 0) th += 2;
  wide b = p + th - (seq ? 1 : 0) + pfi->trlwds;
  // Every element position of the file, in bytes, must fit in 62 bits.
  wide times = nt > 0 ? nt : 1;
  if (b < 0 || b * times * 4 + pfi->fhdr >= lim || r > INT32_MAX || g >= lim) {
    omprnt(0, "Open Error:  Data file layout is too large\n");
    return 1;
  }
  for (filevar& v : vars) {
    if (v.offset < 0) {
      omprnt(0, "Open Error:  Data file layout is too large\n");
      return 1;
    }
  }
  pfi->thdr = static_cast<int64_t>(th);
  pfi->hdrwds = static_cast<int64_t>(h);
  pfi->gsiz = static_cast<int64_t>(g);
  pfi->tsiz = static_cast<int64_t>(b);
  pfi->trecs = static_cast<int>(r);
  return 0;
}
