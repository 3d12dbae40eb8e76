// Start-up and the main loop.
#include <poll.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "base/cmnstate.h"
#include "base/ending.h"
#include "base/heaptune.h"
#include "base/omprnt.h"
#include "base/omversion.h"
#include "base/outflush.h"
#include "base/stdinheld.h"
#include "cmd/cmdint.h"
#include "cmd/omcmd.h"
#include "cmd/omcmds.h"
#include "data/gribread.h"
#include "expr/udf.h"
#include "gx/gx.h"
#include "gx/gxdrv.h"
#include "gx/gxx11drv.h"
#include "main/ommain.h"
#include "main/promptwait.h"
#include "main/stdfds.h"
#include "main/termkeep.h"
#include "plot/omplot.h"
#include "script/gsglue.h"
#include "sdf/sdf.h"

namespace {

// Whether the next line of input is there to be read without a wait: held
// by stdio, or waiting in its descriptor (a file, a pipe written ahead).
bool inputpending() {
  if (stdinheld()) return true;
  struct pollfd pf = {0, POLLIN, 0};
  return poll(&pf, 1, 0) > 0;
}

// Asks for the page orientation; true for landscape.  End of input (or an
// unreadable answer) keeps landscape.
bool asklandscape() {
  std::string ans;
  int n = nxtcmd(ans, "Landscape mode? (no for portrait):");
  if (n < 0) return true;
  return ans.empty() || ans[0] != 'n';
}

// The exit status of a session that ran to its end (quit, or -x), normal
// unless its output failed: standard output that lost its reader gives
// the status a shell gives a program ended by a broken pipe (so that a
// calling script sees the session did not finish), and one that failed
// otherwise (a full disk) 1, as command-line tools do.
int endstatus(endhow how, int normal) {
  omend(how);
  if (stdoutgone()) return 128 + SIGPIPE;
  return omoutfailed() ? 1 : normal;
}

}  // namespace

int ommain(int argc, char** argv) {
  // Before anything is opened: a closed standard descriptor would be taken
  // by the next file the program opens.
  if (!omstdfds()) return 1;
  omheaptune();
  termsave();
  gxendreg();
  // Standard output gets the program's own writer, whose buffer an ending
  // by a signal still hands on (omoutsigflush), as the polls of long work
  // do every few milliseconds, and every wait for input.
  omoutbuffer();
  // Every signal that ends the session finishes the metafile, from the
  // first line on: before the -c command, which is how batch jobs run.
  omsignals();
  omopts o;
  omargs(argc, argv, &o);
  if (o.help) {
    command_line_help();
    return endstatus(END_LEAVE, 0);
  }
  if (o.geom) gxdgeo(o.geom);

  std::printf("\n%s\n", ombanner());
  omoutflush();
  omcfg(0);
  // The line editor reads the terminal (or pipe) directly, past the
  // standard-input buffer; the orientation answer and the animation's
  // "Press enter" are read through that buffer.  Unbuffered, they take
  // only their own characters and leave every later line to the editor.
  if (!o.noedit) std::setvbuf(stdin, nullptr, _IONBF, 0);

  bool land = true;
  if (o.port) land = false;
  else if (!o.land) land = asklandscape();

  cmnstate* pcm = &gcmn;
  pcm->batch = o.batch;
  pcm->vpagew = land ? 11.0f : 8.5f;
  pcm->vpageh = land ? 8.5f : 11.0f;
  if (o.wide) gxwdln();

  ominit();
  omstart(pcm);
  gssetcmd(omgsdo);  // scripts run their commands through the dispatcher
  sdf_codecs_in_helper();  // GRIB2's codec libraries run in the helper process

  omfdef();
  gxdsetdrv(gxx11drv());  // used unless in batch mode
  promptwindow();         // "Press enter" and pull look after the window too
  omgx(pcm);

  int rc = 0;
  if (o.hascmd) rc = omcmd(o.cmd.c_str(), pcm, 0);

  std::string buf;
  while (rc >= 0) {
    // -x: the files are finished (a metafile left open by enable print
    // gets its end), and nothing else is printed.
    if (o.exitx) return endstatus(END_LEAVE, 99);
    // Nobody reads what the session says any more: it ends as quit would.
    omoutflush();
    if (stdoutgone()) break;
    // After an interrupted command the prompt starts on a line of its own
    // (the terminal has echoed ^C where the output stopped); the interrupt
    // is over, and a further one counts for the next command only.  The
    // wait for the next line hands it on.
    if (pcm->sigflg) std::printf("\n");
    pcm->sigflg = 0;
    // What the reads of netCDF/HDF files and of GRIB2 fields keep for the
    // next one is kept for a script's next command, and given back while
    // the prompt waits.
    const bool idle = !inputpending();
    sdf_reads_release(idle);
    omgrbrelease(idle);
    reaporphans();
    int n = o.noedit ? nxtcmd(buf, "om>") : nxrdln(buf, "om-> ");
    if (n < 0) {
      buf = "quit";
      omprnt(2, "[EOF]\n");
    }
    pcm->sigflg = 0;
    rc = omcmd(buf.c_str(), pcm, 0);
  }
  return endstatus(END_QUIT, 0);
}
