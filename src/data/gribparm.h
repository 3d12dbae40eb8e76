// Names of GRIB parameters: the short names, descriptions and units of the
// parameter tables in the data directory (grib1.tab, grib2.tab, made by
// tools/mkgribtab.py from ecCodes' parameter concepts), and names built
// from the numbers where the tables have none.
//
// A table record names the fields whose keys all have its values; of the
// records that fit a field, the one that asks most of it wins, a centre's
// own record before the WMO one that asks as much, the first of equals
// before the later.  When nothing of a centre's own or the WMO's fits,
// ECMWF's records are tried (as ecCodes does for every centre), then
// ECMWF's older encodings.
#pragma once

#include <string>

// What the tables say of a parameter.
struct gribname {
  std::string name;   // variable name; "" when the tables give none
  std::string text;   // description; "" when the tables have none
  std::string units;  // "" when none
  bool bylevel = false;  // the record asked for the level (t2m, u10)
};

// A GRIB2 field as the tables tell fields apart.  level is the value of
// the first fixed surface in its own units (Pa for isobaric surfaces).
struct g2pkey {
  int centre = -1;
  int disc = 0, cat = 0, num = 0;
  int ltype = 255;
  bool haslevel = false;
  double level = 0.0;
  int stat = -1;      // type of statistical processing, -1 none
  long period = -1;   // its length in minutes, -1 none
  int localtab = -1;  // version of the local tables
};

// A GRIB1 field: its centre, table 2 version, parameter, level type, level
// value (octets 11-12 as one number) and time-range indicator.
struct g1pkey {
  int centre = -1, table = 0, param = 0, ltype = 0, level = 0, tri = 0;
};

// Fills out from the tables; false when no record fits (out then holds the
// name built from the numbers and no text).
bool g2pname(const g2pkey& k, gribname* out);
bool g1pname(const g1pkey& k, gribname* out);

// The names built from the numbers: var<discipline>_<category>_<number>,
// var<table>_<parameter>.
std::string g2numname(int disc, int cat, int num);
std::string g1numname(int table, int param);

// Texts of the code tables: a level type (units: the GRIB2 unit of its
// value, "" for none), a type of statistical processing (abbr: a word for
// names, "accum", "max", ...).  "" when the table has no such code.
std::string g2levtext(int ltype, std::string* units = nullptr);
std::string g1levtext(int ltype);
std::string g2stattext(int stat, std::string* abbr = nullptr);

// Reads the tables from the named files instead of the data directory
// (tests; "" for the data directory again).  The tables are read at the
// first look-up after it.
void gribtabfrom(const std::string& grib1, const std::string& grib2);

// Whether a table could be read (after a look-up); the name of one that
// could not, for a warning, else "".
std::string gribtabmissing();
