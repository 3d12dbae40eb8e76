// Helpers of the self-describing file tests: files made at test time with
// ncgen, a fresh temporary directory per test, and opening through the
// sdfopen opener on a private common state.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <netcdf.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/gridres.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

namespace sdftest {

// One directory per test run, removed at exit (of the process that made
// it, not of a child a test forks).
struct scratch {
  std::string dir;
  pid_t owner = getpid();
  scratch() {
    char tmpl[] = "/tmp/ombra_sdf_XXXXXX";
    const char* d = mkdtemp(tmpl);
    dir = d != nullptr ? d : "";
  }
  ~scratch() {
    std::error_code ec;
    if (!dir.empty() && getpid() == owner) std::filesystem::remove_all(dir, ec);
  }
};

inline std::string tmpdir() {
  static scratch s;
  return s.dir.empty() ? std::string("/tmp") : s.dir;
}

inline void write_text(const std::string& path, const std::string& text) {
  std::ofstream f(path);
  f << text;
}

// Makes name.nc (or the given path) from CDL; kind "" classic, "nc4" netCDF-4.
inline std::string make_nc(const std::string& name, const std::string& cdl,
                           const std::string& kind = "") {
  std::string base = tmpdir() + "/" + name;
  write_text(base + ".cdl", cdl);
  std::string out = base + ".nc";
  std::string cmd = "ncgen " + (kind.empty() ? std::string() : "-k " + kind + " ") + "-o '" + out +
                    "' '" + base + ".cdl'";
  if (std::system(cmd.c_str()) != 0) return std::string();
  return out;
}

// Defines, in a netCDF file in define mode, the dimensions lon, lat and
// time (nt steps, NC_UNLIMITED for a record dimension) with coordinate
// variables and their units, and the float variable v(time, lat, lon):
// its id, those of lon, lat and time in ids.
inline int def_lonlattime_v(int nc, size_t nx, size_t ny, size_t nt, int ids[3]) {
  int dx, dy, dt, vv = -1;
  nc_def_dim(nc, "lon", nx, &dx);
  nc_def_dim(nc, "lat", ny, &dy);
  nc_def_dim(nc, "time", nt, &dt);
  nc_def_var(nc, "lon", NC_FLOAT, 1, &dx, &ids[0]);
  nc_put_att_text(nc, ids[0], "units", 12, "degrees_east");
  nc_def_var(nc, "lat", NC_FLOAT, 1, &dy, &ids[1]);
  nc_put_att_text(nc, ids[1], "units", 13, "degrees_north");
  nc_def_var(nc, "time", NC_DOUBLE, 1, &dt, &ids[2]);
  nc_put_att_text(nc, ids[2], "units", 31, "hours since 2000-01-01 00:00:00");
  const int dims[3] = {dt, dy, dx};
  nc_def_var(nc, "v", NC_FLOAT, 3, dims, &vv);
  return vv;
}

inline bool have_ncgen() { return std::system("command -v ncgen >/dev/null 2>&1") == 0; }

// A private common state with an empty file list.
struct state {
  cmnstate* pcm;
  state() {
    pcm = new cmnstate();
    pcm->fileserial = 10;
  }
  ~state() {
    datafile* p = pcm->filehead;
    while (p != nullptr) {
      datafile* n = p->pforw;
      if (p->sdf != nullptr) close_netcdf(p->sdf->ncid);
      frepfi(p, 0);
      p = n;
    }
    delete pcm;
  }
  datafile* last() {
    datafile* p = pcm->filehead;
    while (p != nullptr && p->pforw != nullptr) p = p->pforw;
    return p;
  }
};

// A record the opener returned joins the private file list with the next
// serial number, as the command layer adds it (the messages and default
// dimensions of the command are tested with the commands).
inline int addopened(state& st, int rc, datafile* pfi) {
  if (rc != 0 || pfi == nullptr) return rc;
  pfi->fnum = ++st.pcm->fileserial;
  omaddfile(st.pcm, pfi);
  return 0;
}

inline int open_quiet(state& st, const std::string& args, std::string* out = nullptr) {
  testing::internal::CaptureStdout();
  datafile* pfi = nullptr;
  int rc = omsdfopen(args.c_str(), st.pcm, &pfi);
  rc = addopened(st, rc, pfi);
  std::string o = testing::internal::GetCapturedStdout();
  if (out != nullptr) *out = o;
  return rc;
}

// A request for one variable: idim/jdim varying (-1 none) over the ranges.
struct request {
  gridres g{};
  filevar var;
  std::vector<float> vals;
  request(datafile* pfi, const std::string& name, int idim, int jdim, const int lo[4],
          const int hi[4]) {
    var.abbrv = name;
    g.pfi = pfi;
    g.pvar = &var;
    g.idim = idim;
    g.jdim = jdim;
    for (int d = 0; d < 4; d++) {
      g.dimmin[d] = lo[d];
      g.dimmax[d] = hi[d];
    }
    g.isiz = idim >= 0 ? hi[idim] - lo[idim] + 1 : 1;
    g.jsiz = jdim >= 0 ? hi[jdim] - lo[jdim] + 1 : 1;
    vals.assign(static_cast<size_t>(g.isiz * g.jsiz), 12345.0f);
    g.grid = vals.data();
  }
  int read(std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int rc = omgsdf(&g, vals.data());
    std::string o = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    if (out != nullptr) *out = o;
    return rc;
  }
  float at(int i, int j = 0) const { return vals[static_cast<size_t>(j * g.isiz + i)]; }
};

// A size of the process's /proc status in kB ("VmRSS"); -1 when absent.
inline long own_kb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

// The peak resident size is made the present one (where the kernel
// allows it): VmHWM then tells the peak since.
inline void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Open file descriptors of the process, to see that failures close files.
inline int open_fds() {
  int n = 0;
  for (int fd = 0; fd < 4096; fd++)
    if (fcntl(fd, F_GETFD) != -1) n++;
  return n;
}

// The descriptors the running helper holds open; -1 when none runs.
inline int helper_fds() {
  const int pid = helper_pid();
  if (pid <= 0) return -1;
  std::error_code ec;
  int n = 0;
  for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
       it.increment(ec))
    n++;
  return ec ? -1 : n;
}

// Stops the running helper; false when none runs.  Never kill(-1, ...):
// a pid of -1 would stop every process this user may signal.
inline bool stop_helper() {
  const int pid = helper_pid();
  return pid > 0 && kill(pid, SIGSTOP) == 0;
}

}  // namespace sdftest
