#pragma once
// Small records for the format tests: together they use every field kind and
// every written-when rule of the record framework.
#include <brelmark/unicode.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/record.hpp"

namespace qvtest {

using quilvarn::formats::TextPair;

// A reference with an optional context.
struct Tag {
  std::string name;
  std::optional<std::string> context;
  friend bool operator==(const Tag&, const Tag&) = default;
};

// A translation setting: written only when not both texts are blank.
struct Xlat {
  std::string type;
  std::string pool;
  friend bool operator==(const Xlat&, const Xlat&) = default;
};

inline bool xlat_written(const Xlat& x) { return !(brelmark::is_blank(x.type) && brelmark::is_blank(x.pool)); }

// Settings with defaults that differ from their empty values.
struct Auto {
  std::string mode;
  std::string name;
  friend bool operator==(const Auto&, const Auto&) = default;
};

inline Auto auto_default() { return Auto{"disabled", "none"}; }
inline bool auto_written(const Auto& a) {
  return !(brelmark::is_blank(a.mode) || quilvarn::formats::equals_keyword(a.mode, "disabled"));
}

// Every field kind and rule.
struct Item {
  std::string name;                    // required, always written
  std::string note;                    // written when not blank
  std::optional<std::string> stamp;    // written when set
  std::vector<Tag> tags;               // written when not empty
  std::string mask;                    // required, always written
  Xlat xlat;                           // written by xlat_written
  std::vector<std::string> words;      // written when not empty
  bool enabled = false;                // written when true
  std::vector<TextPair> rules;         // written when not empty
  std::uint16_t count = 0;             // written when not 0
  std::uint16_t ratio = 0;             // written when not 1
  std::string monitor;                 // written unless blank or "default"
  std::string mode;                    // written unless "round-robin" (blank written)
  std::string zone;                    // written when not empty
  Auto setting;                        // written by auto_written; absent: auto_default()
  std::string source;                  // always written, not required
  friend bool operator==(const Item&, const Item&) = default;
};

// A record that holds records of its own kind (for the nesting allowance).
struct Node {
  std::string name;
  std::vector<Node> kids;
  friend bool operator==(const Node&, const Node&) = default;
};

// A document of many items.
struct Batch {
  std::string name;
  std::vector<Item> items;
  friend bool operator==(const Batch&, const Batch&) = default;
};

}  // namespace qvtest

namespace quilvarn::formats {

template <>
struct RecordTable<qvtest::Tag> {
  static constexpr std::string_view name = "Tag";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Tag::name>("name").required(),
      field<&qvtest::Tag::context>("context").when(WrittenWhen::Set),
  };
};

template <>
struct RecordTable<qvtest::Xlat> {
  static constexpr std::string_view name = "Xlat";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Xlat::type>("type").required(),
      field<&qvtest::Xlat::pool>("pool").when(WrittenWhen::NotBlank),
  };
};

template <>
struct RecordTable<qvtest::Auto> {
  static constexpr std::string_view name = "Auto";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Auto::mode>("mode"),
      field<&qvtest::Auto::name>("name"),
  };
};

template <>
struct RecordTable<qvtest::Item> {
  static constexpr std::string_view name = "Item";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Item::name>("name").required(),
      field<&qvtest::Item::note>("note").when(WrittenWhen::NotBlank),
      field<&qvtest::Item::stamp>("stamp").when(WrittenWhen::Set),
      field<&qvtest::Item::tags>("tags").when(WrittenWhen::NotEmpty),
      field<&qvtest::Item::mask>("mask").required(),
      field<&qvtest::Item::xlat>("x-lat").written_if<&qvtest::xlat_written>(),
      field<&qvtest::Item::words>("words").when(WrittenWhen::NotEmpty),
      field<&qvtest::Item::enabled>("enabled").when(WrittenWhen::True),
      field<&qvtest::Item::rules>("rules").when(WrittenWhen::NotEmpty),
      field<&qvtest::Item::count>("count").when(WrittenWhen::NotZero).absent(std::uint16_t{3}),
      field<&qvtest::Item::ratio>("ratio").when(WrittenWhen::NotOne),
      field<&qvtest::Item::monitor>("monitor").unless_keyword("default", true),
      field<&qvtest::Item::mode>("mode").unless_keyword("round-robin"),
      field<&qvtest::Item::zone>("zone").when(WrittenWhen::NotEmpty).absent("lan"),
      field<&qvtest::Item::setting>("setting").written_if<&qvtest::auto_written>().absent_with<&qvtest::auto_default>(),
      field<&qvtest::Item::source>("source"),
  };
};

template <>
struct RecordTable<qvtest::Node> {
  static constexpr std::string_view name = "Node";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Node::name>("name").required(),
      field<&qvtest::Node::kids>("kids").when(WrittenWhen::NotEmpty),
  };
};

template <>
struct RecordTable<qvtest::Batch> {
  static constexpr std::string_view name = "Batch";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Batch::name>("name").required(),
      field<&qvtest::Batch::items>("items"),
  };
};

}  // namespace quilvarn::formats
