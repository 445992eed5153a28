#!/usr/bin/env bash
# Builds a Release tree into build-release/ (or $TESSEL_BENCH_BUILD_DIR) and prints how the
# system's own code compares with the reference libraries, each pair measured side by side in
# one run of bench/. Every ratio is the reference's figure over ours, so above 1 means ours is
# better (faster, less processor time, less memory). Issues of 1, 10 and 30 A4 pages through the
# real server to its PDF printer are set against Qt alone doing the same, by turns, by the clock,
# processor time and peak memory. Then the server's status polls beside echo servers in three
# placements, and its peak memory per character of the largest frames. Every benchmark is
# bounded; nothing leaves the loopback interface.
#   TESSEL_BENCH_MIN_TIME  seconds per benchmark (default 0.5)
#   TESSEL_BENCH_FILTER    a regular expression choosing benchmarks (default: all)
#   CMAKE_BUILD_PARALLEL_LEVEL  jobs of the build (default: one per processor)
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

def failed(b):
    return b is None or b.get("error_occurred")

def rate(b):
    if failed(b):
        return None, (b or {}).get("error_message", "missing")
    if "bytes_per_second" in b:
        return b["bytes_per_second"], "B/s"
    if "items_per_second" in b:
        return b["items_per_second"], "op/s"
    return None, "?"

def human(v, unit):
    if unit == "B/s":
        return "%.1f MB/s" % (v / 1e6)
    return "%.3g op/s" % v

# Every ratio printed is the reference's figure over ours for a cost (time, processor time,
# memory) and ours over the reference's for a rate: above 1, ours is better.
print()
print("Each pair measured side by side; ratio = reference time / our time (above 1: ours faster)")
print("%-16s %18s %18s %8s" % ("subject", "ours", "reference", "ratio"))
print("-" * 64)
for name in runs:
    if not name.endswith("/ours") or name.startswith("Issue-"):
        continue
    s = name[: -len("/ours")]
    ours, ref = runs.get(s + "/ours"), runs.get(s + "/ref")
    if not ref:
        continue
    (a, ua), (b, ub) = rate(ours), rate(ref)
    if a is None or b is None:
        print("%-16s  failed: %s" % (s, ua if a is None else ub))
        continue
    print("%-16s %18s %18s %7.2fx" % (s, human(a, ua), human(b, ub), a / b))

issues = [n[: -len("/ours")] for n in runs if n.startswith("Issue-") and n.endswith("/ours")]
if issues:
    rounds = next((int(runs[n]["rounds"]) for n in runs
                   if n.startswith("Issue-") and "rounds" in runs[n]), 0)
    print()
    print("Issues through the real server against Qt alone, by turns (median of %d rounds each);" %
          rounds)
    print("ratio = Qt alone / ours (above 1: ours better). Wall time is the clock: the server")
    print("decodes pages ahead on idle cores, so it depends on how many are free. CPU is the")
    print("processor time of all the process's threads: the figure that holds on a busy machine.")
    print("%-16s %-13s %14s %14s %8s" % ("subject", "measure", "ours", "Qt alone", "ratio"))
    print("-" * 70)
    for s in issues:
        ours, ref = runs.get(s + "/ours"), runs.get(s + "/ref")
        if failed(ours) or failed(ref):
            why = (ours if failed(ours) else ref or {}).get("error_message", "missing")
            print("%-16s  failed: %s" % (s, why))
            continue
        label = s
        for key, what, unit in (("wall_ms", "wall time", "ms"), ("cpu_ms", "CPU", "ms"),
                                ("peak_MB", "peak memory", "MB")):
            print("%-16s %-13s %11.1f %s %11.1f %s %7.2fx" % (
                label, what, ours[key], unit, ref[key], unit, ref[key] / ours[key]))
            label = ""
        print("%-16s %-13s %11.1f MB %11.1f MB" % ("", "  at start", ours["start_MB"],
                                                   ref["start_MB"]))
        print("%-16s %-13s %14.0f %14.0f" % ("", "page faults", ours["faults"], ref["faults"]))

placements = {
    "unpinned": "left to the system (no processor chosen)",
    "shared": "the client and every server on one shared processor",
    "split": "the client on one processor, every server on another",
}
sides = (("server", "TesselServer"), ("echo-C-process", "echo in C, own process (the floor)"),
         ("echo-C-thread", "echo in C, a thread of the client"),
         ("echo-Qt-process", "echo on Qt sockets, own process"))
polls = [n for n in runs if n.startswith("Loopback/CE09-poll/")]
if polls:
    print()
    print("CE09 status polls over loopback, the real server beside echo servers, measured by turns")
    print("(median of the rounds' rates; CPU = the answering process's own processor time per poll)")
    for place, what in placements.items():
        print()
        print("Placement %s: %s" % (place, what))
        print("-" * 64)
        for side, label in sides:
            b = runs.get("Loopback/CE09-poll/%s/%s" % (place, side))
            if failed(b):
                print("  %-36s failed: %s" % (label, (b or {}).get("error_message", "missing")))
                continue
            cpu = " CPU %.1f us" % b["cpu_us_per_poll"] if "cpu_us_per_poll" in b else ""
            print("  %-36s %8.0f polls/s  p50 %5.1f us  p99 %7.1f us%s" % (
                label, b["polls_per_s"], b["p50_us"], b["p99_us"], cpu))
        server = runs.get("Loopback/CE09-poll/%s/server" % place)
        for side, label in sides[1:]:
            floor = runs.get("Loopback/CE09-poll/%s/%s" % (place, side))
            if not failed(server) and not failed(floor):
                print("  server polls / %-32s %6.2fx" % (side, server["polls_per_s"] /
                                                        floor["polls_per_s"]))

def figures(b):
    if "peak_B_per_char" in b:
        return "%6.2f B/char   peak %7.1f MB   kept after %6.1f MB" % (
            b["peak_B_per_char"], b["peak_MB"], b["kept_MB"])
    if "queues" in b:
        return "%10.0f ms per issue through the selection, %d queues" % (b["real_time"], b["queues"])
    if b["name"].startswith("Cups/"):
        return "%10.0f ms until the run is reported failed" % b["real_time"]
    return "%10.1f ms per list of ten   %.1f MB/s" % (b["real_time"], b["bytes_per_second"] / 1e6)

for prefix, title in (("Loopback/CE01", "Page list through the real server"),
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
PY
