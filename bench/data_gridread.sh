#!/usr/bin/env bash
# Builds and runs the grid reader benchmark (not part of CI).  Usage:
#   bench/data_gridread.sh [build-dir]   (default: a Release build in build-bench)
exec "$(dirname "$0")/cppbench.sh" data_gridread "$@"
