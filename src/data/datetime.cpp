// Calendar arithmetic.  Whole years are skipped in one step wherever a loop
// over months or years would otherwise run for very large counts, so that
// hostile times cannot make the program hang; the results are those of
// the month-by-month rules.
#include "data/datetime.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "data/axisconv.h"  // AXEND

const int mosiz[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int momn[13] = {0,     44640, 40320, 44640, 43200, 44640, 43200,
                      44640, 44640, 43200, 44640, 43200, 44640};
const int mnacum[13] = {0,      0,      44640,  84960,  129600, 172800, 217440,
                        260640, 305280, 349920, 393120, 437760, 480960};
const int mnacul[13] = {0,      0,      44640,  86400,  131040, 174240, 218880,
                        262080, 306720, 351360, 394560, 439200, 482400};
const char* const mons[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                              "jul", "aug", "sep", "oct", "nov", "dec"};
const char* const monc[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

namespace {

constexpr long long MINS_PER_DAY = 1440;

// Months from the start of an axis that its grid-to-time conversion steps
// through: far beyond any year a time can hold.
constexpr double kMaxAxisMonths = 1e10;

long long floordiv(long long a, long long b) {
  long long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) q--;
  return q;
}

int clampint(long long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// Brings a month into 1..12, moving whole years into yr.
void normmo(int& yr, int& mo) {
  if (mo >= 1 && mo <= 12) return;
  long long m = static_cast<long long>(mo) - 1;
  long long y = static_cast<long long>(yr) + floordiv(m, 12);
  mo = static_cast<int>(m - floordiv(m, 12) * 12) + 1;
  yr = clampint(y);
}

// Number of leap years in [y1, y2), y1 <= y2.
long long leapsbetween(long long y1, long long y2) {
  if (mfcmn.mfcal == 1) return 0;
  auto mult = [&](long long k) { return floordiv(y2 - 1, k) - floordiv(y1 - 1, k); };
  return mult(4) - mult(100) + mult(400);
}

// Minutes of a time from the start of its year (day counted from 0 at
// "day 0", which cancels in differences).
long long yearmins(int yr, int mo, int dy, int hr, int mn) {
  const int* acc = qleap(yr) ? mnacul : mnacum;
  return static_cast<long long>(dy) * MINS_PER_DAY + static_cast<long long>(hr) * 60 + mn +
         acc[mo];
}

}  // namespace

int qleap(int yr) {
  if (mfcmn.mfcal == 1) return 0;
  if (yr % 4 != 0) return 0;
  if (yr % 100 != 0) return 1;
  return yr % 400 == 0 ? 1 : 0;
}

int modays(int yr, int mo) {
  normmo(yr, mo);
  if (mo == 2 && qleap(yr)) return 29;
  return mosiz[mo];
}

long momins(int yr, int mo) {
  normmo(yr, mo);
  if (mo == 2 && qleap(yr)) return 41760;
  return momn[mo];
}

namespace {

// Days of 400 years: the calendar repeats after them, so day counts of
// many years are reduced by whole cycles before the year-by-year steps
// (times tens of thousands of years out cost no more than near ones).
long long cycledays() { return mfcmn.mfcal == 1 ? 400LL * 365 : 400LL * 365 + 97; }

// Brings a day count below 1 into the month before (yr, mo): steps back a
// month at a time adding its length, whole years first.  The twelve months
// before (yr, mo) hold the February of yr when mo is March or later, else
// that of yr-1.
void borrowdays(long long& dy, int& yr, int& mo) {
  const long long cycle = cycledays();
  if (dy < -400 - cycle) {
    long long n = (-dy - 400) / cycle;
    long long room = (static_cast<long long>(yr) - INT_MIN) / 400;
    if (n > room) n = room;
    dy += n * cycle;
    yr = static_cast<int>(yr - n * 400);
  }
  while (dy < -400) {
    // At the first year a time can hold there is no year before it.
    int feby = mo > 2 || yr == INT_MIN ? yr : yr - 1;
    dy += qleap(feby) ? 366 : 365;
    if (yr == INT_MIN) break;
    yr--;
  }
  while (dy < 1) {
    mo--;
    if (mo < 1) {
      if (yr == INT_MIN) {  // the first day a time can hold
        mo = 1;
        dy = 1;
        break;
      }
      mo = 12;
      yr--;
    }
    dy += modays(yr, mo);
  }
}

}  // namespace

void timadd(const datetime* dtim, datetime* dto) {
  int yr = clampint(static_cast<long long>(dtim->yr) + dto->yr);
  int mo = clampint(static_cast<long long>(dtim->mo) + dto->mo);
  normmo(yr, mo);

  // Minutes into hours, hours into days (both ways, so that a negative
  // field borrows instead of leaving a negative clock).
  long long mn = static_cast<long long>(dtim->mn) + dto->mn;
  long long hr = static_cast<long long>(dtim->hr) + dto->hr + floordiv(mn, 60);
  mn -= floordiv(mn, 60) * 60;
  long long dy = static_cast<long long>(dtim->dy) + dto->dy + floordiv(hr, 24);
  hr -= floordiv(hr, 24) * 24;

  // Days beyond the month: skip whole 400-year cycles and whole years
  // first, then month by month.
  // A year from (yr, mo) to (yr+1, mo) holds the February of yr when mo
  // is January or February, else that of yr+1.
  const long long cycle = cycledays();
  if (dy > 400 + cycle) {
    long long n = (dy - 400) / cycle;
    long long room = (static_cast<long long>(INT_MAX) - yr) / 400;
    if (n > room) n = room;
    dy -= n * cycle;
    yr = static_cast<int>(yr + n * 400);
  }
  while (dy > 400) {
    int feby = mo <= 2 ? yr : yr + 1;
    dy -= qleap(feby) ? 366 : 365;
    if (yr == INT_MAX) break;
    yr++;
  }
  while (dy > mosiz[mo]) {
    if (mo == 2 && qleap(yr)) {
      if (dy == 29) break;
      dy -= 29;
    } else {
      dy -= mosiz[mo];
    }
    mo++;
    if (mo > 12) {
      if (yr == INT_MAX) {  // the last day a time can hold
        mo = 12;
        dy = 31;
        break;
      }
      mo = 1;
      yr++;
    }
  }
  // A negative increment can leave the day before the month.
  borrowdays(dy, yr, mo);
  dto->yr = yr;
  dto->mo = mo;
  dto->dy = static_cast<int>(dy);
  dto->hr = static_cast<int>(hr);
  dto->mn = static_cast<int>(mn);
}

void timsub(const datetime* dtim, datetime* dto) {
  int iyr = dto->yr, imo = dto->mo;
  int yr = dtim->yr, mo = dtim->mo;
  normmo(yr, mo);

  long long mn = static_cast<long long>(dtim->mn) - dto->mn;
  long long hr = static_cast<long long>(dtim->hr) - dto->hr + floordiv(mn, 60);
  mn -= floordiv(mn, 60) * 60;
  long long dy = static_cast<long long>(dtim->dy) - dto->dy + floordiv(hr, 24);
  hr -= floordiv(hr, 24) * 24;

  borrowdays(dy, yr, mo);

  yr = clampint(static_cast<long long>(yr) - iyr);
  mo = clampint(static_cast<long long>(mo) - imo);
  normmo(yr, mo);
  if (mo == 2 && dy == 29 && !qleap(yr)) {
    mo = 3;
    dy = 1;
  }
  dto->yr = yr;
  dto->mo = mo;
  dto->dy = clampint(dy);
  dto->hr = static_cast<int>(hr);
  dto->mn = static_cast<int>(mn);
}

long timdif(const datetime* dtim1, const datetime* dtim2) {
  datetime a = *dtim1, b = *dtim2;
  normmo(a.yr, a.mo);
  normmo(b.yr, b.mo);
  bool swapped = false;
  if (a.yr > b.yr) {
    datetime t = a;
    a = b;
    b = t;
    swapped = true;
  }
  long long years = static_cast<long long>(b.yr) - a.yr;
  long long mins = (years * 365 + leapsbetween(a.yr, b.yr)) * MINS_PER_DAY;
  mins += yearmins(b.yr, b.mo, b.dy, b.hr, b.mn) - yearmins(a.yr, a.mo, a.dy, a.hr, a.mn);
  return static_cast<long>(swapped ? -mins : mins);
}

namespace {

int axfield(float v) {
  float f = v + 0.1f;
  if (!(f == f)) return 0;
  if (f >= 2147483648.0f) return INT_MAX;
  if (f < -2147483648.0f) return INT_MIN;
  return static_cast<int>(f);
}

}  // namespace

datetime axstart(const float* vals) {
  return datetime{axfield(vals[0]), axfield(vals[1]), axfield(vals[2]), axfield(vals[3]),
                  axfield(vals[4])};
}

namespace {

// A time axis's conversion array decoded: start, increment in months and
// increment in minutes (one of the two is 0).
struct taxis {
  datetime start;
  double moincr;
  double mnincr;
};

taxis decode(const float* vals) { return taxis{axstart(vals), vals[5], vals[6]}; }

double lint2gr(const float* vals, const datetime* dtim) {
  const taxis ax = decode(vals);
  const datetime& stim = ax.start;
  const double moincr = ax.moincr, mnincr = ax.mnincr;

  if (mnincr > 0.1) {
    return static_cast<double>(timdif(&stim, dtim)) / mnincr + 1.0;
  }

  datetime t = *dtim;
  normmo(t.yr, t.mo);
  double mos = (static_cast<double>(t.yr) * 12 + t.mo) - (static_cast<double>(stim.yr) * 12 + stim.mo);
  // The start's day and time of day placed in the time's month.
  datetime p = {t.yr, t.mo, stim.dy, stim.hr, stim.mn};
  long d = timdif(&p, &t);
  if (d > 0) {
    mos += static_cast<double>(d) / static_cast<double>(momins(t.yr, t.mo));
  } else if (d < 0) {
    // A start day that the previous month lacks (31 January, 29 February)
    // makes the step of that month spill into this one (31 January plus a
    // month is 3 March).  A time after that spilled step is a fraction past
    // it, and a time before it is taken as that step (as an early time of
    // any month is taken as the month's step), so that a step's own time
    // converts back to the step.
    int pyr = t.yr, pmo = t.mo - 1;
    normmo(pyr, pmo);
    int over = stim.dy - modays(pyr, pmo);
    if (over > 0) {
      datetime land = {t.yr, t.mo, over, stim.hr, stim.mn};
      long e = timdif(&land, &t);
      mos -= 1.0;
      if (e > 0) mos += static_cast<double>(e) / static_cast<double>(momins(t.yr, t.mo));
    }
  }
  if (moincr == 0.0) return 1.0;  // a broken axis; never divide by zero
  return mos / moincr + 1.0;
}

// Adds (or subtracts) a count of minutes, split into days, hours and
// minutes so that no field overflows.
void addmins(const datetime* from, long long mins, datetime* to) {
  long long m = mins < 0 ? -mins : mins;
  datetime inc = {0, 0, clampint(m / MINS_PER_DAY), static_cast<int>((m % MINS_PER_DAY) / 60),
                  static_cast<int>(m % 60)};
  *to = inc;
  if (mins < 0) {
    timsub(from, to);
  } else {
    timadd(from, to);
  }
}

// Rounds to the nearest integer, halves away from zero, kept within a
// range that the time fields can hold.
long long roundaway(double v) {
  const double lim = 1e15;
  if (!(v == v)) return 0;
  if (v > lim) v = lim;
  if (v < -lim) v = -lim;
  return v < 0 ? -static_cast<long long>(-v + 0.5) : static_cast<long long>(v + 0.5);
}

void lingr2t(const float* vals, double gr, datetime* dtim) {
  const taxis ax = decode(vals);
  const datetime& stim = ax.start;
  const double moincr = ax.moincr, mnincr = ax.mnincr;
  *dtim = datetime{0, 0, 0, 0, 0};

  if (mnincr > 0.1) {
    addmins(&stim, roundaway(mnincr * (gr - 1.0)), dtim);
    return;
  }

  double v = moincr * (gr - 1.0);
  const double lim = kMaxAxisMonths;
  if (!(v == v)) v = 0;
  if (v > lim) v = lim;
  if (v < -lim) v = -lim;
  long long whole = v < 0 ? static_cast<long long>(v - 0.9999) : static_cast<long long>(v + 0.0001);
  double frac = v - static_cast<double>(whole);

  long long w = whole < 0 ? -whole : whole;
  datetime inc = {clampint(w / 12), static_cast<int>(w % 12), 0, 0, 0};
  *dtim = inc;
  if (whole < 0) {
    timsub(&stim, dtim);
  } else {
    timadd(&stim, dtim);
  }
  if (frac >= 0.0001) {
    long long mins = static_cast<long long>(frac * static_cast<double>(momins(dtim->yr, dtim->mo)) + 0.5);
    datetime here = *dtim;
    addmins(&here, mins, dtim);
  }
}

// The tables of dates of the axes that have one, never released: a copy
// of an axis array (a grid's, a defined variable's, the plot's) keeps the
// table's number and may outlive the data set it came from.  Equal tables
// share one number, so a data set opened again adds nothing.
std::vector<std::vector<datetime>>& taxtables() {
  static std::vector<std::vector<datetime>> tables;
  return tables;
}

// An axis array's table of dates, or null for an axis of linear steps.
// The end mark's place holds -(kTableMark + number) when it has one.
constexpr float kTableMark = 1000.0f;

const std::vector<datetime>* datesof(const float* vals) {
  if (vals[7] == AXEND) return nullptr;
  const float k = -vals[7] - kTableMark;
  const std::vector<std::vector<datetime>>& t = taxtables();
  if (!(k >= 0.0f) || k >= static_cast<float>(t.size()) || k != std::floor(k)) return nullptr;
  return &t[static_cast<size_t>(k)];
}

// The linear axis of vals started at a date of its table.
void anchored(const float* vals, const datetime& a, float out[TAXIS_FLOATS]) {
  const float v[TAXIS_FLOATS] = {static_cast<float>(a.yr), static_cast<float>(a.mo), static_cast<float>(a.dy),
                                 static_cast<float>(a.hr), static_cast<float>(a.mn), vals[5], vals[6], AXEND};
  std::copy(v, v + TAXIS_FLOATS, out);
}

bool before(const datetime& a, const datetime& b) {
  const int x[5] = {a.yr, a.mo, a.dy, a.hr, a.mn}, y[5] = {b.yr, b.mo, b.dy, b.hr, b.mn};
  return std::lexicographical_compare(x, x + 5, y, y + 5);
}

}  // namespace

// With a table, a step's time is its date and a time between two steps is
// the same fraction of the way between their dates, as a linear monthly
// axis takes the fraction of the month; but a time earlier in its month
// than the month's own step is that step, as on a linear axis, so that a
// month named alone (mar2000, the first of the month) is the step stamped
// in that month.  Before the first step and past the last the axis steps
// linearly from the first or last date.
double t2gr(const float* vals, const datetime* dtim) {
  const std::vector<datetime>* dates = datesof(vals);
  if (dates == nullptr || dates->size() < 2 || !before(dates->front(), *dtim)) return lint2gr(vals, dtim);
  const std::vector<datetime>& d = *dates;
  if (!before(*dtim, d.back())) {
    float last[TAXIS_FLOATS];
    anchored(vals, d.back(), last);
    return lint2gr(last, dtim) + static_cast<double>(d.size() - 1);
  }
  // d[k] < dtim < d[k + 1], or dtim == d[k + 1].
  const size_t k = static_cast<size_t>(std::lower_bound(d.begin(), d.end(), *dtim, before) - d.begin()) - 1;
  datetime t = *dtim;
  normmo(t.yr, t.mo);
  const auto month = [](const datetime& a) { return static_cast<long long>(a.yr) * 12 + a.mo; };
  if (month(t) == month(d[k + 1]) && month(d[k]) < month(t)) return static_cast<double>(k) + 2.0;
  const double span = static_cast<double>(timdif(&d[k], &d[k + 1]));
  return static_cast<double>(k) + 1.0 + static_cast<double>(timdif(&d[k], dtim)) / span;
}

void gr2t(const float* vals, double gr, datetime* dtim) {
  const std::vector<datetime>* dates = datesof(vals);
  if (dates == nullptr || dates->size() < 2 || !(gr > 1.0)) {
    lingr2t(vals, gr, dtim);
    return;
  }
  const std::vector<datetime>& d = *dates;
  const double n = static_cast<double>(d.size());
  if (gr >= n) {
    float last[TAXIS_FLOATS];
    anchored(vals, d.back(), last);
    lingr2t(last, gr - n + 1.0, dtim);
    return;
  }
  // Times within a ten-thousandth of a step are the step's, as on the
  // linear axis.
  const double whole = std::floor(gr + 0.0001);
  const double frac = gr - whole;
  const size_t k = static_cast<size_t>(whole) - 1;
  if (frac < 0.0001) {
    *dtim = d[k];
    return;
  }
  addmins(&d[k], roundaway(frac * static_cast<double>(timdif(&d[k], &d[k + 1]))), dtim);
}

int taxdates(float* vals, const std::vector<datetime>& dates) {
  for (size_t i = 1; i < dates.size(); i++)
    if (!before(dates[i - 1], dates[i])) return 0;
  std::vector<std::vector<datetime>>& t = taxtables();
  auto same = [&](const std::vector<datetime>& x) {
    return std::equal(x.begin(), x.end(), dates.begin(), dates.end(), [](const datetime& a, const datetime& b) {
      return !before(a, b) && !before(b, a);
    });
  };
  size_t k = static_cast<size_t>(std::find_if(t.begin(), t.end(), same) - t.begin());
  // Numbers beyond those a float holds exactly are never made.
  if (k == t.size()) {
    if (k >= (1u << 24)) return 0;
    t.push_back(dates);
  }
  vals[7] = -(kTableMark + static_cast<float>(k));
  return 1;
}

void taxlinear(const float* vals, float out[TAXIS_FLOATS]) {
  std::copy(vals, vals + TAXIS_FLOATS, out);
  out[7] = AXEND;
}

bool taxfits(const datetime* start, long months, long minutes, int n) {
  const double steps = n > 1 ? n - 1.0 : 0.0;
  const double mos = std::fabs(static_cast<double>(months)) * steps;
  const double mins = std::fabs(static_cast<double>(minutes)) * steps;
  if (mos > kMaxAxisMonths) return false;
  // The days of a step in minutes are counted in an int.
  if (mins / MINS_PER_DAY > INT_MAX) return false;
  // Years of 365 days: never fewer years than the calendar gives.
  const double years = mos / 12.0 + mins / (365.0 * MINS_PER_DAY) + 1.0;
  return static_cast<double>(start->yr) + years < static_cast<double>(INT_MAX) &&
         static_cast<double>(start->yr) - years > static_cast<double>(INT_MIN);
}

namespace {

void adterr(const char* line) {
  omprnt(0, "Syntax Error:  Invalid Date/Time value.\n");
  omprnt(0, line);
}

bool isdig(char c) { return c >= '0' && c <= '9'; }

// A digit string as an int; values too large for one are held at INT_MAX
// so that the range checks below report them instead of a wrapped value.
const char* digits(const char* p, int* val) {
  long long v = 0;
  while (isdig(*p)) {
    if (v < INT_MAX) v = v * 10 + (*p - '0');
    p++;
  }
  *val = v > INT_MAX ? INT_MAX : static_cast<int>(v);
  return p;
}

}  // namespace

const char* adtprs(const char* ch, const datetime* def, datetime* dtim) {
  char buf[96];
  dtim->mn = 0;
  dtim->hr = 0;
  dtim->dy = 1;

  enum { NONE, DAY, CLOCK } lead = NONE;
  if (isdig(*ch)) {
    int val = 0;
    const char* pos = digits(ch, &val);
    if (*pos == ':' || *pos == 'z') {
      if (val > 23) {
        snprintf(buf, sizeof buf, "  Hour = %i -- greater than 23\n", val);
        adterr(buf);
        return nullptr;
      }
      dtim->hr = val;
      ch = pos;
      if (*ch == ':') {
        ch++;
        int mn = 0;
        const char* p2 = isdig(*ch) ? digits(ch, &mn) : nullptr;
        if (p2 == nullptr) {
          adterr("  Missing minute value \n");
          return nullptr;
        }
        if (mn > 59) {
          snprintf(buf, sizeof buf, "  Minute = %i -- greater than 59\n", mn);
          adterr(buf);
          return nullptr;
        }
        dtim->mn = mn;
        ch = p2;
        if (*ch != 'z') {
          adterr("  'z' delimiter is missing \n");
          return nullptr;
        }
      }
      ch++;  // past the z
      int dy = def->dy;
      if (isdig(*ch)) ch = digits(ch, &dy);
      dtim->dy = dy;
      lead = CLOCK;
    } else {
      dtim->dy = val;
      ch = pos;
      lead = DAY;
    }
  }

  int month = 0;
  for (int i = 0; i < 12 && month == 0; i++) {
    if (ch[0] == mons[i][0] && ch[1] == mons[i][1] && ch[2] == mons[i][2]) month = i + 1;
  }
  if (month > 0) {
    dtim->mo = month;
    ch += 3;
    if (isdig(*ch)) {
      int ndig = 0;
      while (isdig(ch[ndig])) ndig++;
      int yr = 0;
      ch = digits(ch, &yr);
      dtim->yr = yr;
      mfcmn.mffullyr = ndig >= 3 ? 1 : 0;
    } else {
      dtim->yr = def->yr;
    }
  } else if (lead == NONE) {
    adterr("  Expected month abbreviation, none found\n");
    return nullptr;
  } else if (lead == DAY) {
    adterr("  Missing month abbreviation or 'z' delimiter\n");
    return nullptr;
  } else {
    dtim->mo = def->mo;
    dtim->yr = def->yr;
  }

  // Two-digit years fall in 1950-2049 once a two-digit year was parsed.
  if (mfcmn.mffullyr == 0 && dtim->yr >= 0) {
    if (dtim->yr < 50) {
      dtim->yr += 2000;
    } else if (dtim->yr < 100) {
      dtim->yr += 1900;
    }
  }

  if (dtim->mo >= 1 && dtim->mo <= 12) {
    int mlen = modays(dtim->yr, dtim->mo);
    if (dtim->dy > mlen) {
      snprintf(buf, sizeof buf, "  Day = %i -- greater than %i \n", dtim->dy, mlen);
      adterr(buf);
      return nullptr;
    }
  }
  return ch;
}

const char* rdtprs(const char* ch, datetime* dtim) {
  *dtim = datetime{0, 0, 0, 0, 0};
  bool any = false;
  while (isdig(*ch)) {
    int val = 0;
    ch = digits(ch, &val);
    int* field = nullptr;
    if (ch[0] == 'y' && ch[1] == 'r') field = &dtim->yr;
    else if (ch[0] == 'm' && ch[1] == 'o') field = &dtim->mo;
    else if (ch[0] == 'd' && ch[1] == 'y') field = &dtim->dy;
    else if (ch[0] == 'h' && ch[1] == 'r') field = &dtim->hr;
    else if (ch[0] == 'm' && ch[1] == 'n') field = &dtim->mn;
    if (field == nullptr) {
      char found[3] = {ch[0], ch[0] ? ch[1] : '\0', '\0'};
      omprnt(0, "Syntax Error:  Invalid Date/Time offset.\n");
      omprnt(0, std::string("  Expecting yr/mo/dy/hr/mn, found ") + found + "\n");
      return nullptr;
    }
    *field = val;
    ch += 2;
    any = true;
  }
  if (!any) {
    omprnt(0, "Syntax Error:  Invalid Date/Time offset.\n");
    omprnt(0, "  No offset value given\n");
    return nullptr;
  }
  return ch;
}

namespace {

// The two digits of a two-digit field, printed as tens then units.
std::string twodig(int v) { return std::to_string(v / 10) + std::to_string(v % 10); }

}  // namespace

std::string omt2str(const datetime* dtim, int prec) {
  std::string mon = (dtim->mo >= 1 && dtim->mo <= 12) ? monc[dtim->mo - 1] : "???";
  std::string yr = std::to_string(dtim->yr);
  switch (prec) {
    case 1:
      return yr;
    case 2:
      return dtim->yr == 9999 ? mon : mon + yr;
    case 3:
      return twodig(dtim->dy) + mon + yr;
    case 4:
      return twodig(dtim->hr) + "Z" + twodig(dtim->dy) + mon + yr;
    case 5:
      return twodig(dtim->hr) + ":" + twodig(dtim->mn) + "Z" + twodig(dtim->dy) + mon + yr;
    default:
      return "???";
  }
}

int omt2ch(const datetime* dtim, int prec, char* ch) {
  std::string s = omt2str(dtim, prec);
  if (s.size() >= OMT2CH_SIZE) s.resize(OMT2CH_SIZE - 1);
  s.copy(ch, s.size());
  ch[s.size()] = '\0';
  return static_cast<int>(s.size());
}

int dayweek(const datetime* dtim) {
  static const datetime base = {1950, 1, 1, 0, 0};
  long long days = floordiv(timdif(&base, dtim), MINS_PER_DAY);
  return static_cast<int>(days - floordiv(days, 7) * 7);
}
