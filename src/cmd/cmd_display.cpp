// The display and collect commands: an expression list is evaluated into
// the results table of the common state, handed to the plot code and
// released; collect keeps station results in numbered collections.
#include <cmath>
#include <new>
#include <cstdio>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/outflush.h"
#include "base/words.h"
#include "cmd/cmdint.h"
#include "cmd/omcmd.h"
#include "cmd/omcmds.h"
#include "cmd/outint.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "data/stnlist.h"
#include "expr/evalstat.h"
#include "expr/gridcache.h"
#include "expr/omexpr.h"
#include "gx/gx.h"
#include "plot/omplot.h"

namespace {

constexpr int RESMAX = 16;

// Automatic contour colours of successive overlays (-1 rainbow).
const int defcolors[10] = {-1, 1, 3, 7, 2, 6, 9, 10, 11, 12};

int defcolor(int idx) {
  if (idx < 0) idx = 0;
  if (idx > 9) idx = 9;
  return defcolors[idx];
}

// The one-plot settings go back to automatic after every display.
void oneplotreset(cmnstate* pcm) {
  pcm->ccolor = -9;
  pcm->cstyle = -9;
  pcm->cmark = -9;
  pcm->cint = 0;
  pcm->clevcount = 0;
  pcm->ccolcount = 0;
  pcm->cmin = -9.99e33f;
  pcm->cmax = 9.99e33f;
  pcm->black = 0;
  pcm->rbrange[0] = pcm->rbrange[1] = 0;
  pcm->arrflag = 0;
  pcm->fillon = 0;
}

int automark(int plotpass) {
  int m = plotpass + 2;
  while (m > 5) m -= 5;
  return m;
}

int nvarying(const cmnstate* pcm) {
  int n = 0;
  for (int i = 0; i < 4; i++)
    if (pcm->vary[i]) n++;
  return n;
}

// The expression list after the command word with its blanks removed;
// false (message printed) when there is none.
bool exprlist(const char* com, std::string* out, const char* errmsg) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, errmsg);
    return false;
  }
  std::string s = linestr(p);
  omremb(&s[0]);
  s.resize(std::char_traits<char>::length(s.c_str()));
  *out = s;
  return true;
}

// The world value of grid step g on dimension d of the file.
double stepworld(const datafile* pfi, int d, double g) {
  return pfi->gr2ab[d](pfi->grvals[d], g);
}

int looped(cmnstate* pcm, evalstat* pst, const std::string& list) {
  int n = nvarying(pcm);
  pcm->mapautocol = 15;
  if (pcm->ccolor == -9) pcm->ccolor = (n < 2 || pcm->grey) ? 1 : -1;
  if (pcm->cmark == -9) pcm->cmark = automark(pcm->plotpass);
  datafile* pfi = pcm->dfile;
  int d = pcm->loopdim;
  if (pfi->type == 2 && d != 3) {
    omprnt(0, "Display command error:  Invalid looping environment\n");
    omprnt(0, "  Cannot loop on stn data through X, Y, or Z\n");
    return 1;
  }
  double g1, g2;
  if (d == 3) {
    g1 = t2gr(pfi->grvals[3], &pcm->tbeg);
    g2 = t2gr(pfi->grvals[3], &pcm->tend);
  } else {
    if (!pfi->ab2gr[d] || !pfi->gr2ab[d]) {
      omprnt(0, "Display command error:  Invalid looping environment\n");
      return 1;
    }
    g1 = pfi->ab2gr[d](pfi->abvals[d], pcm->wlo[d]);
    g2 = pfi->ab2gr[d](pfi->abvals[d], pcm->whi[d]);
  }
  long long first = gridll(g1);
  long long last = gridll(g2 + 0.999);
  gxfrme(2);
  pcm->plotpass = 0;
  int clab = pcm->clab;
  int rc = 0, outrc = 0;
  for (long long g = first; g <= last; g++) {
    std::string label;
    char buf[64];
    if (d == 3) {
      datetime dt;
      gr2t(pfi->grvals[3], static_cast<double>(g), &dt);
      pst->tmin = pst->tmax = dt;
      std::snprintf(buf, sizeof buf, "%li:%li:%li:%li", static_cast<long>(dt.yr),
                    static_cast<long>(dt.mo), static_cast<long>(dt.dy), static_cast<long>(dt.hr));
    } else {
      double w = stepworld(pfi, d, static_cast<double>(g));
      pst->dmin[d] = pst->dmax[d] = static_cast<float>(w);
      std::snprintf(buf, sizeof buf, "%g", w);
    }
    label = buf;
    if (ompars(list.c_str(), pst, pcm)) {
      // Leave double buffering, or every later plot would go to the
      // hidden buffer and never be seen.
      gxfrme(1);
      rc = 1;
      break;
    }
    pcm->clab = g == last ? clab : 0;
    if (omplot(pcm)) outrc = 1;
    gxwide(1);
    float x = pcm->vpagew - 0.11f * label.size() - 0.02f;
    gxchpl(label.c_str(), static_cast<int>(label.size()), x, 0.02f, 0.13f, 0.11f, 0.0f);
    gxfrme(2);
    omgrel(pcm);
    pcm->vrangeset = pcm->vrange2set = -1;
  }
  pcm->clab = clab;
  if (rc == 0) {
    std::printf("Press enter to continue::::: ");
    omoutflush();
    gxfrme(0);
  }
  pcm->dbuff = 0;
  pcm->plotpass = 0;
  oneplotreset(pcm);
  pcm->vrangeset = pcm->vrange2set = 0;
  pcm->xaxisset = pcm->yaxisset = 0;
  pcm->logo = 1;
  return rc ? rc : outrc;
}

int unlooped(cmnstate* pcm, evalstat* pst, const std::string& list) {
  int n = nvarying(pcm);
  pcm->mapautocol = 8;
  if (pcm->ccolor == -9) {
    pcm->ccolor = (n == 2 && pcm->grey == 0) ? defcolor(pcm->plotpass) : defcolor(pcm->plotpass + 1);
  }
  if (pcm->cmark == -9) pcm->cmark = automark(pcm->plotpass);
  if (pcm->ccolor < 0 || pcm->grey) pcm->mapautocol = 15;
  if (ompars(list.c_str(), pst, pcm)) return 1;
  // A data output that could not write its file fails the display, so that
  // a script sees the data were not written.
  int rc = omplot(pcm) ? 1 : 0;
  omgrel(pcm);
  pcm->plotpass++;
  oneplotreset(pcm);
  return rc;
}

}  // namespace

int ompars(const char* list, evalstat* pst, cmnstate* pcm) {
  std::vector<std::string> exprs;
  std::string cur;
  for (const char* p = list; *p && *p != '\n'; p++) {
    if (*p == ';') {
      exprs.push_back(cur);
      cur.clear();
    } else {
      cur += *p;
    }
  }
  exprs.push_back(cur);
  if (exprs.size() > static_cast<size_t>(RESMAX)) {
    omprnt(0, "DISPLAY error:  Too many expressions \n");
    omprntf(0, "  At most %i expressions may be displayed at once\n", RESMAX);
    return 1;
  }
  int count = static_cast<int>(exprs.size());
  for (int i = 0; i < count; i++) {
    pst->result.pgr = nullptr;
    pst->type = 1;
    // A variable written twice in the expression is read from its file
    // once; the kept grids go when the evaluation ends.
    omrcbeg(exprs[i].c_str());
    int rc = omexpr(exprs[i].c_str(), pst);
    omrcend();
    if (rc == 0 && omqsig()) {
      omfree(pst);
      rc = 1;
    }
    if (rc != 0) {
      pst->result.pgr = nullptr;
      omprnt(0, "DISPLAY error:  Invalid expression \n");
      omprnt(0, "  Expression = " + exprs[i] + "\n");
      pcm->rescount = pcm->relcount = i;
      omgrel(pcm);
      return 1;
    }
    pcm->restype[i] = pst->type;
    pcm->resptr[i] = pst->result.pgr;
    pst->result.pgr = nullptr;
  }
  pcm->rescount = pcm->relcount = count;
  return 0;
}

void omgrel(cmnstate* pcm) {
  int n = pcm->relcount;
  if (n > RESMAX) n = RESMAX;
  for (int i = 0; i < n; i++) {
    if (pcm->restype[i] == 1) omgfre(static_cast<gridres*>(pcm->resptr[i]));
    else omsfre(static_cast<stnlist*>(pcm->resptr[i]));
    pcm->resptr[i] = nullptr;
  }
  pcm->rescount = pcm->relcount = 0;
}

int omdspl(const char* com, cmnstate* pcm) {
  // The image-run script may display too; it is not run again for the
  // displays it makes, which would never end.
  static bool inimprun = false;
  if (pcm->imprun && !pcm->impname.empty() && !inimprun) {
    std::string run = pcm->impname;
    inimprun = true;
    omcmd(run.c_str(), pcm, 0);
    inimprun = false;
  }
  std::string list;
  if (!exprlist(com, &list, "Display command error:  No expression provided\n")) return 1;
  evalstat* pst = getpst(pcm);
  if (!pst) return 1;
  int n = nvarying(pcm);
  bool loop = pcm->looping || n > 2;
  int rc = loop ? looped(pcm, pst, list) : unlooped(pcm, pst, list);
  delete pst;
  return rc;
}

int omcoll(const char* com, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  int num = -1;
  const char* rest = p ? nxtwrd(p) : nullptr;
  if (!p || !intprs(p, &num) || num < 0 || num > 31 || !rest) {
    omprnt(0, "Collect command error:  Invalid Syntax\n");
    omprnt(0, "  Format is:  collect n expr\n");
    return 1;
  }
  if (cmpwrd(rest, "free")) {
    collnode* node = pcm->collections[num];
    while (node) {
      collnode* next = node->next;
      omsfre(node->stn);
      delete node;
      node = next;
    }
    pcm->collections[num] = nullptr;
    return 0;
  }
  if (pcm->vary[0] || pcm->vary[1] || (pcm->vary[2] != 0) == (pcm->vary[3] != 0)) {
    omprnt(0, "Collect Error: Z or T must be the only varying dimension\n");
    return 1;
  }
  std::string list = linestr(rest);
  omremb(&list[0]);
  list.resize(std::char_traits<char>::length(list.c_str()));
  evalstat* pst = getpst(pcm);
  if (!pst) return 1;
  if (ompars(list.c_str(), pst, pcm)) {
    delete pst;
    return 1;
  }
  if (pcm->restype[0] != 0 || (pcm->rescount > 1 && pcm->restype[1] != 0)) {
    omprnt(0, "Collect Error: Station Data Required\n");
    omgrel(pcm);
    delete pst;
    return 1;
  }
  collnode* node = new (std::nothrow) collnode{nullptr, static_cast<stnlist*>(pcm->resptr[0])};
  if (!node) {
    omprnt(0, "Memory allocation error in collect\n");
    omgrel(pcm);
    delete pst;
    return 1;
  }
  collnode** tail = &pcm->collections[num];
  while (*tail) tail = &(*tail)->next;
  *tail = node;
  // The first result now belongs to the collection.
  for (int i = 1; i < pcm->relcount && i < RESMAX; i++) {
    if (pcm->restype[i] == 1) omgfre(static_cast<gridres*>(pcm->resptr[i]));
    else omsfre(static_cast<stnlist*>(pcm->resptr[i]));
  }
  pcm->rescount = pcm->relcount = 0;
  delete pst;
  return 0;
}
