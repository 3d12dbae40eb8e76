// Self-describing files: netCDF (classic, 64-bit offset, netCDF-4) and HDF4
// scientific data sets opened as data sets, directly (sdfopen) or through an
// XDF descriptor (xdfopen), and read as grids.
#pragma once

#include <string>
#include <vector>

struct cmnstate;
struct gridplace;
struct gridres;
struct datafile;

// One attribute of a variable or of the file.  A char attribute's buffer has
// one byte more than count, a NUL, so its text can be used as a C string.
struct netcdf_att {
  std::string attname;
  int nctype = -1;  // 1 byte, 2 char, 3 short, 4 long, 5 float, 6 double (see sdftype below)
  int count = 0;
  std::vector<unsigned char> values;
};

// One variable of a file.
struct var_info {
  int varid = -1;
  std::string ncname;  // name in the file
  std::string omname;  // name the system knows it by (<= 15 chars); empty: not a data variable
  int nctype = -1;
  int ndims = 0;
  std::vector<int> dimids;  // slowest first, as many as the library reports
  int tzyx_pos[4] = {-1, -1, -1, -1};
  int tzyx_ids[4] = {-1, -1, -1, -1};
  int natts = 0;
  std::vector<netcdf_att> atts;
  std::vector<unsigned char> data;  // last values read, in the variable's own type
  union {
    signed char b;
    short s;
    int l;
    float f;
    double d;
    unsigned char raw[8];
  } undef = {};
  bool has_undef = false;
};

// The description of one open file.
struct io_std {
  int time_style = 0;  // 0: yyyymmddhhmmss units; 1: udunits "unit since date"
  int ncid = -1;
  int ndims = 0;
  bool dims_cut = false;  // the file has more dimensions than are kept (SDF_MAX_DIMS)
  int nvars = 0;
  int ngatts = 0;
  std::vector<int> dimids;
  std::vector<std::string> dimnames;
  std::vector<long> dimlens;
  int recdim = -1;
  std::vector<netcdf_att> gatts;
  std::vector<var_info> varlist;
  int ddf_undef = 0;  // the descriptor's undef serves every variable
  // Copies share ncid; only the description that opened the file closes it.
  bool owns_file = false;
};

// The element types of the access layer.  Beyond the classic six, netCDF-4
// files may hold unsigned and 64-bit integers, which are read as floats too.
enum sdftype {
  SDF_BYTE = 1, SDF_CHAR = 2, SDF_SHORT = 3, SDF_LONG = 4, SDF_FLOAT = 5, SDF_DOUBLE = 6,
  SDF_UBYTE = 7, SDF_USHORT = 8, SDF_UINT = 9, SDF_INT64 = 10, SDF_UINT64 = 11, SDF_STRING = 12
};

// Closes a file opened by this subsystem; 1 on success, 0 otherwise (an id
// that is not open, or already closed, is refused without harm).
int close_netcdf(int ncid);

// Frees a description (closing its file when it owns it) and clears the
// pointer; a null pointer is left alone.
void free_io_std(io_std** pio);

// Gives a data-file record the reader and release of this library
// (datafile::sdfread, sdffree); every opener does it before filling pfi->sdf.
void sdf_bind(datafile* pfi);

// Reads a grid request from a self-describing data set into gr (the
// request's values, i fastest).  0 success, 1 bad time, 2 no such variable,
// 3 read failure, 6 unsupported packing, 13/14 out of memory.
int omgsdf(gridres* pgr, float* gr);
// Where omgsdf would take a request's values from as one run of 4-byte
// floats of a file the program reads itself (a classic file's float
// variable, a netCDF-4 one stored as it is whose places the helper gave),
// and how it makes grid values of them, without reading them: false, with
// nothing printed, for any other request (see omgview).
bool omgsdfplace(const gridres* pgr, gridplace* at);

// The openers of the sdfopen and xdfopen commands (args: the text after the
// command word; pcm is read for the calendar rule of the first file).  On
// success (0) *opened is the whole record, which the caller adds to the file
// list; on failure (1, messages printed) nothing is left open.
int omsdfopen(const char* args, const cmnstate* pcm, datafile** opened);
int omxdfopen(const char* args, const cmnstate* pcm, datafile** opened);

// Gives back what the reads of self-describing files keep for the next
// one (the block shared with the helper, the buffers of the reads): with
// all everything, as the prompt waits; else what is more than the
// commands of a script keep from one to the next, as a command ends.
void sdf_reads_release(bool all);

// Points the GRIB edition 2 codec seam (g2codec, data/grib2.h) at the
// helper process: the codec libraries then run where a crash is contained,
// and where no helper can be started a field they would decode is refused
// with the reason.  Called as the program starts.
void sdf_codecs_in_helper();

// Reaps the helper process that opens self-describing files when it has
// ended (killed from outside), so that it does not linger as a zombie; the
// next file opened or read starts a new one.  Called at the prompt.
void sdf_helper_reap();

// Ends the helper process and waits for it, from a signal handler of an
// ending (only async-signal-safe calls): where process 1 does not reap,
// a helper merely ended by the parent-death signal would stay a zombie.
void sdf_helper_end();
