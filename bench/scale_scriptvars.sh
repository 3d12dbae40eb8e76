#!/usr/bin/env bash
# Cost of setting and reading N compound script variables a.i, per variable
# (not part of CI).  A cost that grows with N means variables are searched
# one by one.
# Usage: bench/scale_scriptvars.sh [build-dir]
. "$(dirname "$0")/scale_common.sh"
mkscript() {
  cat > t.gs <<X
i = 0
while (i < $1)
  a.i = i * 2
  i = i + 1
endwhile
say a.0 ' ' a.$(($1 - 1))
X
}
check() { grep -qx "0 $((2 * ($1 - 1)))" out.txt; }
scale_run "compound variables"
