#!/usr/bin/env bash
# Fails when the executable needs one of the named shared libraries at start-up.
# Usage: check_needed.sh EXECUTABLE LIBNAME...
set -euo pipefail
exe="$1"; shift
needed="$(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
status=0
for lib in "$@"; do
  if grep -q "^${lib}\.so" <<<"$needed"; then
    echo "$exe needs ${lib}.so although its static archive was linked" >&2
    status=1
  fi
done
echo "$(wc -l <<<"$needed") shared libraries needed"
exit "$status"
