// Shading levels and colours: the table of bands that shaded plots, grid
// fills and coloured lines and marks use.
#include <cmath>

#include "base/cmnstate.h"
#include "plot/plotint.h"

const int rcols[13] = {9, 14, 4, 11, 5, 13, 3, 10, 7, 12, 8, 2, 6};

namespace {

const int maxbands = 120;

int clampi(int i, int lo, int hi) { return i < lo ? lo : (i > hi ? hi : i); }

// Explicit levels (set clevs) with explicit or rainbow colours.
void explicitlevels(cmnstate* pcm, float rmin, const int* table, int ncol) {
  int k = pcm->clevcount;
  int nmax = ncol - 1;
  pcm->shadelevs[0] = (rmin < pcm->clevs[0] ? rmin : pcm->clevs[0]) - 100.0f;
  float s = (float)ncol / (float)(k + 1);
  float t = s / 2;
  bool cc = pcm->ccolcount > 0;
  pcm->shadecols[0] = cc ? pcm->ccols[0] : table[clampi((int)t, 0, nmax)];
  int i = 1;
  for (int j = 0; j < k && i < maxbands; j++) {
    pcm->shadelevs[i] = pcm->clevs[j];
    if (cc) {
      pcm->shadecols[i] = j + 1 < pcm->ccolcount ? pcm->ccols[j + 1] : 15;
    } else {
      t += s;
      pcm->shadecols[i] = table[clampi((int)t, 0, nmax)];
    }
    if (pcm->shadecols[i] != pcm->shadecols[i - 1]) i++;
  }
  pcm->shadecount = i;
}

}  // namespace

void omselc(cmnstate* pcm, float rmin, float rmax) {
  const int* table = pcm->rbcolcount > 0 ? pcm->rbcols : rcols;
  int ncol = pcm->rbcolcount > 0 ? pcm->rbcolcount : 13;
  int nmax = ncol - 1;
  float d = rmax - rmin;
  if (d == 0 || !std::isfinite(d)) {
    pcm->shadecount = 0;
    return;
  }
  if (pcm->clevcount > 0) {
    explicitlevels(pcm, rmin, table, ncol);
    return;
  }
  float c = pcm->cint;
  if (c == 0) {
    float x = pcm->rbcolcount > 0 ? d / ((float)pcm->rbcolcount - 0.5f) : d / 12.5f;
    float w = std::pow(10.0f, std::floor(std::log10(x)));
    float m = x / w;
    float f = m < 2 ? 10.0f : (m < 4 ? 5.0f : (m < 7 ? 2.0f : 1.0f));
    c = (float)(int)(m * f + 0.5f) * w / f;
  }
  if (c < 0) c = -c;
  float lo = c * std::ceil(rmin / c);
  float hi = c * std::floor(rmax / c);
  volatile float up = rmin + c, down = rmax - c;
  if (up == rmin || down == rmax || !std::isfinite(lo) || !std::isfinite(hi)) {
    pcm->shadecount = 0;
    return;
  }
  if (pcm->rbrange[0] == 0 && pcm->rbrange[1] == 0) {
    pcm->rbrange[0] = lo;
    pcm->rbrange[1] = hi;
  }
  float base = pcm->rbrange[0] - c;
  float span = pcm->rbrange[1] - base;
  float v = lo - c;
  int i = 0;
  // A band interval far below the precision of the levels would not
  // advance; the step count bounds the walk.
  for (int steps = 0; v <= hi + c / 2 && i < maxbands && steps < 100000; steps++) {
    double q = (double)v / c;
    float lev = (float)(std::trunc(v < 0 ? q - 0.1 : q + 0.1) * c);
    pcm->shadelevs[i] = lev;
    int col;
    if (lev < pcm->cmin || lev + c > pcm->cmax ||
        (pcm->black && lev < pcm->blackrange[1] && lev + c > pcm->blackrange[0])) {
      col = -1;
    } else {
      double idx = span != 0 ? ((double)lev - base) * ncol / span : 0.0;
      idx = idx < 0 ? 0 : (idx > nmax ? nmax : idx);
      col = table[(int)idx];
    }
    pcm->shadecols[i] = col;
    if (!(i > 0 && pcm->shadecols[i] == pcm->shadecols[i - 1])) i++;
    v = lev + c;
  }
  if (i > 0) pcm->shadelevs[0] -= 10 * c;
  pcm->shadecount = i;
}

int omshdc(const cmnstate* pcm, float value) {
  int n = pcm->shadecount;
  if (n <= 0) return 1;
  if (n == 1 || value < pcm->shadelevs[1]) return pcm->shadecols[0];
  for (int i = 1; i <= n - 2; i++) {
    if (pcm->shadelevs[i] <= value && value < pcm->shadelevs[i + 1]) return pcm->shadecols[i];
  }
  return pcm->shadecols[n - 1];
}
