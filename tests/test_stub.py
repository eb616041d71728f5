"""The type stub against the built module: the same classes, attributes and methods, of the same
kinds (static methods, instance methods, attributes readable and writable as declared), with the
parameter names the module takes and attribute values of the declared types."""
import ast
import builtins
from pathlib import Path

import pytest

import quilvarn

# The stub installed beside the module when there is one, else the one in the source tree.
_INSTALLED = Path(quilvarn.__file__).with_name("quilvarn.pyi")
STUB = _INSTALLED if _INSTALLED.exists() else Path(__file__).resolve().parents[1] / "src" / "quilvarn.pyi"
TREE = ast.parse(STUB.read_text())
STUB_CLASSES = {node.name: node for node in TREE.body if isinstance(node, ast.ClassDef)}


def _profile_class():
    vs = quilvarn.Virtual("ltm virtual v {\n    profiles {\n        /Common/http { }\n    }\n}\n")
    return type(vs.profiles[0])


def module_classes():
    """Stub class name -> the module's class; the stub names Profile, which is no module attribute,
    _Profile."""
    classes = {name: getattr(quilvarn, name) for name in quilvarn.__all__}
    classes["_Profile"] = _profile_class()
    return classes


def is_dunder(name):
    return name.startswith("__") and name.endswith("__")


def decorators(node):
    return {ast.unparse(d) for d in node.decorator_list}


def stub_members(cls_node):
    """name -> ("static" | "method" | "attribute", readable, writable, nodes) of one stub class."""
    members = {}
    for node in cls_node.body:
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            if ast.unparse(node.annotation).startswith("ClassVar"):
                continue
            members[node.target.id] = ["attribute", True, True, [node]]
        elif isinstance(node, ast.FunctionDef):
            marks = decorators(node)
            if "property" in marks:
                members[node.name] = ["attribute", True, False, [node]]
            elif f"{node.name}.setter" in marks:
                entry = members.setdefault(node.name, ["attribute", False, False, []])
                entry[2] = True
                entry[3].append(node)
            elif "staticmethod" in marks:
                members[node.name] = ["static", None, None, [node]]
            else:
                members[node.name] = ["method", None, None, [node]]
    return members


def module_members(cls):
    members = {}
    for name, value in vars(cls).items():
        if is_dunder(name) and name not in ("__eq__", "__len__", "__bool__"):
            continue
        kind = type(value).__name__
        members[name] = {"staticmethod": "static", "getset_descriptor": "attribute"}.get(kind, "method")
    return members


def test_module_attributes_and_stub_all_agree():
    public = {name for name in dir(quilvarn) if not name.startswith("__")}
    assert set(quilvarn.__all__) == public
    stub_all = next(node for node in TREE.body if isinstance(node, ast.Assign)
                    and ast.unparse(node.targets[0]) == "__all__")
    assert ast.literal_eval(stub_all.value) == quilvarn.__all__
    assert set(STUB_CLASSES) == set(module_classes())
    assert not hasattr(quilvarn, "Profile") and not hasattr(quilvarn, "_Profile")


@pytest.mark.parametrize("name", sorted(module_classes()))
def test_every_member_is_declared_with_its_kind(name):
    built = module_members(module_classes()[name])
    declared = {member: entry[0] for member, entry in stub_members(STUB_CLASSES[name]).items()
                if member != "__new__"}
    assert declared == built


def sample_objects():
    """An instance of every class with its fields filled in."""
    ltm = quilvarn.LTM("""auth partition Tenant {
    default-route-domain 4
    description main
}
ltm pool /Tenant/web {
    members {
        /Tenant/10.0.0.1%4:80 {
            address 10.0.0.1%4
            priority-group 2
        }
        /Tenant/app:443 {
            fqdn {
                autopopulate enabled
                name app.example.com
            }
        }
    }
    min-active-members 1
}
ltm snatpool /Tenant/sp {
    members {
        /Tenant/10.1.1.1
    }
}
ltm virtual /Tenant/vs {
    creation-time 2024-01-01:00:00:00
    destination /Tenant/10.0.0.9:443
    ip-protocol tcp
    mask 255.255.255.255
    policies {
        /Tenant/pol { }
    }
    pool /Tenant/web
    profiles {
        /Common/tcp {
            context all
        }
    }
    rules {
        /Common/r1
    }
    source-address-translation {
        type automap
    }
    vlans {
        /Common/v1
    }
    vlans-enabled
}
""")
    pool = ltm.pools[0]
    vs = ltm.virtual_servers[0]
    return {
        "LTM": ltm, "partition": ltm.partitions[0], "Pool": pool, "PoolMember": pool.members[1],
        "MemberFqdn": pool.members[1].fqdn, "Virtual": vs, "_Profile": vs.profiles[0], "Snat": vs.snat,
        "SnatPool": ltm.snat_pools[0], "LtmPath": quilvarn.LtmPath("/Tenant/10.0.0.1%4:80"),
    }


def conforms(value, annotation):
    """Whether a value is of a stub annotation (the subset of forms the stub uses)."""
    if isinstance(annotation, ast.Constant) and annotation.value is None:
        return value is None
    if isinstance(annotation, ast.BinOp) and isinstance(annotation.op, ast.BitOr):
        return conforms(value, annotation.left) or conforms(value, annotation.right)
    if isinstance(annotation, ast.Subscript):
        origin = annotation.value.id
        args = annotation.slice.elts if isinstance(annotation.slice, ast.Tuple) else [annotation.slice]
        if origin == "list":
            return type(value) is list and all(conforms(item, args[0]) for item in value)
        if origin == "tuple":
            return (type(value) is tuple and len(value) == len(args)
                    and all(conforms(item, arg) for item, arg in zip(value, args)))
        if origin == "dict":
            return type(value) is dict
        raise AssertionError(f"annotation form not handled: {ast.unparse(annotation)}")
    name = annotation.id
    if name == "Any":
        return True
    expected = module_classes().get(name) or getattr(builtins, name)
    return type(value) is expected


@pytest.mark.parametrize("name", sorted(module_classes()))
def test_attributes_read_and_write_as_declared(name):
    obj = sample_objects()[name]
    for member, (kind, readable, writable, nodes) in stub_members(STUB_CLASSES[name]).items():
        if kind != "attribute":
            continue
        getter = nodes[0]
        annotation = getter.annotation if isinstance(getter, ast.AnnAssign) else getter.returns
        if ast.unparse(annotation) == "NoReturn":  # declared write-only
            with pytest.raises(AttributeError, match="is not readable"):
                getattr(obj, member)
            continue
        assert readable
        value = getattr(obj, member)
        assert conforms(value, annotation), (member, value)
        if writable and ast.unparse(annotation) != "LtmPath":  # Virtual's path setters take a str
            setattr(obj, member, value)  # a value as read is taken back
            assert conforms(getattr(obj, member), annotation)


@pytest.mark.parametrize("name", sorted(module_classes()))
def test_no_argument_methods_return_the_declared_types(name):
    obj = sample_objects()[name]
    for member, (kind, _, _, nodes) in stub_members(STUB_CLASSES[name]).items():
        if kind == "attribute" or member == "__new__":
            continue
        node = nodes[0]
        required = len(node.args.args) - (kind != "static") - len(node.args.defaults)
        if required > 0:
            continue
        try:
            result = getattr(obj, member)()
        except ValueError:
            assert member in ("try_to_csv", "get_port")  # CSV of list fields, a path without port
            continue
        assert conforms(result, node.returns), (member, result)


def parameter_cases():
    classes = module_classes()
    for name, cls_node in STUB_CLASSES.items():
        for member, (kind, _, _, nodes) in stub_members(cls_node).items():
            if kind == "attribute" or nodes[0].args.vararg:
                continue
            params = [a.arg for a in nodes[0].args.args]
            if kind != "static":
                params = params[1:]  # self or cls
            for param in params:
                yield pytest.param(name, classes[name], member, param, id=f"{name}.{member}({param})")


@pytest.mark.parametrize("name,cls,member,param", parameter_cases())
def test_parameters_are_taken_by_their_declared_names(name, cls, member, param):
    if member == "__new__":
        call = cls
    elif isinstance(vars(cls)[member], staticmethod):
        call = getattr(cls, member)
    else:
        call = getattr(sample_objects()[name], member)
    # a value of no accepted type names the parameter in the error: the keyword reached it
    with pytest.raises(TypeError, match=rf"^argument '{param}': 'int' object cannot be converted to"):
        call(**{param: 5})
