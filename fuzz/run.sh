#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs one target or all.
#
#   fuzz/run.sh TARGET|all [SECONDS]      (default 60 seconds per target)
#
# Environment:
#   FUZZ_FORK=N   run each target as N libFuzzer worker processes (-fork=N)
#   FUZZ_JOBS=N   with "all": targets run side by side, N at a time
#                 (default: the number of cores)
#   FUZZ_BUILD=0  do not (re)build
#
# Every run starts from the committed seeds (fuzz/corpus/TARGET) and the
# inputs earlier runs kept (build-fuzz/corpus/TARGET).  A crash, sanitizer
# report, timeout (-timeout=5), memory overrun (-rss_limit_mb below; a
# single allocation above it is one too) or leak is a finding: its input
# is saved as fuzz/findings/TARGET-<kind>-<hash>, the script prints it and
# exits 1.  A timeout counts only when its input, replayed alone once every
# target has ended, takes the limit again; its time alone is printed.
# Replay one with build-fuzz/fuzz/fuzz_TARGET FILE
# (OMBRA_FUZZ_VERBOSE=1 shows the program's messages).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

targets=(descriptor grib grib2 gribfile station mapfont expr script command sdfcoord axes pdef classic wire)
# Memory limit per target, MB.  Each harness bounds the data it asks for
# (small windows, few times, small fixed data sets), so going over the
# limit means the input made the program allocate by a claim it should
# have refused: a finding for every target.
declare -A rss=([descriptor]=2048 [grib]=2048 [grib2]=2048 [gribfile]=2048 [station]=2048 [mapfont]=1024
                [expr]=2048 [script]=2048 [command]=2048 [sdfcoord]=1024
                [axes]=1024 [pdef]=1024 [classic]=1024 [wire]=1024)

want="${1:-}"
secs="${2:-60}"
if [ -z "$want" ]; then
  echo "usage: fuzz/run.sh TARGET|all [SECONDS]   (targets: ${targets[*]})" >&2
  exit 2
fi
if [ "$want" = all ]; then
  run=("${targets[@]}")
else
  [ -n "${rss[$want]:-}" ] || { echo "unknown target $want (targets: ${targets[*]})" >&2; exit 2; }
  run=("$want")
fi

build="$root/build-fuzz"
if [ "${FUZZ_BUILD:-1}" != 0 ]; then
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DOMBRA_FUZZ=ON -DBUILD_TESTING=OFF \
    >/dev/null || exit 1
  ninja -C "$build" fuzz_targets >/dev/null || { ninja -C "$build" fuzz_targets; exit 1; }
fi

mkdir -p "$root/fuzz/findings"
fork="${FUZZ_FORK:-0}"
ncpu="$(nproc 2>/dev/null || echo 2)"
jobs="${FUZZ_JOBS:-$ncpu}"
[ "$jobs" -gt "${#run[@]}" ] && jobs="${#run[@]}"

runone() {
  local t="$1" log="$build/logs/$1.log"
  local corpus="$build/corpus/$t" tmp="$build/tmp/$t"
  mkdir -p "$corpus" "$tmp" "$build/logs"
  local opts=(-max_total_time="$secs" -timeout=5 -rss_limit_mb="${rss[$t]}"
              -dict="$root/fuzz/dict/$t.dict" -print_final_stats=1
              -artifact_prefix="$root/fuzz/findings/$t-")
  if [ "$fork" -gt 0 ]; then
    # In fork mode libFuzzer would otherwise go on past timeouts and
    # memory overruns; they are findings here.
    opts+=(-fork="$fork" -ignore_crashes=0 -ignore_timeouts=0 -ignore_ooms=0)
  fi
  # The harness works in its own directory under TMPDIR and removes it.
  LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    TMPDIR="$tmp" "$build/fuzz/fuzz_$t" "${opts[@]}" "$corpus" "$root/fuzz/corpus/$t" \
    >"$log" 2>&1 </dev/null
  echo $? >"$build/logs/$t.rc"
  rm -rf "$tmp"
}

before="$(ls "$root/fuzz/findings" 2>/dev/null | sort)"
pids=()
for t in "${run[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  runone "$t" &
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p"; done

# A timeout met while the targets ran side by side may be the machine's
# load and not the input: the input is replayed alone, after every target
# has ended, and is a finding only when it takes the same limit then too.
# Its time alone is shown either way; one that is quick alone is moved out
# of fuzz/findings to build-fuzz/slow/.
declare -A alone=()
for t in "${run[@]}"; do
  log="$build/logs/$t.log"
  # Only a run whose one finding is a timeout.
  [ "$(grep -cE '^SUMMARY: ' "$log")" = 1 ] && grep -q '^SUMMARY: libFuzzer: timeout' "$log" || continue
  unit="$(sed -nE 's/.*Test unit written to (.*)$/\1/p' "$log" | tail -1)"
  [ -f "$unit" ] || continue
  start="$(date +%s%N)"
  LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/fuzz_$t" -timeout=5 -rss_limit_mb="${rss[$t]}" "$unit" >"$log.alone" 2>&1 </dev/null
  rc=$?
  ms="$(( ($(date +%s%N) - start) / 1000000 ))"
  secs="$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
  if [ "$rc" = 0 ] && ! grep -q 'ERROR: libFuzzer: timeout' "$log.alone"; then
    mkdir -p "$build/slow"
    mv "$unit" "$build/slow/"
    alone[$t]="ok (a timeout under load; alone the input takes ${secs} s: build-fuzz/slow/${unit##*/})"
  else
    echo "$t: the timeout's input takes ${secs} s replayed alone: $unit"
  fi
done

status=0
printf '%-11s %10s %8s %8s  %s\n' target exec/s cov runs result
for t in "${run[@]}"; do
  log="$build/logs/$t.log"
  rc="$(cat "$build/logs/$t.rc" 2>/dev/null || echo 1)"
  # The last status line holds the totals (fork mode prints its own kind).
  last="$(grep -E 'cov: [0-9]+' "$log" | tail -1)"
  cov="$(sed -nE 's/.*cov: ([0-9]+).*/\1/p' <<<"$last")"
  eps="$(grep -E '^stat::average_exec_per_sec' "$log" | awk '{print $2}' | tail -1)"
  [ -n "$eps" ] || eps="$(sed -nE 's/.*exec\/s:? ([0-9]+).*/\1/p' <<<"$last")"
  runs="$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -1)"
  [ -n "$runs" ] || runs="$(sed -nE 's/^#([0-9]+).*/\1/p' <<<"$last")"
  res=ok
  if [ -n "${alone[$t]:-}" ]; then
    res="${alone[$t]}"
  elif [ "$rc" != 0 ] || grep -qE '^==[0-9]+==ERROR|^SUMMARY: |ERROR: libFuzzer' "$log"; then
    res="FINDING (log: $log)"
    status=1
  fi
  printf '%-11s %10s %8s %8s  %s\n' "$t" "${eps:-?}" "${cov:-?}" "${runs:-?}" "$res"
done

after="$(ls "$root/fuzz/findings" 2>/dev/null | sort)"
new="$(comm -13 <(echo "$before") <(echo "$after") | grep -v '^$' || true)"
if [ -n "$new" ]; then
  status=1
  echo "New findings (inputs in fuzz/findings/):"
  for f in $new; do echo "  fuzz/findings/$f"; done
fi
if [ "$status" -ne 0 ]; then
  for t in "${run[@]}"; do
    log="$build/logs/$t.log"
    [ -z "${alone[$t]:-}" ] || continue
    if grep -qE '^==[0-9]+==ERROR|^SUMMARY: |ERROR: libFuzzer' "$log"; then
      echo "---- $t:"
      grep -E -A14 '^==[0-9]+==ERROR|ERROR: libFuzzer' "$log" | head -40
    fi
  done
fi
exit "$status"
