"""What the test modules share: the document formats and their calls, the Profile class, small
builders and the attribute states tests compare, the configuration listings several modules read,
and the hypothesis strategies of texts, numbers and whole listings.

A plain module that tests import by name: pytest puts this folder on the path for its test modules.
It holds no fixtures, so there is no conftest.py (which is pytest's file for fixtures and hooks, and
not one to import names from)."""
import json
import subprocess
import sys
from pathlib import Path

from hypothesis import strategies as st

from quilvarn import LtmPath, Pool, PoolMember, Snat, SnatPool, Virtual, partition

# ---- Formats ---------------------------------------------------------------------------------------

FORMATS = ["json", "yaml", "toml"]


def write(obj, fmt):
    return getattr(obj, "to_" + fmt)()


def read(cls, fmt, text):
    return getattr(cls, "from_" + fmt)(text)


# ---- Generated listings ----------------------------------------------------------------------------

# The benchmarks' listing generator, beside the repository; tests that use it skip without it.
GEN_CONFIG = Path(__file__).resolve().parents[2] / "shared" / "bench" / "gen_config.py"


def generate_listing(*args):
    """The text gen_config.py writes for these arguments ("--apps", "40" or "--megabytes", "8")."""
    return subprocess.run([sys.executable, str(GEN_CONFIG), *args], capture_output=True, text=True,
                          check=True).stdout


# Characters with the Unicode White_Space property, which the written-when rules trim.
WHITE_SPACE = ("\t\n\x0b\x0c\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009"
               "\u200a\u2028\u2029\u202f\u205f\u3000")


def is_blank(text):
    return text.strip(WHITE_SPACE) == ""


# ---- Values and their states ---------------------------------------------------------------------------

# Profile is a class of the module without a module attribute: reach it through a Virtual.
Profile = type(Virtual.from_json(
    '{"name":"n","destination":"d","ip-protocol":"tcp","mask":"m","profiles":[["x"]]}').profiles[0])


def make_profile(name, context=None):
    p = Profile()
    p.name = name
    p.context = context
    return p


def make_snat(type_, pool):
    s = Snat()
    s.type_ = type_
    s.pool = pool
    return s


def make_partition(name, rd, description):
    p = partition("auth partition Common {\n}")
    p.name, p.rd, p.description = name, rd, description
    return p


def make_snatpool(name, members, partition_):
    pool = SnatPool.new_default()
    pool.name = LtmPath(name)
    pool.members = members
    pool.partition = partition_
    return pool


def member_from(document):
    """A member holding exactly the given document's values (texts untrimmed)."""
    return PoolMember.from_json(json.dumps(document))


def pool_from(document):
    """A pool holding exactly the given document's values (texts untrimmed)."""
    return Pool.from_json(json.dumps(document))


DEFAULT_MEMBER = {"name": "", "destination": "", "priority_group": 0, "session": "", "state": "",
                  "monitor": "default", "ratio": 1}


def attributes(member):
    return {key: (getattr(member, key).get_val() if key == "name" else getattr(member, key))
            for key in DEFAULT_MEMBER}


def fqdn_pair(member):
    return member.fqdn.autopopulate, member.fqdn.name


def member_state(member):
    return attributes(member), fqdn_pair(member)


def pool_state(pool):
    state = {key: getattr(pool, key) for key in ("monitor", "description", "min_active_members", "lb_mode")}
    state["name"] = pool.name.get_val()
    state["members"] = [member_state(m) for m in pool.members]
    state["partition"] = pool.get_partition("<none>")
    return state


# The Virtual's attributes by kind, and all of them in the order of its table.
VIRTUAL_TEXTS = ["description", "partition", "ip_protocol", "mask", "translate_address", "translate_port",
                 "source"]
VIRTUAL_OPTIONAL_TEXTS = ["creation_time", "last_modified_time", "fw_enforced_policy"]
VIRTUAL_TEXT_LISTS = ["vlans", "rules", "security_log_profiles"]
VIRTUAL_FLAGS = ["vlans_enabled", "disabled"]
VIRTUAL_PATHS = ["name", "destination", "pool"]
VIRTUAL_ATTRIBUTES = ["name", "destination", "description", "partition", "ip_protocol", "creation_time",
                      "last_modified_time", "profiles", "mask", "pool", "snat", "translate_address",
                      "translate_port", "vlans", "vlans_enabled", "source", "disabled", "rules", "policies",
                      "fw_enforced_policy", "security_log_profiles"]


def plain(value):
    """An attribute value as plain Python data (paths as text, Profile and Snat as dicts)."""
    if isinstance(value, LtmPath):
        return ("path", value.get_val())
    if isinstance(value, list):
        return [plain(v) for v in value]
    if isinstance(value, tuple):
        return tuple(plain(v) for v in value)
    if hasattr(value, "to_dict"):
        return (type(value).__name__, value.to_dict(), str(value))
    return value


def virtual_state(v):
    return {a: plain(getattr(v, a)) for a in VIRTUAL_ATTRIBUTES}


# ---- Listings --------------------------------------------------------------------------------------

POOL_TEXT = """ltm pool /Tenant/pool_app {
    description "App servers"
    load-balancing-mode least-connections-member
    members {
        /Tenant/10.1.10.1%2:80 {
            address 10.1.10.1%2
            priority-group 10
            ratio 2
            session monitor-enabled
            state up
        }
        /Tenant/app-fqdn:443 {
            fqdn {
                autopopulate enabled
                name app.backend.example.com
            }
        }
        /Common/10.1.10.3:http {
            address 10.1.10.3
            monitor /Common/tcp
        }
        bare {
            session user-disabled
        }
    }
    min-active-members 1
    monitor /Tenant/mon_app and /Common/gateway_icmp
}
"""

# Every field of a virtual server.
VIRTUAL_TEXT = """ltm virtual /Common/vs_web {
    creation-time 2024-03-11:09:14:52
    description "Web front end"
    destination /Common/10.0.0.1:443
    disabled
    fw-enforced-policy /Common/fw
    ip-protocol tcp
    last-modified-time 2024-05-02:17:40:03
    mask 255.255.255.255
    partition Common
    persist {
        /Common/cookie {
            default yes
        }
    }
    policies {
        /Common/policy_a { }
        /Common/policy_b {
            rule1
            rule2
        }
    }
    pool /Common/pool_web
    profiles {
        /Common/http { }
        /Common/tcp {
            context clientside
        }
    }
    rules {
        /Common/irule_a
        /Common/irule_b
    }
    security-log-profiles {
        /Common/log_a
    }
    source 0.0.0.0/0
    source-address-translation {
        pool /Common/snat_web
        type snat
    }
    translate-address enabled
    translate-port enabled
    vlans {
        /Common/external
        /Common/internal
    }
    vlans-enabled
}
"""

PARTITION_TEXT = "auth partition Tenant {\n    default-route-domain 2\n    description \"the tenant\"\n}\n"
SNATPOOL_TEXT = "ltm snatpool /Tenant/snat_app {\n    members {\n        /Tenant/10.2.0.1\n        10.2.0.2\n    }\n}\n"
# A whole configuration of one object of each kind.
LTM_TEXT = PARTITION_TEXT + VIRTUAL_TEXT + POOL_TEXT + SNATPOOL_TEXT


def partition_listing(name, rd=None):
    body = f"    default-route-domain {rd}\n" if rd is not None else ""
    return f"auth partition {name} {{\n{body}}}\n"


def pool_listing(name):
    return (f"ltm pool {name} {{\n    members {{\n        10.0.0.1:80 {{\n            address 10.0.0.1\n"
            "        }\n    }\n}\n")


def snatpool_listing(name):
    return f"ltm snatpool {name} {{\n    members {{\n        10.1.1.1\n    }}\n}}\n"


def virtual_listing(name):
    return f"ltm virtual {name} {{\n    destination 10.0.0.9:443\n    ip-protocol tcp\n    mask 255.255.255.255\n}}\n"


# ---- Strategies ------------------------------------------------------------------------------------

# Texts near the keywords, with the white space and case variants the written-when tests see.
KEYWORD_TEXTS = ["default", "DEFAULT", " default ", "disabled", "Disabled\u3000", "enabled", "round-robin",
                 " ROUND-ROBIN", "Common", "common ", "none", "", " ", "\xa0", "\u200b", "8080", "~", "null",
                 "true", "yes", "a: b", "#x", "- x", "'q'", '"q"', "line\nfeed", "tab\tx", "\\"]
keyword_texts = st.one_of(
    st.sampled_from(KEYWORD_TEXTS),
    st.text(st.characters(blacklist_categories=("Cs",)), max_size=10),
)
# Canonical texts: the writers drop nothing of them, so reading what they wrote gives them back.
canonical_texts = st.text(st.characters(blacklist_categories=("Cs", "Zs", "Zl", "Zp", "Cc")),
                          min_size=1, max_size=10).filter(lambda t: t.strip() == t and t.lower() not in {
                              "default", "disabled", "round-robin", "common"})
short_texts = st.text(max_size=12)
# Texts that are blank (but not empty) do not read back unchanged: writers leave them out.
non_blank_texts = short_texts.filter(lambda t: t == "" or not is_blank(t))
u16s = st.one_of(st.sampled_from([0, 1, 2, 65535]), st.integers(0, 65535))


# Documents of members and pools: any texts, and canonical ones.
def fqdn_documents(text=keyword_texts):
    return st.fixed_dictionaries({}, optional={"autopopulate": text, "name": text})


def member_documents(text=keyword_texts, number=u16s):
    return st.fixed_dictionaries({"name": text}, optional={
        "destination": text, "priority-group": number, "session": text, "state": text,
        "fqdn": fqdn_documents(text), "monitor": text, "ratio": number})


canonical_members = st.fixed_dictionaries({"name": canonical_texts}, optional={
    "destination": canonical_texts, "priority-group": u16s, "session": canonical_texts,
    "state": canonical_texts, "fqdn": st.fixed_dictionaries({"autopopulate": canonical_texts,
                                                             "name": canonical_texts}),
    "monitor": st.one_of(st.just("default"), canonical_texts), "ratio": u16s})


def pool_documents(text=keyword_texts):
    return st.fixed_dictionaries({"name": text}, optional={
        "members": st.lists(member_documents(text), max_size=3), "monitor": text, "description": text,
        "min-active-members": u16s, "load-balancing-mode": text, "partition": text})


canonical_pools = st.fixed_dictionaries({"name": canonical_texts}, optional={
    "members": st.lists(canonical_members, min_size=1, max_size=3), "monitor": canonical_texts,
    "description": canonical_texts, "min-active-members": u16s,
    "load-balancing-mode": st.one_of(st.just("round-robin"), canonical_texts),
    "partition": st.one_of(st.just("Common"), canonical_texts)})


@st.composite
def virtuals(draw, text=short_texts):
    v = Virtual.new_default()
    for attribute in VIRTUAL_TEXTS + VIRTUAL_PATHS:
        setattr(v, attribute, draw(text))
    for attribute in VIRTUAL_OPTIONAL_TEXTS:
        setattr(v, attribute, draw(st.none() | text))
    for attribute in VIRTUAL_TEXT_LISTS:
        setattr(v, attribute, draw(st.lists(text, max_size=3)))
    for attribute in VIRTUAL_FLAGS:
        setattr(v, attribute, draw(st.booleans()))
    v.profiles = [make_profile(n, c) for n, c in draw(st.lists(st.tuples(text, st.none() | text), max_size=3))]
    v.snat = make_snat(draw(text), draw(text))
    v.policies = draw(st.lists(st.tuples(text, st.lists(text, max_size=3)), max_size=3))
    return v


# Objects of a whole configuration, each as (kind, its listing), with text that is none of them.
LISTING_NAMES = st.text("abcxyz019_-.", min_size=1, max_size=8).map(lambda s: "n" + s)
LISTING_PATHS = st.tuples(st.sampled_from(["", "/Common/", "/Tenant_1/"]), LISTING_NAMES).map("".join)
listing_objects = st.one_of(
    st.tuples(st.just("partition"), st.builds(
        lambda n, rd, d: f"auth partition {n} {{\n" + (f"    default-route-domain {rd}\n" if rd is not None else "")
        + (f"    description {d}\n" if d else "") + "}\n",
        LISTING_NAMES, st.none() | st.integers(0, 65535), st.text("ab ,\"", max_size=6).map(str.strip))),
    st.tuples(st.just("pool"), st.builds(pool_listing, LISTING_PATHS)),
    st.tuples(st.just("snat"), st.builds(
        lambda n, members, p: f"ltm snatpool {n} {{\n    members {{\n"
        + "".join(f"        {m}\n" for m in members) + "    }\n" + (f"    partition {p}\n" if p else "") + "}\n",
        LISTING_PATHS, st.lists(st.sampled_from(["10.0.0.1", "/Common/10.0.0.2", '"q t"']), max_size=3),
        st.sampled_from(["", "Common", "Tenant "]))),
    st.tuples(st.just("virtual"), st.builds(virtual_listing, LISTING_PATHS)),
    st.tuples(st.just("junk"), st.sampled_from(["# comment\n", "net vlan /Common/v {\n    tag 1\n}\n", "\n"])),
)
generated_listings = st.lists(listing_objects, max_size=8)


def listing_text(objects):
    return "".join(text for _, text in objects)
