// What the netCDF library leaves open in HDF5 when it opens a netCDF-4
// file: the property lists made during the open, told apart by their ids
// and closed once the file is closed, and after an open that failed the
// file itself.
#pragma once

#include <cstdint>
#include <vector>

// The ids of HDF5 property lists made from begin to end of one open:
// from <= id < to.  Empty (0, 0) when HDF5 could not be asked.
struct h5span {
  int64_t from = 0, to = 0;
};

// Marks the ids before an open, and after it.
h5span h5span_begin();
void h5span_end(h5span* s);

// Closes the file-creation property lists of the span that are still open:
// netCDF 4.9 asks HDF5 for one at every open of a netCDF-4 file, to read
// the version of its superblock, and never closes it, so that each open
// held about 1.7 KB until the program ended.  Called when the file is
// closed (or its open failed), when the library has no use for any list
// made for it.
void h5span_sweep(const h5span& s);

// The HDF5 files open now, by id.
std::vector<int64_t> h5files_open();

// After an open that failed: closes the HDF5 files open now that were not
// open before, with what is open in them.  netCDF 4.9 refuses a damaged
// root group after HDF5 has opened the file and leaves it open, with its
// descriptor and its metadata; no id of the library's refers to it.
void h5files_close_since(const std::vector<int64_t>& before);

// Gives back the blocks HDF5 keeps on its free lists for later use.
void h5_free_lists();
