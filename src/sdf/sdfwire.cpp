// A file's description as bytes, for the helper process that opens files
// to hand it to the program.  The reader trusts nothing it is given:
// every count and length is checked against the bytes that remain, so a
// helper that went wrong cannot make the program allocate or read beyond
// them.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sdf/sdfint.h"

namespace {

struct writer {
  std::string out;
  void u32(uint32_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void i32(int v) { u32(static_cast<uint32_t>(v)); }
  void i64(long v) {
    int64_t w = v;
    out.append(reinterpret_cast<const char*>(&w), sizeof w);
  }
  void bytes(const void* p, size_t n) {
    u32(static_cast<uint32_t>(n));
    out.append(static_cast<const char*>(p), n);
  }
  void text(const std::string& s) { bytes(s.data(), s.size()); }
  void atts(const std::vector<netcdf_att>& list) {
    u32(static_cast<uint32_t>(list.size()));
    for (const netcdf_att& a : list) {
      text(a.attname);
      i32(a.nctype);
      i32(a.count);
      bytes(a.values.data(), a.values.size());
    }
  }
};

struct reader {
  const char* p;
  size_t left;
  bool ok = true;
  bool take(void* dst, size_t n) {
    if (!ok || n > left) return ok = false;
    std::memcpy(dst, p, n);
    p += n;
    left -= n;
    return true;
  }
  uint32_t u32() {
    uint32_t v = 0;
    take(&v, sizeof v);
    return v;
  }
  int i32() { return static_cast<int>(u32()); }
  long i64() {
    int64_t v = 0;
    take(&v, sizeof v);
    return static_cast<long>(v);
  }
  // A count of items each at least min_bytes long: never more than remain.
  size_t count(size_t min_bytes) {
    size_t n = u32();
    if (n > left / min_bytes) ok = false;
    return ok ? n : 0;
  }
  std::string text() {
    size_t n = count(1);
    std::string s(n, '\0');
    if (n > 0) take(&s[0], n);
    return s;
  }
  std::vector<unsigned char> bytes() {
    size_t n = count(1);
    std::vector<unsigned char> b(n);
    if (n > 0) take(b.data(), n);
    return b;
  }
  void atts(std::vector<netcdf_att>* list) {
    size_t n = count(16);
    list->clear();
    for (size_t i = 0; i < n && ok; i++) {
      netcdf_att a;
      a.attname = text();
      a.nctype = i32();
      a.count = i32();
      a.values = bytes();
      // The value bytes must hold the count the attribute claims.
      int sz = type_size(a.nctype);
      if (a.count < 0 || (sz > 0 && a.values.size() < static_cast<size_t>(a.count) * static_cast<size_t>(sz)))
        ok = false;
      list->push_back(std::move(a));
    }
  }
};

}  // namespace

std::string pack_description(const io_std& io) {
  writer w;
  w.i32(io.dims_cut ? 1 : 0);
  w.i32(io.ndims);
  w.i32(io.recdim);
  for (int i = 0; i < io.ndims; i++) {
    w.text(io.dimnames[static_cast<size_t>(i)]);
    w.i64(io.dimlens[static_cast<size_t>(i)]);
  }
  w.atts(io.gatts);
  w.u32(static_cast<uint32_t>(io.varlist.size()));
  for (const var_info& v : io.varlist) {
    w.i32(v.varid);
    w.text(v.ncname);
    w.i32(v.nctype);
    w.u32(static_cast<uint32_t>(v.dimids.size()));
    for (int d : v.dimids) w.i32(d);
    w.atts(v.atts);
  }
  return w.out;
}

int unpack_description(const std::string& buf, io_std* io) {
  reader r{buf.data(), buf.size()};
  io->dims_cut = r.i32() != 0;
  int nd = r.i32();
  io->recdim = r.i32();
  if (nd < 0 || nd > SDF_MAX_DIMS) return 0;
  io->ndims = nd;
  io->dimids.assign(static_cast<size_t>(nd), -1);
  io->dimnames.assign(static_cast<size_t>(nd), std::string());
  io->dimlens.assign(static_cast<size_t>(nd), -1);
  for (int i = 0; i < nd && r.ok; i++) {
    io->dimids[static_cast<size_t>(i)] = i;
    io->dimnames[static_cast<size_t>(i)] = r.text();
    io->dimlens[static_cast<size_t>(i)] = r.i64();
    if (io->dimlens[static_cast<size_t>(i)] < 0) return 0;
  }
  r.atts(&io->gatts);
  io->ngatts = static_cast<int>(io->gatts.size());
  size_t nv = r.count(16);
  io->varlist.clear();
  for (size_t k = 0; k < nv && r.ok; k++) {
    var_info v;
    v.varid = r.i32();
    v.ncname = r.text();
    v.nctype = r.i32();
    size_t vd = r.count(4);
    for (size_t j = 0; j < vd && r.ok; j++) {
      int d = r.i32();
      if (d < 0 || d >= nd) return 0;
      v.dimids.push_back(d);
    }
    v.ndims = static_cast<int>(v.dimids.size());
    r.atts(&v.atts);
    v.natts = static_cast<int>(v.atts.size());
    io->varlist.push_back(std::move(v));
  }
  io->nvars = static_cast<int>(io->varlist.size());
  return r.ok && r.left == 0 ? 1 : 0;
}
