// A GRIB file opened as it is: the data set its scan describes.
//
// - The grid is the first readable field's; fields of other grids are left
//   out, with the reason.
// - A variable is a parameter on a level type (with its level, where the
//   type is not the Z axis's), of one kind of statistics over one period,
//   of one ensemble member.  It is named by the parameter tables, and where
//   names meet, told apart by suffixes: the level type (_l103), the level
//   (_2), the statistics and period (_accum, _6h), the member (_m3).
// - Z holds the levels of the isobaric surfaces where the file has any,
//   else of the level type with most levels (two at least).
// - T holds the valid times; for a file of several reference times at one
//   step, those reference times.  Where several forecasts give one time,
//   the latest reference time's is taken.
// - Records are found through an index made in memory: GRIB1 records in
//   the index's own entries where they fit, the others through their
//   messages.
#pragma once

#include <string>

#include "data/gribscan.h"

struct datafile;

// Whether the file named is a GRIB file (isgribfile): such a file is
// opened as it is, never read as a descriptor.
bool gribnamed(const char* name);

// Opens the GRIB file name as a data set in pfi (its data stream left
// open in pfi->infile), saying what the scan found.  0, or 1 after the
// message.
int omgribopen(const char* name, datafile* pfi);

// Builds the data set of the file name (already scanned into scan) in
// pfi: title, grid, axes, variables, index, and the notes that q file and
// q ctlinfo show.  0, or 1 after the message (nothing in the file could be
// shown).
int gribdataset(const std::string& name, const gribscanres& scan, datafile* pfi);

// The level of a field as the data set shows it: the type in GRIB2's
// numbering (GRIB1 types mapped to theirs, others 1000 + the GRIB1 type),
// the value in that type's units (hPa for isobaric surfaces).
struct griblev {
  int type = 255;
  bool has = false;
  double value = 0.0;
  int type2 = 255;
  bool has2 = false;
  double value2 = 0.0;
};
griblev gribshownlev(const gribfld& f);
