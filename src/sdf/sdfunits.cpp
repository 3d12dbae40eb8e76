// The units library: initialised once from the data directory's database,
// then asked whether unit texts parse, convert, or measure time.
#include <locale.h>
#include <udunits.h>
#include <udunits2.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/datadir.h"
#include "base/omprnt.h"
#include "base/useropen.h"
#include "sdf/sdfint.h"

namespace {

bool units_ready = false;

// The library matches unit names without case through the C library, by
// the character type the line editor takes from the environment: in a
// Turkish one MINUTES is not minutes.  Its calls are made in the C locale.
struct c_locale {
  locale_t old = nullptr;
  c_locale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    if (c != nullptr) old = uselocale(c);
  }
  ~c_locale() {
    if (old != nullptr) uselocale(old);
  }
  c_locale(const c_locale&) = delete;
  c_locale& operator=(const c_locale&) = delete;
};

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
  c_locale in_c;
  if (units_ready) return 1;
  ut_set_error_message_handler(ut_ignore);
  std::string path = gxgnam("udunits.dat");
  // The library's initialisation reads the database named by its
  // environment variable; point it at the data directory's file for the
  // one call.
  const char* old = std::getenv("UDUNITS2_XML_PATH");
  std::string saved = old != nullptr ? old : "";
  setenv("UDUNITS2_XML_PATH", path.c_str(), 1);
  // The library reads the file itself, with a plain open: only a regular
  // file is handed to it.
  FILE* f = omfopen(path.c_str(), "r", OMO_REGULAR);
  int rc = -1;
  if (f != nullptr) {
    std::fclose(f);
    rc = utInit(path.c_str());
  }
  if (old != nullptr)
    setenv("UDUNITS2_XML_PATH", saved.c_str(), 1);
  else
    unsetenv("UDUNITS2_XML_PATH");
  if (rc != 0) {
    omprnt(0, "UDUNITS package initialization failure.\n");
    return 0;
  }
  units_ready = true;
  return 1;
}

bool sdf_units_ready() { return units_ready; }

namespace {

// Slope and offset of the conversion between two parsed units; false when
// they do not convert.  (The converter is freed here; the library's own
// compatibility call would leak it.)
bool conversion(const unit& a, const unit& b, double* slope, double* icpt) {
  if (!a.ok || !b.ok || a.u.unit2 == nullptr || b.u.unit2 == nullptr) return false;
  if (!ut_are_convertible(a.u.unit2, b.u.unit2)) return false;
  cv_converter* cv = ut_get_converter(a.u.unit2, b.u.unit2);
  if (cv == nullptr) return false;
  *icpt = cv_convert_double(cv, 0.0);
  *slope = cv_convert_double(cv, 1.0) - *icpt;
  cv_free(cv);
  return true;
}

}  // namespace

int compare_units(const char* a, const char* b) {
  c_locale in_c;
  unit ua(a), ub(b);
  double slope = 0, icpt = 0;
  if (!conversion(ua, ub, &slope, &icpt)) return 0;
  return (std::fabs(slope - 1.0) <= 1e-6 && std::fabs(icpt) <= 1e-6) ? 1 : 0;
}

int units_convertible(const char* text, const char* ref) {
  c_locale in_c;
  unit ua(text), ub(ref);
  double slope = 0, icpt = 0;
  return conversion(ua, ub, &slope, &icpt) ? 1 : 0;
}

// Bare "days" or "years" are times too, not only "unit since date".
// A reference date after " since " must parse too.
int units_is_time(const char* text) {
  c_locale in_c;
  if (text == nullptr) return 0;
  std::string t = text;
  size_t since = t.find(" since ");
  if (since == std::string::npos) return units_convertible(text, "seconds");
  unit whole(text);
  return whole.ok && units_convertible(t.substr(0, since).c_str(), "seconds") ? 1 : 0;
}

int decode_ud_time(const char* units, double val, int* yr, int* mo, int* dy, int* hr, int* mn,
                   double* sec) {
  c_locale in_c;
  unit u(units);
  if (!u.ok) return 0;
  float s = 0;
  if (utCalendar(val, &u.u, yr, mo, dy, hr, mn, &s) != 0) return 0;
  *sec = s;
  return 1;
}
