"""The whole configuration: construction from a whole configuration text (order, the partition
"Common", skipped and unfinished text), the four list attributes, string forms, every writer and
reader, round trips of real listings, and generated listings read whole and object by object."""
import glob
import os
import re
from pathlib import Path

import pytest
from hypothesis import given, settings

from helpers import FORMATS, GEN_CONFIG, generate_listing, generated_listings, listing_text, read, write
# The listing builders by short names: the tables below join many of them.
from helpers import partition_listing as part, pool_listing as pool
from helpers import snatpool_listing as snat, virtual_listing as virtual
from quilvarn import LTM, LtmPath, Pool, SnatPool, Virtual, partition

DATA = Path(__file__).resolve().parents[1] / "brelmark" / "tests" / "data"
# A declared tenant: two applications in folders, their pools and virtual servers.
TENANT = Path(__file__).resolve().parent / "data" / "tenant.conf"
CORPUS = Path(__file__).resolve().parents[2] / "shared" / "corpus" / "configs"
CSV_MESSAGE = "CSV write error: cannot serialize sequence container inside struct when writing headers from structs"


def names(ltm):
    return ([p.name for p in ltm.partitions], [v.name.get_val() for v in ltm.virtual_servers],
            [p.name.get_val() for p in ltm.pools], [s.name.get_val() for s in ltm.snat_pools])


def round_trip(ltm, fmt):
    return read(LTM, fmt, write(ltm, fmt))


# ---- Construction from configuration text ------------------------------------------------------------

@pytest.mark.parametrize("text,expected", [
    ("", (["Common"], [], [], [])),
    (" \n\t\n", (["Common"], [], [], [])),
    ("# a comment\nsys global-settings {\n    hostname x\n}\nstray words\n", (["Common"], [], [], [])),
    # only a partition named exactly Common counts; one named so keeps its place
    (part("A") + part("common"), (["A", "common", "Common"], [], [], [])),
    (part("A") + part("Common") + part("B"), (["A", "Common", "B"], [], [], [])),
    # kinds interleaved: each list in text order, nothing merged
    (virtual("vs1") + part("P1") + pool("p1") + snat("s1") + part("P2") + pool("p1"),
     (["P1", "P2", "Common"], ["vs1"], ["p1", "p1"], ["s1"])),
    # an object whose body does not parse is skipped, the objects after it are read
    ("ltm virtual bad {\n}\n" + pool("p1"), (["Common"], [], ["p1"], [])),
    ("auth partition P1 {\n    foo bar\n}\n" + part("P2"), (["P2", "Common"], [], [], [])),
    ("ltm snatpool s1 {\n    foo\n}\n" + snat("s2"), (["Common"], [], [], ["s2"])),
    # a route domain that is not a number costs that partition only
    (part("P1", "x") + part("P2", 4) + part("P3", 65536) + pool("p1"), (["P2", "Common"], [], ["p1"], [])),
    # unfinished tails: the objects before them are read
    (pool("p1") + "ltm snat", (["Common"], [], ["p1"], [])),
    (pool("p1") + "ltm vir", (["Common"], [], ["p1"], [])),
    (pool("p1") + "ltm snatpool s1 {\n    members {\n        a\n    }\n", (["Common"], [], ["p1"], [])),
    (pool("p1") + "ltm pool p2 {\n    members {\n", (["Common"], [], ["p1"], [])),
    ("ltm snatpool s1 {\n    members {\n        a\n    }\n" + pool("p1"), (["Common"], [], ["p1"], [])),
    # blocks of unknown objects with a multi-word header are skipped line by line, so an object
    # nested in one is read
    ("ltm rule r {\n  when X {\n    ltm pool inner {\n    }\n  }\n}\n" + pool("p1"), (["Common"], [], ["inner", "p1"], [])),
    # a one-word header block is skipped whole
    ("security {\n    ltm pool hidden {\n}\n" + pool("p1"), (["Common"], [], ["p1"], [])),
    # names that the object-path pattern does not read as a path stay in the configuration
    ("ltm pool /a/b/c {\n}\n" + "ltm pool /Common/ {\n}\n", (["Common"], [], ["/a/b/c", "/Common/"], [])),
])
def test_construction_from_text(text, expected):
    ltm = LTM(text)
    assert names(ltm) == expected
    assert names(LTM(val=text)) == expected
    counts = tuple(len(x) for x in expected)
    assert str(ltm) == "partitions: %d, virtual_servers: %d, pools: %d, snat_pools: %d" % counts


def test_nested_blocks_of_the_objects_are_kept():
    text = (virtual("vs1").replace("}\n", "    profiles {\n        /Common/tcp {\n            context all\n        }\n"
                                         "    }\n}\n", 1)
            + pool("p1") + snat("s1"))
    ltm = LTM(text)
    assert [(p.name, p.context) for p in ltm.virtual_servers[0].profiles] == [("/Common/tcp", "all")]
    assert [m.name.get_val() for m in ltm.pools[0].members] == ["10.0.0.1:80"]
    assert ltm.snat_pools[0].members == ["10.1.1.1"]


# ---- A byte-order mark before the text --------------------------------------------------------------------

TEXTS = [(LTM, pool("/Common/p1") + virtual("vs1") + part("P")), (partition, part("P", 3)),
         (Pool, pool("/Common/p1")), (Virtual, virtual("/Common/vs1")), (SnatPool, snat("/Common/s1"))]
TEXT_IDS = [cls.__name__ for cls, _ in TEXTS]


@pytest.mark.parametrize("cls,text", TEXTS, ids=TEXT_IDS)
def test_one_leading_byte_order_mark_is_skipped(cls, text):
    expected = cls(text).to_dict()
    assert cls("\ufeff" + text).to_dict() == expected
    assert cls("\ufeff\n  " + text).to_dict() == expected


# Only the very first character is skipped as a mark: anywhere else it is text, which the
# constructors of one object do not parse.
@pytest.mark.parametrize("before", ["\ufeff\ufeff", " \ufeff", "\n\ufeff"],
                         ids=["second", "after a blank", "after a line"])
@pytest.mark.parametrize("cls,text", TEXTS[1:], ids=TEXT_IDS[1:])
def test_a_byte_order_mark_past_the_start_is_text(cls, text, before):
    with pytest.raises(RuntimeError) as caught:
        cls(before + text)
    assert str(caught.value) == ('Parsing Error: Error { input: "\\u{feff}' + text.replace("\n", "\\n")
                                 + '", code: Tag }')


def test_a_whole_configuration_skips_the_line_of_a_mark_past_the_start():
    text = pool("p1") + pool("p2")
    assert names(LTM("\ufeff" + text))[2] == ["p1", "p2"]
    # the mark is text: its line is skipped as unknown, and the pool it begins with it
    for before in ["\ufeff\ufeff", " \ufeff", "\n\ufeff"]:
        assert names(LTM(before + text))[2] == ["p2"], repr(before)
    assert names(LTM(pool("p1") + "\ufeff" + pool("p2")))[2] == ["p1"]


def test_common_partition_added_is_empty():
    assert LTM("").partitions[0].to_dict() == {"name": "Common", "default-route-domain": 0}


def test_argument_errors():
    with pytest.raises(TypeError):
        LTM()
    with pytest.raises(TypeError, match=r"^argument 'val': 'int' object cannot be converted to 'PyString'$"):
        LTM(5)
    with pytest.raises(TypeError):
        LTM("", "")
    with pytest.raises(TypeError):
        LTM.new_default(1)


# ---- String forms, writers and readers -------------------------------------------------------------------

def test_string_forms():
    ltm = LTM(part("P") + pool("p") + snat("s"))
    assert str(ltm) == "partitions: 2, virtual_servers: 0, pools: 1, snat_pools: 1"
    assert re.fullmatch(r"LTM at 0x[0-9a-f]+, " + re.escape(str(ltm)), repr(ltm))


def test_new_default():
    ltm = LTM.new_default()
    assert str(ltm) == "partitions: 0, virtual_servers: 0, pools: 0, snat_pools: 0"
    assert ltm.to_json() == '{"partitions":[],"virtual_servers":[],"pools":[],"snat_pools":[]}'
    assert ltm.to_dict() == {"partitions": [], "virtual_servers": [], "pools": [], "snat_pools": []}
    assert list(ltm.to_dict()) == ["partitions", "virtual_servers", "pools", "snat_pools"]
    assert ltm.to_toml() == "partitions = []\npools = []\nsnat_pools = []\nvirtual_servers = []\n"


@pytest.mark.parametrize("ltm", [LTM.new_default(), LTM(""), LTM(pool("p"))])
def test_try_to_csv_always_fails(ltm):
    with pytest.raises(ValueError) as caught:
        ltm.try_to_csv()
    assert str(caught.value) == CSV_MESSAGE


def test_exact_texts():
    ltm = LTM(snat("s1"))
    assert ltm.to_json() == ('{"partitions":[{"name":"Common","default-route-domain":0}],"virtual_servers":[],'
                             '"pools":[],"snat_pools":[{"name":"s1","members":["10.1.1.1"]}]}')
    # empty lists first as plain keys, then the arrays of tables, both in byte order of the keys
    assert ltm.to_toml() == ('pools = []\nvirtual_servers = []\n\n[[partitions]]\ndefault-route-domain = 0\n'
                             'name = "Common"\n\n[[snat_pools]]\nmembers = ["10.1.1.1"]\nname = "s1"\n')
    assert ltm.to_yaml() == ("partitions:\n- name: Common\n  default-route-domain: 0\nvirtual_servers: []\n"
                             "pools: []\nsnat_pools:\n- name: s1\n  members:\n  - 10.1.1.1\n")


@pytest.mark.parametrize("fmt,text,expected", [
    ("json", '{"partitions":[],"virtual_servers":[],"pools":[],"snat_pools":[],"profiles":1}', ([], [], [], [])),
    ("json", "[[],[],[],[]]", ([], [], [], [])),
    ("json", '{"partitions":[["P"],{"name":"Q","rd":5}],"virtual_servers":[],"pools":[{"name":"p"}],'
             '"snat_pools":[["s",["a"]]]}', (["P", "Q"], [], ["p"], ["s"])),
    ("yaml", "partitions:\nvirtual_servers:\npools: []\nsnat_pools:\n", ([], [], [], [])),
    ("yaml", "partitions:\n- &p {name: A}\n- *p\nvirtual_servers: []\npools: []\nsnat_pools: []\n",
     (["A", "A"], [], [], [])),
    ("toml", "partitions = []\nvirtual_servers = []\npools = []\nsnat_pools = []\n", ([], [], [], [])),
    ("toml", 'virtual_servers = []\npools = []\nsnat_pools = [["s", ["m"]]]\n[[partitions]]\nname = "P"\n',
     (["P"], [], [], ["s"])),
])
def test_readers(fmt, text, expected):
    assert names(read(LTM, fmt, text)) == expected


@pytest.mark.parametrize("fmt,text,message", [
    ("json", "{}", r"^missing field `partitions` at line 1 column 2$"),
    ("json", '{"partitions":[]}', r"^missing field `virtual_servers`"),
    ("json", '{"partitions":[],"pools":[],"snat_pools":[]}', r"^missing field `virtual_servers`"),
    ("json", "[[],[],[]]", r"^invalid length 3, expected struct LTM with 4 elements"),
    ("json", "null", r"^invalid type: null, expected struct LTM"),
    ("json", '{"partitions":[],"pools":[],"pools":[]}', r"^duplicate field `pools`"),
    ("json", '{"partitions":[null],"virtual_servers":[],"pools":[],"snat_pools":[]}',
     r"^invalid type: null, expected struct Partition"),
    ("json", '{"partitions":[],"virtual_servers":[],"pools":[{}],"snat_pools":[]}', r"^missing field `name`"),
    ("yaml", "", r"^missing field `partitions`"),
    ("yaml", "- 1\n", r"^invalid type: sequence, expected struct LTM"),
    ("yaml", "partitions: []\nvirtual_servers: []\npools: []\n", r"^missing field `snat_pools`"),
    ("yaml", "partitions:\n- name: a\n- name: b\n  default-route-domain: x\nvirtual_servers: []\npools: []\n"
             "snat_pools: []\n", r"^partitions\[1\]\.default-route-domain: invalid type: string \"x\", expected u16"),
    ("toml", "", r"^missing field `partitions`"),
    ("toml", "[partitions]\n", r"invalid type: map, expected a sequence"),
])
def test_reader_messages(fmt, text, message):
    with pytest.raises(RuntimeError, match=message):
        read(LTM, fmt, text)


# ---- List attributes ---------------------------------------------------------------------------------

TEXT = part("P") + virtual("vs1") + pool("p1") + snat("s1")


def test_getters_give_new_lists_of_new_objects():
    ltm = LTM(TEXT)
    first, second = ltm.partitions, ltm.partitions
    assert first is not second and first[0] is not second[0]
    first.append(partition(part("X")))
    first[0].name = "changed"
    assert [p.name for p in ltm.partitions] == ["P", "Common"]
    ltm.partitions = first
    assert [p.name for p in ltm.partitions] == ["changed", "Common", "X"]
    first[0].name = "later"  # the LTM holds copies
    assert ltm.partitions[0].name == "changed"


@pytest.mark.parametrize("attribute,items", [
    ("partitions", lambda: (partition(part("Z")),)),
    ("virtual_servers", lambda: [Virtual(virtual("v9")), Virtual(virtual("v8"))]),
    ("pools", lambda: [Pool(pool("p9"))]),
    ("snat_pools", lambda: [SnatPool(snat("s9")), SnatPool.new_default()]),
])
def test_setters_copy_sequences(attribute, items):
    ltm = LTM(TEXT)
    given_items = items()
    setattr(ltm, attribute, given_items)
    assert [x.to_dict() for x in getattr(ltm, attribute)] == [x.to_dict() for x in given_items]
    setattr(ltm, attribute, ())
    assert getattr(ltm, attribute) == []


@pytest.mark.parametrize("attribute,value,error,message", [
    ("pools", "abc", ValueError, "Can't extract `str` to `Vec`"),
    ("pools", 5, TypeError, "'int' object cannot be converted to 'Sequence'"),
    ("pools", {"a": 1}, TypeError, "'dict' object cannot be converted to 'Sequence'"),
    ("partitions", [1], TypeError, "'int' object cannot be converted to 'partition'"),
    ("virtual_servers", [Pool(pool("x"))], TypeError, "'Pool' object cannot be converted to 'Virtual'"),
    ("pools", [Pool(pool("x")), SnatPool(snat("y"))], TypeError, "'SnatPool' object cannot be converted to 'Pool'"),
    ("snat_pools", [None], TypeError, "'NoneType' object cannot be converted to 'SnatPool'"),
])
def test_setter_errors_keep_the_list(attribute, value, error, message):
    ltm = LTM(TEXT)
    before = ltm.to_dict()
    with pytest.raises(error) as caught:
        setattr(ltm, attribute, value)
    assert str(caught.value) == message
    assert ltm.to_dict() == before


@pytest.mark.parametrize("attribute", ["partitions", "virtual_servers", "pools", "snat_pools"])
def test_lists_cannot_be_deleted(attribute):
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(LTM(TEXT), attribute)


def test_setter_holds_its_borrow_while_it_walks_the_sequence():
    ltm = LTM(TEXT)

    class Peeking:
        def __len__(self):
            return 1

        def __getitem__(self, index):
            if index > 0:
                raise IndexError
            return ltm.partitions[0]  # reads the LTM that is being changed

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        ltm.partitions = Peeking()
    assert [p.name for p in ltm.partitions] == ["P", "Common"]


# ---- Whole listings: single objects, round trips ----------------------------------------------------------

def check_round_trips(ltm):
    expected = ltm.to_dict()
    for fmt in FORMATS:
        again = round_trip(ltm, fmt)
        assert again.to_dict() == expected, fmt
        assert write(again, fmt) == write(ltm, fmt), fmt


@pytest.mark.parametrize("path", sorted(glob.glob(str(DATA / "*.conf"))) + [str(TENANT)], ids=os.path.basename)
def test_real_listings_round_trip(path):
    ltm = LTM(Path(path).read_text())
    assert ltm.virtual_servers or ltm.pools
    check_round_trips(ltm)


def joined_pools(ltm):
    """Checks that no two pools of the configuration have the same full path, that the members of
    each pool have distinct names, and that the pool of each virtual server that has one is exactly
    one of the pools; returns the (virtual server, pool full path) pairs. A pool text without a
    partition is taken in the virtual server's partition: its name's, else "Common"."""
    full_paths = [p.get_full_path() for p in ltm.pools]
    assert len(set(full_paths)) == len(full_paths), full_paths
    for p in ltm.pools:
        members = [m.name.get_val() for m in p.members]
        assert len(set(members)) == len(members), (p.get_full_path(), members)
    pairs = []
    for vs in ltm.virtual_servers:
        path = vs.pool.get_val()
        if not path:
            continue
        if LtmPath(path).get_partition() is None:
            path = "/" + vs.name.get_partition("Common") + "/" + path
        assert full_paths.count(path) == 1, (vs.name.get_val(), path, full_paths)
        pairs.append((vs.name.get_val(), path))
    return pairs


def test_tenant_listing_joins_virtual_servers_to_pools_in_folders():
    ltm = LTM(TENANT.read_text())
    assert str(ltm) == "partitions: 2, virtual_servers: 5, pools: 4, snat_pools: 1"
    assert joined_pools(ltm) == [
        ("/Tenant/App1/web_vs", "/Tenant/App1/web_pool"), ("/Tenant/App1/api_vs", "/Tenant/App1/api_pool"),
        ("/Tenant/App2/app_vs", "/Tenant/App2/app_pool"), ("/Tenant/App2/fqdn_vs", "/Tenant/App2/fqdn_pool")]
    assert {p.get_full_path(): [(m.name.get_val(), m.name.get_port(), m.get_dest_ip()) for m in p.members]
            for p in ltm.pools} == {
        "/Tenant/App1/web_pool": [("10.1.20.11:80", 80, "10.1.20.11"), ("10.1.20.11:8080", 8080, "10.1.20.11"),
                                  ("10.1.20.12:80", 80, "10.1.20.12")],
        "/Tenant/App1/api_pool": [("10.1.20.11:8443", 8443, "10.1.20.11"), ("10.1.20.21:https", 443, "10.1.20.21")],
        "/Tenant/App2/app_pool": [("10.1.30.11%2:8080", 8080, "10.1.30.11"), ("10.1.30.12%2:8080", 8080, "10.1.30.12"),
                                  ("10.1.30.12%2:8081", 8081, "10.1.30.12")],
        "/Tenant/App2/fqdn_pool": [("app.example.com:443", 443, "")],
    }
    assert {p.get_partition() for p in ltm.pools} == {"Tenant"}


# In these listings every virtual server's pool is defined in the same listing; a listing cut out
# of a larger configuration would have to leave out the virtual servers whose pool is elsewhere.
@pytest.mark.skipif(not CORPUS.is_dir(), reason="the shared corpus is not beside the repository")
def test_real_listings_join_virtual_servers_to_pools():
    pairs = {path.name: joined_pools(LTM(path.read_text())) for path in sorted(CORPUS.glob("*.conf"))}
    assert sum(len(p) for p in pairs.values()) >= 3, pairs


# As a listing printed inside a partition writes it, saved with a byte-order mark: names without a
# partition, each object with its own "partition" line; members of one IPv6 address on two ports.
IN_PARTITION = """\ufeffltm pool k8s_pool {
    members {
        10.244.1.5%3:8080 {
            address 10.244.1.5%3
        }
        10.244.1.5%3:9090 {
            address 10.244.1.5%3
        }
        2001:db8::5.8080 {
            address 2001:db8::5
        }
        2001:db8::5.9090 {
            address 2001:db8::5
        }
    }
    partition k8s
}
ltm virtual k8s_vs {
    destination 10.1.10.30%3:80
    ip-protocol tcp
    mask 255.255.255.255
    partition k8s
    pool k8s_pool
}
"""


def test_listing_printed_inside_a_partition():
    ltm = LTM(IN_PARTITION)
    assert names(ltm) == (["Common"], ["k8s_vs"], ["k8s_pool"], [])
    [p] = ltm.pools
    assert (p.get_partition(), p.get_full_path()) == ("k8s", "/k8s/k8s_pool")
    assert [m.name.get_val() for m in p.members] == ["10.244.1.5%3:8080", "10.244.1.5%3:9090",
                                                     "2001:db8::5.8080", "2001:db8::5.9090"]
    # the virtual server's partition is its own line too, and its pool is in it
    vs = ltm.virtual_servers[0]
    assert "/" + vs.partition + "/" + vs.pool.get_val() == p.get_full_path()
    check_round_trips(ltm)


# ---- Names relative to a partition, and names printed from the root ------------------------------------

# Printed inside the partition test006, whose application folder test006 holds two pools and two
# virtual servers; and printed from the root, every name relative to "/", Common's included.
IN_TEST006 = Path(__file__).resolve().parent / "data" / "in-partition.conf"
FROM_ROOT = Path(__file__).resolve().parent / "data" / "root-printed.conf"


def pool_path(vs):
    """The README's join: a pool text without a leading "/" is relative to the virtual server's own
    partition line, else to Common."""
    text = vs.pool.get_val()
    return text if text.startswith("/") else "/" + (vs.partition.strip() or "Common") + "/" + text


def joins(ltm):
    """(virtual server, its pool's path, whether that is the full path of a pool of the listing)."""
    full_paths = {p.get_full_path() for p in ltm.pools}
    return [(vs.name.get_val(), pool_path(vs), pool_path(vs) in full_paths) for vs in ltm.virtual_servers]


@pytest.mark.parametrize("path,pools,joined", [
    (IN_TEST006, [("test006/pool3", "test006", "/test006/test006/pool3"),
                  ("test006/pool4", "test006", "/test006/test006/pool4"),
                  ("shared_pool", "test006", "/test006/shared_pool")],
     [("test006/vs3", "/test006/test006/pool3", True), ("test006/vs4", "/test006/test006/pool4", True),
      ("shared_vs", "/test006/shared_pool", True)]),
    (FROM_ROOT, [("web_pool", "Common", "/Common/web_pool"),
                 ("/Tenant_1/Shared/web_pool", "Tenant_1", "/Tenant_1/Shared/web_pool"),
                 ("api_pool", "Tenant_1", "/Tenant_1/api_pool")],
     [("Common/vs_web", "/Common/web_pool", True), ("Tenant_1/Shared/vs_web", "/Tenant_1/Shared/web_pool", True),
      ("Tenant_1/vs_api", "/Tenant_1/api_pool", True), ("Tenant_1/vs_common_pool", "/Common/web_pool", True)]),
], ids=["inside a partition", "from the root"])
def test_listings_join_each_virtual_server_to_its_pool(path, pools, joined):
    ltm = LTM(path.read_text())
    assert [(p.name.get_val(), p.get_partition(), p.get_full_path()) for p in ltm.pools] == pools
    assert joins(ltm) == joined
    # the members keep their addresses and ports without the partition
    assert all(m.name.get_val().startswith("10.0.") for p in ltm.pools for m in p.members)
    check_round_trips(ltm)
    for fmt in FORMATS:
        assert joins(round_trip(ltm, fmt)) == joined


POOL_IN_T = "ltm pool t/p {\n    partition t\n}\n"


def vs_listing(pool, partition, profile="/Common/http"):
    return (f"ltm virtual vs {{\n    partition {partition}\n    pool {pool}\n    profiles {{\n"
            f"        {profile} {{ }}\n    }}\n}}\n")


@pytest.mark.parametrize("text,pools,pool_references", [
    # inside the partition t: references of Common are printed in full
    (POOL_IN_T + vs_listing("t/p", "t"), [("t/p", "/t/t/p")], ["t/p"]),
    # a reference of Common printed from the root, anywhere in the listing, shows the root's shape
    (POOL_IN_T + vs_listing("t/p", "t", "Common/http"), [("p", "/t/p")], ["/t/p"]),
    (POOL_IN_T + vs_listing("Common/web_pool", "t") + "ltm pool Common/web_pool {\n    partition Common\n}\n",
     [("p", "/t/p"), ("web_pool", "/Common/web_pool")], ["/Common/web_pool"]),
    # "Common/" inside a word, or after "/", shows nothing
    (POOL_IN_T + vs_listing("t/p", "t", "/x/Common/http") + "# aCommon/x\n", [("t/p", "/t/t/p")], ["t/p"]),
])
def test_names_printed_from_the_root_are_read_from_the_root(text, pools, pool_references):
    ltm = LTM(text)
    assert [(p.name.get_val(), p.get_full_path()) for p in ltm.pools] == pools
    assert [vs.pool.get_val() for vs in ltm.virtual_servers] == pool_references
    # read in pieces, a large text gives the same, once per copy
    copies = 2 * 1024 * 1024 // len(text) + 1
    large = LTM(text * copies)
    assert [p.to_dict() for p in large.pools] == [p.to_dict() for p in ltm.pools] * copies
    assert [vs.to_dict() for vs in large.virtual_servers] == [vs.to_dict() for vs in ltm.virtual_servers] * copies


# The virtual servers of the real listings whose pool is in the same listing (its name written as
# the virtual server writes it) find it by the README's join.
@pytest.mark.skipif(not CORPUS.is_dir(), reason="the shared corpus is not beside the repository")
def test_real_listings_join_by_the_readme_rule():
    found = []
    for path in sorted(CORPUS.glob("*.conf")):
        text = path.read_text()
        ltm = LTM(text)
        written = set(re.findall(r"^ltm pool (\S+) \{", text, flags=re.M))
        written |= {"/" + name for name in written}  # as references printed from the root are read
        for vs, (name, pool, joined) in zip(ltm.virtual_servers, joins(ltm)):
            if vs.pool.get_val() in written:
                assert joined, (path.name, name, pool)
                found.append(name)
    assert len(found) >= 3, found


@pytest.mark.skipif(not GEN_CONFIG.exists(), reason="the listing generator is not beside the repository")
def test_generated_listing_round_trips():
    text = generate_listing("--apps", "40")
    ltm = LTM(text)
    assert len(ltm.virtual_servers) >= 40 and len(ltm.pools) >= 40
    assert len(ltm.pools) == text.count("\nltm pool ") + text.startswith("ltm pool ")
    assert len(joined_pools(ltm)) >= 40
    check_round_trips(ltm)


def test_large_texts_read_in_pieces_give_the_objects_of_each_copy():
    # Texts of a few megabytes are read in pieces on several threads at once. A text made of
    # copies of the test listings holds the objects of one copy, once per copy, in order;
    # "Common" is appended once, at the end.
    one = "\n".join(path.read_text() for path in sorted(DATA.glob("*.conf"))) + "\n"
    assert "auth partition Common" not in one
    copies = 3 * 1024 * 1024 // len(one) + 1
    small, large = LTM(one).to_dict(), LTM(one * copies).to_dict()
    assert small["partitions"][-1] == {"name": "Common", "default-route-domain": 0}
    assert large["partitions"] == small["partitions"][:-1] * copies + small["partitions"][-1:]
    for key in ("virtual_servers", "pools", "snat_pools"):
        assert small[key], key
        assert large[key] == small[key] * copies, key
    # a byte-order mark before the text is skipped when the text is read in pieces too
    assert LTM("\ufeff" + one * copies).to_dict() == large


SINGLE = {"partition": (partition, "partitions"), "pool": (Pool, "pools"), "snat": (SnatPool, "snat_pools"),
          "virtual": (Virtual, "virtual_servers")}


# Each object of a generated listing is in the whole configuration as it is read alone (the listings'
# round trips are in test_round_trips.py).
@settings(max_examples=60, deadline=None)
@given(generated_listings)
def test_generated_listings(objects):
    text = listing_text(objects)
    ltm = LTM(text)
    for kind, (cls, attribute) in SINGLE.items():
        alone = [cls(t).to_dict() for k, t in objects if k == kind]
        inside = [x.to_dict() for x in getattr(ltm, attribute)]
        if kind == "partition" and not any(p["name"] == "Common" for p in alone):
            alone.append({"name": "Common", "default-route-domain": 0})
        assert inside == alone
