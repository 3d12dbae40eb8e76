// The time step of a template series whose first member holds one time:
// that file cannot give it, so it is taken from the first time of the next
// member file, the one a unit of the template's finest time code later.
// Without that member the open is refused: the axis would otherwise step
// by a minute and map every later time to the first file, or take the step
// from a later file past a gap and put every time in the wrong place.
#include <sys/stat.h>

#include <string>

#include "base/omprnt.h"
#include "data/datafile.h"
#include "data/datetime.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

namespace {

// Units of the template's finest time code tried for a name other than
// the first member's (over four years of days).
const int kMaxProbes = 1500;

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

// The name of the member after the first: the first name other than the
// first member's that the template gives a unit of its finest time code at
// a time on; empty when it names no time.
std::string next_member(const std::string& templ, const float* taxis) {
  datetime unit = finest_unit(templ);
  if (unit.yr + unit.mo + unit.dy + unit.hr + unit.mn == 0) return std::string();
  datetime t0 = axstart(taxis), t = t0;
  const std::string first = sdf_fndt(templ, t0, t0, taxis);
  for (int k = 0; k < kMaxProbes; k++) {
    datetime step = unit;
    timadd(&t, &step);
    t = step;
    std::string name = sdf_fndt(templ, t, t0, taxis);
    if (name != first) return name;
  }
  return std::string();
}

// The first time of a member file, as the opener would read it; 0 when it
// has none that can be read.
int member_start(const std::string& name, datetime* start) {
  io_std* io = nullptr;
  if (!init_io_std(&io)) return 0;
  int ok = 0;
  var_info* tv = nullptr;
  sdftaxis ta;
  if (read_io_std(name.c_str(), io) && findT(io, &tv) && tv != nullptr &&
      define_time_axis(io, tv, &ta)) {
    *start = axstart(ta.conv);
    ok = 1;
  }
  if (io->owns_file) close_netcdf(io->ncid);
  io->owns_file = false;
  free_io_std(&io);
  return ok;
}

}  // namespace

int series_step_from_next(datafile* pfi, const std::string& templ) {
  float* conv = pfi->grvals[3];
  const char* const refuse =
      "SDFOPEN error:  The first file holds one time, so the series' time step cannot be read "
      "from it,\n  and no later member file gives it.  Give the step with tdef in an extended "
      "descriptor (xdfopen).\n";
  if (conv == nullptr) {
    omprnt(0, refuse);
    return 0;
  }
  std::string next = next_member(templ, conv);
  datetime t0 = axstart(conv), t1;
  if (!next.empty() && !regular_file(next)) {
    omprntf(0,
            "SDFOPEN error:  The first file holds one time, so the series' time step cannot be read "
            "from it,\n  and the next member file %s is missing.  Give the step with tdef in an "
            "extended descriptor (xdfopen).\n",
            next.c_str());
    return 0;
  }
  if (next.empty() || !member_start(next, &t1)) {
    omprnt(0, refuse);
    return 0;
  }
  long months = 0, minutes = 0;
  if (t1.dy == t0.dy && t1.hr == t0.hr && t1.mn == t0.mn && (t1.yr != t0.yr || t1.mo != t0.mo))
    months = (static_cast<long>(t1.yr) - t0.yr) * 12 + (t1.mo - t0.mo);
  else
    minutes = timdif(&t0, &t1);
  if (months < 0 || minutes < 0 || (months == 0 && minutes < 1)) {
    omprntf(0, "SDFOPEN error:  The next member file %s does not begin after the first.\n",
            next.c_str());
    return 0;
  }
  conv[5] = static_cast<float>(months);
  conv[6] = static_cast<float>(minutes);
  omprntf(2, "SDFOPEN:  time step taken from the next member file %s.\n", next.c_str());
  return 1;
}
