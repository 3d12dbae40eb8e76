// GRIB records read through their messages rather than through an index's
// entries: a GRIB2 field, decoded whole by the message reader, and a GRIB1
// record whose entries are taken from its own headers (one beyond the
// reach of the index's 4-byte offsets).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Where a GRIB1 record's values lie and how they are scaled: an entry of
// the index.
struct g1entry {
  int64_t doff = 0;     // byte of the first packed value
  int64_t boff = -999;  // byte of the bit map's bits, below -900 none
  int bits = -999;      // bits per value, negative: the record is missing
  float dsf = 1.0f, bsf = 1.0f, ref = 0.0f;
};

// The entry of the GRIB1 record whose message begins at byte off of f.
// 0, or 1 with why set.
int g1record(FILE* f, int64_t off, g1entry* e, std::string* why);

// Field fld (from 1) of the GRIB2 message at byte off of f, decoded whole
// into out (npts values, the grid's size; rows south to north).  Points
// without a value are the data set's undefined value undef.  0, or 1 with
// why set.
int g2record(FILE* f, int64_t off, int fld, int64_t npts, float undef, std::vector<float>* out, std::string* why);
