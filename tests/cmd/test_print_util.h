// Helpers of the drawing-settings and image-output tests: a fresh batch
// graphics start, commands run with their output captured, a scratch
// directory and PNG/GIF images read back.
#pragma once

#include <gd.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "base/cmnstate.h"
#include "cmd/omcmd.h"
#include "cmdtest.h"
#include "gx/gx.h"

inline cmdout gxc_run(const std::string& line) { return runcmd(line); }

// Defaults of the common state and a new batch graphics package on a page
// of the given size, with nothing printed.
inline void gxc_start(float w = 11, float h = 8.5) {
  testing::internal::CaptureStdout();
  gcmn.vpagew = w;
  gcmn.vpageh = h;
  gcmn.batch = 1;
  gcmn.impcmd = 0;
  gcmn.grey = 0;
  gcmn.whitebg = 0;
  gcmn.dbuff = 0;
  ominit();
  gxstrt(w, h, 1);
  gxdbck(0);
  gxgrey(0);
  testing::internal::GetCapturedStdout();
}

struct gxc_tmpdir {
  std::string path;
  gxc_tmpdir() {
    char tmpl[] = "/tmp/gxcmdXXXXXX";
    char* p = mkdtemp(tmpl);
    path = p ? p : "";
  }
  ~gxc_tmpdir() {
    if (path.rfind("/tmp/gxcmd", 0) == 0) {
      std::string cmd = "rm -rf '" + path + "'";
      int rc = system(cmd.c_str());
      (void)rc;
    }
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

struct gxc_image {
  gdImagePtr im = nullptr;
  explicit gxc_image(const std::string& f) {
    FILE* fp = fopen(f.c_str(), "rb");
    if (!fp) return;
    unsigned char sig[4] = {0, 0, 0, 0};
    size_t n = fread(sig, 1, 4, fp);
    rewind(fp);
    bool gif = n == 4 && sig[0] == 'G' && sig[1] == 'I' && sig[2] == 'F';
    im = gif ? gdImageCreateFromGif(fp) : gdImageCreateFromPng(fp);
    fclose(fp);
  }
  ~gxc_image() {
    if (im) gdImageDestroy(im);
  }
  gxc_image(const gxc_image&) = delete;
  gxc_image& operator=(const gxc_image&) = delete;
  int w() const { return gdImageSX(im); }
  int h() const { return gdImageSY(im); }
  // 0xRRGGBB of a pixel.
  int rgb(int x, int y) const {
    int c = gdImageGetPixel(im, x, y);
    return (gdImageRed(im, c) << 16) | (gdImageGreen(im, c) << 8) | gdImageBlue(im, c);
  }
};

// The first bytes of a file as text ("" when it cannot be read).
inline std::string gxc_magic(const std::string& f, size_t n = 4) {
  FILE* fp = fopen(f.c_str(), "rb");
  if (!fp) return "";
  std::string s(n, '\0');
  s.resize(fread(&s[0], 1, n, fp));
  fclose(fp);
  return s;
}
