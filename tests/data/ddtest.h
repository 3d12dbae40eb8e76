// Helpers of the data-set tests: a scratch directory per test, files
// written at test time, descriptors parsed with their messages captured.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/byteorder.h"
#include "data/datafile.h"
#include "data/gridres.h"
#include "data/omggrd.h"

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

// Parses ctl in a process whose address space is limited to bytes (a death
// test's child): a descriptor's counts are claims that must not be
// allocated before the values are there.
inline void parse_within(const std::string& ctl, rlim_t bytes, parsed& p) {
  struct rlimit r = {bytes, bytes};
  setrlimit(RLIMIT_AS, &r);
  parse(ctl, p);
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

// An open data set: the parsed record with its data stream.
struct dataset {
  datafile* pfi = nullptr;
  std::string out;
  ~dataset() {
    if (pfi && pfi->infile) std::fclose(pfi->infile);
    frepfi(pfi, 0);
  }
};

// A grid request and its result.
struct request {
  gridres* g = nullptr;
  int rc = 0;
  std::string out;
  ~request() { omgfre(g); }
  float at(int i, int j = 0) const { return g->grid[j * g->isiz + i]; }
};

// Parses the descriptor at ctl and opens its data file as the open command
// does (template data sets open their members when read).
inline void opendataset(const std::string& ctl, dataset& ds) {
  parsed p;
  parse(ctl, p);
  ASSERT_EQ(p.rc, 0) << p.out;
  ds.pfi = p.pfi;
  p.pfi = nullptr;
  if (!ds.pfi->tmplat) {
    ds.pfi->infile = std::fopen(ds.pfi->name.c_str(), "rb");
    ASSERT_NE(ds.pfi->infile, nullptr);
  }
}

// Reads variable v over the given ranges (first/last per dimension) with
// idim/jdim varying; the reader's messages go to r.out.
inline void readgrid(dataset& ds, int v, int idim, int jdim, const std::vector<int>& lo,
                     const std::vector<int>& hi, request& r) {
  r.g = omgnew();
  r.g->pfi = ds.pfi;
  r.g->pvar = &ds.pfi->pvar1[v];
  r.g->undef = ds.pfi->undef;
  r.g->idim = idim;
  r.g->jdim = jdim;
  for (int k = 0; k < 4; k++) {
    r.g->dimmin[k] = lo[k];
    r.g->dimmax[k] = hi[k];
  }
  testing::internal::CaptureStdout();
  r.rc = omggrd(r.g);
  std::fflush(stdout);
  r.out = testing::internal::GetCapturedStdout();
}

}  // namespace ddtest
