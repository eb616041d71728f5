"""Pool members and their FQDN settings: MemberFqdn and PoolMember."""
import json
import re

import pytest

from helpers import (DEFAULT_MEMBER, FORMATS, WHITE_SPACE, attributes, fqdn_pair, member_from, member_state, read,
                     write)
from quilvarn import LtmPath, MemberFqdn, Pool, PoolMember

# ---- MemberFqdn --------------------------------------------------------------------------------------


@pytest.mark.parametrize("name", ["app", " app ", "", "\u3000app\u3000", "a,b"])
def test_memberfqdn_constructor_keeps_the_name_as_given(name):
    fqdn = MemberFqdn(name)
    assert (fqdn.autopopulate, fqdn.name) == ("disabled", name)
    assert str(fqdn) == name
    assert re.fullmatch(r"MemberFqdn: 0x[0-9a-f]+,  " + re.escape(name), repr(fqdn), re.S)
    assert fqdn.to_json() == json.dumps({"autopopulate": "disabled", "name": name},
                                        separators=(",", ":"), ensure_ascii=False)


def test_memberfqdn_writers_write_both_keys_always():
    fqdn = MemberFqdn.from_json("{}")
    assert (fqdn.autopopulate, fqdn.name) == ("", "")
    assert fqdn.to_json() == '{"autopopulate":"","name":""}'
    assert fqdn.to_dict() == {"autopopulate": "", "name": ""}
    assert list(MemberFqdn("app").to_dict()) == ["autopopulate", "name"]
    assert MemberFqdn("app").to_toml() == 'autopopulate = "disabled"\nname = "app"\n'


@pytest.mark.parametrize("autopopulate,name,csv", [
    ("disabled", "app", "autopopulate,name\ndisabled,app\n"),
    ("a,b", "app", 'autopopulate,name\n"a,b",app\n'),
    ('say "x"', "line\nfeed", 'autopopulate,name\n"say ""x""","line\nfeed"\n'),
    ("", "", 'autopopulate,name\n,\n'),
])
def test_memberfqdn_csv(autopopulate, name, csv):
    fqdn = MemberFqdn(name)
    fqdn.autopopulate = autopopulate
    assert fqdn.try_to_csv() == csv


@pytest.mark.parametrize("fmt,text,expected", [
    ("json", '{"name":"app","extra":[1,{"x":null}]}', ("", "app")),
    ("json", '["enabled","app"]', ("enabled", "app")),
    ("json", "[]", ("", "")),
    ("yaml", "name: app\nextra: [1, 2]\n", ("", "app")),
    ("yaml", "", ("", "")),
    ("yaml", "# only a comment\n", ("", "")),
    ("toml", 'name = "app"\nextra = 1\n', ("", "app")),
    ("toml", "", ("", "")),
])
def test_memberfqdn_readers(fmt, text, expected):
    fqdn = read(MemberFqdn, fmt, text)
    assert (fqdn.autopopulate, fqdn.name) == expected


@pytest.mark.parametrize("fmt,text,message", [
    ("json", '{"name":"a","name":"b"}', "duplicate field `name` at line 1 column 18"),
    ("json", '["a","b","c"]', "trailing characters at line 1 column 10"),
    ("json", "5", "invalid type: integer `5`, expected struct MemberFqdn at line 1 column 1"),
    ("yaml", "name: a\nname: b\n", "duplicate field `name`"),
    ("yaml", "- a\n", "invalid type: sequence, expected struct MemberFqdn"),
    ("toml", 'name = "a"\nname = "b"\n', "duplicate field `name` at line 1 column 1"),
])
def test_memberfqdn_reader_messages(fmt, text, message):
    with pytest.raises(RuntimeError) as caught:
        read(MemberFqdn, fmt, text)
    assert str(caught.value) == message


def test_memberfqdn_setters():
    fqdn = MemberFqdn("app")
    fqdn.autopopulate = " enabled "
    fqdn.name = "\tapp\t"
    assert (fqdn.autopopulate, fqdn.name) == (" enabled ", "\tapp\t")
    with pytest.raises(TypeError, match=r"^'int' object cannot be converted to 'PyString'$"):
        fqdn.name = 5
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        del fqdn.autopopulate
    assert (fqdn.autopopulate, fqdn.name) == (" enabled ", "\tapp\t")


@pytest.mark.parametrize("call,message", [
    (lambda: MemberFqdn(), "MemberFqdn.__new__() missing 1 required positional argument: 'name'"),
    (lambda: MemberFqdn(5), "argument 'name': 'int' object cannot be converted to 'PyString'"),
    (lambda: MemberFqdn.from_json(b"{}"), "argument 'json': 'bytes' object cannot be converted to 'PyString'"),
    (lambda: PoolMember(None), "argument 'name': 'NoneType' object cannot be converted to 'PyString'"),
    (lambda: PoolMember.from_toml(toml=1), "argument 'toml': 'int' object cannot be converted to 'PyString'"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


# ---- PoolMember: construction and defaults ------------------------------------------------------------


@pytest.mark.parametrize("given_name,stored", [
    ("web1", "web1"), ("  web1  ", "web1"), (WHITE_SPACE + "web1" + WHITE_SPACE, "web1"),
    ("\u200bweb1", "\u200bweb1"), ("/Common/10.1.10.1:80", "/Common/10.1.10.1:80"), ("   ", ""),
])
def test_constructor_trims_the_name_and_takes_the_defaults(given_name, stored):
    member = PoolMember(given_name)
    assert attributes(member) == dict(DEFAULT_MEMBER, name=stored)
    assert fqdn_pair(member) == ("disabled", "none")
    assert member.to_json() == json.dumps({"name": stored}, separators=(",", ":"), ensure_ascii=False)
    assert str(member) == stored
    assert re.fullmatch(r"PoolMember: 0x[0-9a-f]+,  " + re.escape(stored), repr(member))


def test_new_default_round_trips_in_every_format():
    member = PoolMember.new_default()
    assert attributes(member) == DEFAULT_MEMBER
    assert member.to_json() == '{"name":""}'
    for fmt in FORMATS:
        again = read(PoolMember, fmt, write(member, fmt))
        assert attributes(again) == DEFAULT_MEMBER, fmt
        assert fqdn_pair(again) == ("disabled", "none"), fmt
        assert again.to_json() == '{"name":""}', fmt


# ---- PoolMember: written-when rules ------------------------------------------------------------------


@pytest.mark.parametrize("field,value,written", [
    # monitor: left out when blank or "default" once trimmed, ASCII case ignored
    ("monitor", "default", False),
    ("monitor", "DEFAULT", False),
    ("monitor", " default ", False),
    ("monitor", "\u3000DeFault\xa0", False),
    ("monitor", "", False),
    ("monitor", WHITE_SPACE, False),
    ("monitor", "tcp ", True),
    ("monitor", "\u200bdefault", True),          # zero-width space is no white space
    ("monitor", "\uff24EFAULT", True),            # a full-width letter is not folded
    ("monitor", "defaults", True),
    # destination, session, state: left out when blank
    ("destination", " \t", False),
    ("destination", "10.1.10.1:80", True),
    ("session", "\u2028", False),
    ("session", " user-enabled ", True),
    ("state", "", False),
    ("state", "up", True),
    # numbers
    ("priority_group", 0, False),
    ("priority_group", 1, True),
    ("ratio", 1, False),
    ("ratio", 0, True),
    ("ratio", 65535, True),
])
def test_written_when(field, value, written):
    member = PoolMember("web1")
    setattr(member, field, value)
    key = field.replace("_", "-")
    document = json.loads(member.to_json())
    assert (key in document) == written
    if written:
        assert document[key] == value  # the stored text, untrimmed
    assert (key in member.to_dict()) == written


@pytest.mark.parametrize("autopopulate,written", [
    ("disabled", False), ("Disabled", False), ("  DISABLED\u3000", False), ("   ", False), ("", False),
    ("enabled", True), ("disabled-ish", True), ("\u0131disabled", True),
])
def test_fqdn_written_when_autopopulate_is_neither_blank_nor_disabled(autopopulate, written):
    member = PoolMember("web1")
    fqdn = MemberFqdn("")
    fqdn.autopopulate = autopopulate
    member.fqdn = fqdn
    assert ("fqdn" in json.loads(member.to_json())) == written
    if written:  # both keys, the empty name too
        assert json.loads(member.to_json())["fqdn"] == {"autopopulate": autopopulate, "name": ""}
        with pytest.raises(ValueError) as caught:
            member.try_to_csv()
        assert str(caught.value) == ("CSV write error: cannot serialize MemberFqdn container inside "
                                     "struct when writing headers from structs")
    else:
        assert member.try_to_csv() == "name\nweb1\n"


def test_writers_exact_output():
    member = PoolMember.from_json(json.dumps({
        "name": "web1", "destination": "10.1.10.1:80", "priority-group": 3, "session": "user-enabled",
        "state": "user-up", "fqdn": {"autopopulate": "enabled", "name": "app"}, "monitor": "tcp",
        "ratio": 2}))
    assert member.to_json() == (
        '{"name":"web1","destination":"10.1.10.1:80","priority-group":3,"session":"user-enabled",'
        '"state":"user-up","fqdn":{"autopopulate":"enabled","name":"app"},"monitor":"tcp","ratio":2}')
    assert member.to_dict() == {
        "name": "web1", "destination": "10.1.10.1:80", "priority-group": 3, "session": "user-enabled",
        "state": "user-up", "fqdn": {"autopopulate": "enabled", "name": "app"}, "monitor": "tcp",
        "ratio": 2}
    assert list(member.to_dict()) == ["name", "destination", "priority-group", "session", "state",
                                      "fqdn", "monitor", "ratio"]
    # TOML keys in byte order, the FQDN settings as a sub-table after the plain values
    assert member.to_toml() == (
        'destination = "10.1.10.1:80"\nmonitor = "tcp"\nname = "web1"\npriority-group = 3\nratio = 2\n'
        'session = "user-enabled"\nstate = "user-up"\n\n[fqdn]\nautopopulate = "enabled"\nname = "app"\n')
    assert member.to_yaml() == (
        "name: web1\ndestination: 10.1.10.1:80\npriority-group: 3\nsession: user-enabled\n"
        "state: user-up\nfqdn:\n  autopopulate: enabled\n  name: app\nmonitor: tcp\nratio: 2\n")
    plain = PoolMember("web1")
    plain.destination = "10.1.10.1:80"
    assert plain.try_to_csv() == "name,destination\nweb1,10.1.10.1:80\n"
    assert plain.to_yaml() == "name: web1\ndestination: 10.1.10.1:80\n"


# ---- PoolMember: readers -----------------------------------------------------------------------------


@pytest.mark.parametrize("fmt,text", [
    ("json", '{"name":"m"}'),
    ("json", '["m"]'),
    ("yaml", "name: m\n"),
    ("toml", 'name = "m"\n'),
])
def test_absent_keys_read_as_the_values_the_writers_leave_out(fmt, text):
    member = read(PoolMember, fmt, text)
    assert attributes(member) == dict(DEFAULT_MEMBER, name="m")
    assert fqdn_pair(member) == ("disabled", "none")
    assert member.to_json() == '{"name":"m"}'


@pytest.mark.parametrize("fmt,text,fqdn", [
    ("json", '{"name":"m","fqdn":{}}', ("", "")),
    ("json", '["m","",0,"","",[]]', ("", "")),
    ("json", '["m","",0,"",""]', ("disabled", "none")),
    ("json", '{"name":"m","fqdn":["enabled"]}', ("enabled", "")),
    ("yaml", "name: m\nfqdn:\n", ("", "")),
    ("yaml", "name: m\nfqdn: {}\n", ("", "")),
    ("yaml", "name: m\nfqdn:\n  autopopulate: enabled\n", ("enabled", "")),
    ("toml", 'name = "m"\n[fqdn]\nautopopulate = "enabled"\n', ("enabled", "")),
    ("toml", 'name = "m"\nfqdn = ["enabled", "app"]\n', ("enabled", "app")),
    ("toml", 'name = "m"\nfqdn = []\n', ("", "")),
    ("toml", 'name = "m"\nfqdn.name = "app"\n', ("", "app")),
    ("toml", 'name = "m"\nfqdn = 1979-05-27T07:32:00Z\n', ("", "")),
])
def test_fqdn_readers(fmt, text, fqdn):
    assert fqdn_pair(read(PoolMember, fmt, text)) == fqdn


@pytest.mark.parametrize("fmt,text,message", [
    ("json", "{}", "missing field `name` at line 1 column 2"),
    ("json", "[]", "invalid length 0, expected struct PoolMember with 8 elements at line 1 column 2"),
    ("json", '{"name":"a","name":"b"}', "duplicate field `name` at line 1 column 18"),
    ("json", '{"name":"a","ratio":65536}', "invalid value: integer `65536`, expected u16 at line 1 column 25"),
    ("json", '{"name":"a","ratio":-1}', "invalid value: integer `-1`, expected u16 at line 1 column 22"),
    ("json", '{"name":"a","ratio":1.0}', "invalid type: floating point `1.0`, expected u16 at line 1 column 23"),
    ("json", '{"name":"a","ratio":"5"}', 'invalid type: string "5", expected u16 at line 1 column 23'),
    ("json", '{"name":"a","fqdn":null}', "invalid type: null, expected struct MemberFqdn at line 1 column 23"),
    ("json", '{"name":null}', "invalid type: null, expected a string at line 1 column 12"),
    ("json", '["a","",0,"","",{},"",0,1]', "trailing characters at line 1 column 25"),
    ("json", '{"Name":"a"}', "missing field `name` at line 1 column 12"),
    ("yaml", "", "missing field `name`"),
    ("yaml", "- name: a\n", "invalid type: sequence, expected struct PoolMember"),
    ("yaml", "name: a\nratio: 65536\n", "ratio: invalid value: integer `65536`, expected u16 at line 2 column 8"),
    ("yaml", "name: a\nratio: -1\n", "ratio: invalid type: integer `-1`, expected u16 at line 2 column 8"),
    ("yaml", "name: a\nratio:\n", "ratio: invalid type: unit value, expected u16 at line 2 column 7"),
    ("yaml", "name: a\nfqdn: [a, b]\n", "fqdn: invalid type: sequence, expected struct MemberFqdn at line 2 column 7"),
    ("toml", "", "missing field `name`"),
    ("toml", 'name = "a"\nratio = 65536\n', "invalid value: integer `65536`, expected u16 for key `ratio` at line 2 column 9"),
    ("toml", 'name = "a"\nratio = 1.5\n', "invalid type: floating point `1.5`, expected u16 for key `ratio` at line 2 column 9"),
    ("toml", 'name = "a"\nratio = true\n', "invalid type: boolean `true`, expected u16 for key `ratio` at line 2 column 9"),
    ("toml", 'name = "a"\nfqdn = 5\n', "invalid type: integer `5`, expected struct MemberFqdn for key `fqdn` at line 2 column 8"),
    ("toml", 'name = "a"\nfqdn = ["a", "b", "c"]\n', "invalid length 3, expected 2 elements in sequence for key `fqdn` at line 2 column 8"),
    ("toml", 'name = "a"\n[[fqdn]]\nname = "x"\n', "invalid type: map, expected a string for key `fqdn` at line 2 column 1"),
])
def test_reader_messages(fmt, text, message):
    with pytest.raises(RuntimeError) as caught:
        read(PoolMember, fmt, text)
    assert str(caught.value) == message


@pytest.mark.parametrize("fmt,text,name", [
    ("json", '{"name":"  web1 "}', "  web1 "),
    ("yaml", "name: '  web1 '\n", "  web1 "),
    ("yaml", "name: 8080\n", "8080"),
    ("yaml", "name: ~\n", "~"),
    ("yaml", "name:\n", ""),
    ("toml", "name = '  web1 '\n", "  web1 "),
])
def test_readers_keep_texts_as_written(fmt, text, name):
    assert read(PoolMember, fmt, text).name.get_val() == name


# ---- PoolMember: attributes ------------------------------------------------------------------------


def test_name_and_fqdn_are_copied_in_and_out():
    member = PoolMember("web1")
    member.name = LtmPath("  /Common/web2  ")  # LtmPath trims when it is built
    assert member.name.get_val() == "/Common/web2"
    fqdn = MemberFqdn("app")
    fqdn.autopopulate = "enabled"
    member.fqdn = fqdn
    fqdn.name = "changed"
    got = member.fqdn
    got.name = "changed too"
    assert fqdn_pair(member) == ("enabled", "app")


@pytest.mark.parametrize("field,value,error,message", [
    ("ratio", 65536, OverflowError, "out of range integral type conversion attempted"),
    ("ratio", -1, OverflowError, "out of range integral type conversion attempted"),
    ("priority_group", 1 << 70, OverflowError, None),
    ("ratio", "5", TypeError, None),
    ("ratio", 1.0, TypeError, None),
    ("name", "web2", TypeError, "'str' object cannot be converted to 'LtmPath'"),
    ("fqdn", PoolMember("x"), TypeError, "'PoolMember' object cannot be converted to 'MemberFqdn'"),
    ("monitor", None, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
    ("destination", b"x", TypeError, "'bytes' object cannot be converted to 'PyString'"),
])
def test_setter_errors_leave_the_member_unchanged(field, value, error, message):
    member = PoolMember("web1")
    before = member.to_json()
    with pytest.raises(error) as caught:
        setattr(member, field, value)
    if message is not None:
        assert str(caught.value) == message
    assert member.to_json() == before


def test_integer_setters_take_the_index_protocol():
    member = PoolMember("web1")
    member.ratio = True
    member.priority_group = 65535
    assert (member.ratio, member.priority_group) == (1, 65535)


@pytest.mark.parametrize("field", list(DEFAULT_MEMBER) + ["fqdn"])
def test_attributes_cannot_be_deleted(field):
    member = PoolMember("web1")
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(member, field)


# ---- get_dest_ip ----------------------------------------------------------------------------------


@pytest.mark.parametrize("destination,address", [
    ("10.1.10.1:80", "10.1.10.1"),
    ("/Common/10.1.10.1%2:80", "10.1.10.1"),
    ("10.1.10.1:ftp", "10.1.10.1"),
    ("10.1.10.1", "10.1.10.1"),             # a listing's "address" line has no port
    ("10.1.10.1%2", "10.1.10.1"),
    (" 10.1.10.1 ", "10.1.10.1"),
    ("010.001.300.1:80", "010.001.300.1"),  # digit runs as written, no range check
    ("10.1.10.1 junk", ""),
    ("10.1.10:80", ""),
    ("app.example.com", ""),
    ("none", ""),
    # IPv6 destinations, written as object paths with "." before the port
    ("2001:db8::1.80", "2001:db8::1"),
    ("/Common/2001:db8::1.80", "2001:db8::1"),
    ("2001:db8::1", "2001:db8::1"),         # an "address" line
    ("fe80::1%2", "fe80::1"),
    ("/Prod/fe80::1%2.https", "fe80::1"),
    (" ::ffff:10.0.0.1 ", "::ffff:10.0.0.1"),
    ("::ffff:10.0.0.1.any", "::ffff:10.0.0.1"),
    ("2001:db8::1:80", "2001:db8::1:80"),   # valid as a whole: the last group is 80, not a port
    ("[2001:db8::1]:80", ""),
    ("2001:db8::1.80 junk", ""),
    ("2001:db8::g", ""),
    ("a:b", ""),
    ("", ""),
])
def test_get_dest_ip(destination, address):
    member = PoolMember("m")
    member.destination = destination
    assert member.get_dest_ip() == address


# ---- Names read from configuration text -------------------------------------------------------------

ADDRESS = "            address {}\n"
FQDN = "            fqdn {{\n                autopopulate enabled\n                name {}\n            }}\n"

MEMBER_NAMES = [
    # the member's path in the listing, its body, then its name, port (or the error), route domain and
    # get_dest_ip(): the name keeps address or FQDN, route domain and port, without the partition
    ("/Common/10.1.10.1:80", ADDRESS.format("10.1.10.1"), "10.1.10.1:80", 80, None, "10.1.10.1"),
    ("/Common/10.1.10.1%2:8080", ADDRESS.format("10.1.10.1%2"), "10.1.10.1%2:8080", 8080, 2, "10.1.10.1"),
    ("/Tenant/10.1.10.1:http", ADDRESS.format("10.1.10.1"), "10.1.10.1:http", 80, None, "10.1.10.1"),
    ("10.1.10.1:8443", ADDRESS.format("10.1.10.1"), "10.1.10.1:8443", 8443, None, "10.1.10.1"),
    ("app.example.com:443", FQDN.format("app.example.com"), "app.example.com:443", 443, None, ""),
    ("/Common/app.example.com:https", FQDN.format("app.example.com"), "app.example.com:https", 443, None, ""),
    # IPv6: "." before the port, the route domain before the "."
    ("/Common/2001:db8::1.443", ADDRESS.format("2001:db8::1"), "2001:db8::1.443", 443, None, "2001:db8::1"),
    ("/Common/fe80::1%2.https", ADDRESS.format("fe80::1%2"), "fe80::1%2.https", 443, 2, "fe80::1"),
    ("/Common/100.64.0.0:any", ADDRESS.format("100.64.0.0"), "100.64.0.0:any", 0, None, "100.64.0.0"),
    # in a folder the whole path, which has no port
    ("/Tenant/App/10.0.0.4:443", ADDRESS.format("10.0.0.4"), "/Tenant/App/10.0.0.4:443", "No port found!", None,
     "10.0.0.4"),
    # a name the object-path pattern does not match stays whole
    ("%weird", ADDRESS.format("10.0.0.1"), "%weird", "No port found!", None, "10.0.0.1"),
]


def members_of(*paths_and_bodies):
    """The members of a pool listing holding the given member blocks."""
    blocks = "".join(f"        {path} {{\n{body}        }}\n" for path, body in paths_and_bodies)
    return Pool("ltm pool /Common/p {\n    members {\n" + blocks + "    }\n}\n").members


def port_or_error(path):
    try:
        return path.get_port()
    except ValueError as error:
        return str(error)


@pytest.mark.parametrize("path,body,name,port,rd,address", MEMBER_NAMES)
def test_member_names_from_text_keep_address_and_port(path, body, name, port, rd, address):
    member, = members_of((path, body))
    assert (member.name.get_val(), port_or_error(member.name), member.name.get_route_domain(),
            member.get_dest_ip()) == (name, port, rd, address)


def test_members_on_one_address_have_a_name_per_port():
    members = members_of(*[(f"/Common/10.1.10.1{rest}", ADDRESS.format("10.1.10.1" + rest.split(":")[0]))
                           for rest in (":80", ":8080", ":8443", "%2:80")])
    assert [(m.name.get_val(), m.name.get_port(), m.get_dest_ip()) for m in members] == [
        ("10.1.10.1:80", 80, "10.1.10.1"), ("10.1.10.1:8080", 8080, "10.1.10.1"),
        ("10.1.10.1:8443", 8443, "10.1.10.1"), ("10.1.10.1%2:80", 80, "10.1.10.1")]


@pytest.mark.parametrize("fmt", FORMATS)
def test_member_names_from_text_round_trip(fmt):
    for member in members_of(*[(path, body) for path, body, *_ in MEMBER_NAMES]):
        text = write(member, fmt)
        again = read(PoolMember, fmt, text)
        assert (write(again, fmt), again.to_dict()) == (text, member.to_dict())
        assert json.loads(member.to_json()) == member.to_dict()


# ---- Round trips (of generated members and their FQDN settings: test_round_trips.py) ------------------

# What the written-when rules drop, so that the value read back differs from the value written:
# (document, the document the value reads back as)
DROPPED = [
    ({"name": "m", "destination": " "}, {"name": "m", "destination": ""}),
    ({"name": "m", "session": "\u3000"}, {"name": "m", "session": ""}),
    ({"name": "m", "state": "\t"}, {"name": "m", "state": ""}),
    ({"name": "m", "monitor": ""}, {"name": "m", "monitor": "default"}),
    ({"name": "m", "monitor": " DEFAULT "}, {"name": "m", "monitor": "default"}),
    ({"name": "m", "fqdn": {"autopopulate": "", "name": "app"}},
     {"name": "m", "fqdn": {"autopopulate": "disabled", "name": "none"}}),
    ({"name": "m", "fqdn": {"autopopulate": "Disabled", "name": "app"}},
     {"name": "m", "fqdn": {"autopopulate": "disabled", "name": "none"}}),
]


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("document,read_back", DROPPED)
def test_written_when_rules_drop(fmt, document, read_back):
    again = read(PoolMember, fmt, write(member_from(document), fmt))
    assert member_state(again) == member_state(member_from(read_back))
    assert member_state(again) != member_state(member_from(document))
