// Target: GRIB edition 2 messages: their sections, every packing and grid.
//
// Input: the bytes of a GRIB file.  Each message found (from each "GRIB")
// is scanned; each field of at most 2^20 points is decoded, its grid
// described, and a projected grid's interpolation record built for a
// covering grid of at most 32 x 32 points; its native corners are taken to
// latitude and longitude and back.  Gaussian grids of more than 2000
// parallels between pole and equator are not described (their latitudes'
// cost grows as the square of that number).  The codec libraries run in
// this process.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/grib2.h"
#include "fuzzutil.h"

namespace {

double lin(float* v, double g) { return v[0] * g + v[1]; }

void describe(const g2field& f) {
  if ((f.grid.tmpl == 40 || f.grid.tmpl == 41) && f.grid.ngauss > 2000) return;
  g2axes ax;
  std::string why;
  if (g2gridaxes(f, &ax, &why) || !ax.projected) return;
  double la, lo, gi, gj;
  for (int c = 0; c < 4; c++) {
    const double i = c & 1 ? f.grid.ni : 1, j = c & 2 ? f.grid.nj : 1;
    if (g2natgeo(f, i, j, &la, &lo) == 0) g2geonat(f, la, lo, &gi, &gj);
  }
  datafile* pfi = getpfi();
  if (!pfi) return;
  pfi->dnum[0] = ax.nx < 32 ? ax.nx : 32;
  pfi->dnum[1] = ax.ny < 32 ? ax.ny : 32;
  float xs[3] = {static_cast<float>(ax.dlon), static_cast<float>(ax.lon0 - ax.dlon), 0};
  float ys[3] = {static_cast<float>(ax.dlat), static_cast<float>(ax.lat0 - ax.dlat), 0};
  pfi->gr2ab[0] = pfi->gr2ab[1] = lin;
  pfi->grvals[0] = xs;
  pfi->grvals[1] = ys;
  g2pdef(f, pfi, &why);
  pfi->gr2ab[0] = pfi->gr2ab[1] = nullptr;
  pfi->grvals[0] = pfi->grvals[1] = nullptr;
  frepfi(pfi, 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  const std::string all(reinterpret_cast<const char*>(data), size);
  size_t pos = 0;
  std::vector<float> out;
  while ((pos = all.find("GRIB", pos)) != std::string::npos) {
    // The message alone, exactly as long as what is left of the input.
    std::vector<unsigned char> msg(all.begin() + static_cast<long>(pos), all.end());
    std::vector<g2field> fs;
    std::string why;
    g2scanmsg(msg.data(), msg.size(), &fs, &why);
    for (const g2field& f : fs) {
      const int64_t n = g2points(f);
      if (n < 1 || n > (1 << 20)) continue;
      out.assign(static_cast<size_t>(n), 0.0f);
      g2decode(msg.data(), msg.size(), f, out.data(), out.size(), -9.99e8f, &why);
      describe(f);
    }
    pos += 4;
  }
  return 0;
}
