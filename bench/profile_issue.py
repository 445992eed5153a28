#!/usr/bin/env python3
"""Counts where an issue's processor time goes, on either side of the issue benchmarks.

    python3 bench/profile_issue.py [--build DIR] [--pages N] [--side ours|qt] [--out DIR]

Runs one side of the Issue-NxA4-PDF rows under valgrind's callgrind, which counts instructions
the same way however busy the machine is: "ours" is the real TesselServer in a machine folder of
its own, given the set-up, the N page frames and the run over loopback as the benchmark gives
them; "qt" is `tessel-bench-qt issue`, Qt alone writing the same PDF. Both issue the same length
once first, not counted, so the counted issue starts from a warm heap as in the benchmark's
rounds. The counts of the counted issue alone go to OUT/callgrind.out.<side>-<N>; the script
prints the total and the functions that take the most, inclusive. Read a file further with
callgrind_annotate --inclusive=yes FILE.
"""
import argparse
import base64
import os
import pathlib
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

TOP = pathlib.Path(__file__).resolve().parent.parent
HEAD = "SMATM00120200302090503007XC"


def frame(code, body=""):
    text = HEAD + code + body
    return ("%08d" % (8 + len(text)) + text).encode("cp949")


def reply(sock):
    data = b""
    while True:
        if len(data) >= 8:
            want = int(data[:8])
            text = data.decode("cp949", errors="replace")
            if len(text) >= want:
                return text[:want]
        more = sock.recv(1 << 16)
        if not more:
            raise SystemExit("the server closed the connection")
        data += more


def ask(sock, request, expected):
    sock.sendall(request)
    answer = reply(sock)
    if answer[35:41] != expected:
        raise SystemExit("unexpected reply %r" % answer[:80])


def callgrind(out_file):
    return ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + str(out_file),
            "--instr-atstart=no"]


def control(pid, *args):
    subprocess.run(["callgrind_control", *args, str(pid)], check=True, stdout=subprocess.DEVNULL)


def ours(args, pages, work, out_file):
    bin_dir = args.build / "bin"
    env = dict(os.environ, TESSEL_MACHINE=str(work / "machine"), QT_QPA_PLATFORM="offscreen")
    for library in ("libCiphra.so", "libVistrel.so"):
        subprocess.run([str(bin_dir / "regsvr"), str(bin_dir / library)], env=env, check=True,
                       stdout=subprocess.DEVNULL)
    ini = work / "server.ini"
    ini.write_bytes(b"[SYSTEM]\r\nLocalIP=127.0.0.1\r\n")
    port_file = work / "server.port"
    log = open(work / "server.err", "wb")
    server = subprocess.Popen(callgrind(out_file) + [str(bin_dir / "TesselServer"), "--ini",
                                                     str(ini), "--port-file", str(port_file)],
                              env=env, stdout=log, stderr=log)
    try:
        deadline = time.monotonic() + 300
        while not (port_file.exists() and port_file.read_text().strip()):
            if server.poll() is not None or time.monotonic() > deadline:
                raise SystemExit("the server did not start; see " + str(work / "server.err"))
            time.sleep(0.2)
        port = int(port_file.read_text())
        sock = socket.create_connection(("127.0.0.1", port))
        sock.settimeout(1200)
        page_frames = [frame("CE01", "%04d," % (k + 1) + base64.b64encode(
            pages[k % len(pages)]).decode("ascii")) for k in range(args.pages)]
        setup = frame("CE00", '{"pages":%d,"usedefaultprinter":"1"}' % args.pages)

        def issue():
            ask(sock, setup, "CE0000")
            for page in page_frames:
                ask(sock, page, "CE0100")
            ask(sock, frame("CE02"), "CE0200")

        issue()
        control(server.pid, "--instr=on")
        issue()
        control(server.pid, "--instr=off")
        control(server.pid, "--dump")
        sock.close()
    finally:
        server.send_signal(signal.SIGTERM)
        try:
            server.wait(60)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()


def qt(args, files, work, out_file):
    helper = subprocess.Popen(callgrind(out_file) + [str(args.build / "bin" / "tessel-bench-qt"),
                                                     "issue", *map(str, files)],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                              env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    try:
        if helper.stdout.readline().strip() != "ready":
            raise SystemExit("tessel-bench-qt did not start")

        def issue():
            helper.stdin.write("%d %s\n" % (args.pages, work / "issue.pdf"))
            helper.stdin.flush()
            if helper.stdout.readline().strip() != "ok":
                raise SystemExit("Qt could not write the PDF")

        issue()
        control(helper.pid, "--instr=on")
        issue()
        control(helper.pid, "--instr=off")
        control(helper.pid, "--dump")
    finally:
        helper.stdin.close()
        helper.wait(120)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=TOP / "build-release")
    parser.add_argument("--pages", type=int, default=1)
    parser.add_argument("--side", choices=("ours", "qt"), default="ours")
    parser.add_argument("--out", type=pathlib.Path, default=pathlib.Path("."))
    parser.add_argument("--top", type=int, default=40, help="functions to print")
    args = parser.parse_args()
    for tool in ("valgrind", "callgrind_control", "callgrind_annotate"):
        if not shutil.which(tool):
            raise SystemExit(tool + " is not installed (the valgrind package)")
    args.out.mkdir(parents=True, exist_ok=True)
    out_file = (args.out / ("callgrind.out.%s-%d" % (args.side, args.pages))).resolve()
    with tempfile.TemporaryDirectory(prefix="tessel-profile-") as tmp:
        work = pathlib.Path(tmp)
        subprocess.run([str(args.build / "bin" / "tessel-bench-qt"), "pages", str(work)],
                       check=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        files = sorted(work.glob("page*.*"), key=lambda p: int(p.stem[4:]))
        if args.side == "ours":
            ours(args, [f.read_bytes() for f in files], work, out_file)
        else:
            qt(args, files, work, out_file)
    # callgrind_control --dump writes the given file's name with a counter (".1"); the program's
    # end writes the name itself, with nothing counted since.
    dumps = sorted(out_file.parent.glob(out_file.name + ".*"), key=lambda p: p.stat().st_mtime)
    if not dumps:
        raise SystemExit("callgrind wrote no counts")
    for extra in dumps[:-1]:
        extra.unlink()
    dumps[-1].replace(out_file)
    annotated = subprocess.run(["callgrind_annotate", "--inclusive=yes", str(out_file)],
                               capture_output=True, text=True, check=True).stdout.splitlines()
    for line in annotated[:args.top + 20]:
        print(line[:160])
    print("\nthe counts: " + str(out_file))


if __name__ == "__main__":
    sys.exit(main())
