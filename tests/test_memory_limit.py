"""Out of memory, every reader and writer of a large listing raises MemoryError and the process
lives on: each call runs in a child process under an address-space limit that leaves it from a few
MB to enough, and the child must end normally, with the right result or MemoryError at each limit
and a right small read after each."""
import json
import os
import subprocess
import sys

import pytest

# The address sanitizer reserves terabytes of address space for its shadow memory: no limit leaves
# it room to run.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")

# 8.5: room for one more thread's stack and little else.
HEADROOMS_MB = [0, 4, 8.5, 16, 32, 64, 100, 160, 320]

CHILD = r'''
import hashlib, json, os, resource, sys
from quilvarn import LTM

def listing(count):
    return "".join(f"ltm virtual /Common/vs{i} {{\n    destination /Common/10.0.{i >> 8 & 255}.{i & 255}:80\n"
                   f"    description \"{'x' * 40}\"\n    pool /Common/p{i}\n}}\n" for i in range(count))

def digest(value):
    if isinstance(value, LTM):
        value = value.to_json()
    return hashlib.sha256((value if isinstance(value, str) else repr(value)).encode()).hexdigest()

def outcome(call):
    """What call() gives: a digest of its value, or its error."""
    try:
        return digest(call())
    except (MemoryError, ValueError) as e:
        return repr(e)

def with_headroom(headroom, call):
    """outcome(call) with `headroom` bytes to be had during the call: the limit is the present
    address space, the free memory of the heap is taken up, and the limit is raised by `headroom`;
    the value is looked at once the limit is lifted."""
    size = [int(line.split()[1]) for line in open("/proc/self/status") if line.startswith("VmSize")][0] << 10
    resource.setrlimit(resource.RLIMIT_AS, (size, resource.RLIM_INFINITY))
    ballast = []
    for block in (1 << 20, 64 << 10, 4 << 10, 256):
        try:
            while True:
                ballast.append(bytearray(block))
        except MemoryError:
            pass
    resource.setrlimit(resource.RLIMIT_AS, (size + headroom, resource.RLIM_INFINITY))
    try:
        got = call()
    except (MemoryError, ValueError) as e:
        got = e
    finally:
        del ballast
        resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
    return repr(got) if isinstance(got, Exception) else digest(got)

# Read and written on one thread first, so that the threads of the parallel reader and writer
# start under a limit: a thread's first touch of its per-thread data takes memory.
os.environ["QUILVARN_THREADS"] = "1"
text = listing(25000)  # 3.8 MB
ltm = LTM(text)
documents = {fmt: getattr(ltm, "to_" + fmt)() for fmt in ("json", "yaml", "toml")}
small = listing(3)
small_json = LTM(small).to_json()
del os.environ["QUILVARN_THREADS"]
calls = {
    "LTM(text)": lambda: LTM(text),
    "to_json": ltm.to_json, "to_yaml": ltm.to_yaml, "to_toml": ltm.to_toml, "to_dict": ltm.to_dict,
    "try_to_csv": ltm.try_to_csv,
    "from_json": lambda: LTM.from_json(documents["json"]),
    "from_yaml": lambda: LTM.from_yaml(documents["yaml"]),
    "from_toml": lambda: LTM.from_toml(documents["toml"]),
}
rows = []
for name in sys.argv[2:]:
    for headroom in json.loads(sys.argv[1]):
        rows.append([name, headroom, with_headroom(int(headroom * (1 << 20)), calls[name]), LTM(small).to_json() == small_json])
expected = {name: outcome(calls[name]) for name in sys.argv[2:]}
for name, headroom, got, small_read_right in rows:
    print(json.dumps([name, headroom, got == expected[name] or got, small_read_right]))
'''

# A child process per group, the groups at the same time; each call that runs on several threads
# has a process of its own.
GROUPS = [["LTM(text)"], ["to_json"], ["from_json", "to_dict", "try_to_csv"], ["to_yaml", "from_yaml"],
          ["to_toml", "from_toml"]]


@pytest.mark.skipif(SANITIZED, reason="the address sanitizer cannot run under an address-space limit")
def test_out_of_memory_raises_memory_error_and_the_process_reads_on():
    children = [subprocess.Popen([sys.executable, "-c", CHILD, json.dumps(HEADROOMS_MB), *calls],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for calls in GROUPS]
    for calls, child in zip(GROUPS, children):
        out, err = child.communicate(timeout=300)
        assert child.returncode == 0, (calls, err[-3000:])
        rows = [json.loads(line) for line in out.splitlines()]
        assert [row[:2] for row in rows] == [[name, mb] for name in calls for mb in HEADROOMS_MB], err[-3000:]
        for name, mb, result, small_read_right in rows:
            assert result is True or result == "MemoryError()", (name, mb, result)
            assert small_read_right, (name, mb)
        for name in calls:
            results = [result for n, _, result, _ in rows if n == name]
            # The least headroom is too little for any call but the CSV writer's refusal, which
            # needs no memory; the most is enough for every call.
            assert results[0] == ("MemoryError()" if name != "try_to_csv" else True), (name, results)
            assert results[-1] is True, (name, results)
