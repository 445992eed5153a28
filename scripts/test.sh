#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: each case alone through ctest, then
# every test program once as a whole with its cases in a random order, so that a case that
# depends on what ran before it in the same process fails too.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh"
build=${TESSEL_BUILD_DIR:-$top/build}
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 300
QT_QPA_PLATFORM=offscreen python3 "$top/scripts/shuffle-tests.py" "$build" "$(nproc)"
