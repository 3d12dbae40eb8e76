// Command-line options and the option summary.
#include <cstdio>
#include <cstring>

#include "base/omprnt.h"
#include "base/omversion.h"
#include "main/ommain.h"

void omargs(int argc, char** argv, omopts* o) {
  bool wantcmd = false;
  bool geomon = false;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (wantcmd) {
      o->cmd = a;
      o->hascmd = 1;
      wantcmd = false;
      continue;
    }
    if (std::strncmp(a, "-help", 5) == 0) {
      o->help = 1;
      return;
    }
    if (geomon) {
      o->geom = a;
      continue;
    }
    if (std::strncmp(a, "-g", 2) == 0) {
      geomon = true;
      continue;
    }
    if (a[0] == '-') {
      for (const char* p = a + 1; *p; p++) {
        switch (*p) {
          case 'b': o->batch = 1; break;
          case 'l': o->land = 1; break;
          case 'p': o->port = 1; break;
          case 'c': wantcmd = true; break;
          case 'W': o->wide = 1; break;
          case 'E': o->noedit = 1; break;
          case 'x': o->exitx = 1; break;
          default: omprntf(0, "Unknown command line option: %c\n", *p); break;
        }
      }
      continue;
    }
    omprntf(0, "Unknown command line keyword: %s\n", a);
  }
  if (wantcmd) omprnt(0, "-c option was specified, but no command was provided\n");
}

void command_line_help() {
  std::printf("%s Version %s --- %s\n\n", OMBRA_NAME, OMBRA_VERSION, OMBRA_BUILD);
  static const char* const lines[] = {
      "Command line options: \n",
      "\n",
      "          -help   Just this help\n",
      "          -c      run this command (e.g., a script)\n",
      "          -x      quit after the -c command\n",
      "          -l      start in landscape mode\n",
      "          -p      start in portrait mode\n",
      "          -b      run Ombra in batch mode (no graphics window)\n",
      "          -g LLLLxHHHH+(-)XXXX+(-)YYYY  set size of graphics window (like X windows)\n",
      "                LLLL -- length of box in pixels (x side)\n",
      "                HHHH -- height of box in pixels (y side)\n",
      "       + or -   XXXX -- starting pixel point in x (0,0 is upper lefthand corner)\n",
      "       + or -   YYYY -- starting pixel point in y\n",
      "          -E      turn OFF command line editing\n",
      "\n",
      "          -W      use X server wide lines (faster) vice s/w (better)\n",
      "   Example:\n",
      "\n",
      "   ombra -lc \"run myscript.gs\" -g 640x480-0+100\n",
      "\n",
      "     runs Ombra in landscape mode with a window 640x480 pixels\n",
      "     0 pixels from the right and 100 down from the top\n",
  };
  for (const char* l : lines) std::fputs(l, stdout);
}
