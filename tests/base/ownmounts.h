// A mount namespace of the process's own, so that what it mounts (an empty
// /proc, a small disk) is seen by it and what it starts alone.  Where the
// process is not root, in a user namespace of its own as well, where it is
// root (its own user outside), so that this runs as any user.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <string>

// False where the system allows no such namespace.
inline bool own_mounts() {
  const std::string uid = std::to_string(geteuid()), gid = std::to_string(getegid());
  auto put = [](const char* file, const std::string& text) {
    const int fd = open(file, O_WRONLY);
    const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) close(fd);
    return ok;
  };
  if (geteuid() == 0) {
    if (unshare(CLONE_NEWNS) != 0) return false;
  } else if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !put("/proc/self/setgroups", "deny") ||
             !put("/proc/self/uid_map", "0 " + uid + " 1") || !put("/proc/self/gid_map", "0 " + gid + " 1")) {
    return false;
  }
  return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
