#include "plot/ncsave.h"

#include <netcdf.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/endhold.h"
#include "base/omprnt.h"
#include "base/replfile.h"
#include "base/replsig.h"

struct ncsave::impl {
  replfile r;
  std::string name;
  int ncid = -1;
  int timevar = -1;
  std::vector<int> varids;
  bool haslev = false;
  size_t nlat = 0, nlon = 0;
};

namespace {

bool ok(int status, const std::string& name, const char* what) {
  if (status == NC_NOERR) return true;
  omprntf(0, "SAVE error:  %s %s: %s\n", what, replshownname(name).c_str(), nc_strerror(status));
  return false;
}

int puttext(int ncid, int var, const char* att, const std::string& text) {
  return nc_put_att_text(ncid, var, att, text.size(), text.c_str());
}

// A coordinate variable of one dimension with its attributes.
int defcoord(int ncid, const char* name, size_t n, bool unlimited, const char* units, const char* axis,
             const char* stdname, int* dim, int* var) {
  int s = nc_def_dim(ncid, name, unlimited ? NC_UNLIMITED : n, dim);
  if (s == NC_NOERR) s = nc_def_var(ncid, name, NC_DOUBLE, 1, dim, var);
  if (s == NC_NOERR && stdname) s = puttext(ncid, *var, "standard_name", stdname);
  if (s == NC_NOERR) s = puttext(ncid, *var, "long_name", stdname ? stdname : "level");
  if (s == NC_NOERR) s = puttext(ncid, *var, "units", units);
  if (s == NC_NOERR) s = puttext(ncid, *var, "axis", axis);
  return s;
}

// Bytes of data the file will hold: past what the classic format's
// offsets reach, the 64-bit offset form of it is written.
double databytes(const ncsavelayout& lay) {
  double n = static_cast<double>(lay.lon.size()) * lay.lat.size() * (lay.haslev ? lay.lev.size() : 1);
  return n * 4.0 * static_cast<double>(lay.steps) * static_cast<double>(lay.vars.size());
}

int define(int ncid, const ncsavelayout& lay, int* timevar, std::vector<int>* varids) {
  int dtime, dlev = -1, dlat, dlon, vlon, vlat, vlev = -1;
  int s = defcoord(ncid, "time", 0, true, lay.timeunits.c_str(), "T", "time", &dtime, timevar);
  if (s == NC_NOERR) s = puttext(ncid, *timevar, "calendar", lay.calendar);
  if (s == NC_NOERR && lay.haslev)
    s = defcoord(ncid, "lev", lay.lev.size(), false, lay.levunits.c_str(), "Z", nullptr, &dlev, &vlev);
  if (s == NC_NOERR && lay.haslev) s = puttext(ncid, vlev, "positive", lay.levpositive);
  if (s == NC_NOERR) s = defcoord(ncid, "lat", lay.lat.size(), false, "degrees_north", "Y", "latitude", &dlat, &vlat);
  if (s == NC_NOERR) s = defcoord(ncid, "lon", lay.lon.size(), false, "degrees_east", "X", "longitude", &dlon, &vlon);
  if (s == NC_NOERR) s = puttext(ncid, NC_GLOBAL, "Conventions", "CF-1.8");
  if (s == NC_NOERR && !lay.title.empty()) s = puttext(ncid, NC_GLOBAL, "title", lay.title);
  int dims[4] = {dtime, dlev, dlat, dlon};
  if (!lay.haslev) {
    dims[1] = dlat;
    dims[2] = dlon;
  }
  const int nd = lay.haslev ? 4 : 3;
  for (const ncsavevar& v : lay.vars) {
    int id = -1;
    if (s == NC_NOERR) s = nc_def_var(ncid, v.name.c_str(), NC_FLOAT, nd, dims, &id);
    if (s == NC_NOERR && lay.nc4) {
      size_t chunk[4] = {1, 1, lay.lat.size(), lay.lon.size()};
      if (lay.haslev) chunk[1] = 1;
      else {
        chunk[1] = lay.lat.size();
        chunk[2] = lay.lon.size();
      }
      s = nc_def_var_chunking(ncid, id, NC_CHUNKED, chunk);
      if (s == NC_NOERR) s = nc_def_var_deflate(ncid, id, 1, 1, lay.deflate);
    }
    if (s == NC_NOERR && !v.longname.empty()) s = puttext(ncid, id, "long_name", v.longname);
    if (s == NC_NOERR) s = nc_put_att_float(ncid, id, "_FillValue", NC_FLOAT, 1, &v.fill);
    if (s == NC_NOERR) s = nc_put_att_float(ncid, id, "missing_value", NC_FLOAT, 1, &v.fill);
    varids->push_back(id);
  }
  if (s == NC_NOERR) s = nc_enddef(ncid);
  if (s == NC_NOERR) s = nc_put_var_double(ncid, vlat, lay.lat.data());
  if (s == NC_NOERR) s = nc_put_var_double(ncid, vlon, lay.lon.data());
  if (s == NC_NOERR && lay.haslev) s = nc_put_var_double(ncid, vlev, lay.lev.data());
  return s;
}

// Closes the descriptors other than fd that this process holds of fd's
// file.
void closeclones(int fd) {
  struct stat mine;
  if (fstat(fd, &mine) != 0) return;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return;
  std::vector<int> others;
  while (struct dirent* e = readdir(d)) {
    const int k = std::atoi(e->d_name);
    struct stat st;
    if (k <= 2 || k == fd || k == dirfd(d) || fstat(k, &st) != 0) continue;
    if (st.st_dev == mine.st_dev && st.st_ino == mine.st_ino) others.push_back(k);
  }
  closedir(d);
  for (int k : others) close(k);
}

// Takes room for the whole file before the library writes a byte, so that
// a disk (or a file size limit) that cannot hold it refuses the save here
// rather than failing a write halfway: after a failed write the netCDF-4
// library can neither finish nor give up the file without ending the
// program.  Where the file system takes no reservation, nothing is taken.
bool reserve(int fd, const ncsavelayout& lay, const std::string& name) {
  double n = databytes(lay) + 4096.0 + 512.0 * static_cast<double>(lay.vars.size()) +
             16.0 * static_cast<double>(lay.lon.size() + lay.lat.size() + lay.lev.size() + lay.steps);
  if (lay.nc4) n = n * 1.02 + 65536.0;
  struct rlimit rl;
  int err = 0;
  if (getrlimit(RLIMIT_FSIZE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && n > static_cast<double>(rl.rlim_cur))
    err = EFBIG;
  else if (n < 9e18 && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(n)) != 0 && errno != EOPNOTSUPP &&
           errno != ENOSYS)
    err = errno;
  if (err == 0) return true;
  omprntf(0, "SAVE error:  Cannot write %s: %s\n", replshownname(name).c_str(), std::strerror(err));
  return false;
}

}  // namespace

ncsave::ncsave() : p_(new impl) {}

ncsave::~ncsave() { discard(); }

bool ncsave::open(const char* name, const ncsavelayout& lay) {
  impl& p = *p_;
  p.name = name;
  p.haslev = lay.haslev;
  p.nlat = lay.lat.size();
  p.nlon = lay.lon.size();
  {
    // From the making of the part file until it is known here, an ending
    // signal waits: none leaves a part file nobody knows of.
    endhold hold;
    // An older plain file that would be written in place is copied over
    // at the end instead, so it too keeps its bytes until the file is
    // whole.
    if (!replopen(name, nullptr, &p.r, &hold, REPL_COPY)) {
      omprntf(0, "SAVE error:  Cannot open %s: %s\n", replshownname(name).c_str(), std::strerror(errno));
      omprnt(0, p.r.note);
      p.r = replfile();
      return false;
    }
  }
  if (!p.r.regular) {
    omprntf(0, "SAVE error:  %s is no plain file: a netCDF file cannot be written there\n",
            replshownname(name).c_str());
    replleave(&p.r);
    p.r = replfile();
    return false;
  }
  // The library opens the file made above through its descriptor, never
  // by its name again: whatever happens to the name meanwhile, the file
  // written is the one the rules were applied to.
  const std::string path = "/proc/self/fd/" + std::to_string(p.r.fd);
  int mode = NC_CLOBBER;
  if (lay.nc4) mode |= NC_NETCDF4;
  else if (databytes(lay) > 2.0e9) mode |= NC_64BIT_OFFSET;
  int ncid = -1;
  // The classic library writes through a buffer of this size: its
  // default of a few kilobytes costs a system call (and a seek) each.
  size_t chunk = 1 << 18;
  int s = nc__create(access(path.c_str(), F_OK) == 0 ? path.c_str() : (p.r.part.empty() ? name : p.r.part.c_str()),
                     mode, 0, &chunk, &ncid);
  if (!ok(s, name, "Cannot create")) {
    discard();
    return false;
  }
  p.ncid = ncid;
  if (!reserve(p.r.fd, lay, name)) {
    discard();
    return false;
  }
  // Every value is written once: the library's filling of new steps
  // first would write the file twice.
  int old;
  s = nc_set_fill(ncid, NC_NOFILL, &old);
  if (s == NC_NOERR) s = define(ncid, lay, &p.timevar, &p.varids);
  if (!ok(s, name, "Cannot define")) {
    discard();
    return false;
  }
  return true;
}

bool ncsave::put(size_t v, size_t t, size_t z, size_t nz, const float* data) {
  impl& p = *p_;
  size_t start[4] = {t, z, 0, 0}, count[4] = {1, nz, p.nlat, p.nlon};
  if (!p.haslev) {
    start[1] = 0;
    count[1] = p.nlat;
    count[2] = p.nlon;
  }
  return ok(nc_put_vara_float(p.ncid, p.varids[v], start, count, data), p.name, "Cannot write");
}

bool ncsave::puttime(size_t t, double value) {
  impl& p = *p_;
  return ok(nc_put_var1_double(p.ncid, p.timevar, &t, &value), p.name, "Cannot write");
}

bool ncsave::close() {
  impl& p = *p_;
  const int s = nc_close(p.ncid);
  p.ncid = -1;
  if (!ok(s, p.name, "Cannot finish")) {
    discard();
    return false;
  }
  // What the reservation took past the end of the file goes back.
  struct stat st;
  if (fstat(p.r.fd, &st) == 0) (void)!ftruncate(p.r.fd, st.st_size);
  // Between the finished file and its name an ending signal waits: the
  // whole file is not left under its part name.
  endhold hold;
  hold.hold();
  const int rc = replcommit(&p.r);
  hold.release();
  if (rc == REPL_DONE) return true;
  if (rc == REPL_KEPT) {
    omprnt(0, p.r.note);
  } else {
    omprntf(0, "SAVE error:  Cannot finish %s: %s\n", replshownname(p.name).c_str(), std::strerror(errno));
  }
  return false;
}

void ncsave::discard() {
  impl& p = *p_;
  if (p.ncid >= 0) nc_abort(p.ncid);
  p.ncid = -1;
  if (p.r.fd < 0) return;
  // A library whose last write failed (a full disk) may give up without
  // closing its own descriptor of the file: the room the part took comes
  // back only when every descriptor of it is closed.
  if (p.r.regular && !p.r.part.empty()) {
    (void)!ftruncate(p.r.fd, 0);
    closeclones(p.r.fd);
  }
  repldiscard(&p.r);
}
