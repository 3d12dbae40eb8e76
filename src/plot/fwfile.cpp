#include "plot/fwfile.h"

#include <unistd.h>

#include <atomic>

#include "base/cmnstate.h"
#include "base/endhold.h"
#include "base/ending.h"
#include "base/omprnt.h"
#include "base/replfile.h"
#include "base/replsig.h"

namespace {

// The session's one fwrite file, open while a state's fwfile points here.
replfile out;

// What an ending signal's handler finishes the file with: the end of its
// last whole grid (-1 while no file is open), and what puts it in place,
// with the line it says where it may not; set before the file is known to
// the handler.
std::atomic<off_t> sigwhole{-1};
replsig sigput;
bool sigrename = false;
char sigsaid[kEndLine];

void finish(endhow) { omfwclose(&gcmn); }

void sigfinish(endhow how) {
  const off_t whole = sigwhole;
  if (how != END_SIGNAL || whole < 0) return;
  // A grid the signal cut short goes; a device or a pipe keeps what
  // reached it.
  if (out.regular) (void)!ftruncate(out.fd, whole);
  if (sigrename && !replput(sigput, sigsaid, sizeof sigsaid)) omendsay(2, sigsaid);
}

}  // namespace

bool omfwopen(cmnstate* pcm, const char* name) {
  // From the making of the part file until the handler knows it, an ending
  // signal waits: none leaves the part file behind.
  endhold hold;
  // An older file written in place (another user's, one with other names)
  // is copied over at the close, so that it too holds one session's grids.
  bool opened = replopen(name, nullptr, &out, &hold, REPL_COPY | REPL_MARKED);
  // One written in place after all is emptied, as a part file starts.
  if (opened && out.part.empty() && out.regular && ftruncate(out.fd, 0) != 0) {
    repldiscard(&out);
    opened = false;
  }
  if (!opened) {
    omprnt(0, "Error opening output file for fwrite\n");
    omprntf(0, "  File name is: %s\n", replshownname(name).c_str());
    omprnt(0, out.note);
    out = replfile();
    return false;
  }
  omprnt(0, out.note);
  out.note.clear();
  sigrename = replsigof(out, &sigput);
  sigwhole = 0;
  omendpart(END_FWRITE, {finish, sigfinish});
  pcm->fwfile = &out;
  return true;
}

void omfwwhole(off_t end) {
  if (end >= 0) sigwhole = end;
}

int omfwclose(cmnstate* pcm) {
  pcm->fwfile = nullptr;
  if (out.fd < 0) return 0;
  // Between the handler's losing the file and its renaming, an ending
  // signal waits: the finished file is not left under its part name.
  endhold hold;
  hold.hold();
  sigwhole = -1;
  const int rc = replcommit(&out);
  hold.release();
  if (rc == REPL_DONE) return 0;
  if (rc == REPL_KEPT) {
    omprnt(0, out.note);
  } else {
    omprnt(0, "Error writing fwrite output file\n");
    omprntf(0, "  File name is: %s\n", replshownname(omfwname(pcm)).c_str());
  }
  return 1;
}

const char* omfwname(const cmnstate* pcm) { return pcm->fwname.empty() ? "ombra.fwrite" : pcm->fwname.c_str(); }
