#!/usr/bin/env bash
# Builds a Release tree into build-release/ (or $TESSEL_BENCH_BUILD_DIR) and prints how the
# system's own code compares with the reference libraries, each pair measured side by side in
# one run of bench/ (ours / reference: above 1 means ours is faster; one issue of ten A4 pages
# through the real server to its PDF printer is set against Qt alone doing the same, by the clock
# and by processor time). Then the loopback figures of the real server and its peak memory per
# character of the largest frames. Every benchmark is bounded; nothing leaves the loopback
# interface.
#   TESSEL_BENCH_MIN_TIME  seconds per benchmark (default 0.5)
#   TESSEL_BENCH_FILTER    a regular expression choosing benchmarks (default: all)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSEL_BENCH_BUILD_DIR:-$top/build-release}
min_time=${TESSEL_BENCH_MIN_TIME:-0.5}
filter=${TESSEL_BENCH_FILTER:-.}
mkdir -p "$build"
log=$build/build.log

# The build's whole output goes to its log; its progress is shown meanwhile: one line kept up
# to date on a terminal, a line every tenth of the way otherwise.
build_progress() {
  local line n total percent shown=-1 tty=0
  [ -t 1 ] && tty=1
  while IFS= read -r line; do
    printf '%s\n' "$line" >>"$log"
    [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
    n=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
    percent=$((100 * n / total))
    if [ "$tty" = 1 ]; then
      printf '\rbuilding: %d/%d (%d%%)' "$n" "$total" "$percent"
      shown=$percent
    elif [ $((percent / 10)) -gt "$shown" ]; then
      shown=$((percent / 10))
      printf 'building: %d/%d (%d%%)\n' "$n" "$total" "$percent"
    fi
  done
  if [ "$tty" = 1 ] && [ "$shown" -ge 0 ]; then printf '\n'; fi
}
echo "Building tessel-bench and TesselServer (Release) in $build; the log is $log"
: >"$log"
started=$SECONDS
TESSEL_BUILD_DIR=$build TESSEL_BUILD_TARGETS="tessel-bench TesselServer" "$top/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release \
  -DTESSEL_BUILD_TESTS=OFF -DTESSEL_BUILD_BENCH=ON -DTESSEL_SANITIZE=OFF 2>&1 | build_progress ||
  { tail -50 "$log"; exit 1; }
echo "built in $((SECONDS - started)) s; running the benchmarks"

bench=$build/bin/tessel-bench
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Everything but the portable SHA-1 pair, with OpenSSL free to use every CPU feature.
"$bench" --benchmark_filter="$filter" --benchmark_min_time="$min_time" \
  --benchmark_out="$out/main.json" --benchmark_out_format=json >"$out/main.txt" 2>&1 ||
  { cat "$out/main.txt"; exit 1; }
# The portable SHA-1 pair again with OpenSSL's CPU features masked, so it runs its portable code.
OPENSSL_ia32cap="0:0" "$bench" --benchmark_filter='^SHA-1-portable/' \
  --benchmark_min_time="$min_time" --benchmark_out="$out/portable.json" \
  --benchmark_out_format=json >"$out/portable.txt" 2>&1 || { cat "$out/portable.txt"; exit 1; }

python3 - "$out/main.json" "$out/portable.json" <<'PY'
import json, re, sys

runs = {}
for i, path in enumerate(sys.argv[1:]):
    for b in json.load(open(path))["benchmarks"]:
        # The subject and side, without the run options Google Benchmark appends.
        name = re.sub(r"/(iterations:\d+|real_time|min_time:[\d.s]+)", "", b["name"])
        # The portable pair counts only from the second, masked run.
        if name.startswith("SHA-1-portable/") and i == 0:
            continue
        runs[name] = b

def rate(b):
    if "error_occurred" in b and b["error_occurred"]:
        return None, b.get("error_message", "error")
    if "bytes_per_second" in b:
        return b["bytes_per_second"], "B/s"
    if "items_per_second" in b:
        return b["items_per_second"], "op/s"
    return None, "?"

def human(v, unit):
    if unit == "B/s":
        return "%.1f MB/s" % (v / 1e6)
    return "%.3g op/s" % v

subjects = []
for name in runs:
    if name.endswith("/ours"):
        subjects.append(name[: -len("/ours")])

print()
print("%-16s %18s %18s %8s" % ("subject", "ours", "reference", "ratio"))
print("-" * 64)
for s in subjects:
    ours, ref = runs.get(s + "/ours"), runs.get(s + "/ref")
    if not ref:
        continue
    (a, ua), (b, ub) = rate(ours), rate(ref)
    if a is None or b is None:
        print("%-16s  failed: %s" % (s, ua if a is None else ub))
        continue
    print("%-16s %18s %18s %7.2fx" % (s, human(a, ua), human(b, ub), a / b))
    # A road through the server also by processor time, which a busy machine disturbs less
    # than the clock: the server's own per run against the reference's.
    if "server_cpu_ms" in ours:
        ref_ms = ref["cpu_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[ref["time_unit"]]
        print("%-16s %15.0f ms %15.0f ms %7.2fx" % (
            "  CPU per run", ours["server_cpu_ms"], ref_ms, ref_ms / ours["server_cpu_ms"]))
    # Page faults per run: memory faulted in afresh rather than reused.
    if "server_faults" in ours and "faults" in ref:
        print("%-16s %18.0f %18.0f" % ("  page faults", ours["server_faults"], ref["faults"]))

def figures(b):
    if "p50_us" in b:
        return "%10.0f polls/s   p50 %.0f us   p99 %.0f us" % (
            b["polls_per_s"], b["p50_us"], b["p99_us"])
    if "peak_B_per_char" in b:
        return "%6.2f B/char   peak %7.1f MB   kept after %6.1f MB" % (
            b["peak_B_per_char"], b["peak_MB"], b["kept_MB"])
    if "queues" in b:
        return "%10.0f ms per issue through the selection, %d queues" % (b["real_time"], b["queues"])
    if b["name"].startswith("Cups/"):
        return "%10.0f ms until the run is reported failed" % b["real_time"]
    return "%10.1f ms per list of ten   %.1f MB/s" % (b["real_time"], b["bytes_per_second"] / 1e6)

for prefix, title in (("Loopback/", "Loopback through the real server"),
                      ("Memory/", "Server memory, measured from outside (peak above the idle size)"),
                      ("Cups/", "The print road on a private cupsd's queues, through the real server")):
    group = [b for n, b in runs.items() if n.startswith(prefix)]
    if not group:
        continue
    print()
    print(title)
    print("-" * 64)
    for b in group:
        name = b["name"].split("/iterations:")[0]
        if b.get("error_occurred"):
            print("%-34s failed: %s" % (name, b.get("error_message")))
        else:
            print("%-34s %s" % (name, figures(b)))
    # The server's polls against a trivial echo server's, measured in the same run: in a process
    # of its own as the server is (the floor), and in a thread of the benchmark's own process.
    poll = runs.get("Loopback/CE09-poll")
    for row, what in (("Loopback/CE09-poll-echo-floor", "of the echo floor"),
                      ("Loopback/CE09-poll-echo-thread", "of the echo thread")):
        floor = runs.get(row)
        if prefix == "Loopback/" and poll and floor and not poll.get("error_occurred") and \
                not floor.get("error_occurred"):
            print("%-34s %9.2fx %s" % ("  polls", poll["polls_per_s"] / floor["polls_per_s"], what))
PY
