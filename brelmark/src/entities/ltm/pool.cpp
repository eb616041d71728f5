// The "ltm pool" grammar and its members.
#include "body.hpp"
#include "brelmark/grammar.hpp"

namespace brelmark {
namespace {

using namespace lex;
using body::number_line;
using body::Property;
using body::text_line;
using MemberReading = body::Reading<ParsedPoolMember>;
using PoolReading = body::Reading<ParsedPool>;

constexpr Text kFqdn = "fqdn";

// The last "autopopulate" and "name" of the block at `at`; each block gives both
// settings anew.
ParsedMemberFqdn member_fqdn(const std::vector<std::pair<Text, Text>>& pairs) {
  ParsedMemberFqdn fqdn;
  for (auto [key, value] : pairs) {
    if (key == "autopopulate") fqdn.autopopulate = value;
    else if (key == "name") fqdn.name = value;
  }
  return fqdn;
}

void collect_fqdn(Text at, std::size_t, ParsedPoolMember& m) { m.fqdn = member_fqdn(key_value_block(at, kFqdn).value()); }

// [ws] "fqdn" "{" key value pairs "}"
std::optional<Text> read_fqdn(Text in, Text keyword, MemberReading& m) {
  Text at = opt_ws(in);
  auto block = short_key_value_block(at, keyword, body::kShortList);
  if (!block) return std::nullopt;
  if (const auto& pairs = block.value()) {
    m.record.fqdn = member_fqdn(*pairs);
    m.collected(collect_fqdn);
  } else {
    m.defer(collect_fqdn, at);
  }
  return block.rest();
}

constexpr body::PropertyTable<ParsedPoolMember, 7> kMemberProperties{std::array<Property<ParsedPoolMember>, 7>{{
    {kFqdn, read_fqdn},
    {"address", text_line<&ParsedPoolMember::address>},
    {"priority-group", number_line<&ParsedPoolMember::priority_group>},
    {"session", text_line<&ParsedPoolMember::session>},
    {"state", text_line<&ParsedPoolMember::state>},
    {"monitor", text_line<&ParsedPoolMember::monitor>},
    {"ratio", number_line<&ParsedPoolMember::ratio>},
}}};

// [ws] name [ws] "{" items+ [ws] "}" [ws]
// The member's lists stay uncollected, for the pool to collect once it has parsed.
ParseResult<MemberReading> pool_member(Text in) {
  auto name = run_outside(opt_ws(in), kWhiteSpace);
  if (!name) return name.error();
  auto open = literal(opt_ws(name.rest()), "{");
  if (!open) return open.error();
  MemberReading m;
  m.record.name = ObjectPath(name.value());
  auto items = body::items(open.rest(), true, kMemberProperties, m, false);
  if (!items) return items.error();
  auto close = spaced_literal(items.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), std::move(m)};
}

// A list of member `index` of the pool, deferred by the member's reading.
void collect_member_list(Text at, std::size_t index, ParsedPool& p) {
  collect_fqdn(at, 0, p.members[index]);
}

std::optional<Text> read_members(Text in, Text keyword, PoolReading& p) {
  auto open = block_open(in, keyword);
  if (!open) return std::nullopt;
  std::vector<ParsedPoolMember> members;
  std::vector<PoolReading::Later> later;
  auto list = repeat(open.rest(), false, [&](Text at) {
    auto member = pool_member(at);
    if (member) {
      for (const MemberReading::Later& l : member.value().later) later.push_back({collect_member_list, l.at, members.size()});
      members.push_back(std::move(member.value().record));
    }
    return member;
  });
  if (!list) return std::nullopt;
  auto close = spaced_literal(list.rest(), "}");
  if (!close) return std::nullopt;
  // These members replace the earlier ones, and with them what was deferred for those.
  p.record.members = std::move(members);
  std::erase_if(p.later, [](const PoolReading::Later& l) { return l.collect == collect_member_list; });
  p.later.insert(p.later.end(), later.begin(), later.end());
  return close.rest();
}

constexpr body::PropertyTable<ParsedPool, 6> kPoolProperties{std::array<Property<ParsedPool>, 6>{{
    {"members", read_members},
    {"load-balancing-mode", text_line<&ParsedPool::load_balancing_mode>},
    {"description", text_line<&ParsedPool::description>},
    {"min-active-members", number_line<&ParsedPool::min_active_members>},
    {"partition", text_line<&ParsedPool::partition>},
    {"monitor", text_line<&ParsedPool::monitor>},
}}};

}  // namespace

ParseResult<ParsedPool> parse_pool(std::string_view text) {
  ScanScope scope(text);
  auto key = literal(opt_ws(text), "ltm pool");
  if (!key) return key.error();
  auto name = run_outside(opt_ws(key.rest()), kWhiteSpace);
  if (!name) return name.error();
  auto open = literal(opt_ws(name.rest()), "{");
  if (!open) return open.error();

  PoolReading p;
  p.record.name = ObjectPath(name.value());
  auto items = body::items(opt_ws(open.rest()), false, kPoolProperties, p, false);
  if (!items) return items.error();
  auto close = spaced_literal(items.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), std::move(p).finish()};
}

}  // namespace brelmark
