// save: the netCDF file it writes read back with the netCDF library (its
// coordinates and their attributes, the values to the bit, undefined
// points as the fill value), the netCDF-4 option, every refusal, and what
// an error or an interrupt leaves of an older file.
#include <glob.h>
#include <netcdf.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/fsizecap.h"
#include "test_display_env.h"

using namespace disptest;

namespace {

using Save = DisplayEnv;

// An open netCDF file read back, closed at the end.
struct ncread {
  int id = -1;
  explicit ncread(const std::string& path) { EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR) << path; }
  ~ncread() {
    if (id >= 0) nc_close(id);
  }
  int var(const char* name) const {
    int v = -1;
    EXPECT_EQ(nc_inq_varid(id, name, &v), NC_NOERR) << name;
    return v;
  }
  size_t dim(const char* name) const {
    int d;
    size_t n = 0;
    if (nc_inq_dimid(id, name, &d) != NC_NOERR) return 0;
    nc_inq_dimlen(id, d, &n);
    return n;
  }
  std::string text(const char* name, const char* att) const {
    const int v = name ? var(name) : NC_GLOBAL;
    size_t n = 0;
    if (nc_inq_attlen(id, v, att, &n) != NC_NOERR) return "<none>";
    std::string s(n, '\0');
    nc_get_att_text(id, v, att, &s[0]);
    return s;
  }
  template <class T>
  std::vector<T> get(const char* name) const {
    int nd, dims[NC_MAX_VAR_DIMS];
    nc_inq_varndims(id, var(name), &nd);
    nc_inq_vardimid(id, var(name), dims);
    size_t n = 1, len;
    for (int k = 0; k < nd; k++) n *= nc_inq_dimlen(id, dims[k], &len) == NC_NOERR ? len : 0;
    std::vector<T> v(n);
    if constexpr (sizeof(T) == 4) nc_get_var_float(id, var(name), v.data());
    else nc_get_var_double(id, var(name), v.data());
    return v;
  }
  std::vector<double> doubles(const char* name) const { return get<double>(name); }
  std::vector<float> floats(const char* name) const { return get<float>(name); }
};

// Descriptors open in the process.
size_t fds() {
  glob_t g{};
  const size_t n = glob("/proc/self/fd/*", 0, nullptr, &g) == 0 ? g.gl_pathc : 0;
  globfree(&g);
  return n;
}

// Part files left in a folder.
size_t parts(const std::string& dir) {
  glob_t g{};
  const size_t n = glob((dir + "/*.part").c_str(), 0, nullptr, &g) == 0 ? g.gl_pathc : 0;
  globfree(&g);
  return n;
}

}  // namespace

TEST_F(Save, EveryVaryingDimensionToTheBit) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set x 1 4");
  run("set z 1 2");
  run("set t 1 3");
  Out o = run("save " + path("o.nc") + " t");
  ASSERT_EQ(o.rc, 0) << o.out;
  EXPECT_EQ(o.out, "");
  ncread f(path("o.nc"));
  EXPECT_EQ(f.dim("time"), 3u);
  EXPECT_EQ(f.dim("lev"), 2u);
  EXPECT_EQ(f.dim("lat"), 3u);
  EXPECT_EQ(f.dim("lon"), 4u);
  EXPECT_EQ(f.doubles("lon"), (std::vector<double>{0, 10, 20, 30}));
  EXPECT_EQ(f.doubles("lat"), (std::vector<double>{-10, 0, 10}));
  EXPECT_EQ(f.doubles("lev"), (std::vector<double>{1000, 500}));
  EXPECT_EQ(f.doubles("time"), (std::vector<double>{0, 6, 12}));
  struct att { const char *var, *name, *want; } atts[] = {
      {"lon", "units", "degrees_east"}, {"lon", "axis", "X"}, {"lat", "units", "degrees_north"},
      {"lat", "axis", "Y"}, {"lev", "units", "millibar"}, {"lev", "axis", "Z"}, {"lev", "positive", "down"},
      {"time", "axis", "T"}, {"time", "units", "hours since 2000-01-01 00:00:00"},
      {"time", "calendar", "standard"}, {"t", "long_name", "temperature"},
      {nullptr, "Conventions", "CF-1.8"}, {nullptr, "title", "Test set"},
  };
  for (const att& a : atts) EXPECT_EQ(f.text(a.var, a.name), a.want) << a.name;
  std::vector<float> v = f.floats("t");
  ASSERT_EQ(v.size(), 72u);
  float fill = 0;
  nc_get_att_float(f.id, f.var("t"), "_FillValue", &fill);
  EXPECT_EQ(fill, -9.99e8f);
  for (size_t k = 0; k < v.size(); k++) EXPECT_EQ(v[k], k == 5 ? fill : static_cast<float>(k)) << k;
}

TEST_F(Save, NamesSeveralExpressionsAndNetcdf4) {
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set t 2 3");
  Out o = run("save -z5 " + path("o.nc") + " dbl = t*2 t");
  ASSERT_EQ(o.rc, 0) << o.out;
  ncread f(path("o.nc"));
  int format = 0, shuffle = 0, deflate = 0, level = 0;
  nc_inq_format(f.id, &format);
  EXPECT_EQ(format, NC_FORMAT_NETCDF4);
  nc_inq_var_deflate(f.id, f.var("dbl"), &shuffle, &deflate, &level);
  EXPECT_EQ(deflate, 1);
  EXPECT_EQ(level, 5);
  EXPECT_EQ(f.dim("lev"), 0u);  // levels do not vary
  EXPECT_EQ(f.text("dbl", "long_name"), "<none>");
  std::vector<float> d = f.floats("dbl"), t = f.floats("t");
  ASSERT_EQ(d.size(), 24u);
  for (size_t k = 0; k < d.size(); k++) {
    const float src = static_cast<float>(k % 12 + 24 * (k / 12 + 1));
    EXPECT_EQ(t[k], src);
    EXPECT_EQ(d[k], 2 * src);
  }
  // A point's series: longitude and latitude of one value each.
  run("set x 2");
  run("set y 2");
  ASSERT_EQ(run("save " + path("p.nc") + " t").rc, 0);
  ncread p(path("p.nc"));
  EXPECT_EQ(p.doubles("lon"), std::vector<double>{10});
  EXPECT_EQ(p.doubles("lat"), std::vector<double>{0});
  EXPECT_EQ(p.floats("t"), (std::vector<float>{29, 53}));
}

TEST_F(Save, RefusalsLeaveTheOlderFile) {
  const std::string old = "older bytes";
  write("o.nc", old);
  const std::string o = path("o.nc");
  EXPECT_EQ(run("save " + o + " t").out, "SAVE error:  no file open yet\n");
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set t 1 3");
  struct bad { std::string line, msg; } rows[] = {
      {"save", "SAVE error:  Missing file name\n"},
      {"save " + o, "SAVE error:  Missing expression\n"},
      {"save -zq " + o + " t", "SAVE error:  Invalid option -zq: -z or -z1 to -z9 expected\n"},
      {"save " + o + " t*2", "SAVE error:  Name the expression t*2 as NAME=EXPR\n"},
      {"save " + o + " 2a=t", "SAVE error:  Invalid name in 2a=t\n"},
      {"save " + o + " t b=ave(t,x=1,x=4)", "SAVE error:  The expressions give grids of different shapes\n"},
      {"save " + o + " b=nosuch", "Syntax Error:  Invalid Operand \n  'nosuch' not a variable or function name\n"},
  };
  for (const bad& b : rows) {
    Out r = run(b.line);
    EXPECT_EQ(r.rc, 1) << b.line;
    EXPECT_NE(r.out.find(b.msg), std::string::npos) << b.line << r.out;
  }
  // An interrupt after the first step gives the file up.
  gcmn.sigflg = 1;
  Out r = run("save " + o + " t");
  gcmn.sigflg = 0;
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "SAVE interrupted:  " + o + " is left as it was\n");
  EXPECT_EQ(slurp("o.nc"), old);
  EXPECT_EQ(parts(dir), 0u);
}

// A disk that cannot hold the file: refused before the library writes (a
// failed write would leave the netCDF-4 library unable to close the file
// without ending the program); the older file stays, the part goes, with
// every descriptor of it.
TEST_F(Save, AFullDiskLeavesTheOlderFileAndNoDescriptor) {
  write("o.nc", "older bytes");
  ASSERT_EQ(open("t.ctl").rc, 0);
  run("set z 1 2");
  run("set t 1 3");
  for (const char* z : {"", "-z "}) {
    const size_t before = fds();
    Out r;
    {
      fsizecap cap(600);
      r = run(std::string("save ") + z + path("o.nc") + " t");
    }
    EXPECT_EQ(r.rc, 1) << z;
    EXPECT_NE(r.out.find("SAVE error:  "), std::string::npos) << r.out;
    EXPECT_EQ(slurp("o.nc"), "older bytes") << z;
    EXPECT_EQ(parts(dir), 0u) << z;
    EXPECT_EQ(fds(), before) << z;
  }
}
