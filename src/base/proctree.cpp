// Ending a process together with every process started under it.
#include "base/proctree.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace {

// The processes found so far, in the order they are sent the signal.  One
// ending walks at a time; a tree larger than this is ended in part.
constexpr size_t kMost = 4096;
pid_t found[kMost];
size_t nfound = 0;

void add(long pid) {
  if (pid > 0 && nfound < kMost) found[nfound++] = static_cast<pid_t>(pid);
}

// Writes text, or the number, at p (the formatted output functions are no
// handler's to call); the end of what was written.
char* put(char* p, const char* text) {
  while (*text) *p++ = *text++;
  return p;
}
char* put(char* p, long number) {
  char digits[24];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + number % 10);
  } while ((number /= 10) > 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

// Adds the processes that a children file of /proc lists (numbers each
// followed by a blank).
void addlisted(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  char buf[512];
  long number = -1;  // the number being read, perhaps over two reads
  ssize_t got;
  while ((got = read(fd, buf, sizeof buf)) > 0 || (got < 0 && errno == EINTR)) {
    for (ssize_t k = 0; k < got; k++) {
      if (buf[k] >= '0' && buf[k] <= '9') {
        number = (number < 0 ? 0 : number * 10) + (buf[k] - '0');
      } else if (number >= 0) {
        add(number);
        number = -1;
      }
    }
  }
  add(number);
  close(fd);
}

// Adds the children that every thread of process pid started.
void addchildren(pid_t pid) {
  char path[64];
  char* task = put(put(put(path, "/proc/"), static_cast<long>(pid)), "/task");
  *task = '\0';
  const int dir = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  alignas(struct dirent64) char buf[2048];
  ssize_t got;
  while ((got = getdents64(dir, buf, sizeof buf)) > 0) {
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const struct dirent64*>(buf + at);
      at += e->d_reclen;
      // A thread's number (the folder also lists . and ..).
      size_t len = 0;
      while (e->d_name[len] >= '0' && e->d_name[len] <= '9' && len < 12) len++;
      if (len == 0 || e->d_name[len] != '\0') continue;
      *put(put(put(task, "/"), e->d_name), "/children") = '\0';
      addlisted(path);
    }
  }
  close(dir);
}

}  // namespace

void signaltree(pid_t pid, int sig) {
  if (pid <= 0) return;
  const int saved = errno;
  nfound = 0;
  add(pid);
  for (size_t i = 0; i < nfound; i++) {
    addchildren(found[i]);
    kill(found[i], sig);
    kill(found[i], SIGCONT);
  }
  errno = saved;
}
