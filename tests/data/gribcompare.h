// GRIB fields decoded here and by ecCodes (grib_get_data), compared point
// by point: each of ecCodes' points found on the program's grid by its
// latitude and longitude (latitude-longitude and Gaussian grids, reduced
// ones where the full grid has a point there), or by its place in the
// message's scanning order (projected grids, the position checked).  Used
// by the table of made files (test_grib2_ecc.cpp) and by the comparison
// over a folder of files from elsewhere (scripts/gribcompare.sh).
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/grib2.h"

namespace gribcmp {

const float kU = -9.99e8f;

inline std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::vector<std::string> lines(const std::string& cmd) {
  std::vector<std::string> out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  std::string cur;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
    for (size_t k = 0; k < n; k++) {
      if (buf[k] == '\n') {
        out.push_back(cur);
        cur.clear();
      } else {
        cur += buf[k];
      }
    }
  }
  pclose(p);
  return out;
}

// A field as ecCodes gives it: each point in the message's order.
struct ecfield {
  std::vector<double> lat, lon, val;
  std::vector<bool> miss;
  int ineg = 0, jpos = 0, jcons = 0, ni = 0, nj = 0;
};

inline std::vector<ecfield> ecdecode(const std::string& path) {
  std::vector<ecfield> fs;
  for (const std::string& l : lines("grib_get_data -m MISS -F %.17g -L '%.7f %.7f' " + quoted(path) + " 2>/dev/null")) {
    if (l.rfind("Latitude", 0) == 0) {
      fs.emplace_back();
      continue;
    }
    if (fs.empty()) continue;
    double la, lo;
    char v[64];
    if (std::sscanf(l.c_str(), "%lf %lf %63s", &la, &lo, v) != 3) continue;
    fs.back().lat.push_back(la);
    fs.back().lon.push_back(lo);
    const bool m = std::string(v) == "MISS";
    fs.back().miss.push_back(m);
    fs.back().val.push_back(m ? 0.0 : std::strtod(v, nullptr));
  }
  size_t k = 0;
  for (const std::string& l :
       lines("grib_get -p iScansNegatively,jScansPositively,jPointsAreConsecutive,Ni,Nj " + quoted(path) + " 2>/dev/null")) {
    if (k >= fs.size()) break;
    ecfield& f = fs[k++];
    std::sscanf(l.c_str(), "%d %d %d %d %d", &f.ineg, &f.jpos, &f.jcons, &f.ni, &f.nj);
  }
  return fs;
}

inline float f32(double v) { return v == 0.0 ? 0.0f : static_cast<float>(v); }

inline double londiff(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

// What the comparison of one field found.
struct fieldcmp {
  size_t points = 0, compared = 0, differ = 0, missing = 0;
  double maxabs = 0.0;  // largest difference of two values present
  double poserr = 0.0;  // largest distance of a projected point from ecCodes', degrees
  std::string note;
};

// The field f decoded into grid (the program's order, rows from the south)
// against ecCodes' e; ax the field's axes.
inline fieldcmp comparefield(const g2field& f, const g2axes& ax, const std::vector<float>& grid, const ecfield& e) {
  fieldcmp r;
  r.points = e.val.size();
  for (bool b : e.miss) r.missing += b;
  const int ni = f.grid.ni, nj = f.grid.nj;
  auto same = [&](size_t k, float mine) {
    const float want = e.miss[k] ? kU : f32(e.val[k]);
    r.compared++;
    if (mine == want) return;
    r.differ++;
    if (mine != kU && !e.miss[k]) r.maxabs = std::max(r.maxabs, std::fabs(static_cast<double>(mine) - want));
    else r.maxabs = INFINITY;  // a value on one side only
  };
  if (ax.projected) {
    // The message's order to the program's, as the scanning flags say.
    for (size_t k = 0; k < e.val.size(); k++) {
      int64_t i = e.jcons ? k / nj : k % ni, j = e.jcons ? k % nj : k / ni;
      if (e.ineg) i = ni - 1 - i;
      if (!e.jpos) j = nj - 1 - j;
      double la, lo;
      g2natgeo(f, i + 1.0, j + 1.0, &la, &lo);
      r.poserr = std::max(r.poserr, std::max(std::fabs(la - e.lat[k]), londiff(lo, e.lon[k]) * std::cos(la * M_PI / 180)));
      same(k, grid[static_cast<size_t>(j * ni + i)]);
    }
    return r;
  }
  // Each of ecCodes' points at its latitude and longitude on the axes.
  for (size_t k = 0; k < e.val.size(); k++) {
    const double x = std::remainder(e.lon[k] - ax.lon0, 360.0) / ax.dlon;
    const long i = std::lround(x < -0.5 ? x + 360.0 / ax.dlon : x);
    long j = -1;
    if (ax.ylinear) {
      j = std::lround((e.lat[k] - ax.lat0) / ax.dlat);
    } else {
      for (size_t q = 0; q < ax.lats.size(); q++)
        if (std::fabs(ax.lats[q] - e.lat[k]) < 1e-4) j = static_cast<long>(q);
    }
    if (i < 0 || i >= ni || j < 0 || j >= nj) {
      r.note = "point off the axes";
      break;
    }
    const double lo = ax.lon0 + i * ax.dlon;
    const double la = ax.ylinear ? ax.lat0 + j * ax.dlat : ax.lats[static_cast<size_t>(j)];
    if (londiff(lo, e.lon[k]) > 1e-4 || std::fabs(la - e.lat[k]) > 1e-4) continue;
    same(k, grid[static_cast<size_t>(j * ni + i)]);
  }
  return r;
}

}  // namespace gribcmp
