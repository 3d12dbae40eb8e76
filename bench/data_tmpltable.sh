#!/usr/bin/env bash
# Builds and runs the benchmark of template member tables (not part of CI).
# Usage:
#   bench/data_tmpltable.sh [build-dir]   (default: a Release build in build-bench)
exec "$(dirname "$0")/cppbench.sh" data_tmpltable "$@"
