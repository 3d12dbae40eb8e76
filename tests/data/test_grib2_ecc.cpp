// GRIB edition 2 fields decoded here and by ecCodes (grib_get_data): one
// row per packing, bit map, grid and scanning order, every value equal in
// single precision and every point where ecCodes puts it.  The files are
// made at test time by ecCodes' tools from its samples, their data written
// by tests/data/grib2/g2pack.py; without the tools the test is skipped.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "data/grib2.h"
#include "ddtest.h"
#include "gribcompare.h"

namespace {

using namespace gribcmp;

bool have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

std::string slurp(const std::string& path) {
  std::string s;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return s;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

// Every field of every message of a file.
struct msgfield {
  size_t at;
  g2field f;
};
std::vector<msgfield> scanfile(const std::string& data, std::string* why) {
  std::vector<msgfield> out;
  size_t pos = 0;
  while ((pos = data.find("GRIB", pos)) != std::string::npos) {
    const unsigned char* m = reinterpret_cast<const unsigned char*>(data.data()) + pos;
    std::vector<g2field> fs;
    if (g2scanmsg(m, data.size() - pos, &fs, why)) return out;
    for (const g2field& f : fs) out.push_back({pos, f});
    pos += static_cast<size_t>(fs.empty() ? 4 : fs[0].msglen);
  }
  return out;
}

// What a comparison found.
struct verdict {
  size_t fields = 0, points = 0, compared = 0, differ = 0, missing = 0;
  double poserr = 0.0;  // largest distance of a projected point from ecCodes', degrees
  std::string note;
};

verdict compare(const std::string& path) {
  verdict r;
  const std::string data = slurp(path);
  std::string why;
  const std::vector<msgfield> mine = scanfile(data, &why);
  const std::vector<ecfield> ec = ecdecode(path);
  r.fields = mine.size();
  if (!why.empty()) r.note = "scan: " + why;
  if (mine.size() != ec.size()) {
    r.note += " fields: " + std::to_string(mine.size()) + " here, " + std::to_string(ec.size()) + " by ecCodes";
    return r;
  }
  for (size_t n = 0; n < ec.size(); n++) {
    const g2field& f = mine[n].f;
    const unsigned char* m = reinterpret_cast<const unsigned char*>(data.data()) + mine[n].at;
    std::vector<float> grid(static_cast<size_t>(g2points(f)));
    g2axes ax;
    if (g2decode(m, data.size() - mine[n].at, f, grid.data(), grid.size(), kU, &why) || g2gridaxes(f, &ax, &why)) {
      r.note += " field " + std::to_string(n + 1) + ": " + why;
      continue;
    }
    const fieldcmp c = comparefield(f, ax, grid, ec[n]);
    r.points += c.points;
    r.compared += c.compared;
    r.differ += c.differ;
    r.missing += c.missing;
    r.poserr = std::max(r.poserr, c.poserr);
    if (!c.note.empty()) r.note += " " + c.note;
  }
  return r;
}

// A case: the shell commands that make c.grb2 (in the scratch directory,
// with $P the data writer and $S ecCodes' samples), and what it must show.
struct row {
  const char* name;
  const char* make;
  bool projected;   // points compared by position, not looked up
  double share;     // least share of ecCodes' points compared (reduced grids: < 1)
  bool missing;     // some points have no value
};

const row kRows[] = {
    // Packings, on a latitude-longitude grid north to south.
    {"simple 16 bits", "cp ll.grb2 c.grb2", false, 1, false},
    {"simple with a bit map", "cp llm.grb2 c.grb2", false, 1, true},
    {"simple 24 bits, decimal scale 3", "python3 $P fill gg.grb2 c.grb2 24 3", false, 1, false},
    {"simple 32 bits", "python3 $P fill gg.grb2 c.grb2 32 0", false, 1, false},
    {"simple 1 bit", "python3 $P fill gg.grb2 c.grb2 1 0", false, 1, false},
    {"constant field, 0 bits", "grib_set -s decimalScaleFactor=2 -d 5.25 ll.grb2 c.grb2", false, 1, false},
    {"complex", "grib_set -r -s packingType=grid_complex ll.grb2 c.grb2", false, 1, false},
    {"complex with a bit map", "grib_set -r -s packingType=grid_complex llm.grb2 c.grb2", false, 1, true},
    {"complex, differencing of order 0",
     "grib_set -r -s packingType=grid_complex_spatial_differencing ll.grb2 c.grb2", false, 1, false},
    {"complex, constant field: 0 bits, 0 groups, a bit map", "python3 $P constant llm.grb2 c.grb2 0", false, 1, true},
    {"complex, missing values", "python3 $P complex ll.grb2 c.grb2 0 2", false, 1, true},
    {"spatial differencing order 1", "python3 $P complex ll.grb2 c.grb2 1 0", false, 1, false},
    {"spatial differencing order 1, primary missing", "python3 $P complex ll.grb2 c.grb2 1 1", false, 1, true},
    {"spatial differencing order 2", "python3 $P complex ll.grb2 c.grb2 2 0", false, 1, false},
    {"spatial differencing order 2, both missing", "python3 $P complex ll.grb2 c.grb2 2 2", false, 1, true},
    {"spatial differencing, groups wholly missing", "python3 $P complex ll.grb2 c.grb2 2 2 1", false, 1, true},
    {"JPEG 2000", "grib_set -r -s packingType=grid_jpeg ll.grb2 c.grb2", false, 1, false},
    {"JPEG 2000 with a bit map", "grib_set -r -s packingType=grid_jpeg ggm.grb2 c.grb2", false, 1, true},
    {"JPEG 2000, 24 bits", "python3 $P fill gg.grb2 x.grb2 24 3 && grib_set -r -s packingType=grid_jpeg x.grb2 c.grb2",
     false, 1, false},
    {"PNG", "grib_set -r -s packingType=grid_png gg.grb2 c.grb2", false, 1, false},
    {"PNG with a bit map", "grib_set -r -s packingType=grid_png ggm.grb2 c.grb2", false, 1, true},
    {"PNG, 4 bits", "python3 $P fill gg.grb2 x.grb2 4 0 && grib_set -r -s packingType=grid_png x.grb2 c.grb2", false,
     1, false},
    {"PNG, 24 bits", "python3 $P fill gg.grb2 x.grb2 24 3 && grib_set -r -s packingType=grid_png x.grb2 c.grb2",
     false, 1, false},
    {"CCSDS", "grib_set -r -s packingType=grid_ccsds ll.grb2 c.grb2", false, 1, false},
    {"CCSDS with a bit map", "grib_set -r -s packingType=grid_ccsds ggm.grb2 c.grb2", false, 1, true},
    {"CCSDS, 24 bits", "python3 $P fill gg.grb2 x.grb2 24 3 && grib_set -r -s packingType=grid_ccsds x.grb2 c.grb2",
     false, 1, false},
    {"IEEE 32 bits", "grib_set -r -s packingType=grid_ieee ll.grb2 c.grb2", false, 1, false},
    {"IEEE 64 bits", "grib_set -r -s packingType=grid_ieee,precision=2 ll.grb2 c.grb2", false, 1, false},
    {"IEEE with a bit map", "grib_set -r -s packingType=grid_ieee llm.grb2 c.grb2", false, 1, true},
    {"fields of one message, grid and bit map repeated",
     "grib_set -r -s packingType=grid_ccsds ggm.grb2 x.grb2 && cat ggm.grb2 x.grb2 ggm.grb2 ll.grb2 > y.grb2 && "
     "python3 $P join y.grb2 c.grb2",
     false, 1, true},
    // Grids and scanning orders.
    {"latitude-longitude south to north",
     "grib_set -s latitudeOfFirstGridPointInDegrees=0,latitudeOfLastGridPointInDegrees=60,jScansPositively=1 "
     "ll.grb2 c.grb2",
     false, 1, false},
    {"latitude-longitude east to west",
     "grib_set -s longitudeOfFirstGridPointInDegrees=30,longitudeOfLastGridPointInDegrees=0,iScansNegatively=1 "
     "ll.grb2 c.grb2",
     false, 1, false},
    {"latitude-longitude, columns consecutive", "grib_set -s jPointsAreConsecutive=1 llm.grb2 c.grb2", false, 1, true},
    {"latitude-longitude, columns consecutive, east to west, south to north",
     "grib_set -s jPointsAreConsecutive=1,longitudeOfFirstGridPointInDegrees=30,longitudeOfLastGridPointInDegrees=0,"
     "iScansNegatively=1,latitudeOfFirstGridPointInDegrees=0,latitudeOfLastGridPointInDegrees=60,jScansPositively=1 "
     "ll.grb2 c.grb2",
     false, 1, false},
    {"latitude-longitude across the date line",
     "grib_set -s longitudeOfFirstGridPointInDegrees=170,longitudeOfLastGridPointInDegrees=200 ll.grb2 c.grb2", false,
     1, false},
    {"regular Gaussian", "cp gg.grb2 c.grb2", false, 1, false},
    {"regular Gaussian south to north",
     "grib_set -s latitudeOfFirstGridPointInDegrees=-87.8638,latitudeOfLastGridPointInDegrees=87.8638,"
     "jScansPositively=1 ggm.grb2 c.grb2",
     false, 1, true},
    {"reduced Gaussian", "cp $S/gg_sfc_grib2.tmpl c.grb2", false, 0.5, false},
    {"reduced Gaussian, JPEG 2000", "cp $S/reduced_gg_sfc_jpeg_grib2.tmpl c.grb2", false, 0.5, false},
    {"reduced latitude-longitude", "python3 $P fill $S/reduced_ll_sfc_grib2.tmpl c.grb2 12 1", false, 0.05, false},
    {"rotated latitude-longitude",
     "grib_set -s latitudeOfSouthernPoleInDegrees=-40,longitudeOfSouthernPoleInDegrees=10,jScansPositively=1,"
     "latitudeOfFirstGridPointInDegrees=-20,latitudeOfLastGridPointInDegrees=40 rot.grb2 c.grb2",
     true, 1, false},
    {"rotated latitude-longitude, turned",
     "grib_set -s latitudeOfSouthernPoleInDegrees=-30,longitudeOfSouthernPoleInDegrees=200,angleOfRotationInDegrees="
     "30,latitudeOfFirstGridPointInDegrees=40,latitudeOfLastGridPointInDegrees=-20 rot.grb2 c.grb2",
     true, 1, false},
    {"polar stereographic, north",
     "grib_set -s DxInMetres=100000,DyInMetres=100000,latitudeOfFirstGridPointInDegrees=20,"
     "longitudeOfFirstGridPointInDegrees=200,orientationOfTheGridInDegrees=255,LaDInDegrees=60,jScansPositively=1 "
     "ps.grb2 c.grb2",
     true, 1, false},
    {"polar stereographic, south, true at 70",
     "grib_set -s DxInMetres=50000,DyInMetres=60000,latitudeOfFirstGridPointInDegrees=-20,"
     "longitudeOfFirstGridPointInDegrees=100,orientationOfTheGridInDegrees=80,LaDInDegrees=-70,projectionCentreFlag="
     "128,jScansPositively=1 ps.grb2 c.grb2",
     true, 1, false},
    {"Lambert conformal",
     "grib_set -s gridType=lambert,Nx=16,Ny=31,latitudeOfFirstGridPointInDegrees=20,"
     "longitudeOfFirstGridPointInDegrees=230,LoVInDegrees=265,LaDInDegrees=25,Latin1InDegrees=25,Latin2InDegrees=45,"
     "DxInMetres=120000,DyInMetres=120000,jScansPositively=1 llm.grb2 c.grb2",
     true, 1, true},
    {"Lambert conformal, one secant latitude",
     "grib_set -s gridType=lambert,Nx=16,Ny=31,latitudeOfFirstGridPointInDegrees=35,"
     "longitudeOfFirstGridPointInDegrees=10,LoVInDegrees=20,LaDInDegrees=50,Latin1InDegrees=50,Latin2InDegrees=50,"
     "DxInMetres=30000,DyInMetres=30000,jScansPositively=1 ll.grb2 c.grb2",
     true, 1, false},
    {"Mercator",
     "grib_set -s gridType=mercator,Ni=16,Nj=31,latitudeOfFirstGridPointInDegrees=-10,"
     "longitudeOfFirstGridPointInDegrees=350,LaDInDegrees=20,latitudeOfLastGridPointInDegrees=40,"
     "longitudeOfLastGridPointInDegrees=20,DiInMetres=200000,DjInMetres=200000,jScansPositively=1 ll.grb2 c.grb2",
     true, 1, false},
};

class Grib2Ecc : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ok_ = have("grib_get_data") && have("grib_set") && have("python3");
    if (!ok_) return;
    dir_ = new ddtest::Scratch;
    // The common sources: varying values on ecCodes' sample grids.
    const std::string sh = "cd '" + dir_->dir() + "' && P='" OMBRA_SOURCE_DIR "/tests/data/grib2/g2pack.py' && "
                           "S=/usr/share/eccodes/samples && "
                           "python3 $P fill $S/regular_ll_sfc_grib2.tmpl ll.grb2 16 1 && "
                           "python3 $P fill $S/regular_ll_sfc_grib2.tmpl llm.grb2 16 1 5 && "
                           "python3 $P fill $S/regular_gg_sfc_grib2.tmpl gg.grb2 12 2 && "
                           "python3 $P fill $S/regular_gg_sfc_grib2.tmpl ggm.grb2 12 2 7 && "
                           "python3 $P fill $S/rotated_ll_sfc_grib2.tmpl rot.grb2 12 2 && "
                           "python3 $P fill $S/polar_stereographic_sfc_grib2.tmpl ps.grb2 12 2";
    ok_ = std::system(sh.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static bool ok_;
  static ddtest::Scratch* dir_;
};
bool Grib2Ecc::ok_ = false;
ddtest::Scratch* Grib2Ecc::dir_ = nullptr;

TEST_F(Grib2Ecc, EveryRowEqualsEcCodes) {
  if (!ok_) GTEST_SKIP() << "ecCodes' tools are not installed";
  for (const row& w : kRows) {
    SCOPED_TRACE(w.name);
    const std::string sh = "cd '" + dir_->dir() + "' && rm -f c.grb2 && P='" OMBRA_SOURCE_DIR
                           "/tests/data/grib2/g2pack.py' && S=/usr/share/eccodes/samples && (" +
                           w.make + ") >/dev/null 2>&1";
    if (std::system(sh.c_str()) != 0) {
      ADD_FAILURE() << "could not make the file: " << w.make;
      continue;
    }
    const verdict v = compare(dir_->path("c.grb2"));
    EXPECT_EQ(v.note, "");
    EXPECT_GT(v.points, 0u);
    EXPECT_EQ(v.differ, 0u) << v.compared << " compared";
    EXPECT_GE(static_cast<double>(v.compared), w.share * static_cast<double>(v.points));
    EXPECT_EQ(v.missing > 0, w.missing);
    if (w.projected) {
      EXPECT_LT(v.poserr, 1e-5);
    }
  }
}

// A reduced grid's rows are filled out by linear interpolation along each
// row, round the globe: the same values as cdo's expansion to the full
// grid.
TEST_F(Grib2Ecc, ReducedRowsExpandAsCdoDoes) {
  if (!ok_ || !have("cdo")) GTEST_SKIP() << "ecCodes' tools or cdo are not installed";
  const std::string sh = "cd '" + dir_->dir() +
                         "' && cdo -s -b F64 setgridtype,regular /usr/share/eccodes/samples/gg_sfc_grib2.tmpl "
                         "full.grb2 >/dev/null 2>&1";
  ASSERT_EQ(std::system(sh.c_str()), 0);
  const std::vector<ecfield> full = ecdecode(dir_->path("full.grb2"));
  ASSERT_EQ(full.size(), 1u);
  const std::string data = slurp("/usr/share/eccodes/samples/gg_sfc_grib2.tmpl");
  std::string why;
  const std::vector<msgfield> fs = scanfile(data, &why);
  ASSERT_EQ(fs.size(), 1u) << why;
  const g2field& f = fs[0].f;
  std::vector<float> grid(static_cast<size_t>(g2points(f)));
  ASSERT_EQ(grid.size(), full[0].val.size());
  ASSERT_EQ(g2decode(reinterpret_cast<const unsigned char*>(data.data()), data.size(), f, grid.data(), grid.size(),
                     kU, &why),
            0)
      << why;
  // cdo's rows run north to south, ours south to north.
  const int ni = f.grid.ni, nj = f.grid.nj;
  double worst = 0;
  for (int j = 0; j < nj; j++)
    for (int i = 0; i < ni; i++) {
      const double c = full[0].val[static_cast<size_t>(nj - 1 - j) * ni + i];
      worst = std::max(worst, std::fabs(grid[static_cast<size_t>(j) * ni + i] - c) / std::fabs(c));
    }
  EXPECT_LT(worst, 1e-7);  // single precision
}

// What the product section says, as ecCodes reads it: one row per
// product template of the kinds a data set is made of (plain, ensemble
// member, derived, probability, percentile, statistical over a period,
// their combinations, chemical constituents).
TEST_F(Grib2Ecc, ProductsReadAsEcCodesReadsThem) {
  if (!ok_) GTEST_SKIP() << "ecCodes' tools are not installed";
  const char* rows[] = {
      "productDefinitionTemplateNumber=0,typeOfFirstFixedSurface=100,scaleFactorOfFirstFixedSurface=-2,"
      "scaledValueOfFirstFixedSurface=850,forecastTime=36,indicatorOfUnitOfTimeRange=1",
      "productDefinitionTemplateNumber=1,perturbationNumber=3,numberOfForecastsInEnsemble=51,typeOfEnsembleForecast=3",
      "productDefinitionTemplateNumber=2,derivedForecast=4,numberOfForecastsInEnsemble=20",
      "productDefinitionTemplateNumber=5,probabilityType=3,scaleFactorOfLowerLimit=1,scaledValueOfLowerLimit=25",
      "productDefinitionTemplateNumber=6,percentileValue=90",
      "productDefinitionTemplateNumber=8,typeOfStatisticalProcessing=1,lengthOfTimeRange=6,forecastTime=18,"
      "yearOfEndOfOverallTimeInterval=2021,monthOfEndOfOverallTimeInterval=2,dayOfEndOfOverallTimeInterval=3,"
      "hourOfEndOfOverallTimeInterval=18",
      "productDefinitionTemplateNumber=9,probabilityType=1,typeOfStatisticalProcessing=1,lengthOfTimeRange=24",
      "productDefinitionTemplateNumber=10,percentileValue=10,typeOfStatisticalProcessing=2,lengthOfTimeRange=3",
      "productDefinitionTemplateNumber=11,perturbationNumber=7,numberOfForecastsInEnsemble=21,"
      "typeOfStatisticalProcessing=0,indicatorOfUnitForTimeRange=0,lengthOfTimeRange=90",
      "productDefinitionTemplateNumber=12,derivedForecast=2,typeOfStatisticalProcessing=3,lengthOfTimeRange=12",
      "productDefinitionTemplateNumber=40,constituentType=5,typeOfFirstFixedSurface=105,forecastTime=3",
      "productDefinitionTemplateNumber=41,constituentType=5,perturbationNumber=2",
      "productDefinitionTemplateNumber=42,constituentType=5,typeOfStatisticalProcessing=1,lengthOfTimeRange=6",
      "productDefinitionTemplateNumber=43,constituentType=5,perturbationNumber=4,typeOfStatisticalProcessing=1,"
      "lengthOfTimeRange=6",
  };
  const std::string keys =
      "productDefinitionTemplateNumber,parameterCategory,parameterNumber,typeOfGeneratingProcess,"
      "indicatorOfUnitOfTimeRange,forecastTime,typeOfFirstFixedSurface:i,typeOfEnsembleForecast,perturbationNumber,"
      "numberOfForecastsInEnsemble,derivedForecast,probabilityType,percentileValue,numberOfTimeRange,"
      "typeOfStatisticalProcessing,indicatorOfUnitForTimeRange,lengthOfTimeRange,yearOfEndOfOverallTimeInterval,"
      "monthOfEndOfOverallTimeInterval,dayOfEndOfOverallTimeInterval,hourOfEndOfOverallTimeInterval,"
      "scaleFactorOfFirstFixedSurface,scaledValueOfFirstFixedSurface";
  for (const char* set : rows) {
    SCOPED_TRACE(set);
    const std::string sh = "cd '" + dir_->dir() + "' && grib_set -s '" + std::string(set) + "' ll.grb2 p.grb2";
    ASSERT_EQ(std::system(sh.c_str()), 0);
    const std::vector<std::string> got = lines("grib_get -f -p " + keys + " '" + dir_->path("p.grb2") + "'");
    ASSERT_EQ(got.size(), 1u);
    const std::string data = slurp(dir_->path("p.grb2"));
    std::string why;
    const std::vector<msgfield> fs = scanfile(data, &why);
    ASSERT_EQ(fs.size(), 1u) << why;
    const g2prod& p = fs[0].f.prod;
    // Ours in ecCodes' words: a part the template lacks is not_found.
    auto w = [](int64_t v) { return v < 0 ? std::string("not_found") : std::to_string(v); };
    const bool stat = p.nstat > 0;
    auto sw = [&](int64_t v) { return stat ? std::to_string(v) : std::string("not_found"); };
    std::string mine = w(p.tmpl) + " " + w(p.cat) + " " + w(p.num) + " " + w(p.gentype) + " " + w(p.ftunit) + " " +
                       std::to_string(p.ftime) + " " + w(p.sfc1type) + " " + w(p.enstype) + " " + w(p.member) + " " +
                       w(p.nmembers) + " " + w(p.derived) + " " + w(p.probtype) + " " + w(p.percentile) + " " +
                       sw(p.nstat) + " " + sw(p.stattype) + " " + sw(p.statunit) + " " + sw(p.statlen) + " " +
                       sw(p.statend[0]) + " " + sw(p.statend[1]) + " " + sw(p.statend[2]) + " " + sw(p.statend[3]);
    // The first surface's value: its scale factor and scaled value.
    double sf = 0, sv = 0;
    const std::string& g = got[0];
    const size_t cut = g.rfind(' ', g.rfind(' ') - 1);
    EXPECT_EQ(g.substr(0, cut), mine);
    if (std::sscanf(g.c_str() + cut, "%lf %lf", &sf, &sv) == 2) {
      EXPECT_TRUE(p.sfc1ok);
      EXPECT_DOUBLE_EQ(p.sfc1, sv / std::pow(10.0, sf));
    }
  }
}

}  // namespace
