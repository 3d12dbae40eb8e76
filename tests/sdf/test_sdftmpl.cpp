// Template series: a data set spread over yearly member files.
#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>

#include "data/datetime.h"
#include "sdftest.h"

using namespace sdftest;

namespace {

// A member of 12 monthly steps; value = year * 100 + month everywhere.
std::string member(const std::string& dir, int year, const char* var = "v") {
  std::string vals;
  for (int m = 1; m <= 12; m++)
    for (int k = 0; k < 4; k++) vals += (vals.empty() ? "" : ", ") + std::to_string(year * 100 + m);
  std::string times;
  for (int m = 0; m < 12; m++) times += (m ? ", " : "") + std::to_string(m * 31);
  char cdl[4096];
  std::snprintf(cdl, sizeof cdl, R"(netcdf m {
dimensions: lon = 2 ; lat = 2 ; time = 12 ;
variables:
  float lon(lon) ; lon:units = "degrees_east" ;
  float lat(lat) ; lat:units = "degrees_north" ;
  double time(time) ; time:units = "days since %d-01-01" ;
  float %s(time, lat, lon) ;
  float c(lat, lon) ;
data: lon = 10, 20 ; lat = 0, 5 ; time = %s ; %s = %s ; c = %d, %d, %d, %d ;
}
)", year, var, times.c_str(), var, vals.c_str(), year, year, year, year);
  std::string name = dir + "/a" + std::to_string(year);
  write_text(name + ".cdl", cdl);
  std::string cmd = "ncgen -o '" + name + ".nc' '" + name + ".cdl'";
  return std::system(cmd.c_str()) == 0 ? name + ".nc" : std::string();
}

struct series : ::testing::Test {
  state st;
  datafile* pfi = nullptr;
  std::string dir;
  void SetUp() override {
    if (!have_ncgen()) GTEST_SKIP();
    dir = tmpdir() + "/series";
    // 1992 is missing until a test makes it.
    std::system(("mkdir -p '" + dir + "' && rm -f '" + dir + "/a1992.nc'").c_str());
    ASSERT_FALSE(member(dir, 1990).empty());
    ASSERT_FALSE(member(dir, 1991).empty());
    ASSERT_FALSE(member(dir, 1993, "w").empty());  // lacks the variable
  }
  void open(int steps) {
    std::string out;
    ASSERT_EQ(open_quiet(st, dir + "/a1990.nc a%y4.nc " + std::to_string(steps), &out), 0) << out;
    pfi = st.last();
  }
  request at(int t) {
    int lo[4] = {1, 1, 1, t}, hi[4] = {2, 2, 1, t};
    return request(pfi, "v", 0, 1, lo, hi);
  }
};

TEST_F(series, MembersSwitchByTime) {
  open(24);
  EXPECT_EQ(pfi->tmplat, 1);
  EXPECT_EQ(pfi->dnum[3], 24);
  EXPECT_EQ(pfi->name, dir + "/a%y4.nc");
  ASSERT_EQ(pfi->fnums.size(), 24u);
  EXPECT_EQ(pfi->fnums[0], 1);
  EXPECT_EQ(pfi->fnums[11], 1);
  EXPECT_EQ(pfi->fnums[12], 13);
  EXPECT_EQ(pfi->fnumc, 0);  // no member marked open: the first read switches
  request r1 = at(2);
  ASSERT_EQ(r1.read(), 0);
  EXPECT_EQ(r1.at(0, 0), 199002);
  EXPECT_EQ(pfi->fnumc, 1);
  request r13 = at(13);
  ASSERT_EQ(r13.read(), 0);
  EXPECT_EQ(r13.at(1, 1), 199101);
  EXPECT_EQ(pfi->fnumc, 13);
  EXPECT_EQ(pfi->tempname, dir + "/a1991.nc");
  request r14 = at(14);
  ASSERT_EQ(r14.read(), 0);
  EXPECT_EQ(r14.at(0, 0), 199102);
  // A series across members.
  int lo[4] = {1, 1, 1, 11}, hi[4] = {1, 1, 1, 14};
  request ts(pfi, "v", 3, -1, lo, hi);
  ASSERT_EQ(ts.read(), 0);
  EXPECT_EQ(ts.at(0), 199011);
  EXPECT_EQ(ts.at(1), 199012);
  EXPECT_EQ(ts.at(2), 199101);
  EXPECT_EQ(ts.at(3), 199102);
}

TEST_F(series, MissingMemberGivesUndefinedAndIsTriedAgain) {
  open(48);
  request r = at(30);  // 1992 does not exist
  std::string msg;
  ASSERT_EQ(r.read(&msg), 0);
  EXPECT_NE(msg.find("SDF templating:  Open of new SDF file failed.\n  Filename is " + dir +
                     "/a1992.nc.\n"),
            std::string::npos);
  EXPECT_NE(msg.find("SDF templating:  New open failed.\n"), std::string::npos);
  for (float v : r.vals) EXPECT_EQ(v, r.g.undef);
  EXPECT_EQ(pfi->fnumc, 0);
  // Said once per member, not on every display: while the file is still
  // missing, the next request of it is undefined without a word.
  request again = at(31);
  ASSERT_EQ(again.read(&msg), 0);
  EXPECT_EQ(msg, "");
  for (float v : again.vals) EXPECT_EQ(v, again.g.undef);
  // A member without the variable, likewise.
  request lacks = at(40);
  ASSERT_EQ(lacks.read(&msg), 0);
  EXPECT_NE(msg.find("SDF templating:  Couldn't find variable v in SDF file.\n"), std::string::npos);
  for (float v : lacks.vals) EXPECT_EQ(v, lacks.g.undef);
  request lacksagain = at(41);
  ASSERT_EQ(lacksagain.read(&msg), 0);
  EXPECT_EQ(msg, "");
  for (float v : lacksagain.vals) EXPECT_EQ(v, lacksagain.g.undef);
  // Reads of good members work again afterwards.
  request good = at(12);
  ASSERT_EQ(good.read(), 0);
  EXPECT_EQ(good.at(0, 0), 199012);
  request bad = at(49);
  ASSERT_EQ(bad.read(&msg), 0);  // beyond the series: undefined
}

// A request spanning a missing member looks for it once, whatever the
// number of rows or steps it wants from it; the next request looks again
// and reads the member once it is there.
TEST_F(series, MissingMemberIsLookedForOncePerRequest) {
  open(48);
  int lo[4] = {1, 1, 1, 23}, hi[4] = {1, 2, 1, 26};  // two steps of 1991, two of 1992
  request r(pfi, "v", 1, 3, lo, hi);
  std::string msg;
  ASSERT_EQ(r.read(&msg), 0);
  const std::string name = dir + "/a1992.nc";
  EXPECT_EQ(msg, name + " does not exist or is not a netCDF/HDF-SDS file.\n"
                 "SDF templating:  Open of new SDF file failed.\n  Filename is " + name + ".\n"
                 "SDF templating:  New open failed.\n");
  EXPECT_EQ(r.vals, (std::vector<float>{199111, 199111, 199112, 199112, r.g.undef, r.g.undef,
                                        r.g.undef, r.g.undef}));
  // A named pipe in its place is refused at once, and then taken as missing.
  ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
  for (const char* says : {": not a regular file.\n", ""}) {
    request piped(pfi, "v", 1, 3, lo, hi);
    ASSERT_EQ(piped.read(&msg), 0);
    EXPECT_EQ(msg, *says == '\0' ? std::string() : "SDFOPEN error:  " + name + says +
                  "SDF templating:  Open of new SDF file failed.\n  Filename is " + name + ".\n"
                  "SDF templating:  New open failed.\n");
    EXPECT_EQ(piped.vals, r.vals);
  }
  ASSERT_EQ(unlink(name.c_str()), 0);
  ASSERT_FALSE(member(dir, 1992).empty());
  request again(pfi, "v", 1, 3, lo, hi);
  ASSERT_EQ(again.read(&msg), 0);
  EXPECT_EQ(msg, "");
  EXPECT_EQ(again.vals, (std::vector<float>{199111, 199111, 199112, 199112, 199201, 199201,
                                            199202, 199202}));
}

// Runs body in a child process, with the ids of the user nobody when the
// test runs as root (the kernel's permission checks then apply, which root
// passes); the child's checks print their failures there.  The child's
// exit status: 0 passed, 1 failed, 77 the ids could not be taken.
int as_nobody(const std::function<void()>& body) {
  helper_set_limits(30, 0);  // the child starts a helper of its own
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(77);
    body();
    std::fflush(stdout);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// A member whose open fails for a reason of the moment, not of its file,
// is opened again by the next request and reads; the first failure gives
// its own reason.
TEST_F(series, AFailureOfTheMomentIsNotKeptForTheMember) {
  struct row {
    const char* how;
    int seconds;  // the time an open may take
    void (*fail)(const char* member);
    const char* says;
  } rows[] = {
      {"an interrupt", 30, [](const char*) { gcmn.sigflg = 1; }, ": interrupted.\n"},
      {"a helper stopped past the time limit", 1, [](const char*) { stop_helper(); },
       ": the netCDF/HDF library takes too long on it.\n"},
      {"a permission taken away", 30,
       [](const char* f) {
         if (chmod(f, 0) != 0 || access(f, R_OK) == 0) _exit(77);
       },
       ": Permission denied.\n"},
  };
  const std::string m = dir + "/a1991.nc";
  // Root reads a file whatever its mode: nobody, its owner, takes it away.
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(tmpdir().c_str(), 0755) | chown(m.c_str(), 65534, 65534), 0);
  }
  for (const row& r : rows) {
    const int rc = as_nobody([&] {
      helper_set_limits(r.seconds, 0);
      open(24);
      r.fail(m.c_str());
      request failed = at(13);
      std::string msg;
      ASSERT_EQ(failed.read(&msg), 0) << r.how;
      EXPECT_NE(msg.find("SDFOPEN error:  " + m + r.says), std::string::npos) << msg;
      EXPECT_EQ(msg.find("does not exist"), std::string::npos) << msg;
      EXPECT_EQ(failed.at(0, 0), failed.g.undef) << r.how;
      gcmn.sigflg = 0;
      chmod(m.c_str(), 0644);
      helper_set_limits(30, 0);
      request later = at(14);
      ASSERT_EQ(later.read(&msg), 0) << r.how;
      EXPECT_EQ(msg, "") << r.how;
      EXPECT_EQ(later.vals, std::vector<float>(4, 199102)) << r.how;
    });
    if (rc == 77) GTEST_SKIP() << "the permission cannot be taken away";
    EXPECT_EQ(rc, 0) << r.how;
  }
}

TEST_F(series, VariablesWithoutTimeReadAfterAFailedSwitch) {
  open(48);
  request miss = at(30);
  ASSERT_EQ(miss.read(), 0);
  EXPECT_EQ(pfi->fnumc, 0);
  int lo[4] = {1, 1, 1, 13}, hi[4] = {2, 2, 1, 13};
  request c(pfi, "c", 0, 1, lo, hi);
  ASSERT_EQ(c.read(), 0);
  EXPECT_EQ(c.at(0, 0), 1991);
  EXPECT_EQ(c.at(1, 1), 1991);
}

}  // namespace

namespace {

// A member holding one time, `hours` after 00Z 1 January 2001 (or that
// many times `every` hours apart), of the value given, named NAME.nc in dir.
std::string one_time(const std::string& dir, const std::string& name, int hours, int value, int days = 1,
                     int every = 24) {
  std::string times, vals;
  for (int d = 0; d < days; d++) {
    times += (d ? ", " : "") + std::to_string(hours + every * d);
    vals += (d ? ", " : "") + std::to_string(value) + ", " + std::to_string(value);
  }
  char cdl[1024];
  std::snprintf(cdl, sizeof cdl, R"(netcdf d {
dimensions: lon = 2 ; lat = 1 ; time = UNLIMITED ;
variables:
  float lon(lon) ; lon:units = "degrees_east" ;
  float lat(lat) ; lat:units = "degrees_north" ;
  double time(time) ; time:units = "hours since 2001-01-01" ;
  float v(time, lat, lon) ;
data: lon = 0, 10 ; lat = 0 ; time = %s ; v = %s ;
}
)", times.c_str(), vals.c_str());
  std::string base = dir + "/" + name;
  write_text(base + ".cdl", cdl);
  std::string cmd = "ncgen -o '" + base + ".nc' '" + base + ".cdl'";
  return std::system(cmd.c_str()) == 0 ? base + ".nc" : std::string();
}

// A daily member d_200101DD.nc, hours after midnight of its day; value =
// day of the month.
std::string day_file(const std::string& dir, int day, int hour = 0) {
  char name[32];
  std::snprintf(name, sizeof name, "d_200101%02d", day);
  return one_time(dir, name, (day - 1) * 24 + hour, day);
}

// A member h_200101DDHH.nc at the hour of January it names; value = the
// hours since its start.
std::string hour_file(const std::string& dir, int hours) {
  char name[32];
  std::snprintf(name, sizeof name, "h_200101%02d%02d", 1 + hours / 24, hours % 24);
  return one_time(dir, name, hours, hours);
}

}  // namespace

// Members holding one time each: the first cannot give the step, so the
// first times of the members after it do: the smallest spacing among the
// first few there, a missing file (the second, or every name of an hourly
// template but each sixth) never taken for the step.  When they cannot
// tell it the open is refused rather than made an axis of minutes whose
// later times all map to the first file, or one whose step is taken past
// a gap.
TEST(dailyseries, StepOfOneTimeMembersComesFromTheMembersThere) {
  if (!have_ncgen()) GTEST_SKIP();
  const std::string dir = tmpdir() + "/daily";
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/solo'").c_str());
  for (int d = 1; d <= 3; d++) ASSERT_FALSE(day_file(dir, d, 12).empty());
  state st;
  std::string out;
  // The members are read for their times and closed again in the helper:
  // it holds no more descriptors than with the first file alone open.
  ASSERT_EQ(open_quiet(st, dir + "/d_20010101.nc", &out), 0) << out;
  const int held = helper_fds();
  ASSERT_GT(held, 0);
  // The template is taken in the first file's folder.
  ASSERT_EQ(open_quiet(st, dir + "/d_20010101.nc d_%y4%m2%d2.nc 3", &out), 0) << out;
  EXPECT_EQ(helper_fds(), held);
  datafile* pfi = st.last();
  EXPECT_EQ(pfi->dnum[3], 3);
  EXPECT_FLOAT_EQ(pfi->grvals[3][3], 12.0f);  // 12Z 1 January
  EXPECT_FLOAT_EQ(pfi->grvals[3][5], 0.0f);
  EXPECT_FLOAT_EQ(pfi->grvals[3][6], 1440.0f);
  ASSERT_EQ(pfi->fnums, (std::vector<int>{1, 2, 3}));
  int lo[4] = {1, 1, 1, 1}, hi[4] = {1, 1, 1, 3};
  request r(pfi, "v", 3, -1, lo, hi);
  ASSERT_EQ(r.read(), 0);
  EXPECT_EQ(r.vals, (std::vector<float>{1, 2, 3}));

  const float u = -1;  // a missing member: the data set's undefined value
  const struct {
    const char* sub;
    std::vector<int> hours;  // of the files there
    char kind;               // h_ files named to the hour, d_ by day, m_ by month, i by the first's year and the day
    int count;
    float months, minutes;  // the step
    std::vector<float> vals;
    std::string times;  // of the steps, when not ""
  } steps[] = {
      {"h6", {0, 6, 12, 18, 24, 30, 36, 42}, 'h', 8, 0, 360, {0, 6, 12, 18, 24, 30, 36, 42}, ""},
      {"h12", {0, 12, 24, 36}, 'h', 4, 0, 720, {0, 12, 24, 36}, ""},
      {"h6gap", {0, 12, 18, 24}, 'h', 4, 0, 360, {0, u, 12, 18}, "00Z01JAN2001 06Z01JAN2001 12Z01JAN2001 18Z01JAN2001"},
      {"d3", {0, 72, 144, 216}, 'd', 4, 0, 4320, {1, 4, 7, 10}, "00Z01JAN2001 00Z04JAN2001 00Z07JAN2001 00Z10JAN2001"},
      {"d1", {0, 24}, 'd', 2, 0, 1440, {1, 2}, ""},
      {"init", {0, 24, 48}, 'i', 3, 0, 1440, {1, 2, 3}, ""},
      {"nosecond", {0, 48, 72, 96}, 'd', 5, 0, 1440, {1, u, 3, 4, 5}, ""},
      // Mid-month times, 29.5 to 31 days apart: monthly, each step the
      // time of its file (a missing one's halfway between its neighbours',
      // those past the last a month on).
      {"midmonth", {372, 1080, 1788, 2520}, 'm', 4, 1, 0, {1, 2, 3, 4}, "12Z16JAN2001 00Z15FEB2001 12Z16MAR2001 00Z16APR2001"},
      {"midgap", {372, 1788, 2520}, 'm', 5, 1, 0, {1, u, 3, 4, u},
       "12Z16JAN2001 00Z15FEB2001 12Z16MAR2001 00Z16APR2001 00Z16MAY2001"},
  };
  for (const auto& c : steps) {
    const std::string sub = dir + "/" + c.sub;
    std::system(("mkdir -p '" + sub + "'").c_str());
    for (int h : c.hours) {
      const int mo = 1 + (h >= 744) + (h >= 1416) + (h >= 2160);  // to April
      char name[16];
      std::snprintf(name, sizeof name, "m_2001%02d", mo);
      if (c.kind == 'i') std::snprintf(name, sizeof name, "i2001_d%02d", 1 + h / 24);
      ASSERT_FALSE((c.kind == 'h' ? hour_file(sub, h) : c.kind == 'd' ? day_file(sub, 1 + h / 24) : one_time(sub, name, h, c.kind == 'i' ? 1 + h / 24 : mo)).empty());
    }
    const std::string args = sub + (c.kind == 'h' ? "/h_2001010100.nc h_%y4%m2%d2%h2.nc " : c.kind == 'd' ? "/d_20010101.nc d_%y4%m2%d2.nc " : c.kind == 'i' ? "/i2001_d01.nc i%iy4_d%d2.nc " : "/m_200101.nc m_%y4%m2.nc ");
    ASSERT_EQ(open_quiet(st, args + std::to_string(c.count), &out), 0) << c.sub << out;
    pfi = st.last();
    EXPECT_FLOAT_EQ(pfi->grvals[3][5], c.months) << c.sub;
    EXPECT_FLOAT_EQ(pfi->grvals[3][6], c.minutes) << c.sub;
    int lo2[4] = {1, 1, 1, 1}, hi2[4] = {1, 1, 1, c.count};
    request rs(pfi, "v", 3, -1, lo2, hi2);
    ASSERT_EQ(rs.read(), 0) << c.sub;
    std::vector<float> want = c.vals;
    for (float& w : want)
      if (w == u) w = rs.g.undef;
    EXPECT_EQ(rs.vals, want) << c.sub;
    std::string times;
    for (int k = 1; k <= c.count && !c.times.empty(); k++) {
      datetime at;
      gr2t(pfi->grvals[3], k, &at);
      times += (k > 1 ? " " : "") + omt2str(&at, 4);
      EXPECT_EQ(t2gr(pfi->grvals[3], &at), k) << c.sub;
    }
    EXPECT_EQ(times, c.times) << c.sub;
  }

  // Each member is read once while the series opens, by the helper alone:
  // none after the first is opened more often than an open of it alone
  // opens it, and each as often as the others.  (The watch joins opens of
  // a file that follow each other into one event: what is counted is how
  // many times the file is taken up again.)
  const std::string mid = dir + "/midmonth";
  const int in = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(in, 0);
  ASSERT_GE(inotify_add_watch(in, mid.c_str(), IN_OPEN), 0);
  auto opens = [in] {
    std::map<std::string, int> n;
    alignas(inotify_event) char buf[4096];
    for (ssize_t got; (got = read(in, buf, sizeof buf)) > 0;) {
      for (char* p = buf; p < buf + got;) {
        const inotify_event* e = reinterpret_cast<const inotify_event*>(p);
        if (e->len > 0) n[e->name]++;
        p += sizeof(inotify_event) + e->len;
      }
    }
    return n;
  };
  ASSERT_EQ(open_quiet(st, mid + "/m_200102.nc", &out), 0) << out;
  const int alone = opens()["m_200102.nc"];
  ASSERT_EQ(open_quiet(st, mid + "/m_200101.nc m_%y4%m2.nc 4", &out), 0) << out;
  std::map<std::string, int> seen = opens();
  close(in);
  EXPECT_GT(alone, 0);
  for (const char* m : {"m_200102.nc", "m_200103.nc", "m_200104.nc"}) {
    EXPECT_LE(seen[m], alone) << m;
    EXPECT_EQ(seen[m], seen["m_200104.nc"]) << m;
  }

  // A member that cannot be read now (its permission taken away), past
  // those read for the step, is undefined with its reason, as a missing
  // one is: the series opens.
  const int laterhours[] = {3252, 3984, 4716};  // 12Z16MAY, 00Z16JUN, 12Z16JUL
  for (int m = 5; m <= 7; m++) ASSERT_FALSE(one_time(mid, "m_20010" + std::to_string(m), laterhours[m - 5], m).empty());
  const std::string shut = mid + "/m_200106.nc";
  if (geteuid() == 0) ASSERT_EQ(chmod(tmpdir().c_str(), 0755), 0);
  ASSERT_EQ(chmod(shut.c_str(), 0), 0);
  const int shutrc = as_nobody([&] {
    if (access(shut.c_str(), R_OK) == 0) _exit(77);
    std::string said;
    ASSERT_EQ(open_quiet(st, mid + "/m_200101.nc m_%y4%m2.nc 7", &said), 0) << said;
    EXPECT_NE(said.find("SDFOPEN error:  " + shut + ": Permission denied.\n"), std::string::npos) << said;
    int lo3[4] = {1, 1, 1, 1}, hi3[4] = {1, 1, 1, 7};
    request rs(st.last(), "v", 3, -1, lo3, hi3);
    ASSERT_EQ(rs.read(&said), 0);
    EXPECT_NE(said.find("SDFOPEN error:  " + shut + ": Permission denied.\n"), std::string::npos) << said;
    EXPECT_EQ(rs.vals, (std::vector<float>{1, 2, 3, 4, 5, rs.g.undef, 7}));
    std::string times;
    for (int k = 1; k <= 7; k++) {
      datetime at;
      gr2t(st.last()->grvals[3], k, &at);
      times += (k > 1 ? " " : "") + omt2str(&at, 4);
    }
    EXPECT_EQ(times, "12Z16JAN2001 00Z15FEB2001 12Z16MAR2001 00Z16APR2001 12Z16MAY2001 00Z16JUN2001 12Z16JUL2001");
  });
  ASSERT_EQ(chmod(shut.c_str(), 0644), 0);
  if (shutrc != 77) EXPECT_EQ(shutrc, 0);

  // No member after the first (alone), or none the library reads (said
  // once), one at the first one's time or before the one ahead of it (also
  // after a first of two times, and as the fifth name after it, the four
  // between missing), spacings
  // of no one step (two days, then three, or a week then a month), one
  // spacing alone of more than the template's unit (the second day's file
  // missing): refused, as is a template naming no time.
  const std::string same = dir + "/same", back = dir + "/back", uneven = dir + "/uneven", d2 = dir + "/d2",
                    twice = dir + "/twice", mixed = dir + "/mixed", midback = dir + "/midback",
                    inside = dir + "/inside", jan3 = dir + "/jan3", late = dir + "/late", junk = dir + "/junk";
  std::system(("mkdir -p '" + same + "' '" + back + "' '" + uneven + "' '" + d2 + "' '" + twice + "' '" + mixed +
               "' '" + midback + "' '" + inside + "' '" + jan3 + "' '" + late + "' '" + junk + "'").c_str());
  ASSERT_FALSE(one_time(late, "d_20010101", 0, 1, 2, 12).empty());
  ASSERT_FALSE(one_time(late, "d_20010106", 6, 6).empty());  // 06Z 1 January
  ASSERT_FALSE(day_file(junk, 1).empty());
  write_text(junk + "/d_20010102.nc", "not a netCDF file");
  ASSERT_FALSE(one_time(inside, "d_20010101", 0, 1, 2, 12).empty());  // 00Z and 12Z
  ASSERT_FALSE(one_time(inside, "d_20010102", 6, 2).empty());         // 06Z the day before
  ASSERT_FALSE(one_time(jan3, "m_200101", 0, 1).empty());             // monthly names, 1 and 3 January
  ASSERT_FALSE(one_time(jan3, "m_200102", 48, 2).empty());
  const int midhours[] = {372, 1080, 1788, 2520, 3252, 3200};  // June's file in May
  for (int m = 1; m <= 6; m++)
    ASSERT_FALSE(one_time(midback, "m_20010" + std::to_string(m), midhours[m - 1], m).empty());
  for (int d : {1, 3}) ASSERT_FALSE(day_file(d2, d).empty());
  ASSERT_FALSE(one_time(twice, "d_20010101", 0, 1, 2).empty());
  ASSERT_FALSE(day_file(twice, 3, -72).empty());
  for (int d : {1, 3, 6}) ASSERT_FALSE(day_file(uneven, d).empty());
  for (int d : {1, 8}) ASSERT_FALSE(day_file(mixed, d).empty());
  ASSERT_FALSE(one_time(mixed, "d_20010201", 31 * 24, 32).empty());
  ASSERT_FALSE(day_file(same, 1).empty());
  ASSERT_FALSE(day_file(same, 2, -24).empty());
  ASSERT_FALSE(day_file(back, 1).empty());
  ASSERT_FALSE(day_file(back, 2).empty());
  ASSERT_FALSE(day_file(back, 3, -36).empty());
  ASSERT_FALSE(day_file(dir + "/solo", 1).empty());
  const std::string head = "SDFOPEN error:  The first file holds one time, so the series' time step cannot be read "
                           "from it,\n  and ";
  const std::string give = "Give the step with tdef in an extended descriptor (xdfopen).\n";
  const std::string solo = dir + "/solo/d_";
  const std::string rows[][2] = {
      {solo + "20010101.nc d_%y4%m2%d2.nc 3",
       head + "no member file from " + solo + "20010102.nc to " + solo + "20050209.nc gives it.  " + give},
      {solo + "20010101.nc d_20010101.nc 3", head + "no later member file gives it.  " + give},
      {same + "/d_20010101.nc d_%y4%m2%d2.nc 2",
       "SDFOPEN error:  The next member file " + same + "/d_20010102.nc does not begin after the first.\n"},
      {back + "/d_20010101.nc d_%y4%m2%d2.nc 3",
       "SDFOPEN error:  The member file " + back + "/d_20010103.nc does not begin after " + back + "/d_20010102.nc.\n"},
      {uneven + "/d_20010101.nc d_%y4%m2%d2.nc 3",
       head + "the member files after it, up to " + uneven + "/d_20010106.nc, are not spaced by whole multiples of one step.  " + give},
      {d2 + "/d_20010101.nc d_%y4%m2%d2.nc 3", head + "the next member file " + d2 + "/d_20010102.nc is missing.  " + give},
      {twice + "/d_20010101.nc d_%y4%m2%d2.nc 4",
       "SDFOPEN error:  The next member file " + twice + "/d_20010103.nc does not begin after the first.\n"},
      {inside + "/d_20010101.nc d_%y4%m2%d2.nc 4",
       "SDFOPEN error:  The next member file " + inside + "/d_20010102.nc does not begin after the first.\n"},
      {jan3 + "/m_200101.nc m_%y4%m2.nc 3",
       head + "the member files after it, up to " + jan3 + "/m_200102.nc, are not spaced by whole multiples of one step.  " + give},
      {mixed + "/d_20010101.nc d_%y4%m2%d2.nc 3",
       head + "the member files after it, up to " + mixed + "/d_20010201.nc, are not spaced by whole multiples of one step.  " + give},
      {late + "/d_20010101.nc d_%y4%m2%d2.nc 12",
       "SDFOPEN error:  The next member file " + late + "/d_20010106.nc does not begin after the first.\n"},
      {junk + "/d_20010101.nc d_%y4%m2%d2.nc 3",
       "0 levels in SDF file.\n" + junk + "/d_20010102.nc does not exist or is not a netCDF/HDF-SDS file.\n" + head +
           "no member file from " + junk + "/d_20010102.nc to " + junk + "/d_20010106.nc gives it.  " + give},
      {midback + "/m_200101.nc m_%y4%m2.nc 6",
       "SDFOPEN error:  The member file " + midback + "/m_200106.nc does not begin after " + midback + "/m_200105.nc.\n"}};
  for (const auto& row : rows) {
    EXPECT_EQ(open_quiet(st, row[0], &out), 1) << row[0];
    EXPECT_NE(out.find(row[1]), std::string::npos) << out;
  }
  // One time asked for: nothing to step.
  EXPECT_EQ(open_quiet(st, dir + "/solo/d_20010101.nc d_%y4%m2%d2.nc 1", &out), 0) << out;

  // A file of mid-month times shows them, alone or as the first of a
  // series of such files, whose later members show theirs (a month apart
  // past a member's last).
  const std::string two = one_time(dir, "y_2001", 372, 1, 2, 708);
  ASSERT_FALSE(one_time(dir, "y_2002", 9132, 2, 2, 708).empty());
  datetime feb;
  ASSERT_EQ(open_quiet(st, two, &out), 0) << out;
  gr2t(st.last()->grvals[3], 2, &feb);
  EXPECT_EQ(omt2str(&feb, 4), "00Z15FEB2001");
  ASSERT_EQ(open_quiet(st, two + " y_%y4.nc 24", &out), 0) << out;
  gr2t(st.last()->grvals[3], 14, &feb);
  EXPECT_EQ(omt2str(&feb, 4), "00Z15FEB2002");
  gr2t(st.last()->grvals[3], 15, &feb);
  EXPECT_EQ(omt2str(&feb, 4), "00Z15MAR2002");
}
