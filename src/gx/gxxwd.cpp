// The window dump: the display window, or the back buffer while double
// buffering is on, written as an X Window Dump file (version 7).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/errout.h"
#include "base/replfile.h"
#include "gx/gxx11.h"

namespace {

Display* dpy = nullptr;
int screen = 0;
// The image whose pixels the file carries; the header describes this very
// image, so the data always have the size the header announces.
XImage* dataimg = nullptr;

// A message line on standard error, after whatever standard output holds.
void outl(const char* text) { omerrf("%s\n", text); }

bool lsbhost() {
  const uint16_t one = 1;
  return *(const unsigned char*)&one == 1;
}

unsigned long lowbit(unsigned long m) { return m & (~m + 1); }

}  // namespace

void _swaplong(char* bp, unsigned n) {
  for (unsigned i = 0; i + 3 < n; i += 4) {
    char t = bp[i + 3];
    bp[i + 3] = bp[i];
    bp[i] = t;
    t = bp[i + 2];
    bp[i + 2] = bp[i + 1];
    bp[i + 1] = t;
  }
}

void _swapshort(char* bp, unsigned n) {
  for (unsigned i = 0; i + 1 < n; i += 2) {
    char t = bp[i + 1];
    bp[i + 1] = bp[i];
    bp[i] = t;
  }
}

void set_display_screen(Display* d, int s) {
  dpy = d;
  screen = s;
}

int Image_Size(XImage* image) {
  if (image->format != ZPixmap) return image->bytes_per_line * image->height * image->depth;
  return image->bytes_per_line * image->height;
}

int Get_XColors(XWindowAttributes* attr, XColor** colors) {
  *colors = nullptr;
  if (!attr->colormap) return 0;
  Visual* v = attr->visual;
  int ncolors = v->map_entries;
  if (ncolors <= 0) return 0;
  XColor* c = (XColor*)malloc(sizeof(XColor) * (size_t)ncolors);
  if (!c) {
    outl("Out of memory!");
    exit(-1);
  }
  if (v->c_class == DirectColor || v->c_class == TrueColor) {
    unsigned long red = 0, green = 0, blue = 0;
    unsigned long r1 = lowbit(v->red_mask), g1 = lowbit(v->green_mask), b1 = lowbit(v->blue_mask);
    for (int i = 0; i < ncolors; i++) {
      c[i].pixel = red | green | blue;
      c[i].pad = 0;
      red += r1;
      if (red > v->red_mask) red = 0;
      green += g1;
      if (green > v->green_mask) green = 0;
      blue += b1;
      if (blue > v->blue_mask) blue = 0;
    }
  } else {
    for (int i = 0; i < ncolors; i++) {
      c[i].pixel = (unsigned long)i;
      c[i].pad = 0;
    }
  }
  XQueryColors(dpy, attr->colormap, c, ncolors);
  *colors = c;
  return ncolors;
}

int Window_Dump(Window w, FILE* f) {
  XWindowAttributes attr;
  if (!XGetWindowAttributes(dpy, w, &attr)) {
    outl("Can't get target window attributes.");
    exit(1);
  }
  int absx = 0, absy = 0;
  Window child;
  if (!XTranslateCoordinates(dpy, w, RootWindow(dpy, screen), 0, 0, &absx, &absy, &child)) {
    omerrf("unable to translate window coordinates (%d,%d)\n", absx, absy);
    exit(1);
  }
  int width = attr.width, height = attr.height;
  if (absx < 0) {
    width += absx;
    absx = 0;
  }
  if (absy < 0) {
    height += absy;
    absy = 0;
  }
  int dw = DisplayWidth(dpy, screen), dh = DisplayHeight(dpy, screen);
  if (absx + width > dw) width = dw - absx;
  if (absy + height > dh) height = dh - absy;

  char* name = nullptr;
  bool got = XFetchName(dpy, w, &name) && name && name[0];
  const char* wname = got ? name : "xwdump";
  unsigned namelen = (unsigned)strlen(wname) + 1;

  XImage* image = dataimg;
  if (!image) {
    omerrf("unable to get image at %dx%d+%d+%d\n", width, height, absx - attr.x, absy - attr.y);
    exit(1);
  }
  XColor* colors = nullptr;
  int ncolors = Get_XColors(&attr, &colors);
  XBell(dpy, 0);
  XBell(dpy, 0);
  XFlush(dpy);

  uint32_t h[25];
  h[0] = 100 + namelen;
  h[1] = 7;
  h[2] = ZPixmap;
  h[3] = (uint32_t)image->depth;
  h[4] = (uint32_t)image->width;
  h[5] = (uint32_t)image->height;
  h[6] = (uint32_t)image->xoffset;
  h[7] = (uint32_t)image->byte_order;
  h[8] = (uint32_t)image->bitmap_unit;
  h[9] = (uint32_t)image->bitmap_bit_order;
  h[10] = (uint32_t)image->bitmap_pad;
  h[11] = (uint32_t)image->bits_per_pixel;
  h[12] = (uint32_t)image->bytes_per_line;
  h[13] = (uint32_t)attr.visual->c_class;
  h[14] = (uint32_t)attr.visual->red_mask;
  h[15] = (uint32_t)attr.visual->green_mask;
  h[16] = (uint32_t)attr.visual->blue_mask;
  h[17] = (uint32_t)attr.visual->bits_per_rgb;
  h[18] = (uint32_t)attr.visual->map_entries;
  h[19] = (uint32_t)ncolors;
  h[20] = (uint32_t)width;
  h[21] = (uint32_t)height;
  h[22] = (uint32_t)absx;
  h[23] = (uint32_t)absy;
  h[24] = (uint32_t)attr.border_width;
  if (lsbhost()) _swaplong((char*)h, sizeof h);
  bool ok = fwrite(h, sizeof h, 1, f) == 1 && fwrite(wname, namelen, 1, f) == 1;
  for (int i = 0; ok && i < ncolors; i++) {
    unsigned char rec[12];
    uint32_t px = (uint32_t)colors[i].pixel;
    uint16_t rgb[3] = {colors[i].red, colors[i].green, colors[i].blue};
    memcpy(rec, &px, 4);
    memcpy(rec + 4, rgb, 6);
    if (lsbhost()) {
      _swaplong((char*)rec, 4);
      _swapshort((char*)rec + 4, 6);
    }
    rec[10] = (unsigned char)colors[i].flags;
    rec[11] = 0;
    ok = fwrite(rec, sizeof rec, 1, f) == 1;
  }
  free(colors);
  if (got) XFree(name);
  return ok ? 0 : 1;
}

int Pixmap_Dump(Drawable d, FILE* f, int x, int y, int w, int h) {
  XImage* image = dataimg;
  if (!image) return 0;
  size_t n = (size_t)Image_Size(image);
  return fwrite(image->data, 1, n, f) == n ? 0 : 1;
}

int gxxdump(const char* name, bool back) {
  x11state& s = x11st();
  if (!s.display || !name) return 0;
  if (back && !s.dblmode) return 0;
  set_display_screen(s.display, s.snum);
  // Made in memory and written beside an older dump, renamed over it only
  // when whole: a failed dump leaves the older one as it was.
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  if (!f) {
    omerrf("Couldn't open outxwd argument for writing.\n");
    return 1;
  }
  Drawable src = back ? s.pmap : s.win;
  XSync(s.display, False);
  dataimg = XGetImage(s.display, src, 0, 0, (unsigned)s.width, (unsigned)s.height, AllPlanes, ZPixmap);
  if (!dataimg) {
    omerrf("unable to get image at %dx%d+%d+%d\n", s.width, s.height, 0, 0);
    exit(1);
  }
  int rc = Window_Dump(s.win, f);
  if (rc == 0) rc = Pixmap_Dump(src, f, 0, 0, s.width, s.height);
  XDestroyImage(dataimg);
  dataimg = nullptr;
  if (fclose(f) != 0) rc = 1;
  std::string note;
  int saved = rc == 0 ? replsave(name, buf, len, &note) : 2;
  free(buf);
  if (saved == 0) return 0;
  if (saved == 1)
    omerrf("Couldn't open outxwd argument for writing.\n%s", note.c_str());
  else if (saved == 3)
    omerrf("%s", note.c_str());
  else
    omerrf("I/O error writing the window dump\n");
  return 1;
}
