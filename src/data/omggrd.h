// The grid reader: fills a grid request from the data set it names.
#pragma once

#include <cstdint>

struct gridres;

// Fills the request (file, variable, idim/jdim, dimmin/dimmax and undef set
// by the caller).  0 data read (possibly partly undefined); -1 nothing of
// the request lies in the file (grid undefined); 1 error (message printed);
// 2 memory error of a defined-variable grid; 16 logic error.  The grid's
// storage is allocated here and released with the grid (omgfre).
int omggrd(gridres* pgr);

// Re-arms the one-time interpolation notice (start of every command).
void omiomg();

// Internal readers of the current request, exposed for the neighbouring
// readers of this subsystem.
int omgrow(float* gr, const int d[4]);
int omrrow(int x, int y, int z, int t, int count, float* gr);
int64_t omfcor(int x, int y, int z, int t);
int64_t omfcyx(int x, int y, int z, int t);
int omread(int64_t pos, int n, float* gr);
int omrdyx(int64_t pos, int n, float* gr);
int omopfn(int t, int* flag);
int omgdef();
int omgpre();
void clicyc(int* t);
