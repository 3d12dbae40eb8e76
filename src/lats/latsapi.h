// The LATS output library: write horizontal fields (one level of one
// variable at one time) into GRIB or netCDF files.  Every call returns 0
// on failure after printing its error on the standard error stream, else
// an id or 1.  While the fatal switch is on (the default) an error ends
// the process; the set lats bridge turns it off before every call.
#pragma once

int lats_parmtab(const char* path);
int lats_create(const char* path, int convention, int calendar, int frequency, int delta,
                const char* center, const char* model, const char* comment);
int lats_basetime(int fileid, int year, int month, int day, int hour);
int lats_vert_dim(const char* name, const char* levtype, int nlev, const double* levs);
int lats_grid(const char* name, int gridtype, int nlon, const double* lons, int nlat,
              const double* lats);
int lats_var(int fileid, const char* name, int datatype, int tstat, int gridid, int levid,
             const char* comment);
int lats_miss_float(int fileid, int varid, float missing, float delta);
int lats_miss_int(int fileid, int varid, int missing);
int lats_write(int fileid, int varid, double lev, int year, int month, int day, int hour,
               void* data);
int lats_close(int fileid);
void lats_erropt(int flags);
void lats_qcopt(int on);
// 1 when the file of that id is open and has had no write yet.
int lats_indefine(int fileid);
// 0 when no file of that id is open, 1 in define mode, 2 once written to.
// Prints nothing.
int lats_filestate(int fileid);
// Number of points of the grid of a variable of an open file, 0 when the
// file or variable is unknown.  Prints nothing.
long lats_varsize(int fileid, int varid);
// Gives every float variable of the file the missing value, as
// lats_miss_float does.
void lats_miss_all(int fileid, float missing, float delta);
