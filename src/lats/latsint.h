// Inside the LATS output library: the parameter tables, the calendar
// library, the run-wide lists of files, grids and vertical dimensions, and
// the hooks of the GRIB and netCDF writers.  Single-threaded: the state is
// file-level and lives for the whole run.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/replfile.h"

class endhold;

// ---- constants of the interface -------------------------------------------

enum {
  LATS_PCMDI = 1, LATS_GRIB = 2, LATS_OMBRA_GRIB = 3, LATS_COARDS = 4
};
enum {
  LATS_HOURLY = 1, LATS_DAILY = 2, LATS_WEEKLY = 3, LATS_MONTHLY = 4, LATS_YEARLY = 5,
  LATS_FIXED = 6, LATS_MONTHLY_TABLE_COMP = 7, LATS_FORECAST_HOURLY = 8
};
enum {
  LATS_STANDARD = 0x1111, LATS_JULIAN = 0x11111, LATS_NOLEAP = 0x1011, LATS_360 = 0x11,
  LATS_CLIM = 0x1000, LATS_CLIMLEAP = 0x1100, LATS_CLIM360 = 0
};
enum { LATS_FLOAT = 1, LATS_INT = 2 };
enum { LATS_AVERAGE = 1, LATS_INSTANT = 2, LATS_ACCUM = 3, LATS_OTHER_STAT = 4 };
enum { LATS_GAUSSIAN = 1, LATS_LINEAR = 2, LATS_GENERIC = 3 };

const int LATS_MAX_GRIDS = 32;      // per file and run-wide
const int LATS_MAX_VERTDIMS = 32;   // per file
const int LATS_PARM_CAP = 512;
const int LATS_VERT_CAP = 64;
const int LATS_CENTER_CAP = 256;

// ---- parameter tables -------------------------------------------------------

struct latsVertType {
  std::string name, descrip, units;
  int positive = 1;       // 1 up, 2 down
  int verticality = 1;    // 1 single, 2 multi
  int gribLevelType = -1, gribP1 = -1, gribP2 = -1, gribP3 = -1;
};

struct latsParmEntry {
  std::string name, title, units;
  int gribParm = 0, gribScale = -999, precision = -999;
  std::string levelType;
  int levelTypeSet = 0;
  bool hasVertType = false;   // vertType below holds the joined row
  latsVertType vertType;
  int datatype = LATS_FLOAT;
};

struct latsCenter {
  std::string name;
  int gribProcess = -1, gribCenter = -1, gribSubcenter = -1;
};

struct latsQC {
  std::string variable, levelType;
  double level = 0;
  float mean = 0, std = 0, tolerance = 0, range = 0, rangeTolerance = 0;
  // latest statistics of a checked field
  float obsMean = 0, obsMax = 0, obsMin = 0, obsStd = 0;
};

int latsParmCreateTable(const char* path);
int latsParmCreateDefaultTable();
const latsParmEntry* latsParmLookup(const char* name);
const latsVertType* latsVertTypeLookup(const char* name);
const latsCenter* latsCenterLookup(const char* name);
const latsQC* latsQCLookup(const char* var, const char* levtype, double level, double delta);
void latsVertTypeList();
// 1 once a table has been loaded in this run.
extern int latsParmTableCreated;
// Counts of the loaded tables (for tests and the query).
int latsParmCount();
int latsVertTypeCount();
int latsCenterCount();
int latsQCCount();
// Forgets every loaded table (tests only).
void latsParmReset();

void latsCpyTrim(char* dst, const char* src, int n);
void latsCpyLower(char* dst, const char* src, int n);
std::string latsTrimStr(const std::string& s);
int latsStrtoi(const char* s, int* result, int deflt);
int latsStrtof(const char* s, float* result, float deflt);
int latsStrtod(const char* s, double* result, double deflt);

// ---- calendars and time arithmetic -----------------------------------------

struct latsCompTime {
  long year = 0;
  short month = 1;
  short day = 1;
  double hour = 0;
  long baseyear = 1970;
  int calendar = LATS_STANDARD;
};

int latsTimeCmp(int y1, int m1, int d1, int h1, int y2, int m2, int d2, int h2);
// Relative value of a component time in units such as "hours since
// 1979-1-1 0"; 1 on success, 0 after its error (result unset).
int latsComp2Rel(int calendar, latsCompTime ct, const char* relunits, double* reltime);
int latsIsLeap(int calendar, long year);
int latsDayOfYear(const latsCompTime& ct);
void latsMonthDay(latsCompTime* ct, int doy);
double latsh2e(const latsCompTime& ct);
latsCompTime latse2h(double hours, int calendar, long baseyear);
int latsToOldTimetype(int calendar, int* out);
int latsChar2Comp(int calendar, const char* text, latsCompTime* ct);
int latsValidateTime(const latsCompTime& ct);
// Units word at the start of text: 1 minutes .. 8 seconds; 0 unknown.
int latsUnitsOf(const char* word);
extern const char* const latsMonthNames[12];

// ---- error printers -----------------------------------------------------------

extern int lats_fatal;
extern int lats_verbose;
extern int lats_qc;
extern const char* latsRoutine;
void latsError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void latsWarning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- run-wide lists -------------------------------------------------------------

struct latsGrid {
  std::string name;
  int type = LATS_LINEAR;
  std::vector<double> lons, lats, wlons, wlats;
  int id = 0;
};

struct latsVertDim {
  std::string name;
  std::vector<double> levs;
  int id = 0;
  double delta = 0.1;
  latsVertType type;
};

struct latsVar {
  std::string name, comment;
  int id = 0;
  int hasmissing = 0;
  float missing = 0;
  int imissing = 0;
  double missdelta = 0;
  latsParmEntry parm;
  latsGrid* grid = nullptr;
  latsVertDim* vertdim = nullptr;
  int nlev = 0;
  double levdelta = 1e20;
  int scale = -999, precision = -999;
  int tstat = LATS_INSTANT;
  int tunit = 1, tp1 = 0, tp2 = 0, tri = 0;   // GRIB time-range row
  std::vector<latsQC> qc;        // one per level (or one)
  std::vector<char> hasqc;       // 1 when qc[i] holds a row
  int nlevwrite = 0;
  int ntimewritten = 0;
  int timemissing = 0;
  int ncvarid = -1;
};

struct latsFileGrid {
  latsGrid* grid;
  int londim = -1, latdim = -1, lonvar = -1, latvar = -1;
};
struct latsFileVert {
  latsVertDim* vd;
  int dim = -1, var = -1;
};

struct latsFile {
  std::string comment, center, model, path;
  int id = 0;
  int basetimeset = 0;
  int baseyear = 0, basemonth = 0, baseday = 0, basehour = 0;
  std::string timeunits, nctimeunits;
  int gribproc = -1, gribcenter = -1, gribsubcenter = -1;
  int delta = 0;
  int ntimewritten = 0;
  int writesfailed = 0;  // writes whose bytes did not reach the file
  int lastyear = 0, lastmonth = 0, lastday = 0, lasthour = 0;
  int mode = 1;   // 1 define, 2 writing
  int fhour = 0;
  int calendar = LATS_STANDARD;
  int monthlyflag = 0;
  int frequency = LATS_HOURLY;
  int convention = LATS_OMBRA_GRIB;
  int format = 2;   // 1 netCDF, 2 GRIB
  std::vector<latsFileGrid> grids;
  std::vector<latsFileVert> vdims;
  std::vector<std::unique_ptr<latsVar>> vars;
  // The files written: the data (.grb or .nc), and for the Ombra GRIB
  // convention its descriptor (.ctl) and, where an older index stands at
  // its name, an empty index (.gmp) that takes that one's place until the
  // real one is made at close (latsout.cpp).
  replfile out, ctlout, mapout;
  // GRIB writer
  std::string ctlpath;
  std::string ctlondisk;  // the descriptor as the part file holds it, whole
  int fwyear = 0, fwmonth = 0, fwday = 0, fwhour = 0, fwset = 0;
  // netCDF writer
  int ncid = -1, nctimedim = -1, nctimevar = -1, ncmode = 1, ncndims = 0;
  long long ncsettled = -1;  // the records settled before the first write that failed
};

latsFile* latsFileLookup(int id);
latsVar* latsVarLookup(latsFile* f, int varid);
// Forgets every file, grid and vertical dimension (tests only).
void latsInterfaceReset();

// ---- the files of an output (latsout.cpp) -------------------------------------

// Opens path for a file of an output under a part name (held as the
// replacement rules say, replfile.h); false after its error.
bool latsOutOpen(replfile* r, const std::string& path, endhold* hold);
// The name a library opens that file by.
std::string latsOutPath(const replfile& r);
// Tells the ending handler of the file's part files, once they are whole.
void latsOutPublish(latsFile* f);
// Puts the file's files in their places, the data first; 0 after its
// error when one stays under its part name (those after it stay too).
int latsOutCommit(latsFile* f);
// Closes the files and removes their parts: a create that failed.
void latsOutDiscard(latsFile* f);
// The same for one of them, which could not be finished.
void latsOutDrop(latsFile* f, replfile* r);

// ---- writer hooks -------------------------------------------------------------

int latsCreateGrib(latsFile* f);
int latsGridGrib(latsFile* f, latsFileGrid* g);
int latsVertDimGrib(latsFile* f, latsFileVert* v);
int latsVarGrib(latsFile* f, latsVar* v);
int latsWriteGrib(latsFile* f, latsVar* v, int levindex, int timeindex, int y, int m, int d,
                  int h, void* data);
int latsCloseGrib(latsFile* f);
// Brings the descriptor file up to date with the file's variables and
// writes; false after its error.
int latsSettleGrib(latsFile* f);
// Builds the time-range row of a GRIB variable; 1 or 0 after its error.
int latsGribTimeRange(latsFile* f, latsVar* v);

int latsCreateNc(latsFile* f);
int latsGridNc(latsFile* f, latsFileGrid* g);
int latsVertDimNc(latsFile* f, latsFileVert* v);
int latsVarNc(latsFile* f, latsVar* v);
int latsWriteNc(latsFile* f, latsVar* v, int levindex, int timeindex, int y, int m, int d,
                int h, void* data);
int latsCloseNc(latsFile* f);
// Closes the library's file, finished or not (the files themselves are the
// caller's to keep or drop).
void latsDropNc(latsFile* f);
// Brings the file on disk up to date: its header and record count; false
// after its error.
int latsSettleNc(latsFile* f);

// ---- quality control ---------------------------------------------------------

int latsStatVar(latsFile* f, latsVar* v, int levindex, int y, int m, int d, int h,
                const void* data);
int latsStatFile(latsFile* f);
void latsQCLogClose();

// ---- GRIB packing helpers (exposed for tests) ------------------------------

// Packs the low nbits of each value, most significant bit first; returns the
// bytes used.  dest must hold ceil(n * nbits / 8) bytes.
size_t list2bitstream(const unsigned int* vals, unsigned char* dest, size_t n, int nbits);
// Century and year of century of a year.
void latsCentury(int year, int* century, int* yoc);
