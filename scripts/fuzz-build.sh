#!/usr/bin/env bash
# scripts/fuzz-build.sh TARGET...
# Builds the named libFuzzer targets (frame json ini coding ciphra description param page) with
# clang into build-fuzz/ (or $TESSEL_FUZZ_BUILD_DIR), as bin/fuzz_TARGET. The build's output
# goes to build-fuzz/build.log and is shown only when the build fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || { echo "usage: fuzz-build.sh TARGET..." >&2; exit 2; }
build=${TESSEL_FUZZ_BUILD_DIR:-$top/build-fuzz}
mkdir -p "$build"
log=$build/build.log
targets=()
for t in "$@"; do targets+=("fuzz_$t"); done
CC=clang CXX=clang++ TESSEL_BUILD_DIR=$build TESSEL_BUILD_TARGETS="${targets[*]}" \
  "$top/scripts/build.sh" -DTESSEL_FUZZ=ON -DTESSEL_BUILD_TESTS=OFF -DTESSEL_BUILD_BENCH=OFF \
  -DTESSEL_SANITIZE=OFF >"$log" 2>&1 || { tail -50 "$log"; exit 1; }
