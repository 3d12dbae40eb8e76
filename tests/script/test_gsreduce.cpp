// The reduction of an expression group: the order operators are applied in,
// the slots they name, and a cost that grows with the group, not its square.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/gsreduce.h"

namespace {

// A token that counts its copies and moves: every element an in-place
// erase shifts is one of them.
struct ctok {
  static long moves;
  bool isop;
  int code;
  int slot;
  ctok(bool o, int c, int s) : isop(o), code(c), slot(s) {}
  ctok(const ctok& t) : isop(t.isop), code(t.code), slot(t.slot) { moves++; }
  ctok& operator=(const ctok& t) {
    isop = t.isop;
    code = t.code;
    slot = t.slot;
    moves++;
    return *this;
  }
};
long ctok::moves = 0;

// Two passes: 1 (unary minus) and 2 (*) first, then 3 (+).
struct applied {
  std::vector<std::string> seen;
  void reduce(std::vector<ctok>& g) {
    gsreduce(
        g, 2, [](int pass, int code) { return pass == 0 ? code <= 2 : code == 3; },
        [](int code) { return code == 1; },
        [this](int code, int l, int r) {
          seen.push_back(std::to_string(code) + ":" + std::to_string(l) + "," + std::to_string(r));
        });
  }
};

ctok opd(int slot) { return {false, 0, slot}; }
ctok op(int code) { return {true, code, 0}; }

}  // namespace

TEST(GsReduce, AppliesByPassThenLeftToRightAndLeavesTheResultSlot) {
  // -a + b * c * d + e  with slots a=0 .. e=4
  std::vector<ctok> g = {op(1), opd(0), op(3), opd(1), op(2), opd(2), op(2), opd(3), op(3), opd(4)};
  applied a;
  a.reduce(g);
  EXPECT_EQ(a.seen, (std::vector<std::string>{"1:-1,0", "2:1,2", "2:1,3", "3:0,1", "3:0,4"}));
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].slot, 0);
}

TEST(GsReduce, ALongChainCostsAFixedNumberOfCopiesPerToken) {
  // 1 + 1 + ... with 10^4 operators: erasing each applied operator in place
  // shifts the rest of the group, some 5x10^7 moves in all.
  const int nop = 10000;
  std::vector<ctok> g;
  g.push_back(opd(0));
  for (int k = 1; k <= nop; k++) {
    g.push_back(op(3));
    g.push_back(opd(k));
  }
  const long ntok = static_cast<long>(g.size());
  applied a;
  ctok::moves = 0;
  a.reduce(g);
  ASSERT_EQ(a.seen.size(), static_cast<size_t>(nop));
  EXPECT_EQ(a.seen.back(), "3:0," + std::to_string(nop));
  EXPECT_LE(ctok::moves, 2 * ntok + 2);
}
