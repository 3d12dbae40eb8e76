// The graphics package: device-independent drawing in page inches.
//
// Everything drawn is clipped to the clip rectangle, recorded in the display
// list (from which the hardcopy metafile and PNG/GIF images are made) and,
// when a display window is open, drawn on it through the display driver
// (gxdrv.h).  The package prints its messages with the standard library
// straight to standard output.
//
// The package keeps one static state and is not reentrant.
#pragma once

#include <string>
#include <vector>

// ---------------------------------------------------------------- records

// A push button, as handed to gxdpbn (the package copies it; the label
// pointer's ownership passes to the widget table).
struct btnrec {
  int num = -1;                    // button number, -1 free
  float x = 0, y = 0, w = 0, h = 0;  // centre and size, page inches
  int x1 = 0, x2 = 0, y1 = 0, y2 = 0;  // pixel box, written by the driver
  int fc = 0, bc = 0, oc1 = 0, oc2 = 0;      // state 0 colours: text, face, bottom/right, top/left
  int ffc = 0, fbc = 0, foc1 = 0, foc2 = 0;  // state 1 colours
  int thk = 0;                     // line thickness
  int state = 0;                   // 0 or 1
  int len = 0;                     // label length
  char* ch = nullptr;              // label (malloc'ed; owned by the table once handed over)
};

// A rubber band region for mouse selection.
struct rbandrec {
  int num = -1;    // -1 free
  int mbc = -1;    // mouse button, -1 any
  float xlo = 0, xhi = 0, ylo = 0, yhi = 0;  // page inches
  int type = 1;    // 1 box, 2 line
};

// A drop-menu header (or cascade menu) as handed to gxdrmu.
struct dmenurec {
  int num = -1;          // -1 free
  int casc = 0;          // 1 cascade menu without a header
  float x = 0, y = 0, w = 0, h = 0;  // header centre and size, page inches
  int x1 = 0, x2 = 0, y1 = 0, y2 = 0;  // pixel box of the header
  int fc = 0, bc = 0, oc1 = 0, oc2 = 0;      // header colours
  int tfc = 0, tbc = 0, toc1 = 0, toc2 = 0;  // header colours while open
  int bfc = 0, bbc = 0, boc1 = 0, boc2 = 0;  // menu colours
  int soc1 = 0, soc2 = 0;                    // highlight colours
  int thick = 0;
  int len = 0;           // bytes of the item text (NULs counted, final NUL not)
  char* str = nullptr;   // item texts, each NUL-terminated (malloc'ed; owned by the table)
};

// A row of the widget object table.
struct objrec {
  int type = -1;   // -1 free, 0 disabled, 1 button, 2 rubber band, 3 drop menu
  int i1 = 0, i2 = 0, j1 = 0, j2 = 0;  // pixel box: left, right, top, bottom
  int mb = -1;     // mouse button, -1 any
  void* iob = nullptr;  // the widget's row in its own table
};

// The dialog box request of the "dialog" query.
struct dlgrec {
  float x = -1, y = -1, w = -1, h = -1;  // page inches, -1 default
  int pc = -1, fc = 0, bc = 15, oc = 1;  // prompt, text, face, border colours
  int th = 1;                            // thickness
  int len = 0;                           // length of the initial text
  char* ch = nullptr;                    // initial text (owned by the dialog once handed over)
  int nu = 0;                            // numeric-only flag
};

// A conversion hook: (x, y) -> (*ox, *oy); the outputs may alias the inputs.
typedef void (*gxhook)(float x, float y, float* ox, float* oy);

// ---------------------------------------------------------------- kernel

// Starts the package with the real page size; batch nonzero runs without a
// display window.  Prints "GX Package Initialization: Size = %g %g \n".
void gxstrt(float xsize, float ysize, int batch);
// Closes the metafile and the display; prints "GX package terminated \n".
void gxend();
// Registers the package's part of the session's endings (base/ending.h):
// quit runs gxend, the other ends that may print end an open metafile
// (gxhend), and a signal's handler ends it too (gxhsigend) and says the
// closing lines.  gxstrt registers it; the program does so before, so
// that an ending before the package starts still says the closing lines.
void gxendreg();
// Frame actions 0..7 start a new frame; 8 and above go to the display only.
void gxfrme(int action);
// Display-only background paint before a redraw.
void gxsfrm();

void gxscal(float pxlo, float pxhi, float pylo, float pyhi,
            float wxlo, float wxhi, float wylo, float wyhi);
void gxvpag(float vxsize, float vysize, float sxlo, float sxhi, float sylo, float syhi);
void gxvcon(float x, float y, float* rx, float* ry);
void gxppvp(float rx, float ry, float* x, float* y);
void gxclip(float xlo, float xhi, float ylo, float yhi);
// Current clip rectangle (virtual page inches).
void gxqclip(float* xlo, float* xhi, float* ylo, float* yhi);

void gxproj(gxhook fn);
void gxgrid(gxhook fn);
void gxback(gxhook fn);
void gxrset(int level);
void gxconv(float x, float y, float* px, float* py, int level);
void gxcord(float* xy, int n, int level);
void gxgrmp(float x, float y, float* px, float* py);
void gxxy2w(float x, float y, float* wx, float* wy);
void bdterp(float x1, float y1, float x2, float y2, float* xo, float* yo);

// Real and virtual page sizes.
void gxqpag(float* rxsize, float* rysize, float* xsize, float* ysize);

// ---------------------------------------------------------------- primitives

void gxcolr(int colour);
// Defines colour n; returns 1 when the exact colour is available (always so
// in batch mode: images use the exact colour), 0 when only the closest was.
int gxacol(int n, int red, int green, int blue);
void gxbckg(int colour);
int gxqbck();
int gxqclr();
int gxqstl();
int gxqwid();
void gxwide(int thickness);
void gxstyl(int style);
void gxmove(float x, float y);
void gxdraw(float x, float y);
void gxplot(float x, float y, int pen);
void gxrecf(float xlo, float xhi, float ylo, float yhi);
void gxptrn(int type, int density, int angle);
void gxmark(int type, float x, float y, float size);
void gxtitl(const char* text, float x, float y, float height, float width, float angle);
void gxfill(const float* xy, int n);
void gxbutn(int n, btnrec* rec);
void gxhopt(int flag);
// Densifies a longitude/latitude polygon so no step exceeds llinc degrees
// and converts it to page inches (level 2); the count goes to *newn.
std::vector<float> gxmpoly(const float* xy, int n, float llinc, int* newn);

// Contour label spacing (set clskip): d > 0.1 sets the integer part.
void gxclmn(float d);
int gxqclmn();

// ---------------------------------------------------------------- display list / metafile

void gxhnew(float xsize, float ysize);
// Opens the hardcopy metafile: 0 open (or already open), 1 failure (message printed).
int gxhbgn(const char* fname);
// Writes the current frame to the open metafile: 0 done, 1 failure (message printed).
int gxhprt();
void gxhfrm(int action);
// Ends and closes the metafile: 0 when it has its name (or none was open),
// 1 when the close failed or the finished file stays under its part name
// (message printed).
int gxhend();
// Whether a metafile opened by gxhbgn still waits for its end (gxhend):
// the ends of a session other than quit end it when this is nonzero.
int gxhopen();
// Gives the open metafile its end records and puts it in place, as gxhend
// would, with calls that are safe in a signal handler, and returns the
// line gxhend would print.
const char* gxhsigclose();
// The same, with that line given to the ending among its closing lines
// (omendsay).
void gxhsigend();
void gxhdrw(int which);
void xycnv(int ix, int iy, float* x, float* y);

// ---------------------------------------------------------------- images

// Renders the current frame into a PNG (gif 0) or GIF image.  width/height
// negative: the default size; background -999 default, 0 black, 1 white.
// Returns 0 done, 1 open failure, 2 write failure (errno says why), 3
// finished but left under its part name (message printed), 99 rendering
// error.
int gxhpng(const char* fname, int width, int height, int background, int gif);

// ---------------------------------------------------------------- stroke fonts

void gxchii();
void gxchdf(int font);
int gxchrd(int font);
void gxchpl(const char* text, int len, float x, float y, float height, float width, float angle);
int gxchln(const char* text, int len, float width, float* result);

// ---------------------------------------------------------------- display and widgets

void gxdbck(int flag);
int gxdbkq();
void gxgrey(int flag);
void gxwdln();
void gxdgeo(const char* geometry);
void gxdxsz(int width, int height);
int gxqfil();
void gxdbtn(int wait, float* x, float* y, int* button, int* kind, int* info, float* rinfo);
// The typed line of the dialog box followed by "\n"; empty when there is none.
std::string gxdlg(dlgrec* d);
void gxdpbn(int n, btnrec* rec, int mode, int front, int state);
void gxdrbb(int n, int type, float xlo, float ylo, float xhi, float yhi, int button);
void gxdrmu(int n, dmenurec* rec, int mode, int state);
void gxrs1wd(int kind, int n);
void gxrswd(int which);
void gxdssv(int slot);
void gxdssh(int slot);
void gxdsfr(int slot);
void gxdtxt(int n, float x, float y);
int win_data(int* result);
// Window dumps of the hidden and the visible frame: 0 written (or nothing
// to dump, as in batch mode), 1 failed (the message is printed).
int dump_back_buffer(const char* fname);
int dump_front_buffer(const char* fname);
