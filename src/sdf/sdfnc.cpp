// The access layer: every call the subsystem makes on a file goes through
// these wrappers, which pick the netCDF or the HDF4 library by the id, or
// the helper process for a file it holds.
#include <netcdf.h>
#include <netcdf_filter.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/memcap.h"
#include "base/omprnt.h"
#include "base/pairwork.h"
#include "base/ownedfd.h"
#include "base/replsig.h"
#include "base/useropen.h"
#include "sdf/sdfblock.h"
#include "sdf/sdfcache.h"
#include "sdf/sdfclassic.h"
#include "sdf/sdfh5left.h"
#include "sdf/sdfh5raw.h"
#include "sdf/sdfint.h"
#include "sdf/sdfproto.h"

namespace {

enum { KIND_NC = 1, KIND_HDF = 2, KIND_REMOTE = 3 };

// What the reads of a variable of a file opened here need to know of it,
// asked of the library at its first read.
struct varfacts {
  int type = 0;                // 0 when it cannot be had
  size_t ndims = 0;
  std::vector<size_t> chunks;  // netCDF-4 chunk lengths, within the dimensions; empty when not chunked
  size_t chunkbytes = 0;       // bytes of one chunk, 0 when not chunked
  size_t cache = 0;            // bytes of its chunk cache
  bool compressed = false;     // stored compressed (its values may take more room than the file)
  std::string name;            // netCDF-4: its name, and its dimensions' lengths
  std::vector<size_t> dims;
};

// What the helper gave of one slab of a variable at a run of indices of
// its first dimension (steps), from first on: the places where the file
// holds each as it is, or for a small slab the values themselves.  The
// key is the variable, the slab's other starts and its counts.
struct aheadrun {
  size_t first = 0;
  std::vector<uint64_t> at;  // places, or
  std::string values;        // the steps' values, one slab after another
  size_t steps = 0;
  uint32_t asked = 0;  // steps asked for the last time
};

struct openfile {
  int kind;
  int libid;
  int sdid = -1;     // HDF4: the SD interface's id of the same file
  std::string name;  // the name it was opened by (the helper knows it by it)
  std::shared_ptr<classic_file> classic;  // float reads made straight from a classic file
  h5span lists;      // netCDF: the HDF5 property lists made by its open
  std::map<int, varfacts> facts;  // by variable id
  fileident opened;               // the file as it was opened
  // The file opened here held open beside the library's own descriptor,
  // to see at each read whether it was cut since: by its descriptor, not
  // its name, which another file may take meanwhile.
  ownedfd held;
  // A file the helper holds: its coordinates' values as the helper read
  // them when it described the file, by variable id, which the open then
  // reads from here.
  std::map<int, std::string> coords;
  // netCDF-4 opened here (in the helper): where its values lie as they are.
  std::shared_ptr<h5rawfile> raw;
  // A file the helper holds: what it gave of slabs at the steps after the
  // one asked for (read_remote).
  std::map<std::string, aheadrun> ahead;
};

// What a regular file is now, by its descriptor (its size -1 for anything
// else).
fileident ident_of(int fd) {
  fileident id;
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    id.size = static_cast<int64_t>(st.st_size);
    id.dev = static_cast<uint64_t>(st.st_dev);
    id.ino = static_cast<uint64_t>(st.st_ino);
  }
  return id;
}

// A regular file's descriptor, and what it is.
ownedfd hold_file(const std::string& name, fileident* id) {
  ownedfd fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  *id = ident_of(fd.get());
  if (id->size < 0) fd.reset();
  return fd;
}

// The bytes of a file opened here now, by its held descriptor; -1 for one
// that is not a regular file.
int64_t size_now(const ownedfd& fd) { return ident_of(fd.get()).size; }

// Files opened here and not closed yet, by the id handed out.  HDF4 ids are
// handed out as library id + 1, never a multiple of 65536 as netCDF's are;
// files held by the helper get odd ids from 2^29 up, above the HDF4
// library's and again never a multiple of 65536.  Only a helper opens HDF4
// files; the program opens a classic netCDF file itself only when no
// helper can be started.
std::map<int, openfile>& openfiles() {
  static std::map<int, openfile> files;
  return files;
}

const openfile* lookup(int id) {
  auto it = openfiles().find(id);
  return it == openfiles().end() ? nullptr : &it->second;
}

// The record of a file opened here as id, held open beside the library.
openfile& kept_open(int id, int kind, int libid, const char* name) {
  openfile& f = openfiles()[id];
  f.kind = kind;
  f.libid = libid;
  f.name = name;
  f.held = hold_file(name, &f.opened);
  return f;
}

// Makes the chunk cache of a chunked variable hold the chunks of one grid
// (never less than the library's own choice).
void size_chunk_cache(int ncid, int v) {
  int ndims = 0;
  nc_type type = NC_NAT;
  if (nc_inq_varndims(ncid, v, &ndims) != NC_NOERR || ndims < 1 || ndims > NC_MAX_VAR_DIMS) return;
  if (nc_inq_vartype(ncid, v, &type) != NC_NOERR) return;
  std::vector<int> dimids(static_cast<size_t>(ndims));
  std::vector<size_t> lens(static_cast<size_t>(ndims)), chunks(static_cast<size_t>(ndims));
  size_t elsize = 0;
  int storage = 0;
  if (nc_inq_vardimid(ncid, v, dimids.data()) != NC_NOERR ||
      nc_inq_var_chunking(ncid, v, &storage, chunks.data()) != NC_NOERR ||
      nc_inq_type(ncid, type, nullptr, &elsize) != NC_NOERR)
    return;
  for (size_t d = 0; d < lens.size(); d++)
    if (nc_inq_dimlen(ncid, dimids[d], &lens[d]) != NC_NOERR) return;
  size_t have = 0, nelems = 0;
  float preempt = 0;
  if (nc_get_var_chunk_cache(ncid, v, &have, &nelems, &preempt) != NC_NOERR) return;
  const size_t want = grid_chunk_cache_bytes(lens, chunks, elsize, ommemcap());
  if (want <= have) return;
  // Hash slots: the library's count, or some to spare over the chunks held.
  size_t chunkbytes = elsize;
  for (size_t c : chunks) chunkbytes = c != 0 && chunkbytes <= want / c ? chunkbytes * c : want;
  const size_t held = chunkbytes != 0 ? want / chunkbytes + 1 : 1;
  nc_set_var_chunk_cache(ncid, v, want, held * 4 + 1 > nelems ? held * 4 + 1 : nelems, preempt);
}

// Chunks stored as they are (no compression or other filter) gain nothing
// from the library's chunk cache: a read that covers a whole chunk then goes
// into the caller's buffer in one piece instead of through the cache and a
// copy, and a read of part of a chunk reads only that part.
// Compressed chunks are another matter: archives written for time-series
// access keep many steps in one chunk, and a cache too small for the chunks
// of one grid decompresses each of them again for every step read.  Their
// cache is made to hold one grid's chunks, within the memory budget.
void read_chunks_direct(int ncid) {
  int format = 0, nvars = 0;
  if (nc_inq_format(ncid, &format) != NC_NOERR) return;
  if (format != NC_FORMAT_NETCDF4 && format != NC_FORMAT_NETCDF4_CLASSIC) return;
  if (nc_inq_nvars(ncid, &nvars) != NC_NOERR) return;
  for (int v = 0; v < nvars; v++) {
    int storage = 0;
    size_t nfilters = 1;
    if (nc_inq_var_chunking(ncid, v, &storage, nullptr) != NC_NOERR || storage != NC_CHUNKED) continue;
    if (nc_inq_var_filter_ids(ncid, v, &nfilters, nullptr) != NC_NOERR) continue;
    if (nfilters == 0)
      nc_set_var_chunk_cache(ncid, v, 0, 0, 0.0f);
    else
      size_chunk_cache(ncid, v);
  }
}
}  // namespace

bool is_hdf4_file(const char* name) {
  // Not blocking, for the four bytes of a regular file: a FIFO is refused.
  const int fd = omopen(name, O_RDONLY | O_NONBLOCK, OMO_REGULAR);
  if (fd < 0) return false;
  unsigned char sig[4] = {0, 0, 0, 0};
  const ssize_t n = pread(fd, sig, 4, 0);
  close(fd);
  return n == 4 && std::memcmp(sig, kHdf4Signature, 4) == 0;
}

bool is_hdf5_file(const char* name) {
  const int fd = omopen(name, O_RDONLY, OMO_REGULAR);
  if (fd < 0) return false;
  struct stat st;
  bool found = false;
  if (fstat(fd, &st) == 0) {
    // The signature lies at the start, or after a user block of 512 bytes
    // times a power of two.
    static const unsigned char sig[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    for (off_t at = 0; !found && at + 8 <= st.st_size; at = at == 0 ? 512 : at * 2) {
      unsigned char got[8];
      found = pread(fd, got, 8, at) == 8 && std::memcmp(got, sig, 8) == 0;
    }
  }
  ::close(fd);
  return found;
}

int open_netcdf(const char* name, int* id) {
  *id = -1;
  classic_probe probe(name);
  if (probe.hdf4()) {
    int sdid = -1;
    int hid = hdf_open(name, &sdid);
    if (hid < 0) return 0;
    int pub = hid + 1;
    if (openfiles().count(pub) != 0) {  // cannot happen unless ids collide
      hdf_close(hid, sdid);
      return 0;
    }
    openfile& f = kept_open(pub, KIND_HDF, hid, name);
    f.sdid = sdid;
    *id = pub;
    return 1;
  }
  if (probe.verdict() == classic_header::refused) return 0;
  int ncid = -1;
  // A classic file never reaches HDF5: only other files are watched there.
  const bool hdf5 = probe.verdict() != classic_header::fine;
  const std::vector<int64_t> files = hdf5 ? h5files_open() : std::vector<int64_t>();
  h5span lists = hdf5 ? h5span_begin() : h5span();
  const int rc = nc_open(name, NC_NOWRITE, &ncid);
  if (hdf5) h5span_end(&lists);
  if (rc != NC_NOERR) {
    if (hdf5) h5files_close_since(files);
    h5span_sweep(lists);
    return 0;
  }
  read_chunks_direct(ncid);
  kept_open(ncid, KIND_NC, ncid, name).lists = lists;
  *id = ncid;
  return 1;
}

int open_remote(const char* name, const io_std& io, std::map<int, std::string>* coords) {
  static int next = 0;
  for (int tries = 0; tries < (1 << 20); tries++) {
    int id = (1 << 29) + 2 * next + 1;
    next = (next + 1) % (1 << 27);
    if (openfiles().count(id) != 0) continue;
    openfile& f = openfiles()[id];
    f.kind = KIND_REMOTE;
    f.name = name;
    f.held = hold_file(name, &f.opened);
    f.classic = classic_file::open(name, io);
    f.coords.swap(*coords);
    return id;
  }
  return -1;
}

void netcdf_read_directly(int id, const io_std& io) {
  auto it = openfiles().find(id);
  if (it != openfiles().end() && it->second.kind == KIND_NC) it->second.classic = classic_file::open(it->second.name.c_str(), io);
}

int close_netcdf(int id) {
  const openfile* f = lookup(id);
  if (f == nullptr) return 0;
  openfile of = std::move(openfiles()[id]);
  openfiles().erase(id);
  // With no file open, nothing kept for the next read is of use.
  if (openfiles().empty()) netcdf_reads_release(true);
  if (of.kind == KIND_REMOTE) {
    helper_close(of.name.c_str());
    return 1;
  }
  if (of.kind == KIND_HDF) return hdf_close(of.libid, of.sdid);
  of.raw.reset();  // HDF5's own hold on the file goes first
  const int rc = nc_close(of.libid);
  h5span_sweep(of.lists);
  return rc == NC_NOERR ? 1 : 0;
}

int inq_netcdf(int id, int* ndims, int* nvars, int* ngatts, int* recdim) {
  const openfile* f = lookup(id);
  if (f == nullptr || f->kind == KIND_REMOTE) return 0;  // described by the helper
  if (f->kind == KIND_HDF) return hdf_inquire(f->libid, ndims, nvars, ngatts, recdim);
  return nc_inq(f->libid, ndims, nvars, ngatts, recdim) == NC_NOERR ? 1 : 0;
}

// The netCDF library copies a name whole into the buffer it is given.
// Names of at most NC_MAX_NAME bytes reach it: netCDF-4 refuses longer
// ones itself, and a classic header with a longer one is refused before
// the library is given the file (classic_probe).
int inq_netcdf_dim(int id, int dimid, std::string* name, long* len) {
  const openfile* f = lookup(id);
  if (f == nullptr || f->kind == KIND_REMOTE) return 0;  // described by the helper
  if (f->kind == KIND_HDF) return hdf_diminq(f->libid, dimid, name, len);
  char buf[NC_MAX_NAME + 1] = {0};
  size_t n = 0;
  if (nc_inq_dim(f->libid, dimid, buf, &n) != NC_NOERR) return 0;
  *name = buf;
  *len = static_cast<long>(n);
  return 1;
}

int inq_netcdf_var(int id, int varid, std::string* name, int* type, std::vector<int>* dimids,
                   int* natts) {
  const openfile* f = lookup(id);
  if (f == nullptr || f->kind == KIND_REMOTE) return 0;  // described by the helper
  if (f->kind == KIND_HDF) return hdf_varinq(f->libid, f->sdid, varid, name, type, dimids, natts);
  int nd = 0;
  if (nc_inq_varndims(f->libid, varid, &nd) != NC_NOERR || nd < 0) return 0;
  std::vector<int> ids(static_cast<size_t>(nd) + 1, -1);  // sized from what the library says
  char buf[NC_MAX_NAME + 1] = {0};
  nc_type t = NC_NAT;
  int na = 0;
  if (nc_inq_var(f->libid, varid, buf, &t, &nd, ids.data(), &na) != NC_NOERR) return 0;
  ids.resize(static_cast<size_t>(nd));
  *name = buf;
  *type = (t >= NC_BYTE && t <= NC_STRING) ? static_cast<int>(t) : 0;
  *dimids = ids;
  *natts = na;
  return 1;
}

int get_netcdf_attname(int id, int varid, int n, std::string* name) {
  const openfile* f = lookup(id);
  if (f == nullptr || f->kind == KIND_REMOTE) return 0;  // described by the helper
  if (f->kind == KIND_HDF) return hdf_attname(f->libid, varid, n, name);
  char buf[NC_MAX_NAME + 1] = {0};
  if (nc_inq_attname(f->libid, varid, n, buf) != NC_NOERR) return 0;
  *name = buf;
  return 1;
}

int get_netcdf_att_info(int id, int varid, const char* name, netcdf_att* att) {
  const openfile* f = lookup(id);
  if (f == nullptr || f->kind == KIND_REMOTE) return 0;  // described by the helper
  if (f->kind == KIND_HDF) return hdf_attinfo(f->libid, f->sdid, varid, name, att);
  nc_type t = NC_NAT;
  size_t len = 0;
  if (nc_inq_att(f->libid, varid, name, &t, &len) != NC_NOERR) return 0;
  att->attname = name;
  if (t == NC_STRING) {
    // netCDF-4 string attributes are used as text: the first string.
    std::vector<char*> strs(len > 0 ? len : 1, nullptr);
    if (len == 0) {
      att->nctype = SDF_CHAR;
      att->count = 0;
      att->values.assign(1, 0);
      return 1;
    }
    if (nc_get_att_string(f->libid, varid, name, strs.data()) != NC_NOERR) return 0;
    std::string s = strs[0] != nullptr ? strs[0] : "";
    nc_free_string(len, strs.data());
    att->nctype = SDF_CHAR;
    att->count = static_cast<int>(s.size());
    att->values.assign(s.begin(), s.end());
    att->values.push_back(0);
    return 1;
  }
  // Other netCDF-4 types are skipped, except the missing-data markers of
  // unsigned and 64-bit variables: those must have the variable's own type,
  // and without them the file's fill values would read as data.
  bool marker = std::strcmp(name, "_FillValue") == 0 || std::strcmp(name, "missing_value") == 0;
  bool wide = t >= NC_UBYTE && t <= NC_UINT64;
  if ((t < NC_BYTE || t > NC_DOUBLE) && !(marker && wide)) return -1;
  int sz = type_size(t);
  if (len > 100000000) return 0;
  att->nctype = t;
  att->count = static_cast<int>(len);
  att->values.assign(len * static_cast<size_t>(sz) + 1, 0);
  if (len > 0 && nc_get_att(f->libid, varid, name, att->values.data()) != NC_NOERR) return 0;
  if (t != NC_CHAR && t != NC_BYTE) att->values.pop_back();
  return 1;
}

namespace {

// A buffer for reads up to this size is kept from one command to the next
// (a script's displays); a larger one only through a command.
constexpr size_t kKeptBetween = size_t(64) << 20;
// Chunks one call of the netCDF-4 library may touch: it makes a record of
// several kilobytes for every chunk a read touches, and a grid of a
// million chunks of one value would take gigabytes.
constexpr uint64_t kChunksPerCall = 4096;
// The largest ratio of the codecs the libraries decompress (zlib's
// deflate): no stored byte stands for more values' bytes than that.
constexpr uint64_t kCodecRatio = 1032;

// The chunk lengths of a chunked netCDF-4 variable, each at most its
// dimension's length; empty for any other.
std::vector<size_t> chunk_shape(int ncid, int varid) {
  int nd = 0, storage = 0;
  if (nc_inq_varndims(ncid, varid, &nd) != NC_NOERR || nd < 1 || nd > NC_MAX_VAR_DIMS) return {};
  std::vector<size_t> chunks(static_cast<size_t>(nd));
  std::vector<int> dims(static_cast<size_t>(nd));
  if (nc_inq_var_chunking(ncid, varid, &storage, chunks.data()) != NC_NOERR || storage != NC_CHUNKED ||
      nc_inq_vardimid(ncid, varid, dims.data()) != NC_NOERR)
    return {};
  for (size_t d = 0; d < chunks.size(); d++) {
    size_t len = 0;
    if (nc_inq_dimlen(ncid, dims[d], &len) != NC_NOERR || chunks[d] == 0) return {};
    chunks[d] = std::min(chunks[d], std::max<size_t>(len, 1));
  }
  return chunks;
}

// Whether a netCDF variable is stored compressed: other filters than the
// byte shuffle and the checksum.
bool nc_compressed(int ncid, int varid) {
  size_t n = 0;
  if (nc_inq_var_filter_ids(ncid, varid, &n, nullptr) != NC_NOERR || n == 0 || n > 64) return false;
  std::vector<unsigned int> ids(n);
  if (nc_inq_var_filter_ids(ncid, varid, &n, ids.data()) != NC_NOERR) return true;
  for (unsigned int id : ids)
    if (id != H5Z_FILTER_SHUFFLE && id != H5Z_FILTER_FLETCHER32) return true;
  return false;
}

// What the library says of a variable, asked once a file.  Sizes come
// from the file: a product past any memory is the largest size.
const varfacts& facts_of(openfile& f, int varid) {
  auto known = f.facts.find(varid);
  if (known != f.facts.end()) return known->second;
  varfacts v;
  if (f.kind == KIND_HDF) {
    std::string name;
    std::vector<int> dimids;
    int natts = 0;
    if (hdf_varinq(f.libid, f.sdid, varid, &name, &v.type, &dimids, &natts)) v.ndims = dimids.size();
    v.chunkbytes = hdf_chunk_bytes(f.sdid, varid);
    v.compressed = hdf_compressed(f.sdid, varid);
  } else {
    nc_type t;
    int nd = 0;
    if (nc_inq_vartype(f.libid, varid, &t) == NC_NOERR && nc_inq_varndims(f.libid, varid, &nd) == NC_NOERR && nd >= 0) {
      v.type = static_cast<int>(t);
      v.ndims = static_cast<size_t>(nd);
    }
    v.chunks = chunk_shape(f.libid, varid);
    v.chunkbytes = v.chunks.empty() ? 0 : static_cast<size_t>(type_size(v.type));
    for (size_t c : v.chunks) v.chunkbytes = c != 0 && v.chunkbytes > SIZE_MAX / c ? SIZE_MAX : v.chunkbytes * c;
    size_t nelems = 0;
    float preempt = 0;
    if (!v.chunks.empty() && nc_get_var_chunk_cache(f.libid, varid, &v.cache, &nelems, &preempt) != NC_NOERR)
      v.cache = 0;
    v.compressed = nc_compressed(f.libid, varid);
    char name[NC_MAX_NAME + 1] = {0};
    std::vector<int> ids(v.ndims + 1);
    if (nc_inq_varname(f.libid, varid, name) == NC_NOERR && nc_inq_vardimid(f.libid, varid, ids.data()) == NC_NOERR) {
      v.name = name;
      for (size_t d = 0; d < v.ndims; d++) {
        size_t len = 0;
        if (nc_inq_dimlen(f.libid, ids[d], &len) != NC_NOERR) v.name.clear();
        v.dims.push_back(len);
      }
    }
  }
  return f.facts[varid] = v;
}

// Whether a slab of count values of the variable fits in nbytes.
bool slab_fits(openfile& f, int varid, const std::vector<size_t>& count, size_t nbytes) {
  const int size = type_size(facts_of(f, varid).type);
  if (size <= 0) return false;
  // The product of the counts against the values that fit, without
  // forming a product that may overflow.
  size_t room = nbytes / static_cast<size_t>(size);
  for (size_t c : count) {
    if (c == 0) return true;
    if (c > room) return false;
    room /= c;
  }
  return true;
}

// Whether the file, of size bytes now (size_now), can hold nbytes of the
// variable's values: its size, or for compressed data its size at the
// codec's largest ratio.  A name that is no regular file (a remote one) is
// not judged.
bool file_holds(openfile& f, int varid, size_t nbytes, int64_t size) {
  if (size < 0) return true;
  uint64_t most = static_cast<uint64_t>(size);
  if (facts_of(f, varid).compressed && __builtin_mul_overflow(most, kCodecRatio, &most)) return true;
  return nbytes <= most;
}

// The chunks of the slab along dimensions d on.
uint64_t chunks_from(const std::vector<size_t>& start, const std::vector<size_t>& count,
                     const std::vector<size_t>& chunks, size_t d) {
  uint64_t n = 1;
  for (; d < count.size(); d++) {
    const uint64_t along = count[d] == 0 ? 0 : (start[d] + count[d] - 1) / chunks[d] - start[d] / chunks[d] + 1;
    if (__builtin_mul_overflow(n, along, &n)) return UINT64_MAX;
  }
  return n;
}

// Reads a slab of a chunked netCDF-4 variable in pieces that each touch at
// most kChunksPerCall chunks.  The dimensions before d are taken at one
// index (each piece is then one stretch of out); the slab is cut along d
// at chunk bounds, as many chunk rows a piece as fit, or one index at a
// time and cut again along the next dimension.
bool read_in_pieces(int ncid, int varid, std::vector<size_t> start, std::vector<size_t> count,
                    const std::vector<size_t>& chunks, size_t d, unsigned char* out, size_t elsize) {
  while (d < count.size() && count[d] == 1) d++;
  if (d >= count.size() || chunks_from(start, count, chunks, 0) <= kChunksPerCall)
    return nc_get_vara(ncid, varid, start.data(), count.data(), out) == NC_NOERR;
  size_t inner = elsize;  // bytes of one index along d
  for (size_t k = d + 1; k < count.size(); k++) inner *= count[k];
  const uint64_t row = chunks_from(start, count, chunks, d + 1);
  const size_t rows = row >= kChunksPerCall ? 0 : static_cast<size_t>(kChunksPerCall / row);
  const size_t first = start[d], last = start[d] + count[d];
  for (size_t at = first; at < last;) {
    // One index, or whole chunk rows up to the next bound past them.
    const size_t next = rows == 0 ? at + 1 : std::min(last, (at / chunks[d] + rows) * chunks[d]);
    start[d] = at;
    count[d] = next - at;
    if (!read_in_pieces(ncid, varid, start, count, chunks, rows == 0 ? d + 1 : count.size(), out + (at - first) * inner,
                        elsize))
      return false;
    at = next;
  }
  return true;
}

// A read by the library of a file opened here, of size bytes now.
int read_here(openfile& f, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
              void* buf, size_t nbytes, bool bounded, int64_t size) {
  // The libraries write the whole slab whatever room there is: a slab
  // larger than the buffer is refused here, not written past its end.
  if (!slab_fits(f, varid, count, nbytes)) return 0;
  if (bounded && !file_holds(f, varid, nbytes, size)) return 0;
  if (f.kind == KIND_HDF) return hdf_varget(f.libid, varid, start, count, buf);
  const varfacts& v = facts_of(f, varid);
  if (v.chunks.size() == count.size() && chunks_from(start, count, v.chunks, 0) > kChunksPerCall)
    return read_in_pieces(f.libid, varid, start, count, v.chunks, 0, static_cast<unsigned char*>(buf),
                          static_cast<size_t>(type_size(v.type)))
               ? 1
               : 0;
  return nc_get_vara(f.libid, varid, start.data(), count.data(), buf) == NC_NOERR ? 1 : 0;
}

// The program's buffer for slabs it reads itself, kept from read to read
// as the shared block is (netcdf_reads_release).
std::vector<unsigned char>& room() {
  static std::vector<unsigned char> buf;
  return buf;
}

// buf, or the program's buffer sized for n bytes where buf is null;
// nullptr when that cannot be had.
void* into(void* buf, size_t n) {
  if (buf != nullptr) return buf;
  try {
    if (room().size() < n) room().resize(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return room().data();
}

// Reads n bytes at offset of a file into to: 1, 0 when the file cannot be
// read, -1 when it ends before them (cut since it was opened: the
// libraries would read the lost bytes as zeros).
int read_in_file(int fd, uint64_t offset, size_t n, void* to) {
  unsigned char* p = static_cast<unsigned char*>(to);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, p + got, n - got, static_cast<off_t>(offset + got));
    if (r == 0) return -1;
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return 0;
    got += static_cast<size_t>(r);
  }
  return 1;
}

// What a read through the helper that gave no slab says: nothing for a
// failure of the library (the read's own message follows).
void said_unread(const std::string& name, int rc) {
  const std::string shown = replshownname(name);
  if (rc == HELPER_DIED) omprntf(0, "SDF read error:  %s is damaged: the HDF library fails on it.\n", shown.c_str());
  if (rc == HELPER_TIMEOUT) omprntf(0, "SDF read error:  %s: the HDF library takes too long on it.\n", shown.c_str());
  if (rc == HELPER_KILLED)
    omprntf(0, "SDF read error:  %s: the helper process was ended from outside: %s.\n", shown.c_str(),
            helper_ended_how().c_str());
  if (rc == HELPER_NONE)
    omprntf(0, "SDF read error:  %s: the helper process could not be started: %s; an HDF file is not read without it.\n",
            shown.c_str(), helper_failure().c_str());
}

// Slabs whose steps ahead a file keeps (a loop over a few variables at
// once keeps each one's); the most steps asked for ahead; and the largest
// slab whose values (not places) come ahead.
constexpr size_t kAheadKeys = 16;
constexpr uint32_t kMostAhead = 4096;
constexpr size_t kSmallSlab = 4096;

std::string ahead_key(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count) {
  std::string key;
  key.append(reinterpret_cast<const char*>(&varid), sizeof varid);
  for (size_t k = 1; k < start.size(); k++) key.append(reinterpret_cast<const char*>(&start[k]), sizeof start[k]);
  for (size_t c : count) key.append(reinterpret_cast<const char*>(&c), sizeof c);
  return key;
}

// The slab from what the helper gave ahead, read into buf (or the
// program's buffer), or where place is given its place there: 1 read (or
// placed, *at then place), 0 not there, -1 the read failed.
int from_ahead(openfile* f, const std::string& key, size_t step, void* buf, size_t nbytes, slabplace* place,
               const void** at) {
  auto it = f->ahead.find(key);
  if (it == f->ahead.end() || step < it->second.first || step - it->second.first >= it->second.steps ||
      (it->second.values.empty() && it->second.at.empty()))
    return 0;
  const aheadrun& run = it->second;
  const size_t k = step - run.first;
  if (!run.values.empty() && size_now(f->held) < f->opened.size) {
    // Cut since they came: the values are no longer the file's, and the
    // helper's read says so.  A script's commands run without the prompt's
    // wait that lets them go.
    f->ahead.erase(it);
    return 0;
  }
  if (!run.values.empty()) {
    *at = run.values.data() + k * nbytes;
    return 1;
  }
  if (place != nullptr) {
    *place = slabplace{f->held.get(), run.at[k], false};
    *at = place;
    return 1;
  }
  void* to = into(buf, nbytes);
  *at = to;
  return to != nullptr && read_in_file(f->held.get(), run.at[k], nbytes, to) > 0 ? 1 : -1;
}

// A read of a file the helper holds: where its values are (in the shared
// block, or where the helper finds the file holds them as they are, read
// by the program into buf or its own buffer, or where place is given its
// place there), or nullptr after the message of a helper that failed.
//
// A read of the step after those the helper gave last of the same slab
// asks for twice as many steps ahead (up to kMostAhead; one at first):
// their places, or for a small slab their values, which the reads of
// those steps then take without asking, so that a loop over the steps of
// a variable asks the helper only now and then.  Where the program has
// two processors, a large slab of such a loop that the helper decodes
// (stored compressed, say) has the next step asked for as soon as this
// one is in: the helper decodes it while the program works on this one.  What was given ahead is kept
// until the prompt waits.  *unheld is set, with nothing said, where no
// helper can be started and the file is no HDF one.
const void* read_remote(openfile* f, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                        void* buf, size_t nbytes, bool bounded, slabplace* place, bool* unheld) {
  const void* at = nullptr;
  const bool steps = !bounded && !start.empty() && count[0] == 1;
  const std::string key = steps ? ahead_key(varid, start, count) : std::string();
  if (steps) {
    const int got = from_ahead(f, key, start[0], buf, nbytes, place, &at);
    if (got != 0) return got > 0 ? at : nullptr;
  }
  auto last = steps ? f->ahead.find(key) : f->ahead.end();
  const bool next = last != f->ahead.end() && start[0] == last->second.first + last->second.steps;
  // Only a slab the helper decodes (the step before came in the block) is
  // asked for ahead: one the file holds as it is the program reads faster
  // than a handover between two processors costs.
  const bool small = nbytes <= kSmallSlab;
  const bool loop = steps && !small && next && last->second.at.empty() && pairwork::twocpus();
  slabread r;
  r.name = f->name;
  r.varid = varid;
  r.start = start;
  r.count = count;
  r.nbytes = nbytes;
  // A small slab's values come cheaper from one read of the library than
  // its place from the file's index.
  r.flags = bounded ? READ_BOUNDED : (loop ? READ_LOOP : (f->held.get() >= 0 && !small ? READ_PLACE : 0));
  const uint32_t asked = next ? std::min(kMostAhead, 2 * last->second.asked) : 1;
  r.places_ahead = (r.flags & READ_PLACE) != 0 ? asked : 1;
  r.steps_ahead = small && !bounded ? asked : 1;
  r.opened = f->opened;
  slabgot got;
  int rc = helper_read(r, &got);
  if (steps && rc > 0) {
    if (f->ahead.size() >= kAheadKeys && last == f->ahead.end()) f->ahead.clear();
    aheadrun& run = f->ahead[key];
    run.first = start[0];
    run.asked = asked;
    run.at = got.places;
    run.values.clear();
    if (rc == READ_IN_BLOCK && small) run.values.assign(static_cast<const char*>(got.at), got.steps * nbytes);
    run.steps = rc == READ_IN_FILE ? run.at.size() : got.steps;
  }
  if (loop && rc == READ_IN_BLOCK) {
    r.start[0]++;
    helper_read_later(r);
  }
  if (rc == READ_IN_FILE && place != nullptr) {
    *place = slabplace{f->held.get(), got.places[0], false};
    return place;
  }
  if (rc == READ_IN_FILE) {
    // Not read: the file cut since it was opened, say, as the library
    // would not read it either.
    void* to = into(buf, nbytes);
    if (to != nullptr && read_in_file(f->held.get(), got.places[0], nbytes, to) > 0) return to;
    rc = 0;
  }
  const char* name = f->name.c_str();
  *unheld = rc == HELPER_NONE && !is_hdf4_file(name) && !is_hdf5_file(name);
  if (*unheld) return nullptr;
  said_unread(f->name, rc);
  return rc == READ_IN_BLOCK ? got.at : nullptr;
}

// The values of a coordinate the helper gave with the file's description,
// where they hold the slab: start and count along its one dimension.
const void* from_coords(const openfile& f, int varid, const std::vector<size_t>& start,
                        const std::vector<size_t>& count, size_t nbytes) {
  auto it = f.coords.find(varid);
  if (it == f.coords.end() || start.size() != 1 || count.size() != 1 || count[0] == 0 || nbytes % count[0] != 0)
    return nullptr;
  const size_t size = nbytes / count[0], have = it->second.size() / (size != 0 ? size : 1);
  if (size == 0 || it->second.size() % size != 0 || count[0] > have || start[0] > have - count[0]) return nullptr;
  return it->second.data() + start[0] * size;
}

// A netCDF file the helper held, opened here once no helper can be
// started, as any netCDF file is then; false when the library refuses it.
bool take_over(openfile* f) {
  int id = -1;
  if (!open_netcdf(f->name.c_str(), &id)) return false;
  openfile here = std::move(openfiles()[id]);
  openfiles().erase(id);
  f->kind = here.kind;
  f->libid = here.libid;
  f->lists = here.lists;
  f->held = std::move(here.held);
  return true;
}

// Reads a slab of f: where the program reads it itself, into buf (or its
// own buffer where buf is null); else where the helper puts it.  Where its
// values are, or nullptr.
const void* read_slab(openfile* f, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                      void* buf, size_t nbytes, bool bounded, slabplace* place = nullptr) {
  if (f->classic) {
    // A classic file cut short since it was opened reads no zeros for
    // what it lost, whoever reads it.
    if (!f->classic->holds(varid, start, count)) return nullptr;
    if (place != nullptr && f->classic->run_of(varid, start, count, 4, nbytes, &place->offset)) {
      place->fd = f->classic->fd();
      place->swap = true;
      return place;
    }
    void* to = into(buf, nbytes);
    const int direct = to == nullptr ? -1 : f->classic->read_values(varid, start, count, to, nbytes);
    if (direct != 0) return direct > 0 ? to : nullptr;
  }
  if (f->kind == KIND_REMOTE) {
    // The helper sees whether the file was cut since it was opened.
    if (bounded) {
      if (const void* at = from_coords(*f, varid, start, count, nbytes)) return at;
    }
    bool unheld = false;
    const void* at = read_remote(f, varid, start, count, buf, nbytes, bounded, place, &unheld);
    if (!unheld || !take_over(f)) return at;
  }
  // A file cut short since it was opened fails: the libraries would read
  // what it lost as zeros.
  const int64_t size = size_now(f->held);
  if (size >= 0 && size < f->opened.size) return nullptr;
  void* to = into(buf, nbytes);
  return to != nullptr && read_here(*f, varid, start, count, to, nbytes, bounded, size) ? to : nullptr;
}

openfile* find(int id) {
  auto it = openfiles().find(id);
  return it == openfiles().end() ? nullptr : &it->second;
}

}  // namespace

int read_netcdf_data(int id, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                     void* buf, size_t nbytes, bool bounded) {
  openfile* f = find(id);
  const void* at = f != nullptr ? read_slab(f, varid, start, count, buf, nbytes, bounded) : nullptr;
  if (at == nullptr) return 0;
  if (at != buf) std::memcpy(buf, at, nbytes);
  return 1;
}

const void* read_netcdf_slab(int id, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                             size_t nbytes, bool bounded, slabplace* place) {
  openfile* f = find(id);
  if (place != nullptr) *place = slabplace();
  return f != nullptr ? read_slab(f, varid, start, count, nullptr, nbytes, bounded, place) : nullptr;
}

bool netcdf_slab_place(int id, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                       size_t nbytes, slabplace* place) {
  openfile* f = find(id);
  if (f == nullptr) return false;
  if (f->classic) {
    if (!f->classic->holds(varid, start, count) ||
        !f->classic->run_of(varid, start, count, 4, nbytes, &place->offset))
      return false;
    place->fd = f->classic->fd();
    place->swap = true;
    return true;
  }
  if (f->kind != KIND_REMOTE || start.empty() || count[0] != 1) return false;
  // Only a step the helper placed: a value the helper gave is no place.
  const void* at = nullptr;
  return from_ahead(f, ahead_key(varid, start, count), start[0], nullptr, nbytes, place, &at) > 0 && at == place;
}

bool read_place(const slabplace& place, size_t first, size_t n, void* to) {
  if (read_in_file(place.fd, place.offset + first * 4, n * 4, to) <= 0) return false;
  if (place.swap) swap_words(to, to, n);
  return true;
}

void netcdf_reads_release(bool all) {
  helper_settle();  // the block is not resized under a read made ahead
  if (all || room().capacity() > kKeptBetween) std::vector<unsigned char>().swap(room());
  block_trim(all);
  // What the helper gave ahead is no longer taken once the user may have
  // changed the files.
  if (all)
    for (auto& kv : openfiles()) kv.second.ahead.clear();
}

bool netcdf_raw_place(int id, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                      size_t nbytes, uint64_t* offset) {
  openfile* f = find(id);
  if (f == nullptr || f->kind != KIND_NC || netcdf_slab_bytes(id, varid, count) != nbytes || nbytes == 0) return false;
  const varfacts& v = facts_of(*f, varid);
  if (v.name.empty()) return false;
  if (!f->raw) f->raw = std::make_shared<h5rawfile>(f->name);
  uint64_t end = 0;
  const int64_t size = size_now(f->held);
  return f->raw->run(v.name, v.type, v.dims, start, count, offset) &&
         !__builtin_add_overflow(*offset, nbytes, &end) && size >= 0 && end <= static_cast<uint64_t>(size);
}

size_t netcdf_steps_after(int id, int varid, size_t first) {
  openfile* f = find(id);
  if (f == nullptr || f->kind != KIND_NC) return 1;
  const varfacts& v = facts_of(*f, varid);
  if (v.name.empty() || v.dims.empty()) return 1;
  return first >= v.dims[0] ? 0 : v.dims[0] - first;
}

bool netcdf_holds_opened(int id, const fileident& opened) {
  const openfile* f = lookup(id);
  if (f == nullptr) return false;
  const fileident now = ident_of(f->held.get());
  if (now.size < 0) return true;
  return now.size >= f->opened.size && now.size >= opened.size &&
         (opened.ino == 0 || (now.dev == opened.dev && now.ino == opened.ino));
}

size_t netcdf_read_allowance(int id, int varid, size_t nbytes) {
  openfile* f = find(id);
  if (f == nullptr) return 0;
  const varfacts& v = facts_of(*f, varid);
  auto add = [](size_t a, size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; };
  auto times = [](size_t a, size_t b) { return b != 0 && a > SIZE_MAX / b ? SIZE_MAX : a * b; };
  return add(add(times(nbytes, 2), times(v.chunkbytes, 4)), v.cache);
}

size_t netcdf_slab_bytes(int id, int varid, const std::vector<size_t>& count) {
  openfile* f = find(id);
  if (f == nullptr || f->kind == KIND_REMOTE) return 0;
  const varfacts& v = facts_of(*f, varid);
  if (v.ndims != count.size()) return 0;
  size_t n = static_cast<size_t>(type_size(v.type));
  for (size_t c : count) {
    if (c != 0 && n > (size_t(1) << 40) / c) return 0;
    n *= c;
  }
  return n;
}

void netcdf_give_back() {
  hdf_release_buffers();
  h5_free_lists();
  malloc_trim(0);
}
