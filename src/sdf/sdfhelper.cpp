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
// The codec libraries of GRIB2 packings (OpenJPEG, libpng, libaec) are
// run here for the same reason (helper_codec): a field's code stream goes
// to the helper, its integers come back in the shared block.
//
// The member files of a template series are read for their times alone:
// the helper opens each once and hands back its times, and the program
// opens none of them while the series opens.
//
// The helper may grow by as much as the largest grid the program accepts
// (omgcap, at most a quarter of the machine's memory), and each request
// by what it asks for (sdfserve.cpp); an open may take a limited time,
// and a read as long as the helper gets on with it (it reads the file or
// its memory changes) and that time more once it does not; and an
// interrupt typed at the terminal ends any wait for it.  A helper on which
// a library failed a read, or the HDF libraries an open, is ended, and
// the next request starts a fresh one, which opens again the files it
// reads.  A helper that dies is tried again once, fresh: dead on the same
// file twice by a fault of its own (or an exit of the library's), the
// file is damaged; ended by a signal from outside (a kill, the system's
// end of memory), the file is not blamed, and the signal is said.
//
// The helper is started once and kept (sdfspawn.cpp starts it as a fresh
// run of the program's executable, holding none of the program's memory,
// or where that cannot run as a fork of the program).  It ends when the
// program does: ended and reaped at the program's exit and at the signal
// endings, and killed by the system when the program ends any other way,
// even while it is busy with a file; killed from outside, it is reaped at
// the next prompt or by the next request, which starts a new one.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
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
#include <map>
#include <new>
#include <string>
#include <vector>

#include "base/children.h"
#include "base/cmnstate.h"
#include "base/ending.h"
#include "base/outflush.h"
#include "data/grib2.h"
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
  int ended = 0;        // the wait status of the last one that ended of itself
};

probehelper& helper() {
  static probehelper h;
  return h;
}

// A read sent to the helper ahead of the program's asking for it, whose
// answer is still on the socket: its request as sent, and what it asked.
struct aheadread {
  bool busy = false;
  std::string req;
  slabread r;
  size_t at = 0;  // where in the block it goes
};

aheadread& pending() {
  static aheadread p;
  return p;
}

// The values of a read made without the shared block (READ_INLINE).
std::vector<unsigned char>& inline_values() {
  static std::vector<unsigned char> v;
  return v;
}

// Where in the shared block the values handed out last lie (0, or the
// second half's offset).
size_t& given_at() {
  static size_t at = 0;
  return at;
}

// The record is the helper's for requests; its process is held by the
// program's slot for it (base/children.h), through which alone it is
// signalled, waited for and reaped.  The status of the last one that ended
// of itself stays across starts.
void set_helper(const probehelper& h) {
  const int ended = helper().ended;
  helper() = h;
  helper().ended = ended;
}

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
// The longest a read of the helper's socket waits before the wait looks
// at the interrupt flag and the time again.
constexpr int kSliceMs = 100;

std::string request(char op, const char* name) {
  std::string s(1, op);
  put(&s, static_cast<uint32_t>(std::strlen(name)));
  s.append(name);
  return s;
}

enum {
  WAIT_OK = 1,
  WAIT_ENDED = 0,
  WAIT_NOHELPER = -1,
  WAIT_TIMEOUT = -2,
  WAIT_INTERRUPTED = -3,
  WAIT_KILLED = -4,  // it ended on a signal from outside
  WAIT_BAD = -5      // it answered what is no answer
};

int ended();

int await(int fd, void* buf, size_t n, int seconds, bool patient = false);

// Ends the helper: killed (nothing to a helper that has ended already),
// its socket closed, and reaped.  A helper this process did not start (a
// fork of the program holds a copy of the record) is only let go.  Its
// wait status.
int end_helper() {
  probehelper h = helper();
  pending().busy = false;  // what was asked of it is not answered
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

// The signals a process raises on itself when its code goes wrong (a bad
// address, a failed assertion, a division by zero...): a helper ended by
// one of them failed on its file.
bool raised_by_itself(int sig) {
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGABRT || sig == SIGSYS ||
         sig == SIGTRAP;
}

// A helper whose socket closed (it ended, or closed it): reaped, and how
// it ended kept.  WAIT_KILLED where a signal from outside ended it, else
// WAIT_ENDED.
int ended() {
  const int status = end_helper();
  helper().ended = status;
  return WIFSIGNALED(status) && !raised_by_itself(WTERMSIG(status)) ? WAIT_KILLED : WAIT_ENDED;
}

// Makes a started helper the running one.  Called by the spawn with every
// signal still blocked: an ending that comes as the helper starts finds it
// once it is let through.
void record_helper(pid_t pid, int fd, bool execd) {
  const struct timeval slice = {0, kSliceMs * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
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
  // Without a block (memory files refused) the helper still starts: its
  // reads' values then come on the socket.
  block_fd();
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

// How far a helper has got, as it shows from outside: the bytes it has
// read and the pages it holds (a decoder at work reads its file or fills
// memory; one stopped, blocked or spinning in a loop does neither), from
// /proc; where /proc cannot be read, its processor time.
struct progress {
  unsigned long long read = 0, pages = 0;
  bool operator==(const progress& o) const { return read == o.read && pages == o.pages; }
};

// The text of /proc/PID/WHAT into buf; false where it cannot be read.
bool proc_text(pid_t pid, const char* what, char* buf, size_t size) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), what);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  const ssize_t n = fd >= 0 ? ::read(fd, buf, size - 1) : -1;
  if (fd >= 0) close(fd);
  buf[n > 0 ? n : 0] = '\0';
  return n > 0;
}

progress progress_of(pid_t pid) {
  progress p;
  char buf[512];
  if (proc_text(pid, "io", buf, sizeof buf)) {
    std::sscanf(buf, "rchar: %llu", &p.read);
    unsigned long long size = 0;
    if (proc_text(pid, "statm", buf, sizeof buf)) std::sscanf(buf, "%llu %llu", &size, &p.pages);
    return p;
  }
  clockid_t clock;
  struct timespec ts;
  if (clock_getcpuclockid(pid, &clock) == 0 && clock_gettime(clock, &ts) == 0)
    p.read = static_cast<unsigned long long>(ts.tv_sec) * 1000000000ULL + static_cast<unsigned long long>(ts.tv_nsec);
  return p;
}

// Reads n bytes of the helper's answer, watching the interrupt flag and a
// time limit (seconds; 0 none) while it works.  The socket's reads wait
// a slice at most (kSliceMs, set where the helper starts), so that an
// answer that is there costs one call.  A patient wait (a read) counts the
// limit from the last time the helper was seen getting on: once it has
// waited a slice, it looks at the helper's progress every second (a read
// that answers within a slice costs no look), and it ends the limit after
// a look that found it no further than the one before.
int await(int fd, void* buf, size_t n, int seconds, bool patient) {
  const double start = now();
  double last = start, look = 0;
  progress seen;
  bool waited = false, looked = false;
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    if (omqsig()) return WAIT_INTERRUPTED;
    if (seconds > 0) {
      const double t = now();
      if (patient && waited && t >= look) {
        const progress got = progress_of(helper().pid);
        if (!looked || !(got == seen)) last = t;
        seen = got;
        looked = true;
        look = t + 1;
      }
      if ((looked || !patient) && t - last >= seconds) return WAIT_TIMEOUT;
    }
    const ssize_t got = ::read(fd, p, n);
    // A slice gone by (EAGAIN, which is EWOULDBLOCK here), or a signal.
    if (got < 0 && errno == EAGAIN) waited = true;
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return WAIT_ENDED;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return WAIT_OK;
}

// Sends n bytes to the helper as it takes them: a helper that takes none
// for the time limit (seconds; 0 none), or an interrupt, ends the wait, as
// a wait for an answer ends.  WAIT_OK, WAIT_ENDED (its end is closed),
// WAIT_TIMEOUT or WAIT_INTERRUPTED.
int send_watched(int fd, const void* buf, size_t n, int seconds) {
  const char* p = static_cast<const char*>(buf);
  double last = now();
  while (n > 0) {
    const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (r > 0) {
      p += r;
      n -= static_cast<size_t>(r);
      last = now();
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r == 0 || errno != EAGAIN) return WAIT_ENDED;
    if (omqsig()) return WAIT_INTERRUPTED;
    if (seconds > 0 && now() - last >= seconds) return WAIT_TIMEOUT;
    struct pollfd pf = {fd, POLLOUT, 0};
    poll(&pf, 1, kSliceMs);
  }
  return WAIT_OK;
}

// Sends a request, with the bytes of tail after it (a code stream, which
// the helper may take a while to take), and reads the answer's first n
// bytes: WAIT_OK, or the helper is gone (ended, or ended here after a time
// limit or interrupt); WAIT_NOHELPER when none can be started.  The answer
// of a read made ahead is set aside first: an open after a time loop would
// otherwise take it for its own.
int exchange(const std::string& req, void* first, size_t n, int seconds, bool patient = false,
             const void* tail = nullptr, size_t tailn = 0) {
  helper_settle();
  if (helper().fd < 0) {
    int r = start_helper();
    if (r != WAIT_OK) return r;
  }
  if (!sendall(helper().fd, req.data(), req.size())) return ended();
  if (tailn > 0) {
    const int s = send_watched(helper().fd, tail, tailn, seconds);
    if (s == WAIT_ENDED) return ended();
    if (s != WAIT_OK) {
      end_helper();
      return s;
    }
  }
  const int r = await(helper().fd, first, n, seconds, patient);
  if (r == WAIT_ENDED) return ended();
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
    case WAIT_KILLED: return HELPER_KILLED;
    default: return HELPER_DIED;  // ended, or answered what no helper that works does
  }
}

// Whether a request whose helper ended is made again: once, on a fresh
// helper.
bool try_again(int wait_rc, int attempt) {
  return (wait_rc == WAIT_ENDED || wait_rc == WAIT_KILLED || wait_rc == WAIT_BAD) && attempt == 0;
}

// The rest of an answer whose length comes first, no longer than most;
// WAIT_BAD for one that cannot be that long.
int await_sized(std::string* out, size_t most, int secs) {
  uint32_t len = 0;
  int r = await(helper().fd, &len, sizeof len, secs);
  if (r == WAIT_OK && len > most) r = WAIT_BAD;
  if (r == WAIT_OK) {
    try {
      out->resize(len);
    } catch (const std::bad_alloc&) {
      r = WAIT_BAD;
    }
  }
  if (r == WAIT_OK && len > 0) r = await(helper().fd, &(*out)[0], len, secs);
  return r;
}

// The coordinates' values that follow a description: by variable id.
// False for bytes that do not make them.
bool unpack_coords(const std::string& b, std::map<int, std::string>* coords) {
  size_t at = sizeof(uint32_t);
  uint32_t n = 0;
  if (b.size() < at) return false;
  std::memcpy(&n, b.data(), sizeof n);
  for (uint32_t k = 0; k < n; k++) {
    int32_t id = 0;
    uint32_t len = 0;
    if (b.size() - at < sizeof id + sizeof len) return false;
    std::memcpy(&id, b.data() + at, sizeof id);
    std::memcpy(&len, b.data() + at + sizeof id, sizeof len);
    at += sizeof id + sizeof len;
    if (b.size() - at < len) return false;
    (*coords)[id] = b.substr(at, len);
    at += len;
  }
  return at == b.size();
}

}  // namespace

int helper_describe(const char* name, io_std* io, std::map<int, std::string>* coords) {
  coords->clear();
  if (std::strlen(name) == 0 || std::strlen(name) > kMaxName) return HELPER_NOFILE;
  const std::string req = request(OP_DESCRIBE, name);
  const int secs = limits().open_seconds;
  // A helper that died may have been left damaged by an earlier file; a
  // fresh one must die on this file too before it is refused.
  for (int attempt = 0;; attempt++) {
    char kind = 0;
    int r = exchange(req, &kind, 1, secs);
    if (try_again(r, attempt)) continue;
    if (r != WAIT_OK) return to_answer(r);
    if (kind != HELPER_NOFILE && kind != HELPER_NODESC && kind != HELPER_NOMEM && kind != HELPER_HELD) {
      end_helper();  // an answer no helper that works gives
      return HELPER_NODESC;
    }
    if (kind != HELPER_HELD) {
      end_after_hdf_failure(name);
      return kind;
    }
    std::string desc;
    r = await_sized(&desc, omgcap(), secs);  // no description is that long
    if (r == WAIT_ENDED) r = ended();
    if (r != WAIT_OK) {
      end_helper();
      if (try_again(r, attempt)) continue;
      return to_answer(r);
    }
    if (!unpack_description(desc, io)) {
      end_helper();  // what it sent is no description: it is not to be trusted
      return HELPER_NODESC;
    }
    // The coordinates' values follow.  A helper that fails on them has
    // described the file all the same: the open reads them as any read.
    std::string values;
    r = await_sized(&values, omgcap(), secs);
    if (r != WAIT_OK || !unpack_coords(values, coords)) {
      coords->clear();
      end_helper();
    }
    return HELPER_HELD;
  }
}

namespace {

// The rest of a times answer (after its kind) into what was said and the
// times, no more than most of them; WAIT_BAD for an answer that cannot
// be one.
int await_times(size_t most, std::vector<datetime>* times, std::string* said, int secs) {
  uint32_t len = 0, saidlen = 0;
  int r = await(helper().fd, &len, sizeof len, secs);
  if (r != WAIT_OK) return r;
  if (len < sizeof saidlen || len > sizeof saidlen + kMostSaid + most * kTimeBytes) return WAIT_BAD;
  std::string rest;
  try {
    rest.resize(len);
  } catch (const std::bad_alloc&) {
    return WAIT_BAD;
  }
  r = await(helper().fd, &rest[0], len, secs);
  if (r != WAIT_OK) return r;
  std::memcpy(&saidlen, rest.data(), sizeof saidlen);
  const size_t fields = len - sizeof saidlen;
  if (saidlen > kMostSaid || saidlen > fields || (fields - saidlen) % kTimeBytes != 0) return WAIT_BAD;
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
  for (int attempt = 0;; attempt++) {
    times->clear();
    said->clear();
    char kind = 0;
    int r = exchange(req, &kind, 1, secs);
    if (try_again(r, attempt)) continue;
    if (r != WAIT_OK) return to_answer(r);
    if (kind != HELPER_TIMES) {
      if (kind != HELPER_NETCDF) end_after_hdf_failure(name);
      return kind;
    }
    r = await_times(most, times, said, secs);
    if (r == WAIT_OK) return HELPER_TIMES;
    if (r == WAIT_ENDED) r = ended();
    end_helper();
    times->clear();
    said->clear();
    if (!try_again(r, attempt)) return to_answer(r);
  }
}

namespace {

// The bytes of the block's half where reads made ahead go: a whole number
// of pages past the slab and its steps.
size_t half_of(const slabread& r) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t n = r.nbytes * r.steps_ahead;
  return n > SIZE_MAX - page ? 0 : (n + page - 1) / page * page;
}

bool readable(const slabread& r) {
  return !r.name.empty() && r.name.size() <= kMaxName && r.start.size() == r.count.size() &&
         r.start.size() <= SDF_MAX_DIMS && r.nbytes != 0 && r.places_ahead != 0 && r.steps_ahead != 0 &&
         r.nbytes <= SIZE_MAX / 2 / r.steps_ahead;
}

// The request of a read whose values go at byte at of the block.
std::string read_request(const slabread& r, size_t at) {
  std::string req = request(OP_READ, r.name.c_str());
  put(&req, static_cast<int32_t>(r.varid));
  put(&req, static_cast<uint32_t>(r.start.size()));
  for (size_t s : r.start) put(&req, static_cast<uint64_t>(s));
  for (size_t c : r.count) put(&req, static_cast<uint64_t>(c));
  put(&req, static_cast<uint64_t>(r.nbytes));
  put(&req, static_cast<uint64_t>(block_size()));
  put(&req, static_cast<uint64_t>(at));
  put(&req, static_cast<uint8_t>(r.flags));
  put(&req, r.places_ahead);
  put(&req, r.steps_ahead);
  put(&req, static_cast<uint64_t>(r.opened.size > 0 ? r.opened.size : 0));
  put(&req, r.opened.dev);
  put(&req, r.opened.ino);
  return req;
}

// The rest of a read's answer after its first byte ok: WAIT_OK with got
// filled, or how the wait ended.
int await_read(const slabread& r, char ok, size_t at, slabgot* got) {
  // Then how many: places, or steps read into the block.
  uint32_t n = 0;
  int w = await(helper().fd, &n, sizeof n, limits().open_seconds, true);
  const bool placed = ok == READ_IN_FILE && (r.flags & READ_PLACE) != 0;
  if (w == WAIT_OK && (n == 0 || n > (placed ? r.places_ahead : r.steps_ahead) || (!placed && ok != READ_IN_BLOCK)))
    w = WAIT_BAD;  // no answer of a helper that works
  if (w == WAIT_OK && placed) {
    got->places.resize(n);
    w = await(helper().fd, got->places.data(), n * sizeof(uint64_t), limits().open_seconds, true);
  }
  if (w != WAIT_OK) return w;
  const unsigned char* block = nullptr;
  if ((r.flags & READ_INLINE) != 0 && !placed) {
    // The values follow on the socket.
    std::vector<unsigned char>& held = inline_values();
    try {
      held.resize(static_cast<size_t>(n) * r.nbytes);
    } catch (const std::bad_alloc&) {
      return WAIT_BAD;
    }
    w = await(helper().fd, held.data(), held.size(), limits().open_seconds, true);
    if (w != WAIT_OK) return w;
    block = held.data();
    at = 0;
  } else {
    block = block_reserve(0);
  }
  if (block == nullptr) return WAIT_BAD;
  got->steps = n;
  got->at = block + at;
  got->rc = placed ? READ_IN_FILE : READ_IN_BLOCK;
  return WAIT_OK;
}

// The answer of the read made ahead: WAIT_OK with got filled when it gave
// the slab, WAIT_NOSTEP when there is no such step, else how it failed
// (the helper then ended).
constexpr int WAIT_NOSTEP = -10;

int take_ahead(slabgot* got) {
  aheadread& p = pending();
  p.busy = false;
  char ok = 0;
  int w = await(helper().fd, &ok, 1, limits().open_seconds, true);
  if (w == WAIT_OK && ok == READ_NO_STEP) return WAIT_NOSTEP;
  if (w == WAIT_OK && ok == READ_FAILED) w = WAIT_BAD;
  if (w == WAIT_OK) w = await_read(p.r, ok, p.at, got);
  if (w == WAIT_ENDED) w = ended();
  if (w != WAIT_OK) end_helper();
  return w;
}

}  // namespace

void helper_settle() {
  if (!pending().busy) return;
  slabgot got;
  take_ahead(&got);
}

int helper_read(const slabread& r, slabgot* got) {
  *got = slabgot();
  if (!readable(r)) return got->rc = 0;
  aheadread& p = pending();
  if (p.busy && p.req == read_request(r, p.at)) {
    // Asked for ahead: its answer, unless the helper failed on it, when
    // the read is made again.
    const size_t at = p.at;
    if (take_ahead(got) == WAIT_OK) {
      given_at() = at;
      return got->rc;
    }
  }
  helper_settle();
  // A read that others follow ahead keeps room for the next in the
  // block's second half.  Where the block cannot be had (a hard limit on
  // the size of files, memory files refused), the values come on the
  // socket.
  const size_t half = half_of(r);
  if (half == 0) return got->rc = 0;
  slabread rr = r;
  if (block_reserve((r.flags & READ_LOOP) != 0 ? 2 * half : r.nbytes * r.steps_ahead) == nullptr) {
    rr.flags = (r.flags & ~READ_LOOP) | READ_INLINE;
    // The room the values take here, had before they are asked for: no
    // memory for them is no fault of the file.
    if (r.nbytes * r.steps_ahead > omgcap()) return got->rc = 0;
    try {
      inline_values().reserve(r.nbytes * r.steps_ahead);
    } catch (const std::bad_alloc&) {
      return got->rc = 0;
    }
  }
  const std::string req = read_request(rr, 0);
  // A helper that gets on with the read is waited for however long it
  // takes; one that is stopped, blocked or spinning in a damaged decoder
  // is ended the open's limit after it was last seen getting on, instead
  // of holding the display for good; Ctrl-C ends the wait at once.
  for (int attempt = 0;; attempt++) {
    char ok = 0;
    int w = exchange(req, &ok, 1, limits().open_seconds, true);
    if (try_again(w, attempt)) continue;
    if (w != WAIT_OK) return got->rc = to_answer(w);
    if (ok == READ_NO_STEP) return got->rc = 0;
    if (ok == READ_FAILED) {
      end_helper();  // the library failed on the file: see end_after_hdf_failure
      return got->rc = 0;
    }
    w = await_read(rr, ok, 0, got);
    if (w == WAIT_OK) {
      given_at() = 0;
      return got->rc;
    }
    if (w == WAIT_ENDED) w = ended();
    end_helper();
    if (try_again(w, attempt)) continue;
    return got->rc = to_answer(w);
  }
}

void helper_read_later(const slabread& r) {
  helper_settle();
  const size_t half = half_of(r);
  if (!readable(r) || helper().fd < 0 || half == 0 || block_size() < 2 * half) return;
  aheadread& p = pending();
  p.at = given_at() == 0 ? half : 0;
  p.req = read_request(r, p.at);
  p.r = r;
  if (!sendall(helper().fd, p.req.data(), p.req.size())) {
    ended();
    return;
  }
  p.busy = true;
}

namespace {

// Why a codec's decode in the helper gave no field, from how the wait for
// it ended.
std::string codec_failure(const char* codec, int wait_rc) {
  const std::string lib = std::string("the ") + codec + " library";
  switch (wait_rc) {
    case WAIT_TIMEOUT: return lib + " takes too long on it";
    case WAIT_INTERRUPTED: return "interrupted";
    case WAIT_NOHELPER:
      return "the helper process could not be started: " + helper_failure() + "; a " + codec +
             " field is not decoded without it";
    case WAIT_KILLED: return "the helper process was ended from outside: " + helper_ended_how();
    default: return "the field is damaged: " + lib + " fails on it";
  }
}

// Decodes a GRIB2 field's code stream in the helper (g2codecfn): the
// stream goes on the socket, the integers come into the shared block, or
// where none can be had on the socket.  A helper that crashes on the
// stream makes the field damaged, and the next request starts a fresh one;
// one killed from outside is tried again once, fresh.  A stream the codec
// refuses ends the helper too: a library that failed on a damaged stream
// may have written past its buffers.
const uint32_t* helper_codec(int kind, const unsigned char* in, size_t inlen, const g2repr& r, size_t nout,
                             std::string* why) {
  const char* codec = g2codecname(kind);
  if (codec == nullptr || nout == 0) return g2codec_here(kind, in, inlen, r, nout, why);  // nothing to contain
  if (nout > omgcap() / sizeof(uint32_t)) {
    *why = "the field is larger than a grid may be";
    return nullptr;
  }
  helper_settle();
  const size_t bytes = nout * sizeof(uint32_t);
  const unsigned char* block = block_reserve(bytes);
  std::vector<unsigned char>& held = inline_values();
  if (block == nullptr) {
    // No block (a hard limit on the size of files, memory files refused):
    // the integers come on the socket.
    try {
      held.resize(bytes);
    } catch (const std::bad_alloc&) {
      *why = "no memory for the field's values";
      return nullptr;
    }
  }
  std::string req = request(OP_CODEC, codec);
  put(&req, static_cast<uint8_t>(block == nullptr ? READ_INLINE : 0));
  for (int p : {r.nbits, r.ccflags, r.ccblock, r.ccrsi}) put(&req, static_cast<int32_t>(p));
  put(&req, static_cast<uint64_t>(nout));
  put(&req, static_cast<uint64_t>(block_size()));
  put(&req, static_cast<uint64_t>(0));
  put(&req, static_cast<uint64_t>(inlen));
  const int secs = limits().open_seconds;
  for (int attempt = 0;; attempt++) {
    char ok = 0;
    int w = exchange(req, &ok, 1, secs, true, in, inlen);
    if (w == WAIT_OK) {
      std::string said;
      if (ok == READ_FAILED) {
        w = await_sized(&said, kMostSaid, secs);
      } else if (ok != READ_IN_BLOCK) {
        w = WAIT_BAD;
      } else if (block == nullptr) {
        w = await(helper().fd, held.data(), bytes, secs, true);
      }
      if (w == WAIT_ENDED) w = ended();
      if (w != WAIT_OK || ok == READ_FAILED) end_helper();
      if (w == WAIT_OK && ok == READ_FAILED) {
        *why = said;
        return nullptr;
      }
    }
    if (w == WAIT_OK) return reinterpret_cast<const uint32_t*>(block != nullptr ? block : held.data());
    if (w == WAIT_KILLED && attempt == 0) continue;
    *why = codec_failure(codec, w);
    return nullptr;
  }
}

}  // namespace

void sdf_codecs_in_helper() { g2codec = helper_codec; }

void helper_close(const char* name) {
  // No helper is started only to close a file it does not have; the
  // helper closes it while the program goes on, and answers nothing.
  if (helper().fd < 0 || std::strlen(name) == 0 || std::strlen(name) > kMaxName) return;
  helper_settle();
  const std::string req = request(OP_CLOSE, name);
  if (!sendall(helper().fd, req.data(), req.size())) ended();
}

const std::string& helper_ended_how() {
  static std::string how;
  how = ended_how(helper().ended);
  return how;
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
