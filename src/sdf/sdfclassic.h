// Reads from classic netCDF files (the 32-bit, 64-bit offset and
// 64-bit data formats) made straight from the file.  The layout is simple:
// the header gives each variable's first byte, non-record variables lie
// whole in one run and record variables lie one record after another, all
// values big-endian.  A slab that is one run of the file is read with one
// pread and swapped in a loop that runs as vector code, where the netCDF
// library swaps one value at a time.  The program makes these reads
// itself, whether or not the helper holds the file: they run no code but
// its own, checked against the file.  Values of every other type are read
// the same way where their slab is one run (the swap by their size).
//
// Only what is plainly understood is read here: the header has to parse
// whole and agree with the file's description (what the library says of
// every dimension and variable), or the file is left to the library.
//
// The header is also read before the library is given the file at all:
// the library allocates for what a header claims before it reads it (a
// fill value of 2^32 elements in a file of 340 bytes takes 16 GB), and
// copies names of any length into buffers made for its longest name.  A
// header is refused without the library at the first claim that cannot
// be accepted: a name longer than that, a list or values running past
// the end of the file, a dimension id past the last, a type or a list
// the format does not have.  Any read not made here (another type, a
// slab in pieces) is the library's, which reports what is wrong as
// before.  The library reads the bytes a file lacks (cut short, or a
// header counting more records than were written) as zeros, so every
// read of such a file, here or by the library, is first checked to lie
// within the file as it is at that read.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct io_std;

struct classic_var {
  int type = 0;                  // the netCDF type number
  bool record = false;           // the first dimension is the record dimension
  uint64_t begin = 0;            // byte offset of the first value (of the first record)
  std::vector<uint64_t> shape;   // dimension lengths; a record variable's first is the record count
};

struct classic_layout {
  uint64_t recsize = 0;  // bytes from one record to the next
  std::vector<classic_var> vars;
};

// What a header says of itself.  fine: a classic header, parsed whole;
// refused: a claim the parser cannot accept (a name longer than the
// library's longest, a count of entries or values running past the end
// of the file, a dimension id past the last, a type or a list tag the
// format does not have); other: no classic file, or one whose bytes could
// not all be read (the library is left to judge it).
enum class classic_header { fine, refused, other };

// Reads the header of a classic file held whole in the n bytes at h;
// *out gets the layout when it is fine and one the direct reads follow
// (else the header counts as other).
classic_header classic_read(const unsigned char* h, size_t n, classic_layout* out);
// True where classic_read is fine.
bool classic_parse(const unsigned char* h, size_t n, classic_layout* out);

// A file's header read before the library opens the file: a regular file
// followed to the end of its header, a window at a time.  Its first bytes
// also tell an HDF4 file, which the netCDF library is not given.
class classic_probe {
 public:
  explicit classic_probe(const char* name);
  classic_probe(const classic_probe&) = delete;
  classic_probe& operator=(const classic_probe&) = delete;
  classic_header verdict() const { return verdict_; }
  bool hdf4() const { return hdf4_; }

 private:
  classic_header verdict_ = classic_header::other;
  bool hdf4_ = false;
};

class classic_file {
 public:
  // The file name, whose description the library gave as io, when it is
  // a classic file whose header agrees with io; nullptr otherwise.  *bytes
  // (when given) is set to the file's size as it was opened.
  static std::shared_ptr<classic_file> open(const char* name, const io_std& io, int64_t* bytes = nullptr);
  ~classic_file();
  classic_file(const classic_file&) = delete;
  classic_file& operator=(const classic_file&) = delete;

  // Whether the file as it is now holds every byte of the slab of varid
  // (true for a slab the library refuses itself).
  bool holds(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count) const;

  // Reads the slab start/count of the variable varid, when it is one run
  // of the file, into buf (room for nbytes) as host values of its type: 1
  // when read, 0 when not read here (the library's to read), -1 when the
  // file ends before the slab does.
  int read_values(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                  void* buf, size_t nbytes) const;
  // Where the slab start/count of varid lies, when it is one run of the
  // file of values of size bytes each, nbytes in all: true with *offset
  // set to its first byte.
  bool run_of(int varid, const std::vector<size_t>& start, const std::vector<size_t>& count, size_t size,
              size_t nbytes, uint64_t* offset) const;
  int fd() const { return fd_; }

 private:
  classic_file(int fd, classic_layout l) : fd_(fd), layout_(std::move(l)) {}
  int fd_;
  classic_layout layout_;
};

// The byte offset and value count of a slab of v that is one run of the
// file, or false when the slab is out of range or in pieces.
bool classic_run(const classic_layout& l, const classic_var& v, const std::vector<size_t>& start,
                 const std::vector<size_t>& count, uint64_t* offset, uint64_t* n);

// Whether a file of filesize bytes holds the last value of the slab of v
// (true for an empty or out-of-range slab, which the library refuses).
bool classic_holds(const classic_layout& l, const classic_var& v, const std::vector<size_t>& start,
                   const std::vector<size_t>& count, uint64_t filesize);

// Big-endian 32-bit words at src made host words at dst (which may be src).
void swap_words(const void* src, void* dst, size_t n);
