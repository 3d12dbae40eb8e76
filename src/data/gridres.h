// The grid record: every grid of the program (read from a file, computed by
// the evaluator or a function, held by a defined variable, handed to the
// plot code) is one gridres.
//
// Allocation convention (shared by every producer and by omgfre):
//  - the record itself comes from omgnew (calloc; all fields zero);
//  - data of a grid with a varying dimension is allocated with malloc
//    (omgalo does it) and released by omgfre; a grid without varying
//    dimension keeps its single value in rmin and data points there;
//  - when alocf is 1 the grid owns its two grid-to-world conversion arrays
//    (ivals, jvals; allocated with malloc, e.g. copies made by cpscal) and
//    omgfre releases them; with alocf 0 they belong to the data file.
#pragma once

#include <cstddef>

#include "base/omtypes.h"  // omaxisfn

struct datafile;
struct filevar;

struct gridres {
  float* grid;          // isiz*jsiz values, i fastest; &rmin for a 0-D grid
  datafile* pfi;        // file the grid was read from, null otherwise
  float undef;          // undefined value (-9.99e33 for constants)
  float rmin;           // minimum (ommnmx); the value of a 0-D grid
  float rmax;           // maximum
  int isiz, jsiz;       // points along i and j (1 when not varying)
  int idim, jdim;       // varying dimensions: -1 none, 0 X, 1 Y, 2 Z, 3 T
  int iwrld, jwrld;     // per-axis flag of i and j (1: collection-to-grid)
  int dimmin[4];        // first grid index on X, Y, Z, T (1-based)
  int dimmax[4];        // last grid index on X, Y, Z, T
  filevar* pvar;        // variable the grid was read from, null otherwise
  int alocf;            // 1: ivals/jvals are owned by the grid
  omaxisfn igrab, jgrab;   // grid-to-world routines of i, j (X, Y, Z only)
  omaxisfn iabgr, jabgr;   // world-to-grid routines of i, j
  float* ivals;         // grid-to-world array of i (time axis array for T)
  float* jvals;         // grid-to-world array of j
  float* iavals;        // world-to-grid array of i
  float* javals;        // world-to-grid array of j
  int ilinr, jlinr;     // linear flags of i and j (1 when not varying)
  int umask;            // spare word for producers (unnamed integer field)
};

// A new zeroed grid record (calloc), or null after
// "Unable to allocate memory for grid structure \n".
gridres* omgnew();

// Allocates the data of a grid with n values (malloc) into pgr->grid;
// returns the storage or null (no message), also for more bytes than
// omgcap.  For n < 2 it points grid at rmin instead and allocates nothing.
float* omgalo(gridres* pgr, size_t n);

// Most bytes of data one grid may have: a quarter of the machine's memory
// (half the address-space limit when one is set), and at most 2^31 - 1
// values.
size_t omgcap();

// A new 0-D grid holding val, or null after the allocation message.
gridres* omgrvl(float val);

// Releases a grid (null: nothing), with its data and, when it owns them,
// its conversion arrays.  Large data blocks are kept (a few, within a
// total) and handed out again by omgalo for grids of about the same size,
// so their contents are whatever the last grid left there.
void omgfre(gridres* pgr);

// The data blocks kept for reuse: how many, and their usable bytes.
void omgpool(int* nblk, size_t* bytes);

// Returns every kept data block to the system allocator.
void omgpfre();

// Sets rmin and rmax from the defined values of a grid of more than one
// point (both undef when none is defined).
void ommnmx(gridres* pgr);

// 0 when both grids cover the same range of dimension dim, else 1.
int omgchk(gridres* pgr1, gridres* pgr2, int dim);
