// Small commands of the dispatcher: the shell escape, screen, clear, swap,
// outxwd, run, help.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/runprog.h"
#include "base/words.h"
#include "cmd/cmdint.h"
#include "cmd/omcmd.h"
#include "cmd/omcmds.h"
#include "data/omggrd.h"
#include "gx/gx.h"
#include "script/gs.h"

void omiomg_rearm() { omiomg(); }

void omshell(const char* text) { runshellcmd(text); }

int omscrn(const char* com, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    omprnt(0, "Screen Error: Missing keyword\n");
    return 1;
  }
  int action;
  if (cmpwrd(p, "save")) action = 0;
  else if (cmpwrd(p, "show")) action = 1;
  else if (cmpwrd(p, "free")) action = 2;
  else {
    omprnt(0, "Screen Error: Unknown keyword\n");
    return 1;
  }
  p = nxtwrd(p);
  if (!p) {
    omprnt(0, "Screen Error: Missing screen number\n");
    return 1;
  }
  int n;
  // The display keeps slots 0..199; a number outside them is refused here
  // rather than handed on as an index.
  if (!intprs(p, &n) || n < 0 || n > 199) {
    omprnt(0, "Screen Error: Invalid screen number\n");
    return 1;
  }
  if (action == 0) gxdssv(n);
  else if (action == 1) gxdssh(n);
  else gxdsfr(n);
  gxfrme(9);
  return 0;
}

int omclr(const char* com, cmnstate* pcm, int exflg) {
  int opt = 0;
  const char* p = nxtwrd(com);
  if (p) {
    static const char* const words[] = {"norset", "events", "graphics", "hbuff",
                                        "button", "rband", "dropmenu"};
    for (int i = 0; i < 7; i++) {
      if (cmpwrd(p, words[i])) opt = i + 1;
    }
    if (opt == 0) {
      omprnt(0, "Invalid option on clear command\n");
      return 0;
    }
  }
  switch (opt) {
    case 0:
    case 1:
      gxfrme(exflg ? 0 : 1);
      omcln(pcm, opt == 0 ? 1 : 0);
      if (opt == 0) pcm->dbuff = 0;
      return 0;
    case 2:
    case 3:
      gxfrme(opt == 2 ? 8 : 7);
      break;
    case 4:
      gxhfrm(0);
      break;
    default: {
      const char* q = nxtwrd(p);
      int n;
      if (!q || !intprs(q, &n)) {
        omprnt(0, "Invalid or missing widget number on clear command\n");
        return 0;
      }
      gxrs1wd(opt - 4, n);
      return 0;
    }
  }
  omcln(pcm, 1);
  pcm->dbuff = 0;
  return 0;
}

int omswap(cmnstate* pcm) {
  if (pcm->dbuff) gxfrme(2);
  omcln(pcm, 1);
  return 0;
}

int omoutx(const char* com, const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  int rc = 0;
  if (!p) {
    omprnt(0, "command outxwd:  need filename parameter\n");
  } else {
    // A dump that could not be written fails the command, as a failed
    // printim does, so an exec file or a script does not go on without it.
    std::string name = wrdstr(typed + (p - com));
    rc = pcm->dbuff ? dump_back_buffer(name.c_str()) : dump_front_buffer(name.c_str());
  }
  omcln(pcm, 1);
  return rc;
}

int omrun(const char* typed, cmnstate* pcm, int implied) {
  const char* text = typed;
  if (!implied) {
    text = nxtwrd(typed);
    if (!text) {
      omprnt(0, "RUN error:  No file name specified\n");
      return 1;
    }
  }
  savpcm = pcm;
  int rc = 0;
  std::optional<std::string> out = gsfile(text, &rc, implied);
  if (rc == 0 && out) {
    // The returned string ends its line, so the next prompt or message
    // does not run on after it.
    std::string line = *out;
    if (line.empty() || line.back() != '\n') line += '\n';
    omprnt(2, line);
  }
  return rc;
}

int omhelp(const char* com, cmnstate* pcm) {
  std::printf("Documentation is in docs/ of the Ombra sources: docs/README.md, commands in docs/commands.md.\n");
  std::printf("Basic Commands:\n");
  std::printf(" OPEN <descr>      opens a data file \n");
  std::printf(" Query             shows current status \n");
  std::printf(" Clear             clears graphics window \n");
  std::printf(" SET <args>        sets options \n");
  std::printf(" Display expr      displays a variable graphically \n");
  std::printf(" QUIT              exits the program \n");
  return 0;
}
