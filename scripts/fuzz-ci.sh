#!/usr/bin/env bash
# scripts/fuzz-ci.sh [RUNS]
# The short fuzzing pass of CI: builds every libFuzzer target (scripts/fuzz-build.sh) and runs
# each for a fixed number of inputs, RUNS (default 20000, or $TESSEL_FUZZ_RUNS), starting from
# every seed in fuzz/corpus/TARGET. The seeds hold the inputs that once crashed a reader, so a
# regression fails here at once; a crash found later by a long run (scripts/fuzz.sh) belongs
# in the corpus too. The fixed seed makes a run repeatable. Every target runs; the script fails
# when any of them crashed, leaked, timed out or ran out of memory, and keeps that input in
# build-fuzz/artifacts-ci/TARGET/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-${TESSEL_FUZZ_RUNS:-20000}}
build=${TESSEL_FUZZ_BUILD_DIR:-$top/build-fuzz}
targets=(frame json ini coding ciphra description param page)
started=$SECONDS
"$top/scripts/fuzz-build.sh" "${targets[@]}"
echo "fuzz-ci: built ${#targets[@]} targets in $((SECONDS - started)) s"
export QT_QPA_PLATFORM=offscreen
failed=()
for target in "${targets[@]}"; do
  work=$build/corpus-ci/$target
  artifacts=$build/artifacts-ci/$target/
  rm -rf "$work"
  mkdir -p "$work" "$artifacts"
  seeds=$top/fuzz/corpus/$target
  [ -d "$seeds" ] || seeds=
  log=$build/fuzz-ci-$target.log
  t0=$SECONDS
  # New inputs go to the scratch folder first in the list; the checked-in seeds are only read.
  if "$build/bin/fuzz_$target" -runs="$runs" -seed=1 -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$work" ${seeds:+"$seeds"} \
      >"$log" 2>&1; then
    echo "fuzz-ci: $target passed $runs runs in $((SECONDS - t0)) s"
  else
    echo "fuzz-ci: $target FAILED after $((SECONDS - t0)) s; its output:"
    tail -60 "$log"
    failed+=("$target")
  fi
done
echo "fuzz-ci: $((SECONDS - started)) s in all"
echo "fuzz: $(( ${#targets[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
