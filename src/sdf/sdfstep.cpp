// The time step of a template series whose first member holds one time:
// that file cannot give it, so it is taken from the first times of the
// members after it.  Files may be missing anywhere (the second of a daily
// series, or every name but each sixth of an hourly template when the files
// are six-hourly), so the step is the smallest spacing among the first few
// members that are there, each other spacing a whole multiple of it, seen
// twice or one unit of the template's finest code.  When they cannot tell
// it the open is refused, saying why: the axis would
// otherwise step by a minute and map every later time to the first file,
// or take the step past a gap and put every time in the wrong place.  A
// series whose first member holds several times has its step; the member
// there after it is read only to see that it begins after the first
// file's last step.  Monthly members of mid-month times, which no step of
// months reaches, are all read for the dates of their steps.  Each member
// file is read once while the series opens, by the helper.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/omprnt.h"
#include "base/replsig.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

namespace {

// Units of the template's finest time code walked to find the members
// after the first (over four years of days).
const int kMaxProbes = 1500;

// Member files after the first that are looked at: enough that a missing
// file or two cannot pass a gap off as the step, few enough that a long
// series opens as fast as a short one.
const int kMembers = 4;

// The finest time the template's codes name, as an increment; all zero
// when it names none.  Codes of the initial time (%i..) do not change
// along the series.
datetime finest_unit(const std::string& t) {
  datetime u = {0, 0, 0, 0, 0};
  int rank = 0;  // 1 year, 2 month, 3 day, 4 hour, 5 minute
  auto take = [&](int r) {
    if (r > rank) rank = r;
  };
  for (size_t i = 0; i + 1 < t.size(); i++) {
    if (t[i] != '%') continue;
    char a = t[i + 1], b = i + 2 < t.size() ? t[i + 2] : '\0';
    if (a == 'i') continue;
    if (a == 'y' && (b == '2' || b == '4')) take(1);
    if (a == 'm' && (b == '1' || b == '2' || b == 'c')) take(2);
    if ((a == 'm' && (b == 'h' || b == 'H')) || (a == 'd' && (b == '1' || b == '2'))) take(3);
    if ((a == 'h' && (b == '1' || b == '2' || b == '3')) || (a == 'f' && (b == '2' || b == '3')))
      take(4);
    if (a == 'n' && b == '2') take(5);
  }
  switch (rank) {
    case 1: u.yr = 1; break;
    case 2: u.mo = 1; break;
    case 3: u.dy = 1; break;
    case 4: u.hr = 1; break;
    case 5: u.mn = 1; break;
    default: break;
  }
  return u;
}

bool regular_file(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Where a member begins, counted from the first member's time: in months
// when it begins on the same day of the month at the same time of day, or
// in a later month when the template names no day nor hour (monthly files
// holding mid-month times, which are not equally far apart), else in
// minutes.
struct offset {
  long months = 0, minutes = 0;
};

offset offset_from(const datetime& t0, const datetime& t1, bool by_month) {
  offset o;
  const long months = (static_cast<long>(t1.yr) - t0.yr) * 12 + (t1.mo - t0.mo);
  if ((by_month && months > 0) ||
      (t1.dy == t0.dy && t1.hr == t0.hr && t1.mn == t0.mn && months != 0))
    o.months = months;
  else
    o.minutes = timdif(&t0, &t1);
  return o;
}

// A member file after the first that is there; read says whether its
// first time could be read, and at is where that time lies.
struct member {
  std::string name;
  bool read = false;
  offset at;
  datetime start = {0, 0, 0, 0, 0};
};

// The first `most` times of a member file, read by the helper (which
// opens it once), or where it cannot by the program's own open; 0 when it
// has none that can be read, with *passing true when the reason is not
// the file's own (an interrupt, a time limit).
int read_times(const std::string& name, size_t most, std::vector<datetime>* times, bool* passing) {
  *passing = false;
  std::string said;
  const int answer = helper_times(name.c_str(), most, times, &said);
  if (answer == HELPER_TIMES) {
    if (!said.empty()) omprnt(0, said.c_str());
    return times->empty() ? 0 : 1;
  }
  if (helper_refused(name.c_str(), answer, passing)) return 0;
  // No helper, or a file the helper leaves to the program's own open.
  io_std* io = nullptr;
  if (!init_io_std(&io)) return 0;
  const int got = read_io_std(name.c_str(), io, passing) && file_times(io, most, times);
  if (io->owns_file) close_netcdf(io->ncid);
  io->owns_file = false;
  free_io_std(&io);
  return got;
}

// The first `most` times of a member file, each file read once while the
// series opens: what an earlier read gave serves when it asked for as many
// times or more, found fewer, or failed.
int member_times(member_reads* reads, const std::string& name, size_t most, std::vector<datetime>* times,
                 bool* passing) {
  auto it = reads->find(name);
  // A read that found all the times it asked for may find more.
  const bool more = it != reads->end() && it->second.ok && it->second.asked < most &&
                    it->second.times.size() == it->second.asked;
  if (it == reads->end() || more) {
    member_read r;
    r.asked = most;
    r.ok = read_times(name, most, &r.times, &r.passing);
    it = reads->insert_or_assign(name, std::move(r)).first;
  }
  const member_read& r = it->second;
  *passing = r.passing;
  times->assign(r.times.begin(), r.times.begin() + static_cast<long>(std::min(most, r.times.size())));
  return r.ok;
}

int member_start(member_reads* reads, const std::string& name, datetime* start, bool* passing) {
  std::vector<datetime> t;
  if (!member_times(reads, name, 1, &t, passing)) return 0;
  *start = t[0];
  return 1;
}

// Whether a comes after b, to the minute.
bool later(const datetime& a, const datetime& b) {
  const int x[5] = {a.yr, a.mo, a.dy, a.hr, a.mn}, y[5] = {b.yr, b.mo, b.dy, b.hr, b.mn};
  return std::lexicographical_compare(y, y + 5, x, x + 5);
}

// What the walk along the template's names found.
struct walk {
  std::vector<member> members;  // in the order of their names
  std::string firstname, lastname;  // the first and last names looked at
  bool stopped = false;             // the last member's read failed, not by its file
};

// Walks the names the template gives a unit of its finest time code at a
// time after the first member's, and reads the first time of the first
// kMembers files that are there.  Names further from the first member
// than kMembers + 1 times the first one found are not looked at: with the
// files every step they would be found by then.  Only the names are
// looked up (stat); a file is opened once found.
walk walk_members(member_reads* reads, const std::string& templ, const float* taxis) {
  walk w;
  datetime unit = finest_unit(templ);
  if (unit.yr + unit.mo + unit.dy + unit.hr + unit.mn == 0) return w;
  const bool by_month = unit.yr + unit.mo > 0;
  const datetime t0 = axstart(taxis);
  datetime t = t0;
  const std::string first = sdf_fndt(templ, t0, t0, taxis);
  std::string last = first;
  int limit = kMaxProbes;
  for (int k = 1; k <= limit && static_cast<int>(w.members.size()) < kMembers; k++) {
    datetime step = unit;
    timadd(&t, &step);
    t = step;
    std::string name = sdf_fndt(templ, t, t0, taxis);
    if (name == last || name == first) continue;
    last = name;
    if (w.firstname.empty()) w.firstname = name;
    w.lastname = name;
    if (!regular_file(name)) continue;
    if (w.members.empty()) limit = std::min(kMaxProbes, k * (kMembers + 1));
    member m;
    m.name = name;
    datetime start;
    bool passing = false;
    m.read = member_start(reads, name, &start, &passing) != 0;
    if (!m.read && passing) {
      w.stopped = true;
      w.members.push_back(m);
      return w;
    }
    if (m.read) {
      m.at = offset_from(t0, start, by_month);
      m.start = start;
    }
    w.members.push_back(m);
  }
  return w;
}

const char* const kHead =
    "SDFOPEN error:  The first file holds one time, so the series' time step cannot be read "
    "from it,\n  and ";
const char* const kGive = "  Give the step with tdef in an extended descriptor (xdfopen).\n";

void refuse_unspaced(const member* last) {
  omprntf(0, "%sthe member files after it, up to %s, are not spaced by whole multiples of one step.%s",
          kHead, replshownname(last->name).c_str(), kGive);
}

// The spacing of each member read from the one before it (the first file
// before the first of them), in months or (*months false) in minutes;
// empty after its message when a member does not begin after the one
// before it or the members' times are not all of one kind.
std::vector<long> spacings(const std::vector<const member*>& read, bool* months) {
  std::vector<long> gaps;
  *months = read[0]->at.months != 0;
  for (size_t i = 0; i < read.size(); i++) {
    const offset& o = read[i]->at;
    if ((o.months != 0) != *months) {
      refuse_unspaced(read[i]);
      return std::vector<long>();
    }
    const offset before = i > 0 ? read[i - 1]->at : offset();
    const long gap = *months ? o.months - before.months : o.minutes - before.minutes;
    if (gap < 1) {
      if (i == 0)
        omprntf(0, "SDFOPEN error:  The next member file %s does not begin after the first.\n",
                replshownname(read[i]->name).c_str());
      else
        omprntf(0, "SDFOPEN error:  The member file %s does not begin after %s.\n",
                replshownname(read[i]->name).c_str(), replshownname(read[i - 1]->name).c_str());
      return std::vector<long>();
    }
    gaps.push_back(gap);
  }
  return gaps;
}

// The steps of the member that begins at step t (0-based) of the table.
size_t member_steps(const std::vector<int>& fnums, size_t t) {
  size_t steps = 1;
  while (t + steps < fnums.size() && fnums[t + steps] == fnums[t]) steps++;
  return steps;
}

}  // namespace

int file_times(io_std* io, size_t most, std::vector<datetime>* times) {
  times->clear();
  var_info* tv = nullptr;
  sdftaxis ta;
  if (!findT(io, &tv) || tv == nullptr || !define_time_axis(io, tv, &ta)) return 0;
  const size_t n = std::min(most, static_cast<size_t>(ta.size));
  if (!ta.dates.empty()) {
    times->assign(ta.dates.begin(), ta.dates.begin() + static_cast<long>(n));
  } else {
    times->resize(n);
    for (size_t i = 0; i < n; i++) gr2t(ta.conv, static_cast<double>(i) + 1.0, &(*times)[i]);
  }
  return times->empty() ? 0 : 1;
}

int series_step_from_next(member_reads* reads, datafile* pfi, const std::string& templ, bool* offsteps) {
  *offsteps = false;
  float* conv = pfi->grvals[3];
  walk w;
  if (conv != nullptr) w = walk_members(reads, templ, conv);
  if (w.stopped) {
    // Interrupted, or unreadable for a moment: the open is not made from
    // the members that are left.
    omprntf(0, "%sthe member file %s cannot be read now.%s", kHead, replshownname(w.members.back().name).c_str(),
            kGive);
    return 0;
  }
  std::vector<const member*> read;
  for (const member& m : w.members)
    if (m.read) read.push_back(&m);
  if (read.empty()) {
    if (w.firstname.empty())
      omprntf(0, "%sno later member file gives it.%s", kHead, kGive);
    else
      omprntf(0, "%sno member file from %s to %s gives it.%s", kHead, replshownname(w.firstname).c_str(),
              replshownname(w.lastname).c_str(), kGive);
    return 0;
  }
  bool months = false;
  const std::vector<long> gaps = spacings(read, &months);
  if (gaps.empty()) return 0;
  const size_t at = static_cast<size_t>(std::min_element(gaps.begin(), gaps.end()) - gaps.begin());
  const long step = gaps[at];
  for (long g : gaps) {
    if (g % step != 0) {
      refuse_unspaced(read.back());
      return 0;
    }
  }
  // A spacing seen once may be a multiple of the true step, the members
  // between missing (files of the 1st and 3rd alone, of a daily series):
  // it is taken only when it is one unit of the template's finest code,
  // which leaves no shorter step, or when another spacing agrees.
  if (std::count(gaps.begin(), gaps.end(), step) < 2) {
    const datetime unit = finest_unit(templ);
    const long one = months ? unit.yr * 12L + unit.mo : unit.dy * 1440L + unit.hr * 60L + unit.mn;
    if (step != one) {
      if (w.members.front().name != w.firstname)
        omprntf(0, "%sthe next member file %s is missing.%s", kHead, replshownname(w.firstname).c_str(), kGive);
      else
        refuse_unspaced(read.back());
      return 0;
    }
  }
  conv[5] = static_cast<float>(months ? step : 0);
  conv[6] = static_cast<float>(months ? 0 : step);
  // Monthly files of mid-month times begin on other days than the first.
  for (size_t i = 0; months && i < read.size(); i++) {
    datetime on;
    gr2t(conv, static_cast<double>(read[i]->at.months / step) + 1.0, &on);
    if (later(on, read[i]->start) || later(read[i]->start, on)) *offsteps = true;
  }
  const datetime t0 = axstart(conv);
  const std::string from = at > 0 ? read[at - 1]->name : sdf_fndt(templ, t0, t0, conv);
  omprntf(2, "SDFOPEN:  time step taken from the member files %s and %s.\n", replshownname(from).c_str(),
          replshownname(read[at]->name).c_str());
  return 1;
}

int series_next_after_first(member_reads* reads, const datafile* pfi, const std::string& templ) {
  const float* conv = pfi->grvals[3];
  if (conv == nullptr || pfi->fnums.empty()) return 1;
  const datetime t0 = axstart(conv);
  // The first file's last step: a member after it that begins no later
  // would give times the first file's steps already stand for.
  datetime firstlast;
  gr2t(conv, static_cast<double>(member_steps(pfi->fnums, 0)), &firstlast);
  int looked = 0;
  for (size_t t = 1; t < pfi->fnums.size() && looked <= kMembers; t++) {
    const int m = pfi->fnums[t];
    if (m == pfi->fnums[t - 1]) continue;
    looked++;
    datetime tm;
    gr2t(conv, static_cast<double>(m), &tm);
    const std::string name = sdf_fndt(templ, tm, t0, conv);
    if (!regular_file(name)) continue;
    std::vector<datetime> own;
    bool passing = false;
    // As many times as the dates of the member's steps will want.
    if (member_times(reads, name, member_steps(pfi->fnums, t), &own, &passing) && !later(own[0], firstlast)) {
      omprntf(0, "SDFOPEN error:  The next member file %s does not begin after the first.\n", replshownname(name).c_str());
      return 0;
    }
    return 1;
  }
  return 1;
}

int series_dates_from_members(member_reads* reads, datafile* pfi, const std::string& templ,
                              const std::vector<datetime>& first) {
  float* conv = pfi->grvals[3];
  const size_t n = pfi->fnums.size();
  if (conv == nullptr || n < 2) return 1;
  const datetime t0 = axstart(conv);
  std::vector<datetime> dates(n);
  dates[0] = t0;
  size_t last = 0;  // the last step whose date was read
  std::string lastname = sdf_fndt(templ, t0, t0, conv);
  // The times of the member at step t go to its steps.  Steps of missing
  // members (or past a member's last time) between two that are read lie
  // evenly between their dates, as the times between two steps do, a
  // minute apart at least.
  auto place = [&](const std::vector<datetime>& own, size_t t, const std::string& name) {
    for (size_t i = 0; i < own.size() && t + i < n && pfi->fnums[t + i] == pfi->fnums[t]; i++) {
      const size_t s = t + i;
      if (s == 0) continue;
      const long span = timdif(&dates[last], &own[i]);
      if (span < static_cast<long>(s - last)) {
        omprntf(0, "SDFOPEN error:  The member file %s does not begin after %s.\n", replshownname(name).c_str(),
                replshownname(lastname).c_str());
        return false;
      }
      for (size_t k = last + 1; k < s; k++) {
        const long long m = static_cast<long long>(static_cast<double>(span) * static_cast<double>(k - last) /
                                                       static_cast<double>(s - last) + 0.5);
        datetime inc = {0, 0, static_cast<int>(m / 1440), static_cast<int>(m % 1440 / 60), static_cast<int>(m % 60)};
        timadd(&dates[last], &inc);
        dates[k] = inc;
      }
      dates[s] = own[i];
      last = s;
    }
    lastname = name;
    return true;
  };
  if (!place(first, 0, lastname)) return 0;
  for (size_t t = 1; t < n; t++) {
    if (pfi->fnums[t] != static_cast<int>(t) + 1) continue;
    datetime lin;
    gr2t(conv, static_cast<double>(t) + 1.0, &lin);
    const std::string name = sdf_fndt(templ, lin, t0, conv);
    if (!regular_file(name)) continue;
    std::vector<datetime> own;
    bool passing = false;
    if (!member_times(reads, name, member_steps(pfi->fnums, t), &own, &passing)) {
      // Its steps are undefined, as a missing member's are, and its data
      // is looked for again when asked for; only an interrupt stops the
      // open.
      if (!passing || !omqsig()) continue;
      omprntf(0, "SDFOPEN error:  The member file %s cannot be read now.\n", replshownname(name).c_str());
      return 0;
    }
    if (!place(own, t, name)) return 0;
  }
  // Past the last time read the axis steps on from its date.
  dates.resize(last + 1);
  if (dates.size() < 2) return 1;
  if (!taxdates(conv, dates)) {
    omprnt(0, "SDFOPEN error:  Memory allocation error.\n");
    return 0;
  }
  return 1;
}
