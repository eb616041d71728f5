#include "ltm/pool.hpp"

#include <utility>

#include <brelmark/grammar.hpp>
#include <brelmark/unicode.hpp>

#include "ltm/ltm_path.hpp"

namespace qv::ltm {

namespace formats = qv::formats;

// ---- Defaults and builders ---------------------------------------------------------------------

MemberFqdn memberfqdn_default() { return MemberFqdn{"disabled", "none"}; }

PoolMember poolmember_default() {
  PoolMember member;
  member.fqdn = memberfqdn_default();
  member.monitor = "default";
  member.ratio = 1;
  return member;
}

MemberFqdn memberfqdn_impl_new(std::string_view name) { return MemberFqdn{"disabled", name}; }

PoolMember poolmember_impl_new(std::string_view name) {
  PoolMember member = poolmember_default();
  member.name = normalize_object_path(name);
  return member;
}

// ---- Written-when tests ------------------------------------------------------------------------

bool is_disabled_text(std::string_view text) noexcept {
  return brelmark::is_blank(text) || formats::equals_keyword(text, "disabled");
}

bool is_fqdn_written(const MemberFqdn& fqdn) noexcept { return !is_disabled_text(fqdn.autopopulate); }

// ---- Conversions from parsed records -------------------------------------------------------------

namespace {

// The groups of a parsed name (trimmed) in `captures`, or null when the pattern does not match.
// The module's own matcher gives the groups of the object-path pattern without a general
// regular-expression engine, which matters here: every pool and member name of a configuration
// is matched.
const brelmark::PathCaptures* match_name(std::string_view path, brelmark::PathCaptures& captures) {
  return LtmPathPattern::match(path, captures) ? &captures : nullptr;
}

// The name a pool or member keeps of its parsed path. A path in a folder, or one the pattern does
// not match, stays whole (it is already trimmed), so that no odd name stops a pool or a whole
// configuration and no two objects of one folder read alike. Otherwise a pool keeps the `name`
// group, and a member, whose name is its address and port, the path from the name on.
enum class NameKeeps { name_group, from_name };
std::string_view kept_name(std::string_view path, const brelmark::PathCaptures* captures, NameKeeps keeps) {
  if (!captures || brelmark::folder_rest(*captures)) return path;
  std::string_view name = *captures->name;
  if (keeps == NameKeeps::from_name) name = path.substr(static_cast<std::size_t>(name.data() - path.data()));
  return normalize_object_path(name);
}

}  // namespace

void memberfqdn_from_parser_into(const brelmark::ParsedMemberFqdn& parsed, MemberFqdn& out) {
  out.autopopulate = parsed.autopopulate;
  out.name = parsed.name;
}

void poolmember_from_parser_into(const brelmark::ParsedPoolMember& parsed, PoolMember& member) {
  std::string_view path = parsed.name.text();
  brelmark::PathCaptures captures;
  member.name = kept_name(path, match_name(path, captures), NameKeeps::from_name);
  member.destination = parsed.destination();
  member.priority_group = parsed.priority_group;
  member.session = parsed.session;
  member.state = parsed.state;
  memberfqdn_from_parser_into(parsed.fqdn, member.fqdn);
  member.monitor = parsed.monitor;
  member.ratio = parsed.ratio;
}

Pool pool_from_parser(const brelmark::ParsedPool& parsed) {
  Pool pool;
  pool_from_parser_into(parsed, pool);
  return pool;
}

void pool_from_parser_into(const brelmark::ParsedPool& parsed, Pool& pool) {
  std::string_view path = parsed.name.text();
  brelmark::PathCaptures matched;
  const brelmark::PathCaptures* captures = match_name(path, matched);
  pool.name = kept_name(path, captures, NameKeeps::name_group);
  pool.members.resize(parsed.members.size());
  for (std::size_t i = 0; i < parsed.members.size(); ++i) {
    poolmember_from_parser_into(parsed.members[i], pool.members[i]);
  }
  pool.monitor = parsed.monitor;
  pool.description = parsed.description;
  pool.min_active_members = parsed.min_active_members;
  pool.lb_mode = parsed.load_balancing_mode;
  // The name's partition; else the pool's own "partition" line, as a listing printed inside a
  // partition writes it; else "Common".
  if (captures && captures->partition) {
    pool.partition = *captures->partition;
  } else if (!brelmark::is_blank(parsed.partition)) {
    pool.partition = normalize_object_path(parsed.partition);
  } else {
    pool.partition = "Common";
  }
}

// ---- Operations ---------------------------------------------------------------------------------

std::string poolmember_get_dest_ip(std::string_view destination) {
  auto parsed = brelmark::parse_member_address(destination);
  if (parsed) return std::move(parsed).value().address;
  // An IPv6 destination, written as an object path ("/Common/2001:db8::1.443", "fe80::1%2").
  if (auto ipv6 = ltmpath_ipv6_address(normalize_object_path(destination))) return std::string(*ipv6);
  return {};
}

std::optional<std::string_view> pool_partition(const Pool& pool,
                                               std::optional<std::string_view> default_partition) {
  if (auto from_name = ltmpath_impl_get_partition(pool.name, std::nullopt)) return from_name;
  if (!brelmark::is_blank(pool.partition) && !formats::equals_keyword(pool.partition, "common")) {
    return std::string_view(pool.partition);
  }
  return default_partition;
}

std::string_view pool_get_partition(const Pool& pool, std::optional<std::string_view> default_partition) {
  return pool_partition(pool, default_partition).value_or("Common");
}

PathResult<std::string> pool_get_full_path(const Pool& pool, std::optional<std::string_view> default_partition) {
  return ltmpath_impl_get_full_path(pool.name, pool_get_partition(pool, default_partition));
}

}  // namespace qv::ltm
