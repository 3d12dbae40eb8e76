// Pieces of the contour, shading and grid plots shared between their
// drivers (and reachable by tests).
#pragma once

struct cmnstate;
struct gridres;

// A transposed copy of the grid, registered as an extra display result so
// that the display command releases it; null after a failed allocation
// (message printed).
gridres* omflip(gridres* pgr, cmnstate* pcm);
// The grid as the plot draws it: transposed when xyrev is on (except a
// level-time grid) or when it is a level-time grid with xyrev off.
gridres* omorient(gridres* pgr, cmnstate* pcm);
// Linear and cubic interpolation onto a mesh fi by fj times finer; out
// holds ((isize-1)*fi+1) * ((jsize-1)*fj+1) values.
void omglin(const float* in, int isize, int jsize, float* out, int fi, int fj, float undef);
void omgexp(const float* in, int isize, int jsize, float* out, int fi, int fj, float undef);
// Fills every defined grid box with the colour of its band; a value equal
// to a level falls in the band below it, and an uncoloured band (-1) is
// not drawn.
void omgfil(const float* grid, int isize, int jsize, const float* levels, const int* colours,
            int count, float undef);
