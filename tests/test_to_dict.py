"""to_dict as a whole tree: the interpreter's cyclic collector is held off while the tree is built
and left as it was found, also when the build fails; equal short texts of one tree may share one
str, and every text still comes out as it went in."""
import gc
import random

import pytest

from helpers import LTM_TEXT
from quilvarn import LTM, Virtual


@pytest.fixture
def collector():
    """Gives the test the collector to switch and puts it back as it was afterwards."""
    was = gc.isenabled()
    yield
    (gc.enable if was else gc.disable)()


@pytest.mark.parametrize("enabled", [True, False], ids=["enabled", "disabled"])
def test_the_collector_is_left_as_it_was(collector, enabled):
    (gc.enable if enabled else gc.disable)()
    ltm = LTM(LTM_TEXT)
    ltm.to_dict()
    Virtual.new_default().to_dict()
    assert gc.isenabled() is enabled


@pytest.mark.parametrize("enabled", [True, False], ids=["enabled", "disabled"])
def test_the_collector_is_left_as_it_was_when_the_build_fails(collector, enabled, capfd):
    testcapi = pytest.importorskip("_testcapi")
    to_dict = LTM(LTM_TEXT).to_dict
    expected = to_dict()
    failures = 0
    # The n-th allocation from the call on fails, for every n until the call goes through.
    for n in range(100_000):
        (gc.enable if enabled else gc.disable)()
        testcapi.set_nomemory(n, n + 1)
        try:
            result = to_dict()
        except BaseException:  # MemoryError, or the module's fault that carries it
            result = None
        finally:
            testcapi.remove_mem_hooks()
        assert gc.isenabled() is enabled, n
        if result is not None:
            break
        failures += 1
    assert failures > 10 and result == expected
    capfd.readouterr()  # the faults' reports


def test_the_same_tree_with_the_collector_on_and_off(collector):
    ltm = LTM(LTM_TEXT)
    gc.enable()
    on = ltm.to_dict()
    gc.disable()
    off = ltm.to_dict()
    assert on == off and repr(on) == repr(off)


# Texts that meet in the shared table of one tree: the same length with the same first and last
# eight bytes, lengths about the longest one shared, short ones, non-ASCII ones beside ASCII ones of
# their byte length, the empty text and a NUL.
LOOKALIKES = [
    "/Common/1_suffix!", "/Common/2_suffix!", "/Common/12suffix!",
    "x" * 47, "x" * 48, "x" * 49, "y" * 48, "x" * 47 + "y",
    "a", "b", "ab", "ba", "abcdefg", "abcdefh",
    "\u00e9", "ee", "\u00e9t\u00e9", "etete", "e\u0301", "\U0001f600", "abcd",
    "", "a\x00b", "a\x00c",
]


@pytest.mark.parametrize("texts", [
    LOOKALIKES * 3,
    [t for t in reversed(LOOKALIKES) for _ in range(2)],
    # more texts than the table holds, each seen several times
    random.Random(7).sample([f"/Common/pool_{i % 1500}" for i in range(6000)], 6000),
], ids=["in turn", "each twice", "many"])
def test_texts_come_out_as_they_went_in(texts):
    v = Virtual.new_default()
    v.vlans = texts
    v.rules = list(reversed(texts))
    v.policies = [(t, texts[:3]) for t in texts[:50]]
    tree = v.to_dict()
    assert tree["vlans"] == texts and tree["rules"] == list(reversed(texts))
    assert tree["policies"] == [(t, texts[:3]) for t in texts[:50]]
    assert all(type(t) is str for t in tree["vlans"] + tree["rules"])
