// A "-" in an expression is carried out together with the next operation
// on its grid.  Every expression must give, bit for bit, what the same
// expression gives with the negation done on its own (written here as a
// product with the constant 0-1 on the right, which is never left pending).
#include <cmath>
#include <cstring>
#include <vector>

#include "vartest.h"

namespace {

// A 4 x 3 data set with two times whose values include the negated
// undefined value, the largest floats, infinities, zeros of both signs.
struct nastyset {
  scratchdir sd;
  datafile* pfi = nullptr;
  nastyset() {
    const float pick[] = {1.5f, 9.99e8f, -9.99e8f, 3e38f, -3e38f, INFINITY, 0.0f, -0.0f, 2.0f,
                          -7.25f, 1e-30f, 4.0f, -1.0f};
    std::vector<float> v;
    for (int k = 0; k < 24; k++) v.push_back(pick[(k * 5) % 13]);
    sd.write("n.bin", std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
    std::string ctl = sd.write("n.ctl",
                               "dset ^n.bin\nundef -9.99e8\nxdef 4 linear 0 1\n"
                               "ydef 3 linear 10 2.5\nzdef 1 levels 1000\n"
                               "tdef 2 linear 0z1jan1990 12hr\nvars 1\nu 0 99 u\nendvars\n");
    pfi = getpfi();
    captured([&] { EXPECT_EQ(omddes(ctl.c_str(), pfi, 1), 0); });
    pfi->infile = std::fopen(pfi->name.c_str(), "rb");
  }
  ~nastyset() {
    if (pfi->infile) std::fclose(pfi->infile);
    frepfi(pfi, 0);
  }
};

bool samebits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * 4) == 0;
}

}  // namespace

TEST(Negation, SameBitsAsTheNegationDoneOnItsOwn) {
  nastyset ds;
  evalstat st = filest(ds.pfi);
  st.dmin[1] = 10;
  st.dmax[1] = 15;
  const char* pairs[][2] = {
      {"u-u(t=2)", "u+u(t=2)*(0-1)"},
      {"-u*u(t=2)", "u*(0-1)*u(t=2)"},
      {"u(t=2)/-u", "u(t=2)/(u*(0-1))"},
      {"-u/u(t=2)", "u*(0-1)/u(t=2)"},
      {"-u+u(t=2)", "u*(0-1)+u(t=2)"},
      {"u-u(t=2)-u", "u+u(t=2)*(0-1)+u*(0-1)"},
      {"-(-u)", "(u*(0-1))*(0-1)"},
      {"-u*-u(t=2)", "u*(0-1)*(u(t=2)*(0-1))"},
      {"maskout(u,-u(t=2))", "maskout(u,u(t=2)*(0-1))"},
      {"-u", "u*(0-1)"},
      {"2-u", "2+u*(0-1)"},
      {"ave(u,x=1,x=4)-u", "ave(u,x=1,x=4)+u*(0-1)"},
      {"u-ave(u,y=10,y=15)", "u+ave(u,y=10,y=15)*(0-1)"},
      {"-ave(u,x=1,x=4)*u", "ave(u,x=1,x=4)*(0-1)*u"},
      {"u/-ave(u,y=10,y=15)", "u/(ave(u,y=10,y=15)*(0-1))"},
  };
  for (const auto& p : pairs) {
    evalout a = evalon(p[0], st);
    evalout b = evalon(p[1], st);
    ASSERT_EQ(a.rc, 0) << p[0] << a.msg;
    ASSERT_EQ(b.rc, 0) << p[1] << b.msg;
    EXPECT_EQ(a.msg, b.msg) << p[0];
    EXPECT_TRUE(samebits(values(a.st.result.pgr), values(b.st.result.pgr))) << p[0];
    EXPECT_EQ(a.st.result.pgr->undef, b.st.result.pgr->undef) << p[0];
    omgfre(a.st.result.pgr);
    omgfre(b.st.result.pgr);
  }
  // Errors with a negation pending release everything and report as before.
  evalout bad = evalon("-u+(", st);
  EXPECT_NE(bad.rc, 0);
}
