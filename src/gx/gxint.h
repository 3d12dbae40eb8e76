// Internal state shared by the files of the graphics package.
#pragma once

#include <cstdint>
#include <vector>

#include "gx/gx.h"

// The kernel's transform, clip, pen, dash and colour state.
struct plotxform {
  float rxsize = 11, rysize = 8.5;   // real page, inches
  float xsize = 11, ysize = 8.5;     // virtual page, inches
  float vxm = 1, vxb = 0, vym = 1, vyb = 0;  // virtual -> real page
  int lwflg = 0;                     // small virtual page: halve hardcopy thickness
  float clminx = 0, clmaxx = 11, clminy = 0, clmaxy = 8.5;
  int cflag = 0;                     // pen outside the clip rectangle
  float xm = 1, xb = 0, ym = 1, yb = 0;  // world -> page scaling
  gxhook gconv = nullptr, fconv = nullptr, bconv = nullptr;
  float oldx = 0, oldy = 0;
  float xsave = 0, ysave = 0;
  float dash[8] = {0};
  int dnum = 0, lstyle = 0, jpen = 2, dpnt = 0;
  float alen = 0, slen = 0;
  int color = 1;
  int lwide = 1;
  int bcol = 0;
  int intflg = 0;
  int bufmod = 0;
  int reds[100], grns[100], blus[100];
};

plotxform& gxstate();

// True when the point is inside the clip rectangle (non-finite is outside).
bool gxinclip(float x, float y);

// ---- display list

// A record coordinate: thousandths of an inch, limited to 0..32760.
int16_t gxhcoord(double inches);

void hout0(int code);
void hout1(int code, int i);
void hout2i(int code, int i, int j);
void hout3i(int code, int i, int j, int k);
void hout4i(int code, int i, int j, int k, int l);
void hout2(int code, float x, float y);
void hout4(int code, float a, float b, float c, float d);

// One chunk of records to read: its words and their count.
struct gxhchunk {
  const int16_t* words;
  size_t len;
};
// The chunks of the frame an image or a print shows (the frame being drawn
// outside double-buffer mode, the completed frame in it).
std::vector<gxhchunk> gxhsel(bool completed);
// Real page size stored by gxhnew.
void gxhqpag(float* xsize, float* ysize);
// Whether the display list is in double-buffer mode.
int gxhqdb();
// Test support: the size in 16-bit words of new chunks (0 restores the default).
void gxhsetchunk(size_t words);
// Test support: is recording stopped (herr or bflag)?
int gxhqerr();

// ---- stroke fonts
// Glyph of a character in a font: its text (3-character count first) and
// the number of bytes that belong to it; null when the font is missing.
const char* gxchgc(int ch, int font, int* count, int* nbytes);
