// The display list and the hardcopy metafile.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>

#include "base/fifo_end.h"
#include "base/fsizecap.h"
#include "base/callhook.h"
#include "gxtest.h"

namespace {

std::vector<int> cat(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST(Metafile, ByteStreamIsExactAndBigEndian) {
  gx_tmpdir d;
  std::string f = d.file("out.gx");
  gx_batch();
  testing::internal::CaptureStdout();
  ASSERT_EQ(gxhbgn(f.c_str()), 0);
  gxfrme(1);
  gxcolr(2);
  gxwide(4);
  gxrecf(1, 2, 1, 2);
  float tri[6] = {1, 1, 3, 1, 2, 3};
  gxfill(tri, 3);
  gxmove(0.5f, 0.5f);
  gxdraw(10.5f, 8.0f);
  gxptrn(1, 1, 0);
  ASSERT_EQ(gxhprt(), 0);
  gxfrme(1);
  gxacol(20, 10, 20, 30);
  ASSERT_EQ(gxhprt(), 0);
  gxfrme(1);  // colour 20 is defined again at the start of the frame
  ASSERT_EQ(gxhprt(), 0);
  gxhend();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Hardcopy output file is closed \n");

  std::vector<int> frame1 = {-3, 2, -4, 4, 4, -6, 1000, 2000, 1000, 2000,
                             -7, 3, -10, 1000, 1000, -11, 3000, 1000, -11, 2000, 3000, -8,
                             -10, 500, 500, -11, 10500, 8000, -12, 1, 1, 0};
  std::vector<int> def20 = {-5, 20, 10, 20, 30};
  std::vector<int> want = cat({{-1, 11000, 8500}, frame1, {-2}, def20, {-2}, def20, {-2, -9}});
  EXPECT_EQ(gx_meta_words(f), want);
  // Big-endian on every host: the header's first word is 0xFF 0xFF, the
  // page width 11000 is 0x2A 0xF8.
  std::vector<unsigned char> b = gx_slurp(f);
  ASSERT_GE(b.size(), 6u);
  EXPECT_EQ(b[2], 0x2A);
  EXPECT_EQ(b[3], 0xF8);
}

TEST(Metafile, EndRightAfterOpenWritesHeaderAndEnd) {
  gx_tmpdir d;
  std::string f = d.file("empty.gx");
  gx_batch(8.5, 11);
  testing::internal::CaptureStdout();
  ASSERT_EQ(gxhbgn(f.c_str()), 0);
  gxhend();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(gx_meta_words(f), (std::vector<int>{-1, 8500, 11000, -9}));
}

TEST(Metafile, LifecycleMessagesAndResults) {
  gx_tmpdir d;
  std::string f = d.file("a.gx"), g = d.file("b.gx");
  gx_batch();
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhprt(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Metafile not currently open\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhbgn(f.c_str()), 0);
  EXPECT_EQ(gxhbgn(g.c_str()), 0);  // a repeated enable is harmless
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Metafile already open\n");
  EXPECT_NE(access(g.c_str(), F_OK), 0) << "the second file must not be created";

  testing::internal::CaptureStdout();
  gxhend();
  gxhend();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Hardcopy output file is closed \nNo hardcopy metafile open\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhbgn("/nonexistent-dir/x.gx"), 1);
  EXPECT_EQ(gxhbgn("/nonexistent-dir/\x1b[2J\xff.gx"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error opening meta file /nonexistent-dir/x.gx \n"
            "Error opening meta file /nonexistent-dir/\\x1b[2J\\xff.gx \n");
}

TEST(Metafile, PrintingTwiceAppendsTheFrameTwice) {
  gx_tmpdir d;
  std::string f = d.file("twice.gx");
  gx_batch();
  testing::internal::CaptureStdout();
  gxhbgn(f.c_str());
  gxcolr(3);
  gxhprt();
  gxhprt();
  gxhend();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(gx_meta_words(f), (std::vector<int>{-1, 11000, 8500, -3, 3, -3, 3, -2, -9}));
}

TEST(Metafile, WriteErrorEntersErrorStateThatOnlyDisableClears) {
  gx_tmpdir d;
  std::string f = d.file("full.gx");
  gx_write(f, "older");
  gx_batch();
  for (int i = 0; i < 2000; i++) gxcolr(i % 10);
  testing::internal::CaptureStdout();
  {
    fsizecap lim(64);
    ASSERT_EQ(gxhbgn(f.c_str()), 0);
    EXPECT_EQ(gxhprt(), 1);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "I/O Error writing to print metafile.\n");

  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhprt(), 1);
  EXPECT_EQ(gxhbgn(f.c_str()), 1) << "enable in the error state must fail";
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error status on print metafile is positive.\nCannot print current frame.\n"
            "Metafile error state is positive.\nDisable Print before attempting an Enable Print.\n");

  testing::internal::CaptureStdout();
  gxhend();
  // With no whole frame written, the file does not replace the older one.
  std::vector<unsigned char> b = gx_slurp(f);
  EXPECT_EQ(std::string(b.begin(), b.end()), "older");
  EXPECT_NE(access((f + ".part").c_str(), F_OK), 0);
  EXPECT_EQ(gxhbgn(f.c_str()), 0);
  gxhend();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Resetting print metafile error status.\nNo hardcopy metafile open\n"
            "Hardcopy output file is closed \n");

  // A close that fails (a network file system's late write error) is a
  // write error too: the disable fails and the error state follows.
  testing::internal::CaptureStdout();
  ASSERT_EQ(gxhbgn(f.c_str()), 0);
  callhook(callat::closed, "full.gx", nullptr, EIO);
  EXPECT_EQ(gxhend(), 1);
  EXPECT_EQ(gxhprt(), 1);
  gxhend();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "I/O Error writing to print metafile.\nError status on print metafile is positive.\n"
            "Cannot print current frame.\nResetting print metafile error status.\nNo hardcopy metafile open\n");
}

// A print that does not fit leaves the file ended after the last whole
// frame, so every other reader still takes it; the error state follows.
// Where a size limit leaves no room for the end records there, at a print
// or at the disable, the file ends at that frame, its length even, and
// stays under its part name: a file without its end records never takes
// the place of the older one.
TEST(Metafile, WriteErrorEndsTheFileAfterItsLastWholeFrame) {
  gx_tmpdir d;
  struct {
    rlim_t limit;
    bool newframe;  // the frame's end (-2) is written before the failure
    bool atend;     // the limit comes at the disable, with nothing more printed
  } rows[] = {{1000, true, false}, {14, true, false}, {13, true, false}, {14, false, false}, {13, false, false},
              {12, false, false},  {11, false, false}, {14, false, true}, {13, false, true},  {11, false, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.limit) + (r.newframe ? " new frame" : "") + (r.atend ? " at the end" : ""));
    std::string f = d.file("cut" + std::to_string(r.limit) + (r.newframe ? "n" : "") + (r.atend ? "e" : "") + ".gx");
    gx_write(f, "older");
    gx_batch();
    testing::internal::CaptureStdout();
    ASSERT_EQ(gxhbgn(f.c_str()), 0);
    gxcolr(3);
    ASSERT_EQ(gxhprt(), 0);
    if (r.newframe) gxfrme(1);
    for (int i = 0; i < 2000; i++) gxcolr(i % 10);
    {
      fsizecap lim(r.limit);
      EXPECT_EQ(r.atend ? gxhend() : gxhprt(), r.atend && r.limit >= 14 ? 0 : 1);
    }
    std::string out = testing::internal::GetCapturedStdout();
    const bool ended = r.limit >= 14;
    EXPECT_EQ(out, r.atend && ended ? "Hardcopy output file is closed \n" : "I/O Error writing to print metafile.\n");
    std::vector<int> want = {-1, 11000, 8500, -3, 3};
    if (r.newframe || ended) want.push_back(-2);
    if (ended) want.push_back(-9);
    const std::string at = ended ? f : f + ".part";
    EXPECT_EQ(gx_meta_words(at), want);
    EXPECT_EQ(gx_slurp(at).size(), 2 * want.size());
    EXPECT_EQ(gx_slurp(f).size(), ended ? 2 * want.size() : 5);
    testing::internal::CaptureStdout();
    gxhend();
    testing::internal::GetCapturedStdout();
  }
}

// The part name a metafile is written under is made new, or taken over from
// a session that was killed only when it is a plain file of the user's with
// no other name (and then emptied).  A link there is not followed, a FIFO
// not waited for, another user's file or one with other names not touched:
// the enable fails naming it, and the older file and the link's target stay
// as they were.  At the end, whatever stands at the name then is judged
// again, in the folder the part was made in: where it may not be replaced,
// the finished file stays under its part name and a line says why.
TEST(Metafile, APartFileIsMadeNewOrTakenOverOnlyFromTheUser) {
  const std::vector<int> printed = {-1, 11000, 8500, -3, 3, -2, -9};
  const gid_t primary = geteuid() == 0 ? 65534 : getegid();
  const struct {
    const char* name;
    int code;         // the enable's result times 2 plus the disable's
    const char* why;  // what the line says after the part file's name
    bool noolder;     // no file stands at the name before
  } rows[] = {{"stale", 0, "", false},
              {"link", 2, " is in the way: it is no plain file of yours", false},
              {"link", 2, " is in the way: it is no plain file of yours", true},
              {"others", 2, " is in the way: it is no plain file of yours", false},
              {"others", 2, " is in the way: it is no plain file of yours", true},
              {"fifo", 2, " is in the way: it is no plain file of yours", false},
              {"fifo", 2, " is in the way: it is no plain file of yours", true},
              {"folder", 2, " is in the way: it is no plain file of yours", true},
              {"unwritable", 2, ": Permission denied", true},
              {"linked", 2, " is in the way: it has other hard links", false},
              {"linked", 2, " is in the way: it has other hard links", true},
              {"shut", 1, ": it could not be renamed to m.gx: Permission denied", false},
              {"readonly", 2, "", false},
              {"symlink", 0, "", false},
              {"foreigngroup", 0, "", false},
              {"made", 0, "", false},
              {"theirs", 1, ": m.gx is another user's file", false},
              {"madereadonly", 1, ": you may not write m.gx", false},
              {"atsignal", 1, ": you may not write m.gx", false},
              {"hardlink", 1, ": m.gx has other hard links", false},
              {"inplacegone", 0, "", false},
              {"swapped", 1, "", false},
              {"moved", 0, "", false},
              {"stalegone", 0, "", false},
              {"stalevanishes", 0, "", false},
              {"headerfails", 2, "", false},
              {"copiedswapped", 0, "", false},
              {"groupswapped", 2, " is in the way: it is no plain file of yours", false},
              {"quota", 1, ": it could not be renamed to m.gx: Disk quota exceeded", false},
              {"quotacopy", 1, ": it could not be copied into m.gx: Disk quota exceeded", false},
              {"copyreadonly", 1, ": you may not write m.gx", false},
              {"noreplace", 1, ": m.gx has other hard links", true},
              {"noreplacefree", 0, "", true}};
  auto text = [](const std::string& f) {
    std::vector<unsigned char> b = gx_slurp(f);
    return std::string(b.begin(), b.end());
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.name) + (r.noolder ? " with no older file" : ""));
    const std::string row = r.name;
    if ((row == "others" || row == "theirs" || row == "foreigngroup" || row == "groupswapped") &&
        gx_other() == static_cast<uid_t>(-1))
      continue;
    gx_tmpdir d;
    char real[PATH_MAX];
    ASSERT_TRUE(realpath(d.path.c_str(), real));
    const std::string dir = real, f = dir + "/m.gx", part = f + ".part", victim = dir + "/victim";
    gx_write(f, "older");
    gx_write(victim, "victim");
    if (row == "stale" || row == "others" || row == "stalegone" || row == "stalevanishes")
      gx_write(part, std::string(100000, 'j'));
    if (row == "foreigngroup") gx_write(part, "theirs");
    const bool swapped = row == "swapped" || row == "headerfails" || row == "copiedswapped" || row == "groupswapped";
    if (row == "theirs" || swapped) gx_write(dir + "/theirs", "late");
    ASSERT_EQ(row == "link" ? symlink(victim.c_str(), part.c_str()) : 0, 0);
    ASSERT_EQ(row == "linked" ? link(victim.c_str(), part.c_str()) : 0, 0);
    ASSERT_EQ(row == "folder" ? mkdir(part.c_str(), 0700) : 0, 0);
    if (r.noolder) unlink(f.c_str());
    for (const std::string& mine : {dir, f, victim, part})
      if (row != "others" || mine != part) lchown(mine.c_str(), gx_user(), primary);
    // An older file in a group the user cannot give is written in place.
    ASSERT_EQ(row == "foreigngroup" || row == "groupswapped" ? chown(f.c_str(), gx_user(), 0) : 0, 0);
    ASSERT_EQ(row == "readonly" ? chmod(f.c_str(), 0444) : 0, 0);
    // A file with another name is written over in place, at the end, and
    // only while it is still at the name.
    const bool linked = row == "inplacegone" || row == "copiedswapped" || row == "quotacopy" || row == "copyreadonly";
    ASSERT_EQ(linked ? link(f.c_str(), (dir + "/other").c_str()) : 0, 0);
    ASSERT_EQ(row == "unwritable" ? chmod(dir.c_str(), 0555) : 0, 0);
    std::unique_ptr<fifo_end> fifo(row == "fifo" ? new fifo_end(part) : nullptr);
    std::string name = f;
    if (row == "moved") {
      for (const char* run : {"/run1", "/run2"})
        ASSERT_EQ(mkdir((dir + run).c_str(), 0777) | chown((dir + run).c_str(), gx_user(), primary), 0);
      ASSERT_EQ(symlink("run1", (dir + "/out").c_str()), 0);
      name = dir + "/out/m.gx";
    }
    if (row == "symlink") name = dir + "/lnk.gx", symlink("m.gx", name.c_str());
    gx_batch();
    auto [code, said] = gx_as_user([&] {
      // A part left by a session is removed by its writer as it is taken
      // over: made anew, the output finished.
      auto removed = [&] { unlink(part.c_str()); };
      if (row == "stalegone") callhook(callat::opened, "m.gx.part", removed);
      if (row == "stalevanishes") callhook(callat::excluded, "m.gx.part", removed);
      // Another program renames its file onto the part name as the part
      // would be removed: when the header write fails (the disk full),
      // when the part was copied over an older file with other names, or
      // when a part that cannot take the older file's group is dropped,
      // the older file replaced meanwhile.  Its file stays.  The file now
      // at the name is no longer written in place in the older one's
      // stead: it is judged anew, and refused while theirs holds the part
      // name.
      auto theirs = [&] { rename((dir + "/theirs").c_str(), part.c_str()); };
      if (row == "headerfails") callhook(callat::written, "m.gx.part", theirs, ENOSPC);
      if (row == "copiedswapped") callhook(callat::written, "m.gx", theirs);
      // A network file system's server refuses the bytes as they go out:
      // the older file stays; one with other names, written over by then,
      // is left empty, never torn.
      if (row == "quota") callhook(callat::synced, "m.gx.part", nullptr, EDQUOT);
      if (row == "quotacopy") callhook(callat::synced, "m.gx", nullptr, EDQUOT);
      // A file system that cannot rename without replacing (FUSE): a file
      // put at the free name as the part takes it is not replaced.
      if (row == "noreplace") callhook(callat::renamed, "m.gx.part", [&] { link(victim.c_str(), f.c_str()); }, EINVAL);
      if (row == "noreplacefree") callhook(callat::renamed, "m.gx.part", nullptr, EINVAL);
      if (row == "groupswapped") callhook(callat::made, "m.gx.part", [&] {
          theirs();
          gx_write(dir + "/new", "new");
          rename((dir + "/new").c_str(), f.c_str());
        });
      int opened = gxhbgn(name.c_str());
      gxcolr(3);
      gxhprt();
      // A link's target keeps its older bytes until the end.
      if (row == "symlink" && text(f) != "older") return 9;
      // What stands at the name changes while the file is open.
      if (row == "made" || row == "madereadonly" || row == "atsignal" || row == "hardlink") {
        unlink(f.c_str());
        gx_write(f, "late");
      }
      // One to be written over in place is judged at the end as well.
      if (row == "madereadonly" || row == "atsignal" || row == "copyreadonly") chmod(f.c_str(), 0444);
      if (row == "hardlink") link(f.c_str(), (dir + "/other").c_str());
      if (row == "inplacegone") unlink(f.c_str());
      if (row == "theirs") rename((dir + "/theirs").c_str(), f.c_str());
      // Another program's file renamed onto the part name is not published.
      if (row == "swapped") rename((dir + "/theirs").c_str(), part.c_str());
      if (row == "moved") unlink((dir + "/out").c_str()), symlink("run2", (dir + "/out").c_str());
      // A folder that cannot be looked into is said so, not taken for a
      // name that another file took.
      if (row == "shut") {
        chmod(dir.c_str(), 0);
        int ended = gxhend();
        chmod(dir.c_str(), 0755);
        return opened * 2 + ended;
      }
      if (row != "atsignal") return opened * 2 + gxhend();
      // An ending signal's handler judges the name the same way.
      printf("%s", gxhsigclose());
      return opened * 2 + (gx_meta_words(part) == printed);
    });
    fifo.reset();
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(code, r.code) << said;
    std::string at = row == "moved" ? dir + "/run1/m.gx" : f;
    if (r.code == 0) {
      EXPECT_EQ(gx_meta_words(at), printed);
      EXPECT_EQ(text(at + ".part"), swapped ? "late" : "");
      if (row == "inplacegone") {
        EXPECT_EQ(text(dir + "/other"), "older");
      }
      if (row == "copiedswapped") {
        EXPECT_EQ(gx_meta_words(dir + "/other"), printed);
      }
      struct stat ls;
      EXPECT_EQ(lstat(name.c_str(), &ls) == 0 && S_ISLNK(ls.st_mode), row == "symlink");
      EXPECT_NE(access((dir + "/run2/m.gx").c_str(), F_OK), 0);
    } else if (row == "swapped" || row == "headerfails") {
      EXPECT_EQ(said, row == "swapped"
                          ? "The new file is no longer at " + part + ": another file took its name; m.gx stays as it was\n"
                          : "I/O Error writing to print metafile.\nMetafile not currently open\nNo hardcopy metafile open\n");
      EXPECT_EQ(text(f) + text(part), "olderlate");
    } else if (r.code == 1) {
      EXPECT_EQ(said, "The new file stays as " + part + r.why + "\n");
      EXPECT_EQ(gx_meta_words(part), printed);
      EXPECT_EQ(text(f), row == "shut" || row == "quota" || row == "copyreadonly" ? "older"
                         : row == "quotacopy"                                  ? ""
                         : row == "noreplace"                                  ? "victim"
                                                                               : "late");
    } else {
      EXPECT_EQ(said.substr(0, said.find("Metafile not")),
                "Error opening meta file " + f + " \n" +
                    (*r.why ? (row == "unwritable" ? "  Cannot make the part file " : "  The part file ") + part +
                                  r.why + "\n"
                            : ""));
      EXPECT_EQ(text(f) + text(victim), r.noolder ? "victim" : swapped ? "newvictim" : "oldervictim");
    }
    if (row == "folder") rmdir(part.c_str());
  }
}

// A metafile on a FIFO gets its end records from a signal's ending too.
TEST(Metafile, AFifoGetsItsEndFromASignalHandler) {
  gx_tmpdir d;
  std::string f = d.file("m.fifo");
  ASSERT_EQ(mkfifo(f.c_str(), 0600), 0);
  int rd = open(f.c_str(), O_RDONLY | O_NONBLOCK);
  gx_batch();
  testing::internal::CaptureStdout();
  ASSERT_EQ(gxhbgn(f.c_str()), 0);
  gxcolr(3);
  ASSERT_EQ(gxhprt(), 0);
  printf("%s", gxhsigclose());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Hardcopy output file is closed \n");
  unsigned char b[64];
  std::string got(b, b + std::max<ssize_t>(0, read(rd, b, sizeof b)));
  close(rd);
  EXPECT_EQ(got, std::string("\xff\xff\x2a\xf8\x21\x34\xff\xfd\0\x03\xff\xfe\xff\xf7", 14));
  gx_batch();
}

// A metafile another session is writing (under its part name) is neither
// emptied nor mixed with this session's frames: the enable fails, and works
// once it is free.  An older file of the name stays as it was until the new
// one is finished.
TEST(Metafile, AFileAnotherWriterHoldsIsRefusedAndLeftAlone) {
  gx_tmpdir d;
  std::string f = d.file("shared.gx");
  int older = open(f.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(older, 0);
  ASSERT_EQ(write(older, "older", 5), 5);
  close(older);
  int other = open((f + ".part").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(other, 0);
  ASSERT_EQ(write(other, "theirs", 6), 6);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  gx_batch();
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhbgn(f.c_str()), 1);
  EXPECT_EQ(gxhprt(), 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Error opening meta file " + f + " \n  Another session is writing this file.\n"
                 "Metafile not currently open\n");
  std::vector<unsigned char> b = gx_slurp(f + ".part");
  EXPECT_EQ(std::string(b.begin(), b.end()), "theirs");
  close(other);
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhbgn(f.c_str()), 0);
  b = gx_slurp(f);
  EXPECT_EQ(std::string(b.begin(), b.end()), "older");
  gxhend();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(gx_meta_words(f), (std::vector<int>{-1, 11000, 8500, -9}));
  EXPECT_NE(access((f + ".part").c_str(), F_OK), 0);
}

TEST(Metafile, HeaderWriteFailureIsAnOpenFailure) {
  gx_batch();
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhbgn("/dev/full"), 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "I/O Error writing to print metafile.\n");
  // Not left in an error state: a good file can be opened next.
  gx_tmpdir d;
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxhbgn(d.file("ok.gx").c_str()), 0);
  gxhend();
  // A file written over in place (one with another name) whose header does
  // not fit keeps its older bytes, and its other names stay with it.
  std::string f = d.file("linked.gx");
  gx_write(f, "older");
  ASSERT_EQ(link(f.c_str(), d.file("other.gx").c_str()), 0);
  {
    fsizecap lim(3);
    EXPECT_EQ(gxhbgn(f.c_str()), 1);
  }
  testing::internal::GetCapturedStdout();
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5);
  EXPECT_EQ(st.st_nlink, 2u);
}

TEST(DisplayList, CoordinatesAreRoundedAndLimited) {
  EXPECT_EQ(gxhcoord(-0.3), 0);
  EXPECT_EQ(gxhcoord(40.0), 32760);
  EXPECT_EQ(gxhcoord(1.0005), 1001);
  EXPECT_EQ(gxhcoord(1.0004), 1000);
  EXPECT_EQ(gxhcoord(32.7599), 32760);
  EXPECT_EQ(gxhcoord(1e30), 32760);
  EXPECT_EQ(gxhcoord(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(gxhcoord(-std::numeric_limits<double>::infinity()), 0);
}

TEST(DisplayList, FrameContinuesIntoNewChunksInOrder) {
  gxhsetchunk(64);
  gx_batch();
  for (int i = 0; i < 100; i++) gxcolr(i % 100);
  std::vector<gxhchunk> chunks = gxhsel(false);
  EXPECT_GT(chunks.size(), 3u);
  std::vector<int> r = gx_records();
  ASSERT_EQ(r.size(), 200u);
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(r[2 * i], -3);
    EXPECT_EQ(r[2 * i + 1], i);
  }
  // A new frame drops the extra chunks.
  gxfrme(1);
  EXPECT_EQ(gxhsel(false).size(), 1u);
  EXPECT_TRUE(gx_records().empty());
  // So do both sets of double buffering: each frame, drawn over several
  // chunks, is completed whole, the chunks in order.
  gxfrme(2);
  std::vector<int> was;
  for (int frame = 0; frame < 4; frame++) {
    std::vector<int> want;
    for (int i = 0; i < 100; i++) {
      gxcolr((i + 7 * frame) % 100);
      want.insert(want.end(), {-3, (i + 7 * frame) % 100});
    }
    EXPECT_EQ(gx_records(), want) << frame;
    if (frame > 0) EXPECT_EQ(gx_records(true), was) << frame;
    gxfrme(2);
    was = want;
  }
  gx_batch();
  gxhsetchunk(0);
}

TEST(DisplayList, DoubleBufferPrintsTheCompletedFrame) {
  gx_tmpdir d;
  std::string f = d.file("db.gx");
  gx_batch();
  testing::internal::CaptureStdout();
  gxhbgn(f.c_str());
  gxcolr(5);
  gxfrme(2);  // enter double buffering: the frame drawn before is dropped
  gxcolr(6);
  gxhprt();   // the completed set is empty: writes nothing
  gxfrme(2);
  gxcolr(7);
  gxhprt();   // writes the frame just completed (colour 6)
  gxhend();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(gx_meta_words(f), (std::vector<int>{-1, 11000, 8500, -2, -3, 6, -2, -9}));
  gx_batch();
}

TEST(DisplayList, FrameRepaintsBackgroundAndKeepsCurrentColour) {
  gx_batch();
  gxcolr(3);
  gxfrme(1);
  EXPECT_TRUE(gx_records().empty()) << "background 0 paints nothing";
  gxbckg(4);
  gxfrme(1);
  EXPECT_EQ(gx_records(), (std::vector<int>{-3, 4, -6, 0, 11000, 0, 8500}));
  EXPECT_EQ(gxqclr(), 3);
  gxfrme(9);  // display only
  EXPECT_EQ(gx_records().size(), 7u);
}

// The end written by an interrupt handler (no stdio) gives the same file as
// the normal end, at every stage of a file's life, and drops what a print
// cut short had written beyond the last complete frame.
TEST(Metafile, EndFromASignalHandlerMatchesTheNormalEnd) {
  gx_tmpdir d;
  auto draw = [] {
    gxmove(1, 1);
    gxdraw(2, 3);
  };
  // stage 0: nothing printed; 1: a frame printed; 2: printed, then a new
  // frame begun; 3: printed, and a later print cut short.
  for (int stage = 0; stage < 4; stage++) {
    SCOPED_TRACE(stage);
    std::vector<int> ends[2];
    std::string said[2];
    for (int sig = 0; sig < 2; sig++) {
      std::string f = d.file("end" + std::to_string(stage) + std::to_string(sig) + ".gx");
      gx_batch();
      testing::internal::CaptureStdout();
      ASSERT_EQ(gxhbgn(f.c_str()), 0);
      draw();
      if (stage >= 1) {
        ASSERT_EQ(gxhprt(), 0);
      }
      if (stage == 2) gxfrme(1);
      if (stage == 3) {
        // The file is written under its part name until it is ended.
        FILE* junk = fopen((f + ".part").c_str(), "ab");
        fputs("half a frame", junk);
        fclose(junk);
      }
      if (sig) {
        printf("%s", gxhsigclose());
        // The descriptor is the program's to close at exit; the normal end
        // afterwards would write a second end record.
        EXPECT_EQ(gxhopen(), 1);
      } else {
        gxhend();
      }
      said[sig] = testing::internal::GetCapturedStdout();
      ends[sig] = gx_meta_words(f);
      gx_batch();
      testing::internal::CaptureStdout();
      gxhend();  // forgets the file the handler left open
      testing::internal::GetCapturedStdout();
    }
    if (stage != 3) {
      EXPECT_EQ(ends[1], ends[0]);
    }
    EXPECT_EQ(said[1], "Hardcopy output file is closed \n");
    EXPECT_EQ(said[0], said[1]);
    std::vector<int> want = {-1, 11000, 8500};
    if (stage >= 1) want.insert(want.end(), {-10, 1000, 1000, -11, 2000, 3000, -2});
    want.push_back(-9);
    EXPECT_EQ(ends[1], want);
  }
  testing::internal::CaptureStdout();
  printf("%s", gxhsigclose());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "No hardcopy metafile open\n");
}
