#include "sdf/sdfh5raw.h"

#include <hdf5.h>

#include <map>

#include "sdf/sdfint.h"

bool block_run(const std::vector<size_t>& shape, const std::vector<size_t>& origin, const std::vector<size_t>& start,
               const std::vector<size_t>& count, uint64_t* first) {
  const size_t nd = shape.size();
  if (origin.size() != nd || start.size() != nd || count.size() != nd) return false;
  uint64_t index = 0, stride = 1;
  bool whole = true;  // every dimension after this one is taken whole
  for (size_t d = nd; d-- > 0;) {
    if (count[d] == 0 || start[d] < origin[d] || start[d] - origin[d] > shape[d] ||
        count[d] > shape[d] - (start[d] - origin[d]))
      return false;
    if (!whole && count[d] != 1) return false;
    uint64_t at = 0;
    if (__builtin_mul_overflow(start[d] - origin[d], stride, &at) || __builtin_add_overflow(index, at, &index) ||
        __builtin_mul_overflow(stride, shape[d], &stride))
      return false;
    whole = whole && start[d] == origin[d] && count[d] == shape[d];
  }
  *first = index;
  return true;
}

namespace {

// The HDF5 type a netCDF-4 variable of an sdf type is stored in when its
// values are the machine's own (little-endian here); -1 for a type read
// only through the library.
hid_t stored_type(int type) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  switch (type) {
    case SDF_BYTE: return H5T_STD_I8LE;
    case SDF_UBYTE: return H5T_STD_U8LE;
    case SDF_SHORT: return H5T_STD_I16LE;
    case SDF_USHORT: return H5T_STD_U16LE;
    case SDF_LONG: return H5T_STD_I32LE;
    case SDF_UINT: return H5T_STD_U32LE;
    case SDF_INT64: return H5T_STD_I64LE;
    case SDF_UINT64: return H5T_STD_U64LE;
    case SDF_FLOAT: return H5T_IEEE_F32LE;
    case SDF_DOUBLE: return H5T_IEEE_F64LE;
    default: return -1;
  }
#else
  (void)type;
  return -1;
#endif
}

// What HDF5 says of one variable's dataset: where its values lie.
struct dataset {
  hid_t id = -1;
  bool plain = false;           // no filter, values as they are, its shape the variable's
  bool chunked = false;
  std::vector<size_t> chunk;    // chunk lengths
  uint64_t contiguous = 0;      // a variable in one piece: its first byte
  size_t size = 0;              // bytes of a value
};

// Opens a dataset without HDF5 printing its errors: a name that is not
// there is no fault.
hid_t open_quietly(hid_t file, const std::string& name) {
  hid_t d = -1;
  H5E_BEGIN_TRY { d = H5Dopen2(file, name.c_str(), H5P_DEFAULT); }
  H5E_END_TRY;
  return d;
}

// Whether the dataset d holds its values as they are, in the shape dims.
bool plain_dataset(hid_t d, int type, const std::vector<size_t>& dims, dataset* ds) {
  const hid_t want = stored_type(type);
  if (want < 0) return false;
  const hid_t t = H5Dget_type(d), space = H5Dget_space(d), dcpl = H5Dget_create_plist(d);
  bool plain = t >= 0 && space >= 0 && dcpl >= 0 && H5Tequal(t, want) > 0 && H5Pget_nfilters(dcpl) == 0;
  if (plain) {
    const int rank = H5Sget_simple_extent_ndims(space);
    std::vector<hsize_t> now(rank > 0 ? static_cast<size_t>(rank) : 0), chunk(now.size());
    plain = rank == static_cast<int>(dims.size()) && rank > 0 &&
            H5Sget_simple_extent_dims(space, now.data(), nullptr) == rank;
    for (size_t k = 0; plain && k < now.size(); k++) plain = now[k] == dims[k];
    const H5D_layout_t layout = plain ? H5Pget_layout(dcpl) : H5D_LAYOUT_ERROR;
    ds->size = H5Tget_size(t);
    if (layout == H5D_CHUNKED && H5Pget_chunk(dcpl, rank, chunk.data()) == rank) {
      ds->chunked = true;
      ds->chunk.assign(chunk.begin(), chunk.end());
      for (size_t c : ds->chunk) plain = plain && c > 0;
    } else if (layout == H5D_CONTIGUOUS) {
      haddr_t at = HADDR_UNDEF;
      H5E_BEGIN_TRY { at = H5Dget_offset(d); }
      H5E_END_TRY;
      plain = plain && at != HADDR_UNDEF;
      ds->contiguous = at;
    } else {
      plain = false;
    }
  }
  if (t >= 0) H5Tclose(t);
  if (space >= 0) H5Sclose(space);
  if (dcpl >= 0) H5Pclose(dcpl);
  return plain;
}

}  // namespace

struct h5rawfile::state {
  hid_t file = -1;
  bool tried = false;
  std::map<std::string, dataset> sets;
};

h5rawfile::h5rawfile(std::string name) : name_(std::move(name)), s_(new state) {}

h5rawfile::~h5rawfile() {
  for (auto& kv : s_->sets)
    if (kv.second.id >= 0) H5Dclose(kv.second.id);
  if (s_->file >= 0) H5Fclose(s_->file);
}

bool h5rawfile::run(const std::string& var, int type, const std::vector<size_t>& dims,
                    const std::vector<size_t>& start, const std::vector<size_t>& count, uint64_t* offset) {
  if (!s_->tried) {
    s_->tried = true;
    if (!is_hdf5_file(name_.c_str())) return false;
    H5E_BEGIN_TRY { s_->file = H5Fopen(name_.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT); }
    H5E_END_TRY;
    // Addresses count from the end of a user block: a file with one is
    // read through the library alone.
    hsize_t user = 1;
    const hid_t fcpl = s_->file >= 0 ? H5Fget_create_plist(s_->file) : -1;
    if (fcpl >= 0) {
      H5Pget_userblock(fcpl, &user);
      H5Pclose(fcpl);
    }
    if (s_->file >= 0 && user != 0) {
      H5Fclose(s_->file);
      s_->file = -1;
    }
  }
  if (s_->file < 0) return false;
  auto it = s_->sets.find(var);
  if (it == s_->sets.end()) {
    dataset ds;
    // A variable named as a dimension it does not stand for is stored
    // under another name; the dimension's own dataset holds no values.
    ds.id = open_quietly(s_->file, "_nc4_non_coord_" + var);
    if (ds.id < 0) ds.id = open_quietly(s_->file, var);
    ds.plain = ds.id >= 0 && plain_dataset(ds.id, type, dims, &ds);
    it = s_->sets.emplace(var, ds).first;
  }
  const dataset& ds = it->second;
  if (!ds.plain || start.size() != dims.size() || count.size() != dims.size()) return false;
  for (size_t d = 0; d < dims.size(); d++)
    if (start[d] >= dims[d] || count[d] > dims[d] - start[d]) return false;
  uint64_t first = 0;
  if (!ds.chunked) {
    if (!block_run(dims, std::vector<size_t>(dims.size(), 0), start, count, &first)) return false;
    return !__builtin_mul_overflow(first, ds.size, &first) && !__builtin_add_overflow(first, ds.contiguous, offset);
  }
  // The slab must lie within one chunk, stored whole and unfiltered.
  std::vector<size_t> origin(start.size());
  std::vector<hsize_t> at(start.size());
  uint64_t bytes = ds.size;
  for (size_t d = 0; d < start.size(); d++) {
    origin[d] = start[d] / ds.chunk[d] * ds.chunk[d];
    at[d] = origin[d];
    if (__builtin_mul_overflow(bytes, ds.chunk[d], &bytes)) return false;
  }
  if (!block_run(ds.chunk, origin, start, count, &first)) return false;
  unsigned mask = 1;
  haddr_t addr = HADDR_UNDEF;
  hsize_t size = 0;
  herr_t got = -1;
  H5E_BEGIN_TRY { got = H5Dget_chunk_info_by_coord(ds.id, at.data(), &mask, &addr, &size); }
  H5E_END_TRY;
  if (got < 0 || addr == HADDR_UNDEF || mask != 0 || size != bytes) return false;
  return !__builtin_mul_overflow(first, ds.size, &first) && !__builtin_add_overflow(first, addr, offset);
}
