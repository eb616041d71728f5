#!/usr/bin/env python3
"""Pools of a large generated listing: reading the text, writing JSON and reading it back.

Usage: PYTHONPATH=<release build>/src python3 bench/bench_pool.py [--listing FILE] [--megabytes N]
                                                                  [--repeat R]

Without --listing, the listing is generated first with the shared generator
(gen_config.py --megabytes N, 8 by default) into /tmp. Every "ltm pool" object of the
listing is cut out as its own text; then, over all of them, each figure is the best of R runs:

  Pool(text)          parse and convert one pool object
  Pool.to_json        write each pool as compact JSON
  Pool.from_json      read those JSON texts back into pools
  json.loads          the standard library reading the same JSON texts into dicts
  orjson.loads        the same with orjson, when it is installed
  json.dumps          the standard library writing the already built dicts

and prints the total in milliseconds, the cost per pool in microseconds and the speed of
Pool.from_json relative to json.loads and orjson.loads.
"""
import argparse
import json
import pathlib
import sys

from quilvarn import Pool

from common import best, generator_path, listing, object_texts, optional_import

orjson = optional_import("orjson")


def listing_text(args):
    path = args.listing or listing(args.megabytes, generator=args.generator)
    return pathlib.Path(path).read_text()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--listing", help="a configuration listing to read (default: generate one)")
    parser.add_argument("--megabytes", type=int, default=8, help="size of the generated listing")
    parser.add_argument("--generator", default=str(generator_path()), help="the listing generator")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    text = listing_text(args)
    pool_texts = object_texts(text, "ltm pool ")
    pools = [Pool(t) for t in pool_texts]
    json_texts = [p.to_json() for p in pools]
    dicts = [json.loads(t) for t in json_texts]
    members = sum(len(d.get("members", ())) for d in dicts)
    assert all(Pool.from_json(t).to_json() == t for t in json_texts)

    runs = [
        ("Pool(text)", lambda: [Pool(t) for t in pool_texts]),
        ("Pool.to_json", lambda: [p.to_json() for p in pools]),
        ("Pool.from_json", lambda: [Pool.from_json(t) for t in json_texts]),
        ("json.loads", lambda: [json.loads(t) for t in json_texts]),
        ("orjson.loads", (lambda: [orjson.loads(t) for t in json_texts]) if orjson else None),
        ("json.dumps", lambda: [json.dumps(d) for d in dicts]),
    ]
    print(f"listing: {len(text) / 1e6:.1f} MB, {len(pools)} pools, {members} members, "
          f"{sum(map(len, json_texts)) / 1e6:.1f} MB of JSON; best of {args.repeat}; "
          f"Python {sys.version.split()[0]}")
    figures = {}
    for name, run in runs:
        if run is None:
            print(f"{name:16s} absent (orjson is not installed for this interpreter)")
            continue
        seconds = best(args.repeat, run)
        figures[name] = seconds
        print(f"{name:16s} {seconds * 1e3:9.1f} ms {seconds / len(pools) * 1e6:8.2f} us/pool")
    for other in ("json.loads", "orjson.loads"):
        if other in figures:
            print(f"Pool.from_json is {figures[other] / figures['Pool.from_json']:.2f}x as fast as {other}")


if __name__ == "__main__":
    main()
