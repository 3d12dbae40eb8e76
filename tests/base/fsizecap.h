// A file size limit for the writes of one scope: a write that would go past
// it fails with EFBIG after writing what fits, as on a disk that fills up
// at a chosen byte.  SIGXFSZ is ignored meanwhile, so the failure comes back
// as an error instead of ending the test.
#ifndef OMBRA_TESTS_FSIZECAP_H
#define OMBRA_TESTS_FSIZECAP_H

#include <signal.h>
#include <sys/resource.h>

class fsizecap {
 public:
  explicit fsizecap(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit now = old_;
    now.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &now);
    oldsig_ = signal(SIGXFSZ, SIG_IGN);
  }
  ~fsizecap() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldsig_);
  }
  fsizecap(const fsizecap&) = delete;
  fsizecap& operator=(const fsizecap&) = delete;

 private:
  struct rlimit old_;
  void (*oldsig_)(int);
};

#endif
