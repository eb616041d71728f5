"""The Virtual class: construction from configuration text, attributes, string forms, document
readers and writers and CSV failures (its round trips are in test_round_trips.py)."""
import json
import re

import pytest

import quilvarn
from helpers import (VIRTUAL_ATTRIBUTES, VIRTUAL_FLAGS, VIRTUAL_PATHS, VIRTUAL_TEXT, VIRTUAL_TEXT_LISTS,
                     VIRTUAL_TEXTS, make_profile, make_snat, plain, virtual_state)
from quilvarn import LtmPath, Snat, Virtual

# ---- helpers ---------------------------------------------------------------------------------------

FULL_JSON = (
    '{"name":"/Common/vs_web","destination":"/Common/10.0.0.1:443","description":"\\"Web front end\\"",'
    '"partition":"Common","ip-protocol":"tcp","creation-time":"2024-03-11:09:14:52",'
    '"last-modified-time":"2024-05-02:17:40:03","profiles":[{"name":"/Common/http"},'
    '{"name":"/Common/tcp","context":"clientside"}],"mask":"255.255.255.255","pool":"/Common/pool_web",'
    '"source-address-translation":{"type":"snat","pool":"/Common/snat_web"},"translate_address":"enabled",'
    '"translate_port":"enabled","vlans":["/Common/external","/Common/internal"],"vlans_enabled":true,'
    '"source":"0.0.0.0/0","disabled":true,"rules":["/Common/irule_a","/Common/irule_b"],'
    '"policies":[["/Common/policy_a",[]],["/Common/policy_b",["rule1","rule2"]]],'
    '"fw_enforced_policy":"/Common/fw","security_log_profiles":["/Common/log_a"]}'
)

DEFAULT_JSON = ('{"name":"","destination":"","ip-protocol":"","mask":"","translate_address":"",'
                '"translate_port":"","source":""}')

REQUIRED = '"name":"n","destination":"d","ip-protocol":"tcp","mask":"m"'


def error_of(call, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        call(*args, **kwargs)
    return info.type, str(info.value)


# ---- the class ----------------------------------------------------------------------------------------

def test_class_is_registered_in_order():
    assert quilvarn.Virtual is Virtual and quilvarn.Snat is Snat
    names = quilvarn.__all__
    assert names.index("Virtual") + 1 == names.index("Snat")
    assert "Profile" not in names and not hasattr(quilvarn, "Profile")
    assert Virtual.__module__ == "builtins" and Virtual.__name__ == "Virtual"


def test_class_cannot_be_subclassed_and_has_no_instance_dict():
    with pytest.raises(TypeError):
        type("Sub", (Virtual,), {})
    v = Virtual.new_default()
    with pytest.raises(AttributeError):
        v.other = 1


def test_equal_values_compare_by_identity():
    a, b = Virtual.new_default(), Virtual.new_default()
    assert a.to_json() == b.to_json()
    assert a != b and a == a


# ---- construction from configuration text --------------------------------------------------------

def test_full_text_fills_every_field():
    v = Virtual(VIRTUAL_TEXT)
    assert v.to_json() == FULL_JSON
    assert v.name.get_val() == "/Common/vs_web"
    assert v.partition == "Common"
    assert [(p.name, p.context) for p in v.profiles] == [("/Common/http", None), ("/Common/tcp", "clientside")]
    assert (v.snat.type_, v.snat.pool) == ("snat", "/Common/snat_web")
    assert v.policies == [("/Common/policy_a", []), ("/Common/policy_b", ["rule1", "rule2"])]
    assert v.vlans_enabled is True and v.disabled is True


def test_nested_unknown_block_keeps_the_properties_after_it():
    text = ("ltm virtual /Common/vs {\n    destination /Common/1.1.1.1:80\n"
            "    persist {\n        /Common/cookie {\n            default yes\n        }\n    }\n"
            "    pool /Common/p\n    profiles {\n        /Common/tcp { }\n    }\n}\n")
    v = Virtual(text)
    assert v.pool.get_val() == "/Common/p"
    assert [p.name for p in v.profiles] == ["/Common/tcp"]
    assert v.destination.get_val() == "/Common/1.1.1.1:80"


@pytest.mark.parametrize("text,attribute,expected", [
    # only the name is trimmed, with Unicode white space the grammar does not stop at
    ("ltm virtual \u00a0/Common/vs1\u00a0 {\n    mask m\n}\n", "name", ("path", "/Common/vs1")),
    ("ltm virtual /Common/v\u00a0s {\n    mask m\n}\n", "name", ("path", "/Common/v\u00a0s")),
    ("ltm virtual vs {\n    description  two words  \n}\n", "description", "two words  "),
    ("ltm virtual vs {\n    source 10.0.0.0/8  \n}\n", "source", "10.0.0.0/8  "),
    ("ltm virtual vs {\n    mask 255.0.0.0 \n}\n", "mask", "255.0.0.0 "),
    # paths in folders stay whole
    ("ltm virtual /Tenant/App1/web_vs {\n    pool /Tenant/App1/web_pool\n}\n", "pool",
     ("path", "/Tenant/App1/web_pool")),
    # the partition is the object's own line, never the name's
    ("ltm virtual /Common/vs1 {\n    mask m\n}\n", "partition", ""),
    ("ltm virtual vs1 {\n    partition Other\n}\n", "partition", "Other"),
    # absent parts keep their defaults
    ("ltm virtual vs {\n    mask m\n}\n", "creation_time", None),
    ("ltm virtual vs {\n    mask m\n}\n", "vlans_enabled", False),
    ("ltm virtual vs {\n    mask m\n}\n", "snat", ("Snat", {"type": ""}, "type: , pool: ")),
    ("ltm virtual vs {\n    source-address-translation {\n        type automap\n    }\n}\n", "snat",
     ("Snat", {"type": "automap"}, "type: automap, pool: ")),
    ("ltm virtual vs {\n    policies {\n        p1 { }\n        p1 { }\n    }\n}\n", "policies",
     [("p1", []), ("p1", [])]),
    ("ltm virtual vs {\n    vlans {\n        b\n        a\n        b\n    }\n}\n", "vlans", ["b", "a", "b"]),
    ("ltm virtual vs {\n    rules {\n        r\n        r\n    }\n}\n", "rules", ["r", "r"]),
    ("ltm virtual vs {\n    profiles {\n        tcp {\n            context all\n        }\n    }\n}\n",
     "profiles", [("Profile", {"name": "tcp", "context": "all"}, 'name: tcp, context: Some("all")')]),
])
def test_text_conversion(text, attribute, expected):
    assert plain(getattr(Virtual(text), attribute)) == expected


def test_only_the_first_object_counts():
    text = "ltm virtual first {\n    mask a\n}\nltm virtual second {\n    mask b\n}\nanything { at all"
    v = Virtual(text)
    assert (v.name.get_val(), v.mask) == ("first", "a")


def test_two_conversions_are_independent():
    a, b = Virtual(VIRTUAL_TEXT), Virtual(VIRTUAL_TEXT)
    a.vlans = []
    assert b.vlans == ["/Common/external", "/Common/internal"]


@pytest.mark.parametrize("text,message", [
    ("ltm pool p { }", 'Parsing Error: Error { input: "ltm pool p { }", code: Tag }'),
    ("  ltm virtual", 'Parsing Error: Error { input: "", code: MultiSpace }'),
    ("ltm virtual vs {\n}\n", 'Parsing Error: Error { input: "}\\n", code: IsNot }'),
    ("ltm virtual vs {\n    mask m\n", 'Parsing Error: Error { input: "", code: Tag }'),
    ("", 'Parsing Error: Error { input: "", code: Tag }'),
])
def test_parse_errors(text, message):
    assert error_of(Virtual, text) == (RuntimeError, message)


@pytest.mark.parametrize("args,kwargs,message", [
    ((), {}, "Virtual.__new__() missing 1 required positional argument: 'input'"),
    ((5,), {}, "argument 'input': 'int' object cannot be converted to 'PyString'"),
    ((), {"input": None}, "argument 'input': 'NoneType' object cannot be converted to 'PyString'"),
    (("a", "b"), {}, "Virtual.__new__() takes 1 positional arguments but 2 were given"),
    ((), {"text": "a"}, "Virtual.__new__() got an unexpected keyword argument 'text'"),
])
def test_constructor_arguments(args, kwargs, message):
    assert error_of(Virtual, *args, **kwargs) == (TypeError, message)


def test_keyword_input():
    assert Virtual(input="ltm virtual vs {\n    mask m\n}\n").mask == "m"


# ---- string forms ---------------------------------------------------------------------------------

def test_string_forms():
    v = Virtual.new_default()
    assert str(v) == "VS:  , destination: "
    v.name = "/Common/vs"
    v.destination = "/Common/1.1.1.1:80"
    v.description = "not shown"
    assert str(v) == "VS: /Common/vs , destination: /Common/1.1.1.1:80"
    assert re.fullmatch(r"VS: 0x[1-9a-f][0-9a-f]*, name: /Common/vs , destination: /Common/1\.1\.1\.1:80", repr(v))


# ---- attributes -------------------------------------------------------------------------------------

@pytest.mark.parametrize("attribute", VIRTUAL_TEXTS)
def test_text_attributes_store_unchanged(attribute):
    v = Virtual.new_default()
    assert getattr(v, attribute) == ""
    setattr(v, attribute, "  kept \u00a0")
    assert getattr(v, attribute) == "  kept \u00a0"


@pytest.mark.parametrize("attribute,key", [
    ("creation_time", "creation-time"),
    ("last_modified_time", "last-modified-time"),
    ("fw_enforced_policy", "fw_enforced_policy"),
])
def test_optional_attributes(attribute, key):
    v = Virtual.new_default()
    assert getattr(v, attribute) is None
    setattr(v, attribute, "")
    assert getattr(v, attribute) == ""
    assert json.loads(v.to_json())[key] == ""
    setattr(v, attribute, None)
    assert getattr(v, attribute) is None
    assert v.to_json() == DEFAULT_JSON


@pytest.mark.parametrize("attribute", VIRTUAL_TEXT_LISTS)
def test_text_list_attributes(attribute):
    v = Virtual.new_default()
    setattr(v, attribute, ("b", "a", "b"))
    got = getattr(v, attribute)
    assert got == ["b", "a", "b"] and isinstance(got, list)
    got.append("c")
    assert getattr(v, attribute) == ["b", "a", "b"]
    assert getattr(v, attribute) is not getattr(v, attribute)


@pytest.mark.parametrize("attribute", VIRTUAL_FLAGS)
def test_flag_attributes(attribute):
    v = Virtual.new_default()
    assert getattr(v, attribute) is False
    setattr(v, attribute, True)
    assert getattr(v, attribute) is True


@pytest.mark.parametrize("attribute,given,stored", [
    ("name", " /Common/vs1 ", "/Common/vs1"),
    ("destination", "\t/Common/1.1.1.1:80\u3000", "/Common/1.1.1.1:80"),
    ("pool", "\n/Common/p ", "/Common/p"),
    ("pool", "   ", ""),
])
def test_path_attributes_trim(attribute, given, stored):
    v = Virtual.new_default()
    setattr(v, attribute, given)
    got = getattr(v, attribute)
    assert isinstance(got, LtmPath) and got.get_val() == stored
    assert getattr(v, attribute) is not got


@pytest.mark.parametrize("names,partition", [
    ([" /Common/vs1 "], "Common"),
    (["vs1"], ""),
    (["/Common/vs1", "vs1"], ""),
    (["/Part/a/vs1%2:80"], "Part"),
    (["/Part/vs1", "/Other/vs2"], "Other"),
])
def test_name_setter_sets_the_partition(names, partition):
    v = Virtual.new_default()
    v.partition = "before"
    for n in names:
        v.name = n
    assert v.partition == partition


def test_partition_assigned_after_the_name_stays():
    v = Virtual.new_default()
    v.name = "/Common/vs1"
    v.partition = "Mine"
    v.destination = "/Other/1.1.1.1:80"
    v.pool = "/Other/p"
    assert v.partition == "Mine"


def test_path_setters_refuse_ltmpath_objects():
    v = Virtual(VIRTUAL_TEXT)
    other = Virtual.new_default()
    for attribute in VIRTUAL_PATHS:
        path = getattr(v, attribute)
        assert error_of(setattr, other, attribute, path) == (
            TypeError, "'LtmPath' object cannot be converted to 'PyString'")
        setattr(other, attribute, path.get_val())
        assert getattr(other, attribute).get_val() == path.get_val()


def test_profiles_and_snat_are_copies():
    v = Virtual(VIRTUAL_TEXT)
    profiles = v.profiles
    profiles[0].name = "changed"
    s = v.snat
    s.type_ = "changed"
    assert v.profiles[0].name == "/Common/http" and v.snat.type_ == "snat"
    v.profiles = profiles
    v.snat = s
    assert v.profiles[0].name == "changed" and v.snat.type_ == "changed"
    profiles[0].name = "after"
    assert v.profiles[0].name == "changed"


def test_profiles_setter_takes_copies_in_iteration_order():
    v = Virtual.new_default()
    v.profiles = (make_profile("a"), make_profile("b", ""))
    assert [(p.name, p.context) for p in v.profiles] == [("a", None), ("b", "")]


def test_policies_round_trip_through_the_attribute():
    v = Virtual.new_default()
    v.policies = [("p1", ["a", "b"]), ("p2", ())]
    assert v.policies == [("p1", ["a", "b"]), ("p2", [])]
    v.policies = v.policies
    assert v.policies == [("p1", ["a", "b"]), ("p2", [])]


class SetSubclass(set):
    pass


SET_ERRORS = [
    # attribute, value, exception, message
    ("description", 5, TypeError, "'int' object cannot be converted to 'PyString'"),
    ("description", None, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
    ("description", b"x", TypeError, "'bytes' object cannot be converted to 'PyString'"),
    ("mask", LtmPath("x"), TypeError, "'LtmPath' object cannot be converted to 'PyString'"),
    ("name", 5, TypeError, "'int' object cannot be converted to 'PyString'"),
    ("pool", None, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
    ("creation_time", 5, TypeError, "'int' object cannot be converted to 'PyString'"),
    ("disabled", 1, TypeError, "'int' object cannot be converted to 'PyBool'"),
    ("vlans_enabled", None, TypeError, "'NoneType' object cannot be converted to 'PyBool'"),
    ("vlans", "ab", ValueError, "Can't extract `str` to `Vec`"),
    ("rules", {"a"}, TypeError, "'set' object cannot be converted to 'Sequence'"),
    ("security_log_profiles", {"a": 1}, TypeError, "'dict' object cannot be converted to 'Sequence'"),
    ("vlans", iter(["a"]), TypeError, "'list_iterator' object cannot be converted to 'Sequence'"),
    ("vlans", ["a", 5], TypeError, "'int' object cannot be converted to 'PyString'"),
    ("profiles", "ab", ValueError, "Can't extract `str` to `Vec`"),
    ("profiles", [Snat()], TypeError, "'Snat' object cannot be converted to 'Profile'"),
    ("profiles", SetSubclass(), TypeError, "'SetSubclass' object cannot be converted to 'Sequence'"),
    ("snat", None, TypeError, "'NoneType' object cannot be converted to 'Snat'"),
    ("snat", {"type": "x"}, TypeError, "'dict' object cannot be converted to 'Snat'"),
    ("policies", "ab", ValueError, "Can't extract `str` to `Vec`"),
    ("policies", [["p1", ["a"]]], TypeError, "'list' object cannot be converted to 'PyTuple'"),
    ("policies", [("p1",)], ValueError, "expected tuple of length 2, but got tuple of length 1"),
    ("policies", [("p1", ["a"], "x")], ValueError, "expected tuple of length 2, but got tuple of length 3"),
    ("policies", [("p1", "ab")], ValueError, "Can't extract `str` to `Vec`"),
    ("policies", [(1, ["a"])], TypeError, "'int' object cannot be converted to 'PyString'"),
    ("policies", [("p1", [1])], TypeError, "'int' object cannot be converted to 'PyString'"),
    ("description", "\ud800", UnicodeEncodeError, None),
]


@pytest.mark.parametrize("attribute,value,exception,message", SET_ERRORS)
def test_setter_errors_keep_the_value(attribute, value, exception, message):
    v = Virtual(VIRTUAL_TEXT)
    before = virtual_state(v)
    kind, text = error_of(setattr, v, attribute, value)
    assert kind is exception
    if message is not None:
        assert text == message
    assert virtual_state(v) == before


@pytest.mark.parametrize("attribute", VIRTUAL_ATTRIBUTES)
def test_deleting_an_attribute_is_refused(attribute):
    v = Virtual(VIRTUAL_TEXT)
    before = virtual_state(v)
    assert error_of(delattr, v, attribute) == (AttributeError, "can't delete attribute")
    assert virtual_state(v) == before


def test_reading_while_an_assignment_runs_fails():
    v = Virtual.new_default()
    v.vlans = ["old"]

    class Reads:
        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i == 0:
                v.description  # the assignment holds the value
            raise IndexError

    assert error_of(setattr, v, "vlans", Reads()) == (RuntimeError, "Already mutably borrowed")
    assert v.vlans == ["old"]


def test_assigning_while_an_assignment_runs_fails():
    v = Virtual.new_default()

    class Writes:
        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i == 0:
                v.description = "x"
            raise IndexError

    assert error_of(setattr, v, "rules", Writes()) == (RuntimeError, "Already borrowed")
    assert v.description == "" and v.rules == []


# ---- new_default and the documents it writes ----------------------------------------------------

def test_new_default_writes():
    v = Virtual.new_default()
    assert v.to_json() == DEFAULT_JSON
    assert v.to_yaml() == ("name: ''\ndestination: ''\nip-protocol: ''\nmask: ''\ntranslate_address: ''\n"
                           "translate_port: ''\nsource: ''\n")
    assert v.to_toml() == ('destination = ""\nip-protocol = ""\nmask = ""\nname = ""\nsource = ""\n'
                           'translate_address = ""\ntranslate_port = ""\n')
    assert v.try_to_csv() == "name,destination,ip-protocol,mask,translate_address,translate_port,source\n,,,,,,\n"
    d = v.to_dict()
    assert d == {"name": "", "destination": "", "ip-protocol": "", "mask": "", "translate_address": "",
                 "translate_port": "", "source": ""}
    assert list(d) == list(json.loads(v.to_json()))


def test_new_default_takes_no_arguments():
    kind, _ = error_of(Virtual.new_default, 1)
    assert kind is TypeError


# ---- writers ----------------------------------------------------------------------------------------

FULL_YAML = """name: /Common/vs_web
destination: /Common/10.0.0.1:443
description: '"Web front end"'
partition: Common
ip-protocol: tcp
creation-time: 2024-03-11:09:14:52
last-modified-time: 2024-05-02:17:40:03
profiles:
- name: /Common/http
- name: /Common/tcp
  context: clientside
mask: 255.255.255.255
pool: /Common/pool_web
source-address-translation:
  type: snat
  pool: /Common/snat_web
translate_address: enabled
translate_port: enabled
vlans:
- /Common/external
- /Common/internal
vlans_enabled: true
source: 0.0.0.0/0
disabled: true
rules:
- /Common/irule_a
- /Common/irule_b
policies:
- - /Common/policy_a
  - []
- - /Common/policy_b
  - - rule1
    - rule2
fw_enforced_policy: /Common/fw
security_log_profiles:
- /Common/log_a
"""

FULL_TOML = """creation-time = "2024-03-11:09:14:52"
description = "\\"Web front end\\""
destination = "/Common/10.0.0.1:443"
disabled = true
fw_enforced_policy = "/Common/fw"
ip-protocol = "tcp"
last-modified-time = "2024-05-02:17:40:03"
mask = "255.255.255.255"
name = "/Common/vs_web"
partition = "Common"
policies = [["/Common/policy_a", []], ["/Common/policy_b", ["rule1", "rule2"]]]
pool = "/Common/pool_web"
rules = ["/Common/irule_a", "/Common/irule_b"]
security_log_profiles = ["/Common/log_a"]
source = "0.0.0.0/0"
translate_address = "enabled"
translate_port = "enabled"
vlans = ["/Common/external", "/Common/internal"]
vlans_enabled = true

[[profiles]]
name = "/Common/http"

[[profiles]]
context = "clientside"
name = "/Common/tcp"

[source-address-translation]
pool = "/Common/snat_web"
type = "snat"
"""

FULL_DICT = {
    "name": "/Common/vs_web", "destination": "/Common/10.0.0.1:443", "description": '"Web front end"',
    "partition": "Common", "ip-protocol": "tcp", "creation-time": "2024-03-11:09:14:52",
    "last-modified-time": "2024-05-02:17:40:03",
    "profiles": [{"name": "/Common/http"}, {"name": "/Common/tcp", "context": "clientside"}],
    "mask": "255.255.255.255", "pool": "/Common/pool_web",
    "source-address-translation": {"type": "snat", "pool": "/Common/snat_web"},
    "translate_address": "enabled", "translate_port": "enabled",
    "vlans": ["/Common/external", "/Common/internal"], "vlans_enabled": True, "source": "0.0.0.0/0",
    "disabled": True, "rules": ["/Common/irule_a", "/Common/irule_b"],
    "policies": [("/Common/policy_a", []), ("/Common/policy_b", ["rule1", "rule2"])],
    "fw_enforced_policy": "/Common/fw", "security_log_profiles": ["/Common/log_a"],
}


def test_full_writers():
    v = Virtual(VIRTUAL_TEXT)
    assert v.to_json() == FULL_JSON
    assert v.to_yaml() == FULL_YAML
    assert v.to_toml() == FULL_TOML
    d = v.to_dict()
    assert d == FULL_DICT
    assert list(d) == list(FULL_DICT)
    assert all(type(p) is tuple for p in d["policies"])


def build(**attributes):
    v = Virtual.new_default()
    for k, val in attributes.items():
        setattr(v, k, val)
    return v


@pytest.mark.parametrize("attributes,json_text", [
    # blank texts are left out, other texts are written untrimmed
    ({"description": "   "}, DEFAULT_JSON),
    ({"description": "\u3000\t"}, DEFAULT_JSON),
    ({"description": " a "}, DEFAULT_JSON.replace('"destination":""', '"destination":"","description":" a "')),
    ({"partition": "\n"}, DEFAULT_JSON),
    ({"pool": "x", "partition": "P"},
     DEFAULT_JSON.replace('"destination":""', '"destination":"","partition":"P"').replace(
         '"mask":""', '"mask":"","pool":"x"')),
    ({"name": " "}, DEFAULT_JSON),  # trimmed by its setter, written even when empty
    ({"creation_time": ""}, DEFAULT_JSON.replace('"ip-protocol":""', '"ip-protocol":"","creation-time":""')),
    ({"disabled": True}, DEFAULT_JSON.replace('"source":""', '"source":"","disabled":true')),
    ({"disabled": True, "rules": ["r"]},
     DEFAULT_JSON.replace('"source":""', '"source":"","disabled":true,"rules":["r"]')),
    ({"vlans": ["x"]}, DEFAULT_JSON.replace('"translate_port":""', '"translate_port":"","vlans":["x"]')),
    ({"vlans_enabled": True},
     DEFAULT_JSON.replace('"translate_port":""', '"translate_port":"","vlans_enabled":true')),
    ({"snat": make_snat("", "p")},
     DEFAULT_JSON.replace('"mask":""', '"mask":"","source-address-translation":{"type":"","pool":"p"}')),
    ({"snat": make_snat(" ", "")}, DEFAULT_JSON),
    ({"snat": make_snat("automap", "  ")},
     DEFAULT_JSON.replace('"mask":""', '"mask":"","source-address-translation":{"type":"automap"}')),
    ({"policies": [("p", [])]}, DEFAULT_JSON.replace('"source":""', '"source":"","policies":[["p",[]]]')),
    ({"profiles": [make_profile("a", "")]},
     DEFAULT_JSON.replace('"ip-protocol":""', '"ip-protocol":"","profiles":[{"name":"a","context":""}]')),
    ({"description": 'q"\\\n\t\x01\u00e9\U0001F600'},
     DEFAULT_JSON.replace('"destination":""', '"destination":"","description":"q\\"\\\\\\n\\t\\u0001\u00e9\U0001F600"')),
])
def test_json_writer(attributes, json_text):
    v = build(**attributes)
    assert v.to_json() == json_text
    # the dictionary holds the same keys in the same order, with tuples for policies
    expected = json.loads(json_text)
    if "policies" in expected:
        expected["policies"] = [tuple(p) for p in expected["policies"]]
    d = v.to_dict()
    assert d == expected and list(d) == list(expected)


def test_toml_groups_plain_entries_tables_and_arrays_of_tables():
    v = build(name="vs", profiles=[make_profile("tcp", "all")], snat=make_snat("snat", "p"), policies=[("p1", ["a"])])
    assert v.to_toml() == ('destination = ""\nip-protocol = ""\nmask = ""\nname = "vs"\n'
                           'policies = [["p1", ["a"]]]\nsource = ""\ntranslate_address = ""\ntranslate_port = ""\n'
                           '\n[[profiles]]\ncontext = "all"\nname = "tcp"\n'
                           '\n[source-address-translation]\npool = "p"\ntype = "snat"\n')


def test_yaml_quotes_texts_that_would_read_as_other_types():
    v = build(description="true", mask="255.255.255.0", ip_protocol="6", source="~", translate_port="a: b")
    text = v.to_yaml()
    back = Virtual.from_yaml(text)
    assert (back.description, back.mask, back.ip_protocol, back.source, back.translate_port) == (
        "true", "255.255.255.0", "6", "~", "a: b")
    assert "description: 'true'" in text and "ip-protocol: '6'" in text


# ---- CSV -------------------------------------------------------------------------------------------

SEQUENCE = "CSV write error: cannot serialize sequence container inside struct when writing headers from structs"
SNAT = "CSV write error: cannot serialize Snat container inside struct when writing headers from structs"


@pytest.mark.parametrize("attributes,message", [
    ({"profiles": [make_profile("a")]}, SEQUENCE),
    ({"profiles": [make_profile("a")], "snat": make_snat("automap", "")}, SEQUENCE),
    ({"snat": make_snat("automap", "")}, SNAT),
    ({"snat": make_snat("automap", ""), "vlans": ["v"]}, SNAT),
    ({"vlans": ["v"]}, SEQUENCE),
    ({"rules": ["r"]}, SEQUENCE),
    ({"policies": [("p", [])]}, SEQUENCE),
    ({"security_log_profiles": ["s"]}, SEQUENCE),
])
def test_csv_failures(attributes, message):
    assert error_of(build(**attributes).try_to_csv) == (ValueError, message)


@pytest.mark.parametrize("attributes,csv", [
    ({"snat": make_snat(" ", "\t")},
     "name,destination,ip-protocol,mask,translate_address,translate_port,source\n,,,,,,\n"),
    ({"name": "vs", "description": "a,b", "disabled": True, "creation_time": 'say "x"', "vlans_enabled": True},
     'name,destination,description,ip-protocol,creation-time,mask,translate_address,translate_port,vlans_enabled,'
     'source,disabled\nvs,,"a,b",,"say ""x""",,,,true,,true\n'),
])
def test_csv_rows(attributes, csv):
    assert build(**attributes).try_to_csv() == csv


# ---- JSON reader -------------------------------------------------------------------------------------

POSITIONAL_21 = ('["n","d","","","tcp",null,null,[],"m","p",["t"],"ta","tp",[],false,"s",false,[],[],null,[]')


@pytest.mark.parametrize("text,message", [
    ("{}", "missing field `name` at line 1 column 2"),
    ('{"name":"a","destination":"b","ip-protocol":"c"}', "missing field `mask` at line 1 column 48"),
    ('{"name":"a","ip-protocol":"c"}', "missing field `destination` at line 1 column 30"),
    ('{"Name":"a","destination":"b","ip-protocol":"c","mask":"d"}', "missing field `name` at line 1 column 59"),
    ('{"name":"a","destination":"b","ip_protocol":"c","mask":"d"}',
     "missing field `ip-protocol` at line 1 column 59"),
    ('{%s,"description":null}' % REQUIRED, "invalid type: null, expected a string at line 1 column 79"),
    ('{%s,"creation-time":null,"creation-time":"x"}' % REQUIRED,
     "duplicate field `creation-time` at line 1 column 97"),
    ('{%s,"name":5}' % REQUIRED, "duplicate field `name` at line 1 column 67"),
    ('{%s,"disabled":"true"}' % REQUIRED, 'invalid type: string "true", expected a boolean at line 1 column 78'),
    ('{%s,"vlans":"x"}' % REQUIRED, 'invalid type: string "x", expected a sequence at line 1 column 72'),
    ('{%s,"vlans":[1]}' % REQUIRED, "invalid type: integer `1`, expected a string at line 1 column 71"),
    ('{%s,"profiles":{}}' % REQUIRED, "invalid type: map, expected a sequence at line 1 column 72"),
    ('{%s,"profiles":[[]]}' % REQUIRED,
     "invalid length 0, expected struct Profile with 2 elements at line 1 column 75"),
    ('{%s,"source-address-translation":{"pool":"p"}}' % REQUIRED, "missing field `type` at line 1 column 102"),
    ('{%s,"source-address-translation":"t"}' % REQUIRED,
     'invalid type: string "t", expected struct Snat at line 1 column 93'),
    ('{%s,"policies":[["p"]]}' % REQUIRED, "invalid length 1, expected a tuple of size 2 at line 1 column 78"),
    ('{%s,"policies":[[]]}' % REQUIRED, "invalid length 0, expected a tuple of size 2 at line 1 column 75"),
    ('{%s,"policies":[{"a":1}]}' % REQUIRED, "invalid type: map, expected a tuple of size 2 at line 1 column 73"),
    ('{%s,"policies":[["p",["a"],"x"]]}' % REQUIRED, "trailing characters at line 1 column 85"),
    ("[]", "invalid length 0, expected struct Virtual with 21 elements at line 1 column 2"),
    ('["a"]', "invalid length 1, expected struct Virtual with 21 elements at line 1 column 5"),
    ('["a","b","c"]', "invalid length 4, expected struct Virtual with 21 elements at line 1 column 13"),
    ('["a","b","","","c",null,null,[]]',
     "invalid length 8, expected struct Virtual with 21 elements at line 1 column 32"),
    (POSITIONAL_21 + ',"x"]', "trailing characters at line 1 column 92"),
    ('"x"', 'invalid type: string "x", expected struct Virtual at line 1 column 3'),
    ("null", "invalid type: null, expected struct Virtual at line 1 column 4"),
    ("", "EOF while parsing a value at line 1 column 0"),
    ('{%s} x' % REQUIRED, "trailing characters at line 1 column 63"),
])
def test_json_reader_errors(text, message):
    assert error_of(Virtual.from_json, text) == (RuntimeError, message)


@pytest.mark.parametrize("text,attributes", [
    ('{"name":"","destination":"","ip-protocol":"","mask":""}', {}),
    ('{%s,"creation-time":null}' % REQUIRED, {"creation_time": None}),
    ('{%s,"zz":[1,{"a":[]}],"zz":2,"ip_protocol":5}' % REQUIRED, {}),
    ('["n","d","","","tcp",null,null,[],"m"]', {}),
    (POSITIONAL_21 + "]", {"pool": ("path", "p"), "snat": ("Snat", {"type": "t"}, "type: t, pool: "),
                          "translate_address": "ta", "translate_port": "tp", "source": "s"}),
    ('{%s,"source-address-translation":["t"]}' % REQUIRED,
     {"snat": ("Snat", {"type": "t"}, "type: t, pool: ")}),
    ('{%s,"profiles":[["a"],{"name":"b","context":null},["c","x"]]}' % REQUIRED,
     {"profiles": [("Profile", {"name": "a"}, "name: a, context: None"),
                   ("Profile", {"name": "b"}, "name: b, context: None"),
                   ("Profile", {"name": "c", "context": "x"}, 'name: c, context: Some("x")')]}),
    ('{"name":" n ","destination":"d","ip-protocol":"tcp","mask":"m"," name":1}', {"name": ("path", " n ")}),
    ('{"name":"/Common/vs","destination":"d","ip-protocol":"tcp","mask":"m"}',
     {"name": ("path", "/Common/vs"), "partition": ""}),
    (' \n{%s,"description":"\\u00e9\\ud83d\\ude00"}\t\r\n' % REQUIRED, {"description": "\u00e9\U0001F600"}),
])
def test_json_reader(text, attributes):
    v = Virtual.from_json(text)
    expected = virtual_state(Virtual.from_json('{"name":"n","destination":"d","ip-protocol":"tcp","mask":"m"}'))
    if text.startswith('{"name":""'):
        expected = virtual_state(Virtual.new_default())
    expected.update(attributes)
    assert virtual_state(v) == expected


def test_json_reader_argument():
    assert Virtual.from_json(json='{%s}' % REQUIRED).mask == "m"
    assert error_of(Virtual.from_json) == (TypeError, "Virtual.from_json() missing 1 required positional argument: 'json'")
    assert error_of(Virtual.from_json, 5) == (TypeError, "argument 'json': 'int' object cannot be converted to 'PyString'")


# ---- YAML reader -------------------------------------------------------------------------------------

Y_REQUIRED = "name: n\ndestination: d\nip-protocol: tcp\nmask: m\n"


@pytest.mark.parametrize("text,message", [
    ("", "missing field `name`"),
    ("~", "invalid type: unit value, expected struct Virtual"),
    ("- n\n- d\n- tcp\n- m\n", "invalid type: sequence, expected struct Virtual"),
    ("name: n\nname: n\n", "duplicate field `name`"),
    ("name: n\n", "missing field `destination`"),
    (Y_REQUIRED + "vlans_enabled: yes\n", 'vlans_enabled: invalid type: string "yes", expected a boolean at line 5 column 16'),
    (Y_REQUIRED + "vlans_enabled: 'true'\n",
     'vlans_enabled: invalid type: string "true", expected a boolean at line 5 column 16'),
    (Y_REQUIRED + "vlans: ~\n", "vlans: invalid type: unit value, expected a sequence at line 5 column 8"),
    (Y_REQUIRED + "policies:\n- [p1]\n", "policies[0]: invalid length 1, expected a tuple of size 2 at line 6 column 3"),
    (Y_REQUIRED + "policies:\n- [p1, [a], x]\n",
     "policies[0]: invalid length 3, expected sequence of 2 elements at line 6 column 3"),
    (Y_REQUIRED + "policies:\n- [p1, a]\n",
     'policies[0][1]: invalid type: string "a", expected a sequence at line 6 column 8'),
    (Y_REQUIRED + "source-address-translation:\n",
     "source-address-translation: missing field `type` at line 5 column 28"),
    ("name: n\ndestination: d\nip-protocol: tcp\nmask:\n  - a\n",
     "mask: invalid type: sequence, expected a string at line 5 column 3"),
    (Y_REQUIRED + "profiles:\n- [a]\n", "profiles[0]: invalid type: sequence, expected struct Profile at line 6 column 3"),
    (Y_REQUIRED + "profiles:\n- context: c\n", "profiles[0]: missing field `name` at line 6 column 3"),
    (Y_REQUIRED + "? [a]\n: b\n", "invalid type: sequence, expected field identifier at line 5 column 3"),
    (Y_REQUIRED + "---\n" + Y_REQUIRED, "deserializing from YAML containing more than one document is not supported"),
])
def test_yaml_reader_errors(text, message):
    assert error_of(Virtual.from_yaml, text) == (RuntimeError, message)


@pytest.mark.parametrize("text", ["# only a comment\n", "---"])
def test_yaml_documents_without_a_mapping(text):
    kind, message = error_of(Virtual.from_yaml, text)
    assert kind is RuntimeError and message.startswith("missing field `name`")


@pytest.mark.parametrize("text,attributes", [
    ("name:\ndestination:\nip-protocol:\nmask:\n", None),
    ("name: n\ndestination: d\nip-protocol: 6\nmask: 255.255.255.0\nsource: 0.0.0.0/0\ndescription: ~\n"
     "creation-time: ~\n", {"ip_protocol": "6", "mask": "255.255.255.0", "source": "0.0.0.0/0",
                            "description": "~"}),
    (Y_REQUIRED + "creation-time: '~'\n", {"creation_time": "~"}),
    (Y_REQUIRED + "creation-time: null\nfw_enforced_policy: 'null'\n", {"fw_enforced_policy": "null"}),
    (Y_REQUIRED + "vlans_enabled: True\ndisabled: FALSE\n", {"vlans_enabled": True}),
    (Y_REQUIRED + "vlans:\nprofiles:\npolicies:\n", {}),
    (Y_REQUIRED + "policies:\n- [p1, [a, b]]\n", {"policies": [("p1", ["a", "b"])]}),
    (Y_REQUIRED + "profiles:\n- name: a\n  context: ~\n- {name: b, context: ''}\n",
     {"profiles": [("Profile", {"name": "a"}, "name: a, context: None"),
                   ("Profile", {"name": "b", "context": ""}, 'name: b, context: Some("")')]}),
    (Y_REQUIRED + "zz: {a: [1, {b: c}]}\n" + "deep: " + "[" * 200 + "]" * 200 + "\n", {}),
    (Y_REQUIRED + "base: &s {type: snat, pool: p}\nsource-address-translation: *s\n",
     {"snat": ("Snat", {"type": "snat", "pool": "p"}, "type: snat, pool: p")}),
    ("name: ' n '\ndestination: d\nip-protocol: tcp\nmask: m\n", {"name": ("path", " n ")}),
])
def test_yaml_reader(text, attributes):
    v = Virtual.from_yaml(text)
    if attributes is None:
        assert virtual_state(v) == virtual_state(Virtual.new_default())
        return
    expected = virtual_state(Virtual.from_yaml(Y_REQUIRED))
    expected.update(attributes)
    assert virtual_state(v) == expected


# ---- TOML reader ------------------------------------------------------------------------------------

T_REQUIRED = 'name = "n"\ndestination = "d"\nip-protocol = "tcp"\nmask = "m"\n'


@pytest.mark.parametrize("text,message", [
    ("", "missing field `name`"),
    ("# only a comment\n", "missing field `name`"),
    ('name = "n"\n', "missing field `destination` at line 1 column 1"),
    ('name = "n"\nname = "n"\n', "duplicate field `name` at line 1 column 1"),
    ('Name = "n"\n', "missing field `name` at line 1 column 1"),
    ('name = "n"\ndestination = "d"\nip-protocol = "tcp"\nmask = 24\n',
     "invalid type: integer `24`, expected a string for key `mask` at line 4 column 8"),
    (T_REQUIRED + 'vlans_enabled = "true"\n',
     'invalid type: string "true", expected a boolean for key `vlans_enabled` at line 5 column 17'),
    (T_REQUIRED + "[profiles]\nname = \"a\"\n",
     "invalid type: map, expected a sequence for key `profiles` at line 5 column 1"),
    (T_REQUIRED + 'policies = [["p1"]]\n',
     "invalid length 1, expected a tuple of size 2 for key `policies` at line 5 column 13"),
    (T_REQUIRED + 'policies = [["p1", ["a"], "x"]]\n',
     "invalid length 3, expected 2 elements in sequence for key `policies` at line 5 column 13"),
])
def test_toml_reader_errors(text, message):
    assert error_of(Virtual.from_toml, text) == (RuntimeError, message)


@pytest.mark.parametrize("text,attributes", [
    (T_REQUIRED, {}),
    (T_REQUIRED + '[source-address-translation]\ntype = "snat"\npool = "p"\n',
     {"snat": ("Snat", {"type": "snat", "pool": "p"}, "type: snat, pool: p")}),
    (T_REQUIRED + 'source-address-translation = {type = "snat", pool = "p"}\n',
     {"snat": ("Snat", {"type": "snat", "pool": "p"}, "type: snat, pool: p")}),
    (T_REQUIRED + 'source-address-translation.type = "snat"\nsource-address-translation.pool = "p"\n',
     {"snat": ("Snat", {"type": "snat", "pool": "p"}, "type: snat, pool: p")}),
    (T_REQUIRED + 'source-address-translation = ["automap"]\n',
     {"snat": ("Snat", {"type": "automap"}, "type: automap, pool: ")}),
    (T_REQUIRED + '[[profiles]]\nname = "a"\n[[profiles]]\nname = "b"\ncontext = "c"\n',
     {"profiles": [("Profile", {"name": "a"}, "name: a, context: None"),
                   ("Profile", {"name": "b", "context": "c"}, 'name: b, context: Some("c")')]}),
    (T_REQUIRED + 'profiles = [{name = "a"}, ["b", "c"]]\n',
     {"profiles": [("Profile", {"name": "a"}, "name: a, context: None"),
                   ("Profile", {"name": "b", "context": "c"}, 'name: b, context: Some("c")')]}),
    (T_REQUIRED + 'policies = [["p1", ["a", "b"]]]\n', {"policies": [("p1", ["a", "b"])]}),
    (T_REQUIRED + 'zz = 1\n[other]\nx = [1, 2]\n[[more]]\ny = {z = 1}\n', {}),
    ('name = " n "\ndestination = "d"\nip-protocol = "tcp"\nmask = "m"\n', {"name": ("path", " n ")}),
])
def test_toml_reader(text, attributes):
    expected = virtual_state(Virtual.from_json('{%s}' % REQUIRED))
    expected.update(attributes)
    assert virtual_state(Virtual.from_toml(text)) == expected
