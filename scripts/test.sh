#!/usr/bin/env bash
# Installs what the tests need, builds everything, runs every test (unit and
# end-to-end) and then all of them again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and last every fuzz target for a short smoke
# time (fuzz/run.sh; a finding fails the run).  Run from anywhere; build
# trees go under build/, build-sanitize/ and build-fuzz/ of the repository.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh --with-tests

jobs="$(nproc 2>/dev/null || echo 2)"
export CTEST_OUTPUT_ON_FAILURE=1
# Let ccache reuse objects compiled in another checkout of the same sources
# (CI builds a fresh clone in another folder).
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1

# Standard input is closed for every test: nothing may wait for a terminal.
status=0
cmake -S . -B build -G Ninja >/dev/null
ninja -C build
ctest --test-dir build -j "$jobs" --timeout 300 < /dev/null || status=1

# Everything again under the sanitizers, the end-to-end cases included: they
# run the sanitized executable on the hostile inputs the cases hold.
cmake -S . -B build-sanitize -G Ninja -DOMBRA_SANITIZE=ON >/dev/null
ninja -C build-sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize -j "$jobs" --timeout 600 < /dev/null || status=1

# Fuzz smoke: every target 30 seconds, as many side by side as there are
# cores; a timeout counts only when its input is slow replayed alone too
# (run.sh prints its time).  FUZZ_SMOKE_SECONDS=0 skips it.
smoke="${FUZZ_SMOKE_SECONDS:-30}"
if [ "$smoke" -gt 0 ]; then
  FUZZ_JOBS="$jobs" fuzz/run.sh all "$smoke" || status=1
fi

if [ "$status" -ne 0 ]; then
  echo "Some tests failed." >&2
  exit 1
fi
echo "All tests passed."
