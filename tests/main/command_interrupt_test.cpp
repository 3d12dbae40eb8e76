// A second interrupt during one command ends the program, for a command
// that does not react to the first: as quit would end it (metafile
// finished, closing lines), but with a status that says it did not finish.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "gx/gx.h"
#include "main/ommain.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), {});
}

std::vector<int> words(const std::string& bytes) {
  std::vector<int> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<int16_t>(static_cast<unsigned char>(bytes[i]) << 8 |
                                       static_cast<unsigned char>(bytes[i + 1])));
  return out;
}

// In the child of a death test: a batch package whose metafile holds one
// printed frame, then a command interrupted twice (it does not react to
// the first).
void printframe(const std::string& meta) {
  gxstrt(11, 8.5, 1);
  if (gxhbgn(meta.c_str()) != 0) exit(7);
  gxmove(1, 1);
  gxdraw(2, 3);
  gxhprt();
  fflush(stdout);
}

void pressedtwice() {
  gcmn.sigflg = 0;
  omatprompt = 0;
  omsig(SIGINT);
  if (!gcmn.sigflg) exit(8);
  omsig(SIGINT);
}

// What printframe leaves in the metafile once it is ended.
const std::vector<int> kFrame = {-1, 11000, 8500, -10, 1000, 1000, -11, 2000, 3000, -2, -9};

TEST(CommandInterrupt, SecondInterruptFinishesTheMetafileAndFails) {
  char dir[] = "/tmp/omintrXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string meta = std::string(dir) + "/out.gm";
  const std::string out = std::string(dir) + "/stdout";
  EXPECT_EXIT(
      {
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        printframe(meta);
        pressedtwice();
        exit(0);
      },
      testing::ExitedWithCode(130), "");
  std::string said = slurp(out);
  std::vector<int> w = words(slurp(meta));
  unlink(meta.c_str());
  unlink(out.c_str());
  rmdir(dir);
  EXPECT_EQ(said,
            "GX Package Initialization: Size = 11 8.5 \nRunning in Batch mode\n"
            "\nHardcopy output file is closed \nGX package terminated \n");
  EXPECT_EQ(w, kFrame);
}

// With standard output a pipe whose reader the first interrupt also ended
// (ombra ... | tee log), whatever the handler prints may end the process
// at once: the metafile must be finished before anything is printed.
TEST(CommandInterrupt, MetafileIsFinishedBeforeAnythingIsPrinted) {
  char dir[] = "/tmp/omintrXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string meta = std::string(dir) + "/out.gm";
  EXPECT_EXIT(
      {
        printframe(meta);
        int fds[2];
        if (pipe(fds) != 0) exit(9);
        close(fds[0]);
        dup2(fds[1], 1);
        signal(SIGPIPE, SIG_DFL);
        pressedtwice();
        exit(0);
      },
      testing::KilledBySignal(SIGPIPE), "");
  std::vector<int> w = words(slurp(meta));
  unlink(meta.c_str());
  rmdir(dir);
  EXPECT_EQ(w, kFrame);
}

// At the prompt the readers answer the interrupt themselves: the handler
// neither ends the program nor leaves the flag for the next command.
TEST(CommandInterrupt, InterruptsAtThePromptNeverEndTheProgram) {
  EXPECT_EXIT(
      {
        gcmn.sigflg = 1;  // as after an interrupted command
        omatprompt = 1;
        sig_atomic_t before = omsigcnt;
        omsig(SIGINT);
        omsig(SIGINT);
        exit(omsigcnt - before == 2 ? 5 : 6);
      },
      testing::ExitedWithCode(5), "");
}

}  // namespace
