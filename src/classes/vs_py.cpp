// The Python classes Virtual, Profile and Snat: their member tables and member bodies.
#include "classes/classes.hpp"
#include "py/members.hpp"

namespace qv::ltm {
namespace {

using py::Arguments;
using py::ArgumentSpec;
using py::Item;

// ---- Members shared by the three classes ------------------------------------------------------

// The static constructors and conversion methods, in table order.
template <class T>
void add_document_members(std::vector<Item>& items, bool with_snat_repr) {
  items.push_back(py::static_method<&py::record_new_default<T>>("new_default"));
  py::add_record_readers<T>(items);
  if (with_snat_repr) items.push_back(py::method<&snat_repr>("__repr_"));
  py::add_record_writers<T>(items);
}

// ---- Virtual --------------------------------------------------------------------------------------

constexpr ArgumentSpec kVirtualNew{"Virtual", "__new__", {"input"}, 1};

LtmPath body_get_name(const Virtual& v) { return LtmPath{v.name}; }
LtmPath body_get_destination(const Virtual& v) { return LtmPath{v.destination}; }
LtmPath body_get_pool(const Virtual& v) { return LtmPath{v.pool}; }

// The path setters take a str only (an LtmPath object is refused like any other object).
void body_set_name(Virtual& v, PyObject* value) { virtual_impl_set_name(v, py::convert<std::string_view>(value)); }
void body_set_destination(Virtual& v, PyObject* value) {
  virtual_impl_set_destination(v, py::convert<std::string_view>(value));
}
void body_set_pool(Virtual& v, PyObject* value) { virtual_impl_set_pool(v, py::convert<std::string_view>(value)); }

std::vector<Item> virtual_items() {
  using py::field;
  using py::getter_of;
  using py::setter_of;
  std::vector<Item> items = {
      getter_of<&body_get_name>("name"),
      getter_of<&body_get_destination>("destination"),
      field<&Virtual::description>("description"),
      field<&Virtual::partition>("partition"),
      field<&Virtual::ip_protocol>("ip_protocol"),
      field<&Virtual::creation_time>("creation_time"),
      field<&Virtual::last_modified_time>("last_modified_time"),
      field<&Virtual::profiles>("profiles"),
      field<&Virtual::mask>("mask"),
      getter_of<&body_get_pool>("pool"),
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
  };
  add_document_members<Virtual>(items, false);
  items.push_back(setter_of<&body_set_name>("name"));
  items.push_back(setter_of<&body_set_destination>("destination"));
  items.push_back(setter_of<&body_set_pool>("pool"));
  items.push_back(py::slot_new<kVirtualNew, &new_from_text<&brelmark::parse_virtual, &virtual_from_parsed>>());
  items.push_back(py::slot_str<&virtual_str>());
  items.push_back(py::slot_repr<&virtual_repr>());
  return items;
}

// ---- Profile and Snat -----------------------------------------------------------------------------

std::vector<Item> profile_items() {
  std::vector<Item> items = {
      py::field<&Profile::name>("name"),
      py::field<&Profile::context>("context"),
  };
  add_document_members<Profile>(items, false);
  items.push_back(py::slot_new_any<&py::record_new_default<Profile>>());
  items.push_back(py::slot_str<&profile_str>());
  items.push_back(py::slot_repr<&profile_repr>());
  return items;
}

// Snat has no representation slot: repr() is the interpreter's default, and the method `__repr_`
// (one trailing underscore) gives "Snat 0x..., type: ..., pool: ...".
std::vector<Item> snat_items() {
  std::vector<Item> items = {
      py::field<&Snat::type_>("type_"),
      py::field<&Snat::pool>("pool"),
  };
  add_document_members<Snat>(items, true);
  items.push_back(py::slot_new_any<&py::record_new_default<Snat>>());
  items.push_back(py::slot_str<&snat_str>());
  return items;
}

}  // namespace
}  // namespace qv::ltm

namespace qv::py {

std::span<const Item> ClassInfo<ltm::Virtual>::items() {
  static const std::vector<Item> table = ltm::virtual_items();
  return table;
}

std::span<const Item> ClassInfo<ltm::Profile>::items() {
  static const std::vector<Item> table = ltm::profile_items();
  return table;
}

std::span<const Item> ClassInfo<ltm::Snat>::items() {
  static const std::vector<Item> table = ltm::snat_items();
  return table;
}

}  // namespace qv::py
