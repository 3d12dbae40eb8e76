// The drawing routines that the display dispatcher chooses between.  Each
// draws the display results of the common state.
#pragma once

struct cmnstate;

void omcntr(cmnstate* pcm, int kind);   // 0 contour, 1 shaded, 2 grid-box fill
void omplvl(cmnstate* pcm);             // grid values
void omfgrd(cmnstate* pcm);             // fgrid
void omgrph(cmnstate* pcm, int kind);   // 0 line, 1 bar, 2 error bar
void omlfil(cmnstate* pcm);             // linefill
void omscat(cmnstate* pcm);             // scatter
void omvect(cmnstate* pcm, int barb);   // vectors (0) or barbs (1)
void omstrm(cmnstate* pcm);             // streamlines
void ompstn(cmnstate* pcm);             // station values, barbs, vectors
void omfstn(cmnstate* pcm);             // find-station
void ompmdl(cmnstate* pcm);             // station model
void omsmrk(cmnstate* pcm);             // station marks
void omwsym(cmnstate* pcm);             // weather symbols
void ompprf(cmnstate* pcm);             // vertical profile of station data
void omtser(cmnstate* pcm);             // station time series
