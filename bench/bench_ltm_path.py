#!/usr/bin/env python3
"""Call cost of LtmPath against a small Python class doing the same work.

Usage: PYTHONPATH=<release build>/src python3 bench/bench_ltm_path.py [--paths N] [--repeat R]

The Python class strips Unicode White_Space on construction and matches the object-path pattern
(the same classes: Unicode decimal digits, White_Space) with the standard `re` module; its port
accessor looks service names up in a dict of the service table. Each figure is the best of R runs
over the same few thousand paths of realistic shapes, in nanoseconds per call.
"""
import argparse
import pathlib
import random
import re
import sys

import quilvarn

from common import best

WHITE_SPACE = "\t\n\x0b\x0c\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200B))) + \
    "\u2028\u2029\u202f\u205f\u3000"
PATTERN = re.compile(
    r"(?:(?:/?)(?P<partition>[^/:% ]+?)/)?(?:(?:/?)(?P<name>[^/:% ]+))(?:%(?P<rd>\d+)(?::?))?"
    r"(?::?(?:(?P<port>\d+)|(?P<svc>[^" + re.escape(WHITE_SPACE) + r"]+)))?")

SERVICES_FILE = pathlib.Path(__file__).resolve().parent.parent / "brelmark" / "data" / "services.tsv"
SERVICES = {name: int(port) for name, port in
            (line.split("\t") for line in SERVICES_FILE.read_text().splitlines() if line.strip())}


class PyLtmPath:
    __slots__ = ("path",)

    def __init__(self, path):
        self.path = path.strip(WHITE_SPACE)

    def get_name(self):
        m = PATTERN.fullmatch(self.path)
        if m is None:
            raise ValueError("Invalid object path: " + repr(self.path))
        return m.group("name")

    def get_port(self):
        m = PATTERN.fullmatch(self.path)
        if m is not None:
            port = m.group("port")
            if port is not None:
                if not port.isascii():
                    raise ValueError("invalid digit found in string")
                value = int(port)
                if value > 65535:
                    raise ValueError("number too large to fit in target type")
                return value
            svc = m.group("svc")
            if svc is not None:
                return SERVICES.get(svc, 65535)
        raise ValueError("No port found!")

    def get_full_path(self, default_partition=None):
        m = PATTERN.fullmatch(self.path)
        partition = m.group("partition") if m is not None else None
        if partition is None:
            partition = default_partition
        if partition is None:
            raise RuntimeError("Invalid partition name!")
        if m is None:
            raise ValueError("Invalid object path: " + repr(self.path))
        return "/" + partition + "/" + m.group("name")


def outcome(call):
    try:
        return call()
    except ValueError as e:
        return str(e)


def realistic_paths(count, seed=7):
    rng = random.Random(seed)
    partitions = ["Common", "Tenant_A", "prod-web", "dmz", "app_team_42"]
    words = ["web", "api", "app", "vs", "pool", "mail", "auth", "static", "db", "cache"]
    services = ["http", "https", "ssh", "smtp", "domain", "ldap", "imaps", "ntp"]

    def name():
        return "_".join(rng.choice(words) for _ in range(rng.randint(1, 3))) + str(rng.randint(1, 99))

    def address():
        return ".".join(str(rng.randint(1, 254)) for _ in range(4))

    shapes = [
        lambda: f"/{rng.choice(partitions)}/{name()}",
        lambda: f"/{rng.choice(partitions)}/{name()}:{rng.choice([80, 443, 8080, 8443])}",
        lambda: f"/{rng.choice(partitions)}/{address()}:{rng.randint(1, 65535)}",
        lambda: f"/{rng.choice(partitions)}/{address()}%{rng.randint(0, 20)}:{rng.randint(1, 65535)}",
        lambda: f"/{rng.choice(partitions)}/{name()}:{rng.choice(services)}",
        lambda: f"/{rng.choice(partitions)}/{name()}.app/{name()}",
        lambda: f"{name()}:{rng.choice([80, 443])}",
        lambda: f" /{rng.choice(partitions)}/{name()}:443 ",
    ]
    return [rng.choice(shapes)() for _ in range(count)]


def best_ns_per_call(loop, items, repeat):
    return best(repeat, lambda: loop(items)) * 1e9 / len(items)


def loops(cls):
    def construct(texts):
        for t in texts:
            cls(t)

    def get_name(objects):
        for o in objects:
            o.get_name()

    def get_port(objects):
        for o in objects:
            o.get_port()

    def get_full_path(objects):
        for o in objects:
            o.get_full_path("Common")

    return [("LtmPath(p)", construct, False), ("get_name()", get_name, True),
            ("get_port()", get_port, True), ("get_full_path()", get_full_path, True)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--paths", type=int, default=4000)
    parser.add_argument("--repeat", type=int, default=25)
    args = parser.parse_args()

    texts = realistic_paths(args.paths)
    ours = [quilvarn.LtmPath(t) for t in texts]
    theirs = [PyLtmPath(t) for t in texts]
    # Both give the same answers on these paths.
    for a, b in zip(ours, theirs):
        assert a.get_val() == b.path
        assert (a.get_name(), outcome(a.get_port), a.get_full_path("Common")) == \
            (b.get_name(), outcome(b.get_port), b.get_full_path("Common")), a
    # get_port is timed on the paths that have a port or a service name (most of them).
    with_port = [i for i, o in enumerate(ours) if not isinstance(outcome(o.get_port), str)]

    print(f"{args.paths} paths, best of {args.repeat} runs, ns per call")
    print(f"{'call':<18}{'LtmPath':>10}{'Python':>10}{'speed-up':>10}")
    all_met = True
    for (label, loop, on_objects), (_, py_loop, _) in zip(loops(quilvarn.LtmPath), loops(PyLtmPath)):
        if not on_objects:
            mine, other = texts, texts
        elif label == "get_port()":
            mine, other = [ours[i] for i in with_port], [theirs[i] for i in with_port]
        else:
            mine, other = ours, theirs
        native = best_ns_per_call(loop, mine, args.repeat)
        python = best_ns_per_call(py_loop, other, args.repeat)
        ratio = python / native
        all_met &= ratio >= 2.0
        print(f"{label:<18}{native:>10.0f}{python:>10.0f}{ratio:>9.1f}x")
    print("target (at least 2x for each) " + ("met" if all_met else "NOT met"))
    return 0 if all_met else 1


if __name__ == "__main__":
    sys.exit(main())
