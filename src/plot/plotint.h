// Shared pieces of the plot frame: scaling of results onto the page, the
// map set-up, shading levels, axes and the epilogue every plot ends with.
#pragma once

struct cmnstate;
struct gridres;
struct stnlist;
struct mapproj;
struct datetime;

// ---- scaling (scale.cpp)

// Scaling of a 1-D plot: orient 0 puts the dimension along x and the values
// along y, orient 1 the other way round.  grid or stn gives the axis
// conversions (either may be null).  Draws the plot frame.
void oms1d(cmnstate* pcm, float vmin, float vmax, int dim, int orient, const gridres* pgr,
           const stnlist* stn);
// Scaling of a 2-D grid plot; drawmap set draws the map of a lon-lat grid.
void oms2d(cmnstate* pcm, const gridres* pgr, int drawmap);
// The grid-to-world hook installed by oms1d and oms2d.
void omconv(float i, float j, float* x, float* y);
// Grid-index divisors of a plot drawn on a finer mesh than its grid.
void omsdiv(float idiv, float jdiv);
// Log-axis hooks: forward (natural log) and back (exp).
void omlnx(float x, float y, float* ox, float* oy);
void omlny(float x, float y, float* ox, float* oy);
void omalnx(float x, float y, float* ox, float* oy);
void omalny(float x, float y, float* ox, float* oy);
// The map record of the last map set-up.
mapproj* ommpj();
// Records the conversions of one axis (0 x, 1 y) of the last plot in the
// common state, copying the conversion arrays so that the record never
// points into a grid or file that is released later.
void omplim(cmnstate* pcm, int axis, int dim, double (*g2w)(float*, double),
            double (*w2g)(float*, double), const float* g2wv, const float* w2gv);

// ---- contour levels and shading colours (shades.cpp)

extern const int rcols[13];
// Builds the shading table of the common state for a field of this range.
void omselc(cmnstate* pcm, float rmin, float rmax);
// Colour of the band of the shading table that holds the value.
int omshdc(const cmnstate* pcm, float value);

// ---- axes (axes.cpp)

void omaxis(int axis, cmnstate* pcm, int dim);
void ommpax(cmnstate* pcm);
int omlnch(float lon, char* buf);
int omltch(float lat, char* buf);
int omtinc(const cmnstate* pcm, datetime* first, datetime* incr);
// A user label format: literal text, "%%" and at most one floating
// conversion.  Formats the value into buf (room n); false when the format
// is not of that kind (buf then empty).
bool omlfmt(const char* fmt, float value, char* buf, int n);

// ---- station plots (plot_station.cpp)

// Map, last-plot dimensions, frame and clip that every map station plot
// starts with.
void omstnsetup(cmnstate* pcm);

// ---- epilogue (epilog.cpp)

void omfram(cmnstate* pcm);
void omaxpl(cmnstate* pcm, int xdim, int ydim);
void omgsav(int code, cmnstate* pcm);
void omtmlb(cmnstate* pcm);
// The common end of a plot: page clip, annotation colour, logo and time
// stamp on the first pass, axes, last-graphic code.
// Logo and time stamp on the first plot of a frame.
void omstamp(cmnstate* pcm);
void omepil(cmnstate* pcm, int xdim, int ydim, int code);
// The annotation thickness less by, for the thinner lines of the axes and
// keys; any stored thickness is taken, so the difference saturates.
int omthin(int thick, int by);
// Name of a last-graphic code ("" outside the table).
const char* omgxnm(int code);
