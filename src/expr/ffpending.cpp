// Analysis functions whose handlers are not written yet: each refuses the
// call with a clear message instead of computing anything.  A handler
// that gets written replaces its line here.
#include "cmd/omprnt.h"
#include "expr/omfunc.h"

static int notbuilt(const char* uname) {
  omprntf(0, "Error from %s: not built yet\n", uname);
  return 1;
}

int ffave(fargs*, evalstat*) { return notbuilt("AVE"); }
int ffhdiv(fargs*, evalstat*) { return notbuilt("HDIVG"); }
int ffhcrl(fargs*, evalstat*) { return notbuilt("HCURL"); }
int ffvint(fargs*, evalstat*) { return notbuilt("VINT"); }
int fftlp(fargs*, evalstat*) { return notbuilt("TLOOP"); }
int ffaav(fargs*, evalstat*) { return notbuilt("AAVE"); }
int ffscor(fargs*, evalstat*) { return notbuilt("SCORR"); }
int fftcor(fargs*, evalstat*) { return notbuilt("TCORR"); }
int fftmav(fargs*, evalstat*) { return notbuilt("TMAVE"); }
int ffmask(fargs*, evalstat*) { return notbuilt("MASKOUT"); }
int ffg2s(fargs*, evalstat*) { return notbuilt("GR2STN"); }
int fftv2q(fargs*, evalstat*) { return notbuilt("TVRH2Q"); }
int fftv2t(fargs*, evalstat*) { return notbuilt("TVRH2T"); }
int ffgint(fargs*, evalstat*) { return notbuilt("GINT"); }
int ffoacr(fargs*, evalstat*) { return notbuilt("OACRES"); }
int ffoabn(fargs*, evalstat*) { return notbuilt("OABIN"); }
int ffsmth(fargs*, evalstat*) { return notbuilt("SMTH9"); }
int ffsave(fargs*, evalstat*) { return notbuilt("STNAVE"); }
int ffsmin(fargs*, evalstat*) { return notbuilt("STNMIN"); }
int ffsmax(fargs*, evalstat*) { return notbuilt("STNMAX"); }
int ffskip(fargs*, evalstat*) { return notbuilt("SKIP"); }
int ffcnst(fargs*, evalstat*) { return notbuilt("CONST"); }
int ffcdif(fargs*, evalstat*) { return notbuilt("CDIFF"); }
int ffmn(fargs*, evalstat*) { return notbuilt("MEAN"); }
int ffamn(fargs*, evalstat*) { return notbuilt("AMEAN"); }
int ffsum(fargs*, evalstat*) { return notbuilt("SUM"); }
int ffsumg(fargs*, evalstat*) { return notbuilt("SUMG"); }
int ffasum(fargs*, evalstat*) { return notbuilt("ASUM"); }
int ffasumg(fargs*, evalstat*) { return notbuilt("ASUMG"); }
int ffclgr(fargs*, evalstat*) { return notbuilt("COLL2GR"); }
int ffmin(fargs*, evalstat*) { return notbuilt("MIN"); }
int ffmax(fargs*, evalstat*) { return notbuilt("MAX"); }
int ffminl(fargs*, evalstat*) { return notbuilt("MINLOC"); }
int ffmaxl(fargs*, evalstat*) { return notbuilt("MAXLOC"); }
int ffflvl(fargs*, evalstat*) { return notbuilt("FNDLVL"); }
int ffsreg(fargs*, evalstat*) { return notbuilt("SREGR"); }
int fftreg(fargs*, evalstat*) { return notbuilt("TREGR"); }
