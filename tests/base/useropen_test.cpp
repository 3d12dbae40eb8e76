// Opening and reading files whose names the user gave: FIFOs, devices and
// directories neither block past an interrupt nor read without end.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "base/callhook.h"
#include "base/cmnstate.h"
#include "base/fifo_end.h"
#include "base/scratchdir.h"
#include "base/useropen.h"
#include "base/userread.h"

namespace {

std::string slurp(std::FILE* f) {
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

std::string writefile(const char* name, const std::string& text) {
  std::string path = scratchdir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

}  // namespace

// With no other end, an open for reading or writing waits only until the
// user interrupts; a FIFO refused up front is not waited on at all.
TEST(UserOpen, FifoWithoutOtherEndEndsAtInterrupt) {
  fifo_end fifo(scratchdir() + "lonely.fifo");
  ASSERT_TRUE(fifo.ok());
  {
    interrupt_raised up;
    for (const char* mode : {"r", "rb", "w", "wb", "ab"}) {
      errno = 0;
      std::FILE* f = omfopen(fifo.path(), mode);
      EXPECT_EQ(f, nullptr) << mode;
      EXPECT_EQ(errno, EINTR) << mode;
      if (f) std::fclose(f);
    }
    errno = 0;
    EXPECT_EQ(omftext(fifo.path()), nullptr);
    EXPECT_EQ(errno, EINTR);
  }
  errno = 0;
  EXPECT_EQ(omfdata(fifo.path()), nullptr);
  EXPECT_EQ(errno, ESPIPE);
  EXPECT_STREQ(omopenwhy(EINTR), "interrupted while waiting for the other end of the pipe");
  EXPECT_STREQ(omopenwhy(ESPIPE), "not a regular file");
}

// A writer that comes later is waited for and read to its end; a reader
// that comes later takes what is written.
TEST(UserOpen, FifoWithOtherEndIsReadAndWritten) {
  fifo_end fifo(scratchdir() + "pair.fifo");
  ASSERT_TRUE(fifo.ok());
  std::thread writer([&] {
    std::FILE* w = std::fopen(fifo.path(), "w");
    if (w) {
      std::fputs("one\ntwo\n", w);
      std::fclose(w);
    }
  });
  std::FILE* r = omftext(fifo.path());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(slurp(r), "one\ntwo\n");
  std::fclose(r);
  writer.join();

  // More than the pipe holds, to a reader that starts late: writes wait.
  const std::string big(512 << 10, 'x');
  std::string got;
  std::thread reader([&] {
    std::FILE* rr = std::fopen(fifo.path(), "r");
    if (rr) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      got = slurp(rr);
      std::fclose(rr);
    }
  });
  std::FILE* w = omfopen(fifo.path(), "wb");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(std::fwrite(big.data(), 1, big.size(), w), big.size());
  EXPECT_EQ(std::fclose(w), 0);
  reader.join();
  EXPECT_EQ(got.size(), big.size());
}

// Directories, devices and regular files for each kind of open.
TEST(UserOpen, DirectoriesDevicesAndRegularFiles) {
  std::string dir = scratchdir();
  errno = 0;
  EXPECT_EQ(omfopen(dir.c_str(), "r"), nullptr);
  EXPECT_EQ(errno, EISDIR);
  errno = 0;
  EXPECT_EQ(omftext(dir.c_str()), nullptr);
  EXPECT_EQ(errno, EISDIR);
  // A data file is a regular file: a device, or a link to one, is
  // refused, not read as endless zeros.
  const std::string zlink = scratchdir() + "zero.lnk";
  ASSERT_EQ(symlink("/dev/zero", zlink.c_str()), 0);
  for (const char* dev : {"/dev/zero", "/dev/urandom", zlink.c_str()}) {
    errno = 0;
    EXPECT_EQ(omfdata(dev), nullptr) << dev;
    EXPECT_EQ(errno, ESPIPE) << dev;
  }
  std::FILE* z = omfopen("/dev/zero", "rb");
  ASSERT_NE(z, nullptr);
  std::fclose(z);

  // An endless device read as text ends after its budget; a regular file
  // is read whole whatever the budget.
  std::FILE* t = omftext("/dev/zero", 10000);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(slurp(t), std::string(10000, '\0'));
  std::fclose(t);
  std::string reg = writefile("reg.txt", std::string(3000, 'x'));
  t = omftext(reg.c_str(), 1000);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(slurp(t).size(), 3000u);
  std::fclose(t);

  // Write modes keep fopen's meaning: truncate, append, read and append.
  std::FILE* w = omfopen(reg.c_str(), "w");
  ASSERT_NE(w, nullptr);
  std::fputs("ab", w);
  std::fclose(w);
  w = omfopen(reg.c_str(), "a");
  ASSERT_NE(w, nullptr);
  std::fputs("cd", w);
  std::fclose(w);
  w = omfopen(reg.c_str(), "a+");
  ASSERT_NE(w, nullptr);
  std::fputs("e", w);
  std::rewind(w);
  EXPECT_EQ(slurp(w), "abcde");
  std::fclose(w);
  errno = 0;
  EXPECT_EQ(omfopen((dir + "no/such").c_str(), "w"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

// Whole reads are sized from the file and refuse what is not a regular
// file or is larger than asked.
TEST(UserOpen, WholeReadsAreSizedFromTheFile) {
  std::string reg = writefile("whole.dat", std::string("ab\0cd", 5));
  std::string out = "old";
  EXPECT_EQ(omreadall(reg.c_str(), 5, out), 0);
  EXPECT_EQ(out, std::string("ab\0cd", 5));
  EXPECT_EQ(omreadall(reg.c_str(), 4, out), EFBIG);
  EXPECT_EQ(out, "");
  EXPECT_EQ(omreadall("/dev/zero", 1 << 20, out), ESPIPE);
  EXPECT_EQ(omreadall(scratchdir().c_str(), 1 << 20, out), EISDIR);
  EXPECT_EQ(omreadall((scratchdir() + "no.such").c_str(), 1 << 20, out), ENOENT);
  fifo_end fifo(scratchdir() + "whole.fifo");
  EXPECT_EQ(omreadall(fifo.path(), 1 << 20, out), ESPIPE);
}

// A name another writer changes at every look is looked at anew, eight
// times at most: one changed at seven looks is opened at the eighth, one
// changed at eight is given up on (EAGAIN), and neither is written through
// a file the look did not see.
TEST(UserOpen, ANameChangedAtEveryLookIsGivenUpOnAfterEight) {
  const std::string name = scratchdir() + "chg", other = scratchdir() + "chg.new";
  for (int swaps : {7, 8}) {
    close(open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    int left = swaps;
    std::function<void()> swap = [&] {
      close(open(other.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
      rename(other.c_str(), name.c_str());
      if (--left > 0) callhook(callat::looked, "chg", swap);
    };
    callhook(callat::looked, "chg", swap);
    errno = 0;
    const int fd = omopen(name.c_str(), O_WRONLY);
    const int err = errno;
    callhook(callat::none, "", nullptr);
    if (fd >= 0) close(fd);
    EXPECT_EQ(fd >= 0 ? 0 : err, swaps == 7 ? 0 : EAGAIN) << swaps;
    EXPECT_EQ(left, 0) << swaps;
  }
}

// A file named through a link in a sticky folder that anyone may write is
// read only where the link is the user's or the folder owner's, as the
// kernel's protected-links rule has it, wherever the link stands on the
// way (the name itself, or a folder of it); a refused input says why.
TEST(UserOpen, AnotherUsersLinkInAStickyFolderIsNotFollowedForReading) {
  if (geteuid() != 0) GTEST_SKIP() << "links of another user are made by root";
  const std::string shared = scratchdir() + "rshared", theirs = scratchdir() + "rtheirs",
                    open = scratchdir() + "ropen", mine = scratchdir() + "rmine";
  ASSERT_EQ(mkdir(shared.c_str(), 0) | chmod(shared.c_str(), 01777) | mkdir(theirs.c_str(), 0) |
                chmod(theirs.c_str(), 01777) | chown(theirs.c_str(), 1000, 1000) | mkdir(open.c_str(), 0) |
                chmod(open.c_str(), 0777) | mkdir(mine.c_str(), 0700),
            0);
  const std::string secret = writefile("rmine/secret", "private");
  const struct {
    const std::string& folder;
    const char* link;
    uid_t owner;
    const std::string& to;
    const char* then;  // the rest of the name after the link
    int err;
  } rows[] = {{shared, "theirs", 1000, secret, "", ENOLINK},
              {shared, "own", 0, secret, "", 0},
              {theirs, "ownersfolder", 1000, secret, "", 0},
              {open, "notsticky", 1000, secret, "", 0},
              {shared, "onthepath", 1000, mine, "/secret", ENOLINK}};
  for (const auto& r : rows) {
    const std::string link = r.folder + "/" + r.link;
    ASSERT_EQ(symlink(r.to.c_str(), link.c_str()) | lchown(link.c_str(), r.owner, r.owner), 0);
    std::string out;
    EXPECT_EQ(omreadall((link + r.then).c_str(), 100, out), r.err) << r.link;
    EXPECT_EQ(out, r.err ? "" : "private") << r.link;
    errno = 0;
    std::FILE* f = omftext((link + r.then).c_str());
    EXPECT_EQ(f ? 0 : errno, r.err) << r.link;
    if (f) std::fclose(f);
  }
  EXPECT_EQ(omopennote(ENOLINK), "  another user's link in a folder that anyone may write (sticky): not followed\n");
}
