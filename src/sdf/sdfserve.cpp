// The helper's side: the loop that opens, describes and reads files for
// the program (sdfhelper.cpp has why, and the program's side).
//
// Every file the program opens is opened here and kept open, by name, and
// every read of it is made here, into the block the program shares
// (sdfblock.h).
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "base/heaptune.h"
#include "base/memcap.h"
#include "data/gridres.h"
#include "sdf/sdfblock.h"
#include "sdf/sdfint.h"
#include "sdf/sdfproto.h"

namespace {

// HDF4 and netCDF files the helper keeps open at once; beyond, one is
// closed (opened again when read again).
constexpr size_t kMaxKept = 64;
// The HDF4 library keeps a conversion buffer of the size of the largest
// read: one larger than this is given back once its values are in the
// block, so that one large read does not leave the helper holding its
// size with no file open.
constexpr size_t kKeptReadBytes = size_t(4) << 20;

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

// The requests as they come: the socket read in as large pieces as it
// gives, and taken apart from there, so that a request costs one read
// rather than one a field.
class inbox {
 public:
  explicit inbox(int fd) : fd_(fd) {}
  inbox(const inbox&) = delete;
  inbox& operator=(const inbox&) = delete;
  // The next n bytes into dst; false at the end of the data or an error.
  bool take(void* dst, size_t n) {
    char* to = static_cast<char*>(dst);
    while (n > 0) {
      if (at_ == have_) {
        at_ = have_ = 0;
        const ssize_t r = ::read(fd_, buf_, sizeof buf_);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        have_ = static_cast<size_t>(r);
      }
      const size_t k = std::min(n, have_ - at_);
      std::memcpy(to, buf_ + at_, k);
      at_ += k;
      to += k;
      n -= k;
    }
    return true;
  }

 private:
  int fd_;
  char buf_[65536];
  size_t at_ = 0, have_ = 0;
};

bool serve_describe(int fd, const std::string& name) {
  close_kept(name);  // a fresh description of the file as it is now
  char kind = HELPER_HELD;
  std::string desc;
  const int id = open_kept(name);
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
    if (kind != HELPER_HELD) close_kept(name);
  }
  if (!sendall(fd, &kind, 1)) return false;
  if (kind != HELPER_HELD) return true;
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

bool serve_read(int fd, inbox& in, int blockfd, const std::string& name) {
  int32_t varid = 0;
  uint32_t nd = 0;
  uint64_t want = 0, room = 0;
  if (!in.take(&varid, sizeof varid) || !in.take(&nd, sizeof nd) || nd > SDF_MAX_DIMS) return false;
  std::vector<uint64_t> raw(2 * static_cast<size_t>(nd));
  if (nd > 0 && !in.take(raw.data(), raw.size() * sizeof(uint64_t))) return false;
  if (!in.take(&want, sizeof want) || !in.take(&room, sizeof room)) return false;
  std::vector<size_t> start(raw.begin(), raw.begin() + nd), count(raw.begin() + nd, raw.end());
  char ok = 0;
  const int id = open_kept(name);
  if (id >= 0 && want > 0 && want <= omgcap() && want <= room && slab_bytes(id, varid, count) == want) {
    unsigned char* block = block_map(blockfd, static_cast<size_t>(room));
    try {
      ok = block != nullptr && read_netcdf_data(id, varid, start, count, block, static_cast<size_t>(want)) ? 1 : 0;
    } catch (const std::bad_alloc&) {
      ok = 0;
    }
  }
  if (want > kKeptReadBytes) {
    hdf_release_buffers();
    malloc_trim(0);  // the allocator may keep what was freed in its heap
  }
  return sendall(fd, &ok, 1);
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
  if (!sendall(fd, &kReady, 1)) _exit(0);
  static inbox in(fd);
  for (;;) {
    char op = 0;
    uint32_t len = 0;
    if (!in.take(&op, 1) || !in.take(&len, sizeof len) || len == 0 || len > kMaxName) _exit(0);
    std::string name(len, '\0');
    if (!in.take(&name[0], len)) _exit(0);
    bool ok = false;
    if (op == OP_DESCRIBE) {
      ok = serve_describe(fd, name);
    } else if (op == OP_READ) {
      ok = serve_read(fd, in, kBlockFd, name);
    } else if (op == OP_CLOSE) {
      close_kept(name);
      const char done = 1;
      ok = sendall(fd, &done, 1);
    }
    if (!ok) _exit(0);
  }
}
