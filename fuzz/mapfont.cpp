// Target: the map outline reader and the stroke font reader.
//
// Input: the bytes of a map outline file, then after a "\n=====\n" line
// the text of a stroke font.  The outlines are drawn into the batch display
// list over a global and a regional view of a latitude-longitude page
// (every line type drawn); the font is loaded as font 0 and a fixed text of
// every printable character with the super- and subscript escapes is drawn
// and measured.  The display list is emptied before every input.
#include <cstdint>
#include <cstdio>
#include <string>

#include "gx/gx.h"
#include "gx/mapproj.h"
#include "fuzzutil.h"

namespace {

void identity(float x, float y, float* ox, float* oy) {
  *ox = x;
  *oy = y;
}

int col[256], stl[256], thk[256];

void drawmap(float lnmn, float lnmx, float ltmn, float ltmx) {
  mapopts o{};
  o.dcol = 1;
  o.dstl = 1;
  o.dthk = 3;
  o.mcol = col;
  o.mstl = stl;
  o.mthk = thk;
  o.lnmn = lnmn;
  o.lnmx = lnmx;
  o.ltmn = ltmn;
  o.ltmx = ltmx;
  o.mpfile = "d.map";
  gxscal(0.5f, 10.5f, 0.5f, 8, lnmn, lnmx, ltmn, ltmx);
  gxproj(identity);
  gxdmap(&o);
  gxproj(nullptr);
}

std::string sample() {
  std::string s;
  for (int c = 32; c < 127; c++) s += static_cast<char>(c);
  return s + "`aup`ndown`bsub`n`0end";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::setup();
  gxstrt(11, 8.5f, 1);
  for (int i = 0; i < 256; i++) {
    col[i] = -1;
    stl[i] = 1;
    thk[i] = 3;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 262144) return -1;
  std::vector<std::string> p = fuzz::split(data, size, 2);
  fuzz::writefile("d.map", p[0]);
  fuzz::writefile("font0.dat", p[1]);
  gxfrme(1);
  gxclip(0, 11, 0, 8.5f);

  drawmap(-180, 180, -90, 90);
  drawmap(100, 140, 10, 50);

  static const std::string text = sample();
  gxchii();
  gxchdf(0);
  gxchpl(text.c_str(), static_cast<int>(text.size()), 0.5f, 4, 0.2f, 0.15f, 30);
  float w = 0;
  gxchln(text.c_str(), static_cast<int>(text.size()), 0.15f, &w);
  gxfrme(1);
  return 0;
}
