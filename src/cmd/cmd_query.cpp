// The query command: files, descriptors, the dimension environment, times,
// definitions and output settings, in the line formats scripts parse.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/omversion.h"
#include "base/replsig.h"
#include "base/words.h"
#include "cmd/omcmds.h"
#include "cmd/outint.h"
#include "cmd/qgfx.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "expr/defvar.h"
#include "expr/udf.h"

namespace {

std::string fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* f, ...) {
  va_list ap;
  va_start(ap, f);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, f, ap);
  va_end(ap);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) std::vsnprintf(&out[0], n + 1, f, ap2);
  va_end(ap2);
  return out;
}

// A word of at most 19 characters, for the invalid-argument messages.
std::string word19(const char* p) {
  char w[20];
  getwrd(w, p, 19);
  return w;
}

std::string timetext(const datetime& dt) { return omt2str(&dt, dt.mn != 0 ? 5 : 4); }

void qhelp() {
  omprnt(2, OMBRA_NAME " Version " OMBRA_VERSION " (" OMBRA_BUILD ")\n");
  omprnt(2, "query or q Options: \n");
  static const char* const lines[] = {
      "  q config   Returns Ombra configuration information\n",
      "  q ctlinfo  Returns contents of data descriptor file\n",
      "  q define   Lists currently defined variables\n",
      "  q defval   Returns value of a defined variable at a point\n",
      "  q dialog   Launches a dialog box\n",
      "  q dims     Returns current dimension environment\n",
      "  q files    Lists all open files\n",
      "  q file     Returns info on a particular file\n",
      "  q fwrite   Returns status of fwrite output file\n",
      "  q gxinfo   Returns graphics environment info\n",
      "  q lats     Returns status of Ombra-LATS Interface\n",
      "  q pos      Waits for mouse click, returns position and widget info\n",
      "  q shades   Returns colors and levels of shaded contours\n",
      "  q string   Returns width of a string\n",
      "  q time     Returns info about time settings\n",
      "  q udft     Returns the user defined function table\n",
      "  q xinfo    Returns characteristics of graphics display window\n",
      "  q xy2w     Converst XY screen to world coordinates\n",
      "  q xy2gr    Converts XY screen to grid coordinates\n",
      "  q w2xy     Converts world to XY screen coordinates\n",
      "  q w2gr     Converts world to grid coordinates\n",
      "  q gr2w     Converts grid to world coordinates\n",
      "  q gr2xy    Converts grid to XY screen coordinates\n",
      "  q pp2xy    Converts virtual page XY to real page XY coordinates\n",
  };
  for (const char* l : lines) omprnt(2, l);
  omprnt(2, "Details about argument syntax for some of these options are in the \n");
  omprnt(2, "docs/commands.md of the Ombra sources.\n");
}

// The file named by the word after p (default file when none); null after
// the message.  *num receives its number.
datafile* selfile(const char* p, cmnstate* pcm, const char* what, int* num) {
  if (!pcm->filehead) {
    omprnt(0, "No Files Open\n");
    return nullptr;
  }
  const char* q = nxtwrd(p);
  if (!q) {
    *num = pcm->dfilenum;
    return pcm->dfile;
  }
  int n;
  if (!intprs(q, &n)) {
    omprnt(0, "Invalid QUERY " + std::string(what) + " argument: " + word19(q) + " \n");
    return nullptr;
  }
  datafile* pfi = nullptr;
  if (n >= 1) {
    pfi = pcm->filehead;
    for (int i = 1; pfi && i < n; i++) pfi = pfi->pforw;
  }
  if (!pfi) {
    omprnt(0, fmt("QUERY %s Error:  file %i not open\n", what, n));
    return nullptr;
  }
  *num = n;
  return pfi;
}

int qfiles(cmnstate* pcm) {
  if (!pcm->filehead) {
    omprnt(2, "No files open\n");
    return 0;
  }
  int k = 1;
  for (datafile* p = pcm->filehead; p; p = p->pforw, k++) {
    omprnt(2, fmt("File %i : %s\n", k, p->title.c_str()));
    omprnt(2, "  Descriptor: " + p->dnam + "\n");
    omprnt(2, "  Binary: " + p->name + "\n");
  }
  return 0;
}

int qfile(const char* p, cmnstate* pcm) {
  int n;
  datafile* pfi = selfile(p, pcm, "FILE", &n);
  if (!pfi) return 1;
  omprnt(2, fmt("File %i : %s\n", n, pfi->title.c_str()));
  omprnt(2, "  Descriptor: " + pfi->dnam + "\n");
  omprnt(2, "  Binary: " + pfi->name + "\n");
  if (pfi->type == 2) {
    omprnt(2, "  Type = Station Data\n");
    omprnt(2, fmt("  Tsize = %i\n", pfi->dnum[3]));
  } else {
    omprnt(2, "  Type = Gridded\n");
    omprnt(2, fmt("  Xsize = %i  Ysize = %i  Zsize = %i  Tsize = %i\n", pfi->dnum[0], pfi->dnum[1],
                  pfi->dnum[2], pfi->dnum[3]));
  }
  omprnt(2, fmt("  Number of Variables = %i\n", static_cast<int>(pfi->pvar1.size())));
  for (const filevar& v : pfi->pvar1)
    omprnt(2, fmt("    %s %i %i %s\n", v.abbrv.c_str(), v.levels, v.units[0], v.varnm.c_str()));
  // How a data set made from a file as it is was made: after the lines
  // scripts read by their number.
  for (const std::string& n : pfi->notes) omprnt(2, "  " + n + "\n");
  return 0;
}

// The units field of a variable as its descriptor record has it.
std::string codesof(const filevar& v) {
  const g2codes& g = v.g2;
  if (g.disc >= 0) {
    std::string c = fmt("%i,%i,%i,%i", g.disc, g.cat, g.num, g.ltype);
    if (g.haslev || g.stat >= 0 || g.period >= 0) c += g.haslev ? fmt(",%g", g.lev) : std::string(",-999");
    if (g.stat >= 0 || g.period >= 0) c += fmt(",%i", g.stat);
    if (g.period >= 0) c += fmt(",%g", g.period);
    return c;
  }
  std::string codes = std::to_string(v.units[0]);
  for (int k = 1; k < 4 && v.units[k] != -999; k++) codes += "," + std::to_string(v.units[k]);
  return codes;
}

void axisline(const datafile* pfi, int d) {
  static const char* const names[3] = {"xdef", "ydef", "zdef"};
  std::string line = fmt("%s %i", names[d], pfi->dnum[d]);
  omaxisfn conv = pfi->gr2ab[d];
  float* vals = pfi->grvals[d];
  if (pfi->linear[d] && conv && vals) {
    line += fmt(" linear %g %g\n", conv(vals, 1.0), vals[0]);
  } else {
    line += " levels";
    for (int i = 1; i <= pfi->dnum[d] && conv && vals; i++) {
      line += fmt(" %g", conv(vals, static_cast<double>(i)));
      if (i < pfi->dnum[d] && (i == 8 || (i > 8 && (i - 8) % 10 == 0))) line += "\n";
    }
    line += "\n";
  }
  omprnt(2, line);
}

int qctlinfo(const char* p, cmnstate* pcm) {
  int n;
  datafile* pfi = selfile(p, pcm, "CTLINFO", &n);
  if (!pfi) return 1;
  omprnt(2, "dset " + pfi->name + "\n");
  omprnt(2, "title " + pfi->title + "\n");
  omprnt(2, fmt("undef %g\n", pfi->undef));
  // A GRIB file opened as it is, or a descriptor of GRIB2 variables, says
  // what kind of data set it is (a descriptor of GRIB1 ones as it always
  // has).
  if (pfi->bgrib == 2 || (pfi->bgrib && !pfi->notes.empty())) {
    bool g2 = false;
    for (const filevar& v : pfi->pvar1) g2 = g2 || v.g2.disc >= 0;
    omprnt(2, g2 ? "dtype grib2\n" : "dtype grib\n");
  }
  if (pfi->type == 2) {
    omprnt(2, "dtype station\n");
    omprnt(2, fmt("  Tsize = %i\n", pfi->dnum[3]));
    return 0;
  }
  for (int d = 0; d < 3; d++) axisline(pfi, d);
  if (const float* tv = pfi->grvals[3]) {
    datetime dt;
    gr2t(tv, 1.0, &dt);
    std::string t = timetext(dt);
    if (tv[5] != 0.0f) omprnt(2, fmt("tdef %i linear %s %gmo\n", pfi->dnum[3], t.c_str(), tv[5]));
    else omprnt(2, fmt("tdef %i linear %s %gmn\n", pfi->dnum[3], t.c_str(), tv[6]));
  }
  omprnt(2, fmt("vars %i\n", static_cast<int>(pfi->pvar1.size())));
  for (const filevar& v : pfi->pvar1)
    omprnt(2, v.abbrv + " " + std::to_string(v.levels) + " " + codesof(v) + " " + v.varnm + "\n");
  for (const std::string& n : pfi->notes) omprnt(2, "* " + n + "\n");
  return 0;
}

int qdims(cmnstate* pcm) {
  datafile* pfi = pcm->dfile;
  if (!pfi) {
    omprnt(0, "No files open\n");
    return 1;
  }
  omprnt(2, fmt("Default file number is: %i \n", pcm->dfilenum));
  static const char* const fixedf[3] = {"X is fixed     Lon = %g  X = %g\n",
                                        "Y is fixed     Lat = %g  Y = %g\n",
                                        "Z is fixed     Lev = %g  Z = %g\n"};
  static const char* const varyf[3] = {"X is varying   Lon = %g to %g   X = %g to %g\n",
                                       "Y is varying   Lat = %g to %g   Y = %g to %g\n",
                                       "Z is varying   Lev = %g to %g   Z = %g to %g\n"};
  for (int d = 0; d < 3; d++) {
    double w1 = pcm->wlo[d], w2 = pcm->whi[d];
    double g1 = w1, g2 = w2;
    if (pfi->type != 2 && pfi->ab2gr[d] && pfi->abvals[d]) {
      g1 = pfi->ab2gr[d](pfi->abvals[d], w1);
      g2 = pfi->ab2gr[d](pfi->abvals[d], w2);
    }
    if (pcm->wlo[d] == pcm->whi[d]) omprnt(2, fmt(fixedf[d], w1, g1));
    else omprnt(2, fmt(varyf[d], w1, w2, g1, g2));
  }
  double t1 = 0, t2 = 0;
  if (pfi->grvals[3]) {
    t1 = t2gr(pfi->grvals[3], &pcm->tbeg);
    t2 = t2gr(pfi->grvals[3], &pcm->tend);
  }
  std::string s1 = timetext(pcm->tbeg), s2 = timetext(pcm->tend);
  if (t1 == t2) omprnt(2, fmt("T is fixed     Time = %s  T = %g\n", s1.c_str(), t1));
  else omprnt(2, fmt("T is varying   Time = %s to %s  T = %g to %g\n", s1.c_str(), s2.c_str(), t1, t2));
  return 0;
}

int qtime(cmnstate* pcm) {
  if (!pcm->dfile) {
    omprnt(0, "No Files Open\n");
    return 1;
  }
  static const char* const dweek[8] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "???"};
  auto day = [](const datetime& dt) {
    int d = dayweek(&dt);  // any year, not only the 1950-2020 of old tables
    return dweek[d < 0 || d > 7 ? 7 : d];
  };
  std::string s1 = timetext(pcm->tbeg), s2 = timetext(pcm->tend);
  omprnt(2, "Time = " + s1 + " to " + s2);
  omprnt(2, fmt("  %s to %s\n", day(pcm->tbeg), day(pcm->tend)));
  return 0;
}

int qdefine(cmnstate* pcm) {
  if (!pcm->defs.head) {
    omprnt(1, "No Defined Variables\n");
    return 0;
  }
  for (defvar* d = pcm->defs.head; d; d = d->pforw) {
    float v = d->pfi && !d->pfi->rbuf.empty() ? d->pfi->rbuf[0] : d->pfi->undef;
    omprnt(2, fmt("%s %g\n", d->abbrv, v));
  }
  return 0;
}

int qfwrite(cmnstate* pcm) {
  omprnt(2, pcm->fwfile ? "FWrite file is open\n" : "FWrite file is closed\n");
  omprnt(2, "FWrite file name is: " + replshownname(pcm->fwname.empty() ? "ombra.fwrite" : pcm->fwname) + "\n");
  std::string line = pcm->fwbigend ? "FWrite byte order is big_endian "
                                   : "FWrite byte order is little_endian ";
  // The host's real byte order, not a fixed text.
  line += omhostle() ? "; machine byte order is little_endian\n"
                     : "; machine byte order is big_endian\n";
  omprnt(2, line);
  return 0;
}

int qlats(cmnstate* pcm) {
  const latsopts& l = pcm->lats;
  omprnt(2, "Ombra-LATS Interface State:\n");
  omprnt(2, l.parmtab + " \t:parameter table file (by \"set lats parmtab \")\n");
  omprnt(2, fmt("%d \t: data CONVENTION parameter (by \"set lats convention\")\n", l.convention));
  omprnt(2, fmt("%d \t: data CALENDAR parameter (by \"set lats calendar\")\n", l.calendar));
  omprnt(2, fmt("%d \t: data time FREQEUENCY  parameter (by \"set lats frequency\")\n", l.frequency));
  omprnt(2, fmt("%d \t: DELTAT time (# of intervals) (by \"set lats deltat\")\n", l.deltat));
  omprnt(2, fmt("%d \t: BASETIME year (# of intervals) (by \"set lats basetime id_file yr mo da hr\")\n",
                l.basetime[0]));
  omprnt(2, fmt("%d \t: BASETIME month (# of intervals) (e.g., \"set lats basetime 1 1997 5 31 00\")\n",
                l.basetime[1]));
  omprnt(2, fmt("%d \t: BASETIME day (# of intervals) (e.g., \"set lats basetime 1 1997 5 31 00\")\n",
                l.basetime[2]));
  omprnt(2, fmt("%d \t: BASETIME hour (# of intervals) (e.g., \"set lats basetime 1 1997 5 31 00\")\n",
                l.basetime[3]));
  omprnt(2, l.model + " \t: MODEL (by \"set lats model\")\n");
  omprnt(2, l.center + " \t: data CENTER (by \"set lats center\")\n");
  omprnt(2, l.comment + " \t: COMMENT (by \"set lats comment\")\n");
  omprnt(2, l.outfile + " \t: output file (by \"set lats open \")\n");
  omprnt(2, fmt("%d \t: GRIDTYPE grid type parameter(by \"set lats gridtype\")\n", l.gridtype));
  omprnt(2, l.gridname + " \t: GRIDNAME grid type parameter(by \"set lats gridname\")\n");
  omprnt(2, fmt("%4d \t: linear in longitude (0=no,1=yes)\n", l.latsgridinfo_i[0]));
  omprnt(2, fmt("%4d \t: linear in latitude  (0=no,1=yes)\n", l.latsgridinfo_i[1]));
  omprnt(2, fmt("%4d \t: # longitude points (nlon) \n", l.latsgridinfo_i[2]));
  omprnt(2, fmt("%4d \t: # latitude  points (nlat) \n", l.latsgridinfo_i[3]));
  omprnt(2, fmt("    ( %10.4f , %10.4f ) \t: (   1,   1) lon lat\n", l.latsgridinfo_f[0],
                l.latsgridinfo_f[1]));
  omprnt(2, fmt("    ( %10.4f , %10.4f ) \t: (nlat,nlon) lon lat\n", l.latsgridinfo_f[2],
                l.latsgridinfo_f[3]));
  omprnt(2, l.vertdim +
                " \t: vertical dimension by \"set lats levels (lev1 ... levN) vertdimname\")\n");
  omprnt(2, fmt("%d \t: # of vertical levels (by \"set lats levels (lev1 ... levN) vertdimname\")\n",
                l.levcount));
  std::string levs;
  for (int i = 0; i < l.levcount && i < 128; i++) levs += fmt(" %g", l.levels[i]);
  omprnt(2, levs + "vertical levels\n");
  omprnt(2, l.var + " \t: VAR output parameter (by \"set lats var (name timestat [level])\")\n");
  omprnt(2, fmt("%d \t: VAR TIMESTAT time statistic parameter\n", l.timestat));
  static const char* const idl[9] = {
      "%d \t: id_file LATS internal ID\n",      "%d \t: id_grid LATS internal ID\n",
      "%d \t: id_lev LATS internal ID\n",       "%d \t: id_var LATS internal ID\n",
      "%d \t: id_user_file LATS internal ID\n", "%d \t: id_user_grid LATS internal ID\n",
      "%d \t: id_user_var LATS internal ID\n",  "%d \t: id_user_lev LATS internal ID\n",
      "%d \t: id_user_write LATS internal ID\n"};
  // latsids: latest file, level, grid, variable; selected file, variable,
  // grid, level; write request.
  static const int order[9] = {0, 2, 1, 3, 4, 6, 5, 7, 8};
  for (int i = 0; i < 9; i++) omprnt(2, fmt(idl[i], l.latsids[order[i]]));
  return 0;
}

// The handlers as the keyword table calls them: p at the keyword, the
// lower-cased line (com) and the line as typed.
typedef int (*qfn)(const char* p, const char* com, const char* typed, cmnstate* pcm);

int qkfwrite(const char*, const char*, const char*, cmnstate* pcm) { return qfwrite(pcm); }
int qkconfig(const char*, const char*, const char*, cmnstate*) {
  omcfg(2);
  return 0;
}
int qklats(const char*, const char*, const char*, cmnstate* pcm) { return qlats(pcm); }
int qkdims(const char*, const char*, const char*, cmnstate* pcm) { return qdims(pcm); }
int qkdefval(const char* p, const char*, const char*, cmnstate* pcm) { return omqdef(p, pcm, 0); }
int qkudft(const char*, const char*, const char*, cmnstate*) {
  omqufb();
  return 0;
}
int qkctlinfo(const char* p, const char*, const char*, cmnstate* pcm) { return qctlinfo(p, pcm); }
int qkfile(const char* p, const char*, const char*, cmnstate* pcm) { return qfile(p, pcm); }
int qktime(const char*, const char*, const char*, cmnstate* pcm) { return qtime(pcm); }
int qkdefine(const char*, const char*, const char*, cmnstate* pcm) { return qdefine(pcm); }
int qkfiles(const char*, const char*, const char*, cmnstate* pcm) { return qfiles(pcm); }

// One query keyword, its other spelling (or null) and its handler.
struct qkey {
  const char* word;
  const char* alias;
  qfn run;
};

// The keywords of files, descriptors, dimensions, times, definitions and
// outputs, in the order they are tried; the graphics keywords follow in
// omqgfx (query_coords.cpp).
const qkey qkeys[] = {
    {"fwrite", nullptr, qkfwrite},   {"config", nullptr, qkconfig}, {"lats", nullptr, qklats},
    {"dims", "dim", qkdims},         {"defval", nullptr, qkdefval}, {"udft", nullptr, qkudft},
    {"ctlinfo", nullptr, qkctlinfo}, {"file", nullptr, qkfile},     {"time", nullptr, qktime},
    {"define", nullptr, qkdefine},   {"files", nullptr, qkfiles},
};

}  // namespace

int omqury(const char* com, const char* typed, cmnstate* pcm) {
  const char* p = nxtwrd(com);
  if (!p) {
    qhelp();
    return 0;
  }
  static const char* const later[] = {"dialog", "string", "w2xy", "w2gr", "gr2w", "gr2xy",
                                      "pp2xy",  "xy2w",   "xy2gr", "ll2xy", "gxinfo", "xinfo",
                                      "shades", "bpos",   "pos"};
  for (const qkey& k : qkeys) {
    if (cmpwrd(p, k.word) || (k.alias && cmpwrd(p, k.alias))) return k.run(p, com, typed, pcm);
  }
  int grc;
  if (omqgfx(p, com, typed, pcm, &grc)) return grc;
  for (const char* w : later) {
    if (cmpwrd(p, w)) {
      omprnt(0, "QUERY " + word19(p) + " error:  not built yet\n");
      return 1;
    }
  }
  omprnt(0, "Invalid QUERY argument: " + word19(p) + " \n");
  return 0;
}
