// The display driver switch, the batch driver and the display settings
// that every driver shares.
#include <cstdio>
#include <cstdlib>

#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxint.h"

namespace {

gxdriver batch_driver;
gxdriver* current = &batch_driver;

int devbck = 0;   // display background: 0 black, 1 white
int grflg = 0;    // grey-scale drawing
int wchose = 0;   // thick lines as offset one-pixel lines
std::string ugeom;
bool have_geom = false;

}  // namespace

// Without a window (batch mode) every request goes to the batch driver.
gxdriver& gxdrv() { return gxstate().intflg ? *current : batch_driver; }
gxdriver& gxdcur() { return *current; }
void gxdsetdrv(gxdriver* d) { current = d ? d : &batch_driver; }

// Batch mode keeps no widgets: the label or item text handed over is freed
// here, as the widget table would own it.
void gxdriver::button(int n, btnrec* rec, int mode, int front, int state) {
  if (rec && (mode == 0 || mode == 2 || mode == 3) && rec->ch) {
    free(rec->ch);
    rec->ch = nullptr;
  }
}

void gxdriver::mouse(int wait, float* x, float* y, int* button, int* kind, int* info,
                     float* rinfo) {
  if (x) *x = -999.9f;
  if (y) *y = -999.9f;
  if (button) *button = -1;
  if (kind) *kind = -1;
}

void gxdriver::menu(int n, dmenurec* rec, int mode) {
  if (rec && mode == 0 && rec->str) {
    free(rec->str);
    rec->str = nullptr;
  }
}

std::string gxdriver::dialog(dlgrec* d) {
  if (d && d->ch) {
    free(d->ch);
    d->ch = nullptr;
  }
  return std::string();
}

int gxdqgrey() { return grflg; }
int gxdqwdln() { return wchose; }
const char* gxdqgeo() { return have_geom ? ugeom.c_str() : nullptr; }

void gxdbck(int flag) { devbck = flag > 1 ? 1 : flag; }
int gxdbkq() { return devbck; }
void gxgrey(int flag) { grflg = flag; }
void gxwdln() { wchose = 1; }

void gxdgeo(const char* geometry) {
  have_geom = geometry != nullptr;
  ugeom = geometry ? geometry : "";
}

void gxdxsz(int width, int height) {
  if (gxstate().intflg) gxdrv().resize(width, height);
}

int gxqfil() { return 1; }

void gxdbtn(int wait, float* x, float* y, int* button, int* kind, int* info, float* rinfo) {
  gxdrv().mouse(wait, x, y, button, kind, info, rinfo);
}

std::string gxdlg(dlgrec* d) { return gxdrv().dialog(d); }

void gxdpbn(int n, btnrec* rec, int mode, int front, int state) {
  gxdrv().button(n, rec, mode, front, state);
}

void gxdrbb(int n, int type, float xlo, float ylo, float xhi, float yhi, int button) {
  if (n < 0 || n > 31 || !(xlo < xhi) || !(ylo < yhi)) return;
  gxdrv().rband(n, type, xlo, ylo, xhi, yhi, button);
}

void gxdrmu(int n, dmenurec* rec, int mode, int state) {
  gxdrv().menu(n, rec, mode);
}

void gxrs1wd(int kind, int n) { gxdrv().reset_widget(kind, n); }
void gxrswd(int which) { gxdrv().reset_widgets(which); }
void gxdssv(int slot) { gxdrv().save(slot); }
void gxdssh(int slot) { gxdrv().show(slot); }
void gxdsfr(int slot) { gxdrv().free_slot(slot); }
void gxdtxt(int n, float x, float y) {}
int win_data(int* result) { return gxdrv().window_data(result); }
int dump_back_buffer(const char* fname) { return gxdrv().dump(fname, true); }
int dump_front_buffer(const char* fname) { return gxdrv().dump(fname, false); }
