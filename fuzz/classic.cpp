// Target: the classic netCDF header parser and slab arithmetic of the
// direct float reads (the 32-bit, 64-bit offset and 64-bit data formats),
// without the netCDF library (its own faults are its).
//
// Input: the bytes of a file (its header first), then optionally after a
// "\n=====\n" line slab requests: little-endian 64-bit (start, count)
// pairs, taken in turn by the dimensions of every variable (from the first
// pair again when they run out).  The header is parsed from a buffer of
// exactly its size; every variable (at most 256) is asked for its whole
// shape, its last value and a requested slab, for a run of the file and
// whether files of 0 bytes, of the input's size and of UINT64_MAX bytes
// hold it; a few words of the input are swapped to host order and back.
// The header's verdict is checked too: one refused for a claim past the
// end of the bytes stays refused when cut shorter.
// Broken promises abort: a run that wraps past 2^64 or that does not end
// exactly where the file must end to hold it, a slab held by a file but
// not by a larger one, an empty or out-of-range slab not said held (the
// library refuses it itself).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzzutil.h"
#include "sdf/sdfclassic.h"
#include "sdf/sdfint.h"

namespace {

using sizes = std::vector<size_t>;

// Asks for a run and for holding files of several sizes, and checks that
// the answers agree.
void ask(const classic_layout& l, const classic_var& v, const sizes& start, const sizes& count,
         uint64_t insize) {
  std::vector<uint64_t> files = {0, 1, insize, insize + 1, uint64_t{1} << 40, UINT64_MAX - 1, UINT64_MAX};
  uint64_t off = 0, n = 0;
  if (classic_run(l, v, start, count, &off, &n)) {
    uint64_t want = 1, bytes = 0, end = 0;
    for (size_t c : count) FUZZ_CHECK(!__builtin_mul_overflow(want, c, &want));
    const uint64_t size = static_cast<uint64_t>(type_size(v.type));
    FUZZ_CHECK(n == want && n > 0 && size > 0);
    FUZZ_CHECK(!__builtin_mul_overflow(n, size, &bytes) && !__builtin_add_overflow(off, bytes, &end));
    // The run is the slab: a file of exactly its end holds it, one byte less does not.
    FUZZ_CHECK(classic_holds(l, v, start, count, end) && !classic_holds(l, v, start, count, end - 1));
    files.push_back(end - 1);
    files.push_back(end);
  }
  // An empty or out-of-range slab is the library's to refuse: "held" at any size.
  bool out = false;
  for (size_t d = 0; d < count.size(); d++)
    out = out || count[d] == 0 || count[d] - 1 > SIZE_MAX - start[d] ||
          ((d > 0 || !v.record) && start[d] + count[d] - 1 >= v.shape[d]);
  FUZZ_CHECK(!out || classic_holds(l, v, start, count, 0));
  bool held = false;
  std::sort(files.begin(), files.end());
  for (uint64_t s : files) {
    const bool h = classic_holds(l, v, start, count, s);
    FUZZ_CHECK(h || !held);  // held at a size, held at every larger one
    held = h;
  }
}

uint64_t word(const std::string& s, size_t k) {
  uint64_t w = 0;
  for (int b = 7; b >= 0; b--) w = w << 8 | static_cast<unsigned char>(s[8 * k + static_cast<size_t>(b)]);
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return -1;
  std::vector<std::string> p = fuzz::split(data, size, 2);
  // The header in a buffer of its own size, so a read past it is reported.
  const std::vector<unsigned char> head(p[0].begin(), p[0].end());
  const size_t npairs = p[1].size() / 16;

  const size_t nw = std::min<size_t>(head.size() / 4, 16);
  std::vector<unsigned char> swapped(4 * nw);
  swap_words(head.data(), swapped.data(), nw);
  for (size_t k = 0; k < nw; k++) {  // each word read big-endian
    uint32_t host, be = 0;
    std::memcpy(&host, swapped.data() + 4 * k, 4);
    for (size_t b = 0; b < 4; b++) be = be << 8 | head[4 * k + b];
    FUZZ_CHECK(host == be);
  }
  swap_words(swapped.data(), swapped.data(), nw);  // in place, and back
  FUZZ_CHECK(std::equal(swapped.begin(), swapped.end(), head.begin()));

  classic_layout l;
  // A header refused for a claim past its end is refused cut shorter too
  // (down to its signature), and whatever a layout is asked for.
  const classic_header verdict = classic_read(head.data(), head.size(), nullptr);
  if (verdict == classic_header::refused) {
    for (size_t cut : {head.size() - 1, 4 + (head.size() - 4) / 2}) {
      const std::vector<unsigned char> shorter(head.begin(), head.begin() + static_cast<long>(cut));
      FUZZ_CHECK(cut < 4 || classic_read(shorter.data(), shorter.size(), &l) == classic_header::refused);
    }
  }
  if (!classic_parse(head.data(), head.size(), &l)) return 0;
  FUZZ_CHECK(verdict == classic_header::fine);
  size_t pair = 0;
  for (size_t k = 0; k < l.vars.size() && k < 256; k++) {
    const classic_var& v = l.vars[k];
    FUZZ_CHECK(type_size(v.type) > 0);
    const size_t nd = v.shape.size();
    sizes zero(nd, 0), whole(nd), last(nd), one(nd, 1), start(nd), count(nd);
    for (size_t d = 0; d < nd; d++) {
      whole[d] = static_cast<size_t>(v.shape[d]);
      last[d] = v.shape[d] > 0 ? static_cast<size_t>(v.shape[d] - 1) : 0;
      start[d] = npairs ? static_cast<size_t>(word(p[1], 2 * (pair % npairs))) : 0;
      count[d] = npairs ? static_cast<size_t>(word(p[1], 2 * (pair % npairs) + 1)) : 1;
      pair++;
    }
    ask(l, v, zero, whole, head.size());
    ask(l, v, last, one, head.size());
    ask(l, v, start, count, head.size());
  }
  return 0;
}
