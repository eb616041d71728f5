#pragma once
// The model's Python classes: the name and member table of each class (one heap type per value
// type, see py/class.hpp), and what the member bodies of one class family use of another's.
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include <brelmark/grammar.hpp>

#include "ltm/ltm.hpp"
#include "ltm/ltm_path.hpp"
#include "py/class.hpp"

namespace qv::py {

// The records' texts cross to and from Python as str, as std::string does.
template <>
struct From<record::Text> {
  static record::Text convert(PyObject* value) { return record::Text(From<std::string_view>::convert(value)); }
};
template <>
struct ToPy<record::Text> {
  static Ref convert(const record::Text& text) { return str_from(text); }
};

// Defined in vs_py.cpp.
template <>
struct ClassInfo<ltm::Profile> {
  static constexpr const char* name = "Profile";
  static std::span<const Item> items();
};
template <>
struct ClassInfo<ltm::Snat> {
  static constexpr const char* name = "Snat";
  static std::span<const Item> items();
};
template <>
struct ClassInfo<ltm::Virtual> {
  static constexpr const char* name = "Virtual";
  static std::span<const Item> items();
};

// Defined in pool_py.cpp.
template <>
struct ClassInfo<ltm::MemberFqdn> {
  static constexpr const char* name = "MemberFqdn";
  static std::span<const Item> items();
};
template <>
struct ClassInfo<ltm::PoolMember> {
  static constexpr const char* name = "PoolMember";
  static std::span<const Item> items();
};
template <>
struct ClassInfo<ltm::Pool> {
  static constexpr const char* name = "Pool";
  static std::span<const Item> items();
};

// Defined in ltm_py.cpp.
template <>
struct ClassInfo<ltm::Partition> {
  static constexpr const char* name = "partition";
  static std::span<const Item> items();
};
template <>
struct ClassInfo<ltm::SnatPool> {
  static constexpr const char* name = "SnatPool";
  static std::span<const Item> items();
};
template <>
struct ClassInfo<ltm::LTM> {
  static constexpr const char* name = "LTM";
  static std::span<const Item> items();
};

// Defined in ltm_path_py.cpp.
template <>
struct ClassInfo<ltm::LtmPath> {
  static constexpr const char* name = "LtmPath";
  static std::span<const Item> items();
};

}  // namespace qv::py

namespace qv::ltm {

// The constructor body of a class made from one configuration object: the object at the start of
// the text argument, read by `Parse` (a brelmark object parser) and converted by `Convert`;
// whatever follows its closing brace is ignored, and a leading byte-order mark is skipped.
// RuntimeError with the parser's error text.
template <auto Parse, auto Convert>
auto new_from_text(const py::Arguments& args) {
  auto parsed = Parse(brelmark::skip_byte_order_mark(args.get<std::string_view>(0)));
  if (!parsed) py::raise(PyExc_RuntimeError, parsed.error().to_string());
  return Convert(std::move(parsed).value());
}

// A copy of the text of an LtmPath object (TypeError naming LtmPath; "Already mutably borrowed").
record::Text extract_ltmpath(PyObject* object);

// The object-path attribute `name` of a record whose field `name` is a path: an LtmPath object out,
// a copy of an LtmPath's text in. Its items: the getter, then the setter.
template <class T>
LtmPath path_name_get(const T& value) {
  return LtmPath{value.name};
}
template <class T>
void path_name_set(T& value, PyObject* path) {
  value.name = extract_ltmpath(path);
}
template <class T>
constexpr auto path_name() {
  return std::array{py::getter_of<&path_name_get<T>>("name"), py::setter_of<&path_name_set<T>>("name")};
}

// Raises the Python exception of a path accessor's error: ValueError "Invalid object path: " +
// repr(path), "No port found!", "invalid digit found in string" or "number too large to fit in
// target type"; RuntimeError "Invalid partition name!".
[[noreturn]] void raise_path_error(PathError error, std::string_view path);

template <class T>
T path_value_or_raise(PathResult<T> result, std::string_view path) {
  if (!result) raise_path_error(result.error(), path);
  return std::move(result).value();
}

}  // namespace qv::ltm
