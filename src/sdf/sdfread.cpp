// Grid reads from self-describing files: the request is clipped to the
// file (or wrapped round the globe), read as one hyperslab per member file,
// turned into floats with packing and undefined markers applied, and placed
// into the request with reversed latitudes and levels turned round.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/errout.h"
#include "base/omprnt.h"
#include "base/vecclone.h"
#include "base/words.h"
#include "data/datafile.h"
#include "data/gridres.h"
#include "data/gridview.h"
#include "sdf/sdfint.h"

namespace {

var_info* find_omname(io_std* io, const std::string& name) {
  if (io == nullptr) return nullptr;
  for (var_info& v : io->varlist) {
    if (!v.omname.empty() && caseeq(v.omname, name)) return &v;
  }
  return nullptr;
}

// How raw values of a variable become floats.
struct unpacker {
  int type = 0;
  double scale = 1, offset = 0;
  double m1 = 0, m2 = 0;
  bool has_m2 = false;
  bool fpacked = false;  // a float or double variable with a real scale or offset
  float undef = 0;
};

bool att_number(const var_info* v, const char* a, const char* b, double* out, int* type) {
  const netcdf_att* at = find_att(v->atts, a);
  if (at == nullptr) at = find_att(v->atts, b);
  if (at == nullptr) return false;
  *type = at->nctype;
  if (at->count < 1 || !value_as_double(at->values.data(), at->nctype, 0, out)) *type = -1;
  return true;
}

double own_att(const var_info* v, const char* name, bool* found) {
  const netcdf_att* a = find_att(v->atts, name);
  double d = 0;
  *found = a != nullptr && a->nctype == v->nctype && a->count >= 1 &&
           value_as_double(a->values.data(), a->nctype, 0, &d);
  return d;
}

double type_fill(int type) {
  switch (type) {
    case SDF_BYTE: return -127;
    case SDF_SHORT: return -32767;
    case SDF_LONG: return -2147483647.0;
    case SDF_FLOAT: return 9.96921e36f;
    case SDF_DOUBLE: return 9.969209968386869e36;
    case SDF_UBYTE: return 255;
    case SDF_USHORT: return 65535;
    case SDF_UINT: return 4294967295.0;
    case SDF_INT64: return -9223372036854775806.0;
    case SDF_UINT64: return 18446744073709551614.0;
    default: return 9.96921e36f;
  }
}

float var_undef(const var_info* v, const datafile* pfi, int ddf) {
  if (ddf) return pfi->undef;
  double d = 0;
  if (v->has_undef && value_as_double(v->undef.raw, v->nctype, 0, &d) && std::fabs(d) < 3.4e38)
    return static_cast<float>(d);
  return 9.96921e36f;
}

// 0, or 6 after the message (none when quiet) when the packing cannot be
// used.
int make_unpacker(const var_info* v, const datafile* pfi, int ddf, float undef, unpacker* u, bool quiet = false) {
  u->type = v->nctype;
  u->undef = undef;
  int st = 0, ot = 0;
  double scale = 1, offset = 0;
  bool hs = att_number(v, "scale_factor", "slope", &scale, &st);
  bool ho = att_number(v, "add_offset", "intercept", &offset, &ot);
  if ((hs && st < 0) || (ho && ot < 0)) {
    if (!quiet) omprnt(0, "SDF data variable has unsupported unpacked data type.\n");
    return 6;
  }
  // The HDF4 library's calibration (its other attributes tell it from
  // netCDF packing) means value = scale x (stored - offset).
  if (find_att(v->atts, "calibrated_nt") != nullptr || find_att(v->atts, "scale_factor_err") != nullptr ||
      find_att(v->atts, "add_offset_err") != nullptr)
    offset = -offset * scale;
  bool is_float = v->nctype == SDF_FLOAT || v->nctype == SDF_DOUBLE;
  if (is_float && (hs || ho)) {
    bool ident = v->nctype == SDF_FLOAT
                     ? flt_equal(static_cast<float>(scale), 1.0f) && flt_equal(static_cast<float>(offset), 0.0f)
                     : dbl_equal(scale, 1.0) && dbl_equal(offset, 0.0);
    // Packed floats are unpacked like packed integers: a variable the
    // opener lists must be readable.
    if (ident) {
      scale = 1;
      offset = 0;
    }
    u->fpacked = !ident;
  }
  u->scale = scale;
  u->offset = offset;
  bool hm = false, hf = false;
  double mv = own_att(v, "missing_value", &hm);
  double fv = own_att(v, "_FillValue", &hf);
  if (ddf) {
    // The descriptor's undef marks missing values in the file's own terms.
    u->m1 = is_float && !u->fpacked ? pfi->undef : (pfi->undef - offset) / (scale != 0 ? scale : 1);
    // The file's own fill marks stay missing too: unpacked, a packed fill
    // value would pass for data far outside the field's range.
    u->has_m2 = true;
    u->m2 = hm ? mv : (hf ? fv : type_fill(v->nctype));
    return 0;
  }
  if (hm) {
    u->m1 = mv;
    u->has_m2 = true;
    u->m2 = hf ? fv : type_fill(v->nctype);
  } else if (hf) {
    u->m1 = fv;
  } else {
    u->m1 = type_fill(v->nctype);
    if ((!is_float || u->fpacked) && (hs || ho) && scale != 0) {
      // Packed data without a marker: the packed form of the grid's undef
      // too, when one stored value unpacks to it exactly.  A nearest value
      // that only comes close (with a large scale, the undef rounds to 0)
      // is data.
      const double p = std::floor((undef - offset) / scale + 0.5);
      if (static_cast<float>(p * scale + offset) == undef) {
        u->has_m2 = true;
        u->m2 = p;
      }
    }
  }
  return 0;
}

template <class T>
void unpack_int(const T* raw, size_t n, const unpacker& u, float* out) {
  const double m1 = u.m1, m2 = u.has_m2 ? u.m2 : u.m1;
  const double sc = u.scale, of = u.offset;
  for (size_t i = 0; i < n; i++) {
    double r = static_cast<double>(raw[i]);
    // Scaled beyond single precision (or to no number) is undefined too.
    double v = r * sc + of;
    out[i] = (r == m1) | (r == m2) | !(std::fabs(v) <= FLT_MAX) ? u.undef : static_cast<float>(v);
  }
}

// Applies f to n floats from r into o, or in place when r is o: either
// way a loop the compiler makes into vector code (in place, two pointers
// that might overlap would keep it scalar).  Always inlined, so that it is
// built for each processor its caller is built for.
template <class F>
inline __attribute__((always_inline)) void each_float(const float* r, float* o, size_t n, F f) {
  if (r == o) {
    for (size_t i = 0; i < n; i++) o[i] = f(o[i]);
    return;
  }
  const float* __restrict src = r;
  float* __restrict dst = o;
  for (size_t i = 0; i < n; i++) dst[i] = f(src[i]);
}

// The same from the bytes of a file's map, swapped first when Swap: a
// plain loop over each block of values, the block ahead asked for first.
template <bool Swap, class F>
inline __attribute__((always_inline)) void each_filed_run(const unsigned char* r, float* __restrict o, size_t n,
                                                          F f) {
  for (size_t i = 0; i < n; i++) o[i] = f(viewraw<Swap>(r, i));
}

template <bool Swap, class F>
inline __attribute__((always_inline)) void each_filed(const unsigned char* r, float* o, size_t n, F f) {
  for (size_t k0 = 0; k0 < n; k0 += kViewBlock) {
    viewahead(r, k0);
    each_filed_run<Swap>(r + 4 * k0, o + k0, viewblockend(k0, n) - k0, f);
  }
}

// How float values become grid values: each rule one select per point.
struct fpackedrule {  // a float variable with a real scale or offset
  double m1, m2, sc, of;
  float ud;
  float operator()(float f) const {
    double x = f;
    bool bad = std::fabs(x - m1) <= 1e-5 || std::fabs(x - m2) <= 1e-5 || !(std::fabs(x) <= FLT_MAX);
    double v = x * sc + of;
    return bad || !(std::fabs(v) <= FLT_MAX) ? ud : static_cast<float>(v);
  }
};

struct equalrule {  // markers so large that only equal values are within the tolerance
  float m1, m2, ud;
  float operator()(float x) const {
    // Values that are no number (a NaN fill, as many writers use) are
    // never data.
    return (x == m1) | (x == m2) | !(std::fabs(x) <= FLT_MAX) ? ud : x;
  }
};

struct nearrule {  // values within the tolerance of a marker
  float m1, m2, ud;
  float operator()(float x) const {
    const float tol = 1e-5f;
    return (std::fabs(x - m1) <= tol) | (std::fabs(x - m2) <= tol) | !(std::fabs(x) <= FLT_MAX) ? ud : x;
  }
};

// Calls apply with the rule of the unpacker.
template <class A>
inline __attribute__((always_inline)) void with_rule(const unpacker& u, A apply) {
  if (u.fpacked) {
    apply(fpackedrule{u.m1, u.has_m2 ? u.m2 : u.m1, u.scale, u.offset, u.undef});
    return;
  }
  const float m1 = static_cast<float>(u.m1);
  const float m2 = u.has_m2 ? static_cast<float>(u.m2) : m1;
  // Spacing of floats this large exceeds the tolerance.
  if (std::fabs(m1) >= 256.0f && std::fabs(m2) >= 256.0f)
    apply(equalrule{m1, m2, u.undef});
  else
    apply(nearrule{m1, m2, u.undef});
}

// Float values made into grid values, from r into o or in place: the same
// rules wherever the values were read to.
OM_VECTOR_CLONES void unpack_float(const float* r, float* o, size_t n, const unpacker& u) {
  with_rule(u, [=](auto rule) { each_float(r, o, n, rule); });
}

// The same from the bytes of a file's map, big-endian where swap.
OM_VECTOR_CLONES void unpack_filed(const unsigned char* r, bool swap, float* o, size_t n, const unpacker& u) {
  if (swap)
    with_rule(u, [=](auto rule) { each_filed<true>(r, o, n, rule); });
  else
    with_rule(u, [=](auto rule) { each_filed<false>(r, o, n, rule); });
}

// The order of floats as integers: k(a) < k(b) exactly where a < b, both
// zeros 0 (no number is given one).
int32_t float_key(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return (u & 0x80000000u) != 0 ? -static_cast<int32_t>(u & 0x7fffffffu) : static_cast<int32_t>(u);
}

float key_float(int32_t k) {
  const uint32_t u = k < 0 ? 0x80000000u | static_cast<uint32_t>(-static_cast<int64_t>(k)) : static_cast<uint32_t>(k);
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

// The floats unpack_float takes for the marker m, as the keys a to b
// (empty, a > b, where it takes none but the non-numbers it takes anyway).
// What it takes of a number x is decided by x - m, which grows with x: the
// ends are found by halving.
void marker_keys(float m, bool exact, int32_t* a, int32_t* b) {
  *a = 1;
  *b = 0;
  if (!(std::fabs(m) <= FLT_MAX)) return;
  const int32_t km = float_key(m), kmax = float_key(FLT_MAX);
  if (exact) {
    *a = *b = km;
    return;
  }
  const float tol = 1e-5f;
  // The lowest x with x - m >= -tol, then the highest with x - m <= tol.
  int64_t lo = -kmax, hi = km;
  while (lo < hi) {
    const int64_t mid = lo + (hi - lo) / 2;
    if (key_float(static_cast<int32_t>(mid)) - m >= -tol)
      hi = mid;
    else
      lo = mid + 1;
  }
  *a = static_cast<int32_t>(lo);
  lo = km;
  hi = kmax;
  while (lo < hi) {
    const int64_t mid = hi - (hi - lo) / 2;
    if (key_float(static_cast<int32_t>(mid)) - m <= tol)
      lo = mid;
    else
      hi = mid - 1;
  }
  *b = static_cast<int32_t>(hi);
}

}  // namespace

bool float_marker_band(float m1, float m2, float* lo, float* hi) {
  // unpack_float's two rules: equal values where both markers are large,
  // else values within its tolerance of either.
  const bool exact = std::fabs(m1) >= 256.0f && std::fabs(m2) >= 256.0f;
  int32_t a1, b1, a2, b2;
  marker_keys(m1, exact, &a1, &b1);
  marker_keys(m2, exact, &a2, &b2);
  if (a1 > b1) {
    a1 = a2;
    b1 = b2;
  } else if (a2 <= b2) {
    // Two runs are one where they meet or overlap.
    if (static_cast<int64_t>(a2) > static_cast<int64_t>(b1) + 1 || static_cast<int64_t>(a1) > static_cast<int64_t>(b2) + 1)
      return false;
    a1 = std::min(a1, a2);
    b1 = std::max(b1, b2);
  }
  if (a1 > b1) {
    *lo = *hi = 0.0f;  // (0, 0) holds nothing
    return true;
  }
  // The floats next to the run's ends, which lie outside it: infinities
  // past the largest.
  *lo = key_float(a1 - 1);
  *hi = key_float(b1 + 1);
  return true;
}

namespace {

void unpack(const void* buf, size_t n, const unpacker& u, float* out) {
  switch (u.type) {
    case SDF_FLOAT:
      unpack_float(static_cast<const float*>(buf), out, n, u);
      return;
    case SDF_DOUBLE: {
      const double* r = static_cast<const double*>(buf);
      const double m2 = u.has_m2 ? u.m2 : u.m1;
      for (size_t i = 0; i < n; i++) {
        double x = r[i];
        bool bad = std::fabs(x - u.m1) <= 1e-5 || std::fabs(x - m2) <= 1e-5;
        if (u.fpacked) x = x * u.scale + u.offset;
        out[i] = bad || !(std::fabs(x) <= 3.4e38) ? u.undef : static_cast<float>(x);
      }
      return;
    }
    case SDF_BYTE: unpack_int(static_cast<const signed char*>(buf), n, u, out); return;
    case SDF_UBYTE: unpack_int(static_cast<const unsigned char*>(buf), n, u, out); return;
    case SDF_SHORT: unpack_int(static_cast<const short*>(buf), n, u, out); return;
    case SDF_USHORT: unpack_int(static_cast<const unsigned short*>(buf), n, u, out); return;
    case SDF_LONG: unpack_int(static_cast<const int*>(buf), n, u, out); return;
    case SDF_UINT: unpack_int(static_cast<const unsigned int*>(buf), n, u, out); return;
    case SDF_INT64: unpack_int(static_cast<const long long*>(buf), n, u, out); return;
    case SDF_UINT64: unpack_int(static_cast<const unsigned long long*>(buf), n, u, out); return;
    default:
      for (size_t i = 0; i < n; i++) out[i] = u.undef;
  }
}

// One dimension of the request as read from the file.
struct dimplan {
  bool varying = false;
  bool present = false;  // the variable has this dimension
  int lo = 1, hi = 1;    // grid indices wanted (varying) or the fixed index
  size_t start = 0, count = 1;  // hyperslab along the variable's dimension
  int size = 1;          // file size of the dimension
  bool rev = false;
  bool wrap = false;     // X read whole, indices taken round the globe
  long fixed = -1;       // hyperslab coordinate of a fixed index taken round the globe
  // Hyperslab coordinate of a grid index, -1 when outside.
  long coord(int g) const {
    if (!present) return g == 1 || !varying ? 0 : -1;
    if (fixed >= 0) return fixed;
    if (wrap) {
      long k = (static_cast<long>(g) - 1) % size;
      if (k < 0) k += size;
      return rev ? size - 1 - k : k;
    }
    if (varying && (g < lo || g > hi)) return -1;
    long f = rev ? size - g : g - 1;  // 0-based file index
    long c = f - static_cast<long>(start);
    return (c < 0 || c >= static_cast<long>(count)) ? -1 : c;
  }
};

// 1 when the dimension can be read; false when the request misses the file.
bool plan_dim(dimplan* p, const gridres* pgr, int d, int pos, int size, bool rev, bool wrapfile) {
  p->varying = pgr->idim == d || pgr->jdim == d;
  p->present = pos >= 0;
  p->size = size;
  p->rev = rev;
  p->lo = pgr->dimmin[d];
  p->hi = p->varying ? pgr->dimmax[d] : pgr->dimmin[d];
  if (!p->present) {
    p->start = 0;
    p->count = 1;
    return !p->varying || (p->lo <= 1 && p->hi >= 1);
  }
  if (d == 0 && wrapfile && (p->lo < 1 || p->hi > size)) {
    p->wrap = true;
    p->start = 0;
    p->count = static_cast<size_t>(size);
    return true;
  }
  int lo = p->lo < 1 ? 1 : p->lo;
  int hi = p->hi > size ? size : p->hi;
  if (lo > hi) return false;  // wholly beyond the file
  p->lo = lo;
  p->hi = hi;
  p->count = static_cast<size_t>(hi - lo + 1);
  p->start = static_cast<size_t>(rev ? size - hi : lo - 1);
  return true;
}

// 1 when row j of the grid is row j of the slab (row k starting at
// first + k * isz), -1 when it is row jsz - 1 - j, 0 otherwise.
int row_order(const std::vector<long>& joff, long first, int isz) {
  const long jsz = static_cast<long>(joff.size());
  bool fwd = true, back = true;
  for (long j = 0; j < jsz && (fwd || back); j++) {
    const long at = first + joff[static_cast<size_t>(j)];
    fwd = fwd && joff[static_cast<size_t>(j)] >= 0 && at == j * isz;
    back = back && joff[static_cast<size_t>(j)] >= 0 && at == (jsz - 1 - j) * isz;
  }
  return fwd ? 1 : (back ? -1 : 0);
}

// A run of grid columns dst.. taken from consecutive slab offsets src..
struct colrun {
  size_t dst;
  long src;
  size_t len;
};

// The runs of the columns that are in the slab (offset 0 or more).
std::vector<colrun> column_runs(const std::vector<long>& ioff) {
  std::vector<colrun> runs;
  for (size_t i = 0; i < ioff.size(); i++) {
    if (ioff[i] < 0) continue;
    if (!runs.empty() && runs.back().dst + runs.back().len == i &&
        runs.back().src + static_cast<long>(runs.back().len) == ioff[i])
      runs.back().len++;
    else
      runs.push_back({i, ioff[i], 1});
  }
  return runs;
}

// Runs in a row beyond which copying point by point from one unpacked slab
// is cheaper than a call per run.
size_t runs_per_row_max(int isz) { return static_cast<size_t>(isz) / 16; }

// Points of a block of rows read and unpacked while it stays in cache.
constexpr size_t kBlockPoints = 65536;
// An unpacked slab up to this size is kept from one command to the next,
// so that its pages are not faulted in at each step of a script; a larger
// one only through a command (sdf_reads_release).
constexpr size_t kKeptBetween = size_t(64) << 20;

// Unpacked slab for rows that are not contiguous in the file.
std::vector<float>& unpacked() {
  static std::vector<float> vals;
  return vals;
}

// The bytes of a slab the program reads itself from which it is made into
// grid values straight from the file's map: below, a read costs less than
// the fault of a page first touched through the map; above, the map's
// pages would stay resident beside the grid until given back (a slab that
// large is read into the grid a block at a time instead).
constexpr size_t kMapMin = 4096;
constexpr size_t kMapMost = size_t(16) << 20;

// Makes the slab at place, rows of w values, into the grid's h rows (turned
// round where order is -1) straight from the map of its file: false where
// it is not to be had from a map, or the file lost it meanwhile (the
// caller then reads it, and meets the cut as a read error).
bool unpack_from_map(datafile* pfi, const slabplace& place, float* gr, size_t w, size_t h, int order,
                     const unpacker& u) {
  const size_t nb = w * h * sizeof(float);
  if (nb < kMapMin || nb > kMapMost || place.offset > static_cast<uint64_t>(INT64_MAX)) return false;
  const unsigned char* m = pfi->fmap.bytes(place.fd, static_cast<int64_t>(place.offset), static_cast<int64_t>(nb));
  if (m == nullptr) return false;
  const bool swap = place.swap && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  const bool whole = mapread([&] {
    if (order > 0)
      unpack_filed(m, swap, gr, w * h, u);
    else
      for (size_t j = 0; j < h; j++) unpack_filed(m + (h - 1 - j) * w * sizeof(float), swap, gr + j * w, w, u);
  });
  pfi->fmap.done(m, static_cast<int64_t>(nb));
  return whole;
}

// A slab's values where they lie in the map of its file: its first byte,
// and whether they are big-endian.
struct filedslab {
  const unsigned char* m = nullptr;
  bool swap = false;
};

// Reads a slab of nbytes: where filed is wanted and the slab is one run of
// 4-byte values of a file the program reads itself, the place of its
// values in the file's map (*filed set, the pointer returned is its
// first byte); else where it was read to, as read_netcdf_slab reads it.
const unsigned char* read_slab_filed(datafile* pfi, int ncid, int varid, const std::vector<size_t>& start,
                                     const std::vector<size_t>& count, size_t nbytes, bool want, filedslab* filed) {
  slabplace place;
  const void* got = read_netcdf_slab(ncid, varid, start, count, nbytes, false, want ? &place : nullptr);
  if (got == nullptr || got != &place) return static_cast<const unsigned char*>(got);
  const unsigned char* m = nbytes >= kMapMin && nbytes <= kMapMost && place.offset <= static_cast<uint64_t>(INT64_MAX)
                               ? pfi->fmap.bytes(place.fd, static_cast<int64_t>(place.offset),
                                                 static_cast<int64_t>(nbytes))
                               : nullptr;
  if (m == nullptr) return static_cast<const unsigned char*>(read_netcdf_slab(ncid, varid, start, count, nbytes));
  filed->m = m;
  filed->swap = place.swap && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  return m;
}

// Reads a float slab whose rows are the grid's rows in order, or the
// grid's rows turned round (order -1), into the grid as grid values.  A
// slab the program reads itself as one run of its file (a classic file's,
// or a netCDF-4 file's stored as it is) is made into grid values straight
// from the file's map, or, where that is not to be had, comes a block of
// rows at a time straight into the grid, each unpacked while it is still
// in cache, so that the test of each value rides on the read instead of a
// pass of its own over the grid, and no copy of the whole slab is made.
// Any other slab is unpacked from where it was read, the rows taken in the
// grid's order.  False when a read fails.
bool read_rows_unpacked(datafile* pfi, int ncid, int varid, const std::vector<size_t>& start,
                        const std::vector<size_t>& count, float* gr, int isz, int jsz, int order, const unpacker& u) {
  const size_t w = static_cast<size_t>(isz), h = static_cast<size_t>(jsz);
  slabplace place;
  const void* got = read_netcdf_slab(ncid, varid, start, count, w * h * sizeof(float), false, &place);
  if (got == nullptr) return false;
  if (got != &place) {
    const float* slab = static_cast<const float*>(got);
    if (order > 0) {
      unpack_float(slab, gr, w * h, u);
    } else {
      for (size_t j = 0; j < h; j++) unpack_float(slab + (h - 1 - j) * w, gr + j * w, w, u);
    }
    return true;
  }
  if (unpack_from_map(pfi, place, gr, w, h, order, u)) return true;
  const size_t rows = std::max<size_t>(1, kBlockPoints / w);
  for (size_t j = 0; j < h; j += rows) {
    const size_t m = std::min(rows, h - j);
    // Rows j.. of the slab: rows j.. of the grid, or turned round the m
    // rows that end h - j rows from its top.
    float* block = gr + (order > 0 ? j : h - j - m) * w;
    if (!read_place(place, j * w, m * w, block)) return false;
    if (order < 0)
      for (size_t a = 0, b = m - 1; a < b; a++, b--) std::swap_ranges(block + a * w, block + (a + 1) * w, block + b * w);
    unpack_float(block, block, m * w, u);
  }
  return true;
}

// The plans of a request's X, Y, Z and T (the variable's positions are in
// T Z Y X order); false when the request lies outside the file.
bool plan_request(const datafile* pfi, const var_info* v, const gridres* pgr, dimplan plan[4]) {
  const bool rev[4] = {pfi->xrflg != 0, pfi->yrflg != 0, pfi->zrflg != 0, false};
  for (int d = 0; d < 4; d++)
    if (!plan_dim(&plan[d], pgr, d, v->tzyx_pos[3 - d], pfi->dnum[d], rev[d], pfi->wrap != 0 && d == 0)) return false;
  return true;
}

// The steps the file open now holds of a variable's time dimension; -1
// where it is not known.
long steps_held(const var_info* v, const io_std* io) {
  const int tpos = v->tzyx_pos[0];
  if (tpos < 0 || static_cast<size_t>(tpos) >= v->dimids.size()) return -1;
  const size_t did = static_cast<size_t>(v->dimids[static_cast<size_t>(tpos)]);
  return did < io->dimlens.size() ? io->dimlens[did] : -1;
}

// The hyperslab over the variable's dimensions of the planned request at
// steps fileidx (1-based, in the file) on.
void slab_of(const var_info* v, const dimplan plan[4], long fileidx, int steps, std::vector<size_t>* start,
             std::vector<size_t>* count) {
  const size_t nd = static_cast<size_t>(v->ndims);
  start->assign(nd, 0);
  count->assign(nd, 1);
  for (int d = 0; d < 4; d++) {
    const int pos = v->tzyx_pos[3 - d];
    if (pos < 0 || static_cast<size_t>(pos) >= nd) continue;
    (*start)[static_cast<size_t>(pos)] = d == 3 ? static_cast<size_t>(fileidx - 1) : plan[d].start;
    (*count)[static_cast<size_t>(pos)] = d == 3 ? static_cast<size_t>(steps) : plan[d].count;
  }
}

// What a read writes on standard error of the block it read: the counts
// along X, Y and Z, and its steps from the first asked for.
void say_block(char* to, size_t size, const dimplan plan[4], int tfirst, int steps) {
  std::snprintf(to, size, "gxstart=%d, gxstop=%d, gystart=%d, gystop=%d.\ngzstart=%d, gzstop=%d, gtstart=%d, gtstop=%d.\n",
                0, static_cast<int>(plan[0].count), 0, static_cast<int>(plan[1].count), 0,
                static_cast<int>(plan[2].count), tfirst, steps);
}

}  // namespace

void sdf_reads_release(bool all) {
  if (all || unpacked().capacity() * sizeof(float) > kKeptBetween) std::vector<float>().swap(unpacked());
  netcdf_reads_release(all);
}

int omgsdf(gridres* pgr, float* gr) {
  datafile* pfi = pgr->pfi;
  std::string want = pgr->pvar != nullptr ? pgr->pvar->abbrv : std::string();
  io_std* io = pfi != nullptr ? pfi->sdf : nullptr;
  var_info* v = find_omname(io, want);
  if (v == nullptr) {
    omprntf(0, "Couldn't find variable %s in SDF file.\n", want.c_str());
    return 2;
  }
  int ddf = io->ddf_undef;
  float undef = var_undef(v, pfi, ddf);
  pgr->undef = undef;
  size_t total = static_cast<size_t>(pgr->isiz > 0 ? pgr->isiz : 1) *
                 static_cast<size_t>(pgr->jsiz > 0 ? pgr->jsiz : 1);
  auto fill = [&]() {
    for (size_t i = 0; i < total; i++) gr[i] = undef;
  };

  unpacker up;
  int rc = make_unpacker(v, pfi, ddf, undef, &up);
  if (rc != 0) {
    fill();
    return rc;
  }

  dimplan plan[4];
  if (!plan_request(pfi, v, pgr, plan)) {
    fill();
    return 0;  // the request lies outside the file: all undefined
  }
  // Every point of the request is read unless a range was clipped or the
  // steps may come from member files that cannot be opened.
  bool covered = !pfi->tmplat;
  for (int d = 0; d < 4 && covered; d++) {
    const dimplan& pl = plan[d];
    if (!pl.varying || pl.wrap) continue;
    covered = pl.present ? (pl.lo == pgr->dimmin[d] && pl.hi == pgr->dimmax[d])
                         : (pgr->dimmin[d] == 1 && pgr->dimmax[d] == 1);
  }
  if (!covered) fill();
  if (!plan[0].varying && plan[0].present && plan[0].wrap) {
    // A fixed longitude beyond the edge: the one column round the globe.
    long k = plan[0].coord(plan[0].lo);
    plan[0].wrap = false;
    plan[0].start = static_cast<size_t>(k);
    plan[0].count = 1;
    plan[0].fixed = 0;
  }

  // Time steps grouped by member file (one group when not a template).
  dimplan& tp = plan[3];
  std::vector<float>& vals = unpacked();
  int tlo = tp.present ? tp.lo : 1, thi = tp.present ? tp.hi : 1;
  int t = tlo;
  while (t <= thi) {
    int gfirst = t, glast = t;
    long fileidx = t;  // 1-based index of step t in its file
    if (tp.present && pfi->tmplat) {
      var_info* nv = nullptr;
      int k = omopsdf(t, pgr, &nv);
      if (k == -99999) {
        omprnt(0, "Bad time index in SDF file.\n");
        return 1;
      }
      int m = static_cast<size_t>(t - 1) < pfi->fnums.size() ? pfi->fnums[static_cast<size_t>(t - 1)] : t;
      while (glast + 1 <= thi && pfi->fnums[static_cast<size_t>(glast)] == m) glast++;
      if (k == -88888) {
        t = glast + 1;
        continue;  // this member cannot be used: its steps stay undefined
      }
      if (nv != nullptr) v = nv;
      io = pfi->sdf;
      fileidx = k;
      rc = make_unpacker(v, pfi, io->ddf_undef, undef, &up);
      if (rc != 0) return rc;
    } else {
      glast = thi;
      if (pfi->tmplat && io->ncid == -1) {
        // No member is open (the last switch failed); a variable without
        // time is read from the member of the time asked for.
        int tt = pgr->dimmin[3] < 1 ? 1 : (pgr->dimmin[3] > pfi->dnum[3] ? pfi->dnum[3] : pgr->dimmin[3]);
        var_info* nv = nullptr;
        int k = omopsdf(tt, pgr, &nv);
        if (k < 0) {
          fill();
          return k == -99999 ? 1 : 0;
        }
        if (nv != nullptr) v = nv;
        io = pfi->sdf;
        rc = make_unpacker(v, pfi, io->ddf_undef, undef, &up);
        if (rc != 0) return rc;
      }
    }
    // A file may hold fewer steps than the data set gives it (a member or
    // a file still being written, a descriptor declaring the whole run):
    // the steps it lacks stay undefined instead of failing the request.
    if (tp.present) {
      const long have = steps_held(v, io);
      if (have >= 0 && fileidx + (glast - gfirst) > have) {
        if (covered) {
          fill();
          covered = false;
        }
        if (fileidx > have) {
          t = glast + 1;
          continue;
        }
        glast = gfirst + static_cast<int>(have - fileidx);
      }
    }
    // Hyperslab over the variable's dimensions.
    const size_t nd = static_cast<size_t>(v->ndims);
    std::vector<size_t> start, count;
    slab_of(v, plan, fileidx, glast - gfirst + 1, &start, &count);
    size_t n = 1;
    bool huge = false;
    for (size_t c : count) huge = __builtin_mul_overflow(n, c, &n) || huge;
    const size_t esize = static_cast<size_t>(type_size(v->nctype));
    // The slab must fit what a grid may take: a length from a damaged file
    // is refused before anything is made for it.
    const bool readable = !huge && esize != 0 && v->nctype != SDF_CHAR && n <= omgcap() / esize;
    // Strides of the hyperslab, and the offset of each grid index.
    std::vector<size_t> stride(nd, 1);
    for (size_t k = nd; k-- > 1;) stride[k - 1] = stride[k] * count[k];
    auto offset_of = [&](int d, int g) -> long {
      int pos = v->tzyx_pos[3 - d];
      if (d == 3) {
        if (tp.present && (g < gfirst || g > glast)) return -1;
        if (!tp.present) return (!tp.varying || g == 1) ? 0 : -1;
        return static_cast<long>(g - gfirst) * static_cast<long>(stride[static_cast<size_t>(pos)]);
      }
      long c = plan[d].coord(g);
      if (c < 0) return -1;
      return pos < 0 ? 0 : c * static_cast<long>(stride[static_cast<size_t>(pos)]);
    };
    int isz = pgr->isiz > 0 ? pgr->isiz : 1, jsz = pgr->jsiz > 0 ? pgr->jsiz : 1;
    std::vector<long> ioff(static_cast<size_t>(isz), 0), joff(static_cast<size_t>(jsz), 0);
    long base = 0;
    for (int d = 0; d < 4; d++) {
      if (d == pgr->idim || d == pgr->jdim) continue;
      long o = offset_of(d, pgr->dimmin[d]);
      if (o < 0) {
        base = -1;
        break;
      }
      base += o;
    }
    bool contiguous = base >= 0;
    if (base >= 0) {
      for (int i = 0; i < isz; i++)
        ioff[static_cast<size_t>(i)] = pgr->idim >= 0 ? offset_of(pgr->idim, pgr->dimmin[pgr->idim] + i) : 0;
      for (int j = 0; j < jsz; j++)
        joff[static_cast<size_t>(j)] = pgr->jdim >= 0 ? offset_of(pgr->jdim, pgr->dimmin[pgr->jdim] + j) : 0;
      for (int i = 0; i < isz && contiguous; i++)
        contiguous = ioff[0] >= 0 && ioff[static_cast<size_t>(i)] == ioff[0] + i;
    }
    // A float slab that is the grid itself, rows in order or turned round,
    // is made into grid values as it comes, without a copy of its own.
    const int order = v->nctype == SDF_FLOAT && contiguous && !huge && n == total
                          ? row_order(joff, base + ioff[0], isz)
                          : 0;
    const unsigned char* raw = nullptr;
    // A float slab that lies as one run of a file the program reads itself
    // is unpacked where it lies in the file's map.
    filedslab filed;
    const bool ok = order != 0 ? read_rows_unpacked(pfi, io->ncid, v->varid, start, count, gr, isz, jsz, order, up)
                               : readable && (raw = read_slab_filed(pfi, io->ncid, v->varid, start, count, n * esize,
                                                                    v->nctype == SDF_FLOAT && base >= 0, &filed)) !=
                                                 nullptr;
    if (!ok) {
      if (covered || order != 0) fill();  // a read straight into the grid may stop halfway
      omprnt(0, pfi->tmplat ? "Failure reading SDF data.  #3\n" : "Failure reading SDF data.  #1\n");
      return 3;
    }
    char said[sizeof(gridplace::said)];
    say_block(said, sizeof said, plan, gfirst - tlo, glast - gfirst + 1);
    omerrf("%s", said);
    if (order != 0) {
      t = glast + 1;
      continue;
    }
    if (base < 0 && covered) fill();
    if (base >= 0) {
      // Columns that lie side by side in the file (the whole row, or the
      // pieces of a row taken round the globe) are unpacked straight into
      // the grid; anything more scattered goes through one unpacked copy.
      const std::vector<colrun> runs = column_runs(ioff);
      const bool byrun = runs.size() <= 1 + runs_per_row_max(isz);
      if (!byrun) {
        try {
          vals.resize(n);
        } catch (const std::bad_alloc&) {
          if (filed.m != nullptr) pfi->fmap.done(filed.m, static_cast<int64_t>(n * esize));
          if (covered) fill();
          omprnt(0, "Memory allocation error handling SDF grid request(1).\n");
          return 13;
        }
      }
      // The values at offset at (in values) of the slab, len of them, into out.
      auto put = [&](size_t at, size_t len, float* out) {
        if (filed.m != nullptr)
          unpack_filed(raw + at * sizeof(float), filed.swap, out, len, up);
        else
          unpack(raw + at * esize, len, up, out);
      };
      auto lay = [&] {
        if (!byrun) put(0, n, vals.data());
        for (int j = 0; j < jsz; j++) {
          long jo = joff[static_cast<size_t>(j)];
          if (jo < 0) continue;
          float* row = gr + static_cast<size_t>(j) * static_cast<size_t>(isz);
          if (byrun) {
            for (const colrun& r : runs) put(static_cast<size_t>(base + jo + r.src), r.len, row + r.dst);
            continue;
          }
          const float* src = vals.data() + base + jo;
          for (int i = 0; i < isz; i++) {
            long io_ = ioff[static_cast<size_t>(i)];
            if (io_ >= 0) row[i] = src[io_];
          }
        }
      };
      if (filed.m == nullptr) {
        lay();
      } else {
        // The file cut as its bytes are read is a failed read.
        const bool whole = mapread(lay);
        pfi->fmap.done(filed.m, static_cast<int64_t>(n * esize));
        if (!whole) {
          fill();
          omprnt(0, pfi->tmplat ? "Failure reading SDF data.  #3\n" : "Failure reading SDF data.  #1\n");
          return 3;
        }
      }
    }
    t = glast + 1;
  }
  return 0;
}

bool omgsdfplace(const gridres* pgr, gridplace* at) {
  datafile* pfi = pgr->pfi;
  io_std* io = pfi != nullptr ? pfi->sdf : nullptr;
  // A template's member is opened by the read of a step it holds.
  if (io == nullptr || pfi->tmplat || pgr->pvar == nullptr || pgr->idim != 0 || pgr->jdim != 1) return false;
  const var_info* v = find_omname(io, pgr->pvar->abbrv);
  if (v == nullptr || v->nctype != SDF_FLOAT) return false;
  const float undef = var_undef(v, pfi, io->ddf_undef);
  unpacker up;
  if (make_unpacker(v, pfi, io->ddf_undef, undef, &up, true) != 0 || up.fpacked) return false;
  const float m1 = static_cast<float>(up.m1), m2 = up.has_m2 ? static_cast<float>(up.m2) : m1;
  float lo = 0, hi = 0;
  if (!float_marker_band(m1, m2, &lo, &hi)) return false;
  // Every point of the request lies in the file, its rows in the file's
  // order, one after another.
  dimplan plan[4];
  if (!plan_request(pfi, v, pgr, plan)) return false;
  for (int d = 0; d < 2; d++) {
    const dimplan& p = plan[d];
    if (!p.present || p.wrap || p.rev || p.lo != pgr->dimmin[d] || p.hi != pgr->dimmax[d]) return false;
  }
  if (v->tzyx_pos[2] >= v->tzyx_pos[3]) return false;
  const dimplan& tp = plan[3];
  const long fileidx = tp.present ? tp.lo : 1;
  if (tp.present && steps_held(v, io) < fileidx) return false;
  std::vector<size_t> start, count;
  slab_of(v, plan, fileidx, 1, &start, &count);
  const size_t n = plan[0].count * plan[1].count;
  slabplace place;
  if (!netcdf_slab_place(io->ncid, v->varid, start, count, n * sizeof(float), &place) ||
      place.offset > static_cast<uint64_t>(INT64_MAX))
    return false;
  at->fd = place.fd;
  at->offset = static_cast<int64_t>(place.offset);
  at->swap = place.swap && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  at->lo = lo;
  at->hi = hi;
  at->undef = undef;
  at->lost = "Failure reading SDF data.  #1\n";
  say_block(at->said, sizeof at->said, plan, 0, 1);
  return true;
}
