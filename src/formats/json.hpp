#pragma once
// JSON reading and writing over the record tables (record/record.hpp).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "formats/format.hpp"
#include "record/record.hpp"

namespace qv::json {

// The names of the record framework that the reader, the writer and the value trees use.
using formats::FieldDef;
using formats::FieldKind;
using formats::RecordDef;
using formats::Text;
using formats::PairList;
using formats::TextList;
using formats::TextPair;
using formats::value_as;

// ---------------------------------------------------------------------------
// Writing compact JSON text.

// Appends `text` as a JSON string: quotation mark and backslash escaped with a
// backslash, \b \f \n \r \t for those controls, \u00xx (lower-case hex) for the
// other characters below U+0020, every other byte as it is.
void append_escaped(std::string& out, std::string_view text);

// Appends the record as one compact JSON object: its written fields in table
// order, no white space. Room for the text is reserved first from an estimate
// on the high side (every field counted as written, texts without escapes,
// long lists from a sample of their elements), so that a large text is not
// copied as it grows. Never fails.
std::optional<formats::WriteError> write_record(std::string& out, const formats::RecordDef& def,
                                                const void* record);

// ---------------------------------------------------------------------------
// Reading.

// The reader of formats/format.hpp: only white space may follow the record;
// a failure's message ends with its position (" at line L column C").
bool read_record(std::string_view text, const formats::RecordDef& def, void* record,
                 std::string& error);

// Checks that `text` is exactly one well-formed JSON value (white space
// around it allowed), with the rules used for values of unknown keys.
bool validate(std::string_view text, std::string& error);

// The JSON library's rendering of a floating-point number found where
// another kind was expected: floating point `1.0`, `1e20`, `1.5e-7`.
std::string unexpected_float(double d);

// ---------------------------------------------------------------------------
// The JSON value tree (objects keep insertion order).

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
Value to_value(const formats::RecordDef& def, const void* record);

template <class T>
Value to_json_value(const T& record) {
  return to_value(formats::record_def<T>, &record);
}

// Appends the value tree as compact JSON text.
void write_value(std::string& out, const Value& value);

}  // namespace qv::json
