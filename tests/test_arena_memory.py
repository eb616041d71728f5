"""The memory of a large parse goes back once smaller ones follow: a process that read a large
listing once and then only small texts returns to about the resident size it had before. Run in a
child process, so that nothing else the suite does is in its figures."""
import json
import os
import subprocess
import sys

import pytest

from helpers import GEN_CONFIG, generate_listing

# The address sanitizer holds freed memory back for a while, on purpose.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")

CHILD = r'''
import json, os, sys
from quilvarn import LTM

def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

small = "ltm pool /Common/p {\n    members {\n        10.0.0.1:80 {\n            address 10.0.0.1\n        }\n    }\n}\n"
with open(sys.argv[1]) as f:
    warm = f.read()
# The parse's threads and their heaps are started first: they stay, and are not the parse's result.
for _ in range(3):
    LTM(warm)
del warm
for _ in range(50):
    LTM(small)
before = resident()
with open(sys.argv[2]) as f:
    text = f.read()
ltm = LTM(text)
objects = len(ltm.virtual_servers) + len(ltm.pools)
peak = resident()
del ltm, text
for _ in range(int(sys.argv[3])):
    LTM(small)
print(json.dumps({"before": before, "peak": peak, "after": resident(), "objects": objects}))
'''


@pytest.fixture(scope="module")
def listings(tmp_path_factory):
    if not GEN_CONFIG.is_file():
        pytest.skip("the listing generator is not beside the repository")
    folder = tmp_path_factory.mktemp("listings")
    paths = []
    for name, megabytes in (("warm", "2"), ("large", "30")):
        path = folder / f"{name}.conf"
        path.write_text(generate_listing("--megabytes", megabytes))
        paths.append(path)
    return paths


@pytest.mark.skipif(SANITIZED, reason="the address sanitizer keeps freed memory")
def test_resident_memory_returns_after_a_large_parse_and_small_ones(listings):
    warm, large = listings
    child = subprocess.run([sys.executable, "-c", CHILD, str(warm), str(large), "300"],
                           capture_output=True, text=True, timeout=120)
    assert child.returncode == 0, child.stderr[-3000:]
    got = json.loads(child.stdout)
    assert got["objects"] > 10000
    text_bytes = large.stat().st_size
    assert got["peak"] - got["before"] > text_bytes  # the text and its result were resident
    # What stays is a small part of the text: the C library's own, some pages per thread (2.4 MB of
    # the 26 MB listing here, where the blocks kept for good had left 41 MB).
    assert got["after"] - got["before"] < text_bytes // 5, got
