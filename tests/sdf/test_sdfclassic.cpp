// Float reads made straight from classic netCDF files: the same bits as the
// library in all three classic formats (record and non-record variables,
// records padded after small variables, NaNs with payloads, negative zero),
// and everything unusual left to the library.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netcdf.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sdf/sdfclassic.h"
#include "sdf/sdfh5raw.h"
#include "sdftest.h"

namespace {

using sdftest::tmpdir;

float frombits(uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

uint32_t bitsof(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

// Value k of a variable: plain numbers with some that only a bit-exact
// read keeps (NaN with a payload, negative zero, the least subnormal).
float value(int var, size_t k) {
  switch (k % 7) {
    case 3: return frombits(0x7fc01234u);
    case 5: return -0.0f;
    case 6: return frombits(1u);
    default: return static_cast<float>(var * 1000 + static_cast<int>(k)) + 0.25f;
  }
}

constexpr size_t NX = 5, NY = 3, NT = 3;

// A file of the given format with record variables v (float), d
// (double) and r (shorts, 4 bytes a record), non-record variables w
// (float) and b (5 bytes, padded) and attributes of odd sizes in between.
std::string make_file(const std::string& name, int mode) {
  const std::string f = tmpdir() + "/" + name;
  int nc = -1, dx, dy, dt, d2, v, d, r, w, b;
  if (nc_create(f.c_str(), NC_CLOBBER | mode, &nc) != NC_NOERR) return std::string();
  const short odd[3] = {1, 2, 3};
  nc_put_att_short(nc, NC_GLOBAL, "odd", NC_SHORT, 3, odd);
  nc_put_att_text(nc, NC_GLOBAL, "title", 5, "tests");
  nc_def_dim(nc, "x", NX, &dx);
  nc_def_dim(nc, "y", NY, &dy);
  nc_def_dim(nc, "time", NC_UNLIMITED, &dt);
  nc_def_dim(nc, "two", 2, &d2);
  const int tyx[3] = {dt, dy, dx}, tx[2] = {dt, dx}, yx[2] = {dy, dx}, t2[2] = {dt, d2};
  nc_def_var(nc, "b", NC_BYTE, 1, &dx, &b);
  nc_put_att_text(nc, b, "units", 1, "m");
  nc_def_var(nc, "v", NC_FLOAT, 3, tyx, &v);
  nc_def_var(nc, "d", NC_DOUBLE, 2, tx, &d);
  nc_def_var(nc, "w", NC_FLOAT, 2, yx, &w);
  nc_def_var(nc, "r", NC_SHORT, 2, t2, &r);
  if (nc_enddef(nc) != NC_NOERR) return std::string();
  std::vector<float> vv(NT * NY * NX), ww(NY * NX);
  for (size_t k = 0; k < vv.size(); k++) vv[k] = value(1, k);
  for (size_t k = 0; k < ww.size(); k++) ww[k] = value(2, k);
  std::vector<double> dd(NT * NX, 2.5);
  std::vector<signed char> bb(NX, 7);
  std::vector<short> rr(NT * 2, 3);
  const size_t s0[3] = {0, 0, 0}, cv[3] = {NT, NY, NX}, cd[2] = {NT, NX}, cr[2] = {NT, 2};
  nc_put_vara_float(nc, v, s0, cv, vv.data());
  nc_put_vara_double(nc, d, s0, cd, dd.data());
  nc_put_vara_short(nc, r, s0, cr, rr.data());
  nc_put_var_float(nc, w, ww.data());
  nc_put_var_schar(nc, b, bb.data());
  return nc_close(nc) == NC_NOERR ? f : std::string();
}

// The bytes of a file, all of them.
std::vector<unsigned char> bytes_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct opened {
  int ncid = -1;
  std::shared_ptr<classic_file> cf;
  // The file's description as the library gives it, to which the header
  // must agree.
  explicit opened(const std::string& f) {
    if (nc_open(f.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return;
    io_std io;
    if (open_netcdf(f.c_str(), &io.ncid) && read_description(&io)) cf = classic_file::open(f.c_str(), io);
    close_netcdf(io.ncid);
  }
  ~opened() {
    if (ncid >= 0) nc_close(ncid);
  }
  int var(const char* name) const {
    int id = -1;
    nc_inq_varid(ncid, name, &id);
    return id;
  }
  // The slab read here and by the library, compared bit for bit in the
  // variable's own type; false when the read is not made here.
  bool same(const char* name, std::vector<size_t> start, std::vector<size_t> count) const {
    size_t n = 1;
    for (size_t c : count) n *= c;
    nc_type t = NC_NAT;
    size_t size = 0;
    nc_inq_vartype(ncid, var(name), &t);
    nc_inq_type(ncid, t, nullptr, &size);
    std::vector<unsigned char> mine(n * size, 0x99), lib(n * size, 0x66);
    if (!cf->read_values(var(name), start, count, mine.data(), mine.size())) return false;
    EXPECT_EQ(nc_get_vara(ncid, var(name), start.data(), count.data(), lib.data()), NC_NOERR);
    EXPECT_EQ(mine, lib) << name;
    return true;
  }
};

TEST(ClassicReads, SlabsAreTheLibrarysBitsInEveryClassicFormat) {
  const int modes[3] = {0, NC_64BIT_OFFSET, NC_64BIT_DATA};
  const char* names[3] = {"cdf1.nc", "cdf2.nc", "cdf5.nc"};
  for (int m = 0; m < 3; m++) {
    const std::string f = make_file(names[m], modes[m]);
    ASSERT_FALSE(f.empty()) << names[m];
    opened o(f);
    ASSERT_NE(o.cf, nullptr) << names[m];
    for (size_t t = 0; t < NT; t++) {
      EXPECT_TRUE(o.same("v", {t, 0, 0}, {1, NY, NX})) << names[m] << t;  // a whole grid
      EXPECT_TRUE(o.same("v", {t, 1, 0}, {1, 2, NX})) << names[m] << t;   // a block of rows
      EXPECT_TRUE(o.same("v", {t, 2, 1}, {1, 1, 3})) << names[m] << t;    // part of a row
    }
    EXPECT_TRUE(o.same("w", {0, 0}, {NY, NX})) << names[m];
    EXPECT_TRUE(o.same("w", {1, 4}, {1, 1})) << names[m];
    // Values of every other size, swapped by their size.
    EXPECT_TRUE(o.same("d", {1, 0}, {1, NX})) << names[m];
    EXPECT_TRUE(o.same("r", {2, 0}, {1, 2})) << names[m];
    EXPECT_TRUE(o.same("b", {1}, {3})) << names[m];
    // The values themselves: the last record, where a wrong record size
    // would land elsewhere.
    std::vector<float> g(NY * NX);
    ASSERT_TRUE(o.cf->read_values(o.var("v"), {2, 0, 0}, {1, NY, NX}, g.data(), g.size() * 4));
    for (size_t k = 0; k < g.size(); k++)
      EXPECT_EQ(bitsof(g[k]), bitsof(value(1, 2 * NY * NX + k))) << names[m] << k;
  }
}

TEST(ClassicReads, AnythingElseIsLeftToTheLibrary) {
  const std::string f = make_file("left.nc", NC_64BIT_OFFSET);
  ASSERT_FALSE(f.empty());
  opened o(f);
  ASSERT_NE(o.cf, nullptr);
  std::vector<float> g(64);
  const size_t room = g.size() * 4;
  auto read = [&](const char* v, std::vector<size_t> s, std::vector<size_t> c, size_t bytes) {
    return o.cf->read_values(o.var(v), s, c, g.data(), bytes);
  };
  EXPECT_EQ(0, read("d", {0, 0}, {2, NX}, room));            // two records: not one run
  EXPECT_EQ(0, read("v", {0, 0, 0}, {2, NY, NX}, room));     // two records: not one run
  EXPECT_EQ(0, read("v", {0, 0, 1}, {1, 2, 3}, room));       // rows in pieces
  EXPECT_EQ(0, read("v", {NT, 0, 0}, {1, NY, NX}, room));    // past the last record
  EXPECT_EQ(0, read("v", {0, 2, 0}, {1, 2, NX}, room));      // past the last row
  EXPECT_EQ(0, read("v", {0, 0, 0}, {1, NY, NX}, 4 * NX));   // more than the room
  EXPECT_EQ(0, read("w", {0, 0}, {0, NX}, room));            // nothing asked
  EXPECT_EQ(0, o.cf->read_values(99, {0, 0}, {1, 1}, g.data(), room));
  EXPECT_EQ(0, o.cf->read_values(-1, {0, 0}, {1, 1}, g.data(), room));
  // A variable it does not know is the library's to refuse.
  EXPECT_TRUE(o.cf->holds(99, {0, 0}, {1, 1}));
  EXPECT_TRUE(o.cf->holds(-1, {0, 0}, {1, 1}));
  // Cut short by another program once opened: the read fails at the end
  // of the file instead of waiting there for bytes (the alarm ends a wait).
  alarm(10);
  EXPECT_EQ(1, read("w", {0, 0}, {NY, NX}, room));
  ASSERT_EQ(truncate(f.c_str(), 200), 0);
  EXPECT_EQ(-1, read("w", {0, 0}, {NY, NX}, room));
  alarm(0);
}

TEST(ClassicReads, FilesNotPlainlyUnderstoodAreNotTaken) {
  // netCDF-4 is not a classic file.
  const std::string nc4 = tmpdir() + "/four.nc";
  int nc = -1, dx, v;
  ASSERT_EQ(nc_create(nc4.c_str(), NC_CLOBBER | NC_NETCDF4, &nc), NC_NOERR);
  nc_def_dim(nc, "x", 4, &dx);
  nc_def_var(nc, "v", NC_FLOAT, 1, &dx, &v);
  ASSERT_EQ(nc_close(nc), NC_NOERR);
  EXPECT_EQ(opened(nc4).cf, nullptr);
  // A file that reads shorter than its size (as a kernel's attribute file
  // does, or one cut short while it is looked at) is left to the library.
  alarm(10);
  if (access("/sys/kernel/profiling", R_OK) == 0)
    EXPECT_EQ(classic_probe("/sys/kernel/profiling").verdict(), classic_header::other);
  alarm(0);
  // A terminal is no classic file, and a look at one does not make it the
  // terminal of a session that has none (a session leader without one):
  // the child's status is 0 when /dev/tty is still nobody's after the look.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setsid() < 0) _exit(2);
    const bool other = classic_probe(slave.c_str()).verdict() == classic_header::other;
    _exit(!other ? 3 : open("/dev/tty", O_RDWR | O_CLOEXEC) < 0 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(master);
  EXPECT_EQ(status, 0);
}

// Records padded as the library pads them: a part of 3 bytes takes a word
// beside other parts, and is the whole record alone.
TEST(ClassicReads, RecordsPadLikeTheLibrarys) {
  const std::string pad = tmpdir() + "/pad.nc";
  int nc = -1, dx, dt, r, w;
  ASSERT_EQ(nc_create(pad.c_str(), NC_CLOBBER, &nc), NC_NOERR);
  nc_def_dim(nc, "x", 3, &dx);
  nc_def_dim(nc, "time", NC_UNLIMITED, &dt);
  const int tx[2] = {dt, dx};
  nc_def_var(nc, "r", NC_BYTE, 2, tx, &r);
  nc_def_var(nc, "w", NC_FLOAT, 2, tx, &w);
  ASSERT_EQ(nc_enddef(nc), NC_NOERR);
  const float ones[6] = {1, 1, 1, 2, 2, 2};
  const size_t s0[2] = {0, 0}, c2[2] = {2, 3};
  nc_put_vara_float(nc, w, s0, c2, ones);
  ASSERT_EQ(nc_close(nc), NC_NOERR);
  opened o(pad);
  ASSERT_NE(o.cf, nullptr);
  EXPECT_TRUE(o.same("w", {1, 0}, {1, 3}));
  // r alone: 3 records of 3 bytes end the file; one byte less cuts the last.
  const std::string alone = tmpdir() + "/alone.nc";
  ASSERT_EQ(nc_create(alone.c_str(), NC_CLOBBER, &nc), NC_NOERR);
  nc_def_dim(nc, "x", 3, &dx);
  nc_def_dim(nc, "time", NC_UNLIMITED, &dt);
  nc_def_var(nc, "r", NC_BYTE, 2, tx, &r);
  ASSERT_EQ(nc_enddef(nc), NC_NOERR);
  const signed char b[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const size_t c3[2] = {3, 3};
  nc_put_vara_schar(nc, r, s0, c3, b);
  ASSERT_EQ(nc_close(nc), NC_NOERR);
  opened a(alone);
  ASSERT_NE(a.cf, nullptr);
  classic_layout l;
  const std::vector<unsigned char> all = bytes_of(alone);
  ASSERT_TRUE(classic_parse(all.data(), all.size(), &l));
  EXPECT_EQ(l.recsize, 3u);
  EXPECT_EQ(l.vars[0].begin + 9, all.size());
  for (size_t size : {all.size(), all.size() - 1})
    EXPECT_EQ(classic_holds(l, l.vars[0], {2, 0}, {1, 3}, size), size == all.size());
}

TEST(ClassicReads, CutHeadersAreRefusedWhereverTheyEnd) {
  const std::string f = make_file("cut.nc", NC_64BIT_DATA);
  ASSERT_FALSE(f.empty());
  const std::vector<unsigned char> all = bytes_of(f);
  classic_layout l;
  ASSERT_TRUE(classic_parse(all.data(), all.size(), &l));
  // The header of this file is well under 1024 bytes: any cut in it fails
  // cleanly, read in a buffer of exactly the cut length.
  size_t full = 0;
  for (size_t n = 0; n < 1024 && full == 0; n++) {
    std::vector<unsigned char> h(all.begin(), all.begin() + static_cast<long>(n));
    if (classic_parse(h.data(), h.size(), &l)) full = n;
  }
  EXPECT_GT(full, 100u);
  ASSERT_EQ(l.vars.size(), 5u);
  EXPECT_FALSE(l.vars[0].record);
  EXPECT_TRUE(l.vars[1].record);
  EXPECT_FALSE(l.vars[3].record);
  EXPECT_EQ(l.recsize, 15u * 4 + 5 * 8 + 2 * 2);  // v, d and r, one record of each
}

// Sizes from a hostile header: a run may not wrap past the 64-bit end of
// any file, nor a name length near 2^64 round to no name at all.
TEST(ClassicReads, SizesNearTwoToTheSixtyFourAreRefused) {
  classic_layout l;
  classic_var v;
  v.type = NC_FLOAT;
  v.begin = UINT64_MAX - 8;
  v.shape = {4};
  uint64_t off = 0, n = 0;
  EXPECT_FALSE(classic_run(l, v, {0}, {4}, &off, &n));
  ASSERT_TRUE(classic_run(l, v, {0}, {2}, &off, &n));  // ends at the very last byte
  EXPECT_EQ(off, UINT64_MAX - 8);
  EXPECT_EQ(n, 2u);
  // Records from the last one a count can name on: out of range, the library's to refuse.
  v.record = true;
  v.shape = {2, 4};
  EXPECT_TRUE(classic_holds(l, v, {SIZE_MAX, 0}, {2, 1}, 0));
  // 64-bit data format: no records, one dimension whose name has 2^64 - 1 bytes.
  std::vector<unsigned char> h = {'C', 'D', 'F', 5};
  auto put = [&h](uint64_t w, int bytes) {
    for (int b = 8 * bytes - 8; b >= 0; b -= 8) h.push_back(static_cast<unsigned char>(w >> b));
  };
  put(0, 8);                             // records
  put(10, 4), put(1, 8);                 // one dimension
  put(UINT64_MAX, 8), put(4, 8);         // its name length and its length
  put(0, 4), put(0, 8), put(0, 4), put(0, 8);  // no attributes, no variables
  EXPECT_FALSE(classic_parse(h.data(), h.size(), &l));
  EXPECT_EQ(classic_read(h.data(), h.size(), &l), classic_header::refused);
}

// Claims the library would allocate for before reading them are refused
// before it is given the file: a name longer than its longest, a list or
// values running past the end of the file.  Rows: the word changed in a
// good header (its offset) and the value put there.
TEST(ClassicReads, ClaimsBeyondTheFileOrTheLibrarysNamesAreRefused) {
  const std::string f = make_file("claims.nc", NC_CLASSIC_MODEL);
  ASSERT_FALSE(f.empty());
  const std::vector<unsigned char> all = bytes_of(f);
  classic_layout l;
  ASSERT_EQ(classic_read(all.data(), all.size(), &l), classic_header::fine);
  auto with = [&all](size_t at, uint32_t w) {
    std::vector<unsigned char> h = all;
    for (int b = 0; b < 4; b++) h[at + static_cast<size_t>(b)] = static_cast<unsigned char>(w >> (24 - 8 * b));
    return h;
  };
  // Version 1: magic, record count, dimension tag at 8 and count, the
  // first name's length; the global attributes' count at 68, the first
  // one's type at 80 and value count at 84; the first variable's dimension
  // id at 144 (one past the four dimensions: the library zero-fills what
  // the header claims after it before it refuses it); the second
  // variable's attribute list, empty, at 216: any tag goes with a count of
  // 0, as the library reads it.
  const auto refused = classic_header::refused;
  struct row {
    size_t at;
    uint32_t value;
    classic_header is;
  } rows[] = {{16, 257, refused}, {12, 0x0fffffff, refused}, {68, 0x0fffffff, refused},
              {84, 0xffffffff, refused}, {144, 4, refused}, {80, 99, refused}, {8, 11, refused},
              {216, 12, classic_header::fine}, {216, 7, classic_header::fine}};
  for (const row& r : rows) {
    const std::vector<unsigned char> h = with(r.at, r.value);
    EXPECT_EQ(classic_read(h.data(), h.size(), &l), r.is) << r.at << " " << r.value;
  }
}

}  // namespace

// Where a netCDF-4 variable stored as it is holds a slab: one run of a
// block (a chunk, or the whole variable) from its first value.
TEST(RawReads, BlockRunsAreOneRunOfTheBlock) {
  using v = std::vector<size_t>;
  const size_t big = size_t(1) << 40;
  const struct {
    v shape, origin, start, count;
    bool run;
    uint64_t first;
  } rows[] = {
      {{4, 5, 6}, {0, 0, 0}, {0, 0, 0}, {4, 5, 6}, true, 0},     // the whole block
      {{4, 5, 6}, {0, 0, 0}, {2, 0, 0}, {1, 5, 6}, true, 60},    // a plane
      {{4, 5, 6}, {0, 0, 0}, {1, 2, 0}, {1, 3, 6}, true, 42},    // rows of a plane
      {{4, 5, 6}, {0, 0, 0}, {3, 4, 1}, {1, 1, 4}, true, 115},   // part of a row
      {{4, 5, 6}, {2, 5, 0}, {3, 6, 0}, {1, 1, 6}, true, 36},    // a chunk away from the start
      {{4, 5, 6}, {0, 0, 0}, {0, 1, 0}, {2, 1, 6}, false, 0},    // rows of two planes
      {{4, 5, 6}, {0, 0, 0}, {0, 0, 1}, {1, 2, 3}, false, 0},    // pieces of rows
      {{4, 5, 6}, {0, 0, 0}, {3, 4, 5}, {1, 1, 2}, false, 0},    // past the block's end
      {{4, 5, 6}, {2, 0, 0}, {1, 0, 0}, {1, 1, 1}, false, 0},    // before its start
      {{4, 5, 6}, {0, 0, 0}, {0, 0, 0}, {0, 5, 6}, false, 0},    // nothing
      {{4, 5, 6}, {0, 0}, {0, 0, 0}, {1, 1, 1}, false, 0},       // sizes that differ
      {{big, big}, {0, 0}, {big - 1, 0}, {1, 1}, false, 0},      // past 2^64 values
  };
  for (const auto& r : rows) {
    uint64_t first = 99;
    EXPECT_EQ(block_run(r.shape, r.origin, r.start, r.count, &first), r.run) << r.start[0] << r.count[0];
    if (r.run) {
      EXPECT_EQ(first, r.first) << r.start[0] << r.count[0];
    }
  }
}

// The helper gives a place only for values the file holds as they are,
// where the slab lies in one run: the bytes there are the library's.
TEST(RawReads, OnlyValuesStoredAsTheyAreHaveAPlace) {
  const std::string f = tmpdir() + "/raw.nc";
  int nc = -1, dt, dy, dx, vc, vk, vz, vb, vn, vu, vf;
  ASSERT_EQ(nc_create(f.c_str(), NC_CLOBBER | NC_NETCDF4, &nc), NC_NOERR);
  nc_def_dim(nc, "time", NC_UNLIMITED, &dt);
  nc_def_dim(nc, "y", NY, &dy);
  nc_def_dim(nc, "x", NX, &dx);
  const int tyx[3] = {dt, dy, dx}, yx[2] = {dy, dx};
  const size_t step[3] = {1, NY, NX};
  nc_def_var(nc, "chunked", NC_FLOAT, 3, tyx, &vk);
  nc_def_var_chunking(nc, vk, NC_CHUNKED, step);
  nc_def_var(nc, "whole", NC_SHORT, 2, yx, &vc);
  nc_def_var_chunking(nc, vc, NC_CONTIGUOUS, nullptr);
  nc_def_var(nc, "zipped", NC_FLOAT, 3, tyx, &vz);
  nc_def_var_chunking(nc, vz, NC_CHUNKED, step);
  nc_def_var_deflate(nc, vz, 0, 1, 1);
  nc_def_var(nc, "big", NC_FLOAT, 2, yx, &vb);
  nc_def_var_endian(nc, vb, NC_ENDIAN_BIG);
  nc_def_var(nc, "y", NC_DOUBLE, 1, &dx, &vn);  // named as a dimension it does not stand for
  nc_def_var(nc, "u", NC_UINT, 2, yx, &vu);
  nc_def_var(nc, "fill", NC_FLOAT, 3, tyx, &vf);  // no value written: no chunk stored
  nc_def_var_chunking(nc, vf, NC_CHUNKED, step);
  ASSERT_EQ(nc_enddef(nc), NC_NOERR);
  std::vector<float> vals(NT * NY * NX);
  for (size_t k = 0; k < vals.size(); k++) vals[k] = value(3, k);
  const size_t s0[3] = {0, 0, 0}, all[3] = {NT, NY, NX};
  nc_put_vara_float(nc, vk, s0, all, vals.data());
  nc_put_vara_float(nc, vz, s0, all, vals.data());
  std::vector<short> sh(NY * NX);
  for (size_t k = 0; k < sh.size(); k++) sh[k] = static_cast<short>(1000 - 7 * k);
  nc_put_var_short(nc, vc, sh.data());
  nc_put_var_float(nc, vb, vals.data());
  std::vector<double> dd(NX, 4.5);
  nc_put_var_double(nc, vn, dd.data());
  std::vector<unsigned> uu(NY * NX, 4000000000u);
  nc_put_var_uint(nc, vu, uu.data());
  const size_t late[3] = {NT - 1, 0, 0}, one[3] = {1, NY, NX};
  nc_put_vara_float(nc, vf, late, one, vals.data());
  ASSERT_EQ(nc_close(nc), NC_NOERR);
  int id = -1, lib = -1;
  ASSERT_TRUE(open_netcdf(f.c_str(), &id));
  ASSERT_EQ(nc_open(f.c_str(), NC_NOWRITE, &lib), NC_NOERR);
  const std::vector<unsigned char> bytes = bytes_of(f);
  using v = std::vector<size_t>;
  const struct {
    int var;
    v start, count;
    size_t size;
    bool placed;
  } rows[] = {
      {vk, {1, 0, 0}, {1, NY, NX}, 4, true},    // a step, a chunk
      {vk, {2, 1, 0}, {1, 2, NX}, 4, true},     // rows of one
      {vk, {2, 2, 3}, {1, 1, 2}, 4, true},      // part of a row
      {vk, {0, 0, 0}, {2, NY, NX}, 4, false},   // two chunks
      {vk, {0, 0, 1}, {1, 2, 2}, 4, false},     // pieces of rows
      {vk, {NT, 0, 0}, {1, NY, NX}, 4, false},  // past the last step
      {vc, {0, 0}, {NY, NX}, 2, true},          // stored whole
      {vc, {1, 2}, {1, 3}, 2, true},
      {vz, {1, 0, 0}, {1, NY, NX}, 4, false},   // compressed
      {vb, {0, 0}, {NY, NX}, 4, false},         // bytes in the other order
      {vn, {0}, {NX}, 8, true},
      {vu, {0, 0}, {NY, NX}, 4, true},
      {vf, {0, 0, 0}, {1, NY, NX}, 4, false},   // a chunk never written
      {vf, {NT - 1, 0, 0}, {1, NY, NX}, 4, true},
  };
  for (const auto& r : rows) {
    size_t n = r.size;
    for (size_t c : r.count) n *= c;
    uint64_t at = 0;
    ASSERT_EQ(netcdf_raw_place(id, r.var, r.start, r.count, n, &at), r.placed) << r.var << " " << r.start[0];
    if (!r.placed) continue;
    std::vector<unsigned char> want(n);
    ASSERT_EQ(nc_get_vara(lib, r.var, r.start.data(), r.count.data(), want.data()), NC_NOERR);
    ASSERT_LE(at + n, bytes.size());
    EXPECT_TRUE(std::equal(want.begin(), want.end(), bytes.begin() + static_cast<long>(at))) << r.var;
    // Other sizes than the slab's are no slab of it.
    EXPECT_FALSE(netcdf_raw_place(id, r.var, r.start, r.count, n + r.size, &at)) << r.var;
  }
  // The steps after the last one, and those the first dimension has.
  EXPECT_EQ(netcdf_steps_after(id, vk, 1), NT - 1);
  EXPECT_EQ(netcdf_steps_after(id, vk, NT), 0u);
  nc_close(lib);
  EXPECT_EQ(close_netcdf(id), 1);
  // A classic file's runs are the program's own to find: the helper gives
  // no place in one.
  const std::string c = make_file("noplace.nc", NC_64BIT_OFFSET);
  ASSERT_TRUE(open_netcdf(c.c_str(), &id));
  uint64_t at = 0;
  EXPECT_FALSE(netcdf_raw_place(id, 3, {0, 0}, {NY, NX}, NY * NX * 4, &at));  // w
  EXPECT_EQ(close_netcdf(id), 1);
}
