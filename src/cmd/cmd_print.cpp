// The print, printim, enable and disable commands: hardcopy metafile and
// image output of the current frame.
#include <cstdio>
#include <string>

#include "cmd/cmnstate.h"
#include "cmd/omcmds.h"
#include "cmd/omprnt.h"
#include "data/words.h"
#include "gx/gx.h"

int omprint(const char* com, cmnstate* pcm) {
  // The metafile code reports its own failures; pass its result on.
  return gxhprt();
}

namespace {

// x800 / y600: the letter directly followed by an integer.
bool sizeopt(const char* p, int* val) {
  int v;
  const char* e = intprs(p + 1, &v);
  if (!e || !(*e == ' ' || *e == '\t' || *e == '\n' || *e == '\0')) return false;
  *val = v;
  return true;
}

bool endswith_gif(const std::string& name) {
  if (name.size() < 5) return false;
  std::string tail = name.substr(name.size() - 4);
  return tail == ".gif" || tail == ".GIF";
}

}  // namespace

int omprim(const char* com, const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "PRINTIM error:  missing output file name\n");
    return 1;
  }
  std::string fname = wrdstr(typed + (p - com));
  int xsize = -999, ysize = -999, bg = -999, fmt = -1;
  while ((p = nxtwrd(p)) != nullptr) {
    if (cmpwrd(p, "black")) bg = 0;
    else if (cmpwrd(p, "white")) bg = 1;
    else if (cmpwrd(p, "gif")) fmt = 1;
    else if (cmpwrd(p, "png")) fmt = 0;
    else if (*p == 'x') {
      if (!sizeopt(p, &xsize)) {
        omprnt(0, "PRINTIM error:  Invalid x option; ignored\n");
        xsize = -999;
      }
    } else if (*p == 'y') {
      if (!sizeopt(p, &ysize)) {
        omprnt(0, "PRINTIM error:  Invalid y option; ignored\n");
        ysize = -999;
      }
    } else {
      omprnt(0, "PRINTIM error:  Invalid option; ignored\n");
    }
  }
  if (fmt < 0) fmt = endswith_gif(fname) ? 1 : 0;
  int rc = gxhpng(fname.c_str(), xsize, ysize, bg, fmt);
  if (rc == 1) omprnt(0, "PRINTIM error:  open error\n");
  else if (rc == 2) omprnt(0, "PRINTIM error:  output error\n");
  else if (rc != 0) omprnt(0, "PRINTIM error:  image rendering error\n");
  return rc == 0 ? 0 : 1;
}

int omenab(const char* typed, cmnstate* pcm) {
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
  return gxhbgn(fname.c_str());
}

int omdisab(const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(typed);
  if (!p || cmpwrd(p, "print")) {
    gxhend();
    return 0;
  }
  if (cmpwrd(p, "fwrite")) {
    if (pcm->fwfile) std::fclose(pcm->fwfile);
    pcm->fwfile = nullptr;
    pcm->fwname.clear();
    pcm->fwbigend = 1;
    return 0;
  }
  omprnt(0, "DISABLE error: Invalid keyword\n");
  return 0;
}
