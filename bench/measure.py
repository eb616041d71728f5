#!/usr/bin/env python3
"""The module as a whole against the tools users would pick instead, on generated listings.

    PYTHONPATH=<release build>/src python3 bench/measure.py --megabytes 8 100 [--repeat 5]
                                                            [--budget 15] [--out bench/out]

For each listing this writes its configuration once as JSON, YAML and TOML (ltm.to_json(), ...),
then runs every operation below in a fresh interpreter of its own: the inputs are built first,
then the operation is timed (the median of up to --repeat calls; calls stop early once they took
--budget seconds together), with the process's CPU time of each call (all its threads), and the
growth of peak resident memory during its first call is taken (the peak is reset just before it).
"LTM(text) one thread" runs with QUILVARN_THREADS=1; so does "LTM(text) one thread, each CPU",
pinned to each CPU the process may use in turn, the single pass that the parallel pass's CPU time
is set beside. Last, the first LTM(text) of fresh interpreters on the bundled example listing is
timed beside their steady calls. Results go to OUT/results.json and OUT/report.md; the table is
printed too.

Throughput is in MB/s of the document the operation reads or writes: the listing for LTM(text)
and the newline count (which counts in the listing's bytes, encoded before the clock starts like
every other input), the JSON, YAML or TOML document for readers, the document our writer produces
for writers and for to_dict (the JSON one). Both sides of a comparison use the same bytes, so
their MB/s compare as their speeds: json.loads beside LTM(text) counts the listing's bytes (it
reads the same objects as JSON). Memory growth is a multiple of each operation's own document
size. The report names the CPU, the count of CPUs the process may use and the load average when
the run started.
"""
import argparse
import json
import os
import pathlib
import statistics
import subprocess
import sys
import time
import types

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import common  # noqa: E402



class Inputs:
    """The inputs of one operation, built on first use (before any clock starts)."""

    def __init__(self, listing, documents):
        self.listing = pathlib.Path(listing)
        self.documents = pathlib.Path(documents)
        self._cache = {}

    def _get(self, key, build):
        if key not in self._cache:
            self._cache[key] = build()
        return self._cache[key]

    @property
    def text(self):
        return self._get("text", lambda: self.listing.read_text())

    @property
    def data(self):
        """The listing's text as UTF-8 bytes."""
        return self._get("data", lambda: self.text.encode())

    def document(self, form):
        return self._get(form, lambda: (self.documents / f"document.{form}").read_text())

    @property
    def ltm(self):
        from quilvarn import LTM
        return self._get("ltm", lambda: LTM(self.text))

    @property
    def tree(self):
        return self._get("tree", lambda: self.ltm.to_dict())


def size(text):
    return len(text.encode())


def readable_attributes(obj):
    """The attribute names of an object's class that can be read (write-only ones are left out)."""
    names = [n for n, v in vars(type(obj)).items() if isinstance(v, types.GetSetDescriptorType)]
    readable = []
    for name in names:
        try:
            getattr(obj, name)
        except AttributeError:
            continue
        readable.append(name)
    return readable


def access(objects):
    """Reading every readable attribute of every object; returns (run, the number of objects)."""
    names = readable_attributes(objects[0])

    def run():
        for obj in objects:
            for name in names:
                getattr(obj, name)
    return run, len(objects)


def then_container(tree):
    """The tree, once one more container has been made (the point where the cyclic collector runs
    a collection that is due)."""
    return tree, []


def yaml_module():
    yaml = common.optional_import("yaml")
    return yaml if yaml is not None and hasattr(yaml, "CSafeLoader") else None


# Each operation: its name -> (the module it needs or None, a builder taking Inputs and giving
# (the callable to time, the bytes its throughput counts, or the number of objects for access)).
def operations():
    from quilvarn import LTM
    orjson = common.optional_import("orjson")
    yaml = yaml_module()
    tomllib = common.optional_import("tomllib")
    tomli_w = common.optional_import("tomli_w", common.DEBIAN_PACKAGES)  # Debian's, for this import only
    return {
        # reading
        "LTM(text)": (LTM, lambda i: ((lambda t=i.text: LTM(t)), size(i.text))),
        "LTM(text) one thread": (LTM, lambda i: ((lambda t=i.text: LTM(t)), size(i.text))),
        "LTM(text) one thread, each CPU": (LTM, lambda i: ((lambda t=i.text: LTM(t)), size(i.text))),
        "newline count": (LTM, lambda i: ((lambda d=i.data: d.count(b"\n")), len(i.data))),
        "json.loads": (json, lambda i: ((lambda d=i.document("json"): json.loads(d)), size(i.document("json")))),
        "LTM.from_json": (LTM, lambda i: ((lambda d=i.document("json"): LTM.from_json(d)),
                                          size(i.document("json")))),
        "orjson.loads": (orjson, lambda i: ((lambda d=i.document("json"): orjson.loads(d)),
                                            size(i.document("json")))),
        "LTM.from_yaml": (LTM, lambda i: ((lambda d=i.document("yaml"): LTM.from_yaml(d)),
                                          size(i.document("yaml")))),
        "yaml.load(CSafeLoader)": (yaml, lambda i: ((lambda d=i.document("yaml"): yaml.load(d, Loader=yaml.CSafeLoader)),
                                                    size(i.document("yaml")))),
        "LTM.from_toml": (LTM, lambda i: ((lambda d=i.document("toml"): LTM.from_toml(d)),
                                          size(i.document("toml")))),
        "tomllib.loads": (tomllib, lambda i: ((lambda d=i.document("toml"): tomllib.loads(d)),
                                              size(i.document("toml")))),
        # writing
        "LTM.to_json": (LTM, lambda i: (i.ltm.to_json, size(i.document("json")))),
        "orjson.dumps": (orjson, lambda i: ((lambda t=i.tree: orjson.dumps(t)), size(i.document("json")))),
        "json.dumps": (json, lambda i: ((lambda t=i.tree: json.dumps(t)), size(i.document("json")))),
        "LTM.to_yaml": (LTM, lambda i: (i.ltm.to_yaml, size(i.document("yaml")))),
        "yaml.dump(CDumper)": (yaml, lambda i: ((lambda t=i.tree: yaml.dump(t, Dumper=yaml.CDumper, sort_keys=False)),
                                                size(i.document("yaml")))),
        "LTM.to_toml": (LTM, lambda i: (i.ltm.to_toml, size(i.document("toml")))),
        "tomli_w.dumps": (tomli_w, lambda i: ((lambda t=i.tree: tomli_w.dumps(t)), size(i.document("toml")))),
        # Trees of objects: each call is timed up to the next container made after it, which pays
        # any collection the call left for later (to_dict holds the collector off while it builds).
        "LTM.to_dict": (LTM, lambda i: ((lambda x=i.ltm: then_container(x.to_dict())), size(i.document("json")))),
        "orjson.loads(to_json())": (orjson, lambda i: ((lambda x=i.ltm: then_container(orjson.loads(x.to_json()))),
                                                       size(i.document("json")))),
        "orjson.loads (for to_dict)": (orjson, lambda i: ((lambda d=i.document("json"): then_container(orjson.loads(d))),
                                                          size(i.document("json")))),
        # access, per object
        "Virtual attributes": (LTM, lambda i: access(i.ltm.virtual_servers)),
        "Pool attributes": (LTM, lambda i: access(i.ltm.pools)),
    }


ACCESS = ("Virtual attributes", "Pool attributes")
# The environment of an operation's interpreter, where it is not the caller's.
ENVIRONMENT = {"LTM(text) one thread": {"QUILVARN_THREADS": "1"},
               "LTM(text) one thread, each CPU": {"QUILVARN_THREADS": "1"}}
# Operations run on each CPU of the process in turn (see on_each_cpu).
ON_EACH_CPU = ("LTM(text) one thread, each CPU",)

# (ours, anchor, factor): ours must take at most 1/factor of the anchor's time.
COMPARISONS = [
    ("LTM(text)", "newline count", 0.1),
    ("LTM(text) one thread", "newline count", 1 / 4.5),
    ("LTM(text)", "LTM(text) one thread", None),  # the threads' speed-up over the single pass
    ("LTM(text)", "json.loads", 2.0),
    ("LTM.from_json", "orjson.loads", 1.0),
    ("LTM.from_json", "json.loads", None),
    ("LTM.from_yaml", "yaml.load(CSafeLoader)", 3.0),
    ("LTM.from_toml", "tomllib.loads", 10.0),
    ("LTM.to_json", "orjson.dumps", 1.0),
    ("LTM.to_json", "json.dumps", None),
    ("LTM.to_yaml", "yaml.dump(CDumper)", 5.0),
    ("LTM.to_toml", "tomli_w.dumps", 10.0),
    ("LTM.to_dict", "orjson.loads(to_json())", 1.5),
    ("LTM.to_dict", "orjson.loads (for to_dict)", 1.0),
]
# (operation, MB/s it must reach, the smallest listing in MB the target is set for)
SPEEDS = [("LTM(text)", 500.0, 0), ("LTM(text) one thread", 1000.0, 0), ("LTM(text)", 3000.0, 50)]
LTM_MEMORY = 1.2
# The CPU time per byte of the parallel LTM(text) over the single pass's, at most. The parallel
# pass runs on all the CPUs the process may use, and on a virtual machine they need not be equally
# fast (on the one these figures come from, half of them take a third longer for the same single
# pass), so the single pass it is set beside is the mean over those CPUs: the "each CPU" row.
LTM_CPU = 1.15


def measure_in_process(name, inputs, repeat, budget):
    """Measures one operation in this process (one of ON_EACH_CPU on each CPU in turn); returns its
    figures as a dict."""
    module, build = operations()[name]
    if module is None:
        return {"name": name, "absent": True}
    run, amount = build(inputs)
    if name in ON_EACH_CPU:
        return {"name": name, "amount": amount, **on_each_cpu(run, repeat)}
    seconds = {}

    def first():
        start, cpu = time.perf_counter(), time.process_time()
        result = run()
        seconds["first"] = time.perf_counter() - start
        seconds["cpu"] = time.process_time() - cpu
        return result
    result, growth = common.peak_growth(first)
    del result
    times, cpu = [seconds["first"]], [seconds["cpu"]]
    if repeat > 1 and (budget is None or times[0] < budget):
        times += common.timings(repeat - 1, run, None if budget is None else budget - times[0], cpu=cpu)
    return {"name": name, "amount": amount, "growth": growth, "times": times,
            "median": statistics.median(times), "cpu": statistics.median(cpu)}


def on_each_cpu(run, repeat):
    """The figures of `run()` on each CPU this process may use, in turn: one call to warm up (its
    memory growth taken), then max(1, repeat // 2) calls pinned to each CPU. The "cpu" figure is the
    mean over the CPUs of each CPU's median CPU time per call, the times are every pinned call's;
    the affinity is restored."""
    cpus = sorted(os.sched_getaffinity(0))
    result, growth = common.peak_growth(run)
    del result
    times, per_cpu = [], {}
    try:
        for cpu in cpus:
            os.sched_setaffinity(0, {cpu})
            cpu_times = []
            times += common.timings(max(1, repeat // 2), run, cpu=cpu_times)
            per_cpu[cpu] = statistics.median(cpu_times)
    finally:
        os.sched_setaffinity(0, cpus)
    return {"growth": growth, "times": times, "median": statistics.median(times),
            "cpu": statistics.mean(per_cpu.values()), "cpu_by_cpu": per_cpu}


# The first LTM(text) of a process on a small listing: its time beyond the steady state's, at most.
FIRST_CALL_EXTRA_US = 50.0
FIRST_CALL_CODE = """
import statistics, sys, time
text = open(sys.argv[1]).read()
start = time.perf_counter()
from quilvarn import LTM
imported = time.perf_counter()
LTM(text)
first = time.perf_counter()
steady = []
for _ in range(200):
    begin = time.perf_counter()
    LTM(text)
    steady.append(time.perf_counter() - begin)
print(imported - start, first - imported, statistics.median(steady))
"""


def first_call(python, listing, processes):
    """The first LTM(text) of fresh interpreters on a small listing: the medians over `processes`
    interpreters of the import, the first call and the steady call, in seconds."""
    runs = [[float(x) for x in subprocess.run([python, "-c", FIRST_CALL_CODE, str(listing)], check=True,
                                               capture_output=True, text=True).stdout.split()]
            for _ in range(processes)]
    imported, first, steady = (statistics.median(column) for column in zip(*runs))
    return {"listing": listing.name, "bytes": listing.stat().st_size, "processes": processes,
            "import": imported, "first": first, "steady": steady}


def first_call_table(row):
    extra = (row["first"] - row["steady"]) * 1e6
    return [f"### The first `LTM(text)` of a process ({row['listing']}, {row['bytes']:,} bytes; "
            f"medians of {row['processes']} interpreters)", "",
            "| Import | First call | Steady call | First call beyond the steady | Target | Met |",
            "|---:|---:|---:|---:|---|---|",
            f"| {row['import'] * 1e3:.1f} ms | {row['first'] * 1e6:.0f} us | {row['steady'] * 1e6:.0f} us | "
            f"{extra:.0f} us | <= {FIRST_CALL_EXTRA_US:.0f} us | {'met' if extra <= FIRST_CALL_EXTRA_US else 'not met'} |",
            ""]


def write_documents(listing, directory, python):
    """Writes the listing's configuration as JSON, YAML and TOML (once per listing)."""
    directory.mkdir(parents=True, exist_ok=True)
    stamp = directory / "done"
    if stamp.exists() and stamp.stat().st_mtime >= listing.stat().st_mtime:
        return
    code = ("import pathlib, sys\nfrom quilvarn import LTM\n"
            "ltm = LTM(pathlib.Path(sys.argv[1]).read_text())\n"
            "for form in ('json', 'yaml', 'toml'):\n"
            "    pathlib.Path(sys.argv[2], 'document.' + form).write_text(getattr(ltm, 'to_' + form)())\n")
    subprocess.run([python, "-c", code, str(listing), str(directory)], check=True)
    stamp.touch()


def machine():
    """The CPU's model name (from /proc/cpuinfo, None where it has none), the count of CPUs this
    process may run on and the system's load average over the last minute (the threads' speed-up
    shrinks when other jobs hold the CPUs)."""
    model = None
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.partition(":")[2].strip()
                break
    except OSError:
        pass
    return {"cpu": model, "cpus": len(os.sched_getaffinity(0)), "load": os.getloadavg()[0]}


def machine_line(results):
    cpus = results["machine"]["cpus"]
    return (f"CPU: {results['machine']['cpu'] or 'unnamed'}, {cpus} of them for this process "
            f"(`LTM(text)` runs {min(cpus, 8)} threads at most, `LTM(text) one thread` one), "
            f"load average {results['machine']['load']:.1f} at the start; Python {results['python']}.")


def speed(row):
    return row["amount"] / row["median"] / 1e6


def comparison_table(rows):
    lines = ["| Operation | Anchor | Ours | Anchor | Speed-up | Target | Met |",
             "|---|---|---:|---:|---:|---|---|"]
    ltm = rows.get("LTM(text)")
    for name, target, smallest in SPEEDS:
        row = rows.get(name)
        if row and not row.get("absent") and row["amount"] >= smallest * 1e6:
            mbs = speed(row)
            lines.append(f"| `{name}` | | {mbs:,.0f} MB/s | | | >= {target:,.0f} MB/s | "
                         f"{'met' if mbs >= target else 'not met'} |")
    for ours, anchor, factor in COMPARISONS:
        a, b = rows.get(ours), rows.get(anchor)
        if a is None or b is None:
            continue
        if b.get("absent"):
            lines.append(f"| `{ours}` | `{anchor}` | {speed(a):,.0f} MB/s | absent | | | |")
            continue
        ratio = b["median"] / a["median"]
        if factor is None:
            target, verdict = "", ""
        else:
            target = f"within {1 / factor:g}x" if factor < 1 else f">= {factor:g}x"
            verdict = "met" if ratio >= factor else "not met"
        # The anchor's figure counts our bytes: for LTM(text) beside json.loads, the listing.
        lines.append(f"| `{ours}` | `{anchor}` | {speed(a):,.0f} MB/s | {a['amount'] / b['median'] / 1e6:,.0f} MB/s | "
                     f"{ratio:.2f}x | {target} | {verdict} |")
    if ltm and not ltm.get("absent"):
        growth = ltm["growth"] / ltm["amount"]
        lines.append(f"| `LTM(text)` peak memory growth | | {growth:.2f}x the text | | | "
                     f"<= {LTM_MEMORY:g}x | {'met' if growth <= LTM_MEMORY else 'not met'} |")
        # Beside the single pass on each CPU in turn (the target), and on the CPU it was given.
        for name, target in (("LTM(text) one thread, each CPU", LTM_CPU), ("LTM(text) one thread", None)):
            single = rows.get(name)
            if not single or single.get("absent") or not single.get("cpu"):
                continue
            ratio = ltm["cpu"] / single["cpu"]
            limit, verdict = ("", "") if target is None else (f"<= {target:g}x", "met" if ratio <= target else "not met")
            lines.append(f"| `LTM(text)` CPU time per byte | `{name}` | "
                         f"{ltm['amount'] / ltm['cpu'] / 1e6:,.0f} MB/s of CPU | "
                         f"{single['amount'] / single['cpu'] / 1e6:,.0f} MB/s of CPU | {ratio:.2f}x the single pass | "
                         f"{limit} | {verdict} |")
    return lines


def detail_table(rows):
    lines = ["| Operation | Median ms | Median CPU ms | Runs | MB/s or per object | Peak memory growth |",
             "|---|---:|---:|---:|---:|---:|"]
    for name, row in rows.items():
        if row.get("absent"):
            lines.append(f"| `{name}` | absent | | | | |")
            continue
        if name in ACCESS:
            figure = f"{row['median'] / row['amount'] * 1e6:.2f} us per object ({row['amount']})"
            memory = ""
        else:
            figure = f"{speed(row):,.0f} MB/s"
            memory = f"{row['growth'] / row['amount']:.2f}x"
        lines.append(f"| `{name}` | {row['median'] * 1e3:,.1f} | {row['cpu'] * 1e3:,.1f} | {len(row['times'])} | "
                     f"{figure} | {memory} |")
    return lines


def report(results):
    lines = [machine_line(results), ""] if "machine" in results else []
    for workload in results["workloads"]:
        rows = {r["name"]: r for r in workload["rows"]}
        lines.append(f"### Listing of {workload['megabytes']:.0f} MB ({workload['summary']})")
        lines.append("")
        lines += comparison_table(rows)
        lines.append("")
        for row in rows.values():
            if row.get("cpu_by_cpu"):
                figures = ", ".join(f"{cpu}: {seconds * 1e3:,.1f}" for cpu, seconds in row["cpu_by_cpu"].items())
                lines += [f"`{row['name']}`, median CPU ms of a call on each CPU: {figures}.", ""]
        lines += detail_table(rows)
        lines.append("")
    if "first_call" in results:
        lines += first_call_table(results["first_call"])
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--megabytes", type=int, nargs="+", default=[8, 100])
    parser.add_argument("--repeat", type=int, default=5, help="calls per operation; the median counts")
    parser.add_argument("--budget", type=float, default=15.0,
                        help="seconds per operation after which no further calls are made")
    parser.add_argument("--out", default=str(common.REPO / "bench" / "out"))
    parser.add_argument("--work", default="/tmp/quilvarn-bench", help="where listings and documents go")
    parser.add_argument("--one", nargs=3, metavar=("NAME", "LISTING", "DOCUMENTS"), help=argparse.SUPPRESS)
    args = parser.parse_args()

    if args.one:  # a single operation, in the fresh interpreter the main run started
        name, listing, documents = args.one
        row = measure_in_process(name, Inputs(listing, documents), args.repeat, args.budget)
        print(json.dumps(row))
        return 0

    import quilvarn
    out, work = pathlib.Path(args.out), pathlib.Path(args.work)
    out.mkdir(parents=True, exist_ok=True)
    work.mkdir(parents=True, exist_ok=True)
    results = {"python": sys.version.split()[0], "executable": sys.executable,
               "module": quilvarn.__file__, "machine": machine(), "repeat": args.repeat, "budget": args.budget,
               "workloads": []}
    print(f"Python {results['python']} at {sys.executable}; module {quilvarn.__file__}", file=sys.stderr)
    for megabytes in args.megabytes:
        listing = common.listing(megabytes, work)
        documents = work / f"documents_{megabytes}mb"
        write_documents(listing, documents, sys.executable)
        summary = str(quilvarn.LTM(listing.read_text()))
        workload = {"megabytes": listing.stat().st_size / 1e6, "bytes": listing.stat().st_size,
                    "summary": summary, "rows": []}
        for name in operations():
            done = subprocess.run([sys.executable, __file__, "--repeat", str(args.repeat), "--budget",
                                   str(args.budget), "--one", name, str(listing), str(documents)],
                                  check=True, capture_output=True, text=True,
                                  env={**os.environ, **ENVIRONMENT.get(name, {})})
            row = json.loads(done.stdout)
            workload["rows"].append(row)
            figure = "absent" if row.get("absent") else f"{row['median'] * 1e3:,.1f} ms"
            print(f"  {megabytes} MB  {name:<26} {figure}", file=sys.stderr)
        results["workloads"].append(workload)
    results["first_call"] = first_call(sys.executable, common.REPO / "examples" / "listing.conf", 21)
    (out / "results.json").write_text(json.dumps(results, indent=1))
    table = report(results)
    (out / "report.md").write_text(table + "\n")
    print(table)
    return 0


if __name__ == "__main__":
    sys.exit(main())
