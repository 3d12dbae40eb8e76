// Internals shared by the self-describing file readers: the access layer
// over netCDF and HDF4, the description helpers, coordinate recognition and
// time decoding.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/omtypes.h"  // datetime
#include "sdf/sdf.h"

// Longest name the libraries hand out (netCDF's NC_MAX_NAME).
constexpr int SDF_MAX_NAME = 256;
// Dimensions kept per file; variables using a dimension beyond are skipped.
constexpr int SDF_MAX_DIMS = 100;

// A regular file as it was opened: its size (-1 for no regular file), and
// which file it is (0s when not known).
struct fileident {
  int64_t size = -1;
  uint64_t dev = 0, ino = 0;
};

// ---- access layer (one call each; 1 success, 0 failure, silent) ----
int open_netcdf(const char* name, int* id);
int inq_netcdf(int id, int* ndims, int* nvars, int* ngatts, int* recdim);
int inq_netcdf_dim(int id, int dimid, std::string* name, long* len);
int inq_netcdf_var(int id, int varid, std::string* name, int* type, std::vector<int>* dimids,
                   int* natts);
int get_netcdf_attname(int id, int varid, int n, std::string* name);
// 1 read, 0 failure, -1 an attribute of a type the system does not use (skip it).
int get_netcdf_att_info(int id, int varid, const char* name, netcdf_att* att);
// Reads a hyperslab in the variable's own type into buf (nbytes long, the
// hyperslab's size).  bounded: no request's grid bounds the slab (the
// values of a coordinate), and it is refused where it is larger than the
// file can hold, its compression at the codec's largest ratio.
int read_netcdf_data(int id, int varid, const std::vector<size_t>& start,
                     const std::vector<size_t>& count, void* buf, size_t nbytes, bool bounded = false);
// Where a slab lies as it is in a file the program reads itself: the
// descriptor, the byte offset of its first value, and whether its values
// are big-endian (a classic file's).
struct slabplace {
  int fd = -1;
  uint64_t offset = 0;
  bool swap = false;
};
// The same hyperslab where its values lie: in the block the helper shares
// for a file it reads, else in a buffer of the program's.  Valid until the
// next read; nullptr when the read failed.  Where place is given and the
// slab is one run of 4-byte values of a file the program reads itself,
// nothing is read: *place says where it lies (read_place reads it), and
// the pointer returned is place.
const void* read_netcdf_slab(int id, int varid, const std::vector<size_t>& start,
                             const std::vector<size_t>& count, size_t nbytes, bool bounded = false,
                             slabplace* place = nullptr);
// Reads n 4-byte values of a slab that lies at place from its value first
// on into to, as host values: false when the file cannot be read or ends
// before them.
bool read_place(const slabplace& place, size_t first, size_t n, void* to);
// Where a slab of nbytes lies as one run of 4-byte values, when that is
// known without a read: from a classic file's header (where the file still
// holds it), or from the places the helper gave of the steps of such a
// slab.  False otherwise; nothing is read or asked of the helper.
bool netcdf_slab_place(int id, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                       size_t nbytes, slabplace* place);
// The band of floats (lo, hi), bounds outside it, that a float
// variable's read takes for undefined beside the non-numbers, given its
// markers m1 and m2 (the same for one); false where they are two runs
// apart.
bool float_marker_band(float m1, float m2, float* lo, float* hi);
// Gives back what reads keep for the next one (the shared block, the
// program's own buffer) where it is more than a script's commands keep
// from one to the next, or with all everything.
void netcdf_reads_release(bool all);
// For the helper: whether the file opened here as id is the file the
// program opened (opened), and has not been cut since it was opened, here
// or there.
bool netcdf_holds_opened(int id, const fileident& opened);
// For the helper: the byte offset of a slab of a netCDF-4 file opened
// here where the file holds its nbytes as they are, one run of values of
// the variable's own type in the machine's order that ends within the
// file; false otherwise.
// For the helper: the indices of a netCDF variable's first dimension from
// first to its end, 0 past it (1 where not known).
size_t netcdf_steps_after(int id, int varid, size_t first);
bool netcdf_raw_place(int id, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                      size_t nbytes, uint64_t* offset);
// An id for a file the helper process holds open, described by io; reads
// and the close of the id go to the helper, but the float runs of a
// classic file whose header agrees with io, read here.
int open_remote(const char* name, const io_std& io, std::map<int, std::string>* coords);
// For a file opened here: its float runs read straight from it where its
// header is a classic one that agrees with io.
void netcdf_read_directly(int id, const io_std& io);
// The memory a read of nbytes of the variable may take in the libraries:
// twice the slab, four of its chunks and its chunk cache.
size_t netcdf_read_allowance(int id, int varid, size_t nbytes);
// The bytes of a slab of count values of a variable of a file opened
// here, in its own type; 0 when it is not one the program reads, or
// would not fit memory.
size_t netcdf_slab_bytes(int id, int varid, const std::vector<size_t>& count);
// Gives back to the system the memory the libraries keep from their last
// requests (free lists, conversion buffers, the allocator's free pages).
void netcdf_give_back();
// True when the file starts with the HDF4 signature.
bool is_hdf4_file(const char* name);
// True when a regular file holds the HDF5 signature where the HDF5 library
// looks for it: a netCDF-4 file, or another HDF5 file.
bool is_hdf5_file(const char* name);
// The signature: the first four bytes of every HDF4 file.
inline constexpr unsigned char kHdf4Signature[4] = {0x0e, 0x03, 0x13, 0x01};

// ---- HDF4 SD files (own translation unit, its headers clash with netCDF's) ----
// Library id, or -1; *sdid is the file's SD interface id (-1 without one),
// which tells the number types.  The library's error options are set
// first so that none of its errors ends the process.
int hdf_open(const char* name, int* sdid);
int hdf_close(int hid, int sdid);
int hdf_inquire(int hid, int* ndims, int* nvars, int* ngatts, int* recdim);
int hdf_diminq(int hid, int dimid, std::string* name, long* len);
int hdf_varinq(int hid, int sdid, int varid, std::string* name, int* type, std::vector<int>* dimids,
               int* natts);
int hdf_attname(int hid, int varid, int n, std::string* name);
int hdf_attinfo(int hid, int sdid, int varid, const char* name, netcdf_att* att);
int hdf_varget(int hid, int varid, const std::vector<size_t>& start,
               const std::vector<size_t>& count, void* buf);
// Whether the variable's data are stored compressed (its values may then
// take more room than the file); the bytes of one of its chunks, 0 when
// it is not chunked.
bool hdf_compressed(int sdid, int varid);
size_t hdf_chunk_bytes(int sdid, int varid);
// Gives back the library's conversion buffer, which otherwise keeps the
// size of the largest read.
void hdf_release_buffers();

// ---- the helper process (sdfhelper.cpp, sdfserve.cpp) ----
// What the helper made of a file, or why it gave no answer.
enum helper_answer {
  HELPER_NONE = -1,         // no helper could be started (helper_failure says why)
  HELPER_DIED = -2,         // it ended on the file, twice
  HELPER_TIMEOUT = -3,      // the open or read took longer than allowed
  HELPER_INTERRUPTED = -4,  // the user interrupted the wait
  HELPER_KILLED = -5,       // a signal from outside ended it, twice (helper_ended_how says which)
  HELPER_NETCDF = 1,        // times not read: the program opens the file as any other
  HELPER_HELD = 2,          // kept open by the helper; its description given
  HELPER_NOFILE = 3,        // a file the library cannot open
  HELPER_NODESC = 4,        // opened, but the library failed describing it
  HELPER_NOMEM = 5,         // opened, but its description did not fit memory
  HELPER_TIMES = 6          // its times read (helper_times)
};
// Opens and describes a file in the helper, which keeps it open: *coords
// gets the values of its coordinates, by variable id, as far as the helper
// read them.
int helper_describe(const char* name, io_std* io, std::map<int, std::string>* coords);
// The times of a file as file_times reads them, the first `most`, read in
// the helper with what the reading said: HELPER_TIMES, HELPER_NETCDF when
// the program is to open the file through an open of its own, or why not
// as for a description.
int helper_times(const char* name, size_t most, std::vector<datetime>* times, std::string* said);
// A read of a slab through the helper: the file, the variable, the
// slab, its bytes, the read's flags (sdfproto.h's READ_ flags), how many
// places (READ_PLACE) or steps of the slab along the first dimension the
// helper may give at once, and the file as the program opened it.
struct slabread {
  std::string name;
  int varid = -1;
  std::vector<size_t> start, count;
  size_t nbytes = 0;
  int flags = 0;
  uint32_t places_ahead = 1, steps_ahead = 1;
  fileident opened;
};
// What it gave: rc READ_IN_BLOCK (1) with at pointing at its values in
// the shared block (valid until the next read), followed there by the same
// slab at the next indices of its first dimension, steps in all;
// READ_IN_FILE (2, only where READ_PLACE asks for it) with places the byte
// offsets where the file holds the slab as it is, and the same slab at the
// next indices; 0 when the library failed or refused it (or the file is
// not the one opened, or was cut since), or a negative helper_answer.
struct slabgot {
  int rc = 0;
  const void* at = nullptr;
  std::vector<uint64_t> places;
  uint32_t steps = 0;
};
// Reads a slab through the helper: got->rc.  A read asked for ahead
// (helper_read_later) is taken where it is the same.
int helper_read(const slabread& r, slabgot* got);
// Asks the helper for a read while the program goes on (a step of a loop
// after the one it reads): the values go into the half of the shared
// block that the last read's are not in, so that the helper decodes the
// next step while the program works on this one.  Only after a read of the
// same kind with READ_LOOP, which keeps room for it; nothing else is
// asked of the helper until its answer is taken (or set aside).
void helper_read_later(const slabread& r);
// Sets aside the answer of a read made ahead that nobody took; the block
// is then the program's to resize.
void helper_settle();
void helper_close(const char* name);
// How the last helper that ended of itself ended ("it ended on signal 9
// (Killed)").
const std::string& helper_ended_how();
// Seconds an open may take and bytes the helper may grow by (0: the grid
// limit); the running helper is ended so that the next one takes them.
void helper_set_limits(int open_seconds, size_t mem_bytes);
int helper_pid();  // -1 when none runs
// What failed when a helper could not be started: "cannot make its socket:
// Too many open files", "it ended with exit status 127", ...
const std::string& helper_failure();
// True the first time a failure is asked about, and again only when what
// failed changes or a helper ran in between: the notice that the program
// opens a file itself is given once, not at every open.
bool helper_failure_untold();
// Whether the running helper is the program's own file run again (else a
// fork of the program); false when none runs.
bool helper_execd();
// The helper's side (sdfserve.cpp): serves the program on the socket fd
// with the shared block at kBlockFd, growing by at most mem_bytes; never
// returns.
[[noreturn]] void helper_serve(int fd, size_t mem_bytes);
// Starts the helper's process (sdfspawn.cpp), holding the other end of a
// new socket and the shared block: the program's own file run again where
// may_exec and that file allow it, else a fork of the program.  1 once
// record was given its pid, the program's end of the socket and whether
// it runs the program's file (called with every signal blocked, so that
// no ending finds a helper started and not recorded), else 0 with *why
// saying what failed.
int spawn_helper(size_t mem_bytes, int block, bool may_exec, void (*record)(pid_t pid, int fd, bool execd),
                 std::string* why);
// How a process ended, from its wait status ("it ended on signal 9
// (Killed)").
std::string ended_how(int status);
// A description as bytes and back (sdfwire.cpp); 0 for bytes that do not
// make one.
std::string pack_description(const io_std& io);
int unpack_description(const std::string& buf, io_std* io);

// ---- descriptions ----
// Fills io from the open file io->ncid; 0 on a library failure.
int read_description(io_std* io);
int type_size(int nctype);  // bytes per value, 0 for types that are not read
int init_io_std(io_std** pio);
// Opens and describes a file; 0 after its message on failure, with
// *passing (when given) true when the failure is not the file's own (an
// interrupt, a time limit, memory, no helper, a permission or any other
// refusal of the system but the file's absence) and may not recur.
int read_io_std(const char* name, io_std* io, bool* passing = nullptr);
// For a helper's answer that gives no file (it died on it, took too long,
// was interrupted, or the library could not open, describe or hold it):
// says why and returns true, with *passing as read_io_std sets it; false
// for any other answer.
bool helper_refused(const char* name, int answer, bool* passing);
int copy_io_std(io_std** dst, const io_std* src);
const netcdf_att* find_att(const std::vector<netcdf_att>& atts, const char* name);
var_info* find_var(io_std* io, const char* name);
int find_dim(const io_std* io, const char* name);
int find_dimix(const std::vector<int>& ids, int id);
// The length of a dimension as an axis size; -1 beyond what an axis holds.
int dim_length(const io_std* io, int dimid);
int read_one_dimension(io_std* io, var_info* v, int dimid);
int read_variable_data(int ncid, var_info* v, const std::vector<size_t>& start,
                       const std::vector<size_t>& count);
// Text of a char attribute (empty when absent or not text).
std::string att_text(const std::vector<netcdf_att>& atts, const char* name);
void set_time_type(io_std* io);

// ---- units library ----
// Initialises the units library from the data directory's database once;
// 1 when ready.
int sdf_units_init();
bool sdf_units_ready();
// 1 when both texts parse as units that convert with slope 1 and offset 0.
int compare_units(const char* a, const char* b);
// 1 when the text parses as a unit convertible into the reference unit.
int units_convertible(const char* text, const char* ref);
// 1 when the text is a time unit (convertible into seconds).
int units_is_time(const char* text);

// ---- coordinates and values ----
int findX(io_std* io, var_info** v);
int findY(io_std* io, var_info** v);
int findZ(io_std* io, var_info** v);
int findT(io_std* io, var_info** v);
int isdvar(const var_info* v, const var_info* x, const var_info* y, const var_info* z,
           const var_info* t, int xdim, int ydim);
// One value of a buffer as a double; 0 for a type that is not numeric.
int value_as_double(const void* buf, int type, size_t idx, double* out);
int convtype(const void* src, int stype, void* dst, int dtype, size_t sidx, size_t didx);
int flt_equal(float a, float b);
int dbl_equal(double a, double b);
int fequal(float a, float b, float tol);
int dequal(double a, double b, double tol);
int findmatch(const char* name, const std::vector<std::string>& names, int* idx);

// A linear or level-list axis worked out from coordinate values.
struct sdfaxis {
  int linear = 0;
  std::vector<float> conv;  // linear: 6 floats; levels: count, values, -999.9
  int wraps = 0;
};
// 1 linear axis built, 0 not evenly spaced, -1 error.
int trydeflin(const std::vector<double>& vals, bool wrap_test, bool reverse, sdfaxis* ax);
int sdfdeflev(const std::vector<double>& vals, bool reverse, sdfaxis* ax);
// True when longitudes are stored westward: every step, taken the short way
// round the globe, goes down, and some stored step does fall (values that
// only rise are eastward, however large their step).  Such an axis is read in reverse, as falling
// latitudes are.
bool falling_longitudes(const std::vector<double>& vals);
// Values of a coordinate variable, read whole; 0 on failure.
int coord_values(io_std* io, var_info* v, std::vector<double>* vals);

// ---- time ----
int decode_standard_time(double val, int* yr, int* mo, int* dy, int* hr, int* mn, double* sec);
int decode_delta_t(const char* text, int* yr, int* mo, int* dy, int* hr, int* mn, int* sec);
int decode_ud_time(const char* units, double val, int* yr, int* mo, int* dy, int* hr, int* mn,
                   double* sec);
int strip_char(int n, std::string* text);
// The time axis of a file: 8-float conversion array, size and calendar.
struct sdftaxis {
  float conv[8] = {1, 1, 1, 0, 0, 0, 1, -999.9f};
  int size = 1;
  int cal365 = 0;
  int cal360 = 0;  // 360-day calendar: only the start date is taken on it
  // The date of every time, when a step of months does not reach them
  // (mid-month times); empty otherwise.
  std::vector<datetime> dates;
};
// Works out the time axis from the coordinate T (none: one time at 1-1-1);
// 0 on failure, after its message.
int define_time_axis(io_std* io, var_info* t, sdftaxis* ta);

// The times of the file io describes as an open would read them, the
// first `most` of them; 0 when it has none that can be read.
int file_times(io_std* io, size_t most, std::vector<datetime>* times);

// ---- opening ----
struct datafile;
struct datetime;

// What the member files of a series gave while it opens, by name, so that
// each is read once by the steps below.
struct member_read {
  int ok = 0;
  bool passing = false;  // it failed, not by its file
  size_t asked = 0;      // the times asked for
  std::vector<datetime> times;
};
using member_reads = std::map<std::string, member_read>;
// For a template series whose first member holds one time: the step taken
// from the first time of the next member file, set in the time axis
// pfi->grvals[3]; 0 after its message when no member gives one.
// *offsteps is set when a member read begins off the axis's steps.
int series_step_from_next(member_reads* reads, datafile* pfi, const std::string& templ, bool* offsteps);
// For a series of monthly steps whose members' times the steps do not
// reach (first: the first member's times, empty for one), once its table
// is built: the times of each member there are read and become its steps'
// dates (those of missing or unreadable members lie evenly between).  0
// after its message when a member does not begin after the one before it,
// or the open is interrupted.
int series_dates_from_members(member_reads* reads, datafile* pfi, const std::string& templ,
                              const std::vector<datetime>& first);
// For a template series whose table is built: 0 after its message when the
// first member file there after the first begins no later than the first
// file's last step (its times would stand for times they are not), else 1.
int series_next_after_first(member_reads* reads, const datafile* pfi, const std::string& templ);

// What an open takes from a descriptor and what it finds in the file.
struct sdfparms {
  int findvar[4] = {1, 1, 1, 1};  // find X, Y, Z, T by units; 0: by the name below
  int dvars = 1;                  // find data variables by the test; 0: the list below
  int isxdf = 0;                  // the settings come from an XDF descriptor
  int defaxis[4] = {1, 1, 1, 1};  // define the axis from the file; 0: the descriptor did
  int dotitle = 1;                // title from the file
  int doundef = 1;                // undefined values from the file
  std::string dimnames[4];        // X, Y, Z, T dimension names from the descriptor
  int nvars = -1;                 // variables listed by the descriptor
  std::vector<std::string> ncnames;  // their names in the file
  std::vector<std::string> omnames;  // their names in the system
  std::vector<int> fromfile;         // 1: only the name given, the rest from the file
  int ddfundef = 0;               // the descriptor gave the undef value
  bool tnodim = false;            // the descriptor said the file has no time dimension
};

void doparms4sdf(sdfparms* p);
// Builds the record from the file; 0 success, 1 failure (record freed by the caller).
int omdsdf(const char* name, datafile* pfi, const std::string& templ, int ntimes,
           sdfparms* parms);
// Installs axis conversions into dimension d of a record (malloc'd arrays).
int install_axis(datafile* pfi, int d, const sdfaxis& ax);
int install_time(datafile* pfi, const float conv[8]);
// 1 when n steps of a time conversion array (start, months, minutes) end
// within the years a time can hold.
int time_axis_fits(const float conv[8], int n);
// The undefined value of a variable from its attributes, or its type's fill.
void set_var_undef(var_info* v, const datafile* pfi, int ddf_undef);
// Fixes the program's calendar after a successful open; 0 when an XDF open
// must be refused because it clashes with the files open.
struct cmnstate;
int fix_calendar(datafile* pfi, bool xdf, const cmnstate* pcm);
// Builds the per-time member table of a template series; 0 on failure.
int build_template_table(datafile* pfi, const std::string& templ);
// Expands a file-name template for a time (initial time t0, time axis tvals).
std::string sdf_fndt(const std::string& tmpl, const datetime& t, const datetime& t0,
                     const float* tvals);

// ---- template series ----
struct gridres;
int omopsdf(int t, gridres* pgr, var_info** pvar);
