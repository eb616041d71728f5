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

namespace qv::test {

using qv::formats::Text;
using qv::formats::TextPair;

// A reference with an optional context (a server's profile).
struct Tag {
  Text name;
  std::optional<Text> context;
  friend bool operator==(const Tag&, const Tag&) = default;
};

// A translation setting: written only when not both texts are blank.
struct Xlat {
  Text type;
  Text pool;
  friend bool operator==(const Xlat&, const Xlat&) = default;
};

inline bool xlat_written(const Xlat& x) { return !(brelmark::is_blank(x.type) && brelmark::is_blank(x.pool)); }

// Settings with defaults that differ from their empty values (a member's fqdn).
struct Fq {
  Text autopopulate;
  Text name;
  friend bool operator==(const Fq&, const Fq&) = default;
};

inline Fq fq_default() { return Fq{"disabled", "none"}; }
inline bool fq_written(const Fq& f) {
  return !(brelmark::is_blank(f.autopopulate) || qv::formats::equals_keyword(f.autopopulate, "disabled"));
}

// Every field kind and rule.
struct Item {
  Text name;                    // required, always written
  Text note;                    // written when not blank
  std::optional<Text> stamp;    // written when set
  std::vector<Tag> tags;               // written when not empty
  Text mask;                    // required, always written
  Xlat xlat;                           // written by xlat_written
  qv::formats::TextList words;      // written when not empty
  bool enabled = false;                // written when true
  qv::formats::PairList rules;         // written when not empty
  std::uint16_t count = 0;             // written when not 0
  std::uint16_t ratio = 0;             // written when not 1
  Text monitor;                 // written unless blank or "default"
  Text mode;                    // written unless "round-robin" (blank written)
  Text zone;                    // written when not empty
  Fq setting;                          // written by fq_written; absent: fq_default()
  Text source;                  // always written, not required
  friend bool operator==(const Item&, const Item&) = default;
};

// A record that holds records of its own kind (for the nesting allowance).
struct Node {
  Text name;
  std::vector<Node> kids;
  friend bool operator==(const Node&, const Node&) = default;
};

// A document of many items.
struct Batch {
  Text name;
  std::vector<Item> items;
  friend bool operator==(const Batch&, const Batch&) = default;
};

// Server-shaped: the YAML and CSV record tests' main record.
struct Vs {
  Text name;
  Text destination;
  Text description;
  std::optional<Text> creation;
  std::vector<Tag> profiles;
  Xlat snat;
  qv::formats::TextList vlans;
  bool vlans_enabled = false;
  qv::formats::PairList policies;
  Text source;
  friend bool operator==(const Vs&, const Vs&) = default;
};

// Member-shaped: a ratio left out when 1 (and then read back as 0) and a nested
// setting with defaults.
struct Mem {
  Text name;
  std::uint16_t ratio = 0;
  Fq fqdn;
  Text monitor;
  friend bool operator==(const Mem&, const Mem&) = default;
};

// Two required lists of records.
struct Conf {
  std::vector<Vs> servers;
  std::vector<Mem> members;
  friend bool operator==(const Conf&, const Conf&) = default;
};

}  // namespace qv::test

namespace qv::formats {

template <>
struct RecordTable<qv::test::Tag> {
  static constexpr std::string_view name = "Tag";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Tag::name>("name").required(),
      field<&qv::test::Tag::context>("context").when(WrittenWhen::Set),
  };
};

template <>
struct RecordTable<qv::test::Xlat> {
  static constexpr std::string_view name = "Xlat";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Xlat::type>("type").required(),
      field<&qv::test::Xlat::pool>("pool").when(WrittenWhen::NotBlank),
  };
};

template <>
struct RecordTable<qv::test::Fq> {
  static constexpr std::string_view name = "Fq";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Fq::autopopulate>("autopopulate"),
      field<&qv::test::Fq::name>("name"),
  };
};

template <>
struct RecordTable<qv::test::Item> {
  static constexpr std::string_view name = "Item";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Item::name>("name").required(),
      field<&qv::test::Item::note>("note").when(WrittenWhen::NotBlank),
      field<&qv::test::Item::stamp>("stamp").when(WrittenWhen::Set),
      field<&qv::test::Item::tags>("tags").when(WrittenWhen::NotEmpty),
      field<&qv::test::Item::mask>("mask").required(),
      field<&qv::test::Item::xlat>("x-lat").written_if<&qv::test::xlat_written>(),
      field<&qv::test::Item::words>("words").when(WrittenWhen::NotEmpty),
      field<&qv::test::Item::enabled>("enabled").when(WrittenWhen::True),
      field<&qv::test::Item::rules>("rules").when(WrittenWhen::NotEmpty),
      field<&qv::test::Item::count>("count").when(WrittenWhen::NotZero).absent(std::uint16_t{3}),
      field<&qv::test::Item::ratio>("ratio").when(WrittenWhen::NotOne),
      field<&qv::test::Item::monitor>("monitor").unless_keyword("default", true),
      field<&qv::test::Item::mode>("mode").unless_keyword("round-robin"),
      field<&qv::test::Item::zone>("zone").when(WrittenWhen::NotEmpty).absent("lan"),
      field<&qv::test::Item::setting>("setting").written_if<&qv::test::fq_written>().absent_with<&qv::test::fq_default>(),
      field<&qv::test::Item::source>("source"),
  };
};

template <>
struct RecordTable<qv::test::Node> {
  static constexpr std::string_view name = "Node";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Node::name>("name").required(),
      field<&qv::test::Node::kids>("kids").when(WrittenWhen::NotEmpty),
  };
};

template <>
struct RecordTable<qv::test::Batch> {
  static constexpr std::string_view name = "Batch";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Batch::name>("name").required(),
      field<&qv::test::Batch::items>("items"),
  };
};

template <>
struct RecordTable<qv::test::Vs> {
  static constexpr std::string_view name = "Vs";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Vs::name>("name").required(),
      field<&qv::test::Vs::destination>("destination").required(),
      field<&qv::test::Vs::description>("description").when(WrittenWhen::NotBlank),
      field<&qv::test::Vs::creation>("creation-time").when(WrittenWhen::Set),
      field<&qv::test::Vs::profiles>("profiles").when(WrittenWhen::NotEmpty),
      field<&qv::test::Vs::snat>("source-address-translation").written_if<&qv::test::xlat_written>(),
      field<&qv::test::Vs::vlans>("vlans").when(WrittenWhen::NotEmpty),
      field<&qv::test::Vs::vlans_enabled>("vlans_enabled").when(WrittenWhen::True),
      field<&qv::test::Vs::policies>("policies").when(WrittenWhen::NotEmpty),
      field<&qv::test::Vs::source>("source"),
  };
};

template <>
struct RecordTable<qv::test::Mem> {
  static constexpr std::string_view name = "Mem";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Mem::name>("name").required(),
      field<&qv::test::Mem::ratio>("ratio").when(WrittenWhen::NotOne),
      field<&qv::test::Mem::fqdn>("fqdn").written_if<&qv::test::fq_written>().absent_with<&qv::test::fq_default>(),
      field<&qv::test::Mem::monitor>("monitor").unless_keyword("default", true),
  };
};

template <>
struct RecordTable<qv::test::Conf> {
  static constexpr std::string_view name = "Conf";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Conf::servers>("virtual_servers").required(),
      field<&qv::test::Conf::members>("members").required(),
  };
};

}  // namespace qv::formats
