#!/usr/bin/env bash
# Builds the tree with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (or
# $TESSEL_BUILD_DIR) and runs every test there. Any sanitizer report fails its test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
export TESSEL_BUILD_DIR=${TESSEL_BUILD_DIR:-$top/build-asan}
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_SANITIZE=ON -DTESSEL_BUILD_BENCH=OFF
cd "$TESSEL_BUILD_DIR"
# Allocation stacks are unwound fully (fast_unwind_on_malloc=0), so that a leak inside a
# library shows the library function that made it (scripts/lsan.supp names such functions)
# and a leak of ours made under a library frame still shows our code.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=0:fast_unwind_on_malloc=0:suppressions=$top/scripts/asan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/scripts/lsan.supp:print_suppressions=0}
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 600
