#!/usr/bin/env bash
# The differential check: runs the same generated sessions with the program
# built from an older commit and with the working tree, and prints every
# difference, grouped by kind (status, standard output, standard error, the
# joined log, the files made, each file's bytes, pictures by pixels), each
# group with its count and one session to rerun.
#
#   scripts/differential.sh OLD [--seed N] [--count N] [-j N] [--keep]
#
#   OLD        a commit (hash, branch, tag); it is built in build-diff/old
#              from a worktree of its own, build-diff/old-src
#   --seed N   the seed the sessions are made from (default 1)
#   --count N  how many sessions (default 10000)
#   -j N       sessions run side by side (default: the number of cores)
#   --keep     keep the folders of every session, not only those that differ
#
# Both builds are the default (RelWithDebInfo) build of the program alone,
# through ccache.  The data sets are made once, in build-diff/data, by
# scripts/differential/data.py, the sessions by sessions.py, and run.py runs
# and compares them; everything is under build-diff/, which the next run
# starts anew.  Each run goes through bench/treetime, and a table of the
# processor time new/old of the sessions' whole process trees, per class of
# session, follows the differences (a class slower than 1.05 beyond the
# noise is flagged).  Exits 0 when nothing differs, 1 when something does.
#
# Time on 8 cores, 10,000 sessions: about 14 minutes (844 s measured on a
# shared machine, -j 8), plus the builds
# (a minute or two with a warm ccache).  Not run by CI.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

usage() { echo "usage: scripts/differential.sh OLD [--seed N] [--count N] [-j N] [--keep]" >&2; exit 2; }
old="" seed=1 count=10000 jobs="$(nproc 2>/dev/null || echo 2)" keep=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed="${2:?}"; shift 2 ;;
    --count) count="${2:?}"; shift 2 ;;
    -j) jobs="${2:?}"; shift 2 ;;
    -j*) jobs="${1#-j}"; shift ;;
    --keep) keep=(--keep); shift ;;
    -*) usage ;;
    *) [ -z "$old" ] || usage; old="$1"; shift ;;
  esac
done
[ -n "$old" ] || usage

py=""
for p in python3 /usr/bin/python3; do
  if command -v "$p" >/dev/null && "$p" -c 'import numpy' 2>/dev/null; then py="$p"; break; fi
done
[ -n "$py" ] || { echo "differential: needs python3 with numpy (python3-numpy)" >&2; exit 2; }
command -v ncgen >/dev/null || { echo "differential: needs ncgen (netcdf-bin)" >&2; exit 2; }

out="$root/build-diff"
mkdir -p "$out"
rev="$(git rev-parse --verify "$old^{commit}")"
oldsrc="$out/old-src"
# shellcheck source=scripts/oldtree.sh
. "$root/scripts/oldtree.sh"
oldtree_checkout "$rev" "$oldsrc"
export OLDTREE_JOBS="$jobs"
t0=$SECONDS
echo "differential: building $old ($(git log -1 --format=%h "$rev")) and the working tree" >&2
oldtree_build "$oldsrc" "$out/old"
oldtree_build "$root" "$out/new"
cc -O2 "$root/bench/treetime.c" -o "$out/treetime"
t1=$SECONDS

rm -rf "$out/data" "$out/run" "$out/sessions.jsonl"
"$py" scripts/differential/data.py "$out/data" "$out/old/src/main/ombra" "$oldsrc/share" >&2
"$py" scripts/differential/sessions.py "$out/data" "$seed" "$count" "$out/sessions.jsonl"
t2=$SECONDS
echo "differential: builds $((t1 - t0)) s, data and sessions $((t2 - t1)) s; running $count sessions, $jobs at a time" >&2
status=0
"$py" scripts/differential/run.py "$out/run" "$out/sessions.jsonl" \
  "$out/old/src/main/ombra" "$oldsrc/share" "$out/new/src/main/ombra" "$root/share" \
  "$out/data" "$jobs" --treetime "$out/treetime" ${keep[@]+"${keep[@]}"} || status=$?
echo "differential: OLD = $old ($(git log -1 --format=%h "$rev")), seed $seed, $((SECONDS - t0)) s in all"
exit "$status"
