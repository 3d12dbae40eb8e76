// The units library: initialised once from the data directory's database,
// then asked whether unit texts parse, convert, or measure time.
#include <udunits.h>
#include <udunits2.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "cmd/omprnt.h"
#include "sdf/sdfint.h"

namespace {

bool units_ready = false;

std::string data_directory() {
  const char* d = std::getenv("OMDDIR");
  if (d != nullptr && *d != '\0') return d;
#ifdef OMBRA_DATADIR
  return OMBRA_DATADIR;
#else
  return "/usr/local/lib/ombra";
#endif
}

// A parsed unit that frees itself.
struct unit {
  utUnit u;
  bool ok = false;
  explicit unit(const char* text) {
    utIni(&u);
    ok = units_ready && text != nullptr && utScan(text, &u) == 0;
  }
  ~unit() { utFree(&u); }
  unit(const unit&) = delete;
  unit& operator=(const unit&) = delete;
};

}  // namespace

int sdf_units_init() {
  if (units_ready) return 1;
  ut_set_error_message_handler(ut_ignore);
  std::string path = data_directory();
  if (!path.empty() && path.back() != '/') path += '/';
  path += "udunits.dat";
  if (utInit(path.c_str()) != 0) {
    omprnt(0, "UDUNITS package initialization failure.\n");
    return 0;
  }
  units_ready = true;
  return 1;
}

bool sdf_units_ready() { return units_ready; }

int compare_units(const char* a, const char* b) {
  unit ua(a), ub(b);
  if (!ua.ok || !ub.ok) return 0;
  double slope = 0, icpt = 0;
  if (utConvert(&ua.u, &ub.u, &slope, &icpt) != 0) return 0;
  return (std::fabs(slope - 1.0) <= 1e-6 && std::fabs(icpt) <= 1e-6) ? 1 : 0;
}

int units_convertible(const char* text, const char* ref) {
  unit ua(text), ub(ref);
  if (!ua.ok || !ub.ok) return 0;
  double slope = 0, icpt = 0;
  return utConvert(&ua.u, &ub.u, &slope, &icpt) == 0 ? 1 : 0;
}

// Bare "days" or "years" are times too, not only "unit since date".
int units_is_time(const char* text) { return units_convertible(text, "seconds"); }

int decode_ud_time(const char* units, double val, int* yr, int* mo, int* dy, int* hr, int* mn,
                   double* sec) {
  unit u(units);
  if (!u.ok) return 0;
  float s = 0;
  if (utCalendar(val, &u.u, yr, mo, dy, hr, mn, &s) != 0) return 0;
  *sec = s;
  return 1;
}
