// Reductions along time whose steps are merged straight from the data
// file's map give, to the bit, what they give when every step is first
// read into a grid: "(v)" is the same variable taken through the whole
// evaluator, so each result is compared with it point by point, for every
// reduction, increments and fractional bounds, both byte orders, values in
// the undefined band, NaN, infinities, signed zeros, gaps that start late,
// an undefined value of 0 (an empty band) and members of a template that
// are missing.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/gridview.h"
#include "stepview.h"

namespace {

constexpr int NX = 64, NY = 32, NT = 7;  // a grid of 8 KB: read from the map

struct shape {
  int nx = NX, ny = NY, nt = NT;
};

using pointfn = std::function<float(int x, int y, int t)>;

std::string bytesof(const pointfn& f, int t, bool big, const shape& sh) {
  std::string s;
  for (int y = 1; y <= sh.ny; y++)
    for (int x = 1; x <= sh.nx; x++) {
      uint32_t w = bitsof(f(x, y, t));
      if (big) w = __builtin_bswap32(w);
      s.append(reinterpret_cast<const char*>(&w), 4);
    }
  return s;
}

// One variable v on a grid of NX x NY (global), NT yearly steps, in one
// file or one member file per year (template; the years in `missing` are
// not written).
struct viewset {
  scratchdir sd;
  datafile* pfi = nullptr;
  std::string out;
  shape sh;

  viewset(const pointfn& f, const std::string& undef, bool big, bool tmpl = false,
          int missing = 0, shape s = shape{})
      : sh(s) {
    std::string all;
    for (int t = 1; t <= sh.nt; t++) {
      if (!tmpl) {
        all += bytesof(f, t, big, sh);
      } else if (1989 + t != missing) {
        sd.write("m" + std::to_string(1989 + t) + ".bin", bytesof(f, t, big, sh));
      }
    }
    if (!tmpl) sd.write("v.bin", all);
    std::string ctl = sd.write(
        "v.ctl", std::string("dset ^") + (tmpl ? "m%y4.bin" : "v.bin") + "\nundef " + undef +
                     "\noptions " + (big ? "big_endian" : "little_endian") +
                     (tmpl ? " template" : "") + "\nxdef " + std::to_string(sh.nx) + " linear 0 " +
                     std::to_string(360.0 / sh.nx) + "\nydef " + std::to_string(sh.ny) +
                     " linear -80 0.5\nzdef 1 levels 1000\ntdef " + std::to_string(sh.nt) +
                     " linear 0z1jan1990 1yr\nvars 1\nv 0 99 v\nendvars\n");
    pfi = getpfi();
    out = captured([&] { EXPECT_EQ(omddes(ctl.c_str(), pfi, 1), 0); });
    if (!tmpl) pfi->infile = std::fopen(pfi->name.c_str(), "rb");
    pfi->misswarn = missing != 0;
  }
  ~viewset() {
    if (pfi->infile) std::fclose(pfi->infile);
    frepfi(pfi, 0);
  }
  evalstat xy(int x2 = 0) const { return xyof(pfi, x2 == 0 ? sh.nx : x2, sh.ny); }
};

// A smooth field with, at chosen points: the undefined value itself, a
// value inside its band, one just outside it (defined), NaN, both
// infinities, both zeros; from step `gapfrom` on, every seventh point is
// undefined in turn.
float awkward(int x, int y, int t, int gapfrom) {
  const float u = -9.99e8f;
  const int k = (y - 1) * NX + (x - 1);
  if (k == 5) return t == 3 ? u : 1.5f;
  if (k == 6) return t == 5 ? u * (1.0f + 3e-6f) : 2.5f;
  if (k == 7) return u * (1.0f + 2e-5f);
  if (k == 8 && t == 4) return std::nanf("");
  if (k == 9 && t >= 3) return t % 2 ? INFINITY : -INFINITY;
  if (k == 10) return t % 2 ? 0.0f : -0.0f;
  if (k == 11) return -0.0f;
  if (t >= gapfrom && (k + t) % 7 == 0) return u;
  return fts(x, y, t) * 100.0f;
}

TEST(StepViews, ReductionsFromTheMapAreTheGridReadersBits) {
  for (bool big : {false, true})
    for (int gapfrom : {1, 4, 99}) {
      viewset ds([=](int x, int y, int t) { return awkward(x, y, t, gapfrom); }, "-9.99e8", big);
      SCOPED_TRACE(std::string(big ? "big" : "little") + "-endian, gaps from " + std::to_string(gapfrom));
      const evalstat st = ds.xy();
      // Steps 3 to 7 of each of the 8 reductions come from views, and
      // 5 and 7 with an increment of 2; bounds of 1.3 and 6.8 walk steps 1
      // to 7 and weigh the end steps by their fractions.
      EXPECT_EQ(sameasgrids(st, "t=1,t=7"), 8 * 5);
      EXPECT_EQ(sameasgrids(st, "t=1,t=7,2"), 8 * 2);
      EXPECT_EQ(sameasgrids(st, "t=1.3,t=6.8,-b"), 8 * 5);
    }
}

TEST(StepViews, MeansAreTheInOrderSumsOfTheDefinedSteps) {
  viewset ds([](int x, int y, int t) { return awkward(x, y, t, 4); }, "-9.99e8", false);
  const evalstat st = ds.xy();
  viewrun r = runof("ave(v,t=1,t=7)", st);
  ASSERT_EQ(r.rc, 0) << r.msg;
  EXPECT_EQ(r.views, 5);
  const float u = -9.99e8f;
  for (int k : {0, 5, 6, 7, 8, 9, 10, 11, 12, 40, 2047}) {
    float s = 0, n = 0;
    bool have = false;
    for (int t = 1; t <= NT; t++) {
      const float v = awkward(k % NX + 1, k / NX + 1, t, 4);
      if ((v > u * (1 + 1e-5f) && v < u * (1 - 1e-5f)) || !std::isfinite(v)) continue;
      s = have ? s + v : v;
      n = have ? n + 1.0f : 1.0f;
      have = true;
    }
    EXPECT_EQ(r.bits[k], bitsof(s / n)) << k;
  }
  // Point 10 sums zeros of both signs to +0; point 11 keeps -0.
  EXPECT_EQ(r.bits[10], bitsof(0.0f));
  EXPECT_EQ(r.bits[11], bitsof(-0.0f));
}

TEST(StepViews, AnUndefinedValueOfZeroHasNoBand) {
  // With undef 0 the band is empty: a zero of either sign is undefined
  // because it equals the undefined value, not because it is in the band.
  auto f = [](int x, int y, int t) {
    const int k = (y - 1) * NX + (x - 1);
    if (k % 5 == 0) return t % 2 ? 0.0f : -0.0f;
    if (k % 5 == 1) return 1e-30f * t;
    return fts(x, y, t);
  };
  for (bool big : {false, true}) {
    viewset ds(f, "0", big);
    const evalstat st = ds.xy();
    EXPECT_EQ(sameasgrids(st, "t=1,t=7"), 8 * 5);
    viewrun r = runof("sum(v,t=1,t=7)", st);
    ASSERT_EQ(r.rc, 0) << r.msg;
    EXPECT_EQ(r.bits[0], bitsof(0.0f));  // undefined throughout
  }
}

TEST(StepViews, ASumThatMeetsTheUndefinedValueStartsAgain) {
  // With undef 2, a sum that comes to 2 is undefined and starts again at
  // the next defined step: point 3 after steps 1 and 2, point 4 after step
  // 3 (then five fives, or four).  Point 5 lacks step 4 alone.
  viewset ds(
      [](int x, int y, int t) {
        if (y == 1 && x == 4) return t <= 2 ? 1.0f : 5.0f;
        if (y == 1 && x == 5) return t <= 2 ? 0.5f : t == 3 ? 1.0f : 5.0f;
        if (y == 1 && x == 6 && t == 4) return 2.0f;
        return 100.0f + t;
      },
      "2", false);
  viewrun r = runof("ave(v,t=1,t=7)", ds.xy());
  ASSERT_EQ(r.rc, 0) << r.msg;
  EXPECT_EQ(r.views, 5);
  EXPECT_EQ(r.bits[3], bitsof(25.0f / 7.0f));
  EXPECT_EQ(r.bits[4], bitsof(20.0f / 7.0f));
  EXPECT_EQ(r.bits[5], bitsof(104.0f));  // 624 / 6
  EXPECT_EQ(r.bits[10], bitsof(104.0f));  // 728 / 7
}

TEST(StepViews, MissingTemplateMembersWarnAndReadAsBefore) {
  viewset ds([](int x, int y, int t) { return awkward(x, y, t, 4); }, "-9.99e8", false, true, 1993);
  const evalstat st = ds.xy();
  viewrun a = runof("ave(v,t=1,t=7)", st), b = runof("ave((v),t=1,t=7)", st);
  ASSERT_EQ(a.rc, 0) << a.msg;
  EXPECT_EQ(a.msg, "Warning: Open error, fn = " + ds.sd.path("m1993.bin") + "\n");
  EXPECT_EQ(a.msg, b.msg);
  EXPECT_TRUE(a.bits == b.bits);
  EXPECT_EQ(a.views, 4);  // steps 3, 5, 6 and 7
}

TEST(StepViews, OnlyBareVariablesReadAsOneRunAreViewed) {
  viewset ds([](int x, int y, int t) { return fts(x, y, t); }, "-9.99e8", false);
  const evalstat st = ds.xy();
  EXPECT_EQ(runof("ave(v.1,t=1,t=7)", st).views, 5);
  for (const char* e : {"ave(v+0,t=1,t=7)", "ave(v(z=1),t=1,t=7)", "ave(v.2,t=1,t=7)"})
    EXPECT_EQ(runof(e, st).views, 0) << e;
  // Columns past the end of the globe are laid out by the reader: no view,
  // and the same bits as through the evaluator.
  const evalstat wide = ds.xy(NX + 3);
  EXPECT_EQ(sameasgrids(wide, "t=1,t=7"), 0);
  // Steps the file holds past the descriptor's last are not the data set's:
  // the mean warns of them and leaves them out, as through the evaluator.
  std::FILE* more = std::fopen(ds.sd.path("v.bin").c_str(), "ab");
  const std::string eighth = bytesof([](int x, int y, int) { return fts(x, y, 8); }, 8, false, ds.sh);
  ASSERT_EQ(std::fwrite(eighth.data(), 1, eighth.size(), more), eighth.size());
  std::fclose(more);
  viewrun a = runof("ave(v,t=1,t=8)", st), b = runof("ave((v),t=1,t=8)", st);
  EXPECT_EQ(a.msg, "  Warning issued for variable = v\n");
  EXPECT_EQ(a.msg, b.msg);
  EXPECT_TRUE(a.bits == b.bits);
}

// Another program cuts the data file to nothing while a mean reads it: a
// timer stands in for it, at moments from the first steps (read into grids)
// to the last (merged from the map).  The mean ends with the reader's read
// error, or completes when the cut came after it; the program goes on.
int cutfd = -1;
void cutfile(int) { (void)!ftruncate(cutfd, 0); }

void meanwhilecut(long usec) {
  const shape big{1024, 256, 48};  // 1 MB a step
  viewset ds([](int x, int y, int t) { return fts(x, y, t); }, "-9.99e8", false, false, 0, big);
  const evalstat st = ds.xy();
  cutfd = open(ds.pfi->name.c_str(), O_RDWR);
  std::signal(SIGALRM, cutfile);
  itimerval it{};
  it.it_value.tv_usec = usec;
  setitimer(ITIMER_REAL, &it, nullptr);
  evalout o = fnrun("ave(v,t=1,t=48)", st);
  it.it_value.tv_usec = 0;
  setitimer(ITIMER_REAL, &it, nullptr);
  if (o.rc == 0) {
    omfree(&o.st);
    std::_Exit(1);
  }
  const std::string lost = "Low Level I/O Error:  Read error on data file \n  Data file name = " +
                           ds.pfi->name + " \n  Error reading 262144 bytes at location ";
  const bool said = o.msg.rfind(lost, 0) == 0 &&
                    o.msg.find("Data Request Error:  Error for variable 'v'\n") != std::string::npos;
  std::_Exit(said ? 0 : 3);
}

TEST(StepViewsDeathTest, ADataFileCutDuringAMeanIsAReadError) {
  // Each run in a process of its own: 0 when the mean ended with the read
  // error, 1 when it was done before the cut; never a signal.
  int cut = 0;
  for (long usec : {300L, 1000L, 2500L, 6000L}) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) meanwhilecut(usec);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << usec << " microseconds: signal " << WTERMSIG(status);
    ASSERT_LE(WEXITSTATUS(status), 1) << usec << " microseconds";
    cut += WEXITSTATUS(status) == 0;
  }
  EXPECT_GT(cut, 0);
}

// The same cut at a chosen moment: a page of the file's map is made to fault
// once, and its fault cuts the file (to nothing, or to where the page
// starts) before the page is read.
void* trap = nullptr;
off_t cutto = 0;
void cutattrap(int) {
  (void)!ftruncate(cutfd, cutto);
  mprotect(trap, 4096, PROT_READ);
}

// e over a data set of the shape sh, cut as it is read up to the page at
// byte page of step t (to where the page starts where cutpage).
viewrun cutat(const char* e, int t, shape sh = shape{}, int64_t page = 4096, bool cutpage = false) {
  viewset ds([](int x, int y, int s) { return fts(x, y, s); }, "-9.99e8", false, false, 0, sh);
  const int64_t at = static_cast<int64_t>(t - 1) * sh.nx * sh.ny * 4 + page;
  trap = const_cast<unsigned char*>(ds.pfi->fmap.bytes(ds.pfi->infile, at, 4096));
  cutfd = open(ds.pfi->name.c_str(), O_RDWR);
  cutto = cutpage ? at : 0;
  struct sigaction sa {}, old;
  sa.sa_handler = cutattrap;
  sigaction(SIGSEGV, &sa, &old);
  mprotect(trap, 4096, PROT_NONE);
  viewrun r = runof(e, ds.xy());
  sigaction(SIGSEGV, &old, nullptr);
  close(cutfd);
  return r;
}

TEST(StepViews, AFileCutAsAGridOrAMeansLastStepIsReadIsAReadError) {
  const std::string lost = "Low Level I/O Error:  Read error on data file \n";
  const std::string var = " \nData Request Error:  Error for variable 'v'\n";
  viewrun r = cutat("v", 1);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.msg.rfind(lost, 0), 0u) << r.msg;
  EXPECT_NE(r.msg.find("Error reading 2048 bytes at location 0" + var), std::string::npos) << r.msg;
  r = cutat("ave(v,t=1,t=7)", 7);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.msg.rfind(lost, 0), 0u) << r.msg;
  EXPECT_NE(r.msg.find("at location 12288" + var + "Error from AVE:  Error getting grids \n"), std::string::npos)
      << r.msg;
  // A grid merged half on each of two processors: the second half of the
  // last step is cut, which the second processor merges where there is one.
  // Step 8 is merged together with step 7 while the mean stays flat: the
  // error names step 8, which the file lost, not 7, which it still holds.
  const shape wide{256, 128, 9};
  for (bool flat : {true, false})
    for (int t : {8, 9}) {
      r = cutat(flat ? "ave(v,t=1,t=9)" : "max(v,t=1,t=9)", t, wide, 65536 + 8192, true);
      EXPECT_EQ(r.rc, 1);
      EXPECT_NE(r.msg.find("Error reading 32768 bytes at location " + std::to_string((t - 1) * 32768) + var),
                std::string::npos)
          << r.msg;
    }
}

// Pins this thread, and the threads it starts, to n of the processors it may
// use (where it may use that many) while the record lives.
struct pinned {
  cpu_set_t was;
  bool ok = false;
  explicit pinned(int n) {
    sched_getaffinity(0, sizeof was, &was);
    cpu_set_t set;
    CPU_ZERO(&set);
    int got = 0;
    for (int c = 0; c < CPU_SETSIZE && got < n; c++)
      if (CPU_ISSET(c, &was)) {
        CPU_SET(c, &set);
        got++;
      }
    ok = got == n && sched_setaffinity(0, sizeof set, &set) == 0;
  }
  ~pinned() { sched_setaffinity(0, sizeof was, &was); }
};

int threads() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

TEST(StepViews, TwoProcessorsMergeHalvesToTheBitsOfOne) {
  // 32768 points, halved where two processors may be used; the gaps start
  // late, in both halves, or in the second half alone (the first stays
  // flat throughout).
  const shape wide{256, 128, 40};
  const int before = threads();
  for (int gapfrom : {1, 20, 99})
    for (bool secondonly : {false, true}) {
      viewset ds(
          [=](int x, int y, int t) {
            return secondonly && y <= 64 ? fts(x, y, t) * 100.0f : awkward(x, y, t, gapfrom);
          },
          "-9.99e8", false, false, 0, wide);
      const evalstat st = ds.xy();
      for (const char* f : kReductions) {
        const std::string e = std::string(f) + "(v,t=1,t=40)";
        viewrun one, two;
        {
          pinned p(1);
          one = runof(e, st);
        }
        {
          pinned p(2);
          two = runof(e, st);
        }
        const viewrun grids = runof(std::string(f) + "((v),t=1,t=40)", st);
        ASSERT_EQ(one.rc, 0) << e << one.msg;
        EXPECT_EQ(one.views, 38) << e;
        EXPECT_EQ(two.views, 38) << e;
        EXPECT_TRUE(one.bits == grids.bits) << e << " gaps from " << gapfrom;
        EXPECT_TRUE(two.bits == grids.bits) << e << " gaps from " << gapfrom;
      }
    }
  EXPECT_EQ(threads(), before);
}

// The file's pages in this process, in kB; -1 where not told.
long rssfile_kb() {
  long kb = -1;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr && std::sscanf(line, "RssFile: %ld", &kb) != 1) {
    }
    std::fclose(f);
  }
  return kb;
}

// A mean over 80 MB of steps, merged half on each processor, leaves at
// most the last stretch of the file's pages resident, as a read does.
TEST(StepViews, AMeanReadThroughOnceDoesNotStayResident) {
  const shape big{1024, 512, 40};
  viewset ds([](int, int, int t) { return static_cast<float>(t); }, "-9.99e8", false, false, 0, big);
  const long before = rssfile_kb();
  if (before < 0) GTEST_SKIP() << "no RssFile in /proc/self/status";
  pinned p(2);
  const viewrun r = runof("ave(v,t=1,t=40)", ds.xy());
  ASSERT_EQ(r.rc, 0) << r.msg;
  EXPECT_EQ(r.bits[0], bitsof(20.5f));
  EXPECT_LT(rssfile_kb() - before, 70 * 1024);
}

// An interrupt typed while the steps are merged: the page's fault stands in
// for it, at the tenth step of forty.
void interruptattrap(int) {
  gcmn.sigflg = 1;
  mprotect(trap, 4096, PROT_READ);
}

TEST(StepViews, AnInterruptEndsAMeanAtTheNextStepsLeavingNoThread) {
  const shape wide{256, 128, 40};
  const int before = threads();
  for (int64_t page : {4096, 65536 + 4096}) {  // in each half
    viewset ds([](int x, int y, int s) { return fts(x, y, s); }, "-9.99e8", false, false, 0, wide);
    trap = const_cast<unsigned char*>(ds.pfi->fmap.bytes(ds.pfi->infile, 9 * 32768 * 4 + page, 4096));
    struct sigaction sa {}, old;
    sa.sa_handler = interruptattrap;
    sigaction(SIGSEGV, &sa, &old);
    mprotect(trap, 4096, PROT_NONE);
    const viewrun r = runof("ave(v,t=1,t=40)", ds.xy());
    sigaction(SIGSEGV, &old, nullptr);
    EXPECT_EQ(gcmn.sigflg, 1);
    gcmn.sigflg = 0;
    EXPECT_NE(r.rc, 0);
    EXPECT_NE(r.msg.find("Error from AVE:  Error getting grids \n"), std::string::npos) << r.msg;
    // The steps being merged as it came are done; no more are taken.
    EXPECT_EQ(r.views, 32);
  }
  EXPECT_EQ(threads(), before);
}

}  // namespace
