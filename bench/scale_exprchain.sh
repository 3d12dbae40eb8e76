#!/usr/bin/env bash
# Cost of one script expression of N terms, x = 1+1+...+1, per term
# (not part of CI).  A cost that grows with N means the expression's
# reduction is not linear.
# Usage: bench/scale_exprchain.sh [build-dir]
. "$(dirname "$0")/scale_common.sh"
mkscript() {
  python3 -c "import sys; n = int(sys.argv[1]); print('x = ' + '+'.join(['1'] * n)); print('say x')" "$1" > t.gs
}
check() { grep -qx "$1" out.txt; }
scale_run "terms of 1+1+..."
