// Target: the projected-grid set-up with arbitrary pdef parameters.
//
// Input: a header, then (after a "\n=====\n" line) the bytes of the weight
// file w.bin of the bilin and file methods.  The header is:
//   byte 0   the method: 0 nps, 1 sps, 2 lcc, 3 eta.u, 4 pse, 5 ops,
//            6 bilin, 7 file (taken modulo 8)
//   byte 1   flags: 1 x is a level list (else linear), 2 y is a level
//            list, 4 sequential weight file (else stream), 8 and 16 the
//            weight file's format (binary, binary-big, binary-little,
//            packed), 32 the parameters are also put into the record as
//            they are (NaN, infinities), past the parser
//   bytes 2-5  native isize - 1, jsize - 1, target nx - 1, ny - 1 (nx and
//            ny taken modulo 64)
//   then floats in host order (missing ones are 0): the method's
//   parameters (9 are read), then the x values (nx for a level list, else
//   start and increment), then the y values likewise.
// The pdef record, xdef and ydef are written as descriptor text and parsed
// by the descriptor's own parsers; the arrays of the projected grid are
// then built as the open does.  At most 64 x 64 target points, so a slow
// input is a finding.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/words.h"
#include "data/axisconv.h"
#include "data/datafile.h"
#include "data/pdef.h"
#include "fuzzutil.h"

namespace {

const char* const kMethods[8] = {"nps", "sps", "lcc", "eta.u", "pse", "ops", "bilin", "file"};
const int kParms[8] = {4, 4, 9, 4, 7, 8, 0, 1};
const char* const kFormats[4] = {"binary", "binary-big", "binary-little", "packed"};

struct cursor {
  const std::string& s;
  size_t at;
  float next() {
    float v = 0.0f;
    if (at + 4 <= s.size()) std::memcpy(&v, s.data() + at, 4);
    at += 4;
    return v;
  }
};

std::string num(float v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.9g", static_cast<double>(v));
  return b;
}

// Parses the axis text of dimension d into the record as the descriptor
// parser does; false when the parser refuses it.
bool axis(datafile* pfi, int d, const std::string& text, int n) {
  axisdef ax;
  std::string rec = text;
  int rc = n > 1 && text.compare(0, 6, "levels") == 0 ? levaxis(rec.c_str(), n, rec, nullptr, &ax)
                                                     : linaxis(rec.c_str(), d, 0, &ax);
  if (rc != 0) return false;
  pfi->grvals[d] = ax.gr2ab;
  pfi->abvals[d] = ax.ab2gr;
  pfi->gr2ab[d] = ax.gr2abfn;
  pfi->ab2gr[d] = ax.ab2grfn;
  pfi->linear[d] = ax.linear;
  pfi->dnum[d] = n;
  return true;
}

std::string axistext(cursor& c, bool levels, int n) {
  std::string t;
  if (levels && n > 1) {
    t = "levels";
    for (int i = 0; i < n; i++) t += " " + num(c.next());
  } else {
    float start = c.next();
    float inc = c.next();
    t = "linear " + num(start) + " " + num(inc);
  }
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  std::vector<std::string> p = fuzz::split(data, size, 2);
  const std::string& h = p[0];
  if (h.size() < 6) return -1;
  fuzz::stage({{"w.bin", p[1]}}, 10000);

  const int m = static_cast<unsigned char>(h[0]) % 8;
  const int flags = static_cast<unsigned char>(h[1]);
  const int isz = static_cast<unsigned char>(h[2]) + 1;
  const int jsz = static_cast<unsigned char>(h[3]) + 1;
  const int nx = static_cast<unsigned char>(h[4]) % 64 + 1;
  const int ny = static_cast<unsigned char>(h[5]) % 64 + 1;
  cursor c{h, 6};
  float parms[9];
  for (float& v : parms) v = c.next();

  std::string rec = "pdef " + std::to_string(isz) + " " + std::to_string(jsz) + " " + kMethods[m];
  // With the raw flag the record holds a number the parser takes wherever
  // the parameter is none (NaN, infinite): the value itself is put in after.
  for (int i = 0; i < kParms[m]; i++)
    rec += " " + ((flags & 32) && !std::isfinite(parms[i]) ? std::string("0") : num(parms[i]));
  if (m >= 6) {
    rec += flags & 4 ? " sequential " : " stream ";
    rec += kFormats[(flags >> 3) & 3];
    rec += " ^w.bin";
  }
  const std::string xt = axistext(c, flags & 1, nx);
  const std::string yt = axistext(c, flags & 2, ny);

  datafile* pfi = getpfi();
  if (!pfi) return 0;
  pfi->dnam = "d.ctl";
  std::string low = rec;
  lowcas(&low[0]);
  if (ompdprs(low.c_str(), rec.c_str(), pfi->dnam.c_str(), pfi) == 0 && axis(pfi, 0, xt, nx) &&
      axis(pfi, 1, yt, ny)) {
    if ((flags & 32) && m < 6)
      for (int i = 0; i < kParms[m]; i++) pfi->ppvals[i] = parms[i];
    omppcn(pfi, pfi->ppacc, pfi->ppfmt);
  }
  if (pfi->ppfile) std::fclose(pfi->ppfile);
  pfi->ppfile = nullptr;
  frepfi(pfi, 0);
  return 0;
}
