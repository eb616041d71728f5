#pragma once
// The test records of the format tests, the benchmarks and the document fuzz
// target, with their field tables. Item uses every field kind and every
// written-when rule of the record framework; Batch is a document of items; Node
// holds records of its own kind. Vs, Mem and Conf are shaped like the module's
// own: a server with profiles, a translation setting, lists and policies (two
// required texts first); a member with a number and a nested setting that has
// defaults; a configuration of two required lists of both.
#include <brelmark/unicode.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/record.hpp"

namespace qvtest {

using quilvarn::formats::TextPair;

// A reference with an optional context (a server's profile).
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

// Settings with defaults that differ from their empty values (a member's fqdn).
struct Fq {
  std::string autopopulate;
  std::string name;
  friend bool operator==(const Fq&, const Fq&) = default;
};

inline Fq fq_default() { return Fq{"disabled", "none"}; }
inline bool fq_written(const Fq& f) {
  return !(brelmark::is_blank(f.autopopulate) || quilvarn::formats::equals_keyword(f.autopopulate, "disabled"));
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
  Fq setting;                          // written by fq_written; absent: fq_default()
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

// Server-shaped: the YAML and CSV record tests' main record.
struct Vs {
  std::string name;
  std::string destination;
  std::string description;
  std::optional<std::string> creation;
  std::vector<Tag> profiles;
  Xlat snat;
  std::vector<std::string> vlans;
  bool vlans_enabled = false;
  std::vector<TextPair> policies;
  std::string source;
  friend bool operator==(const Vs&, const Vs&) = default;
};

// Member-shaped: a ratio left out when 1 (and then read back as 0) and a nested
// setting with defaults.
struct Mem {
  std::string name;
  std::uint16_t ratio = 0;
  Fq fqdn;
  std::string monitor;
  friend bool operator==(const Mem&, const Mem&) = default;
};

// Two required lists of records.
struct Conf {
  std::vector<Vs> servers;
  std::vector<Mem> members;
  friend bool operator==(const Conf&, const Conf&) = default;
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
struct RecordTable<qvtest::Fq> {
  static constexpr std::string_view name = "Fq";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Fq::autopopulate>("autopopulate"),
      field<&qvtest::Fq::name>("name"),
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
      field<&qvtest::Item::setting>("setting").written_if<&qvtest::fq_written>().absent_with<&qvtest::fq_default>(),
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

template <>
struct RecordTable<qvtest::Vs> {
  static constexpr std::string_view name = "Vs";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Vs::name>("name").required(),
      field<&qvtest::Vs::destination>("destination").required(),
      field<&qvtest::Vs::description>("description").when(WrittenWhen::NotBlank),
      field<&qvtest::Vs::creation>("creation-time").when(WrittenWhen::Set),
      field<&qvtest::Vs::profiles>("profiles").when(WrittenWhen::NotEmpty),
      field<&qvtest::Vs::snat>("source-address-translation").written_if<&qvtest::xlat_written>(),
      field<&qvtest::Vs::vlans>("vlans").when(WrittenWhen::NotEmpty),
      field<&qvtest::Vs::vlans_enabled>("vlans_enabled").when(WrittenWhen::True),
      field<&qvtest::Vs::policies>("policies").when(WrittenWhen::NotEmpty),
      field<&qvtest::Vs::source>("source"),
  };
};

template <>
struct RecordTable<qvtest::Mem> {
  static constexpr std::string_view name = "Mem";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Mem::name>("name").required(),
      field<&qvtest::Mem::ratio>("ratio").when(WrittenWhen::NotOne),
      field<&qvtest::Mem::fqdn>("fqdn").written_if<&qvtest::fq_written>().absent_with<&qvtest::fq_default>(),
      field<&qvtest::Mem::monitor>("monitor").unless_keyword("default", true),
  };
};

template <>
struct RecordTable<qvtest::Conf> {
  static constexpr std::string_view name = "Conf";
  static constexpr FieldDef fields[] = {
      field<&qvtest::Conf::servers>("virtual_servers").required(),
      field<&qvtest::Conf::members>("members").required(),
  };
};

}  // namespace quilvarn::formats
