#!/usr/bin/env bash
# Configures and builds the whole tree into build/ (or $TESSEL_BUILD_DIR); only the targets in
# $TESSEL_BUILD_TARGETS (blank-separated) when it is set. Arguments go to the configure step.
# With TESSEL_WERROR=1 every compiler warning fails the build (CMake option TESSEL_WERROR).
# The build runs CMAKE_BUILD_PARALLEL_LEVEL jobs when it is set, else one per processor.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSEL_BUILD_DIR:-$top/build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
werror=OFF
[ "${TESSEL_WERROR:-0}" = 1 ] && werror=ON
cmake -S "$top" -B "$build" -G Ninja "${launcher[@]}" -DTESSEL_WERROR=$werror "$@"
targets=()
for t in ${TESSEL_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" "${targets[@]}"
