#pragma once
// The test records of the format tests, the benchmarks and the document fuzz
// target, with their field tables. Item uses every field kind and every
// written-when rule of the record framework; Batch is a document of items; Node
// holds records of its own kind. Server, Member and Config are shaped like the
// module's own: a server with profiles, a translation setting, lists and policies
// (two required texts first); a member with a number and a nested setting that
// has defaults; a configuration of two required lists of both.
#include <brelmark/unicode.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/record.hpp"

namespace qv::test {

using qv::record::Text;
using qv::record::TextPair;

// A reference with an optional context (a server's profile).
struct Tag {
  Text name;
  std::optional<Text> context;
  friend bool operator==(const Tag&, const Tag&) = default;
};

// A translation setting: written only when not both texts are blank.
struct Translation {
  Text type;
  Text pool;
  friend bool operator==(const Translation&, const Translation&) = default;
};

inline bool translation_written(const Translation& x) {
  return !(brelmark::is_blank(x.type) && brelmark::is_blank(x.pool));
}

// Settings with defaults that differ from their empty values (a member's fqdn).
struct Fqdn {
  Text autopopulate;
  Text name;
  friend bool operator==(const Fqdn&, const Fqdn&) = default;
};

inline Fqdn fqdn_default() { return Fqdn{"disabled", "none"}; }
inline bool fqdn_written(const Fqdn& f) {
  return !(brelmark::is_blank(f.autopopulate) || qv::record::equals_keyword(f.autopopulate, "disabled"));
}

// Every field kind and rule.
struct Item {
  Text name;                    // required, always written
  Text note;                    // written when not blank
  std::optional<Text> stamp;    // written when set
  std::vector<Tag> tags;               // written when not empty
  Text mask;                    // required, always written
  Translation translation;      // written by translation_written
  qv::record::TextList words;      // written when not empty
  bool enabled = false;                // written when true
  qv::record::PairList rules;         // written when not empty
  std::uint16_t count = 0;             // written when not 0
  std::uint16_t ratio = 0;             // written when not 1
  Text monitor;                 // written unless blank or "default"
  Text mode;                    // written unless "round-robin" (blank written)
  Text zone;                    // written when not empty
  Fqdn setting;                 // written by fqdn_written; absent: fqdn_default()
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
struct Server {
  Text name;
  Text destination;
  Text description;
  std::optional<Text> creation;
  std::vector<Tag> profiles;
  Translation snat;
  qv::record::TextList vlans;
  bool vlans_enabled = false;
  qv::record::PairList policies;
  Text source;
  friend bool operator==(const Server&, const Server&) = default;
};

// Member-shaped: a ratio left out when 1 (and then read back as 0) and a nested
// setting with defaults.
struct Member {
  Text name;
  std::uint16_t ratio = 0;
  Fqdn fqdn;
  Text monitor;
  friend bool operator==(const Member&, const Member&) = default;
};

// Two required lists of records.
struct Config {
  std::vector<Server> servers;
  std::vector<Member> members;
  friend bool operator==(const Config&, const Config&) = default;
};

}  // namespace qv::test

namespace qv::record {

template <>
struct RecordTable<qv::test::Tag> {
  static constexpr std::string_view name = "Tag";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Tag::name>("name").required(),
      field<&qv::test::Tag::context>("context").when(WrittenWhen::Set),
  };
};

template <>
struct RecordTable<qv::test::Translation> {
  static constexpr std::string_view name = "Translation";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Translation::type>("type").required(),
      field<&qv::test::Translation::pool>("pool").when(WrittenWhen::NotBlank),
  };
};

template <>
struct RecordTable<qv::test::Fqdn> {
  static constexpr std::string_view name = "Fqdn";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Fqdn::autopopulate>("autopopulate"),
      field<&qv::test::Fqdn::name>("name"),
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
      field<&qv::test::Item::translation>("x-lat").written_if<&qv::test::translation_written>(),
      field<&qv::test::Item::words>("words").when(WrittenWhen::NotEmpty),
      field<&qv::test::Item::enabled>("enabled").when(WrittenWhen::True),
      field<&qv::test::Item::rules>("rules").when(WrittenWhen::NotEmpty),
      field<&qv::test::Item::count>("count").when(WrittenWhen::NotZero).absent(std::uint16_t{3}),
      field<&qv::test::Item::ratio>("ratio").when(WrittenWhen::NotOne),
      field<&qv::test::Item::monitor>("monitor").unless_keyword("default", true),
      field<&qv::test::Item::mode>("mode").unless_keyword("round-robin"),
      field<&qv::test::Item::zone>("zone").when(WrittenWhen::NotEmpty).absent("lan"),
      field<&qv::test::Item::setting>("setting")
          .written_if<&qv::test::fqdn_written>()
          .absent_with<&qv::test::fqdn_default>(),
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
struct RecordTable<qv::test::Server> {
  static constexpr std::string_view name = "Server";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Server::name>("name").required(),
      field<&qv::test::Server::destination>("destination").required(),
      field<&qv::test::Server::description>("description").when(WrittenWhen::NotBlank),
      field<&qv::test::Server::creation>("creation-time").when(WrittenWhen::Set),
      field<&qv::test::Server::profiles>("profiles").when(WrittenWhen::NotEmpty),
      field<&qv::test::Server::snat>("source-address-translation").written_if<&qv::test::translation_written>(),
      field<&qv::test::Server::vlans>("vlans").when(WrittenWhen::NotEmpty),
      field<&qv::test::Server::vlans_enabled>("vlans_enabled").when(WrittenWhen::True),
      field<&qv::test::Server::policies>("policies").when(WrittenWhen::NotEmpty),
      field<&qv::test::Server::source>("source"),
  };
};

template <>
struct RecordTable<qv::test::Member> {
  static constexpr std::string_view name = "Member";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Member::name>("name").required(),
      field<&qv::test::Member::ratio>("ratio").when(WrittenWhen::NotOne),
      field<&qv::test::Member::fqdn>("fqdn")
          .written_if<&qv::test::fqdn_written>()
          .absent_with<&qv::test::fqdn_default>(),
      field<&qv::test::Member::monitor>("monitor").unless_keyword("default", true),
  };
};

template <>
struct RecordTable<qv::test::Config> {
  static constexpr std::string_view name = "Config";
  static constexpr FieldDef fields[] = {
      field<&qv::test::Config::servers>("virtual_servers").required(),
      field<&qv::test::Config::members>("members").required(),
  };
};

}  // namespace qv::record
