// HDF4 scientific data sets through the netCDF-2 style calls of the HDF4
// library (sd_nc*).  Kept apart: its headers clash with netCDF's.
#include <hdf/mfhdf.h>

#include <string>
#include <vector>

#include "sdf/sdfint.h"

namespace {

// Runs one library call with its messages and exits switched off.
template <class F>
int quiet(F call) {
  int saved = sd_ncopts;
  sd_ncopts = 0;
  int rc = call();
  sd_ncopts = saved;
  return rc;
}

int sdf_type_of(int t) {
  // The HDF4 netCDF layer uses the classic codes 1..6.
  return (t >= 1 && t <= 6) ? t : 0;
}

}  // namespace

int hdf_open(const char* name) {
  return quiet([&] { return sd_ncopen(name, 0 /* read only */); });
}

int hdf_close(int hid) { return quiet([&] { return sd_ncclose(hid); }) == -1 ? 0 : 1; }

int hdf_inquire(int hid, int* ndims, int* nvars, int* ngatts, int* recdim) {
  return quiet([&] { return sd_ncinquire(hid, ndims, nvars, ngatts, recdim); }) == -1 ? 0 : 1;
}

int hdf_diminq(int hid, int dimid, std::string* name, long* len) {
  char buf[H4_MAX_NC_NAME + 1] = {0};
  if (quiet([&] { return sd_ncdiminq(hid, dimid, buf, len); }) == -1) return 0;
  *name = buf;
  return 1;
}

int hdf_varinq(int hid, int varid, std::string* name, int* type, std::vector<int>* dimids,
               int* natts) {
  char buf[H4_MAX_NC_NAME + 1] = {0};
  int ids[H4_MAX_VAR_DIMS + 1];
  nc_type t;
  int nd = 0;
  int na = 0;
  if (quiet([&] { return sd_ncvarinq(hid, varid, buf, &t, &nd, ids, &na); }) == -1) return 0;
  if (nd < 0 || nd > H4_MAX_VAR_DIMS) return 0;
  *name = buf;
  *type = sdf_type_of(static_cast<int>(t));
  dimids->assign(ids, ids + nd);
  *natts = na;
  return 1;
}

int hdf_attname(int hid, int varid, int n, std::string* name) {
  char buf[H4_MAX_NC_NAME + 1] = {0};
  if (quiet([&] { return sd_ncattname(hid, varid, n, buf); }) == -1) return 0;
  *name = buf;
  return 1;
}

int hdf_attinfo(int hid, int varid, const char* name, netcdf_att* att) {
  nc_type t;
  int len = 0;
  if (quiet([&] { return sd_ncattinq(hid, varid, name, &t, &len); }) == -1) return 0;
  int st = sdf_type_of(static_cast<int>(t));
  if (st == 0) return -1;
  if (len < 0 || len > 100000000) return 0;
  att->attname = name;
  att->nctype = st;
  att->count = len;
  att->values.assign(static_cast<size_t>(len) * static_cast<size_t>(type_size(st)) + 1, 0);
  if (len > 0 && quiet([&] { return sd_ncattget(hid, varid, name, att->values.data()); }) == -1)
    return 0;
  if (st != SDF_CHAR && st != SDF_BYTE) att->values.pop_back();
  return 1;
}

int hdf_varget(int hid, int varid, const std::vector<size_t>& start,
               const std::vector<size_t>& count, void* buf) {
  std::vector<long> s(start.begin(), start.end());
  std::vector<long> c(count.begin(), count.end());
  return quiet([&] { return sd_ncvarget(hid, varid, s.data(), c.data(), buf); }) == -1 ? 0 : 1;
}
