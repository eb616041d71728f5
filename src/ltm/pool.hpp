#pragma once
// Pools: the records Pool, PoolMember and MemberFqdn, their document keys, defaults and
// written-when rules and their conversion from parsed "ltm pool" objects. Their Python classes are
// in pool_py.cpp.
//
// Every document form (JSON, YAML, TOML, CSV, Python dictionaries) runs over the field tables
// below. A reader gives an absent key the value the writer leaves out, so that every written
// document reads back as the record it came from: a member's monitor "default" and ratio 1, a
// pool's load-balancing mode "round-robin" and partition "Common", a member's FQDN settings
// { "disabled", "none" }; every other absent key is the empty value of its type.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <brelmark/records.hpp>

#include "ltm/ltm_path.hpp"
#include "record/record.hpp"

namespace qv::ltm {


// The records are plain aggregates whose value-initialised form is all empty (the readers fill
// every field, and an empty start costs nothing); the defaults of a new member or FQDN setting
// come from memberfqdn_default() and poolmember_default().

// The FQDN settings of one pool member.
struct MemberFqdn {
  record::Text autopopulate;
  record::Text name;
  friend bool operator==(const MemberFqdn&, const MemberFqdn&) = default;
};

// One member of a pool. `name` is an object-path text (an LtmPath in Python).
struct PoolMember {
  record::Text name;
  record::Text destination;  // the address, or the FQDN name when the member has no address
  std::uint16_t priority_group = 0;
  record::Text session;
  record::Text state;
  MemberFqdn fqdn;
  record::Text monitor;
  std::uint16_t ratio = 0;
  friend bool operator==(const PoolMember&, const PoolMember&) = default;
};

// One pool. `name` is an object-path text (an LtmPath in Python).
struct Pool {
  record::Text name;
  record::List<PoolMember> members;
  record::Text monitor;
  record::Text description;
  std::uint16_t min_active_members = 0;
  record::Text lb_mode;
  record::Text partition;
  friend bool operator==(const Pool&, const Pool&) = default;
};

// ---- Defaults and builders ---------------------------------------------------------------------

// { autopopulate "disabled", name "none" }
MemberFqdn memberfqdn_default();
// Empty texts and 0, except fqdn = memberfqdn_default(), monitor "default" and ratio 1.
PoolMember poolmember_default();
// autopopulate "disabled" and the name exactly as given (not trimmed).
MemberFqdn memberfqdn_impl_new(std::string_view name);
// poolmember_default() with the name trimmed of Unicode White_Space.
PoolMember poolmember_impl_new(std::string_view name);

// ---- Written-when tests ------------------------------------------------------------------------
// Each looks at the text trimmed of Unicode White_Space and compares ASCII letters without case
// (no other character is folded); a written field always carries the stored, untrimmed text.

// Blank, or "disabled".
bool is_disabled_text(std::string_view text) noexcept;
// A member writes its FQDN settings unless their autopopulate is blank or "disabled".
bool is_fqdn_written(const MemberFqdn& fqdn) noexcept;

// ---- Names relative to a partition -------------------------------------------------------------
// A listing printed inside a partition writes each name relative to the folder it lists from (in
// full, "/Common/http", where the object lies outside it) and names each object's partition in a
// "partition" line: inside the partition "test006" the pool "/test006/test006/pool3" (application
// folder "test006") is `ltm pool test006/pool3 { ... partition test006 }`. A pool's name is so
// relative to the pool's partition when the name does not begin with "/", has a partition part
// ("test006/pool3"; a name without one reads the same either way) and the pool's partition is
// neither blank nor "Common" (the partition of a pool whose text has no "partition" line, which
// therefore tells nothing). Such a pool keeps its name whole, its partition is the line's, and its
// full path is "/" + partition + "/" + the name: "/test006/test006/pool3".
//
// A listing printed from the root ("cd /; list ... recursive") writes every name relative to "/",
// Common's too: "Common/web_pool", "Tenant_1/Shared/web_pool" with "partition Tenant_1". A name
// that begins with its own partition is read either way; where the text shows the root shape (a
// name or reference of Common written "Common/..."), it is read from the root.

// True when the pool's name is relative to its partition (above) and begins with that partition
// and a "/", so that it reads otherwise from the root.
bool pool_named_from_own_partition(const Pool& pool) noexcept;
// True when the text holds "Common/" at the start of a word (not after "/" or a name character):
// names printed from the root.
bool names_printed_from_root(std::string_view text) noexcept;
// The pool as its name reads from the root: as the name with a leading "/" is converted
// ("Tenant_1/Shared/web_pool" in Tenant_1 -> "/Tenant_1/Shared/web_pool", "test006/pool3" ->
// "pool3" in test006). Only for a pool of which pool_named_from_own_partition holds.
void pool_read_from_root(Pool& pool);

// ---- Conversions from parsed records -------------------------------------------------------------
// A pool keeps the `name` group of its parsed name ("/Prod/web_pool" -> "web_pool"), a member the
// path from the name group on ("/Common/10.1.10.1%2:80" -> "10.1.10.1%2:80"), both trimmed. A
// path in a folder ("/Tenant/App/web_pool") or one the object-path pattern does not match is kept
// whole (it is already trimmed). The partition of a pool is the `partition` group of its name,
// else its own "partition" line (trimmed) when that is not blank, else "Common". A name relative
// to the pool's "partition" line (above) is kept whole with the line as the partition; a name in a
// folder that has a partition part but no leading "/" and no line ("Tenant/App/web_pool") is kept
// with a leading "/", so that it does not read as relative to its own first part. The parsed
// records view the configuration text; the results own copies.

Pool pool_from_parser(const brelmark::ParsedPool& parsed);
// The same into a value-initialised record, so that a list builds its element where it stays and
// a member its FQDN settings where they stay.
void memberfqdn_from_parser_into(const brelmark::ParsedMemberFqdn& parsed, MemberFqdn& out);
void poolmember_from_parser_into(const brelmark::ParsedPoolMember& parsed, PoolMember& out);
void pool_from_parser_into(const brelmark::ParsedPool& parsed, Pool& out);
// A pool read alone from the text of its object: pool_from_parser, then read from the root where
// the object's own text shows the root shape (a "Common/..." name or reference in it).
Pool pool_from_object_text(const brelmark::ParsedPool& parsed, std::string_view object_text);

// ---- Operations ---------------------------------------------------------------------------------

// The address text of a member destination: an IPv4 one ("[/partition/]a.b.c.d[%rd][:port]"),
// digit runs kept as written, or an IPv6 one written as an object path
// ("[/partition/]2001:db8::1[%rd][.port]", see ltmpath_ipv6_address); the empty text for any
// destination of neither form.
std::string poolmember_get_dest_ip(std::string_view destination);

// The partition of a pool: the stored partition when the name is relative to it; else the
// `partition` group of its name; else the stored partition when it is neither blank nor "Common"
// (trimmed, ASCII case ignored); else `default_partition` (an empty text included); else nothing.
std::optional<std::string_view> pool_partition(const Pool& pool,
                                               std::optional<std::string_view> default_partition);

// The partition get_partition gives: pool_partition(...), else "Common".
std::string_view pool_get_partition(const Pool& pool, std::optional<std::string_view> default_partition);

// "/" + pool_get_partition(...) + "/" + the `name` group of the pool's name (with the rest of a name
// in a folder), or the whole name when it is relative to the partition; invalid_path when the name
// does not match the object-path pattern.
PathResult<std::string> pool_get_full_path(const Pool& pool, std::optional<std::string_view> default_partition);

}  // namespace qv::ltm

// ---- Field tables ---------------------------------------------------------------------------------

namespace qv::record {

template <>
struct RecordTable<qv::ltm::MemberFqdn> {
  using R = qv::ltm::MemberFqdn;
  static constexpr std::string_view name = "MemberFqdn";
  static constexpr FieldDef fields[] = {
      field<&R::autopopulate>("autopopulate"),
      field<&R::name>("name"),
  };
};

template <>
struct RecordTable<qv::ltm::PoolMember> {
  using R = qv::ltm::PoolMember;
  static constexpr std::string_view name = "PoolMember";
  static constexpr FieldDef fields[] = {
      field<&R::name>("name").required(),
      field<&R::destination>("destination").when(WrittenWhen::NotBlank),
      field<&R::priority_group>("priority-group").when(WrittenWhen::NotZero),
      field<&R::session>("session").when(WrittenWhen::NotBlank),
      field<&R::state>("state").when(WrittenWhen::NotBlank),
      field<&R::fqdn>("fqdn").written_if<&qv::ltm::is_fqdn_written>().absent_with<&qv::ltm::memberfqdn_default>(),
      field<&R::monitor>("monitor").unless_keyword("default", true).absent("default"),
      field<&R::ratio>("ratio").when(WrittenWhen::NotOne).absent(std::uint16_t{1}),
  };
};

template <>
struct RecordTable<qv::ltm::Pool> {
  using R = qv::ltm::Pool;
  static constexpr std::string_view name = "Pool";
  static constexpr FieldDef fields[] = {
      field<&R::name>("name").required(),
      field<&R::members>("members").when(WrittenWhen::NotEmpty),
      field<&R::monitor>("monitor").when(WrittenWhen::NotBlank),
      field<&R::description>("description").when(WrittenWhen::NotBlank),
      field<&R::min_active_members>("min-active-members").when(WrittenWhen::NotZero),
      field<&R::lb_mode>("load-balancing-mode").unless_keyword("round-robin").absent("round-robin"),
      field<&R::partition>("partition").unless_keyword("common").absent("Common"),
  };
};

}  // namespace qv::record
