// Another program, or the system, acting at the worst moment: an action of
// the test's is run at the program's own next call of a chosen kind on a
// file of a chosen name, as if another process had acted right then, and
// the call may be made to fail.  One action at a time, run once.
#ifndef OMBRA_TESTS_CALLHOOK_H
#define OMBRA_TESTS_CALLHOOK_H

#include <functional>

enum class callat {
  none,
  looked,    // a look at a name that does not follow a link there (lstat,
             // fstatat, the status of what an open holds alone): after it
  made,      // a file made new: after it
  excluded,  // a file made new failed, one being there (EEXIST): after it
  opened,    // a file there opened, not made: after it
  written,   // a write to the file: before it, which then fails with fail
  closed,    // the file's close: before it, which then fails with fail
  synced,    // a sync of the file, taken for one on a network file system
             // until then: before it, which then fails with fail
  renamed,   // a rename of the file that may not replace what is at its
             // new name (RENAME_NOREPLACE): before it, which then fails
             // with fail (EINVAL, as a FUSE file system's does)
};

// leaf: the last part of the file's name.  fail: for written, closed,
// synced and renamed, the errno the call fails with (0: it is made; a
// close that fails still lets the descriptor go, as the kernel's does).
// action may be empty.
void callhook(callat when, const char* leaf, std::function<void()> action, int fail = 0);

#endif
