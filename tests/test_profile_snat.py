"""The Profile and Snat classes: construction, attributes, string forms, readers and writers (their
round trips are in test_round_trips.py)."""
import re

import pytest

import quilvarn
from helpers import FORMATS, Profile, make_profile, make_snat, read
from quilvarn import Snat


def error_of(call, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        call(*args, **kwargs)
    return info.type, str(info.value)


def values(obj):
    if isinstance(obj, Profile):
        return (obj.name, obj.context)
    return (obj.type_, obj.pool)


# ---- classes and constructors --------------------------------------------------------------------

def test_profile_is_not_a_module_attribute():
    assert Profile.__name__ == "Profile" and Profile.__module__ == "builtins"
    assert not hasattr(quilvarn, "Profile") and "Profile" not in quilvarn.__all__
    assert "Snat" in quilvarn.__all__ and Snat.__module__ == "builtins"


@pytest.mark.parametrize("cls,default", [(Profile, ("", None)), (Snat, ("", ""))])
@pytest.mark.parametrize("args,kwargs", [((), {}), ((1, "two"), {"three": 3}), (("x",), {})])
def test_constructors_ignore_their_arguments(cls, default, args, kwargs):
    assert values(cls(*args, **kwargs)) == default
    assert values(cls.new_default()) == default


@pytest.mark.parametrize("cls", [Profile, Snat])
def test_classes_cannot_be_subclassed(cls):
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


# ---- attributes ----------------------------------------------------------------------------------

@pytest.mark.parametrize("cls,attribute,nullable", [
    (Profile, "name", False), (Profile, "context", True), (Snat, "type_", False), (Snat, "pool", False),
])
def test_text_attributes(cls, attribute, nullable):
    obj = cls()
    setattr(obj, attribute, "  kept\t")
    got = getattr(obj, attribute)
    assert got == "  kept\t"
    setattr(obj, attribute, "other")
    assert got == "  kept\t"  # a getter hands out a new string
    for bad, type_name in [(5, "int"), (b"x", "bytes"), (["x"], "list")] + ([] if nullable else [(None, "NoneType")]):
        assert error_of(setattr, obj, attribute, bad) == (
            TypeError, f"'{type_name}' object cannot be converted to 'PyString'")
        assert getattr(obj, attribute) == "other"
    assert error_of(delattr, obj, attribute) == (AttributeError, "can't delete attribute")
    assert getattr(obj, attribute) == "other"


def test_context_none_unsets():
    p = make_profile("tcp", "")
    assert p.context == "" and p.to_json() == '{"name":"tcp","context":""}'
    p.context = None
    assert p.context is None and p.to_json() == '{"name":"tcp"}'


def test_no_other_attributes():
    for obj in (Profile(), Snat()):
        with pytest.raises(AttributeError):
            obj.other = 1


# ---- string forms --------------------------------------------------------------------------------

@pytest.mark.parametrize("name,context,text", [
    ("tcp", None, "name: tcp, context: None"),
    ("tcp", "web", 'name: tcp, context: Some("web")'),
    ("", "", 'name: , context: Some("")'),
    ("a\"b", 'q"b\\c', 'name: a"b, context: Some("q\\"b\\\\c")'),
    ("x", "\t\r\n\x00", 'name: x, context: Some("\\t\\r\\n\\0")'),
    ("x", "it's", "name: x, context: Some(\"it's\")"),
    ("x", "e\u0301", 'name: x, context: Some("e\\u{301}")'),
    ("x", "\x01\x1b\x7f", 'name: x, context: Some("\\u{1}\\u{1b}\\u{7f}")'),
    ("x", "\u00e9\U0001F600\u3042", 'name: x, context: Some("\u00e9\U0001F600\u3042")'),
])
def test_profile_string_forms(name, context, text):
    p = make_profile(name, context)
    assert str(p) == text
    assert re.fullmatch(r"Profile: 0x[1-9a-f][0-9a-f]*, " + re.escape(text), repr(p))


@pytest.mark.parametrize("type_,pool,text", [
    ("", "", "type: , pool: "),
    ("snat", "/Common/p", "type: snat, pool: /Common/p"),
    ("automap", "   ", "type: automap, pool:    "),
    ('"q"', "a\nb", 'type: "q", pool: a\nb'),
])
def test_snat_string_forms(type_, pool, text):
    s = make_snat(type_, pool)
    assert str(s) == text
    assert re.fullmatch(r"Snat 0x[1-9a-f][0-9a-f]*, " + re.escape(text), s.__repr_(), re.S)
    # no representation slot: the interpreter's own form
    assert re.fullmatch(r"<builtins\.Snat object at 0x[0-9a-f]+>", repr(s))


# ---- writers -------------------------------------------------------------------------------------

PROFILE_WRITES = [
    # name, context, JSON, YAML, TOML, CSV, dict
    ("", None, '{"name":""}', "name: ''\n", 'name = ""\n', 'name\n""\n', {"name": ""}),
    ("tcp", "clientside", '{"name":"tcp","context":"clientside"}', "name: tcp\ncontext: clientside\n",
     'context = "clientside"\nname = "tcp"\n', "name,context\ntcp,clientside\n",
     {"name": "tcp", "context": "clientside"}),
    ("tcp", "", '{"name":"tcp","context":""}', "name: tcp\ncontext: ''\n", 'context = ""\nname = "tcp"\n',
     "name,context\ntcp,\n", {"name": "tcp", "context": ""}),
    ("tcp", "  ", '{"name":"tcp","context":"  "}', "name: tcp\ncontext: '  '\n", 'context = "  "\nname = "tcp"\n',
     "name,context\ntcp,  \n", {"name": "tcp", "context": "  "}),
    ('a"b', "x\ny", '{"name":"a\\"b","context":"x\\ny"}', 'name: a"b\ncontext: |-\n  x\n  y\n',
     'context = "x\\ny"\nname = "a\\"b"\n', 'name,context\n"a""b","x\ny"\n', {"name": 'a"b', "context": "x\ny"}),
    ("a,b", None, '{"name":"a,b"}', "name: a,b\n", 'name = "a,b"\n', 'name\n"a,b"\n', {"name": "a,b"}),
]


@pytest.mark.parametrize("name,context,json_text,yaml_text,toml_text,csv_text,dict_value", PROFILE_WRITES)
def test_profile_writers(name, context, json_text, yaml_text, toml_text, csv_text, dict_value):
    p = make_profile(name, context)
    assert p.to_json() == json_text
    assert p.to_yaml() == yaml_text
    assert p.to_toml() == toml_text
    assert p.try_to_csv() == csv_text
    d = p.to_dict()
    assert d == dict_value and list(d) == list(dict_value)


SNAT_WRITES = [
    # type, pool, JSON, YAML, TOML, CSV, dict
    ("", "", '{"type":""}', "type: ''\n", 'type = ""\n', 'type\n""\n', {"type": ""}),
    ("automap", "   ", '{"type":"automap"}', "type: automap\n", 'type = "automap"\n', "type\nautomap\n",
     {"type": "automap"}),
    ("snat", "/Common/p", '{"type":"snat","pool":"/Common/p"}', "type: snat\npool: /Common/p\n",
     'pool = "/Common/p"\ntype = "snat"\n', "type,pool\nsnat,/Common/p\n", {"type": "snat", "pool": "/Common/p"}),
    ("", "p,q", '{"type":"","pool":"p,q"}', "type: ''\npool: p,q\n", 'pool = "p,q"\ntype = ""\n',
     'type,pool\n,"p,q"\n', {"type": "", "pool": "p,q"}),
    (" ", " p ", '{"type":" ","pool":" p "}', "type: ' '\npool: ' p '\n", 'pool = " p "\ntype = " "\n',
     "type,pool\n , p \n", {"type": " ", "pool": " p "}),
]


@pytest.mark.parametrize("type_,pool,json_text,yaml_text,toml_text,csv_text,dict_value", SNAT_WRITES)
def test_snat_writers(type_, pool, json_text, yaml_text, toml_text, csv_text, dict_value):
    s = make_snat(type_, pool)
    assert s.to_json() == json_text
    assert s.to_yaml() == yaml_text
    assert s.to_toml() == toml_text
    assert s.try_to_csv() == csv_text
    d = s.to_dict()
    assert d == dict_value and list(d) == list(dict_value)


# ---- readers -------------------------------------------------------------------------------------

READS = [
    # class, reader, text, values or error message
    (Profile, "json", '{"name":"a","context":null}', ("a", None)),
    (Profile, "json", '{"name":"a","context":""}', ("a", "")),
    (Profile, "json", '["a"]', ("a", None)),
    (Profile, "json", '["a", null]', ("a", None)),
    (Profile, "json", '["a","b"]', ("a", "b")),
    (Profile, "json", '{"name":" a ","type":"t","zz":{"q":[1]}}', (" a ", None)),
    (Profile, "json", "{}", "missing field `name` at line 1 column 2"),
    (Profile, "json", '{"context":"x"}', "missing field `name` at line 1 column 15"),
    (Profile, "json", '{"name":"a","name":"b"}', "duplicate field `name` at line 1 column 18"),
    (Profile, "json", '{"context":null,"context":"x","name":"a"}', "duplicate field `context` at line 1 column 25"),
    (Profile, "json", "[]", "invalid length 0, expected struct Profile with 2 elements at line 1 column 2"),
    (Profile, "json", '["a","b","c"]', "trailing characters at line 1 column 10"),
    (Profile, "json", '"a"', 'invalid type: string "a", expected struct Profile at line 1 column 3'),
    (Profile, "json", '{"name":1}', "invalid type: integer `1`, expected a string at line 1 column 9"),
    (Profile, "json", "", "EOF while parsing a value at line 1 column 0"),
    (Profile, "yaml", "name: a\ncontext: ~\n", ("a", None)),
    (Profile, "yaml", "name: 8080\ncontext: 'null'\nother: {a: [1, {b: c}]}\n", ("8080", "null")),
    (Profile, "yaml", "", "missing field `name`"),
    (Profile, "yaml", "context: x\n", "missing field `name`"),
    (Profile, "yaml", "- a\n", "invalid type: sequence, expected struct Profile"),
    (Profile, "yaml", "~", "invalid type: unit value, expected struct Profile"),
    (Profile, "yaml", "context: c\nname: [a]\n", "name: invalid type: sequence, expected a string at line 2 column 7"),
    (Profile, "yaml", "name: a\n---\nname: b\n",
     "deserializing from YAML containing more than one document is not supported"),
    (Profile, "toml", 'name = "a"\ncontext = "c"\n[other]\nx = 1\n', ("a", "c")),
    (Profile, "toml", "", "missing field `name`"),
    (Profile, "toml", "[other]\n", "missing field `name` at line 1 column 1"),
    (Profile, "toml", 'name = 1\n', "invalid type: integer `1`, expected a string for key `name` at line 1 column 8"),
    (Profile, "toml", 'name = "a"\nname = "b"\n', "duplicate field `name` at line 1 column 1"),
    (Snat, "json", '{"type":"a"}', ("a", "")),
    (Snat, "json", '["a"]', ("a", "")),
    (Snat, "json", '["a","p"]', ("a", "p")),
    (Snat, "json", '{"pool":"x"}', "missing field `type` at line 1 column 12"),
    (Snat, "json", '{"type":"a","pool":null}', "invalid type: null, expected a string at line 1 column 23"),
    (Snat, "json", '{"type":"a","type":"b"}', "duplicate field `type` at line 1 column 18"),
    (Snat, "json", "[]", "invalid length 0, expected struct Snat with 2 elements at line 1 column 2"),
    (Snat, "json", '["a","b","c"]', "trailing characters at line 1 column 10"),
    (Snat, "json", "5", "invalid type: integer `5`, expected struct Snat at line 1 column 1"),
    (Snat, "yaml", "type: t\npool: ~\n", ("t", "~")),
    (Snat, "yaml", "type:\n", ("", "")),
    (Snat, "yaml", "", "missing field `type`"),
    (Snat, "yaml", "- t\n", "invalid type: sequence, expected struct Snat"),
    (Snat, "yaml", "pool: p\ntype: [a]\n", "type: invalid type: sequence, expected a string at line 2 column 7"),
    (Snat, "toml", 'type = "t"\n', ("t", "")),
    (Snat, "toml", 'pool = "p"\ntype = "t"\n[name]\n', ("t", "p")),
    (Snat, "toml", "", "missing field `type`"),
    (Snat, "toml", 'pool = "p"\n', "missing field `type` at line 1 column 1"),
    (Snat, "toml", "[type]\n", "invalid type: map, expected a string for key `type` at line 1 column 1"),
]


@pytest.mark.parametrize("cls,form,text,expected", READS)
def test_readers(cls, form, text, expected):
    if isinstance(expected, tuple):
        obj = read(cls, form, text)
        assert type(obj) is cls and values(obj) == expected
    else:
        assert error_of(read, cls, form, text) == (RuntimeError, expected)


@pytest.mark.parametrize("cls", [Profile, Snat])
@pytest.mark.parametrize("form", FORMATS)
def test_reader_arguments(cls, form):
    reader = getattr(cls, "from_" + form)
    name = cls.__name__
    assert error_of(reader) == (TypeError, f"{name}.from_{form}() missing 1 required positional argument: '{form}'")
    assert error_of(reader, 5) == (TypeError, f"argument '{form}': 'int' object cannot be converted to 'PyString'")
    assert error_of(reader, "", "") == (TypeError,
                                        f"{name}.from_{form}() takes 1 positional arguments but 2 were given")
    assert error_of(reader, x="") == (TypeError, f"{name}.from_{form}() got an unexpected keyword argument 'x'")


def test_readers_take_a_keyword_argument():
    assert values(Profile.from_json(json='["a"]')) == ("a", None)
    assert values(Snat.from_yaml(yaml="type: t\n")) == ("t", "")
    assert values(Snat.from_toml(toml='type = "t"\n')) == ("t", "")
