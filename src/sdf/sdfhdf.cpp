// HDF4 scientific data sets through the netCDF-2 style calls of the HDF4
// library (sd_nc*).  Kept apart: its headers clash with netCDF's.
//
// Those calls report the HDF4 number types by their nearest classic netCDF
// type, signed: 8, 16 and 32-bit unsigned data would read as negative
// numbers above half their range.  The file is therefore opened a second
// time through the SD interface, whose own types tell signed from unsigned.
#include <hdf/mfhdf.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sdf/sdfint.h"

// Frees the conversion buffer the library keeps between reads; declared in
// the library's internal header only, which needs headers of its own.
extern "C" intn SDPfreebuf(void);

namespace {

// Room for any name the library hands out.  It copies a name whole,
// however long: an HDF4 file stores names with 16-bit lengths, where the
// library's own longest name is 256 bytes.  The name is taken up to its
// end, and refused when longer than any name the program keeps.
//
// One buffer serves every inquiry, one at a time (the helper asks them in
// turn, and a call that needs a second one asks it once the first is
// done): it is all zeros before each, and each use clears what its call
// wrote, so that no name runs on into bytes of an earlier one and the last
// byte always ends it.
class namebuf {
 public:
  namebuf() : buf_(room()) {}
  namebuf(const namebuf&) = delete;
  namebuf& operator=(const namebuf&) = delete;
  ~namebuf() { std::memset(buf_.data(), 0, std::min(strnlen(buf_.data(), buf_.size()) + 1, buf_.size())); }
  char* data() { return buf_.data(); }
  bool take(std::string* name) const {
    const size_t n = strnlen(buf_.data(), buf_.size());
    if (n > static_cast<size_t>(H4_MAX_NC_NAME)) return false;
    name->assign(buf_.data(), n);
    return true;
  }

 private:
  static std::vector<char>& room() {
    static std::vector<char> buf(65536 + 1, '\0');
    return buf;
  }
  std::vector<char>& buf_;
};

int sdf_type_of(int t) {
  // The HDF4 netCDF layer uses the classic codes 1..6.
  return (t >= 1 && t <= 6) ? t : 0;
}

// The classic type made unsigned where the SD interface's number type says
// so; anything else keeps the classic type.
int with_sign(int st, int32 nt) {
  const int32 base = nt & ~(DFNT_NATIVE | DFNT_LITEND);
  if (st == SDF_BYTE && base == DFNT_UINT8) return SDF_UBYTE;
  if (st == SDF_SHORT && base == DFNT_UINT16) return SDF_USHORT;
  if (st == SDF_LONG && base == DFNT_UINT32) return SDF_UINT;
  return st;
}

// SD number type of a variable (varid >= 0) or of an attribute (name given;
// varid -1 for the file's own); 0 when it cannot be had.
int32 sd_number_type(int sdid, int varid, const char* attname) {
  if (sdid < 0) return 0;
  int32 obj = sdid;
  if (varid >= 0) {
    obj = SDselect(sdid, varid);
    if (obj == FAIL) return 0;
  }
  int32 nt = 0;
  namebuf name;
  if (attname == nullptr) {
    int32 rank = 0, nattrs = 0;
    int32 dims[H4_MAX_VAR_DIMS];
    if (SDgetinfo(obj, name.data(), &rank, dims, &nt, &nattrs) == FAIL) nt = 0;
  } else {
    int32 idx = SDfindattr(obj, attname);
    int32 count = 0;
    if (idx == FAIL || SDattrinfo(obj, idx, name.data(), &nt, &count) == FAIL) nt = 0;
  }
  if (varid >= 0) SDendaccess(obj);
  return nt;
}

}  // namespace

int hdf_open(const char* name, int* sdid) {
  // By default the library prints its errors and ends the process on some
  // of them, whichever of its calls meets them: switched off for good
  // before its first call on a file, so that an error is only a failed
  // call.
  sd_ncopts = 0;
  *sdid = -1;
  const int hid = sd_ncopen(name, 0 /* read only */);
  if (hid < 0) return -1;
  // Without its SD interface the file's unsigned data would read as
  // negative numbers: a file the library cannot open both ways is not
  // opened.
  const int32 sd = SDstart(name, DFACC_READ);
  if (sd == FAIL) {
    sd_ncclose(hid);
    return -1;
  }
  *sdid = static_cast<int>(sd);
  return hid;
}

int hdf_close(int hid, int sdid) {
  if (sdid >= 0) SDend(sdid);
  return sd_ncclose(hid) == -1 ? 0 : 1;
}

int hdf_inquire(int hid, int* ndims, int* nvars, int* ngatts, int* recdim) {
  return sd_ncinquire(hid, ndims, nvars, ngatts, recdim) == -1 ? 0 : 1;
}

int hdf_diminq(int hid, int dimid, std::string* name, long* len) {
  namebuf buf;
  if (sd_ncdiminq(hid, dimid, buf.data(), len) == -1) return 0;
  return buf.take(name) ? 1 : 0;
}

int hdf_varinq(int hid, int sdid, int varid, std::string* name, int* type, std::vector<int>* dimids,
               int* natts) {
  int ids[H4_MAX_VAR_DIMS + 1];
  nc_type t;
  int nd = 0;
  int na = 0;
  {
    namebuf buf;
    if (sd_ncvarinq(hid, varid, buf.data(), &t, &nd, ids, &na) == -1) return 0;
    if (nd < 0 || nd > H4_MAX_VAR_DIMS || !buf.take(name)) return 0;
  }
  *type = with_sign(sdf_type_of(static_cast<int>(t)), sd_number_type(sdid, varid, nullptr));
  dimids->assign(ids, ids + nd);
  *natts = na;
  return 1;
}

int hdf_attname(int hid, int varid, int n, std::string* name) {
  namebuf buf;
  if (sd_ncattname(hid, varid, n, buf.data()) == -1) return 0;
  return buf.take(name) ? 1 : 0;
}

int hdf_attinfo(int hid, int sdid, int varid, const char* name, netcdf_att* att) {
  nc_type t;
  int len = 0;
  if (sd_ncattinq(hid, varid, name, &t, &len) == -1) return 0;
  int st = sdf_type_of(static_cast<int>(t));
  if (st == 0) return -1;
  st = with_sign(st, sd_number_type(sdid, varid, name));
  if (len < 0 || len > 100000000) return 0;
  att->attname = name;
  att->nctype = st;
  att->count = len;
  att->values.assign(static_cast<size_t>(len) * static_cast<size_t>(type_size(st)) + 1, 0);
  if (len > 0 && sd_ncattget(hid, varid, name, att->values.data()) == -1) return 0;
  if (st != SDF_CHAR && st != SDF_BYTE) att->values.pop_back();
  return 1;
}

int hdf_varget(int hid, int varid, const std::vector<size_t>& start,
               const std::vector<size_t>& count, void* buf) {
  std::vector<long> s(start.begin(), start.end());
  std::vector<long> c(count.begin(), count.end());
  return sd_ncvarget(hid, varid, s.data(), c.data(), buf) == -1 ? 0 : 1;
}

bool hdf_compressed(int sdid, int varid) {
  if (sdid < 0) return true;  // not known: it may be
  const int32 obj = SDselect(sdid, varid);
  if (obj == FAIL) return true;
  comp_coder_t coder = COMP_CODE_NONE;
  const bool packed = SDgetcomptype(obj, &coder) == FAIL || coder != COMP_CODE_NONE;
  SDendaccess(obj);
  return packed;
}

size_t hdf_chunk_bytes(int sdid, int varid) {
  if (sdid < 0) return 0;
  const int32 obj = SDselect(sdid, varid);
  if (obj == FAIL) return 0;
  HDF_CHUNK_DEF def;
  int32 flags = 0;
  size_t bytes = 0;
  namebuf name;
  int32 rank = 0, nattrs = 0, nt = 0;
  int32 dims[H4_MAX_VAR_DIMS];
  if (SDgetchunkinfo(obj, &def, &flags) != FAIL && (flags & HDF_CHUNK) != 0 &&
      SDgetinfo(obj, name.data(), &rank, dims, &nt, &nattrs) != FAIL && rank > 0 && rank <= H4_MAX_VAR_DIMS) {
    bytes = static_cast<size_t>(DFKNTsize(nt) > 0 ? DFKNTsize(nt) : 0);
    for (int32 d = 0; d < rank && bytes != 0; d++) {
      const size_t c = def.chunk_lengths[d] > 0 ? static_cast<size_t>(def.chunk_lengths[d]) : 0;
      bytes = c != 0 && bytes <= SIZE_MAX / c ? bytes * c : SIZE_MAX;
    }
  }
  SDendaccess(obj);
  return bytes;
}

void hdf_release_buffers() { SDPfreebuf(); }
