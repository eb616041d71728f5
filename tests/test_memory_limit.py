"""Out of memory, every reader and writer of a large listing raises MemoryError and the process
lives on: each call runs in a child process under an address-space limit that leaves it from
nothing to enough, on the main thread or on a new one, and the child must end normally, with the
right result or MemoryError at each limit and a right small read after each."""
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
import ctypes, hashlib, json, os, resource, sys, threading
from quilvarn import LTM

libc = ctypes.CDLL(None)
libc.malloc.restype, libc.malloc.argtypes = ctypes.c_void_p, [ctypes.c_size_t]
libc.free.argtypes = [ctypes.c_void_p]

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
    address space, the free memory of the heap is taken up (down to its last small pieces, untouched),
    and the limit is raised by `headroom`; the value is looked at once the limit is lifted."""
    size = [int(line.split()[1]) for line in open("/proc/self/status") if line.startswith("VmSize")][0] << 10
    ballast, taken = [0] * 200_000, 0  # room kept ahead: no list grows under the limit
    resource.setrlimit(resource.RLIMIT_AS, (size, resource.RLIM_INFINITY))
    try:
        for block in (1 << 20, 64 << 10, 4 << 10, 256, 64, 16):
            while taken < len(ballast) and (pointer := libc.malloc(block)):
                ballast[taken], taken = pointer, taken + 1
    except MemoryError:  # not even room for the number of a block
        pass
    resource.setrlimit(resource.RLIMIT_AS, (size + headroom, resource.RLIM_INFINITY))
    try:
        got = call()
    except (MemoryError, ValueError) as e:
        got = e
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
        for pointer in ballast[:taken]:
            libc.free(pointer)
    return repr(got) if isinstance(got, Exception) else digest(got)

# ---- end of the helpers: what follows runs the calls named on the command line ----
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
def on_a_new_thread(headroom, call):
    """with_headroom() on a thread of its own, whose first call into the module this is."""
    got = []
    thread = threading.Thread(target=lambda: got.append(with_headroom(headroom, call)))
    thread.start()
    thread.join()
    return got[0]

limited = on_a_new_thread if sys.argv[2] == "thread" else with_headroom
rows = []
for name in sys.argv[3:]:
    for headroom in json.loads(sys.argv[1]):
        rows.append([name, headroom, limited(int(headroom * (1 << 20)), calls[name]), LTM(small).to_json() == small_json])
expected = {name: outcome(calls[name]) for name in sys.argv[3:]}
for name, headroom, got, small_read_right in rows:
    print(json.dumps([name, headroom, got == expected[name] or got, small_read_right]))
'''

# A child process per group, the groups at the same time; each call that runs on several threads
# has a process of its own. On a new thread, the call is the thread's first: its first throw.
GROUPS = [("main", ["LTM(text)"]), ("main", ["to_json"]), ("main", ["from_json", "to_dict", "try_to_csv"]),
          ("main", ["to_yaml", "from_yaml"]), ("main", ["to_toml", "from_toml"]),
          ("thread", ["LTM(text)"]), ("thread", ["from_toml"])]


@pytest.mark.skipif(SANITIZED, reason="the address sanitizer cannot run under an address-space limit")
def test_out_of_memory_raises_memory_error_and_the_process_reads_on():
    children = [subprocess.Popen([sys.executable, "-c", CHILD, json.dumps(HEADROOMS_MB), where, *calls],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for where, calls in GROUPS]
    for (_, calls), child in zip(GROUPS, children):
        out, err = child.communicate(timeout=300)
        assert child.returncode == 0, (calls, err[-3000:])
        rows = [json.loads(line) for line in out.splitlines()]
        assert [row[:2] for row in rows] == [[name, mb] for name in calls for mb in HEADROOMS_MB], err[-3000:]
        for name, mb, result, small_read_right in rows:
            assert result is True or result == "MemoryError()", (name, mb, result)
            assert small_read_right, (name, mb)
        for name in calls:
            results = [result for n, _, result, _ in rows if n == name]
            # No headroom is too little for every call but the CSV writer's refusal, which needs
            # next to no memory; the most is enough for every call.
            assert results[0] == "MemoryError()" or name == "try_to_csv", (name, results)
            assert results[-1] is True, (name, results)


# The helpers of CHILD.
HELPERS = CHILD[:CHILD.index("# ---- end of the helpers")]

# A listing whose pieces need far more memory than one pass: a block holds 200,000 lines that
# begin like virtual servers, which the count of first lines takes for objects, so that the pieces
# make room for them all ahead, while one pass goes on where that room is not to be had. The least
# headroom in whole MB at which one pass reads it (the call needs less than 320 MB); then whether
# it reads on eight threads, started before the limit, with that headroom and a little more.
FALLBACK_CHILD = HELPERS + r'''
text = "security {\n" + "ltm virtual /Common/x\n" * 200000 + "}\n" + listing(10000)
os.environ["QUILVARN_THREADS"] = "1"
right = digest(LTM(text))

def reads(mb):
    return with_headroom(mb << 20, lambda: LTM(text)) == right

low, high = 0, 320
assert reads(high)
while high - low > 1:
    middle = (low + high) // 2
    low, high = (low, middle) if reads(middle) else (middle, high)
os.environ["QUILVARN_THREADS"] = "8"
LTM(text)
print(json.dumps([high, [reads(high + extra) for extra in (2, 8)]]))
'''


@pytest.mark.skipif(SANITIZED, reason="the address sanitizer cannot run under an address-space limit")
def test_the_pieces_short_of_memory_fall_back_to_one_pass():
    # Where the parse in pieces runs out of memory, it frees what it built and reads the text in
    # one pass: the listing reads on eight threads wherever it reads on one.
    child = subprocess.run([sys.executable, "-c", FALLBACK_CHILD], capture_output=True, text=True, timeout=300)
    assert child.returncode == 0, child.stderr[-3000:]
    one_pass_mb, reads_near_it = json.loads(child.stdout)
    assert reads_near_it == [True, True], one_pass_mb
