// The helper process that opens self-describing files for the program.
//
// Damaged files can make the netCDF, HDF5 or HDF4 library crash while it
// opens, inquires, reads or closes them (a stack smash in HDF4's open or in
// its run-length decoder, a wild read in its Huffman decoder, a division by
// zero in its chunk table, double frees), or grow without end on a damaged
// compression header.  Every file is therefore first opened and described
// by a helper process; when the helper dies on a file the file is refused
// and the program goes on with its defined variables and open output
// intact.
//
// A netCDF file is described and closed again, with its small
// one-dimensional variables read as the open reads the coordinates; the
// program then opens it itself (its damage produced clean library errors
// while data were read), unless the helper could not open or describe it.  An HDF4 file stays with the helper: the helper
// keeps it open, hands its description back, and reads its data for the
// program, so that the HDF4 library never runs in the program itself.  A
// helper that dies while reading fails that display only.  The member
// files of a template series are read for their times alone: the helper
// opens each once and hands back its times, and the program opens none of
// them while the series opens.
//
// The helper may grow by the size of the largest grid the program accepts
// (omgcap) and no more; an open may take a limited time, and a read that
// time and more by its size; and an interrupt typed at the terminal ends
// any wait for it.  A helper on which the HDF libraries failed an open or
// a read is ended, and the next request starts a fresh one.
//
// The helper is started once and kept (sdfspawn.cpp starts it as a fresh
// run of the program's executable, holding none of the program's memory,
// or where that cannot run as a fork of the program).  It ends when the
// program does: ended and reaped at the program's exit and at the signal
// endings, and killed by the system when the program ends any other way,
// even while it is busy with a file; killed from outside, it is reaped at
// the next prompt or by the next request, which starts a new one.
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
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

#include "base/cmnstate.h"
#include "base/endhold.h"
#include "base/ending.h"
#include "base/heaptune.h"
#include "base/memcap.h"
#include "base/outflush.h"
#include "base/omprntint.h"
#include "data/gridres.h"
#include "sdf/sdfint.h"

namespace {

struct probehelper {
  pid_t pid = -1;
  int fd = -1;
  pid_t owner = -1;     // the process that started it (a fork of the program is not)
  bool execd = false;   // the program's own file run again, not a fork
  std::string failure;  // why the last start failed
};

probehelper& helper() {
  static probehelper h;
  return h;
}

// The running helper as the signal endings see it: they may read nothing
// else of the record.  Whoever reaps the helper takes its pid from here
// first: once reaped, the number is free for another process (a shell
// escape's child, say) that an ending must not kill or wait for.
std::atomic<pid_t> g_endpid{-1};
static_assert(std::atomic<pid_t>::is_always_lock_free, "a handler takes the pid");
volatile sig_atomic_t g_endowner = -1;

void set_helper(const probehelper& h) {
  g_endpid = -1;
  helper() = h;
  g_endowner = h.owner;
  g_endpid = h.pid;
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

// Requests: an operation byte, the file name (length, bytes), then what the
// operation needs.
enum : char { OP_DESCRIBE = 'D', OP_READ = 'R', OP_CLOSE = 'C', OP_TIMES = 'T' };
constexpr uint32_t kMaxName = 65536;
// A time in a times answer: its five fields; and what the reading of a
// file's times may say (a few lines, and far less than this even for a
// damaged file).
constexpr size_t kTimeBytes = 5 * sizeof(int32_t);
constexpr size_t kMostSaid = 1 << 16;
// HDF4 files the helper keeps open at once; beyond, one is closed (reopened
// when read again).
constexpr size_t kMaxKept = 64;
// Read buffers up to this size are kept from read to read, so that the
// pages of a series of reads are not faulted in each time; a larger one is
// given back once its values are sent, so that one large read does not
// leave the helper holding its size with no file open.
constexpr size_t kKeptReadBytes = size_t(4) << 20;
// What the helper sends once it is ready for requests, and the seconds it
// may take to get there (apart from the time an open may take; an
// interrupt ends the wait sooner).
constexpr char kReady = 'R';
constexpr int kStartSeconds = 30;

// Moves all n bytes at p with one call of io after another, going on
// after an interrupted one; false at the end of the data or an error.
template <class Byte, class Io>
bool moveall(Byte* p, size_t n, Io io) {
  while (n > 0) {
    ssize_t r = io(p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool readall(int fd, void* buf, size_t n) {
  return moveall(static_cast<char*>(buf), n, [fd](char* p, size_t k) { return ::read(fd, p, k); });
}

bool sendall(int fd, const void* buf, size_t n) {
  auto send = [fd](const char* p, size_t k) { return ::send(fd, p, k, MSG_NOSIGNAL); };
  return moveall(static_cast<const char*>(buf), n, send);
}

template <class T>
void put(std::string* s, T v) {
  s->append(reinterpret_cast<const char*>(&v), sizeof v);
}

std::string request(char op, const char* name) {
  std::string s(1, op);
  put(&s, static_cast<uint32_t>(std::strlen(name)));
  s.append(name);
  return s;
}

// ---- the helper's side ----

// A netCDF file described and closed: HELPER_NETCDF when the program may
// open it itself, else why not (the program would fail the same way, but
// uncapped).
char describe_and_close(const char* name) {
  int id = -1;
  if (!open_netcdf(name, &id)) return HELPER_NOFILE;
  io_std io;
  io.ncid = id;
  char kind = HELPER_NETCDF;
  try {
    if (read_description(&io)) {
      for (var_info& v : io.varlist) {
        if (v.ndims != 1 || v.dimids[0] < 0 || v.dimids[0] >= io.ndims) continue;
        if (io.dimlens[static_cast<size_t>(v.dimids[0])] > 1000000) continue;
        read_one_dimension(&io, &v, v.dimids[0]);
      }
    } else {
      kind = HELPER_NODESC;
    }
  } catch (const std::bad_alloc&) {
    kind = HELPER_NOMEM;
  }
  close_netcdf(id);
  return kind;
}

// HDF4 files open in the helper, by name.
std::map<std::string, int>& kept() {
  static std::map<std::string, int> files;
  return files;
}

void close_kept(const std::string& name) {
  auto it = kept().find(name);
  if (it == kept().end()) return;
  close_netcdf(it->second);
  kept().erase(it);
}

int open_kept(const std::string& name) {
  auto it = kept().find(name);
  if (it != kept().end()) return it->second;
  if (kept().size() >= kMaxKept) close_kept(kept().begin()->first);
  int id = -1;
  if (!open_netcdf(name.c_str(), &id)) return -1;
  kept()[name] = id;
  return id;
}

bool serve_describe(int fd, const std::string& name) {
  if (!is_hdf4_file(name.c_str())) {
    const char kind = describe_and_close(name.c_str());
    return sendall(fd, &kind, 1);
  }
  close_kept(name);  // a fresh description of the file as it is now
  char kind = HELPER_HDF;
  std::string desc;
  int id = open_kept(name);
  if (id < 0) {
    kind = HELPER_NOFILE;
  } else {
    try {
      io_std io;
      io.ncid = id;
      if (read_description(&io))
        desc = pack_description(io);
      else
        kind = HELPER_NODESC;
    } catch (const std::bad_alloc&) {
      kind = HELPER_NOMEM;
    }
    if (kind != HELPER_HDF) close_kept(name);
  }
  if (!sendall(fd, &kind, 1)) return false;
  if (kind != HELPER_HDF) return true;
  uint32_t len = static_cast<uint32_t>(desc.size());
  return sendall(fd, &len, sizeof len) && sendall(fd, desc.data(), desc.size());
}

// The hyperslab's byte count in the variable's own type, 0 when it is not
// one the program reads or the values would not fit the helper's memory.
size_t slab_bytes(int id, int varid, const std::vector<size_t>& count) {
  std::string vname;
  int type = 0, natts = 0;
  std::vector<int> dimids;
  if (!inq_netcdf_var(id, varid, &vname, &type, &dimids, &natts)) return 0;
  if (dimids.size() != count.size()) return 0;
  size_t n = static_cast<size_t>(type_size(type));
  for (size_t c : count) {
    if (c != 0 && n > (size_t(1) << 40) / c) return 0;
    n *= c;
  }
  return n;
}

bool serve_read(int fd, const std::string& name) {
  int32_t varid = 0;
  uint32_t nd = 0;
  uint64_t want = 0;
  if (!readall(fd, &varid, sizeof varid) || !readall(fd, &nd, sizeof nd) || nd > SDF_MAX_DIMS)
    return false;
  std::vector<uint64_t> raw(2 * static_cast<size_t>(nd));
  if (nd > 0 && !readall(fd, raw.data(), raw.size() * sizeof(uint64_t))) return false;
  if (!readall(fd, &want, sizeof want)) return false;
  std::vector<size_t> start(raw.begin(), raw.begin() + nd), count(raw.begin() + nd, raw.end());
  char ok = 0;
  static std::vector<unsigned char> buf;
  int id = open_kept(name);
  if (id >= 0 && want > 0 && want <= omgcap() && slab_bytes(id, varid, count) == want) {
    try {
      if (buf.size() < want) buf.resize(static_cast<size_t>(want));
      ok = read_netcdf_data(id, varid, start, count, buf.data(), static_cast<size_t>(want)) ? 1 : 0;
    } catch (const std::bad_alloc&) {
      ok = 0;
    }
  }
  const bool sent = sendall(fd, &ok, 1) && (ok == 0 || sendall(fd, buf.data(), static_cast<size_t>(want)));
  if (want > kKeptReadBytes) {
    std::vector<unsigned char>().swap(buf);
    hdf_release_buffers();
    malloc_trim(0);  // the allocator may keep what was freed in its heap
  }
  return sent;
}

// The times of a member file as the program's open would read them (the
// calendar is the program's), with what the reading said.  A file whose
// description the program would cut, or a units library that does not
// start here, is left to the program's own open, which says so.
bool serve_times(int fd, const std::string& name) {
  uint32_t asks[2] = {0, 0};  // the times wanted, the calendar
  if (!readall(fd, asks, sizeof asks)) return false;
  const uint32_t most = asks[0];
  mfcmn.mfcal = static_cast<int32_t>(asks[1]);
  close_kept(name);  // an HDF4 file the program reads is opened again when read
  char kind = HELPER_TIMES;
  std::string said;
  std::vector<datetime> times;
  int id = -1;
  if (!sdf_units_init()) {
    kind = HELPER_NETCDF;
  } else if (!open_netcdf(name.c_str(), &id)) {
    kind = HELPER_NOFILE;
  } else {
    try {
      io_std io;
      io.ncid = id;
      int nd = 0, nv = 0, ng = 0, rd = -1;
      if (!inq_netcdf(id, &nd, &nv, &ng, &rd) || nd > SDF_MAX_DIMS) {
        kind = HELPER_NETCDF;
      } else if (!read_description(&io)) {
        kind = HELPER_NODESC;
      } else {
        int rc = 0;
        said = omcaprun([&] { return file_times(&io, most, &times); }, &rc);
        if (said.size() > kMostSaid) said.resize(kMostSaid);
      }
    } catch (const std::bad_alloc&) {
      kind = HELPER_NOMEM;
    }
    close_netcdf(id);
  }
  // One send: the kind, then the length of the rest, what was said (its
  // length first) and the times' fields.
  std::string answer(1, kind);
  if (kind == HELPER_TIMES) {
    put(&answer, static_cast<uint32_t>(sizeof(uint32_t) + said.size() + times.size() * kTimeBytes));
    put(&answer, static_cast<uint32_t>(said.size()));
    answer += said;
    for (const datetime& t : times)
      for (int32_t f : {t.yr, t.mo, t.dy, t.hr, t.mn}) put(&answer, f);
  }
  return sendall(fd, answer.data(), answer.size());
}

// The helper may grow by the given bytes beyond what it holds when it
// starts; a damaged compression header then makes the library's
// allocations fail instead of taking the machine's memory.
void cap_memory(size_t extra) {
  struct rlimit rl;
  if (getrlimit(RLIMIT_DATA, &rl) != 0) return;
  const size_t held = omdatasize();
  rlim_t want = static_cast<rlim_t>(held > SIZE_MAX - extra ? SIZE_MAX : held + extra);
  if (rl.rlim_max != RLIM_INFINITY && want > rl.rlim_max) want = rl.rlim_max;
  if (rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < want) return;
  rl.rlim_cur = want;
  setrlimit(RLIMIT_DATA, &rl);
}

}  // namespace

// The helper's loop: one request at a time, answered once done.
[[noreturn]] void helper_serve(int fd, size_t mem_bytes) {
  // An interrupt typed at the terminal is the program's to handle; it came
  // blocked, and is let through once set aside.
  signal(SIGINT, SIG_IGN);
  sigset_t intr;
  sigemptyset(&intr);
  sigaddset(&intr, SIGINT);
  sigprocmask(SIG_UNBLOCK, &intr, nullptr);
  // Only the socket is kept: files the program has open (an output file
  // being written, the window's connection) must not stay open, or locked,
  // in the helper after the program closes them.
  if (close_range(static_cast<unsigned>(fd) + 1, ~0U, 0) != 0) {
    for (int k = fd + 1; k < 1024; k++) close(k);
  }
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (null > 3) close(null);
  }
  omheaptune();  // a helper started by exec runs no start of the program's
  cap_memory(mem_bytes);
  if (!sendall(fd, &kReady, 1)) _exit(0);
  for (;;) {
    char op = 0;
    uint32_t len = 0;
    if (!readall(fd, &op, 1) || !readall(fd, &len, sizeof len) || len == 0 || len > kMaxName)
      _exit(0);
    std::string name(len, '\0');
    if (!readall(fd, &name[0], len)) _exit(0);
    bool ok = false;
    if (op == OP_DESCRIBE) {
      ok = serve_describe(fd, name);
    } else if (op == OP_READ) {
      ok = serve_read(fd, name);
    } else if (op == OP_TIMES) {
      ok = serve_times(fd, name);
    } else if (op == OP_CLOSE) {
      close_kept(name);
      const char done = 1;
      ok = sendall(fd, &done, 1);
    }
    if (!ok) _exit(0);
  }
}

namespace {

// ---- the program's side ----

enum { WAIT_OK = 1, WAIT_ENDED = 0, WAIT_NOHELPER = -1, WAIT_TIMEOUT = -2, WAIT_INTERRUPTED = -3 };

int await(int fd, void* buf, size_t n, int seconds);

// Ends the helper: killed when it may still run (a time limit or an
// interrupt), else only reaped.  Its wait status.
int end_helper(bool kill_it) {
  probehelper h = helper();
  if (h.pid < 0) return 0;
  const bool ours = h.owner == getpid();
  if (kill_it && ours) kill(h.pid, SIGKILL);
  close(h.fd);
  // Waited for without being reaped: until it is, its pid names no other
  // process, and an ending that comes meanwhile finds it and reaps it.
  siginfo_t info;
  while (ours && waitid(P_PID, static_cast<id_t>(h.pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  // Taken from the ending with the ending signals held: one of the two
  // reaps it, and at once, as it has ended.
  endhold hold;
  hold.hold();
  const bool reaps = ours && g_endpid.exchange(-1) == h.pid;
  set_helper(probehelper{});
  int status = 0;
  while (reaps && waitpid(h.pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
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
      (helper(), omendpart(END_HELPER, {[](endhow) { end_helper(true); }, [](endhow) { sdf_helper_end(); }}), true);
  for (;;) {
    std::string why;
    probehelper h;
    // A forked helper starts with a copy of what output holds: none.
    omoutflush();
    std::fflush(stderr);
    if (!spawn_helper(mem, !notes().exec_fails, &h.pid, &h.fd, &h.execd, &why)) {
      helper().failure = why;
      return WAIT_NOHELPER;
    }
    h.owner = getpid();
    set_helper(h);
    char ready = 0;
    const int r = await(h.fd, &ready, 1, kStartSeconds);
    if (r == WAIT_OK && ready == kReady) {
      notes().told.clear();  // a later failure is news again
      return WAIT_OK;
    }
    // Killed if still there; else how it ended tells why.
    const int status = end_helper(true);
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
    end_helper(true);
    return WAIT_ENDED;
  }
  int r = await(helper().fd, first, n, seconds);
  if (r != WAIT_OK) end_helper(true);
  return r;
}

// After the HDF libraries failed on a file the helper is ended: a damaged
// file can make them write past their buffers without crashing, and a
// helper serving on such a heap fails later files, or answers for them
// falsely.  The next request starts a fresh one.
void end_after_hdf_failure(const char* name) {
  if (is_hdf4_file(name) || is_hdf5_file(name)) end_helper(true);
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
    if (kind != HELPER_HDF) {
      if (kind != HELPER_NETCDF) end_after_hdf_failure(name);
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
      end_helper(true);
      if (r == WAIT_ENDED) continue;
      return to_answer(r);
    }
    if (unpack_description(desc, io)) return HELPER_HDF;
    end_helper(true);  // what it sent is no description: it is not to be trusted
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
    end_helper(true);
    if (r != WAIT_ENDED) return to_answer(r);
  }
  times->clear();
  said->clear();
  return HELPER_DIED;
}

int helper_read(const char* name, int varid, const std::vector<size_t>& start,
                const std::vector<size_t>& count, void* buf, size_t nbytes) {
  if (std::strlen(name) == 0 || std::strlen(name) > kMaxName || start.size() != count.size() ||
      start.size() > SDF_MAX_DIMS || nbytes == 0)
    return 0;
  std::string req = request(OP_READ, name);
  put(&req, static_cast<int32_t>(varid));
  put(&req, static_cast<uint32_t>(start.size()));
  for (size_t s : start) put(&req, static_cast<uint64_t>(s));
  for (size_t c : count) put(&req, static_cast<uint64_t>(c));
  put(&req, static_cast<uint64_t>(nbytes));
  // No real read comes near this: the open's limit, and a second more for
  // every megabyte asked for.  A helper spinning in a damaged decoder, or
  // stopped, then ends instead of holding the display for good.
  const size_t secs = static_cast<size_t>(limits().open_seconds) + (nbytes >> 20);
  const int limit = secs > INT_MAX ? INT_MAX : static_cast<int>(secs);
  for (int attempt = 0; attempt < 2; attempt++) {
    char ok = 0;
    int r = exchange(req, &ok, 1, limit);
    if (r == WAIT_ENDED) continue;
    if (r != WAIT_OK) return to_answer(r);
    if (ok == 0) {
      end_helper(true);  // the HDF4 library failed on the file: see end_after_hdf_failure
      return 0;
    }
    r = await(helper().fd, buf, nbytes, limit);
    if (r == WAIT_OK) return 1;
    end_helper(true);
    if (r != WAIT_ENDED) return to_answer(r);
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
  end_helper(false);  // the next helper takes them
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
  const probehelper h = helper();
  if (h.pid < 0) return;
  siginfo_t info = {};  // si_pid stays 0 while it runs
  const int r = waitid(P_PID, static_cast<id_t>(h.pid), &info, WEXITED | WNOHANG | WNOWAIT);
  if ((r == 0 && info.si_pid == 0) || (r < 0 && errno != ECHILD)) return;  // still running
  end_helper(false);
}

void sdf_helper_end() {
  if (g_endowner != getpid()) return;
  const pid_t pid = g_endpid.exchange(-1);
  if (pid <= 0) return;
  const int saved = errno;
  kill(pid, SIGKILL);
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  errno = saved;
}
