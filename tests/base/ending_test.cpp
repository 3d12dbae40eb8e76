// The registry of a session's endings: one walk, in the order of its
// slots, however many ways out are taken during it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "base/ending.h"

namespace {

int said = -1;  // where the parts say they are finished
void say(const char* text) { (void)!write(said, text, 1); }

// Each part says its slot when finished; the metafile's part leaves the
// program on its own way (as a lost X server does while quit closes the
// window), and the parts after it are still finished, once.
TEST(Ending, AWayOutTakenDuringTheEndFinishesThePartsLeft) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  pid_t pid = fork();
  if (pid == 0) {
    said = p[1];
    omendpart(END_GX, {[](endhow how) { say(how == END_QUIT ? "g" : "?"); omleave(3); }, nullptr});
    omendpart(END_LATS, {[](endhow) { say("l"); }, nullptr});
    omendpart(END_HELPER, {[](endhow) { say("h"); }, nullptr});
    omend(END_QUIT);
    _exit(0);
  }
  close(p[1]);
  std::string got;
  char b[16];
  for (ssize_t k; (k = read(p[0], b, sizeof b)) > 0;) got.append(b, static_cast<size_t>(k));
  close(p[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  EXPECT_EQ(got, "glh");
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 3) << st;
}

}  // namespace
