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
//
// Every library open and create goes through one (a template series opens
// a file per member), so it costs two system calls where it can: one look
// at the whole window before, and after it one close_range over the
// numbers from the lowest free one, where none above it was open; else a
// second look, and one call for each new descriptor.
class libfds_closed_on_exec {
 public:
  libfds_closed_on_exec();
  ~libfds_closed_on_exec();
  libfds_closed_on_exec(const libfds_closed_on_exec&) = delete;
  libfds_closed_on_exec& operator=(const libfds_closed_on_exec&) = delete;

  static constexpr int kWindow = 64;

 private:
  using window = std::bitset<kWindow>;
  void look(int first, window* open);

  int first_ = 3;         // the window: kWindow numbers from first_
  int lo_ = 3;            // the lowest free number in it
  bool probed_ = false;   // the window is looked at one number at a time
  window before_;         // which numbers of the window were open before
};
