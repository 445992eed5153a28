#!/usr/bin/env bash
# scripts/fuzz.sh TARGET SECONDS
# Builds the libFuzzer targets with clang into build-fuzz/ (or $TESSEL_FUZZ_BUILD_DIR) and runs
# fuzz_TARGET for SECONDS, starting from fuzz/corpus/TARGET. New inputs go to
# build-fuzz/corpus/TARGET, a crashing input to build-fuzz/artifacts/TARGET/.
# Targets: frame json ini coding ciphra description param page.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: fuzz.sh TARGET SECONDS}
seconds=${2:-60}
build=${TESSEL_FUZZ_BUILD_DIR:-$top/build-fuzz}
"$top/scripts/fuzz-build.sh" "$target"

work=$build/corpus/$target
artifacts=$build/artifacts/$target/
mkdir -p "$work" "$artifacts"
seeds=$top/fuzz/corpus/$target
[ -d "$seeds" ] || seeds=
export QT_QPA_PLATFORM=offscreen
exec "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$artifacts" "$work" ${seeds:+"$seeds"}
