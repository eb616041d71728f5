// The Python classes Virtual, Profile and Snat: their member tables and member bodies.
#include "classes/classes.hpp"
#include "py/members.hpp"

namespace qv::ltm {
namespace {

using py::ArgumentSpec;

// ---- Virtual --------------------------------------------------------------------------------------

constexpr ArgumentSpec kVirtualNew{"Virtual", "__new__", {"input"}, 1};

LtmPath virtual_body_get_name(const Virtual& v) { return LtmPath{v.name}; }
LtmPath virtual_body_get_destination(const Virtual& v) { return LtmPath{v.destination}; }
LtmPath virtual_body_get_pool(const Virtual& v) { return LtmPath{v.pool}; }

// The path setters take a str only (an LtmPath object is refused like any other object).
void virtual_body_set_name(Virtual& v, PyObject* value) {
  virtual_impl_set_name(v, py::convert<std::string_view>(value));
}
void virtual_body_set_destination(Virtual& v, PyObject* value) {
  virtual_impl_set_destination(v, py::convert<std::string_view>(value));
}
void virtual_body_set_pool(Virtual& v, PyObject* value) {
  virtual_impl_set_pool(v, py::convert<std::string_view>(value));
}

}  // namespace
}  // namespace qv::ltm

namespace qv::py {

std::span<const Item> ClassInfo<ltm::Virtual>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      getter_of<&virtual_body_get_name>("name"),
      getter_of<&virtual_body_get_destination>("destination"),
      field<&Virtual::description>("description"),
      field<&Virtual::partition>("partition"),
      field<&Virtual::ip_protocol>("ip_protocol"),
      field<&Virtual::creation_time>("creation_time"),
      field<&Virtual::last_modified_time>("last_modified_time"),
      field<&Virtual::profiles>("profiles"),
      field<&Virtual::mask>("mask"),
      getter_of<&virtual_body_get_pool>("pool"),
      field<&Virtual::snat>("snat"),
      field<&Virtual::translate_address>("translate_address"),
      field<&Virtual::translate_port>("translate_port"),
      field<&Virtual::vlans>("vlans"),
      field<&Virtual::vlans_enabled>("vlans_enabled"),
      field<&Virtual::source>("source"),
      field<&Virtual::disabled>("disabled"),
      field<&Virtual::rules>("rules"),
      field<&Virtual::policies>("policies"),
      field<&Virtual::fw_enforced_policy>("fw_enforced_policy"),
      field<&Virtual::security_log_profiles>("security_log_profiles"),
      static_method<&record_new_default<Virtual>>("new_default"),
      record_readers<Virtual>(),
      record_writers<Virtual>(),
      setter_of<&virtual_body_set_name>("name"),
      setter_of<&virtual_body_set_destination>("destination"),
      setter_of<&virtual_body_set_pool>("pool"),
      slot_new<kVirtualNew, &new_from_text<&brelmark::parse_virtual, &virtual_from_parsed>>(),
      slot_str<&virtual_str>(),
      slot_repr<&virtual_repr>());
  return table;
}

std::span<const Item> ClassInfo<ltm::Profile>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      field<&Profile::name>("name"),
      field<&Profile::context>("context"),
      static_method<&record_new_default<Profile>>("new_default"),
      record_readers<Profile>(),
      record_writers<Profile>(),
      slot_new_any<&record_new_default<Profile>>(),
      slot_str<&profile_str>(),
      slot_repr<&profile_repr>());
  return table;
}

// Snat has no representation slot: repr() is the interpreter's default, and the method `__repr_`
// (one trailing underscore) gives "Snat 0x..., type: ..., pool: ...".
std::span<const Item> ClassInfo<ltm::Snat>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      field<&Snat::type_>("type_"),
      field<&Snat::pool>("pool"),
      static_method<&record_new_default<Snat>>("new_default"),
      record_readers<Snat>(),
      method<&snat_repr>("__repr_"),
      record_writers<Snat>(),
      slot_new_any<&record_new_default<Snat>>(),
      slot_str<&snat_str>());
  return table;
}

}  // namespace qv::py
