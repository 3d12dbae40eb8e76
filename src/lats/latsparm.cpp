// The LATS parameter tables: variables, vertical level types, originating
// centres and quality-control limits, read from a table file or taken from
// the built-in table.  A load fills new tables and installs them only when
// the whole file was accepted, so a refused file leaves the last good
// tables in force.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/errout.h"
#include "base/replsig.h"
#include "base/words.h"
#include "data/textfile.h"
#include "lats/latsint.h"

int latsParmTableCreated = 0;

namespace {

struct tables {
  std::vector<latsParmEntry> parms;
  std::vector<latsVertType> verts;
  std::vector<latsCenter> centers;
  std::vector<latsQC> qcs;
};

tables cur;
bool loaded = false;   // a table (file or default) is in force

const size_t TEXTMAX = 127;
const size_t LINEMAX = 510;

std::string cut(const std::string& s) { return s.size() > TEXTMAX ? s.substr(0, TEXTMAX) : s; }

// Splits a row at "|"; runs of "|" are one separator and a leading one is
// ignored.  Each field is trimmed.
std::vector<std::string> splitrow(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == '|') i++;
    if (i >= line.size()) break;
    size_t j = line.find('|', i);
    if (j == std::string::npos) j = line.size();
    out.push_back(cut(latsTrimStr(line.substr(i, j - i))));
    i = j;
  }
  return out;
}

bool refuse(const std::vector<std::string>& f) {
  latsError("LATS (latsint) --> Invalid parameter file entry: %s", f.empty() ? "" : replshownname(f[0]).c_str());
  return false;
}

bool fillparm(tables& t, const std::vector<std::string>& f) {
  if (f.size() < 10) return refuse(f);
  if ((int)t.parms.size() >= LATS_PARM_CAP) {
    latsError("LATS (latsint) --> Too many variables in parameter file, maximum is %d", LATS_PARM_CAP);
    return false;
  }
  latsParmEntry p;
  p.name = f[0];
  p.title = f[2];
  p.units = f[3];
  std::string dt = lowstr(f[4]);
  if (dt == "float") p.datatype = LATS_FLOAT;
  else if (dt == "int") p.datatype = LATS_INT;
  else {
    latsError("LATS (latsint) --> Datatype: %s, must be 'float' or 'int'", replshownname(f[4]).c_str());
    return false;
  }
  p.levelType = f[5];
  p.levelTypeSet = !p.levelType.empty();
  if (!latsStrtoi(f[7].c_str(), &p.precision, 0)) {
    latsError("LATS (latsint) --> Invalid precision: %s", replshownname(f[7]).c_str());
    return false;
  }
  if (!latsStrtoi(f[1].c_str(), &p.gribParm, 0)) {
    latsError("LATS (latsint) --> Invalid GRIB parameter #: %s", replshownname(f[1]).c_str());
    return false;
  }
  if (!latsStrtoi(f[6].c_str(), &p.gribScale, 0)) {
    latsError("LATS (latsint) --> Invalid GRIB scale factor: %s", replshownname(f[6]).c_str());
    return false;
  }
  t.parms.push_back(p);
  return true;
}

bool fillvert(tables& t, const std::vector<std::string>& f) {
  if (f.size() < 9) return refuse(f);
  if ((int)t.verts.size() >= LATS_VERT_CAP) {
    latsError("LATS (latsint) --> Too many vertical types in parameter file, maximum is %d",
              LATS_VERT_CAP);
    return false;
  }
  latsVertType v;
  v.name = f[0];
  v.descrip = f[1];
  v.units = f[2];
  std::string kind = lowstr(f[3]), pos = lowstr(f[4]);
  if (kind == "single") v.verticality = 1;
  else if (kind == "multi") v.verticality = 2;
  else {
    latsError("LATS (latsint) --> Level type: %s, must be 'single' or 'multi'", replshownname(f[3]).c_str());
    return false;
  }
  if (pos == "up") v.positive = 1;
  else if (pos == "down") v.positive = 2;
  else {
    latsError("LATS (latsint) --> Positive: %s, must be 'up' or 'down'", replshownname(f[4]).c_str());
    return false;
  }
  static const char* const msgs[4] = {
      "LATS (latsint) --> Invalid grib id: %s", "LATS (latsint) --> Invalid grib P1: %s",
      "LATS (latsint) --> Invalid grib P2: %s", "LATS (latsint) --> Invalid grib P3: %s"};
  int* dst[4] = {&v.gribLevelType, &v.gribP1, &v.gribP2, &v.gribP3};
  for (int i = 0; i < 4; i++) {
    if (!latsStrtoi(f[5 + i].c_str(), dst[i], -1)) {
      latsError(msgs[i], replshownname(f[5 + i]).c_str());
      return false;
    }
  }
  t.verts.push_back(v);
  return true;
}

bool fillcenter(tables& t, const std::vector<std::string>& f) {
  if (f.size() < 4) return refuse(f);
  if ((int)t.centers.size() >= LATS_CENTER_CAP) {
    latsError("LATS (latsint) --> Too many centers in parameter file, maximum is %d", LATS_CENTER_CAP);
    return false;
  }
  latsCenter c;
  c.name = f[0];
  static const char* const msgs[3] = {"LATS (latsint) --> Invalid grib process id: %s",
                                      "LATS (latsint) --> Invalid grib center: %s",
                                      "LATS (latsint) --> Invalid grib subcenter: %s"};
  int* dst[3] = {&c.gribProcess, &c.gribCenter, &c.gribSubcenter};
  for (int i = 0; i < 3; i++) {
    if (!latsStrtoi(f[1 + i].c_str(), dst[i], -1)) {
      latsError(msgs[i], replshownname(f[1 + i]).c_str());
      return false;
    }
  }
  t.centers.push_back(c);
  return true;
}

bool fillqc(tables& t, const std::vector<std::string>& f) {
  if (f.size() < 8) return refuse(f);
  latsQC q;
  q.variable = f[0];
  q.levelType = f[1];
  if (!latsStrtod(f[2].c_str(), &q.level, 0)) {
    latsError("LATS (latsint) --> Invalid QC value: %s", replshownname(f[2]).c_str());
    return false;
  }
  struct { int idx; float* dst; const char* msg; } nums[5] = {
      {3, &q.mean, "LATS (latsint) --> Invalid mean value: %s"},
      {4, &q.std, "LATS (latsint) --> Invalid standard deviation: %s"},
      {5, &q.tolerance, "LATS (latsint) --> Invalid tolerance: %s"},
      {7, &q.rangeTolerance, "LATS (latsint) --> Invalid range tolerance value: %s"},
      {6, &q.range, "LATS (latsint) --> Invalid range value: %s"}};
  for (auto& n : nums) {
    if (!latsStrtof(f[n.idx].c_str(), n.dst, 0)) {
      latsError(n.msg, replshownname(f[n.idx]).c_str());
      return false;
    }
  }
  t.qcs.push_back(q);
  return true;
}

bool qcless(const latsQC& a, const latsQC& b) {
  if (a.variable != b.variable) return a.variable < b.variable;
  if (a.levelType != b.levelType) return a.levelType < b.levelType;
  return a.level < b.level;
}

// Sorts, joins fixed level types and installs the tables.
void finish(tables& t, const char* source) {
  std::stable_sort(t.parms.begin(), t.parms.end(),
                   [](const latsParmEntry& a, const latsParmEntry& b) { return a.name < b.name; });
  std::stable_sort(t.qcs.begin(), t.qcs.end(), qcless);
  cur = std::move(t);
  loaded = true;
  for (latsParmEntry& p : cur.parms) {
    if (!p.levelTypeSet) continue;
    const latsVertType* vt = latsVertTypeLookup(p.levelType.c_str());
    if (!vt) {
      latsWarning("Level type %s: not found for parameter %s, file %s", replshownname(p.levelType).c_str(),
                  replshownname(p.name).c_str(), replshownname(source).c_str());
      p.levelTypeSet = 0;
    } else if (vt->verticality == 2) {
      latsWarning("Parameter %s: if specified, level type must be a surface (currently %s), file %s",
                  replshownname(p.name).c_str(), replshownname(p.levelType).c_str(), replshownname(source).c_str());
      p.levelTypeSet = 0;
    } else {
      p.hasVertType = true;
      p.vertType = *vt;
    }
  }
}

}  // namespace

// ---- parsing helpers -------------------------------------------------------

std::string latsTrimStr(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && ascspace(s[b])) b++;
  while (e > b && ascspace(s[e - 1])) e--;
  return s.substr(b, e - b);
}

void latsCpyTrim(char* dst, const char* src, int n) {
  if (n <= 0) return;
  std::string t = latsTrimStr(src ? src : "");
  size_t len = std::min(t.size(), (size_t)(n - 1));
  memcpy(dst, t.data(), len);
  dst[len] = '\0';
}

void latsCpyLower(char* dst, const char* src, int n) {
  latsCpyTrim(dst, src, n);
  for (; n > 0 && *dst; dst++) *dst = asclower(*dst);
}

int latsStrtoi(const char* s, int* result, int deflt) {
  *result = deflt;
  std::string t = latsTrimStr(s);
  if (t.empty()) return 1;
  char* end;
  errno = 0;
  long v = strtol(t.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < -2147483647L - 1 || v > 2147483647L) return 0;
  *result = (int)v;
  return 1;
}

int latsStrtod(const char* s, double* result, double deflt) {
  *result = deflt;
  std::string t = latsTrimStr(s);
  if (t.empty()) return 1;
  char* end;
  double v = strtod(t.c_str(), &end);
  if (*end != '\0' || end == t.c_str()) return 0;
  *result = v;
  return 1;
}

int latsStrtof(const char* s, float* result, float deflt) {
  double d;
  if (!latsStrtod(s, &d, deflt)) {
    *result = deflt;
    return 0;
  }
  *result = (float)d;
  return 1;
}

// ---- loading ---------------------------------------------------------------

int latsParmCreateTable(const char* path) {
  // A pipe or device is read no further than a descriptor could be.
  FILE* fp = opendescr(path);
  if (!fp) {
    int err = errno;
    latsError("LATS (latsint) --> Cannot open parameter file %s", replshownname(path).c_str());
    omerrf("%s\n", strerror(err));
    return 0;
  }
  tables t;
  enum { VAR, VERT, CENTER, QC } section = VAR;
  std::string line;
  int lineno = 0;
  int c = 0;
  bool ok = true;
  while (ok && c != EOF) {
    line.clear();
    // A row longer than the line buffer keeps its first LINEMAX characters;
    // the rest of it is skipped, not read as a row of its own.
    while ((c = fgetc(fp)) != EOF && c != '\n')
      if (line.size() < LINEMAX) line += (char)c;
    if (c == EOF && line.empty()) break;
    lineno++;
    if (line.size() >= 2 && line[0] == '#' && line[1] == '!') {
      std::string name = lowstr(cut(latsTrimStr(line.substr(2))));
      if (name == "variable") section = VAR;
      else if (name == "vert") section = VERT;
      else if (name == "center") section = CENTER;
      else if (name == "qc") section = QC;
      else latsError("LATS (latsint) --> Warning: section delimiter: %s, ignored in parameter file %s, line %d",
                     replshownname(name).c_str(), replshownname(path).c_str(), lineno);
      continue;
    }
    if (!line.empty() && line[0] == '#') continue;
    if (latsTrimStr(line).empty()) continue;
    std::vector<std::string> f = splitrow(line);
    int savefatal = lats_fatal;
    lats_fatal = 0;
    switch (section) {
      case VAR: ok = fillparm(t, f); break;
      case VERT: ok = fillvert(t, f); break;
      case CENTER: ok = fillcenter(t, f); break;
      case QC: ok = fillqc(t, f); break;
    }
    lats_fatal = savefatal;
    if (!ok) latsError("LATS (latsint) --> line %d, parameter file %s", lineno, replshownname(path).c_str());
  }
  fclose(fp);
  if (!ok) return 0;
  finish(t, path);
  return 1;
}

int latsParmCount() { return (int)cur.parms.size(); }
int latsVertTypeCount() { return (int)cur.verts.size(); }
int latsCenterCount() { return (int)cur.centers.size(); }
int latsQCCount() { return (int)cur.qcs.size(); }

void latsParmReset() {
  cur = tables();
  loaded = false;
  latsParmTableCreated = 0;
}

// ---- lookups ---------------------------------------------------------------

const latsParmEntry* latsParmLookup(const char* name) {
  auto it = std::lower_bound(cur.parms.begin(), cur.parms.end(), std::string(name),
                             [](const latsParmEntry& p, const std::string& n) { return p.name < n; });
  return it != cur.parms.end() && it->name == name ? &*it : nullptr;
}

const latsVertType* latsVertTypeLookup(const char* name) {
  std::string key = lowstr(latsTrimStr(name));
  for (const latsVertType& v : cur.verts)
    if (v.name == key) return &v;
  return nullptr;
}

const latsCenter* latsCenterLookup(const char* name) {
  std::string key = lowstr(latsTrimStr(name));
  for (const latsCenter& c : cur.centers)
    if (c.name == key) return &c;
  return nullptr;
}

const latsQC* latsQCLookup(const char* var, const char* levtype, double level, double delta) {
  std::string v = latsTrimStr(var), lt = latsTrimStr(levtype);
  size_t lo = 0, hi = cur.qcs.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    const latsQC& q = cur.qcs[mid];
    int c = v.compare(q.variable);
    if (c == 0) c = lt.compare(q.levelType);
    if (c == 0) c = level < q.level - delta ? -1 : level > q.level + delta ? 1 : 0;
    if (c == 0) return &q;
    if (c < 0) hi = mid;
    else lo = mid + 1;
  }
  return nullptr;
}

void latsVertTypeList() {
  static bool listed = false;
  if (listed) return;
  listed = true;
  omerrf("The following vertical dimension types are defined:\n");
  for (const latsVertType& v : cur.verts) omerrf("%s\t%s\n", v.name.c_str(), v.descrip.c_str());
}

// ---- the built-in table ----------------------------------------------------

namespace {

struct defparm { const char* name; int grib; const char* units; const char* lev; int scale, prec; };

const defparm defparms[] = {
    {"cl", 150, "%", "", 0, -999}, {"cli", 226, "kg/kg", "", -999, -999},
    {"clivi", 151, "kg/m^2", "atm", -999, -999}, {"clt", 71, "%", "cltlay", 0, -999},
    {"clw", 225, "kg/kg", "", -999, -999}, {"clwvi", 154, "kg/m^2", "atm", -999, -999},
    {"enek", 190, "m^2/s^2", "", -999, 12}, {"evspsbl", 141, "kg/(m^2*s)", "sfc", -999, -999},
    {"hfls", 121, "W/m^2", "sfc", 0, -999}, {"hfss", 122, "W/m^2", "sfc", 0, -999},
    {"hur", 52, "%", "", 0, -999}, {"hus", 51, "kg/kg", "", 4, -999},
    {"huss", 51, "kg/kg", "sfc2m", 4, -999}, {"mptta", 238, "K^2", "", -999, 16},
    {"mpuua", 236, "m^2/s^2", "", -999, 16}, {"mpuva", 230, "m^2/s^2", "", -999, 16},
    {"mpvhusa", 231, "m/s", "", -999, 16}, {"mpvta", 232, "m*K/s", "", -999, 16},
    {"mpvva", 237, "m^2/s^2", "", -999, 16}, {"mpvzga", 234, "m^2/s", "", -999, 16},
    {"mpwapta", 235, "Pa/(K*s)", "", -999, 16}, {"mpwhusa", 233, "Pa/s", "", -999, 16},
    {"mrfso", 137, "kg/m^2", "landt", -999, -999}, {"mrro", 131, "kg/(m^2*s)", "lands", -999, -999},
    {"mrros", 132, "kg/(m^2*s)", "lands", -999, -999}, {"mrso", 86, "kg/m^2", "landt", 0, -999},
    {"mrsofc", 134, "kg/m^2", "landt", -999, -999}, {"mrsofcs", 133, "kg/m^2", "lands", 0, -999},
    {"mrsos", 135, "kg/m^2", "lands", 1, -999}, {"mrsotb", 136, "%", "landt", 0, -999},
    {"orog", 8, "m", "sfc", 0, -999}, {"pr", 59, "kg/(m^2*s)", "sfc", 6, -999},
    {"prc", 144, "kg/(m^2*s)", "sfc", 6, -999}, {"prsn", 64, "kg/(m^2/s)", "sfc", 6, -999},
    {"prw", 54, "kg/m^2", "sfc", 1, -999}, {"ps", 1, "Pa", "sfc", 0, -999},
    {"psbg", 128, "%", "", 0, -999}, {"psl", 2, "Pa", "msl", 0, -999},
    {"rlds", 205, "W/m^2", "sfc", 1, -999}, {"rldscs", 163, "W/m^2", "sfc", 1, -999},
    {"rlns", 112, "W/m^2", "sfc", 1, -999}, {"rlus", 188, "W/m^2", "sfc", 1, -999},
    {"rluscs", 162, "W/m^2", "sfc", 1, -999}, {"rlut", 114, "W/m^2", "toa", 1, -999},
    {"rlutcs", 162, "W/m^2", "toa", 1, -999}, {"rsds", 204, "W/m^2", "sfc", 1, -999},
    {"rsdscs", 184, "W/m^2", "sfc", 1, -999}, {"rsdt", 204, "W/m^2", "toa", 1, -999},
    {"rsns", 111, "W/m^2", "sfc", 1, -999}, {"rsnt", 113, "W/m^2", "toa", 1, -999},
    {"rsus", 181, "W/m^2", "sfc", 1, -999}, {"rsuscs", 185, "W/m^2", "sfc", 1, -999},
    {"rsut", 183, "W/m^2", "toa", 1, -999}, {"rsutcs", 186, "W/m^2", "toa", 1, -999},
    {"rtmt", 180, "W/m^2", "modtop", 1, -999}, {"sftgif", 253, "%", "sfc", -999, 1},
    {"sftlf", 252, "%", "sfc", 0, -999}, {"sic", 227, "%", "sfc", 0, -999},
    {"sicbcs", 250, "%", "sfc", 0, -999}, {"snc", 228, "%", "sfc", 0, -999},
    {"snd", 66, "m", "sfc", 2, -999}, {"snm", 99, "kg/m^2", "sfc", 1, -999},
    {"snw", 65, "kg/m^2", "sfc", 0, -999}, {"ta", 11, "K", "", 1, -999},
    {"tas", 11, "K", "sfc2m", 1, -999}, {"tasmax", 15, "K", "sfc2m", 1, -999},
    {"tasmin", 16, "K", "sfc2m", 1, -999}, {"tauu", 124, "N/m^2", "sfc", 3, -999},
    {"tauugwd", 222, "N/m^2", "sfc", 3, -999}, {"tauv", 125, "N/m^2", "sfc", 3, -999},
    {"tauvgwd", 223, "N/m^2", "sfc", 3, -999}, {"tnmmc", 219, "m/s^2", "", 7, -999},
    {"tnmmgwd", 218, "m/s^2", "", 7, -999}, {"tnmmgwdu", 220, "m/s^2", "", 7, -999},
    {"tnmmgwdv", 221, "m/s^2", "", 7, -999}, {"tnmrc", 217, "(kg/kg)/s", "", 7, -999},
    {"tnmrd", 216, "(Kg/Kg)/s", "", -999, 12}, {"tnt", 210, "K/s", "", 7, -999},
    {"tntdc", 214, "K/s", "", 7, -999}, {"tntlsp", 215, "K/s", "", 7, -999},
    {"tntlw", 212, "K/s", "", 7, -999}, {"tntmc", 213, "K/s", "", 7, -999},
    {"tntsw", 211, "K/s", "", 7, -999}, {"tos", 80, "K", "sfc", 2, -999},
    {"tosbcs", 251, "K", "sfc", 2, -999}, {"tro3", 129, "ppmv", "", -999, 12},
    {"ts", 11, "K", "sfc", 1, 12}, {"ua", 33, "m/s", "", 1, -999},
    {"uas", 33, "m/s", "sfc10m", 1, -999}, {"va", 34, "m/s", "", 1, -999},
    {"vas", 34, "m/s", "sfc10m", 1, -999}, {"vorpot", 206, "1/(Pa*s)", "", -999, -999},
    {"wap", 39, "Pa/s", "", 3, -999}, {"zbla", 170, "m", "pbltop", -999, 12},
    {"zg", 7, "m", "", 0, -999},
};

struct deftitle { const char* name; const char* title; };
const deftitle deftitles[] = {
    {"cl", "Cloud amount"}, {"hus", "Specific humidity"}, {"ps", "Surface pressure"},
    {"psl", "Mean sea-level pressure"}, {"ta", "Air Temperature"},
    {"ts", "Ground Surface Temperature"}, {"ua", "Eastward wind"}, {"va", "Northward wind"},
    {"wap", "Vertical motion (omega)"}, {"zg", "Geopotential height"},
    {"tas", "Surface (2m) air temperature"}, {"pr", "Total precipitation rate"},
    {"rlut", "LW radiation TOA (OLR)"},
};

struct defvert { const char* name; const char* descrip; const char* units; int multi, down, grib, p1, p2, p3; };
const defvert defverts[] = {
    {"0degiso", "0 deg isotherm", "hPa", 0, 0, 4, 0, 0, 0},
    {"atm", "Atmosphere (entire)", "", 0, 0, 200, 0, 0, 0},
    {"ocn", "Ocean (entire depth)", "", 0, 0, 201, 0, 0, 0},
    {"ocnbot", "Ocean Bottom", "", 0, 0, 202, 0, 0, 0},
    {"clhbot", "High Cloud Bottom Level", "hPa", 0, 0, 232, 0, 0, 0},
    {"clhlay", "High Cloud Top Layer", "", 0, 0, 234, 0, 0, 0},
    {"clhtop", "High Cloud Top Level", "hPa", 0, 0, 233, 0, 0, 0},
    {"cllbot", "Low Cloud Bottom Level", "hPa", 0, 0, 212, 0, 0, 0},
    {"clllay", "Low Cloud Top Layer", "", 0, 0, 214, 0, 0, 0},
    {"clltop", "Low Cloud Top Level", "hPa", 0, 0, 213, 0, 0, 0},
    {"clmbot", "Mid Cloud Bottom Level", "hPa", 0, 0, 222, 0, 0, 0},
    {"clmlay", "Mid Cloud Top Layer", "", 0, 0, 224, 0, 0, 0},
    {"clmtop", "Mid Cloud Top Level", "hPa", 0, 0, 223, 0, 0, 0},
    {"cltbot", "Cloud base level", "hPa", 0, 0, 2, 0, 0, 0},
    {"cltlay", "Total Cloud layer", "", 0, 0, 3, 0, 0, 0},
    {"cltmax", "Highest Cloud height", "m", 0, 0, 105, 0, 0, 0},
    {"landd", "Below ground, 10 to 200 cm", "", 0, 0, 112, 10, 200, 0},
    {"lands", "Below ground, 0 to 10 cm", "", 0, 0, 112, 0, 10, 0},
    {"landt", "Below ground, 0  to 200 cm", "", 0, 0, 112, 0, 200, 0},
    {"lcl", "Adiabatic cond level", "hPa", 0, 0, 5, 0, 0, 0},
    {"maxwnd", "Maximum wind speed level", "hPa", 0, 0, 6, 0, 0, 0},
    {"msl", "Mean Sea Level", "", 0, 0, 102, 0, 0, 0},
    {"ocnbot", "Ocean bottom", "", 0, 0, 9, 0, 0, 0},
    {"plev", "Pressure level", "hPa", 1, 1, 100, 0, 0, 0},
    {"pbltop", "Top of PBL", "", 0, 0, 21, 0, 0, 0},
    {"sfc", "Earth surface", "", 0, 0, 1, 0, 0, 0},
    {"sfclo", "Sfc Layer Ocean", "", 0, 0, 112, 0, 300, 0},
    {"sfc10m", "10 meters above earth surface", "m", 0, 0, 105, 0, 0, 10},
    {"sfc2m", "2 meters above earth surface", "m", 0, 0, 105, 0, 0, 2},
    {"toa", "Top of atmosphere", "", 0, 0, 8, 0, 0, 0},
    {"modtop", "Top of Model", "", 0, 0, 20, 0, 0, 0},
    {"toasat", "TOA satellite", "", 0, 0, 22, 0, 0, 0},
    {"troplev", "Tropopause level", "hPa", 0, 0, 7, 0, 0, 0},
    {"theta", "Isentropic Level", "K", 1, 0, 113, 0, 0, 0},
    {"sigma", "Sigma level", "", 1, 1, 107, 0, 0, 0},
    {"hybrid", "Hybrid Model level number", "", 1, 0, 109, 0, 0, 0},
    {"zocean", "Depth below sea level", "m", 1, 1, 160, 0, 0, 0},
};

const char* const defcenters[] = {
    "bmrc", "ccc", "cnrm", "valo", "csiro", "csu", "dnm", "ecmwf", "gfdl", "derf", "giss", "gla",
    "gsfc", "iap", "jma", "lmd", "mgo", "mpi", "mri", "ncar", "ncep", "nrl", "rpn", "sunya",
    "sunya/ncar", "ucla", "ugamp", "uiuc", "ukmo", "yonu", "ccsr", "dorn", "ntu"};

}  // namespace

int latsParmCreateDefaultTable() {
  tables t;
  for (const defparm& d : defparms) {
    latsParmEntry p;
    p.name = d.name;
    p.title = d.name;
    for (const deftitle& dt : deftitles)
      if (strcmp(dt.name, d.name) == 0) p.title = dt.title;
    p.units = d.units;
    p.gribParm = d.grib;
    p.gribScale = d.scale;
    p.precision = d.prec;
    p.levelType = d.lev;
    p.levelTypeSet = d.lev[0] != '\0';
    t.parms.push_back(p);
  }
  for (const defvert& d : defverts) {
    latsVertType v;
    v.name = d.name;
    v.descrip = d.descrip;
    v.units = d.units;
    v.verticality = d.multi ? 2 : 1;
    v.positive = d.down ? 2 : 1;
    v.gribLevelType = d.grib;
    v.gribP1 = d.p1;
    v.gribP2 = d.p2;
    v.gribP3 = d.p3;
    t.verts.push_back(v);
  }
  int proc = 1;
  for (const char* name : defcenters) t.centers.push_back({name, proc++, 100, 2});
  t.centers.push_back({"kirva", 100, 100, 2});
  latsQC q;
  q.variable = "_default_";
  t.qcs.push_back(q);
  finish(t, "<internal table>");
  return 1;
}
