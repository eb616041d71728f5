#!/usr/bin/env python3
"""The records' arena across calls: repeated LTM(text) of one listing, then small texts.

Usage: PYTHONPATH=<module dir> python3 bench/bench_arena.py [--megabytes 100] [--calls 20]
                                                             [--small 200] [--listing FILE]

One process reads the listing (generated with the shared generator, gen_config.py --megabytes N,
into /tmp, unless given with --listing) `--calls` times in a row, each result dropped before the
next call, as a service that reads the same large listing again and again does; then drops it and
reads `--small` small listings. It prints the median and best call and the process's resident
memory before the first call, after the last large result is dropped and after the small calls.
Run two builds of the module in alternating processes to set them side by side (bench/README.md,
"The records' arena").
"""
import argparse
import os
import pathlib
import statistics
import time

from quilvarn import LTM

from common import listing

SMALL = "ltm pool /Common/p {\n    members {\n        10.0.0.1:80 {\n            address 10.0.0.1\n        }\n    }\n}\n"


def resident_mb():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--megabytes", type=float, default=100)
    parser.add_argument("--listing", type=pathlib.Path)
    parser.add_argument("--calls", type=int, default=20)
    parser.add_argument("--small", type=int, default=200)
    args = parser.parse_args()
    path = args.listing or listing(args.megabytes if args.megabytes % 1 else int(args.megabytes))
    text = path.read_text()
    LTM(SMALL)
    start = resident_mb()
    times = []
    for _ in range(args.calls):
        began = time.perf_counter()
        result = LTM(text)
        times.append(time.perf_counter() - began)
        del result
    dropped = resident_mb()
    del text
    for _ in range(args.small):
        LTM(SMALL)
    after = resident_mb()
    print(f"{path.name}: LTM(text) median {statistics.median(times) * 1e3:.2f} ms, best {min(times) * 1e3:.2f} ms"
          f" of {len(times)}; resident {start:.1f} MB before (the text in it), {dropped:.1f} MB after the last"
          f" result, {after:.1f} MB after the text and {args.small} small calls")


if __name__ == "__main__":
    main()
