// The property lists and files netCDF leaves open in HDF5 at the open of a
// netCDF-4 file, found by their ids and closed.
#include "sdf/sdfh5left.h"

#include <hdf5.h>

#include <algorithm>

namespace {

// The id the next property list gets: a list made and closed at once.
// HDF5 hands out the ids of a kind in rising order and never again.
int64_t next_list() {
  hid_t p = -1;
  H5E_BEGIN_TRY { p = H5Pcreate(H5P_FILE_CREATE); }
  H5E_END_TRY;
  if (p < 0) return 0;
  H5Pclose(p);
  return static_cast<int64_t>(p) + 1;
}

bool open_fcpl(hid_t id) {
  if (H5Iis_valid(id) <= 0 || H5Iget_type(id) != H5I_GENPROP_LST) return false;
  hid_t c = H5Pget_class(id);
  if (c < 0) return false;
  const bool fcpl = H5Pequal(c, H5P_FILE_CREATE) > 0;
  H5Pclose_class(c);
  return fcpl;
}

// The ids of what is open of the given kinds, in one file or in all.
std::vector<hid_t> open_ids(hid_t file, unsigned kinds) {
  std::vector<hid_t> ids;
  const ssize_t n = H5Fget_obj_count(file, kinds);
  if (n <= 0) return ids;
  ids.resize(static_cast<size_t>(n));
  const ssize_t got = H5Fget_obj_ids(file, kinds, ids.size(), ids.data());
  ids.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return ids;
}

}  // namespace

h5span h5span_begin() {
  h5span s;
  s.from = next_list();
  return s;
}

void h5span_end(h5span* s) {
  const int64_t next = s->from > 0 ? next_list() : 0;
  s->to = next > s->from ? next - 1 : s->from;  // the mark made here is no list of the open
}

void h5span_sweep(const h5span& s) {
  H5E_BEGIN_TRY {
    for (int64_t id = s.from; id < s.to; id++)
      if (open_fcpl(static_cast<hid_t>(id))) H5Pclose(static_cast<hid_t>(id));
  }
  H5E_END_TRY;
}

std::vector<int64_t> h5files_open() {
  std::vector<int64_t> out;
  H5E_BEGIN_TRY {
    for (hid_t f : open_ids(H5F_OBJ_ALL, H5F_OBJ_FILE)) out.push_back(static_cast<int64_t>(f));
  }
  H5E_END_TRY;
  return out;
}

void h5files_close_since(const std::vector<int64_t>& before) {
  H5E_BEGIN_TRY {
    for (hid_t f : open_ids(H5F_OBJ_ALL, H5F_OBJ_FILE)) {
      if (std::find(before.begin(), before.end(), static_cast<int64_t>(f)) != before.end()) continue;
      const unsigned inside = H5F_OBJ_DATASET | H5F_OBJ_GROUP | H5F_OBJ_DATATYPE | H5F_OBJ_ATTR | H5F_OBJ_LOCAL;
      for (hid_t o : open_ids(f, inside)) {
        if (H5Iget_type(o) == H5I_ATTR) H5Aclose(o);
        else H5Oclose(o);
      }
      H5Fclose(f);
    }
  }
  H5E_END_TRY;
}

void h5_free_lists() { H5garbage_collect(); }
