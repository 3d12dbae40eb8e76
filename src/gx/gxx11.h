// The X11 window driver: its shared state and the routines of the window,
// widget, event, pop-up menu, dialog and window-dump files.  Only these
// files include Xlib; the rest of the package sees the driver through
// gxdriver (gxdrv.h) and gxx11drv() below.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxx11drv.h"

// One queued mouse event.
struct eventrec {
  eventrec* forw = nullptr;
  float x = 0, y = 0;   // page inches of the press
  int mbtn = 0;         // mouse button 1..5
  int type = 0;         // widget kind: 0 none, 1 button, 2 rubber band, 3 drop menu
  int info[10] = {0};
  float rinfo[4] = {0};
};

enum { GX_NOBJ = 512, GX_NBTN = 256, GX_NRBB = 32, GX_NDMU = 200, GX_NSLOT = 200 };

// The driver statics (one window per process).
struct x11state {
  Display* display = nullptr;
  Window win = 0;
  GC gc = nullptr;
  Colormap cmap = 0;
  int snum = 0;
  Drawable drwbl = 0;
  Pixmap pmap = 0;
  int dblmode = 0;
  int width = 0, height = 0, depth = 0;
  float xsize = 11, ysize = 8.5;
  float xscl = 1, yscl = 1;
  int xxx = 0, yyy = 0;
  int lcolor = 1;
  int lwidth = 1, owidth = 0;
  int batch = 0;
  unsigned long cvals[120] = {0};
  int cused[120] = {0}, cmach[120] = {0};
  Pixmap pmaps[GX_NSLOT] = {0};
  int pfilld[GX_NSLOT] = {0};
  XFontStruct* font1 = nullptr;
  XFontStruct* font2 = nullptr;
  XFontStruct* font3 = nullptr;
  XFontStruct* font1i = nullptr;
  XFontStruct* font2i = nullptr;
  XFontStruct* font3i = nullptr;
  int cfont = 0;
  int bsflg = 0;
  XSetWindowAttributes xsetw;
  // widgets
  objrec obj[GX_NOBJ], obj2[GX_NOBJ];
  int obnum = 0, obnum2 = 0;
  btnrec btn[GX_NBTN], btn2[GX_NBTN];
  rbandrec rbb[GX_NRBB], rbb2[GX_NRBB];
  dmenurec dmu[GX_NDMU], dmu2[GX_NDMU];
  int rstate = 1;
  int excnt = 0;
  int gfont = 0;
  int redraw = 0;   // a full redraw is pending
  // events
  eventrec* evbase = nullptr;
  XEvent report;
  // pop-up menu levels
  int dmrecu = -1;
  int dmi1[4], dmi2[4], dmj1[4], dmj2[4], dmnum[4], dmsel[4], dmcur[4];
  int dmx = 0, dmy = 0;   // the pointer as a menu was left for another header
};

x11state& x11st();

// ---- window (gxx11.cpp)
void gxdbgn(float xsize, float ysize);
void gxdend();
void gxdfrm(int action);
void gxdcol(int colour);
int gxdacl(int n, int red, int green, int blue);
int gxbcol(XStandardColormap* map, XColor* cell);
void gxdwid(int thickness);
void gxdmov(float x, float y);
void gxddrw(float x, float y);
void gxdrec(float xlo, float xhi, float ylo, float yhi);
void gxdfil(const float* xy, int n);
void gxdptn(int type, int density, int angle);
void gxddbl();
void gxdsgl();
void gxdswp();
void gxdbat();
// The pixel of a page point (x across, y up).
int gxdpx(float x);
int gxdpy(float y);
// A pixmap of the window depth, 0 when the server cannot make it.
Pixmap gxdpixmap(int w, int h);
// Fills the drawable with the background colour.
void gxdclr(Drawable d);
// Pixel of colour n as gxdcol would choose it.
unsigned long gxdpix(int colour);
// The stipple tile of a fill pattern: side and bits (row r from the top,
// column c from the left at r*side + c); false for an invalid request.
bool gxdtile(int type, int density, int angle, int* side, std::string* bits);

// ---- widgets (gxwidget.cpp)
void gxxpbn(int n, btnrec* rec, int mode, int front, int state);
void gxxrmu(int n, dmenurec* rec, int mode);
void gxxrbb(int n, int type, float xlo, float ylo, float xhi, float yhi, int button);
void gxxrs1wd(int kind, int n);
void gxxrswd(int which);
void gxcpwd();
void gxdsfn();
void gxdrdw();
void gxrdrw(int which);
void gxclrobj(objrec* tab, int* count);
XFontStruct* gxdfnt(int italic);   // font of the size class (may be null)
// Draws the edges of a box 1..3 pixels deep with line width 1.
void gxdedge(Drawable d, GC gc, int x1, int y1, int x2, int y2, int depth, int cbr, int ctl);

// ---- events (gxevent.cpp)
void gxdeve(int wait);
void gxxbtn(int wait, float* x, float* y, int* button, int* kind, int* info, float* rinfo);
void gxevbn(eventrec* ev, int row);
void gxevrb(eventrec* ev, int row, int px, int py);
int gxevdm(eventrec* ev, int row, int px, int py);
void gxevfree();   // discards every queued mouse event
// Waits for the next event of the mask, like XMaskEvent, but returns
// false without one when the user interrupts (Ctrl-C) meanwhile.
bool gxwaitev(Display* d, long mask, XEvent* e);
// The same within about ms milliseconds (no limit when ms < 0): 1 an
// event, 0 none in time, -1 the user's interrupt.
int gxwaitfor(Display* d, long mask, XEvent* e, int ms);
void gxdrain(int action);   // reads pending window events without handling presses
// A configure event of the window that changes its size: the new size and
// scale are taken; true when the window is to be redrawn.
bool gxdresized(const XEvent& e);
// Draws a drop-menu header, open (colours of the open state) or closed.
void gxdmhead(const dmenurec& m, bool open);

// ---- between commands and the window's end (gxidle.cpp)
// Asks the window manager to send its close as a message (WM_DELETE_WINDOW).
void gxdwmproto();
// Whether the event is the end of the window: the window manager's close
// or the window destroyed.
bool gxdgone(const XEvent& e);
// Ends the line of a prompt that waits for input, so that a message that
// ends the program starts on a line of its own.
void gxdendline();
// Ends the program (gxdclosed) when a close from the window manager, or
// the window's destruction, is queued.
void gxdwmcheck();

// ---- pop-up menus (gxmenu.cpp)
// Opens one menu level beside the item (xleft..xright, ytop) it drops from;
// (px, py) is the pointer, in window pixels, as it opens.
int gxpopdm(dmenurec* menu, int header, int xleft, int xright, int ytop, int px, int py);
// The cascade menu number of item text s of len bytes, or -1; *shown gets
// the number of characters before the marker (all when there is none).
int gxdmcasc(const char* s, int len, int* shown);

// ---- dialog (gxdialog.cpp)
// null when no line (allocation failure).
char* gxxdlg(dlgrec* d);
// The numeric check of an entry: 0 accepted, 1 accepted after inserting
// "0" at *pos, 2 error: characters *pos..*end-1 marked (the line may have
// had a "#" added).  e is the first editable position.
int gxdnum(std::string& line, int e, int* pos, int* end);

// ---- the area under a temporary child window (gxunder.cpp)
// A copy of the window area w by h at (x, y), and the window size it was
// taken at; p is 0 when no whole copy could be made (no pixmap, the
// window not shown, or parts hidden that the server did not keep).
struct undersave {
  Pixmap p = 0;
  int x = 0, y = 0, w = 0, h = 0;
  int width = 0, height = 0;
};
undersave gxdsave(int x, int y, int w, int h);
// The part of the window that lies on the screen, in window pixels: a
// child window placed inside it can be seen (unless covered).
void gxdshown(int* left, int* top, int* right, int* bottom);
// Brings the window above the windows that cover it, as a menu or a dialog
// box opens in it.
void gxdraise();
// After the child has gone: puts the copy back when there is one of the
// window at its present size, else redraws the window from the display
// list; frees the copy and drops the exposures the closing caused inside
// the area.  True when the copy was put back.
bool gxdrestore(undersave& u);

// ---- window dump (gxxwd.cpp)
void set_display_screen(Display* d, int screen);
// 0 written (or no back buffer to dump), 1 failed (the message is printed).
int gxxdump(const char* name, bool back);
int Window_Dump(Window w, FILE* f);
// 0 written, 1 a write failed.
int Pixmap_Dump(Drawable d, FILE* f, int x, int y, int w, int h);
int Get_XColors(XWindowAttributes* attr, XColor** colors);
int Image_Size(XImage* image);
void _swaplong(char* bp, unsigned n);
void _swapshort(char* bp, unsigned n);
