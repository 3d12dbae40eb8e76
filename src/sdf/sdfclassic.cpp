#include "sdf/sdfclassic.h"

#include <fcntl.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "base/vecclone.h"
#include "sdf/sdfint.h"

namespace {

enum : uint32_t { TAG_DIM = 10, TAG_VAR = 11, TAG_ATT = 12 };

// A cursor over the header's bytes: every read is checked against the end.
struct cursor {
  const unsigned char* p;
  size_t left;
  bool ok = true;
  uint64_t word(int bytes) {
    if (!ok || left < static_cast<size_t>(bytes)) {
      ok = false;
      return 0;
    }
    uint64_t v = 0;
    for (int k = 0; k < bytes; k++) v = v << 8 | p[k];
    p += bytes;
    left -= static_cast<size_t>(bytes);
    return v;
  }
  void skip(uint64_t n) {
    if (!ok || n > left) {
      ok = false;
      return;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
};

// Bytes per value of a type number from the file (netCDF's numbers are
// the subsystem's own), 0 for any other number.
int type_bytes(uint64_t t) { return t <= SDF_UINT64 ? type_size(static_cast<int>(t)) : 0; }

// Sizes of counts and offsets: 8 bytes in the 64-bit data format.
struct widths {
  int count, offset;
};

void skip_name(cursor& c, widths w) {
  const uint64_t len = c.word(w.count);
  c.skip(len > c.left ? len : (len + 3) / 4 * 4);  // a length near 2^64 would wrap to 0 in the rounding
}

// A list's tag and element count; an absent list is two zeros.
uint64_t list_head(cursor& c, widths w, uint32_t tag) {
  const uint64_t t = c.word(4);
  const uint64_t n = c.word(w.count);
  if (t != tag && !(t == 0 && n == 0)) c.ok = false;
  return n;
}

void skip_atts(cursor& c, widths w) {
  const uint64_t n = list_head(c, w, TAG_ATT);
  for (uint64_t k = 0; k < n && c.ok; k++) {
    skip_name(c, w);
    const int size = type_bytes(c.word(4));
    const uint64_t m = c.word(w.count);
    if (size == 0 || m > c.left) {
      c.ok = false;
      return;
    }
    c.skip((m * static_cast<uint64_t>(size) + 3) / 4 * 4);
  }
}

// a * b, false when it does not fit.
bool mul(uint64_t a, uint64_t b, uint64_t* r) { return !__builtin_mul_overflow(a, b, r); }

}  // namespace

bool classic_parse(const unsigned char* h, size_t n, classic_layout* out) {
  cursor c{h, n};
  if (n < 4 || std::memcmp(h, "CDF", 3) != 0) return false;
  const int version = h[3];
  if (version != 1 && version != 2 && version != 5) return false;
  c.skip(4);
  const widths w{version == 5 ? 8 : 4, version == 1 ? 4 : 8};
  const uint64_t numrecs = c.word(w.count);
  // A file still being written by a streaming writer gives no count.
  if (!c.ok || numrecs == (version == 5 ? ~uint64_t{0} : 0xffffffffu)) return false;
  std::vector<uint64_t> dims;
  int recdim = -1;
  const uint64_t ndims = list_head(c, w, TAG_DIM);
  for (uint64_t k = 0; k < ndims && c.ok; k++) {
    if (k > c.left) return false;
    skip_name(c, w);
    uint64_t len = c.word(w.count);
    if (len == 0) {
      if (recdim >= 0) return false;
      recdim = static_cast<int>(k);
      len = numrecs;
    }
    dims.push_back(len);
  }
  skip_atts(c, w);
  const uint64_t nvars = list_head(c, w, TAG_VAR);
  classic_layout l;
  // As the library lays records out: each record variable's part padded to
  // a whole number of words, except when it is the only part of a record.
  uint64_t first_bytes = 0, first_padded = 0;
  bool have_first = false;
  for (uint64_t k = 0; k < nvars && c.ok; k++) {
    if (k > c.left) return false;
    classic_var v;
    skip_name(c, w);
    const uint64_t nd = c.word(w.count);
    if (!c.ok || nd > c.left) return false;
    for (uint64_t d = 0; d < nd; d++) {
      const uint64_t id = c.word(w.count);
      if (!c.ok || id >= dims.size()) return false;
      if (static_cast<int>(id) == recdim && d != 0) return false;
      v.record = v.record || static_cast<int>(id) == recdim;
      v.shape.push_back(dims[id]);
    }
    skip_atts(c, w);
    v.type = static_cast<int>(c.word(4));
    c.word(w.count);  // vsize: may be clipped in large files, so worked out below
    v.begin = c.word(w.offset);
    const int size = type_bytes(static_cast<uint64_t>(v.type));
    if (!c.ok || size == 0) return false;
    if (v.record) {
      uint64_t bytes = static_cast<uint64_t>(size);
      for (size_t d = 1; d < v.shape.size(); d++)
        if (!mul(bytes, v.shape[d], &bytes)) return false;
      const uint64_t padded = bytes + (4 - bytes % 4) % 4;
      if (padded < bytes || __builtin_add_overflow(l.recsize, padded, &l.recsize)) return false;
      if (!have_first) {
        have_first = true;
        first_bytes = bytes;
        first_padded = padded;
      }
    }
    l.vars.push_back(std::move(v));
  }
  if (!c.ok) return false;
  if (have_first && l.recsize == first_padded) l.recsize = first_bytes;
  *out = std::move(l);
  return true;
}

bool classic_run(const classic_layout& l, const classic_var& v, const std::vector<size_t>& start,
                 const std::vector<size_t>& count, uint64_t* offset, uint64_t* n) {
  const size_t nd = v.shape.size();
  if (start.size() != nd || count.size() != nd || type_bytes(static_cast<uint64_t>(v.type)) != 4) return false;
  uint64_t total = 1, index = 0, stride = 1;
  bool whole = true;  // every dimension after this one is taken whole
  const size_t first = v.record ? 1 : 0;
  for (size_t d = nd; d-- > first;) {
    if (count[d] == 0 || start[d] > v.shape[d] || count[d] > v.shape[d] - start[d]) return false;
    if (!whole && count[d] != 1) return false;
    if (!mul(total, count[d], &total)) return false;
    uint64_t at = 0;
    if (!mul(start[d], stride, &at) || __builtin_add_overflow(index, at, &index)) return false;
    whole = whole && start[d] == 0 && count[d] == v.shape[d];
    if (!mul(stride, v.shape[d], &stride)) return false;
  }
  uint64_t pos = 0;
  if (!mul(index, 4, &pos) || __builtin_add_overflow(pos, v.begin, &pos)) return false;
  if (v.record) {
    if (count[0] != 1 || start[0] >= v.shape[0]) return false;
    uint64_t rec = 0;
    if (!mul(start[0], l.recsize, &rec) || __builtin_add_overflow(pos, rec, &pos)) return false;
  }
  // A run ending past the last byte a file can have is no run of the file.
  uint64_t bytes = 0, end = 0;
  if (!mul(total, 4, &bytes) || __builtin_add_overflow(pos, bytes, &end)) return false;
  *offset = pos;
  *n = total;
  return true;
}

bool classic_holds(const classic_layout& l, const classic_var& v, const std::vector<size_t>& start,
                   const std::vector<size_t>& count, uint64_t filesize) {
  const size_t nd = v.shape.size();
  const int size = type_bytes(static_cast<uint64_t>(v.type));
  if (start.size() != nd || count.size() != nd || size == 0) return true;  // the library's to refuse
  // The byte after the slab's last value.
  uint64_t index = 0, stride = 1;
  const size_t first = v.record ? 1 : 0;
  for (size_t d = 0; d < nd; d++) {
    if (count[d] == 0 || count[d] - 1 > SIZE_MAX - start[d]) return true;  // empty, or ending past 2^64
    if (d >= first && (start[d] > v.shape[d] || count[d] > v.shape[d] - start[d])) return true;
  }
  for (size_t d = nd; d-- > first;) {
    uint64_t at = 0;
    if (!mul(start[d] + count[d] - 1, stride, &at) || __builtin_add_overflow(index, at, &index)) return false;
    if (!mul(stride, v.shape[d], &stride)) return false;
  }
  uint64_t end = 0;
  if (!mul(index + 1, static_cast<uint64_t>(size), &end) || __builtin_add_overflow(end, v.begin, &end))
    return false;
  if (v.record) {
    uint64_t rec = 0;
    if (!mul(start[0] + count[0] - 1, l.recsize, &rec) || __builtin_add_overflow(end, rec, &end)) return false;
  }
  return end <= filesize;
}

OM_VECTOR_CLONES void swap_words(const void* src, void* dst, size_t n) {
  const unsigned char* s = static_cast<const unsigned char*>(src);
  unsigned char* d = static_cast<unsigned char*>(dst);
  for (size_t i = 0; i < n; i++) {
    uint32_t x;
    std::memcpy(&x, s + 4 * i, 4);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    x = __builtin_bswap32(x);
#endif
    std::memcpy(d + 4 * i, &x, 4);
  }
}

namespace {

// The header of the file at fd, up to the first variable's data; empty
// when it cannot be read.
std::vector<unsigned char> read_header(int fd, size_t most) {
  std::vector<unsigned char> h(most);
  size_t got = 0;
  while (got < most) {
    const ssize_t r = pread(fd, h.data() + got, most - got, static_cast<off_t>(got));
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  h.resize(got);
  return h;
}

// Parses the header of the file at fd (size bytes), reading more of the
// file while the header runs past what was read.  Headers are small: one
// larger than 16 MiB is left to the library.
bool parse_file(int fd, size_t size, classic_layout* l) {
  const size_t cap = size_t{1} << 24;
  for (size_t want = 65536;; want *= 2) {
    const size_t most = std::min(want, std::min(size, cap));
    const std::vector<unsigned char> h = read_header(fd, most);
    if (classic_parse(h.data(), h.size(), l)) return true;
    if (most == size || most == cap || h.size() < most) return false;
  }
}

// Whether the library sees the same dimensions and variables.
bool agrees(const classic_layout& l, int ncid) {
  int nvars = 0;
  if (nc_inq_nvars(ncid, &nvars) != NC_NOERR || static_cast<size_t>(nvars) != l.vars.size()) return false;
  for (int k = 0; k < nvars; k++) {
    const classic_var& v = l.vars[static_cast<size_t>(k)];
    nc_type t;
    int nd = 0;
    int dimids[NC_MAX_VAR_DIMS];
    if (nc_inq_varndims(ncid, k, &nd) != NC_NOERR || nd < 0 || nd > NC_MAX_VAR_DIMS ||
        static_cast<size_t>(nd) != v.shape.size())
      return false;
    if (nc_inq_var(ncid, k, nullptr, &t, &nd, dimids, nullptr) != NC_NOERR || t != v.type) return false;
    for (int d = 0; d < nd; d++) {
      size_t len = 0;
      if (nc_inq_dimlen(ncid, dimids[d], &len) != NC_NOERR || len != v.shape[static_cast<size_t>(d)])
        return false;
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<classic_file> classic_file::open(const char* name, int ncid) {
  int format = 0;
  if (nc_inq_format(ncid, &format) != NC_NOERR ||
      (format != NC_FORMAT_CLASSIC && format != NC_FORMAT_64BIT_OFFSET && format != NC_FORMAT_64BIT_DATA))
    return nullptr;
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  classic_layout l;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  if (!parse_file(fd, static_cast<size_t>(st.st_size), &l) || !agrees(l, ncid)) {
    close(fd);
    return nullptr;
  }
  return std::shared_ptr<classic_file>(new classic_file(fd, std::move(l)));
}

classic_file::~classic_file() { close(fd_); }

bool classic_file::holds(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count) const {
  if (varid < 0 || static_cast<size_t>(varid) >= layout_.vars.size()) return true;
  struct stat st;
  if (fstat(fd_, &st) != 0) return false;
  return classic_holds(layout_, layout_.vars[static_cast<size_t>(varid)], start, count,
                       static_cast<uint64_t>(st.st_size));
}

bool classic_file::read_floats(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                               void* buf, size_t nbytes) const {
  if (varid < 0 || static_cast<size_t>(varid) >= layout_.vars.size()) return false;
  const classic_var& v = layout_.vars[static_cast<size_t>(varid)];
  uint64_t pos = 0, n = 0;
  if (v.type != NC_FLOAT || !classic_run(layout_, v, start, count, &pos, &n)) return false;
  if (n > nbytes / 4 || pos > static_cast<uint64_t>(INT64_MAX) - n * 4) return false;
  unsigned char* p = static_cast<unsigned char*>(buf);
  const size_t want = static_cast<size_t>(n) * 4;
  size_t got = 0;
  while (got < want) {
    const ssize_t r = pread(fd_, p + got, want - got, static_cast<off_t>(pos + got));
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  swap_words(p, p, static_cast<size_t>(n));
  return true;
}
