// Image output (placeholder until the renderer lands).
#include <cstdio>

#include "gx/gx.h"

int gxhpng(const char* fname, int width, int height, int background, int gif) {
  printf("Image output is not built yet\n");
  return 99;
}
