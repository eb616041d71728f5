"""Several Python threads using the module at once, each with its own objects and all sharing
read-only ones, get exactly the results of a single thread."""
import sys
import threading

import pytest

from helpers import FORMATS, LTM_TEXT, POOL_TEXT, SNATPOOL_TEXT, VIRTUAL_TEXT, read, write
from quilvarn import LTM, LtmPath, Pool, SnatPool, Virtual, partition

THREADS = 8
ROUNDS = 50


def own_objects(index):
    """Builds, changes, writes and reads back objects of its own; returns what it saw."""
    seen = []
    ltm = LTM(LTM_TEXT)
    pool = Pool(POOL_TEXT)
    pool.description = f"pool of thread {index}"
    pool.members = pool.members[::-1]
    virtual = Virtual(VIRTUAL_TEXT)
    virtual.vlans = [f"vlan{index}", "shared"]
    virtual.pool = f"/Common/pool{index}"
    snat_pool = SnatPool(SNATPOOL_TEXT)
    snat_pool.members = snat_pool.members + [f"10.9.9.{index}"]
    ltm.pools = ltm.pools + [pool]
    ltm.virtual_servers = [virtual]
    ltm.snat_pools = [snat_pool]
    ltm.partitions = ltm.partitions + [partition(f"auth partition T{index} {{\n}}\n")]
    for fmt in FORMATS:
        text = write(ltm, fmt)
        back = read(LTM, fmt, text)
        seen.append((text, back.to_dict()))
    seen.append(ltm.to_dict())
    seen.append([LtmPath(f"/T{index}/10.0.0.{index}%{index}:{80 + index}").get_full_path() for _ in range(3)])
    for text in ["ltm pool p {", "", "x" * 1000]:
        try:
            Pool(text)
        except RuntimeError as error:
            seen.append(str(error))
    return seen


SHARED_LTM = LTM(LTM_TEXT)
SHARED_PATH = LtmPath("/Tenant/10.1.10.1%2:80")


def shared_objects(index):
    """Reads the shared objects; `index` only varies the argument texts."""
    seen = [write(SHARED_LTM, fmt) for fmt in FORMATS]
    seen.append([p.to_dict() for p in SHARED_LTM.pools])
    seen.append([(v.name.get_val(), v.destination.get_port(), v.profiles[0].name) for v in SHARED_LTM.virtual_servers])
    seen.append((SHARED_PATH.get_partition(), SHARED_PATH.get_route_domain(), SHARED_PATH.get_port(),
                 SHARED_PATH.get_full_path(f"P{index}")))
    return seen


@pytest.fixture
def fast_switching():
    # Hand the interpreter lock over as often as possible to interleave the threads' calls.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


@pytest.mark.parametrize("work", [own_objects, shared_objects])
def test_threads_see_what_one_thread_sees(work, fast_switching):
    expected = [work(index) for index in range(THREADS)]
    results = [[] for _ in range(THREADS)]
    errors = []
    start = threading.Barrier(THREADS)

    def run(index):
        try:
            start.wait()
            for _ in range(ROUNDS):
                results[index].append(work(index))
        except BaseException as error:  # reported below, in the test's own thread
            errors.append(error)

    threads = [threading.Thread(target=run, args=(index,)) for index in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not any(thread.is_alive() for thread in threads)
    assert errors == []
    for index in range(THREADS):
        assert results[index] == [expected[index]] * ROUNDS
    if work is own_objects:
        # Each thread's results are its own: the threads did not all see one object.
        assert len({repr(e) for e in expected}) == THREADS
