"""Hostile input: deep nesting, alias bombs, very long paths and lines, malformed YAML, text that is
not valid Unicode, and sequences that lie about their length. Every reader, constructor and list
setter answers with a clear error or a result, never a crash, in time linear in the input."""
import os
import time

import pytest

from helpers import (LTM_TEXT, PARTITION_TEXT, POOL_TEXT, SNATPOOL_TEXT, VIRTUAL_TEXT, Profile, make_profile,
                     partition_listing, plain, pool_listing, snatpool_listing, virtual_listing)
from quilvarn import LTM, LtmPath, MemberFqdn, Pool, PoolMember, Snat, SnatPool, Virtual, partition

MILLION = 1_000_000
# A quadratic pass over a million items would take far longer than either bound.
BOUND_SECONDS = 30.0 if "asan" in os.environ.get("LD_PRELOAD", "") else 10.0

# Every class with readers, with the first field its documents must hold.
READERS = [(LTM, "partitions"), (partition, "name"), (PoolMember, "name"), (MemberFqdn, None),
           (Pool, "name"), (Virtual, "name"), (Profile, "name"), (Snat, "type"), (SnatPool, "name")]
READER_IDS = [cls.__name__ for cls, _ in READERS]
# The classes built from configuration text.
TEXT_CLASSES = [LTM, partition, Pool, Virtual, SnatPool]


def timed(call):
    start = time.perf_counter()
    try:
        result = call()
    except Exception as error:  # the error is the result under test
        result = error
    elapsed = time.perf_counter() - start
    assert elapsed < BOUND_SECONDS, f"{elapsed:.1f}s"
    return result


def read(cls, fmt, text):
    return timed(lambda: getattr(cls, "from_" + fmt)(text))


def assert_error(result, message):
    assert isinstance(result, RuntimeError), result
    assert str(result) == message


def missing(field):
    return f"missing field `{field}`"


# ---- Nesting ---------------------------------------------------------------------------------------------

@pytest.mark.parametrize("cls,first", READERS, ids=READER_IDS)
def test_deep_nesting_in_record_positions_fails_with_the_formats_error(cls, first):
    # A record read from a sequence takes its fields in order: the first one meets the nesting.
    json_error = read(cls, "json", "[" * MILLION + "]" * MILLION)
    assert isinstance(json_error, RuntimeError)
    assert str(json_error).startswith("invalid type: sequence, expected ")
    # YAML reports the fault of the whole text, the flow nesting cap, before any record error.
    assert_error(read(cls, "yaml", "[" * MILLION), "recursion limit exceeded at line 1 column 257")
    assert_error(read(cls, "toml", "a = " + "[" * MILLION),
                 "nesting deeper than 128 tables and arrays at line 1 column 133")
    assert_error(read(cls, "toml", "a = " + "{a = " * MILLION),
                 "nesting deeper than 128 tables and arrays at line 1 column 645")


@pytest.mark.parametrize("cls,first", READERS, ids=READER_IDS)
def test_deep_nesting_as_the_value_of_an_unknown_key(cls, first):
    # JSON skips the value without recursing; the record then lacks its fields.
    result = read(cls, "json", '{"zz":' + "[" * MILLION + "]" * MILLION + "}")
    if first is None:
        assert isinstance(result, cls)
    else:
        assert_error(result, missing(first) + f" at line 1 column {2 * MILLION + 7}")
    # YAML block nesting (one "- " per level) is loaded and skipped.
    result = read(cls, "yaml", "zz:\n" + "- " * MILLION + "x\n")
    if first is None:
        assert isinstance(result, cls)
    else:
        assert_error(result, missing(first))
    # Flow nesting costs libyaml's scanner time in proportion to the depth on every token, so the
    # loader stops at its own depth limit instead.
    assert_error(read(cls, "yaml", "zz: " + "[" * MILLION + "]" * MILLION),
                 "recursion limit exceeded at line 1 column 261")
    # TOML builds the whole document first: its limit holds wherever the value stands.
    assert_error(read(cls, "toml", "zz = " + "[" * MILLION + "]" * MILLION),
                 "nesting deeper than 128 tables and arrays at line 1 column 134")


def test_yaml_alias_bombs_stop_at_the_repetition_limit():
    # One SNAT pool of 1,000 members, repeated 100,000 times through aliases: 10^8 events to walk.
    anchor = "x: &a {name: n, members: [" + ",".join(["m"] * 1000) + "]}\n"
    lists = "partitions: []\nvirtual_servers: []\npools: []\n"
    bomb = anchor + lists + "snat_pools: [" + ",".join(["*a"] * 100_000) + "]\n"
    assert_error(read(LTM, "yaml", bomb), "repetition limit exceeded")
    # A few repetitions are followed.
    few = read(LTM, "yaml", anchor + lists + "snat_pools: [*a, *a, *a]\n")
    assert [len(s.members) for s in few.snat_pools] == [1000] * 3


# ---- Long paths, long lines, many braces --------------------------------------------------------------------

def test_long_paths_are_linear():
    long = "a" * MILLION
    path = timed(lambda: LtmPath(f"/{long}/{long}%1:80"))
    assert (path.get_partition(), len(path.get_name()), path.get_route_domain(), path.get_port()) == (
        long, MILLION, 1, 80)
    many = timed(lambda: LtmPath("/a" * (MILLION // 2)))
    # A path of folders: its full path is the whole path.
    assert (len(many.get_val()), many.get_full_path()) == (MILLION, "/a" * (MILLION // 2))
    virtual = timed(lambda: Virtual(f"ltm virtual /Common/{long} {{\n    destination /Common/{long}:80\n}}\n"))
    assert (len(virtual.name.get_name()), virtual.destination.get_port()) == (MILLION, 80)
    pool = timed(lambda: Pool(f"ltm pool /Common/{long} {{\n    members {{\n        {long}:80 {{\n"
                              "            address 10.0.0.1\n        }\n    }\n}\n"))
    assert (len(pool.name.get_name()), len(pool.members[0].name.get_val())) == (MILLION, MILLION + 3)


@pytest.mark.parametrize("text", ["x" * 10 * MILLION, "{" * MILLION, "ltm pool p " + "{" * MILLION,
                                  "ltm virtual v {\n" + "    a {\n" * MILLION],
                         ids=["10 MB line", "million braces", "pool of braces", "unclosed blocks"])
@pytest.mark.parametrize("cls", TEXT_CLASSES, ids=lambda c: c.__name__)
def test_constructors_finish_on_long_unparsable_text(cls, text):
    result = timed(lambda: cls(text))
    if cls is LTM:
        # The whole configuration skips what does not parse and keeps the partition "Common".
        assert [p.name for p in result.partitions] == ["Common"]
        assert (result.virtual_servers, result.pools, result.snat_pools) == ([], [], [])
    else:
        assert isinstance(result, RuntimeError)
        assert str(result).startswith('Parsing Error: Error { input: "')


# ---- YAML: faults of the text before faults of the record ----------------------------------------------------

@pytest.mark.parametrize("text,message", [
    ("a: 1\n---\nb: 2\n", "deserializing from YAML containing more than one document is not supported"),
    ("name: [a\n",
     "did not find expected ',' or ']' at line 2 column 1, while parsing a flow sequence at line 1 column 7"),
    ("name: p\nratio: 1\n  bad: indent\n", "mapping values are not allowed in this context at line 3 column 6"),
    # a root no class takes, then a syntax error
    ("- 1\nx: [\n", "did not find expected '-' indicator at line 2 column 1, while parsing a block collection"),
], ids=["second document", "unclosed flow", "bad indent", "after a sequence root"])
@pytest.mark.parametrize("cls,first", READERS, ids=READER_IDS)
def test_yaml_text_faults_come_before_record_faults(cls, first, text, message):
    assert_error(read(cls, "yaml", text), message)


# ---- Text that is not valid Unicode -------------------------------------------------------------------------

# Bytes that are not UTF-8 reach the module as lone surrogates (surrogateescape), like lone
# surrogates written directly.
BAD_UTF8 = b"\xff\xfe\xc3\x28\xed\xa0\x80".decode("utf-8", "surrogateescape")
DOCUMENTS = {"json": '{{"name":"{}"}}', "yaml": "name: {}\n", "toml": 'name = "{}"\n'}


@pytest.mark.parametrize("bad", [BAD_UTF8, "\ud800", "\udfff"], ids=["bytes", "high", "low"])
@pytest.mark.parametrize("fmt", sorted(DOCUMENTS))
@pytest.mark.parametrize("cls,first", READERS, ids=READER_IDS)
def test_readers_refuse_text_without_utf8_form(cls, first, fmt, bad):
    text = DOCUMENTS[fmt].format(bad)
    with pytest.raises(UnicodeEncodeError, match="surrogates not allowed"):
        getattr(cls, "from_" + fmt)(text)


@pytest.mark.parametrize("cls", TEXT_CLASSES + [LtmPath, PoolMember, MemberFqdn], ids=lambda c: c.__name__)
def test_constructors_refuse_text_without_utf8_form(cls):
    with pytest.raises(UnicodeEncodeError, match="surrogates not allowed"):
        cls("ltm pool /Common/" + BAD_UTF8 + " { }")


@pytest.mark.parametrize("fmt,text,message", [
    # Escapes that name a lone surrogate are refused by the readers themselves.
    ("json", '{"name":"\\udc00"}', "lone leading surrogate in hex escape at line 1 column 15"),
    ("toml", 'name = "\\uD800"\n', "invalid escape value: `D800` at line 1 column 9"),
])
def test_escaped_lone_surrogates_fail_cleanly(fmt, text, message):
    for cls, _ in READERS:
        assert_error(read(cls, fmt, text), message)


# ---- Sequences that lie about their length ------------------------------------------------------------------

class Lying:
    """A sequence whose __len__ answers `length` (or raises it, when it is an exception) while
    __getitem__ gives `count` items made by `item`, and raises RuntimeError at index `fail_at`."""

    def __init__(self, item, length, count, fail_at):
        self.item, self.length, self.count, self.fail_at = item, length, count, fail_at

    def __len__(self):
        if isinstance(self.length, Exception):
            raise self.length
        return self.length

    def __getitem__(self, index):
        if index == self.fail_at:
            raise RuntimeError(f"no item {index}")
        if index >= self.count:
            raise IndexError(index)
        return self.item(index)


# __len__'s answer, the items there are, the index that raises, and the error of the assignment
# (None: the attribute holds the items). The length is taken as list() takes it: a TypeError of
# len() means no length, any other error passes.
LIES = [
    pytest.param(2**62, 2, None, None, id="2**62"),
    pytest.param(10**9, 2, None, None, id="10**9"),
    pytest.param(1, 3, None, None, id="fewer than the items"),
    pytest.param(0, 3, None, None, id="zero with items"),
    pytest.param("2", 2, None, None, id="not an int"),
    pytest.param(TypeError("no length"), 2, None, None, id="len raises TypeError"),
    pytest.param(ValueError("no length"), 2, None, (ValueError, "no length"), id="len raises ValueError"),
    pytest.param(-1, 2, None, (ValueError, "__len__() should return >= 0"), id="negative"),
    pytest.param(2**64, 2, None, (OverflowError, "cannot fit 'int' into an index-sized integer"), id="2**64"),
    pytest.param(2, 2, 1, (RuntimeError, "no item 1"), id="item 1 raises"),
]

# An object of each class with readers.
OWNERS = {LTM: lambda: LTM(LTM_TEXT), partition: lambda: partition(PARTITION_TEXT), PoolMember: lambda: PoolMember("m"),
          MemberFqdn: lambda: MemberFqdn("f"), Pool: lambda: Pool(POOL_TEXT), Virtual: lambda: Virtual(VIRTUAL_TEXT),
          Profile: lambda: make_profile("prof", "all"), Snat: Snat, SnatPool: lambda: SnatPool(SNATPOOL_TEXT)}


def alone(sequence):
    return sequence


def lines_of_a_policy(sequence):
    return [("pol", sequence)]


def list_setter(cls, attribute, item, value=alone):
    name = f"{cls.__name__}.{attribute}" + ("" if value is alone else f" ({value.__name__})")
    return pytest.param(cls, attribute, item, value, id=name)


# Every list attribute: its class, its name, a valid item for each index, and the assigned value
# around the sequence.
LIST_SETTERS = [
    list_setter(Pool, "members", lambda i: PoolMember(f"m{i}")),
    list_setter(SnatPool, "members", lambda i: f"/Common/10.9.0.{i}"),
    list_setter(Virtual, "profiles", lambda i: make_profile(f"prof{i}")),
    list_setter(Virtual, "vlans", lambda i: f"vlan{i}"),
    list_setter(Virtual, "rules", lambda i: f"rule{i}"),
    list_setter(Virtual, "policies", lambda i: (f"pol{i}", [f"line{i}"])),
    list_setter(Virtual, "policies", lambda i: f"line{i}", lines_of_a_policy),
    list_setter(Virtual, "security_log_profiles", lambda i: f"log{i}"),
    list_setter(LTM, "partitions", lambda i: partition(partition_listing(f"part{i}"))),
    list_setter(LTM, "virtual_servers", lambda i: Virtual(virtual_listing(f"/Common/v{i}"))),
    list_setter(LTM, "pools", lambda i: Pool(pool_listing(f"/Common/p{i}"))),
    list_setter(LTM, "snat_pools", lambda i: SnatPool(snatpool_listing(f"/Common/s{i}"))),
]


def test_the_setter_table_holds_every_list_attribute():
    found = {(cls, name) for cls, make in OWNERS.items() for name in dir(cls)
             if not name.startswith("_") and isinstance(getattr(make(), name, None), list)}
    assert found == {(p.values[0], p.values[1]) for p in LIST_SETTERS}


@pytest.mark.parametrize("length,count,fail_at,error", LIES)
@pytest.mark.parametrize("cls,attribute,item,value", LIST_SETTERS)
def test_list_setters_take_the_items_whatever_the_length_says(cls, attribute, item, value, length, count, fail_at,
                                                               error, capfd):
    owner = OWNERS[cls]()
    before = owner.to_dict()
    assigned = value(Lying(item, length, count, fail_at))
    if error is None:
        setattr(owner, attribute, assigned)
        assert plain(getattr(owner, attribute)) == plain(value([item(i) for i in range(count)]))
    else:
        with pytest.raises(Exception) as caught:  # an internal fault is a BaseException only
            setattr(owner, attribute, assigned)
        assert (type(caught.value), str(caught.value)) == error
        assert owner.to_dict() == before
    assert capfd.readouterr().err == ""
