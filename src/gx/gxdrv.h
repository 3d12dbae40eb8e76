// The display driver seen by the graphics kernel.  Batch mode uses the base
// class, whose operations do nothing; a window driver derives from it and
// installs itself with gxdsetdrv.  Only that driver's own file links the
// window system, so everything else builds and runs without it.
#pragma once

#include "gx/gx.h"

class gxdriver {
 public:
  virtual ~gxdriver() = default;
  virtual bool interactive() const { return false; }
  virtual void begin(float xsize, float ysize) {}
  virtual void end() {}
  virtual void frame(int action) {}
  virtual void colour(int c) {}
  // 1 when the exact colour was allocated, 0 when the closest was assigned.
  virtual int defcolour(int n, int r, int g, int b) { return 1; }
  virtual void width(int thickness) {}
  virtual void move(float x, float y) {}
  virtual void draw(float x, float y) {}
  virtual void rect(float xlo, float xhi, float ylo, float yhi) {}
  virtual void fill(const float* xy, int n) {}
  virtual void pattern(int type, int density, int angle) {}
  virtual void dblbuf() {}
  virtual void sglbuf() {}
  virtual void swap() {}
  virtual void resize(int w, int h) {}
  virtual void save(int slot) {}
  virtual void show(int slot) {}
  virtual void free_slot(int slot) {}
  virtual void button(int n, btnrec* rec, int mode, int front, int state);
  virtual void rband(int n, int type, float xlo, float ylo, float xhi, float yhi, int mb) {}
  virtual void menu(int n, dmenurec* rec, int mode);
  virtual void reset_widget(int kind, int n) {}
  virtual void reset_widgets(int which) {}
  virtual void mouse(int wait, float* x, float* y, int* button, int* kind, int* info, float* rinfo);
  virtual std::string dialog(dlgrec* d);
  virtual int window_data(int* result) { return 0; }
  // Writes a window dump: 0 written (or nothing to dump), 1 failed.
  virtual int dump(const char* fname, bool back) { return 0; }
};

// The driver in use (the batch driver until another is installed).
gxdriver& gxdrv();
// The installed driver, whatever the mode.
gxdriver& gxdcur();
// Installs a driver (null restores the batch driver); the caller keeps it alive.
void gxdsetdrv(gxdriver* d);

// Display settings shared by every driver.
int gxdqgrey();   // grey-scale drawing flag
int gxdqwdln();   // thick lines as offset one-pixel lines
const char* gxdqgeo();  // the user's window geometry, or null
