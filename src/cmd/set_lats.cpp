// set lats: the settings and actions of the LATS output (parameter table,
// file convention, calendar, frequency, create, base time, vertical
// dimension, variable, write and close).  The settings live in the LATS
// block of the common state; the actions go to omlats.
#include "cmd/set_lats.h"

#include <string>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/words.h"
#include "lats/lats.h"

namespace {

enum { ID_FILE = 0, ID_VERT = 1, ID_GRID = 2, ID_VAR = 3, SEL_FILE = 4, SEL_VAR = 5, SEL_GRID = 6,
       SEL_VERT = 7, WRITE_REQ = 8 };

int fail(const char* msg) {
  omprnt(0, msg);
  return 1;
}

// The rest of the line from p, cut to max characters.
std::string rest(const char* p, size_t max) {
  std::string s = linestr(p);
  if (s.size() > max) s.resize(max);
  return s;
}

std::string word(const char* p, size_t max) {
  std::string s = wrdstr(p);
  if (s.size() > max) s.resize(max);
  return s;
}

int help() {
  static const char* const lines[] = {
      "SET LATS error:  No arguments....\n",
      "  valid arguments are: \n",
      "  parmtab [FILENAME] (e.g., set lats parmtab lats.ncep.MRFtable)\n",
      "  convention [ombra_grib|grib_only|coards] (e.g., set lats convention grib)\n",
      "  calendar [standard|noleap|clim|climleap] (e.g., set lats calendar standard)\n",
      "  frequency [yearly|monthly|monthly_table_comp|weekly|daily|hourly|forecast_hourlyfixed] "
      "(e.g., set lats frequency hourly)\n",
      "  delatat [N] (integer number of freq units per time output, e.g., set lats deltat 6)\n",
      "  fhour [N] (integer forecast hour,  e.g., set lats fhour 120)\n",
      "  model [MODEL_NAME] (e.g., set lats model MRF)\n",
      "  center [CENTER_NAME] (e.g., set lats center NCEP)\n",
      "  create [FILENAME] (e.g., set lats create MRF.EXP1)\n",
      "  comment [COMMENT (e.g., set lats comment \"R1.6.1 of MRF with convection update\")\n",
      "  gridtype [linear|gaussian|generic] (e.g., set lats gridtype gaussian\n",
      "  vertdim [DIMNAME val1 val2 ... valN] (e.g., set lats vertdim plev 1000 850 500 200)\n",
      "  var [VARNAME average|accum|instant LEVEL_ID)] (e.g., set lats var u instant 1)\n",
      "  timeoption [grid|dim_env (e.g., set lats v timeoption dim_env (use the Ombra dimension "
      "environment)\n",
      "  write [VAR_ID|(LEVEL)] (e.g., set lats write 1 500 (return from t lats var)\n",
      "  close (e.g., set lats close)\n\n"};
  for (const char* l : lines) omprnt(0, l);
  return 1;
}

// A keyword chosen from a list: the value of the word at p, or -1.
struct choice { const char* word; int value; };
template <size_t N>
int choose(const char* p, const choice (&list)[N]) {
  for (const choice& c : list)
    if (cmpwrd(p, c.word)) return c.value;
  return -1;
}

// A keyword setting with its two messages.
int setchoice(const char* p, int* field, const char* none, const char* bad, int value) {
  if (!p) return fail(none);
  if (value < 0) return fail(bad);
  *field = value;
  return 0;
}

// A non-negative integer setting.
int setcount(const char* p, int* field, const char* none, const char* bad, const char* neg) {
  if (!p) return fail(none);
  int v;
  if (!intprs(p, &v)) return fail(bad);
  if (v < 0) return fail(neg);
  *field = v;
  return 0;
}

int basetime(const char* p, cmnstate* pcm) {
  latsopts& l = pcm->lats;
  if (!p) return fail("SET LATS BASETIME error:  No arguments....\n");
  int id;
  if (!intprs(p, &id)) return fail("SET LATS BASETIME ID_FILE error:  missing\n");
  if (id < 0) return fail("SET LATS BASETIME ID_FILE error:  id_file < 0\n");
  if (id > l.latsmax[ID_FILE]) {
    omprntf(0, "SET LATS BASETIME error:  FILE ID is %d but the max FILE ID is %d\n", id, l.latsmax[ID_FILE]);
    return 1;
  }
  l.latsids[SEL_FILE] = id;
  static const char* const names[4] = {"YEAR", "MONTH", "DAY", "HOUR"};
  static const char* const lows[4] = {"year", "month", "day", "hour"};
  for (int i = 0; i < 4; i++) {
    p = nxtwrd(p);
    if (!p) {
      omprntf(0, "SET LATS BASETIME %s error:  missing\n", names[i]);
      return 1;
    }
    int v;
    if (!intprs(p, &v)) {
      omprntf(0, "SET LATS BASETIME %s error:  invalid or missing\n", names[i]);
      return 1;
    }
    if (v < 0) {
      omprntf(0, "SET LATS BASETIME %s error:  %s < 0\n", names[i], lows[i]);
      return 1;
    }
    l.basetime[i] = v;
  }
  return omlats(pcm, 10, 0) == 1 ? 0 : 1;
}

int vertdim(const char* p, cmnstate* pcm) {
  latsopts& l = pcm->lats;
  l.levcount = 0;
  if (!p) return fail("SET LATS VERTDIM error:  No arguments....\n");
  l.vertdim = word(p, 31);
  p = nxtwrd(p);
  if (!p) return fail("SET LATS VERTDIM error:  no levels given....\n");
  for (; p; p = nxtwrd(p)) {
    float v;
    if (!valprs(p, &v)) break;
    if (l.levcount >= 128) {
      omprnt(1, "SET LATS VERTDIM warning:  at most 128 levels; the others are ignored\n");
      break;
    }
    l.levels[l.levcount++] = v;
  }
  if (l.levcount == 0) return fail("SET LATS VERTDIM error:  no levels given....\n");
  int id = omlats(pcm, 2, 0);
  omprntf(2, "LATS VERTDIM ID = %d\n", id);
  if (id == -999)
    return fail("SET LATS VERTDIM error:  the vertical dimension is already set; use set lats reset\n");
  return id >= 1 ? 0 : 1;
}

// An id word of set lats var: *out or a message; true when read.
bool varid(const char*& p, int* out, int max, const char* missing, const char* invalid, const char* range,
           const char* hint) {
  p = nxtwrd(p);
  if (!p) {
    omprnt(2, "LATS VAR ID = -1\n");
    omprnt(0, missing);
    return false;
  }
  int v;
  if (!intprs(p, &v)) {
    omprnt(2, "LATS VAR ID = -1\n");
    omprnt(0, invalid);
    return false;
  }
  if (v < 0 || v > max) {
    omprnt(2, "LATS VAR ID = -1\n");
    omprntf(0, range, v, max);
    if (hint) omprnt(0, hint);
    return false;
  }
  *out = v;
  return true;
}

int var(const char* p, cmnstate* pcm) {
  latsopts& l = pcm->lats;
  if (!p) {
    omprnt(2, "LATS VAR ID = -1\n");
    return fail("SET LATS VAR error:  No arguments! args: fileid varname datatype gridid levid\n");
  }
  int id;
  if (!intprs(p, &id)) {
    omprnt(2, "LATS VAR ID = -1\n");
    return fail("SET LATS VAR FILE ID:  invalid FILE ID value given\n");
  }
  if (id < 0 || id > l.latsmax[ID_FILE]) {
    omprnt(2, "LATS VAR ID = -1\n");
    omprntf(0, "SET LATS VAR error:  FILE ID is %d but the max FILE ID is %d\n", id, l.latsmax[ID_FILE]);
    return 1;
  }
  l.latsids[SEL_FILE] = id;
  p = nxtwrd(p);
  if (!p) return fail("SET LATS VAR error:  variable name not given...\n");
  l.var = word(p, 31);
  p = nxtwrd(p);
  if (!p) return fail("SET LATS VAR error:  variable statistic type given...\n");
  static const choice stats[] = {{"average", 1}, {"accum", 3}, {"instant", 2}};
  int st = choose(p, stats);
  if (st < 0) return fail("SET LATS VAR error:  invalid variable statistic type given...\n");
  l.timestat = st;
  if (!varid(p, &l.latsids[SEL_GRID], l.latsmax[ID_GRID], "SET LATS VAR error:  missing GRID ID\n",
             "SET LATS VAR error:  invalid GRID ID value given\n",
             "SET LATS VAR error:  GRID ID is %d but the max GRID ID is %d\n", nullptr))
    return 1;
  if (!varid(p, &l.latsids[SEL_VERT], l.latsmax[ID_VERT],
             "SET LATS VAR error:  missing LEVEL ID\n                     use a value of 0 for surface variables\n",
             "SET LATS VAR error:  invalid LEVEL ID value given\n                     use a value of 0 for surface variable\n",
             "SET LATS VAR error:  LEVEL ID is %d but the max LEVEL ID is %d\n",
             "              use a value of 0 for surface variables...\n"))
    return 1;
  int vid = omlats(pcm, 4, 0);
  omprntf(2, "LATS VAR ID = %d\n", vid);
  return vid >= 1 ? 0 : 1;
}

int setwrite(const char* p, cmnstate* pcm) {
  latsopts& l = pcm->lats;
  l.latsids[WRITE_REQ] = 0;
  if (!p) return fail("SET LATS WRITE error:  No arguments (fileid varid)\n");
  int id;
  if (!intprs(p, &id)) return fail("SET LATS WRITE error:  missing or invalid FILE ID given...\n");
  l.latsids[SEL_FILE] = id;
  if (id < 0 || id > l.latsmax[ID_FILE]) {
    omprntf(0, "SET LATS WRITE error: FILE ID is outside the valid range of 1 - %d\n", l.latsmax[ID_FILE]);
    return 1;
  }
  p = nxtwrd(p);
  if (!p) return fail("SET LATS WRITE error:  No arguments...\n");
  if (!intprs(p, &id)) return fail("SET LATS WRITE error:  missing or invalid VAR ID  given...\n");
  l.latsids[SEL_VAR] = id;
  if (id < 0 || id > l.latsmax[ID_VAR]) {
    omprntf(0, "SET LATS WRITE error: VAR ID is outside the valid range of 1 - %d\n", l.latsmax[ID_VAR]);
    return 1;
  }
  p = nxtwrd(p);
  l.latswrlev = 0;
  if (p) {
    float lev;
    // A level that does not read would write the field at a level nobody
    // asked for.
    if (!valprs(p, &lev)) return fail("SET LATS WRITE error:  invalid LEVEL given...\n");
    l.latswrlev = lev;
  }
  l.latsids[WRITE_REQ] = 1;
  omprntf(2, "LATS WRITE ID = %d\n", l.latsids[WRITE_REQ]);
  return 0;
}

int setclose(const char* p, cmnstate* pcm) {
  if (!p) return fail("SET LATS CLOSE error:  No arguments, specify a file id...\n");
  int id;
  if (!intprs(p, &id)) return fail("SET LATS CLOSE error:  missing or invalid FILE ID given...\n");
  if (id < 0 || id > pcm->lats.latsmax[ID_FILE]) {
    omprntf(0, "SET LATS CLOSE error: FILE ID is outside the valid range of 1 - %d\n", pcm->lats.latsmax[ID_FILE]);
    return 1;
  }
  // A file that could not be finished (a full disk, no index made) is an
  // error, as the write that failed was.
  return omlats(pcm, 6, id);
}

}  // namespace

int omsetlats(const char* kw, const char* typed, cmnstate* pcm) {
  latsopts& l = pcm->lats;
  const char* sub = nxtwrd(kw);
  if (!sub) return help();
  const char* p = nxtwrd(sub);
  // File names and texts keep the case they were typed in.
  const char* asis = p ? typed + (p - kw) : nullptr;
  if (cmpwrd(sub, "parmtab")) {
    if (!p) return fail("SET LATS PARMTAB error:  No arguments....\n");
    l.parmtab = rest(asis, 255);
    int ok = omlats(pcm, 0, 0);
    omprntf(2, "LATS PARMTAB ID = %d\n", ok);
    return ok == 1 ? 0 : 1;
  }
  if (cmpwrd(sub, "convention")) {
    static const choice c[] = {{"ombra_grib", 3}, {"coards", 4}, {"grib_only", 2}};
    return setchoice(p, &l.convention, "SET LATS CONVENTION error:  No arguments....\n",
                     "SET LATS CONVENTION error:  invalid argument using the default...\n", p ? choose(p, c) : -1);
  }
  if (cmpwrd(sub, "calendar")) {
    static const choice c[] = {{"standard", 0x1111}, {"noleap", 0x1011}, {"clim", 0x1000}, {"climleap", 0x1100}};
    return setchoice(p, &l.calendar, "SET LATS CALENDAR error:  No arguments....\n",
                     "SET LATS CALENDAR error:  Invalid argument using the default...\n", p ? choose(p, c) : -1);
  }
  if (cmpwrd(sub, "frequency")) {
    static const choice c[] = {{"yearly", 5}, {"monthly", 4}, {"monthly_table_comp", 7}, {"weekly", 3},
                               {"daily", 2},  {"hourly", 1},  {"forecast_hourly", 8},    {"fixed", 6}};
    int rc = setchoice(p, &l.frequency, "SET LATS FREQUENCY error:  No arguments....\n",
                       "SET LATS FREQUENCY error:  Invalid arguments LATS_CREATE WILL FAIL....\n",
                       p ? choose(p, c) : -1);
    if (rc == 0 && l.frequency == 8) l.timeoption = 3;
    return rc;
  }
  if (cmpwrd(sub, "deltat"))
    return setcount(p, &l.deltat, "SET LATS DELTAT error:  No arguments....\n",
                    "SET LATS DELTAT error:  invalid or missing increment\n",
                    "SET LATS DELTAT error:  < 0 LATS_CREATE WILL FAIL...\n");
  if (cmpwrd(sub, "fhour"))
    return setcount(p, &l.fhour, "SET LATS FHOUR error:  No arguments....\n",
                    "SET LATS FHOUR error:  invalid or missing increment\n",
                    "SET LATS FHOUR error:  < 0 LATS WILL FAIL...\n");
  if (cmpwrd(sub, "basetime")) return basetime(p, pcm);
  struct { const char* word; std::string* field; size_t max; const char* none; } texts[] = {
      {"model", &l.model, 255, "SET LATS MODEL error:  No arguments....\n"},
      {"center", &l.center, 31, "SET LATS CENTER error:  No arguments....\n"},
      {"comment", &l.comment, 255, "SET LATS COMMENT error:  No arguments....\n"},
      {"varcomment", &l.varcomment, 255, "SET LATS VARCOMMENT error:  No arguments....\n"}};
  for (auto& t : texts) {
    if (!cmpwrd(sub, t.word)) continue;
    if (!p) return fail(t.none);
    *t.field = rest(asis, t.max);
    return 0;
  }
  if (cmpwrd(sub, "create")) {
    if (!p) return fail("SET LATS CREATE error:  Missing or invalid arguments");
    l.outfile = rest(asis, 255);
    omprntf(2, "LATS FILE ID = %d\n", omlats(pcm, 1, 0));
    return 0;
  }
  if (cmpwrd(sub, "gridtype")) {
    if (!p) return fail("SET LATS GRIDTYPE error:  No arguments....\n");
    static const choice c[] = {{"linear", 2}, {"gaussian", 1}, {"generic", 3}};
    int v = choose(p, c);
    if (v < 0) return fail("SET error:  Missing or invalid arguments for LATS option\n");
    l.gridtype = v;
    return 0;
  }
  if (cmpwrd(sub, "gridname")) {
    if (!p) return fail("SET LATS GRIDNAME error:  No arguments....\n");
    l.gridname = rest(p, 31);
    return 0;
  }
  if (cmpwrd(sub, "vertdim")) return vertdim(p, pcm);
  if (cmpwrd(sub, "var")) return var(p, pcm);
  if (cmpwrd(sub, "write")) return setwrite(p, pcm);
  if (cmpwrd(sub, "timeoption")) {
    static const choice c[] = {{"grid", 0}, {"dim_env", 1}, {"settime", 2}};
    return setchoice(p, &l.timeoption, "SET LATS TIMEOPTION error:  No arguments....\n",
                     "SET LATS TIMEOPTION error:  invalid option ....\n", p ? choose(p, c) : -1);
  }
  if (cmpwrd(sub, "close")) return setclose(p, pcm);
  if (cmpwrd(sub, "reset")) {
    omlats(pcm, 7, 0);
    return 0;
  }
  omprnt(0, "SET LATS error:  Missing or invalid arguments:\n ");
  omprnt(0, "for " + linestr(sub) + " option\n");
  return 1;
}
