"""Round trips: a value of each class written in each document format and read back. One table holds,
for each class, a strategy that makes values of it (some classes have two: any values, and values the
writers drop nothing of) and what a round trip keeps of them."""
import json
from dataclasses import dataclass, field
from typing import Callable

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from helpers import (FORMATS, VIRTUAL_TEXT, Profile, canonical_members, canonical_pools, fqdn_documents,
                     generated_listings, is_blank, keyword_texts, listing_text, make_partition, make_profile, make_snat,
                     make_snatpool, member_documents, member_from, member_state, non_blank_texts, pool_documents,
                     pool_from, pool_state, read, u16s, virtual_state, virtuals, write)
from quilvarn import LTM, MemberFqdn, Pool, PoolMember, Snat, SnatPool, Virtual, partition


@dataclass(frozen=True)
class RoundTrip:
    """Values of one class, and what a round trip keeps of each: the value read back writes the same
    text and has the same to_dict(); its `state` is that of the value, or `kept` of it where the
    writers leave out a part (a blank text) that reads back as another value."""
    cls: type
    values: st.SearchStrategy
    state: Callable = None
    kept: Callable = None
    chosen: dict = field(default_factory=dict)  # particular values (by name) that go through the same checks


ROUND_TRIPS = {
    "PoolMember": RoundTrip(PoolMember, member_documents().map(member_from)),
    "PoolMember canonical": RoundTrip(PoolMember, canonical_members.map(member_from), state=member_state),
    "MemberFqdn": RoundTrip(MemberFqdn, fqdn_documents().map(lambda d: MemberFqdn.from_json(json.dumps(d))),
                            state=lambda f: (f.autopopulate, f.name)),
    "Pool": RoundTrip(Pool, pool_documents().map(pool_from)),
    "Pool canonical": RoundTrip(Pool, canonical_pools.map(pool_from), state=pool_state),
    "Virtual": RoundTrip(Virtual, virtuals()),
    "Virtual without blank texts": RoundTrip(Virtual, virtuals(non_blank_texts), state=virtual_state,
                                             chosen={"every field": lambda: Virtual(VIRTUAL_TEXT)}),
    "Profile": RoundTrip(Profile, st.builds(make_profile, keyword_texts, st.none() | keyword_texts),
                         state=lambda p: (p.name, p.context)),
    "Snat": RoundTrip(Snat, st.builds(make_snat, keyword_texts, keyword_texts),
                      state=lambda s: (s.type_, s.pool), kept=lambda s: (s.type_, "" if is_blank(s.pool) else s.pool)),
    "partition": RoundTrip(partition, st.builds(make_partition, keyword_texts, u16s, keyword_texts),
                           state=lambda p: (p.name, p.rd, p.description),
                           kept=lambda p: (p.name, p.rd, "" if is_blank(p.description) else p.description),
                           chosen={"empty description": lambda: make_partition(" Tenant A ", 65535, ""),
                                   "padded description": lambda: make_partition(" Tenant A ", 65535, " x "),
                                   "escaped description":
                                       lambda: make_partition(" Tenant A ", 65535, "tab\there \"quoted\" \\ \u00fc")}),
    "SnatPool": RoundTrip(SnatPool, st.builds(make_snatpool, keyword_texts, st.lists(keyword_texts, max_size=3),
                                              keyword_texts),
                          state=lambda s: (s.name.get_val(), s.members, s.partition),
                          chosen={"members": lambda: make_snatpool("sp", ["a", "b"], ""),
                                  "blank partition": lambda: make_snatpool("sp", [], " "),
                                  "quoted member": lambda: make_snatpool("sp", ["x \"q\""], "Tenant  ")}),
    "LTM": RoundTrip(LTM, generated_listings.map(lambda objects: LTM(listing_text(objects))), chosen={"new_default": LTM.new_default}),
}


def check_round_trip(row, fmt, value):
    text = write(value, fmt)
    back = read(row.cls, fmt, text)
    assert write(back, fmt) == text
    assert back.to_dict() == value.to_dict()
    if row.state is not None:
        assert row.state(back) == (row.kept or row.state)(value)


# No deadline: the values differ much in size.
@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("name", ROUND_TRIPS)
@settings(max_examples=200, deadline=None)
@given(data=st.data())
def test_values_round_trip(name, fmt, data):
    row = ROUND_TRIPS[name]
    check_round_trip(row, fmt, data.draw(row.values, label=name))


CHOSEN = [pytest.param(name, value, id=f"{name}: {value}")
          for name, row in ROUND_TRIPS.items() for value in row.chosen]


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("name,value", CHOSEN)
def test_chosen_values_round_trip(name, value, fmt):
    row = ROUND_TRIPS[name]
    check_round_trip(row, fmt, row.chosen[value]())


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("accent", ["", "\u00e9t\u00e9 \u65e5\u672c"])
def test_large_documents_read_back_whole(fmt, accent):
    # Documents of several MB, all ASCII or not, written into their large buffers and str.
    text = "".join(VIRTUAL_TEXT.replace("vs_web", f"vs_web{k}").replace('"', f'"{accent}', 1) for k in range(9000))
    ltm = LTM(text)
    document = write(ltm, fmt)
    assert len(document) > 4 << 20
    assert document.isascii() == (accent == "")
    back = read(LTM, fmt, document)
    assert back.to_dict() == ltm.to_dict()
    assert write(back, fmt) == document
