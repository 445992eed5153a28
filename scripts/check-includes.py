#!/usr/bin/env python3
"""Checks the shape of the tree's includes.

Every quoted include names a header by its path from the top of the tree. From those paths:
  1. the folders form no loop: no folder includes, directly or through others, a header of a
     folder that includes one of its own;
  2. each layer stands on the ones below: platform/ includes only platform/, lib/ only
     platform/ and lib/;
  3. no deliverable includes another deliverable's private headers: what deliverables share
     lives in platform/, lib/ or a library folder of its own (strings/, printers/), or is one
     of the few headers a deliverable publishes (PUBLISHED below, each with its reason).
The tests, benchmarks and fuzz targets of the whole tree (tests/, bench/, fuzz/) may include
any header: they drive the deliverables from outside.

Usage: check-includes.py [TOP]; exits 1 and names every fault when there is one.
"""
import os
import re
import sys

SOURCES = (".h", ".hpp", ".c", ".cc", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')

# Folders that are deliverables (or a deliverable's tool set); a header of one is private to it.
DELIVERABLES = [
    "ciphers-native", "ciphers", "viewer", "controls/panelet", "controls/postwick", "server",
    "privileged", "elevation", "watchdog", "gridcode", "tools",
]
# Libraries of their own, which any deliverable may link and include.
SHARED = ["platform", "lib", "strings", "printers"]
# Drivers from outside, which may include anything.
OUTSIDE = ["tests", "bench", "fuzz"]

# Headers a deliverable publishes for another one, and why.
PUBLISHED = {
    # The parameter coding and the message key that the server writes and the viewer reads:
    # classes the cipher library builds in for both.
    "ciphers/dbcodec.h": "the parameter coding, built into the server and the viewer",
    "ciphers/messagekey.h": "the message key, built into the server and the viewer",
    "ciphers-native/codings.h": "MD5 and the hexadecimal and URL codings, built into the server",
    "viewer/selection/vplist.h": "the virtual printer list file, which the list tool writes",
}


def owner(folder):
    for top in sorted(DELIVERABLES + SHARED + OUTSIDE, key=len, reverse=True):
        if folder == top or folder.startswith(top + "/"):
            return top
    return folder.split("/")[0]


def sources(top):
    for folder, subfolders, files in os.walk(top):
        subfolders[:] = sorted(d for d in subfolders
                               if not d.startswith((".", "build")) and d != "node_modules")
        for name in sorted(files):
            if name.endswith(SOURCES):
                path = os.path.relpath(os.path.join(folder, name), top)
                yield path


def includes(top, path):
    with open(os.path.join(top, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m and os.path.isfile(os.path.join(top, m.group(1))):
                yield number, m.group(1)


def find_loops(edges):
    """Each loop of the folder graph once, as a list of folders (Tarjan's components)."""
    index, low, stack, on_stack, loops = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(edges.get(node, ())):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                n = stack.pop()
                on_stack.discard(n)
                component.append(n)
                if n == node:
                    break
            if len(component) > 1:
                loops.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(edges):
        if node not in index:
            visit(node)
    return loops


def main():
    top = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), ".."))
    edges = {}     # folder -> folders it includes from
    witness = {}   # (folder, folder) -> first include that makes the edge
    faults = []
    for path in sources(top):
        here = os.path.dirname(path)
        mine = owner(here)
        for number, header in includes(top, path):
            there = os.path.dirname(header)
            if there != here:
                edges.setdefault(here, set()).add(there)
                witness.setdefault((here, there), f"{path}:{number} includes {header}")
            theirs = owner(there)
            where = f"{path}:{number}: {header}"
            if mine == "platform" and theirs != "platform":
                faults.append(f"{where}: the platform layer includes from above it")
            elif mine == "lib" and theirs not in ("platform", "lib"):
                faults.append(f"{where}: a shared library includes from a deliverable")
            elif (mine in DELIVERABLES and theirs in DELIVERABLES and mine != theirs
                  and header not in PUBLISHED):
                faults.append(f"{where}: {mine}/ includes a private header of {theirs}/")
    for loop in find_loops(edges):
        steps = [witness[(a, b)] for a in loop for b in loop if (a, b) in witness]
        faults.append("folders in a loop: " + ", ".join(loop) + "\n    " + "\n    ".join(steps))
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include fault(s)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
