#!/usr/bin/env python3
"""Fails when a library includes a header of a library above it.

The layers (docs/architecture.md), each allowed to include its own folder
and the ones listed:

    base                          nothing
    data, gx, script              base
    expr, sdf, lats               base, data
    plot                          base, data, expr, gx, lats
    cmd                           every library
    main                          every library and cmd

Checked are the #include "folder/name.h" lines of src/<folder> and of its
unit tests in tests/<folder> (a test binary links only its own layer and
those below it).  Usage: check_layers.py [repository root]
"""
import os
import re
import sys

BELOW = {
    "base": set(),
    "data": {"base"},
    "gx": {"base"},
    "script": {"base"},
    "expr": {"base", "data"},
    "sdf": {"base", "data"},
    "lats": {"base", "data"},
    "plot": {"base", "data", "expr", "gx", "lats"},
    "cmd": {"base", "data", "expr", "gx", "lats", "plot", "script", "sdf"},
    "main": {"base", "data", "expr", "gx", "lats", "plot", "script", "sdf", "cmd"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([a-z0-9_]+)/[^"]+"')


def check(root):
    bad = []
    for top in ("src", "tests"):
        for folder, allowed in BELOW.items():
            d = os.path.join(root, top, folder)
            if not os.path.isdir(d):
                continue
            for dirpath, _, files in os.walk(d):
                for f in sorted(files):
                    if not f.endswith((".cpp", ".h", ".c")):
                        continue
                    path = os.path.join(dirpath, f)
                    with open(path, encoding="utf-8", errors="replace") as fh:
                        for n, line in enumerate(fh, 1):
                            m = INCLUDE.match(line)
                            if not m:
                                continue
                            inc = m.group(1)
                            if inc == folder or inc not in BELOW:
                                continue
                            if inc not in allowed:
                                rel = os.path.relpath(path, root)
                                bad.append(f"{rel}:{n}: {folder} includes {inc}/ (a higher layer): {line.strip()}")
    return bad


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    bad = check(root)
    for b in bad:
        print(b)
    if bad:
        print(f"{len(bad)} include(s) cross the layers upward; see docs/architecture.md.")
        return 1
    print("Layers: no library includes a header of a higher one.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
