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

void check_atts(const std::vector<netcdf_att>& atts) {
  for (const netcdf_att& a : atts) {
    const int size = type_size(a.nctype);
    FUZZ_CHECK(a.count >= 0);
    FUZZ_CHECK(size == 0 || a.values.size() >= static_cast<size_t>(a.count) * static_cast<size_t>(size));
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
  FUZZ_CHECK(io.ndims >= 0 && io.ndims <= SDF_MAX_DIMS);
  FUZZ_CHECK(io.dimnames.size() == static_cast<size_t>(io.ndims) && io.dimlens.size() == io.dimnames.size());
  for (long len : io.dimlens) FUZZ_CHECK(len >= 0);
  FUZZ_CHECK(io.nvars == static_cast<int>(io.varlist.size()));
  check_atts(io.gatts);
  for (const var_info& v : io.varlist) {
    FUZZ_CHECK(v.ndims == static_cast<int>(v.dimids.size()));
    for (int d : v.dimids) FUZZ_CHECK(d >= 0 && d < io.ndims);
    check_atts(v.atts);
  }
  const std::string again = pack_description(io);
  io_std back;
  FUZZ_CHECK(unpack_description(again, &back) == 1);
  FUZZ_CHECK(pack_description(back) == again);
  return 0;
}
