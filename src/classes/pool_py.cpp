// The Python classes MemberFqdn, PoolMember and Pool: their member tables and member bodies.
#include "classes/classes.hpp"
#include "ltm/address.hpp"
#include "py/members.hpp"

namespace qv::ltm {

// ---- String forms shared by the three classes -----------------------------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;
using py::Item;

// "<Class>: 0x<address>,  <name>"; the address is that of the borrowed record.
template <class T>
std::string string_forms_repr(const T& value) {
  std::string out = py::ClassInfo<T>::name;
  out += ": ";
  append_address(out, &value);
  out += ",  ";
  out += value.name;
  return out;
}

template <class T>
std::string_view string_forms_str(const T& value) {
  return value.name;
}

// The string form, then the representation.
template <class T>
constexpr auto string_forms() {
  return std::array{py::slot_str<&string_forms_str<T>>(), py::slot_repr<&string_forms_repr<T>>()};
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

void pool_body_set_partition(Pool& pool, PyObject* value) { pool.partition = py::convert<std::string>(value); }

// The pool at the start of the text, read alone: its own text, up to its closing brace, tells
// whether its names were printed from the root (pool_from_object_text).
Pool pool_body_new(const Arguments& args) {
  std::string_view text = brelmark::skip_byte_order_mark(args.get<std::string_view>(0));
  auto parsed = brelmark::parse_pool(text);
  if (!parsed) py::raise(PyExc_RuntimeError, parsed.error().to_string());
  return pool_from_object_text(parsed.value(), text.substr(0, text.size() - parsed.rest().size()));
}

std::string_view pool_body_get_partition(const Pool& pool, const Arguments& args) {
  return pool_get_partition(pool, args.get_optional<std::string_view>(0));
}

std::string pool_body_get_full_path(const Pool& pool, const Arguments& args) {
  return path_value_or_raise(pool_get_full_path(pool, args.get_optional<std::string_view>(0)), pool.name);
}

}  // namespace

}  // namespace qv::ltm

// ---- Member tables --------------------------------------------------------------------------------

namespace qv::py {

std::span<const Item> ClassInfo<ltm::MemberFqdn>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      field<&MemberFqdn::autopopulate>("autopopulate"),
      field<&MemberFqdn::name>("name"),
      record_readers<MemberFqdn>(),
      record_writers<MemberFqdn>(),
      slot_new<kMemberFqdnNew, &memberfqdn_body_new>(),
      string_forms<MemberFqdn>());
  return table;
}

std::span<const Item> ClassInfo<ltm::PoolMember>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      path_name<PoolMember>(),
      field<&PoolMember::destination>("destination"),
      field<&PoolMember::priority_group>("priority_group"),
      field<&PoolMember::session>("session"),
      field<&PoolMember::state>("state"),
      field<&PoolMember::fqdn>("fqdn"),
      field<&PoolMember::monitor>("monitor"),
      field<&PoolMember::ratio>("ratio"),
      record_readers<PoolMember>(),
      static_method<&poolmember_default>("new_default"),
      method<&poolmember_body_get_dest_ip>("get_dest_ip"),
      record_writers<PoolMember>(),
      slot_new<kPoolMemberNew, &poolmember_body_new>(),
      string_forms<PoolMember>());
  return table;
}

std::span<const Item> ClassInfo<ltm::Pool>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      path_name<Pool>(),
      field<&Pool::members>("members"),
      field<&Pool::monitor>("monitor"),
      field<&Pool::description>("description"),
      field<&Pool::min_active_members>("min_active_members"),
      field<&Pool::lb_mode>("lb_mode"),
      setter_of<&pool_body_set_partition>("partition"),
      record_readers<Pool>(),
      method<kPoolGetFullPath, &pool_body_get_full_path>(
          "get_full_path", "get_full_path($self, default_partition=None)\n--\n\n"),
      method<kPoolGetPartition, &pool_body_get_partition>(
          "get_partition", "get_partition($self, default_partition=None)\n--\n\n"),
      record_writers<Pool>(),
      slot_new<kPoolNew, &pool_body_new>(),
      string_forms<Pool>());
  return table;
}

}  // namespace qv::py
