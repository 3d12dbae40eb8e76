// The fast paths of the grid operations: the vector loops must give the
// point-by-point results over rows long enough to use them (odd lengths,
// so that the leftover points are covered too), and the storage kept by
// omgfre must come back only for grids of about the same size.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "expr/opcore.h"
#include "exprtest.h"

namespace {

// Awkward values at every position: undefined on either side, zero
// divisors of both signs, overflow, NaN-making pairs.
float left(int k) {
  const float v[] = {6, UNDEF, 0, -0.0f, 3e38f, 1, -2.5f, 7, 0, 1e-30f, 4, -8, 2};
  return v[k % 13];
}

float right(int k) {
  const float v[] = {2, 3, 0, -0.0f, 10, UNDEF, 4, -0.0f, 0, 1e-30f, -3, 0.5f, 9, 1e30f, 5, -1, 11};
  return v[k % 17];
}

// The result of one point by the plain rule.
float expect(int op, float a, float b) {
  if (a == UNDEF || b == UNDEF) return UNDEF;
  float r = 0;
  bool ok = false;
  OM_OP_SWITCH(op, ok = omopv<OPC>(a, b, &r));
  return ok ? r : UNDEF;
}

bool same(float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0; }

}  // namespace

TEST(GridSpeed, VectorLoopsMatchThePointRuleInEveryPairing) {
  const int ops[] = {OPMUL, OPDIV, OPADD, OPMASK, OPPOW, OPMAG, OPATAN};
  const int nx = 37, ny = 5;
  for (int op : ops) {
    // Same shape, both orders.
    for (int order = 0; order < 2; order++) {
      std::vector<float> va(nx * ny), vb(nx * ny);
      for (int k = 0; k < nx * ny; k++) {
        va[k] = left(k);
        vb[k] = right(k);
      }
      gridres* a = mkgrid(0, 1, nx, ny, va);
      gridres* b = mkgrid(0, 1, nx, ny, vb);
      gridres* r = order ? omgrop(b, a, op, 1) : omgrop(a, b, op, 1);
      ASSERT_NE(r, nullptr);
      for (int k = 0; k < nx * ny; k++) {
        float want = order ? expect(op, vb[k], va[k]) : expect(op, va[k], vb[k]);
        ASSERT_TRUE(same(r->grid[k], want)) << "op " << op << " order " << order << " k " << k
                                             << ": " << r->grid[k] << " vs " << want;
      }
      omgfre(r);
    }
    // A constant on either side of a grid, and a column and a row
    // broadcast over a grid, in both orders.
    for (int shape = 0; shape < 3; shape++) {
      for (int order = 0; order < 2; order++) {
        std::vector<float> vg(nx * ny);
        for (int k = 0; k < nx * ny; k++) vg[k] = right(k);
        gridres* g = mkgrid(0, 1, nx, ny, vg);
        gridres* s;
        std::vector<float> vs;
        if (shape == 0) {
          s = omgrvl(-0.0f);
        } else if (shape == 1) {
          for (int i = 0; i < nx; i++) vs.push_back(left(i));
          s = mkgrid(0, -1, nx, 1, vs);
        } else {
          for (int j = 0; j < ny; j++) vs.push_back(left(j + 1));
          s = mkgrid(1, -1, ny, 1, vs);
        }
        gridres* r = order ? omgrop(g, s, op, 1) : omgrop(s, g, op, 1);
        ASSERT_EQ(r, g);
        for (int j = 0; j < ny; j++) {
          for (int i = 0; i < nx; i++) {
            int k = j * nx + i;
            float sv = shape == 0 ? -0.0f : shape == 1 ? vs[i] : vs[j];
            float want = order ? expect(op, vg[k], sv) : expect(op, sv, vg[k]);
            ASSERT_TRUE(same(r->grid[k], want)) << "op " << op << " shape " << shape << " order "
                                                 << order << " i " << i << " j " << j;
          }
        }
        omgfre(r);
      }
    }
  }
}

TEST(GridSpeed, ReleasedStorageComesBackForGridsOfTheSameSize) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "storage is not reused under the address sanitizer";
#endif
  omgpfre();
  int nblk;
  size_t bytes;
  const size_t big = 300000;  // 1.2 MB of floats
  gridres* g = omgnew();
  g->idim = 0;
  ASSERT_NE(omgalo(g, big), nullptr);
  float* first = g->grid;
  omgfre(g);
  omgpool(&nblk, &bytes);
  EXPECT_EQ(nblk, 1);
  EXPECT_GE(bytes, big * sizeof(float));

  // A much smaller grid does not tie the block up; it is small enough to
  // go straight to malloc and back.
  g = omgnew();
  g->idim = 0;
  ASSERT_NE(omgalo(g, 1000), nullptr);
  EXPECT_NE(g->grid, first);
  omgfre(g);
  omgpool(&nblk, &bytes);
  EXPECT_EQ(nblk, 1);

  // A larger grid than the block does not get it either.
  g = omgnew();
  g->idim = 0;
  ASSERT_NE(omgalo(g, 2 * big), nullptr);
  float* twice = g->grid;
  EXPECT_NE(twice, first);
  // The same size takes it back, fully writable.
  gridres* h = omgnew();
  h->idim = 0;
  ASSERT_EQ(omgalo(h, big - 10), first);
  for (size_t k = 0; k < big - 10; k++) h->grid[k] = 1.0f;
  omgpool(&nblk, &bytes);
  EXPECT_EQ(nblk, 0);
  EXPECT_EQ(bytes, 0u);
  omgfre(h);
  omgfre(g);
  omgpool(&nblk, &bytes);
  EXPECT_EQ(nblk, 2);
  omgpfre();
  omgpool(&nblk, &bytes);
  EXPECT_EQ(nblk, 0);
  EXPECT_EQ(bytes, 0u);
}

TEST(GridSpeed, KeptStorageStaysBounded) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "storage is not reused under the address sanitizer";
#endif
  omgpfre();
  // Many grids released at once: only a few blocks are kept, and a grid
  // larger than the whole allowance is never kept.
  std::vector<gridres*> gs;
  for (int k = 0; k < 40; k++) {
    gridres* g = omgnew();
    g->idim = 0;
    ASSERT_NE(omgalo(g, 100000 + k), nullptr);
    gs.push_back(g);
  }
  std::vector<float*> lastfreed;
  for (gridres* g : gs) {
    lastfreed.push_back(g->grid);
    omgfre(g);
  }
  lastfreed.erase(lastfreed.begin(), lastfreed.end() - 8);
  int nblk;
  size_t bytes;
  omgpool(&nblk, &bytes);
  EXPECT_GT(nblk, 0);
  EXPECT_LE(nblk, 8);
  gridres* huge = omgnew();
  huge->idim = 0;
  ASSERT_NE(omgalo(huge, size_t(40) * 1024 * 1024), nullptr);  // 160 MB
  omgfre(huge);
  int after;
  omgpool(&after, &bytes);
  EXPECT_EQ(after, nblk);
  EXPECT_LE(bytes, size_t(128) * 1024 * 1024);
  // The newest blocks are the ones kept.
  gridres* g = omgnew();
  g->idim = 0;
  float* p = omgalo(g, 100039);
  EXPECT_NE(std::find(lastfreed.begin(), lastfreed.end(), p), lastfreed.end());
  omgfre(g);
  omgpfre();
}

namespace {

// Values that a negation can turn into trouble: the negated undefined
// value, the largest floats, infinities, NaN, zeros of both signs.
float nasty(int k, float undef) {
  const float v[] = {1.5f, -undef, undef, 3e38f, -3e38f, INFINITY, -INFINITY, NAN, 0.0f,
                     -0.0f, 2.0f, -7.25f, 1e-30f};
  return v[k % 13];
}

// The grid as it would be after the pending negation were carried out on
// its own: -1 times it, in place.
gridres* negated(gridres* g) {
  gridres* r = omgrop(omgrvl(-1.0f), g, OPMUL, 1);
  EXPECT_EQ(r, g);
  return r;
}

}  // namespace

TEST(GridSpeed, PendingNegationGivesTheTwoStepResultBitForBit) {
  const int ops[] = {OPMUL, OPDIV, OPADD, OPMASK};
  const int nx = 19, ny = 3;
  const float ua = -9.99e8f, ub = 5.0f;  // two undefined values
  for (int op : ops) {
    for (int shape = 0; shape < 3; shape++) {    // same shape, X column, Y row
      for (int which = 1; which <= 2; which++) { // the negated operand
        for (int order = 0; order < 2; order++) {  // the smaller grid first or second
          auto build = [&](bool big, float u, int salt) {
            std::vector<float> v;
            int isz = big || shape != 2 ? nx : ny;
            int jsz = big || shape == 0 ? ny : 1;
            for (int k = 0; k < isz * jsz; k++) v.push_back(nasty(k * 5 + salt, u));
            if (big || shape == 0) return mkgrid(0, 1, nx, ny, v, 1, 1, u);
            return shape == 1 ? mkgrid(0, -1, nx, 1, v, 1, 1, u) : mkgrid(1, -1, ny, 1, v, 1, 1, u);
          };
          auto pair = [&](gridres** p1, gridres** p2) {
            gridres* big = build(true, ua, 1);
            gridres* small = build(false, ub, 3);
            *p1 = order ? big : small;
            *p2 = order ? small : big;
          };
          gridres *a1, *b1, *a2, *b2;
          pair(&a1, &b1);
          pair(&a2, &b2);
          if (which == 1) negated(a1);
          else negated(b1);
          gridres* want = omgrop(a1, b1, op, 1);
          gridres* got = omgrneg(a2, b2, op, which, 1);
          ASSERT_NE(want, nullptr);
          ASSERT_NE(got, nullptr);
          ASSERT_EQ(got->isiz * got->jsiz, want->isiz * want->jsiz);
          EXPECT_EQ(got->undef, want->undef);
          for (int k = 0; k < got->isiz * got->jsiz; k++)
            ASSERT_TRUE(same(got->grid[k], want->grid[k]))
                << "op " << op << " shape " << shape << " which " << which << " order " << order
                << " k " << k << ": " << got->grid[k] << " vs " << want->grid[k];
          omgfre(want);
          omgfre(got);
        }
      }
    }
  }
  // Codes other than the four simple ones refuse a pending negation.
  gridres* a = mkgrid(0, -1, 2, 1, {1, 2});
  gridres* b = mkgrid(0, -1, 2, 1, {3, 4});
  std::string out = captured([&] { EXPECT_EQ(omgrneg(a, b, OPPOW, 1, 1), nullptr); });
  EXPECT_EQ(out, "Internal logic check 17: invalid oper value\n");
  omgfre(a);
  omgfre(b);
}

// A grid that memory cannot hold is refused before anything is allocated:
// half the machine's memory as one grid, or more values than an int counts,
// comes back null (a promised block would only fail once filled).
TEST(GridSpeed, GridsBeyondMemoryAreRefusedUpFront) {
  const uint64_t phys = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE));
  gridres* g = omgnew();
  g->idim = 0;
  EXPECT_EQ(omgalo(g, static_cast<size_t>(phys / 2 / sizeof(float))), nullptr);
  EXPECT_EQ(g->grid, nullptr);
  EXPECT_EQ(omgalo(g, size_t(INT32_MAX) + 1), nullptr);
  EXPECT_LE(omgcap(), size_t(INT32_MAX) * sizeof(float));
  EXPECT_LE(omgcap(), phys / 4);
  // A grid of ordinary size is still had.
  ASSERT_NE(omgalo(g, 1000000), nullptr);
  g->grid[999999] = 1.0f;
  omgfre(g);
}
