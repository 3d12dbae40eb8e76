// The scan of GRIB files made with ecCodes' tools from their samples: what
// each field is, and what of a damaged file is skipped, one file per row.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "data/datetime.h"
#include "data/gribscan.h"
#include "ddtest.h"
#include "grib2_util.h"

namespace {

bool haveeccodes() { return std::system("command -v grib_set >/dev/null 2>&1 && command -v python3 >/dev/null 2>&1") == 0; }

// Rewrites byte at of file f to v (after the shell's commands).
std::string poke(const char* f, long at, int v) {
  return "python3 -c \"import sys; b=bytearray(open('" + std::string(f) + "','rb').read()); b[" + std::to_string(at) +
         "]=" + std::to_string(v) + "; open('" + f + "','wb').write(b)\"";
}

struct scanrow {
  const char* name;
  std::string make;  // shell commands in the scratch folder that make f.grb
  int messages;
  int fields;
  const char* skip;  // a reason of what was skipped, "" none
  std::function<void(const gribscanres&)> check;
};

class GribScan : public ddtest::DataTest {};

TEST_F(GribScan, FilesOfEcCodesSamples) {
  if (!haveeccodes()) GTEST_SKIP() << "grib_set or python3 not installed";
  const std::string S = "/usr/share/eccodes/samples/";
  const std::string g1 = S + "GRIB1.tmpl", g2 = S + "GRIB2.tmpl";
  const std::vector<scanrow> rows = {
      {"one GRIB2 message", "cp " + g2 + " f.grb", 1, 1, "",
       [](const gribscanres& r) {
         const gribfld& f = r.fields[0];
         EXPECT_EQ(f.edition, 2);
         EXPECT_EQ(f.fieldno, 1);
         EXPECT_EQ(f.centre, 98);
         EXPECT_EQ(f.msgoff, 0);
         EXPECT_EQ(f.g2.grid.ni, 16);
         EXPECT_TRUE(f.unread.empty()) << f.unread;
       }},
      {"GRIB1 and GRIB2 in one file", "cat " + g1 + " " + g2 + " " + g1 + " > f.grb", 3, 3, "",
       [](const gribscanres& r) {
         EXPECT_EQ(r.fields[0].edition, 1);
         EXPECT_EQ(r.fields[1].edition, 2);
         EXPECT_EQ(r.fields[2].msgno, 3);
         EXPECT_EQ(r.fields[0].cat, 128);  // table 2 version
         EXPECT_EQ(r.fields[0].num, 129);  // geopotential
         EXPECT_TRUE(r.fields[0].haslevel);
         EXPECT_EQ(r.fields[0].level, 500);
         EXPECT_EQ(r.fields[0].g2.grid.ni, 360);
         EXPECT_EQ(r.fields[0].g1scan & 0x40, 0);  // rows from the north
       }},
      {"bytes between messages", "(cat " + g2 + "; printf 'junk!'; cat " + g2 + ") > f.grb", 2, 2,
       "5 bytes between messages that are no GRIB", nullptr},
      {"a cut-short last message", "n=$(stat -c %s " + g2 + ") && cat " + g2 + " " + g2 + " | head -c $((2 * n - 10)) > f.grb",
       2, 1, "the file ends after ", nullptr},
      {"a section length beyond its message",
       "cat " + g2 + " " + g2 + " " + g2 + " > f.grb && n=$(stat -c %s " + g2 + ") && " +
           poke("f.grb", 0, 'G') + " && python3 -c \"import sys; n=$n; b=bytearray(open('f.grb','rb').read()); "
           "b[n+16:n+20]=(60000).to_bytes(4,'big'); open('f.grb','wb').write(b)\"",
       3, 2, "", [](const gribscanres& r) {
         ASSERT_EQ(r.skips.size(), 1u);
         EXPECT_EQ(r.skips[0].msgno, 2);
         EXPECT_EQ(r.fields[1].msgno, 3);  // the scan went on after the message
       }},
      {"an edition the program does not read", "cat " + g2 + " > f.grb && " + poke("f.grb", 7, 3), 1, 0,
       "GRIB edition 3, which the program does not read", nullptr},
      {"a GRIB2 accumulation over a period", "grib_set -s productDefinitionTemplateNumber=8,parameterCategory=1,"
       "parameterNumber=8,typeOfStatisticalProcessing=1,stepUnits=h,startStep=6,endStep=12 " + g2 + " f.grb", 1, 1, "",
       [](const gribscanres& r) {
         const gribfld& f = r.fields[0];
         EXPECT_EQ(f.stat, 1);
         EXPECT_EQ(f.period.minutes, 360);
         EXPECT_FALSE(f.fromref);
         EXPECT_EQ(timdif(&f.reftime, &f.valid), 720);  // the end of the period
       }},
      {"a GRIB2 ensemble member", "grib_set -s productDefinitionTemplateNumber=1,perturbationNumber=4,"
       "numberOfForecastsInEnsemble=10 " + g2 + " f.grb", 1, 1, "",
       [](const gribscanres& r) { EXPECT_EQ(r.fields[0].member, 4); }},
      {"a GRIB1 member of ECMWF's local definition", "grib_set -s localDefinitionNumber=1,marsType=pf,number=3 " + g1 + " f.grb",
       1, 1, "", [](const gribscanres& r) { EXPECT_EQ(r.fields[0].member, 3); }},
      {"a GRIB1 accumulation", "grib_set -s timeRangeIndicator=4,P1=0,P2=6,indicatorOfParameter=61,"
       "indicatorOfTypeOfLevel=1 " + g1 + " f.grb", 1, 1, "",
       [](const gribscanres& r) {
         const gribfld& f = r.fields[0];
         EXPECT_EQ(f.stat, 1);
         EXPECT_EQ(f.period.minutes, 360);
         EXPECT_TRUE(f.fromref);
         EXPECT_FALSE(f.haslevel);
         EXPECT_EQ(f.valid.hr, f.reftime.hr + 6);
       }},
      {"GRIB1 packing the GRIB1 reader does not read",
       "cp " + g1 + " f.grb && " + "python3 -c \"b=bytearray(open('f.grb','rb').read()); p=8; p+=int.from_bytes(b[p:p+3],'big'); "
       "p+=int.from_bytes(b[p:p+3],'big'); b[p+3]|=0x40; open('f.grb','wb').write(b)\"",
       1, 1, "", [](const gribscanres& r) {
         EXPECT_EQ(r.fields[0].unread, "a GRIB1 packing other than simple packing");
       }},
  };
  for (const scanrow& r : rows) {
    const std::string cmd = "cd '" + tmp.dir() + "' && rm -f f.grb && (" + r.make + ") 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << r.name;
    FILE* f = std::fopen(tmp.path("f.grb").c_str(), "rb");
    ASSERT_NE(f, nullptr) << r.name;
    gribscanres res;
    std::string why;
    EXPECT_EQ(gribscan(f, &res, &why), 0) << r.name << why;
    std::fclose(f);
    EXPECT_EQ(res.messages, r.messages) << r.name;
    EXPECT_EQ(res.fields.size(), static_cast<size_t>(r.fields)) << r.name;
    std::string skips;
    for (const gribskip& k : res.skips) skips += k.why + "\n";
    if (*r.skip) EXPECT_NE(skips.find(r.skip), std::string::npos) << r.name << "\n" << skips;
    if (r.check && !::testing::Test::HasFatalFailure()) {
      SCOPED_TRACE(r.name);
      r.check(res);
    }
  }
}

TEST_F(GribScan, OnlyRegularFilesThatBeginWithGribAreGribFiles) {
  FILE* f = std::fopen(tmp.write("g", "GRIB").c_str(), "rb");
  EXPECT_TRUE(isgribfile(f));
  std::fclose(f);
  f = std::fopen(tmp.write("d", "dset ^GRIB\n").c_str(), "rb");
  EXPECT_FALSE(isgribfile(f));
  gribscanres r;
  std::string why;
  // A bulletin header before the first message: the file is GRIB when a
  // message of a known edition and a length the file holds begins there.
  const std::string msg = g2test::simple(g2test::grid(), std::vector<uint32_t>(12, 3), 8);
  const std::string wmo = "****0000060089****\nYGAZ98 KWBN 292156\r\r\n";
  std::string cut = msg;
  cut[7] = 3;
  const struct {
    std::string bytes;
    int64_t start;
  } heads[] = {
      {wmo + msg, static_cast<int64_t>(wmo.size())},
      {wmo + "GRIB edition 2 " + msg + msg, static_cast<int64_t>(wmo.size() + 15)},
      {std::string(999, ' ') + msg, 999},
      {std::string(1000, ' ') + msg, -1},
      {wmo + cut, -1},
      {wmo + msg.substr(0, msg.size() - 1), -1},
  };
  for (const auto& h : heads) {
    FILE* hf = std::fopen(tmp.write("h", h.bytes).c_str(), "rb");
    ASSERT_NE(hf, nullptr);
    EXPECT_EQ(gribstart(hf), h.start) << h.bytes.substr(0, 40);
    if (h.start > 0) {
      // The scan begins at the message: the header is no skipped part.
      ASSERT_EQ(gribscan(hf, &r, &why), 0);
      ASSERT_GE(r.fields.size(), 1u);
      EXPECT_EQ(r.fields[0].msgoff, h.start);
      EXPECT_EQ(r.fields[0].msgno, 1);
      EXPECT_TRUE(r.skips.empty()) << r.skips[0].why;
    }
    std::fclose(hf);
  }
  FILE* dir = std::fopen(tmp.dir().c_str(), "rb");
  EXPECT_EQ(gribscan(dir, &r, &why), 1);
  EXPECT_EQ(why, "not a regular file");
  std::fclose(f);
  if (dir) std::fclose(dir);
}

}  // namespace
