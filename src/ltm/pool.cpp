#include "ltm/pool.hpp"

#include <utility>

#include <brelmark/grammar.hpp>
#include <brelmark/unicode.hpp>

#include "ltm/ltm_path.hpp"

namespace qv::ltm {

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
  return brelmark::is_blank(text) || record::equals_keyword(text, "disabled");
}

bool is_fqdn_written(const MemberFqdn& fqdn) noexcept { return !is_disabled_text(fqdn.autopopulate); }

// ---- Names of pools and members ------------------------------------------------------------------

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
  if (!captures || brelmark::folder_rest(*captures)) {
    // An IPv6 member under its partition ("/Common/::1.80") reads to the pattern as a folder: it
    // keeps the path from its address on, as an IPv4 member does.
    if (keeps == NameKeeps::from_name) {
      if (auto address = ltmpath_ipv6_address(path)) {
        return normalize_object_path(path.substr(static_cast<std::size_t>(address->data() - path.data())));
      }
    }
    return path;
  }
  std::string_view name = *captures->name;
  if (keeps == NameKeeps::from_name) name = path.substr(static_cast<std::size_t>(name.data() - path.data()));
  return normalize_object_path(name);
}

// A name with a partition part and no leading "/" ("test006/pool3", "App/web_pool"): relative to
// the pool's "partition" line when that names a partition other than Common, and then kept whole;
// else its first part is the partition, as behind a leading "/", and a name in a folder is kept
// with that "/", so that it does not read as relative to its own first part.
[[gnu::noinline]] void name_without_leading_slash(std::string_view path, const brelmark::PathCaptures& captures,
                                                  std::string_view line, Pool& pool) {
  if (!brelmark::is_blank(line) && !record::equals_keyword(line, "common")) {
    pool.name = path;
    pool.partition = normalize_object_path(line);
    return;
  }
  pool.partition = *captures.partition;
  if (brelmark::folder_rest(captures)) {
    std::string absolute = "/";
    absolute += path;
    pool.name = absolute;
  } else {
    pool.name = normalize_object_path(*captures.name);
  }
}

// The groups of the pool's name when that name is relative to the pool's partition, else null.
const brelmark::PathCaptures* relative_name(const Pool& pool, brelmark::PathCaptures& captures) noexcept {
  std::string_view name = pool.name;
  if (name.empty() || name.front() == '/' || brelmark::is_blank(pool.partition) ||
      record::equals_keyword(pool.partition, "common")) {
    return nullptr;
  }
  const brelmark::PathCaptures* matched = match_name(name, captures);
  return matched && matched->partition ? matched : nullptr;
}

// Where a character stands before "Common/", whether the word goes on through it: only ASCII white
// space and the brackets and quotes around values start a word.
bool continues_word(char c) noexcept {
  switch (c) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r':
    case '{': case '}': case '(': case ')': case '[': case ']': case '"': case '\'':
      return false;
    default:
      return true;
  }
}

}  // namespace

// ---- Names relative to a partition ---------------------------------------------------------------

bool pool_named_from_own_partition(const Pool& pool) noexcept {
  std::string_view name = pool.name, partition = pool.partition;
  // The cheap tests first: a whole listing's pools pass through here.
  if (name.size() <= partition.size() || name[partition.size()] != '/' || !name.starts_with(partition)) return false;
  brelmark::PathCaptures captures;
  const brelmark::PathCaptures* relative = relative_name(pool, captures);
  return relative && *relative->partition == partition;
}

bool names_printed_from_root(std::string_view text) noexcept {
  constexpr std::string_view kCommon = "Common/";
  for (std::size_t at = text.find(kCommon); at != std::string_view::npos; at = text.find(kCommon, at + 1)) {
    if (at == 0 || !continues_word(text[at - 1])) return true;
  }
  return false;
}

void pool_read_from_root(Pool& pool) {
  std::string absolute = "/";
  absolute += pool.name;
  brelmark::PathCaptures matched;
  const brelmark::PathCaptures* captures = match_name(absolute, matched);
  if (!captures || !captures->partition) return;  // not a pool named from its own partition
  pool.partition = *captures->partition;
  pool.name = kept_name(absolute, captures, NameKeeps::name_group);
}

// ---- Conversions from parsed records -------------------------------------------------------------

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
  if (captures && captures->partition && path.front() != '/') [[unlikely]] {
    name_without_leading_slash(path, *captures, parsed.partition, pool);
  } else {
    pool.name = kept_name(path, captures, NameKeeps::name_group);
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
  pool.members.resize(parsed.members.size());
  for (std::size_t i = 0; i < parsed.members.size(); ++i) {
    poolmember_from_parser_into(parsed.members[i], pool.members[i]);
  }
  pool.monitor = parsed.monitor;
  pool.description = parsed.description;
  pool.min_active_members = parsed.min_active_members;
  pool.lb_mode = parsed.load_balancing_mode;
}

Pool pool_from_object_text(const brelmark::ParsedPool& parsed, std::string_view object_text) {
  Pool pool = pool_from_parser(parsed);
  if (pool_named_from_own_partition(pool) && names_printed_from_root(object_text)) pool_read_from_root(pool);
  return pool;
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
  brelmark::PathCaptures captures;
  if (relative_name(pool, captures)) return std::string_view(pool.partition);
  if (auto from_name = ltmpath_impl_get_partition(pool.name, std::nullopt)) return from_name;
  if (!brelmark::is_blank(pool.partition) && !record::equals_keyword(pool.partition, "common")) {
    return std::string_view(pool.partition);
  }
  return default_partition;
}

std::string_view pool_get_partition(const Pool& pool, std::optional<std::string_view> default_partition) {
  return pool_partition(pool, default_partition).value_or("Common");
}

PathResult<std::string> pool_get_full_path(const Pool& pool, std::optional<std::string_view> default_partition) {
  brelmark::PathCaptures captures;
  if (relative_name(pool, captures)) {
    // "/" + the partition + the name's own full path "/first/rest", which the pattern matched.
    std::string full = "/";
    full += pool.partition;
    full += ltmpath_impl_get_full_path(pool.name, std::nullopt).value();
    return full;
  }
  return ltmpath_impl_get_full_path(pool.name, pool_get_partition(pool, default_partition));
}

}  // namespace qv::ltm
