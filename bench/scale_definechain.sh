#!/usr/bin/env bash
# Cost of N chained defines a1 = a0 + 1, a2 = a1 + 1, ... of one point of
# the sample data set, per define (not part of CI).  A cost that grows with
# N means defined names are compared one by one.
# Usage: bench/scale_definechain.sh [build-dir]
. "$(dirname "$0")/scale_common.sh"
mkscript() {
  cat > t.gs <<X
'open $root/share/sample/sample.ctl'
'set x 1'
'set y 1'
'set z 1'
'set t 1'
'define a0 = 1'
k = 1
while (k < $1)
  'define a'k' = a'k-1' + 1'
  k = k + 1
endwhile
'd a'k-1
say result
X
}
check() { grep -qx "Result value = $1 " out.txt; }
scale_run "chained defines"
