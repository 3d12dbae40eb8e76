// The helper process that opens self-describing files: damaged HDF4 files
// that crash the library while their data are read, or make it take all
// memory or hang, cost a display or an open, never the session.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
