#include "ltm/pool.hpp"

#include <cinttypes>
#include <cstdio>
#include <utility>

#include <brelmark/grammar.hpp>
#include <brelmark/unicode.hpp>

#include "formats/csv.hpp"
#include "formats/json.hpp"
#include "formats/toml.hpp"
#include "formats/yaml.hpp"
#include "ltm/ltm_path.hpp"
#include "py_dict.hpp"

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

// The `name` group of the path, trimmed; the whole (trimmed) path text when the pattern does not
// match, so that one odd name never stops a pool or a whole configuration.
std::string name_of(const brelmark::ObjectPath& path) {
  std::optional<std::string_view> name = path.name();
  return normalize_object_path(name ? *name : path.text());
}

}  // namespace

MemberFqdn memberfqdn_from_parser(const brelmark::ParsedMemberFqdn& parsed) {
  return MemberFqdn{std::string(parsed.autopopulate), std::string(parsed.name)};
}

PoolMember poolmember_from_parser(const brelmark::ParsedPoolMember& parsed) {
  PoolMember member;
  member.name = name_of(parsed.name);
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
  pool.name = name_of(parsed.name);
  pool.members.reserve(parsed.members.size());
  for (const brelmark::ParsedPoolMember& member : parsed.members) {
    pool.members.push_back(poolmember_from_parser(member));
  }
  pool.monitor = std::string(parsed.monitor);
  pool.description = std::string(parsed.description);
  pool.min_active_members = parsed.min_active_members;
  pool.lb_mode = std::string(parsed.load_balancing_mode);
  pool.partition = std::string(parsed.path_partition(std::nullopt).value_or("Common"));
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

// ---- Document forms shared by the three classes ------------------------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;
using py::Item;

template <class T>
constexpr ArgumentSpec kFromJsonSpec{py::ClassInfo<T>::name, "from_json", {"json"}, 1};
template <class T>
constexpr ArgumentSpec kFromYamlSpec{py::ClassInfo<T>::name, "from_yaml", {"yaml"}, 1};
template <class T>
constexpr ArgumentSpec kFromTomlSpec{py::ClassInfo<T>::name, "from_toml", {"toml"}, 1};

// A new object of class T read from a document by `read(text, def, record, error)`: the record
// is read in place, inside the new object, so that nothing is moved afterwards. A reader error
// becomes RuntimeError with its message; the half-read object is dropped.
template <class T, auto Read>
py::Ref read_new(const Arguments& args) {
  std::string_view text = args.get<std::string_view>(0);
  py::Ref object = py::Class<T>::new_instance(T{});
  T& value = reinterpret_cast<py::ClassObject<T>*>(object.get())->value;
  std::string error;
  if (!Read(text, formats::record_def<T>, &value, error)) py::raise(PyExc_RuntimeError, error);
  return object;
}

template <class T>
py::Ref body_from_json(const Arguments& args) {
  return read_new<T, &quilvarn::json::read_record>(args);
}

template <class T>
py::Ref body_from_yaml(const Arguments& args) {
  return read_new<T, &quilvarn::yaml::read_record>(args);
}

template <class T>
py::Ref body_from_toml(const Arguments& args) {
  return read_new<T, &quilvarn::toml::read_record>(args);
}

template <class T>
std::string body_to_json(const T& value) {
  return quilvarn::json::to_json(value);
}

template <class T>
std::string body_to_yaml(const T& value) {
  std::string out, error;
  if (!quilvarn::yaml::write_yaml(out, value, error)) py::fault_err(error);
  return out;
}

// The JSON value tree, converted into a TOML table (keys in byte order) and printed.
template <class T>
std::string body_to_toml(const T& value) {
  std::string out;
  if (auto error = quilvarn::toml::write_record(out, formats::record_def<T>, &value)) py::fault_err(error->debug);
  return out;
}

// A list, or a member's written FQDN settings, cannot stand under one header name: ValueError.
template <class T>
std::string body_try_to_csv(const T& value) {
  std::string out;
  if (quilvarn::csv::Status error = quilvarn::csv::write_csv(out, value)) py::raise(PyExc_ValueError, error->text());
  return out;
}

template <class T>
py::Ref body_to_dict(const T& value) {
  try {
    return py::to_dict(value);
  } catch (const py::ErrorAlreadySet&) {
    py::fault_err(py::take_error_description());
  }
}

// "<Class>: 0x<address>,  <name>"; the address is that of the borrowed record.
template <class T>
std::string body_repr(const T& value) {
  char address[2 + 2 * sizeof(std::uintptr_t) + 1];
  std::snprintf(address, sizeof address, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(&value));
  std::string out = py::ClassInfo<T>::name;
  out += ": ";
  out += address;
  out += ",  ";
  out += value.name;
  return out;
}

template <class T>
std::string_view body_str(const T& value) {
  return value.name;
}

// The static readers, then (separately) the writers of a class's member table.
template <class T>
void add_readers(std::vector<Item>& items) {
  items.push_back(py::static_method<kFromJsonSpec<T>, &body_from_json<T>>("from_json"));
  items.push_back(py::static_method<kFromYamlSpec<T>, &body_from_yaml<T>>("from_yaml"));
  items.push_back(py::static_method<kFromTomlSpec<T>, &body_from_toml<T>>("from_toml"));
}

template <class T>
void add_writers(std::vector<Item>& items) {
  items.push_back(py::method<&body_to_json<T>>("to_json"));
  items.push_back(py::method<&body_to_yaml<T>>("to_yaml"));
  items.push_back(py::method<&body_to_toml<T>>("to_toml"));
  items.push_back(py::method<&body_try_to_csv<T>>("try_to_csv"));
  items.push_back(py::method<&body_to_dict<T>>("to_dict"));
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
    add_readers<MemberFqdn>(items);
    add_writers<MemberFqdn>(items);
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
    add_readers<PoolMember>(items);
    items.push_back(static_method<&poolmember_default>("new_default"));
    items.push_back(method<&poolmember_body_get_dest_ip>("get_dest_ip"));
    add_writers<PoolMember>(items);
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
    add_readers<Pool>(items);
    items.push_back(method<kPoolGetFullPath, &pool_body_get_full_path>(
        "get_full_path", "get_full_path($self, default_partition=None)\n--\n\n"));
    items.push_back(method<kPoolGetPartition, &pool_body_get_partition>(
        "get_partition", "get_partition($self, default_partition=None)\n--\n\n"));
    add_writers<Pool>(items);
    items.push_back(slot_new<kPoolNew, &pool_body_new>());
    add_string_forms<Pool>(items);
    return items;
  }();
  return table;
}

}  // namespace qv::py
