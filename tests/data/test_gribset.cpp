// The data set a GRIB file opened as it is makes of its fields: names,
// levels, times, statistics, members and what is left out, one case per
// row, from fields described here as the scan would describe them.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "data/datetime.h"
#include "data/gribset.h"
#include "ddtest.h"

namespace {

// One field: a GRIB2 parameter (GRIB1: disc -1, cat the table, num the
// parameter), its level, its reference day and hour, the step and the
// statistics' period in hours.
struct fieldrow {
  int disc = 0, cat = 0, num = 0;
  int ltype = 100;
  double lev = 50000;
  int day = 1, hour = 0, mon = 3;
  int step = 0;
  int stat = -1, from = 0, per = 0;  // period from hour `from` to `from + per` of the run
  int member = -1, derived = -1;
  int ni = 4;                         // a grid of ni x 3 points
  int centre = 98;
};

gribfld field(const fieldrow& s, int msgno) {
  gribfld f;
  f.msgno = msgno;
  f.msgoff = 1000 * msgno;
  f.centre = s.centre;
  f.edition = s.disc < 0 ? 1 : 2;
  f.fieldno = f.edition == 2 ? 1 : 0;
  f.disc = s.disc;
  f.cat = s.cat;
  f.num = s.num;
  f.ltype = s.ltype;
  f.haslevel = s.ltype != 1;
  f.level = s.lev;
  f.g1level = static_cast<int>(s.lev);
  f.reftime = datetime{2024, s.mon, s.day, s.hour, 0};
  f.valid = f.reftime;
  gribaddunits(&f.valid, 1, s.stat >= 0 ? s.from + s.per : s.step, 2);
  f.stat = s.stat;
  if (s.stat >= 0) {
    f.period.minutes = 60L * s.per;
    f.fromref = s.from == 0;
  }
  f.member = s.member;
  f.derived = s.derived;
  g2grid& g = f.g2.grid;
  g.tmpl = 0;
  g.ni = s.ni;
  g.nj = 3;
  g.npts = g.ni * g.nj;
  g.lat1 = -10;
  g.lat2 = 10;
  g.lon1 = 0;
  g.lon2 = 10.0 * (s.ni - 1);
  g.di = g.dj = 10;
  g.scan = 0x40;
  f.g1scan = 0x40;
  f.g1.bpv = 8;
  f.g1.dataoff = f.msgoff + 100;
  return f;
}

// What a data set made: its variables as "name:levels", Z, T and notes.
struct made {
  int rc = 1;
  std::string vars, z, t, notes, out;
  std::vector<std::string> texts;
};

made build(const std::vector<fieldrow>& rows) {
  gribscanres scan;
  for (const fieldrow& s : rows) scan.fields.push_back(field(s, ++scan.messages));
  datafile* pfi = getpfi();
  made m;
  testing::internal::CaptureStdout();
  m.rc = gribdataset("f.grb2", scan, pfi);
  m.out = testing::internal::GetCapturedStdout();
  if (m.rc == 0) {
    for (const filevar& v : pfi->pvar1) {
      m.vars += (m.vars.empty() ? "" : " ") + v.abbrv + ":" + std::to_string(v.levels);
      m.texts.push_back(v.varnm);
    }
    std::ostringstream z, t;
    for (int k = 1; k <= pfi->dnum[2]; k++) z << (k > 1 ? " " : "") << pfi->gr2ab[2](pfi->grvals[2], k);
    m.z = z.str();
    datetime a, b;
    gr2t(pfi->grvals[3], 1.0, &a);
    gr2t(pfi->grvals[3], pfi->dnum[3], &b);
    t << pfi->dnum[3] << " " << omt2str(&a, 4) << " " << omt2str(&b, 4);
    m.t = t.str();
    for (const std::string& n : pfi->notes) m.notes += n + "\n";
  }
  frepfi(pfi, 0);
  return m;
}

struct row {
  const char* name;
  std::vector<fieldrow> fields;
  const char* vars;
  const char* z;       // "" for none to check
  const char* t;
  const char* note;    // a line the notes hold, "" none to check
  const char* text;    // a description the variables have, "" none to check
};

fieldrow at(int ltype, double lev, fieldrow s = fieldrow()) {
  s.ltype = ltype;
  s.lev = lev;
  return s;
}
fieldrow param(int d, int c, int n, fieldrow s = fieldrow()) {
  s.disc = d;
  s.cat = c;
  s.num = n;
  return s;
}
fieldrow when(int day, int hour, int step, fieldrow s = fieldrow()) {
  s.day = day;
  s.hour = hour;
  s.step = step;
  return s;
}
fieldrow month(int m) {
  fieldrow s;
  s.day = 1;
  s.mon = m;
  return s;
}
fieldrow accum(int from, int per, fieldrow s) {
  s.stat = 1;
  s.from = from;
  s.per = per;
  return s;
}
fieldrow member(int m, fieldrow s = fieldrow()) {
  s.member = m;
  return s;
}

const fieldrow tsfc = at(1, 0, param(0, 1, 52));  // precipitation at the ground

class GribSet : public ddtest::DataTest {};

TEST_F(GribSet, FieldsMakeVariablesLevelsAndTimes) {
  fieldrow other = fieldrow();
  other.ni = 5;
  fieldrow dup = fieldrow();
  fieldrow deriv = fieldrow();
  deriv.derived = 0;
  fieldrow g1 = fieldrow();
  g1.disc = -1;
  g1.cat = 2;
  g1.num = 11;
  g1.lev = 500;
  const std::vector<row> rows = {
      {"isobaric levels make Z from the bottom", {at(100, 50000), at(100, 100000), at(100, 85000)}, "t:3",
       "1000 850 500", "1 00Z01MAR2024 00Z01MAR2024", "Z: Isobaric surface (hPa)", "Temperature [K], Isobaric surface"},
      {"a level the tables name names the variable", {at(100, 85000), at(103, 2)}, "t:1 t2m:0", "850", "", "",
       "2 metre temperature [K], Specified height level above ground 2 m"},
      {"another level type is told apart by its type",
       {at(100, 85000), at(103, 80), param(0, 2, 2, at(100, 85000))}, "t:1 t_l103:0 u:1", "", "", "", ""},
      {"levels of a type that is not Z are told apart by their values",
       {at(100, 85000), at(103, 80), at(103, 100.5)}, "t:1 t_l103_80:0 t_l103_100p5:0", "", "", "", ""},
      {"without isobaric surfaces the type with most levels is Z",
       {at(105, 1), at(105, 2), at(105, 3), at(103, 2)}, "t:3 t2m:0", "1 2 3", "", "Z: Hybrid level", ""},
      {"surfaces alone make no Z", {param(0, 3, 1, at(101, 0)), param(0, 3, 5, at(1, 0))}, "prmsl:0 orog:0", "0",
       "", "", "Pressure reduced to MSL [Pa], Mean sea level"},
      {"a parameter the tables lack is named by its numbers", {param(0, 250, 251)}, "var0_250_251:1", "", "", "",
       "discipline 0 category 250 number 251, Isobaric surface"},
      {"GRIB1 parameters are named by their table", {g1}, "t:1", "500", "", "", "Temperature [K], Isobaric surface"},
      {"steps of one run make T of valid times", {when(1, 0, 0), when(1, 0, 6), when(1, 0, 12)}, "t:1", "",
       "3 00Z01MAR2024 12Z01MAR2024", "T: the valid times (reference time plus forecast step)", ""},
      {"uneven steps make an axis of the smallest step", {when(1, 0, 0), when(1, 0, 3), when(1, 0, 12)}, "t:1", "",
       "5 00Z01MAR2024 12Z01MAR2024", "", ""},
      {"monthly means make a monthly axis", {month(1), month(2), month(4)}, "t:1", "", "4 00Z01JAN2024 00Z01APR2024", "",
       ""},
      {"times too uneven for an axis of steps keep their dates", {when(1, 0, 0), when(1, 0, 1), when(31, 0, 24 * 365)},
       "t:1", "", "3 00Z01MAR2024 00Z31MAR2025", "", ""},
      {"analyses make T of their times", {when(1, 0, 0), when(1, 6, 0), when(1, 12, 0)}, "t:1", "",
       "3 00Z01MAR2024 12Z01MAR2024", "T: the valid times (reference time plus forecast step)", ""},
      {"runs of one step make T of their reference times", {when(1, 0, 24), when(2, 0, 24), when(3, 0, 24)}, "t:1",
       "", "3 00Z01MAR2024 00Z03MAR2024", "T: the reference times; every field is valid 24 h after its time", ""},
      {"overlapping runs give each time the latest run's field",
       {when(1, 0, 0), when(1, 0, 6), when(1, 0, 12), when(1, 6, 0), when(1, 6, 6)}, "t:1", "",
       "3 00Z01MAR2024 12Z01MAR2024", "Left out 2 messages (2-3): an earlier forecast of a time that a later one gives",
       ""},
      {"accumulations of one period are one variable", {accum(0, 6, tsfc), accum(6, 6, tsfc)}, "tp:0", "",
       "2 06Z01MAR2024 12Z01MAR2024", "", "Total Precipitation [kg m**-2], Ground or water surface, Accumulation over 6 h"},
      {"accumulations from the start of a run are one variable", {accum(0, 6, tsfc), accum(0, 12, tsfc)}, "tp:0",
       "", "2 06Z01MAR2024 12Z01MAR2024", "",
       "Total Precipitation [kg m**-2], Ground or water surface, Accumulation since the start of the forecast"},
      {"accumulations of two periods are told apart by them",
       {accum(0, 6, tsfc), accum(6, 6, tsfc), accum(0, 12, tsfc)}, "tp_6h:0 tp_12h:0", "", "", "", ""},
      {"an accumulation beside the rate is told apart by its statistic", {tsfc, accum(0, 6, tsfc)},
       "tprate:0 tp:0", "", "", "", ""},
      {"ensemble members are variables of their own", {member(1), member(2), member(1, at(100, 85000))},
       "t_m1:2 t_m2:2", "850 500", "", "", "Temperature [K], Isobaric surface, member 2"},
      {"a derived forecast beside members", {member(1), deriv}, "t_m1:1 t_mean:1", "", "", "",
       "Temperature [K], Isobaric surface, ensemble mean"},
      {"a field of another grid is left out", {fieldrow(), other}, "t:1", "", "",
       "Left out 1 message (2): another grid (latitude-longitude 5 x 3)", ""},
      {"the same field again is left out", {fieldrow(), dup}, "t:1", "", "", "Left out 1 message (2): the same field again",
       ""},
      {"fields taken count those the index holds", {fieldrow(), dup, dup}, "t:1", "", "",
       "GRIB file scanned: 3 messages (GRIB2), 1 field taken", ""},
  };
  for (const row& r : rows) {
    made m = build(r.fields);
    ASSERT_EQ(m.rc, 0) << r.name << "\n" << m.out;
    EXPECT_EQ(m.vars, r.vars) << r.name;
    if (*r.z) EXPECT_EQ(m.z, r.z) << r.name;
    if (*r.t) EXPECT_EQ(m.t, r.t) << r.name;
    if (*r.note) EXPECT_NE(m.notes.find(std::string(r.note) + "\n"), std::string::npos) << r.name << "\n" << m.notes;
    if (*r.text) {
      bool found = false;
      for (const std::string& s : m.texts) found = found || s == r.text;
      EXPECT_TRUE(found) << r.name << ": " << r.text;
    }
  }
}

TEST_F(GribSet, NamesStayWithinFifteenCharactersAndApart) {
  // Long names, levels and members: every name an expression can take,
  // none alike.
  std::vector<fieldrow> f = {fieldrow()};  // isobaric surfaces are Z
  for (int m = 1; m <= 12; m++) {
    f.push_back(member(m, param(0, 250, 251, at(103, 10.25))));
    f.push_back(member(m, param(0, 250, 251, at(103, 100.75))));
  }
  made r = build(f);
  ASSERT_EQ(r.rc, 0) << r.out;
  std::istringstream in(r.vars);
  EXPECT_NE(r.vars.find(" v3_100p75_m1:0 "), std::string::npos) << r.vars;
  std::vector<std::string> seen;
  for (std::string w; in >> w;) {
    std::string n = w.substr(0, w.find(':'));
    EXPECT_LE(n.size(), 15u) << n;
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(n[0])) != 0) << n;
    for (const std::string& s : seen) EXPECT_NE(s, n);
    seen.push_back(n);
  }
  EXPECT_EQ(seen.size(), 25u);
}

TEST_F(GribSet, NothingToShowIsAnErrorThatSaysWhy) {
  gribscanres scan;
  gribfld f = field(fieldrow(), 1);
  f.unread = "spherical harmonics";
  scan.fields.push_back(f);
  gribfld wide = field(fieldrow(), 3);
  wide.g2.grid.tmpl = 90;
  scan.fields.push_back(wide);
  scan.skips.push_back({0, 4, "32 bytes between messages that are no GRIB"});
  scan.skips.push_back({2, 5000, "the file ends inside the message"});
  scan.messages = 3;
  datafile* pfi = getpfi();
  testing::internal::CaptureStdout();
  int rc = gribdataset("f.grb2", scan, pfi);
  std::string out = testing::internal::GetCapturedStdout();
  frepfi(pfi, 0);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(out.find("Open Error:  no field of the GRIB file can be shown\n"
                     "  at byte 4: 32 bytes between messages that are no GRIB\n"
                     "  message 2 at byte 5000: the file ends inside the message\n"
                     "  message 1: spherical harmonics\n"
                     "  message 3: a grid template 90 4 x 3 grid the program cannot show (grid definition "
                     "template 3.90 is not shown)\n"),
            std::string::npos)
      << out;
}

}  // namespace
