// Reads of a data file's map survive the file being cut under them by
// another program, and leave every other bus error as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/filemap.h"

namespace {

// A file of 16 pages of the byte 7, mapped, then cut to one page.
struct cutfile {
  char path[32] = "/tmp/omfilemapXXXXXX";
  FILE* f = nullptr;
  filemap fm;
  const unsigned char* p = nullptr;
  cutfile() {
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    f = fdopen(fd, "r+b");
    const std::string bytes(16 * 4096, '\7');
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fflush(f);
    p = fm.bytes(f, 0, 16 * 4096);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(ftruncate(fd, 4096), 0);
  }
  ~cutfile() {
    fm.release();
    std::fclose(f);
    unlink(path);
  }
};

TEST(MapReads, APageTheFileLostEndsTheReadNotTheProgram) {
  cutfile c;
  ASSERT_NE(c.p, nullptr);
  volatile unsigned sum = 0;
  // What the file still holds reads; a read reaching past its new end is
  // cut short, again and again, and reads within it go on working.
  for (int round = 0; round < 3; round++) {
    EXPECT_TRUE(mapread([&] { sum = sum + c.p[100]; }));
    EXPECT_FALSE(mapread([&] {
      for (int k = 0; k < 16 * 4096; k += 4096) sum = sum + c.p[k];
    }));
  }
  EXPECT_EQ(sum, 6u * 7u);
  // A cut read inside another: the inner one fails, the outer one goes on.
  bool inner = true;
  EXPECT_TRUE(mapread([&] { inner = mapread([&] { sum = sum + c.p[8 * 4096]; }); }));
  EXPECT_FALSE(inner);
  // The map no longer offers what the file lost.
  EXPECT_EQ(c.fm.bytes(c.f, 4096, 4096), nullptr);
}

// Two threads each in a read of the map, the second begun first and cut
// short while the first is still in its own: each read ends in its own
// thread, the first untouched.
struct twothreads {
  cutfile* c;
  pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t cv = PTHREAD_COND_INITIALIZER;
  int stage = 0;  // 1: the second is in its read; 2: the first is in its own
  bool second = true;
  void waitfor(int s) {
    pthread_mutex_lock(&m);
    while (stage < s) pthread_cond_wait(&cv, &m);
    pthread_mutex_unlock(&m);
  }
  void reach(int s) {
    pthread_mutex_lock(&m);
    stage = s;
    pthread_cond_broadcast(&cv);
    pthread_mutex_unlock(&m);
  }
};

void* cutinthread(void* arg) {
  twothreads* t = static_cast<twothreads*>(arg);
  t->second = mapread([&] {
    t->reach(1);
    t->waitfor(2);
    (void)*static_cast<const volatile unsigned char*>(t->c->p + 9 * 4096);
  });
  return nullptr;
}

TEST(MapReads, EachThreadsCutReadEndsInThatThread) {
  cutfile c;
  ASSERT_NE(c.p, nullptr);
  twothreads t;
  t.c = &c;
  pthread_t other;
  ASSERT_EQ(pthread_create(&other, nullptr, cutinthread, &t), 0);
  t.waitfor(1);
  volatile unsigned sum = 0;
  const bool first = mapread([&] {
    t.reach(2);
    pthread_join(other, nullptr);
    sum = sum + c.p[100];
  });
  EXPECT_TRUE(first);
  EXPECT_FALSE(t.second);
  EXPECT_EQ(sum, 7u);
}

// Ended by the bus error as it would be without the map reads' handler:
// by the signal, or by the report of a sanitizer that handles it (which
// exits, or aborts).
bool endedbybus(int status) {
  if (WIFSIGNALED(status)) return WTERMSIG(status) == SIGBUS || WTERMSIG(status) == SIGABRT;
  return WIFEXITED(status) && WEXITSTATUS(status) != 0;
}

TEST(MapReadsDeathTest, OtherBusErrorsEndTheProgramAsBefore) {
  cutfile c;
  ASSERT_NE(c.p, nullptr);
  EXPECT_FALSE(mapread([&] { (void)*static_cast<const volatile unsigned char*>(c.p + 5 * 4096); }));
  // Outside a map read, a lost page and a bus error sent by another
  // program both end the program with the signal.
  EXPECT_EXIT((void)*static_cast<const volatile unsigned char*>(c.p + 5 * 4096), endedbybus, "");
  EXPECT_EXIT(raise(SIGBUS), endedbybus, "");
}

}  // namespace
