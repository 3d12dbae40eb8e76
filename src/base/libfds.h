// Descriptors a library opens, made close-on-exec as the program's own are.
#pragma once

#include <bitset>

// While one is alive, the descriptors a library call opens are noted; at
// its end they are made close-on-exec.  A command the program runs (a
// shell escape, a user function's program) would otherwise hold the data
// and output files of the netCDF and HDF libraries open.  Descriptors open
// before, such as those the program was started with, are left as they
// are.  The library takes the lowest free numbers, so the new ones lie in
// a window above the lowest free one.
class libfds_closed_on_exec {
 public:
  libfds_closed_on_exec();
  ~libfds_closed_on_exec();
  libfds_closed_on_exec(const libfds_closed_on_exec&) = delete;
  libfds_closed_on_exec& operator=(const libfds_closed_on_exec&) = delete;

 private:
  static constexpr int kWindow = 64;
  int lo_;
  std::bitset<kWindow> before_;
};
