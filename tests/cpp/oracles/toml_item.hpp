#pragma once
// TOML value trees (test only): `Item` is an owned value tree whose tables
// keep their keys in byte order; `print` writes it as TOML text; `from_json`
// builds one from a JSON value tree. The tests check the record writer of
// formats/toml.hpp against the road record -> JSON value tree -> Item -> print.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "formats/format.hpp"
#include "formats/toml.hpp"
#include "json_value.hpp"

namespace qv::toml {

// An owned TOML value. Tables keep their keys in byte order; inserting an
// existing key replaces its value.
class Item {
 public:
  enum class Type : std::uint8_t { Boolean, Integer, Float, String, Array, Table };
  struct Member;

  // An empty table. (This and the other members that build or destroy the
  // member list are defined after `Member`, once it is complete.)
  Item();
  static Item boolean(bool b);
  static Item integer(std::int64_t n);
  static Item floating(double d);
  static Item string(std::string s);
  static Item array();
  static Item array(std::vector<Item> elements);
  static Item table();
  // A table of these members; of repeated keys the last one stays.
  static Item table(std::vector<Member> members);

  Type type() const noexcept { return type_; }
  bool as_bool() const noexcept { return boolean_; }
  std::int64_t as_int() const noexcept { return integer_; }
  double as_double() const noexcept { return floating_; }
  const std::string& as_string() const noexcept { return string_; }
  const std::vector<Item>& elements() const noexcept { return elements_; }
  std::vector<Item>& elements() noexcept { return elements_; }
  const std::vector<Member>& members() const noexcept { return members_; }

  // Table: inserts (or replaces) `key`; returns the stored value.
  Item& insert(std::string key, Item value);
  const Item* find(std::string_view key) const noexcept;

 private:
  Type type_;
  bool boolean_ = false;
  std::int64_t integer_ = 0;
  double floating_ = 0;
  std::string string_;
  std::vector<Item> elements_;
  std::vector<Member> members_;  // sorted by the bytes of the keys
};

struct Item::Member {
  std::string key;
  Item value;
};

inline Item::Item() : type_(Type::Table) {}
inline Item Item::array() { return array(std::vector<Item>{}); }
inline Item Item::table() { return Item(); }

// Prints a table as a TOML document: in every table first the entries that
// are neither tables nor arrays of tables, then the arrays of tables (one
// [[a.b]] section per element), then the sub-tables (one [a.b] section each),
// each group in byte order of the keys. Returns false (and writes nothing)
// when `table` is not a table.
bool print(const Item& table, std::string& out);

// Converts a JSON value tree: booleans, integers, floats and strings stay
// what they are, arrays become arrays, objects tables (a repeated key keeps
// its last value). A null cannot be converted ("unsupported Rust type",
// debug "UnsupportedType"), nor an unsigned integer above the largest signed
// 64-bit one ("u64 value was too large").
std::variant<Item, formats::WriteError> from_json(const json::Value& value);
// The same, taking the texts of a tree that is no longer needed.
std::variant<Item, formats::WriteError> from_json(json::Value&& value);

}  // namespace qv::toml
