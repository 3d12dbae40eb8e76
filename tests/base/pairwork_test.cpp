#include "base/pairwork.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

namespace {

long tid() { return syscall(SYS_gettid); }

long threads() {
  std::error_code ec;
  std::filesystem::directory_iterator d("/proc/self/task", ec);
  return ec ? -1 : std::distance(d, std::filesystem::directory_iterator());
}

// Which thread ran each half, and how often.
struct halves {
  long by[2] = {0, 0};
  int runs[2] = {0, 0};
};

void half(void* arg, int k) {
  halves* h = static_cast<halves*>(arg);
  h->by[k] = tid();
  h->runs[k]++;
}

// Each half of every job runs once: the second on the second thread where
// one was started, both here in turn where none was; the thread is gone
// with the record.
TEST(PairWork, EachHalfRunsOnceOnItsThreadAndTheThreadEndsWithTheRecord) {
  const long before = threads();
  for (bool start : {true, false}) {
    halves h;
    {
      pairwork w;
      if (start) ASSERT_EQ(w.start(), pairwork::twocpus());
      for (int k = 0; k < 3; k++) w.both(half, &h);
      EXPECT_EQ(h.by[0], tid());
      ASSERT_EQ(h.by[1] != tid(), w.started());
    }
    EXPECT_EQ(h.runs[0], 3);
    EXPECT_EQ(h.runs[1], 3);
    EXPECT_EQ(threads(), before);
  }
}

}  // namespace
