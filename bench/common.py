"""Helpers shared by the Python benchmarks: the listing generator, timing, peak memory, optional
imports and cutting single objects out of a listing."""
import ctypes
import ctypes.util
import gc
import hashlib
import os
import pathlib
import re
import statistics
import subprocess
import sys
import time

REPO = pathlib.Path(__file__).resolve().parent.parent
# Debian's packages (tomli_w among them), for interpreters that lack a module Debian has.
DEBIAN_PACKAGES = "/usr/lib/python3/dist-packages"


def generator_path():
    """The shared listing generator: ../shared beside the clone, else /work/shared."""
    for root in (REPO.parent / "shared", pathlib.Path("/work/shared")):
        candidate = root / "bench" / "gen_config.py"
        if candidate.is_file():
            return candidate
    raise FileNotFoundError("gen_config.py not found in ../shared/bench or /work/shared/bench")


def listing(megabytes, directory="/tmp", generator=None, python=sys.executable):
    """The path of a generated listing of about `megabytes` MB, written once and reused while it is
    newer than the generator (the generator's output depends only on its arguments)."""
    generator = pathlib.Path(generator).resolve() if generator else generator_path()
    tag = hashlib.sha1(str(generator).encode()).hexdigest()[:8]
    path = pathlib.Path(directory) / f"quilvarn_listing_{megabytes}mb_{tag}.conf"
    if not path.exists() or path.stat().st_mtime < generator.stat().st_mtime:
        partial = path.with_suffix(".partial")
        with partial.open("w") as out:
            subprocess.run([python, str(generator), "--megabytes", str(megabytes)], stdout=out, check=True)
        os.replace(partial, path)
    return path


def timings(repeat, run, budget=None, cpu=None):
    """The durations in seconds of up to `repeat` calls of `run()`. With a `budget` in seconds, the
    runs stop early once their total passes it (at least one run is made). The clock stops when the
    call returns: the release of its result comes after, as it would where the result is used.
    With a list `cpu`, the process's CPU time of each call (all its threads) is appended to it."""
    times = []
    total = 0.0
    for _ in range(repeat):
        start, processor = time.perf_counter(), time.process_time()
        result = run()
        times.append(time.perf_counter() - start)
        if cpu is not None:
            cpu.append(time.process_time() - processor)
        del result
        total += times[-1]
        if budget is not None and total > budget:
            break
    return times


def best(repeat, run):
    """The fastest of `repeat` calls of `run()`, in seconds."""
    return min(timings(repeat, run))


def median(repeat, run, budget=None):
    """The median of the calls of `run()` (see `timings`), in seconds."""
    return statistics.median(timings(repeat, run, budget))


def status_kib(field):
    """A field of /proc/self/status (VmRSS, VmHWM, ...), in KiB."""
    for line in pathlib.Path("/proc/self/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    raise RuntimeError(field + " not in /proc/self/status")


def _release_free_heap():
    """Hands the allocator's free memory back to the system, so that memory freed while building
    the inputs does not hide the growth of the call measured next."""
    name = ctypes.util.find_library("c")
    if name:
        trim = getattr(ctypes.CDLL(name), "malloc_trim", None)
        if trim is not None:
            trim(0)


def peak_growth(run):
    """Calls `run()` once; returns its result and the growth of peak resident memory during the
    call in bytes (free heap memory is released and the peak reset to the resident size just
    before it)."""
    gc.collect()
    _release_free_heap()
    pathlib.Path("/proc/self/clear_refs").write_text("5")
    before = status_kib("VmRSS")
    result = run()
    return result, max(0, status_kib("VmHWM") - before) * 1024


def optional_import(name, extra_path=None):
    """The module `name`, or None when the interpreter does not have it. With `extra_path`, that
    directory is searched too, for this import only."""
    added = extra_path is not None and extra_path not in sys.path
    if added:
        sys.path.append(extra_path)
    try:
        return __import__(name)
    except ImportError:
        return None
    finally:
        if added:
            sys.path.remove(extra_path)


def object_texts(config, header):
    """The text of every object of a listing whose first line starts with `header` (such as
    "ltm pool "): objects start at column 0 and end at the first line holding only "}"."""
    return re.findall(r"^" + re.escape(header) + r".*?^\}$\n?", config, re.M | re.S)
