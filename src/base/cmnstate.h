// The common state of the interpreter: one global record (gcmn) that every
// command handler, the plot code, the self-describing-file openers and the
// LATS driver work on, plus the two small globals beside it: mfcmn (settings
// shared by all files) and wgds (writegds settings).  The record and its
// defaults (ominit, omstart, omcln) live at the bottom layer so that every
// library may read it and every library's tests may start from the
// program's defaults; the command layer is what sets and changes it.
//
// Fields keep their documented order.  Fixed tables are plain C arrays;
// owned texts are std::string (empty means "none").  The static instance is
// zero-initialised at start, so every field that ominit/main/omgx do not set
// starts as zero.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/deflist.h"
#include "base/omtypes.h"

struct datafile;
struct defvar;
struct gridres;
struct replfile;
struct stnlist;

// Axis conversions of the last plot, as the query commands read them:
// the x and y grid-to-world routines, the x and y world-to-grid routines,
// then the four conversion arrays that go with them in the same order.
struct plotlimrec {
  omaxisfn conv[4];   // 0 x g->w, 1 y g->w, 2 x w->g, 3 y w->g
  float* vals[4];     // arrays owned by the data file or grid they came from
};

// One node of a station collection (collect command).
struct collnode {
  collnode* next;
  stnlist* stn;
};

// Settings of the LATS output.
struct latsopts {
  std::string parmtab;      // parameter table file ("" none)
  int convention;           // 3 ombra_grib, 4 coards, 2 grib_only
  int frequency;            // 1 hourly .. 8 forecast_hourly, -1 unset
  int calendar;             // 0x1111 standard, 0x1011 noleap, 0x1000 clim, 0x1100 climleap
  int deltat;               // time step
  std::string model;        // model text (room 256 in stored files)
  std::string center;       // centre name (room 32)
  std::string comment;      // file comment (room 256)
  std::string outfile;      // output file (room 256)
  int basetime[4];          // year, month, day, hour; -1 unset
  std::string vertdim;      // vertical dimension name (room 32)
  double levels[128];       // vertical levels
  int levcount;             // number of levels, -1 none
  int gridtype;             // 2 linear, 1 gaussian, 3 generic
  std::string gridname;     // grid name (room 32)
  int latsgridinfo_i[4];    // lon-linear flag, lat-linear flag, nlon, nlat
  float latsgridinfo_f[4];  // lon, lat of the first point; lon, lat of the last
  std::string var;          // variable name (room 32)
  std::string varcomment;   // variable comment (room 256)
  int timestat;             // 2 instant, 1 average, 3 accum
  double latswrlev;         // level written by set lats write; -1e20 none
  int timeoption;           // 1 dim_env, 0 grid, 2 settime, 3 forecast_hourly
  int fhour;                // forecast hour, -1 none
  // 0..3: latest file, level, grid, variable ids returned by the library;
  // 4..7: file, variable, grid, level ids selected by the user; 8: write flag.
  int latsids[9];
  // Highest file, level, grid and variable ids the library has returned
  // (same order as latsids 0..3).  They bound the ids set lats accepts: a
  // failed call stores 0 as the latest id, and the ids made before it stay
  // valid in the library.
  int latsmax[4];
};

// writegds settings.
struct gdsopts {
  std::string fname;   // output file name ("" none)
  std::string opts;    // option letters ("" none)
};

// Settings shared by all open files.
struct mfstate {
  int mfcal;     // -999 unset, 0 standard, 1 365-day calendar
  int mffullyr;  // full-year flag of date parsing
  int mfwarn;    // data-request warnings: 2 default, 1 on, 0 off
};

struct cmnstate {
  gdsopts* gds;
  int plotpass;
  int framewords[10];
  int loopdim;
  int looping;
  float loopincr;
  datafile* filehead;
  datafile* dfile;
  int filecount;
  int dfilenum;
  int fileserial;
  deflist defs;
  float wlo[3];
  float whi[3];
  datetime tbeg;
  datetime tend;
  int vary[4];
  float pagew, pageh;
  float vpagew;
  float plotxlo, plotxhi;
  float vpageh;
  float plotylo, plotyhi;
  int parea;
  float pareabox[4];
  int clab;
  int clskip;
  std::string clabfmt;
  float rbrange[2];
  int rbcolcount;
  int rbcols[100];
  float cmin, cmax;
  float cint;
  int clevcount;
  float clevs[100];
  int ccolcount;
  int ccols[100];
  float shadelevs[120];
  int shadecols[120];
  int shadecount;
  int ccolor;
  int cstyle;
  int cthick;
  int cmark;
  int csmooth;
  int cterp;
  float vrange[3];
  float vrange2[3];
  int vrangeset, vrange2set;
  int grid, gridstyle, gridcolor;
  int dignum;
  float digsize;
  int arrflag;
  float arrsize;
  int arrlab;
  float arrmag;
  float arrowhead;
  int hempref;
  int missconn;
  int strmden;
  int mdlblank, mdldig3;
  std::string prnfmt;
  int prnnum;
  int prnblank;
  int prnflag;
  int fgvals[50], fgcols[50];
  int fgcount;
  int gridln;
  int stid;
  float xaxis[2];
  float xaxisinc;
  float yaxis[2];
  float yaxisinc;
  int xaxisset, yaxisset;
  int frame;
  int xyrev, xflip, yflip;
  int zlog;
  int mproj;
  int mpdraw;
  float mpvals[10];
  int mpvalsset;
  std::string mpdset[8];     // "" = unused slot
  int mptcolor[256];
  int mptstyle[256];
  int mptthick[256];
  int mapcolor, mapstyle, mapthick;
  int gxout_kind;
  int gxout_1d;
  int gxout_1dvec;
  int gxout_2d;
  int gxout_2dvec;
  int gxout_stn;
  int black;
  float blackrange[2];
  int linecolor, linestyle, linethick;
  int mapautocol;
  int strcolor, strthick, strjust;
  float strrot;
  float strhsiz, strvsiz;
  int annotcolor, annotthick;
  int grey;
  int whitebg;
  int xlcolor, xlthick, ylcolor, ylthick;
  int clcolor, clthick;
  int xlside, ylside;
  int ylposset;
  float xlsize, ylsize, clsize;
  float xlpos, ylpos;
  float ylabshift;
  float xlevs[50], ylevs[50];
  int xlevcount, ylevcount;
  float xlint, ylint;
  std::string xlabfmt, ylabfmt;
  std::vector<std::string> xlabs, ylabs;   // user label lists
  int xlabcount, ylabcount;
  int xlab, ylab;
  int tlsupp;
  int lfcols[2];
  int wxcols[5];
  int wxopt;
  int gxout_tser;
  int bargap;
  int baropts;
  float barbase;
  int barbaseset;
  int btncolors[8];
  int btnthick;
  int dlgcolors[4];
  int dlgthick;
  int dlgnumeric;
  int menuopts[15];
  replfile* fwfile;          // the open fwrite file (plot/fwfile.h), or null
  std::string fwname;        // "" = "ombra.fwrite"
  int fwbigend;
  int fwseq;
  int logo;
  int timelab;
  int stnprint;
  int dbuff;
  int batch;
  int rescount;
  int relcount;
  int restype[16];           // 1 grid, 0 station list
  void* resptr[16];          // gridres* or stnlist*
  collnode* collections[32];
  int lastgraphic;
  int axisdims[2];
  plotlimrec plotlims;
  int stat;
  int imprun;
  std::string impname;
  int impcmd;
  volatile int sigflg;
  int fillon, filltype, filldens, fillang;
  int datawarn;
  latsopts lats;
};

extern cmnstate gcmn;
extern mfstate mfcmn;
extern gdsopts wgds;

// Nonzero once an interrupt has arrived since the main loop last cleared it
// (gcmn.sigflg), once standard output has lost its reader (stdoutgone), or
// while an ending signal waits for the release of a hold (endhold.h); long
// operations and the waits that sleep poll it, and it hands on buffered
// output (omoutdue).
int omqsig();

// Sets every start/reset default of gcmn, mfcmn and wgds.
void ominit();

// The defaults the program sets once at start, after ominit: an empty file
// list, fileserial 10, no definitions, colour on black, fwrite closed and
// big-endian.  Tests that need a fresh program state call ominit and this.
void omstart(cmnstate* pcm);

// The clear routine: always clears the per-frame plot state; with flag
// nonzero also restores the contour/axis settings that clear resets.
void omcln(cmnstate* pcm, int flag);
