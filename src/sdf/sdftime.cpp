// Turning the time coordinate of a file into the data set's time axis: a
// start date-time and a step in whole months or in minutes.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/datetime.h"
#include "sdf/sdfint.h"

namespace {

const char* const kSmallStep =
    "SDF:  Time unit has too small an increment for use with Ombra (min. 1 minute).\n";
const char* const kSmallStepFile =
    "Time unit in SDF file has too small an increment for use with Ombra (min. 1 minute).\n";
const char* const kFracMonths = "SDF:  Fractional months are ill-defined and not supported by Ombra\n";

bool begins(const std::string& s, const char* p) { return s.compare(0, std::strlen(p), p) == 0; }

// Integer part of a double, refused when it does not fit an int.
bool to_int(double d, int* out) {
  if (!std::isfinite(d) || d < -2147483648.0 || d > 2147483647.0) return false;
  *out = static_cast<int>(d);
  return true;
}

// Days from 1 January of year 0 in the proleptic Gregorian calendar.
long days_from_civil(long y, long m, long d) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

int read_time_value(io_std* io, var_info* t, size_t idx, double* out, const char* readmsg,
                    const char* convmsg) {
  std::vector<size_t> start(static_cast<size_t>(t->ndims), 0), count(static_cast<size_t>(t->ndims), 1);
  if (start.empty()) {
    omprnt(0, readmsg);
    return 0;
  }
  start[0] = idx;
  if (!read_variable_data(io->ncid, t, start, count)) {
    omprnt(0, readmsg);
    return 0;
  }
  if (!value_as_double(t->data.data(), t->nctype, 0, out) || !std::isfinite(*out)) {
    omprnt(0, convmsg);
    return 0;
  }
  return 1;
}

// A minute step, refused below 1 minute.
int set_minutes(double m, sdftaxis* ta, const char* msg) {
  if (!(m >= 1.0) || m > 1e9) {
    omprnt(0, msg);
    return 0;
  }
  ta->conv[5] = 0;
  ta->conv[6] = static_cast<float>(m);
  return 1;
}

// A month step: whole months of at least 1.
int set_months(double mo, sdftaxis* ta, const char* small) {
  if (!(mo >= 1.0) || mo > 1e6) {
    omprnt(0, mo > 0 && mo < 1 ? kFracMonths : small);
    return 0;
  }
  if (std::fabs(mo - std::round(mo)) > 1e-6) {
    omprnt(0, kFracMonths);
    return 0;
  }
  ta->conv[5] = static_cast<float>(std::round(mo));
  ta->conv[6] = 0;
  return 1;
}

int yymmddhh_axis(double v0, double v1, bool two, sdftaxis* ta) {
  int t0 = 0, t1 = 0;
  if (!to_int(v0, &t0) || (two && !to_int(v1, &t1)) || t0 < 0 || t1 < 0) {
    omprnt(0, "Error interpreting initial time value in SDF file.\n");
    return 0;
  }
  int y0 = t0 / 1000000, m0 = (t0 / 10000) % 100, d0 = (t0 / 100) % 100, h0 = t0 % 100;
  ta->conv[0] = static_cast<float>(y0);
  ta->conv[1] = static_cast<float>(m0);
  ta->conv[2] = static_cast<float>(d0);
  ta->conv[3] = static_cast<float>(h0);
  ta->conv[4] = 0;
  if (!two) return 1;
  int y1 = t1 / 1000000, m1 = (t1 / 10000) % 100, d1 = (t1 / 100) % 100, h1 = t1 % 100;
  if (m0 < 1 || m0 > 12 || m1 < 1 || m1 > 12 || d0 < 1 || d1 < 1) {
    omprnt(0, "Error interpreting second time value in SDF file.\n");
    return 0;
  }
  // Same day and hour in a later month: a month step; otherwise the real
  // number of minutes between the two dates, across month and year ends.
  if (d0 == d1 && h0 == h1 && (y1 != y0 || m1 != m0))
    return set_months((y1 - y0) * 12.0 + (m1 - m0), ta, kSmallStepFile);
  double mins = (static_cast<double>(days_from_civil(y1, m1, d1)) - days_from_civil(y0, m0, d0)) * 1440.0 +
                (h1 - h0) * 60.0;
  return set_minutes(mins, ta, kSmallStepFile);
}

int standard_axis(var_info* t, double v0, bool two, sdftaxis* ta) {
  int yr, mo, dy, hr, mn;
  double sec;
  if (!decode_standard_time(v0, &yr, &mo, &dy, &hr, &mn, &sec)) {
    omprnt(0, "Error deciphering initial time value in SDF file.\n");
    return 0;
  }
  ta->conv[0] = static_cast<float>(yr < 1 ? 1 : yr);
  ta->conv[1] = static_cast<float>(mo < 1 ? 1 : mo);
  ta->conv[2] = static_cast<float>(dy < 1 ? 1 : dy);
  ta->conv[3] = static_cast<float>(hr < 0 ? 0 : hr);
  ta->conv[4] = static_cast<float>(mn < 0 ? 0 : mn);
  if (!two) return 1;
  if (find_att(t->atts, "delta_t") == nullptr) {
    omprnt(0, "Error in determining time increment in SDF file.\n");
    return 0;
  }
  std::string dt = att_text(t->atts, "delta_t");
  int dyr, dmo, ddy, dhr, dmn, dsc;
  if (!decode_delta_t(dt.c_str(), &dyr, &dmo, &ddy, &dhr, &dmn, &dsc)) {
    omprnt(0, "Error deciphering time increment in SDF file.\n");
    return 0;
  }
  if (dyr < 1 && dmo < 1) {
    double m = (ddy > 0 ? ddy : 0) * 1440.0 + (dhr > 0 ? dhr : 0) * 60.0 + (dmn > 0 ? dmn : 0);
    return set_minutes(m, ta, kSmallStepFile);
  }
  return set_months((dyr > 0 ? dyr : 0) * 12.0 + (dmo > 0 ? dmo : 0), ta, kSmallStepFile);
}

// The units library counts a month as a twelfth of a mean year, so a
// whole number of months (or years) since a date lands hours away from the
// first of a month, often in the month before.  Such counts are meant as
// calendar months: the start is the reference date moved by that many
// months, its day kept within the month.  Other values keep the library's
// conversion.
void calendar_months_start(const std::string& full, const std::string& name, double v0, bool cal365,
                           int* yr, int* mo, int* dy, int* hr, int* mn) {
  long permonth = 0;
  if (begins(name, "month")) permonth = 1;
  else if (compare_units(name.c_str(), "year")) permonth = 12;
  if (permonth == 0 || full.find(" since ") == std::string::npos) return;
  if (!std::isfinite(v0) || std::fabs(v0) > 1e8 || std::fabs(v0 - std::round(v0)) > 1e-6) return;
  int ry, rm, rd, rh, rn;
  double rs;
  if (!decode_ud_time(full.c_str(), 0.0, &ry, &rm, &rd, &rh, &rn, &rs)) return;
  long total = static_cast<long>(ry) * 12 + (rm < 1 ? 0 : rm - 1) + static_cast<long>(std::round(v0)) * permonth;
  long y = total >= 0 ? total / 12 : -((-total + 11) / 12);
  long m = total - y * 12 + 1;
  static const int mdays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int last = mdays[m - 1];
  if (m == 2 && !cal365 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) last = 29;
  *yr = static_cast<int>(y);
  *mo = static_cast<int>(m);
  *dy = rd < 1 ? 1 : (rd > last ? last : rd);
  *hr = rh;
  *mn = rn;
}

// The units library counts days on the standard calendar, leap days
// included, so in a file of the 365-day calendar a count of days (hours,
// minutes, seconds) since a date decoded that way drifts a day every four
// years: a count since 1850 lands a month early by 2000 (and years early on
// the 360-day calendar of twelve 30-day months).  Those counts are taken on
// the file's own calendar instead.  A 360-day date past the end of a real
// month (30 February) is kept at the month's last day.
void fixed_calendar_start(const std::string& full, const std::string& name, double v0, bool d360, int* yr,
                          int* mo, int* dy, int* hr, int* mn) {
  double perunit = 0;  // minutes in one unit
  const char* n = name.c_str();
  if (compare_units(n, "day")) perunit = 1440;
  else if (compare_units(n, "hour")) perunit = 60;
  else if (compare_units(n, "minute")) perunit = 1;
  else if (compare_units(n, "seconds")) perunit = 1.0 / 60.0;
  if (perunit == 0 || full.find(" since ") == std::string::npos || !std::isfinite(v0)) return;
  double mins = v0 * perunit;
  if (std::fabs(mins) > 1e13) return;
  int ry, rm, rd, rh, rn;
  double rs;
  if (!decode_ud_time(full.c_str(), 0.0, &ry, &rm, &rd, &rh, &rn, &rs)) return;
  static const int before365[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  static const int before360[12] = {0, 30, 60, 90, 120, 150, 180, 210, 240, 270, 300, 330};
  const int* before = d360 ? before360 : before365;
  const long long yearmins = (d360 ? 360LL : 365LL) * 1440;
  if (rm < 1) rm = 1;
  if (rm > 12) rm = 12;
  int mlen = rm == 12 ? (d360 ? 30 : 31) : before[rm] - before[rm - 1];
  if (rd < 1) rd = 1;
  if (rd > mlen) rd = mlen;
  // Minutes from 1 January of the reference year, then the target.
  long long start = (static_cast<long long>(before[rm - 1]) + rd - 1) * 1440 + rh * 60LL + rn;
  long long total = start + static_cast<long long>(std::floor(mins + 1e-6));
  long long year = total >= 0 ? total / yearmins : -((-total + yearmins - 1) / yearmins);
  long long rest = total - year * yearmins;
  int doy = static_cast<int>(rest / 1440);
  int m = 11;
  while (m > 0 && before[m] > doy) m--;
  int y = static_cast<int>(ry + year);
  int d = doy - before[m] + 1;
  if (d360) {
    static const int mdays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int last = mdays[m];
    if (m == 1 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) last = 29;
    if (d > last) d = last;
  }
  *yr = y;
  *mo = m + 1;
  *dy = d;
  *hr = static_cast<int>((rest % 1440) / 60);
  *mn = static_cast<int>(rest % 60);
}

// The units with a reference date (1-1-1 when they name none), and the
// unit's name alone.
void ud_parts(const std::string& units, std::string* full, std::string* name) {
  const size_t since = units.find(" since ");
  *full = units;
  *name = since == std::string::npos ? units : units.substr(0, since);
  if (since == std::string::npos) *full += " since 1-1-1 00:00:0.0";
}

// The date of a value of the time coordinate; false when it cannot be
// decoded.
bool ud_date(const std::string& full, const std::string& name, double v, const sdftaxis* ta, datetime* out) {
  int yr, mo, dy, hr, mn;
  double sec;
  if (!decode_ud_time(full.c_str(), v, &yr, &mo, &dy, &hr, &mn, &sec)) return false;
  calendar_months_start(full, name, v, ta->cal365 != 0, &yr, &mo, &dy, &hr, &mn);
  if (ta->cal365 || ta->cal360) fixed_calendar_start(full, name, v, ta->cal360 != 0, &yr, &mo, &dy, &hr, &mn);
  *out = datetime{yr, mo < 1 ? 1 : mo, dy < 1 ? 1 : dy, hr, mn};
  return true;
}

int udunits_axis(const std::string& units, double v0, double v1, bool two, sdftaxis* ta) {
  if (begins(units, "common_year")) ta->cal365 = 1;
  std::string full, name;
  ud_parts(units, &full, &name);
  if (units.find(" since ") == std::string::npos) {
    if (!units_is_time(full.c_str()) && !units_convertible(full.c_str(), full.c_str())) {
      omprnt(0, "Error parsing time_units for SDF file.\n");
      return 0;
    }
  } else if (!units_convertible(full.c_str(), full.c_str())) {
    omprnt(0, "Error parsing UDUNITS time units in SDF file.\n");
    return 0;
  }
  datetime st;
  if (!ud_date(full, name, v0, ta, &st)) {
    omprnt(0, "Error decoding initial udunits time value in SDF file.\n");
    return 0;
  }
  ta->conv[0] = static_cast<float>(st.yr);
  ta->conv[1] = static_cast<float>(st.mo);
  ta->conv[2] = static_cast<float>(st.dy);
  ta->conv[3] = static_cast<float>(st.hr);
  ta->conv[4] = static_cast<float>(st.mn);
  if (!two) return 1;
  double dt = v1 - v0;
  const char* n = name.c_str();
  int k = 0;
  if (compare_units(n, "year")) return set_months(dt * 12.0, ta, kSmallStepFile);
  if (begins(name, "month") || begins(name, "common_year/12") || begins(name, "common_years/12")) {
    if (!(dt >= 1.0) || std::fabs(dt - std::round(dt)) > 1e-6) {
      omprnt(0, kFracMonths);
      return 0;
    }
    return set_months(dt, ta, kFracMonths);
  }
  if (compare_units(n, "day")) {
    if (dt < 28) return set_minutes(dt * 1440.0, ta, kSmallStep);
    if (!to_int(dt + 0.5, &k)) return set_months(0, ta, kSmallStep);
    if (dt < 360) return set_months(k / 28, ta, kSmallStep);
    return set_months((k / 360) * 12.0, ta, kSmallStep);
  }
  if (compare_units(n, "hour")) {
    if (dt < 672) return set_minutes(dt * 60.0, ta, kSmallStep);
    if (!to_int(dt + 0.5, &k)) return set_months(0, ta, kSmallStep);
    if (dt < 8640) return set_months(k / 672, ta, kSmallStep);
    return set_months((k / 8640) * 12.0, ta, kSmallStep);
  }
  if (compare_units(n, "minute")) {
    if (dt < 40320) return set_minutes(dt, ta, kSmallStep);
    if (dt < 518400) {
      to_int(dt / 1440.0 + 0.5, &k);
      return set_months(k / 28, ta, kSmallStep);
    }
    omprnt(0, "SDF:  Attempt at >monthly increment with 'minutes since' time units attribute value.\n");
    return 0;
  }
  if (compare_units(n, "seconds")) {
    if (dt < 60) {
      omprnt(0, kSmallStep);
      return 0;
    }
    if (dt < 2419200) return set_minutes(dt / 60.0, ta, kSmallStep);
    if (dt < 31104000) {
      to_int(dt / 86400.0 + 0.5, &k);
      return set_months(k / 28, ta, kSmallStep);
    }
    omprnt(0, "SDF:  Attempt at > monthly interval with 'seconds since' time units attribute.\n");
    return 0;
  }
  omprnt(0, "Error parsing time units in SDF file.\n");
  return 0;
}

// Times a step of months does not reach (mid-month times, 29.5 to 31 days
// apart) are kept as the dates of their steps.  A file whose times cannot
// all be read or decoded, or do not rise, keeps the steps alone.
void month_dates(io_std* io, var_info* t, const std::string& units, sdftaxis* ta) {
  // Some 87,000 years of months: a longer axis claimed by a damaged file
  // is not read time by time.
  const int kMostDates = 1 << 20;
  if (ta->conv[5] < 1.0f || ta->size < 2 || ta->size > kMostDates) return;
  std::vector<size_t> start(static_cast<size_t>(t->ndims), 0), count(static_cast<size_t>(t->ndims), 1);
  count[0] = static_cast<size_t>(ta->size);
  if (!read_variable_data(io->ncid, t, start, count)) return;
  std::string full, name;
  ud_parts(units, &full, &name);
  std::vector<datetime> dates(static_cast<size_t>(ta->size));
  bool off = false, whole = true;
  for (size_t i = 0; whole && i < dates.size(); i++) {
    double v;
    datetime on;
    whole = value_as_double(t->data.data(), t->nctype, i, &v) && std::isfinite(v) &&
            ud_date(full, name, v, ta, &dates[i]) && (i == 0 || timdif(&dates[i - 1], &dates[i]) > 0);
    gr2t(ta->conv, static_cast<double>(i) + 1.0, &on);
    const datetime& d = dates[i];
    off = off || on.yr != d.yr || on.mo != d.mo || on.dy != d.dy || on.hr != d.hr || on.mn != d.mn;
  }
  // The values are let go: the file's description, copied whole for a
  // series, is kept while it is open.
  t->data.clear();
  t->data.shrink_to_fit();
  if (whole && off) ta->dates.swap(dates);
}

}  // namespace

int decode_standard_time(double val, int* yr, int* mo, int* dy, int* hr, int* mn, double* sec) {
  *yr = *mo = *dy = *hr = *mn = -1;
  *sec = 0;
  if (!std::isfinite(val) || std::fabs(val) >= 1e20) return 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%f", val);
  std::string s = buf;
  size_t point = s.find('.');
  if (point == std::string::npos || point == 0) return 0;
  std::string frac = s.substr(point);
  std::string ip = s.substr(0, point);
  if (ip[0] == '-') return 0;
  size_t take = ip.size() < 3 ? ip.size() : 2;
  *sec = std::atof((ip.substr(ip.size() - take) + frac).c_str());
  ip.resize(ip.size() - take);
  int* fields[4] = {mn, hr, dy, mo};
  for (int* f : fields) {
    if (ip.empty()) break;
    size_t t = ip.size() < 2 ? ip.size() : 2;
    *f = std::atoi(ip.substr(ip.size() - t).c_str());
    ip.resize(ip.size() - t);
  }
  if (!ip.empty()) {
    *yr = std::atoi(ip.c_str());
    if (*yr == 0 || *yr == 9999) *yr = -1;
  }
  return 1;
}

int decode_delta_t(const char* text, int* yr, int* mo, int* dy, int* hr, int* mn, int* sec) {
  *yr = *mo = *dy = *hr = *mn = *sec = -1;
  std::string s = text != nullptr ? text : "";
  size_t n = s.size();
  if (n < 10) return 0;
  if (n > 10 && s[10] != ' ') return 0;
  if (n > 13 && s[13] != ':') return 0;
  if (n > 16 && s[16] != ':') return 0;
  // Each field is read only from the characters the text really has.
  auto field = [&](size_t from, size_t len) {
    if (from >= n) return -1;
    return std::atoi(s.substr(from, len).c_str());
  };
  *yr = field(0, 4);
  *mo = field(5, 2);
  *dy = field(8, 2);
  if (n > 10) {
    *hr = field(11, 2);
    *mn = field(14, 2);
    *sec = field(17, 2);
  }
  return 1;
}

int strip_char(int n, std::string* text) {
  if (n < 1 || text->size() < static_cast<size_t>(n)) return 0;
  text->resize(text->size() - static_cast<size_t>(n));
  return static_cast<int>(text->size());
}

int define_time_axis(io_std* io, var_info* t, sdftaxis* ta) {
  *ta = sdftaxis();
  if (t == nullptr) return 1;  // one time at 1 January of year 1
  std::string cal = att_text(t->atts, "calendar");
  if (cal == "365_day_year" || cal == "noleap" || cal == "365_day") ta->cal365 = 1;
  if (cal == "360_day") ta->cal360 = 1;
  if (t->ndims < 1) return 0;
  ta->size = dim_length(io, t->dimids[0]);
  if (ta->size < 0) {
    omprnt(0, "SDF file's time dimension is longer than a data set can hold.\n");
    return 0;
  }
  if (find_att(t->atts, "units") == nullptr) {
    omprnt(0, "Couldn't find units attribute for Time coordinate of SDF file.\n");
    return 0;
  }
  std::string units = att_text(t->atts, "units");
  double v0 = 0, v1 = 0;
  if (!read_time_value(io, t, 0, &v0, "Error reading initial time value in SDF file.\n",
                       "Error interpreting initial time value in SDF file.\n"))
    return 0;
  bool two = ta->size >= 2;
  if (two) {
    if (!read_time_value(io, t, 1, &v1, "Error reading second time value in SDF file.\n",
                         "Error interpreting second time value in SDF file.\n"))
      return 0;
  } else {
    v1 = v0 + 1;
  }
  ta->conv[5] = 0;
  ta->conv[6] = 1;
  ta->conv[7] = -999.9f;
  std::string low = lowstr(units);
  if (units.size() < 10 && begins(low, "yymmddhh")) return yymmddhh_axis(v0, v1, two, ta);
  if (begins(low, "yyyy")) return standard_axis(t, v0, two, ta);
  if (!udunits_axis(units, v0, v1, two, ta)) return 0;
  month_dates(io, t, units, ta);
  return 1;
}
