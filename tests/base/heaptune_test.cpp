// How the allocator keeps what is freed once the program has tuned it.
#include <gtest/gtest.h>
#include <limits.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/heaptune.h"

namespace {

// Run by the test below as a program of its own, whose allocator has
// freed nothing yet (glibc moves its thresholds as memory is freed): ends
// with 5 where all went as it expects.
TEST(heaptune, DISABLED_KeepsInAFreshProcess) {
  if (std::getenv("OMBRA_TEST_HEAP") == nullptr) GTEST_SKIP();
  omheaptune();
  // A piece of a megabyte comes from the heap, not a mapping of its own.
  void* one = std::malloc(size_t(1) << 20);
  std::memset(one, 1, size_t(1) << 20);
  const bool heaped = mallinfo2().hblks == 0;
  std::free(one);
  // Eight megabytes freed at the heap's top stay in the heap for the
  // next open.
  std::vector<void*> pieces(64);
  for (void*& p : pieces) std::memset(p = std::malloc(size_t(128) << 10), 1, size_t(128) << 10);
  for (void* p : pieces) std::free(p);
  const bool kept = mallinfo2().arena >= size_t(8) << 20;
  _exit(heaped && kept ? 5 : 1);
}

// A session opening many netCDF-4 files reuses the heap one close leaves
// at the next open instead of asking the system for it again.
TEST(heaptune, PiecesComeFromTheHeapAndItsTopIsKept) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the checking allocator takes no tuning";
#endif
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  const int st = std::system(("OMBRA_TEST_HEAP=1 '" + std::string(self) +
                              "' --gtest_also_run_disabled_tests --gtest_filter=heaptune.DISABLED_KeepsInAFreshProcess"
                              " >/dev/null")
                                 .c_str());
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 5) << st;
}

}  // namespace
