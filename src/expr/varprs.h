// Variable references inside expressions: file variables with file numbers
// and dimension overrides, defined variables, lat/lon/lev, station requests
// and function calls.
#pragma once

struct datafile;
struct filevar;
struct evalstat;
struct gridres;

// Reads the reference at p (its first letter).  Returns the position after
// it, with the result and its type in pst; null after printing why.
const char* varprs(const char* p, evalstat* pst);

// Says that the grid of the variable named vnam could not be read (after
// the reader's own message).
void varreadfailed(const char* vnam);

// The data-file record of the defined variable of that name, or null.
datafile* getdfn(const char* name, evalstat* pst);

// Station request for variable pvar of station file pfi; p is the position
// after the name (and its ".N").  vnam is the name for messages.
const char* stnvar(const char* p, const char* vnam, datafile* pfi, filevar* pvar,
                   evalstat* pst);

// One dimension expression (x=1, t+2, lat=40, time=12z1jan1990, r=5).
// dim receives 0..3 (or 9 for a radius), gval the grid value (world value
// for station files), wflag whether the value was given in world
// coordinates.  rflag nonzero forbids the radius.  Null after a message.
const char* dimprs(const char* p, evalstat* pst, datafile* pfi, int* dim, float* gval,
                   int rflag, int* wflag);

// The grid request varprs would read for text when text is nothing but
// the name of a variable of a gridded data file (with an optional ".N"),
// filled as varprs fills it.  False, with nothing printed, for anything
// else: a defined variable, lat/lon/lev, a station file, dimension
// overrides or further text, an unknown name, coordinates varprs refuses.
bool varrequest(const char* text, evalstat* pst, gridres* req);
