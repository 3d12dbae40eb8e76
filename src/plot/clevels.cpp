// The nice contour interval.
#include <cmath>

#include "plot/dataout.h"

void omcsel(float rmin, float rmax, float* cint, float* cmin, float* cmax) {
  float d = rmax - rmin;
  if (d == 0.0f) {
    *cint = *cmin = *cmax = 0.0f;
    return;
  }
  float c = *cint;
  if (c == 0.0f) {
    float x = d / 10.0f;
    float w = std::pow(10.0f, std::floor(std::log10(x)));
    float m = x / w;
    if (m < 1.0f) m = 1.0f;
    float mult;
    if (m <= 1.5f) mult = 1.0f;
    else if (m <= 2.5f) mult = 2.0f;
    else if (m <= 3.5f) mult = 3.0f;
    else if (m <= 7.5f) mult = 5.0f;
    else mult = 10.0f;
    c = mult * w;
  }
  // A negative interval would count the other way; take its size.
  if (c < 0.0f) c = -c;
  float lo = c * std::ceil(rmin / c);
  float hi = c * std::floor(rmax / c);
  volatile float up = rmin + c;    // single precision on purpose
  volatile float down = rmax - c;
  if (!std::isfinite(lo) || !std::isfinite(hi) || up == rmin || down == rmax) {
    *cint = *cmin = *cmax = 0.0f;
    return;
  }
  *cint = c;
  *cmin = lo;
  *cmax = hi;
}
