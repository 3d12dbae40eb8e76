// The netCDF file the save command writes: CF coordinates, one variable per
// expression, written one time step (or level) at a time.  Like every
// output that may replace an older file (replfile.h) it is written under a
// part name beside its name and takes the name only when whole: an error,
// a full disk or an interrupt leaves the older file as it was (the part is
// removed), an ending signal leaves the part under its part name.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct ncsavevar {
  std::string name;
  std::string longname;  // "" for none
  float fill;            // the value of undefined points
};

// What the file holds: the varying axes' coordinates (lon and lat always,
// of one point when fixed; lev only when levels vary) and the time axis's
// units and calendar.
struct ncsavelayout {
  std::vector<double> lon, lat, lev;
  bool haslev = false;
  std::string levunits, levpositive;
  std::string timeunits, calendar;
  size_t steps = 0;  // time steps the file will hold
  std::string title;
  std::vector<ncsavevar> vars;
  bool nc4 = false;  // netCDF-4 with compression, else the classic format
  int deflate = 0;   // netCDF-4's compression level, 1 to 9
};

class ncsave {
 public:
  ncsave();
  ~ncsave();
  ncsave(const ncsave&) = delete;
  ncsave& operator=(const ncsave&) = delete;
  // Opens name and defines the file; false after the messages.
  bool open(const char* name, const ncsavelayout& lay);
  // Writes the values of variable v at time step t (counted from 0): from
  // level z on, nz levels, each the whole lat x lon plane; and the step's
  // time value.  False after the message.
  bool put(size_t v, size_t t, size_t z, size_t nz, const float* data);
  bool puttime(size_t t, double value);
  // Finishes the file and puts it in place: false after the message.
  bool close();
  // Gives the file up, the part removed (an error or an interrupt).
  void discard();

 private:
  struct impl;
  std::unique_ptr<impl> p_;
};
