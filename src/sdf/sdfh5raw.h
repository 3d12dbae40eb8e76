// Where a slab of a netCDF-4 variable lies in its file when the file holds
// it as it is: stored without any filter, in values of the variable's own
// type in the machine's order, one run of bytes (a whole chunk, or rows of
// one chunk or of a variable stored in one piece).  The helper finds the
// place with HDF5's own index of the file; the program then takes the
// values from its map of the file, as it takes a classic file's, instead
// of having the helper copy them into the shared block and then unpacking
// them from there: one pass over them instead of three.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class h5rawfile {
 public:
  // The HDF5 file of a netCDF-4 file the netCDF library has open, opened
  // again by HDF5 alone once it is asked for a place; nothing is opened
  // for a file that is no HDF5 file, or one with a user block.
  explicit h5rawfile(std::string name);
  ~h5rawfile();
  h5rawfile(const h5rawfile&) = delete;
  h5rawfile& operator=(const h5rawfile&) = delete;

  // The byte offset in the file of the slab start/count of the variable
  // var (its netCDF name), of sdf type type and the given dimension
  // lengths, where the slab is one run of its values as they are; false
  // otherwise.
  bool run(const std::string& var, int type, const std::vector<size_t>& dims, const std::vector<size_t>& start,
           const std::vector<size_t>& count, uint64_t* offset);

 private:
  struct state;
  std::string name_;
  std::unique_ptr<state> s_;
};

// The byte offset, in values from a block's first, of the slab start/count
// of a block of the given shape (row-major) that begins at origin, when
// the slab is one run of it (every dimension after the first it takes in
// part is taken whole, before it one index only); false otherwise.
bool block_run(const std::vector<size_t>& shape, const std::vector<size_t>& origin, const std::vector<size_t>& start,
               const std::vector<size_t>& count, uint64_t* first);
