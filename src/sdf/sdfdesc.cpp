// The in-memory description of an open file: reading it, copying it,
// freeing it, and looking things up in it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/errout.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/userlook.h"
#include "base/useropen.h"
#include "data/datafile.h"
#include "data/gridres.h"
#include "sdf/sdfint.h"

int type_size(int nctype) {
  switch (nctype) {
    case SDF_BYTE: case SDF_CHAR: case SDF_UBYTE: return 1;
    case SDF_SHORT: case SDF_USHORT: return 2;
    case SDF_LONG: case SDF_FLOAT: case SDF_UINT: return 4;
    case SDF_DOUBLE: case SDF_INT64: case SDF_UINT64: return 8;
    default: return 0;
  }
}

int init_io_std(io_std** pio) {
  free_io_std(pio);
  *pio = new (std::nothrow) io_std();
  if (*pio == nullptr) {
    omprnt(0, "Could not allocate memory for netCDF/HDF-SDS structure.\n");
    return 0;
  }
  return 1;
}

void free_io_std(io_std** pio) {
  if (pio == nullptr || *pio == nullptr) return;
  io_std* io = *pio;
  // A description that opened its file closes it, unless the close command
  // already did (close_netcdf then refuses the id).
  if (io->owns_file && io->ncid != -1) close_netcdf(io->ncid);
  delete io;
  *pio = nullptr;
}

void sdf_bind(datafile* pfi) {
  pfi->sdfread = omgsdf;
  pfi->sdfplace = omgsdfplace;
  pfi->sdffree = free_io_std;
}

int copy_io_std(io_std** dst, const io_std* src) {
  free_io_std(dst);
  try {
    *dst = new io_std(*src);
  } catch (const std::bad_alloc&) {
    *dst = nullptr;
  }
  if (*dst == nullptr) {
    omprnt(0, "Could not allocate memory for netCDF/HDF-SDS structure.\n");
    return 0;
  }
  (*dst)->owns_file = false;  // the copy shares the id; only the source closes it
  for (var_info& v : (*dst)->varlist) v.data.clear();
  return 1;
}

const netcdf_att* find_att(const std::vector<netcdf_att>& atts, const char* name) {
  for (const netcdf_att& a : atts)
    if (a.attname == name) return &a;
  return nullptr;
}

std::string att_text(const std::vector<netcdf_att>& atts, const char* name) {
  const netcdf_att* a = find_att(atts, name);
  if (a == nullptr || a->nctype != SDF_CHAR || a->values.empty()) return std::string();
  return std::string(reinterpret_cast<const char*>(a->values.data()),
                     strnlen(reinterpret_cast<const char*>(a->values.data()),
                             static_cast<size_t>(a->count)));
}

var_info* find_var(io_std* io, const char* name) {
  for (var_info& v : io->varlist)
    if (v.ncname == name) return &v;
  return nullptr;
}

int find_dim(const io_std* io, const char* name) {
  for (int i = 0; i < io->ndims; i++)
    if (io->dimnames[static_cast<size_t>(i)] == name) return io->dimids[static_cast<size_t>(i)];
  return -1;
}

int find_dimix(const std::vector<int>& ids, int id) {
  for (size_t i = 0; i < ids.size(); i++)
    if (ids[i] == id) return static_cast<int>(i);
  return -1;
}

int read_variable_data(int ncid, var_info* v, const std::vector<size_t>& start,
                       const std::vector<size_t>& count) {
  int sz = type_size(v->nctype);
  if (sz == 0 || v->nctype == SDF_CHAR) return 0;
  // The values must fit what a grid may take, and what the file can hold:
  // a length from a damaged file is refused before anything is made for
  // it.
  const size_t most = omgcap() / static_cast<size_t>(sz);
  size_t n = 1;
  for (size_t c : count) {
    if (c != 0 && n > most / c) return 0;
    n *= c;
  }
  v->data.clear();
  if (n == 0) return 1;
  const size_t bytes = n * static_cast<size_t>(sz);
  const void* at = read_netcdf_slab(ncid, v->varid, start, count, bytes, true);
  if (at == nullptr) return 0;
  try {
    v->data.assign(static_cast<const unsigned char*>(at), static_cast<const unsigned char*>(at) + bytes);
  } catch (const std::bad_alloc&) {
    v->data.clear();
    return 0;
  }
  return 1;
}

int dim_length(const io_std* io, int dimid) {
  if (dimid < 0 || static_cast<size_t>(dimid) >= io->dimlens.size()) return -1;
  long len = io->dimlens[static_cast<size_t>(dimid)];
  return len >= 0 && len <= INT32_MAX ? static_cast<int>(len) : -1;
}

int read_one_dimension(io_std* io, var_info* v, int dimid) {
  if (dimid < 0 || dimid >= io->ndims || v->ndims < 1) return 0;
  std::vector<size_t> start(static_cast<size_t>(v->ndims), 0);
  std::vector<size_t> count(static_cast<size_t>(v->ndims), 1);
  count[0] = static_cast<size_t>(io->dimlens[static_cast<size_t>(dimid)]);
  return read_variable_data(io->ncid, v, start, count);
}

namespace {

int read_atts(int ncid, int varid, int natts, std::vector<netcdf_att>* list) {
  list->clear();
  for (int n = 0; n < natts; n++) {
    std::string name;
    if (!get_netcdf_attname(ncid, varid, n, &name)) return 0;
    netcdf_att a;
    int rc = get_netcdf_att_info(ncid, varid, name.c_str(), &a);
    if (rc == 0) return 0;
    if (rc < 0) continue;  // a type the system does not use
    list->push_back(std::move(a));
  }
  return 1;
}

int read_vars(io_std* io) {
  io->varlist.clear();
  int total = io->nvars;
  for (int id = 0; id < total; id++) {
    var_info v;
    v.varid = id;
    int natts = 0;
    if (!inq_netcdf_var(io->ncid, id, &v.ncname, &v.nctype, &v.dimids, &natts)) return 0;
    v.ndims = static_cast<int>(v.dimids.size());
    bool beyond = false;
    for (int d : v.dimids)
      if (d < 0 || d >= io->ndims) beyond = true;
    if (beyond) continue;  // uses a dimension past the kept ones
    if (!read_atts(io->ncid, id, natts, &v.atts)) return 0;
    v.natts = static_cast<int>(v.atts.size());
    io->varlist.push_back(std::move(v));
  }
  io->nvars = static_cast<int>(io->varlist.size());
  return 1;
}

}  // namespace

int read_description(io_std* io) {
  int nd = 0, nv = 0, ng = 0, rd = -1;
  if (!inq_netcdf(io->ncid, &nd, &nv, &ng, &rd)) return 0;
  io->dims_cut = nd > SDF_MAX_DIMS;
  if (io->dims_cut) nd = SDF_MAX_DIMS;
  io->ndims = nd;
  io->nvars = nv;
  io->recdim = rd;
  if (!read_atts(io->ncid, -1, ng, &io->gatts)) return 0;
  io->ngatts = static_cast<int>(io->gatts.size());
  io->dimids.assign(static_cast<size_t>(nd), -1);
  io->dimnames.assign(static_cast<size_t>(nd), std::string());
  io->dimlens.assign(static_cast<size_t>(nd), -1);
  for (int i = 0; i < nd; i++) {
    long len = 0;
    if (!inq_netcdf_dim(io->ncid, i, &io->dimnames[static_cast<size_t>(i)], &len)) return 0;
    io->dimids[static_cast<size_t>(i)] = i;
    io->dimlens[static_cast<size_t>(i)] = len;
  }
  if (!read_vars(io)) return 0;
  set_time_type(io);
  return 1;
}

namespace {

// The system's error opening a file the library could not open, 0 when
// the system opens it (the library refused what it holds).  Opened without
// waiting, so that a FIFO does not hold the open up.
int open_error(const char* name) {
  if (std::strstr(name, "://") != nullptr) return 0;  // a remote name: the library's alone
  int fd = ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

// Says why the library could not open a file: 1 when the reason is the
// file's own (not there, or not a netCDF/HDF file), 0 when the system
// refused it for a reason that may pass (permission, no descriptors left).
int report_unopened(const char* name) {
  const int err = open_error(name);
  if (err == 0 || err == ENOENT || err == ENOTDIR) {
    omprntf(0, "%s does not exist or is not a netCDF/HDF-SDS file.\n", replshownname(name).c_str());
    return 1;
  }
  omprntf(0, "SDFOPEN error:  %s: %s.\n", replshownname(name).c_str(), std::strerror(err));
  return 0;
}

// A name that is there but is no regular file nor a folder (a FIFO, a
// device, a socket) is refused (ESPIPE): a library opening it would wait
// for a writer for good, or read a stream it cannot seek.  A folder the
// libraries refuse at once themselves.  So is a name that leads through a
// link the rule of every file the user names bars (ENOLINK, useropen.h).
// The errno of the refusal, or 0.
int refused_name(const char* name) {
  if (std::strstr(name, "://") != nullptr) return 0;
  omlooked l;
  if (!omlook(name, &l)) return errno == ENOLINK ? ENOLINK : 0;
  return l.there && !S_ISREG(l.st.st_mode) && !S_ISDIR(l.st.st_mode) ? ESPIPE : 0;
}

void said_dims_cut(const io_std& io) {
  if (io.dims_cut) omerrf("Only first %d dimensions processed; library limit.\n", SDF_MAX_DIMS);
}

}  // namespace

bool helper_refused(const char* name, int answer, bool* passing) {
  *passing = false;
  switch (answer) {
    case HELPER_DIED:
      omprntf(0, "SDFOPEN error:  %s is damaged: the netCDF/HDF library fails on it.\n", replshownname(name).c_str());
      return true;
    case HELPER_TIMEOUT:
      *passing = true;
      omprntf(0, "SDFOPEN error:  %s: the netCDF/HDF library takes too long on it.\n", replshownname(name).c_str());
      return true;
    case HELPER_INTERRUPTED:
      *passing = true;
      omprntf(0, "SDFOPEN error:  %s: interrupted.\n", replshownname(name).c_str());
      return true;
    case HELPER_KILLED:
      *passing = true;
      omprntf(0, "SDFOPEN error:  %s: the helper process was ended from outside: %s.\n", replshownname(name).c_str(),
              helper_ended_how().c_str());
      return true;
    case HELPER_NOFILE:
      *passing = !report_unopened(name);
      return true;
    case HELPER_NODESC:
      return true;
    case HELPER_NOMEM:
      *passing = true;
      omprnt(0, "Could not allocate memory for variable information.\n");
      return true;
    default:
      return false;
  }
}

int read_io_std(const char* name, io_std* io, bool* passing) {
  bool dummy = false;
  bool& notfile = passing != nullptr ? *passing : dummy;
  notfile = false;
  if (name == nullptr || *name == '\0') return 0;
  if (const int why = refused_name(name)) {
    omprntf(0, "SDFOPEN error:  %s: %s.\n", replshownname(name).c_str(), omopenwhy(why));
    return 0;
  }
  std::map<int, std::string> coords;
  const int answer = helper_describe(name, io, &coords);
  if (helper_refused(name, answer, &notfile)) return 0;
  switch (answer) {
    case HELPER_NONE:
      // Opened here, a failure may be the system's as much as the file's
      // (no descriptor or process left).
      notfile = true;
      // The HDF4 and HDF5 libraries run nowhere but in a helper: damaged
      // files crash them, or hang them past any interrupt, in ways no check
      // made before can foresee.  A netCDF-4 file is an HDF5 file.
      if (is_hdf4_file(name)) {
        omprntf(0, "SDFOPEN error:  %s: the helper process could not be started: %s; an HDF file is not opened without it.\n",
                replshownname(name).c_str(), helper_failure().c_str());
        return 0;
      }
      if (is_hdf5_file(name)) {
        omprntf(0, "SDFOPEN error:  %s: the helper process could not be started: %s; a netCDF-4 or HDF5 file is not opened without it.\n",
                replshownname(name).c_str(), helper_failure().c_str());
        return 0;
      }
      // The netCDF library runs in the program, on a file whose classic
      // header it checks first.  Said once, and again when what fails
      // changes.
      if (helper_failure_untold())
        omprntf(0, "SDFOPEN notice:  %s: the helper process could not be started: %s; the program opens the file itself.\n",
                replshownname(name).c_str(), helper_failure().c_str());
      break;
    case HELPER_HELD: {
      // The helper holds the file and gave its description.
      int id = open_remote(name, *io, &coords);
      if (id == -1) {
        helper_close(name);
        return 0;
      }
      io->ncid = id;
      io->owns_file = true;
      set_time_type(io);
      said_dims_cut(*io);
      return 1;
    }
    default:
      return 0;
  }
  int id = -1;
  if (!open_netcdf(name, &id)) {
    if (!report_unopened(name)) notfile = true;
    return 0;
  }
  io->ncid = id;
  io->owns_file = true;
  try {
    if (read_description(io)) {
      netcdf_read_directly(id, *io);
      said_dims_cut(*io);
      return 1;
    }
  } catch (const std::bad_alloc&) {
    notfile = true;
    omprnt(0, "Could not allocate memory for variable information.\n");
  }
  close_netcdf(id);
  io->ncid = -1;
  io->owns_file = false;
  return 0;
}

void set_time_type(io_std* io) {
  io->time_style = 0;
  var_info* t = find_var(io, "time");
  if (t == nullptr) {
    for (var_info& v : io->varlist) {
      if (v.ndims != 1) continue;
      std::string u = att_text(v.atts, "units");
      if (!u.empty() && units_is_time(u.c_str())) {
        t = &v;
        break;
      }
    }
  }
  if (t == nullptr) return;
  const netcdf_att* u = find_att(t->atts, "units");
  if (u == nullptr) return;
  std::string text = att_text(t->atts, "units");
  bool yyyy = text.size() >= 4;
  for (size_t i = 0; yyyy && i < 4; i++) yyyy = (text[i] == 'y' || text[i] == 'Y');
  io->time_style = yyyy ? 0 : 1;
}
