"""LTM(text) warns of the objects of the four kinds it skips because they do not parse: one
UserWarning per call with their count and, for the first five, kind, name, line and error; a
listing that reads whole warns nothing, on any number of threads."""
import warnings
from pathlib import Path

import pytest

from helpers import LTM_TEXT
from helpers import partition_listing as part, pool_listing as pool
from helpers import snatpool_listing as snat, virtual_listing as virtual
from quilvarn import LTM, Pool, SnatPool, Virtual, partition

DATA = Path(__file__).resolve().parents[1] / "brelmark" / "tests" / "data"

# Objects of each kind that do not parse: a virtual server with an empty body, a member block never closed, a line
# a SNAT pool does not know, a route domain that is not a number.
BAD_VIRTUAL = "ltm virtual /Common/vs_bad {\n    }\n}\n"
BAD_POOL = "ltm pool /Common/p_bad {\n    members {\n        10.0.0.1:80 {\n            address 10.0.0.1\n}\n"
BAD_SNATPOOL = "ltm snatpool /Common/s_bad {\n    foo\n}\n"
BAD_PARTITION = part("P_bad", "x")


def names(ltm):
    return ([p.name for p in ltm.partitions], [v.name.get_val() for v in ltm.virtual_servers],
            [p.name.get_val() for p in ltm.pools], [s.name.get_val() for s in ltm.snat_pools])


def read_warning(text):
    """The LTM of the text and the messages of the warnings it gave."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        ltm = LTM(text)
    assert all(w.category is UserWarning for w in caught)
    return ltm, [str(w.message) for w in caught]


@pytest.mark.parametrize("text,expected_names,message", [
    (part("A") + BAD_VIRTUAL + virtual("vs1") + pool("p1"),
     (["A", "Common"], ["vs1"], ["p1"], []),
     "LTM skipped 1 object that does not parse: ltm virtual /Common/vs_bad (line 3): IsNot at line 4"),
    (pool("p1") + BAD_POOL + pool("p2"),
     (["Common"], [], ["p1", "p2"], []),
     "LTM skipped 1 object that does not parse: ltm pool /Common/p_bad (line 8): Tag at line 9"),
    (snat("s1") + BAD_SNATPOOL + snat("s2"),
     (["Common"], [], [], ["s1", "s2"]),
     "LTM skipped 1 object that does not parse: ltm snatpool /Common/s_bad (line 6): Tag at line 7"),
    (BAD_PARTITION + part("B"),
     (["B", "Common"], [], [], []),
     "LTM skipped 1 object that does not parse: auth partition P_bad (line 1): Tag at line 2"),
    # the four kinds among good objects, each counted once, in text order
    (BAD_PARTITION + virtual("vs1") + BAD_SNATPOOL + BAD_VIRTUAL + snat("s1") + BAD_POOL + pool("p1"),
     (["Common"], ["vs1"], ["p1"], ["s1"]),
     "LTM skipped 4 objects that do not parse: auth partition P_bad (line 1): Tag at line 2; "
     "ltm snatpool /Common/s_bad (line 9): Tag at line 10; ltm virtual /Common/vs_bad (line 12): IsNot at line 13; "
     "ltm pool /Common/p_bad (line 20): Tag at line 21"),
    # past the first five, only the count
    ("".join(f"ltm virtual /Common/v{k} {{\n    }}\n}}\n" for k in range(8)) + virtual("vs1"),
     (["Common"], ["vs1"], [], []),
     "LTM skipped 8 objects that do not parse: " + "; ".join(
         f"ltm virtual /Common/v{k} (line {3 * k + 1}): IsNot at line {3 * k + 2}" for k in range(5)) + "; and 3 more"),
    # a long name is cut, odd bytes are written as their numbers, a missing name is left out
    ("ltm virtual " + "n" * 100 + " {\n    }\n}\n"
     "ltm virtual /Common/caf\u00e9\x7f\\ {\n    }\n}\nltm pool\n",
     (["Common"], [], [], []),
     "LTM skipped 3 objects that do not parse: ltm virtual " + "n" * 64 + "... (line 1): IsNot at line 2; "
     "ltm virtual /Common/caf\\xc3\\xa9\\x7f\\x5c (line 4): IsNot at line 5; "
     "ltm pool (line 7): IsNot at the end of the text"),
    # a SNAT pool that runs unfinished to the end of the text
    (pool("p1") + "ltm snatpool /Common/s1 {\n    partition T\n",
     (["Common"], [], ["p1"], []),
     "LTM skipped 1 object that does not parse: ltm snatpool /Common/s1 (line 8): Incomplete at the end of the text"),
], ids=["virtual", "pool", "snatpool", "partition", "four kinds", "more than five", "names", "unfinished"])
def test_a_warning_names_the_objects_skipped(text, expected_names, message):
    ltm, messages = read_warning(text)
    assert messages == [message]
    assert names(ltm) == expected_names
    assert names(LTM(text)) == expected_names  # the objects that read are there, warning or not


@pytest.mark.parametrize("text", [
    LTM_TEXT,
    "",
    # other kinds, whose keywords begin with one of the four, and keywords that are not items
    "ltm virtual-address /Common/10.0.0.1 {\n    address 10.0.0.1\n}\nltm snat /Common/s {\n    origins { }\n}\n",
    "security {\n    ltm pool hidden {\n}\n" + pool("p1") + "ltm snat",
    "# ltm pool broken {\n" + pool("p1"),
] + [path.read_text() for path in sorted(DATA.glob("*.conf"))])
def test_a_listing_that_reads_whole_warns_nothing(text):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        LTM(text)


@pytest.mark.parametrize("cls,text", [(Virtual, BAD_VIRTUAL), (Pool, BAD_POOL), (SnatPool, BAD_SNATPOOL),
                                      (partition, BAD_PARTITION)])
def test_the_single_object_constructors_still_raise(cls, text):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(RuntimeError, match="^Parsing Error: "):
            cls(text)


@pytest.mark.parametrize("text", [BAD_POOL, BAD_POOL * 4000], ids=["small", "read without the lock"])
def test_a_filter_that_makes_the_warning_an_error_makes_the_constructor_raise_it(text):
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(UserWarning, match="^LTM skipped [0-9]+ objects? that do"):
            LTM(text)
    ltm, messages = read_warning(text)  # and the next call reads as before
    assert len(messages) == 1 and names(ltm) == (["Common"], [], [], [])


def large_listing_with_skipped_objects():
    """Over 2 MB, read in pieces: copies of a listing with broken objects of each kind among them,
    and before each copy a long rule and a block whose second line begins a pool that does not
    parse. That line is no item of the whole parse, but a piece cut there (the first object line
    after much of the text's share points is one) begins with it and fails on it: such a failure,
    which is not in the stitched sequence, must not be counted."""
    broken = [BAD_VIRTUAL, BAD_POOL, BAD_SNATPOOL, BAD_PARTITION]
    copies = []
    for k in range(2500):
        copies.append("ltm rule /Common/r%d {\n%s}\n" % (k, "    # a line\n" * 100))
        copies.append("security {\nltm pool /Common/hidden%d x {\n}\n" % k)
        copies.append(LTM_TEXT.replace("pool_app", f"pool_app{k}").replace("vs_web", f"vs_web{k}"))
        if k % 61 == 0:
            copies.append(broken[k // 61 % 4].replace("_bad", f"_bad{k}"))
    return "".join(copies)


def test_the_warning_is_the_same_on_any_number_of_threads(monkeypatch):
    text = large_listing_with_skipped_objects()
    assert len(text) > 4 << 20
    monkeypatch.setenv("QUILVARN_THREADS", "1")
    single, messages = read_warning(text)
    assert len(messages) == 1 and messages[0].startswith("LTM skipped 41 objects that do not parse: ")
    assert messages[0].endswith("; and 36 more")
    for threads in ["2", "3", "8"]:
        monkeypatch.setenv("QUILVARN_THREADS", threads)
        ltm, again = read_warning(text)
        assert again == messages, threads
        assert ltm.to_json() == single.to_json(), threads
