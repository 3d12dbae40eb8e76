// Helpers of the data-set tests: a scratch directory per test, files
// written at test time, descriptors parsed with their messages captured.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmd/cmnstate.h"
#include "data/byteorder.h"
#include "data/datafile.h"

namespace ddtest {

// A fresh directory under the build's temporary area, removed at the end.
class Scratch {
 public:
  Scratch() {
    char tmpl[] = "/tmp/omddtestXXXXXX";
    char* d = mkdtemp(tmpl);
    dir_ = d ? d : "/tmp";
  }
  ~Scratch() {
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (dir_ != "/tmp") (void)!std::system(cmd.c_str());
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    std::string p = path(name);
    FILE* f = std::fopen(p.c_str(), "wb");
    if (f) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    return p;
  }
  std::string writebin(const std::string& name, const void* data, size_t n) const {
    return write(name, std::string(static_cast<const char*>(data), n));
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// Floats in the byte order asked for (big true: big-endian).
inline std::string floats(const std::vector<float>& v, bool big) {
  std::string out(v.size() * 4, '\0');
  std::memcpy(&out[0], v.data(), out.size());
  if (big == (omhostle() != 0)) ombswp(&out[0], v.size());
  return out;
}

// Result of parsing one descriptor.
struct parsed {
  datafile* pfi = nullptr;
  int rc = -1;
  std::string out;
  ~parsed() { frepfi(pfi, 0); }
};

inline void parse(const std::string& ctl, parsed& p, int mflag = 1) {
  p.pfi = getpfi();
  testing::internal::CaptureStdout();
  p.rc = omddes(ctl.c_str(), p.pfi, mflag);
  std::fflush(stdout);
  p.out = testing::internal::GetCapturedStdout();
}

// Keeps the program-wide file settings of each test to itself.
class DataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = mfcmn;
    mfcmn.mfcal = -999;
    mfcmn.mfwarn = 2;
  }
  void TearDown() override { mfcmn = saved_; }
  mfstate saved_;
  Scratch tmp;
};

}  // namespace ddtest
