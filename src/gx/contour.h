// Grid algorithms of the graphics package: contour lines with their labels,
// shaded contour polygons and streamlines.  They draw through the kernel's
// conversion hooks (grid coordinates at level 3) and primitives.
//
// Like the rest of the package they keep file-level state and are not
// reentrant.
#pragma once

// ---------------------------------------------------------------- contour lines

// Traces and draws the lines of level v over the index range ib..ie,
// jb..je (1-based) of the is by js grid r (i fastest).  Points equal to
// undef break the lines.  lab is the label text (at most 15 characters are
// kept; empty or null queues no labels); splflg nonzero draws smoothed
// lines; labtp 0, 1 or 2 chooses the label spots on smoothed lines.
void gxclev(const float* r, int is, int js, int ib, int ie, int jb, int je, float v,
            float undef, const char* lab, int splflg, int labtp);
// Draws the queued labels (flag nonzero) with character size csiz, in
// colour, or each in its queued colour when colour is -1 or less; always
// empties the queue.
void gxclab(float csiz, int flag, int colour);
// Frees the work buffers of the tracer.
void gxcrel();
// Saddle rule of a cell with corner values z1 lower left, z2 lower right,
// z3 upper right, z4 upper left at level v: 1 pairs the bottom crossing
// with the right one (and left with top), 0 bottom with left.
int pathln(float z1, float z2, float z3, float z4, float v);
// Number of labels queued so far (for the drivers and tests).
int gxclbn();
// The least running length of line between two labels, page inches.
int gxcldm();

// ---------------------------------------------------------------- shading

// Fills the areas of the is by js grid r above levels[k] and not above
// levels[k+1] in colours[k] (above the last level: its colour), count
// ascending levels.  Cells with an undefined corner stay empty; a value
// equal to a level counts as not above it.
void gxshad(const float* r, int is, int js, const float* levels, const int* colours, int count,
            float undef);

// ---------------------------------------------------------------- streamlines

// Streamlines of the vector field (u, v), is by js, optionally coloured by
// the grid c through the shade levels (cflag nonzero).  den is the density
// setting (5 the default).
void gxstrm(const float* u, const float* v, const float* c, int is, int js, float uund,
            float vund, float cund, int cflag, const float* shdlvs, const int* shdcls,
            int shdcnt, int den);
// Arrowhead at (x2, y2) pointing from (x1, y1); the pen stays at (x2, y2).
void strmar(float x1, float y1, float x2, float y2);
// The colour of a value through shade levels and colours.
int gxshdc(const float* shdlvs, const int* shdcls, int shdcnt, float val);
