#!/usr/bin/env python3
"""Virtual servers: building them from configuration text and writing them as JSON, YAML and TOML,
against general-purpose Python writers applied to the same values as dictionaries.

    PYTHONPATH=<build>/src python3 bench/bench_virtual.py [--config FILE] [--megabytes 8]

Without --config, a listing is generated with the shared gen_config.py (or the script given by
--generator) into /tmp. The dictionaries (`v.to_dict()`) are built before any clock
starts. Writers that are not installed for the running interpreter are reported as absent.
"""
import argparse
import json
import sys

import quilvarn
from quilvarn import Virtual

from common import best as best_of
from common import DEBIAN_PACKAGES, generator_path, listing, object_texts, optional_import


def load_config(args):
    path = args.config or listing(args.megabytes, generator=args.generator)
    with open(path, encoding="utf-8") as f:
        return f.read(), path


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--config", help="a configuration listing to read")
    parser.add_argument("--megabytes", type=int, default=8, help="size of a generated listing")
    parser.add_argument("--generator", default=str(generator_path()))
    parser.add_argument("--repeat", type=int, default=5, help="runs per measurement; the best counts")
    args = parser.parse_args()

    config, path = load_config(args)
    texts = object_texts(config, "ltm virtual ")
    print(f"interpreter: {sys.executable} (Python {sys.version.split()[0]})")
    print(f"module: {quilvarn.__file__}")
    print(f"listing: {path}, {len(config) / 1e6:.1f} MB, {len(texts)} virtual servers")

    build = best_of(args.repeat, lambda: [Virtual(t) for t in texts])
    print(f"\nVirtual(text): {build * 1e6 / len(texts):.2f} us per object, "
          f"{sum(map(len, texts)) / build / 1e6:.0f} MB/s of object text")

    servers = [Virtual(t) for t in texts]
    dicts = [v.to_dict() for v in servers]
    dict_time = best_of(args.repeat, lambda: [v.to_dict() for v in servers])
    print(f"to_dict: {dict_time * 1e6 / len(servers):.2f} us per object")

    yaml = optional_import("yaml")
    tomli_w = optional_import("tomli_w", DEBIAN_PACKAGES)
    orjson = optional_import("orjson")
    comparisons = [
        ("to_json", Virtual.to_json, [
            ("json.dumps", json.dumps, 2.0),
            ("orjson.dumps", orjson.dumps if orjson else None, None),
        ]),
        ("to_yaml", Virtual.to_yaml, [
            ("yaml.dump(CDumper)",
             (lambda d: yaml.dump(d, Dumper=yaml.CDumper)) if yaml and hasattr(yaml, "CDumper") else None, 5.0),
        ]),
        ("to_toml", Virtual.to_toml, [
            ("tomli_w.dumps", tomli_w.dumps if tomli_w else None, 10.0),
        ]),
    ]
    print(f"\n{'writer':<20}{'us/object':>12}{'vs ours':>10}  target")
    failed = False
    for name, ours, others in comparisons:
        mine = best_of(args.repeat, lambda: [ours(v) for v in servers])
        print(f"{name:<20}{mine * 1e6 / len(servers):>12.2f}")
        for other_name, other, target in others:
            if other is None:
                print(f"  {other_name:<18}{'absent':>12}")
                continue
            theirs = best_of(args.repeat, lambda: [other(d) for d in dicts])
            ratio = theirs / mine
            verdict = ""
            if target is not None:
                verdict = f"  >= {target:g}x: {'met' if ratio >= target else 'NOT met'}"
                failed |= ratio < target
            print(f"  {other_name:<18}{theirs * 1e6 / len(dicts):>12.2f}{ratio:>9.1f}x{verdict}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
