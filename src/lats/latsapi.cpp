// The LATS interface: files, grids, vertical dimensions, variables and the
// checked, time-ordered writes of fields, with the run-wide lists and the
// error printers.  The format work is done by the GRIB and netCDF writers
// behind their hooks.
#include "lats/latsapi.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "base/errout.h"
#include "base/endhold.h"
#include "lats/lats.h"
#include "lats/latsint.h"

int lats_fatal = 1;
int lats_verbose = 1;
int lats_qc = 1;
const char* latsRoutine = nullptr;

namespace {

std::list<std::unique_ptr<latsFile>> files;   // newest first
int nextfileid = 1;
std::vector<std::unique_ptr<latsVertDim>> vertdims;
int nextvertid = 1;
std::vector<std::unique_ptr<latsGrid>> grids;   // grid id = place + 1
int nextvarid = 1;

const char* monthname(int m) { return m >= 1 && m <= 12 ? latsMonthNames[m - 1] : "???"; }

bool isgrib(const latsFile* f) { return f->format == 2; }

// The file on disk brought up to date with a step just made, so that an
// ending signal finds it whole; false after its error.
int settle(latsFile* f) {
  endhold hold;
  hold.hold();
  return isgrib(f) ? latsSettleGrib(f) : latsSettleNc(f);
}

// Files still open when the session ends are closed then, so that a GRIB
// file gets its descriptor and index and a netCDF file its header.
void closeall(endhow) {
  lats_fatal = 0;
  while (!files.empty()) {
    int id = files.back()->id;
    if (!lats_close(id)) files.remove_if([id](const std::unique_ptr<latsFile>& p) { return p->id == id; });
  }
}

// Loads the table named by LATS_PARMS, or the built-in one, when none is
// loaded yet.
int ensuretable() {
  if (latsParmTableCreated) return 1;
  const char* env = getenv("LATS_PARMS");
  int ok = env ? latsParmCreateTable(env) : latsParmCreateDefaultTable();
  if (ok) latsParmTableCreated = 1;
  return ok;
}

bool endswith(const std::string& s, const char* ext) {
  size_t n = std::char_traits<char>::length(ext);
  return s.size() >= n && s.compare(s.size() - n, n, ext) == 0;
}

// One message, handed on whole: an ending never finds its head alone.
void vprint(const char* kind, const char* fmt, va_list ap) {
  va_list again;
  va_copy(again, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, again);
  va_end(again);
  std::string text(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
  std::vsnprintf(&text[0], text.size(), fmt, ap);
  omerrf("%s (%s): %s\n", kind, latsRoutine ? latsRoutine : "unknown routine", text.c_str());
}

// Sets the base time and the time units of a file (no mode check).
int setbasetime(latsFile* f, int year, int month, int day, int hour) {
  bool counted = f->calendar & 0x1;
  if (isgrib(f) && !counted && f->frequency != LATS_FIXED) year = 2;
  if (f->frequency == LATS_FIXED) year = 1;
  if (month < 1 || month > 12) {
    latsError("LATS (lats) -->  Invalid month: %d, file %s", month, replshownname(f->path).c_str());
    return 0;
  }
  if (year < 1) {
    latsError("LATS (lats) -->  Invalid year: %d, file %s year <0 NOT Supported", year, replshownname(f->path).c_str());
    return 0;
  }
  if (day < 1 || day > 31) {
    latsError("LATS (lats) -->  Invalid day: %d, file %s", day, replshownname(f->path).c_str());
    return 0;
  }
  if (hour < 0 || hour > 23) {
    latsError("LATS (lats) -->  Invalid hour: %d, file %s", hour, replshownname(f->path).c_str());
    return 0;
  }
  const char* units = "hours";
  if (f->frequency == LATS_YEARLY && counted) units = "years";
  else if (f->frequency == LATS_MONTHLY) units = "months";
  else if (f->frequency == LATS_DAILY || f->frequency == LATS_WEEKLY) units = "days";
  char buf[128];
  if (counted) snprintf(buf, sizeof buf, "%s since %d-%d-%d %d", units, year, month, day, hour);
  else snprintf(buf, sizeof buf, "%s since %d-%d %d", units, month, day, hour);
  f->timeunits = buf;
  f->nctimeunits = buf;
  if (f->convention == LATS_COARDS && f->frequency == LATS_MONTHLY) {
    snprintf(buf, sizeof buf, "days since %d-%d-%d %d", year, month, day, hour);
    f->nctimeunits = buf;
  }
  f->baseyear = year;
  f->basemonth = month;
  f->baseday = day;
  f->basehour = hour;
  f->basetimeset = 1;
  return 1;
}

latsGrid* gridlookup(int id) {
  if (id < 1 || id > (int)grids.size()) {
    latsError("LATS (latsint) --> Invalid grid ID: %d", id);
    return nullptr;
  }
  return grids[id - 1].get();
}

latsVertDim* vertlookup(int id) {
  for (auto& v : vertdims)
    if (v->id == id) return v.get();
  return nullptr;
}

// Level index of lev among the variable's levels (ascending or
// descending), or -1.
int latsLevLookup(const latsVar* v, double lev) {
  const std::vector<double>& L = v->vertdim->levs;
  int lo = 0, hi = (int)L.size() - 1;
  bool asc = L.size() < 2 || L[0] < L[1];
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    if (std::fabs(lev - L[mid]) <= v->levdelta) return mid;
    if ((lev < L[mid]) == asc) hi = mid - 1;
    else lo = mid + 1;
  }
  return -1;
}

// Column widths and row weights used by the area-weighted statistics.
void gridweights(latsGrid* g) {
  size_t nx = g->lons.size(), ny = g->lats.size();
  g->wlons.assign(nx, 0);
  double wrapmid = (g->lons.front() + g->lons.back() + 360.0) / 2.0;
  for (size_t i = 0; i < nx; i++) {
    double lo = i == 0 ? wrapmid - 360.0 : (g->lons[i - 1] + g->lons[i]) / 2.0;
    double hi = i + 1 == nx ? wrapmid : (g->lons[i] + g->lons[i + 1]) / 2.0;
    g->wlons[i] = std::fabs(hi - lo);
  }
  g->wlats.assign(ny, 0);
  bool desc = ny > 1 && g->lats[1] < g->lats[0];
  const double rad = M_PI / 180.0;
  for (size_t j = 0; j < ny; j++) {
    double b0 = j == 0 ? (desc ? 90.0 : -90.0) : (g->lats[j - 1] + g->lats[j]) / 2.0;
    double b1 = j + 1 == ny ? (desc ? -90.0 : 90.0) : (g->lats[j] + g->lats[j + 1]) / 2.0;
    g->wlats[j] = std::fabs(std::sin(b1 * rad) - std::sin(b0 * rad));
  }
}

bool monotonic(const double* v, int n) {
  if (n < 2) return true;
  bool up = v[1] > v[0];
  for (int i = 1; i < n; i++)
    if (up ? !(v[i] > v[i - 1]) : !(v[i] < v[i - 1])) return false;
  return true;
}

// Adds the grid to the file when it is new there; the file's entry or null.
latsFileGrid* filegrid(latsFile* f, latsGrid* g) {
  for (auto& fg : f->grids)
    if (fg.grid == g) return &fg;
  if ((int)f->grids.size() >= LATS_MAX_GRIDS) {
    latsError("LATS (latsint) --> Max number of grids allowed for file %s is %d, gridid: %d",
              replshownname(f->path).c_str(), LATS_MAX_GRIDS, g->id);
    return nullptr;
  }
  latsFileGrid fg;
  fg.grid = g;
  f->grids.push_back(fg);
  int ok = isgrib(f) ? latsGridGrib(f, &f->grids.back()) : latsGridNc(f, &f->grids.back());
  if (!ok) {
    f->grids.pop_back();
    return nullptr;
  }
  return &f->grids.back();
}

const char* statname(int s) {
  switch (s) {
    case LATS_AVERAGE: return "average";
    case LATS_INSTANT: return "instant";
    case LATS_ACCUM: return "accum";
    default: return "other";
  }
}

const char* freqname(int fr) {
  switch (fr) {
    case LATS_YEARLY: return "year";
    case LATS_MONTHLY: return "month";
    case LATS_WEEKLY: return "week";
    case LATS_DAILY: return "day";
    default: return "hour";
  }
}

// Vertical dimension of a new variable; false after its error.
bool varvertdim(latsFile* f, latsVar* v, int levid) {
  if (levid < 0) {
    latsError("LATS (lats) -->  Level dimension: %d, invalid, variable %s, file %s", levid,
              v->name.c_str(), replshownname(f->path).c_str());
    return false;
  }
  latsVertDim* vd = vertlookup(levid);
  if (!vd) {
    latsError("LATS (lats) -->  Vertical dimension not found, ID: %d, file %s, variable %s", levid,
              replshownname(f->path).c_str(), v->name.c_str());
    return false;
  }
  bool known = false;
  for (auto& fv : f->vdims) known = known || fv.vd == vd;
  if (!known) {
    if (f->convention == LATS_OMBRA_GRIB && !f->vdims.empty()) {
      latsError("LATS (lats) -->  For LATS_OMBRA_GRIB convention,\nvertdim can only be called once; "
                "define a vertical dimension that includes all levels\nVertical Dim ID: %d, file %s, "
                "variable %s", levid, replshownname(f->path).c_str(), v->name.c_str());
      return false;
    }
    if ((int)f->vdims.size() >= LATS_MAX_VERTDIMS) {
      latsError("LATS (latsint) --> Max vertical dimensions: %d, exceeded for file: %s",
                LATS_MAX_VERTDIMS, replshownname(f->path).c_str());
      return false;
    }
    latsFileVert fv;
    fv.vd = vd;
    f->vdims.push_back(fv);
    int ok = isgrib(f) ? latsVertDimGrib(f, &f->vdims.back()) : latsVertDimNc(f, &f->vdims.back());
    if (!ok) {
      f->vdims.pop_back();
      return false;
    }
  }
  if (v->parm.levelTypeSet && v->parm.levelType != vd->type.name)
    latsWarning("Overriding default level type %s, for variable %s", v->parm.levelType.c_str(),
                v->name.c_str());
  v->vertdim = vd;
  v->nlev = (int)vd->levs.size();
  v->levdelta = vd->delta;
  return true;
}

void varqc(latsVar* v) {
  int n = v->nlev > 0 ? v->nlev : 1;
  v->qc.assign(n, latsQC());
  v->hasqc.assign(n, 0);
  for (int i = 0; i < n; i++) {
    const latsQC* q;
    if (v->nlev > 0) {
      q = latsQCLookup(v->name.c_str(), v->vertdim->type.name.c_str(), v->vertdim->levs[i],
                       v->levdelta);
    } else {
      q = latsQCLookup(v->name.c_str(), v->parm.levelTypeSet ? v->parm.levelType.c_str() : "", 0.0,
                       v->levdelta);
    }
    if (q) {
      v->qc[i] = *q;
      v->hasqc[i] = 1;
    }
  }
}

}  // namespace

// ---- printers ----------------------------------------------------------------

void latsError(const char* fmt, ...) {
  if (lats_verbose) {
    va_list ap;
    va_start(ap, fmt);
    vprint("LATS error", fmt, ap);
    va_end(ap);
  }
  if (lats_fatal) exit(1);
}

void latsWarning(const char* fmt, ...) {
  if (!lats_verbose) return;
  va_list ap;
  va_start(ap, fmt);
  vprint("LATS warning", fmt, ap);
  va_end(ap);
}

void lats_erropt(int flags) {
  lats_fatal = flags & 1;
  lats_verbose = (flags >> 1) & 1;
}

void lats_qcopt(int on) { lats_qc = on; }

// ---- lookups -------------------------------------------------------------------

latsFile* latsFileLookup(int id) {
  for (auto& f : files)
    if (f->id == id) return f.get();
  latsError("LATS (latsint) --> File ID: %d, not found", id);
  return nullptr;
}

latsVar* latsVarLookup(latsFile* f, int varid) {
  for (auto& v : f->vars)
    if (v->id == varid) return v.get();
  latsError("LATS (latsint) --> Variable ID: %d, not found, file %s", varid, replshownname(f->path).c_str());
  return nullptr;
}

void latsInterfaceReset() {
  for (auto& f : files) {
    if (f->format == 1) latsDropNc(f.get());
    latsOutDiscard(f.get());
  }
  files.clear();
  vertdims.clear();
  grids.clear();
  nextfileid = nextvertid = nextvarid = 1;
  latsQCLogClose();
}

int lats_indefine(int fileid) {
  for (auto& f : files)
    if (f->id == fileid) return f->mode == 1;
  return 0;
}

// ---- calls -----------------------------------------------------------------------

int lats_parmtab(const char* path) {
  latsRoutine = "lats_parmtab";
  int ok = latsParmCreateTable(path);
  if (ok) latsParmTableCreated = 1;
  return ok;
}

int lats_create(const char* path, int convention, int calendar, int frequency, int delta,
                const char* center, const char* model, const char* comment) {
  latsRoutine = "lats_create";
  const std::string shown = replshownname(path ? path : "");
  if (convention < 1 || convention > 4) {
    latsError("LATS (lats) -->  Invalid file convention: %d", convention);
    return 0;
  }
  if (frequency < 1 || frequency > 8) {
    latsError("LATS (lats) -->  Invalid frequency: %d", frequency);
    return 0;
  }
  switch (calendar) {
    case LATS_STANDARD: case LATS_JULIAN: case LATS_NOLEAP: case LATS_360: case LATS_CLIM:
    case LATS_CLIMLEAP: case LATS_CLIM360: break;
    default:
      latsError("LATS (lats) -->  Invalid calendar: %d", calendar);
      return 0;
  }
  bool grib = convention == LATS_GRIB || convention == LATS_OMBRA_GRIB;
  if (convention == LATS_COARDS && calendar != LATS_STANDARD) {
    latsError("LATS (lats) -->  COARDS data must be written with the standard Gregorian calendar, file %s",
              shown.c_str());
    return 0;
  }
  if (grib && calendar != LATS_STANDARD && calendar != LATS_NOLEAP && calendar != LATS_CLIM &&
      calendar != LATS_CLIMLEAP) {
    latsError("LATS (lats) -->  OMBRA/GRIB data must be written with: 1) the standard Gregorian; 2) 365 "
              "day ; or 3) climatology calendar , file %s", shown.c_str());
    return 0;
  }
  if (frequency == LATS_FORECAST_HOURLY && calendar != LATS_STANDARD) {
    latsError("LATS (lats) -->  Forecast hourly data must written with the standard Gregorian calendar "
              "(LATS_STANDARD), file %s", shown.c_str());
    return 0;
  }
  if (convention == LATS_OMBRA_GRIB && delta < 1) {
    latsError("LATS (lats) -->  OMBRA_GRIB data must be written with nonzero delta, file %s", shown.c_str());
    return 0;
  }
  auto f = std::make_unique<latsFile>();
  f->monthlyflag = frequency == LATS_MONTHLY;
  if (frequency == LATS_WEEKLY) {
    frequency = LATS_DAILY;
    delta *= 7;
  } else if (frequency == LATS_MONTHLY_TABLE_COMP) {
    frequency = LATS_MONTHLY;
  }
  std::string p = latsTrimStr(path ? path : "");
  if (p.size() > 251) p.resize(251);
  const char* ext = grib ? ".grb" : ".nc";
  if (!endswith(p, ext)) p += ext;
  f->path = p;
  f->convention = convention;
  f->calendar = calendar;
  f->frequency = frequency;
  f->delta = delta;
  f->format = grib ? 2 : 1;
  f->center = std::string(center ? center : "").substr(0, 255);
  f->model = std::string(model ? model : "").substr(0, 255);
  f->comment = std::string(comment ? comment : "").substr(0, 255);
  if (!ensuretable()) return 0;
  if (grib) {
    std::string key(f->center);
    const latsCenter* c = latsCenterLookup(key.c_str());
    if (!c) {
      latsError("LATS (lats) -->  Center not found in center table: %s, file %s", f->center.c_str(),
                replshownname(f->path).c_str());
      return 0;
    }
    f->gribproc = c->gribProcess;
    f->gribcenter = c->gribCenter;
    f->gribsubcenter = c->gribSubcenter;
  }
  f->id = nextfileid++;
  f->mode = 1;
  // Every end of the session finishes the files, from their part files'
  // making on.
  omendpart(END_LATS, {closeall, latssigend});
  // A file whose format could not be opened is not kept: no later call may
  // find it and write through a missing handle.
  int ok = grib ? latsCreateGrib(f.get()) : latsCreateNc(f.get());
  if (!ok) return 0;
  int id = f->id;
  files.push_front(std::move(f));
  return id;
}

int lats_basetime(int fileid, int year, int month, int day, int hour) {
  latsRoutine = "lats_basetime";
  latsFile* f = latsFileLookup(fileid);
  if (!f) return 0;
  if (f->mode != 1) {
    latsError("LATS (lats) --> lats_basetime calls must precede any lats_write call");
    return 0;
  }
  if (f->basetimeset) {
    latsError("LATS (lats) -->  Basetime must be set at most once before any data is written, file %s",
              replshownname(f->path).c_str());
    return 0;
  }
  return setbasetime(f, year, month, day, hour) && settle(f);
}

int lats_vert_dim(const char* name, const char* levtype, int nlev, const double* levs) {
  latsRoutine = "lats_vert_dim";
  if (!ensuretable()) return 0;
  const latsVertType* vt = latsVertTypeLookup(levtype);
  if (!vt) {
    latsVertTypeList();
    latsError("LATS (lats) -->  Vertical dimension type not found: %s, vertical dimension %s", levtype, name);
    return 0;
  }
  if (nlev <= 0) {
    latsError("LATS (lats) -->  Vertical dimension: %s, length: %d, must be positive", name, nlev);
    return 0;
  }
  if (!monotonic(levs, nlev)) {
    latsError("LATS (lats) -->  Vertical dimension: %s: must be strictly monotonic, increasing or decreasing", name);
    return 0;
  }
  auto vd = std::make_unique<latsVertDim>();
  vd->name = std::string(name).substr(0, 127);
  vd->levs.assign(levs, levs + nlev);
  vd->type = *vt;
  if (nlev == 1) {
    vd->delta = levs[0] == 0 ? 0.1 : 0.1 * std::fabs(levs[0]);
  } else {
    double m = std::fabs(levs[1] - levs[0]);
    for (int i = 2; i < nlev; i++) m = std::min(m, std::fabs(levs[i] - levs[i - 1]));
    vd->delta = 0.1 * m;
  }
  vd->id = nextvertid++;
  int id = vd->id;
  vertdims.push_back(std::move(vd));
  return id;
}

int lats_grid(const char* name, int gridtype, int nlon, const double* lons, int nlat,
              const double* lats) {
  latsRoutine = "lats_grid";
  if (gridtype < 1 || gridtype > 3) {
    latsError("LATS (lats) -->  Invalid grid type: %d, grid %s", gridtype, name);
    return 0;
  }
  if (nlon <= 0 || nlat <= 0) {
    latsError("LATS (lats) -->  Number of longitudes: %d, and number of latitudes: %d must be positive, grid %s",
              nlon, nlat, name);
    return 0;
  }
  if (!monotonic(lons, nlon) || !monotonic(lats, nlat)) {
    latsError("LATS (lats) -->  Longitude and latitude vectors must be monotonic, grid %s", name);
    return 0;
  }
  if (std::fabs(lons[nlon - 1] - lons[0]) >= 360.0) {
    latsError("LATS (lats) -->  Longitude vector must not wrap around, grid %s", name);
    return 0;
  }
  if (lats[0] < -90 || lats[0] > 90 || lats[nlat - 1] < -90 || lats[nlat - 1] > 90) {
    latsError("LATS (lats) -->  Latitude values must be in the range -90 to 90");
    return 0;
  }
  for (auto& g : grids) {
    if (g->name == name) {
      latsError("LATS (latsint) --> Duplicate grid name: %s", name);
      return 0;
    }
  }
  if ((int)grids.size() >= LATS_MAX_GRIDS) {
    latsError("LATS (latsint) --> Max number of grids: %d, exceeded, grid %s", LATS_MAX_GRIDS, name);
    return 0;
  }
  auto g = std::make_unique<latsGrid>();
  g->name = std::string(name).substr(0, 127);
  g->type = gridtype;
  g->lons.assign(lons, lons + nlon);
  g->lats.assign(lats, lats + nlat);
  gridweights(g.get());
  g->id = (int)grids.size() + 1;
  grids.push_back(std::move(g));
  return grids.back()->id;
}

int lats_var(int fileid, const char* name, int datatype, int tstat, int gridid, int levid,
             const char* comment) {
  latsRoutine = "lats_var";
  latsFile* f = latsFileLookup(fileid);
  if (!f) return 0;
  const latsParmEntry* p = latsParmLookup(name);
  if (!p) {
    latsError("LATS (lats) -->  Variable %s: not in the variable table, file ID %d", name, fileid);
    return 0;
  }
  if (datatype != LATS_FLOAT && datatype != LATS_INT) {
    latsError("LATS (lats) -->  Datatype: %d, must be LATS_FLOAT or LATS_INT, file %d, var %s", datatype,
              fileid, name);
    return 0;
  }
  if (datatype != p->datatype) {
    latsError("LATS (lats) -->  Variable %s, file ID %d: datatype %s does not match predefined datatype",
              name, fileid, datatype == LATS_FLOAT ? "LATS_FLOAT" : "LATS_INT");
    return 0;
  }
  if (p->gribParm < 1 || p->gribParm > 255) {
    latsError("LATS (lats) -->  Variable %s, file ID %d: GRIB parameter id %d is invalid, must be >1 and < 255",
              name, fileid, p->gribParm);
    return 0;
  }
  for (auto& v : f->vars) {
    if (v->name == name) {
      latsError("LATS (latsint) --> Variable already defined: %s, file %s", name, replshownname(f->path).c_str());
      return 0;
    }
  }
  if (f->mode != 1) {
    latsError("LATS (lats) -->  lats_var calls MUST PRECEDE ANY lats_write call");
    return 0;
  }
  auto v = std::make_unique<latsVar>();
  v->name = name;
  v->comment = std::string(comment ? comment : "").substr(0, 255);
  v->parm = *p;
  v->tstat = tstat;
  if (f->monthlyflag) {
    v->scale = -999;
    v->precision = 16;
  } else {
    v->scale = p->gribScale;
    v->precision = p->precision;
  }
  if (f->frequency != LATS_FIXED && (tstat < 1 || tstat > 4)) {
    latsError("LATS (lats) -->  Time statistic: %d must be LATS_AVERAGE, LATS_INSTANT, or LATS_ACCUM, file %d, var %s",
              tstat, fileid, name);
    return 0;
  }
  if (isgrib(f) && !latsGribTimeRange(f, v.get())) {
    latsError("LATS (lats) -->  Time statistic not defined: frequency = %s, delta = %d, timestat = %s, for variable %s",
              freqname(f->frequency), f->delta, statname(tstat), name);
    return 0;
  }
  if (levid != 0 && !varvertdim(f, v.get(), levid)) return 0;
  if (v->parm.levelTypeSet && v->nlev > 1) {
    latsError("LATS (lats) -->  Variable %s, file ID %d: number of levels: %d, must be 0 or 1 for "
              "single-level (surface) variable", name, fileid, v->nlev);
    return 0;
  }
  latsGrid* g = gridlookup(gridid);
  if (!g) return 0;
  if (!filegrid(f, g)) return 0;
  v->grid = g;
  if (lats_qc) varqc(v.get());
  v->id = nextvarid++;
  int ok = isgrib(f) ? latsVarGrib(f, v.get()) : latsVarNc(f, v.get());
  if (!ok) return 0;
  f->vars.push_back(std::move(v));
  if (!settle(f)) return 0;
  return f->vars.back()->id;
}

int lats_miss_float(int fileid, int varid, float missing, float delta) {
  latsRoutine = "lats_miss_float";
  latsFile* f = latsFileLookup(fileid);
  if (!f) return 0;
  latsVar* v = latsVarLookup(f, varid);
  if (!v) return 0;
  if (f->mode != 1) {
    latsError("LATS (lats) -->  lats_miss_float calls must precede any lats_write call");
    return 0;
  }
  if (v->parm.datatype != LATS_FLOAT) {
    latsError("LATS (lats) -->  Missing data value for variable %s declared as float, but variable is not floating-point",
              v->name.c_str());
    return 0;
  }
  if (delta < 0) {
    latsError("LATS (lats) -->  Missing delta value = %f, must be nonnegative", delta);
    return 0;
  }
  v->hasmissing = 1;
  v->missing = missing;
  v->missdelta = delta;
  return 1;
}

int lats_miss_int(int fileid, int varid, int missing) {
  latsRoutine = "lats_miss_int";
  latsFile* f = latsFileLookup(fileid);
  if (!f) return 0;
  latsVar* v = latsVarLookup(f, varid);
  if (!v) return 0;
  if (f->mode != 1) {
    latsError("LATS (lats) -->  lats_miss_int calls must precede any lats_write call");
    return 0;
  }
  if (v->parm.datatype != LATS_INT) {
    latsError("LATS (lats) -->  Missing data value for variable %s declared as integer, but variable is not an integer",
              v->name.c_str());
    return 0;
  }
  v->hasmissing = 1;
  v->imissing = missing;
  v->missdelta = 0;
  return 1;
}

namespace {

// Time index of a write; -1 after its error.
int timeindex(latsFile* f, latsVar* v, int y, int m, int d, int h) {
  if (f->ntimewritten == 0) {
    if (f->frequency == LATS_FORECAST_HOURLY) {
      if (!f->basetimeset) {
        latsError("LATS (lats) --> lats_basetime must be called before writing data for LATS_FORECAST_HOURLY");
        return -1;
      }
    } else if (!f->basetimeset && !setbasetime(f, y, m, d, h)) {
      return -1;
    }
    return 0;
  }
  int c = latsTimeCmp(y, m, d, h, f->lastyear, f->lastmonth, f->lastday, f->lasthour);
  if (c == 0) return f->ntimewritten - 1;
  if (c < 0) {
    latsError("LATS (lats) -->  Variable(s) must be written in non-decreasing time order:\n"
              "   Last time written = %dZ %d %s %d\n   Current time = %dZ %d %s %d\n"
              "   File = %s, variable = %s",
              f->lasthour, f->lastday, monthname(f->lastmonth), f->lastyear, h, d, monthname(m), y,
              replshownname(f->path).c_str(), v->name.c_str());
    return -1;
  }
  if (f->delta > 0) {
    latsCompTime prev, now;
    prev.year = f->lastyear; prev.month = (short)f->lastmonth; prev.day = (short)f->lastday;
    prev.hour = f->lasthour;
    now.year = y; now.month = (short)m; now.day = (short)d; now.hour = h;
    double pr, cr;
    if (!latsComp2Rel(f->calendar, prev, f->timeunits.c_str(), &pr) ||
        !latsComp2Rel(f->calendar, now, f->timeunits.c_str(), &cr))
      return -1;
    long step = (long)(cr - pr + 0.5);
    std::string units = f->timeunits;
    if (f->convention == LATS_OMBRA_GRIB && step != f->delta) {
      latsError("LATS (lats) -->  For Ombra convention, cannot skip timepoints; current time = %f %s, "
                "previous time = %f %s, delta = %d, file = %s, variable = %s",
                cr, units.c_str(), pr, units.c_str(), f->delta, replshownname(f->path).c_str(), v->name.c_str());
      return -1;
    }
    if (step % f->delta != 0) {
      latsError("LATS (lats) -->  Current time (%f %s) minus previous time (%f %s) not a multiple of "
                "delta (%d), file = %s, variable = %s",
                cr, units.c_str(), pr, units.c_str(), f->delta, replshownname(f->path).c_str(), v->name.c_str());
      return -1;
    }
    if (step > f->delta) v->timemissing = 1;
  }
  return f->ntimewritten;
}

}  // namespace

int lats_write(int fileid, int varid, double lev, int year, int month, int day, int hour,
               void* data) {
  latsRoutine = "lats_write";
  latsFile* f = latsFileLookup(fileid);
  if (!f) return 0;
  latsVar* v = latsVarLookup(f, varid);
  if (!v) return 0;
  if (!data) return 0;
  f->mode = 2;
  switch (f->frequency) {
    case LATS_DAILY: case LATS_WEEKLY: hour = 0; break;
    case LATS_MONTHLY: day = 1; hour = 0; break;
    case LATS_YEARLY: month = 1; day = 1; hour = 0; break;
    case LATS_FIXED: year = 1; month = 1; day = 1; hour = 0; break;
    default: break;
  }
  if (isgrib(f) && !(f->calendar & 0x1) && !(f->calendar & 0x10) && f->frequency != LATS_FIXED) year = 2;
  if (f->frequency == LATS_FORECAST_HOURLY) {
    if (hour < 0) {
      latsError("LATS (lats) -->  Invalid hour for LATS_FORECAST_HOURLY: %d, file %s, variable %s", hour,
                replshownname(f->path).c_str(), v->name.c_str());
      return 0;
    }
    if (!f->basetimeset) {
      latsError("LATS (lats) --> lats_basetime must be called before writing data for LATS_FORECAST_HOURLY");
      return 0;
    }
    f->fhour = hour;
    year = f->baseyear;
    month = f->basemonth;
    day = f->baseday;
    hour = f->basehour;
  } else {
    if (year <= 0) {
      latsError("LATS (lats) -->  \n  Invalid year: %d, file %s year <= 0 NOT Supported\n  if climatology use "
                "year 2 in lats_write", year, replshownname(f->path).c_str());
      return 0;
    }
    if (month < 1 || month > 12) {
      latsError("LATS (lats) -->  Invalid month: %d, file %s, variable %s", month, replshownname(f->path).c_str(), v->name.c_str());
      return 0;
    }
    if (day < 1 || day > 31) {
      latsError("LATS (lats) -->  Invalid day: %d, file %s, variable %s", day, replshownname(f->path).c_str(), v->name.c_str());
      return 0;
    }
    if (hour < 0 || hour > 23) {
      latsError("LATS (lats) -->  Invalid hour: %d, file %s, variable %s", hour, replshownname(f->path).c_str(), v->name.c_str());
      return 0;
    }
  }
  int tindex = timeindex(f, v, year, month, day, hour);
  if (tindex < 0) return 0;
  int levindex = -1;
  if (v->nlev > 0) {
    levindex = latsLevLookup(v, lev);
    if (levindex < 0) {
      latsError("LATS (lats) -->  Level not found: %f, file %s, variable %s", lev, replshownname(f->path).c_str(), v->name.c_str());
      return 0;
    }
  }
  if (tindex >= v->ntimewritten) {
    if (v->ntimewritten > 0 && v->nlev > 0 && v->nlevwrite < v->nlev)
      latsError("LATS (lats) -->  Warning, fewer levels written (%d) then declared, file %s, variable %s, "
                "time = %dZ %d %s %d: The output file may be unnecessarily large",
                v->nlevwrite, replshownname(f->path).c_str(), v->name.c_str(), f->lasthour, f->lastday,
                monthname(f->lastmonth), f->lastyear);
    v->nlevwrite = 0;
  } else if (v->nlevwrite >= std::max(v->nlev, 1)) {
    latsError("LATS (lats) -->  Warning, too many levels written (%d) than declared, file %s, variable %s, "
              "time = %dZ %d %s %d: Data may be overwritten or duplicated",
              v->nlevwrite + 1, replshownname(f->path).c_str(), v->name.c_str(), hour, day, monthname(month), year);
  }
  if (lats_qc && !latsStatVar(f, v, levindex < 0 ? 0 : levindex, year, month, day, hour, data)) {
    latsWarning("Quality control exception, variable %s, level %f, time %2dZ%d%s%d; see log file",
                v->name.c_str(), levindex < 0 ? 0.0 : lev, hour, day, monthname(month), year);
  }
  // The field, the counts and the file on disk change together: an ending
  // signal waits for all of them, so it never finds half a record.
  endhold hold;
  hold.hold();
  int ok = isgrib(f) ? latsWriteGrib(f, v, levindex, tindex, year, month, day, hour, data)
                     : latsWriteNc(f, v, levindex, tindex, year, month, day, hour, data);
  if (!ok) return 0;
  v->nlevwrite++;
  if (tindex == f->ntimewritten) {
    f->lastyear = year;
    f->lastmonth = month;
    f->lastday = day;
    f->lasthour = hour;
    f->ntimewritten = tindex + 1;
  }
  if (tindex >= v->ntimewritten) v->ntimewritten++;
  if (!settle(f)) {
    f->writesfailed++;
    return 0;
  }
  if (v->ntimewritten != f->ntimewritten)
    latsError("LATS (lats) -->  Warning: more times (%d) written to file %s than for variable %s (%d), "
              "time = %dZ %d %s %d", f->ntimewritten, replshownname(f->path).c_str(), v->name.c_str(), v->ntimewritten,
              hour, day, monthname(month), year);
  return 1;
}

int lats_close(int fileid) {
  latsRoutine = "lats_close";
  latsFile* f = latsFileLookup(fileid);
  if (!f) return 0;
  latsStatFile(f);
  int rc = isgrib(f) ? latsCloseGrib(f) : latsCloseNc(f);
  // The file is finished all the same (its descriptor and index describe
  // the records that are there), but it lacks fields it was given.
  if (f->writesfailed > 0) {
    latsError("LATS (lats) -->  %d write(s) to file %s failed: it holds only the records written",
              f->writesfailed, replshownname(f->path).c_str());
    rc = 0;
  }
  files.remove_if([f](const std::unique_ptr<latsFile>& p) { return p.get() == f; });
  return rc;
}

// ---- queries for the bridge --------------------------------------------------

int lats_filestate(int fileid) {
  for (auto& f : files)
    if (f->id == fileid) return f->mode;
  return 0;
}

long lats_varsize(int fileid, int varid) {
  for (auto& f : files) {
    if (f->id != fileid) continue;
    for (auto& v : f->vars)
      if (v->id == varid) return (long)(v->grid->lons.size() * v->grid->lats.size());
  }
  return 0;
}

void lats_miss_all(int fileid, float missing, float delta) {
  for (auto& f : files) {
    if (f->id != fileid) continue;
    std::vector<int> ids;
    for (auto& v : f->vars) ids.push_back(v->id);
    for (int id : ids) lats_miss_float(fileid, id, missing, delta);
  }
}
