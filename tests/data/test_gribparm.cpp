// The parameter tables: which record names a field, one field per row, from
// small tables written here (and the tables of the data directory).
#include <gtest/gtest.h>

#include <string>

#include "data/gribparm.h"
#include "ddtest.h"

namespace {

class GribParm : public ddtest::DataTest {
 protected:
  void TearDown() override {
    gribtabfrom("", "");
    DataTest::TearDown();
  }
};

g2pkey g2(int centre, int d, int c, int n, int ltype = 255, double lev = -1, int stat = -1, long per = -1) {
  g2pkey k;
  k.centre = centre;
  k.disc = d;
  k.cat = c;
  k.num = n;
  k.ltype = ltype;
  k.haslevel = lev >= 0;
  k.level = lev;
  k.stat = stat;
  k.period = per;
  return k;
}

TEST_F(GribParm, TheRecordThatAsksMostWinsTheCentresOwnFirst) {
  const std::string t2 =
      "# a table\n"
      "p\t-\t0\t0\t0\t-\t-\t-\t-\t-\tt\tTemperature\tK\n"
      "p\t-\t0\t0\t0\t103\t2\t-\t-\t-\tt2m\t2 metre temperature\tK\n"
      "p\t-\t0\t0\t0\t103\t2\t2\t360\t-\tmx2t6\tMaximum over 6 h\tK\n"
      "p\t7\t0\t0\t0\t-\t-\t-\t-\t-\ttmp\tNCEP temperature\tK\n"
      "p\t98\t0\t1\t193\t1\t-\t1\t-\t1\ttp\tTotal precipitation\tm\n"
      "p\t*\t10\t3\t0\t-\t-\t-\t-\t-\tsst\tSea surface temperature\tK\n"
      "p\t-\t0\t1\t8\t-\t-\t-\t-\t-\t-\tTotal precipitation\tkg m-2\n"
      "p\tbad\trecord\n"
      "l\t103\tSpecified height level above ground\tm\n"
      "s\t1\taccum\tAccumulation\n";
  gribtabfrom(tmp.write("g1.tab", "p\t-\t2\t11\t-\t-\t-\tt\tTemperature\tK\np\t-\t2\t11\t105\t2\t-\tt2m\t2 m\tK\n"),
              tmp.write("g2.tab", t2));
  g2pkey local = g2(98, 0, 1, 193, 1, -1, 1);
  local.localtab = 1;
  g2pkey otherlocal = local;
  otherlocal.localtab = 0;
  struct {
    const char* what;
    g2pkey k;
    const char* name;
    const char* text;
  } rows[] = {
      {"a parameter alone", g2(98, 0, 0, 0, 100, 50000), "t", "Temperature"},
      {"a level the record asks for", g2(98, 0, 0, 0, 103, 2), "t2m", "2 metre temperature"},
      {"another level", g2(98, 0, 0, 0, 103, 10), "t", "Temperature"},
      {"a statistic and period asked for", g2(98, 0, 0, 0, 103, 2, 2, 360), "mx2t6", "Maximum over 6 h"},
      {"another period", g2(98, 0, 0, 0, 103, 2, 2, 720), "t2m", "2 metre temperature"},
      {"the centre's own before the WMO's", g2(7, 0, 0, 0, 100, 50000), "tmp", "NCEP temperature"},
      {"ECMWF's for any centre", [&] { g2pkey k = local; k.centre = 74; return k; }(), "tp", "Total precipitation"},
      {"a local table version asked for", otherlocal, "var0_1_193", ""},
      {"older encodings last", g2(85, 10, 3, 0, 1), "sst", "Sea surface temperature"},
      {"a text without a name", g2(98, 0, 1, 8, 1), "var0_1_8", "Total precipitation"},
      {"nothing known", g2(98, 3, 4, 5), "var3_4_5", ""},
  };
  for (const auto& r : rows) {
    gribname n;
    g2pname(r.k, &n);
    EXPECT_EQ(n.name, r.name) << r.what;
    EXPECT_EQ(n.text, r.text) << r.what;
  }
  std::string units;
  EXPECT_EQ(g2levtext(103, &units), "Specified height level above ground");
  EXPECT_EQ(units, "m");
  std::string abbr;
  EXPECT_EQ(g2stattext(1, &abbr), "Accumulation");
  EXPECT_EQ(abbr, "accum");
  g2stattext(7, &abbr);
  EXPECT_EQ(abbr, "s7");
  gribname n;
  g1pkey k;
  k.table = 2;
  k.param = 11;
  k.ltype = 105;
  k.level = 2;
  EXPECT_TRUE(g1pname(k, &n));
  EXPECT_EQ(n.name, "t2m");
  k.level = 10;
  g1pname(k, &n);
  EXPECT_EQ(n.name, "t");
  k.param = 200;
  EXPECT_FALSE(g1pname(k, &n));
  EXPECT_EQ(n.name, "var2_200");
  EXPECT_EQ(gribtabmissing(), "");
}

TEST_F(GribParm, WithoutTablesNamesAreMadeOfTheNumbers) {
  gribtabfrom(tmp.path("none1.tab"), tmp.path("none2.tab"));
  gribname n;
  EXPECT_FALSE(g2pname(g2(98, 0, 0, 0), &n));
  EXPECT_EQ(n.name, "var0_0_0");
  EXPECT_EQ(gribtabmissing(), tmp.path("none2.tab"));
}

TEST_F(GribParm, TheTablesOfTheDataDirectoryNameWhatUsersKnow) {
  struct {
    g2pkey k;
    const char* name;
  } rows[] = {
      {g2(7, 0, 0, 0, 100, 50000), "t"},       {g2(7, 0, 2, 2, 100, 50000), "u"},
      {g2(7, 0, 2, 3, 100, 50000), "v"},       {g2(7, 0, 3, 5, 100, 50000), "gh"},
      {g2(7, 0, 3, 1, 101), "prmsl"},          {g2(7, 0, 1, 8, 1, -1, 1), "tp"},
      {g2(98, 0, 3, 0, 101), "msl"},           {g2(98, 0, 0, 0, 103, 2), "t2m"},
      {g2(98, 0, 2, 2, 103, 10), "u10"},       {g2(98, 0, 1, 52, 1, -1, 1), "tp"},
      {g2(98, 0, 1, 1, 100, 85000), "r"},      {g2(98, 0, 3, 5, 1), "orog"},
  };
  for (const auto& r : rows) {
    gribname n;
    g2pname(r.k, &n);
    EXPECT_EQ(n.name, r.name) << r.k.disc << "/" << r.k.cat << "/" << r.k.num;
  }
}

}  // namespace
