#!/usr/bin/env python3
"""Runs every GoogleTest program of a build once as a whole, its tests in a random order.

ctest runs each test case in a process of its own, so a case that only passes when another one
did not run before it in the same process goes unseen there. This runs each program that ctest
knows (found with `ctest --show-only=json-v1` in the build folder) with --gtest_shuffle, in the
working folder and environment ctest gives its cases, several programs at a time. The random
seed of each run is printed, so a failing order can be repeated with
`--gtest_shuffle --gtest_random_seed=SEED`. Exits 1 when any program fails.

usage: shuffle-tests.py BUILD_FOLDER [JOBS]
"""
import concurrent.futures
import json
import os
import random
import subprocess
import sys
import time

PROGRAM_TIMEOUT = 1200  # seconds for one whole program


def programs(build):
    listing = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                             capture_output=True, text=True).stdout
    found = {}
    for test in json.loads(listing)["tests"]:
        command = test.get("command") or []
        if not any(arg.startswith("--gtest_filter=") for arg in command[1:]):
            continue  # not a GoogleTest case
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        found.setdefault(command[0], (properties.get("WORKING_DIRECTORY", build),
                                      properties.get("ENVIRONMENT", [])))
    return found


def run(program, folder, environment):
    env = dict(os.environ)
    for entry in environment:
        name, _, value = entry.partition("=")
        env[name] = value
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    seed = random.randint(1, 99999)
    command = [program, "--gtest_shuffle", f"--gtest_random_seed={seed}"]
    started = time.monotonic()
    try:
        done = subprocess.run(command, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, errors="replace",
                              timeout=PROGRAM_TIMEOUT)
        code, output = done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired as e:
        code = "timeout"
        output = (e.stdout or b"").decode(errors="replace") if isinstance(e.stdout, bytes) \
            else (e.stdout or "")
    return program, seed, code, output, time.monotonic() - started


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    jobs = int(sys.argv[2]) if len(sys.argv) > 2 else os.cpu_count() or 1
    found = programs(build)
    if not found:
        sys.exit("shuffle-tests: ctest lists no GoogleTest program in " + build)
    failed = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        runs = [pool.submit(run, p, *found[p]) for p in sorted(found)]
        for future in concurrent.futures.as_completed(runs):
            program, seed, code, output, seconds = future.result()
            name = os.path.basename(program)
            if code == 0:
                print(f"shuffled {name} (seed {seed}): passed in {seconds:.1f} s", flush=True)
                continue
            failed.append(name)
            print(f"shuffled {name} (seed {seed}): FAILED ({code})", flush=True)
            print(output[-20000:], flush=True)
    passed = len(found) - len(failed)
    if failed:
        print("Programs that failed with their tests shuffled: " + " ".join(sorted(failed)))
    print(f"shuffle: {passed} passed, {len(failed)} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
