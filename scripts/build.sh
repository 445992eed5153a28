#!/usr/bin/env bash
# Configures and builds the whole tree into build/ (or $TESSEL_BUILD_DIR).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSEL_BUILD_DIR:-$top/build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$top" -B "$build" -G Ninja "${launcher[@]}" "$@"
cmake --build "$build" --parallel "$(nproc)"
