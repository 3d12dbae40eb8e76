// The data-file record: everything the program knows about one open data
// set (descriptor file, self-describing file or defined variable), with its
// variable table and the in-memory forms of its station map and GRIB index.
//
// A record is made by getpfi, filled once by omddes (or by the
// self-describing openers, or by hand for a defined variable, type 4), read
// by the grid, GRIB and station readers, and released by frepfi.  Texts are
// std::string (empty: none); owned tables are std::vector, so releasing the
// record releases them.  The axis conversion arrays are float arrays ended
// by -999.9 made by the axis builders (malloc'd; see axisconv.h); frepfi
// releases the grid-to-world ones unless told to keep them.
//
// Element positions and byte offsets are 64-bit: data files may exceed
// 2 GB and hold more than 2^31 elements.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "data/filemap.h"

#include "base/omtypes.h"  // omaxisfn

struct cmnstate;
struct gridplace;
struct gridres;
struct io_std;

// The codes of a GRIB edition 2 variable (a record of a dtype grib2
// descriptor, or a variable of a GRIB file opened directly): discipline,
// category, number and level type; a variable without levels may name its
// level (in the descriptor's units: hPa for isobaric surfaces), the type
// of statistical processing and the length of its period.  disc -1: not a
// GRIB2 variable.
struct g2codes {
  int disc = -1, cat = -1, num = -1, ltype = -1;
  bool haslev = false;
  double lev = 0.0;
  int stat = -1;
  double period = -1.0;  // hours of the statistical period, -1 any
  int member = -1;       // ensemble member (a file opened directly), -1 none
};

// A variable of a data file.
struct filevar {
  std::string varnm;      // description, case as written (at most 127 chars)
  std::string abbrv;      // name: at most 15 characters, lower case
  int units[4] = {-999, -999, -999, -999};  // unit codes; -999 absent
  int64_t offset = 0;     // elements from the start of the time block
                          // (gridded), or the value position (station)
  int recoff = 0;         // first record within a time (GRIB)
  int levels = 0;         // 0 = surface variable; below -900 a coordinate
                          // variable whose offset names the dimension
  int dfrm = 0;           // element type: 0 float, 1 byte, 2 uint16,
                          // -2 int16, 4 int32
  int var_t = 0;          // variable-major: all times stored together
  int var_z = 1;          // level stride (grids between levels)
  int y_x = 0;            // transposed: y fastest within the grid
  g2codes g2;             // GRIB edition 2 codes
};

// GRIB index as held in memory.  An array whose count is 0 is empty.
struct gribidx {
  int type = 0;           // format word of a version 1 index
  int hinum = 0;          // number of header ints
  int hfnum = 0;          // number of header floats
  int intnum = 0;         // number of entry ints
  int fltnum = 0;         // number of entry floats
  std::vector<int> hipnt;     // header ints
  std::vector<float> hfpnt;   // header floats
  std::vector<int> intpnt;    // per time and record: offset, bit-map
                              // offset, bits per value
  std::vector<float> fltpnt;  // per time and record: decimal divisor,
                              // binary multiplier, reference value
  // Per time and record, a record read through its message instead: the
  // byte where the message begins (-1 none) and the field of a GRIB2
  // message (from 1; 0 a GRIB1 message).  Empty when every record is in
  // the arrays above.
  std::vector<int64_t> msgoff;
  std::vector<int> msgfld;
};

// Station map as held in memory: one entry per time of the map.
struct stnmapidx {
  int tcnt = 0;                 // number of times in the map
  int bufw = 0;                 // buffer word: floats of the station row buffer
  std::vector<int64_t> offs;    // byte offset of the time's first report
  std::vector<int> cnts;        // number of reports of the time
};

struct datafile {
  datafile* pforw = nullptr;   // next record of the file list
  int fnum = -999;             // serial stamp given by open (11, 12, ...)
  std::string name;            // data file name or template, expanded
  std::string tempname;        // name of the template member now open
  std::string dnam;            // descriptor file name actually opened
  std::string mnam;            // station-map or GRIB-index file name
  FILE* infile = nullptr;      // the open data stream
  filemap fmap;                // a map of it, for the reads that may use one
  int type = 1;                // 1 gridded, 2 station, 4 defined grid
  std::string title;           // title text
  float undef = 0.0f;          // undefined value
  float ulow = 0.0f;           // undefined band: values v with
  float uhi = 0.0f;            //   ulow < v < uhi are taken as undefined
  std::vector<float> rbuf;     // row buffer (nx floats; station: bufw;
                               // defined grid: its data)
  std::vector<unsigned char> pbuf;  // GRIB packed data buffer
  int bswap = 0;               // data are in the other byte order
  stnmapidx stnmap;            // station map (station files)
  int hasmap = 0;              // a station map or GRIB index was read
  int dnum[4] = {0, 0, 0, 0};  // sizes nx, ny, nz, nt
  int tlpflg = 0;              // time offset given
  int tlpst = 0;               // time offset (toff)
  int vnum = 0;                // variable count
  int ivnum = 0;               // station: surface variable count
  int lvnum = 0;               // station: level variable count
  std::vector<filevar> pvar1;  // variable table, descriptor order
  int64_t gsiz = 0;            // elements of one grid record G
  int64_t tsiz = 0;            // elements of one time block B
  int trecs = 0;               // grid records per time
  int64_t fhdr = 0;            // bytes of file header
  int wrap = 0;                // x axis closes round the globe
  int seqflg = 0;              // sequential records
  int xrflg = 0;               // self-describing file: longitudes stored east to west
  int yrflg = 0;               // rows north to south
  int zrflg = 0;               // levels top first
  int64_t hdrwds = 0;          // header words H of a time block (headerbytes/4)
  int64_t trlwds = 0;          // trailer words T of a time block (trailerbytes/4)
  // Pre-projected grids.
  int ppflag = 0;              // projection code, 0 none
  int ppwrot = 0;              // wind-rotation flag
  int ppisiz = 0, ppjsiz = 0;  // native grid size
  float ppvals[20] = {};       // projection parameters
  int ppacc = 0, ppfmt = 0;    // weight file access and format codes
  std::string ppfname;         // weight file name
  FILE* ppfile = nullptr;      // weight file while the descriptor is read
  std::vector<int> ppi[8];     // native index arrays
  std::vector<float> ppf[8];   // weights
  std::vector<float> ppw;      // rotation angles
  int ppinterp = 0;            // descriptor asks for implied interpolation
  // Axis conversions: 0 x, 1 y, 2 z, 3 t.  For t only the arrays are used
  // (the eight-float time axis array; both pointers designate it).
  omaxisfn gr2ab[4] = {nullptr, nullptr, nullptr, nullptr};  // grid->world
  omaxisfn ab2gr[4] = {nullptr, nullptr, nullptr, nullptr};  // world->grid
  float* grvals[4] = {nullptr, nullptr, nullptr, nullptr};   // grid->world arrays
  float* abvals[4] = {nullptr, nullptr, nullptr, nullptr};   // world->grid arrays
  int linear[4] = {0, 0, 0, 0};  // per dimension: linear axis
  // Defined grids (type 4).
  int dimoff[4] = {0, 0, 0, 0};  // first grid index - 1 of the definition
  int climo = 0;               // 1 seasonal, 2 diurnal
  int cysiz = 0;               // time steps in one cycle
  // GRIB.
  int bgrib = 0;               // dtype grib or index (2: dtype grib2)
  int grbgrd = -999;           // grid option after dtype grib, -999 none
  gribidx* pindx = nullptr;    // GRIB index (owned)
  // Templates.
  int tmplat = 0;              // data set is a template of member files
  std::vector<int> fnums;      // per time (0-based): first time index (1-based)
                               // of the member holding it
  int fnumc = 0;               // first time index of the open member, 0 none
  int fnumbad = 0;             // first time index of a member that could not be
                               // opened in the current request, 0 none
  int misswarn = 0;            // warn about missing members
  // Members of a self-describing template series that could not be used
  // (not opened, or without the variable asked for), each with the state
  // of its file then: the failure is reported once, and the member is
  // tried again when its file has changed.
  struct tmplfail {
    int member;             // first time index of the member
    std::string var;        // the variable missing from it; "" when it did not open
    std::string filestate;  // size and time of change of the file, "" when absent
  };
  std::vector<tmplfail> tmplfails;
  // Lines that q file and q ctlinfo add about how the data set was made
  // (a GRIB file opened directly: what its scan found and left out).
  std::vector<std::string> notes;
  int64_t xyhdr = 0;           // xy header words XH
  int64_t thdr = 0;            // time header words TH
  int calendar = 0;            // 0 standard, 1 365-day
  int cray_ieee = 0;           // 32-bit IEEE conversion flag
  // Self-describing files.
  io_std* sdf = nullptr;       // description of the file now open (owned)
  int ncflg = 0;               // self-describing flag
  io_std* sdf1 = nullptr;      // description of the first member (owned)
  // Set by the opener of a self-describing file (the data sets cannot call
  // that library): the reader of its grids, used by omggrd instead of the
  // binary and GRIB reader, and the release of sdf and sdf1 for frepfi.
  // Null for every other data set.
  int (*sdfread)(gridres* pgr, float* gr) = nullptr;
  void (*sdffree)(io_std** pio) = nullptr;
  // Where that reader would take a request's values from as one run of
  // 4-byte floats of a file (see omgview), without reading them; false,
  // with nothing printed, for any request it reads otherwise.
  bool (*sdfplace)(const gridres* req, gridplace* at) = nullptr;
};

// A new record with its initial values, or null when memory is exhausted.
datafile* getpfi();

// Releases a record and everything it owns (not its data stream).  With
// keep nonzero the axis conversion arrays are left alone (their owner took
// them over).  Null: nothing.
void frepfi(datafile* pfi, int keep);

// Appends an opened record to the file list of the common state and counts
// it; the first file becomes the default file (number 1).  The record's
// serial number (fnum) is the caller's business.
void omaddfile(cmnstate* pcm, datafile* pfi);

// Parses the descriptor dname into pfi.  mflag 0: the station map or GRIB
// index named by the descriptor is not read.  0 when the record is
// complete, 1 after the error was reported.
int omddes(const char* dname, datafile* pfi, int mflag);

// The same for a descriptor the caller opened (opendescrctl, which gives
// the name opened and, where it failed, errno): the file is closed.
int omddesfile(std::FILE* descr, const std::string& opened, int openerr, datafile* pfi, int mflag);

// The same for a descriptor held as text, not read from dname: its names
// are taken beside dname all the same.
int omddestext(const char* dname, const std::string& text, datafile* pfi, int mflag);

// Refuses a data set whose calendar is not the one the program's first
// open fixed: 0, or 1 after the message.
int omcalcheck(const datafile* pfi);
