// The "ltm pool" grammar and its members.
#include "body.hpp"
#include "brelmark/grammar.hpp"

namespace brelmark {
namespace {

using namespace lex;
using body::number_line;
using body::Property;
using body::text_line;

// [ws] "fqdn" "{" key value pairs "}": each block gives both settings anew.
std::optional<Text> read_fqdn(Text in, Text keyword, ParsedPoolMember& m) {
  auto block = key_value_block(opt_ws(in), keyword);
  if (!block) return std::nullopt;
  ParsedMemberFqdn fqdn;
  for (auto [key, value] : block.value()) {
    if (key == "autopopulate") fqdn.autopopulate = value;
    else if (key == "name") fqdn.name = value;
  }
  m.fqdn = fqdn;
  return block.rest();
}

constexpr body::PropertyTable<ParsedPoolMember, 7> kMemberProperties{std::array<Property<ParsedPoolMember>, 7>{{
    {"fqdn", read_fqdn},
    {"address", text_line<&ParsedPoolMember::address>},
    {"priority-group", number_line<&ParsedPoolMember::priority_group>},
    {"session", text_line<&ParsedPoolMember::session>},
    {"state", text_line<&ParsedPoolMember::state>},
    {"monitor", text_line<&ParsedPoolMember::monitor>},
    {"ratio", number_line<&ParsedPoolMember::ratio>},
}}};

// [ws] name [ws] "{" items+ [ws] "}" [ws]
ParseResult<ParsedPoolMember> pool_member(Text in) {
  auto name = run_outside(opt_ws(in), kWhiteSpace);
  if (!name) return name.error();
  auto open = literal(opt_ws(name.rest()), "{");
  if (!open) return open.error();
  ParsedPoolMember m;
  m.name = ObjectPath(name.value());
  auto items = body::items(open.rest(), true, kMemberProperties, m, false);
  if (!items) return items.error();
  auto close = spaced_literal(items.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), m};
}

std::optional<Text> read_members(Text in, Text keyword, ParsedPool& p) {
  auto open = block_open(in, keyword);
  if (!open) return std::nullopt;
  std::vector<ParsedPoolMember> members;
  auto list = repeat(open.rest(), false, [&](Text at) {
    auto member = pool_member(at);
    if (member) members.push_back(std::move(member).value());
    return member;
  });
  if (!list) return std::nullopt;
  auto close = spaced_literal(list.rest(), "}");
  if (!close) return std::nullopt;
  p.members = std::move(members);
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

  ParsedPool p;
  p.name = ObjectPath(name.value());
  auto items = body::items(opt_ws(open.rest()), false, kPoolProperties, p, false);
  if (!items) return items.error();
  auto close = spaced_literal(items.rest(), "}");
  if (!close) return close.error();
  return {close.rest(), std::move(p)};
}

}  // namespace brelmark
