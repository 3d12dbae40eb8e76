// Descriptors a library opens, made close-on-exec.
#include "base/libfds.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr int kWindow = libfds_closed_on_exec::kWindow;
using window = std::bitset<kWindow>;

// Which of the numbers from first are open, in one call: poll marks each
// number that is not open POLLNVAL.  (A descriptor opened O_PATH looks
// closed to poll; it is close-on-exec already and is looked at the same
// way before and after.)  False when poll cannot look at them all (a
// descriptor limit below the window's end).
bool polled(int first, window* open) {
  struct pollfd p[kWindow];
  for (int k = 0; k < kWindow; k++) p[k] = {first + k, 0, 0};
  int r;
  do {
    r = poll(p, kWindow, 0);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return false;
  for (int k = 0; k < kWindow; k++) (*open)[static_cast<size_t>(k)] = (p[k].revents & POLLNVAL) == 0;
  return true;
}

// The same one number at a time, where poll cannot look (a descriptor
// limit below the window's end).
void probed(int first, window* open) {
  for (int k = 0; k < kWindow; k++) (*open)[static_cast<size_t>(k)] = fcntl(first + k, F_GETFD) != -1;
}

// close_range's close-on-exec mode needs Linux 5.11; an older kernel
// refuses it once, and is asked no more.
bool& range_refused() {
  static bool refused = false;
  return refused;
}

bool cloexec_range(int first, int last) {
  if (range_refused()) return false;
  if (close_range(static_cast<unsigned>(first), static_cast<unsigned>(last), CLOSE_RANGE_CLOEXEC) == 0)
    return true;
  range_refused() = errno == EINVAL || errno == ENOSYS;
  return false;
}

}  // namespace

void libfds_closed_on_exec::look(int first, window* open) {
  if (!probed_ && !polled(first, open)) probed_ = true;
  if (probed_) probed(first, open);
}

libfds_closed_on_exec::libfds_closed_on_exec() {
  // Windows from 3 up until one has a free number.
  for (;; first_ += kWindow) {
    look(first_, &before_);
    if (!before_.all()) break;
  }
  lo_ = first_;
  while (before_[static_cast<size_t>(lo_ - first_)]) lo_++;
}

libfds_closed_on_exec::~libfds_closed_on_exec() {
  // Where nothing above the lowest free number was open, everything above
  // it is the library's: one call makes it all close-on-exec.
  bool above = false;
  for (int k = lo_ - first_; k < kWindow && !above; k++) above = before_[static_cast<size_t>(k)];
  if (!above && cloexec_range(lo_, first_ + kWindow - 1)) return;
  // Else the window is looked at again, and each new one marked.
  window now;
  look(first_, &now);
  for (int k = lo_ - first_; k < kWindow; k++)
    if (!before_[static_cast<size_t>(k)] && now[static_cast<size_t>(k)]) fcntl(first_ + k, F_SETFD, FD_CLOEXEC);
}
