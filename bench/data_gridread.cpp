// Speed of the grid reader (not part of CI): a full 1440x721 float grid,
// and a run of 100 of them, read through the grid reader, against reading
// the same bytes from the page cache with cat.  Prints the ratios; the
// target is at most 2.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/cmnstate.h"
#include "data/datafile.h"
#include "data/gridres.h"
#include "data/omggrd.h"

namespace {

constexpr int NX = 1440, NY = 721, NT = 100;

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Best of n runs of f.
template <class F>
double best(int n, F f) {
  double b = 1e30;
  for (int i = 0; i < n; i++) {
    double t0 = now();
    f();
    double t = now() - t0;
    if (t < b) b = t;
  }
  return b;
}

void writefile(const std::string& name, int nt) {
  FILE* f = std::fopen(name.c_str(), "wb");
  std::vector<float> grid(static_cast<size_t>(NX) * NY);
  for (int t = 0; t < nt; t++) {
    for (size_t i = 0; i < grid.size(); i++) grid[i] = static_cast<float>(i % 977) + t;
    std::fwrite(grid.data(), sizeof(float), grid.size(), f);
  }
  std::fclose(f);
}

datafile* openset(const std::string& dir, const std::string& bin, int nt) {
  std::string ctl = dir + "/" + bin + ".ctl";
  FILE* f = std::fopen(ctl.c_str(), "w");
  std::fprintf(f,
               "dset ^%s\nundef -9.99e8\nxdef %d linear 0 0.25\nydef %d linear -90 0.25\n"
               "zdef 1 levels 1000\ntdef %d linear 00z01jan2000 6hr\nvars 1\nv 0 0 v\nendvars\n",
               bin.c_str(), NX, NY, nt);
  std::fclose(f);
  datafile* pfi = getpfi();
  if (omddes(ctl.c_str(), pfi, 1)) std::exit(1);
  pfi->infile = std::fopen(pfi->name.c_str(), "rb");
  return pfi;
}

int readgrid(datafile* pfi, int t) {
  gridres* g = omgnew();
  g->pfi = pfi;
  g->pvar = &pfi->pvar1[0];
  g->undef = pfi->undef;
  g->idim = 0;
  g->jdim = 1;
  int lo[4] = {1, 1, 1, t}, hi[4] = {NX, NY, 1, t};
  for (int k = 0; k < 4; k++) {
    g->dimmin[k] = lo[k];
    g->dimmax[k] = hi[k];
  }
  int rc = omggrd(g);
  omgfre(g);
  return rc;
}

}  // namespace

int main() {
  mfcmn.mfcal = -999;
  mfcmn.mfwarn = 2;
  char tmpl[] = "/tmp/omdatabenchXXXXXX";
  std::string dir = mkdtemp(tmpl);
  writefile(dir + "/one.bin", 1);
  writefile(dir + "/run.bin", NT);
  datafile* one = openset(dir, "one.bin", 1);
  datafile* run = openset(dir, "run.bin", NT);
  std::string cat1 = "cat " + dir + "/one.bin > /dev/null";
  std::string catn = "cat " + dir + "/run.bin > /dev/null";
  // Warm the page cache.
  (void)!std::system(catn.c_str());
  (void)!std::system(cat1.c_str());
  double tc1 = best(20, [&] { (void)!std::system(cat1.c_str()); });
  double tcn = best(5, [&] { (void)!std::system(catn.c_str()); });
  double tr1 = best(20, [&] { readgrid(one, 1); });
  double trn = best(5, [&] {
    for (int t = 1; t <= NT; t++) readgrid(run, t);
  });
  std::printf("one grid %dx%d: reader %.3f ms, cat %.3f ms, ratio %.2f\n", NX, NY, tr1 * 1e3, tc1 * 1e3,
              tr1 / tc1);
  std::printf("%d grids:        reader %.3f ms, cat %.3f ms, ratio %.2f\n", NT, trn * 1e3, tcn * 1e3,
              trn / tcn);
  std::fclose(one->infile);
  std::fclose(run->infile);
  one->infile = run->infile = nullptr;
  frepfi(one, 0);
  frepfi(run, 0);
  std::string rm = "rm -rf " + dir;
  (void)!std::system(rm.c_str());
  return 0;
}
