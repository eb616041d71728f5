"""SNAT pools: construction from "ltm snatpool" text and from documents, the pool's own partition
line, attributes, string forms and every writer."""
import json
import re

import pytest

from helpers import make_snatpool, read
from quilvarn import LTM, LtmPath, SnatPool

SP1 = """ltm snatpool /Common/sp1 {
    members {
        /Common/10.0.0.1
        /Common/10.0.0.2
    }
    partition Common
}
"""

CSV_MESSAGE = "CSV write error: cannot serialize sequence container inside struct when writing headers from structs"


def fields(pool):
    return (pool.name.get_val(), pool.members, pool.partition)


# ---- Construction from configuration text ------------------------------------------------------------

@pytest.mark.parametrize("text,expected", [
    (SP1, ("/Common/sp1", ["/Common/10.0.0.1", "/Common/10.0.0.2"], "Common")),
    # the pool's own partition line is kept whenever it is not empty, whatever the name holds
    (SP1.replace("/Common/sp1", "sp1"), ("sp1", ["/Common/10.0.0.1", "/Common/10.0.0.2"], "Common")),
    (SP1.replace("    partition Common\n", ""), ("/Common/sp1", ["/Common/10.0.0.1", "/Common/10.0.0.2"], "")),
    ("ltm snatpool sp1 {\n    partition  Tenant  \n}\n", ("sp1", [], "Tenant  ")),
    # of two members blocks the last counts; quotes are not kept
    ('ltm snatpool s {\n    members {\n        a\n    }\n    members {\n        "b c"\n        d\n    }\n}\n',
     ("s", ["b c", "d"], "")),
    ("ltm snatpool s1 {\n    members { a b }\n}", ("s1", ["a", "b"], "")),
    ("  ltm snatpool  \t/Common/s  {\n}\nltm snatpool other {\n}\n", ("/Common/s", [], "")),
])
def test_constructor_reads_the_first_object(text, expected):
    assert fields(SnatPool(text)) == expected
    assert fields(SnatPool(input=text)) == expected


@pytest.mark.parametrize("text,message", [
    ("", "Parsing requires 12 bytes/chars"),
    ("ltm snat", "Parsing requires 4 bytes/chars"),
    ("ltm snatpool sp1", "Parsing requires 1 bytes/chars"),
    ("ltm snatpool sp1 {", "Parsing requires 1 bytes/chars"),
    ("ltm snatpool s1 {\n    members {\n        a\n    }\n", "Parsing requires 1 bytes/chars"),
    ("ltm snatpool", 'Parsing Error: Error { input: "", code: IsNot }'),
    ("ltm snatpool sp1 {\n    foo bar\n}\n", 'Parsing Error: Error { input: "foo bar\\n}\\n", code: Tag }'),
    ("ltm snatpool sp1 x {\n}\n", 'Parsing Error: Error { input: "x {\\n}\\n", code: Tag }'),
    ("ltm pool p {\n}", 'Parsing Error: Error { input: "ltm pool p {\\n}", code: Tag }'),
])
def test_constructor_parse_errors(text, message):
    with pytest.raises(RuntimeError) as caught:
        SnatPool(text)
    assert str(caught.value) == message


@pytest.mark.parametrize("text", [SP1, SP1.replace("/Common/sp1", "sp1"), "ltm snatpool s {\n    partition  x \n}\n"])
def test_same_record_as_inside_a_whole_configuration(text):
    assert SnatPool(text).to_dict() == LTM(text).snat_pools[0].to_dict()


def test_argument_errors():
    with pytest.raises(TypeError, match=r"^argument 'input': 'int' object cannot be converted to 'PyString'$"):
        SnatPool(5)
    with pytest.raises(TypeError):
        SnatPool()
    with pytest.raises(TypeError):
        SnatPool.new_default(1)


# ---- String forms and writers ---------------------------------------------------------------------------

def test_string_forms():
    pool = SnatPool(SP1.replace("/Common/sp1", "sp1"))
    assert str(pool) == "sp1"
    assert re.fullmatch(r"SnatPool 0x[0-9a-f]+, sp1", repr(pool))


def test_new_default():
    pool = SnatPool.new_default()
    assert fields(pool) == ("", [], "")
    assert pool.to_json() == '{"name":"","members":[]}'
    assert str(pool) == ""
    assert fields(SnatPool.from_json('{"name":""}')) == fields(pool)


@pytest.mark.parametrize("members,partition,expected", [
    (["a", "b"], "", {"name": "sp", "members": ["a", "b"]}),
    ([], " ", {"name": "sp", "members": [], "partition": " "}),  # only an empty partition is left out
    (["x \"q\""], "Tenant  ", {"name": "sp", "members": ["x \"q\""], "partition": "Tenant  "}),
])
def test_writers(members, partition, expected):
    pool = make_snatpool("sp", members, partition)
    assert pool.to_dict() == expected and list(pool.to_dict()) == list(expected)
    assert pool.to_json() == json.dumps(expected, separators=(",", ":"), ensure_ascii=False)
    toml = "members = [" + ", ".join(json.dumps(m) for m in members) + ']\nname = "sp"\n'
    if partition:
        toml += f"partition = {json.dumps(partition)}\n"
    assert pool.to_toml() == toml
    with pytest.raises(ValueError) as caught:
        pool.try_to_csv()
    assert str(caught.value) == CSV_MESSAGE


def test_exact_yaml():
    assert SnatPool(SP1).to_yaml() == (
        "name: /Common/sp1\nmembers:\n- /Common/10.0.0.1\n- /Common/10.0.0.2\npartition: Common\n")
    assert SnatPool.new_default().to_yaml() == "name: ''\nmembers: []\n"


# ---- Readers ----------------------------------------------------------------------------------------------

@pytest.mark.parametrize("fmt,text,expected", [
    ("json", '{"name":"sp"}', ("sp", [], "")),
    ("json", '["snat1", ["a", "b"]]', ("snat1", ["a", "b"], "")),
    ("json", '{"name":" sp ","members":["a"],"partition":"  ","Name":1}', (" sp ", ["a"], "  ")),
    ("yaml", "name: sp\n", ("sp", [], "")),
    ("yaml", "name: sp\nmembers:\npartition: ' '\n", ("sp", [], " ")),
    ("yaml", "name: sp\nmembers: [10.0.0.1, 8080]\n", ("sp", ["10.0.0.1", "8080"], "")),
    ("toml", 'name = "sp"\n', ("sp", [], "")),
    ("toml", 'name = "sp"\nmembers = []\npartition = "P"\n', ("sp", [], "P")),
])
def test_readers(fmt, text, expected):
    assert fields(read(SnatPool, fmt, text)) == expected


@pytest.mark.parametrize("fmt,text,message", [
    ("json", "{}", r"^missing field `name`"),
    ("json", "[]", r"^invalid length 0, expected struct SnatPool with 3 elements"),
    ("json", "null", r"^invalid type: null, expected struct SnatPool"),
    ("json", '{"name":"a","members":null}', r"^invalid type: null, expected a sequence"),
    ("json", '{"name":"a","members":["x",1]}', r"^invalid type: integer `1`, expected a string"),
    ("yaml", "name: a\nmembers: ~\n", r"invalid type: .*, expected a sequence"),
    ("yaml", "name: a\nmembers:\n- {x: 1}\n", r"invalid type: map, expected a string"),
    ("toml", 'name = "a"\nmembers = "10.0.0.1"\n', r'invalid type: string "10.0.0.1", expected a sequence'),
    ("toml", 'name = "a"\nmembers = ["x", 1]\n', r"invalid type: integer `1`, expected a string"),
    ("toml", 'name = "a"\nname = "b"\n', r"duplicate field `name`|duplicate key"),
])
def test_reader_messages(fmt, text, message):
    with pytest.raises(RuntimeError, match=message):
        read(SnatPool, fmt, text)


# ---- Attributes -----------------------------------------------------------------------------------------

def test_getters_copy():
    pool = SnatPool(SP1)
    assert pool.name is not pool.name
    pool.members.append("extra")
    assert pool.members == ["/Common/10.0.0.1", "/Common/10.0.0.2"]


def test_setters():
    pool = SnatPool(SP1)
    pool.members = ("a", "b")
    path = LtmPath("  /Tenant/sp9  ")
    pool.name = path
    pool.partition = " P "
    assert fields(pool) == ("/Tenant/sp9", ["a", "b"], " P ")


@pytest.mark.parametrize("attribute,value,error,message", [
    ("name", "/Common/x", TypeError, "'str' object cannot be converted to 'LtmPath'"),
    ("members", "abc", ValueError, "Can't extract `str` to `Vec`"),
    ("members", 5, TypeError, "'int' object cannot be converted to 'Sequence'"),
    ("members", ["a", 1], TypeError, "'int' object cannot be converted to 'PyString'"),
    ("partition", 1, TypeError, "'int' object cannot be converted to 'PyString'"),
])
def test_setter_errors_keep_the_value(attribute, value, error, message):
    pool = SnatPool(SP1)
    with pytest.raises(error) as caught:
        setattr(pool, attribute, value)
    assert str(caught.value) == message
    assert fields(pool) == fields(SnatPool(SP1))


@pytest.mark.parametrize("attribute", ["name", "members", "partition"])
def test_attributes_cannot_be_deleted(attribute):
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(SnatPool(SP1), attribute)
