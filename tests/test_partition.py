"""Partitions: construction from "auth partition" text and from documents, attributes, string forms
and every writer."""
import json
import re

import pytest

from helpers import make_partition, read
from quilvarn import LTM, partition

COMMON = "auth partition Common {\n}"


def fields(p):
    return (p.name, p.rd, p.description)


# ---- Construction from configuration text ------------------------------------------------------------

@pytest.mark.parametrize("text,expected", [
    (COMMON, ("Common", 0, "")),
    ("auth partition P {\n    default-route-domain 7\n    description  Main site  \n}\n", ("P", 7, "Main site  ")),
    # of several lines of one kind the last one counts
    ("auth partition P {\n description a\n description b\n default-route-domain 1\n default-route-domain 2\n}",
     ("P", 2, "b")),
    # text after the closing brace, a second object included, is ignored
    ("auth partition P {\n}\nauth partition Q {\n default-route-domain 3\n}\n", ("P", 0, "")),
    ("  auth partition  P  {\n}", ("P", 0, "")),
    ("auth partition P {\n default-route-domain 65535\n}", ("P", 65535, "")),
    ("auth partition P {\n default-route-domain +5\n}", ("P", 5, "")),
])
def test_constructor_reads_the_first_object(text, expected):
    assert fields(partition(text)) == expected
    assert fields(partition(input=text)) == expected


# A route domain that is not a bare unsigned 16-bit number is a parse error of the object, raised as
# RuntimeError like every other (it does not end the interpreter's call with an internal fault).
@pytest.mark.parametrize("text,message", [
    ("", 'Error { input: "", code: Tag }'),
    ("auth partition P {\n    default-route-domain x\n}", 'Error { input: "default-route-domain x\\n}", code: Tag }'),
    ("auth partition P {\n default-route-domain 65536\n}", 'Error { input: "default-route-domain 65536\\n}", code: Tag }'),
    ("auth partition P {\n default-route-domain -1\n}", 'Error { input: "default-route-domain -1\\n}", code: Tag }'),
    ("auth partition P {\n default-route-domain 5 \n}", 'Error { input: "default-route-domain 5 \\n}", code: Tag }'),
    # on one line a value is one word or quoted text
    ("auth partition P { default-route-domain 5x }", 'Error { input: "default-route-domain 5x }", code: Tag }'),
    ("auth partition P { description x y }", 'Error { input: "y }", code: Tag }'),
    ("auth partition P {\n    foo bar\n}\n", 'Error { input: "foo bar\\n}\\n", code: Tag }'),
    ("auth partitionP {\n}", 'Error { input: "P {\\n}", code: MultiSpace }'),
    ("auth partition {\n}", 'Error { input: "{\\n}", code: IsNot }'),
    ("auth partition P\n", 'Error { input: "", code: Tag }'),
    ("ltm pool p {\n}", 'Error { input: "ltm pool p {\\n}", code: Tag }'),
    # a name ends at white space
    ('auth partition "Tenant A" {\n}', 'Error { input: "A\\" {\\n}", code: Tag }'),
])
def test_constructor_parse_errors(text, message):
    with pytest.raises(RuntimeError) as caught:
        partition(text)
    assert str(caught.value) == "Parsing Error: " + message


@pytest.mark.parametrize("call,error,message", [
    (lambda: partition(), TypeError, "partition.__new__() missing 1 required positional argument: 'input'"),
    (lambda: partition(5), TypeError, "argument 'input': 'int' object cannot be converted to 'PyString'"),
    (lambda: partition(COMMON, COMMON), TypeError, None),
    (lambda: partition.from_json(5), TypeError, "argument 'json': 'int' object cannot be converted to 'PyString'"),
    (lambda: partition.from_yaml(yaml=None), TypeError, None),
    (lambda: partition.from_toml(), TypeError, None),
])
def test_argument_errors(call, error, message):
    with pytest.raises(error) as caught:
        call()
    if message is not None:
        assert str(caught.value) == message


def test_same_record_as_inside_a_whole_configuration():
    for text in [COMMON, "auth partition P {\n    default-route-domain 7\n    description \"x, y\"\n}\n"]:
        assert partition(text).to_dict() == LTM(text).partitions[0].to_dict()


def test_has_no_new_default():
    assert not hasattr(partition, "new_default")
    assert partition.__name__ == "partition" and partition.__module__ == "builtins"


# ---- String forms and writers ---------------------------------------------------------------------------

def test_string_forms():
    p = partition(COMMON)
    assert str(p) == "name=Common, rd=0"
    assert re.fullmatch(r"Partition: 0x[0-9a-f]+ , name=Common, rd=0\)", repr(p))


# description: written only when not blank (Unicode white space trimmed), then untrimmed
@pytest.mark.parametrize("description,written", [
    ("", False), ("   ", False), ("\u3000\t", False), (" x ", True), ("a, \"b\"", True),
])
def test_writers(description, written):
    p = make_partition("P", 7, description)
    expected = {"name": "P", "default-route-domain": 7}
    if written:
        expected["description"] = description
    assert p.to_dict() == expected and list(p.to_dict()) == list(expected)
    assert p.to_json() == json.dumps(expected, separators=(",", ":"), ensure_ascii=False)
    toml = 'default-route-domain = 7\n' + (f'description = {json.dumps(description)}\n' if written else "") + 'name = "P"\n'
    assert p.to_toml() == toml
    header = "name,default-route-domain" + (",description" if written else "")
    row = "P,7" + ("," + ('"a, ""b"""' if "," in description else description) if written else "")
    assert p.try_to_csv() == header + "\n" + row + "\n"
    # a blank description is not written, so it reads back empty
    assert fields(partition.from_yaml(p.to_yaml())) == (fields(p) if written else ("P", 7, ""))


def test_exact_texts_of_the_common_partition():
    p = partition(COMMON)
    assert p.to_json() == '{"name":"Common","default-route-domain":0}'
    assert p.to_yaml() == "name: Common\ndefault-route-domain: 0\n"
    assert p.to_toml() == 'default-route-domain = 0\nname = "Common"\n'
    assert p.try_to_csv() == "name,default-route-domain\nCommon,0\n"


# ---- Readers ----------------------------------------------------------------------------------------------

@pytest.mark.parametrize("fmt,text,expected", [
    ("json", '{"name":"Prod"}', ("Prod", 0, "")),
    ("json", '["Prod"]', ("Prod", 0, "")),
    ("json", '["Prod", 0, ""]', ("Prod", 0, "")),
    ("json", '["Prod", 5]', ("Prod", 5, "")),
    ("json", '{"name":" P ","rd":9,"default-route-domain":65535,"description":"d","x":[1,{}]}', (" P ", 65535, "d")),
    ("yaml", "name: Common\n", ("Common", 0, "")),
    ("yaml", "name: 8080\ndefault-route-domain: 3\ndescription: ' d '\n", ("8080", 3, " d ")),
    ("yaml", "name:\n", ("", 0, "")),
    ("toml", 'name = "Common"\n', ("Common", 0, "")),
    ("toml", 'name = " x "\ndefault-route-domain = 12\ndescription = """d"""\nName = 1\n', (" x ", 12, "d")),
])
def test_readers(fmt, text, expected):
    assert fields(read(partition, fmt, text)) == expected


@pytest.mark.parametrize("fmt,text,message", [
    ("json", "{}", r"^missing field `name` at line 1 column 2$"),
    ("json", "[]", r"^invalid length 0, expected struct Partition with 3 elements at line 1 column 2$"),
    ("json", "null", r"^invalid type: null, expected struct Partition"),
    ("json", '{"name":"a","default-route-domain":1,"default-route-domain":2}',
     r"^duplicate field `default-route-domain`"),
    ("json", '{"name":"a","default-route-domain":65536}', r"^invalid value: integer `65536`, expected u16"),
    ("json", '{"name":"a","default-route-domain":-1}', r"^invalid value: integer `-1`, expected u16"),
    ("json", '{"name":"a","default-route-domain":1.5}', r"^invalid type: floating point `1.5`, expected u16"),
    ("json", '{"name":"a","default-route-domain":"7"}', r'^invalid type: string "7", expected u16'),
    ("json", '{"name":"a"} x', r"^trailing characters"),
    ("yaml", "", r"^missing field `name`"),
    ("yaml", "# only a comment\n", r"^missing field `name`"),
    ("yaml", "- a\n", r"^invalid type: sequence, expected struct Partition"),
    ("yaml", "name: a\ndefault-route-domain: 65536\n", r"invalid value: integer `65536`, expected u16"),
    ("yaml", "name: a\ndefault-route-domain: five\n", r'invalid type: string "five", expected u16'),
    ("yaml", "name: a\nname: b\n", r"^duplicate field `name`"),
    ("toml", "", r"^missing field `name`"),
    ("toml", 'name = "a"\ndefault-route-domain = 1.5\n', r"invalid type: floating point `1.5`, expected u16"),
    ("toml", 'name = ["a"]\n', r"invalid type: sequence, expected a string"),
])
def test_reader_messages(fmt, text, message):
    with pytest.raises(RuntimeError, match=message):
        read(partition, fmt, text)


# ---- Attributes -----------------------------------------------------------------------------------------

def test_setters_store_copies_untrimmed():
    p = partition(COMMON)
    p.name = "  spaced  "
    p.description = "\tdesc\n"
    p.rd = True
    assert fields(p) == ("  spaced  ", 1, "\tdesc\n")
    p.rd = 65535
    assert p.rd == 65535


@pytest.mark.parametrize("attribute,value,error,message", [
    ("rd", 65536, OverflowError, "out of range integral type conversion attempted"),
    ("rd", -1, OverflowError, "out of range integral type conversion attempted"),
    ("rd", 2 ** 70, OverflowError, None),
    ("rd", "5", TypeError, None),
    ("rd", 1.0, TypeError, None),
    ("name", 5, TypeError, "'int' object cannot be converted to 'PyString'"),
    ("description", None, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
])
def test_setter_errors_keep_the_value(attribute, value, error, message):
    p = make_partition("P", 7, "d")
    before = fields(p)
    with pytest.raises(error) as caught:
        setattr(p, attribute, value)
    if message is not None:
        assert str(caught.value) == message
    assert fields(p) == before


@pytest.mark.parametrize("attribute", ["name", "rd", "description"])
def test_attributes_cannot_be_deleted(attribute):
    p = partition(COMMON)
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(p, attribute)


def test_receiver_and_subclassing_are_refused():
    with pytest.raises(TypeError):
        partition.to_json(5)
    with pytest.raises(TypeError):
        class Sub(partition):  # noqa: F841 - the class cannot be subclassed
            pass
