#!/usr/bin/env python3
"""Whole configurations: LTM(text) on large generated listings, beside JSON readers and writers.

Usage: PYTHONPATH=<release build>/src python3 bench/bench_ltm.py [--megabytes 8 100] [--repeat R]
                                                                 [--listing FILE ...]

Each listing (generated with the shared generator, gen_config.py --megabytes N, into /tmp, unless
given with --listing) is measured in one run, each figure the best of R runs:

  LTM(text)          parse the whole text and convert every object, in MB/s of text
  json.loads         the standard library reading ltm.to_json() (the same objects as JSON)
  orjson.loads       the same with orjson, when the interpreter has it
  LTM.to_json        writing the whole configuration as compact JSON
  orjson.dumps       orjson writing the already built ltm.to_dict()
  memory growth      peak resident size during LTM(text) minus the resident size just before it
                     (the text already in memory), as a multiple of the text size

It closes with the ratio of the largest listing's LTM(text) throughput to the smallest one's.
"""
import argparse
import json
import pathlib
import sys

from quilvarn import LTM

from common import best, listing, optional_import, peak_growth

orjson = optional_import("orjson")


def memory_growth(text):
    """Peak resident growth of one LTM(text), in bytes."""
    return peak_growth(lambda: LTM(text))[1]


def measure(path, repeat):
    text = path.read_text()
    size = len(text.encode())
    mb = size / 1e6
    print(f"\n{path.name}: {mb:.1f} MB")
    growth = memory_growth(text)
    t_ltm = best(repeat, lambda: LTM(text))
    ltm = LTM(text)
    print(f"  {ltm}")
    document = ltm.to_json()
    t_to_json = best(repeat, ltm.to_json)
    t_json = best(repeat, lambda: json.loads(document))
    print(f"  LTM(text)      {t_ltm * 1e3:9.1f} ms  {mb / t_ltm:8.1f} MB/s")
    print(f"  json.loads     {t_json * 1e3:9.1f} ms  (of {len(document) / 1e6:.1f} MB of JSON; "
          f"LTM(text) takes {t_ltm / t_json:.2f}x its time)")
    if orjson is not None:
        t_orjson = best(repeat, lambda: orjson.loads(document))
        print(f"  orjson.loads   {t_orjson * 1e3:9.1f} ms  (LTM(text) takes {t_ltm / t_orjson:.2f}x its time)")
    else:
        print("  orjson.loads   (orjson is not installed for this interpreter)")
    print(f"  LTM.to_json    {t_to_json * 1e3:9.1f} ms")
    if orjson is not None:
        tree = ltm.to_dict()
        t_dumps = best(repeat, lambda: orjson.dumps(tree))
        print(f"  orjson.dumps   {t_dumps * 1e3:9.1f} ms  (of ltm.to_dict(); LTM.to_json takes "
              f"{t_to_json / t_dumps:.2f}x its time)")
    else:
        print("  orjson.dumps   (orjson is not installed for this interpreter)")
    print(f"  memory growth  {growth / 1e6:9.1f} MB  = {growth / size:.2f}x the text")
    return mb / t_ltm


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--megabytes", type=int, nargs="+", default=[8, 100])
    parser.add_argument("--listing", nargs="+", default=None)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    print(f"Python {sys.version.split()[0]} at {sys.executable}")
    paths = [pathlib.Path(p) for p in args.listing] if args.listing else [listing(m) for m in args.megabytes]
    speeds = [measure(path, args.repeat) for path in paths]
    if len(speeds) > 1:
        print(f"\nthroughput of the last listing / the first: {speeds[-1] / speeds[0]:.2f}")


if __name__ == "__main__":
    main()
