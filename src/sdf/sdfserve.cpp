// The helper's side: the loop that opens, describes and reads files for
// the program, and decodes GRIB2 code streams (sdfhelper.cpp has why, and
// the program's side).
//
// Every file the program opens is opened here and kept open, by name, and
// every read of it is made here, into the block the program shares
// (sdfblock.h).  The helper's memory is held to what each request may
// take: an open, 64 MB and sixteen times the file's size; a read, 64 MB,
// twice the slab, four of the variable's chunks and its chunk cache
// (netcdf_read_allowance); and never more than the cap it started with.
// A damaged file that claims more (a compressed chunk that inflates past
// its size, a count of values no file of its size holds) makes the
// library's allocation fail instead of taking the machine's memory.
// What the library took for a request beyond a little is given back once
// it is answered.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <cstdio>
#include <iterator>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "base/heaptune.h"
#include "base/memcap.h"
#include "base/omprntint.h"
#include "data/grib2.h"
#include "data/gridres.h"
#include "sdf/sdfblock.h"
#include "sdf/sdfint.h"
#include "sdf/sdfproto.h"

namespace {

// HDF4 and netCDF files the helper keeps open at once; beyond, one is
// closed (opened again when read again).
constexpr size_t kMaxKept = 64;
// Memory any request may take besides what its size asks for: the
// libraries' records of a file and their caches of its metadata.
constexpr size_t kSlack = size_t(64) << 20;
// Growth beyond which what the libraries freed is given back to the
// system once a request is answered, or a file closed.
constexpr size_t kKeptGrowth = size_t(4) << 20;

// Files open in the helper, by name.
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

// What the helper holds now: its private writable memory (data and
// stack), the figure its data limit is held against, and the anonymous
// memory it keeps in use, which a give-back lowers; from /proc/self/statm,
// held open.  Where /proc is not mounted, both as omdatasize gives them.
struct holding {
  size_t data, anon;
};

holding held_now() {
  static const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  char buf[160];
  const ssize_t n = fd >= 0 ? pread(fd, buf, sizeof buf - 1, 0) : -1;
  unsigned long long f[6];
  if (n > 0) {
    buf[n] = '\0';
    if (std::sscanf(buf, "%llu %llu %llu %llu %llu %llu", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]) == 6) {
      const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
      return {static_cast<size_t>(f[5]) * page, static_cast<size_t>(f[1] > f[2] ? f[1] - f[2] : 0) * page};
    }
  }
  const size_t data = omdatasize();
  return {data, data};
}

// What the helper held when it last looked: at its start and at the end
// of every request (it holds the same when the next one comes, idle in
// between).
holding& held() {
  static holding h = {0, 0};
  return h;
}

// Looks again at what the helper holds; when that is more than anon by
// kKeptGrowth, what the libraries freed is given back first.
void measure_giving_back(size_t anon) {
  held() = held_now();
  if (held().anon <= anon + kKeptGrowth) return;
  netcdf_give_back();
  held() = held_now();
}

// The anonymous memory the helper held when it was ready: at a close,
// what it holds beyond is given back.
size_t& anon_at_start() {
  static size_t anon = 0;
  return anon;
}

// Closes a file for the program; what the libraries kept for it (the
// index of its chunks, say) is given back too.
void close_for_program(const std::string& name) {
  close_kept(name);
  measure_giving_back(anon_at_start());
}

// The data limit the helper started with, which no request goes beyond,
// and the one in force now.
struct datacaps {
  struct rlimit now = {RLIM_INFINITY, RLIM_INFINITY};
  rlim_t base = RLIM_INFINITY;
};

datacaps& caps() {
  static datacaps c;
  return c;
}

// Puts the soft data limit at soft, unless it is there already.
void set_cap(rlim_t soft) {
  struct rlimit rl = caps().now;
  if (rl.rlim_cur == soft) return;
  rl.rlim_cur = soft;
  if (setrlimit(RLIMIT_DATA, &rl) == 0) caps().now = rl;
}

// The helper may grow by the given bytes beyond what it holds when it
// starts; a damaged compression header then makes the library's
// allocations fail instead of taking the machine's memory.
void cap_memory(size_t extra) {
  struct rlimit rl;
  if (getrlimit(RLIMIT_DATA, &rl) != 0) return;
  caps().now = rl;
  const size_t held = held_now().data;
  rlim_t want = static_cast<rlim_t>(held > SIZE_MAX - extra ? SIZE_MAX : held + extra);
  if (rl.rlim_max != RLIM_INFINITY && want > rl.rlim_max) want = rl.rlim_max;
  if (rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < want) want = rl.rlim_cur;
  set_cap(want);
  caps().base = caps().now.rlim_cur;
}

// One request's hold on the helper's memory: the data limit set to what
// the helper holds and what the request may take (never above its own
// cap), and kept there until the next request sets its own; once the
// request is answered, what the libraries took for it beyond a little is
// given back.  A series of like requests (a read of each step of a
// variable) sets the limit and looks at what the helper holds once: what
// the first of them took, the others take again, and the limit set then
// stays, so that a library that keeps more at every step meets it.
class requestcap {
 public:
  explicit requestcap(size_t work) : like_(work == last_work()), before_(held()) {
    last_work() = work;
    if (like_) return;
    const size_t room = work > SIZE_MAX - kSlack ? SIZE_MAX : work + kSlack;
    const size_t data = before_.data;
    const rlim_t want = data > SIZE_MAX - room ? SIZE_MAX : static_cast<rlim_t>(data + room);
    if (caps().base != RLIM_INFINITY) set_cap(want < caps().base ? want : caps().base);
  }
  requestcap(const requestcap&) = delete;
  requestcap& operator=(const requestcap&) = delete;
  ~requestcap() {
    if (!like_) measure_giving_back(before_.anon);
  }
  // Another kind of request comes: the next one looks again.
  static void forget() { last_work() = SIZE_MAX; }

 private:
  static size_t& last_work() {
    static size_t work = SIZE_MAX;
    return work;
  }
  bool like_;
  holding before_;
};

// The requests as they come: the socket read in as large pieces as it
// gives, and taken apart from there, so that a request costs one read
// rather than one a field.
class inbox {
 public:
  explicit inbox(int fd) : fd_(fd) {}
  inbox(const inbox&) = delete;
  inbox& operator=(const inbox&) = delete;
  // The next n bytes into dst (nullptr: passed over); false at the end of
  // the data or an error.  What is no smaller than the buffer is read
  // straight into dst.
  bool take(void* dst, size_t n) {
    char* to = static_cast<char*>(dst);
    while (n > 0) {
      if (at_ == have_ && to != nullptr && n >= sizeof buf_) {
        const ssize_t r = ::read(fd_, to, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        to += r;
        n -= static_cast<size_t>(r);
        continue;
      }
      if (at_ == have_) {
        at_ = have_ = 0;
        const ssize_t r = ::read(fd_, buf_, sizeof buf_);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        have_ = static_cast<size_t>(r);
      }
      const size_t k = std::min(n, have_ - at_);
      if (to != nullptr) {
        std::memcpy(to, buf_ + at_, k);
        to += k;
      }
      at_ += k;
      n -= k;
    }
    return true;
  }

 private:
  int fd_;
  char buf_[65536];
  size_t at_ = 0, have_ = 0;
};

// What an open of the file may take: sixteen times the file, as a small
// file's records may take more than its bytes.  A name that is no regular
// file, or an empty one, is not limited further.
size_t open_work(const std::string& name) {
  struct stat st;
  if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return SIZE_MAX;
  const size_t size = static_cast<size_t>(st.st_size);
  return size > SIZE_MAX / 16 ? SIZE_MAX : size * 16;
}

// The values of the file's coordinates (one-dimensional variables named
// after their dimension, with units: those an open reads for its axes and
// times), each no longer than kCoordBytes, as the second part of a
// description's answer: a count, then for each its id and its first
// values' bytes.  A coordinate that does not read is left out, for the
// program to ask for.
constexpr size_t kCoordBytes = size_t(1) << 20;

std::string coordinate_values(int id, const io_std& io) {
  std::string out;
  uint32_t n = 0;
  put(&out, n);
  for (const var_info& v : io.varlist) {
    if (v.ndims != 1 || v.dimids.empty() || find_att(v.atts, "units") == nullptr) continue;
    const int d = v.dimids[0];
    const size_t size = static_cast<size_t>(type_size(v.nctype));
    if (d < 0 || d >= io.ndims || io.dimnames[static_cast<size_t>(d)] != v.ncname || size == 0 ||
        v.nctype == SDF_CHAR)
      continue;
    // Along the record dimension an open reads the first two times (all
    // of them only for a step of months): values a record apart, which a
    // classic file's library reads a block each.
    const long len = std::min<long>(io.dimlens[static_cast<size_t>(d)], d == io.recdim ? 2 : LONG_MAX);
    if (len <= 0 || static_cast<size_t>(len) > kCoordBytes / size) continue;
    const size_t bytes = static_cast<size_t>(len) * size;
    std::string vals(bytes, '\0');
    if (!read_netcdf_data(id, v.varid, {0}, {static_cast<size_t>(len)}, &vals[0], bytes, true)) continue;
    put(&out, static_cast<int32_t>(v.varid));
    put(&out, static_cast<uint32_t>(bytes));
    out += vals;
    n++;
  }
  std::memcpy(&out[0], &n, sizeof n);
  return out;
}

// Opens and describes a file for the program, which keeps it open here:
// the answer's kind, and for a file held the description (its length
// first), sent at once; then the values of its coordinates (their length
// first), which the program's open reads next.  A library that fails on a
// coordinate ends the helper after the description has gone out.
bool serve_describe(int fd, inbox&, const std::string& name) {
  close_kept(name);  // a fresh description of the file as it is now
  requestcap::forget();
  char kind = HELPER_HELD;
  std::string answer;
  int id = -1;
  io_std io;
  {
    requestcap cap(open_work(name));
    id = open_kept(name);
    if (id < 0) {
      kind = HELPER_NOFILE;
    } else {
      try {
        io.ncid = id;
        if (read_description(&io)) {
          const std::string desc = pack_description(io);
          answer.assign(1, kind);
          put(&answer, static_cast<uint32_t>(desc.size()));
          answer += desc;
        } else {
          kind = HELPER_NODESC;
        }
      } catch (const std::bad_alloc&) {
        kind = HELPER_NOMEM;
      }
      if (kind != HELPER_HELD) close_kept(name);
    }
  }
  if (kind != HELPER_HELD) return sendall(fd, &kind, 1);
  if (!sendall(fd, answer.data(), answer.size())) return false;
  std::string values;
  {
    requestcap cap(open_work(name));
    try {
      const std::string v = coordinate_values(id, io);
      put(&values, static_cast<uint32_t>(v.size()));
      values += v;
    } catch (const std::bad_alloc&) {
      values.assign(sizeof(uint32_t), '\0');
    }
  }
  return sendall(fd, values.data(), values.size());
}

// The places where the file holds a slab as it is, and the same slab at
// the following indices of its first dimension, as many as asked for (up
// to the first it does not hold so), as a read's answer: false, nothing
// made, where it does not hold the slab itself so.
bool place_ahead(int id, int varid, std::vector<size_t> start, const std::vector<size_t>& count, size_t want,
                 uint32_t ahead, std::string* answer) {
  uint64_t at = 0;
  if (!netcdf_raw_place(id, varid, start, count, want, &at)) return false;
  std::string places;
  uint32_t n = 0;
  do {
    put(&places, at);
    n++;
    if (start.empty() || count[0] != 1) break;
    start[0]++;
  } while (n < ahead && netcdf_raw_place(id, varid, start, count, want, &at));
  answer->assign(1, READ_IN_FILE);
  put(answer, n);
  *answer += places;
  return true;
}

// Reads a slab into the shared block (sdfproto.h has the request), or
// where the program may read it from the file itself says where it lies.
bool serve_read(int fd, inbox& in, const std::string& name) {
  int32_t varid = 0;
  uint32_t nd = 0, ahead[2] = {0, 0};  // places, steps
  uint64_t want = 0, room = 0, at = 0, opened[3] = {0, 0, 0};
  uint8_t flags = 0;
  if (!in.take(&varid, sizeof varid) || !in.take(&nd, sizeof nd) || nd > SDF_MAX_DIMS) return false;
  std::vector<uint64_t> raw(2 * static_cast<size_t>(nd));
  if (nd > 0 && !in.take(raw.data(), raw.size() * sizeof(uint64_t))) return false;
  if (!in.take(&want, sizeof want) || !in.take(&room, sizeof room) || !in.take(&at, sizeof at) ||
      !in.take(&flags, sizeof flags) || !in.take(ahead, sizeof ahead) || !in.take(opened, sizeof opened))
    return false;
  std::vector<size_t> start(raw.begin(), raw.begin() + nd), count(raw.begin() + nd, raw.end());
  const fileident ident{static_cast<int64_t>(opened[0]), opened[1], opened[2]};
  std::string answer(1, READ_FAILED);
  const int id = open_kept(name);
  if (id >= 0 && !start.empty() && netcdf_steps_after(id, varid, start[0]) == 0) {
    answer[0] = READ_NO_STEP;
    return sendall(fd, answer.data(), answer.size());
  }
  if ((flags & READ_INLINE) != 0) room = at = 0;  // no block: the answer holds the values
  if (id >= 0 && want > 0 && want <= omgcap() && ((at <= room && want <= room - at) || (flags & READ_INLINE) != 0) &&
      ahead[0] > 0 && ahead[1] > 0 &&
      netcdf_slab_bytes(id, varid, count) == want && netcdf_holds_opened(id, ident)) {
    if ((flags & READ_PLACE) != 0 && (flags & READ_BOUNDED) == 0 &&
        place_ahead(id, varid, start, count, static_cast<size_t>(want), ahead[0], &answer))
      return sendall(fd, answer.data(), answer.size());
    // The steps ahead that the block holds and the file has.
    uint32_t steps = 1;
    if (!start.empty() && count[0] == 1 && ahead[1] > 1) {
      const uint64_t fits = (flags & READ_INLINE) != 0 ? ahead[1] : (room - at) / want;
      steps = static_cast<uint32_t>(std::min<uint64_t>({ahead[1], fits, netcdf_steps_after(id, varid, start[0])}));
      steps = std::max<uint32_t>(steps, 1);
      count[0] = steps;
    }
    requestcap cap(netcdf_read_allowance(id, varid, static_cast<size_t>(want) * steps));
    const size_t bytes = static_cast<size_t>(want) * steps;
    try {
      // Without a block, into the answer: its header, then the values.
      std::string inline_values;
      unsigned char* to = nullptr;
      if ((flags & READ_INLINE) != 0) {
        inline_values.assign(1 + sizeof steps + bytes, '\0');
        to = reinterpret_cast<unsigned char*>(&inline_values[1 + sizeof steps]);
      } else if (unsigned char* block = block_map(kBlockFd, static_cast<size_t>(room))) {
        to = block + at;
      }
      if (to != nullptr && read_netcdf_data(id, varid, start, count, to, bytes, (flags & READ_BOUNDED) != 0)) {
        answer[0] = READ_IN_BLOCK;
        put(&answer, steps);
        if (!inline_values.empty()) {
          std::memcpy(&inline_values[0], answer.data(), answer.size());
          answer.swap(inline_values);
        }
      }
    } catch (const std::bad_alloc&) {
      answer.assign(1, READ_FAILED);
    }
  }
  return sendall(fd, answer.data(), answer.size());
}

// Closes a file for the program, which waits for no answer.
bool serve_close(int, inbox&, const std::string& name) {
  requestcap::forget();
  close_for_program(name);
  return true;
}

// The times of a member file as the program's open would read them (the
// calendar is the program's), with what the reading said.  A file whose
// description the program would cut, or a units library that does not
// start here, is left to the program's own open, which says so.
bool serve_times(int fd, inbox& in, const std::string& name) {
  requestcap::forget();
  uint32_t asks[2] = {0, 0};  // the times wanted, the calendar
  if (!in.take(asks, sizeof asks)) return false;
  const uint32_t most = asks[0];
  mfcmn.mfcal = static_cast<int32_t>(asks[1]);
  close_kept(name);  // a file the program holds is opened again when read
  char kind = HELPER_TIMES;
  std::string said;
  std::vector<datetime> times;
  {
    requestcap cap(open_work(name));
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

// What decoding a field of n integers may take besides the integers, which
// go into the block: the library's image of them, its working copies and
// the code stream.
size_t codec_work(uint64_t n) { return n > SIZE_MAX / 20 ? SIZE_MAX : static_cast<size_t>(n) * 20; }

// Decodes a GRIB2 field's code stream with the codec the name names, the
// integers into the shared block (sdfproto.h has the request).  The stream,
// and the integers of an answer that carries them, are kept in room made
// once for the largest yet, so that a series of fields takes none anew.
bool serve_codec(int fd, inbox& in, const std::string& name) {
  uint8_t flags = 0;
  int32_t par[4] = {0, 0, 0, 0};  // bits per value, CCSDS flags, block size, interval
  uint64_t nout = 0, room = 0, at = 0, inlen = 0;
  if (!in.take(&flags, sizeof flags) || !in.take(par, sizeof par) || !in.take(&nout, sizeof nout) ||
      !in.take(&room, sizeof room) || !in.take(&at, sizeof at) || !in.take(&inlen, sizeof inlen))
    return false;
  const bool inl = (flags & READ_INLINE) != 0;
  const int kind = g2codeckind(name);
  // Nothing the program sends: the helper ends.
  if (kind < 0 || nout == 0 || nout > omgcap() / sizeof(uint32_t) ||
      (!inl && (at > room || nout * sizeof(uint32_t) > room - at || at % sizeof(uint32_t) != 0)))
    return false;
  static std::vector<unsigned char> stream;
  static std::vector<uint32_t> values;
  std::string why;
  char ok = READ_FAILED;
  {
    requestcap cap(codec_work(nout));
    uint32_t* to = nullptr;
    try {
      if (stream.size() < inlen) stream.resize(static_cast<size_t>(inlen));
      if (inl && values.size() < nout) values.resize(static_cast<size_t>(nout));
    } catch (const std::bad_alloc&) {
      why = "no memory for the field";
      if (!in.take(nullptr, static_cast<size_t>(inlen))) return false;
    }
    if (why.empty()) {
      if (!in.take(stream.data(), static_cast<size_t>(inlen))) return false;
      if (inl) {
        to = values.data();
      } else if (unsigned char* block = block_map(kBlockFd, static_cast<size_t>(room))) {
        to = reinterpret_cast<uint32_t*>(block + at);
      } else {
        why = "the memory shared with the program cannot be mapped";
      }
    }
    g2repr r;
    r.nbits = par[0];
    r.ccflags = par[1];
    r.ccblock = par[2];
    r.ccrsi = par[3];
    try {
      if (to != nullptr && g2codec_local(kind, stream.data(), static_cast<size_t>(inlen), r, to, nout, &why) == 0)
        ok = READ_IN_BLOCK;
    } catch (const std::bad_alloc&) {
      why = "no memory for the field";
    }
  }
  if (ok == READ_FAILED) {
    std::string answer(1, ok);
    if (why.size() > kMostSaid) why.resize(kMostSaid);
    put(&answer, static_cast<uint32_t>(why.size()));
    answer += why;
    return sendall(fd, answer.data(), answer.size());
  }
  return sendall(fd, &ok, 1) && (!inl || sendall(fd, values.data(), nout * sizeof(uint32_t)));
}

// What serves each kind of request: the socket to answer on, the rest of
// the request, and the name it carries; false ends the helper (the
// program is gone, or sent what is no request).
struct server {
  char op;
  bool (*serve)(int fd, inbox& in, const std::string& name);
};
const server kServers[] = {
    {OP_DESCRIBE, serve_describe},
    {OP_READ, serve_read},
    {OP_TIMES, serve_times},
    {OP_CLOSE, serve_close},
    {OP_CODEC, serve_codec},
};

}  // namespace

// The helper's loop: one request at a time, answered once done.
[[noreturn]] void helper_serve(int fd, size_t mem_bytes) {
  // An interrupt or a quit typed at the terminal reaches the whole
  // foreground group, the helper too, and is the program's to handle (a
  // quit would also leave the helper's core where the program's goes); the
  // program's ending ends the helper.  They came blocked, and are let
  // through once set aside.
  signal(SIGINT, SIG_IGN);
  signal(SIGQUIT, SIG_IGN);
  sigset_t keys;
  sigemptyset(&keys);
  sigaddset(&keys, SIGINT);
  sigaddset(&keys, SIGQUIT);
  sigprocmask(SIG_UNBLOCK, &keys, nullptr);
  // Only the socket and the shared block are kept: files the program has
  // open (an output file being written, the window's connection) must not
  // stay open, or locked, in the helper after the program closes them.
  if (close_range(static_cast<unsigned>(kBlockFd) + 1, ~0U, 0) != 0) {
    for (int k = kBlockFd + 1; k < 1024; k++) close(k);
  }
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (null > 2) close(null);
  }
  omheaptune();  // a helper started by exec runs no start of the program's
  cap_memory(mem_bytes);
  held() = held_now();
  anon_at_start() = held().anon;
  if (!sendall(fd, &kReady, 1)) _exit(0);
  static inbox in(fd);
  for (;;) {
    char op = 0;
    uint32_t len = 0;
    if (!in.take(&op, 1) || !in.take(&len, sizeof len) || len == 0 || len > kMaxName) _exit(0);
    std::string name(len, '\0');
    if (!in.take(&name[0], len)) _exit(0);
    const server* s = std::find_if(std::begin(kServers), std::end(kServers), [op](const server& k) { return k.op == op; });
    if (s == std::end(kServers) || !s->serve(fd, in, name)) _exit(0);
  }
}
