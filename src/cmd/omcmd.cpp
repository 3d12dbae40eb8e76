// The command dispatcher: recognises the command word of a line and runs
// its handler.
#include "cmd/omcmd.h"

#include <cstdlib>
#include <new>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/omprntint.h"
#include "base/outflush.h"
#include "base/words.h"
#include "cmd/cmdint.h"
#include "cmd/omcmds.h"
#include "data/gribmap.h"
#include "gx/gx.h"

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

// gribmap FILE: the index of a descriptor's GRIB data.
int rungribmap(const char* com, const char* typed) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "GRIBMAP error:  missing data descriptor file name\n");
    return 1;
  }
  omoutflush();
  return gribmapcmd(wrdstr(typed + (p - com)));
}

int runsdf(const char* typed, cmnstate* pcm, bool xdf) {
  const char* rest = restof(typed);
  if (*rest == '\0' || *rest == '\n') {
    omprnt(0, xdf ? "XDFOPEN error:  missing data descriptor file name\n"
                  : "SDFOPEN error:  missing self-describing file pathname\n");
    return 1;
  }
  return omsdfo(rest, pcm, xdf);
}

// The handlers as the table calls them: the lower-cased line (com), the
// line as typed (typed), the common state and the exec flag.
typedef int (*cmdfn)(const char* com, const char* typed, cmnstate* pcm, int exflg);

int cmdnone(const char*, const char*, cmnstate*, int) { return 0; }
int cmdreset(const char*, const char*, cmnstate* pcm, int) { return omrset(pcm, 0); }
int cmdreinit(const char*, const char*, cmnstate* pcm, int) { return omrset(pcm, 1); }
int cmdscreen(const char* com, const char*, cmnstate* pcm, int) { return omscrn(com, pcm); }
int cmdclose(const char* com, const char*, cmnstate* pcm, int) { return omclos(com, pcm); }
int cmdclear(const char* com, const char*, cmnstate* pcm, int exflg) { return omclr(com, pcm, exflg); }
int cmdswap(const char*, const char*, cmnstate* pcm, int) { return omswap(pcm); }
int cmdoutxwd(const char* com, const char* typed, cmnstate* pcm, int) { return omoutx(com, typed, pcm); }
int cmdquery(const char* com, const char* typed, cmnstate* pcm, int) { return omqury(com, typed, pcm); }
int cmdhelp(const char* com, const char*, cmnstate* pcm, int) { return omhelp(com, pcm); }
int cmdexec(const char*, const char* typed, cmnstate* pcm, int) { return omexec(typed, pcm); }
int cmdrun(const char*, const char* typed, cmnstate* pcm, int) { return omrun(typed, pcm, 0); }
int cmdenable(const char*, const char* typed, cmnstate* pcm, int) { return omenab(typed, pcm); }
int cmddisable(const char*, const char* typed, cmnstate* pcm, int) { return omdisab(typed, pcm); }

// The handler's own result is kept, so an exec file or a script sees a
// failed redraw as the error it is.
int cmdredraw(const char*, const char* typed, cmnstate* pcm, int) {
  int rc = omrdrw(typed, pcm);
  gxfrme(9);
  return rc;
}

int cmddraw(const char*, const char* typed, cmnstate* pcm, int) {
  int rc = omdraw(typed, pcm);
  gxfrme(9);
  return rc;
}

int cmdprint(const char* com, const char*, cmnstate* pcm, int) { return omprint(com, pcm); }
int cmdprintim(const char* com, const char* typed, cmnstate* pcm, int) { return omprim(com, typed, pcm); }
int cmdset(const char* com, const char* typed, cmnstate* pcm, int) { return omset(com, typed, pcm); }
int cmdopen(const char* com, const char* typed, cmnstate* pcm, int) { return runopen(com, typed, pcm); }
int cmdsdfopen(const char*, const char* typed, cmnstate* pcm, int) { return runsdf(typed, pcm, false); }
int cmdxdfopen(const char*, const char* typed, cmnstate* pcm, int) { return runsdf(typed, pcm, true); }
int cmdgribmap(const char* com, const char* typed, cmnstate*, int) { return rungribmap(com, typed); }

int cmddisplay(const char* com, const char*, cmnstate* pcm, int) {
  if (!pcm->dfile) return nofile("DISPLAY error:  no file open yet\n");
  int rc = omdspl(com, pcm);
  gxfrme(9);
  return rc;
}

int cmdcollect(const char* com, const char*, cmnstate* pcm, int) {
  if (!pcm->dfile) return nofile("COLLECT error:  no file open yet\n");
  return omcoll(com, pcm);
}

int cmddefine(const char* com, const char*, cmnstate* pcm, int) {
  if (!pcm->dfile) return nofile("DEFINE error:  no file open yet\n");
  return omdef(com, pcm, 0);
}

int cmdsave(const char* com, const char* typed, cmnstate* pcm, int) {
  if (!pcm->dfile) return nofile("SAVE error:  no file open yet\n");
  return omsave(com, typed, pcm);
}

int cmdundefine(const char* com, const char*, cmnstate* pcm, int) {
  if (!pcm->dfile) return nofile("DEFINE error:  no file open yet\n");
  return omudef(com, pcm);
}

int cmdmodify(const char* com, const char*, cmnstate* pcm, int) {
  if (!pcm->dfile) return nofile("MODIFY error:  no file open yet\n");
  return ommodf(com, pcm);
}

// One command word, its other spelling (or null) and its handler.
struct cmdent {
  const char* word;
  const char* alias;
  cmdfn run;
};

// The table of command words, in the order they are tried ("quit" and the
// shell escape "!" come first, in dispatch).
const cmdent cmdtab[] = {
    {"stack", "flush", cmdnone},         {"reset", nullptr, cmdreset},
    {"reinit", nullptr, cmdreinit},      {"screen", nullptr, cmdscreen},
    {"close", nullptr, cmdclose},        {"clear", "c", cmdclear},
    {"swap", nullptr, cmdswap},          {"outxwd", nullptr, cmdoutxwd},
    {"q", "query", cmdquery},            {"help", nullptr, cmdhelp},
    {"exec", nullptr, cmdexec},          {"run", nullptr, cmdrun},
    {"enable", nullptr, cmdenable},      {"disable", nullptr, cmddisable},
    {"redraw", nullptr, cmdredraw},      {"draw", nullptr, cmddraw},
    {"print", nullptr, cmdprint},        {"printim", nullptr, cmdprintim},
    {"set", nullptr, cmdset},            {"open", nullptr, cmdopen},
    {"sdfopen", nullptr, cmdsdfopen},    {"xdfopen", nullptr, cmdxdfopen},
    {"gribmap", nullptr, cmdgribmap},
    {"d", "display", cmddisplay},        {"coll", "collect", cmdcollect},
    {"define", nullptr, cmddefine},      {"undefine", nullptr, cmdundefine},
    {"modify", nullptr, cmdmodify},      {"save", nullptr, cmdsave},
};

int dispatch(const char* com, const char* typed, cmnstate* pcm, int exflg, bool* matched) {
  *matched = true;
  if (cmpwrd(com, "quit")) return -1;
  if (com[0] == '!') {
    omshell(typed + 1);
    return 0;
  }
  for (const cmdent& c : cmdtab) {
    if (cmpwrd(com, c.word) || (c.alias && cmpwrd(com, c.alias))) return c.run(com, typed, pcm, exflg);
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
