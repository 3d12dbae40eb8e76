#include "sdf/sdfclassic.h"

#include <fcntl.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <utility>

#include "base/useropen.h"
#include "base/vecclone.h"
#include "sdf/sdfint.h"

namespace {

enum : uint32_t { TAG_DIM = 10, TAG_VAR = 11, TAG_ATT = 12 };

// Where the header's bytes come from: a buffer, or a file read a window
// at a time, so that a header is followed to its end whatever it skips.
class bytesource {
 public:
  bytesource(const unsigned char* h, size_t n) : size_(n), mem_(h) {}
  bytesource(int fd, uint64_t size) : size_(size), fd_(fd) {}
  uint64_t size() const { return size_; }
  // The n (at most 8) bytes from off, which end within size(); nullptr
  // when they cannot be read.
  const unsigned char* at(uint64_t off, size_t n) {
    if (mem_ != nullptr) return mem_ + off;
    if (off < from_ || off + n > from_ + len_) {
      // Not zeroed first: every byte of a window is read into it.
      if (!buf_) buf_.reset(new unsigned char[kWindow]);
      len_ = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kWindow, size_ - off));
      while (len_ < want) {
        const ssize_t r = pread(fd_, buf_.get() + len_, want - len_, static_cast<off_t>(off + len_));
        if (r <= 0) {
          len_ = 0;
          return nullptr;
        }
        len_ += static_cast<size_t>(r);
      }
      from_ = off;
    }
    return buf_.get() + (off - from_);
  }

 private:
  static constexpr uint64_t kWindow = 65536;
  uint64_t size_;
  const unsigned char* mem_ = nullptr;
  int fd_ = -1;
  uint64_t from_ = 0;
  size_t len_ = 0;  // bytes of the window read, from from_
  std::unique_ptr<unsigned char[]> buf_;
};

// A cursor over the header's bytes: every read and skip is checked
// against the end of the file.  A claim that runs past it (a name, a list
// or values longer than the bytes left), a name longer than the library's
// longest, or any other claim the format does not allow is one the
// library may act on, allocating for it, before it refuses the file: the
// header is refused at the first (beyond), whatever comes after.
struct cursor {
  bytesource& src;
  uint64_t pos = 0;
  bool ok = true;
  bool beyond = false;
  uint64_t left() const { return src.size() - pos; }
  void refuse() {
    ok = false;
    beyond = true;
  }
  uint64_t word(int bytes) {
    if (!ok) return 0;
    if (left() < static_cast<uint64_t>(bytes)) {
      refuse();
      return 0;
    }
    const unsigned char* p = src.at(pos, static_cast<size_t>(bytes));
    if (p == nullptr) {
      ok = false;
      return 0;
    }
    uint64_t v = 0;
    for (int k = 0; k < bytes; k++) v = v << 8 | p[k];
    pos += static_cast<uint64_t>(bytes);
    return v;
  }
  void skip(uint64_t n) {
    if (!ok) return;
    if (n > left()) {
      refuse();
      return;
    }
    pos += n;
  }
  // A count of entries each at least some bytes long.
  uint64_t count(int bytes, int entry) {
    const uint64_t n = word(bytes);
    if (ok && n > left() / static_cast<uint64_t>(entry)) refuse();
    return ok ? n : 0;
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
  if (c.ok && len > NC_MAX_NAME) c.refuse();
  c.skip((len + 3) / 4 * 4);
}

// A list's tag and element count; an absent list is two zeros, but the
// library takes any list of no elements whatever its tag.  Each element
// takes at least entry bytes.
uint64_t list_head(cursor& c, widths w, uint32_t tag, int entry) {
  const uint64_t t = c.word(4);
  const uint64_t n = c.count(w.count, entry);
  if (c.ok && t != tag && n != 0) c.refuse();
  return n;
}

void skip_atts(cursor& c, widths w) {
  const uint64_t n = list_head(c, w, TAG_ATT, w.count + 4 + w.count);
  for (uint64_t k = 0; k < n && c.ok; k++) {
    skip_name(c, w);
    const int size = type_bytes(c.word(4));
    if (c.ok && size == 0) c.refuse();  // a type the format does not have
    const uint64_t m = c.count(w.count, size > 0 ? size : 1);
    c.skip((m * static_cast<uint64_t>(size) + 3) / 4 * 4);
  }
}

// a * b, false when it does not fit.
bool mul(uint64_t a, uint64_t b, uint64_t* r) { return !__builtin_mul_overflow(a, b, r); }

// The header from src: its verdict, and the layout in *out where it is
// fine and one that the direct reads understand (*usable).
classic_header parse(bytesource& src, classic_layout* out, bool* usable) {
  *usable = false;
  cursor c{src};
  if (src.size() < 4) return classic_header::other;
  const unsigned char* magic = src.at(0, 4);
  if (magic == nullptr || std::memcmp(magic, "CDF", 3) != 0) return classic_header::other;
  const int version = magic[3];
  if (version != 1 && version != 2 && version != 5) return classic_header::other;
  c.skip(4);
  const widths w{version == 5 ? 8 : 4, version == 1 ? 4 : 8};
  const uint64_t numrecs = c.word(w.count);
  // A file still being written by a streaming writer gives no count.
  bool fits = numrecs != (version == 5 ? ~uint64_t{0} : 0xffffffffu);
  std::vector<uint64_t> dims;
  int recdim = -1;
  const uint64_t ndims = list_head(c, w, TAG_DIM, 2 * w.count);
  for (uint64_t k = 0; k < ndims && c.ok; k++) {
    skip_name(c, w);
    uint64_t len = c.word(w.count);
    if (len == 0) {
      fits = fits && recdim < 0;
      recdim = static_cast<int>(k);
      len = numrecs;
    }
    dims.push_back(len);
  }
  skip_atts(c, w);
  const uint64_t nvars = list_head(c, w, TAG_VAR, 4 * w.count + 8 + w.offset);
  classic_layout l;
  // As the library lays records out: each record variable's part padded to
  // a whole number of words, except when it is the only part of a record.
  uint64_t first_bytes = 0, first_padded = 0;
  bool have_first = false;
  for (uint64_t k = 0; k < nvars && c.ok; k++) {
    classic_var v;
    skip_name(c, w);
    const uint64_t nd = c.count(w.count, w.count);
    for (uint64_t d = 0; d < nd && c.ok; d++) {
      const uint64_t id = c.word(w.count);
      if (c.ok && id >= dims.size()) c.refuse();  // a dimension the file does not have
      if (!c.ok) break;
      fits = fits && !(static_cast<int>(id) == recdim && d != 0);
      v.record = v.record || static_cast<int>(id) == recdim;
      v.shape.push_back(dims[id]);
    }
    skip_atts(c, w);
    v.type = static_cast<int>(c.word(4));
    c.word(w.count);  // vsize: may be clipped in large files, so worked out below
    v.begin = c.word(w.offset);
    const int size = type_bytes(static_cast<uint64_t>(v.type));
    fits = fits && size != 0;
    if (fits && v.record) {
      uint64_t bytes = static_cast<uint64_t>(size);
      for (size_t d = 1; d < v.shape.size(); d++) fits = fits && mul(bytes, v.shape[d], &bytes);
      const uint64_t padded = bytes + (4 - bytes % 4) % 4;
      fits = fits && padded >= bytes && !__builtin_add_overflow(l.recsize, padded, &l.recsize);
      if (!have_first) {
        have_first = true;
        first_bytes = bytes;
        first_padded = padded;
      }
    }
    if (fits) l.vars.push_back(std::move(v));
  }
  if (c.beyond) return classic_header::refused;
  if (!c.ok) return classic_header::other;
  if (fits && out != nullptr) {
    if (have_first && l.recsize == first_padded) l.recsize = first_bytes;
    *out = std::move(l);
  }
  *usable = fits;
  return classic_header::fine;
}

}  // namespace

classic_header classic_read(const unsigned char* h, size_t n, classic_layout* out) {
  bytesource src(h, n);
  bool usable = false;
  classic_layout l;
  const classic_header v = parse(src, &l, &usable);
  if (v == classic_header::fine && usable && out != nullptr) *out = std::move(l);
  return v == classic_header::fine && !usable ? classic_header::other : v;
}

bool classic_parse(const unsigned char* h, size_t n, classic_layout* out) {
  return classic_read(h, n, out) == classic_header::fine;
}

bool classic_run(const classic_layout& l, const classic_var& v, const std::vector<size_t>& start,
                 const std::vector<size_t>& count, uint64_t* offset, uint64_t* n) {
  const size_t nd = v.shape.size();
  const uint64_t size = static_cast<uint64_t>(type_bytes(static_cast<uint64_t>(v.type)));
  if (start.size() != nd || count.size() != nd || size == 0) return false;
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
  if (!mul(index, size, &pos) || __builtin_add_overflow(pos, v.begin, &pos)) return false;
  if (v.record) {
    if (count[0] != 1 || start[0] >= v.shape[0]) return false;
    uint64_t rec = 0;
    if (!mul(start[0], l.recsize, &rec) || __builtin_add_overflow(pos, rec, &pos)) return false;
  }
  // A run ending past the last byte a file can have is no run of the file.
  uint64_t bytes = 0, end = 0;
  if (!mul(total, size, &bytes) || __builtin_add_overflow(pos, bytes, &end)) return false;
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

// Big-endian values of 2 or 8 bytes (T) made host values in place.
template <class T>
OM_VECTOR_CLONES void swap_each(unsigned char* p, size_t n) {
  for (size_t i = 0; i < n; i++) {
    T x;
    std::memcpy(&x, p + sizeof x * i, sizeof x);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    x = sizeof x == 2 ? static_cast<T>(__builtin_bswap16(static_cast<uint16_t>(x))) : static_cast<T>(__builtin_bswap64(x));
#endif
    std::memcpy(p + sizeof x * i, &x, sizeof x);
  }
}

}  // namespace

namespace {

// Whether the description of the file (the library's) has the same
// variables as the header: each of its variables, by id, of the same
// type and shape.
bool agrees(const classic_layout& l, const io_std& io) {
  for (const var_info& v : io.varlist) {
    if (v.varid < 0 || static_cast<size_t>(v.varid) >= l.vars.size()) return false;
    const classic_var& c = l.vars[static_cast<size_t>(v.varid)];
    if (c.type != v.nctype || c.shape.size() != v.dimids.size()) return false;
    for (size_t d = 0; d < c.shape.size(); d++) {
      const int id = v.dimids[d];
      if (id < 0 || static_cast<size_t>(id) >= io.dimlens.size() || io.dimlens[static_cast<size_t>(id)] < 0 ||
          static_cast<uint64_t>(io.dimlens[static_cast<size_t>(id)]) != c.shape[d])
        return false;
    }
  }
  return true;
}

// A regular file opened for its header, by the opener of every data file:
// the descriptor, or -1.  Not blocking: a FIFO is no classic file, and is
// left to the library; nor is a terminal, which the look leaves nobody's.
int open_regular(const char* name, uint64_t* size) {
  const int fd = omopen(name, O_RDONLY | O_NONBLOCK, OMO_REGULAR);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return -1;
  }
  *size = static_cast<uint64_t>(st.st_size);
  return fd;
}

}  // namespace

classic_probe::classic_probe(const char* name) {
  // Closed again at once: the library's open may need the descriptor.
  uint64_t size = 0;
  const int fd = open_regular(name, &size);
  if (fd < 0) return;
  bytesource src(fd, size);
  const unsigned char* sig = size >= 4 ? src.at(0, 4) : nullptr;
  hdf4_ = sig != nullptr && std::memcmp(sig, kHdf4Signature, 4) == 0;
  bool usable = false;
  verdict_ = parse(src, nullptr, &usable);
  close(fd);
}

std::shared_ptr<classic_file> classic_file::open(const char* name, const io_std& io, int64_t* bytes) {
  uint64_t size = 0;
  const int fd = open_regular(name, &size);
  if (fd < 0) return nullptr;
  if (bytes != nullptr) *bytes = static_cast<int64_t>(size);
  bytesource src(fd, size);
  classic_layout l;
  bool usable = false;
  if (parse(src, &l, &usable) != classic_header::fine || !usable || !agrees(l, io)) {
    close(fd);
    return nullptr;
  }
  return std::shared_ptr<classic_file>(new classic_file(fd, std::move(l)));
}

classic_file::~classic_file() { close(fd_); }

bool classic_file::holds(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count) const {
  if (varid < 0 || static_cast<size_t>(varid) >= layout_.vars.size()) return true;
  // The size now: a file may be cut short after it was opened.
  struct stat st;
  if (fstat(fd_, &st) != 0) return false;
  return classic_holds(layout_, layout_.vars[static_cast<size_t>(varid)], start, count,
                       static_cast<uint64_t>(st.st_size));
}

bool classic_file::run_of(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count, size_t size,
                          size_t nbytes, uint64_t* offset) const {
  if (varid < 0 || static_cast<size_t>(varid) >= layout_.vars.size()) return false;
  const classic_var& v = layout_.vars[static_cast<size_t>(varid)];
  uint64_t n = 0;
  return type_bytes(static_cast<uint64_t>(v.type)) == static_cast<int>(size) &&
         classic_run(layout_, v, start, count, offset, &n) && n <= nbytes / size && n * size == nbytes &&
         *offset <= static_cast<uint64_t>(INT64_MAX) - nbytes;
}

int classic_file::read_values(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                              void* buf, size_t nbytes) const {
  if (varid < 0 || static_cast<size_t>(varid) >= layout_.vars.size()) return 0;
  const classic_var& v = layout_.vars[static_cast<size_t>(varid)];
  uint64_t pos = 0, n = 0;
  const uint64_t size = static_cast<uint64_t>(type_bytes(static_cast<uint64_t>(v.type)));
  if (!classic_run(layout_, v, start, count, &pos, &n)) return 0;
  if (n > nbytes / size || pos > static_cast<uint64_t>(INT64_MAX) - n * size) return 0;
  unsigned char* p = static_cast<unsigned char*>(buf);
  const size_t want = static_cast<size_t>(n * size);
  size_t got = 0;
  while (got < want) {
    const ssize_t r = pread(fd_, p + got, want - got, static_cast<off_t>(pos + got));
    // Cut since it was opened: the library would read the lost bytes as
    // zeros.
    if (r == 0) return -1;
    if (r < 0) return 0;
    got += static_cast<size_t>(r);
  }
  if (size == 2) swap_each<uint16_t>(p, static_cast<size_t>(n));
  if (size == 4) swap_words(p, p, static_cast<size_t>(n));
  if (size == 8) swap_each<uint64_t>(p, static_cast<size_t>(n));
  return 1;
}
