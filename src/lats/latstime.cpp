// The calendar library of the LATS output: component times, epochal hours
// and relative times under the standard, Julian, 365-day, 360-day and
// climatological calendars.  Year counts use closed forms, so a huge year
// costs no more than a small one.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "lats/latsint.h"

const char* const latsMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

const int mdays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int dbefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// The year that leap tests and year lengths use.
long effyear(const latsCompTime& ct) {
  if (!(ct.calendar & 0x1)) return 0;
  if (ct.calendar & 0x10) return ct.year;
  return ct.year + ct.baseyear;
}

long epochyear(int cal, long baseyear) {
  if (!(cal & 0x1)) return 0;
  return (cal & 0x10) ? 1970 : baseyear;
}

long floordiv(long a, long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Multiples of k in [0, y) (negative for y < 0: minus those in [y, 0)).
long multiples(long y, long k) { return floordiv(y + k - 1, k); }

long leapsbefore(int cal, long y) {
  if (!(cal & 0x100)) return 0;
  long n = multiples(y, 4);
  if (!(cal & 0x10000)) n += multiples(y, 400) - multiples(y, 100);
  return n;
}

// Days from the start of year a to the start of year b.
double daysbetween(int cal, long a, long b) {
  if (!(cal & 0x1000)) return 360.0 * (double)(b - a);
  return 365.0 * (double)(b - a) + (double)(leapsbefore(cal, b) - leapsbefore(cal, a));
}

int yearlength(int cal, long y) {
  if (!(cal & 0x1000)) return 360;
  return latsIsLeap(cal, y) ? 366 : 365;
}

int isword(const char* w, const char* prefix, const char* exact) {
  return strncmp(w, prefix, strlen(prefix)) == 0 || strcmp(w, exact) == 0;
}

}  // namespace

int latsTimeCmp(int y1, int m1, int d1, int h1, int y2, int m2, int d2, int h2) {
  if (y1 != y2) return y1 < y2 ? -1 : 1;
  if (m1 != m2) return m1 < m2 ? -1 : 1;
  if (d1 != d2) return d1 < d2 ? -1 : 1;
  if (h1 != h2) return h1 < h2 ? -1 : 1;
  return 0;
}

int latsIsLeap(int cal, long y) {
  if (!(cal & 0x100)) return 0;
  if (y % 4 != 0) return 0;
  return (cal & 0x10000) || y % 100 != 0 || y % 400 == 0;
}

int latsDayOfYear(const latsCompTime& ct) {
  int m = ct.month;
  if (m < 1 || m > 12) {
    latsError("Day-of-year error; month: %d\n", m);
    m = 1;
  }
  if (!(ct.calendar & 0x1000)) return 30 * (m - 1) + ct.day;
  int doy = dbefore[m - 1] + ct.day;
  if (m > 2 && latsIsLeap(ct.calendar, effyear(ct))) doy++;
  return doy;
}

void latsMonthDay(latsCompTime* ct, int doy) {
  long y = effyear(*ct);
  int m = 0;
  while (m < 11) {
    int len = (ct->calendar & 0x1000) ? mdays[m] + (m == 1 && latsIsLeap(ct->calendar, y)) : 30;
    if (doy <= len) break;
    doy -= len;
    m++;
  }
  ct->month = (short)(m + 1);
  ct->day = (short)doy;
}

double latsh2e(const latsCompTime& ct) {
  long base = epochyear(ct.calendar, ct.baseyear);
  double days = daysbetween(ct.calendar, base, effyear(ct)) + latsDayOfYear(ct) - 1;
  return days * 24.0 + ct.hour;
}

latsCompTime latse2h(double hours, int cal, long baseyear) {
  latsCompTime ct;
  ct.calendar = cal;
  ct.baseyear = baseyear;
  if (!std::isfinite(hours)) hours = 0.0;  // no time at all: the epoch
  double days = std::floor(hours / 24.0);
  ct.hour = hours - 24.0 * days;
  long y = epochyear(cal, baseyear);
  double doy = days + 1;
  if (cal & 0x1) {
    // Jump close by whole 400-year spans first so far times stay cheap.
    double span = daysbetween(cal, 0, 400);
    if (std::fabs(doy) > span) {
      // The remainder by fmod is exact where doy - k*span is not: a far
      // time still lands within the span, so the year steps below end.
      // Spans beyond what a year count holds stop at its end.
      const double most = 1e15;
      double k = std::floor((doy - 1) / span);
      doy = std::fmod(doy - 1, span);
      if (doy < 0) doy += span;
      doy += 1;
      if (k > most) k = most;
      if (k < -most) k = -most;
      y += (long)k * 400;
    }
    while (doy > yearlength(cal, y)) doy -= yearlength(cal, y++);
    while (doy <= 0) doy += yearlength(cal, --y);
  }
  ct.year = (cal & 0x10) || !(cal & 0x1) ? y : y - baseyear;
  latsMonthDay(&ct, (int)doy);
  return ct;
}

int latsToOldTimetype(int cal, int* out) {
  switch (cal) {
    case 0x1011: case 0x1100: case 0x1111: case 0x11111: case 0x11:
      *out = cal;
      return 1;
    case 0x1000: case 0:
      *out = 0x1000;
      return 1;
    default:
      latsError("Error on relative units conversion, invalid timetype = %d", cal);
      return 0;
  }
}

int latsValidateTime(const latsCompTime& ct) {
  if (ct.month < 1 || ct.month > 12) {
    latsError("Error on time conversion: invalid month = %hd\n", ct.month);
    return 0;
  }
  if (ct.day < 1 || ct.day > 31) {
    latsError("Error on time conversion: invalid day = %hd\n", ct.day);
    return 0;
  }
  if (ct.hour < 0 || ct.hour > 24) {
    latsError("Error on time conversion: invalid hour = %lf\n", ct.hour);
    return 0;
  }
  return 1;
}

int latsChar2Comp(int cal, const char* text, latsCompTime* ct) {
  long y = 0;
  short mo = 1, dy = 1;
  int hr = 0, mn = 0;
  double sec = 0;
  int n;
  if ((cal & 0x1) || (cal & 0x10)) {
    n = sscanf(text, "%ld-%hd-%hd %d:%d:%lf", &y, &mo, &dy, &hr, &mn, &sec);
  } else {
    n = sscanf(text, "%hd-%hd %d:%d:%lf", &mo, &dy, &hr, &mn, &sec);
  }
  if (n <= 0) {
    latsError("Error on character time conversion, string = %s\n", text);
    return 0;
  }
  if (hr > 23) {
    latsError("Error on character time conversion: invalid hour = %d\n", hr);
    return 0;
  }
  if (mn > 59) {
    latsError("Error on character time conversion: invalid minute = %d\n", mn);
    return 0;
  }
  if (sec < 0 || sec > 60) {
    latsError("Error on character time conversion: invalid second = %lf\n", sec);
    return 0;
  }
  ct->year = y;
  ct->month = mo;
  ct->day = dy;
  ct->hour = hr + mn / 60.0 + sec / 3600.0;
  ct->calendar = cal;
  return latsValidateTime(*ct);
}

int latsUnitsOf(const char* w) {
  if (isword(w, "sec", "s")) return 8;
  if (isword(w, "min", "mn")) return 1;
  if (isword(w, "hour", "hr")) return 2;
  if (isword(w, "day", "dy")) return 3;
  if (isword(w, "week", "wk")) return 4;
  if (isword(w, "month", "mo")) return 5;
  if (strncmp(w, "season", 6) == 0) return 6;
  if (isword(w, "year", "yr")) return 7;
  return 0;
}

namespace {

// Units and base time of a relative-units text; 0 after its error.
int parseRelunits(int cal, const char* relunits, int* units, latsCompTime* base) {
  char word[64] = "", since[64] = "", date[64] = "", tod[64] = "";
  int n = sscanf(relunits, "%63s %63s %63s %63s", word, since, date, tod);
  if (n < 1) {
    latsError("Error on relative units conversion, string = %s\n", relunits);
    return 0;
  }
  *units = latsUnitsOf(word);
  if (*units == 0) {
    latsError("Error on relative units conversion: invalid units = %s\n", word);
    return 0;
  }
  if (*units == 7 && !(cal & 0x1) && !(cal & 0x10)) {
    latsError("Error on relative units conversion: climatological units cannot be 'years'.\n");
    return 0;
  }
  std::string text;
  if (n < 3) text = ((cal & 0x1) || (cal & 0x10)) ? "1970" : "1";
  else text = n >= 4 ? std::string(date) + " " + tod : std::string(date);
  return latsChar2Comp(cal, text.c_str(), base);
}

}  // namespace

int latsComp2Rel(int calendar, latsCompTime ct, const char* relunits, double* reltime) {
  int cal;
  if (!latsToOldTimetype(calendar, &cal)) return 0;
  int units;
  latsCompTime base;
  if (!parseRelunits(cal, relunits, &units, &base)) return 0;
  base.calendar = cal;
  base.baseyear = 1970;
  ct.calendar = cal;
  ct.baseyear = 1970;
  if (units == 5 || units == 6 || units == 7) {
    long months;
    if ((cal & 0x1) || (cal & 0x10)) {
      months = 12 * (ct.year - base.year) + (ct.month - base.month);
    } else {
      months = ct.month - base.month;
      if (months < 0) months += 12;
    }
    *reltime = (double)(months / (units == 5 ? 1 : units == 6 ? 3 : 12));
    return 1;
  }
  double diff = latsh2e(ct) - latsh2e(base);
  if (!(cal & 0x1) && !(cal & 0x10)) {
    double year = (cal & 0x1000) ? 8760 : (cal & 0x100) ? 8784 : 8640;
    if (diff < 0 || diff >= year) diff -= year * std::floor(diff / year);
  }
  switch (units) {
    case 1: *reltime = diff * 60; break;
    case 2: *reltime = diff; break;
    case 3: *reltime = diff / 24; break;
    case 4: *reltime = diff / 168; break;
    default: *reltime = diff * 3600; break;
  }
  return 1;
}
