// Constructor, release and range scan of the grid record.
#include "data/gridres.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "base/memcap.h"
#include "base/omprnt.h"
#include "data/datetime.h"

namespace {

// Storage of released grids kept for the next grids of about the same
// size.  A session evaluates the same shapes over and over (one display per
// time step); handing back a block that is already mapped spares the page
// faults of fresh memory (glibc returns large blocks to the system on free)
// and keeps the block warm in cache.  Only large blocks are kept, few of
// them, within a total; the oldest goes back to malloc first.  Reuse would
// hide use-after-free faults from the address sanitizer, so it is off there.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSlots = 0;
#else
constexpr int kSlots = 8;  // at most the size of kept below
#endif
constexpr size_t kMinBytes = 256 * 1024;
constexpr size_t kMaxTotal = 128u * 1024 * 1024;

struct keptblk {
  float* p;
  size_t cap;  // usable bytes
};

keptblk kept[8];  // room for kSlots entries (none are used under the sanitizer)
int nkept = 0;
size_t keptbytes = 0;

void dropkept(int k) {
  std::free(kept[k].p);
  keptbytes -= kept[k].cap;
  for (int i = k + 1; i < nkept; i++) kept[i - 1] = kept[i];
  nkept--;
}

// A kept block of at least need bytes and not more than twice that (a
// large block is not tied up by a small grid), the closest fit; or null.
float* takekept(size_t need) {
  int best = -1;
  for (int i = 0; i < nkept; i++) {
    size_t c = kept[i].cap;
    if (c >= need && c / 2 <= need && (best < 0 || c < kept[best].cap)) best = i;
  }
  if (best < 0) return nullptr;
  float* p = kept[best].p;
  keptbytes -= kept[best].cap;
  for (int i = best + 1; i < nkept; i++) kept[i - 1] = kept[i];
  nkept--;
  return p;
}

// Keeps or releases the storage of a grid being freed.
void keepblk(float* p) {
  if (!p) return;
  size_t cap = malloc_usable_size(p);
  if (kSlots == 0 || cap < kMinBytes || cap > kMaxTotal) {
    std::free(p);
    return;
  }
  while (nkept > 0 && (nkept >= kSlots || keptbytes + cap > kMaxTotal)) dropkept(0);
  kept[nkept++] = keptblk{p, cap};
  keptbytes += cap;
}

}  // namespace

void omgpool(int* nblk, size_t* bytes) {
  *nblk = nkept;
  *bytes = keptbytes;
}

void omgpfre() {
  while (nkept > 0) dropkept(nkept - 1);
}

gridres* omgnew() {
  gridres* pgr = static_cast<gridres*>(std::calloc(1, sizeof(gridres)));
  if (!pgr) omprnt(0, "Unable to allocate memory for grid structure \n");
  return pgr;
}

size_t omgcap() {
  // No field needs more values than a 32-bit count holds, and the file
  // readers count a row's values in an int.
  return std::min<size_t>(size_t(INT32_MAX) * sizeof(float), ommemcap());
}

float* omgalo(gridres* pgr, size_t n) {
  if (n < 2) {
    pgr->grid = &pgr->rmin;
    return pgr->grid;
  }
  // Memory is promised on request and only found missing when it is
  // filled, by then too late to refuse; a grid beyond the bound is refused
  // up front, as if the allocation had failed.
  if (n > omgcap() / sizeof(float)) {
    pgr->grid = nullptr;
    return nullptr;
  }
  const size_t need = n * sizeof(float);
  float* p = need >= kMinBytes ? takekept(need) : nullptr;
  if (!p) p = static_cast<float*>(std::malloc(need));
  pgr->grid = p;
  return p;
}

gridres* omgrvl(float val) {
  gridres* pgr = omgnew();
  if (!pgr) return nullptr;
  pgr->undef = -9.99e33f;
  pgr->rmin = val;
  pgr->rmax = val;
  pgr->grid = &pgr->rmin;
  pgr->isiz = 1;
  pgr->jsiz = 1;
  pgr->idim = -1;
  pgr->jdim = -1;
  pgr->alocf = 0;
  return pgr;
}

void omgfre(gridres* pgr) {
  if (!pgr) return;
  if (pgr->alocf) {
    std::free(pgr->ivals);
    std::free(pgr->jvals);
  }
  // A 0-D grid keeps its value in the record; a grid whose data points into
  // the record must not hand that address to free either.
  if (pgr->idim != -1 && pgr->grid != &pgr->rmin) keepblk(pgr->grid);
  std::free(pgr);
}

void ommnmx(gridres* pgr) {
  long n = static_cast<long>(pgr->isiz) * pgr->jsiz;
  if (n <= 1) return;
  // Start from the first defined value rather than from a sentinel: a
  // sentinel would take a field of values beyond it for all undefined.
  const float* p = pgr->grid;
  const float u = pgr->undef;
  long i = 0;
  while (i < n && (p[i] == u || std::isnan(p[i]))) i++;
  float lo = u, hi = u;
  if (i < n) lo = hi = p[i];
  for (; i < n; i++) {
    float v = p[i];
    if (v == u) continue;
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  pgr->rmin = lo;
  pgr->rmax = hi;
}

namespace {

// Finds dimension dim as the i or the j axis of a grid.
bool axisof(const gridres* pgr, int dim, int* siz, omaxisfn* conv, float** vals, int* linr) {
  if (pgr->idim == dim) {
    *siz = pgr->isiz;
    *conv = pgr->igrab;
    *vals = pgr->ivals;
    *linr = pgr->ilinr;
    return true;
  }
  if (pgr->jdim == dim) {
    *siz = pgr->jsiz;
    *conv = pgr->jgrab;
    *vals = pgr->jvals;
    *linr = pgr->jlinr;
    return true;
  }
  return false;
}

bool sametime(const datetime& a, const datetime& b) {
  return a.yr == b.yr && a.mo == b.mo && a.dy == b.dy && a.hr == b.hr && a.mn == b.mn;
}

}  // namespace

int omgchk(gridres* pgr1, gridres* pgr2, int dim) {
  if (dim < 0) return 0;
  int siz1, siz2, lin1, lin2;
  omaxisfn conv1, conv2;
  float *vals1, *vals2;
  if (!axisof(pgr1, dim, &siz1, &conv1, &vals1, &lin1)) return 1;
  if (!axisof(pgr2, dim, &siz2, &conv2, &vals2, &lin2)) return 1;
  if (siz1 != siz2) return 1;
  int f1 = pgr1->dimmin[dim], f2 = pgr2->dimmin[dim];
  int l1 = pgr1->dimmax[dim], l2 = pgr2->dimmax[dim];
  if (dim == 3) {
    datetime a, b;
    gr2t(vals1, f1, &a);
    gr2t(vals2, f2, &b);
    if (!sametime(a, b)) return 1;
    gr2t(vals1, l1, &a);
    gr2t(vals2, l2, &b);
    if (!sametime(a, b)) return 1;
    return 0;
  }
  if (!conv1 || !conv2) return 1;
  double w1f = conv1(vals1, f1), w1l = conv1(vals1, l1);
  double w2f = conv2(vals2, f2), w2l = conv2(vals2, l2);
  double tol = (1e-5 * std::fabs(w1l - w1f) + 1e-5 * std::fabs(w2l - w2f)) / 2.0;
  if (std::fabs(w1f - w2f) > tol) return 1;
  if (std::fabs(w1l - w2l) > tol) return 1;
  if (lin1 != lin2) return 1;
  if (!lin1 && !lin2) {
    for (int k = 0; k < siz1; k++)
      if (std::fabs(conv1(vals1, f1 + k) - conv2(vals2, f2 + k)) > tol) return 1;
  }
  return 0;
}
