// The helper process that opens self-describing files: damaged HDF4 files
// that crash the library while their data are read, or make it take all
// memory or hang, cost a display or an open, never the session.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <png.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <limits.h>
#include <thread>

#include "base/cpulimit.h"
#include "base/noproc.h"
#include "data/datetime.h"
#include "data/grib2.h"
#include "data/grib2_util.h"
#include "hdfdamage.h"
#include "sdftest.h"
#include "sdf/sdfblock.h"
#include "sdf/sdfproto.h"

bool make_hdf4_file(const char* path);
bool make_hdf4_stored(const char* path, bool chunked);
bool make_hdf4_grid(const char* path, int nlat, int nlon);

using namespace sdftest;

namespace {

// The checking allocator needs /proc to start, and cannot start under the
// loader named as the program: rows that need either are left out there.
// It also ends a process at an allocation it cannot give, and keeps small
// pieces it freed.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kChecking = true;
#else
constexpr bool kChecking = false;
#endif

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A field of /proc/<pid>/status in kB ("RssAnon", "VmSize"); -1 when absent.
long status_kb(int pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

char process_state(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t paren = stat.rfind(')');
  return paren == std::string::npos || paren + 2 >= stat.size() ? '?' : stat[paren + 2];
}

// Kills the running helper as a user or the system would from outside, and
// waits until it has ended (a zombie nobody has reaped yet).  Its pid.
int kill_helper() {
  const int pid = helper_pid();
  if (pid <= 0 || kill(pid, SIGKILL) != 0) return -1;
  while (process_state(pid) != 'Z') std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return pid;
}

// While a helper's pid is watched, an ending signal's handler comes right
// after the program reaps it, and must find the pid gone.
pid_t reapwatch = 0;  // negated once reaped
int latewaits = 0;    // waits for it after that
// While this pid is watched, an ending comes as the program starts to
// wait for the helper's end, and must reap it itself.
pid_t endwatch = 0;
bool endreaped = false;
// A wait that succeeds leaves errno as it found it, which may be EINTR:
// only a failed call sets it.
bool staleerrno = false;

void endingcomes(pid_t pid, int options) {
  static const auto real = reinterpret_cast<int (*)(idtype_t, id_t, siginfo_t*, int)>(dlsym(RTLD_NEXT, "waitid"));
  if (pid <= 0 || pid != endwatch || (options & WNOHANG)) return;
  endwatch = 0;
  sdf_helper_end();
  siginfo_t info;
  endreaped = real(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
}

// While a test sets jump_ns, the monotonic clock the program reads stands
// still: its first reading is the true time, every later one that time
// and jump_ns nanoseconds.
struct {
  long jump_ns = 0;
  bool read = false;
  struct timespec first = {0, 0};
} clockset;

}  // namespace

extern "C" int clock_gettime(clockid_t id, struct timespec* ts) {
  static const auto real = reinterpret_cast<int (*)(clockid_t, struct timespec*)>(dlsym(RTLD_NEXT, "clock_gettime"));
  if (id != CLOCK_MONOTONIC || clockset.jump_ns == 0) return real(id, ts);
  if (!clockset.read) {
    clockset.read = true;
    const int r = real(id, ts);
    clockset.first = *ts;
    return r;
  }
  const long ns = clockset.first.tv_nsec + clockset.jump_ns;
  ts->tv_sec = clockset.first.tv_sec + ns / 1000000000;
  ts->tv_nsec = ns % 1000000000;
  return 0;
}

namespace {

// While set, the netCDF library's open ends any process but this one with
// exit(), as a library that meets an error it takes for fatal does.
pid_t exit_elsewhere = 0;

// While watched, the pid of the running helper at the moment the spawn
// lets the signals through again (it blocks them all meanwhile): an
// ending that comes then must find the helper it started.
bool maskwatch = false;
pid_t pid_at_unblock = -2;

}  // namespace

namespace {

// (Looked up at the first call: a helper serves from the program's
// initialisers, which may run before this file's.)
ssize_t real_pread(int fd, void* buf, size_t n, off_t off) {
  static const auto real = reinterpret_cast<ssize_t (*)(int, void*, size_t, off_t)>(dlsym(RTLD_NEXT, "pread"));
  return real(fd, buf, n, off);
}

// In a helper started while OMBRA_TEST_READS is set, a large read of a
// file (a chunk of a grid), or a codec library's start on a stream, first
// crawls, reading a byte of the file every twentieth of a second for three
// seconds ("crawl"), or spins for good ("spin"), or the helper is killed
// as from outside ("kill"; "kill:PATH" only while no file PATH is there,
// which it makes), or the library crashes by signal N ("fault:N").
void as_told(int fd, off_t off) {
  static const char* how =
      std::strcmp(program_invocation_short_name, "ombra-sdf-helper") == 0 ? std::getenv("OMBRA_TEST_READS") : nullptr;
  if (how == nullptr) return;
  if (how[0] == 'k' && (how[4] != ':' || ::open(how + 5, O_WRONLY | O_CREAT | O_EXCL, 0600) >= 0)) kill(getpid(), SIGKILL);
  if (how[0] == 'f') raise(std::atoi(how + 6));
  for (int k = 0; how[0] == 'c' && k < 60; k++) {
    char c;
    real_pread(fd, &c, 1, off);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  for (volatile unsigned spin = 0; how[0] == 's'; spin = spin + 1) {
  }
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buf, size_t n, off_t off) {
  if (n >= 100000) as_told(fd, off);
  return real_pread(fd, buf, n, off);
}

extern "C" png_structp png_create_read_struct(png_const_charp ver, png_voidp err, png_error_ptr onerr,
                                              png_error_ptr onwarn) {
  static const auto real = reinterpret_cast<png_structp (*)(png_const_charp, png_voidp, png_error_ptr, png_error_ptr)>(
      dlsym(RTLD_NEXT, "png_create_read_struct"));
  as_told(-1, 0);
  return real(ver, err, onerr, onwarn);
}

// In a helper started while OMBRA_TEST_INTERRUPT is set, an interrupt
// comes as soon as its start has set the signals it holds back, as one
// typed at the terminal may: it must be held there, then set aside.
extern "C" int sigprocmask(int how, const sigset_t* set, sigset_t* old) {
  static const auto real = reinterpret_cast<int (*)(int, const sigset_t*, sigset_t*)>(dlsym(RTLD_NEXT, "sigprocmask"));
  static bool raised = false;
  const int r = real(how, set, old);
  if (!raised && how == SIG_SETMASK && std::getenv("OMBRA_TEST_INTERRUPT") != nullptr &&
      std::strcmp(program_invocation_short_name, "ombra-sdf-helper") == 0) {
    raised = true;
    raise(SIGINT);
  }
  return r;
}

// In a helper started while OMBRA_TEST_ANSWER is set ("KK:HEX"), the first
// answer it sends that begins with the byte KK is the bytes HEX instead,
// and the rest of that answer is not sent.
// Elsewhere, the requests sent are counted.
long requests_sent = 0;

extern "C" ssize_t send(int fd, const void* buf, size_t n, int flags) {
  static const auto real = reinterpret_cast<ssize_t (*)(int, const void*, size_t, int)>(dlsym(RTLD_NEXT, "send"));
  static const bool helper = std::strcmp(program_invocation_short_name, "ombra-sdf-helper") == 0;
  static const char* lie = helper ? std::getenv("OMBRA_TEST_ANSWER") : nullptr;
  if (!helper) requests_sent++;
  static bool quiet = false;  // the rest of the answer replaced
  auto byte = [](const char* h) { return static_cast<char>(std::stoi(std::string(h, 2), nullptr, 16)); };
  if (lie != nullptr && n > 0 && static_cast<const char*>(buf)[0] == byte(lie)) {
    std::string bytes;
    for (const char* h = lie + 3; h[0] != '\0' && h[1] != '\0'; h += 2) bytes.push_back(byte(h));
    quiet = true;
    return real(fd, bytes.data(), bytes.size(), flags) == static_cast<ssize_t>(bytes.size()) ? static_cast<ssize_t>(n) : -1;
  }
  if (quiet && lie != nullptr && lie[0] == '0' && lie[1] == '2') {
    quiet = false;  // a description's coordinates
    return static_cast<ssize_t>(n);
  }
  quiet = false;
  return real(fd, buf, n, flags);
}

extern "C" int nc_open(const char* path, int mode, int* ncidp) {
  static const auto real = reinterpret_cast<int (*)(const char*, int, int*)>(dlsym(RTLD_NEXT, "nc_open"));
  if (exit_elsewhere > 0 && getpid() != exit_elsewhere) std::exit(3);
  return real(path, mode, ncidp);
}

extern "C" int pthread_sigmask(int how, const sigset_t* set, sigset_t* old) {
  static const auto real =
      reinterpret_cast<int (*)(int, const sigset_t*, sigset_t*)>(dlsym(RTLD_NEXT, "pthread_sigmask"));
  sigset_t now;
  if (maskwatch && how == SIG_SETMASK && real(SIG_BLOCK, nullptr, &now) == 0 && sigismember(&now, SIGTERM) &&
      sigismember(&now, SIGHUP)) {
    maskwatch = false;
    pid_at_unblock = helper_pid();
  }
  return real(how, set, old);
}

extern "C" int waitid(idtype_t type, id_t id, siginfo_t* info, int options) {
  static const auto real = reinterpret_cast<int (*)(idtype_t, id_t, siginfo_t*, int)>(dlsym(RTLD_NEXT, "waitid"));
  if (type == P_PID) endingcomes(static_cast<pid_t>(id), options);
  return real(type, id, info, options);
}

extern "C" pid_t waitpid(pid_t pid, int* status, int options) {
  static const auto real = reinterpret_cast<pid_t (*)(pid_t, int*, int)>(dlsym(RTLD_NEXT, "waitpid"));
  endingcomes(pid, options);
  if (pid > 0 && pid == -reapwatch) latewaits++;
  const pid_t r = real(pid, status, options);
  if (r > 0 && r == reapwatch) reapwatch = -r, sdf_helper_end();
  if (r >= 0 && staleerrno) errno = EINTR;
  return r;
}

namespace {

template <class F>
int in_child(F body);
bool deny(std::initializer_list<long> calls, int err);

// A GRIB2 message of one field of 4 x 3 points (the small grid of the
// tests' writer) packed as a 16-bit grey PNG image of the values given, or
// with the stream given in its place.
std::string png_message(const std::vector<uint16_t>& v, std::string stream = "") {
  using g2test::be;
  auto chunk = [](const std::string& type, const std::string& data) {
    const std::string c = type + data;
    return be(data.size(), 4) + c + be(crc32(0, reinterpret_cast<const Bytef*>(c.data()), static_cast<uInt>(c.size())), 4);
  };
  if (stream.empty()) {
    std::string raw;
    for (size_t k = 0; k < v.size(); k++) raw += (k % 4 == 0 ? std::string(1, '\0') : "") + be(v[k], 2);
    uLongf n = compressBound(raw.size());
    std::string z(n, '\0');
    compress(reinterpret_cast<Bytef*>(&z[0]), &n, reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    z.resize(n);
    stream = "\x89PNG\r\n\x1a\n" + chunk("IHDR", be(4, 4) + be(3, 4) + std::string("\x10\0\0\0\0", 5)) +
             chunk("IDAT", z) + chunk("IEND", "");
  }
  const std::string s5 = g2test::sec(5, be(12, 4) + be(41, 2) + g2test::ieee(0) + be(0, 4) + std::string("\x10\0", 2));
  return g2test::message({g2test::sec1(), g2test::sec3(g2test::grid()), g2test::sec4(), s5, g2test::sec6({}),
                          g2test::sec(7, stream)});
}

const std::vector<uint16_t> kPngValues = {7, 1007, 2007, 3007, 4007, 5007, 6007, 7007, 8007, 9007, 10007, 65535};

// The field of message m decoded through the codec seam as it stands (the
// points in the message's order are the program's here), or why not.
std::vector<float> seam_decode(const std::string& m, std::string* why) {
  std::vector<g2field> fs;
  std::vector<float> out(12);
  why->clear();
  if (g2scanmsg(g2test::u(m), m.size(), &fs, why) || fs.size() != 1 ||
      g2decode(g2test::u(m), m.size(), fs[0], out.data(), out.size(), -9.99e8f, why))
    return {};
  return out;
}

// The limits in force are put back whatever a test set.
struct helperlimits : ::testing::Test {
  void TearDown() override {
    helper_set_limits(30, 0);
    gcmn.sigflg = 0;
  }
  // Makes the small HDF4 test file under the name given and opens it on
  // st (then st.last()); its path.
  std::string open_hdf(state& st, const std::string& leaf) {
    const std::string f = tmpdir() + "/" + leaf;
    std::string out;
    EXPECT_TRUE(make_hdf4_file(f.c_str()));
    EXPECT_EQ(open_quiet(st, f, &out), 0) << out;
    return f;
  }
};

TEST(sdfwire, DescriptionsRoundTripAndDamagedBytesAreRefused) {
  io_std io;
  io.ndims = 2;
  io.recdim = 1;
  io.dimids = {0, 1};
  io.dimnames = {"lon", "time"};
  io.dimlens = {144, 3};
  netcdf_att title;
  title.attname = "title";
  title.nctype = SDF_CHAR;
  title.count = 2;
  title.values = {'h', 'i', 0};
  io.gatts = {title};
  var_info v;
  v.varid = 4;
  v.ncname = "ndvi";
  v.nctype = SDF_UBYTE;
  v.dimids = {1, 0};
  netcdf_att fill;
  fill.attname = "_FillValue";
  fill.nctype = SDF_UBYTE;
  fill.count = 1;
  fill.values = {255};
  v.atts = {fill};
  io.varlist = {v};
  const std::string bytes = pack_description(io);
  io_std back;
  ASSERT_EQ(unpack_description(bytes, &back), 1);
  EXPECT_EQ(back.ndims, 2);
  EXPECT_EQ(back.recdim, 1);
  EXPECT_EQ(back.dimnames, (std::vector<std::string>{"lon", "time"}));
  EXPECT_EQ(back.dimlens, (std::vector<long>{144, 3}));
  EXPECT_EQ(att_text(back.gatts, "title"), "hi");
  ASSERT_EQ(back.nvars, 1);
  EXPECT_EQ(back.varlist[0].varid, 4);
  EXPECT_EQ(back.varlist[0].ncname, "ndvi");
  EXPECT_EQ(back.varlist[0].nctype, SDF_UBYTE);
  EXPECT_EQ(back.varlist[0].dimids, (std::vector<int>{1, 0}));
  EXPECT_EQ(back.varlist[0].ndims, 2);
  ASSERT_EQ(back.varlist[0].natts, 1);
  EXPECT_EQ(back.varlist[0].atts[0].values, (std::vector<unsigned char>{255}));
  // Cut anywhere, or with bytes left over, the bytes make no description.
  for (size_t n = 0; n < bytes.size(); n++) EXPECT_EQ(unpack_description(bytes.substr(0, n), &back), 0) << n;
  EXPECT_EQ(unpack_description(bytes + "x", &back), 0);
  // A count claiming more than the bytes hold is refused before anything
  // is made for it: here the variable count, 4 bytes before the first
  // variable's id.
  std::string big = bytes;
  const size_t at = bytes.size() - (4 + 4 + 4 + 4 + 4 + 4 * 2 + 4 + 4 + 10 + 4 + 4 + 4 + 1) - 4;
  ASSERT_EQ(big[at], 1);
  big[at + 3] = '\x7f';
  EXPECT_EQ(unpack_description(big, &back), 0);
  // A dimension of a variable beyond the file's dimensions.
  io.varlist[0].dimids = {1, 2};
  EXPECT_EQ(unpack_description(pack_description(io), &back), 0);
}

// A helper's answer of times is taken only as it is made: what the
// reading said, then the times, within the length it gives, which may be
// no longer than what was asked for; anything else is no answer, and
// leaves nothing on the socket for the next request.
TEST(sdfwire, TimesAnswersAreTakenOnlyWhole) {
  auto le = [](uint32_t w) { return std::string(reinterpret_cast<const char*>(&w), 4); };
  auto answer = [&](const std::string& body) {
    const std::string bytes = std::string(1, HELPER_TIMES) + le(static_cast<uint32_t>(body.size())) + body;
    std::string h = "06:";
    char b[3];
    for (char c : bytes) std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(c)), h += b;
    return h;
  };
  const std::string t = le(2001) + le(1) + le(15) + le(12) + le(0);
  const struct {
    std::string answer;
    int kind;
    std::string said;
    size_t times;
  } rows[] = {
      {answer(le(2) + "hi" + t), HELPER_TIMES, "hi", 1},
      {answer(le(0) + t), HELPER_TIMES, "", 1},
      {"06:06fcffffff", HELPER_DIED, "", 0},                  // a length past any answer
      {answer(le(2) + "hi" + t.substr(0, 19)), HELPER_DIED, "", 0},  // part of a time
      {answer(le(30) + "hi" + t), HELPER_DIED, "", 0},               // said past the end
  };
  for (const auto& r : rows) {
    setenv("OMBRA_TEST_ANSWER", r.answer.c_str(), 1);
    helper_set_limits(2, 0);  // the next helper answers so
    std::vector<datetime> times;
    std::string said;
    const long sent = requests_sent;
    EXPECT_EQ(helper_times(OMBRA_SOURCE_DIR "/share/sample/sample.nc", 1, &times, &said), r.kind) << r.answer;
    // What is no answer is asked once more, of a fresh helper.
    EXPECT_EQ(requests_sent - sent, r.kind == HELPER_TIMES ? 1 : 2) << r.answer;
    unsetenv("OMBRA_TEST_ANSWER");
    EXPECT_EQ(said, r.said) << r.answer;
    ASSERT_EQ(times.size(), r.times) << r.answer;
    if (r.times == 1) {
      EXPECT_EQ(times[0].yr, 2001);
      EXPECT_EQ(times[0].hr, 12);
    }
    // The socket holds nothing more: the next request is answered.
    state st;
    std::string out;
    EXPECT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out), 0) << out;
  }
  helper_set_limits(30, 0);
}

// A helper given a request that lies about the slab (larger than the block
// it may write, not the variable's size, past the block's end) refuses it
// and goes on; one whose request is no request ends.  Talked to here as
// the program talks to it.
TEST(sdfwire, ReadRequestsThatLieAreRefused) {
  static pid_t pid = -1;
  static int sock = -1;
  const int block = memfd_create("blocktest", MFD_CLOEXEC);
  ASSERT_GE(block, 0);
  ASSERT_EQ(ftruncate(block, 4096), 0);
  std::string why;
  ASSERT_EQ(spawn_helper(size_t(256) << 20, block, true, [](pid_t p, int fd, bool) { pid = p, sock = fd; }, &why), 1)
      << why;
  char c = 0;
  ASSERT_EQ(read(sock, &c, 1), 1);
  const std::string name = OMBRA_SOURCE_DIR "/share/sample/sample.nc";
  auto head = [&](char op) {
    std::string r(1, op);
    put(&r, static_cast<uint32_t>(name.size()));
    return r + name;
  };
  // Described first: the kind, the description, the coordinates' values.
  std::string req = head(OP_DESCRIBE);
  ASSERT_TRUE(sendall(sock, req.data(), req.size()));
  auto take = [&](size_t n) {
    std::string got(n, '\0');
    size_t at = 0;
    while (at < n) {
      const ssize_t r = read(sock, &got[at], n - at);
      if (r <= 0) return std::string();
      at += static_cast<size_t>(r);
    }
    return got;
  };
  ASSERT_EQ(take(1), std::string(1, HELPER_HELD));
  for (int part = 0; part < 2; part++) {
    uint32_t len = 0;
    const std::string l = take(4);
    ASSERT_EQ(l.size(), 4u);
    std::memcpy(&len, l.data(), 4);
    ASSERT_EQ(take(len).size(), len);
  }
  // lat, variable 1: 73 doubles (584 bytes).
  auto read_req = [&](uint64_t want, uint64_t room, uint64_t at, uint32_t nd) {
    std::string r = head(OP_READ);
    put(&r, int32_t{1});
    put(&r, nd);
    for (uint32_t k = 0; k < nd; k++) put(&r, uint64_t{0});
    for (uint32_t k = 0; k < nd; k++) put(&r, uint64_t{73});
    put(&r, want);
    put(&r, room);
    put(&r, at);
    put(&r, uint8_t{0});
    put(&r, uint32_t{1});
    put(&r, uint32_t{1});
    for (int k = 0; k < 3; k++) put(&r, uint64_t{0});
    return r;
  };
  const struct {
    uint64_t want, room, at;
    char answer;
  } rows[] = {{584, 4096, 0, READ_IN_BLOCK}, {584, 500, 0, READ_FAILED}, {292, 4096, 0, READ_FAILED},
              {584, 4096, 4000, READ_FAILED}, {584, 4096, uint64_t{1} << 63, READ_FAILED}};
  for (const auto& r : rows) {
    req = read_req(r.want, r.room, r.at, 1);
    ASSERT_TRUE(sendall(sock, req.data(), req.size()));
    EXPECT_EQ(take(1), std::string(1, r.answer)) << r.want << " " << r.room << " " << r.at;
    if (r.answer == READ_IN_BLOCK) {
      EXPECT_EQ(take(4).size(), 4u);
    }
  }
  req = read_req(584, 4096, 0, SDF_MAX_DIMS + 1);
  ASSERT_TRUE(sendall(sock, req.data(), req.size()));
  EXPECT_EQ(take(1), "");  // ended
  int ws = 0;
  ASSERT_EQ(waitpid(pid, &ws, 0), pid);
  EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0) << ws;
  close(sock);
  close(block);
}

// The values of a grid of the tests: i % 1000, or with noise numbers that
// hardly compress.
std::vector<float> grid_values(size_t n, bool noise) {
  std::vector<float> grid(n * n);
  uint32_t x = 12345;
  for (size_t i = 0; i < grid.size(); i++)
    grid[i] = noise ? static_cast<float>(x = x * 1103515245u + 12345u) : static_cast<float>(i % 1000);
  return grid;
}

// A netCDF-4 file of an n x n float grid v (grid_values) stored in chunks
// of c x c, with lat and lon coordinates; deflated at level z (0: not).
bool make_nc4_grid(const std::string& path, size_t n, size_t c, int z = 0, bool noise = false) {
  int nc = -1, dy, dx, vy, vx, vv;
  if (nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &nc) != NC_NOERR) return false;
  nc_def_dim(nc, "lat", n, &dy);
  nc_def_dim(nc, "lon", n, &dx);
  nc_def_var(nc, "lat", NC_FLOAT, 1, &dy, &vy);
  nc_put_att_text(nc, vy, "units", 13, "degrees_north");
  nc_def_var(nc, "lon", NC_FLOAT, 1, &dx, &vx);
  nc_put_att_text(nc, vx, "units", 12, "degrees_east");
  const int yx[2] = {dy, dx};
  const size_t chunks[2] = {c, c};
  nc_def_var(nc, "v", NC_FLOAT, 2, yx, &vv);
  nc_def_var_chunking(nc, vv, NC_CHUNKED, chunks);
  if (z > 0) nc_def_var_deflate(nc, vv, 0, 1, z);
  std::vector<float> axis(n);
  for (size_t i = 0; i < n; i++) axis[i] = -89.0f + 178.0f * static_cast<float>(i) / static_cast<float>(n - 1);
  nc_put_var_float(nc, vy, axis.data());
  for (size_t i = 0; i < n; i++) axis[i] = 360.0f * static_cast<float>(i) / static_cast<float>(n);
  nc_put_var_float(nc, vx, axis.data());
  // A band of chunk rows at a time: the library makes a record for every
  // chunk a write touches.
  const std::vector<float> grid = grid_values(n, noise);
  for (size_t row = 0; row < n; row += c) {
    const size_t start[2] = {row, 0}, count[2] = {std::min(c, n - row), n};
    nc_put_vara_float(nc, vv, start, count, grid.data() + row * n);
  }
  return nc_close(nc) == NC_NOERR;
}

// A description's answer of a kind no helper gives is no description: the
// open is refused, and the helper that gave it is ended, not asked again.
TEST(sdfwire, AnAnswerOfNoKnownKindOpensNothing) {
  setenv("OMBRA_TEST_ANSWER", "02:09", 1);
  helper_set_limits(30, 0);  // the next helper answers so
  state st;
  std::string out;
  EXPECT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out), 1);
  unsetenv("OMBRA_TEST_ANSWER");
  EXPECT_EQ(out, "Scanning self-describing file:  " OMBRA_SOURCE_DIR "/share/sample/sample.nc\n\nCouldn't ingest SDF metadata.\n");
  EXPECT_EQ(helper_pid(), -1);
  EXPECT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out), 0) << out;
  // A file with no coordinates to bring along is described by a helper
  // that goes on.
  const int pid = helper_pid();
  const std::string bare = tmpdir() + "/bare.nc";
  {
    int nc = -1, dx, vx;
    ASSERT_EQ(nc_create(bare.c_str(), NC_CLOBBER | NC_NETCDF4, &nc), NC_NOERR);
    nc_def_dim(nc, "x", 3, &dx);
    nc_def_var(nc, "v", NC_FLOAT, 1, &dx, &vx);
    ASSERT_EQ(nc_close(nc), NC_NOERR);
  }
  open_quiet(st, bare, &out);
  EXPECT_EQ(helper_pid(), pid);
  // A read answered with no steps: the helper that gave it is ended, and
  // a fresh one that does the same makes the file one the library fails
  // on (not one ended from outside).
  const std::string zipped = tmpdir() + "/lying.nc";
  ASSERT_TRUE(make_nc4_grid(zipped, 60, 60, 1, true));
  setenv("OMBRA_TEST_ANSWER", "01:0100000000", 1);
  helper_set_limits(30, 0);
  ASSERT_EQ(open_quiet(st, zipped, &out), 0) << out;
  int lo[4] = {1, 1, 1, 1}, hi[4] = {60, 60, 1, 1};
  request r(st.last(), "v", 0, 1, lo, hi);
  EXPECT_EQ(r.read(&out), 3);
  unsetenv("OMBRA_TEST_ANSWER");
  EXPECT_EQ(out, "SDF read error:  " + zipped + " is damaged: the HDF library fails on it.\nFailure reading SDF data.  #1\n");
  helper_set_limits(30, 0);
}

// The first child of the root of the file's first chunk index made the
// root itself: HDF5 follows it for good, down its stack.
bool loop_chunk_index(const std::string& path) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const size_t root = d.find("TREE");
  // Signature, type, level, entries, two siblings; a key of a 2-D index
  // (size, filter mask, three offsets) before the child.
  if (root == std::string::npos || d[root + 5] != 1) return false;
  const uint64_t self = root;
  f.seekp(static_cast<std::streamoff>(root + 24 + 32));
  f.write(reinterpret_cast<const char*>(&self), 8);
  return static_cast<bool>(f);
}

TEST_F(helperlimits, ACrashWhileReadingFailsTheReadOnly) {
  // The longitude chunk length made 2^31 - 2^24 + 10: the library's chunked
  // read runs wild; a netCDF-4 chunk index that loops: HDF5 recurses until
  // its stack is gone.
  std::string bad = tmpdir() + "/chunk_bad.hdf", loop = tmpdir() + "/loop.nc";
  ASSERT_TRUE(make_hdf4_stored(bad.c_str(), true));
  ASSERT_TRUE(damage_special_header(bad, 67, 127));
  ASSERT_TRUE(make_nc4_grid(loop, 200, 10) && loop_chunk_index(loop));
  std::string good = tmpdir() + "/good.hdf";
  ASSERT_TRUE(make_hdf4_file(good.c_str()));
  state st;
  std::string out;
  ASSERT_EQ(open_quiet(st, good, &out), 0) << out;
  datafile* pgood = st.last();
  const struct {
    std::string file, var;
    int nx, ny;
  } rows[] = {{bad, "hgt", 30, 20}, {loop, "v", 200, 200}};
  for (const auto& row : rows) {
    ASSERT_EQ(open_quiet(st, row.file, &out), 0) << out;
    int lo[4] = {1, 1, 1, 1}, hi[4] = {row.nx, row.ny, 1, 1};
    request r(st.last(), row.var, 0, 1, lo, hi);
    EXPECT_EQ(r.read(&out), 3);
    EXPECT_EQ(out, "SDF read error:  " + row.file + " is damaged: the HDF library fails on it.\n"
                   "Failure reading SDF data.  #1\n");
    // The good file, held by the helper that died, is opened again by the
    // next one and reads.
    int glo[4] = {1, 1, 1, 2}, ghi[4] = {4, 3, 1, 2};
    request g(pgood, "temp", 0, 1, glo, ghi);
    ASSERT_EQ(g.read(), 0);
    EXPECT_EQ(g.at(0, 0), 13);
    EXPECT_EQ(g.at(3, 2), 24);
  }
}

// A hang-up or TERM sent to the whole process group ends the helper by
// the signal's default action: the program's own handlers, which finish
// the program's metafile and print its closing lines, are not run there.
TEST_F(helperlimits, TheHelperDoesNotRunTheProgramsHandlers) {
  struct sigaction own = {}, old;
  own.sa_handler = [](int) { _exit(77); };
  sigemptyset(&own.sa_mask);
  ASSERT_EQ(sigaction(SIGTERM, &own, &old), 0);
  std::string good = tmpdir() + "/handlers.hdf";
  ASSERT_TRUE(make_hdf4_file(good.c_str()));
  state st;
  std::string out;
  int rc = open_quiet(st, good, &out);
  sigaction(SIGTERM, &old, nullptr);
  ASSERT_EQ(rc, 0) << out;
  pid_t pid = helper_pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  int ws = 0;
  ASSERT_EQ(waitpid(pid, &ws, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(ws) && WTERMSIG(ws) == SIGTERM) << "wait status " << ws;
}

TEST_F(helperlimits, UndamagedCompressedAndChunkedDataRead) {
  for (bool chunked : {false, true}) {
    std::string f = tmpdir() + (chunked ? "/chunk.hdf" : "/huff.hdf");
    ASSERT_TRUE(make_hdf4_stored(f.c_str(), chunked));
    state st;
    std::string out;
    ASSERT_EQ(open_quiet(st, f, &out), 0) << out;
    int lo[4] = {1, 1, 1, 2}, hi[4] = {30, 20, 1, 2};
    request r(st.last(), "hgt", 0, 1, lo, hi);
    ASSERT_EQ(r.read(), 0);
    // Stored values are i % 37 over time, lat, lon.
    EXPECT_EQ(r.at(0, 0), 600 % 37);
    EXPECT_EQ(r.at(29, 19), 1199 % 37);
    EXPECT_EQ(r.at(7, 3), (600 + 3 * 30 + 7) % 37);
  }
}

// The one chunk of a netCDF-4 file's 512 x 512 grid v (deflated at level
// 1, values that hardly compress) made a deflate stream of 768 MB of
// zeros, in the chunk's own bytes.
bool inflating_chunk(const std::string& path) {
  const size_t n = 512;
  if (!make_nc4_grid(path, n, n, 1, true)) return false;
  const std::vector<float> grid = grid_values(n, true);
  // The stored chunk: the same bytes as compress2 makes of the grid.
  std::vector<unsigned char> stored(compressBound(n * n * 4));
  uLongf len = stored.size();
  if (compress2(stored.data(), &len, reinterpret_cast<const Bytef*>(grid.data()), n * n * 4, 1) != Z_OK) return false;
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const size_t at = d.find(std::string(reinterpret_cast<const char*>(stored.data()), 256));
  // A megabyte of zeros flushed whole repeats as the same bytes: the
  // stream's head, then that block again and again.
  static unsigned char zeros[1 << 20];
  std::vector<unsigned char> out(1 << 16);
  z_stream z = {};
  deflateInit(&z, 9);
  std::string head, block;
  for (std::string* part : {&head, &block}) {
    z.next_in = zeros;
    z.avail_in = sizeof zeros;
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FULL_FLUSH);
    part->assign(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
  }
  deflateEnd(&z);
  std::string bomb = head;
  for (int k = 1; k < 768; k++) bomb += block;
  if (at == std::string::npos || bomb.size() > len) return false;
  f.seekp(static_cast<std::streamoff>(at));
  f.write(bomb.data(), static_cast<std::streamsize>(bomb.size()));
  return static_cast<bool>(f);
}

TEST_F(helperlimits, AnOpenOrReadThatWouldTakeAllMemoryIsRefused) {
  // The uncompressed size in the Huffman header made huge: without a cap
  // the library takes some 14 GB before it succeeds or fails; a netCDF-4
  // chunk of a megabyte whose stream inflates to 768 MB.
  std::string huff = tmpdir() + "/huff_bomb.hdf", inflating = tmpdir() + "/inflating.nc";
  ASSERT_TRUE(make_hdf4_stored(huff.c_str(), false));
  ASSERT_TRUE(damage_special_header(huff, 15, 118));
  ASSERT_TRUE(inflating_chunk(inflating));
  state st;
  std::string out;
  // A file the helper opens first starts it, under the cap: what the
  // helper held once started and the 16 MB it may grow by, which no
  // request goes beyond (its data since grown by a little).
  std::string good = tmpdir() + "/capped_good.hdf";
  ASSERT_TRUE(make_hdf4_file(good.c_str()));
  helper_set_limits(30, size_t(16) << 20);
  ASSERT_EQ(open_quiet(st, good, &out), 0) << out;
  ASSERT_GT(helper_pid(), 0);
  std::ifstream lim("/proc/" + std::to_string(helper_pid()) + "/limits");
  std::string line;
  std::string soft;
  while (std::getline(lim, line))
    if (line.rfind("Max data size", 0) == 0) soft = line.substr(26, line.find(' ', 26) - 26);
  ASSERT_TRUE(!soft.empty() && soft != "unlimited") << "the helper runs without a memory cap";
  std::ifstream statm("/proc/" + std::to_string(helper_pid()) + "/statm");
  long long pages[6] = {0, 0, 0, 0, 0, 0};
  for (long long& p : pages) statm >> p;
  const long long held = std::stoll(soft) - (16LL << 20), data = pages[5] * sysconf(_SC_PAGESIZE);
  EXPECT_GT(held, 0);
  EXPECT_LE(held, data);
  EXPECT_GT(held, data - (16LL << 20));
  helper_set_limits(30, size_t(256) << 20);
  // The files' descriptions are whole: they open, and their data fail to
  // read once a read has taken what it may, far under the helper's cap.
  // (A checking allocator ends the helper at the first allocation beyond
  // what it can give: the file is then refused as damaged at its open.)
  const struct {
    std::string file, var;
    int n;
  } rows[] = {{huff, "hgt", 30}, {inflating, "v", 512}};
  for (const auto& row : rows) {
    if (open_quiet(st, row.file, &out) != 0) {
      EXPECT_TRUE(kChecking) << out;
      EXPECT_NE(out.find("SDFOPEN error:  " + row.file + " is damaged: the netCDF/HDF library fails on it.\n"),
                std::string::npos)
          << out;
      continue;
    }
    int lo[4] = {1, 1, 1, 1}, hi[4] = {row.n, row.var == "v" ? row.n : 20, 1, 1};
    request r(st.last(), row.var, 0, 1, lo, hi);
    EXPECT_EQ(r.read(&out), 3) << row.file;
    const std::string failed = "Failure reading SDF data.  #1\n";
    if (kChecking) {
      EXPECT_EQ(out.substr(out.size() > failed.size() ? out.size() - failed.size() : 0), failed) << row.file;
    } else {
      EXPECT_EQ(out, failed) << row.file;
    }
    EXPECT_EQ(helper_pid(), -1);  // ended after the library failed
    struct rusage ru;
    ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &ru), 0);
    EXPECT_LT(ru.ru_maxrss, 160 * 1024) << "kB at the largest helper's peak, " << row.file;
  }
}

// A helper that does not answer (here stopped, as one hung in a library
// is to the program) ends at the time limit of an open, and a read that
// limit after it was last seen getting on.  A named pipe is refused
// before any library waits on it for a writer.
TEST_F(helperlimits, AnOpenOrReadThatHangsEndsAtTheTimeLimit) {
  state st;
  const std::string held = open_hdf(st, "stopped.hdf");
  datafile* pheld = st.last();
  // However large the file: a stopped helper has nothing more to decode.
  ASSERT_EQ(truncate(held.c_str(), 64 << 20), 0);
  helper_set_limits(1, 0);
  std::string out;
  const std::string pipe = tmpdir() + "/pipe.nc";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string sample = OMBRA_SOURCE_DIR "/share/sample/sample.nc";
  const struct {
    std::string name;  // opened, or the HDF file read when empty
    bool stop;         // the helper stopped first
    std::string says;
  } rows[] = {
      {sample, true, "SDFOPEN error:  " + sample + ": the netCDF/HDF library takes too long on it.\n\nCouldn't ingest SDF metadata.\n"},
      {"", true, "SDF read error:  " + held + ": the HDF library takes too long on it.\nFailure reading SDF data.  #1\n"},
      {pipe, false, "SDFOPEN error:  " + pipe + ": not a regular file.\n\nCouldn't ingest SDF metadata.\n"},
  };
  for (const auto& row : rows) {
    if (row.stop) {
      ASSERT_EQ(open_quiet(st, sample), 0);  // a helper runs
      ASSERT_TRUE(stop_helper());
    }
    // A wait with no limit is let go after ten seconds, to fail here.
    const int pid = helper_pid();
    std::atomic<bool> done{false};
    std::thread guard([&] {
      for (int k = 0; k < 1000 && !done; k++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!done && pid > 0) kill(pid, SIGCONT);
    });
    int lo[4] = {1, 1, 1, 2}, hi[4] = {4, 3, 1, 2};
    request r(pheld, "temp", 0, 1, lo, hi);
    auto t0 = std::chrono::steady_clock::now();
    const int rc = row.name.empty() ? r.read(&out) : open_quiet(st, row.name, &out);
    const double took = seconds_since(t0);
    done = true;
    guard.join();
    EXPECT_EQ(rc, row.name.empty() ? 3 : 1) << row.says;
    EXPECT_LT(took, row.stop ? 5.0 : 0.5) << row.says;
    EXPECT_NE(out.find(row.says), std::string::npos) << out;
    if (row.stop) {
      EXPECT_EQ(helper_pid(), -1);  // the helper that hung is gone
    }
  }
  // A read is waited for as long as the helper gets on with it, however
  // long it takes: one reading its file for three seconds reads; one
  // spinning in a loop is ended a second (the limit) after it is seen
  // doing nothing more.
  // Deflated, so that the helper reads it (values that hardly compress:
  // one large read of the file).
  const std::string slow = tmpdir() + "/slow.nc";
  ASSERT_TRUE(make_nc4_grid(slow, 200, 200, 1, true));
  for (const char* how : {"crawl", "spin"}) {
    setenv("OMBRA_TEST_READS", how, 1);
    helper_set_limits(1, 0);  // the next helper, which reads so
    ASSERT_EQ(open_quiet(st, slow, &out), 0) << out;
    unsetenv("OMBRA_TEST_READS");
    int lo[4] = {1, 1, 1, 1}, hi[4] = {200, 200, 1, 1};
    request r(st.last(), "v", 0, 1, lo, hi);
    // A signal the session takes while it waits (here one with a handler
    // of its own, as a window's may be) ends no wait.
    struct sigaction sa = {}, old = {};
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);
    const pthread_t self = pthread_self();
    std::atomic<bool> done{false};
    std::thread poke([&] {
      for (int k = 0; k < 20 && !done; k++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) pthread_kill(self, SIGUSR1);
      }
    });
    auto t0 = std::chrono::steady_clock::now();
    const int rc = r.read(&out);
    const double took = seconds_since(t0);
    done = true;
    poke.join();
    sigaction(SIGUSR1, &old, nullptr);
    if (how[0] == 'c') {
      EXPECT_EQ(rc, 0) << out;
      EXPECT_GT(took, 2.5);
      EXPECT_EQ(r.at(7, 3), grid_values(200, true)[3 * 200 + 7]);
      // Where /proc cannot be read, the helper's processor time tells that
      // it gets on.
      if (kChecking) continue;
      const int hidden = in_child([&] {
        if (!hide_proc()) return 77;
        setenv("OMBRA_TEST_READS", "crawl", 1);
        helper_set_limits(1, 0);
        state cs;
        if (open_quiet(cs, slow) != 0) return 2;
        unsetenv("OMBRA_TEST_READS");
        request c(cs.last(), "v", 0, 1, lo, hi);
        return c.read() == 0 && c.at(7, 3) == grid_values(200, true)[3 * 200 + 7] ? 0 : 1;
      });
      if (hidden != 77) {
        EXPECT_EQ(hidden, 0);
      }
    } else {
      EXPECT_EQ(rc, 3);
      EXPECT_LT(took, 5.0);
      EXPECT_EQ(out, "SDF read error:  " + slow + ": the HDF library takes too long on it.\nFailure reading SDF data.  #1\n");
    }
  }
}

// A netCDF-4 file of nt steps of an n x n float grid v (step t, point k:
// t * 10000 + k), one chunk a step, deflated at level z (0: stored as it
// is), with its coordinates.
std::string steps_file(const std::string& leaf, size_t n, size_t nt, int z) {
  const std::string path = tmpdir() + "/" + leaf;
  int nc = -1, dt, dy, dx, vt, vy, vx, vv;
  if (nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &nc) != NC_NOERR) return "";
  nc_def_dim(nc, "time", NC_UNLIMITED, &dt);
  nc_def_dim(nc, "lat", n, &dy);
  nc_def_dim(nc, "lon", n, &dx);
  nc_def_var(nc, "time", NC_DOUBLE, 1, &dt, &vt);
  nc_put_att_text(nc, vt, "units", 20, "hours since 2001-1-1");
  nc_def_var(nc, "lat", NC_FLOAT, 1, &dy, &vy);
  nc_put_att_text(nc, vy, "units", 13, "degrees_north");
  nc_def_var(nc, "lon", NC_FLOAT, 1, &dx, &vx);
  nc_put_att_text(nc, vx, "units", 12, "degrees_east");
  const int tyx[3] = {dt, dy, dx};
  const size_t chunk[3] = {1, n, n};
  nc_def_var(nc, "v", NC_FLOAT, 3, tyx, &vv);
  nc_def_var_chunking(nc, vv, NC_CHUNKED, chunk);
  if (z > 0) nc_def_var_deflate(nc, vv, 0, 1, z);
  std::vector<float> axis(n), grid(n * n);
  for (size_t i = 0; i < n; i++) axis[i] = -80.0f + 160.0f * static_cast<float>(i) / static_cast<float>(n);
  nc_put_var_float(nc, vy, axis.data());
  for (size_t i = 0; i < n; i++) axis[i] = 360.0f * static_cast<float>(i) / static_cast<float>(n);
  nc_put_var_float(nc, vx, axis.data());
  for (size_t t = 0; t < nt; t++) {
    const double hours = 6.0 * static_cast<double>(t);
    const size_t one = 1, start[3] = {t, 0, 0}, count[3] = {1, n, n};
    nc_put_vara_double(nc, vt, &t, &one, &hours);
    for (size_t k = 0; k < grid.size(); k++) grid[k] = static_cast<float>(t * 10000 + k);
    nc_put_vara_float(nc, vv, start, count, grid.data());
  }
  return nc_close(nc) == NC_NOERR ? path : "";
}

// A loop over the steps of a netCDF-4 variable gives every step's values,
// whether the helper gives where the file holds them (stored as it is)
// or decodes each a step ahead (compressed): in order, back again, at a
// point, and past its last step, with the same helper all along; a
// file cut short meanwhile fails the steps it lost.
TEST_F(helperlimits, ALoopOverStepsGivesEveryStep) {
  const size_t nt = 40;
  // Grids of 40 x 40, and of 32 x 32: steps that fill whole pages.
  for (size_t n : {40, 32})
  for (int z : {0, 1}) {
    const std::string f = steps_file("steps" + std::to_string(n) + "_" + std::to_string(z) + ".nc", n, nt, z);
    ASSERT_FALSE(f.empty());
    state st;
    std::string out;
    // An open is one request: the coordinates come with the description.
    ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out), 0) << out;  // a helper runs
    const long asked = requests_sent;
    ASSERT_EQ(open_quiet(st, f, &out), 0) << out;
    EXPECT_EQ(requests_sent - asked, 1);
    datafile* pfi = st.last();
    const int pid = helper_pid();
    // The times as an open reads them, whole or one, past the two the
    // description brought along, and a step past the last, which is no
    // failure of the file.
    var_info* tv = find_var(pfi->sdf, "time");
    ASSERT_NE(tv, nullptr);
    for (const std::vector<size_t>& at : {std::vector<size_t>{1, 1}, {0, nt}, {5, 1}, {0, 2}}) {
      ASSERT_EQ(read_variable_data(pfi->sdf->ncid, tv, {at[0]}, {at[1]}), 1) << at[0] << " " << at[1];
      ASSERT_EQ(tv->data.size(), at[1] * sizeof(double));
      for (size_t k = 0; k < at[1]; k++) {
        double h;
        std::memcpy(&h, tv->data.data() + k * sizeof h, sizeof h);
        EXPECT_EQ(h, 6.0 * static_cast<double>(at[0] + k)) << at[0] << " " << k;
      }
    }
    slabread past;
    past.name = f;
    past.varid = find_var(pfi->sdf, "v")->varid;
    past.start = {nt, 0, 0};
    past.count = {1, n, n};
    past.nbytes = n * n * sizeof(float);
    slabgot got;
    EXPECT_EQ(helper_read(past, &got), 0);
    EXPECT_EQ(helper_pid(), pid);
    std::vector<int> order;
    for (int t = 1; t <= static_cast<int>(nt); t++) order.push_back(t);
    for (int t = static_cast<int>(nt); t >= 1; t -= 3) order.push_back(t);
    int wrong = 0;
    long sent = requests_sent;
    for (int t : order) {
      // The steps in order ask the helper now and then: for the places
      // of more steps each time where it gives them.
      if (t == static_cast<int>(nt) && &t == &order[nt - 1] && z == 0) {
        EXPECT_LT(requests_sent - sent, 10) << "requests for " << nt << " steps";
      }
      int lo[4] = {1, 1, 1, t}, hi[4] = {static_cast<int>(n), static_cast<int>(n), 1, t};
      request r(pfi, "v", 0, 1, lo, hi);
      ASSERT_EQ(r.read(&out), 0) << z << " " << t << out;
      for (int k : {0, 7, static_cast<int>(n * n) - 1})
        if (r.vals[static_cast<size_t>(k)] != static_cast<float>((t - 1) * 10000 + k)) wrong++;
    }
    // A point's steps ask for more steps' values each time.
    sent = requests_sent;
    for (int t = 1; t <= static_cast<int>(nt); t++) {
      int lo[4] = {4, 6, 1, t}, hi[4] = {4, 6, 1, t};
      request r(pfi, "v", -1, -1, lo, hi);
      ASSERT_EQ(r.read(&out), 0) << z << " " << t << out;
      if (r.at(0) != static_cast<float>((t - 1) * 10000 + 5 * n + 3)) wrong++;
    }
    EXPECT_LT(requests_sent - sent, 10) << "requests for a point's " << nt << " steps, " << z;
    EXPECT_EQ(wrong, 0) << z;
    EXPECT_EQ(helper_pid(), pid) << z;  // nothing read past the last step failed
    // Cut short after a loop went past its steps: the steps it lost are
    // read errors, not zeros (the one read ahead before the cut holds what
    // the file held).
    int lo[4] = {1, 1, 1, 2}, hi[4] = {static_cast<int>(n), static_cast<int>(n), 1, 2};
    request second(pfi, "v", 0, 1, lo, hi);
    ASSERT_EQ(second.read(), 0);
    ASSERT_EQ(truncate(f.c_str(), 8192), 0);
    for (int t : {4, 5}) {
      int clo[4] = {1, 1, 1, t}, chi[4] = {static_cast<int>(n), static_cast<int>(n), 1, t};
      request r(pfi, "v", 0, 1, clo, chi);
      EXPECT_EQ(r.read(&out), 3) << z << " " << t;
      EXPECT_NE(out.find("Failure reading SDF data.  #1\n"), std::string::npos) << out;
      // So is a point's step whose values came ahead before the cut (the
      // last steps of the point's loop above).
      const int pt = static_cast<int>(nt) + t - 5;
      int plo[4] = {4, 6, 1, pt}, phi[4] = {4, 6, 1, pt};
      request p(pfi, "v", -1, -1, plo, phi);
      EXPECT_EQ(p.read(&out), 3) << z << " " << pt;
    }
    // What the reads keep stays for a script's next command, and is given
    // back as the prompt waits.
    if (z == 1) {
      EXPECT_GT(block_size(), 0u);
      sdf_reads_release(false);
      EXPECT_GT(block_size(), 0u);
      sdf_reads_release(true);
      EXPECT_EQ(block_size(), 0u);
    }
    // A file closed leaves the helper going.
    ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out), 0) << out;  // one runs
    const int running = helper_pid();
    EXPECT_EQ(close_netcdf(pfi->sdf->ncid), 1);
    ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out), 0) << out;
    EXPECT_EQ(helper_pid(), running);
  }
}

// The helper holds what it is given and no more: the null device for
// its standard descriptors (not the session's terminal or output), a cap
// on its memory that does not wrap round when it may grow by all there
// is, and an interrupt that comes as it starts held back and set aside.
TEST_F(helperlimits, TheHelperHoldsWhatItIsGivenAndNoMore) {
  struct rlimit own;
  ASSERT_EQ(getrlimit(RLIMIT_DATA, &own), 0);
  setenv("OMBRA_TEST_INTERRUPT", "1", 1);
  helper_set_limits(30, SIZE_MAX);
  state st;
  std::string out;
  const int rc = open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out);
  unsetenv("OMBRA_TEST_INTERRUPT");
  ASSERT_EQ(rc, 0) << out;
  for (int k = 0; k < 3; k++) {
    char to[64] = {0};
    EXPECT_GT(readlink(("/proc/" + std::to_string(helper_pid()) + "/fd/" + std::to_string(k)).c_str(), to, sizeof to - 1), 0);
    EXPECT_STREQ(to, "/dev/null") << k;
  }
  struct rlimit data = {};
  ASSERT_EQ(prlimit(helper_pid(), RLIMIT_DATA, nullptr, &data), 0);
  EXPECT_EQ(data.rlim_cur, own.rlim_cur);
  // A block the session cannot map fails the read, not the session: under
  // a limit on its address space a grid's block is refused.
  const std::string big = tmpdir() + "/blockless.nc";
  ASSERT_TRUE(make_nc4_grid(big, 4096, 512, 1));
  // (The checking allocator ends a process whose address space runs out.)
  const int child = kChecking ? 77 : in_child([&] {
    state cs;
    if (open_quiet(cs, big) != 0) return 2;
    int lo[4] = {1, 1, 1, 1}, hi[4] = {4096, 4096, 1, 1};
    request r(cs.last(), "v", 0, 1, lo, hi);
    const struct rlimit as = {static_cast<rlim_t>(status_kb(getpid(), "VmSize") + 32 * 1024) * 1024, RLIM_INFINITY};
    if (setrlimit(RLIMIT_AS, &as) != 0) return 77;
    std::string said;
    return r.read(&said) == 3 && said == "Failure reading SDF data.  #1\n" ? 0 : 1;
  });
  if (child != 77) {
    EXPECT_EQ(child, 0);
  }
  // Where no block can be had at all, under a hard limit on the size of
  // files or with memory files refused, the values come on the socket.
  const std::string zipped = tmpdir() + "/noblock.nc";
  ASSERT_TRUE(make_nc4_grid(zipped, 200, 200, 1, true));
  for (bool nomemfd : {false, true}) {
    const int rc = in_child([&] {
      signal(SIGXFSZ, SIG_IGN);  // as the session takes it
      helper_set_limits(30, 0);  // not this process's helper: the next open starts one
      if (nomemfd && !deny({SYS_memfd_create}, EPERM)) return 77;
      const struct rlimit fsize = {100 * 1024, 100 * 1024};
      if (!nomemfd && setrlimit(RLIMIT_FSIZE, &fsize) != 0) return 77;
      state cs;
      if (open_quiet(cs, zipped) != 0) return 2;
      int lo[4] = {1, 1, 1, 1}, hi[4] = {200, 200, 1, 1};
      request r(cs.last(), "v", 0, 1, lo, hi);
      if (r.read() != 0) return 3;
      const std::vector<float> want = grid_values(200, true);
      if (r.at(7, 3) != want[3 * 200 + 7] || r.at(199, 199) != want.back()) return 4;
      // A codec's integers too, where not even a page of a block can be had.
      block_trim(true);
      const struct rlimit none = {1, 1};
      if (setrlimit(RLIMIT_FSIZE, &none) != 0) return 77;
      sdf_codecs_in_helper();
      std::string why;
      return seam_decode(png_message(kPngValues), &why) == std::vector<float>(kPngValues.begin(), kPngValues.end()) ? 0 : 5;
    });
    if (rc != 77) {
      EXPECT_EQ(rc, 0) << nomemfd;
    }
  }
}

// A helper killed from outside (by a user, or by the system short of
// memory) while it reads is no sign of a damaged file: the read is made
// again on a fresh helper, and where that one is killed too the signal is
// said, not damage.
TEST_F(helperlimits, AHelperKilledWhileReadingIsSaidAsKilledAndTriedAgain) {
  const std::string f = tmpdir() + "/killed.nc", once = tmpdir() + "/killed.once";
  ASSERT_TRUE(make_nc4_grid(f, 200, 200, 1, true));
  state st;
  std::vector<std::string> hows = {"kill:" + once, "kill"};
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP}) hows.push_back("fault:" + std::to_string(sig));
  for (const std::string& how : hows) {
    setenv("OMBRA_TEST_READS", how.c_str(), 1);
    helper_set_limits(30, 0);  // every helper from here on reads so
    std::string out;
    ASSERT_EQ(open_quiet(st, f, &out), 0) << out;
    int lo[4] = {1, 1, 1, 1}, hi[4] = {200, 200, 1, 1};
    request r(st.last(), "v", 0, 1, lo, hi);
    const int rc = r.read(&out);
    unsetenv("OMBRA_TEST_READS");
    if (how.size() > 4 && how[4] == ':') {  // killed once, then read by a fresh one
      EXPECT_EQ(rc, 0) << out;
      EXPECT_EQ(out, "");
      EXPECT_EQ(r.at(7, 3), grid_values(200, true)[3 * 200 + 7]);
    } else if (how == "kill") {
      EXPECT_EQ(rc, 3);
      EXPECT_EQ(out, "SDF read error:  " + f + ": the helper process was ended from outside: it ended on signal 9 "
                     "(Killed).\nFailure reading SDF data.  #1\n");
    } else {  // a fault of its own, twice: the file is damaged
      EXPECT_EQ(rc, 3) << how;
      EXPECT_EQ(out, "SDF read error:  " + f + " is damaged: the HDF library fails on it.\nFailure reading SDF data.  #1\n")
          << how;
    }
  }
}

// The codec libraries of GRIB2 run in the helper, whose answer comes into
// the shared block: a field decodes there to its values; a helper that
// crashes on the stream makes the field damaged, and the next field
// decodes on a fresh helper; one killed from outside is tried again once;
// one that spins is ended at the limit; a stream the library refuses is
// refused for its reason, and ends the helper that read it.
TEST_F(helperlimits, CodecStreamsAreDecodedInTheHelper) {
  const std::string good = png_message(kPngValues), once = tmpdir() + "/codec.once";
  const std::vector<float> want(kPngValues.begin(), kPngValues.end());
  const g2codecfn keep = g2codec;
  sdf_codecs_in_helper();
  const struct {
    std::string how;  // OMBRA_TEST_READS for the helpers that decode it
    std::string message;
    int limit;
    std::string why;
  } rows[] = {
      {"", good, 30, ""},
      {"kill:" + once, good, 30, ""},
      {"kill", good, 30, "the helper process was ended from outside: it ended on signal 9 (Killed)"},
      {"fault:" + std::to_string(SIGSEGV), good, 30, "the field is damaged: the PNG library fails on it"},
      {"spin", good, 1, "the PNG library takes too long on it"},
      {"", png_message({}, "Z"), 30, "PNG image damaged or not the field's size"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.how + " " + row.why);
    if (!row.how.empty()) setenv("OMBRA_TEST_READS", row.how.c_str(), 1);
    helper_set_limits(row.limit, 0);  // the next helper decodes so
    std::string why;
    const std::vector<float> got = seam_decode(row.message, &why);
    const int pid = helper_pid();
    unsetenv("OMBRA_TEST_READS");
    EXPECT_EQ(why, row.why);
    if (row.why.empty()) {
      EXPECT_EQ(got, want);
      EXPECT_GT(pid, 0);  // in a helper, which goes on
      continue;
    }
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(pid, -1);
    // The session goes on: the next field decodes on a fresh helper.
    helper_set_limits(30, 0);
    EXPECT_EQ(seam_decode(good, &why), want) << why;
  }
  g2codec = keep;
}

// An open may take 30 seconds where no limit was set (as in a session;
// the test program runs the test below from its start for this): one the
// clock shows taking 29.5 seconds is waited for, one taking 30.5 is ended.
TEST(helpermode, AnOpenMayTakeThirtySeconds) {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  const int st = std::system(("OMBRA_TEST_CLOCK=1 '" + std::string(self) +
                              "' --gtest_also_run_disabled_tests --gtest_filter=helpermode.DISABLED_OpensWithinTheFirstLimit")
                                 .c_str());
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 5) << st;
}

// Run by the test above: ends with 5 where all went as it expects.
TEST(helpermode, DISABLED_OpensWithinTheFirstLimit) {
  if (std::getenv("OMBRA_TEST_CLOCK") == nullptr) GTEST_SKIP();
  const std::string f = OMBRA_SOURCE_DIR "/share/sample/sample.nc";
  state st;
  std::string first;
  ASSERT_EQ(open_quiet(st, f, &first), 0) << first;  // a helper runs: its start has a limit of its own
  for (const long tenths : {295, 305}) {
    clockset = {tenths * 100000000L};
    std::string out;
    const int rc = open_quiet(st, f, &out);
    clockset = {};
    EXPECT_EQ(rc, tenths < 300 ? 0 : 1) << tenths;
    EXPECT_EQ(out, tenths < 300 ? first
                                : "Scanning self-describing file:  " + f + "\nSDFOPEN error:  " + f +
                                      ": the netCDF/HDF library takes too long on it.\n\nCouldn't ingest SDF metadata.\n")
        << tenths;
  }
  std::fflush(nullptr);
  _exit(HasFailure() ? 1 : 5);
}

TEST_F(helperlimits, AnInterruptEndsTheWait) {
  const std::string f = OMBRA_SOURCE_DIR "/share/sample/sample.nc";
  state st;
  ASSERT_EQ(open_quiet(st, f), 0);
  ASSERT_TRUE(stop_helper());  // it answers nothing more
  std::thread typist([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gcmn.sigflg = 1;
  });
  std::string out;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(open_quiet(st, f, &out), 1);
  typist.join();
  EXPECT_LT(seconds_since(t0), 5.0);
  EXPECT_NE(out.find("SDFOPEN error:  " + f + ": interrupted.\n"), std::string::npos) << out;
}

TEST_F(helperlimits, AHelperKilledFromOutsideIsReplacedForTheNextOpenAndRead) {
  state st;
  std::string out;
  open_hdf(st, "killed_a.hdf");
  datafile* pa = st.last();
  // The file the killed helper held is opened again by the next one.
  ASSERT_GT(kill_helper(), 0);
  int lo[4] = {1, 1, 1, 2}, hi[4] = {4, 3, 1, 2};
  request r(pa, "temp", 0, 1, lo, hi);
  ASSERT_EQ(r.read(&out), 0) << out;
  EXPECT_EQ(out, "");
  EXPECT_EQ(r.at(0, 0), 13);
  EXPECT_EQ(r.at(3, 2), 24);
  // And the next open of a good file is not taken for a file that kills it.
  ASSERT_GT(kill_helper(), 0);
  open_hdf(st, "killed_b.hdf");
  request rb(st.last(), "temp", 0, 1, lo, hi);
  ASSERT_EQ(rb.read(), 0);
  EXPECT_EQ(rb.at(1, 1), 18);
  // A netCDF file goes through the helper first too.
  ASSERT_GT(kill_helper(), 0);
  ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out), 0) << out;
  EXPECT_EQ(st.pcm->filecount, 3);
  // An HDF file the library fails to open may leave the helper's heap
  // damaged without killing it: that helper is ended as well.
  const std::string cut = tmpdir() + "/cut.hdf";
  write_text(cut, std::string("\x0e\x03\x13\x01", 4) + "and no data descriptors");
  ASSERT_GT(helper_pid(), 0);
  EXPECT_EQ(open_quiet(st, cut, &out), 1);
  EXPECT_NE(out.find(cut + " does not exist or is not a netCDF/HDF-SDS file.\n"), std::string::npos) << out;
  EXPECT_EQ(helper_pid(), -1);
}

TEST_F(helperlimits, AHelperThatEndedIsReapedWithoutWaitingForTheNextFile) {
  state st;
  open_hdf(st, "reaped.hdf");
  const int pid = helper_pid();
  ASSERT_GT(pid, 0);
  sdf_helper_reap();  // a running helper is left alone
  EXPECT_EQ(helper_pid(), pid);
  ASSERT_EQ(kill_helper(), pid);
  reapwatch = pid;
  sdf_helper_reap();
  EXPECT_EQ(helper_pid(), -1);
  reapwatch = 0;
  errno = 0;
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);  // no longer a child of ours
  EXPECT_EQ(errno, ECHILD);
  // The file it held reads through the next helper.
  int lo[4] = {1, 1, 1, 1}, hi[4] = {4, 3, 1, 1};
  request r(st.last(), "temp", 0, 1, lo, hi);
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.at(2, 1), 7);
  // Nor when the program ends it, or an ending comes during an ending.
  reapwatch = helper_pid();
  helper_set_limits(30, 0);
  ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc"), 0);
  reapwatch = helper_pid();
  sdf_helper_end();
  EXPECT_EQ(latewaits, 0);
  reapwatch = 0;
  // An ending that comes while the program ends the helper, before it has
  // reaped it, finds it and reaps it: the session it ends leaves no zombie.
  ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc"), 0);
  endwatch = helper_pid();
  helper_set_limits(30, 0);
  EXPECT_EQ(endwatch, 0);
  EXPECT_TRUE(endreaped);
  // A helper stopped (or busy) when the program ends it is ended all the
  // same: nothing waits for it to come back.
  ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc"), 0);
  const int stopped = helper_pid();
  ASSERT_TRUE(stop_helper());
  helper_set_limits(30, 0);
  EXPECT_EQ(helper_pid(), -1);
  errno = 0;
  EXPECT_EQ(waitpid(stopped, nullptr, WNOHANG), -1);  // reaped
  EXPECT_EQ(errno, ECHILD);
}

// The helper is a fresh process image: memory the program held when the
// helper started is not held a second time by the helper.
TEST_F(helperlimits, TheHelperHoldsNoneOfTheProgramsMemory) {
  helper_set_limits(30, 0);  // ends the helper: the next open starts one
  ASSERT_EQ(helper_pid(), -1);
  std::vector<char> held(size_t(256) << 20, 1);
  state st;
  open_hdf(st, "fresh.hdf");
  ASSERT_GT(helper_pid(), 0);
  const long anon = status_kb(helper_pid(), "RssAnon");
  ASSERT_GT(anon, 0);
  EXPECT_LT(anon, 64 * 1024) << "kB of the helper's own memory";
  EXPECT_EQ(held[held.size() / 2], 1);
}

// A signal mask of /proc/<pid>/status ("SigIgn", "SigCgt", "SigBlk").
unsigned long long signal_mask(int pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::stoull(line.substr(field.size() + 1), nullptr, 16);
  return ~0ULL;
}

void ignore_signal(int) {}

// Signals the helper gets (an interrupt or a quit typed at the terminal,
// a job ended as a group) never run the program's own handlers there:
// those would act on the program's files from the helper.  An interrupt
// and a quit are set aside, from the helper's start on (a quit would
// leave the helper's core where the program's is written).  An ending
// that comes as the helper starts finds it.
TEST_F(helperlimits, TheHelperRunsNoHandlerOfTheProgram) {
  struct sigaction sa = {}, oldterm = {}, oldint = {};
  sa.sa_handler = ignore_signal;
  sigemptyset(&sa.sa_mask);
  ASSERT_EQ(sigaction(SIGTERM, &sa, &oldterm), 0);
  ASSERT_EQ(sigaction(SIGINT, &sa, &oldint), 0);
  helper_set_limits(30, 0);  // the next open starts a helper
  state st;
  maskwatch = true;
  open_hdf(st, "signals.hdf");
  const int pid = helper_pid();
  ASSERT_GT(pid, 0);
  // Recorded before the signals blocked for its start come through.
  EXPECT_EQ(pid_at_unblock, pid);
  const unsigned long long term = 1ULL << (SIGTERM - 1), intr = 1ULL << (SIGINT - 1),
                           quit = 1ULL << (SIGQUIT - 1);
  EXPECT_EQ(signal_mask(pid, "SigCgt") & (term | intr | quit), 0ULL);
  EXPECT_EQ(signal_mask(pid, "SigIgn") & (intr | quit), intr | quit);
  EXPECT_EQ(signal_mask(pid, "SigBlk") & (intr | quit), 0ULL);
  sigaction(SIGTERM, &oldterm, nullptr);
  sigaction(SIGINT, &oldint, nullptr);
}

// The environment of the helpers started while it lives gets one more
// setting.
struct envadded {
  std::string name, saved;
  bool had;
  envadded(const char* var, const std::string& more) : name(var) {
    const char* old = std::getenv(var);
    had = old != nullptr;
    saved = had ? old : "";
    setenv(var, (saved.empty() ? more : saved + ":" + more).c_str(), 1);
  }
  ~envadded() {
    if (had)
      setenv(name.c_str(), saved.c_str(), 1);
    else
      unsetenv(name.c_str());
  }
};

// A read the helper does for the program leaves no buffer of its size
// behind in the helper, neither its own nor the libraries', and a read of
// a great many chunks is made within what a read may take.
TEST_F(helperlimits, ALargeReadLeavesNoBufferInTheHelper) {
#if defined(__SANITIZE_ADDRESS__)
  // The checking allocator holds freed memory back for a while, to catch
  // its later use; the helper started here gives it back at once.
  envadded noquarantine("ASAN_OPTIONS", "quarantine_size_mb=0");
#endif
  // 16 MB of floats in HDF4; a netCDF-4 grid of 300 x 300 chunks of one
  // value, which the library would read with a record of its own for each
  // and whose index it keeps while the file is open.
  const struct {
    std::string file, var;
    int n;
    bool indexed;
    float value(int i, int j) const { return indexed ? float((j * n + i) % 1000) : float(j) * n + i; }
  } rows[] = {{tmpdir() + "/large.hdf", "big", 2048, false}, {tmpdir() + "/tiny.nc", "v", 300, true}};
  ASSERT_TRUE(make_hdf4_grid(rows[0].file.c_str(), rows[0].n, rows[0].n));
  ASSERT_TRUE(make_nc4_grid(rows[1].file, static_cast<size_t>(rows[1].n), 1));
  for (const auto& row : rows) {
    helper_set_limits(30, 0);  // the next open starts a helper
    const int n = row.n;
    state st;
    std::string out;
    const long start = [&] {
      std::string sample;
      EXPECT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &sample), 0) << sample;
      return status_kb(helper_pid(), "RssAnon");
    }();
    const int fds = helper_fds();
    ASSERT_EQ(open_quiet(st, row.file, &out), 0) << out;
    datafile* pfi = st.last();
    int lo[4] = {1, 1, 1, 1}, hi[4] = {4, 3, 1, 1};
    request small(pfi, row.var, 0, 1, lo, hi);
    ASSERT_EQ(small.read(), 0);
    EXPECT_EQ(small.at(3, 2), row.value(3, 2));
    const long before = status_kb(helper_pid(), "RssAnon");
    int blo[4] = {1, 1, 1, 1}, bhi[4] = {n, n, 1, 1};
    request large(pfi, row.var, 0, 1, blo, bhi);
    ASSERT_EQ(large.read(&out), 0) << out;
    EXPECT_EQ(large.at(n - 1, n - 1), row.value(n - 1, n - 1));
    EXPECT_EQ(large.at(5, n / 2), row.value(5, n / 2));
    // The helper is done with the large read once it answers the next,
    // and with the file's index once it is closed.
    ASSERT_EQ(small.read(), 0);
    const long after = status_kb(helper_pid(), "RssAnon");
    ASSERT_GT(before, 0);
    if (!row.indexed) {
      EXPECT_LT(after - before, 4 * 1024) << "kB held after the read (" << before << " before)";
    }
    EXPECT_EQ(close_netcdf(pfi->sdf->ncid), 1);
    // The helper closes it while the program goes on: the next open waits
    // for that.  Nothing of the file stays open there.
    ASSERT_EQ(open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc"), 0);
    EXPECT_EQ(helper_fds(), fds) << row.file;
    if (!kChecking || !row.indexed) {
      EXPECT_LT(status_kb(helper_pid(), "RssAnon") - start, 4 * 1024) << "kB held once " << row.file << " is closed";
    }
  }
}

// When no helper can be started the program opens and reads the file
// itself, as before there was a helper, and says so.
TEST_F(helperlimits, AHelperThatCannotStartLeavesTheFileToTheProgram) {
  state st;
  std::string out;
  const std::string f = open_hdf(st, "nostart.hdf");
  datafile* held = st.last();
  ASSERT_GT(kill_helper(), 0);
  sdf_helper_reap();
  // One descriptor is left: not enough for the helper's socket.
  int lo[4] = {1, 1, 1, 1}, hi[4] = {4, 3, 1, 1};
  request r(held, "temp", 0, 1, lo, hi);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  auto starved = [&saved](auto run) {
    testing::internal::CaptureStdout();
    int lowest = dup(0);
    close(lowest);
    struct rlimit rl = saved;
    rl.rlim_cur = static_cast<rlim_t>(lowest + 1);
    setrlimit(RLIMIT_NOFILE, &rl);
    int rc = run();
    setrlimit(RLIMIT_NOFILE, &saved);
    return std::make_pair(rc, testing::internal::GetCapturedStdout());
  };
  const std::string why = ": the helper process could not be started: cannot make its socket: Too many open files; ";
  // An HDF file is read by a helper only.
  auto read = starved([&] { return omgsdf(&r.g, r.vals.data()); });
  EXPECT_EQ(read.first, 3);
  EXPECT_EQ(read.second, "SDF read error:  " + f + why + "an HDF file is not read without it.\n"
                         "Failure reading SDF data.  #1\n");
  // A netCDF file is opened here, said once, and again once a helper has
  // run (and died) in between.
  const std::string nc = OMBRA_SOURCE_DIR "/share/sample/sample.nc";
  for (int k = 0; k < 3; k++) {
    const char* notice = k == 1 ? "" : "SDFOPEN notice:  ";
    if (k == 2) {
      // A file the helper held is read here once no helper can be had:
      // a column of levels, which the library reads.
      ASSERT_EQ(open_quiet(st, nc, &out), 0) << out;
      int clo[4] = {1, 1, 1, 1}, chi[4] = {1, 1, 4, 1};
      request held(st.last(), "t", 2, -1, clo, chi), here(st.last(), "t", 2, -1, clo, chi);
      ASSERT_EQ(held.read(), 0);
      ASSERT_GT(kill_helper(), 0);
      sdf_helper_reap();
      auto column = starved([&] { return omgsdf(&here.g, here.vals.data()); });
      EXPECT_EQ(column, std::make_pair(0, std::string()));
      EXPECT_EQ(here.vals, held.vals);
    }
    auto opened = starved([&] {
      datafile* pfi = nullptr;
      const int rc = omsdfopen(nc.c_str(), st.pcm, &pfi);
      return addopened(st, rc, pfi);
    });
    EXPECT_EQ(opened.first, 0);
    EXPECT_EQ(opened.second.substr(0, opened.second.find("Found")),
              "Scanning self-describing file:  " + nc + "\n" +
                  (*notice != '\0' ? notice + nc + why + "the program opens the file itself.\n" : ""));
  }
  EXPECT_EQ(helper_pid(), -1);
}

// Runs body in a child process; its exit status (-1 when it did not exit).
template <class F>
int in_child(F body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) std::abort();  // a kill of -1 would reach every process
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    _exit(body());
  }
  int ws = 0;
  if (pid < 0 || waitpid(pid, &ws, 0) != pid || !WIFEXITED(ws)) return -1;
  return WEXITSTATUS(ws);
}


// Calls of the system the process may no longer make: each fails with err.
bool deny(std::initializer_list<long> calls, int err) {
  std::vector<sock_filter> f = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr))};
  for (long c : calls) {
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(c), 0, 1));
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<__u32>(err)));
  }
  f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog prog = {static_cast<unsigned short>(f.size()), f.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

// A classic file whose second dimension's name is 4000 bytes long, and
// one of 340 bytes whose _FillValue claims 2^32 - 1 floats.
std::string classic_header_of(const std::string& leaf, bool longname) {
  std::string h = std::string("CDF\x01", 4);
  auto word = [&h](uint32_t w) {
    for (int b = 24; b >= 0; b -= 8) h.push_back(static_cast<char>(w >> b));
  };
  auto name = [&](const std::string& n) {
    word(static_cast<uint32_t>(n.size()));
    h += n + std::string((4 - n.size() % 4) % 4, '\0');
  };
  word(0);
  word(10), word(longname ? 2 : 1), name("lon"), word(4);
  if (longname) name(std::string(4000, 'a')), word(3);
  word(0), word(0);
  word(11), word(1), name("lon"), word(1), word(0);
  if (longname) {
    word(0), word(0);
  } else {
    word(12), word(1), name("_FillValue"), word(5), word(0xffffffffu), word(0);
  }
  word(5), word(16), word(static_cast<uint32_t>(h.size() + 4));
  h += std::string(16, '\0');
  if (!longname) h.resize(340, '\0');
  const std::string f = tmpdir() + "/" + leaf;
  std::ofstream(f, std::ios::binary) << h;
  return f;
}

// With no process to be had at all the program opens netCDF files itself;
// no file can end or hold up the session for that: a classic header is
// checked before the library sees it, an HDF file (netCDF-4 is HDF5) is
// not opened, nor is a named pipe waited on.
TEST_F(helperlimits, WithNoProcessToSpareNoFileEndsTheSession) {
  if (!have_ncgen()) GTEST_SKIP();
  const std::string longname = classic_header_of("longname.nc", true), fill = classic_header_of("fill.nc", false);
  std::string hdf = tmpdir() + "/noproc.hdf";
  ASSERT_TRUE(make_hdf4_file(hdf.c_str()));
  const std::string nc4 = make_nc("noproc4", "netcdf n { dimensions: x = 2 ; variables: float x(x) ; data: x = 1, 2 ; }", "nc4");
  const std::string fifo = tmpdir() + "/noproc_pipe.nc";
  ASSERT_FALSE(nc4.empty());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A series of mid-month files, whose members are read for their times.
  std::string first;
  for (int m : {1, 2}) {
    const std::string cdl = "netcdf s { dimensions: lon = 1 ; lat = 1 ; time = 1 ;\nvariables: float lon(lon) ; "
                            "lon:units = \"degrees_east\" ; float lat(lat) ; lat:units = \"degrees_north\" ;\n"
                            "double time(time) ; time:units = \"hours since 2001-01-01\" ; float v(time, lat, lon) ;\n"
                            "data: lon = 0 ; lat = 0 ; time = " + std::string(m == 1 ? "372" : "1080") + " ; v = 1 ; }\n";
    const std::string f = make_nc("noproc_20010" + std::to_string(m), cdl);
    ASSERT_FALSE(f.empty());
    if (m == 1) first = f;
  }
  std::string out;
  const int rc = in_child([&] {
    alarm(60);  // a wait for good fails the test
    helper_set_limits(30, 0);
#if !defined(__SANITIZE_ADDRESS__)
    // A library given the fill-value file would take memory for as long as
    // it is let: stopped here at a gigabyte more than the test holds.
    struct rlimit data = {static_cast<rlim_t>(status_kb(getpid(), "VmData") + 1024 * 1024) * 1024, RLIM_INFINITY};
    setrlimit(RLIMIT_DATA, &data);
#endif
    if (!deny({SYS_fork, SYS_vfork, SYS_clone, SYS_clone3}, EAGAIN)) return 77;
    state st;
    int refused = 0;
    for (const std::string& f : {longname, fill, hdf, nc4, fifo}) {
      std::string said;
      refused += open_quiet(st, f, &said);
      out += said;
    }
    // A codec library is not run without a helper either.
    sdf_codecs_in_helper();
    std::string codec;
    const bool decoded = !seam_decode(png_message(kPngValues), &codec).empty();
    datetime feb = {0, 0, 0, 0, 0};
    std::string opened;
    const bool series = open_quiet(st, first + " noproc_%y4%m2.nc 2", &opened) == 0 &&
                        (gr2t(st.last()->grvals[3], 2, &feb), omt2str(&feb, 4) == "00Z15FEB2001");
    const bool small = status_kb(getpid(), "VmHWM") < 1024 * 1024;
    const std::string why = ": the helper process could not be started: cannot run it: Resource temporarily unavailable; ";
    const bool said = out.find("SDFOPEN error:  " + hdf + why + "an HDF file is not opened without it.\n") != std::string::npos &&
                      out.find("SDFOPEN error:  " + nc4 + why + "a netCDF-4 or HDF5 file is not opened without it.\n") !=
                          std::string::npos &&
                      out.find("SDFOPEN error:  " + fifo + ": not a regular file.\n") != std::string::npos;
    const bool lib = out.find(longname + " does not exist or is not a netCDF/HDF-SDS file.\n") != std::string::npos &&
                     out.find(fill + " does not exist or is not a netCDF/HDF-SDS file.\n") != std::string::npos;
    const bool nocodec = !decoded && codec == why.substr(2) + "a PNG field is not decoded without it";
    return refused == 5 && series && small && said && lib && nocodec && helper_pid() == -1 ? 0 : 1;
  });
  if (rc == 77) GTEST_SKIP() << "no system call filter here";
  EXPECT_EQ(rc, 0);
}

// Where the program's own file cannot be run, or ends before it is ready
// (here it cannot set up its thread storage), the helper is a fork of the
// program, and contains a library's crash, or its exit(), as well.
TEST_F(helperlimits, WithNoExecTheHelperIsAFork) {
  std::string bad = tmpdir() + "/chunk_bad.hdf";
  ASSERT_TRUE(make_hdf4_stored(bad.c_str(), true));
  ASSERT_TRUE(damage_special_header(bad, 67, 127));
  // An exit hook of the program writes there: it must run in no helper.
  static std::string hooks;
  hooks = tmpdir() + "/hooks";
  for (bool runs : {false, true}) {
    const int rc = in_child([&] {
      helper_set_limits(30, 0);
      if (!(runs ? deny({SYS_arch_prctl}, EPERM) : deny({SYS_execve, SYS_execveat}, EACCES))) return 77;
      std::atexit([] { std::ofstream(hooks, std::ios::app) << getpid() << "\n"; });
      staleerrno = true;
      const struct rlimit spin = {10, 10};  // a wait that goes on past its child spins: killed here
      setrlimit(RLIMIT_CPU, &spin);
      state st;
      std::string out;
      if (open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out) != 0 || open_quiet(st, bad, &out) != 0)
        return 2;
      const int first = helper_pid();
      if (first <= 0 || helper_execd() || out.find("notice") != std::string::npos) return 3;
      int lo[4] = {1, 1, 1, 1}, hi[4] = {30, 20, 1, 1};
      request r(st.last(), "hgt", 0, 1, lo, hi);
      if (r.read(&out) != 3 || out != "SDF read error:  " + bad + " is damaged: the HDF library fails on it.\n"
                                       "Failure reading SDF data.  #1\n")
        return 4;
      // The session goes on: the next file starts the next fork.
      if (open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc") != 0 || helper_pid() <= 0 ||
          helper_pid() == first)
        return 5;
      // A library that ends the helper with exit() ends it there, as a
      // crash would: the file is damaged, and nothing of the program's
      // ran in the helper.
      exit_elsewhere = getpid();
      helper_set_limits(30, 0);  // the next fork takes it
      const int opened = open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out);
      exit_elsewhere = 0;
      return opened == 1 && out.find(" is damaged: the netCDF/HDF library fails on it.\n") != std::string::npos ? 0 : 6;
    });
    std::ifstream ran(hooks);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(ran), {}), "") << "the program's exit hook ran in these";
    if (rc == 77) GTEST_SKIP() << "no system call filter here";
    EXPECT_EQ(rc, 0) << runs;
  }
}

// A process started as the helper whose arguments are not all the spawn's
// ends at once (127): it never runs on as the program (here, as this test
// binary, which would run no test and end with 0).
TEST(helpermode, ArgumentsNotTheSpawnsEndTheProcessAtOnce) {
  struct row {
    std::vector<std::string> args;
    bool socket;  // a socket as descriptor 3
  } rows[] = {
      {{"ombra-sdf-helper", "--sdf-helper", "1000"}, false},
      {{"ombra-sdf-helper", "--sdf-helper", "12x"}, true},
      {{"ombra-sdf-helper", "--sdf-helper"}, true},
      {{"ombra-sdf-helper", "--sdf-helpr", "1000"}, true},
      {{"ombra", "--sdf-helper", "1000", "more"}, true},
  };
  for (const row& r : rows) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    const int rc = in_child([&] {
      r.socket ? dup2(sv[1], 3) : close(3);
      std::vector<char*> argv;
      for (const std::string& a : r.args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      char filter[] = "GTEST_FILTER=-*";
      char* env[] = {filter, nullptr};
      execve("/proc/self/exe", argv.data(), env);
      return 126;
    });
    EXPECT_EQ(rc, 127) << r.args[0] << " " << r.args[1];
    close(sv[0]);
    close(sv[1]);
  }
}

// The helper runs under the CPU limit the user set, whether the session
// watches for its end (equal soft and hard limits) or not, and the
// program's own limit stays as set.
TEST(helpermode, TheHelperRunsUnderTheUsersCpuLimit) {
  for (rlim_t soft : {100000, 99999}) {
    const int rc = in_child([soft] {
      struct rlimit cpu = {soft, 100000};
      if (setrlimit(RLIMIT_CPU, &cpu) != 0) return 77;
      omcpuwarn();
      helper_set_limits(30, 0);
      state st;
      if (open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc") != 0 || helper_pid() <= 0) return 2;
      std::ifstream lim("/proc/" + std::to_string(helper_pid()) + "/limits");
      std::string line, cur, max;
      struct rlimit now;
      if (getrlimit(RLIMIT_CPU, &now) != 0 || now.rlim_cur != soft) return 4;  // the program's stays
      while (std::getline(lim, line))
        if (line.rfind("Max cpu time", 0) == 0 && std::istringstream(line.substr(12)) >> cur >> max)
          return cur == std::to_string(soft) && max == "100000" ? 0 : 1;
      return 3;
    });
    if (rc == 77) GTEST_SKIP() << "the CPU limit cannot be set here";
    EXPECT_EQ(rc, 0) << soft;
  }
}

// The file a process runs (/proc/PID/exe), as device and inode.
std::pair<dev_t, ino_t> exe_of(const std::string& pid) {
  struct stat st = {};
  stat(("/proc/" + pid + "/exe").c_str(), &st);
  return {st.st_dev, st.st_ino};
}

// The helper is the program's own file as found at start (held there as
// descriptor 3, which the helper's socket takes in the child), run again:
// the file this process runs; without /proc at the spawn it still starts,
// under its memory cap.

TEST(helpermode, TheHelperStartsWithoutProc) {
  for (bool hidden : {false, true}) {
    if (hidden && kChecking) continue;
    const int rc = in_child([hidden] {
      if (hidden && !hide_proc()) return 77;
      helper_set_limits(30, 0);  // not this process's helper: the next open starts one
      state st;
      std::string out;
      const int opened = open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out);
      const bool started = helper_pid() > 0 && helper_execd() && out.find("notice") == std::string::npos;
      const bool same = hidden || exe_of(std::to_string(helper_pid())) == exe_of("self");
      struct rlimit data = {};
      const bool capped = prlimit(helper_pid(), RLIMIT_DATA, nullptr, &data) == 0 && data.rlim_cur != RLIM_INFINITY;
      helper_set_limits(30, 0);
      return opened == 0 && started && same && capped ? 0 : 1;
    });
    if (rc == 77) GTEST_SKIP() << "no mount namespace of its own here";
    EXPECT_EQ(rc, 0) << hidden;
  }
}

// Run as a program of its own by the test below: opens a netCDF file once
// told to, says how its helper started, and ends once told to.
TEST(helpermode, DISABLED_OpensAFileWhenTold) {
  int go = -1, tell = -1;
  const char* fds = std::getenv("OMBRA_TEST_PIPES");
  if (fds == nullptr || std::sscanf(fds, "%d,%d", &go, &tell) != 2) GTEST_SKIP();
  char c;
  if (read(go, &c, 1) != 1) return;
  state st;
  std::string out;
  const int rc = open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc", &out);
  const std::string answer = std::to_string(rc) + " " + std::to_string(helper_pid()) + " " +
                             (helper_execd() ? "exec" : "fork") + (out.find("notice") != std::string::npos ? " notice" : "");
  EXPECT_EQ(write(tell, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
  close(tell);
  while (read(go, &c, 1) > 0) {
  }
}

// The helper is the file the program was started from, whatever stands at
// its path later; where that file cannot run (the program started by
// naming its loader), a fork of the program.  Rows: how the program is
// started, what is done before its first file, how the helper starts.
TEST(helpermode, TheHelperIsTheFileTheProgramStartedFrom) {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  self[n] = '\0';
  const std::string prog = tmpdir() + "/prog";
  if (link(self, prog.c_str()) != 0) {
    ASSERT_EQ(std::system(("cp '" + std::string(self) + "' '" + prog + "'").c_str()), 0);
  }
  struct stat started;
  ASSERT_EQ(stat(prog.c_str(), &started), 0);
  struct row {
    const char* how;
    std::vector<std::string> argv;
    bool noproc, replace;
    std::string helper;
  } rows[] = {
      {"replaced", {prog}, false, true, "exec"},
      {"by its loader", {"/lib64/ld-linux-x86-64.so.2", prog}, false, false, "fork"},
      {"without /proc", {prog}, true, false, "exec"},
      {"without /proc, found on PATH", {"prog"}, true, false, "exec"},
  };
  for (row& r : rows) {
    if (access(r.argv[0].find('/') == std::string::npos ? prog.c_str() : r.argv[0].c_str(), X_OK) != 0 ||
        (kChecking && !r.replace))
      continue;
    int go[2], tell[2], execd[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(tell), 0);
    ASSERT_EQ(pipe2(execd, O_CLOEXEC), 0);
    r.argv.push_back("--gtest_also_run_disabled_tests");
    r.argv.push_back("--gtest_filter=helpermode.DISABLED_OpensAFileWhenTold");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      close(go[1]);
      close(tell[0]);
      close(execd[0]);
      if (r.noproc && !hide_proc()) _exit(77);
      setenv("OMBRA_TEST_PIPES", (std::to_string(go[0]) + "," + std::to_string(tell[1])).c_str(), 1);
      dup2(open("/dev/null", O_WRONLY), 1);
      dup2(open((prog + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      std::vector<char*> argv;
      for (std::string& a : r.argv) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      if (r.argv[0].find('/') == std::string::npos) setenv("PATH", tmpdir().c_str(), 1);
      execvp(argv[0], argv.data());
      _exit(126);
    }
    close(go[0]);
    close(tell[1]);
    close(execd[1]);
    // The path is replaced only once the child runs what stood there
    // before: its end of execd closes at the exec (or at its exit).
    char none;
    ASSERT_EQ(read(execd[0], &none, 1), 0);
    close(execd[0]);
    if (r.replace) {  // another program put at the path
      ASSERT_EQ(std::system(("cp /bin/true '" + prog + ".new' && mv '" + prog + ".new' '" + prog + "'").c_str()), 0);
    }
    ASSERT_EQ(write(go[1], "x", 1), 1);
    char buf[256] = {0};
    const ssize_t got = read(tell[0], buf, sizeof buf - 1);
    const std::string answer = got > 0 ? std::string(buf, static_cast<size_t>(got)) : "";
    const std::string pid = answer.size() > 2 ? answer.substr(2, answer.find(' ', 2) - 2) : "";
    const bool same = r.helper == "fork" || exe_of(pid) == std::make_pair(started.st_dev, started.st_ino);
    close(go[1]);
    close(tell[0]);
    int ws = 0;
    ASSERT_EQ(waitpid(child, &ws, 0), child);
    if (r.noproc && WIFEXITED(ws) && WEXITSTATUS(ws) == 77) continue;  // no namespace here
    ASSERT_GT(answer.size(), 2u) << r.how;
    EXPECT_EQ(answer.substr(0, 2) + answer.substr(answer.rfind(' ') + 1), "0 " + r.helper) << r.how << ": " << answer;
    EXPECT_TRUE(same) << r.how;
    std::ifstream errs(prog + ".err");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(errs), {}), "") << r.how;  // nothing run that is not the program
    EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0) << r.how << " " << ws;
    if (r.replace) {  // the program's own file again for the next rows
      ASSERT_EQ(unlink(prog.c_str()), 0);
      if (link(self, prog.c_str()) != 0) {
        ASSERT_EQ(std::system(("cp '" + std::string(self) + "' '" + prog + "'").c_str()), 0);
      }
      ASSERT_EQ(stat(prog.c_str(), &started), 0);
    }
  }
}

// A program that ends leaves no helper behind: its exit reaps the helper,
// and any other ending (here a kill while the program waits on a helper
// that does not answer) ends the helper with it.
TEST(helpermode, TheHelperEndsWithTheProgram) {
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // an orphaned helper comes to this process
  for (bool killed : {false, true}) {
    int tell[2];
    ASSERT_EQ(pipe(tell), 0);
    std::fflush(nullptr);
    const pid_t program = fork();
    if (program < 0) std::abort();  // a kill of -1 would reach every process
    if (program == 0) {
      close(tell[0]);
      dup2(open("/dev/null", O_WRONLY), 1);
      {
        state st;
        helper_set_limits(60, 0);
        open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc");
        const int pid = helper_pid();
        if (write(tell[1], &pid, sizeof pid) != sizeof pid) _exit(1);
        if (killed && pid > 0 && kill(pid, SIGSTOP) == 0) open_quiet(st, OMBRA_SOURCE_DIR "/share/sample/sample.nc");  // waits here until killed
      }
      std::exit(0);
    }
    close(tell[1]);
    int helper = -1;
    ASSERT_EQ(read(tell[0], &helper, sizeof helper), static_cast<ssize_t>(sizeof helper));
    close(tell[0]);
    ASSERT_GT(helper, 0);
    if (killed) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      kill(program, SIGKILL);
    }
    ASSERT_EQ(waitpid(program, nullptr, 0), program);
    int ws = 0;
    pid_t r = 0;
    for (int k = 0; k < 500 && r == 0; k++) {
      r = waitpid(helper, &ws, WNOHANG);
      if (r == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (killed) {
      EXPECT_EQ(r, helper) << "the helper outlived the program";
    } else {
      EXPECT_EQ(r, -1) << "the program ended without reaping its helper";
    }
    if (r == 0) {
      kill(helper, SIGKILL);
      waitpid(helper, nullptr, 0);
    }
  }
  prctl(PR_SET_CHILD_SUBREAPER, 0);
}

}  // namespace
