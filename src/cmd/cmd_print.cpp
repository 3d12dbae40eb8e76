// The print, printim, enable and disable commands: the hardcopy metafile
// and image output of the current frame.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replfile.h"
#include "base/words.h"
#include "cmd/omcmds.h"
#include "gx/gx.h"
#include "plot/fwfile.h"

namespace {

// The largest image side the renderer takes.
const int kMaxSide = 20000;

bool wordend(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\0'; }

// x800 / y600: the letter directly followed by an integer and nothing else.
bool sizeopt(const char* p, int* val) {
  int v;
  const char* e = intprs(p + 1, &v);
  if (!e || !wordend(*e)) return false;
  *val = v;
  return true;
}

// A name of at least five characters ending in .gif or .GIF.
bool gifname(const std::string& name) {
  if (name.size() < 5) return false;
  std::string tail = name.substr(name.size() - 4);
  return tail == ".gif" || tail == ".GIF";
}

// The options of printim after the file name, read from the lower-cased line.
struct imageopts {
  int xsize = -999, ysize = -999;  // -999 unset
  int bg = -999;                   // -999 the display's, 0 black, 1 white
  int fmt = -1;                    // -1 by the name, 0 PNG, 1 GIF
};

// False at a word that is no option, named in the message: a mistyped file
// name ("printim my file.png") must not write an image under its first word.
// The typed copy gives the word as the user wrote it.
bool readopts(const char* p, const char* typed, imageopts* o) {
  const char* low = p;
  while ((p = nxtwrd(p)) != nullptr) {
    if (cmpwrd(p, "black")) o->bg = 0;
    else if (cmpwrd(p, "white")) o->bg = 1;
    else if (cmpwrd(p, "gif")) o->fmt = 1;
    else if (cmpwrd(p, "png")) o->fmt = 0;
    else if (*p == 'x') {
      if (!sizeopt(p, &o->xsize)) {
        omprnt(0, "PRINTIM error:  Invalid x option; ignored\n");
        o->xsize = -999;
      }
    } else if (*p == 'y') {
      if (!sizeopt(p, &o->ysize)) {
        omprnt(0, "PRINTIM error:  Invalid y option; ignored\n");
        o->ysize = -999;
      }
    } else {
      omprnt(0, "PRINTIM error:  Invalid option " + replshownname(wrdstr(typed + (p - low))) + "; nothing written\n");
      return false;
    }
  }
  return true;
}

// A size that was given must make an image: zero or absurd sides are
// refused rather than silently replaced or handed to the renderer.  A
// negative side asks for the default size, as an unset one does.
bool sizeok(int v) { return v < 0 || (v >= 1 && v <= kMaxSide); }

}  // namespace

int omprint(const char* com, cmnstate* pcm) {
  (void)com;
  (void)pcm;
  // Without an open metafile nothing was written: that is an error, so an
  // exec file or a script does not go on as if the frame were printed.
  return gxhprt() == 0 ? 0 : 1;
}

int omprim(const char* com, const char* typed, cmnstate* pcm) {
  (void)pcm;
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "PRINTIM error:  missing output file name\n");
    return 1;
  }
  std::string fname = wrdstr(typed + (p - com));
  imageopts o;
  if (!readopts(p, typed + (p - com), &o)) return 1;
  if (!sizeok(o.xsize) || !sizeok(o.ysize)) {
    omprntf(0, "PRINTIM error:  image size must be 1 to %i pixels\n", kMaxSide);
    return 1;
  }
  int fmt = o.fmt >= 0 ? o.fmt : (gifname(fname) ? 1 : 0);
  int rc = gxhpng(fname.c_str(), o.xsize, o.ysize, o.bg, fmt);
  if (rc == 1) omprnt(0, "PRINTIM error:  open error\n");
  else if (rc == 2)
    omprntf(0, "PRINTIM error:  output error on %s: %s\n", replshownname(fname).c_str(), strerror(errno));
  return rc == 0 ? 0 : 1;
}

int omenab(const char* typed, cmnstate* pcm) {
  (void)pcm;
  std::string low(typed);
  lowcas(&low[0]);
  const char* p = nxtwrd(low.c_str());
  if (!p) {
    omprnt(0, "ENABLE error: Missing operand\n");
    return 1;
  }
  if (!cmpwrd(p, "print")) {
    omprnt(0, "ENABLE error: Invalid operand \n");
    return 1;
  }
  const char* q = nxtwrd(p);
  if (!q) {
    omprnt(0, "ENABLE error: Missing file name \n");
    return 1;
  }
  std::string fname = wrdstr(typed + (q - low.c_str()));
  // "Metafile already open" is a 0: a repeated enable in an exec file is
  // harmless.  A failed open is an error.
  return gxhbgn(fname.c_str()) == 0 ? 0 : 1;
}

int omdisab(const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(typed);
  if (!p || cmpwrd(p, "print")) return gxhend();
  if (cmpwrd(p, "fwrite")) {
    // The file takes its name now; one that cannot fails the command.
    int rc = omfwclose(pcm);
    pcm->fwname.clear();
    pcm->fwbigend = 1;
    return rc;
  }
  omprnt(0, "DISABLE error: Invalid keyword\n");
  return 0;
}
