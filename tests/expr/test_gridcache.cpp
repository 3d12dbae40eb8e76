// The cache of grids read during one evaluation: served only for the same
// request within one evaluation, never after the evaluation ends, never
// after the file changed, and giving the values a fresh read gives.
#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>

#include "expr/gridcache.h"
#include "expr/varread.h"
#include "vartest.h"

namespace {

// A whole-grid request for variable ts at time t (a fresh record).
gridres* request(datafile* pfi, int t) {
  gridres* g = omgnew();
  g->pfi = pfi;
  g->pvar = &pfi->pvar1[0];
  g->undef = pfi->undef;
  g->idim = 0;
  g->jdim = 1;
  g->dimmin[0] = 1;
  g->dimmax[0] = 4;
  g->dimmin[1] = 1;
  g->dimmax[1] = 3;
  g->dimmin[2] = g->dimmax[2] = 1;
  g->dimmin[3] = g->dimmax[3] = t;
  return g;
}

// Reads the request and gives its first value (or NaN when the read
// failed); the grid is released.
float first(datafile* pfi, int t) {
  gridres* g = request(pfi, t);
  int rc = omvread(g);
  float v = rc == 0 ? g->grid[0] : NAN;
  if (rc == 0) {
    EXPECT_EQ(g->isiz, 4);
    EXPECT_EQ(g->jsiz, 3);
  }
  omgfre(g);
  return v;
}

// Overwrites the first value of ts at time 1 and moves the file's
// modification time by mtime seconds (0: put the old time back, so only
// the contents differ).
void rewrite(const std::string& path, float v, int mtime) {
  struct stat sb;
  ASSERT_EQ(stat(path.c_str(), &sb), 0);
  FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  std::fwrite(&v, 4, 1, f);
  std::fclose(f);
  struct timespec ts[2] = {sb.st_atim, sb.st_mtim};
  ts[1].tv_sec += mtime;
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

}  // namespace

TEST(GridCache, ServedOnlyForNamesWrittenTwiceAndHandedOverAtTheLast) {
  testset ds;
  const std::string bin = ds.sd.path("d.bin");
  omrcbeg("ts+ts*ts");
  EXPECT_EQ(first(ds.pfi, 1), testset::code(1, 1, 0, 1));
  EXPECT_EQ(omrccount(), 1);
  // Changed contents with the old time: a second reference in the same
  // evaluation is served from what was read (this is what the cache is
  // for), with the sizes the reader sets.
  rewrite(bin, 5.0f, 0);
  EXPECT_EQ(first(ds.pfi, 1), testset::code(1, 1, 0, 1));
  EXPECT_EQ(omrccount(), 1);
  // The third and last reference takes the kept grid itself.
  EXPECT_EQ(first(ds.pfi, 1), testset::code(1, 1, 0, 1));
  EXPECT_EQ(omrccount(), 0);
  // Beyond what the text promised the file is read again.
  EXPECT_EQ(first(ds.pfi, 1), 5.0f);
  omrcend();
  EXPECT_EQ(omrccount(), 0);

  // A name written once is never copied.
  omrcbeg("ts*2+t");
  EXPECT_EQ(first(ds.pfi, 1), 5.0f);
  EXPECT_EQ(omrccount(), 0);
  omrcend();
  // Outside an evaluation nothing is kept.
  EXPECT_EQ(first(ds.pfi, 1), 5.0f);
  EXPECT_EQ(omrccount(), 0);
}

TEST(GridCache, NeverServedAcrossEvaluationsOrAfterTheFileChanged) {
  testset ds;
  const std::string bin = ds.sd.path("d.bin");
  omrcbeg("ts-ts");
  EXPECT_EQ(first(ds.pfi, 1), testset::code(1, 1, 0, 1));
  omrcend();
  EXPECT_EQ(omrccount(), 0);
  // Same time stamp, new contents: the next evaluation reads the file.
  rewrite(bin, 7.0f, 0);
  omrcbeg("ts-ts");
  EXPECT_EQ(first(ds.pfi, 1), 7.0f);
  // The file changes during the evaluation: the kept grid is dropped.
  rewrite(bin, 8.0f, 1);
  EXPECT_EQ(first(ds.pfi, 1), 8.0f);
  omrcend();
}

TEST(GridCache, AnotherTimeOrRangeIsAnotherGrid) {
  testset ds;
  omrcbeg("ts ts ts ts");
  EXPECT_EQ(first(ds.pfi, 1), testset::code(1, 1, 0, 1));
  EXPECT_EQ(first(ds.pfi, 2), testset::code(1, 1, 0, 2));
  gridres* g = request(ds.pfi, 2);
  g->dimmin[0] = 2;  // x from 2
  g->dimmax[0] = 4;
  ASSERT_EQ(omvread(g), 0);
  EXPECT_EQ(g->isiz, 3);
  EXPECT_EQ(g->grid[0], testset::code(2, 1, 0, 2));
  omgfre(g);
  g = request(ds.pfi, 2);
  g->undef = -1.0f;  // another undefined value asked for
  ASSERT_EQ(omvread(g), 0);
  EXPECT_EQ(g->isiz, 4);
  omgfre(g);
  EXPECT_EQ(first(ds.pfi, 1), testset::code(1, 1, 0, 1));
  EXPECT_LE(omrccount(), 4);
  // Nested evaluations share the outer one's cache; only the outer end
  // empties it.
  omrcbeg("ts");
  omrcend();
  EXPECT_GT(omrccount(), 0);
  omrcend();
  EXPECT_EQ(omrccount(), 0);
  // A time outside the file warns and is never kept.
  omrcbeg("ts ts");
  gridres* out = request(ds.pfi, 9);
  captured([&] { EXPECT_LT(omvread(out), 0); });
  omgfre(out);
  EXPECT_EQ(omrccount(), 0);
  omrcend();
}

TEST(GridCache, EvaluationGivesTheSameValuesWithAndWithoutIt) {
  testset ds;
  evalstat st = filest(ds.pfi);
  const char* text = "(ts*2+1)/3-ts*ts+t(z=2)-t(z=2)*ts";
  evalout plain = evalon(text, st);
  ASSERT_EQ(plain.rc, 0) << plain.msg;
  omrcbeg(text);
  evalout fast = evalon(text, st);
  omrcend();
  ASSERT_EQ(fast.rc, 0) << fast.msg;
  EXPECT_EQ(fast.msg, plain.msg);
  EXPECT_EQ(values(fast.st.result.pgr), values(plain.st.result.pgr));
  omgfre(plain.st.result.pgr);
  omgfre(fast.st.result.pgr);
}
