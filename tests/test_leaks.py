"""Memory and reference counts: every operation of every class (constructors, attribute reads and
writes, readers, writers, methods and their error paths) repeated many times leaves the process's
memory flat, and leaves the reference counts of its arguments and results right.

QV_LEAK_REPEAT sets the repetitions per operation (default 1,000, enough for the heap and object
counts to show a leak of one small allocation per call; 100,000 for the long run)."""
import ctypes
import gc
import os
import sys
import warnings

import pytest

from helpers import FORMATS, LTM_TEXT, PARTITION_TEXT, POOL_TEXT, SNATPOOL_TEXT, VIRTUAL_TEXT, Profile, write
from quilvarn import LTM, LtmPath, MemberFqdn, Pool, PoolMember, Snat, SnatPool, Virtual, partition

REPEAT = int(os.environ.get("QV_LEAK_REPEAT", "1000"))
WARM_UP = max(100, REPEAT // 20)
RSS_ALLOWANCE = 1 << 20
# Under the address sanitizer freed memory waits in a quarantine and the C library's heap is not
# used: only the reference counts are checked there.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")

SAMPLES = {
    LTM: LTM(LTM_TEXT),
    partition: partition(PARTITION_TEXT),
    Pool: Pool(POOL_TEXT),
    PoolMember: Pool(POOL_TEXT).members[0],
    MemberFqdn: Pool(POOL_TEXT).members[1].fqdn,
    Virtual: Virtual(VIRTUAL_TEXT),
    Profile: Virtual(VIRTUAL_TEXT).profiles[0],
    Snat: Virtual(VIRTUAL_TEXT).snat,
    SnatPool: SnatPool(SNATPOOL_TEXT),
}
CONSTRUCTORS = [
    (LTM, LTM_TEXT), (partition, PARTITION_TEXT), (Pool, POOL_TEXT), (Virtual, VIRTUAL_TEXT),
    (SnatPool, SNATPOOL_TEXT), (PoolMember, "/Common/10.0.0.1:80"), (MemberFqdn, "app.example.com"),
    (LtmPath, "/Tenant/10.0.0.1%2:80"), (Snat, "ignored"), (Profile, "ignored"),
    # error paths
    (LTM, "ltm pool p {"), (partition, "auth partition {"), (Pool, "ltm pool"), (Virtual, "x"),
    (SnatPool, "ltm snatpool s { members { } "), (LtmPath, 5), (Pool, None),
]
NOT_A_VALUE = object()


def ltm_warning_as_error(text):
    """LTM(text) under a filter that turns its warning into an error, which it raises."""
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        return LTM(text)


def writable(cls, name):
    descriptor = vars(cls)[name]
    return type(descriptor).__name__ == "getset_descriptor"


def operations():
    """(label, function, arguments) for every operation; errors count as results."""
    ops = [(f"{cls.__name__}({text!r:.20})", cls, (text,)) for cls, text in CONSTRUCTORS]
    for cls, sample in SAMPLES.items():
        name = cls.__name__
        for attribute in [a for a in vars(cls) if writable(cls, a)]:
            ops.append((f"{name}.{attribute} get", getattr, (sample, attribute)))
            try:
                value = getattr(sample, attribute)
            except AttributeError:  # write-only
                value = "Tenant"
            ops.append((f"{name}.{attribute} set", setattr, (sample, attribute, value)))
            ops.append((f"{name}.{attribute} set wrong type", setattr, (sample, attribute, NOT_A_VALUE)))
        for fmt in FORMATS:
            document = write(sample, fmt)
            ops.append((f"{name}.to_{fmt}", getattr(cls, "to_" + fmt), (sample,)))
            ops.append((f"{name}.from_{fmt}", getattr(cls, "from_" + fmt), (document,)))
            ops.append((f"{name}.from_{fmt} bad", getattr(cls, "from_" + fmt), ("[{[1, 2" + document[:40],)))
            ops.append((f"{name}.from_{fmt} wrong type", getattr(cls, "from_" + fmt), (NOT_A_VALUE,)))
        for method in ["try_to_csv", "to_dict", "new_default"]:
            if hasattr(cls, method):
                ops.append((f"{name}.{method}", getattr(sample, method), ()))
        ops += [(f"repr({name})", repr, (sample,)), (f"{name}.to_json wrong receiver", cls.to_json, (5,))]
    path = LtmPath("/Tenant/10.0.0.1%2:80")
    for method in ["get_val", "get_port", "get_route_domain", "get_partition", "get_name", "get_address",
                   "get_full_path", "__len__", "__bool__"]:
        ops.append((f"LtmPath.{method}", getattr(path, method), ()))
    pool, member = SAMPLES[Pool], SAMPLES[PoolMember]
    ops += [
        ("LtmPath.get_port without port", LtmPath("/Common/name").get_port, ()),
        ("LtmPath.get_full_path without partition", LtmPath("name").get_full_path, ()),
        ("LtmPath.get_partition default", LtmPath("name").get_partition, ("Other",)),
        ("LtmPath.__eq__", path.__eq__, (LtmPath("/Tenant/x"),)),
        ("LtmPath.__eq__ wrong type", path.__eq__, ("x",)),
        ("Pool.get_full_path", pool.get_full_path, ("Common",)),
        ("Pool.get_partition", pool.get_partition, ()),
        ("PoolMember.get_dest_ip", member.get_dest_ip, ()),
        ("Snat.__repr_", SAMPLES[Snat].__repr_, ()),
        ("Pool.members set bad item", setattr, (pool, "members", [member, 5])),
        ("Virtual.policies set bad item", setattr, (SAMPLES[Virtual], "policies", [("p", ["a", 5])])),
        ("LTM.pools set bad item", setattr, (SAMPLES[LTM], "pools", [pool, NOT_A_VALUE])),
        ("LTM skipped object, warning as error", ltm_warning_as_error, (LTM_TEXT + "ltm pool p {\n    x\n",)),
    ]
    return ops


OPERATIONS = operations()
IDS = [label for label, _, _ in OPERATIONS]


@pytest.fixture(scope="module", autouse=True)
def frozen_heap():
    # The objects that exist before these tests stay out of the collections they make, which
    # then cost only as much as the objects made here.
    gc.collect()
    gc.freeze()
    yield
    gc.unfreeze()


def call(function, arguments):
    try:
        return function(*arguments)
    except Exception as error:  # error paths are operations like any other
        return error.with_traceback(None)


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in [
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
        "keepcost"]]


def footprint():
    """(resident bytes, bytes in use on the C heap, Python object blocks)."""
    gc.collect()
    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = MallInfo2
    info = libc.mallinfo2()
    with open("/proc/self/statm") as statm:
        resident = int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    return resident, info.uordblks + info.hblkhd, sys.getallocatedblocks()


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator keeps freed memory in quarantine")
@pytest.mark.parametrize("label,function,arguments", OPERATIONS, ids=IDS)
def test_repeated_operations_keep_memory_flat(label, function, arguments):
    for _ in range(WARM_UP):
        call(function, arguments)
    rss, heap, blocks = footprint()
    for _ in range(REPEAT):
        call(function, arguments)
    rss_after, heap_after, blocks_after = footprint()
    # One leaked allocation per call is at least 32 bytes of heap or one object block.
    assert heap_after - heap < REPEAT * 8, f"C heap grew {heap_after - heap} bytes"
    assert blocks_after - blocks < REPEAT // 10, f"{blocks_after - blocks} more Python blocks"
    assert rss_after - rss < RSS_ALLOWANCE, f"resident memory grew {rss_after - rss} bytes"


def shared(value):
    # Values the interpreter shares process-wide: their counts move with unrelated code.
    return value is None or isinstance(value, (bool, int, float)) or (
        isinstance(value, str) and sys.intern(value) is value)


@pytest.mark.parametrize("label,function,arguments", OPERATIONS, ids=IDS)
def test_reference_counts_of_arguments_and_results(label, function, arguments):
    call(function, arguments)
    gc.collect()
    counted = [a for a in arguments if not shared(a)]
    before = [sys.getrefcount(a) for a in counted]
    for _ in range(100):
        call(function, arguments)
    assert [sys.getrefcount(a) for a in counted] == before
    result = call(function, arguments)
    if not shared(result) and not isinstance(result, (type, LtmPath.__eq__.__class__)):
        # A result is a new object held by this frame alone (lists and their items included).
        assert sys.getrefcount(result) == 2, type(result)
        for item in result if isinstance(result, list) else []:
            assert sys.getrefcount(item) == 3, type(item)  # the list, the loop and the argument
    del result
    assert gc.collect() == 0  # no reference cycles are made
