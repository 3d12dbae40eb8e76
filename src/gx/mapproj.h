// Map projections and map outlines.
//
// Each set-up fits a longitude/latitude box into a page area: it programs
// the kernel's world-to-page scaling (gxscal), installs its forward routine
// as the projection hook (gxproj) and its back routine as the back hook
// (gxback), and records how wind directions turn on the map (gxaarw).
// The forward routines map (lon, lat) onto an abstract projection plane;
// the back routines undo that, or answer -999.9 where no point of the map
// lies.  One map at a time: the module state is global.
#pragma once

// The map box of a plot and the plot area the set-up chose for it.
struct mapproj {
  float lnmn, lnmx, ltmn, ltmx;  // longitude and latitude range, degrees
  float xmn, xmx, ymn, ymx;      // page area offered, inches
  float axmn, axmx, aymn, aymx;  // plot area chosen by the set-up
};

// Set-ups: 0 done, 1 the box does not fit the projection (kernel untouched).
int gxscld(mapproj* mpj, int xflip, int yflip);
int gxltln(mapproj* mpj);
int gxnste(mapproj* mpj);
int gxsste(mapproj* mpj);
int gxrobi(mapproj* mpj);
int gxmoll(mapproj* mpj);
int gxortg(mapproj* mpj);
int gxlamc(mapproj* mpj);

// Forward routines: (lon, lat) -> projection plane.
void gxnpst(float lon, float lat, float* x, float* y);
void gxspst(float lon, float lat, float* x, float* y);
void gxrobp(float lon, float lat, float* x, float* y);
void gxmollp(float lon, float lat, float* x, float* y);
void gxortgp(float lon, float lat, float* x, float* y);
void gxlamcp(float lon, float lat, float* x, float* y);
// Back routines: projection plane -> (lon, lat); -999.9 for both when the
// point lies off the map.
void gxnrev(float x, float y, float* lon, float* lat);
void gxsrev(float x, float y, float* lon, float* lat);
void gxrobb(float x, float y, float* lon, float* lat);
void gxmollb(float x, float y, float* lon, float* lat);
void gxortgb(float x, float y, float* lon, float* lat);
void gxlamcb(float x, float y, float* lon, float* lat);

// Angle in radians to add to a wind direction at this longitude.
float gxaarw(float lon, float lat);

// Map outline drawing options.
struct mapopts {
  int dcol, dstl, dthk;      // defaults for line types whose colour is -1
  const int* mcol;           // 256 colours per line type; -9 not drawn, -1 default
  const int* mstl;           // 256 styles
  const int* mthk;           // 256 thicknesses
  float lnmn, lnmx, ltmn, ltmx;  // the view, degrees
  const char* mpfile;        // map data file name
};

// Draws the lines of one map outline file through the current projection.
// Messages go to standard output; a damaged file draws what came before
// the damage.  A view spanning more 360-degree turns of longitude than the
// clip rectangle can show (each turn gets at least 1/10 inch of its width)
// is refused with a message and nothing drawn: the result is then 1, else 0.
int gxdmap(const mapopts* mopt);
