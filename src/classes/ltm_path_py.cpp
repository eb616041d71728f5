// The Python class LtmPath: its accessors that raise Python errors and its member table.
#include <cstdint>

#include <brelmark/services.hpp>

#include "classes/classes.hpp"

namespace qv::ltm {

namespace {

// The groups of a path that the object-path pattern matches, or nothing.
std::optional<brelmark::PathCaptures> match_path(std::string_view path) {
  brelmark::PathCaptures captures;
  if (!LtmPathPattern::match(path, captures)) return std::nullopt;
  return captures;
}

[[noreturn]] void raise_invalid_path(std::string_view path) {
  py::Ref text = py::str_from(path);
  PyErr_Format(PyExc_ValueError, "Invalid object path: %R", text.get());
  py::raise_pending();
}

enum class NumberError { none, invalid_digit, too_large };

// A decimal unsigned 16-bit number of ASCII digits, leading zeros allowed; the first fault from
// the left decides the error.
NumberError parse_u16(std::string_view digits, std::uint16_t& out) {
  std::uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return NumberError::invalid_digit;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > 0xFFFF) return NumberError::too_large;
  }
  out = static_cast<std::uint16_t>(value);
  return NumberError::none;
}

// One to three ASCII digits, at most 255, no leading zero except a lone "0".
bool is_ipv4_octet(std::string_view part) {
  if (part.empty() || part.size() > 3) return false;
  if (part.size() > 1 && part[0] == '0') return false;
  std::uint16_t value = 0;
  return parse_u16(part, value) == NumberError::none && value <= 255;
}

bool is_ipv4_address(std::string_view text) {
  for (int octet = 0; octet < 4; ++octet) {
    std::size_t dot = text.find('.');
    bool last = octet == 3;
    if (last != (dot == std::string_view::npos)) return false;
    if (!is_ipv4_octet(text.substr(0, dot))) return false;
    if (!last) text.remove_prefix(dot + 1);
  }
  return true;
}

// The accessors over a path text. Each matches the whole text against the object-path pattern.
// Where a path that does not match has no answer, they raise ValueError
// "Invalid object path: " + repr(path).

// The `name` group.
std::string_view ltmpath_impl_get_name(std::string_view path) {
  auto captures = match_path(path);
  if (!captures || !captures->name) raise_invalid_path(path);
  return *captures->name;
}

// The name when it is an IPv4 address in dotted-quad form.
std::optional<std::string_view> ltmpath_impl_get_address(std::string_view path) {
  std::string_view name = ltmpath_impl_get_name(path);
  if (!is_ipv4_address(name)) return std::nullopt;
  return name;
}

// The port digits, or the port of the service name (65535 for an unknown name); ValueError
// "No port found!", "number too large to fit in target type" or "invalid digit found in string".
std::uint16_t ltmpath_impl_get_port(std::string_view path) {
  auto captures = match_path(path);
  if (captures && captures->port) {
    std::uint16_t port = 0;
    switch (parse_u16(*captures->port, port)) {
      case NumberError::none: return port;
      case NumberError::invalid_digit: py::raise(PyExc_ValueError, "invalid digit found in string");
      case NumberError::too_large: py::raise(PyExc_ValueError, "number too large to fit in target type");
    }
  }
  if (captures && captures->svc) return brelmark::service_port(*captures->svc);
  py::raise(PyExc_ValueError, "No port found!");
}

// The route domain, nothing when absent or not an unsigned 16-bit number.
std::optional<std::uint16_t> ltmpath_impl_get_route_domain(std::string_view path) {
  auto captures = match_path(path);
  std::uint16_t rd = 0;
  if (!captures || !captures->rd || parse_u16(*captures->rd, rd) != NumberError::none) return std::nullopt;
  return rd;
}

}  // namespace

std::string ltmpath_impl_get_full_path(std::string_view path, std::optional<std::string_view> default_partition) {
  auto captures = match_path(path);
  std::optional<std::string_view> partition = captures && captures->partition ? captures->partition : default_partition;
  if (!partition) py::raise(PyExc_RuntimeError, "Invalid partition name!");
  if (!captures || !captures->name) raise_invalid_path(path);
  std::string_view name = *captures->name;
  std::string full;
  full.reserve(partition->size() + name.size() + 2);
  full += '/';
  full += *partition;
  full += '/';
  full += name;
  return full;
}

std::string extract_ltmpath(PyObject* object) { return py::extract<LtmPath>(object).path; }

// ---- The Python class ---------------------------------------------------------------------

namespace {

using py::Arguments;
using py::ArgumentSpec;

constexpr ArgumentSpec kNewSpec{"LtmPath", "__new__", {"path"}, 1};
constexpr ArgumentSpec kGetPartitionSpec{"LtmPath", "get_partition", {"default_partition"}, 0};
constexpr ArgumentSpec kGetFullPathSpec{"LtmPath", "get_full_path", {"default_partition"}, 0};
constexpr ArgumentSpec kEqSpec{"LtmPath", "__eq__", {"other"}, 1};

LtmPath body_new(const Arguments& args) {
  return LtmPath{normalize_object_path(args.get<std::string_view>(0))};
}

// get_val and the representation.
std::string_view body_get_val(const LtmPath& self) { return self.path; }

std::uint16_t body_get_port(const LtmPath& self) { return ltmpath_impl_get_port(self.path); }

std::optional<std::uint16_t> body_get_route_domain(const LtmPath& self) {
  return ltmpath_impl_get_route_domain(self.path);
}

std::optional<std::string_view> body_get_partition(const LtmPath& self, const Arguments& args) {
  return ltmpath_impl_get_partition(self.path, args.get_optional<std::string_view>(0));
}

std::string_view body_get_name(const LtmPath& self) { return ltmpath_impl_get_name(self.path); }

std::optional<std::string_view> body_get_address(const LtmPath& self) {
  return ltmpath_impl_get_address(self.path);
}

std::string body_get_full_path(const LtmPath& self, const Arguments& args) {
  return ltmpath_impl_get_full_path(self.path, args.get_optional<std::string_view>(0));
}

bool body_eq(const LtmPath& self, const Arguments& args) {
  auto other = py::convert_argument("other", [&] { return py::Class<LtmPath>::borrow(args.raw(0)); });
  return self.path == other->path;
}

std::size_t body_len(const LtmPath& self) { return self.path.size(); }

bool body_bool(const LtmPath& self) { return !self.path.empty(); }

}  // namespace

}  // namespace qv::ltm

namespace qv::py {

std::span<const Item> ClassInfo<ltm::LtmPath>::items() {
  using namespace ltm;
  static const Item table[] = {
      method<&body_get_val>("get_val"),
      method<&body_get_port>("get_port"),
      method<&body_get_route_domain>("get_route_domain"),
      method<kGetPartitionSpec, &body_get_partition>(
          "get_partition", "get_partition($self, default_partition:str=None)\n--\n\n"),
      method<&body_get_name>("get_name"),
      method<&body_get_address>("get_address"),
      method<kGetFullPathSpec, &body_get_full_path>(
          "get_full_path", "get_full_path($self, default_partition:str=None)\n--\n\n"),
      method<kEqSpec, &body_eq>("__eq__"),
      slot_new<kNewSpec, &body_new>(),
      slot_repr<&body_get_val>(),
      slot_len<&body_len>(),
      slot_bool<&body_bool>(),
  };
  return table;
}

}  // namespace qv::py
