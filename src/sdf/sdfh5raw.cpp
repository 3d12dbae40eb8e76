#include "sdf/sdfh5raw.h"

#include <fcntl.h>
#include <hdf5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>

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

// A file driver of HDF5's that reads the file as its own driver does, by
// pread, but that can be set to note the place of a chunk instead of
// reading it.  HDF5 1.10's one call that gives a chunk's place
// (H5Dget_chunk_info_by_coord) walks the index from its first chunk, so
// that the places of the steps of a long series took time growing with
// the square of their number; its direct chunk read finds the chunk by a
// search of the index and then has it read through the driver at its
// place, which the driver notes.
struct notefile {
  H5FD_t pub;  // HDF5's part, first
  int fd = -1;
  haddr_t eoa = 0, eof = 0;
  dev_t dev = 0;
  ino_t ino = 0;
};

// What the driver notes: set for one direct read of a chunk of chunkbytes,
// it notes each raw read of that many bytes as its place instead of
// reading it, and fails any other raw read.
struct chunknote {
  bool on = false;
  size_t chunkbytes = 0;
  int reads = 0;
  haddr_t at = HADDR_UNDEF;
};

chunknote& note() {
  static chunknote n;
  return n;
}

constexpr haddr_t kMaxAddr = (static_cast<haddr_t>(1) << 62) - 1;

H5FD_t* note_open(const char* name, unsigned flags, hid_t, haddr_t maxaddr) {
  if ((flags & H5F_ACC_RDWR) != 0 || maxaddr == 0 || maxaddr > kMaxAddr) return nullptr;
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  // HDF5 fills its part after the open; the record is plain memory it
  // hands back to note_close.
  notefile* f = static_cast<notefile*>(std::calloc(1, sizeof(notefile)));
  if (f == nullptr) {
    ::close(fd);
    return nullptr;
  }
  f->fd = fd;
  f->eof = static_cast<haddr_t>(st.st_size);
  f->dev = st.st_dev;
  f->ino = st.st_ino;
  return &f->pub;
}

herr_t note_close(H5FD_t* file) {
  notefile* f = reinterpret_cast<notefile*>(file);
  const int rc = ::close(f->fd);
  std::free(f);
  return rc == 0 ? 0 : -1;
}

int note_cmp(const H5FD_t* a, const H5FD_t* b) {
  const notefile* f = reinterpret_cast<const notefile*>(a);
  const notefile* g = reinterpret_cast<const notefile*>(b);
  if (f->dev != g->dev) return f->dev < g->dev ? -1 : 1;
  if (f->ino != g->ino) return f->ino < g->ino ? -1 : 1;
  return 0;
}

herr_t note_query(const H5FD_t*, unsigned long* flags) {
  if (flags != nullptr)
    *flags = H5FD_FEAT_AGGREGATE_METADATA | H5FD_FEAT_ACCUMULATE_METADATA | H5FD_FEAT_DATA_SIEVE |
             H5FD_FEAT_AGGREGATE_SMALLDATA;
  return 0;
}

haddr_t note_get_eoa(const H5FD_t* file, H5FD_mem_t) { return reinterpret_cast<const notefile*>(file)->eoa; }

herr_t note_set_eoa(H5FD_t* file, H5FD_mem_t, haddr_t addr) {
  reinterpret_cast<notefile*>(file)->eoa = addr;
  return 0;
}

haddr_t note_get_eof(const H5FD_t* file, H5FD_mem_t) { return reinterpret_cast<const notefile*>(file)->eof; }

herr_t note_get_handle(H5FD_t* file, hid_t, void** handle) {
  if (handle == nullptr) return -1;
  *handle = &reinterpret_cast<notefile*>(file)->fd;
  return 0;
}

herr_t note_read(H5FD_t* file, H5FD_mem_t type, hid_t, haddr_t addr, size_t size, void* buf) {
  notefile* f = reinterpret_cast<notefile*>(file);
  if (addr == HADDR_UNDEF || addr > kMaxAddr || size > kMaxAddr - addr || addr + size > f->eoa) return -1;
  chunknote& n = note();
  if (n.on && type == H5FD_MEM_DRAW) {
    // Nothing is read into the caller's room, which holds a chunk: a read
    // of any other size (a damaged index's) fails.
    if (size != n.chunkbytes) return -1;
    n.reads++;
    n.at = addr;
    return 0;
  }
  unsigned char* p = static_cast<unsigned char*>(buf);
  while (size > 0) {
    const ssize_t got = pread(f->fd, p, size, static_cast<off_t>(addr));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) {
      // Past the end of the file, as HDF5's own driver reads it: zeros.
      std::memset(p, 0, size);
      break;
    }
    p += got;
    addr += static_cast<haddr_t>(got);
    size -= static_cast<size_t>(got);
  }
  return 0;
}

herr_t note_write(H5FD_t*, H5FD_mem_t, hid_t, haddr_t, size_t, const void*) { return -1; }

herr_t note_truncate(H5FD_t*, hid_t, hbool_t) { return 0; }

// The driver, registered once in the process; -1 where HDF5 refuses it.
hid_t note_driver() {
  static const hid_t id = [] {
    static H5FD_class_t cls;
    std::memset(&cls, 0, sizeof cls);
    cls.name = "ombra_note";
    cls.maxaddr = kMaxAddr;
    cls.fc_degree = H5F_CLOSE_WEAK;
    cls.open = note_open;
    cls.close = note_close;
    cls.cmp = note_cmp;
    cls.query = note_query;
    cls.get_eoa = note_get_eoa;
    cls.set_eoa = note_set_eoa;
    cls.get_eof = note_get_eof;
    cls.get_handle = note_get_handle;
    cls.read = note_read;
    cls.write = note_write;
    cls.truncate = note_truncate;
    const H5FD_mem_t map[] = H5FD_FLMAP_DICHOTOMY;
    std::memcpy(cls.fl_map, map, sizeof cls.fl_map);
    hid_t d = -1;
    H5E_BEGIN_TRY { d = H5FDregister(&cls); }
    H5E_END_TRY;
    return d;
  }();
  return id;
}

// The place of the chunk at chunk coordinates at of a dataset of a file
// opened with the note driver, a chunk of bytes stored whole and
// unfiltered: by a direct read of it that the driver notes, into buf (room
// for bytes, never written).
bool noted_chunk(hid_t d, const hsize_t* at, size_t bytes, void* buf, haddr_t* addr) {
  chunknote& n = note();
  n = chunknote{true, bytes, 0, HADDR_UNDEF};
  uint32_t filters = 1;
  herr_t got = -1;
  H5E_BEGIN_TRY { got = H5Dread_chunk(d, H5P_DEFAULT, at, &filters, buf); }
  H5E_END_TRY;
  const chunknote was = n;
  n = chunknote{};
  if (got < 0 || filters != 0 || was.reads != 1) return false;
  *addr = was.at;
  return true;
}

}  // namespace

struct h5rawfile::state {
  hid_t file = -1;
  bool tried = false;
  bool noted = false;  // opened with the note driver
  std::map<std::string, dataset> sets;
  // Room for a chunk, for the direct reads the driver notes: never written,
  // so never more than address space.
  std::unique_ptr<unsigned char[]> chunkbuf;
  size_t chunkroom = 0;
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
    const hid_t fapl = note_driver() >= 0 ? H5Pcreate(H5P_FILE_ACCESS) : -1;
    s_->noted = fapl >= 0 && H5Pset_driver(fapl, note_driver(), nullptr) >= 0;
    H5E_BEGIN_TRY { s_->file = H5Fopen(name_.c_str(), H5F_ACC_RDONLY, s_->noted ? fapl : H5P_DEFAULT); }
    H5E_END_TRY;
    if (fapl >= 0) H5Pclose(fapl);
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
  haddr_t addr = HADDR_UNDEF;
  if (s_->noted) {
    if (s_->chunkroom < bytes) {
      s_->chunkbuf.reset(bytes <= SIZE_MAX ? new (std::nothrow) unsigned char[static_cast<size_t>(bytes)] : nullptr);
      s_->chunkroom = s_->chunkbuf ? static_cast<size_t>(bytes) : 0;
      if (!s_->chunkbuf) return false;
    }
    if (!noted_chunk(ds.id, at.data(), static_cast<size_t>(bytes), s_->chunkbuf.get(), &addr)) return false;
  } else {
    unsigned mask = 1;
    hsize_t size = 0;
    herr_t got = -1;
    H5E_BEGIN_TRY { got = H5Dget_chunk_info_by_coord(ds.id, at.data(), &mask, &addr, &size); }
    H5E_END_TRY;
    if (got < 0 || addr == HADDR_UNDEF || mask != 0 || size != bytes) return false;
  }
  return !__builtin_mul_overflow(first, ds.size, &first) && !__builtin_add_overflow(first, addr, offset);
}
