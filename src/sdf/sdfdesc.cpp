// The in-memory description of an open file: reading it, copying it,
// freeing it, and looking things up in it.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/omprnt.h"
#include "data/datafile.h"
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
  size_t n = 1;
  for (size_t c : count) {
    if (c != 0 && n > (size_t(1) << 40) / c) return 0;
    n *= c;
  }
  try {
    v->data.resize(n * static_cast<size_t>(sz));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (n == 0) return 1;
  return read_netcdf_data(ncid, v->varid, start, count, v->data.data());
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

int read_description(io_std* io) {
  int nd = 0, nv = 0, ng = 0, rd = -1;
  if (!inq_netcdf(io->ncid, &nd, &nv, &ng, &rd)) return 0;
  if (nd > SDF_MAX_DIMS) {
    std::fprintf(stderr, "Only first %d dimensions processed; library limit.\n", SDF_MAX_DIMS);
    nd = SDF_MAX_DIMS;
  }
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

// Damaged files can make the netCDF, HDF5 or HDF4 library crash while it
// opens, inquires or closes them (a stack smash in HDF4's open, a double
// free, a wild read in netCDF-4's variable inquiry).  Every file is first
// opened, described and closed by a helper process, with its small
// one-dimensional variables read as the open reads the coordinates; when
// the helper dies on a file the file is refused and the program goes on
// with its defined variables and open output intact.  Crashes while data is
// read later are not covered.
//
// The helper is forked once and kept: forking for each file would cost a
// copy of the page tables, and then page faults as the program writes its
// memory again, both growing with the program's size (several milliseconds
// each time on an ordinary session).  It ends when the program does (its
// end of the socket reads end of file).
struct probehelper {
  pid_t pid = -1;
  int fd = -1;
};

probehelper& helper() {
  static probehelper h;
  return h;
}

bool readall(int fd, void* buf, size_t n) {
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t r = ::read(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool sendall(int fd, const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

void describe_and_close(const char* name) {
  int id = -1;
  if (!open_netcdf(name, &id)) return;
  io_std io;
  io.ncid = id;
  try {
    if (read_description(&io)) {
      for (var_info& v : io.varlist) {
        if (v.ndims != 1 || v.dimids[0] < 0 || v.dimids[0] >= io.ndims) continue;
        if (io.dimlens[static_cast<size_t>(v.dimids[0])] > 1000000) continue;
        read_one_dimension(&io, &v, v.dimids[0]);
      }
    }
  } catch (const std::bad_alloc&) {
  }
  close_netcdf(id);
}

// The helper's loop: a name (length, then bytes) in, one byte out once the
// file is described and closed.
[[noreturn]] void serve(int fd) {
  // An interrupt typed at the terminal is the program's to handle.
  signal(SIGINT, SIG_IGN);
  // Only the socket is kept: files the program has open (an output file
  // being written, the window's connection) must not stay open, or locked,
  // in the helper after the program closes them.
  if (fd != 3) {
    if (dup2(fd, 3) < 0) _exit(0);
    fd = 3;
  }
  if (close_range(4, ~0U, 0) != 0) {
    for (int k = 4; k < 1024; k++) close(k);
  }
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (null > 3) close(null);
  }
  for (;;) {
    uint32_t len = 0;
    if (!readall(fd, &len, sizeof len) || len == 0 || len > 65536) _exit(0);
    std::string name(len, '\0');
    if (!readall(fd, &name[0], len)) _exit(0);
    describe_and_close(name.c_str());
    const char done = 1;
    if (!sendall(fd, &done, 1)) _exit(0);
  }
}

bool start_helper() {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid < 0) {
    close(sv[0]);
    close(sv[1]);
    return false;
  }
  if (pid == 0) {
    close(sv[0]);
    serve(sv[1]);
  }
  close(sv[1]);
  helper() = probehelper{pid, sv[0]};
  return true;
}

// 1 the helper came through the file, 0 it ended before answering (a
// crash; under a checking allocator a report and exit), -1 no helper to be
// had (the file is then opened without a probe).
int ask_helper(const char* name) {
  if (helper().fd < 0 && !start_helper()) return -1;
  const int fd = helper().fd;
  const pid_t pid = helper().pid;
  const uint32_t len = static_cast<uint32_t>(std::strlen(name));
  char done = 0;
  if (len > 0 && len <= 65536 && sendall(fd, &len, sizeof len) && sendall(fd, name, len) &&
      readall(fd, &done, 1))
    return 1;
  close(fd);
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid, &status, 0);
  } while (r < 0 && errno == EINTR);
  helper() = probehelper{};
  return r == pid ? 0 : -1;
}

bool probe_survives(const char* name) {
  if (std::strlen(name) > 65536) return true;
  int r = ask_helper(name);
  // A helper that died may have been left damaged by an earlier file; a
  // fresh one must die on this file too before it is refused.
  if (r == 0) r = ask_helper(name);
  return r != 0;
}

}  // namespace

int read_io_std(const char* name, io_std* io) {
  if (name == nullptr || *name == '\0') return 0;
  if (!probe_survives(name)) {
    omprntf(0, "SDFOPEN error:  %s is damaged: the netCDF/HDF library fails on it.\n", name);
    return 0;
  }
  int id = -1;
  if (!open_netcdf(name, &id)) {
    omprntf(0, "%s does not exist or is not a netCDF/HDF-SDS file.\n", name);
    return 0;
  }
  io->ncid = id;
  io->owns_file = true;
  try {
    if (read_description(io)) return 1;
  } catch (const std::bad_alloc&) {
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
