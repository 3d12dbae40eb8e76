#include "base/replsig.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/wholewrite.h"

namespace {

// Why a part may not take its name now.
// AGAIN: the file looked at left the name meanwhile; it is looked at anew.
enum reason { TAKE, OTHER, READONLY, LINKED, NOTPLAIN, GONE, MOVED, FAILED, AGAIN };

// Appends text to buf (n bytes), always ending it.
void add(char* buf, size_t n, const char* text) {
  size_t at = strlen(buf);
  while (*text && at + 1 < n) buf[at++] = *text++;
  buf[at] = '\0';
}

// Appends a name as replshown shows it.
void addname(char* buf, size_t n, const char* name) {
  size_t at = strlen(buf);
  replshown(buf + at, n - at, name);
}

void addnum(char* buf, size_t n, unsigned v) {
  char d[16];
  size_t k = 0;
  do {
    d[k++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  char one[2] = {0, 0};
  while (k > 0) {
    one[0] = d[--k];
    add(buf, n, one);
  }
}

}  // namespace

void replfolder(char* buf, size_t n, int dir) {
  char link[48] = "/proc/self/fd/";
  addnum(link, sizeof link, static_cast<unsigned>(dir));
  char path[PATH_MAX];
  ssize_t k = readlink(link, path, sizeof path - 1);
  if (k <= 0) return;
  path[k] = '\0';
  addname(buf, n, path);
  if (strcmp(path, "/") != 0) add(buf, n, "/");
}

namespace {

bool kept(const replsig& s, reason r, int err, char* why, size_t n) {
  why[0] = '\0';
  add(why, n, r == GONE || r == MOVED ? "The new file is no longer at " : "The new file stays as ");
  replfolder(why, n, s.dir);
  addname(why, n, s.part);
  add(why, n, ": ");
  switch (r) {
    case OTHER: addname(why, n, s.leaf), add(why, n, " is another user's file"); break;
    case READONLY: add(why, n, "you may not write "), addname(why, n, s.leaf); break;
    case LINKED: addname(why, n, s.leaf), add(why, n, " has other hard links"); break;
    case NOTPLAIN: addname(why, n, s.leaf), add(why, n, " is not a plain file"); break;
    case GONE:
    case MOVED:
      add(why, n, r == GONE ? "another file took its name; " : "it was moved or removed; ");
      addname(why, n, s.leaf), add(why, n, " stays as it was");
      break;
    default: {
      add(why, n, s.target >= 0 ? "it could not be copied into " : "it could not be renamed to ");
      addname(why, n, s.leaf);
      const char* text = strerrordesc_np(err);
      if (text) add(why, n, ": "), add(why, n, text);
    }
  }
  add(why, n, "\n");
  return false;
}

// What the rules say of the file now at the name.
reason judge(const replsig& s, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return NOTPLAIN;
  if (st.st_uid != geteuid()) return OTHER;
  if (faccessat(s.dir, s.leaf, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? AGAIN : READONLY;
  if (st.st_nlink != 1) return LINKED;
  return TAKE;
}

bool renamed(const replsig& s, char* why, size_t n) {
  // The older file stays where the new one's bytes were refused.  A part
  // copied over an older file is only read back, never published: it needs
  // no such look.
  if (s.fd >= 0 && !replsettled(s.fd)) return kept(s, FAILED, errno, why, n);
  // Another writer removing and making the name without pause can win
  // many rounds in a row where the machine is busy and this one is not let
  // run; a bound still ends a contest that never stops.
  for (int tries = 0; tries < 64; tries++) {
    struct stat st;
    if (replstatname(s.dir, s.leaf, &st) != 0) {
      if (errno != ENOENT) return kept(s, FAILED, errno, why, n);
      // Nothing there: taken only while nothing is, so that a file made
      // at the name this moment is looked at first.
      if (renameat2(s.dir, s.part, s.dir, s.leaf, RENAME_NOREPLACE) == 0) return true;
      if (errno == EEXIST) continue;
      if (errno != EINVAL && errno != ENOSYS) return kept(s, FAILED, errno, why, n);
      // A file system that cannot rename so (a FUSE one) may still give the
      // part a second name only while nothing is there; it then loses its
      // own.  Only one that can do neither is renamed over the name.
      if (linkat(s.dir, s.part, s.dir, s.leaf, 0) == 0) {
        replunlink(s.fd, s.dir, s.part);
        return true;
      }
      if (errno == EEXIST) continue;
      if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return kept(s, FAILED, errno, why, n);
    } else {
      reason r = judge(s, st);
      if (r == AGAIN) continue;
      if (r != TAKE) return kept(s, r, 0, why, n);
    }
    if (renameat(s.dir, s.part, s.dir, s.leaf) == 0) return true;
    return kept(s, FAILED, errno, why, n);
  }
  return kept(s, FAILED, EEXIST, why, n);
}

}  // namespace

bool replsettled(int fd) {
  struct statfs fs;
  if (fstatfs(fd, &fs) != 0) return true;
  switch (static_cast<uint32_t>(fs.f_type)) {
    case NFS_SUPER_MAGIC: case SMB_SUPER_MAGIC: case CIFS_SUPER_MAGIC: case SMB2_SUPER_MAGIC:
    case CEPH_SUPER_MAGIC: case AFS_SUPER_MAGIC: case AFS_FS_MAGIC: case CODA_SUPER_MAGIC:
    case V9FS_MAGIC: case FUSE_SUPER_MAGIC:
    case 0x0BD00BD0:  // Lustre
    case 0x47504653:  // GPFS
      return fdatasync(fd) == 0;
    default:
      return true;
  }
}

bool reploverwrite(int fd, off_t n, bool (*fill)(int fd, off_t n, const void* arg), const void* arg) {
  struct stat sb;
  if (fstat(fd, &sb) != 0) return false;
  if (n > 0 && fallocate(fd, 0, 0, n) != 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
    cutback(fd, sb.st_size);
    return false;
  }
  if (lseek(fd, 0, SEEK_SET) == 0 && fill(fd, n, arg) && ftruncate(fd, n) == 0 && replsettled(fd)) return true;
  // The older bytes are partly gone: no torn file is left.
  cutback(fd, 0);
  return false;
}

bool replcopy(int from, int to) {
  struct stat src;
  if (fstat(from, &src) != 0 || lseek(from, 0, SEEK_SET) != 0) return false;
  auto copy = [](int fd, off_t n, const void* arg) {
    const int source = *static_cast<const int*>(arg);
    char buf[8192];
    for (off_t left = n; left > 0;) {
      ssize_t k = read(source, buf, sizeof buf < static_cast<size_t>(left) ? sizeof buf : static_cast<size_t>(left));
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0 || !writeall(fd, buf, static_cast<size_t>(k))) {
        if (k == 0) errno = EIO;  // shorter than it was
        return false;
      }
      left -= k;
    }
    return true;
  };
  return reploverwrite(to, src.st_size, copy, &from);
}

int replstatname(int dir, const char* leaf, struct stat* st) {
  // The rename lasts as long as its writer is left to run: it is let run,
  // at once and then a millisecond at a time, a tenth of a second at most.
  for (int tries = 0; tries < 200; tries++) {
    if (fstatat(dir, leaf, st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
    if (st->st_nlink != 0) break;
    if (tries < 100) {
      sched_yield();
    } else {
      struct timespec ms = {0, 1000000L};
      nanosleep(&ms, nullptr);
    }
  }
  return 0;
}

int replwhere(int fd, int dir, const char* leaf) {
  struct stat a, b;
  if (fstat(fd, &a) != 0) return REPL_LOOKFAILED;
  if (replstatname(dir, leaf, &b) != 0) {
    if (errno != ENOENT) return REPL_LOOKFAILED;
    // In a folder that was itself removed every name is gone: that says
    // nothing of what became of the file.
    struct stat d;
    return fstat(dir, &d) == 0 && d.st_nlink > 0 ? REPL_NONE : REPL_LOOKFAILED;
  }
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino ? REPL_STILL : REPL_OTHER;
}

bool replstill(int fd, int dir, const char* leaf) { return replwhere(fd, dir, leaf) == REPL_STILL; }

void replunlink(int fd, int dir, const char* leaf) {
  if (fd < 0 || replstill(fd, dir, leaf)) unlinkat(dir, leaf, 0);
}

void replwith(const replsig& s, const char* with, char* why, size_t n) {
  why[0] = '\0';
  add(why, n, "The new file stays as ");
  replfolder(why, n, s.dir);
  addname(why, n, s.part);
  add(why, n, ": it goes with ");
  addname(why, n, with);
  add(why, n, "\n");
}

bool replput(const replsig& s, char* why, size_t n) {
  if (s.marked && s.fd >= 0) (void)fremovexattr(s.fd, kPartWriting);
  if (s.fd >= 0) {
    int at = replwhere(s.fd, s.dir, s.part);
    if (at == REPL_LOOKFAILED) return kept(s, FAILED, errno, why, n);
    if (at != REPL_STILL) return kept(s, at == REPL_NONE ? MOVED : GONE, 0, why, n);
  }
  if (s.target < 0) return renamed(s, why, n);
  // The older file is written only while it is still at the name, and the
  // part goes only once the copy is whole there: an older file removed or
  // replaced meanwhile leaves the name to be judged as at a rename, and
  // the part whole until then.
  if (replwhere(s.target, s.dir, s.leaf) != REPL_STILL) return renamed(s, why, n);
  // Write permission is judged now, as at a rename: one its owner took away
  // meanwhile leaves the older file as it is, though it was opened before.
  if (faccessat(s.dir, s.leaf, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? renamed(s, why, n) : kept(s, READONLY, 0, why, n);
  if (!replcopy(s.fd, s.target)) return kept(s, FAILED, errno, why, n);
  if (replwhere(s.target, s.dir, s.leaf) != REPL_STILL) return renamed(s, why, n);
  replunlink(s.fd, s.dir, s.part);
  return true;
}

namespace {

// The length of the character of UTF-8 text that begins at p, a printable
// one beyond ASCII: 2 to 4 bytes; 0 where none begins there (a byte that
// is no UTF-8, an overlong or cut form, a surrogate, a C1 control).  Reads
// no further than the first byte that does not continue the character.
size_t utf8printable(const unsigned char* p) {
  const unsigned c = p[0];
  const size_t n = c >= 0xf5 ? 0 : c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
  for (size_t i = 1; i < n; i++)
    if ((p[i] & 0xc0) != 0x80) return 0;
  if (n == 0 || (c == 0xc2 && p[1] < 0xa0) || (c == 0xe0 && p[1] < 0xa0) || (c == 0xed && p[1] >= 0xa0) ||
      (c == 0xf0 && p[1] < 0x90) || (c == 0xf4 && p[1] >= 0x90))
    return 0;
  return n;
}

}  // namespace

size_t replshown(char* buf, size_t n, const char* name) {
  static const char hex[] = "0123456789abcdef";
  size_t at = 0;
  if (n == 0) return 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p;) {
    char esc[5] = {};
    const size_t len = *p >= 0x80 ? utf8printable(p) : *p >= 0x20 && *p != 0x7f;
    if (len > 0) {
      memcpy(esc, p, len);
      p += len;
    } else {
      esc[0] = '\\';
      if (*p >= '\a' && *p <= '\r') {
        esc[1] = "abtnvfr"[*p - '\a'];
      } else {
        esc[1] = 'x', esc[2] = hex[*p >> 4], esc[3] = hex[*p & 15];
      }
      p++;
    }
    const size_t k = strlen(esc);
    if (at + k >= n) break;
    memcpy(buf + at, esc, k);
    at += k;
  }
  buf[at] = '\0';
  return at;
}

std::string replshownname(const std::string& name) {
  std::string shown(4 * name.size() + 1, '\0');
  shown.resize(replshown(&shown[0], shown.size(), name.c_str()));
  return shown;
}
