// Entry points of the plot rendering that the command interpreter calls.
#pragma once

struct cmnstate;

// Starts the graphics package with the virtual page and the batch flag and
// resets the per-plot fields of the common state.  Called once at start.
void omgx(cmnstate* pcm);
// Draws or writes the display results of the common state; 1 when a data
// output (fwrite, writegds) could not write its file, else 0.
int omplot(cmnstate* pcm);
// Sets up the map projection for the current environment; 0 done, 1 error.
int ommscl(cmnstate* pcm);
// Draws the map outlines of the current projection.
void omwmap(cmnstate* pcm, int flag);
// Draws weather symbol 1..43 at (x, y); colour -1 takes its group's colour
// from wxcols (five colours).
void wxsym(int type, float x, float y, float size, int colour, const int* wxcols);
