// Opening a netCDF or HDF file as a data set: the sdfopen command and the
// builder of the data-file record shared with xdfopen.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "base/words.h"
#include "data/axisconv.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "sdf/sdfint.h"

namespace {

// The first value of an attribute of the variable's own type, as raw bytes.
bool own_type_att(const var_info* v, const char* name, unsigned char out[8]) {
  const netcdf_att* a = find_att(v->atts, name);
  if (a == nullptr || a->nctype != v->nctype || a->count < 1) return false;
  int sz = type_size(a->nctype);
  if (sz == 0 || a->values.size() < static_cast<size_t>(sz)) return false;
  std::memcpy(out, a->values.data(), static_cast<size_t>(sz));
  return true;
}

// The data set's undef from the first data variable's attributes.  A short
// attribute stands for packed data, whose missing value is no float undef.
float dataset_undef(const var_info* v) {
  for (const char* name : {"missing_value", "_FillValue"}) {
    const netcdf_att* a = find_att(v->atts, name);
    if (a == nullptr) continue;
    if (a->nctype == SDF_SHORT) return -9.96921e36f;
    double d = 0;
    if (a->count >= 1 && value_as_double(a->values.data(), a->nctype, 0, &d) &&
        std::fabs(d) <= 3.4e38)
      return static_cast<float>(d);
    break;
  }
  return 9.96921e36f;
}

void set_band(datafile* pfi) {
  float u = pfi->undef;
  pfi->ulow = u - std::fabs(u / 100000.0f);
  pfi->uhi = u + std::fabs(u / 100000.0f);
}

std::string var_description(const var_info* v) {
  std::string d = att_text(v->atts, "long_name");
  if (d.empty()) d = att_text(v->atts, "title");
  if (d.size() > 79) d.resize(79);
  return d;
}

// A name cut to 15 characters that another variable already holds gets a
// numeric ending instead.
std::string unique_name(const std::string& want, const std::vector<filevar>& table, int self) {
  auto taken = [&](const std::string& n) {
    for (size_t k = 0; k < table.size(); k++)
      if (static_cast<int>(k) != self && table[k].abbrv == n) return true;
    return false;
  };
  if (!taken(want)) return want;
  for (int k = 1; k < 100000; k++) {
    std::string suf = std::to_string(k);
    std::string n = want.substr(0, 15 - suf.size()) + suf;
    if (!taken(n)) return n;
  }
  return want;
}

int define_x_y(datafile* pfi, io_std* io, var_info* xv, var_info* yv, const sdfparms* p) {
  if (p->defaxis[0]) {
    std::vector<double> vals;
    pfi->dnum[0] = dim_length(io, xv->dimids[0]);
    if (pfi->dnum[0] < 0 || !coord_values(io, xv, &vals) || vals.empty()) {
      omprnt(0, "Failure checking X coordinate of SDF file.\n");
      return 1;
    }
    // Longitudes stored westward are read in reverse; taken as they stand,
    // the wrap test would make each westward step a step of nearly 360.
    pfi->xrflg = falling_longitudes(vals) ? 1 : 0;
    const bool rev = pfi->xrflg != 0;
    sdfaxis ax;
    int rc = trydeflin(vals, true, rev, &ax);
    if (rc < 0) {
      omprnt(0, "Error evaluating X coordinate of SDF file.\n");
      return 1;
    }
    if (rc == 0 && sdfdeflev(vals, rev, &ax) != 0) {
      omprnt(0, "Failure defining X levels for SDF file.\n");
      return 1;
    }
    if (!install_axis(pfi, 0, ax)) {
      omprnt(0, "Error evaluating X coordinate of SDF file.\n");
      return 1;
    }
    pfi->wrap = ax.wraps;
  }
  if (p->defaxis[1]) {
    std::vector<double> vals;
    pfi->dnum[1] = dim_length(io, yv->dimids[0]);
    if (pfi->dnum[1] < 0 || !coord_values(io, yv, &vals) || vals.empty()) {
      omprnt(0, "Failure checking Y coordinate of SDF file.\n");
      return 1;
    }
    pfi->yrflg = (vals.size() >= 2 && vals[1] < vals[0]) ? 1 : 0;
    sdfaxis ax;
    int rc = trydeflin(vals, false, pfi->yrflg != 0, &ax);
    if (rc < 0) {
      omprnt(0, "Error evaluating Y coordinate of SDF file.\n");
      return 1;
    }
    if ((rc == 0 && sdfdeflev(vals, pfi->yrflg != 0, &ax) != 0) || !install_axis(pfi, 1, ax)) {
      omprnt(0, "Failure defining levels for Y coordinate for SDF file.\n");
      return 1;
    }
  }
  return 0;
}

int define_z(datafile* pfi, io_std* io, var_info* zv) {
  sdfaxis ax;
  if (zv == nullptr) {
    pfi->dnum[2] = 1;
    ax.linear = 1;
    ax.conv = {0, 0, -999.9f, 1, 1, -999.9f};
    if (!install_axis(pfi, 2, ax)) {
      omprnt(0, "Error evaluating fixed Z coordinate in SDF file.\n");
      return 1;
    }
    return 0;
  }
  pfi->zrflg = 0;
  std::vector<double> vals;
  pfi->dnum[2] = dim_length(io, zv->dimids[0]);
  if (pfi->dnum[2] < 0 || !coord_values(io, zv, &vals) || vals.empty()) {
    omprnt(0, "Failure checking Z coordinate of SDF file.\n");
    return 1;
  }
  if (vals.size() == 1) {
    float v0 = static_cast<float>(vals[0]);
    ax.linear = 1;
    ax.conv = {1, v0 - 1, -999.9f, 1, 1 - v0, -999.9f};
    if (!install_axis(pfi, 2, ax)) {
      omprnt(0, "Error evaluating solo Z coordinate in SDF file.\n");
      return 1;
    }
    return 0;
  }
  if (find_att(zv->atts, "positive") != nullptr) {
    std::string pos = att_text(zv->atts, "positive");
    bool below = vals[0] < vals[1];
    if (pos.compare(0, 4, "down") == 0)
      pfi->zrflg = below ? 1 : 0;
    else
      pfi->zrflg = below ? 0 : 1;
  }
  if (sdfdeflev(vals, pfi->zrflg != 0, &ax) != 0 || !install_axis(pfi, 2, ax)) {
    omprnt(0, "Couldn't define Z-axis usinng LEVELS method.\n");
    return 1;
  }
  return 0;
}

// Looks up the coordinate variables and dimensions; 1 on failure.
struct coords {
  var_info* v[4] = {nullptr, nullptr, nullptr, nullptr};  // X Y Z T
  int dim[4] = {-1, -1, -1, -1};
};

int find_coords(io_std* io, const sdfparms* p, coords* c) {
  static const char* const nodiscern[2] = {"SDF file has no discernable X coordinate.\n",
                                           "SDF file has no discernable Y coordinate.\n"};
  static const char* const nocoord[4] = {"XDF file has no coordinate variable for X dimension.\n",
                                         "XDF file has no coordinate variable for Y dimension.\n",
                                         "XDF file has no coordinate variable for Z dimension.\n",
                                         "XDF file has no coordinate variable for T dimension.\n"};
  for (int d = 0; d < 2; d++) {
    if (p->findvar[d]) {
      int ok = d == 0 ? findX(io, &c->v[0]) : findY(io, &c->v[1]);
      if (!ok) {
        omprnt(0, nodiscern[d]);
        return 1;
      }
    } else if (p->defaxis[d]) {
      c->v[d] = find_var(io, p->dimnames[d].c_str());
      if (c->v[d] == nullptr || c->v[d]->ndims != 1) {
        omprnt(0, nocoord[d]);
        return 1;
      }
    }
  }
  if (p->findvar[3]) {
    if (!findT(io, &c->v[3])) omprnt(0, "SDF file has no discernable time coordinate.\n");
  } else if (p->defaxis[3]) {
    if (p->dimnames[3].empty()) {
      omprnt(0, "XDF file has no time dimension, but TDEF is incomplete.\n");
      omprnt(0, "Failure parsing XDF-style data descriptor file (DDF).\n");
      return 1;
    }
    c->v[3] = find_var(io, p->dimnames[3].c_str());
    if (c->v[3] == nullptr || c->v[3]->ndims != 1) {
      omprnt(0, nocoord[3]);
      return 1;
    }
  }
  if (p->findvar[2]) {
    if (findZ(io, &c->v[2]) == 9999) c->v[2] = nullptr;
  } else if (p->defaxis[2]) {
    c->v[2] = find_var(io, p->dimnames[2].c_str());
    if (c->v[2] == nullptr || c->v[2]->ndims != 1) {
      omprnt(0, nocoord[2]);
      return 1;
    }
  }
  for (int d = 0; d < 4; d++) {
    if (c->v[d] != nullptr)
      c->dim[d] = c->v[d]->dimids[0];
    else if (!p->dimnames[d].empty())
      c->dim[d] = find_dim(io, p->dimnames[d].c_str());
  }
  return 0;
}

// A descriptor's dimension names must be dimensions of the file.
int check_named_dims(io_std* io, const sdfparms* p, const coords* c) {
  static const char* const what[4][2] = {
      {"Alleged X dimension (from XDEF) is not an SDF dimension.  Cannot continue.\n",
       "X dimension name is:\n"},
      {"Alleged Y dimension (from YDEF) is not an SDF dimension.  Cannot continue.\n",
       "Y dimension name is:\n"},
      {"Alleged level dimension (from ZDEF) is not an SDF dimension.  Cannot continue.\n",
       "Level dimension name is:\n"},
      {"Alleged time dimension (from TDEF) is not an SDF dimension.  Cannot continue.\n",
       "Time dimension name is:\n"}};
  int bad = 0;
  for (int d = 3; d >= 0; d--) {
    if (p->findvar[d] || p->dimnames[d].empty() || c->v[d] != nullptr) continue;
    if (find_dim(io, p->dimnames[d].c_str()) < 0) {
      omprnt(0, what[d][0]);
      omprnt(0, what[d][1]);
      omprntf(0, "%s\n.\n", p->dimnames[d].c_str());
      bad = 1;
    }
  }
  return bad;
}

void set_positions(var_info* v, const coords* c) {
  // T Z Y X order in the variable record.
  int ids[4] = {c->dim[3], c->dim[2], c->dim[1], c->dim[0]};
  for (int k = 0; k < 4; k++) {
    v->tzyx_ids[k] = ids[k];
    v->tzyx_pos[k] = ids[k] >= 0 ? find_dimix(v->dimids, ids[k]) : -1;
  }
}

}  // namespace

void doparms4sdf(sdfparms* p) { *p = sdfparms(); }

int install_axis(datafile* pfi, int d, const sdfaxis& ax) {
  if (ax.conv.empty()) return 0;
  float* block = static_cast<float*>(std::malloc(ax.conv.size() * sizeof(float)));
  if (block == nullptr) return 0;
  std::memcpy(block, ax.conv.data(), ax.conv.size() * sizeof(float));
  std::free(pfi->grvals[d]);
  pfi->grvals[d] = block;
  if (ax.linear) {
    pfi->abvals[d] = block + 3;
    pfi->gr2ab[d] = liconv;
    pfi->ab2gr[d] = liconv;
    pfi->linear[d] = 1;
  } else {
    pfi->abvals[d] = block;
    pfi->gr2ab[d] = gr2lev;
    pfi->ab2gr[d] = lev2gr;
    pfi->linear[d] = 0;
  }
  return 1;
}

int time_axis_fits(const float conv[8], int n) {
  datetime start = {static_cast<int>(conv[0]), static_cast<int>(conv[1]), static_cast<int>(conv[2]),
                    static_cast<int>(conv[3]), static_cast<int>(conv[4])};
  return taxfits(&start, static_cast<long>(conv[5]), static_cast<long>(conv[6]), n) ? 1 : 0;
}

int install_time(datafile* pfi, const float conv[8]) {
  float* block = static_cast<float*>(std::malloc(8 * sizeof(float)));
  if (block == nullptr) return 0;
  std::memcpy(block, conv, 8 * sizeof(float));
  std::free(pfi->grvals[3]);
  pfi->grvals[3] = block;
  pfi->abvals[3] = block;
  pfi->gr2ab[3] = nullptr;
  pfi->ab2gr[3] = nullptr;
  pfi->linear[3] = 1;
  return 1;
}

void set_var_undef(var_info* v, const datafile* pfi, int ddf_undef) {
  v->has_undef = false;
  std::memset(v->undef.raw, 0, sizeof v->undef.raw);
  if (ddf_undef) {
    v->undef.f = pfi->undef;
    v->has_undef = true;
    return;
  }
  if (own_type_att(v, "missing_value", v->undef.raw) || own_type_att(v, "_FillValue", v->undef.raw)) {
    v->has_undef = true;
    return;
  }
  v->has_undef = true;
  switch (v->nctype) {
    case SDF_BYTE: v->undef.b = -127; break;
    case SDF_SHORT: v->undef.s = -32767; break;
    case SDF_LONG: v->undef.l = -2147483647; break;
    case SDF_FLOAT: v->undef.f = 9.96921e36f; break;
    case SDF_DOUBLE: v->undef.d = 9.969209968386869e36; break;
    case SDF_UBYTE: v->undef.raw[0] = 255; break;
    case SDF_USHORT: { unsigned short u = 65535; std::memcpy(v->undef.raw, &u, 2); break; }
    case SDF_UINT: { unsigned int u = 4294967295u; std::memcpy(v->undef.raw, &u, 4); break; }
    case SDF_INT64: { long long u = -9223372036854775806LL; std::memcpy(v->undef.raw, &u, 8); break; }
    case SDF_UINT64: { unsigned long long u = 18446744073709551614ULL; std::memcpy(v->undef.raw, &u, 8); break; }
    default: v->has_undef = false; break;
  }
}

int fix_calendar(datafile* pfi, bool xdf, const cmnstate* pcm) {
  int mine = pfi->calendar ? 1 : 0;
  // With no file open the calendar is free to be fixed again.
  if ((mfcmn.mfcal != 0 && mfcmn.mfcal != 1) || pcm->filecount == 0) {
    mfcmn.mfcal = mine;
    return 1;
  }
  if (mfcmn.mfcal == mine) return 1;
  int lvl = xdf ? 0 : 1;
  omprnt(lvl, "Attempt to change the global calendar...\n");
  if (mfcmn.mfcal == 1)
    omprnt(lvl, "The calendar is NOW 365 DAYS and you attempted to open a standard calendar file\n");
  else
    omprnt(lvl, "The calendar is NOW STANDARD and you attempted to open a 365-day calendar file\n");
  return xdf ? 0 : 1;
}

namespace {

int build_record(const char* name, datafile* pfi, const std::string& templ, int ntimes,
                 sdfparms* p);

}  // namespace

int omdsdf(const char* name, datafile* pfi, const std::string& templ, int ntimes,
           sdfparms* p) {
  // Sizes come from the file (dimension lengths, attribute counts); one
  // that memory cannot hold fails the open instead of ending the program.
  try {
    return build_record(name, pfi, templ, ntimes, p);
  } catch (const std::bad_alloc&) {
    omprnt(0, "SDFOPEN error:  Memory allocation error.\n");
    return 1;
  }
}

namespace {

int build_record(const char* name, datafile* pfi, const std::string& templ, int ntimes,
                 sdfparms* p) {
  if (!sdf_units_init()) return 1;
  io_std* io = pfi->sdf;
  sdf_bind(pfi);
  if (io == nullptr && !init_io_std(&pfi->sdf)) return 1;
  io = pfi->sdf;
  if (!read_io_std(name, io)) {
    omprnt(0, "\nCouldn't ingest SDF metadata.\n");
    return 1;
  }
  if (!p->isxdf) pfi->calendar = 0;

  coords c;
  if (find_coords(io, p, &c)) return 1;

  // Data variables: by the test, or the descriptor's list.
  var_info* first = nullptr;
  int ndvars = 0;
  if (p->dvars) {
    for (var_info& v : io->varlist) {
      if (isdvar(&v, c.v[0], c.v[1], c.v[2], c.v[3], c.dim[0], c.dim[1])) {
        if (first == nullptr) first = &v;
        ndvars++;
      }
    }
    if (ndvars == 0) {
      omprnt(0, "SDF file doesn't appear to have any non-coordinate variables.  Yikes!\n");
      return 1;
    }
    omprntf(2, "Found %d data variables in SDF file.\n", ndvars);
  } else {
    ndvars = p->nvars;
    if (ndvars < 1 || p->ncnames.empty()) {
      omprnt(0, "XDFOpen Error:  Invalid variable record\n");
      return 1;
    }
    first = find_var(io, p->ncnames[0].c_str());
    if (first == nullptr) {
      omprntf(0, "XDFopen Error:  Variable %s is not in the data file\n", p->ncnames[0].c_str());
      return 1;
    }
  }

  if (!p->isxdf) pfi->dnam = name;
  pfi->name = name;
  if (define_x_y(pfi, io, c.v[0], c.v[1], p)) return 1;
  if (p->defaxis[2] && c.v[2] != nullptr) pfi->zrflg = 0;

  if (p->dotitle) {
    pfi->title = att_text(io->gatts, "title");
    if (pfi->title.size() > 511) pfi->title.resize(511);
  }
  if (p->doundef) pfi->undef = dataset_undef(first);
  set_band(pfi);

  if (p->defaxis[2] && define_z(pfi, io, c.v[2])) return 1;
  std::vector<datetime> firstdates;  // of a first member's times, when they have them
  if (p->defaxis[3]) {
    sdftaxis ta;
    int ok = define_time_axis(io, c.v[3], &ta);
    if (ta.cal365) pfi->calendar = 1;
    if (!ok) return 1;
    // A step from the file's first two times: its later times must still
    // lie within the years a time can hold.
    if (!time_axis_fits(ta.conv, ta.size)) {
      omprnt(0, "Error in determining time increment in SDF file.\n");
      return 1;
    }
    pfi->dnum[3] = ta.size;
    if (!install_time(pfi, ta.conv)) {
      omprnt(0, "Error finding storage to define time coordinate in SDF file.\n");
      return 1;
    }
    // The dates of one file's times; those of a series are given once its
    // members are known.
    if (templ.empty() && !ta.dates.empty() && !taxdates(pfi->grvals[3], ta.dates)) {
      omprnt(0, "Error finding storage to define time coordinate in SDF file.\n");
      return 1;
    }
    firstdates.swap(ta.dates);
  }

  if (p->dvars) {
    pfi->pvar1.clear();
    pfi->vnum = ndvars;
  }
  pfi->ivnum = pfi->lvnum = 0;
  if (p->isxdf) {
    if (check_named_dims(io, p, &c)) return 1;
    for (int d = 0; d < 4; d++)
      if (c.v[d] == nullptr && !p->dimnames[d].empty())
        c.dim[d] = find_dim(io, p->dimnames[d].c_str());
  }

  for (var_info& v : io->varlist) {
    int li = -1;
    if (p->dvars) {
      if (!isdvar(&v, c.v[0], c.v[1], c.v[2], c.v[3], c.dim[0], c.dim[1])) continue;
    } else if (!findmatch(v.ncname.c_str(), p->ncnames, &li)) {
      continue;
    }
    set_positions(&v, &c);
    if (type_size(v.nctype) == 0 || v.nctype == SDF_CHAR) {
      omprntf(1, "SDF:  variable %s holds no numbers and is skipped.\n", v.ncname.c_str());
      continue;
    }
    int levels = v.tzyx_pos[1] >= 0 ? pfi->dnum[2] : 0;
    if (p->dvars || p->fromfile[static_cast<size_t>(li)]) {
      std::string want = p->dvars ? lowstr(v.ncname.substr(0, 15)) : p->omnames[static_cast<size_t>(li)];
      std::string nm = unique_name(want, pfi->pvar1, p->dvars ? -1 : li);
      if (nm != want)
        omprntf(1, "SDF:  variable %s would repeat the name %s; it is named %s.\n",
                v.ncname.c_str(), want.c_str(), nm.c_str());
      v.omname = nm;
      filevar fv;
      fv.abbrv = nm;
      fv.varnm = var_description(&v);
      fv.levels = levels;
      fv.var_z = 0;
      if (p->dvars) {
        pfi->pvar1.push_back(fv);
      } else {
        filevar& slot = pfi->pvar1[static_cast<size_t>(li)];
        slot.abbrv = nm;
        slot.varnm = fv.varnm;
        slot.levels = levels;
        slot.var_z = 0;
      }
      if (levels) pfi->lvnum++; else pfi->ivnum++;
    } else {
      v.omname = p->omnames[static_cast<size_t>(li)];
      levels = pfi->pvar1[static_cast<size_t>(li)].levels;
    }
    omprntf(2, "Found displayable variable %s with %d levels in SDF file.\n", v.omname.c_str(),
            levels);
    if (v.nctype == SDF_DOUBLE)
      omprntf(2, "SDF:  The double precision values of the variable %s\nwill be automatically "
                 "converted to single precision.\n", v.omname.c_str());
    if (p->doundef) {
      set_var_undef(&v, pfi, 0);
    } else {
      set_var_undef(&v, pfi, 1);
      if (p->ddfundef) io->ddf_undef = 1;
    }
  }
  if (p->dvars) pfi->vnum = static_cast<int>(pfi->pvar1.size());

  if (!templ.empty() && !p->isxdf) {
    // Members of one time each are read for the step, and checked there.
    const bool stepped = pfi->dnum[3] == 1 && ntimes > 1;
    bool offsteps = false;
    member_reads reads;
    if (stepped && !series_step_from_next(&reads, pfi, templ, &offsteps)) return 1;
    pfi->dnum[3] = ntimes;
    pfi->name = templ;
    // The series' count is the user's: at the file's step its last times
    // may lie beyond the years a time can hold, a count too large as one
    // beyond what a member table can hold is.
    if (pfi->grvals[3] != nullptr && !time_axis_fits(pfi->grvals[3], ntimes)) {
      omprnt(0, "SDFOPEN error:  Memory allocation error.\n");
      return 1;
    }
    if (!build_template_table(pfi, templ)) {
      omprnt(0, "SDFOPEN error:  Memory allocation error.\n");
      return 1;
    }
    if (!stepped && !series_next_after_first(&reads, pfi, templ)) return 1;
    if ((offsteps || !firstdates.empty()) && !series_dates_from_members(&reads, pfi, templ, firstdates)) return 1;
  } else if (!templ.empty()) {
    pfi->name = templ;
  }
  if (pfi->tmplat) {
    pfi->fnumc = 0;
    pfi->tempname = name;
  }
  if (!copy_io_std(&pfi->sdf1, io)) {
    omprnt(0, "SDF operational error (copy_io_std failed making current first)\n");
    return 1;
  }
  return 0;
}

}  // namespace

int omsdfopen(const char* args, const cmnstate* pcm, datafile** opened) {
  *opened = nullptr;
  sdfparms parms;
  doparms4sdf(&parms);
  std::vector<std::string> words;
  for (const char* s = args; s != nullptr && *s != '\0';) {
    while (*s == ' ' || *s == '\t') s++;
    if (*s == '\0' || *s == '\n') break;
    const char* e = s;
    while (*e != '\0' && *e != ' ' && *e != '\t' && *e != '\n') e++;
    words.emplace_back(s, static_cast<size_t>(e - s));
    s = e;
  }
  if (words.empty()) {
    omprnt(0, "SDFOPEN error:  missing self-describing file pathname\n");
    return 1;
  }
  std::string fname = words[0];
  if (fname.size() > 4095) fname.resize(4095);
  omprntf(0, "Scanning self-describing file:  %s\n", replshownname(fname).c_str());
  datafile* pfi = getpfi();
  if (pfi == nullptr) {
    omprnt(0, "Memory Allocation Error:  Prior to SDF File Open\n");
    return 1;
  }
  pfi->ncflg = 1;
  sdf_bind(pfi);
  if (!init_io_std(&pfi->sdf)) {
    omprnt(0, "Memory Allocation Error:  On SDF File Open\n");
    frepfi(pfi, 0);
    return 1;
  }
  std::string templ;
  int ntimes = 0;
  if (words.size() >= 2) {
    int n = 0;
    const char* rest = words.size() >= 3 ? intprs(words[2].c_str(), &n) : nullptr;
    if (words.size() < 3) {
      omprnt(2, "Warning:  malformed optional args to SDFOPEN command, ignoring.\n");
    } else if (rest == nullptr || *rest != '\0' || n < 1) {
      omprnt(2, "Warning:  bad ntsteps arg to SDFOPEN command, ignoring templating info.\n");
    } else {
      size_t slash = fname.rfind('/');
      templ = (slash == std::string::npos ? std::string() : fname.substr(0, slash + 1)) + words[1];
      ntimes = n;
      pfi->tmplat = 1;
    }
  }
  int rc = omdsdf(fname.c_str(), pfi, templ, ntimes, &parms);
  if (rc == 0 && !fix_calendar(pfi, false, pcm)) rc = 1;
  if (rc != 0) {
    frepfi(pfi, 0);
    return rc;
  }
  *opened = pfi;
  return 0;
}
