// Reductions along time over netCDF variables whose steps lie in the file as
// runs of floats (a classic file's, big-endian; a netCDF-4 file's stored as
// they are, placed by the helper) merge them from the file's map, and give
// to the bit what they give when every step is read into a grid first,
// with the file's markers taken as its reads take them and the same lines
// on standard error.  A file cut under the map is a read error of the step,
// as a read of it would say.
#include <fcntl.h>
#include <netcdf.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "expr/stepview.h"
#include "sdf/sdftest.h"

namespace {

using namespace sdftest;

constexpr int NX = 64, NY = 32, NT = 7;

// The markers of v (none, or _FillValue, missing_value or both) and, for a
// netCDF-4 file, how its values are stored: chunks of steps steps and
// rows rows (0: the variable in one piece, time then of fixed length),
// packed, filtered or big-endian.
struct markers {
  const char* name;
  bool fill = false, miss = false;
  float fillv = 0, missv = 0;
  float scale = 1, offset = 0;
  bool packed = false, nc4only = false, deflate = false, shuffle = false, big = false;
  size_t steps = 1, rows = NY;
};

// The variable v(time, lat, lon) of NT steps over a global grid of NX x NY
// in a new file: classic, or netCDF-4 one chunk a step.
std::string writenc(const std::string& name, bool nc4, const markers& mk,
                    const std::function<float(int, int, int)>& f) {
  const std::string path = tmpdir() + "/" + name + (nc4 ? "4" : "3") + ".nc";
  int nc = -1, ids[3];
  if (nc_create(path.c_str(), NC_CLOBBER | (nc4 ? NC_NETCDF4 : NC_64BIT_OFFSET), &nc) != NC_NOERR) return "";
  const int vv = def_lonlattime_v(nc, NX, NY, nc4 && mk.rows == 0 ? NT : NC_UNLIMITED, ids);
  const int vx = ids[0], vy = ids[1], vt = ids[2];
  if (nc4) {
    const size_t chunks[3] = {mk.steps, mk.rows, NX};
    nc_def_var_chunking(nc, vv, mk.rows == 0 ? NC_CONTIGUOUS : NC_CHUNKED, chunks);
    if (mk.deflate || mk.shuffle) nc_def_var_deflate(nc, vv, mk.shuffle, mk.deflate, 1);
    if (mk.big) nc_def_var_endian(nc, vv, NC_ENDIAN_BIG);
  }
  if (mk.fill) nc_put_att_float(nc, vv, "_FillValue", NC_FLOAT, 1, &mk.fillv);
  if (mk.miss) nc_put_att_float(nc, vv, "missing_value", NC_FLOAT, 1, &mk.missv);
  if (mk.packed) {
    nc_put_att_float(nc, vv, "scale_factor", NC_FLOAT, 1, &mk.scale);
    nc_put_att_float(nc, vv, "add_offset", NC_FLOAT, 1, &mk.offset);
  }
  if (nc_enddef(nc) != NC_NOERR) return "";
  std::vector<float> lon(NX), lat(NY), grid(NX * NY);
  for (int i = 0; i < NX; i++) lon[i] = 360.0f / NX * static_cast<float>(i);
  for (int j = 0; j < NY; j++) lat[j] = -77.5f + 5.0f * static_cast<float>(j);
  nc_put_var_float(nc, vx, lon.data());
  nc_put_var_float(nc, vy, lat.data());
  for (int t = 1; t <= NT; t++) {
    for (int y = 1; y <= NY; y++)
      for (int x = 1; x <= NX; x++) grid[(y - 1) * NX + (x - 1)] = f(x, y, t);
    const size_t start[3] = {static_cast<size_t>(t - 1), 0, 0}, count[3] = {1, NY, NX};
    const double hours = 6.0 * (t - 1);
    const size_t ts = static_cast<size_t>(t - 1), one = 1;
    nc_put_vara_double(nc, vt, &ts, &one, &hours);
    if (nc_put_vara_float(nc, vv, start, count, grid.data()) != NC_NOERR) return "";
  }
  return nc_close(nc) == NC_NOERR ? path : "";
}

// The float n steps of ulp from x.
float ulps(float x, int n) {
  for (; n > 0; n--) x = std::nextafter(x, INFINITY);
  for (; n < 0; n++) x = std::nextafter(x, -INFINITY);
  return x;
}

// Values about a marker m that a read takes as undefined or not: m
// itself, its neighbours, those about the ends of the tolerance about it,
// NaN, infinities, both zeros; from the fourth step on a gap every
// seventh point in turn; elsewhere a smooth field.
float nearmarker(float m, int x, int y, int t) {
  const int k = (y - 1) * NX + (x - 1);
  if (k < 96) {
    const float around[6] = {m, m - 1e-5f, m + 1e-5f, m * (1 + 1e-6f), m - 2e-5f, m + 3e-5f};
    return ulps(around[k / 16 % 6], k % 16 - 8 + t - 4);
  }
  if (k == 96) return std::nanf("");
  if (k == 97 && t >= 3) return t % 2 ? INFINITY : -INFINITY;
  if (k == 98) return t % 2 ? 0.0f : -0.0f;
  if (t >= 4 && (k + t) % 7 == 0) return m;
  return fts(x, y, t) * 100.0f;
}

const markers kMarkers[] = {
    {"none"},
    {"fill", true, false, -999.0f, 0},
    {"nearfill", true, false, 1.5f, 0},
    {"zerofill", true, false, 0.0f, 0},
    {"same", true, true, -999.5f, -999.5f},
    {"overlapping", true, true, 2.0f, 2.0f + 6e-6f},
    {"nanfill", true, false, NAN, 0},
    {"apart", true, true, 2.0f, -3.0f},  // two bands: no views
    // Scaled or shifted floats are unpacked by the read: no views; a scale
    // of 1 and an offset of 0 leave them as they are.
    {"scaled", true, false, -999.0f, 0, 2.0f, 0.0f, true},
    {"shifted", false, false, 0, 0, 1.0f, 0.5f, true},
    {"unscaled", true, false, -999.0f, 0, 1.0f, 0.0f, true},
    // Filtered or big-endian chunks are decoded by the helper: no views.
    {"deflated", false, false, 0, 0, 1, 0, false, true, true},
    {"shuffled", false, false, 0, 0, 1, 0, false, true, false, true},
    {"bigendian", false, false, 0, 0, 1, 0, false, true, false, false, true},
    // Steps inside a chunk of several, a step over two chunks (no view), a
    // variable in one piece.
    {"twosteps", false, false, 0, 0, 1, 0, false, true, false, false, false, 2},
    {"halfrows", false, false, 0, 0, 1, 0, false, true, false, false, false, 1, NY / 2},
    {"contiguous", false, false, 0, 0, 1, 0, false, true, false, false, false, 1, 0},
};

// Whether the steps of a file of mk are taken from its map.
bool viewable(const markers& mk, bool nc4) {
  const std::string n = mk.name;
  if (n == "apart" || n == "scaled" || n == "shifted") return false;
  return !nc4 || !(mk.deflate || mk.shuffle || mk.big || mk.rows == NY / 2);
}

class SdfViews : public testing::Test {
 protected:
  void SetUp() override {
    ominit();
    omstart(&gcmn);
  }
};

// The bits of each reduction over steps 1 to 7 of the file f.
std::vector<std::vector<uint32_t>> reduced(const std::string& f) {
  state st;
  std::vector<std::vector<uint32_t>> bits;
  if (open_quiet(st, f) != 0) return bits;
  const evalstat es = xyof(st.last(), NX, NY);
  testing::internal::CaptureStderr();
  for (const char* fn : kReductions) bits.push_back(runof(std::string(fn) + "(v,t=1,t=7)", es).bits);
  testing::internal::GetCapturedStderr();
  return bits;
}

TEST_F(SdfViews, ReductionsFromTheMapAreTheReadsBits) {
  for (const markers& mk : kMarkers)
    for (bool nc4 : {false, true}) {
      if (mk.nc4only && !nc4) continue;
      SCOPED_TRACE(std::string(nc4 ? "netCDF-4, " : "classic, ") + mk.name);
      const float m = mk.fill ? mk.fillv : 9.96921e36f;
      auto values = [=](int x, int y, int t) { return nearmarker(std::isnan(m) ? 5.0f : m, x, y, t); };
      const std::string f = writenc(mk.name, nc4, mk, values);
      ASSERT_FALSE(f.empty());
      state st;
      std::string said;
      ASSERT_EQ(open_quiet(st, f, &said), 0) << said;
      const evalstat es = xyof(st.last(), NX, NY);
      testing::internal::CaptureStderr();
      const long views = sameasgrids(es, "t=1,t=7") + sameasgrids(es, "t=1.3,t=6.8,-b");
      testing::internal::GetCapturedStderr();
      if (nc4) {
        // The same values in a classic file, placed by its header rather
        // than by the helper: however a netCDF-4 file stores them, the
        // same bits.  It is opened while the helper may still be decoding
        // a step the last reduction asked for ahead.
        const auto classic = reduced(writenc(std::string(mk.name) + "twin", false, mk, values));
        ASSERT_EQ(classic.size(), 8u);
        const auto bits = reduced(f);
        for (size_t k = 0; k < classic.size(); k++) EXPECT_TRUE(bits[k] == classic[k]) << kReductions[k];
      }
      if (!viewable(mk, nc4)) {
        EXPECT_EQ(views, 0);
        continue;
      }
      // Steps 3 to 7 of each reduction: of a netCDF-4 file, those the
      // helper has placed (all but step 4, which asks for the rest).
      EXPECT_EQ(views, 2 * 8 * (nc4 ? 4 : 5));
      // The lines a read writes on standard error, one pair a step, the
      // same whether it was read or viewed.
      testing::internal::CaptureStderr();
      runof("sum((v),t=1,t=7)", es);
      const std::string read = testing::internal::GetCapturedStderr();
      testing::internal::CaptureStderr();
      EXPECT_EQ(runof("sum(v,t=1,t=7)", es).views, nc4 ? 4 : 5);
      const std::string viewed = testing::internal::GetCapturedStderr();
      EXPECT_EQ(read, viewed);
      EXPECT_EQ(read.find("gxstart=0, gxstop=64, gystart=0, gystop=32.\ngzstart=0, gzstop=1, gtstart=0, gtstop=1.\n"),
                0u)
          << read;
    }
}

// A read, or a mean, over a file that another program cuts as the step is
// taken from its map: the page being read faults once, and its fault cuts
// the file to where the page starts.
int cutfd = -1;
void* trap = nullptr;
off_t cutto = 0;
void cutattrap(int) {
  (void)!ftruncate(cutfd, cutto);
  mprotect(trap, 4096, PROT_READ);
}

// The same cut made before the read (a file cut since it was opened): the
// read fails as one through the evaluator does, and never faults.
TEST_F(SdfViews, AFileCutUnderTheMapIsAReadErrorOfTheStep) {
  for (bool nc4 : {false, true})
    for (const char* e : {"v", "ave(v,t=1,t=7)"})
      for (bool before : {false, true}) {
      SCOPED_TRACE(std::string(nc4 ? "netCDF-4 " : "classic ") + e + (before ? " cut before" : ""));
      // Step 7's values all 7000 plus their index: found in the file by
      // their bytes.
      // A file of its own each time: the helper may still hold the last.
      const std::string f = writenc(std::string("cut") + (e[0] == 'v' ? "read" : "mean") + (before ? "b" : ""), nc4,
                                    markers{"none"},
                                    [](int x, int y, int t) {
        return t == 7 ? 7000.0f + static_cast<float>((y - 1) * NX + x) : fts(x, y, t);
      });
      ASSERT_FALSE(f.empty());
      std::ifstream in(f, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      float first[4] = {7001, 7002, 7003, 7004};
      if (!nc4)
        for (float& v : first) {
          uint32_t w;
          std::memcpy(&w, &v, 4);
          w = __builtin_bswap32(w);
          std::memcpy(&v, &w, 4);
        }
      const size_t at = bytes.find(std::string(reinterpret_cast<const char*>(first), sizeof first));
      ASSERT_NE(at, std::string::npos);
      state st;
      ASSERT_EQ(open_quiet(st, f), 0);
      datafile* pfi = st.last();
      evalstat es = xyof(pfi, NX, NY);
      gr2t(pfi->grvals[3], 7, &es.tmin);
      es.tmax = es.tmin;
      // The map the reads take the values from is the one of this file.
      cutfd = open(f.c_str(), O_RDWR);
      const off_t page = static_cast<off_t>((at + 4096 + 4095) / 4096 * 4096);
      const evalstat over = std::string(e) == "v" ? es : xyof(pfi, NX, NY);
      if (before) {
        ASSERT_EQ(ftruncate(cutfd, page), 0);
        close(cutfd);
        testing::internal::CaptureStderr();
        const viewrun r = runof(e, over);
        const viewrun wrapped = runof(std::string(e) == "v" ? "v" : "ave((v),t=1,t=7)", over);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(r.msg.rfind("Failure reading SDF data.  #1\n", 0), 0u) << r.msg;
        EXPECT_EQ(r.rc, wrapped.rc);
        EXPECT_EQ(r.msg, wrapped.msg);
        continue;
      }
      trap = const_cast<unsigned char*>(pfi->fmap.bytes(cutfd, page, 1));
      ASSERT_NE(trap, nullptr);
      cutto = page;
      struct sigaction sa {}, old;
      sa.sa_handler = cutattrap;
      sigaction(SIGSEGV, &sa, &old);
      mprotect(trap, 4096, PROT_NONE);
      testing::internal::CaptureStderr();
      const viewrun r = runof(e, over);
      testing::internal::GetCapturedStderr();
      sigaction(SIGSEGV, &old, nullptr);
      close(cutfd);
      EXPECT_NE(r.rc, 0);
      const std::string said = "Failure reading SDF data.  #1\nData Request Error:  Error for variable 'v'\n";
      EXPECT_EQ(r.msg.rfind(said, 0), 0u) << r.msg;
      if (std::string(e) != "v") {
        EXPECT_NE(r.msg.find(said + "Error from AVE:  Error getting grids \n"), std::string::npos) << r.msg;
      }
    }
}

}  // namespace
