// GRIB records read through their messages rather than through an index's
// entries: a GRIB2 field, decoded whole by the message reader, and a GRIB1
// record whose entries are taken from its own headers (one beyond the
// reach of the index's 4-byte offsets).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "data/grib2.h"

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

// What the reads of GRIB2 fields keep from one message to the next: room
// for the message read, its fields described and the field decoded, made
// for the largest yet and kept, so that a series of messages takes no
// memory anew and fills none in vain.
struct g2held {
  std::unique_ptr<unsigned char[]> msg;
  size_t msgroom = 0;
  std::vector<g2field> fields;
  std::unique_ptr<float[]> field;  // the field last decoded, npts values
  size_t fieldroom = 0;
  // The bytes held.
  size_t bytes() const { return msgroom + fields.capacity() * sizeof(g2field) + fieldroom * sizeof(float); }
};

// Field fld (from 1) of the GRIB2 message at byte off of f, decoded whole
// into h->field (npts values, the grid's size; rows south to north).
// Points without a value are the data set's undefined value undef.  0, or
// 1 with why set (h->field then holds no field).
int g2record(FILE* f, int64_t off, int fld, int64_t npts, float undef, g2held* h, std::string* why);
