// GRIB edition 2 values: the packings (simple, complex with and without
// spatial differencing, IEEE, and the codec packings through g2codec), the
// bit map, and the placing of the points in the program's order.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <cfloat>
#include <cmath>
#include <new>
#include <vector>

#include "base/vecclone.h"
#include "data/bitfields.h"
#include "data/grib2.h"
#include "data/grib2int.h"

using namespace g2int;

namespace {

bool fail(std::string* why, const std::string& what) {
  if (why) *why = what;
  return false;
}

// Bits of n fields of b bits, padded to whole octets.
uint64_t padded(uint64_t n, int b) { return (n * static_cast<uint64_t>(b) + 7) / 8 * 8; }

// The packed values' scaling: Y = (R + X * 2^E) / 10^D, in double
// precision, the result made single precision.  Built without regard for
// floating-point traps (the program enables none), so that the loop runs
// as vector code.
struct scaling {
  double bsf = 1.0, ref = 0.0, dsf = 1.0;
};
scaling scaleof(const g2repr& r) {
  scaling s;
  s.bsf = std::ldexp(1.0, std::max(-1100, std::min(1100, r.bscale)));
  s.ref = r.ref;
  s.dsf = tenpow(r.dscale);
  return s;
}

OM_VECTOR_CLONES __attribute__((optimize("O3", "no-trapping-math"))) void scale(
    const uint32_t* __restrict v, int m, double b, double r, double d, float undef, float* __restrict out) {
  const double top = FLT_MAX;
  for (int i = 0; i < m; i++) {
    double x = (static_cast<double>(v[i]) * b + r) / d;
    out[i] = std::fabs(x) <= top ? static_cast<float>(x) : undef;
  }
}

// The same for values that all lie in single precision's range (see
// inrange) and fit 31 bits, with the values of 8 and 16 bits taken
// straight from their bytes: the same results, in fewer steps.
OM_VECTOR_CLONES __attribute__((optimize("O3", "no-trapping-math"))) void scalein(
    const uint32_t* __restrict v, int m, double b, double r, double d, float* __restrict out) {
  for (int i = 0; i < m; i++)
    out[i] = static_cast<float>((static_cast<double>(static_cast<int32_t>(v[i])) * b + r) / d);
}
OM_VECTOR_CLONES __attribute__((optimize("O3", "no-trapping-math"))) void scale16(
    const unsigned char* __restrict p, int m, double b, double r, double d, float* __restrict out) {
  for (int i = 0; i < m; i++)
    out[i] = static_cast<float>((static_cast<double>(p[2 * i] << 8 | p[2 * i + 1]) * b + r) / d);
}
OM_VECTOR_CLONES __attribute__((optimize("O3", "no-trapping-math"))) void scale8(
    const unsigned char* __restrict p, int m, double b, double r, double d, float* __restrict out) {
  for (int i = 0; i < m; i++) out[i] = static_cast<float>((static_cast<double>(p[i]) * b + r) / d);
}

// The value of every point of a field packed in 0 bits: the reference
// value as it stands, neither scale factor applied, as the producers write
// it (and ecCodes reads it).
float constant(const scaling& s) { return static_cast<float>(s.ref); }

// Whether every value of b bits scales to a number single precision
// holds: the scaling is monotonic, so its two ends tell.
bool inrange(const scaling& s, int b) {
  if (b > 31) return false;
  const double lo = s.ref / s.dsf, hi = (std::ldexp(1.0, b) * s.bsf + s.ref) / s.dsf;
  return std::fabs(lo) <= FLT_MAX && std::fabs(hi) <= FLT_MAX;
}

// The n simple-packed values of b bits from bit offset bit of data (bytes
// of it), scaled, into out.
void simple(const unsigned char* data, size_t bytes, long bit, int b, int n, const scaling& s, float undef,
            float* out) {
  if (b == 0) {
    std::fill(out, out + n, constant(s));
    return;
  }
  if (!inrange(s, b)) {
    bitfields::each_block(data, bytes, bit, b, n, [&](int k0, const uint32_t* v, int m) {
      scale(v, m, s.bsf, s.ref, s.dsf, undef, out + k0);
    });
  } else if ((b == 8 || b == 16) && bit % 8 == 0) {
    // fits() has seen that the section holds them.
    (b == 8 ? scale8 : scale16)(data + bit / 8, n, s.bsf, s.ref, s.dsf, out);
  } else {
    bitfields::each_block(data, bytes, bit, b, n, [&](int k0, const uint32_t* v, int m) {
      scalein(v, m, s.bsf, s.ref, s.dsf, out + k0);
    });
  }
}

// Complex packing: group references, widths and lengths, then each
// group's values; with spatial differencing the first values and the
// overall minimum come first.  Missing values (where the packing manages
// them) are undef.

// A packed integer that stands for a missing value.
constexpr int64_t kMiss = INT64_MIN;

// The integers scaled; kMiss, and integers of 51 bits or more (a damaged
// field's), undef.  An integer below 2^51 is made a double by adding its
// bits to those of 2^52 + 2^51 and taking that number off again, exactly,
// in steps the vector units have.
OM_VECTOR_CLONES __attribute__((optimize("O3", "no-trapping-math"))) void scale64(
    const int64_t* __restrict x, int64_t n, double b, double r, double d, float undef, float* __restrict out) {
  const double top = FLT_MAX, magic = 6755399441055744.0;
  const int64_t lim = int64_t{1} << 51;
  for (int64_t i = 0; i < n; i++) {
    const uint64_t bits = static_cast<uint64_t>(x[i]) + 0x4338000000000000u;
    double v;
    std::memcpy(&v, &bits, 8);
    const double y = ((v - magic) * b + r) / d;
    out[i] = x[i] > -lim && x[i] < lim && std::fabs(y) <= top ? static_cast<float>(y) : undef;
  }
}

// Undoes spatial differencing of the given order over the values present
// (kMiss skipped), the first ones given, the overall minimum added back.
void undiff(int64_t* x, int64_t n, int order, const int64_t first[2], int64_t minsd) {
  int64_t seen = 0, p1 = 0, p2 = 0, i = 0;
  for (; i < n && seen < order; i++) {
    if (x[i] == kMiss) continue;
    p2 = p1;
    p1 = x[i] = first[seen++];
  }
  if (order == 1) {
    for (; i < n; i++)
      if (x[i] != kMiss) p1 = x[i] += minsd + p1;
  } else {
    for (; i < n; i++) {
      if (x[i] == kMiss) continue;
      const int64_t y = x[i] + minsd + 2 * p1 - p2;
      p2 = p1;
      p1 = x[i] = y;
    }
  }
}

// The group descriptors, a block at a time.
struct groupcursor {
  const unsigned char* data;
  size_t bytes;
  const g2repr& r;
  uint64_t refbit, widbit, lenbit;
  uint32_t ref[bitfields::kBlock], wid[bitfields::kBlock], len[bitfields::kBlock];
  int fill(int64_t g0) {
    const int m = static_cast<int>(std::min<int64_t>(bitfields::kBlock, r.ngroups - g0));
    bitfields::take_fields(data, bytes, static_cast<long>(refbit + g0 * r.nbits), r.nbits, m, ref);
    bitfields::take_fields(data, bytes, static_cast<long>(widbit + g0 * r.gwidthbits), r.gwidthbits, m, wid);
    bitfields::take_fields(data, bytes, static_cast<long>(lenbit + g0 * r.glenbits), r.glenbits, m, len);
    return m;
  }
};

bool complexpack(const unsigned char* msg, const g2field& f, float* out, float undef, std::string* why) {
  const g2repr& r = f.repr;
  const unsigned char* data = msg + f.sec7 + 5;
  const size_t bytes = f.len7 - 5;
  const uint64_t nbits = 8 * static_cast<uint64_t>(bytes);
  const int64_t n = r.nvalues;
  const int64_t ng = r.ngroups;
  if (n == 0) return true;
  size_t extra = 0;
  int64_t first[2] = {0, 0}, minsd = 0;
  const bool diff = r.tmpl == 3 && r.sdorder > 0;
  if (diff) {
    extra = static_cast<size_t>(r.sdorder + 1) * r.sdbytes;
    for (int k = 0; k < r.sdorder; k++) first[k] = smn(data + k * r.sdbytes, r.sdbytes);
    minsd = smn(data + r.sdorder * r.sdbytes, r.sdbytes);
  }
  // fits() has seen that the descriptors lie in the section.
  groupcursor gc{data, bytes, r, 8 * extra, 0, 0, {}, {}, {}};
  gc.widbit = gc.refbit + padded(ng, r.nbits);
  gc.lenbit = gc.widbit + padded(ng, r.gwidthbits);
  uint64_t valbit = gc.lenbit + padded(ng, r.glenbits);
  std::unique_ptr<int64_t[]> xs(new (std::nothrow) int64_t[static_cast<size_t>(n)]);
  if (!xs) return fail(why, "no memory for the field's values");
  int64_t* x = xs.get();
  const int mm = r.missmgmt;
  const uint64_t allones = r.nbits >= 32 ? 0xffffffffu : (uint64_t{1} << r.nbits) - 1;
  int64_t k = 0;
  uint32_t v[bitfields::kBlock];
  for (int64_t g0 = 0; g0 < ng; g0 += bitfields::kBlock) {
    const int gm = gc.fill(g0);
    for (int gi = 0; gi < gm; gi++) {
      const int64_t gref = gc.ref[gi];
      const int w = r.gwidthref + static_cast<int>(gc.wid[gi]);
      const int64_t len = g0 + gi == ng - 1 ? static_cast<int64_t>(r.glenlast)
                                            : static_cast<int64_t>(r.glenref) + static_cast<int64_t>(gc.len[gi]) * r.glenincr;
      if (w > 32) return fail(why, "group of values " + std::to_string(w) + " bits wide");
      if (len > n - k) return fail(why, "groups hold more values than the field");
      if (valbit + static_cast<uint64_t>(len) * w > nbits) return fail(why, "group values pass the end of the data section");
      int64_t* xo = x + k;
      if (w == 0) {
        // A group wholly missing has a reference of all ones (or all ones
        // less one); references of 0 bits say nothing of it.
        const bool gone = (mm && r.nbits && static_cast<uint64_t>(gref) == allones) ||
                          (mm == 2 && r.nbits > 1 && static_cast<uint64_t>(gref) == allones - 1);
        std::fill(xo, xo + len, gone ? kMiss : gref);
      } else {
        const uint32_t top = w >= 32 ? 0xffffffffu : (uint32_t{1} << w) - 1;
        const uint32_t top2 = mm == 2 ? top - 1 : top;
        for (int64_t j0 = 0; j0 < len; j0 += bitfields::kBlock) {
          const int m = static_cast<int>(std::min<int64_t>(bitfields::kBlock, len - j0));
          bitfields::take_fields(data, bytes, static_cast<long>(valbit + static_cast<uint64_t>(j0) * w), w, m, v);
          int64_t* xb = xo + j0;
          if (!mm) {
            for (int j = 0; j < m; j++) xb[j] = gref + v[j];
          } else {
            for (int j = 0; j < m; j++) xb[j] = v[j] == top || v[j] == top2 ? kMiss : gref + v[j];
          }
        }
        valbit += static_cast<uint64_t>(len) * w;
      }
      k += len;
    }
  }
  if (k != n) return fail(why, "groups hold fewer values than the field");
  if (diff) undiff(x, n, r.sdorder, first, minsd);
  const scaling s = scaleof(r);
  scale64(x, n, s.bsf, s.ref, s.dsf, undef, out);
  return true;
}

bool ieee(const unsigned char* msg, const g2field& f, float* out, float undef) {
  const unsigned char* p = msg + f.sec7 + 5;
  const int64_t n = f.repr.nvalues;
  for (int64_t i = 0; i < n; i++) {
    double d = f.repr.precision == 1 ? ieee32(p + 4 * i) : ieee64(p + 8 * i);
    out[i] = std::fabs(d) <= FLT_MAX ? static_cast<float>(d) : undef;
  }
  return true;
}

bool codec(const unsigned char* msg, const g2field& f, float* out, float undef, std::string* why) {
  const g2repr& r = f.repr;
  const int64_t n = r.nvalues;
  const scaling s = scaleof(r);
  if (n == 0) return true;
  if (r.nbits == 0) {
    std::fill(out, out + n, constant(s));
    return true;
  }
  // The integers lie where the codec keeps them (in the session, in the
  // memory the helper process shares with the program).
  const uint32_t* x = g2codec(r.tmpl, msg + f.sec7 + 5, f.len7 - 5, r, static_cast<size_t>(n), why);
  if (!x) return false;
  const bool in = inrange(s, r.nbits);
  for (int64_t i0 = 0; i0 < n; i0 += bitfields::kBlock) {
    const int m = static_cast<int>(std::min<int64_t>(bitfields::kBlock, n - i0));
    if (in) scalein(x + i0, m, s.bsf, s.ref, s.dsf, out + i0);
    else scale(x + i0, m, s.bsf, s.ref, s.dsf, undef, out + i0);
  }
  return true;
}

// The packed values of f, nvalues of them, into v.
bool unpack(const unsigned char* msg, const g2field& f, float* v, float undef, std::string* why) {
  const g2repr& r = f.repr;
  switch (r.tmpl) {
    case 0:
      simple(msg + f.sec7 + 5, f.len7 - 5, 0, r.nbits, static_cast<int>(r.nvalues), scaleof(r), undef, v);
      return true;
    case 2: case 3: return complexpack(msg, f, v, undef, why);
    case 4: return ieee(msg, f, v, undef);
    default: return codec(msg, f, v, undef, why);
  }
}

// Where point k of the message's order (a regular ni x nj grid) goes in
// the program's order.
struct scanorder {
  int64_t ni, nj;
  int scan;
  int64_t to(int64_t k) const {
    int64_t i, j;
    if (scan & 0x20) {
      i = k / nj;
      j = k % nj;
      if ((scan & 0x10) && (i & 1)) j = nj - 1 - j;
    } else {
      j = k / ni;
      i = k % ni;
      if ((scan & 0x10) && (j & 1)) i = ni - 1 - i;
    }
    if (scan & 0x80) i = ni - 1 - i;
    if (!(scan & 0x40)) j = nj - 1 - j;
    return j * ni + i;
  }
};

// The points of the message (npts of them, in its order) from the values:
// with a bit map each value to the next point marked.
void spread(const unsigned char* bm, int64_t npts, const float* v, float undef, float* m) {
  int64_t k = 0;
  for (int64_t p = 0; p < npts; p++) m[p] = (bm[p >> 3] >> (7 - (p & 7))) & 1 ? v[k++] : undef;
}

// Row r of a reduced grid: its point count.
int64_t rowcount(const unsigned char* msg, const g2field& f, int r) {
  const unsigned char* q = msg + f.grid.nlistoff + static_cast<size_t>(r) * f.grid.nlistbytes;
  int64_t v = 0;
  for (int b = 0; b < f.grid.nlistbytes; b++) v = v << 8 | q[b];
  return v;
}

}  // namespace

namespace g2int {

bool reducedglobal(const g2grid& g, int64_t widest) {
  double span = g.lon2 - g.lon1;
  if (span < 0) span += 360.0;
  return widest > 0 && std::fabs(span + 360.0 / widest - 360.0) < 360.0 / widest / 2;
}

bool fits(const g2field& f, std::string* why) {
  const g2repr& r = f.repr;
  if (f.len7 < 5) return fail(why, "data section too short");
  const uint64_t bytes = f.len7 - 5;
  const uint64_t n = static_cast<uint64_t>(r.nvalues);
  switch (r.tmpl) {
    case 0:
      if (n * r.nbits > 8 * bytes) return fail(why, "data section shorter than its values");
      return true;
    case 4:
      if (n * (r.precision == 1 ? 4 : 8) > bytes) return fail(why, "data section shorter than its values");
      return true;
    case 2: case 3: {
      const uint64_t ng = static_cast<uint64_t>(r.ngroups);
      if (n == 0) return true;
      if (ng < 1 || ng > n) return fail(why, "field of " + std::to_string(n) + " values in " + std::to_string(ng) + " groups");
      const uint64_t extra = r.tmpl == 3 ? static_cast<uint64_t>(r.sdorder + 1) * r.sdbytes : 0;
      if (extra > bytes ||
          padded(ng, r.nbits) + padded(ng, r.gwidthbits) + padded(ng, r.glenbits) > 8 * (bytes - extra))
        return fail(why, "data section shorter than its groups");
      return true;
    }
    default:
      if (r.nbits > 0 && n > 0 && bytes < 1) return fail(why, "data section without data");
      return true;
  }
}

}  // namespace g2int

int64_t g2points(const g2field& f) { return static_cast<int64_t>(f.grid.ni) * f.grid.nj; }

namespace {

// Whether every offset of f lies in the len bytes of its message: a field
// record may come from elsewhere than g2scanmsg of these very bytes.
bool inmessage(const g2field& f, size_t len, std::string* why) {
  const g2grid& g = f.grid;
  auto within = [&](size_t off, uint64_t n) { return off <= len && n <= len - off; };
  if (!within(f.sec5, f.len5) || !within(f.sec7, f.len7) || f.len7 < 5 || f.len5 < 11 ||
      (f.bitmap != 255 && !within(f.bmoff, (static_cast<uint64_t>(g.npts) + 7) / 8)) ||
      (g.nrow && !within(g.nlistoff, static_cast<uint64_t>(g.nrow) * g.nlistbytes)) ||
      g.ni < 0 || g.nj < 0 || (!g.nrow && static_cast<int64_t>(g.ni) * g.nj != g.npts) ||
      (g.nrow && g.nrow != g.nj) || f.repr.nvalues > g.npts || f.repr.nvalues < 0 ||
      (f.bitmap == 255 && f.repr.nvalues != g.npts))
    return fail(why, "field does not lie in its message");
  return true;
}

// Expands the reduced grid's rows (m, in the message's order) to the full
// grid in the program's order, by linear interpolation along each row.
void expand(const unsigned char* msg, const g2field& f, const float* m, float undef, float* out) {
  const g2grid& g = f.grid;
  const int64_t wide = g.ni;
  const bool global = reducedglobal(g, wide);
  int64_t at = 0;
  for (int r = 0; r < g.nrow; r++) {
    const int64_t pl = rowcount(msg, f, r);
    const float* src = m + at;
    at += pl;
    const int64_t tj = g.scan & 0x40 ? r : g.nj - 1 - r;
    float* dst = out + tj * wide;
    for (int64_t i = 0; i < wide; i++) {
      float y = undef;
      if (pl == 1) {
        y = src[0];
      } else if (pl > 1) {
        // Where target point i falls among the row's points.
        const double pos = global ? static_cast<double>(i) * pl / wide
                                  : (wide > 1 ? static_cast<double>(i) * (pl - 1) / (wide - 1) : 0.0);
        int64_t i0 = static_cast<int64_t>(pos);
        if (i0 >= pl) i0 = pl - 1;
        const double w = pos - i0;
        const int64_t i1 = global ? (i0 + 1) % pl : std::min(i0 + 1, pl - 1);
        const float a = src[i0], b = src[i1];
        if (w == 0.0) y = a;
        else if (a != undef && b != undef) y = static_cast<float>(a + w * (b - a));
      }
      dst[i] = y;
    }
    if ((g.scan & 0x80) != ((g.scan & 0x10) && (r & 1) ? 0x80 : 0)) std::reverse(dst, dst + wide);
  }
}

}  // namespace

int g2decode(const unsigned char* msg, size_t len, const g2field& f, float* out, size_t nout, float undef,
             std::string* why) {
  std::string dummy;
  if (!why) why = &dummy;
  if (!inmessage(f, len, why) || !fits(f, why)) return 1;
  const g2grid& g = f.grid;
  const int64_t full = g2points(f);
  if (full < 1 || nout < static_cast<size_t>(full)) return fail(why, "no room for the field's grid"), 1;
  const g2repr& r = f.repr;
  const int64_t ni = g.ni, nj = g.nj;
  if (!g.nrow && f.bitmap == 255 && r.tmpl == 0 && !(g.scan & 0x30)) {
    // Simple packing of every point, rows of i: each row goes straight to
    // its place.
    const scaling s = scaleof(r);
    const unsigned char* data = msg + f.sec7 + 5;
    for (int64_t row = 0; row < nj; row++) {
      float* dst = out + (g.scan & 0x40 ? row : nj - 1 - row) * ni;
      simple(data, f.len7 - 5, static_cast<long>(row * ni * r.nbits), r.nbits, static_cast<int>(ni), s, undef, dst);
      if (g.scan & 0x80) std::reverse(dst, dst + ni);
    }
    return 0;
  }
  // The values, then the message's points, then the program's grid; each
  // step in place where its layout is already the next one's.
  const bool inorder = !g.nrow && (g.scan & 0xf0) == 0x40;
  std::vector<float> pts, vals;
  try {
    if (!inorder) pts.resize(static_cast<size_t>(g.npts));
    if (f.bitmap != 255) vals.resize(static_cast<size_t>(std::max<int64_t>(r.nvalues, 1)));
  } catch (const std::bad_alloc&) {
    return fail(why, "no memory for the field's values"), 1;
  }
  float* m = inorder ? out : pts.data();
  float* v = f.bitmap != 255 ? vals.data() : m;
  if (!unpack(msg, f, v, undef, why)) return 1;
  if (f.bitmap != 255) spread(msg + f.bmoff, g.npts, v, undef, m);
  if (g.nrow) {
    expand(msg, f, m, undef, out);
  } else if (!inorder) {
    const scanorder so{ni, nj, g.scan};
    for (int64_t k = 0; k < g.npts; k++) out[so.to(k)] = m[k];
  }
  return 0;
}
