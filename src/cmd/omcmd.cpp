// The command dispatcher: recognises the command word of a line and runs
// its handler.
#include "cmd/omcmd.h"

#include <cstdlib>
#include <new>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/omprntint.h"
#include "base/words.h"
#include "cmd/cmdint.h"
#include "cmd/omcmds.h"
#include "gx/gx.h"
#include "sdf/sdf.h"

cmnstate* savpcm = nullptr;

std::string omgsdo(const char* cmd, int* rc) {
  return omcaprun([cmd] { return omcmd(cmd, savpcm ? savpcm : &gcmn, 0); }, rc);
}

namespace {

bool isblnk(char c) { return c == ' ' || c == '\t'; }

// A name of at most 16 letters and digits, starting with a letter, then
// optional blanks and "=": the line is a define without its command word.
bool isimplicitdef(const char* com) {
  if (*com < 'a' || *com > 'z') return false;
  int n = 0;
  const char* p = com;
  while ((*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9')) {
    n++;
    p++;
  }
  if (n > 16) return false;
  while (*p == ' ') p++;
  return *p == '=';
}

int nofile(const char* msg) {
  omprnt(0, msg);
  return 1;
}

// The text of the typed line after the command word; empty when none.
const char* restof(const char* typed) {
  const char* p = nxtwrd(typed);
  return p ? p : "";
}

int runopen(const char* com, const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "OPEN error:  missing data description file name\n");
    return 1;
  }
  std::string name = wrdstr(typed + (p - com));
  return omopen(name.c_str(), pcm);
}

int runsdf(const char* typed, cmnstate* pcm, bool xdf) {
  const char* rest = restof(typed);
  if (*rest == '\0' || *rest == '\n') {
    omprnt(0, xdf ? "XDFOPEN error:  missing data descriptor file name\n"
                  : "SDFOPEN error:  missing self-describing file pathname\n");
    return 1;
  }
  return xdf ? omxdfopen(rest, pcm) : omsdfopen(rest, pcm);
}

// The table of command words, in the order they are tried.
int dispatch(const char* com, const char* typed, cmnstate* pcm, int exflg, bool* matched) {
  *matched = true;
  if (cmpwrd(com, "quit")) return -1;
  if (com[0] == '!') {
    omshell(typed + 1);
    return 0;
  }
  if (cmpwrd(com, "stack") || cmpwrd(com, "flush")) return 0;
  if (cmpwrd(com, "reset")) return omrset(pcm, 0);
  if (cmpwrd(com, "reinit")) return omrset(pcm, 1);
  if (cmpwrd(com, "screen")) return omscrn(com, pcm);
  if (cmpwrd(com, "close")) return omclos(com, pcm);
  if (cmpwrd(com, "clear") || cmpwrd(com, "c")) return omclr(com, pcm, exflg);
  if (cmpwrd(com, "swap")) return omswap(pcm);
  if (cmpwrd(com, "outxwd")) return omoutx(com, typed, pcm);
  if (cmpwrd(com, "q") || cmpwrd(com, "query")) return omqury(com, typed, pcm);
  if (cmpwrd(com, "help")) return omhelp(com, pcm);
  if (cmpwrd(com, "exec")) return omexec(typed, pcm);
  if (cmpwrd(com, "run")) return omrun(typed, pcm, 0);
  if (cmpwrd(com, "enable")) return omenab(typed, pcm);
  if (cmpwrd(com, "disable")) return omdisab(typed, pcm);
  if (cmpwrd(com, "redraw")) {
    // The handler's own result is kept, so an exec file or a script sees
    // a failed redraw as the error it is.
    int rc = omrdrw(typed, pcm);
    gxfrme(9);
    return rc;
  }
  if (cmpwrd(com, "draw")) {
    int rc = omdraw(typed, pcm);
    gxfrme(9);
    return rc;
  }
  if (cmpwrd(com, "print")) return omprint(com, pcm);
  if (cmpwrd(com, "printim")) return omprim(com, typed, pcm);
  if (cmpwrd(com, "set")) return omset(com, typed, pcm);
  if (cmpwrd(com, "open")) return runopen(com, typed, pcm);
  if (cmpwrd(com, "sdfopen")) return runsdf(typed, pcm, false);
  if (cmpwrd(com, "xdfopen")) return runsdf(typed, pcm, true);
  if (cmpwrd(com, "d") || cmpwrd(com, "display")) {
    if (!pcm->dfile) return nofile("DISPLAY error:  no file open yet\n");
    int rc = omdspl(com, pcm);
    gxfrme(9);
    return rc;
  }
  if (cmpwrd(com, "coll") || cmpwrd(com, "collect")) {
    if (!pcm->dfile) return nofile("COLLECT error:  no file open yet\n");
    return omcoll(com, pcm);
  }
  if (cmpwrd(com, "define")) {
    if (!pcm->dfile) return nofile("DEFINE error:  no file open yet\n");
    return omdef(com, pcm, 0);
  }
  if (cmpwrd(com, "undefine")) {
    if (!pcm->dfile) return nofile("DEFINE error:  no file open yet\n");
    return omudef(com, pcm);
  }
  if (cmpwrd(com, "modify")) {
    if (!pcm->dfile) return nofile("MODIFY error:  no file open yet\n");
    return ommodf(com, pcm);
  }
  *matched = false;
  return 0;
}

}  // namespace


int omcmd(const char* line, cmnstate* pcm, int exflg) {
  if (!line) return 0;
  omiomg_rearm();

  std::string copy;
  try {
    copy = line;
  } catch (const std::bad_alloc&) {
    omprnt(0, "Memory allocation error: Command Proecessing\n");
    return 1;
  }
  lowcas(&copy[0]);
  const char* com = copy.c_str();
  const char* typed = line;
  while (isblnk(*com)) com++;
  while (isblnk(*typed)) typed++;

  if (isimplicitdef(com)) {
    if (!pcm->dfile) return nofile("DEFINE error:  no file open yet\n");
    return omdef(com, pcm, 1);
  }

  if (!cmpwrd(com, "clear") && !cmpwrd(com, "c")) gxfrme(9);

  if (*com == '\0' || *com == '\n') return 0;

  bool matched;
  int rc = dispatch(com, typed, pcm, exflg, &matched);
  if (matched) return rc;

  if (pcm->impcmd == 0) {
    omprnt(0, "Unknown command: ");
    omprnt(0, com);
    omprnt(0, "\n");
    return 1;
  }
  return omrun(typed, pcm, 1);
}
