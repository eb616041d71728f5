// The Python class LtmPath: its member table, and the Python errors of the path accessors.
#include <cstdint>

#include <stdexcept>

#include "classes/classes.hpp"

namespace qv::ltm {

namespace {

[[noreturn]] void raise_invalid_path(std::string_view path) {
  py::Ref text = py::str_from(path);
  PyErr_Format(PyExc_ValueError, "Invalid object path: %R", text.get());
  py::raise_pending();
}

}  // namespace

void raise_path_error(PathError error, std::string_view path) {
  switch (error) {
    case PathError::invalid_path: raise_invalid_path(path);
    case PathError::no_port: py::raise(PyExc_ValueError, "No port found!");
    case PathError::invalid_digit: py::raise(PyExc_ValueError, "invalid digit found in string");
    case PathError::too_large: py::raise(PyExc_ValueError, "number too large to fit in target type");
    case PathError::no_partition: py::raise(PyExc_RuntimeError, "Invalid partition name!");
  }
  throw std::logic_error("unknown path error");
}

record::Text extract_ltmpath(PyObject* object) { return py::extract<LtmPath>(object).path; }

// ---- The Python class ---------------------------------------------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;

constexpr ArgumentSpec kLtmPathNew{"LtmPath", "__new__", {"path"}, 1};
constexpr ArgumentSpec kLtmPathGetPartition{"LtmPath", "get_partition", {"default_partition"}, 0};
constexpr ArgumentSpec kLtmPathGetFullPath{"LtmPath", "get_full_path", {"default_partition"}, 0};
constexpr ArgumentSpec kLtmPathEq{"LtmPath", "__eq__", {"other"}, 1};

LtmPath ltmpath_body_new(const Arguments& args) {
  return LtmPath{normalize_object_path(args.get<std::string_view>(0))};
}

// get_val and the representation.
std::string_view ltmpath_body_get_val(const LtmPath& self) { return self.path; }

std::uint16_t ltmpath_body_get_port(const LtmPath& self) {
  return path_value_or_raise(ltmpath_impl_get_port(self.path), self.path);
}

std::optional<std::uint16_t> ltmpath_body_get_route_domain(const LtmPath& self) {
  return ltmpath_impl_get_route_domain(self.path);
}

std::optional<std::string_view> ltmpath_body_get_partition(const LtmPath& self, const Arguments& args) {
  return ltmpath_impl_get_partition(self.path, args.get_optional<std::string_view>(0));
}

std::string_view ltmpath_body_get_name(const LtmPath& self) {
  return path_value_or_raise(ltmpath_impl_get_name(self.path), self.path);
}

std::optional<std::string_view> ltmpath_body_get_address(const LtmPath& self) {
  return path_value_or_raise(ltmpath_impl_get_address(self.path), self.path);
}

std::string ltmpath_body_get_full_path(const LtmPath& self, const Arguments& args) {
  return path_value_or_raise(ltmpath_impl_get_full_path(self.path, args.get_optional<std::string_view>(0)), self.path);
}

bool ltmpath_body_eq(const LtmPath& self, const Arguments& args) {
  auto other = py::convert_argument("other", [&] { return py::Class<LtmPath>::borrow(args.raw(0)); });
  return self.path == other->path;
}

std::size_t ltmpath_body_len(const LtmPath& self) { return self.path.size(); }

bool ltmpath_body_bool(const LtmPath& self) { return !self.path.empty(); }

}  // namespace

}  // namespace qv::ltm

namespace qv::py {

std::span<const Item> ClassInfo<ltm::LtmPath>::items() {
  using namespace ltm;
  static constexpr auto table = item_table(
      method<&ltmpath_body_get_val>("get_val"),
      method<&ltmpath_body_get_port>("get_port"),
      method<&ltmpath_body_get_route_domain>("get_route_domain"),
      method<kLtmPathGetPartition, &ltmpath_body_get_partition>(
          "get_partition", "get_partition($self, default_partition:str=None)\n--\n\n"),
      method<&ltmpath_body_get_name>("get_name"),
      method<&ltmpath_body_get_address>("get_address"),
      method<kLtmPathGetFullPath, &ltmpath_body_get_full_path>(
          "get_full_path", "get_full_path($self, default_partition:str=None)\n--\n\n"),
      method<kLtmPathEq, &ltmpath_body_eq>("__eq__"),
      slot_new<kLtmPathNew, &ltmpath_body_new>(),
      slot_repr<&ltmpath_body_get_val>(),
      slot_len<&ltmpath_body_len>(),
      slot_bool<&ltmpath_body_bool>());
  return table;
}

}  // namespace qv::py
