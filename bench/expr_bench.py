#!/usr/bin/python3
"""numpy peer of the evaluator benchmark: the same expression over the same
binary file, time by time, results written to a binary file.
Usage: expr_bench.py DATAFILE NX NY NTIMES OUTFILE UNDEF; prints seconds."""
import sys
import time

import numpy as np

start = time.perf_counter()
path, nx, ny, nt, outp, undef = sys.argv[1:7]
nx, ny, nt, undef = int(nx), int(ny), int(nt), np.float32(undef)
data = np.memmap(path, dtype=np.float32, mode="r", shape=(nt, 3, ny, nx))
with open(outp, "wb") as out:
    for t in range(nt):
        u = np.array(data[t, 0])
        v = np.array(data[t, 1])
        tt = np.array(data[t, 2])
        r = (u * u + v * v) / np.float32(2) - tt
        r[(u == undef) | (v == undef) | (tt == undef)] = undef
        r.tofile(out)
print("%.4f" % (time.perf_counter() - start))
