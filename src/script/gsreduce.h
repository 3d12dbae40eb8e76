// The reduction of one closed parenthesised group of a script expression:
// its operators applied by precedence passes, highest first, left to right
// within a pass.  Each pass is one sweep that copies the surviving tokens
// into a second buffer, so a group of n tokens costs a fixed number of
// sweeps however many operators it holds (erasing each applied operator in
// place would move the rest of the group every time).
#pragma once

#include <cstddef>
#include <vector>

// Tok has the members isop, code (operator code) and slot (operand slot).
// inpass(pass, code) tells whether an operator belongs to a pass,
// isunary(code) whether it takes only the operand on its right, and
// emit(code, lslot, rslot) is told each application in order (lslot -1 for
// a unary one).  A binary operator's result takes its left operand's slot,
// a unary one's its operand's slot, so g keeps only operands in the end.
template <class Tok, class InPass, class IsUnary, class Emit>
void gsreduce(std::vector<Tok>& g, int npass, InPass inpass, IsUnary isunary, Emit emit) {
  std::vector<Tok> out;
  out.reserve(g.size());
  for (int pass = 0; pass < npass; pass++) {
    out.clear();
    const size_t n = g.size();
    for (size_t k = 0; k < n; k++) {
      if (!g[k].isop || !inpass(pass, g[k].code)) {
        out.push_back(g[k]);
      } else if (isunary(g[k].code)) {
        emit(g[k].code, -1, g[k + 1].slot);
      } else {
        emit(g[k].code, out.back().slot, g[k + 1].slot);
        k++;
      }
    }
    g.swap(out);
  }
}
