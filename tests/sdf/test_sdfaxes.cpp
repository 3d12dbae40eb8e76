// Coordinate recognition, linear and level axes, value conversions and the
// time axis decoded from the many ways files state their times.
#include <gtest/gtest.h>

#include <cmath>

#include "base/cmnstate.h"
#include "data/datetime.h"
#include "sdftest.h"

using namespace sdftest;

namespace {

std::vector<double> ramp(double start, double step, int n) {
  std::vector<double> v;
  for (int i = 0; i < n; i++) v.push_back(start + step * i);
  return v;
}

TEST(sdfaxes, LongitudeWrapRoundTheGlobe) {
  sdfaxis ax;
  ASSERT_EQ(trydeflin(ramp(0, 2.5, 144), true, false, &ax), 1);
  EXPECT_EQ(ax.wraps, 1);
  EXPECT_FLOAT_EQ(ax.conv[0], 2.5f);
  EXPECT_FLOAT_EQ(ax.conv[1], -2.5f);
  EXPECT_FLOAT_EQ(ax.conv[3], 0.4f);
  ASSERT_EQ(trydeflin(ramp(-180, 2.5, 144), true, false, &ax), 1);
  EXPECT_EQ(ax.wraps, 1);
  ASSERT_EQ(trydeflin(ramp(0, 2.5, 145), true, false, &ax), 1);  // 0..360 inclusive
  EXPECT_EQ(ax.wraps, 0);
  // The step across the date line counts as 5; four points do not wrap.
  ASSERT_EQ(trydeflin({350, 355, 0, 5}, true, false, &ax), 1);
  EXPECT_EQ(ax.wraps, 0);
  EXPECT_FLOAT_EQ(ax.conv[0] + ax.conv[1], 350.0f);
  // Coordinates rounded in the file: 512 steps of 0.7031 span 359.99.
  ASSERT_EQ(trydeflin(ramp(0, 0.7031, 512), true, false, &ax), 1);
  EXPECT_EQ(ax.wraps, 1);
  // A regional grid never wraps.
  ASSERT_EQ(trydeflin(ramp(100, 1, 20), true, false, &ax), 1);
  EXPECT_EQ(ax.wraps, 0);
}

TEST(sdfaxes, LinearTestAndLevelLists) {
  sdfaxis ax;
  ASSERT_EQ(trydeflin({7}, true, false, &ax), 1);
  EXPECT_EQ(ax.conv, (std::vector<float>{1, 6, -999.9f, 1, -6, -999.9f}));  // at 7, not 1
  EXPECT_EQ(ax.wraps, 0);
  // Latitudes north to south reversed: start -90, increment 2.
  ASSERT_EQ(trydeflin(ramp(90, -2, 91), false, true, &ax), 1);
  EXPECT_FLOAT_EQ(ax.conv[0], 2.0f);
  EXPECT_FLOAT_EQ(ax.conv[0] + ax.conv[1], -90.0f);
  // Uneven spacing is no linear axis; the level list keeps or turns order.
  EXPECT_EQ(trydeflin({1000, 850, 500}, false, false, &ax), 0);
  ASSERT_EQ(sdfdeflev({1000, 850, 500}, false, &ax), 0);
  EXPECT_EQ(ax.conv.size(), 8u);
  EXPECT_FLOAT_EQ(ax.conv[0], 3);
  EXPECT_FLOAT_EQ(ax.conv[1], 1000);
  EXPECT_FLOAT_EQ(ax.conv[4], -999.9f);
  ASSERT_EQ(sdfdeflev({-80, -10, 40}, true, &ax), 0);
  EXPECT_FLOAT_EQ(ax.conv[1], 40);
  EXPECT_FLOAT_EQ(ax.conv[3], -80);
  // Repeated values make no axis rather than a division by zero.
  EXPECT_EQ(trydeflin({5, 5, 5}, false, false, &ax), 0);
}

TEST(sdfaxes, ComparisonsAndConversions) {
  EXPECT_EQ(flt_equal(1.0f, 1.0f), 1);
  EXPECT_EQ(flt_equal(0.5f, 0.5000001f), 0);  // both below 1: only exact
  EXPECT_EQ(flt_equal(1000.0f, 1000.00001f), 1);
  EXPECT_EQ(flt_equal(1000.0f, 1000.1f), 0);
  EXPECT_EQ(dbl_equal(1.0, 1.0 + 1e-8), 1);
  EXPECT_EQ(dbl_equal(1.0, 1.0 + 1e-6), 0);
  EXPECT_EQ(fequal(1.0f, 1.05f, 0.1f), 1);
  EXPECT_EQ(dequal(1.0, 1.2, 0.1), 0);
  double big = 3e10, neg = -2.7;
  int32_t l = 0;
  EXPECT_EQ(convtype(&big, SDF_DOUBLE, &l, SDF_LONG, 0, 0), 0);  // does not fit
  ASSERT_EQ(convtype(&neg, SDF_DOUBLE, &l, SDF_LONG, 0, 0), 1);
  EXPECT_EQ(l, -2);
  int32_t wide = 0x12345;
  int16_t s = 0;
  ASSERT_EQ(convtype(&wide, SDF_LONG, &s, SDF_SHORT, 0, 0), 1);
  EXPECT_EQ(s, 0x2345);
  signed char b = 3;
  float f = 0;
  EXPECT_EQ(convtype(&b, SDF_BYTE, &f, SDF_FLOAT, 0, 0), 0);
  int idx = 5;
  EXPECT_EQ(findmatch("b", {"a", "b", "b"}, &idx), 1);
  EXPECT_EQ(idx, 1);
  EXPECT_EQ(findmatch("B", {"a", "b"}, &idx), 0);
  EXPECT_EQ(idx, -1);
}

std::string coords_cdl(const char* xunits, const char* zunits, const char* tunits) {
  return std::string("netcdf c {\ndimensions: lon = 2 ; lev = 2 ; time = 1 ; ") +
         "other = 2 ;\nvariables:\n" + "  float lon(lon) ; lon:units = \"" + xunits + "\" ;\n" +
         "  float lev(lev) ; lev:units = \"" + zunits + "\" ;\n" +
         "  float time(time) ; time:units = \"" + tunits + "\" ;\n" +
         "  float other(other) ;\n  float v(time, lev, lon) ;\n}\n";
}

TEST(sdfaxes, CoordinatesAreKnownByTheirUnits) {
  if (!have_ncgen()) GTEST_SKIP();
  ASSERT_TRUE(sdf_units_init());
  struct {
    const char* x;
    const char* z;
    const char* t;
    bool isx, isz, ist;
  } cases[] = {
      {"degrees_E", "millibar", "days", true, true, true},  // bare "days" is a time
      {"Degrees_east", "level", "yymmddhh", false, true, true},
      {"degrees_eastward", "m", "YYYYMMDDHHMMSS", true, true, true},
      {"radians", "kg", "hours since 1990-1-1", false, false, true},
      {"degrees_east", "sigma_level", "bananas", true, true, false},
  };
  int n = 0;
  for (auto& c : cases) {
    std::string f = make_nc("c" + std::to_string(n++), coords_cdl(c.x, c.z, c.t));
    io_std* io = nullptr;
    ASSERT_TRUE(init_io_std(&io));
    ASSERT_EQ(read_io_std(f.c_str(), io), 1);
    var_info* v = nullptr;
    EXPECT_EQ(findX(io, &v), c.isx ? 1 : 0) << c.x;
    EXPECT_EQ(findZ(io, &v), c.isz ? 1 : 0) << c.z;
    EXPECT_EQ(findT(io, &v), c.ist ? 1 : 0) << c.t;
    if (c.ist) {
      EXPECT_EQ(v->ncname, "time");
    }
    var_info* other = find_var(io, "other");
    EXPECT_EQ(isdvar(other, nullptr, nullptr, nullptr, nullptr, 0, -1), 0);
    EXPECT_EQ(isdvar(find_var(io, "v"), nullptr, nullptr, nullptr, nullptr, 0, -1), 1);
    EXPECT_EQ(isdvar(find_var(io, "v"), nullptr, nullptr, nullptr, nullptr, 3, -1), 0);
    free_io_std(&io);
  }
}

TEST(sdfaxes, StandardTimeAndDeltaTexts) {
  int y, m, d, h, mn, s;
  double sec;
  ASSERT_EQ(decode_standard_time(19990115123000.0, &y, &m, &d, &h, &mn, &sec), 1);
  EXPECT_EQ(y, 1999);
  EXPECT_EQ(m, 1);
  EXPECT_EQ(d, 15);
  EXPECT_EQ(h, 12);
  EXPECT_EQ(mn, 30);
  EXPECT_EQ(sec, 0);
  ASSERT_EQ(decode_standard_time(1530.0, &y, &m, &d, &h, &mn, &sec), 1);
  EXPECT_EQ(y, -1);
  EXPECT_EQ(m, -1);
  EXPECT_EQ(mn, 15);
  EXPECT_EQ(sec, 30);
  ASSERT_EQ(decode_delta_t("0000-00-01 00:00:00", &y, &m, &d, &h, &mn, &s), 1);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(h, 0);
  ASSERT_EQ(decode_delta_t("0000-00-01", &y, &m, &d, &h, &mn, &s), 1);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(h, -1);
  // Short texts with the time part begun are read only as far as they go.
  ASSERT_EQ(decode_delta_t("0000-00-00 06", &y, &m, &d, &h, &mn, &s), 1);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(mn, -1);
  EXPECT_EQ(s, -1);
  ASSERT_EQ(decode_delta_t("0000-00-00 06:3", &y, &m, &d, &h, &mn, &s), 1);
  EXPECT_EQ(mn, 3);
  EXPECT_EQ(decode_delta_t("0000-01", &y, &m, &d, &h, &mn, &s), 0);
  EXPECT_EQ(decode_delta_t("0000-00-01T00", &y, &m, &d, &h, &mn, &s), 0);
  EXPECT_EQ(decode_delta_t("0000-00-01 00-00", &y, &m, &d, &h, &mn, &s), 0);
  std::string t = "abcdef";
  EXPECT_EQ(strip_char(2, &t), 4);
  EXPECT_EQ(t, "abcd");
  EXPECT_EQ(strip_char(9, &t), 0);
}

// The time axis of a file with the given time units, values and extras.
struct taxis {
  int ok = 0;
  sdftaxis ta;
  std::string msg;
  size_t held = 0;  // bytes of the time coordinate's values the description still holds
};

taxis time_of(const std::string& units, const std::string& values, const std::string& type = "double",
              const std::string& extra = "") {
  static int n = 0;
  int count = 1;
  for (char c : values) count += c == ',';
  std::string cdl = "netcdf t {\ndimensions: time = " + std::to_string(count) +
                    " ;\nvariables:\n  " + type + " time(time) ; time:units = \"" + units + "\" ; " +
                    extra + "\ndata: time = " + values + " ;\n}\n";
  std::string f = make_nc("t" + std::to_string(n++), cdl);
  taxis r;
  io_std* io = nullptr;
  init_io_std(&io);
  if (read_io_std(f.c_str(), io)) {
    testing::internal::CaptureStdout();
    r.ok = define_time_axis(io, find_var(io, "time"), &r.ta);
    r.msg = testing::internal::GetCapturedStdout();
    r.held = find_var(io, "time")->data.capacity();
  }
  free_io_std(&io);
  return r;
}

const char* kSmall = "SDF:  Time unit has too small an increment for use with Ombra (min. 1 minute).\n";
const char* kFrac = "SDF:  Fractional months are ill-defined and not supported by Ombra\n";

TEST(sdfaxes, UdunitsTimeSteps) {
  if (!have_ncgen()) GTEST_SKIP();
  ASSERT_TRUE(sdf_units_init());
  taxis a = time_of("hours since 1-1-1 00:00:0.0", "0, 6");
  ASSERT_EQ(a.ok, 1) << a.msg;
  EXPECT_EQ(a.ta.size, 2);
  EXPECT_EQ(a.ta.conv[5], 0);
  EXPECT_EQ(a.ta.conv[6], 360);
  a = time_of("days since 1950-01-01", "0, 31");
  ASSERT_EQ(a.ok, 1);
  EXPECT_EQ(a.ta.conv[0], 1950);
  EXPECT_EQ(a.ta.conv[1], 1);
  EXPECT_EQ(a.ta.conv[5], 1);
  EXPECT_EQ(a.ta.conv[6], 0);
  EXPECT_TRUE(a.ta.dates.empty());
  // Mid-month times keep their dates, those of a 365-day calendar too,
  // and the file's description lets their values go.
  for (const char* cal : {"", "time:calendar = \"noleap\" ;"}) {
    a = time_of("days since 2001-01-01", "15.5, 45, 74.5", "double", cal);
    ASSERT_EQ(a.ta.dates.size(), 3u) << cal;
    EXPECT_EQ(omt2str(&a.ta.dates[1], 4) + " " + omt2str(&a.ta.dates[2], 4), "00Z15FEB2001 12Z16MAR2001");
    EXPECT_EQ(a.held, 0u) << cal;
  }
  // So do monthly times whose third the step of months does not reach by
  // its month alone (March missing), its day or its hour.
  const struct { const char* days; const char* at; } thirds[] = {
      {"91", "00:00Z01APR2000"}, {"61", "00:00Z02MAR2000"}, {"60.25", "06:00Z01MAR2000"}};
  for (const auto& third : thirds) {
    a = time_of("days since 2000-01-01", std::string("0, 31, ") + third.days);
    ASSERT_EQ(a.ta.dates.size(), 3u) << third.days;
    EXPECT_EQ(omt2str(&a.ta.dates[2], 5), third.at);
  }
  EXPECT_EQ(time_of("days since 1950-01-01", "0, 365").ta.conv[5], 12);
  EXPECT_EQ(time_of("months since 1960-1-1", "0, 3").ta.conv[5], 3);
  a = time_of("months since 1960-1-1", "0, 0.5");
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.msg, kFrac);
  a = time_of("months since 1960-1-1", "0, 1.5");  // fractions above 1 too
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.msg, kFrac);
  a = time_of("years", "0, 1");
  ASSERT_EQ(a.ok, 1) << a.msg;
  EXPECT_EQ(a.ta.conv[0], 1);
  EXPECT_EQ(a.ta.conv[5], 12);
  a = time_of("seconds since 1990-1-1", "0, 30");
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.msg, kSmall);
  EXPECT_EQ(time_of("seconds since 1990-1-1", "0, 21600").ta.conv[6], 360);
  EXPECT_EQ(time_of("minutes since 1990-1-1", "0, 1440").ta.conv[6], 1440);
  EXPECT_EQ(time_of("minutes since 1990-1-1", "0, 43200").ta.conv[5], 1);
  a = time_of("minutes since 1990-1-1", "0, 600000");
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.msg, "SDF:  Attempt at >monthly increment with 'minutes since' time units attribute value.\n");
  a = time_of("minutes since 1990-1-1", "0, 30.5");
  EXPECT_FLOAT_EQ(a.ta.conv[6], 30.5f);
  a = time_of("furlongs since 1990-1-1", "0, 1");
  EXPECT_EQ(a.ok, 0);
  a = time_of("hours since 1990-1-1 06:00", "12");
  ASSERT_EQ(a.ok, 1);
  EXPECT_EQ(a.ta.size, 1);
  EXPECT_EQ(a.ta.conv[3], 18);
  EXPECT_EQ(a.ta.conv[5], 0);
  EXPECT_EQ(a.ta.conv[6], 1);
}

TEST(sdfaxes, CalendarsAreRecognised) {
  if (!have_ncgen()) GTEST_SKIP();
  ASSERT_TRUE(sdf_units_init());
  EXPECT_EQ(time_of("days since 1-1-1", "0, 1", "double", "time:calendar = \"noleap\" ;").ta.cal365, 1);
  EXPECT_EQ(time_of("days since 1-1-1", "0, 1", "double", "time:calendar = \"365_day\" ;").ta.cal365, 1);
  EXPECT_EQ(time_of("days since 1-1-1", "0, 1", "double", "time:calendar = \"gregorian\" ;").ta.cal365, 0);
  EXPECT_EQ(time_of("common_year since 1-1-1", "0, 1").ta.cal365, 1);
}

TEST(sdfaxes, YymmddhhStepsCrossMonthEnds) {
  if (!have_ncgen()) GTEST_SKIP();
  ASSERT_TRUE(sdf_units_init());
  taxis a = time_of("YYMMDDHH", "99011500, 99011506");
  ASSERT_EQ(a.ok, 1) << a.msg;
  EXPECT_EQ(a.ta.conv[0], 99);
  EXPECT_EQ(a.ta.conv[1], 1);
  EXPECT_EQ(a.ta.conv[2], 15);
  EXPECT_EQ(a.ta.conv[6], 360);
  // Lower-case units are the same thing.
  a = time_of("yymmddhh", "99013118, 99020100");
  ASSERT_EQ(a.ok, 1) << a.msg;
  EXPECT_EQ(a.ta.conv[6], 360);
  a = time_of("yymmddhh", "99123100, 00010100");
  ASSERT_EQ(a.ok, 0);  // the century is not in the numbers: a backward step
  a = time_of("yymmddhh", "98123100, 99010100");
  ASSERT_EQ(a.ok, 1) << a.msg;
  EXPECT_EQ(a.ta.conv[6], 1440);
  a = time_of("YYMMDDHH", "99011500, 99021500");
  EXPECT_EQ(a.ta.conv[5], 1);
}

TEST(sdfaxes, YyyymmddhhmmssWithDeltaT) {
  if (!have_ncgen()) GTEST_SKIP();
  ASSERT_TRUE(sdf_units_init());
  taxis a = time_of("yyyymmddhhmmss", "19990115123000, 19990116123000", "double",
                    "time:delta_t = \"0000-00-01 00:00:00\" ;");
  ASSERT_EQ(a.ok, 1) << a.msg;
  EXPECT_EQ(a.ta.conv[0], 1999);
  EXPECT_EQ(a.ta.conv[3], 12);
  EXPECT_EQ(a.ta.conv[4], 30);
  EXPECT_EQ(a.ta.conv[6], 1440);
  EXPECT_EQ(time_of("yyyymmddhhmmss", "19990101000000, 19990201000000", "double",
                    "time:delta_t = \"0000-01-00 00:00:00\" ;").ta.conv[5], 1);
  EXPECT_EQ(time_of("yyyymmddhhmmss", "19990101000000, 20000101000000", "double",
                    "time:delta_t = \"0001-00-00\" ;").ta.conv[5], 12);
  a = time_of("yyyymmddhhmmss", "19990101000000, 19990201000000");
  EXPECT_EQ(a.ok, 0);
  EXPECT_EQ(a.msg, "Error in determining time increment in SDF file.\n");
  a = time_of("yyyymmddhhmmss", "19990101000000, 19990201000000", "double", "time:delta_t = \"1 day\" ;");
  EXPECT_EQ(a.msg, "Error deciphering time increment in SDF file.\n");
  a = time_of("yyyymmddhhmmss", "19990101000000, 19990201000000", "double",
              "time:delta_t = \"0000-00-00 00:00:30\" ;");
  EXPECT_EQ(a.msg, "Time unit in SDF file has too small an increment for use with Ombra (min. 1 minute).\n");
}

}  // namespace
