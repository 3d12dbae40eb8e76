// set fwrite, writegds, imprun and the output switches (timelab, ombra,
// stnprint).
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/words.h"
#include "cmd/omset.h"
#include "cmd/set_lats.h"

namespace {

int missing(const char* name) {
  omprntf(0, "SET error:  Missing or invalid arguments for %s option\n", name);
  return 1;
}

const char* typedat(const char* kw, const char* typed, const char* p) { return typed + (p - kw); }

int setfwrite(const char* kw, const char* typed, cmnstate* pcm) {
  if (pcm->fwfile) {
    omprnt(0, "SET FWrite Error:  fwrite file is open\n");
    omprnt(0, "Use DISABLE FWRITE command to close file\n");
    return 0;
  }
  const char* p = nxtwrd(kw);
  for (; p; p = nxtwrd(p)) {
    if (cmpwrd(p, "-be")) pcm->fwbigend = 1;
    else if (cmpwrd(p, "-le")) pcm->fwbigend = 0;
    else if (cmpwrd(p, "-sq")) pcm->fwseq = 1;
    else if (cmpwrd(p, "-st")) pcm->fwseq = 0;
    else break;
  }
  if (!p) return missing("FWRITE");
  pcm->fwname = wrdstr(typedat(kw, typed, p));
  omprntf(2, "FWrite file name = %s\n", replshownname(pcm->fwname).c_str());
  omprnt(2, pcm->fwbigend ? "FWwrite byte order is big_endian; format is "
                          : "FWwrite byte order is little_endian; format is ");
  omprnt(2, pcm->fwseq ? "sequential\n" : "stream\n");
  return 0;
}

int setwritegds(const char* kw, const char* typed, cmnstate* pcm) {
  gdsopts* g = pcm->gds ? pcm->gds : &wgds;
  const char* p = nxtwrd(kw);
  if (!p) return missing("WRITEGDS");
  if (*p == '-') {
    g->opts = wrdstr(typedat(kw, typed, p));
    p = nxtwrd(p);
    if (!p) return missing("WRITEGDS");
  }
  g->fname = wrdstr(typedat(kw, typed, p));
  if (!g->opts.empty())
    omprntf(2, "WRITEGDS file name = %s  Opts = %s\n", replshownname(g->fname).c_str(), g->opts.c_str());
  else omprntf(2, "WRITEGDS file name = %s\n", replshownname(g->fname).c_str());
  return 0;
}

int setimprun(const char* kw, cmnstate* pcm) {
  const char* p = nxtwrd(kw);
  if (!p) return missing("IMPRUN");
  if (cmpwrd(p, "off")) {
    pcm->impname.clear();
    pcm->imprun = 0;
    omprnt(2, "IMPrun is off\n");
    return 0;
  }
  pcm->impname = "run " + wrdstr(p);
  pcm->imprun = 1;
  omprntf(2, "Imprun file name = %s\n", replshownname(pcm->impname).c_str());
  return 0;
}

int onoff(const char* kw, int* field, const char* name) {
  const char* p = nxtwrd(kw);
  if (p && cmpwrd(p, "on")) *field = 1;
  else if (p && cmpwrd(p, "off")) *field = 0;
  else return missing(name);
  return 0;
}

int setout(const char* kw, const char* typed, cmnstate* pcm) {
  if (cmpwrd(kw, "fwrite")) return setfwrite(kw, typed, pcm);
  if (cmpwrd(kw, "writegds")) return setwritegds(kw, typed, pcm);
  if (cmpwrd(kw, "imprun")) return setimprun(kw, pcm);
  if (cmpwrd(kw, "timelab")) return onoff(kw, &pcm->timelab, "TIMELAB");
  if (cmpwrd(kw, "stnprint")) return onoff(kw, &pcm->stnprint, "STNPRINT");
  if (cmpwrd(kw, "ombra")) {
    int rc = onoff(kw, &pcm->logo, "OMBRA");
    if (rc == 0 && pcm->logo == 0) pcm->timelab = 0;
    return rc;
  }
  if (cmpwrd(kw, "lats")) return omsetlats(kw, typed, pcm);
  return -2;
}

}  // namespace

int omsetout(const setcall& c) {
  int rc = setout(c.word, setmixed(c, c.word), c.pcm);
  return rc == -2 ? setmiss(c) : rc;
}
