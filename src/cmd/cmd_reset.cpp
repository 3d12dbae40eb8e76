// The reset and reinit commands.
#include <cstdio>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "cmd/cmdint.h"
#include "cmd/omcmds.h"
#include "gx/gx.h"
#include "lats/lats.h"
#include "plot/fwfile.h"

namespace {

void closefwrite(cmnstate* pcm) {
  omfwclose(pcm);
  pcm->fwname.clear();
  pcm->fwbigend = 1;
}

}  // namespace

int omrset(cmnstate* pcm, int reinit) {
  pcm->vpagew = pcm->pagew;
  pcm->vpageh = pcm->pageh;
  gxvpag(pcm->pagew, pcm->pageh, 0, pcm->pagew, 0, pcm->pageh);

  ominit();
  omlatsdroptable(pcm);
  omcln(pcm, 1);

  if (reinit) {
    omdfal(pcm);
    omclal(pcm);
    pcm->grey = 0;
    pcm->whitebg = 0;
    closefwrite(pcm);
    // With every file closed no calendar is fixed any more.
    mfcmn.mfcal = -999;
    gxhend();
    gxdbck(pcm->whitebg);
    gxgrey(pcm->grey);
    omprnt(1, "All files closed; all defined objects released\n");
  }

  if (pcm->filehead) {
    pcm->dfile = pcm->filehead;
    pcm->dfilenum = 1;
    omdfdim(pcm, pcm->filehead, 0);
  }

  gxfrme(1);
  omprnt(1, reinit ? "All Ombra attributes have been reinitialized\n"
                   : "Most Ombra attributes have been reset\n");
  return 0;
}
