// The scan of a GRIB file: every message found, edition 1 or 2, its
// headers read and its packed values skipped, described field by field in
// plain records that say what the field is (parameter, level, times,
// statistics, ensemble member, grid) and where it lies.  What could not be
// read (damaged or cut-short messages, bytes between messages that are no
// GRIB) is listed with the reason, and the scan goes on after it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/omtypes.h"
#include "data/grib2.h"
#include "data/gribmap.h"

// A period of time: minutes, or calendar months (one of them 0).
struct gribspan {
  long minutes = 0;
  long months = 0;
  bool operator==(const gribspan& o) const { return minutes == o.minutes && months == o.months; }
  bool operator!=(const gribspan& o) const { return !(*this == o); }
  bool operator<(const gribspan& o) const {
    return months != o.months ? months < o.months : minutes < o.minutes;
  }
};

// One field of a GRIB file.
struct gribfld {
  int msgno = 0;           // 1 for the first message of the file
  int64_t msgoff = 0;      // byte of its "GRIB"
  int64_t msglen = 0;      // bytes of the whole message
  int edition = 0;         // 1 or 2 (0 counts as 1)
  int fieldno = 0;         // of a GRIB2 message, from 1; 0 in GRIB1
  int centre = -1;
  // The parameter: discipline, category and number (GRIB2), or table
  // version and number (GRIB1, disc -1).
  int disc = -1, cat = -1, num = -1;
  // The level: type and value of the first surface (GRIB1: the value in
  // the units of its code table, octets 11-12 as one number; a layer's
  // top in octet 11 and bottom in octet 12); a layer's second surface.
  int ltype = 255;
  bool haslevel = false;
  double level = 0.0;
  int ltype2 = 255;
  bool haslevel2 = false;
  double level2 = 0.0;
  int g1level = 0, g1l1 = 0, g1l2 = 0;  // GRIB1 octets 11-12
  int tri = -1;            // GRIB1 time-range indicator
  // Times: the reference time, the valid time (the end of a statistical
  // period), the forecast step from the one to the other.
  datetime reftime = {0, 0, 0, 0, 0};
  datetime valid = {0, 0, 0, 0, 0};
  // Statistics over a period (-1 none: an instantaneous field), its length
  // and whether it begins at the reference time.
  int stat = -1;
  gribspan period;
  bool fromref = false;
  // An ensemble member's number, a derived forecast (code table 4.7), a
  // probability (type and limits) and a percentile; -1 none.
  int member = -1;
  int derived = -1;
  int probtype = -1;
  double problo = 0.0, probhi = 0.0;
  int percentile = -1;
  int prodtmpl = -1;       // GRIB2 product definition template
  // The grid and, for GRIB2, everything its message says of the field.  A
  // GRIB1 record's grid description is put into the same grid record.
  g2field g2;
  // A GRIB1 record's headers, with where its values and bit map lie.
  gribhead g1;
  int g1scan = 0;          // GRIB1 scanning mode flags (as GRIB2's)
  bool g1reduced = false;  // GRIB1 quasi-regular grid
  // Why the field cannot be read, "" when it can.
  std::string unread;
};

// A part of the file that was not read.
struct gribskip {
  int msgno = 0;           // the message it concerns, 0 none
  int64_t at = 0;          // byte where it begins
  std::string why;
};

struct gribscanres {
  std::vector<gribfld> fields;
  std::vector<gribskip> skips;
  int messages = 0;        // messages found (damaged ones included)
};

// Where the first message of the open file f begins: 0 for a file that
// begins with "GRIB"; else the first "GRIB" in its first 1000 bytes that
// begins a message (edition 1 or 2, a length the file holds), as after a
// bulletin header; -1 when there is none: the file is no GRIB file.
int64_t gribstart(FILE* f);
// Whether the open file f is a GRIB file (gribstart(f) >= 0).
bool isgribfile(FILE* f);

// Scans every message of the open regular file f.  Headers only: a
// message's packed values are never read.  0, or 1 when the file cannot
// be read at all or the user interrupted (why set); a damaged message is
// listed in out->skips and the scan goes on at the next "GRIB".  The scan
// begins at the first message (gribstart).
int gribscan(FILE* f, gribscanres* out, std::string* why);

// The time plus n units of the time-range unit code of a GRIB edition
// (GRIB2's code table 4.4; GRIB1's table 4, the same but for 13 and 14, a
// quarter and half an hour, and 254, seconds).  False for a unit it does
// not know, or a time it cannot hold (t unchanged then).
bool gribaddunits(datetime* t, int unit, int64_t n, int edition);
