#include "ltm/pool.hpp"

#include <utility>

#include <brelmark/grammar.hpp>
#include <brelmark/unicode.hpp>

#include "ltm/ltm_path.hpp"

namespace qv::ltm {

namespace formats = quilvarn::formats;

// ---- Defaults and builders ---------------------------------------------------------------------

MemberFqdn memberfqdn_default() { return MemberFqdn{"disabled", "none"}; }

PoolMember poolmember_default() {
  PoolMember member;
  member.fqdn = memberfqdn_default();
  member.monitor = "default";
  member.ratio = 1;
  return member;
}

MemberFqdn memberfqdn_impl_new(std::string_view name) { return MemberFqdn{"disabled", std::string(name)}; }

PoolMember poolmember_impl_new(std::string_view name) {
  PoolMember member = poolmember_default();
  member.name = normalize_object_path(name);
  return member;
}

// ---- Written-when tests ------------------------------------------------------------------------

bool is_default_text(std::string_view text) noexcept {
  return brelmark::is_blank(text) || formats::equals_keyword(text, "default");
}

bool is_disabled_text(std::string_view text) noexcept {
  return brelmark::is_blank(text) || formats::equals_keyword(text, "disabled");
}

bool is_fqdn_written(const MemberFqdn& fqdn) noexcept { return !is_disabled_text(fqdn.autopopulate); }

// ---- Conversions from parsed records -------------------------------------------------------------

namespace {

// The `name` group of a path text, trimmed; the whole (trimmed) path text when the pattern does not
// match, so that one odd name never stops a pool or a whole configuration. The captures are those
// of the match (none when it fails). The module's own matcher gives the groups of the object-path
// pattern without a general regular-expression engine, which matters here: every pool and member
// name of a configuration is matched.
std::string name_of(std::string_view path, brelmark::PathCaptures& captures) {
  if (LtmPathPattern::match(path, captures)) return normalize_object_path(*captures.name);
  captures = brelmark::PathCaptures{};  // a failed match may leave groups it tried
  return normalize_object_path(path);
}

}  // namespace

MemberFqdn memberfqdn_from_parser(const brelmark::ParsedMemberFqdn& parsed) {
  return MemberFqdn{std::string(parsed.autopopulate), std::string(parsed.name)};
}

PoolMember poolmember_from_parser(const brelmark::ParsedPoolMember& parsed) {
  PoolMember member;
  brelmark::PathCaptures captures;
  member.name = name_of(parsed.name.text(), captures);
  member.destination = std::string(parsed.destination());
  member.priority_group = parsed.priority_group;
  member.session = std::string(parsed.session);
  member.state = std::string(parsed.state);
  member.fqdn = memberfqdn_from_parser(parsed.fqdn);
  member.monitor = std::string(parsed.monitor);
  member.ratio = parsed.ratio;
  return member;
}

Pool pool_from_parser(const brelmark::ParsedPool& parsed) {
  Pool pool;
  brelmark::PathCaptures captures;
  pool.name = name_of(parsed.name.text(), captures);
  pool.members.reserve(parsed.members.size());
  for (const brelmark::ParsedPoolMember& member : parsed.members) {
    pool.members.push_back(poolmember_from_parser(member));
  }
  pool.monitor = std::string(parsed.monitor);
  pool.description = std::string(parsed.description);
  pool.min_active_members = parsed.min_active_members;
  pool.lb_mode = std::string(parsed.load_balancing_mode);
  pool.partition = std::string(captures.partition.value_or("Common"));
  return pool;
}

// ---- Operations ---------------------------------------------------------------------------------

std::string poolmember_get_dest_ip(std::string_view destination) {
  auto parsed = brelmark::parse_member_address(destination);
  if (!parsed) return {};
  return std::move(parsed).value().address;
}

std::optional<std::string_view> pool_partition(const Pool& pool,
                                               std::optional<std::string_view> default_partition) {
  if (auto from_name = ltmpath_impl_get_partition(pool.name, std::nullopt)) return from_name;
  if (!brelmark::is_blank(pool.partition) && !formats::equals_keyword(pool.partition, "common")) {
    return std::string_view(pool.partition);
  }
  return default_partition;
}

}  // namespace qv::ltm
