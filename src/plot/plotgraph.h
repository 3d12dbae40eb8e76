// Pieces shared by the graphs, vector, scatter, station, station-model and
// station-series plots: the arrow and wind-barb glyphs, the linefill
// polygon helpers and the station-model layout, and small helpers over
// grids and station lists.
#pragma once

#include <string>

struct cmnstate;
struct gridres;
struct stnlist;
struct stnrpt;

// ---- glyphs (plot_glyph.cpp)

// One arrow with its tail at page (x, y), pointing dir radians
// counter-clockwise from +x, len inches long.  head: size of the head in
// inches; negative is a fraction of the length; 0 draws no head.
void omarrw(float x, float y, float dir, float len, float head);
// One wind barb at page (x, y).  staff: bare staff length; size: length of a
// full barb; radius: gap left round the station; dir: the vector's
// direction (the staff points the opposite way); speed in data units (a full
// barb is 10, a pennant 50); shem puts the barbs on the other side.
void ombarb(float x, float y, float staff, float size, float radius, float dir, float speed,
            int shem);

// ---- helpers (plot_glyph.cpp)

// Minimum and maximum of the defined values of a grid (all isiz*jsiz
// points); false when none is defined.
bool omgrng(const gridres* pgr, float* mn, float* mx);
// The grid of display result n, or null when there is no such result or it
// is a station list.
gridres* omresg(cmnstate* pcm, int n);
// The station list of display result n, or null.
stnlist* omress(cmnstate* pcm, int n);
// The page position of a station: the longitude is moved by 360 into the
// environment's range; false when the station lies outside (strictly) the
// longitude or latitude range.
bool omstxy(const cmnstate* pcm, float lon, float lat, float* x, float* y);
// A value as "%.*f" with n decimals (n clamped to 0..8).
std::string omfmtv(float v, int n);
// The first blank-delimited word of an 8-character station id.
std::string omstid(const char* id);
// A float to int for codes and counts: false when it is not finite or
// outside +-1e9.
bool omtoint(double v, int* out);
// Reference magnitude of an arrow field whose largest component
// magnitudes are m and n: the hypotenuse cut to its first significant
// digit, 1 when it is 0.
float omrefmag(double m, double n);
// Draws text centred on x with its bottom at y, height and width h, over a
// box of the background colour when box is set, in colour col.
void omcentxt(const std::string& t, float x, float y, float h, bool box, int col);

// ---- graphs (plot_graph.cpp)

// Crossing of segment a1->a2 with b1->b2 over one grid step: fraction t and
// value y at the crossing.
void lfint(float a1, float a2, float b1, float b2, float* t, float* y);
// Fills one linefill polygon of n stored points (x grid positions, a and b
// the two curves); work is unused scratch kept for callers' layout and may
// be null.
void lfout(float* x, float* a, float* b, float* work, int n, int vertical);

// ---- station series and profiles (plot_series.cpp)

// Regroups a profile's reports in place: by station in order of first
// appearance, each station's reports by descending level.
void omprgrp(stnlist* s);

// ---- station model (plot_model.cpp)

// Draws one station model at the report's position from the 10 slot values
// and their missing values.
void omsmdl(cmnstate* pcm, stnrpt* rpt, float* vals, float* miss);
// Distance from (x, y) at which a line pointing along (-u, -v) leaves the
// first text box it meets, or -999.9.  The boxes are widened (scratch).
float wndexit(float u, float v, float x, float y, float r, float* xlo, float* xhi, float* ylo,
              float* yhi);
