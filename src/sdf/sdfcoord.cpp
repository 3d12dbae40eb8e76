// Recognising the longitude, latitude, level and time coordinates of a file
// and turning coordinate values into linear or level-list axes.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "base/omprnt.h"
#include "base/words.h"
#include "sdf/sdfint.h"

namespace {

bool is_coordinate(const io_std* io, const var_info& v) {
  if (v.ndims != 1 || v.dimids.empty()) return false;
  int d = v.dimids[0];
  return d >= 0 && d < io->ndims && io->dimnames[static_cast<size_t>(d)] == v.ncname;
}

bool begins(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

template <class Test>
int find_coord(io_std* io, var_info** out, Test test) {
  *out = nullptr;
  for (var_info& v : io->varlist) {
    if (!is_coordinate(io, v) || find_att(v.atts, "units") == nullptr) continue;
    if (test(att_text(v.atts, "units"))) {
      *out = &v;
      return 1;
    }
  }
  return 0;
}

}  // namespace

int findX(io_std* io, var_info** v) {
  return find_coord(io, v, [](const std::string& u) {
    return begins(u, "degrees_east") || begins(u, "degree_east") || begins(u, "degrees_E") ||
           begins(u, "degree_E");
  });
}

int findY(io_std* io, var_info** v) {
  return find_coord(io, v, [](const std::string& u) {
    return begins(u, "degrees_north") || begins(u, "degree_north") || begins(u, "degrees_N") ||
           begins(u, "degree_N");
  });
}

int findZ(io_std* io, var_info** v) {
  *v = nullptr;
  for (const char* ref : {"feet", "pascals", "kelvins"}) {
    if (!units_convertible(ref, ref)) {
      omprntf(0, "The udunits library doesn't know %s; giving up...\n", ref);
      return 9999;
    }
  }
  return find_coord(io, v, [](const std::string& u) {
    std::string l = lowstr(u);
    for (const char* w : {"mb", "hybrid_sigma_pressure", "sigma_level", "degreesk", "degrees_k",
                          "level", "layer", "layers"})
      if (l == w) return true;
    return units_convertible(u.c_str(), "feet") || units_convertible(u.c_str(), "pascals") ||
           units_convertible(u.c_str(), "kelvins");
  });
}

int findT(io_std* io, var_info** v) {
  return find_coord(io, v, [](const std::string& u) {
    std::string l = lowstr(u);
    return l == "yyyymmddhhmmss" || l == "yymmddhh" || units_is_time(u.c_str());
  });
}

// A variable is offered for display when it spans X or Y, is no coordinate,
// and holds numbers this reader can turn into floats.
int isdvar(const var_info* v, const var_info* x, const var_info* y, const var_info* z,
           const var_info* t, int xdim, int ydim) {
  if (v->ndims < 2) return 0;
  if (v == x || v == y || v == z || v == t) return 0;
  if (type_size(v->nctype) == 0 || v->nctype == SDF_CHAR) return 0;
  for (int d : v->dimids)
    if ((xdim >= 0 && d == xdim) || (ydim >= 0 && d == ydim)) return 1;
  return 0;
}

int value_as_double(const void* buf, int type, size_t i, double* out) {
  switch (type) {
    case SDF_BYTE: *out = static_cast<const signed char*>(buf)[i]; return 1;
    case SDF_UBYTE: *out = static_cast<const unsigned char*>(buf)[i]; return 1;
    case SDF_SHORT: *out = static_cast<const int16_t*>(buf)[i]; return 1;
    case SDF_USHORT: *out = static_cast<const uint16_t*>(buf)[i]; return 1;
    case SDF_LONG: *out = static_cast<const int32_t*>(buf)[i]; return 1;
    case SDF_UINT: *out = static_cast<const uint32_t*>(buf)[i]; return 1;
    case SDF_INT64: *out = static_cast<double>(static_cast<const int64_t*>(buf)[i]); return 1;
    case SDF_UINT64: *out = static_cast<double>(static_cast<const uint64_t*>(buf)[i]); return 1;
    case SDF_FLOAT: *out = static_cast<const float*>(buf)[i]; return 1;
    case SDF_DOUBLE: *out = static_cast<const double*>(buf)[i]; return 1;
    default: return 0;
  }
}

int convtype(const void* src, int stype, void* dst, int dtype, size_t si, size_t di) {
  if (stype != SDF_LONG && stype != SDF_FLOAT && stype != SDF_DOUBLE && stype != SDF_SHORT)
    return 0;
  double v = 0;
  if (!value_as_double(src, stype, si, &v)) return 0;
  switch (dtype) {
    case SDF_FLOAT: static_cast<float*>(dst)[di] = static_cast<float>(v); return 1;
    case SDF_DOUBLE: static_cast<double*>(dst)[di] = v; return 1;
    case SDF_LONG:
      // Truncation toward zero, refused when it does not fit.
      if (!(std::trunc(v) >= -2147483648.0 && std::trunc(v) <= 2147483647.0)) return 0;
      static_cast<int32_t*>(dst)[di] = static_cast<int32_t>(v);
      return 1;
    case SDF_SHORT:
      if (stype == SDF_LONG) {  // keeps the low 16 bits
        uint32_t u = static_cast<uint32_t>(static_cast<const int32_t*>(src)[si]);
        static_cast<int16_t*>(dst)[di] = static_cast<int16_t>(static_cast<uint16_t>(u & 0xffffu));
        return 1;
      }
      if (!(std::trunc(v) >= -32768.0 && std::trunc(v) <= 32767.0)) return 0;
      static_cast<int16_t*>(dst)[di] = static_cast<int16_t>(v);
      return 1;
    default: return 0;
  }
}

int fequal(float a, float b, float tol) { return std::fabs(a - b) <= tol ? 1 : 0; }
int dequal(double a, double b, double tol) { return std::fabs(a - b) <= tol ? 1 : 0; }

int flt_equal(float a, float b) {
  if (a == b) return 1;
  float aa = std::fabs(a), ab = std::fabs(b);
  if (aa < 1.0f && ab < 1.0f) return 0;
  float m = aa > ab ? aa : ab;
  float p = 1e7f;
  float q = 10.0f;
  for (int k = 1; k <= 7; k++, q *= 10.0f) {
    if (q > m) {
      p = q;
      break;
    }
  }
  return std::fabs(a - b) <= 1e-7f * p ? 1 : 0;
}

int dbl_equal(double a, double b) { return (a == b || std::fabs(a - b) <= 1e-7) ? 1 : 0; }

int findmatch(const char* name, const std::vector<std::string>& names, int* idx) {
  for (size_t i = 0; i < names.size(); i++) {
    if (names[i] == name) {
      *idx = static_cast<int>(i);
      return 1;
    }
  }
  *idx = -1;
  return 0;
}

int coord_values(io_std* io, var_info* v, std::vector<double>* vals) {
  vals->clear();
  if (v->ndims != 1 || !read_one_dimension(io, v, v->dimids[0])) return 0;
  size_t n = static_cast<size_t>(io->dimlens[static_cast<size_t>(v->dimids[0])]);
  vals->resize(n);
  for (size_t i = 0; i < n; i++)
    if (!value_as_double(v->data.data(), v->nctype, i, &(*vals)[i])) return 0;
  return 1;
}

int trydeflin(const std::vector<double>& vals, bool wrap_test, bool reverse, sdfaxis* ax) {
  size_t n = vals.size();
  ax->linear = 0;
  ax->wraps = 0;
  ax->conv.clear();
  if (n == 0) return -1;
  if (n == 1) {
    // A single point keeps its own coordinate (a site column at 10E is at
    // longitude 10, not 1), with a nominal step of 1; it never wraps.
    double d = vals[0];
    if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max()) {
      omprnt(0, "Couldn't convert coordinate value to float.\n");
      return -1;
    }
    float v0 = static_cast<float>(d);
    ax->linear = 1;
    ax->conv = {1, v0 - 1, -999.9f, 1, 1 - v0, -999.9f};
    return 1;
  }
  std::vector<float> v(n);
  for (size_t i = 0; i < n; i++) {
    double d = vals[reverse ? n - 1 - i : i];
    if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max()) {
      omprnt(0, "Couldn't convert coordinate value to float.\n");
      return -1;
    }
    v[i] = static_cast<float>(d);
  }
  std::vector<float> s(n - 1);
  for (size_t i = 0; i + 1 < n; i++) {
    s[i] = v[i + 1] - v[i];
    if (wrap_test && v[i + 1] < v[i]) s[i] = v[i + 1] + 360.0f - v[i];
  }
  for (size_t i = 1; i + 1 < n; i++)
    if (std::fabs(s[i - 1] - s[i]) > std::fabs(s[i]) / 1000.0f) return 0;
  float inc = s[0];
  if (inc == 0.0f) return 0;  // repeated values make no axis
  float start = v[0];
  ax->linear = 1;
  ax->conv = {inc, start - inc, -999.9f, 1.0f / inc, -(start - inc) / inc, -999.9f};
  if (wrap_test) {
    // The span plus one step is a whole globe; coordinates rounded in the
    // file may leave it a hair over or under 360.
    double span = static_cast<double>(v[n - 1]) + inc - v[0];
    double turns = std::round(span / 360.0);
    if (turns >= 1.0 && std::fabs(span - 360.0 * turns) <= std::fabs(inc) / 2.0) ax->wraps = 1;
  }
  return 1;
}

bool falling_longitudes(const std::vector<double>& vals) {
  if (vals.size() < 2) return false;
  // A rise taken the short way round is a fall only beside real falls: an
  // axis whose stored values all rise is eastward whatever its step
  // (0 and 270 are an eastward step of 270, not a westward one of 90).
  bool falls = false;
  for (size_t i = 0; i + 1 < vals.size(); i++) {
    double d = vals[i + 1] - vals[i];
    double s = std::fmod(d, 360.0);  // NaN for values that are no number
    if (s > 180.0) s -= 360.0;
    if (s <= -180.0) s += 360.0;
    if (!(s < 0.0)) return false;
    if (d < 0.0) falls = true;
  }
  return falls;
}

int sdfdeflev(const std::vector<double>& vals, bool reverse, sdfaxis* ax) {
  size_t n = vals.size();
  ax->linear = 0;
  ax->wraps = 0;
  ax->conv.assign(n + 5, 0.0f);
  ax->conv[0] = static_cast<float>(n);
  for (size_t i = 0; i < n; i++) {
    double d = vals[reverse ? n - 1 - i : i];
    if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max()) {
      omprnt(0, "SDF:  Error interpreting coordinate value.\n");
      return 1;
    }
    ax->conv[i + 1] = static_cast<float>(d);
  }
  ax->conv[n + 1] = -999.9f;
  return 0;
}
