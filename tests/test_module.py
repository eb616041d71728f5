"""What every class of the module looks like to the interpreter."""
import weakref

import pytest

import quilvarn
from helpers import Profile

Py_TPFLAGS_BASETYPE = 1 << 10
Py_TPFLAGS_HAVE_GC = 1 << 14

CLASSES = [getattr(quilvarn, name) for name in quilvarn.__all__]


@pytest.mark.parametrize("cls", CLASSES, ids=lambda c: c.__name__)
def test_type_properties(cls):
    name = cls.__name__
    assert name in quilvarn.__all__
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == name
    assert cls.__doc__ is None
    assert cls.__bases__ == (object,)
    assert not cls.__flags__ & Py_TPFLAGS_BASETYPE
    assert not cls.__flags__ & Py_TPFLAGS_HAVE_GC
    assert cls.__dictoffset__ == 0
    assert cls.__weakrefoffset__ == 0
    assert "__dict__" not in dir(cls)
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Sub", (cls,), {})


# The record readers and writers, in their order wherever a class has them.
READERS = ["from_json", "from_yaml", "from_toml"]
WRITERS = ["to_json", "to_yaml", "to_toml", "try_to_csv", "to_dict"]

# Each class's dict in its order: the interpreter puts __new__ and the slot wrappers first (in its own
# order of slots), then the methods and then the attributes, each in the order of the class's member
# table, and its own entries (__doc__, __module__, __hash__ beside __eq__) last.
DICT_ORDER = {
    "LTM": [
        "__new__", "__repr__", "__str__", "new_default", *READERS, *WRITERS, "partitions", "virtual_servers",
        "pools", "snat_pools", "__doc__", "__module__",
    ],
    "partition": [
        "__new__", "__repr__", "__str__", *READERS, *WRITERS, "name", "rd", "description", "__doc__",
        "__module__",
    ],
    "PoolMember": [
        "__new__", "__repr__", "__str__", *READERS, "new_default", "get_dest_ip", *WRITERS, "name",
        "destination", "priority_group", "session", "state", "fqdn", "monitor", "ratio", "__doc__",
        "__module__",
    ],
    "MemberFqdn": [
        "__new__", "__repr__", "__str__", *READERS, *WRITERS, "autopopulate", "name", "__doc__", "__module__",
    ],
    "Pool": [
        "__new__", "__repr__", "__str__", *READERS, "get_full_path", "get_partition", *WRITERS, "name",
        "members", "monitor", "description", "min_active_members", "lb_mode", "partition", "__doc__",
        "__module__",
    ],
    "Virtual": [
        "__new__", "__repr__", "__str__", "new_default", *READERS, *WRITERS, "name", "destination",
        "description", "partition", "ip_protocol", "creation_time", "last_modified_time", "profiles", "mask",
        "pool", "snat", "translate_address", "translate_port", "vlans", "vlans_enabled", "source", "disabled",
        "rules", "policies", "fw_enforced_policy", "security_log_profiles", "__doc__", "__module__",
    ],
    "Snat": [
        "__new__", "__str__", "new_default", *READERS, "__repr_", *WRITERS, "type_", "pool", "__doc__",
        "__module__",
    ],
    "SnatPool": [
        "__new__", "__repr__", "__str__", "new_default", *READERS, *WRITERS, "name", "members", "partition",
        "__doc__", "__module__",
    ],
    "LtmPath": [
        "__new__", "__repr__", "__bool__", "__len__", "get_val", "get_port", "get_route_domain",
        "get_partition", "get_name", "get_address", "get_full_path", "__eq__", "__doc__", "__hash__",
        "__module__",
    ],
    "Profile": [
        "__new__", "__repr__", "__str__", "new_default", *READERS, *WRITERS, "name", "context", "__doc__",
        "__module__",
    ],
}


@pytest.mark.parametrize("cls", CLASSES + [Profile], ids=lambda c: c.__name__)
def test_dict_holds_the_members_in_table_order(cls):
    assert list(vars(cls)) == DICT_ORDER[cls.__name__]


def test_instances_have_no_dict_and_no_weak_references():
    path = quilvarn.LtmPath("/Common/vs")
    with pytest.raises(AttributeError):
        path.other = 1
    with pytest.raises(AttributeError):
        path.__dict__
    with pytest.raises(TypeError, match="cannot create weak reference to 'builtins.LtmPath' object"):
        weakref.ref(path)


def test_instances_are_released_with_their_last_reference():
    import gc
    import sys

    def make(n):
        return [quilvarn.LtmPath("/Common/vs") for _ in range(n)]

    make(1)  # warm-up: the interpreter may keep a reference of its own to the type
    before = sys.getrefcount(quilvarn.LtmPath)
    paths = make(1000)
    during = sys.getrefcount(quilvarn.LtmPath)  # each instance holds its type
    del paths
    gc.collect()
    after = sys.getrefcount(quilvarn.LtmPath)
    assert (during, after) == (before + 1000, before)


def test_member_documentation_is_empty_except_text_signatures():
    cls = quilvarn.LtmPath
    signed = {"get_partition", "get_full_path"}
    for name, member in vars(cls).items():
        if not callable(member) or name.startswith("__") and name != "__eq__":
            continue
        if name in signed:
            assert member.__text_signature__ == "($self, default_partition:str=None)"
        else:
            assert member.__text_signature__ is None
        assert member.__doc__ is None


ARGUMENT_ERRORS = [
    (lambda: quilvarn.LtmPath(), "LtmPath.__new__() missing 1 required positional argument: 'path'"),
    (lambda: quilvarn.LtmPath("a", "b"), "LtmPath.__new__() takes 1 positional arguments but 2 were given"),
    (lambda: quilvarn.LtmPath("a", "b", "c"), "LtmPath.__new__() takes 1 positional arguments but 3 were given"),
    (lambda: quilvarn.LtmPath(path="a", other="b"), "LtmPath.__new__() got an unexpected keyword argument 'other'"),
    (lambda: quilvarn.LtmPath("a", path="b"), "LtmPath.__new__() got multiple values for argument 'path'"),
    (lambda: quilvarn.LtmPath(5), "argument 'path': 'int' object cannot be converted to 'PyString'"),
    (lambda: quilvarn.LtmPath(None), "argument 'path': 'NoneType' object cannot be converted to 'PyString'"),
    (lambda: quilvarn.LtmPath(b"/a/b"), "argument 'path': 'bytes' object cannot be converted to 'PyString'"),
    (lambda: quilvarn.LtmPath("a").get_partition("x", "y"),
     "LtmPath.get_partition() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda: quilvarn.LtmPath("a").get_full_path("x", "y", "z"),
     "LtmPath.get_full_path() takes from 0 to 1 positional arguments but 3 were given"),
    (lambda: quilvarn.LtmPath("a").get_partition(default="x"),
     "LtmPath.get_partition() got an unexpected keyword argument 'default'"),
    (lambda: quilvarn.LtmPath("a").get_full_path("x", default_partition="y"),
     "LtmPath.get_full_path() got multiple values for argument 'default_partition'"),
    (lambda: quilvarn.LtmPath("a").get_partition(7),
     "argument 'default_partition': 'int' object cannot be converted to 'PyString'"),
    (lambda: quilvarn.LtmPath("a").get_full_path(default_partition=["Common"]),
     "argument 'default_partition': 'list' object cannot be converted to 'PyString'"),
    (lambda: quilvarn.LtmPath("a").__eq__(), "LtmPath.__eq__() missing 1 required positional argument: 'other'"),
    (lambda: quilvarn.LtmPath("a").__eq__("a"), "argument 'other': 'str' object cannot be converted to 'LtmPath'"),
    (lambda: quilvarn.LtmPath("a").__eq__(None),
     "argument 'other': 'NoneType' object cannot be converted to 'LtmPath'"),
    (lambda: quilvarn.LtmPath("a").__eq__(quilvarn.LtmPath("a"), quilvarn.LtmPath("a")),
     "LtmPath.__eq__() takes 1 positional arguments but 2 were given"),
    (lambda: quilvarn.LtmPath("a").get_name(1), "LtmPath.get_name() takes no arguments (1 given)"),
]


@pytest.mark.parametrize("call,message", ARGUMENT_ERRORS, ids=[m for _, m in ARGUMENT_ERRORS])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
    assert type(info.value) is TypeError


def test_conversion_error_names_the_qualified_type_name():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError) as info:
        quilvarn.LtmPath(Outer.Inner())
    assert str(info.value) == (
        "argument 'path': 'test_conversion_error_names_the_qualified_type_name.<locals>.Outer.Inner' "
        "object cannot be converted to 'PyString'")


def test_optional_argument_given_as_none_counts_as_absent():
    path = quilvarn.LtmPath("vs")
    assert path.get_partition(None) is None
    assert path.get_partition(default_partition=None) is None
    with pytest.raises(RuntimeError, match="^Invalid partition name!$"):
        path.get_full_path(default_partition=None)


def test_str_subclasses_are_accepted_as_text():
    class Text(str):
        pass

    path = quilvarn.LtmPath(Text(" /Common/vs "))
    assert path.get_val() == "/Common/vs"
    assert type(path.get_val()) is str
    assert path.get_full_path(Text("x")) == "/Common/vs"


def test_text_without_utf8_form_is_refused_with_the_encoding_error():
    # a lone surrogate is a str but has no UTF-8 form: the encoder's error passes unchanged
    with pytest.raises(UnicodeEncodeError):
        quilvarn.LtmPath("/Common/\ud800")
    with pytest.raises(UnicodeEncodeError):
        quilvarn.LtmPath("vs").get_partition("\udfff")


def test_receiver_must_be_an_instance():
    with pytest.raises(TypeError, match="'get_name' for 'builtins.LtmPath' objects doesn't apply to a 'str' object"):
        quilvarn.LtmPath.get_name("/Common/vs")


def test_constructor_called_through_new_on_another_type_is_refused():
    with pytest.raises(TypeError, match=r"^builtins.LtmPath.__new__\(int\): int is not a subtype of builtins.LtmPath$"):
        quilvarn.LtmPath.__new__(int, "/a/b")
    path = quilvarn.LtmPath.__new__(quilvarn.LtmPath, " /a/b ")
    assert path.get_val() == "/a/b"
