#pragma once
// The JSON value tree (test only): a record as an object of its written
// fields, built and printed by the simplest road, against which the tests
// and benchmarks check the record writers of formats/json.hpp and
// formats/toml.hpp.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "formats/json.hpp"
#include "record/record.hpp"

namespace qv::json {

// Objects keep insertion order.
struct Value;
using Array = std::vector<Value>;
using Member = std::pair<std::string, Value>;
using Object = std::vector<Member>;

struct Value {
  using Storage =
      std::variant<std::nullptr_t, bool, std::int64_t, std::uint64_t, double, std::string, Array, Object>;
  Storage data;

  Value() : data(nullptr) {}
  Value(std::nullptr_t) : data(nullptr) {}                      // NOLINT: implicit
  Value(bool b) : data(b) {}                                    // NOLINT: implicit
  Value(std::int64_t n) : data(n) {}                            // NOLINT: implicit
  Value(std::uint64_t n) : data(n) {}                           // NOLINT: implicit
  Value(double d) : data(d) {}                                  // NOLINT: implicit
  Value(std::string s) : data(std::move(s)) {}                  // NOLINT: implicit
  Value(std::string_view s) : data(std::string(s)) {}           // NOLINT: implicit
  Value(const char* s) : data(std::string(s)) {}                // NOLINT: implicit
  Value(Array a) : data(std::move(a)) {}                        // NOLINT: implicit
  Value(Object o) : data(std::move(o)) {}                       // NOLINT: implicit

  bool is_null() const noexcept { return data.index() == 0; }
  bool is_bool() const noexcept { return data.index() == 1; }
  bool is_int() const noexcept { return data.index() == 2; }
  bool is_uint() const noexcept { return data.index() == 3; }
  bool is_double() const noexcept { return data.index() == 4; }
  bool is_string() const noexcept { return data.index() == 5; }
  bool is_array() const noexcept { return data.index() == 6; }
  bool is_object() const noexcept { return data.index() == 7; }

  bool as_bool() const { return std::get<bool>(data); }
  std::int64_t as_int() const { return std::get<std::int64_t>(data); }
  std::uint64_t as_uint() const { return std::get<std::uint64_t>(data); }
  double as_double() const { return std::get<double>(data); }
  const std::string& as_string() const { return std::get<std::string>(data); }
  const Array& as_array() const { return std::get<Array>(data); }
  Array& as_array() { return std::get<Array>(data); }
  const Object& as_object() const { return std::get<Object>(data); }
  Object& as_object() { return std::get<Object>(data); }

  // The first member named `key` of an object, or nullptr.
  const Value* find(std::string_view key) const;

  friend bool operator==(const Value& a, const Value& b) { return a.data == b.data; }
};

// The record as a value tree: an object of its written fields in table order
// (u16 as unsigned integers, lists as arrays, a text pair as a two-element array).
Value to_value(const record::RecordDef& def, const void* record);

template <class T>
Value to_json_value(const T& record) {
  return to_value(record::record_def<T>, &record);
}

// Appends the value tree as compact JSON text: strings escaped as
// append_escaped does, floats as format_double gives them (a non-finite one as
// null).
void write_value(std::string& out, const Value& value);

}  // namespace qv::json
