// Target: the coordinate and time logic of the self-describing openers,
// without the netCDF and HDF libraries (their own faults are theirs).
//
// Input: a units text, then after a "\n=====\n" line a time text of the
// descriptor form ("yyyy-mm-dd hh:mm:ss"), then raw doubles (host order,
// at most 4096) taken as the values of a coordinate variable.  The values
// are made into a linear axis (with and without the wrap test, in both
// orders, and as the opener orders longitudes) or a level list as the
// openers do, installed into a data-file record, and converted grid ->
// world -> grid at the ends and beyond; the first values are decoded as
// times in the units text and as yyyymmddhhmmss numbers, and the time text
// as a time step.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "fuzzutil.h"
#include "sdf/sdfint.h"

namespace {

void convert(datafile* pfi, int d, size_t n) {
  if (!pfi->gr2ab[d] || !pfi->ab2gr[d]) return;
  const double gs[] = {0.0, 1.0, 1.5, static_cast<double>(n), static_cast<double>(n) + 1, -1e6, 1e6};
  for (double g : gs) {
    double w = pfi->gr2ab[d](pfi->grvals[d], g);
    pfi->ab2gr[d](pfi->abvals[d], w);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  // The units database of the data directory.
  std::string db = std::string(OMBRA_SOURCE_DIR) + "/share/udunits.dat";
  FILE* f = std::fopen(db.c_str(), "rb");
  if (f) {
    std::string text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    fuzz::writefile("udunits.dat", text);
  }
  sdf_units_init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  std::vector<std::string> p = fuzz::split(data, size, 3);
  std::vector<double> vals(p[2].size() / sizeof(double));
  if (vals.size() > 4096) return -1;
  if (!vals.empty()) std::memcpy(vals.data(), p[2].data(), vals.size() * sizeof(double));

  // Modes 0-3: with and without the wrap test, in both orders; mode 4: the
  // longitude axis as the opener builds it, reversed when stored westward.
  const bool west = falling_longitudes(vals);
  for (int mode = 0; mode < 5; mode++) {
    sdfaxis ax;
    const int m = mode == 4 ? 1 | (west ? 2 : 0) : mode;
    int rc = trydeflin(vals, m & 1, m & 2, &ax);
    if (rc == 0) rc = sdfdeflev(vals, m & 2, &ax) == 0 ? 1 : -1;
    if (rc != 1) continue;
    datafile* pfi = getpfi();
    if (!pfi) return 0;
    if (install_axis(pfi, m & 1 ? 0 : 2, ax)) convert(pfi, m & 1 ? 0 : 2, vals.size());
    frepfi(pfi, 0);
  }

  int yr, mo, dy, hr, mn, isec;
  double sec;
  const std::string units = p[0].substr(0, p[0].find('\0'));
  for (size_t k = 0; k < vals.size() && k < 4; k++) {
    if (!units.empty()) decode_ud_time(units.c_str(), vals[k], &yr, &mo, &dy, &hr, &mn, &sec);
    decode_standard_time(vals[k], &yr, &mo, &dy, &hr, &mn, &sec);
  }
  const std::string delta = p[1].substr(0, p[1].find('\0'));
  decode_delta_t(delta.c_str(), &yr, &mo, &dy, &hr, &mn, &isec);
  units_is_time(units.c_str());
  return 0;
}
