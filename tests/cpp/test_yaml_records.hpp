#pragma once
// Small records shaped like the module's own (a server with profiles, a
// translation setting, lists and policies; a member with numbers and nested
// settings that have defaults; a configuration holding lists of both; a tree
// that nests itself) for the YAML and CSV record tests.
#include <brelmark/unicode.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/record.hpp"

namespace yrec {

using quilvarn::formats::TextPair;

struct Prof {
  std::string name;
  std::optional<std::string> context;
  friend bool operator==(const Prof&, const Prof&) = default;
};

struct Tr {
  std::string type;
  std::string pool;
  friend bool operator==(const Tr&, const Tr&) = default;
};
inline bool tr_written(const Tr& t) { return !(brelmark::is_blank(t.type) && brelmark::is_blank(t.pool)); }

struct Fq {
  std::string autopopulate;
  std::string name;
  friend bool operator==(const Fq&, const Fq&) = default;
};
inline Fq fq_default() { return Fq{"disabled", "none"}; }
inline bool fq_written(const Fq& f) {
  return !(brelmark::is_blank(f.autopopulate) ||
           quilvarn::formats::equals_keyword(f.autopopulate, "disabled"));
}

struct Vs {
  std::string name;
  std::string destination;
  std::string description;
  std::optional<std::string> creation;
  std::vector<Prof> profiles;
  Tr snat;
  std::vector<std::string> vlans;
  bool vlans_enabled = false;
  std::vector<TextPair> policies;
  std::string source;
  friend bool operator==(const Vs&, const Vs&) = default;
};

struct Mem {
  std::string name;
  std::uint16_t ratio = 0;
  Fq fqdn;
  std::string monitor;
  friend bool operator==(const Mem&, const Mem&) = default;
};

struct Conf {
  std::vector<Vs> servers;
  std::vector<Mem> members;
  friend bool operator==(const Conf&, const Conf&) = default;
};

struct Kid {
  std::string name;
  std::vector<Kid> kids;
  friend bool operator==(const Kid&, const Kid&) = default;
};

}  // namespace yrec

namespace quilvarn::formats {

template <>
struct RecordTable<yrec::Prof> {
  static constexpr std::string_view name = "Prof";
  static constexpr FieldDef fields[] = {
      field<&yrec::Prof::name>("name").required(),
      field<&yrec::Prof::context>("context").when(WrittenWhen::Set),
  };
};

template <>
struct RecordTable<yrec::Tr> {
  static constexpr std::string_view name = "Tr";
  static constexpr FieldDef fields[] = {
      field<&yrec::Tr::type>("type").required(),
      field<&yrec::Tr::pool>("pool").when(WrittenWhen::NotBlank),
  };
};

template <>
struct RecordTable<yrec::Fq> {
  static constexpr std::string_view name = "Fq";
  static constexpr FieldDef fields[] = {
      field<&yrec::Fq::autopopulate>("autopopulate"),
      field<&yrec::Fq::name>("name"),
  };
};

template <>
struct RecordTable<yrec::Vs> {
  static constexpr std::string_view name = "Vs";
  static constexpr FieldDef fields[] = {
      field<&yrec::Vs::name>("name").required(),
      field<&yrec::Vs::destination>("destination").required(),
      field<&yrec::Vs::description>("description").when(WrittenWhen::NotBlank),
      field<&yrec::Vs::creation>("creation-time").when(WrittenWhen::Set),
      field<&yrec::Vs::profiles>("profiles").when(WrittenWhen::NotEmpty),
      field<&yrec::Vs::snat>("source-address-translation").written_if<&yrec::tr_written>(),
      field<&yrec::Vs::vlans>("vlans").when(WrittenWhen::NotEmpty),
      field<&yrec::Vs::vlans_enabled>("vlans_enabled").when(WrittenWhen::True),
      field<&yrec::Vs::policies>("policies").when(WrittenWhen::NotEmpty),
      field<&yrec::Vs::source>("source"),
  };
};

template <>
struct RecordTable<yrec::Mem> {
  static constexpr std::string_view name = "Mem";
  static constexpr FieldDef fields[] = {
      field<&yrec::Mem::name>("name").required(),
      field<&yrec::Mem::ratio>("ratio").when(WrittenWhen::NotOne),
      field<&yrec::Mem::fqdn>("fqdn").written_if<&yrec::fq_written>().absent_with<&yrec::fq_default>(),
      field<&yrec::Mem::monitor>("monitor").unless_keyword("default", true),
  };
};

template <>
struct RecordTable<yrec::Conf> {
  static constexpr std::string_view name = "Conf";
  static constexpr FieldDef fields[] = {
      field<&yrec::Conf::servers>("virtual_servers").required(),
      field<&yrec::Conf::members>("members").required(),
  };
};

template <>
struct RecordTable<yrec::Kid> {
  static constexpr std::string_view name = "Kid";
  static constexpr FieldDef fields[] = {
      field<&yrec::Kid::name>("name").required(),
      field<&yrec::Kid::kids>("kids").when(WrittenWhen::NotEmpty),
  };
};

}  // namespace quilvarn::formats
