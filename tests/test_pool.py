"""Pools: construction from configuration text and documents, partitions and full paths,
attributes, written-when rules, every writer and reader."""
import json
import re

import pytest

from helpers import FORMATS, POOL_TEXT, WHITE_SPACE, pool_from, pool_state, read, write
from quilvarn import LTM, LtmPath, MemberFqdn, Pool, PoolMember

# POOL_TEXT as a document.
POOL_DICT = {
    "name": "pool_app",
    "members": [
        {"name": "10.1.10.1%2:80", "destination": "10.1.10.1%2", "priority-group": 10, "session": "monitor-enabled",
         "state": "up", "ratio": 2},
        {"name": "app-fqdn:443", "destination": "app.backend.example.com",
         "fqdn": {"autopopulate": "enabled", "name": "app.backend.example.com"}},
        {"name": "10.1.10.3:http", "destination": "10.1.10.3", "monitor": "/Common/tcp"},
        {"name": "bare", "destination": "none", "session": "user-disabled"},
    ],
    "monitor": "/Tenant/mon_app and /Common/gateway_icmp",
    "description": '"App servers"',
    "min-active-members": 1,
    "load-balancing-mode": "least-connections-member",
    "partition": "Tenant",
}


# ---- Construction from configuration text --------------------------------------------------------


def test_listing_with_address_fqdn_and_route_domain_members():
    pool = Pool(POOL_TEXT)
    assert pool.to_dict() == POOL_DICT
    assert json.loads(pool.to_json()) == POOL_DICT
    assert [m.get_dest_ip() for m in pool.members] == ["10.1.10.1", "", "10.1.10.3", ""]
    first, fqdn_member = pool.members[0], pool.members[1]
    assert (first.name.get_val(), first.monitor, first.fqdn.autopopulate, first.fqdn.name) == \
        ("10.1.10.1%2:80", "default", "disabled", "none")
    assert (fqdn_member.ratio, fqdn_member.fqdn.autopopulate) == (1, "enabled")
    assert (pool.name.get_val(), pool.lb_mode, pool.min_active_members) == \
        ("pool_app", "least-connections-member", 1)


@pytest.mark.parametrize("text,name,document", [
    ("ltm pool /Prod/web_pool { }", "web_pool", {"name": "web_pool", "partition": "Prod"}),
    ("ltm pool web_pool { }", "web_pool", {"name": "web_pool"}),
    ("ltm pool /Common/web_pool {\n}\n", "web_pool", {"name": "web_pool"}),
    # without a partition in the name, the pool's own "partition" line (trimmed) is its partition
    ("ltm pool web_pool {\n    partition Prod\n}\n", "web_pool", {"name": "web_pool", "partition": "Prod"}),
    ("ltm pool web_pool {\n    partition \u3000Prod \n}\n", "web_pool", {"name": "web_pool", "partition": "Prod"}),
    ("ltm pool web_pool {\n    partition Common\n}\n", "web_pool", {"name": "web_pool"}),
    # the name's partition wins over the line
    ("ltm pool /Dev/web_pool {\n    partition Prod\n}\n", "web_pool", {"name": "web_pool", "partition": "Dev"}),
    # a pool in a folder keeps its whole path
    ("ltm pool /Tenant/App/web_pool { }", "/Tenant/App/web_pool",
     {"name": "/Tenant/App/web_pool", "partition": "Tenant"}),
    # a name without a leading "/" is relative to the "partition" line, and kept whole
    ("ltm pool App/web_pool {\n    partition Tenant\n}\n", "App/web_pool",
     {"name": "App/web_pool", "partition": "Tenant"}),
    # without the line its first part is the partition; in a folder it is kept with a leading "/"
    ("ltm pool App/web_pool { }", "web_pool", {"name": "web_pool", "partition": "App"}),
    ("ltm pool Tenant/App/web_pool { }", "/Tenant/App/web_pool",
     {"name": "/Tenant/App/web_pool", "partition": "Tenant"}),
    ("ltm pool web_pool%3:80 { }", "web_pool", {"name": "web_pool"}),
    ("ltm pool \xa0/Prod/web_pool\u3000 { }", "web_pool", {"name": "web_pool", "partition": "Prod"}),
    # names the object-path pattern does not match are kept whole, in the partition Common
    ("ltm pool :odd { }", ":odd", {"name": ":odd"}),
    ("ltm pool %7 { }", "%7", {"name": "%7"}),
    # values run to the end of their line, untrimmed
    ("ltm pool p {\n    load-balancing-mode round-robin \n}\n", "p", {"name": "p"}),
    ("ltm pool p {\n    monitor min 1 of { /Common/http /Common/tcp }\n}\n", "p",
     {"name": "p", "monitor": "min 1 of { /Common/http /Common/tcp }"}),
    # text after the pool is ignored
    ("ltm pool first { }\nltm pool second { }\n", "first", {"name": "first"}),
])
def test_construction_from_text(text, name, document):
    pool = Pool(text)
    assert str(pool) == name
    assert pool.to_dict() == document


@pytest.mark.parametrize("members,expected", [
    ("%weird {\n            address 10.0.0.1\n        }\n", {"name": "%weird", "destination": "10.0.0.1"}),
    ("/Common/10.0.0.1%12:8080 {\n            address 10.0.0.1%12\n        }\n",
     {"name": "10.0.0.1%12:8080", "destination": "10.0.0.1%12"}),
    ("/Common/app:80 {\n            fqdn {\n                autopopulate enabled\n            }\n        }\n",
     {"name": "app:80", "destination": "none", "fqdn": {"autopopulate": "enabled", "name": "none"}}),
    ("/Common/app:80 {\n            fqdn {\n                name app.example.com\n            }\n        }\n",
     {"name": "app:80", "destination": "app.example.com"}),
    # a member keeps its path without the partition: address or FQDN, route domain and port
    ("/Common/2001:db8::1.443 {\n            address 2001:db8::1\n        }\n",
     {"name": "2001:db8::1.443", "destination": "2001:db8::1"}),
    ("/Common/::1%2.80 {\n            address ::1%2\n        }\n", {"name": "::1%2.80", "destination": "::1%2"}),
    ("/Common/::ffff:10.0.0.1.443 { address ::ffff:10.0.0.1 }\n",
     {"name": "::ffff:10.0.0.1.443", "destination": "::ffff:10.0.0.1"}),
    ("Common//10.0.0.2:80 {\n            address 10.0.0.2\n        }\n",
     {"name": "10.0.0.2:80", "destination": "10.0.0.2"}),
    ("/10.0.0.3:80 {\n            address 10.0.0.3\n        }\n", {"name": "10.0.0.3:80", "destination": "10.0.0.3"}),
    # in a folder, the whole path
    ("/Tenant/App/10.0.0.4:443 {\n            address 10.0.0.4\n        }\n",
     {"name": "/Tenant/App/10.0.0.4:443", "destination": "10.0.0.4"}),
    ("m {\n            address 10.0.0.1\n            fqdn {\n                autopopulate enabled\n"
     "                name n\n            }\n        }\n",
     {"name": "m", "destination": "10.0.0.1", "fqdn": {"autopopulate": "enabled", "name": "n"}}),
    ("m {\n            ratio 0\n            priority-group 70000\n            monitor DEFAULT\n        }\n",
     {"name": "m", "destination": "none", "ratio": 0}),
])
def test_member_conversion(members, expected):
    pool = Pool("ltm pool p {\n    members {\n        " + members + "    }\n}\n")
    assert pool.to_dict()["members"] == [expected]


FOLDER_POOL = """ltm pool /Tenant/App1/web_pool {
    members {
        /Tenant/10.1.20.11:80 {
            address 10.1.20.11
        }
        /Tenant/10.1.20.11:8080 {
            address 10.1.20.11
            ratio 2
        }
    }
    monitor /Tenant/App1/web_mon
}
"""

# As a listing printed inside the partition writes it: no partition in the names, a "partition" line.
PARTITION_LINE_POOL = """ltm pool k8s_pool {
    members {
        10.244.1.5%3:8080 {
            address 10.244.1.5%3
        }
        10.244.1.5%3:9090 {
            address 10.244.1.5%3
        }
    }
    partition k8s
}
"""

IPV6_FQDN_POOL = """ltm pool /Common/v6_pool {
    members {
        /Common/2001:db8::10.443 {
            address 2001:db8::10
        }
        /Common/2001:db8::10.8443 {
            address 2001:db8::10
        }
        /Common/app.example.com:https {
            fqdn {
                autopopulate enabled
                name app.example.com
            }
        }
    }
}
"""

POOL_LISTINGS = [
    # text, then name, get_partition(), get_full_path() and the member names
    pytest.param(FOLDER_POOL, "/Tenant/App1/web_pool", "Tenant", "/Tenant/App1/web_pool",
                 ["10.1.20.11:80", "10.1.20.11:8080"], id="folder"),
    pytest.param(PARTITION_LINE_POOL, "k8s_pool", "k8s", "/k8s/k8s_pool",
                 ["10.244.1.5%3:8080", "10.244.1.5%3:9090"], id="partition line"),
    pytest.param(IPV6_FQDN_POOL, "v6_pool", "Common", "/Common/v6_pool",
                 ["2001:db8::10.443", "2001:db8::10.8443", "app.example.com:https"], id="IPv6 and FQDN"),
    pytest.param("\ufeff" + POOL_TEXT, "pool_app", "Tenant", "/Tenant/pool_app",
                 ["10.1.10.1%2:80", "app-fqdn:443", "10.1.10.3:http", "bare"], id="byte-order mark"),
]


@pytest.mark.parametrize("text,name,partition,full_path,members", POOL_LISTINGS)
def test_listings_keep_what_names_each_pool_and_member(text, name, partition, full_path, members):
    pool = Pool(text)
    assert (pool.name.get_val(), pool.get_partition(), pool.get_full_path(),
            [m.name.get_val() for m in pool.members]) == (name, partition, full_path, members)
    # the same record inside a whole configuration
    assert [p.to_dict() for p in LTM(text).pools] == [pool.to_dict()]


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("text", [param.values[0] for param in POOL_LISTINGS],
                         ids=[param.id for param in POOL_LISTINGS])
def test_listings_round_trip(fmt, text):
    pool = Pool(text)
    written = write(pool, fmt)
    again = read(Pool, fmt, written)
    assert write(again, fmt) == written
    assert again.to_dict() == pool.to_dict() == json.loads(pool.to_json())
    assert (again.get_partition(), again.get_full_path()) == (pool.get_partition(), pool.get_full_path())


# ---- Names relative to a partition ---------------------------------------------------------------

# A listing printed inside the partition test006 writes the pool /test006/test006/pool3 (application
# folder test006) as test006/pool3 with a "partition test006" line.
def in_partition(name, partition, body=""):
    return f"ltm pool {name} {{\n{body}    partition {partition}\n}}\n"


MEMBER_OF_COMMON = "    members {\n        Common/10.0.0.1:80 {\n            address 10.0.0.1\n        }\n    }\n"

RELATIVE_NAMES = [
    # text, then name, get_partition(), get_full_path()
    pytest.param(in_partition("test006/pool3", "test006"), "test006/pool3", "test006", "/test006/test006/pool3",
                 id="folder named as the partition"),
    pytest.param(in_partition("cafe/https_pool", "cis-c-6"), "cafe/https_pool", "cis-c-6",
                 "/cis-c-6/cafe/https_pool", id="folder"),
    pytest.param(in_partition("app/sub/pool", "t", "    monitor /Common/http\n"), "app/sub/pool", "t",
                 "/t/app/sub/pool", id="folder in a folder, a reference from the root's partition"),
    pytest.param(in_partition("web_pool", "Prod"), "web_pool", "Prod", "/Prod/web_pool", id="plain"),
    pytest.param(in_partition("/Dev/App/web_pool", "Dev"), "/Dev/App/web_pool", "Dev", "/Dev/App/web_pool",
                 id="absolute in a folder"),
    pytest.param(in_partition("/Dev/web_pool", "Prod"), "web_pool", "Dev", "/Dev/web_pool", id="absolute"),
    pytest.param("ltm pool App/web_pool { }", "web_pool", "App", "/App/web_pool", id="no line"),
    pytest.param("ltm pool Tenant/App/web_pool { }", "/Tenant/App/web_pool", "Tenant", "/Tenant/App/web_pool",
                 id="no line, folder"),
    pytest.param("ltm pool App/web_pool {\n    partition \u3000\n}\n", "web_pool", "App", "/App/web_pool",
                 id="blank line"),
    # a pool without a line is in Common too, so a line naming Common tells nothing
    pytest.param(in_partition("app.app/pool", "Common"), "pool", "app.app", "/app.app/pool", id="line Common"),
    # printed from the root: the pool's own text holds "Common/..." at the start of a word
    pytest.param(in_partition("Tenant_1/Shared/web_pool", "Tenant_1", "    monitor Common/http\n"),
                 "/Tenant_1/Shared/web_pool", "Tenant_1", "/Tenant_1/Shared/web_pool", id="root, folder"),
    pytest.param(in_partition("t/p", "t", MEMBER_OF_COMMON), "p", "t", "/t/p", id="root, member of Common"),
    pytest.param(in_partition("Common/p", "Common"), "p", "Common", "/Common/p", id="root, Common"),
    # only a word that begins with "Common/" shows the root, and only in the pool's own text
    pytest.param(in_partition("t/p", "t", "    monitor my_Common/http\n"), "t/p", "t", "/t/t/p",
                 id="Common/ inside a word"),
    pytest.param(in_partition("t/p", "t") + "ltm pool Common/q { }\n", "t/p", "t", "/t/t/p",
                 id="Common/ after the pool"),
]


@pytest.mark.parametrize("text,name,partition,full_path", RELATIVE_NAMES)
def test_names_relative_to_the_partition_line(text, name, partition, full_path):
    pool = Pool(text)
    assert (pool.name.get_val(), pool.get_partition(), pool.get_full_path()) == (name, partition, full_path)
    # a partition line other than Common wins over a default; in Common the default stands in
    in_dev = ("Dev", "/Dev/" + full_path.removeprefix("/Common/")) if partition == "Common" else (partition, full_path)
    assert (pool.get_partition("Dev"), pool.get_full_path("Dev")) == in_dev


@pytest.mark.parametrize("text", [p.values[0] for p in RELATIVE_NAMES], ids=[p.id for p in RELATIVE_NAMES])
def test_relative_names_read_back_from_every_form(text):
    pool = Pool(text)
    expected = (pool.name.get_val(), pool.get_partition(), pool.get_full_path())
    again = [read(Pool, fmt, write(pool, fmt)) for fmt in FORMATS] + [pool_from(pool.to_dict())]
    assert [(p.name.get_val(), p.get_partition(), p.get_full_path()) for p in again] == [expected] * len(again)
    assert [p.to_dict() for p in again] == [pool.to_dict()] * len(again)
    # CSV writes the name and the partition as they are held, the partition unless it is Common
    document = pool.to_dict()
    document.pop("members", None)
    header, row = (line.split(",") for line in pool_from(document).try_to_csv().splitlines())
    written = dict(zip(header, row))
    assert (written["name"], written.get("partition")) == (document["name"], document.get("partition"))


@pytest.mark.parametrize("text,message", [
    ("ltm virtual v { }", 'Parsing Error: Error { input: "ltm virtual v { }", code: Tag }'),
    ("ltm pool", 'Parsing Error: Error { input: "", code: IsNot }'),
    ("ltm pool p {\n", 'Parsing Error: Error { input: "", code: Tag }'),
    ("", 'Parsing Error: Error { input: "", code: Tag }'),
])
def test_parse_errors(text, message):
    with pytest.raises(RuntimeError) as caught:
        Pool(text)
    assert str(caught.value) == message


# ---- Partition and full path ---------------------------------------------------------------------


def from_text(text):
    return lambda: Pool(text)


def with_name(path):
    def make():
        pool = Pool("ltm pool web_pool { }")
        pool.name = LtmPath(path)
        return pool
    return make


def with_partition(partition):
    def make():
        pool = Pool("ltm pool web_pool { }")
        pool.partition = partition
        return pool
    return make


def from_document(document):
    return lambda: pool_from(document)


PARTITIONS = [
    # pool, default_partition, get_partition, get_full_path (or the error it raises)
    (from_text("ltm pool /Prod/web_pool { }"), None, "Prod", "/Prod/web_pool"),
    (from_text("ltm pool /Prod/web_pool { }"), "Dev", "Prod", "/Prod/web_pool"),
    (from_text("ltm pool web_pool { }"), None, "Common", "/Common/web_pool"),
    (from_text("ltm pool /Common/web_pool { }"), None, "Common", "/Common/web_pool"),
    (from_text("ltm pool /Common/web_pool { }"), "Dev", "Dev", "/Dev/web_pool"),
    (from_text("ltm pool k8s_pool {\n    partition k8s\n}\n"), "Dev", "k8s", "/k8s/k8s_pool"),
    (from_text("ltm pool /t/app/p1 { }"), None, "t", "/t/app/p1"),
    (from_text("ltm pool web_pool { }"), "Dev", "Dev", "/Dev/web_pool"),
    (from_text("ltm pool web_pool { }"), "", "", "//web_pool"),
    (from_text("ltm pool web_pool%2:80 { }"), "Dev", "Dev", "/Dev/web_pool"),
    (with_name("/Prod/web_pool"), None, "Prod", "/Prod/web_pool"),
    (with_name("/Prod/web_pool"), "Dev", "Prod", "/Prod/web_pool"),
    (with_partition("Prod"), None, "Prod", "/Prod/web_pool"),
    (with_partition("Prod"), "Dev", "Prod", "/Prod/web_pool"),
    (with_partition(" COMMON\u3000"), "Dev", "Dev", "/Dev/web_pool"),
    (with_partition("  "), None, "Common", "/Common/web_pool"),
    (with_partition(""), "Dev", "Dev", "/Dev/web_pool"),
    (from_document({"name": "/Other/web_pool", "partition": "Prod"}), None, "Other", "/Other/web_pool"),
    (from_document({"name": "web_pool", "partition": "Prod"}), None, "Prod", "/Prod/web_pool"),
    (from_document({"name": "web_pool"}), None, "Common", "/Common/web_pool"),
    # a name without a leading "/" is relative to a partition other than Common
    (from_document({"name": "test006/pool3", "partition": "test006"}), "Dev", "test006", "/test006/test006/pool3"),
    (from_document({"name": "App/web_pool"}), "Dev", "App", "/App/web_pool"),
    (from_document({"name": "App/web_pool", "partition": " common"}), None, "App", "/App/web_pool"),
    (from_document({"name": "App/web_pool", "partition": ""}), None, "App", "/App/web_pool"),
    (from_document({"name": "App/p%2", "partition": "Prod"}), None, "Prod", "/Prod/App/p"),
    (from_document({"name": ""}), None, "Common", (ValueError, "Invalid object path: ''")),
    (from_document({"name": ""}), "Dev", "Dev", (ValueError, "Invalid object path: ''")),
    (from_text("ltm pool :odd { }"), "Dev", "Dev", (ValueError, "Invalid object path: ':odd'")),
    (from_document({"name": ":odd", "partition": "Prod"}), None, "Prod",
     (ValueError, "Invalid object path: ':odd'")),
]


@pytest.mark.parametrize("make,default,partition,full_path", PARTITIONS)
def test_partition_and_full_path(make, default, partition, full_path):
    pool = make()
    args = () if default is None else (default,)
    assert pool.get_partition(*args) == partition
    assert pool.get_partition(default_partition=default) == partition
    if isinstance(full_path, tuple):
        error, message = full_path
        with pytest.raises(error) as caught:
            pool.get_full_path(*args)
        assert str(caught.value) == message
    else:
        assert pool.get_full_path(*args) == full_path


def test_path_method_signatures_and_argument_errors():
    assert Pool.get_partition.__text_signature__ == "($self, default_partition=None)"
    assert Pool.get_full_path.__text_signature__ == "($self, default_partition=None)"
    pool = Pool("ltm pool web_pool { }")
    with pytest.raises(TypeError) as caught:
        pool.get_full_path(5)
    assert str(caught.value) == "argument 'default_partition': 'int' object cannot be converted to 'PyString'"
    with pytest.raises(TypeError) as caught:
        pool.get_partition("a", "b")
    assert str(caught.value) == "Pool.get_partition() takes from 0 to 1 positional arguments but 2 were given"


# ---- String forms --------------------------------------------------------------------------------


def test_string_forms():
    pool = Pool("ltm pool /Prod/web_pool { }")
    assert str(pool) == "web_pool"
    assert re.fullmatch(r"Pool: 0x[0-9a-f]+,  web_pool", repr(pool))
    assert pool != Pool("ltm pool /Prod/web_pool { }")  # no comparison of its own


# ---- Written-when rules ----------------------------------------------------------------------------


@pytest.mark.parametrize("field,value,written", [
    ("lb_mode", "round-robin", False),
    ("lb_mode", "ROUND-ROBIN", False),
    ("lb_mode", " Round-Robin\u3000", False),
    ("lb_mode", "", True),                       # a blank mode is no round-robin: written
    ("lb_mode", "  ", True),
    ("lb_mode", "round\u2011robin", True),       # a non-breaking hyphen is another character
    ("lb_mode", "least-connections-member", True),
    ("partition", "Common", False),
    ("partition", "COMMON", False),
    ("partition", "\tcommon\n", False),
    ("partition", "", True),
    ("partition", "\u0421ommon", True),          # Cyrillic capital Es: not folded
    ("partition", "Prod", True),
    ("monitor", "", False),
    ("monitor", WHITE_SPACE, False),
    ("monitor", " tcp ", True),
    ("monitor", "default", True),                # a pool's monitor has no keyword
    ("description", "\u205f", False),
    ("description", "x", True),
    ("min_active_members", 0, False),
    ("min_active_members", 65535, True),
])
def test_written_when(field, value, written):
    pool = Pool("ltm pool p { }")
    setattr(pool, field, value)
    key = {"lb_mode": "load-balancing-mode", "min_active_members": "min-active-members"}.get(field, field)
    document = json.loads(pool.to_json())
    assert (key in document) == written
    if written:
        assert document[key] == value
    assert (key in pool.to_dict()) == written
    assert (key in pool.try_to_csv().split("\n")[0].split(",")) == written


def test_members_are_written_when_present():
    pool = Pool("ltm pool p { }")
    pool.members = [PoolMember("m1")]
    assert pool.to_json() == '{"name":"p","members":[{"name":"m1"}]}'
    with pytest.raises(ValueError) as caught:
        pool.try_to_csv()
    assert str(caught.value) == ("CSV write error: cannot serialize sequence container inside struct "
                                 "when writing headers from structs")
    pool.members = []
    assert pool.to_json() == '{"name":"p"}'
    assert pool.try_to_csv() == "name\np\n"


# ---- Writers -------------------------------------------------------------------------------------


def test_writers_exact_output():
    pool = Pool(POOL_TEXT)
    assert pool.to_json() == (
        '{"name":"pool_app","members":[{"name":"10.1.10.1%2:80","destination":"10.1.10.1%2","priority-group":10,'
        '"session":"monitor-enabled","state":"up","ratio":2},{"name":"app-fqdn:443",'
        '"destination":"app.backend.example.com","fqdn":{"autopopulate":"enabled",'
        '"name":"app.backend.example.com"}},{"name":"10.1.10.3:http","destination":"10.1.10.3",'
        '"monitor":"/Common/tcp"},{"name":"bare","destination":"none","session":"user-disabled"}],'
        '"monitor":"/Tenant/mon_app and /Common/gateway_icmp","description":"\\"App servers\\"",'
        '"min-active-members":1,"load-balancing-mode":"least-connections-member","partition":"Tenant"}')
    assert list(pool.to_dict()) == ["name", "members", "monitor", "description", "min-active-members",
                                    "load-balancing-mode", "partition"]
    # TOML: plain values in byte order, then one [[members]] section per member with its [members.fqdn]
    assert pool.to_toml() == (
        'description = "\\"App servers\\""\n'
        'load-balancing-mode = "least-connections-member"\n'
        "min-active-members = 1\n"
        'monitor = "/Tenant/mon_app and /Common/gateway_icmp"\n'
        'name = "pool_app"\n'
        'partition = "Tenant"\n'
        "\n[[members]]\n"
        'destination = "10.1.10.1%2"\nname = "10.1.10.1%2:80"\npriority-group = 10\nratio = 2\n'
        'session = "monitor-enabled"\nstate = "up"\n'
        "\n[[members]]\n"
        'destination = "app.backend.example.com"\nname = "app-fqdn:443"\n'
        "\n[members.fqdn]\n"
        'autopopulate = "enabled"\nname = "app.backend.example.com"\n'
        "\n[[members]]\n"
        'destination = "10.1.10.3"\nmonitor = "/Common/tcp"\nname = "10.1.10.3:http"\n'
        "\n[[members]]\n"
        'destination = "none"\nname = "bare"\nsession = "user-disabled"\n')
    assert pool.to_yaml() == (
        "name: pool_app\n"
        "members:\n"
        "- name: 10.1.10.1%2:80\n  destination: 10.1.10.1%2\n  priority-group: 10\n  session: monitor-enabled\n"
        "  state: up\n  ratio: 2\n"
        "- name: app-fqdn:443\n  destination: app.backend.example.com\n  fqdn:\n    autopopulate: enabled\n"
        "    name: app.backend.example.com\n"
        "- name: 10.1.10.3:http\n  destination: 10.1.10.3\n  monitor: /Common/tcp\n"
        "- name: bare\n  destination: none\n  session: user-disabled\n"
        "monitor: /Tenant/mon_app and /Common/gateway_icmp\n"
        "description: '\"App servers\"'\n"
        "min-active-members: 1\n"
        "load-balancing-mode: least-connections-member\n"
        "partition: Tenant\n")


@pytest.mark.parametrize("document,csv", [
    ({"name": "web_pool", "monitor": "tcp"}, "name,monitor\nweb_pool,tcp\n"),
    ({"name": "web_pool", "load-balancing-mode": "", "partition": ""},
     "name,load-balancing-mode,partition\nweb_pool,,\n"),
    ({"name": "a,b", "description": 'say "hi"', "min-active-members": 3},
     'name,description,min-active-members\n"a,b","say ""hi""",3\n'),
    ({"name": ""}, 'name\n""\n'),
])
def test_csv(document, csv):
    assert pool_from(document).try_to_csv() == csv


# ---- Readers ----------------------------------------------------------------------------------------

POOL_ONLY_NAME = {"name": "web_pool", "members": [], "monitor": "", "description": "",
                  "min_active_members": 0, "lb_mode": "round-robin"}


@pytest.mark.parametrize("fmt,text", [
    ("json", '{"name":"web_pool"}'),
    ("json", '["web_pool"]'),
    ("json", '{"lb_mode":"x","min_active_members":3,"Name":"y","name":"web_pool","zz":1,"zz":[{}]}'),
    ("yaml", "name: web_pool\n"),
    ("yaml", "name: web_pool\nlb_mode: x\nzz: 1\nzz: [1]\n"),
    ("yaml", "name: web_pool\nmembers:\n"),
    ("yaml", "name: web_pool\nmembers: []\n"),
    ("toml", 'name = "web_pool"\n'),
    ("toml", 'name = "web_pool"\nlb_mode = "x"\nzz = 1\nzz = 2\n'),
    ("toml", 'name = "web_pool"\nmembers = []\n'),
])
def test_absent_keys_read_as_the_values_the_writers_leave_out(fmt, text):
    pool = read(Pool, fmt, text)
    assert pool_state(pool) == dict(POOL_ONLY_NAME, partition="<none>")
    assert pool.to_json() == '{"name":"web_pool"}'
    assert pool.try_to_csv() == "name\nweb_pool\n"


def test_a_listing_read_back_writes_what_it_wrote():
    pool = Pool("ltm pool web_pool { }")
    for fmt in FORMATS:
        again = read(Pool, fmt, write(pool, fmt))
        assert again.to_json() == '{"name":"web_pool"}', fmt
        assert again.lb_mode == "round-robin", fmt


@pytest.mark.parametrize("fmt,text,names", [
    ("json", '{"name":"p","members":[{"name":"m1"},["m2","10.0.0.2:80"]]}', ["m1", "m2"]),
    ("yaml", "name: p\nmembers:\n- &m {name: m1}\n- *m\n", ["m1", "m1"]),
    ("toml", 'name = "p"\n[[members]]\nname = "m1"\n[[members]]\nname = "m2"\n', ["m1", "m2"]),
    ("toml", 'name = "p"\nmembers = [["m1"], {name = "m2"}]\n', ["m1", "m2"]),
])
def test_members_readers(fmt, text, names):
    pool = read(Pool, fmt, text)
    assert [m.name.get_val() for m in pool.members] == names
    assert all(m.ratio == 1 and m.monitor == "default" for m in pool.members)


@pytest.mark.parametrize("fmt,text,message", [
    ("json", "{}", "missing field `name` at line 1 column 2"),
    ("json", "[]", "invalid length 0, expected struct Pool with 7 elements at line 1 column 2"),
    ("json", "null", "invalid type: null, expected struct Pool at line 1 column 4"),
    ("json", '{"name":"a","name":"b"}', "duplicate field `name` at line 1 column 18"),
    ("json", '["a",[],"","",0,"","",1]', "trailing characters at line 1 column 23"),
    ("json", '{"name":"a","min-active-members":65536}',
     "invalid value: integer `65536`, expected u16 at line 1 column 38"),
    ("json", '{"name":"a","min-active-members":-1}',
     "invalid value: integer `-1`, expected u16 at line 1 column 35"),
    ("json", '{"name":"a","min-active-members":1.0}',
     "invalid type: floating point `1.0`, expected u16 at line 1 column 36"),
    ("json", '{"name":"a","min-active-members":"5"}',
     'invalid type: string "5", expected u16 at line 1 column 36'),
    ("json", '{"name":"a","members":null}', "invalid type: null, expected a sequence at line 1 column 26"),
    ("json", '{"name":"a","members":[[]]}',
     "invalid length 0, expected struct PoolMember with 8 elements at line 1 column 25"),
    ("json", '{"name":"a"} {}', "trailing characters at line 1 column 14"),
    ("yaml", "", "missing field `name`"),
    ("yaml", "- a\n", "invalid type: sequence, expected struct Pool"),
    ("yaml", "web\n", 'invalid type: string "web", expected struct Pool'),
    ("yaml", "~\n", "invalid type: unit value, expected struct Pool"),
    ("yaml", "name: a\nname: [1]\n", "duplicate field `name`"),  # no place for line 1, column 1
    ("yaml", "name: a\nmembers:\n- name: m\n  name: n\n", "members[0]: duplicate field `name` at line 3 column 3"),
    ("yaml", "name: a\nmin-active-members: 65536\n",
     "min-active-members: invalid value: integer `65536`, expected u16 at line 2 column 21"),
    ("yaml", "name: a\nmin-active-members: five\n",
     'min-active-members: invalid type: string "five", expected u16 at line 2 column 21'),
    ("yaml", "name: a\nmembers: ~\n", "members: invalid type: unit value, expected a sequence at line 2 column 10"),
    ("yaml", "name: a\nmembers:\n- [m]\n",
     "members[0]: invalid type: sequence, expected struct PoolMember at line 3 column 3"),
    ("yaml", "name: a\nmembers:\n- name: m1\n- name: m2\n  ratio: -1\n",
     "members[1].ratio: invalid type: integer `-1`, expected u16 at line 5 column 10"),
    ("toml", "# only a comment\n", "missing field `name`"),
    ("toml", 'name = "a"\n[members]\nname = "m"\n',
     "invalid type: map, expected a sequence for key `members` at line 2 column 1"),
    ("toml", 'name = "a"\nmembers = [[]]\n',
     "invalid length 0, expected struct PoolMember with 8 elements for key `members` at line 2 column 12"),
    ("toml", 'name = "a"\nmembers = [["m", "", 0, "", "", [], "", 1, 9]]\n',
     "invalid length 9, expected 8 elements in sequence for key `members` at line 2 column 12"),
    ("toml", 'name = "a"\nmembers = [1979-05-27]\n', "missing field `name` for key `members` at line 2 column 12"),
    ("toml", 'name = "a"\nname = "b"\n', "duplicate field `name` at line 1 column 1"),
    ("toml", 'name = "a"\n[[members]]\nname = "m"\nname = "n"\n',
     "duplicate field `name` for key `members` at line 2 column 1"),
])
def test_reader_messages(fmt, text, message):
    with pytest.raises(RuntimeError) as caught:
        read(Pool, fmt, text)
    assert str(caught.value) == message


# ---- Attributes -------------------------------------------------------------------------------------


def test_members_are_copied_in_and_out():
    pool = Pool(POOL_TEXT)
    pool.members.append(PoolMember("extra"))
    assert len(pool.members) == 4
    first = pool.members[0]
    first.ratio = 9
    assert pool.members[0].ratio == 2
    m1, m2 = PoolMember("m1"), PoolMember("m2")
    pool.members = (m1, m2)
    m1.ratio = 7
    assert [(m.name.get_val(), m.ratio) for m in pool.members] == [("m1", 1), ("m2", 1)]


def test_name_setter_copies_an_ltm_path():
    pool = Pool("ltm pool p { }")
    path = LtmPath("/Prod/web_pool")
    pool.name = path
    assert pool.name.get_val() == "/Prod/web_pool"
    assert pool.to_json() == '{"name":"/Prod/web_pool"}'


@pytest.mark.parametrize("field,value,error,message", [
    ("members", "m1", ValueError, "Can't extract `str` to `Vec`"),
    ("members", 5, TypeError, "'int' object cannot be converted to 'Sequence'"),
    ("members", [PoolMember("x"), MemberFqdn("y")], TypeError,
     "'MemberFqdn' object cannot be converted to 'PoolMember'"),
    ("name", "p2", TypeError, "'str' object cannot be converted to 'LtmPath'"),
    ("min_active_members", 65536, OverflowError, "out of range integral type conversion attempted"),
    ("min_active_members", -1, OverflowError, "out of range integral type conversion attempted"),
    ("min_active_members", "1", TypeError, None),
    ("monitor", 1, TypeError, "'int' object cannot be converted to 'PyString'"),
    ("lb_mode", None, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
    ("partition", 1, TypeError, "'int' object cannot be converted to 'PyString'"),
])
def test_setter_errors_leave_the_pool_unchanged(field, value, error, message):
    pool = Pool(POOL_TEXT)
    before = pool.to_json()
    with pytest.raises(error) as caught:
        setattr(pool, field, value)
    if message is not None:
        assert str(caught.value) == message
    assert pool.to_json() == before


def test_partition_is_write_only():
    pool = Pool("ltm pool p { }")
    pool.partition = "Prod"
    assert pool.to_json() == '{"name":"p","partition":"Prod"}'
    with pytest.raises(AttributeError):
        pool.partition
    for field in ["name", "members", "monitor", "description", "min_active_members", "lb_mode", "partition"]:
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(pool, field)


def test_extraction_refuses_other_classes():
    pool = Pool("ltm pool p { }")
    with pytest.raises(TypeError) as caught:
        pool.members = [MemberFqdn("x")]
    assert str(caught.value).startswith("'MemberFqdn'") and str(caught.value).endswith("'PoolMember'")


# ---- Round trips (of generated pools: test_round_trips.py) -------------------------------------------

# What the written-when rules drop from a pool: (document, the document it reads back as).
DROPPED = [
    ({"name": "p", "monitor": "  "}, {"name": "p", "monitor": ""}),
    ({"name": "p", "description": "\n"}, {"name": "p", "description": ""}),
    ({"name": "p", "load-balancing-mode": " ROUND-ROBIN "}, {"name": "p", "load-balancing-mode": "round-robin"}),
    ({"name": "p", "members": [{"name": "m", "state": " "}]}, {"name": "p", "members": [{"name": "m"}]}),
]


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("document,read_back", DROPPED)
def test_written_when_rules_drop(fmt, document, read_back):
    again = read(Pool, fmt, write(pool_from(document), fmt))
    assert pool_state(again) == pool_state(pool_from(read_back))
    assert pool_state(again) != pool_state(pool_from(document))


def test_members_setter_holds_the_pool_while_it_reads_the_sequence():
    pool = Pool("ltm pool p { }")

    class Peeking(list):
        def __iter__(self):
            pool.monitor  # the pool is exclusively borrowed by its own setter
            return super().__iter__()

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        pool.members = Peeking([PoolMember("m")])
    assert pool.to_json() == '{"name":"p"}'
