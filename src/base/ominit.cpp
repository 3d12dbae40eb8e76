// The defaults of the common state.
#include "base/cmnstate.h"

#include <algorithm>

namespace {

void latsdefaults(latsopts& l) {
  l.parmtab.clear();
  l.convention = 3;
  l.frequency = -1;
  l.calendar = 0x1111;
  l.deltat = 0;
  l.model = "Unknown1 LATS model";
  l.center = "KIRVA";
  l.comment = "Written using the Ombra-LATS interface";
  l.outfile = "ombra.lats";
  std::fill(l.basetime, l.basetime + 4, -1);
  l.vertdim = "plev";
  l.levcount = -1;
  l.gridtype = 2;
  l.gridname = "grid1";
  l.var = "unknown1";
  l.varcomment = "Unknown1 variable comment";
  l.timestat = 2;
  l.latswrlev = -1e20;
  l.timeoption = 1;
  l.fhour = -1;
  l.latsids[0] = -1;
  l.latsids[1] = 0;
  l.latsids[2] = -1;
  l.latsids[3] = -1;
  std::copy(l.latsids, l.latsids + 4, l.latsmax);
}

void mapdefaults(cmnstate& c) {
  c.mproj = 2;
  c.mpdraw = 1;
  c.mpvalsset = 0;
  for (auto& s : c.mpdset) s.clear();
  c.mpdset[0] = "lowres";
  std::fill(c.mptcolor, c.mptcolor + 256, -9);
  c.mptcolor[0] = c.mptcolor[1] = c.mptcolor[2] = -1;
  std::fill(c.mptstyle, c.mptstyle + 256, 1);
  std::fill(c.mptthick, c.mptthick + 256, 3);
  c.mapcolor = -9;
  c.mapstyle = 1;
  c.mapthick = 1;
}

void widgetdefaults(cmnstate& c) {
  static const int btn[8] = {1, 0, 1, 1, 1, 0, 1, 1};
  std::copy(btn, btn + 8, c.btncolors);
  c.btnthick = 3;
  std::fill(c.dlgcolors, c.dlgcolors + 4, -1);
  c.dlgthick = 3;
  c.dlgnumeric = 0;
  std::fill(c.menuopts, c.menuopts + 15, 1);
  c.menuopts[1] = c.menuopts[5] = c.menuopts[9] = 0;
}

void axisdefaults(cmnstate& c) {
  c.xlcolor = 1;
  c.xlthick = 4;
  c.ylcolor = 1;
  c.ylthick = 4;
  c.clcolor = -1;
  c.clthick = -1;
  c.xlsize = 0.11f;
  c.ylsize = 0.11f;
  c.clsize = 0.09f;
  c.ylabshift = 0.0f;
  c.xlabfmt.clear();
  c.ylabfmt.clear();
  c.xlabs.clear();
  c.ylabs.clear();
  c.xlabcount = c.ylabcount = 0;
  c.xlab = 1;
  c.ylab = 1;
  c.frame = 1;
  c.zlog = 0;
  c.grid = 1;
  c.gridstyle = 5;
  c.gridcolor = 15;
}

}  // namespace

void ominit() {
  cmnstate& c = gcmn;
  c.gds = &wgds;
  c.loopdim = 3;
  c.pagew = c.vpagew;
  c.pageh = c.vpageh;
  c.plotxlo = 0;
  c.plotxhi = c.vpagew;
  c.plotylo = 0;
  c.plotyhi = c.vpageh;
  c.parea = 0;
  c.clab = 1;
  c.clskip = 1;
  c.clabfmt.clear();
  c.rbcolcount = 0;
  c.cmark = -9;
  c.csmooth = 0;
  c.cterp = 1;
  c.vrangeset = 0;
  c.dignum = 0;
  c.digsize = 0.07f;
  c.arrlab = 1;
  c.arrowhead = 0.05f;
  c.missconn = 0;
  c.strmden = 5;
  c.prnfmt.clear();
  c.prnnum = 8;
  c.prnblank = 1;
  c.prnflag = 0;
  c.fgcount = 0;
  c.stid = 0;
  mapdefaults(c);
  c.gxout_kind = 0;
  c.gxout_1d = 1;
  c.gxout_1dvec = 0;
  c.gxout_2d = 1;
  c.gxout_2dvec = 4;
  c.gxout_stn = 1;
  c.linecolor = 1;
  c.linestyle = 1;
  c.linethick = 3;
  c.strcolor = 1;
  c.strthick = 3;
  c.strjust = 0;
  c.strrot = 0;
  c.strhsiz = 0.1f;
  c.strvsiz = 0.12f;
  c.annotcolor = 1;
  c.annotthick = 6;
  axisdefaults(c);
  c.lfcols[0] = 2;
  c.lfcols[1] = 3;
  static const int wx[5] = {2, 10, 11, 7, 15};
  std::copy(wx, wx + 5, c.wxcols);
  c.wxopt = 1;
  c.bargap = 0;
  c.baropts = 0;
  c.barbaseset = 0;
  widgetdefaults(c);
  c.timelab = 1;
  c.stnprint = 0;
  c.dbuff = 0;
  c.rescount = 0;
  std::fill(c.collections, c.collections + 32, nullptr);
  c.stat = 0;
  c.imprun = 0;
  c.impcmd = 1;
  c.sigflg = 0;
  c.fillon = 0;
  c.filltype = 1;
  c.filldens = 5;
  c.fillang = 0;
  c.datawarn = 1;
  latsdefaults(c.lats);

  // Settings that clear also restores.
  omcln(&c, 1);

  // The calendar was fixed by the files that are open; a reset keeps them
  // open, so it keeps their calendar too.
  if (!gcmn.filehead) mfcmn.mfcal = -999;
  mfcmn.mfwarn = 2;
  wgds.fname.clear();
  wgds.opts.clear();
}

void omstart(cmnstate* pcm) {
  pcm->filehead = nullptr;
  pcm->dfile = nullptr;
  pcm->filecount = 0;
  pcm->dfilenum = 0;
  pcm->fileserial = 10;
  pcm->defs = deflist();
  pcm->grey = 0;
  pcm->whitebg = 0;
  pcm->fwfile = nullptr;
  pcm->fwname.clear();
  pcm->fwbigend = 1;
  pcm->fwseq = 0;
}

void omcln(cmnstate* pcm, int flag) {
  cmnstate& c = *pcm;
  c.plotpass = 0;
  std::fill(c.framewords, c.framewords + 10, 0);
  c.shadecount = 0;
  c.lastgraphic = 0;
  c.axisdims[0] = c.axisdims[1] = -1;
  std::fill(c.plotlims.conv, c.plotlims.conv + 4, nullptr);
  if (c.ylposset == 0) c.ylabshift = 0.0f;
  if (!flag) return;

  c.clabfmt.clear();
  c.rbrange[0] = c.rbrange[1] = 0;
  c.cmin = -9.99e33f;
  c.cmax = 9.99e33f;
  c.cint = 0;
  c.clevcount = 0;
  c.ccolcount = 0;
  c.ccolor = -9;
  c.cstyle = -9;
  c.cthick = 3;
  c.cmark = -9;
  c.vrangeset = 0;
  c.vrange2set = 0;
  c.arrflag = 0;
  c.hempref = -1;
  c.gridln = -9;
  c.xaxisset = 0;
  c.yaxisset = 0;
  c.xyrev = c.xflip = c.yflip = 0;
  c.black = 0;
  c.xlside = c.ylside = 0;
  c.ylposset = 0;
  c.xlpos = c.ylpos = 0;
  c.xlevcount = c.ylevcount = 0;
  c.xlint = c.ylint = 0;
  c.xlabfmt.clear();
  c.ylabfmt.clear();
  c.xlabs.clear();
  c.ylabs.clear();
  // The lists are gone, so their counts must not promise entries.
  c.xlabcount = c.ylabcount = 0;
  c.tlsupp = 0;
  c.logo = 1;
  c.fillon = 0;
}
