// The GRIB index maker: scans the GRIB (edition 0 or 1) records of a GRIB
// data set, matches each to a time, variable and level of its descriptor
// and writes the index file that the GRIB record reader uses.
//
// Index file, version 2 (all integers big-endian sign-magnitude):
//   byte 0: 0; byte 1: 2; bytes 2-17: hinum, hfnum, intnum, fltnum;
//   bytes 18-19 year, 20-23 month, day, hour, minute of the initial time;
//   byte 24: 0; then hinum ints, intnum ints, fltnum IBM floats and the
//   eight IBM floats of the time axis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/datetime.h"

struct datafile;
struct gribidx;

// Settings of one run of the maker, set by its caller.
struct gmapset {
  std::string descr;   // descriptor file name
  std::string text;    // its text, when given: read in place of the file
  int ignfcst = 0;     // valid time of every record is its base time
  int scanlim = 1000;  // junk bytes scanned for between records
  int version = 2;     // index version written
  int write = 1;       // write the index
  int update = 0;      // update an existing index (not offered)
  int skip = 0;        // bytes skipped at the start of each file
  int verbose = 0;     // diagnostic output
};
extern gmapset gmpcmn;

// One decoded GRIB record header.
struct gribhead {
  int64_t start = 0;     // byte of "GRIB"
  int64_t next = 0;      // byte after the record
  int edition = 1;
  int pdslen = 0;
  int gridid = 0;        // grid identification
  int gdsflg = 0;        // grid description section present
  int bmsflg = 0;        // bit map present
  int parm = 0, ltyp = 0;
  int level = 0;         // octets 11-12 as one value
  int l1 = 0, l2 = 0;    // octets 11 and 12
  datetime btim = {0, 0, 0, 0, 0};  // base time
  datetime vtim = {0, 0, 0, 0, 0};  // valid time
  int tunit = 0, p1 = 0, p2 = 0, trange = 0;
  float dsf = 1.0f;      // 10^D
  int ni = 0, nj = 0;    // grid size of the grid description section
  int64_t bmsoff = -999; // byte where the bit map begins
  int bdsflg = 0;        // packing flags (0: simple packing)
  float bsf = 1.0f;      // 2^E
  float ref = 0.0f;      // reference value
  int bpv = 0;           // bits per value
  int64_t dataoff = 0;   // byte of the first packed value
  int table = 0;         // parameter table version (octet 4)
  int centre = 0;        // originating centre (octet 5)
  int64_t pdsoff = 0;    // byte of the product definition section
  int64_t gdsoff = -1;   // byte and length of the grid description
  int64_t gdslen = 0;    //   section, -1 none
};

// Result of a run that could not make an index at all (descriptor, files
// or memory); its message has been printed.  Distinct from 1, which means
// success, so that a failed run is never taken for a good one.
constexpr int GMFATAL = -1;

// Makes the index of gmpcmn.descr.  1 success (records indexed), 0 nothing
// indexed, 300/301/400/401 the last unsuitable grid met, 51-99 badly coded
// GRIB, 60 no memory for the index image, 601 float overflow, GMFATAL.
int gribmap();

// Makes the index of the descriptor descr with the settings every caller
// uses (scan limit 1000 bytes, no bytes skipped, the index written in
// version 2, or 3 for GRIB2 variables); ignfcst as in gmapset, and text,
// when given, the descriptor's text read in place of the file.  The
// result of gribmap().
int gribindex(const std::string& descr, int ignfcst, const std::string& text = std::string());

// Makes the index of descr as the gribmap command and the ombra-gribmap
// program do, and says on standard output what it made: 0 an index with
// records in it, 1 none (after the message).
int gribmapcmd(const std::string& descr);

// Finds and decodes the next record of the file being scanned.  0 done,
// 1 end of file, else an error code.
int gribhdr(gribhead* ghdr);

// Decodes the headers of the GRIB edition 0 or 1 record whose "GRIB" is at
// byte pos of f (flen bytes long), without finding or printing anything:
// 0, 50 the file ends inside the record, 55 a section length that does not
// fit, 99 another edition.  With why non-null a damaged record's reason is
// put there instead of printed.  The valid time follows gmpcmn.ignfcst.
int gribhead1(FILE* f, int64_t flen, int64_t pos, gribhead* h, std::string* why);

// Matches one record to the descriptor and stores it in the index.  0
// indexed, else the rejection code.
int gribrec(const gribhead* ghdr, datafile* pfi, gribidx* pindx);

// Stores the six values of one entry of slot s.
void gribfill(int s, int eoff, int estride, const gribhead* ghdr, gribidx* pindx);

// Makes the index of the last run (version 2), whole, in *out.  0, 60 no
// memory, 601 a float too large for the IBM form.
int wtgmap(std::vector<unsigned char>* out);

// Makes the index of the last run in version 3, whole, in *out: the
// records of GRIB2 variables, each by the place of its message.
//   bytes 0, 1: 0 and 3; bytes 2-17: the number of times, the records per
//   time, 255 and the number of records (sign-magnitude); bytes 18-24:
//   the first time as in version 2; then 12 bytes a record: the byte
//   where its message begins (8 bytes, all ones for none) and the field
//   of the message (4 bytes), all big-endian.
// 0, or 60 no memory.
int wtgmap3(std::vector<unsigned char>* out);

// What the last run did: records indexed, records that matched nothing,
// and GRIB2 records that took a slot an earlier record had filled.
void gribmapcounts(long* indexed, long* unmatched, long* again);

// A 4-byte sign-magnitude big-endian integer at buf[*pos]; *pos += 4.
void putint(int value, unsigned char* buf, int64_t* pos);
