#!/bin/sh
# Every field of every GRIB file in a folder (or of the files named), read
# as the program reads it and compared with ecCodes' grib_get_data: a line
# a file (messages, fields, fields equal, the largest difference, fields
# refused), then each field refused or different with the reason.
#   scripts/gribcompare.sh FOLDER|FILE... [-B BUILD]   (BUILD default: build)
# Needs ecCodes' tools (scripts/install-deps.sh --with-tests) and the
# comparison program of the tests (ninja -C BUILD tests/gribcompare).
# Exit status 1 when a field is not equal.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
files=
for a in "$@"; do
  case $a in
    -B) build=next ;;
    *)
      if [ "$build" = next ]; then
        build=$a
      elif [ -d "$a" ]; then
        for f in "$a"/*; do [ -f "$f" ] && files="$files
$f"; done
      else
        files="$files
$a"
      fi ;;
  esac
done
tool=$build/tests/gribcompare
if [ ! -x "$tool" ]; then
  echo "gribcompare.sh: $tool is not built (ninja -C $build tests/gribcompare)" >&2
  exit 2
fi
command -v grib_get_data >/dev/null || { echo "gribcompare.sh: grib_get_data (ecCodes' tools) is not installed" >&2; exit 2; }
[ -n "$files" ] || { echo "usage: gribcompare.sh FOLDER|FILE... [-B BUILD]" >&2; exit 2; }
# One name a line, so that names with spaces stay whole.
IFS='
'
# shellcheck disable=SC2086
OMDDIR=${OMDDIR:-$here/share} exec "$tool" $files
