// A read-only memory map of a data file, so that grids are made straight
// from the page cache instead of copied out of it by a read first.
//
// A map of a file that shrinks under it faults on the lost pages, so the
// map holds only what the file held when it was made, and every request is
// checked against the file's length at that moment: bytes the file no
// longer (or never) holds are not given from the map, and the caller reads
// them as before, meeting the end of the file as a read error.  Files that
// are not regular files are never mapped.
//
// The check cannot see a file cut by another program while its bytes are
// being read; the page lost then faults (SIGBUS), which would end the
// program.  Every read of a map is made through mapread, which turns that
// fault into a failed read, in whichever thread made it.
#pragma once

#include <sys/types.h>

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace mapfault {
// Where the map read in progress in this thread goes back to when its file
// loses a page it reads; null outside map reads.  A fault is taken by the
// thread that made it, so each thread has its own.
extern thread_local sigjmp_buf* volatile jump;
// Installs the fault handler, once.
void arm();
}  // namespace mapfault

// Runs read, which takes bytes from a file's map, so that a page the file
// has lost in the meantime ends read rather than the program: false then,
// and what read made so far is not to be used.  read must leave nothing
// to destroy or release when it is cut short (plain loops over the bytes).
template <class F>
bool mapread(F&& read) {
  mapfault::arm();
  sigjmp_buf here;
  sigjmp_buf* const outer = mapfault::jump;
  if (sigsetjmp(here, 0) != 0) {
    mapfault::jump = outer;
    return false;
  }
  mapfault::jump = &here;
  read();
  mapfault::jump = outer;
  return true;
}

class filemap {
 public:
  filemap() = default;
  filemap(const filemap&) = delete;
  filemap& operator=(const filemap&) = delete;
  ~filemap() { release(); }

  // The n bytes at byte offset pos of the file open as fd, from a map of it
  // (made or renewed as needed: another file, or one that has grown), or
  // nullptr when they are not to be had from a map.
  const unsigned char* bytes(int fd, int64_t pos, int64_t n);
  // The same of the file behind f.
  const unsigned char* bytes(FILE* f, int64_t pos, int64_t n) { return bytes(f ? fileno(f) : -1, pos, n); }
  // Marks the n bytes at p (got from bytes) as used.  Their pages are
  // given back some megabytes at a time: they stay in the page cache, but a
  // file read through once does not stay resident in the program as it
  // would otherwise (a program that seems to hold gigabytes is the first
  // the system ends when memory runs short).  With hold they are not given
  // back here: the caller takes them with takeback.
  void done(const unsigned char* p, int64_t n, bool hold = false);
  // The used pages due to be given back, n bytes from p, a whole number of
  // pages, which are then the caller's to give back (giveback, in pieces
  // at page bounds, from any thread, before the map is used again): false
  // where none are due.
  bool takeback(const unsigned char** p, size_t* n);
  static void giveback(const unsigned char* p, size_t n);
  void release();
  // Which map this is: another number after every map made, in every file,
  // so that bytes got from it are known to be still mapped while it stays.
  uint64_t generation() const { return gen_; }

 private:
  void* base_ = nullptr;
  size_t len_ = 0;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  size_t usedlo_ = 0, usedhi_ = 0;  // offsets spanning the used pages not given back yet
  uint64_t gen_ = 0;                // 0: no map
  void giveback();
};
