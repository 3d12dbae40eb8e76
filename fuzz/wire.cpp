// Target: the reader of a file's description as the helper hands it to the
// program (sdfwire.cpp), without the helper: the program trusts nothing a
// helper sends, which a damaged file may have led astray.
//
// Input: the bytes of a description as the helper sends them.  Every
// description the reader makes is checked to hold together (each
// variable's dimensions among the file's, each attribute's values as many
// as it counts) and to be made again, byte for byte, from what it packs.
// Broken promises abort.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzzutil.h"
#include "sdf/sdfint.h"

namespace {

#define check(ok) \
  ((ok) ? void() : (std::fprintf(stderr, "wire: %d: %s fails\n", __LINE__, #ok), std::abort()))

void check_atts(const std::vector<netcdf_att>& atts) {
  for (const netcdf_att& a : atts) {
    const int size = type_size(a.nctype);
    check(a.count >= 0);
    check(size == 0 || a.values.size() >= static_cast<size_t>(a.count) * static_cast<size_t>(size));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  io_std io;
  if (!unpack_description(bytes, &io)) return 0;
  check(io.ndims >= 0 && io.ndims <= SDF_MAX_DIMS);
  check(io.dimnames.size() == static_cast<size_t>(io.ndims) && io.dimlens.size() == io.dimnames.size());
  for (long len : io.dimlens) check(len >= 0);
  check(io.nvars == static_cast<int>(io.varlist.size()));
  check_atts(io.gatts);
  for (const var_info& v : io.varlist) {
    check(v.ndims == static_cast<int>(v.dimids.size()));
    for (int d : v.dimids) check(d >= 0 && d < io.ndims);
    check_atts(v.atts);
  }
  const std::string again = pack_description(io);
  io_std back;
  check(unpack_description(again, &back) == 1);
  check(pack_description(back) == again);
  return 0;
}
