// The helper process that opens and reads self-describing files for the
// program.
//
// Damaged files can make the netCDF, HDF5 or HDF4 library crash while it
// opens, inquires, reads or closes them (a stack smash in HDF4's open or in
// its run-length decoder, a wild read in its Huffman decoder, a division by
// zero in its chunk table, a damaged chunk index of HDF5, double frees), or
// grow without end on a damaged compression header.  Every call of those
// libraries on a file the user named is therefore made by a helper process
// (sdfserve.cpp): it opens the file, keeps it open, hands its description
// back and reads its data into a block of memory it shares with the
// program (sdfblock.h).  When the helper dies on a file the open, or the
// display, fails and the program goes on with its defined variables and
// open output intact.  The program itself reads only what it parses and
// checks itself: float runs of a classic netCDF file, by pread against
// the file's size (sdfclassic.cpp).
//
// The member files of a template series are read for their times alone:
// the helper opens each once and hands back its times, and the program
// opens none of them while the series opens.
//
// The helper may grow by as much as the largest grid the program accepts
// (omgcap, at most a quarter of the machine's memory), and each request
// by what it asks for (sdfserve.cpp); an open may take a limited time,
// and a read that time and a second more for every megabyte of the file
// and of the slab; and an interrupt typed at the terminal ends any wait
// for it.  A helper on which a library failed a read, or the HDF libraries
// an open, is ended, and the next request starts a fresh one, which opens
// again the files it reads.
//
// The helper is started once and kept (sdfspawn.cpp starts it as a fresh
// run of the program's executable, holding none of the program's memory,
// or where that cannot run as a fork of the program).  It ends when the
// program does: ended and reaped at the program's exit and at the signal
// endings, and killed by the system when the program ends any other way,
// even while it is busy with a file; killed from outside, it is reaped at
// the next prompt or by the next request, which starts a new one.
#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/children.h"
#include "base/cmnstate.h"
#include "base/ending.h"
#include "base/outflush.h"
#include "data/gridres.h"
#include "sdf/sdfblock.h"
#include "sdf/sdfint.h"
#include "sdf/sdfproto.h"

namespace {

struct probehelper {
  pid_t pid = -1;
  int fd = -1;
  bool execd = false;   // the program's own file run again, not a fork
  std::string failure;  // why the last start failed
};

probehelper& helper() {
  static probehelper h;
  return h;
}

// The record is the helper's for requests; its process is held by the
// program's slot for it (base/children.h), through which alone it is
// signalled, waited for and reaped.
void set_helper(const probehelper& h) { helper() = h; }

// Failures of a start told the user, and whether the program's own file
// failed to serve as the helper (it is not run again this session).
struct startnotes {
  std::string told;
  bool exec_fails = false;
};

startnotes& notes() {
  static startnotes n;
  return n;
}

struct helperlimits {
  int open_seconds = 30;
  size_t mem_bytes = 0;  // 0: the grid limit
};

helperlimits& limits() {
  static helperlimits l;
  return l;
}

// The seconds a helper may take to be ready for requests (apart from the
// time an open may take; an interrupt ends the wait sooner).
constexpr int kStartSeconds = 30;

std::string request(char op, const char* name) {
  std::string s(1, op);
  put(&s, static_cast<uint32_t>(std::strlen(name)));
  s.append(name);
  return s;
}

enum { WAIT_OK = 1, WAIT_ENDED = 0, WAIT_NOHELPER = -1, WAIT_TIMEOUT = -2, WAIT_INTERRUPTED = -3 };

int await(int fd, void* buf, size_t n, int seconds);

// Ends the helper: killed (nothing to a helper that has ended already),
// its socket closed, and reaped.  A helper this process did not start (a
// fork of the program holds a copy of the record) is only let go.  Its
// wait status.
int end_helper() {
  probehelper h = helper();
  if (h.pid < 0) return 0;
  childsignal(CHILD_HELPER, SIGKILL);
  close(h.fd);
  // Waited for, then reaped: an ending that comes meanwhile finds it held
  // and reaps it itself.
  int status = 0;
  childreap(CHILD_HELPER, &status);
  set_helper(probehelper{});
  return status;
}

// Makes a started helper the running one.  Called by the spawn with every
// signal still blocked: an ending that comes as the helper starts finds it
// once it is let through.
void record_helper(pid_t pid, int fd, bool execd) {
  probehelper h;
  h.pid = pid;
  h.fd = fd;
  h.execd = execd;
  childhold(CHILD_HELPER, {pid, false});
  set_helper(h);
}

// Starts a helper and waits until it is ready: WAIT_OK, WAIT_INTERRUPTED,
// or WAIT_NOHELPER with helper().failure saying what failed.  The
// program's own file that ends before it is ready (it is not the program
// after all) is followed by a fork, here and for the rest of the session.
int start_helper() {
  const size_t mem = limits().mem_bytes != 0 ? limits().mem_bytes : omgcap();
  // Every end of the session ends the helper and waits for it.  Its record
  // is made first, so that the hook of an exit runs before it is gone.
  [[maybe_unused]] static const bool registered =
      (helper(), omendpart(END_HELPER, {[](endhow) { end_helper(); }, [](endhow) { sdf_helper_end(); }}), true);
  if (block_fd() < 0) {
    helper().failure = std::string("cannot make its shared block: ") + std::strerror(errno);
    return WAIT_NOHELPER;
  }
  for (;;) {
    std::string why;
    // A forked helper starts with a copy of what output holds: none.
    omoutflush();
    std::fflush(stderr);
    if (!spawn_helper(mem, block_fd(), !notes().exec_fails, record_helper, &why)) {
      helper().failure = why;
      return WAIT_NOHELPER;
    }
    const probehelper h = helper();
    char ready = 0;
    const int r = await(h.fd, &ready, 1, kStartSeconds);
    if (r == WAIT_OK && ready == kReady) {
      notes().told.clear();  // a later failure is news again
      return WAIT_OK;
    }
    // Killed if still there; else how it ended tells why.
    const int status = end_helper();
    if (r == WAIT_INTERRUPTED) return r;
    if (r == WAIT_ENDED && h.execd && !notes().exec_fails) {
      notes().exec_fails = true;
      continue;
    }
    helper().failure = r == WAIT_TIMEOUT ? "it was not ready within " + std::to_string(kStartSeconds) + " seconds"
                                         : ended_how(status);
    return WAIT_NOHELPER;
  }
}

double now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Reads n bytes of the helper's answer, watching the interrupt flag and a
// time limit (seconds; 0 none) while it works.
int await(int fd, void* buf, size_t n, int seconds) {
  const double deadline = seconds > 0 ? now() + seconds : 0;
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    if (omqsig()) return WAIT_INTERRUPTED;
    int slice = 100;
    if (seconds > 0) {
      double left = deadline - now();
      if (left <= 0) return WAIT_TIMEOUT;
      if (left * 1000 < slice) slice = static_cast<int>(left * 1000) + 1;
    }
    struct pollfd pf = {fd, POLLIN, 0};
    int r = poll(&pf, 1, slice);
    if (r < 0 && errno != EINTR) return WAIT_ENDED;
    if (r <= 0) continue;
    ssize_t got = ::read(fd, p, n);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return WAIT_ENDED;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return WAIT_OK;
}

// Sends a request and reads the answer's first n bytes: WAIT_OK, or the
// helper is gone (ended, or ended here after a time limit or interrupt);
// WAIT_NOHELPER when none can be started.
int exchange(const std::string& req, void* first, size_t n, int seconds) {
  if (helper().fd < 0) {
    int r = start_helper();
    if (r != WAIT_OK) return r;
  }
  if (!sendall(helper().fd, req.data(), req.size())) {
    end_helper();
    return WAIT_ENDED;
  }
  int r = await(helper().fd, first, n, seconds);
  if (r != WAIT_OK) end_helper();
  return r;
}

// After the HDF libraries failed on a file the helper is ended: a damaged
// file can make them write past their buffers without crashing, and a
// helper serving on such a heap fails later files, or answers for them
// falsely.  The next request starts a fresh one.
void end_after_hdf_failure(const char* name) {
  if (is_hdf4_file(name) || is_hdf5_file(name)) end_helper();
}

int to_answer(int wait_rc) {
  switch (wait_rc) {
    case WAIT_TIMEOUT: return HELPER_TIMEOUT;
    case WAIT_INTERRUPTED: return HELPER_INTERRUPTED;
    case WAIT_NOHELPER: return HELPER_NONE;
    default: return HELPER_DIED;
  }
}

}  // namespace

int helper_describe(const char* name, io_std* io) {
  if (std::strlen(name) == 0 || std::strlen(name) > kMaxName) return HELPER_NOFILE;
  const std::string req = request(OP_DESCRIBE, name);
  const int secs = limits().open_seconds;
  // A helper that died may have been left damaged by an earlier file; a
  // fresh one must die on this file too before it is refused.
  for (int attempt = 0; attempt < 2; attempt++) {
    char kind = 0;
    int r = exchange(req, &kind, 1, secs);
    if (r == WAIT_ENDED) continue;
    if (r != WAIT_OK) return to_answer(r);
    if (kind != HELPER_HELD) {
      end_after_hdf_failure(name);
      return kind;
    }
    uint32_t len = 0;
    std::string desc;
    r = await(helper().fd, &len, sizeof len, secs);
    if (r == WAIT_OK && len > omgcap()) r = WAIT_ENDED;  // no description is that long
    if (r == WAIT_OK) {
      try {
        desc.resize(len);
      } catch (const std::bad_alloc&) {
        r = WAIT_ENDED;
      }
    }
    if (r == WAIT_OK && len > 0) r = await(helper().fd, &desc[0], len, secs);
    if (r != WAIT_OK) {
      end_helper();
      if (r == WAIT_ENDED) continue;
      return to_answer(r);
    }
    if (unpack_description(desc, io)) return HELPER_HELD;
    end_helper();  // what it sent is no description: it is not to be trusted
    return HELPER_NODESC;
  }
  return HELPER_DIED;
}

namespace {

// The rest of a times answer (after its kind) into what was said and the
// times, no more than most of them; WAIT_ENDED for an answer that cannot
// be one.
int await_times(size_t most, std::vector<datetime>* times, std::string* said, int secs) {
  uint32_t len = 0, saidlen = 0;
  int r = await(helper().fd, &len, sizeof len, secs);
  if (r != WAIT_OK) return r;
  if (len < sizeof saidlen || len > sizeof saidlen + kMostSaid + most * kTimeBytes) return WAIT_ENDED;
  std::string rest;
  try {
    rest.resize(len);
  } catch (const std::bad_alloc&) {
    return WAIT_ENDED;
  }
  r = await(helper().fd, &rest[0], len, secs);
  if (r != WAIT_OK) return r;
  std::memcpy(&saidlen, rest.data(), sizeof saidlen);
  const size_t fields = len - sizeof saidlen;
  if (saidlen > kMostSaid || saidlen > fields || (fields - saidlen) % kTimeBytes != 0) return WAIT_ENDED;
  said->assign(rest, sizeof saidlen, saidlen);
  for (size_t at = sizeof saidlen + saidlen; at < len; at += kTimeBytes) {
    int32_t f[5];
    std::memcpy(f, rest.data() + at, sizeof f);
    times->push_back(datetime{f[0], f[1], f[2], f[3], f[4]});
  }
  return WAIT_OK;
}

}  // namespace

int helper_times(const char* name, size_t most, std::vector<datetime>* times, std::string* said) {
  if (std::strlen(name) == 0 || std::strlen(name) > kMaxName || most > UINT32_MAX) return HELPER_NOFILE;
  std::string req = request(OP_TIMES, name);
  put(&req, static_cast<uint32_t>(most));
  put(&req, static_cast<uint32_t>(mfcmn.mfcal));
  const int secs = limits().open_seconds;
  for (int attempt = 0; attempt < 2; attempt++) {
    times->clear();
    said->clear();
    char kind = 0;
    int r = exchange(req, &kind, 1, secs);
    if (r == WAIT_ENDED) continue;
    if (r != WAIT_OK) return to_answer(r);
    if (kind != HELPER_TIMES) {
      if (kind != HELPER_NETCDF) end_after_hdf_failure(name);
      return kind;
    }
    r = await_times(most, times, said, secs);
    if (r == WAIT_OK) return HELPER_TIMES;
    end_helper();
    if (r != WAIT_ENDED) return to_answer(r);
  }
  times->clear();
  said->clear();
  return HELPER_DIED;
}

int helper_read(const char* name, int varid, const std::vector<size_t>& start, const std::vector<size_t>& count,
                size_t nbytes, bool bounded, size_t stored, const void** at) {
  if (std::strlen(name) == 0 || std::strlen(name) > kMaxName || start.size() != count.size() ||
      start.size() > SDF_MAX_DIMS || nbytes == 0)
    return 0;
  const unsigned char* block = block_reserve(nbytes);
  if (block == nullptr) return 0;
  std::string req = request(OP_READ, name);
  put(&req, static_cast<int32_t>(varid));
  put(&req, static_cast<uint32_t>(start.size()));
  for (size_t s : start) put(&req, static_cast<uint64_t>(s));
  for (size_t c : count) put(&req, static_cast<uint64_t>(c));
  put(&req, static_cast<uint64_t>(nbytes));
  put(&req, static_cast<uint64_t>(block_size()));
  put(&req, static_cast<uint8_t>(bounded ? READ_BOUNDED : 0));
  // No real read comes near this: the open's limit, and a second more for
  // every megabyte of the file (which bounds the stored bytes the library
  // decodes to reach the slab) and of the slab.  A helper spinning in a
  // damaged decoder, or stopped, then ends instead of holding the display
  // for good; Ctrl-C ends the wait at once.
  const size_t secs = static_cast<size_t>(limits().open_seconds) + (stored >> 20) + (nbytes >> 20);
  const int limit = secs > INT_MAX ? INT_MAX : static_cast<int>(secs);
  for (int attempt = 0; attempt < 2; attempt++) {
    char ok = 0;
    int r = exchange(req, &ok, 1, limit);
    if (r == WAIT_ENDED) continue;
    if (r != WAIT_OK) return to_answer(r);
    if (ok == 0) {
      end_helper();  // the library failed on the file: see end_after_hdf_failure
      return 0;
    }
    *at = block;
    return 1;
  }
  return HELPER_DIED;
}

void helper_close(const char* name) {
  // No helper is started only to close a file it does not have.
  if (helper().fd < 0 || std::strlen(name) == 0 || std::strlen(name) > kMaxName) return;
  char done = 0;
  exchange(request(OP_CLOSE, name), &done, 1, limits().open_seconds);
}

void helper_set_limits(int open_seconds, size_t mem_bytes) {
  limits().open_seconds = open_seconds;
  limits().mem_bytes = mem_bytes;
  end_helper();  // the next helper takes them
}

int helper_pid() { return helper().pid; }

bool helper_execd() { return helper().pid > 0 && helper().execd; }

const std::string& helper_failure() { return helper().failure; }

bool helper_failure_untold() {
  if (notes().told == helper().failure) return false;
  notes().told = helper().failure;
  return true;
}

void sdf_helper_reap() {
  if (helper().pid >= 0 && childended(CHILD_HELPER, false)) end_helper();
}

void sdf_helper_end() { childend(CHILD_HELPER); }
