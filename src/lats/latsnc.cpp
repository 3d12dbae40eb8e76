// The netCDF writer of the LATS output (the "LATS" and "COARDS"
// conventions): dimensions, coordinates, variables and attributes are
// defined until the first write, then coordinates, times and fields are
// put.
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/errout.h"
#include "base/endhold.h"
#include "base/useropen.h"
#include "lats/latsint.h"

namespace {

// Reports a failed library call with the library's own text; true when
// the call succeeded.
bool ok(int status) {
  if (status == NC_NOERR) return true;
  omerrf("netCDF: %s\n", nc_strerror(status));
  return false;
}

// Text attributes carry their terminating NUL, as readers of these files
// expect.
int puttext(int ncid, int varid, const char* name, const std::string& text) {
  return nc_put_att_text(ncid, varid, name, text.size() + 1, text.c_str());
}

const char* calname(int cal) {
  switch (cal) {
    case LATS_STANDARD: return "standard";
    case LATS_JULIAN: return "julian";
    case LATS_NOLEAP: return "noleap";
    case LATS_360: return "360";
    case LATS_CLIM: return "climatology";
    case LATS_CLIMLEAP: return "climatology_366";
    default: return "climatology_360";
  }
}

const char* gridtypename(int t) {
  return t == LATS_GAUSSIAN ? "gaussian" : t == LATS_LINEAR ? "linear" : "generic";
}

const char* statname(int s) {
  switch (s) {
    case LATS_AVERAGE: return "average";
    case LATS_INSTANT: return "instantaneous";
    case LATS_ACCUM: return "accumulation";
    default: return "other";
  }
}

const latsFileGrid* gridof(const latsFile* f, const latsGrid* g) {
  for (auto& fg : f->grids)
    if (fg.grid == g) return &fg;
  return nullptr;
}

const latsFileVert* vertof(const latsFile* f, const latsVertDim* vd) {
  for (auto& fv : f->vdims)
    if (fv.vd == vd) return &fv;
  return nullptr;
}

// First write of a file: the remaining attributes, end of define mode and
// the coordinate values.
bool enddefine(latsFile* f) {
  if (!ok(puttext(f->ncid, f->nctimevar, "units", f->nctimeunits))) {
    latsError("netCDF (latsnc) --> Writing netCDF time units attribute, file %s", replshownname(f->path).c_str());
    return false;
  }
  for (auto& v : f->vars) {
    if (!v->hasmissing) continue;
    int st = v->parm.datatype == LATS_INT
                 ? nc_put_att_int(f->ncid, v->ncvarid, "missing_value", NC_INT, 1, &v->imissing)
                 : nc_put_att_float(f->ncid, v->ncvarid, "missing_value", NC_FLOAT, 1, &v->missing);
    if (!ok(st)) {
      latsError("netCDF (latsnc) --> Writing missing data value, file %s, variable %s", replshownname(f->path).c_str(),
                v->name.c_str());
      return false;
    }
  }
  if (!ok(nc_enddef(f->ncid))) {
    latsError("netCDF (latsnc) --> Ending define mode for file %s", replshownname(f->path).c_str());
    return false;
  }
  f->ncmode = 2;
  for (auto& fg : f->grids) {
    if (!ok(nc_put_var_double(f->ncid, fg.lonvar, fg.grid->lons.data()))) {
      latsError("netCDF (latsnc) --> Writing longitude values, file %s", replshownname(f->path).c_str());
      return false;
    }
    if (!ok(nc_put_var_double(f->ncid, fg.latvar, fg.grid->lats.data()))) {
      latsError("netCDF (latsnc) --> Writing latitude values, file %s", replshownname(f->path).c_str());
      return false;
    }
  }
  for (auto& fv : f->vdims) {
    for (size_t i = 0; i < fv.vd->levs.size(); i++) {
      size_t at = i;
      if (!ok(nc_put_var1_double(f->ncid, fv.var, &at, &fv.vd->levs[i]))) {
        latsError("netCDF (latsnc) --> Writing vertical level %d, file %s", (int)i + 1, replshownname(f->path).c_str());
        return false;
      }
    }
  }
  return true;
}

// The library's buffer for the file, in bytes.  Every field is brought to
// disk as it is written (latsSettleNc): the field goes out and the block
// holding the record count is read and written again.  With the library's
// own 8 KB a field of 144x73 floats takes six writes of fill values and six
// of the values; 32 KB take two, and much larger blocks make the record
// count's block cost more than the field.  The bytes of the file are the
// same whatever the size.
constexpr size_t kChunkBytes = 32768;

// The file created and its time and global attributes defined; false after
// its error, with the library's file closed.
bool create(latsFile* f) {
  size_t chunk = kChunkBytes;
  if (!ok(nc__create(latsOutPath(f->out).c_str(), NC_CLOBBER, 0, &chunk, &f->ncid))) {
    latsError("netCDF (latsnc) --> Creating netCDF file %s", replshownname(f->path).c_str());
    return false;
  }
  f->ncmode = 1;
  if (!ok(nc_def_dim(f->ncid, "time", NC_UNLIMITED, &f->nctimedim))) {
    latsError("netCDF (latsnc) --> Creating netCDF time dimension, file %s", replshownname(f->path).c_str());
    nc_close(f->ncid);
    return false;
  }
  if (!ok(nc_def_var(f->ncid, "time", NC_DOUBLE, 1, &f->nctimedim, &f->nctimevar))) {
    latsError("netCDF (latsnc) --> Creating netCDF time variable, file %s", replshownname(f->path).c_str());
    nc_close(f->ncid);
    return false;
  }
  f->ncndims = 1;
  if (!ok(puttext(f->ncid, NC_GLOBAL, "Conventions", f->convention == LATS_COARDS ? "COARDS" : "LATS")) ||
      !ok(puttext(f->ncid, NC_GLOBAL, "calendar", calname(f->calendar))) ||
      !ok(puttext(f->ncid, NC_GLOBAL, "comments", f->comment)) ||
      !ok(puttext(f->ncid, NC_GLOBAL, "model", f->model)) ||
      !ok(puttext(f->ncid, NC_GLOBAL, "center", f->center))) {
    latsError("netCDF (latsnc) --> Writing netCDF file attribute, file %s", replshownname(f->path).c_str());
    nc_close(f->ncid);
    return false;
  }
  if (!latsSettleNc(f)) {
    nc_close(f->ncid);
    return false;
  }
  return true;
}

// Puts count at the head of the file fd, where a classic file keeps its
// record count: four bytes after the magic, eight in the 64-bit format.
bool putcount(int fd, long long count, bool wide) {
  unsigned char b[8];
  size_t n = wide ? 8 : 4;
  for (size_t i = 0; i < n; i++) b[i] = (unsigned char)(count >> (8 * (n - 1 - i)));
  return pwrite(fd, b, n, 4) == (ssize_t)n;
}

// After a write that failed, the file's record count is put back to the
// records settled before it, over whatever count the library wrote since
// (at a later sync or at its close): a count beyond the whole records
// would make a reader take the torn end for a field.  format is the
// library's format of the file.
void keepsettled(const latsFile* f, int format) {
  if (f->ncsettled < 0 || !f->out.regular) return;
  if (!putcount(f->out.fd, f->ncsettled, format == NC_FORMAT_CDF5))
    latsError("LATS (lats) -->  Cannot write %s: %s", replshownname(f->path).c_str(), strerror(errno));
}

// The same while the library holds the file open.
void keepsettled(const latsFile* f) {
  int format = NC_FORMAT_CLASSIC;
  nc_inq_format(f->ncid, &format);
  keepsettled(f, format);
}

// A netCDF file is written at offsets and read back as it is written: what
// stands at the name and is no regular file is refused with why, and
// stays.  A FIFO or a socket is refused before it is opened, never waited
// on; a device too, which the open itself may act on.
bool refused(const latsFile* f, const struct stat& sb) {
  const char* why = S_ISFIFO(sb.st_mode) || S_ISSOCK(sb.st_mode) ? strerror(ESPIPE)
                    : S_ISCHR(sb.st_mode) || S_ISBLK(sb.st_mode)   ? omopenwhy(ESPIPE)
                                                                   : nullptr;
  if (!why) return false;
  latsError("LATS (lats) -->  Cannot write %s: %s", replshownname(f->path).c_str(), why);
  latsError("netCDF (latsnc) --> Creating netCDF file %s", replshownname(f->path).c_str());
  return true;
}

}  // namespace

// The file is written under a part name (opened by the library through the
// part's descriptor) and put in place at close: an older file of the name
// is neither emptied nor, when the create fails, removed.
int latsCreateNc(latsFile* f) {
  struct stat sb;
  if (stat(f->path.c_str(), &sb) == 0 && refused(f, sb)) return 0;
  endhold hold;
  if (!latsOutOpen(&f->out, f->path, &hold)) {
    latsError("netCDF (latsnc) --> Creating netCDF file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!create(f)) {
    f->ncid = -1;
    latsOutDiscard(f);
    return 0;
  }
  latsOutPublish(f);
  return f->id;
}

// Whole on disk after every step, with no call the ending handler would
// need: in define mode the header is written (the definitions end and
// begin again), in data mode the header and record count are synced.
// Until a write fails, the count the settle brought to disk is the one to
// keep; after that, the one kept then is put back.
int latsSettleNc(latsFile* f) {
  bool done = f->ncmode == 1 ? ok(nc_enddef(f->ncid)) && ok(nc_redef(f->ncid)) : ok(nc_sync(f->ncid));
  if (!done) latsError("netCDF (latsnc) --> Writing netCDF file %s to disk", replshownname(f->path).c_str());
  size_t settled = 0;
  if (done && f->writesfailed == 0 && nc_inq_dimlen(f->ncid, f->nctimedim, &settled) == NC_NOERR)
    f->ncsettled = (long long)settled;
  else
    keepsettled(f);
  return done;
}

int latsGridNc(latsFile* f, latsFileGrid* g) {
  if (f->ncmode != 1) {
    latsError("netCDF (latsnc) --> lats_grid calls must precede any lats_write call");
    return 0;
  }
  bool first = f->grids.size() == 1;
  std::string lon = first ? "longitude" : "longitude_" + g->grid->name;
  std::string lat = first ? "latitude" : "latitude_" + g->grid->name;
  if (!ok(nc_def_dim(f->ncid, lon.c_str(), g->grid->lons.size(), &g->londim))) {
    latsError("netCDF (latsnc) --> Creating netCDF longitude dimension, file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!ok(nc_def_var(f->ncid, lon.c_str(), NC_DOUBLE, 1, &g->londim, &g->lonvar))) {
    latsError("netCDF (latsnc) --> Creating netCDF longitude variable, file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!ok(nc_def_dim(f->ncid, lat.c_str(), g->grid->lats.size(), &g->latdim))) {
    latsError("netCDF (latsnc) --> Creating netCDF latitude dimension, file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!ok(nc_def_var(f->ncid, lat.c_str(), NC_DOUBLE, 1, &g->latdim, &g->latvar))) {
    latsError("netCDF (latsnc) --> Creating netCDF latitude variable, file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!ok(puttext(f->ncid, g->lonvar, "units", "degrees_east")) ||
      !ok(puttext(f->ncid, g->lonvar, "long_name", "Longitude")) ||
      !ok(puttext(f->ncid, g->latvar, "units", "degrees_north")) ||
      !ok(puttext(f->ncid, g->latvar, "long_name", "Latitude"))) {
    latsError("netCDF (latsnc) --> Writing netCDF grid attribute, file %s", replshownname(f->path).c_str());
    return 0;
  }
  f->ncndims += 2;
  return 1;
}

int latsVertDimNc(latsFile* f, latsFileVert* v) {
  if (f->ncmode != 1) {
    latsError("netCDF (latsnc) --> lats_vert_dim calls must precede any lats_write call");
    return 0;
  }
  if (f->ncndims >= LATS_MAX_VERTDIMS) {
    latsError("netCDF (latsnc) --> Too many vertical dimensions defined, maximum of %d, file %s",
              LATS_MAX_VERTDIMS, replshownname(f->path).c_str());
    return 0;
  }
  const latsVertDim* vd = v->vd;
  if (!ok(nc_def_dim(f->ncid, vd->name.c_str(), vd->levs.size(), &v->dim))) {
    latsError("netCDF (latsnc) --> Creating vertical dimension, file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!ok(nc_def_var(f->ncid, vd->name.c_str(), NC_DOUBLE, 1, &v->dim, &v->var))) {
    latsError("netCDF (latsnc) --> Creating vertical dimension variable, file %s", replshownname(f->path).c_str());
    return 0;
  }
  if (!ok(puttext(f->ncid, v->var, "units", vd->type.units))) {
    latsError("netCDF (latsnc) --> Writing vertical dimension attribute, file %s, dimension %s",
              replshownname(f->path).c_str(), vd->name.c_str());
    return 0;
  }
  if (!ok(puttext(f->ncid, v->var, "description", vd->type.descrip))) {
    latsError("netCDF (latsnc) --> Writing vertical dimension description, file %s, dimension %s",
              replshownname(f->path).c_str(), vd->name.c_str());
    return 0;
  }
  if (!ok(puttext(f->ncid, v->var, "type", vd->type.name)) ||
      !ok(puttext(f->ncid, v->var, "long_name", "Level")) ||
      !ok(puttext(f->ncid, v->var, "positive", vd->type.positive == 2 ? "down" : "up"))) {
    latsError("netCDF (latsnc) --> Writing vertical dimension type attribute, file %s, dimension %s",
              replshownname(f->path).c_str(), vd->name.c_str());
    return 0;
  }
  f->ncndims++;
  return (int)f->vdims.size();
}

int latsVarNc(latsFile* f, latsVar* v) {
  if (f->ncmode != 1) {
    latsError("netCDF (latsnc) --> lats_var calls must precede any lats_write call");
    return 0;
  }
  const latsFileGrid* g = gridof(f, v->grid);
  int dims[4];
  int nd = 0;
  dims[nd++] = f->nctimedim;
  if (v->vertdim) dims[nd++] = vertof(f, v->vertdim)->dim;
  dims[nd++] = g->latdim;
  dims[nd++] = g->londim;
  nc_type type = v->parm.datatype == LATS_INT ? NC_INT : NC_FLOAT;
  if (!ok(nc_def_var(f->ncid, v->name.c_str(), type, nd, dims, &v->ncvarid))) {
    latsError("netCDF (latsnc) --> Defining variable %s, file %s", v->name.c_str(), replshownname(f->path).c_str());
    return 0;
  }
  if (!ok(puttext(f->ncid, v->ncvarid, "comments", v->comment)) ||
      !ok(puttext(f->ncid, v->ncvarid, "long_name", v->parm.title)) ||
      !ok(puttext(f->ncid, v->ncvarid, "units", v->parm.units)) ||
      !ok(puttext(f->ncid, v->ncvarid, "grid_name", v->grid->name)) ||
      !ok(puttext(f->ncid, v->ncvarid, "grid_type", gridtypename(v->grid->type)))) {
    latsError("netCDF (latsnc) --> Writing netCDF file attribute, file %s, var %s", replshownname(f->path).c_str(),
              v->name.c_str());
    return 0;
  }
  if (!v->vertdim && v->parm.levelTypeSet && v->parm.hasVertType &&
      !ok(puttext(f->ncid, v->ncvarid, "level_description", v->parm.vertType.descrip))) {
    latsError("netCDF (latsnc) --> Writing netCDF file level description, file %s, var %s", replshownname(f->path).c_str(),
              v->name.c_str());
    return 0;
  }
  if (!ok(puttext(f->ncid, v->ncvarid, "time_statistic", statname(v->tstat)))) {
    latsError("netCDF (latsnc) --> Writing netCDF file attribute, file %s, var %s", replshownname(f->path).c_str(),
              v->name.c_str());
    return 0;
  }
  return v->id;
}

int latsWriteNc(latsFile* f, latsVar* v, int levindex, int timeindex, int y, int m, int d, int h, void* data) {
  if (f->ncmode == 1 && !enddefine(f)) return 0;
  if (timeindex == f->ntimewritten) {
    latsCompTime ct;
    ct.year = y;
    ct.month = (short)m;
    ct.day = (short)d;
    ct.hour = h;
    double t;
    if (!latsComp2Rel(f->calendar, ct, f->nctimeunits.c_str(), &t)) return 0;
    size_t at = (size_t)timeindex;
    if (!ok(nc_put_var1_double(f->ncid, f->nctimevar, &at, &t))) {
      f->writesfailed++;
      keepsettled(f);
      latsError("netCDF (latsnc) --> Writing time value %ld (index %d)", (long)t, timeindex);
      return 0;
    }
  }
  size_t start[4], count[4];
  int nd = 0;
  start[nd] = (size_t)timeindex, count[nd++] = 1;
  if (v->vertdim) start[nd] = (size_t)levindex, count[nd++] = 1;
  start[nd] = 0, count[nd++] = v->grid->lats.size();
  start[nd] = 0, count[nd++] = v->grid->lons.size();
  int st = v->parm.datatype == LATS_INT
               ? nc_put_vara_int(f->ncid, v->ncvarid, start, count, static_cast<const int*>(data))
               : nc_put_vara_float(f->ncid, v->ncvarid, start, count, static_cast<const float*>(data));
  if (!ok(st)) {
    f->writesfailed++;
    keepsettled(f);
    latsError("netCDF (latsnc) --> Writing data for file %s, var %s", replshownname(f->path).c_str(), v->name.c_str());
    if (v->vertdim)
      latsError("netCDF (latsnc) -->    Level = %f (index %d)", v->vertdim->levs[levindex], levindex);
    latsError("netCDF (latsnc) -->    Time = %dZ %d %s %d", h, d, m >= 1 && m <= 12 ? latsMonthNames[m - 1] : "???", y);
    return 0;
  }
  return 1;
}

// A file with a write that failed, or that the library could not close,
// holds the fields of every write that was settled before the first
// failure (keepsettled), and takes its name as any other.
int latsCloseNc(latsFile* f) {
  int format = NC_FORMAT_CLASSIC;
  nc_inq_format(f->ncid, &format);
  int closed = ok(nc_close(f->ncid));
  f->ncid = -1;
  if (!closed) {
    latsError("netCDF (latsnc) --> Closing netCDF file %s", replshownname(f->path).c_str());
    if (f->writesfailed == 0) f->writesfailed = 1;
  }
  if (f->writesfailed > 0) keepsettled(f, format);
  return latsOutCommit(f) && closed;
}

void latsDropNc(latsFile* f) {
  if (f->ncid >= 0) nc_close(f->ncid);
  f->ncid = -1;
}
