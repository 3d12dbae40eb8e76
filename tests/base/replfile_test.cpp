// Replacing a file while other writers of its folder replace it too.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "base/callhook.h"
#include "base/replfile.h"
#include "base/replsig.h"
#include "base/scratchdir.h"
#include "base/useropen.h"

namespace {

// Opens and commits name 20,000 times while change alters what stands at
// it without pause: how many opens wrote in place, and how many commits
// failed or kept the part (each open that fails ends the count).
std::pair<int, int> replacedwhile(const std::string& name, const std::function<void()>& change) {
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    while (!stop) change();
  });
  int inplace = 0, kept = 0;
  for (int i = 0; i < 20000; i++) {
    replfile r;
    if (!replopen(name.c_str(), ".part", &r)) {
      ADD_FAILURE() << i << " " << r.note;
      break;
    }
    if (r.part.empty()) inplace++;
    int rc = replcommit(&r);
    if (rc != REPL_DONE) kept++;
    if (rc == REPL_KEPT) std::fprintf(stderr, "%s", r.note.c_str());
  }
  stop = true;
  writer.join();
  return {inplace, kept};
}

// A file renamed over the name while it is looked at has, for that
// moment, no name at all: it is neither a file with other names nor one
// to write in place.  Another writer renames new files over NAME without
// pause; every open still writes a part file, whose commit takes NAME,
// and a part taken over from a writer that removed it is made anew.
TEST(ReplFile, ANameRenamedOverWhileLookedAtIsStillReplaced) {
  const std::string name = scratchdir() + "m.gm", other = scratchdir() + "other";
  EXPECT_EQ(replacedwhile(name, [&] {
              close(open(other.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
              rename(other.c_str(), name.c_str());
            }),
            std::make_pair(0, 0));
}

// Another writer removes NAME and makes it anew without pause: a plain
// file of the user's that appears at NAME as the commit takes it is
// replaced too.
TEST(ReplFile, ANameMadeAnewWhileLookedAtIsStillReplaced) {
  const std::string name = scratchdir() + "m.gm";
  EXPECT_EQ(replacedwhile(name, [&] {
              unlink(name.c_str());
              close(open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
            }),
            std::make_pair(0, 0));
}

// The same writer winning many rounds in a row, as it may on a busy
// machine: the name is gone at one look and there again at the next, for
// twenty looks; the commit still takes it once the writer stops.
TEST(ReplFile, ANameMadeAnewAtManyLooksInARowIsStillReplaced) {
  const std::string name = scratchdir() + "m.gm";
  replfile r;
  ASSERT_TRUE(replopen(name.c_str(), ".part", &r)) << r.note;
  ASSERT_EQ(write(r.fd, "new", 3), 3);
  int looks = 0;
  std::function<void()> toggle = [&] {
    if (unlink(name.c_str()) != 0) close(open(name.c_str(), O_WRONLY | O_CREAT, 0644));
    if (++looks < 20) callhook(callat::looked, "m.gm", toggle);
  };
  callhook(callat::looked, "m.gm", toggle);
  const int rc = replcommit(&r);
  callhook(callat::none, "", nullptr);
  struct stat st;
  EXPECT_EQ(std::make_pair(rc, stat(name.c_str(), &st) == 0 ? st.st_size : -1), std::make_pair(0, 3L)) << r.note;
  EXPECT_EQ(looks, 20);
}

// Another writer acting between the steps of a save: a file renamed over
// a name written in place (one with other hard links) between the look at
// it and the open is looked at anew, and the descriptor opened on it let
// go (the save replaces it); one that does so at every look is given up
// on after eight.
TEST(ReplFile, AnotherWriterBetweenTheLookAndTheOpenIsLookedAtAnew) {
  const std::string name = scratchdir() + "inplace", aside = scratchdir() + "inplace.aside";
  close(open(name.c_str(), O_WRONLY | O_CREAT, 0600));
  close(open(aside.c_str(), O_WRONLY | O_CREAT, 0600));
  ASSERT_EQ(link(name.c_str(), (scratchdir() + "inplace.link").c_str()), 0);
  auto open_fds = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const int before = open_fds();
  callhook(callat::looked, "inplace", [&] { rename(aside.c_str(), name.c_str()); });
  EXPECT_EQ(replsave(name.c_str(), "new", 3, nullptr), 0);
  callhook(callat::none, "", nullptr);
  EXPECT_EQ(open_fds(), before);
  struct stat st;
  EXPECT_EQ(stat(name.c_str(), &st) == 0 ? st.st_size * 10 + st.st_nlink : -1, 31);
  // Another file with other names put in its place at every look.
  ASSERT_EQ(link(name.c_str(), (name + ".again").c_str()), 0);
  int swaps = 0;
  std::function<void()> swap = [&] {
    const std::string next = name + std::to_string(swaps);
    close(open(next.c_str(), O_WRONLY | O_CREAT, 0600));
    link(next.c_str(), (next + ".link").c_str());
    rename(next.c_str(), name.c_str());
    if (++swaps < 100) callhook(callat::looked, "inplace", swap);
  };
  callhook(callat::looked, "inplace", swap);
  const int saved = replsave(name.c_str(), "new", 3, nullptr);
  const int err = errno;
  callhook(callat::none, "", nullptr);
  EXPECT_EQ(std::make_pair(saved, err), std::make_pair(1, EAGAIN));
  EXPECT_EQ(open_fds(), before);
}

// An in-place open through a link to what is no plain file (a FIFO) opens
// only what the look saw there: a plain file renamed over the FIFO right
// after the look is looked at anew, and replaced as a plain file of the
// user's is, not written through.
TEST(ReplFile, AnInPlaceOpenThroughALinkOpensOnlyWhatWasLookedAt) {
  const std::string fifo = scratchdir() + "fifo", plain = scratchdir() + "plain", out = scratchdir() + "out";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600) | symlink("fifo", out.c_str()), 0);
  close(open(plain.c_str(), O_WRONLY | O_CREAT, 0600));
  const int keep = open(plain.c_str(), O_RDONLY);
  callhook(callat::looked, "fifo", [&] { rename(plain.c_str(), fifo.c_str()); });
  EXPECT_EQ(replsave(out.c_str(), "new", 3, nullptr), 0);
  callhook(callat::none, "", nullptr);
  struct stat st, kept;
  EXPECT_EQ(fstat(keep, &kept) == 0 ? kept.st_size : -1, 0);
  EXPECT_EQ(stat(fifo.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1, 3);
  EXPECT_NE(st.st_ino, kept.st_ino);
  close(keep);
}

// A name is shown in a line with its control characters escaped, so that a
// folder named with a line end cannot print a line of its own.
TEST(ReplFile, LinesShowNamesWithControlCharactersEscaped) {
  const std::string folder = "a\nHardcopy output file is closed \x1b\t";
  const std::string dir = scratchdir() + folder, name = dir + "/m.gm";
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  char real[PATH_MAX];
  ASSERT_TRUE(realpath(scratchdir().c_str(), real));
  replfile r;
  ASSERT_TRUE(replopen(name.c_str(), ".part", &r)) << r.note;
  close(open(name.c_str(), O_WRONLY | O_CREAT, 0600));
  ASSERT_EQ(link(name.c_str(), (dir + "/other").c_str()), 0);
  ASSERT_EQ(replcommit(&r), REPL_KEPT);
  EXPECT_EQ(r.note, std::string("The new file stays as ") + real +
                        "/a\\nHardcopy output file is closed \\x1b\\t/m.gm.part: m.gm has other hard links\n");
  // A line longer than its room is cut there, before a whole escape: here
  // in the name of a file in a folder some 3,800 bytes deep, shown four
  // times as long as it is.
  std::string deep = real;
  for (char c = 'a'; c < 'p'; c++) {
    deep += "/" + std::string(250, c);
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  const std::string odd(245, '\x01'), shown = replshownname(odd.c_str());
  ASSERT_TRUE(replopen((deep + "/" + odd).c_str(), ".part", &r)) << r.note;
  close(open((deep + "/" + odd).c_str(), O_WRONLY | O_CREAT, 0600));
  ASSERT_EQ(link((deep + "/" + odd).c_str(), (deep + "/other").c_str()), 0);
  ASSERT_EQ(replcommit(&r), REPL_KEPT);
  const std::string head = "The new file stays as " + deep + "/" + shown + ".part: ";
  EXPECT_EQ(r.note, head + shown.substr(0, (kEndLine - 1 - head.size()) / 4 * 4));
  // A name of nothing but characters escaped in four is shown whole.
  EXPECT_EQ(replshownname("\x01\x7f"), "\\x01\\x7f");
  // Bytes that are no UTF-8 text are escaped too, the characters of UTF-8
  // text kept whole; a name cut to its room is cut before a whole
  // character or escape, and the room holds its end.
  const struct {
    const char* name;
    size_t room;
    const char* shown;
  } rows[] = {{"caf\xc3\xa9 \xff\xc3(\xe2\x82\xac\xf0\x9f\x8c\x8d\x7f\r", 64, "caf\xc3\xa9 \\xff\\xc3(\xe2\x82\xac\xf0\x9f\x8c\x8d\\x7f\\r"},
              {"\xc2\x9b\xed\xa0\x80\xc0\xaf", 64, "\\xc2\\x9b\\xed\\xa0\\x80\\xc0\\xaf"},
              {"abcd", 4, "abc"},
              {"a\tb", 3, "a"},
              {"ab\xc3\xa9", 4, "ab"}};
  for (const auto& row : rows) {
    char buf[80];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(replshown(buf, row.room, row.name), std::strlen(row.shown)) << row.shown;
    EXPECT_STREQ(buf, row.shown);
    EXPECT_EQ(buf[row.room], '#') << row.shown;
  }
}

// A copy in place whose source cannot be read to its end fails and
// leaves no torn target: the older bytes are gone, so nothing is left.
TEST(ReplFile, ACopyInPlaceThatCannotReadItsSourceFails) {
  const std::string from = scratchdir() + "from", to = scratchdir() + "to";
  int w = open(from.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), t = open(to.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_EQ(write(w, "0123456789", 10), 10);
  ASSERT_EQ(write(t, "older", 5), 5);
  EXPECT_FALSE(replcopy(w, t));  // written only: every read fails
  struct stat sb;
  EXPECT_EQ(fstat(t, &sb) == 0 ? sb.st_size : -1, 0);
  close(w);
  close(t);
}

// A copy in place over a file with another name, on a disk that filled up
// after the part was written, leaves that file as it was, its other name
// with it, and the finished part under its part name; so does a write of
// it in place.  The disk is a small
// one of the test's own, seen by a child process only.
TEST(ReplFile, ACopyInPlaceOnAFullDiskLeavesTheTargetAsItWas) {
  if (geteuid() != 0) GTEST_SKIP() << "a disk of its own is mounted by root";
  const std::string disk = scratchdir() + "disk", t = disk + "/t";
  ASSERT_EQ(mkdir(disk.c_str(), 0700), 0);
  int said[2];
  ASSERT_EQ(pipe(said), 0);
  const pid_t pid = fork();
  if (pid < 0) std::abort();
  if (pid == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("omdisk", disk.c_str(), "tmpfs", 0, "size=64k") != 0)
      _exit(2);
    auto text = [](const std::string& f) {
      char b[64] = {};
      int fd = open(f.c_str(), O_RDONLY);
      ssize_t k = fd < 0 ? -1 : read(fd, b, sizeof b - 1);
      close(fd);
      return k < 0 ? std::string("?") : std::string(b, static_cast<size_t>(k));
    };
    const std::string part(16384, 'n');
    replfile r;
    struct stat sb;
    if (replsave(t.c_str(), "older", 5, nullptr) != 0 || link(t.c_str(), (disk + "/other").c_str()) != 0 ||
        !replopen(t.c_str(), ".part", &r, nullptr, REPL_COPY) || write(r.fd, part.data(), part.size()) != 16384)
      _exit(3);
    int fill = open((disk + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    while (write(fill, part.data(), 4096) > 0) {
    }
    const int rc = replcommit(&r);
    // The same file written over in place from memory: the room is taken
    // before a byte of it is cut.
    const int saved = replsave(t.c_str(), part.data(), part.size(), nullptr);
    const std::string got = std::to_string(rc) + " " + std::to_string(saved) + " " + r.note + text(t) + " " +
                            text(disk + "/other") + " " + std::to_string(stat((t + ".part").c_str(), &sb) == 0 ? sb.st_size : -1);
    _exit(write(said[1], got.data(), got.size()) == static_cast<ssize_t>(got.size()) ? 0 : 4);
  }
  close(said[1]);
  char b[512];
  ssize_t k = read(said[0], b, sizeof b);
  close(said[0]);
  int st;
  ASSERT_EQ(waitpid(pid, &st, 0), pid);
  ASSERT_EQ(st, 0);
  EXPECT_EQ(std::string(b, k > 0 ? static_cast<size_t>(k) : 0),
            std::to_string(REPL_KEPT) + " 2 The new file stays as " + t +
                ".part: it could not be copied into t: No space left on device\nolder older 16384");
}

// In a sticky folder that anyone may write, a link is followed for writing
// only when it is the user's or the folder's owner's, at the judgement and
// at the open alike: another user's link may not aim the output at the
// user's own files, nor make one where it points.  Nor may he put his link
// where his plain file was, between the open's look at the name and the
// open itself ("swapped": what the look saw is opened, or nothing), nor
// exchange his link and his plain file in one step at every look
// ("exchanged": the one look decides, and no later one follows a link).
TEST(ReplFile, AnotherUsersLinkInAStickyFolderIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "links of another user are made by root";
  const std::string shared = scratchdir() + "shared", mine = scratchdir() + "mine";
  ASSERT_EQ(mkdir(shared.c_str(), 01777) | chmod(shared.c_str(), 01777) | mkdir(mine.c_str(), 0700), 0);
  const std::string victim = mine + "/victim";
  close(open(victim.c_str(), O_WRONLY | O_CREAT, 0600));
  const struct {
    const char* link;
    const char* to;
    uid_t owner;
    bool followed;
    bool swapped;
    bool exchanged;
  } rows[] = {{"theirs", "victim", 1000, false, false, false},
              {"dangling", "new", 1000, false, false, false},
              {"own", "own", 0, true, false, false},
              {"swapped", "victim", 1000, false, true, false},
              {"exchanged", "victim", 1000, false, false, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.link);
    const std::string link = shared + "/" + r.link, to = mine + "/" + r.to, aside = link + ".aside";
    // Their plain file at the name, and their link beside it, renamed over
    // it right after the one look at the name (which replsave judges it by
    // and then opens it in place).
    auto swapin = [&]() {
      close(open(link.c_str(), O_WRONLY | O_CREAT, 0666));
      ASSERT_EQ(lchown(link.c_str(), r.owner, r.owner) | symlink(to.c_str(), aside.c_str()) |
                    lchown(aside.c_str(), r.owner, r.owner),
                0);
      const char* leaf = r.link;
      std::function<void()> swap = [aside, link] { rename(aside.c_str(), link.c_str()); };
      callhook(callat::looked, leaf, swap);
    };
    // Their link at the name and their plain file beside it, the two
    // exchanged after each of the first two looks.
    int exchanges = 0;
    std::function<void()> exchange = [&] {
      renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
      if (++exchanges < 2) callhook(callat::looked, r.link, exchange);
    };
    auto exchangein = [&] {
      unlink(link.c_str());
      unlink(aside.c_str());
      close(open(aside.c_str(), O_WRONLY | O_CREAT, 0666));
      ASSERT_EQ(symlink(to.c_str(), link.c_str()) | lchown(link.c_str(), r.owner, r.owner) |
                    lchown(aside.c_str(), r.owner, r.owner),
                0);
      exchanges = 0;
      callhook(callat::looked, r.link, exchange);
    };
    if (r.swapped) swapin();
    else if (r.exchanged) exchangein();
    else ASSERT_EQ(symlink(to.c_str(), link.c_str()) | lchown(link.c_str(), r.owner, r.owner), 0);
    int saved = replsave(link.c_str(), "new", 3, nullptr);
    EXPECT_EQ(saved == 0 ? 0 : errno, r.followed ? 0 : EACCES);
    if (r.swapped) unlink(link.c_str()), swapin();
    if (r.exchanged) exchangein();
    int fd = omopen(link.c_str(), O_WRONLY | O_CREAT);
    EXPECT_EQ(fd >= 0 ? 0 : errno, r.followed ? 0 : EACCES);
    if (fd >= 0) close(fd);
    callhook(callat::none, "", nullptr);
    struct stat st;
    const off_t left = std::string(r.to) == "victim" ? 0 : -1;
    EXPECT_EQ(stat(to.c_str(), &st) == 0 ? st.st_size : -1, r.followed ? 3 : left);
  }
}

}  // namespace
