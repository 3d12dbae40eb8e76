// Built-in latitude tables of Gaussian and ocean-model grids.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/omprnt.h"
#include "base/words.h"
#include "data/axisconv.h"

namespace {

// Gaussian latitudes in degrees, south to north: the arcsines of the
// zeros of the Legendre polynomial of degree n, found by Newton's method.
std::vector<double> gausslats(int n) {
  std::vector<double> lat(n);
  const double pi = 3.14159265358979323846;
  for (int k = 0; k < (n + 1) / 2; k++) {
    double x = std::cos(pi * (k + 0.75) / (n + 0.5));
    for (int it = 0; it < 100; it++) {
      double p0 = 1.0, p1 = x;
      for (int j = 2; j <= n; j++) {
        double p2 = ((2.0 * j - 1.0) * x * p1 - (j - 1.0) * p0) / j;
        p0 = p1;
        p1 = p2;
      }
      double dp = n * (x * p1 - p0) / (x * x - 1.0);
      double dx = p1 / dp;
      x -= dx;
      if (std::fabs(dx) < 1e-15) break;
    }
    double deg = std::asin(x) * 180.0 / pi;
    lat[n - 1 - k] = deg;
    lat[k] = -deg;
  }
  return lat;
}

std::vector<float> round2(const std::vector<double>& lat) {
  std::vector<float> out(lat.size());
  for (size_t i = 0; i < lat.size(); i++) out[i] = static_cast<float>(std::round(lat[i] * 100.0) / 100.0);
  return out;
}

std::vector<float> sig6(const std::vector<double>& lat) {
  std::vector<float> out(lat.size());
  char buf[64];
  for (size_t i = 0; i < lat.size(); i++) {
    std::snprintf(buf, sizeof buf, "%.6g", lat[i]);
    out[i] = std::strtof(buf, nullptr);
  }
  return out;
}

const std::vector<float>& gaustab(int n) {
  static std::vector<float> t40, t52, t80, t102, t94;
  switch (n) {
    case 40:
      if (t40.empty()) t40 = round2(gausslats(40));
      return t40;
    case 52:
      if (t52.empty()) t52 = round2(gausslats(52));
      return t52;
    case 80:
      if (t80.empty()) t80 = round2(gausslats(80));
      return t80;
    case 102:
      if (t102.empty()) t102 = round2(gausslats(102));
      return t102;
    default:
      if (t94.empty()) {
        t94 = sig6(gausslats(94));
        // The published table carries this pair one unit lower in the
        // last digit than the rounded value; stored files follow it.
        t94[1] = -86.6531f;
        t94[92] = 86.6531f;
      }
      return t94;
  }
}

const float mom32tab[32] = {-20.453f, -18.01f, -15.763f, -13.738f, -11.95f, -10.405f, -9.097f,
                            -8.01f,   -7.12f,  -6.392f,  -5.253f,  -4.25f,  -3.25f,   -2.25f,
                            -1.25f,   -0.25f,  0.25f,    1.25f,    2.25f,   3.25f,    4.25f,
                            5.253f,   6.392f,  7.12f,    8.01f,    9.097f,  10.405f,  11.95f,
                            13.738f,  15.763f, 18.01f,   20.453f};

// A level array of c table entries from the 1-based index s.  A first
// index below 1 or a count below 1 would reach outside the table, so they
// are refused like a range beyond its end.
float* fill(const float* tab, int ntab, int s, int c, const char* word, const char* memmsg) {
  if (s < 1 || c < 1 || static_cast<long>(s) + c - 1 > ntab) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "Open Error: Invalid %s scaling.\n", word);
    omprnt(0, buf);
    if (s < 1 || c < 1) {
      omprnt(0, "  First latitude and count must be at least 1 \n");
    } else {
      std::snprintf(buf, sizeof buf, "  Maximum %i latitudes exceeded \n", ntab);
      omprnt(0, buf);
    }
    return nullptr;
  }
  float* vals = static_cast<float*>(std::malloc((static_cast<size_t>(c) + 3) * sizeof(float)));
  if (vals == nullptr) {
    omprnt(0, memmsg);
    return nullptr;
  }
  vals[0] = static_cast<float>(c);
  for (int i = 0; i < c; i++) vals[i + 1] = tab[s - 1 + i];
  vals[c + 1] = AXEND;
  vals[c + 2] = 0.0f;
  return vals;
}

const char* const GAUSMEM = "Memory Allocation Error: Gaussian Grid Scaling\n";

}  // namespace

float* omgs15(int s, int c) { return fill(gaustab(40).data(), 40, s, c, "GAUSR15", GAUSMEM); }
float* omgs20(int s, int c) { return fill(gaustab(52).data(), 52, s, c, "GAUSR20", GAUSMEM); }
float* omgs30(int s, int c) { return fill(gaustab(80).data(), 80, s, c, "GAUSR30", GAUSMEM); }
float* omgaus(int s, int c) { return fill(gaustab(102).data(), 102, s, c, "GAUSR40", GAUSMEM); }
float* omgst62(int s, int c) { return fill(gaustab(94).data(), 94, s, c, "GAUST62", GAUSMEM); }
float* ommo32(int s, int c) {
  return fill(mom32tab, 32, s, c, "MOM32", "Memory Allocation Error: MOM32 Grid Scaling\n");
}

latfillfn latfill(const char* word) {
  static const struct {
    const char* word;
    latfillfn fn;
  } tabs[] = {{"gausr15", omgs15}, {"gausr20", omgs20}, {"gausr30", omgs30},
              {"gausr40", omgaus}, {"gaust62", omgst62}, {"mom32", ommo32}};
  for (const auto& t : tabs) {
    if (cmpwrd(word, t.word)) return t.fn;
  }
  return nullptr;
}
