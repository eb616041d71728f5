#include "ltm/pool.hpp"

#include <utility>

#include <brelmark/grammar.hpp>
#include <brelmark/unicode.hpp>

#include "ltm/ltm_path.hpp"
#include "py_record.hpp"

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

std::string pool_full_path(const Pool& pool, std::optional<std::string_view> default_partition) {
  std::optional<std::string_view> partition = pool_partition(pool, default_partition);
  // The text is that of the path operation's error as it is wrapped by the pool class.
  if (!partition) py::raise(PyExc_RuntimeError, "RuntimeError: Invalid partition name!");
  return ltmpath_impl_get_full_path(pool.name, partition);
}

Pool pool_impl_new_from_text(std::string_view text) {
  auto parsed = brelmark::parse_pool(text);
  if (!parsed) py::raise(PyExc_RuntimeError, parsed.error().to_string());
  return pool_from_parser(parsed.value());
}

// ---- String forms and the path name shared by the three classes ---------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;
using py::Item;

// "<Class>: 0x<address>,  <name>"; the address is that of the borrowed record.
template <class T>
std::string body_repr(const T& value) {
  std::string out = py::ClassInfo<T>::name;
  out += ": ";
  py::append_address(out, &value);
  out += ",  ";
  out += value.name;
  return out;
}

template <class T>
std::string_view body_str(const T& value) {
  return value.name;
}

template <class T>
void add_string_forms(std::vector<Item>& items) {
  items.push_back(py::slot_str<&body_str<T>>());
  items.push_back(py::slot_repr<&body_repr<T>>());
}

// The object-path attribute `name`: an LtmPath object out, a copy of an LtmPath's text in.
template <class T>
LtmPath body_get_name(const T& value) {
  return LtmPath{value.name};
}
template <class T>
void body_set_name(T& value, PyObject* path) {
  value.name = extract_ltmpath(path);
}
template <class T>
void add_path_name(std::vector<Item>& items) {
  items.push_back(py::getter_of<&body_get_name<T>>("name"));
  items.push_back(py::setter_of<&body_set_name<T>>("name"));
}

// ---- MemberFqdn -----------------------------------------------------------------------------------

constexpr ArgumentSpec kMemberFqdnNew{"MemberFqdn", "__new__", {"name"}, 1};

MemberFqdn memberfqdn_body_new(const Arguments& args) {
  return memberfqdn_impl_new(args.get<std::string_view>(0));
}

// ---- PoolMember -----------------------------------------------------------------------------------

constexpr ArgumentSpec kPoolMemberNew{"PoolMember", "__new__", {"name"}, 1};

PoolMember poolmember_body_new(const Arguments& args) {
  return poolmember_impl_new(args.get<std::string_view>(0));
}

std::string poolmember_body_get_dest_ip(const PoolMember& member) {
  return poolmember_get_dest_ip(member.destination);
}

// ---- Pool -------------------------------------------------------------------------------------------

constexpr ArgumentSpec kPoolNew{"Pool", "__new__", {"input"}, 1};
constexpr ArgumentSpec kPoolGetFullPath{"Pool", "get_full_path", {"default_partition"}, 0};
constexpr ArgumentSpec kPoolGetPartition{"Pool", "get_partition", {"default_partition"}, 0};

Pool pool_body_new(const Arguments& args) { return pool_impl_new_from_text(args.get<std::string_view>(0)); }

void pool_body_set_partition(Pool& pool, PyObject* value) { pool.partition = py::convert<std::string>(value); }

std::string_view pool_body_get_partition(const Pool& pool, const Arguments& args) {
  return pool_partition(pool, args.get_optional<std::string_view>(0)).value_or("Common");
}

std::string pool_body_get_full_path(const Pool& pool, const Arguments& args) {
  return pool_full_path(pool, args.get_optional<std::string_view>(0));
}

}  // namespace

}  // namespace qv::ltm

// ---- Member tables --------------------------------------------------------------------------------

namespace qv::py {

std::span<const Item> ClassInfo<ltm::MemberFqdn>::items() {
  using namespace ltm;
  static const std::vector<Item> table = [] {
    std::vector<Item> items{
        field<&MemberFqdn::autopopulate>("autopopulate"),
        field<&MemberFqdn::name>("name"),
    };
    add_record_readers<MemberFqdn>(items);
    add_record_writers<MemberFqdn>(items);
    items.push_back(slot_new<kMemberFqdnNew, &memberfqdn_body_new>());
    add_string_forms<MemberFqdn>(items);
    return items;
  }();
  return table;
}

std::span<const Item> ClassInfo<ltm::PoolMember>::items() {
  using namespace ltm;
  static const std::vector<Item> table = [] {
    std::vector<Item> items;
    add_path_name<PoolMember>(items);
    items.insert(items.end(), {
        field<&PoolMember::destination>("destination"),
        field<&PoolMember::priority_group>("priority_group"),
        field<&PoolMember::session>("session"),
        field<&PoolMember::state>("state"),
        field<&PoolMember::fqdn>("fqdn"),
        field<&PoolMember::monitor>("monitor"),
        field<&PoolMember::ratio>("ratio"),
    });
    add_record_readers<PoolMember>(items);
    items.push_back(static_method<&poolmember_default>("new_default"));
    items.push_back(method<&poolmember_body_get_dest_ip>("get_dest_ip"));
    add_record_writers<PoolMember>(items);
    items.push_back(slot_new<kPoolMemberNew, &poolmember_body_new>());
    add_string_forms<PoolMember>(items);
    return items;
  }();
  return table;
}

std::span<const Item> ClassInfo<ltm::Pool>::items() {
  using namespace ltm;
  static const std::vector<Item> table = [] {
    std::vector<Item> items;
    add_path_name<Pool>(items);
    items.insert(items.end(), {
        field<&Pool::members>("members"),
        field<&Pool::monitor>("monitor"),
        field<&Pool::description>("description"),
        field<&Pool::min_active_members>("min_active_members"),
        field<&Pool::lb_mode>("lb_mode"),
        setter_of<&pool_body_set_partition>("partition"),
    });
    add_record_readers<Pool>(items);
    items.push_back(method<kPoolGetFullPath, &pool_body_get_full_path>(
        "get_full_path", "get_full_path($self, default_partition=None)\n--\n\n"));
    items.push_back(method<kPoolGetPartition, &pool_body_get_partition>(
        "get_partition", "get_partition($self, default_partition=None)\n--\n\n"));
    add_record_writers<Pool>(items);
    items.push_back(slot_new<kPoolNew, &pool_body_new>());
    add_string_forms<Pool>(items);
    return items;
  }();
  return table;
}

}  // namespace qv::py
