"""The object-path class LtmPath: construction, accessors, string forms, equality and Unicode rules."""
import ipaddress
import pathlib
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from quilvarn import LtmPath

# The characters with the Unicode White_Space property.
WHITE_SPACE = "\t\n\x0b\x0c\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200B))) + \
    "\u2028\u2029\u202f\u205f\u3000"
ARABIC_THREE = "\u0663"  # ARABIC-INDIC DIGIT THREE, a decimal digit that is not ASCII


def invalid(path):
    return "Invalid object path: " + repr(path)


# ---- construction and string forms --------------------------------------------------------------

CONSTRUCTION = [
    # given, stored text
    (" /Common/vs\n", "/Common/vs"),
    ("  /Common/vs \t\r\n", "/Common/vs"),
    ("   ", ""),
    ("", ""),
    ("\xa0/Common/vs\u3000", "/Common/vs"),
    (WHITE_SPACE + "vs" + WHITE_SPACE, "vs"),
    ("\u200b/Common/vs\u200b", "\u200b/Common/vs\u200b"),  # zero-width space is not white space
    ("/Common/a b", "/Common/a b"),                       # inner white space stays
    ("\x1c/Common/vs\x1f", "\x1c/Common/vs\x1f"),          # str.isspace() is not the rule
]


@pytest.mark.parametrize("given_text,stored", CONSTRUCTION)
def test_constructor_trims_white_space(given_text, stored):
    path = LtmPath(given_text)
    assert path.get_val() == stored
    assert repr(path) == stored
    assert str(path) == stored
    assert f"{path}" == stored
    assert len(path) == len(stored.encode("utf-8"))
    assert bool(path) is (stored != "")


def test_keyword_construction():
    assert LtmPath(path=" /Common/vs ").get_val() == "/Common/vs"


@pytest.mark.parametrize("text,length", [
    ("/Common/vé", 11),       # ten characters, one of two bytes
    ("/Common/\u3042", 11),    # a three-byte character
    ("/C/\U0001F600", 7),      # a four-byte character
    ("a", 1),
    ("", 0),
])
def test_length_counts_utf8_bytes(text, length):
    assert len(LtmPath(text)) == length


def test_representation_shows_only_the_text():
    path = LtmPath("/Common/vs")
    assert repr(path) == str(path) == path.get_val() == "/Common/vs"
    assert repr([path]) == "[/Common/vs]"


# ---- equality and hashing -----------------------------------------------------------------------

def test_operators_compare_identity_and_eq_method_compares_texts():
    a, b = LtmPath("/Common/vs"), LtmPath(" /Common/vs ")
    assert (a == b) is False
    assert (a != b) is True
    assert (a == a) is True
    assert a.__eq__(b) is True
    assert a.__eq__(other=b) is True
    assert a.__eq__(a) is True
    assert a.__eq__(LtmPath("/Common/vs2")) is False
    assert LtmPath("").__eq__(LtmPath("  ")) is True


def test_ordering_comparisons_are_refused():
    with pytest.raises(TypeError):
        LtmPath("a") < LtmPath("b")


def test_objects_are_unhashable():
    path = LtmPath("/Common/vs")
    assert LtmPath.__hash__ is None
    with pytest.raises(TypeError, match="unhashable type"):
        hash(path)
    with pytest.raises(TypeError):
        {path}
    with pytest.raises(TypeError):
        {path: 1}


# ---- get_port -----------------------------------------------------------------------------------

PORTS = [
    ("/Common/vs:80", 80),
    ("/Common/vs:0080", 80),
    ("/Common/vs:ssh", 22),
    ("/Common/vs:http", 80),
    ("/Common/vs:nosuchservice", 65535),
    ("/Common/vs:SSH", 65535),                # service names are case-sensitive
    ("/Common/10.1.1.1%2:443", 443),
    ("vs%2::80", 80),
    ("vs%2ssh", 22),
    ("vs:65535", 65535),
    ("vs:0", 0),
    ("vs:00000000000000000001", 1),
    ("vs:80x", 65535),                        # "80x" is a service name
    ("a:b:c", 65535),
    ("100.64.0.0:any", 0),                    # the wildcard port of a network virtual server
    ("/Common/vs:any", 0),
    ("vs:Any", 65535),
    ("vs:anyx", 65535),
]

PORT_ERRORS = [
    ("/Common/vs", "No port found!"),
    ("/Common/vs%2", "No port found!"),
    ("vs%2:", "No port found!"),
    ("", "No port found!"),
    ("a b", "No port found!"),                # no match
    ("/a/b/c", "No port found!"),             # in a folder: the rest "/c" is no service name
    ("/Common/app.app/vs", "No port found!"),
    ("/t/app/10.0.0.1:80", "No port found!"),
    ("/Tenant/App/vs:80", "No port found!"),  # the port belongs to the folder's rest
    ("/Common/vs:99999", "number too large to fit in target type"),
    ("/Common/vs:65536", "number too large to fit in target type"),
    ("/Common/vs:" + ARABIC_THREE, "invalid digit found in string"),
    ("/Common/vs:8" + ARABIC_THREE, "invalid digit found in string"),
    ("/Common/vs:99999" + ARABIC_THREE, "number too large to fit in target type"),  # first fault from the left
    ("/Common/vs:" + ARABIC_THREE + "99999", "invalid digit found in string"),
]


@pytest.mark.parametrize("text,port", PORTS)
def test_get_port(text, port):
    assert LtmPath(text).get_port() == port


@pytest.mark.parametrize("text,message", PORT_ERRORS)
def test_get_port_errors(text, message):
    with pytest.raises(ValueError) as info:
        LtmPath(text).get_port()
    assert str(info.value) == message


# ---- get_route_domain ---------------------------------------------------------------------------

ROUTE_DOMAINS = [
    ("/Common/vs%2:80", 2),
    ("/Common/vs%007", 7),
    ("/Common/vs%65535", 65535),
    ("/Common/vs%99999", None),
    ("/Common/vs%" + ARABIC_THREE, None),     # a digit for the pattern, not a number
    ("/Common/vs", None),
    ("vs%x", None),                           # "%x" is a service name
    ("/Tenant/App/10.0.0.1%2:80", None),      # in a folder: the rest holds it
    ("%1", None),                             # no match
    ("", None),
]


@pytest.mark.parametrize("text,rd", ROUTE_DOMAINS)
def test_get_route_domain(text, rd):
    assert LtmPath(text).get_route_domain() == rd


# ---- get_partition ------------------------------------------------------------------------------

PARTITIONS = [
    # text, default, result
    ("/Common/vs", None, "Common"),
    ("/Common/vs", "Other", "Common"),        # a default never replaces a named partition
    ("Common/vs", None, "Common"),
    ("Common//vs", None, "Common"),
    ("/a/b/c", None, "a"),
    ("/Tenant/App/web_pool", "Dev", "Tenant"),
    ("vs", None, None),
    ("vs", "Common", "Common"),
    ("vs", "", ""),
    ("", None, None),
    ("", "x", "x"),                           # no match: the default
    ("//a/b", "x", "x"),
    ("/a/", None, None),                      # name "a", service "/"
    ("/Pärt/vs", None, "Pärt"),
]


@pytest.mark.parametrize("text,default,result", PARTITIONS)
def test_get_partition(text, default, result):
    path = LtmPath(text)
    assert path.get_partition(default) == result
    assert path.get_partition(default_partition=default) == result
    if default is None:
        assert path.get_partition() == result


# ---- get_name -----------------------------------------------------------------------------------

NAMES = [
    ("/Common/vs:80", "vs"),
    ("/Common/vs", "vs"),
    ("vs", "vs"),
    ("/a/b/c", "b"),
    ("/Common/app.app/vs", "app.app"),
    ("/Tenant/App/web_pool", "App"),          # in a folder: the folder
    ("/Common/2001:db8::1.443", "2001:db8::1"),
    ("vs80", "vs80"),
    ("vs%2:80", "vs"),
    ("/Common/10.1.1.1%2:443", "10.1.1.1"),
    ("/Common/a\nb", "a\nb"),                 # line feeds and tabs belong to the name
    ("/Common/a\tb:80", "a\tb"),
    ("/Common/v\xe9", "v\xe9"),
]

NOT_MATCHING = ["", "a b", "%1", "//a/b", ":80", "/Common/a b", "vs:80 x",
                # no IPv6 address either
                ":::", "::ffff:10.0.0.01", "::ffff:1.2.3", ":1::", "/Common/::1.8 0", "::1%2 .80"]


@pytest.mark.parametrize("text,name", NAMES)
def test_get_name(text, name):
    assert LtmPath(text).get_name() == name


@pytest.mark.parametrize("text", NOT_MATCHING)
def test_accessors_on_a_path_that_does_not_match(text):
    path = LtmPath(text)
    for call in (path.get_name, path.get_address, lambda: path.get_full_path("Common")):
        with pytest.raises(ValueError) as info:
            call()
        assert str(info.value) == invalid(text)
    assert path.get_partition() is None
    assert path.get_route_domain() is None
    with pytest.raises(ValueError, match="^No port found!$"):
        path.get_port()


def test_invalid_path_error_quotes_the_text_as_python_does():
    for text, expected in [("", "Invalid object path: ''"),
                           ("a b", "Invalid object path: 'a b'"),
                           ("it's x", "Invalid object path: \"it's x\""),
                           ("a\nb c", "Invalid object path: 'a\\nb c'")]:
        with pytest.raises(ValueError) as info:
            LtmPath(text).get_name()
        assert str(info.value) == expected
        assert isinstance(info.value, Exception)


# ---- get_address --------------------------------------------------------------------------------

ADDRESSES = [
    ("/Common/10.1.1.1%2:443", "10.1.1.1"),
    ("10.1.1.1", "10.1.1.1"),
    ("/Common/0.0.0.0", "0.0.0.0"),
    ("/Common/255.255.255.255:80", "255.255.255.255"),
    ("/Common/010.1.1.1", None),
    ("/Common/256.1.1.1", None),
    ("/Common/10.1.1", None),
    ("/Common/10.1.1.1.1", None),
    ("/Common/10..1.1", None),
    ("/Common/1000.1.1.1", None),
    ("/Common/" + ARABIC_THREE + ".1.1.1", None),
    ("/Common/vs", None),
]


@pytest.mark.parametrize("text,address", ADDRESSES)
def test_get_address(text, address):
    assert LtmPath(text).get_address() == address


# ---- get_full_path ------------------------------------------------------------------------------

FULL_PATHS = [
    ("/Common/vs:80", None, "/Common/vs"),
    ("/Common/vs%2:80", "Other", "/Common/vs"),
    ("vs", "Common", "/Common/vs"),
    ("vs", "", "//vs"),
    ("/a/b/c", None, "/a/b/c"),               # in a folder: the rest is kept
    ("/Common/app.app/vs", None, "/Common/app.app/vs"),
    ("a/b/c", "Dev", "/a/b/c"),
    ("/t/app/10.0.0.1%2:80", None, "/t/app/10.0.0.1%2:80"),
    ("app/vs", "Dev", "/app/vs"),
    ("/Tenant/App/web_pool", "Dev", "/Tenant/App/web_pool"),
    ("/Tenant/App/sub/web", None, "/Tenant/App/sub/web"),
    ("/Tenant/App/vs:80", None, "/Tenant/App/vs:80"),      # the rest whole, its port too
]


@pytest.mark.parametrize("text,default,result", FULL_PATHS)
def test_get_full_path(text, default, result):
    assert LtmPath(text).get_full_path(default) == result
    assert LtmPath(text).get_full_path(default_partition=default) == result


@pytest.mark.parametrize("text", ["vs", "", "a b"])
def test_get_full_path_without_any_partition(text):
    with pytest.raises(RuntimeError) as info:
        LtmPath(text).get_full_path()
    assert str(info.value) == "Invalid partition name!"


# ---- IPv6 paths ---------------------------------------------------------------------------------
#
# The device writes an IPv6 destination with "." before the port and the route domain between the
# address and the "."; the address is the name.

IPV6_PATHS = [
    # text, partition, address, route domain, port (or the error), full path with the default "Dflt"
    ("/Common/2001:db8:1:2::10.8443", "Common", "2001:db8:1:2::10", None, 8443, "/Common/2001:db8:1:2::10"),
    ("2001:db8:1:2::10.8443", None, "2001:db8:1:2::10", None, 8443, "/Dflt/2001:db8:1:2::10"),
    ("fe80::1%2.443", None, "fe80::1", 2, 443, "/Dflt/fe80::1"),
    ("/Prod/fe80::1%2.443", "Prod", "fe80::1", 2, 443, "/Prod/fe80::1"),
    ("/Prod/fe80::1%2", "Prod", "fe80::1", 2, "No port found!", "/Prod/fe80::1"),
    ("/Common/::1", "Common", "::1", None, "No port found!", "/Common/::1"),
    ("::", None, "::", None, "No port found!", "/Dflt/::"),
    ("::.80", None, "::", None, 80, "/Dflt/::"),
    ("/Common/2001:DB8::A.https", "Common", "2001:DB8::A", None, 443, "/Common/2001:DB8::A"),
    ("/Common/2001:db8::1.any", "Common", "2001:db8::1", None, 0, "/Common/2001:db8::1"),
    ("/Common/2001:db8::1%3.any", "Common", "2001:db8::1", 3, 0, "/Common/2001:db8::1"),
    ("/Common/2001:db8::1.nosuch", "Common", "2001:db8::1", None, 65535, "/Common/2001:db8::1"),
    ("/Common/2001:db8::1.0080", "Common", "2001:db8::1", None, 80, "/Common/2001:db8::1"),
    ("/Common/2001:db8::1.99999", "Common", "2001:db8::1", None, "number too large to fit in target type",
     "/Common/2001:db8::1"),
    ("/Common/2001:db8::1." + ARABIC_THREE, "Common", "2001:db8::1", None, "invalid digit found in string",
     "/Common/2001:db8::1"),
    ("/Common/2001:db8::1%99999.80", "Common", "2001:db8::1", None, 80, "/Common/2001:db8::1"),
    ("1:2:3:4:5:6:7:8.80", None, "1:2:3:4:5:6:7:8", None, 80, "/Dflt/1:2:3:4:5:6:7:8"),
    ("1:2:3:4:5:6:7::.80", None, "1:2:3:4:5:6:7::", None, 80, "/Dflt/1:2:3:4:5:6:7::"),
    ("Common//::1.80", "Common", "::1", None, 80, "/Common/::1"),
    ("/P\xe4rt/::1.80", "P\xe4rt", "::1", None, 80, "/P\xe4rt/::1"),
    # an embedded IPv4 quad: the address valid as a whole is read first, then the one valid up to
    # its last "."
    ("::ffff:10.0.0.1", None, "::ffff:10.0.0.1", None, "No port found!", "/Dflt/::ffff:10.0.0.1"),
    ("/Common/::ffff:10.0.0.1.443", "Common", "::ffff:10.0.0.1", None, 443, "/Common/::ffff:10.0.0.1"),
    ("::ffff:10.0.0.1%4.443", None, "::ffff:10.0.0.1", 4, 443, "/Dflt/::ffff:10.0.0.1"),
    ("64:ff9b::192.0.2.33.ssh", None, "64:ff9b::192.0.2.33", None, 22, "/Dflt/64:ff9b::192.0.2.33"),
    ("2001:db8::1.2.3.4", None, "2001:db8::1.2.3.4", None, "No port found!", "/Dflt/2001:db8::1.2.3.4"),
    ("2001:db8::1.2", None, "2001:db8::1", None, 2, "/Dflt/2001:db8::1"),
]


@pytest.mark.parametrize("text,partition,address,rd,port,full", IPV6_PATHS)
def test_ipv6_paths_are_taken_apart(text, partition, address, rd, port, full):
    path = LtmPath(text)
    assert (path.get_partition(), path.get_name(), path.get_address(), path.get_route_domain(),
            port_or_error(path), path.get_full_path("Dflt")) == (partition, address, address, rd, port, full)
    assert path.get_partition("Dflt") == (partition or "Dflt")
    if partition is None:
        with pytest.raises(RuntimeError, match="^Invalid partition name!$"):
            path.get_full_path()
    else:
        assert path.get_full_path() == full


# Texts that are no IPv6 address (nor one up to their last "."), which keep the pattern's reading:
# text, partition, name, address, route domain, port (or the error), full path with "Dflt"
NOT_IPV6 = [
    ("2001", None, "2001", None, None, "No port found!", "/Dflt/2001"),
    ("a:b", None, "a", None, None, 65535, "/Dflt/a"),
    ("web:80", None, "web", None, None, 80, "/Dflt/web"),
    ("/Common/a:b:c", "Common", "a", None, None, 65535, "/Common/a"),            # seven groups short
    ("1:2:3:4:5:6:7:8:9", None, "1", None, None, 65535, "/Dflt/1"),             # nine groups
    ("1:2:3:4::5:6:7:8", None, "1", None, None, 65535, "/Dflt/1"),              # "::" with eight groups
    ("1::2::3", None, "1", None, None, 65535, "/Dflt/1"),                       # two "::"
    ("12345::1", None, "12345", None, None, 65535, "/Dflt/12345"),              # a group of five digits
    ("x::ffff:10.0.0.1", None, "x", None, None, 65535, "/Dflt/x"),              # "x" is no hex digit
    ("0::ffff:10.0.0.01", None, "0", None, None, 65535, "/Dflt/0"),             # leading zero in the quad
    ("0::ffff:1.2.3", None, "0", None, None, 65535, "/Dflt/0"),                 # three parts
    ("vs%2::80", None, "vs", None, 2, 80, "/Dflt/vs"),
    ("fe80::1%eth0.443", None, "fe80", None, None, 65535, "/Dflt/fe80"),        # a route domain is digits
    ("/Common/2001:db8::1./x", "Common", "2001", None, None, 65535, "/Common/2001"),
    ("/Common/2001:db8::1.", "Common", "2001", None, None, 65535, "/Common/2001"),
]


@pytest.mark.parametrize("text,partition,name,address,rd,port,full", NOT_IPV6)
def test_texts_that_are_not_ipv6_keep_the_pattern_reading(text, partition, name, address, rd, port, full):
    path = LtmPath(text)
    assert (path.get_partition("Dflt"), path.get_name(), path.get_address(), path.get_route_domain(),
            port_or_error(path), path.get_full_path("Dflt")) == (partition or "Dflt", name, address, rd, port, full)


# ---- the accessors against a model of the pattern -----------------------------------------------

SERVICES = dict(
    (name, int(port))
    for name, port in (line.split("\t") for line in
                       (pathlib.Path(__file__).parent.parent / "brelmark" / "data" / "services.tsv")
                       .read_text().splitlines() if line.strip()))
SERVICES["any"] = 0  # the wildcard port

_ws = re.escape(WHITE_SPACE)
MODEL = re.compile(
    r"(?:(?:/?)(?P<partition>[^/:% ]+?)/)?(?:(?:/?)(?P<name>[^/:% ]+))(?:%(?P<rd>\d+)(?::?))?"
    r"(?::?(?:(?P<port>\d+)|(?P<svc>[^" + _ws + r"]+)))?")


def model_u16(digits):
    value = 0
    for c in digits:
        if c not in "0123456789":
            return "invalid digit found in string"
        value = value * 10 + int(c)
        if value > 65535:
            return "number too large to fit in target type"
    return value


def port_or_error(path):
    try:
        return path.get_port()
    except ValueError as error:
        return str(error)


def outcome(call):
    try:
        return call()
    except (ValueError, RuntimeError) as e:
        return (type(e).__name__, str(e))


# An IPv6 path: partition, address (valid for the ipaddress module), route domain, port or service.
IPV6_SHAPES = [re.compile(r"(?:/?(?P<partition>[^/:% ]+)/)?/?(?P<address>[0-9A-Fa-f:.]+)" + rest)
               for rest in ("", r"%(?P<rd>\d+)(?:\.(?P<tail>[^/:%." + _ws + r"]+))?",
                            r"\.(?P<tail>[^/:%." + _ws + r"]+)")]


def model_ipv6(text):
    """The groups of an IPv6 path, as those of the pattern; None for any other text."""
    for shape in IPV6_SHAPES:
        m = shape.fullmatch(text)
        if not m:
            continue
        try:
            ipaddress.IPv6Address(m["address"])
        except ValueError:
            continue
        g = m.groupdict()
        tail = g.get("tail")
        digits = tail is not None and re.fullmatch(r"\d+", tail) is not None
        return {"partition": g["partition"], "name": g["address"], "rd": g.get("rd"),
                "port": tail if digits else None, "svc": None if digits else tail}
    return None


def model(text, default):
    g = model_ipv6(text)
    m = None if g is not None else MODEL.fullmatch(text)
    if m:
        g = m.groupdict()
    matched = g is not None
    g = g or {}
    ipv6 = matched and m is None

    # A path whose rest after the name begins with "/" names an object in a folder.
    folder = m is not None and g.get("svc") is not None and m.start("svc") == m.end("name") and g["svc"][:1] == "/"

    def port():
        if folder:
            return ("ValueError", "No port found!")
        if g.get("port") is not None:
            v = model_u16(g["port"])
            return v if isinstance(v, int) else ("ValueError", v)
        if g.get("svc") is not None:
            return SERVICES.get(g["svc"], 65535)
        return ("ValueError", "No port found!")

    rd = model_u16(g["rd"]) if g.get("rd") is not None else None
    partition = g["partition"] if g.get("partition") is not None else default
    name = g["name"] if matched else ("ValueError", invalid(text))
    if partition is None:
        full = ("RuntimeError", "Invalid partition name!")
    else:
        full = "/" + partition + "/" + name + (g["svc"] if folder else "") if matched else name
    if not matched or ipv6:
        address = name
    elif re.fullmatch(r"(?:(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\.){3}"
                      r"(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])", name, re.ASCII):
        address = name
    else:
        address = None
    return {
        "val": text,
        "port": port(),
        "rd": rd if isinstance(rd, int) else None,
        "partition": partition,
        "name": name,
        "address": address,
        "full": full,
    }


PIECES = ["/", "/", ":", "%", " ", "Common", "vs", "ssh", "http", "80", "0080", "99999", "10.1.1.1", "2",
          ARABIC_THREE, "\n", "\t", "\xa0", "\u3000", "\u200b", "\xe9", ".", "a", "x9",
          "::", "::", "2001:db8", "fe80", "ffff", "1.2.3.4", "any", "1:2:3:4:5:6:7"]


@settings(max_examples=600, deadline=None)
@given(st.lists(st.sampled_from(PIECES), max_size=10).map("".join), st.sampled_from([None, "", "Common"]))
def test_accessors_agree_with_a_model_of_the_pattern(raw, default):
    text = raw.strip(WHITE_SPACE)
    expected = model(text, default)
    path = LtmPath(raw)
    assert {
        "val": path.get_val(),
        "port": outcome(path.get_port),
        "rd": path.get_route_domain(),
        "partition": path.get_partition(default),
        "name": outcome(path.get_name),
        "address": outcome(path.get_address),
        "full": outcome(lambda: path.get_full_path(default)),
    } == expected


def test_failed_calls_leave_the_object_usable():
    path = LtmPath("/Common/vs")
    for _ in range(3):
        with pytest.raises(ValueError):
            path.get_port()
        with pytest.raises(TypeError):
            path.get_partition(1)
    assert path.get_full_path() == "/Common/vs"
