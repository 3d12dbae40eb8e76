// Evaluator benchmark: one expression over a large grid for several times,
// each result written to a binary file, as a display with gxout fwrite
// does.  Usage: expr_bench CTL EXPR OUTFILE NTIMES; prints the seconds.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "data/datafile.h"
#include "data/datetime.h"
#include "data/gridres.h"
#include "expr/evalstat.h"
#include "expr/omexpr.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: expr_bench CTL EXPR OUTFILE NTIMES\n");
    return 2;
  }
  auto start = std::chrono::steady_clock::now();
  datafile* pfi = getpfi();
  if (omddes(argv[1], pfi, 1)) return 1;
  pfi->infile = std::fopen(pfi->name.c_str(), "rb");
  FILE* out = std::fopen(argv[3], "wb");
  if (!pfi->infile || !out) return 1;
  int ntimes = std::atoi(argv[4]);

  evalstat st;
  std::memset(&st, 0, sizeof st);
  st.filehead = st.dfile = pfi;
  st.dfilenum = 1;
  st.idim = 0;
  st.jdim = 1;
  st.dmin[0] = static_cast<float>(pfi->gr2ab[0](pfi->grvals[0], 1));
  st.dmax[0] = static_cast<float>(pfi->gr2ab[0](pfi->grvals[0], pfi->dnum[0]));
  st.dmin[1] = static_cast<float>(pfi->gr2ab[1](pfi->grvals[1], 1));
  st.dmax[1] = static_cast<float>(pfi->gr2ab[1](pfi->grvals[1], pfi->dnum[1]));
  st.dmin[2] = st.dmax[2] = static_cast<float>(pfi->gr2ab[2](pfi->grvals[2], 1));
  for (int t = 1; t <= ntimes; t++) {
    datetime dt;
    gr2t(pfi->grvals[3], t, &dt);
    st.tmin = st.tmax = dt;
    if (omexpr(argv[2], &st)) return 1;
    gridres* g = st.result.pgr;
    size_t n = static_cast<size_t>(g->isiz) * g->jsiz;
    if (std::fwrite(g->grid, sizeof(float), n, out) != n) return 1;
    omfree(&st);
  }
  if (std::fclose(out) != 0) return 1;
  std::fclose(pfi->infile);
  frepfi(pfi, 0);
  std::chrono::duration<double> el = std::chrono::steady_clock::now() - start;
  std::printf("%.4f\n", el.count());
  return 0;
}
