// The "ltm pool" grammar and its members.
#include "body.hpp"
#include "brelmark/grammar.hpp"

namespace brelmark {
namespace {

using namespace lex;
using body::number_line;
using body::text_line;
using MemberReading = body::Reading<ParsedPoolMember>;
using PoolReading = body::Reading<ParsedPool>;

constexpr Text kFqdn = "fqdn";

// The last "autopopulate" and "name" of a block win; each block gives both settings anew.
void set_fqdn(ParsedMemberFqdn& fqdn, Text key, Text value) {
  if (key == "autopopulate") fqdn.autopopulate = value;
  else if (key == "name") fqdn.name = value;
}

constexpr auto read_fqdn = body::settings_block<&ParsedPoolMember::fqdn, &kFqdn, set_fqdn>;

constexpr auto kMemberProperties = body::property_table<ParsedPoolMember>({
    {kFqdn, read_fqdn},
    {"address", text_line<&ParsedPoolMember::address>},
    {"priority-group", number_line<&ParsedPoolMember::priority_group>},
    {"session", text_line<&ParsedPoolMember::session>},
    {"state", text_line<&ParsedPoolMember::state>},
    {"monitor", body::monitor_line<&ParsedPoolMember::monitor>},
    {"ratio", number_line<&ParsedPoolMember::ratio>},
});

// [ws] name [ws] "{" items+ [ws] "}" [ws], into `m`, a fresh reading: the rest, or
// nothing. The member's lists stay uncollected, for the pool to collect once it has parsed.
std::optional<Text> pool_member(Text in, MemberReading& m) {
  auto head = block_head(in);
  if (!head) return std::nullopt;
  m.record.name = ObjectPath(head->word);
  auto items = body::closed_items(head->body, true, kMemberProperties, m, false);
  if (!items) return std::nullopt;
  return items.rest();
}

// A list of member `index` of the pool, deferred by the member's reading.
void collect_member_list(Text at, std::size_t index, ParsedPool& p) {
  body::collect_settings<&ParsedPoolMember::fqdn, &kFqdn, set_fqdn>(at, 0, p.members[index]);
}

std::optional<Text> read_members(const body::Key& key, PoolReading& p) {
  std::vector<ParsedPoolMember> members;
  std::vector<PoolReading::Later> later;
  MemberReading m;
  auto rest = body::braced_entries(key.after(), [&](Text at) {
    m.record = ParsedPoolMember{};
    m.later.clear();
    auto next = pool_member(at, m);
    if (next) {
      for (const MemberReading::Later& l : m.later) later.push_back({collect_member_list, l.at, members.size()});
      members.push_back(std::move(m.record));
    }
    return next;
  });
  if (!rest) return std::nullopt;
  // These members replace the earlier ones, and with them what was deferred for those.
  p.record.members = std::move(members);
  std::erase_if(p.later, [](const PoolReading::Later& l) { return l.collect == collect_member_list; });
  p.later.insert(p.later.end(), later.begin(), later.end());
  return rest;
}

constexpr auto kPoolProperties = body::property_table<ParsedPool>({
    {"members", read_members},
    {"load-balancing-mode", text_line<&ParsedPool::load_balancing_mode>},
    {"description", text_line<&ParsedPool::description>},
    {"min-active-members", number_line<&ParsedPool::min_active_members>},
    {"partition", text_line<&ParsedPool::partition>},
    {"monitor", body::monitor_line<&ParsedPool::monitor>},
});

}  // namespace

ParseResult<ParsedPool> parse_pool(std::string_view text) {
  ScanScope scope(text);
  auto key = literal(opt_ws(text), "ltm pool");
  if (!key) return key.error();
  auto name = run_outside(opt_ws(key.rest()), kWhiteSpace);
  if (!name) return name.error();
  auto open = literal(opt_ws_to_brace(name.rest()), "{");
  if (!open) return open.error();

  PoolReading p;
  p.record.name = ObjectPath(name.value());
  auto items = body::closed_items(open.rest(), false, kPoolProperties, p, false);
  if (!items) return items.error();
  return {items.rest(), std::move(p).finish()};
}

}  // namespace brelmark
