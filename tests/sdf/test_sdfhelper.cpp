// The helper process that opens self-describing files: damaged HDF4 files
// that crash the library while their data are read, or make it take all
// memory or hang, cost a display or an open, never the session.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>

#include <chrono>
#include <fstream>
#include <thread>

#include "hdfdamage.h"
#include "sdftest.h"

bool make_hdf4_file(const char* path);
bool make_hdf4_stored(const char* path, bool chunked);

using namespace sdftest;

namespace {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The limits in force are put back whatever a test set.
struct helperlimits : ::testing::Test {
  void TearDown() override {
    helper_set_limits(30, 0);
    gcmn.sigflg = 0;
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

TEST_F(helperlimits, ACrashWhileReadingFailsTheReadOnly) {
  // The longitude chunk length made 2^31 - 2^24 + 10: the library's chunked
  // read runs wild.
  std::string bad = tmpdir() + "/chunk_bad.hdf";
  ASSERT_TRUE(make_hdf4_stored(bad.c_str(), true));
  ASSERT_TRUE(damage_special_header(bad, 67, 127));
  std::string good = tmpdir() + "/good.hdf";
  ASSERT_TRUE(make_hdf4_file(good.c_str()));
  state st;
  std::string out;
  ASSERT_EQ(open_quiet(st, bad, &out), 0) << out;
  datafile* pbad = st.last();
  ASSERT_EQ(open_quiet(st, good, &out), 0) << out;
  datafile* pgood = st.last();
  int lo[4] = {1, 1, 1, 1}, hi[4] = {30, 20, 1, 1};
  request r(pbad, "hgt", 0, 1, lo, hi);
  EXPECT_EQ(r.read(&out), 3);
  EXPECT_EQ(out, "SDF read error:  " + bad + " is damaged: the HDF library fails on it.\n"
                 "Failure reading SDF data.  #1\n");
  // The good file, held by the helper that died, is opened again by the
  // next one and reads.
  int glo[4] = {1, 1, 1, 2}, ghi[4] = {4, 3, 1, 2};
  request g(pgood, "temp", 0, 1, glo, ghi);
  ASSERT_EQ(g.read(), 0);
  EXPECT_EQ(g.at(0, 0), 13);
  EXPECT_EQ(g.at(3, 2), 24);
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

TEST_F(helperlimits, AnOpenThatWouldTakeAllMemoryIsRefused) {
  // The uncompressed size in the Huffman header made huge: without a cap
  // the library's open takes some 14 GB before it succeeds or fails.
  std::string f = tmpdir() + "/huff_bomb.hdf";
  ASSERT_TRUE(make_hdf4_stored(f.c_str(), false));
  ASSERT_TRUE(damage_special_header(f, 15, 118));
  helper_set_limits(30, size_t(256) << 20);
  state st;
  std::string out;
  // A file the helper opens first starts it, under the cap.
  std::string good = tmpdir() + "/capped_good.hdf";
  ASSERT_TRUE(make_hdf4_file(good.c_str()));
  ASSERT_EQ(open_quiet(st, good, &out), 0) << out;
  ASSERT_GT(helper_pid(), 0);
  std::ifstream lim("/proc/" + std::to_string(helper_pid()) + "/limits");
  std::string line;
  std::string soft;
  while (std::getline(lim, line))
    if (line.rfind("Max data size", 0) == 0) soft = line.substr(26, line.find(' ', 26) - 26);
  bool capped = !soft.empty() && soft != "unlimited";
  ASSERT_TRUE(capped) << "the helper runs without a memory cap";
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(open_quiet(st, f, &out), 1);
  EXPECT_LT(seconds_since(t0), 10.0);
  // Short of memory the library fails the open, or crashes in it (as it
  // does under a checking allocator): refused either way.
  bool refused = out.find(f + " does not exist or is not a netCDF/HDF-SDS file.\n") != std::string::npos ||
                 out.find("SDFOPEN error:  " + f + " is damaged: the netCDF/HDF library fails on it.\n") !=
                     std::string::npos;
  EXPECT_TRUE(refused) << out;
  EXPECT_EQ(st.pcm->filecount, 1);
}

TEST_F(helperlimits, AnOpenThatHangsEndsAtTheTimeLimit) {
  // A named pipe with no writer: opening it to read its signature waits
  // for ever.
  std::string f = tmpdir() + "/pipe.nc";
  ASSERT_EQ(mkfifo(f.c_str(), 0600), 0);
  helper_set_limits(1, 0);
  state st;
  std::string out;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(open_quiet(st, f, &out), 1);
  EXPECT_LT(seconds_since(t0), 5.0);
  EXPECT_NE(out.find("SDFOPEN error:  " + f + ": the netCDF/HDF library takes too long on it.\n\n"
                     "Couldn't ingest SDF metadata.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(helper_pid(), -1);  // the helper that hung is gone
}

TEST_F(helperlimits, AnInterruptEndsTheWait) {
  std::string f = tmpdir() + "/pipe2.nc";
  ASSERT_EQ(mkfifo(f.c_str(), 0600), 0);
  std::thread typist([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gcmn.sigflg = 1;
  });
  state st;
  std::string out;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(open_quiet(st, f, &out), 1);
  typist.join();
  EXPECT_LT(seconds_since(t0), 5.0);
  EXPECT_NE(out.find("SDFOPEN error:  " + f + ": interrupted.\n"), std::string::npos) << out;
}

}  // namespace
